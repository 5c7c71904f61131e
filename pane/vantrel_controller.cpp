// The main controller's life cycle, root tabs, sheets and the helper's messages.
#include "pane/vantrel_controller.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QAbstractItemView>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QVariant>

#include <algorithm>

#include "pane/editors/vantrel_edit_controller.h"
#include "pane/editors/vantrel_param_controller.h"
#include "pane/interface_loader.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "settings/models.h"
#include "settings/string_utils.h"

// ---- CellMatrix ---------------------------------------------------------------------------------

void CellMatrix::attach(QWidget* container) {
  fContainer = container;
  fCells.clear();
  if (container == nullptr) return;
  for (QAbstractButton* button : container->findChildren<QAbstractButton*>()) {
    if (button->property("column").isValid()) fCells.push_back(button);
  }
  std::stable_sort(fCells.begin(), fCells.end(), [](QAbstractButton* a, QAbstractButton* b) {
    return a->property("column").toInt() < b->property("column").toInt();
  });
  fGroup = new QButtonGroup(container);
  fGroup->setExclusive(true);
  for (size_t i = 0; i < fCells.size(); ++i) {
    fCells[i]->setCheckable(true);
    fGroup->addButton(fCells[i], static_cast<int>(i));
  }
}

QAbstractButton* CellMatrix::cell(int column) const {
  if (column < 0 || column >= columnCount()) return nullptr;
  return fCells[static_cast<size_t>(column)];
}

int CellMatrix::selectedColumn() const {
  for (size_t i = 0; i < fCells.size(); ++i) {
    if (fCells[i]->isChecked()) return static_cast<int>(i);
  }
  return -1;
}

void CellMatrix::selectColumn(int column) {
  if (QAbstractButton* c = cell(column)) c->setChecked(true);
}

int CellMatrix::selectedTag() const {
  const int column = selectedColumn();
  return column < 0 ? 0 : paneui::tagOf(fCells[static_cast<size_t>(column)]);
}

bool CellMatrix::selectCellWithTag(int tag) {
  for (QAbstractButton* c : fCells) {
    if (paneui::tagOf(c) == tag) {
      c->setChecked(true);
      return true;
    }
  }
  return false;
}

// ---- the device table of button pop-ups ---------------------------------------------------------

namespace {

struct MenuOutlet {
  const char* name;
  int device;  // 0 = Dev1
  int32_t button;
};

// The 31 pop-ups of the device pages, in table order.
constexpr MenuOutlet kMenuOutlets[] = {
    {"outBtnMenuDev1Button1", 0, 0}, {"outBtnMenuDev1Button2", 0, 1}, {"outBtnMenuDev1Button3", 0, 2},
    {"outBtnMenuDev1Button4", 0, 3}, {"outBtnMenuDev1Chord1", 0, 8},  {"outBtnMenuDev1Chord2", 0, 9},
    {"outBtnMenuDev2Button1", 1, 0}, {"outBtnMenuDev2Button2", 1, 1}, {"outBtnMenuDev2Button3", 1, 2},
    {"outBtnMenuDev2Button4", 1, 3}, {"outBtnMenuDev2Chord1", 1, 8},  {"outBtnMenuDev2Chord2", 1, 9},
    {"outBtnMenuDev3Button1", 2, 0}, {"outBtnMenuDev3Button2", 2, 1}, {"outBtnMenuDev3Button3", 2, 2},
    {"outBtnMenuDev3Button4", 2, 3},
    {"outBtnMenuDev4Button1", 3, 0}, {"outBtnMenuDev4Button2", 3, 1}, {"outBtnMenuDev4Chord1", 3, 8},
    {"outBtnMenuDev5Button1", 4, 0}, {"outBtnMenuDev5Button2", 4, 1}, {"outBtnMenuDev5Chord1", 4, 8},
    {"outBtnMenuDev6Button1", 5, 0}, {"outBtnMenuDev6Button2", 5, 1}, {"outBtnMenuDev6Chord1", 5, 8},
    {"outBtnMenuDev7Button1", 6, 0}, {"outBtnMenuDev7Button2", 6, 1}, {"outBtnMenuDev7Button3", 6, 2},
    {"outBtnMenuDev7Button4", 6, 3}, {"outBtnMenuDev7Chord1", 6, 8},  {"outBtnMenuDev7Chord2", 6, 9},
};
static_assert(std::size(kMenuOutlets) == 31);

}  // namespace

// ---- construction -------------------------------------------------------------------------------

VantrelController::VantrelController(QWidget* root, const panesvc::PaneServices& services, QObject* parent)
    : QObject(parent), fRoot(root), fServices(services) {
  buildDevicePages();
  findOutlets();
  outWindowConfirm = loadSheet("VantrelConfirm");
  outConfirmFieldPrompt = paneui::outlet<QLabel>(outWindowConfirm, "outConfirmFieldPrompt");
  outWindowAccessibilityWarning = loadSheet("VantrelAccessibilityWarning");
  outAccessibilityLabelWarning = paneui::outlet<QLabel>(outWindowAccessibilityWarning, "outAccessibilityLabelWarning");
  connectActions();
}

VantrelController::~VantrelController() {
  *fAlive = false;
  if (fServices.notifications) fServices.notifications->stopObserving(protocol::kMessageName);
  fDeviceCheckTimer.reset();
  stopDetectingHIDDevices();
}

void VantrelController::findOutlets() {
  QWidget* r = fRoot;
  using paneui::outlet;
  outMenuAssignments = outlet<QComboBox>(r, "outMenuAssignments");
  outMainPopupProfile = outlet<QComboBox>(r, "outMainPopupProfile");
  outMainButtonAddProfile = outlet<QPushButton>(r, "outMainButtonAddProfile");
  outAddProfileInfoView = outlet<QWidget>(r, "outAddProfileInfoView");
  outMainButtonRemoveProfile = outlet<QPushButton>(r, "outMainButtonRemoveProfile");
  outMainTabsRoot = outlet<QTabWidget>(r, "outMainTabsRoot");
  outMainTabsDeviceIcons = outlet<QStackedWidget>(r, "outMainTabsDeviceIcons");
  outMainMatrixDevices.attach(outlet<QWidget>(r, "outMainMatrixDevices"));
  outMainTabsDefaultsButton = outlet<QStackedWidget>(r, "outMainTabsDefaultsButton");
  outBtnTabsDevices = outlet<QStackedWidget>(r, "outBtnTabsDevices");
  outBtnTextAuthorize = outlet<QLabel>(r, "outBtnTextAuthorize");
  for (size_t i = 0; i < std::size(kMenuOutlets); ++i) outBtnMenus[i] = outlet<QComboBox>(r, kMenuOutlets[i].name);

  outPointerSliderSpeed = outlet<QSlider>(r, "outPointerSliderSpeed");
  outPointerBoxAccel = outlet<QCheckBox>(r, "outPointerBoxAccel");
  outPointerSliderAccel = outlet<QSlider>(r, "outPointerSliderAccel");
  outPointerBoxJump = outlet<QCheckBox>(r, "outPointerBoxJump");
  outPointerBoxSlow = outlet<QCheckBox>(r, "outPointerBoxSlow");
  outPointerButtonSlowCmd = outlet<QAbstractButton>(r, "outPointerButtonSlowCmd");
  outPointerButtonSlowOpt = outlet<QAbstractButton>(r, "outPointerButtonSlowOpt");
  outPointerButtonSlowShift = outlet<QAbstractButton>(r, "outPointerButtonSlowShift");
  outPointerButtonSlowCtrl = outlet<QAbstractButton>(r, "outPointerButtonSlowCtrl");
  outPointerBoxSingleAxis = outlet<QCheckBox>(r, "outPointerBoxSingleAxis");
  outPointerButtonAxisCmd = outlet<QAbstractButton>(r, "outPointerButtonAxisCmd");
  outPointerButtonAxisOpt = outlet<QAbstractButton>(r, "outPointerButtonAxisOpt");
  outPointerButtonAxisShift = outlet<QAbstractButton>(r, "outPointerButtonAxisShift");
  outPointerButtonAxisCtrl = outlet<QAbstractButton>(r, "outPointerButtonAxisCtrl");

  outScrollSliderSpeed = outlet<QSlider>(r, "outScrollSliderSpeed");
  outScrollBoxInertial = outlet<QCheckBox>(r, "outScrollBoxInertial");
  outScrollButtonAdvanced = outlet<QPushButton>(r, "outScrollButtonAdvanced");
  outScrollMatrixDirection.attach(outlet<QWidget>(r, "outScrollMatrixDirection"));
  outScrollTabsDirection = outlet<QStackedWidget>(r, "outScrollTabsDirection");

  outHelpLabelVersion = outlet<QLabel>(r, "outHelpLabelVersion");
  outHelpTextDevices = outlet<QLabel>(r, "outHelpTextDevices");

  // The template menu and the chooser's accessory view are never shown in the panel: out of its
  // widget tree (and so out of the screen reader's), owned by the controller.
  for (QWidget* kept : {static_cast<QWidget*>(outMenuAssignments), outAddProfileInfoView}) {
    if (kept == nullptr) continue;
    kept->hide();
    kept->setParent(nullptr);
    fDetached.emplace_back(kept);
  }
  // A pop-up's list is read out by the pop-up's name.
  for (QComboBox* combo : r ? r->findChildren<QComboBox*>() : QList<QComboBox*>()) {
    if (combo->view()) combo->view()->setAccessibleName(combo->accessibleName());
  }
}

QDialog* VantrelController::loadSheet(const char* name) {
  if (gVantrelBundle == nullptr) return nullptr;
  std::unique_ptr<QWidget> loaded = paneui::loadInterface(*gVantrelBundle, QString::fromLatin1(name), fRoot);
  auto* dialog = qobject_cast<QDialog*>(loaded.get());
  if (dialog == nullptr) return nullptr;
  loaded.release();
  dialog->setWindowFlag(Qt::Sheet, true);
  dialog->hide();
  return dialog;
}

void VantrelController::connectActions() {
  auto onClick = [this](QAbstractButton* button, void (VantrelController::*action)(QObject*)) {
    if (button == nullptr) return;
    connect(button, &QAbstractButton::clicked, this, [this, button, action] {
      if (!redrawing()) (this->*action)(button);
    });
  };
  auto onSlider = [this](QSlider* slider) {
    if (slider == nullptr) return;
    connect(slider, &QSlider::valueChanged, this, [this, slider] {
      if (!redrawing()) actUpdateSettings(slider);
    });
  };
  onSlider(outPointerSliderSpeed);
  onSlider(outPointerSliderAccel);
  onSlider(outScrollSliderSpeed);
  for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
           outPointerBoxAccel, outPointerBoxJump, outPointerBoxSlow, outPointerButtonSlowCmd,
           outPointerButtonSlowOpt, outPointerButtonSlowShift, outPointerButtonSlowCtrl,
           outPointerBoxSingleAxis, outPointerButtonAxisCmd, outPointerButtonAxisOpt,
           outPointerButtonAxisShift, outPointerButtonAxisCtrl, outScrollBoxInertial}) {
    // Toggled rather than clicked: a screen reader's toggle action changes the state without a
    // click, and the change must reach the profile all the same.
    if (b == nullptr) continue;
    connect(b, &QAbstractButton::toggled, this, [this, b] {
      if (!redrawing()) actUpdateSettings(b);
    });
  }
  for (int column = 0; column < outScrollMatrixDirection.columnCount(); ++column) {
    QAbstractButton* cellButton = outScrollMatrixDirection.cell(column);
    connect(cellButton, &QAbstractButton::clicked, this, [this] {
      if (!redrawing()) actScrollMatrixDirection(outScrollMatrixDirection.container());
    });
  }
  for (int column = 0; column < outMainMatrixDevices.columnCount(); ++column) {
    QAbstractButton* cellButton = outMainMatrixDevices.cell(column);
    connect(cellButton, &QAbstractButton::clicked, this, [this] {
      if (!redrawing()) actSelectDevice(outMainMatrixDevices.container());
    });
  }
  onClick(outMainButtonAddProfile, &VantrelController::actButtonAddProfile);
  onClick(outMainButtonRemoveProfile, &VantrelController::actButtonRemoveProfile);
  onClick(outScrollButtonAdvanced, &VantrelController::actButtonEditScrollParams);
  if (outMainPopupProfile) {
    connect(outMainPopupProfile, &QComboBox::activated, this, [this] {
      if (!redrawing()) actPopupProfile(outMainPopupProfile);
    });
  }
  if (outMainTabsRoot) {
    connect(outMainTabsRoot, &QTabWidget::currentChanged, this,
            [this](int index) { tabViewDidSelectTabViewItem(outMainTabsRoot, index); });
  }
  // The restore-defaults area, support information and links.
  for (const char* name : {"buttonRestoreDefaults", "buttonRestoreDefaultsAll"}) {
    onClick(paneui::outlet<QAbstractButton>(fRoot, name), &VantrelController::actButtonRestoreDefaults);
  }
  onClick(paneui::outlet<QAbstractButton>(fRoot, "buttonSaveInformation"), &VantrelController::actButtonSaveInformation);
  for (const char* name : {"buttonOpenProductPage", "buttonOpenSupportSite", "buttonOpenUninstaller"}) {
    onClick(paneui::outlet<QAbstractButton>(fRoot, name), &VantrelController::actButtonOpenLink);
  }
  // The sheets' own buttons end their modal runs.
  for (QDialog* sheet : {outWindowConfirm, outWindowAccessibilityWarning}) {
    if (sheet == nullptr) continue;
    onClick(paneui::outlet<QAbstractButton>(sheet, "buttonModalOK"), &VantrelController::actModalButtonOK);
    onClick(paneui::outlet<QAbstractButton>(sheet, "buttonModalCancel"), &VantrelController::actModalButtonCancel);
  }
}

// ---- wake ---------------------------------------------------------------------------------------

void VantrelController::awakeFromNib() {
  fDeviceList.count = 0;
  if (outMainTabsDeviceIcons) outMainTabsDeviceIcons->setVisible(false);  // until two models are listed
  vtlSaveTabs();
  if (outMainTabsRoot) outMainTabsRoot->setCurrentIndex(0);

  fButtonMenuList = {&fDev1ButtonMenu, &fDev2ButtonMenu, &fDev3ButtonMenu, &fDev4ButtonMenu,
                     &fDev5ButtonMenu, &fDev6ButtonMenu, &fDev7ButtonMenu};
  fButtonIndexList = {&fDev1ButtonIndex, &fDev2ButtonIndex, &fDev3ButtonIndex, &fDev4ButtonIndex,
                      &fDev5ButtonIndex, &fDev6ButtonIndex, &fDev7ButtonIndex};
  fButtonMenuCount = {};
  for (size_t i = 0; i < std::size(kMenuOutlets); ++i) {
    const auto d = static_cast<size_t>(kMenuOutlets[i].device);
    const auto position = static_cast<size_t>(fButtonMenuCount[d]++);
    (*fButtonMenuList[d])[position] = outBtnMenus[i];
    (*fButtonIndexList[d])[position] = kMenuOutlets[i].button;
  }
  vtlSetUpButtonMenus();

  fPrefsDict = newVTLPrefsFromFile();
  if (fPrefsDict) {
    fSettingsArray = pl::asArray(fPrefsDict->get("devices"));
    if (!fSettingsArray) {
      fSettingsArray = pl::makeArray();
      fSettingsArray->reserve(8);
      fPrefsDict->set("devices", fSettingsArray);
    }
    fSnippetsArray = pl::asArray(fPrefsDict->get("snippets"));
    if (!fSnippetsArray) {
      fSnippetsArray = pl::makeArray();
      fSnippetsArray->reserve(10);
      fPrefsDict->set("snippets", fSnippetsArray);
    }
  }
  deviceCount = usbDeviceCount = bleDeviceCount = kCountUnknown;

  vtlLoadAppropriateSettings();
  vtlUpdateProfileMenu();
  vtlGetUIFromSettings();

  if (!(fPrefsDict && fPrefsDict->boolValue("paramUI")) && outScrollButtonAdvanced) {
    // Gone until the pane is loaded again.
    outScrollButtonAdvanced->hide();
    outScrollButtonAdvanced->setParent(nullptr);
    outScrollButtonAdvanced->deleteLater();
    outScrollButtonAdvanced = nullptr;
  }
  if (outAccessibilityLabelWarning) {
    outAccessibilityLabelWarning->setText(
        locString(MacOSXVersion() >= 0x1090 ? QStringLiteral("SNAP_WARNING_10.9")
                                            : QStringLiteral("SNAP_WARNING_10.8")));
  }
  if (fServices.notifications) {
    std::weak_ptr<bool> alive = fAlive;
    fServices.notifications->observe(protocol::kMessageName,
                                     [this, alive](const std::optional<std::string>& object) {
                                       if (alive.expired()) return;
                                       vtlHandleDistributedNotification(protocol::kMessageName, object);
                                     });
  }
}

// ---- selection ----------------------------------------------------------------------------------

void VantrelController::vtlPrefPaneDidSelect() {
  if (fServices.clock) {
    std::weak_ptr<bool> alive = fAlive;
    // A second select without an unselect replaces the timer: one poll, never two.
    fDeviceCheckTimer.reset();
    fDeviceCheckTimer = fServices.clock->scheduleRepeating(1.0, [this, alive] {
      if (!alive.expired()) vtlCheckDevices(nullptr);
    });
  }
  vtlUpdateHelpLabels();
  vtlSendDistributedNotification(*protocol::makeFrontCommand(true), protocol::kCommandName);
  startDetectingHIDDevices();
}

void VantrelController::vtlPrefPaneWillUnselect() {
  fDeviceCheckTimer.reset();
  vtlGetSettingsFromUI(nullptr);
  vtlSavePrefsToFile(fPrefsDict);
  vtlSendDistributedNotification(*protocol::makeFrontCommand(false), protocol::kCommandName);
  stopDetectingHIDDevices();
}

void VantrelController::vtlCheckDevices(QObject*) {
  vtlSendDistributedNotification(*protocol::makeCommand(protocol::Command::List), protocol::kCommandName);
}

void VantrelController::vtlPrefPaneDidBecomeKey() {}

void VantrelController::vtlPrefPaneDidResignActive() {
  vtlGetSettingsFromUI(nullptr);
  vtlSavePrefsToFile(fPrefsDict);
}

bool VantrelController::vtlSendDistributedNotification(const pl::Dictionary& dict, const std::string& name) {
  if (fServices.notifications == nullptr) return false;
  const std::optional<std::string> text = protocol::encodeDictionary(dict);
  return text && fServices.notifications->post(name, *text);
}

void VantrelController::vtlHandleDistributedNotification(const std::string& name,
                                                         const std::optional<std::string>& object) {
  if (name != protocol::kMessageName || !object) return;
  const pl::DictRef message = protocol::decodeDictionary(*object);
  if (!message) return;
  if (message->contains("report")) {
    vtlReceiveDeviceState(message->getData("report"));
    return;
  }
  const pl::DataRef list = message->getData("list");
  if (!list) return;
  const std::vector<uint8_t>& bytes = list->bytes();
  const std::optional<protocol::DeviceList> decoded = protocol::decodeDeviceList(bytes.data(), bytes.size());
  if (!decoded) return;  // not exactly the size of a device list
  fDeviceList = *decoded;
  vtlUpdateDeviceList();
}

void VantrelController::vtlReceiveDeviceState(const pl::DataRef& data) {
  // A device state report: 16 bytes the pane reads but does not show.
  if (!data || data->bytes().size() < protocol::kReportSize) return;
}

// ---- actions that change the current profile ---------------------------------------------------

void VantrelController::actUpdateSettings(QObject* sender) {
  vtlGetSettingsFromUI(sender);
  if (paneui::tagOf(sender) == kRedrawTag) vtlGetUIFromSettings();
  vtlSavePrefsToFile(fPrefsDict);
}

void VantrelController::actUpdateSettingsFromBtnMenu(QObject* sender) {
  vtlGetSettingsFromUI(sender);
  vtlGetUIFromSettings();
  vtlSavePrefsToFile(fPrefsDict);
}

void VantrelController::actScrollMatrixDirection(QObject* sender) {
  // The direction is stored and saved at once, like every other control of the panel, so the
  // device scrolls the new way without waiting for the next change or for the pane to close.
  actUpdateSettings(sender);
}

void VantrelController::actButtonEditScrollParams(QObject*) {
  if (outControllerParams == nullptr) return;
  if (outControllerParams->editScrollParams(fCurSettingsDict)) vtlSavePrefsToFile(fPrefsDict);
}

bool VantrelController::vtlDeviceConnected() const {
  return fCurDeviceTab != kDeviceTabUnsupported && fCurDeviceTab != kDeviceTabWarning;
}

// ---- sheets -------------------------------------------------------------------------------------

int VantrelController::modalDialog(QDialog* window) {
  if (window == nullptr || fModalWindow != nullptr) return -1000;
  if (!window->property("vtlModalButtonsWired").toBool()) {
    window->setProperty("vtlModalButtonsWired", true);
    for (QDialogButtonBox* box : window->findChildren<QDialogButtonBox*>()) {
      connect(box, &QDialogButtonBox::accepted, this, [this, box] { actModalButtonOK(box); });
      connect(box, &QDialogButtonBox::rejected, this, [this, box] { actModalButtonCancel(box); });
    }
  }
  if (QWidget* parent = sheetParent(); parent && window->parentWidget() != parent) {
    window->setParent(parent, window->windowFlags() | Qt::Sheet);
  }
  window->setWindowModality(Qt::WindowModal);
  fModalWindow = window;
  const QPointer<QDialog> guard(window);
  const int code = window->exec();  // ended by done() from the two actions; Escape rejects
  fModalWindow = nullptr;
  if (guard) guard->hide();
  return code == 1 ? 1 : 0;
}

bool VantrelController::confirmRequest(const QString& key, const QString& param) {
  QString text = locString(key);
  text.replace(QStringLiteral("##"), param);
  if (outConfirmFieldPrompt) outConfirmFieldPrompt->setText(text);
  return modalDialog(outWindowConfirm) == 1;
}

void VantrelController::actModalButtonOK(QObject*) {
  if (QDialog* window = fModalWindow.data()) window->done(1);
}

void VantrelController::actModalButtonCancel(QObject*) {
  if (QDialog* window = fModalWindow.data()) window->done(0);
}

// ---- root tabs ----------------------------------------------------------------------------------

void VantrelController::tabViewDidSelectTabViewItem(QTabWidget*, int) { vtlUpdateRestoreButton(); }

void VantrelController::vtlSaveTabs() {
  for (int i = 0; i < kRootTabCount; ++i) {
    const auto k = static_cast<size_t>(i);
    const bool present = outMainTabsRoot && i < outMainTabsRoot->count();
    fRootTabItems[k] = present ? RootTabItem{outMainTabsRoot->widget(i), outMainTabsRoot->tabText(i)} : RootTabItem{};
    fRootTabVisible[k] = present;
  }
}

bool VantrelController::vtlShowHideTab(int16_t index, bool visible) {
  if (index < 0 || index >= kRootTabCount || outMainTabsRoot == nullptr) return false;
  const auto k = static_cast<size_t>(index);
  RootTabItem& item = fRootTabItems[k];
  if (!item.page) return false;
  if (visible) {
    if (fRootTabVisible[k]) return false;
    int position = 0;
    for (int i = 0; i < index; ++i) position += fRootTabVisible[static_cast<size_t>(i)] ? 1 : 0;
    ++fUpdatingUI;
    outMainTabsRoot->insertTab(position, item.page, item.label);
    --fUpdatingUI;
    fRootTabVisible[k] = true;
    return true;
  }
  if (!fRootTabVisible[k]) return false;
  ++fUpdatingUI;
  outMainTabsRoot->removeTab(outMainTabsRoot->indexOf(item.page));
  --fUpdatingUI;
  fRootTabVisible[k] = false;
  return true;
}

// ---- helpers ------------------------------------------------------------------------------------

QString VantrelController::locString(const QString& key) const { return vtlLocString(key); }

QWidget* VantrelController::sheetParent() const {
  QWidget* view = gVantrelPrefPane ? gVantrelPrefPane->mainView() : nullptr;
  if (view == nullptr) view = fRoot;
  return view ? view->window() : nullptr;
}

int VantrelController::buttonMenuCount(int device) const {
  return device >= 0 && device < kDeviceModels ? fButtonMenuCount[static_cast<size_t>(device)] : 0;
}

QComboBox* VantrelController::buttonMenu(int device, int position) const {
  if (position < 0 || position >= buttonMenuCount(device)) return nullptr;
  return (*fButtonMenuList[static_cast<size_t>(device)])[static_cast<size_t>(position)];
}

int32_t VantrelController::buttonIndex(int device, int position) const {
  if (position < 0 || position >= buttonMenuCount(device)) return -1;
  return (*fButtonIndexList[static_cast<size_t>(device)])[static_cast<size_t>(position)];
}
