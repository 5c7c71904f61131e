// The Apple events the helper sends, on a Linux desktop:
//   to the system process ({0, kSystemProcess}), class 'aevt': 'rest', 'shut' and 'slep' become
//     logind's Reboot, PowerOff and Suspend on the system bus (interactive: the desktop may ask
//     to authenticate or confirm); other events are not handled;
//   to the media application (signature 'hook'): the session's MPRIS players
//     (platform/dbus/mpris_players.h), class 'hook' 'PlPs' 'Stop' 'Prev' 'Next' 'Play' 'Paus'
//     'Resu' 'Back' 'Rwnd' 'Fast' (PlayPause, Stop, Previous, Next, Play, Pause, Play,
//     Previous, Seek -10 s, Seek +10 s), class 'aevt' 'vol+' 'vol-' 'mute' (the player's volume).
// The process list holds the media application alone, while any player is on the bus; opening
// the application with creator 'hook' starts the user's default player (`startMediaPlayer`), and
// the actions then look for it as they look for a process. Every call is sent without waiting
// for its reply, as the events are sent without reply.
#pragma once

#include <QDBusConnection>
#include <QObject>

#include <functional>

#include "platform/apple_events.h"
#include "platform/dbus/mpris_players.h"

namespace sys {

inline constexpr uint32_t kMediaApplicationSignature = FourCharCode("hook");
// The media application's serial number in the process list.
inline constexpr ProcessSerialNumber kMediaApplicationProcess{2, 1};

class DesktopAppleEvents final : public QObject, public AppleEventServices {
  Q_OBJECT

 public:
  // `startMediaPlayer` starts the user's default media player, true when it could be started.
  DesktopAppleEvents(const QDBusConnection& session, const QDBusConnection& system,
                     std::function<bool()> startMediaPlayer);

  int32_t getNextProcess(ProcessSerialNumber* psn) override;
  int32_t getProcessSignature(const ProcessSerialNumber& psn, uint32_t* signature) override;
  int32_t openApplicationWithCreator(uint32_t creator) override;
  int32_t sendAppleEvent(const AppleEvent& event) override;

  mpris::Players& players() { return players_; }
  const mpris::Players& players() const { return players_; }
  bool reachesLogind() const { return system_.isConnected(); }

 private:
  int32_t toSystemProcess(uint32_t eventClass, uint32_t eventID);
  int32_t toMediaApplication(uint32_t eventClass, uint32_t eventID);

  mpris::Players players_;
  QDBusConnection system_;
  std::function<bool()> startMediaPlayer_;
};

}  // namespace sys
