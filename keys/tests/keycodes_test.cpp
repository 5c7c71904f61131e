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

TEST(KeyCodes, IsoKeysAndPcKeysAMacReadsAsItsOwn) {
  // The ISO key next to the left Shift is Section; the key left of 1 is Grave.
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeySection), 86u);  // KEY_102ND
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyGrave), 41u);    // KEY_GRAVE
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyKeypadClear), 69u);  // Num Lock's place
  EXPECT_EQ(keys::evdevForMacKey(keys::kMacKeyHelp), 110u);        // Insert's place
  EXPECT_FALSE(keys::evdevForMacKey(127).has_value());
  EXPECT_EQ(keys::macKeyForEvdev(99), keys::kMacKeyF13);   // Print Screen
  EXPECT_EQ(keys::macKeyForEvdev(119), keys::kMacKeyF15);  // Pause
  EXPECT_EQ(keys::fixedKeyCharacter(keys::kMacKeyA), 0);
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
