#include "keys/keycodes.h"

#include <gtest/gtest.h>

#include <set>

#include "keys/mac_roman.h"

namespace {

TEST(KeyCodes, TableIsOneToOneAndRoundTrips) {
  std::size_t count = 0;
  const keys::KeyPair* pairs = keys::keyPairs(&count);
  ASSERT_GT(count, 100u);
  std::set<unsigned> macs, evdevs;
  for (std::size_t i = 0; i < count; ++i) {
    EXPECT_LT(pairs[i].mac, 128) << i;
    EXPECT_GT(pairs[i].evdev, 0) << i;
    EXPECT_LE(pairs[i].evdev + 8, 255) << "beyond the xkb key range: " << pairs[i].evdev;
    EXPECT_TRUE(macs.insert(pairs[i].mac).second) << "virtual key twice: " << int{pairs[i].mac};
    EXPECT_TRUE(evdevs.insert(pairs[i].evdev).second) << "evdev key twice: " << pairs[i].evdev;
    EXPECT_EQ(keys::evdevForMacKey(pairs[i].mac), pairs[i].evdev);
    EXPECT_EQ(keys::macKeyForEvdev(pairs[i].evdev), pairs[i].mac);
  }
  for (unsigned mac = 0; mac < 300; ++mac)
    EXPECT_EQ(keys::evdevForMacKey(mac).has_value(), macs.count(mac) == 1) << mac;
  EXPECT_FALSE(keys::macKeyForEvdev(0).has_value());
  EXPECT_FALSE(keys::macKeyForEvdev(100000).has_value());
}

TEST(KeyCodes, PhysicalPositions) {
  // Letters by position, not by what a layout prints on them.
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyA), 30u);   // KEY_A
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyZ), 44u);   // KEY_Z
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKey1), 2u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyKeypad1), 79u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyEscape), 1u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyKeypadClear), 69u);   // Num Lock's place
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyHelp), 110u);         // Insert's place
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyForwardDelete), 111u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyF1), 59u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyF15), 185u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyF16), 186u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyLeftArrow), 105u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeySection), 86u);       // KEY_102ND
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyCommand), 125u);
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyOption), 56u);
  EXPECT_FALSE(keys::evdevForMacKey(127).has_value());
  // PC keys that a Mac reads as its own.
  EXPECT_EQ(keys::macKeyForEvdev(99), keys::kMacKeyF13);   // Print Screen
  EXPECT_EQ(keys::macKeyForEvdev(119), keys::kMacKeyF15);  // Pause
}

TEST(KeyCodes, ControlCharactersOfNonPrintingKeys) {
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyLeftArrow), 0x1C);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyUpArrow), 0x1E);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyDownArrow), 0x1F);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyHome), 0x01);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyKeypadEnter), 0x03);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyHelp), 0x05);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyPageDown), 0x0C);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyKeypadClear), 0x1B);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyForwardDelete), 0x7F);
  for (uint8_t f : {keys::kMacKeyF1, keys::kMacKeyF12, keys::kMacKeyF16, keys::kMacKeyF20})
    EXPECT_EQ(keys::fixedKeyCharacter(f), 0x10) << int{f};
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyA), 0);
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyCommand), 0);
}

TEST(MacRoman, UpperHalfRoundTripsAndOthersBecomeQuestionMarks) {
  std::set<char32_t> seen;
  for (unsigned b = 0; b < 256; ++b) {
    const char32_t u = keys::macRomanToUnicode(static_cast<uint8_t>(b));
    EXPECT_TRUE(seen.insert(u).second) << b;
    bool substituted = true;
    EXPECT_EQ(keys::unicodeToMacRoman(u, &substituted), b);
    EXPECT_FALSE(substituted);
  }
  EXPECT_EQ(keys::macRomanToUnicode(0x8A), U'ä');
  EXPECT_EQ(keys::macRomanToUnicode(0xA7), U'ß');
  EXPECT_EQ(keys::macRomanToUnicode(0xDB), U'€');
  bool substituted = false;
  EXPECT_EQ(keys::unicodeToMacRoman(U'²', &substituted), '?');
  EXPECT_TRUE(substituted);
  EXPECT_EQ(keys::unicodeToMacRoman(U'\U0001F600'), '?');
  EXPECT_EQ(keys::utf8Encode(U'€'), "\xE2\x82\xAC");
  EXPECT_EQ(keys::utf8Encode(0xD800), "\xEF\xBF\xBD");
}

}  // namespace
