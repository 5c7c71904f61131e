#include "platform/linux/linux_system.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "platform/files.h"

namespace sys {

// ---- processes ---------------------------------------------------------------------------------

std::vector<uint32_t> ProcFsProcessManager::listPids() const {
  std::vector<uint32_t> pids;
  DIR* dir = ::opendir(root_.c_str());
  if (dir == nullptr) return pids;
  while (const dirent* e = ::readdir(dir)) {
    const char* name = e->d_name;
    if (*name == '\0') continue;
    char* end = nullptr;
    const unsigned long pid = std::strtoul(name, &end, 10);
    if (*end != '\0' || pid == 0 || pid > 0xFFFFFFFFul) continue;
    pids.push_back(static_cast<uint32_t>(pid));
  }
  ::closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::string ProcFsProcessManager::processName(uint32_t pid) const {
  const std::string base = files::join(root_, std::to_string(pid));
  // A process that has ended but was not yet reaped by its parent is no longer running.
  if (auto stat = files::readWhole(files::join(base, "stat"))) {
    const size_t paren = stat->rfind(')');
    if (paren != std::string::npos && paren + 2 < stat->size()) {
      const char state = (*stat)[paren + 2];
      if (state == 'Z' || state == 'X' || state == 'x') return {};
    }
  }
  if (auto cmdline = files::readWhole(files::join(base, "cmdline"))) {
    const std::string argv0 = cmdline->substr(0, cmdline->find('\0'));
    const size_t slash = argv0.rfind('/');
    std::string name = slash == std::string::npos ? argv0 : argv0.substr(slash + 1);
    if (!name.empty()) return name;
  }
  if (auto comm = files::readWhole(files::join(base, "comm"))) {
    while (!comm->empty() && comm->back() == '\n') comm->pop_back();
    return *comm;
  }
  return {};
}

uint64_t ProcFsProcessManager::launchDate(uint32_t pid) const {
  const auto stat = files::readWhole(files::join(files::join(root_, std::to_string(pid)), "stat"));
  if (!stat) return 0;
  // The fields after the name (which may hold spaces and parentheses): state is field 3, the
  // start time field 22.
  size_t at = stat->rfind(')');
  if (at == std::string::npos) return 0;
  for (int field = 2; field < 22; ++field) {
    at = stat->find(' ', at + 1);
    if (at == std::string::npos) return 0;
  }
  return std::strtoull(stat->c_str() + at + 1, nullptr, 10);
}

namespace {

// The process id a serial number stands for; 0 when it stands for none.
uint32_t processIdOf(const ProcessSerialNumber& psn) {
  if (psn.highLongOfPSN == 0 && psn.lowLongOfPSN == kCurrentProcess)
    return static_cast<uint32_t>(::getpid());
  if (psn.highLongOfPSN == ProcFsProcessManager::kProcessIdHigh) return psn.lowLongOfPSN;
  return 0;
}

}  // namespace

OSErr ProcFsProcessManager::GetCurrentProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  *psn = ProcessSerialNumber{kProcessIdHigh, static_cast<uint32_t>(::getpid())};
  return noErr;
}

OSErr ProcFsProcessManager::GetNextProcess(ProcessSerialNumber* psn) {
  if (psn == nullptr) return paramErr;
  uint32_t after = 0;
  if (psn->highLongOfPSN == 0 && psn->lowLongOfPSN == kNoProcess)
    walk_ = listPids();
  else if (psn->highLongOfPSN == kProcessIdHigh)
    after = psn->lowLongOfPSN;
  else
    return paramErr;
  auto it = std::upper_bound(walk_.begin(), walk_.end(), after);
  if (it == walk_.end()) {
    *psn = ProcessSerialNumber{0, kNoProcess};
    return procNotFound;
  }
  *psn = ProcessSerialNumber{kProcessIdHigh, *it};
  return noErr;
}

OSErr ProcFsProcessManager::GetProcessInformation(const ProcessSerialNumber& psn,
                                                  ProcessInfoRec* info) {
  const uint32_t pid = processIdOf(psn);
  if (info == nullptr || pid == 0) return paramErr;
  if (info->processName != nullptr) {
    const std::string name = processName(pid);
    const size_t n = std::min<size_t>(name.size(), 255);
    info->processName[0] = static_cast<unsigned char>(n);
    std::copy_n(name.begin(), n, info->processName + 1);
  }
  info->processLaunchDate = launchDate(pid);
  return noErr;
}

OSErr ProcFsProcessManager::SameProcess(const ProcessSerialNumber& a,
                                        const ProcessSerialNumber& b, bool* result) {
  if (result == nullptr) return paramErr;
  const uint32_t pa = processIdOf(a);
  const uint32_t pb = processIdOf(b);
  if (pa == 0 || pb == 0) return paramErr;
  *result = pa == pb;
  return noErr;
}

// ---- bundles -------------------------------------------------------------------------------------

pl::DictRef InfoPlistBundleReader::infoDictionary(const std::string& bundleURL) {
  const std::string path = pathFromURL(bundleURL);
  if (path.empty()) return nullptr;
  if (pl::DictRef d = pl::readDictFile(files::join(path, "Contents/Info.plist"))) return d;
  return pl::readDictFile(files::join(path, "Info.plist"));
}

// ---- sleeping ------------------------------------------------------------------------------------

}  // namespace sys
