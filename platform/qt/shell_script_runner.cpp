#include "platform/qt/shell_script_runner.h"

#include <QProcess>

ShellScriptRunner::ShellScriptRunner(QString shell) : shell_(std::move(shell)) {}

int32_t ShellScriptRunner::runAppleScript(const std::string& source) {
  if (source.empty() || source.find('\0') != std::string::npos) return sys::kOSAScriptError;
  QProcess process;
  process.setProgram(shell_);
  process.setArguments({QStringLiteral("-c"), QString::fromStdString(source)});
  process.setStandardInputFile(QProcess::nullDevice());
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  qint64 pid = 0;
  if (!process.startDetached(&pid)) return sys::kOSAScriptError;
  last_ = pid;
  return sys::noErr;
}
