// HID devices for tests: the test attaches and detaches devices; every open manager made here
// hears of them at once (its callbacks run when the run loop performs its source). Managers must
// not outlive the FakeHIDDevices that made them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "platform/hid_manager.h"

namespace sys {

class FakeHIDDevices final : public HIDManagers {
 public:
  FakeHIDDevices() = default;
  FakeHIDDevices(const FakeHIDDevices&) = delete;
  FakeHIDDevices& operator=(const FakeHIDDevices&) = delete;
  ~FakeHIDDevices() override;

  // Attaches a device with these properties and returns its id.
  int attach(pl::DictRef properties);
  // A device with the usual three properties ("Transport" left out when none is given).
  int attach(uint16_t vendorID, uint16_t productID,
             std::optional<std::string> transport = std::string(kIOHIDTransportUSBValue));
  void detach(int id);
  size_t attachedCount() const { return devices_.size(); }

  bool failCreate = false;  // IOHIDManagerCreate gives null
  bool failOpen = false;    // managers cannot open
  int creates = 0;
  // Managers made here that are open now.
  size_t openCount() const { return sources_.size(); }

  IOHIDManagerRef IOHIDManagerCreate() override;

 private:
  class Source;
  std::map<int, IOHIDDeviceRef> devices_;
  std::set<Source*> sources_;
  int nextId_ = 1;
};

}  // namespace sys
