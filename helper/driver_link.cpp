// The driver link: opening the driver's services, the device list, driver messages,
// re-enumeration of unclaimed devices, and the transfer of settings and control requests.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "settings/driver_codes.h"
#include "helper/vantrel_helper.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/record.h"

using namespace iokit;

namespace {

// Called for every message a device's service posts; the reference is the connection handle.
void VantrelInterestCallback(void* refcon, io_service_t service, uint32_t messageType,
                             void* messageArgument) {
  if (gHelper != nullptr)
    gHelper->handleMessage(messageType, messageArgument, service,
                           reinterpret_cast<uintptr_t>(refcon));
}

uint64_t scalar(uint32_t v) { return v; }
uint64_t scalar(int32_t v) { return static_cast<uint32_t>(v); }  // widened without sign

}  // namespace

// ---- discovery -------------------------------------------------------------------------------------

void VantrelHelper::openMatchedServices(io_iterator_t iterator) {
  while (io_service_t service = io().IOIteratorNext(iterator)) {
    io_connect_t connection = 0;
    if (io().IOServiceOpen(service, mach_task_self(), driver::kConnectType, &connection) !=
        KERN_SUCCESS) {
      io().IOObjectRelease(service);
      continue;
    }
    io_object_t notification = IO_OBJECT_NULL;
    if (io().IOServiceAddInterestNotification(
            fNotificationPort, service, kIOGeneralInterest, VantrelInterestCallback,
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

void VantrelHelper::releaseTerminatedServices(io_iterator_t iterator) {
  while (io_service_t service = io().IOIteratorNext(iterator)) io().IOObjectRelease(service);
}

void VantrelHelper::handleMessage(uint32_t messageType, void* argument,
                                  io_service_t /*service*/, uintptr_t reference) {
  const auto connection = static_cast<uint32_t>(reference);
  switch (messageType) {
    case driver::kMessageButton:
      if (IsSessionOnConsole() && argument != nullptr && fActions != nullptr) {
        uint16_t button = 0;
        std::memcpy(&button, argument, sizeof button);
        fActions->buttonPressed(*this, connection, button);
      }
      break;
    case driver::kMessageState:
      if (IsSessionOnConsole() && argument != nullptr &&
          fFrontApplication == kSystemPreferencesSignature)
        sendDeviceStateToPanel(static_cast<const uint8_t*>(argument));
      break;
    case kIOMessageServiceIsTerminated:
      if (const CapturedDeviceRec* rec = findDevice(connection)) {
        const io_object_t notification = rec->notification;
        io().IOServiceClose(connection);
        removeDevice(connection);
        if (notification != IO_OBJECT_NULL) io().IOObjectRelease(notification);
      }
      break;
    default:
      break;
  }
}

// ---- the device list -------------------------------------------------------------------------------

void VantrelHelper::addDevice(uint32_t connection) {
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
  sendPrefsToVantrel(connection, nullptr, true);
  sendControlToVantrel(connection, driver::kControlRawReports,
                       fFrontApplication == kSystemPreferencesSignature ? 1 : 0, nullptr);
}

CapturedDeviceRec* VantrelHelper::findDevice(uint32_t connection) {
  for (CapturedDeviceRec& rec : fDeviceList)
    if (rec.connection == connection) return &rec;
  return nullptr;
}

void VantrelHelper::removeDevice(uint32_t connection) {
  auto it = std::find_if(fDeviceList.begin(), fDeviceList.end(),
                         [&](const CapturedDeviceRec& r) { return r.connection == connection; });
  if (it != fDeviceList.end()) fDeviceList.erase(it);
}

// ---- re-enumeration ----------------------------------------------------------------------------------

void VantrelHelper::reenumerateUnloadedDevices() {
  // A captured device means the driver is at work: leave the others alone.
  if (findService(driver::kServiceClass, false) > 0) return;
  if (findService(driver::kUSBHostDeviceClass, true) == 0)
    findService(driver::kUSBDeviceClass, true);
}

int32_t VantrelHelper::findService(const char* className, bool reenumerate) {
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

// ---- settings transfer -------------------------------------------------------------------------------

int32_t VantrelHelper::sendPrefsToEveryVantrel() {
  if (!IsSessionOnConsole()) return kIOReturnSuccess;
  // Neither the profiles nor the front application change during the broadcast.
  std::vector<MatchMemo> memo;
  fMatchMemo = &memo;
  int32_t status = kIOReturnSuccess;
  bool first = true;
  for (CapturedDeviceRec& rec : fDeviceList) {
    const int32_t r = sendPrefsToVantrel(rec.connection, &rec, first);
    first = false;
    if (status == kIOReturnSuccess) status = r;
  }
  fMatchMemo = nullptr;
  return status;
}

int32_t VantrelHelper::sendPrefsToVantrel(uint32_t connection, CapturedDeviceRec* device,
                                          bool changeHelperPrefs) {
  if (device == nullptr) device = findDevice(connection);
  if (device == nullptr) return kIOReturnNotFound;

  pl::DictRef global;
  const pl::DictRef best = findAppPrefs(device->info, &global);
  if (!best && !global) return kIOReturnNotFound;

  int32_t status = kIOReturnNotFound;
  SettingsRecord record{};
  if (VantrelAppPrefsDictToStruct(best, global, &record)) {
    const uint64_t in[4] = {scalar(connection), scalar(driver::kSettingsCode),
                            scalar(driver::kSettingsScalar), 0};
    status = io().CallStructInMethod(connection, driver::kSelectorStructIn, in, 4, record.data(),
                                     record.size());
  }

  if (changeHelperPrefs) {
    const pl::DictRef& profile = best ? best : global;
    const pl::DictRef options = profile->getDict("options");
    const bool jump = options && options->boolValue("jump");
    if (jump != fSnapToDefaultActive) {
      if (jump)
        startSnapToDefault();
      else
        stopSnapToDefault();
    }
  }

  if (best) {
    if (const pl::DictRef param = best->getDict("param")) {
      const ScrollRecord scroll = VantrelScrollRecord(*param);
      const uint64_t in[4] = {scalar(connection), scalar(driver::kScrollCode), driver::kScrollScalar, 0};
      io().CallStructInMethod(connection, driver::kSelectorStructIn, in, 4, scroll.data(),
                              scroll.size());
    }
  }
  return status;
}

pl::DictRef VantrelHelper::findAppPrefs(const DeviceInfo& info, pl::DictRef* global) const {
  if (global != nullptr) global->reset();
  if (fMatchMemo != nullptr) {
    for (const MatchMemo& m : *fMatchMemo) {
      if (m.vendorID == info.vendorID && m.productID == info.productID &&
          m.productVers == info.productVers) {
        if (global != nullptr) *global = m.global;
        return m.best;
      }
    }
  }
  int32_t bestIndex = -1;
  int32_t globalIndex = -1;
  pl::DictRef best;
  pl::DictRef globalProfile;
  if (VantrelMatchAppPrefs(fSettingsArray, fFrontAppBundleID, fFrontAppExecutable,
                           fFrontAppSignature, info.vendorID, info.productID, info.productVers,
                           &bestIndex, &globalIndex)) {
    if (bestIndex >= 0) best = fSettingsArray->dictAt(static_cast<size_t>(bestIndex));
    if (globalIndex >= 0) globalProfile = fSettingsArray->dictAt(static_cast<size_t>(globalIndex));
  }
  if (fMatchMemo != nullptr)
    fMatchMemo->push_back(MatchMemo{info.vendorID, info.productID, info.productVers, best, globalProfile});
  if (global != nullptr) *global = globalProfile;
  return best;
}

// ---- control requests --------------------------------------------------------------------------------

int32_t VantrelHelper::sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* result) {
  for (const CapturedDeviceRec& rec : fDeviceList) {
    const int32_t r = sendControlToVantrel(rec.connection, code, param, result);
    if (r != kIOReturnSuccess) return r;
  }
  return kIOReturnSuccess;
}

int32_t VantrelHelper::sendControlToVantrel(uint32_t connection, uint32_t code, int32_t param,
                                            int32_t* result) {
  const uint64_t in[3] = {scalar(connection), scalar(code), scalar(param)};
  uint64_t out = 0;
  const int32_t status =
      io().CallScalarOutMethod(connection, driver::kSelectorControl, in, 3, &out, 1);
  if (result != nullptr) *result = static_cast<int32_t>(static_cast<uint32_t>(out));
  return status;
}

int32_t VantrelHelper::getDeviceInfoFromVantrel(uint32_t connection, int32_t type,
                                                int32_t version, void* info, uint32_t* size) {
  if (info == nullptr || size == nullptr || *size == 0) return kIOReturnBadArgument;
  const uint64_t in[3] = {scalar(connection), scalar(type), scalar(version)};
  size_t delivered = *size;
  const int32_t status =
      io().CallStructOutMethod(connection, driver::kSelectorInfo, in, 3, info, &delivered);
  *size = static_cast<uint32_t>(std::min<size_t>(delivered, *size));
  return status;
}

void VantrelHelper::makeVantrelKeyboardActive() {
  if (fDeviceList.empty()) return;
  sendControlToVantrel(fDeviceList.front().connection, driver::kControlKeystroke,
                       driver::kActivateKeyboardParam, nullptr);
  fPlatform.sleeper->sleepFor(std::chrono::milliseconds(15));
}
