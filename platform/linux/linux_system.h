// Runtime backends of the system services that need nothing but Linux itself: the process list of
// /proc and bundles' information dictionaries. (The desktop's applications and X11 are in
// desktop_entry.h, desktop_applications.h, desktop_workspace.h and x11_desktop.h.)
#pragma once

#include <vector>

#include "platform/system_services.h"

namespace sys {

// The processes of /proc, in ascending process id. Serial number {kProcessIdHigh, pid}: the high
// word keeps every process apart from the special numbers {0, kNoProcess} and
// {0, kCurrentProcess}, which would otherwise stand for process ids 0 and 2 as well. The name is
// the last path component of the program the process was started as (its first command-line
// argument), or the kernel's short name when that is empty. A process that ends during a walk,
// or has ended and waits to be reaped, reports an empty name rather than ending the walk.
class ProcFsProcessManager final : public ProcessManager {
 public:
  static constexpr uint32_t kProcessIdHigh = 1;

  explicit ProcFsProcessManager(std::string procRoot = "/proc") : root_(std::move(procRoot)) {}

  OSErr GetCurrentProcess(ProcessSerialNumber* psn) override;
  OSErr GetNextProcess(ProcessSerialNumber* psn) override;
  OSErr GetProcessInformation(const ProcessSerialNumber& psn, ProcessInfoRec* info) override;
  OSErr SameProcess(const ProcessSerialNumber& a, const ProcessSerialNumber& b,
                    bool* result) override;

  // The name as GetProcessInformation reports it; empty when the process is gone.
  std::string processName(uint32_t pid) const;
  // When the process was started (the kernel's start time, in clock ticks since boot); 0 when
  // it is gone or cannot be read.
  uint64_t launchDate(uint32_t pid) const;

 private:
  std::vector<uint32_t> listPids() const;

  std::string root_;
  std::vector<uint32_t> walk_;  // the list taken when a walk starts
};

// Reads "Contents/Info.plist" (or a flat bundle's "Info.plist") of a bundle folder.
class InfoPlistBundleReader final : public BundleReader {
 public:
  pl::DictRef infoDictionary(const std::string& bundleURL) override;
};

}  // namespace sys
