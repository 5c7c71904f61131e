// The settings host's window and the pane's life cycle in it (pane/preference_pane.h):
//
//   open()            loadMainView; the view goes into the window "Vantrel Settings";
//                     mainViewDidLoad; the window is shown
//   window shown      didSelect
//   window closed     willUnselect; the application quits
//   shutdown()        willUnselect when still selected (the application quits for another
//                     reason: a termination signal, the session ending), then the pane object
//                     is deleted, then the window with the view
//
// While the host runs it posts, on sys::NotificationCenter::defaultCenter(),
// kNSWindowDidBecomeKeyNotification whenever one of its windows becomes the active one (menus and
// tool tips aside) and kNSApplicationDidResignActiveNotification when the application stops
// being the active one; activeChanged() says the same for other listeners. Main thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <memory>

#include "pane/host/pane_loader.h"

namespace settingshost {

inline constexpr char kWindowTitle[] = "Vantrel Settings";

class SettingsHost final : public QObject {
  Q_OBJECT

 public:
  explicit SettingsHost(std::unique_ptr<LoadedPane> pane, QObject* parent = nullptr);
  ~SettingsHost() override;

  // Loads the pane's view into the window and shows it. False when the pane gives no view; the
  // window is not shown then and `*failure` says why.
  bool open(LoadFailure* failure);
  // Ends the pane's time in this host (see above). Called again, it does nothing.
  void shutdown();

  QWidget* window() const { return fWindow.get(); }
  bool selected() const { return fSelected; }

 Q_SIGNALS:
  // The application became the active one (true) or stopped being it (false).
  void activeChanged(bool active);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void select();
  void unselect();
  void focusWindowChanged(class QWindow* window);
  void applicationStateChanged(Qt::ApplicationState state);

  std::unique_ptr<LoadedPane> fPane;
  std::unique_ptr<QWidget> fWindow;
  bool fSelected = false;
  bool fActive = false;
};

}  // namespace settingshost
