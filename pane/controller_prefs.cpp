// The settings file as the pane keeps it, and the choice of profile and device page.
#include "pane/vantrel_controller.h"

#include "settings/prefs_file.h"

void VantrelController::vtlSortSettings() {}

int32_t VantrelController::vtlFindSettingsIndex(const pl::DictRef&, const pl::ArrayRef&, bool) const {
  return -1;
}

void VantrelController::vtlLoadAppropriateSettings() {}

int32_t VantrelController::vtlCurAssignmentTabIndex(int32_t) const { return 0; }

pl::DictRef VantrelController::newVTLPrefsFromFile() {
  return VantrelLoadPanePrefs(fServices.files.settingsPath, fServices.files.factoryPath, nullptr);
}

bool VantrelController::vtlSavePrefsToFile(const pl::DictRef&) { return false; }

void VantrelController::vtlGetSettingsFromPrefs() {}

void VantrelController::vtlUpdateRestoreButton() {}
