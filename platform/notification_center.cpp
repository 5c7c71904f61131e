#include "platform/notification_center.h"

#include <algorithm>

namespace sys {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

void NotificationCenter::addObserver(const void* owner, std::string name, Observer observer) {
  entries_.push_back({owner, std::move(name), std::move(observer), nextSerial_++});
}

void NotificationCenter::removeObserver(const void* owner, std::string_view name) {
  std::erase_if(entries_, [&](const Entry& e) {
    return e.owner == owner && (name.empty() || e.name == name);
  });
}

void NotificationCenter::post(std::string_view name) {
  // The observers of this post, by serial: the list may change while they run.
  std::vector<unsigned long> due;
  for (const Entry& e : entries_)
    if (e.name == name) due.push_back(e.serial);
  for (unsigned long serial : due) {
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.serial == serial; });
    if (it == entries_.end()) continue;  // removed by an earlier observer of this post
    Observer observer = it->observer;   // the entry may go while it runs
    observer();
  }
}

std::size_t NotificationCenter::observerCount(std::string_view name, const void* owner) const {
  return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return e.name == name && (owner == nullptr || e.owner == owner);
  }));
}

}  // namespace sys
