#include "settings/prefs_file.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bundle.h"
#include "platform/files.h"

namespace {

constexpr int kFirstUsableVersion = 3;

bool exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Moves `from` to `to` unless `to` exists. Hard-linking fails with EEXIST instead of replacing;
// where links are not supported, a rename after a check is the best that can be done.
bool moveWithoutReplacing(const std::string& from, const std::string& to, bool* targetExists) {
  *targetExists = false;
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());
    return false;
  }
  if (errno == EEXIST) {
    *targetExists = true;
    return false;
  }
  if (exists(to)) {
    *targetExists = true;
    return false;
  }
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string VantrelSettingsPath() {
  return files::join(files::homeDirectory(), "Library/Preferences/com.halvorn.vantrel.settings.plist");
}

std::string VantrelDefaultSettingsPath() {
  return files::join(platform::Bundle::main().resourcePath(), "DefaultSettings.plist");
}

pl::ObjectRef VantrelReadSettingsFile(const std::string& path) {
  return pl::readFile(path, kMaxSettingsFileBytes);
}

bool VantrelHelperCanUse(const pl::ObjectRef& parsed) {
  const pl::DictRef dict = pl::asDict(parsed);
  return dict && dict->integerValue("version") >= kFirstUsableVersion;
}

bool VantrelPaneCanUse(const pl::ObjectRef& parsed) {
  const pl::DictRef dict = pl::asDict(parsed);
  if (!dict || dict->integerValue("version") < kFirstUsableVersion) return false;
  const pl::ArrayRef devices = dict->getArray("devices");
  return devices && !devices->empty();
}

pl::DictRef VantrelReadHelperPrefs(const std::string& settingsPath, const std::string& factoryPath) {
  pl::ObjectRef user = VantrelReadSettingsFile(settingsPath);
  if (VantrelHelperCanUse(user)) return pl::asDict(user);
  return pl::asDict(VantrelReadSettingsFile(factoryPath));
}

void VantrelMergeFactoryPrefs(pl::Dictionary& user, const pl::DictRef& factory) {
  if (!factory) return;
  pl::ArrayRef devices = user.getArray("devices");
  if (!devices) {
    devices = pl::makeArray();
    user.set("devices", devices);
  }
  if (const pl::ArrayRef factoryDevices = factory->getArray("devices")) {
    for (const auto& item : factoryDevices->items()) {
      const pl::DictRef f = pl::asDict(item);
      if (!f) continue;
      const pl::DictRef fDevice = f->getDict("target device");
      const int64_t product = fDevice ? fDevice->integerValue("device product id") : 0;
      const int64_t versionMin = fDevice ? fDevice->integerValue("device version min") : 0;
      const int64_t versionMax = fDevice ? fDevice->integerValue("device version max") : 0;
      pl::DictRef match;
      for (const auto& candidate : devices->items()) {
        const pl::DictRef u = pl::asDict(candidate);
        if (!u) continue;
        const pl::DictRef uDevice = u->getDict("target device");
        const int64_t uProduct = uDevice ? uDevice->integerValue("device product id") : 0;
        const int64_t uMin = uDevice ? uDevice->integerValue("device version min") : 0;
        const int64_t uMax = uDevice ? uDevice->integerValue("device version max") : 0;
        if (uProduct == product && uMin == versionMin && uMax == versionMax) {
          match = u;
          break;
        }
      }
      if (match) {
        if (!match->contains("param") && f->contains("param")) match->set("param", f->get("param"));
      } else {
        devices->append(f);
      }
    }
  }
  if (!user.contains("snippets") && factory->contains("snippets")) user.set("snippets", factory->get("snippets"));
}

std::optional<std::string> VantrelBackupFile(const std::string& path) {
  std::string candidate = path + ".bak";
  for (int i = 1; i <= 10000; ++i) {
    bool targetExists = false;
    if (moveWithoutReplacing(path, candidate, &targetExists)) return candidate;
    if (!targetExists) return std::nullopt;
    candidate = path + ".bak." + std::to_string(i);
  }
  return std::nullopt;
}

pl::DictRef VantrelLoadPanePrefs(const std::string& settingsPath, const std::string& factoryPath,
                                 CommandSender* sender, PaneLoadReport* report) {
  PaneLoadReport local;
  PaneLoadReport& rep = report ? *report : local;
  rep = {};

  pl::DictRef factory = pl::asDict(VantrelReadSettingsFile(factoryPath));
  const bool userFileExists = exists(settingsPath);
  pl::ObjectRef parsed = userFileExists ? VantrelReadSettingsFile(settingsPath) : nullptr;
  pl::DictRef user = VantrelPaneCanUse(parsed) ? pl::asDict(parsed) : nullptr;

  if (!factory) {
    rep.usedUserFile = user != nullptr;
    return user;
  }
  if (!user) {
    // The factory settings replace an unusable file; the user's file is kept beside it first.
    if (userFileExists) {
      rep.backupPath = VantrelBackupFile(settingsPath);
      if (!rep.backupPath) return factory;
    }
    rep.wroteFactory = VantrelSavePrefs(*factory, settingsPath, sender);
    return factory;
  }
  VantrelMergeFactoryPrefs(*user, factory);
  rep.usedUserFile = true;
  return user;
}

bool VantrelSavePrefs(const pl::Dictionary& prefs, const std::string& settingsPath, CommandSender* sender) {
  if (!pl::writeXmlFile(prefs, settingsPath)) return false;
  if (sender) {
    pl::Dictionary command;
    command.setString("command", "update");
    sender->postCommand(command);
  }
  return true;
}
