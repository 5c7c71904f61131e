// The application chooser on the offscreen platform: the user's applications, a stand-in
// simulator's applications on a private bus, search, keyboard choice, cancel and the accessory.
#include "pane/application_chooser.h"

#include <QApplication>
#include <QDBusConnection>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

#include "platform/dbus/testing/private_bus.h"
#include "sim/sim_names.h"

// Answers "Applications" as the simulator's system object does.
class FakeSimulatorSystem : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.halvorn.vantrel.Simulator.System")

 public:
  QString answer;
 public Q_SLOTS:
  QString Applications() { return answer; }
};

namespace {

class ChooserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    write("apps/org.example.Zeta.desktop", "Name=zeta\nExec=zeta\n");
    write("apps/alpha.desktop", "Name=Alpha\nExec=alpha\n");
    write("apps/beta.desktop", "Name=beta\nExec=beta\n");
    folders_.applications = {(dir_.path() + "/apps").toStdString()};
    folders_.locale = "C";
  }
  void write(const QString& rel, const std::string& body) {
    const QString path = dir_.path() + "/" + rel;
    QDir().mkpath(QFileInfo(path).path());
    std::ofstream(path.toStdString()) << "[Desktop Entry]\nType=Application\n" << body;
  }
  VantrelApplicationChooser::Options options(const std::optional<QDBusConnection>& bus) {
    VantrelApplicationChooser::Options o;
    o.folders = folders_;
    o.bus = bus;
    return o;
  }
  static QStringList rows(const VantrelApplicationChooser& c) {
    QStringList out;
    for (int i = 0; i < c.listView()->count(); ++i) out << c.listView()->item(i)->text();
    return out;
  }

  QTemporaryDir dir_;
  sys::xdg::DesktopFolders folders_;
};

TEST_F(ChooserTest, ListsTheUsersAndTheSimulatorsApplicationsAndChoosesByKeyboard) {
  testing_support::PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  QDBusConnection server = bus.connect("simulator");
  FakeSimulatorSystem system;
  system.answer = R"([{"bundle_id":"com.example.editor","name":"Editor","executable":"editor","signature":"EDIT",)"
                  R"("bundle_path":"/Applications/Editor.app/"},{"name":""},7,{"bundle_id":"com.example.mail","name":"Mail"}])";
  ASSERT_TRUE(server.registerObject(QString::fromLatin1(simbus::kSystemPath), &system, QDBusConnection::ExportAllSlots));
  ASSERT_TRUE(server.registerService(QString::fromLatin1(simbus::kSystemService)));

  VantrelApplicationChooser chooser(nullptr, options(bus.connect("pane")));
  EXPECT_EQ(rows(chooser), (QStringList{"Alpha", "beta", "zeta"}));
  QSignalSpy checked(&chooser, &VantrelApplicationChooser::simulatedApplicationsChecked);
  ASSERT_TRUE(checked.wait(5000));
  EXPECT_EQ(rows(chooser), (QStringList{"Alpha", "beta", "Editor (simulated)", "Mail (simulated)", "zeta"}));

  chooser.show();
  QTest::keyClicks(chooser.searchField(), "ED");
  EXPECT_EQ(rows(chooser), (QStringList{"Editor (simulated)"}));
  QTest::keyClick(chooser.searchField(), Qt::Key_Return);
  ASSERT_TRUE(chooser.chosen());
  EXPECT_EQ(chooser.result(), QDialog::Accepted);
  const pl::DictRef target = chooser.chosen()->targetAppValues();
  EXPECT_EQ(target->stringValue("app bundle id"), "com.example.editor");
  EXPECT_EQ(target->stringValue("app bundle name"), "Editor");
  EXPECT_EQ(target->stringValue("app executable"), "editor");
  EXPECT_EQ(target->stringValue("app signature"), "EDIT");
}

TEST_F(ChooserTest, WithoutSimulatorTheListHasTheUsersApplicationsAndSearchKeepsTheSelection) {
  testing_support::PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  VantrelApplicationChooser chooser(nullptr, options(bus.connect("pane")));
  QSignalSpy checked(&chooser, &VantrelApplicationChooser::simulatedApplicationsChecked);
  ASSERT_TRUE(checked.wait(5000));
  EXPECT_EQ(rows(chooser), (QStringList{"Alpha", "beta", "zeta"}));

  chooser.show();
  // The arrow keys in the search field move through the list.
  QTest::keyClick(chooser.searchField(), Qt::Key_Down);
  EXPECT_EQ(chooser.listView()->currentItem()->text(), "beta");
  QTest::keyClicks(chooser.searchField(), "e");  // beta and zeta stay; beta stays chosen
  EXPECT_EQ(rows(chooser), (QStringList{"beta", "zeta"}));
  EXPECT_EQ(chooser.listView()->currentItem()->text(), "beta");
  QTest::keyClicks(chooser.searchField(), "xyz");
  EXPECT_TRUE(rows(chooser).isEmpty());
  EXPECT_FALSE(chooser.chooseButton()->isEnabled());
  QTest::keyClick(chooser.searchField(), Qt::Key_Return);  // nothing to choose
  EXPECT_FALSE(chooser.chosen());
  EXPECT_TRUE(chooser.isVisible());
}

TEST_F(ChooserTest, SheetGivesTheAccessoryBackAndCompletesOnceEitherWay) {
  QWidget window;
  QWidget holder(&window);
  auto* accessory = new QLabel("Info", &holder);
  window.show();

  std::vector<std::optional<appchoice::ChosenApplication>> results;
  auto done = [&](const std::optional<appchoice::ChosenApplication>& c) { results.push_back(c); };

  auto o = options(std::nullopt);
  o.bus = QDBusConnection(QStringLiteral("no bus"));  // not connected: no simulator
  o.accessory = accessory;
  QPointer<VantrelApplicationChooser> sheet = VantrelApplicationChooser::beginSheet(&holder, o, done);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet->parentWidget(), &window);
  EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
  EXPECT_EQ(accessory->window(), sheet.data());
  EXPECT_TRUE(accessory->isVisible());
  sheet->reject();
  ASSERT_EQ(results.size(), 1u);
  EXPECT_FALSE(results[0]);
  EXPECT_EQ(accessory->parentWidget(), &holder);
  EXPECT_TRUE(accessory->isHidden());
  ASSERT_TRUE(testing_support::waitUntil([&] { return sheet.isNull(); }));  // deleted on close

  // A bundle folder without an information dictionary is still a choice (the profile keeps what
  // it inherits).
  sheet = VantrelApplicationChooser::beginSheet(&holder, o, done);
  sheet->chooseItem(dir_.path() + "/Nothing.app");
  ASSERT_EQ(results.size(), 2u);
  ASSERT_TRUE(results[1]);
  EXPECT_EQ(results[1]->source, appchoice::Source::BundleFolder);
  EXPECT_FALSE(results[1]->info);
  EXPECT_EQ(accessory->parentWidget(), &holder);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

#include "application_chooser_test.moc"
