#include "platform/iokit.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/iokit_inprocess.h"
#include "platform/runloop.h"

using namespace iokit;

namespace {

// What the callbacks saw.
struct Seen {
  IOKit* kit = nullptr;
  std::vector<io_iterator_t> matchCalls;
  std::vector<ServiceId> drained;  // services taken from iterators, in order
  bool drain = true;
  struct Message {
    io_service_t service;
    uint32_t type;
    bool hasArgument;
    std::vector<uint8_t> firstBytes;
  };
  std::vector<Message> messages;
};

void onMatch(void* refcon, io_iterator_t it) {
  auto* seen = static_cast<Seen*>(refcon);
  seen->matchCalls.push_back(it);
  if (!seen->drain) return;
  while (io_object_t s = seen->kit->IOIteratorNext(it)) {
    seen->drained.push_back(seen->kit->serviceIdOf(s));
    seen->kit->IOObjectRelease(s);
  }
}

void onMessage(void* refcon, io_service_t service, uint32_t type, void* argument) {
  auto* seen = static_cast<Seen*>(refcon);
  Seen::Message m{service, type, argument != nullptr, {}};
  if (argument != nullptr) {
    const auto* p = static_cast<const uint8_t*>(argument);
    m.firstBytes.assign(p, p + kMessageArgumentMinimumSize);
  }
  seen->messages.push_back(m);
}

struct Fixture {
  InProcessDriverWorld world;
  IOKit kit{world};
  rl::ManualRunLoop loop;
  Seen seen;
  IONotificationPortRef port = nullptr;

  Fixture() {
    seen.kit = &kit;
    mach_port_t master = 0;
    EXPECT_EQ(kit.IOMasterPort(MACH_PORT_NULL, &master), KERN_SUCCESS);
    port = kit.IONotificationPortCreate(master);
    loop.addSource(kit.IONotificationPortGetRunLoopSource(port));
    kit.mach_port_deallocate(mach_task_self(), master);
  }

  io_iterator_t watch(const char* type, const char* className = "VantrelService") {
    io_iterator_t it = 0;
    EXPECT_EQ(kit.IOServiceAddMatchingNotification(port, type, IOServiceMatching(className),
                                                   onMatch, &seen, &it),
              KERN_SUCCESS);
    return it;
  }
};

TEST(IOKitMatching, FirstMatchArmsOnlyAfterDrainAndDeliversThroughThePort) {
  Fixture f;
  const ServiceId before = f.world.publishService("VantrelService");
  f.world.publishService("IOUSBDevice");  // another class: never seen
  const io_iterator_t it = f.watch(kIOFirstMatchNotification);

  // Registration calls nothing back; the existing service waits in the iterator.
  EXPECT_EQ(f.loop.runPending(), 0u);
  EXPECT_TRUE(f.seen.matchCalls.empty());
  onMatch(&f.seen, it);  // the client's own first call drains and arms
  EXPECT_EQ(f.seen.drained, std::vector<ServiceId>{before});

  // A new service is not delivered from inside publish, only when the loop runs the port.
  const ServiceId later = f.world.publishService("VantrelService");
  EXPECT_EQ(f.seen.matchCalls.size(), 1u);
  EXPECT_EQ(f.kit.pendingDeliveries(f.port), 1u);
  f.loop.runPending();
  EXPECT_EQ(f.seen.matchCalls.size(), 2u);
  EXPECT_EQ(f.seen.drained, (std::vector<ServiceId>{before, later}));

  // A callback that does not drain leaves the notification disarmed: later services pile up in
  // the iterator without further callbacks.
  f.seen.drain = false;
  f.world.publishService("VantrelService");
  f.loop.runPending();
  const size_t calls = f.seen.matchCalls.size();
  const ServiceId piled = f.world.publishService("VantrelService");
  f.loop.runPending();
  EXPECT_EQ(f.seen.matchCalls.size(), calls);
  f.seen.drain = true;
  onMatch(&f.seen, it);
  EXPECT_EQ(f.seen.drained.back(), piled);
  // Every service reference handed out was given back.
  EXPECT_EQ(f.kit.liveObjectCount(), 1u);  // only the notification itself
}

TEST(IOKitMatching, TerminationSendsTheMessageThenTheTerminateNotification) {
  Fixture f;
  const io_iterator_t first = f.watch(kIOFirstMatchNotification);
  const io_iterator_t term = f.watch(kIOTerminatedNotification);
  onMatch(&f.seen, first);
  onMatch(&f.seen, term);
  EXPECT_TRUE(f.seen.drained.empty());  // the terminate iterator starts empty

  const ServiceId s = f.world.publishService("VantrelService");
  f.loop.runPending();
  ASSERT_EQ(f.seen.drained, std::vector<ServiceId>{s});

  // Interest in the service, held through a service reference of our own.
  mach_port_t master = 0;
  io_iterator_t existing = 0;
  f.kit.IOMasterPort(MACH_PORT_NULL, &master);
  ASSERT_EQ(f.kit.IOServiceGetMatchingServices(master, IOServiceMatching("VantrelService"),
                                               &existing),
            KERN_SUCCESS);
  const io_service_t service = f.kit.IOIteratorNext(existing);
  EXPECT_EQ(f.kit.IOIteratorNext(existing), IO_OBJECT_NULL);
  f.kit.IOObjectRelease(existing);
  f.kit.mach_port_deallocate(mach_task_self(), master);
  EXPECT_EQ(f.kit.masterPortReferences(), 0);
  io_object_t interest = 0;
  ASSERT_EQ(f.kit.IOServiceAddInterestNotification(f.port, service, kIOGeneralInterest,
                                                    onMessage, &f.seen, &interest),
            KERN_SUCCESS);
  EXPECT_EQ(f.kit.retainCount(service), 2u);  // ours and the notification's

  f.world.postMessage(s, 0x564E4461, std::vector<uint8_t>{7, 0});
  f.world.postMessage(s, 0x1234);  // no argument
  f.world.terminateService(s);
  f.loop.runPending();
  ASSERT_EQ(f.seen.messages.size(), 3u);
  EXPECT_EQ(f.seen.messages[0].type, 0x564E4461u);
  EXPECT_EQ(f.seen.messages[0].service, service);
  // A short argument is padded with zeros, so a reader of a fixed-size record stays inside.
  std::vector<uint8_t> expected(kMessageArgumentMinimumSize, 0);
  expected[0] = 7;
  EXPECT_EQ(f.seen.messages[0].firstBytes, expected);
  EXPECT_FALSE(f.seen.messages[1].hasArgument);
  EXPECT_EQ(f.seen.messages[2].type, kIOMessageServiceIsTerminated);
  EXPECT_FALSE(f.seen.messages[2].hasArgument);
  EXPECT_EQ(f.seen.drained, (std::vector<ServiceId>{s, s}));  // then the terminate iterator

  // Opening the ended service fails; releasing the notification drops the last reference but ours.
  io_connect_t c = 0;
  EXPECT_NE(f.kit.IOServiceOpen(service, mach_task_self(), 1, &c), KERN_SUCCESS);
  f.kit.IOObjectRelease(interest);
  EXPECT_EQ(f.kit.retainCount(service), 1u);
  f.kit.IOObjectRelease(service);
  EXPECT_EQ(f.kit.retainCount(service), 0u);
}

TEST(IOKitCalls, CheckedShapesRefuseBadArgumentsWithoutCallingTheDriver) {
  Fixture f;
  InProcessDriverWorld::ServiceBehaviour b;
  b.controlOutput = 0x1122334455667788ull;
  b.infoBytes = std::vector<uint8_t>(300, 0xAB);
  const ServiceId s = f.world.publishService("VantrelService", b);
  const io_iterator_t it = f.watch(kIOFirstMatchNotification);
  const io_service_t service = f.kit.IOIteratorNext(it);
  io_connect_t c = 0;
  ASSERT_EQ(f.kit.IOServiceOpen(service, mach_task_self(), 0x564E5563, &c), KERN_SUCCESS);
  EXPECT_EQ(f.world.serviceOf(c), s);

  const uint64_t five[5] = {c, 2, 3, 4, 5};
  const uint8_t bytes[4] = {1, 2, 3, 4};
  uint64_t out[2] = {0, 0};
  uint8_t buffer[266] = {};
  size_t size = sizeof buffer;
  EXPECT_EQ(f.kit.CallStructInMethod(c, 0, five, 5, bytes, 4), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallStructInMethod(c, 0, five, 4, nullptr, 4), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallStructInMethod(c, 0, five, 4, bytes, 0), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallScalarOutMethod(c, 1, five, 3, out, 2), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallScalarOutMethod(c, 1, five, 3, nullptr, 1), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallScalarOutMethod(c, 1, five, 5, out, 1), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallStructOutMethod(c, 2, five, 3, nullptr, &size), kIOReturnBadArgument);
  EXPECT_EQ(f.kit.CallStructOutMethod(c, 2, five, 3, buffer, nullptr), kIOReturnBadArgument);
  EXPECT_TRUE(f.world.calls().empty());

  EXPECT_EQ(f.kit.CallStructInMethod(c, 0, five, 4, bytes, 4), kIOReturnSuccess);
  EXPECT_EQ(f.kit.CallScalarOutMethod(c, 1, five, 3, out, 1), kIOReturnSuccess);
  EXPECT_EQ(out[0], 0x1122334455667788ull);
  EXPECT_EQ(out[1], 0u);
  EXPECT_EQ(f.kit.CallStructOutMethod(c, 2, five, 3, buffer, &size), kIOReturnSuccess);
  EXPECT_EQ(size, 266u);  // cut to the capacity
  EXPECT_EQ(buffer[265], 0xAB);

  const auto calls = f.world.callsOn(c);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].scalars, (std::vector<uint64_t>{c, 2, 3, 4}));
  EXPECT_EQ(calls[0].structIn, (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(calls[1].scalarOutCapacity, 1u);
  EXPECT_EQ(calls[2].structOutCapacity, 266u);

  // After the service ends, calls on its connection fail; closing still works once.
  f.world.terminateService(s);
  EXPECT_EQ(f.kit.CallScalarOutMethod(c, 1, five, 3, out, 1), kIOReturnNoDevice);
  EXPECT_EQ(f.kit.IOServiceClose(c), kIOReturnSuccess);
  EXPECT_NE(f.kit.IOServiceClose(c), kIOReturnSuccess);
  f.kit.IOObjectRelease(service);
}

TEST(IOKitSetUp, InjectedFailuresAndAnUnavailableWorld) {
  InProcessDriverWorld world;
  IOKit kit(world);
  mach_port_t master = 7;
  world.setAvailable(false);
  EXPECT_NE(kit.IOMasterPort(MACH_PORT_NULL, &master), KERN_SUCCESS);
  EXPECT_EQ(master, MACH_PORT_NULL);
  world.setAvailable(true);
  ASSERT_EQ(kit.IOMasterPort(MACH_PORT_NULL, &master), KERN_SUCCESS);

  kit.setFailure("IONotificationPortCreate", KERN_FAILURE);
  EXPECT_EQ(kit.IONotificationPortCreate(master), nullptr);
  kit.clearFailures();
  IONotificationPortRef port = kit.IONotificationPortCreate(master);
  ASSERT_NE(port, nullptr);
  kit.setFailure("IONotificationPortGetRunLoopSource", KERN_FAILURE);
  EXPECT_EQ(kit.IONotificationPortGetRunLoopSource(port), nullptr);
  kit.clearFailures();

  kit.setFailure(kIOTerminatedNotification, kIOReturnNoMemory);
  io_iterator_t first = 0;
  io_iterator_t it = 0;
  Seen seen;
  seen.kit = &kit;
  EXPECT_EQ(kit.IOServiceAddMatchingNotification(port, kIOFirstMatchNotification,
                                                 IOServiceMatching("VantrelService"), onMatch,
                                                 &seen, &first),
            KERN_SUCCESS);
  onMatch(&seen, first);  // armed
  EXPECT_EQ(kit.IOServiceAddMatchingNotification(port, kIOTerminatedNotification,
                                                 IOServiceMatching("VantrelService"), onMatch,
                                                 &seen, &it),
            kIOReturnNoMemory);
  EXPECT_EQ(it, IO_OBJECT_NULL);
  EXPECT_EQ(kit.IOServiceAddMatchingNotification(port, "IOServicePublish",
                                                 IOServiceMatching("VantrelService"), onMatch,
                                                 &seen, &it),
            kIOReturnUnsupported);
  EXPECT_EQ(IOServiceMatching(nullptr), nullptr);

  // A destroyed port delivers nothing more.
  kit.IONotificationPortDestroy(port);
  world.publishService("VantrelService");
  EXPECT_EQ(seen.matchCalls.size(), 1u);  // only our own call
  EXPECT_EQ(kit.pendingDeliveries(port), 0u);
  kit.mach_port_deallocate(mach_task_self(), master);
  EXPECT_NE(kit.mach_port_deallocate(mach_task_self(), master), KERN_SUCCESS);
}

TEST(IOKitUsb, DeviceInterfaceOfUsbServicesOnly) {
  InProcessDriverWorld world;
  IOKit kit(world);
  InProcessDriverWorld::UsbDevice dev;
  dev.vendor = 0xF7A5;
  dev.product = 0x0A11;
  dev.resetStatus = kIOReturnExclusiveAccess;
  const ServiceId usb = world.publishUsbDevice("IOUSBHostDevice", dev);
  world.publishService("IOUSBHostDevice");  // listed under the class but not a USB device

  io_iterator_t it = 0;
  ASSERT_EQ(kit.IOServiceGetMatchingServices(kIOMasterPortDefault,
                                             IOServiceMatching("IOUSBHostDevice"), &it),
            KERN_SUCCESS);
  const io_service_t first = kit.IOIteratorNext(it);
  const io_service_t second = kit.IOIteratorNext(it);
  kit.IOObjectRelease(it);

  std::unique_ptr<IOCFPlugInInterface> plugin;
  int32_t score = 0;
  EXPECT_NE(kit.IOCreatePlugInInterfaceForService(second, kIOUSBDeviceUserClientTypeID,
                                                  kIOCFPlugInInterfaceID, &plugin, &score),
            KERN_SUCCESS);
  EXPECT_EQ(plugin, nullptr);
  ASSERT_EQ(kit.IOCreatePlugInInterfaceForService(first, kIOUSBDeviceUserClientTypeID,
                                                  kIOCFPlugInInterfaceID, &plugin, &score),
            KERN_SUCCESS);
  std::unique_ptr<IOUSBDeviceInterface> device;
  EXPECT_EQ(plugin->QueryInterface(CFUUID::Other, &device), E_NOINTERFACE);
  ASSERT_EQ(plugin->QueryInterface(kIOUSBDeviceInterfaceID, &device), S_OK);
  plugin.reset();
  uint16_t vendor = 0;
  uint16_t product = 0;
  EXPECT_EQ(device->GetDeviceVendor(&vendor), kIOReturnSuccess);
  EXPECT_EQ(device->GetDeviceProduct(&product), kIOReturnSuccess);
  EXPECT_EQ(vendor, 0xF7A5);
  EXPECT_EQ(product, 0x0A11);
  EXPECT_EQ(device->USBDeviceOpen(), kIOReturnSuccess);
  EXPECT_EQ(device->ResetDevice(), kIOReturnExclusiveAccess);
  EXPECT_EQ(device->USBDeviceReEnumerate(0), kIOReturnSuccess);
  ASSERT_EQ(world.usbEvents().size(), 3u);
  EXPECT_EQ(world.usbEvents()[1].request, InProcessDriverWorld::UsbRequest::Reset);
  EXPECT_EQ(world.usbEvents()[2].service, usb);
  kit.IOObjectRelease(first);
  kit.IOObjectRelease(second);
  EXPECT_EQ(kit.liveObjectCount(), 0u);
}

TEST(RunLoopSources, SignalsMergeAndRemovedSourcesWait) {
  rl::ManualRunLoop loop;
  int performed = 0;
  auto source = std::make_shared<rl::RunLoopSource>([&] { ++performed; });
  source->signal();  // before it is on any loop
  loop.addSource(source);
  source->signal();
  EXPECT_EQ(loop.runPending(), 1u);
  EXPECT_EQ(performed, 1);
  loop.removeSource(source);
  source->signal();
  EXPECT_EQ(loop.runPending(), 0u);
  loop.addSource(source);
  source->invalidate();
  EXPECT_EQ(loop.runPending(), 0u);
  EXPECT_EQ(performed, 1);
}

}  // namespace
