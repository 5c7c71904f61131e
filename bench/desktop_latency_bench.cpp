// Latency across processes on a desktop: the helper with the simulator standing in for the
// driver alone (--driver-only), inside a private desktop (run it with
// `tools/testing/desktop.py run -- build/bench/desktop_latency_bench`).
//
//   X11ActivationToRecord   the root's _NET_ACTIVE_WINDOW set by this program, as a window
//                           manager sets it, until the device has received the new record;
//   KWinActivationToRecord  the KWin script's call sent to the helper, until the same.
//
// The start is taken here just before the request leaves, the end inside the simulator: both on
// the machine's monotonic clock. Median, 99th percentile and maximum are counters.
#include <benchmark/benchmark.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <ctime>
#include <memory>
#include <unistd.h>

#include "bench/build_dir.h"
#include "bench/latency_counters.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/files.h"
#include "platform/plist.h"
#include "platform/tests/x11/x11_client.h"
#include "sim/sim_names.h"

namespace {

int64_t nowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

pl::DictRef profile(const std::string& bundleID, int64_t speed) {
  auto p = pl::makeDict();
  p->setInteger("dict version", 3);
  p->setBool("driver enabled", true);
  auto app = pl::makeDict();
  app->setString("app bundle id", bundleID);
  p->set("target app", app);
  auto options = pl::makeDict();
  options->setInteger("speed", speed);
  p->set("options", options);
  auto buttons = pl::makeDict();
  auto click = pl::makeDict();
  click->setInteger("cmd", 1);
  buttons->set("00", click);
  p->set("buttons", buttons);
  return p;
}

class Desktop {
 public:
  Desktop() {
    if (std::getenv("VANTREL_PRIVATE_DESKTOP") == nullptr) { fail("run it inside tools/testing/desktop.py"); return; }
    bus_ = QDBusConnection::sessionBus();
    if (!home_.isValid() || !bus_.isConnected()) { fail("no session bus or temporary folder"); return; }
    const std::string home = home_.path().toStdString();
    files::writeAtomically(home + "/share/applications/org.example.Editor.desktop",
                           "[Desktop Entry]\nType=Application\nName=Editor\nExec=edit\nStartupWMClass=ExampleEditor\n");
    auto prefs = pl::makeDict();
    auto devices = pl::makeArray();
    devices->append(profile("", 400));
    devices->append(profile("org.example.Editor", 1600));
    prefs->setInteger("version", 3);
    prefs->set("devices", devices);
    pl::writeXmlFile(*prefs, home + "/Library/Preferences/com.halvorn.vantrel.settings.plist");
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home_.path());
    env.insert("XDG_DATA_HOME", home_.filePath("share"));
    env.insert("XDG_DATA_DIRS", home_.filePath("none"));
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent");  // no power management to reach
    const std::string dir = benchsupport::buildDir();
    sim_.setProcessEnvironment(env);
    testing_support::startAsChild(sim_, QString::fromStdString(dir + "/sim/vantrel-sim"), {"--driver-only", "--attach", "dev1"});
    if (!sim_.waitForStarted(5000) || !sim_.waitForReadyRead(10000)) { fail("vantrel-sim did not start"); return; }
    helper_.setProcessEnvironment(env);
    helper_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(helper_, QString::fromStdString(dir + "/helper/VantrelHelper"), {});
    if (!helper_.waitForStarted(5000) || waitLog(0, "settings", 1, 10000).isEmpty()) { fail("no first settings"); return; }
    for (int tries = 0; tries < 100 && helperName_.isEmpty(); ++tries) {
      for (const QString& name : bus_.interface()->registeredServiceNames().value())
        if (name.startsWith(':') && bus_.interface()->servicePid(name).value() == helper_.processId()) helperName_ = name;
      testing_support::spin(std::chrono::milliseconds(20));
    }
    if (helperName_.isEmpty()) { fail("the helper is not on the bus"); return; }
    editor_ = x11_.window("edit", "ExampleEditor", static_cast<uint32_t>(::getpid()), testing_support::hostName());
    other_ = x11_.window("xterm", "XTerm");
  }
  ~Desktop() {
    for (auto* p : {&helper_, &sim_}) testing_support::stopChild(*p);
  }
  const std::string& error() const { return error_; }

  QJsonArray waitLog(qulonglong since, const QString& kind, uint count, uint timeoutMs = 5000) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, "WaitForLog");
    m.setArguments({QVariant::fromValue(since), kind, count, timeoutMs});
    return QJsonDocument::fromJson(bus_.call(m, QDBus::Block, 20000).arguments().value(0).toString().toUtf8()).array();
  }
  qulonglong lastSeq() {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, "LastLogSeq");
    return bus_.call(m).arguments().value(0).toULongLong();
  }
  // Activates one of the two windows; the time it was asked.
  int64_t activateX11(bool editor) {
    const int64_t t = nowNs();
    x11_.activate(editor ? editor_ : other_);
    return t;
  }
  int64_t activateKWin(bool editor) {
    QDBusMessage m = QDBusMessage::createMethodCall(helperName_, "/com/halvorn/vantrel/Helper",
                                                    "com.halvorn.vantrel.Helper", "WindowActivated");
    m << QString(editor ? "ExampleEditor" : "XTerm") << QString(editor ? "edit" : "xterm")
      << QString(editor ? "org.example.Editor" : "") << QString::number(editor ? ::getpid() : 0);
    const int64_t t = nowNs();
    bus_.asyncCall(m);  // as KWin's callDBus: the reply is not waited for
    return t;
  }

 private:
  void fail(const std::string& why) { error_ = why; }
  QTemporaryDir home_;
  QDBusConnection bus_{"none"};
  QProcess sim_, helper_;
  QString helperName_;
  std::string error_;
  testing_support::X11Client x11_;
  xcb_window_t editor_ = 0, other_ = 0;
};

Desktop& theDesktop() {
  static std::unique_ptr<Desktop> d = [] {
    testing_support::ensureApplication();
    return std::make_unique<Desktop>();
  }();
  return *d;
}

void activationToRecord(benchmark::State& state, int64_t (Desktop::*activate)(bool)) {
  Desktop& d = theDesktop();
  if (!d.error().empty()) return state.SkipWithError(d.error().c_str());
  std::vector<double> micros;
  bool editor = false;
  for (auto _ : state) {
    editor = !editor;
    const qulonglong since = d.lastSeq();
    const int64_t asked = (d.*activate)(editor);
    const QJsonArray records = d.waitLog(since, "settings", 1);
    if (records.isEmpty()) return state.SkipWithError("no record arrived");
    const double us = static_cast<double>(records[0].toObject()["time_ns"].toInteger() - asked) / 1000.0;
    micros.push_back(us);
    state.SetIterationTime(us / 1e6);
  }
  reportLatencies(state, micros);
}

void X11ActivationToRecord(benchmark::State& state) { activationToRecord(state, &Desktop::activateX11); }
BENCHMARK(X11ActivationToRecord)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

void KWinActivationToRecord(benchmark::State& state) { activationToRecord(state, &Desktop::activateKWin); }
BENCHMARK(KWinActivationToRecord)->UseManualTime()->Iterations(500)->Unit(benchmark::kMicrosecond);

}  // namespace
