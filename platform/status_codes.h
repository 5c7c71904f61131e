// The status values the platform stand-ins answer with: IOKit's (the driver link) and Mac OS's
// (processes, Apple events, Launch Services, scripts). One definition each; every layer above
// names them from here.
#pragma once

#include <cstdint>

namespace iokit {

using IOReturn = int32_t;
using kern_return_t = int32_t;

inline constexpr kern_return_t KERN_SUCCESS = 0;
inline constexpr kern_return_t KERN_INVALID_ARGUMENT = 4;
inline constexpr kern_return_t KERN_FAILURE = 5;
// A message sent to a port (here: a connection) that does not exist.
inline constexpr kern_return_t MACH_SEND_INVALID_DEST = 0x10000003;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = static_cast<IOReturn>(0xE00002BC);
inline constexpr IOReturn kIOReturnNoMemory = static_cast<IOReturn>(0xE00002BD);
inline constexpr IOReturn kIOReturnNoDevice = static_cast<IOReturn>(0xE00002C0);
inline constexpr IOReturn kIOReturnBadArgument = static_cast<IOReturn>(0xE00002C2);
inline constexpr IOReturn kIOReturnExclusiveAccess = static_cast<IOReturn>(0xE00002C5);
inline constexpr IOReturn kIOReturnUnsupported = static_cast<IOReturn>(0xE00002C7);
inline constexpr IOReturn kIOReturnNotOpen = static_cast<IOReturn>(0xE00002CD);
inline constexpr IOReturn kIOReturnNotResponding = static_cast<IOReturn>(0xE00002ED);
inline constexpr IOReturn kIOReturnNotFound = static_cast<IOReturn>(0xE00002F0);

}  // namespace iokit

namespace sys {

using OSErr = int16_t;
using OSStatus = int32_t;

inline constexpr OSErr noErr = 0;
inline constexpr OSErr paramErr = -50;
inline constexpr OSErr resNotFound = -192;
inline constexpr OSErr procNotFound = -600;
inline constexpr OSStatus errAEEventNotHandled = -1708;
inline constexpr OSStatus kOSAScriptError = -1753;
inline constexpr OSStatus kLSApplicationNotFoundErr = -10814;

}  // namespace sys
