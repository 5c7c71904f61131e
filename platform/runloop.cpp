#include "platform/runloop.h"

#include <algorithm>

namespace rl {

void RunLoopSource::signal() {
  if (!valid_ || signalled_) return;
  signalled_ = true;
  if (wakeup_) wakeup_();
}

void RunLoopSource::perform() {
  if (!valid_ || !signalled_) return;
  signalled_ = false;
  if (perform_) perform_();
}

void RunLoopSource::invalidate() {
  valid_ = false;
  signalled_ = false;
  wakeup_ = nullptr;
}

void ManualRunLoop::addSource(const RunLoopSourceRef& source) {
  if (!source || contains(source)) return;
  sources_.push_back(source);
}

void ManualRunLoop::removeSource(const RunLoopSourceRef& source) {
  std::erase(sources_, source);
}

bool ManualRunLoop::contains(const RunLoopSourceRef& source) const {
  return std::find(sources_.begin(), sources_.end(), source) != sources_.end();
}

size_t ManualRunLoop::runPending() {
  size_t performed = 0;
  for (bool again = true; again;) {
    again = false;
    // A perform may add or remove sources: walk a copy.
    const std::vector<RunLoopSourceRef> snapshot = sources_;
    for (const RunLoopSourceRef& s : snapshot) {
      if (s->isValid() && s->isSignalled() && contains(s)) {
        s->perform();
        ++performed;
        again = true;
      }
    }
  }
  return performed;
}

}  // namespace rl
