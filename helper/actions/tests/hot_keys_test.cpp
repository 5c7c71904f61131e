#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "helper/actions/hot_keys.h"
#include "helper/actions/tests/actions_world.h"
#include "platform/files.h"

using namespace actions;

namespace {

pl::DictRef Entry(bool enabled, int64_t ch, int64_t key, int64_t flags) {
  auto params = pl::makeArray();
  for (int64_t v : {ch, key, flags}) params->append(pl::makeInteger(v));
  auto value = pl::makeDict();
  value->set("parameters", params);
  value->setString("type", "standard");
  auto entry = pl::makeDict();
  entry->setBool("enabled", enabled);
  entry->set("value", value);
  return entry;
}

struct HotKey {
  int result;
  bool enabled;
  uint16_t ch;
  uint8_t key;
  uint16_t mods;
};
HotKey Lookup(const pl::DictRef& dict, uint16_t number) {
  HotKey h{};
  h.result = GetSymbolicHotKey(dict.get(), number, &h.enabled, &h.ch, &h.key, &h.mods);
  return h;
}

}  // namespace

TEST(HotKeys, Lookup) {
  auto dict = pl::makeDict();
  dict->set("49", Entry(true, 65535, 49, 0x100000));
  dict->set("50", Entry(false, 'a', 0, 0x70000));
  auto odd = Entry(true, 1, 2, 0);
  odd->setString("type", "custom");
  dict->set("51", odd);
  auto noValue = pl::makeDict();
  noValue->setBool("enabled", true);
  dict->set("52", noValue);
  auto shortParams = Entry(true, 1, 2, 0);
  shortParams->getDict("value")->getArray("parameters")->remove(2);
  dict->set("53", shortParams);
  dict->setString("54", "not an entry");
  auto emptyType = Entry(true, 0x263A, 300, 0x80000);
  emptyType->setString("type", "");
  dict->set("55", emptyType);

  HotKey h = Lookup(dict, 49);
  EXPECT_EQ(h.result, 1);
  EXPECT_TRUE(h.enabled);
  EXPECT_EQ(h.ch, 0);  // 65535 is "no character"
  EXPECT_EQ(h.key, 49);
  EXPECT_EQ(h.mods, 0x0100);
  h = Lookup(dict, 50);
  EXPECT_EQ(h.result, 1);
  EXPECT_FALSE(h.enabled);
  EXPECT_EQ(h.ch, 'a');
  EXPECT_EQ(h.mods, 0x1200);  // Caps Lock is not taken over
  h = Lookup(dict, 51);
  EXPECT_EQ(h.result, 0);
  EXPECT_TRUE(h.enabled);
  EXPECT_EQ(h.key, 255);
  EXPECT_EQ(Lookup(dict, 52).result, 0);
  EXPECT_TRUE(Lookup(dict, 52).enabled);
  EXPECT_EQ(Lookup(dict, 53).result, 0);
  EXPECT_EQ(Lookup(dict, 54).result, 0);
  h = Lookup(dict, 55);
  EXPECT_EQ(h.result, 1);
  EXPECT_EQ(h.ch, 0x263A);
  EXPECT_EQ(h.key, 300 & 0xFF);
  EXPECT_EQ(h.mods, 0x0800);
  h = Lookup(nullptr, 49);
  EXPECT_EQ(h.result, 0);
  EXPECT_FALSE(h.enabled);
  EXPECT_EQ(h.key, 255);
  EXPECT_EQ(GetSymbolicHotKey(dict.get(), 49, nullptr, nullptr, nullptr, nullptr), 1);

  EXPECT_EQ(ClassicModifiersFromEventFlags(0x1F0000, true), 0x1F00);
  EXPECT_EQ(ClassicModifiersFromEventFlags(0xFFFFFFFF & ~0x1F0000u, true), 0);
}

TEST(HotKeys, FactoryTablesCoverEveryHotKeyCommand) {
  EXPECT_STREQ(DefaultHotKeysResourceName(0x1000), "DefaultHotKeys109");
  EXPECT_STREQ(DefaultHotKeysResourceName(0x1060), "DefaultHotKeys106");
  EXPECT_STREQ(DefaultHotKeysResourceName(0x107F), "DefaultHotKeys107");
  EXPECT_STREQ(DefaultHotKeysResourceName(0x1080), "DefaultHotKeys108");
  EXPECT_STREQ(DefaultHotKeysResourceName(0x1090), "DefaultHotKeys109");
  EXPECT_STREQ(DefaultHotKeysResourceName(0x10A0), "DefaultHotKeys109");

  for (uint32_t version : {0x1060u, 0x1070u, 0x1080u, 0x1090u}) {
    const pl::DictRef table = LoadDefaultHotKeys(VANTREL_RESOURCE_DIR, version);
    ASSERT_TRUE(table) << std::hex << version;
    for (uint16_t code = 100; code <= 137; ++code) {
      if (code == 136) continue;
      const uint16_t number = HotKeyNumberForCommand(code);
      ASSERT_NE(number, 0) << code;
      EXPECT_EQ(Lookup(table, number).result, 1) << "hot key " << number << " on " << version;
    }
    // Spotlight is Command-Space everywhere; the screen picture Shift-Command-3.
    HotKey h = Lookup(table, 64);
    EXPECT_EQ(h.key, 49);
    EXPECT_EQ(h.mods, 0x0100);
    h = Lookup(table, 28);
    EXPECT_EQ(h.key, 20);
    EXPECT_EQ(h.mods, 0x0300);
    EXPECT_FALSE(Lookup(table, 163).enabled);
  }
  // All windows: F9 before Mission Control, Control-Up Arrow after.
  EXPECT_EQ(Lookup(LoadDefaultHotKeys(VANTREL_RESOURCE_DIR, 0x1060), 32).key, 101);
  HotKey mc = Lookup(LoadDefaultHotKeys(VANTREL_RESOURCE_DIR, 0x1070), 32);
  EXPECT_EQ(mc.key, 126);
  EXPECT_EQ(mc.mods, 0x1000);
  EXPECT_FALSE(LoadDefaultHotKeys("/nonexistent", 0x1090));
}

TEST(HotKeys, UserTableWinsAndDefaultsFillIn) {
  char tmpl[] = "/tmp/vantrel-hotkeys-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string home = tmpl;
  auto user = pl::makeDict();
  user->set("64", Entry(false, 32, 49, 0x100000));   // Spotlight switched off by the user
  user->set("28", Entry(true, 65535, 49, 0x140000));  // picture of the screen on Control-Command-Space
  auto noParams = pl::makeDict();
  noParams->setBool("enabled", false);
  user->set("52", noParams);                          // no parameters: the defaults decide
  user->set("60", Entry(true, 'x', 255, 0x40000));    // given by character only
  user->set("61", Entry(true, 65535, 255, 0x40000));  // neither key nor character
  auto file = pl::makeDict();
  file->set("AppleSymbolicHotKeys", user);
  ASSERT_TRUE(pl::writeXmlFile(*file, files::join(home, kSymbolicHotKeysFile)));

  ActionsWorld w(home);
  w.actions.start(w.host);
  ASSERT_TRUE(w.actions.hotKeyDict());
  ASSERT_TRUE(w.actions.defaultHotKeyDict());

  w.pressCommand(123);  // hot key 64: disabled by the user although the defaults enable it
  EXPECT_TRUE(w.host.controls.empty());
  w.pressCommand(119);  // hot key 28: the user's key code, the tables are not consulted
  w.pressCommand(100);  // hot key 52: from the defaults, Option-Command-D by character
  w.pressCommand(117);  // hot key 60: by character through the tables
  w.pressCommand(118);  // hot key 61: nothing to press
  w.pressCommand(102);  // hot key 53: F14 from the defaults, function flag dropped
  w.pressCommand(137);  // hot key 163: disabled in the defaults
  EXPECT_EQ(w.keystrokes(), (std::vector<int32_t>{0x11003100, 0x09000200, 0x10000700, 0x00006B00}));

  // No user file: everything comes from the defaults of the system version.
  ActionsWorld older("/nonexistent-home", VANTREL_RESOURCE_DIR, 0x1060);
  older.actions.start(older.host);
  EXPECT_FALSE(older.actions.hotKeyDict());
  older.pressCommand(104);  // hot key 32: F9 on that system
  older.pressCommand(107);  // hot key 73: Spaces, F8
  EXPECT_EQ(older.keystrokes(), (std::vector<int32_t>{0x00006500, 0x00006400}));
  // No tables at all: nothing.
  ActionsWorld bare("/nonexistent-home", "/nonexistent-resources");
  bare.actions.start(bare.host);
  for (int code = 100; code <= 137; ++code) bare.pressCommand(code);
  EXPECT_TRUE(bare.host.controls.empty());

  std::remove(files::join(home, kSymbolicHotKeysFile).c_str());
  rmdir((home + "/Library/Preferences").c_str());
  rmdir((home + "/Library").c_str());
  rmdir(tmpl);
}

TEST(HotKeys, CharacterIsUnicodeAndTypedThroughMacRoman) {
  char tmpl[] = "/tmp/vantrel-hotkeys-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string home = tmpl;
  // Hot keys without a key code, given by their character only (Control held).
  auto user = pl::makeDict();
  user->set("60", Entry(true, 'x', 65535, 0x40000));
  user->set("61", Entry(true, 0x00E9, 65535, 0x40000));  // é: Mac OS Roman 0x8E
  user->set("64", Entry(true, 0x20AC, 65535, 0x40000));  // €: Mac OS Roman 0xDB
  user->set("65", Entry(true, 0x00D7, 65535, 0x40000));  // ×: not in Mac OS Roman
  auto file = pl::makeDict();
  file->set("AppleSymbolicHotKeys", user);
  ASSERT_TRUE(pl::writeXmlFile(*file, files::join(home, kSymbolicHotKeysFile)));

  ActionsWorld w(home);
  w.host.setKey(0x8E, 19, 0x08);  // é on Option-2
  w.host.setKey(0xDB, 14, 0x08);  // € on Option-E
  w.host.setKey(0xE9, 1, 0);      // what 0xE9 means in Mac OS Roman (È) must not be typed
  w.host.setKey(0xD7, 2, 0);      // nor the Mac OS Roman 0xD7 (◊)
  w.actions.start(w.host);
  w.pressCommand(117);  // hot key 60
  w.pressCommand(118);  // hot key 61
  w.pressCommand(123);  // hot key 64
  w.pressCommand(124);  // hot key 65: no key types it, only the modifiers go
  EXPECT_EQ(w.keystrokes(),
            (std::vector<int32_t>{0x10000700, 0x18001300, 0x18000E00, 0x1000FF00}));

  std::remove(files::join(home, kSymbolicHotKeysFile).c_str());
  rmdir((home + "/Library/Preferences").c_str());
  rmdir((home + "/Library").c_str());
  rmdir(tmpl);
}
