// Assignments made in the editor reach the device: the device simulator and the helper run as
// separate processes on a private session bus with a temporary home folder; the editor runs here
// and the user's key presses and typing are QTest events. The test saves the settings file and
// sends "update" as the panel does after the editor's OK, then presses the buttons in the
// simulator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusMessage>
#include <QDialog>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "pane/editors/vantrel_edit_controller.h"
#include "pane/interface_loader.h"
#include "pane/key_capture.h"
#include "platform/dbus/distributed_notifications.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/plist.h"
#include "settings/models.h"
#include "settings/protocol.h"
#include "sim/sim_names.h"

using testing_support::PrivateBus;

namespace {

class Simulated {
 public:
  Simulated() : pane_(bus_.ok() ? bus_.connect("pane") : QDBusConnection("none")) {
    if (!bus_.ok()) return;
    control_ = bus_.connect("control");
    env_ = bus_.environment();
    env_.insert("HOME", home_.path());
    env_.insert("XDG_RUNTIME_DIR", home_.path());
  }
  ~Simulated() {
    for (QProcess* p : {&helper_, &sim_}) testing_support::stopChild(*p);
  }
  bool ok() const { return bus_.ok() && home_.isValid(); }

  bool start() {
    sim_.setProcessEnvironment(env_);
    sim_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(sim_, VANTREL_SIM_BINARY, {"--attach", "dev1"});
    QElapsedTimer t;
    t.start();
    while (!sim_.readAllStandardOutput().contains("ready")) {
      if (t.elapsed() > 10000 || sim_.state() == QProcess::NotRunning) return false;
      sim_.waitForReadyRead(500);
    }
    helper_.setProcessEnvironment(env_);
    helper_.setProcessChannelMode(QProcess::ForwardedChannels);
    testing_support::startAsChild(helper_, VANTREL_HELPER_BINARY, {});
    return helper_.waitForStarted(5000) && waitLog(0, "settings").size() == 1;
  }

  QVariant control(const char* method, const QList<QVariant>& args = {}, int timeoutMs = 15000) {
    auto m = QDBusMessage::createMethodCall(simbus::kService, simbus::kControlPath,
                                            simbus::kControlInterface, method);
    m.setArguments(args);
    const auto reply = control_.call(m, QDBus::Block, timeoutMs);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << method;
    return reply.arguments().value(0);
  }
  uint64_t lastSeq() { return control("LastLogSeq").toULongLong(); }
  QJsonArray waitLog(uint64_t since, const QString& kind, uint count = 1) {
    const auto text = control("WaitForLog", {QVariant::fromValue<qulonglong>(since), kind, count,
                                             10000u}, 15000).toString();
    return QJsonDocument::fromJson(text.toUtf8()).array();
  }
  void press(uint16_t button) {
    control("Press", {QVariant::fromValue<qulonglong>(1), QVariant::fromValue<ushort>(button),
                      false});
  }

  // What the panel does after the editor's OK: save, then tell the helper.
  bool save(const pl::Dictionary& prefs) {
    if (!pl::writeXmlFile(prefs, home_.path().toStdString() +
                                     "/Library/Preferences/com.halvorn.vantrel.settings.plist"))
      return false;
    return pane_.post(protocol::kCommandName,
                      *protocol::encodeDictionary(*protocol::makeCommand(protocol::Command::Update)));
  }

 private:
  PrivateBus bus_;
  QTemporaryDir home_;
  dbusnotify::DistributedNotificationCenter pane_;
  QDBusConnection control_{"none"};
  QProcessEnvironment env_;
  QProcess sim_, helper_;
};

QJsonObject fields(const QJsonValue& entry) { return entry.toObject()["fields"].toObject(); }

void pickRow(QListWidget* list, int row) {
  QListWidgetItem* item = list->item(row);
  ASSERT_NE(item, nullptr);
  list->scrollToItem(item);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
}

// The row of the category or command whose title is `title`.
int rowTitled(QListWidget* list, const QString& title) {
  for (int i = 0; i < list->count(); ++i)
    if (list->item(i)->text() == title) return i;
  return -1;
}

TEST(EditorEndToEnd, AssignmentsMadeInTheEditorReachTheDevice) {
  Simulated s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(s.start());

  auto prefs = pl::readDictFile(std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist");
  ASSERT_TRUE(prefs);
  pl::DictRef dev1;
  for (const auto& p : *prefs->getArray("devices")) {
    auto d = pl::asDict(p);
    if (d && d->getDict("target device") &&
        d->getDict("target device")->integerValue("device product id") ==
            models::productOfDevice(1))
      dev1 = d;
  }
  ASSERT_TRUE(dev1);

  std::function<void(QDialog*)> user;
  VantrelEditController::Host host;
  host.modalDialog = [&](QDialog* d) {
    d->show();
    d->activateWindow();
    if (!QTest::qWaitForWindowActive(d)) return 0;
    user(d);
    return 1;
  };
  VantrelEditController editor(platform::Bundle(VANTREL_RESOURCE_DIR, "en"), host, 0x1090);
  VantrelSwapNSAppMethods(&editor);

  // Chord 1: a keystroke typed on the keyboard.
  user = [](QDialog* d) {
    auto* categories = paneui::outlet<QListWidget>(d, "outEditBrowserCategories");
    pickRow(categories, rowTitled(categories, "Keystrokes and editing"));
    auto* field = paneui::outlet<QLineEdit>(d, "outActKeyFieldKeystroke");
    field->setFocus();
    QTest::keyClick(field, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);
  };
  ASSERT_TRUE(editor.editButtonAction(8, dev1, prefs->getArray("snippets")));
  // Chord 2: a web address typed into its field.
  user = [](QDialog* d) {
    auto* categories = paneui::outlet<QListWidget>(d, "outEditBrowserCategories");
    pickRow(categories, rowTitled(categories, "Applications and documents"));
    auto* commands = paneui::outlet<QListWidget>(d, "outEditBrowserCommands");
    pickRow(commands, rowTitled(commands, "Open a web address"));
    QTest::keyClicks(paneui::outlet<QLineEdit>(d, "outActURLFieldURL"), "https://example.org/");
  };
  ASSERT_TRUE(editor.editButtonAction(9, dev1, prefs->getArray("snippets")));
  VantrelSwapNSAppMethods(nullptr);

  const uint64_t since = s.lastSeq();
  ASSERT_TRUE(s.save(*prefs));
  const QJsonArray settings = s.waitLog(since, "settings");
  ASSERT_EQ(settings.size(), 1);
  const QJsonObject chord1 = fields(settings[0])["slots"].toArray()[8].toObject();
  EXPECT_EQ(chord1["command"].toInt(), 10);
  EXPECT_EQ(chord1["argument"].toInt(), 40);
  EXPECT_EQ(chord1["modifiers"].toInt(), 0x0300);

  // The driver types the keystroke itself; the web address is opened by the helper.
  const uint64_t beforePresses = s.lastSeq();
  s.press(8);
  const QJsonArray typed = s.waitLog(beforePresses, "press");
  ASSERT_EQ(typed.size(), 1);
  EXPECT_FALSE(fields(typed[0])["posted"].toBool());
  s.press(9);
  const QJsonArray opened = s.waitLog(beforePresses, "open url");
  ASSERT_EQ(opened.size(), 1);
  EXPECT_NE(opened[0].toObject()["text"].toString().indexOf("https://example.org/"), -1)
      << opened[0].toObject()["text"].toString().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
