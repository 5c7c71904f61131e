// Accessibility on a Linux desktop: the AT-SPI accessibility bus, as screen readers use it.
//
// Access is granted while the session's accessibility bus is enabled (org.a11y.Bus,
// org.a11y.Status.IsEnabled: the desktop's accessibility switch) and the helper is connected to
// it. The focused application and window are the window that last said it was activated
// (window:activate events, which the helper registers for with the registry; at first, the
// window with the "active" state); its default button is the first showing object below it, in
// breadth-first order, with the "is-default" state (at most 400 objects are looked at), read
// with its screen extents, enabled state ("enabled" and "sensitive") and the window's child
// count.
//
// Applications may hang, so the helper never waits for one: every call is asynchronous (0.25 s
// each, 1.5 s for one look at most). What the accessibility calls return is the last complete
// look, and reading the focused application starts the next one (as does an activation while
// someone reads); the snap-to-default timer that reads every half second therefore sees the
// window as it was at most one tick and one look ago. A look finds a window and default button
// it looked at before again with four calls (and reads their names only when it walks); the
// window's objects are walked again when the window or its child count changed, when the button
// it knows is no longer the default one, and ten seconds after the last walk. Without an active
// window it searches all applications' windows at most every two seconds, until an activation
// names one.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "platform/system_services.h"

namespace atspi {

// One object on the accessibility bus.
struct Ref {
  QString service;
  QString path;
  bool operator==(const Ref&) const = default;
  bool empty() const { return service.isEmpty(); }
};

// What one look saw.
struct Look {
  bool window = false;  // a focused window was found
  Ref application;
  QString applicationName;
  Ref focusedWindow;
  QString windowName;
  int children = -1;  // the window's child count, -1 when it could not be read
  bool button = false;  // it has a default button
  Ref defaultButton;
  QString buttonName;
  bool enabled = false;
  int x = 0, y = 0, width = 0, height = 0;
};

class Accessibility final : public QObject, public sys::Accessibility {
  Q_OBJECT

 public:
  // Reads the accessibility switch from the session bus once (waiting half a second at most,
  // without starting the bus if it is not running), then follows it.
  explicit Accessibility(const QDBusConnection& session);
  ~Accessibility() override;

  bool AXAPIEnabled() override;
  sys::AXUIElementRef AXUIElementCreateSystemWide() override;
  sys::AXError AXUIElementCopyAttributeValue(const sys::AXUIElementRef& element, std::string_view attribute,
                                             sys::AXValue* value) override;
  sys::AXError AXUIElementGetAttributeValueCount(const sys::AXUIElementRef& element, std::string_view attribute,
                                                 long* count) override;

  bool enabled() const { return enabled_; }
  bool connected() const { return a11y_.has_value() && a11y_->isConnected(); }
  // The last complete look (empty before the first).
  const Look& lastLook() const { return *look_; }
  // Starts a look unless one is under way (then one more follows it).
  void look();
  bool looking() const { return walk_ != nullptr; }

 Q_SIGNALS:
  // A look is complete.
  void looked();

 private Q_SLOTS:
  void statusChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);
  void windowEvent(const QDBusMessage& signal);

 private:
  struct Walk;
  void setEnabled(bool enabled);
  void connectToBus(const QString& address);
  void disconnectFromBus();
  void finish(Look look);
  void call(const Ref& target, const char* interface, const char* method, const QList<QVariant>& args,
            std::function<void(const QDBusMessage&)> onReply);
  void findActiveWindow(std::shared_ptr<Walk> walk);
  void lookAtWindow(std::shared_ptr<Walk> walk);
  void findDefaultButton(std::shared_ptr<Walk> walk);
  void readButton(std::shared_ptr<Walk> walk, const Ref& button);
  void readNames(std::shared_ptr<Walk> walk);

  QDBusConnection session_;
  QDBusServiceWatcher busWatcher_;
  std::optional<QDBusConnection> a11y_;
  QString a11yName_;
  bool enabled_ = false;
  Ref focused_;  // the window that last said it was activated
  std::shared_ptr<const Look> look_;
  std::shared_ptr<Walk> walk_;
  bool again_ = false;
  QElapsedTimer sinceRead_;   // since the last read of the focused application
  QElapsedTimer lastSearch_;  // since the last search for the active window
  // The default button found by the last walk, for the window and child count it was found in.
  struct Found {
    Ref window;
    int children = -1;
    Ref button;  // empty: none
    QElapsedTimer age;
    QString applicationName, windowName, buttonName;
  };
  std::optional<Found> found_;
  int generation_ = 0;
};

}  // namespace atspi
