// The list of assignments the user chooses from: the "Assignments" resource of the pane's
// bundle, an array of categories in display order,
//   {"category": name key, "category106": name key on 10.6 (optional),
//    "commands": [{"command": code, "name": name key, "name106": name key on 10.6 (optional)}]}
// read once, checked, and adjusted to the system: on 10.6 and older the non-empty "...106" keys
// replace the others; command 107 (Front Row) exists only before 10.7, command 136 (Launchpad)
// only from 10.7 on.
//
// The assignment editor shows it in a two-column browser (categories, then the commands of the
// selected category), and the button menus take a command's name from it. Texts are name keys
// of the "Localizable" table; the functions that return what a person reads take the pane's
// lookup. Qt-free; main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/plist.h"

namespace platform {
class Bundle;
}

namespace assignments {

// The pane's string lookup (the localised text of a key, or the key itself).
using LocString = std::function<std::string(const std::string& key)>;

// The tree of the "Assignments" resource (type "plist") of `bundle`, adjusted to the system
// version (0x1060 ... 0x1090). Always an array: empty when the resource is missing, unreadable
// or not an array.
pl::ArrayRef LoadAssignmentsTree(const platform::Bundle& bundle, uint32_t systemVersion);

// The same from the resource's parsed contents. The result is new, whatever `resource` holds;
// entries of the wrong type are left out: a category that is not a dictionary, has no string
// "category" or no "commands" array; a command that is not a dictionary, whose "command" is not
// a number from 0 to 65535 or whose "name" is not a string; a category left without commands.
// "category106" and "name106" count only as non-empty strings.
pl::ArrayRef AssignmentsTreeFromResource(const pl::ObjectRef& resource, uint32_t systemVersion);

// The first command of the tree (categories and their commands in order) whose code is `code`.
// Out-values (each may be null) are set to -1 / "" first; when found they receive the indexes
// and the name keys of the category and the command. For codes 180-189, when `snippets` and
// `commandName` are given, a non-empty display name of snippet code - 180 replaces the name
// (`loc` localises the factory names, see snippetNameFromArray). Any array is accepted.
bool findCommandInTree(const pl::Array* tree, int64_t code, const pl::Array* snippets,
                       const LocString& loc, int* categoryIndex, std::string* categoryName,
                       int* commandIndex, std::string* commandName);

// The snippet (0-9) that a command types: code - 180 for 180-189, none for other codes.
std::optional<int> SnippetOfCommand(int64_t code);

// The display name of snippet `index` of the snippets array: its "name" ("" when the entry or
// its name is missing or of another type); a factory name, "Text snippet N" or "Snippet N"
// with N = index + 1, becomes the localised "Snippet" and the number ("Textbaustein 4").
std::string snippetNameFromArray(const pl::Array* snippets, int64_t index, const LocString& loc);

// ---- The browser ---------------------------------------------------------------------------
// Column 0 holds the categories; column 1 the commands of the category selected in column 0
// (the first one when none is selected, i.e. `selectedCategory` < 0); further columns are empty.

size_t BrowserRowCount(const pl::Array* tree, int column, int selectedCategory);

// The localised title of a cell: the category's name, the command's name, or for commands
// 180-189 the snippet's display name when it is not empty. "" outside the tree.
std::string BrowserTitle(const pl::Array* tree, const pl::Array* snippets, const LocString& loc,
                         int column, int row, int selectedCategory);

// The command code of the selected row of column 1 (negative selections count as row 0); none
// when the tree has no such category or command, so that nothing is assigned.
std::optional<uint16_t> CommandAtSelection(const pl::Array* tree, int selectedCategory,
                                           int selectedRow);

}  // namespace assignments
