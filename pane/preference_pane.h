// A preference pane as a settings host drives it: the stand-in of NSPreferencePane, shared by
// the pane bundle's executable and every host that loads it (the settings program vantrel-settings
// today, a desktop's own settings centre later).
//
// A pane bundle is a folder "<Name>.prefPane":
//   Contents/Info.plist        CFBundleIdentifier, CFBundleVersion, CFBundleExecutable,
//                              NSPrincipalClass, NSMainNibFile
//   Contents/MacOS/<CFBundleExecutable>   a shared object (the host loads it with dlopen)
//   Contents/Resources/        the pane's resources (interface files, string tables, ...)
// The shared object exports, for its principal class "X", the C function "XCreate" of type
// PreferencePaneCreateFunction; the host owns the object it returns.
//
// The host's sequence: create the principal class; initWithBundle (false: the pane is not used);
// loadMainView (reads the main interface file and wakes its controllers) -- the host then puts
// the view into its window and owns it; mainViewDidLoad; didSelect when the window is shown and
// willUnselect before it is hidden or closed, any number of times, always alternating. It posts
// sys::kNSWindowDidBecomeKeyNotification and sys::kNSApplicationDidResignActiveNotification on
// the default sys::NotificationCenter (platform/notification_center.h) as its windows become
// active and as the application stops being the active one. The host deletes the pane before
// the window that holds its view. Everything on the main thread.
#pragma once

class QWidget;

namespace platform {
class Bundle;
}

class PreferencePane {
 public:
  virtual ~PreferencePane() = default;

  // The pane's bundle; false when the pane cannot work with it.
  virtual bool initWithBundle(const platform::Bundle& bundle) = 0;
  // Loads the main interface file and wakes its controllers; the main view, or null when the
  // interface cannot be loaded. Called once.
  virtual QWidget* loadMainView() = 0;
  // The view loadMainView gave (null before, or when it failed).
  virtual QWidget* mainView() const = 0;
  virtual void mainViewDidLoad() = 0;
  virtual void didSelect() = 0;
  virtual void willUnselect() = 0;
};

extern "C" {
using PreferencePaneCreateFunction = PreferencePane* (*)();
}
