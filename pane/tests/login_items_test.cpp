#include "pane/login_items.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <map>

#include "platform/fake/fake_login_items.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/tests/temp_tree.h"

namespace {

using sys::FakeLoginItems;

const std::string kHelper =
    "/home/u/.local/lib/Vantrel.prefPane/Contents/Resources/VantrelHelper.app";

// The list as "name @ location" lines ("-" for what is missing).
std::vector<std::string> listed(const FakeLoginItems& items) {
  std::vector<std::string> out;
  for (const auto& item : items.items())
    out.push_back(item.name.value_or("-") + " @ " + item.location.value_or("-"));
  return out;
}

TEST(AddLoginItem, AppendsTheHelperAfterTheOtherItemsWhenNoneIsThere) {
  FakeLoginItems items;
  items.add("Mail", "/Applications/Mail.app");
  items.add(std::nullopt, std::nullopt);
  EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), 0);
  EXPECT_EQ(listed(items), (std::vector<std::string>{"Mail @ /Applications/Mail.app", "- @ -",
                                                     "VantrelHelper @ " + kHelper}));
  EXPECT_EQ(items.inserted, std::vector<std::string>{kHelper});
}

TEST(AddLoginItem, KeepsTheItemsThatPointAtThePathWhateverTheirNames) {
  FakeLoginItems items;
  items.add("Something else", kHelper);
  items.add("VantrelHelper", kHelper + "/");
  items.add(std::nullopt, "/home/u/./.local/lib/Vantrel.prefPane/Contents/Resources/"
                          "VantrelHelper.app");
  const auto before = listed(items);
  EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), 0);
  EXPECT_EQ(listed(items), before);
  EXPECT_TRUE(items.inserted.empty());
}

TEST(AddLoginItem, ReplacesItemsOfTheHelpersNameThatPointElsewhereOrNowhere) {
  FakeLoginItems items;
  items.add("vantrelHELPER", "/old/place/VantrelHelper.app");
  items.add("Mail", "/Applications/Mail.app");
  items.add("VantrelHelper", std::nullopt);            // on a volume that is not there
  items.add("VantrelHelper.app", "/other/VantrelHelper.app");  // the item's name keeps ".app"
  items.add("VantrelHelper2", "/other/VantrelHelper2.app");
  EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), 0);
  EXPECT_EQ(listed(items), (std::vector<std::string>{
                               "Mail @ /Applications/Mail.app",
                               "VantrelHelper.app @ /other/VantrelHelper.app",
                               "VantrelHelper2 @ /other/VantrelHelper2.app",
                               "VantrelHelper @ " + kHelper,
                           }));
}

TEST(AddLoginItem, OnlyALowerCaseAppSuffixIsCut) {
  FakeLoginItems items;
  const int plain = items.add("VantrelHelper", "/elsewhere/a");
  items.add("vantrelhelper.app", "/elsewhere/b");
  EXPECT_EQ(AddLoginItem(items, "/x/VantrelHelper.APP", std::nullopt), 0);
  EXPECT_EQ(items.removed, std::vector<int>{2});
  EXPECT_EQ(items.ids().front(), plain);
  EXPECT_EQ(items.items().back().location, "/x/VantrelHelper.APP");
}

TEST(AddLoginItem, AlsoReplacesItemsOfTheAlternateName) {
  FakeLoginItems items;
  items.add("Vantrel Helper Legacy", "/old/Vantrel Helper Legacy.app");
  items.add("VantrelHelper", "/old/VantrelHelper.app");
  items.add("Legacy", "/old/Legacy.app");
  EXPECT_EQ(AddLoginItem(items, kHelper, "vantrel helper legacy.app"), 0);
  EXPECT_EQ(listed(items), (std::vector<std::string>{"Legacy @ /old/Legacy.app",
                                                     "VantrelHelper @ " + kHelper}));
}

TEST(FindLoginItem, EachItemCountsOnceLocationFirstThenNameThenAlternateName) {
  FakeLoginItems items;
  items.add("Legacy", kHelper);                   // location, though named like the alternate
  items.add("VANTRELHELPER", "/else/where.app");  // name
  items.add("legacy", std::nullopt);              // alternate name
  items.add(std::nullopt, "/else/unnamed.app");   // nothing
  items.add("Mail", "/Applications/Mail.app");    // nothing
  int byLocation = 7, byName = 7, byAlternate = 7;
  EXPECT_EQ(FindLoginItem(items, kHelper, false, &byLocation, false, &byName, "Legacy.app", false,
                          &byAlternate),
            0);
  EXPECT_EQ(byLocation, 1);
  EXPECT_EQ(byName, 1);
  EXPECT_EQ(byAlternate, 1);
  // An alternate name equal to the name never gets the item.
  EXPECT_EQ(FindLoginItem(items, kHelper, false, nullptr, false, &byName, "VantrelHelper", false,
                          &byAlternate),
            0);
  EXPECT_EQ(byName, 1);
  EXPECT_EQ(byAlternate, 0);
  EXPECT_TRUE(items.removed.empty());
}

TEST(FindLoginItem, EmptyNamesMatchNothing) {
  FakeLoginItems items;
  items.add("", "/a");
  items.add(std::nullopt, "/b");
  items.add("", std::nullopt);
  int total = -1;
  EXPECT_EQ(RemoveLoginItem(items, "/", ".app", &total), 0);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(RemoveLoginItem(items, std::nullopt, "", &total), 0);
  EXPECT_EQ(total, 0);
  EXPECT_EQ(AddLoginItem(items, std::nullopt, std::nullopt), 0);
  EXPECT_EQ(items.items().size(), 3u);
  EXPECT_TRUE(items.inserted.empty());
}

TEST(RemoveLoginItem, RemovesEveryKindOfMatchAndTellsHowMany) {
  FakeLoginItems items;
  items.add("Helper at this path", kHelper);
  items.add("Mail", "/Applications/Mail.app");
  items.add("vantrelhelper", "/other/VantrelHelper.app");
  items.add("Legacy", std::nullopt);
  int total = 0;
  EXPECT_EQ(RemoveLoginItem(items, kHelper, std::nullopt, &total), 0);
  EXPECT_EQ(total, 2);
  EXPECT_EQ(listed(items), (std::vector<std::string>{"Mail @ /Applications/Mail.app", "Legacy @ -"}));
  EXPECT_EQ(RemoveLoginItem(items, kHelper, "Legacy", nullptr), 0);
  EXPECT_EQ(listed(items), std::vector<std::string>{"Mail @ /Applications/Mail.app"});
}

TEST(LoginItemFailures, AListThatCannotBeReadChangesNothing) {
  for (bool failCreate : {true, false}) {
    FakeLoginItems items;
    items.add("VantrelHelper", "/old/VantrelHelper.app");
    items.failCreate = failCreate;
    items.failSnapshot = !failCreate;
    int byLocation = 7, byName = 7, byAlternate = 7;
    EXPECT_EQ(FindLoginItem(items, kHelper, true, &byLocation, true, &byName, "x", true,
                            &byAlternate),
              -1);
    EXPECT_EQ(byLocation + byName + byAlternate, 0);
    // Nothing is appended either: the list's items are not known.
    EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), -1);
    int total = 7;
    EXPECT_EQ(RemoveLoginItem(items, kHelper, std::nullopt, &total), -1);
    EXPECT_EQ(total, 0);
    EXPECT_TRUE(items.inserted.empty());
    EXPECT_EQ(items.items().size(), 1u);
  }
}

TEST(LoginItemFailures, AFailedRemovalIsReportedAndTheWalkGoesOn) {
  FakeLoginItems items;
  const int stuck = items.add("VantrelHelper", "/old/a.app");
  const int stale = items.add("VantrelHelper", "/old/b.app");
  items.failRemoval.insert(stuck);
  int byName = 0;
  EXPECT_EQ(FindLoginItem(items, kHelper, false, nullptr, true, &byName, std::nullopt, false,
                          nullptr),
            -1);
  EXPECT_EQ(byName, 1);  // the one that went
  EXPECT_EQ(items.removed, std::vector<int>{stale});

  // The helper is still appended, and the failure still reported.
  items.add("VantrelHelper", "/old/c.app");
  EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), -1);
  EXPECT_EQ(listed(items), (std::vector<std::string>{"VantrelHelper @ /old/a.app",
                                                     "VantrelHelper @ " + kHelper}));
}

TEST(LoginItemFailures, AFailedInsertionIsNotReported) {
  FakeLoginItems items;
  items.failInsert = true;
  EXPECT_EQ(AddLoginItem(items, kHelper, std::nullopt), 0);
  EXPECT_EQ(items.inserted, std::vector<std::string>{kHelper});
  EXPECT_TRUE(items.items().empty());
}

// ---- on the user's autostart folder ------------------------------------------------------------

std::map<std::string, std::string> folderContents(const std::string& folder) {
  std::map<std::string, std::string> out;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(folder, ignored))
    out[e.path().filename().string()] = files::readWhole(e.path().string()).value_or("<?>");
  return out;
}

TEST(AutostartLoginItem, TheHelperEndsUpWithExactlyOneEntryAndNothingElseIsTouched) {
  testing_support::TempTree tree;
  const std::string helper = tree.path("pane/Contents/Resources/VantrelHelper.app");
  tree.program("pane/Contents/Resources/VantrelHelper.app/Contents/MacOS/VantrelHelper");
  tree.program("old copy/VantrelHelper.app/Contents/MacOS/VantrelHelper");
  const std::string folder = tree.path("config/autostart");
  const auto entryFor = [](const std::string& name, const std::string& exec) {
    return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n";
  };
  tree.write("config/autostart/stale.desktop", entryFor("VantrelHelper", "/gone/VantrelHelper"));
  tree.write("config/autostart/copy.desktop",
             entryFor("vantrelhelper", "\"" + tree.path("old copy/VantrelHelper.app") +
                                           "/Contents/MacOS/VantrelHelper\" --quiet"));
  const std::map<std::string, std::string> others = {
      {"mail.desktop", entryFor("Mail", "mail %U")},
      {"junk.desktop", "\x7F" "ELF\x02\x01\x01 not a desktop entry [Desktop Entry]"},
      {"fragment.desktop", "Name=VantrelHelper\nExec=/gone/VantrelHelper\n"},
      {"link.desktop", "[Desktop Entry]\nType=Link\nName=VantrelHelper\nURL=file:///gone\n"},
      {"notes.txt", entryFor("VantrelHelper", "/gone/VantrelHelper")},
  };
  for (const auto& [name, text] : others) tree.write("config/autostart/" + name, text);

  ::setenv("XDG_CONFIG_HOME", tree.path("config").c_str(), 1);
  EXPECT_EQ(AddLoginItem(helper, std::nullopt), 0);
  auto after = folderContents(folder);
  ASSERT_EQ(after.size(), others.size() + 1);
  for (const auto& [name, text] : others) EXPECT_EQ(after[name], text) << name;
  EXPECT_EQ(after.count("VantrelHelper.desktop"), 1u);

  // Loading the pane again changes nothing.
  EXPECT_EQ(AddLoginItem(helper, std::nullopt), 0);
  EXPECT_EQ(folderContents(folder), after);

  int total = 0;
  EXPECT_EQ(RemoveLoginItem(helper, std::nullopt, &total), 0);
  EXPECT_EQ(total, 1);
  EXPECT_EQ(folderContents(folder).size(), others.size());
  ::unsetenv("XDG_CONFIG_HOME");
}

TEST(AutostartLoginItem, AFolderThatCannotBeListedGetsNoEntry) {
  testing_support::TempTree tree;
  const std::string helper = tree.path("VantrelHelper.app");
  tree.program("VantrelHelper.app/Contents/MacOS/VantrelHelper");
  const std::string folder = tree.folder("autostart");
  tree.write("autostart/VantrelHelper.desktop",
             "[Desktop Entry]\nType=Application\nName=VantrelHelper\nExec=\"" + helper +
                 "/Contents/MacOS/VantrelHelper\"\n");
  ::chmod(folder.c_str(), 0333);  // entries can be made, but not seen
  const int result = testing_support::runUnprivileged([&] {
    sys::XdgAutostartLoginItems items{folder, "/usr/bin"};
    return AddLoginItem(items, helper, std::nullopt) == -1 ? 0 : 1;
  });
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(folderContents(folder).size(), 1u);
}

}  // namespace
