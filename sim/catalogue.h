// The simulator's device catalogue: the devices it can attach, read from a property list
// (sim/devices.plist) so that tests and people add devices without touching code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/plist.h"

namespace sim {

struct CatalogueDevice {
  std::string key;          // the name used on the command line: "dev1", "mouse", ...
  int device = 0;           // Dev1..Dev7, 0 for a test device
  int entry = 0;            // line of the supported-product table, 0 when none
  uint16_t vendorID = 0;
  uint16_t productID = 0;
  uint16_t release = 0;     // major in the high byte
  std::string vendorName;
  std::string productName;
  std::vector<int> buttons;  // button numbers the device has
  bool usb = false;
  bool ble = false;
  std::vector<uint16_t> interfaces;  // HID interfaces; one driver service each when captured
};

class Catalogue {
 public:
  // Reads the catalogue; nothing, with a reason in `error`, when the file is unusable. Entries
  // with a missing key, a duplicate key, no transport or out-of-range numbers are refused.
  static std::optional<Catalogue> fromDictionary(const pl::Dictionary& dict, std::string* error);
  static std::optional<Catalogue> load(const std::string& path, std::string* error);
  // The catalogue that ships next to the simulator's sources.
  static std::string defaultPath();

  const CatalogueDevice* find(const std::string& key) const;
  const std::vector<CatalogueDevice>& devices() const { return devices_; }

 private:
  std::vector<CatalogueDevice> devices_;
};

}  // namespace sim
