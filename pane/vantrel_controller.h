// The preferences pane's main controller: it holds every control of the main panel, the settings
// dictionary read from the settings file, the per-device tables of button pop-ups, the device
// list received from the helper and the HID manager; it wakes with the panel, follows the pane's
// selection, polls the helper for its devices while selected, runs the pane's modal sheets and
// saves after each change.
//
// Its methods live in files by concern:
//   vantrel_controller.cpp   life cycle, tabs, sheets, helper messages
//   controller_prefs.cpp     the settings file and the choice of profile and device page
//   controller_panel.cpp     pointer and scroll controls <-> profile
//   controller_devices.cpp   HID counts, the helper's device list, device pages
//   controller_menus.cpp     the device pages' button menus
//   controller_profiles.cpp  the profile menu, adding and removing profiles
//   controller_support.cpp   factory settings, support information, links
//
// Controls are found in the loaded interface by objectName (the outlet names below). Tab views
// with tabs are QTabWidgets, tab views without (the button page, the device icons, the
// restore-defaults area, the scroll direction picture) are QStackedWidgets. A matrix of cells is
// a container whose cells are buttons with the dynamic property "column" (and "tag").
// Root tab pages carry the dynamic property "identifier" (1 to 4 in their order at wake).
// Everything runs on the main thread.
#pragma once

#include <QDialog>
#include <QMetaType>
#include <QPixmap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pane/pane_services.h"
#include "platform/hid_manager.h"
#include "platform/plist.h"
#include "settings/protocol.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSlider;
class QStackedWidget;
class QTabWidget;
class QToolButton;

namespace appchoice {
struct ChosenApplication;
}

class VantrelEditController;
class VantrelParamController;

// Item data of the pane's pop-ups (QComboBox): the item's tag and its represented object (a
// profile of the profile menu as a pl::DictRef, a button number as an int).
inline constexpr int kItemTagRole = Qt::UserRole;
inline constexpr int kItemRepresentedObjectRole = Qt::UserRole + 1;
Q_DECLARE_METATYPE(pl::DictRef)

// A row of cells (NSMatrix): the container's buttons with the property "column", exclusive.
class CellMatrix {
 public:
  CellMatrix() = default;
  // Takes the buttons of `container` that have a "column" property, in column order.
  void attach(QWidget* container);
  QWidget* container() const { return fContainer; }
  int columnCount() const { return static_cast<int>(fCells.size()); }
  QAbstractButton* cell(int column) const;
  // The column of the checked cell; -1 when none.
  int selectedColumn() const;
  void selectColumn(int column);
  // The checked cell's "tag"; 0 when none.
  int selectedTag() const;
  // Checks the first cell whose "tag" is `tag`; false when none has it (nothing changes then).
  bool selectCellWithTag(int tag);
  QButtonGroup* group() const { return fGroup; }

 private:
  QPointer<QWidget> fContainer;
  std::vector<QAbstractButton*> fCells;
  QButtonGroup* fGroup = nullptr;
};

class VantrelController : public QObject {
  Q_OBJECT

 public:
  static constexpr int kRootTabCount = 4;
  static constexpr int kDeviceModels = 7;
  static constexpr int kMaxButtonMenus = 6;
  // Pages of outBtnTabsDevices besides Dev1 (3) to Dev7 (9).
  static constexpr int kDeviceTabInitial = 0;
  static constexpr int kDeviceTabUnsupported = 1;
  static constexpr int kDeviceTabWarning = 2;
  static constexpr int kDeviceTabFirstModel = 3;
  static constexpr uint16_t kCountUnknown = 0xFFFF;
  // Controls with this tag redraw the whole panel after a change.
  static constexpr int kRedrawTag = 71;

  // `root`: the loaded main interface, whose controls become the outlets. The controller does
  // not own `root`; the services must outlive the controller.
  VantrelController(QWidget* root, const panesvc::PaneServices& services, QObject* parent = nullptr);
  ~VantrelController() override;

  QWidget* rootView() const { return fRoot; }
  const panesvc::PaneServices& services() const { return fServices; }

  // ---- life cycle, tabs, sheets, helper messages (vantrel_controller.cpp) -------------------
  void awakeFromNib();
  void vtlPrefPaneDidSelect();
  void vtlPrefPaneWillUnselect();
  void vtlCheckDevices(QObject* timer);
  void vtlPrefPaneDidBecomeKey();
  void vtlPrefPaneDidResignActive();
  // Sends `dict` as an XML property list under `name`; false when it could not be sent.
  bool vtlSendDistributedNotification(const pl::Dictionary& dict, const std::string& name);
  void vtlHandleDistributedNotification(const std::string& name,
                                        const std::optional<std::string>& object);

 public Q_SLOTS:
  void actPopupProfile(QObject* sender);
  void actButtonAddProfile(QObject* sender);
  void actButtonRemoveProfile(QObject* sender);
  void actSelectDevice(QObject* sender);
  void actUpdateSettings(QObject* sender);
  void actUpdateSettingsFromBtnMenu(QObject* sender);
  // `sender`: the pop-up whose editor item was chosen (its "tag" is the button number).
  void actEditAssignment(QObject* sender);
  void actScrollMatrixDirection(QObject* sender);
  void actButtonRestoreDefaults(QObject* sender);
  void actButtonSaveInformation(QObject* sender);
  void actButtonOpenLink(QObject* sender);
  void actButtonEditScrollParams(QObject* sender);
  void actModalButtonOK(QObject* sender);
  void actModalButtonCancel(QObject* sender);

 public:
  bool vtlDeviceConnected() const;
  void vtlUpdateProfileMenu();
  // The end of actButtonAddProfile once the user chose an application in the chooser.
  void vtlAddProfileForApplication(const appchoice::ChosenApplication& app);
  void vtlUpdateDeviceList();
  void vtlReceiveDeviceState(const pl::DataRef& data);

  // ---- settings file and profile selection (controller_prefs.cpp) ---------------------------
  void vtlSortSettings();
  pl::ArrayRef vtlGetSettingsArray() const { return fSettingsArray; }
  int32_t vtlFindSettingsIndex(const pl::DictRef& settings, const pl::ArrayRef& array,
                               bool matchApp) const;
  void vtlLoadAppropriateSettings();
  int32_t vtlCurDeviceTabIndex() const { return fCurDeviceTab - 3; }
  int32_t vtlCurAssignmentTabIndex(int32_t button) const;
  pl::DictRef newVTLPrefsFromFile();
  bool vtlSavePrefsToFile(const pl::DictRef& prefs);
  void vtlGetSettingsFromPrefs();
  void vtlUpdateRestoreButton();

  // ---- panel (controller_panel.cpp) ---------------------------------------------------------
  static int32_t vtlSpeedSliderToDPI(int32_t position);
  static int32_t vtlDPIToSpeedSlider(int32_t speed);
  void vtlGetUIFromSettings();
  void vtlGetSettingsFromUI(QObject* ignored);
  void vtlUpdateHelpLabels();

  // ---- button menus (controller_menus.cpp) --------------------------------------------------
  // Gives every pop-up of every device its own copy of the assignment menu, its button number as
  // "tag" and its actions (run once by awakeFromNib).
  void vtlSetUpButtonMenus();
  void vtlUpdateMenu(QComboBox* menu, int32_t button);
  void vtlGetButtonAssignment(const pl::DictRef& buttonDict, QComboBox* menu);

  // ---- sheets (vantrel_controller.cpp) -------------------------------------------------------
  // Runs `window` window-modally on the pane's window until actModalButtonOK (1) or
  // actModalButtonCancel (0) ends it; -1000 for null, and for a second sheet while one runs.
  // A QDialogButtonBox in the window is wired to the two actions (accept: OK, reject: Cancel),
  // and closing the window (Escape) counts as Cancel.
  int modalDialog(QDialog* window);
  bool confirmRequest(const QString& key, const QString& param);
  // Whether a sheet runs now.
  bool modalDialogRunning() const { return fModalWindow != nullptr; }

  // ---- root tabs (vantrel_controller.cpp) ----------------------------------------------------
  void tabViewDidSelectTabViewItem(QTabWidget* tabView, int index);
  void vtlSaveTabs();
  bool vtlShowHideTab(int16_t index, bool visible);

  // ---- HID detection and device pages (controller_devices.cpp) -------------------------------
  void startDetectingHIDDevices();
  void stopDetectingHIDDevices();
  bool supportedDevice(const sys::IOHIDDeviceRef& device) const;
  void hidDeviceAdded(const sys::IOHIDDeviceRef& device, void* sender, sys::IOReturn result);
  void hidDeviceRemoved(const sys::IOHIDDeviceRef& device, void* sender, sys::IOReturn result);

  // ---- for the pane, the editors and tests --------------------------------------------------
  // The text of a key of the "Localizable" table (the key itself when it has none).
  QString locString(const QString& key) const;
  // The window sheets are attached to.
  QWidget* sheetParent() const;
  // The pop-ups of device page `device` (0 = Dev1 ... 6 = Dev7) and their button numbers.
  int buttonMenuCount(int device) const;
  QComboBox* buttonMenu(int device, int position) const;
  int32_t buttonIndex(int device, int position) const;
  bool hidDetectionRunning() const { return hidManager != nullptr; }
  // The picture of Dev1..Dev7 from the bundle's "devices" folder, `size` pixels square; null
  // when there is none.
  static QPixmap devicePicture(int device, int size);
  // What actions the controller takes while it redraws the panel: none (the controls' signals
  // during a redraw are not the user's changes).
  bool redrawing() const { return fUpdatingUI > 0; }
  bool deviceCheckTimerRunning() const { return fDeviceCheckTimer != nullptr; }

  // ---- outlets -------------------------------------------------------------------------------
  VantrelEditController* outControllerEdit = nullptr;
  VantrelParamController* outControllerParams = nullptr;
  QComboBox* outMenuAssignments = nullptr;  // template of the button menus (never shown)
  QDialog* outWindowEdit = nullptr;
  QComboBox* outMainPopupProfile = nullptr;
  QPushButton* outMainButtonAddProfile = nullptr;
  QWidget* outAddProfileInfoView = nullptr;
  QPushButton* outMainButtonRemoveProfile = nullptr;
  QTabWidget* outMainTabsRoot = nullptr;
  QStackedWidget* outMainTabsDeviceIcons = nullptr;
  CellMatrix outMainMatrixDevices;
  QStackedWidget* outMainTabsDefaultsButton = nullptr;
  QStackedWidget* outBtnTabsDevices = nullptr;
  QLabel* outBtnTextAuthorize = nullptr;
  // outBtnMenuDev1Button1 ... outBtnMenuDev7Chord2, in the order of the device table.
  std::array<QComboBox*, 31> outBtnMenus{};

  QSlider* outPointerSliderSpeed = nullptr;
  QCheckBox* outPointerBoxAccel = nullptr;
  QSlider* outPointerSliderAccel = nullptr;
  QCheckBox* outPointerBoxJump = nullptr;
  QCheckBox* outPointerBoxSlow = nullptr;
  QAbstractButton* outPointerButtonSlowCmd = nullptr;
  QAbstractButton* outPointerButtonSlowOpt = nullptr;
  QAbstractButton* outPointerButtonSlowShift = nullptr;
  QAbstractButton* outPointerButtonSlowCtrl = nullptr;
  QCheckBox* outPointerBoxSingleAxis = nullptr;
  QAbstractButton* outPointerButtonAxisCmd = nullptr;
  QAbstractButton* outPointerButtonAxisOpt = nullptr;
  QAbstractButton* outPointerButtonAxisShift = nullptr;
  QAbstractButton* outPointerButtonAxisCtrl = nullptr;

  QSlider* outScrollSliderSpeed = nullptr;
  QCheckBox* outScrollBoxInertial = nullptr;
  QPushButton* outScrollButtonAdvanced = nullptr;
  CellMatrix outScrollMatrixDirection;
  QStackedWidget* outScrollTabsDirection = nullptr;

  QLabel* outHelpLabelVersion = nullptr;
  QLabel* outHelpTextDevices = nullptr;
  QDialog* outWindowConfirm = nullptr;
  QLabel* outConfirmFieldPrompt = nullptr;
  QDialog* outWindowAccessibilityWarning = nullptr;
  QLabel* outAccessibilityLabelWarning = nullptr;

  // ---- per-device button menus ---------------------------------------------------------------
  std::array<QComboBox*, kMaxButtonMenus> fDev1ButtonMenu{}, fDev2ButtonMenu{}, fDev3ButtonMenu{},
      fDev4ButtonMenu{}, fDev5ButtonMenu{}, fDev6ButtonMenu{}, fDev7ButtonMenu{};
  std::array<int32_t, kMaxButtonMenus> fDev1ButtonIndex{}, fDev2ButtonIndex{}, fDev3ButtonIndex{},
      fDev4ButtonIndex{}, fDev5ButtonIndex{}, fDev6ButtonIndex{}, fDev7ButtonIndex{};
  std::array<std::array<QComboBox*, kMaxButtonMenus>*, kDeviceModels> fButtonMenuList{};
  std::array<std::array<int32_t, kMaxButtonMenus>*, kDeviceModels> fButtonIndexList{};
  std::array<int32_t, kDeviceModels> fButtonMenuCount{};

  // ---- root tabs -----------------------------------------------------------------------------
  struct RootTabItem {
    QPointer<QWidget> page;
    QString label;
  };
  std::array<RootTabItem, kRootTabCount> fRootTabItems{};
  std::array<bool, kRootTabCount> fRootTabVisible{};

  // ---- state ---------------------------------------------------------------------------------
  std::unique_ptr<panesvc::Timer> fDeviceCheckTimer;
  pl::DictRef fPrefsDict;
  pl::ArrayRef fSnippetsArray;
  pl::ArrayRef fSettingsArray;
  pl::DictRef fCurSettingsDict;
  int32_t fCurSettingsIndex = -1;
  int32_t fCurDeviceTab = 0;
  pl::DictRef fSelectedDevice;
  pl::DictRef fSelectedApp;
  sys::IOHIDManagerRef hidManager;
  uint16_t deviceCount = 0;
  uint16_t usbDeviceCount = 0;
  uint16_t bleDeviceCount = 0;
  uint16_t lastUsbDeviceCount = 0;
  uint16_t lastBleDeviceCount = 0;
  double lastReenumerateTime = 0;
  protocol::DeviceList fDeviceList;

 private:
  void buildDevicePages();
  void findOutlets();
  void connectActions();
  // Loads a dialog of its own interface file ("<name>.ui"); null when it is missing.
  QDialog* loadSheet(const char* name);
  void queueDeviceCheck(const sys::IOHIDDeviceRef& device);

  QPointer<QWidget> fRoot;
  std::vector<std::unique_ptr<QWidget>> fDetached;  // outMenuAssignments, outAddProfileInfoView
  panesvc::PaneServices fServices;
  QPointer<QDialog> fModalWindow;
  // Set while the sender of an action is the panel itself (redraws), so that signals the
  // controller causes do not count as the user's changes.
  int fUpdatingUI = 0;
  std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
};
