#include "platform/linux/desktop_applications.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "platform/bundle.h"
#include "platform/files.h"
#include "platform/linux/desktop_entry.h"
#include "platform/text_compare.h"

namespace sys::xdg {

namespace {

constexpr int kMaxDepth = 4;
constexpr size_t kMaxFiles = 20000;

int64_t changeTime(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

std::string envFolder(const char* variable, std::string_view fallbackUnderHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  return files::join(files::homeDirectory(), fallbackUnderHome);
}

std::vector<std::string> envFolderList(const char* variable, std::string_view fallback) {
  const char* value = std::getenv(variable);
  std::string_view rest = (value != nullptr && *value != '\0') ? std::string_view(value) : fallback;
  std::vector<std::string> out;
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string_view folder = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (!folder.empty() && folder.front() == '/') out.emplace_back(folder);
  }
  return out;
}

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "org.gnome.Calculator.desktop", "/usr/share/applications/x.desktop", "x" -> the id "x".
std::string idOfApplicationId(std::string_view applicationId) {
  std::string id = fileNameOf(applicationId);
  if (id.size() > 8 && id.ends_with(".desktop")) id.resize(id.size() - 8);
  return id;
}

std::string lastDotPart(std::string_view id) {
  const size_t dot = id.rfind('.');
  return std::string(dot == std::string_view::npos ? id : id.substr(dot + 1));
}

}  // namespace

void addProcessProgram(WindowHints& hints, uint32_t pid, std::string_view procRoot) {
  if (pid == 0) return;
  const std::string base = files::join(procRoot, std::to_string(pid));
  std::string target(4096, '\0');
  const ssize_t n = ::readlink(files::join(base, "exe").c_str(), target.data(), target.size());
  if (n > 0 && static_cast<size_t>(n) < target.size()) {
    target.resize(static_cast<size_t>(n));
    // A program replaced while it runs (an update) is shown with this mark.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) target.resize(target.size() - kDeleted.size());
    hints.programPath = target;
  }
  if (auto cmdline = files::readWhole(files::join(base, "cmdline")))
    hints.argv0 = cmdline->substr(0, cmdline->find('\0'));
}

ApplicationIdentity identityOf(const Application& app) {
  ApplicationIdentity id;
  id.bundleIdentifier = app.id;
  id.name = app.name.empty() ? app.id : app.name;
  id.localizedName = app.localizedName.empty() ? id.name : app.localizedName;
  id.executable = fileNameOf(app.program);
  if (app.id == kSettingsHostId) {
    id.bundleIdentifier = kSystemPreferencesBundleId;
    id.signature = kSystemPreferencesSignature;
  }
  return id;
}

ApplicationIdentity identityOfWindow(const WindowHints& hints) {
  ApplicationIdentity id;
  id.executable = fileNameOf(!hints.programPath.empty() ? hints.programPath
                             : !hints.argv0.empty()     ? hints.argv0
                                                        : hints.instance);
  id.name = !hints.windowClass.empty() ? hints.windowClass
            : !hints.instance.empty()  ? hints.instance
                                       : id.executable;
  id.localizedName = id.name;
  if (hints.windowClass == kSettingsHostId || hints.instance == kSettingsHostId ||
      id.executable == kSettingsHostId) {
    id.bundleIdentifier = kSystemPreferencesBundleId;
    id.signature = kSystemPreferencesSignature;
  }
  return id;
}

pl::DictRef infoDictionaryOf(const ApplicationIdentity& identity) {
  pl::DictRef info = pl::makeDict();
  const auto set = [&](const char* key, const std::string& value) {
    if (!value.empty()) info->setString(key, value);
  };
  set("CFBundleIdentifier", identity.bundleIdentifier);
  set("CFBundleName", identity.name);
  set("CFBundleDisplayName", identity.localizedName);
  set("CFBundleExecutable", identity.executable);
  set("CFBundleSignature", identity.signature);
  return info;
}

DesktopFolders DesktopFolders::user() {
  DesktopFolders f;
  const std::string dataHome = envFolder("XDG_DATA_HOME", ".local/share");
  const std::vector<std::string> dataDirs = envFolderList("XDG_DATA_DIRS", "/usr/local/share/:/usr/share/");
  f.applications.push_back(files::join(dataHome, "applications"));
  for (const std::string& d : dataDirs) f.applications.push_back(files::join(d, "applications"));
  f.mimeappsFolders.push_back(envFolder("XDG_CONFIG_HOME", ".config"));
  for (const std::string& d : envFolderList("XDG_CONFIG_DIRS", "/etc/xdg")) f.mimeappsFolders.push_back(d);
  for (const std::string& d : f.applications) f.mimeappsFolders.push_back(d);
  if (const char* desktops = std::getenv("XDG_CURRENT_DESKTOP")) {
    std::string_view rest = desktops;
    while (!rest.empty()) {
      const size_t colon = rest.find(':');
      if (colon != 0) f.desktops.push_back(lower(rest.substr(0, colon)));
      rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    }
  }
  const char* path = std::getenv("PATH");
  f.searchPath = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  f.locale = platform::userLocaleName();
  return f;
}

ApplicationIndex::ApplicationIndex(DesktopFolders folders) : folders_(std::move(folders)) {}

bool ApplicationIndex::changed() const {
  return std::any_of(stamps_.begin(), stamps_.end(),
                     [](const auto& s) { return changeTime(s.first) != s.second; });
}

void ApplicationIndex::refresh() {
  if (!loaded_ || changed()) load();
}

void ApplicationIndex::load() {
  loaded_ = true;
  apps_.clear();
  byId_.clear();
  stamps_.clear();
  std::set<std::string, std::less<>> taken;  // ids decided by a more important folder
  size_t files = 0;
  for (const std::string& top : folders_.applications) {
    std::vector<Application> found;
    // Each folder with the id prefix of its entries ("" at the top, "kde4-" below "kde4").
    std::vector<std::pair<std::string, std::pair<std::string, int>>> pending{{top, {"", 0}}};
    while (!pending.empty()) {
      auto [folder, where] = pending.back();
      pending.pop_back();
      const auto& [prefix, depth] = where;
      stamps_.emplace_back(folder, changeTime(folder));
      DIR* dir = ::opendir(folder.c_str());
      if (dir == nullptr) continue;
      std::vector<std::string> names;
      while (const dirent* e = ::readdir(dir)) {
        const std::string_view n = e->d_name;
        if (n != "." && n != ".." && ++files <= kMaxFiles) names.emplace_back(n);
      }
      ::closedir(dir);
      for (const std::string& n : names) {
        const std::string path = files::join(folder, n);
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
          if (depth < kMaxDepth) pending.push_back({path, {prefix + n + "-", depth + 1}});
          continue;
        }
        if (n.size() <= 8 || !n.ends_with(".desktop")) continue;
        const std::string id = prefix + n.substr(0, n.size() - 8);
        if (taken.count(id)) continue;
        const std::optional<DesktopEntry> entry = readDesktopEntry(path);
        if (!entry) continue;
        taken.insert(id);  // even a deleted or non-application entry decides its id
        if (entry->hidden || entry->type != "Application") continue;
        Application app;
        app.id = id;
        app.path = path;
        app.name = entry->name.value_or("");
        app.localizedName = entry->nameFor(folders_.locale);
        if (entry->exec) app.program = execProgramOf(*entry->exec).value_or("");
        app.startupWMClass = entry->startupWMClass.value_or("");
        app.icon = entry->icon.value_or("");
        app.mimeTypes = entry->mimeTypes;
        app.noDisplay = entry->noDisplay;
        found.push_back(std::move(app));
      }
    }
    std::sort(found.begin(), found.end(), [](const Application& a, const Application& b) { return a.id < b.id; });
    for (Application& app : found) apps_.push_back(std::move(app));
  }
  for (size_t i = 0; i < apps_.size(); ++i) byId_.emplace(apps_[i].id, i);
}

const std::vector<Application>& ApplicationIndex::applications() {
  refresh();
  return apps_;
}

const Application* ApplicationIndex::byId(std::string_view id) {
  refresh();
  const auto it = byId_.find(id);
  return it == byId_.end() ? nullptr : &apps_[it->second];
}

const Application* ApplicationIndex::byName(std::string_view name) {
  refresh();
  if (name.empty()) return nullptr;
  for (const Application& a : apps_)
    if (text::equalsIgnoringCase(a.id, name)) return &a;
  for (const Application& a : apps_)
    if (text::equalsIgnoringCase(a.name, name)) return &a;
  return nullptr;
}

const Application* ApplicationIndex::forWindow(const WindowHints& hints, std::string* how) {
  refresh();
  // The first application that passes the test, shown ones before hidden ones.
  const auto first = [this](const auto& test) -> const Application* {
    const Application* hidden = nullptr;
    for (const Application& a : apps_) {
      if (!test(a)) continue;
      if (!a.noDisplay) return &a;
      if (hidden == nullptr) hidden = &a;
    }
    return hidden;
  };
  const auto found = [how](const Application* a, const char* step) {
    if (a != nullptr && how != nullptr) *how = step;
    return a;
  };
  std::vector<std::string> classes;
  for (const std::string* c : {&hints.windowClass, &hints.instance})
    if (!c->empty()) classes.push_back(*c);

  if (!hints.applicationId.empty()) {
    const std::string id = idOfApplicationId(hints.applicationId);
    if (const auto it = byId_.find(id); it != byId_.end()) return found(&apps_[it->second], "application id");
    if (const Application* a = first([&](const Application& x) { return text::equalsIgnoringCase(x.id, id); }))
      return found(a, "application id");
  }
  for (const std::string& c : classes)
    if (const Application* a = first([&](const Application& x) { return x.startupWMClass == c; }))
      return found(a, "StartupWMClass");
  for (const std::string& c : classes)
    if (const Application* a = first([&](const Application& x) {
          return !x.startupWMClass.empty() && text::equalsIgnoringCase(x.startupWMClass, c);
        }))
      return found(a, "StartupWMClass");
  for (const std::string& c : classes)
    if (const Application* a = first([&](const Application& x) { return text::equalsIgnoringCase(x.id, c); }))
      return found(a, "desktop id");
  for (const std::string& c : classes)
    if (const Application* a = first([&](const Application& x) { return text::equalsIgnoringCase(lastDotPart(x.id), c); }))
      return found(a, "desktop id");
  std::vector<std::string> programs;
  for (const std::string* p : {&hints.programPath, &hints.argv0, &hints.instance})
    if (!p->empty()) programs.push_back(fileNameOf(*p));
  for (const std::string& p : programs)
    if (const Application* a = first([&](const Application& x) { return !x.program.empty() && fileNameOf(x.program) == p; }))
      return found(a, "program");
  return nullptr;
}

const Application* ApplicationIndex::defaultFor(std::string_view mimeType) {
  refresh();
  if (mimeType.empty()) return nullptr;
  std::vector<KeyFile> lists;
  for (const std::string& folder : folders_.mimeappsFolders) {
    for (const std::string& desktop : folders_.desktops)
      if (auto f = readKeyFile(files::join(folder, desktop + "-mimeapps.list"))) lists.push_back(std::move(*f));
    if (auto f = readKeyFile(files::join(folder, "mimeapps.list"))) lists.push_back(std::move(*f));
  }
  for (const char* group : {"Default Applications", "Added Associations"}) {
    for (const KeyFile& list : lists) {
      const std::optional<std::string> ids = list.value(group, mimeType);
      if (!ids) continue;
      for (size_t start = 0; start < ids->size();) {
        const size_t end = std::min(ids->find(';', start), ids->size());
        const auto it = byId_.find(idOfApplicationId(std::string_view(*ids).substr(start, end - start)));
        if (it != byId_.end()) return &apps_[it->second];
        start = end + 1;
      }
    }
  }
  for (const Application& a : apps_)
    if (std::find(a.mimeTypes.begin(), a.mimeTypes.end(), mimeType) != a.mimeTypes.end()) return &a;
  return nullptr;
}

}  // namespace sys::xdg
