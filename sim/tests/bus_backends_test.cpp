// The D-Bus backends against a simulator on a private bus, both in this process on separate
// connections: the IOKit stand-in over the mirrored driver world, and the system and action
// services.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

#include <cstring>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "sim/driver_wire.h"
#include "sim/client/sim_actions.h"
#include "sim/client/sim_driver_world.h"
#include "sim/client/sim_hid.h"
#include "sim/client/sim_system.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/fake/fake_apple_events.h"
#include "platform/fake/fake_pasteboard.h"
#include "platform/fake/fake_system.h"
#include "platform/iokit.h"
#include "platform/quiet/quiet_services.h"
#include "platform/runloop.h"
#include "settings/models.h"
#include "settings/driver_codes.h"
#include "sim/sim_bus.h"

using namespace iokit;
using testing_support::PrivateBus;
using testing_support::waitUntil;

namespace {

class ThreadScheduler final : public sim::Scheduler {
 public:
  explicit ThreadScheduler(QObject* context) : context_(context) {}
  void after(std::chrono::milliseconds d, std::function<void()> work) override {
    QTimer::singleShot(d, context_, std::move(work));
  }

 private:
  QObject* context_;
};

// A simulator on its own connection of the test's bus and in its own thread (the test's blocking
// calls to it must be answered while the main thread waits). `run` does work in that thread.
class Simulator {
 public:
  template <typename F>
  auto run(F work) {
    using R = decltype(work());
    if constexpr (std::is_void_v<R>) {
      QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    } else {
      R result{};
      QMetaObject::invokeMethod(&context_, [&] { result = work(); }, Qt::BlockingQueuedConnection);
      return result;
    }
  }

  explicit Simulator(PrivateBus& privateBus, bool directSocket = true,
                     size_t socketLimit = sim::DriverSocketServer::kDefaultMaxPendingBytes) {
    thread_.start();
    context_.moveToThread(&thread_);
    auto c = privateBus.connect("sim");
    connectionName_ = c.name();
    run([&] {
      scheduler_ = std::make_unique<ThreadScheduler>(&context_);
      world_ = std::make_unique<sim::World>(*sim::Catalogue::load(sim::Catalogue::defaultPath(), nullptr),
                                            *scheduler_);
      world_->setReEnumerationDelay(std::chrono::milliseconds(5));
      world_->setApplicationStartDelay(std::chrono::milliseconds(5));
      bus_ = std::make_unique<sim::SimBus>(*world_, c);
      bus_->setDirectSocket(directSocket);
      bus_->setDriverSocketLimit(socketLimit);
      std::string error;
      EXPECT_TRUE(bus_->start(&error)) << error;
    });
  }
  ~Simulator() {
    leave();
    thread_.quit();
    thread_.wait();
  }

  // Shorthands for the world's calls, made in the simulator's thread.
  uint64_t attach(const std::string& key, sim::AttachOptions o = {}) {
    return run([&] { return world_->attach(key, o, nullptr); });
  }
  sim::World& worldForReading() { return *world_; }  // only while the simulator is idle

  // The simulator stops answering until thaw(), as a stopped process does.
  void freeze() {
    frozen_ = std::make_shared<std::promise<void>>();
    std::shared_future<void> until = frozen_->get_future().share();
    QMetaObject::invokeMethod(&context_, [until] { until.wait(); }, Qt::QueuedConnection);
  }
  void thaw() {
    if (frozen_) frozen_->set_value();
    frozen_.reset();
  }

  // The simulator leaves the bus (as when its process ends).
  void leave() {
    thaw();
    if (!bus_) return;
    run([&] {
      bus_.reset();
      world_.reset();
    });
    QDBusConnection::disconnectFromBus(connectionName_);
  }

 private:
  QThread thread_;
  QObject context_;
  QString connectionName_;
  std::unique_ptr<ThreadScheduler> scheduler_;
  std::unique_ptr<sim::World> world_;
  std::unique_ptr<sim::SimBus> bus_;
  std::shared_ptr<std::promise<void>> frozen_;
};

// A client of the simulator's direct socket that the test drives by hand.
int rawSocketClient(simbus::SimLink& link) {
  const auto path = link.callDriver("SocketPath");
  if (!path || path->isEmpty()) return -1;
  const std::string p = (*path)[0].toString().toStdString();
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  timeval tv{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  return fd;
}

struct Matches {
  IOKit* kit = nullptr;
  std::vector<io_service_t> seen;
  static void callback(void* refcon, io_iterator_t it) {
    auto* self = static_cast<Matches*>(refcon);
    while (io_object_t s = self->kit->IOIteratorNext(it)) self->seen.push_back(s);
  }
};

struct Messages {
  std::vector<std::pair<uint32_t, std::vector<uint8_t>>> got;
  static void callback(void* refcon, io_service_t, uint32_t type, void* arg) {
    auto* self = static_cast<Messages*>(refcon);
    std::vector<uint8_t> bytes;
    if (arg) bytes.assign(static_cast<uint8_t*>(arg), static_cast<uint8_t*>(arg) + 16);
    self->got.emplace_back(type, bytes);
  }
};

}  // namespace

// Over the simulator's direct socket, and over the bus when it offers none.
class SimDriverWorldPaths : public ::testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(Both, SimDriverWorldPaths, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Direct" : "Bus"; });

TEST_P(SimDriverWorldPaths, IOKitSeesTheSimulatorsServicesCallsAndMessages) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  auto sim = std::make_unique<Simulator>(bus, GetParam());
  const auto dev1 = sim->attach("dev1");

  simbus::SimLink link(bus.connect("helper"));
  simbus::SimDriverWorld world(link);
  IOKit kit(world);
  rl::ManualRunLoop loop;
  ASSERT_TRUE(link.present());
  EXPECT_EQ(world.direct(), GetParam());
  EXPECT_EQ(world.services("VantrelService").size(), 1u) << "what existed is there at once";

  mach_port_t master = 0;
  ASSERT_EQ(kit.IOMasterPort(MACH_PORT_NULL, &master), KERN_SUCCESS);
  auto port = kit.IONotificationPortCreate(master);
  loop.addSource(kit.IONotificationPortGetRunLoopSource(port));
  Matches first{&kit, {}}, gone{&kit, {}};
  io_iterator_t firstIt = 0, goneIt = 0;
  ASSERT_EQ(kit.IOServiceAddMatchingNotification(port, kIOFirstMatchNotification, IOServiceMatching("VantrelService"),
                                                 &Matches::callback, &first, &firstIt),
            KERN_SUCCESS);
  Matches::callback(&first, firstIt);
  ASSERT_EQ(kit.IOServiceAddMatchingNotification(port, kIOTerminatedNotification, IOServiceMatching("VantrelService"),
                                                 &Matches::callback, &gone, &goneIt),
            KERN_SUCCESS);
  Matches::callback(&gone, goneIt);
  ASSERT_EQ(first.seen.size(), 1u);

  // A device attached now arrives through the notification port.
  const auto dev4 = sim->attach("dev4");
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return first.seen.size() == 2; }));

  // Open, call with the three selectors, receive messages.
  io_connect_t c = 0;
  ASSERT_EQ(kit.IOServiceOpen(first.seen[1], mach_task_self(), driver::kConnectType, &c), KERN_SUCCESS);
  Messages messages;
  io_object_t interest = 0;
  ASSERT_EQ(kit.IOServiceAddInterestNotification(port, first.seen[1], kIOGeneralInterest, &Messages::callback,
                                                 &messages, &interest),
            KERN_SUCCESS);
  std::vector<uint8_t> record(176, 0);
  record[1] = 25;
  const uint64_t settingsIn[] = {c, driver::kSettingsCode, 48, 0};
  EXPECT_EQ(kit.CallStructInMethod(c, 0, settingsIn, 4, record.data(), record.size()), kIOReturnSuccess);
  const uint64_t controlIn[] = {c, driver::kControlRawReports, 1};
  uint64_t out = 99;
  EXPECT_EQ(kit.CallScalarOutMethod(c, 1, controlIn, 3, &out, 1), kIOReturnSuccess);
  EXPECT_EQ(out, 0u);
  const uint64_t infoIn[] = {c, driver::kDeviceInfoCode, 1};
  uint8_t info[266] = {};
  size_t size = sizeof info;
  EXPECT_EQ(kit.CallStructOutMethod(c, 2, infoIn, 3, info, &size), kIOReturnSuccess);
  EXPECT_EQ(size, 266u);
  EXPECT_EQ(DeviceInfo::decode(info, size).productID, models::productOfDevice(4));
  const uint64_t badIn[] = {c + 1, driver::kControlRawReports, 1};
  EXPECT_EQ(kit.CallScalarOutMethod(c, 1, badIn, 3, &out, 1), kIOReturnBadArgument);
  const auto drv = sim->run([&] { return sim->worldForReading().device(dev4)->interfaces[0].driver; });
  ASSERT_TRUE(drv.settings);
  EXPECT_EQ((*drv.settings)[1], 25);
  EXPECT_TRUE(drv.reports);

  sim->run([&] {
    auto& w = sim->worldForReading();
    w.press(dev4, 1, true);
    std::array<uint8_t, 16> report{};
    report[0] = 0x42;
    w.report(dev4, report, false, nullptr);
    w.press(dev1, 0, true);  // another device: not for this interest
  });
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return messages.got.size() == 2; }));
  EXPECT_EQ(messages.got[0].first, driver::kMessageButton);
  EXPECT_EQ(messages.got[0].second[0], 1);
  EXPECT_EQ(messages.got[0].second[1], 0);
  EXPECT_EQ(messages.got[0].second[2], 0) << "zero-padded argument";
  EXPECT_EQ(messages.got[1].first, driver::kMessageState);
  EXPECT_EQ(messages.got[1].second[0], 0x42);

  // Unplugging: the termination message, then the terminate notification.
  sim->run([&] { sim->worldForReading().detach(dev4); });
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return gone.seen.size() == 1; }));
  ASSERT_EQ(messages.got.size(), 3u);
  EXPECT_EQ(messages.got[2].first, kIOMessageServiceIsTerminated);
  EXPECT_EQ(kit.CallScalarOutMethod(c, 1, controlIn, 3, &out, 1), static_cast<IOReturn>(0xE00002C0));
  EXPECT_EQ(kit.IOServiceClose(c), KERN_SUCCESS);
  kit.IOObjectRelease(interest);

  // The simulator leaves: its services end. It comes back with a device: it is published.
  sim->leave();
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return gone.seen.size() == 2 && !link.present(); }));
  EXPECT_TRUE(world.services("VantrelService").empty());
  EXPECT_EQ(kit.IOServiceOpen(first.seen[0], mach_task_self(), driver::kConnectType, &c), kIOReturnNoDevice);
  sim = std::make_unique<Simulator>(bus, GetParam());
  sim->attach("dev6");
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return first.seen.size() == 3; }));
  EXPECT_TRUE(link.present());
  EXPECT_EQ(world.direct(), GetParam());
}

TEST(SimDriverSocket, MalformedRequestsCostTheSenderItsConnectionOnly) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  Simulator sim(bus);
  sim.attach("dev1");
  simbus::SimLink link(bus.connect("client"));
  const auto path = link.callDriver("SocketPath");
  ASSERT_TRUE(path && !path->isEmpty());
  const std::string p = (*path)[0].toString().toStdString();

  auto rawClient = [&] {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    timeval tv{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
  };
  // A reply packet, a short request, an unknown method, a call with too many scalars: each
  // closes that client's connection.
  const std::vector<std::vector<uint8_t>> bad = {
      {2, 1, 0, 0, 0, 0, 0, 0, 0},
      {1, 1, 0},
      {1, 1, 0, 0, 0, 99},
      {1, 1, 0, 0, 0, 4, 1, 0, 0, 0, 0, 0, 0, 0, 200, 0, 0, 0},
  };
  for (const auto& packet : bad) {
    const int fd = rawClient();
    ASSERT_EQ(::send(fd, packet.data(), packet.size(), 0), static_cast<ssize_t>(packet.size()));
    uint8_t buf[64];
    EXPECT_EQ(::recv(fd, buf, sizeof buf, 0), 0) << "hung up";
    ::close(fd);
  }
  // Packets larger than any request, and random ones (requests of every method with their
  // arguments cut short or garbled): the simulator answers or hangs up, and carries on.
  {
    const int fd = rawClient();
    std::vector<uint8_t> huge(driverwire::kMaxPacket + 100, 1);
    ASSERT_EQ(::send(fd, huge.data(), huge.size(), 0), static_cast<ssize_t>(huge.size()));
    uint8_t buf[64];
    EXPECT_EQ(::recv(fd, buf, sizeof buf, 0), 0) << "hung up";
    ::close(fd);
  }
  uint32_t state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 16) & 0xFF; };
  for (int round = 0; round < 300; ++round) {
    const int fd = rawClient();
    std::vector<uint8_t> packet(1 + next() % 64);
    for (auto& b : packet) b = static_cast<uint8_t>(next());
    packet[0] = 1;                                      // a request ...
    if (packet.size() > 5) packet[5] = static_cast<uint8_t>(1 + next() % 10);  // ... of some method
    ASSERT_EQ(::send(fd, packet.data(), packet.size(), 0), static_cast<ssize_t>(packet.size()));
    std::vector<uint8_t> buf(driverwire::kMaxPacket);
    EXPECT_GE(::recv(fd, buf.data(), buf.size(), 0), 0) << "an answer or a hang-up, in time";
    ::close(fd);
  }
  // A well-formed request still gets its answer.
  const int fd = rawClient();
  driverwire::Writer w;
  w.u8(1).u32(7).u8(static_cast<uint8_t>(driverwire::Method::Snapshot));
  ASSERT_GT(::send(fd, w.bytes().data(), w.bytes().size(), 0), 0);
  std::vector<uint8_t> buf(4096);
  const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
  ASSERT_GT(n, 9);
  driverwire::Reader r(buf.data(), static_cast<size_t>(n));
  EXPECT_EQ(r.u8(), 2);
  EXPECT_EQ(r.u32(), 7u);
  EXPECT_EQ(r.i32(), 0);
  r.u64();
  EXPECT_EQ(r.u32(), 2u) << "the device's USB device and driver service";
  ::close(fd);
}

TEST(SimDriverSocket, EventsWaitForABusyClientInOrderUpToALimit) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  constexpr int kPresses = 3000;  // far more than the socket itself holds
  for (const bool small : {false, true}) {
    SCOPED_TRACE(small ? "small limit" : "default limit");
    Simulator sim(bus, true, small ? 16 * 1024 : sim::DriverSocketServer::kDefaultMaxPendingBytes);
    const auto dev = sim.attach("dev1");
    simbus::SimLink link(bus.connect("client"));
    const int fd = rawSocketClient(link);
    ASSERT_GE(fd, 0);
    std::vector<uint8_t> buf(4096);
    auto snapshot = [&](uint32_t id) {
      driverwire::Writer w;
      w.u8(1).u32(id).u8(static_cast<uint8_t>(driverwire::Method::Snapshot));
      return ::send(fd, w.bytes().data(), w.bytes().size(), 0) > 0;
    };
    // An answer: the simulator has taken the client in.
    ASSERT_TRUE(snapshot(8));
    ASSERT_GT(::recv(fd, buf.data(), buf.size(), 0), 9);

    // The client reads nothing while the driver posts its button events.
    sim.run([&] {
      for (int i = 0; i < kPresses; ++i) sim.worldForReading().press(dev, static_cast<uint16_t>(i % 16), true);
    });
    int got = 0;
    uint64_t lastSeq = 0;
    bool inOrder = true, hungUp = false;
    while (got < kPresses) {
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      if (n == 0) hungUp = true;
      if (n <= 0) break;
      driverwire::Reader r(buf.data(), static_cast<size_t>(n));
      if (r.u8() != static_cast<uint8_t>(driverwire::Kind::Event)) continue;
      const uint64_t seq = r.u64();
      if (lastSeq != 0 && seq != lastSeq + 1) inOrder = false;
      lastSeq = seq;
      if (r.u8() != static_cast<uint8_t>(driverwire::EventType::Message)) continue;
      r.u64();
      r.u32();
      const auto argument = r.blob();
      if (argument.size() != 2 || argument[0] != got % 16) inOrder = false;
      ++got;
    }
    EXPECT_TRUE(inOrder);
    if (!small) {
      EXPECT_EQ(got, kPresses) << "nothing is lost while the client is busy";
      EXPECT_FALSE(hungUp);
      ASSERT_TRUE(snapshot(9));
      const ssize_t n = ::recv(fd, buf.data(), buf.size(), 0);
      ASSERT_GT(n, 9);
      driverwire::Reader r(buf.data(), static_cast<size_t>(n));
      EXPECT_EQ(r.u8(), 2) << "the client is still served";
      EXPECT_EQ(r.u32(), 9u);
    } else {
      EXPECT_TRUE(hungUp) << "a client too far behind is let go";
      EXPECT_LT(got, kPresses);
    }
    ::close(fd);
  }
}

TEST(SimDriverWorld, AClientThatWasLetGoStartsOverAndKeepsItsDevices) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  Simulator sim(bus, true, 16 * 1024);
  const auto dev = sim.attach("dev1");
  simbus::SimLink link(bus.connect("helper"));
  simbus::SimDriverWorld world(link);
  IOKit kit(world);
  rl::ManualRunLoop loop;
  ASSERT_TRUE(world.direct());

  mach_port_t master = 0;
  ASSERT_EQ(kit.IOMasterPort(MACH_PORT_NULL, &master), KERN_SUCCESS);
  auto port = kit.IONotificationPortCreate(master);
  loop.addSource(kit.IONotificationPortGetRunLoopSource(port));
  Matches first{&kit, {}}, gone{&kit, {}};
  io_iterator_t firstIt = 0, goneIt = 0;
  ASSERT_EQ(kit.IOServiceAddMatchingNotification(port, kIOFirstMatchNotification, IOServiceMatching("VantrelService"),
                                                 &Matches::callback, &first, &firstIt),
            KERN_SUCCESS);
  Matches::callback(&first, firstIt);
  ASSERT_EQ(kit.IOServiceAddMatchingNotification(port, kIOTerminatedNotification, IOServiceMatching("VantrelService"),
                                                 &Matches::callback, &gone, &goneIt),
            KERN_SUCCESS);
  Matches::callback(&gone, goneIt);
  ASSERT_EQ(first.seen.size(), 1u);
  io_connect_t c = 0;
  ASSERT_EQ(kit.IOServiceOpen(first.seen[0], mach_task_self(), driver::kConnectType, &c), KERN_SUCCESS);

  // The client is busy (its event loop does not run) while the driver posts more than may wait
  // for it: the simulator lets it go, and its connection with it.
  sim.run([&] {
    for (int i = 0; i < 3000; ++i) sim.worldForReading().press(dev, 1, true);
  });
  // Once it runs again, its service ends and is published anew, on a new socket.
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return gone.seen.size() == 1 && first.seen.size() == 2; }));
  EXPECT_TRUE(world.direct());
  const uint64_t controlIn[] = {c, driver::kControlRawReports, 1};
  uint64_t out = 0;
  EXPECT_NE(kit.CallScalarOutMethod(c, 1, controlIn, 3, &out, 1), kIOReturnSuccess) << "the old connection is void";

  io_connect_t again = 0;
  ASSERT_EQ(kit.IOServiceOpen(first.seen[1], mach_task_self(), driver::kConnectType, &again), KERN_SUCCESS);
  Messages messages;
  io_object_t interest = 0;
  ASSERT_EQ(kit.IOServiceAddInterestNotification(port, first.seen[1], kIOGeneralInterest, &Messages::callback,
                                                 &messages, &interest),
            KERN_SUCCESS);
  sim.run([&] { sim.worldForReading().press(dev, 5, true); });
  ASSERT_TRUE(waitUntil([&] { loop.runPending(); return messages.got.size() == 1; }));
  EXPECT_EQ(messages.got[0].first, driver::kMessageButton);
  EXPECT_EQ(messages.got[0].second[0], 5);
  const uint64_t controlAgain[] = {again, driver::kControlRawReports, 1};
  EXPECT_EQ(kit.CallScalarOutMethod(again, 1, controlAgain, 3, &out, 1), kIOReturnSuccess);
  kit.IOObjectRelease(interest);
}

TEST(SimDriverWorld, ReEnumerationThroughTheUsbDeviceInterface) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  Simulator sim(bus);
  sim::AttachOptions unclaimed;
  unclaimed.unclaimed = true;
  sim.attach("dev5", unclaimed);
  simbus::SimLink link(bus.connect("helper"));
  simbus::SimDriverWorld world(link);
  IOKit kit(world);
  EXPECT_TRUE(world.services("VantrelService").empty());

  io_iterator_t it = 0;
  ASSERT_EQ(kit.IOServiceGetMatchingServices(kIOMasterPortDefault, IOServiceMatching("IOUSBHostDevice"), &it),
            KERN_SUCCESS);
  const io_service_t usb = kit.IOIteratorNext(it);
  ASSERT_NE(usb, 0u);
  std::unique_ptr<IOCFPlugInInterface> plugin;
  int32_t score = 0;
  ASSERT_EQ(kit.IOCreatePlugInInterfaceForService(usb, kIOUSBDeviceUserClientTypeID, kIOCFPlugInInterfaceID,
                                                  &plugin, &score),
            KERN_SUCCESS);
  std::unique_ptr<IOUSBDeviceInterface> device;
  ASSERT_EQ(plugin->QueryInterface(kIOUSBDeviceInterfaceID, &device), S_OK);
  uint16_t vendor = 0, product = 0;
  EXPECT_EQ(device->GetDeviceVendor(&vendor), kIOReturnSuccess);
  EXPECT_EQ(device->GetDeviceProduct(&product), kIOReturnSuccess);
  EXPECT_EQ(vendor, models::kVendorID);
  EXPECT_EQ(product, models::productOfDevice(5));
  EXPECT_EQ(device->ResetDevice(), kIOReturnNotOpen);
  EXPECT_EQ(device->USBDeviceOpen(), kIOReturnSuccess);
  EXPECT_EQ(device->ResetDevice(), kIOReturnSuccess);
  EXPECT_EQ(device->USBDeviceReEnumerate(0), kIOReturnSuccess);
  ASSERT_TRUE(waitUntil([&] { return world.services("VantrelService").size() == 1; }));
  kit.IOObjectRelease(usb);
  kit.IOObjectRelease(it);
}

TEST(SimBackends, SystemAndActionServicesFollowTheSimulatorWhileItIsThere) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  auto sim = std::make_unique<Simulator>(bus);
  simbus::SimLink link(bus.connect("helper"));

  sys::FakeConsoleSession fakeSession;
  fakeSession.setOnConsole(false);
  sys::FakeInputState fakeInput;
  fakeInput.modifiers = 0x0800;
  sys::FakeAccessibility fakeAX;
  sys::FakeDisplay fakeDisplay;
  sys::FakeBundleReader fakeBundles;
  simbus::SimSystemMirror mirror(link);
  simbus::SimConsoleSession session(mirror, fakeSession);
  simbus::SimInputState input(mirror, fakeInput);
  simbus::SimAccessibility ax(mirror, fakeAX);
  simbus::SimDisplay display(link, fakeDisplay);
  simbus::SimBundleCatalogue infos;
  sys::FakeWorkspace desktopWorkspace;
  simbus::SimWorkspace workspace(link, infos, desktopWorkspace);
  simbus::SimBundleReader bundles(infos, fakeBundles);

  // Session: the dictionary as the simulator describes it.
  auto d = session.CGSessionCopyCurrentDictionary();
  ASSERT_TRUE(d);
  EXPECT_TRUE(d->boolValue(sys::kCGSessionOnConsoleKey));
  auto onConsoleEntry = [&]() -> std::optional<bool> {
    const auto dict = session.CGSessionCopyCurrentDictionary();
    if (!dict || !dict->contains(sys::kCGSessionOnConsoleKey)) return std::nullopt;
    return dict->boolValue(sys::kCGSessionOnConsoleKey);
  };
  sim->run([&] { sim->worldForReading().setConsole({true, true, false}); });
  EXPECT_TRUE(waitUntil([&] { return onConsoleEntry() == false; }));
  sim->run([&] { sim->worldForReading().setConsole({true, false, false}); });
  EXPECT_TRUE(waitUntil([&] { return session.CGSessionCopyCurrentDictionary() && !onConsoleEntry(); }));
  sim->run([&] { sim->worldForReading().setConsole({false, false, false}); });
  EXPECT_TRUE(waitUntil([&] { return !session.CGSessionCopyCurrentDictionary(); }));

  sim->run([&] {
    sim->worldForReading().setKeyModifiers(0x0600);
    sim->worldForReading().setMouseButtons(1);
  });
  EXPECT_TRUE(waitUntil([&] { return input.GetCurrentButtonState() == 1u; }));
  EXPECT_EQ(input.GetCurrentKeyModifiers(), 0x0600u);

  // Accessibility: the chain down to the default button.
  sim::FocusedWindow w;
  w.depth = sim::FocusedWindow::Depth::DefaultButton;
  w.x = 100;
  w.y = 200;
  w.width = 80;
  w.height = 20;
  w.children = 4;
  sim->run([&] { sim->worldForReading().setFocusedWindow(w); });
  EXPECT_TRUE(waitUntil([&] { return mirror.state() && mirror.state()->children == 4; }));
  EXPECT_TRUE(ax.AXAPIEnabled());
  auto system = ax.AXUIElementCreateSystemWide();
  sys::AXValue app, window, button, pos, size, enabled, kids;
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(system, sys::kAXFocusedApplicationAttribute, &app), sys::kAXErrorSuccess);
  const auto appEl = std::get<sys::AXUIElementRef>(app);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(appEl, sys::kAXFocusedWindowAttribute, &window), sys::kAXErrorSuccess);
  const auto winEl = std::get<sys::AXUIElementRef>(window);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(winEl, sys::kAXDefaultButtonAttribute, &button), sys::kAXErrorSuccess);
  const auto btn = std::get<sys::AXUIElementRef>(button);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(btn, sys::kAXPositionAttribute, &pos), sys::kAXErrorSuccess);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(btn, sys::kAXSizeAttribute, &size), sys::kAXErrorSuccess);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(btn, sys::kAXEnabledAttribute, &enabled), sys::kAXErrorSuccess);
  EXPECT_EQ(std::get<sys::CGPoint>(pos), (sys::CGPoint{100, 200}));
  EXPECT_EQ(std::get<sys::CGSize>(size), (sys::CGSize{80, 20}));
  EXPECT_TRUE(std::get<bool>(enabled));
  long count = 0;
  EXPECT_EQ(ax.AXUIElementGetAttributeValueCount(winEl, sys::kAXChildrenAttribute, &count), sys::kAXErrorSuccess);
  EXPECT_EQ(count, 4);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(winEl, sys::kAXChildrenAttribute, &kids), sys::kAXErrorSuccess);
  EXPECT_EQ(std::get<std::vector<sys::AXUIElementRef>>(kids).size(), 4u);
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(btn, sys::kAXFocusedWindowAttribute, &kids),
            sys::kAXErrorAttributeUnsupported);
  // A child count no window has is given as a count, never turned into a list.
  w.children = 1LL << 40;
  sim->run([&] { sim->worldForReading().setFocusedWindow(w); });
  EXPECT_TRUE(waitUntil([&] { return mirror.state()->children == w.children; }));
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(system, sys::kAXFocusedApplicationAttribute, &app), sys::kAXErrorSuccess);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(std::get<sys::AXUIElementRef>(app), sys::kAXFocusedWindowAttribute,
                                             &window),
            sys::kAXErrorSuccess);
  const auto hugeEl = std::get<sys::AXUIElementRef>(window);
  EXPECT_EQ(ax.AXUIElementGetAttributeValueCount(hugeEl, sys::kAXChildrenAttribute, &count), sys::kAXErrorSuccess);
  EXPECT_EQ(count, 1LL << 40);
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(hugeEl, sys::kAXChildrenAttribute, &kids), sys::kAXErrorCannotComplete);
  w.children = 4;
  w.depth = sim::FocusedWindow::Depth::Window;
  sim->run([&] { sim->worldForReading().setFocusedWindow(w); });
  EXPECT_TRUE(waitUntil([&] { return mirror.state()->focusDepth == 2; }));
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(system, sys::kAXFocusedApplicationAttribute, &app), sys::kAXErrorSuccess);
  ASSERT_EQ(ax.AXUIElementCopyAttributeValue(std::get<sys::AXUIElementRef>(app), sys::kAXFocusedWindowAttribute,
                                             &window),
            sys::kAXErrorSuccess);
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(std::get<sys::AXUIElementRef>(window), sys::kAXDefaultButtonAttribute,
                                             &button),
            sys::kAXErrorNoValue);

  EXPECT_EQ(display.CGWarpMouseCursorPosition({140, 210}), sys::kCGErrorSuccess);
  EXPECT_TRUE(waitUntil([&] {
    return sim->run([&] { return sim->worldForReading().pointer(); }) == std::make_pair(140.0, 210.0);
  }));

  // Activations arrive with URLs, and the bundle reader knows their information dictionary.
  std::vector<sys::RunningApplication> activated;
  workspace.addActivationObserver([&](const sys::RunningApplication* a) { activated.push_back(*a); });
  sim->run([&] {
    // As the control object does it: an activated application is a running process.
    sim->worldForReading().addProcess({0, 0, FourCharCode("emal"), "Mail", "com.example.mail"});
    sim->worldForReading().activate({"com.example.mail", "Mail", "MailApp", "emal", "", "", true});
    sim->worldForReading().activate({"com.example.bare", "Bare", "bare", "", "/Opt/Bare.app", "", false});
  });
  // The desktop's own activations are not heard meanwhile.
  sys::RunningApplication onDesktop;
  onDesktop.bundleIdentifier = "org.example.Desktop";
  desktopWorkspace.activate(onDesktop);
  ASSERT_TRUE(waitUntil([&] { return activated.size() == 2; }));
  EXPECT_EQ(activated[0].bundleIdentifier, "com.example.mail");
  EXPECT_EQ(activated[0].bundleURL, "file:///Applications/Mail.app/");
  EXPECT_EQ(activated[0].executableURL, "file:///Applications/Mail.app/Contents/MacOS/MailApp");
  const auto info = bundles.infoDictionary(*activated[0].bundleURL);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->stringValue("CFBundleSignature"), "emal");
  EXPECT_EQ(info->stringValue("CFBundleExecutable"), "MailApp");
  EXPECT_EQ(activated[1].bundleURL, "file:///Opt/Bare.app/");
  EXPECT_FALSE(bundles.infoDictionary(*activated[1].bundleURL)) << "an application without dictionary";

  // Actions: processes, Apple events, scripts, workspace, pasteboard, menu.
  sys::FakeAppleEventServices fakeEvents;
  simbus::SimAppleEventServices events(link, fakeEvents);
  sys::ProcessSerialNumber psn{0, sys::kNoProcess};
  std::vector<uint32_t> signatures;
  while (events.getNextProcess(&psn) == sys::noErr) {
    uint32_t sig = 0;
    ASSERT_EQ(events.getProcessSignature(psn, &sig), sys::noErr);
    signatures.push_back(sig);
  }
  EXPECT_NE(std::find(signatures.begin(), signatures.end(), FourCharCode("MACS")), signatures.end());
  EXPECT_NE(std::find(signatures.begin(), signatures.end(), FourCharCode("emal")), signatures.end())
      << "an activated application runs";
  sys::AppleEvent shut;
  shut.target = sys::ProcessSerialNumber{0, sys::kSystemProcess};
  shut.eventClass = sys::kCoreEventClass;
  shut.eventID = FourCharCode("shut");
  shut.sendMode = 0x71;
  EXPECT_EQ(events.sendAppleEvent(shut), sys::noErr);
  EXPECT_EQ(events.openApplicationWithCreator(FourCharCode("hook")), sys::noErr);

  sys::QuietScriptRunner nullScripts;
  simbus::SimScriptRunner scripts(link, nullScripts);
  EXPECT_EQ(scripts.runAppleScript("beep"), 0);

  sys::FakePasteboard fakePasteboard;
  simbus::SimPasteboard pasteboard(link, fakePasteboard);
  const auto before = pasteboard.types();
  pasteboard.declareTypes({"text/plain"});
  EXPECT_TRUE(pasteboard.setString("snippet", "text/plain"));
  EXPECT_EQ(pasteboard.dataForType("text/plain"), (std::vector<uint8_t>{'s', 'n', 'i', 'p', 'p', 'e', 't'}));
  EXPECT_FALSE(pasteboard.setString("x", "text/html"));
  EXPECT_EQ(before, std::vector<std::string>{"text/plain"});

  std::vector<std::string> kinds;
  for (const auto& e : sim->run([&] { return sim->worldForReading().log(0); })) kinds.push_back(e.kind);
  for (const char* k : {"apple event", "launch", "script", "pasteboard", "warp"})
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), k), kinds.end()) << k;

  // Without the simulator every service hands over to its fallback.
  sim->leave();
  ASSERT_TRUE(waitUntil([&] { return !link.present(); }));
  EXPECT_FALSE(session.CGSessionCopyCurrentDictionary()->boolValue(sys::kCGSessionOnConsoleKey));
  EXPECT_EQ(input.GetCurrentKeyModifiers(), 0x0800u);
  EXPECT_FALSE(mirror.state());
  psn = sys::ProcessSerialNumber{0, sys::kNoProcess};
  EXPECT_EQ(events.getNextProcess(&psn), sys::procNotFound);
  EXPECT_TRUE(pasteboard.types().empty()) << "the fallback pasteboard, not the simulator's";
  desktopWorkspace.activate(onDesktop);
  ASSERT_EQ(activated.size(), 3u);
  EXPECT_EQ(activated[2].bundleIdentifier, "org.example.Desktop");
}

// Counts the button messages a client's driver world delivers, and what the mirror of the system
// state said when each arrived.
struct PressWatcher : iokit::DriverWorld::Observer {
  explicit PressWatcher(const simbus::SimSystemMirror& m) : mirror(m) {}
  void servicePublished(iokit::ServiceId, std::string_view) override {}
  void serviceTerminated(iokit::ServiceId, std::string_view) override {}
  void messagePosted(iokit::ServiceId, uint32_t type, const uint8_t*, size_t) override {
    if (type == driver::kMessageButton) modifiersSeen.push_back(mirror.state() ? mirror.state()->keyModifiers : ~0u);
  }
  const simbus::SimSystemMirror& mirror;
  std::vector<uint32_t> modifiersSeen;
};

TEST(SimSystemMirror, ReadsNeverWaitForTheSimulatorAndKeepStepWithItsPresses) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  auto sim = std::make_unique<Simulator>(bus);
  const auto dev = sim->attach("dev1");
  sim->run([&] { sim->worldForReading().setKeyModifiers(0x0100); });
  simbus::SimLink link(bus.connect("helper"));
  simbus::SimSystemMirror mirror(link);
  simbus::SimDriverWorld world(link, &mirror);
  ASSERT_TRUE(world.direct());
  PressWatcher presses(mirror);
  world.setObserver(&presses);
  // The state of the moment the mirror was made, without waiting for a change.
  ASSERT_TRUE(mirror.state());
  EXPECT_EQ(mirror.state()->keyModifiers, 0x0100u);

  // Each press is seen with the keys held when it was made: the state comes on the socket too,
  // ahead of the press.
  sim->run([&] {
    for (uint16_t held : {0x0200, 0x0800, 0x1000}) {
      sim->worldForReading().setKeyModifiers(held);
      sim->worldForReading().press(dev, 5, true);
    }
  });
  ASSERT_TRUE(waitUntil([&] { return presses.modifiersSeen.size() == 3; }));
  EXPECT_EQ(presses.modifiersSeen, (std::vector<uint32_t>{0x0200, 0x0800, 0x1000}));

  // A simulator that has stopped answering is not waited for: the services read what they last
  // heard, and a warp goes out without an answer.
  sys::FakeInputState fakeInput;
  sys::QuietAccessibility quietAX;
  sys::FakeDisplay fakeDisplay;
  simbus::SimInputState input(mirror, fakeInput);
  simbus::SimAccessibility ax(mirror, quietAX);
  simbus::SimDisplay display(link, fakeDisplay);
  sim->freeze();
  EXPECT_EQ(input.GetCurrentKeyModifiers(), 0x1000u);
  EXPECT_TRUE(ax.AXAPIEnabled());
  sys::AXValue app;
  EXPECT_EQ(ax.AXUIElementCopyAttributeValue(ax.AXUIElementCreateSystemWide(), sys::kAXFocusedApplicationAttribute, &app),
            sys::kAXErrorSuccess);
  EXPECT_EQ(display.CGWarpMouseCursorPosition({10, 20}), sys::kCGErrorSuccess);
  EXPECT_TRUE(fakeDisplay.warps.empty());
  sim->thaw();
  EXPECT_TRUE(waitUntil([&] {
    return sim->run([&] { return sim->worldForReading().pointer(); }) == std::make_pair(10.0, 20.0);
  }));

  // Gone, nothing is known; a new simulator's state is taken when it comes (answered later).
  sim->leave();
  ASSERT_TRUE(waitUntil([&] { return !link.present(); }));
  EXPECT_FALSE(mirror.state());
  EXPECT_EQ(input.GetCurrentKeyModifiers(), 0u) << "the fallback's";
  sim = std::make_unique<Simulator>(bus);
  sim->run([&] { sim->worldForReading().setAccessibility(false); });
  ASSERT_TRUE(waitUntil([&] { return mirror.state().has_value(); }));
  EXPECT_FALSE(mirror.state()->accessibility);
  EXPECT_EQ(mirror.state()->keyModifiers, 0u);
}

TEST(SimBackends, HidMonitorCountsTheMakersAttachedInterfaces) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  auto sim = std::make_unique<Simulator>(bus);
  sim->attach("dev1");
  sim->attach("mouse");  // another vendor: not matched
  simbus::SimLink link(bus.connect("pane"));
  simbus::SimHidMonitor hid(link);

  int usb = 0, ble = 0;
  auto count = [&](int step) {
    return [&, step](const simbus::SimHidMonitor::Device& d) {
      (d.transport == "Bluetooth Low Energy" ? ble : usb) += step;
    };
  };
  hid.start(models::kVendorID, count(+1), count(-1));
  EXPECT_EQ(usb, 1) << "present devices are reported at once";
  sim::AttachOptions ble1;
  ble1.ble = true;
  const auto dev7 = sim->attach("dev7", ble1);  // two interfaces
  ASSERT_TRUE(waitUntil([&] { return ble == 2; }));
  sim->run([&] { sim->worldForReading().detach(dev7); });
  ASSERT_TRUE(waitUntil([&] { return ble == 0; }));
  EXPECT_EQ(hid.devices().size(), 1u);

  // Re-enumeration is a removal and an arrival.
  sim::AttachOptions unclaimed;
  unclaimed.unclaimed = true;
  sim->attach("dev2", unclaimed);
  ASSERT_TRUE(waitUntil([&] { return usb == 2; }));

  // The simulator leaves: everything is removed. Stopped, nothing more is reported.
  sim->leave();
  ASSERT_TRUE(waitUntil([&] { return usb == 0; }));
  hid.stop();
  sim = std::make_unique<Simulator>(bus);
  sim->attach("dev1");
  testing_support::spin(std::chrono::milliseconds(50));
  EXPECT_EQ(usb, 0);
}
