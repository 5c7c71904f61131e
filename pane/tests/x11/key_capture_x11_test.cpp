// The keystroke capture with real key events: xdotool presses keys through the X server
// (XTEST) of a private desktop, Qt's xcb platform turns them into key events with native scan
// codes, and the capture names them. Run inside tools/testing/desktop.py (CTest does); elsewhere
// every test is skipped, so that nothing reaches this machine's own display.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <functional>

#include "pane/key_capture.h"
#include "pane/tests/recording_receiver.h"

namespace {

bool inPrivateDesktop() { return !qEnvironmentVariableIsEmpty("VANTREL_PRIVATE_DESKTOP"); }

// Runs a command of the desktop (xdotool, setxkbmap) to its end.
void run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  ASSERT_TRUE(p.waitForFinished(10000)) << program.toStdString();
  ASSERT_EQ(p.exitCode(), 0) << program.toStdString() << " " << args.join(' ').toStdString() << ": "
                             << p.readAllStandardError().toStdString();
}

bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < ms) QTest::qWait(5);
  return done();
}

class KeyCaptureX11 : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inPrivateDesktop()) GTEST_SKIP() << "needs tools/testing/desktop.py run";
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    ASSERT_NO_FATAL_FAILURE(run("setxkbmap", {"-layout", "us"}));
    auto* layout = new QVBoxLayout(&window);
    field = new QLineEdit;
    layout->addWidget(field);
    shortcut = new QAction(&window);
    shortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    window.addAction(shortcut);
    QObject::connect(shortcut, &QAction::triggered, [this] { ++shortcutFired; });
    window.setWindowTitle("capture");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    // No window manager: the test gives its window the keyboard itself.
    ASSERT_NO_FATAL_FAILURE(run("xdotool", {"windowfocus", "--sync", QString::number(window.winId())}));
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    ASSERT_TRUE(waitUntil([this] { return field->hasFocus(); }));
  }
  void TearDown() override { VantrelSwapNSAppMethods(nullptr); }

  // Presses keys (xdotool names) and waits until the receiver has `strokes` keystrokes, then a
  // little longer, so that a keystroke too many would show.
  void press(const QStringList& keys, size_t strokes) {
    run("xdotool", QStringList{"key", "--delay", "5"} + keys);
    EXPECT_TRUE(waitUntil([&] { return receiver.strokes.size() >= strokes; }))
        << "got " << receiver.strokes.size() << " keystrokes";
    QTest::qWait(30);
  }

  QWidget window;
  QLineEdit* field = nullptr;
  QAction* shortcut = nullptr;
  int shortcutFired = 0;
  RecordingReceiver receiver;
};

TEST_F(KeyCaptureX11, SuperShiftKIsCommandShiftKOnce) {
  VantrelSwapNSAppMethods(&receiver);
  press({"super+shift+k"}, 1);
  EXPECT_EQ(receiver.strokes, (std::vector<Keystroke>{{40, 'K', 0x0300}}));
  press({"alt+ctrl+k"}, 2);
  ASSERT_EQ(receiver.strokes.size(), 2u);
  EXPECT_EQ(receiver.strokes[1].keyCode, 40u);
  EXPECT_EQ(receiver.strokes[1].modifiers, 0x1800u);
  press({"Tab", "KP_Enter", "F5"}, 5);  // Tab stays with the receiver: the focus does not move
  EXPECT_EQ(receiver.strokes[2], (Keystroke{48, '\t', 0}));
  EXPECT_EQ(receiver.strokes[3].keyCode, 76u);
  EXPECT_EQ(receiver.strokes[4].keyCode, 96u);
  EXPECT_TRUE(field->hasFocus());
  EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(KeyCaptureX11, GermanLayoutKeysAreNamedByPosition) {
  run("setxkbmap", {"-layout", "de"});
  VantrelSwapNSAppMethods(&receiver);
  press({"y", "z"}, 2);
  // The key labelled Y sits where the US keyboard has Z, and the other way round.
  EXPECT_EQ(receiver.strokes[0], (Keystroke{6, 'y', 0}));
  EXPECT_EQ(receiver.strokes[1], (Keystroke{16, 'z', 0}));
  // AltGr (the right Alt key, xkb key code 108) with Q types "@": Option-Q, as the key tables
  // type "@" on this layout.
  run("xdotool", {"keydown", "108", "key", "q", "keyup", "108"});
  ASSERT_TRUE(waitUntil([&] { return receiver.strokes.size() >= 3; }));
  EXPECT_EQ(receiver.strokes[2], (Keystroke{12, '@', 0x0800}));
}

TEST_F(KeyCaptureX11, CapsLockCountsWhileLocked) {
  VantrelSwapNSAppMethods(&receiver);
  press({"Caps_Lock", "super+k"}, 1);
  press({"Caps_Lock", "super+k"}, 2);
  ASSERT_EQ(receiver.strokes.size(), 2u);
  EXPECT_EQ(receiver.strokes[0].modifiers, 0x0500u);
  EXPECT_EQ(receiver.strokes[1].modifiers, 0x0100u);
}

TEST_F(KeyCaptureX11, KeysAndShortcutsPassWhenNotCapturing) {
  VantrelSwapNSAppMethods(&receiver);
  receiver.wants = false;
  run("xdotool", {"type", "--delay", "5", "ok"});
  ASSERT_TRUE(waitUntil([&] { return field->text() == "ok"; }));
  run("xdotool", {"key", "ctrl+k"});
  ASSERT_TRUE(waitUntil([&] { return shortcutFired == 1; }));
  receiver.wants = true;
  press({"ctrl+k"}, 1);
  EXPECT_EQ(shortcutFired, 1);
  VantrelSwapNSAppMethods(nullptr);
  run("xdotool", {"key", "ctrl+k", "x"});
  ASSERT_TRUE(waitUntil([&] { return shortcutFired == 2 && field->text() == "okx"; }));
  EXPECT_EQ(receiver.strokes.size(), 1u);
}

}  // namespace

int main(int argc, char** argv) {
  // Outside a private desktop, stay off any display this machine has.
  if (!inPrivateDesktop()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
