// The driver link: opening the driver's services, the device list, re-enumeration of unclaimed
// devices, and the calls that carry records and control requests.
#include "helper/driver_link.h"

#include <algorithm>
#include <chrono>
#include <new>

#include "settings/driver_codes.h"
#include "settings/models.h"

using namespace iokit;

namespace {

// The matching callbacks reach the link through their context argument.
void VantrelFirstMatchCallback(void* refcon, io_iterator_t iterator) {
  if (refcon != nullptr) static_cast<DriverLink*>(refcon)->openMatchedServices(iterator);
}

void VantrelTerminateCallback(void* refcon, io_iterator_t iterator) {
  if (refcon != nullptr) static_cast<DriverLink*>(refcon)->releaseTerminatedServices(iterator);
}

uint64_t scalar(uint32_t v) { return v; }
uint64_t scalar(int32_t v) { return static_cast<uint32_t>(v); }  // widened without sign

}  // namespace

DriverLink::DriverLink(const sys::Platform& platform, Owner& owner, MessageCallback onMessage)
    : fPlatform(platform), fOwner(owner), fOnMessage(onMessage) {}

DriverLink::~DriverLink() {
  if (fNotificationSource) fPlatform.mainRunLoop->removeSource(fNotificationSource);
  if (fFirstMatchIterator != 0) io().IOObjectRelease(fFirstMatchIterator);
  if (fTerminateIterator != 0) io().IOObjectRelease(fTerminateIterator);
  if (fNotificationPort != nullptr) io().IONotificationPortDestroy(fNotificationPort);
}

bool DriverLink::installNotifications() {
  mach_port_t master = MACH_PORT_NULL;
  const kern_return_t kr = io().IOMasterPort(MACH_PORT_NULL, &master);
  if (kr != KERN_SUCCESS || master == MACH_PORT_NULL) return false;

  bool installed = false;
  do {
    CFMutableDictionaryRef matching = IOServiceMatching(driver::kServiceClass);
    if (!matching) break;
    fNotificationPort = io().IONotificationPortCreate(master);
    if (fNotificationPort == nullptr) break;
    fNotificationSource = io().IONotificationPortGetRunLoopSource(fNotificationPort);
    if (!fNotificationSource) break;
    fPlatform.mainRunLoop->addSource(fNotificationSource);

    // Both registrations share the matching dictionary (each takes its own copy of it).
    if (io().IOServiceAddMatchingNotification(fNotificationPort, kIOFirstMatchNotification,
                                              matching, VantrelFirstMatchCallback, this,
                                              &fFirstMatchIterator) != KERN_SUCCESS)
      break;
    // Handles the services that exist already and arms the notification.
    VantrelFirstMatchCallback(this, fFirstMatchIterator);

    if (io().IOServiceAddMatchingNotification(fNotificationPort, kIOTerminatedNotification,
                                              matching, VantrelTerminateCallback, this,
                                              &fTerminateIterator) != KERN_SUCCESS)
      break;
    VantrelTerminateCallback(this, fTerminateIterator);
    installed = true;
  } while (false);

  io().mach_port_deallocate(mach_task_self(), master);
  return installed;
}

// ---- discovery -------------------------------------------------------------------------------------

void DriverLink::openMatchedServices(io_iterator_t iterator) {
  while (io_service_t service = io().IOIteratorNext(iterator)) {
    io_connect_t connection = 0;
    if (io().IOServiceOpen(service, mach_task_self(), driver::kConnectType, &connection) !=
        KERN_SUCCESS) {
      io().IOObjectRelease(service);
      continue;
    }
    io_object_t notification = IO_OBJECT_NULL;
    if (io().IOServiceAddInterestNotification(
            fNotificationPort, service, kIOGeneralInterest, fOnMessage,
            reinterpret_cast<void*>(static_cast<uintptr_t>(connection)),
            &notification) != KERN_SUCCESS) {
      // Without messages the device could never be dropped again: do not keep it open.
      io().IOServiceClose(connection);
      io().IOObjectRelease(service);
      continue;
    }
    addDevice(connection);
    // The record keeps the notification so that it can be given back when the device goes.
    CapturedDeviceRec* rec = findDevice(connection);
    if (rec != nullptr && rec->notification == IO_OBJECT_NULL)
      rec->notification = notification;
    else
      io().IOObjectRelease(notification);
    io().IOObjectRelease(service);
  }
}

void DriverLink::releaseTerminatedServices(io_iterator_t iterator) {
  while (io_service_t service = io().IOIteratorNext(iterator)) io().IOObjectRelease(service);
}

void DriverLink::serviceTerminated(uint32_t connection) {
  if (const CapturedDeviceRec* rec = findDevice(connection)) {
    const io_object_t notification = rec->notification;
    io().IOServiceClose(connection);
    removeDevice(connection);
    if (notification != IO_OBJECT_NULL) io().IOObjectRelease(notification);
  }
}

// ---- the device list -------------------------------------------------------------------------------

void DriverLink::addDevice(uint32_t connection) {
  uint8_t buffer[DeviceInfo::kSize] = {};
  uint32_t size = sizeof buffer;
  DeviceInfo info;
  if (getDeviceInfoFromVantrel(connection, static_cast<int32_t>(driver::kDeviceInfoCode),
                               driver::kDeviceInfoVersion, buffer, &size) == kIOReturnSuccess)
    info = DeviceInfo::decode(buffer, std::min<size_t>(size, sizeof buffer));

  if (findDevice(connection) == nullptr) {
    try {
      fDeviceList.push_back(CapturedDeviceRec{connection, info, IO_OBJECT_NULL});
    } catch (const std::bad_alloc&) {
      // No record; the settings below then find no device.
    }
  }
  fOwner.deviceAdded(connection);
}

CapturedDeviceRec* DriverLink::findDevice(uint32_t connection) {
  for (CapturedDeviceRec& rec : fDeviceList)
    if (rec.connection == connection) return &rec;
  return nullptr;
}

const CapturedDeviceRec* DriverLink::findDevice(uint32_t connection) const {
  for (const CapturedDeviceRec& rec : fDeviceList)
    if (rec.connection == connection) return &rec;
  return nullptr;
}

void DriverLink::removeDevice(uint32_t connection) {
  auto it = std::find_if(fDeviceList.begin(), fDeviceList.end(),
                         [&](const CapturedDeviceRec& r) { return r.connection == connection; });
  if (it != fDeviceList.end()) fDeviceList.erase(it);
}

// ---- re-enumeration ----------------------------------------------------------------------------------

void DriverLink::reenumerateUnloadedDevices() {
  // A captured device means the driver is at work: leave the others alone.
  if (findService(driver::kServiceClass, false) > 0) return;
  if (findService(driver::kUSBHostDeviceClass, true) == 0)
    findService(driver::kUSBDeviceClass, true);
}

int32_t DriverLink::findService(const char* className, bool reenumerate) {
  CFMutableDictionaryRef matching = IOServiceMatching(className);
  if (!matching) return 0;
  io_iterator_t iterator = IO_OBJECT_NULL;
  if (io().IOServiceGetMatchingServices(kIOMasterPortDefault, matching, &iterator) !=
      KERN_SUCCESS)
    return 0;

  int32_t count = 0;
  while (io_service_t service = io().IOIteratorNext(iterator)) {
    ++count;
    if (reenumerate) {
      std::unique_ptr<IOCFPlugInInterface> plugin;
      int32_t score = 0;
      std::unique_ptr<IOUSBDeviceInterface> device;
      if (io().IOCreatePlugInInterfaceForService(service, kIOUSBDeviceUserClientTypeID,
                                                 kIOCFPlugInInterfaceID, &plugin,
                                                 &score) == KERN_SUCCESS &&
          plugin) {
        const HRESULT hr = plugin->QueryInterface(kIOUSBDeviceInterfaceID, &device);
        plugin.reset();
        if (hr != S_OK) device.reset();
      }
      uint16_t vendor = 0;
      uint16_t product = 0;
      if (device && device->GetDeviceVendor(&vendor) == kIOReturnSuccess &&
          vendor == models::kVendorID && device->GetDeviceProduct(&product) == kIOReturnSuccess) {
        for (uint16_t supported : models::kProductIDs) {
          if (supported != product) continue;
          if (device->USBDeviceOpen() != kIOReturnSuccess) continue;
          const bool gone = device->ResetDevice() == kIOReturnSuccess &&
                            device->USBDeviceReEnumerate(0) == kIOReturnSuccess;
          // A device that did not go away must not stay opened by the helper.
          if (!gone) device->USBDeviceClose();
        }
      }
    }
    io().IOObjectRelease(service);
  }
  io().IOObjectRelease(iterator);
  return count;
}

// ---- records ----------------------------------------------------------------------------------------

int32_t DriverLink::sendSettingsRecord(uint32_t connection, const SettingsRecord& record) {
  const uint64_t in[4] = {scalar(connection), scalar(driver::kSettingsCode),
                          scalar(driver::kSettingsScalar), 0};
  return io().CallStructInMethod(connection, driver::kSelectorStructIn, in, 4, record.data(),
                                 record.size());
}

int32_t DriverLink::sendScrollRecord(uint32_t connection, const ScrollRecord& record) {
  const uint64_t in[4] = {scalar(connection), scalar(driver::kScrollCode), driver::kScrollScalar, 0};
  return io().CallStructInMethod(connection, driver::kSelectorStructIn, in, 4, record.data(),
                                 record.size());
}

// ---- control requests --------------------------------------------------------------------------------

int32_t DriverLink::sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) {
  for (const CapturedDeviceRec& rec : fDeviceList) {
    const int32_t r = sendControlToVantrel(rec.connection, code, param, result);
    if (r != kIOReturnSuccess) return r;
  }
  return kIOReturnSuccess;
}

int32_t DriverLink::sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                                            int32_t* result) {
  const uint64_t in[3] = {scalar(connection), scalar(code), scalar(param)};
  uint64_t out = 0;
  const int32_t status =
      io().CallScalarOutMethod(connection, driver::kSelectorControl, in, 3, &out, 1);
  if (result != nullptr) *result = static_cast<int32_t>(static_cast<uint32_t>(out));
  return status;
}

int32_t DriverLink::getDeviceInfoFromVantrel(uint32_t connection, int32_t type,
                                                int32_t version, void* info, uint32_t* size) {
  if (info == nullptr || size == nullptr || *size == 0) return kIOReturnBadArgument;
  const uint64_t in[3] = {scalar(connection), scalar(type), scalar(version)};
  size_t delivered = *size;
  const int32_t status =
      io().CallStructOutMethod(connection, driver::kSelectorInfo, in, 3, info, &delivered);
  *size = static_cast<uint32_t>(std::min<size_t>(delivered, *size));
  return status;
}

void DriverLink::makeVantrelKeyboardActive() {
  if (fDeviceList.empty()) return;
  sendControlToVantrel(fDeviceList.front().connection, driver::kControlKeystroke,
                       driver::kActivateKeyboardParam, nullptr);
  fPlatform.sleeper->sleepFor(std::chrono::milliseconds(15));
}
