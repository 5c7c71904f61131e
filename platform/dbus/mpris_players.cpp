#include "platform/dbus/mpris_players.h"

#include <QDBusMessage>
#include <QDBusVariant>

#include <algorithm>

#include "platform/dbus/async_call.h"

namespace mpris {

namespace {

constexpr const char* kPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayer = "org.mpris.MediaPlayer2.Player";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kTimeoutMs = 2000;

QDBusMessage bus(const char* method) {
  return QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
}

}  // namespace

Players::Players(const QDBusConnection& connection, QObject* parent) : QObject(parent), bus_(connection) {
  if (!bus_.isConnected()) return;
  bus_.connect("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameOwnerChanged", this,
               SLOT(ownerChanged(QString, QString, QString)));
  bus_.connect(QString(), kPath, kProperties, "PropertiesChanged", this,
               SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
  dbusasync::call(bus_, bus("ListNames"), kTimeoutMs, this, [this](const QDBusMessage& reply) {
    if (!dbusasync::ok(reply)) return;
    for (const QString& name : reply.arguments().value(0).toStringList()) {
      if (!name.startsWith(QLatin1String(kNamePrefix))) continue;
      QDBusMessage owner = mpris::bus("GetNameOwner");
      owner << name;
      dbusasync::call(bus_, owner, kTimeoutMs, this, [this, name](const QDBusMessage& r) {
        if (dbusasync::ok(r)) add(name, r.arguments().value(0).toString());
      });
    }
  });
}

Players::Player* Players::byName(const QString& name) {
  auto it = std::find_if(players_.begin(), players_.end(), [&](const Player& p) { return p.name == name; });
  return it == players_.end() ? nullptr : &*it;
}

void Players::add(const QString& name, const QString& owner) {
  if (owner.isEmpty()) return;
  if (Player* known = byName(name)) {
    known->owner = owner;
    return;
  }
  players_.push_back(Player{name, owner, QString(), ++clock_, std::nullopt});
  QDBusMessage get = QDBusMessage::createMethodCall(name, kPath, kProperties, "Get");
  get << QString::fromLatin1(kPlayer) << QStringLiteral("PlaybackStatus");
  dbusasync::call(bus_, get, kTimeoutMs, this, [this, name](const QDBusMessage& reply) {
    Player* p = byName(name);
    if (!p || !dbusasync::ok(reply) || !p->status.isEmpty()) return;
    p->status = reply.arguments().value(0).value<QDBusVariant>().variant().toString();
  });
}

void Players::ownerChanged(const QString& name, const QString&, const QString& newOwner) {
  if (!name.startsWith(QLatin1String(kNamePrefix))) return;
  if (newOwner.isEmpty()) {
    players_.erase(std::remove_if(players_.begin(), players_.end(), [&](const Player& p) { return p.name == name; }),
                   players_.end());
    return;
  }
  add(name, newOwner);
}

void Players::propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
  if (interface != QLatin1String(kPlayer) || !calledFromDBus()) return;
  const QString sender = message().service();
  const auto status = changed.find(QStringLiteral("PlaybackStatus"));
  if (status == changed.end()) return;
  for (Player& p : players_) {
    if (p.owner != sender) continue;
    p.status = status->toString();
    p.lastActive = ++clock_;
  }
}

std::optional<size_t> Players::targetIndex() const {
  std::optional<size_t> best;
  for (size_t i = 0; i < players_.size(); ++i) {
    const Player& p = players_[i];
    const bool playing = p.status == QLatin1String("Playing");
    const bool bestPlaying = best && players_[*best].status == QLatin1String("Playing");
    if (!best || (playing && !bestPlaying) || (playing == bestPlaying && p.lastActive > players_[*best].lastActive))
      best = i;
  }
  return best;
}

const Players::Player* Players::target() const {
  const std::optional<size_t> i = targetIndex();
  return i ? &players_[*i] : nullptr;
}

bool Players::call(const char* method) {
  const Player* p = target();
  if (!p) return false;
  dbusasync::call(bus_, QDBusMessage::createMethodCall(p->name, kPath, kPlayer, method), kTimeoutMs, this, {});
  return true;
}

bool Players::seek(int64_t microseconds) {
  const Player* p = target();
  if (!p) return false;
  QDBusMessage m = QDBusMessage::createMethodCall(p->name, kPath, kPlayer, "Seek");
  m << static_cast<qlonglong>(microseconds);
  dbusasync::call(bus_, m, kTimeoutMs, this, {});
  return true;
}

void Players::setVolume(const QString& name, double volume) {
  QDBusMessage set = QDBusMessage::createMethodCall(name, kPath, kProperties, "Set");
  set << QString::fromLatin1(kPlayer) << QStringLiteral("Volume") << QVariant::fromValue(QDBusVariant(volume));
  dbusasync::call(bus_, set, kTimeoutMs, this, {});
}

bool Players::changeVolume(double by) {
  const Player* p = target();
  if (!p) return false;
  const QString name = p->name;
  QDBusMessage get = QDBusMessage::createMethodCall(name, kPath, kProperties, "Get");
  get << QString::fromLatin1(kPlayer) << QStringLiteral("Volume");
  dbusasync::call(bus_, get, kTimeoutMs, this, [this, name, by](const QDBusMessage& reply) {
    if (!dbusasync::ok(reply)) return;
    bool isNumber = false;
    const double now = reply.arguments().value(0).value<QDBusVariant>().variant().toDouble(&isNumber);
    if (!isNumber) return;
    setVolume(name, std::clamp(now + by, 0.0, 1.0));
    if (Player* known = byName(name)) known->volumeBeforeMute.reset();
  });
  return true;
}

bool Players::toggleMute() {
  const std::optional<size_t> i = targetIndex();
  if (!i) return false;
  Player* p = &players_[*i];
  if (p->volumeBeforeMute) {
    setVolume(p->name, *p->volumeBeforeMute > 0 ? *p->volumeBeforeMute : 1.0);
    p->volumeBeforeMute.reset();
    return true;
  }
  const QString name = p->name;
  QDBusMessage get = QDBusMessage::createMethodCall(name, kPath, kProperties, "Get");
  get << QString::fromLatin1(kPlayer) << QStringLiteral("Volume");
  dbusasync::call(bus_, get, kTimeoutMs, this, [this, name](const QDBusMessage& reply) {
    Player* known = byName(name);
    if (!known || !dbusasync::ok(reply)) return;
    known->volumeBeforeMute = reply.arguments().value(0).value<QDBusVariant>().variant().toDouble();
    setVolume(name, 0.0);
  });
  return true;
}

}  // namespace mpris
