// Feeds arbitrary bytes to the string-table parser, and uses them as key codes, modifiers and
// separators for the key names. Nothing may crash or hang; every parsed entry is readable.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "keys/key_names.h"
#include "keys/key_tables.h"
#include "keys/layout.h"
#include "platform/bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    keys::pinLayout(keys::LayoutSpec::parse("us"));
    GetKeyboardInformation(nullptr, "Localizable");
    return true;
  }();
  (void)ready;

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const platform::StringTable table = platform::parseStringsFile(text);
  size_t total = 0;
  for (const auto& [key, value] : table) total += key.size() + value.size();
  // Escapes never make text grow by more than a UTF-8 sequence per input byte.
  if (total > 4 * size + 8 * table.size()) std::abort();

  if (size >= 3) {
    const uint16_t code = data[0];
    const uint16_t mods = static_cast<uint16_t>(data[1] << 8 | data[2]);
    const std::string sep(text.substr(3, 4));
    const std::string name =
        GetKeyCombinationNameWithSepAndCase(code, mods, sep.c_str(), size & 1 ? "+" : nullptr,
                                            static_cast<uint8_t>(size & 2));
    if (name.empty() && code != 255) std::abort();  // every real key has some name
  }
  return 0;
}
