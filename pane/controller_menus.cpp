// The device pages' button menus.
#include <QComboBox>

#include "pane/vantrel_controller.h"

void VantrelController::vtlSetUpButtonMenus() {
  for (int device = 0; device < kDeviceModels; ++device) {
    for (int i = 0; i < fButtonMenuCount[static_cast<size_t>(device)]; ++i) {
      QComboBox* menu = buttonMenu(device, i);
      if (menu == nullptr) continue;
      menu->setProperty("tag", buttonIndex(device, i));
    }
  }
}

void VantrelController::vtlUpdateMenu(QComboBox*, int32_t) {}

void VantrelController::vtlGetButtonAssignment(const pl::DictRef&, QComboBox*) {}

void VantrelController::actEditAssignment(QObject*) {}
