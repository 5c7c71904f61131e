#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "helper/actions/tests/actions_world.h"
#include "platform/files.h"

namespace {

constexpr int32_t Param(uint32_t key, uint32_t mods) {
  return static_cast<int32_t>((key << 8) | (mods << 16));
}

TEST(KeystrokeParameter, TablesAddedModifiersAndKeyCodes) {
  FakeActionHost host;
  auto param = [&](Keystroke k) { return KeystrokeParameter(k, host.keycodeTable(), host.modifiersTable()); };
  // "A" needs Shift on the layout; Command is added.
  EXPECT_EQ(param({'A', 255, 0x0100}), 0x03000000u);
  // Shift asked twice is one bit.
  EXPECT_EQ(param({'Z', 255, 0x0300}), 0x03000600u);
  // A character the layout lacks: no key, the added modifiers only.
  EXPECT_EQ(param({0xA5, 255, 0x0100}), 0x0100FF00u);
  // A key code bypasses the tables (escape's table entry would say 53 as well: use another).
  host.setKey(0x1B, 71, 0x10);
  EXPECT_EQ(param({0, 53, 0x0900}), 0x09003500u);
  // Nothing to type.
  EXPECT_FALSE(param({0, 255, 0x0100}));
  // A character wins over a key code; one beyond the tables types no key.
  EXPECT_EQ(param({'c', 53, 0x0100}), 0x01000800u);
  EXPECT_EQ(param({0x2318, 255, 0x0100}), 0x0100FF00u);
}

TEST(ButtonDispatch, FindsTheButtonOfTheRightProfile) {
  ActionsWorld w;
  // Button index above 15, unknown device, no profiles at all: nothing.
  w.host.bestProfile = ProfileWithButton(3, ButtonDict(52));
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 16);
  w.actions.buttonPressed(w.host, 99, 3);
  w.host.bestProfile = nullptr;
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  EXPECT_TRUE(w.nothingHappened());

  // A button without dictionary, or without "cmd": nothing.
  w.press(pl::makeDict());
  w.host.bestProfile = ProfileWithButton(4, ButtonDict(52));
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  EXPECT_TRUE(w.nothingHappened());

  // The keystroke goes to the device that sent the press; button 12 is "12".
  w.host.addDevice(9);
  w.host.bestProfile = ProfileWithButton(12, ButtonDict(52));
  w.actions.buttonPressed(w.host, 9, 12);
  ASSERT_EQ(w.host.controls.size(), 1u);
  EXPECT_EQ(w.host.controls[0], (FakeActionHost::Control{9, driver::kControlKeystroke, Param(8, 0x0100)}));

  // Without a best profile the global one is used.
  w.host.controls.clear();
  w.host.bestProfile = nullptr;
  w.host.globalProfile = ProfileWithButton(3, ButtonDict(55));
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  EXPECT_EQ(w.keystrokes(), std::vector<int32_t>{Param(0, 0x0100)});

  // "cmd" is cut to 16 bits: 65536 + 52 is 52.
  w.host.controls.clear();
  w.pressCommand(65536 + 52);
  EXPECT_EQ(w.keystrokes(), std::vector<int32_t>{Param(8, 0x0100)});
}

TEST(ButtonDispatch, GlobalAssignmentIsFollowedOnce) {
  ActionsWorld w;
  auto char11 = pl::makeDict();
  char11->setInteger("cmd", 11);
  char11->setInteger("char", 'x');
  char11->setInteger("mod", 0x1000);
  w.host.globalProfile = ProfileWithButton(3, char11);
  w.pressCommand(200);
  EXPECT_EQ(w.keystrokes(), std::vector<int32_t>{Param(7, 0x1000)});

  // 200 in the global profile itself does nothing, whether reached directly or through 200.
  w.host.controls.clear();
  w.host.globalProfile = ProfileWithButton(3, ButtonDict(200));
  w.pressCommand(200);
  w.host.bestProfile = nullptr;
  w.actions.buttonPressed(w.host, ActionsWorld::kConnection, 3);
  // 200 with no global profile, or a global profile without that button.
  w.host.globalProfile = nullptr;
  w.pressCommand(200);
  w.host.globalProfile = ProfileWithButton(5, ButtonDict(52));
  w.pressCommand(200);
  EXPECT_TRUE(w.nothingHappened());
}

TEST(ButtonDispatch, CharacterAndFixedKeystrokes) {
  ActionsWorld w;
  auto button = [](int64_t ch, int64_t mod) {
    auto d = ButtonDict(11);
    if (ch >= 0) d->setInteger("char", ch);
    d->setInteger("mod", mod);
    return d;
  };
  w.press(button(-1, 0x0100));       // no "char": nothing
  w.press(button(0, 0x0100));        // char 0: nothing
  EXPECT_TRUE(w.keystrokes().empty());
  w.press(button('A', 0x0800));      // the layout's Shift and the button's Option
  w.press(button(0x100 + 'a', 0));   // cut to one byte
  EXPECT_EQ(w.keystrokes(), (std::vector<int32_t>{Param(0, 0x0A00), Param(0, 0)}));

  w.host.controls.clear();
  w.pressCommand(50);  // "Z" with Command and Shift
  w.pressCommand(38);  // "Q" with Command and Shift
  w.pressCommand(59);  // "Q" with Command, Option and Shift
  w.pressCommand(41);  // "h" with Command and Option
  w.pressCommand(58);  // "?" needs Shift on the layout
  w.pressCommand(74);  // "+" likewise
  w.pressCommand(76);  // escape straight, whatever the tables say
  EXPECT_EQ(w.keystrokes(), (std::vector<int32_t>{Param(6, 0x0300), Param(12, 0x0300),
                                                  Param(12, 0x0B00), Param(4, 0x0900),
                                                  Param(44, 0x0300), Param(24, 0x0300),
                                                  Param(53, 0x0900)}));
}

TEST(ButtonDispatch, BackAndForwardFollowTheFrontApplication) {
  for (const char* sig : {"MACS", "OPIM", "hbwr", "sfri", "hook"}) {
    ActionsWorld w;
    w.host.front = (uint32_t(uint8_t(sig[0])) << 24) | (uint32_t(uint8_t(sig[1])) << 16) |
                   (uint32_t(uint8_t(sig[2])) << 8) | uint8_t(sig[3]);
    w.pressCommand(30);
    w.pressCommand(31);
    EXPECT_EQ(w.keystrokes(), (std::vector<int32_t>{Param(33, 0x0100), Param(30, 0x0100)})) << sig;
  }
  ActionsWorld w;
  for (uint32_t front : {0u, FourCharCode("SCRN"), FourCharCode("KCAM")}) {  // byte order matters
    w.host.front = front;
    w.pressCommand(30);
    w.pressCommand(31);
  }
  EXPECT_EQ(w.keystrokes(), (std::vector<int32_t>{Param(123, 0x0100), Param(124, 0x0100),
                                                  Param(123, 0x0100), Param(124, 0x0100),
                                                  Param(123, 0x0100), Param(124, 0x0100)}));
}

TEST(ButtonDispatch, CodesWithoutHelperActionDoNothing) {
  // A button that carries every parameter an action could use.
  auto full = [](int64_t cmd) {
    auto d = ButtonDict(cmd);
    d->setInteger("char", 'a');
    d->setInteger("mod", 0x0100);
    d->setInteger("key", 8);
    d->setInteger("cnt", 2);
    d->setString("str", "/");
    d->setString("bndl", "org.example.app");
    return d;
  };
  std::set<int> helper = {11, 70, 71, 72, 73, 78, 79, 80, 90, 91, 92, 93, 94, 95, 96, 136, 137, 160};
  for (int c = 30; c <= 59; ++c)
    if (c < 34 || c > 37) helper.insert(c);
  for (int c : {74, 75, 76}) helper.insert(c);
  for (int c = 100; c <= 135; ++c) helper.insert(c);
  for (int c = 180; c <= 189; ++c) helper.insert(c);

  ActionsWorld w;
  w.host.snippets = pl::makeArray();
  for (int code = 0; code < 1024; ++code) {
    if (helper.count(code) || code == 200) continue;
    w.press(full(code));
    ASSERT_TRUE(w.nothingHappened()) << "code " << code;
  }
  w.press(full(65535));
  EXPECT_TRUE(w.nothingHappened());
}

TEST(ButtonDispatch, OpenLaunchUrlAndScript) {
  char tmpl[] = "/tmp/vantrel-actions-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string home = tmpl;
  ASSERT_TRUE(files::writeAtomically(home + "/Notes.txt", "x"));

  ActionsWorld w(home);
  auto with = [](int64_t cmd, const char* str, const char* bndl = nullptr) {
    auto d = ButtonDict(cmd);
    if (str) d->setString("str", str);
    if (bndl) d->setString("bndl", bndl);
    return d;
  };
  using Call = sys::FakeWorkspaceActions::Call;

  w.press(with(70, "~/Notes.txt"));
  w.press(with(70, "~/Missing.txt"));
  w.press(with(70, ""));
  w.press(with(70, "~"));
  EXPECT_EQ(w.workspace.calls, (std::vector<Call>{{Call::OpenFile, home + "/Notes.txt", 0},
                                                  {Call::OpenFile, home, 0}}));

  w.workspace.calls.clear();
  w.workspace.knownApplications = {"Calculator"};
  w.press(with(71, "Calculator", "org.example.calc"));  // launches by name only
  w.press(with(71, "Nothing", "org.example.calc"));     // falls back to the identifier
  w.press(with(71, "", "org.example.calc"));            // straight to the identifier
  w.press(with(71, "Nothing"));                         // fails, nothing to fall back to
  w.press(with(71, nullptr));
  w.pressCommand(136);
  EXPECT_EQ(w.workspace.calls,
            (std::vector<Call>{{Call::LaunchApplication, "Calculator", 0},
                               {Call::LaunchApplication, "Nothing", 0},
                               {Call::LaunchBundle, "org.example.calc", 0x10000},
                               {Call::LaunchBundle, "org.example.calc", 0x10000},
                               {Call::LaunchApplication, "Nothing", 0},
                               {Call::LaunchBundle, "com.apple.launchpad.launcher", 0x10000}}));

  w.workspace.calls.clear();
  w.press(with(72, "  www.example.com/a?b=1\n"));
  w.press(with(72, "http://bad url"));
  w.press(with(72, ""));
  w.press(with(72, "mailto:someone@example.com"));
  EXPECT_EQ(w.workspace.calls,
            (std::vector<Call>{{Call::OpenURL, "http://www.example.com/a?b=1", 0},
                               {Call::OpenURL, "mailto:someone@example.com", 0}}));

  w.press(with(73, "beep"));
  w.press(with(73, ""));
  w.scripts.result = sys::kOSAScriptError;  // an error is dropped
  w.press(with(73, "error \"x\""));
  EXPECT_EQ(w.scripts.sources, (std::vector<std::string>{"beep", "error \"x\""}));
  EXPECT_TRUE(w.host.controls.empty());

  std::remove((home + "/Notes.txt").c_str());
  rmdir(tmpl);
}

TEST(ButtonDispatch, SystemAndMediaEvents) {
  ActionsWorld w;
  w.events.addProcess(FourCharCode("MACS"));
  w.events.addProcess(FourCharCode("hook"));
  const sys::ProcessSerialNumber media = w.events.processes[1].psn;
  for (int code : {78, 79, 80, 90, 91, 92, 93, 94, 95, 96}) w.pressCommand(code);

  auto event = [](sys::ProcessSerialNumber psn, const char (&cls)[5], const char (&id)[5], int32_t mode) {
    sys::AppleEvent e;
    e.target = psn;
    e.eventClass = FourCharCode(cls);
    e.eventID = FourCharCode(id);
    e.sendMode = mode;
    return e;
  };
  const sys::ProcessSerialNumber kSystemPSN{0, sys::kSystemProcess};
  EXPECT_EQ(w.events.sent, (std::vector<sys::AppleEvent>{
                               event(kSystemPSN, "aevt", "rest", 0x71),
                               event(kSystemPSN, "aevt", "shut", 0x71),
                               event(kSystemPSN, "aevt", "slep", 0x71),
                               event(media, "hook", "PlPs", 1), event(media, "hook", "Stop", 1),
                               event(media, "hook", "Prev", 1), event(media, "hook", "Next", 1),
                               event(media, "aevt", "vol+", 1), event(media, "aevt", "vol-", 1),
                               event(media, "aevt", "mute", 1)}));
  EXPECT_EQ(w.events.sent[0].target, (sys::ProcessSerialNumber{0, 1}));
  EXPECT_EQ(w.events.sent[0].addressType, FourCharCode("psn "));
  EXPECT_EQ(w.events.sent[0].returnID, -1);
  EXPECT_EQ(w.events.sent[0].transactionID, 0);
  EXPECT_EQ(w.events.sent[0].timeout, -1);
  EXPECT_TRUE(w.sleeper.sleeps.empty());
  EXPECT_TRUE(w.host.controls.empty());
}

}  // namespace
