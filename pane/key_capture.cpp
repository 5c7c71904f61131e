#include "pane/key_capture.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>

#include <linux/input-event-codes.h>

#include <iterator>

#include "keys/key_tables.h"
#include "keys/keycodes.h"

namespace pane {
namespace {

// X11's core state and the xkb mask of Wayland both keep Lock in this bit.
constexpr quint32 kNativeLockBit = 0x02;

// A printable key of a US keyboard: what it types without and with Shift, and where it is.
struct UsKey {
  char plain;
  char shifted;
  uint16_t evdev;
};

constexpr UsKey kUsKeys[] = {
    {'`', '~', KEY_GRAVE},      {'1', '!', KEY_1},           {'2', '@', KEY_2},
    {'3', '#', KEY_3},          {'4', '$', KEY_4},           {'5', '%', KEY_5},
    {'6', '^', KEY_6},          {'7', '&', KEY_7},           {'8', '*', KEY_8},
    {'9', '(', KEY_9},          {'0', ')', KEY_0},           {'-', '_', KEY_MINUS},
    {'=', '+', KEY_EQUAL},      {'q', 'Q', KEY_Q},           {'w', 'W', KEY_W},
    {'e', 'E', KEY_E},          {'r', 'R', KEY_R},           {'t', 'T', KEY_T},
    {'y', 'Y', KEY_Y},          {'u', 'U', KEY_U},           {'i', 'I', KEY_I},
    {'o', 'O', KEY_O},          {'p', 'P', KEY_P},           {'[', '{', KEY_LEFTBRACE},
    {']', '}', KEY_RIGHTBRACE}, {'\\', '|', KEY_BACKSLASH},  {'a', 'A', KEY_A},
    {'s', 'S', KEY_S},          {'d', 'D', KEY_D},           {'f', 'F', KEY_F},
    {'g', 'G', KEY_G},          {'h', 'H', KEY_H},           {'j', 'J', KEY_J},
    {'k', 'K', KEY_K},          {'l', 'L', KEY_L},           {';', ':', KEY_SEMICOLON},
    {'\'', '"', KEY_APOSTROPHE}, {'z', 'Z', KEY_Z},          {'x', 'X', KEY_X},
    {'c', 'C', KEY_C},          {'v', 'V', KEY_V},           {'b', 'B', KEY_B},
    {'n', 'N', KEY_N},          {'m', 'M', KEY_M},           {',', '<', KEY_COMMA},
    {'.', '>', KEY_DOT},        {'/', '?', KEY_SLASH},       {' ', ' ', KEY_SPACE},
};

// Keys of the numeric keypad that Qt reports as characters with Qt::KeypadModifier.
struct KeypadKey {
  char character;
  uint16_t evdev;
};

constexpr KeypadKey kKeypadKeys[] = {
    {'0', KEY_KP0},    {'1', KEY_KP1},        {'2', KEY_KP2},     {'3', KEY_KP3},
    {'4', KEY_KP4},    {'5', KEY_KP5},        {'6', KEY_KP6},     {'7', KEY_KP7},
    {'8', KEY_KP8},    {'9', KEY_KP9},        {'.', KEY_KPDOT},   {'*', KEY_KPASTERISK},
    {'+', KEY_KPPLUS}, {'-', KEY_KPMINUS},    {'/', KEY_KPSLASH}, {'=', KEY_KPEQUAL},
    {',', KEY_KPCOMMA},
};

// The other keys with a Mac counterpart, by Qt key.
struct NamedKey {
  int qt;
  uint16_t evdev;
};

constexpr NamedKey kNamedKeys[] = {
    {Qt::Key_Escape, KEY_ESC},          {Qt::Key_Tab, KEY_TAB},
    {Qt::Key_Backtab, KEY_TAB},         {Qt::Key_Backspace, KEY_BACKSPACE},
    {Qt::Key_Return, KEY_ENTER},        {Qt::Key_Enter, KEY_KPENTER},
    {Qt::Key_Insert, KEY_INSERT},       {Qt::Key_Delete, KEY_DELETE},
    {Qt::Key_Pause, KEY_PAUSE},         {Qt::Key_Print, KEY_SYSRQ},
    {Qt::Key_SysReq, KEY_SYSRQ},        {Qt::Key_Clear, KEY_NUMLOCK},
    {Qt::Key_Home, KEY_HOME},           {Qt::Key_End, KEY_END},
    {Qt::Key_Left, KEY_LEFT},           {Qt::Key_Up, KEY_UP},
    {Qt::Key_Right, KEY_RIGHT},         {Qt::Key_Down, KEY_DOWN},
    {Qt::Key_PageUp, KEY_PAGEUP},       {Qt::Key_PageDown, KEY_PAGEDOWN},
    {Qt::Key_Shift, KEY_LEFTSHIFT},     {Qt::Key_Control, KEY_LEFTCTRL},
    {Qt::Key_Meta, KEY_LEFTMETA},       {Qt::Key_Super_L, KEY_LEFTMETA},
    {Qt::Key_Super_R, KEY_RIGHTMETA},   {Qt::Key_Alt, KEY_LEFTALT},
    {Qt::Key_AltGr, KEY_RIGHTALT},      {Qt::Key_CapsLock, KEY_CAPSLOCK},
    {Qt::Key_NumLock, KEY_NUMLOCK},     {Qt::Key_ScrollLock, KEY_SCROLLLOCK},
    {Qt::Key_F1, KEY_F1},               {Qt::Key_F2, KEY_F2},
    {Qt::Key_F3, KEY_F3},               {Qt::Key_F4, KEY_F4},
    {Qt::Key_F5, KEY_F5},               {Qt::Key_F6, KEY_F6},
    {Qt::Key_F7, KEY_F7},               {Qt::Key_F8, KEY_F8},
    {Qt::Key_F9, KEY_F9},               {Qt::Key_F10, KEY_F10},
    {Qt::Key_F11, KEY_F11},             {Qt::Key_F12, KEY_F12},
    {Qt::Key_F13, KEY_F13},             {Qt::Key_F14, KEY_F14},
    {Qt::Key_F15, KEY_F15},             {Qt::Key_F16, KEY_F16},
    {Qt::Key_F17, KEY_F17},             {Qt::Key_F18, KEY_F18},
    {Qt::Key_F19, KEY_F19},             {Qt::Key_F20, KEY_F20},
    {Qt::Key_Menu, KEY_COMPOSE},        {Qt::Key_Help, KEY_HELP},
    {Qt::Key_VolumeUp, KEY_VOLUMEUP},   {Qt::Key_VolumeDown, KEY_VOLUMEDOWN},
    {Qt::Key_VolumeMute, KEY_MUTE},     {Qt::Key_Henkan, KEY_HENKAN},
    {Qt::Key_Muhenkan, KEY_MUHENKAN},
};

std::optional<uint16_t> evdevForQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (modifiers & Qt::KeypadModifier) {
    for (const KeypadKey& k : kKeypadKeys)
      if (qtKey == k.character) return k.evdev;
  }
  if (qtKey > 0 && qtKey < 0x80) {
    for (const UsKey& k : kUsKeys)
      if (qtKey == k.plain || qtKey == k.shifted) return k.evdev;
    return std::nullopt;
  }
  for (const NamedKey& k : kNamedKeys)
    if (qtKey == k.qt) return k.evdev;
  return std::nullopt;
}

}  // namespace

ScanCodes platformScanCodes() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland")))
    return ScanCodes::Xkb;
  return ScanCodes::None;
}

std::optional<uint8_t> macKeyCodeForQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  const std::optional<uint16_t> evdev = evdevForQtKey(qtKey, modifiers);
  if (!evdev) return std::nullopt;
  return keys::macKeyForEvdev(*evdev);
}

std::optional<uint8_t> macKeyCodeForKeyEvent(const QKeyEvent& event, ScanCodes scanCodes) {
  const quint32 scan = event.nativeScanCode();
  if (scanCodes == ScanCodes::Xkb && scan != 0) {
    if (scan < 8) return std::nullopt;
    return keys::macKeyForEvdev(scan - 8);
  }
  return macKeyCodeForQtKey(event.key(), event.modifiers());
}

uint16_t classicModifiersForKeyEvent(const QKeyEvent& event, ScanCodes scanCodes) {
  const Qt::KeyboardModifiers m = event.modifiers();
  uint16_t classic = 0;
  if (m & Qt::MetaModifier) classic |= kClassicCommand;
  if (m & Qt::ShiftModifier) classic |= kClassicShift;
  if (scanCodes == ScanCodes::Xkb && (event.nativeModifiers() & kNativeLockBit))
    classic |= kClassicCapsLock;
  if (m & (Qt::AltModifier | Qt::GroupSwitchModifier)) classic |= kClassicOption;
  if (m & Qt::ControlModifier) classic |= kClassicControl;
  return classic;
}

bool isModifierKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Meta: case Qt::Key_Alt:
    case Qt::Key_AltGr: case Qt::Key_CapsLock: case Qt::Key_NumLock: case Qt::Key_Super_L:
    case Qt::Key_Super_R: case Qt::Key_Hyper_L: case Qt::Key_Hyper_R: case Qt::Key_Mode_switch:
      return true;
    default:
      return false;
  }
}

}  // namespace pane

namespace {

VantrelKeystrokeReceiver* gReceiver = nullptr;

class CaptureFilter final : public QObject {
 public:
  using QObject::QObject;

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    VantrelKeystrokeReceiver* receiver = gReceiver;
    if (!receiver || !receiver->vtlOverrideKeysIsActive()) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (pane::isModifierKey(key->key())) return false;
    // Accepted and filtered: an accepted ShortcutOverride keeps the shortcut map out of it (the
    // key press follows), and an accepted key press is not offered to the parent widgets.
    key->accept();
    if (type == QEvent::KeyPress) VantrelSendKeystrokeToField(*key);
    return true;
  }
};

QPointer<CaptureFilter> gFilter;

}  // namespace

void VantrelSwapNSAppMethods(VantrelKeystrokeReceiver* receiver) {
  gReceiver = receiver;
  QCoreApplication* app = QCoreApplication::instance();
  if (receiver) {
    if (!gFilter && app) {
      gFilter = new CaptureFilter(app);  // goes with the application at the latest
      app->installEventFilter(gFilter);
    }
    return;
  }
  if (gFilter) {
    if (app) app->removeEventFilter(gFilter);
    delete gFilter;  // the filter may be on the stack (a receiver that unselects the pane);
                     // it touches nothing of itself after handing the key on
  }
}

bool VantrelKeystrokeCaptureInstalled() { return !gFilter.isNull(); }

void VantrelSendKeystrokeToField(const QKeyEvent& event) {
  VantrelKeystrokeReceiver* receiver = gReceiver;
  if (!receiver) return;
  const pane::ScanCodes scanCodes = pane::platformScanCodes();
  const std::optional<uint8_t> keyCode = pane::macKeyCodeForKeyEvent(event, scanCodes);
  if (!keyCode) return;
  const QString text = event.text();
  const uint16_t character = text.isEmpty() ? 0 : text.at(0).unicode();
  receiver->vtlReceiveKeystroke(*keyCode, character,
                                pane::classicModifiersForKeyEvent(event, scanCodes));
}
