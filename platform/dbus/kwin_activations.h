// Application activations on KDE Plasma (X11 and Wayland): a small KWin script, loaded through
// KWin's scripting interface on the session bus ("org.kde.KWin", /Scripting), calls the helper's
// method "WindowActivated" (service "com.halvorn.vantrel.Helper", object
// /com/halvorn/vantrel/Helper) with the activated window's resource class, resource name,
// desktop file name and process id, all as text, or four empty texts when no window is active.
// The helper's bus object hands the call to `windowActivated`, which passes it on to the
// DesktopWorkspace.
//
// KWin is followed on the bus: the script is loaded when KWin is there (at start or later, and
// again after KWin restarts), replacing a copy left by a helper that did not end cleanly; while
// it runs, KWin is the workspace's preferred source (it sees Wayland windows, X11 only X ones).
// The script is unloaded when this object goes (the helper quits). Every call to KWin is
// asynchronous except that last one, which waits half a second at most.
#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

namespace sys {
class DesktopWorkspace;
}

namespace kwin {

inline constexpr char kService[] = "org.kde.KWin";
inline constexpr char kPluginName[] = "vantrel-helper";
inline constexpr char kHelperService[] = "com.halvorn.vantrel.Helper";
inline constexpr char kHelperPath[] = "/com/halvorn/vantrel/Helper";
inline constexpr char kHelperInterface[] = "com.halvorn.vantrel.Helper";

// The script's text (JavaScript for KWin 5 and 6).
QString scriptText();

class KWinActivations final : public QObject {
  Q_OBJECT

 public:
  enum class State { Absent, Loading, Running, Failed };

  // `scriptFolder` is where the script file is written (the user's runtime folder).
  KWinActivations(sys::DesktopWorkspace& workspace, const QDBusConnection& bus, QString scriptFolder);
  ~KWinActivations() override;

  // One call of the script. Texts longer than any class or file name, and process ids that are
  // not numbers, are taken as absent.
  void windowActivated(const QString& resourceClass, const QString& resourceName,
                       const QString& desktopFileName, const QString& pid);

  State state() const { return state_; }
  bool running() const { return state_ == State::Running; }
  const QString& scriptPath() const { return scriptPath_; }

 Q_SIGNALS:
  void stateChanged(kwin::KWinActivations::State state);

 private:
  void kwinAppeared();
  void kwinVanished();
  void load(bool replacing);
  void run(int id, bool plasma5Path);
  void setState(State state);

  sys::DesktopWorkspace& workspace_;
  QDBusConnection bus_;
  QDBusServiceWatcher watcher_;
  QString scriptPath_;
  State state_ = State::Absent;
  int generation_ = 0;  // replies of an earlier KWin are dropped
  bool loaded_ = false;
};

}  // namespace kwin
