// UTF-8 checks and comparisons of names as people read them.
#pragma once

#include <string_view>

namespace text {

// Whether `s` is well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
bool isValidUtf8(std::string_view s);

// Whether two names are the same text when letter case is ignored (each character's simple
// Unicode case mapping, so "VANTRELHELPER" and "vantrelhelper", "ÜBER" and "über" are equal).
// Bytes that are not valid UTF-8 compare as they are.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// Orders two names when letter case is ignored (the same folding as equalsIgnoringCase),
// character by character by code point: negative when `a` comes first, 0 when they are equal
// so, positive otherwise. Bytes that are not valid UTF-8 come after every character.
int compareIgnoringCase(std::string_view a, std::string_view b);

}  // namespace text
