// A process's own notification centre, the stand-in of the default NSNotificationCenter: named
// notifications posted and observed inside one process (the settings host posts its window and
// application notifications; the preference pane observes them while it is selected).
//
// Observers of a name are called in the order they were added, on the posting thread (the main
// thread), each with no argument. An observer removed while a post is under way is not called
// afterwards; one added during a post is called from the next post on. Main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sys {

// Any window of the application became the key window.
inline constexpr char kNSWindowDidBecomeKeyNotification[] = "NSWindowDidBecomeKeyNotification";
// The application stopped being the active one.
inline constexpr char kNSApplicationDidResignActiveNotification[] =
    "NSApplicationDidResignActiveNotification";

class NotificationCenter {
 public:
  using Observer = std::function<void()>;

  // The process's centre.
  static NotificationCenter& defaultCenter();

  // Calls `observer` for every later post of `name`, on behalf of `owner` (the key for removal).
  void addObserver(const void* owner, std::string name, Observer observer);
  // Removes the observers `owner` added for `name`, or for every name when `name` is empty.
  void removeObserver(const void* owner, std::string_view name = {});
  void post(std::string_view name);

  // How many observers `name` has now (`owner`: only those of that owner).
  std::size_t observerCount(std::string_view name, const void* owner = nullptr) const;

 private:
  struct Entry {
    const void* owner;
    std::string name;
    Observer observer;
    unsigned long serial;
  };
  std::vector<Entry> entries_;
  unsigned long nextSerial_ = 1;
};

}  // namespace sys
