#include "pane/editors/assignment_editing.h"

#include <gtest/gtest.h>

#include "pane/editors/tests/assignment_test_support.h"
#include "platform/tests/temp_tree.h"

namespace {

using namespace assignment_tests;
using namespace assignments;

// The keys of a dictionary with their values as text, for comparing whole dictionaries.
std::map<std::string, std::string> Contents(const pl::Dictionary& d) {
  std::map<std::string, std::string> out;
  for (const auto& [key, value] : d) {
    const auto s = pl::asString(value);
    out[key] = s ? "'" + s->value() + "'" : std::to_string(pl::integerValue(value));
  }
  return out;
}

// A button dictionary with every key the editor knows, as a command chosen earlier leaves it.
pl::DictRef Cluttered() {
  return D({{"cmd", I(10)}, {"mod", I(0x0300)}, {"btn", I(1)}, {"clk", I(2)}, {"key", I(40)},
            {"char", I(97)}, {"freq", I(3)}, {"cnt", I(4)}, {"str", S("/tmp/x")},
            {"bndl", S("org.example.app")}, {"label", S("mine")}});
}

TEST(EditorPanels, EachCommandShowsThePanelOfItsParameters) {
  std::map<int, std::vector<int64_t>> byPanel;
  for (int64_t code : {-1, 0, 1, 8, 9, 10, 11, 12, 18, 19, 20, 23, 24, 52, 70, 71, 72, 73, 76, 80,
                       90, 104, 136, 160, 179, 180, 189, 190, 200, 65536 + 1})
    byPanel[static_cast<int>(PanelForCommand(code))].push_back(code);
  EXPECT_EQ(byPanel[1], (std::vector<int64_t>{1, 8, 12, 18}));
  EXPECT_EQ(byPanel[2], (std::vector<int64_t>{10}));
  EXPECT_EQ(byPanel[3], (std::vector<int64_t>{180, 189}));
  EXPECT_EQ(byPanel[4], (std::vector<int64_t>{20, 23}));
  EXPECT_EQ(byPanel[5], (std::vector<int64_t>{71}));
  EXPECT_EQ(byPanel[6], (std::vector<int64_t>{70}));
  EXPECT_EQ(byPanel[7], (std::vector<int64_t>{72}));
  EXPECT_EQ(byPanel[8], (std::vector<int64_t>{73}));
  EXPECT_EQ(byPanel[0], (std::vector<int64_t>{-1, 0, 9, 11, 19, 24, 52, 76, 80, 90, 104, 136, 160,
                                              179, 190, 200, 65537}));
}

TEST(EditorControls, ChoosingACommandStartsItsParametersAfresh) {
  const EditorControls ticked{{true, true, true, true}, {true, true, true, true}, 7};
  const auto chosen = [&](uint16_t code) {
    auto action = Cluttered();
    ReadActionFromControls(*action, code, true, ticked);
    return Contents(*action);
  };
  using M = std::map<std::string, std::string>;
  const M kept = {{"bndl", "'org.example.app'"}, {"label", "'mine'"}};
  const auto with = [&](M extra) {
    extra.insert(kept.begin(), kept.end());
    return extra;
  };
  EXPECT_EQ(chosen(2), with({{"cmd", "2"}, {"mod", "0"}}));
  EXPECT_EQ(chosen(21), with({{"cmd", "21"}, {"cnt", "1"}}));
  EXPECT_EQ(chosen(10), with({{"cmd", "10"}, {"key", "255"}, {"mod", "0"}}));
  EXPECT_EQ(chosen(70), with({{"cmd", "70"}, {"str", "''"}}));
  EXPECT_EQ(chosen(72), with({{"cmd", "72"}, {"str", "''"}}));
  EXPECT_EQ(chosen(73), with({{"cmd", "73"}, {"str", "''"}}));
  EXPECT_EQ(chosen(71), (M{{"cmd", "71"}, {"str", "''"}, {"bndl", "''"}, {"label", "'mine'"}}));
  EXPECT_EQ(chosen(183), with({{"cmd", "183"}}));
  EXPECT_EQ(chosen(52), with({{"cmd", "52"}}));

  // No command to choose (an empty browser): the action stays as it was.
  auto action = Cluttered();
  ReadActionFromControls(*action, std::nullopt, true, ticked);
  EXPECT_EQ(Contents(*action), Contents(*Cluttered()));
}

TEST(EditorControls, TheBoxesAndTheSpeedMenuGiveTheParameters) {
  const auto clickMod = [](ModifierBoxes boxes) {
    auto action = D({{"cmd", I(1)}});
    ReadActionFromControls(*action, 1, false, {boxes, {}, 1});
    return action->integerValue("mod");
  };
  EXPECT_EQ(clickMod({false, true, true, false}), 0x1800);  // Control and Option
  EXPECT_EQ(clickMod({false, false, true, false}), 0x0800);
  EXPECT_EQ(clickMod({false, true, false, false}), 0x1000);
  EXPECT_EQ(clickMod({true, false, false, true}), 0x0300);
  EXPECT_EQ(clickMod({true, true, true, true}), 0x1B00);
  for (uint64_t m : {0x0000u, 0x0100u, 0x0200u, 0x0800u, 0x1000u, 0x1B00u})
    EXPECT_EQ(ModifiersFromBoxes(BoxesFromModifiers(m)), m);
  EXPECT_EQ(BoxesFromModifiers(0x0400 | 0x10000), ModifierBoxes{});  // Caps Lock has no box

  // A keystroke keeps its key; only the key boxes count.
  auto keystroke = D({{"cmd", I(10)}, {"key", I(0x128)}, {"mod", I(0x0100)}});
  ReadActionFromControls(*keystroke, 10, false, {{true, true, true, true}, {false, false, false, true}, 1});
  EXPECT_EQ(Contents(*keystroke), (std::map<std::string, std::string>{
                                      {"cmd", "10"}, {"key", "40"}, {"mod", "512"}}));

  auto scroll = D({{"cmd", I(20)}});
  ReadActionFromControls(*scroll, 20, false, {{}, {}, -3});
  EXPECT_EQ(scroll->integerValue("cnt"), 3);
  ReadActionFromControls(*scroll, 20, false, {{}, {}, INT64_MIN});
  EXPECT_EQ(scroll->integerValue("cnt"), INT64_MAX);

  // An application keeps its name and identifier; missing ones become empty texts.
  auto app = D({{"cmd", I(71)}, {"str", S("Mail")}});
  ReadActionFromControls(*app, 71, false, {});
  EXPECT_EQ(Contents(*app), (std::map<std::string, std::string>{
                                {"cmd", "71"}, {"str", "'Mail'"}, {"bndl", "''"}}));
}

TEST(EditorView, ShowsWhatTheActionHolds) {
  UsKeyNames names;
  const pl::ArrayRef tree = LoadAssignmentsTree(platform::Bundle(VANTREL_RESOURCE_DIR), 0x1090);
  const auto loc = LocIn(Resources("en"));
  const auto view = [&](const pl::DictRef& action, const pl::Array* snippets = nullptr) {
    return ViewOfAction(*action, tree.get(), snippets, loc);
  };

  EditorView v = view(D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0300)}, {"label", S("K")}}));
  EXPECT_EQ(v.panel, ParameterPanel::Keystroke);
  EXPECT_EQ(v.keystroke, "CommandShiftK");
  EXPECT_EQ(v.keyBoxes, (ModifierBoxes{true, false, false, true}));
  EXPECT_EQ(v.label, "K");
  EXPECT_EQ(v.categoryRow, 1);
  EXPECT_EQ(v.commandRow, 0);
  EXPECT_EQ(view(D({{"cmd", I(10)}, {"key", I(255)}, {"mod", I(0x0100)}})).keystroke, "");

  v = view(D({{"cmd", I(3)}, {"mod", I(0x1800)}}));
  EXPECT_EQ(v.panel, ParameterPanel::ClickModifiers);
  EXPECT_EQ(v.clickBoxes, (ModifierBoxes{false, true, true, false}));
  EXPECT_EQ(view(D({{"cmd", I(22)}, {"cnt", I(-5)}})).speedTag, 5);
  EXPECT_EQ(view(D({{"cmd", I(70)}})).item, "-");
  EXPECT_EQ(view(D({{"cmd", I(70)}, {"str", S("~/a")}})).item, "~/a");
  EXPECT_EQ(view(D({{"cmd", I(71)}, {"bndl", S("org.gnome.Calculator")}})).application,
            "org.gnome.Calculator");
  EXPECT_EQ(view(D({{"cmd", I(71)}, {"str", I(4)}})).application, "-");
  EXPECT_EQ(view(D({{"cmd", I(72)}, {"str", S("example.com")}})).url, "example.com");
  EXPECT_EQ(view(D({{"cmd", I(73)}, {"str", S("beep")}})).script, "beep");

  const auto snippets = A({D({}), D({}), D({}), D({{"name", S("Snippet 4")}, {"text", S("Hi")}})});
  v = view(D({{"cmd", I(183)}}), snippets.get());
  EXPECT_EQ(v.panel, ParameterPanel::Snippet);
  EXPECT_EQ(std::tie(v.snippetName, v.snippetText), std::make_tuple(std::string("Snippet 4"), std::string("Hi")));
  v = view(D({{"cmd", I(189)}}), snippets.get());
  EXPECT_EQ(std::tie(v.snippetName, v.snippetText), std::make_tuple(std::string(), std::string()));

  // A code the browser does not offer leaves its selection alone.
  v = view(D({{"cmd", I(35)}, {"label", I(3)}}));
  EXPECT_EQ(std::tie(v.categoryRow, v.commandRow), std::make_tuple(-1, -1));
  EXPECT_EQ(v.label, "");
  EXPECT_EQ(v.panel, ParameterPanel::None);
  EXPECT_EQ(view(D({{"cmd", I(107)}})).categoryRow, -1);
  EXPECT_EQ(view(D({{"cmd", S("junk")}})).commandRow, 0);  // text reads as 0: "Nothing"
}

TEST(EditorKeystroke, OnlyAKeystrokeCommandTakesTheCapturedKeys) {
  auto action = D({{"cmd", I(10)}, {"key", I(255)}, {"mod", I(0)}});
  EXPECT_TRUE(ReceiveKeystroke(*action, 40, 'K', 0x0300));
  EXPECT_EQ(Contents(*action), (std::map<std::string, std::string>{
                                   {"cmd", "10"}, {"key", "40"}, {"mod", "768"}}));
  EXPECT_TRUE(ReceiveKeystroke(*action, 0x100 + 8, 0, 0x10000 + 0x1000));
  EXPECT_EQ(std::make_pair(action->integerValue("key"), action->integerValue("mod")),
            std::make_pair(int64_t{8}, int64_t{0x1000}));
  for (int64_t other : {1, 11, 71}) {
    auto a = D({{"cmd", I(other)}});
    EXPECT_FALSE(ReceiveKeystroke(*a, 40, 'K', 0x0300));
    EXPECT_EQ(a->size(), 1u);
  }
}

TEST(EditorTextFields, EditTheActionAndTheSnippetsInPlace) {
  auto action = D({{"cmd", I(72)}, {"label", S("old")}});
  LabelChanged(*action, "Home page");
  StringFieldChanged(*action, "example.org");
  EXPECT_EQ(action->stringValue("label"), "Home page");
  EXPECT_EQ(action->stringValue("str"), "example.org");
  LabelChanged(*action, "");
  EXPECT_FALSE(action->contains("label"));

  // The very array the pane saves is edited: a cancelled dialog keeps the edit.
  const auto snippets = A({D({{"name", S("Snippet 1")}, {"text", S("a")}}), S("junk")});
  const pl::ObjectRef first = snippets->at(0);
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 180, SnippetField::Text, "new text"));
  EXPECT_EQ(snippets->at(0), first);
  EXPECT_EQ(pl::asDict(first)->stringValue("text"), "new text");
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 181, SnippetField::Name, "Replaces junk"));
  EXPECT_EQ(pl::asDict(snippets->at(1))->stringValue("name"), "Replaces junk");
  EXPECT_TRUE(SnippetFieldChanged(*snippets, 184, SnippetField::Name, "Fifth"));
  ASSERT_EQ(snippets->size(), 5u);
  EXPECT_EQ(pl::asDict(snippets->at(3))->stringValue("name"), "");
  EXPECT_EQ(pl::asDict(snippets->at(4))->stringValue("name"), "Fifth");
  EXPECT_FALSE(SnippetFieldChanged(*snippets, 179, SnippetField::Name, "x"));
  EXPECT_FALSE(SnippetFieldChanged(*snippets, 190, SnippetField::Name, "x"));
  EXPECT_FALSE(SnippetFieldChanged(*snippets, std::nullopt, SnippetField::Name, "x"));
  EXPECT_EQ(snippets->size(), 5u);
}

TEST(EditorChosenItem, IsStoredWithATildeForTheHomeFolder) {
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/ann/Documents/a.txt", "/home/ann"), "~/Documents/a.txt");
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/ann", "/home/ann/"), "~");
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/ann/Music/", "/home/ann"), "~/Music");
  EXPECT_EQ(AbbreviateWithTildeInPath("/home/anna/x", "/home/ann"), "/home/anna/x");
  EXPECT_EQ(AbbreviateWithTildeInPath("/etc/hosts", "/home/ann"), "/etc/hosts");
  EXPECT_EQ(AbbreviateWithTildeInPath("/etc/hosts", "/"), "/etc/hosts");
  EXPECT_EQ(AbbreviateWithTildeInPath("/etc/hosts", ""), "/etc/hosts");

  auto item = D({{"cmd", I(70)}});
  EXPECT_TRUE(StoreChosenItem(*item, "/home/ann/Report.pdf", "/home/ann"));
  EXPECT_EQ(item->stringValue("str"), "~/Report.pdf");
  auto other = D({{"cmd", I(72)}});
  EXPECT_FALSE(StoreChosenItem(*other, "/home/ann/Report.pdf", "/home/ann"));
  EXPECT_FALSE(other->contains("str"));
}

TEST(EditorChosenApplication, TakesTheNameAndIdentifierTheHelperLaunchesItBy) {
  testing_support::TempTree t;
  const auto info = [&](const std::string& bundle, pl::DictRef dict) {
    t.write(bundle + "/Contents/Info.plist", *pl::toXml(*dict));
    return t.path(bundle);
  };
  const auto app = [](const std::string& path) {
    const ChosenApplication a = ApplicationAtPath(path);
    return a.name + " | " + a.identifier;
  };
  EXPECT_EQ(app(info("Mail.app", D({{"CFBundleName", S("Post")},
                                    {"CFBundleIdentifier", S("com.example.mail")}}))),
            "Post | com.example.mail");
  EXPECT_EQ(app(info("Notes.app", D({{"CFBundleIdentifier", S("com.example.notes")}})) + "/"),
            "Notes | com.example.notes");
  EXPECT_EQ(app(info("Named.app", D({{"CFBundleName", S("Viewer.app")}}))), "Viewer | ");
  t.folder("Bare.app");
  EXPECT_EQ(app(t.path("Bare.app")), "Bare | ");
  EXPECT_EQ(app(t.program("bin/tool")), "tool | ");

  EXPECT_EQ(app(t.write("applications/org.gnome.Calculator.desktop",
                        "[Desktop Entry]\nType=Application\nName=Calculator\n"
                        "Name[de]=Rechner\nExec=gnome-calculator\n")),
            "Calculator | org.gnome.Calculator");
  EXPECT_EQ(app(t.write("applications/nameless.desktop", "[Desktop Entry]\nType=Application\n")),
            "nameless | nameless");
  EXPECT_EQ(app(t.write("applications/broken.desktop", "no group at all\n")), "broken.desktop | ");
  EXPECT_EQ(app(t.path("applications/missing.desktop")), "missing.desktop | ");

  auto action = D({{"cmd", I(71)}});
  EXPECT_TRUE(StoreChosenApplication(*action, {"Calculator", "org.gnome.Calculator"}));
  EXPECT_EQ(std::make_pair(action->stringValue("str"), action->stringValue("bndl")),
            std::make_pair(std::string("Calculator"), std::string("org.gnome.Calculator")));
  auto other = D({{"cmd", I(70)}});
  EXPECT_FALSE(StoreChosenApplication(*other, {"Calculator", "x"}));
  EXPECT_EQ(other->size(), 1u);
}

}  // namespace
