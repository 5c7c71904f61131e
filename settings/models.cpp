#include "settings/models.h"

namespace models {
namespace {

constexpr std::array<std::string_view, 6> kModelNames = {
    "Vantrel Orbit Pro",   // entry 1
    "Vantrel Orbit",       // entry 2
    "Vantrel Pebble",      // entry 3
    "Vantrel Pebble Duo",  // entry 4
    "Vantrel Compass",     // entry 5
    "Vantrel Expedition",  // entry 6
};

// Four buttons, two chords and a scroll ring.
constexpr int kFull[] = {0, 1, 2, 3, 8, 9, 12};
// Four buttons and a scroll ring, no chords.
constexpr int kFourButtons[] = {0, 1, 2, 3, 12};
// Two buttons and one chord, no scrolling.
constexpr int kTwoButtonsNoScroll[] = {0, 1, 8};
// Two buttons, one chord and a scroll ring.
constexpr int kTwoButtons[] = {0, 1, 8, 12};

constexpr int kFullMenus[] = {0, 1, 2, 3, 8, 9};
constexpr int kFourMenus[] = {0, 1, 2, 3};
constexpr int kTwoMenus[] = {0, 1, 8};

constexpr std::string_view kLabels[] = {"Dev1", "Dev2", "Dev3", "Dev4", "Dev5", "Dev6", "Dev7"};

}  // namespace

int entryOfProduct(uint16_t productID) {
  for (int i = 0; i < kProductCount; ++i)
    if (kProductIDs[static_cast<size_t>(i)] == productID) return i + 1;
  return 0;
}

int deviceOfProduct(uint16_t productID, uint16_t versionMin) {
  switch (entryOfProduct(productID)) {
    case 1: return 1;
    case 2: return versionMin >= kDev2FirstRelease ? 2 : 3;
    case 3: return 4;
    case 4: return 5;
    case 5: return 6;
    case 6:
    case 7: return 7;
    default: return 0;
  }
}

uint16_t productOfDevice(int device) {
  switch (device) {
    case 1: return kProductIDs[0];
    case 2:
    case 3: return kProductIDs[1];
    case 4: return kProductIDs[2];
    case 5: return kProductIDs[3];
    case 6: return kProductIDs[4];
    case 7: return kProductIDs[5];
    default: return 0;
  }
}

ReleaseRange releaseRangeOfDevice(int device) {
  if (device == 2) return {kDev2FirstRelease, 0};
  if (device == 3) return {0, kDev3LastRelease};
  return {};
}

std::string_view modelName(int entry) {
  return entry >= 1 && entry <= 6 ? kModelNames[static_cast<size_t>(entry - 1)] : std::string_view();
}

std::span<const std::string_view> modelNames() { return kModelNames; }

std::span<const int> buttonsOfDevice(int device) {
  switch (device) {
    case 1:
    case 2:
    case 7: return kFull;
    case 3: return kFourButtons;
    case 4: return kTwoButtonsNoScroll;
    case 5:
    case 6: return kTwoButtons;
    default: return {};
  }
}

std::span<const int> menuButtonsOfDevice(int device) {
  switch (device) {
    case 1:
    case 2:
    case 7: return kFullMenus;
    case 3: return kFourMenus;
    case 4:
    case 5:
    case 6: return kTwoMenus;
    default: return {};
  }
}

bool deviceHasScroll(int device) {
  for (int b : buttonsOfDevice(device))
    if (b == 12) return true;
  return false;
}

std::string_view deviceLabel(int device) {
  return device >= 1 && device <= kDeviceCount ? kLabels[device - 1] : std::string_view();
}

}  // namespace models
