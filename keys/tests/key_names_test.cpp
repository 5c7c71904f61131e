#include "keys/key_names.h"

#include <gtest/gtest.h>

#include "keys/key_tables.h"
#include "keys/keycodes.h"
#include "keys/layout.h"
#include "platform/bundle.h"
#include "platform/files.h"

namespace {

using namespace keys;

// Fills the key-character table from a pinned layout, with or without a bundle for the names.
struct Names {
  explicit Names(const char* layout, const platform::Bundle* bundle = nullptr,
                 const char* language = nullptr) {
    pinLayout(LayoutSpec::parse(layout));
    if (bundle && language) {
      const platform::Bundle localized(bundle->resourcePath(), language);
      GetKeyboardInformation(&localized, "Localizable");
    } else {
      GetKeyboardInformation(bundle, "Localizable");
    }
  }
  ~Names() {
    pinLayout(std::nullopt);
    resetKeyboardInformation();
  }
};

constexpr uint16_t kCmd = kClassicCommand, kShift = kClassicShift, kOpt = kClassicOption,
                   kCtrl = kClassicControl, kCaps = kClassicCapsLock;

TEST(KeyNames, UntranslatedNamesOnUs) {
  Names names("us");
  EXPECT_EQ(GetKeyCombinationNameWithSepAndCase(kMacKeyA, kCmd | kShift, nullptr, nullptr, 1),
            "CommandShiftA");
  EXPECT_EQ(GetKeyCombinationName(kMacKeyA, kCtrl | kOpt), "Control+Option+a");
  EXPECT_EQ(GetKeyCombinationNameWithSep(kMacKeyKeypad1, 0, "+", "+"), "Num+1");
  EXPECT_EQ(GetKeyCombinationName(kMacKeyKeypad1, kShift), "Shift+Num+1");
  EXPECT_EQ(GetKeyCombinationNameWithSep(kMacKeyEscape, 0, "+", "+"), "esc");
  EXPECT_EQ(GetKeyCombinationNameWithSep(kMacKeyKeypadClear, 0, nullptr, nullptr), "Numclear");
  EXPECT_EQ(GetKeyCombinationName(kMacKeyKeypadClear, 0), "Num+clear");
  EXPECT_EQ(GetKeyName(kMacKeyF1), "F1");
  EXPECT_EQ(GetKeyName(kMacKeyF5), "F5");
  EXPECT_EQ(GetKeyName(kMacKeyF15), "F15");
  EXPECT_EQ(GetKeyName(kMacKeyF16), "F");
  EXPECT_EQ(GetKeyCombinationName(kNoKeyCode, kCmd), "Command");
  EXPECT_EQ(GetKeyCombinationName(kNoKeyCode, 0), "(none)");
  EXPECT_EQ(GetModifiersName(kNoKeyCode, 0x1F00), "Control+Command+Option+Shift+Caps Lock");
  EXPECT_EQ(GetModifiersNameWithSep(kNoKeyCode, 0x1F00, nullptr),
            "ControlCommandOptionShiftCaps Lock");
  EXPECT_EQ(GetModifiersName(kMacKeyKeypad0, 0), "Num");
  EXPECT_EQ(GetModifiersName(kMacKeyA, 0), "");

  // Special keys by the character they type.
  EXPECT_EQ(GetKeyName(kMacKeyLeftArrow), "left");
  EXPECT_EQ(GetKeyName(kMacKeyDownArrow), "down");
  EXPECT_EQ(GetKeyName(kMacKeyHome), "home");
  EXPECT_EQ(GetKeyName(kMacKeyPageUp), "page up");
  EXPECT_EQ(GetKeyName(kMacKeyHelp), "help");
  EXPECT_EQ(GetKeyName(kMacKeyDelete), "delete");
  EXPECT_EQ(GetKeyName(kMacKeyForwardDelete), "forward delete");
  EXPECT_EQ(GetKeyName(kMacKeyReturn), "return");
  EXPECT_EQ(GetKeyName(kMacKeyKeypadEnter), "enter");
  EXPECT_EQ(GetKeyName(kMacKeyTab), "tab");
  EXPECT_EQ(GetKeyName(kMacKeySpace), "space");
  // Modifier keys and the menu key by their code; keys without a character have no name.
  EXPECT_EQ(GetKeyName(kMacKeyCommand), "Command");
  EXPECT_EQ(GetKeyName(kMacKeyControl), "Control");
  EXPECT_EQ(GetKeyName(kMacKeyContextualMenu), "application");
  EXPECT_EQ(GetKeyName(kMacKeyRightCommand), "???");
  EXPECT_EQ(GetKeyName(kNoKeyCode), "");
  EXPECT_EQ(GetKeyName(127), "???");
  // Printable characters name themselves; upper case only touches a-z.
  EXPECT_EQ(GetKeyNameWithCase(kMacKeySlash, 1), "/");
  EXPECT_EQ(GetKeyNameWithCase(kMacKeyQ, 0), "q");
  EXPECT_EQ(GetKeyNameWithCase(kMacKeyQ, 1), "Q");
  EXPECT_EQ(GetKeyChar(kMacKeyQ), 'q');
  EXPECT_EQ(GetKeyChar(0x80 | kMacKeyQ), 'q');  // low 7 bits
  // Separators: the key separator only between two non-empty parts.
  EXPECT_EQ(GetKeyCombinationNameWithSep(kMacKeyA, kCmd | kCaps, ", ", " - "),
            "Command, Caps Lock - a");
  EXPECT_EQ(GetKeyCombinationNameWithSep(kMacKeyA, 0, "+", "+"), "a");
  EXPECT_EQ(GetKeyCombinationNameWithSep(kNoKeyCode, kShift, "+", "+"), "Shift");
}

TEST(KeyNames, BeforeKeyboardInformationOnlyFixedNames) {
  resetKeyboardInformation();
  EXPECT_EQ(GetKeyName(kMacKeyA), "???");
  EXPECT_EQ(GetKeyName(kMacKeyEscape), "???");
  EXPECT_EQ(GetKeyName(kMacKeyShift), "Shift");
  EXPECT_EQ(GetKeyName(kMacKeyOption), "Option");
  EXPECT_EQ(GetKeyName(kMacKeyCapsLock), "Caps Lock");
  EXPECT_EQ(KeyNamesLocStr("(none)"), "(none)");
}

TEST(KeyNames, LayoutCharactersAndLocalisation) {
  {
    Names names("de");
    EXPECT_EQ(GetKeyNameWithCase(kMacKeyY, 1), "Z");
    EXPECT_EQ(GetKeyName(kMacKeyQuote), "ä");       // Mac OS Roman shown as UTF-8
    EXPECT_EQ(GetKeyNameWithCase(kMacKeyQuote, 1), "ä");  // only a-z are upper-cased
    EXPECT_EQ(GetKeyName(kMacKeyMinus), "ß");
    EXPECT_EQ(GetKeyName(kMacKeyGrave), "^");       // a dead key shows its accent
    EXPECT_EQ(GetKeyName(kMacKeyEqual), "´");
  }
  {
    Names names("fr");
    EXPECT_EQ(GetKeyCombinationName(kMacKeyQ, kCmd), "Command+a");
    EXPECT_EQ(GetKeyName(kMacKey2), "é");
  }
  const platform::Bundle& bundle = platform::Bundle::main();
  {
    Names names("us", &bundle, "en");
    EXPECT_EQ(GetKeyCombinationNameWithSepAndCase(kMacKeyA, kCmd | kShift, nullptr, nullptr, 1),
              "⌘⇧A");
    EXPECT_EQ(GetKeyCombinationName(kNoKeyCode, 0), "(none)");
    EXPECT_EQ(GetKeyName(kMacKeySpace), "Space");
    EXPECT_EQ(GetKeyName(kMacKeyF12), "F12");
  }
  {
    Names names("de", &bundle, "de_DE.UTF-8");
    EXPECT_EQ(GetKeyCombinationName(kNoKeyCode, 0), "(keine)");
    EXPECT_EQ(GetKeyCombinationName(kMacKeySpace, kCtrl), "⌃+Leertaste");
    EXPECT_EQ(GetKeyCombinationName(kMacKeyPageDown, 0), "Bild ab");
    EXPECT_EQ(GetKeyName(kMacKeyF3), "F3");
    EXPECT_EQ(KeyNamesLocStr("no such name"), "no such name");
  }
  // Every name key has an English and a German text.
  for (const char* language : {"en", "de"}) {
    const auto text = files::readWhole(files::join(
        VANTREL_RESOURCE_DIR, std::string(language) + ".lproj/Localizable.strings"));
    ASSERT_TRUE(text) << language;
    const auto table = platform::parseStringsFile(*text);
    for (const char* key : {"left", "right", "up", "down", "home", "enter", "end", "help",
                            "delete", "tab", "page up", "page down", "return", "space",
                            "forward delete", "esc", "clear", "F", "Command", "Shift",
                            "Caps Lock", "Option", "Control", "application", "Num", "(none)",
                            "???"})
      EXPECT_EQ(table.count(key), 1u) << language << ": " << key;
  }
}

}  // namespace
