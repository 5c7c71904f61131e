// The panel on fake services: wake, selection, the helper's messages, the device pages, the
// choice of profile, the controls and the sheets.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>

#include "pane/key_capture.h"
#include "pane/tests/pane_harness.h"
#include "platform/notification_center.h"
#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"

namespace {

using panetest::listedDevice;
using panetest::PaneHarness;

const uint16_t kDev1 = models::productOfDevice(1);
const uint16_t kEntry2 = models::productOfDevice(2);
const uint16_t kDev4 = models::productOfDevice(4);
const uint16_t kDev5 = models::productOfDevice(5);
const uint16_t kDev7 = models::productOfDevice(7);

// The global profile of Dev1..Dev7.
pl::DictRef profileOf(const pl::ArrayRef& profiles, int device) {
  const auto range = models::releaseRangeOfDevice(device);
  for (size_t i = 0; i < profiles->size(); ++i) {
    const pl::DictRef p = profiles->dictAt(i);
    const pl::DictRef t = p->getDict("target device");
    if (VTLSettingsAreGlobal(p) && t->integerValue("device product id") == models::productOfDevice(device) &&
        t->integerValue("device version min") == range.min && t->integerValue("device version max") == range.max) {
      return p;
    }
  }
  return nullptr;
}

pl::DictRef appProfile(const pl::DictRef& global, const std::string& name, const std::string& bundleID) {
  pl::DictRef p = pl::deepCopyDict(global);
  p->setString("settings name", name);
  const pl::DictRef app = pl::makeDict();
  app->setString("app bundle id", bundleID);
  app->setString("app bundle name", name);
  app->setString("app executable", name);
  app->setString("app signature", "");
  p->set("target app", app);
  return p;
}

pl::DictRef savedOptions(const PaneHarness& h) {
  const pl::DictRef saved = h.savedSettings();
  const pl::DictRef c = h.controller().fCurSettingsDict;
  const int index = h.controller().fCurSettingsIndex;
  if (!saved || !c) return nullptr;
  return saved->getArray("devices")->dictAt(static_cast<size_t>(index))->getDict("options");
}

// Ends the next sheet with `code` once it shows; counts the sheets.
void answerNextSheet(VantrelController& c, int code, int* shown) {
  QTimer::singleShot(0, &c, [&c, code, shown] {
    if (!c.modalDialogRunning()) return;
    if (shown) ++*shown;
    code == 1 ? c.actModalButtonOK(nullptr) : c.actModalButtonCancel(nullptr);
  });
}

int rootIdentifier(const VantrelController& c, int index) {
  return c.outMainTabsRoot->widget(index)->property("identifier").toInt();
}

std::vector<int> rootIdentifiers(const VantrelController& c) {
  std::vector<int> ids;
  for (int i = 0; i < c.outMainTabsRoot->count(); ++i) ids.push_back(rootIdentifier(c, i));
  return ids;
}

// ---- wake and the settings file -------------------------------------------------------------

TEST(PaneWake, WithoutUserFileTakesTheFactorySettingsWritesThemAndAsksForOneEnumerate) {
  PaneHarness h;
  h.open();
  VantrelController& c = h.controller();
  ASSERT_TRUE(c.fSettingsArray);
  EXPECT_EQ(c.fSettingsArray->size(), h.factorySettings()->getArray("devices")->size());
  ASSERT_TRUE(h.savedSettings());
  EXPECT_EQ(h.countCommands("update"), 1u);
  // HID counts are not known yet: the warning branch, so the profile controls start disabled,
  // and the first evaluation asks the helper once to look for devices.
  EXPECT_EQ(c.fCurDeviceTab, VantrelController::kDeviceTabWarning);
  EXPECT_FALSE(c.outMainPopupProfile->isEnabled());
  EXPECT_EQ(h.countCommands("enumerate"), 1u);
  EXPECT_EQ(c.outBtnTabsDevices->currentIndex(), 0);
  EXPECT_EQ(c.usbDeviceCount, VantrelController::kCountUnknown);
}

TEST(PaneWake, AnUnusableOrHugeSettingsFileIsKeptAsideAndTheFactorySettingsUsed) {
  for (const bool huge : {false, true}) {
    PaneHarness h;
    std::string text = huge ? std::string(kMaxSettingsFileBytes + 1, ' ') : std::string("<plist>not really");
    h.writeSettingsText(text);
    h.open();
    EXPECT_GT(h.controller().fSettingsArray->size(), 0u);
    const std::string backup = h.world.settingsPath + ".bak";
    ASSERT_TRUE(std::filesystem::exists(backup)) << huge;
    EXPECT_EQ(std::filesystem::file_size(backup), text.size());
    EXPECT_TRUE(h.savedSettings());
  }
}

TEST(PaneWake, TheAdvancedScrollButtonExistsOnlyWithParamUI) {
  for (const bool paramUI : {false, true}) {
    PaneHarness h;
    pl::DictRef prefs = h.factorySettings();
    prefs->setBool("paramUI", paramUI);
    h.writeSettings(*prefs);
    h.open();
    EXPECT_EQ(h.controller().outScrollButtonAdvanced != nullptr, paramUI);
    EXPECT_EQ(h.window()->findChild<QPushButton*>("outScrollButtonAdvanced") != nullptr, paramUI);
  }
}

TEST(PaneWake, EveryPopUpCarriesItsOutletNameButtonNumberAndAccessibleName) {
  PaneHarness h;
  h.open();
  const VantrelController& c = h.controller();
  int total = 0;
  for (int device = 0; device < 7; ++device) {
    const auto expected = models::menuButtonsOfDevice(device + 1);
    ASSERT_EQ(c.buttonMenuCount(device), static_cast<int>(expected.size()));
    for (int i = 0; i < c.buttonMenuCount(device); ++i, ++total) {
      QComboBox* menu = c.buttonMenu(device, i);
      ASSERT_NE(menu, nullptr);
      EXPECT_EQ(c.buttonIndex(device, i), expected[static_cast<size_t>(i)]);
      EXPECT_EQ(menu->property("tag").toInt(), expected[static_cast<size_t>(i)]);
      EXPECT_TRUE(menu->objectName().startsWith(QStringLiteral("outBtnMenuDev%1").arg(device + 1)));
      EXPECT_FALSE(menu->accessibleName().isEmpty());
    }
  }
  EXPECT_EQ(total, 31);
  EXPECT_EQ(c.buttonMenu(3, 2)->objectName(), "outBtnMenuDev4Chord1");
  EXPECT_EQ(c.buttonMenu(3, 2)->accessibleName(), "Chord 1");
}

// ---- selection ------------------------------------------------------------------------------

TEST(PaneSelection, PollsWhileSelectedAndLeavesNothingRunningAfterUnselect) {
  PaneHarness h;
  h.open();
  h.clearPosted();
  auto& center = sys::NotificationCenter::defaultCenter();
  for (int round = 0; round < 2; ++round) {
    h.select();
    EXPECT_TRUE(VantrelKeystrokeCaptureInstalled());
    EXPECT_EQ(center.observerCount(sys::kNSWindowDidBecomeKeyNotification, h.pane.get()), 1u);
    EXPECT_EQ(center.observerCount(sys::kNSApplicationDidResignActiveNotification, h.pane.get()), 1u);
    EXPECT_TRUE(h.controller().deviceCheckTimerRunning());
    EXPECT_EQ(h.world.hid.openCount(), 1u);
    h.world.clock.advance(3.0);
    h.unselect();
    EXPECT_FALSE(VantrelKeystrokeCaptureInstalled());
    EXPECT_EQ(center.observerCount(sys::kNSWindowDidBecomeKeyNotification, h.pane.get()), 0u);
    EXPECT_EQ(h.world.clock.liveTimers(), 0u);
    EXPECT_EQ(h.world.hid.openCount(), 0u);
    h.world.clock.advance(3.0);
  }
  const std::vector<std::string> expected = {"front true", "list", "list", "list", "update", "front false"};
  std::vector<std::string> twice = expected;
  twice.insert(twice.end(), expected.begin(), expected.end());
  EXPECT_EQ(h.commands(), twice);
}

TEST(PaneSelection, ResigningActiveSavesThePanel) {
  PaneHarness h;
  h.open();
  h.select();
  h.connect({kDev1});
  VantrelController& c = h.controller();
  // A change the panel has not stored yet (no signal: as if the slider's action were pending).
  {
    QSignalBlocker block(c.outPointerSliderSpeed);
    c.outPointerSliderSpeed->setValue(20);
  }
  h.clearPosted();
  sys::NotificationCenter::defaultCenter().post(sys::kNSApplicationDidResignActiveNotification);
  EXPECT_FALSE(h.pane->panelIsFront());
  EXPECT_EQ(savedOptions(h)->integerValue("speed"), 1000);
  EXPECT_EQ(h.commands(), std::vector<std::string>{"update"});
}

TEST(PaneSelection, HIDArrivalAsksForAListAndCountsEachTransport) {
  PaneHarness h;
  h.open();
  h.select();
  h.clearPosted();
  h.attach(kDev1);
  h.attach(kDev5, true);
  h.world.hid.attach(models::kVendorID, 0x0B99);  // not a supported product
  h.settle();
  EXPECT_EQ(h.controller().usbDeviceCount, 1);
  EXPECT_EQ(h.controller().bleDeviceCount, 1);
  EXPECT_EQ(h.countCommands("list"), 2u);
}

// ---- the pane shell -------------------------------------------------------------------------

TEST(PaneShell, LaunchesTheHelperOnlyWhenNoProcessOfItsNameRuns) {
  for (const char* running : {"", "vantrelHELPER", "VantrelHelperX"}) {
    PaneHarness h;
    h.world.processes.addProcess("vantrel-settings");
    if (*running) h.world.processes.addProcess(running);
    const int stale = h.world.loginItems.add("VantrelHelper", "/opt/old/VantrelHelper.app");
    h.open();
    const bool launched = !h.world.workspace.calls.empty();
    EXPECT_EQ(launched, std::string(running) != "vantrelHELPER") << running;
    if (launched) {
      EXPECT_EQ(h.world.workspace.calls[0].argument, h.pane->helperPath());
    }
    // One login item, for the helper inside this bundle.
    EXPECT_EQ(h.world.loginItems.removed, std::vector<int>{stale});
    EXPECT_EQ(h.world.loginItems.inserted, std::vector<std::string>{h.pane->helperPath()});
  }
}

TEST(PaneShell, StringsVersionLabelAndCapturedKeystrokes) {
  PaneHarness h;
  h.open();
  EXPECT_EQ(vtlLocString("NO_SUCH_KEY_ANYWHERE"), "NO_SUCH_KEY_ANYWHERE");
  EXPECT_EQ(vtlLocString("ALL_APPLICATIONS"), "All Applications");
  h.select();
  EXPECT_EQ(h.controller().outHelpLabelVersion->text(), QString("Version ") + h.bundle->infoString("CFBundleVersion").c_str());
  h.unselect();
  h.select();  // a second select leaves the label alone
  EXPECT_FALSE(h.controller().outHelpLabelVersion->text().contains('#'));
}

// ---- the helper's messages ------------------------------------------------------------------

TEST(PaneMessages, ListsOfTheWrongSizeAndUndecodableMessagesChangeNothing) {
  PaneHarness h;
  h.open();
  h.select();
  h.connect({kDev1});
  VantrelController& c = h.controller();
  const QString text = c.outHelpTextDevices->text();
  for (size_t size : {size_t{4259}, size_t{4261}, size_t{0}}) {
    h.world.notifications.deliver(protocol::kMessageName, panetest::listMessageOfSize(size));
  }
  h.world.notifications.deliver(protocol::kMessageName, std::string("<plist><dict><key>list"));
  h.world.notifications.deliver(protocol::kMessageName, std::nullopt);
  const pl::DictRef report = pl::makeDict();
  report->set("report", pl::makeData(std::vector<uint8_t>(16, 7)));
  h.world.notifications.deliver(protocol::kMessageName, *protocol::encodeDictionary(*report));
  EXPECT_EQ(c.fDeviceList.count, 1);
  EXPECT_EQ(c.outHelpTextDevices->text(), text);
  EXPECT_EQ(c.fCurDeviceTab, 3);
}

TEST(PaneMessages, AListClaimingMoreDevicesThanItHoldsIsReadToItsEnd) {
  PaneHarness h;
  h.open();
  h.select();
  protocol::DeviceList list;
  list.count = 500;
  for (auto& d : list.devices) d = listedDevice(kDev1);
  h.world.notifications.deliver(protocol::kMessageName,
                                *protocol::encodeDictionary(*protocol::makeListMessage(protocol::encodeDeviceList(list))));
  EXPECT_EQ(h.controller().fCurDeviceTab, VantrelController::kDeviceTabWarning);
  EXPECT_EQ(h.controller().outHelpTextDevices->text().count('\n'), 15);
}

// ---- device pages ---------------------------------------------------------------------------

TEST(PaneDevices, OneDeviceShowsItsPageOneLineAndNoChooser) {
  PaneHarness h;
  h.open();
  h.select();
  h.attach(kDev1);
  h.settle();
  h.deliverList({listedDevice(kDev1, 0x0203)});
  VantrelController& c = h.controller();
  EXPECT_EQ(c.outBtnTabsDevices->currentIndex(), 3);
  EXPECT_EQ(c.outHelpTextDevices->text(), "Vantrel Orbit Pro Rev. 2.03");
  EXPECT_EQ(c.outMainTabsDeviceIcons->currentIndex(), 0);
  EXPECT_TRUE(c.outMainPopupProfile->isEnabled());
  EXPECT_TRUE(c.vtlDeviceConnected());
  EXPECT_EQ(rootIdentifiers(c), (std::vector<int>{1, 2, 3, 4}));
}

TEST(PaneDevices, TwoModelsEnableTheChooserAndAClickSwitchesPageAndProfileMenu) {
  PaneHarness h;
  h.open();
  h.select();
  h.connect({kDev1, kDev5});
  VantrelController& c = h.controller();
  EXPECT_EQ(c.outMainTabsDeviceIcons->currentIndex(), 1);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(c.outMainMatrixDevices.cell(k)->isEnabled(), k == 0 || k == 3) << k;
  EXPECT_EQ(c.fCurDeviceTab, 3);
  c.outMainMatrixDevices.cell(3)->click();
  EXPECT_EQ(c.fCurDeviceTab, 7);
  EXPECT_EQ(c.outBtnTabsDevices->currentIndex(), 7);
  const pl::DictRef shown = c.outMainPopupProfile->currentData(kItemRepresentedObjectRole).value<pl::DictRef>();
  EXPECT_EQ(shown, c.fCurSettingsDict);
  EXPECT_EQ(shown->getDict("target device")->integerValue("device product id"), kDev5);
}

TEST(PaneDevices, TheSecondProductIdOfDev7AndItsSecondInterfaceGiveOneDev7Line) {
  PaneHarness h;
  h.open();
  h.select();
  h.attach(models::kDev7SecondProductID);
  h.attach(kDev7);
  h.settle();
  h.deliverList({listedDevice(models::kDev7SecondProductID, 0x0101, 0), listedDevice(kDev7, 0x0101, 1)});
  VantrelController& c = h.controller();
  EXPECT_EQ(c.fCurDeviceTab, 9);
  EXPECT_EQ(c.outHelpTextDevices->text(), "Vantrel Expedition Rev. 1.01");
  EXPECT_EQ(c.fDeviceList.devices[0].productID, kDev7);
}

TEST(PaneDevices, TheReleaseOfAnEntry2ProfileChoosesBetweenDev2AndDev3) {
  for (auto [release, page, menus] : {std::tuple{0x0106, 5, 4}, std::tuple{0x0107, 4, 6}}) {
    PaneHarness h;
    h.open();
    h.select();
    h.attach(kEntry2);
    h.settle();
    h.deliverList({listedDevice(kEntry2, static_cast<uint16_t>(release))});
    EXPECT_EQ(h.controller().fCurDeviceTab, page);
    EXPECT_EQ(h.controller().buttonMenuCount(page - 3), menus);
  }
}

TEST(PaneDevices, DisagreeingSourcesShowTheWarningWithTheRightTexts) {
  {
    PaneHarness h;
    h.open();
    h.select();
    h.settle();
    h.deliverList({listedDevice(kDev1)});
    EXPECT_EQ(h.controller().outBtnTabsDevices->currentIndex(), VantrelController::kDeviceTabWarning);
    EXPECT_EQ(h.controller().outBtnTextAuthorize->text(), vtlLocString("HID_USB_WARNING"));
    EXPECT_FALSE(h.controller().outMainButtonAddProfile->isEnabled());
  }
  {
    PaneHarness h;
    h.open();
    h.select();
    h.attach(kDev5, true);
    h.settle();
    h.deliverList({});
    EXPECT_EQ(h.controller().fCurDeviceTab, VantrelController::kDeviceTabWarning);
    EXPECT_EQ(h.controller().outBtnTextAuthorize->text(), vtlLocString("HID_USB_WARNING") + vtlLocString("HID_BLE_WARNING"));
  }
}

TEST(PaneDevices, EnumerateIsAskedOncePerChangeOfCountsAndNeverTwiceInFiveSeconds) {
  PaneHarness h;
  h.open();
  h.select();
  h.settle();
  h.clearPosted();
  const std::vector<DeviceInfo> three = {listedDevice(kDev1), listedDevice(kDev1), listedDevice(kDev5)};
  h.attach(kDev1);
  h.attach(kDev1);
  h.attach(kDev5, true);
  h.attach(kDev5, true);
  h.settle();
  h.world.clock.advance(6.0);  // past the request made at wake
  h.deliverList(three);
  EXPECT_EQ(h.controller().fCurDeviceTab, VantrelController::kDeviceTabWarning);
  EXPECT_EQ(h.countCommands("enumerate"), 1u);
  for (int i = 0; i < 3; ++i) {  // the same disagreement, list after list
    h.world.clock.advance(1.0);
    h.deliverList(three);
  }
  EXPECT_EQ(h.countCommands("enumerate"), 1u);
  const int another = h.attach(kDev1);
  h.settle();
  h.world.clock.advance(1.0);
  h.deliverList(three);  // counts changed, but within five seconds
  EXPECT_EQ(h.countCommands("enumerate"), 1u);
  h.world.clock.advance(5.0);
  h.deliverList(three);
  EXPECT_EQ(h.countCommands("enumerate"), 2u);
  h.world.hid.detach(another);
  h.settle();
  h.world.clock.advance(1.0);
  h.deliverList(three);
  h.world.clock.advance(10.0);
  h.deliverList(three);
  h.deliverList(three);
  EXPECT_EQ(h.countCommands("enumerate"), 3u);
}

TEST(PaneDevices, AnEmptyListShowsNoDeviceAndDisablesTheChooser) {
  PaneHarness h;
  h.open();
  h.select();
  h.connect({kDev1, kDev5});
  for (int id : {1, 2}) h.world.hid.detach(id);
  h.settle();
  h.deliverList({});
  VantrelController& c = h.controller();
  EXPECT_EQ(c.outHelpTextDevices->text(), "No device found.");
  for (int k = 0; k < 6; ++k) EXPECT_FALSE(c.outMainMatrixDevices.cell(k)->isEnabled());
  EXPECT_EQ(c.outMainTabsDeviceIcons->currentIndex(), 0);
  EXPECT_EQ(c.fCurSettingsIndex, 0);
}

// ---- the choice of profile ------------------------------------------------------------------

class PaneProfiles : public ::testing::Test {
 protected:
  // Factory settings with an application profile for X on Dev5 ahead of Dev5's global profile.
  void SetUp() override {
    pl::DictRef prefs = h.factorySettings();
    profiles = prefs->getArray("devices");
    const pl::DictRef global5 = profileOf(profiles, 5);
    profiles->insert(0, appProfile(global5, "X", "org.example.x"));
    h.writeSettings(*prefs);
    h.open();
    h.select();
    profiles = h.controller().fSettingsArray;
  }
  PaneHarness h;
  pl::ArrayRef profiles;
};

TEST_F(PaneProfiles, TheSelectedDeviceFiltersOnlyAmongSeveralListed) {
  VantrelController& c = h.controller();
  h.attach(kDev1);
  h.settle();
  c.fSelectedDevice = pl::makeDict();
  c.fSelectedDevice->setInteger("device product id", kDev4);
  h.deliverList({listedDevice(kDev1)});
  EXPECT_EQ(c.fCurSettingsDict, profileOf(profiles, 1));
}

TEST_F(PaneProfiles, TheSelectedApplicationChoosesItsProfileElseTheGlobalOne) {
  VantrelController& c = h.controller();
  h.connect({kDev1, kDev5});
  c.fSelectedDevice = pl::makeDict();
  c.fSelectedDevice->setInteger("device product id", kDev5);
  c.fSelectedApp = pl::deepCopyDict(profiles->dictAt(0)->getDict("target app"));
  c.vtlLoadAppropriateSettings();
  EXPECT_EQ(c.fCurSettingsIndex, 0);
  c.fSelectedApp = pl::makeDict();
  c.fSelectedApp->setString("app bundle id", "org.example.y");
  c.fSelectedDevice->setInteger("device product id", kDev5);
  c.vtlLoadAppropriateSettings();
  EXPECT_EQ(c.fCurSettingsDict, profileOf(profiles, 5));
  // With no application chosen the first applicable profile is taken, even an application's.
  c.fSelectedApp = nullptr;
  c.fSelectedDevice->setInteger("device product id", kDev5);
  c.vtlLoadAppropriateSettings();
  EXPECT_EQ(c.fCurSettingsIndex, 0);
}

TEST_F(PaneProfiles, IndexRepairAndTheApplicationMatchOfFindSettingsIndex) {
  VantrelController& c = h.controller();
  c.fCurSettingsIndex = static_cast<int32_t>(profiles->size()) + 2;
  c.vtlGetSettingsFromPrefs();
  EXPECT_EQ(c.fCurSettingsIndex, 0);
  EXPECT_EQ(c.fCurSettingsDict, profiles->dictAt(0));

  const pl::DictRef global1 = profileOf(profiles, 1);
  const pl::DictRef probe = appProfile(global1, "Mail", "org.example.mail");
  const int32_t globalIndex = static_cast<int32_t>(profiles->indexOfIdentical(global1.get()));
  EXPECT_EQ(c.vtlFindSettingsIndex(probe, profiles, false), globalIndex);
  EXPECT_EQ(c.vtlFindSettingsIndex(probe, profiles, true), -1);
  profiles->append(pl::deepCopyDict(probe));
  EXPECT_EQ(c.vtlFindSettingsIndex(probe, profiles, true), static_cast<int32_t>(profiles->size()) - 1);
  EXPECT_EQ(c.vtlFindSettingsIndex(nullptr, profiles, false), -1);
}

TEST_F(PaneProfiles, TheProfileMenuListsTheGlobalProfileFirstThenTheOthersByName) {
  VantrelController& c = h.controller();
  const pl::DictRef global1 = profileOf(profiles, 1);
  for (const char* name : {"zeta", "Alpha", "beta"}) profiles->append(appProfile(global1, name, std::string("org.") + name));
  h.connect({kDev1});
  std::vector<QString> titles;
  for (int i = 0; i < c.outMainPopupProfile->count(); ++i) titles.push_back(c.outMainPopupProfile->itemText(i));
  EXPECT_EQ(titles, (std::vector<QString>{"All Applications", "", "Alpha", "beta", "zeta"}));
}

// ---- the controls ---------------------------------------------------------------------------

TEST(PaneSpeedTable, ConversionsBothWays) {
  const std::pair<int, int> toDPI[] = {{0, 5000}, {5, 4000}, {7, 4000}, {50, 400}, {100, 80}, {101, 400}, {-1, 400}};
  for (auto [position, dpi] : toDPI) EXPECT_EQ(VantrelController::vtlSpeedSliderToDPI(position), dpi) << position;
  const std::pair<int, int> toSlider[] = {{6000, 0}, {450, 50}, {80, 100}, {79, 50}, {0, 50}, {-5, 50}, {1000, 20}, {950, 25}};
  for (auto [dpi, position] : toSlider) EXPECT_EQ(VantrelController::vtlDPIToSpeedSlider(dpi), position) << dpi;
}

class PaneControls : public ::testing::Test {
 protected:
  void SetUp() override {
    h.open();
    h.select();
    h.connect({kDev1});
    options = h.controller().fCurSettingsDict->getDict("options");
  }
  void redraw() { h.controller().vtlGetUIFromSettings(); }
  PaneHarness h;
  pl::DictRef options;
};

TEST_F(PaneControls, SpeedAndAccelerationRoundTripThroughTheSliders) {
  VantrelController& c = h.controller();
  options->setInteger("speed", 950);
  options->setReal("acceleration", 0.33);
  redraw();
  EXPECT_EQ(c.outPointerSliderSpeed->value(), 25);
  EXPECT_EQ(c.outPointerSliderAccel->value(), 16);
  h.clearPosted();
  c.outPointerSliderAccel->setValue(75);  // the user's change: stored, saved, helper told
  EXPECT_DOUBLE_EQ(options->doubleValue("acceleration"), 1.5);
  EXPECT_EQ(options->integerValue("speed"), 900);
  EXPECT_DOUBLE_EQ(savedOptions(h)->doubleValue("acceleration"), 1.5);
  EXPECT_EQ(h.commands(), std::vector<std::string>{"update"});
}

TEST_F(PaneControls, ModifierKeysShowAndStoreTheirBits) {
  VantrelController& c = h.controller();
  options->setBool("slow", true);
  options->setInteger("slow keys", 0x1900);
  redraw();
  EXPECT_TRUE(c.outPointerButtonSlowCmd->isChecked());
  EXPECT_TRUE(c.outPointerButtonSlowOpt->isChecked());
  EXPECT_TRUE(c.outPointerButtonSlowCtrl->isChecked());
  EXPECT_FALSE(c.outPointerButtonSlowShift->isChecked());
  for (QAbstractButton* b : {c.outPointerButtonSlowCmd, c.outPointerButtonSlowOpt, c.outPointerButtonSlowCtrl,
                             c.outPointerButtonSlowShift}) {
    b->click();
  }
  EXPECT_EQ(options->integerValue("slow keys"), 0x0200);
  // Switching the option off keeps the keys and disables their buttons (the box redraws).
  c.outPointerBoxSlow->click();
  EXPECT_FALSE(options->boolValue("slow"));
  EXPECT_EQ(options->integerValue("slow keys"), 0x0200);
  EXPECT_FALSE(c.outPointerButtonSlowShift->isEnabled());
}

TEST_F(PaneControls, SnapToDefaultNeedsTheHelpersAccessibilityAccess) {
  VantrelController& c = h.controller();
  int sheets = 0;
  answerNextSheet(c, 1, &sheets);
  c.outPointerBoxJump->click();
  EXPECT_EQ(sheets, 1);
  EXPECT_FALSE(options->boolValue("jump"));
  EXPECT_FALSE(c.outPointerBoxJump->isChecked());
  // With access the option goes on; once on, no sheet, even when access is gone.
  h.world.hid.attach(models::kVendorID, kDev1);
  h.settle();
  h.deliverList({listedDevice(kDev1), listedDevice(kDev1)}, 1);
  c.outPointerBoxJump->click();
  EXPECT_TRUE(options->boolValue("jump"));
  h.deliverList({listedDevice(kDev1)}, 0);
  c.outPointerBoxJump->setChecked(true);
  c.actUpdateSettings(c.outPointerBoxJump);
  EXPECT_EQ(sheets, 1);
  EXPECT_TRUE(options->boolValue("jump"));
}

TEST_F(PaneControls, ScrollDirectionInertiaAndSpeed) {
  VantrelController& c = h.controller();
  const pl::DictRef scroll = c.fCurSettingsDict->getDict("buttons")->getDict("12");
  scroll->setInteger("cmd", 5);
  options->setBool("invert wheel", true);
  redraw();
  EXPECT_EQ(c.outScrollMatrixDirection.selectedColumn(), 0);
  c.outScrollMatrixDirection.cell(1)->click();  // saved at once
  EXPECT_FALSE(options->boolValue("invert wheel"));
  EXPECT_FALSE(savedOptions(h)->boolValue("invert wheel"));
  EXPECT_EQ(scroll->integerValue("cmd"), 20);
  c.outScrollSliderSpeed->setValue(7);
  EXPECT_EQ(scroll->integerValue("cnt"), 7);
}

TEST_F(PaneControls, Dev4HasNoScrollingPageAndLeavesItForPageZero) {
  VantrelController& c = h.controller();
  c.outMainTabsRoot->setCurrentIndex(2);
  ASSERT_EQ(rootIdentifier(c, c.outMainTabsRoot->currentIndex()), 3);
  h.world.hid.detach(1);
  h.attach(kDev4);
  h.settle();
  h.deliverList({listedDevice(kDev4)});
  EXPECT_EQ(c.fCurDeviceTab, 6);
  EXPECT_EQ(rootIdentifiers(c), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(c.outMainTabsRoot->currentIndex(), 0);
  EXPECT_EQ(c.outMainTabsDefaultsButton->currentIndex(), 1);
  c.outMainTabsRoot->setCurrentIndex(2);  // the last page
  EXPECT_EQ(c.outMainTabsDefaultsButton->currentIndex(), 2);
}

TEST_F(PaneControls, WithoutAProfileEverythingReadsAsZeroAndNothingIsWritten) {
  VantrelController& c = h.controller();
  c.fCurSettingsDict = nullptr;
  redraw();
  EXPECT_EQ(c.outPointerSliderSpeed->value(), 50);
  EXPECT_EQ(c.outPointerSliderAccel->value(), 0);
  EXPECT_FALSE(c.outPointerBoxAccel->isChecked());
  EXPECT_EQ(c.outScrollMatrixDirection.selectedColumn(), 1);
  c.vtlGetSettingsFromUI(nullptr);  // no crash, nothing to store into
}

// ---- root tabs and sheets -------------------------------------------------------------------

TEST(PaneTabs, RootItemsKeepTheirOrderWhateverWasHidden) {
  PaneHarness h;
  h.open();
  VantrelController& c = h.controller();
  c.vtlShowHideTab(1, true);
  c.vtlShowHideTab(2, true);
  ASSERT_EQ(rootIdentifiers(c), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_TRUE(c.vtlShowHideTab(1, false));
  EXPECT_TRUE(c.vtlShowHideTab(2, false));
  EXPECT_FALSE(c.vtlShowHideTab(2, false));
  EXPECT_EQ(rootIdentifiers(c), (std::vector<int>{1, 4}));
  EXPECT_TRUE(c.vtlShowHideTab(2, true));
  EXPECT_FALSE(c.vtlShowHideTab(2, true));
  EXPECT_TRUE(c.vtlShowHideTab(1, true));
  EXPECT_EQ(rootIdentifiers(c), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_FALSE(c.vtlShowHideTab(4, true));
  EXPECT_FALSE(c.vtlShowHideTab(-1, false));
}

TEST(PaneSheets, ConfirmationTextOutcomeAndOneSheetAtATime) {
  PaneHarness h;
  h.open();
  VantrelController& c = h.controller();
  EXPECT_EQ(c.modalDialog(nullptr), -1000);
  answerNextSheet(c, 0, nullptr);
  EXPECT_FALSE(c.confirmRequest("DELETE_PROFILE_WARNING", "Mail"));
  EXPECT_EQ(c.outConfirmFieldPrompt->text(), vtlLocString("DELETE_PROFILE_WARNING").replace("##", "Mail"));
  EXPECT_TRUE(c.outConfirmFieldPrompt->text().contains("Mail"));
  EXPECT_FALSE(c.outWindowConfirm->isVisible());

  int inner = 0;
  QTimer::singleShot(0, &c, [&] {
    inner = c.modalDialog(c.outWindowAccessibilityWarning);  // while the confirmation runs
    c.actModalButtonOK(nullptr);
  });
  EXPECT_TRUE(c.confirmRequest("DELETE_PROFILE_WARNING", "Mail"));
  EXPECT_EQ(inner, -1000);
  EXPECT_EQ(c.outWindowConfirm->windowModality(), Qt::WindowModal);
}

TEST(PaneSheets, TheAccessibilityWarningHasItsTextInGermanToo) {
  PaneHarness h("de");
  h.open();
  const QString text = h.controller().outAccessibilityLabelWarning->text();
  EXPECT_NE(text, "SNAP_WARNING_10.9");
  EXPECT_TRUE(text.contains("Bedienungshilfen")) << text.toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
