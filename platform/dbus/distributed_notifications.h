// Distributed notifications on the D-Bus session bus.
//
// A notification is one broadcast signal carrying the notification's name and its object (a
// string for every notification this system sends). Every process that observes a name gets each
// notification of that name from any sender, on the thread that owns the centre (the main
// thread), one at a time. Nobody answers: there is no connection and no delivery guarantee
// beyond the bus's own.
//
// An object text above kMaxObjectBytes is no notification of this system (the largest, the
// helper's device list, is about 6 KB): it is neither sent nor handed to an observer, only
// counted. The bus delivers such a message whole (the session bus takes messages up to 1 GB)
// and Qt turns its text into a QString on its own thread before any code of ours sees it, so
// the check comes before the text is converted again or parsed. That keeps a flood of large
// notifications cheap, as long as the main thread keeps taking them: the bus library stops
// reading from the bus while 63 MiB of received messages wait for the main thread, and a reply
// the main thread waits for (a blocking call) cannot arrive behind them.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariant>

#include <cstddef>
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
inline constexpr size_t kMaxObjectBytes = 64 * 1024;  // of UTF-8 text

class DistributedNotificationCenter : public QObject {
  Q_OBJECT

 public:
  // The object as it arrived: a string, or nothing for any other type.
  using Handler = std::function<void(const std::optional<std::string>& object)>;

  explicit DistributedNotificationCenter(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                                         QObject* parent = nullptr);

  bool connected() const { return bus_.isConnected(); }

  // Broadcasts the notification. False when the bus refused it (no bus, not valid UTF-8 ...) or
  // the object is larger than kMaxObjectBytes.
  bool post(const std::string& name, const std::string& object);
  // Broadcasts a notification whose object is any D-Bus value (for tests of the receivers).
  bool postVariant(const std::string& name, const QVariant& object);

  // Calls `handler` for every notification of this name, from any sender. One handler per name;
  // observing a name again replaces its handler. False when the bus would not add the match.
  bool observe(const std::string& name, Handler handler);
  void stopObserving(const std::string& name);

  // Notifications of an observed name dropped for their size, so far.
  size_t droppedOversized() const { return droppedOversized_; }

 private Q_SLOTS:
  void onSignal(const QDBusMessage& message);

 private:
  QDBusConnection bus_;
  std::map<std::string, Handler> handlers_;
  size_t droppedOversized_ = 0;
};

}  // namespace dbusnotify
