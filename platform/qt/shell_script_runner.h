// The "run script" command on Linux: the script's text is run by "/bin/sh -c" as the user,
// detached from the helper (QProcess::startDetached: a session of its own, not the helper's
// child; standard input, output and error on /dev/null; the helper's working folder), and not
// waited for: a script that runs for a minute must not keep the buttons from working. The status
// says whether it could be started, not how it ended; text with a NUL byte is no script.
#pragma once

#include <QString>
#include <functional>

#include "platform/script_runner.h"

class ShellScriptRunner final : public sys::ScriptRunner {
 public:
  // The shell that runs the text.
  explicit ShellScriptRunner(QString shell = QStringLiteral("/bin/sh"));
  int32_t runAppleScript(const std::string& source) override;
  // The process id of the last script started (0: none).
  qint64 lastProcessId() const { return last_; }

 private:
  QString shell_;
  qint64 last_ = 0;
};
