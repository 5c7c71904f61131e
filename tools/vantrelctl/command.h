// vantrelctl's sub-commands register themselves here; each lives in its own source file.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ctl {

// Thrown for bad arguments or unreadable input: main prints the message and exits with 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

using Args = std::vector<std::string>;
// A command prints one JSON object on standard output and returns the exit status.
using CommandFn = int (*)(const Args& args);

struct Registration {
  Registration(const char* name, const char* usage, CommandFn fn);
};

// Argument helpers shared by the commands.
// The value after `--flag`, if the flag is present. A flag without a value is a UsageError.
std::optional<std::string> option(const Args& args, const std::string& flag);
bool hasFlag(const Args& args, const std::string& flag);
// Decimal or 0x-hex, within [min, max]; anything else is a UsageError naming `what`.
long long parseNumber(const std::string& text, const std::string& what, long long min, long long max);
// Arguments that are neither flags nor the values of the given value-taking flags.
Args positionals(const Args& args, const std::vector<std::string>& valueFlags);
// Rejects any `--flag` not in `known`.
void checkFlags(const Args& args, const std::vector<std::string>& known);

// JSON text of `j`. Text that is not valid UTF-8 (a file's strings, a path, an argument) comes out
// with U+FFFD in place of each byte that does not fit: printing never fails a command.
std::string dump(const nlohmann::json& j);
// Prints dump(j) and a newline on standard output.
void print(const nlohmann::json& j);

}  // namespace ctl
