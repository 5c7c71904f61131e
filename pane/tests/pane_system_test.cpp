// The panel with the real helper and the device simulator, each a process of its own on a
// private session bus: the pane runs in this process with the real distributed notifications,
// Qt timers and the simulator's HID view; the settings file is in a temporary home folder that
// the helper reads too.
#include <QApplication>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QComboBox>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QSlider>
#include <QStackedWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "pane/runtime_pane_services.h"
#include "pane/tests/pane_harness.h"
#include "platform/dbus/distributed_notifications.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/qt/qt_readiness_watcher.h"
#include "platform/qt/qt_runloop.h"
#include "settings/models.h"
#include "sim/sim_names.h"

namespace {

using testing_support::PrivateBus;
using testing_support::waitUntil;
using namespace std::chrono_literals;

class PaneSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    elapsed.start();
    ASSERT_TRUE(bus.ok());
    env = bus.environment();
    env.insert("HOME", QString::fromStdString(home()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home()));
    paneBus = std::make_unique<QDBusConnection>(bus.connect("pane"));
    control = std::make_unique<QDBusConnection>(bus.connect("control"));
    observer = std::make_unique<dbusnotify::DistributedNotificationCenter>(bus.connect("observer"));
    observer->observe(protocol::kCommandName, [this](const std::optional<std::string>& object) {
      if (!object) return;
      commands.push_back(protocol::readCommand(*object));
      if (commands.back().command == protocol::Command::Enumerate) enumerateTimes.push_back(elapsed.elapsed());
    });
    notifications = panesvc::makeBusNotifications(*paneBus);
    hid = panesvc::makeHIDManagers(*paneBus, watcher);
    clock = panesvc::makeQtClock();
    h.world.settingsPath = home() + "/Library/Preferences/com.halvorn.vantrel.settings.plist";
  }

  void TearDown() override {
    h.pane.reset();
    for (QProcess* p : {&helper, &sim}) testing_support::stopChild(*p);
  }

  std::string home() const { return h.world.folder.path().toStdString(); }

  bool startSimulator(const QStringList& args) {
    sim.setProcessEnvironment(env);
    testing_support::startAsChild(sim, VANTREL_SIM_BINARY, args + QStringList{"--reenumerate-ms", "20"});
    if (!sim.waitForStarted(5000)) return false;
    QElapsedTimer t;
    t.start();
    QByteArray out;
    while (!out.contains("ready")) {
      if (t.elapsed() > 10000 || sim.state() == QProcess::NotRunning) return false;
      sim.waitForReadyRead(200);
      out += sim.readAllStandardOutput();
    }
    return true;
  }
  bool startHelper() {
    helper.setProcessEnvironment(env);
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(helper, VANTREL_HELPER_BINARY, {});
    return helper.waitForStarted(5000);
  }
  QVariant callControl(const char* method, const QList<QVariant>& args = {}) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath, simbus::kControlInterface, method);
    m.setArguments(args);
    const QDBusMessage reply = control->call(m, QDBus::Block, 15000);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method;
    return reply.arguments().value(0);
  }
  uint64_t lastSeq() { return callControl("LastLogSeq").toULongLong(); }
  QJsonArray waitLog(uint64_t since, const QString& kind, uint count = 1) {
    // Asked without blocking this process: the pane must keep answering meanwhile.
    QJsonArray found;
    waitUntil([&] {
      found = QJsonArray();
      const auto all = QJsonDocument::fromJson(callControl("Log", {QVariant::fromValue<qulonglong>(since)}).toString().toUtf8()).array();
      for (const auto& v : all) {
        if (v.toObject()["kind"].toString() == kind) found.append(v);
      }
      return found.size() >= static_cast<qsizetype>(count);
    }, 10s);
    return found;
  }

  // The pane on the bus: real notifications, timers and HID view; fake process list (no helper
  // is started from here), workspace and login items.
  void openPane() {
    panesvc::PaneServices s = h.world.services();
    s.notifications = notifications.get();
    s.hid = hid.get();
    s.runLoop = &runLoop;
    s.clock = clock.get();
    h.world.processes.addProcess("VantrelHelper");
    paneServices = s;
    h.pane = std::make_unique<VantrelPrefPane>(paneServices);
    h.pane->initWithBundle(*h.bundle);
    view.reset(h.pane->loadMainView());
    h.pane->mainViewDidLoad();
    h.pane->didSelect();
  }
  VantrelController& c() { return h.controller(); }
  size_t count(protocol::Command command) const {
    return static_cast<size_t>(std::count_if(commands.begin(), commands.end(),
                                             [&](const protocol::CommandRequest& r) { return r.command == command; }));
  }

  PrivateBus bus;
  QProcessEnvironment env;
  std::unique_ptr<QDBusConnection> paneBus, control;
  std::unique_ptr<dbusnotify::DistributedNotificationCenter> observer;
  std::vector<protocol::CommandRequest> commands;
  std::vector<qint64> enumerateTimes;  // ms since the test began
  QElapsedTimer elapsed;
  rl::QtReadinessWatcher watcher;
  rl::QtRunLoop runLoop;
  std::unique_ptr<panesvc::Notifications> notifications;
  std::unique_ptr<sys::HIDManagers> hid;
  std::unique_ptr<panesvc::Clock> clock;
  panesvc::PaneServices paneServices;
  panetest::PaneHarness h;
  std::unique_ptr<QWidget> view;
  QProcess sim, helper;
};

TEST_F(PaneSystem, TheDeviceShowsAndAControlChangeReachesItsRecord) {
  ASSERT_TRUE(startSimulator({"--attach", "dev1"}));
  ASSERT_TRUE(startHelper());
  openPane();
  ASSERT_TRUE(waitUntil([&] { return c().outBtnTabsDevices->currentIndex() == 3; }, 10s))
      << "device page " << c().fCurDeviceTab;
  EXPECT_TRUE(c().outHelpTextDevices->text().startsWith("Vantrel Orbit Pro Rev."));
  EXPECT_GE(count(protocol::Command::Front), 1u);
  EXPECT_GE(count(protocol::Command::List), 1u);
  EXPECT_EQ(count(protocol::Command::Enumerate), 1u);  // the wake's, before the counts were known

  const uint64_t since = lastSeq();
  c().outPointerSliderSpeed->setValue(20);  // 1000 dots per inch
  const QJsonArray settings = waitLog(since, "settings");
  ASSERT_EQ(settings.size(), 1);
  EXPECT_EQ(settings[0].toObject()["fields"].toObject()["speed"].toInt(), 50);
  EXPECT_EQ(h.savedSettings()->getArray("devices")->dictAt(static_cast<size_t>(c().fCurSettingsIndex))
                ->getDict("options")->integerValue("speed"),
            1000);

  h.pane->willUnselect();
  ASSERT_TRUE(waitUntil([&] { return !commands.empty() && commands.back().command == protocol::Command::Front; }));
  EXPECT_FALSE(commands.back().front);
}

TEST_F(PaneSystem, AnUnclaimedDeviceShowsTheWarningUntilTheEnumerateBringsItIn) {
  // The helper starts after the pane: until then the pane asks in vain and its page stays.
  ASSERT_TRUE(startSimulator({"--attach", "dev1"}));
  openPane();
  testing_support::spin(1500ms);
  EXPECT_EQ(c().outBtnTabsDevices->currentIndex(), 0);
  EXPECT_GE(count(protocol::Command::List), 1u);
  ASSERT_TRUE(startHelper());
  ASSERT_TRUE(waitUntil([&] { return c().outBtnTabsDevices->currentIndex() == 3; }, 10s));

  // A second device that the driver has not taken: the pane counts two, the helper lists one.
  const QJsonObject options{{"unclaimed", true}};
  callControl("Attach", {"dev5", QString::fromUtf8(QJsonDocument(options).toJson())});
  ASSERT_TRUE(waitUntil([&] { return c().outBtnTabsDevices->currentIndex() == VantrelController::kDeviceTabWarning; }, 10s));
  EXPECT_EQ(c().outBtnTextAuthorize->text(), vtlLocString("HID_USB_WARNING"));
  EXPECT_FALSE(c().outMainPopupProfile->isEnabled());
  // The helper brings an unclaimed device in only while it serves none: once the first goes,
  // the pane's next enumerate brings the second in, and its page shows.
  callControl("Detach", {QVariant::fromValue<qulonglong>(1)});
  ASSERT_TRUE(waitUntil([&] { return c().outBtnTabsDevices->currentIndex() == 7; }, 15s))
      << "usb " << c().usbDeviceCount << " listed " << c().fDeviceList.count << " tab " << c().fCurDeviceTab;
  EXPECT_TRUE(c().outMainPopupProfile->isEnabled());
  // Never two requests within five seconds.
  ASSERT_GE(enumerateTimes.size(), 2u);
  for (size_t i = 1; i < enumerateTimes.size(); ++i) EXPECT_GT(enumerateTimes[i] - enumerateTimes[i - 1], 4900);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
