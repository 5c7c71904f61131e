// The processes of this login session.
//
// Another program's processes count only when they run in the same login session as this one:
// under the same user and on the same session bus (the DBUS_SESSION_BUS_ADDRESS of their
// environment, or their XDG_RUNTIME_DIR when they have none). So a program that must run once
// per session is not held back by a namesake in another user's session, or by one on another
// private bus of the same user (a test, a demonstration). A process whose environment cannot be
// read is not in this session. When this process itself has neither variable, sessions cannot be
// told apart and every process of the same user counts.
#pragma once

#include <optional>
#include <string>
#include <sys/types.h>

#include "platform/system_services.h"

namespace simbus {

class SessionProcessManager final : public sys::ProcessManager {
 public:
  // `base` numbers processes by their process id in the low word of the serial number, as the
  // /proc process manager does; `procRoot` is where their environments are read.
  explicit SessionProcessManager(sys::ProcessManager& base, std::string procRoot = "/proc");

  sys::OSErr GetCurrentProcess(sys::ProcessSerialNumber* psn) override { return base_.GetCurrentProcess(psn); }
  // The base's walk, skipping the processes of other sessions.
  sys::OSErr GetNextProcess(sys::ProcessSerialNumber* psn) override;
  sys::OSErr GetProcessInformation(const sys::ProcessSerialNumber& psn, sys::ProcessInfoRec* info) override {
    return base_.GetProcessInformation(psn, info);
  }
  sys::OSErr SameProcess(const sys::ProcessSerialNumber& a, const sys::ProcessSerialNumber& b,
                         bool* result) override {
    return base_.SameProcess(a, b, result);
  }

  bool inThisSession(uint32_t pid) const;

 private:
  struct Session {
    uid_t uid = 0;
    std::string bus;  // the session bus address, else the runtime folder, else ""
  };
  std::optional<Session> sessionOf(uint32_t pid) const;

  sys::ProcessManager& base_;
  std::string root_;
  std::optional<Session> own_;
};

}  // namespace simbus
