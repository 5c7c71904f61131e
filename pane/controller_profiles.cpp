// The profile menu: its contents and order, choosing, adding and removing profiles.
#include <QComboBox>

#include <algorithm>

#include "pane/vantrel_controller.h"
#include "settings/matching.h"

void VantrelController::actPopupProfile(QObject*) {}

void VantrelController::actButtonAddProfile(QObject*) {}

void VantrelController::actButtonRemoveProfile(QObject*) {}

void VantrelController::vtlUpdateProfileMenu() {
  if (outMainPopupProfile == nullptr) return;
  QComboBox* menu = outMainPopupProfile;
  ++fUpdatingUI;
  const QVariant remembered = menu->currentIndex() >= 0 ? menu->currentData(kItemRepresentedObjectRole) : QVariant();
  const pl::DictRef rememberedProfile = remembered.canConvert<pl::DictRef>() ? remembered.value<pl::DictRef>() : nullptr;
  menu->clear();

  auto deviceValue = [](const pl::DictRef& profile, std::string_view key) -> uint16_t {
    const pl::DictRef device = profile ? profile->getDict("target device") : nullptr;
    return static_cast<uint16_t>(device ? device->integerValue(key) : 0);
  };
  const auto product = static_cast<uint16_t>(fSelectedDevice ? fSelectedDevice->integerValue("device product id") : 0);
  const auto versionMin = static_cast<uint16_t>(fSelectedDevice ? fSelectedDevice->integerValue("device version min") : 0);

  std::vector<pl::DictRef> profiles;
  if (fSettingsArray) {
    for (size_t i = 0; i < fSettingsArray->size(); ++i) {
      const pl::DictRef profile = fSettingsArray->dictAt(i);
      if (profile && deviceValue(profile, "device product id") == product &&
          deviceValue(profile, "device version min") == versionMin) {
        profiles.push_back(profile);
      }
    }
  }
  std::stable_sort(profiles.begin(), profiles.end(), [](const pl::DictRef& a, const pl::DictRef& b) {
    const bool aGlobal = VTLSettingsAreGlobal(a);
    const bool bGlobal = VTLSettingsAreGlobal(b);
    if (aGlobal != bGlobal) return aGlobal;
    if (aGlobal) return false;
    return QString::fromStdString(a->stringValue("settings name"))
               .compare(QString::fromStdString(b->stringValue("settings name")), Qt::CaseInsensitive) < 0;
  });

  bool separated = false;
  for (const pl::DictRef& profile : profiles) {
    if (!separated && !VTLSettingsAreGlobal(profile)) {
      menu->insertSeparator(menu->count());
      separated = true;
    }
    const std::string name = profile->stringValue("settings name");
    const QString title = name == "All Applications" ? locString(QStringLiteral("ALL_APPLICATIONS"))
                                                     : QString::fromStdString(name);
    menu->addItem(title);
    menu->setItemData(menu->count() - 1, QVariant::fromValue(profile), kItemRepresentedObjectRole);
  }

  int select = 0;
  if (rememberedProfile) {
    for (int i = 0; i < menu->count(); ++i) {
      const QVariant represented = menu->itemData(i, kItemRepresentedObjectRole);
      if (represented.canConvert<pl::DictRef>() && pl::isEqual(represented.value<pl::DictRef>(), rememberedProfile)) {
        select = i;
        break;
      }
    }
  }
  if (menu->count() > 0) menu->setCurrentIndex(select);
  --fUpdatingUI;
}
