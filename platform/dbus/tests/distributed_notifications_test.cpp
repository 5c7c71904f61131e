#include "platform/dbus/distributed_notifications.h"

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusVariant>

#include "platform/dbus/testing/private_bus.h"

using dbusnotify::DistributedNotificationCenter;
using testing_support::PrivateBus;
using testing_support::spin;
using testing_support::waitUntil;

namespace {
using Received = std::vector<std::optional<std::string>>;
}

TEST(DistributedNotifications, BroadcastToObserversOfTheNameOnly) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  DistributedNotificationCenter pane(bus.connect("pane"));
  DistributedNotificationCenter helper(bus.connect("helper"));
  DistributedNotificationCenter other(bus.connect("other"));

  Received commands, messages, echoes;
  ASSERT_TRUE(helper.observe("com.halvorn.vantrel.command", [&](const auto& o) { commands.push_back(o); }));
  ASSERT_TRUE(pane.observe("com.halvorn.vantrel.message", [&](const auto& o) { messages.push_back(o); }));
  // A sender that observes its own name hears itself too.
  ASSERT_TRUE(other.observe("com.halvorn.vantrel.message", [&](const auto& o) { echoes.push_back(o); }));
  spin(std::chrono::milliseconds(20));

  ASSERT_TRUE(pane.post("com.halvorn.vantrel.command", "<plist>one</plist>"));
  ASSERT_TRUE(pane.post("com.halvorn.vantrel.command", "two \xC3\xA9"));
  ASSERT_TRUE(other.post("com.halvorn.vantrel.message", "three"));
  ASSERT_TRUE(waitUntil([&] { return commands.size() == 2 && messages.size() == 1 && echoes.size() == 1; }));
  spin(std::chrono::milliseconds(30));
  EXPECT_EQ(commands.size(), 2u);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(commands[0], "<plist>one</plist>");  // in order, text unchanged
  EXPECT_EQ(commands[1], "two \xC3\xA9");
  EXPECT_EQ(messages[0], "three");

  // An object that is not a string arrives as nothing; another name is not delivered at all.
  ASSERT_TRUE(pane.postVariant("com.halvorn.vantrel.command", QVariant(42)));
  ASSERT_TRUE(pane.post("com.halvorn.vantrel.unrelated", "x"));
  ASSERT_TRUE(waitUntil([&] { return commands.size() == 3; }));
  EXPECT_FALSE(commands[2].has_value());

  // After stopping, nothing more arrives; a handler may stop observing from inside itself.
  helper.observe("com.halvorn.vantrel.command", [&](const auto& o) {
    commands.push_back(o);
    helper.stopObserving("com.halvorn.vantrel.command");
  });
  pane.post("com.halvorn.vantrel.command", "four");
  pane.post("com.halvorn.vantrel.command", "five");
  spin(std::chrono::milliseconds(100));
  ASSERT_EQ(commands.size(), 4u);
  EXPECT_EQ(commands[3], "four");
}

TEST(DistributedNotifications, RawSignalsOfOtherShapesAreIgnored) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  DistributedNotificationCenter helper(bus.connect("helper"));
  Received got;
  helper.observe("com.halvorn.vantrel.command", [&](const auto& o) { got.push_back(o); });
  spin(std::chrono::milliseconds(20));

  auto sender = bus.connect("raw");
  auto send = [&](const QList<QVariant>& args) {
    auto m = QDBusMessage::createSignal(dbusnotify::kPath, dbusnotify::kInterface, dbusnotify::kSignal);
    m.setArguments(args);
    ASSERT_TRUE(sender.send(m));
  };
  send({});
  send({QString("com.halvorn.vantrel.command")});
  send({42, QString("x")});
  send({QString("com.halvorn.vantrel.command"), QString("plain string, not a variant")});
  send({QString("com.halvorn.vantrel.command"), QVariant::fromValue(QDBusVariant(QByteArray("bytes")))});
  ASSERT_TRUE(waitUntil([&] { return got.size() == 2; }));
  spin(std::chrono::milliseconds(30));
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0], "plain string, not a variant");
  EXPECT_FALSE(got[1].has_value());
}

TEST(DistributedNotifications, ObjectsAboveTheLimitAreNeitherSentNorDelivered) {
  PrivateBus bus;
  ASSERT_TRUE(bus.ok());
  DistributedNotificationCenter pane(bus.connect("pane"));
  DistributedNotificationCenter helper(bus.connect("helper"));
  Received got;
  helper.observe("com.halvorn.vantrel.command", [&](const auto& o) { got.push_back(o); });
  spin(std::chrono::milliseconds(20));

  const std::string atLimit(dbusnotify::kMaxObjectBytes, 'a');
  EXPECT_FALSE(pane.post("com.halvorn.vantrel.command", atLimit + "a"));
  ASSERT_TRUE(pane.post("com.halvorn.vantrel.command", atLimit));
  // Another sender does not check: what it sends too large is dropped on arrival. By the UTF-16
  // length, by the UTF-8 length (21846 euro signs are 65538 bytes), and ten megabytes.
  const QString euros(21846, QChar(0x20AC));
  ASSERT_TRUE(pane.postVariant("com.halvorn.vantrel.command", QString(dbusnotify::kMaxObjectBytes + 1, 'b')));
  ASSERT_TRUE(pane.postVariant("com.halvorn.vantrel.command", euros));
  ASSERT_TRUE(pane.postVariant("com.halvorn.vantrel.command", QString(10 * 1024 * 1024, 'c')));
  ASSERT_TRUE(pane.postVariant("com.halvorn.vantrel.command", euros.left(21845)));  // 65535 bytes
  ASSERT_TRUE(pane.post("com.halvorn.vantrel.command", "after"));
  ASSERT_TRUE(waitUntil([&] { return got.size() == 3; }));
  spin(std::chrono::milliseconds(30));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], atLimit);
  EXPECT_EQ(got[1]->size(), 65535u);
  EXPECT_EQ(got[2], "after");
  EXPECT_EQ(helper.droppedOversized(), 3u);
}

TEST(DistributedNotifications, WithoutABusNothingIsPostedOrObserved) {
  testing_support::ensureApplication();
  DistributedNotificationCenter nowhere(QDBusConnection::connectToBus(QString("unix:path=/nonexistent/bus"), "none"));
  EXPECT_FALSE(nowhere.connected());
  EXPECT_FALSE(nowhere.post("com.halvorn.vantrel.command", "x"));
  EXPECT_FALSE(nowhere.observe("com.halvorn.vantrel.command", [](const auto&) {}));
}
