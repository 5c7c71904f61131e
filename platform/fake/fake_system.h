// Deterministic stand-ins for the system services of platform/system_services.h, driven and
// inspected by tests and benchmarks. FakePlatform bundles them with an in-process IOKit world and
// a manual run loop.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/iokit.h"
#include "platform/iokit_inprocess.h"
#include "platform/fake/fake_apple_events.h"
#include "platform/fake/fake_pasteboard.h"
#include "platform/fake/fake_script_runner.h"
#include "platform/fake/fake_sleeper.h"
#include "platform/fake/fake_snippets_menu.h"
#include "platform/fake/fake_workspace_actions.h"
#include "platform/runloop.h"
#include "platform/system_services.h"

namespace sys {

// A process list in a fixed order. Serial numbers are {0, 100 + n}.
class FakeProcessManager final : public ProcessManager {
 public:
  // Appends a process; the first one added is the current process unless setCurrent says else.
  ProcessSerialNumber addProcess(const std::string& name);
  void setCurrent(const ProcessSerialNumber& psn) { current_ = psn; }
  // When the process was started (its processLaunchDate); unknown (0) unless set.
  void setLaunchDate(const ProcessSerialNumber& psn, uint64_t ticks) { launchDates_[psn.lowLongOfPSN] = ticks; }
  // GetProcessInformation of this process fails with `err`.
  void failInformation(const ProcessSerialNumber& psn, OSErr err) { infoErrors_[psn.lowLongOfPSN] = err; }
  // How many processes the last walks asked for information about.
  int informationRequests() const { return infoRequests_; }

  OSErr GetCurrentProcess(ProcessSerialNumber* psn) override;
  OSErr GetNextProcess(ProcessSerialNumber* psn) override;
  OSErr GetProcessInformation(const ProcessSerialNumber& psn, ProcessInfoRec* info) override;
  OSErr SameProcess(const ProcessSerialNumber& a, const ProcessSerialNumber& b,
                    bool* result) override;

 private:
  struct Entry {
    ProcessSerialNumber psn;
    std::string name;
  };
  std::vector<Entry> processes_;
  ProcessSerialNumber current_{};
  std::map<uint32_t, OSErr> infoErrors_;
  std::map<uint32_t, uint64_t> launchDates_;
  int infoRequests_ = 0;
};

class FakeConsoleSession final : public ConsoleSession {
 public:
  FakeConsoleSession() { setOnConsole(true); }
  void setOnConsole(bool on);
  // The session dictionary as it is (null: no dictionary at all).
  void setDictionary(pl::DictRef dict) { dict_ = std::move(dict); }
  pl::DictRef CGSessionCopyCurrentDictionary() override { return dict_; }

 private:
  pl::DictRef dict_;
};

class FakeInputState final : public InputState {
 public:
  uint32_t modifiers = 0;
  uint32_t buttons = 0;
  int modifierReads = 0;
  uint32_t GetCurrentKeyModifiers() override {
    ++modifierReads;
    return modifiers;
  }
  uint32_t GetCurrentButtonState() override { return buttons; }
};

// An element whose attributes are whatever the test puts there.
class FakeAXElement final : public AXUIElement {
 public:
  explicit FakeAXElement(std::string elementRole = {}) : role(std::move(elementRole)) {}
  std::string role;
  std::map<std::string, AXValue, std::less<>> attributes;
  std::map<std::string, AXError, std::less<>> errors;  // reading these attributes fails
};

class FakeAccessibility final : public Accessibility {
 public:
  FakeAccessibility();

  bool enabled = true;
  // The one system-wide element (its "AXFocusedApplication" is the app below).
  std::shared_ptr<FakeAXElement> systemWide;
  std::shared_ptr<FakeAXElement> application;
  std::shared_ptr<FakeAXElement> window;
  std::shared_ptr<FakeAXElement> button;

  // The focused application's focused window has an enabled default button at `position` with
  // `size`, and `children` children.
  void showDialog(CGPoint position, CGSize size, size_t children, bool buttonEnabled = true);
  // The focused window has no default button.
  void showPlainWindow(size_t children = 3);
  // No focused application at all.
  void showNothing();

  int systemWideCreations() const { return creations_; }

  bool AXAPIEnabled() override { return enabled; }
  AXUIElementRef AXUIElementCreateSystemWide() override;
  AXError AXUIElementCopyAttributeValue(const AXUIElementRef& element,
                                        std::string_view attribute, AXValue* value) override;
  AXError AXUIElementGetAttributeValueCount(const AXUIElementRef& element,
                                            std::string_view attribute, long* count) override;

 private:
  static std::vector<AXUIElementRef> makeChildren(size_t n);
  int creations_ = 0;
};

class FakeDisplay final : public Display {
 public:
  std::vector<CGPoint> warps;
  CGError CGWarpMouseCursorPosition(CGPoint point) override {
    warps.push_back(point);
    return kCGErrorSuccess;
  }
};

class FakeWorkspace final : public Workspace {
 public:
  // Notifies every observer, as an activation of `app` would.
  void activate(const RunningApplication& app);
  // An activation notification without an application.
  void activateNothing();
  size_t observerCount() const { return observers_.size(); }

  int addActivationObserver(ActivationObserver observer) override;
  void removeActivationObserver(int token) override { observers_.erase(token); }

 private:
  std::map<int, ActivationObserver> observers_;
  int next_ = 1;
};

class FakeBundleReader final : public BundleReader {
 public:
  // The information dictionary of the bundle at this URL (exact text).
  void setInfo(const std::string& bundleURL, pl::DictRef info) { infos_[bundleURL] = std::move(info); }
  pl::DictRef infoDictionary(const std::string& bundleURL) override;

 private:
  std::map<std::string, pl::DictRef, std::less<>> infos_;
};

// All of the above and the button actions' fakes, with an in-process driver world, its IOKit and
// a manual run loop. The process list holds "VantrelHelper" as the current process.
class FakePlatform {
 public:
  FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  iokit::InProcessDriverWorld world;
  iokit::IOKit iokit{world};
  rl::ManualRunLoop runLoop;
  FakeProcessManager processes;
  FakeConsoleSession session;
  FakeInputState input;
  FakeAccessibility accessibility;
  FakeDisplay display;
  FakeWorkspace workspace;
  FakeBundleReader bundles;
  FakeSleeper sleeper;
  FakePasteboard pasteboard;
  FakeSnippetsMenu snippetsMenu;
  FakeWorkspaceActions workspaceActions;
  FakeScriptRunner scripts;
  FakeSleeper actionSleeper;
  FakeAppleEventServices appleEvents{&actionSleeper};

  Platform platform();
  // Delivers what waits in the notification ports (as the main loop would).
  size_t runPending() { return runLoop.runPending(); }
};

}  // namespace sys
