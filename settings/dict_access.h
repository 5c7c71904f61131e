// Reference-count-free reads of property-list dictionaries for the settings code's hot paths.
// Used by settings/ and by the helper's button dispatch, which walks a few dictionaries per press.
#pragma once

#include <string_view>

#include "platform/plist.h"

namespace settings_detail {

inline const pl::Object* rawGet(const pl::Dictionary* d, std::string_view key) {
  if (!d) return nullptr;
  const auto& m = d->entries();
  auto it = m.find(key);
  return it == m.end() ? nullptr : it->second.get();
}

inline const pl::Dictionary* rawDict(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = rawGet(d, key);
  return (o && o->type() == pl::Type::Dictionary) ? static_cast<const pl::Dictionary*>(o) : nullptr;
}

// Text of a string entry; "" when absent or not a string.
inline std::string_view rawString(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = rawGet(d, key);
  return (o && o->type() == pl::Type::String) ? std::string_view(static_cast<const pl::String*>(o)->value())
                                              : std::string_view();
}

inline int64_t rawInteger(const pl::Dictionary* d, std::string_view key) {
  return pl::integerValue(rawGet(d, key));
}
inline uint64_t rawUnsigned(const pl::Dictionary* d, std::string_view key) {
  return pl::unsignedValue(rawGet(d, key));
}
inline bool rawBool(const pl::Dictionary* d, std::string_view key) { return pl::boolValue(rawGet(d, key)); }

}  // namespace settings_detail
