#include "platform/bundle.h"

namespace platform {

StringTable parseStringsFile(std::string_view) { return {}; }
std::vector<std::string> languagesForLocale(std::string_view) { return {}; }
std::string userLocaleName() { return ""; }

Bundle::Bundle(std::string resourcePath) : fState(std::make_shared<State>()) {
  fState->resourcePath = std::move(resourcePath);
}

const Bundle& Bundle::main() {
  static Bundle b(VANTREL_RESOURCE_DIR);
  return b;
}
void Bundle::setMainResourcePath(const std::string&) {}
void Bundle::setLanguageOverride(std::optional<std::string>) {}
std::string Bundle::pathForResource(const std::string&, const std::string&) const { return ""; }
std::vector<std::string> Bundle::localizations() const { return {}; }
std::vector<std::string> Bundle::lookupLanguages() const { return {}; }
std::string Bundle::localizedString(const std::string& key, const std::string& value,
                                    const std::string&) const {
  return value.empty() ? key : value;
}

}  // namespace platform
