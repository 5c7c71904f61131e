// The blocking waits of button actions (a quarter second after pasting, one-second looks while
// an application starts), behind an interface so that tests do not wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

class ActionSleeper {
 public:
  virtual ~ActionSleeper() = default;
  virtual void sleepMicroseconds(uint32_t us) = 0;
};

class ThreadActionSleeper final : public ActionSleeper {
 public:
  void sleepMicroseconds(uint32_t us) override {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
};
