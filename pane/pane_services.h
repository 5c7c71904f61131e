// The platform services of the preferences pane, bundled in one struct so that the pane and its
// controller reach the machine only through it: the settings file's location, the distributed
// notifications to and from the helper, the HID manager, timers and the clock, the process list,
// the workspace (to launch the helper) and the session login items.
//
// At run time pane/runtime_pane_services.h makes the real ones; tests use
// pane/testing/fake_pane_services.h. Every service is used on the main thread only, and none of
// them waits for another process: a notification is posted and forgotten, an answer arrives
// later as a notification of its own.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace rl {
class RunLoop;
}
namespace sys {
class HIDManagers;
class LoginItems;
class ProcessManager;
class WorkspaceActions;
}  // namespace sys

namespace panesvc {

// Where the settings live: the user's file and the factory settings.
struct SettingsLocation {
  std::string settingsPath;
  std::string factoryPath;
};

// Distributed notifications between pane and helper (names and objects as text).
class Notifications {
 public:
  // The object of a notification as it arrived: text, or nothing when it was something else.
  using Handler = std::function<void(const std::optional<std::string>& object)>;
  virtual ~Notifications() = default;
  // Broadcasts; false when it could not be sent. Never waits for anybody to answer.
  virtual bool post(const std::string& name, const std::string& object) = 0;
  // One handler per name; observing again replaces it.
  virtual bool observe(const std::string& name, Handler handler) = 0;
  virtual void stopObserving(const std::string& name) = 0;
};

// A repeating timer; it stops when destroyed.
class Timer {
 public:
  virtual ~Timer() = default;
};

// Timers on the main loop and the clock.
class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since 2001-01-01 00:00 UTC.
  virtual double now() = 0;
  // Calls `tick` every `seconds` on the main loop until the timer is destroyed.
  virtual std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) = 0;
  // Calls `work` once, on a later pass of the main loop (never from inside this call).
  virtual void postToMainLoop(std::function<void()> work) = 0;
};

struct PaneServices {
  SettingsLocation files;
  Notifications* notifications = nullptr;
  sys::HIDManagers* hid = nullptr;
  rl::RunLoop* runLoop = nullptr;  // where the HID manager delivers
  Clock* clock = nullptr;
  sys::ProcessManager* processes = nullptr;
  sys::WorkspaceActions* workspace = nullptr;
  sys::LoginItems* loginItems = nullptr;
};

}  // namespace panesvc
