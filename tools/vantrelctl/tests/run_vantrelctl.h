// The tests of vantrelctl's commands run the tool as a user runs it: one JSON object on standard
// output, a message on standard error and a non-zero status for bad input. VANTRELCTL is the
// tool's path (vantrel_ctl_test in cmake/Warnings.cmake defines it).
#pragma once

#include <nlohmann/json.hpp>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace ctltest {

struct CtlRun {
  int status = -1;
  std::string out;
  nlohmann::json json() const { return nlohmann::json::parse(out); }
};

// Runs `vantrelctl ARGS` through the shell, after the environment assignments in `environment`
// ("HOME=/x LANG=C"). Captures standard output, or standard error instead when `errorsToo`.
inline CtlRun runVantrelctl(const std::string& args, const std::string& environment = "",
                            bool errorsToo = false) {
  CtlRun r;
  const std::string cmd = environment + (environment.empty() ? "" : " ") + VANTRELCTL + " " + args +
                          (errorsToo ? " 2>&1 >/dev/null" : " 2>/dev/null");
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

}  // namespace ctltest
