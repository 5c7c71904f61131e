// Character-to-keystroke tables of the current keyboard layout, and the key-character table.
//
// Key-code table: 256 bytes indexed by a Mac OS Roman character; the virtual key code (0-127)
// that types it, or 255 when no key does. Modifier table: 256 bytes indexed the same way; the
// high byte of the classic modifiers to hold with that key (0x02 Shift, 0x04 Caps Lock,
// 0x08 Option, 0x0A, 0x0C, 0x10 Control), 0 where the key code is 255.
//
// "Boolean" results are 16-bit: 1 yes, 0 no. Main thread only.
#pragma once

#include <cstdint>
#include <string>

#include "keys/layout.h"

namespace platform {
class Bundle;
}

// Classic modifier bits.
constexpr uint16_t kClassicCommand = 0x0100;
constexpr uint16_t kClassicShift = 0x0200;
constexpr uint16_t kClassicCapsLock = 0x0400;
constexpr uint16_t kClassicOption = 0x0800;
constexpr uint16_t kClassicControl = 0x1000;

constexpr uint8_t kNoKeyCode = 255;

// Allocates both tables (256 bytes each, with std::malloc; release them with DisposeKeyTables)
// and stores them through the addresses, then fills them from the current layout. 1 when both
// were allocated and filled; 0 when an address is null, an allocation fails (nothing is then
// stored) or the filling fails (the tables are then stored holding 255 and 0 everywhere).
// The earlier values behind the addresses are overwritten, not released.
uint16_t SetupKeyTables(uint8_t** keycodeTable, uint8_t** modifiersTable);
uint16_t SetupKeyTablesNumPad(uint8_t** keycodeTable, uint8_t** modifiersTable,
                              uint16_t keypadPreference);
// Releases tables from SetupKeyTables* and sets the pointers to null (null pointers are fine).
void DisposeKeyTables(uint8_t** keycodeTable, uint8_t** modifiersTable);

// Refills the tables in place from the current layout. 1 on success; 0 when a table is null or
// no layout is found, in which case the tables stay as they were. With the keypad preference
// on, digits and the keypad's signs are typed on the keypad.
uint16_t UpdateKeyTables(uint8_t* keycodeTable, uint8_t* modifiersTable);
uint16_t UpdateKeyTablesNumPad(uint8_t* keycodeTable, uint8_t* modifiersTable,
                               uint16_t keypadPreference);

// The classic event message of a character: the character OR (its key code << 8). A null table
// counts as all 255.
uint16_t GetCharMessage(const uint8_t* keycodeTable, uint8_t character);
// The classic modifiers of a character: its modifier entry << 8 (0 for a null table).
uint16_t GetCharModifiers(const uint8_t* modifiersTable, uint8_t character);

// Stores the current layout through `layout`: 0; -50 when the address is null (nothing is
// written); -192 when no layout can be compiled (the pointer is then null). The layout stays
// valid for the life of the process.
int32_t CompatibleGetKeyboardLayout(const keys::KeyboardLayout** layout);

// What the key (low 8 bits) shows with the classic modifiers, as one Mac OS Roman character
// ('?' for characters Mac OS Roman lacks); 0 without layout or when the key shows nothing.
// Dead keys show their accent. The dead-key state may be null; it is left as it is.
uint8_t CompatibleKeyTranslate(uint16_t keyCode, uint32_t modifiers,
                               const keys::KeyboardLayout* layout, uint32_t* deadKeyState);

// 1 when the new keystroke (key code, modifier byte) should replace the stored one.
uint16_t IsBetterKeystroke(uint8_t newKey, uint8_t newModifiers, uint8_t storedKey,
                           uint8_t storedModifiers, uint16_t keypadPreference);

// Keeps (a copy of) the bundle and the string table's name for the key names (a null bundle
// leaves the names untranslated), then fills the key-character table: for key codes 0-126 what
// the key shows with Command held on the current layout. Without a layout the table keeps its
// contents.
void GetKeyboardInformation(const platform::Bundle* bundle, const std::string& tableName);

namespace keys {
// The key-character table that GetKeyboardInformation fills (128 entries).
const uint8_t* keyCharTable();
// Empties the key-character table and forgets the bundle (as before the first
// GetKeyboardInformation). For tests.
void resetKeyboardInformation();
// The bundle (null when none) and the table name that GetKeyboardInformation stored.
const platform::Bundle* keyNamesBundle(const std::string** tableName);
}  // namespace keys
