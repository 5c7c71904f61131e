// The helper on a desktop: the simulator stands in for the driver alone (--driver-only), and
// everything else comes from the private desktop the test runs in: X11 windows the test
// activates as a window manager would, keys held through XTEST, a Qt dialog with a default
// button on the accessibility bus, logind mocked on a private system bus, a media player of the
// test's own started as the user's default player, scripts through /bin/sh. Run inside
// tools/testing/desktop.py (CTest does); elsewhere every test is skipped.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>

#include "platform/dbus/testing/mock_logind.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/files.h"
#include "platform/tests/x11/x11_client.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/record.h"
#include "settings/testing/profile_builder.h"
#include "sim/describe.h"
#include "sim/sim_names.h"

using testing_support::waitUntil;
using testsupport::ProfileBuilder;

namespace {

bool inPrivateDesktop() { return !qEnvironmentVariableIsEmpty("VANTREL_PRIVATE_DESKTOP"); }

constexpr char kEditorEntry[] =
    "[Desktop Entry]\nType=Application\nName=Example Editor\nExec=/opt/editor/edit %F\nStartupWMClass=ExampleEditor\n";

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inPrivateDesktop()) GTEST_SKIP() << "needs tools/testing/desktop.py run";
    testing_support::ensureApplication();
    ASSERT_TRUE(home_.isValid());
    ASSERT_TRUE(logind_.ready());
    bus_ = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus_.isConnected());
    env_ = logind_.environment(QProcessEnvironment::systemEnvironment());
    env_.insert("HOME", home_.path());
    env_.insert("XDG_DATA_HOME", home_.filePath("share"));
    env_.insert("XDG_DATA_DIRS", home_.filePath("system"));  // no application of this machine
    env_.insert("XDG_CONFIG_HOME", home_.filePath("config"));
    env_.insert("XDG_CONFIG_DIRS", home_.filePath("system-config"));
    application("org.example.Editor", kEditorEntry);
  }
  void TearDown() override {
    for (QProcess* p : {&helper_, &sim_})
      EXPECT_EQ(testing_support::stopChild(*p), 0) << p->program().toStdString() << " did not end cleanly";
  }

  void application(const std::string& id, const std::string& entry) {
    files::writeAtomically(home_.filePath("share/applications/").toStdString() + id + ".desktop", entry);
  }
  void writeSettings(const std::vector<pl::DictRef>& profiles) {
    auto prefs = pl::makeDict();
    prefs->setInteger("version", 3);
    auto devices = pl::makeArray();
    for (const auto& p : profiles) devices->append(p);
    prefs->set("devices", devices);
    ASSERT_TRUE(pl::writeXmlFile(*prefs, home_.filePath("Library/Preferences/com.halvorn.vantrel.settings.plist").toStdString()));
    prefs_ = prefs;
  }

  void start() {
    sim_.setProcessEnvironment(env_);
    sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(sim_, VANTREL_SIM_BINARY, {"--driver-only", "--attach", "dev1"});
    ASSERT_TRUE(sim_.waitForStarted(5000));
    ASSERT_TRUE(waitUntil([&] { return sim_.readAllStandardOutput().contains("ready"); }, std::chrono::seconds(10)));
    helper_.setProcessEnvironment(env_);
    helper_.setProcessChannelMode(QProcess::ForwardedChannels);
    testing_support::startAsChild(helper_, VANTREL_HELPER_BINARY, {});
    ASSERT_TRUE(helper_.waitForStarted(5000));
    ASSERT_EQ(waitLog(0, "settings").size(), 1u) << "the helper sent its first settings";
    // Its connection, for the calls the KWin script and vantrelctl make.
    ASSERT_TRUE(waitUntil([&] {
      for (const QString& name : bus_.interface()->registeredServiceNames().value())
        if (name.startsWith(':') && bus_.interface()->servicePid(name).value() == helper_.processId()) {
          helperName_ = name;
          QDBusMessage probe = QDBusMessage::createMethodCall(name, "/com/halvorn/vantrel/Helper",
                                                              "org.freedesktop.DBus.Introspectable", "Introspect");
          if (bus_.call(probe).arguments().value(0).toString().contains("WindowActivated")) return true;
        }
      return false;
    }));
  }

  QVariant control(const char* method, const QList<QVariant>& args = {}, int timeoutMs = 15000) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    const auto reply = bus_.call(m, QDBus::Block, timeoutMs);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method << ": " << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
  }
  uint64_t lastSeq() { return control("LastLogSeq").toULongLong(); }
  QJsonArray waitLog(uint64_t since, const QString& kind, uint count = 1, uint timeoutMs = 8000) {
    const auto text = control("WaitForLog", {QVariant::fromValue<qulonglong>(since), kind, count, timeoutMs},
                              static_cast<int>(timeoutMs) + 5000).toString();
    return QJsonDocument::fromJson(text.toUtf8()).array();
  }
  void press(int button) { control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(button), false}); }

  // The record the device should receive while `bundleID` is in front.
  std::string recordFor(const std::string& bundleID) {
    int32_t best = -1, global = -1;
    const auto devices = prefs_->getArray("devices");
    VantrelMatchAppPrefs(devices, bundleID, std::nullopt, std::nullopt, models::kVendorID, models::productOfDevice(1),
                         0x0105, &best, &global);
    SettingsRecord r{};
    VantrelAppPrefsDictToStruct(best >= 0 ? devices->dictAt(static_cast<size_t>(best)) : nullptr,
                                global >= 0 ? devices->dictAt(static_cast<size_t>(global)) : nullptr, &r);
    return sim::hex(r.data(), r.size());
  }
  static std::string rawOf(const QJsonValue& entry) {
    return entry.toObject()["fields"].toObject()["raw"].toString().toStdString();
  }
  QJsonObject describe() {
    QProcess ctl;
    ctl.setProcessEnvironment(env_);
    ctl.start(VANTRELCTL_BINARY, {"desktop", "--helper", helperName_});
    EXPECT_TRUE(ctl.waitForFinished(15000));
    EXPECT_EQ(ctl.exitCode(), 0) << ctl.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(ctl.readAllStandardOutput()).object();
  }
  void windowActivatedAsKWinSays(const QString& resourceClass, const QString& resourceName, const QString& desktopFile,
                                 const QString& pid) {
    QDBusMessage m = QDBusMessage::createMethodCall(helperName_, "/com/halvorn/vantrel/Helper",
                                                    "com.halvorn.vantrel.Helper", "WindowActivated");
    m << resourceClass << resourceName << desktopFile << pid;
    EXPECT_EQ(bus_.call(m).type(), QDBusMessage::ReplyMessage);
  }

  QTemporaryDir home_;
  testing_support::MockLogind logind_;
  QDBusConnection bus_{"none"};
  QProcessEnvironment env_;
  QProcess sim_, helper_;
  QString helperName_;
  pl::DictRef prefs_;
  testing_support::X11Client x11_;
};

void run(const QString& command) { ASSERT_EQ(QProcess::execute("sh", {"-c", command}), 0) << command.toStdString(); }

TEST_F(Desktop, ActivationsSwitchTheRecordAndHeldKeysReachTheDevice) {
  writeSettings({ProfileBuilder().build(), ProfileBuilder().app("org.example.Editor").speed(1600).build(),
                 ProfileBuilder().app("", "xterm").speed(800).build()});
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string global = recordFor("");
  const std::string editor = recordFor("org.example.Editor");
  ASSERT_NE(global, editor);

  // X11: the window manager makes the editor's window active.
  const auto pid = static_cast<uint32_t>(::getpid());
  const xcb_window_t editorWindow = x11_.window("edit", "ExampleEditor", pid, testing_support::hostName());
  const xcb_window_t terminal = x11_.window("xterm", "XTerm");
  uint64_t since = lastSeq();
  x11_.activate(editorWindow);
  QJsonArray got = waitLog(since, "settings");
  ASSERT_EQ(got.size(), 1);
  EXPECT_EQ(rawOf(got[0]), editor);
  // An application without a desktop entry is known by its window and program.
  since = lastSeq();
  x11_.activate(terminal);
  got = waitLog(since, "settings");
  ASSERT_EQ(got.size(), 1);
  EXPECT_NE(rawOf(got[0]), editor);
  EXPECT_EQ(describe()["front application"].toObject()["executable"].toString(), "xterm");

  // What the helper says it sees.
  since = lastSeq();
  x11_.activate(editorWindow);
  ASSERT_EQ(waitLog(since, "settings").size(), 1);
  since = lastSeq();
  run("xdotool keydown Shift_L");
  const QJsonArray mods = waitLog(since, "control", 1, 3000);
  ASSERT_EQ(mods.size(), 1);
  const auto vnkm = [](const QJsonValue& entry) {
    const QJsonObject fields = entry.toObject()["fields"].toObject();
    return fields["code"].toString() == "VNKm" ? fields["parameter"].toInt() : -1;
  };
  EXPECT_EQ(vnkm(mods[0]), 0x0200);
  const QJsonObject seen = describe();
  run("xdotool keyup Shift_L");
  const QJsonObject front = seen["front application"].toObject();
  EXPECT_EQ(front["bundle id"].toString(), "org.example.Editor");
  EXPECT_EQ(front["name"].toString(), "Example Editor");
  EXPECT_EQ(front["executable"].toString(), "edit");
  const QJsonObject last = seen["last activation"].toObject();
  EXPECT_EQ(last["source"].toString(), "x11");
  EXPECT_EQ(last["found by"].toString(), "StartupWMClass");
  EXPECT_EQ(last["class"].toString(), "ExampleEditor");
  EXPECT_EQ(seen["keyboard"].toObject()["held"].toString(), "0x0200");
  EXPECT_EQ(seen["backends"].toObject()["front application"].toString(), "X11 active window");
  EXPECT_EQ(seen["backends"].toObject()["held keys and buttons"].toString(), "X11 pointer query");
  EXPECT_EQ(seen["devices"].toArray()[0].toObject()["profile index"].toInt(), 1);
  EXPECT_TRUE(seen["simulator"].toObject()["driver"].toBool());
  EXPECT_FALSE(seen["simulator"].toObject()["operating system"].toBool());
  // The release reaches the device at the tick after.
  const QJsonArray released = waitLog(static_cast<uint64_t>(mods[0].toObject()["seq"].toInteger()), "control", 1, 3000);
  ASSERT_EQ(released.size(), 1);
  EXPECT_EQ(vnkm(released[0]), 0);

  // KWin: the script's call, as it makes it.
  since = lastSeq();
  windowActivatedAsKWinSays("xterm", "xterm", "", "");
  got = waitLog(since, "settings");
  ASSERT_EQ(got.size(), 1);
  EXPECT_NE(rawOf(got[0]), editor);
  since = lastSeq();
  windowActivatedAsKWinSays("ExampleEditor", "edit", "org.example.Editor", QString::number(::getpid()));
  got = waitLog(since, "settings");
  ASSERT_EQ(got.size(), 1);
  EXPECT_EQ(rawOf(got[0]), editor);
  since = lastSeq();
  windowActivatedAsKWinSays("", "", "", "");  // no window active: what applies to all
  got = waitLog(since, "settings");
  ASSERT_EQ(got.size(), 1);
  EXPECT_EQ(rawOf(got[0]), global);
}

TEST_F(Desktop, SnapToDefaultWarpsToTheDialogsDefaultButton) {
  writeSettings({ProfileBuilder().jump(true).build()});
  ASSERT_NO_FATAL_FAILURE(start());
  run("xdotool mousemove 5 5");
  QProcess dialog;
  dialog.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  testing_support::startAsChild(dialog, VANTREL_DIALOG_BINARY, {"Save changes?"});
  ASSERT_TRUE(waitUntil([&] { return dialog.canReadLine(); }, std::chrono::seconds(10)));
  const QStringList ready = QString::fromUtf8(dialog.readLine()).trimmed().split(' ');
  ASSERT_EQ(ready.size(), 6);
  ASSERT_EQ(QProcess::execute("xdotool", {"windowfocus", "--sync", ready[1]}), 0);
  x11_.activate(static_cast<xcb_window_t>(ready[1].toULongLong()));
  const int x = ready[2].toInt() + ready[4].toInt() / 2, y = ready[3].toInt() + ready[5].toInt() / 2;
  const auto pointer = [] {
    QProcess p;
    p.start("xdotool", {"getmouselocation", "--shell"});
    p.waitForFinished(5000);
    int px = -1, py = -1;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n')) {
      if (line.startsWith("X=")) px = line.mid(2).toInt();
      if (line.startsWith("Y=")) py = line.mid(2).toInt();
    }
    return std::make_pair(px, py);
  };
  EXPECT_TRUE(waitUntil([&] { return pointer() == std::make_pair(x, y); }, std::chrono::seconds(5)))
      << "pointer at " << pointer().first << "," << pointer().second << ", button centre " << x << "," << y;
  const QJsonObject ax = describe()["accessibility"].toObject();
  EXPECT_TRUE(ax["granted"].toBool());
  EXPECT_EQ(ax["focused window"].toObject()["name"].toString(), "Save changes?");
  EXPECT_EQ(ax["default button"].toObject()["name"].toString(), "Save");
  EXPECT_TRUE(ax["default button"].toObject()["enabled"].toBool());
  dialog.kill();
  dialog.waitForFinished(5000);
}

TEST_F(Desktop, PowerMediaAndScriptButtonsReachTheDesktop) {
  const QString playerLog = home_.filePath("player.log"), scriptLog = home_.filePath("script.log");
  application("org.example.Player",
              "[Desktop Entry]\nType=Application\nName=Example Player\nMimeType=audio/mpeg;\nExec=/usr/bin/python3 " +
                  std::string(VANTREL_MPRIS_PLAYER) + " example " + playerLog.toStdString() + "\n");
  files::writeAtomically(home_.filePath("config/mimeapps.list").toStdString(),
                         "[Default Applications]\naudio/mpeg=org.example.Player.desktop\n");
  auto script = pl::makeDict();
  script->setInteger("cmd", 73);
  script->setString("str", "echo $$ > '" + scriptLog.toStdString() + "'; exec sleep 30");
  writeSettings({ProfileBuilder().button(0, 78).button(1, 90).button(2, script).button(3, 94).build()});
  ASSERT_NO_FATAL_FAILURE(start());
  const auto playerSaid = [&](const QString& text) {
    return waitUntil([&] {
      QFile f(playerLog);
      return f.open(QIODevice::ReadOnly) && QString::fromUtf8(f.readAll()).split('\n').contains(text);
    }, std::chrono::seconds(10));
  };

  press(0);
  EXPECT_TRUE(waitUntil([&] { return logind_.calls() == QStringList{"Reboot true"}; }));
  // No player runs: the user's default one is started, waited for, and gets the command.
  press(1);
  EXPECT_TRUE(playerSaid("started"));
  EXPECT_TRUE(playerSaid("PlayPause"));
  // A script that runs on for half a minute does not hold the next press up.
  press(2);
  ASSERT_TRUE(waitUntil([&] { return QFile::exists(scriptLog); }));
  press(3);
  EXPECT_TRUE(playerSaid("Volume 0.60"));
  QFile pidFile(scriptLog);
  ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
  const pid_t scriptPid = pidFile.readAll().trimmed().toInt();
  EXPECT_GT(scriptPid, 0);
  if (scriptPid > 0) ::kill(scriptPid, SIGKILL);
  QFile log(playerLog);
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  for (const QString& line : QString::fromUtf8(log.readAll()).split('\n'))
    if (line.startsWith("pid ")) ::kill(line.mid(4).toInt(), SIGTERM);
}

}  // namespace
