// The services the helper program runs on when nothing stands in for the machine: this is the
// one place that chooses the machine's backend of each service. /proc for processes, logind for
// the session, Qt's event loop, cursor, clipboard and menus, the desktop's opener for items,
// addresses and applications, and an in-process driver world (empty until something publishes
// services in it). The others are quiet (platform/quiet/): nothing happens there yet.
// sim/client/sim_runtime.h puts the device simulator's backends in front of these.
#pragma once

#include "platform/iokit.h"
#include "platform/iokit_inprocess.h"
#include "platform/linux/linux_system.h"
#include "platform/qt/desktop_workspace_actions.h"
#include "platform/qt/logind_session.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_event_sleeper.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_runloop.h"
#include "platform/qt/qt_snippets_menu.h"
#include "platform/quiet/quiet_services.h"

namespace sys {

// Make it after the QApplication, on the main thread.
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
  QuietAccessibility accessibility;
  QtDisplay display;
  QuietWorkspace workspace;
  InfoPlistBundleReader bundles;
  ThreadSleeper sleeper;
  QtPasteboard pasteboard;
  QtSnippetsMenu snippetsMenu;
  DesktopWorkspaceActions workspaceActions;
  QuietScriptRunner scripts;
  QuietAppleEvents appleEvents;
  QtEventLoopSleeper actionSleeper;

  Platform platform() { return platformOf(*this); }
};

}  // namespace sys
