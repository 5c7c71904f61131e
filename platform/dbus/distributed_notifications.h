// Distributed notifications on the D-Bus session bus.
//
// A notification is one broadcast signal carrying the notification's name and its object (a
// string for every notification this system sends). Every process that observes a name gets each
// notification of that name from any sender, on the thread that owns the centre (the main
// thread), one at a time. Nobody answers: there is no connection and no delivery guarantee
// beyond the bus's own.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

class QDBusMessage;

namespace dbusnotify {

inline constexpr const char* kPath = "/com/halvorn/vantrel/DistributedNotifications";
inline constexpr const char* kInterface = "com.halvorn.vantrel.DistributedNotifications";
inline constexpr const char* kSignal = "Notification";

class DistributedNotificationCenter : public QObject {
  Q_OBJECT

 public:
  // The object as it arrived: a string, or nothing for any other type.
  using Handler = std::function<void(const std::optional<std::string>& object)>;

  explicit DistributedNotificationCenter(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                         QObject* parent = nullptr);

  bool connected() const { return bus_.isConnected(); }

  // Broadcasts the notification. False when the bus refused it (no bus, not valid UTF-8 ...).
  bool post(const std::string& name, const std::string& object);
  // Broadcasts a notification whose object is any D-Bus value (for tests of the receivers).
  bool postVariant(const std::string& name, const QVariant& object);

  // Calls `handler` for every notification of this name, from any sender. One handler per name;
  // observing a name again replaces its handler. False when the bus would not add the match.
  bool observe(const std::string& name, Handler handler);
  void stopObserving(const std::string& name);

 private Q_SLOTS:
  void onSignal(const QDBusMessage& message);

 private:
  QDBusConnection bus_;
  std::map<std::string, Handler> handlers_;
};

}  // namespace dbusnotify
