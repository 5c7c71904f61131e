#include "keys/key_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "keys/keycodes.h"
#include "keys/layout.h"

namespace {

using namespace keys;

// Pins a layout for one test and returns to detection afterwards.
struct Pinned {
  explicit Pinned(const char* layout) { pinLayout(LayoutSpec::parse(layout)); }
  ~Pinned() { pinLayout(std::nullopt); }
};

// Tables from SetupKeyTablesNumPad, released at the end of the test.
struct Tables {
  uint8_t* codes = nullptr;
  uint8_t* mods = nullptr;
  uint16_t ok = 0;
  explicit Tables(uint16_t keypad) { ok = SetupKeyTablesNumPad(&codes, &mods, keypad); }
  ~Tables() { DisposeKeyTables(&codes, &mods); }
  // (key code, modifier byte) of a character.
  std::pair<int, int> operator[](unsigned char c) const { return {codes[c], mods[c]}; }
};

using P = std::pair<int, int>;

TEST(KeyTables, UsLayout) {
  Pinned pin("us");
  Tables t(0);
  ASSERT_EQ(t.ok, 1);
  EXPECT_EQ(t['a'], P(kMacKeyA, 0x00));
  EXPECT_EQ(t['A'], P(kMacKeyA, 0x02));
  EXPECT_EQ(t['1'], P(kMacKey1, 0x00));
  EXPECT_EQ(t['!'], P(kMacKey1, 0x02));
  EXPECT_EQ(t['?'], P(kMacKeySlash, 0x02));
  EXPECT_EQ(t['`'], P(kMacKeyGrave, 0x00));
  EXPECT_EQ(t[' '], P(kMacKeySpace, 0x00));
  // Needs Option on the ISO key and Shift on backslash: the Shift keystroke wins.
  EXPECT_EQ(t['|'], P(kMacKeyBackslash, 0x02));
  // Escape, never keypad clear; the other control characters of non-printing keys.
  EXPECT_EQ(t[0x1B], P(kMacKeyEscape, 0x00));
  EXPECT_EQ(t[0x0D], P(kMacKeyReturn, 0x00));
  EXPECT_EQ(t[0x09], P(kMacKeyTab, 0x00));
  EXPECT_EQ(t[0x08], P(kMacKeyDelete, 0x00));
  EXPECT_EQ(t[0x7F], P(kMacKeyForwardDelete, 0x00));
  EXPECT_EQ(t[0x1C], P(kMacKeyLeftArrow, 0x00));
  EXPECT_EQ(t[0x01], P(kMacKeyHome, 0x00));
  // Control characters come from Control and a letter, even 0x03, whose keypad Enter lies in
  // the keypad range; digits stay digits with Control.
  EXPECT_EQ(t[0x02], P(kMacKeyB, 0x10));
  EXPECT_EQ(t[0x03], P(kMacKeyC, 0x10));
  EXPECT_EQ(t[0x1D], P(kMacKeyRightArrow, 0x00));
  // Digits and signs on the main keyboard while the keypad is not preferred.
  EXPECT_EQ(t['+'], P(kMacKeyEqual, 0x02));
  EXPECT_EQ(t['*'], P(kMacKey8, 0x02));
  EXPECT_EQ(t['.'], P(kMacKeyPeriod, 0x00));
  // A character that no key types.
  EXPECT_EQ(t[0x8E], P(kNoKeyCode, 0x00));  // é
  EXPECT_EQ(GetCharMessage(t.codes, 0x8E), 0xFF8E);
  EXPECT_EQ(GetCharMessage(t.codes, 'a'), 0x0061);
  EXPECT_EQ(GetCharMessage(t.codes, 'q'), 0x0C71);
  EXPECT_EQ(GetCharModifiers(t.mods, 'A'), 0x0200);
  EXPECT_EQ(GetCharModifiers(t.mods, 0x8E), 0);
  EXPECT_EQ(GetCharMessage(nullptr, 'a'), 0xFF61);
  EXPECT_EQ(GetCharModifiers(nullptr, 'A'), 0);

  // With the keypad preferred, digits and the keypad's signs move there; the rest stays.
  ASSERT_EQ(UpdateKeyTablesNumPad(t.codes, t.mods, 1), 1);
  EXPECT_EQ(t['1'], P(kMacKeyKeypad1, 0x00));
  EXPECT_EQ(t['0'], P(kMacKeyKeypad0, 0x00));
  EXPECT_EQ(t['9'], P(kMacKeyKeypad9, 0x00));
  EXPECT_EQ(t['+'], P(kMacKeyKeypadPlus, 0x00));
  EXPECT_EQ(t['-'], P(kMacKeyKeypadMinus, 0x00));
  EXPECT_EQ(t['*'], P(kMacKeyKeypadMultiply, 0x00));
  EXPECT_EQ(t['/'], P(kMacKeyKeypadDivide, 0x00));
  EXPECT_EQ(t['='], P(kMacKeyKeypadEquals, 0x00));
  EXPECT_EQ(t['.'], P(kMacKeyKeypadDecimal, 0x00));
  EXPECT_EQ(t['a'], P(kMacKeyA, 0x00));
  EXPECT_EQ(t['!'], P(kMacKey1, 0x02));
  EXPECT_EQ(t[0x03], P(kMacKeyKeypadEnter, 0x00));
  EXPECT_EQ(t[0x1B], P(kMacKeyEscape, 0x00));
  EXPECT_EQ(t[0x1C], P(kMacKeyLeftArrow, 0x00));
  EXPECT_EQ(t[0x7F], P(kMacKeyForwardDelete, 0x00));
}

TEST(KeyTables, GermanAndFrenchMoveLetters) {
  {
    Pinned pin("de");
    Tables t(0);
    ASSERT_EQ(t.ok, 1);
    EXPECT_EQ(t['y'], P(kMacKeyZ, 0x00));  // y and z swap places
    EXPECT_EQ(t['z'], P(kMacKeyY, 0x00));
    EXPECT_EQ(t['Y'], P(kMacKeyZ, 0x02));
    EXPECT_EQ(t[0xA7], P(kMacKeyMinus, 0x00));        // ß
    EXPECT_EQ(t[0x8A], P(kMacKeyQuote, 0x00));        // ä
    EXPECT_EQ(t['?'], P(kMacKeyMinus, 0x02));
    EXPECT_EQ(t['@'], P(kMacKeyQ, 0x08));             // AltGr+Q
    EXPECT_EQ(t[0xDB], P(kMacKeyE, 0x08));            // €
    EXPECT_EQ(t['^'], P(kNoKeyCode, 0x00));           // only a dead key types it
    EXPECT_EQ(t['1'], P(kMacKey1, 0x00));
  }
  {
    Pinned pin("de:nodeadkeys");
    Tables t(0);
    ASSERT_EQ(t.ok, 1);
    EXPECT_EQ(t['^'], P(kMacKeyGrave, 0x00));
  }
  {
    Pinned pin("fr");
    Tables t(0);
    ASSERT_EQ(t.ok, 1);
    EXPECT_EQ(t['a'], P(kMacKeyQ, 0x00));  // a and q swap, so do z and w
    EXPECT_EQ(t['q'], P(kMacKeyA, 0x00));
    EXPECT_EQ(t['z'], P(kMacKeyW, 0x00));
    EXPECT_EQ(t['w'], P(kMacKeyZ, 0x00));
    EXPECT_EQ(t['m'], P(kMacKeySemicolon, 0x00));
    EXPECT_EQ(t[0x8E], P(kMacKey2, 0x00));  // é
    // Digits need Shift on the main keyboard, which beats the keypad's range.
    EXPECT_EQ(t['1'], P(kMacKey1, 0x02));
    // Needs Option on one key and Shift on another: Shift wins.
    EXPECT_EQ(t['~'], P(kMacKeyGrave, 0x02));
    // "²" (not in Mac OS Roman) lies unshifted on the key left of 1, yet "?" stays the real "?".
    EXPECT_EQ(t['?'], P(kMacKeyM, 0x02));
    ASSERT_EQ(UpdateKeyTablesNumPad(t.codes, t.mods, 1), 1);
    EXPECT_EQ(t['1'], P(kMacKeyKeypad1, 0x00));
  }
  {
    // The second group of a two-layout keymap.
    const KeyboardLayout* usDe = compileLayout(LayoutSpec{"", "", "us,de", "", ""}, 1);
    ASSERT_NE(usDe, nullptr);
    EXPECT_EQ(layoutName(usDe), "de");
    EXPECT_EQ(translateKey(usDe, kMacKeyY, 0, false), u'z');
  }
}

TEST(KeyTables, BetterKeystroke) {
  EXPECT_EQ(IsBetterKeystroke(53, 0, 71, 0, 0), 1);  // escape over keypad clear
  EXPECT_EQ(IsBetterKeystroke(71, 0, 53, 0, 0), 0);
  EXPECT_EQ(IsBetterKeystroke(71, 0, 53, 0, 1), 0);
  EXPECT_EQ(IsBetterKeystroke(0, 0, 0, 0, 0), 0);    // a tie keeps the stored one
  EXPECT_EQ(IsBetterKeystroke(83, 0, 83, 0, 1), 0);
  // Keypad preference: the keypad key wins whatever the modifiers.
  EXPECT_EQ(IsBetterKeystroke(83, 0x02, 18, 0, 1), 1);
  EXPECT_EQ(IsBetterKeystroke(18, 0, 83, 0x02, 1), 0);
  // Without it, keys outside 64-95 win.
  EXPECT_EQ(IsBetterKeystroke(83, 0, 18, 0x02, 0), 0);
  EXPECT_EQ(IsBetterKeystroke(18, 0x0A, 83, 0, 0), 1);
  EXPECT_EQ(IsBetterKeystroke(71, 0, 18, 0x10, 1), 0);  // clear is in range, not on the keypad list
  // Modifier weights: Shift 1, Option 2, Control 4, Caps Lock 8, Command 16.
  EXPECT_EQ(IsBetterKeystroke(1, 0x02, 2, 0x08, 0), 1);
  EXPECT_EQ(IsBetterKeystroke(1, 0x0A, 2, 0x10, 0), 1);
  EXPECT_EQ(IsBetterKeystroke(1, 0x10, 2, 0x04, 0), 1);
  EXPECT_EQ(IsBetterKeystroke(1, 0x04, 2, 0x01, 0), 1);
  EXPECT_EQ(IsBetterKeystroke(1, 0x20, 2, 0x00, 0), 0);  // other bits weigh nothing
  EXPECT_EQ(IsBetterKeystroke(1, 0x02, 2, 0x02, 0), 0);
}

TEST(KeyTables, FailuresLeaveTablesUsableAndUntouched) {
  const KeyboardLayout* layout = nullptr;
  EXPECT_EQ(CompatibleGetKeyboardLayout(nullptr), -50);
  uint8_t* codes = nullptr;
  uint8_t* mods = nullptr;
  EXPECT_EQ(SetupKeyTablesNumPad(nullptr, &mods, 1), 0);
  EXPECT_EQ(SetupKeyTablesNumPad(&codes, nullptr, 1), 0);
  EXPECT_EQ(codes, nullptr);
  EXPECT_EQ(mods, nullptr);
  EXPECT_EQ(UpdateKeyTablesNumPad(nullptr, nullptr, 0), 0);

  {
    Pinned pin("us");
    ASSERT_EQ(SetupKeyTables(&codes, &mods), 1);
  }
  {
    Pinned pin("no-such-layout");
    layout = reinterpret_cast<const KeyboardLayout*>(&codes);  // must be overwritten
    EXPECT_EQ(CompatibleGetKeyboardLayout(&layout), -192);
    EXPECT_EQ(layout, nullptr);
    EXPECT_EQ(UpdateKeyTablesNumPad(codes, mods, 1), 0);
    EXPECT_EQ(codes['a'], kMacKeyA);  // as they were
    EXPECT_EQ(mods['A'], 0x02);
    DisposeKeyTables(&codes, &mods);
    EXPECT_EQ(codes, nullptr);

    // A first filling that fails hands out tables that type nothing.
    EXPECT_EQ(SetupKeyTablesNumPad(&codes, &mods, 0), 0);
    ASSERT_NE(codes, nullptr);
    ASSERT_NE(mods, nullptr);
    for (int c = 0; c < 256; ++c) {
      EXPECT_EQ(codes[c], kNoKeyCode);
      EXPECT_EQ(mods[c], 0);
    }
    DisposeKeyTables(&codes, &mods);
    DisposeKeyTables(nullptr, nullptr);
  }
}

TEST(KeyTables, TranslateForDisplay) {
  Pinned pin("de");
  const KeyboardLayout* de = nullptr;
  ASSERT_EQ(CompatibleGetKeyboardLayout(&de), 0);
  uint32_t dead = 0;
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyA, kClassicCommand, de, &dead), 'a');
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyA, kClassicShift, de, nullptr), 'A');
  EXPECT_EQ(CompatibleKeyTranslate(0x100 | kMacKeyY, 0, de, nullptr), 'z');  // low 8 bits only
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyQ, kClassicOption, de, nullptr), '@');
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyQ, 0x4000, de, nullptr), '@');  // right Option
  // Dead keys show their accent: ^ and ´ (Mac OS Roman 0xAB).
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyGrave, 0, de, &dead), '^');
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyEqual, 0, de, &dead), 0xAB);
  EXPECT_EQ(dead, 0u);
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyF5, 0, de, nullptr), 0x10);
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyKeypad1, 0, de, nullptr), '1');  // Num Lock on
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyShift, 0, de, nullptr), 0);
  EXPECT_EQ(CompatibleKeyTranslate(127, 0, de, nullptr), 0);
  EXPECT_EQ(CompatibleKeyTranslate(200, 0, de, nullptr), 0);
  EXPECT_EQ(CompatibleKeyTranslate(kMacKeyA, 0, nullptr, nullptr), 0);
  // The layout is compiled once and kept.
  EXPECT_EQ(compileLayout(LayoutSpec::parse("de")), de);
}

TEST(KeyTables, KeyboardInformationFillsTheKeyCharacterTable) {
  resetKeyboardInformation();
  {
    Pinned pin("fr");
    GetKeyboardInformation(nullptr, "Localizable");
  }
  const uint8_t* chars = keyCharTable();
  EXPECT_EQ(chars[kMacKeyA], 'q');
  EXPECT_EQ(chars[kMacKeyQ], 'a');
  EXPECT_EQ(chars[kMacKey2], 0x8E);  // é
  EXPECT_EQ(chars[kMacKeyLeftBracket], '^');
  EXPECT_EQ(chars[kMacKeyEscape], 0x1B);
  EXPECT_EQ(chars[kMacKeyKeypadClear], 0x1B);
  EXPECT_EQ(chars[kMacKeyCommand], 0);
  EXPECT_EQ(chars[127], 0);
  {
    // Without a layout the table keeps its contents.
    Pinned pin("no-such-layout");
    GetKeyboardInformation(nullptr, "Localizable");
    EXPECT_EQ(keyCharTable()[kMacKeyA], 'q');
  }
  resetKeyboardInformation();
  EXPECT_EQ(keyCharTable()[kMacKeyA], 0);
}

TEST(Layouts, SystemConfigurationAndDetection) {
  auto desc = parseKeyboardConfig(
      "# KEYBOARD CONFIGURATION FILE\n"
      "XKBMODEL=\"pc105\"\n"
      "XKBLAYOUT='de,us'\n"
      "XKBVARIANT=\"nodeadkeys,\"  # comment\n"
      "export XKBOPTIONS=\"lv3:ralt_switch\"\n"
      "BACKSPACE=\"guess\"\n");
  ASSERT_TRUE(desc);
  EXPECT_EQ(desc->model, "pc105");
  EXPECT_EQ(desc->layout, "de");
  EXPECT_EQ(desc->variant, "nodeadkeys");
  EXPECT_EQ(desc->options, "lv3:ralt_switch");
  EXPECT_EQ(desc->shortName(), "de:nodeadkeys");
  EXPECT_FALSE(parseKeyboardConfig("XKBMODEL=pc105\nXKBLAYOUT=\"\"\n"));
  EXPECT_FALSE(parseKeyboardConfig(""));
  EXPECT_FALSE(parseKeyboardConfig("\"\"\"=\n=\n\\"));
  EXPECT_EQ(LayoutSpec::parse("fr:oss"), (LayoutSpec{"", "", "fr", "oss", ""}));

  // Without a display some layout is always found: the system's, xkbcommon's or "us".
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  ::unsetenv("DISPLAY");
  pinLayout(std::nullopt);
  const KeyboardLayout* current = currentLayout();
  EXPECT_NE(current, nullptr);
  EXPECT_FALSE(layoutName(current).empty());
  if (display) ::setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
