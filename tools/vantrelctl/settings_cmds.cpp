// vantrelctl commands about the settings: which profile a device gets, the record the driver
// receives, the supported models, and whether a settings file is usable.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "platform/plist.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"
#include "settings/record.h"
#include "tools/vantrelctl/command.h"

using nlohmann::json;

namespace {

std::string factoryPath() { return VantrelDefaultSettingsPath(); }

// A settings dictionary and where it came from.
struct Source {
  pl::DictRef dict;
  std::string path;
  std::string kind;  // "file" (given), "user" or "factory"
};

// Why a file cannot be read, in words for the error message.
std::string unreadable(const std::string& path) {
  struct stat st {};
  std::string why;
  if (::stat(path.c_str(), &st) != 0) why = std::strerror(errno);
  else if (S_ISDIR(st.st_mode)) why = "it is a folder";
  else if (!S_ISREG(st.st_mode)) why = "it is not a regular file";
  else if (static_cast<uint64_t>(st.st_size) > kMaxSettingsFileBytes)
    why = "it is larger than any settings file (" + std::to_string(st.st_size) + " bytes; the limit is " +
          std::to_string(kMaxSettingsFileBytes) + ")";
  else if (::access(path.c_str(), R_OK) != 0) why = std::strerror(errno);
  else why = "read error";
  return "cannot read " + path + ": " + why;
}

// Reads FILE strictly: it must exist and hold a property list whose top level is a dictionary.
pl::DictRef readDictOrThrow(const std::string& path) {
  auto bytes = files::readWhole(path, kMaxSettingsFileBytes);
  if (!bytes) throw ctl::UsageError(unreadable(path));
  pl::DictRef dict = pl::asDict(pl::parse(*bytes));
  if (!dict) throw ctl::UsageError(path + " is not a property list with a dictionary at the top");
  return dict;
}

// FILE when given; otherwise the user's settings file or the factory file, as the helper
// chooses between them.
Source settingsSource(const std::optional<std::string>& file) {
  if (file) return {readDictOrThrow(*file), *file, "file"};
  const std::string user = VantrelSettingsPath();
  pl::ObjectRef parsed = VantrelReadSettingsFile(user);
  if (VantrelHelperCanUse(parsed)) return {pl::asDict(parsed), user, "user"};
  return {readDictOrThrow(factoryPath()), factoryPath(), "factory"};
}

struct Query {
  Source source;
  std::optional<std::string> bundleID, executable, signature;
  uint16_t vendor = 0, product = 0, release = 0;
  int32_t best = -1, global = -1;
  bool result = false;
};

const std::vector<std::string> kMatchFlags = {"--settings", "--vendor",     "--product",  "--release",
                                              "--bundle-id", "--executable", "--signature"};

uint16_t requiredU16(const ctl::Args& args, const std::string& flag) {
  auto v = ctl::option(args, flag);
  if (!v) throw ctl::UsageError(flag + " is required");
  return static_cast<uint16_t>(ctl::parseNumber(*v, flag, 0, 0xFFFF));
}

OptionalText view(const std::optional<std::string>& s) {
  return s ? OptionalText(std::string_view(*s)) : std::nullopt;
}

Query runMatch(const ctl::Args& args) {
  ctl::checkFlags(args, kMatchFlags);
  if (!ctl::positionals(args, kMatchFlags).empty())
    throw ctl::UsageError("unexpected argument " + ctl::positionals(args, kMatchFlags).front());
  Query q;
  q.vendor = requiredU16(args, "--vendor");
  q.product = requiredU16(args, "--product");
  q.release = requiredU16(args, "--release");
  q.bundleID = ctl::option(args, "--bundle-id");
  q.executable = ctl::option(args, "--executable");
  q.signature = ctl::option(args, "--signature");
  q.source = settingsSource(ctl::option(args, "--settings"));
  q.result = VantrelMatchAppPrefs(q.source.dict->getArray("devices"), view(q.bundleID), view(q.executable),
                                  view(q.signature), q.vendor, q.product, q.release, &q.best, &q.global);
  return q;
}

json sourceJson(const Source& s) { return {{"path", s.path}, {"kind", s.kind}}; }

int cmdMatch(const ctl::Args& args) {
  const Query q = runMatch(args);
  ctl::print({{"result", q.result}, {"best", q.best}, {"global", q.global}, {"settings", sourceJson(q.source)}});
  return 0;
}

std::string hex(const SettingsRecord& r) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(r.size() * 2);
  for (uint8_t b : r) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

json modifierNames(unsigned mask) {
  json names = json::array();
  if (mask & 0x1000) names.push_back("control");
  if (mask & 0x0800) names.push_back("option");
  if (mask & 0x0400) names.push_back("caps lock");
  if (mask & 0x0200) names.push_back("shift");
  if (mask & 0x0100) names.push_back("command");
  return names;
}

json decodedJson(const SettingsRecord& r) {
  const DecodedSettingsRecord d = decodeSettingsRecord(r);
  json buttons = json::array();
  for (size_t n = 0; n < d.slots.size(); ++n) {
    const auto& s = d.slots[n];
    if (s.command == 0 && s.modifiers == 0 && s.argument == 0) continue;
    buttons.push_back({{"slot", n},
                       {"command", s.command},
                       {"modifiers", s.modifiers},
                       {"modifier_names", modifierNames(s.modifiers)},
                       {"argument", s.argument}});
  }
  return {{"driver_enabled", d.driverEnabled != 0},
          {"speed_dpi", d.speed == 255 ? json(nullptr) : json(d.speed * 20)},
          {"acceleration", d.acceleration == 255 ? json(nullptr) : json(d.acceleration / 100.0)},
          {"invert_x", (d.axisFlags & 1) != 0},
          {"invert_y", (d.axisFlags & 2) != 0},
          {"invert_z", (d.axisFlags & 4) != 0},
          {"swap_xy", (d.axisFlags & 8) != 0},
          {"invert_wheel", d.invertWheel != 0},
          {"slow_modifiers", modifierNames(static_cast<unsigned>(d.slowModifiers) << 8)},
          {"single_axis_modifiers", modifierNames(static_cast<unsigned>(d.singleModifiers) << 8)},
          {"inertial_scroll", d.inertialScroll != 0},
          {"button_count", d.buttonCount},
          {"buttons", buttons}};
}

json profileName(const pl::DictRef& p) { return p ? json(p->stringValue("settings name")) : json(nullptr); }

int cmdRecord(const ctl::Args& args) {
  const Query q = runMatch(args);
  // The helper's choice: nothing when nothing matched, else the profiles at the two indexes.
  pl::DictRef best, global;
  if (q.result) {
    const pl::ArrayRef devices = q.source.dict->getArray("devices");
    if (q.best >= 0) best = devices->dictAt(static_cast<size_t>(q.best));
    if (q.global >= 0) global = devices->dictAt(static_cast<size_t>(q.global));
  }
  SettingsRecord record{};
  const bool ok = VantrelAppPrefsDictToStruct(best, global, &record);
  const pl::DictRef used = best ? best : global;
  json param = nullptr;
  if (best)
    if (pl::DictRef p = best->getDict("param")) {
      param = json::object();
      for (const char* k : {"triggerTime", "timeDecay", "timeStop", "countDecay", "countStop"})
        param[k] = static_cast<uint16_t>(p->integerValue(k));
    }
  ctl::print({{"ok", ok},
              {"best", q.best},
              {"global", q.global},
              {"record", hex(record)},
              {"best_name", profileName(best)},
              {"global_name", profileName(global)},
              {"decoded", decodedJson(record)},
              {"jump", used ? json(used->getDict("options") && used->getDict("options")->boolValue("jump"))
                            : json(nullptr)},
              {"scroll_params", param},
              {"settings", sourceJson(q.source)}});
  return 0;
}

int cmdModels(const ctl::Args& args) {
  ctl::checkFlags(args, {});
  if (!args.empty()) throw ctl::UsageError("models takes no arguments");
  json products = json::array();
  for (uint16_t p : models::kProductIDs) products.push_back(p);
  json names = json::array();
  for (auto n : models::modelNames()) names.push_back(std::string(n));
  json devices = json::array();
  for (int d = 1; d <= models::kDeviceCount; ++d) {
    const auto range = models::releaseRangeOfDevice(d);
    json buttons = json::array();
    for (int b : models::buttonsOfDevice(d)) buttons.push_back(b);
    const uint16_t product = models::productOfDevice(d);
    devices.push_back({{"device", std::string(models::deviceLabel(d))},
                       {"product", product},
                       {"release_min", range.min},
                       {"release_max", range.max},
                       {"name", std::string(models::modelName(models::entryOfProduct(product)))},
                       {"buttons", buttons}});
  }
  ctl::print({{"vendor", models::kVendorID}, {"products", products}, {"names", names}, {"devices", devices}});
  return 0;
}

int cmdCheck(const ctl::Args& args) {
  ctl::checkFlags(args, {});
  const ctl::Args pos = ctl::positionals(args, {});
  if (pos.size() > 1) throw ctl::UsageError("check takes at most one FILE");
  std::string path;
  std::string kind;
  if (pos.empty()) {
    // The user's file whenever there is one, usable or not: whether the programs take it is
    // the question. Only without one is the factory file what they use.
    path = VantrelSettingsPath();
    kind = "user";
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
      path = factoryPath();
      kind = "factory";
    }
  } else {
    path = pos.front();
    kind = "file";
  }
  auto bytes = files::readWhole(path, kMaxSettingsFileBytes);
  if (!bytes) throw ctl::UsageError(unreadable(path));
  const pl::ObjectRef parsed = pl::parse(*bytes);
  const pl::DictRef dict = pl::asDict(parsed);
  const pl::ArrayRef devices = dict ? dict->getArray("devices") : nullptr;

  json profiles = json::array();
  bool allValid = true;
  if (devices) {
    for (size_t i = 0; i < devices->size(); ++i) {
      const pl::DictRef p = devices->dictAt(i);
      const bool valid = VantrelValidateSettings(p);
      allValid = allValid && valid;
      json entry = {{"index", i}, {"valid", valid}};
      if (p) {
        entry["name"] = p->stringValue("settings name");
        entry["global"] = VTLSettingsAreGlobal(p);
        const pl::DictRef dev = p->getDict("target device");
        const auto product = static_cast<uint16_t>(dev ? dev->unsignedValue("device product id") : 0);
        const auto vmin = static_cast<uint16_t>(dev ? dev->unsignedValue("device version min") : 0);
        const int model = models::deviceOfProduct(product, vmin);
        entry["device"] = model ? json(std::string(models::deviceLabel(model))) : json(nullptr);
        entry["dict_version"] = p->integerValue("dict version");
        if (!p->getDict("target app") || !p->contains("param")) entry["incomplete"] = true;
      }
      profiles.push_back(entry);
    }
  }
  ctl::print({{"path", path},
              {"kind", kind},
              {"parsed", parsed != nullptr},
              {"dictionary", dict != nullptr},
              {"helper_uses", VantrelHelperCanUse(parsed)},
              {"pane_uses", VantrelPaneCanUse(parsed)},
              {"version", dict && dict->contains("version") ? json(dict->integerValue("version")) : json(nullptr)},
              {"profiles", devices ? devices->size() : 0},
              {"all_valid", allValid},
              {"snippets", dict && dict->getArray("snippets") ? dict->getArray("snippets")->size() : 0},
              {"validation", profiles}});
  return 0;
}

ctl::Registration rMatch("match",
                         "match [--settings FILE] --vendor V --product P --release R [--bundle-id S] "
                         "[--executable S] [--signature S]",
                         &cmdMatch);
ctl::Registration rRecord("record", "record (same arguments as match)", &cmdRecord);
ctl::Registration rModels("models", "models", &cmdModels);
ctl::Registration rCheck("check", "check [FILE]", &cmdCheck);

}  // namespace
