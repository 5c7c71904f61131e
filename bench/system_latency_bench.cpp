// Latency across processes: the device simulator and the helper on a private session bus.
//
//   ButtonPressToKeystroke  a button press posted by the simulated driver until the keystroke
//                           control the helper sends back arrives at the driver;
//   AppSwitchToFourDevices  an application activation until the fourth of four devices has
//                           received its new settings record.
//
// Both times are taken inside the simulator (one monotonic clock), so the benchmark's own calls
// to the simulator do not count. Each iteration's time is reported as manual time; the median
// and the 99th percentile are counters. Needs vantrel-sim and VantrelHelper built next to this
// program (<build>/sim, <build>/helper).
#include <benchmark/benchmark.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <unistd.h>

#include "bench/build_dir.h"
#include "bench/latency_counters.h"
#include "sim/sim_names.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/plist.h"
#include "settings/models.h"

namespace {

// Four devices, the helper, and a settings file in which Button 4 copies in every application
// and "Editor" has a profile of its own.
class System {
 public:
  System() {
    if (!bus_.ok() || !home_.isValid()) {
      fail("no private bus or temporary folder");
      return;
    }
    control_ = bus_.connect("bench");
    const std::string dir = benchsupport::buildDir();
    if (!writeSettings()) { fail("cannot write the settings file"); return; }
    auto env = bus_.environment();
    env.insert("HOME", home_.path());
    env.insert("XDG_RUNTIME_DIR", home_.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    sim_.setProcessEnvironment(env);
    testing_support::startAsChild(sim_, QString::fromStdString(dir + "/sim/vantrel-sim"),
                                  {"--attach", "dev1", "--attach", "dev1", "--attach", "dev1", "--attach", "dev1"});
    if (!sim_.waitForStarted(5000) || !sim_.waitForReadyRead(10000)) { fail("vantrel-sim did not start"); return; }
    helper_.setProcessEnvironment(env);
    helper_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(helper_, QString::fromStdString(dir + "/helper/VantrelHelper"), {});
    if (!helper_.waitForStarted(5000)) { fail("VantrelHelper did not start"); return; }
    if (waitLog(0, "scroll", 4, 10000).size() < 4) { fail("the devices got no settings"); return; }
  }
  ~System() {
    for (auto* p : {&helper_, &sim_}) {
      p->terminate();
      if (!p->waitForFinished(5000)) p->kill();
      p->waitForFinished(1000);
    }
  }

  const std::string& error() const { return error_; }

  QJsonObject callObject(const char* method, const QList<QVariant>& args) {
    return QJsonDocument::fromJson(call(method, args).toString().toUtf8()).object();
  }
  QJsonArray waitLog(qulonglong since, const QString& kind, uint count, uint timeoutMs = 5000) {
    return QJsonDocument::fromJson(
               call("WaitForLog", {QVariant::fromValue(since), kind, count, timeoutMs}).toString().toUtf8())
        .array();
  }

  QVariant call(const char* method, const QList<QVariant>& args) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    const auto reply = control_.call(m, QDBus::Block, 20000);
    return reply.arguments().value(0);
  }

 private:
  void fail(const std::string& why) { error_ = why; }

  bool writeSettings() {
    auto prefs = pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist");
    if (!prefs) return false;
    const auto devices = prefs->getArray("devices");
    pl::DictRef dev1;
    for (const auto& p : *devices) {
      auto d = pl::asDict(p);
      if (d && d->getDict("target device") &&
          d->getDict("target device")->integerValue("device product id") == models::productOfDevice(1))
        dev1 = d;
    }
    if (!dev1) return false;
    auto copy = pl::makeDict();
    copy->setInteger("cmd", 52);
    dev1->getDict("buttons")->set("03", copy);
    auto editor = pl::deepCopyDict(dev1);
    editor->getDict("target app")->setString("app bundle id", "com.example.editor");
    editor->getDict("options")->setInteger("speed", 800);
    devices->append(editor);
    return pl::writeXmlFile(*prefs, home_.path().toStdString() + "/Library/Preferences/com.halvorn.vantrel.settings.plist");
  }

  testing_support::PrivateBus bus_;
  QTemporaryDir home_;
  QDBusConnection control_{"none"};
  QProcess sim_, helper_;
  std::string error_;
};

System& theSystem() {
  static std::unique_ptr<System> s = [] {
    testing_support::ensureApplication();
    return std::make_unique<System>();
  }();
  return *s;
}

void ButtonPressToKeystroke(benchmark::State& state) {
  System& s = theSystem();
  if (!s.error().empty()) return state.SkipWithError(s.error().c_str());
  std::vector<double> micros;
  for (auto _ : state) {
    const auto press = s.callObject("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(3), false});
    const auto keys = s.waitLog(static_cast<qulonglong>(press["seq"].toInteger()), "control", 1);
    if (keys.isEmpty()) return state.SkipWithError("no keystroke arrived");
    const double us = static_cast<double>(keys[0].toObject()["time_ns"].toInteger() - press["time_ns"].toInteger()) / 1000.0;
    micros.push_back(us);
    state.SetIterationTime(us / 1e6);
  }
  reportLatencies(state, micros);
}
BENCHMARK(ButtonPressToKeystroke)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

void AppSwitchToFourDevices(benchmark::State& state) {
  System& s = theSystem();
  if (!s.error().empty()) return state.SkipWithError(s.error().c_str());
  std::vector<double> micros;
  bool editor = false;
  for (auto _ : state) {
    editor = !editor;
    const QString app = editor ? R"({"bundle_id":"com.example.editor","name":"Editor"})"
                               : R"({"bundle_id":"com.example.other","name":"Other"})";
    const auto activated = s.callObject("Activate", {app});
    const auto records = s.waitLog(static_cast<qulonglong>(activated["seq"].toInteger()), "settings", 4);
    if (records.size() < 4) return state.SkipWithError("not every device got its settings");
    const double us =
        static_cast<double>(records[3].toObject()["time_ns"].toInteger() - activated["time_ns"].toInteger()) / 1000.0;
    micros.push_back(us);
    state.SetIterationTime(us / 1e6);
  }
  reportLatencies(state, micros);
}
BENCHMARK(AppSwitchToFourDevices)->UseManualTime()->Iterations(1000)->Unit(benchmark::kMicrosecond);

// For scale: one blocking call from a client to the simulator and back through the bus.
void SimulatorRoundTrip(benchmark::State& state) {
  System& s = theSystem();
  if (!s.error().empty()) return state.SkipWithError(s.error().c_str());
  for (auto _ : state) benchmark::DoNotOptimize(s.call("LastLogSeq", {}));
}
BENCHMARK(SimulatorRoundTrip)->Iterations(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
