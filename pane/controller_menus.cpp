// The device pages' button menus: each pop-up a copy of the template menu outMenuAssignments
// (pane/button_popups.h), showing and storing the current profile's buttons by the rules of
// pane/button_menus.h, and the editor item opening the assignment editor for its button.
#include <QComboBox>
#include <QVariant>

#include "pane/button_menus.h"
#include "pane/button_popups.h"
#include "pane/editors/vantrel_edit_controller.h"
#include "pane/vantrel_controller.h"
#include "settings/commands.h"

namespace {

// What a command is called in the menus: its name in the editor's list, else in the command
// table.
std::string commandName(const VantrelEditController* editor, const assignments::LocString& loc,
                        int64_t code) {
  std::string key;
  if (editor) editor->findCommandInTree(code, nullptr, nullptr, nullptr, nullptr, &key);
  if (key.empty() && code >= 0 && code <= 0xFFFF)
    key = std::string(commands::command(static_cast<uint16_t>(code)).nameKey);
  return key.empty() ? "-" : loc(key);
}

assignments::LocString paneLoc(const VantrelController* controller) {
  return [controller](const std::string& key) {
    return controller->locString(QString::fromStdString(key)).toStdString();
  };
}

}  // namespace

void VantrelController::vtlSetUpButtonMenus() {
  const assignments::LocString loc = paneLoc(this);
  if (outMenuAssignments) {
    outMenuAssignments->setVisible(false);
    menus::FillTemplateMenu(
        outMenuAssignments,
        [this, &loc](int64_t code) { return commandName(outControllerEdit, loc, code); },
        locString(QStringLiteral("Other Action…")));
  }
  for (int device = 0; device < kDeviceModels; ++device) {
    for (int i = 0; i < buttonMenuCount(device); ++i) {
      QComboBox* menu = buttonMenu(device, i);
      if (menu == nullptr) continue;
      menus::CopyTemplateMenu(outMenuAssignments, menu, buttonIndex(device, i));
      menu->setProperty("tag", buttonIndex(device, i));
      connect(menu, &QComboBox::activated, this, [this, menu](int index) {
        const std::optional<int64_t> tag = menus::ItemTag(menu, index);
        if (!tag) return;
        if (*tag == menus::kEditorItemTag) {
          actEditAssignment(menu);
        } else {
          actUpdateSettingsFromBtnMenu(menu);
        }
      });
    }
  }
}

void VantrelController::vtlUpdateMenu(QComboBox* menu, int32_t button) {
  if (!menu || !fCurSettingsDict) return;
  const pl::ArrayRef tree = outControllerEdit ? outControllerEdit->vtlGetAssignmentsTree() : nullptr;
  menus::UpdatePopupForAssignment(menu, fCurSettingsDict, button, tree.get(), fSnippetsArray.get(),
                                  paneLoc(this));
}

void VantrelController::vtlGetButtonAssignment(const pl::DictRef& buttonDict, QComboBox* menu) {
  if (buttonDict) menus::GetButtonAssignmentFromPopup(*buttonDict, menu);
}

void VantrelController::actEditAssignment(QObject* sender) {
  auto* menu = qobject_cast<QComboBox*>(sender);
  if (!menu) return;
  // The button number is the editor item's represented object (the pop-up's tag as well).
  int32_t button = menu->property("tag").toInt();
  const int editorItem = menu->findData(QVariant::fromValue<qlonglong>(menus::kEditorItemTag));
  if (editorItem >= 0) {
    const QVariant object = menu->itemData(editorItem, Qt::UserRole + 1);
    if (object.isValid()) button = object.toInt();
  }
  const bool changed = outControllerEdit && fCurSettingsDict &&
                       outControllerEdit->editButtonAction(button, fCurSettingsDict, fSnippetsArray);
  vtlGetUIFromSettings();
  if (changed) vtlSavePrefsToFile(fPrefsDict);
}
