// The media players of the session: every "org.mpris.MediaPlayer2.*" name on the session bus,
// followed as players come and go, with their playback status kept current from their
// PropertiesChanged signals. The player commands go to the target player: the one that plays
// (the most recently active of them when several do), else the most recently active one (a
// player is active when it appears and whenever its playback status changes). Every call is
// asynchronous: a player that hangs holds nothing up.
//
// Volume: MPRIS volume 0.0 to 1.0, read from the player and set again, 0.1 up or down (within
// 0 and 1); mute sets 0 and remembers the volume it had, and the next mute of that player brings
// it back (1.0 when it had none).
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <cstdint>
#include <optional>
#include <vector>

namespace mpris {

inline constexpr char kNamePrefix[] = "org.mpris.MediaPlayer2.";

class Players final : public QObject, protected QDBusContext {
  Q_OBJECT

 public:
  explicit Players(const QDBusConnection& bus, QObject* parent = nullptr);

  struct Player {
    QString name;    // "org.mpris.MediaPlayer2.vlc"
    QString owner;   // its unique connection name
    QString status;  // "Playing", "Paused", "Stopped", or "" before it said
    uint64_t lastActive = 0;
    std::optional<double> volumeBeforeMute;
  };
  const std::vector<Player>& players() const { return players_; }
  // The player commands go to; null when there is none.
  const Player* target() const;

  // Player methods without arguments: "PlayPause", "Stop", "Previous", "Next", "Play", "Pause".
  bool call(const char* method);
  bool seek(int64_t microseconds);
  bool changeVolume(double by);
  bool toggleMute();

 private Q_SLOTS:
  void ownerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);
  void propertiesChanged(const QString& interface, const QVariantMap& changed, const QStringList& invalidated);

 private:
  void add(const QString& name, const QString& owner);
  void setVolume(const QString& name, double volume);
  Player* byName(const QString& name);
  std::optional<size_t> targetIndex() const;

  QDBusConnection bus_;
  std::vector<Player> players_;
  uint64_t clock_ = 0;
};

}  // namespace mpris
