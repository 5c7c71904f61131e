// An in-process world of driver services for the IOKit stand-in: a registry that its owner
// populates, drives and inspects. Tests and benchmarks use it directly; the helper program runs
// on it (empty until something publishes services), and a bridge to the device simulator can
// feed it.
//
//   InProcessDriverWorld world;
//   iokit::IOKit kit(world);
//   ServiceId s = world.publishService("VantrelService", behaviour);   // a captured device
//   world.postMessage(s, 'VNDa', bytes);                               // a button press
//   world.callsOn(connection);                                         // what the client sent
//   world.terminateService(s);                                         // the device goes
//
// Behaviour of a driver service. Every call a connection receives is recorded (selector,
// scalars, structure bytes, output capacities, answer). The answer comes from the service's
// ServiceBehaviour: a handler when one is set, otherwise the fixed statuses and outputs given
// there (selector 2 delivers `infoBytes`, cut to the caller's capacity).
//
// USB devices ("IOUSBHostDevice", "IOUSBDevice") are services with a vendor and a product id;
// open, reset and re-enumerate requests are recorded with their answers. A successful
// re-enumeration is only recorded: what the device does next (going away, coming back, being
// captured as a new "VantrelService") is up to the owner.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/driver_world.h"

namespace iokit {

class InProcessDriverWorld final : public DriverWorld {
 public:
  // One call as a connection received it.
  struct Call {
    io_connect_t connection = 0;
    uint32_t selector = 0;
    std::vector<uint64_t> scalars;
    std::vector<uint8_t> structIn;
    uint32_t scalarOutCapacity = 0;
    size_t structOutCapacity = 0;
    IOReturn status = 0;
  };

  // What a handler may answer: up to the capacities of the call.
  struct Reply {
    IOReturn status = 0;
    std::vector<uint64_t> scalars;
    std::vector<uint8_t> bytes;
  };

  struct ServiceBehaviour {
    IOReturn openStatus = 0;
    IOReturn closeStatus = 0;
    IOReturn structInStatus = 0;  // selector 0
    IOReturn controlStatus = 0;   // selector 1
    uint64_t controlOutput = 0;
    IOReturn infoStatus = 0;      // selector 2
    std::vector<uint8_t> infoBytes;
    // When set, answers every call instead of the fields above.
    std::function<Reply(const Call&)> handler;
  };

  struct UsbDevice {
    uint16_t vendor = 0;
    uint16_t product = 0;
    bool noDeviceInterface = false;  // the plug-in cannot be created
    IOReturn openStatus = 0;
    IOReturn resetStatus = 0;
    IOReturn reEnumerateStatus = 0;
  };

  enum class UsbRequest { Open, Close, Reset, ReEnumerate };
  struct UsbEvent {
    ServiceId service = 0;
    UsbRequest request = UsbRequest::Open;
    uint32_t options = 0;
    IOReturn status = 0;
  };

  InProcessDriverWorld() = default;

  // ---- the owner's side ----
  ServiceId publishService(const std::string& className);
  ServiceId publishService(const std::string& className, ServiceBehaviour behaviour);
  ServiceId publishUsbDevice(const std::string& className, UsbDevice device);
  // False when the service is unknown or already gone. Its connections stay open until closed
  // but every call on them then fails with kIOReturnNoDevice.
  bool terminateService(ServiceId service);
  // A driver message; `argument` nothing for a message without argument.
  void postMessage(ServiceId service, uint32_t messageType,
                   std::optional<std::vector<uint8_t>> argument = std::nullopt);
  // The behaviour of a live service, to change it (null when unknown).
  ServiceBehaviour* behaviour(ServiceId service);
  UsbDevice* usbDevice(ServiceId service);

  void setAvailable(bool available) { available_ = available; }
  // Whether calls are recorded (benchmarks turn it off).
  void setRecording(bool on) { recording_ = on; }

  const std::vector<Call>& calls() const { return calls_; }
  std::vector<Call> callsOn(io_connect_t connection) const;
  void clearCalls() { calls_.clear(); }
  const std::vector<UsbEvent>& usbEvents() const { return usbEvents_; }
  void clearUsbEvents() { usbEvents_.clear(); }

  // The service of an open connection (0 when the connection is not open).
  ServiceId serviceOf(io_connect_t connection) const;
  // The connection type it was opened with (0 when the connection is not open).
  uint32_t connectionType(io_connect_t connection) const;
  // Open connections of a service, in opening order.
  std::vector<io_connect_t> connectionsOf(ServiceId service) const;
  size_t openConnectionCount() const { return connections_.size(); }
  // Connections the client closed, in closing order.
  const std::vector<io_connect_t>& closedConnections() const { return closed_; }
  bool isLive(ServiceId service) const;

  // ---- DriverWorld ----
  void setObserver(Observer* observer) override { observer_ = observer; }
  bool available() const override { return available_; }
  std::vector<ServiceId> services(std::string_view className) const override;
  std::string_view className(ServiceId service) const override;
  IOReturn open(ServiceId service, uint32_t type, io_connect_t* connection) override;
  IOReturn close(io_connect_t connection) override;
  IOReturn call(io_connect_t connection, uint32_t selector, const uint64_t* input,
                uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt,
                uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                size_t* outputStructCnt) override;
  IOReturn usbIdentity(ServiceId service, uint16_t* vendor, uint16_t* product) override;
  IOReturn usbOpen(ServiceId service) override;
  IOReturn usbClose(ServiceId service) override;
  IOReturn usbReset(ServiceId service) override;
  IOReturn usbReEnumerate(ServiceId service, uint32_t options) override;

 private:
  struct Service {
    std::string className;
    ServiceBehaviour behaviour;
    std::optional<UsbDevice> usb;
  };
  struct Connection {
    ServiceId service = 0;
    uint32_t type = 0;
  };

  Service* liveService(ServiceId id);  // null once terminated
  IOReturn usbRequest(ServiceId service, UsbRequest request, uint32_t options);

  Observer* observer_ = nullptr;
  bool available_ = true;
  bool recording_ = true;
  std::map<ServiceId, Service> services_;
  std::map<io_connect_t, Connection> connections_;
  std::vector<Call> calls_;
  std::vector<UsbEvent> usbEvents_;
  std::vector<io_connect_t> closed_;
  ServiceId nextService_ = 1;
  io_connect_t nextConnection_ = 0x2A03;
};

}  // namespace iokit
