#include "pane/editors/assignment_tree.h"

#include <gtest/gtest.h>

#include <map>

#include "pane/editors/tests/assignment_test_support.h"
#include "platform/files.h"
#include "platform/tests/temp_tree.h"
#include "settings/commands.h"

namespace {

using namespace assignment_tests;
using namespace assignments;

pl::ArrayRef ShippedTree(uint32_t version) {
  return LoadAssignmentsTree(platform::Bundle(VANTREL_RESOURCE_DIR), version);
}

// "category/code name" of every command of a tree, in order.
std::vector<std::string> Outline(const pl::ArrayRef& tree) {
  std::vector<std::string> out;
  for (const auto& c : tree->items())
    for (const auto& k : pl::asDict(c)->getArray("commands")->items())
      out.push_back(pl::asDict(c)->stringValue("category") + "/" +
                    std::to_string(pl::asDict(k)->integerValue("command")) + " " +
                    pl::asDict(k)->stringValue("name"));
  return out;
}

// Every command that does something is offered once under the table's name keys (11 is not:
// the pane never writes the "char" it types), and every text it shows exists in both languages.
TEST(AssignmentsResource, OffersEachCommandOnceWithTextsInEnglishAndGerman) {
  const pl::ArrayRef raw =
      pl::asArray(pl::readFile(files::join(VANTREL_RESOURCE_DIR, "Assignments.plist")));
  ASSERT_TRUE(raw);
  std::map<int64_t, int> seen;
  std::vector<std::string> keys = {"Type", "Snippet"};
  for (const auto& c : raw->items()) {
    keys.push_back(pl::asDict(c)->stringValue("category"));
    keys.push_back(pl::asDict(c)->stringValue("category106"));
    for (const auto& k : pl::asDict(c)->getArray("commands")->items()) {
      const auto entry = pl::asDict(k);
      const commands::Command row =
          commands::command(static_cast<uint16_t>(entry->integerValue("command")));
      ++seen[entry->integerValue("command")];
      EXPECT_EQ(entry->stringValue("name"), row.nameKey) << row.code;
      EXPECT_EQ(entry->stringValue("name106"), row.nameKey106) << row.code;
      keys.push_back(entry->stringValue("name"));
      keys.push_back(entry->stringValue("name106"));
    }
  }
  for (const commands::Command& c : commands::all()) {
    EXPECT_EQ(seen[c.code], c.nameKey.empty() || c.code == 11 ? 0 : 1) << c.code;
    seen.erase(c.code);
  }
  EXPECT_TRUE(seen.empty()) << "codes that are not in the command table";
  for (const char* language : {"en", "de"}) {
    const platform::StringTable table = platform::parseStringsFile(files::readWhole(files::join(
        VANTREL_RESOURCE_DIR, std::string(language) + ".lproj/Localizable.strings")).value_or(""));
    for (const std::string& key : keys) {
      if (key.empty()) continue;
      EXPECT_FALSE(table.count(key) == 0 || table.at(key).empty()) << language << ": " << key;
    }
  }
  // The loader's checks keep all of it but the command the system lacks.
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(raw, 0x1090)).size(), 115u);
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(raw, 0x1060)).size(), 115u);
}

TEST(AssignmentsTree, FollowsTheSystemVersion) {
  for (uint32_t version : {0x1000u, 0x1060u, 0x106Fu, 0x1070u, 0x1090u}) {
    const bool older = version < 0x1070;
    const pl::ArrayRef tree = ShippedTree(version);
    std::string category, command;
    EXPECT_EQ(findCommandInTree(tree.get(), 107, nullptr, {}, nullptr, nullptr, nullptr, nullptr),
              older);
    EXPECT_EQ(findCommandInTree(tree.get(), 136, nullptr, {}, nullptr, nullptr, nullptr, nullptr),
              !older);
    ASSERT_TRUE(
        findCommandInTree(tree.get(), 104, nullptr, {}, nullptr, &category, nullptr, &command));
    EXPECT_EQ(category, older ? "category.windows.10.6" : "category.windows") << version;
    EXPECT_EQ(command, older ? "command.mission-control.10.6" : "command.mission-control")
        << version;
  }
  // A category left without commands goes; empty older names do not count.
  const auto resource = A({
      D({{"category", S("a")}, {"commands", A({D({{"command", I(136)}, {"name", S("l")}})})}}),
      D({{"category", S("b")}, {"category106", S("")},
         {"commands", A({D({{"command", I(1)}, {"name", S("c")}, {"name106", S("")}})})}}),
  });
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(resource, 0x1060)),
            std::vector<std::string>{"b/1 c"});
}

TEST(AssignmentsTree, MissingOrMalformedResourcesGiveAnEmptyTreeAndStrangeEntriesAreLeftOut) {
  testing_support::TempTree t;
  EXPECT_TRUE(LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());
  t.write("Assignments.plist", "this is no property list");
  EXPECT_TRUE(LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());
  t.write("Assignments.plist", *pl::toXml(*D({{"category", S("x")}})));
  EXPECT_TRUE(LoadAssignmentsTree(platform::Bundle(t.root()), 0x1090)->empty());

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
         {"commands",
          A({S("not a command"), command(S("52"), S("code as text")),
             command(pl::makeBool(true), S("boolean")), command(pl::makeReal(2.5), S("real")),
             command(I(-1), S("negative")), command(I(65536), S("too large")), command(I(2), I(9)),
             D({{"command", I(3)}}),
             D({{"command", I(65535)}, {"name", S("largest")}, {"name106", D({})}}),
             command(I(0), S(""))})}}),
  });
  EXPECT_EQ(Outline(AssignmentsTreeFromResource(resource, 0x1060)),
            (std::vector<std::string>{"kept/65535 largest", "kept/0 "}));
}

TEST(FindCommandInTree, GivesTheFirstPlaceOfACodeAndResetsWhatItDoesNotFind) {
  const auto tree = A({
      D({{"category", S("cat.a")},
         {"commands", A({D({{"command", I(1)}, {"name", S("one")}}),
                         D({{"command", I(2)}, {"name", S("two")}})})}}),
      D({{"category", S("cat.b")},
         {"commands", A({D({{"command", I(52)}, {"name", S("copy")}}),
                         D({{"command", I(1)}, {"name", S("again")}})})}}),
  });
  int category = 7, command = 7;
  std::string categoryName = "old", commandName = "old";
  ASSERT_TRUE(findCommandInTree(tree.get(), 1, nullptr, {}, &category, &categoryName, &command,
                                &commandName));
  EXPECT_EQ(std::tie(category, categoryName, command, commandName),
            std::make_tuple(0, std::string("cat.a"), 0, std::string("one")));
  EXPECT_FALSE(findCommandInTree(tree.get(), 65536 + 52, nullptr, {}, &category, &categoryName,
                                 &command, &commandName));
  EXPECT_EQ(std::tie(category, categoryName, command, commandName),
            std::make_tuple(-1, std::string(), -1, std::string()));
}

TEST(SnippetName, FactoryNamesAreLocalisedAndTheUsersOwnShownAsTheyAre) {
  const auto snippets = A({D({{"name", S("Snippet 1")}}), D({{"name", S("Text snippet 2")}}),
                           D({{"name", S("Snippet 2")}}),  // not the third snippet's factory name
                           D({{"name", S("Greeting")}}), S("not a snippet"), D({{"name", I(6)}})});
  const std::vector<std::string> expected = {"Textbaustein 1", "Textbaustein 2", "Snippet 2",
                                             "Greeting", "", "", ""};
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(snippetNameFromArray(snippets.get(), static_cast<int64_t>(i), LocIn(Resources("de"))),
              expected[i])
        << i;
  EXPECT_EQ(snippetNameFromArray(snippets.get(), -1, {}), "");
}

TEST(AssignmentBrowser, ShowsCategoriesThenTheSelectedCategorysCommands) {
  const pl::ArrayRef tree = ShippedTree(0x1090);
  const auto en = LocIn(Resources("en"));
  const auto snippets = A({D({{"name", S("Signature")}})});
  EXPECT_EQ(BrowserRowCount(tree.get(), 0, -1), tree->size());
  EXPECT_EQ(BrowserTitle(tree.get(), snippets.get(), en, 0, 0, -1), "Clicks and pointer");
  EXPECT_EQ(BrowserTitle(tree.get(), snippets.get(), en, 1, 0, -1),
            "Primary click");  // none selected
  EXPECT_EQ(BrowserRowCount(tree.get(), 2, 0), 0u);
  int category = -1, row = -1;
  ASSERT_TRUE(findCommandInTree(tree.get(), 180, nullptr, {}, &category, nullptr, &row, nullptr));
  EXPECT_EQ(BrowserTitle(tree.get(), snippets.get(), en, 1, row, category), "Signature");
  EXPECT_EQ(BrowserTitle(tree.get(), snippets.get(), en, 1, row + 1, category), "Type snippet 2");
  EXPECT_EQ(CommandAtSelection(tree.get(), category, -1),
            CommandAtSelection(tree.get(), category, 0));
  EXPECT_EQ(CommandAtSelection(tree.get(), category, 999), std::nullopt);
  // Without a resource nothing can be chosen.
  EXPECT_EQ(BrowserRowCount(pl::makeArray().get(), 1, -1), 0u);
  EXPECT_EQ(CommandAtSelection(pl::makeArray().get(), -1, -1), std::nullopt);
}

}  // namespace
