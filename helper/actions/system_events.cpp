#include "helper/actions/system_events.h"

namespace actions {

int32_t SendCoreEventToSystemProcess(AppleEventServices& services, uint32_t eventID) {
  AppleEvent event;
  event.target = kSystemProcess;
  event.eventClass = kCoreEventClass;
  event.eventID = eventID;
  event.sendMode = kSystemEventSendMode;
  return services.sendAppleEvent(event);
}

int32_t FindProcessWithSignature(AppleEventServices& services, uint32_t signature,
                                 ProcessSerialNumber* psn) {
  ProcessSerialNumber current = kNoProcess;
  // A process list cannot be longer than this; the bound keeps a misbehaving list from
  // holding the helper forever.
  for (int guard = 0; guard < 65536; ++guard) {
    const int32_t err = services.getNextProcess(&current);
    if (err != kNoErr) return err;
    uint32_t found = 0;
    if (services.getProcessSignature(current, &found) != kNoErr) continue;
    if (found == signature) {
      if (psn) *psn = current;
      return kNoErr;
    }
  }
  return kProcNotFound;
}

int32_t SendAppleEventToApplication(AppleEventServices& services, ActionSleeper& sleeper,
                                    uint32_t signature, uint32_t eventClass, uint32_t eventID) {
  ProcessSerialNumber psn;
  int32_t err = FindProcessWithSignature(services, signature, &psn);
  if (err != kNoErr) {
    err = services.openApplicationWithCreator(signature);
    if (err != kNoErr) return err;
    for (int look = 0; look < 5; ++look) {
      sleeper.sleepMicroseconds(1000000);
      err = FindProcessWithSignature(services, signature, &psn);
      if (err == kNoErr) break;
    }
    if (err != kNoErr) return err;
  }
  AppleEvent event;
  event.target = psn;
  event.eventClass = eventClass;
  event.eventID = eventID;
  event.sendMode = kAENoReply;
  return services.sendAppleEvent(event);
}

int32_t SendMediaCommand(AppleEventServices& services, ActionSleeper& sleeper, uint8_t index) {
  if (index >= kMediaCommands.size()) return kParamErr;
  const uint32_t id = kMediaCommands[index];
  const bool volume =
      id == FourCharCode("vol+") || id == FourCharCode("vol-") || id == FourCharCode("mute");
  return SendAppleEventToApplication(services, sleeper, kMediaApplicationSignature,
                                     volume ? kCoreEventClass : kMediaApplicationSignature, id);
}

}  // namespace actions
