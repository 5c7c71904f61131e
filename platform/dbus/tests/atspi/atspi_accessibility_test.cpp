// The accessibility backend against the real accessibility bus: Qt dialogs with a default button
// (another program, as the helper meets them), activated as a window manager would, read
// through the calls snap-to-default makes; and a dialog that stops answering, which must not
// hold the helper up. Run inside tools/testing/desktop.py (CTest does); elsewhere every test is
// skipped.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>
#include <variant>

#include "platform/dbus/atspi_accessibility.h"
#include "platform/dbus/testing/private_bus.h"

using testing_support::waitUntil;

namespace {

bool inPrivateDesktop() { return !qEnvironmentVariableIsEmpty("VANTREL_PRIVATE_DESKTOP"); }

struct Place {
  qulonglong window = 0;
  int x = 0, y = 0, width = 0, height = 0;
};

// One dialog program.
class Dialog {
 public:
  explicit Dialog(const QString& title) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAsChild(process_, VANTREL_DIALOG_BINARY, {title});
    place_ = readPlace("ready");
  }
  ~Dialog() {
    ::kill(static_cast<pid_t>(process_.processId()), SIGCONT);
    process_.kill();
    process_.waitForFinished(5000);
  }
  void send(const char* command) {
    process_.write(QByteArray(command) + "\n");
    process_.waitForBytesWritten(1000);
  }
  Place readPlace(const char* what) {
    Place p;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 10000) {
      if (!process_.canReadLine() && !process_.waitForReadyRead(200)) continue;
      const QStringList words = QString::fromUtf8(process_.readLine()).split(' ');
      if (words.size() == 6 && words[0] == what)
        return Place{words[1].toULongLong(), words[2].toInt(), words[3].toInt(), words[4].toInt(), words[5].toInt()};
    }
    ADD_FAILURE() << "the dialog did not say " << what;
    return p;
  }
  // Gives it the keyboard, as a window manager does when it activates a window.
  void activate() {
    EXPECT_EQ(QProcess::execute("xdotool", {"windowfocus", "--sync", QString::number(place_.window)}), 0);
  }
  void signal(int s) { ::kill(static_cast<pid_t>(process_.processId()), s); }
  const Place& place() const { return place_; }
  Place& place() { return place_; }

 private:
  QProcess process_;
  Place place_;
};

// What the calls snap-to-default makes read now.
struct Seen {
  bool window = false, button = false, enabled = false;
  sys::CGPoint position;
  sys::CGSize size;
  long children = -1;
};

Seen read(sys::Accessibility& ax) {
  Seen s;
  const sys::AXUIElementRef system = ax.AXUIElementCreateSystemWide();
  sys::AXValue app, window, button, v;
  if (ax.AXUIElementCopyAttributeValue(system, sys::kAXFocusedApplicationAttribute, &app) != sys::kAXErrorSuccess)
    return s;
  if (ax.AXUIElementCopyAttributeValue(std::get<sys::AXUIElementRef>(app), sys::kAXFocusedWindowAttribute, &window) !=
      sys::kAXErrorSuccess)
    return s;
  s.window = true;
  const auto w = std::get<sys::AXUIElementRef>(window);
  ax.AXUIElementGetAttributeValueCount(w, sys::kAXChildrenAttribute, &s.children);
  if (ax.AXUIElementCopyAttributeValue(w, sys::kAXDefaultButtonAttribute, &button) != sys::kAXErrorSuccess) return s;
  s.button = true;
  const auto b = std::get<sys::AXUIElementRef>(button);
  if (ax.AXUIElementCopyAttributeValue(b, sys::kAXEnabledAttribute, &v) == sys::kAXErrorSuccess) s.enabled = std::get<bool>(v);
  if (ax.AXUIElementCopyAttributeValue(b, sys::kAXPositionAttribute, &v) == sys::kAXErrorSuccess) s.position = std::get<sys::CGPoint>(v);
  if (ax.AXUIElementCopyAttributeValue(b, sys::kAXSizeAttribute, &v) == sys::kAXErrorSuccess) s.size = std::get<sys::CGSize>(v);
  return s;
}

class Atspi : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inPrivateDesktop()) GTEST_SKIP() << "needs tools/testing/desktop.py run";
    testing_support::ensureApplication();
  }
  // Reads as the half-second timer does, until `done` or the time is up.
  bool readUntil(atspi::Accessibility& ax, const std::function<bool(const Seen&)>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      if (done(read(ax))) return true;
      waitUntil([&] { return false; }, std::chrono::milliseconds(50));
    }
    return done(read(ax));
  }
};

TEST_F(Atspi, FindsTheFocusedWindowsDefaultButton) {
  atspi::Accessibility ax(QDBusConnection::sessionBus());
  ASSERT_TRUE(ax.AXAPIEnabled()) << "the private desktop's accessibility bus is on";
  Dialog first("First dialog");
  first.activate();
  const auto at = [](const Place& p) {
    return [p](const Seen& s) {
      return s.button && s.position == sys::CGPoint{double(p.x), double(p.y)} &&
             s.size == sys::CGSize{double(p.width), double(p.height)};
    };
  };
  ASSERT_TRUE(readUntil(ax, at(first.place())));
  Seen s = read(ax);
  EXPECT_TRUE(s.enabled);
  EXPECT_GT(s.children, 0);
  EXPECT_EQ(ax.lastLook().windowName, "First dialog");
  EXPECT_EQ(ax.lastLook().buttonName, "Save");

  first.send("disable");
  EXPECT_TRUE(readUntil(ax, [](const Seen& x) { return x.button && !x.enabled; }));
  first.send("enable");
  first.send("move");
  first.place() = first.readPlace("moved");
  EXPECT_TRUE(readUntil(ax, at(first.place()))) << "the button moved with its dialog";

  // Another application's dialog comes to the front.
  Dialog second("Second dialog");
  second.activate();
  EXPECT_TRUE(readUntil(ax, [&](const Seen& x) { return at(second.place())(x) && ax.lastLook().windowName == "Second dialog"; }));
  first.activate();
  EXPECT_TRUE(readUntil(ax, [&](const Seen&) { return ax.lastLook().windowName == "First dialog"; }));
}

TEST_F(Atspi, AnApplicationThatHangsHoldsNothingUp) {
  atspi::Accessibility ax(QDBusConnection::sessionBus());
  Dialog dialog("Hanging dialog");
  dialog.activate();
  ASSERT_TRUE(readUntil(ax, [](const Seen& s) { return s.button; }));

  dialog.signal(SIGSTOP);  // it stops answering anything
  QElapsedTimer t;
  t.start();
  qint64 slowest = 0;
  bool gone = false;
  while (t.elapsed() < 4000 && !gone) {
    QElapsedTimer call;
    call.start();
    gone = !read(ax).window;
    slowest = std::max(slowest, call.elapsed());
    waitUntil([] { return false; }, std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(gone) << "a window that does not answer counts as none";
  EXPECT_LT(t.elapsed(), 2500) << "a look gives up within 1.5 s";
  EXPECT_LE(slowest, 5) << "milliseconds one read of the accessibility calls took";

  dialog.signal(SIGCONT);
  dialog.activate();
  EXPECT_TRUE(readUntil(ax, [](const Seen& s) { return s.button; }));
}

}  // namespace
