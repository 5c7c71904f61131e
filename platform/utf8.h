// UTF-8 encoding and decoding of single code points.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Appends the UTF-8 form of `c`; surrogates and values beyond U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t c);

inline std::string utf8Encode(char32_t c) {
  std::string out;
  appendUtf8(out, c);
  return out;
}

// Decodes the sequence that starts at byte `i` of `s` (i < s.size()): its code point and its
// length in bytes. False, with length 1, when the bytes there are no whole sequence (a stray
// continuation byte, a bad lead byte, a sequence cut short).
bool decodeUtf8(std::string_view s, size_t i, char32_t* c, size_t* length);

}  // namespace text
