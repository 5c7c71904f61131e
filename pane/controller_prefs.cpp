// The settings file as the pane keeps it, and the choice of profile and device page.
#include <QLabel>
#include <QStackedWidget>
#include <QTabWidget>

#include <algorithm>

#include "pane/vantrel_controller.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"
#include "settings/string_utils.h"

namespace {

// The pane's commands to the helper, for the settings file's load and save ("update").
class ControllerCommandSender final : public CommandSender {
 public:
  explicit ControllerCommandSender(VantrelController& controller) : controller_(controller) {}
  void postCommand(const pl::Dictionary& command) override {
    controller_.vtlSendDistributedNotification(command, protocol::kCommandName);
  }

 private:
  VantrelController& controller_;
};

pl::DictRef targetDevice(const pl::DictRef& profile) {
  return profile ? profile->getDict("target device") : nullptr;
}

int64_t deviceValue(const pl::DictRef& profile, std::string_view key) {
  const pl::DictRef device = targetDevice(profile);
  return device ? device->integerValue(key) : 0;
}

// The string under `key` of the profile's "target app", or nothing when it has none.
std::optional<std::string> appString(const pl::DictRef& profile, std::string_view key) {
  const pl::DictRef app = profile ? profile->getDict("target app") : nullptr;
  const pl::StringRef value = app ? app->getStringObject(key) : nullptr;
  if (!value) return std::nullopt;
  return value->value();
}

constexpr double kReenumerateInterval = 5.0;

}  // namespace

pl::DictRef VantrelController::newVTLPrefsFromFile() {
  ControllerCommandSender sender(*this);
  return VantrelLoadPanePrefs(fServices.files.settingsPath, fServices.files.factoryPath, &sender);
}

bool VantrelController::vtlSavePrefsToFile(const pl::DictRef& prefs) {
  if (!prefs || fServices.files.settingsPath.empty()) return false;
  ControllerCommandSender sender(*this);
  return VantrelSavePrefs(*prefs, fServices.files.settingsPath, &sender);
}

int32_t VantrelController::vtlFindSettingsIndex(const pl::DictRef& settings, const pl::ArrayRef& array,
                                                bool matchApp) const {
  if (!settings || !array) return -1;
  const int64_t vendor = deviceValue(settings, "device vendor id");
  const int64_t product = deviceValue(settings, "device product id");
  const int64_t versionMin = deviceValue(settings, "device version min");
  static constexpr std::string_view kAppKeys[] = {"app bundle id", "app bundle name", "app executable",
                                                  "app signature"};
  for (size_t i = 0; i < array->size(); ++i) {
    const pl::DictRef element = array->dictAt(i);
    if (!element) continue;
    if (deviceValue(element, "device vendor id") != vendor || deviceValue(element, "device product id") != product ||
        deviceValue(element, "device version min") != versionMin) {
      continue;
    }
    if (matchApp) {
      bool same = true;
      for (std::string_view key : kAppKeys) {
        const std::optional<std::string> mine = appString(element, key);
        if (!mine || mine != appString(settings, key)) {
          same = false;
          break;
        }
      }
      if (!same) continue;
    }
    return static_cast<int32_t>(i);
  }
  return -1;
}

void VantrelController::vtlLoadAppropriateSettings() {
  if (!fSettingsArray || fSettingsArray->empty()) {
    fCurSettingsIndex = -1;
    fCurSettingsDict = nullptr;
    return;
  }
  const int64_t selectedProduct = fSelectedDevice ? fSelectedDevice->integerValue("device product id") : 0;
  const size_t listed = protocol::validCount(fDeviceList);
  int32_t chosen = 0;
  if (listed > 0) {
    // Only the selected model's devices when several are listed and the model is among them.
    bool filter = false;
    if (selectedProduct != 0 && listed > 1) {
      for (size_t d = 0; d < listed; ++d) filter |= fDeviceList.devices[d].productID == selectedProduct;
    }
    const std::string bundleID = fSelectedApp ? fSelectedApp->stringValue("app bundle id") : std::string();
    const std::string executable = fSelectedApp ? fSelectedApp->stringValue("app executable") : std::string();
    const std::string signature = fSelectedApp ? fSelectedApp->stringValue("app signature") : std::string();
    const std::pair<std::string_view, const std::string*> wanted[] = {
        {"app bundle id", &bundleID}, {"app executable", &executable}, {"app signature", &signature}};

    int32_t globalIndex = -1;
    int32_t found = -1;
    for (size_t d = 0; d < listed && found < 0; ++d) {
      const DeviceInfo& device = fDeviceList.devices[d];
      if (filter && device.productID != selectedProduct) continue;
      for (size_t i = 0; i < fSettingsArray->size(); ++i) {
        const pl::DictRef profile = fSettingsArray->dictAt(i);
        if (!profile) continue;
        const int64_t product = deviceValue(profile, "device product id");
        const int64_t versionMin = deviceValue(profile, "device version min");
        const int64_t versionMax = deviceValue(profile, "device version max");
        if (product == 0 || product != device.productID) continue;
        if (versionMin != 0 && versionMin > device.productVers) continue;
        if (versionMax != 0 && versionMax < device.productVers) continue;
        if (globalIndex < 0 && VTLSettingsAreGlobal(profile)) globalIndex = static_cast<int32_t>(i);
        const pl::DictRef app = profile->getDict("target app");
        bool same = true;
        for (const auto& [key, value] : wanted) {
          if (value->empty()) continue;
          if (!app || app->stringValue(key) != *value) {
            same = false;
            break;
          }
        }
        if (!same) continue;
        found = static_cast<int32_t>(i);
        break;
      }
    }
    chosen = found >= 0 ? found : (globalIndex >= 0 ? globalIndex : 0);
  }
  fCurSettingsIndex = chosen;
  const pl::DictRef chosenDevice = targetDevice(fSettingsArray->dictAt(static_cast<size_t>(chosen)));
  fSelectedDevice = chosenDevice ? pl::deepCopyDict(chosenDevice) : pl::makeDict();

  // The device page: the model's buttons when every device the pane sees is one the driver
  // serves, else the warning.
  if (static_cast<int>(fDeviceList.count) == static_cast<int>(usbDeviceCount) + static_cast<int>(bleDeviceCount)) {
    const auto product = static_cast<uint16_t>(fSelectedDevice->integerValue("device product id"));
    const int64_t versionMin = fSelectedDevice->integerValue("device version min");
    switch (models::entryOfProduct(product)) {
      case 1: fCurDeviceTab = 3; break;
      case 2: fCurDeviceTab = versionMin >= models::kDev2FirstRelease ? 4 : 5; break;
      case 3: fCurDeviceTab = 6; break;
      case 4: fCurDeviceTab = 7; break;
      case 5: fCurDeviceTab = 8; break;
      case 6: fCurDeviceTab = 9; break;
      default: fCurDeviceTab = kDeviceTabUnsupported; break;
    }
  } else {
    if (outBtnTextAuthorize) {
      QString text = locString(QStringLiteral("HID_USB_WARNING"));
      if (bleDeviceCount != 0) text += locString(QStringLiteral("HID_BLE_WARNING"));
      outBtnTextAuthorize->setText(text);
    }
    fCurDeviceTab = kDeviceTabWarning;
    const double now = fServices.clock ? fServices.clock->now() : 0.0;
    if ((usbDeviceCount != lastUsbDeviceCount || bleDeviceCount != lastBleDeviceCount) &&
        now - lastReenumerateTime > kReenumerateInterval) {
      lastUsbDeviceCount = usbDeviceCount;
      lastBleDeviceCount = bleDeviceCount;
      lastReenumerateTime = now;
      vtlSendDistributedNotification(*protocol::makeCommand(protocol::Command::Enumerate), protocol::kCommandName);
    }
  }
  vtlGetSettingsFromPrefs();
  vtlGetUIFromSettings();
}

void VantrelController::vtlGetSettingsFromPrefs() {
  if (!fSettingsArray || fSettingsArray->empty()) return;
  if (fCurSettingsIndex < 0 || static_cast<size_t>(fCurSettingsIndex) >= fSettingsArray->size()) fCurSettingsIndex = 0;
  fCurSettingsDict = fSettingsArray->dictAt(static_cast<size_t>(fCurSettingsIndex));
}

int32_t VantrelController::vtlCurAssignmentTabIndex(int32_t button) const {
  if (fCurDeviceTab <= kDeviceTabWarning) return 0;
  const int device = vtlCurDeviceTabIndex();
  for (int i = 0; i < buttonMenuCount(device); ++i) {
    if (buttonIndex(device, i) == button) return i;
  }
  return 0;
}

void VantrelController::vtlUpdateRestoreButton() {
  if (outMainTabsDefaultsButton == nullptr) return;
  int page = 0;
  if (vtlDeviceConnected()) {
    const bool onLast = outMainTabsRoot && outMainTabsRoot->count() > 0 &&
                        outMainTabsRoot->currentIndex() == outMainTabsRoot->count() - 1;
    page = onLast ? 2 : 1;
  }
  outMainTabsDefaultsButton->setCurrentIndex(page);
}

void VantrelController::vtlSortSettings() {
  if (!fSettingsArray) return;
  auto generic = [](const pl::DictRef& profile) {
    return (deviceValue(profile, "device vendor id") & 0xFFFF) == 0 &&
           (deviceValue(profile, "device product id") & 0xFFFF) == 0 &&
           (deviceValue(profile, "device version min") & 0xFFFF) == 0;
  };
  std::vector<pl::ObjectRef> items = fSettingsArray->items();
  std::stable_sort(items.begin(), items.end(), [&](const pl::ObjectRef& a, const pl::ObjectRef& b) {
    return generic(pl::asDict(a)) && !generic(pl::asDict(b));
  });
  for (size_t i = 0; i < items.size(); ++i) fSettingsArray->set(i, items[i]);
  fCurSettingsIndex = -1;
  if (!fCurSettingsDict) return;
  for (size_t i = 0; i < items.size(); ++i) {
    if (pl::isEqual(items[i], fCurSettingsDict)) {
      fCurSettingsIndex = static_cast<int32_t>(i);
      break;
    }
  }
}
