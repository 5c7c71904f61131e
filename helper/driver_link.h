// The helper's link to the kernel driver: the IOKit notifications for the driver's services, the
// list of open devices, re-enumeration of unclaimed USB devices, and the calls that carry records
// and control requests to a device. It knows nothing of profiles or applications: what a device
// is sent, and what a driver message means, is the owner's (DriverLink::Owner).
#pragma once

#include <cstdint>
#include <list>

#include "platform/iokit.h"
#include "platform/system_services.h"
#include "settings/device_info.h"
#include "settings/record.h"

// One open driver service: its connection handle (the key of the list), the device's
// information as the driver reported it when the device was added, and the service's interest
// notification (given back when the device goes).
struct CapturedDeviceRec {
  uint32_t connection = 0;
  DeviceInfo info;
  iokit::io_object_t notification = 0;
};

class DriverLink {
 public:
  class Owner {
   public:
    virtual ~Owner() = default;
    // A device was opened and listed (or was listed already): send it what it needs.
    virtual void deviceAdded(uint32_t connection) = 0;
  };

  // The interest callback of every opened service; its reference is the connection handle.
  using MessageCallback = iokit::IOServiceInterestCallback;

  // `platform` must hold IOKit, the main run loop and the sleeper, and outlive the link.
  DriverLink(const sys::Platform& platform, Owner& owner, MessageCallback onMessage);
  ~DriverLink();
  DriverLink(const DriverLink&) = delete;
  DriverLink& operator=(const DriverLink&) = delete;

  // Creates the notification port (on the main run loop) and registers for the driver's
  // services appearing and ending; the services that exist already are opened at once.
  bool installNotifications();
  // What the first-match callback does with its iterator: opens, registers and adds each service.
  void openMatchedServices(iokit::io_iterator_t iterator);
  // What the terminate callback does: releases each service of the iterator.
  void releaseTerminatedServices(iokit::io_iterator_t iterator);
  // The service of this connection has ended: close it, drop the device, give back its
  // notification.
  void serviceTerminated(uint32_t connection);

  // ---- the device list ----
  void addDevice(uint32_t connection);
  CapturedDeviceRec* findDevice(uint32_t connection);
  const CapturedDeviceRec* findDevice(uint32_t connection) const;
  void removeDevice(uint32_t connection);
  const std::list<CapturedDeviceRec>& deviceList() const { return fDeviceList; }
  std::list<CapturedDeviceRec>& deviceList() { return fDeviceList; }

  // ---- unclaimed devices ----
  void reenumerateUnloadedDevices();
  int32_t findService(const char* className, bool reenumerate);

  // ---- calls ----
  // The settings record (selector 0, VNHc) and the scroll record (VNSp); their statuses.
  int32_t sendSettingsRecord(uint32_t connection, const SettingsRecord& record);
  int32_t sendScrollRecord(uint32_t connection, const ScrollRecord& record);
  int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result);
  int32_t sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param, int32_t* result);
  int32_t getDeviceInfoFromVantrel(uint32_t connection, int32_t type, int32_t version, void* info,
                                   uint32_t* size);
  // Makes the first device's keyboard the active one, then waits 15 ms.
  void makeVantrelKeyboardActive();

  iokit::IONotificationPortRef notificationPort() const { return fNotificationPort; }

 private:
  iokit::IOKit& io() const { return *fPlatform.iokit; }

  sys::Platform fPlatform;
  Owner& fOwner;
  MessageCallback fOnMessage;
  iokit::IONotificationPortRef fNotificationPort = nullptr;
  rl::RunLoopSourceRef fNotificationSource;
  iokit::io_iterator_t fFirstMatchIterator = 0;
  iokit::io_iterator_t fTerminateIterator = 0;
  std::list<CapturedDeviceRec> fDeviceList;
};
