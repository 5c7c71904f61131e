// Asynchronous D-Bus calls for backends that must never wait on another program: the call goes
// out at once and the reply (or the error, also the time-out's) comes to a callback on the
// thread of `context`, later, from the event loop. Nothing is called once `context` is gone.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include <functional>
#include <utility>

namespace dbusasync {

using ReplyHandler = std::function<void(const QDBusMessage& reply)>;

inline void call(QDBusConnection& bus, const QDBusMessage& message, int timeoutMs, QObject* context,
                 ReplyHandler onReply) {
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, timeoutMs), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [watcher, handler = std::move(onReply)] {
                     watcher->deleteLater();
                     if (handler) handler(watcher->reply());
                   });
}

inline bool ok(const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; }

}  // namespace dbusasync
