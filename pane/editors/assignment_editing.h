// The assignment editor's rules between its controls and the button dictionary being edited,
// without the widgets: which parameter panel a command shows, what the panel's controls store
// (and what choosing another command resets), what the controls show for a stored assignment,
// the captured keystroke, the text fields, and the chosen file or application. The dialog shows
// what these functions compute and hands them what the user did. Qt-free; main thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pane/editors/assignment_tree.h"
#include "platform/plist.h"

namespace assignments {

// The editor's parameter panels, in the order of its tab view.
enum class ParameterPanel : int {
  None = 0,
  ClickModifiers = 1,  // 1-8, 12-18
  Keystroke = 2,       // 10
  Snippet = 3,         // 180-189
  ScrollSpeed = 4,     // 20-23
  Application = 5,     // 71
  Item = 6,            // 70
  URL = 7,             // 72
  Script = 8,          // 73
};

ParameterPanel PanelForCommand(int64_t code);

// A row of modifier check boxes (the click panel's or the keystroke panel's).
struct ModifierBoxes {
  bool command = false;  // 0x0100
  bool control = false;  // 0x1000
  bool option = false;   // 0x0800
  bool shift = false;    // 0x0200
  bool operator==(const ModifierBoxes&) const = default;
};
uint16_t ModifiersFromBoxes(const ModifierBoxes& boxes);
ModifierBoxes BoxesFromModifiers(uint64_t modifiers);

// What the panels' controls hold when the action is read from them.
struct EditorControls {
  ModifierBoxes clickBoxes;
  ModifierBoxes keyBoxes;
  int64_t speedTag = 1;  // the tag of the speed menu's selected item
};

// Controls to action. `code` is the command selected in the browser (CommandAtSelection); none
// leaves the action as it is. With `reset` (a command was just chosen), "mod", "btn", "clk",
// "key", "char", "freq", "cnt" and "str" go first ("bndl" and "label" stay) and the command's
// parameters start afresh: clicks "mod" 0, scrolling "cnt" 1, a keystroke "key" 255 and "mod" 0,
// files, web addresses and scripts an empty "str", applications empty "str" and "bndl".
// Without it the boxes give "mod", the speed menu "cnt", and the rest keeps its values.
void ReadActionFromControls(pl::Dictionary& action, std::optional<uint16_t> code, bool reset,
                            const EditorControls& controls);

// Action to controls: everything the dialog shows for the action.
struct EditorView {
  std::string label;              // the label field
  int categoryRow = -1;           // the browser's selection; -1 when the command is not in the
  int commandRow = -1;            // tree (the browser keeps its selection then)
  ParameterPanel panel = ParameterPanel::None;
  ModifierBoxes clickBoxes;       // panel 1
  ModifierBoxes keyBoxes;         // panel 2
  std::string keystroke;          // panel 2: the key combination's name, "" without a key
  std::string snippetName;        // panel 3
  std::string snippetText;
  int64_t speedTag = 0;           // panel 4: the speed menu item to select
  std::string application;        // panel 5
  std::string item;               // panel 6
  std::string url;                // panel 7
  std::string script;             // panel 8
};
EditorView ViewOfAction(const pl::Dictionary& action, const pl::Array* tree,
                        const pl::Array* snippets, const LocString& loc);

// A key press captured while the keystroke field is being edited: for command 10 it becomes
// "key" (8 bits) and "mod" (16 bits) and the answer is true (the dialog shows the action
// again); other commands ignore it. The character is not used.
bool ReceiveKeystroke(pl::Dictionary& action, uint32_t keyCode, uint16_t character,
                      uint32_t modifiers);

// The text fields. The label: a non-empty text is stored as "label", an empty one removes it.
void LabelChanged(pl::Dictionary& action, const std::string& text);
// The web address and script fields: the text is stored as "str".
void StringFieldChanged(pl::Dictionary& action, const std::string& text);

// The snippet fields edit the snippets array itself (the edit stays when the dialog is
// cancelled): the "name" or "text" of snippet `code` - 180 (only codes 180-189 act; none, no).
// An array too short for the snippet is filled with empty snippets; an entry of another type is
// replaced by a new snippet dictionary.
enum class SnippetField { Name, Text };
bool SnippetFieldChanged(pl::Array& snippets, std::optional<uint16_t> code, SnippetField field,
                         const std::string& text);

// The path with the home folder written "~" ("~/Documents/a.txt", "~" for the home folder
// itself); other paths, and every path when `home` is "" or "/", stay as they are.
std::string AbbreviateWithTildeInPath(std::string_view path, std::string_view home);

// A file or folder chosen for command 70: stored as "str", abbreviated with "~". False (nothing
// stored) for other commands.
bool StoreChosenItem(pl::Dictionary& action, const std::string& path, const std::string& home);

// An application chosen for command 71, as it is stored: "str" is the name the helper launches
// it by, "bndl" the identifier it falls back to.
//   A bundle folder with an information dictionary: CFBundleName (else the folder's name) and
//   CFBundleIdentifier.
//   A desktop entry file ("*.desktop"): its Name (else the file's name) and its desktop file id,
//   the file name without ".desktop", by which the application folders find it.
//   Anything else: the last path component and no identifier.
// A name ending in ".app" loses it.
struct ChosenApplication {
  std::string name;
  std::string identifier;
};
ChosenApplication ApplicationAtPath(const std::string& path);
bool StoreChosenApplication(pl::Dictionary& action, const ChosenApplication& application);

}  // namespace assignments
