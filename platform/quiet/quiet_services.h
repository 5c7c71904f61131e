// The quiet backends, standing for a system on which nothing happens: no session information
// (the helper counts itself on the console), nothing held, no accessibility, a pointer that
// cannot be moved, no activations, no processes to send Apple events to, no script host. Tests
// use them as fallbacks that never reach the real machine.
#pragma once

#include "platform/apple_events.h"
#include "platform/script_runner.h"
#include "platform/system_services.h"

namespace sys {

class QuietConsoleSession final : public ConsoleSession {
 public:
  pl::DictRef CGSessionCopyCurrentDictionary() override { return nullptr; }
};

class QuietInputState final : public InputState {
 public:
  uint32_t GetCurrentKeyModifiers() override { return 0; }
  uint32_t GetCurrentButtonState() override { return 0; }
};

// Access not granted.
class QuietAccessibility final : public Accessibility {
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

class QuietDisplay final : public Display {
 public:
  CGError CGWarpMouseCursorPosition(CGPoint) override { return kCGErrorFailure; }
};

// No application is ever activated.
class QuietWorkspace final : public Workspace {
 public:
  int addActivationObserver(ActivationObserver) override { return ++next_; }
  void removeActivationObserver(int) override {}

 private:
  int next_ = 0;
};

// Nothing is running, nothing can be opened and no event is delivered.
class QuietAppleEvents final : public AppleEventServices {
 public:
  int32_t getNextProcess(ProcessSerialNumber*) override { return procNotFound; }
  int32_t getProcessSignature(const ProcessSerialNumber&, uint32_t*) override {
    return procNotFound;
  }
  int32_t openApplicationWithCreator(uint32_t) override { return kLSApplicationNotFoundErr; }
  int32_t sendAppleEvent(const AppleEvent&) override { return procNotFound; }
};

class QuietScriptRunner final : public ScriptRunner {
 public:
  int32_t runAppleScript(const std::string&) override { return kOSAScriptError; }
};

}  // namespace sys
