// The button commands: one row per command code, stored under "cmd" in a button's dictionary.
// The driver settings record, the helper's dispatch, the simulator's log, vantrelctl and the
// pane's menus all read this table; a new command is one new row, its names in the string
// tables, and an entry in resources/Assignments.plist, where the assignment editor offers it.
//
//   0-10, 12-23  carried out by the driver from the settings record (clicks, its own keystroke,
//                scrolling); the helper does nothing for them
//   11, 30-189   carried out by the helper when the driver reports the press (keystrokes, items,
//                applications, scripts, system events, media keys, hot keys, snippets); codes of
//                that range without an action do nothing
//   200          the global profile's assignment of the same button
// Every other code does nothing anywhere and has no row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace commands {

enum class Kind : uint8_t {
  None,                  // does nothing
  DriverAction,          // the driver acts; no parameter (0, 9, 19)
  DriverClick,           // the driver clicks, holding "mod"
  DriverKeystroke,       // the driver types "key" with "mod" (10)
  DriverScroll,          // the driver scrolls "cnt" steps
  KeystrokeByCharacter,  // the helper types a character through the key tables, adding modifiers
  KeystrokeByKey,        // the helper sends a fixed virtual key code with modifiers
  HelperAction,          // the helper opens, launches, runs or sends an event (see Action)
  HotKey,                // the helper presses a system hot key
  Media,                 // the helper sends a media or volume command
  Snippet,               // the helper pastes a text snippet
  GlobalFallback,        // the global profile's assignment of the same button applies
};

// What a HelperAction row does.
enum class Action : uint8_t {
  None,
  OpenItem,           // "str": a path ("~" expanded), opened when it exists
  LaunchApplication,  // "str": a name or path; else "bndl": a bundle identifier
  OpenURL,            // "str": a web address
  RunScript,          // "str": AppleScript source
  Restart,            // core Apple events to the system process
  ShutDown,
  Sleep,
  Launchpad,          // launches the application launcher
  SnippetsMenu,       // shows the snippets menu
};

// Keys of the button dictionary that a command reads (a bit set).
enum ButtonKey : uint8_t {
  kKeyMod = 1 << 0,   // "mod": classic modifiers
  kKeyKey = 1 << 1,   // "key": a virtual key code
  kKeyChar = 1 << 2,  // "char": a Mac OS Roman character
  kKeyCnt = 1 << 3,   // "cnt": a count
  kKeyStr = 1 << 4,   // "str": a path, name, address or script
  kKeyBndl = 1 << 5,  // "bndl": a bundle identifier
};

inline constexpr uint16_t kClassicCommand = 0x0100;
inline constexpr uint16_t kClassicShift = 0x0200;
inline constexpr uint16_t kClassicOption = 0x0800;

struct Command {
  uint16_t code = 0;
  Kind kind = Kind::None;
  uint8_t keys = 0;  // ButtonKey bits
  // KeystrokeByCharacter: the character typed (0: the button's "char"). For back and forward,
  // `character` is typed in the applications that take Command-[ and Command-], and
  // `otherCharacter` (an arrow) everywhere else; 0 for the others.
  uint8_t character = 0;
  uint8_t otherCharacter = 0;
  uint8_t keyCode = 255;   // KeystrokeByKey: the virtual key code
  uint16_t modifiers = 0;  // keystrokes: the classic modifiers added
  // HotKey: the system hot-key number; Media: the index in the media table; Snippet: the
  // snippet's index (0-9).
  uint16_t number = 0;
  Action action = Action::None;
  // The key of the command's display name in the "Localizable" string tables; "" for a code
  // that does nothing.
  std::string_view nameKey;
  // The name on systems before 10.7 where the system called the hot key otherwise ("" when the
  // name is the same).
  std::string_view nameKey106;

  bool carriedOutByDriver() const {
    return kind == Kind::DriverAction || kind == Kind::DriverClick ||
           kind == Kind::DriverKeystroke || kind == Kind::DriverScroll;
  }
  bool uses(ButtonKey key) const { return (keys & key) != 0; }
};

inline constexpr uint16_t kUseGlobalCommand = 200;
inline constexpr uint16_t kClickCommand = 1;

// The row of a code; a code without a row reads as a row of kind None with that code.
Command command(uint16_t code);
// Every row, in ascending code.
std::span<const Command> all();

// The name of a command in English, from the "Localizable" table of the main bundle (logs and
// tools; the pane shows it in the user's language): "copy", "secondary click"; "" for a code
// without a name.
std::string englishName(const Command& c);

// Front applications whose "back" and "forward" are Command-[ and Command-] (signatures).
bool UsesBracketsForBackAndForward(uint32_t signature);

}  // namespace commands
