#include "helper/actions/hot_keys.h"

#include "platform/files.h"

namespace actions {

uint16_t ClassicModifiersFromEventFlags(uint64_t flags, bool withCapsLock) {
  uint16_t m = 0;
  if (withCapsLock && (flags & kEventFlagCapsLock)) m |= 0x0400;
  if (flags & kEventFlagShift) m |= 0x0200;
  if (flags & kEventFlagControl) m |= 0x1000;
  if (flags & kEventFlagOption) m |= 0x0800;
  if (flags & kEventFlagCommand) m |= 0x0100;
  return m;
}

pl::DictRef CopySymbolicHotKeys(const std::string& home) {
  pl::DictRef file = pl::readDictFile(files::join(home, kSymbolicHotKeysFile));
  return file ? file->getDict("AppleSymbolicHotKeys") : nullptr;
}

const char* DefaultHotKeysResourceName(uint32_t systemVersion) {
  if (systemVersion >= 0x1060 && systemVersion <= 0x106F) return "DefaultHotKeys106";
  if (systemVersion >= 0x1070 && systemVersion <= 0x107F) return "DefaultHotKeys107";
  if (systemVersion >= 0x1080 && systemVersion <= 0x108F) return "DefaultHotKeys108";
  return "DefaultHotKeys109";
}

pl::DictRef LoadDefaultHotKeys(const std::string& resourceDir, uint32_t systemVersion) {
  return pl::readDictFile(
      files::join(resourceDir, std::string(DefaultHotKeysResourceName(systemVersion)) + ".plist"));
}

int GetSymbolicHotKey(const pl::Dictionary* dict, uint16_t number, bool* enabled,
                      uint16_t* character, uint8_t* keyCode, uint16_t* modifiers) {
  bool isEnabled = false;
  uint16_t ch = 0;
  uint8_t key = 255;
  uint16_t mods = 0;
  int result = 0;

  const pl::DictRef entry = dict ? dict->getDict(std::to_string(number)) : nullptr;
  if (entry) {
    isEnabled = entry->boolValue("enabled");
    const pl::ObjectRef type = entry->get("type");
    const pl::StringRef typeText = pl::asString(type);
    // A type that is present must be "standard"; one that is not text at all is not.
    const bool standard = !type || (typeText && (typeText->value().empty() ||
                                                 typeText->value() == "standard"));
    const pl::DictRef value = entry->getDict("value");
    const pl::ArrayRef params = value ? value->getArray("parameters") : nullptr;
    if (standard && params && params->size() >= 3) {
      ch = static_cast<uint16_t>(pl::integerValue(params->at(0)));
      if (ch == 65535) ch = 0;
      key = static_cast<uint8_t>(pl::integerValue(params->at(1)));
      mods = ClassicModifiersFromEventFlags(static_cast<uint64_t>(pl::integerValue(params->at(2))),
                                            false);
      result = 1;
    }
  }
  if (enabled) *enabled = isEnabled;
  if (character) *character = ch;
  if (keyCode) *keyCode = key;
  if (modifiers) *modifiers = mods;
  return result;
}

}  // namespace actions
