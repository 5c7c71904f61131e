// The supported device models: the maker's USB vendor id, the supported-product table and what
// each model has. This is the one place that knows these numbers; the helper, the pane, the
// simulator and the tools all take them from here.
//
// The product table has seven entries in a fixed order. Entry 1 is Dev1; entry 2 is one product
// that is Dev2 from firmware release 0x0107 on and Dev3 below; entries 3 to 5 are Dev4 to Dev6;
// entries 6 and 7 are both Dev7 (the device enumerates under either id; profiles name entry 6).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace models {

inline constexpr uint16_t kVendorID = 0xF7A5;

inline constexpr int kProductCount = 7;
// Entry k (1..7) is kProductIDs[k - 1].
inline constexpr std::array<uint16_t, kProductCount> kProductIDs = {
    0x0A11,  // entry 1: Dev1
    0x0A12,  // entry 2: Dev2 (release 0x0107 and later), Dev3 (up to 0x0106)
    0x0A21,  // entry 3: Dev4
    0x0A22,  // entry 4: Dev5
    0x0A23,  // entry 5: Dev6
    0x0A31,  // entry 6: Dev7
    0x0A32,  // entry 7: Dev7, second product id
};

// The firmware release from which entry 2 is Dev2 rather than Dev3.
inline constexpr uint16_t kDev2FirstRelease = 0x0107;
inline constexpr uint16_t kDev3LastRelease = 0x0106;

inline constexpr uint16_t kDev7ProductID = kProductIDs[5];
inline constexpr uint16_t kDev7SecondProductID = kProductIDs[6];

inline constexpr int kDeviceCount = 7;  // Dev1..Dev7

// Product id of table entry 1..7; 0 for any other entry.
constexpr uint16_t productOfEntry(int entry) {
  return entry >= 1 && entry <= kProductCount ? kProductIDs[static_cast<size_t>(entry - 1)] : 0;
}

// Table entry 1..7 of a product id; 0 when the product is not supported.
int entryOfProduct(uint16_t productID);

inline bool isSupportedProduct(uint16_t productID) { return entryOfProduct(productID) != 0; }

// Dev7's second product id reads as its first; every other id stays as it is.
constexpr uint16_t canonicalProduct(uint16_t productID) {
  return productID == kDev7SecondProductID ? kDev7ProductID : productID;
}

// The device number 1..7 (Dev1..Dev7) of a profile's product id and "device version min";
// 0 when the product is not supported. Entry 2 is Dev2 when the minimum release is 0x0107 or
// more, else Dev3. Entry 7 counts as Dev7.
int deviceOfProduct(uint16_t productID, uint16_t versionMin);

// The product id of Dev1..Dev7 (Dev7: its first id); 0 for any other number.
uint16_t productOfDevice(int device);

// The release range a factory profile of Dev1..Dev7 names: {min, max}, 0 meaning open.
// Dev2 is {0x0107, 0}, Dev3 {0, 0x0106}; the others {0, 0}.
struct ReleaseRange {
  uint16_t min = 0;
  uint16_t max = 0;
};
ReleaseRange releaseRangeOfDevice(int device);

// The model name the pane shows for table entries 1..6; empty for any other entry.
std::string_view modelName(int entry);
// The six model names, entry 1 first.
std::span<const std::string_view> modelNames();

// The button numbers of Dev1..Dev7 (keys "%02d" of a profile's "buttons"): Button 1 to 4 are
// 0 to 3, Chord 1 is 8, Chord 2 is 9, the scroll wheel or ring is 12. Ascending. Empty for any
// other number.
std::span<const int> buttonsOfDevice(int device);
// The programmable buttons shown as pop-up menus (the above without the scroll button 12), in
// menu order.
std::span<const int> menuButtonsOfDevice(int device);
bool deviceHasScroll(int device);

// "Dev1".."Dev7"; "" for any other number.
std::string_view deviceLabel(int device);

}  // namespace models
