// The rules of the device pages' button menus, without the widgets. Every pop-up holds a copy of
// the template menu: items tagged with the command code they assign, the editor item (tag -1),
// and at most one extra item (tag -2, always last) that shows an assignment no other item shows:
// a command with modifiers, a keystroke, a file, an application, a web address, a labelled
// assignment, anything chosen in the assignment editor. The menus also keep a plain click
// (command 1 without modifiers) on one of buttons 0 to 3 of the device.
//
// The controller's vtlUpdateMenu:forAssignment: is UpdateMenuForAssignment followed by
// ApplyMenuUpdate on the pop-up's items; vtlGetButtonAssignment:fromMenu: is
// StoreMenuChoice. Qt-free; main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pane/editors/assignment_tree.h"
#include "platform/plist.h"

namespace menus {

inline constexpr int64_t kEditorItemTag = -1;
inline constexpr int64_t kExtraItemTag = -2;

// The key of button `button` in a profile's "buttons" ("00" ... "15").
std::string ButtonKey(int32_t button);

// The plain-click rule for the menu of `button`, over buttons 0 to 3 of the profile: a menu
// whose button holds command 1 is enabled only while another of buttons 0-3 has a plain click,
// every other menu is enabled. Button 0 without command 1, while none of buttons 1-3 has a plain
// click, is turned into command 1 in the profile (its other keys, "mod" among them, stay) and its
// menu is disabled; a missing button 0 dictionary is created for that ({"cmd": 1}) when the
// profile has a "buttons" dictionary. Answers whether the menu is enabled.
bool ApplyPrimaryClickRule(const pl::DictRef& profile, int32_t button);

// The title of the extra item for a button dictionary (null, or strange types, read as empty):
//   its "label" when it has one; otherwise the command's name (from the tree, else from the
//   command table, else "-"), and by command:
//   clicks with modifiers    modifier names, "+" and the name   "⌃+⌥+Secondary click"
//   keystroke (10)           "Type" and the key combination      "Type ⌘K"
//   type a character (11)    "Type", the modifiers, the character
//   open an item (70)        the last path component of "str"
//   launch (71)              "str"
//   open a web address (72)  "str" without a leading "http://", then "www.", then one
//                            trailing "/" (each only when something is left; a bare scheme
//                            such as "http://" keeps its slashes)
//   "-" when the title would be empty.
std::string AssignmentTitle(const pl::Dictionary* button, const pl::Array* tree,
                            const pl::Array* snippets, const assignments::LocString& loc);

// What a pop-up shows for its button.
struct MenuUpdate {
  bool enabled = true;
  // The ordinary item to select; none: the extra item, titled `extraTitle`, is selected.
  std::optional<int64_t> selectedTag;
  std::string extraTitle;
};

// vtlUpdateMenu:forAssignment: for the pop-up of `button` in the current profile. `menuHasTag`
// tells whether the pop-up has an ordinary item of a tag. Applies the plain-click rule first
// (which may change the profile). An assignment shows as its ordinary item when it has no "mod",
// no label and the menu has an item of its code; otherwise as the extra item.
MenuUpdate UpdateMenuForAssignment(const pl::DictRef& profile, int32_t button,
                                   const std::function<bool(int64_t)>& menuHasTag,
                                   const pl::Array* tree, const pl::Array* snippets,
                                   const assignments::LocString& loc);

// A pop-up's items as the widget layer keeps them.
struct MenuItem {
  int64_t tag = 0;
  std::string title;
};

// Brings the items in line with the update: an ordinary selection removes a trailing extra
// item; an extra selection retitles the trailing extra item or appends one. Answers the index of
// the item to select, or -1 when no item has the selected tag.
int ApplyMenuUpdate(std::vector<MenuItem>& items, const MenuUpdate& update);

// vtlGetButtonAssignment:fromMenu: for the selected item's tag: a negative tag (the editor item,
// the extra item) leaves the dictionary as it is; otherwise it is emptied and holds "cmd" = tag,
// with "mod" 0 for 1-18, "key" 255 for 10 and 11, "cnt" 1 for 20-23.
void GetButtonAssignmentFromMenu(pl::Dictionary& button, int64_t tag);

// The same on the profile's button `button`: a missing button dictionary is created for a
// non-negative tag when the profile has a "buttons" dictionary (a choice is never dropped).
void StoreMenuChoice(const pl::DictRef& profile, int32_t button, int64_t tag);

}  // namespace menus
