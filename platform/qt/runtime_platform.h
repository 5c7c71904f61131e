// The services the helper program runs on when nothing stands in for the machine: this is the
// one place that chooses the machine's backend of each service, at start, from what the session
// offers. sim/client/sim_runtime.h puts the device simulator's backends in front of these.
//
//   processes         /proc
//   console session   logind on the system bus (none without it)
//   front application KWin script when KWin is on the session bus (KDE Plasma, X11 and Wayland);
//                     else the X11 root's _NET_ACTIVE_WINDOW when there is an X display (X11
//                     sessions, and X applications under XWayland); else none
//   bundles           the activated applications' identities (desktop entries), else Info.plist
//   held keys/buttons the X11 pointer query on X11 sessions; none on Wayland
//   accessibility     the AT-SPI accessibility bus
//   pointer warp      Qt's cursor (works on X11)
//   scripts           /bin/sh -c, detached
//   power, media      logind's Reboot/PowerOff/Suspend on the system bus; MPRIS players
//   pasteboard, menu, Qt's clipboard and QMenu; xdg-open and gio launch
//   workspace actions
// The driver world is in-process and empty until something publishes services in it.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/dbus/atspi_accessibility.h"
#include "platform/dbus/desktop_apple_events.h"
#include "platform/dbus/kwin_activations.h"
#include "platform/iokit.h"
#include "platform/iokit_inprocess.h"
#include "platform/linux/desktop_applications.h"
#include "platform/linux/desktop_workspace.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/x11_desktop.h"
#include "platform/qt/desktop_workspace_actions.h"
#include "platform/qt/logind_session.h"
#include "platform/qt/qt_display.h"
#include "platform/qt/qt_event_sleeper.h"
#include "platform/qt/qt_pasteboard.h"
#include "platform/qt/qt_readiness_watcher.h"
#include "platform/qt/qt_runloop.h"
#include "platform/qt/qt_snippets_menu.h"
#include "platform/qt/shell_script_runner.h"

namespace sys {

// What the session offers, from its environment.
struct SessionOffer {
  bool x11Display = false;     // $DISPLAY is set
  bool waylandSession = false;  // $WAYLAND_DISPLAY is set or $XDG_SESSION_TYPE is "wayland"
  static SessionOffer fromEnvironment();
};

// The held keys and buttons of whatever backend the session allows, chosen at start.
class ChosenInputState final : public InputState {
 public:
  void choose(std::unique_ptr<InputState> backend) { backend_ = std::move(backend); }
  const InputState* chosen() const { return backend_.get(); }
  uint32_t GetCurrentKeyModifiers() override { return backend_ ? backend_->GetCurrentKeyModifiers() : 0; }
  uint32_t GetCurrentButtonState() override { return backend_ ? backend_->GetCurrentButtonState() : 0; }

 private:
  std::unique_ptr<InputState> backend_;
};

// Make it after the QApplication, on the main thread.
class RuntimePlatform {
 public:
  explicit RuntimePlatform(SessionOffer offer = SessionOffer::fromEnvironment(),
                           const QDBusConnection& sessionBus = QDBusConnection::sessionBus(),
                           const QDBusConnection& systemBus = QDBusConnection::systemBus());
  RuntimePlatform(const RuntimePlatform&) = delete;
  RuntimePlatform& operator=(const RuntimePlatform&) = delete;

  Platform platform() { return platformOf(*this); }
  // Which backend runs each service now: pairs of (service, backend), for people who ask.
  std::vector<std::pair<std::string, std::string>> backends() const;

  SessionOffer offer;
  iokit::InProcessDriverWorld world;
  iokit::IOKit iokit{world};
  rl::QtRunLoop runLoop;
  rl::QtReadinessWatcher watcher;
  ProcFsProcessManager processes;
  LogindSession session;
  xdg::ApplicationIndex applications;
  DesktopWorkspace workspace{applications};
  DesktopBundleReader bundles{workspace};
  std::unique_ptr<X11Connection> x11;
  std::unique_ptr<X11ActiveWindow> x11ActiveWindow;
  std::unique_ptr<kwin::KWinActivations> kwinActivations;
  ChosenInputState input;
  atspi::Accessibility accessibility;
  QtDisplay display;
  ThreadSleeper sleeper;
  QtPasteboard pasteboard;
  QtSnippetsMenu snippetsMenu;
  DesktopWorkspaceActions workspaceActions;
  ShellScriptRunner scripts;
  DesktopAppleEvents appleEvents;
  QtEventLoopSleeper actionSleeper;
};

}  // namespace sys
