#include "platform/fake/fake_login_items.h"

#include <algorithm>

namespace sys {

namespace {

class FakeList final : public LSSharedFileList {
 public:
  explicit FakeList(const FakeLoginItems* owner) : owner_(owner) {}
  const FakeLoginItems* owner() const { return owner_; }

 private:
  const FakeLoginItems* owner_;
};

// A snapshot's copy of an item.
class FakeItem final : public LSSharedFileListItem {
 public:
  explicit FakeItem(FakeLoginItems::Item item) : item_(std::move(item)) {}
  const FakeLoginItems::Item& item() const { return item_; }

 private:
  FakeLoginItems::Item item_;
};

const FakeLoginItems::Item* itemOf(const LSSharedFileListItemRef& ref) {
  const auto* fake = dynamic_cast<const FakeItem*>(ref.get());
  return fake ? &fake->item() : nullptr;
}

}  // namespace

int FakeLoginItems::add(std::optional<std::string> name, std::optional<std::string> location) {
  const int id = nextId_++;
  items_.push_back({id, std::move(name), std::move(location)});
  return id;
}

std::vector<int> FakeLoginItems::ids() const {
  std::vector<int> out;
  for (const Item& item : items_) out.push_back(item.id);
  return out;
}

LSSharedFileListRef FakeLoginItems::LSSharedFileListCreate() {
  ++creates;
  if (failCreate) return nullptr;
  return std::make_shared<FakeList>(this);
}

std::optional<std::vector<LSSharedFileListItemRef>> FakeLoginItems::LSSharedFileListCopySnapshot(
    const LSSharedFileListRef& list) {
  ++snapshots;
  const auto* fake = dynamic_cast<const FakeList*>(list.get());
  if (failSnapshot || fake == nullptr || fake->owner() != this) return std::nullopt;
  std::vector<LSSharedFileListItemRef> out;
  for (const Item& item : items_) out.push_back(std::make_shared<FakeItem>(item));
  return out;
}

OSStatus FakeLoginItems::LSSharedFileListItemResolve(const LSSharedFileListItemRef& item,
                                                     std::string* location) {
  const Item* fake = itemOf(item);
  if (fake == nullptr || location == nullptr) return paramErr;
  if (!fake->location) return fnfErr;
  *location = *fake->location;
  return noErr;
}

std::optional<std::string> FakeLoginItems::LSSharedFileListItemCopyDisplayName(
    const LSSharedFileListItemRef& item) {
  const Item* fake = itemOf(item);
  return fake ? fake->name : std::nullopt;
}

OSStatus FakeLoginItems::LSSharedFileListItemRemove(const LSSharedFileListRef& list,
                                                    const LSSharedFileListItemRef& item) {
  const auto* fakeList = dynamic_cast<const FakeList*>(list.get());
  const Item* fake = itemOf(item);
  if (fakeList == nullptr || fakeList->owner() != this || fake == nullptr) return paramErr;
  if (failRemoval.count(fake->id) > 0) return ioErr;
  const auto it = std::find_if(items_.begin(), items_.end(),
                               [&](const Item& i) { return i.id == fake->id; });
  if (it == items_.end()) return fnfErr;
  items_.erase(it);
  removed.push_back(fake->id);
  return noErr;
}

LSSharedFileListItemRef FakeLoginItems::LSSharedFileListInsertItemURL(
    const LSSharedFileListRef& list, const std::string& path) {
  inserted.push_back(path);
  const auto* fakeList = dynamic_cast<const FakeList*>(list.get());
  if (failInsert || fakeList == nullptr || fakeList->owner() != this) return nullptr;
  std::string name = lastPathComponent(path);
  if (name.size() > 4 && name.ends_with(".app")) name.resize(name.size() - 4);
  add(name, fileLocation(path));
  return std::make_shared<FakeItem>(items_.back());
}

}  // namespace sys
