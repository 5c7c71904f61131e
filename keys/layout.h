// Keyboard layouts, compiled by libxkbcommon, standing in for the system's input sources.
//
// The current layout is, in order: a layout pinned with pinLayout (tests, tools); the X server's
// keyboard when a display is reachable; the system keyboard configuration
// (/etc/default/keyboard); xkbcommon's own defaults (XKB_DEFAULT_* or its built-in layout);
// finally "us". Compiled layouts are kept for the life of the process, so a pointer to one stays
// valid and asking for the same layout again costs no compilation. Main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace keys {

// Names of an xkb keymap (rules, model, layout, variant, options). Empty fields take xkbcommon's
// defaults.
struct LayoutSpec {
  std::string rules;
  std::string model;
  std::string layout;
  std::string variant;
  std::string options;

  // "us", "de:nodeadkeys", "fr:mac" (layout[:variant]); rules/model/options stay empty.
  static LayoutSpec parse(const std::string& text);
  // "layout" or "layout:variant".
  std::string shortName() const;
  bool operator==(const LayoutSpec&) const = default;
};

// A compiled layout. Opaque outside layout.cpp.
struct KeyboardLayout;

// Pins the current layout (nullopt: detect it again). A pinned layout that does not compile
// leaves no current layout.
void pinLayout(std::optional<LayoutSpec> names);

// The current layout (see above), compiled; null when none compiles.
const KeyboardLayout* currentLayout();

// A compiled layout for these names (cached; null when it does not compile). With several
// layouts in `names.layout` (comma-separated), `group` chooses the one that is active.
const KeyboardLayout* compileLayout(const LayoutSpec& names, uint32_t group = 0);

// The name of a compiled layout ("us", "de:nodeadkeys", or what the X server reports).
std::string layoutName(const KeyboardLayout* layout);

// Reads the settings of a /etc/default/keyboard file (XKBMODEL, XKBLAYOUT, XKBVARIANT,
// XKBOPTIONS; shell syntax). Only the first of several layouts (and its variant) is kept, the
// one a session starts with. Nothing when no layout is set.
std::optional<LayoutSpec> parseKeyboardConfig(const std::string& text);

// Drops every compiled layout (tests and benchmarks: the next lookup compiles afresh). Pointers
// handed out before become invalid.
void clearLayoutCache();

// What one key types: one UTF-16 unit, or 0 when the key types no character. `modifierByte` is
// the high byte of the classic modifiers (Command is ignored; Shift -> Shift, Caps Lock -> Lock,
// Option -> the third level, Control -> Control; keypad keys as with Num Lock on). `display`
// asks for what the key shows: a dead key then gives its spacing accent instead of nothing.
uint16_t translateKey(const KeyboardLayout* layout, unsigned macKey, uint8_t modifierByte,
                      bool display);

}  // namespace keys
