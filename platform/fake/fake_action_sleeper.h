// A sleeper for tests: it records each wait and advances a virtual clock instead of waiting.
// Events that would arrive during a wait can be delivered from `whileSleeping`.
#pragma once

#include <functional>
#include <vector>

#include "platform/action_sleeper.h"

class FakeActionSleeper final : public ActionSleeper {
 public:
  void sleepMicroseconds(uint32_t us) override {
    sleeps.push_back(us);
    nowMicroseconds += us;
    if (whileSleeping) whileSleeping();
  }
  std::function<void()> whileSleeping;  // runs during each wait (events that arrive meanwhile)
  std::vector<uint32_t> sleeps;
  uint64_t nowMicroseconds = 0;
};
