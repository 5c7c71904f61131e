// The pane's services for tests: notifications that are recorded and delivered on request, a
// clock the test moves, timers and posted work that run when the test says, and the platform
// fakes (HID devices, processes, workspace, login items), all in one world. The settings files
// live in a temporary folder of their own.
#pragma once

#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pane/pane_services.h"
#include "platform/fake/fake_hid.h"
#include "platform/fake/fake_login_items.h"
#include "platform/fake/fake_system.h"
#include "platform/fake/fake_workspace_actions.h"
#include "platform/plist.h"
#include "platform/runloop.h"

namespace panesvc {

class FakeNotifications final : public Notifications {
 public:
  struct Posted {
    std::string name;
    std::string object;
  };
  bool post(const std::string& name, const std::string& object) override;
  bool observe(const std::string& name, Handler handler) override;
  void stopObserving(const std::string& name) override { handlers_.erase(name); }

  // Hands a notification to the observer of `name` (as if another process had posted it).
  void deliver(const std::string& name, const std::optional<std::string>& object);
  bool observing(const std::string& name) const { return handlers_.count(name) > 0; }

  // The "command" values of the dictionaries posted under `name`, in order.
  std::vector<std::string> commands(const std::string& name) const;
  // The decoded dictionaries posted under `name`.
  std::vector<pl::DictRef> dictionaries(const std::string& name) const;

  std::vector<Posted> posted;
  bool failPost = false;

 private:
  std::map<std::string, Handler> handlers_;
};

class FakeClock final : public Clock {
 public:
  double now() override { return time; }
  std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) override;
  void postToMainLoop(std::function<void()> work) override { posted_.push_back(std::move(work)); }

  // Moves the clock on, firing every live timer as many times as its interval passes.
  void advance(double seconds);
  // Runs the posted work (and work posted meanwhile). Returns how many ran.
  size_t runPosted();
  size_t liveTimers() const;

  double time = 800000000.0;  // some day in 2026, in seconds since 2001

 private:
  struct Entry {
    double interval;
    double next;
    std::function<void()> tick;
    std::shared_ptr<bool> alive;
  };
  std::vector<Entry> timers_;
  std::vector<std::function<void()>> posted_;
};

// Every fake, and the services that point at them.
struct FakePaneWorld {
  FakePaneWorld();
  PaneServices services();
  // Runs what the main loop would: HID deliveries, posted work.
  void settle();

  QTemporaryDir folder;
  std::string settingsPath;
  std::string factoryPath;
  FakeNotifications notifications;
  FakeClock clock;
  sys::FakeHIDDevices hid;
  rl::ManualRunLoop runLoop;
  sys::FakeProcessManager processes;
  sys::FakeWorkspaceActions workspace;
  sys::FakeLoginItems loginItems;
};

}  // namespace panesvc
