#include "settings/string_utils.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/system_version.h"

namespace {

struct PStr {
  unsigned char b[256] = {};
  explicit PStr(const char* s = "") {
    b[0] = static_cast<unsigned char>(std::strlen(s));
    std::memcpy(b + 1, s, b[0]);
  }
  std::string str() const { return std::string(reinterpret_cast<const char*>(b + 1), b[0]); }
};

TEST(StringUtils, PascalStrings) {
  PStr ten("0123456789"), dst;
  PStringCopy(ten.b, dst.b, 4);
  EXPECT_EQ(dst.str(), "0123");
  PStringCopy(ten.b, dst.b, 20);
  EXPECT_EQ(dst.str(), "0123456789");
  PStringCopy(ten.b, dst.b, -3);
  EXPECT_EQ(dst.str(), "");

  PStr five("abcde"), six("UVWXYZ");
  PStringCat(six.b, five.b, 8);
  EXPECT_EQ(five.str(), "abcdeUVW");
  PStr longer("abcdefghij");
  PStringCat(six.b, longer.b, 8);  // already past the limit: nothing, never a negative count
  EXPECT_EQ(longer.str(), "abcdefghij");
  PStr full(std::string(250, 'x').c_str());
  PStringCat(six.b, full.b, 1000);  // a Pascal string never grows past 255
  EXPECT_EQ(full.b[0], 255);

  EXPECT_EQ(PStringCmp(PStr("Finder").b, PStr("FINDER").b), 0);
  EXPECT_EQ(PStringCmp(PStr("abc").b, PStr("abcd").b), -1);
  EXPECT_EQ(PStringCmp(PStr("b").b, PStr("A").b), 1);
  EXPECT_EQ(PStringCmp(PStr("\xC4").b, PStr("\xE4").b), 0xC4 - 0xE4) << "only ASCII letters fold";

  PStr p;
  CStringPCopy("hello", p.b, 3);
  EXPECT_EQ(p.str(), "hel");
  CStringPCat("lo world", p.b, 5);
  EXPECT_EQ(p.str(), "hello");
  CStringPCopy("x", p.b, 0);
  EXPECT_EQ(p.str(), "");
  std::string big(400, 'y');
  CStringPCopy(big.c_str(), p.b, 400);
  EXPECT_EQ(p.b[0], 255);
}

TEST(StringUtils, CStrings) {
  char buf[16];
  std::memset(buf, 'Z', sizeof buf);
  EXPECT_EQ(CStringCopy("hello", buf, 3), 3);
  EXPECT_STREQ(buf, "hel");
  EXPECT_EQ(buf[4], 'Z');
  EXPECT_EQ(CStringCopy("hello", buf, 0), 0);
  EXPECT_STREQ(buf, "");

  std::strcpy(buf, "abcdef");
  EXPECT_EQ(CStringCat("xyz", buf, 4), 4);
  EXPECT_STREQ(buf, "abcd");
  std::strcpy(buf, "ab");
  EXPECT_EQ(CStringCat("xyz", buf, 10), 5);
  EXPECT_STREQ(buf, "abxyz");
  EXPECT_EQ(CStringCat("xyz", buf, -1), 0);
  EXPECT_STREQ(buf, "");

  EXPECT_EQ(CStringCmp("Abc", "abd"), -1);
  EXPECT_EQ(CStringCmp("", "a"), -97);
  EXPECT_EQ(CStringCmp("HeLLo", "hello"), 0);
  EXPECT_LT(CStringCmp("ab", "abc"), 0);
}

TEST(StringUtils, CopiesPathsAndVersions) {
  auto profile = pl::makeDict();
  auto buttons = pl::makeDict();
  buttons->setInteger("cmd", 1);
  profile->set("buttons", buttons);
  auto copy = mutableDeepAutoreleasedCopy(profile);
  ASSERT_TRUE(copy);
  copy->getDict("buttons")->setInteger("cmd", 2);
  EXPECT_EQ(buttons->integerValue("cmd"), 1);
  buttons->set("x", std::make_shared<pl::Opaque>());
  EXPECT_FALSE(mutableDeepAutoreleasedCopy(profile));
  EXPECT_FALSE(mutableDeepAutoreleasedCopy(pl::ArrayRef()));

  EXPECT_EQ(stringByReplacingIllegalPathCharacters("a/b:c?"), "a-b-c-");
  EXPECT_EQ(stringByReplacingIllegalPathCharacters("\"*\\|<>é"), "----<>é");

  EXPECT_EQ(MacOSXVersion(), 0x1090u);
  EXPECT_EQ(MacOSXVersion(1187.0), 0x1080u);
  EXPECT_EQ(MacOSXVersion(1121.0), 0x1070u);
  EXPECT_EQ(MacOSXVersion(1038.0), 0x1060u);
  EXPECT_EQ(MacOSXVersion(949.0), 0x1000u);
}

}  // namespace
