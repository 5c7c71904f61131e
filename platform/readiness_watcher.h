// Main-loop glue for services that learn of events through a file descriptor (a udev monitor,
// say): the loop calls back on its own thread whenever a watched descriptor has data to read.
//
// Watchers: PollReadinessWatcher (here) waits only when asked, for tests and tools; the Qt event
// loop's is in platform/qt/qt_readiness_watcher.h.
#pragma once

#include <chrono>
#include <functional>
#include <map>

namespace rl {

class ReadinessWatcher {
 public:
  virtual ~ReadinessWatcher() = default;
  // From now on `onReadable` is called whenever `fd` can be read without blocking, until
  // unwatch(fd); watching a descriptor again replaces its callback. The callback may unwatch.
  virtual void watch(int fd, std::function<void()> onReadable) = 0;
  virtual void unwatch(int fd) = 0;
};

class PollReadinessWatcher final : public ReadinessWatcher {
 public:
  void watch(int fd, std::function<void()> onReadable) override;
  void unwatch(int fd) override { callbacks_.erase(fd); }
  // Waits up to `timeout` for a watched descriptor to become readable, then calls the callback
  // of each one that is. Returns how many were called (0 after the timeout).
  size_t wait(std::chrono::milliseconds timeout);
  size_t watchedCount() const { return callbacks_.size(); }

 private:
  std::map<int, std::function<void()>> callbacks_;
};

}  // namespace rl
