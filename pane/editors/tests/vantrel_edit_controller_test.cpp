// The assignment editor through its widgets, on the offscreen platform: the dialog is run by a
// test runner in place of the panel's modal sheet, which does what a user would (clicks rows and
// boxes, types, presses keys) and ends the dialog with OK or Cancel.
#include "pane/editors/vantrel_edit_controller.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

#include "pane/editors/tests/assignment_test_support.h"
#include "pane/interface_loader.h"
#include "pane/tests/recording_receiver.h"

namespace {

using namespace assignment_tests;

constexpr uint32_t k109 = 0x1090;

class EditorTest : public ::testing::Test {
 protected:
  // What the user does while the dialog is shown; answers the dialog's end code.
  using Session = std::function<void(QDialog*)>;

  explicit EditorTest(const char* language = "en") : resources(Resources(language)) {}

  void SetUp() override {
    snippets = A({D({{"name", S("Text snippet 1")}, {"text", S("one")}}),
                  D({{"name", S("Greeting")}, {"text", S("Hello")}}),
                  D({{"name", S("Snippet 3")}, {"text", S("")}}),
                  D({{"name", S("Snippet 4")}, {"text", S("four")}})});
    makeEditor(resources);
  }

  void makeEditor(const platform::Bundle& bundle, uint32_t version = k109) {
    VantrelEditController::Host host;
    host.modalDialog = [this](QDialog* dialog) {
      ++runs;
      if (!dialog) return -1000;
      dialog->show();
      dialog->activateWindow();
      EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
      result = 0;
      if (session) session(dialog);
      return result;
    };
    host.curDeviceTabIndex = [this] { return deviceTab; };
    host.curAssignmentTabIndex = [this](int32_t button) { return button == 8 ? 2 : button; };
    host.chooseApplication = [this](QWidget*) { return chosenApp; };
    host.chooseItem = [this](QWidget*, bool folder) {
      chosenFolder = folder;
      return chosenItem;
    };
    host.homeFolder = "/home/ann";
    editor = std::make_unique<VantrelEditController>(bundle, host, version);
  }

  // A profile whose button 2 holds `button`.
  pl::DictRef profileWith(pl::DictRef button) {
    return D({{"buttons", D({{"00", D({{"cmd", I(1)}, {"mod", I(0)}})}, {"02", button}})}});
  }

  bool edit(const pl::DictRef& profile, Session what, int32_t button = 2) {
    session = std::move(what);
    return editor->editButtonAction(button, profile, snippets);
  }

  template <class T>
  T* w(QDialog* dialog, const char* name) {
    T* widget = paneui::outlet<T>(dialog, name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  static void pickRow(QListWidget* list, int row) {
    QListWidgetItem* item = list->item(row);
    ASSERT_NE(item, nullptr);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(item).center());
  }

  static int panel(QDialog* dialog) {
    return paneui::outlet<QStackedWidget>(dialog, "outMainTabsParams")->currentIndex();
  }

  pl::DictRef buttonOf(const pl::DictRef& profile, const char* key = "02") {
    return profile->getDict("buttons")->getDict(key);
  }

  platform::Bundle resources;
  UsKeyNames keyNames{&resources};
  pl::ArrayRef snippets;
  std::unique_ptr<VantrelEditController> editor;
  Session session;
  int result = 0;
  int runs = 0;
  int deviceTab = 0;
  std::optional<assignments::ChosenApplication> chosenApp;
  std::optional<std::string> chosenItem;
  bool chosenFolder = false;
};

// Choosing a category chooses its first command and starts its parameters afresh; choosing a
// command of the same category does the same; OK stores exactly what the dialog shows.
TEST_F(EditorTest, ChoosingCategoriesAndCommandsResetsTheParameters) {
  auto profile = profileWith(D({{"cmd", I(10)}, {"key", I(40)}, {"mod", I(0x0300)},
                                {"label", S("Mine")}, {"str", S("stale")}}));
  ASSERT_TRUE(edit(profile, [&](QDialog* d) {
    auto* categories = w<QListWidget>(d, "outEditBrowserCategories");
    auto* commands = w<QListWidget>(d, "outEditBrowserCommands");
    EXPECT_EQ(categories->currentRow(), 1);  // keystrokes and editing
    EXPECT_EQ(commands->currentRow(), 0);
    EXPECT_EQ(panel(d), 2);

    pickRow(categories, 0);  // clicks: the plain click first
    EXPECT_EQ(commands->currentRow(), 0);
    EXPECT_EQ(commands->currentItem()->text(), "Primary click");
    EXPECT_EQ(panel(d), 1);
    auto action = editor->vtlGetCurrentAction();
    EXPECT_EQ(action->integerValue("cmd"), 1);
    EXPECT_EQ(action->integerValue("mod"), 0);
    EXPECT_FALSE(action->contains("key"));
    EXPECT_FALSE(action->contains("str"));
    EXPECT_EQ(action->stringValue("label"), "Mine");  // the label stays

    pickRow(categories, 2);  // navigation: scrolling first
    EXPECT_EQ(panel(d), 4);
    EXPECT_EQ(action->integerValue("cnt"), 1);
    EXPECT_EQ(w<QComboBox>(d, "outActScrollMenuSpeed")->currentData().toLongLong(), 1);

    pickRow(categories, 3);  // applications and documents: launch first
    EXPECT_EQ(panel(d), 5);
    EXPECT_EQ(action->stringValue("str"), "");
    EXPECT_TRUE(action->contains("bndl"));
    EXPECT_EQ(w<QLineEdit>(d, "outActAppFieldApp")->text(), "-");
    pickRow(commands, 2);  // open a web address
    EXPECT_EQ(panel(d), 7);
    EXPECT_EQ(action->integerValue("cmd"), 72);

    pickRow(categories, 1);  // a keystroke starts without a key
    EXPECT_EQ(action->integerValue("key"), 255);
    EXPECT_EQ(action->integerValue("mod"), 0);
    EXPECT_EQ(w<QLineEdit>(d, "outActKeyFieldKeystroke")->text(), "");

    pickRow(categories, 0);
    pickRow(commands, 1);  // secondary click
    result = 1;
  }));
  auto stored = buttonOf(profile);
  EXPECT_EQ(stored->integerValue("cmd"), 2);
  EXPECT_EQ(stored->integerValue("mod"), 0);
  EXPECT_EQ(stored->stringValue("label"), "Mine");
  EXPECT_TRUE(pl::isEqual(stored, editor->vtlGetCurrentAction()));
}

// Command-Shift-K in the keystroke field becomes key 40 with 0x0300 and is named, not typed;
// the same keys elsewhere in the dialog, or with the dialog in the background, type as usual.
TEST_F(EditorTest, KeystrokeFieldCapturesKeysOnlyWhileItHasTheFocus) {
  auto profile = profileWith(D({{"cmd", I(10)}, {"key", I(255)}, {"mod", I(0)}}));
  CaptureScope capture(editor.get());
  ASSERT_TRUE(edit(profile, [&](QDialog* d) {
    auto* field = w<QLineEdit>(d, "outActKeyFieldKeystroke");
    auto* label = w<QLineEdit>(d, "outMainFieldLabel");
    EXPECT_FALSE(editor->vtlOverrideKeysIsActive());
    QTest::keyClick(label, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);  // not captured
    EXPECT_EQ(editor->vtlGetCurrentAction()->integerValue("key"), 255);

    field->setFocus();
    EXPECT_TRUE(editor->vtlOverrideKeysIsActive());
    QTest::keyClick(field, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);
    auto action = editor->vtlGetCurrentAction();
    EXPECT_EQ(action->integerValue("key"), 40);
    EXPECT_EQ(action->integerValue("mod"), 0x0300);
    EXPECT_EQ(field->text(), QString::fromUtf8("⌘⇧K"));
    EXPECT_TRUE(w<QCheckBox>(d, "outActKeyBoxCommand")->isChecked());
    EXPECT_TRUE(w<QCheckBox>(d, "outActKeyBoxShift")->isChecked());

    // The boxes change the modifiers, and the field names them at once.
    w<QCheckBox>(d, "outActKeyBoxShift")->click();
    w<QCheckBox>(d, "outActKeyBoxControl")->click();
    EXPECT_EQ(action->integerValue("mod"), 0x1100);
    EXPECT_EQ(field->text(), QString::fromUtf8("⌃⌘K"));

    // Tab leaves the field rather than becoming the keystroke; Shift-Tab comes back.
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Tab);
    EXPECT_FALSE(field->hasFocus());
    EXPECT_EQ(action->integerValue("key"), 40);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_TRUE(field->hasFocus());
    QTest::keyClick(field, Qt::Key_Tab, Qt::ControlModifier);  // Control-Tab is a keystroke
    EXPECT_EQ(action->integerValue("key"), 48);

    // Another window in front: the dialog does not take the keys.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(editor->vtlOverrideKeysIsActive());
    result = 1;
  }));
  EXPECT_EQ(buttonOf(profile)->integerValue("key"), 48);
}

// Modifier boxes of a click: Option and Control give 0x1800; Cancel leaves the profile as it
// was.
TEST_F(EditorTest, ClickModifiersAndCancel) {
  auto original = D({{"cmd", I(2)}, {"mod", I(0)}});
  auto profile = profileWith(original);
  EXPECT_FALSE(edit(profile, [&](QDialog* d) {
    EXPECT_EQ(panel(d), 1);
    w<QCheckBox>(d, "outActClickBoxOption")->click();
    w<QCheckBox>(d, "outActClickBoxControl")->click();
    EXPECT_EQ(editor->vtlGetCurrentAction()->integerValue("mod"), 0x1800);
    w<QCheckBox>(d, "outActClickBoxCommand")->click();
    EXPECT_EQ(editor->vtlGetCurrentAction()->integerValue("mod"), 0x1900);
    QTest::keyClicks(w<QLineEdit>(d, "outMainFieldLabel"), "Back");
    EXPECT_EQ(editor->vtlGetCurrentAction()->stringValue("label"), "Back");
    w<QPushButton>(d, "outEditButtonCancel")->click();
    result = d->result();
  }));
  EXPECT_EQ(buttonOf(profile), original);
  EXPECT_EQ(original->integerValue("mod"), 0);
  EXPECT_FALSE(original->contains("label"));

  // The OK button ends the dialog with 1; an emptied label is removed.
  auto labelled = profileWith(D({{"cmd", I(2)}, {"label", S("Menu")}}));
  EXPECT_TRUE(edit(labelled, [&](QDialog* d) {
    auto* field = w<QLineEdit>(d, "outMainFieldLabel");
    EXPECT_EQ(field->text(), "Menu");
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    w<QPushButton>(d, "outEditButtonOK")->click();
    result = d->result();
  }));
  EXPECT_FALSE(buttonOf(labelled)->contains("label"));
}

// Snippet commands are named by their snippets (a factory name as the localised "Snippet" and
// its number); their fields edit the snippets array itself, which keeps the edits on Cancel.
TEST_F(EditorTest, SnippetFieldsEditTheSnippetsInPlace) {
  auto original = D({{"cmd", I(183)}});
  auto profile = profileWith(original);
  EXPECT_FALSE(edit(profile, [&](QDialog* d) {
    auto* commands = w<QListWidget>(d, "outEditBrowserCommands");
    EXPECT_EQ(panel(d), 3);
    EXPECT_EQ(commands->item(1)->text(), "Snippet 1");  // "Text snippet 1", a factory name
    EXPECT_EQ(commands->item(2)->text(), "Greeting");
    EXPECT_EQ(commands->item(4)->text(), "Snippet 4");
    EXPECT_EQ(commands->item(5)->text(), "Type snippet 5");  // no such snippet
    auto* name = w<QLineEdit>(d, "outActSnippetFieldName");
    auto* text = w<QPlainTextEdit>(d, "outActSnippetFieldText");
    EXPECT_EQ(name->text(), "Snippet 4");
    EXPECT_EQ(text->toPlainText(), "four");

    text->setFocus();
    QTest::keyClick(text, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(text, "!");
    name->selectAll();
    QTest::keyClicks(name, "Address");
    EXPECT_EQ(commands->item(4)->text(), "Address");

    pickRow(commands, 7);  // snippet 7 lies beyond the array: it is made
    QTest::keyClicks(name, "Seven");
  }));
  EXPECT_EQ(buttonOf(profile), original);
  EXPECT_EQ(snippets->dictAt(3)->stringValue("text"), "four!");
  EXPECT_EQ(snippets->dictAt(3)->stringValue("name"), "Address");
  ASSERT_EQ(snippets->size(), 7u);
  EXPECT_EQ(snippets->dictAt(6)->stringValue("name"), "Seven");
  EXPECT_EQ(snippets->dictAt(4)->stringValue("text"), "");

  // Opened again, the browser names the snippets as they are now.
  edit(profileWith(D({{"cmd", I(180)}})), [&](QDialog* d) {
    EXPECT_EQ(w<QListWidget>(d, "outEditBrowserCommands")->item(4)->text(), "Address");
  });
}

// Applications and items come from the choosers: an application by its name and identifier, a
// file or folder with "~" for the home folder; a cancelled chooser changes nothing. The web
// address and script fields store what is typed.
TEST_F(EditorTest, ChoosersAndTextParameters) {
  auto profile = profileWith(D({{"cmd", I(71)}, {"str", S("")}, {"bndl", S("org.old")}}));
  ASSERT_TRUE(edit(profile, [&](QDialog* d) {
    auto* app = w<QLineEdit>(d, "outActAppFieldApp");
    EXPECT_EQ(app->text(), "org.old");  // no name: the identifier
    w<QPushButton>(d, "outActAppButtonChoose")->click();  // cancelled
    EXPECT_EQ(app->text(), "org.old");
    chosenApp = assignments::ChosenApplication{"Calculator", "org.gnome.Calculator"};
    w<QPushButton>(d, "outActAppButtonChoose")->click();
    EXPECT_EQ(app->text(), "Calculator");
    result = 1;
  }));
  EXPECT_EQ(buttonOf(profile)->stringValue("str"), "Calculator");
  EXPECT_EQ(buttonOf(profile)->stringValue("bndl"), "org.gnome.Calculator");

  auto item = profileWith(D({{"cmd", I(70)}}));
  ASSERT_TRUE(edit(item, [&](QDialog* d) {
    auto* field = w<QLineEdit>(d, "outActItemFieldItem");
    EXPECT_EQ(field->text(), "-");
    chosenItem = "/home/ann/Documents/Plans";
    w<QPushButton>(d, "outActItemButtonChooseFolder")->click();
    EXPECT_TRUE(chosenFolder);
    EXPECT_EQ(field->text(), "~/Documents/Plans");
    result = 1;
  }));
  EXPECT_EQ(buttonOf(item)->stringValue("str"), "~/Documents/Plans");

  auto url = profileWith(D({{"cmd", I(72)}, {"str", S("http://")}}));
  ASSERT_TRUE(edit(url, [&](QDialog* d) {
    auto* field = w<QLineEdit>(d, "outActURLFieldURL");
    EXPECT_EQ(field->text(), "http://");
    QTest::keyClicks(field, "example.org");
    pickRow(w<QListWidget>(d, "outEditBrowserCommands"), 3);  // run a script
    EXPECT_EQ(editor->vtlGetCurrentAction()->stringValue("str"), "");
    QTest::keyClicks(w<QPlainTextEdit>(d, "outActAppleScriptFieldScript"), "echo hi");
    result = 1;
  }));
  EXPECT_EQ(buttonOf(url)->integerValue("cmd"), 73);
  EXPECT_EQ(buttonOf(url)->stringValue("str"), "echo hi");
}

// The dialog shows the device page and the button being edited; a speed the menu does not
// offer is listed so that it stays as it is.
TEST_F(EditorTest, DeviceButtonAndSpeed) {
  deviceTab = 3;  // Dev4: buttons 0, 1 and chord 8
  auto profile = D({{"buttons", D({{"08", D({{"cmd", I(21)}, {"cnt", I(-7)}})}})}});
  ASSERT_TRUE(edit(profile, [&](QDialog* d) {
    EXPECT_EQ(w<QStackedWidget>(d, "outEditTabsDevices")->currentIndex(), 3);
    auto* buttons = w<QStackedWidget>(d, "outEditTabsButtons4");
    EXPECT_EQ(buttons->currentIndex(), 2);
    EXPECT_EQ(buttons->currentWidget()->findChild<QLabel*>()->text(), "Chord 1");
    EXPECT_FALSE(w<QLabel>(d, "outEditPictureDev4")->pixmap().isNull());
    auto* speed = w<QComboBox>(d, "outActScrollMenuSpeed");
    EXPECT_EQ(speed->currentData().toLongLong(), 7);
    EXPECT_EQ(speed->currentText(), "7 steps");
    speed->setCurrentIndex(speed->findData(QVariant::fromValue<qlonglong>(3)));
    result = 1;
  }, 8));
  EXPECT_EQ(profile->getDict("buttons")->getDict("08")->integerValue("cnt"), 3);
}

// A button without a dictionary, or a profile without buttons, does not open the dialog, and
// neither does a second request while it is open.
TEST_F(EditorTest, MissingButtonDoesNotOpen) {
  EXPECT_FALSE(editor->editButtonAction(5, profileWith(D({{"cmd", I(1)}})), snippets));
  EXPECT_FALSE(editor->editButtonAction(0, D({{"buttons", S("x")}}), snippets));
  EXPECT_FALSE(editor->editButtonAction(0, nullptr, snippets));
  EXPECT_EQ(runs, 0);
  auto first = profileWith(D({{"cmd", I(2)}}));
  auto second = profileWith(D({{"cmd", I(3)}}));
  EXPECT_TRUE(edit(first, [&](QDialog*) {
    EXPECT_FALSE(editor->editButtonAction(2, second, snippets));
    result = 1;
  }));
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(buttonOf(first)->integerValue("cmd"), 2);
}

// A missing or broken "Assignments" resource gives an empty browser, and the dialog still
// works; a broken interface file gives no dialog at all.
TEST_F(EditorTest, BrokenResources) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  ASSERT_TRUE(QFile::copy(QStringLiteral(VANTREL_RESOURCE_DIR "/VantrelEdit.ui"),
                          dir.filePath("VantrelEdit.ui")));
  QFile broken(dir.filePath("Assignments.plist"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("<plist><array><dict><key>category</key>");
  broken.close();
  makeEditor(platform::Bundle(dir.path().toStdString(), "en"));
  auto profile = profileWith(D({{"cmd", S("ten")}, {"mod", D({})}}));
  ASSERT_TRUE(edit(profile, [&](QDialog* d) {
    EXPECT_EQ(w<QListWidget>(d, "outEditBrowserCategories")->count(), 0);
    EXPECT_EQ(w<QListWidget>(d, "outEditBrowserCommands")->count(), 0);
    EXPECT_EQ(panel(d), 0);
    QTest::keyClicks(w<QLineEdit>(d, "outMainFieldLabel"), "x");
    result = 1;
  }));
  EXPECT_EQ(buttonOf(profile)->stringValue("label"), "x");

  QFile ui(dir.filePath("VantrelEdit.ui"));
  ASSERT_TRUE(ui.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ui.write("<ui version=\"4.0\"><widget class=\"QDialog\" name=\"outEditWindow\"/></ui>");
  ui.close();
  runs = 0;
  makeEditor(platform::Bundle(dir.path().toStdString(), "en"));
  EXPECT_EQ(editor->window(), nullptr);
  EXPECT_FALSE(editor->editButtonAction(2, profile, snippets));
  EXPECT_EQ(runs, 0);
}

class GermanEditorTest : public EditorTest {
 protected:
  GermanEditorTest() : EditorTest("de") {}
};

// In German the dialog, the browser, the factory snippet names and the key names are German.
TEST_F(GermanEditorTest, TextsAreLocalised) {
  auto profile = profileWith(D({{"cmd", I(183)}}));
  edit(profile, [&](QDialog* d) {
    EXPECT_NE(d->windowTitle(), "Assign an Action");
    EXPECT_EQ(w<QPushButton>(d, "outEditButtonCancel")->text(), "Abbrechen");
    EXPECT_EQ(w<QLineEdit>(d, "outActSnippetFieldName")->text(), "Textbaustein 4");
    EXPECT_EQ(w<QListWidget>(d, "outEditBrowserCategories")->item(4)->text(), "Textbausteine");
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
