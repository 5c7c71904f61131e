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
  if (!identity) return nullptr;
  std::optional<xdg::DesktopEntry> entry = xdg::readDesktopEntry(path);
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

std::optional<std::string> XdgAutostartLoginItems::locationOfExec(std::string_view exec,
                                                                  std::string_view name,
                                                                  std::string_view entryPath) const {
  const auto args = xdg::execArguments(exec, name, entryPath);
  if (!args) return std::nullopt;
  const std::optional<std::string> program = xdg::execProgram(*args);
  if (!program) return std::nullopt;
  std::optional<std::string> location = xdg::findProgram(*program, searchPath_);
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
