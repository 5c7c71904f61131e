#include "pane/editors/assignment_editing.h"

#include <gtest/gtest.h>

#include <map>

#include "pane/editors/tests/assignment_test_support.h"
#include "platform/tests/temp_tree.h"

namespace {

using namespace assignment_tests;
using namespace assignments;
using Contents = std::map<std::string, std::string>;

// A dictionary's keys with their values as text ('text' or a number).
Contents ContentsOf(const pl::Dictionary& d) {
  Contents out;
  for (const auto& [key, value] : d) {
    const auto s = pl::asString(value);
    out[key] = s ? "'" + s->value() + "'" : std::to_string(pl::integerValue(value));
  }
  return out;
}

TEST(EditorControls, ChoosingACommandStartsItsParametersAfresh) {
  const EditorControls ticked{{true, true, true, true}, {true, true, true, true}, 7};
  const auto chosen = [&](uint16_t code) {
    auto action = D({{"cmd", I(10)}, {"mod", I(0x0300)}, {"btn", I(1)}, {"clk", I(2)},
                     {"key", I(40)}, {"char", I(97)}, {"freq", I(3)}, {"cnt", I(4)},
                     {"str", S("/tmp/x")}, {"bndl", S("org.example.app")}, {"label", S("mine")}});
    ReadActionFromControls(*action, code, true, ticked);
    Contents c = ContentsOf(*action);
    EXPECT_EQ(c["label"], "'mine'");
    c.erase("label");
    if (code != 71) {
      EXPECT_EQ(c["bndl"], "'org.example.app'");
    }
    c.erase("bndl");
    return c;
  };
  EXPECT_EQ(chosen(2), (Contents{{"cmd", "2"}, {"mod", "0"}}));
  EXPECT_EQ(chosen(21), (Contents{{"cmd", "21"}, {"cnt", "1"}}));
  EXPECT_EQ(chosen(10), (Contents{{"cmd", "10"}, {"key", "255"}, {"mod", "0"}}));
  EXPECT_EQ(chosen(70), (Contents{{"cmd", "70"}, {"str", "''"}}));
  EXPECT_EQ(chosen(73), (Contents{{"cmd", "73"}, {"str", "''"}}));
  EXPECT_EQ(chosen(71), (Contents{{"cmd", "71"}, {"str", "''"}}));
  EXPECT_EQ(chosen(183), (Contents{{"cmd", "183"}}));

  // No command to choose (an empty browser): the action stays as it was.
  auto action = D({{"cmd", I(52)}, {"label", S("x")}});
  ReadActionFromControls(*action, std::nullopt, true, ticked);
  EXPECT_EQ(ContentsOf(*action), (Contents{{"cmd", "52"}, {"label", "'x'"}}));
}

TEST(EditorControls, TheBoxesAndTheSpeedMenuGiveTheParameters) {
  auto click = D({{"cmd", I(1)}});
  ReadActionFromControls(*click, 1, false, {{false, true, true, false}, {}, 1});  // Control, Option
  EXPECT_EQ(click->integerValue("mod"), 0x1800);
  ReadActionFromControls(*click, 1, false, {{true, false, false, true}, {}, 1});  // Command, Shift
  EXPECT_EQ(click->integerValue("mod"), 0x0300);
  EXPECT_EQ(BoxesFromModifiers(0x1B00 | 0x0400), (ModifierBoxes{true, true, true, true}));

  // A keystroke keeps its key; only the key boxes count.
  auto keystroke = D({{"cmd", I(10)}, {"key", I(0x128)}, {"mod", I(0x0100)}});
  ReadActionFromControls(*keystroke, 10, false,
                         {{true, true, true, true}, {false, false, false, true}, 1});
  EXPECT_EQ(ContentsOf(*keystroke), (Contents{{"cmd", "10"}, {"key", "40"}, {"mod", "512"}}));

  auto scroll = D({{"cmd", I(20)}});
  ReadActionFromControls(*scroll, 20, false, {{}, {}, -3});
  EXPECT_EQ(scroll->integerValue("cnt"), 3);
  ReadActionFromControls(*scroll, 20, false, {{}, {}, INT64_MIN});
  EXPECT_EQ(scroll->integerValue("cnt"), INT64_MAX);

  auto app = D({{"cmd", I(71)}, {"str", S("Mail")}});
  ReadActionFromControls(*app, 71, false, {});
  EXPECT_EQ(ContentsOf(*app), (Contents{{"cmd", "71"}, {"str", "'Mail'"}, {"bndl", "''"}}));
}

TEST(EditorView, ShowsWhatTheActionHolds) {
  UsKeyNames names;
  const pl::ArrayRef tree = LoadAssignmentsTree(platform::Bundle(VANTREL_RESOURCE_DIR), 0x1090);
  const auto view = [&](const pl::DictRef& action, const pl::Array* snippets = nullptr) {
    return ViewOfAction(*action, tree.get(), snippets, LocIn(Resources("en")));
  };
  EditorView v = view(D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0300)}, {"label", S("K")}}));
  EXPECT_EQ(v.panel, ParameterPanel::Keystroke);
  EXPECT_EQ(v.keystroke, "CommandShiftK");
  EXPECT_EQ(v.keyBoxes, (ModifierBoxes{true, false, false, true}));
  EXPECT_EQ(std::tie(v.label, v.categoryRow, v.commandRow),
            std::make_tuple(std::string("K"), 1, 0));
  EXPECT_EQ(view(D({{"cmd", I(10)}, {"key", I(255)}, {"mod", I(0x0100)}})).keystroke, "");
  EXPECT_EQ(view(D({{"cmd", I(3)}, {"mod", I(0x1800)}})).clickBoxes,
            (ModifierBoxes{false, true, true, false}));
  EXPECT_EQ(view(D({{"cmd", I(22)}, {"cnt", I(-5)}})).speedTag, 5);
  EXPECT_EQ(view(D({{"cmd", I(70)}})).item, "-");
  EXPECT_EQ(view(D({{"cmd", I(71)}, {"bndl", S("org.gnome.Calculator")}})).application,
            "org.gnome.Calculator");
  EXPECT_EQ(view(D({{"cmd", I(71)}, {"str", I(4)}})).application, "-");
  EXPECT_EQ(view(D({{"cmd", I(72)}, {"str", S("example.com")}})).panel, ParameterPanel::URL);

  const auto snippets = A({D({}), D({}), D({}), D({{"name", S("Snippet 4")}, {"text", S("Hi")}})});
  v = view(D({{"cmd", I(183)}}), snippets.get());
  EXPECT_EQ(std::tie(v.panel, v.snippetName, v.snippetText),
            std::make_tuple(ParameterPanel::Snippet, std::string("Snippet 4"), std::string("Hi")));
  v = view(D({{"cmd", I(189)}}), snippets.get());
  EXPECT_EQ(v.snippetName + v.snippetText, "");

  // A code the browser does not offer leaves its selection alone and shows no panel.
  v = view(D({{"cmd", I(107)}, {"label", I(3)}}));
  EXPECT_EQ(std::tie(v.categoryRow, v.commandRow, v.panel, v.label),
            std::make_tuple(-1, -1, ParameterPanel::None, std::string()));
}

TEST(EditorKeystroke, OnlyAKeystrokeCommandTakesTheCapturedKeys) {
  auto action = D({{"cmd", I(10)}, {"key", I(255)}, {"mod", I(0)}});
  EXPECT_TRUE(ReceiveKeystroke(*action, 40, 'K', 0x0300));
  EXPECT_EQ(ContentsOf(*action), (Contents{{"cmd", "10"}, {"key", "40"}, {"mod", "768"}}));
  EXPECT_TRUE(ReceiveKeystroke(*action, 0x100 + 8, 0, 0x10000 + 0x1000));
  EXPECT_EQ(ContentsOf(*action), (Contents{{"cmd", "10"}, {"key", "8"}, {"mod", "4096"}}));
  auto click = D({{"cmd", I(1)}});
  EXPECT_FALSE(ReceiveKeystroke(*click, 40, 'K', 0x0300));
  EXPECT_EQ(click->size(), 1u);
}

TEST(EditorTextFields, EditTheActionAndTheSnippetsInPlace) {
  auto action = D({{"cmd", I(72)}, {"label", S("old")}});
  StringFieldChanged(*action, "example.org");
  LabelChanged(*action, "");
  EXPECT_EQ(ContentsOf(*action), (Contents{{"cmd", "72"}, {"str", "'example.org'"}}));

  // The very array the pane saves is edited, so a cancelled dialog keeps the edit.
  const auto snippets = A({D({{"name", S("Snippet 1")}, {"text", S("a")}}), S("junk")});
  const pl::ObjectRef first = snippets->at(0);
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 180, SnippetField::Text, "new text"));
  EXPECT_EQ(pl::asDict(first)->stringValue("text"), "new text");
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 181, SnippetField::Name, "Replaces junk"));
  EXPECT_EQ(pl::asDict(snippets->at(1))->stringValue("name"), "Replaces junk");
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 184, SnippetField::Name, "Fifth"));
  ASSERT_EQ(snippets->size(), 5u);
  EXPECT_EQ(pl::asDict(snippets->at(3))->stringValue("name"), "");
  EXPECT_EQ(pl::asDict(snippets->at(4))->stringValue("name"), "Fifth");
  EXPECT_FALSE(SnippetFieldChanged(*snippets, 190, SnippetField::Name, "x"));
  EXPECT_FALSE(SnippetFieldChanged(*snippets, std::nullopt, SnippetField::Name, "x"));
}

TEST(EditorChosenItem, IsStoredWithATildeForTheHomeFolder) {
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/ann/Documents/a.txt", "/home/ann"),
            "~/Documents/a.txt");
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/ann", "/home/ann/"), "~");
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/anna/x", "/home/ann"), "/home/anna/x");
  EXPECT_EQ(AbbreviateWithTildeInPath("/etc/hosts", "/"), "/etc/hosts");
  auto item = D({{"cmd", I(70)}});
  EXPECT_TRUE(StoreChosenItem(*item, "/home/ann/Report.pdf", "/home/ann"));
  EXPECT_EQ(item->stringValue("str"), "~/Report.pdf");
  auto other = D({{"cmd", I(72)}});
  EXPECT_FALSE(StoreChosenItem(*other, "/home/ann/Report.pdf", "/home/ann"));
  EXPECT_FALSE(other->contains("str"));
}

TEST(EditorChosenApplication, TakesTheNameAndIdentifierTheHelperLaunchesItBy) {
  testing_support::TempTree t;
  const auto bundle = [&](const std::string& folder, pl::DictRef info) {
    t.write(folder + "/Contents/Info.plist", *pl::toXml(*info));
    return t.path(folder);
  };
  const auto app = [](const std::string& path) {
    const ChosenApplication a = ApplicationAtPath(path);
    return a.name + " | " + a.identifier;
  };
  EXPECT_EQ(app(bundle("Mail.app", D({{"CFBundleName", S("Post")},
                                      {"CFBundleIdentifier", S("com.example.mail")}}))),
            "Post | com.example.mail");
  EXPECT_EQ(app(bundle("Notes.app", D({{"CFBundleIdentifier", S("com.example.notes")}})) + "/"),
            "Notes | com.example.notes");
  EXPECT_EQ(app(bundle("Named.app", D({{"CFBundleName", S("Viewer.app")}}))), "Viewer | ");
  EXPECT_EQ(app(t.folder("Bare.app")), "Bare | ");
  EXPECT_EQ(app(t.write("applications/org.gnome.Calculator.desktop",
                        "[Desktop Entry]\nType=Application\nName=Calculator\nName[de]=Rechner\n")),
            "Calculator | org.gnome.Calculator");
  EXPECT_EQ(app(t.write("applications/nameless.desktop", "[Desktop Entry]\nType=Application\n")),
            "nameless | nameless");
  EXPECT_EQ(app(t.write("applications/broken.desktop", "no group at all\n")), "broken.desktop | ");

  auto action = D({{"cmd", I(71)}});
  EXPECT_TRUE(StoreChosenApplication(*action, {"Calculator", "org.gnome.Calculator"}));
  EXPECT_EQ(ContentsOf(*action),
            (Contents{{"cmd", "71"}, {"str", "'Calculator'"}, {"bndl", "'org.gnome.Calculator'"}}));
  auto other = D({{"cmd", I(70)}});
  EXPECT_FALSE(StoreChosenApplication(*other, {"Calculator", "x"}));
}

}  // namespace
