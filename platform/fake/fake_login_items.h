// Login items for tests: a list in a fixed order that the test fills, makes fail and inspects.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/login_items.h"

namespace sys {

class FakeLoginItems final : public LoginItems {
 public:
  struct Item {
    int id = 0;
    std::optional<std::string> name;      // display name; none when absent
    std::optional<std::string> location;  // where it resolves to; none when it does not resolve
  };

  // Appends an item and returns its id. The location is taken as given (no fileLocation()).
  int add(std::optional<std::string> name, std::optional<std::string> location);
  // The items now in the list, in order.
  const std::vector<Item>& items() const { return items_; }
  std::vector<int> ids() const;

  // Failures to inject.
  bool failCreate = false;
  bool failSnapshot = false;
  bool failInsert = false;
  std::set<int> failRemoval;  // ids whose removal fails (the item stays)

  // What was asked of the list.
  int creates = 0;
  int snapshots = 0;
  std::vector<int> removed;           // ids, in the order they went
  std::vector<std::string> inserted;  // paths given to LSSharedFileListInsertItemURL

  LSSharedFileListRef LSSharedFileListCreate() override;
  std::optional<std::vector<LSSharedFileListItemRef>> LSSharedFileListCopySnapshot(
      const LSSharedFileListRef& list) override;
  OSStatus LSSharedFileListItemResolve(const LSSharedFileListItemRef& item,
                                       std::string* location) override;
  std::optional<std::string> LSSharedFileListItemCopyDisplayName(
      const LSSharedFileListItemRef& item) override;
  OSStatus LSSharedFileListItemRemove(const LSSharedFileListRef& list,
                                      const LSSharedFileListItemRef& item) override;
  // The new item is named like a bundle in a file browser (the last path component, ".app" cut)
  // and resolves to fileLocation(path).
  LSSharedFileListItemRef LSSharedFileListInsertItemURL(const LSSharedFileListRef& list,
                                                        const std::string& path) override;

 private:
  std::vector<Item> items_;
  int nextId_ = 1;
};

}  // namespace sys
