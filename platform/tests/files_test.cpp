#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/plist.h"

namespace {

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/vantrel-files-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

TEST(AtomicWrite, ReplacesWholeFileAndCreatesFolders) {
  TempDir t;
  const std::string p = files::join(t.path, "a/b/settings.plist");
  ASSERT_TRUE(files::writeAtomically(p, "first"));
  ASSERT_TRUE(files::writeAtomically(p, "second"));
  EXPECT_EQ(files::readWhole(p).value_or(""), "second");
  // No temporary files are left behind.
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(files::join(t.path, "a/b"))) (void)e, ++n;
  EXPECT_EQ(n, 1u);
}

TEST(AtomicWrite, FailureLeavesOldFileIntact) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir t;
  const std::string p = files::join(t.path, "settings.plist");
  ASSERT_TRUE(files::writeAtomically(p, "precious"));
  ::chmod(t.path.c_str(), 0555);
  EXPECT_FALSE(files::writeAtomically(p, "new"));
  ::chmod(t.path.c_str(), 0755);
  EXPECT_EQ(files::readWhole(p).value_or(""), "precious");
}

TEST(AtomicWrite, TargetThatIsAFolderFailsCleanly) {
  TempDir t;
  const std::string p = files::join(t.path, "settings.plist");
  ASSERT_TRUE(files::makeDirectories(p));
  EXPECT_FALSE(files::writeAtomically(p, "x"));
  EXPECT_FALSE(files::readWhole(p).has_value());
  size_t n = 0;
  for (auto& e : std::filesystem::directory_iterator(t.path)) (void)e, ++n;
  EXPECT_EQ(n, 1u);
}

TEST(ReadWhole, OnlyRegularFilesAndNeverWaits) {
  TempDir t;
  const std::string pipe = files::join(t.path, "settings.plist");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(files::readWhole(pipe).has_value()) << "a named pipe without a writer must not block";
  EXPECT_EQ(pl::readFile(pipe), nullptr);
  EXPECT_FALSE(files::readWhole(t.path).has_value());
  EXPECT_FALSE(files::readWhole("/dev/null").has_value());
  const std::string empty = files::join(t.path, "empty");
  ASSERT_TRUE(files::writeAtomically(empty, ""));
  EXPECT_EQ(files::readWhole(empty).value_or("x"), "");
}

TEST(PlistFiles, WriteThenReadDictionary) {
  TempDir t;
  const std::string p = files::join(t.path, "x.plist");
  auto d = pl::makeDict();
  d->setInteger("version", 3);
  ASSERT_TRUE(pl::writeXmlFile(*d, p));
  auto back = pl::readDictFile(p);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->integerValue("version"), 3);
  EXPECT_EQ(pl::readDictFile(files::join(t.path, "missing.plist")), nullptr);
  ASSERT_TRUE(files::writeAtomically(p, "<plist version=\"1.0\"><array/></plist>"));
  EXPECT_EQ(pl::readDictFile(p), nullptr);  // not a dictionary
}

TEST(FilePaths, Join) {
  EXPECT_EQ(files::join("/home/u/", "/Library/x"), "/home/u/Library/x");
  EXPECT_EQ(files::join("/", "x"), "/x");
}

}  // namespace
