// The system services the helper uses besides IOKit, each behind a small interface shaped after
// the call it stands for: the Process Manager, the window server's session dictionary, the
// current key modifiers and mouse buttons, Accessibility and the pointer warp, the workspace's
// application activations, bundles' information dictionaries; blocking waits (sleeper.h).
//
// `sys::Platform` hands one set of them (plus IOKit, the main run loop and the button actions'
// services: pasteboard, snippets menu, workspace actions, scripts, Apple events) to the helper.
// Backends: platform/fake/ (deterministic, driven by tests), platform/linux/ (runtime, no Qt:
// /proc, desktop entries, X11), platform/dbus/ (KWin, AT-SPI, MPRIS, logind), platform/qt/
// (runtime parts that need Qt), platform/quiet/ (a system where nothing happens), sim/client/
// (the device simulator's).
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/apple_events.h"
#include "platform/pasteboard.h"
#include "platform/plist.h"
#include "platform/process_number.h"
#include "platform/script_runner.h"
#include "platform/sleeper.h"
#include "platform/snippets_menu.h"
#include "platform/status_codes.h"
#include "platform/workspace_actions.h"

namespace iokit {
class IOKit;
}
namespace rl {
class RunLoop;
}

namespace sys {

// ---- Process Manager -------------------------------------------------------------------------

struct ProcessInfoRec {
  unsigned char* processName = nullptr;  // 256-byte buffer, or null for no name
  // When the process was started, in the system's clock ticks; 0 when it is not known.
  uint64_t processLaunchDate = 0;
};

class ProcessManager {
 public:
  virtual ~ProcessManager() = default;
  virtual OSErr GetCurrentProcess(ProcessSerialNumber* psn) = 0;
  // From {0, kNoProcess} the first process, from a process the next; procNotFound at the end.
  virtual OSErr GetNextProcess(ProcessSerialNumber* psn) = 0;
  virtual OSErr GetProcessInformation(const ProcessSerialNumber& psn, ProcessInfoRec* info) = 0;
  virtual OSErr SameProcess(const ProcessSerialNumber& a, const ProcessSerialNumber& b,
                            bool* result) = 0;
};

// ---- window-server session --------------------------------------------------------------------

inline constexpr char kCGSessionOnConsoleKey[] = "kCGSSessionOnConsoleKey";

class ConsoleSession {
 public:
  virtual ~ConsoleSession() = default;
  // The session dictionary of the current user session (kCGSessionOnConsoleKey: boolean), or
  // null when there is none.
  virtual pl::DictRef CGSessionCopyCurrentDictionary() = 0;
};

// ---- keyboard and mouse state -------------------------------------------------------------------

class InputState {
 public:
  virtual ~InputState() = default;
  // Classic modifiers now held: 0x0100 command, 0x0200 shift, 0x0400 caps lock, 0x0800 option,
  // 0x1000 control.
  virtual uint32_t GetCurrentKeyModifiers() = 0;
  // Mouse buttons now down: bit 0 primary, bit 1 secondary, ...
  virtual uint32_t GetCurrentButtonState() = 0;
};

// ---- Accessibility and the pointer ------------------------------------------------------------------

struct CGPoint {
  double x = 0;
  double y = 0;
  bool operator==(const CGPoint&) const = default;
};
struct CGSize {
  double width = 0;
  double height = 0;
  bool operator==(const CGSize&) const = default;
};

using AXError = int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorIllegalArgument = -25201;
inline constexpr AXError kAXErrorInvalidUIElement = -25202;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorAPIDisabled = -25211;
inline constexpr AXError kAXErrorNoValue = -25212;

inline constexpr char kAXFocusedApplicationAttribute[] = "AXFocusedApplication";
inline constexpr char kAXFocusedWindowAttribute[] = "AXFocusedWindow";
inline constexpr char kAXDefaultButtonAttribute[] = "AXDefaultButton";
inline constexpr char kAXEnabledAttribute[] = "AXEnabled";
inline constexpr char kAXPositionAttribute[] = "AXPosition";
inline constexpr char kAXSizeAttribute[] = "AXSize";
inline constexpr char kAXChildrenAttribute[] = "AXChildren";

// An element of the user interface; backends derive their own. Released when the last
// reference goes.
class AXUIElement {
 public:
  virtual ~AXUIElement() = default;
};
using AXUIElementRef = std::shared_ptr<AXUIElement>;

// An attribute's value: an element, a boolean, a point or size value, a number, text, or a list
// of elements.
using AXValue = std::variant<AXUIElementRef, bool, CGPoint, CGSize, double, std::string,
                             std::vector<AXUIElementRef>>;

class Accessibility {
 public:
  virtual ~Accessibility() = default;
  // Whether this process may use the accessibility interface.
  virtual bool AXAPIEnabled() = 0;
  virtual AXUIElementRef AXUIElementCreateSystemWide() = 0;
  virtual AXError AXUIElementCopyAttributeValue(const AXUIElementRef& element,
                                                std::string_view attribute, AXValue* value) = 0;
  virtual AXError AXUIElementGetAttributeValueCount(const AXUIElementRef& element,
                                                    std::string_view attribute,
                                                    long* count) = 0;
};

using CGError = int32_t;
inline constexpr CGError kCGErrorSuccess = 0;
inline constexpr CGError kCGErrorFailure = 1000;

class Display {
 public:
  virtual ~Display() = default;
  // Moves the pointer to a point in global display coordinates.
  virtual CGError CGWarpMouseCursorPosition(CGPoint point) = 0;
};

// ---- workspace ---------------------------------------------------------------------------------

// The running application of an activation; each field may be absent.
struct RunningApplication {
  std::optional<std::string> bundleIdentifier;
  std::optional<std::string> bundleURL;      // e.g. "file:///Applications/Mail.app/"
  std::optional<std::string> executableURL;  // e.g. "file:///Applications/Mail.app/Contents/MacOS/Mail"
};

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Called on the main thread whenever an application becomes frontmost; the argument is the
  // notification's application, null when the notification carries none.
  using ActivationObserver = std::function<void(const RunningApplication*)>;
  // Returns a token for removeActivationObserver; never 0 (owners keep 0 for "none").
  virtual int addActivationObserver(ActivationObserver observer) = 0;
  virtual void removeActivationObserver(int token) = 0;
};

class BundleReader {
 public:
  virtual ~BundleReader() = default;
  // The information dictionary of the bundle at a file URL (or plain path); null when there is
  // no bundle or it has no readable dictionary.
  virtual pl::DictRef infoDictionary(const std::string& bundleURL) = 0;
};

// ---- all of it --------------------------------------------------------------------------------

// One set of services for the helper core and its button actions. Each user says which it needs
// (complete(), completeForActions()); those must be set and outlive the user. Where the program
// gets each of them is decided in one place: platform/qt/runtime_platform.h (the machine's
// backends), wrapped by sim/client/sim_runtime.h (the simulator's, while it is on the bus).
struct Platform {
  // The helper core.
  iokit::IOKit* iokit = nullptr;
  rl::RunLoop* mainRunLoop = nullptr;
  ProcessManager* processes = nullptr;
  ConsoleSession* session = nullptr;
  InputState* input = nullptr;
  Accessibility* accessibility = nullptr;
  Display* display = nullptr;
  Workspace* workspace = nullptr;
  BundleReader* bundles = nullptr;
  Sleeper* sleeper = nullptr;  // blocks the thread
  // The button actions.
  Pasteboard* pasteboard = nullptr;
  SnippetsMenu* snippetsMenu = nullptr;
  WorkspaceActions* workspaceActions = nullptr;
  ScriptRunner* scripts = nullptr;
  AppleEventServices* appleEvents = nullptr;
  Sleeper* actionSleeper = nullptr;  // may keep the event loop running (the clipboard is served)

  bool complete() const {
    return iokit && mainRunLoop && processes && session && input && accessibility && display &&
           workspace && bundles && sleeper;
  }
  bool completeForActions() const {
    return pasteboard && snippetsMenu && workspaceActions && scripts && appleEvents && actionSleeper;
  }
};

// The Platform of an object that holds one service of each kind under the member names of
// Platform (`runLoop` for the main run loop): the fake platform of the tests, the runtime
// platform of the program.
template <class Services>
Platform platformOf(Services& s) {
  Platform p;
  p.iokit = &s.iokit;
  p.mainRunLoop = &s.runLoop;
  p.processes = &s.processes;
  p.session = &s.session;
  p.input = &s.input;
  p.accessibility = &s.accessibility;
  p.display = &s.display;
  p.workspace = &s.workspace;
  p.bundles = &s.bundles;
  p.sleeper = &s.sleeper;
  p.pasteboard = &s.pasteboard;
  p.snippetsMenu = &s.snippetsMenu;
  p.workspaceActions = &s.workspaceActions;
  p.scripts = &s.scripts;
  p.appleEvents = &s.appleEvents;
  p.actionSleeper = &s.actionSleeper;
  return p;
}

// The button actions' part alone (tools and tests that run actions without a helper).
inline Platform actionServices(Pasteboard& pasteboard, SnippetsMenu& snippetsMenu,
                               WorkspaceActions& workspaceActions, ScriptRunner& scripts,
                               AppleEventServices& appleEvents, Sleeper& sleeper) {
  Platform p;
  p.pasteboard = &pasteboard;
  p.snippetsMenu = &snippetsMenu;
  p.workspaceActions = &workspaceActions;
  p.scripts = &scripts;
  p.appleEvents = &appleEvents;
  p.actionSleeper = &sleeper;
  return p;
}

// ---- URL helpers for bundle and executable URLs -------------------------------------------------

// The path of a "file://" URL (percent escapes decoded); other text is taken as a path.
std::string pathFromURL(std::string_view url);
// The last path component ("Mail.app" of ".../Mail.app/"); empty for "/" or "".
std::string lastPathComponent(std::string_view pathOrURL);
// The name without its extension ("Mail" of "Mail.app"); a leading dot is not an extension.
std::string deletingPathExtension(std::string_view name);

}  // namespace sys
