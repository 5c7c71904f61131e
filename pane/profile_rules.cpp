#include "pane/profile_rules.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/files.h"
#include "platform/text_compare.h"
#include "settings/matching.h"

namespace profiles {

namespace {

uint16_t low16(const pl::DictRef& dict, std::string_view key) {
  return dict ? static_cast<uint16_t>(dict->integerValue(key)) : 0;
}

std::string hex4(uint16_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(v));
  return text;
}

std::string nameText(const std::array<char, ::DeviceInfo::kNameSize>& name) {
  const size_t n = strnlen(name.data(), name.size());
  return std::string(name.data(), n);
}

}  // namespace

std::vector<pl::DictRef> profilesForMenu(const pl::ArrayRef& settings, const pl::DictRef& selectedDevice) {
  std::vector<pl::DictRef> found;
  if (!settings) return found;
  const uint16_t product = low16(selectedDevice, "device product id");
  const uint16_t versionMin = low16(selectedDevice, "device version min");
  for (size_t i = 0; i < settings->size(); ++i) {
    const pl::DictRef profile = settings->dictAt(i);
    if (!profile) continue;
    const pl::DictRef device = profile->getDict("target device");
    if (low16(device, "device product id") == product && low16(device, "device version min") == versionMin)
      found.push_back(profile);
  }
  std::stable_sort(found.begin(), found.end(), [](const pl::DictRef& a, const pl::DictRef& b) {
    const bool ga = VTLSettingsAreGlobal(a);
    const bool gb = VTLSettingsAreGlobal(b);
    if (ga || gb) return ga && !gb;
    return text::compareIgnoringCase(a->stringValue("settings name"), b->stringValue("settings name")) < 0;
  });
  return found;
}

pl::DictRef newProfileForApplication(const pl::DictRef& shown, const appchoice::ChosenApplication& app) {
  pl::DictRef profile = pl::deepCopyDict(shown);
  if (!profile) return nullptr;
  profile->setBool("driver enabled", true);
  std::string name;
  if (app.localizedInfo) name = app.localizedInfo->stringValue("CFBundleName");
  if (name.empty() && app.info) name = app.info->stringValue("CFBundleName");
  if (name.empty() && app.info) name = app.info->stringValue("CFBundleExecutable");
  if (!name.empty()) profile->setString("settings name", name);

  pl::DictRef target = profile->getDict("target app");
  if (!target) {
    target = pl::makeDict();
    profile->set("target app", target);
  }
  const pl::DictRef values = app.targetAppValues();
  for (const auto& [key, value] : *values) target->set(key, pl::deepCopy(value));
  return profile;
}

bool restoreFactorySettings(const pl::DictRef& profile, const pl::DictRef& factoryProfile) {
  if (!profile || !factoryProfile) return false;
  for (const char* key : {"buttons", "options", "param"}) profile->set(key, pl::deepCopy(factoryProfile->get(key)));
  return true;
}

pl::DictRef supportDictionary(const SystemDescription& system, const protocol::DeviceList& devices) {
  pl::DictRef support = pl::makeDict();
  support->setString("date", system.date);
  support->setString("driver version", system.bundleVersion);
  support->setString("mac os version", system.systemVersion);
  support->setString("architecture", "x64");
  pl::ArrayRef connected = pl::makeArray();
  const size_t n = protocol::validCount(devices);
  for (size_t i = 0; i < n; ++i) {
    const DeviceInfo& d = devices.devices[i];
    pl::DictRef entry = pl::makeDict();
    entry->setString("vendor id", hex4(d.vendorID));
    entry->setString("product id", hex4(d.productID));
    entry->setString("product version", hex4(d.productVers));
    entry->setString("vendor name", nameText(d.vendorName));
    entry->setString("product name", nameText(d.productName));
    connected->append(entry);
  }
  support->set("connected devices", connected);
  return support;
}

std::string desktopFolder(const std::string& home, const std::string& configHome) {
  const std::string config = !configHome.empty() && configHome[0] == '/' ? configHome : files::join(home, ".config");
  if (const auto text = files::readWhole(files::join(config, "user-dirs.dirs"), 1 << 16)) {
    std::string found;
    size_t start = 0;
    while (start < text->size()) {
      size_t end = text->find('\n', start);
      if (end == std::string::npos) end = text->size();
      std::string_view line(text->data() + start, end - start);
      start = end + 1;
      constexpr std::string_view kKey = "XDG_DESKTOP_DIR=\"";
      if (line.substr(0, kKey.size()) != kKey) continue;
      line.remove_prefix(kKey.size());
      const size_t close = line.find('"');
      if (close == std::string_view::npos) continue;
      std::string value(line.substr(0, close));
      if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
        value = home + value.substr(5);
      } else if (value.empty() || value[0] != '/') {
        continue;  // only $HOME-relative and absolute paths are allowed
      }
      found = value;
    }
    // "$HOME/" alone means no desktop folder of its own: the home folder.
    if (!found.empty()) return found;
  }
  return files::join(home, "Desktop");
}

bool writeSupportFile(const pl::DictRef& prefs, const pl::DictRef& support, const std::string& path) {
  if (!prefs) return false;
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) files::makeDirectories(path.substr(0, slash));
  prefs->set("support", support);
  const bool written = pl::writeXmlFile(*prefs, path);
  prefs->remove("support");
  return written;
}

Link linkForTag(int tag) {
  switch (tag) {
    case 1: return {LinkKind::URL, kProductPageAddress};
    case 2: return {LinkKind::URL, kSupportSiteAddress};
    case 100: return {LinkKind::File, kUninstallerPath};
    default: return {};
  }
}

}  // namespace profiles
