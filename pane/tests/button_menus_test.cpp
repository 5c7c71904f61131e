#include "pane/button_menus.h"

#include <gtest/gtest.h>

#include <set>

#include "pane/editors/tests/assignment_test_support.h"
#include "settings/testing/profile_builder.h"

namespace {

using namespace assignment_tests;
using namespace menus;
using testsupport::ProfileBuilder;

const pl::DictRef kKeystroke = D({{"cmd", I(10)}, {"key", I(8)}, {"mod", I(0)}});

pl::DictRef Click(uint64_t mod) { return D({{"cmd", I(1)}, {"mod", I(static_cast<int64_t>(mod))}}); }

pl::DictRef Profile(std::initializer_list<std::pair<int, pl::DictRef>> buttons) {
  ProfileBuilder b;
  b.noButtons();
  for (const auto& [n, dict] : buttons) b.button(n, dict);
  return b.build();
}

pl::DictRef ButtonOf(const pl::DictRef& profile, int n) {
  return profile->getDict("buttons")->getDict(ButtonKey(n));
}

struct Menus : ::testing::Test {
  UsKeyNames names;
  pl::ArrayRef tree =
      assignments::LoadAssignmentsTree(platform::Bundle(VANTREL_RESOURCE_DIR), 0x1090);
  assignments::LocString loc = LocIn(Resources("en"));
  // The template menu: a few plain commands, the editor item.
  std::vector<MenuItem> templateItems = {
      {0, "Nothing"}, {1, "Primary click"}, {2, "Secondary click"}, {52, "Copy"}, {kEditorItemTag, "Other..."}};

  MenuUpdate update(const pl::DictRef& profile, int button) {
    std::set<int64_t> tags;
    for (const MenuItem& i : templateItems) tags.insert(i.tag);
    return UpdateMenuForAssignment(profile, button, [&](int64_t t) { return tags.count(t) > 0; },
                                   tree.get(), nullptr, loc);
  }
  std::string title(const pl::DictRef& button, const pl::Array* snippets = nullptr) {
    return AssignmentTitle(button.get(), tree.get(), snippets, loc);
  }
};

TEST_F(Menus, ButtonZeroKeepsAPlainClickWhenNoOtherButtonHasOne) {
  // Keystroke, keystroke, click with Command, keystroke: button 0 becomes the click.
  pl::DictRef p = Profile({{0, pl::deepCopyDict(kKeystroke)}, {1, pl::deepCopyDict(kKeystroke)},
                           {2, Click(0x0100)}, {3, pl::deepCopyDict(kKeystroke)}});
  MenuUpdate u = update(p, 0);
  EXPECT_FALSE(u.enabled);
  EXPECT_EQ(u.selectedTag, 1);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 1);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("key"), 8);  // its other keys stay
  EXPECT_TRUE(update(p, 2).enabled);  // another button now has the plain click
  EXPECT_TRUE(update(p, 1).enabled);

  // A keystroke with Command becomes a click with Command: shown as such, still disabled.
  p = Profile({{0, D({{"cmd", I(10)}, {"key", I(8)}, {"mod", I(0x0100)}})}, {1, Click(0x0200)}});
  u = update(p, 0);
  EXPECT_FALSE(u.enabled);
  EXPECT_EQ(u.selectedTag, std::nullopt);
  EXPECT_EQ(u.extraTitle, "Command+Primary click");
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("mod"), 0x0100);

  // Plain clicks on buttons 0 and 2: both menus can change; with button 0's alone, it cannot.
  p = Profile({{0, Click(0)}, {1, D({{"cmd", I(2)}})}, {2, Click(0)}});
  EXPECT_TRUE(update(p, 0).enabled);
  EXPECT_TRUE(update(p, 2).enabled);
  p = Profile({{0, Click(0)}, {1, D({{"cmd", I(2)}})}, {8, Click(0)}});  // a chord does not count
  EXPECT_FALSE(update(p, 0).enabled);
  EXPECT_TRUE(update(p, 1).enabled);
  EXPECT_TRUE(update(p, 8).enabled);

  // A click on another button keeps button 0 as it is.
  p = Profile({{0, D({{"cmd", I(52)}})}, {3, Click(0)}});
  EXPECT_TRUE(update(p, 0).enabled);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 52);
  EXPECT_FALSE(update(p, 3).enabled);
}

TEST_F(Menus, AMissingButtonZeroBecomesAStoredClick) {
  pl::DictRef p = Profile({{1, D({{"cmd", I(2)}})}});
  MenuUpdate u = update(p, 0);
  EXPECT_FALSE(u.enabled);
  EXPECT_EQ(u.selectedTag, 1);
  ASSERT_TRUE(ButtonOf(p, 0));
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 1);

  p = Profile({});
  p->getDict("buttons")->set("00", S("not a dictionary"));
  EXPECT_FALSE(update(p, 0).enabled);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 1);

  // Without "buttons" nothing can be stored; the menu still shows the click, disabled.
  p = ProfileBuilder().build();
  p->set("buttons", S("junk"));
  u = update(p, 0);
  EXPECT_FALSE(u.enabled);
  EXPECT_EQ(u.selectedTag, 1);
  EXPECT_EQ(p->stringValue("buttons"), "junk");
  EXPECT_FALSE(update(nullptr, 0).enabled);
}

TEST_F(Menus, TheExtraItemIsAddedRetitledAndRemoved) {
  pl::DictRef p = Profile({{0, Click(0)}, {1, Click(0x0100)}});
  std::vector<MenuItem> items = templateItems;
  int selected = ApplyMenuUpdate(items, update(p, 1));
  ASSERT_EQ(items.size(), templateItems.size() + 1);
  EXPECT_EQ(selected, static_cast<int>(items.size()) - 1);
  EXPECT_EQ(items.back().tag, kExtraItemTag);
  EXPECT_EQ(items.back().title, "Command+Primary click");

  // The extra item's assignment survives a write, and a refresh retitles the same item.
  StoreMenuChoice(p, 1, kExtraItemTag);
  ButtonOf(p, 1)->setInteger("mod", 0x1800);
  selected = ApplyMenuUpdate(items, update(p, 1));
  ASSERT_EQ(items.size(), templateItems.size() + 1);
  EXPECT_EQ(items.back().title, "Control+Option+Primary click");

  // Choosing the plain click item removes it.
  StoreMenuChoice(p, 1, 1);
  selected = ApplyMenuUpdate(items, update(p, 1));
  EXPECT_EQ(items.size(), templateItems.size());
  EXPECT_EQ(items[static_cast<size_t>(selected)].tag, 1);

  // A label always shows, even for a command that has an item.
  ButtonOf(p, 1)->setString("label", "Grab");
  selected = ApplyMenuUpdate(items, update(p, 1));
  EXPECT_EQ(items.back().title, "Grab");

  // A button without a dictionary reads as command 0: its item, else the extra item.
  EXPECT_EQ(update(p, 5).selectedTag, 0);
  templateItems.erase(templateItems.begin());
  EXPECT_EQ(update(p, 5).extraTitle, "Nothing");
  EXPECT_FALSE(ButtonOf(p, 5));
  EXPECT_EQ(ApplyMenuUpdate(items, {true, 99, ""}), -1);
}

TEST_F(Menus, ExtraItemTitlesSayWhatTheButtonDoes) {
  EXPECT_EQ(title(D({{"cmd", I(2)}, {"mod", I(0x1800)}})), "Control+Option+Secondary click");
  EXPECT_EQ(title(D({{"cmd", I(10)}, {"key", I(0x08)}, {"mod", I(0x0100)}})), "Type CommandC");
  EXPECT_EQ(title(D({{"cmd", I(10)}, {"key", I(255)}})), "Type (none)");
  EXPECT_EQ(title(D({{"cmd", I(11)}, {"char", I(0x8E)}, {"mod", I(0x0800)}})), "Type Optioné");
  EXPECT_EQ(title(D({{"cmd", I(11)}})), "Type a character");
  EXPECT_EQ(title(D({{"cmd", I(70)}, {"str", S("~/Documents/Report.pdf")}})), "Report.pdf");
  EXPECT_EQ(title(D({{"cmd", I(70)}, {"str", S("/home/ann/Music/")}})), "Music");
  EXPECT_EQ(title(D({{"cmd", I(70)}})), "-");
  EXPECT_EQ(title(D({{"cmd", I(71)}, {"str", S("Calculator")}, {"bndl", S("org.x")}})), "Calculator");
  EXPECT_EQ(title(D({{"cmd", I(52)}, {"mod", I(0x0100)}})), "Copy");
  EXPECT_EQ(title(D({{"cmd", I(200)}})), "Same as for All Applications");

  const auto url = [&](const char* s) { return title(D({{"cmd", I(72)}, {"str", S(s)}})); };
  EXPECT_EQ(url("http://www.example.com/"), "example.com");
  EXPECT_EQ(url("http://example.com/a/"), "example.com/a");
  EXPECT_EQ(url("www.example.com"), "example.com");
  EXPECT_EQ(url("http://"), "http://");
  EXPECT_EQ(url("ftp://"), "ftp://");
  EXPECT_EQ(url("http://www."), "www.");
  EXPECT_EQ(url("http://w/"), "w");
  EXPECT_EQ(url("/"), "/");
  EXPECT_EQ(url("https://www.example.com/"), "https://www.example.com");
  EXPECT_EQ(url(""), "-");

  // Snippets by their display names.
  const auto snippets = A({D({{"name", S("Signature")}}), D({{"name", S("Snippet 2")}})});
  EXPECT_EQ(title(D({{"cmd", I(180)}}), snippets.get()), "Signature");
  EXPECT_EQ(title(D({{"cmd", I(181)}}), snippets.get()), "Snippet 2");
  EXPECT_EQ(title(D({{"cmd", I(182)}}), snippets.get()), "Type snippet 3");

  // Codes the browser does not offer here still have their names; codes without one show "-".
  EXPECT_EQ(title(D({{"cmd", I(107)}})), "Front Row (media centre)");
  EXPECT_EQ(title(D({{"cmd", I(35)}})), "-");
  EXPECT_EQ(title(D({{"cmd", I(65536 + 52)}})), "-");
  EXPECT_EQ(AssignmentTitle(D({{"cmd", I(52)}}).get(), pl::makeArray().get(), nullptr, loc), "Copy");

  // Strange types read as missing, or as Foundation reads them.
  EXPECT_EQ(title(D({{"cmd", A({})}, {"label", I(3)}})), "Nothing");
  EXPECT_EQ(title(D({{"cmd", S("52")}})), "Copy");
  EXPECT_EQ(title(D({{"cmd", I(72)}, {"str", D({})}})), "-");
  EXPECT_EQ(title(D({{"cmd", I(1)}, {"mod", S("junk")}})), "Primary click");
  EXPECT_EQ(title(nullptr), "Nothing");
}

TEST_F(Menus, TitlesAreInTheUsersLanguage) {
  const platform::Bundle de = Resources("de");
  UsKeyNames germanNames(&de);
  loc = LocIn(de);
  EXPECT_EQ(title(D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0300)}})), "Drücke ⌘⇧K");
  EXPECT_EQ(title(D({{"cmd", I(2)}, {"mod", I(0x1000)}})), "⌃+Sekundärklick");
  const auto snippets = A({D({{"name", S("Text snippet 1")}})});
  EXPECT_EQ(title(D({{"cmd", I(180)}}), snippets.get()), "Textbaustein 1");
}

TEST_F(Menus, StrangeAssignmentsShowTheirPlainItemOrADash) {
  pl::DictRef p = Profile({{0, Click(0)}, {1, D({{"cmd", I(-1)}})}, {2, D({{"cmd", I(-2)}})},
                           {3, D({{"cmd", S("2")}, {"mod", A({})}, {"label", D({})}})}});
  EXPECT_EQ(update(p, 1).selectedTag, std::nullopt);  // never the editor item
  EXPECT_EQ(update(p, 1).extraTitle, "-");
  EXPECT_EQ(update(p, 2).extraTitle, "-");
  EXPECT_EQ(update(p, 3).selectedTag, 2);
}

TEST(MenuChoice, StoresAFreshButtonDictionary) {
  const auto chosen = [](int64_t tag) {
    auto b = D({{"cmd", I(72)}, {"str", S("example.com")}, {"label", S("Home")}, {"mod", I(0x100)}});
    GetButtonAssignmentFromMenu(*b, tag);
    std::map<std::string, int64_t> out;
    for (const auto& [k, v] : *b) out[k] = pl::integerValue(v);
    return out;
  };
  using M = std::map<std::string, int64_t>;
  EXPECT_EQ(chosen(1), (M{{"cmd", 1}, {"mod", 0}}));
  EXPECT_EQ(chosen(18), (M{{"cmd", 18}, {"mod", 0}}));
  EXPECT_EQ(chosen(10), (M{{"cmd", 10}, {"mod", 0}, {"key", 255}}));
  EXPECT_EQ(chosen(11), (M{{"cmd", 11}, {"mod", 0}, {"key", 255}}));
  EXPECT_EQ(chosen(19), (M{{"cmd", 19}}));
  EXPECT_EQ(chosen(20), (M{{"cmd", 20}, {"cnt", 1}}));
  EXPECT_EQ(chosen(23), (M{{"cmd", 23}, {"cnt", 1}}));
  EXPECT_EQ(chosen(52), (M{{"cmd", 52}}));
  EXPECT_EQ(chosen(0), (M{{"cmd", 0}}));
  EXPECT_EQ(chosen(kEditorItemTag).size(), 4u);
  EXPECT_EQ(chosen(kExtraItemTag).size(), 4u);

  pl::DictRef p = Profile({});
  StoreMenuChoice(p, 9, 2);
  EXPECT_EQ(ButtonOf(p, 9)->integerValue("cmd"), 2);
  StoreMenuChoice(p, 12, kExtraItemTag);
  EXPECT_FALSE(ButtonOf(p, 12));
  p->remove("buttons");
  StoreMenuChoice(p, 0, 1);
  EXPECT_FALSE(p->contains("buttons"));
  StoreMenuChoice(nullptr, 0, 1);
  EXPECT_EQ(ButtonKey(3), "03");
  EXPECT_EQ(ButtonKey(12), "12");
}

}  // namespace
