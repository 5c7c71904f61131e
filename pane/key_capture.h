// Keystroke capture of the preferences pane.
//
// While the pane is selected, an application-wide event filter offers every key press to the
// capture receiver (the assignment editor). When the receiver asks for key presses
// (vtlOverrideKeysIsActive), the filter consumes the press, including one that would otherwise
// trigger a shortcut (it also takes the ShortcutOverride that precedes it), and hands it to the
// receiver as a Mac virtual key code, its character and the classic modifiers. Otherwise every
// key event passes unchanged. Main thread only.
//
// Key code: the native scan code where the platform gives xkb key codes (X11/xcb and Wayland:
// evdev + 8) through keys::macKeyForEvdev, so a key is named by its position whatever the
// layout (the key labelled Y on a German keyboard is the Mac's Z, 6). Where there is no scan
// code (the offscreen platform, synthesised events) the Qt key is taken at its place on a US
// keyboard. A key press with no Mac counterpart is consumed but not handed on.
//
// Modifier keys pressed on their own (Shift, Control, Super, Alt, AltGr, Caps Lock, Num Lock)
// are not key presses for the receiver, as on the Mac, where they only change the modifier
// flags: they pass unchanged, so Command-Shift-K arrives once, as key 40 with 0x0300.
//
// Classic modifiers, the same correspondence as keys/ uses for typing (keycodes.cpp: Command is
// KEY_LEFTMETA, Option KEY_LEFTALT, right Option KEY_RIGHTALT; layout.cpp: Option chooses the
// third level):
//   Super / Meta (Qt::MetaModifier)          -> Command   0x0100
//   Shift                                    -> Shift     0x0200
//   Caps Lock while locked (native Lock bit) -> Caps Lock 0x0400
//   Alt (Qt::AltModifier)                    -> Option    0x0800
//   AltGr (Qt::GroupSwitchModifier)          -> Option    0x0800
//   Ctrl (Qt::ControlModifier)               -> Control   0x1000
// AltGr is Option because it is the key that chooses the third level, which is what Option does
// in the key tables: AltGr+Q on a German layout types "@", and the key tables type "@" there as
// Option+Q; the AltGr key itself (KEY_RIGHTALT) is the right Option key. Caps Lock counts while
// it is locked, as the Mac reports it, and as the key tables and key names read 0x0400; Linux
// has the lock state only in the native modifiers (bit 0x02 of the X core state and of the xkb
// mask that Wayland sends), so the offscreen platform never reports it. Num Lock has no Mac
// counterpart and is ignored (keypad keys are told apart by their key codes).
#pragma once

#include <Qt>

#include <cstdint>
#include <optional>

class QKeyEvent;

// The object that captured keystrokes go to (the assignment editor).
class VantrelKeystrokeReceiver {
 public:
  virtual ~VantrelKeystrokeReceiver() = default;
  // Whether the receiver wants key presses now (its keystroke field is being edited).
  virtual bool vtlOverrideKeysIsActive() = 0;
  // One captured key press: Mac virtual key code (0-127), the first UTF-16 unit of the text it
  // types (0 when none), classic modifiers.
  virtual void vtlReceiveKeystroke(unsigned keyCode, uint16_t character, unsigned modifiers) = 0;
};

// With a receiver: installs the capture on the running Qt application and makes it the
// receiver (installing again only changes the receiver). With null: removes the capture and
// forgets the receiver, leaving the application's event handling as it was. The pane calls it
// with the editor when selected and with null when unselected; a receiver must stay alive
// until it is replaced or removed. Without a Qt application nothing is installed.
void VantrelSwapNSAppMethods(VantrelKeystrokeReceiver* receiver);

// Whether the capture is installed.
bool VantrelKeystrokeCaptureInstalled();

// Hands a key press to the capture receiver: its key code, character and classic modifiers.
// Nothing happens without a receiver or for a key without a Mac counterpart.
void VantrelSendKeystrokeToField(const QKeyEvent& event);

namespace pane {

// What the native scan codes of key events are on a platform.
enum class ScanCodes {
  None,  // no scan codes (offscreen, minimal, VNC, ...): the Qt key decides
  Xkb,   // xkb key codes, evdev + 8 (xcb, Wayland)
};

// The kind of scan codes the running Qt application's platform gives.
ScanCodes platformScanCodes();

// The Mac virtual key code of a key event: from its scan code (when `scanCodes` says there are
// any and the event has one), else from its Qt key. Nothing when the key has no counterpart.
std::optional<uint8_t> macKeyCodeForKeyEvent(const QKeyEvent& event, ScanCodes scanCodes);

// The Mac virtual key code of a Qt key at its place on a US keyboard; Qt::KeypadModifier
// chooses the keypad's keys for digits, signs and Enter.
std::optional<uint8_t> macKeyCodeForQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The classic modifiers of a key event (see the table above).
uint16_t classicModifiersForKeyEvent(const QKeyEvent& event, ScanCodes scanCodes);

// Whether a Qt key is a modifier key (Shift, Control, Meta, Alt, AltGr, Caps Lock, ...).
bool isModifierKey(int qtKey);

}  // namespace pane
