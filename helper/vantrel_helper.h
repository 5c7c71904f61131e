// The helper's controller: it starts the helper, reads the settings and coordinates its parts:
//   - the driver link (helper/driver_link.h): the driver's services, the device list and the
//     calls that reach a device;
//   - front-application tracking (helper/front_app.h): the frontmost application's identifiers;
//   - snap-to-default (helper/snap_to_default.h): the pointer on new default buttons.
// On every activation and device arrival it sends each device the settings of the profile that
// fits it and the frontmost application; every half second it watches key modifiers, the
// console session and device presence; it hands button presses to the button actions and state
// reports to the pane.
//
// Everything runs on the main thread: IOKit deliveries come through the notification port's
// run-loop source, activations through the workspace observer, and the two half-second timers
// through Qt's event loop. The platform services come in through the constructor. The matching
// callbacks reach the driver link through their context argument; the interest callback's
// argument is the connection handle, so it reaches the helper through `gHelper`.
//
// Seams for other parts of the helper:
//   - ButtonActions (helper/actions/action_host.h): started before the driver's services are
//     looked for, and handed every button event; the helper is their ActionHost.
//   - PaneChannel (below): observes the pane's commands once start-up is done and carries the
//     helper's messages to the pane. The commands map onto public methods: "list" ->
//     deviceListPayload(), "update" -> updatePrefs(), "front" -> setSendRawReports(),
//     "enumerate" -> driverLink().reenumerateUnloadedDevices().
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "helper/actions/action_host.h"
#include "helper/driver_link.h"
#include "helper/front_app.h"
#include "helper/snap_to_default.h"
#include "platform/iokit.h"
#include "platform/plist.h"
#include "platform/system_services.h"
#include "settings/device_info.h"
#include "settings/protocol.h"

class QTimer;
class VantrelHelper;

// The one helper object, set as the first step of start-up; the driver's interest callback
// reaches it here.
extern VantrelHelper* gHelper;

// The transport between helper and pane (distributed notifications).
class PaneChannel {
 public:
  virtual ~PaneChannel() = default;
  // Called at the end of start-up: from now on deliver the pane's commands to `helper` (on the
  // main thread).
  virtual void startObserving(VantrelHelper& helper) = 0;
  // Posts one message ({"list": ...} or {"report": ...}) to the pane.
  virtual void sendMessage(const pl::Dictionary& message) = 0;
};

// Whether the user session that runs the helper is the one on the console: the session
// dictionary's kCGSessionOnConsoleKey, true when there is no dictionary or no such entry.
bool IsSessionOnConsole(sys::ConsoleSession& session);

class VantrelHelper final : public QObject, public ActionHost, private DriverLink::Owner {
 public:
  struct Config {
    std::string settingsPath;  // empty: the user's settings file
    std::string factoryPath;   // empty: the factory "DefaultSettings" of the resources
    std::string processName = "VantrelHelper";  // the name a second instance is known by
  };

  // Every service of `platform` that the helper core uses must be set (complete()) and outlive
  // the helper.
  explicit VantrelHelper(const sys::Platform& platform);
  VantrelHelper(const sys::Platform& platform, Config config);
  ~VantrelHelper() override;
  VantrelHelper(const VantrelHelper&) = delete;
  VantrelHelper& operator=(const VantrelHelper&) = delete;

  // Optional collaborators; set them before awakeFromNib. Not owned.
  void setButtonActions(ButtonActions* actions) { fActions = actions; }
  void setPaneChannel(PaneChannel* channel) { fPaneChannel = channel; }
  // What asking the application to terminate does once the helper has wound down (the program
  // quits its event loop); not called when unset.
  void setTerminateHandler(std::function<void()> handler) { fTerminateHandler = std::move(handler); }
  // The session's atomic claim to being its helper (the program's: a well-known name on the
  // session bus), made at start-up once the process list shows no other helper. False when
  // another helper holds it: this one then terminates. Without it only the process list counts.
  void setInstanceClaim(std::function<bool()> claim) { fInstanceClaim = std::move(claim); }

  // The parts.
  DriverLink& driverLink() { return fDriverLink; }
  const DriverLink& driverLink() const { return fDriverLink; }
  const FrontAppTracker& frontApp() const { return fFrontApp; }
  SnapToDefault& snapToDefault() { return fSnapToDefault; }

  // ---- start-up, settings, termination ----
  void awakeFromNib();
  bool readPrefs();
  void updatePrefs();
  // 0 when a process other than this one has the given name (a Pascal string; compared with
  // ASCII letters folded) and was started before this one, storing its serial number through
  // `found` when given; otherwise the error that ended the walk. Of namesakes started at the
  // same moment only the first counts (by launch date, then serial number), so that of helpers
  // started together one stays; a process whose launch date is not known always counts.
  sys::OSErr findOtherNamedProcess(const unsigned char* name, sys::ProcessSerialNumber* found);
  bool IsSessionOnConsole() const;
  // Asks the application to terminate: winds down (applicationWillTerminate) and calls the
  // terminate handler. Start-up stops when it happens during awakeFromNib.
  void terminate();
  void applicationWillTerminate();
  bool terminated() const { return fTerminated; }

  // Every driver message: the message type, its argument (may be null), the service, and the
  // reference given at registration (the connection handle).
  void handleMessage(uint32_t messageType, void* argument, iokit::io_service_t service,
                     uintptr_t reference);

  // ---- settings transfer ----
  int32_t sendPrefsToEveryVantrel();
  int32_t sendPrefsToVantrel(uint32_t connection, CapturedDeviceRec* device,
                             bool changeHelperPrefs);
  pl::DictRef findAppPrefs(const DeviceInfo& info, pl::DictRef* global) const override;

  // ---- front application and the periodic task ----
  void frontAppChanged(const sys::RunningApplication* app);
  void frontAppPeriodicTask();
  void idleKeyModifiers();

  // ---- for the pane protocol ----
  // The device list the pane asks for: count, the accessibility flag, the first 16 devices.
  protocol::DeviceListBytes deviceListPayload();
  // The "front" command: stores the flag, then tells every device whether to send raw reports
  // (only while System Preferences is frontmost and the pane asked for them).
  void setSendRawReports(bool front);
  // Posts the driver's 16-byte state report to the pane; always 0.
  int16_t sendDeviceStateToPanel(const uint8_t* report);

  // ---- ActionHost ----
  const DeviceInfo* deviceInfoFor(uint32_t connection) const override;
  std::optional<uint32_t> firstDeviceConnection() const override;
  uint32_t frontApplication() const override { return fFrontApp.frontApplication(); }
  const uint8_t* keycodeTable() const override { return fKeycodeTable; }
  const uint8_t* modifiersTable() const override { return fModifiersTable; }
  pl::ArrayRef snippetsArray() const override { return fSnippetsArray; }
  int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) override {
    return fDriverLink.sendControlToEveryVantrel(code, param, result);
  }
  int32_t sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                               int32_t* result) override {
    return fDriverLink.sendControlToVantrel(connection, code, param, result);
  }

  // ---- state, read-only ----
  const pl::DictRef& prefsDict() const { return fPrefsDict; }
  const pl::ArrayRef& settingsArray() const { return fSettingsArray; }
  bool sendRawReports() const { return fSendRawReports; }
  bool userActive() const { return fUserActive; }
  bool oneMousePresent() const { return fOneMousePresent; }
  uint32_t lastKeyModifiers() const { return fLastKeyModifiers; }
  const QTimer* periodicTimer() const { return fPeriodicTimer; }

 private:
  // DriverLink::Owner: a new device gets its settings and, while System Preferences is front,
  // the request for state reports.
  void deviceAdded(uint32_t connection) override;

  sys::Platform fPlatform;
  Config fConfig;
  ButtonActions* fActions = nullptr;
  PaneChannel* fPaneChannel = nullptr;
  std::function<void()> fTerminateHandler;
  std::function<bool()> fInstanceClaim;
  bool fTerminated = false;
  bool fWoundDown = false;
  int fActivationObserver = 0;

  DriverLink fDriverLink;
  FrontAppTracker fFrontApp;
  SnapToDefault fSnapToDefault;

  QTimer* fPeriodicTimer = nullptr;
  pl::DictRef fPrefsDict;
  pl::ArrayRef fSettingsArray;
  pl::ArrayRef fSnippetsArray;
  uint8_t* fKeycodeTable = nullptr;
  uint8_t* fModifiersTable = nullptr;
  bool fSendRawReports = false;
  bool fUserActive = false;
  bool fOneMousePresent = false;
  uint32_t fLastKeyModifiers = 0;

  // While a settings broadcast runs, the profiles chosen for each device identity, so that
  // devices of the same model and release are matched once.
  struct MatchMemo {
    uint16_t vendorID;
    uint16_t productID;
    uint16_t productVers;
    pl::DictRef best;
    pl::DictRef global;
  };
  std::vector<MatchMemo>* fMatchMemo = nullptr;
};
