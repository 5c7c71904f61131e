// Blocking waits: the helper's 15 ms after activating the driver's keyboard, the actions' quarter
// second after pasting a snippet and one-second looks while an application starts. Behind an
// interface so that tests do not wait (platform/fake/fake_sleeper.h).
#pragma once

#include <chrono>
#include <thread>

namespace sys {

class Sleeper {
 public:
  virtual ~Sleeper() = default;
  virtual void sleepFor(std::chrono::microseconds duration) = 0;
};

// Blocks the calling thread.
class ThreadSleeper final : public Sleeper {
 public:
  void sleepFor(std::chrono::microseconds duration) override { std::this_thread::sleep_for(duration); }
};

}  // namespace sys
