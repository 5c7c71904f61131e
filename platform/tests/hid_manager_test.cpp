#include "platform/hid_manager.h"

#include <gtest/gtest.h>

#include "platform/fake/fake_hid.h"
#include "platform/tests/hid_heard.h"

namespace {

using sys::IOHIDDeviceRef;

using Heard = testing_support::HeardDevices;
using testing_support::vendorMatching;

class HIDManager : public ::testing::Test {
 protected:
  sys::FakeHIDDevices hid;
  rl::ManualRunLoop loop;
  Heard heard;

  sys::IOHIDManagerRef openManager() {
    sys::IOHIDManagerRef manager = hid.IOHIDManagerCreate();
    EXPECT_TRUE(manager);
    if (!manager) return manager;
    manager->SetDeviceMatching(vendorMatching(0x1234));
    heard.listenTo(*manager);
    manager->ScheduleWithRunLoop(loop);
    EXPECT_EQ(manager->Open(sys::kIOHIDOptionsTypeNone), iokit::kIOReturnSuccess);
    return manager;
  }
};

TEST_F(HIDManager, ReportsTheVendorsDevicesPresentAndArrivingFromTheRunLoop) {
  const int usb = hid.attach(0x1234, 1);
  const int other = hid.attach(0x9999, 2);
  hid.attach(0x1234, 3, std::string(sys::kIOHIDTransportBluetoothLowEnergyValue));
  auto manager = openManager();
  EXPECT_TRUE(heard.lines.empty());  // never from inside Open
  loop.runPending();
  EXPECT_EQ(heard.lines, (std::vector<std::string>{"+ 1 USB", "+ 3 Bluetooth Low Energy"}));

  hid.attach(0x1234, 4, std::nullopt);
  hid.detach(usb);
  hid.detach(other);
  loop.runPending();
  EXPECT_EQ(heard.lines, (std::vector<std::string>{"+ 1 USB", "+ 3 Bluetooth Low Energy",
                                                   "+ 4 -", "- 1 USB"}));
  EXPECT_EQ(heard.devices[3], heard.devices[0]);  // the removal names the object of the arrival
  for (void* sender : heard.senders) EXPECT_EQ(sender, manager.get());
  EXPECT_EQ(manager->devices().size(), 2u);
}

TEST_F(HIDManager, CloseDropsWhatWasNotDeliveredAndOpeningAgainCountsAfresh) {
  hid.attach(0x1234, 1);
  auto manager = openManager();
  EXPECT_EQ(manager->Close(0), iokit::kIOReturnSuccess);
  EXPECT_EQ(manager->Close(0), iokit::kIOReturnNotOpen);
  hid.attach(0x1234, 2);
  loop.runPending();
  EXPECT_TRUE(heard.lines.empty());
  EXPECT_EQ(hid.openCount(), 0u);

  EXPECT_EQ(manager->Open(0), iokit::kIOReturnSuccess);
  EXPECT_EQ(manager->Open(0), iokit::kIOReturnSuccess);  // open already: nothing twice
  loop.runPending();
  EXPECT_EQ(heard.lines, (std::vector<std::string>{"+ 1 USB", "+ 2 USB"}));
}

TEST_F(HIDManager, DeliveriesWaitForTheRunLoopItIsScheduledOn) {
  rl::ManualRunLoop other;  // outlives the manager scheduled on it
  hid.attach(0x1234, 1);
  auto manager = openManager();
  manager->UnscheduleFromRunLoop(loop);
  loop.runPending();
  EXPECT_TRUE(heard.lines.empty());
  manager->ScheduleWithRunLoop(other);
  loop.runPending();
  EXPECT_TRUE(heard.lines.empty());
  other.runPending();
  EXPECT_EQ(heard.lines, std::vector<std::string>{"+ 1 USB"});
  EXPECT_EQ(loop.sourceCount(), 0u);
  EXPECT_EQ(other.sourceCount(), 1u);
}

TEST_F(HIDManager, ACallbackMayDestroyTheManager) {
  for (uint16_t product = 1; product <= 3; ++product) hid.attach(0x1234, product);
  struct Context {
    sys::IOHIDManagerRef manager;
    int calls = 0;
  } context;
  context.manager = hid.IOHIDManagerCreate();
  context.manager->RegisterDeviceMatchingCallback(
      [](void* c, sys::IOReturn, void*, IOHIDDeviceRef) {
        auto* ctx = static_cast<Context*>(c);
        ++ctx->calls;
        ctx->manager.reset();
      },
      &context);
  context.manager->ScheduleWithRunLoop(loop);
  context.manager->Open(0);
  loop.runPending();
  EXPECT_EQ(context.calls, 1);
  EXPECT_EQ(loop.sourceCount(), 0u);
  EXPECT_EQ(hid.openCount(), 0u);
  hid.attach(0x1234, 4);  // no manager hears of it any more
}

TEST_F(HIDManager, CreatingAndOpeningCanFail) {
  hid.failCreate = true;
  EXPECT_FALSE(hid.IOHIDManagerCreate());
  hid.failCreate = false;
  hid.failOpen = true;
  hid.attach(0x1234, 1);
  auto manager = hid.IOHIDManagerCreate();
  manager->RegisterDeviceMatchingCallback(&Heard::added, &heard);
  manager->ScheduleWithRunLoop(loop);
  EXPECT_EQ(manager->Open(0), iokit::kIOReturnError);
  EXPECT_FALSE(manager->isOpen());
  EXPECT_EQ(manager->Close(0), iokit::kIOReturnNotOpen);
  loop.runPending();
  EXPECT_TRUE(heard.lines.empty());
}

TEST(HIDMatching, TheManagerKeepsItsOwnCopyAndMissingPropertiesNeverMatch) {
  pl::DictRef properties = pl::makeDict();
  properties->setInteger(sys::kIOHIDVendorIDKey, 0x1234);
  pl::DictRef withProduct = vendorMatching(0x1234);
  withProduct->setInteger(sys::kIOHIDProductIDKey, 1);
  EXPECT_FALSE(sys::IOHIDDeviceConformsTo(sys::IOHIDDevice(properties), withProduct));

  sys::FakeHIDDevices hid;
  rl::ManualRunLoop loop;
  Heard heard;
  hid.attach(0x1234, 1);
  auto manager = hid.IOHIDManagerCreate();
  pl::DictRef matching = vendorMatching(0x1234);
  manager->SetDeviceMatching(matching);
  matching->setInteger(sys::kIOHIDVendorIDKey, 0x9999);
  manager->RegisterDeviceMatchingCallback(&Heard::added, &heard);
  manager->ScheduleWithRunLoop(loop);
  manager->Open(0);
  loop.runPending();
  EXPECT_EQ(heard.lines, std::vector<std::string>{"+ 1 USB"});
}

}  // namespace
