// The udev backend of the HID manager on a simulated device tree (umockdev). The program must
// run with umockdev's library preloaded (CTest does so); without it libudev would see the
// machine's own devices, so every test stops at once.
#include "platform/linux/udev_hid.h"

#include <gtest/gtest.h>
#include <umockdev.h>

#include <chrono>

#include "platform/tests/hid_heard.h"

namespace {

using testing_support::vendorMatching;
using namespace std::chrono_literals;

constexpr const char* kBluetooth = "Bluetooth Low Energy";

class UdevHID : public ::testing::Test {
 protected:
  void SetUp() override {
    testbed_ = umockdev_testbed_new();
    ASSERT_TRUE(umockdev_in_mock_environment())
        << "needs LD_PRELOAD=libumockdev-preload.so.0 (umockdev-wrapper)";
  }
  void TearDown() override {
    manager_.reset();
    g_object_unref(testbed_);
  }

  // A "hid" device with this HID_ID (none when null); announced with an "add" event.
  std::string plug(const std::string& name, const char* hidId, int batch = 1) {
    gchar* path = hidId ? umockdev_testbed_add_device(testbed_, "hid", name.c_str(), nullptr,
                                                      nullptr, "HID_ID", hidId, nullptr)
                        : umockdev_testbed_add_device(testbed_, "hid", name.c_str(), nullptr,
                                                      nullptr, nullptr);
    const std::string syspath = path;
    g_free(path);
    event(syspath, "add", batch);
    return syspath;
  }
  void unplug(const std::string& syspath) {
    event(syspath, "remove");
    umockdev_testbed_remove_device(testbed_, syspath.c_str());
  }
  // umockdev gives up when more than five events wait unread on the monitor's socket, so the
  // monitor reads them every `batch` events (the reports still wait for the run loop).
  void event(const std::string& syspath, const char* action, int batch = 1) {
    umockdev_testbed_uevent(testbed_, syspath.c_str(), action);
    if (++unread_ >= batch) {
      watcher_.wait(0ms);
      unread_ = 0;
    }
  }

  void open(const pl::DictRef& matching) {
    manager_ = hid_.IOHIDManagerCreate();
    ASSERT_TRUE(manager_);
    manager_->SetDeviceMatching(matching);
    heard_.listenTo(*manager_);
    manager_->ScheduleWithRunLoop(loop_);
    ASSERT_EQ(manager_->Open(sys::kIOHIDOptionsTypeNone), iokit::kIOReturnSuccess);
  }

  // Turns the main loop until `count` reports were heard, for at most five seconds; then a
  // little longer, to hear whatever else might come.
  const std::vector<std::string>& heardAfter(size_t count) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (heard_.lines.size() < count && std::chrono::steady_clock::now() < deadline) {
      loop_.runPending();
      watcher_.wait(20ms);
      loop_.runPending();
    }
    for (int i = 0; i < 3; ++i) {
      watcher_.wait(20ms);
      loop_.runPending();
    }
    return heard_.lines;
  }

  UMockdevTestbed* testbed_ = nullptr;
  int unread_ = 0;
  rl::PollReadinessWatcher watcher_;
  rl::ManualRunLoop loop_;
  sys::UdevHIDManagers hid_{watcher_};
  sys::IOHIDManagerRef manager_;
  testing_support::HeardDevices heard_;
};

TEST_F(UdevHID, DevicesPresentAtOpenAreTheVendorsWithTheirTransports) {
  plug("0003:1234:0001.0001", "0003:00001234:00000001");
  plug("0005:1234:0003.0002", "0005:00001234:00000003");
  plug("0003:9999:0002.0003", "0003:00009999:00000002");
  plug("0018:1234:0004.0004", "0018:00001234:00000004");  // I2C counts as not Bluetooth
  plug("no-ids", nullptr);
  plug("garbage-ids", "zzzz:00001234:00000005");
  open(vendorMatching(0x1234));
  EXPECT_TRUE(heard_.lines.empty());  // reported from the run loop, not from Open
  EXPECT_EQ(heardAfter(3), (std::vector<std::string>{"+ 1 USB", std::string("+ 3 ") + kBluetooth,
                                                     "+ 4 USB"}));
}

TEST_F(UdevHID, ArrivalsAndRemovalsFollowTheMonitor) {
  open(vendorMatching(0x1234));
  const std::string usb = plug("0003:1234:0001.0001", "0003:00001234:00000001");
  plug("0003:9999:0001.0002", "0003:00009999:00000001");
  const std::string ble = plug("0005:1234:0003.0003", "0005:00001234:00000003");
  ASSERT_EQ(heardAfter(2), (std::vector<std::string>{"+ 1 USB", std::string("+ 3 ") + kBluetooth}));

  // Events about a device already known add nothing; its removal is reported once.
  event(ble, "add");
  event(ble, "bind");
  event(ble, "change");
  event(ble, "unbind");
  unplug(usb);
  unplug(usb);
  EXPECT_EQ(heardAfter(3), (std::vector<std::string>{"+ 1 USB", std::string("+ 3 ") + kBluetooth,
                                                     "- 1 USB"}));
  EXPECT_EQ(heard_.devices[2], heard_.devices[0]);
  EXPECT_EQ(manager_->devices().size(), 1u);
}

TEST_F(UdevHID, EveryInterfaceOfADeviceIsADevice) {
  plug("0003:1234:0006.0001", "0003:00001234:00000006");
  const std::string second = plug("0003:1234:0006.0002", "0003:00001234:00000006");
  open(vendorMatching(0x1234));
  plug("0003:1234:0006.0003", "0003:00001234:00000006");
  ASSERT_EQ(heardAfter(3), (std::vector<std::string>(3, "+ 6 USB")));
  unplug(second);
  EXPECT_EQ(heardAfter(4).back(), "- 6 USB");
  EXPECT_EQ(heard_.devices[3], heard_.devices[1]);
}

TEST_F(UdevHID, DevicesWithoutUsableIdsHaveNoProductID) {
  open(nullptr);  // every HID device
  const std::string longId(10000, '1');
  const char* ids[] = {"",           "0003",         "0003:00001234",       "0003:00001234:0000000G",
                       "10000:1:1",  "0003:123456789:1", "::",              "0003:1234:1:",
                       " 0003:1:1",  longId.c_str(), "0005:ffffffff:FFFFFFFF"};
  int n = 0;
  plug("no-hid-id", nullptr);
  for (const char* id : ids) plug("dev" + std::to_string(++n), id);
  const auto& lines = heardAfter(12);
  ASSERT_EQ(lines.size(), 12u);
  for (size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i], "+ ? -") << i;
  EXPECT_EQ(lines.back(), std::string("+ 4294967295 ") + kBluetooth);
}

TEST_F(UdevHID, ClosingStopsTheMonitorAndOpeningAgainCountsAfresh) {
  plug("0003:1234:0001.0001", "0003:00001234:00000001");
  open(vendorMatching(0x1234));
  ASSERT_EQ(heardAfter(1).size(), 1u);
  ASSERT_EQ(manager_->Close(0), iokit::kIOReturnSuccess);
  EXPECT_EQ(watcher_.watchedCount(), 0u);
  plug("0003:1234:0002.0002", "0003:00001234:00000002");
  EXPECT_EQ(heardAfter(1).size(), 1u);

  ASSERT_EQ(manager_->Open(0), iokit::kIOReturnSuccess);
  EXPECT_EQ(heardAfter(3), (std::vector<std::string>{"+ 1 USB", "+ 1 USB", "+ 2 USB"}));
}

TEST_F(UdevHID, EventsWaitingTogetherAreAllRead) {
  open(vendorMatching(0x1234));
  constexpr int kDevices = 200;
  for (int i = 1; i <= kDevices; ++i) {
    char id[32];
    std::snprintf(id, sizeof id, "0003:00001234:%08X", i);
    plug("many" + std::to_string(i), id, 4);
  }
  const auto& lines = heardAfter(kDevices);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kDevices));
  EXPECT_EQ(lines.front(), "+ 1 USB");
  EXPECT_EQ(lines.back(), "+ 200 USB");
}

}  // namespace
