#include <gtest/gtest.h>

#include "helper/actions/tests/actions_world.h"

namespace {

pl::ArrayRef Snippets(std::initializer_list<std::pair<const char*, const char*>> items) {
  auto array = pl::makeArray();
  for (auto [name, text] : items) {
    auto d = pl::makeDict();
    if (name) d->setString("name", name);
    if (text) d->setString("text", text);
    array->append(d);
  }
  return array;
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

constexpr int32_t kPasteV = 0x01000900;  // Command with the key of "v"

}  // namespace

TEST(Snippets, TypingPastesAndRestoresThePasteboard) {
  ActionsWorld w;
  w.host.snippets = Snippets({{"a", "zero"}, {"b", "one"}, {"c", ""}, {"d", "three \xE2\x9C\x93"}});
  w.pasteboard.put("public.rtf", "{\\rtf1 x}");
  w.pasteboard.put("text/plain", "before");
  w.pasteboard.entries.push_back({"declared/empty", std::nullopt});
  w.pasteboard.put("image/png", std::string("\x89PNG\0\x01", 6));
  w.pasteboard.put("unreadable/type", "secret");
  w.pasteboard.unreadable = {"unreadable/type"};
  const auto before = w.pasteboard.entries;

  std::vector<sys::FakePasteboard::Entry> duringPaste;
  w.host.onControl = [&](const FakeActionHost::Control&) { duringPaste = w.pasteboard.entries; };
  w.pressCommand(183);

  EXPECT_EQ(w.host.controls,
            (std::vector<FakeActionHost::Control>{{ActionsWorld::kConnection, driver::kControlKeystroke, kPasteV}}));
  EXPECT_EQ(duringPaste, (std::vector<sys::FakePasteboard::Entry>{{"text/plain", Bytes("three \xE2\x9C\x93")}}));
  EXPECT_EQ(w.sleeper.microseconds(), std::vector<uint32_t>{250000});
  // Back as it was: same types in the same order with the same data; the type that could not
  // be read is there again, empty.
  auto expected = before;
  expected[4].data = std::nullopt;
  EXPECT_EQ(w.pasteboard.entries, expected);
}

TEST(Snippets, NothingToTypeLeavesEverythingAlone) {
  ActionsWorld w;
  w.pasteboard.put("text/plain", "keep");
  w.pressCommand(180);  // no snippets array
  w.host.snippets = Snippets({{"a", "x"}, {"b", ""}, {"c", nullptr}});
  w.pressCommand(181);  // empty text
  w.pressCommand(182);  // no text
  w.pressCommand(183);  // beyond the array
  w.pressCommand(189);
  w.host.snippets->append(pl::makeString("not a dictionary"));
  w.pressCommand(183);
  w.actions.typeSnippet(w.host, -1);
  w.host.devices.clear();  // no device: nothing, even for a snippet with text
  w.actions.typeSnippet(w.host, 0);
  EXPECT_TRUE(w.nothingHappened());
  EXPECT_EQ(w.pasteboard.stringFor("text/plain"), "keep");
}

TEST(Snippets, PasteGoesToTheFirstDeviceAndUsesTheLayoutsV) {
  ActionsWorld w;
  w.host.devices.insert(w.host.devices.begin(), {3, DeviceInfo{}});
  w.host.snippets = Snippets({{"a", "x"}});
  w.host.setKey('v', 42, 0x02);  // the modifier entry of "v" is not added
  w.pressCommand(180);
  w.host.setKey('v', 255, 0);  // "v" not on the layout: the request still goes, pasteboard restored
  w.pasteboard.put("text/plain", "old");
  w.pressCommand(180);
  EXPECT_EQ(w.host.controls, (std::vector<FakeActionHost::Control>{
                                 {3, driver::kControlKeystroke, 0x01002A00},
                                 {3, driver::kControlKeystroke, 0x0100FF00}}));
  EXPECT_EQ(w.pasteboard.stringFor("text/plain"), "old");
}

TEST(Snippets, MenuShowsNamesAndTypesTheChoice) {
  ActionsWorld w;
  w.host.snippets = Snippets({{"Greeting", "hello"}, {"", "untitled text"}, {"Sig", "--"}});
  w.menu.setItemTitle(1, "Earlier title");
  std::vector<FakeActionHost::Control> whileOpen;
  w.menu.whileOpen = [&] { whileOpen = w.host.controls; };
  w.menu.choice = 1;
  w.pressCommand(160);

  EXPECT_EQ(w.menu.titlesAtPopUp[0], "Greeting");
  EXPECT_EQ(w.menu.titlesAtPopUp[1], "Earlier title");  // an empty name keeps the title
  EXPECT_EQ(w.menu.titlesAtPopUp[2], "Sig");
  EXPECT_EQ(w.menu.titlesAtPopUp[3], "Snippet 4");
  using C = FakeActionHost::Control;
  EXPECT_EQ(whileOpen, (std::vector<C>{{FakeActionHost::kEveryDevice, driver::kControlPopUp, 1}}));
  EXPECT_EQ(w.host.controls, (std::vector<C>{{FakeActionHost::kEveryDevice, driver::kControlPopUp, 1},
                                             {ActionsWorld::kConnection, driver::kControlKeystroke, kPasteV},
                                             {FakeActionHost::kEveryDevice, driver::kControlPopUp, 0}}));

  // Dismissed, or an item whose tag is out of range: only the pop-up notices.
  for (std::optional<int> choice : {std::optional<int>(), std::optional<int>(10), std::optional<int>(-1)}) {
    w.host.controls.clear();
    w.menu.choice = choice;
    w.pressCommand(160);
    EXPECT_EQ(w.host.controls.size(), 2u);
  }
  // A snippet beyond the array cannot be typed from the menu either.
  w.host.controls.clear();
  w.menu.choice = 5;
  w.pressCommand(160);
  EXPECT_EQ(w.host.controls.size(), 2u);
  EXPECT_EQ(w.menu.popUps, 5);
}

TEST(Snippets, ButtonsPressedWhileTheMenuIsOpenWaitForIt) {
  ActionsWorld w;
  w.host.snippets = Snippets({{"a", "x"}});
  w.host.bestProfile = ProfileWithButton(3, ButtonDict(160));
  auto buttons = w.host.bestProfile->getDict("buttons");
  buttons->set("04", ButtonDict(52));
  buttons->set("05", ButtonDict(55));
  w.menu.whileOpen = [&] {
    w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 4);
    w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 5);
    w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);  // the menu again, later
    EXPECT_EQ(w.actions.deferredButtonCount(), 3u);
    w.menu.whileOpen = nullptr;
  };
  w.menu.choice = std::nullopt;
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  EXPECT_EQ(w.actions.deferredButtonCount(), 0u);
  using C = FakeActionHost::Control;
  const uint32_t all = FakeActionHost::kEveryDevice;
  EXPECT_EQ(w.host.controls, (std::vector<C>{{all, driver::kControlPopUp, 1},
                                             {all, driver::kControlPopUp, 0},
                                             {ActionsWorld::kConnection, driver::kControlKeystroke, 0x01000800},
                                             {ActionsWorld::kConnection, driver::kControlKeystroke, 0x01000000},
                                             {all, driver::kControlPopUp, 1},
                                             {all, driver::kControlPopUp, 0}}));
  EXPECT_EQ(w.menu.popUps, 2);
}

TEST(Snippets, PressesDuringThePasteWaitComeAfterTheRestore) {
  ActionsWorld w;
  w.host.snippets = Snippets({{"a", "pasted"}});
  w.pasteboard.put("text/plain", "mine");
  w.host.bestProfile = ProfileWithButton(3, ButtonDict(180));
  w.host.bestProfile->getDict("buttons")->set("04", ButtonDict(52));
  std::string pasteboardAtCopy;
  w.host.onControl = [&](const FakeActionHost::Control& c) {
    if (c.param == 0x01000800) pasteboardAtCopy = w.pasteboard.stringFor("text/plain");
  };
  int floods = 0;
  w.sleeper.whileSleeping = [&] {
    for (int i = 0; i < 100; ++i, ++floods) w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 4);
    w.sleeper.whileSleeping = nullptr;
  };
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  EXPECT_EQ(floods, 100);
  // The paste, then the presses that fitted into the queue, each after the restore.
  const auto sent = w.keystrokes();
  ASSERT_EQ(sent.size(), 1 + VantrelActions::kMaxDeferredButtons);
  EXPECT_EQ(sent[0], kPasteV);
  EXPECT_EQ(sent[1], 0x01000800);
  EXPECT_EQ(pasteboardAtCopy, "mine");
  EXPECT_EQ(w.actions.deferredButtonCount(), 0u);
}
