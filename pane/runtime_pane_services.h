// The pane's services on this machine: the user's settings file and the pane bundle's factory
// settings, distributed notifications on the session bus, the HID devices of the simulator while
// it is on the bus (when the pane is selected) and otherwise of udev, Qt timers, /proc, the desktop's workspace, the XDG
// autostart entries. Make it after the QApplication, on the main thread.
#pragma once

#include <QDBusConnection>

#include <memory>

#include "pane/pane_services.h"

namespace rl {
class ReadinessWatcher;
}

namespace panesvc {

// The parts, each on its own, for a pane on a bus of the caller's choosing (tests, other hosts).
std::unique_ptr<Notifications> makeBusNotifications(const QDBusConnection& bus);
// The simulator's HID devices while it is on `bus`, else udev's (through `watcher`).
std::unique_ptr<sys::HIDManagers> makeHIDManagers(const QDBusConnection& bus, rl::ReadinessWatcher& watcher);
// Qt timers and the wall clock.
std::unique_ptr<Clock> makeQtClock();

class RuntimePaneServices {
 public:
  RuntimePaneServices();
  ~RuntimePaneServices();
  RuntimePaneServices(const RuntimePaneServices&) = delete;
  RuntimePaneServices& operator=(const RuntimePaneServices&) = delete;

  const PaneServices& services() const { return fServices; }

 private:
  struct Parts;
  std::unique_ptr<Parts> fParts;
  PaneServices fServices;
};

}  // namespace panesvc
