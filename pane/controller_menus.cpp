// The device pages' button menus.
#include <QComboBox>

#include "pane/button_menus.h"
#include "pane/vantrel_controller.h"

void VantrelController::vtlSetUpButtonMenus() {
  for (int device = 0; device < kDeviceModels; ++device) {
    for (int i = 0; i < buttonMenuCount(device); ++i) {
      QComboBox* menu = buttonMenu(device, i);
      if (menu == nullptr) continue;
      const int32_t button = buttonIndex(device, i);
      // A copy of the template of its own, the editor item carrying the button number.
      menu->clear();
      if (outMenuAssignments) {
        for (int item = 0; item < outMenuAssignments->count(); ++item) {
          const QVariant tag = outMenuAssignments->itemData(item, kItemTagRole);
          menu->addItem(outMenuAssignments->itemIcon(item), outMenuAssignments->itemText(item), tag);
          if (tag.toLongLong() == menus::kEditorItemTag) {
            menu->setItemData(menu->count() - 1, button, kItemRepresentedObjectRole);
          }
        }
      }
      menu->setProperty("tag", button);
      connect(menu, &QComboBox::activated, this, [this, menu](int index) {
        if (redrawing()) return;
        if (menu->itemData(index, kItemTagRole).toLongLong() == menus::kEditorItemTag) {
          actEditAssignment(menu);
        } else {
          actUpdateSettingsFromBtnMenu(menu);
        }
      });
    }
  }
}

void VantrelController::vtlUpdateMenu(QComboBox*, int32_t) {}

void VantrelController::vtlGetButtonAssignment(const pl::DictRef&, QComboBox*) {}

void VantrelController::actEditAssignment(QObject*) {}
