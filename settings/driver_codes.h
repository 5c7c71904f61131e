// The kernel driver's vocabulary, shared by the helper's driver link, the device simulator and
// the tools: its service class, connection type, call selectors, the codes of its records and
// controls, and its messages. The status values of its calls are IOKit's
// (platform/status_codes.h).
//
//   selector 0  handle, VNHc, 48, 0 + 176-byte settings record in
//               handle, VNSp, 1, 0  + 10-byte scroll record in
//   selector 1  handle, control code, parameter; one scalar out
//   selector 2  handle, VNDI, 1; up to 266 bytes of device information out
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/four_char_code.h"
#include "platform/status_codes.h"

namespace driver {

inline constexpr char kServiceClass[] = "VantrelService";
// The USB device services of the system: the current class first, then the older one.
inline constexpr char kUSBHostDeviceClass[] = "IOUSBHostDevice";
inline constexpr char kUSBDeviceClass[] = "IOUSBDevice";

inline constexpr uint32_t kConnectType = FourCharCode("VNUc");

// Messages from the driver.
inline constexpr uint32_t kMessageButton = FourCharCode("VNDa");  // argument: 16-bit button number
inline constexpr uint32_t kMessageState = FourCharCode("VNDs");   // argument: 16-byte state report
inline constexpr size_t kStateReportSize = 16;

// Call selectors.
inline constexpr uint32_t kSelectorStructIn = 0;  // handle, code, n, 0 + structure in
inline constexpr uint32_t kSelectorControl = 1;   // handle, control code, parameter; one out
inline constexpr uint32_t kSelectorInfo = 2;      // handle, type, version; structure out

// What selector 0 carries, with its third scalar.
inline constexpr uint32_t kSettingsCode = FourCharCode("VNHc");
inline constexpr uint32_t kSettingsScalar = 48;
inline constexpr uint32_t kScrollCode = FourCharCode("VNSp");
inline constexpr uint32_t kScrollScalar = 1;
inline constexpr size_t kScrollRecordSize = 10;
// What selector 2 reads, with its version.
inline constexpr uint32_t kDeviceInfoCode = FourCharCode("VNDI");
inline constexpr uint32_t kDeviceInfoVersion = 1;

// Control codes (selector 1).
inline constexpr uint32_t kControlKeystroke = FourCharCode("VNTk");   // key << 8 | modifiers << 16
inline constexpr uint32_t kControlRawReports = FourCharCode("VNSr");  // 1: send VNDs, 0: stop
inline constexpr uint32_t kControlModifiers = FourCharCode("VNKm");   // modifier keys now held
inline constexpr uint32_t kControlPopUp = FourCharCode("VNPo");       // 1: a helper menu is open

// `VNTk` with no key and Shift: makes the driver's keyboard the active one.
inline constexpr int32_t kActivateKeyboardParam = 0x0200FF00;

// How a device is connected, as the device information record says.
inline constexpr uint16_t kTransportUSB = 1;
inline constexpr uint16_t kTransportBLE = 2;

}  // namespace driver
