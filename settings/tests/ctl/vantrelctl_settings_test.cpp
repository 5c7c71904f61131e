// vantrelctl's settings commands, run as a user runs them: one JSON object on standard output,
// a message on standard error and a non-zero status for bad input.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "settings/models.h"
#include "tools/vantrelctl/tests/run_vantrelctl.h"

namespace {

using ctltest::CtlRun;

// Runs vantrelctl; `errorsToo` captures standard error instead of standard output.
CtlRun run(const std::string& args, const std::string& home = "/nonexistent-home", bool errorsToo = false) {
  return ctltest::runVantrelctl(args, "HOME=" + home, errorsToo);
}

std::string hex(unsigned v) {
  char b[16];
  std::snprintf(b, sizeof b, "0x%04X", v);
  return b;
}

TEST(Vantrelctl, ModelsAndFactoryCheck) {
  CtlRun r = run("models");
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  EXPECT_EQ(j["vendor"], models::kVendorID);
  ASSERT_EQ(j["products"].size(), 7u);
  EXPECT_EQ(j["products"][6], models::kDev7SecondProductID);
  EXPECT_EQ(j["names"].size(), 6u);

  r = run("check");  // no user file under this HOME: the factory file is checked
  ASSERT_EQ(r.status, 0);
  j = r.json();
  EXPECT_EQ(j["kind"], "factory");
  EXPECT_EQ(j["helper_uses"], true);
  EXPECT_EQ(j["pane_uses"], true);
  EXPECT_EQ(j["version"], 3);
  EXPECT_EQ(j["profiles"], 7);
  EXPECT_EQ(j["all_valid"], true);
}

TEST(Vantrelctl, CheckWithoutFileReportsTheUsersFileEvenWhenUnusable) {
  const auto home = std::filesystem::temp_directory_path() / ("vantrelctl-home-" + std::to_string(::getpid()));
  const auto prefs = home / "Library/Preferences";
  std::filesystem::create_directories(prefs);
  std::ofstream(prefs / "com.halvorn.vantrel.settings.plist")
      << "<plist version=\"1.0\"><dict><key>version</key><integer>2</integer>"
         "<key>devices</key><array><dict/></array></dict></plist>";
  CtlRun r = run("check", home.string());
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  EXPECT_EQ(j["kind"], "user");
  EXPECT_EQ(j["helper_uses"], false);
  EXPECT_EQ(j["pane_uses"], false);
  EXPECT_EQ(j["version"], 2);
  // match and record go by what the helper uses: the factory file.
  r = run("match --vendor 1 --product 2 --release 3", home.string());
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.json()["settings"]["kind"], "factory");
  std::filesystem::remove_all(home);
}

TEST(Vantrelctl, MatchAndRecord) {
  const std::string dev3 = " --vendor " + std::to_string(models::kVendorID) + " --product " +
                           hex(models::productOfDevice(3)) + " --release 0x0105";
  CtlRun r = run("match" + dev3);
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  EXPECT_EQ(j["result"], true);
  EXPECT_EQ(j["best"], 2);
  EXPECT_EQ(j["global"], 2);

  r = run("record" + dev3 + " --bundle-id com.example.app");
  ASSERT_EQ(r.status, 0);
  j = r.json();
  EXPECT_EQ(j["ok"], true);
  const std::string rec = j["record"];
  ASSERT_EQ(rec.size(), 352u);
  EXPECT_EQ(rec.substr(0, 4), "0114") << "enabled, 400 dpi";
  EXPECT_EQ(rec.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_EQ(j["decoded"]["button_count"], 5);

  // An unknown device: nothing matches, and all 176 bytes are still printed.
  r = run("record --vendor 1 --product 2 --release 3");
  ASSERT_EQ(r.status, 0);
  j = r.json();
  EXPECT_EQ(j["ok"], false);
  EXPECT_EQ(j["best"], -1);
  EXPECT_EQ(j["record"], std::string(352, '0'));
}

TEST(Vantrelctl, BadInputFailsCleanly) {
  EXPECT_EQ(run("match --vendor 1 --product 2").status, 2);
  EXPECT_EQ(run("match --vendor 0x --product 2 --release 1").status, 2);
  EXPECT_EQ(run("match --vendor 65536 --product 2 --release 1").status, 2);
  EXPECT_EQ(run("match --vendor 1 --product 2 --release 1 --colour red").status, 2);
  EXPECT_EQ(run("record --settings /nonexistent.plist --vendor 1 --product 2 --release 1").status, 2);
  EXPECT_EQ(run("check /nonexistent.plist").status, 2);
  EXPECT_TRUE(run("check /nonexistent.plist").out.empty());
  // The message says why.
  EXPECT_NE(run("check /nonexistent.plist", "/nonexistent-home", true).out.find("No such file"), std::string::npos);
  const auto folder = std::filesystem::temp_directory_path().string();
  EXPECT_NE(run("match --settings " + folder + " --vendor 1 --product 2 --release 3", "/nonexistent-home", true)
                .out.find("is a folder"),
            std::string::npos);

  // A file that is not a property list is reported, not refused.
  const auto path = std::filesystem::temp_directory_path() / ("vantrelctl-" + std::to_string(::getpid()));
  std::ofstream(path) << "hello";
  // One larger than any settings file is refused, as the programs refuse it, unread.
  std::filesystem::resize_file(path, 3ULL << 30);
  EXPECT_NE(run("check " + path.string(), "/nonexistent-home", true).out.find("larger than any settings file"),
            std::string::npos);
  std::filesystem::resize_file(path, 5);
  CtlRun r = run("check " + path.string());
  std::filesystem::remove(path);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.json()["parsed"], false);
  EXPECT_EQ(r.json()["helper_uses"], false);
}

TEST(Vantrelctl, TextThatIsNotUtf8IsPrintedWithReplacementCharacters) {
  // A folder whose name has the byte 0xFF, holding a file whose profile name has a lone 0xE9.
  const auto folder = std::filesystem::temp_directory_path() / ("vantrelctl-\xff-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const auto file = folder / "settings.plist";
  std::ofstream(file) << "<plist version=\"1.0\"><dict><key>version</key><integer>3</integer>"
                         "<key>devices</key><array><dict><key>settings name</key><string>Caf\xe9</string>"
                         "</dict></array></dict></plist>";
  const CtlRun r = run("check '" + file.string() + "'");
  std::filesystem::remove_all(folder);
  ASSERT_EQ(r.status, 0) << "the command worked: printing it must not fail it";
  const auto j = r.json();
  EXPECT_EQ(j["validation"][0]["name"], "Caf\uFFFD");
  EXPECT_NE(j["path"].get<std::string>().find("vantrelctl-\uFFFD-"), std::string::npos) << j["path"];
  EXPECT_EQ(j["profiles"], 1);
}

// The command table as the tool lists it: one code, the whole table, bad codes refused.
TEST(Vantrelctl, CommandTable) {
  CtlRun r = run("commands 30");
  ASSERT_EQ(r.status, 0);
  auto j = r.json();
  EXPECT_EQ(j["kind"], "keystroke by character");
  EXPECT_EQ(j["name"], "Back");
  EXPECT_EQ(j["character"], '[');
  EXPECT_EQ(j["otherCharacter"], 0x1C);
  EXPECT_EQ(j["driver"], false);
  EXPECT_FALSE(j.contains("nameKey106"));
  EXPECT_EQ(run("commands 104").json()["nameKey106"], "command.mission-control.10.6");

  r = run("commands");
  ASSERT_EQ(r.status, 0);
  j = r.json()["commands"];
  ASSERT_EQ(j.size(), 185u);
  EXPECT_EQ(j[20]["keys"], nlohmann::json::array({"cnt"}));
  EXPECT_EQ(j.back()["code"], 200);
  EXPECT_EQ(j.back()["kind"], "global fallback");

  EXPECT_EQ(run("commands 250").json()["kind"], "none");
  EXPECT_EQ(run("commands 70000").status, 2);
  EXPECT_EQ(run("commands 1 2").status, 2);
}

}  // namespace
