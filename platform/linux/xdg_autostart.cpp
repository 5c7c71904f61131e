#include "platform/linux/xdg_autostart.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/files.h"
#include "platform/linux/linux_system.h"
#include "platform/text_compare.h"

namespace sys {

namespace xdg {

namespace {

constexpr std::string_view kDesktopEntryGroup = "Desktop Entry";
constexpr std::string_view kBlanks = " \t";

std::string_view trimFront(std::string_view s) {
  const size_t start = s.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view{} : s.substr(start);
}

std::string_view trimBack(std::string_view s) {
  const size_t end = s.find_last_not_of(kBlanks);
  return end == std::string_view::npos ? std::string_view{} : s.substr(0, end + 1);
}

bool hasControlCharacter(std::string_view s) {
  return std::any_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

// A key is a name, optionally followed by "[locale]".
bool isKey(std::string_view key) {
  if (key.empty() || hasControlCharacter(key)) return false;
  const size_t open = key.find('[');
  if (open == std::string_view::npos) return key.find(']') == std::string_view::npos;
  return open > 0 && key.back() == ']' && key.find(']') == key.size() - 1 &&
         key.find('[', open + 1) == std::string_view::npos;
}

// The escapes of string values: \s \n \t \r \\. Any other backslash stays as it is, so that the
// quoting of an Exec value survives for its own reading.
std::string unescapeValue(std::string_view v) {
  std::string out;
  out.reserve(v.size());
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out.push_back(v[i]);
      continue;
    }
    switch (v[i + 1]) {
      case 's': out.push_back(' '); break;
      case 'n': out.push_back('\n'); break;
      case 't': out.push_back('\t'); break;
      case 'r': out.push_back('\r'); break;
      case '\\': out.push_back('\\'); break;
      default:
        out.push_back('\\');
        out.push_back(v[i + 1]);
        break;
    }
    ++i;
  }
  return out;
}

std::string lastComponent(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

std::optional<DesktopEntry> parseDesktopEntry(std::string_view text) {
  if (text.find('\0') != std::string_view::npos || !text::isValidUtf8(text)) return std::nullopt;
  DesktopEntry entry;
  bool sawDesktopEntry = false;
  bool inDesktopEntry = false;
  bool inGroup = false;
  while (!text.empty()) {
    const size_t newline = text.find('\n');
    std::string_view line = text.substr(0, newline);
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    line = trimFront(line);
    if (line.empty() || line.front() == '#') continue;
    if (line.front() == '[') {
      line = trimBack(line);
      if (line.size() < 2 || line.back() != ']') return std::nullopt;
      const std::string_view group = line.substr(1, line.size() - 2);
      if (group.find_first_of("[]") != std::string_view::npos || hasControlCharacter(group))
        return std::nullopt;
      inGroup = true;
      inDesktopEntry = group == kDesktopEntryGroup;
      sawDesktopEntry = sawDesktopEntry || inDesktopEntry;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || !inGroup) return std::nullopt;
    const std::string_view key = trimBack(line.substr(0, equals));
    if (!isKey(key)) return std::nullopt;
    if (!inDesktopEntry) continue;
    const std::string value = unescapeValue(trimFront(line.substr(equals + 1)));
    if (key == "Type") entry.type = value;
    else if (key == "Name") entry.name = value;
    else if (key == "Exec") entry.exec = value;
  }
  if (!sawDesktopEntry) return std::nullopt;
  return entry;
}

std::optional<std::vector<std::string>> execArguments(std::string_view exec,
                                                      std::string_view name,
                                                      std::string_view entryPath) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;
  bool quoted = false;  // a quoted part makes even an empty argument one
  const auto endArgument = [&] {
    if (inArgument && (quoted || !current.empty())) args.push_back(current);
    current.clear();
    inArgument = quoted = false;
  };
  // Field codes: files and URLs stand for none here, nor does the icon.
  const auto fieldCode = [&](char code) {
    if (code == '%') current.push_back('%');
    else if (code == 'c') current.append(name);
    else if (code == 'k') current.append(entryPath);
  };
  const size_t n = exec.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = exec[i];
    if (c == ' ' || c == '\t' || c == '\n') {
      endArgument();
      continue;
    }
    inArgument = true;
    if (c == '"') {
      quoted = true;
      for (++i;; ++i) {
        if (i >= n) return std::nullopt;
        if (exec[i] == '"') break;
        if (exec[i] == '\\' && i + 1 < n && std::strchr("\"`$\\", exec[i + 1]) != nullptr) {
          current.push_back(exec[++i]);
        } else if (exec[i] == '%' && i + 1 < n) {
          fieldCode(exec[++i]);
        } else {
          current.push_back(exec[i]);
        }
      }
    } else if (c == '\'') {
      quoted = true;
      const size_t close = exec.find('\'', i + 1);
      if (close == std::string_view::npos) return std::nullopt;
      current.append(exec.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '\\' && i + 1 < n) {
      current.push_back(exec[++i]);
    } else if (c == '%' && i + 1 < n) {
      fieldCode(exec[++i]);
    } else {
      current.push_back(c);
    }
  }
  endArgument();
  return args;
}

std::optional<std::string> execProgram(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return std::nullopt;
  if (lastComponent(arguments[0]) != "env") return arguments[0];
  // env [OPTION]... [-] [NAME=VALUE]... [PROGRAM [ARG]...]
  size_t i = 1;
  bool options = true;
  while (i < arguments.size()) {
    const std::string& a = arguments[i];
    if (options && a == "--") {
      options = false;
      ++i;
    } else if (options && a.starts_with("--")) {
      if (a.starts_with("--split-string")) return std::nullopt;
      i += (a == "--unset" || a == "--chdir") ? 2 : 1;
    } else if (options && a.size() > 1 && a[0] == '-') {
      // A cluster of short options; -u and -C take the rest or the next argument.
      size_t skip = 1;
      for (size_t k = 1; k < a.size(); ++k) {
        if (a[k] == 'S') return std::nullopt;  // the program hides in a string to split
        if (a[k] == 'u' || a[k] == 'C') {
          if (k + 1 == a.size()) skip = 2;
          break;
        }
      }
      i += skip;
    } else if (a == "-") {
      ++i;
    } else if (a.find('=') != std::string::npos) {
      options = false;
      ++i;
    } else {
      return a;
    }
  }
  return std::nullopt;
}

std::string execValueFor(std::string_view program) {
  std::string out = "\"";
  for (char c : program) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') out.push_back('\\');
    if (c == '%') out.push_back('%');
    out.push_back(c);
  }
  out.push_back('"');
  // GLib looks for the program of an entry before it expands "%%", so it would look for a file
  // that does not exist and drop the entry; through env the program is found after expansion.
  if (!program.empty() && program.front() == '/' && program.find('%') != std::string_view::npos)
    out.insert(0, "env ");
  return out;
}

std::string escapeValue(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == ' ' && i == 0) out += "\\s";
    else out.push_back(c);
  }
  return out;
}

}  // namespace xdg

// ---- the list and its items ----------------------------------------------------------------------

namespace {

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  static std::optional<FileIdentity> of(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
  }
  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
  }
};

class XdgList final : public LSSharedFileList {
 public:
  explicit XdgList(std::string folder) : folder_(std::move(folder)) {}
  const std::string& folder() const { return folder_; }

 private:
  std::string folder_;
};

class XdgItem final : public LSSharedFileListItem {
 public:
  XdgItem(std::string itsFolder, std::string itsPath, FileIdentity itsIdentity,
          xdg::DesktopEntry itsEntry)
      : folder(std::move(itsFolder)),
        entryPath(std::move(itsPath)),
        identity(itsIdentity),
        entry(std::move(itsEntry)) {}
  const std::string folder;
  const std::string entryPath;
  const FileIdentity identity;
  const xdg::DesktopEntry entry;
};

// The entry at `path` as an item, when it is one.
std::shared_ptr<XdgItem> readItem(const std::string& folder, const std::string& path) {
  const std::optional<FileIdentity> identity = FileIdentity::of(path);
  struct stat target {};
  if (!identity || ::stat(path.c_str(), &target) != 0 || !S_ISREG(target.st_mode) ||
      target.st_size > static_cast<off_t>(kMaxAutostartEntrySize))
    return nullptr;
  const std::optional<std::string> text = files::readWhole(path);
  if (!text || text->size() > kMaxAutostartEntrySize) return nullptr;
  std::optional<xdg::DesktopEntry> entry = xdg::parseDesktopEntry(*text);
  if (!entry || entry->type != "Application") return nullptr;
  return std::make_shared<XdgItem>(folder, path, *identity, std::move(*entry));
}

// A program file name of a bundle's information dictionary that can be used as it is.
bool isPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         text::isValidUtf8(name) &&
         std::none_of(name.begin(), name.end(),
                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
}

// The start of an entry's file name: the bundle identifier when it is a plain one, else the
// item's name with everything but letters, digits, '.', '_' and '-' made a '-'.
std::string entryFileBase(const std::string& bundleIdentifier, const std::string& name) {
  const auto plain = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '.' || c == '_' || c == '-';
  };
  std::string base = bundleIdentifier;
  if (base.empty() || !std::all_of(base.begin(), base.end(), plain)) {
    base = name;
    for (char& c : base)
      if (!plain(c)) c = '-';
  }
  base.erase(0, base.find_first_not_of(".-"));
  if (base.size() > 200) base.resize(200);
  return base.empty() ? "login-item" : base;
}

// Renames `from` to `to` unless `to` exists: 0, or the error.
int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without that kind of rename: a hard link refuses a taken name just the same.
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  ::unlink(from.c_str());
  return 0;
}

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

XdgAutostartLoginItems::XdgAutostartLoginItems()
    : XdgAutostartLoginItems(userAutostartFolder(), [] {
        const char* path = std::getenv("PATH");
        return std::string(path != nullptr ? path : "/bin:/usr/bin");
      }()) {}

XdgAutostartLoginItems::XdgAutostartLoginItems(std::string folder, std::string searchPath)
    : folder_(std::move(folder)), searchPath_(std::move(searchPath)) {}

std::string XdgAutostartLoginItems::userAutostartFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string base = (config != nullptr && config[0] == '/')
                               ? std::string(config)
                               : files::join(files::homeDirectory(), ".config");
  return files::join(base, "autostart");
}

LSSharedFileListRef XdgAutostartLoginItems::LSSharedFileListCreate() {
  if (folder_.empty()) return nullptr;
  return std::make_shared<XdgList>(folder_);
}

std::optional<std::vector<LSSharedFileListItemRef>>
XdgAutostartLoginItems::LSSharedFileListCopySnapshot(const LSSharedFileListRef& list) {
  const auto* xdgList = dynamic_cast<const XdgList*>(list.get());
  if (xdgList == nullptr) return std::nullopt;
  const std::string& folder = xdgList->folder();
  std::vector<LSSharedFileListItemRef> items;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) return items;
    return std::nullopt;
  }
  std::vector<std::string> names;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (e == nullptr) break;
    const std::string_view name = e->d_name;
    if (name.size() > 8 && name.ends_with(".desktop")) names.emplace_back(name);
  }
  const bool complete = errno == 0;
  ::closedir(dir);
  if (!complete) return std::nullopt;
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (auto item = readItem(folder, files::join(folder, name))) items.push_back(std::move(item));
  }
  return items;
}

std::optional<std::string> XdgAutostartLoginItems::findProgram(const std::string& program) const {
  if (program.empty()) return std::nullopt;
  if (program.find('/') != std::string::npos) {
    if (program.front() != '/' || !isRegularFile(program)) return std::nullopt;
    return fileLocation(program);
  }
  std::string_view rest = searchPath_;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (folder.empty() || folder.front() != '/') continue;  // no working folder at login
    const std::string candidate = files::join(folder, program);
    if (isRegularFile(candidate) && ::access(candidate.c_str(), X_OK) == 0)
      return fileLocation(candidate);
  }
  return std::nullopt;
}

std::optional<std::string> XdgAutostartLoginItems::locationOfExec(std::string_view exec,
                                                                  std::string_view name,
                                                                  std::string_view entryPath) const {
  const auto args = xdg::execArguments(exec, name, entryPath);
  if (!args) return std::nullopt;
  const std::optional<std::string> program = xdg::execProgram(*args);
  if (!program) return std::nullopt;
  std::optional<std::string> location = findProgram(*program);
  if (!location) return std::nullopt;
  // ".../<X>.app/Contents/MacOS/<exe>" is the program of the bundle "<X>.app".
  const size_t exeSlash = location->rfind('/');
  const std::string_view head = std::string_view(*location).substr(0, exeSlash);
  constexpr std::string_view kInside = "/Contents/MacOS";
  if (head.ends_with(kInside)) {
    const std::string_view bundle = head.substr(0, head.size() - kInside.size());
    const std::string_view bundleName = bundle.substr(bundle.rfind('/') + 1);
    if (bundleName.size() > 4 && bundleName.ends_with(".app")) return std::string(bundle);
  }
  return location;
}

OSStatus XdgAutostartLoginItems::LSSharedFileListItemResolve(const LSSharedFileListItemRef& item,
                                                            std::string* location) {
  const auto* xdgItem = dynamic_cast<const XdgItem*>(item.get());
  if (xdgItem == nullptr || location == nullptr) return paramErr;
  if (!xdgItem->entry.exec) return fnfErr;
  const std::optional<std::string> found = locationOfExec(
      *xdgItem->entry.exec, xdgItem->entry.name.value_or(""), xdgItem->entryPath);
  if (!found) return fnfErr;
  *location = *found;
  return noErr;
}

std::optional<std::string> XdgAutostartLoginItems::LSSharedFileListItemCopyDisplayName(
    const LSSharedFileListItemRef& item) {
  const auto* xdgItem = dynamic_cast<const XdgItem*>(item.get());
  return xdgItem ? xdgItem->entry.name : std::nullopt;
}

OSStatus XdgAutostartLoginItems::LSSharedFileListItemRemove(const LSSharedFileListRef& list,
                                                           const LSSharedFileListItemRef& item) {
  const auto* xdgList = dynamic_cast<const XdgList*>(list.get());
  const auto* xdgItem = dynamic_cast<const XdgItem*>(item.get());
  if (xdgList == nullptr || xdgItem == nullptr || xdgItem->folder != xdgList->folder())
    return paramErr;
  const std::optional<FileIdentity> now = FileIdentity::of(xdgItem->entryPath);
  if (!now) return fnfErr;
  if (!(*now == xdgItem->identity)) return ioErr;  // someone rewrote or replaced the entry
  if (::unlink(xdgItem->entryPath.c_str()) != 0) return errno == ENOENT ? fnfErr : ioErr;
  return noErr;
}

LSSharedFileListItemRef XdgAutostartLoginItems::LSSharedFileListInsertItemURL(
    const LSSharedFileListRef& list, const std::string& path) {
  const auto* xdgList = dynamic_cast<const XdgList*>(list.get());
  if (xdgList == nullptr || path.empty() || !text::isValidUtf8(path)) return nullptr;
  const std::string& folder = xdgList->folder();
  const std::string location = fileLocation(path);
  struct stat st {};
  if (::stat(location.c_str(), &st) != 0) return nullptr;

  const std::string last = lastPathComponent(location);
  std::string name;
  std::string program;
  std::string bundleIdentifier;
  if (S_ISDIR(st.st_mode) && last.size() > 4 && last.ends_with(".app")) {
    name = last.substr(0, last.size() - 4);
    std::string executable;
    if (pl::DictRef info = InfoPlistBundleReader().infoDictionary(location)) {
      executable = info->stringValue("CFBundleExecutable");
      bundleIdentifier = info->stringValue("CFBundleIdentifier");
    }
    if (!isPlainFileName(executable)) executable = name;
    program = files::join(location, "Contents/MacOS/" + executable);
  } else if (S_ISREG(st.st_mode)) {
    name = last;
    program = location;
  } else {
    return nullptr;
  }
  if (!isRegularFile(program)) return nullptr;
  const std::string exec = xdg::execValueFor(program);
  // An entry that would not be recognised as this path's item would be added again and again.
  if (locationOfExec(exec, name, {}) != location) return nullptr;

  const std::string text = "[Desktop Entry]\nType=Application\nName=" + xdg::escapeValue(name) +
                           "\nExec=" + xdg::escapeValue(exec) + "\nTerminal=false\n";
  const std::string base = entryFileBase(bundleIdentifier, name);
  const std::string staging = files::join(
      folder, "." + base + ".desktop.new-" + std::to_string(::getpid()) + "-" +
                  std::to_string(std::random_device{}()));
  if (!files::writeAtomically(staging, text)) return nullptr;
  for (int n = 1; n <= 100; ++n) {
    const std::string target =
        files::join(folder, base + (n == 1 ? "" : "-" + std::to_string(n)) + ".desktop");
    const int error = renameWithoutReplacing(staging, target);
    if (error == EEXIST) continue;
    if (error != 0) break;
    syncFolder(folder);
    return readItem(folder, target);
  }
  ::unlink(staging.c_str());
  return nullptr;
}

}  // namespace sys
