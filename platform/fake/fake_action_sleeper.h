// A sleeper for tests: it records each wait and advances a virtual clock instead of waiting.
#pragma once

#include <vector>

#include "platform/action_sleeper.h"

class FakeActionSleeper final : public ActionSleeper {
 public:
  void sleepMicroseconds(uint32_t us) override {
    sleeps.push_back(us);
    nowMicroseconds += us;
  }
  std::vector<uint32_t> sleeps;
  uint64_t nowMicroseconds = 0;
};
