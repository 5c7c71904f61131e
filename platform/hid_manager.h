// The HID manager with which the preferences panel counts the attached devices of the maker.
//
// Shaped after IOKit's IOHIDManager: a manager is created (which may fail), given a matching
// dictionary such as {"VendorID": n} (every key must equal the device's property of that name;
// no dictionary, or an empty one, matches every device), a matching and a removal callback with
// a context, scheduled on the main run loop and opened. From then on the matching callback
// reports each matching device once, the devices attached at the moment of opening included,
// and the removal callback each of them that goes, with the same device object. Every HID
// interface is a device of its own. Closing stops the reports (what was not yet delivered is
// dropped); opening again reports the attached devices afresh. Set the matching before opening:
// a change later applies to the devices that arrive afterwards.
//
// Callbacks run only when the run loop performs the manager's source (on the main thread at
// runtime), never from inside one of the manager's calls. A callback may close, unschedule or
// destroy the manager.
//
// Device properties: "VendorID" and "ProductID" (numbers) and "Transport" (a string, "USB" or
// "Bluetooth Low Energy"); any of them may be missing.
//
// Where devices come from is a HIDDeviceSource: the machine's through libudev
// (platform/linux/udev_hid.h), or a test's (platform/fake/fake_hid.h).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/iokit.h"
#include "platform/plist.h"
#include "platform/runloop.h"

namespace sys {

using iokit::IOReturn;
using IOOptionBits = uint32_t;
inline constexpr IOOptionBits kIOHIDOptionsTypeNone = 0;

inline constexpr char kIOHIDVendorIDKey[] = "VendorID";
inline constexpr char kIOHIDProductIDKey[] = "ProductID";
inline constexpr char kIOHIDTransportKey[] = "Transport";
inline constexpr char kIOHIDTransportUSBValue[] = "USB";
inline constexpr char kIOHIDTransportBluetoothLowEnergyValue[] = "Bluetooth Low Energy";

// One HID interface of an attached device, with the properties it had when it arrived.
class IOHIDDevice final {
 public:
  explicit IOHIDDevice(pl::DictRef properties);
  // Null when the device does not have the property.
  pl::ObjectRef property(std::string_view key) const { return properties_->get(key); }
  const pl::Dictionary& properties() const { return *properties_; }

 private:
  pl::DictRef properties_;
};
using IOHIDDeviceRef = std::shared_ptr<const IOHIDDevice>;

// The device's property; null when it has none (or there is no device).
pl::ObjectRef IOHIDDeviceGetProperty(const IOHIDDeviceRef& device, std::string_view key);

// Whether the device has every property of the matching dictionary, with an equal value. Null
// or empty matching matches everything.
bool IOHIDDeviceConformsTo(const IOHIDDevice& device, const pl::DictRef& matching);

// context: as registered; result: kIOReturnSuccess; sender: the manager.
using IOHIDDeviceCallback = void (*)(void* context, IOReturn result, void* sender,
                                     IOHIDDeviceRef device);

// The devices one manager sees.
class HIDDeviceSource {
 public:
  class Observer {
   public:
    virtual void hidDeviceArrived(const IOHIDDeviceRef& device) = 0;
    // `device` is the object of its arrival.
    virtual void hidDeviceRemoved(const IOHIDDeviceRef& device) = 0;

   protected:
    ~Observer() = default;
  };

  virtual ~HIDDeviceSource() = default;
  // Starts reporting to `observer`: every device attached now, from inside start(), then each
  // arrival and removal as it happens, on the main thread. False when devices cannot be watched
  // (nothing is reported then).
  virtual bool start(Observer& observer) = 0;
  // Nothing is reported afterwards.
  virtual void stop() = 0;
};

class IOHIDManager final : private HIDDeviceSource::Observer {
 public:
  explicit IOHIDManager(std::unique_ptr<HIDDeviceSource> source);
  ~IOHIDManager();
  IOHIDManager(const IOHIDManager&) = delete;
  IOHIDManager& operator=(const IOHIDManager&) = delete;

  // IOHIDManagerSetDeviceMatching and the other calls of the same names.
  void SetDeviceMatching(const pl::DictRef& matching);
  void RegisterDeviceMatchingCallback(IOHIDDeviceCallback callback, void* context);
  void RegisterDeviceRemovalCallback(IOHIDDeviceCallback callback, void* context);
  // On one run loop at a time; scheduling on another moves the manager there. The run loop
  // must outlive the manager or its unscheduling.
  void ScheduleWithRunLoop(rl::RunLoop& runLoop);
  void UnscheduleFromRunLoop(rl::RunLoop& runLoop);
  // kIOReturnSuccess (also when open already), or kIOReturnError when the devices cannot be
  // watched.
  IOReturn Open(IOOptionBits options);
  // kIOReturnSuccess, or kIOReturnNotOpen.
  IOReturn Close(IOOptionBits options);

  bool isOpen() const { return open_; }
  // The matching devices reported or about to be, in arrival order.
  const std::vector<IOHIDDeviceRef>& devices() const { return devices_; }

 private:
  struct Delivery {
    bool arrival;
    IOHIDDeviceRef device;
  };
  struct Callback {
    IOHIDDeviceCallback function = nullptr;
    void* context = nullptr;
  };

  void hidDeviceArrived(const IOHIDDeviceRef& device) override;
  void hidDeviceRemoved(const IOHIDDeviceRef& device) override;
  void deliver();

  std::unique_ptr<HIDDeviceSource> source_;
  pl::DictRef matching_;
  Callback matched_;
  Callback removed_;
  rl::RunLoop* runLoop_ = nullptr;
  rl::RunLoopSourceRef runLoopSource_;
  bool open_ = false;
  std::vector<IOHIDDeviceRef> devices_;
  std::deque<Delivery> pending_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
using IOHIDManagerRef = std::unique_ptr<IOHIDManager>;

class HIDManagers {
 public:
  virtual ~HIDManagers() = default;
  // A new manager; null when none can be made.
  virtual IOHIDManagerRef IOHIDManagerCreate() = 0;
};

}  // namespace sys
