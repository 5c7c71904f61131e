#include "helper/actions/system_events.h"

namespace actions {

int32_t SendCoreEventToSystemProcess(sys::AppleEventServices& services, uint32_t eventID) {
  sys::AppleEvent event;
  event.target = sys::ProcessSerialNumber{0, sys::kSystemProcess};
  event.eventClass = sys::kCoreEventClass;
  event.eventID = eventID;
  event.sendMode = kSystemEventSendMode;
  return services.sendAppleEvent(event);
}

int32_t FindProcessWithSignature(sys::AppleEventServices& services, uint32_t signature,
                                 sys::ProcessSerialNumber* psn) {
  sys::ProcessSerialNumber current{0, sys::kNoProcess};
  // A process list cannot be longer than this; the bound keeps a misbehaving list from
  // holding the helper forever.
  for (int guard = 0; guard < 65536; ++guard) {
    const int32_t err = services.getNextProcess(&current);
    if (err != sys::noErr) return err;
    uint32_t found = 0;
    if (services.getProcessSignature(current, &found) != sys::noErr) continue;
    if (found == signature) {
      if (psn) *psn = current;
      return sys::noErr;
    }
  }
  return sys::procNotFound;
}

int32_t SendAppleEventToApplication(sys::AppleEventServices& services, sys::Sleeper& sleeper,
                                    uint32_t signature, uint32_t eventClass, uint32_t eventID) {
  sys::ProcessSerialNumber psn;
  int32_t err = FindProcessWithSignature(services, signature, &psn);
  if (err != sys::noErr) {
    err = services.openApplicationWithCreator(signature);
    if (err != sys::noErr) return err;
    for (int look = 0; look < 5; ++look) {
      sleeper.sleepFor(std::chrono::seconds(1));
      err = FindProcessWithSignature(services, signature, &psn);
      if (err == sys::noErr) break;
    }
    if (err != sys::noErr) return err;
  }
  sys::AppleEvent event;
  event.target = psn;
  event.eventClass = eventClass;
  event.eventID = eventID;
  event.sendMode = sys::kAENoReply;
  return services.sendAppleEvent(event);
}

int32_t SendMediaCommand(sys::AppleEventServices& services, sys::Sleeper& sleeper, uint8_t index) {
  if (index >= kMediaCommands.size()) return sys::paramErr;
  const uint32_t id = kMediaCommands[index];
  const bool volume =
      id == FourCharCode("vol+") || id == FourCharCode("vol-") || id == FourCharCode("mute");
  return SendAppleEventToApplication(services, sleeper, kMediaApplicationSignature,
                                     volume ? sys::kCoreEventClass : kMediaApplicationSignature, id);
}

}  // namespace actions
