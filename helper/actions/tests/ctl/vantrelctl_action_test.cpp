// vantrelctl action: what one button command would do, as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/vantrelctl/tests/run_vantrelctl.h"

namespace {

using ctltest::CtlRun;

CtlRun run(const std::string& args) { return ctltest::runVantrelctl("action " + args); }

TEST(VantrelctlAction, KeystrokesFollowTheLayoutAskedFor) {
  const std::string home = "--home /nonexistent-home --version 0x1090";
  CtlRun r = run("49 --layout de " + home);  // Command-Z: "z" lies on key 16 there
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  ASSERT_EQ(j["controls"].size(), 1u);
  EXPECT_EQ(j["controls"][0]["control"], "VNTk");
  EXPECT_EQ(j["controls"][0]["param"], "0x01001000");

  r = run("72 --str ' www.example.com ' " + home);
  ASSERT_EQ(r.status, 0);
  j = r.json();
  ASSERT_EQ(j["workspace"].size(), 1u);
  EXPECT_EQ(j["workspace"][0]["argument"], "http://www.example.com");

  // A layout that does not exist is refused rather than typing every character with no key.
  for (const char* bad : {"49 --layout no-such-layout", "49 --layout ''", "49 --layout :x",
                          "", "49 50", "49 --bogus"})
    EXPECT_EQ(run(std::string(bad) + " " + home).status, 2) << bad;
}

}  // namespace
