// In the simulated world the settings host is the application "System Preferences". While the
// device simulator is on the session bus, it is told what a window server would see: while the
// host is the active application, System Preferences (bundle identifier
// "com.apple.systempreferences", signature "sprf") is the frontmost application; when the host
// stops being active, the application that was in front before it comes back to the front
// (Finder when there was none, or when that was System Preferences itself); when the host quits,
// that happens too and the process "System Preferences" ends. Outside the simulated world
// nothing is sent.
//
// The host never waits for the simulator while it runs (the calls go out without blocking,
// in order); only quitting waits, briefly, so that the last calls arrive.
#pragma once

#include <QDBusConnection>
#include <QJsonObject>
#include <QObject>

#include "sim/client/sim_link.h"

namespace settingshost {

class SimFrontApplication final : public QObject {
  Q_OBJECT

 public:
  explicit SimFrontApplication(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                               QObject* parent = nullptr);

  // The host became the active application (true) or stopped being it (false).
  void setHostActive(bool active);
  // The host quits: as setHostActive(false), then the process ends in the simulated world.
  void hostQuits();

 private:
  void bringHostToFront();
  void giveFrontBack(bool wait);
  void send(const char* method, const QList<QVariant>& arguments, bool wait);

  simbus::SimLink fLink;
  bool fActive = false;        // the host is the active application
  bool fAsking = false;        // the simulator was asked which application is in front
  bool fFront = false;         // the simulator was told that System Preferences is in front
  bool fEverFront = false;     // ... at least once (so its process exists there)
  QJsonObject fPrevious;       // the application to give the front back to
};

}  // namespace settingshost
