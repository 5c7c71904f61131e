// Virtual key codes of the Mac keyboard and their counterparts among the Linux (evdev) keys.
//
// Key codes throughout keys/ and the rest of the system are the Mac's virtual key codes (0-127).
// The counterpart of each is the evdev key in the same physical position; the xkb key code is
// the evdev code + 8. The table lives in keycodes.cpp and nowhere else.
#pragma once

#include <cstdint>
#include <optional>

namespace keys {

// The virtual key codes that have a name in the rest of the code.
enum MacKey : uint8_t {
  kMacKeyA = 0, kMacKeyS = 1, kMacKeyD = 2, kMacKeyF = 3, kMacKeyH = 4, kMacKeyG = 5,
  kMacKeyZ = 6, kMacKeyX = 7, kMacKeyC = 8, kMacKeyV = 9, kMacKeySection = 10, kMacKeyB = 11,
  kMacKeyQ = 12, kMacKeyW = 13, kMacKeyE = 14, kMacKeyR = 15, kMacKeyY = 16, kMacKeyT = 17,
  kMacKey1 = 18, kMacKey2 = 19, kMacKey3 = 20, kMacKey4 = 21, kMacKey6 = 22, kMacKey5 = 23,
  kMacKeyEqual = 24, kMacKey9 = 25, kMacKey7 = 26, kMacKeyMinus = 27, kMacKey8 = 28,
  kMacKey0 = 29, kMacKeyRightBracket = 30, kMacKeyO = 31, kMacKeyU = 32,
  kMacKeyLeftBracket = 33, kMacKeyI = 34, kMacKeyP = 35, kMacKeyReturn = 36, kMacKeyL = 37,
  kMacKeyJ = 38, kMacKeyQuote = 39, kMacKeyK = 40, kMacKeySemicolon = 41,
  kMacKeyBackslash = 42, kMacKeyComma = 43, kMacKeySlash = 44, kMacKeyN = 45, kMacKeyM = 46,
  kMacKeyPeriod = 47, kMacKeyTab = 48, kMacKeySpace = 49, kMacKeyGrave = 50,
  kMacKeyDelete = 51, kMacKeyEscape = 53, kMacKeyRightCommand = 54, kMacKeyCommand = 55,
  kMacKeyShift = 56, kMacKeyCapsLock = 57, kMacKeyOption = 58, kMacKeyControl = 59,
  kMacKeyRightShift = 60, kMacKeyRightOption = 61, kMacKeyRightControl = 62,
  kMacKeyFunction = 63, kMacKeyF17 = 64, kMacKeyKeypadDecimal = 65,
  kMacKeyKeypadMultiply = 67, kMacKeyKeypadPlus = 69, kMacKeyKeypadClear = 71,
  kMacKeyVolumeUp = 72, kMacKeyVolumeDown = 73, kMacKeyMute = 74, kMacKeyKeypadDivide = 75,
  kMacKeyKeypadEnter = 76, kMacKeyKeypadMinus = 78, kMacKeyF18 = 79, kMacKeyF19 = 80,
  kMacKeyKeypadEquals = 81, kMacKeyKeypad0 = 82, kMacKeyKeypad1 = 83, kMacKeyKeypad2 = 84,
  kMacKeyKeypad3 = 85, kMacKeyKeypad4 = 86, kMacKeyKeypad5 = 87, kMacKeyKeypad6 = 88,
  kMacKeyKeypad7 = 89, kMacKeyF20 = 90, kMacKeyKeypad8 = 91, kMacKeyKeypad9 = 92,
  kMacKeyJISYen = 93, kMacKeyJISUnderscore = 94, kMacKeyJISKeypadComma = 95, kMacKeyF5 = 96,
  kMacKeyF6 = 97, kMacKeyF7 = 98, kMacKeyF3 = 99, kMacKeyF8 = 100, kMacKeyF9 = 101,
  kMacKeyJISEisu = 102, kMacKeyF11 = 103, kMacKeyJISKana = 104, kMacKeyF13 = 105,
  kMacKeyF16 = 106, kMacKeyF14 = 107, kMacKeyF10 = 109, kMacKeyContextualMenu = 110,
  kMacKeyF12 = 111, kMacKeyF15 = 113, kMacKeyHelp = 114, kMacKeyHome = 115,
  kMacKeyPageUp = 116, kMacKeyForwardDelete = 117, kMacKeyF4 = 118, kMacKeyEnd = 119,
  kMacKeyF2 = 120, kMacKeyPageDown = 121, kMacKeyF1 = 122, kMacKeyLeftArrow = 123,
  kMacKeyRightArrow = 124, kMacKeyDownArrow = 125, kMacKeyUpArrow = 126,
};

// One row of the table: a virtual key code and the evdev key in its place.
struct KeyPair {
  uint8_t mac;
  uint16_t evdev;
};

// The whole table, in ascending virtual key code; each code and each evdev key appears once.
const KeyPair* keyPairs(std::size_t* count);

// The evdev key of a virtual key code (any value), or nothing when it has no counterpart.
std::optional<uint16_t> evdevForMacKey(unsigned macKey);

// The virtual key code of an evdev key. Besides the table's keys this also knows a few PC keys
// that a Mac takes as another key (Print Screen, Scroll Lock and Pause as F13 to F15, Help as
// Help, the Korean language keys as the Japanese ones). Nothing for keys without one.
std::optional<uint8_t> macKeyForEvdev(unsigned evdev);

// The control character that a Mac layout gives a key that types nothing printable (arrows,
// Home, End, Return, function keys, ...) whatever the modifiers, or 0 for other keys. Space
// gives 0x20 here only as a fallback; the layout decides first.
uint8_t fixedKeyCharacter(unsigned macKey);

}  // namespace keys
