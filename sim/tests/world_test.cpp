#include "sim/world.h"

#include <gtest/gtest.h>

#include "settings/models.h"
#include "sim/describe.h"
#include "sim/testing/device_catalogue.h"

using namespace sim;

namespace {

class ManualScheduler final : public Scheduler {
 public:
  void after(std::chrono::milliseconds, std::function<void()> work) override { tasks.push_back(std::move(work)); }
  void runAll() {
    auto t = std::move(tasks);
    tasks.clear();
    for (auto& w : t) w();
  }
  std::vector<std::function<void()>> tasks;
};

struct Recorder final : World::Observer {
  std::vector<std::string> events;
  std::vector<uint64_t> seqs;
  void servicePublished(uint64_t seq, ServiceId s, const std::string& c) override {
    seqs.push_back(seq);
    events.push_back("+" + c + ":" + std::to_string(s));
  }
  void serviceTerminated(uint64_t seq, ServiceId s, const std::string& c) override {
    seqs.push_back(seq);
    events.push_back("-" + c + ":" + std::to_string(s));
  }
  void messagePosted(uint64_t seq, ServiceId s, uint32_t type, const std::vector<uint8_t>& arg) override {
    seqs.push_back(seq);
    events.push_back(FourCharCodeString(type) + ":" + std::to_string(s) + ":" + hex(arg.data(), arg.size()));
  }
  void applicationActivated(const Application& a) override { events.push_back("app:" + a.bundleID); }
  void hidDeviceChanged(bool added, const HidDevice& h) override {
    events.push_back(std::string(added ? "hid+" : "hid-") + h.transport);
  }
};

Catalogue catalogue() {
  std::string error;
  auto c = Catalogue::load(Catalogue::defaultPath(), &error);
  EXPECT_TRUE(c) << error;
  return c ? *c : Catalogue{};
}

struct Fixture {
  ManualScheduler scheduler;
  World world{catalogue(), scheduler};
  Recorder rec;
  Fixture() { world.setObserver(&rec); }

  ServiceId vantrelService(uint64_t device, size_t iface = 0) {
    return world.device(device)->interfaces.at(iface).service;
  }
  uint32_t openFirst(uint64_t device) {
    uint32_t c = 0;
    EXPECT_EQ(world.open(vantrelService(device), driver::kConnectType, ":1.5", &c), iokit::kIOReturnSuccess);
    return c;
  }
  std::vector<LogEntry> entries(const std::string& kind) {
    std::vector<LogEntry> out;
    for (auto& e : world.log(0))
      if (e.kind == kind) out.push_back(e);
    return out;
  }
};

}  // namespace

TEST(SimCatalogue, ShipsTheSevenModelsAsTheSettingsModelKnowsThem) {
  const auto c = catalogue();
  for (int dev = 1; dev <= 7; ++dev) {
    const auto* d = c.find("dev" + std::to_string(dev));
    ASSERT_TRUE(d) << dev;
    EXPECT_EQ(d->device, dev);
    EXPECT_EQ(d->vendorID, models::kVendorID);
    EXPECT_EQ(d->productID, models::productOfDevice(dev));
    EXPECT_EQ(models::deviceOfProduct(d->productID, d->release), dev) << "release picks the model";
    EXPECT_EQ(d->productName, models::modelName(d->entry));
    const auto buttons = models::buttonsOfDevice(dev);
    EXPECT_EQ(d->buttons, std::vector<int>(buttons.begin(), buttons.end()));
  }
  EXPECT_EQ(c.find("dev7b")->productID, models::kDev7SecondProductID);
  EXPECT_NE(c.find("mouse")->vendorID, models::kVendorID);

  // Bad catalogues are refused with a reason, never half-read.
  std::string error;
  auto d = pl::makeDict();
  EXPECT_FALSE(Catalogue::fromDictionary(*d, &error));
  auto list = pl::makeArray();
  auto entry = pl::makeDict();
  entry->setString("key", "x");
  entry->setInteger("vendor id", 70000);
  list->append(entry);
  d->set("devices", list);
  EXPECT_FALSE(Catalogue::fromDictionary(*d, &error));
  EXPECT_NE(error.find("vendor id"), std::string::npos);
  entry->setInteger("vendor id", 1);
  entry->setInteger("product id", 2);
  entry->setInteger("release", 3);
  EXPECT_FALSE(Catalogue::fromDictionary(*d, &error)) << "no transport";
  auto transports = pl::makeArray();
  transports->append(pl::makeString("usb"));
  entry->set("transports", transports);
  ASSERT_TRUE(Catalogue::fromDictionary(*d, &error)) << error;
  list->append(pl::deepCopy(entry));
  EXPECT_FALSE(Catalogue::fromDictionary(*d, &error)) << "repeated key";
}

TEST(SimWorld, DevicesAreCapturedAsTheDriverWould) {
  Fixture f;
  std::string error;
  const auto usb = f.world.attach("dev1", {}, &error);
  ASSERT_NE(usb, 0u) << error;
  EXPECT_TRUE(f.world.device(usb)->captured());
  EXPECT_EQ(f.rec.events, (std::vector<std::string>{
                              "+IOUSBHostDevice:" + std::to_string(f.world.device(usb)->usbService), "hid+USB",
                              "+VantrelService:" + std::to_string(f.vantrelService(usb))}));

  AttachOptions ble;
  ble.ble = true;
  const auto dev7 = f.world.attach("dev7", ble, &error);
  ASSERT_NE(dev7, 0u);
  EXPECT_EQ(f.world.device(dev7)->usbService, 0u) << "Bluetooth LE has no USB device";
  EXPECT_EQ(f.world.device(dev7)->interfaces.size(), 2u);
  EXPECT_NE(f.vantrelService(dev7, 1), 0u);

  AttachOptions unclaimed;
  unclaimed.unclaimed = true;
  const auto waiting = f.world.attach("dev2", unclaimed, &error);
  EXPECT_FALSE(f.world.device(waiting)->captured());
  const auto mouse = f.world.attach("mouse", {}, &error);
  EXPECT_FALSE(f.world.device(mouse)->captured()) << "another maker's device";
  const auto proto = f.world.attach("unknown", {}, &error);
  EXPECT_FALSE(f.world.device(proto)->captured()) << "a product outside the driver's table";

  EXPECT_EQ(f.world.attach("nope", {}, &error), 0u);
  EXPECT_NE(error.find("nope"), std::string::npos);
  EXPECT_EQ(f.world.attach("dev1", ble, &error), 0u) << "dev1 has no Bluetooth LE";

  size_t vantrel = 0, usbDevices = 0;
  for (const auto& [id, cls] : f.world.services()) {
    vantrel += cls == driver::kServiceClass;
    usbDevices += cls == driver::kUSBHostDeviceClass;
  }
  EXPECT_EQ(vantrel, 3u);     // dev1, and dev7's two interfaces
  EXPECT_EQ(usbDevices, 4u);  // dev1, dev2, mouse, prototype
  const auto hid = f.world.hidDevices();
  EXPECT_EQ(hid.size(), 6u);
  EXPECT_EQ(std::count_if(hid.begin(), hid.end(), [](const HidDevice& h) { return h.transport == sys::kIOHIDTransportBluetoothLowEnergyValue; }), 2);

  // Registry events carry increasing sequence numbers; detaching ends every service.
  EXPECT_TRUE(std::is_sorted(f.rec.seqs.begin(), f.rec.seqs.end()));
  EXPECT_EQ(f.rec.seqs.back(), f.world.registrySeq());
  EXPECT_TRUE(f.world.detach(dev7));
  EXPECT_FALSE(f.world.detach(dev7));
  f.world.detachAll();
  EXPECT_TRUE(f.world.services().empty());
  EXPECT_TRUE(f.world.hidDevices().empty());
}

TEST(SimWorld, AnswersTheThreeSelectorsAndKeepsWhatItReceived) {
  Fixture f;
  const auto dev = f.world.attach("dev1", {}, nullptr);
  uint32_t c = 0;
  EXPECT_EQ(f.world.open(f.vantrelService(dev), 0x12345678, ":1.5", &c), iokit::kIOReturnBadArgument) << "wrong type";
  EXPECT_EQ(f.world.open(999, driver::kConnectType, ":1.5", &c), iokit::kIOReturnNoDevice);
  c = f.openFirst(dev);

  SettingsRecord record{};
  record[0] = 1;
  record[1] = 20;   // 400 dpi
  record[2] = 150;  // 1.50
  record[7] = 2;
  putU16(&record[16 + 10 * 1], 10);      // Button 2: keystroke
  putU16(&record[16 + 10 * 1 + 2], 0x0100);
  putU16(&record[16 + 10 * 1 + 4], 8);   // key 8 (C on a U.S. layout)
  putU16(&record[16 + 10 * 8], 52);      // Chord 1: copy, by the helper
  const std::vector<uint8_t> bytes(record.begin(), record.end());
  std::vector<uint64_t> out;
  std::vector<uint8_t> outStruct;
  EXPECT_EQ(f.world.call(c, 0, {c, driver::kSettingsCode, 48, 0}, bytes, 0, 0, &out, &outStruct), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.call(c, 0, {c, driver::kSettingsCode, 48, 0}, std::vector<uint8_t>(175), 0, 0, &out, &outStruct),
            iokit::kIOReturnBadArgument);
  EXPECT_EQ(f.world.call(c, 0, {c + 1, driver::kSettingsCode, 48, 0}, bytes, 0, 0, &out, &outStruct), iokit::kIOReturnBadArgument)
      << "the first scalar names the connection";
  EXPECT_EQ(f.world.call(c, 0, {c, driver::kScrollCode, 1, 0}, std::vector<uint8_t>{1, 0, 2, 0, 3, 0, 4, 0, 5, 0}, 0, 0,
                         &out, &outStruct),
            iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.call(c, 0, {c, FourCharCode("XXXX"), 1, 0}, {}, 0, 0, &out, &outStruct), iokit::kIOReturnUnsupported);
  const auto& drv = f.world.device(dev)->interfaces[0].driver;
  ASSERT_TRUE(drv.settings);
  EXPECT_EQ(*drv.settings, record);
  EXPECT_EQ(drv.settingsReceived, 1u);
  ASSERT_TRUE(drv.scroll);
  EXPECT_EQ((*drv.scroll)[8], 5);

  const auto settings = f.entries("settings");
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_NE(settings[0].text.find("speed 400 dpi"), std::string::npos) << settings[0].text;
  EXPECT_NE(settings[0].text.find("acceleration 1.50"), std::string::npos);
  EXPECT_NE(settings[0].text.find("Button 2 Keystroke Command"), std::string::npos) << settings[0].text;
  EXPECT_NE(settings[0].text.find("Chord 1 Copy (by the helper)"), std::string::npos);
  EXPECT_EQ(settings[0].fields->stringValue("raw"), hex(record.data(), record.size()));
  EXPECT_NE(f.entries("scroll").at(0).text.find("countStop 5"), std::string::npos);

  // Controls: one scalar out, and what they mean is logged in words.
  EXPECT_EQ(f.world.call(c, 1, {c, driver::kControlKeystroke, 0x01000900}, {}, 1, 0, &out, &outStruct), iokit::kIOReturnSuccess);
  EXPECT_EQ(out, std::vector<uint64_t>{0});
  EXPECT_EQ(f.world.call(c, 1, {c, driver::kControlRawReports, 1}, {}, 1, 0, &out, &outStruct), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.call(c, 1, {c, driver::kControlKeystroke, 0}, {}, 0, 0, &out, &outStruct), iokit::kIOReturnBadArgument);
  EXPECT_EQ(f.world.call(c, 1, {c, FourCharCode("VNzz"), 0}, {}, 1, 0, &out, &outStruct), iokit::kIOReturnUnsupported);
  EXPECT_TRUE(f.world.device(dev)->interfaces[0].driver.reports);
  const auto controls = f.entries("control");
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_NE(controls[0].text.find("types Command"), std::string::npos) << controls[0].text;
  EXPECT_EQ(controls[0].fields->integerValue("key"), 9);
  EXPECT_EQ(controls[1].text, "state reports on");

  // Device information, cut to the caller's capacity.
  EXPECT_EQ(f.world.call(c, 2, {c, driver::kDeviceInfoCode, 1}, {}, 0, 266, &out, &outStruct), iokit::kIOReturnSuccess);
  ASSERT_EQ(outStruct.size(), 266u);
  const auto info = DeviceInfo::decode(outStruct.data(), outStruct.size());
  EXPECT_EQ(info.productID, models::productOfDevice(1));
  EXPECT_EQ(info.transport, driver::kTransportUSB);
  EXPECT_EQ(info.productNameString(), "Vantrel Orbit Pro");
  EXPECT_EQ(f.world.call(c, 2, {c, driver::kDeviceInfoCode, 1}, {}, 0, 6, &out, &outStruct), iokit::kIOReturnSuccess);
  EXPECT_EQ(outStruct.size(), 6u);
  EXPECT_EQ(f.world.call(c, 2, {c, driver::kDeviceInfoCode, 2}, {}, 0, 266, &out, &outStruct), iokit::kIOReturnUnsupported);
  EXPECT_EQ(f.world.call(c, 7, {c}, {}, 0, 0, &out, &outStruct), iokit::kIOReturnBadArgument);

  // Once the device is gone its connection fails; once closed the connection does not exist.
  f.world.detach(dev);
  EXPECT_EQ(f.world.call(c, 1, {c, driver::kControlRawReports, 0}, {}, 1, 0, &out, &outStruct), iokit::kIOReturnNoDevice);
  EXPECT_EQ(f.world.close(c), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.call(c, 1, {c, driver::kControlRawReports, 0}, {}, 1, 0, &out, &outStruct), iokit::MACH_SEND_INVALID_DEST);
  EXPECT_EQ(f.world.close(c), iokit::MACH_SEND_INVALID_DEST);
}

TEST(SimWorld, PressesAndReportsFollowTheDriversRules) {
  Fixture f;
  const auto dev = f.world.attach("dev1", {}, nullptr);
  const uint32_t c = f.openFirst(dev);
  const auto service = f.vantrelService(dev);

  // Without settings every press goes to the helper, argument the button number.
  f.rec.events.clear();
  EXPECT_TRUE(f.world.press(dev, 8, false).posted);
  EXPECT_EQ(f.rec.events.back(), "VNDa:" + std::to_string(service) + ":0800");

  SettingsRecord record{};
  putU16(&record[16 + 10 * 0], 1);   // Button 1: click, the driver's own
  putU16(&record[16 + 10 * 8], 52);  // Chord 1: copy, the helper's
  std::vector<uint64_t> out;
  std::vector<uint8_t> outStruct;
  ASSERT_EQ(f.world.call(c, 0, {c, driver::kSettingsCode, 48, 0}, std::vector<uint8_t>(record.begin(), record.end()), 0,
                         0, &out, &outStruct),
            iokit::kIOReturnSuccess);
  f.rec.events.clear();
  const auto click = f.world.press(dev, 0, false);
  EXPECT_TRUE(click.ok);
  EXPECT_FALSE(click.posted);
  EXPECT_NE(click.text.find("the driver performs \"Primary click\""), std::string::npos);
  EXPECT_TRUE(f.world.press(dev, 8, false).posted);
  EXPECT_TRUE(f.world.press(dev, 0, true).posted) << "raw presses always reach the helper";
  EXPECT_EQ(f.rec.events.size(), 2u);

  // Reports only while asked for, unless forced.
  std::array<uint8_t, driver::kStateReportSize> report{};
  report[15] = 0xAB;
  std::string why;
  EXPECT_FALSE(f.world.report(dev, report, false, &why));
  EXPECT_NE(why.find("asked"), std::string::npos);
  EXPECT_TRUE(f.world.report(dev, report, true, &why));
  ASSERT_EQ(f.world.call(c, 1, {c, driver::kControlRawReports, 1}, {}, 1, 0, &out, &outStruct), iokit::kIOReturnSuccess);
  EXPECT_TRUE(f.world.report(dev, report, false, &why));
  EXPECT_EQ(f.rec.events.back(), "VNDs:" + std::to_string(service) + ":000000000000000000000000000000ab");

  AttachOptions unclaimed;
  unclaimed.unclaimed = true;
  const auto waiting = f.world.attach("dev2", unclaimed, nullptr);
  EXPECT_FALSE(f.world.press(waiting, 0, true).ok);
  EXPECT_FALSE(f.world.press(4242, 0, true).ok);
}

TEST(SimWorld, ReEnumerationBringsAnUnclaimedDeviceBackCaptured) {
  Fixture f;
  AttachOptions unclaimed;
  unclaimed.unclaimed = true;
  const auto dev = f.world.attach("dev2", unclaimed, nullptr);
  const auto usb = f.world.device(dev)->usbService;
  const auto captured = f.world.attach("dev1", {}, nullptr);
  const auto capturedUsb = f.world.device(captured)->usbService;

  uint16_t vendor = 0, product = 0;
  EXPECT_EQ(f.world.usbIdentity(usb, &vendor, &product), iokit::kIOReturnSuccess);
  EXPECT_EQ(vendor, models::kVendorID);
  EXPECT_EQ(product, models::productOfDevice(2));
  EXPECT_EQ(f.world.usbIdentity(f.vantrelService(captured), &vendor, &product), iokit::kIOReturnNoDevice)
      << "a driver service is no USB device";
  EXPECT_EQ(f.world.usbOpen(capturedUsb, ":1.5"), iokit::kIOReturnExclusiveAccess) << "the driver holds it";

  EXPECT_EQ(f.world.usbReset(usb, ":1.5"), iokit::kIOReturnNotOpen);
  EXPECT_EQ(f.world.usbReEnumerate(usb, 0, ":1.5"), iokit::kIOReturnNotOpen);
  EXPECT_EQ(f.world.usbOpen(usb, ":1.5"), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.usbOpen(usb, ":1.9"), iokit::kIOReturnExclusiveAccess) << "one client at a time";
  EXPECT_EQ(f.world.usbReset(usb, ":1.5"), iokit::kIOReturnSuccess);
  f.rec.events.clear();
  EXPECT_EQ(f.world.usbReEnumerate(usb, 0, ":1.5"), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.rec.events, (std::vector<std::string>{"-IOUSBHostDevice:" + std::to_string(usb), "hid-USB"}));
  EXPECT_FALSE(f.world.device(dev)->present);
  EXPECT_FALSE(f.world.press(dev, 0, true).ok);

  f.scheduler.runAll();  // the device comes back
  const Device* back = f.world.device(dev);
  EXPECT_TRUE(back->present);
  EXPECT_TRUE(back->captured());
  EXPECT_NE(back->usbService, usb) << "new services after re-enumeration";
  EXPECT_EQ(f.rec.events.back(), "+VantrelService:" + std::to_string(back->interfaces[0].service));

  // A client that leaves gives back what it had open.
  AttachOptions again;
  again.unclaimed = true;
  const auto other = f.world.attach("dev4", again, nullptr);
  const auto otherUsb = f.world.device(other)->usbService;
  EXPECT_EQ(f.world.usbOpen(otherUsb, ":1.7"), iokit::kIOReturnSuccess);
  uint32_t conn = 0;
  ASSERT_EQ(f.world.open(f.vantrelService(captured), driver::kConnectType, ":1.7", &conn), iokit::kIOReturnSuccess);
  EXPECT_EQ(f.world.openConnections(), 1u);
  f.world.clientGone(":1.7");
  EXPECT_EQ(f.world.openConnections(), 0u);
  EXPECT_EQ(f.world.usbOpen(otherUsb, ":1.8"), iokit::kIOReturnSuccess);
}

TEST(SimWorld, OperatingSystemRequestsAreRecordedNeverCarriedOut) {
  Fixture f;
  SentAppleEvent sleep{FourCharCode("psn "), 0, 1, FourCharCode("aevt"), FourCharCode("slep"), -1, 0, 0x71, -1};
  EXPECT_EQ(f.world.sendAppleEvent(sleep), 0);
  const auto ae = f.entries("apple event");
  ASSERT_EQ(ae.size(), 1u);
  EXPECT_NE(ae[0].text.find("(sleep) sent to the system"), std::string::npos) << ae[0].text;
  EXPECT_EQ(ae[0].fields->integerValue("send mode"), 0x71);
  SentAppleEvent nowhere = sleep;
  nowhere.psnLow = 0x7777;
  EXPECT_EQ(f.world.sendAppleEvent(nowhere), sys::procNotFound);

  // The media application starts some time after it is asked to.
  EXPECT_EQ(f.world.openApplicationWithCreator(FourCharCode("zzzz")), sys::kLSApplicationNotFoundErr);
  EXPECT_EQ(f.world.openApplicationWithCreator(FourCharCode("hook")), 0);
  auto running = [&] {
    for (const auto& p : f.world.processes())
      if (p.signature == FourCharCode("hook")) return true;
    return false;
  };
  EXPECT_FALSE(running());
  f.scheduler.runAll();
  EXPECT_TRUE(running());
  EXPECT_TRUE(f.world.removeProcess(FourCharCode("hook")));
  EXPECT_FALSE(f.world.removeProcess(FourCharCode("hook")));

  // The pasteboard: declared types without data are present and empty; undeclared refused.
  f.world.pasteboardDeclare({"text/plain", "image/png"});
  EXPECT_TRUE(f.world.pasteboardSetData({'h', 'i'}, "text/plain"));
  EXPECT_FALSE(f.world.pasteboardSetData({'x'}, "text/html"));
  EXPECT_EQ(f.world.pasteboardTypes(), (std::vector<std::string>{"text/plain", "image/png"}));
  EXPECT_EQ(f.world.pasteboardData("text/plain"), (std::vector<uint8_t>{'h', 'i'}));
  EXPECT_FALSE(f.world.pasteboardData("image/png"));

  // The snippets menu: the prepared choice is used once.
  f.world.setMenuChoice(3);
  EXPECT_EQ(f.world.popUpSnippetsMenu({"A", "B"}), 3);
  EXPECT_FALSE(f.world.popUpSnippetsMenu({"A", "B"}));

  f.world.activate({"com.example.editor", "Editor", "editor", "EDIT", "", "", true});
  EXPECT_EQ(f.rec.events.back(), "app:com.example.editor");
  EXPECT_EQ(f.world.frontApplication()->signature, "EDIT");
  EXPECT_EQ(f.world.warpPointer(10, 20), 0);
  EXPECT_EQ(f.world.pointer(), std::make_pair(10.0, 20.0));

  // The log can be read from any point on.
  const auto all = f.world.log(0);
  ASSERT_GT(all.size(), 3u);
  EXPECT_EQ(f.world.log(all[all.size() - 3].seq).size(), 2u);
  EXPECT_TRUE(f.world.log(f.world.lastLogSeq()).empty());
}

TEST(SimWorld, WorkForLaterDiesWithTheWorld) {
  ManualScheduler scheduler;
  {
    World world(catalogue(), scheduler);
    sim::AttachOptions unclaimed;
    unclaimed.unclaimed = true;
    const auto dev = world.attach("dev2", unclaimed, nullptr);
    const auto usb = world.device(dev)->usbService;
    ASSERT_EQ(world.usbOpen(usb, ":1.5"), iokit::kIOReturnSuccess);
    ASSERT_EQ(world.usbReEnumerate(usb, 0, ":1.5"), iokit::kIOReturnSuccess);
    ASSERT_EQ(world.openApplicationWithCreator(FourCharCode("hook")), 0);
    EXPECT_EQ(scheduler.tasks.size(), 2u);
  }
  scheduler.runAll();  // the device's return and the application's start find no world: nothing
}

namespace {

// What the driver answers for the device information of a connection.
DeviceInfo deviceInfoOf(World& world, uint32_t c) {
  std::vector<uint64_t> out;
  std::vector<uint8_t> bytes;
  EXPECT_EQ(world.call(c, driver::kSelectorInfo, {c, driver::kDeviceInfoCode, driver::kDeviceInfoVersion}, {}, 0,
                       DeviceInfo::kSize, &out, &bytes),
            iokit::kIOReturnSuccess);
  return DeviceInfo::decode(bytes.data(), bytes.size());
}

class BluetoothModel : public ::testing::TestWithParam<testdevices::Model> {};

// A model that has Bluetooth LE is captured over it, and says so to the helper and the pane.
TEST_P(BluetoothModel, IsCapturedOverBluetoothLE) {
  Fixture f;
  std::string error;
  AttachOptions ble;
  ble.ble = true;
  const uint64_t dev = f.world.attach(GetParam().key, ble, &error);
  ASSERT_NE(dev, 0u) << error;
  ASSERT_TRUE(f.world.device(dev)->captured());
  const DeviceInfo info = deviceInfoOf(f.world, f.openFirst(dev));
  EXPECT_EQ(info.transport, driver::kTransportBLE);
  EXPECT_EQ(info.productID, GetParam().info.productID);
  const auto hid = f.world.hidDevices();
  ASSERT_FALSE(hid.empty());
  EXPECT_EQ(hid.front().transport, sys::kIOHIDTransportBluetoothLowEnergyValue);
}
INSTANTIATE_TEST_SUITE_P(WithBluetoothLE, BluetoothModel,
                         ::testing::ValuesIn(testdevices::modelsWith(testdevices::kBluetoothLE)),
                         testdevices::modelName);

class ChordAndRingModel : public ::testing::TestWithParam<testdevices::Model> {};

// Chord 1 goes to the helper or stays with the driver as the settings record says; the scroll
// ring's slot is named as the ring in the log.
TEST_P(ChordAndRingModel, PressesFollowTheRecord) {
  const testdevices::Model& m = GetParam();
  Fixture f;
  std::string error;
  const uint64_t dev = f.world.attach(m.key, {}, &error);
  ASSERT_NE(dev, 0u) << error;
  const uint32_t c = f.openFirst(dev);
  auto send = [&](uint16_t chordCommand) {
    SettingsRecord record{};
    putU16(&record[16 + 10 * 8], chordCommand);
    putU16(&record[16 + 10 * 12], 20);
    putU16(&record[16 + 10 * 12 + 4], 3);
    std::vector<uint64_t> out;
    std::vector<uint8_t> outStruct;
    ASSERT_EQ(f.world.call(c, driver::kSelectorStructIn, {c, driver::kSettingsCode, driver::kSettingsScalar, 0},
                           std::vector<uint8_t>(record.begin(), record.end()), 0, 0, &out, &outStruct),
              iokit::kIOReturnSuccess);
  };
  send(52);  // copy: the helper's
  EXPECT_TRUE(f.world.press(dev, 8, false).posted);
  send(2);  // secondary click: the driver's
  const auto press = f.world.press(dev, 8, false);
  EXPECT_FALSE(press.posted);
  EXPECT_NE(press.text.find("\"Secondary click\""), std::string::npos) << press.text;
  const auto settings = f.entries("settings");
  ASSERT_FALSE(settings.empty());
  const bool ring = m.has(testdevices::kScrollRing);
  EXPECT_EQ(settings.back().text.find("scroll ring Scroll x3") != std::string::npos, ring) << settings.back().text;
}
INSTANTIATE_TEST_SUITE_P(WithChords, ChordAndRingModel,
                         ::testing::ValuesIn(testdevices::modelsWith(testdevices::kChords)),
                         testdevices::modelName);

}  // namespace
