#include "platform/dbus/testing/mock_logind.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

namespace testing_support {

MockLogind::MockLogind() {
  if (!bus_.ok()) return;
  mock_.setProcessEnvironment(environment(QProcessEnvironment::systemEnvironment()));
  mock_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  startAsChild(mock_, "/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"});
  observer_ = bus_.connect("observer");
}

MockLogind::~MockLogind() {
  mock_.terminate();
  if (!mock_.waitForFinished(5000)) mock_.kill();
}

QProcessEnvironment MockLogind::environment(QProcessEnvironment env) const {
  env.insert("DBUS_SYSTEM_BUS_ADDRESS", QString::fromStdString(bus_.address()));
  return env;
}

bool MockLogind::ready() {
  return bus_.ok() &&
         waitUntil([&] { return observer_.interface()->isServiceRegistered("org.freedesktop.login1").value(); },
                   std::chrono::seconds(20));
}

QStringList MockLogind::calls() {
  QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.DBus.Mock", "GetCalls");
  const QDBusMessage reply = observer_.call(m);
  QStringList out;
  if (reply.type() != QDBusMessage::ReplyMessage) return out;
  const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
  arg.beginArray();
  while (!arg.atEnd()) {
    qulonglong when = 0;
    QString method;
    QVariantList args;
    arg.beginStructure();
    arg >> when >> method >> args;
    arg.endStructure();
    QStringList words{method};
    for (const QVariant& a : args)
      words << (a.typeId() == QMetaType::Bool ? QString(a.toBool() ? "true" : "false") : a.toString());
    out << words.join(' ');
  }
  arg.endArray();
  return out;
}

}  // namespace testing_support
