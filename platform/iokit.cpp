#include "platform/iokit.h"

#include <algorithm>
#include <cstring>

namespace iokit {

struct Delivery {
  io_object_t notification = 0;
  bool match = false;  // matching callback; otherwise an interest message
  uint32_t messageType = 0;
  bool hasArgument = false;
  std::vector<uint8_t> argument;
};

class IONotificationPort {
 public:
  std::deque<Delivery> queue;
  rl::RunLoopSourceRef source;
  bool destroyed = false;
};

CFMutableDictionaryRef IOServiceMatching(const char* className) {
  if (className == nullptr) return nullptr;
  pl::DictRef d = pl::makeDict();
  d->setString(kIOProviderClassKey, className);
  return d;
}

// ---- USB device interface ------------------------------------------------------------------

IOReturn IOUSBDeviceInterface::GetDeviceVendor(uint16_t* vendor) {
  if (vendor == nullptr) return kIOReturnBadArgument;
  uint16_t product = 0;
  return kit_.world_.usbIdentity(service_, vendor, &product);
}

IOReturn IOUSBDeviceInterface::GetDeviceProduct(uint16_t* product) {
  if (product == nullptr) return kIOReturnBadArgument;
  uint16_t vendor = 0;
  return kit_.world_.usbIdentity(service_, &vendor, product);
}

IOReturn IOUSBDeviceInterface::USBDeviceOpen() { return kit_.world_.usbOpen(service_); }
IOReturn IOUSBDeviceInterface::USBDeviceClose() { return kit_.world_.usbClose(service_); }
IOReturn IOUSBDeviceInterface::ResetDevice() { return kit_.world_.usbReset(service_); }
IOReturn IOUSBDeviceInterface::USBDeviceReEnumerate(uint32_t options) {
  return kit_.world_.usbReEnumerate(service_, options);
}

HRESULT IOCFPlugInInterface::QueryInterface(CFUUID interfaceID,
                                            std::unique_ptr<IOUSBDeviceInterface>* out) {
  if (out == nullptr) return E_NOINTERFACE;
  out->reset();
  if (interfaceID != kIOUSBDeviceInterfaceID || kit_.failure("QueryInterface") != 0)
    return E_NOINTERFACE;
  *out = std::make_unique<IOUSBDeviceInterface>(kit_, service_);
  return S_OK;
}

// ---- IOKit ---------------------------------------------------------------------------------

IOKit::IOKit(DriverWorld& world) : world_(world) { world_.setObserver(this); }

IOKit::~IOKit() {
  world_.setObserver(nullptr);
  for (auto& p : ports_) {
    if (p->source) p->source->invalidate();
  }
}

void IOKit::setFailure(std::string_view call, kern_return_t status) {
  failures_[std::string(call)] = status;
}

kern_return_t IOKit::failure(std::string_view call) const {
  auto it = failures_.find(call);
  return it == failures_.end() ? KERN_SUCCESS : it->second;
}

bool IOKit::livePort(IONotificationPort* port) const {
  if (port == nullptr || port->destroyed) return false;
  return std::any_of(ports_.begin(), ports_.end(), [&](const auto& p) { return p.get() == port; });
}

io_object_t IOKit::newObject(Object object) {
  // Handles are never 0 and not reused while live.
  while (nextHandle_ == 0 || objects_.count(nextHandle_) != 0) nextHandle_ += 4;
  const io_object_t h = nextHandle_;
  nextHandle_ += 4;
  if (object.kind == Kind::MatchNotification) matchNotifications_.push_back(h);
  if (object.kind == Kind::InterestNotification) interests_.emplace(object.service, h);
  objects_.emplace(h, std::move(object));
  return h;
}

IOKit::Object* IOKit::find(io_object_t handle) {
  auto it = objects_.find(handle);
  return it == objects_.end() ? nullptr : &it->second;
}

const IOKit::Object* IOKit::find(io_object_t handle) const {
  auto it = objects_.find(handle);
  return it == objects_.end() ? nullptr : &it->second;
}

uint32_t IOKit::retainCount(io_object_t object) const {
  const Object* o = find(object);
  return o ? o->refs : 0;
}

ServiceId IOKit::serviceIdOf(io_service_t service) const {
  const Object* o = find(service);
  return o && o->kind == Kind::Service ? o->service : 0;
}

size_t IOKit::pendingDeliveries(IONotificationPortRef port) const {
  return livePort(port) ? port->queue.size() : 0;
}

io_service_t IOKit::serviceHandle(ServiceId service, std::string_view className) {
  auto it = serviceHandles_.find(service);
  if (it != serviceHandles_.end()) {
    if (Object* o = find(it->second)) {
      ++o->refs;
      return it->second;
    }
  }
  Object o;
  o.kind = Kind::Service;
  o.service = service;
  o.className = std::string(className);
  const io_service_t h = newObject(std::move(o));
  serviceHandles_[service] = h;
  return h;
}

kern_return_t IOKit::IOMasterPort(mach_port_t /*bootstrapPort*/, mach_port_t* masterPort) {
  if (masterPort == nullptr) return KERN_INVALID_ARGUMENT;
  *masterPort = MACH_PORT_NULL;
  if (kern_return_t f = failure("IOMasterPort")) return f;
  if (!world_.available()) return KERN_FAILURE;
  ++masterRefs_;
  *masterPort = kMasterPortName;
  return KERN_SUCCESS;
}

kern_return_t IOKit::mach_port_deallocate(task_port_t /*task*/, mach_port_t name) {
  if (name != kMasterPortName || masterRefs_ <= 0) return KERN_INVALID_ARGUMENT;
  --masterRefs_;
  return KERN_SUCCESS;
}

IONotificationPortRef IOKit::IONotificationPortCreate(mach_port_t masterPort) {
  if (failure("IONotificationPortCreate") != 0 || !validMaster(masterPort)) return nullptr;
  auto port = std::make_unique<IONotificationPort>();
  IONotificationPort* raw = port.get();
  port->source = std::make_shared<rl::RunLoopSource>([this, raw] { deliver(raw); });
  ports_.push_back(std::move(port));
  return raw;
}

void IOKit::IONotificationPortDestroy(IONotificationPortRef port) {
  if (!livePort(port)) return;
  // The port object stays allocated until the IOKit object goes, so that a callback that
  // destroys its own port does not pull the floor from under the delivery loop.
  port->destroyed = true;
  port->queue.clear();
  port->source->invalidate();
}

rl::RunLoopSourceRef IOKit::IONotificationPortGetRunLoopSource(IONotificationPortRef port) {
  if (failure("IONotificationPortGetRunLoopSource") != 0 || !livePort(port)) return nullptr;
  return port->source;
}

kern_return_t IOKit::IOServiceAddMatchingNotification(IONotificationPortRef port,
                                                      const char* notificationType,
                                                      const CFMutableDictionaryRef& matching,
                                                      IOServiceMatchingCallback callback,
                                                      void* refCon,
                                                      io_iterator_t* notification) {
  if (notification != nullptr) *notification = IO_OBJECT_NULL;
  if (!livePort(port) || notificationType == nullptr || !matching || callback == nullptr ||
      notification == nullptr)
    return kIOReturnBadArgument;
  if (kern_return_t f = failure("IOServiceAddMatchingNotification")) return f;
  if (kern_return_t f = failure(notificationType)) return f;
  const bool firstMatch = std::strcmp(notificationType, kIOFirstMatchNotification) == 0;
  const bool terminate = std::strcmp(notificationType, kIOTerminatedNotification) == 0;
  if (!firstMatch && !terminate) return kIOReturnUnsupported;
  const std::string className = matching->stringValue(kIOProviderClassKey);
  if (className.empty()) return kIOReturnBadArgument;

  Object o;
  o.kind = Kind::MatchNotification;
  o.className = className;
  o.terminate = terminate;
  o.port = port;
  o.matchCallback = callback;
  o.refCon = refCon;
  if (firstMatch) {
    for (ServiceId s : world_.services(className)) o.queue.push_back(s);
  }
  *notification = newObject(std::move(o));
  return KERN_SUCCESS;
}

kern_return_t IOKit::IOServiceGetMatchingServices(mach_port_t masterPort,
                                                  const CFMutableDictionaryRef& matching,
                                                  io_iterator_t* existing) {
  if (existing != nullptr) *existing = IO_OBJECT_NULL;
  if (!validMaster(masterPort) || !matching || existing == nullptr) return kIOReturnBadArgument;
  if (kern_return_t f = failure("IOServiceGetMatchingServices")) return f;
  if (!world_.available()) return kIOReturnNotResponding;
  Object o;
  o.kind = Kind::Iterator;
  o.className = matching->stringValue(kIOProviderClassKey);
  for (ServiceId s : world_.services(o.className)) o.queue.push_back(s);
  *existing = newObject(std::move(o));
  return KERN_SUCCESS;
}

io_object_t IOKit::IOIteratorNext(io_iterator_t iterator) {
  Object* it = find(iterator);
  if (it == nullptr || (it->kind != Kind::Iterator && it->kind != Kind::MatchNotification))
    return IO_OBJECT_NULL;
  if (it->queue.empty()) {
    if (it->kind == Kind::MatchNotification) it->armed = true;
    return IO_OBJECT_NULL;
  }
  const ServiceId s = it->queue.front();
  it->queue.pop_front();
  const std::string className = it->className;  // `it` may move once an object is added
  return serviceHandle(s, className);
}

kern_return_t IOKit::IOObjectRetain(io_object_t object) {
  Object* o = find(object);
  if (o == nullptr) return KERN_INVALID_ARGUMENT;
  ++o->refs;
  return KERN_SUCCESS;
}

kern_return_t IOKit::IOObjectRelease(io_object_t object) {
  Object* o = find(object);
  if (o == nullptr) return KERN_INVALID_ARGUMENT;
  if (--o->refs > 0) return KERN_SUCCESS;
  const Kind kind = o->kind;
  const ServiceId service = o->service;
  const io_object_t heldService = o->serviceHandle;
  objects_.erase(object);
  if (kind == Kind::MatchNotification) std::erase(matchNotifications_, object);
  if (kind == Kind::InterestNotification) {
    auto [first, last] = interests_.equal_range(service);
    for (auto it = first; it != last; ++it) {
      if (it->second == object) {
        interests_.erase(it);
        break;
      }
    }
  }
  if (kind == Kind::Service) {
    auto it = serviceHandles_.find(service);
    if (it != serviceHandles_.end() && it->second == object) serviceHandles_.erase(it);
  } else if (kind == Kind::InterestNotification && heldService != 0) {
    IOObjectRelease(heldService);
  }
  return KERN_SUCCESS;
}

kern_return_t IOKit::IOServiceOpen(io_service_t service, task_port_t /*owningTask*/,
                                   uint32_t type, io_connect_t* connect) {
  if (connect != nullptr) *connect = 0;
  const Object* o = find(service);
  if (o == nullptr || o->kind != Kind::Service || connect == nullptr) return kIOReturnBadArgument;
  return world_.open(o->service, type, connect);
}

kern_return_t IOKit::IOServiceClose(io_connect_t connect) {
  if (connect == 0) return kIOReturnBadArgument;
  return world_.close(connect);
}

kern_return_t IOKit::IOServiceAddInterestNotification(IONotificationPortRef port,
                                                      io_service_t service,
                                                      const char* interestType,
                                                      IOServiceInterestCallback callback,
                                                      void* refCon,
                                                      io_object_t* notification) {
  if (notification != nullptr) *notification = IO_OBJECT_NULL;
  Object* s = find(service);
  if (!livePort(port) || s == nullptr || s->kind != Kind::Service || interestType == nullptr ||
      callback == nullptr || notification == nullptr)
    return kIOReturnBadArgument;
  if (std::strcmp(interestType, kIOGeneralInterest) != 0) return kIOReturnUnsupported;
  if (kern_return_t f = failure("IOServiceAddInterestNotification")) return f;
  ++s->refs;
  Object o;
  o.kind = Kind::InterestNotification;
  o.service = s->service;
  o.port = port;
  o.interestCallback = callback;
  o.refCon = refCon;
  o.serviceHandle = service;
  *notification = newObject(std::move(o));
  return KERN_SUCCESS;
}

kern_return_t IOKit::IOConnectCallMethod(io_connect_t connection, uint32_t selector,
                                         const uint64_t* input, uint32_t inputCnt,
                                         const void* inputStruct, size_t inputStructCnt,
                                         uint64_t* output, uint32_t* outputCnt,
                                         void* outputStruct, size_t* outputStructCnt) {
  if (connection == 0 || (input == nullptr && inputCnt != 0) ||
      (inputStruct == nullptr && inputStructCnt != 0) ||
      (outputCnt != nullptr && *outputCnt != 0 && output == nullptr) ||
      (outputStructCnt != nullptr && *outputStructCnt != 0 && outputStruct == nullptr))
    return kIOReturnBadArgument;
  uint32_t noScalars = 0;
  size_t noBytes = 0;
  return world_.call(connection, selector, input, inputCnt, inputStruct, inputStructCnt, output,
                     outputCnt != nullptr ? outputCnt : &noScalars, outputStruct,
                     outputStructCnt != nullptr ? outputStructCnt : &noBytes);
}

IOReturn IOKit::CallStructInMethod(io_connect_t connection, uint32_t selector,
                                   const uint64_t* input, uint32_t inputCnt,
                                   const void* inputStruct, size_t inputStructCnt) {
  if (inputCnt > 4 || (input == nullptr && inputCnt != 0) || inputStruct == nullptr ||
      inputStructCnt == 0)
    return kIOReturnBadArgument;
  return IOConnectCallMethod(connection, selector, input, inputCnt, inputStruct, inputStructCnt,
                             nullptr, nullptr, nullptr, nullptr);
}

IOReturn IOKit::CallScalarOutMethod(io_connect_t connection, uint32_t selector,
                                    const uint64_t* input, uint32_t inputCnt, uint64_t* output,
                                    uint32_t outputCnt) {
  if (inputCnt > 4 || (input == nullptr && inputCnt != 0) || outputCnt > 1 || output == nullptr)
    return kIOReturnBadArgument;
  uint32_t count = outputCnt;
  return IOConnectCallMethod(connection, selector, input, inputCnt, nullptr, 0, output, &count,
                             nullptr, nullptr);
}

IOReturn IOKit::CallStructOutMethod(io_connect_t connection, uint32_t selector,
                                    const uint64_t* input, uint32_t inputCnt, void* outputStruct,
                                    size_t* outputStructCnt) {
  if (inputCnt > 4 || (input == nullptr && inputCnt != 0) || outputStruct == nullptr ||
      outputStructCnt == nullptr)
    return kIOReturnBadArgument;
  return IOConnectCallMethod(connection, selector, input, inputCnt, nullptr, 0, nullptr, nullptr,
                             outputStruct, outputStructCnt);
}

kern_return_t IOKit::IOCreatePlugInInterfaceForService(
    io_service_t service, CFUUID pluginType, CFUUID interfaceType,
    std::unique_ptr<IOCFPlugInInterface>* plugin, int32_t* score) {
  if (plugin != nullptr) plugin->reset();
  if (score != nullptr) *score = 0;
  const Object* o = find(service);
  if (o == nullptr || o->kind != Kind::Service || plugin == nullptr) return kIOReturnBadArgument;
  if (pluginType != kIOUSBDeviceUserClientTypeID || interfaceType != kIOCFPlugInInterfaceID)
    return kIOReturnUnsupported;
  if (kern_return_t f = failure("IOCreatePlugInInterfaceForService")) return f;
  uint16_t vendor = 0;
  uint16_t product = 0;
  if (IOReturn r = world_.usbIdentity(o->service, &vendor, &product)) return r;
  *plugin = std::make_unique<IOCFPlugInInterface>(*this, o->service);
  if (score != nullptr) *score = 1;
  return KERN_SUCCESS;
}

// ---- deliveries ------------------------------------------------------------------------------

void IOKit::queueMatch(bool terminate, ServiceId service, std::string_view className) {
  for (io_object_t handle : matchNotifications_) {
    Object& o = objects_.at(handle);
    if (o.terminate != terminate ||
        o.className != className || !livePort(o.port))
      continue;
    o.queue.push_back(service);
    if (o.armed) {
      o.armed = false;
      Delivery d;
      d.notification = handle;
      d.match = true;
      o.port->queue.push_back(std::move(d));
      o.port->source->signal();
    }
  }
}

void IOKit::servicePublished(ServiceId service, std::string_view className) {
  queueMatch(false, service, className);
}

void IOKit::serviceTerminated(ServiceId service, std::string_view className) {
  messagePosted(service, kIOMessageServiceIsTerminated, nullptr, 0);
  queueMatch(true, service, className);
}

void IOKit::messagePosted(ServiceId service, uint32_t messageType, const uint8_t* argument,
                          size_t size) {
  auto [first, last] = interests_.equal_range(service);
  for (auto it = first; it != last; ++it) {
    const io_object_t handle = it->second;
    Object& o = objects_.at(handle);
    if (!livePort(o.port)) continue;
    Delivery d;
    d.notification = handle;
    d.messageType = messageType;
    d.hasArgument = argument != nullptr;
    if (argument != nullptr) {
      d.argument.assign(argument, argument + size);
      if (d.argument.size() < kMessageArgumentMinimumSize)
        d.argument.resize(kMessageArgumentMinimumSize, 0);
    }
    o.port->queue.push_back(std::move(d));
    o.port->source->signal();
  }
}

void IOKit::deliver(IONotificationPort* port) {
  std::deque<Delivery> batch;
  batch.swap(port->queue);
  for (Delivery& d : batch) {
    if (port->destroyed) return;
    const Object* n = find(d.notification);
    if (n == nullptr) continue;  // released meanwhile
    if (d.match) {
      n->matchCallback(n->refCon, d.notification);
    } else {
      n->interestCallback(n->refCon, n->serviceHandle, d.messageType,
                          d.hasArgument ? d.argument.data() : nullptr);
    }
  }
}

}  // namespace iokit
