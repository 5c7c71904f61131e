// The services the helper program runs on: /proc, logind, Qt's event loop and cursor, and an
// in-process driver world (empty until something publishes services in it). Services whose
// events would come from the simulated world stay quiet for now.
#pragma once

#include "platform/iokit.h"
#include "platform/iokit_inprocess.h"
#include "platform/linux/linux_system.h"
#include "platform/qt/logind_session.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_runloop.h"

namespace sys {

// Make it after the QCoreApplication, on the main thread.
class RuntimePlatform {
 public:
  RuntimePlatform() = default;
  RuntimePlatform(const RuntimePlatform&) = delete;
  RuntimePlatform& operator=(const RuntimePlatform&) = delete;

  iokit::InProcessDriverWorld world;
  iokit::IOKit iokit{world};
  rl::QtRunLoop runLoop;
  ProcFsProcessManager processes;
  LogindSession session;
  QuietInputState input;
  NoAccessibility accessibility;
  QtDisplay display;
  QuietWorkspace workspace;
  InfoPlistBundleReader bundles;
  ThreadSleeper sleeper;

  Platform platform() {
    return platformOf(*this);
  }
};

}  // namespace sys
