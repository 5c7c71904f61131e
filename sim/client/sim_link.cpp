#include "sim/client/sim_link.h"

#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include "sim/sim_names.h"

namespace simbus {

void registerSimTypes() {
  static const bool done = [] {
    qDBusRegisterMetaType<QList<qulonglong>>();
    qDBusRegisterMetaType<QList<uint>>();
    return true;
  }();
  (void)done;
}

SimLink::SimLink(const QDBusConnection& bus, QObject* parent, const char* service)
    : QObject(parent), bus_(bus), service_(service ? service : kService) {
  registerSimTypes();
  if (!bus_.isConnected()) return;
  watcher_.setConnection(bus_);
  watcher_.addWatchedService(service_);
  watcher_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
  connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) { setPresent(!newOwner.isEmpty()); });
  const auto reply = bus_.interface()->isServiceRegistered(service_);
  present_ = reply.isValid() && reply.value();
}

void SimLink::setPresent(bool present) {
  if (present == present_) return;
  present_ = present;
  for (const auto& h : handlers_) h(present);
}

std::optional<QList<QVariant>> SimLink::call(const char* path, const char* interface, const char* method,
                                             const QList<QVariant>& args) {
  if (!present_) return std::nullopt;
  auto m = QDBusMessage::createMethodCall(service_, path, interface, method);
  m.setArguments(args);
  const QDBusMessage reply = bus_.call(m, QDBus::Block, 5000);
  if (reply.type() != QDBusMessage::ReplyMessage) return std::nullopt;
  return reply.arguments();
}

std::optional<QList<QVariant>> SimLink::callDriver(const char* method, const QList<QVariant>& args) {
  return call(kDriverPath, kDriverInterface, method, args);
}

std::optional<QList<QVariant>> SimLink::callSystem(const char* method, const QList<QVariant>& args) {
  return call(kSystemPath, kSystemInterface, method, args);
}

void SimLink::callSystemLater(const char* method, const QList<QVariant>& args,
                              std::function<void(std::optional<QList<QVariant>>)> done) {
  if (!present_) {
    QMetaObject::invokeMethod(this, [done = std::move(done)] { done(std::nullopt); }, Qt::QueuedConnection);
    return;
  }
  auto m = QDBusMessage::createMethodCall(service_, kSystemPath, kSystemInterface, method);
  m.setArguments(args);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(m), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [done = std::move(done)](QDBusPendingCallWatcher* w) {
    const QDBusMessage reply = w->reply();
    w->deleteLater();
    if (reply.type() != QDBusMessage::ReplyMessage) return done(std::nullopt);
    done(reply.arguments());
  });
}

bool SimLink::sendSystem(const char* method, const QList<QVariant>& args) {
  if (!present_) return false;
  auto m = QDBusMessage::createMethodCall(service_, kSystemPath, kSystemInterface, method);
  m.setArguments(args);
  return bus_.send(m);
}

}  // namespace simbus
