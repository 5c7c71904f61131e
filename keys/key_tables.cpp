#include "keys/key_tables.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "keys/keycodes.h"
#include "keys/mac_roman.h"
#include "platform/bundle.h"

namespace {

// The modifier bytes tried for every key, in this order.
constexpr uint8_t kCombinations[] = {0x00, 0x02, 0x04, 0x08, 0x0A, 0x0C, 0x10};

// The keypad: =, /, *, 7, 8, 9, -, 4, 5, 6, +, 1, 2, 3, 0, decimal point, enter.
constexpr char kKeypadKeys[] = "QKCY[\\NVWXESTURAL";

bool isKeypadKey(uint8_t key) {
  return key != 0 && std::memchr(kKeypadKeys, key, sizeof kKeypadKeys - 1) != nullptr;
}

bool inKeypadRange(uint8_t key) { return (key & 0xE0) == 0x40; }

int modifierWeight(uint8_t mods) {
  int w = 0;
  if (mods & 0x02) w += 1;   // Shift
  if (mods & 0x08) w += 2;   // Option
  if (mods & 0x10) w += 4;   // Control
  if (mods & 0x04) w += 8;   // Caps Lock
  if (mods & 0x01) w += 16;  // Command
  return w;
}

struct KeyboardInformation {
  uint8_t keyChars[128] = {};
  std::unique_ptr<platform::Bundle> bundle;
  std::string tableName;
};

KeyboardInformation& information() {
  static KeyboardInformation info;
  return info;
}

}  // namespace

uint16_t SetupKeyTables(uint8_t** keycodeTable, uint8_t** modifiersTable) {
  return SetupKeyTablesNumPad(keycodeTable, modifiersTable, 0);
}

uint16_t SetupKeyTablesNumPad(uint8_t** keycodeTable, uint8_t** modifiersTable,
                              uint16_t keypadPreference) {
  if (!keycodeTable || !modifiersTable) return 0;
  auto* codes = static_cast<uint8_t*>(std::malloc(256));
  auto* mods = static_cast<uint8_t*>(std::malloc(256));
  if (!codes || !mods) {
    std::free(codes);
    std::free(mods);
    return 0;
  }
  std::memset(codes, kNoKeyCode, 256);
  std::memset(mods, 0, 256);
  *keycodeTable = codes;
  *modifiersTable = mods;
  return UpdateKeyTablesNumPad(codes, mods, keypadPreference);
}

void DisposeKeyTables(uint8_t** keycodeTable, uint8_t** modifiersTable) {
  if (keycodeTable) {
    std::free(*keycodeTable);
    *keycodeTable = nullptr;
  }
  if (modifiersTable) {
    std::free(*modifiersTable);
    *modifiersTable = nullptr;
  }
}

uint16_t UpdateKeyTables(uint8_t* keycodeTable, uint8_t* modifiersTable) {
  return UpdateKeyTablesNumPad(keycodeTable, modifiersTable, 0);
}

uint16_t UpdateKeyTablesNumPad(uint8_t* keycodeTable, uint8_t* modifiersTable,
                               uint16_t keypadPreference) {
  if (!keycodeTable || !modifiersTable) return 0;
  const keys::KeyboardLayout* layout = nullptr;
  if (CompatibleGetKeyboardLayout(&layout) != 0 || !layout) return 0;

  std::memset(keycodeTable, kNoKeyCode, 256);
  std::memset(modifiersTable, 0, 256);
  // Characters that Mac OS Roman lacks all become '?'. They may take the '?' entry only while no
  // key types a real '?', and a real one always takes it from them: typing "?" must never type
  // some other character.
  bool questionIsReal = false;

  for (uint8_t combination : kCombinations) {
    for (uint8_t key = 0; key < 128; ++key) {
      const uint16_t unit = keys::translateKey(layout, key, combination, false);
      if (unit == 0) continue;
      bool substituted = false;
      const uint8_t ch = keys::unicodeToMacRoman(unit, &substituted);
      bool store = false;
      if (keycodeTable[ch] == kNoKeyCode) {
        store = true;
      } else if (ch == '?' && !substituted && !questionIsReal) {
        store = true;
      } else if (ch == '?' && substituted && questionIsReal) {
        store = false;
      } else {
        store = IsBetterKeystroke(key, combination, keycodeTable[ch], modifiersTable[ch],
                                  keypadPreference) != 0;
      }
      if (store) {
        keycodeTable[ch] = key;
        modifiersTable[ch] = combination;
        if (ch == '?' && !substituted) questionIsReal = true;
      }
    }
  }
  return 1;
}

uint16_t GetCharMessage(const uint8_t* keycodeTable, uint8_t character) {
  const uint16_t key = keycodeTable ? keycodeTable[character] : kNoKeyCode;
  return static_cast<uint16_t>(character | (key << 8));
}

uint16_t GetCharModifiers(const uint8_t* modifiersTable, uint8_t character) {
  return modifiersTable ? static_cast<uint16_t>(modifiersTable[character] << 8) : 0;
}

int32_t CompatibleGetKeyboardLayout(const keys::KeyboardLayout** layout) {
  if (!layout) return -50;  // paramErr
  *layout = keys::currentLayout();
  return *layout ? 0 : -192;  // resNotFound
}

uint8_t CompatibleKeyTranslate(uint16_t keyCode, uint32_t modifiers,
                               const keys::KeyboardLayout* layout, uint32_t* deadKeyState) {
  (void)deadKeyState;  // display translation ignores dead keys, so the state never changes
  if (!layout) return 0;
  const uint8_t modifierByte = static_cast<uint8_t>((modifiers >> 8) & 0xFF);
  const uint16_t unit = keys::translateKey(layout, keyCode & 0xFF, modifierByte, true);
  if (unit == 0) return 0;
  return keys::unicodeToMacRoman(unit);
}

uint16_t IsBetterKeystroke(uint8_t newKey, uint8_t newModifiers, uint8_t storedKey,
                           uint8_t storedModifiers, uint16_t keypadPreference) {
  if (newKey == keys::kMacKeyEscape && storedKey == keys::kMacKeyKeypadClear) return 1;
  if (keypadPreference) {
    const bool newPad = isKeypadKey(newKey);
    if (newPad != isKeypadKey(storedKey)) return newPad ? 1 : 0;
  }
  const bool newInRange = inKeypadRange(newKey);
  if (newInRange != inKeypadRange(storedKey)) return newInRange ? 0 : 1;
  return modifierWeight(newModifiers) < modifierWeight(storedModifiers) ? 1 : 0;
}

void GetKeyboardInformation(const platform::Bundle* bundle, const std::string& tableName) {
  KeyboardInformation& info = information();
  info.bundle = bundle ? std::make_unique<platform::Bundle>(*bundle) : nullptr;
  info.tableName = tableName;
  const keys::KeyboardLayout* layout = nullptr;
  if (CompatibleGetKeyboardLayout(&layout) != 0) return;
  uint32_t deadKeyState = 0;
  for (uint16_t key = 0; key < 127; ++key)
    info.keyChars[key] = CompatibleKeyTranslate(key, kClassicCommand, layout, &deadKeyState);
}

namespace keys {

const uint8_t* keyCharTable() { return information().keyChars; }

void resetKeyboardInformation() {
  KeyboardInformation& info = information();
  std::memset(info.keyChars, 0, sizeof info.keyChars);
  info.bundle.reset();
  info.tableName.clear();
}

// Used by key_names.cpp: the stored bundle (may be null) and table name.
const platform::Bundle* keyNamesBundle(const std::string** tableName) {
  *tableName = &information().tableName;
  return information().bundle.get();
}

}  // namespace keys
