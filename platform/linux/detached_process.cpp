#include "platform/linux/detached_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace sys {
namespace {

// Everything between fork and exec is async-signal-safe: the caller may have other threads.
[[noreturn]] void execDetached(const char* program, char* const* argv, int report, long maxFd) {
  // stdin, stdout and stderr on /dev/null; the report pipe above them, at 3.
  const int moved = ::fcntl(report, F_DUPFD_CLOEXEC, 3);
  if (moved >= 0) report = moved;
  const int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    for (int fd = 0; fd <= 2; ++fd)
      if (null != fd) ::dup2(null, fd);
  }
  if (report != 3 && ::dup3(report, 3, O_CLOEXEC) == 3) report = 3;
  // No other file of the parent stays open.
  if (::close_range(4, UINT_MAX, 0) != 0) {
    for (int fd = 4; fd < maxFd; ++fd) ::close(fd);
  }
  struct sigaction dflt = {};
  dflt.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dflt, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  if (::chdir("/") != 0) {
    // Stays where it was.
  }
  ::execv(program, argv);
  const int error = errno;
  [[maybe_unused]] const ssize_t n = ::write(report, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

bool startDetachedProcess(const std::string& program, const std::vector<std::string>& arguments, int* error) {
  auto fail = [&](int e) {
    if (error) *error = e;
    return false;
  };
  if (program.empty()) return fail(ENOENT);
  // Made before forking: the child may not allocate.
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const long maxFd = ::sysconf(_SC_OPEN_MAX) > 0 ? ::sysconf(_SC_OPEN_MAX) : 1024;

  // The grandchild reports a failed exec through this pipe; a successful exec closes it.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return fail(errno);
  const pid_t child = ::fork();
  if (child < 0) {
    const int e = errno;
    ::close(report[0]);
    ::close(report[1]);
    return fail(e);
  }
  if (child == 0) {
    ::close(report[0]);
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild == 0) execDetached(program.c_str(), argv.data(), report[1], maxFd);
    if (grandchild < 0) {
      const int e = errno;
      [[maybe_unused]] const ssize_t n = ::write(report[1], &e, sizeof e);
    }
    ::_exit(0);  // the grandchild is nobody's child now
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int childError = 0;
  ssize_t got;
  do {
    got = ::read(report[0], &childError, sizeof childError);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (got == static_cast<ssize_t>(sizeof childError)) return fail(childError);
  if (error) *error = 0;
  return true;
}

}  // namespace sys
