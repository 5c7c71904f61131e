// UTF-8 encoding of single code points.
#pragma once

#include <string>

namespace text {

// Appends the UTF-8 form of `c`; surrogates and values beyond U+10FFFF become U+FFFD.
void appendUtf8(std::string& out, char32_t c);

inline std::string utf8Encode(char32_t c) {
  std::string out;
  appendUtf8(out, c);
  return out;
}

}  // namespace text
