#include "settings/prefs_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

struct RecordingSender : CommandSender {
  std::vector<std::string> commands;
  void postCommand(const pl::Dictionary& command) override { commands.push_back(command.stringValue("command")); }
};

pl::DictRef profile(int64_t product, int64_t vmin, int64_t vmax, bool withParam) {
  auto p = pl::makeDict();
  auto dev = pl::makeDict();
  dev->setInteger("device product id", product);
  dev->setInteger("device version min", vmin);
  dev->setInteger("device version max", vmax);
  p->set("target device", dev);
  if (withParam) {
    auto param = pl::makeDict();
    param->setInteger("triggerTime", 7);
    p->set("param", param);
  }
  return p;
}

pl::DictRef settings(int64_t version, std::vector<pl::DictRef> profiles) {
  auto d = pl::makeDict();
  d->setInteger("version", version);
  auto a = pl::makeArray();
  for (auto& p : profiles) a->append(p);
  d->set("devices", a);
  return d;
}

// A binary property list whose dictionary key holds a NUL character: libplist would abort on
// reading it back, so it must count as unreadable.
const std::string kNulKeyBinary = [] {
  const unsigned char b[] = {
      0x62, 0x70, 0x6c, 0x69, 0x73, 0x74, 0x30, 0x30, 0xd2, 0x01, 0x02, 0x03, 0x07, 0x57, 0x64, 0x65, 0x76,
      0x69, 0x63, 0x65, 0x73, 0x57, 0x76, 0x65, 0x72, 0x73, 0x69, 0x6f, 0x6e, 0xa1, 0x04, 0xd1, 0x05, 0x06,
      0x53, 0x61, 0x00, 0x62, 0x10, 0x01, 0x10, 0x03, 0x08, 0x0d, 0x15, 0x1d, 0x1f, 0x22, 0x26, 0x28, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00,
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x2a};
  return std::string(reinterpret_cast<const char*>(b), sizeof b);
}();

class PrefsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("vantrel-prefs-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    userPath = (dir / "settings.plist").string();
    factoryPath = (dir / "factory.plist").string();
    auto snippets = pl::makeArray();
    snippets->append(pl::makeDict());
    factory = settings(3, {profile(1, 0, 0, true), profile(2, 0x107, 0, true)});
    factory->set("snippets", snippets);
    ASSERT_TRUE(pl::writeXmlFile(*factory, factoryPath));
  }
  void TearDown() override { fs::remove_all(dir); }
  void writeRaw(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

  fs::path dir;
  std::string userPath, factoryPath;
  pl::DictRef factory;
  RecordingSender sender;
};

TEST_F(PrefsFile, HelperReadsUserFileOrFactory) {
  EXPECT_EQ(VantrelReadHelperPrefs(userPath, factoryPath)->getArray("devices")->size(), 2u);
  ASSERT_TRUE(pl::writeXmlFile(*settings(3, {}), userPath));
  auto d = VantrelReadHelperPrefs(userPath, factoryPath);
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->getArray("devices")->empty()) << "the helper takes a version 3 file even without profiles";
  ASSERT_TRUE(pl::writeXmlFile(*settings(2, {profile(9, 0, 0, false)}), userPath));
  EXPECT_EQ(VantrelReadHelperPrefs(userPath, factoryPath)->getArray("devices")->size(), 2u);
  writeRaw(userPath, "garbage");
  EXPECT_TRUE(VantrelReadHelperPrefs(userPath, factoryPath));
  writeRaw(userPath, kNulKeyBinary);
  EXPECT_EQ(VantrelReadHelperPrefs(userPath, factoryPath)->getArray("devices")->size(), 2u);
  EXPECT_FALSE(VantrelReadHelperPrefs(userPath, (dir / "none").string()));
  EXPECT_TRUE(fs::exists(userPath)) << "the helper never writes";
}

TEST_F(PrefsFile, AFileLargerThanAnyThePanelWritesIsRefusedUnreadByBothPrograms) {
  // A usable file padded to exactly the limit is read; one byte more and it is not.
  std::string xml = pl::toXml(*settings(3, {profile(9, 0, 0, false)})).value();
  xml.resize(kMaxSettingsFileBytes, '\n');
  writeRaw(userPath, xml);
  ASSERT_EQ(VantrelReadHelperPrefs(userPath, factoryPath)->getArray("devices")->size(), 1u);
  xml.push_back('\n');
  writeRaw(userPath, xml);
  EXPECT_EQ(VantrelReadHelperPrefs(userPath, factoryPath)->getArray("devices")->size(), 2u)
      << "the factory settings instead";
  EXPECT_EQ(fs::file_size(userPath), kMaxSettingsFileBytes + 1) << "the helper leaves it alone";
  EXPECT_EQ(VantrelReadSettingsFile(userPath), nullptr);

  // For the panel it is unusable like any other: kept aside, whole, and the factory file written.
  PaneLoadReport report;
  ASSERT_TRUE(VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report));
  EXPECT_TRUE(report.wroteFactory);
  ASSERT_EQ(report.backupPath, userPath + ".bak");
  EXPECT_EQ(fs::file_size(userPath + ".bak"), kMaxSettingsFileBytes + 1);
}

TEST_F(PrefsFile, PaneWritesFactoryWhenNoFile) {
  PaneLoadReport report;
  auto d = VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  ASSERT_TRUE(d);
  EXPECT_TRUE(report.wroteFactory);
  EXPECT_FALSE(report.backupPath);
  EXPECT_EQ(sender.commands, std::vector<std::string>{"update"});
  EXPECT_TRUE(pl::isEqual(pl::readFile(userPath), factory));
  EXPECT_FALSE(fs::exists(userPath + ".bak"));
}

TEST_F(PrefsFile, PaneKeepsUnusableFilesAsBackups) {
  const std::string old = pl::toXml(*settings(2, {profile(1, 0, 0, false)})).value();
  writeRaw(userPath, old);
  writeRaw(userPath + ".bak", "earlier backup");
  PaneLoadReport report;
  auto d = VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  ASSERT_TRUE(d);
  EXPECT_EQ(report.backupPath, userPath + ".bak.1");
  EXPECT_EQ(files::readWhole(userPath + ".bak").value(), "earlier backup");
  EXPECT_EQ(files::readWhole(userPath + ".bak.1").value(), old);
  EXPECT_TRUE(pl::isEqual(pl::readFile(userPath), factory));

  // Unparsable, and version 3 with no profiles: both kept, each under the next free name.
  writeRaw(userPath, "not a plist");
  VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  EXPECT_EQ(report.backupPath, userPath + ".bak.2");
  ASSERT_TRUE(pl::writeXmlFile(*settings(3, {}), userPath));
  VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  EXPECT_EQ(report.backupPath, userPath + ".bak.3");
  EXPECT_EQ(files::readWhole(userPath + ".bak.2").value(), "not a plist");
  writeRaw(userPath, kNulKeyBinary);
  VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  EXPECT_EQ(files::readWhole(userPath + ".bak.4").value(), kNulKeyBinary);
  EXPECT_EQ(sender.commands.size(), 4u);
}

TEST_F(PrefsFile, PaneMergesFactoryWithoutWriting) {
  auto mine = profile(1, 0, 0, false);
  mine->setString("settings name", "mine");
  auto otherMax = profile(2, 0x107, 0x200, false);  // same product and minimum, other maximum
  ASSERT_TRUE(pl::writeXmlFile(*settings(3, {mine, otherMax}), userPath));
  const auto before = files::readWhole(userPath);
  PaneLoadReport report;
  auto d = VantrelLoadPanePrefs(userPath, factoryPath, &sender, &report);
  ASSERT_TRUE(d);
  EXPECT_TRUE(report.usedUserFile);
  EXPECT_FALSE(report.wroteFactory);
  auto devices = d->getArray("devices");
  ASSERT_EQ(devices->size(), 3u);
  EXPECT_EQ(devices->dictAt(0)->stringValue("settings name"), "mine");
  EXPECT_EQ(devices->dictAt(0)->getDict("param")->integerValue("triggerTime"), 7);
  EXPECT_FALSE(devices->dictAt(1)->contains("param"));
  EXPECT_EQ(devices->dictAt(2)->getDict("target device")->integerValue("device version max"), 0);
  EXPECT_TRUE(d->getArray("snippets"));
  EXPECT_TRUE(sender.commands.empty());
  EXPECT_EQ(files::readWhole(userPath), before);

  // Without a factory file the user's file is used as it is; with neither, nothing.
  EXPECT_EQ(VantrelLoadPanePrefs(userPath, (dir / "none").string(), &sender)->getArray("devices")->size(), 2u);
  EXPECT_FALSE(VantrelLoadPanePrefs((dir / "none1").string(), (dir / "none2").string(), &sender));
}

TEST(PrefsMerge, FactoryProfilesAppendedEarlierCountAsTheUsers) {
  // Two factory profiles for one triple: the first is appended, the second then finds it and
  // only lends it its "param".
  auto user = settings(3, {profile(1, 0, 0, false)});
  auto factory = settings(3, {profile(5, 0, 0, false), profile(5, 0, 0, true), profile(1, 0, 0, true)});
  VantrelMergeFactoryPrefs(*user, factory);
  auto devices = user->getArray("devices");
  ASSERT_EQ(devices->size(), 2u);
  EXPECT_EQ(devices->dictAt(1), factory->getArray("devices")->dictAt(0)) << "the factory object itself";
  EXPECT_EQ(devices->dictAt(1)->getDict("param")->integerValue("triggerTime"), 7);
  EXPECT_TRUE(devices->dictAt(0)->contains("param"));
  EXPECT_FALSE(user->contains("snippets")) << "the factory has none to give";
}

TEST_F(PrefsFile, SaveWritesXmlAndNotifiesOnlyOnSuccess) {
  auto d = settings(3, {profile(1, 0, 0, false)});
  auto options = pl::makeDict();
  options->setReal("acceleration", 1.5);
  options->setBool("jump", true);
  d->getArray("devices")->dictAt(0)->set("options", options);
  ASSERT_TRUE(VantrelSavePrefs(*d, userPath, &sender));
  const std::string xml = files::readWhole(userPath).value();
  EXPECT_NE(xml.find("<real>1.5"), std::string::npos);
  EXPECT_NE(xml.find("<true/>"), std::string::npos);
  EXPECT_TRUE(pl::isEqual(pl::readFile(userPath), d));

  d->set("bad", std::make_shared<pl::Opaque>());
  EXPECT_FALSE(VantrelSavePrefs(*d, userPath, &sender));
  EXPECT_FALSE(VantrelSavePrefs(*settings(3, {}), (dir / "settings.plist" / "x").string(), &sender));
  EXPECT_EQ(sender.commands.size(), 1u);
  EXPECT_EQ(files::readWhole(userPath).value(), xml);
}

TEST(PrefsPath, SettingsPathUnderHome) {
  const char* old = std::getenv("HOME");
  const std::string saved = old ? old : "";
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(VantrelSettingsPath(), "/home/someone/Library/Preferences/com.halvorn.vantrel.settings.plist");
  if (old) ::setenv("HOME", saved.c_str(), 1);
  else ::unsetenv("HOME");
}

}  // namespace
