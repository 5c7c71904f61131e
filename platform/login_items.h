// The session login items: the programs the system starts whenever the user logs in. The
// preferences panel keeps the helper there (pane/login_items.h).
//
// Shaped after Launch Services' shared file list of session login items: the list is created
// (which may fail), a snapshot of its items is taken (which may fail), and each item of the
// snapshot can be resolved to the file it points at, asked for its display name, or removed;
// a file can be appended as the last item. A snapshot is a copy: items added or removed later
// by anyone else do not change it, and removing an item that has gone or changed since fails.
//
// Locations are plain paths in the form fileLocation() gives them, so two locations name the
// same file exactly when they are equal strings.
//
// Backends: platform/linux/xdg_autostart.h (the user's XDG autostart entries) and
// platform/fake/fake_login_items.h (for tests).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_services.h"

namespace sys {

inline constexpr OSStatus ioErr = -36;
inline constexpr OSStatus fnfErr = -43;

// A list or an item of one; backends derive their own. Released with the last reference.
class LSSharedFileList {
 public:
  virtual ~LSSharedFileList() = default;
};
class LSSharedFileListItem {
 public:
  virtual ~LSSharedFileListItem() = default;
};
using LSSharedFileListRef = std::shared_ptr<LSSharedFileList>;
using LSSharedFileListItemRef = std::shared_ptr<LSSharedFileListItem>;

class LoginItems {
 public:
  virtual ~LoginItems() = default;

  // The session login items list; null when it is not available.
  virtual LSSharedFileListRef LSSharedFileListCreate() = 0;
  // The items of the list now, in the list's order; nothing when they cannot be read.
  virtual std::optional<std::vector<LSSharedFileListItemRef>> LSSharedFileListCopySnapshot(
      const LSSharedFileListRef& list) = 0;
  // Where the item points, found without asking the user and without mounting anything: noErr
  // and the location, or fnfErr when it points at nothing that exists now.
  virtual OSStatus LSSharedFileListItemResolve(const LSSharedFileListItemRef& item,
                                               std::string* location) = 0;
  // The name the item is shown with; nothing when it has none.
  virtual std::optional<std::string> LSSharedFileListItemCopyDisplayName(
      const LSSharedFileListItemRef& item) = 0;
  // Takes the item out of the list: noErr, or an error when it could not be removed (it is no
  // longer there, it changed since the snapshot, or the list cannot be changed).
  virtual OSStatus LSSharedFileListItemRemove(const LSSharedFileListRef& list,
                                              const LSSharedFileListItemRef& item) = 0;
  // Appends an item for the file or bundle at `path` as the last item (no display name, icon or
  // properties of its own); the new item, or null when none could be added.
  virtual LSSharedFileListItemRef LSSharedFileListInsertItemURL(const LSSharedFileListRef& list,
                                                                const std::string& path) = 0;
};

// `path` as a location: absolute (a relative path is taken from the working folder), with empty
// and "." components dropped, ".." applied to the path's text, and no trailing slash ("/" for
// the root). Symbolic links are not followed.
std::string fileLocation(std::string_view path);

}  // namespace sys
