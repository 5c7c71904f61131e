// Run-loop sources: work that a producer hands to the main thread's event loop.
//
// A producer (an IOKit notification port, for instance) owns a RunLoopSource whose perform
// function does the pending work. It calls `signal()` whenever there is something to do; the
// loop the source was added to then calls `perform()` once, soon, on its own thread. Signals
// that arrive before the loop got round to it are merged into one perform. A source that was not
// added to any loop just stays signalled.
//
// Loops: ManualRunLoop (here) performs signalled sources only when asked, which makes tests and
// benchmarks deterministic; the Qt event loop is in platform/qt/qt_runloop.h.
#pragma once

#include <functional>
#include <memory>
#include <vector>

namespace rl {

class RunLoopSource {
 public:
  explicit RunLoopSource(std::function<void()> perform) : perform_(std::move(perform)) {}
  RunLoopSource(const RunLoopSource&) = delete;
  RunLoopSource& operator=(const RunLoopSource&) = delete;

  // Marks the source as having work and wakes its loop (only the first signal of a batch does).
  void signal();
  bool isSignalled() const { return signalled_; }
  // Clears the mark and runs the work; does nothing once invalidated. Called by the loop.
  void perform();
  // The source never performs again (its owner is going away).
  void invalidate();
  bool isValid() const { return valid_; }

  // Set by the loop the source is added to: how to ask that loop to perform the source.
  void setWakeup(std::function<void()> wakeup) { wakeup_ = std::move(wakeup); }

 private:
  std::function<void()> perform_;
  std::function<void()> wakeup_;
  bool signalled_ = false;
  bool valid_ = true;
};

using RunLoopSourceRef = std::shared_ptr<RunLoopSource>;

class RunLoop {
 public:
  virtual ~RunLoop() = default;
  // The loop performs the source whenever it is signalled, from now on; work that was signalled
  // before is performed too.
  virtual void addSource(const RunLoopSourceRef& source) = 0;
  virtual void removeSource(const RunLoopSourceRef& source) = 0;
};

// A loop that performs signalled sources only in `runPending()`.
class ManualRunLoop final : public RunLoop {
 public:
  void addSource(const RunLoopSourceRef& source) override;
  void removeSource(const RunLoopSourceRef& source) override;
  // Performs signalled sources, in the order they were added, until none is signalled (work that
  // a perform signals is done in the same call). Returns how many performs ran.
  size_t runPending();
  size_t sourceCount() const { return sources_.size(); }
  bool contains(const RunLoopSourceRef& source) const;

 private:
  std::vector<RunLoopSourceRef> sources_;
};

}  // namespace rl
