// Apple events, the process list and opening applications by creator code: what the system
// events (restart, shut down, sleep) and the media commands are sent through.
//
// The runtime backend is DesktopAppleEvents (platform/dbus/desktop_apple_events.h: logind for
// the system process, MPRIS players for the media application); tests reach it only with logind
// mocked on a private bus. The test double is platform/fake/fake_apple_events.h.
#pragma once

#include <cstdint>

#include "platform/four_char_code.h"
#include "platform/process_number.h"
#include "platform/status_codes.h"

namespace sys {

// Event classes, address type and send modes.
inline constexpr uint32_t kCoreEventClass = FourCharCode("aevt");
inline constexpr uint32_t kTypeProcessSerialNumber = FourCharCode("psn ");
inline constexpr int32_t kAENoReply = 0x01;
inline constexpr int32_t kAEAlwaysInteract = 0x30;
inline constexpr int32_t kAECanSwitchLayer = 0x40;
inline constexpr int16_t kAutoGenerateReturnID = -1;
inline constexpr int32_t kAnyTransactionID = 0;
inline constexpr int32_t kAEDefaultTimeout = -1;

// One Apple event as it is created and sent: addressed to a process by serial number.
struct AppleEvent {
  uint32_t addressType = kTypeProcessSerialNumber;
  ProcessSerialNumber target;
  uint32_t eventClass = 0;
  uint32_t eventID = 0;
  int16_t returnID = kAutoGenerateReturnID;
  int32_t transactionID = kAnyTransactionID;
  int32_t sendMode = kAENoReply;
  int32_t timeout = kAEDefaultTimeout;
  bool operator==(const AppleEvent&) const = default;
};

class AppleEventServices {
 public:
  virtual ~AppleEventServices() = default;
  // The process after *psn in the process list (start from {0, kNoProcess}); procNotFound at the
  // end of the list.
  virtual int32_t getNextProcess(ProcessSerialNumber* psn) = 0;
  // The four-character signature of a process; an error when its information cannot be read.
  virtual int32_t getProcessSignature(const ProcessSerialNumber& psn, uint32_t* signature) = 0;
  // Finds the application with this creator code and opens it (it starts asynchronously).
  virtual int32_t openApplicationWithCreator(uint32_t creator) = 0;
  // Creates the event and sends it; the status of the send.
  virtual int32_t sendAppleEvent(const AppleEvent& event) = 0;
};

}  // namespace sys
