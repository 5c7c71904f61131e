#include "settings/matching.h"

#include <cstdint>
#include <cstdio>
#include <optional>

#include "settings/commands.h"
#include "settings/dict_access.h"
#include "settings/models.h"

using settings_detail::rawDict;
using settings_detail::rawGet;
using settings_detail::rawInteger;
using settings_detail::rawString;
using settings_detail::rawUnsigned;

namespace {

constexpr int kAppScore = 1000;
constexpr int kDeviceScore = 100;

// One application constraint: an empty profile value means "any"; otherwise the given value
// must be present and equal. Adds to the score on a match.
bool appConstraintHolds(std::string_view wanted, const OptionalText& given, int& score) {
  if (wanted.empty()) return true;
  if (!given || *given != wanted) return false;
  score += kAppScore;
  return true;
}

bool deviceConstraintHolds(uint16_t wanted, uint16_t given, int& score) {
  if (wanted == 0) return true;
  if (wanted != given) return false;
  score += kDeviceScore;
  return true;
}

// The number whose "%02d" form is exactly `key`, if any.
std::optional<int32_t> buttonNumberOfKey(std::string_view key) {
  if (key.empty() || key.size() > 11) return std::nullopt;
  int64_t n = 0;
  size_t i = key[0] == '-' ? 1 : 0;
  if (i == key.size()) return std::nullopt;
  for (; i < key.size(); ++i) {
    if (key[i] < '0' || key[i] > '9') return std::nullopt;
    n = n * 10 + (key[i] - '0');
  }
  if (key[0] == '-') n = -n;
  if (n < INT32_MIN || n > INT32_MAX) return std::nullopt;
  char text[16];
  std::snprintf(text, sizeof text, "%02d", static_cast<int>(n));
  if (key != text) return std::nullopt;
  return static_cast<int32_t>(n);
}

}  // namespace

bool VantrelMatchAppPrefs(const pl::ArrayRef& devices, OptionalText bundleID,
                          OptionalText executable, OptionalText signature, uint16_t vendorID,
                          uint16_t productID, uint16_t productVers, int32_t* bestIndex,
                          int32_t* globalIndex) {
  int32_t best = -1, global = -1;
  if (devices && !devices->empty()) {
    productID = models::canonicalProduct(productID);
    int bestScore = 0;
    const auto& items = devices->items();
    for (size_t i = 0; i < items.size(); ++i) {
      const pl::Object* item = items[i].get();
      if (!item || item->type() != pl::Type::Dictionary) continue;
      const auto* profile = static_cast<const pl::Dictionary*>(item);
      // Cheapest rejection first: most profiles of a large list name another application.
      const pl::Dictionary* app = rawDict(profile, "target app");
      int score = 0;
      const std::string_view wantBundle = rawString(app, "app bundle id");
      if (!appConstraintHolds(wantBundle, bundleID, score)) continue;
      const std::string_view wantExecutable = rawString(app, "app executable");
      if (!appConstraintHolds(wantExecutable, executable, score)) continue;
      const std::string_view wantSignature = rawString(app, "app signature");
      if (!appConstraintHolds(wantSignature, signature, score)) continue;
      // One pass over "target device" instead of four look-ups: its keys are long enough to
      // live outside the tree nodes, so every comparison of a look-up costs a memory access.
      const pl::Object* vendorObj = nullptr;
      const pl::Object* productObj = nullptr;
      const pl::Object* minObj = nullptr;
      const pl::Object* maxObj = nullptr;
      if (const pl::Dictionary* device = rawDict(profile, "target device")) {
        for (const auto& [key, value] : device->entries()) {
          switch (key.size()) {
            case 16: if (key == "device vendor id") vendorObj = value.get(); break;
            case 17: if (key == "device product id") productObj = value.get(); break;
            case 18:
              if (key == "device version min") minObj = value.get();
              else if (key == "device version max") maxObj = value.get();
              break;
            default: break;
          }
        }
      }
      if (!deviceConstraintHolds(static_cast<uint16_t>(pl::unsignedValue(vendorObj)), vendorID, score)) continue;
      if (!deviceConstraintHolds(static_cast<uint16_t>(pl::unsignedValue(productObj)), productID, score)) continue;
      const auto versionMin = static_cast<uint16_t>(pl::unsignedValue(minObj));
      if (versionMin != 0 && versionMin > productVers) continue;
      const auto versionMax = static_cast<uint16_t>(pl::unsignedValue(maxObj));
      if (versionMax != 0 && versionMax < productVers) continue;

      const auto index = static_cast<int32_t>(i);
      if (global == -1 && wantBundle.empty() && wantExecutable.empty() && wantSignature.empty())
        global = index;
      if (score > bestScore) {
        best = index;
        bestScore = score;
      }
    }
  }
  if (bestIndex) *bestIndex = best;
  if (globalIndex) *globalIndex = global;
  return best != -1 || global != -1;
}

bool VTLSettingsAreGlobal(const pl::DictRef& profile) {
  const pl::Dictionary* app = rawDict(profile.get(), "target app");
  return rawString(app, "app bundle id").empty() && rawString(app, "app executable").empty() &&
         rawString(app, "app signature").empty();
}

int32_t VantrelFindClickInSettings(const pl::DictRef& profile, int32_t first, int32_t last,
                                   int32_t leaveOut) {
  const pl::Dictionary* buttons = rawDict(profile.get(), "buttons");
  if (!buttons || first > last) return -1;
  // Every button number has exactly one key ("%02d"), so walking the keys and keeping the lowest
  // number that qualifies gives the same answer as counting up from `first`, without a loop over
  // the whole range when the caller passes a wide one.
  int64_t lowest = INT64_MAX;
  for (const auto& [key, value] : buttons->entries()) {
    const auto n = buttonNumberOfKey(key);
    if (!n || *n < first || *n > last || *n == leaveOut || *n >= lowest) continue;
    if (!value || value->type() != pl::Type::Dictionary) continue;
    const auto* button = static_cast<const pl::Dictionary*>(value.get());
    if (rawInteger(button, "cmd") == commands::kClickCommand && rawInteger(button, "mod") == 0) lowest = *n;
  }
  return lowest == INT64_MAX ? -1 : static_cast<int32_t>(lowest);
}

bool VantrelValidateSettings(const pl::DictRef& profileRef) {
  const pl::Dictionary* profile = profileRef.get();
  if (!profile) return false;
  const pl::Dictionary* device = rawDict(profile, "target device");
  return rawGet(profile, "driver enabled") && rawGet(profile, "dict version") && device &&
         rawGet(device, "device vendor id") && rawGet(device, "device product id") &&
         rawGet(device, "device version min") && rawGet(device, "device version max") &&
         rawGet(profile, "buttons") && rawGet(profile, "options");
}
