// The settings program as a process (offscreen, on a private session bus): how it fails, how a
// termination signal ends it, and what the device simulator sees of it.
#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <filesystem>

#include "pane/host/sim_front_app.h"
#include "pane/host/tests/stub_log.h"
#include "sim/sim_names.h"

namespace {

using hosttest::kStubBundle;
using hosttest::StubLog;
using testing_support::PrivateBus;
using testing_support::waitUntil;

class HostRun {
 public:
  HostRun() : env_(bus_.environment()) {
    env_.insert("HOME", log_.folder().c_str());
    env_.insert("XDG_RUNTIME_DIR", log_.folder().c_str());
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("LC_ALL", "C");
    env_.insert("VANTREL_STUB_PANE_LOG", log_.path().c_str());
  }
  ~HostRun() {
    for (QProcess* p : {&host_, &sim_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->kill();
      p->waitForFinished(5000);
    }
  }

  QProcessEnvironment& environment() { return env_; }
  const StubLog& log() const { return log_; }
  QProcess& host() { return host_; }

  // Runs the program to its end: exit status (-1 when it did not end normally) and stderr.
  std::pair<int, std::string> runToEnd(const QStringList& arguments, const QString& program = VANTREL_SETTINGS_BINARY) {
    QProcess p;
    p.setProcessEnvironment(env_);
    testing_support::startAsChild(p, program, arguments);
    if (!p.waitForFinished(20000)) return {-1, "did not end"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
  }
  bool start(const QStringList& arguments = {QString::fromStdString(kStubBundle)}) {
    host_.setProcessEnvironment(env_);
    host_.setProcessChannelMode(QProcess::ForwardedChannels);
    testing_support::startAsChild(host_, VANTREL_SETTINGS_BINARY, arguments);
    return host_.waitForStarted(5000);
  }
  // SIGTERM, as the session's end sends it; the exit status (-1 when it did not end normally).
  int terminate() {
    host_.terminate();
    if (!host_.waitForFinished(10000)) return -1;
    return host_.exitStatus() == QProcess::NormalExit ? host_.exitCode() : -1;
  }

  // ---- the device simulator on the same bus ----
  bool startSimulator() {
    sim_.setProcessEnvironment(env_);
    sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(sim_, VANTREL_SIM_BINARY, {});
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (!out.contains("ready")) {
      if (t.elapsed() > 10000 || sim_.state() == QProcess::NotRunning) return false;
      sim_.waitForReadyRead(500);
      out += sim_.readAllStandardOutput();
    }
    control_ = bus_.connect("control");
    return true;
  }
  QDBusConnection hostConnection() { return bus_.connect("host"); }
  QVariant control(const char* method, const QList<QVariant>& args = {}) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    const QDBusMessage reply = control_.call(m, QDBus::Block, 10000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method << ": " << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
  }
  QJsonObject state() { return QJsonDocument::fromJson(control("State").toString().toUtf8()).object(); }
  QString front() { return state()["front_application"].toObject()["bundle_id"].toString(); }
  bool runs(const QString& process) { return state()["processes"].toArray().contains(process); }
  bool waitForFront(const QString& bundleID) {
    return waitUntil([&] { return front() == bundleID; }, std::chrono::seconds(10));
  }

 private:
  PrivateBus bus_;
  StubLog log_;
  QProcessEnvironment env_;
  QProcess host_, sim_;
  QDBusConnection control_{"none"};
};

TEST(HostProgram, FailuresEndWithAMessageAndAStatus) {
  HostRun run;
  auto [status, err] = run.runToEnd({"/nonexistent/Some.prefPane"});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Vantrel Settings cannot open its settings panel."), std::string::npos) << err;
  EXPECT_NE(err.find("There is no settings panel at /nonexistent/Some.prefPane."), std::string::npos) << err;

  // Alone in a folder, the program finds no bundle and says where it looked.
  QTemporaryDir dir;
  const std::string lonely = dir.filePath("bin/vantrel-settings").toStdString();
  std::filesystem::create_directories(dir.filePath("bin").toStdString());
  std::filesystem::copy_file(VANTREL_SETTINGS_BINARY, lonely);
  std::tie(status, err) = run.runToEnd({}, QString::fromStdString(lonely));
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("Looked in:\n" + dir.path().toStdString() + "/bin/VantrelPrefPane.prefPane\n" +
                     dir.path().toStdString() + "/lib/vantrel/VantrelPrefPane.prefPane"),
            std::string::npos) << err;

  run.environment().insert("VANTREL_STUB_PANE_MODE", "no-view");
  std::tie(status, err) = run.runToEnd({QString::fromStdString(kStubBundle)});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("could not load its interface"), std::string::npos) << err;
  const auto calls = run.log().lines();
  EXPECT_EQ(calls, (std::vector<std::string>{"create", "initWithBundle " + kStubBundle, "main bundle " + kStubBundle,
                                             "loadMainView", "destroyed, view gone"}));

  // No display at all: a message, not Qt's abort.
  run.environment().remove("QT_QPA_PLATFORM");
  run.environment().remove("DISPLAY");
  run.environment().remove("WAYLAND_DISPLAY");
  std::tie(status, err) = run.runToEnd({QString::fromStdString(kStubBundle)});
  EXPECT_EQ(status, 1);
  EXPECT_NE(err.find("no display"), std::string::npos) << err;
}

TEST(HostProgram, ATerminationSignalUnselectsThePaneBeforeItEnds) {
  HostRun run;
  ASSERT_TRUE(run.start());
  ASSERT_TRUE(run.log().waitFor("window became key"));
  EXPECT_EQ(run.terminate(), 0);
  const auto lines = run.log().lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "willUnselect");
  EXPECT_EQ(lines.back(), "destroyed, view alive");
}

TEST(HostProgram, IsSystemPreferencesInTheSimulatedWorld) {
  HostRun run;
  ASSERT_TRUE(run.startSimulator());
  run.control("Activate", {R"({"bundle_id":"com.example.editor","name":"Editor","signature":"EDIT"})"});

  ASSERT_TRUE(run.start());
  ASSERT_TRUE(run.waitForFront("com.apple.systempreferences"));
  const QJsonObject front = run.state()["front_application"].toObject();
  EXPECT_EQ(front["name"].toString(), "System Preferences");
  EXPECT_EQ(front["signature"].toString(), "sprf");
  EXPECT_TRUE(run.runs("System Preferences (sprf)"));

  // Quitting gives the front back to the application that had it, and the process ends.
  EXPECT_EQ(run.terminate(), 0);
  EXPECT_EQ(run.front(), "com.example.editor");
  EXPECT_FALSE(run.runs("System Preferences (sprf)"));
}

TEST(SimFrontApplication, LeavingTheFrontGivesItBack) {
  HostRun run;
  QDBusConnection bus = run.hostConnection();
  {
    // Without the simulator nothing is sent and nothing waits.
    settingshost::SimFrontApplication alone(bus);
    alone.setHostActive(true);
    alone.setHostActive(false);
    alone.hostQuits();
  }
  ASSERT_TRUE(run.startSimulator());
  settingshost::SimFrontApplication simulated(bus);
  simulated.setHostActive(true);
  ASSERT_TRUE(run.waitForFront("com.apple.systempreferences"));
  // Nothing was in front before: Finder is, as on a desktop with no other window.
  simulated.setHostActive(false);
  ASSERT_TRUE(run.waitForFront("com.apple.finder"));

  run.control("Activate", {R"({"bundle_id":"com.example.mail","name":"Mail","signature":"emal"})"});
  simulated.setHostActive(true);
  ASSERT_TRUE(run.waitForFront("com.apple.systempreferences"));
  simulated.hostQuits();
  EXPECT_EQ(run.front(), "com.example.mail");
  EXPECT_FALSE(run.runs("System Preferences (sprf)"));
}

}  // namespace
