// Bundles and their localised string tables.
//
// A bundle is a resources folder. Each language it is localised for has a folder
// "<resources>/<lang>.lproj" holding string tables, "<Table>.strings" in the usual key-value
// syntax ("KEY" = "value"; with comments and backslash escapes). Lookups follow the user's
// language, taken from LC_ALL, LC_MESSAGES and LANG in that order ("de_DE.UTF-8" looks in
// "de_DE.lproj", then "de.lproj"), and fall back to English. A key that no table holds gives the
// caller's default value, or the key itself when that is empty.
//
// Tables are read once per bundle, language and name and kept. Main thread only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist.h"

namespace platform {

using StringTable = std::map<std::string, std::string>;

// Parses the text of a ".strings" file (UTF-8, or UTF-16 with a byte-order mark). A malformed
// file yields the entries that could be read: after a syntax error the parser skips to the next
// ";" and goes on. Later duplicates replace earlier ones.
StringTable parseStringsFile(std::string_view text);

// The language codes to try for the user's locale, most specific first, without the English
// fallback: "de_DE.UTF-8@euro" -> {"de_DE", "de"}; "C", "POSIX" and an empty locale -> {}.
std::vector<std::string> languagesForLocale(std::string_view locale);

// The user's locale name: the first non-empty of LC_ALL, LC_MESSAGES, LANG ("" when none).
std::string userLocaleName();

class Bundle {
 public:
  explicit Bundle(std::string resourcePath);
  // A bundle whose lookups use `language` ("en", "de", ...) whatever the locale says: English
  // texts for logs and tools, a chosen language in tests.
  Bundle(std::string resourcePath, std::string language);

  // The bundle folder at `bundlePath` (".../Name.prefPane", ".../Name.app"): its information
  // dictionary is "Contents/Info.plist" and its resources folder "Contents/Resources".
  // Nothing when the folder holds no readable information dictionary.
  static std::optional<Bundle> withBundlePath(const std::string& bundlePath,
                                              std::optional<std::string> language = std::nullopt);

  // The bundle of the running program: the compiled-in resources folder unless
  // setMainResourcePath chose another one.
  static const Bundle& main();
  // Points the main bundle at another resources folder (tests, tools); an empty path restores
  // the compiled-in one.
  static void setMainResourcePath(const std::string& path);

  const std::string& resourcePath() const { return fState->resourcePath; }
  // The bundle folder; "" for a bundle that is only a resources folder.
  const std::string& bundlePath() const { return fState->bundlePath; }
  // The information dictionary ("CFBundleIdentifier", "CFBundleVersion", ...); null for a bundle
  // that is only a resources folder.
  const pl::DictRef& infoDictionary() const { return fState->info; }
  // The text under `key` of the information dictionary; "" when missing or not text.
  std::string infoString(const std::string& key) const;
  // "Contents/MacOS/<CFBundleExecutable>" of the bundle folder; "" without one.
  std::string executablePath() const;

  // The path of "<name>.<ext>" in the resources folder ("" when the file does not exist).
  std::string pathForResource(const std::string& name, const std::string& ext) const;

  // The ".lproj" languages this bundle has, sorted.
  std::vector<std::string> localizations() const;
  // The languages a lookup tries in order: the bundle's fixed language or else the user's, when
  // this bundle has it, then "en" (and "English", "Base") when present.
  std::vector<std::string> lookupLanguages() const;

  // The value of `key` in table `table` (e.g. "Localizable"; "" means that one): taken from the
  // first of lookupLanguages() whose table holds the key, so a text missing in the user's
  // language shows in English; `value` when no table holds the key, or `key` itself when
  // `value` is empty.
  std::string localizedString(const std::string& key, const std::string& value,
                              const std::string& table) const;

 private:
  struct State {
    std::string resourcePath;
    std::string bundlePath;
    pl::DictRef info;
    std::optional<std::string> language;  // fixed at construction; else the locale
    // Parsed tables by "<lang>/<table>"; a missing file caches as an empty table.
    std::map<std::string, StringTable> tables;
  };
  const StringTable& loadTable(const std::string& language, const std::string& table) const;

  std::shared_ptr<State> fState;  // copies of a bundle share their tables
};

}  // namespace platform
