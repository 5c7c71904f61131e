// Small text and collection helpers shared by both deliverables: bounded Pascal and C string
// functions, deep mutable copies of property lists, path-safe names, and the system version.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/plist.h"
#include "platform/system_version.h"

// Pascal strings: byte 0 is the length n (0..255), bytes 1..n the characters. A limit counts
// characters; the destination must hold limit + 1 bytes. Limits above 255 act as 255, negative
// limits as 0.
void PStringCopy(const unsigned char* src, unsigned char* dst, int32_t limit);
// Appends as much of `src` as fits below the limit; nothing when the destination is already at
// or beyond the limit.
void PStringCat(const unsigned char* src, unsigned char* dst, int32_t limit);
// ASCII letters compare case-folded; the first differing folded pair decides, else the lengths.
int16_t PStringCmp(const unsigned char* a, const unsigned char* b);

// A C string copied / appended into a Pascal string, at most `limit` characters in all.
void CStringPCopy(const char* src, unsigned char* dst, int16_t limit);
void CStringPCat(const char* src, unsigned char* dst, int16_t limit);

// C strings: a limit counts characters; the destination must hold limit + 1 bytes. Both return
// the new length and always terminate the destination (for limit 0 or less it becomes "").
int16_t CStringCopy(const char* src, char* dst, int16_t limit);
int16_t CStringCat(const char* src, char* dst, int16_t limit);
// Case-folded (ASCII letters) difference at the first differing position or the first's end.
int16_t CStringCmp(const char* a, const char* b);

// A deep copy in which every container and leaf is new; null when the receiver is null or holds
// a value that is not a property-list type.
pl::DictRef mutableDeepAutoreleasedCopy(const pl::DictRef& dict);
pl::ArrayRef mutableDeepAutoreleasedCopy(const pl::ArrayRef& array);

// The string with each of " * / : ? \ | replaced by '-'; every other character stays.
std::optional<std::string> stringByReplacingIllegalPathCharacters(std::string_view s);

// The running system as 0x1060, 0x1070, 0x1080 or 0x1090 (0x1000 for anything older), from an
// AppKit version number: the one the platform reports unless another is given.
uint32_t MacOSXVersion(double appKitVersion = platform::appKitVersionNumber());
