#include "platform/readiness_watcher.h"

#include <poll.h>

#include <cerrno>
#include <vector>

namespace rl {

void PollReadinessWatcher::watch(int fd, std::function<void()> onReadable) {
  if (fd < 0 || !onReadable) return;
  callbacks_[fd] = std::move(onReadable);
}

size_t PollReadinessWatcher::wait(std::chrono::milliseconds timeout) {
  std::vector<pollfd> fds;
  for (const auto& [fd, callback] : callbacks_) fds.push_back({fd, POLLIN, 0});
  if (fds.empty()) return 0;
  int ready = -1;
  do {
    ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
  } while (ready < 0 && errno == EINTR);
  size_t called = 0;
  for (const pollfd& p : fds) {
    if ((p.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    // A callback may have unwatched this descriptor (or others) meanwhile.
    const auto it = callbacks_.find(p.fd);
    if (it == callbacks_.end()) continue;
    const std::function<void()> callback = it->second;
    callback();
    ++called;
  }
  return called;
}

}  // namespace rl
