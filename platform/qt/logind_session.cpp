#include "platform/qt/logind_session.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <cstdlib>

namespace sys {

namespace {
constexpr const char* kService = "org.freedesktop.login1";
constexpr const char* kManagerPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kSession = "org.freedesktop.login1.Session";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kTimeoutMs = 1000;

QString callForPath(QDBusConnection& bus, const char* method, const QVariant& argument) {
  QDBusMessage m = QDBusMessage::createMethodCall(kService, kManagerPath, kManager, method);
  m << argument;
  QDBusReply<QDBusObjectPath> reply = bus.call(m, QDBus::Block, kTimeoutMs);
  return reply.isValid() ? reply.value().path() : QString();
}
}  // namespace

LogindSession::LogindSession() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  path_ = callForPath(bus, "GetSessionByPID", QVariant::fromValue(static_cast<uint>(::getpid())));
  if (path_.isEmpty()) {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id != nullptr && *id != '\0')
      path_ = callForPath(bus, "GetSession", QVariant::fromValue(QString::fromUtf8(id)));
  }
  if (path_.isEmpty()) return;
  bus.connect(kService, path_, kProperties, "PropertiesChanged", this,
              SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  readActive();
}

void LogindSession::readActive() {
  QDBusConnection bus = QDBusConnection::systemBus();
  QDBusMessage m = QDBusMessage::createMethodCall(kService, path_, kProperties, "Get");
  m << QString::fromLatin1(kSession) << QString::fromLatin1("Active");
  QDBusReply<QDBusVariant> reply = bus.call(m, QDBus::Block, kTimeoutMs);
  if (reply.isValid()) active_ = reply.value().variant().toBool();
}

void LogindSession::propertiesChanged(const QString& interface, const QVariantMap& changed,
                                      const QStringList& invalidated) {
  if (interface != QLatin1String(kSession)) return;
  if (auto it = changed.find(QStringLiteral("Active")); it != changed.end())
    active_ = it->toBool();
  else if (invalidated.contains(QStringLiteral("Active")))
    readActive();
}

pl::DictRef LogindSession::CGSessionCopyCurrentDictionary() {
  if (!active_) return nullptr;
  pl::DictRef d = pl::makeDict();
  d->setBool(kCGSessionOnConsoleKey, *active_);
  return d;
}

}  // namespace sys
