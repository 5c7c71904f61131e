// The profile menu: its contents and order, choosing, adding and removing profiles. Adding and
// removing change the profiles in memory only; the next save writes them.
#include <QComboBox>
#include <QPointer>
#include <QVariant>

#include "pane/application_chooser.h"
#include "pane/profile_rules.h"
#include "pane/vantrel_controller.h"
#include "settings/matching.h"


namespace {

// The profile an item of the profile menu stands for (null for the separator).
pl::DictRef profileOfItem(const QComboBox* popup, int index) {
  if (popup == nullptr || index < 0 || index >= popup->count()) return nullptr;
  const QVariant v = popup->itemData(index, Qt::UserRole + 1);
  return v.canConvert<pl::DictRef>() ? v.value<pl::DictRef>() : nullptr;
}

}  // namespace

void VantrelController::vtlUpdateProfileMenu() {
  if (outMainPopupProfile == nullptr) return;
  const pl::DictRef remembered = profileOfItem(outMainPopupProfile, outMainPopupProfile->currentIndex());
  ++fUpdatingUI;
  const QSignalBlocker quiet(outMainPopupProfile);
  outMainPopupProfile->clear();
  bool separated = false;
  for (const pl::DictRef& profile : profiles::profilesForMenu(fSettingsArray, fSelectedDevice)) {
    if (!separated && !VTLSettingsAreGlobal(profile)) {
      outMainPopupProfile->insertSeparator(outMainPopupProfile->count());
      separated = true;
    }
    const std::string name = profile->stringValue("settings name");
    const QString title = name == profiles::kAllApplicationsName ? locString(QStringLiteral("ALL_APPLICATIONS"))
                                                                : QString::fromStdString(name);
    outMainPopupProfile->addItem(title);
    outMainPopupProfile->setItemData(outMainPopupProfile->count() - 1, QVariant::fromValue(profile), Qt::UserRole + 1);
  }
  int select = 0;
  if (remembered) {
    for (int i = 0; i < outMainPopupProfile->count(); ++i) {
      if (pl::isEqual(profileOfItem(outMainPopupProfile, i), remembered)) {
        select = i;
        break;
      }
    }
  }
  if (outMainPopupProfile->count() > 0) outMainPopupProfile->setCurrentIndex(select);
  --fUpdatingUI;
}

void VantrelController::actPopupProfile(QObject*) {
  const pl::DictRef profile =
      outMainPopupProfile ? profileOfItem(outMainPopupProfile, outMainPopupProfile->currentIndex()) : nullptr;
  if (!profile) return;
  fSelectedApp = pl::deepCopyDict(profile->getDict("target app"));
  vtlLoadAppropriateSettings();
}

void VantrelController::actButtonAddProfile(QObject*) {
  VantrelApplicationChooser::Options options;
  options.accessory = outAddProfileInfoView;
  options.title = locString(QStringLiteral("Add a Profile for an Application"));
  options.chooseTitle = locString(QStringLiteral("Add Profile"));
  QPointer<VantrelController> self(this);
  VantrelApplicationChooser::beginSheet(
      sheetParent(), options, [self](const std::optional<appchoice::ChosenApplication>& chosen) {
        if (self && chosen) self->vtlAddProfileForApplication(*chosen);
      });
}

void VantrelController::vtlAddProfileForApplication(const appchoice::ChosenApplication& app) {
  const pl::DictRef profile = profiles::newProfileForApplication(fCurSettingsDict, app);
  if (!profile || !fSettingsArray) return;
  fSelectedApp = pl::deepCopyDict(profile->getDict("target app"));
  if (vtlFindSettingsIndex(profile, fSettingsArray, true) < 0) {
    profile->setBool("factory setting", false);
    fSettingsArray->append(profile);
  }
  vtlUpdateProfileMenu();
  vtlLoadAppropriateSettings();
}

void VantrelController::actButtonRemoveProfile(QObject*) {
  if (!fSettingsArray || VTLSettingsAreGlobal(fCurSettingsDict)) return;
  if (fCurSettingsIndex < 0 || static_cast<size_t>(fCurSettingsIndex) >= fSettingsArray->size()) return;
  const pl::DictRef shown = fSettingsArray->dictAt(static_cast<size_t>(fCurSettingsIndex));
  const QString name = shown ? QString::fromStdString(shown->stringValue("settings name")) : QString();
  if (!confirmRequest(QStringLiteral("DELETE_PROFILE_WARNING"), name)) return;
  // The sheet ran a modal loop: the profiles may have changed meanwhile.
  if (fCurSettingsIndex < 0 || static_cast<size_t>(fCurSettingsIndex) >= fSettingsArray->size() ||
      fSettingsArray->dictAt(static_cast<size_t>(fCurSettingsIndex)) != shown)
    return;
  fSettingsArray->remove(static_cast<size_t>(fCurSettingsIndex));
  fSelectedApp = nullptr;
  vtlUpdateProfileMenu();
  vtlLoadAppropriateSettings();
}
