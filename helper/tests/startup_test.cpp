#include <QTimer>

#include "helper/tests/helper_fixture.h"
#include "platform/files.h"

using namespace helpertest;

namespace {

TEST_F(HelperTest, StartUpInstallsEverythingAndSendsTheExistingDevicesTheirSettings) {
  writeSettings({makeProfile(deviceSpec(model(1)))});
  const ServiceId s = publishDevice(model(1).info);
  start();
  EXPECT_EQ(gHelper, helper.get());
  EXPECT_FALSE(helper->terminated());
  EXPECT_TRUE(helper->userActive());
  EXPECT_TRUE(helper->oneMousePresent());
  ASSERT_NE(helper->periodicTimer(), nullptr);
  EXPECT_TRUE(helper->periodicTimer()->isActive());
  EXPECT_EQ(helper->periodicTimer()->interval(), 500);
  EXPECT_EQ(fake.workspace.observerCount(), 1u);
  ASSERT_NE(helper->driverLink().notificationPort(), nullptr);
  EXPECT_EQ(fake.runLoop.sourceCount(), 1u);
  EXPECT_EQ(fake.iokit.masterPortReferences(), 0);  // given back
  EXPECT_NE(helper->keycodeTable(), nullptr);
  EXPECT_EQ(helper->keycodeTable()['a'], 0);  // kVK_ANSI_A on the pinned layout
  // The existing device was served during start-up; the keyboard request at step 8 found no
  // device yet, so nothing waited.
  EXPECT_EQ(settingsCalls(connectionOf(s)).size(), 1u);
  EXPECT_TRUE(controlCalls(driver::kControlKeystroke).empty());
  EXPECT_TRUE(fake.sleeper.sleeps.empty());

  // Winding down drops the settings and nothing else.
  helper->applicationWillTerminate();
  EXPECT_EQ(helper->prefsDict(), nullptr);
  EXPECT_EQ(helper->driverLink().deviceList().size(), 1u);
}

TEST_F(HelperTest, ASecondInstanceEndsAtOnceWhateverTheLetterCase) {
  fake.processes.addProcess("Finder");
  fake.processes.addProcess("VantrelHelperX");  // a longer name is another program
  const auto other = fake.processes.addProcess("vantrelHELPER");
  publishDevice(model(1).info);
  makeHelper();
  int terminations = 0;
  helper->setTerminateHandler([&] { ++terminations; });

  sys::ProcessSerialNumber found;
  unsigned char name[] = "\x0DVantrelHelper";
  EXPECT_EQ(helper->findOtherNamedProcess(name, &found), sys::noErr);
  EXPECT_EQ(found, other);

  helper->awakeFromNib();
  EXPECT_TRUE(helper->terminated());
  EXPECT_EQ(terminations, 1);
  EXPECT_EQ(helper->periodicTimer(), nullptr);
  EXPECT_EQ(helper->driverLink().notificationPort(), nullptr);
  EXPECT_EQ(fake.workspace.observerCount(), 0u);
  EXPECT_EQ(world.openConnectionCount(), 0u);
}

TEST_F(HelperTest, OfHelpersStartedTogetherOneStaysAndTheClaimDecidesTheRest) {
  sys::ProcessSerialNumber self;  // this process, a VantrelHelper
  fake.processes.GetCurrentProcess(&self);
  const auto other = fake.processes.addProcess("VantrelHelper");
  makeHelper();
  unsigned char name[] = "\x0DVantrelHelper";
  // Both see each other in the list; only the one started first counts the other.
  fake.processes.setLaunchDate(self, 500);
  fake.processes.setLaunchDate(other, 501);
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), sys::procNotFound);
  fake.processes.setLaunchDate(other, 500);  // the same tick: the lower serial number came first
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), sys::procNotFound);
  fake.processes.setCurrent(other);
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), sys::noErr);
  fake.processes.setCurrent(self);
  fake.processes.setLaunchDate(other, 0);  // not known: it counts
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), sys::noErr);

  // Past the process list, the claim: lost, the helper ends before it starts anything.
  fake.processes.setLaunchDate(other, 501);
  int claims = 0;
  bool claimable = false;
  helper->setInstanceClaim([&] {
    ++claims;
    return claimable;
  });
  publishDevice(model(1).info);
  helper->awakeFromNib();
  EXPECT_EQ(claims, 1);
  EXPECT_TRUE(helper->terminated());
  EXPECT_EQ(helper->periodicTimer(), nullptr);
  EXPECT_EQ(world.openConnectionCount(), 0u);
  // Won, it starts.
  makeHelper();
  claimable = true;
  helper->setInstanceClaim([&] {
    ++claims;
    return claimable;
  });
  helper->awakeFromNib();
  EXPECT_EQ(claims, 2);
  EXPECT_FALSE(helper->terminated());
  EXPECT_EQ(world.openConnectionCount(), 1u);
  // A helper the process list shows first is not even asked for the claim.
  fake.processes.setLaunchDate(other, 499);
  makeHelper();
  helper->setInstanceClaim([&] { return ++claims, true; });
  helper->awakeFromNib();
  EXPECT_TRUE(helper->terminated());
  EXPECT_EQ(claims, 2);
}

TEST_F(HelperTest, ProcessWalkEndsOnTheFirstErrorOrAtTheEnd) {
  makeHelper();
  unsigned char name[] = "\x0DVantrelHelper";
  // Only this process carries the name: the walk runs to its end.
  fake.processes.addProcess("Dock");
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), sys::procNotFound);
  // An information error ends the walk before the process behind it is seen.
  const auto broken = fake.processes.addProcess("Broken");
  fake.processes.addProcess("VantrelHelper");
  fake.processes.failInformation(broken, -43);
  EXPECT_EQ(helper->findOtherNamedProcess(name, nullptr), -43);
}

TEST_F(HelperTest, SettingsComeWholeFromTheUserFileOrFromTheFactoryFile) {
  pl::Dictionary factory;
  factory.setInteger("version", 3);
  pl::ArrayRef factoryDevices = pl::makeArray();
  factoryDevices->append(makeProfile(deviceSpec(model(2))));
  factory.set("devices", factoryDevices);
  ASSERT_TRUE(pl::writeXmlFile(factory, factoryPath));
  makeHelper();

  // No user file: the factory settings.
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray()->size(), 1u);
  // Version 2 is ignored in favour of the factory settings.
  writeSettings({makeProfile(deviceSpec(model(1))), makeProfile(deviceSpec(model(3)))}, 2);
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray()->size(), 1u);
  // Version 3 is used whole.
  writeSettings({makeProfile(deviceSpec(model(1))), makeProfile(deviceSpec(model(3)))}, 3);
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray()->size(), 2u);
  EXPECT_NE(helper->snippetsArray(), nullptr);
  // ... even without "devices": no profile at all then.
  pl::Dictionary bare;
  bare.setInteger("version", 3);
  ASSERT_TRUE(pl::writeXmlFile(bare, settingsPath));
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray(), nullptr);
  EXPECT_EQ(helper->snippetsArray(), nullptr);
  // A file without "version" counts as version 0.
  pl::Dictionary unversioned;
  unversioned.set("devices", pl::makeArray());
  ASSERT_TRUE(pl::writeXmlFile(unversioned, settingsPath));
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray()->size(), 1u);
  // A file that is not a dictionary property list counts as missing.
  ASSERT_TRUE(files::writeAtomically(settingsPath, "<plist><array/></plist>"));
  EXPECT_TRUE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray()->size(), 1u);
  // Neither file: no settings, no profile, nothing sent.
  std::remove(factoryPath.c_str());
  EXPECT_FALSE(helper->readPrefs());
  EXPECT_EQ(helper->settingsArray(), nullptr);
}

TEST_F(HelperTest, UpdateReReadsTheFileAndSendsEveryDeviceItsSettings) {
  ProfileSpec slow = deviceSpec(model(5));
  slow.speed = 200;
  writeSettings({makeProfile(slow)});
  start();
  const io_connect_t c = arrive(model(5).info);
  ProfileSpec fast = slow;
  fast.speed = 2000;
  writeSettings({makeProfile(fast)});
  helper->updatePrefs();
  const auto sent = settingsCalls(c);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].structIn[1], 10);
  EXPECT_EQ(sent[1].structIn[1], 100);
}

TEST_F(HelperTest, NotificationSetUpFailuresLeaveTheHelperRunningWithoutDevices) {
  publishDevice(model(1).info);
  for (const char* call : {"IOMasterPort", "IONotificationPortCreate",
                           "IONotificationPortGetRunLoopSource", "IOServiceFirstMatch",
                           "IOServiceTerminate"}) {
    SCOPED_TRACE(call);
    fake.iokit.clearFailures();
    fake.iokit.setFailure(call, iokit::KERN_FAILURE);
    makeHelper();
    helper->awakeFromNib();
    EXPECT_FALSE(helper->terminated());
    EXPECT_EQ(fake.iokit.masterPortReferences(), 0);
    EXPECT_TRUE(helper->periodicTimer()->isActive());
    // A first-match registration that worked has served the existing device already.
    EXPECT_EQ(helper->driverLink().deviceList().size(), std::string(call) == "IOServiceTerminate" ? 1u : 0u);
  }
  fake.iokit.clearFailures();
  makeHelper();
  EXPECT_TRUE(helper->driverLink().installNotifications());
}

TEST(SessionCheck, MissingDictionaryOrEntryCountsAsOnConsole) {
  sys::FakeConsoleSession session;
  EXPECT_TRUE(IsSessionOnConsole(session));
  session.setOnConsole(false);
  EXPECT_FALSE(IsSessionOnConsole(session));
  session.setDictionary(nullptr);
  EXPECT_TRUE(IsSessionOnConsole(session));
  pl::DictRef other = pl::makeDict();
  other->setString("kCGSSessionUserNameKey", "someone");
  session.setDictionary(other);
  EXPECT_TRUE(IsSessionOnConsole(session));
  other->setInteger(sys::kCGSessionOnConsoleKey, 0);
  EXPECT_FALSE(IsSessionOnConsole(session));
}

}  // namespace
