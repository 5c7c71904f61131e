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

}  // namespace
