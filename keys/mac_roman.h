// Mac OS Roman, the 8-bit character set of the key tables.
#pragma once

#include <cstdint>
#include <string>

#include "platform/utf8.h"

namespace keys {

// The Mac OS Roman byte of a Unicode character: below 128 the character itself, otherwise the
// table's byte, or '?' (0x3F) when Mac OS Roman lacks the character. `substituted` (when given)
// tells whether the '?' stands for another character.
uint8_t unicodeToMacRoman(char32_t c, bool* substituted = nullptr);

// The Unicode character of a Mac OS Roman byte.
char32_t macRomanToUnicode(uint8_t byte);

// UTF-8 text of one Unicode character (invalid code points give U+FFFD).
using text::utf8Encode;

}  // namespace keys
