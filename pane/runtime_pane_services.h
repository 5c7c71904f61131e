// The pane's services on this machine: the user's settings file and the pane bundle's factory
// settings, distributed notifications on the session bus, the HID devices of the simulator while
// it is on the bus and otherwise of udev, Qt timers, /proc, the desktop's workspace, the XDG
// autostart entries. Make it after the QApplication, on the main thread.
#pragma once

#include <memory>

#include "pane/pane_services.h"

namespace panesvc {

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
