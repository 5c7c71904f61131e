// The simulated world: the kernel driver with its devices, and the parts of the operating system
// that the helper and the panel talk to and that this machine does not have.
//
// Devices. Attaching a device from the catalogue plugs it in: a USB device gets a USB device
// service ("IOUSBHostDevice", or "IOUSBDevice" for an older system), and every device shows one
// HID interface per catalogue interface. The driver captures a device when its vendor and
// product are in the supported-product table, publishing one "VantrelService" per interface; a
// USB device attached "unclaimed" is left alone until it re-enumerates. Re-enumeration makes a
// USB device leave and come back a moment later (with new services), captured this time.
//
// Driver. Clients open a captured service and call it with the three selectors: 0 (a settings
// or scroll record in), 1 (a control; one scalar out) and 2 (the device information out). The
// driver keeps what every interface last received and logs every call. A button press either
// runs an action the driver performs itself (clicks, driver keystrokes, scrolling; as the
// settings record says) or is posted to clients as the message VNDa; state reports go out as
// VNDs while the client asked for them (VNSr 1).
//
// Operating system. The frontmost application (activations are broadcast), the console
// session, held modifier keys and mouse buttons, the focused window's default button, the
// pointer, the running processes, Apple events, scripts, opened items and web addresses,
// launches, the pasteboard and the snippets menu. Nothing here reaches the real machine: every
// request is logged and answered from the world's own state.
//
// Everything is single-threaded. Delays (a device coming back, an application starting) go
// through the Scheduler given at construction.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hid_manager.h"
#include "platform/plist.h"
#include "settings/device_info.h"
#include "settings/driver_codes.h"
#include "settings/record.h"
#include "sim/catalogue.h"
#include "sim/system_state.h"

namespace sim {

using ServiceId = uint64_t;
using Status = int32_t;  // IOKit and Mac OS statuses (platform/status_codes.h)

class Scheduler {
 public:
  virtual ~Scheduler() = default;
  virtual void after(std::chrono::milliseconds delay, std::function<void()> work) = 0;
};

// ---- devices ------------------------------------------------------------------------------

struct AttachOptions {
  bool ble = false;
  bool unclaimed = false;
  std::optional<uint16_t> release;  // instead of the catalogue's
  std::optional<uint16_t> product;
  std::string usbClass = driver::kUSBHostDeviceClass;
};

// What the driver holds for one interface.
struct DriverState {
  std::optional<SettingsRecord> settings;
  std::optional<std::array<uint8_t, driver::kScrollRecordSize>> scroll;
  bool reports = false;
  uint16_t modifiers = 0;
  bool popUpOpen = false;
  uint32_t settingsReceived = 0;
  uint32_t scrollReceived = 0;
  uint32_t keystrokes = 0;
};

struct Interface {
  uint16_t number = 0;
  ServiceId service = 0;  // its VantrelService while captured, else 0
  uint64_t hidID = 0;     // its HID device while present, else 0
  DriverState driver;
};

struct Device {
  uint64_t id = 0;
  CatalogueDevice model;  // with the attach options' overrides applied
  bool ble = false;
  bool unclaimed = false;
  bool present = true;    // false while it re-enumerates
  std::string usbClass;
  ServiceId usbService = 0;
  std::string usbOpenedBy;  // the client that opened the USB device interface, "" when none
  bool usbReset = false;
  std::vector<Interface> interfaces;

  bool captured() const { return !interfaces.empty() && interfaces.front().service != 0; }
  DeviceInfo info(uint16_t interfaceNumber) const;
};

struct HidDevice {
  uint64_t id = 0;
  uint16_t vendorID = 0;
  uint16_t productID = 0;
  std::string transport;  // sys::kIOHIDTransportUSBValue or ...BluetoothLowEnergyValue
  uint16_t interfaceNumber = 0;
};

// ---- operating system -----------------------------------------------------------------------

struct Application {
  std::string bundleID;
  std::string name;
  std::string executable;
  std::string signature;  // four characters, or empty
  std::string bundlePath;
  std::string executablePath;
  bool hasInfoDictionary = true;
};

// The focused application's window and its default button, as accessibility reports them.
struct FocusedWindow {
  enum class Depth { None, Application, Window, DefaultButton };
  Depth depth = Depth::Application;  // how far the chain of focused objects goes
  bool enabled = true;
  double x = 0, y = 0, width = 0, height = 0;
  int64_t children = -1;  // -1: the window's children cannot be read
};

struct Process {
  uint32_t psnHigh = 0;
  uint32_t psnLow = 0;
  uint32_t signature = 0;
  std::string name;
  std::string bundleID;
};

struct SentAppleEvent {
  uint32_t addressType = 0;
  uint32_t psnHigh = 0, psnLow = 0;
  uint32_t eventClass = 0, eventID = 0;
  int32_t returnID = 0, transactionID = 0, sendMode = 0, timeout = 0;
};

// ---- log ------------------------------------------------------------------------------------

struct LogEntry {
  uint64_t seq = 0;
  int64_t timeNs = 0;  // CLOCK_MONOTONIC, comparable between processes of this machine
  std::string kind;    // "settings", "control", "press", "apple event", ...
  uint64_t device = 0;
  uint16_t interfaceNumber = 0;
  std::string text;    // plain words
  pl::DictRef fields;  // the details, decoded and raw
  // Fills in text and fields when the entry is first read, so that decoding a record costs
  // nothing while the driver answers the call that brought it.
  std::function<void(LogEntry&)> describe;
};

int64_t monotonicNs();

// ---- the world ------------------------------------------------------------------------------

class World {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    // Driver registry events carry one increasing sequence number (see snapshot()).
    virtual void servicePublished(uint64_t seq, ServiceId service, const std::string& className) = 0;
    virtual void serviceTerminated(uint64_t seq, ServiceId service, const std::string& className) = 0;
    virtual void messagePosted(uint64_t seq, ServiceId service, uint32_t type,
                               const std::vector<uint8_t>& argument) = 0;
    virtual void applicationActivated(const Application& app) = 0;
    virtual void hidDeviceChanged(bool added, const HidDevice& device) = 0;
    // A log entry was added (its fields are complete only once the current call returns).
    virtual void logged(const LogEntry&) {}
    // The console, held keys or buttons, accessibility or the focused window were set: the
    // state now is systemState(), numbered `seq`.
    virtual void systemStateChanged(uint64_t /*seq*/) {}
  };

  World(Catalogue catalogue, Scheduler& scheduler);

  void setObserver(Observer* observer) { observer_ = observer; }
  const Catalogue& catalogue() const { return catalogue_; }
  void setReEnumerationDelay(std::chrono::milliseconds d) { reEnumerationDelay_ = d; }
  void setApplicationStartDelay(std::chrono::milliseconds d) { appStartDelay_ = d; }

  // ---- devices (people and tests) ----
  // The new device's id, or 0 with the reason in `error`.
  uint64_t attach(const std::string& key, const AttachOptions& options, std::string* error);
  bool detach(uint64_t device);
  void detachAll();
  const Device* device(uint64_t id) const;
  std::vector<const Device*> devices() const;
  // The first device (lowest id) that is present; 0 when none.
  uint64_t firstDevice() const;

  struct PressResult {
    bool ok = false;
    bool posted = false;   // the press went to clients as VNDa
    std::string text;      // what happened, in plain words (or why nothing did)
  };
  // Presses a button on the device's first interface. With `raw` the press always goes to the
  // clients; otherwise the driver performs its own actions itself.
  PressResult press(uint64_t device, uint16_t button, bool raw);
  // Posts a 16-byte state report; unless forced only while the client asked for reports.
  bool report(uint64_t device, const std::array<uint8_t, driver::kStateReportSize>& bytes, bool force,
              std::string* why);

  // ---- driver (clients) ----
  uint64_t registrySeq() const { return registrySeq_; }
  // Every live service in publication order, with its class.
  std::vector<std::pair<ServiceId, std::string>> services() const;
  Status open(ServiceId service, uint32_t type, const std::string& client, uint32_t* connection);
  Status close(uint32_t connection);
  Status call(uint32_t connection, uint32_t selector, const std::vector<uint64_t>& input,
              const std::vector<uint8_t>& inputStruct, uint32_t outputCount,
              uint64_t outputStructCapacity, std::vector<uint64_t>* output,
              std::vector<uint8_t>* outputStruct);
  Status usbIdentity(ServiceId service, uint16_t* vendor, uint16_t* product) const;
  Status usbOpen(ServiceId service, const std::string& client);
  Status usbClose(ServiceId service, const std::string& client);
  Status usbReset(ServiceId service, const std::string& client);
  Status usbReEnumerate(ServiceId service, uint32_t options, const std::string& client);
  // A client left: its connections close and its USB device interfaces are given back.
  void clientGone(const std::string& client);
  size_t openConnections() const { return connections_.size(); }

  // ---- operating system ----
  void activate(const Application& app);
  const std::optional<Application>& frontApplication() const { return front_; }
  // The applications installed in the world (what an application chooser offers), by name.
  static const std::vector<Application>& installedApplications();
  // The console session: no dictionary at all, or one with or without the on-console entry.
  struct Console {
    bool dictionary = true;
    bool hasOnConsoleKey = true;
    bool onConsole = true;
  };
  void setConsole(const Console& c);
  const Console& console() const { return console_; }
  void setKeyModifiers(uint16_t classic);
  uint16_t keyModifiers() const { return modifiers_; }
  void setMouseButtons(uint32_t buttons);
  uint32_t mouseButtons() const { return mouseButtons_; }
  void setAccessibility(bool enabled);
  bool accessibility() const { return accessibility_; }
  void setFocusedWindow(const FocusedWindow& w);
  const FocusedWindow& focusedWindow() const { return focused_; }
  // All of the above that clients read often, in one; numbered from 0 up with every change.
  simbus::SystemState systemState() const;
  uint64_t systemStateSeq() const { return systemSeq_; }
  void setPointer(double x, double y);
  std::pair<double, double> pointer() const { return pointer_; }
  Status warpPointer(double x, double y);

  const std::vector<Process>& processes() const { return processes_; }
  void addProcess(const Process& p);  // a psn of {0, 0} gets the next free one
  bool removeProcess(uint32_t signature);
  Status openApplicationWithCreator(uint32_t creator);
  Status sendAppleEvent(const SentAppleEvent& event);
  Status runScript(const std::string& source);
  bool openFile(const std::string& path);
  bool launchApplication(const std::string& nameOrPath);
  bool launchBundle(const std::string& bundleID, uint32_t options);
  bool openURL(const std::string& url);

  std::vector<std::string> pasteboardTypes() const { return pasteboardTypes_; }
  std::optional<std::vector<uint8_t>> pasteboardData(const std::string& type) const;
  void pasteboardDeclare(const std::vector<std::string>& types);
  bool pasteboardSetData(const std::vector<uint8_t>& data, const std::string& type);

  // The snippets menu: shown with these titles at the pointer, it returns the item the user
  // picks (set beforehand with setMenuChoice; nothing = dismissed). The choice is used once.
  std::optional<int> popUpSnippetsMenu(const std::vector<std::string>& titles);
  void setMenuChoice(std::optional<int> item) { menuChoice_ = item; }

  std::vector<HidDevice> hidDevices() const;

  // ---- log ----
  std::vector<LogEntry> log(uint64_t since) const;  // entries with seq > since
  uint64_t lastLogSeq() const { return logSeq_; }
  void clearLog() { log_.clear(); }
  // Adds an entry from outside (the bus layer: clients arriving, leaving).
  void note(const std::string& kind, const std::string& text);

 private:
  Device* findDevice(uint64_t id);
  struct Found {
    Device* device = nullptr;
    Interface* interface = nullptr;
  };
  Found findService(ServiceId service);
  bool driverSupports(const Device& d) const;
  void plugIn(Device& d);
  void unplug(Device& d);
  void capture(Device& d);
  void publish(ServiceId service, const std::string& className);
  void terminate(ServiceId service, const std::string& className);
  void postMessage(ServiceId service, uint32_t type, std::vector<uint8_t> argument);
  void systemStateChanged();
  LogEntry& addLog(const std::string& kind, const Device* d, uint16_t iface, std::string text);
  // Work for later that is dropped when the world is gone by then.
  void later(std::chrono::milliseconds delay, std::function<void()> work);
  Status callStructIn(Found f, const std::vector<uint64_t>& input, const std::vector<uint8_t>& in);
  Status callControl(Found f, const std::vector<uint64_t>& input, uint32_t outputCount,
                     std::vector<uint64_t>* output);
  Status callDeviceInfo(Found f, const std::vector<uint64_t>& input, uint64_t capacity,
                        std::vector<uint8_t>* out);

  Catalogue catalogue_;
  Scheduler& scheduler_;
  Observer* observer_ = nullptr;
  std::chrono::milliseconds reEnumerationDelay_{50};
  std::chrono::milliseconds appStartDelay_{300};

  std::map<uint64_t, Device> devices_;
  uint64_t nextDevice_ = 1;
  ServiceId nextService_ = 0x1000;
  uint64_t nextHid_ = 1;
  std::vector<std::pair<ServiceId, std::string>> liveServices_;
  uint64_t registrySeq_ = 0;

  struct Connection {
    ServiceId service = 0;
    std::string client;
  };
  std::map<uint32_t, Connection> connections_;
  uint32_t nextConnection_ = 0x5A01;

  std::optional<Application> front_;
  Console console_;
  uint16_t modifiers_ = 0;
  uint32_t mouseButtons_ = 0;
  bool accessibility_ = true;
  FocusedWindow focused_;
  uint64_t systemSeq_ = 0;
  std::pair<double, double> pointer_{640, 400};
  std::vector<Process> processes_;
  uint32_t nextPsn_ = 0x2001;
  std::vector<std::string> pasteboardTypes_;
  std::map<std::string, std::vector<uint8_t>> pasteboard_;
  std::optional<int> menuChoice_;

  mutable std::vector<LogEntry> log_;  // entries are described when first read
  uint64_t logSeq_ = 0;
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace sim
