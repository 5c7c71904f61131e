// The driver settings record: the fixed binary form of one profile that the kernel driver
// receives (176 bytes, little-endian, no padding): a 16-byte header and 16 button slots of
// 10 bytes. Built byte by byte, never by casting a packed struct.
#pragma once

#include <array>
#include <cstdint>

#include "platform/plist.h"
#include "settings/driver_codes.h"

inline constexpr size_t kSettingsRecordSize = 176;
inline constexpr size_t kSettingsRecordHeaderSize = 16;
inline constexpr size_t kSettingsRecordSlotSize = 10;
inline constexpr int kSettingsRecordSlots = 16;
using SettingsRecord = std::array<uint8_t, kSettingsRecordSize>;

// Fills `record` from `profile`; `fallback` (the device's global profile) supplies the buttons
// whose "cmd" is 200. With no profile the fallback is converted on its own. False, leaving the
// record untouched, when `record` is null or both profiles are; false with an all-zero record
// whose speed and acceleration bytes are 255 when the profile's "dict version" is not 3.
bool VantrelAppPrefsDictToStruct(const pl::DictRef& profile, const pl::DictRef& fallback,
                                 SettingsRecord* record);

// The record read back field by field (for tools and tests).
struct SettingsRecordSlot {
  uint16_t command = 0;
  uint16_t modifiers = 0;
  uint16_t argument = 0;
  uint32_t reserved = 0;
};
struct DecodedSettingsRecord {
  uint8_t driverEnabled = 0;
  uint8_t speed = 0;          // dots per inch / 20; 255 = not given
  uint8_t acceleration = 0;   // factor × 100; 255 = not given
  uint8_t axisFlags = 0;      // bit 0 invert x, 1 invert y, 2 invert z, 3 swap xy
  uint8_t invertWheel = 0;
  uint8_t slowModifiers = 0;    // upper byte of the classic modifier mask
  uint8_t singleModifiers = 0;  // upper byte of the classic modifier mask
  uint8_t buttonCount = 0;
  uint8_t inertialScroll = 0;
  std::array<uint8_t, 7> reserved{};
  std::array<SettingsRecordSlot, kSettingsRecordSlots> slots{};
};
DecodedSettingsRecord decodeSettingsRecord(const SettingsRecord& record);

// The scroll-parameter record: five unsigned 16-bit fields, little-endian, in this order, each
// the integer value of the entry of that name in the profile's "param" dictionary cut to 16 bits
// (a missing entry gives 0).
using ScrollRecord = std::array<uint8_t, driver::kScrollRecordSize>;
inline constexpr const char* kScrollRecordFields[] = {"triggerTime", "timeDecay", "timeStop",
                                                      "countDecay", "countStop"};
ScrollRecord VantrelScrollRecord(const pl::Dictionary& param);
