#include "pane/login_items.h"

#include "platform/linux/xdg_autostart.h"
#include "platform/text_compare.h"

namespace {

// The name with a trailing ".app" cut; nothing when no name is left.
std::optional<std::string> withoutAppSuffix(std::optional<std::string> name) {
  if (!name) return std::nullopt;
  if (name->ends_with(".app")) name->resize(name->size() - 4);
  if (name->empty()) return std::nullopt;
  return name;
}

struct MatchKind {
  bool remove;
  int* count;
};

struct Search {
  int result = -1;
  bool listRead = false;  // the snapshot was taken
};

Search searchLoginItems(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                        MatchKind byLocation, MatchKind byName,
                        const std::optional<std::string>& alternateName, MatchKind byAlternate) {
  for (const MatchKind& kind : {byLocation, byName, byAlternate})
    if (kind.count != nullptr) *kind.count = 0;

  std::optional<std::string> locationKey;
  std::optional<std::string> nameKey;
  if (path) {
    locationKey = sys::fileLocation(*path);
    nameKey = withoutAppSuffix(sys::lastPathComponent(*path));
  }
  const std::optional<std::string> alternateKey = withoutAppSuffix(alternateName);

  const sys::LSSharedFileListRef list = loginItems.LSSharedFileListCreate();
  if (!list) return {};
  const auto snapshot = loginItems.LSSharedFileListCopySnapshot(list);
  if (!snapshot) return {};

  Search search{0, true};
  const auto handle = [&](const sys::LSSharedFileListItemRef& item, const MatchKind& kind) {
    if (kind.remove && loginItems.LSSharedFileListItemRemove(list, item) != sys::noErr) {
      search.result = -1;
      return;
    }
    if (kind.count != nullptr) ++*kind.count;
  };
  for (const sys::LSSharedFileListItemRef& item : *snapshot) {
    if (locationKey) {
      std::string location;
      if (loginItems.LSSharedFileListItemResolve(item, &location) == sys::noErr &&
          sys::fileLocation(location) == *locationKey) {
        handle(item, byLocation);
        continue;
      }
    }
    if (!nameKey && !alternateKey) continue;
    const std::optional<std::string> displayName =
        loginItems.LSSharedFileListItemCopyDisplayName(item);
    if (!displayName) continue;
    if (nameKey && text::equalsIgnoringCase(*nameKey, *displayName))
      handle(item, byName);
    else if (alternateKey && text::equalsIgnoringCase(*alternateKey, *displayName))
      handle(item, byAlternate);
  }
  return search;
}

}  // namespace

int FindLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                  bool removeLocationMatches, int* locationMatchCount, bool removeNameMatches,
                  int* nameMatchCount, const std::optional<std::string>& alternateName,
                  bool removeAlternateNameMatches, int* alternateNameMatchCount) {
  return searchLoginItems(loginItems, path, {removeLocationMatches, locationMatchCount},
                          {removeNameMatches, nameMatchCount}, alternateName,
                          {removeAlternateNameMatches, alternateNameMatchCount})
      .result;
}

int AddLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                 const std::optional<std::string>& alternateName) {
  int locationMatches = 0;
  const Search search = searchLoginItems(loginItems, path, {false, &locationMatches},
                                         {true, nullptr}, alternateName, {true, nullptr});
  if (search.listRead && locationMatches == 0 && path) {
    if (const sys::LSSharedFileListRef list = loginItems.LSSharedFileListCreate())
      loginItems.LSSharedFileListInsertItemURL(list, *path);
  }
  return search.result;
}

int RemoveLoginItem(sys::LoginItems& loginItems, const std::optional<std::string>& path,
                    const std::optional<std::string>& alternateName, int* total) {
  int byLocation = 0;
  int byName = 0;
  int byAlternate = 0;
  const int result = FindLoginItem(loginItems, path, true, &byLocation, true, &byName,
                                   alternateName, true, &byAlternate);
  if (total != nullptr) *total = byLocation + byName + byAlternate;
  return result;
}

int AddLoginItem(const std::optional<std::string>& path,
                 const std::optional<std::string>& alternateName) {
  sys::XdgAutostartLoginItems loginItems;
  return AddLoginItem(loginItems, path, alternateName);
}

int RemoveLoginItem(const std::optional<std::string>& path,
                    const std::optional<std::string>& alternateName, int* total) {
  sys::XdgAutostartLoginItems loginItems;
  return RemoveLoginItem(loginItems, path, alternateName, total);
}
