// The helper's login item: the pane keeps exactly one session login item for the helper inside
// the pane bundle that is loaded now, and removes the items of the helper's name that point
// elsewhere.
//
// Items match a wanted path in three ways, each item in at most one of them:
//   by location: the item resolves to fileLocation(path);
//   by name: otherwise, its display name equals the path's last component;
//   by alternate name: otherwise, its display name equals the alternate name given.
// Names compare without regard to letter case, after a trailing ".app" (exactly these four
// lower-case letters) has been cut from the wanted name and the alternate name. An item that
// does not resolve is judged by its name alone. A wanted name that is empty (no path, or a path
// such as "/" or ".app") matches nothing, so that items without a name are never taken for it.
//
// Results: 0, or -1 when the list or its snapshot could not be had or a removal failed; a
// removal that fails does not stop the others. Counts are set to 0 first and count the matches
// that were kept or removed (not those whose removal failed). Each call works on a fresh
// snapshot of the list.
#pragma once

#include <optional>
#include <string>

#include "platform/login_items.h"

// Looks for the items that match `path` (none when nullopt) and `alternateName` (none when
// nullopt), counts each kind where a count is given, and removes the kinds asked for.
int FindLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                  bool removeLocationMatches, int* locationMatchCount, bool removeNameMatches,
                  int* nameMatchCount, const std::optional<std::string>& alternateName,
                  bool removeAlternateNameMatches, int* alternateNameMatchCount);

// Removes the items named like `path` (or like `alternateName`) that point elsewhere, keeps the
// ones that point at `path`, and appends an item for `path` when none does. Whether the item
// could be appended is not reported; when the list could not be read nothing is appended (the
// list's items are unknown then, so an item might exist already).
int AddLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                 const std::optional<std::string>& alternateName);

// Removes every item that matches in any of the three ways; `total` (when given) receives how
// many went.
int RemoveLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                    const std::optional<std::string>& alternateName, int* total);

// The same on this user's session login items (platform/linux/xdg_autostart.h).
int AddLoginItem(const std::optional<std::string>& path,
                 const std::optional<std::string>& alternateName);
int RemoveLoginItem(const std::optional<std::string>& path,
                    const std::optional<std::string>& alternateName, int* total);
