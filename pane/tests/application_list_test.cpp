#include "pane/application_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using appchoice::ChosenApplication;

class ApplicationListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("vantrel-applist-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "apps");
  }
  void TearDown() override { fs::remove_all(root_); }

  std::string write(const fs::path& rel, const std::string& text) {
    const fs::path p = root_ / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
  std::string entry(const std::string& id, const std::string& body) {
    return write("apps/" + id + ".desktop", "[Desktop Entry]\nType=Application\n" + body);
  }
  sys::xdg::DesktopFolders folders(const std::string& locale = "en_US.UTF-8") const {
    sys::xdg::DesktopFolders f;
    f.applications = {(root_ / "apps").string()};
    f.locale = locale;
    return f;
  }
  static std::vector<std::string> names(const std::vector<ChosenApplication>& apps) {
    std::vector<std::string> out;
    for (const auto& a : apps) out.push_back(a.displayName);
    return out;
  }

  fs::path root_;
};

TEST_F(ApplicationListTest, DesktopApplicationsAreTheShownOnesByNameWithTheHelpersIdentity) {
  entry("org.example.Zeta", "Name=zeta\nExec=/usr/bin/zeta-app %U\nIcon=zeta\n");
  entry("alpha", "Name=Alpha\nName[de]=Alfa\nExec=env FOO=1 alpha-bin --x\n");
  entry("beta", "Name=beta\nExec=beta\n");
  entry("hidden-tool", "Name=Aardvark\nExec=aardvark\nNoDisplay=true\n");
  write("apps/broken.desktop", "this is not a key file\n");

  sys::xdg::ApplicationIndex index(folders("de_DE.UTF-8"));
  const std::vector<ChosenApplication> apps = appchoice::desktopApplications(index);
  EXPECT_EQ(names(apps), (std::vector<std::string>{"Alfa", "beta", "zeta"}));

  const ChosenApplication& alpha = apps[0];
  EXPECT_EQ(alpha.source, appchoice::Source::DesktopEntry);
  EXPECT_EQ(alpha.launchName, "alpha");
  ASSERT_TRUE(alpha.info);
  EXPECT_EQ(alpha.info->stringValue("CFBundleIdentifier"), "alpha");
  EXPECT_EQ(alpha.info->stringValue("CFBundleName"), "Alpha");  // not the localised name
  EXPECT_EQ(alpha.info->stringValue("CFBundleExecutable"), "alpha-bin");
  EXPECT_FALSE(alpha.info->contains("CFBundleSignature"));
  ASSERT_TRUE(alpha.localizedInfo);
  EXPECT_EQ(alpha.localizedInfo->stringValue("CFBundleName"), "Alfa");

  const pl::DictRef target = apps[2].targetAppValues();
  EXPECT_EQ(target->stringValue("app bundle id"), "org.example.Zeta");
  EXPECT_EQ(target->stringValue("app bundle name"), "zeta");
  EXPECT_EQ(target->stringValue("app executable"), "zeta-app");
  EXPECT_FALSE(target->contains("app signature"));
  EXPECT_EQ(apps[2].icon, "zeta");
}

TEST_F(ApplicationListTest, BundleFolderGivesItsInfoDictionaryAndLocalisedName) {
  const std::string bundle = (root_ / "Editor.app").string();
  write("Editor.app/Contents/Info.plist", R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>CFBundleIdentifier</key><string>com.example.editor</string>
<key>CFBundleName</key><string>Editor</string>
<key>CFBundleExecutable</key><string>editor</string>
<key>CFBundleSignature</key><integer>5</integer>
</dict></plist>)");
  write("Editor.app/Contents/Resources/de.lproj/InfoPlist.strings", "\"CFBundleName\" = \"Bearbeiter\";\n");

  const ChosenApplication german = appchoice::fromPath(bundle, "de_DE.UTF-8");
  EXPECT_EQ(german.source, appchoice::Source::BundleFolder);
  EXPECT_EQ(german.launchName, bundle);
  EXPECT_EQ(german.displayName, "Bearbeiter");
  const pl::DictRef target = german.targetAppValues();
  EXPECT_EQ(target->stringValue("app bundle id"), "com.example.editor");
  EXPECT_EQ(target->stringValue("app bundle name"), "Editor");
  EXPECT_EQ(target->stringValue("app executable"), "editor");
  // A signature that is not text is none: the profile keeps what it had.
  EXPECT_FALSE(target->contains("app signature"));

  const ChosenApplication english = appchoice::fromPath(bundle, "en_GB.UTF-8");
  EXPECT_FALSE(english.localizedInfo);
  EXPECT_EQ(english.displayName, "Editor");
}

TEST_F(ApplicationListTest, UnreadableChoicesHaveNoInformationAndNeverThrow) {
  write("Empty.app/Contents/Resources/x", "");
  write("Garbage.app/Contents/Info.plist", "<plist><dict><key>CFBundleName</key>");
  write("Array.app/Contents/Info.plist", R"(<plist version="1.0"><array><string>x</string></array></plist>)");
  const std::string brokenEntry = write("elsewhere/broken.desktop", "Name=No group\n");
  const std::string link = write("elsewhere/site.desktop", "[Desktop Entry]\nType=Link\nName=Site\nURL=http://x\n");

  for (const std::string& path : {(root_ / "Empty.app").string(), (root_ / "Garbage.app").string(),
                                  (root_ / "Array.app").string(), (root_ / "Missing.app").string(), brokenEntry,
                                  link}) {
    SCOPED_TRACE(path);
    const ChosenApplication app = appchoice::fromPath(path, "C");
    EXPECT_FALSE(app.info);
    EXPECT_TRUE(app.targetAppValues()->empty());
    EXPECT_FALSE(app.displayName.empty());  // the file name, so a list can still show it
  }
}

TEST_F(ApplicationListTest, DesktopEntryFileOutsideTheFoldersIsKnownByItsFileName) {
  const std::string path = write("elsewhere/org.example.Tool.desktop", "[Desktop Entry]\nType=Application\n"
                                                                       "Name=Tool\nName[de]=Werkzeug\nExec=\"/opt/my tools/tool\" %f\n");
  const ChosenApplication app = appchoice::fromPath(path, "de_AT.UTF-8");
  ASSERT_TRUE(app.info);
  EXPECT_EQ(app.info->stringValue("CFBundleIdentifier"), "org.example.Tool");
  EXPECT_EQ(app.info->stringValue("CFBundleExecutable"), "tool");
  EXPECT_EQ(app.displayName, "Werkzeug");
  EXPECT_EQ(app.launchName, path);
}

TEST(ApplicationChoices, SimulatedApplicationsAndSearch) {
  std::vector<ChosenApplication> apps = {
      appchoice::simulatedApplication("com.example.mail", "mail", "mailer", "MAIL", "/Applications/Mail.app/"),
      appchoice::simulatedApplication("com.example.editor", "Editor", "editor", "", ""),
      appchoice::simulatedApplication("", "", "daemon", "", ""),
  };
  appchoice::sortByName(apps);
  EXPECT_EQ(apps[0].displayName, "daemon");
  EXPECT_EQ(apps[1].displayName, "Editor");
  EXPECT_EQ(apps[2].displayName, "mail");
  EXPECT_EQ(apps[2].targetAppValues()->stringValue("app signature"), "MAIL");
  EXPECT_FALSE(apps[1].targetAppValues()->contains("app signature"));
  EXPECT_EQ(apps[1].launchName, "Editor");

  EXPECT_TRUE(appchoice::matchesQuery(apps[2], ""));
  EXPECT_TRUE(appchoice::matchesQuery(apps[2], "MAIL"));
  EXPECT_TRUE(appchoice::matchesQuery(apps[2], "example.ma"));  // the identifier
  EXPECT_TRUE(appchoice::matchesQuery(apps[2], "mailer"));       // the executable
  EXPECT_FALSE(appchoice::matchesQuery(apps[2], "editor"));
}

}  // namespace
