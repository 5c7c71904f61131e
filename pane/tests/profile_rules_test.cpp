#include "pane/profile_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

pl::DictRef profile(const std::string& name, int64_t product, int64_t versionMin, const std::string& bundleID) {
  pl::DictRef p = pl::makeDict();
  p->setString("settings name", name);
  pl::DictRef device = pl::makeDict();
  device->setInteger("device product id", product);
  device->setInteger("device version min", versionMin);
  p->set("target device", device);
  pl::DictRef app = pl::makeDict();
  app->setString("app bundle id", bundleID);
  app->setString("app bundle name", "");
  app->setString("app executable", "");
  app->setString("app signature", bundleID.empty() ? "" : "OLDS");
  p->set("target app", app);
  return p;
}

pl::DictRef device(int64_t product, int64_t versionMin) {
  pl::DictRef d = pl::makeDict();
  d->setInteger("device product id", product);
  if (versionMin) d->setInteger("device version min", versionMin);
  return d;
}

TEST(ProfileMenu, GlobalFirstThenByNameWithoutCaseForTheSameProductAndRelease) {
  pl::ArrayRef settings = pl::makeArray();
  settings->append(profile("zeta", 0x1234, 0, "z"));
  settings->append(profile("Alpha", 0x1234, 0, "a"));
  settings->append(profile("Other release", 0x1234, 0x0107, "x"));
  settings->append(profile("Other product", 0x4321, 0, "x"));
  settings->append(profile("beta", 0x1234, 0, "b1"));
  settings->append(profile("All Applications", 0x1234, 0, ""));
  settings->append(profile("beta", 0x11234, 0, "b2"));  // same product as 16-bit value
  settings->append(pl::makeString("not a profile"));

  const auto menu = profiles::profilesForMenu(settings, device(0x1234, 0));
  std::vector<std::string> names;
  for (const auto& p : menu) names.push_back(p->stringValue("settings name"));
  EXPECT_EQ(names, (std::vector<std::string>{"All Applications", "Alpha", "beta", "beta", "zeta"}));
  EXPECT_EQ(menu[0], settings->dictAt(5));  // the array's own objects, not copies
  EXPECT_EQ(menu[2]->getDict("target app")->stringValue("app bundle id"), "b1");  // ties in array order

  const auto release = profiles::profilesForMenu(settings, device(0x1234, 0x0107));
  ASSERT_EQ(release.size(), 1u);
  EXPECT_EQ(release[0]->stringValue("settings name"), "Other release");
  EXPECT_TRUE(profiles::profilesForMenu(settings, nullptr).empty());
  EXPECT_TRUE(profiles::profilesForMenu(nullptr, device(0x1234, 0)).empty());
}

TEST(AddProfile, CopiesTheShownProfileAndTakesWhatTheApplicationTells) {
  pl::DictRef shown = profile("Mail", 0x1234, 0, "com.example.mail");
  shown->setBool("driver enabled", false);
  shown->set("buttons", pl::makeDict());
  shown->getDict("buttons")->setInteger("0", 7);

  const auto editor = appchoice::simulatedApplication("com.example.editor", "Editor", "editor", "", "");
  pl::DictRef added = profiles::newProfileForApplication(shown, editor);
  ASSERT_TRUE(added);
  EXPECT_TRUE(added->boolValue("driver enabled"));
  EXPECT_EQ(added->stringValue("settings name"), "Editor");
  const pl::DictRef app = added->getDict("target app");
  EXPECT_EQ(app->stringValue("app bundle id"), "com.example.editor");
  EXPECT_EQ(app->stringValue("app executable"), "editor");
  EXPECT_EQ(app->stringValue("app signature"), "OLDS");  // no signature: inherited
  // A deep copy: the shown profile is untouched.
  EXPECT_NE(added->getDict("buttons"), shown->getDict("buttons"));
  EXPECT_EQ(shown->getDict("target app")->stringValue("app bundle id"), "com.example.mail");
  EXPECT_FALSE(shown->boolValue("driver enabled"));

  // The localised name wins; without names the executable names the profile.
  appchoice::ChosenApplication localised = editor;
  localised.localizedInfo = pl::makeDict();
  localised.localizedInfo->setString("CFBundleName", "Bearbeiter");
  EXPECT_EQ(profiles::newProfileForApplication(shown, localised)->stringValue("settings name"), "Bearbeiter");
  const auto nameless = appchoice::simulatedApplication("", "", "daemon", "", "");
  EXPECT_EQ(profiles::newProfileForApplication(shown, nameless)->stringValue("settings name"), "daemon");

  // A choice without information keeps the inherited name and identity.
  appchoice::ChosenApplication broken;
  pl::DictRef same = profiles::newProfileForApplication(shown, broken);
  EXPECT_EQ(same->stringValue("settings name"), "Mail");
  EXPECT_TRUE(pl::isEqual(same->get("target app"), shown->get("target app")));

  EXPECT_FALSE(profiles::newProfileForApplication(nullptr, editor));
}

TEST(FactoryRestore, ReplacesButtonsOptionsAndParamOnly) {
  pl::DictRef current = profile("Mail", 0x1234, 0, "com.example.mail");
  current->set("buttons", pl::makeDict());
  current->set("options", pl::makeDict());
  current->set("param", pl::makeDict());
  pl::DictRef factory = profile("All Applications", 0x1234, 0, "");
  factory->set("buttons", pl::makeDict());
  factory->getDict("buttons")->setInteger("0", 1);
  factory->set("options", pl::makeDict());
  factory->getDict("options")->setInteger("speed", 400);

  ASSERT_TRUE(profiles::restoreFactorySettings(current, factory));
  EXPECT_EQ(current->getDict("buttons")->integerValue("0"), 1);
  EXPECT_NE(current->getDict("buttons"), factory->getDict("buttons"));
  EXPECT_EQ(current->getDict("options")->integerValue("speed"), 400);
  EXPECT_FALSE(current->contains("param"));  // the factory profile has none
  EXPECT_EQ(current->stringValue("settings name"), "Mail");
  EXPECT_EQ(current->getDict("target app")->stringValue("app bundle id"), "com.example.mail");
  EXPECT_FALSE(profiles::restoreFactorySettings(current, nullptr));
}

TEST(SupportInformation, DevicesInListOrderWithFourDigitHexAndTerminatedNames) {
  protocol::DeviceList list;
  list.count = 2;
  list.devices[0].vendorID = 0x47d;
  list.devices[0].productID = 0x2048;
  list.devices[0].productVers = 0x0105;
  std::strcpy(list.devices[0].vendorName.data(), "Halvorn");
  std::strcpy(list.devices[0].productName.data(), "Orbit \xC3\xBC");
  list.devices[1].productID = 0xABCD;
  list.devices[1].productName.fill('x');  // no NUL at all: all 128 characters
  list.devices[2].productID = 0x9999;     // beyond count

  const pl::DictRef support = profiles::supportDictionary({"today", "1.2.3", "Linux 6.1"}, list);
  EXPECT_EQ(support->stringValue("architecture"), "x64");
  EXPECT_EQ(support->stringValue("driver version"), "1.2.3");
  EXPECT_EQ(support->stringValue("mac os version"), "Linux 6.1");
  const pl::ArrayRef devices = support->getArray("connected devices");
  ASSERT_EQ(devices->size(), 2u);
  EXPECT_EQ(devices->dictAt(0)->stringValue("vendor id"), "047d");
  EXPECT_EQ(devices->dictAt(0)->stringValue("product id"), "2048");
  EXPECT_EQ(devices->dictAt(0)->stringValue("product version"), "0105");
  EXPECT_EQ(devices->dictAt(0)->stringValue("product name"), "Orbit \xC3\xBC");
  EXPECT_EQ(devices->dictAt(1)->stringValue("product id"), "abcd");
  EXPECT_EQ(devices->dictAt(1)->stringValue("product name").size(), 128u);

  list.count = 0;
  EXPECT_TRUE(profiles::supportDictionary({}, list)->getArray("connected devices")->empty());
  list.count = 40;  // more than the list holds: only the records that exist
  EXPECT_EQ(profiles::supportDictionary({}, list)->getArray("connected devices")->size(),
            protocol::kMaxListedDevices);
}

class SupportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = (fs::temp_directory_path() / ("vantrel-support-" + std::to_string(::getpid()) + "-" +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
    fs::remove_all(home_);
    fs::create_directories(home_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(home_ + "/ro", fs::perms::owner_all, ec);
    fs::remove_all(home_);
  }
  std::string home_;
};

TEST_F(SupportFileTest, DesktopFolderFromUserDirsElseDesktopUnderHome) {
  EXPECT_EQ(profiles::desktopFolder(home_, ""), home_ + "/Desktop");
  fs::create_directories(home_ + "/.config");
  std::ofstream(home_ + "/.config/user-dirs.dirs") << "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n";
  EXPECT_EQ(profiles::desktopFolder(home_, ""), home_ + "/Schreibtisch");
  EXPECT_EQ(profiles::desktopFolder(home_, "relative/config"), home_ + "/Schreibtisch");
  std::ofstream(home_ + "/.config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"/srv/desk\"\n";
  EXPECT_EQ(profiles::desktopFolder(home_, ""), "/srv/desk");
  std::ofstream(home_ + "/.config/user-dirs.dirs") << "XDG_DESKTOP_DIR=\"relative\"\nXDG_DESKTOP_DIR=\"$HOMEX\n";
  EXPECT_EQ(profiles::desktopFolder(home_, ""), home_ + "/Desktop");
}

TEST_F(SupportFileTest, WritesPrefsWithSupportAndNeverLeavesTheKeyBehind) {
  pl::DictRef prefs = pl::makeDict();
  prefs->set("devices", pl::makeArray());
  pl::DictRef support = pl::makeDict();
  support->setString("architecture", "x64");

  // A desktop folder that does not exist is made.
  const std::string path = home_ + "/Desktop/" + profiles::kSupportFileName;
  ASSERT_TRUE(profiles::writeSupportFile(prefs, support, path));
  EXPECT_FALSE(prefs->contains("support"));
  const pl::DictRef written = pl::readDictFile(path);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->getDict("support")->stringValue("architecture"), "x64");
  EXPECT_TRUE(written->contains("devices"));

  if (::geteuid() != 0) {  // root writes anywhere
    fs::create_directories(home_ + "/ro");
    fs::permissions(home_ + "/ro", fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(profiles::writeSupportFile(prefs, support, home_ + "/ro/" + profiles::kSupportFileName));
    EXPECT_FALSE(prefs->contains("support"));
  }
  // A folder path that is a file cannot hold it either.
  std::ofstream(home_ + "/file") << "x";
  EXPECT_FALSE(profiles::writeSupportFile(prefs, support, home_ + "/file/" + profiles::kSupportFileName));
  EXPECT_FALSE(prefs->contains("support"));
}

TEST(Links, ByTag) {
  EXPECT_EQ(profiles::linkForTag(1).kind, profiles::LinkKind::URL);
  EXPECT_EQ(profiles::linkForTag(1).target, profiles::kProductPageAddress);
  EXPECT_EQ(profiles::linkForTag(2).target, profiles::kSupportSiteAddress);
  EXPECT_EQ(profiles::linkForTag(100).kind, profiles::LinkKind::File);
  for (int tag : {0, 3, 99, 101, -1}) EXPECT_EQ(profiles::linkForTag(tag).kind, profiles::LinkKind::None);
}

}  // namespace
