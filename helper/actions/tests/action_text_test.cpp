#include <gtest/gtest.h>

#include "helper/actions/action_text.h"

using namespace actions;

TEST(ActionText, Trimming) {
  EXPECT_EQ(TrimWhitespace("  a b \t\r\n"), "a b");
  EXPECT_EQ(TrimWhitespace("\xC2\xA0x\xE3\x80\x80"), "x");  // no-break and ideographic spaces
  EXPECT_EQ(TrimWhitespace(" \n "), "");
  EXPECT_EQ(TrimWhitespace("\xC3\xA9"), "\xC3\xA9");  // a letter made of two bytes
  EXPECT_EQ(TrimWhitespace("\xFF "), "\xFF");         // malformed bytes are kept
}

TEST(ActionText, TildeExpansion) {
  EXPECT_EQ(ExpandTildeInPath("~/Documents/a.txt", "/home/u"), "/home/u/Documents/a.txt");
  EXPECT_EQ(ExpandTildeInPath("~", "/home/u/"), "/home/u");
  EXPECT_EQ(ExpandTildeInPath("~/", "/home/u"), "/home/u");
  EXPECT_EQ(ExpandTildeInPath("/etc/~x", "/home/u"), "/etc/~x");
  EXPECT_EQ(ExpandTildeInPath("~root/x", "/home/u"), "/root/x");
  EXPECT_EQ(ExpandTildeInPath("~no-such-user-here/x", "/home/u"), "~no-such-user-here/x");
  EXPECT_EQ(ExpandTildeInPath("~/x", "/"), "/x");
}

TEST(ActionText, UrlParsing) {
  EXPECT_EQ(ParseURL("http://example.com/a%20b?q#f")->scheme, "http");
  EXPECT_EQ(ParseURL("x-man-page://ls")->scheme, "x-man-page");
  EXPECT_EQ(ParseURL("localhost:8080")->scheme, "localhost");
  EXPECT_EQ(ParseURL("www.example.com")->scheme, "");
  EXPECT_EQ(ParseURL("/a:b")->scheme, "");
  EXPECT_EQ(ParseURL("1a:b")->scheme, "");
  EXPECT_EQ(ParseURL(":x")->scheme, "");
  for (const char* bad : {"a b", "a\"b", "<a>", "a\\b", "a{b}", "a|b", "a^b", "a`b", "%4",
                          "%zz", "a#b#c", "caf\xC3\xA9", "a\tb"})
    EXPECT_FALSE(ParseURL(bad)) << bad;
}

TEST(ActionText, UrlToOpen) {
  EXPECT_EQ(URLToOpen("https://example.com"), "https://example.com");
  EXPECT_EQ(URLToOpen(" \texample.com/x \n"), "http://example.com/x");
  EXPECT_EQ(URLToOpen("mailto:a@b.c"), "mailto:a@b.c");
  EXPECT_EQ(URLToOpen("http://a b"), std::nullopt);  // begins with http:// and does not parse
  EXPECT_EQ(URLToOpen("a b"), std::nullopt);         // does not parse, with or without prefix
  EXPECT_EQ(URLToOpen("HTTP://a b"), std::nullopt);  // "http://" + text still does not parse
  EXPECT_EQ(URLToOpen(""), std::nullopt);
  EXPECT_EQ(URLToOpen("   "), std::nullopt);  // no address at all: nothing, not "http://"
  EXPECT_EQ(URLToOpen("/path?x"), "http:///path?x");
}
