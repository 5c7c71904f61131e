// A script runner for tests: it records the sources it was asked to run.
#pragma once

#include <vector>

#include "platform/script_runner.h"

namespace sys {

class FakeScriptRunner final : public ScriptRunner {
 public:
  int32_t runAppleScript(const std::string& source) override {
    sources.push_back(source);
    return result;
  }
  std::vector<std::string> sources;
  int32_t result = 0;
};

}  // namespace sys
