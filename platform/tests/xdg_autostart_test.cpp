#include "platform/linux/xdg_autostart.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "platform/plist.h"
#include "platform/tests/temp_tree.h"

namespace {

using sys::XdgAutostartLoginItems;
using testing_support::TempTree;

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& e : std::filesystem::directory_iterator(folder, ignored))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Every file of the folder with its contents (a link as "-> target").
std::map<std::string, std::string> contentsOf(const std::string& folder) {
  std::map<std::string, std::string> out;
  for (const std::string& name : namesIn(folder)) {
    const std::string p = files::join(folder, name);
    std::error_code ignored;
    if (std::filesystem::is_symlink(p, ignored))
      out[name] = "-> " + std::filesystem::read_symlink(p, ignored).string();
    else
      out[name] = files::readWhole(p).value_or("<not a file>");
  }
  return out;
}

// A bundle folder with its program and, when an executable name is given, an Info.plist.
std::string makeBundle(const TempTree& tree, const std::string& rel, const std::string& program,
                       const std::string& infoExecutable = {},
                       const std::string& identifier = {}) {
  tree.program(rel + "/Contents/MacOS/" + program);
  if (!infoExecutable.empty() || !identifier.empty()) {
    pl::DictRef info = pl::makeDict();
    if (!infoExecutable.empty()) info->setString("CFBundleExecutable", infoExecutable);
    if (!identifier.empty()) info->setString("CFBundleIdentifier", identifier);
    pl::writeXmlFile(*info, tree.path(rel + "/Contents/Info.plist"));
  }
  return tree.path(rel);
}

std::string entry(const std::string& name, const std::string& exec,
                  const std::string& extra = {}) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
}

class Autostart : public ::testing::Test {
 protected:
  TempTree tree;
  std::string folder = tree.path("config/autostart");
  std::string bin = tree.folder("bin");
  XdgAutostartLoginItems items{folder, "relative/bin::" + bin};

  sys::LSSharedFileListRef list() { return items.LSSharedFileListCreate(); }

  std::vector<sys::LSSharedFileListItemRef> snapshot() {
    auto s = items.LSSharedFileListCopySnapshot(list());
    EXPECT_TRUE(s.has_value());
    return s.value_or(std::vector<sys::LSSharedFileListItemRef>{});
  }

  // Each item as "name -> location" ("?" for no name, "unresolved" for no location).
  std::vector<std::string> described() {
    std::vector<std::string> out;
    for (const auto& item : snapshot()) {
      std::string location;
      const bool resolved = items.LSSharedFileListItemResolve(item, &location) == sys::noErr;
      out.push_back(items.LSSharedFileListItemCopyDisplayName(item).value_or("?") + " -> " +
                    (resolved ? location : "unresolved"));
    }
    return out;
  }
};

TEST_F(Autostart, InsertedBundleIsAnEntryThatResolvesToTheBundle) {
  const std::string helper = makeBundle(tree, "pane/Resources/VantrelHelper.app", "RealExe",
                                        "RealExe", "com.halvorn.vantrel.helper");
  // A file of the user's that happens to carry the name the entry would get.
  tree.write("config/autostart/com.halvorn.vantrel.helper.desktop", entry("Mine", "/bin/mine"));

  auto item = items.LSSharedFileListInsertItemURL(list(), helper + "/");
  ASSERT_TRUE(item);
  std::string location;
  EXPECT_EQ(items.LSSharedFileListItemResolve(item, &location), sys::noErr);
  EXPECT_EQ(location, helper);
  EXPECT_EQ(items.LSSharedFileListItemCopyDisplayName(item), "VantrelHelper");
  ASSERT_TRUE(items.LSSharedFileListInsertItemURL(list(), helper));

  EXPECT_EQ(namesIn(folder),
            (std::vector<std::string>{"com.halvorn.vantrel.helper-2.desktop",
                                      "com.halvorn.vantrel.helper-3.desktop",
                                      "com.halvorn.vantrel.helper.desktop"}));
  EXPECT_EQ(files::readWhole(files::join(folder, "com.halvorn.vantrel.helper.desktop")),
            entry("Mine", "/bin/mine"));
  EXPECT_EQ(files::readWhole(files::join(folder, "com.halvorn.vantrel.helper-2.desktop")),
            entry("VantrelHelper", "\"" + helper + "/Contents/MacOS/RealExe\"",
                  "Terminal=false\n"));
  EXPECT_EQ(described(), (std::vector<std::string>{"VantrelHelper -> " + helper,
                                                   "VantrelHelper -> " + helper,
                                                   "Mine -> unresolved"}));
}

TEST_F(Autostart, BundleProgramFallsBackToTheBundleName) {
  // No Info.plist, and one whose executable name would leave the bundle.
  const std::string plain = makeBundle(tree, "a/Plain.app", "Plain");
  const std::string sneaky = makeBundle(tree, "b/Sneaky.app", "Sneaky", "../../../bin/evil");
  tree.program("bin/evil");
  ASSERT_TRUE(items.LSSharedFileListInsertItemURL(list(), plain));
  ASSERT_TRUE(items.LSSharedFileListInsertItemURL(list(), sneaky));
  EXPECT_EQ(described(),
            (std::vector<std::string>{"Plain -> " + plain, "Sneaky -> " + sneaky}));
  EXPECT_NE(files::readWhole(files::join(folder, "Sneaky.desktop"))
                .value_or("")
                .find("/b/Sneaky.app/Contents/MacOS/Sneaky\""),
            std::string::npos);
}

TEST_F(Autostart, StrangePathsSurviveTheEntry) {
  for (const std::string dir : {"with space", "q\"uote", "dollar$HOME", "back\\slash", "50%",
                                "new\nline", "\xC3\x9Cmlaut", "'single'", "`tick`", " lead"}) {
    const std::string helper = makeBundle(tree, dir + "/VantrelHelper.app", "VantrelHelper");
    auto item = items.LSSharedFileListInsertItemURL(list(), helper);
    ASSERT_TRUE(item) << dir;
    std::string location;
    EXPECT_EQ(items.LSSharedFileListItemResolve(item, &location), sys::noErr) << dir;
    EXPECT_EQ(location, helper);
  }
  // A program that is not a bundle starts itself and is named after its file.
  const std::string tool = tree.program("odd dir/my tool");
  ASSERT_TRUE(items.LSSharedFileListInsertItemURL(list(), tool));
  const auto all = described();
  EXPECT_EQ(all.size(), 11u);
  EXPECT_NE(std::find(all.begin(), all.end(), "my tool -> " + tool), all.end());
  EXPECT_TRUE(files::exists(files::join(folder, "my-tool.desktop")));
}

TEST_F(Autostart, RefusesWhatCouldNotBeStarted) {
  tree.folder("x/Empty.app/Contents/MacOS");
  const std::string inner = makeBundle(tree, "y/Inner.app", "Inner") + "/Contents/MacOS/Inner";
  for (const std::string& path :
       {tree.path("missing.app"), tree.path("x/Empty.app"), tree.folder("not-a-bundle"), inner,
        tree.program("bad\xFF" "name"), std::string(),
        // env, which starts a program with a '%' in its path, takes one with a '=' for a setting
        makeBundle(tree, "z/a=50%/Odd.app", "Odd")})
    EXPECT_FALSE(items.LSSharedFileListInsertItemURL(list(), path)) << path;
  EXPECT_FALSE(files::exists(folder));  // nothing was written, not even the folder
}

TEST_F(Autostart, OnlyWellFormedApplicationEntriesAreItems) {
  tree.program("bin/tool");
  tree.write("elsewhere/real.desktop", entry("Linked", "tool"));
  std::string huge = entry("Huge", "tool");
  huge.append(sys::kMaxAutostartEntrySize, '#');
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk.push_back(static_cast<char>((i * 7919) & 0xFF));

  tree.write("config/autostart/a-no-group.desktop", "Name=VantrelHelper\nExec=tool\n");
  tree.write("config/autostart/b-junk.desktop", junk);
  tree.write("config/autostart/c-huge.desktop", huge);
  std::filesystem::create_symlink("../../elsewhere/real.desktop",
                                  tree.path("config/autostart/d-link.desktop"));
  std::filesystem::create_symlink("../../nowhere.desktop",
                                  tree.path("config/autostart/e-dangling.desktop"));
  tree.folder("config/autostart/f-folder.desktop");
  ASSERT_EQ(::mkfifo(tree.path("config/autostart/g-fifo.desktop").c_str(), 0644), 0);
  tree.write("config/autostart/h-link-type.desktop",
             "[Desktop Entry]\nType=Link\nName=L\nURL=https://example.invalid/\n");
  tree.write("config/autostart/i-not-utf8.desktop", entry("Bad\xC3", "tool"));
  tree.write("config/autostart/j-not-an-entry.txt", entry("Text", "tool"));
  tree.write("config/autostart/k-hidden.desktop", entry("Hidden", "tool", "Hidden=true\n"));
  tree.write("config/autostart/l-switched-off.desktop",
             entry("Off", "tool", "X-GNOME-Autostart-enabled=false\n"));
  tree.write("config/autostart/m-no-name.desktop", "[Desktop Entry]\nType=Application\nExec=tool\n");
  tree.write("config/autostart/n-env.desktop", entry("Env", "env FOO=\"a b\" LANG=C tool %U"));
  tree.write("config/autostart/o-gone.desktop", entry("Gone", "/nowhere/prog"));
  tree.write("config/autostart/p-relative.desktop", entry("Relative", "bin/tool"));
  tree.write("config/autostart/q-no-exec.desktop",
             "[Desktop Entry]\nType=Application\nName=NoExec\nDBusActivatable=true\n");
  tree.write("config/autostart/r-not-executable.desktop", entry("Plain", "data"));
  tree.write("bin/data", "not a program", 0644);
  const auto before = contentsOf(folder);

  EXPECT_EQ(described(), (std::vector<std::string>{
                             "Linked -> " + bin + "/tool",
                             "Hidden -> " + bin + "/tool",
                             "Off -> " + bin + "/tool",
                             "? -> " + bin + "/tool",
                             "Env -> " + bin + "/tool",
                             "Gone -> unresolved",
                             "Relative -> unresolved",
                             "NoExec -> unresolved",
                             "Plain -> unresolved",
                         }));
  EXPECT_EQ(contentsOf(folder), before);
}

TEST_F(Autostart, RemovalTakesOnlyTheEntryOfTheSnapshot) {
  tree.program("bin/tool");
  const std::string target = tree.write("elsewhere/real.desktop", entry("Linked", "tool"));
  tree.write("config/autostart/a.desktop", entry("A", "tool"));
  std::filesystem::create_symlink(target, tree.path("config/autostart/b.desktop"));
  tree.write("config/autostart/c.desktop", entry("C", "tool"));
  tree.write("config/autostart/d.desktop", entry("D", "tool"));
  tree.write("config/autostart/keep.desktop", entry("Keep", "tool"));
  auto l = list();
  const auto s = snapshot();
  ASSERT_EQ(s.size(), 5u);

  tree.write("config/autostart/c.desktop", entry("C, edited by the user", "tool"));
  ::unlink(tree.path("config/autostart/d.desktop").c_str());
  EXPECT_EQ(items.LSSharedFileListItemRemove(l, s[0]), sys::noErr);
  EXPECT_EQ(items.LSSharedFileListItemRemove(l, s[1]), sys::noErr);
  EXPECT_NE(items.LSSharedFileListItemRemove(l, s[2]), sys::noErr);
  EXPECT_NE(items.LSSharedFileListItemRemove(l, s[3]), sys::noErr);
  EXPECT_NE(items.LSSharedFileListItemRemove(l, s[0]), sys::noErr);  // gone already
  // An item of another folder's list is not this list's to remove.
  XdgAutostartLoginItems other{tree.path("other"), bin};
  EXPECT_EQ(other.LSSharedFileListItemRemove(other.LSSharedFileListCreate(), s[4]), sys::paramErr);

  EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"c.desktop", "keep.desktop"}));
  EXPECT_EQ(files::readWhole(target), entry("Linked", "tool"));
  EXPECT_EQ(files::readWhole(tree.path("config/autostart/c.desktop")),
            entry("C, edited by the user", "tool"));
}

TEST_F(Autostart, MissingFolderIsEmptyAndMadeOnInsertAFileInItsPlaceIsNoList) {
  EXPECT_TRUE(snapshot().empty());
  const std::string helper = makeBundle(tree, "VantrelHelper.app", "VantrelHelper");
  ASSERT_TRUE(items.LSSharedFileListInsertItemURL(list(), helper));
  EXPECT_EQ(namesIn(folder), std::vector<std::string>{"VantrelHelper.desktop"});

  XdgAutostartLoginItems onFile{tree.write("config2/autostart", "not a folder"), bin};
  auto l = onFile.LSSharedFileListCreate();
  EXPECT_FALSE(onFile.LSSharedFileListCopySnapshot(l));
  EXPECT_FALSE(onFile.LSSharedFileListInsertItemURL(l, helper));
  EXPECT_EQ(files::readWhole(onFile.folder()), "not a folder");
}

TEST_F(Autostart, FolderPermissionsHold) {
  tree.program("bin/tool");
  tree.write("config/autostart/a.desktop", entry("A", "tool"));
  const std::string helper = makeBundle(tree, "VantrelHelper.app", "VantrelHelper");
  const auto before = contentsOf(folder);

  // Read-only: the items can be read, but none removed or added.
  ::chmod(folder.c_str(), 0555);
  const int readOnly = testing_support::runUnprivileged([&] {
    auto l = items.LSSharedFileListCreate();
    const auto s = items.LSSharedFileListCopySnapshot(l);
    if (!s || s->size() != 1) return 1;
    if (items.LSSharedFileListItemRemove(l, (*s)[0]) == sys::noErr) return 2;
    if (items.LSSharedFileListInsertItemURL(l, helper)) return 3;
    return 0;
  });
  EXPECT_EQ(readOnly, 0);
  // Not listable: no snapshot at all.
  ::chmod(folder.c_str(), 0333);
  const int unlistable = testing_support::runUnprivileged([&] {
    return items.LSSharedFileListCopySnapshot(items.LSSharedFileListCreate()) ? 1 : 0;
  });
  EXPECT_EQ(unlistable, 0);
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(contentsOf(folder), before);
}

TEST(AutostartFolder, FollowsXdgConfigHomeWhenItIsAbsolute) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string restore = saved ? saved : "";
  const std::string home = files::join(files::homeDirectory(), ".config/autostart");
  ::setenv("XDG_CONFIG_HOME", "/somewhere/config/", 1);
  EXPECT_EQ(XdgAutostartLoginItems::userAutostartFolder(), "/somewhere/config/autostart");
  ::setenv("XDG_CONFIG_HOME", "relative/config", 1);
  EXPECT_EQ(XdgAutostartLoginItems::userAutostartFolder(), home);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(XdgAutostartLoginItems::userAutostartFolder(), home);
  if (saved) ::setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
}

}  // namespace
