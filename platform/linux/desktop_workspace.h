// Application activations on a Linux desktop. Whatever follows the active window (the X11
// root's _NET_ACTIVE_WINDOW, a KWin script) hands each newly active window's hints to
// `DesktopWorkspace::windowActivated`; the workspace finds the application behind it
// (platform/linux/desktop_applications.h: its desktop entry, else the window and its program)
// and tells the activation observers when the application in front is another one than before:
// another identity, or another process of it. Switching between windows of one application is
// no activation, as it is none for an application's own windows on the Mac.
//
// The running application of an activation: bundle identifier (the desktop id, when there is an
// entry), bundle URL (the entry file, else the program), executable URL (the program). Its
// information dictionary (the identity contract's keys) is kept by URL for DesktopBundleReader,
// which falls back on bundles' Info.plist for any other URL.
//
// No active window (the desktop clicked, the last window closed, or under XWayland a Wayland
// window in front that X11 cannot see) is an activation of an application that is known by
// nothing: only profiles that name no application apply while it lasts.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/linux/desktop_applications.h"
#include "platform/linux/linux_system.h"
#include "platform/system_services.h"

namespace sys {

class DesktopWorkspace final : public Workspace {
 public:
  // `index` must outlive the workspace.
  explicit DesktopWorkspace(xdg::ApplicationIndex& index) : index_(index) {}

  int addActivationObserver(ActivationObserver observer) override;
  void removeActivationObserver(int token) override;

  // The window now active (from `source`: "x11", "kwin"), or none. Called on the main thread.
  void windowActivated(const std::optional<xdg::WindowHints>& hints, const char* source);
  // While a source is preferred, the others are not listened to (KWin sees Wayland windows
  // too, X11 only X ones); "" listens to all.
  void preferSource(std::string source) { preferred_ = std::move(source); }
  const std::string& preferredSource() const { return preferred_; }

  // What the last activation was made of, for people who ask why a profile does not switch.
  struct Seen {
    bool any = false;  // an activation was seen
    std::string source;
    bool window = false;  // there was an active window
    xdg::WindowHints hints;
    std::string entryPath;  // the desktop entry found for it; "" when none
    std::string matchedBy;  // how it was found (see ApplicationIndex::forWindow)
    xdg::ApplicationIdentity identity;
  };
  const Seen& lastActivation() const { return seen_; }
  // The information dictionary of an application this workspace activated, by its bundle URL.
  pl::DictRef infoFor(const std::string& bundleURL) const;

 private:
  xdg::ApplicationIndex& index_;
  std::map<int, ActivationObserver> observers_;
  int next_ = 0;
  Seen seen_;
  std::string preferred_;
  std::map<std::string, pl::DictRef> infos_;
};

class DesktopBundleReader final : public BundleReader {
 public:
  explicit DesktopBundleReader(const DesktopWorkspace& workspace) : workspace_(workspace) {}
  pl::DictRef infoDictionary(const std::string& bundleURL) override;

 private:
  const DesktopWorkspace& workspace_;
  InfoPlistBundleReader bundles_;
};

}  // namespace sys
