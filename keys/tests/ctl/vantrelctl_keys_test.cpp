// vantrelctl's keyboard commands, run as a user runs them: one JSON object on standard output,
// a message on standard error and a non-zero status for bad arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/vantrelctl/tests/run_vantrelctl.h"

namespace {

using ctltest::CtlRun;

CtlRun run(const std::string& args) { return ctltest::runVantrelctl(args, "LANG=C LC_ALL= LC_MESSAGES="); }

std::string name(const std::string& args) {
  const CtlRun r = run("keyname " + args);
  EXPECT_EQ(r.status, 0) << args;
  return r.status == 0 ? r.json().at("name").get<std::string>() : std::string();
}

TEST(VantrelctlKeys, TablesOfALayout) {
  CtlRun r = run("keys --layout de");
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  EXPECT_EQ(j["layout"], "de");
  ASSERT_EQ(j["keycode"].size(), 256u);
  ASSERT_EQ(j["modifiers"].size(), 256u);
  ASSERT_EQ(j["keychar"].size(), 128u);
  EXPECT_EQ(j["keycode"]['z'], 16);   // z lies where a U.S. keyboard has y
  EXPECT_EQ(j["keycode"]['Z'], 16);
  EXPECT_EQ(j["modifiers"]['Z'], 0x02);
  EXPECT_EQ(j["keycode"]['1'], 18);   // the keypad only when asked for
  EXPECT_EQ(j["keychar"][6], 'y');
  EXPECT_EQ(j["keychar"][127], 0);

  r = run("keys --layout us:dvorak --keypad");
  ASSERT_EQ(r.status, 0);
  j = r.json();
  EXPECT_EQ(j["layout"], "us:dvorak");
  EXPECT_EQ(j["keycode"]['1'], 83);

  for (const char* bad : {"keys --layout no-such-layout", "keys --layout ''", "keys --layout :x",
                          "keys --layout", "keys extra", "keys --bogus"})
    EXPECT_EQ(run(bad).status, 2) << bad;
}

TEST(VantrelctlKeys, KeyNames) {
  EXPECT_EQ(name("--code 0 --mods 0x0300 --upper --layout us"), "CommandShiftA");
  EXPECT_EQ(name("--code 0 --mods 0x1800 --sep + --keysep + --layout us"), "Control+Option+a");
  EXPECT_EQ(name("--code 83 --mods 0 --sep + --keysep + --layout us"), "Num+1");
  EXPECT_EQ(name("--code 255 --mods 0x0100 --sep + --keysep +"), "Command");
  EXPECT_EQ(name("--code 255 --mods 0"), "(none)");
  EXPECT_EQ(name("--code 6 --mods 0 --layout de --upper"), "Y");
  EXPECT_EQ(name("--code 255 --mods 0 --lang de"), "(keine)");
  EXPECT_EQ(name("--code 49 --mods 0x1000 --lang de --sep + --keysep +"), "⌃+Leertaste");

  // A layout that does not exist is refused, not answered with "???" for every key.
  for (const char* bad : {"--code 0 --layout no-such-layout", "--code 0 --layout ''",
                          "--mods 3", "--code 256", "--code x", "--code 0 --mods 65536",
                          "--code 0 extra", "--code 0 --bogus"})
    EXPECT_EQ(run(std::string("keyname ") + bad).status, 2) << bad;
}

}  // namespace
