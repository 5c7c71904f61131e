// The notification protocol between the preferences panel and the helper.
//
// Each notification carries one dictionary written as an XML property list. The panel sends
// commands under kCommandName, keyed by the string entry "command"; the helper answers under
// kMessageName with a dictionary holding one entry: "list" (the device list payload) or "report"
// (a device state report forwarded unchanged). Both sides use these functions, so the encoding
// is defined once. Nothing here trusts its input: whatever does not decode is ignored.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/plist.h"
#include "settings/device_info.h"

namespace protocol {

inline constexpr const char* kCommandName = "com.halvorn.vantrel.command";  // panel -> helper
inline constexpr const char* kMessageName = "com.halvorn.vantrel.message";  // helper -> panel

inline constexpr size_t kMaxListedDevices = 16;
inline constexpr size_t kDeviceListSize = 4 + kMaxListedDevices * DeviceInfo::kSize;  // 4260
inline constexpr size_t kReportSize = 16;

static_assert(kDeviceListSize == 4260);

using DeviceListBytes = std::array<uint8_t, kDeviceListSize>;
using ReportBytes = std::array<uint8_t, kReportSize>;

// ---- the dictionary as text -----------------------------------------------------------------

// The dictionary as an XML property list; nothing when it holds a value that cannot be written.
std::optional<std::string> encodeDictionary(const pl::Dictionary& dict);
// The dictionary a notification's text holds; null when the text does not parse or its top
// level is not a dictionary.
pl::DictRef decodeDictionary(std::string_view text);

// ---- the device list ------------------------------------------------------------------------

// count, helperState, then kMaxListedDevices device records; slots past `count` are zero when
// encoded and carry no meaning when decoded.
struct DeviceList {
  uint16_t count = 0;
  uint16_t helperState = 0;  // bit 0: the helper may use snap-to-default
  std::array<DeviceInfo, kMaxListedDevices> devices{};

  bool snapToDefaultAvailable() const { return (helperState & 1) != 0; }
};

// Field by field, little-endian.
DeviceListBytes encodeDeviceList(const DeviceList& list);
// Nothing unless exactly kDeviceListSize bytes are given. A count above kMaxListedDevices is
// kept as it arrived; `validCount()` gives the number of records that may be read.
std::optional<DeviceList> decodeDeviceList(const uint8_t* bytes, size_t n);
inline size_t validCount(const DeviceList& list) {
  return list.count < kMaxListedDevices ? list.count : kMaxListedDevices;
}

// ---- commands (panel -> helper) -------------------------------------------------------------

enum class Command { None, List, Update, Front, Enumerate };

struct CommandRequest {
  Command command = Command::None;
  bool front = false;  // "front" only; a missing entry counts as false
};

// Reads "command" and compares it with "list", "update", "front" and "enumerate" in that order.
// Any other value, or a dictionary without a string "command", gives Command::None.
CommandRequest readCommand(const pl::Dictionary& dict);
// Decodes the notification text and reads the command in one step.
CommandRequest readCommand(std::string_view text);

pl::DictRef makeCommand(Command command);       // {"command": ...}; None gives an empty dictionary
pl::DictRef makeFrontCommand(bool front);       // {"command": "front", "front": front}
const char* commandWord(Command command);       // "list", ...; "" for None

// ---- messages (helper -> panel) -------------------------------------------------------------

pl::DictRef makeListMessage(const DeviceListBytes& payload);  // {"list": data}
pl::DictRef makeReportMessage(const ReportBytes& report);      // {"report": 16 bytes of data}

struct Message {
  enum class Kind { None, Report, List } kind = Kind::None;
  ReportBytes report{};
  DeviceList list;
};

// A "report" entry wins over "list". A report must be data of exactly kReportSize bytes and a
// list data of exactly kDeviceListSize bytes; anything else is Kind::None.
Message readMessage(const pl::Dictionary& dict);
Message readMessage(std::string_view text);

}  // namespace protocol
