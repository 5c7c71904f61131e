#include "platform/fake/fake_hid.h"

namespace sys {

class FakeHIDDevices::Source final : public HIDDeviceSource {
 public:
  explicit Source(FakeHIDDevices& world) : world_(world) {}
  ~Source() override { stop(); }

  bool start(Observer& observer) override {
    if (world_.failOpen) return false;
    observer_ = &observer;
    world_.sources_.insert(this);
    for (const auto& [id, device] : world_.devices_) observer.hidDeviceArrived(device);
    return true;
  }
  void stop() override {
    world_.sources_.erase(this);
    observer_ = nullptr;
  }
  Observer* observer() const { return observer_; }

 private:
  FakeHIDDevices& world_;
  Observer* observer_ = nullptr;
};

FakeHIDDevices::~FakeHIDDevices() = default;

int FakeHIDDevices::attach(pl::DictRef properties) {
  const int id = nextId_++;
  auto device = std::make_shared<const IOHIDDevice>(std::move(properties));
  devices_[id] = device;
  for (Source* s : std::set<Source*>(sources_)) s->observer()->hidDeviceArrived(device);
  return id;
}

int FakeHIDDevices::attach(uint16_t vendorID, uint16_t productID,
                           std::optional<std::string> transport) {
  pl::DictRef properties = pl::makeDict();
  properties->setInteger(kIOHIDVendorIDKey, vendorID);
  properties->setInteger(kIOHIDProductIDKey, productID);
  if (transport) properties->setString(kIOHIDTransportKey, *transport);
  return attach(properties);
}

void FakeHIDDevices::detach(int id) {
  const auto it = devices_.find(id);
  if (it == devices_.end()) return;
  const IOHIDDeviceRef device = it->second;
  devices_.erase(it);
  for (Source* s : std::set<Source*>(sources_)) s->observer()->hidDeviceRemoved(device);
}

IOHIDManagerRef FakeHIDDevices::IOHIDManagerCreate() {
  ++creates;
  if (failCreate) return nullptr;
  return std::make_unique<IOHIDManager>(std::make_unique<Source>(*this));
}

}  // namespace sys
