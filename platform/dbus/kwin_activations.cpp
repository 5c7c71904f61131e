#include "platform/dbus/kwin_activations.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>

#include "platform/dbus/async_call.h"
#include "platform/files.h"
#include "platform/linux/desktop_workspace.h"

namespace kwin {

namespace {

constexpr const char* kScriptingPath = "/Scripting";
constexpr const char* kScriptingInterface = "org.kde.kwin.Scripting";
constexpr const char* kScriptInterface = "org.kde.kwin.Script";
constexpr int kTimeoutMs = 5000;
constexpr int kUnloadTimeoutMs = 500;
constexpr qsizetype kMaxHintLength = 4096;

QDBusMessage scripting(const char* method) {
  return QDBusMessage::createMethodCall(kService, kScriptingPath, kScriptingInterface, method);
}

std::string hint(const QString& text) {
  return text.size() > kMaxHintLength ? std::string() : text.toStdString();
}

}  // namespace

QString scriptText() {
  // KWin 6 has workspace.windowActivated, KWin 5 workspace.clientActivated; resourceClass and
  // resourceName are byte arrays in KWin 5 (String() turns them into their text).
  return QStringLiteral(R"JS(// Tells the Vantrel helper which window is active, so that its trackball follows the
// application in front. Loaded and unloaded by the helper.
(function () {
    var service = "%1", path = "%2", iface = "%3";
    function text(value) {
        return value === undefined || value === null ? "" : String(value);
    }
    function tell(window) {
        if (!window) {
            callDBus(service, path, iface, "WindowActivated", "", "", "", "");
            return;
        }
        callDBus(service, path, iface, "WindowActivated", text(window.resourceClass),
                 text(window.resourceName), text(window.desktopFileName), text(window.pid));
    }
    if (workspace.windowActivated !== undefined)
        workspace.windowActivated.connect(tell);
    else
        workspace.clientActivated.connect(tell);
})();
)JS")
      .arg(QLatin1String(kHelperService), QLatin1String(kHelperPath), QLatin1String(kHelperInterface));
}

KWinActivations::KWinActivations(sys::DesktopWorkspace& workspace, const QDBusConnection& bus, QString scriptFolder)
    : workspace_(workspace),
      bus_(bus),
      scriptPath_(QDir(scriptFolder).filePath(QStringLiteral("vantrel-helper-kwin.js"))) {
  if (!bus_.isConnected()) return;
  watcher_.setConnection(bus_);
  watcher_.addWatchedService(kService);
  watcher_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
  connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& newOwner) {
            if (newOwner.isEmpty()) kwinVanished();
            else kwinAppeared();
          });
  QDBusMessage hasOwner = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                         "org.freedesktop.DBus", "NameHasOwner");
  hasOwner << QString::fromLatin1(kService);
  dbusasync::call(bus_, hasOwner, kTimeoutMs, this, [this](const QDBusMessage& reply) {
    if (dbusasync::ok(reply) && reply.arguments().value(0).toBool() && state_ == State::Absent) kwinAppeared();
  });
}

KWinActivations::~KWinActivations() {
  if (loaded_ && bus_.isConnected()) {
    QDBusMessage unload = scripting("unloadScript");
    unload << QString::fromLatin1(kPluginName);
    bus_.call(unload, QDBus::Block, kUnloadTimeoutMs);
  }
  if (!scriptPath_.isEmpty()) QFile::remove(scriptPath_);
  if (running()) workspace_.preferSource("");
}

void KWinActivations::setState(State state) {
  if (state == state_) return;
  state_ = state;
  workspace_.preferSource(state == State::Running ? "kwin" : "");
  Q_EMIT stateChanged(state);
}

void KWinActivations::kwinAppeared() {
  ++generation_;
  loaded_ = false;
  if (!files::writeAtomically(scriptPath_.toStdString(), scriptText().toStdString())) {
    setState(State::Failed);
    return;
  }
  setState(State::Loading);
  load(false);
}

void KWinActivations::kwinVanished() {
  ++generation_;
  loaded_ = false;
  setState(State::Absent);
}

void KWinActivations::load(bool replacing) {
  QDBusMessage m = scripting("loadScript");
  m << scriptPath_ << QString::fromLatin1(kPluginName);
  const int generation = generation_;
  dbusasync::call(bus_, m, kTimeoutMs, this, [this, generation, replacing](const QDBusMessage& reply) {
    if (generation != generation_) return;
    if (!dbusasync::ok(reply)) return setState(State::Failed);
    const int id = reply.arguments().value(0).toInt();
    if (id >= 0) {
      loaded_ = true;
      return run(id, false);
    }
    // A script of that name is loaded already: one a helper left that did not end cleanly.
    if (replacing) return setState(State::Failed);
    QDBusMessage unload = scripting("unloadScript");
    unload << QString::fromLatin1(kPluginName);
    dbusasync::call(bus_, unload, kTimeoutMs, this, [this, generation](const QDBusMessage&) {
      if (generation == generation_) load(true);
    });
  });
}

void KWinActivations::run(int id, bool plasma5Path) {
  // KWin 5.2x and 6 register a script at /Scripting/Script<id>, older KWin 5 at /<id>.
  const QString path = plasma5Path ? QStringLiteral("/%1").arg(id) : QStringLiteral("/Scripting/Script%1").arg(id);
  const QDBusMessage m = QDBusMessage::createMethodCall(kService, path, kScriptInterface, "run");
  const int generation = generation_;
  dbusasync::call(bus_, m, kTimeoutMs, this, [this, generation, id, plasma5Path](const QDBusMessage& reply) {
    if (generation != generation_) return;
    if (dbusasync::ok(reply)) return setState(State::Running);
    if (!plasma5Path) return run(id, true);
    setState(State::Failed);
  });
}

void KWinActivations::windowActivated(const QString& resourceClass, const QString& resourceName,
                                      const QString& desktopFileName, const QString& pid) {
  if (resourceClass.isEmpty() && resourceName.isEmpty() && desktopFileName.isEmpty()) {
    workspace_.windowActivated(std::nullopt, "kwin");
    return;
  }
  sys::xdg::WindowHints hints;
  hints.windowClass = hint(resourceClass);
  hints.instance = hint(resourceName);
  hints.applicationId = hint(desktopFileName);
  bool isNumber = false;
  const uint number = pid.toUInt(&isNumber);
  if (isNumber && number != 0) {
    hints.pid = number;
    sys::xdg::addProcessProgram(hints, hints.pid);
  }
  workspace_.windowActivated(hints, "kwin");
}

}  // namespace kwin
