#include "platform/hid_manager.h"

#include <algorithm>

namespace sys {

IOHIDDevice::IOHIDDevice(pl::DictRef properties)
    : properties_(properties ? std::move(properties) : pl::makeDict()) {}

pl::ObjectRef IOHIDDeviceGetProperty(const IOHIDDeviceRef& device, std::string_view key) {
  return device ? device->property(key) : nullptr;
}

bool IOHIDDeviceConformsTo(const IOHIDDevice& device, const pl::DictRef& matching) {
  if (!matching) return true;
  return std::all_of(matching->begin(), matching->end(), [&](const auto& entry) {
    const pl::ObjectRef value = device.property(entry.first);
    return value && pl::isEqual(value, entry.second);
  });
}

IOHIDManager::IOHIDManager(std::unique_ptr<HIDDeviceSource> source)
    : source_(std::move(source)),
      runLoopSource_(std::make_shared<rl::RunLoopSource>([this] { deliver(); })) {}

IOHIDManager::~IOHIDManager() {
  if (open_ && source_) source_->stop();
  if (runLoop_ != nullptr) runLoop_->removeSource(runLoopSource_);
  runLoopSource_->invalidate();
}

void IOHIDManager::SetDeviceMatching(const pl::DictRef& matching) {
  matching_ = matching ? pl::deepCopyDict(matching) : nullptr;
}

void IOHIDManager::RegisterDeviceMatchingCallback(IOHIDDeviceCallback callback, void* context) {
  matched_ = {callback, context};
}

void IOHIDManager::RegisterDeviceRemovalCallback(IOHIDDeviceCallback callback, void* context) {
  removed_ = {callback, context};
}

void IOHIDManager::ScheduleWithRunLoop(rl::RunLoop& runLoop) {
  if (runLoop_ == &runLoop) return;
  if (runLoop_ != nullptr) runLoop_->removeSource(runLoopSource_);
  runLoop_ = &runLoop;
  runLoop.addSource(runLoopSource_);
}

void IOHIDManager::UnscheduleFromRunLoop(rl::RunLoop& runLoop) {
  if (runLoop_ != &runLoop) return;
  runLoop.removeSource(runLoopSource_);
  runLoop_ = nullptr;
}

IOReturn IOHIDManager::Open(IOOptionBits) {
  if (open_) return iokit::kIOReturnSuccess;
  if (!source_) return iokit::kIOReturnError;
  open_ = true;  // the devices present are reported from inside start()
  if (!source_->start(*this)) {
    open_ = false;
    devices_.clear();
    pending_.clear();
    return iokit::kIOReturnError;
  }
  return iokit::kIOReturnSuccess;
}

IOReturn IOHIDManager::Close(IOOptionBits) {
  if (!open_) return iokit::kIOReturnNotOpen;
  open_ = false;
  source_->stop();
  devices_.clear();
  pending_.clear();
  return iokit::kIOReturnSuccess;
}

void IOHIDManager::hidDeviceArrived(const IOHIDDeviceRef& device) {
  if (!open_ || !device || !IOHIDDeviceConformsTo(*device, matching_)) return;
  if (std::find(devices_.begin(), devices_.end(), device) != devices_.end()) return;
  devices_.push_back(device);
  pending_.push_back({true, device});
  runLoopSource_->signal();
}

void IOHIDManager::hidDeviceRemoved(const IOHIDDeviceRef& device) {
  const auto it = std::find(devices_.begin(), devices_.end(), device);
  if (!open_ || it == devices_.end()) return;
  devices_.erase(it);
  pending_.push_back({false, device});
  runLoopSource_->signal();
}

void IOHIDManager::deliver() {
  const std::weak_ptr<bool> alive = alive_;
  while (open_ && !pending_.empty()) {
    const Delivery next = pending_.front();
    pending_.pop_front();
    const Callback callback = next.arrival ? matched_ : removed_;
    if (callback.function == nullptr) continue;
    callback.function(callback.context, iokit::kIOReturnSuccess, this, next.device);
    if (alive.expired()) return;  // the callback destroyed the manager
  }
}

}  // namespace sys
