// Runtime backends of the system services that need nothing but Linux itself. Services whose
// events come from the simulated world (activations, key state, accessibility) stay quiet here:
// nothing is ever happening.
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

// No session information: the helper counts itself on the console.
class NoSessionInformation final : public ConsoleSession {
 public:
  pl::DictRef CGSessionCopyCurrentDictionary() override { return nullptr; }
};

class QuietInputState final : public InputState {
 public:
  uint32_t GetCurrentKeyModifiers() override { return 0; }
  uint32_t GetCurrentButtonState() override { return 0; }
};

// Accessibility is not available to the helper.
class NoAccessibility final : public Accessibility {
 public:
  bool AXAPIEnabled() override { return false; }
  AXUIElementRef AXUIElementCreateSystemWide() override { return nullptr; }
  AXError AXUIElementCopyAttributeValue(const AXUIElementRef&, std::string_view,
                                        AXValue*) override {
    return kAXErrorAPIDisabled;
  }
  AXError AXUIElementGetAttributeValueCount(const AXUIElementRef&, std::string_view,
                                            long*) override {
    return kAXErrorAPIDisabled;
  }
};

// A display that cannot move the pointer.
class NoDisplay final : public Display {
 public:
  CGError CGWarpMouseCursorPosition(CGPoint) override { return kCGErrorFailure; }
};

// A workspace in which no application is ever activated.
class QuietWorkspace final : public Workspace {
 public:
  int addActivationObserver(ActivationObserver) override { return ++next_; }
  void removeActivationObserver(int) override {}

 private:
  int next_ = 0;
};

class ThreadSleeper final : public Sleeper {
 public:
  void sleepFor(std::chrono::microseconds duration) override;
};

}  // namespace sys
