// Test support: HID manager callbacks that write down what they hear.
#pragma once

#include <string>
#include <vector>

#include "platform/hid_manager.h"

namespace testing_support {

// Each report as "+ product transport" or "- product transport" ("?" for no product id, "-" for
// no transport).
struct HeardDevices {
  std::vector<std::string> lines;
  std::vector<sys::IOHIDDeviceRef> devices;
  std::vector<void*> senders;

  static void added(void* context, sys::IOReturn result, void* sender,
                    sys::IOHIDDeviceRef device) {
    static_cast<HeardDevices*>(context)->record('+', result, sender, std::move(device));
  }
  static void removed(void* context, sys::IOReturn result, void* sender,
                      sys::IOHIDDeviceRef device) {
    static_cast<HeardDevices*>(context)->record('-', result, sender, std::move(device));
  }

  // Registers both callbacks on the manager.
  void listenTo(sys::IOHIDManager& manager) {
    manager.RegisterDeviceMatchingCallback(&added, this);
    manager.RegisterDeviceRemovalCallback(&removed, this);
  }

 private:
  void record(char sign, sys::IOReturn result, void* sender, sys::IOHIDDeviceRef device) {
    const pl::ObjectRef product = sys::IOHIDDeviceGetProperty(device, sys::kIOHIDProductIDKey);
    const pl::StringRef transport =
        pl::asString(sys::IOHIDDeviceGetProperty(device, sys::kIOHIDTransportKey));
    lines.push_back(std::string(1, sign) + " " +
                    (product ? std::to_string(pl::integerValue(product)) : "?") + " " +
                    (transport ? transport->value() : "-") +
                    (result == iokit::kIOReturnSuccess ? "" : " failed"));
    devices.push_back(std::move(device));
    senders.push_back(sender);
  }
};

inline pl::DictRef vendorMatching(int64_t vendor) {
  pl::DictRef matching = pl::makeDict();
  matching->setInteger(sys::kIOHIDVendorIDKey, vendor);
  return matching;
}

}  // namespace testing_support
