#include "platform/dbus/session_processes.h"

#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"

namespace simbus {

namespace {

// The value of one variable in a NUL-separated environment block; nothing when it is not set.
std::optional<std::string> variable(const std::string& block, std::string_view name) {
  size_t start = 0;
  while (start < block.size()) {
    size_t end = block.find('\0', start);
    if (end == std::string::npos) end = block.size();
    const std::string_view entry(block.data() + start, end - start);
    if (entry.size() > name.size() && entry.substr(0, name.size()) == name && entry[name.size()] == '=')
      return std::string(entry.substr(name.size() + 1));
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace

SessionProcessManager::SessionProcessManager(sys::ProcessManager& base, std::string procRoot)
    : base_(base), root_(std::move(procRoot)), own_(sessionOf(static_cast<uint32_t>(::getpid()))) {}

std::optional<SessionProcessManager::Session> SessionProcessManager::sessionOf(uint32_t pid) const {
  const std::string dir = files::join(root_, std::to_string(pid));
  struct stat st {};
  if (::stat(dir.c_str(), &st) != 0) return std::nullopt;
  const auto block = files::readWhole(files::join(dir, "environ"));
  if (!block) return std::nullopt;
  Session s;
  s.uid = st.st_uid;
  if (auto bus = variable(*block, "DBUS_SESSION_BUS_ADDRESS"); bus && !bus->empty()) s.bus = *bus;
  else if (auto runtime = variable(*block, "XDG_RUNTIME_DIR")) s.bus = *runtime;
  return s;
}

bool SessionProcessManager::inThisSession(uint32_t pid) const {
  if (pid == static_cast<uint32_t>(::getpid())) return true;
  if (!own_) return true;  // nothing to tell sessions apart by
  const auto other = sessionOf(pid);
  if (!other || other->uid != own_->uid) return false;
  return own_->bus.empty() || other->bus == own_->bus;
}

sys::OSErr SessionProcessManager::GetNextProcess(sys::ProcessSerialNumber* psn) {
  for (;;) {
    const sys::OSErr err = base_.GetNextProcess(psn);
    if (err != sys::noErr || inThisSession(psn->lowLongOfPSN)) return err;
  }
}

}  // namespace simbus
