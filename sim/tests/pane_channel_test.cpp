// The helper's end of the panel protocol: a helper on the fake platform, its channel on a
// private bus, and the test as the panel.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "helper/notifications.h"
#include "platform/dbus/testing/private_bus.h"
#include "settings/driver_codes.h"
#include "platform/fake/fake_system.h"
#include "settings/models.h"

using testing_support::PrivateBus;
using testing_support::waitUntil;

namespace {

DeviceInfo dev1Info() {
  DeviceInfo i;
  i.transport = 1;
  i.vendorID = models::kVendorID;
  i.productID = models::productOfDevice(1);
  i.productVers = 0x0105;
  i.setProductName("Vantrel Orbit Pro");
  return i;
}

size_t countCalls(const iokit::InProcessDriverWorld& world, uint32_t selector, uint64_t code) {
  size_t n = 0;
  for (const auto& c : world.calls())
    if (c.selector == selector && c.scalars.size() > 1 && c.scalars[1] == code) ++n;
  return n;
}

}  // namespace

TEST(PaneChannel, CarriesOutTheFourCommandsAndIgnoresTheRest) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  QTemporaryDir home;
  sys::FakePlatform fake;
  const auto infoBytes = dev1Info().encode();
  iokit::InProcessDriverWorld::ServiceBehaviour behaviour;
  behaviour.infoBytes.assign(infoBytes.begin(), infoBytes.end());
  fake.world.publishService("VantrelService", behaviour);

  VantrelHelper::Config config;
  config.settingsPath = home.path().toStdString() + "/settings.plist";
  config.factoryPath = std::string(VANTREL_RESOURCE_DIR) + "/DefaultSettings.plist";
  VantrelHelper helper(fake.platform(), config);
  dbusnotify::DistributedNotificationCenter helperSide(bus.connect("helper"));
  DistributedPaneChannel channel(helperSide);
  helper.setPaneChannel(&channel);
  helper.awakeFromNib();  // observes the commands as its last step
  ASSERT_EQ(helper.driverLink().deviceList().size(), 1u);

  dbusnotify::DistributedNotificationCenter pane(bus.connect("pane"));
  std::vector<protocol::Message> messages;
  pane.observe(protocol::kMessageName, [&](const std::optional<std::string>& o) {
    if (o) messages.push_back(protocol::readMessage(*o));
  });
  testing_support::spin(std::chrono::milliseconds(20));
  auto send = [&](const pl::DictRef& d) { pane.post(protocol::kCommandName, *protocol::encodeDictionary(*d)); };

  // "list": the device list, 4260 bytes, first record the device's.
  send(protocol::makeCommand(protocol::Command::List));
  ASSERT_TRUE(waitUntil([&] { return messages.size() == 1; }));
  ASSERT_EQ(messages[0].kind, protocol::Message::Kind::List);
  EXPECT_EQ(messages[0].list.count, 1);
  EXPECT_EQ(messages[0].list.devices[0], dev1Info());

  // "update": the settings go out again; "front": the raw-report control to every device.
  const size_t settingsBefore = countCalls(fake.world, 0, driver::kSettingsCode);
  send(protocol::makeCommand(protocol::Command::Update));
  send(protocol::makeFrontCommand(true));
  ASSERT_TRUE(waitUntil([&] { return channel.commandsHandled() == 3; }));
  EXPECT_EQ(countCalls(fake.world, 0, driver::kSettingsCode), settingsBefore + 1);
  EXPECT_TRUE(helper.sendRawReports());
  send(protocol::makeFrontCommand(false));
  ASSERT_TRUE(waitUntil([&] { return channel.commandsHandled() == 4; }));
  EXPECT_FALSE(helper.sendRawReports());

  // "enumerate" with a captured device looks, but re-enumerates nothing.
  send(protocol::makeCommand(protocol::Command::Enumerate));
  ASSERT_TRUE(waitUntil([&] { return channel.commandsHandled() == 5; }));
  EXPECT_TRUE(fake.world.usbEvents().empty());

  // Not text, not a dictionary, no command, an unknown one: ignored, nothing answered.
  pane.postVariant(protocol::kCommandName, QVariant(12));
  pane.post(protocol::kCommandName, "<plist><array/></plist>");
  pane.post(protocol::kCommandName, "\x01\x02garbage");
  auto unknown = pl::makeDict();
  unknown->setString("command", "LIST");
  send(unknown);
  send(pl::makeDict());
  ASSERT_TRUE(waitUntil([&] { return channel.commandsIgnored() == 5; }));
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(channel.commandsHandled(), 5u);

  // A report the helper forwards reaches the panel unchanged.
  const uint8_t report[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
  EXPECT_EQ(helper.sendDeviceStateToPanel(report), 0);
  ASSERT_TRUE(waitUntil([&] { return messages.size() == 2; }));
  ASSERT_EQ(messages[1].kind, protocol::Message::Kind::Report);
  EXPECT_EQ(messages[1].report[0], 9);
  EXPECT_EQ(messages[1].report[15], 6);
}
