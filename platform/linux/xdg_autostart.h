// The session login items as the user's XDG autostart entries: the desktop entry files
// "*.desktop" in $XDG_CONFIG_HOME/autostart (~/.config/autostart when the variable is unset,
// empty or not an absolute path), which the desktop starts when the user logs in.
//
// Items. A file of the folder is an item when its name ends in ".desktop", it is a regular file
// or a symbolic link to one, of at most kMaxAutostartEntrySize bytes, a well-formed desktop entry
// file (platform/linux/desktop_entry.h), and its [Desktop Entry] group says Type=Application. Anything else (a fragment, junk, a link to nowhere, an entry of another
// type) is left alone: it is not an item and is never removed. Items come in file-name order;
// autostart entries have no order of their own.
//   Display name: the entry's Name (the one without a locale), none when it has none.
//   Location: the program its Exec starts (read as platform/linux/desktop_entry.h says), when
//   that file exists now. A program without a slash is looked up on the search path; a relative
//   path with a slash names nothing. A program at "<X>.app/Contents/MacOS/<exe>" resolves to the bundle
//   "<X>.app", so an item inserted for a bundle resolves to that bundle.
//   Disabled entries: an entry the user switched off through the desktop (Hidden=true,
//   X-GNOME-Autostart-enabled=false) is an item like any other. So a switched-off entry for a
//   program still counts as that program's login item and nothing switches it back on, and one
//   that carries a name but points elsewhere is removed like any such item.
//
// Insertion of a path. A bundle folder "<X>.app" starts its program
// "Contents/MacOS/<CFBundleExecutable>" (of its Contents/Info.plist; the bundle's name without
// ".app" when that is missing or not a plain file name); any other path must be a regular file
// and starts itself. The program must exist. The new entry (Type=Application, Name: the bundle's
// name without ".app" or the file's name, Exec: the program, quoted, through env when its path
// holds a '%', which GLib could not find otherwise) is written to a hidden staging file,
// flushed, and renamed to its final name without replacing anything, so the folder never holds
// a partial entry and no existing file is overwritten. Its file name comes
// from the bundle identifier (CFBundleIdentifier, when it is a plain name) or else the item's
// name, with "-2", "-3" ... added while the name is taken. The folder is created when missing.
// A path that is not valid UTF-8, or whose entry would not resolve back to it, is refused.
//
// Removal deletes the entry's file (for a link, the link) and nothing else, and only while it is
// still the file of the snapshot (same file, size and modification time).
//
// A folder that does not exist holds no items; one that cannot be read gives no snapshot.
// Entries of the system-wide autostart folders are not the user's items and are not listed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/desktop_entry.h"
#include "platform/login_items.h"

namespace sys {

inline constexpr size_t kMaxAutostartEntrySize = xdg::kMaxDesktopEntrySize;

class XdgAutostartLoginItems final : public LoginItems {
 public:
  // The user's autostart folder and $PATH.
  XdgAutostartLoginItems();
  // A folder and a search path (folders separated by ':') of the caller's choosing.
  XdgAutostartLoginItems(std::string folder, std::string searchPath);

  static std::string userAutostartFolder();
  const std::string& folder() const { return folder_; }

  LSSharedFileListRef LSSharedFileListCreate() override;
  std::optional<std::vector<LSSharedFileListItemRef>> LSSharedFileListCopySnapshot(
      const LSSharedFileListRef& list) override;
  OSStatus LSSharedFileListItemResolve(const LSSharedFileListItemRef& item,
                                       std::string* location) override;
  std::optional<std::string> LSSharedFileListItemCopyDisplayName(
      const LSSharedFileListItemRef& item) override;
  OSStatus LSSharedFileListItemRemove(const LSSharedFileListRef& list,
                                      const LSSharedFileListItemRef& item) override;
  LSSharedFileListItemRef LSSharedFileListInsertItemURL(const LSSharedFileListRef& list,
                                                        const std::string& path) override;

  // The location of the program an Exec value starts (as an item resolves); nothing when it
  // does not resolve.
  std::optional<std::string> locationOfExec(std::string_view exec, std::string_view name,
                                            std::string_view entryPath) const;

 private:
  std::string folder_;
  std::string searchPath_;
};

}  // namespace sys
