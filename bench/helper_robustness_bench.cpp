// The helper program under pressure, each case on a private session bus of its own:
//
//   FloodThenList/0       ten 10 MB command notifications, then "list": how long until the
//                         answer arrives, how long a button press waits for its keystroke
//                         meanwhile, and how long "list" takes once the flood is through;
//   FloodThenList/1       the same flood to a name nobody observes: the bus's share of it;
//   DoubleStart           two helpers started at the same moment, 100 times: how often exactly
//                         one keeps running;
//   IdleCpu               the helper with one device and nothing happening for 60 seconds: its
//                         share of one core;
//   SettingsFile/...      the helper on a settings file of the given kind (3 GB sparse, 50 MB
//                         and 30 MB valid): how long it takes to start, how long "update" takes
//                         until the device has its settings again, the helper's peak and
//                         resident memory then, and (for the valid files) its resident memory
//                         once an "update" brought the factory file back.
//
// Needs vantrel-sim and VantrelHelper built next to this program (<build>/sim, <build>/helper),
// or in the build folder that VANTREL_BIN_DIR names (bench/build_dir.h).
#include <benchmark/benchmark.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>

#include "bench/build_dir.h"
#include "platform/dbus/distributed_notifications.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/files.h"
#include "platform/plist.h"
#include "settings/protocol.h"
#include "sim/sim_names.h"

namespace {

using testing_support::waitUntil;

QString helperBinary() { return QString::fromStdString(benchsupport::buildDir() + "/helper/VantrelHelper"); }
QString simBinary() { return QString::fromStdString(benchsupport::buildDir() + "/sim/vantrel-sim"); }

// A number from /proc/PID/status ("VmHWM", "VmRSS"), in MiB.
double statusMiB(qint64 pid, const std::string& key) {
  const auto text = files::readWhole("/proc/" + std::to_string(pid) + "/status");
  if (!text) return -1;
  const auto at = text->find(key + ":");
  if (at == std::string::npos) return -1;
  return std::strtod(text->c_str() + at + key.size() + 1, nullptr) / 1024.0;
}

// The time all threads of a process spent on a processor, in seconds (the scheduler's own
// nanosecond count: clock ticks are far too coarse for a process that is mostly asleep).
double cpuSeconds(qint64 pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  for (const auto& task : std::filesystem::directory_iterator(tasks)) {
    const auto stat = files::readWhole(task.path().string() + "/schedstat");
    if (stat) total += std::strtod(stat->c_str(), nullptr) / 1e9;
  }
  return total;
}

// A simulator (optional), helpers and a panel on a private bus with a temporary home folder.
class Session {
 public:
  Session() : pane_(bus_.ok() ? bus_.connect("pane") : QDBusConnection("none")) {
    if (!bus_.ok() || !home_.isValid()) return;
    control_ = bus_.connect("control");
    env_ = bus_.environment();
    env_.insert("HOME", home_.path());
    env_.insert("XDG_RUNTIME_DIR", home_.path());
    pane_.observe(protocol::kMessageName, [this](const std::optional<std::string>& object) {
      if (object && protocol::readMessage(*object).kind == protocol::Message::Kind::List) ++lists_;
    });
  }
  ~Session() {
    for (auto& p : helpers_) stop(*p);
    stop(sim_);
  }

  bool ok() const { return bus_.ok() && home_.isValid(); }
  std::string settingsPath() const {
    return home_.path().toStdString() + "/Library/Preferences/com.halvorn.vantrel.settings.plist";
  }

  bool startSimulator(const QStringList& args) {
    sim_.setProcessEnvironment(env_);
    testing_support::startAsChild(sim_, simBinary(), args);
    if (!sim_.waitForStarted(5000)) return false;
    QByteArray out;
    QElapsedTimer t;
    t.start();
    while (!out.contains("ready") && t.elapsed() < 10000 && sim_.state() == QProcess::Running) {
      sim_.waitForReadyRead(500);
      out += sim_.readAllStandardOutput();
    }
    return out.contains("ready");
  }
  QProcess& startHelper() {
    helpers_.push_back(std::make_unique<QProcess>());
    QProcess& p = *helpers_.back();
    p.setProcessEnvironment(env_);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(p, helperBinary(), {});
    p.waitForStarted(5000);
    return p;
  }
  static void stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning) return;
    p.terminate();
    if (!p.waitForFinished(5000)) p.kill();
    p.waitForFinished(2000);
  }
  void stopHelpers() {
    for (auto& p : helpers_) stop(*p);
    helpers_.clear();
  }

  QVariant control(const char* method, const QList<QVariant>& args = {}) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    return control_.call(m, QDBus::Block, 120000).arguments().value(0);
  }
  QJsonArray waitLog(qulonglong since, const QString& kind, uint count, uint timeoutMs) {
    return QJsonDocument::fromJson(
               control("WaitForLog", {QVariant::fromValue(since), kind, count, timeoutMs}).toString().toUtf8())
        .array();
  }

  void post(const std::string& text) { pane_.post(protocol::kCommandName, text); }
  // As a sender that keeps to no size (post() refuses what the helper would drop).
  void postRaw(const QString& text, const char* name = protocol::kCommandName) { pane_.postVariant(name, text); }
  void command(protocol::Command c) { post(*protocol::encodeDictionary(*protocol::makeCommand(c))); }
  // Sends "list" and waits this long for the answer; the time it took, or -1.
  double listMs(int timeoutMs) {
    const size_t before = lists_;
    QElapsedTimer t;
    t.start();
    command(protocol::Command::List);
    if (!waitUntil([&] { return lists_ > before; }, std::chrono::milliseconds(timeoutMs))) return -1;
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
  }
  // Sends "list" until one is answered (the helper listens once started).
  bool answers(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < timeoutMs)
      if (listMs(200) >= 0) return true;
    return false;
  }

 private:
  testing_support::PrivateBus bus_;
  QTemporaryDir home_;
  dbusnotify::DistributedNotificationCenter pane_;
  QDBusConnection control_{"none"};
  QProcessEnvironment env_;
  QProcess sim_;
  std::vector<std::unique_ptr<QProcess>> helpers_;
  size_t lists_ = 0;
};

void FloodThenList(benchmark::State& state) {
  testing_support::ensureApplication();
  // 0: the flood goes to the helper; 1: the same flood under a name nobody observes, for scale
  // (what the sender and the bus daemon take alone).
  const bool toHelper = state.range(0) == 0;
  Session s;
  if (!s.ok() || !s.startSimulator({"--attach", "dev1"})) return state.SkipWithError("no simulator");
  s.startHelper();
  if (!s.answers(10000)) return state.SkipWithError("the helper does not answer");
  // A command with ten megabytes of text in it: a dictionary the helper would parse whole.
  auto big = protocol::makeCommand(protocol::Command::None);
  big->setString("command", "flood");
  big->setString("padding", std::string(10 * 1024 * 1024, 'x'));
  const QString flood = QString::fromStdString(*protocol::encodeDictionary(*big));
  double worstList = 0, worstPress = 0, calm = 0;
  for (auto _ : state) {
    for (int i = 0; i < 10; ++i) s.postRaw(flood, toHelper ? protocol::kCommandName : "com.example.nobody");
    const double list = s.listMs(120000);
    const auto press = QJsonDocument::fromJson(
        s.control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(3), true}).toString().toUtf8()).object();
    const auto keys = s.waitLog(static_cast<qulonglong>(press["seq"].toInteger()), "control", 1, 120000);
    const double pressMs =
        keys.isEmpty() ? -1
                       : static_cast<double>(keys[0].toObject()["time_ns"].toInteger() - press["time_ns"].toInteger()) / 1e6;
    if (list < 0 || pressMs < 0) return state.SkipWithError("no answer within two minutes");
    worstList = std::max(worstList, list);
    worstPress = std::max(worstPress, pressMs);
    state.SetIterationTime(list / 1e3);
    // Let whatever is still queued drain before the next round; then "list" as usual.
    s.answers(300000);
    calm = std::max(calm, s.listMs(120000));
  }
  state.counters["list_ms_max"] = worstList;
  state.counters["press_ms_max"] = worstPress;
  state.counters["list_after_ms_max"] = calm;
}
BENCHMARK(FloodThenList)->Arg(0)->Arg(1)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

void DoubleStart(benchmark::State& state) {
  testing_support::ensureApplication();
  Session s;
  if (!s.ok()) return state.SkipWithError("no private bus");
  int none = 0, one = 0, two = 0;
  for (auto _ : state) {
    QProcess& a = s.startHelper();
    QProcess& b = s.startHelper();
    // The loser ends within moments; give the winner the same time to show it stays.
    waitUntil([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; },
              std::chrono::seconds(10));
    testing_support::spin(std::chrono::milliseconds(500));
    const int running = (a.state() == QProcess::Running ? 1 : 0) + (b.state() == QProcess::Running ? 1 : 0);
    (running == 0 ? none : running == 1 ? one : two)++;
    s.stopHelpers();
  }
  state.counters["exactly_one"] = one;
  state.counters["none"] = none;
  state.counters["two"] = two;
}
BENCHMARK(DoubleStart)->Iterations(100)->Unit(benchmark::kMillisecond);

void IdleCpu(benchmark::State& state) {
  testing_support::ensureApplication();
  Session s;
  if (!s.ok() || !s.startSimulator({"--attach", "dev1"})) return state.SkipWithError("no simulator");
  QProcess& helper = s.startHelper();
  if (!s.answers(10000)) return state.SkipWithError("the helper does not answer");
  const int seconds = static_cast<int>(state.range(0));
  double percent = 0;
  for (auto _ : state) {
    const double before = cpuSeconds(helper.processId());
    QElapsedTimer t;
    t.start();
    ::sleep(static_cast<unsigned>(seconds));  // nothing of this process runs meanwhile
    const double after = cpuSeconds(helper.processId());
    percent = 100.0 * (after - before) / (static_cast<double>(t.nsecsElapsed()) / 1e9);
  }
  state.counters["helper_cpu_percent"] = percent;
}
BENCHMARK(IdleCpu)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond);

// The factory settings with per-application copies of its profiles until the XML file has at
// least `bytes` bytes.
bool writeLargeSettings(const std::string& path, size_t bytes) {
  auto prefs = pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist");
  if (!prefs) return false;
  const auto base = prefs->getArray("devices");
  const size_t perProfile = pl::toXml(*base->dictAt(0))->size();
  auto devices = pl::makeArray();
  for (size_t i = 0; i * perProfile < bytes; ++i) {
    auto p = pl::deepCopyDict(base->dictAt(i % base->size()));
    p->getDict("target app")->setString("app bundle id", "com.example.app" + std::to_string(i));
    p->setString("settings name", "App " + std::to_string(i));
    devices->append(p);
  }
  for (const auto& p : base->items()) devices->append(p);
  prefs->set("devices", devices);
  return pl::writeXmlFile(*prefs, path);
}

// A valid small settings file followed by zeros up to `bytes`, without writing them (sparse).
bool writeSparseSettings(const std::string& path, off_t bytes) {
  auto prefs = pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist");
  if (!prefs || !pl::writeXmlFile(*prefs, path)) return false;
  return ::truncate(path.c_str(), bytes) == 0;
}

enum FileKind { kSparse3GB, kValid50MB, kValid30MB };

void SettingsFile(benchmark::State& state) {
  testing_support::ensureApplication();
  const auto kind = static_cast<FileKind>(state.range(0));
  for (auto _ : state) {
    Session s;
    if (!s.ok()) return state.SkipWithError("no private bus");
    const bool written = kind == kSparse3GB ? writeSparseSettings(s.settingsPath(), 3LL << 30)
                         : kind == kValid50MB ? writeLargeSettings(s.settingsPath(), 50u << 20)
                                               : writeLargeSettings(s.settingsPath(), 30u << 20);
    if (!written) return state.SkipWithError("cannot write the settings file");
    if (!s.startSimulator({"--attach", "dev1"})) return state.SkipWithError("no simulator");
    QElapsedTimer started;
    started.start();
    QProcess& helper = s.startHelper();
    if (!s.answers(60000)) return state.SkipWithError("the helper does not answer");
    state.counters["start_ms"] = static_cast<double>(started.nsecsElapsed()) / 1e6;
    // "update", as the panel's save sends it: the file is read again and every device gets its
    // settings. Presses wait behind that read.
    const qulonglong since = s.control("LastLogSeq").toULongLong();
    QElapsedTimer t;
    t.start();
    s.command(protocol::Command::Update);
    if (s.waitLog(since, "settings", 1, 60000).isEmpty()) return state.SkipWithError("no settings after update");
    state.SetIterationTime(static_cast<double>(t.nsecsElapsed()) / 1e9);
    state.counters["peak_MiB"] = statusMiB(helper.processId(), "VmHWM");
    state.counters["resident_MiB"] = statusMiB(helper.processId(), "VmRSS");
    if (kind != kSparse3GB) {
      auto factory = pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist");
      pl::writeXmlFile(*factory, s.settingsPath());
      const qulonglong beforeSmall = s.control("LastLogSeq").toULongLong();
      s.command(protocol::Command::Update);
      s.waitLog(beforeSmall, "settings", 1, 60000);
      state.counters["resident_after_small_MiB"] = statusMiB(helper.processId(), "VmRSS");
    }
  }
}
BENCHMARK(SettingsFile)->Arg(kSparse3GB)->Arg(kValid50MB)->Arg(kValid30MB)->UseManualTime()->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
