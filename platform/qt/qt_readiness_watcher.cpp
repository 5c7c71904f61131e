#include "platform/qt/qt_readiness_watcher.h"

namespace rl {

QtReadinessWatcher::~QtReadinessWatcher() {
  while (!watches_.empty()) unwatch(watches_.begin()->first);
}

void QtReadinessWatcher::watch(int fd, std::function<void()> onReadable) {
  if (fd < 0 || !onReadable) return;
  unwatch(fd);
  auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QSocketNotifier* raw = notifier.get();
  QObject::connect(raw, &QSocketNotifier::activated, raw, [this, fd, raw] {
    const auto it = watches_.find(fd);
    if (it == watches_.end() || it->second.notifier.get() != raw) return;
    // A copy: the callback may unwatch (and so drop the stored one) while it runs.
    const std::function<void()> callback = it->second.onReadable;
    dispatching_ = raw;
    callback();
    dispatching_ = nullptr;
  });
  watches_[fd] = Watch{std::move(notifier), std::move(onReadable)};
}

void QtReadinessWatcher::unwatch(int fd) {
  const auto it = watches_.find(fd);
  if (it == watches_.end()) return;
  std::unique_ptr<QSocketNotifier> notifier = std::move(it->second.notifier);
  watches_.erase(it);
  dispose(std::move(notifier));
}

void QtReadinessWatcher::dispose(std::unique_ptr<QSocketNotifier> notifier) {
  notifier->setEnabled(false);
  // A notifier must not be deleted inside its own activation: the event loop deletes it later.
  if (notifier.get() == dispatching_) notifier.release()->deleteLater();
}

}  // namespace rl
