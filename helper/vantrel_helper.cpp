// Start-up, settings, the single-instance rule, the session check, termination, and what the
// helper coordinates: driver messages, settings transfer, application switches, the periodic task.
#include "helper/vantrel_helper.h"

#include <QTimer>
#include <cstring>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include "settings/driver_codes.h"
#include "keys/key_tables.h"
#include "platform/qt/qt_runloop.h"
#include "platform/runloop.h"
#include "settings/matching.h"
#include "settings/prefs_file.h"
#include "settings/record.h"
#include "settings/string_utils.h"

VantrelHelper* gHelper = nullptr;

namespace {

// Every message a device's service posts; its reference is the connection handle, so the
// helper is reached through gHelper.
void VantrelInterestCallback(void* refcon, iokit::io_service_t service, uint32_t messageType,
                             void* messageArgument) {
  if (gHelper != nullptr)
    gHelper->handleMessage(messageType, messageArgument, service,
                           reinterpret_cast<uintptr_t>(refcon));
}

constexpr uint32_t kReportedModifiers = 0x1B00;  // command, shift, option, control
constexpr int kPeriodicIntervalMs = 500;

}  // namespace

bool IsSessionOnConsole(sys::ConsoleSession& session) {
  pl::DictRef dict = session.CGSessionCopyCurrentDictionary();
  if (!dict) return true;
  pl::ObjectRef onConsole = dict->get(sys::kCGSessionOnConsoleKey);
  return onConsole ? pl::boolValue(onConsole) : true;
}

VantrelHelper::VantrelHelper(const sys::Platform& platform)
    : VantrelHelper(platform, Config()) {}

VantrelHelper::VantrelHelper(const sys::Platform& platform, Config config)
    : fPlatform(platform),
      fConfig(std::move(config)),
      fDriverLink(fPlatform, *this, VantrelInterestCallback),
      fFrontApp(*fPlatform.bundles),
      fSnapToDefault(fPlatform, *this) {
  if (fConfig.settingsPath.empty()) fConfig.settingsPath = VantrelSettingsPath();
  if (fConfig.factoryPath.empty()) fConfig.factoryPath = VantrelDefaultSettingsPath();
}

VantrelHelper::~VantrelHelper() {
  // The program's helper lives until the process ends; tidying up here lets tests make many.
  if (fActivationObserver != 0) fPlatform.workspace->removeActivationObserver(fActivationObserver);
  DisposeKeyTables(&fKeycodeTable, &fModifiersTable);
  if (gHelper == this) gHelper = nullptr;
}

void VantrelHelper::awakeFromNib() {
  gHelper = this;
  fUserActive = true;
  fOneMousePresent = true;

  // A second instance ends here: one that another helper's process precedes, or that loses the
  // claim to a helper the process list does not show.
  unsigned char name[256] = {};
  CStringPCopy(fConfig.processName.c_str(), name, 255);
  if (findOtherNamedProcess(name, nullptr) == sys::noErr || (fInstanceClaim && !fInstanceClaim())) {
    terminate();
    return;
  }

  fDriverLink.reenumerateUnloadedDevices();

  fActivationObserver = fPlatform.workspace->addActivationObserver(
      [this](const sys::RunningApplication* app) { frontAppChanged(app); });

  fPeriodicTimer = new QTimer(this);
  fPeriodicTimer->setInterval(kPeriodicIntervalMs);
  QObject::connect(fPeriodicTimer, &QTimer::timeout, this, [this] {
    // Like the driver's notifications, the timer only acts in the main event loop's default
    // mode: a tick that comes while a nested loop (a menu, a wait) runs is skipped.
    if (rl::inDefaultMode()) frontAppPeriodicTask();
  });
  fPeriodicTimer->start();

  fDriverLink.makeVantrelKeyboardActive();
  SetupKeyTablesNumPad(&fKeycodeTable, &fModifiersTable, 1);

  readPrefs();

  // The button actions load what they need (the system hot key tables).
  if (fActions != nullptr) fActions->start(*this);

  // Opens the services that exist already and sends them their settings: the settings and the
  // key tables must be in place by now.
  fDriverLink.installNotifications();

  if (fPaneChannel != nullptr) fPaneChannel->startObserving(*this);
}

bool VantrelHelper::readPrefs() {
  // The old settings go first, so that old and new are never held at once.
  fSettingsArray.reset();
  fSnippetsArray.reset();
  fPrefsDict.reset();
  fPrefsDict = VantrelReadHelperPrefs(fConfig.settingsPath, fConfig.factoryPath);
  fSettingsArray = fPrefsDict ? fPrefsDict->getArray("devices") : nullptr;
  fSnippetsArray = fPrefsDict ? fPrefsDict->getArray("snippets") : nullptr;
#if defined(__GLIBC__)
  // What the read needed on the way (the file's bytes, the parser's tree) and what the old
  // settings held go back to the system instead of staying with the process for its lifetime.
  ::malloc_trim(0);
#endif
  return fPrefsDict != nullptr;
}

void VantrelHelper::updatePrefs() {
  readPrefs();
  sendPrefsToEveryVantrel();
}

sys::OSErr VantrelHelper::findOtherNamedProcess(const unsigned char* name,
                                                sys::ProcessSerialNumber* found) {
  if (name == nullptr) return sys::paramErr;
  sys::ProcessManager& pm = *fPlatform.processes;
  const sys::ProcessSerialNumber current{0, sys::kCurrentProcess};
  // This process's launch date and serial number, to tell which of two namesakes came first.
  sys::ProcessInfoRec self;
  sys::ProcessSerialNumber selfPSN{0, sys::kNoProcess};
  if (pm.GetProcessInformation(current, &self) != sys::noErr || pm.GetCurrentProcess(&selfPSN) != sys::noErr)
    self.processLaunchDate = 0;
  auto startedLater = [&](const sys::ProcessSerialNumber& psn, uint64_t launch) {
    if (launch == 0 || self.processLaunchDate == 0) return false;
    if (launch != self.processLaunchDate) return launch > self.processLaunchDate;
    return psn.highLongOfPSN != selfPSN.highLongOfPSN ? psn.highLongOfPSN > selfPSN.highLongOfPSN
                                                      : psn.lowLongOfPSN > selfPSN.lowLongOfPSN;
  };
  sys::ProcessSerialNumber psn{0, sys::kNoProcess};
  sys::OSErr err;
  while ((err = pm.GetNextProcess(&psn)) == sys::noErr) {
    sys::Str255 processName{};
    sys::ProcessInfoRec info;
    info.processName = processName.data();
    err = pm.GetProcessInformation(psn, &info);
    if (err != sys::noErr) break;
    if (PStringCmp(processName.data(), name) != 0) continue;
    // A namesake started after this one will find this one and end: it is not another instance.
    if (startedLater(psn, info.processLaunchDate)) continue;
    bool same = true;
    if (pm.SameProcess(psn, current, &same) == sys::noErr && !same) {
      if (found != nullptr) *found = psn;
      return sys::noErr;
    }
  }
  return err;
}

bool VantrelHelper::IsSessionOnConsole() const { return ::IsSessionOnConsole(*fPlatform.session); }

void VantrelHelper::terminate() {
  fTerminated = true;
  applicationWillTerminate();
  if (fTerminateHandler) fTerminateHandler();
}

void VantrelHelper::applicationWillTerminate() {
  if (fWoundDown) return;
  fWoundDown = true;
  // Driver connections, notifications and timers end with the process.
  fPrefsDict.reset();
}

// ---- driver messages and new devices -------------------------------------------------------------

void VantrelHelper::handleMessage(uint32_t messageType, void* argument,
                                  iokit::io_service_t /*service*/, uintptr_t reference) {
  const auto connection = static_cast<uint32_t>(reference);
  switch (messageType) {
    case driver::kMessageButton:
      if (IsSessionOnConsole() && argument != nullptr && fActions != nullptr) {
        uint16_t button = 0;
        std::memcpy(&button, argument, sizeof button);
        fActions->buttonPressed(*this, connection, button);
      }
      break;
    case driver::kMessageState:
      if (IsSessionOnConsole() && argument != nullptr &&
          fFrontApp.frontApplication() == kSystemPreferencesSignature)
        sendDeviceStateToPanel(static_cast<const uint8_t*>(argument));
      break;
    case iokit::kIOMessageServiceIsTerminated:
      fDriverLink.serviceTerminated(connection);
      break;
    default:
      break;
  }
}

void VantrelHelper::deviceAdded(uint32_t connection) {
  sendPrefsToVantrel(connection, nullptr, true);
  sendControlToVantrel(connection, driver::kControlRawReports,
                       fFrontApp.frontApplication() == kSystemPreferencesSignature ? 1 : 0,
                       nullptr);
}

// ---- settings transfer -------------------------------------------------------------------------------

int32_t VantrelHelper::sendPrefsToEveryVantrel() {
  if (!IsSessionOnConsole()) return iokit::kIOReturnSuccess;
  // Neither the profiles nor the front application change during the broadcast.
  std::vector<MatchMemo> memo;
  fMatchMemo = &memo;
  int32_t status = iokit::kIOReturnSuccess;
  bool first = true;
  for (CapturedDeviceRec& rec : fDriverLink.deviceList()) {
    const int32_t r = sendPrefsToVantrel(rec.connection, &rec, first);
    first = false;
    if (status == iokit::kIOReturnSuccess) status = r;
  }
  fMatchMemo = nullptr;
  return status;
}

int32_t VantrelHelper::sendPrefsToVantrel(uint32_t connection, CapturedDeviceRec* device,
                                          bool changeHelperPrefs) {
  if (device == nullptr) device = fDriverLink.findDevice(connection);
  if (device == nullptr) return iokit::kIOReturnNotFound;

  pl::DictRef global;
  const pl::DictRef best = findAppPrefs(device->info, &global);
  if (!best && !global) return iokit::kIOReturnNotFound;

  int32_t status = iokit::kIOReturnNotFound;
  SettingsRecord record{};
  if (VantrelAppPrefsDictToStruct(best, global, &record))
    status = fDriverLink.sendSettingsRecord(connection, record);

  if (changeHelperPrefs) {
    const pl::DictRef& profile = best ? best : global;
    const pl::DictRef options = profile->getDict("options");
    const bool jump = options && options->boolValue("jump");
    if (jump != fSnapToDefault.snapToDefaultActive()) {
      if (jump)
        fSnapToDefault.startSnapToDefault();
      else
        fSnapToDefault.stopSnapToDefault();
    }
  }

  if (best) {
    if (const pl::DictRef param = best->getDict("param")) {
      fDriverLink.sendScrollRecord(connection, VantrelScrollRecord(*param));
    }
  }
  return status;
}

pl::DictRef VantrelHelper::findAppPrefs(const DeviceInfo& info, pl::DictRef* global) const {
  if (global != nullptr) global->reset();
  if (fMatchMemo != nullptr) {
    for (const MatchMemo& m : *fMatchMemo) {
      if (m.vendorID == info.vendorID && m.productID == info.productID &&
          m.productVers == info.productVers) {
        if (global != nullptr) *global = m.global;
        return m.best;
      }
    }
  }
  int32_t bestIndex = -1;
  int32_t globalIndex = -1;
  pl::DictRef best;
  pl::DictRef globalProfile;
  if (VantrelMatchAppPrefs(fSettingsArray, fFrontApp.frontAppBundleID(),
                           fFrontApp.frontAppExecutable(), fFrontApp.frontAppSignature(), info.vendorID, info.productID, info.productVers,
                           &bestIndex, &globalIndex)) {
    if (bestIndex >= 0) best = fSettingsArray->dictAt(static_cast<size_t>(bestIndex));
    if (globalIndex >= 0) globalProfile = fSettingsArray->dictAt(static_cast<size_t>(globalIndex));
  }
  if (fMatchMemo != nullptr)
    fMatchMemo->push_back(MatchMemo{info.vendorID, info.productID, info.productVers, best, globalProfile});
  if (global != nullptr) *global = globalProfile;
  return best;
}

// ---- front application and the periodic task ------------------------------------------------------

void VantrelHelper::frontAppChanged(const sys::RunningApplication* app) {
  if (app == nullptr) return;
  if (fFrontApp.frontAppChanged(*app))
    sendControlToEveryVantrel(driver::kControlRawReports,
                              fFrontApp.prefPaneIsFront() && fSendRawReports ? 1 : 0, nullptr);
  // Every activation, whether or not another profile now applies.
  sendPrefsToEveryVantrel();
}

void VantrelHelper::frontAppPeriodicTask() {
  idleKeyModifiers();

  const bool onConsole = IsSessionOnConsole();
  if (onConsole != fUserActive &&
      !FrontAppTracker::appShouldBeIgnored(fFrontApp.frontAppExecutable())) {
    fUserActive = onConsole;
    // Back at the console: the timer fires once at once, running this task again.
    if (onConsole) frontAppPeriodicTask();
  }

  const bool present = !fDriverLink.deviceList().empty();
  if (!fOneMousePresent && present) {
    fDriverLink.makeVantrelKeyboardActive();
    UpdateKeyTablesNumPad(fKeycodeTable, fModifiersTable, 1);
  }
  fOneMousePresent = present;
}

void VantrelHelper::idleKeyModifiers() {
  const uint32_t modifiers = fPlatform.input->GetCurrentKeyModifiers() & kReportedModifiers;
  if (modifiers == fLastKeyModifiers) return;
  sendControlToEveryVantrel(driver::kControlModifiers, static_cast<int32_t>(modifiers), nullptr);
  fLastKeyModifiers = modifiers;
}

// ---- pane protocol -------------------------------------------------------------------------------

protocol::DeviceListBytes VantrelHelper::deviceListPayload() {
  protocol::DeviceList list;
  list.helperState = fSnapToDefault.canUseSnapToDefault() ? 1 : 0;
  for (const CapturedDeviceRec& rec : fDriverLink.deviceList()) {
    if (list.count >= protocol::kMaxListedDevices) break;
    list.devices[list.count++] = rec.info;
  }
  return protocol::encodeDeviceList(list);
}

void VantrelHelper::setSendRawReports(bool front) {
  fSendRawReports = front;
  sendControlToEveryVantrel(driver::kControlRawReports,
                            fFrontApp.prefPaneIsFront() && fSendRawReports ? 1 : 0, nullptr);
}

int16_t VantrelHelper::sendDeviceStateToPanel(const uint8_t* report) {
  if (report == nullptr || fPaneChannel == nullptr) return 0;
  protocol::ReportBytes bytes{};
  std::memcpy(bytes.data(), report, bytes.size());
  if (pl::DictRef message = protocol::makeReportMessage(bytes)) fPaneChannel->sendMessage(*message);
  return 0;
}

// ---- ActionHost ------------------------------------------------------------------------------------

const DeviceInfo* VantrelHelper::deviceInfoFor(uint32_t connection) const {
  const CapturedDeviceRec* rec = fDriverLink.findDevice(connection);
  return rec != nullptr ? &rec->info : nullptr;
}

std::optional<uint32_t> VantrelHelper::firstDeviceConnection() const {
  if (fDriverLink.deviceList().empty()) return std::nullopt;
  return fDriverLink.deviceList().front().connection;
}
