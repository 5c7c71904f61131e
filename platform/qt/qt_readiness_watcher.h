// The Qt event loop as the readiness watcher of platform/readiness_watcher.h: one socket notifier
// per descriptor, on the thread that created the watcher (the main thread).
#pragma once

#include <QSocketNotifier>
#include <functional>
#include <map>
#include <memory>

#include "platform/readiness_watcher.h"

namespace rl {

class QtReadinessWatcher final : public ReadinessWatcher {
 public:
  QtReadinessWatcher() = default;
  ~QtReadinessWatcher() override;
  QtReadinessWatcher(const QtReadinessWatcher&) = delete;
  QtReadinessWatcher& operator=(const QtReadinessWatcher&) = delete;

  void watch(int fd, std::function<void()> onReadable) override;
  void unwatch(int fd) override;
  size_t watchedCount() const { return watches_.size(); }

 private:
  struct Watch {
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> onReadable;
  };
  void dispose(std::unique_ptr<QSocketNotifier> notifier);

  std::map<int, Watch> watches_;
  QSocketNotifier* dispatching_ = nullptr;  // whose activation is being handled
};

}  // namespace rl
