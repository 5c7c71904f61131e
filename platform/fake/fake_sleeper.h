// A sleeper for tests: it records each wait and advances a virtual clock instead of waiting.
// Events that would arrive during a wait can be delivered from `whileSleeping`.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/sleeper.h"

namespace sys {

class FakeSleeper final : public Sleeper {
 public:
  void sleepFor(std::chrono::microseconds d) override {
    sleeps.push_back(d);
    nowMicroseconds += static_cast<uint64_t>(d.count());
    if (whileSleeping) whileSleeping();
  }
  // The waits so far in microseconds.
  std::vector<uint32_t> microseconds() const {
    std::vector<uint32_t> out;
    for (const auto& d : sleeps) out.push_back(static_cast<uint32_t>(d.count()));
    return out;
  }

  std::vector<std::chrono::microseconds> sleeps;
  std::function<void()> whileSleeping;  // runs during each wait (events that arrive meanwhile)
  uint64_t nowMicroseconds = 0;
};

}  // namespace sys
