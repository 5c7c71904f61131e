// The KWin path of the front application: the script itself, run by Qt's JavaScript engine (the
// one KWin runs scripts on) against stand-ins for KWin 5's and KWin 6's workspace, and its
// loading, running and unloading against a stand-in for KWin's scripting interface on a private
// bus.
#include "platform/dbus/kwin_activations.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QFile>
#include <QJSEngine>
#include <QJSValue>
#include <QTemporaryDir>

#include "platform/dbus/testing/private_bus.h"
#include "platform/linux/desktop_workspace.h"

using testing_support::PrivateBus;
using testing_support::waitUntil;

// ---- the script ---------------------------------------------------------------------------------

// KWin's callDBus as the script sees it: here it records each call.
class DBusRecorder : public QObject {
  Q_OBJECT
 public:
  QStringList calls;
  Q_INVOKABLE void callDBus(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QJSValue& a1 = {}, const QJSValue& a2 = {},
                            const QJSValue& a3 = {}, const QJSValue& a4 = {}) {
    QStringList parts{service, path, interface, method};
    for (const QJSValue& a : {a1, a2, a3, a4}) parts << (a.isString() ? "'" + a.toString() + "'" : a.toString());
    calls << parts.join(' ');
  }
};

// A window of KWin 6 (texts) and of KWin 5 (byte arrays).
class Window6 : public QObject {
  Q_OBJECT
  Q_PROPERTY(QString resourceClass MEMBER resourceClass CONSTANT)
  Q_PROPERTY(QString resourceName MEMBER resourceName CONSTANT)
  Q_PROPERTY(QString desktopFileName MEMBER desktopFileName CONSTANT)
  Q_PROPERTY(int pid MEMBER pid CONSTANT)
 public:
  QString resourceClass = "org.kde.dolphin", resourceName = "dolphin", desktopFileName = "org.kde.dolphin";
  int pid = 4242;
};
class Window5 : public QObject {
  Q_OBJECT
  Q_PROPERTY(QByteArray resourceClass MEMBER resourceClass CONSTANT)
  Q_PROPERTY(QByteArray resourceName MEMBER resourceName CONSTANT)
  Q_PROPERTY(QString desktopFileName MEMBER desktopFileName CONSTANT)
  Q_PROPERTY(int pid MEMBER pid CONSTANT)
 public:
  QByteArray resourceClass = "kate", resourceName = "kate";
  QString desktopFileName;
  int pid = 7;
};
class Workspace6 : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void windowActivated(QObject* window);
};
class Workspace5 : public QObject {
  Q_OBJECT
 Q_SIGNALS:
  void clientActivated(QObject* client);
};

template <class Workspace>
QStringList runScript(Workspace& workspace, const std::function<void(Workspace&)>& activate) {
  testing_support::ensureApplication();
  QJSEngine engine;
  DBusRecorder recorder;
  // Objects without a parent would otherwise belong to the engine, which deletes them.
  QJSEngine::setObjectOwnership(&workspace, QJSEngine::CppOwnership);
  QJSEngine::setObjectOwnership(&recorder, QJSEngine::CppOwnership);
  engine.globalObject().setProperty("workspace", engine.newQObject(&workspace));
  engine.globalObject().setProperty("callDBus", engine.newQObject(&recorder).property("callDBus"));
  const QJSValue result = engine.evaluate(kwin::scriptText());
  EXPECT_FALSE(result.isError()) << result.toString().toStdString();
  EXPECT_TRUE(recorder.calls.isEmpty()) << "the active window at start is not told";
  activate(workspace);
  return recorder.calls;
}

TEST(KWinScript, TellsTheHelperOfEachActivatedWindowOnKWin6) {
  Workspace6 workspace;
  Window6 window;
  QJSEngine::setObjectOwnership(&window, QJSEngine::CppOwnership);
  const QStringList calls = runScript<Workspace6>(workspace, [&](Workspace6& w) {
    Q_EMIT w.windowActivated(&window);
    Q_EMIT w.windowActivated(nullptr);
  });
  const QString to = "com.halvorn.vantrel.Helper /com/halvorn/vantrel/Helper com.halvorn.vantrel.Helper WindowActivated ";
  ASSERT_EQ(calls.size(), 2);
  EXPECT_EQ(calls[0], to + "'org.kde.dolphin' 'dolphin' 'org.kde.dolphin' '4242'");
  EXPECT_EQ(calls[1], to + "'' '' '' ''");
}

TEST(KWinScript, ReadsKWin5sByteArrays) {
  Workspace5 workspace;
  Window5 window;
  QJSEngine::setObjectOwnership(&window, QJSEngine::CppOwnership);
  const QStringList calls = runScript<Workspace5>(workspace, [&](Workspace5& w) { Q_EMIT w.clientActivated(&window); });
  ASSERT_EQ(calls.size(), 1);
  EXPECT_TRUE(calls[0].endsWith("WindowActivated 'kate' 'kate' '' '7'")) << calls[0].toStdString();
}

// ---- loading it into KWin -----------------------------------------------------------------------

class FakeScript : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Script")
 public:
  explicit FakeScript(QStringList& log) : log_(log) {}
 public Q_SLOTS:
  void run() { log_ << "run"; }
  void stop() { log_ << "stop"; }

 private:
  QStringList& log_;
};

// KWin's /Scripting as far as the helper uses it.
class FakeScripting : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.kwin.Scripting")
 public:
  FakeScripting(QDBusConnection bus, bool oldPaths) : bus_(bus), oldPaths_(oldPaths) {}
  QStringList log;
  QString loadedText;
  QString loadedPlugin;
 public Q_SLOTS:
  int loadScript(const QString& path, const QString& plugin) {
    log << "load " + plugin;
    if (plugin == loadedPlugin) return -1;
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) loadedText = QString::fromUtf8(f.readAll());
    loadedPlugin = plugin;
    const int id = next_++;
    script_ = std::make_unique<FakeScript>(log);
    bus_.registerObject(oldPaths_ ? QString("/%1").arg(id) : QString("/Scripting/Script%1").arg(id), script_.get(),
                        QDBusConnection::ExportAllSlots);
    return id;
  }
  bool unloadScript(const QString& plugin) {
    log << "unload " + plugin;
    if (plugin != loadedPlugin) return false;
    loadedPlugin.clear();
    return true;
  }

 private:
  QDBusConnection bus_;
  bool oldPaths_;
  int next_ = 3;
  std::unique_ptr<FakeScript> script_;
};

struct FakeKWin {
  FakeKWin(PrivateBus& bus, const char* name, bool oldPaths = false)
      : connection(bus.connect(name)), scripting(connection, oldPaths) {
    connection.registerObject("/Scripting", &scripting, QDBusConnection::ExportAllSlots);
    connection.registerService(kwin::kService);
  }
  ~FakeKWin() { connection.unregisterService(kwin::kService); }
  QDBusConnection connection;
  FakeScripting scripting;
};

class KWinLoading : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::ensureApplication();
    ASSERT_TRUE(bus.ok());
    ASSERT_TRUE(folder.isValid());
  }
  sys::xdg::ApplicationIndex index{sys::xdg::DesktopFolders{}};
  sys::DesktopWorkspace workspace{index};
  PrivateBus bus;
  QTemporaryDir folder;
};

TEST_F(KWinLoading, LoadsRunsReplacesAndUnloadsTheScript) {
  auto kwin = std::make_unique<FakeKWin>(bus, "kwin");
  // A copy of an earlier helper that did not end cleanly is still loaded.
  kwin->scripting.loadedPlugin = kwin::kPluginName;
  QString path;
  {
    kwin::KWinActivations activations(workspace, bus.connect("helper"), folder.path());
    ASSERT_TRUE(waitUntil([&] { return activations.running(); }));
    path = activations.scriptPath();
    EXPECT_EQ(kwin->scripting.log,
              (QStringList{"load vantrel-helper", "unload vantrel-helper", "load vantrel-helper", "run"}));
    EXPECT_EQ(kwin->scripting.loadedText, kwin::scriptText());
    EXPECT_EQ(workspace.preferredSource(), "kwin");

    // The script's calls, as it makes them.
    activations.windowActivated("org.kde.dolphin", "dolphin", "org.kde.dolphin", QString::number(::getpid()));
    EXPECT_EQ(workspace.lastActivation().source, "kwin");
    EXPECT_EQ(workspace.lastActivation().hints.applicationId, "org.kde.dolphin");
    EXPECT_EQ(workspace.lastActivation().hints.pid, static_cast<uint32_t>(::getpid()));
    EXPECT_FALSE(workspace.lastActivation().hints.programPath.empty());
    activations.windowActivated("", "", "", "");
    EXPECT_FALSE(workspace.lastActivation().window);
    activations.windowActivated(QString(5000, 'x'), "n", "", "not a number");
    EXPECT_EQ(workspace.lastActivation().hints.windowClass, "");
    EXPECT_EQ(workspace.lastActivation().hints.instance, "n");
    EXPECT_EQ(workspace.lastActivation().hints.pid, 0u);
    // While KWin tells, X11 is not listened to.
    workspace.windowActivated(std::nullopt, "x11");
    EXPECT_TRUE(workspace.lastActivation().window);

    // KWin restarts: the script is loaded into the new one.
    kwin.reset();
    ASSERT_TRUE(waitUntil([&] { return activations.state() == kwin::KWinActivations::State::Absent; }));
    EXPECT_EQ(workspace.preferredSource(), "");
    kwin = std::make_unique<FakeKWin>(bus, "kwin2");
    ASSERT_TRUE(waitUntil([&] { return activations.running(); }));
    EXPECT_EQ(kwin->scripting.log, (QStringList{"load vantrel-helper", "run"}));
  }
  // The helper quits: the script is unloaded and its file removed. (The stand-in answers from
  // this thread, so it sees the call only after the helper's half-second wait for it.)
  EXPECT_TRUE(waitUntil([&] { return kwin->scripting.log.back() == "unload vantrel-helper"; }));
  EXPECT_TRUE(kwin->scripting.loadedPlugin.isEmpty());
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(workspace.preferredSource(), "");
}

TEST_F(KWinLoading, OlderKWinHasItsScriptsElsewhere) {
  FakeKWin kwin(bus, "kwin", /*oldPaths=*/true);
  kwin::KWinActivations activations(workspace, bus.connect("helper"), folder.path());
  ASSERT_TRUE(waitUntil([&] { return activations.running(); }));
  EXPECT_EQ(kwin.scripting.log, (QStringList{"load vantrel-helper", "run"}));
}

TEST_F(KWinLoading, NoKWinNoScript) {
  kwin::KWinActivations activations(workspace, bus.connect("helper"), folder.path());
  testing_support::spin(std::chrono::milliseconds(200));
  EXPECT_EQ(activations.state(), kwin::KWinActivations::State::Absent);
  EXPECT_FALSE(QFile::exists(activations.scriptPath()));
}

#include "kwin_activations_test.moc"
