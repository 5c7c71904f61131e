#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace files {

std::optional<std::string> readWhole(const std::string& path, size_t maxBytes) {
  // Without O_NONBLOCK, opening a named pipe waits for a writer that may never come.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > maxBytes) {
    ::close(fd);
    return std::nullopt;
  }
  std::string out;
  out.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    if (static_cast<size_t>(n) > maxBytes - out.size()) {  // it grew past the limit
      ::close(fd);
      return std::nullopt;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return out;
}

bool exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

namespace {

std::string parentOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

bool makeDirectories(const std::string& path) {
  if (path.empty()) return false;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  std::string parent = parentOf(path);
  if (parent != path && !makeDirectories(parent)) return false;
  if (::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST) {
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
  return false;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

namespace {

constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path

// The file a write to `path` replaces: the end of its chain of symbolic links (a link that points
// nowhere names the file to create), `path` itself when it is no link. Nothing for a loop.
std::optional<std::string> writeTarget(const std::string& path) {
  std::string p = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
    std::string link(PATH_MAX, '\0');
    const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) return std::nullopt;
    link.resize(static_cast<size_t>(n));
    p = link.front() == '/' ? link : join(parentOf(p), link);
  }
  return std::nullopt;
}

std::string temporaryPrefix(const std::string& target) { return target + ".tmp-"; }

std::string temporaryName(const std::string& target) {
  static std::random_device rd;
  return temporaryPrefix(target) + std::to_string(::getpid()) + "-" + std::to_string(rd());
}

// Removes the temporary files of earlier writes of `target` whose process is gone (killed in the
// middle of a write where files cannot be written without a name).
void removeStaleTemporaries(const std::string& target) {
  const std::string dir = parentOf(target);
  const std::string prefix = temporaryPrefix(target.substr(target.find_last_of('/') + 1));
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  while (const dirent* e = ::readdir(d)) {
    const std::string_view name(e->d_name);
    if (name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());
    const size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || rest.find_first_not_of("0123456789-") != std::string_view::npos)
      continue;
    const long pid = std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    ::unlink(join(dir, name).c_str());
  }
  ::closedir(d);
}

// Writes and flushes, with the given permissions when `keepMode`.
bool fill(int fd, std::string_view bytes, mode_t mode, bool keepMode) {
  if (keepMode) ::fchmod(fd, mode);
  return writeAll(fd, bytes) && ::fsync(fd) == 0;
}

// The complete contents under a temporary name next to `target`: an unnamed file linked in once
// it is complete, else a named one. The name, or nothing.
std::optional<std::string> writeTemporary(const std::string& target, std::string_view bytes, mode_t mode,
                                          bool keepMode) {
  const int unnamed = ::open(parentOf(target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (unnamed >= 0) {
    if (!fill(unnamed, bytes, mode, keepMode)) {
      ::close(unnamed);
      return std::nullopt;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
    std::optional<std::string> linked;
    for (int attempt = 0; attempt < 8 && !linked; ++attempt) {
      const std::string tmp = temporaryName(target);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, tmp.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
          ::linkat(unnamed, "", AT_FDCWD, tmp.c_str(), AT_EMPTY_PATH) == 0)
        linked = tmp;
      else if (errno != EEXIST)
        break;
    }
    if (::close(unnamed) != 0 && linked) {
      ::unlink(linked->c_str());
      return std::nullopt;
    }
    if (linked) return linked;
    // No way to give it a name (no /proc): it is written again under one.
  }

  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string tmp = temporaryName(target);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    const bool ok = fill(fd, bytes, mode, keepMode);
    if (::close(fd) == 0 && ok) return tmp;
    ::unlink(tmp.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

bool writeAtomically(const std::string& path, std::string_view bytes) {
  const std::optional<std::string> target = writeTarget(path);
  if (!target) return false;
  const std::string dir = parentOf(*target);
  if (!makeDirectories(dir)) return false;
  removeStaleTemporaries(*target);

  // Keep the permissions of the file being replaced.
  struct stat st {};
  const bool keepMode = ::stat(target->c_str(), &st) == 0;
  const std::optional<std::string> tmp = writeTemporary(*target, bytes, st.st_mode & 07777, keepMode);
  if (!tmp) return false;
  if (::rename(tmp->c_str(), target->c_str()) != 0) {
    ::unlink(tmp->c_str());
    return false;
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

std::string homeDirectory() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string join(std::string_view base, std::string_view rel) {
  std::string out(base);
  while (!out.empty() && out.back() == '/' && out.size() > 1) out.pop_back();
  while (!rel.empty() && rel.front() == '/') rel.remove_prefix(1);
  if (out.empty()) return std::string(rel);
  if (out.back() != '/') out.push_back('/');
  out.append(rel);
  return out;
}

}  // namespace files
