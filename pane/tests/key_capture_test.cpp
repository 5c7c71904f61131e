// The keystroke capture on the offscreen platform: key events from QTest carry no scan codes,
// so key codes come from the Qt keys; the conversion from native scan codes is checked with
// hand-made events here and with real X events in x11/.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include "pane/key_capture.h"
#include "pane/tests/recording_receiver.h"

namespace {

// A focusable widget that counts the key presses it sees and ignores them, so that Qt offers
// them to its parent as well.
class KeySink : public QWidget {
 public:
  int presses = 0;
  KeySink() { setFocusPolicy(Qt::StrongFocus); }

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    ++presses;
    e->ignore();
  }
};

class KeyCapture : public ::testing::Test {
 protected:
  void SetUp() override {
    auto* layout = new QVBoxLayout(&window);
    field = new QLineEdit;
    sink = new KeySink;
    layout->addWidget(field);
    layout->addWidget(sink);
    shortcut = new QAction(&window);
    shortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_K));
    window.addAction(shortcut);
    QObject::connect(shortcut, &QAction::triggered, [this] { ++shortcutFired; });
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    field->setFocus();
  }
  void TearDown() override { ASSERT_FALSE(VantrelKeystrokeCaptureInstalled()); }

  QWidget window;
  QLineEdit* field = nullptr;
  KeySink* sink = nullptr;
  QAction* shortcut = nullptr;
  int shortcutFired = 0;
  RecordingReceiver receiver;
};

TEST_F(KeyCapture, CommandShiftKReachesOnlyTheReceiverOnce) {
  CaptureScope capture(&receiver);
  QTest::keyClick(field, Qt::Key_K, Qt::MetaModifier | Qt::ShiftModifier);
  ASSERT_EQ(receiver.strokes.size(), 1u);
  EXPECT_EQ(receiver.strokes[0].keyCode, 40u);
  EXPECT_EQ(receiver.strokes[0].modifiers, 0x0300u);
  EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(KeyCapture, ModifiersAndCharacter) {
  CaptureScope capture(&receiver);
  QTest::keyClick(field, Qt::Key_K, Qt::AltModifier | Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Q, Qt::GroupSwitchModifier);  // AltGr
  QTest::keyClick(field, Qt::Key_A,
                  Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier);
  QTest::keyClick(field, 'a');
  QTest::keyClick(field, Qt::Key_Left);
  ASSERT_EQ(receiver.strokes.size(), 5u);
  EXPECT_EQ(receiver.strokes[0].modifiers, 0x1800u);
  EXPECT_EQ(receiver.strokes[1], (Keystroke{12, 'q', 0x0800}));
  EXPECT_EQ(receiver.strokes[2].modifiers, 0x1B00u);
  EXPECT_EQ(receiver.strokes[3], (Keystroke{0, 'a', 0}));
  EXPECT_EQ(receiver.strokes[4], (Keystroke{123, 0, 0}));
}

TEST_F(KeyCapture, KeyPressesPassUnchangedWhileTheReceiverDoesNotWantThem) {
  CaptureScope capture(&receiver);
  receiver.wants = false;
  QTest::keyClicks(field, "ok");
  QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(field->text(), "ok");
  EXPECT_EQ(shortcutFired, 1);
  EXPECT_GT(receiver.asked, 0);
  EXPECT_TRUE(receiver.strokes.empty());
}

TEST_F(KeyCapture, ShortcutDoesNotFireWhileCapturingAndDoesAfterwards) {
  {
    CaptureScope capture(&receiver);
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(shortcutFired, 0);
    ASSERT_EQ(receiver.strokes.size(), 1u);
    EXPECT_EQ(receiver.strokes[0].keyCode, 40u);
    EXPECT_EQ(receiver.strokes[0].modifiers, 0x1000u);
  }
  QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
  EXPECT_EQ(shortcutFired, 1);
  EXPECT_EQ(receiver.strokes.size(), 1u);
}

TEST_F(KeyCapture, IgnoredKeyPressIsDeliveredOnceAndNotToTheWidget) {
  sink->setFocus();
  CaptureScope capture(&receiver);
  QTest::keyClick(sink, Qt::Key_X);
  EXPECT_EQ(sink->presses, 0);
  ASSERT_EQ(receiver.strokes.size(), 1u);
  EXPECT_EQ(receiver.strokes[0].keyCode, 7u);
}

TEST_F(KeyCapture, KeyWithoutMacCounterpartIsConsumedAndModifierKeysPass) {
  sink->setFocus();
  CaptureScope capture(&receiver);
  QTest::keyClick(sink, Qt::Key_LaunchMail);
  EXPECT_EQ(sink->presses, 0);
  QTest::keyPress(sink, Qt::Key_Shift);
  QTest::keyRelease(sink, Qt::Key_Shift);
  EXPECT_EQ(sink->presses, 1);
  EXPECT_TRUE(receiver.strokes.empty());
}

TEST_F(KeyCapture, InstallAndRemoveInPairsLeaveTheApplicationAsItWas) {
  for (int round = 0; round < 3; ++round) {
    VantrelSwapNSAppMethods(&receiver);
    VantrelSwapNSAppMethods(&receiver);  // a second install only sets the receiver again
    EXPECT_TRUE(VantrelKeystrokeCaptureInstalled());
    QTest::keyClick(field, Qt::Key_Z);
    EXPECT_EQ(receiver.strokes.size(), static_cast<size_t>(round + 1));  // once, not twice
    VantrelSwapNSAppMethods(nullptr);
    EXPECT_FALSE(VantrelKeystrokeCaptureInstalled());
    const int asked = receiver.asked;
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Z);
    EXPECT_EQ(receiver.asked, asked);  // not even asked
    EXPECT_EQ(shortcutFired, round + 1);
  }
  EXPECT_EQ(field->text(), "zzz");
}

TEST_F(KeyCapture, ReplacedReceiverGetsTheKeys) {
  RecordingReceiver other;
  VantrelSwapNSAppMethods(&receiver);
  VantrelSwapNSAppMethods(&other);
  QTest::keyClick(field, Qt::Key_B);
  VantrelSwapNSAppMethods(nullptr);
  EXPECT_TRUE(receiver.strokes.empty());
  EXPECT_EQ(other.strokes, (std::vector<Keystroke>{{11, 'b', 0}}));
}

// A receiver that ends the capture from within, as an editor closing on a key would.
class UnselectingReceiver : public RecordingReceiver {
 public:
  void vtlReceiveKeystroke(unsigned keyCode, uint16_t character, unsigned modifiers) override {
    RecordingReceiver::vtlReceiveKeystroke(keyCode, character, modifiers);
    VantrelSwapNSAppMethods(nullptr);
  }
};

TEST_F(KeyCapture, RemovingTheCaptureWhileHandingOnAKeyIsSafe) {
  UnselectingReceiver unselecting;
  VantrelSwapNSAppMethods(&unselecting);
  QTest::keyClick(field, Qt::Key_Escape);
  EXPECT_FALSE(VantrelKeystrokeCaptureInstalled());
  QTest::keyClick(field, Qt::Key_Y);
  EXPECT_EQ(unselecting.strokes, (std::vector<Keystroke>{{53, 0x1B, 0}}));
  EXPECT_EQ(field->text(), "y");
}

TEST(CaptureKeyCodes, QtKeysAtTheirUsPlaces) {
  struct Case {
    int key;
    Qt::KeyboardModifiers mods;
    int mac;  // -1: no counterpart
  };
  const Case cases[] = {
      {Qt::Key_A, {}, 0},          {Qt::Key_Z, {}, 6},            {Qt::Key_Y, {}, 16},
      {Qt::Key_Exclam, {}, 18},    {Qt::Key_At, {}, 19},          {Qt::Key_QuoteLeft, {}, 50},
      {Qt::Key_Space, {}, 49},     {Qt::Key_Return, {}, 36},      {Qt::Key_Enter, {}, 76},
      {Qt::Key_Escape, {}, 53},    {Qt::Key_Backspace, {}, 51},   {Qt::Key_Delete, {}, 117},
      {Qt::Key_Backtab, {}, 48},   {Qt::Key_F5, {}, 96},          {Qt::Key_F13, {}, 105},
      {Qt::Key_Left, {}, 123},     {Qt::Key_PageDown, {}, 121},   {Qt::Key_Menu, {}, 110},
      {Qt::Key_Meta, {}, 55},      {Qt::Key_AltGr, {}, 61},       {Qt::Key_BraceLeft, {}, 33},
      {Qt::Key_0, Qt::KeypadModifier, 82},  {Qt::Key_0, {}, 29},
      {Qt::Key_Asterisk, Qt::KeypadModifier, 67},
      {Qt::Key_LaunchMail, {}, -1}, {Qt::Key_Adiaeresis, {}, -1}, {Qt::Key_unknown, {}, -1},
  };
  for (const Case& c : cases) {
    const auto mac = pane::macKeyCodeForQtKey(c.key, c.mods);
    if (c.mac < 0) {
      EXPECT_FALSE(mac) << "Qt key 0x" << std::hex << c.key;
    } else {
      EXPECT_EQ(mac, std::optional<uint8_t>(c.mac)) << "Qt key 0x" << std::hex << c.key;
    }
  }
}

TEST(CaptureKeyCodes, XkbScanCodesNameThePositionWhateverTheKey) {
  using pane::ScanCodes;
  // The key labelled Y on a German keyboard: xkb key code 52 (evdev 44, the US Z).
  const QKeyEvent german(QEvent::KeyPress, Qt::Key_Y, Qt::NoModifier, 52, 'y', 0, "y");
  EXPECT_EQ(pane::macKeyCodeForKeyEvent(german, ScanCodes::Xkb), std::optional<uint8_t>(6));
  EXPECT_EQ(pane::macKeyCodeForKeyEvent(german, ScanCodes::None), std::optional<uint8_t>(16));
  // An event without a scan code falls back to its key; a scan code without a Mac key does not.
  const QKeyEvent synthetic(QEvent::KeyPress, Qt::Key_Y, Qt::NoModifier, 0, 0, 0, "y");
  EXPECT_EQ(pane::macKeyCodeForKeyEvent(synthetic, ScanCodes::Xkb), std::optional<uint8_t>(16));
  const QKeyEvent level3(QEvent::KeyPress, Qt::Key_AltGr, Qt::NoModifier, 92, 0, 0);
  EXPECT_FALSE(pane::macKeyCodeForKeyEvent(level3, ScanCodes::Xkb));
  const QKeyEvent tooLow(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, 5, 0, 0);
  EXPECT_FALSE(pane::macKeyCodeForKeyEvent(tooLow, ScanCodes::Xkb));
}

TEST(CaptureKeyCodes, CapsLockComesFromTheNativeLockBit) {
  using pane::ScanCodes;
  const QKeyEvent locked(QEvent::KeyPress, Qt::Key_K, Qt::MetaModifier, 45, 'K', 0x42, "K");
  EXPECT_EQ(pane::classicModifiersForKeyEvent(locked, ScanCodes::Xkb), 0x0500);
  EXPECT_EQ(pane::classicModifiersForKeyEvent(locked, ScanCodes::None), 0x0100);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
