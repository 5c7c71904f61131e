// Four-character codes: 32-bit values made of four characters, the first in the most significant
// byte ('VNTk' is 0x564E546B). Driver codes, application signatures and Apple event codes.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t FourCharCode(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[3]));
}

// The four characters of a code ("VNTk"); a byte that is not printable ASCII shows as '?'.
inline std::string FourCharCodeString(uint32_t code) {
  std::string s(4, '?');
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) s[static_cast<size_t>(i)] = c;
  }
  return s;
}
