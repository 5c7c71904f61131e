#include "platform/system_services.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/fake/fake_system.h"
#include "platform/files.h"
#include "platform/linux/linux_system.h"

using namespace sys;

namespace {

std::string nameOf(const Str255& p) { return std::string(p.begin() + 1, p.begin() + 1 + p[0]); }

TEST(BundleURLs, PathsComponentsAndExtensions) {
  EXPECT_EQ(pathFromURL("file:///Applications/Mail.app/"), "/Applications/Mail.app/");
  EXPECT_EQ(pathFromURL("file://localhost/A%20B.app"), "/A B.app");
  EXPECT_EQ(pathFromURL("file:///bad%2"), "/bad%2");  // a cut escape stays as it is
  EXPECT_EQ(pathFromURL("/plain/path"), "/plain/path");
  EXPECT_EQ(lastPathComponent("file:///Applications/Mail.app/"), "Mail.app");
  EXPECT_EQ(lastPathComponent("file:///Applications/Mail.app/Contents/MacOS/Mail"), "Mail");
  EXPECT_EQ(lastPathComponent("file:///"), "");
  EXPECT_EQ(lastPathComponent(""), "");
  EXPECT_EQ(lastPathComponent("Solo"), "Solo");
  EXPECT_EQ(deletingPathExtension("Mail.app"), "Mail");
  EXPECT_EQ(deletingPathExtension("My.Tool.app"), "My.Tool");
  EXPECT_EQ(deletingPathExtension(".hidden"), ".hidden");
  EXPECT_EQ(deletingPathExtension("Plain"), "Plain");
}

TEST(ProcFs, FindsThisProcessByItsProgramName) {
  ProcFsProcessManager pm;
  ProcessSerialNumber self;
  ASSERT_EQ(pm.GetCurrentProcess(&self), noErr);
  EXPECT_EQ(self.lowLongOfPSN, static_cast<uint32_t>(::getpid()));
  const std::string expected =
      std::filesystem::path(std::filesystem::read_symlink("/proc/self/exe")).filename();

  ProcessSerialNumber psn{0, kNoProcess};
  bool foundSelf = false;
  int walked = 0;
  while (pm.GetNextProcess(&psn) == noErr) {
    ++walked;
    Str255 name{};
    ProcessInfoRec info;
    info.processName = name.data();
    ASSERT_EQ(pm.GetProcessInformation(psn, &info), noErr);
    bool same = false;
    ASSERT_EQ(pm.SameProcess(psn, self, &same), noErr);
    if (same) {
      foundSelf = true;
      EXPECT_EQ(nameOf(name), expected);
    }
  }
  EXPECT_TRUE(foundSelf);
  EXPECT_GT(walked, 0);
  EXPECT_EQ(psn.lowLongOfPSN, kNoProcess);  // the walk ended with procNotFound
  // A process that is gone has no name but does not end a walk.
  Str255 name{};
  ProcessInfoRec info;
  info.processName = name.data();
  EXPECT_EQ(pm.GetProcessInformation(
                ProcessSerialNumber{ProcFsProcessManager::kProcessIdHigh, 0x7FFFFFF0}, &info),
            noErr);
  EXPECT_EQ(name[0], 0);
  // The current process by its special number, and serial numbers that stand for nothing.
  EXPECT_EQ(pm.GetProcessInformation(ProcessSerialNumber{0, kCurrentProcess}, &info), noErr);
  EXPECT_EQ(nameOf(name), expected);
  bool same = false;
  EXPECT_EQ(pm.SameProcess(ProcessSerialNumber{0, kCurrentProcess}, self, &same), noErr);
  EXPECT_TRUE(same);
  EXPECT_EQ(pm.GetProcessInformation(ProcessSerialNumber{7, 1}, &info), paramErr);
  psn = ProcessSerialNumber{7, 1};
  EXPECT_EQ(pm.GetNextProcess(&psn), paramErr);
}

TEST(ProcFs, NamesFromCommandLineOrKernelName) {
  char tmpl[] = "/tmp/vantrel-proc-XXXXXX";
  const std::string root = ::mkdtemp(tmpl);
  files::writeAtomically(root + "/12/cmdline", std::string("/opt/x/VantrelHelper\0-a\0", 24));
  // Process id 2 is a process like any other, not the current process.
  files::writeAtomically(root + "/2/cmdline", "/usr/bin/VantrelHelper");
  files::writeAtomically(root + "/7/comm", "kworker\n");
  files::writeAtomically(root + "/7/cmdline", "");
  files::makeDirectories(root + "/self");
  // An ended helper that its parent has not reaped yet does not count.
  files::writeAtomically(root + "/30/stat", "30 (VantrelHelper) Z 1 30 30 0 -1");
  files::writeAtomically(root + "/30/comm", "VantrelHelper\n");
  files::writeAtomically(root + "/31/stat",
                         "31 (odd ) name) S 1 31 31 0 -1 4194304 95 0 0 0 1 2 0 0 20 0 1 0 123456 5000 40");
  files::writeAtomically(root + "/31/comm", "odd ) name\n");
  ProcFsProcessManager pm(root);
  EXPECT_EQ(pm.processName(30), "");
  EXPECT_EQ(pm.processName(31), "odd ) name");
  // The start time, counted past a name with spaces and parentheses; 0 when it cannot be read.
  EXPECT_EQ(pm.launchDate(31), 123456u);
  EXPECT_EQ(pm.launchDate(30), 0u);
  EXPECT_EQ(pm.launchDate(12), 0u);
  EXPECT_GT(ProcFsProcessManager().launchDate(static_cast<uint32_t>(::getpid())), 0u);
  EXPECT_EQ(pm.processName(12), "VantrelHelper");
  EXPECT_EQ(pm.processName(7), "kworker");
  ProcessSerialNumber psn{0, kNoProcess};
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 2u);
  Str255 name{};
  ProcessInfoRec info;
  info.processName = name.data();
  ASSERT_EQ(pm.GetProcessInformation(psn, &info), noErr);
  EXPECT_EQ(nameOf(name), "VantrelHelper");
  bool same = true;
  ASSERT_EQ(pm.SameProcess(psn, ProcessSerialNumber{0, kCurrentProcess}, &same), noErr);
  EXPECT_FALSE(same);
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 7u);  // ascending, "self" is no process
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 12u);
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn.lowLongOfPSN, 31u);
  EXPECT_EQ(pm.GetNextProcess(&psn), procNotFound);
  std::filesystem::remove_all(root);
}

TEST(InfoPlist, ReadsBundleDictionaries) {
  char tmpl[] = "/tmp/vantrel-bundle-XXXXXX";
  const std::string root = ::mkdtemp(tmpl);
  pl::Dictionary info;
  info.setString("CFBundleName", "Mail");
  ASSERT_TRUE(pl::writeXmlFile(info, root + "/Mail.app/Contents/Info.plist"));
  ASSERT_TRUE(files::writeAtomically(root + "/Broken.app/Contents/Info.plist", "not a plist"));
  InfoPlistBundleReader reader;
  pl::DictRef d = reader.infoDictionary("file://" + root + "/Mail.app/");
  ASSERT_TRUE(d);
  EXPECT_EQ(d->stringValue("CFBundleName"), "Mail");
  EXPECT_FALSE(reader.infoDictionary("file://" + root + "/Broken.app/"));
  EXPECT_FALSE(reader.infoDictionary(root + "/Missing.app"));
  EXPECT_FALSE(reader.infoDictionary(""));
  std::filesystem::remove_all(root);
}

TEST(FakeProcesses, WalkInformationErrorsAndIdentity) {
  FakeProcessManager pm;
  const ProcessSerialNumber self = pm.addProcess("VantrelHelper");
  const ProcessSerialNumber other = pm.addProcess("Finder");
  ProcessSerialNumber psn{0, kNoProcess};
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn, self);
  ASSERT_EQ(pm.GetNextProcess(&psn), noErr);
  EXPECT_EQ(psn, other);
  EXPECT_EQ(pm.GetNextProcess(&psn), procNotFound);
  bool same = true;
  pm.SameProcess(other, ProcessSerialNumber{0, kCurrentProcess}, &same);
  EXPECT_FALSE(same);
  pm.failInformation(other, -43);
  Str255 name{};
  ProcessInfoRec info;
  info.processName = name.data();
  EXPECT_EQ(pm.GetProcessInformation(other, &info), -43);
  EXPECT_EQ(pm.GetProcessInformation(self, &info), noErr);
  EXPECT_EQ(nameOf(name), "VantrelHelper");
}

TEST(FakeAccessibility, AttributesCountsAndDisabledAccess) {
  FakeAccessibility ax;
  AXUIElementRef sys = ax.AXUIElementCreateSystemWide();
  AXValue v;
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(sys, kAXFocusedApplicationAttribute, &v),
            kAXErrorNoValue);
  ax.showDialog({10, 20}, {80, 24}, 4);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(sys, kAXFocusedApplicationAttribute, &v),
            kAXErrorSuccess);
  ASSERT_TRUE(std::holds_alternative<AXUIElementRef>(v));
  long count = 0;
  EXPECT_EQ(ax.AXUIElementGetAttributeValueCount(ax.window, kAXChildrenAttribute, &count),
            kAXErrorSuccess);
  EXPECT_EQ(count, 4);
  EXPECT_EQ(ax.AXUIElementGetAttributeValueCount(ax.button, kAXPositionAttribute, &count),
            kAXErrorIllegalArgument);
  ax.enabled = false;
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(sys, kAXFocusedApplicationAttribute, &v),
            kAXErrorAPIDisabled);
}

}  // namespace
