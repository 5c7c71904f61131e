// The whole system as separate processes: the device simulator and the helper on a private
// session bus, with a temporary home folder; the test plays the preferences panel (distributed
// notifications) and the person at the machine (the simulator's control object).
#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

#include "platform/dbus/distributed_notifications.h"
#include "sim/sim_names.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/files.h"
#include "platform/plist.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/protocol.h"
#include "settings/record.h"
#include "sim/describe.h"

using testing_support::PrivateBus;
using testing_support::waitUntil;

namespace {

constexpr auto kTimeout = std::chrono::seconds(10);

class SystemUnderTest {
 public:
  SystemUnderTest() : pane_(bus_.ok() ? bus_.connect("pane") : QDBusConnection("none")) {
    if (!bus_.ok()) return;
    control_ = bus_.connect("control");
    pane_.observe(protocol::kMessageName, [this](const std::optional<std::string>& object) {
      if (!object) return;
      messages_.push_back(*object);
      if (protocol::readMessage(*object).kind == protocol::Message::Kind::Report) ++reports_;
    });
    env_ = bus_.environment();
    env_.insert("HOME", home_.path());
    env_.insert("QT_QPA_PLATFORM", "offscreen");
    env_.insert("XDG_RUNTIME_DIR", home_.path());
  }

  ~SystemUnderTest() {
    for (auto* p : {&helper2_, &helper_, &sim_}) {
      if (p->state() == QProcess::NotRunning) continue;
      p->terminate();
      if (!p->waitForFinished(5000)) {
        ADD_FAILURE() << p->program().toStdString() << " ignored SIGTERM";
        p->kill();
        p->waitForFinished(2000);
        continue;
      }
      // A clean end: under the sanitizers, also no leak or error on the way out.
      EXPECT_EQ(p->exitStatus(), QProcess::NormalExit) << p->program().toStdString();
      EXPECT_EQ(p->exitCode(), 0) << p->program().toStdString();
    }
  }

  bool ok() const { return bus_.ok() && home_.isValid(); }
  QString home() const { return home_.path(); }

  bool startSimulator(const QStringList& args = {}) {
    sim_.setProcessEnvironment(env_);
    sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(sim_, VANTREL_SIM_BINARY, args + QStringList{"--reenumerate-ms", "20"});
    if (!sim_.waitForStarted(5000)) return false;
    QElapsedTimer t;
    t.start();
    while (!sim_.readAllStandardOutput().contains("ready")) {
      if (t.elapsed() > 10000 || !sim_.waitForReadyRead(1000)) {
        if (sim_.state() == QProcess::NotRunning || t.elapsed() > 10000) return false;
      }
    }
    return true;
  }

  bool startHelper(QProcess& p) {
    p.setProcessEnvironment(env_);
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    testing_support::startAsChild(p, VANTREL_HELPER_BINARY, {});
    return p.waitForStarted(5000);
  }
  bool startHelper() { return startHelper(helper_); }
  QProcess& helper() { return helper_; }
  QProcess& secondHelper() { return helper2_; }
  QProcess& simulator() { return sim_; }
  pid_t busDaemon() const { return bus_.daemonPid(); }

  // One call to the simulator's control object; its first result.
  QVariant control(const char* method, const QList<QVariant>& args = {}, int timeoutMs = 15000) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    const auto reply = control_.call(m, QDBus::Block, timeoutMs);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method << ": " << reply.errorMessage().toStdString();
    return reply.arguments().value(0);
  }
  uint64_t attach(const QString& key, const QJsonObject& options = {}) {
    const auto r = QJsonDocument::fromJson(
                       control("Attach", {key, QString::fromUtf8(QJsonDocument(options).toJson())}).toString().toUtf8())
                       .object();
    EXPECT_TRUE(r["ok"].toBool()) << r["error"].toString().toStdString();
    return static_cast<uint64_t>(r["device"].toInteger());
  }
  uint64_t lastSeq() { return control("LastLogSeq").toULongLong(); }
  // The log entries of this kind after `since`, once there are `count` of them (fewer on time-out).
  QJsonArray waitLog(uint64_t since, const QString& kind, uint count = 1, uint timeoutMs = 10000) {
    const auto text = control("WaitForLog", {QVariant::fromValue<qulonglong>(since), kind, count, timeoutMs},
                              static_cast<int>(timeoutMs) + 5000)
                          .toString();
    return QJsonDocument::fromJson(text.toUtf8()).array();
  }
  // Settings entries received by one device after `since`.
  QJsonArray settingsOf(uint64_t device, uint64_t since) {
    QJsonArray out;
    const auto all = QJsonDocument::fromJson(control("Log", {QVariant::fromValue<qulonglong>(since)}).toString().toUtf8()).array();
    for (const auto& v : all) {
      const QJsonObject e = v.toObject();
      if (e["kind"].toString() == "settings" && static_cast<uint64_t>(e["device"].toInteger()) == device)
        out.append(e);
    }
    return out;
  }

  // vantrelctl on this bus: exit status, standard output, standard error.
  struct CtlRun {
    int status = -1;
    std::string out, err;
  };
  const QProcessEnvironment& ctlEnvironment() const { return env_; }
  CtlRun ctl(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env_);
    testing_support::startAsChild(p, VANTRELCTL_BINARY, args);
    CtlRun r;
    if (!p.waitForFinished(20000)) return r;
    r.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput().toStdString();
    r.err = p.readAllStandardError().toStdString();
    return r;
  }

  // The panel's side of the protocol.
  void command(const pl::DictRef& dict) { pane_.post(protocol::kCommandName, *protocol::encodeDictionary(*dict)); }
  void postRaw(const QVariant& object) { pane_.postVariant(protocol::kCommandName, object); }
  std::vector<std::string>& messages() { return messages_; }
  // Every report that reached the panel so far (list() does not forget them).
  size_t reportsSeen() const { return reports_; }
  // Sends "list" until the helper answers (it observes commands once its start-up is done).
  std::optional<protocol::DeviceList> list() {
    messages_.clear();
    std::optional<protocol::DeviceList> got;
    QElapsedTimer t;
    t.start();
    while (!got && t.elapsed() < 10000) {
      command(protocol::makeCommand(protocol::Command::List));
      waitUntil([&] {
        for (const auto& m : messages_) {
          const auto msg = protocol::readMessage(m);
          if (msg.kind == protocol::Message::Kind::List) got = msg.list;
        }
        return got.has_value();
      }, std::chrono::milliseconds(200));
    }
    return got;
  }

  bool writeSettings(const pl::Dictionary& prefs) {
    return pl::writeXmlFile(prefs, home_.path().toStdString() + "/Library/Preferences/com.halvorn.vantrel.settings.plist");
  }

 private:
  PrivateBus bus_;
  QTemporaryDir home_;
  dbusnotify::DistributedNotificationCenter pane_;
  QDBusConnection control_{"none"};
  QProcessEnvironment env_;
  QProcess sim_, helper_, helper2_;
  std::vector<std::string> messages_;
  size_t reports_ = 0;
};

pl::DictRef factorySettings() { return pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist"); }

// The record the driver should receive for a device with no application in front.
std::string expectedRecord(const pl::DictRef& prefs, uint16_t product, uint16_t release) {
  int32_t best = -1, global = -1;
  const auto devices = prefs->getArray("devices");
  if (!VantrelMatchAppPrefs(devices, std::nullopt, std::nullopt, std::nullopt, models::kVendorID, product, release,
                            &best, &global))
    return "";
  SettingsRecord r{};
  if (!VantrelAppPrefsDictToStruct(best >= 0 ? devices->dictAt(static_cast<size_t>(best)) : nullptr,
                                   global >= 0 ? devices->dictAt(static_cast<size_t>(global)) : nullptr, &r))
    return "";
  return sim::hex(r.data(), r.size());
}

// A detail of a log entry.
QJsonValue field(const QJsonValue& entry, const char* name) {
  return entry.toObject()["fields"].toObject()[name];
}

std::string rawOf(const QJsonValue& settingsEntry) { return field(settingsEntry, "raw").toString().toStdString(); }

}  // namespace

TEST(EndToEnd, SettingsReachDevicesAttachedBeforeAndAfterTheHelperStarts) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  const auto first = s.waitLog(0, "settings");
  ASSERT_EQ(first.size(), 1);
  const auto factory = factorySettings();
  ASSERT_TRUE(factory);
  EXPECT_EQ(rawOf(first[0]), expectedRecord(factory, models::productOfDevice(1), 0x0105));

  // A device plugged in later gets its own model's settings; Dev3 is told from Dev2 by release.
  const uint64_t since = s.lastSeq();
  const auto dev3 = s.attach("dev3");
  const auto later = s.waitLog(since, "settings");
  ASSERT_EQ(later.size(), 1);
  EXPECT_EQ(static_cast<uint64_t>(later[0].toObject()["device"].toInteger()), dev3);
  EXPECT_EQ(rawOf(later[0]), expectedRecord(factory, models::productOfDevice(3), 0x0106));
  EXPECT_NE(rawOf(later[0]), rawOf(first[0]));

  // An application switch sends every device its settings again, in list order.
  const uint64_t beforeSwitch = s.lastSeq();
  s.control("Activate", {R"({"bundle_id":"com.example.editor","name":"Editor","signature":"EDIT"})"});
  const auto again = s.waitLog(beforeSwitch, "settings", 2);
  ASSERT_EQ(again.size(), 2);
  EXPECT_EQ(again[0].toObject()["device"].toInteger(), 1);
  EXPECT_EQ(again[1].toObject()["device"].toInteger(), static_cast<qint64>(dev3));
}

TEST(EndToEnd, UpdateRereadsTheSettingsFileAndButtonsFollowIt) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);
  ASSERT_TRUE(s.list());  // the helper listens

  // The panel writes a changed file: Dev1's speed, and Chord 1 types Command-C (copy).
  auto prefs = factorySettings();
  ASSERT_TRUE(prefs);
  prefs->setInteger("version", 3);
  pl::DictRef dev1Profile;
  for (const auto& p : *prefs->getArray("devices")) {
    auto d = pl::asDict(p);
    if (d && d->getDict("target device") &&
        d->getDict("target device")->integerValue("device product id") == models::productOfDevice(1))
      dev1Profile = d;
  }
  ASSERT_TRUE(dev1Profile);
  dev1Profile->getDict("options")->setInteger("speed", 1000);
  auto chord = pl::makeDict();
  chord->setInteger("cmd", 52);
  dev1Profile->getDict("buttons")->set("08", chord);
  ASSERT_TRUE(s.writeSettings(*prefs));

  const uint64_t since = s.lastSeq();
  s.command(protocol::makeCommand(protocol::Command::Update));
  const auto updated = s.waitLog(since, "settings");
  ASSERT_EQ(updated.size(), 1);
  EXPECT_EQ(field(updated[0], "speed").toInt(), 50);
  EXPECT_EQ(field(updated[0], "slots").toArray()[8].toObject()["command"].toInt(), 52);

  // Garbage and unknown commands change nothing; the helper keeps answering.
  s.command(protocol::makeCommand(protocol::Command::None));
  auto odd = pl::makeDict();
  odd->setString("command", "reboot");
  s.command(odd);
  s.postRaw("<plist><dict>");
  s.postRaw(QVariant(7));
  const uint64_t afterGarbage = s.lastSeq();
  ASSERT_TRUE(s.list());

  // Chord 1 now copies: the helper sends the keystroke back to the device.
  s.control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(8), false});
  const auto keys = s.waitLog(afterGarbage, "control");
  ASSERT_EQ(keys.size(), 1);
  EXPECT_EQ(field(keys[0], "code").toString(), "VNTk");
  EXPECT_EQ(field(keys[0], "modifiers").toInt() & 0x0100, 0x0100);
  EXPECT_TRUE(s.settingsOf(1, afterGarbage).isEmpty()) << "ignored commands send nothing";
  EXPECT_EQ(s.helper().state(), QProcess::Running);
}

TEST(EndToEnd, ListAnswersWithTheDeviceListPayload) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator());
  ASSERT_TRUE(s.startHelper());
  auto empty = s.list();
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->count, 0);
  EXPECT_TRUE(empty->snapToDefaultAvailable());
  s.control("SetAccessibility", {false});

  s.attach("dev1");
  s.attach("dev7", QJsonObject{{"ble", true}});  // two interfaces, two driver services
  s.attach("mouse");                             // never captured
  ASSERT_TRUE(waitUntil([&] { auto l = s.list(); return l && l->count == 3; }, kTimeout));
  const auto l = s.list();
  ASSERT_TRUE(l);
  EXPECT_FALSE(l->snapToDefaultAvailable());
  EXPECT_EQ(l->devices[0].productID, models::productOfDevice(1));
  EXPECT_EQ(l->devices[0].productNameString(), "Vantrel Orbit Pro");
  EXPECT_EQ(l->devices[1].productID, models::kDev7ProductID);
  EXPECT_EQ(l->devices[1].interfaceNum, 0);
  EXPECT_EQ(l->devices[2].interfaceNum, 1);
  EXPECT_NE(l->devices[1].transport, l->devices[0].transport);
  EXPECT_EQ(l->devices[3], DeviceInfo{});

  // Seventeen devices: sixteen are listed.
  for (int i = 0; i < 14; ++i) s.attach("dev4");
  ASSERT_TRUE(waitUntil([&] { auto x = s.list(); return x && x->count == 16; }, kTimeout));
  // The raw message is exactly 4260 bytes of data.
  s.messages().clear();
  s.command(protocol::makeCommand(protocol::Command::List));
  ASSERT_TRUE(waitUntil([&] { return !s.messages().empty(); }, kTimeout));
  const auto dict = protocol::decodeDictionary(s.messages().front());
  ASSERT_TRUE(dict);
  ASSERT_TRUE(dict->getData("list"));
  EXPECT_EQ(dict->getData("list")->bytes().size(), 4260u);
  EXPECT_EQ(dict->size(), 1u);
}

TEST(EndToEnd, StateReportsReachThePanelOnlyWhileItIsInFront) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_TRUE(s.list());

  uint64_t since = s.lastSeq();
  s.command(protocol::makeFrontCommand(true));
  auto controls = s.waitLog(since, "control");
  ASSERT_EQ(controls.size(), 1);
  EXPECT_EQ(controls[0].toObject()["text"].toString(), "state reports off") << "System Preferences is not in front";

  since = s.lastSeq();
  s.control("Activate", {R"({"bundle_id":"com.apple.systempreferences","name":"System Preferences","signature":"sprf"})"});
  controls = s.waitLog(since, "control");
  ASSERT_EQ(controls.size(), 1);
  EXPECT_EQ(controls[0].toObject()["text"].toString(), "state reports on");

  s.messages().clear();
  const QByteArray report = QByteArray::fromHex("00112233445566778899aabbccddeeff");
  s.control("Report", {QVariant::fromValue<qulonglong>(1), report, false});
  ASSERT_TRUE(waitUntil([&] { return !s.messages().empty(); }, kTimeout));
  const auto m = protocol::readMessage(s.messages().front());
  ASSERT_EQ(m.kind, protocol::Message::Kind::Report);
  EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(m.report.data()), 16), report);

  // With the session in the background nothing is forwarded, System Preferences or not.
  s.control("SetConsole", {true, true, false});
  size_t reports = s.reportsSeen();
  s.control("Report", {QVariant::fromValue<qulonglong>(1), report, true});
  ASSERT_TRUE(s.list());
  testing_support::spin(std::chrono::milliseconds(100));
  EXPECT_EQ(s.reportsSeen(), reports);
  s.control("SetConsole", {true, true, true});

  // Another application in front: reports stop, and a forced one is not forwarded.
  since = s.lastSeq();
  s.control("Activate", {R"({"bundle_id":"com.example.editor","name":"Editor","signature":"EDIT"})"});
  controls = s.waitLog(since, "control");
  ASSERT_EQ(controls.size(), 1);
  EXPECT_EQ(controls[0].toObject()["text"].toString(), "state reports off");
  reports = s.reportsSeen();
  s.control("Report", {QVariant::fromValue<qulonglong>(1), report, true});
  ASSERT_TRUE(s.list());
  testing_support::spin(std::chrono::milliseconds(100));
  EXPECT_EQ(s.reportsSeen(), reports);
}

TEST(EndToEnd, UnclaimedDevicesReEnumerateAtStartAndOnRequest) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev2:unclaimed"}));
  ASSERT_TRUE(s.startHelper());
  // No driver service at start: the helper makes the device re-enumerate, the driver takes it.
  const auto first = s.waitLog(0, "settings");
  ASSERT_EQ(first.size(), 1);
  EXPECT_EQ(first[0].toObject()["device"].toInteger(), 1);
  ASSERT_TRUE(s.list());

  // While one device is captured, "enumerate" leaves an unclaimed one alone ...
  const auto waiting = s.attach("dev5", QJsonObject{{"unclaimed", true}});
  uint64_t since = s.lastSeq();
  s.command(protocol::makeCommand(protocol::Command::Enumerate));
  ASSERT_TRUE(s.list());
  EXPECT_TRUE(s.settingsOf(waiting, since).isEmpty());

  // ... and once none is, it brings it in.
  s.control("Detach", {QVariant::fromValue<qulonglong>(1)});
  ASSERT_TRUE(waitUntil([&] { auto l = s.list(); return l && l->count == 0; }, kTimeout));
  since = s.lastSeq();
  s.command(protocol::makeCommand(protocol::Command::Enumerate));
  const auto taken = s.waitLog(since, "settings");
  ASSERT_EQ(taken.size(), 1);
  EXPECT_EQ(static_cast<uint64_t>(taken[0].toObject()["device"].toInteger()), waiting);
}

TEST(EndToEnd, ASecondHelperInTheSameSessionIsRefused) {
  // A helper of another session (its own bus) runs already: it does not hold this one back.
  SystemUnderTest elsewhere;
  ASSERT_TRUE(elsewhere.ok());
  ASSERT_TRUE(elsewhere.startHelper());
  ASSERT_TRUE(elsewhere.list());

  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);
  ASSERT_TRUE(s.list());

  const uint64_t since = s.lastSeq();
  ASSERT_TRUE(s.startHelper(s.secondHelper()));
  ASSERT_TRUE(s.secondHelper().waitForFinished(10000));
  EXPECT_EQ(s.secondHelper().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(s.secondHelper().exitCode(), 0);
  EXPECT_EQ(s.helper().state(), QProcess::Running);
  EXPECT_TRUE(s.settingsOf(1, since).isEmpty()) << "the second helper sent nothing";
  const auto l = s.list();
  ASSERT_TRUE(l);
  EXPECT_EQ(l->count, 1) << "the first one still answers";
  EXPECT_EQ(elsewhere.helper().state(), QProcess::Running);
}

TEST(EndToEnd, OfTwoHelpersStartedAtOnceExactlyOneRuns) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    QProcess& a = s.helper();
    QProcess& b = s.secondHelper();
    ASSERT_TRUE(s.startHelper(a));
    ASSERT_TRUE(s.startHelper(b));  // a millisecond or two later
    ASSERT_TRUE(waitUntil([&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; },
                          kTimeout));
    testing_support::spin(std::chrono::milliseconds(300));
    QProcess& loser = a.state() == QProcess::NotRunning ? a : b;
    QProcess& winner = &loser == &a ? b : a;
    ASSERT_EQ(winner.state(), QProcess::Running) << "one of the two keeps running";
    EXPECT_EQ(loser.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(loser.exitCode(), 0);
    ASSERT_TRUE(s.list()) << "and serves the session";
    winner.terminate();
    ASSERT_TRUE(winner.waitForFinished(5000));
  }
}

TEST(EndToEnd, AFloodOfLargeNotificationsHoldsNothingUp) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_TRUE(s.list());

  // Ten commands of ten megabytes each (from a sender that does not keep to the size), then
  // "list" and a button press, at once.
  auto big = protocol::makeCommand(protocol::Command::List);
  big->setString("padding", std::string(10 * 1024 * 1024, 'x'));
  const QString flood = QString::fromStdString(*protocol::encodeDictionary(*big));
  for (int i = 0; i < 10; ++i) s.postRaw(flood);
  s.messages().clear();
  s.command(protocol::makeCommand(protocol::Command::List));
  ASSERT_TRUE(waitUntil([&] { return !s.messages().empty(); }, std::chrono::seconds(5)))
      << "no answer to \"list\" within 5 s";
  EXPECT_EQ(s.messages().size(), 1u) << "the large ones are not carried out";
  const uint64_t since = s.lastSeq();
  s.control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(3), true});
  EXPECT_EQ(s.waitLog(since, "control", 1, 3000).size(), 1u) << "the press got its keystroke";
}

TEST(EndToEnd, AStoppedSimulatorDoesNotHoldTheHelperUp) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1u);
  ASSERT_TRUE(s.list());

  const auto sim = static_cast<pid_t>(s.simulator().processId());
  ::kill(sim, SIGSTOP);
  // The helper's half-second task runs and the panel asks: the helper answers from what it
  // knows. A helper that asked the simulator would wait five seconds for each answer.
  testing_support::spin(std::chrono::milliseconds(1200));
  s.messages().clear();
  s.command(protocol::makeCommand(protocol::Command::List));
  const bool answered = waitUntil([&] { return !s.messages().empty(); }, std::chrono::seconds(2));
  ::kill(sim, SIGCONT);
  ASSERT_TRUE(answered) << "no answer to \"list\" within 2 s while the simulator is stopped";
  const auto l = protocol::readMessage(s.messages().front());
  EXPECT_EQ(l.list.count, 1);
  EXPECT_TRUE(l.list.snapToDefaultAvailable());
}

// Run on its own by the test below: starts the system, tells what it started, and waits to be
// killed.
TEST(EndToEnd, DISABLED_SystemThatIsKilled) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);
  std::printf("pids %lld %lld %lld\n", static_cast<long long>(s.busDaemon()),
              static_cast<long long>(s.simulator().processId()), static_cast<long long>(s.helper().processId()));
  std::fflush(stdout);
  testing_support::spin(std::chrono::seconds(60));
}

TEST(EndToEnd, NothingOutlivesAKilledTest) {
  QProcess test;
  test.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
  testing_support::startAsChild(test, QFileInfo("/proc/self/exe").symLinkTarget(),
                                {"--gtest_also_run_disabled_tests", "--gtest_filter=EndToEnd.DISABLED_SystemThatIsKilled"});
  ASSERT_TRUE(test.waitForStarted(5000));
  QByteArray out;
  std::vector<pid_t> pids;
  QElapsedTimer t;
  t.start();
  while (pids.empty() && t.elapsed() < 20000 && test.state() == QProcess::Running) {
    test.waitForReadyRead(500);
    out += test.readAllStandardOutput();
    const auto at = out.indexOf("pids ");
    if (at < 0 || out.indexOf('\n', at) < 0) continue;
    for (const auto& word : out.mid(at + 5, out.indexOf('\n', at) - at - 5).split(' ')) pids.push_back(word.toInt());
  }
  ASSERT_EQ(pids.size(), 3u) << out.toStdString();
  for (pid_t p : pids) ASSERT_GT(p, 0);

  ::kill(static_cast<pid_t>(test.processId()), SIGKILL);
  ASSERT_TRUE(test.waitForFinished(5000));
  // The bus daemon, the simulator and the helper go with it (they are reaped by whoever adopts
  // them; an unreaped one is no longer running).
  auto running = [](pid_t p) {
    const auto stat = files::readWhole("/proc/" + std::to_string(p) + "/stat");
    if (!stat) return false;
    const size_t paren = stat->rfind(')');
    return paren != std::string::npos && paren + 2 < stat->size() && (*stat)[paren + 2] != 'Z';
  };
  for (pid_t p : pids) EXPECT_TRUE(waitUntil([&] { return !running(p); }, kTimeout)) << "process " << p << " lives on";
}

TEST(EndToEnd, TheSimulatorAndTheHelperEndWithTheirBus) {
  auto bus = std::make_unique<PrivateBus>();
  ASSERT_TRUE(bus->ok());
  QTemporaryDir runtime;
  auto env = bus->environment();
  env.insert("HOME", runtime.path());
  env.insert("XDG_RUNTIME_DIR", runtime.path());
  QProcess sim;
  sim.setProcessEnvironment(env);
  testing_support::startAsChild(sim, VANTREL_SIM_BINARY, {"--attach", "dev1"});
  ASSERT_TRUE(sim.waitForStarted(5000));
  QElapsedTimer t;
  t.start();
  QByteArray out;
  while (!out.contains("ready") && t.elapsed() < 10000 && sim.state() == QProcess::Running) {
    sim.waitForReadyRead(500);
    out += sim.readAllStandardOutput();
  }
  ASSERT_TRUE(out.contains("ready"));
  EXPECT_EQ(QDir(runtime.path()).entryList({"*.sock"}, QDir::System).size(), 1);

  QProcess helper;
  helper.setProcessEnvironment(env);
  helper.setProcessChannelMode(QProcess::ForwardedChannels);
  testing_support::startAsChild(helper, VANTREL_HELPER_BINARY, {});
  ASSERT_TRUE(helper.waitForStarted(5000));
  // Once it answers the panel, the helper holds the session's helper name.
  dbusnotify::DistributedNotificationCenter pane(bus->connect("pane"));
  bool answered = false;
  pane.observe(protocol::kMessageName, [&](const std::optional<std::string>&) { answered = true; });
  ASSERT_TRUE(waitUntil([&] {
    pane.post(protocol::kCommandName, *protocol::encodeDictionary(*protocol::makeCommand(protocol::Command::List)));
    return waitUntil([&] { return answered; }, std::chrono::milliseconds(200));
  }, kTimeout));
  EXPECT_TRUE(bus->connect("probe").interface()->isServiceRegistered("com.halvorn.vantrel.Helper").value());

  bus.reset();  // the session ends
  ASSERT_TRUE(sim.waitForFinished(5000)) << "the simulator outlives its bus";
  EXPECT_EQ(sim.exitStatus(), QProcess::NormalExit);
  EXPECT_TRUE(QDir(runtime.path()).entryList({"*.sock"}, QDir::System).isEmpty()) << "its socket is removed";
  ASSERT_TRUE(helper.waitForFinished(5000)) << "the helper outlives its bus";
  EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(helper.exitCode(), 0);
}

TEST(EndToEnd, VantrelctlDrivesTheSimulatorAndRefusesBadArguments) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  auto r = s.ctl({"sim", "devices"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the simulator is not running"), std::string::npos) << r.err;

  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);
  r = s.ctl({"sim", "press", "button4"});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(s.waitLog(0, "control", 2).size(), 2);  // state reports off, then the keystroke
  r = s.ctl({"sim", "log", "--text", "--kind", "control"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("device 1: types Command+left (key 123)"), std::string::npos) << r.out;

  // Each of these is refused with a message that says what is wrong, and status 2; the
  // simulator is not asked.
  const uint64_t before = s.lastSeq();
  const std::vector<std::pair<QStringList, std::string>> bad = {
      {{"sim", "press", "button9"}, "unknown button \"button9\""},
      {{"sim", "press"}, "sim press BUTTON"},
      {{"sim", "report", "3"}, "sim report [--device ID]"},
      {{"sim", "report", "--bytes", "0011"}, "16 bytes"},
      {{"sim", "log", "5"}, "sim log [--since SEQ]"},
      {{"sim", "devices", "all"}, "sim devices"},
      {{"sim", "state", "--verbose"}, "unknown option --verbose"},
      {{"sim", "activate", "Editor"}, "sim activate --bundle-id"},
      {{"sim", "process", "add", "--name", "X"}, "needs --signature"},
      {{"sim", "detach", "first"}, "not a number: first"},
      {{"sim", "attach", "--release", "1"}, "sim attach KEY"},
      {{"sim", "frobnicate"}, "unknown sim command"},
  };
  for (const auto& [args, message] : bad) {
    r = s.ctl(args);
    EXPECT_EQ(r.status, 2) << args.join(' ').toStdString();
    EXPECT_NE(r.err.find(message), std::string::npos) << args.join(' ').toStdString() << ": " << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  EXPECT_EQ(s.lastSeq(), before);
  // An argument that is not UTF-8 (here the byte 0xFF) is carried out, and printed replaced.
  {
    QProcess p;
    p.setProcessEnvironment(s.ctlEnvironment());
    testing_support::startAsChild(p, "/bin/sh",
                                  {"-c", "exec \"$0\" sim activate --name \"$(printf '\\377')\"", VANTRELCTL_BINARY});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_NE(p.readAllStandardOutput().indexOf("\"name\":\"\xEF\xBF\xBD\""), -1);
  }
  // A well-formed request the simulator cannot carry out: its reason, and status 1.
  r = s.ctl({"sim", "attach", "nosuch"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no device \\\"nosuch\\\" in the catalogue"), std::string::npos) << r.out;
}

TEST(EndToEnd, SnapToDefaultMovesThePointerOntoANewDefaultButton) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  auto prefs = factorySettings();
  ASSERT_TRUE(prefs);
  for (const auto& p : *prefs->getArray("devices"))
    if (auto d = pl::asDict(p); d && d->getDict("options")) d->getDict("options")->setBool("jump", true);
  ASSERT_TRUE(s.writeSettings(*prefs));
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);

  // A dialog comes up while the mouse button is held: no warp until it is released.
  s.control("SetMouseButtons", {1u});
  const uint64_t since = s.lastSeq();
  s.control("SetFocusedWindow", {R"({"x":100,"y":200,"width":80,"height":20,"children":3})"});
  EXPECT_TRUE(s.waitLog(since, "warp", 1, 1200).isEmpty());
  s.control("SetMouseButtons", {0u});
  const auto warps = s.waitLog(since, "warp", 1, 3000);
  ASSERT_EQ(warps.size(), 1);
  EXPECT_EQ(field(warps[0], "x").toDouble(), 140.0);
  EXPECT_EQ(field(warps[0], "y").toDouble(), 210.0);
  // The same dialog stays: one warp only.
  EXPECT_EQ(s.waitLog(since, "warp", 2, 1200).size(), 1);
}

TEST(EndToEnd, NothingIsSentWhileTheSessionIsInTheBackground) {
  SystemUnderTest s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(s.startHelper());
  ASSERT_EQ(s.waitLog(0, "settings").size(), 1);
  ASSERT_TRUE(s.list());

  s.control("SetConsole", {true, true, false});
  const uint64_t since = s.lastSeq();
  s.control("Activate", {R"({"bundle_id":"com.example.editor","name":"Editor"})"});
  s.control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(3), true});
  EXPECT_TRUE(s.waitLog(since, "settings", 1, 700).isEmpty());
  EXPECT_TRUE(s.waitLog(since, "control", 1, 100).isEmpty());

  // Back on the console: the next switch sends the settings again.
  s.control("SetConsole", {true, true, true});
  const uint64_t back = s.lastSeq();
  s.control("Activate", {R"({"bundle_id":"com.example.other","name":"Other"})"});
  EXPECT_EQ(s.waitLog(back, "settings").size(), 1);
}
