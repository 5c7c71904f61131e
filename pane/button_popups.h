// The device pages' button pop-ups as widgets: QComboBoxes whose items carry their tag in
// Qt::UserRole (qlonglong) and their represented object in Qt::UserRole + 1, and whose "tag"
// property is the button number. The rules are those of pane/button_menus.h; these functions
// put them on the widgets. Main thread only.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "pane/editors/assignment_tree.h"
#include "platform/plist.h"

class QComboBox;

namespace menus {

// The commands the template menu offers directly, in menu order.
std::span<const int64_t> TemplateCommands();

// The name of a command as the menus show it: its name in the command tree, else in the
// command table, localised.
using CommandName = std::function<std::string(int64_t code)>;

// Fills `templ` (emptied first) with the template menu: the common commands tagged with their
// codes and the editor item (tag -1) titled `editorTitle`.
void FillTemplateMenu(QComboBox* templ, const CommandName& name, const QString& editorTitle);

// Gives `popup` its own copy of the template's items, its editor item the button number as
// represented object, and the button number as its "tag".
void CopyTemplateMenu(const QComboBox* templ, QComboBox* popup, int32_t button);

// The tag of an item (none for an item without one).
std::optional<int64_t> ItemTag(const QComboBox* popup, int index);
// The tag of the selected item (none when nothing is selected).
std::optional<int64_t> SelectedTag(const QComboBox* popup);

// vtlUpdateMenu:forAssignment: on a pop-up: applies the plain-click rule to the profile,
// enables or disables the pop-up, selects the item of the assignment or shows it as the extra
// item (created, retitled or removed), and names the pop-up for screen readers as its button
// and what it does ("Button 1: Copy"; the button's name is the accessible name the pop-up had
// when first updated).
void UpdatePopupForAssignment(QComboBox* popup, const pl::DictRef& profile, int32_t button,
                              const pl::Array* tree, const pl::Array* snippets,
                              const assignments::LocString& loc);

// vtlGetButtonAssignment:fromMenu: for a pop-up: the selected item into the button dictionary
// (a negative or missing tag leaves it as it is).
void GetButtonAssignmentFromPopup(pl::Dictionary& button, const QComboBox* popup);

}  // namespace menus
