// Process serial numbers: how the Process Manager and Apple events name a process.
#pragma once

#include <array>
#include <cstdint>

namespace sys {

struct ProcessSerialNumber {
  uint32_t highLongOfPSN = 0;
  uint32_t lowLongOfPSN = 0;
  bool operator==(const ProcessSerialNumber&) const = default;
};
// Low words with a meaning of their own (the high word 0): no process (the start of a walk),
// the system process, the current process.
inline constexpr uint32_t kNoProcess = 0;
inline constexpr uint32_t kSystemProcess = 1;
inline constexpr uint32_t kCurrentProcess = 2;

// A Pascal string buffer: byte 0 the length, then up to 255 characters.
using Str255 = std::array<unsigned char, 256>;

}  // namespace sys
