// What the helper uses of the kernel driver's service: its class, connection type, call
// selectors, control codes and messages.
#pragma once

#include <array>
#include <cstdint>

#include "platform/plist.h"

namespace driver {

// A four-character code with the first character in the most significant byte.
constexpr uint32_t fourCC(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(s[2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[3]));
}

inline constexpr char kServiceClass[] = "VantrelService";
inline constexpr uint32_t kConnectType = fourCC("VNUc");

// Messages from the driver.
inline constexpr uint32_t kMessageButton = fourCC("VNDa");  // argument: 16-bit button number
inline constexpr uint32_t kMessageState = fourCC("VNDs");   // argument: 16-byte state report

// Call selectors.
inline constexpr uint32_t kSelectorStructIn = 0;  // handle, code, n, 0 + structure in
inline constexpr uint32_t kSelectorControl = 1;   // handle, control code, parameter; one out
inline constexpr uint32_t kSelectorInfo = 2;      // handle, type, version; structure out

inline constexpr uint32_t kSettingsCode = fourCC("VNHc");
inline constexpr uint32_t kSettingsScalar = 48;
inline constexpr uint32_t kScrollCode = fourCC("VNSp");
inline constexpr uint32_t kDeviceInfoCode = fourCC("VNDI");
inline constexpr uint32_t kDeviceInfoVersion = 1;

// Control codes.
inline constexpr uint32_t kControlKeystroke = fourCC("VNTk");
inline constexpr uint32_t kControlRawReports = fourCC("VNSr");
inline constexpr uint32_t kControlModifiers = fourCC("VNKm");
inline constexpr uint32_t kControlPopUp = fourCC("VNPo");

// `VNTk` with no key and Shift: makes the driver's keyboard the active one.
inline constexpr int32_t kActivateKeyboardParam = 0x0200FF00;

// The signature of System Preferences.
inline constexpr uint32_t kSystemPreferencesSignature = fourCC("sprf");

// The scroll-parameter record: five unsigned 16-bit fields, little-endian, in this order, each
// the integer value of the entry of that name in the profile's "param" dictionary cut to 16 bits
// (a missing entry gives 0).
inline constexpr size_t kScrollRecordSize = 10;
using ScrollRecord = std::array<uint8_t, kScrollRecordSize>;
ScrollRecord VantrelScrollRecord(const pl::Dictionary& param);

}  // namespace driver
