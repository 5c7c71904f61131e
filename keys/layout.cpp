#include "keys/layout.h"

namespace keys {

LayoutSpec LayoutSpec::parse(const std::string& text) {
  LayoutSpec spec;
  const auto colon = text.find(':');
  spec.layout = text.substr(0, colon);
  if (colon != std::string::npos) spec.variant = text.substr(colon + 1);
  return spec;
}

std::string LayoutSpec::shortName() const {
  return variant.empty() ? layout : layout + ":" + variant;
}

void pinLayout(std::optional<LayoutSpec>) {}
const KeyboardLayout* currentLayout() { return nullptr; }
const KeyboardLayout* compileLayout(const LayoutSpec&, uint32_t) { return nullptr; }
std::string layoutName(const KeyboardLayout*) { return ""; }
std::optional<LayoutSpec> parseKeyboardConfig(const std::string&) { return std::nullopt; }
void clearLayoutCache() {}
uint16_t translateKey(const KeyboardLayout*, unsigned, uint8_t, bool) { return 0; }

}  // namespace keys
