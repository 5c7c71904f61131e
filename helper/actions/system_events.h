// System events (restart, shut down, sleep) and media and volume commands, sent as Apple events
// through the platform's AppleEventServices.
#pragma once

#include <array>
#include <cstdint>

#include "platform/sleeper.h"
#include "platform/apple_events.h"

namespace actions {

inline constexpr uint32_t kMediaApplicationSignature = FourCharCode("hook");
inline constexpr int32_t kSystemEventSendMode = sys::kAENoReply | sys::kAEAlwaysInteract | sys::kAECanSwitchLayer;

// The media table: event identifiers by index 0..12.
inline constexpr std::array<uint32_t, 13> kMediaCommands = {
    FourCharCode("PlPs"), FourCharCode("Stop"), FourCharCode("Prev"), FourCharCode("Next"),
    FourCharCode("Rwnd"), FourCharCode("Fast"), FourCharCode("Play"), FourCharCode("Paus"),
    FourCharCode("Resu"), FourCharCode("Back"), FourCharCode("vol+"), FourCharCode("vol-"),
    FourCharCode("mute")};

// A core event ('aevt', `eventID`) to the system process, sent without reply (mode 0x71).
int32_t SendCoreEventToSystemProcess(sys::AppleEventServices& services, uint32_t eventID);

// The first process with this signature: 0 and its serial number (when `psn` is given), or the
// error that ended the walk of the process list.
int32_t FindProcessWithSignature(sys::AppleEventServices& services, uint32_t signature,
                                 sys::ProcessSerialNumber* psn);

// Sends one event, without reply, to the application with this signature; when it is not
// running it is opened first and looked for again once a second, five times at most.
int32_t SendAppleEventToApplication(sys::AppleEventServices& services, sys::Sleeper& sleeper,
                                    uint32_t signature, uint32_t eventClass, uint32_t eventID);

// Media table entry `index` to the media application: class 'aevt' for the volume commands,
// 'hook' for the others. An index above 12 is paramErr and sends nothing.
int32_t SendMediaCommand(sys::AppleEventServices& services, sys::Sleeper& sleeper, uint8_t index);

}  // namespace actions
