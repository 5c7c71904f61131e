// The pointer and scroll controls of the main panel, shown from and stored into the profile.
#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>

#include <array>

#include "pane/button_menus.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "settings/matching.h"

namespace {

// Speed slider position 5 * i is entry i.
constexpr std::array<int16_t, 21> kSpeedTable = {5000, 4000, 3000, 2000, 1000, 900, 800, 700, 600, 500, 400,
                                                 360,  330,  300,  260,  230,  200, 160, 130, 100, 80};

constexpr unsigned kCommand = 0x0100;
constexpr unsigned kShift = 0x0200;
constexpr unsigned kOption = 0x0800;
constexpr unsigned kControl = 0x1000;

constexpr int kScrollButton = 12;
constexpr int64_t kScrollCommand = 20;

bool isOn(const QAbstractButton* button) { return button && button->isChecked(); }

void setOn(QAbstractButton* button, bool on) {
  if (button) button->setChecked(on);
}

void setEnabled(QWidget* widget, bool enabled) {
  if (widget) widget->setEnabled(enabled);
}

struct ModifierButtons {
  QAbstractButton* command;
  QAbstractButton* option;
  QAbstractButton* shift;
  QAbstractButton* control;
};

void showModifiers(const ModifierButtons& b, bool enabled, uint64_t mask) {
  const auto bits = static_cast<unsigned>(mask & 0xFFFF);
  for (auto [button, bit] : {std::pair{b.command, kCommand}, std::pair{b.option, kOption},
                             std::pair{b.shift, kShift}, std::pair{b.control, kControl}}) {
    setEnabled(button, enabled);
    setOn(button, (bits & bit) != 0);
  }
}

int64_t readModifiers(const ModifierButtons& b) {
  return (isOn(b.command) ? kCommand : 0) + (isOn(b.option) ? kOption : 0) + (isOn(b.shift) ? kShift : 0) +
         (isOn(b.control) ? kControl : 0);
}

}  // namespace

int32_t VantrelController::vtlSpeedSliderToDPI(int32_t position) {
  const auto p = static_cast<uint32_t>(position);
  const size_t index = p <= 100 ? p * 20 / 100 : 10;
  return kSpeedTable[index];
}

int32_t VantrelController::vtlDPIToSpeedSlider(int32_t speed) {
  if (speed <= 0) return 50;
  for (size_t i = 0; i < kSpeedTable.size(); ++i) {
    if (kSpeedTable[i] <= speed) return static_cast<int32_t>(5 * i);
  }
  return 50;
}

void VantrelController::vtlGetUIFromSettings() {
  ++fUpdatingUI;
  const bool connected = vtlDeviceConnected();
  const pl::DictRef profile = fCurSettingsDict;
  const pl::DictRef options = profile ? profile->getDict("options") : nullptr;
  const pl::Dictionary empty;
  const pl::Dictionary& o = options ? *options : empty;

  setEnabled(outMainPopupProfile, connected);
  setEnabled(outMainButtonAddProfile, connected);
  setEnabled(outMainButtonRemoveProfile, connected && profile && !VTLSettingsAreGlobal(profile));

  if (outMainPopupProfile) {
    for (int i = 0; i < outMainPopupProfile->count(); ++i) {
      const QVariant represented = outMainPopupProfile->itemData(i, kItemRepresentedObjectRole);
      if (profile && represented.canConvert<pl::DictRef>() && represented.value<pl::DictRef>() == profile) {
        outMainPopupProfile->setCurrentIndex(i);
        break;
      }
    }
  }

  if (fCurDeviceTab >= kDeviceTabFirstModel) {
    const int device = vtlCurDeviceTabIndex();
    for (int i = 0; i < buttonMenuCount(device); ++i) {
      if (QComboBox* menu = buttonMenu(device, i)) vtlUpdateMenu(menu, buttonIndex(device, i));
    }
  }

  vtlShowHideTab(1, connected);

  if (outPointerSliderSpeed) outPointerSliderSpeed->setValue(vtlDPIToSpeedSlider(static_cast<int32_t>(o.integerValue("speed"))));

  const bool accelerate = o.boolValue("accelerate");
  setOn(outPointerBoxAccel, accelerate);
  setEnabled(outPointerSliderAccel, accelerate);
  if (outPointerSliderAccel) {
    outPointerSliderAccel->setValue(static_cast<int>(static_cast<double>(o.floatValue("acceleration")) * 50.0));
  }

  setOn(outPointerBoxJump, o.boolValue("jump") && fDeviceList.snapToDefaultAvailable());

  const bool slow = o.boolValue("slow");
  setOn(outPointerBoxSlow, slow);
  showModifiers({outPointerButtonSlowCmd, outPointerButtonSlowOpt, outPointerButtonSlowShift, outPointerButtonSlowCtrl},
                slow, o.unsignedValue("slow keys"));
  const bool single = o.boolValue("single");
  setOn(outPointerBoxSingleAxis, single);
  showModifiers({outPointerButtonAxisCmd, outPointerButtonAxisOpt, outPointerButtonAxisShift, outPointerButtonAxisCtrl},
                single, o.unsignedValue("single keys"));

  const QWidget* shownRootPage = outMainTabsRoot ? outMainTabsRoot->currentWidget() : nullptr;
  const int shownIdentifier = shownRootPage ? shownRootPage->property("identifier").toInt() : 0;
  vtlShowHideTab(2, connected && fCurDeviceTab != 6);
  if (shownIdentifier == 3 && fCurDeviceTab == 6 && outMainTabsRoot) outMainTabsRoot->setCurrentIndex(0);

  const pl::DictRef buttons = profile ? profile->getDict("buttons") : nullptr;
  const pl::DictRef scroll = buttons ? buttons->getDict(menus::ButtonKey(kScrollButton)) : nullptr;
  if (outScrollSliderSpeed) outScrollSliderSpeed->setValue(scroll ? static_cast<int>(scroll->integerValue("cnt")) : 0);

  setOn(outScrollBoxInertial, o.boolValue("inertial scroll"));
  outScrollMatrixDirection.selectColumn(o.boolValue("invert wheel") ? 0 : 1);

  if (outScrollTabsDirection) {
    int page = 0;
    switch (fCurDeviceTab) {
      case 4:
      case 5: page = 1; break;
      case 7: page = 2; break;
      case 8: page = 3; break;
      case 9: page = 4; break;
      default: page = 0; break;
    }
    outScrollTabsDirection->setCurrentIndex(page);
  }
  vtlUpdateRestoreButton();
  --fUpdatingUI;
}

void VantrelController::vtlGetSettingsFromUI(QObject*) {
  const pl::DictRef profile = fCurSettingsDict;
  if (!profile) return;
  profile->setBool("driver enabled", true);

  const pl::DictRef buttons = profile->getDict("buttons");
  if (fCurDeviceTab >= kDeviceTabFirstModel && buttons) {
    const int device = vtlCurDeviceTabIndex();
    for (int i = 0; i < buttonMenuCount(device); ++i) {
      QComboBox* menu = buttonMenu(device, i);
      const pl::DictRef button = buttons->getDict(menus::ButtonKey(buttonIndex(device, i)));
      if (menu && button) vtlGetButtonAssignment(button, menu);
    }
  }

  pl::DictRef options = profile->getDict("options");
  if (!options) {
    options = pl::makeDict();
    profile->set("options", options);
  }
  if (outPointerSliderSpeed) options->setInteger("speed", vtlSpeedSliderToDPI(outPointerSliderSpeed->value()));
  options->setBool("accelerate", isOn(outPointerBoxAccel));
  if (outPointerSliderAccel) {
    options->setReal("acceleration", static_cast<double>(static_cast<float>(outPointerSliderAccel->value()) / 50.0f));
  }

  // Snap to the default button needs the helper's accessibility access.
  if (!isOn(outPointerBoxJump)) {
    options->setBool("jump", false);
  } else if (!options->boolValue("jump")) {
    if (fDeviceList.snapToDefaultAvailable()) {
      options->setBool("jump", true);
    } else {
      modalDialog(outWindowAccessibilityWarning);
      ++fUpdatingUI;
      setOn(outPointerBoxJump, false);
      --fUpdatingUI;
      options->setBool("jump", false);
    }
  }

  options->setBool("slow", isOn(outPointerBoxSlow));
  options->setInteger("slow keys", readModifiers({outPointerButtonSlowCmd, outPointerButtonSlowOpt,
                                                  outPointerButtonSlowShift, outPointerButtonSlowCtrl}));
  options->setBool("single", isOn(outPointerBoxSingleAxis));
  options->setInteger("single keys", readModifiers({outPointerButtonAxisCmd, outPointerButtonAxisOpt,
                                                    outPointerButtonAxisShift, outPointerButtonAxisCtrl}));

  if (const pl::DictRef scroll = buttons ? buttons->getDict(menus::ButtonKey(kScrollButton)) : nullptr) {
    scroll->setInteger("cmd", kScrollCommand);
    if (outScrollSliderSpeed) scroll->setInteger("cnt", outScrollSliderSpeed->value());
  }
  options->setBool("inertial scroll", isOn(outScrollBoxInertial));
  options->setBool("invert wheel", outScrollMatrixDirection.selectedColumn() == 0);
}

void VantrelController::vtlUpdateHelpLabels() {
  if (outHelpLabelVersion == nullptr || gVantrelBundle == nullptr) return;
  QString text = outHelpLabelVersion->text();
  if (!text.endsWith(QLatin1Char('#'))) return;
  text.chop(1);
  text += QString::fromStdString(gVantrelBundle->infoString("CFBundleVersion"));
  outHelpLabelVersion->setText(text);
}
