// Test support for the assignment editor's and the button menus' rules: short property-list
// literals, the pane's string lookup in a chosen language, and key names on a pinned layout.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>

#include "keys/key_tables.h"
#include "keys/layout.h"
#include "pane/editors/assignment_tree.h"
#include "platform/bundle.h"
#include "platform/plist.h"

namespace assignment_tests {

inline pl::ObjectRef I(int64_t v) { return pl::makeInteger(v); }
inline pl::ObjectRef S(std::string v) { return pl::makeString(std::move(v)); }

inline pl::DictRef D(std::initializer_list<std::pair<const char*, pl::ObjectRef>> entries) {
  auto d = pl::makeDict();
  for (const auto& [key, value] : entries) d->set(key, value);
  return d;
}

inline pl::ArrayRef A(std::initializer_list<pl::ObjectRef> items) {
  auto a = pl::makeArray();
  for (const auto& item : items) a->append(item);
  return a;
}

// The pane's resources in `language`.
inline platform::Bundle Resources(const char* language) {
  return platform::Bundle(VANTREL_RESOURCE_DIR, language);
}

// vtlLocString over the pane's "Localizable" table of `bundle`.
inline assignments::LocString LocIn(const platform::Bundle& bundle) {
  return [bundle](const std::string& key) { return bundle.localizedString(key, "", "Localizable"); };
}

// The key names of the U.S. layout, untranslated ("Command", "left") or from `bundle`'s table.
struct UsKeyNames {
  explicit UsKeyNames(const platform::Bundle* bundle = nullptr) {
    keys::pinLayout(keys::LayoutSpec::parse("us"));
    GetKeyboardInformation(bundle, "Localizable");
  }
  ~UsKeyNames() {
    keys::pinLayout(std::nullopt);
    keys::resetKeyboardInformation();
  }
  UsKeyNames(const UsKeyNames&) = delete;
  UsKeyNames& operator=(const UsKeyNames&) = delete;
};

}  // namespace assignment_tests
