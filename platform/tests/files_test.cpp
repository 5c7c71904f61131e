#include "platform/files.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>
#include <vector>

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

std::vector<std::string> namesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AtomicWrite, ALinkedFileIsReplacedWhereItLiesAndTheLinkStays) {
  TempDir t;
  const std::string dotfiles = files::join(t.path, "dotfiles");
  const std::string real = files::join(dotfiles, "vantrel.plist");
  ASSERT_TRUE(files::writeAtomically(real, "old"));
  ::chmod(real.c_str(), 0600);
  // Library/Preferences/settings.plist -> ../../dotfiles/link.plist -> vantrel.plist
  const std::string prefs = files::join(t.path, "Library/Preferences");
  ASSERT_TRUE(files::makeDirectories(prefs));
  std::filesystem::create_symlink("vantrel.plist", files::join(dotfiles, "link.plist"));
  const std::string settings = files::join(prefs, "settings.plist");
  std::filesystem::create_symlink("../../dotfiles/link.plist", settings);

  ASSERT_TRUE(files::writeAtomically(settings, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(settings));
  EXPECT_TRUE(std::filesystem::is_symlink(files::join(dotfiles, "link.plist")));
  EXPECT_EQ(files::readWhole(real).value_or(""), "new");
  EXPECT_EQ(files::readWhole(settings).value_or(""), "new");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u) << "the target keeps its permissions";
  EXPECT_EQ(namesIn(dotfiles), (std::vector<std::string>{"link.plist", "vantrel.plist"}));
  EXPECT_EQ(namesIn(prefs), std::vector<std::string>{"settings.plist"});

  // A link to a file not there yet: the file is made where the link points.
  const std::string later = files::join(t.path, "later.plist");
  std::filesystem::create_symlink("dotfiles/made.plist", later);
  ASSERT_TRUE(files::writeAtomically(later, "made"));
  EXPECT_TRUE(std::filesystem::is_symlink(later));
  EXPECT_EQ(files::readWhole(files::join(dotfiles, "made.plist")).value_or(""), "made");

  // Links in a circle lead nowhere: nothing is written, the links stay.
  const std::string loop = files::join(t.path, "loop");
  std::filesystem::create_symlink("loop", loop);
  EXPECT_FALSE(files::writeAtomically(loop, "x"));
  EXPECT_TRUE(std::filesystem::is_symlink(loop));
}

TEST(AtomicWrite, InterruptedWritesLeaveNoTemporaryFilesBehind) {
  TempDir t;
  const std::string p = files::join(t.path, "settings.plist");
  const std::string big(512 * 1024, 'x');
  // Writers killed at random moments of their writes.
  std::mt19937 random(42);
  for (int i = 0; i < 40; ++i) {
    const pid_t writer = ::fork();
    if (writer == 0) {
      for (;;) files::writeAtomically(p, big);
    }
    ASSERT_GT(writer, 0);
    std::this_thread::sleep_for(std::chrono::microseconds(2000 + random() % 8000));
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
  }
  // What a writer of another system leaves (a process that still runs), and names of other kinds,
  // are not this write's to remove.
  const std::string alive = p + ".tmp-1-7";
  ASSERT_TRUE(files::writeAtomically(alive, "init's"));
  ASSERT_TRUE(files::writeAtomically(p + ".tmp-notes", "mine"));
  ASSERT_TRUE(files::writeAtomically(files::join(t.path, "other.plist.tmp-99999999-1"), "other"));

  ASSERT_TRUE(files::writeAtomically(p, "final"));
  EXPECT_EQ(files::readWhole(p).value_or(""), "final");
  EXPECT_EQ(namesIn(t.path), (std::vector<std::string>{"other.plist.tmp-99999999-1", "settings.plist",
                                                       "settings.plist.tmp-1-7", "settings.plist.tmp-notes"}));
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

TEST(ReadWhole, AFileAboveTheLimitIsNotRead) {
  TempDir t;
  const std::string p = files::join(t.path, "big");
  ASSERT_TRUE(files::writeAtomically(p, "0123456789"));
  EXPECT_EQ(files::readWhole(p, 10).value_or(""), "0123456789");
  EXPECT_FALSE(files::readWhole(p, 9).has_value());
  // Three gigabytes that take no room: refused by their size, nothing read.
  ASSERT_EQ(::truncate(p.c_str(), 3LL << 30), 0);
  EXPECT_FALSE(files::readWhole(p, 1 << 20).has_value());
  EXPECT_EQ(pl::readFile(p, 1 << 20), nullptr);
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
