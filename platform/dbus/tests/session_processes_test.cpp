#include "platform/dbus/session_processes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

#include "platform/files.h"
#include "platform/linux/linux_system.h"

using simbus::SessionProcessManager;

namespace {

std::string envBlock(std::initializer_list<std::string> entries) {
  std::string out;
  for (const auto& e : entries) out += e + '\0';
  return out;
}

// The process ids a whole walk reports.
std::vector<uint32_t> walk(sys::ProcessManager& pm) {
  std::vector<uint32_t> out;
  sys::ProcessSerialNumber psn{0, sys::kNoProcess};
  while (pm.GetNextProcess(&psn) == sys::noErr) out.push_back(psn.lowLongOfPSN);
  return out;
}

}  // namespace

TEST(SessionProcesses, OnlyProcessesOnThisSessionBusCount) {
  char tmpl[] = "/tmp/vantrel-session-XXXXXX";
  const std::string root = ::mkdtemp(tmpl);
  const std::string self = std::to_string(::getpid());
  auto process = [&](const std::string& pid, const std::string& env) {
    files::writeAtomically(root + "/" + pid + "/cmdline", "/opt/VantrelHelper");
    if (!env.empty()) files::writeAtomically(root + "/" + pid + "/environ", env);
  };
  process(self, envBlock({"HOME=/h", "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/a", "XDG_RUNTIME_DIR=/run/u"}));
  process("100", envBlock({"DBUS_SESSION_BUS_ADDRESS=unix:path=/run/b", "XDG_RUNTIME_DIR=/run/u"}));  // another bus
  process("200", envBlock({"XDG_RUNTIME_DIR=/run/u", "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/a"}));  // this one
  process("300", "");                                              // environment unreadable
  process("400", envBlock({"DBUS_SESSION_BUS_ADDRESS_X=unix:path=/run/a"}));  // no bus at all

  sys::ProcFsProcessManager procfs(root);
  SessionProcessManager pm(procfs, root);
  std::vector<uint32_t> expected{200, static_cast<uint32_t>(::getpid())};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(walk(pm), expected);
  // The rest of the interface is the base's.
  sys::ProcessSerialNumber current{};
  ASSERT_EQ(pm.GetCurrentProcess(&current), sys::noErr);
  EXPECT_EQ(current.lowLongOfPSN, static_cast<uint32_t>(::getpid()));

  // Without a bus address the runtime folder tells the session.
  process(self, envBlock({"XDG_RUNTIME_DIR=/run/u"}));
  process("500", envBlock({"XDG_RUNTIME_DIR=/run/u"}));
  process("600", envBlock({"XDG_RUNTIME_DIR=/run/v"}));
  SessionProcessManager byRuntime(procfs, root);
  EXPECT_TRUE(byRuntime.inThisSession(500));
  EXPECT_FALSE(byRuntime.inThisSession(600));
  EXPECT_FALSE(byRuntime.inThisSession(200)) << "a bus address of its own is another session";

  // Nothing to tell sessions apart by: every readable process of this user counts.
  process(self, envBlock({"HOME=/h"}));
  SessionProcessManager unknown(procfs, root);
  EXPECT_TRUE(unknown.inThisSession(100));
  EXPECT_TRUE(unknown.inThisSession(600));
  EXPECT_FALSE(unknown.inThisSession(300));
  EXPECT_FALSE(unknown.inThisSession(999)) << "no such process";
  std::filesystem::remove_all(root);
}
