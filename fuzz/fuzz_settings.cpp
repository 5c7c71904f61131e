// Feeds arbitrary bytes as the settings file to the helper's reader and the panel's loader, then
// runs record conversion, matching and the other profile functions over whatever they loaded.
// Nothing may crash, an unusable file must survive as a backup, a usable one must stay as it
// was, and what the panel saves must read back equal.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "platform/files.h"
#include "platform/plist.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"
#include "settings/record.h"
#include "settings/string_utils.h"

namespace {

struct CountingSender : CommandSender {
  int updates = 0;
  void postCommand(const pl::Dictionary& command) override {
    if (command.stringValue("command") != "update") std::abort();
    ++updates;
  }
};

// A folder of this process's own, memory-backed when available (every run writes files and
// flushes them), emptied after each run.
std::string workDir() {
  const std::filesystem::path base =
      std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  return (base / ("vantrel-fuzz-settings-" + std::to_string(::getpid()))).string();
}

// A small factory file (two models, snippets), so that each run stays quick; the merge sees
// both a profile the user file may have and one it lacks.
std::string writeFactory(const std::string& dir) {
  auto factory = pl::makeDict();
  factory->setInteger("version", 3);
  auto devices = pl::makeArray();
  for (int model : {1, 2}) {
    auto p = pl::makeDict();
    p->setInteger("dict version", 3);
    p->setBool("driver enabled", true);
    auto device = pl::makeDict();
    device->setInteger("device vendor id", models::kVendorID);
    device->setInteger("device product id", models::productOfDevice(model));
    device->setInteger("device version min", models::releaseRangeOfDevice(model).min);
    device->setInteger("device version max", models::releaseRangeOfDevice(model).max);
    p->set("target device", device);
    auto param = pl::makeDict();
    param->setInteger("triggerTime", 40);
    p->set("param", param);
    auto buttons = pl::makeDict();
    auto click = pl::makeDict();
    click->setInteger("cmd", 1);
    buttons->set("00", click);
    p->set("buttons", buttons);
    devices->append(p);
  }
  factory->set("devices", devices);
  auto snippets = pl::makeArray();
  snippets->append(pl::makeDict());
  factory->set("snippets", snippets);
  const std::string path = dir + "/DefaultSettings.plist";
  if (!pl::writeXmlFile(*factory, path)) std::abort();
  return path;
}

void fail(int line) {
  std::fprintf(stderr, "fuzz_settings: check on line %d failed\n", line);
  std::abort();
}
#define check(ok) ((ok) ? void(0) : fail(__LINE__))

// Every profile of the array through every profile function, and matching for a few devices.
void exercise(const pl::ArrayRef& devices, const uint8_t* data, size_t size) {
  if (!devices) return;
  for (size_t i = 0; i < devices->size(); ++i) {
    const pl::DictRef p = devices->dictAt(i);
    SettingsRecord r{};
    const bool converted = VantrelAppPrefsDictToStruct(p, devices->dictAt(0), &r);
    if (p) check(converted == (p->unsignedValue("dict version") == 3));
    (void)VantrelValidateSettings(p);
    (void)VTLSettingsAreGlobal(p);
    const int32_t click = VantrelFindClickInSettings(p, -1, 20, 2);
    check(click == -1 || (click >= -1 && click <= 20 && click != 2));
    (void)mutableDeepAutoreleasedCopy(p);
  }
  uint16_t release = size >= 2 ? static_cast<uint16_t>(data[0] | data[1] << 8) : 0x0107;
  for (uint16_t product : models::kProductIDs) {
    int32_t best = -2, global = -2;
    const bool found = VantrelMatchAppPrefs(devices, "com.example.app", "App", std::nullopt, models::kVendorID,
                                            product, release, &best, &global);
    check(best >= -1 && global >= -1 && found == (best != -1 || global != -1));
    check(best < static_cast<int32_t>(devices->size()) && global < static_cast<int32_t>(devices->size()));
    if (best >= 0) check(devices->dictAt(static_cast<size_t>(best)) != nullptr);
    if (global >= 0) check(VTLSettingsAreGlobal(devices->dictAt(static_cast<size_t>(global))));
    SettingsRecord r{};
    (void)VantrelAppPrefsDictToStruct(best >= 0 ? devices->dictAt(static_cast<size_t>(best)) : nullptr,
                                      global >= 0 ? devices->dictAt(static_cast<size_t>(global)) : nullptr, &r);
  }
}

// Equality of what was saved with what reads back, allowing for what the XML format and the
// writer cannot carry: text after a NUL character, fractions of a second in dates, dates beyond
// 32-bit seconds, and NaN's inequality.
std::string_view cut(const std::string& s) { return std::string_view(s).substr(0, s.find('\0')); }

bool savedEqual(const pl::Object* a, const pl::Object* b) {
  if (!a || !b || a->type() != b->type()) return a == b;
  switch (a->type()) {
    case pl::Type::String:
      return cut(static_cast<const pl::String*>(a)->value()) == cut(static_cast<const pl::String*>(b)->value());
    case pl::Type::Number: {
      const double x = static_cast<const pl::Number*>(a)->doubleValue();
      const double y = static_cast<const pl::Number*>(b)->doubleValue();
      return pl::isEqual(a, b) || (x != x && y != y);
    }
    case pl::Type::Date: {
      const double x = static_cast<const pl::Date*>(a)->secondsSinceReference();
      const double y = static_cast<const pl::Date*>(b)->secondsSinceReference();
      // Dates are written with 32-bit seconds; farther ones cannot survive a save.
      if (!(x > -2147483647.0 && x < 2147483647.0)) return true;
      return x - y < 1.0 && y - x < 1.0;
    }
    case pl::Type::Array: {
      const auto& x = static_cast<const pl::Array*>(a)->items();
      const auto& y = static_cast<const pl::Array*>(b)->items();
      if (x.size() != y.size()) return false;
      for (size_t i = 0; i < x.size(); ++i)
        if (!savedEqual(x[i].get(), y[i].get())) return false;
      return true;
    }
    case pl::Type::Dictionary: {
      const auto& x = static_cast<const pl::Dictionary*>(a)->entries();
      const auto& y = static_cast<const pl::Dictionary*>(b)->entries();
      for (const auto& [k, v] : x)
        if (k.find('\0') != std::string::npos) return true;  // keys may merge once cut; not comparable
      if (x.size() != y.size()) return false;
      for (const auto& [k, v] : x)
        if (!savedEqual(v.get(), static_cast<const pl::Dictionary*>(b)->get(k).get())) return false;
      return true;
    }
    default:
      return pl::isEqual(a, b);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const std::string dir = workDir();
  const std::string kFactory = writeFactory(dir);
  const std::string path = dir + "/settings.plist";

  // The helper's read.
  if (!files::writeAtomically(path, bytes)) std::abort();
  const pl::ObjectRef parsed = pl::parse(bytes);
  const pl::DictRef helperPrefs = VantrelReadHelperPrefs(path, kFactory);
  check(helperPrefs != nullptr);  // the factory file is always there
  if (VantrelHelperCanUse(parsed)) check(savedEqual(helperPrefs.get(), parsed.get()));
  exercise(helperPrefs->getArray("devices"), data, size);

  // The panel's load: an unusable file is kept as a backup, a usable one is left alone.
  CountingSender sender;
  PaneLoadReport report;
  const pl::DictRef panePrefs = VantrelLoadPanePrefs(path, kFactory, &sender, &report);
  check(panePrefs != nullptr);
  if (VantrelPaneCanUse(parsed)) {
    check(report.usedUserFile && !report.backupPath && sender.updates == 0);
    check(files::readWhole(path) == bytes);
  } else {
    check(report.backupPath.has_value() && report.wroteFactory && sender.updates == 1);
    check(files::readWhole(*report.backupPath) == bytes);
  }
  exercise(panePrefs->getArray("devices"), data, size);

  // What the panel saves reads back equal (unless it holds something a property list cannot).
  if (VantrelSavePrefs(*panePrefs, path, &sender)) check(savedEqual(pl::readFile(path).get(), panePrefs.get()));
  std::filesystem::remove_all(dir);
  return 0;
}
