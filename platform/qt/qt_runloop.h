// The Qt event loop as the run loop of platform/runloop.h: a signalled source is performed from
// the event loop of the thread that created the QtRunLoop (the main thread), once per batch of
// signals.
#pragma once

#include <QObject>
#include <vector>

#include "platform/runloop.h"

namespace rl {

class QtRunLoop final : public RunLoop {
 public:
  QtRunLoop() = default;
  ~QtRunLoop() override;
  QtRunLoop(const QtRunLoop&) = delete;
  QtRunLoop& operator=(const QtRunLoop&) = delete;

  void addSource(const RunLoopSourceRef& source) override;
  void removeSource(const RunLoopSourceRef& source) override;

 private:
  void post(const std::weak_ptr<RunLoopSource>& source);

  QObject context_;  // pending performs die with it
  std::vector<RunLoopSourceRef> sources_;
};

}  // namespace rl
