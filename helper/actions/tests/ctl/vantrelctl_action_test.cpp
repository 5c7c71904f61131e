// vantrelctl action: what one button command would do, as a user runs it.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct CtlRun {
  int status = -1;
  std::string out;
  nlohmann::json json() const { return nlohmann::json::parse(out); }
};

CtlRun run(const std::string& args) {
  CtlRun r;
  const std::string cmd = std::string(VANTRELCTL) + " action " + args + " 2>/dev/null";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

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
