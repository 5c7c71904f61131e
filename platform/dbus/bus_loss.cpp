#include "platform/dbus/bus_loss.h"

#include <QDBusConnection>

namespace dbusnotify {

BusLossWatcher::BusLossWatcher(const QDBusConnection& bus, std::function<void()> lost, QObject* parent)
    : QObject(parent), lost_(std::move(lost)) {
  if (!bus.isConnected()) return;
  QDBusConnection(bus).connect(QString(), "/org/freedesktop/DBus/Local", "org.freedesktop.DBus.Local",
                               "Disconnected", this, SLOT(onDisconnected()));
}

void BusLossWatcher::onDisconnected() {
  if (!lost_) return;
  const auto lost = std::move(lost_);
  lost_ = nullptr;
  lost();
}

}  // namespace dbusnotify
