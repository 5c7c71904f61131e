// The workspace on a Linux desktop.
//
// - Files, folders and URLs open with the desktop's opener: "xdg-open <path or URL>".
// - An application bundle identifier names a desktop entry by its id: "org.gnome.Calculator" is
//   "org.gnome.Calculator.desktop" in the applications folders of $XDG_DATA_HOME and
//   $XDG_DATA_DIRS (platform/linux/desktop_applications.h); it is started with
//   "gio launch <entry file>".
// - An application given by path: a bundle folder "<X>.app" starts its program
//   "Contents/MacOS/<CFBundleExecutable>" (of its Contents/Info.plist; "<X>" when that names
//   none), a ".desktop" file is launched as above, an executable file is started as it is.
//   Given by name ("Calculator", "Calculator.app"): the desktop entry whose id or Name is that
//   name (letter case ignored), else an executable of that name on $PATH.
//
// Every program is started detached and not waited for (the launch is asynchronous): in a
// session of its own, with standard input and output on /dev/null and this process's
// environment (platform/linux/detached_process.h). The result says whether it could be started.
// The starter is injectable so that tests need not start anything.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "platform/linux/desktop_applications.h"
#include "platform/workspace_actions.h"

class DesktopWorkspaceActions final : public sys::WorkspaceActions {
 public:
  using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;

  // Without a starter, programs are started with sys::startDetachedProcess (a program without a
  // slash is looked up on $PATH first). The applications are those of `applications` (which
  // must outlive this), else of the user's folders as they are now.
  explicit DesktopWorkspaceActions(Starter starter = {}, sys::xdg::ApplicationIndex* applications = nullptr);

  bool openFile(const std::string& path) override;
  bool launchApplication(const std::string& nameOrPath) override;
  bool launchAppWithBundleIdentifier(const std::string& bundleID, uint32_t options) override;
  bool openURL(const std::string& url) override;

  // The desktop entry file of the application with this id, or "".
  QString desktopEntryForIdentifier(const QString& id);
  // The desktop entry of the application whose id or Name is `name` (letter case ignored), or "".
  QString desktopEntryForName(const QString& name);

 private:
  bool launchDesktopEntry(const QString& file);
  bool launchBundle(const QString& folder);
  Starter fStarter;
  std::unique_ptr<sys::xdg::ApplicationIndex> fOwnApplications;
  sys::xdg::ApplicationIndex* fApplications;
};
