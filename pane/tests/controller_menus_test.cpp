// The main controller's button menus on the panel's interface file: every pop-up its own copy
// of the template, what the pop-ups show for the profile on screen and store back, and the
// editor item opening the assignment editor for its button.
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

#include "pane/button_menus.h"
#include "pane/button_popups.h"
#include "pane/editors/tests/assignment_test_support.h"
#include "pane/editors/vantrel_edit_controller.h"
#include "pane/interface_loader.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"

namespace {

using namespace assignment_tests;

class ControllerMenus : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!gVantrelBundle) gVantrelBundle = new platform::Bundle(VANTREL_RESOURCE_DIR, "en");
    root = paneui::loadInterface(resources, QStringLiteral("VantrelPrefPane"));
    ASSERT_TRUE(root);
    // Pop-ups the interface file does not hold (yet) are added, named as the outlets.
    for (int device = 1; device <= 7; ++device) {
      for (const char* name : {"Button1", "Button2", "Button3", "Button4", "Chord1", "Chord2"}) {
        const QString outlet = QStringLiteral("outBtnMenuDev%1%2").arg(device).arg(QLatin1String(name));
        if (root->findChild<QComboBox*>(outlet)) continue;
        auto* combo = new QComboBox(root.get());
        combo->setObjectName(outlet);
      }
    }
    controller = std::make_unique<VantrelController>(root.get(), services);
    VantrelEditController::Host host;
    host.modalDialog = [this](QDialog* d) {
      ++edits;
      d->show();
      d->activateWindow();
      if (!QTest::qWaitForWindowActive(d)) return 0;
      return user ? user(d) : 0;
    };
    editor = std::make_unique<VantrelEditController>(resources, host, 0x1090);
    controller->outControllerEdit = editor.get();
    controller->awakeFromNib();

    snippets = A({D({{"name", S("Greeting")}, {"text", S("Hello")}})});
    profile = D({{"buttons", D({{"00", D({{"cmd", I(1)}, {"mod", I(0)}})},
                                {"01", D({{"cmd", I(52)}})},
                                {"02", D({{"cmd", I(180)}})},
                                {"03", D({{"cmd", I(72)}, {"str", S("http://www.example.org/")}})},
                                {"08", D({{"cmd", I(2)}, {"mod", I(0x1800)}})},
                                {"09", D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0100)}})}})}});
    controller->fCurSettingsDict = profile;
    controller->fSnippetsArray = snippets;
    controller->fCurDeviceTab = VantrelController::kDeviceTabFirstModel;  // Dev1
  }

  QComboBox* popup(int position, int device = 0) { return controller->buttonMenu(device, position); }

  void updateDev1() {
    for (int i = 0; i < controller->buttonMenuCount(0); ++i)
      controller->vtlUpdateMenu(popup(i), controller->buttonIndex(0, i));
  }

  platform::Bundle resources = Resources("en");
  UsKeyNames keyNames{&resources};
  panesvc::PaneServices services;
  std::unique_ptr<QWidget> root;
  std::unique_ptr<VantrelController> controller;
  std::unique_ptr<VantrelEditController> editor;
  std::function<int(QDialog*)> user;
  int edits = 0;
  pl::ArrayRef snippets;
  pl::DictRef profile;
};

// The 31 pop-ups of the seven device pages each hold their own copy of the template, whose
// editor item carries the pop-up's button number.
TEST_F(ControllerMenus, EveryPopupHasItsOwnMenu) {
  ASSERT_NE(controller->outMenuAssignments, nullptr);
  const int items = controller->outMenuAssignments->count();
  EXPECT_GT(items, 10);
  std::set<QComboBox*> seen;
  int total = 0;
  for (int device = 0; device < VantrelController::kDeviceModels; ++device) {
    for (int i = 0; i < controller->buttonMenuCount(device); ++i) {
      QComboBox* p = popup(i, device);
      ASSERT_NE(p, nullptr);
      ++total;
      seen.insert(p);
      const int32_t button = controller->buttonIndex(device, i);
      EXPECT_EQ(p->property("tag").toInt(), button);
      ASSERT_EQ(p->count(), items);
      const int editorItem = p->findData(QVariant::fromValue<qlonglong>(menus::kEditorItemTag));
      ASSERT_GE(editorItem, 0);
      EXPECT_EQ(p->itemData(editorItem, Qt::UserRole + 1).toInt(), button);
      EXPECT_EQ(p->itemText(editorItem), "Other Action…");
    }
  }
  EXPECT_EQ(total, 31);
  EXPECT_EQ(seen.size(), 31u);
}

// The pop-ups show plain commands as their items and everything else as the extra item; what
// they store back keeps the extra items' assignments and takes the plain choices.
TEST_F(ControllerMenus, PopupsShowAndStoreTheProfile) {
  updateDev1();
  EXPECT_FALSE(popup(0)->isEnabled());  // the only plain click
  EXPECT_EQ(popup(1)->currentText(), "Copy");
  EXPECT_EQ(popup(2)->currentText(), "Greeting");  // the profile's snippets name it
  EXPECT_EQ(popup(4)->currentText(), QString::fromUtf8("⌃+⌥+Secondary click"));

  popup(1)->setCurrentIndex(popup(1)->findData(QVariant::fromValue<qlonglong>(53)));  // Paste
  auto buttons = profile->getDict("buttons");
  for (int i = 0; i < controller->buttonMenuCount(0); ++i) {
    controller->vtlGetButtonAssignment(buttons->getDict(menus::ButtonKey(controller->buttonIndex(0, i))),
                                       popup(i));
  }
  EXPECT_EQ(buttons->getDict("01")->integerValue("cmd"), 53);
  EXPECT_EQ(buttons->getDict("03")->stringValue("str"), "http://www.example.org/");
  EXPECT_EQ(buttons->getDict("08")->integerValue("mod"), 0x1800);
  EXPECT_EQ(buttons->getDict("09")->integerValue("key"), 40);
}

// Choosing the editor item edits that pop-up's button; OK replaces its dictionary, Cancel keeps
// it.
TEST_F(ControllerMenus, EditorItemEditsItsButton) {
  updateDev1();
  QComboBox* chord1 = popup(4);
  const int editorItem = chord1->findData(QVariant::fromValue<qlonglong>(menus::kEditorItemTag));
  user = [](QDialog* d) {
    auto* categories = paneui::outlet<QListWidget>(d, "outEditBrowserCategories");
    categories->setCurrentRow(4);  // snippets: the snippets menu first
    return 1;
  };
  chord1->setCurrentIndex(editorItem);
  Q_EMIT chord1->activated(editorItem);
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(profile->getDict("buttons")->getDict("08")->integerValue("cmd"), 160);

  auto before = profile->getDict("buttons")->getDict("09");
  user = [](QDialog* d) {
    paneui::outlet<QListWidget>(d, "outEditBrowserCategories")->setCurrentRow(0);
    return 0;
  };
  QComboBox* chord2 = popup(5);
  Q_EMIT chord2->activated(chord2->findData(QVariant::fromValue<qlonglong>(menus::kEditorItemTag)));
  EXPECT_EQ(edits, 2);
  EXPECT_EQ(profile->getDict("buttons")->getDict("09"), before);
  EXPECT_EQ(before->integerValue("cmd"), 10);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
