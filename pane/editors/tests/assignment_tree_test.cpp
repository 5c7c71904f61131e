#include "pane/editors/assignment_tree.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "pane/editors/tests/assignment_test_support.h"
#include "platform/files.h"
#include "platform/tests/temp_tree.h"
#include "settings/commands.h"

namespace {

using namespace assignment_tests;
using assignments::AssignmentsTreeFromResource;
using assignments::findCommandInTree;

pl::ObjectRef RawResource() {
  return pl::readFile(files::join(VANTREL_RESOURCE_DIR, "Assignments.plist"));
}

pl::ArrayRef ShippedTree(uint32_t version) {
  return assignments::LoadAssignmentsTree(platform::Bundle(VANTREL_RESOURCE_DIR), version);
}

platform::StringTable Table(const char* language) {
  const auto text = files::readWhole(
      files::join(VANTREL_RESOURCE_DIR, std::string(language) + ".lproj/Localizable.strings"));
  return text ? platform::parseStringsFile(*text) : platform::StringTable{};
}

// "category/command" name keys of a tree, in order, for comparing whole trees.
std::vector<std::string> Outline(const pl::ArrayRef& tree) {
  std::vector<std::string> out;
  for (const auto& c : tree->items()) {
    const auto category = pl::asDict(c);
    for (const auto& k : category->getArray("commands")->items()) {
      const auto command = pl::asDict(k);
      out.push_back(category->stringValue("category") + "/" +
                    std::to_string(command->integerValue("command")) + " " +
                    command->stringValue("name"));
    }
  }
  return out;
}

TEST(AssignmentsResource, OffersEveryCommandThatDoesSomethingOnceUnderTheTablesNames) {
  const pl::ArrayRef raw = pl::asArray(RawResource());
  ASSERT_TRUE(raw);
  std::map<int64_t, int> seen;
  for (const auto& c : raw->items()) {
    const auto category = pl::asDict(c);
    ASSERT_TRUE(category);
    for (const auto& k : category->getArray("commands")->items()) {
      const auto entry = pl::asDict(k);
      const int64_t code = entry->integerValue("command");
      ++seen[code];
      const commands::Command row = commands::command(static_cast<uint16_t>(code));
      EXPECT_EQ(entry->stringValue("name"), row.nameKey) << code;
      EXPECT_EQ(entry->stringValue("name106"), row.nameKey106) << code;
    }
  }
  for (const commands::Command& c : commands::all()) {
    // A character to type has no editor: the pane never writes "char".
    const int expected = c.nameKey.empty() || c.code == 11 ? 0 : 1;
    EXPECT_EQ(seen[c.code], expected) << c.code;
    seen.erase(c.code);
  }
  EXPECT_TRUE(seen.empty()) << "codes that are not in the command table";
  // Nothing of the file is lost to the checks of the loader.
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(raw, 0x1090)).size(), 115u);
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(raw, 0x1060)).size(), 115u);
}

TEST(AssignmentsResource, EveryNameItShowsHasAnEnglishAndAGermanText) {
  const platform::StringTable en = Table("en"), de = Table("de");
  std::set<std::string> keys = {"Type", "Snippet"};
  const pl::ArrayRef raw = pl::asArray(RawResource());
  ASSERT_TRUE(raw);
  for (const auto& c : raw->items()) {
    const auto category = pl::asDict(c);
    keys.insert(category->stringValue("category"));
    if (category->contains("category106")) keys.insert(category->stringValue("category106"));
    for (const auto& k : category->getArray("commands")->items()) {
      keys.insert(pl::asDict(k)->stringValue("name"));
      if (pl::asDict(k)->contains("name106")) keys.insert(pl::asDict(k)->stringValue("name106"));
    }
  }
  for (const commands::Command& c : commands::all()) {
    if (!c.nameKey.empty()) keys.insert(std::string(c.nameKey));
    if (!c.nameKey106.empty()) keys.insert(std::string(c.nameKey106));
  }
  for (const std::string& key : keys) {
    EXPECT_FALSE(en.count(key) == 0 || en.at(key).empty()) << key;
    EXPECT_FALSE(de.count(key) == 0 || de.at(key).empty()) << key;
  }
}

TEST(AssignmentsTree, FollowsTheSystemVersion) {
  int category = 0, command = 0;
  std::string categoryName, commandName;
  for (uint32_t older : {0x1000u, 0x1060u, 0x106Fu}) {
    const pl::ArrayRef tree = ShippedTree(older);
    EXPECT_TRUE(findCommandInTree(tree.get(), 107, nullptr, {}, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(findCommandInTree(tree.get(), 136, nullptr, {}, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(findCommandInTree(tree.get(), 104, nullptr, {}, &category, &categoryName, &command,
                                  &commandName));
    EXPECT_EQ(categoryName, "category.windows.10.6");
    EXPECT_EQ(commandName, "command.mission-control.10.6");
  }
  for (uint32_t later : {0x1070u, 0x1090u}) {
    const pl::ArrayRef tree = ShippedTree(later);
    EXPECT_FALSE(findCommandInTree(tree.get(), 107, nullptr, {}, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(findCommandInTree(tree.get(), 136, nullptr, {}, nullptr, nullptr, nullptr, nullptr));
    ASSERT_TRUE(findCommandInTree(tree.get(), 104, nullptr, {}, &category, &categoryName, &command,
                                  &commandName));
    EXPECT_EQ(categoryName, "category.windows");
    EXPECT_EQ(commandName, "command.mission-control");
    // A name without an older variant is the same on every system.
    ASSERT_TRUE(findCommandInTree(tree.get(), 52, nullptr, {}, nullptr, nullptr, nullptr,
                                  &commandName));
    EXPECT_EQ(commandName, "command.copy");
  }
  // A category whose only command the system lacks goes with it; empty variants do not count.
  const auto resource = A({
      D({{"category", S("a")}, {"commands", A({D({{"command", I(136)}, {"name", S("l")}})})}}),
      D({{"category", S("b")}, {"category106", S("")},
         {"commands", A({D({{"command", I(1)}, {"name", S("c")}, {"name106", S("")}})})}}),
  });
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(resource, 0x1060)), std::vector<std::string>{"b/1 c"});
}

TEST(AssignmentsTree, MissingOrMalformedResourcesGiveAnEmptyTreeAndStrangeEntriesAreLeftOut) {
  testing_support::TempTree t;
  EXPECT_TRUE(assignments::LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());
  t.write("Assignments.plist", "this is no property list");
  EXPECT_TRUE(assignments::LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());
  t.write("Assignments.plist", *pl::toXml(*D({{"category", S("x")}})));
  EXPECT_TRUE(assignments::LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());

  const auto command = [](pl::ObjectRef code, pl::ObjectRef name) {
    return D({{"command", std::move(code)}, {"name", std::move(name)}});
  };
  const auto resource = A({
      S("not a category"),
      D({{"commands", A({command(I(1), S("nameless category"))})}}),
      D({{"category", I(3)}, {"commands", A({command(I(1), S("numeric category"))})}}),
      D({{"category", S("commands not an array")}, {"commands", D({})}}),
      D({{"category", S("kept")},
         {"category106", I(7)},
         {"commands", A({
                          S("not a command"),
                          command(S("52"), S("code as text")),
                          command(pl::makeBool(true), S("code as boolean")),
                          command(pl::makeReal(2.5), S("code as real")),
                          command(I(-1), S("negative")),
                          command(I(65536), S("too large")),
                          command(I(2), I(9)),
                          D({{"command", I(3)}}),
                          D({{"command", I(65535)}, {"name", S("largest")}, {"name106", D({})}}),
                          command(I(0), S("")),
                      })}}),
  });
  const std::vector<std::string> expected = {"kept/65535 largest", "kept/0 "};
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(resource, 0x1060)), expected);
  EXPECT_TRUE(AssignmentsTreeFromResource(nullptr, 0x1090)->empty());
}

TEST(FindCommandInTree, GivesTheFirstPlaceOfACodeAndResetsWhatItDoesNotFind) {
  const auto tree = A({
      D({{"category", S("cat.a")},
         {"commands", A({D({{"command", I(1)}, {"name", S("one")}}),
                         D({{"command", I(183)}, {"name", S("snippet four")}})})}}),
      D({{"category", S("cat.b")},
         {"commands", A({D({{"command", I(52)}, {"name", S("copy")}}),
                         D({{"command", I(1)}, {"name", S("one again")}})})}}),
  });
  int category = 7, command = 7;
  std::string categoryName = "old", commandName = "old";
  ASSERT_TRUE(findCommandInTree(tree.get(), 1, nullptr, {}, &category, &categoryName, &command,
                                &commandName));
  EXPECT_EQ(std::tie(category, categoryName, command, commandName),
            std::make_tuple(0, std::string("cat.a"), 0, std::string("one")));
  ASSERT_TRUE(findCommandInTree(tree.get(), 52, nullptr, {}, &category, &categoryName, &command,
                                &commandName));
  EXPECT_EQ(std::tie(category, command, commandName), std::make_tuple(1, 0, std::string("copy")));
  EXPECT_FALSE(findCommandInTree(tree.get(), 2, nullptr, {}, &category, &categoryName, &command,
                                 &commandName));
  EXPECT_EQ(std::tie(category, categoryName, command, commandName),
            std::make_tuple(-1, std::string(), -1, std::string()));
  EXPECT_FALSE(findCommandInTree(nullptr, 1, nullptr, {}, &category, nullptr, nullptr, nullptr));
  // The low 16 bits of a larger number are another code.
  EXPECT_FALSE(findCommandInTree(tree.get(), 65536 + 52, nullptr, {}, nullptr, nullptr, nullptr,
                                 nullptr));

  // A snippet's display name replaces the name key when there is one.
  const platform::Bundle de = Resources("de");
  const auto snippets = A({D({}), D({}), D({}), D({{"name", S("Snippet 4")}})});
  ASSERT_TRUE(findCommandInTree(tree.get(), 183, snippets.get(), LocIn(de), nullptr, nullptr,
                                nullptr, &commandName));
  EXPECT_EQ(commandName, "Textbaustein 4");
  ASSERT_TRUE(findCommandInTree(tree.get(), 183, nullptr, LocIn(de), nullptr, nullptr, nullptr,
                                &commandName));
  EXPECT_EQ(commandName, "snippet four");
  snippets->set(3, D({{"name", S("")}}));
  ASSERT_TRUE(findCommandInTree(tree.get(), 183, snippets.get(), LocIn(de), nullptr, nullptr,
                                nullptr, &commandName));
  EXPECT_EQ(commandName, "snippet four");
}

TEST(SnippetName, FactoryNamesAreLocalisedAndTheUsersOwnAreShownAsTheyAre) {
  const auto loc = LocIn(Resources("de"));
  const auto snippets = A({
      D({{"name", S("Snippet 1")}}),
      D({{"name", S("Text snippet 2")}}),
      D({{"name", S("Snippet 2")}}),  // not the factory name of the third snippet
      D({{"name", S("Greeting")}}),
      S("not a snippet"),
      D({{"name", I(6)}}),
      D({{"name", S("snippet 7")}}),
  });
  const std::vector<std::string> expected = {"Textbaustein 1", "Textbaustein 2", "Snippet 2",
                                             "Greeting", "", "", "snippet 7", ""};
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(assignments::snippetNameFromArray(snippets.get(), static_cast<int64_t>(i), loc),
              expected[i])
        << i;
  EXPECT_EQ(assignments::snippetNameFromArray(snippets.get(), -1, loc), "");
  EXPECT_EQ(assignments::snippetNameFromArray(nullptr, 0, loc), "");
  EXPECT_EQ(assignments::snippetNameFromArray(snippets.get(), 0, LocIn(Resources("en"))), "Snippet 1");
}

TEST(AssignmentBrowser, ShowsCategoriesThenTheSelectedCategorysCommands) {
  const pl::ArrayRef tree = ShippedTree(0x1090);
  const auto en = LocIn(Resources("en"));
  const auto snippets = A({D({{"name", S("Signature")}})});
  EXPECT_EQ(assignments::BrowserRowCount(tree.get(), 0, -1), tree->size());
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 0, 0, -1), "Clicks and pointer");
  // Nothing selected in column 0 shows the first category's commands.
  EXPECT_EQ(assignments::BrowserRowCount(tree.get(), 1, -1), assignments::BrowserRowCount(tree.get(), 1, 0));
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 1, 0, -1), "Primary click");
  EXPECT_EQ(assignments::BrowserRowCount(tree.get(), 2, 0), 0u);
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 2, 0, 0), "");

  int category = -1, command = -1;
  ASSERT_TRUE(findCommandInTree(tree.get(), 180, nullptr, {}, &category, nullptr, &command, nullptr));
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 1, command, category), "Signature");
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 1, command + 1, category),
            "Type snippet 2");
  EXPECT_EQ(assignments::BrowserTitle(tree.get(), snippets.get(), en, 1, 999, category), "");
  EXPECT_EQ(assignments::CommandAtSelection(tree.get(), category, command), 180);
  EXPECT_EQ(assignments::CommandAtSelection(tree.get(), category, -1),
            assignments::CommandAtSelection(tree.get(), category, 0));
  EXPECT_EQ(assignments::CommandAtSelection(tree.get(), -1, -1), 1);
  EXPECT_EQ(assignments::CommandAtSelection(tree.get(), category, 999), std::nullopt);

  // Without a resource the browser is empty and nothing can be chosen.
  const auto empty = pl::makeArray();
  EXPECT_EQ(assignments::BrowserRowCount(empty.get(), 0, -1), 0u);
  EXPECT_EQ(assignments::BrowserRowCount(empty.get(), 1, -1), 0u);
  EXPECT_EQ(assignments::CommandAtSelection(empty.get(), -1, -1), std::nullopt);
}

}  // namespace
