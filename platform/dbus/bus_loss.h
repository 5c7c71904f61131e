// Noticing that the connection to a bus is gone (the bus daemon ended: the login session is
// over). The bus library reports it as the local signal "Disconnected"; nothing has to be polled.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>

namespace dbusnotify {

class BusLossWatcher final : public QObject {
  Q_OBJECT

 public:
  // Calls `lost` once, on the main thread, when the connection to the bus goes. Nothing happens
  // for a connection that never was.
  BusLossWatcher(const QDBusConnection& bus, std::function<void()> lost, QObject* parent = nullptr);

 private Q_SLOTS:
  void onDisconnected();

 private:
  std::function<void()> lost_;
};

}  // namespace dbusnotify
