// Start-up, settings, the single-instance rule, the session check and termination.
#include "helper/vantrel_helper.h"

#include <QThread>
#include <QTimer>
#include <cstring>

#include "settings/driver_codes.h"
#include "keys/key_tables.h"
#include "platform/runloop.h"
#include "settings/prefs_file.h"
#include "settings/string_utils.h"

VantrelHelper* gHelper = nullptr;

namespace {

// The IOKit callbacks are plain functions; they reach the helper through gHelper only.
void VantrelFirstMatchCallback(void* /*refcon*/, iokit::io_iterator_t iterator) {
  if (gHelper != nullptr) gHelper->openMatchedServices(iterator);
}

void VantrelTerminateCallback(void* /*refcon*/, iokit::io_iterator_t iterator) {
  if (gHelper != nullptr) gHelper->releaseTerminatedServices(iterator);
}

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
    : fPlatform(platform), fConfig(std::move(config)) {
  if (fConfig.settingsPath.empty()) fConfig.settingsPath = VantrelSettingsPath();
  if (fConfig.factoryPath.empty()) fConfig.factoryPath = VantrelDefaultSettingsPath();
}

VantrelHelper::~VantrelHelper() {
  // The program's helper lives until the process ends; tidying up here lets tests make many.
  if (fActivationObserver != 0) fPlatform.workspace->removeActivationObserver(fActivationObserver);
  if (fNotificationSource) fPlatform.mainRunLoop->removeSource(fNotificationSource);
  if (fFirstMatchIterator != 0) io().IOObjectRelease(fFirstMatchIterator);
  if (fTerminateIterator != 0) io().IOObjectRelease(fTerminateIterator);
  if (fNotificationPort != nullptr) io().IONotificationPortDestroy(fNotificationPort);
  DisposeKeyTables(&fKeycodeTable, &fModifiersTable);
  if (gHelper == this) gHelper = nullptr;
}

void VantrelHelper::awakeFromNib() {
  gHelper = this;
  fUserActive = true;
  fOneMousePresent = true;

  // A second instance ends here.
  unsigned char name[256] = {};
  CStringPCopy(fConfig.processName.c_str(), name, 255);
  if (findOtherNamedProcess(name, nullptr) == sys::noErr) {
    terminate();
    return;
  }

  reenumerateUnloadedDevices();

  fActivationObserver = fPlatform.workspace->addActivationObserver(
      [this](const sys::RunningApplication* app) { frontAppChanged(app); });

  fPeriodicTimer = new QTimer(this);
  fPeriodicTimer->setInterval(kPeriodicIntervalMs);
  QObject::connect(fPeriodicTimer, &QTimer::timeout, this, [this] {
    if (inDefaultRunLoopMode()) frontAppPeriodicTask();
  });
  fPeriodicTimer->start();

  makeVantrelKeyboardActive();
  SetupKeyTablesNumPad(&fKeycodeTable, &fModifiersTable, 1);

  readPrefs();

  // The button actions load what they need (the system hot key tables).
  if (fActions != nullptr) fActions->start(*this);

  // Opens the services that exist already and sends them their settings: the settings and the
  // key tables must be in place by now.
  installNotifications();

  if (fPaneChannel != nullptr) fPaneChannel->startObserving(*this);
}

bool VantrelHelper::inDefaultRunLoopMode() { return QThread::currentThread()->loopLevel() <= 1; }

bool VantrelHelper::readPrefs() {
  fPrefsDict = VantrelReadHelperPrefs(fConfig.settingsPath, fConfig.factoryPath);
  fSettingsArray = fPrefsDict ? fPrefsDict->getArray("devices") : nullptr;
  fSnippetsArray = fPrefsDict ? fPrefsDict->getArray("snippets") : nullptr;
  return fPrefsDict != nullptr;
}

void VantrelHelper::updatePrefs() {
  readPrefs();
  sendPrefsToEveryVantrel();
}

bool VantrelHelper::installNotifications() {
  using namespace iokit;
  mach_port_t master = MACH_PORT_NULL;
  const kern_return_t kr = io().IOMasterPort(MACH_PORT_NULL, &master);
  if (kr != KERN_SUCCESS || master == MACH_PORT_NULL) return false;

  bool installed = false;
  do {
    CFMutableDictionaryRef matching = IOServiceMatching(driver::kServiceClass);
    if (!matching) break;
    fNotificationPort = io().IONotificationPortCreate(master);
    if (fNotificationPort == nullptr) break;
    fNotificationSource = io().IONotificationPortGetRunLoopSource(fNotificationPort);
    if (!fNotificationSource) break;
    fPlatform.mainRunLoop->addSource(fNotificationSource);

    // Both registrations share the matching dictionary (each takes its own copy of it).
    if (io().IOServiceAddMatchingNotification(fNotificationPort, kIOFirstMatchNotification,
                                              matching, VantrelFirstMatchCallback, nullptr,
                                              &fFirstMatchIterator) != KERN_SUCCESS)
      break;
    // Handles the services that exist already and arms the notification.
    VantrelFirstMatchCallback(nullptr, fFirstMatchIterator);

    if (io().IOServiceAddMatchingNotification(fNotificationPort, kIOTerminatedNotification,
                                              matching, VantrelTerminateCallback, nullptr,
                                              &fTerminateIterator) != KERN_SUCCESS)
      break;
    VantrelTerminateCallback(nullptr, fTerminateIterator);
    installed = true;
  } while (false);

  io().mach_port_deallocate(mach_task_self(), master);
  return installed;
}

sys::OSErr VantrelHelper::findOtherNamedProcess(const unsigned char* name,
                                                sys::ProcessSerialNumber* found) {
  if (name == nullptr) return sys::paramErr;
  sys::ProcessManager& pm = *fPlatform.processes;
  const sys::ProcessSerialNumber current{0, sys::kCurrentProcess};
  sys::ProcessSerialNumber psn{0, sys::kNoProcess};
  sys::OSErr err;
  while ((err = pm.GetNextProcess(&psn)) == sys::noErr) {
    sys::Str255 processName{};
    sys::ProcessInfoRec info;
    info.processName = processName.data();
    err = pm.GetProcessInformation(psn, &info);
    if (err != sys::noErr) break;
    if (PStringCmp(processName.data(), name) != 0) continue;
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

// ---- pane protocol -------------------------------------------------------------------------------

protocol::DeviceListBytes VantrelHelper::deviceListPayload() {
  protocol::DeviceList list;
  list.helperState = canUseSnapToDefault() ? 1 : 0;
  for (const CapturedDeviceRec& rec : fDeviceList) {
    if (list.count >= protocol::kMaxListedDevices) break;
    list.devices[list.count++] = rec.info;
  }
  return protocol::encodeDeviceList(list);
}

void VantrelHelper::setSendRawReports(bool front) {
  fSendRawReports = front;
  sendControlToEveryVantrel(driver::kControlRawReports,
                            fPrefPaneIsFront && fSendRawReports ? 1 : 0, nullptr);
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
  for (const CapturedDeviceRec& rec : fDeviceList)
    if (rec.connection == connection) return &rec.info;
  return nullptr;
}

std::optional<uint32_t> VantrelHelper::firstDeviceConnection() const {
  if (fDeviceList.empty()) return std::nullopt;
  return fDeviceList.front().connection;
}
