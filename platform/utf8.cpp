#include "platform/utf8.h"

namespace text {

void appendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool decodeUtf8(std::string_view s, size_t i, char32_t* c, size_t* length) {
  *length = 1;
  const auto lead = static_cast<unsigned char>(s[i]);
  size_t extra;
  if (lead < 0x80) {
    *c = lead;
    return true;
  } else if ((lead & 0xE0) == 0xC0) {
    *c = lead & 0x1F;
    extra = 1;
  } else if ((lead & 0xF0) == 0xE0) {
    *c = lead & 0x0F;
    extra = 2;
  } else if ((lead & 0xF8) == 0xF0) {
    *c = lead & 0x07;
    extra = 3;
  } else {
    return false;
  }
  if (s.size() - i - 1 < extra) return false;
  for (size_t k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    *c = (*c << 6) | (b & 0x3F);
  }
  *length = 1 + extra;
  return true;
}

}  // namespace text
