#include "platform/qt/runtime_platform.h"

#include <QDBusConnectionInterface>
#include <QDir>

#include <cstdlib>
#include <cstring>

namespace sys {

namespace {

// The MIME types whose default application counts as the user's media player, in order.
constexpr const char* kMediaTypes[] = {"audio/mpeg", "audio/x-vorbis+ogg", "audio/ogg", "audio/flac", "audio/x-wav"};

bool setInEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

QString runtimeFolder() {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  return !runtime.isEmpty() && QDir(runtime).exists() ? runtime : QDir::tempPath();
}

}  // namespace

SessionOffer SessionOffer::fromEnvironment() {
  SessionOffer o;
  o.x11Display = setInEnvironment("DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  o.waylandSession = setInEnvironment("WAYLAND_DISPLAY") || (type != nullptr && std::strcmp(type, "wayland") == 0);
  return o;
}

RuntimePlatform::RuntimePlatform(SessionOffer sessionOffer, const QDBusConnection& sessionBus,
                                 const QDBusConnection& systemBus)
    : offer(sessionOffer),
      accessibility(sessionBus),
      workspaceActions({}, &applications),
      appleEvents(sessionBus, systemBus, [this] {
        for (const char* type : kMediaTypes)
          if (const xdg::Application* player = applications.defaultFor(type))
            return workspaceActions.launchAppWithBundleIdentifier(player->id, kWorkspaceLaunchAsync);
        return false;
      }) {
  // KWin tells every window, X and Wayland ones; under Wayland the X server (XWayland, which
  // may be started just because a client connects) is then left alone.
  const bool kwinThere = sessionBus.isConnected() && sessionBus.interface()->isServiceRegistered(kwin::kService).value();
  if (offer.x11Display && !(offer.waylandSession && kwinThere)) {
    x11 = std::make_unique<X11Connection>(watcher, runLoop);
    if (!x11->connected()) x11.reset();
  }
  // X11 tells which X window is active (under XWayland: X applications only); KWin, while its
  // script runs, is listened to instead.
  if (x11) x11ActiveWindow = std::make_unique<X11ActiveWindow>(*x11, workspace);
  kwinActivations = std::make_unique<kwin::KWinActivations>(workspace, sessionBus, runtimeFolder());
  // Under Wayland the X server sees the keyboard only while an X window has it.
  if (x11 && !offer.waylandSession) input.choose(std::make_unique<X11InputState>(*x11));
  // The applications folders are read now (some 20 ms for a full desktop's), not when the first
  // application comes to the front.
  applications.refresh();
}

std::vector<std::pair<std::string, std::string>> RuntimePlatform::backends() const {
  std::vector<std::pair<std::string, std::string>> out;
  std::string front = "none: no X display and no KWin";
  if (kwinActivations->running()) front = "KWin script";
  else if (x11ActiveWindow) front = offer.waylandSession ? "X11 active window (XWayland: X applications only)"
                                                         : "X11 active window";
  if (kwinActivations->state() == kwin::KWinActivations::State::Loading) front += "; KWin script loading";
  if (kwinActivations->state() == kwin::KWinActivations::State::Failed) front += "; KWin refused the script";
  out.emplace_back("front application", front);
  out.emplace_back("held keys and buttons", dynamic_cast<const X11InputState*>(input.chosen()) ? "X11 pointer query"
                                            : offer.waylandSession                           ? "none: Wayland session"
                                                                                             : "none: no X display");
  out.emplace_back("accessibility", !accessibility.enabled()    ? "AT-SPI: accessibility is switched off"
                                    : accessibility.connected() ? "AT-SPI"
                                                                : "AT-SPI: no accessibility bus");
  out.emplace_back("console session", session.sessionPath().isEmpty() ? "none: no logind session"
                                                                       : "logind " + session.sessionPath().toStdString());
  out.emplace_back("pointer warp", offer.waylandSession ? "Qt cursor (no effect on Wayland windows)" : "Qt cursor");
  out.emplace_back("scripts", "/bin/sh -c, detached");
  out.emplace_back("power", appleEvents.reachesLogind() ? "logind on the system bus" : "none: no system bus");
  out.emplace_back("media", "MPRIS players: " + std::to_string(appleEvents.players().players().size()));
  return out;
}

}  // namespace sys
