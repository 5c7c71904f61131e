#include "settings/string_utils.h"

#include <algorithm>
#include <cstring>

#include "platform/system_version.h"

namespace {

constexpr int32_t kPascalMax = 255;

int32_t pascalLimit(int32_t limit) { return std::clamp(limit, 0, kPascalMax); }

int fold(unsigned char c) { return (c >= 0x41 && c <= 0x5A) ? c + 0x20 : c; }

}  // namespace

void PStringCopy(const unsigned char* src, unsigned char* dst, int32_t limit) {
  if (!src || !dst) return;
  const int32_t n = std::min<int32_t>(src[0], pascalLimit(limit));
  std::memmove(dst + 1, src + 1, static_cast<size_t>(n));
  dst[0] = static_cast<unsigned char>(n);
}

void PStringCat(const unsigned char* src, unsigned char* dst, int32_t limit) {
  if (!src || !dst) return;
  const int32_t d = dst[0];
  const int32_t s = src[0];
  const int32_t max = pascalLimit(limit);
  // A destination already at or past the limit gets nothing (never a negative count).
  const int32_t n = d + s <= max ? s : std::max(0, max - d);
  if (n == 0) return;
  std::memmove(dst + 1 + d, src + 1, static_cast<size_t>(n));
  dst[0] = static_cast<unsigned char>(d + n);
}

int16_t PStringCmp(const unsigned char* a, const unsigned char* b) {
  static const unsigned char kEmpty[1] = {0};
  if (!a) a = kEmpty;
  if (!b) b = kEmpty;
  const int n = std::min(a[0], b[0]);
  for (int i = 1; i <= n; ++i) {
    const int x = fold(a[i]), y = fold(b[i]);
    if (x != y) return static_cast<int16_t>(x - y);
  }
  return static_cast<int16_t>(a[0] - b[0]);
}

void CStringPCopy(const char* src, unsigned char* dst, int16_t limit) {
  if (!dst) return;
  const int32_t max = pascalLimit(limit);
  int32_t n = 0;
  if (src)
    for (; n < max && src[n] != '\0'; ++n) dst[1 + n] = static_cast<unsigned char>(src[n]);
  dst[0] = static_cast<unsigned char>(n);
}

void CStringPCat(const char* src, unsigned char* dst, int16_t limit) {
  if (!dst || !src) return;
  const int32_t max = pascalLimit(limit);
  int32_t n = dst[0];
  for (const char* p = src; n < max && *p != '\0'; ++p) dst[1 + n++] = static_cast<unsigned char>(*p);
  if (n > dst[0]) dst[0] = static_cast<unsigned char>(n);
}

int16_t CStringCopy(const char* src, char* dst, int16_t limit) {
  if (!dst) return 0;
  int16_t n = 0;
  if (src)
    for (; n < limit && src[n] != '\0'; ++n) dst[n] = src[n];
  dst[n] = '\0';
  return n;
}

int16_t CStringCat(const char* src, char* dst, int16_t limit) {
  if (!dst) return 0;
  if (limit <= 0) {
    dst[0] = '\0';
    return 0;
  }
  int16_t n = 0;
  while (n < limit && dst[n] != '\0') ++n;
  if (src)
    for (const char* p = src; n < limit && *p != '\0'; ++p) dst[n++] = *p;
  dst[n] = '\0';
  return n;
}

int16_t CStringCmp(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  for (size_t i = 0;; ++i) {
    const int x = fold(static_cast<unsigned char>(a[i]));
    const int y = fold(static_cast<unsigned char>(b[i]));
    if (x != y || a[i] == '\0') return static_cast<int16_t>(x - y);
  }
}

pl::DictRef mutableDeepAutoreleasedCopy(const pl::DictRef& dict) { return pl::deepCopyDict(dict); }
pl::ArrayRef mutableDeepAutoreleasedCopy(const pl::ArrayRef& array) { return pl::deepCopyArray(array); }

std::optional<std::string> stringByReplacingIllegalPathCharacters(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    switch (c) {
      case '"':
      case '*':
      case '/':
      case ':':
      case '?':
      case '\\':
      case '|': c = '-'; break;
      default: break;
    }
  }
  return out;
}

uint32_t MacOSXVersion(double v) {
  if (v >= 1246.0) return 0x1090;
  if (v >= 1162.0) return 0x1080;
  if (v >= 1121.0) return 0x1070;
  if (v >= 1038.0) return 0x1060;
  return 0x1000;
}
