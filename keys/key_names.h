// Display names of keys, modifier sets and key combinations.
//
// Every name is a key of the string table that GetKeyboardInformation stored ("left",
// "Command", "(none)", ...) and is shown localised; a key whose key-character entry is a
// printable character is named by that character (UTF-8). Main thread only.
#pragma once

#include <cstdint>
#include <string>

// The localised text of a name key, or the key itself when no bundle or table is stored.
std::string KeyNamesLocStr(const std::string& key);

// The key-character table entry of the key code's low 7 bits.
uint8_t GetKeyChar(uint16_t keyCode);

// The name of a key: its character (upper-cased a-z when `upperCase` is non-zero), or a
// localised name ("esc", "F5", "left", ...); "" for key code 255 and "???" for a key without a
// name.
std::string GetKeyNameWithCase(uint8_t keyCode, uint8_t upperCase);
std::string GetKeyName(uint16_t keyCode);

// The names of the set modifiers in the order Control, Command, Option, Shift, Caps Lock, then
// "Num" for keypad keys (65-92), joined by `separator` (UTF-8; nothing between them when null).
std::string GetModifiersNameWithSep(uint16_t keyCode, uint16_t modifiers,
                                    const char* separator);
std::string GetModifiersName(uint16_t keyCode, uint16_t modifiers);  // with "+"

// Modifier names, key separator, key name; "(none)" for key code 255 without modifiers.
// Separators are UTF-8 text or null (none).
std::string GetKeyCombinationNameWithSepAndCase(uint16_t keyCode, uint16_t modifiers,
                                                const char* modifierSeparator,
                                                const char* keySeparator,
                                                uint8_t upperCase);
std::string GetKeyCombinationNameWithSep(uint16_t keyCode, uint16_t modifiers,
                                         const char* modifierSeparator,
                                         const char* keySeparator);
std::string GetKeyCombinationName(uint16_t keyCode, uint16_t modifiers);  // "+" for both
