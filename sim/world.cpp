#include "sim/world.h"

#include <algorithm>
#include <ctime>

#include "settings/models.h"
#include "sim/describe.h"

namespace sim {

int64_t monotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

DeviceInfo Device::info(uint16_t interfaceNumber) const {
  DeviceInfo i;
  i.transport = ble ? driver::kTransportBLE : driver::kTransportUSB;
  i.vendorID = model.vendorID;
  i.productID = model.productID;
  i.productVers = model.release;
  i.interfaceNum = interfaceNumber;
  i.setVendorName(model.vendorName);
  i.setProductName(model.productName);
  return i;
}

World::World(Catalogue catalogue, Scheduler& scheduler)
    : catalogue_(std::move(catalogue)), scheduler_(scheduler) {
  processes_.push_back({0, 0x1001, FourCharCode("lgnw"), "loginwindow", "com.apple.loginwindow"});
  processes_.push_back({0, 0x1002, FourCharCode("MACS"), "Finder", "com.apple.finder"});
  pasteboardTypes_ = {"text/plain"};
  const std::string before = "(what the user copied earlier)";
  pasteboard_["text/plain"] = std::vector<uint8_t>(before.begin(), before.end());
}

// ---- log --------------------------------------------------------------------------------------

LogEntry& World::addLog(const std::string& kind, const Device* d, uint16_t iface, std::string text) {
  LogEntry e;
  e.seq = ++logSeq_;
  e.timeNs = monotonicNs();
  e.kind = kind;
  e.device = d ? d->id : 0;
  e.interfaceNumber = iface;
  e.text = std::move(text);
  e.fields = pl::makeDict();
  log_.push_back(std::move(e));
  // Keep the log bounded: a long-running simulator drops its oldest entries.
  if (log_.size() > 200000) log_.erase(log_.begin(), log_.begin() + 100000);
  if (observer_) observer_->logged(log_.back());
  return log_.back();
}

void World::later(std::chrono::milliseconds delay, std::function<void()> work) {
  scheduler_.after(delay, [alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
    if (!alive.expired()) work();
  });
}

void World::note(const std::string& kind, const std::string& text) { addLog(kind, nullptr, 0, text); }

std::vector<LogEntry> World::log(uint64_t since) const {
  auto it = std::upper_bound(log_.begin(), log_.end(), since,
                             [](uint64_t s, const LogEntry& e) { return s < e.seq; });
  for (auto e = it; e != log_.end(); ++e) {
    if (!e->describe) continue;
    auto describe = std::move(e->describe);
    e->describe = nullptr;
    describe(*e);
  }
  return std::vector<LogEntry>(it, log_.end());
}

// ---- registry ---------------------------------------------------------------------------------

void World::publish(ServiceId service, const std::string& className) {
  liveServices_.emplace_back(service, className);
  const uint64_t seq = ++registrySeq_;
  if (observer_) observer_->servicePublished(seq, service, className);
}

void World::terminate(ServiceId service, const std::string& className) {
  liveServices_.erase(std::remove_if(liveServices_.begin(), liveServices_.end(),
                                     [&](const auto& s) { return s.first == service; }),
                      liveServices_.end());
  // Connections to a service that ended stay allocated until their client closes them, but
  // every call on them fails from now on.
  const uint64_t seq = ++registrySeq_;
  if (observer_) observer_->serviceTerminated(seq, service, className);
}

void World::postMessage(ServiceId service, uint32_t type, std::vector<uint8_t> argument) {
  const uint64_t seq = ++registrySeq_;
  if (observer_) observer_->messagePosted(seq, service, type, argument);
}

std::vector<std::pair<ServiceId, std::string>> World::services() const { return liveServices_; }

World::Found World::findService(ServiceId service) {
  if (service == 0) return {};
  for (auto& [id, d] : devices_)
    for (auto& i : d.interfaces)
      if (i.service == service) return {&d, &i};
  return {};
}

Device* World::findDevice(uint64_t id) {
  auto it = devices_.find(id);
  return it == devices_.end() ? nullptr : &it->second;
}

const Device* World::device(uint64_t id) const {
  auto it = devices_.find(id);
  return it == devices_.end() ? nullptr : &it->second;
}

std::vector<const Device*> World::devices() const {
  std::vector<const Device*> out;
  for (const auto& [id, d] : devices_) out.push_back(&d);
  return out;
}

uint64_t World::firstDevice() const {
  for (const auto& [id, d] : devices_)
    if (d.present) return id;
  return 0;
}

// ---- devices ----------------------------------------------------------------------------------

bool World::driverSupports(const Device& d) const {
  return d.model.vendorID == models::kVendorID && models::isSupportedProduct(d.model.productID);
}

void World::capture(Device& d) {
  for (auto& i : d.interfaces) {
    i.service = nextService_++;
    i.driver = DriverState{};
  }
  addLog("capture", &d, 0,
         "the driver captures " + d.model.productName + " (device " + std::to_string(d.id) + ")");
  for (auto& i : d.interfaces) publish(i.service, driver::kServiceClass);
}

void World::plugIn(Device& d) {
  d.present = true;
  d.usbOpenedBy.clear();
  d.usbReset = false;
  if (!d.ble) {
    d.usbService = nextService_++;
    publish(d.usbService, d.usbClass);
  }
  for (auto& i : d.interfaces) {
    i.hidID = nextHid_++;
    if (observer_) observer_->hidDeviceChanged(true, {i.hidID, d.model.vendorID, d.model.productID,
                                                      d.ble ? sys::kIOHIDTransportBluetoothLowEnergyValue : sys::kIOHIDTransportUSBValue, i.number});
  }
  if (driverSupports(d) && !(d.unclaimed && !d.ble)) capture(d);
}

void World::unplug(Device& d) {
  for (auto& i : d.interfaces) {
    if (i.service) {
      const ServiceId s = i.service;
      i.service = 0;
      terminate(s, driver::kServiceClass);
    }
  }
  if (d.usbService) {
    const ServiceId s = d.usbService;
    d.usbService = 0;
    terminate(s, d.usbClass);
  }
  for (auto& i : d.interfaces) {
    if (!i.hidID) continue;
    const HidDevice h{i.hidID, d.model.vendorID, d.model.productID,
                      d.ble ? sys::kIOHIDTransportBluetoothLowEnergyValue : sys::kIOHIDTransportUSBValue, i.number};
    i.hidID = 0;
    if (observer_) observer_->hidDeviceChanged(false, h);
  }
  d.present = false;
}

uint64_t World::attach(const std::string& key, const AttachOptions& o, std::string* error) {
  const CatalogueDevice* model = catalogue_.find(key);
  std::string ignored;
  if (!error) error = &ignored;
  if (!model) {
    *error = "no device \"" + key + "\" in the catalogue";
    return 0;
  }
  if (o.ble && !model->ble) {
    *error = model->productName + " has no Bluetooth LE";
    return 0;
  }
  if (!o.ble && !model->usb) {
    *error = model->productName + " has no USB";
    return 0;
  }
  if (o.usbClass != driver::kUSBHostDeviceClass && o.usbClass != driver::kUSBDeviceClass) {
    *error = "a USB device is an " + std::string(driver::kUSBHostDeviceClass) + " or an " + driver::kUSBDeviceClass;
    return 0;
  }
  Device d;
  d.id = nextDevice_++;
  d.model = *model;
  if (o.release) d.model.release = *o.release;
  if (o.product) d.model.productID = *o.product;
  d.ble = o.ble;
  d.unclaimed = o.unclaimed;
  d.usbClass = o.usbClass;
  for (uint16_t n : model->interfaces) d.interfaces.push_back(Interface{n, 0, 0, {}});
  Device& placed = devices_.emplace(d.id, std::move(d)).first->second;
  char rel[16];
  std::snprintf(rel, sizeof rel, "%d.%02d", placed.model.release >> 8, placed.model.release & 0xFF);
  auto& e = addLog("attach", &placed, 0,
                   placed.model.productName + " (" + key + ", release " + rel + ") plugged in over " +
                       (placed.ble ? "Bluetooth LE" : "USB") +
                       (placed.unclaimed && !placed.ble ? ", not claimed by the driver yet" : "") +
                       " as device " + std::to_string(placed.id));
  e.fields->setString("model", key);
  e.fields->setInteger("vendor id", placed.model.vendorID);
  e.fields->setInteger("product id", placed.model.productID);
  e.fields->setInteger("release", placed.model.release);
  plugIn(placed);
  return placed.id;
}

bool World::detach(uint64_t id) {
  Device* d = findDevice(id);
  if (!d) return false;
  if (d->present) unplug(*d);
  addLog("detach", d, 0, d->model.productName + " (device " + std::to_string(id) + ") unplugged");
  devices_.erase(id);
  return true;
}

void World::detachAll() {
  std::vector<uint64_t> ids;
  for (const auto& [id, d] : devices_) ids.push_back(id);
  for (uint64_t id : ids) detach(id);
}

World::PressResult World::press(uint64_t id, uint16_t button, bool raw) {
  PressResult r;
  Device* d = findDevice(id);
  if (!d || !d->present) {
    r.text = "no device " + std::to_string(id);
    return r;
  }
  if (!d->captured()) {
    r.text = d->model.productName + " is not captured by the driver: the press goes nowhere";
    addLog("press", d, 0, r.text);
    return r;
  }
  r.ok = true;
  Interface& i = d->interfaces.front();
  std::string what = buttonName(button) + " pressed";
  if (!raw && i.driver.settings && button < kSettingsRecordSlots) {
    const auto slot = decodeSettingsRecord(*i.driver.settings).slots[button];
    if (driverPerformsCommand(slot.command)) {
      r.text = what + ": the driver performs \"" + describeSlot(slot) + "\" itself";
      auto& e = addLog("press", d, i.number, r.text);
      e.fields->setInteger("button", button);
      e.fields->setBool("posted", false);
      return r;
    }
  }
  r.posted = true;
  r.text = what + ": reported to the helper";
  auto& e = addLog("press", d, i.number, r.text);
  e.fields->setInteger("button", button);
  e.fields->setBool("posted", true);
  std::vector<uint8_t> arg(2);
  putU16(arg.data(), button);
  postMessage(i.service, driver::kMessageButton, std::move(arg));
  return r;
}

bool World::report(uint64_t id, const std::array<uint8_t, driver::kStateReportSize>& bytes, bool force, std::string* why) {
  Device* d = findDevice(id);
  std::string ignored;
  if (!why) why = &ignored;
  if (!d || !d->present || !d->captured()) {
    *why = "no captured device " + std::to_string(id);
    return false;
  }
  Interface& i = d->interfaces.front();
  if (!i.driver.reports && !force) {
    *why = "nobody asked the driver for state reports";
    addLog("report", d, i.number, "state report not sent: " + *why);
    return false;
  }
  auto& e = addLog("report", d, i.number, "state report sent: " + hex(bytes.data(), bytes.size()));
  e.fields->set("bytes", pl::makeData(bytes.data(), bytes.size()));
  postMessage(i.service, driver::kMessageState, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  return true;
}

// ---- driver calls -----------------------------------------------------------------------------

Status World::open(ServiceId service, uint32_t type, const std::string& client, uint32_t* connection) {
  Found f = findService(service);
  if (!f.device) return iokit::kIOReturnNoDevice;
  if (type != driver::kConnectType) return iokit::kIOReturnBadArgument;
  const uint32_t handle = nextConnection_++;
  connections_[handle] = Connection{service, client};
  if (connection) *connection = handle;
  addLog("open", f.device, f.interface->number,
         "a client opened " + f.device->model.productName + " (connection " + std::to_string(handle) + ")");
  return iokit::kIOReturnSuccess;
}

Status World::close(uint32_t connection) {
  auto it = connections_.find(connection);
  if (it == connections_.end()) return iokit::MACH_SEND_INVALID_DEST;
  Found f = findService(it->second.service);
  connections_.erase(it);
  addLog("close", f.device, f.interface ? f.interface->number : 0,
         "connection " + std::to_string(connection) + " closed");
  return iokit::kIOReturnSuccess;
}

void World::clientGone(const std::string& client) {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->second.client == client) it = connections_.erase(it);
    else ++it;
  }
  for (auto& [id, d] : devices_)
    if (d.usbOpenedBy == client) d.usbOpenedBy.clear();
}

Status World::call(uint32_t connection, uint32_t selector, const std::vector<uint64_t>& input,
                   const std::vector<uint8_t>& inputStruct, uint32_t outputCount,
                   uint64_t outputStructCapacity, std::vector<uint64_t>* output,
                   std::vector<uint8_t>* outputStruct) {
  auto it = connections_.find(connection);
  if (it == connections_.end()) return iokit::MACH_SEND_INVALID_DEST;
  Found f = findService(it->second.service);
  if (!f.device) return iokit::kIOReturnNoDevice;
  // Every call names its connection in the first scalar.
  if (input.empty() || input[0] != connection) return iokit::kIOReturnBadArgument;
  switch (selector) {
    case 0: return callStructIn(f, input, inputStruct);
    case 1: return callControl(f, input, outputCount, output);
    case 2: return callDeviceInfo(f, input, outputStructCapacity, outputStruct);
    default: return iokit::kIOReturnBadArgument;
  }
}

Status World::callStructIn(Found f, const std::vector<uint64_t>& input, const std::vector<uint8_t>& in) {
  if (input.size() != 4) return iokit::kIOReturnBadArgument;
  const auto code = static_cast<uint32_t>(input[1]);
  DriverState& drv = f.interface->driver;
  if (code == driver::kSettingsCode) {
    if (input[2] != 48 || in.size() != kSettingsRecordSize) return iokit::kIOReturnBadArgument;
    SettingsRecord r{};
    std::copy(in.begin(), in.end(), r.begin());
    drv.settings = r;
    ++drv.settingsReceived;
    auto& e = addLog("settings", f.device, f.interface->number, "");
    e.describe = [r, buttons = f.device->model.buttons](LogEntry& x) {
      x.text = "settings: " + describeSettings(r, buttons);
      x.fields = settingsFields(r);
    };
    return iokit::kIOReturnSuccess;
  }
  if (code == driver::kScrollCode) {
    if (input[2] != 1 || in.size() != driver::kScrollRecordSize) return iokit::kIOReturnBadArgument;
    std::array<uint8_t, driver::kScrollRecordSize> r{};
    std::copy(in.begin(), in.end(), r.begin());
    drv.scroll = r;
    ++drv.scrollReceived;
    auto& e = addLog("scroll", f.device, f.interface->number, describeScroll(r));
    e.fields = scrollFields(r);
    return iokit::kIOReturnSuccess;
  }
  return iokit::kIOReturnUnsupported;
}

Status World::callControl(Found f, const std::vector<uint64_t>& input, uint32_t outputCount,
                          std::vector<uint64_t>* output) {
  if (input.size() != 3 || outputCount != 1) return iokit::kIOReturnBadArgument;
  const auto code = static_cast<uint32_t>(input[1]);
  const auto param = static_cast<uint32_t>(input[2]);
  DriverState& drv = f.interface->driver;
  if (code == driver::kControlKeystroke) {
    ++drv.keystrokes;
  } else if (code == driver::kControlRawReports) {
    drv.reports = param != 0;
  } else if (code == driver::kControlModifiers) {
    drv.modifiers = static_cast<uint16_t>(param);
  } else if (code == driver::kControlPopUp) {
    drv.popUpOpen = param != 0;
  } else {
    return iokit::kIOReturnUnsupported;
  }
  auto& e = addLog("control", f.device, f.interface->number, describeControl(code, param));
  e.fields->setString("code", FourCharCodeString(code));
  e.fields->setInteger("parameter", param);
  if (code == driver::kControlKeystroke) {
    e.fields->setInteger("key", (param >> 8) & 0xFF);
    e.fields->setInteger("modifiers", param >> 16);
  }
  if (output) *output = {0};
  return iokit::kIOReturnSuccess;
}

Status World::callDeviceInfo(Found f, const std::vector<uint64_t>& input, uint64_t capacity,
                             std::vector<uint8_t>* out) {
  if (input.size() != 3 || static_cast<uint32_t>(input[1]) != driver::kDeviceInfoCode) return iokit::kIOReturnBadArgument;
  if (input[2] != 1) return iokit::kIOReturnUnsupported;
  const auto bytes = f.device->info(f.interface->number).encode();
  const size_t n = std::min<uint64_t>(capacity, bytes.size());
  if (out) out->assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  addLog("device info", f.device, f.interface->number,
         "device information sent (" + std::to_string(n) + " bytes)");
  return iokit::kIOReturnSuccess;
}

// ---- USB device interface ---------------------------------------------------------------------

namespace {
template <typename Devices>
auto findUsb(Devices& devices, ServiceId service) -> decltype(&devices.begin()->second) {
  if (service == 0) return nullptr;
  for (auto& [id, d] : devices)
    if (d.usbService == service) return &d;
  return nullptr;
}
}  // namespace

Status World::usbIdentity(ServiceId service, uint16_t* vendor, uint16_t* product) const {
  const Device* d = findUsb(devices_, service);
  if (!d) return iokit::kIOReturnNoDevice;
  if (vendor) *vendor = d->model.vendorID;
  if (product) *product = d->model.productID;
  return iokit::kIOReturnSuccess;
}

Status World::usbOpen(ServiceId service, const std::string& client) {
  Device* d = findUsb(devices_, service);
  if (!d) return iokit::kIOReturnNoDevice;
  // The driver holds the devices it captured; others may be opened by one client at a time.
  if (d->captured() || (!d->usbOpenedBy.empty() && d->usbOpenedBy != client)) return iokit::kIOReturnExclusiveAccess;
  d->usbOpenedBy = client;
  addLog("usb", d, 0, "a client opened the USB device " + d->model.productName);
  return iokit::kIOReturnSuccess;
}

Status World::usbClose(ServiceId service, const std::string& client) {
  Device* d = findUsb(devices_, service);
  if (!d) return iokit::kIOReturnNoDevice;
  if (d->usbOpenedBy != client) return iokit::kIOReturnNotOpen;
  d->usbOpenedBy.clear();
  return iokit::kIOReturnSuccess;
}

Status World::usbReset(ServiceId service, const std::string& client) {
  Device* d = findUsb(devices_, service);
  if (!d) return iokit::kIOReturnNoDevice;
  if (d->usbOpenedBy != client) return iokit::kIOReturnNotOpen;
  d->usbReset = true;
  addLog("usb", d, 0, "USB device " + d->model.productName + " reset");
  return iokit::kIOReturnSuccess;
}

Status World::usbReEnumerate(ServiceId service, uint32_t options, const std::string& client) {
  Device* d = findUsb(devices_, service);
  if (!d) return iokit::kIOReturnNoDevice;
  if (d->usbOpenedBy != client) return iokit::kIOReturnNotOpen;
  auto& e = addLog("usb", d, 0,
                   "USB device " + d->model.productName + " re-enumerates: it leaves and comes back");
  e.fields->setInteger("options", options);
  const uint64_t id = d->id;
  unplug(*d);
  d->unclaimed = false;  // when it comes back, the driver takes it
  later(reEnumerationDelay_, [this, id] {
    Device* back = findDevice(id);
    if (!back || back->present) return;
    addLog("usb", back, 0, back->model.productName + " is back after re-enumeration");
    plugIn(*back);
  });
  return iokit::kIOReturnSuccess;
}

// ---- operating system -------------------------------------------------------------------------

void World::activate(const Application& app) {
  front_ = app;
  auto& e = addLog("activate", nullptr, 0,
                   "\"" + (app.name.empty() ? app.bundleID : app.name) + "\" comes to the front");
  e.fields->setString("bundle id", app.bundleID);
  e.fields->setString("name", app.name);
  e.fields->setString("executable", app.executable);
  e.fields->setString("signature", app.signature);
  if (observer_) observer_->applicationActivated(app);
}

void World::setConsole(const Console& c) {
  console_ = c;
  const bool on = !c.dictionary || !c.hasOnConsoleKey || c.onConsole;
  addLog("console", nullptr, 0, on ? "the user's session is on the console" : "the user's session is in the background");
  systemStateChanged();
}

void World::setKeyModifiers(uint16_t classic) {
  modifiers_ = classic;
  addLog("keyboard", nullptr, 0, "the user holds modifier keys: " + modifiersName(classic));
  systemStateChanged();
}

void World::setMouseButtons(uint32_t buttons) {
  mouseButtons_ = buttons;
  addLog("mouse", nullptr, 0, "mouse buttons held: " + std::to_string(buttons));
  systemStateChanged();
}

void World::setAccessibility(bool enabled) {
  accessibility_ = enabled;
  addLog("accessibility", nullptr, 0, enabled ? "accessibility access granted" : "accessibility access withdrawn");
  systemStateChanged();
}

void World::setFocusedWindow(const FocusedWindow& w) {
  focused_ = w;
  std::string t;
  switch (w.depth) {
    case FocusedWindow::Depth::None: t = "no focused application"; break;
    case FocusedWindow::Depth::Application: t = "the focused application has no window"; break;
    case FocusedWindow::Depth::Window: t = "the focused window has no default button"; break;
    case FocusedWindow::Depth::DefaultButton: {
      char buf[160];
      std::snprintf(buf, sizeof buf, "a window with %s default button at (%g, %g) size %g x %g, %lld children",
                    w.enabled ? "an enabled" : "a disabled", w.x, w.y, w.width, w.height,
                    static_cast<long long>(w.children));
      t = buf;
      break;
    }
  }
  addLog("window", nullptr, 0, t);
  systemStateChanged();
}

simbus::SystemState World::systemState() const {
  simbus::SystemState s;
  s.sessionDictionary = console_.dictionary;
  s.hasOnConsoleKey = console_.hasOnConsoleKey;
  s.onConsole = console_.onConsole;
  s.keyModifiers = modifiers_;
  s.mouseButtons = mouseButtons_;
  s.accessibility = accessibility_;
  s.focusDepth = static_cast<uint8_t>(focused_.depth);
  s.buttonEnabled = focused_.enabled;
  s.x = focused_.x;
  s.y = focused_.y;
  s.width = focused_.width;
  s.height = focused_.height;
  s.children = focused_.children;
  return s;
}

void World::systemStateChanged() {
  ++systemSeq_;
  if (observer_) observer_->systemStateChanged(systemSeq_);
}

void World::setPointer(double x, double y) { pointer_ = {x, y}; }

Status World::warpPointer(double x, double y) {
  pointer_ = {x, y};
  char buf[96];
  std::snprintf(buf, sizeof buf, "pointer moved to (%g, %g)", x, y);
  auto& e = addLog("warp", nullptr, 0, buf);
  e.fields->setReal("x", x);
  e.fields->setReal("y", y);
  return iokit::kIOReturnSuccess;
}

void World::addProcess(const Process& p) {
  Process q = p;
  if (q.psnHigh == 0 && q.psnLow == 0) q.psnLow = nextPsn_++;
  processes_.push_back(q);
  addLog("process", nullptr, 0, "\"" + q.name + "\" (" + FourCharCodeString(q.signature) + ") is running");
}

bool World::removeProcess(uint32_t signature) {
  auto it = std::find_if(processes_.begin(), processes_.end(),
                         [&](const Process& p) { return p.signature == signature; });
  if (it == processes_.end()) return false;
  addLog("process", nullptr, 0, "\"" + it->name + "\" quit");
  processes_.erase(it);
  return true;
}

namespace {
struct KnownApp {
  uint32_t creator;
  const char* name;
  const char* bundleID;
};
// The applications the world can start by creator code.
constexpr KnownApp kKnownApps[] = {
    {FourCharCode("hook"), "Media Player", "com.example.mediaplayer"},
    {FourCharCode("MACS"), "Finder", "com.apple.finder"},
    {FourCharCode("sprf"), "System Preferences", "com.apple.systempreferences"},
};
}  // namespace

const std::vector<Application>& World::installedApplications() {
  static const std::vector<Application> apps = {
      {"com.example.editor", "Editor", "editor", "EDIT", "/Applications/Editor.app/",
       "/Applications/Editor.app/Contents/MacOS/editor", true},
      {"com.apple.finder", "Finder", "Finder", "MACS", "/System/Library/CoreServices/Finder.app/",
       "/System/Library/CoreServices/Finder.app/Contents/MacOS/Finder", true},
      {"com.example.mail", "Mail", "mail", "MAIL", "/Applications/Mail.app/",
       "/Applications/Mail.app/Contents/MacOS/mail", true},
      {"com.example.mediaplayer", "Media Player", "mediaplayer", "hook", "/Applications/Media Player.app/",
       "/Applications/Media Player.app/Contents/MacOS/mediaplayer", true},
      {"com.example.other", "Other", "other", "", "/Applications/Other.app/",
       "/Applications/Other.app/Contents/MacOS/other", true},
  };
  return apps;
}

Status World::openApplicationWithCreator(uint32_t creator) {
  const KnownApp* app = nullptr;
  for (const auto& a : kKnownApps)
    if (a.creator == creator) app = &a;
  if (!app) {
    addLog("launch", nullptr, 0, "no application with creator " + FourCharCodeString(creator));
    return sys::kLSApplicationNotFoundErr;
  }
  for (const auto& p : processes_)
    if (p.signature == creator) return 0;  // already running
  addLog("launch", nullptr, 0, std::string("\"") + app->name + "\" starts");
  later(appStartDelay_, [this, app] {
    for (const auto& p : processes_)
      if (p.signature == app->creator) return;
    addProcess({0, 0, app->creator, app->name, app->bundleID});
  });
  return 0;
}

Status World::sendAppleEvent(const SentAppleEvent& ev) {
  std::string to;
  const bool system = ev.psnHigh == 0 && ev.psnLow == 1;
  if (system) {
    to = "the system";
  } else {
    for (const auto& p : processes_)
      if (p.psnHigh == ev.psnHigh && p.psnLow == ev.psnLow) to = "\"" + p.name + "\"";
    if (to.empty()) {
      addLog("apple event", nullptr, 0, "Apple event to a process that does not run: not delivered");
      return sys::procNotFound;
    }
  }
  std::string what = FourCharCodeString(ev.eventClass) + "/" + FourCharCodeString(ev.eventID);
  if (system && ev.eventClass == FourCharCode("aevt")) {
    if (ev.eventID == FourCharCode("rest")) what += " (restart)";
    else if (ev.eventID == FourCharCode("shut")) what += " (shut down)";
    else if (ev.eventID == FourCharCode("slep")) what += " (sleep)";
  }
  auto& e = addLog("apple event", nullptr, 0,
                   "Apple event " + what + " sent to " + to + " (recorded only; nothing happens)");
  e.fields->setString("class", FourCharCodeString(ev.eventClass));
  e.fields->setString("id", FourCharCodeString(ev.eventID));
  e.fields->setInteger("psn high", ev.psnHigh);
  e.fields->setInteger("psn low", ev.psnLow);
  e.fields->setInteger("send mode", ev.sendMode);
  e.fields->setInteger("return id", ev.returnID);
  e.fields->setInteger("transaction id", ev.transactionID);
  e.fields->setInteger("timeout", ev.timeout);
  e.fields->setString("address type", FourCharCodeString(ev.addressType));
  return 0;
}

Status World::runScript(const std::string& source) {
  auto& e = addLog("script", nullptr, 0, "script run (recorded only): " + source);
  e.fields->setString("source", source);
  return 0;
}

bool World::openFile(const std::string& path) {
  auto& e = addLog("open file", nullptr, 0, "opens the item " + path + " (recorded only)");
  e.fields->setString("path", path);
  return true;
}

bool World::launchApplication(const std::string& nameOrPath) {
  auto& e = addLog("launch", nullptr, 0, "launches the application " + nameOrPath + " (recorded only)");
  e.fields->setString("application", nameOrPath);
  return true;
}

bool World::launchBundle(const std::string& bundleID, uint32_t options) {
  auto& e = addLog("launch", nullptr, 0, "launches the application " + bundleID + " (recorded only)");
  e.fields->setString("bundle id", bundleID);
  e.fields->setInteger("options", options);
  return true;
}

bool World::openURL(const std::string& url) {
  auto& e = addLog("open url", nullptr, 0, "opens the web address " + url + " (recorded only)");
  e.fields->setString("url", url);
  return true;
}

std::optional<std::vector<uint8_t>> World::pasteboardData(const std::string& type) const {
  auto it = pasteboard_.find(type);
  if (it == pasteboard_.end()) return std::nullopt;
  return it->second;
}

void World::pasteboardDeclare(const std::vector<std::string>& types) {
  pasteboardTypes_ = types;
  pasteboard_.clear();
}

bool World::pasteboardSetData(const std::vector<uint8_t>& data, const std::string& type) {
  if (std::find(pasteboardTypes_.begin(), pasteboardTypes_.end(), type) == pasteboardTypes_.end())
    return false;
  pasteboard_[type] = data;
  auto& e = addLog("pasteboard", nullptr, 0,
                   "pasteboard " + type + " now holds \"" + std::string(data.begin(), data.end()) + "\"");
  e.fields->setString("type", type);
  e.fields->set("data", pl::makeData(data));
  return true;
}

std::optional<int> World::popUpSnippetsMenu(const std::vector<std::string>& titles) {
  std::string t = "snippets menu shown at the pointer:";
  for (size_t i = 0; i < titles.size(); ++i) t += (i ? ", " : " ") + titles[i];
  const auto choice = menuChoice_;
  menuChoice_.reset();
  t += choice ? "; the user picks item " + std::to_string(*choice) : "; the user dismisses it";
  addLog("menu", nullptr, 0, t);
  return choice;
}

std::vector<HidDevice> World::hidDevices() const {
  std::vector<HidDevice> out;
  for (const auto& [id, d] : devices_)
    for (const auto& i : d.interfaces)
      if (i.hidID)
        out.push_back({i.hidID, d.model.vendorID, d.model.productID,
                       d.ble ? sys::kIOHIDTransportBluetoothLowEnergyValue : sys::kIOHIDTransportUSBValue, i.number});
  return out;
}

}  // namespace sim
