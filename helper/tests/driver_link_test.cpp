#include <algorithm>

#include "helper/tests/helper_fixture.h"
#include "settings/models.h"

using namespace helpertest;
using iokit::kIOReturnBadArgument;
using iokit::kIOReturnNotFound;
using iokit::kIOReturnSuccess;

namespace {

constexpr int32_t kFailure = static_cast<int32_t>(0xE00002D5);  // any driver error

std::vector<uint8_t> le16s(std::initializer_list<uint16_t> values) {
  std::vector<uint8_t> out;
  for (uint16_t v : values) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  return out;
}

// Every model has its own profile (telling speeds apart), and there is one profile for all
// devices at the end.
std::vector<pl::DictRef> catalogueProfiles() {
  std::vector<pl::DictRef> profiles;
  for (const Model& m : allModels()) {
    ProfileSpec s = deviceSpec(m);
    s.speed = 200 + 100 * m.device;
    s.triggerTime = static_cast<uint16_t>(10 * m.device);
    profiles.push_back(makeProfile(s));
  }
  ProfileSpec any;
  any.speed = 1600;
  any.withParam = false;
  profiles.push_back(makeProfile(any));
  return profiles;
}

class ModelArrival : public HelperTest, public ::testing::WithParamInterface<Model> {};

TEST_P(ModelArrival, OpenRegisterAddAndSendTheModelsRecords) {
  const Model& m = GetParam();
  const auto profiles = catalogueProfiles();
  writeSettings(profiles);
  start();
  const ServiceId service = publishDevice(m.info);
  fake.runPending();
  const io_connect_t c = connectionOf(service);
  ASSERT_NE(c, 0u);
  EXPECT_EQ(world.connectionType(c), driver::kConnectType);

  // The device is listed with what its driver reported.
  ASSERT_EQ(helper->driverLink().deviceList().size(), 1u);
  EXPECT_EQ(helper->driverLink().deviceList().front().connection, c);
  EXPECT_EQ(helper->driverLink().deviceList().front().info, m.info);

  // Exactly four calls, in this order, with exactly these scalars and bytes.
  const auto cs = world.callsOn(c);
  ASSERT_EQ(cs.size(), 4u);
  EXPECT_EQ(cs[0].selector, 2u);
  EXPECT_EQ(cs[0].scalars, (std::vector<uint64_t>{c, driver::kDeviceInfoCode, 1}));  // version 1
  EXPECT_EQ(cs[0].structOutCapacity, 266u);

  const pl::DictRef own = profiles[static_cast<size_t>(m.device - 1)];
  const pl::DictRef any = profiles.back();
  EXPECT_EQ(cs[1].selector, 0u);
  EXPECT_EQ(cs[1].scalars, (std::vector<uint64_t>{c, driver::kSettingsCode, 48, 0}));
  ASSERT_EQ(cs[1].structIn.size(), 176u);
  EXPECT_EQ(cs[1].structIn, recordOf(own, any));
  EXPECT_EQ(cs[1].structIn[1], (200 + 100 * m.device) / 20);  // this model's own speed

  EXPECT_EQ(cs[2].selector, 0u);
  EXPECT_EQ(cs[2].scalars, (std::vector<uint64_t>{c, driver::kScrollCode, 1, 0}));
  EXPECT_EQ(cs[2].structIn, le16s({static_cast<uint16_t>(10 * m.device), 80, 1500, 95, 3}));

  EXPECT_EQ(cs[3].selector, 1u);
  EXPECT_EQ(cs[3].scalars, (std::vector<uint64_t>{c, driver::kControlRawReports, 0}));  // off
  EXPECT_EQ(cs[3].scalarOutCapacity, 1u);
}

TEST_P(ModelArrival, DevicesThatExistAtStartAreServedDuringStartUp) {
  const Model& m = GetParam();
  writeSettings(catalogueProfiles());
  const ServiceId service = publishDevice(m.info);
  start();  // no run-loop turn, no timer tick
  const io_connect_t c = connectionOf(service);
  ASSERT_NE(c, 0u);
  EXPECT_EQ(settingsCalls(c).size(), 1u);
  EXPECT_EQ(helper->driverLink().deviceList().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(AllModels, ModelArrival, ::testing::ValuesIn(allModels()), modelName);

TEST_F(HelperTest, Dev7UnderItsSecondProductIdGetsDev7sProfile) {
  const auto profiles = catalogueProfiles();
  writeSettings(profiles);
  start();
  DeviceInfo info = model(7).info;
  info.productID = models::kDev7SecondProductID;
  const io_connect_t c = arrive(info);
  ASSERT_EQ(settingsCalls(c).size(), 1u);
  EXPECT_EQ(settingsCalls(c)[0].structIn, recordOf(profiles[6], profiles.back()));
}

TEST_F(HelperTest, DeviceListKeepsOrderHoldsAHandleOnceAndFollowsTerminations) {
  writeSettings(catalogueProfiles());
  start();
  std::vector<ServiceId> services;
  std::vector<io_connect_t> cs;
  for (int d = 1; d <= 3; ++d) {
    services.push_back(publishDevice(model(d).info));
    fake.runPending();
    cs.push_back(connectionOf(services.back()));
  }
  auto handles = [&] {
    std::vector<uint32_t> out;
    for (const auto& r : helper->driverLink().deviceList()) out.push_back(r.connection);
    return out;
  };
  EXPECT_EQ(handles(), (std::vector<uint32_t>{cs[0], cs[1], cs[2]}));

  // The same handle again: one record, but the settings go out again.
  helper->driverLink().addDevice(cs[1]);
  EXPECT_EQ(handles(), (std::vector<uint32_t>{cs[0], cs[1], cs[2]}));
  EXPECT_EQ(settingsCalls(cs[1]).size(), 2u);

  // The middle device goes: its connection is closed and its record dropped.
  world.terminateService(services[1]);
  fake.runPending();
  EXPECT_EQ(handles(), (std::vector<uint32_t>{cs[0], cs[2]}));
  EXPECT_EQ(world.closedConnections(), std::vector<io_connect_t>{cs[1]});
  EXPECT_EQ(helper->driverLink().findDevice(cs[1]), nullptr);

  // A termination message for a handle the list does not hold changes nothing.
  helper->handleMessage(iokit::kIOMessageServiceIsTerminated, nullptr, 0, 0xBEEF);
  EXPECT_EQ(handles(), (std::vector<uint32_t>{cs[0], cs[2]}));
  EXPECT_EQ(world.closedConnections().size(), 1u);

  // No length limit.
  for (int i = 0; i < 40; ++i) arrive(model(1 + i % 7).info);
  EXPECT_EQ(helper->driverLink().deviceList().size(), 42u);
  // Every service reference taken from the iterators was given back, and so was the interest
  // notification of the device that went: left are the two matching notifications and one
  // interest notification, with its service, per device in the list.
  EXPECT_EQ(fake.iokit.liveObjectCount(), 2u + 2u * helper->driverLink().deviceList().size());
}

TEST_F(HelperTest, ServicesThatCannotBeOpenedOrRegisteredAreSkipped) {
  writeSettings(catalogueProfiles());
  start();
  InProcessDriverWorld::ServiceBehaviour refuses;
  refuses.openStatus = kFailure;
  const ServiceId closed = publishDevice(model(1).info, refuses);
  fake.runPending();
  EXPECT_TRUE(world.connectionsOf(closed).empty());
  EXPECT_TRUE(helper->driverLink().deviceList().empty());

  fake.iokit.setFailure("IOServiceAddInterestNotification", kFailure);
  const ServiceId deaf = publishDevice(model(2).info);
  fake.runPending();
  EXPECT_TRUE(helper->driverLink().deviceList().empty());
  EXPECT_TRUE(world.connectionsOf(deaf).empty());  // opened, then closed again
  EXPECT_EQ(world.closedConnections().size(), 1u);
  fake.iokit.clearFailures();

  // Later devices still arrive: the notification stayed armed.
  EXPECT_NE(arrive(model(3).info), 0u);
  EXPECT_EQ(helper->driverLink().deviceList().size(), 1u);
}

TEST_F(HelperTest, DeviceInformationFailureLeavesZerosAndOnlyGeneralProfilesMatch) {
  const auto profiles = catalogueProfiles();
  writeSettings(profiles);
  start();
  InProcessDriverWorld::ServiceBehaviour b;
  b.infoStatus = kFailure;
  const ServiceId s = publishDevice(model(1).info, b);
  fake.runPending();
  const io_connect_t c = connectionOf(s);
  ASSERT_EQ(helper->driverLink().deviceList().size(), 1u);
  EXPECT_EQ(helper->driverLink().deviceList().front().info, DeviceInfo());
  // The profile for every device is global but never "best": it is converted on its own, and
  // no scroll parameters go out.
  ASSERT_EQ(settingsCalls(c).size(), 1u);
  EXPECT_EQ(settingsCalls(c)[0].structIn, recordOf(nullptr, profiles.back()));
  EXPECT_TRUE(scrollCalls(c).empty());

  // A short answer fills the front of the record only.
  b.infoStatus = 0;
  const DeviceInfo::Bytes full = model(2).info.encode();
  b.infoBytes.assign(full.begin(), full.begin() + 6);
  world.publishService(driver::kServiceClass, b);
  fake.runPending();
  const DeviceInfo& partial = helper->driverLink().deviceList().back().info;
  EXPECT_EQ(partial.productID, model(2).info.productID);
  EXPECT_EQ(partial.productVers, 0);
  EXPECT_EQ(partial.productNameString(), "");
}

TEST_F(HelperTest, SettingsBroadcastServesEveryDeviceAndTakesJumpFromTheFirst) {
  ProfileSpec first = deviceSpec(model(1));
  first.jump = false;
  ProfileSpec second = deviceSpec(model(4));
  second.jump = true;
  second.withParam = false;
  writeSettings({makeProfile(first), makeProfile(second)});
  start();
  InProcessDriverWorld::ServiceBehaviour failing;
  const DeviceInfo::Bytes info1 = model(1).info.encode();
  failing.infoBytes.assign(info1.begin(), info1.end());
  failing.structInStatus = kFailure;
  const ServiceId s1 = world.publishService(driver::kServiceClass, failing);
  fake.runPending();
  const io_connect_t c1 = connectionOf(s1);
  const io_connect_t c4 = arrive(model(4).info);
  // The newly arrived device's profile switched snap-to-default on.
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());
  world.clearCalls();

  // The first device fails; the second is served all the same; the first error is the result.
  EXPECT_EQ(helper->sendPrefsToEveryVantrel(), kFailure);
  EXPECT_EQ(settingsCalls(c1).size(), 1u);
  EXPECT_EQ(scrollCalls(c1).size(), 1u);  // scroll parameters go out even after a failure
  EXPECT_EQ(settingsCalls(c4).size(), 1u);
  EXPECT_TRUE(scrollCalls(c4).empty());  // its profile has no "param"
  // "jump" follows the first device of the list.
  EXPECT_FALSE(helper->snapToDefault().snapToDefaultActive());

  // A session in the background gets nothing.
  world.clearCalls();
  fake.session.setOnConsole(false);
  EXPECT_EQ(helper->sendPrefsToEveryVantrel(), kIOReturnSuccess);
  EXPECT_TRUE(world.calls().empty());

  // Nothing to send when no profile applies, and when the profile does not convert.
  fake.session.setOnConsole(true);
  ProfileSpec old = deviceSpec(model(1));
  pl::DictRef oldProfile = makeProfile(old);
  oldProfile->setInteger("dict version", 2);
  writeSettings({oldProfile});
  helper->readPrefs();
  world.clearCalls();
  EXPECT_EQ(helper->sendPrefsToVantrel(c1, nullptr, false), kIOReturnNotFound);
  EXPECT_TRUE(settingsCalls().empty());
  EXPECT_EQ(scrollCalls(c1).size(), 1u);
  EXPECT_EQ(helper->sendPrefsToVantrel(c4, nullptr, false), kIOReturnNotFound);
  EXPECT_EQ(helper->sendPrefsToVantrel(0xDEAD, nullptr, false), kIOReturnNotFound);
}

TEST_F(HelperTest, ControlRequestsCarryExactScalarsAndStopAtTheFirstFailure) {
  writeSettings(catalogueProfiles());
  start();
  InProcessDriverWorld::ServiceBehaviour b;
  const DeviceInfo::Bytes info = model(1).info.encode();
  b.infoBytes.assign(info.begin(), info.end());
  b.controlOutput = 0x180000001ull;
  const ServiceId s1 = world.publishService(driver::kServiceClass, b);
  fake.runPending();
  const io_connect_t c1 = connectionOf(s1);
  const io_connect_t c2 = arrive(model(2).info);
  world.clearCalls();

  int32_t result = 0;
  EXPECT_EQ(helper->sendControlToVantrel(c1, driver::kControlModifiers, -1, &result), kIOReturnSuccess);
  ASSERT_EQ(world.calls().size(), 1u);
  EXPECT_EQ(world.calls()[0].scalars, (std::vector<uint64_t>{c1, driver::kControlModifiers, 0xFFFFFFFFull}));
  EXPECT_EQ(result, static_cast<int32_t>(0x80000001u));  // the low 32 bits of the output

  world.clearCalls();
  EXPECT_EQ(helper->sendControlToEveryVantrel(driver::kControlPopUp, 1, nullptr), kIOReturnSuccess);
  EXPECT_EQ(controlCalls(driver::kControlPopUp).size(), 2u);
  world.behaviour(s1)->controlStatus = kFailure;
  world.clearCalls();
  EXPECT_EQ(helper->sendControlToEveryVantrel(driver::kControlPopUp, 0, nullptr), kFailure);
  EXPECT_EQ(controlCalls(driver::kControlPopUp, c1).size(), 1u);
  EXPECT_TRUE(controlCalls(driver::kControlPopUp, c2).empty());

  // The keyboard request goes to the first device only, then the thread waits 15 ms.
  world.clearCalls();
  fake.sleeper.sleeps.clear();
  helper->driverLink().makeVantrelKeyboardActive();
  EXPECT_EQ(params(controlCalls(driver::kControlKeystroke)), std::vector<uint64_t>{0x0200FF00});
  EXPECT_EQ(controlCalls(driver::kControlKeystroke)[0].connection, c1);
  EXPECT_EQ(fake.sleeper.sleeps,
            std::vector<std::chrono::microseconds>{std::chrono::milliseconds(15)});
}

TEST_F(HelperTest, DeviceInformationRequestChecksItsArguments) {
  start();
  InProcessDriverWorld::ServiceBehaviour b;
  b.infoStatus = kFailure;
  b.infoBytes = std::vector<uint8_t>(100, 7);
  const ServiceId s = world.publishService(driver::kServiceClass, b);
  fake.runPending();
  const io_connect_t c = connectionOf(s);
  world.clearCalls();
  uint8_t buffer[266];
  uint32_t size = sizeof buffer;
  uint32_t zero = 0;
  EXPECT_EQ(helper->driverLink().getDeviceInfoFromVantrel(c, driver::kDeviceInfoCode, 1, nullptr, &size), kIOReturnBadArgument);
  EXPECT_EQ(helper->driverLink().getDeviceInfoFromVantrel(c, driver::kDeviceInfoCode, 1, buffer, nullptr), kIOReturnBadArgument);
  EXPECT_EQ(helper->driverLink().getDeviceInfoFromVantrel(c, driver::kDeviceInfoCode, 1, buffer, &zero), kIOReturnBadArgument);
  EXPECT_TRUE(world.calls().empty());
  // The delivered size comes back whatever the status.
  EXPECT_EQ(helper->driverLink().getDeviceInfoFromVantrel(c, driver::kDeviceInfoCode, 1, buffer, &size), kFailure);
  EXPECT_EQ(size, 100u);
}

TEST_F(HelperTest, ReEnumerationOnlyWhileTheDriverHoldsNoDevice) {
  using UsbDevice = InProcessDriverWorld::UsbDevice;
  using Req = InProcessDriverWorld::UsbRequest;
  auto requests = [&](ServiceId s) {
    std::vector<Req> out;
    for (const auto& e : world.usbEvents())
      if (e.service == s) out.push_back(e.request);
    return out;
  };
  const ServiceId ours = world.publishUsbDevice("IOUSBHostDevice", UsbDevice{models::kVendorID, models::kProductIDs[3]});
  const ServiceId unsupported = world.publishUsbDevice("IOUSBHostDevice", UsbDevice{models::kVendorID, 0x0001});
  const ServiceId foreign = world.publishUsbDevice("IOUSBHostDevice", UsbDevice{0x046D, models::kProductIDs[0]});
  UsbDevice stuck{models::kVendorID, models::kProductIDs[6]};
  stuck.resetStatus = kFailure;
  const ServiceId busy = world.publishUsbDevice("IOUSBHostDevice", stuck);
  const ServiceId legacy = world.publishUsbDevice("IOUSBDevice", UsbDevice{models::kVendorID, models::kProductIDs[0]});

  start();  // step 4 of start-up
  EXPECT_EQ(requests(ours), (std::vector<Req>{Req::Open, Req::Reset, Req::ReEnumerate}));
  EXPECT_TRUE(requests(unsupported).empty());
  EXPECT_TRUE(requests(foreign).empty());
  EXPECT_EQ(requests(busy), (std::vector<Req>{Req::Open, Req::Reset, Req::Close}));
  EXPECT_TRUE(requests(legacy).empty());  // host devices were found
  EXPECT_EQ(helper->driverLink().findService("IOUSBHostDevice", false), 4);

  // Only when there is no host device at all is the older class tried.
  for (ServiceId s : {ours, unsupported, foreign, busy}) world.terminateService(s);
  world.clearUsbEvents();
  helper->driverLink().reenumerateUnloadedDevices();
  EXPECT_EQ(requests(legacy), (std::vector<Req>{Req::Open, Req::Reset, Req::ReEnumerate}));

  // One captured device stops re-enumeration for all others.
  world.clearUsbEvents();
  arrive(model(1).info);
  helper->driverLink().reenumerateUnloadedDevices();
  EXPECT_TRUE(world.usbEvents().empty());
}

struct RecordingActions : ButtonActions {
  struct Press {
    uint32_t connection;
    uint16_t button;
  };
  std::vector<Press> presses;
  int starts = 0;
  size_t openAtStart = 0;
  bool tablesAtStart = false;
  bool snippetsAtStart = false;
  iokit::InProcessDriverWorld* world = nullptr;
  void start(ActionHost& host) override {
    ++starts;
    openAtStart = world->openConnectionCount();
    tablesAtStart = host.keycodeTable() != nullptr && host.modifiersTable() != nullptr;
    snippetsAtStart = host.snippetsArray() != nullptr;
  }
  void buttonPressed(ActionHost&, uint32_t connection, uint16_t button) override {
    presses.push_back(Press{connection, button});
  }
};

struct RecordingChannel : PaneChannel {
  int observing = 0;
  size_t devicesAtStart = 0;
  std::vector<pl::DictRef> messages;
  void startObserving(VantrelHelper& h) override {
    ++observing;
    devicesAtStart = h.driverLink().deviceList().size();
  }
  void sendMessage(const pl::Dictionary& message) override {
    messages.push_back(pl::asDict(pl::deepCopy(&message)));
  }
};

TEST_F(HelperTest, ButtonEventsAndStateReportsReachTheirReceivers) {
  writeSettings(catalogueProfiles());
  RecordingActions actions;
  actions.world = &world;
  RecordingChannel channel;
  publishDevice(model(1).info);
  makeHelper();
  helper->setButtonActions(&actions);
  helper->setPaneChannel(&channel);
  helper->awakeFromNib();
  // Actions start once the settings and tables are there, before any device is opened; the
  // pane is observed at the very end.
  EXPECT_EQ(actions.starts, 1);
  EXPECT_EQ(actions.openAtStart, 0u);
  EXPECT_TRUE(actions.tablesAtStart);
  EXPECT_TRUE(actions.snippetsAtStart);
  EXPECT_EQ(channel.observing, 1);
  EXPECT_EQ(channel.devicesAtStart, 1u);

  const ServiceId s = world.services(driver::kServiceClass).front();
  const io_connect_t c = connectionOf(s);
  world.postMessage(s, driver::kMessageButton, std::vector<uint8_t>{0x11, 0x00});
  world.postMessage(s, driver::kMessageButton);  // no argument: ignored
  fake.runPending();
  ASSERT_EQ(actions.presses.size(), 1u);
  EXPECT_EQ(actions.presses[0].connection, c);
  EXPECT_EQ(actions.presses[0].button, 0x11);  // range checks are the actions' own
  fake.session.setOnConsole(false);
  world.postMessage(s, driver::kMessageButton, std::vector<uint8_t>{1, 0});
  fake.runPending();
  EXPECT_EQ(actions.presses.size(), 1u);
  fake.session.setOnConsole(true);

  // State reports reach the pane only while System Preferences is frontmost.
  std::vector<uint8_t> report(16);
  for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<uint8_t>(i + 1);
  world.postMessage(s, driver::kMessageState, report);
  fake.runPending();
  EXPECT_TRUE(channel.messages.empty());
  sys::RunningApplication prefs{"com.apple.systempreferences", "file:///Applications/System Preferences.app/", std::nullopt};
  pl::DictRef info = pl::makeDict();
  info->setString("CFBundleSignature", "sprf");
  fake.bundles.setInfo(*prefs.bundleURL, info);
  fake.workspace.activate(prefs);
  world.postMessage(s, driver::kMessageState, report);
  fake.runPending();
  ASSERT_EQ(channel.messages.size(), 1u);
  pl::DataRef data = channel.messages[0]->getData("report");
  ASSERT_TRUE(data);
  EXPECT_EQ(data->bytes(), report);
  EXPECT_EQ(channel.messages[0]->size(), 1u);
}

TEST_F(HelperTest, DeviceListPayloadAndRawReportCommand) {
  writeSettings(catalogueProfiles());
  start();
  auto payload = helper->deviceListPayload();
  EXPECT_EQ(payload.size(), 4260u);
  EXPECT_EQ(getU16(payload.data()), 0);
  EXPECT_EQ(getU16(payload.data() + 2), 1);  // accessibility is available
  fake.accessibility.enabled = false;
  EXPECT_EQ(getU16(helper->deviceListPayload().data() + 2), 0);

  std::vector<DeviceInfo> infos;
  for (int i = 0; i < 17; ++i) {
    DeviceInfo info = model(1 + i % 7).info;
    info.interfaceNum = static_cast<uint16_t>(i);
    infos.push_back(info);
    arrive(info);
  }
  payload = helper->deviceListPayload();
  EXPECT_EQ(getU16(payload.data()), 16);
  for (size_t i = 0; i < 16; ++i)
    EXPECT_EQ(DeviceInfo::decode(payload.data() + 4 + i * 266, 266), infos[i]) << i;

  // "front" while System Preferences is not frontmost stores the flag and says 0.
  world.clearCalls();
  helper->setSendRawReports(true);
  EXPECT_TRUE(helper->sendRawReports());
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports)), std::vector<uint64_t>(17, 0));
}

}  // namespace

namespace {

TEST_F(HelperTest, BroadcastChoosesTheProfilesOfEachDeviceOwnModelAndRelease) {
  const auto profiles = catalogueProfiles();
  writeSettings(profiles);
  start();
  std::vector<io_connect_t> cs;
  for (int d : {2, 3, 2, 7, 3}) cs.push_back(arrive(model(d).info));
  world.clearCalls();
  helper->sendPrefsToEveryVantrel();
  const int devices[] = {2, 3, 2, 7, 3};
  for (size_t i = 0; i < cs.size(); ++i) {
    const auto sent = settingsCalls(cs[i]);
    ASSERT_EQ(sent.size(), 1u) << i;
    EXPECT_EQ(sent[0].structIn, recordOf(profiles[static_cast<size_t>(devices[i] - 1)], profiles.back())) << i;
  }
}

}  // namespace
