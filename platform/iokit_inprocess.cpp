#include "platform/iokit_inprocess.h"

#include <algorithm>
#include <cstring>

#include "platform/iokit.h"

namespace iokit {

ServiceId InProcessDriverWorld::publishService(const std::string& className) {
  return publishService(className, ServiceBehaviour());
}

ServiceId InProcessDriverWorld::publishService(const std::string& className,
                                               ServiceBehaviour behaviour) {
  const ServiceId id = nextService_++;
  Service s;
  s.className = className;
  s.behaviour = std::move(behaviour);
  services_.emplace(id, std::move(s));
  if (observer_) observer_->servicePublished(id, className);
  return id;
}

ServiceId InProcessDriverWorld::publishUsbDevice(const std::string& className, UsbDevice device) {
  const ServiceId id = nextService_++;
  Service s;
  s.className = className;
  s.usb = device;
  services_.emplace(id, std::move(s));
  if (observer_) observer_->servicePublished(id, className);
  return id;
}

bool InProcessDriverWorld::terminateService(ServiceId service) {
  Service* s = liveService(service);
  if (s == nullptr) return false;
  // Ids are never reused, so forgetting the service is enough to make it unknown from now on.
  const std::string className = s->className;
  services_.erase(service);
  if (observer_) observer_->serviceTerminated(service, className);
  return true;
}

void InProcessDriverWorld::postMessage(ServiceId service, uint32_t messageType,
                                       std::optional<std::vector<uint8_t>> argument) {
  if (liveService(service) == nullptr || observer_ == nullptr) return;
  static const uint8_t kEmpty = 0;
  const uint8_t* p = nullptr;
  size_t n = 0;
  if (argument) {
    p = argument->empty() ? &kEmpty : argument->data();
    n = argument->size();
  }
  observer_->messagePosted(service, messageType, p, n);
}

InProcessDriverWorld::Service* InProcessDriverWorld::liveService(ServiceId id) {
  auto it = services_.find(id);
  return it != services_.end() ? &it->second : nullptr;
}

bool InProcessDriverWorld::isLive(ServiceId service) const {
  auto it = services_.find(service);
  return it != services_.end();
}

InProcessDriverWorld::ServiceBehaviour* InProcessDriverWorld::behaviour(ServiceId service) {
  Service* s = liveService(service);
  return s ? &s->behaviour : nullptr;
}

InProcessDriverWorld::UsbDevice* InProcessDriverWorld::usbDevice(ServiceId service) {
  Service* s = liveService(service);
  return s && s->usb ? &*s->usb : nullptr;
}

std::vector<InProcessDriverWorld::Call> InProcessDriverWorld::callsOn(
    io_connect_t connection) const {
  std::vector<Call> out;
  for (const Call& c : calls_)
    if (c.connection == connection) out.push_back(c);
  return out;
}

ServiceId InProcessDriverWorld::serviceOf(io_connect_t connection) const {
  auto it = connections_.find(connection);
  return it == connections_.end() ? 0 : it->second.service;
}

uint32_t InProcessDriverWorld::connectionType(io_connect_t connection) const {
  auto it = connections_.find(connection);
  return it == connections_.end() ? 0 : it->second.type;
}

std::vector<io_connect_t> InProcessDriverWorld::connectionsOf(ServiceId service) const {
  std::vector<io_connect_t> out;
  for (const auto& [h, c] : connections_)
    if (c.service == service) out.push_back(h);
  return out;  // handles grow with each open, so map order is opening order
}

std::vector<ServiceId> InProcessDriverWorld::services(std::string_view className) const {
  std::vector<ServiceId> out;
  for (const auto& [id, s] : services_)
    if (s.className == className) out.push_back(id);
  return out;
}

std::string_view InProcessDriverWorld::className(ServiceId service) const {
  auto it = services_.find(service);
  return it != services_.end() ? std::string_view(it->second.className) : std::string_view();
}

IOReturn InProcessDriverWorld::open(ServiceId service, uint32_t type, io_connect_t* connection) {
  if (connection == nullptr) return kIOReturnBadArgument;
  *connection = 0;
  Service* s = liveService(service);
  if (s == nullptr) return kIOReturnNoDevice;
  if (s->behaviour.openStatus != 0) return s->behaviour.openStatus;
  const io_connect_t h = nextConnection_;
  nextConnection_ += 0x100;
  connections_[h] = Connection{service, type};
  *connection = h;
  return kIOReturnSuccess;
}

IOReturn InProcessDriverWorld::close(io_connect_t connection) {
  auto it = connections_.find(connection);
  if (it == connections_.end()) return kIOReturnNotOpen;
  IOReturn status = kIOReturnSuccess;
  if (Service* s = liveService(it->second.service)) status = s->behaviour.closeStatus;
  connections_.erase(it);
  closed_.push_back(connection);
  return status;
}

IOReturn InProcessDriverWorld::call(io_connect_t connection, uint32_t selector,
                                    const uint64_t* input, uint32_t inputCnt,
                                    const void* inputStruct, size_t inputStructCnt,
                                    uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                                    size_t* outputStructCnt) {
  const uint32_t scalarCap = *outputCnt;
  const size_t structCap = *outputStructCnt;
  *outputCnt = 0;
  *outputStructCnt = 0;

  Call c;
  c.connection = connection;
  c.selector = selector;
  if (input != nullptr) c.scalars.assign(input, input + inputCnt);
  if (inputStruct != nullptr) {
    const auto* in = static_cast<const uint8_t*>(inputStruct);
    c.structIn.assign(in, in + inputStructCnt);
  }
  c.scalarOutCapacity = scalarCap;
  c.structOutCapacity = structCap;

  Reply reply;
  auto conn = connections_.find(connection);
  Service* s = conn == connections_.end() ? nullptr : liveService(conn->second.service);
  if (conn == connections_.end()) {
    reply.status = kIOReturnNotOpen;
  } else if (s == nullptr) {
    reply.status = kIOReturnNoDevice;
  } else if (s->behaviour.handler) {
    reply = s->behaviour.handler(c);
  } else {
    const ServiceBehaviour& b = s->behaviour;
    switch (selector) {
      case 0:
        reply.status = b.structInStatus;
        break;
      case 1:
        reply.status = b.controlStatus;
        reply.scalars.push_back(b.controlOutput);
        break;
      case 2:
        reply.status = b.infoStatus;
        reply.bytes = b.infoBytes;
        break;
      default:
        reply.status = kIOReturnUnsupported;
        break;
    }
  }

  const uint32_t nScalars = std::min<uint32_t>(scalarCap, static_cast<uint32_t>(reply.scalars.size()));
  if (output != nullptr) std::copy_n(reply.scalars.begin(), nScalars, output);
  *outputCnt = output != nullptr ? nScalars : 0;
  const size_t nBytes = std::min(structCap, reply.bytes.size());
  if (outputStruct != nullptr && nBytes > 0) std::memcpy(outputStruct, reply.bytes.data(), nBytes);
  *outputStructCnt = outputStruct != nullptr ? nBytes : 0;

  c.status = reply.status;
  if (recording_) calls_.push_back(std::move(c));
  return reply.status;
}

IOReturn InProcessDriverWorld::usbIdentity(ServiceId service, uint16_t* vendor,
                                           uint16_t* product) {
  Service* s = liveService(service);
  if (s == nullptr) return kIOReturnNoDevice;
  if (!s->usb || s->usb->noDeviceInterface) return kIOReturnUnsupported;
  if (vendor) *vendor = s->usb->vendor;
  if (product) *product = s->usb->product;
  return kIOReturnSuccess;
}

IOReturn InProcessDriverWorld::usbRequest(ServiceId service, UsbRequest request,
                                          uint32_t options) {
  Service* s = liveService(service);
  IOReturn status = kIOReturnNoDevice;
  if (s != nullptr && s->usb) {
    switch (request) {
      case UsbRequest::Open: status = s->usb->openStatus; break;
      case UsbRequest::Close: status = kIOReturnSuccess; break;
      case UsbRequest::Reset: status = s->usb->resetStatus; break;
      case UsbRequest::ReEnumerate: status = s->usb->reEnumerateStatus; break;
    }
  }
  usbEvents_.push_back(UsbEvent{service, request, options, status});
  return status;
}

IOReturn InProcessDriverWorld::usbOpen(ServiceId service) {
  return usbRequest(service, UsbRequest::Open, 0);
}
IOReturn InProcessDriverWorld::usbClose(ServiceId service) {
  return usbRequest(service, UsbRequest::Close, 0);
}
IOReturn InProcessDriverWorld::usbReset(ServiceId service) {
  return usbRequest(service, UsbRequest::Reset, 0);
}
IOReturn InProcessDriverWorld::usbReEnumerate(ServiceId service, uint32_t options) {
  return usbRequest(service, UsbRequest::ReEnumerate, options);
}

}  // namespace iokit
