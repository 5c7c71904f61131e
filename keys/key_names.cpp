#include "keys/key_names.h"

#include <cstring>

#include "keys/key_tables.h"
#include "keys/keycodes.h"
#include "keys/mac_roman.h"
#include "platform/bundle.h"

namespace {

struct SpecialKey {
  uint8_t character;
  const char* name;
};

// Keys named by the character that the key-character table holds for them, searched in order.
constexpr SpecialKey kSpecialKeys[] = {
    {0x1C, "left"},  {0x1D, "right"},   {0x1E, "up"},        {0x1F, "down"},
    {0x01, "home"},  {0x03, "enter"},   {0x04, "end"},       {0x05, "help"},
    {0x08, "delete"}, {0x09, "tab"},    {0x0B, "page up"},   {0x0C, "page down"},
    {0x0D, "return"}, {0x20, "space"},  {0x7F, "forward delete"},
};

// F1 to F15 in this order.
constexpr char kFunctionKeys[] = "zxcv`abdemgoikq";

struct ModifierName {
  uint16_t bit;
  const char* name;
};

constexpr ModifierName kModifierNames[] = {
    {kClassicControl, "Control"}, {kClassicCommand, "Command"}, {kClassicOption, "Option"},
    {kClassicShift, "Shift"},     {kClassicCapsLock, "Caps Lock"},
};

bool inKeypadArea(uint16_t keyCode) { return keyCode >= 65 && keyCode <= 92; }

void appendPart(std::string& text, bool& appended, const char* separator,
                const std::string& part) {
  if (appended && separator) text += separator;
  text += part;
  appended = true;
}

}  // namespace

std::string KeyNamesLocStr(const std::string& key) {
  const std::string* table = nullptr;
  const platform::Bundle* bundle = keys::keyNamesBundle(&table);
  if (!bundle || table->empty()) return key;
  return bundle->localizedString(key, "", *table);
}

uint8_t GetKeyChar(uint16_t keyCode) { return keys::keyCharTable()[keyCode & 0x7F]; }

std::string GetKeyNameWithCase(uint8_t keyCode, uint8_t upperCase) {
  switch (keyCode) {
    case keys::kMacKeyCommand: return KeyNamesLocStr("Command");
    case keys::kMacKeyShift: return KeyNamesLocStr("Shift");
    case keys::kMacKeyCapsLock: return KeyNamesLocStr("Caps Lock");
    case keys::kMacKeyOption: return KeyNamesLocStr("Option");
    case keys::kMacKeyControl: return KeyNamesLocStr("Control");
    case keys::kMacKeyContextualMenu: return KeyNamesLocStr("application");
    default: break;
  }
  uint8_t ch = GetKeyChar(keyCode);
  if (ch >= 0x21 && ch != 0x7F) {
    if (upperCase && ch >= 'a' && ch <= 'z') ch = static_cast<uint8_t>(ch - 'a' + 'A');
    return keys::utf8Encode(keys::macRomanToUnicode(ch));
  }
  if (keyCode == kNoKeyCode) return "";
  if (ch == 0x1B) return KeyNamesLocStr(keyCode == keys::kMacKeyEscape ? "esc" : "clear");
  if (ch == 0x10) {
    std::string name = KeyNamesLocStr("F");
    const char* at = std::strchr(kFunctionKeys, static_cast<char>(keyCode));
    if (keyCode != 0 && at) name += std::to_string(at - kFunctionKeys + 1);
    return name;
  }
  for (const auto& special : kSpecialKeys)
    if (special.character == ch) return KeyNamesLocStr(special.name);
  return KeyNamesLocStr("???");
}

std::string GetKeyName(uint16_t keyCode) {
  return GetKeyNameWithCase(static_cast<uint8_t>(keyCode), 0);
}

std::string GetModifiersNameWithSep(uint16_t keyCode, uint16_t modifiers,
                                    const char* separator) {
  std::string text;
  text.reserve(128);
  bool appended = false;
  for (const auto& m : kModifierNames)
    if (modifiers & m.bit) appendPart(text, appended, separator, KeyNamesLocStr(m.name));
  if (inKeypadArea(keyCode)) appendPart(text, appended, separator, KeyNamesLocStr("Num"));
  return text;
}

std::string GetModifiersName(uint16_t keyCode, uint16_t modifiers) {
  return GetModifiersNameWithSep(keyCode, modifiers, "+");
}

std::string GetKeyCombinationNameWithSepAndCase(uint16_t keyCode, uint16_t modifiers,
                                                const char* modifierSeparator,
                                                const char* keySeparator,
                                                uint8_t upperCase) {
  constexpr uint16_t kKnownModifiers = kClassicControl | kClassicCommand | kClassicOption |
                                       kClassicShift | kClassicCapsLock;
  const bool hasModifiers = (modifiers & kKnownModifiers) != 0;
  if (keyCode == kNoKeyCode && !hasModifiers) return KeyNamesLocStr("(none)");
  std::string modifierPart;
  if (hasModifiers || inKeypadArea(keyCode))
    modifierPart = GetModifiersNameWithSep(keyCode, modifiers, modifierSeparator);
  std::string keyPart;
  if (keyCode != kNoKeyCode) keyPart = GetKeyNameWithCase(static_cast<uint8_t>(keyCode), upperCase);
  std::string result = modifierPart;
  if (keySeparator && !modifierPart.empty() && !keyPart.empty()) result += keySeparator;
  result += keyPart;
  return result;
}

std::string GetKeyCombinationNameWithSep(uint16_t keyCode, uint16_t modifiers,
                                         const char* modifierSeparator,
                                         const char* keySeparator) {
  return GetKeyCombinationNameWithSepAndCase(keyCode, modifiers, modifierSeparator, keySeparator,
                                             0);
}

std::string GetKeyCombinationName(uint16_t keyCode, uint16_t modifiers) {
  return GetKeyCombinationNameWithSep(keyCode, modifiers, "+", "+");
}
