#include "pane/button_menus.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "pane/editors/tests/assignment_test_support.h"
#include "settings/testing/profile_builder.h"

namespace {

using namespace assignment_tests;
using namespace menus;

pl::DictRef Cmd(int64_t cmd, uint64_t mod = 0) {
  return D({{"cmd", I(cmd)}, {"mod", I(static_cast<int64_t>(mod))}});
}

pl::DictRef Profile(std::initializer_list<std::pair<int, pl::DictRef>> buttons) {
  testsupport::ProfileBuilder b;
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
  std::vector<MenuItem> templateItems = {{0, "Nothing"}, {1, "Primary click"},
                                         {2, "Secondary click"}, {52, "Copy"},
                                         {kEditorItemTag, "Other..."}};

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
  // Keystroke, keystroke, click with Command, keystroke: button 0 becomes the plain click.
  pl::DictRef p = Profile(
      {{0, D({{"cmd", I(10)}, {"key", I(8)}})}, {1, Cmd(10)}, {2, Cmd(1, 0x0100)}, {3, Cmd(10)}});
  MenuUpdate u = update(p, 0);
  EXPECT_EQ(std::make_pair(u.enabled, u.selectedTag),
            std::make_pair(false, std::optional<int64_t>(1)));
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 1);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("key"), 8);  // its other keys stay
  EXPECT_TRUE(update(p, 2).enabled);                  // another button has the plain click now

  // A keystroke with Command becomes a click with Command, shown as such, disabled.
  p = Profile({{0, Cmd(10, 0x0100)}, {1, Cmd(1, 0x0200)}});
  u = update(p, 0);
  EXPECT_EQ(std::make_tuple(u.enabled, u.selectedTag, u.extraTitle),
            std::make_tuple(false, std::optional<int64_t>(), std::string("Command+Primary click")));

  // Plain clicks on buttons 0 and 2 can both change; with button 0's alone (a chord's click does
  // not count) it cannot, the others can.
  p = Profile({{0, Cmd(1)}, {2, Cmd(1)}});
  EXPECT_TRUE(update(p, 0).enabled && update(p, 2).enabled);
  p = Profile({{0, Cmd(1)}, {1, Cmd(2)}, {8, Cmd(1)}});
  EXPECT_FALSE(update(p, 0).enabled);
  EXPECT_TRUE(update(p, 1).enabled && update(p, 8).enabled);
  p = Profile({{0, Cmd(52)}, {3, Cmd(1)}});
  EXPECT_TRUE(update(p, 0).enabled);
  EXPECT_FALSE(update(p, 3).enabled);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 52);

  // A missing button 0 (or one that is no dictionary) is stored as the click it shows.
  p = Profile({{1, Cmd(2)}});
  p->getDict("buttons")->set("00", S("not a dictionary"));
  EXPECT_FALSE(update(p, 0).enabled);
  EXPECT_EQ(ButtonOf(p, 0)->integerValue("cmd"), 1);
  // Without "buttons" nothing can be stored; the menu still shows the click, disabled.
  p->set("buttons", S("junk"));
  u = update(p, 0);
  EXPECT_EQ(std::make_pair(u.enabled, u.selectedTag),
            std::make_pair(false, std::optional<int64_t>(1)));
  EXPECT_EQ(p->stringValue("buttons"), "junk");
}

TEST_F(Menus, TheExtraItemIsAddedRetitledAndRemoved) {
  pl::DictRef p = Profile({{0, Cmd(1)}, {1, Cmd(1, 0x0100)}});
  std::vector<MenuItem> items = templateItems;
  EXPECT_EQ(ApplyMenuUpdate(items, update(p, 1)), static_cast<int>(templateItems.size()));
  EXPECT_EQ(items.back().tag, kExtraItemTag);
  EXPECT_EQ(items.back().title, "Command+Primary click");

  // The extra item's assignment survives a write; a refresh retitles that one item.
  StoreMenuChoice(p, 1, kExtraItemTag);
  ButtonOf(p, 1)->setInteger("mod", 0x1800);
  ApplyMenuUpdate(items, update(p, 1));
  ASSERT_EQ(items.size(), templateItems.size() + 1);
  EXPECT_EQ(items.back().title, "Control+Option+Primary click");

  // Choosing the plain click removes it; a label always shows, even for a plain command.
  StoreMenuChoice(p, 1, 1);
  EXPECT_EQ(ApplyMenuUpdate(items, update(p, 1)), 1);
  EXPECT_EQ(items.size(), templateItems.size());
  ButtonOf(p, 1)->setString("label", "Grab");
  ApplyMenuUpdate(items, update(p, 1));
  EXPECT_EQ(items.back().title, "Grab");

  // A button without a dictionary reads as command 0: its item, else the extra item.
  EXPECT_EQ(update(p, 5).selectedTag, 0);
  templateItems.erase(templateItems.begin());
  EXPECT_EQ(update(p, 5).extraTitle, "Nothing");
  EXPECT_FALSE(ButtonOf(p, 5));
}

TEST_F(Menus, ExtraItemTitlesSayWhatTheButtonDoes) {
  EXPECT_EQ(title(Cmd(2, 0x1800)), "Control+Option+Secondary click");
  EXPECT_EQ(title(D({{"cmd", I(10)}, {"key", I(0x08)}, {"mod", I(0x0100)}})), "Type CommandC");
  EXPECT_EQ(title(D({{"cmd", I(11)}, {"char", I(0x8E)}, {"mod", I(0x0800)}})), "Type Optioné");
  EXPECT_EQ(title(Cmd(11)), "Type a character");
  EXPECT_EQ(title(D({{"cmd", I(70)}, {"str", S("/home/ann/Music/")}})), "Music");
  EXPECT_EQ(title(Cmd(70)), "-");
  EXPECT_EQ(title(D({{"cmd", I(71)}, {"str", S("Calculator")}, {"bndl", S("org.x")}})),
            "Calculator");
  EXPECT_EQ(title(Cmd(52, 0x0100)), "Copy");

  const auto url = [&](const char* s) { return title(D({{"cmd", I(72)}, {"str", S(s)}})); };
  EXPECT_EQ(url("http://www.example.com/"), "example.com");
  EXPECT_EQ(url("www.example.com/a/"), "example.com/a");
  EXPECT_EQ(url("http://"), "http://");
  EXPECT_EQ(url("http://www."), "www.");
  EXPECT_EQ(url("/"), "/");
  EXPECT_EQ(url("https://www.example.com/"), "https://www.example.com");
  EXPECT_EQ(url(""), "-");

  const auto snippets = A({D({{"name", S("Signature")}}), D({{"name", S("Snippet 2")}})});
  EXPECT_EQ(title(Cmd(180), snippets.get()), "Signature");
  EXPECT_EQ(title(Cmd(181), snippets.get()), "Snippet 2");
  EXPECT_EQ(title(Cmd(182), snippets.get()), "Type snippet 3");

  // Codes the browser does not offer here keep their names; codes without one show "-".
  EXPECT_EQ(title(Cmd(107)), "Front Row (media centre)");
  EXPECT_EQ(title(Cmd(35)), "-");
  EXPECT_EQ(title(Cmd(65536 + 52)), "-");

  // Strange types read as missing, or as Foundation reads them.
  EXPECT_EQ(title(D({{"cmd", A({})}, {"label", I(3)}})), "Nothing");
  EXPECT_EQ(title(D({{"cmd", S("52")}})), "Copy");
  EXPECT_EQ(title(D({{"cmd", I(72)}, {"str", D({})}})), "-");
  EXPECT_EQ(title(D({{"cmd", I(1)}, {"mod", S("junk")}})), "Primary click");
  EXPECT_EQ(title(nullptr), "Nothing");
  pl::DictRef p = Profile(
      {{0, Cmd(1)}, {1, Cmd(-1)}, {3, D({{"cmd", S("2")}, {"mod", A({})}, {"label", D({})}})}});
  EXPECT_EQ(update(p, 1).selectedTag, std::nullopt);  // never the editor item
  EXPECT_EQ(update(p, 1).extraTitle, "-");
  EXPECT_EQ(update(p, 3).selectedTag, 2);
}

TEST_F(Menus, TitlesAreInTheUsersLanguage) {
  const platform::Bundle de = Resources("de");
  UsKeyNames germanNames(&de);
  loc = LocIn(de);
  EXPECT_EQ(title(D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0300)}})), "Drücke ⌘⇧K");
  EXPECT_EQ(title(Cmd(2, 0x1000)), "⌃+Sekundärklick");
  const auto snippets = A({D({{"name", S("Text snippet 1")}})});
  EXPECT_EQ(title(Cmd(180), snippets.get()), "Textbaustein 1");
}

TEST(MenuChoice, StoresAFreshButtonDictionary) {
  const auto chosen = [](int64_t tag) {
    auto b =
        D({{"cmd", I(72)}, {"str", S("example.com")}, {"label", S("Home")}, {"mod", I(0x100)}});
    GetButtonAssignmentFromMenu(*b, tag);
    std::map<std::string, int64_t> out;
    for (const auto& [k, v] : *b) out[k] = pl::integerValue(v);
    return out;
  };
  using M = std::map<std::string, int64_t>;
  EXPECT_EQ(chosen(18), (M{{"cmd", 18}, {"mod", 0}}));
  EXPECT_EQ(chosen(10), (M{{"cmd", 10}, {"mod", 0}, {"key", 255}}));
  EXPECT_EQ(chosen(11), (M{{"cmd", 11}, {"mod", 0}, {"key", 255}}));
  EXPECT_EQ(chosen(19), (M{{"cmd", 19}}));
  EXPECT_EQ(chosen(20), (M{{"cmd", 20}, {"cnt", 1}}));
  EXPECT_EQ(chosen(23), (M{{"cmd", 23}, {"cnt", 1}}));
  EXPECT_EQ(chosen(52), (M{{"cmd", 52}}));
  EXPECT_EQ(chosen(kEditorItemTag).size(), 4u);
  EXPECT_EQ(chosen(kExtraItemTag).size(), 4u);

  pl::DictRef p = Profile({});
  StoreMenuChoice(p, 9, 2);  // a missing dictionary is created, so the choice is kept
  EXPECT_EQ(ButtonOf(p, 9)->integerValue("cmd"), 2);
  StoreMenuChoice(p, 12, kExtraItemTag);
  EXPECT_FALSE(ButtonOf(p, 12));
}

}  // namespace
