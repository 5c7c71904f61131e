// HID detection, the helper's device list and the device pages.
#include "pane/vantrel_controller.h"

void VantrelController::startDetectingHIDDevices() {}

void VantrelController::stopDetectingHIDDevices() {}

bool VantrelController::supportedDevice(const sys::IOHIDDeviceRef&) const { return false; }

void VantrelController::hidDeviceAdded(const sys::IOHIDDeviceRef&, void*, sys::IOReturn) {}

void VantrelController::hidDeviceRemoved(const sys::IOHIDDeviceRef&, void*, sys::IOReturn) {}

void VantrelController::deliverHIDDeviceAdded(const sys::IOHIDDeviceRef&) {}

void VantrelController::vtlUpdateDeviceList() {}

void VantrelController::actSelectDevice(QObject*) {}
