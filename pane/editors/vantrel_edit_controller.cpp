#include "pane/editors/vantrel_edit_controller.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QSvgRenderer>

#include <algorithm>
#include <cstdlib>

#include "keys/key_tables.h"
#include "pane/button_menus.h"
#include "pane/interface_loader.h"
#include "settings/models.h"

namespace {

using assignments::ParameterPanel;

constexpr int kDeviceModels = 7;
constexpr unsigned kTabKey = 48;  // Mac virtual key code of Tab
constexpr unsigned kShift = 0x0200;

// The speeds the scroll commands offer (steps per press).
constexpr std::array<int64_t, 8> kSpeeds = {1, 2, 3, 4, 5, 6, 8, 10};

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

template <class T>
T* find(QWidget* root, const char* name) {
  return paneui::outlet<T>(root, name);
}

// The colour of the button being edited in the device picture: amber, which stands out from
// every model's own colours.
constexpr char kHighlight[] = "#ffb000";

// The device picture with the shape of one button filled in the highlight colour: the SVG's
// element "button<N>" gets another fill. Null pixmap when the picture cannot be read.
QPixmap devicePicture(const QString& path, int svgButton, int size, qreal ratio) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > (1 << 20)) return {};
  QString svg = QString::fromUtf8(file.readAll());
  if (svgButton > 0) {
    const QRegularExpression element(
        QStringLiteral("(<[^>]*\\bid=\"button%1\"[^>]*\\bfill=\")[^\"]*(\")").arg(svgButton));
    svg.replace(element, QStringLiteral("\\1%1\\2").arg(QLatin1String(kHighlight)));
  }
  QSvgRenderer renderer(svg.toUtf8());
  if (!renderer.isValid()) return {};
  QPixmap pixmap(QSize(size, size) * ratio);
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter, QRectF(0, 0, size, size));
  return pixmap;
}

}  // namespace

VantrelEditController::VantrelEditController(const platform::Bundle& bundle, Host host,
                                             uint32_t systemVersion, QObject* parent)
    : QObject(parent),
      fBundle(bundle),
      fHost(std::move(host)),
      fSystemVersion(systemVersion),
      fAssignmentsTree(pl::makeArray()),
      fEditActionDict(pl::makeDict()),
      fSnippetsArray(pl::makeArray()) {
  QString error;
  std::unique_ptr<QWidget> top = paneui::loadInterface(fBundle, QStringLiteral("VantrelEdit"),
                                                       nullptr, &error);
  if (auto* dialog = qobject_cast<QDialog*>(top.get())) {
    top.release();
    fWindow.reset(dialog);
  }
  awakeFromNib();
}

VantrelEditController::~VantrelEditController() = default;

void VantrelEditController::awakeFromNib() {
  fAssignmentsTree = assignments::LoadAssignmentsTree(fBundle, fSystemVersion);
  // Key names for the keystroke field and the button menus, from the layout in use and the
  // pane's texts (read again each time the dialog opens).
  GetKeyboardInformation(&fBundle, "Localizable");
  QDialog* w = fWindow.get();
  if (!w) return;

  outEditTabsDevices = find<QStackedWidget>(w, "outEditTabsDevices");
  for (int i = 0; i < kDeviceModels; ++i) {
    const std::string n = std::to_string(i + 1);
    fEditTabsButtons[static_cast<size_t>(i)] =
        find<QStackedWidget>(w, ("outEditTabsButtons" + n).c_str());
    fEditPictures[static_cast<size_t>(i)] = find<QLabel>(w, ("outEditPictureDev" + n).c_str());
  }
  outEditBrowserCategories = find<QListWidget>(w, "outEditBrowserCategories");
  outEditBrowserCommands = find<QListWidget>(w, "outEditBrowserCommands");
  outMainTabsParams = find<QStackedWidget>(w, "outMainTabsParams");
  outMainFieldLabel = find<QLineEdit>(w, "outMainFieldLabel");
  outActClickBoxCommand = find<QCheckBox>(w, "outActClickBoxCommand");
  outActClickBoxControl = find<QCheckBox>(w, "outActClickBoxControl");
  outActClickBoxOption = find<QCheckBox>(w, "outActClickBoxOption");
  outActClickBoxShift = find<QCheckBox>(w, "outActClickBoxShift");
  outActKeyBoxCommand = find<QCheckBox>(w, "outActKeyBoxCommand");
  outActKeyBoxControl = find<QCheckBox>(w, "outActKeyBoxControl");
  outActKeyBoxOption = find<QCheckBox>(w, "outActKeyBoxOption");
  outActKeyBoxShift = find<QCheckBox>(w, "outActKeyBoxShift");
  outActKeyFieldKeystroke = find<QLineEdit>(w, "outActKeyFieldKeystroke");
  outActSnippetFieldName = find<QLineEdit>(w, "outActSnippetFieldName");
  outActSnippetFieldText = find<QPlainTextEdit>(w, "outActSnippetFieldText");
  outActScrollMenuSpeed = find<QComboBox>(w, "outActScrollMenuSpeed");
  outActAppFieldApp = find<QLineEdit>(w, "outActAppFieldApp");
  outActItemFieldItem = find<QLineEdit>(w, "outActItemFieldItem");
  outActURLFieldURL = find<QLineEdit>(w, "outActURLFieldURL");
  outActAppleScriptFieldScript = find<QPlainTextEdit>(w, "outActAppleScriptFieldScript");

  // An interface file without the controls the editor works with is as good as none.
  const bool complete =
      outEditTabsDevices && outEditBrowserCategories && outEditBrowserCommands &&
      outMainTabsParams && outMainFieldLabel && outActClickBoxCommand && outActClickBoxControl &&
      outActClickBoxOption && outActClickBoxShift && outActKeyBoxCommand && outActKeyBoxControl &&
      outActKeyBoxOption && outActKeyBoxShift && outActKeyFieldKeystroke &&
      outActSnippetFieldName && outActSnippetFieldText && outActScrollMenuSpeed &&
      outActAppFieldApp && outActItemFieldItem && outActURLFieldURL &&
      outActAppleScriptFieldScript && outMainTabsParams->count() == 9;
  if (!complete) {
    fWindow.reset();
    return;
  }

  w->setWindowModality(Qt::WindowModal);
  fillBrowserCategories();
  fillBrowserCommands(0);
  fillSpeedMenu(1);

  connect(outEditBrowserCategories, &QListWidget::currentRowChanged, this, [this] {
    if (!fUpdatingUI) actBrowser(0);
  });
  connect(outEditBrowserCommands, &QListWidget::currentRowChanged, this, [this] {
    if (!fUpdatingUI) actBrowser(1);
  });
  for (QCheckBox* box : {outActClickBoxCommand, outActClickBoxControl, outActClickBoxOption,
                         outActClickBoxShift, outActKeyBoxCommand, outActKeyBoxControl,
                         outActKeyBoxOption, outActKeyBoxShift}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      if (!fUpdatingUI) actUpdateSettings();
    });
  }
  connect(outActScrollMenuSpeed, &QComboBox::currentIndexChanged, this, [this] {
    if (!fUpdatingUI) actUpdateSettings();
  });
  for (QLineEdit* field :
       {outMainFieldLabel, outActSnippetFieldName, outActURLFieldURL}) {
    connect(field, &QLineEdit::textEdited, this, [this, field] { controlTextDidChange(field); });
  }
  for (QPlainTextEdit* field : {outActSnippetFieldText, outActAppleScriptFieldScript}) {
    connect(field, &QPlainTextEdit::textChanged, this, [this, field] {
      if (!fUpdatingUI) controlTextDidChange(field);
    });
  }
  if (auto* b = find<QPushButton>(w, "outActAppButtonChoose"))
    connect(b, &QPushButton::clicked, this, [this] { actButtonChooseApp(); });
  if (auto* b = find<QPushButton>(w, "outActItemButtonChooseFile"))
    connect(b, &QPushButton::clicked, this, [this] { actButtonChooseItem(false); });
  if (auto* b = find<QPushButton>(w, "outActItemButtonChooseFolder"))
    connect(b, &QPushButton::clicked, this, [this] { actButtonChooseItem(true); });
  if (auto* b = find<QPushButton>(w, "outEditButtonOK"))
    connect(b, &QPushButton::clicked, w, [w] { w->done(1); });
  if (auto* b = find<QPushButton>(w, "outEditButtonCancel"))
    connect(b, &QPushButton::clicked, w, [w] { w->done(0); });
  // However the dialog ends (OK, Cancel, Escape), the modal run ends with its code.
  connect(w, &QDialog::finished, this, [this, w](int code) {
    if (!fHost.endModal || fEndingModal) return;
    fEndingModal = true;
    fHost.endModal(code, w);
    fEndingModal = false;
  });
}

// ---- Opening the dialog ----------------------------------------------------------------------

bool VantrelEditController::editButtonAction(int32_t button, const pl::DictRef& settings,
                                             const pl::ArrayRef& snippets) {
  // One dialog at a time: a second request while it is open is refused.
  if (!fWindow || !settings || fWindow->isVisible()) return false;
  const std::string key = menus::ButtonKey(button);
  const pl::DictRef buttons = settings->getDict("buttons");
  const pl::DictRef current = buttons ? buttons->getDict(key) : nullptr;
  if (!current) return false;
  pl::DictRef copy = pl::deepCopyDict(current);
  if (!copy) return false;
  fEditActionDict = copy;
  fSnippetsArray = snippets ? snippets : pl::makeArray();

  // Key names follow the keyboard layout in use now.
  GetKeyboardInformation(&fBundle, "Localizable");
  fillBrowserCategories();
  // The commands are listed afresh: the snippets' names may have changed since.
  fillBrowserCommands(std::max(outEditBrowserCategories->currentRow(), 0));
  fitBrowserColumns();
  vtlGetUIFromSettings();
  showDeviceAndButton(button);
  outEditBrowserCategories->setFocus();

  const int code = fHost.modalDialog ? fHost.modalDialog(fWindow.get()) : fWindow->exec();
  fWindow->hide();
  if (code != 1) return false;
  buttons->set(key, fEditActionDict);
  return true;
}

void VantrelEditController::showDeviceAndButton(int32_t button) {
  const int device = fHost.curDeviceTabIndex ? fHost.curDeviceTabIndex() : 0;
  if (device < 0 || device >= kDeviceModels) {
    outEditTabsDevices->setVisible(false);
    return;
  }
  outEditTabsDevices->setVisible(true);
  outEditTabsDevices->setCurrentIndex(device);
  QStackedWidget* buttonTabs = fEditTabsButtons[static_cast<size_t>(device)];
  const int position = fHost.curAssignmentTabIndex ? fHost.curAssignmentTabIndex(button) : 0;
  if (buttonTabs && position >= 0 && position < buttonTabs->count())
    buttonTabs->setCurrentIndex(position);

  // Buttons 0-3 are the picture's shapes button1..button4; a chord has no shape of its own.
  if (QLabel* picture = fEditPictures[static_cast<size_t>(device)]) {
    const int shape = button >= 0 && button <= 3 ? button + 1 : 0;
    const QString path =
        qs(fBundle.resourcePath()) + QStringLiteral("/devices/dev%1.svg").arg(device + 1);
    picture->setPixmap(devicePicture(path, shape, 160, picture->devicePixelRatioF()));
    QWidget* page = buttonTabs ? buttonTabs->currentWidget() : nullptr;
    const auto* name = page ? page->findChild<QLabel*>() : nullptr;
    const QString what = name ? name->text() : QString();
    picture->setAccessibleDescription(what);
  }
}

// ---- The browser -------------------------------------------------------------------------------

void VantrelEditController::fillBrowserCategories() {
  const bool was = fUpdatingUI;
  fUpdatingUI = true;
  const int keep = outEditBrowserCategories->currentRow();
  outEditBrowserCategories->clear();
  const size_t rows = assignments::BrowserRowCount(fAssignmentsTree.get(), 0, -1);
  const assignments::LocString loc = locString();
  for (size_t r = 0; r < rows; ++r) {
    outEditBrowserCategories->addItem(qs(assignments::BrowserTitle(
        fAssignmentsTree.get(), fSnippetsArray.get(), loc, 0, static_cast<int>(r), -1)));
  }
  if (keep >= 0 && keep < outEditBrowserCategories->count())
    outEditBrowserCategories->setCurrentRow(keep);
  fUpdatingUI = was;
}

void VantrelEditController::fillBrowserCommands(int category) {
  const bool was = fUpdatingUI;
  fUpdatingUI = true;
  outEditBrowserCommands->clear();
  const size_t rows = assignments::BrowserRowCount(fAssignmentsTree.get(), 1, category);
  const assignments::LocString loc = locString();
  for (size_t r = 0; r < rows; ++r) {
    outEditBrowserCommands->addItem(qs(assignments::BrowserTitle(
        fAssignmentsTree.get(), fSnippetsArray.get(), loc, 1, static_cast<int>(r), category)));
  }
  outEditBrowserCommands->setProperty("category", category);
  fUpdatingUI = was;
}

void VantrelEditController::fitBrowserColumns() {
  // Each column is as wide as its longest title (of every category, for the commands), so that
  // nothing is cut and the dialog keeps its size while the user moves through the categories.
  const assignments::LocString loc = locString();
  // A very long title (a snippet's name is the user's) scrolls instead of widening the dialog.
  const auto fit = [](QListWidget* list, const QStringList& titles) {
    const QFontMetrics metrics(list->font());
    int widest = 0;
    for (const QString& t : titles) widest = std::max(widest, metrics.horizontalAdvance(t));
    const int limit = metrics.averageCharWidth() * 48;
    list->setHorizontalScrollBarPolicy(widest > limit ? Qt::ScrollBarAsNeeded
                                                      : Qt::ScrollBarAlwaysOff);
    list->setMinimumWidth(std::min(widest, limit) + 2 * list->frameWidth() +
                          list->verticalScrollBar()->sizeHint().width() +
                          4 * list->spacing() + 12);
  };
  QStringList categories;
  QStringList commands;
  const pl::Array* tree = fAssignmentsTree.get();
  const size_t count = assignments::BrowserRowCount(tree, 0, -1);
  for (size_t c = 0; c < count; ++c) {
    const int category = static_cast<int>(c);
    categories << qs(assignments::BrowserTitle(tree, fSnippetsArray.get(), loc, 0, category, -1));
    const size_t rows = assignments::BrowserRowCount(tree, 1, category);
    for (size_t r = 0; r < rows; ++r) {
      commands << qs(assignments::BrowserTitle(tree, fSnippetsArray.get(), loc, 1,
                                               static_cast<int>(r), category));
    }
  }
  fit(outEditBrowserCategories, categories);
  fit(outEditBrowserCommands, commands);
}

void VantrelEditController::selectBrowserRow(QListWidget* list, int row) {
  const bool was = fUpdatingUI;
  fUpdatingUI = true;
  if (row >= 0 && row < list->count()) list->setCurrentRow(row);
  fUpdatingUI = was;
}

std::optional<uint16_t> VantrelEditController::selectedCommand() const {
  return assignments::CommandAtSelection(fAssignmentsTree.get(),
                                         outEditBrowserCategories->currentRow(),
                                         outEditBrowserCommands->currentRow());
}

void VantrelEditController::actBrowser(int column) {
  if (column == 0) {
    // Choosing a category chooses its first command.
    fillBrowserCommands(outEditBrowserCategories->currentRow());
    selectBrowserRow(outEditBrowserCommands, 0);
  }
  vtlGetSettingsFromUI(true);
  vtlGetUIFromSettings();
}

// ---- Controls and action -----------------------------------------------------------------------

void VantrelEditController::fillSpeedMenu(int64_t selectTag) {
  const bool was = fUpdatingUI;
  fUpdatingUI = true;
  outActScrollMenuSpeed->clear();
  const auto add = [this](int64_t speed) {
    const QString title = speed == 1 ? vtlLocString("1 step")
                                     : vtlLocString("%1 steps").arg(speed);
    outActScrollMenuSpeed->addItem(title, QVariant::fromValue<qlonglong>(speed));
  };
  bool listed = false;
  for (int64_t speed : kSpeeds) {
    // A stored speed the menu does not offer is shown in its place among the others.
    if (!listed && selectTag > 0 && selectTag < speed) {
      add(selectTag);
      listed = true;
    }
    if (speed == selectTag) listed = true;
    add(speed);
  }
  if (!listed && selectTag > 0) add(selectTag);
  const int index = outActScrollMenuSpeed->findData(QVariant::fromValue<qlonglong>(selectTag));
  outActScrollMenuSpeed->setCurrentIndex(index);
  fUpdatingUI = was;
}

assignments::EditorControls VantrelEditController::controlsState() const {
  assignments::EditorControls c;
  c.clickBoxes = {outActClickBoxCommand->isChecked(), outActClickBoxControl->isChecked(),
                  outActClickBoxOption->isChecked(), outActClickBoxShift->isChecked()};
  c.keyBoxes = {outActKeyBoxCommand->isChecked(), outActKeyBoxControl->isChecked(),
                outActKeyBoxOption->isChecked(), outActKeyBoxShift->isChecked()};
  const QVariant tag = outActScrollMenuSpeed->currentData();
  c.speedTag = tag.isValid() ? tag.toLongLong() : 1;
  return c;
}

void VantrelEditController::vtlGetSettingsFromUI(bool reset) {
  if (!fWindow) return;
  assignments::ReadActionFromControls(*fEditActionDict, selectedCommand(), reset, controlsState());
}

void VantrelEditController::setFieldText(QLineEdit* field, const std::string& text) {
  const QString t = qs(text);
  if (field->text() != t) field->setText(t);
}

void VantrelEditController::setFieldText(QPlainTextEdit* field, const std::string& text) {
  const QString t = qs(text);
  if (field->toPlainText() != t) field->setPlainText(t);
}

void VantrelEditController::vtlGetUIFromSettings() {
  if (!fWindow) return;
  const bool was = fUpdatingUI;
  fUpdatingUI = true;
  const assignments::EditorView v = assignments::ViewOfAction(
      *fEditActionDict, fAssignmentsTree.get(), fSnippetsArray.get(), locString());

  setFieldText(outMainFieldLabel, v.label);
  if (v.categoryRow >= 0 && v.commandRow >= 0) {
    selectBrowserRow(outEditBrowserCategories, v.categoryRow);
    if (outEditBrowserCommands->property("category").toInt() != v.categoryRow ||
        outEditBrowserCommands->count() == 0)
      fillBrowserCommands(v.categoryRow);
    selectBrowserRow(outEditBrowserCommands, v.commandRow);
  }

  const auto setBoxes = [](const assignments::ModifierBoxes& b, QCheckBox* command,
                           QCheckBox* control, QCheckBox* option, QCheckBox* shift) {
    command->setChecked(b.command);
    control->setChecked(b.control);
    option->setChecked(b.option);
    shift->setChecked(b.shift);
  };
  switch (v.panel) {
    case ParameterPanel::ClickModifiers:
      setBoxes(v.clickBoxes, outActClickBoxCommand, outActClickBoxControl, outActClickBoxOption,
               outActClickBoxShift);
      break;
    case ParameterPanel::Keystroke:
      setFieldText(outActKeyFieldKeystroke, v.keystroke);
      setBoxes(v.keyBoxes, outActKeyBoxCommand, outActKeyBoxControl, outActKeyBoxOption,
               outActKeyBoxShift);
      break;
    case ParameterPanel::Snippet:
      setFieldText(outActSnippetFieldName, v.snippetName);
      setFieldText(outActSnippetFieldText, v.snippetText);
      break;
    case ParameterPanel::ScrollSpeed: fillSpeedMenu(v.speedTag); break;
    case ParameterPanel::Application: setFieldText(outActAppFieldApp, v.application); break;
    case ParameterPanel::Item: setFieldText(outActItemFieldItem, v.item); break;
    case ParameterPanel::URL: setFieldText(outActURLFieldURL, v.url); break;
    case ParameterPanel::Script: setFieldText(outActAppleScriptFieldScript, v.script); break;
    case ParameterPanel::None: break;
  }
  outMainTabsParams->setCurrentIndex(static_cast<int>(v.panel));
  fUpdatingUI = was;
}

void VantrelEditController::actUpdateSettings() {
  vtlGetSettingsFromUI(false);
  // The keystroke field names the modifiers as well, so the view follows every change.
  vtlGetUIFromSettings();
}

void VantrelEditController::controlTextDidChange(QObject* field) {
  if (field == outMainFieldLabel) {
    assignments::LabelChanged(*fEditActionDict, ss(outMainFieldLabel->text()));
  } else if (field == outActURLFieldURL) {
    assignments::StringFieldChanged(*fEditActionDict, ss(outActURLFieldURL->text()));
  } else if (field == outActAppleScriptFieldScript) {
    assignments::StringFieldChanged(*fEditActionDict,
                                    ss(outActAppleScriptFieldScript->toPlainText()));
  } else if (field == outActSnippetFieldName || field == outActSnippetFieldText) {
    const bool name = field == outActSnippetFieldName;
    const std::optional<uint16_t> code = selectedCommand();
    const std::string text = name ? ss(outActSnippetFieldName->text())
                                  : ss(outActSnippetFieldText->toPlainText());
    if (assignments::SnippetFieldChanged(*fSnippetsArray, code,
                                         name ? assignments::SnippetField::Name
                                              : assignments::SnippetField::Text,
                                         text) &&
        name) {
      // The browser names the snippet commands by their snippets.
      if (QListWidgetItem* row = outEditBrowserCommands->currentItem()) {
        row->setText(qs(assignments::BrowserTitle(
            fAssignmentsTree.get(), fSnippetsArray.get(), locString(), 1,
            outEditBrowserCommands->currentRow(), outEditBrowserCategories->currentRow())));
      }
    }
  }
}

// ---- Choosing an application or an item ----------------------------------------------------

void VantrelEditController::actButtonChooseApp() {
  std::optional<assignments::ChosenApplication> app;
  if (fHost.chooseApplication) {
    app = fHost.chooseApplication(fWindow.get());
  } else {
    QFileDialog panel(fWindow.get(), vtlLocString("Choose an application"));
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setNameFilter(vtlLocString("Applications") + QStringLiteral(" (*.desktop *.app)"));
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    for (const QString& folder : folders) {
      if (QDir(folder).exists()) {
        panel.setDirectory(folder);
        break;
      }
    }
    panel.setWindowModality(Qt::WindowModal);
    if (panel.exec() == QDialog::Accepted && !panel.selectedFiles().isEmpty())
      app = assignments::ApplicationAtPath(ss(panel.selectedFiles().constFirst()));
  }
  if (app && assignments::StoreChosenApplication(*fEditActionDict, *app)) vtlGetUIFromSettings();
}

void VantrelEditController::actButtonChooseItem(bool folder) {
  std::optional<std::string> path;
  if (fHost.chooseItem) {
    path = fHost.chooseItem(fWindow.get(), folder);
  } else {
    QFileDialog panel(fWindow.get(),
                      vtlLocString(folder ? "Choose a folder" : "Choose a file"));
    panel.setFileMode(folder ? QFileDialog::Directory : QFileDialog::ExistingFile);
    if (folder) panel.setOption(QFileDialog::ShowDirsOnly);
    panel.setDirectory(QDir::homePath());
    panel.setWindowModality(Qt::WindowModal);
    if (panel.exec() == QDialog::Accepted && !panel.selectedFiles().isEmpty())
      path = ss(panel.selectedFiles().constFirst());
  }
  if (!path) return;
  std::string home = fHost.homeFolder;
  if (home.empty()) {
    const char* env = std::getenv("HOME");
    home = env ? env : "";
  }
  if (assignments::StoreChosenItem(*fEditActionDict, *path, home)) vtlGetUIFromSettings();
}

// ---- Keystroke capture -------------------------------------------------------------------------

bool VantrelEditController::vtlOverrideKeysIsActive() {
  return fWindow && fWindow->isVisible() && fWindow->isActiveWindow() &&
         outMainTabsParams->currentIndex() == static_cast<int>(ParameterPanel::Keystroke) &&
         outActKeyFieldKeystroke->hasFocus();
}

void VantrelEditController::vtlReceiveKeystroke(unsigned keyCode, uint16_t character,
                                                unsigned modifiers) {
  // Tab and Shift-Tab leave the field, as everywhere else in the dialog.
  if (keyCode == kTabKey && ((modifiers & 0xFFFF) == 0 || (modifiers & 0xFFFF) == kShift)) {
    const bool forward = (modifiers & 0xFFFF) == 0;
    QWidget* next = outActKeyFieldKeystroke;
    do {
      next = forward ? next->nextInFocusChain() : next->previousInFocusChain();
    } while (next != outActKeyFieldKeystroke &&
             !((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled() &&
               next->window() == fWindow.get()));
    next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return;
  }
  if (assignments::ReceiveKeystroke(*fEditActionDict, keyCode, character, modifiers))
    vtlGetUIFromSettings();
}

// ---- Names -------------------------------------------------------------------------------------

QString VantrelEditController::vtlLocString(const std::string& key) const {
  return paneui::localizedString(fBundle, qs(key));
}

assignments::LocString VantrelEditController::locString() const {
  platform::Bundle bundle = fBundle;
  return [bundle](const std::string& key) {
    return bundle.localizedString(key, "", "Localizable");
  };
}

bool VantrelEditController::findCommandInTree(int64_t code, const pl::Array* snippets,
                                              int* categoryIndex, std::string* categoryName,
                                              int* commandIndex,
                                              std::string* commandName) const {
  return assignments::findCommandInTree(fAssignmentsTree.get(), code, snippets, locString(),
                                        categoryIndex, categoryName, commandIndex, commandName);
}

std::string VantrelEditController::snippetNameFromArray(const pl::Array* snippets,
                                                        int64_t index) const {
  return assignments::snippetNameFromArray(snippets, index, locString());
}
