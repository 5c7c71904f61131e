// Running a user's script (button command "run script"). The runtime backend is
// ShellScriptRunner (platform/qt/shell_script_runner.h: the text through /bin/sh, detached); the
// test double is platform/fake/fake_script_runner.h.
#pragma once

#include <cstdint>
#include <string>

#include "platform/status_codes.h"

namespace sys {

class ScriptRunner {
 public:
  virtual ~ScriptRunner() = default;
  // Compiles and runs the source to its end; the status (0 when it ran without error).
  virtual int32_t runAppleScript(const std::string& source) = 0;
};

}  // namespace sys
