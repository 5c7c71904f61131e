// The assignment editor: the modal dialog in which the user gives one button of the profile on
// screen any action of the command table, with its parameters.
//
// The dialog (resources/VantrelEdit.ui) shows, from top to bottom: the device picture and the
// name of the button being edited (one page per device model in outEditTabsDevices, one page per
// button in outEditTabsButtons1..7), the two-column browser (categories, then the commands of
// the selected category: outEditBrowserCategories, outEditBrowserCommands), the label field and
// the parameter panel of the chosen command (outMainTabsParams, pages as
// assignments::ParameterPanel numbers them), then Cancel and OK.
//
// The rules between the controls and the button dictionary are those of
// pane/editors/assignment_editing.h; this class only shows what they compute and hands them what
// the user did. It is also the pane's keystroke capture receiver: while the keystroke field has
// the focus in the active dialog, key presses become the keystroke instead of reaching the field
// (plain Tab and Shift-Tab still move the focus, so the field can be left by keyboard).
//
// Everything on the main thread.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "pane/editors/assignment_editing.h"
#include "pane/key_capture.h"
#include "platform/bundle.h"
#include "platform/plist.h"

class QCheckBox;
class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QWidget;
class VantrelController;

class VantrelEditController : public QObject, public VantrelKeystrokeReceiver {
  Q_OBJECT

 public:
  // What the editor needs of the panel around it.
  struct Host {
    // Runs the dialog modally on the panel's window: 1 for OK, 0 for Cancel, -1000 for null.
    // Unset: the dialog runs on its own (exec).
    std::function<int(QDialog*)> modalDialog;
    // The device page shown (0-6 for Dev1..Dev7, anything else for none) and the position of a
    // button among that device's pop-ups (0 when not found). Unset: 0.
    std::function<int32_t()> curDeviceTabIndex;
    std::function<int32_t(int32_t button)> curAssignmentTabIndex;
    // Asks the user for an application (shown over `parent`); none when cancelled. Unset: a file
    // dialog on the XDG application folders, the chosen entry read by ApplicationAtPath.
    std::function<std::optional<assignments::ChosenApplication>(QWidget* parent)>
        chooseApplication;
    // Asks the user for a file (folder = false) or a folder; the path, none when cancelled.
    // Unset: a file dialog.
    std::function<std::optional<std::string>(QWidget* parent, bool folder)> chooseItem;
    // The home folder written "~" in chosen paths. Empty: $HOME.
    std::string homeFolder;
    // Called when the dialog ends, with 1 for OK and 0 for Cancel or Escape, to end the modal
    // run. Unset: the dialog's own end is enough.
    std::function<void(int code, QObject* sender)> endModal;
  };

  // The pane's editor: the main controller runs the dialog (modalDialog, actModalButtonOK,
  // actModalButtonCancel) and tells the device page and button; the pane's bundle
  // (gVantrelBundle) gives the interface, the assignments and the texts. `main` must outlive
  // the editor.
  explicit VantrelEditController(VantrelController* main, QObject* parent = nullptr);

  // Loads "VantrelEdit.ui" from the bundle and the "Assignments" resource, adjusted to
  // `systemVersion` (0x1060 ... 0x1090). A missing or broken interface file leaves the editor
  // without a dialog: editButtonAction then answers false.
  VantrelEditController(const platform::Bundle& bundle, Host host, uint32_t systemVersion,
                        QObject* parent = nullptr);
  ~VantrelEditController() override;

  // Runs the dialog for button `button` (0-15) of the profile `settings`, whose snippets array
  // is `snippets` (edited in place: snippet edits stay even when the dialog is cancelled).
  // True when the user confirmed and the profile's button dictionary was replaced; false (the
  // profile unchanged) when cancelled or when the profile has no dictionary for the button.
  bool editButtonAction(int32_t button, const pl::DictRef& settings, const pl::ArrayRef& snippets);

  // The command tree lookup, with the pane's localisation (assignment_tree.h). The button menus
  // use it for a command's name.
  bool findCommandInTree(int64_t code, const pl::Array* snippets, int* categoryIndex,
                         std::string* categoryName, int* commandIndex,
                         std::string* commandName) const;
  std::string snippetNameFromArray(const pl::Array* snippets, int64_t index) const;

  // The text of a key in the pane's "Localizable" table.
  QString vtlLocString(const std::string& key) const;
  assignments::LocString locString() const;

  pl::DictRef vtlGetCurrentAction() const { return fEditActionDict; }
  pl::ArrayRef vtlGetAssignmentsTree() const { return fAssignmentsTree; }

  // Action to controls, and controls to action (with reset: a command was just chosen).
  void vtlGetUIFromSettings();
  void vtlGetSettingsFromUI(bool reset);

  // The capture receiver (pane/key_capture.h).
  bool vtlOverrideKeysIsActive() override;
  void vtlReceiveKeystroke(unsigned keyCode, uint16_t character, unsigned modifiers) override;

  // The dialog (null when the interface file could not be loaded); for the panel and tests.
  QDialog* window() const { return fWindow.get(); }

  VantrelController* outControllerMain = nullptr;

 private:
  void awakeFromNib();
  void fillBrowserCategories();
  void fillBrowserCommands(int category);
  void fitBrowserColumns();
  void fillSpeedMenu(int64_t selectTag);
  void showDeviceAndButton(int32_t button);
  void selectBrowserRow(QListWidget* list, int row);
  void setFieldText(QLineEdit* field, const std::string& text);
  void setFieldText(QPlainTextEdit* field, const std::string& text);
  std::optional<uint16_t> selectedCommand() const;
  assignments::EditorControls controlsState() const;

  // Interface actions.
  void actUpdateSettings();
  void actBrowser(int column);
  void actButtonChooseApp();
  void actButtonChooseItem(bool folder);
  void controlTextDidChange(QObject* field);

  platform::Bundle fBundle;
  Host fHost;
  uint32_t fSystemVersion;
  std::unique_ptr<QDialog> fWindow;

  // Outlets.
  QStackedWidget* outEditTabsDevices = nullptr;
  std::array<QStackedWidget*, 7> fEditTabsButtons{};
  std::array<QLabel*, 7> fEditPictures{};
  QListWidget* outEditBrowserCategories = nullptr;
  QListWidget* outEditBrowserCommands = nullptr;
  QStackedWidget* outMainTabsParams = nullptr;
  QLineEdit* outMainFieldLabel = nullptr;
  QCheckBox* outActClickBoxCommand = nullptr;
  QCheckBox* outActClickBoxControl = nullptr;
  QCheckBox* outActClickBoxOption = nullptr;
  QCheckBox* outActClickBoxShift = nullptr;
  QCheckBox* outActKeyBoxCommand = nullptr;
  QCheckBox* outActKeyBoxControl = nullptr;
  QCheckBox* outActKeyBoxOption = nullptr;
  QCheckBox* outActKeyBoxShift = nullptr;
  QLineEdit* outActKeyFieldKeystroke = nullptr;
  QLineEdit* outActSnippetFieldName = nullptr;
  QPlainTextEdit* outActSnippetFieldText = nullptr;
  QComboBox* outActScrollMenuSpeed = nullptr;
  QLineEdit* outActAppFieldApp = nullptr;
  QLineEdit* outActItemFieldItem = nullptr;
  QLineEdit* outActURLFieldURL = nullptr;
  QPlainTextEdit* outActAppleScriptFieldScript = nullptr;

  pl::ArrayRef fAssignmentsTree;
  pl::DictRef fEditActionDict;
  pl::ArrayRef fSnippetsArray;

  // Set while the controls are being filled from the action, so that their change signals do
  // not write back what is being shown.
  bool fUpdatingUI = false;
  bool fEndingModal = false;
};
