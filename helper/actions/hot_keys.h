// The system's numbered hot keys: the user's table, the factory tables per system version, and
// the lookup of one hot key's key combination.
//
// Both tables map a hot-key number written in decimal to
//   { "enabled": bool, "type": "standard" (optional), "value": { "parameters": [character,
//     key code, event flags] } }
// with character 65535 for none and the modifiers as window-server event flags.
#pragma once

#include <cstdint>
#include <string>

#include "platform/plist.h"

namespace actions {

inline constexpr const char* kSymbolicHotKeysFile =
    "Library/Preferences/com.apple.symbolichotkeys.plist";

// Window-server event-flag bits and their classic modifiers.
inline constexpr uint64_t kEventFlagCapsLock = 1u << 16;
inline constexpr uint64_t kEventFlagShift = 1u << 17;
inline constexpr uint64_t kEventFlagControl = 1u << 18;
inline constexpr uint64_t kEventFlagOption = 1u << 19;
inline constexpr uint64_t kEventFlagCommand = 1u << 20;

// Event flags as classic modifiers, bit by bit; Caps Lock only when asked for.
uint16_t ClassicModifiersFromEventFlags(uint64_t flags, bool withCapsLock);

// The "AppleSymbolicHotKeys" dictionary of the user's hot-key file under `home`; null when the
// file or the entry is missing or not a dictionary.
pl::DictRef CopySymbolicHotKeys(const std::string& home);

// The factory table's resource name for a system version code: "DefaultHotKeys106" ...
// "DefaultHotKeys109"; every version outside 0x1060..0x108F gets "DefaultHotKeys109".
const char* DefaultHotKeysResourceName(uint32_t systemVersion);
// Reads "<resourceDir>/<name>.plist" as a dictionary; null when missing or not a dictionary.
pl::DictRef LoadDefaultHotKeys(const std::string& resourceDir, uint32_t systemVersion);

// Looks hot key `number` up in `dict` (which may be null). Every address may be null; those
// given are always filled: enabled false, character 0, key code 255, modifiers 0 unless the
// entry says otherwise. The result is 1 when the entry gave parameters, else 0 (an entry
// without parameters still reports its "enabled").
int GetSymbolicHotKey(const pl::Dictionary* dict, uint16_t number, bool* enabled,
                      uint16_t* character, uint8_t* keyCode, uint16_t* modifiers);

}  // namespace actions
