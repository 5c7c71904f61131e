// The helper's controller: one object that starts the helper, reads the settings, keeps the list
// of the driver's devices, sends every device the settings of the profile that fits it and the
// frontmost application, follows application switches, watches key modifiers, the console
// session and device presence every half second, and moves the pointer to new default buttons
// when the profile asks for it.
//
// Everything runs on the main thread: IOKit deliveries come through the notification port's
// run-loop source, activations through the workspace observer, and the two half-second timers
// through Qt's event loop. The platform services come in through the constructor; the only
// process-wide reference is `gHelper`, through which the IOKit callbacks reach the helper.
//
// Seams for other parts of the helper:
//   - ButtonActions (helper/actions/action_host.h): started before the driver's services are
//     looked for, and handed every button event; the helper is their ActionHost.
//   - PaneChannel (below): observes the pane's commands once start-up is done and carries the
//     helper's messages to the pane. The commands map onto public methods: "list" ->
//     deviceListPayload(), "update" -> updatePrefs(), "front" -> setSendRawReports(),
//     "enumerate" -> reenumerateUnloadedDevices().
#pragma once

#include <QObject>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "helper/actions/action_host.h"
#include "platform/four_char_code.h"
#include "platform/iokit.h"
#include "platform/plist.h"
#include "platform/system_services.h"
#include "settings/device_info.h"
#include "settings/protocol.h"

class QTimer;
class VantrelHelper;

// The one helper object, set as the first step of start-up; used by the IOKit callbacks.
extern VantrelHelper* gHelper;

// One open driver service: its connection handle (the key of the list), the device's
// information as the driver reported it when the device was added, and the service's interest
// notification (given back when the device goes).
struct CapturedDeviceRec {
  uint32_t connection = 0;
  DeviceInfo info;
  iokit::io_object_t notification = 0;
};

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

// The signature of System Preferences: while it is frontmost the devices' state reports go to
// the pane.
inline constexpr uint32_t kSystemPreferencesSignature = FourCharCode("sprf");

// Whether the user session that runs the helper is the one on the console: the session
// dictionary's kCGSessionOnConsoleKey, true when there is no dictionary or no such entry.
bool IsSessionOnConsole(sys::ConsoleSession& session);

class VantrelHelper final : public QObject, public ActionHost {
 public:
  struct Config {
    std::string settingsPath;  // empty: the user's settings file
    std::string factoryPath;   // empty: the factory "DefaultSettings" of the resources
    std::string processName = "VantrelHelper";  // the name a second instance is known by
  };

  // Every service of `platform` must be set and outlive the helper.
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

  // ---- start-up, settings, termination ----
  void awakeFromNib();
  bool readPrefs();
  void updatePrefs();
  bool installNotifications();
  // 0 when a process other than this one has the given name (a Pascal string; compared with
  // ASCII letters folded), storing its serial number through `found` when given; otherwise the
  // error that ended the walk.
  sys::OSErr findOtherNamedProcess(const unsigned char* name, sys::ProcessSerialNumber* found);
  bool IsSessionOnConsole() const;
  // Asks the application to terminate: winds down (applicationWillTerminate) and calls the
  // terminate handler. Start-up stops when it happens during awakeFromNib.
  void terminate();
  void applicationWillTerminate();
  bool terminated() const { return fTerminated; }

  // ---- device discovery and device list ----
  void addDevice(uint32_t connection);
  CapturedDeviceRec* findDevice(uint32_t connection);
  void removeDevice(uint32_t connection);
  void reenumerateUnloadedDevices();
  int32_t findService(const char* className, bool reenumerate);
  // Every driver message: the message type, its argument (may be null), the service, and the
  // reference given at registration (the connection handle).
  void handleMessage(uint32_t messageType, void* argument, iokit::io_service_t service,
                     uintptr_t reference);
  // What the first-match callback does with its iterator: opens, registers and adds each service.
  void openMatchedServices(iokit::io_iterator_t iterator);
  // What the terminate callback does: releases each service of the iterator.
  void releaseTerminatedServices(iokit::io_iterator_t iterator);

  // ---- settings and control transfer ----
  int32_t sendPrefsToEveryVantrel();
  int32_t sendPrefsToVantrel(uint32_t connection, CapturedDeviceRec* device,
                             bool changeHelperPrefs);
  int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) override;
  int32_t sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                               int32_t* result) override;
  int32_t getDeviceInfoFromVantrel(uint32_t connection, int32_t type, int32_t version,
                                   void* info, uint32_t* size);
  void makeVantrelKeyboardActive();
  pl::DictRef findAppPrefs(const DeviceInfo& info, pl::DictRef* global) const override;

  // ---- front-application tracking ----
  void frontAppChanged(const sys::RunningApplication* app);
  void frontAppPeriodicTask();
  void idleKeyModifiers();
  static bool appShouldBeIgnored(std::string_view executable);
  static int16_t pStringCmpNoAppSuffix(const unsigned char* a, const unsigned char* b);

  // ---- snap-to-default ----
  void startSnapToDefault();
  void stopSnapToDefault();
  bool canUseSnapToDefault();
  bool readyToUseSnapToDefault();
  void idleSnapToDefault();

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
  uint32_t frontApplication() const override { return fFrontApplication; }
  const uint8_t* keycodeTable() const override { return fKeycodeTable; }
  const uint8_t* modifiersTable() const override { return fModifiersTable; }
  pl::ArrayRef snippetsArray() const override { return fSnippetsArray; }

  // ---- state, read-only ----
  const std::list<CapturedDeviceRec>& deviceList() const { return fDeviceList; }
  const pl::DictRef& prefsDict() const { return fPrefsDict; }
  const pl::ArrayRef& settingsArray() const { return fSettingsArray; }
  const std::string& frontAppBundleID() const { return fFrontAppBundleID; }
  const std::string& frontAppBundleName() const { return fFrontAppBundleName; }
  const std::string& frontAppExecutable() const { return fFrontAppExecutable; }
  const std::string& frontAppSignature() const { return fFrontAppSignature; }
  bool prefPaneIsFront() const { return fPrefPaneIsFront; }
  bool sendRawReports() const { return fSendRawReports; }
  bool userActive() const { return fUserActive; }
  bool oneMousePresent() const { return fOneMousePresent; }
  bool snapToDefaultActive() const { return fSnapToDefaultActive; }
  uint32_t lastKeyModifiers() const { return fLastKeyModifiers; }
  const QTimer* periodicTimer() const { return fPeriodicTimer; }
  const QTimer* snapTimer() const { return fSnapTimer; }
  bool holdsSystemWideElement() const { return fSnapSysAXElement != nullptr; }
  sys::CGPoint snapLastPos() const { return fSnapLastPos; }
  uint64_t snapNumChildren() const { return fSnapNumChildren; }
  iokit::IONotificationPortRef notificationPort() const { return fNotificationPort; }

 private:
  iokit::IOKit& io() const { return *fPlatform.iokit; }
  // The timers, like the driver's notifications, only act in the main event loop's default
  // mode: a tick that comes while a nested loop (a menu, a wait) runs is skipped.
  static bool inDefaultRunLoopMode();

  sys::Platform fPlatform;
  Config fConfig;
  ButtonActions* fActions = nullptr;
  PaneChannel* fPaneChannel = nullptr;
  std::function<void()> fTerminateHandler;
  bool fTerminated = false;
  bool fWoundDown = false;
  int fActivationObserver = 0;

  QTimer* fPeriodicTimer = nullptr;
  pl::DictRef fPrefsDict;
  pl::ArrayRef fSettingsArray;
  pl::ArrayRef fSnippetsArray;
  uint8_t* fKeycodeTable = nullptr;
  uint8_t* fModifiersTable = nullptr;
  uint32_t fFrontApplication = 0;
  std::string fFrontAppBundleID;
  std::string fFrontAppBundleName;
  std::string fFrontAppExecutable;
  std::string fFrontAppSignature;
  bool fPrefPaneIsFront = false;
  bool fSendRawReports = false;
  bool fUserActive = false;
  bool fOneMousePresent = false;
  bool fSnapToDefaultActive = false;
  uint32_t fLastKeyModifiers = 0;
  QTimer* fSnapTimer = nullptr;
  sys::AXUIElementRef fSnapSysAXElement;
  sys::CGPoint fSnapLastPos;
  uint64_t fSnapNumChildren = 0;
  iokit::IONotificationPortRef fNotificationPort = nullptr;
  rl::RunLoopSourceRef fNotificationSource;
  iokit::io_iterator_t fFirstMatchIterator = 0;
  iokit::io_iterator_t fTerminateIterator = 0;
  std::list<CapturedDeviceRec> fDeviceList;

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
