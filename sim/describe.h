// What the driver received, in plain words: settings records, scroll records, controls and
// keystrokes (with key names), and the names of buttons and button commands.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/plist.h"
#include "settings/record.h"

namespace sim {

// "Button 1".."Button 4", "Chord 1", "Chord 2", "scroll ring", else "button N".
std::string buttonName(int button);
// A short name of a button command ("click", "copy", "open web address", "type snippet 3" ...);
// snippets are counted from 1 as the menu shows them.
std::string commandName(uint16_t command);
// Whether the driver carries a command out itself (the helper is not told of the press).
bool driverPerformsCommand(uint16_t command);
// "Command+Shift+C"-style names; "no key" for key code 255 without modifiers.
std::string keystrokeName(uint8_t keyCode, uint16_t classicModifiers);
std::string modifiersName(uint16_t classicModifiers);  // "Shift+Option", "none"

// The record's content; `buttons` limits the slots named to the device's own buttons (all
// non-empty slots when empty).
std::string describeSettings(const SettingsRecord& record, const std::vector<int>& buttons);
pl::DictRef settingsFields(const SettingsRecord& record);
// One slot in words: "copy", "keystroke Command+C", "click with Shift" ...
std::string describeSlot(const SettingsRecordSlot& slot);

std::string describeScroll(const std::array<uint8_t, 10>& record);
pl::DictRef scrollFields(const std::array<uint8_t, 10>& record);

// A control request: "types Command+V", "state reports on", "told the modifier keys held: Shift" ...
std::string describeControl(uint32_t code, uint32_t parameter);

std::string hex(const uint8_t* bytes, size_t n);

}  // namespace sim
