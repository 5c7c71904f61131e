#include "settings/commands.h"

#include <array>

#include "platform/bundle.h"
#include "platform/four_char_code.h"

namespace commands {
namespace {

constexpr uint16_t kCmd = kClassicCommand;

constexpr Command driverAction(uint16_t code, std::string_view name) {
  return {code, Kind::DriverAction, 0, 0, 0, 255, 0, 0, Action::None, name, {}};
}
constexpr Command click(uint16_t code, std::string_view name) {
  return {code, Kind::DriverClick, kKeyMod, 0, 0, 255, 0, 0, Action::None, name, {}};
}
constexpr Command scroll(uint16_t code, std::string_view name) {
  return {code, Kind::DriverScroll, kKeyCnt, 0, 0, 255, 0, 0, Action::None, name, {}};
}
constexpr Command typed(uint16_t code, uint8_t character, uint16_t modifiers, std::string_view name,
                        uint8_t otherCharacter = 0) {
  return {code, Kind::KeystrokeByCharacter, 0, character, otherCharacter, 255, modifiers, 0,
          Action::None, name, {}};
}
constexpr Command helper(uint16_t code, Action action, uint8_t keys, std::string_view name) {
  return {code, Kind::HelperAction, keys, 0, 0, 255, 0, 0, action, name, {}};
}
constexpr Command media(uint16_t code, uint16_t index, std::string_view name) {
  return {code, Kind::Media, 0, 0, 0, 255, 0, index, Action::None, name, {}};
}
constexpr Command hotKey(uint16_t code, uint16_t number, std::string_view name,
                         std::string_view name106 = {}) {
  return {code, Kind::HotKey, 0, 0, 0, 255, 0, number, Action::None, name, name106};
}
constexpr Command snippet(uint16_t index, std::string_view name) {
  return {static_cast<uint16_t>(180 + index), Kind::Snippet, 0, 0, 0, 255, 0, index, Action::None,
          name, {}};
}

// Every command that does something; the codes of 30-189 not listed here do nothing.
constexpr Command kCommands[] = {
    driverAction(0, "command.nothing"),
    click(1, "command.click"),
    click(2, "command.secondary-click"),
    click(3, "command.middle-click"),
    click(4, "command.double-click"),
    click(5, "command.drag-lock"),
    click(6, "command.button-4-click"),
    click(7, "command.button-5-click"),
    click(8, "command.triple-click"),
    driverAction(9, "command.slow-pointer"),
    {10, Kind::DriverKeystroke, kKeyKey | kKeyMod, 0, 0, 255, 0, 0, Action::None,
     "command.keystroke", {}},
    {11, Kind::KeystrokeByCharacter, kKeyChar | kKeyMod, 0, 0, 255, 0, 0, Action::None,
     "command.type-character", {}},
    click(12, "command.button-6-click"),
    click(13, "command.button-7-click"),
    click(14, "command.button-8-click"),
    click(15, "command.button-9-click"),
    click(16, "command.button-10-click"),
    click(17, "command.button-11-click"),
    click(18, "command.button-12-click"),
    driverAction(19, "command.ball-scrolls"),
    scroll(20, "command.scroll"),
    scroll(21, "command.scroll-horizontally"),
    scroll(22, "command.scroll-reversed"),
    scroll(23, "command.scroll-horizontally-reversed"),

    typed(30, '[', kCmd, "command.back", 0x1C),  // else the left arrow
    typed(31, ']', kCmd, "command.forward", 0x1D),  // else the right arrow
    typed(32, '.', kCmd, "command.cancel"),
    typed(33, 'r', kCmd, "command.reload"),
    typed(38, 'Q', 0x0300, "command.log-out"),
    typed(39, ',', kCmd, "command.preferences"),
    typed(40, 'h', kCmd, "command.hide-application"),
    typed(41, 'h', 0x0900, "command.hide-others"),
    typed(42, 'q', kCmd, "command.quit-application"),
    typed(43, 'n', kCmd, "command.new"),
    typed(44, 'o', kCmd, "command.open"),
    typed(45, 'i', kCmd, "command.get-info"),
    typed(46, 'w', kCmd, "command.close-window"),
    typed(47, 's', kCmd, "command.save"),
    typed(48, 'p', kCmd, "command.print"),
    typed(49, 'z', kCmd, "command.undo"),
    typed(50, 'Z', 0x0300, "command.redo"),
    typed(51, 'x', kCmd, "command.cut"),
    typed(52, 'c', kCmd, "command.copy"),
    typed(53, 'v', kCmd, "command.paste"),
    typed(54, 'd', kCmd, "command.duplicate"),
    typed(55, 'a', kCmd, "command.select-all"),
    typed(56, 'f', kCmd, "command.find"),
    typed(57, 'm', kCmd, "command.minimize-window"),
    typed(58, '?', kCmd, "command.help"),
    typed(59, 'Q', 0x0B00, "command.log-out-at-once"),

    helper(70, Action::OpenItem, kKeyStr, "command.open-item"),
    helper(71, Action::LaunchApplication, kKeyStr | kKeyBndl, "command.launch-application"),
    helper(72, Action::OpenURL, kKeyStr, "command.open-url"),
    helper(73, Action::RunScript, kKeyStr, "command.run-script"),
    typed(74, '+', kCmd, "command.zoom-in"),
    typed(75, '-', kCmd, "command.zoom-out"),
    {76, Kind::KeystrokeByKey, 0, 0, 0, 53, 0x0900, 0, Action::None,
     "command.force-quit", {}},  // Escape
    helper(78, Action::Restart, 0, "command.restart"),
    helper(79, Action::ShutDown, 0, "command.shut-down"),
    helper(80, Action::Sleep, 0, "command.sleep"),

    media(90, 0, "command.play-pause"),
    media(91, 1, "command.stop"),
    media(92, 2, "command.previous-track"),
    media(93, 3, "command.next-track"),
    media(94, 10, "command.volume-up"),
    media(95, 11, "command.volume-down"),
    media(96, 12, "command.mute"),

    hotKey(100, 52, "command.dock-hiding"),
    hotKey(101, 62, "command.dashboard"),
    hotKey(102, 53, "command.brightness-down"),
    hotKey(103, 54, "command.brightness-up"),
    hotKey(104, 32, "command.mission-control", "command.mission-control.10.6"),
    hotKey(105, 33, "command.application-windows", "command.application-windows.10.6"),
    hotKey(106, 36, "command.show-desktop", "command.show-desktop.10.6"),
    hotKey(107, 73, "command.front-row"),
    hotKey(108, 13, "command.tab-focus-mode"),
    hotKey(109, 7, "command.focus-menu-bar"),
    hotKey(110, 8, "command.focus-dock"),
    hotKey(111, 9, "command.focus-window"),
    hotKey(112, 10, "command.focus-toolbar"),
    hotKey(113, 11, "command.focus-floating-window"),
    hotKey(114, 27, "command.next-window"),
    hotKey(115, 51, "command.focus-drawer"),
    hotKey(116, 57, "command.focus-status-menus"),
    hotKey(117, 60, "command.previous-input-source"),
    hotKey(118, 61, "command.next-input-source"),
    hotKey(119, 28, "command.screen-picture-file"),
    hotKey(120, 29, "command.screen-picture-clipboard"),
    hotKey(121, 30, "command.area-picture-file"),
    hotKey(122, 31, "command.area-picture-clipboard"),
    hotKey(123, 64, "command.spotlight"),
    hotKey(124, 65, "command.finder-search", "command.finder-search.10.6"),
    hotKey(125, 15, "command.screen-zoom"),
    hotKey(126, 23, "command.zoom-smoothing"),
    hotKey(127, 19, "command.screen-zoom-out"),
    hotKey(128, 17, "command.screen-zoom-in"),
    hotKey(129, 25, "command.contrast-up"),
    hotKey(130, 26, "command.contrast-down"),
    hotKey(131, 21, "command.invert-colours"),
    hotKey(132, 59, "command.voiceover"),
    hotKey(133, 98, "command.help-menu"),
    hotKey(134, 34, "command.mission-control-slow", "command.mission-control-slow.10.6"),
    hotKey(135, 35, "command.application-windows-slow", "command.application-windows-slow.10.6"),
    helper(136, Action::Launchpad, 0, "command.launchpad"),
    hotKey(137, 163, "command.notification-center"),

    helper(160, Action::SnippetsMenu, 0, "command.snippets-menu"),
    snippet(0, "command.snippet-1"),
    snippet(1, "command.snippet-2"),
    snippet(2, "command.snippet-3"),
    snippet(3, "command.snippet-4"),
    snippet(4, "command.snippet-5"),
    snippet(5, "command.snippet-6"),
    snippet(6, "command.snippet-7"),
    snippet(7, "command.snippet-8"),
    snippet(8, "command.snippet-9"),
    snippet(9, "command.snippet-10"),

    {kUseGlobalCommand, Kind::GlobalFallback, 0, 0, 0, 255, 0, 0, Action::None,
     "command.as-global", {}},
};

// Rows 0-23, 30-189 and 200, in ascending code; the helper's range is complete, with rows of
// kind None where nothing is listed.
constexpr size_t kRowCount = 24 + 160 + 1;

constexpr size_t rowIndex(uint16_t code) {
  if (code <= 23) return code;
  if (code >= 30 && code <= 189) return 24 + (code - 30);
  if (code == kUseGlobalCommand) return kRowCount - 1;
  return kRowCount;
}

constexpr std::array<Command, kRowCount> buildRows() {
  std::array<Command, kRowCount> rows{};
  for (uint16_t code = 0; code <= kUseGlobalCommand; ++code)
    if (const size_t i = rowIndex(code); i < kRowCount) rows[i].code = code;
  for (const Command& c : kCommands) rows[rowIndex(c.code)] = c;
  return rows;
}

constexpr std::array<Command, kRowCount> kRows = buildRows();

constexpr bool rowsAreWhole() {
  for (const Command& c : kCommands)
    if (rowIndex(c.code) >= kRowCount) return false;
  for (size_t i = 1; i < kRowCount; ++i)
    if (kRows[i].code <= kRows[i - 1].code) return false;
  return true;
}
static_assert(rowsAreWhole(), "every listed command lies in a range of the table, once");

}  // namespace

Command command(uint16_t code) {
  const size_t i = rowIndex(code);
  if (i < kRowCount) return kRows[i];
  Command none;
  none.code = code;
  return none;
}

std::span<const Command> all() { return kRows; }

std::string englishName(const Command& c) {
  if (c.nameKey.empty()) return {};
  // Follows the main bundle when a tool or test points it elsewhere.
  static platform::Bundle english(platform::Bundle::main().resourcePath(), "en");
  if (english.resourcePath() != platform::Bundle::main().resourcePath())
    english = platform::Bundle(platform::Bundle::main().resourcePath(), "en");
  const std::string key(c.nameKey);
  return english.localizedString(key, key, "Localizable");
}

bool UsesBracketsForBackAndForward(uint32_t signature) {
  static constexpr std::array<uint32_t, 5> kSignatures = {
      FourCharCode("MACS"), FourCharCode("OPIM"), FourCharCode("hbwr"), FourCharCode("sfri"),
      FourCharCode("hook")};
  for (uint32_t s : kSignatures)
    if (s == signature) return true;
  return false;
}

}  // namespace commands
