#include "pane/application_list.h"

#include <algorithm>
#include <sys/stat.h>

#include "platform/bundle.h"
#include "platform/files.h"
#include "platform/linux/desktop_entry.h"
#include "platform/text_compare.h"

namespace appchoice {

namespace {

void setIfAny(const pl::DictRef& dict, const char* key, const std::string& value) {
  if (!value.empty()) dict->setString(key, value);
}

// The first non-empty of the names an application is known by.
std::string displayNameFor(const ChosenApplication& app) {
  for (const pl::DictRef& d : {app.localizedInfo, app.info}) {
    if (!d) continue;
    for (const char* key : {"CFBundleName", "CFBundleExecutable"}) {
      std::string v = d->stringValue(key);
      if (!v.empty()) return v;
    }
  }
  return sys::xdg::fileNameOf(app.path);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

pl::DictRef ChosenApplication::targetAppValues() const {
  pl::DictRef values = pl::makeDict();
  if (!info) return values;
  static constexpr std::pair<const char*, const char*> kKeys[] = {
      {"CFBundleIdentifier", "app bundle id"},
      {"CFBundleName", "app bundle name"},
      {"CFBundleExecutable", "app executable"},
      {"CFBundleSignature", "app signature"},
  };
  for (const auto& [from, to] : kKeys) {
    if (pl::StringRef s = info->getStringObject(from)) values->setString(to, s->value());
  }
  return values;
}

ChosenApplication fromDesktopApplication(const sys::xdg::Application& app) {
  ChosenApplication chosen;
  chosen.source = Source::DesktopEntry;
  chosen.path = app.path;
  chosen.launchName = app.id;
  chosen.icon = app.icon;
  const sys::xdg::ApplicationIdentity identity = sys::xdg::identityOf(app);
  chosen.info = pl::makeDict();
  setIfAny(chosen.info, "CFBundleIdentifier", identity.bundleIdentifier);
  setIfAny(chosen.info, "CFBundleName", identity.name);
  setIfAny(chosen.info, "CFBundleExecutable", identity.executable);
  setIfAny(chosen.info, "CFBundleSignature", identity.signature);
  if (!app.localizedName.empty()) {
    chosen.localizedInfo = pl::makeDict();
    chosen.localizedInfo->setString("CFBundleName", app.localizedName);
  }
  chosen.displayName = displayNameFor(chosen);
  return chosen;
}

ChosenApplication fromDesktopEntryFile(const std::string& path, std::string_view locale) {
  ChosenApplication chosen;
  chosen.source = Source::DesktopEntry;
  chosen.path = path;
  std::string id = sys::xdg::fileNameOf(path);
  if (endsWith(id, ".desktop")) id.resize(id.size() - 8);
  chosen.launchName = path;
  const std::optional<sys::xdg::DesktopEntry> entry = sys::xdg::readDesktopEntry(path);
  if (entry && !entry->hidden && (!entry->type || *entry->type == "Application")) {
    sys::xdg::Application app;
    app.id = id;
    app.path = path;
    app.name = entry->name.value_or("");
    app.localizedName = entry->nameFor(locale);
    if (entry->exec) app.program = sys::xdg::execProgramOf(*entry->exec).value_or("");
    app.icon = entry->icon.value_or("");
    chosen = fromDesktopApplication(app);
    chosen.launchName = path;
    return chosen;
  }
  chosen.displayName = displayNameFor(chosen);
  return chosen;
}

ChosenApplication fromBundleFolder(const std::string& path, const std::vector<std::string>& languages) {
  ChosenApplication chosen;
  chosen.source = Source::BundleFolder;
  chosen.path = path;
  chosen.launchName = path;
  std::optional<platform::Bundle> bundle = platform::Bundle::withBundlePath(path, std::string("en"));
  if (bundle && bundle->infoDictionary()) {
    chosen.info = pl::makeDict();
    for (const char* key : {"CFBundleIdentifier", "CFBundleName", "CFBundleExecutable", "CFBundleSignature"}) {
      // Only text counts; an entry of another type is as good as none.
      if (pl::StringRef s = bundle->infoDictionary()->getStringObject(key)) chosen.info->setString(key, s->value());
    }
    for (const std::string& language : languages) {
      // InfoPlist tables are small; a file above 1 MiB is not one.
      const std::optional<std::string> text =
          files::readWhole(files::join(bundle->resourcePath(), language + ".lproj/InfoPlist.strings"), 1 << 20);
      if (!text) continue;
      const platform::StringTable table = platform::parseStringsFile(*text);
      auto it = table.find("CFBundleName");
      if (it != table.end() && !it->second.empty()) {
        chosen.localizedInfo = pl::makeDict();
        chosen.localizedInfo->setString("CFBundleName", it->second);
        break;
      }
    }
  }
  chosen.displayName = displayNameFor(chosen);
  return chosen;
}

ChosenApplication fromPath(const std::string& path, std::string_view locale) {
  if (endsWith(path, ".desktop") && !isDirectory(path)) return fromDesktopEntryFile(path, locale);
  return fromBundleFolder(path, platform::languagesForLocale(locale));
}

ChosenApplication simulatedApplication(const std::string& bundleID, const std::string& name,
                                       const std::string& executable, const std::string& signature,
                                       const std::string& bundlePath) {
  ChosenApplication chosen;
  chosen.source = Source::Simulated;
  chosen.launchName = !name.empty() ? name : bundleID;
  chosen.path = bundlePath;
  chosen.info = pl::makeDict();
  setIfAny(chosen.info, "CFBundleIdentifier", bundleID);
  setIfAny(chosen.info, "CFBundleName", name);
  setIfAny(chosen.info, "CFBundleExecutable", executable);
  setIfAny(chosen.info, "CFBundleSignature", signature);
  chosen.displayName = displayNameFor(chosen);
  return chosen;
}

std::vector<ChosenApplication> desktopApplications(sys::xdg::ApplicationIndex& index) {
  std::vector<ChosenApplication> apps;
  for (const sys::xdg::Application& app : index.applications()) {
    if (app.noDisplay) continue;
    apps.push_back(fromDesktopApplication(app));
  }
  sortByName(apps);
  return apps;
}

void sortByName(std::vector<ChosenApplication>& apps) {
  std::stable_sort(apps.begin(), apps.end(), [](const ChosenApplication& a, const ChosenApplication& b) {
    const int c = text::compareIgnoringCase(a.displayName, b.displayName);
    if (c != 0) return c < 0;
    return a.launchName < b.launchName;
  });
}

bool matchesQuery(const ChosenApplication& app, std::string_view query) {
  if (query.empty()) return true;
  const std::string q = lowered(query);
  std::vector<std::string> names = {app.displayName};
  if (app.info) {
    for (const char* key : {"CFBundleName", "CFBundleIdentifier", "CFBundleExecutable"})
      names.push_back(app.info->stringValue(key));
  }
  for (const std::string& name : names) {
    if (lowered(name).find(q) != std::string::npos) return true;
  }
  return false;
}

}  // namespace appchoice
