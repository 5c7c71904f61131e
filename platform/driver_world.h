// The world of driver services behind the IOKit stand-in (platform/iokit.h).
//
// `iokit::IOKit` gives the helper the IOKit calls it makes (matching, notifications, iterators,
// object references, notification ports, connections, interest messages, USB device
// interfaces). Everything about which services exist and how a driver answers comes from a
// DriverWorld. A world only has to:
//   - list the services of a class, in publication order;
//   - tell its observer when a service is published or terminated, and when a driver posts a
//     message on a service (on the main thread, at any time);
//   - open and close user-client connections and answer calls on them;
//   - answer the few USB device-interface requests that re-enumeration needs.
// IOKit keeps all client-side bookkeeping (object handles and their references, iterators,
// arming of notifications, delivery through the notification port's run-loop source), so a new
// backend (a registry mirrored from the device simulator over D-Bus, say) implements only this
// interface.
//
// Backends: InProcessDriverWorld (platform/iokit_inprocess.h), a registry in this process that
// tests, benchmarks and the simulator bridge populate and inspect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/status_codes.h"

namespace iokit {

using io_connect_t = uint32_t;
// A world's name for one service; never 0, never reused by the same world.
using ServiceId = uint64_t;

class DriverWorld {
 public:
  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void servicePublished(ServiceId service, std::string_view className) = 0;
    // Called once; afterwards the world no longer lists the service and opens on it fail.
    virtual void serviceTerminated(ServiceId service, std::string_view className) = 0;
    // A driver message on a service. `argument` is null for a message without argument;
    // otherwise it points at `size` bytes that stay valid only during the call.
    virtual void messagePosted(ServiceId service, uint32_t messageType, const uint8_t* argument,
                               size_t size) = 0;
  };

  virtual ~DriverWorld() = default;

  // At most one observer; null detaches it.
  virtual void setObserver(Observer* observer) = 0;

  // Whether the world can be reached at all (IOKit's master port is refused when it cannot).
  virtual bool available() const = 0;

  // The services of exactly this class, in publication order.
  virtual std::vector<ServiceId> services(std::string_view className) const = 0;
  // The class of a live service; empty when the service is unknown or terminated.
  virtual std::string_view className(ServiceId service) const = 0;

  // User-client connections. `open` stores a new non-zero handle on success; handles are unique
  // among the world's open connections.
  virtual IOReturn open(ServiceId service, uint32_t type, io_connect_t* connection) = 0;
  virtual IOReturn close(io_connect_t connection) = 0;
  // One method call, with IOConnectCallMethod's arguments (already checked by IOKit: counts and
  // pointers agree). The world writes at most *outputCnt scalars and *outputStructCnt bytes and
  // stores how many it wrote.
  virtual IOReturn call(io_connect_t connection, uint32_t selector, const uint64_t* input,
                        uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt,
                        uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                        size_t* outputStructCnt) = 0;

  // USB device interface of a USB device service. `usbIdentity` fails for services that are not
  // USB devices (the plug-in cannot be created for them).
  virtual IOReturn usbIdentity(ServiceId service, uint16_t* vendor, uint16_t* product) = 0;
  virtual IOReturn usbOpen(ServiceId service) = 0;
  virtual IOReturn usbClose(ServiceId service) = 0;
  virtual IOReturn usbReset(ServiceId service) = 0;
  virtual IOReturn usbReEnumerate(ServiceId service, uint32_t options) = 0;
};

}  // namespace iokit
