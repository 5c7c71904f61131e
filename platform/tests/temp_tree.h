// Test support: a temporary folder tree, and running a piece of a test without the privileges
// of root, so that folder permissions hold as they do for a user.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace testing_support {

class TempTree {
 public:
  TempTree() {
    char pattern[] = "/tmp/vantrel-tree-XXXXXX";
    root_ = ::mkdtemp(pattern);
    ::chmod(root_.c_str(), 0755);  // readable by the unprivileged user of runUnprivileged
  }
  ~TempTree() {
    std::error_code ignored;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_, ignored))
      if (e.is_directory(ignored) && !e.is_symlink(ignored)) ::chmod(e.path().c_str(), 0755);
    std::filesystem::remove_all(root_, ignored);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  std::string path(std::string_view rel) const { return files::join(root_, rel); }

  // Writes a file (creating its folders) and returns its path.
  std::string write(std::string_view rel, std::string_view bytes, mode_t mode = 0644) const {
    const std::string p = path(rel);
    files::writeAtomically(p, bytes);
    ::chmod(p.c_str(), mode);
    return p;
  }
  std::string program(std::string_view rel) const { return write(rel, "#!/bin/sh\n", 0755); }
  std::string folder(std::string_view rel) const {
    const std::string p = path(rel);
    files::makeDirectories(p);
    return p;
  }

 private:
  std::string root_;
};

// Runs `body` in a child process, as the user "nobody" when this process is root, and returns
// its result (0 to 125), or -1 when the child did not end normally. The child ends without
// running destructors or exit handlers of this process.
inline int runUnprivileged(const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0) {
      const passwd* nobody = ::getpwnam("nobody");
      if (nobody == nullptr || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 ||
          ::setuid(nobody->pw_uid) != 0)
        ::_exit(126);
    }
    ::_exit(body());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace testing_support
