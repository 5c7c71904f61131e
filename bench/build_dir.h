// Where the benchmarks that run the programs find them: the build folder this benchmark program
// lies in (<build>/bench/<program>), or the folder VANTREL_BIN_DIR names (to measure another
// build the same way).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace benchsupport {

inline std::string buildDir() {
  if (const char* dir = std::getenv("VANTREL_BIN_DIR"); dir && *dir) return dir;
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<size_t>(n));
  exe = exe.substr(0, exe.rfind('/'));   // <build>/bench
  return exe.substr(0, exe.rfind('/'));  // <build>
}

}  // namespace benchsupport
