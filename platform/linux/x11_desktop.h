// The X11 display as the helper watches it (xcb, no polling of the window tree):
//   X11Connection      one connection to the display; its events are read whenever the
//                      connection's descriptor is readable (rl::ReadinessWatcher) and handed to
//                      listeners on the main thread.
//   X11ActiveWindow    follows the root window's _NET_ACTIVE_WINDOW through property-change
//                      events and hands the new active window's WM_CLASS, _GTK_APPLICATION_ID and
//                      _NET_WM_PID (with its program, for a window of this machine, as
//                      WM_CLIENT_MACHINE tells) to a DesktopWorkspace. Works for X11 sessions and
//                      for X applications under XWayland (a Wayland window in front reads as no
//                      active window).
//   X11InputState      held modifiers and mouse buttons from the pointer query, the modifier
//                      keys found by their keysyms in the server's modifier mapping (Shift, Lock,
//                      Control; Alt, Meta, AltGr (ISO_Level3_Shift, Mode_switch) = Option; Super,
//                      Hyper = Command), read again when the server announces a new mapping.
// Reads are synchronous round trips to the local X server (tens of microseconds); nothing here
// waits on another client.
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/desktop_applications.h"
#include "platform/readiness_watcher.h"
#include "platform/runloop.h"
#include "platform/system_services.h"

namespace sys {

class DesktopWorkspace;

class X11Connection {
 public:
  // Connects to `display` ($DISPLAY when null); see connected(). The watcher and run loop must
  // outlive the connection.
  X11Connection(rl::ReadinessWatcher& watcher, rl::RunLoop& runLoop, const char* display = nullptr);
  ~X11Connection();
  X11Connection(const X11Connection&) = delete;
  X11Connection& operator=(const X11Connection&) = delete;

  bool connected() const { return connection_ != nullptr; }
  xcb_connection_t* xcb() const { return connection_; }
  xcb_window_t root() const { return root_; }
  // The atom of a name (interned once, then remembered); XCB_ATOM_NONE when it fails.
  xcb_atom_t atom(const char* name);

  // Called for every event, in order, on the main thread.
  using Listener = std::function<void(const xcb_generic_event_t& event)>;
  void addListener(Listener listener) { listeners_.push_back(std::move(listener)); }
  // Replies that were waited for may have brought events along; a call to this after such a
  // wait has them delivered soon (from the run loop, never from inside the caller).
  void eventsMayBeQueued() { pending_->signal(); }
  // Delivers what has arrived; also what the watcher calls.
  void dispatch();

 private:
  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  rl::ReadinessWatcher& watcher_;
  rl::RunLoop& runLoop_;
  rl::RunLoopSourceRef pending_;
  int fd_ = -1;
  std::vector<Listener> listeners_;
  std::map<std::string, xcb_atom_t> atoms_;
};

class X11ActiveWindow {
 public:
  // Starts following the active window of the connection's screen (the connection and the
  // workspace must outlive this). The window active at start is not announced: only changes.
  X11ActiveWindow(X11Connection& x, DesktopWorkspace& workspace);

 private:
  void activeWindowChanged();
  // What a window tells about its application.
  xdg::WindowHints read(xcb_window_t window);

  X11Connection& x_;
  DesktopWorkspace& workspace_;
  xcb_atom_t activeAtom_ = XCB_ATOM_NONE;
  std::string hostName_;
};

class X11InputState final : public InputState {
 public:
  // The connection must outlive this.
  explicit X11InputState(X11Connection& x);
  uint32_t GetCurrentKeyModifiers() override;
  uint32_t GetCurrentButtonState() override;

 private:
  std::optional<uint16_t> queryMask();
  void readModifierMapping();

  X11Connection& x_;
  uint16_t optionMask_ = XCB_MOD_MASK_1;
  uint16_t commandMask_ = XCB_MOD_MASK_4;
};

}  // namespace sys
