#include <cstring>

#include "helper/tests/helper_fixture.h"

using namespace helpertest;

namespace {


sys::RunningApplication app(const std::string& id, const std::string& bundle,
                            const std::string& exe) {
  sys::RunningApplication a;
  a.bundleIdentifier = id;
  a.bundleURL = "file:///Applications/" + bundle + "/";
  a.executableURL = "file:///Applications/" + bundle + "/Contents/MacOS/" + exe;
  return a;
}

class FrontAppTest : public HelperTest {
 protected:
  // Dev1 has a general profile and one for Mail; every device has the profile for all.
  void SetUp() override {
    ProfileSpec dev1 = deviceSpec(model(1));
    dev1.speed = 400;
    ProfileSpec forMail = dev1;
    forMail.bundleID = "com.apple.mail";
    forMail.speed = 1000;
    forMail.jump = true;
    ProfileSpec any;
    any.speed = 200;
    profiles = {makeProfile(dev1), makeProfile(forMail), makeProfile(any)};
    writeSettings(profiles);
    pl::DictRef info = pl::makeDict();
    info->setString("CFBundleName", "Mail");
    info->setString("CFBundleExecutable", "Mail");
    info->setString("CFBundleSignature", "emal");
    fake.bundles.setInfo("file:///Applications/Mail.app/", info);
    pl::DictRef prefsInfo = pl::makeDict();
    prefsInfo->setString("CFBundleName", "System Preferences");
    prefsInfo->setString("CFBundleSignature", "sprf");
    fake.bundles.setInfo("file:///Applications/System Preferences.app/", prefsInfo);
    start();
    c1 = arrive(model(1).info);
    c2 = arrive(model(4).info);
    world.clearCalls();
  }

  std::vector<pl::DictRef> profiles;
  io_connect_t c1 = 0;
  io_connect_t c2 = 0;
  const sys::RunningApplication mail = app("com.apple.mail", "Mail.app", "Mail");
  const sys::RunningApplication prefs =
      app("com.apple.systempreferences", "System Preferences.app", "System Preferences");
};

TEST_F(FrontAppTest, ActivationRecordsTheApplicationAndSendsItsProfile) {
  fake.workspace.activate(mail);
  EXPECT_EQ(helper->frontApp().frontAppBundleID(), "com.apple.mail");
  EXPECT_EQ(helper->frontApp().frontAppBundleName(), "Mail");
  EXPECT_EQ(helper->frontApp().frontAppExecutable(), "Mail");
  EXPECT_EQ(helper->frontApp().frontAppSignature(), "emal");
  EXPECT_EQ(helper->frontApplication(), 0x656D616Cu);
  // Dev1 gets the Mail profile (with the general Dev1 one as global), Dev4 the one for all.
  ASSERT_EQ(settingsCalls(c1).size(), 1u);
  EXPECT_EQ(settingsCalls(c1)[0].structIn, recordOf(profiles[1], profiles[0]));
  EXPECT_EQ(settingsCalls(c2)[0].structIn, recordOf(nullptr, profiles[2]));
  EXPECT_TRUE(helper->snapToDefault().snapToDefaultActive());  // Mail's profile on the first device
  EXPECT_TRUE(controlCalls(driver::kControlRawReports).empty());

  // The same application again sends everything again.
  fake.workspace.activate(mail);
  EXPECT_EQ(settingsCalls(c1).size(), 2u);
  EXPECT_EQ(settingsCalls(c2).size(), 2u);

  // An application without information dictionary is named by its files.
  fake.workspace.activate(app("org.example.tool", "Tool Box.app", "toolbox"));
  EXPECT_EQ(helper->frontApp().frontAppBundleName(), "Tool Box");
  EXPECT_EQ(helper->frontApp().frontAppExecutable(), "toolbox");
  EXPECT_EQ(helper->frontApp().frontAppSignature(), "");
  EXPECT_EQ(helper->frontApplication(), 0u);
  EXPECT_EQ(settingsCalls(c1).back().structIn, recordOf(profiles[0], profiles[0]));
  EXPECT_FALSE(helper->snapToDefault().snapToDefaultActive());

  // Missing fields read as empty; a signature that is not four characters gives code 0.
  pl::DictRef odd = pl::makeDict();
  odd->setString("CFBundleSignature", "abc");
  odd->setInteger("CFBundleName", 5);  // not text
  fake.bundles.setInfo("file:///odd/", odd);
  sys::RunningApplication bare;
  bare.bundleURL = "file:///odd/";
  fake.workspace.activate(bare);
  EXPECT_EQ(helper->frontApp().frontAppBundleID(), "");
  EXPECT_EQ(helper->frontApp().frontAppBundleName(), "");
  EXPECT_EQ(helper->frontApp().frontAppSignature(), "abc");
  EXPECT_EQ(helper->frontApplication(), 0u);

  // A notification without an application changes nothing and sends nothing.
  world.clearCalls();
  fake.workspace.activateNothing();
  EXPECT_EQ(helper->frontApp().frontAppSignature(), "abc");
  EXPECT_TRUE(world.calls().empty());

  // With the session in the background an activation is recorded but sends nothing.
  fake.session.setOnConsole(false);
  fake.workspace.activate(mail);
  EXPECT_EQ(helper->frontApp().frontAppBundleID(), "com.apple.mail");
  EXPECT_TRUE(world.calls().empty());
}

TEST_F(FrontAppTest, TheSignatureCodeCountsCharactersNotBytes) {
  auto codeOf = [&](const std::string& signature) {
    pl::DictRef info = pl::makeDict();
    info->setString("CFBundleSignature", signature);
    fake.bundles.setInfo("file:///Applications/Odd.app/", info);
    fake.workspace.activate(app("org.example.odd", "Odd.app", "Odd"));
    EXPECT_EQ(helper->frontApp().frontAppSignature(), signature);
    return helper->frontApplication();
  };
  EXPECT_EQ(codeOf("sprf"), 0x73707266u);
  EXPECT_EQ(codeOf("\xC3\xA7" "ab"), 0u);          // three characters in four bytes
  EXPECT_EQ(codeOf("ab\xC3\xA7" "d"), 0x61628D64u);  // four characters, one in Mac OS Roman's upper half
  EXPECT_EQ(codeOf("ab\xD0\x96" "d"), 0u);          // a character Mac OS Roman does not have
  EXPECT_EQ(codeOf("ab?d"), 0x61623F64u);
  EXPECT_EQ(codeOf("abcde"), 0u);
  EXPECT_EQ(codeOf("ab\xC3" "d"), 0u);              // malformed text
}

TEST_F(FrontAppTest, RawReportsFollowSystemPreferencesAndThePanesRequest) {
  // Not requested: entering System Preferences says 0 once, leaving it 0 once.
  fake.workspace.activate(prefs);
  EXPECT_TRUE(helper->frontApp().prefPaneIsFront());
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports)), (std::vector<uint64_t>{0, 0}));
  fake.workspace.activate(prefs);
  EXPECT_EQ(controlCalls(driver::kControlRawReports).size(), 2u);  // no change, no request
  fake.workspace.activate(mail);
  EXPECT_FALSE(helper->frontApp().prefPaneIsFront());
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports)), (std::vector<uint64_t>{0, 0, 0, 0}));

  // Requested: 1 to every device on entering, 0 on leaving.
  helper->setSendRawReports(true);
  world.clearCalls();
  fake.workspace.activate(prefs);
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports)), (std::vector<uint64_t>{1, 1}));
  // A device arriving while System Preferences is in front is asked for reports at once.
  const io_connect_t c3 = arrive(model(6).info);
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports, c3)), std::vector<uint64_t>{1});
  world.clearCalls();
  fake.workspace.activate(mail);
  EXPECT_EQ(params(controlCalls(driver::kControlRawReports)), (std::vector<uint64_t>{0, 0, 0}));
}

TEST_F(FrontAppTest, SecurityAgentIsAnsweredButHoldsBackTheConsoleState) {
  fake.workspace.activate(app("com.apple.SecurityAgent", "SecurityAgent.app", "SecurityAgent"));
  EXPECT_EQ(helper->frontApp().frontAppExecutable(), "SecurityAgent");
  EXPECT_EQ(settingsCalls(c1).size(), 1u);

  fake.session.setOnConsole(false);
  helper->frontAppPeriodicTask();
  EXPECT_TRUE(helper->userActive());  // not taken while it is in front
  fake.workspace.activate(mail);
  helper->frontAppPeriodicTask();
  EXPECT_FALSE(helper->userActive());  // seen again on the next tick

  // Back on the console: the task runs once more at once.
  fake.session.setOnConsole(true);
  fake.input.modifierReads = 0;
  helper->frontAppPeriodicTask();
  EXPECT_TRUE(helper->userActive());
  EXPECT_EQ(fake.input.modifierReads, 2);

  EXPECT_TRUE(FrontAppTracker::appShouldBeIgnored("SecurityAgent"));
  EXPECT_FALSE(FrontAppTracker::appShouldBeIgnored("securityagent"));
}

TEST_F(FrontAppTest, ModifiersAreReportedWhenTheyChangeWithoutCapsLock) {
  fake.input.modifiers = 0x0200;  // shift
  helper->frontAppPeriodicTask();
  EXPECT_EQ(params(controlCalls(driver::kControlModifiers, c1)), std::vector<uint64_t>{0x0200});
  EXPECT_EQ(params(controlCalls(driver::kControlModifiers, c2)), std::vector<uint64_t>{0x0200});
  helper->frontAppPeriodicTask();  // unchanged: nothing
  EXPECT_EQ(controlCalls(driver::kControlModifiers).size(), 2u);
  fake.input.modifiers = 0x0400;  // caps lock alone counts as nothing held
  helper->frontAppPeriodicTask();
  EXPECT_EQ(params(controlCalls(driver::kControlModifiers, c1)), (std::vector<uint64_t>{0x0200, 0}));
  fake.input.modifiers = 0x1F00 | 0x00FF | 0x8000;
  helper->frontAppPeriodicTask();
  EXPECT_EQ(params(controlCalls(driver::kControlModifiers, c1)).back(), 0x1B00u);

  // A failed send still counts as reported.
  world.behaviour(world.serviceOf(c1))->controlStatus = static_cast<int32_t>(0xE00002D5);
  fake.input.modifiers = 0x0100;
  helper->frontAppPeriodicTask();
  EXPECT_EQ(helper->lastKeyModifiers(), 0x0100u);
  EXPECT_EQ(params(controlCalls(driver::kControlModifiers, c2)).back(), 0x1B00u);  // stopped at the first device
}

TEST_F(FrontAppTest, TheFirstDeviceAfterNoneMakesTheKeyboardActiveAndRebuildsTheTables) {
  // Devices were there from the start: the ticks do not rebuild anything.
  helper->frontAppPeriodicTask();
  EXPECT_TRUE(controlCalls(driver::kControlKeystroke).empty());
  // All devices go away, one comes back.
  for (ServiceId s : world.services(driver::kServiceClass)) world.terminateService(s);
  fake.runPending();
  helper->frontAppPeriodicTask();
  EXPECT_FALSE(helper->oneMousePresent());
  // Spoil the tables to see them rebuilt.
  const_cast<uint8_t*>(helper->keycodeTable())['a'] = 99;
  fake.sleeper.sleeps.clear();
  const io_connect_t back = arrive(model(2).info);
  helper->frontAppPeriodicTask();
  EXPECT_TRUE(helper->oneMousePresent());
  EXPECT_EQ(params(controlCalls(driver::kControlKeystroke, back)), std::vector<uint64_t>{0x0200FF00});
  EXPECT_EQ(fake.sleeper.sleeps.size(), 1u);
  EXPECT_EQ(helper->keycodeTable()['a'], 0);
  helper->frontAppPeriodicTask();
  EXPECT_EQ(controlCalls(driver::kControlKeystroke).size(), 1u);
}

TEST(AppNames, SuffixAppIsIgnoredOnlyInLowerCase) {
  auto cmp = [](const char* a, const char* b) {
    unsigned char pa[256];
    unsigned char pb[256];
    pa[0] = static_cast<unsigned char>(std::strlen(a));
    pb[0] = static_cast<unsigned char>(std::strlen(b));
    std::memcpy(pa + 1, a, pa[0]);
    std::memcpy(pb + 1, b, pb[0]);
    return FrontAppTracker::pStringCmpNoAppSuffix(pa, pb);
  };
  EXPECT_EQ(cmp("Safari.app", "SAFARI"), 0);
  EXPECT_EQ(cmp("Safari", "safari.app"), 0);
  EXPECT_NE(cmp("Safari.APP", "Safari"), 0);  // capital suffix stays
  EXPECT_EQ(cmp(".app", ""), 4);  // four characters: not shortened
  EXPECT_EQ(cmp(".app", ".APP"), 0);
  EXPECT_EQ(cmp("a.app", "A"), 0);
  EXPECT_EQ(cmp("abc", "abcd"), -1);
  EXPECT_EQ(cmp("b", "A"), 1);
  EXPECT_EQ(cmp("", ""), 0);
}

}  // namespace
