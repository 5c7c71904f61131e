#include "platform/dbus/desktop_apple_events.h"

#include <QDBusMessage>

#include "platform/dbus/async_call.h"

namespace sys {

namespace {

constexpr int kTimeoutMs = 25000;  // an authentication dialog may be open that long
constexpr int64_t kSeekStep = 10'000'000;

}  // namespace

DesktopAppleEvents::DesktopAppleEvents(const QDBusConnection& session, const QDBusConnection& system,
                                       std::function<bool()> startMediaPlayer)
    : players_(session, this), system_(system), startMediaPlayer_(std::move(startMediaPlayer)) {}

int32_t DesktopAppleEvents::getNextProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  const bool fromStart = psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kNoProcess;
  if (fromStart && !players_.players().empty()) {
    *psn = kMediaApplicationProcess;
    return noErr;
  }
  return procNotFound;
}

int32_t DesktopAppleEvents::getProcessSignature(const ProcessSerialNumber& psn, uint32_t* signature) {
  if (!(psn == kMediaApplicationProcess) || players_.players().empty()) return procNotFound;
  if (signature) *signature = kMediaApplicationSignature;
  return noErr;
}

int32_t DesktopAppleEvents::openApplicationWithCreator(uint32_t creator) {
  if (creator != kMediaApplicationSignature || !startMediaPlayer_ || !startMediaPlayer_())
    return kLSApplicationNotFoundErr;
  return noErr;
}

int32_t DesktopAppleEvents::sendAppleEvent(const AppleEvent& event) {
  if (event.addressType != kTypeProcessSerialNumber) return paramErr;
  if (event.target == ProcessSerialNumber{0, kSystemProcess}) return toSystemProcess(event.eventClass, event.eventID);
  if (event.target == kMediaApplicationProcess) return toMediaApplication(event.eventClass, event.eventID);
  return procNotFound;
}

int32_t DesktopAppleEvents::toSystemProcess(uint32_t eventClass, uint32_t eventID) {
  const char* method = nullptr;
  if (eventClass == kCoreEventClass && eventID == FourCharCode("rest")) method = "Reboot";
  else if (eventClass == kCoreEventClass && eventID == FourCharCode("shut")) method = "PowerOff";
  else if (eventClass == kCoreEventClass && eventID == FourCharCode("slep")) method = "Suspend";
  if (method == nullptr) return errAEEventNotHandled;
  if (!system_.isConnected()) return procNotFound;
  QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.login1.Manager", method);
  m << true;  // interactive
  dbusasync::call(system_, m, kTimeoutMs, this, {});
  return noErr;
}

int32_t DesktopAppleEvents::toMediaApplication(uint32_t eventClass, uint32_t eventID) {
  bool sent = false;
  if (eventClass == kMediaApplicationSignature) {
    if (eventID == FourCharCode("PlPs")) sent = players_.call("PlayPause");
    else if (eventID == FourCharCode("Stop")) sent = players_.call("Stop");
    else if (eventID == FourCharCode("Prev") || eventID == FourCharCode("Back")) sent = players_.call("Previous");
    else if (eventID == FourCharCode("Next")) sent = players_.call("Next");
    else if (eventID == FourCharCode("Play") || eventID == FourCharCode("Resu")) sent = players_.call("Play");
    else if (eventID == FourCharCode("Paus")) sent = players_.call("Pause");
    else if (eventID == FourCharCode("Rwnd")) sent = players_.seek(-kSeekStep);
    else if (eventID == FourCharCode("Fast")) sent = players_.seek(kSeekStep);
    else return errAEEventNotHandled;
  } else if (eventClass == kCoreEventClass) {
    if (eventID == FourCharCode("vol+")) sent = players_.changeVolume(0.1);
    else if (eventID == FourCharCode("vol-")) sent = players_.changeVolume(-0.1);
    else if (eventID == FourCharCode("mute")) sent = players_.toggleMute();
    else return errAEEventNotHandled;
  } else {
    return errAEEventNotHandled;
  }
  return sent ? noErr : procNotFound;
}

}  // namespace sys
