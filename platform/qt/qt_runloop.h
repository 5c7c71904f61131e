// The Qt event loop as the run loop of platform/runloop.h: a signalled source is performed from
// the event loop of the thread that created the QtRunLoop (the main thread), once per batch of
// signals.
//
// Sources run in the default mode only: while a nested event loop runs on top of the main one
// (a pop-up menu tracking, a wait that keeps the event loop turning), a signalled source waits
// and is performed once the main loop is back in charge.
#pragma once

#include <QObject>
#include <vector>

#include "platform/runloop.h"

namespace rl {

// Whether the calling thread's event loop is its outermost one (no nested loop runs on top).
bool inDefaultMode();

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
  void performOrWait(const std::weak_ptr<RunLoopSource>& source);

  QObject context_;  // pending performs die with it
  std::vector<RunLoopSourceRef> sources_;
};

}  // namespace rl
