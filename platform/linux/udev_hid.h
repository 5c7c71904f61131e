// The machine's HID devices through libudev, as a HID manager sees them: the devices of the
// "hid" subsystem (the kernel makes one for every HID interface), the ones present from an
// enumeration when a manager opens, then arrivals and removals from a udev monitor. The monitor's
// socket is watched through the main loop's ReadinessWatcher (platform/qt/qt_readiness_watcher.h
// at runtime), so every report is made on the main thread.
//
// A device's properties come from its HID_ID ("BBBB:VVVVVVVV:PPPPPPPP": bus, vendor and product,
// hexadecimal): "VendorID", "ProductID", and "Transport", "Bluetooth Low Energy" on the
// Bluetooth bus (0x0005) and "USB" on any other. A device without a HID_ID, or with one that is
// not of that form, has none of the three.
#pragma once

#include "platform/hid_manager.h"
#include "platform/readiness_watcher.h"

namespace sys {

class UdevHIDManagers final : public HIDManagers {
 public:
  // The watcher must outlive the managers made here.
  explicit UdevHIDManagers(rl::ReadinessWatcher& watcher) : watcher_(watcher) {}
  // Null when libudev cannot be used. Opening one fails only when the devices can neither be
  // listed nor monitored; without a monitor the devices present are still reported.
  IOHIDManagerRef IOHIDManagerCreate() override;

 private:
  rl::ReadinessWatcher& watcher_;
};

// The properties of a device with this HID_ID; none when it is null or malformed.
pl::DictRef hidPropertiesFromHidId(const char* hidId);

}  // namespace sys
