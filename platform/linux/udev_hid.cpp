#include "platform/linux/udev_hid.h"

#include <libudev.h>
#include <poll.h>

#include <cstring>
#include <map>
#include <string>
#include <string_view>

namespace sys {

namespace {

constexpr char kSubsystem[] = "hid";
constexpr uint32_t kBusBluetooth = 0x0005;
// Messages read per wake-up; the rest wait for the next one, so a flood cannot hold the loop.
constexpr int kMessagesPerWakeup = 256;

// 1 to 8 hexadecimal digits, and nothing else.
std::optional<uint32_t> parseHex(std::string_view s) {
  if (s.empty() || s.size() > 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : s) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<uint32_t>(digit);
  }
  return value;
}

class UdevHidSource final : public HIDDeviceSource {
 public:
  UdevHidSource(udev* context, rl::ReadinessWatcher& watcher)
      : udev_(context), watcher_(watcher) {}
  ~UdevHidSource() override {
    stop();
    udev_unref(udev_);
  }
  UdevHidSource(const UdevHidSource&) = delete;
  UdevHidSource& operator=(const UdevHidSource&) = delete;

  bool start(Observer& observer) override {
    stop();
    observer_ = &observer;
    // The monitor first, so that nothing that arrives during the enumeration is missed; a device
    // seen by both is reported once.
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ != nullptr &&
        (udev_monitor_filter_add_match_subsystem_devtype(monitor_, kSubsystem, nullptr) < 0 ||
         udev_monitor_enable_receiving(monitor_) < 0)) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
    const bool listed = enumerate();
    if (monitor_ == nullptr && !listed) {
      observer_ = nullptr;
      known_.clear();
      return false;
    }
    if (monitor_ != nullptr) watcher_.watch(udev_monitor_get_fd(monitor_), [this] { receive(); });
    return true;
  }

  void stop() override {
    if (monitor_ != nullptr) {
      watcher_.unwatch(udev_monitor_get_fd(monitor_));
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
    observer_ = nullptr;
    known_.clear();
  }

 private:
  bool enumerate() {
    udev_enumerate* e = udev_enumerate_new(udev_);
    if (e == nullptr) return false;
    const bool scanned = udev_enumerate_add_match_subsystem(e, kSubsystem) >= 0 &&
                         udev_enumerate_scan_devices(e) >= 0;
    if (scanned) {
      udev_list_entry* entry = nullptr;
      udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        const char* syspath = udev_list_entry_get_name(entry);
        udev_device* device = syspath ? udev_device_new_from_syspath(udev_, syspath) : nullptr;
        if (device == nullptr) continue;
        handle(device);
        udev_device_unref(device);
      }
    }
    udev_enumerate_unref(e);
    return scanned;
  }

  void receive() {
    for (int i = 0; i < kMessagesPerWakeup && monitor_ != nullptr; ++i) {
      pollfd p{udev_monitor_get_fd(monitor_), POLLIN, 0};
      if (::poll(&p, 1, 0) <= 0 || (p.revents & POLLIN) == 0) break;
      udev_device* device = udev_monitor_receive_device(monitor_);
      if (device == nullptr) continue;
      handle(device);
      udev_device_unref(device);
    }
  }

  // A device from the enumeration (no action) or an event.
  void handle(udev_device* device) {
    const char* subsystem = udev_device_get_subsystem(device);
    const char* syspath = udev_device_get_syspath(device);
    if (observer_ == nullptr || subsystem == nullptr || std::strcmp(subsystem, kSubsystem) != 0 ||
        syspath == nullptr)
      return;
    const char* action = udev_device_get_action(device);
    const auto known = known_.find(syspath);
    if (action != nullptr && std::strcmp(action, "remove") == 0) {
      if (known == known_.end()) return;
      const IOHIDDeviceRef gone = known->second;
      known_.erase(known);
      observer_->hidDeviceRemoved(gone);
      return;
    }
    // Present: listed, added, bound to a driver or changed. "unbind" leaves it attached.
    if (action != nullptr && std::strcmp(action, "add") != 0 && std::strcmp(action, "bind") != 0 &&
        std::strcmp(action, "change") != 0)
      return;
    if (known != known_.end()) return;
    auto added = std::make_shared<const IOHIDDevice>(
        hidPropertiesFromHidId(udev_device_get_property_value(device, "HID_ID")));
    known_.emplace(syspath, added);
    observer_->hidDeviceArrived(added);
  }

  udev* udev_;
  rl::ReadinessWatcher& watcher_;
  udev_monitor* monitor_ = nullptr;
  Observer* observer_ = nullptr;
  std::map<std::string, IOHIDDeviceRef, std::less<>> known_;  // by sysfs path
};

}  // namespace

pl::DictRef hidPropertiesFromHidId(const char* hidId) {
  pl::DictRef properties = pl::makeDict();
  if (hidId == nullptr) return properties;
  const std::string_view id = hidId;
  const size_t first = id.find(':');
  const size_t second = first == std::string_view::npos ? first : id.find(':', first + 1);
  if (second == std::string_view::npos) return properties;
  const auto bus = parseHex(id.substr(0, first));
  const auto vendor = parseHex(id.substr(first + 1, second - first - 1));
  const auto product = parseHex(id.substr(second + 1));
  if (!bus || !vendor || !product || *bus > 0xFFFF) return properties;
  properties->setInteger(kIOHIDVendorIDKey, *vendor);
  properties->setInteger(kIOHIDProductIDKey, *product);
  properties->setString(kIOHIDTransportKey, *bus == kBusBluetooth
                                                ? kIOHIDTransportBluetoothLowEnergyValue
                                                : kIOHIDTransportUSBValue);
  return properties;
}

IOHIDManagerRef UdevHIDManagers::IOHIDManagerCreate() {
  udev* context = udev_new();
  if (context == nullptr) return nullptr;
  return std::make_unique<IOHIDManager>(std::make_unique<UdevHidSource>(context, watcher_));
}

}  // namespace sys
