// Power and media on a Linux desktop: the Apple events the helper sends reach logind (a mock from
// python3-dbusmock on a private stand-in for the system bus) and media players of the test's
// own (MPRIS on a private session bus), through the same calls the button actions make.
#include "platform/dbus/desktop_apple_events.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

#include <memory>

#include "helper/actions/system_events.h"
#include "platform/dbus/testing/mock_logind.h"
#include "platform/dbus/testing/private_bus.h"
#include "platform/qt/qt_event_sleeper.h"

using testing_support::PrivateBus;
using testing_support::waitUntil;

// A media player of the test's own.
class FakePlayer : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ playbackStatus)
  Q_PROPERTY(double Volume READ volume WRITE setVolume)

 public:
  FakePlayer(PrivateBus& bus, const QString& name, double volume = 0.5)
      : connection_(bus.connect(name.toStdString())), name_("org.mpris.MediaPlayer2." + name), volume_(volume) {
    connection_.registerObject("/org/mpris/MediaPlayer2", this,
                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties);
    connection_.registerService(name_);
  }
  ~FakePlayer() override { connection_.unregisterService(name_); }

  QStringList calls;
  QString playbackStatus() const { return status_; }
  double volume() const { return volume_; }
  void setVolume(double v) {
    volume_ = v;
    calls << QString("Volume=%1").arg(v, 0, 'f', 2);
  }
  void setStatus(const QString& status) {
    status_ = status;
    QDBusMessage changed = QDBusMessage::createSignal("/org/mpris/MediaPlayer2", "org.freedesktop.DBus.Properties",
                                                      "PropertiesChanged");
    changed << QString("org.mpris.MediaPlayer2.Player") << QVariantMap{{"PlaybackStatus", status}} << QStringList();
    connection_.send(changed);
  }

 public Q_SLOTS:
  void PlayPause() { calls << "PlayPause"; }
  void Stop() { calls << "Stop"; }
  void Previous() { calls << "Previous"; }
  void Next() { calls << "Next"; }
  void Play() { calls << "Play"; }
  void Pause() { calls << "Pause"; }
  void Seek(qlonglong offset) { calls << QString("Seek %1").arg(offset); }

 private:
  QDBusConnection connection_;
  QString name_;
  QString status_ = "Stopped";
  double volume_;
};

namespace {

class DesktopEvents : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::ensureApplication();
    ASSERT_TRUE(session.ok());
  }
  int32_t media(uint8_t index) { return actions::SendMediaCommand(events, sleeper, index); }
  size_t players() { return events.players().players().size(); }

  PrivateBus session;
  bool startAsked = false;
  std::function<void()> onStart;
  sys::DesktopAppleEvents events{session.connect("helper"), QDBusConnection("none"), [this] {
                                   startAsked = true;
                                   if (onStart) onStart();
                                   return onStart != nullptr;
                                 }};
  QtEventLoopSleeper sleeper;
};

TEST_F(DesktopEvents, MediaCommandsGoToThePlayingOrLatestPlayer) {
  // No player: the media application is not running and cannot be started.
  EXPECT_EQ(media(0), sys::kLSApplicationNotFoundErr);
  EXPECT_TRUE(startAsked);

  FakePlayer first(session, "first");
  ASSERT_TRUE(waitUntil([&] { return players() == 1; }));
  FakePlayer second(session, "second");
  ASSERT_TRUE(waitUntil([&] { return players() == 2; }));
  sys::ProcessSerialNumber psn;
  EXPECT_EQ(actions::FindProcessWithSignature(events, FourCharCode("hook"), &psn), sys::noErr);
  EXPECT_EQ(actions::FindProcessWithSignature(events, FourCharCode("MACS"), &psn), sys::procNotFound);

  EXPECT_EQ(media(3), sys::noErr);  // Next: to the one that came last
  ASSERT_TRUE(waitUntil([&] { return second.calls == QStringList{"Next"}; }));
  first.setStatus("Playing");
  ASSERT_TRUE(waitUntil([&] { return events.players().target()->name.endsWith("first"); }));
  second.setStatus("Paused");  // more recent, but not playing
  ASSERT_TRUE(waitUntil([&] { return events.players().players()[1].status == "Paused"; }));
  for (uint8_t index : {0, 1, 2}) EXPECT_EQ(media(index), sys::noErr);
  ASSERT_TRUE(waitUntil([&] { return first.calls == QStringList{"PlayPause", "Stop", "Previous"}; }));

  // Seeking and the commands the table has besides.
  for (uint32_t id : {FourCharCode("Rwnd"), FourCharCode("Fast"), FourCharCode("Paus"), FourCharCode("Resu")}) {
    sys::AppleEvent e;
    e.target = sys::kMediaApplicationProcess;
    e.eventClass = FourCharCode("hook");
    e.eventID = id;
    EXPECT_EQ(events.sendAppleEvent(e), sys::noErr) << id;
  }
  ASSERT_TRUE(waitUntil([&] { return first.calls.size() == 7; }));
  EXPECT_EQ(first.calls.mid(3), (QStringList{"Seek -10000000", "Seek 10000000", "Pause", "Play"}));
  EXPECT_EQ(second.calls, QStringList{"Next"});

  // Gone: the other one gets the commands.
  {
    FakePlayer third(session, "third");
    ASSERT_TRUE(waitUntil([&] { return players() == 3; }));
  }
  ASSERT_TRUE(waitUntil([&] { return players() == 2; }));
  EXPECT_TRUE(events.players().target()->name.endsWith("first"));
}

TEST_F(DesktopEvents, VolumeStaysWithinRangeAndMuteRemembers) {
  FakePlayer player(session, "player", 0.95);
  ASSERT_TRUE(waitUntil([&] { return players() == 1; }));
  const auto volumeBecomes = [&](double v) { return waitUntil([&] { return std::abs(player.volume() - v) < 1e-9; }); };
  EXPECT_EQ(media(10), sys::noErr);  // vol+
  EXPECT_TRUE(volumeBecomes(1.0));
  EXPECT_EQ(media(11), sys::noErr);  // vol-
  EXPECT_TRUE(volumeBecomes(0.9));
  EXPECT_EQ(media(12), sys::noErr);  // mute
  EXPECT_TRUE(volumeBecomes(0.0));
  EXPECT_EQ(media(12), sys::noErr);  // and back
  EXPECT_TRUE(volumeBecomes(0.9));
  player.setVolume(0.05);
  EXPECT_EQ(media(11), sys::noErr);
  EXPECT_TRUE(volumeBecomes(0.0));
  EXPECT_EQ(media(12), sys::noErr);  // muting what is silent already: unmuting brings full volume
  ASSERT_TRUE(waitUntil([&] { return player.calls.size() == 7; }));
  EXPECT_EQ(media(12), sys::noErr);
  EXPECT_TRUE(volumeBecomes(1.0));
}

TEST_F(DesktopEvents, AMissingPlayerIsStartedAndWaitedFor) {
  std::unique_ptr<FakePlayer> started;
  // The player comes up a little over a second after it was asked to start.
  onStart = [&] { QTimer::singleShot(1300, [&] { started = std::make_unique<FakePlayer>(session, "late"); }); };
  EXPECT_EQ(media(0), sys::noErr);
  ASSERT_TRUE(started);
  EXPECT_TRUE(waitUntil([&] { return started->calls == QStringList{"PlayPause"}; }));
}

TEST(DesktopPower, RestartShutDownAndSleepAskLogind) {
  testing_support::ensureApplication();
  PrivateBus session;
  ASSERT_TRUE(session.ok());
  testing_support::MockLogind logind;
  ASSERT_TRUE(logind.ready());
  sys::DesktopAppleEvents events(session.connect("helper"), logind.connect("helper-system"), [] { return false; });
  for (uint32_t id : {FourCharCode("rest"), FourCharCode("shut"), FourCharCode("slep")})
    EXPECT_EQ(actions::SendCoreEventToSystemProcess(events, id), sys::noErr) << id;
  EXPECT_TRUE(waitUntil([&] { return logind.calls().size() >= 3; }));
  EXPECT_EQ(logind.calls(), (QStringList{"Reboot true", "PowerOff true", "Suspend true"}));
  // Events the system process does not take, and a machine without a system bus.
  EXPECT_EQ(actions::SendCoreEventToSystemProcess(events, FourCharCode("logo")), sys::errAEEventNotHandled);
  sys::DesktopAppleEvents noSystem(session.connect("helper2"), QDBusConnection("none"), [] { return false; });
  EXPECT_EQ(actions::SendCoreEventToSystemProcess(noSystem, FourCharCode("rest")), sys::procNotFound);
  testing_support::spin(std::chrono::milliseconds(100));
  EXPECT_EQ(logind.calls().size(), 3);
}

}  // namespace

#include "desktop_events_test.moc"
