#include "platform/text_compare.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8, AcceptsWellFormedTextOnly) {
  EXPECT_TRUE(text::isValidUtf8(""));
  EXPECT_TRUE(text::isValidUtf8("VantrelHelper \xC3\x9C \xE2\x82\xAC \xF0\x9F\x96\xB1"));
  EXPECT_FALSE(text::isValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(text::isValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
  EXPECT_FALSE(text::isValidUtf8("ab\xE2\x82"));        // cut short
  EXPECT_FALSE(text::isValidUtf8("\x80"));
  EXPECT_FALSE(text::isValidUtf8("\xFF"));
}

TEST(NamesIgnoringCase, FoldLettersOfAnyScriptButNothingElse) {
  EXPECT_TRUE(text::equalsIgnoringCase("VantrelHelper", "VANTRELHELPER"));
  EXPECT_TRUE(text::equalsIgnoringCase("\xC3\x9C" "ber", "\xC3\xBC" "BER"));      // Über, üBER
  EXPECT_TRUE(text::equalsIgnoringCase("\xD0\x96\xD0\xB0", "\xD0\xB6\xD0\x90"));  // Жа, жА
  EXPECT_FALSE(text::equalsIgnoringCase("VantrelHelper", "VantrelHelpe"));
  EXPECT_FALSE(text::equalsIgnoringCase("VantrelHelper", "VantrelHelper "));
  EXPECT_FALSE(text::equalsIgnoringCase("a-b", "a_b"));
  // Malformed bytes are compared as bytes.
  EXPECT_TRUE(text::equalsIgnoringCase("X\xFF", "x\xFF"));
  EXPECT_FALSE(text::equalsIgnoringCase("X\xFF", "x\xFE"));
  EXPECT_FALSE(text::equalsIgnoringCase("\xC3", "\xC3\x9C"));
}

TEST(NamesIgnoringCase, OrderAlphabeticallyWithoutCase) {
  EXPECT_LT(text::compareIgnoringCase("Alpha", "beta"), 0);
  EXPECT_GT(text::compareIgnoringCase("zeta", "Beta"), 0);
  EXPECT_EQ(text::compareIgnoringCase("\xC3\x9C" "ber", "\xC3\xBC" "BER"), 0);
  EXPECT_LT(text::compareIgnoringCase("Mail", "mailbox"), 0);  // a prefix comes first
  EXPECT_GT(text::compareIgnoringCase("mailbox", "MAIL"), 0);
  EXPECT_EQ(text::compareIgnoringCase("", ""), 0);
  // Malformed bytes come after every character, whichever side they are on.
  EXPECT_GT(text::compareIgnoringCase("a\xFF", "a\xF0\x9F\x98\x80"), 0);
  EXPECT_LT(text::compareIgnoringCase("a\xF0\x9F\x98\x80", "a\xFF"), 0);
}

}  // namespace
