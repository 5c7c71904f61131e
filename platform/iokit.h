// IOKit, as far as the helper uses it: finding driver services by class, being told when they
// appear and end, opening user-client connections, calling methods on them, receiving the
// driver's messages, and making USB devices re-enumerate.
//
// The calls keep IOKit's names, arguments and reference rules so that the helper's code reads
// like IOKit code; they are methods of one IOKit object instead of process-wide functions. What
// services exist and how drivers answer comes from a DriverWorld (platform/driver_world.h); this
// class does the client-side bookkeeping on top of it:
//
// Objects. Services, iterators and notifications are io_object_t handles (non-zero 32-bit) with
// a reference count. IOIteratorNext hands out a reference the caller gives back with
// IOObjectRelease; a service keeps the same handle while anyone holds a reference to it.
//
// Matching notifications. IOServiceAddMatchingNotification returns an iterator. For
// kIOFirstMatchNotification it holds every service of the class that exists at registration;
// for kIOTerminatedNotification it starts empty. The notification is *armed* only once its
// iterator has been drained (IOIteratorNext returned 0). A service that is published
// (first-match) or terminated (terminate) afterwards is appended to the iterator; when the
// notification is armed at that moment it is disarmed and its callback is queued on the
// notification port. The callback receives the iterator and must drain it to re-arm. So a
// client that registers, then calls its callback once itself and drains, sees every service
// exactly once, the existing ones at once and later ones through the port.
//
// Interest notifications (kIOGeneralInterest). Every message a driver posts on the service is
// queued on the port, and so is kIOMessageServiceIsTerminated when the service ends. The callback
// gets the service handle, the message type and a pointer to the message's argument bytes, or
// null for a message without argument. The argument buffer is zero-padded to at least
// kMessageArgumentMinimumSize bytes and valid only during the callback, so a short argument can
// never be overrun by a reader that expects a fixed-size record.
//
// Notification port. Deliveries wait in the port until its run-loop source is performed (add it
// to the main loop, platform/runloop.h); each perform delivers what was queued, in order.
// Nothing is ever called back from inside a publish or a post.
//
// Checked call shapes. CallStructInMethod, CallScalarOutMethod and CallStructOutMethod are the
// three ways the helper calls its driver. They refuse with kIOReturnBadArgument, without calling
// the driver, more than four scalar inputs, more than one scalar output, and a missing
// structure, size or output pointer.
//
// Failures can be injected for tests with setFailure (see there).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/driver_world.h"
#include "platform/plist.h"
#include "platform/runloop.h"
#include "platform/status_codes.h"

namespace iokit {

using mach_port_t = uint32_t;
using task_port_t = uint32_t;
using io_object_t = uint32_t;
using io_service_t = io_object_t;
using io_iterator_t = io_object_t;

inline constexpr mach_port_t MACH_PORT_NULL = 0;
inline constexpr mach_port_t kIOMasterPortDefault = 0;
inline constexpr io_object_t IO_OBJECT_NULL = 0;

inline constexpr uint32_t kIOMessageServiceIsTerminated = 0xE0000010;

inline constexpr char kIOFirstMatchNotification[] = "IOServiceFirstMatch";
inline constexpr char kIOTerminatedNotification[] = "IOServiceTerminate";
inline constexpr char kIOGeneralInterest[] = "IOGeneralInterest";
inline constexpr char kIOProviderClassKey[] = "IOProviderClass";

// Message arguments handed to interest callbacks are at least this long (zero-padded).
inline constexpr size_t kMessageArgumentMinimumSize = 64;

// The calling task; IOServiceOpen takes it as the owner of the connection.
inline task_port_t mach_task_self() { return 1; }

// A matching dictionary: {"IOProviderClass": className}. Null when the name is null.
using CFMutableDictionaryRef = pl::DictRef;
CFMutableDictionaryRef IOServiceMatching(const char* className);

using IOServiceMatchingCallback = void (*)(void* refcon, io_iterator_t iterator);
using IOServiceInterestCallback = void (*)(void* refcon, io_service_t service,
                                           uint32_t messageType, void* messageArgument);

class IONotificationPort;
using IONotificationPortRef = IONotificationPort*;

// ---- USB device interface (re-enumeration) -------------------------------------------------

enum class CFUUID { USBDeviceUserClientType, CFPlugInInterface, USBDeviceInterface, Other };
inline constexpr CFUUID kIOUSBDeviceUserClientTypeID = CFUUID::USBDeviceUserClientType;
inline constexpr CFUUID kIOCFPlugInInterfaceID = CFUUID::CFPlugInInterface;
inline constexpr CFUUID kIOUSBDeviceInterfaceID = CFUUID::USBDeviceInterface;

using HRESULT = int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80000004);

class IOKit;

// The device interface of one USB device service. Must not outlive the IOKit object.
class IOUSBDeviceInterface {
 public:
  IOUSBDeviceInterface(IOKit& kit, ServiceId service) : kit_(kit), service_(service) {}
  IOReturn GetDeviceVendor(uint16_t* vendor);
  IOReturn GetDeviceProduct(uint16_t* product);
  IOReturn USBDeviceOpen();
  IOReturn USBDeviceClose();
  IOReturn ResetDevice();
  IOReturn USBDeviceReEnumerate(uint32_t options);

 private:
  IOKit& kit_;
  ServiceId service_;
};

// The plug-in of one service, from IOCreatePlugInInterfaceForService; released by destroying it.
class IOCFPlugInInterface {
 public:
  IOCFPlugInInterface(IOKit& kit, ServiceId service) : kit_(kit), service_(service) {}
  // Only kIOUSBDeviceInterfaceID is known; anything else gives E_NOINTERFACE.
  HRESULT QueryInterface(CFUUID interfaceID, std::unique_ptr<IOUSBDeviceInterface>* out);

 private:
  IOKit& kit_;
  ServiceId service_;
};

// ---- IOKit -------------------------------------------------------------------------------

class IOKit final : private DriverWorld::Observer {
 public:
  explicit IOKit(DriverWorld& world);
  ~IOKit() override;
  IOKit(const IOKit&) = delete;
  IOKit& operator=(const IOKit&) = delete;

  DriverWorld& world() { return world_; }

  // The master port: every successful call takes one reference that mach_port_deallocate gives
  // back. Fails (KERN_FAILURE, port 0) when the world is not available.
  kern_return_t IOMasterPort(mach_port_t bootstrapPort, mach_port_t* masterPort);
  kern_return_t mach_port_deallocate(task_port_t task, mach_port_t name);

  // Notification ports. Null when the master port is not a valid one.
  IONotificationPortRef IONotificationPortCreate(mach_port_t masterPort);
  // Drops undelivered notifications and invalidates the port's run-loop source.
  void IONotificationPortDestroy(IONotificationPortRef port);
  rl::RunLoopSourceRef IONotificationPortGetRunLoopSource(IONotificationPortRef port);

  // Matching on "IOProviderClass". notificationType kIOFirstMatchNotification or
  // kIOTerminatedNotification (others: kIOReturnUnsupported).
  kern_return_t IOServiceAddMatchingNotification(IONotificationPortRef port,
                                                 const char* notificationType,
                                                 const CFMutableDictionaryRef& matching,
                                                 IOServiceMatchingCallback callback,
                                                 void* refCon, io_iterator_t* notification);
  // An iterator over the services of the class that exist now.
  kern_return_t IOServiceGetMatchingServices(mach_port_t masterPort,
                                             const CFMutableDictionaryRef& matching,
                                             io_iterator_t* existing);
  // The next service with one reference for the caller, or 0 at the end (which arms a matching
  // notification's iterator).
  io_object_t IOIteratorNext(io_iterator_t iterator);

  kern_return_t IOObjectRetain(io_object_t object);
  kern_return_t IOObjectRelease(io_object_t object);

  kern_return_t IOServiceOpen(io_service_t service, task_port_t owningTask, uint32_t type,
                              io_connect_t* connect);
  kern_return_t IOServiceClose(io_connect_t connect);

  // Only kIOGeneralInterest is supported. The notification object holds a reference to the
  // service; releasing it ends the deliveries.
  kern_return_t IOServiceAddInterestNotification(IONotificationPortRef port,
                                                 io_service_t service, const char* interestType,
                                                 IOServiceInterestCallback callback, void* refCon,
                                                 io_object_t* notification);

  kern_return_t IOConnectCallMethod(io_connect_t connection, uint32_t selector,
                                    const uint64_t* input, uint32_t inputCnt,
                                    const void* inputStruct, size_t inputStructCnt,
                                    uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                                    size_t* outputStructCnt);

  // The three checked call shapes (see the top of this file).
  IOReturn CallStructInMethod(io_connect_t connection, uint32_t selector, const uint64_t* input,
                              uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt);
  IOReturn CallScalarOutMethod(io_connect_t connection, uint32_t selector,
                               const uint64_t* input, uint32_t inputCnt, uint64_t* output,
                               uint32_t outputCnt);
  // *outputStructCnt is the capacity on the way in and the delivered size on the way out.
  IOReturn CallStructOutMethod(io_connect_t connection, uint32_t selector,
                               const uint64_t* input, uint32_t inputCnt, void* outputStruct,
                               size_t* outputStructCnt);

  // The plug-in for kIOUSBDeviceUserClientTypeID / kIOCFPlugInInterfaceID of a USB device
  // service; fails for services the world does not know as USB devices.
  kern_return_t IOCreatePlugInInterfaceForService(io_service_t service, CFUUID pluginType,
                                                  CFUUID interfaceType,
                                                  std::unique_ptr<IOCFPlugInInterface>* plugin,
                                                  int32_t* score);

  // ---- for tests ----
  // Makes every later call of this name fail with `status` until cleared. Names:
  // "IOMasterPort", "IONotificationPortCreate", "IONotificationPortGetRunLoopSource",
  // "IOServiceAddMatchingNotification" (any type), "IOServiceFirstMatch" and
  // "IOServiceTerminate" (that notification type only), "IOServiceGetMatchingServices",
  // "IOServiceAddInterestNotification", "IOCreatePlugInInterfaceForService", "QueryInterface".
  void setFailure(std::string_view call, kern_return_t status);
  void clearFailures() { failures_.clear(); }
  // Objects (services, iterators, notifications) with at least one reference.
  size_t liveObjectCount() const { return objects_.size(); }
  // References of one object; 0 when it is gone.
  uint32_t retainCount(io_object_t object) const;
  // The world's service behind a service handle (0 when the handle is not a live service).
  ServiceId serviceIdOf(io_service_t service) const;
  // Master-port references not given back.
  int masterPortReferences() const { return masterRefs_; }
  // Deliveries waiting in a port.
  size_t pendingDeliveries(IONotificationPortRef port) const;

 private:
  friend class IOUSBDeviceInterface;
  friend class IOCFPlugInInterface;

  enum class Kind { Service, Iterator, MatchNotification, InterestNotification };
  struct Object {
    Kind kind = Kind::Service;
    uint32_t refs = 1;
    ServiceId service = 0;            // Service, InterestNotification
    std::string className;            // Service, MatchNotification
    std::deque<ServiceId> queue;      // Iterator, MatchNotification
    bool terminate = false;           // MatchNotification: terminate rather than first match
    bool armed = false;               // MatchNotification
    IONotificationPort* port = nullptr;
    IOServiceMatchingCallback matchCallback = nullptr;
    IOServiceInterestCallback interestCallback = nullptr;
    void* refCon = nullptr;
    io_object_t serviceHandle = 0;    // InterestNotification: its reference to the service
  };

  // DriverWorld::Observer
  void servicePublished(ServiceId service, std::string_view className) override;
  void serviceTerminated(ServiceId service, std::string_view className) override;
  void messagePosted(ServiceId service, uint32_t messageType, const uint8_t* argument,
                     size_t size) override;

  kern_return_t failure(std::string_view call) const;
  bool validMaster(mach_port_t port) const { return port == kMasterPortName || port == 0; }
  bool livePort(IONotificationPort* port) const;
  io_object_t newObject(Object object);
  Object* find(io_object_t handle);
  const Object* find(io_object_t handle) const;
  io_service_t serviceHandle(ServiceId service, std::string_view className);
  void queueMatch(bool terminate, ServiceId service, std::string_view className);
  void deliver(IONotificationPort* port);

  static constexpr mach_port_t kMasterPortName = 0x0B07;

  DriverWorld& world_;
  std::map<io_object_t, Object> objects_;
  // Indexes into objects_: the matching notifications, and the interest notifications by service.
  std::vector<io_object_t> matchNotifications_;
  std::multimap<ServiceId, io_object_t> interests_;
  std::map<ServiceId, io_service_t> serviceHandles_;
  std::vector<std::unique_ptr<IONotificationPort>> ports_;
  std::map<std::string, kern_return_t, std::less<>> failures_;
  io_object_t nextHandle_ = 0x1003;
  int masterRefs_ = 0;
};

}  // namespace iokit
