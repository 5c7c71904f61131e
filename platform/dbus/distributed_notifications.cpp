#include "platform/dbus/distributed_notifications.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QStringList>

namespace dbusnotify {

DistributedNotificationCenter::DistributedNotificationCenter(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), bus_(bus) {}

bool DistributedNotificationCenter::postVariant(const std::string& name, const QVariant& object) {
  if (!bus_.isConnected()) return false;
  QDBusMessage signal = QDBusMessage::createSignal(kPath, kInterface, kSignal);
  signal << QString::fromStdString(name) << QVariant::fromValue(QDBusVariant(object));
  return bus_.send(signal);
}

bool DistributedNotificationCenter::post(const std::string& name, const std::string& object) {
  if (object.size() > kMaxObjectBytes) return false;
  return postVariant(name, QVariant(QString::fromUtf8(object.data(), static_cast<qsizetype>(object.size()))));
}

bool DistributedNotificationCenter::observe(const std::string& name, Handler handler) {
  if (!bus_.isConnected()) return false;
  const bool known = handlers_.count(name) != 0;
  handlers_[name] = std::move(handler);
  if (known) return true;
  // The bus filters on the first argument, so a process only wakes for the names it observes.
  const bool ok = bus_.connect(QString(), kPath, kInterface, kSignal,
                               QStringList{QString::fromStdString(name)}, QString(), this,
                               SLOT(onSignal(QDBusMessage)));
  if (!ok) handlers_.erase(name);
  return ok;
}

void DistributedNotificationCenter::stopObserving(const std::string& name) {
  if (handlers_.erase(name) == 0) return;
  bus_.disconnect(QString(), kPath, kInterface, kSignal, QStringList{QString::fromStdString(name)},
                  QString(), this, SLOT(onSignal(QDBusMessage)));
}

void DistributedNotificationCenter::onSignal(const QDBusMessage& message) {
  const auto args = message.arguments();
  if (args.size() < 2 || args[0].metaType() != QMetaType::fromType<QString>()) return;
  const auto it = handlers_.find(args[0].toString().toStdString());
  if (it == handlers_.end()) return;

  std::optional<std::string> object;
  QVariant value = args[1];
  if (value.metaType() == QMetaType::fromType<QDBusVariant>()) value = value.value<QDBusVariant>().variant();
  if (value.metaType() == QMetaType::fromType<QString>()) {
    const QString text = value.toString();
    // UTF-8 takes at least one byte for each UTF-16 unit: a longer text is too large whatever
    // it holds, and is not converted at all.
    if (static_cast<size_t>(text.size()) > kMaxObjectBytes) {
      ++droppedOversized_;
      return;
    }
    object = text.toStdString();
    if (object->size() > kMaxObjectBytes) {
      ++droppedOversized_;
      return;
    }
  }
  // Copy the handler: it may stop observing (and so destroy itself) while it runs.
  const Handler handler = it->second;
  handler(object);
}

}  // namespace dbusnotify
