#include "platform/text_compare.h"

#include <locale.h>
#include <wctype.h>

namespace text {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;

// The code point at s[i], advancing i past it; kInvalid (advancing one byte) for a malformed
// sequence.
char32_t decodeAt(std::string_view s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  size_t length = 0;
  char32_t c = 0;
  char32_t minimum = 0;
  if ((b0 & 0xE0) == 0xC0) {
    length = 2, c = b0 & 0x1F, minimum = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3, c = b0 & 0x0F, minimum = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4, c = b0 & 0x07, minimum = 0x10000;
  } else {
    ++i;
    return kInvalid;
  }
  if (i + length > s.size()) {
    ++i;
    return kInvalid;
  }
  for (size_t k = 1; k < length; ++k) {
    const unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return kInvalid;
    }
    c = (c << 6) | (b & 0x3F);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
    ++i;
    return kInvalid;
  }
  i += length;
  return c;
}

// Unicode's case mappings come from the C.UTF-8 locale when the system has it; without it only
// ASCII letters fold.
locale_t unicodeLocale() {
  static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

char32_t fold(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
  const locale_t locale = unicodeLocale();
  if (locale == static_cast<locale_t>(0)) return c;
  // Lower case of the upper case, so that variants such as the long s fold with their letter.
  const wint_t upper = towupper_l(static_cast<wint_t>(c), locale);
  return static_cast<char32_t>(towlower_l(upper, locale));
}

}  // namespace

bool isValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    if (decodeAt(s, i) == kInvalid) return false;
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  // Equal in the case-blind order: the same characters up to case, and the same malformed bytes.
  return compareIgnoringCase(a, b) == 0;
}

int compareIgnoringCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const size_t i0 = i;
    const size_t j0 = j;
    const char32_t ca = decodeAt(a, i);
    const char32_t cb = decodeAt(b, j);
    // A malformed byte comes after every character, ordered by its value.
    const char32_t fa = ca == kInvalid ? 0x110000 + static_cast<unsigned char>(a[i0]) : fold(ca);
    const char32_t fb = cb == kInvalid ? 0x110000 + static_cast<unsigned char>(b[j0]) : fold(cb);
    if (fa != fb) return fa < fb ? -1 : 1;
  }
  if (i == a.size() && j == b.size()) return 0;
  return i == a.size() ? -1 : 1;
}

}  // namespace text
