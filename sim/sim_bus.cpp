#include "sim/sim_bus.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include "sim/driver_wire.h"
#include "sim/sim_names.h"
#include "sim/describe.h"

namespace sim {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

QJsonValue toJson(const pl::Object* o) {
  if (!o) return QJsonValue();
  switch (o->type()) {
    case pl::Type::String: return qs(static_cast<const pl::String*>(o)->value());
    case pl::Type::Number: {
      const auto* n = static_cast<const pl::Number*>(o);
      if (n->kind() == pl::Number::Kind::Boolean) return n->boolValue();
      if (n->kind() == pl::Number::Kind::Integer) return static_cast<qint64>(n->integerValue());
      return n->doubleValue();
    }
    case pl::Type::Data: {
      const auto& b = static_cast<const pl::Data*>(o)->bytes();
      return qs(hex(b.data(), b.size()));
    }
    case pl::Type::Array: {
      QJsonArray a;
      for (const auto& item : *static_cast<const pl::Array*>(o)) a.append(toJson(item.get()));
      return a;
    }
    case pl::Type::Dictionary: {
      QJsonObject obj;
      for (const auto& [k, v] : *static_cast<const pl::Dictionary*>(o)) obj.insert(qs(k), toJson(v.get()));
      return obj;
    }
    default: return QJsonValue();
  }
}

QJsonObject entryToJson(const LogEntry& e) {
  QJsonObject o;
  o["seq"] = static_cast<qint64>(e.seq);
  o["time_ns"] = static_cast<qint64>(e.timeNs);
  o["kind"] = qs(e.kind);
  if (e.device) {
    o["device"] = static_cast<qint64>(e.device);
    o["interface"] = e.interfaceNumber;
  }
  o["text"] = qs(e.text);
  if (e.fields && !e.fields->empty()) o["fields"] = toJson(e.fields.get());
  return o;
}

// The sequence number and time of the newest log entry.
QJsonObject lastEntryStamp(const World& w) {
  QJsonObject o;
  const auto entries = w.log(w.lastLogSeq() - 1);
  o["seq"] = static_cast<qint64>(w.lastLogSeq());
  if (!entries.empty()) o["time_ns"] = static_cast<qint64>(entries.back().timeNs);
  return o;
}

QString compact(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }
QString compact(const QJsonArray& a) { return QString::fromUtf8(QJsonDocument(a).toJson(QJsonDocument::Compact)); }

QJsonObject parseObject(const QString& json) {
  const auto doc = QJsonDocument::fromJson(json.toUtf8());
  return doc.isObject() ? doc.object() : QJsonObject();
}

uint32_t signatureCode(const std::string& s) {
  if (s.size() != 4) return 0;
  uint32_t v = 0;
  for (char c : s) v = (v << 8) | static_cast<unsigned char>(c);
  return v;
}

QJsonObject deviceToJson(const Device& d) {
  QJsonObject o;
  o["id"] = static_cast<qint64>(d.id);
  o["model"] = qs(d.model.key);
  o["name"] = qs(d.model.productName);
  o["vendor_id"] = d.model.vendorID;
  o["product_id"] = d.model.productID;
  o["release"] = d.model.release;
  o["transport"] = d.ble ? "ble" : "usb";
  o["present"] = d.present;
  o["captured"] = d.captured();
  QJsonArray ifs;
  for (const auto& i : d.interfaces) {
    QJsonObject io;
    io["number"] = i.number;
    io["service"] = static_cast<qint64>(i.service);
    io["settings_received"] = static_cast<qint64>(i.driver.settingsReceived);
    io["scroll_received"] = static_cast<qint64>(i.driver.scrollReceived);
    io["keystrokes"] = static_cast<qint64>(i.driver.keystrokes);
    io["reports"] = i.driver.reports;
    io["modifiers"] = i.driver.modifiers;
    if (i.driver.settings) {
      io["settings"] = qs(describeSettings(*i.driver.settings, d.model.buttons));
      io["settings_raw"] = qs(hex(i.driver.settings->data(), i.driver.settings->size()));
    }
    ifs.append(io);
  }
  o["interfaces"] = ifs;
  return o;
}

}  // namespace

QString logToJson(const std::vector<LogEntry>& entries) {
  QJsonArray a;
  for (const auto& e : entries) a.append(entryToJson(e));
  return compact(a);
}

QString catalogueToJson(const Catalogue& c) {
  QJsonArray a;
  for (const auto& d : c.devices()) {
    QJsonObject o;
    o["key"] = qs(d.key);
    o["device"] = d.device;
    o["entry"] = d.entry;
    o["vendor_id"] = d.vendorID;
    o["product_id"] = d.productID;
    o["release"] = d.release;
    o["vendor_name"] = qs(d.vendorName);
    o["product_name"] = qs(d.productName);
    QJsonArray buttons;
    for (int b : d.buttons) buttons.append(b);
    o["buttons"] = buttons;
    QJsonArray transports;
    if (d.usb) transports.append("usb");
    if (d.ble) transports.append("ble");
    o["transports"] = transports;
    QJsonArray ifs;
    for (auto n : d.interfaces) ifs.append(n);
    o["interfaces"] = ifs;
    a.append(o);
  }
  return compact(a);
}

// ---- driver -----------------------------------------------------------------------------------

std::string DriverObject::client() {
  if (!calledFromDBus()) return "local";
  const std::string c = ss(message().service());
  bus_.watchClient(c);
  return c;
}

QString DriverObject::SocketPath() { return bus_.socketPath(); }

qulonglong DriverObject::Snapshot(QList<qulonglong>& services, QStringList& classes) {
  services.clear();
  classes.clear();
  for (const auto& [id, cls] : bus_.world().services()) {
    services.append(id);
    classes.append(qs(cls));
  }
  return bus_.world().registrySeq();
}

int DriverObject::Open(qulonglong service, uint type, uint& connection) {
  connection = 0;
  return bus_.world().open(service, type, client(), &connection);
}

int DriverObject::Close(uint connection) { return bus_.world().close(connection); }

int DriverObject::Call(uint connection, uint selector, const QList<qulonglong>& input,
                       const QByteArray& inputStruct, uint outputCount, qulonglong outputStructCapacity,
                       QList<qulonglong>& output, QByteArray& outputStruct) {
  std::vector<uint64_t> in(input.begin(), input.end());
  std::vector<uint8_t> inStruct(inputStruct.begin(), inputStruct.end());
  std::vector<uint64_t> out;
  std::vector<uint8_t> outStruct;
  const int status = bus_.world().call(connection, selector, in, inStruct, outputCount, outputStructCapacity,
                                       &out, &outStruct);
  output = QList<qulonglong>(out.begin(), out.end());
  outputStruct = QByteArray(reinterpret_cast<const char*>(outStruct.data()), static_cast<qsizetype>(outStruct.size()));
  return status;
}

int DriverObject::UsbIdentity(qulonglong service, ushort& vendor, ushort& product) {
  uint16_t v = 0, p = 0;
  const int status = bus_.world().usbIdentity(service, &v, &p);
  vendor = v;
  product = p;
  return status;
}

int DriverObject::UsbOpen(qulonglong service) { return bus_.world().usbOpen(service, client()); }
int DriverObject::UsbClose(qulonglong service) { return bus_.world().usbClose(service, client()); }
int DriverObject::UsbReset(qulonglong service) { return bus_.world().usbReset(service, client()); }
int DriverObject::UsbReEnumerate(qulonglong service, uint options) {
  return bus_.world().usbReEnumerate(service, options, client());
}

// ---- system -----------------------------------------------------------------------------------

bool SystemObject::ConsoleSession(bool& hasOnConsoleKey, bool& onConsole) {
  const auto& c = bus_.world().console();
  hasOnConsoleKey = c.hasOnConsoleKey;
  onConsole = c.onConsole;
  return c.dictionary;
}

uint SystemObject::KeyModifiers() { return bus_.world().keyModifiers(); }
uint SystemObject::MouseButtons() { return bus_.world().mouseButtons(); }
bool SystemObject::Accessibility() { return bus_.world().accessibility(); }

int SystemObject::FocusedWindow(bool& enabled, double& x, double& y, double& width, double& height,
                                qlonglong& children) {
  const auto& w = bus_.world().focusedWindow();
  enabled = w.enabled;
  x = w.x;
  y = w.y;
  width = w.width;
  height = w.height;
  children = w.children;
  return static_cast<int>(w.depth);
}

qulonglong SystemObject::SystemState(QByteArray& state) {
  const auto bytes = simbus::encodeSystemState(bus_.world().systemState());
  state = QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
  return bus_.world().systemStateSeq();
}

double SystemObject::Pointer(double& y) {
  const auto p = bus_.world().pointer();
  y = p.second;
  return p.first;
}

int SystemObject::WarpPointer(double x, double y) { return bus_.world().warpPointer(x, y); }

uint SystemObject::Processes(QList<uint>& psnHigh, QList<uint>& psnLow, QList<uint>& signatures, QStringList& names) {
  psnHigh.clear();
  psnLow.clear();
  signatures.clear();
  names.clear();
  for (const auto& p : bus_.world().processes()) {
    psnHigh.append(p.psnHigh);
    psnLow.append(p.psnLow);
    signatures.append(p.signature);
    names.append(qs(p.name));
  }
  return static_cast<uint>(names.size());
}

int SystemObject::OpenApplicationWithCreator(uint creator) { return bus_.world().openApplicationWithCreator(creator); }

int SystemObject::SendAppleEvent(uint addressType, uint psnHigh, uint psnLow, uint eventClass, uint eventID,
                                 int returnID, int transactionID, int sendMode, int timeout) {
  return bus_.world().sendAppleEvent(
      {addressType, psnHigh, psnLow, eventClass, eventID, returnID, transactionID, sendMode, timeout});
}

int SystemObject::RunScript(const QString& source) { return bus_.world().runScript(ss(source)); }
bool SystemObject::OpenFile(const QString& path) { return bus_.world().openFile(ss(path)); }
bool SystemObject::LaunchApplication(const QString& n) { return bus_.world().launchApplication(ss(n)); }
bool SystemObject::LaunchBundle(const QString& b, uint options) { return bus_.world().launchBundle(ss(b), options); }
bool SystemObject::OpenURL(const QString& url) { return bus_.world().openURL(ss(url)); }

QStringList SystemObject::PasteboardTypes() {
  QStringList out;
  for (const auto& t : bus_.world().pasteboardTypes()) out.append(qs(t));
  return out;
}

bool SystemObject::PasteboardData(const QString& type, QByteArray& data) {
  const auto d = bus_.world().pasteboardData(ss(type));
  data = d ? QByteArray(reinterpret_cast<const char*>(d->data()), static_cast<qsizetype>(d->size())) : QByteArray();
  return d.has_value();
}

void SystemObject::PasteboardDeclare(const QStringList& types) {
  std::vector<std::string> t;
  for (const auto& s : types) t.push_back(ss(s));
  bus_.world().pasteboardDeclare(t);
}

bool SystemObject::PasteboardSetData(const QByteArray& data, const QString& type) {
  return bus_.world().pasteboardSetData(std::vector<uint8_t>(data.begin(), data.end()), ss(type));
}

int SystemObject::PopUpSnippetsMenu(const QStringList& titles) {
  std::vector<std::string> t;
  for (const auto& s : titles) t.push_back(ss(s));
  const auto choice = bus_.world().popUpSnippetsMenu(t);
  return choice ? *choice : -1;
}

QString SystemObject::FrontApplication() {
  QJsonObject o;
  if (const auto& app = bus_.world().frontApplication()) {
    o["bundle_id"] = qs(app->bundleID);
    o["name"] = qs(app->name);
    o["executable"] = qs(app->executable);
    o["signature"] = qs(app->signature);
  }
  return compact(o);
}

QString SystemObject::Applications() {
  QJsonArray a;
  for (const auto& app : World::installedApplications()) {
    QJsonObject o;
    o["bundle_id"] = qs(app.bundleID);
    o["name"] = qs(app.name);
    o["executable"] = qs(app.executable);
    o["signature"] = qs(app.signature);
    o["bundle_path"] = qs(app.bundlePath);
    a.append(o);
  }
  return compact(a);
}

QString SystemObject::HidDevices() {
  QJsonArray a;
  for (const auto& h : bus_.world().hidDevices()) {
    QJsonObject o;
    o["id"] = static_cast<qint64>(h.id);
    o["vendor_id"] = h.vendorID;
    o["product_id"] = h.productID;
    o["transport"] = qs(h.transport);
    o["interface"] = h.interfaceNumber;
    a.append(o);
  }
  return compact(a);
}

// ---- control ----------------------------------------------------------------------------------

QString ControlObject::Catalogue() { return catalogueToJson(bus_.world().catalogue()); }

QString ControlObject::Attach(const QString& key, const QString& optionsJson) {
  const auto opts = parseObject(optionsJson);
  AttachOptions o;
  o.ble = opts["ble"].toBool();
  o.unclaimed = opts["unclaimed"].toBool();
  if (opts.contains("release")) o.release = static_cast<uint16_t>(opts["release"].toInt());
  if (opts.contains("product")) o.product = static_cast<uint16_t>(opts["product"].toInt());
  if (opts["old_usb"].toBool()) o.usbClass = driver::kUSBDeviceClass;
  std::string error;
  const uint64_t id = bus_.world().attach(ss(key), o, &error);
  QJsonObject r;
  r["ok"] = id != 0;
  if (id) r["device"] = static_cast<qint64>(id);
  else r["error"] = qs(error);
  return compact(r);
}

bool ControlObject::Detach(qulonglong device) {
  if (device == 0) {
    bus_.world().detachAll();
    return true;
  }
  return bus_.world().detach(device);
}

QString ControlObject::Devices() {
  QJsonArray a;
  for (const Device* d : bus_.world().devices()) a.append(deviceToJson(*d));
  return compact(a);
}

QString ControlObject::Press(qulonglong device, ushort button, bool raw) {
  if (device == 0) device = bus_.world().firstDevice();
  const auto r = bus_.world().press(device, button, raw);
  QJsonObject o = lastEntryStamp(bus_.world());
  o["ok"] = r.ok;
  o["posted"] = r.posted;
  o["text"] = qs(r.text);
  return compact(o);
}

QString ControlObject::Report(qulonglong device, const QByteArray& bytes, bool force) {
  if (device == 0) device = bus_.world().firstDevice();
  QJsonObject o;
  if (bytes.size() != static_cast<qsizetype>(driver::kStateReportSize)) {
    o["ok"] = false;
    o["error"] = "a state report is 16 bytes";
    return compact(o);
  }
  std::array<uint8_t, driver::kStateReportSize> b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  std::string why;
  o["ok"] = bus_.world().report(device, b, force, &why);
  if (!why.empty()) o["error"] = qs(why);
  return compact(o);
}

QString ControlObject::Activate(const QString& applicationJson) {
  const auto o = parseObject(applicationJson);
  Application app;
  app.bundleID = ss(o["bundle_id"].toString());
  app.name = ss(o["name"].toString());
  app.executable = ss(o["executable"].toString());
  app.signature = ss(o["signature"].toString());
  app.bundlePath = ss(o["bundle_path"].toString());
  app.executablePath = ss(o["executable_path"].toString());
  app.hasInfoDictionary = o.contains("info") ? o["info"].toBool() : true;
  // A new application is also a running process.
  const uint32_t sig = signatureCode(app.signature);
  bool running = false;
  for (const auto& p : bus_.world().processes())
    if ((sig && p.signature == sig) || (!app.bundleID.empty() && p.bundleID == app.bundleID)) running = true;
  if (!running && !app.name.empty()) bus_.world().addProcess({0, 0, sig, app.name, app.bundleID});
  bus_.world().activate(app);
  return compact(lastEntryStamp(bus_.world()));
}

void ControlObject::SetConsole(bool dictionary, bool hasKey, bool onConsole) {
  bus_.world().setConsole({dictionary, hasKey, onConsole});
}
void ControlObject::SetModifiers(uint classic) { bus_.world().setKeyModifiers(static_cast<uint16_t>(classic)); }
void ControlObject::SetMouseButtons(uint buttons) { bus_.world().setMouseButtons(buttons); }
void ControlObject::SetAccessibility(bool enabled) { bus_.world().setAccessibility(enabled); }

void ControlObject::SetFocusedWindow(const QString& windowJson) {
  const auto o = parseObject(windowJson);
  FocusedWindow w;
  const QString depth = o["depth"].toString("button");
  w.depth = depth == "none" ? FocusedWindow::Depth::None
            : depth == "application" ? FocusedWindow::Depth::Application
            : depth == "window" ? FocusedWindow::Depth::Window
                                : FocusedWindow::Depth::DefaultButton;
  w.enabled = o.contains("enabled") ? o["enabled"].toBool() : true;
  w.x = o["x"].toDouble();
  w.y = o["y"].toDouble();
  w.width = o["width"].toDouble();
  w.height = o["height"].toDouble();
  w.children = o.contains("children") ? o["children"].toInteger() : -1;
  bus_.world().setFocusedWindow(w);
}

void ControlObject::SetPointer(double x, double y) { bus_.world().setPointer(x, y); }

void ControlObject::AddProcess(const QString& processJson) {
  const auto o = parseObject(processJson);
  bus_.world().addProcess({0, 0, signatureCode(ss(o["signature"].toString())), ss(o["name"].toString()),
                           ss(o["bundle_id"].toString())});
}

bool ControlObject::RemoveProcess(uint signature) { return bus_.world().removeProcess(signature); }
void ControlObject::SetMenuChoice(int item) {
  bus_.world().setMenuChoice(item < 0 ? std::nullopt : std::optional<int>(item));
}

QString ControlObject::State() {
  World& w = bus_.world();
  QJsonObject o;
  if (const auto& app = w.frontApplication()) {
    QJsonObject a;
    a["bundle_id"] = qs(app->bundleID);
    a["name"] = qs(app->name);
    a["executable"] = qs(app->executable);
    a["signature"] = qs(app->signature);
    o["front_application"] = a;
  }
  const auto& c = w.console();
  o["on_console"] = !c.dictionary || !c.hasOnConsoleKey || c.onConsole;
  o["modifiers"] = w.keyModifiers();
  o["mouse_buttons"] = static_cast<qint64>(w.mouseButtons());
  o["accessibility"] = w.accessibility();
  o["pointer"] = QJsonArray{w.pointer().first, w.pointer().second};
  QJsonArray procs;
  for (const auto& p : w.processes()) procs.append(qs(p.name + " (" + FourCharCodeString(p.signature) + ")"));
  o["processes"] = procs;
  QJsonObject pb;
  for (const auto& t : w.pasteboardTypes()) {
    const auto d = w.pasteboardData(t);
    pb[qs(t)] = d ? qs(std::string(d->begin(), d->end())) : QString();
  }
  o["pasteboard"] = pb;
  o["open_connections"] = static_cast<qint64>(w.openConnections());
  return compact(o);
}

QString ControlObject::Log(qulonglong since) { return logToJson(bus_.world().log(since)); }
qulonglong ControlObject::LastLogSeq() { return bus_.world().lastLogSeq(); }
void ControlObject::ClearLog() { bus_.world().clearLog(); }

QString ControlObject::WaitForLog(qulonglong since, const QString& kind, uint count, uint timeoutMs) {
  SimBus::Waiter w;
  w.since = since;
  w.kind = ss(kind);
  w.count = count == 0 ? 1 : count;
  w.deadlineMs = QDateTime::currentMSecsSinceEpoch() + timeoutMs;
  if (calledFromDBus()) {
    setDelayedReply(true);
    w.request = message();
  }
  bus_.addWaiter(std::move(w));
  return QString();
}

void ControlObject::Quit() { Q_EMIT bus_.quitRequested(); }

// ---- the bus side -----------------------------------------------------------------------------

SimBus::SimBus(World& world, const QDBusConnection& connection)
    : world_(world), connection_(connection), driver_(*this), system_(*this), control_(*this) {
  qDBusRegisterMetaType<QList<qulonglong>>();
  qDBusRegisterMetaType<QList<uint>>();
  clients_.setConnection(connection_);
  clients_.setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
  connect(&clients_, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString& name) {
    const std::string client = ss(name);
    watched_.erase(client);
    clients_.removeWatchedService(name);
    world_.clientGone(client);
  });
  waiterTimer_ = new QTimer(this);
  waiterTimer_->setInterval(20);
  connect(waiterTimer_, &QTimer::timeout, this, [this] { checkWaiters(true); });
  world_.setObserver(this);
}

SimBus::~SimBus() {
  world_.setObserver(nullptr);
  socket_.reset();
}

bool SimBus::start(std::string* error) {
  if (!connection_.isConnected()) {
    *error = "no session bus";
    return false;
  }
  // The driver's direct socket: a call then crosses one socket instead of two, and neither the
  // bus nor the bus library's threads have to be scheduled on the way. It lies in the user's
  // runtime folder.
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  const QString dir = !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
  socket_ = std::make_unique<DriverSocketServer>(world_);
  socket_->setMaxPendingBytes(socketLimit_);
  std::string socketError;
  if (!offerSocket_) {
    socket_.reset();
  } else if (!socket_->listen(dir.toStdString(), &socketError)) {
    world_.note("client", "no direct socket (" + socketError + "); clients use the bus");
    socket_.reset();
  }
  const auto opts = QDBusConnection::ExportAllSlots;
  if (!connection_.registerObject(simbus::kDriverPath, &driver_, opts) ||
      !connection_.registerObject(simbus::kSystemPath, &system_, opts) ||
      !connection_.registerObject(simbus::kControlPath, &control_, opts)) {
    *error = "cannot register the simulator's objects";
    return false;
  }
  if (!connection_.registerService(simbus::kService)) {
    *error = "another simulator runs on this bus (" + std::string(simbus::kService) + " is taken)";
    return false;
  }
  if (standsInForSystem_ && !connection_.registerService(simbus::kSystemService)) {
    *error = std::string(simbus::kSystemService) + " is taken";
    return false;
  }
  return true;
}

void SimBus::watchClient(const std::string& client) {
  if (client == "local" || !watched_.insert(client).second) return;
  clients_.addWatchedService(qs(client));
  // The client may already have left before the watch was in place.
  if (!connection_.interface()->isServiceRegistered(qs(client)).value()) {
    watched_.erase(client);
    clients_.removeWatchedService(qs(client));
    world_.clientGone(client);
  }
}

QString SimBus::socketPath() const { return socket_ ? qs(socket_->path()) : QString(); }

void SimBus::sendDriverEvent(const QDBusMessage& signal, const std::vector<uint8_t>& packet) {
  connection_.send(signal);
  if (socket_) socket_->sendEvent(packet);
}

namespace {
std::vector<uint8_t> registryEvent(uint64_t seq, driverwire::EventType type, ServiceId service,
                                   const std::string& className) {
  driverwire::Writer w;
  w.u8(static_cast<uint8_t>(driverwire::Kind::Event)).u64(seq).u8(static_cast<uint8_t>(type)).u64(service).str(className);
  return w.bytes();
}
}  // namespace

void SimBus::servicePublished(uint64_t seq, ServiceId service, const std::string& className) {
  auto m = QDBusMessage::createSignal(simbus::kDriverPath, simbus::kDriverInterface, "ServicePublished");
  m << static_cast<qulonglong>(seq) << static_cast<qulonglong>(service) << qs(className);
  sendDriverEvent(m, registryEvent(seq, driverwire::EventType::Published, service, className));
}

void SimBus::serviceTerminated(uint64_t seq, ServiceId service, const std::string& className) {
  auto m = QDBusMessage::createSignal(simbus::kDriverPath, simbus::kDriverInterface, "ServiceTerminated");
  m << static_cast<qulonglong>(seq) << static_cast<qulonglong>(service) << qs(className);
  sendDriverEvent(m, registryEvent(seq, driverwire::EventType::Terminated, service, className));
}

void SimBus::messagePosted(uint64_t seq, ServiceId service, uint32_t type, const std::vector<uint8_t>& argument) {
  auto m = QDBusMessage::createSignal(simbus::kDriverPath, simbus::kDriverInterface, "MessagePosted");
  m << static_cast<qulonglong>(seq) << static_cast<qulonglong>(service) << static_cast<uint>(type)
    << QByteArray(reinterpret_cast<const char*>(argument.data()), static_cast<qsizetype>(argument.size()));
  driverwire::Writer w;
  w.u8(static_cast<uint8_t>(driverwire::Kind::Event)).u64(seq).u8(static_cast<uint8_t>(driverwire::EventType::Message))
      .u64(service).u32(type).blob(argument.data(), argument.size());
  sendDriverEvent(m, w.bytes());
}

void SimBus::applicationActivated(const Application& app) {
  auto m = QDBusMessage::createSignal(simbus::kSystemPath, simbus::kSystemInterface, "ApplicationActivated");
  m << qs(app.bundleID) << qs(app.name) << qs(app.executable) << qs(app.signature) << qs(app.bundlePath)
    << qs(app.executablePath) << app.hasInfoDictionary;
  connection_.send(m);
}

void SimBus::hidDeviceChanged(bool added, const HidDevice& h) {
  auto m = QDBusMessage::createSignal(simbus::kSystemPath, simbus::kSystemInterface,
                                      added ? "HidDeviceAdded" : "HidDeviceRemoved");
  m << static_cast<qulonglong>(h.id) << QVariant::fromValue(static_cast<ushort>(h.vendorID))
    << QVariant::fromValue(static_cast<ushort>(h.productID)) << qs(h.transport)
    << QVariant::fromValue(static_cast<ushort>(h.interfaceNumber));
  connection_.send(m);
}

void SimBus::systemStateChanged(uint64_t seq) {
  const auto state = simbus::encodeSystemState(world_.systemState());
  auto m = QDBusMessage::createSignal(simbus::kSystemPath, simbus::kSystemInterface, "SystemStateChanged");
  m << static_cast<qulonglong>(seq)
    << QByteArray(reinterpret_cast<const char*>(state.data()), static_cast<qsizetype>(state.size()));
  // On the socket too, in line with the driver's events: a client there sees the state that held
  // when a press was posted before it sees the press.
  driverwire::Writer w;
  w.u8(static_cast<uint8_t>(driverwire::Kind::Event)).u64(seq).u8(static_cast<uint8_t>(driverwire::EventType::SystemState))
      .u64(0).blob(state.data(), state.size());
  sendDriverEvent(m, w.bytes());
}

void SimBus::logged(const LogEntry&) {
  if (waiters_.empty()) return;
  // The entry's details are filled in after this call: look once the current work is done.
  QMetaObject::invokeMethod(this, [this] { checkWaiters(false); }, Qt::QueuedConnection);
}

void SimBus::addWaiter(Waiter w) {
  waiters_.push_back(std::move(w));
  checkWaiters(false);
  if (!waiters_.empty() && !waiterTimer_->isActive()) waiterTimer_->start();
}

bool SimBus::answerWaiter(Waiter& w, bool timeUp) {
  std::vector<LogEntry> matching;
  for (auto& e : world_.log(w.since))
    if (w.kind.empty() || e.kind == w.kind) matching.push_back(std::move(e));
  const bool enough = matching.size() >= w.count;
  if (!enough && !(timeUp && QDateTime::currentMSecsSinceEpoch() >= w.deadlineMs)) return false;
  if (enough) matching.resize(w.count);
  if (w.request.type() != QDBusMessage::InvalidMessage)
    connection_.send(w.request.createReply(QVariant(logToJson(matching))));
  return true;
}

void SimBus::checkWaiters(bool timeUp) {
  for (size_t i = 0; i < waiters_.size();) {
    if (answerWaiter(waiters_[i], timeUp)) waiters_.erase(waiters_.begin() + static_cast<std::ptrdiff_t>(i));
    else ++i;
  }
  if (waiters_.empty()) waiterTimer_->stop();
}

}  // namespace sim
