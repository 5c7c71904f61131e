#include "keys/keycodes.h"

#include <array>

namespace keys {
namespace {

// Virtual key code -> evdev key (linux/input-event-codes.h), by physical position. On an ISO
// keyboard the key left of "1" is Grave (50) and the key right of the left Shift is Section
// (10), as the keyboards report them. Key codes without a counterpart are left out: 52, 63
// (fn, beyond the range xkb keymaps describe), 66, 68, 70, 77, 108, 112, 127.
constexpr KeyPair kPairs[] = {
    {0, 30},     // A
    {1, 31},     // S
    {2, 32},     // D
    {3, 33},     // F
    {4, 35},     // H
    {5, 34},     // G
    {6, 44},     // Z
    {7, 45},     // X
    {8, 46},     // C
    {9, 47},     // V
    {10, 86},    // Section: KEY_102ND (ISO key next to the left Shift)
    {11, 48},    // B
    {12, 16},    // Q
    {13, 17},    // W
    {14, 18},    // E
    {15, 19},    // R
    {16, 21},    // Y
    {17, 20},    // T
    {18, 2},     // 1
    {19, 3},     // 2
    {20, 4},     // 3
    {21, 5},     // 4
    {22, 7},     // 6
    {23, 6},     // 5
    {24, 13},    // =
    {25, 10},    // 9
    {26, 8},     // 7
    {27, 12},    // -
    {28, 9},     // 8
    {29, 11},    // 0
    {30, 27},    // ]
    {31, 24},    // O
    {32, 22},    // U
    {33, 26},    // [
    {34, 23},    // I
    {35, 25},    // P
    {36, 28},    // Return
    {37, 38},    // L
    {38, 36},    // J
    {39, 40},    // '
    {40, 37},    // K
    {41, 39},    // ;
    {42, 43},    // backslash (ISO: the key left of Return)
    {43, 51},    // ,
    {44, 53},    // /
    {45, 49},    // N
    {46, 50},    // M
    {47, 52},    // .
    {48, 15},    // Tab
    {49, 57},    // Space
    {50, 41},    // Grave
    {51, 14},    // Delete: KEY_BACKSPACE
    {53, 1},     // Escape
    {54, 126},   // right Command: KEY_RIGHTMETA
    {55, 125},   // Command: KEY_LEFTMETA
    {56, 42},    // Shift
    {57, 58},    // Caps Lock
    {58, 56},    // Option: KEY_LEFTALT
    {59, 29},    // Control
    {60, 54},    // right Shift
    {61, 100},   // right Option: KEY_RIGHTALT
    {62, 97},    // right Control
    {64, 187},   // F17
    {65, 83},    // keypad .
    {67, 55},    // keypad *
    {69, 78},    // keypad +
    {71, 69},    // keypad Clear: KEY_NUMLOCK
    {72, 115},   // volume up
    {73, 114},   // volume down
    {74, 113},   // mute
    {75, 98},    // keypad /
    {76, 96},    // keypad Enter
    {78, 74},    // keypad -
    {79, 188},   // F18
    {80, 189},   // F19
    {81, 117},   // keypad =
    {82, 82},    // keypad 0
    {83, 79},    // keypad 1
    {84, 80},    // keypad 2
    {85, 81},    // keypad 3
    {86, 75},    // keypad 4
    {87, 76},    // keypad 5
    {88, 77},    // keypad 6
    {89, 71},    // keypad 7
    {90, 190},   // F20
    {91, 72},    // keypad 8
    {92, 73},    // keypad 9
    {93, 124},   // JIS Yen
    {94, 89},    // JIS underscore: KEY_RO
    {95, 95},    // JIS keypad comma: KEY_KPJPCOMMA
    {96, 63},    // F5
    {97, 64},    // F6
    {98, 65},    // F7
    {99, 61},    // F3
    {100, 66},   // F8
    {101, 67},   // F9
    {102, 94},   // JIS Eisu: KEY_MUHENKAN (left of the space bar)
    {103, 87},   // F11
    {104, 92},   // JIS Kana: KEY_HENKAN (right of the space bar)
    {105, 183},  // F13
    {106, 186},  // F16
    {107, 184},  // F14
    {109, 68},   // F10
    {110, 127},  // contextual menu: KEY_COMPOSE
    {111, 88},   // F12
    {113, 185},  // F15
    {114, 110},  // Help: KEY_INSERT
    {115, 102},  // Home
    {116, 104},  // Page Up
    {117, 111},  // forward delete: KEY_DELETE
    {118, 62},   // F4
    {119, 107},  // End
    {120, 60},   // F2
    {121, 109},  // Page Down
    {122, 59},   // F1
    {123, 105},  // left arrow
    {124, 106},  // right arrow
    {125, 108},  // down arrow
    {126, 103},  // up arrow
};

// PC keys a Mac takes as one of its own keys; only read from evdev to virtual key code.
constexpr KeyPair kEvdevAliases[] = {
    {105, 99},   // Print Screen (KEY_SYSRQ) -> F13
    {107, 70},   // Scroll Lock -> F14
    {113, 119},  // Pause -> F15
    {114, 138},  // KEY_HELP -> Help
    {104, 122},  // KEY_HANGEUL (LANG1) -> Kana
    {102, 123},  // KEY_HANJA (LANG2) -> Eisu
    {95, 121},   // KEY_KPCOMMA -> JIS keypad comma
};

constexpr uint16_t kNone = 0xFFFF;

struct Lookup {
  std::array<uint16_t, 128> evdev{};
  std::array<uint8_t, 512> mac{};
  constexpr Lookup() {
    for (auto& e : evdev) e = kNone;
    for (auto& m : mac) m = 0xFF;
    for (const auto& p : kPairs) {
      evdev[p.mac] = p.evdev;
      mac[p.evdev] = p.mac;
    }
    for (const auto& p : kEvdevAliases)
      if (mac[p.evdev] == 0xFF) mac[p.evdev] = p.mac;
  }
};

constexpr Lookup kLookup;

}  // namespace

const KeyPair* keyPairs(std::size_t* count) {
  if (count) *count = std::size(kPairs);
  return kPairs;
}

std::optional<uint16_t> evdevForMacKey(unsigned macKey) {
  if (macKey >= kLookup.evdev.size() || kLookup.evdev[macKey] == kNone) return std::nullopt;
  return kLookup.evdev[macKey];
}

std::optional<uint8_t> macKeyForEvdev(unsigned evdev) {
  if (evdev >= kLookup.mac.size() || kLookup.mac[evdev] == 0xFF) return std::nullopt;
  return kLookup.mac[evdev];
}

uint8_t fixedKeyCharacter(unsigned macKey) {
  switch (macKey) {
    case kMacKeyLeftArrow: return 0x1C;
    case kMacKeyRightArrow: return 0x1D;
    case kMacKeyUpArrow: return 0x1E;
    case kMacKeyDownArrow: return 0x1F;
    case kMacKeyHome: return 0x01;
    case kMacKeyKeypadEnter: return 0x03;
    case kMacKeyEnd: return 0x04;
    case kMacKeyHelp: return 0x05;
    case kMacKeyDelete: return 0x08;
    case kMacKeyTab: return 0x09;
    case kMacKeyPageUp: return 0x0B;
    case kMacKeyPageDown: return 0x0C;
    case kMacKeyReturn: return 0x0D;
    case kMacKeyEscape:
    case kMacKeyKeypadClear: return 0x1B;
    case kMacKeyForwardDelete: return 0x7F;
    case kMacKeySpace: return 0x20;
    case kMacKeyF1: case kMacKeyF2: case kMacKeyF3: case kMacKeyF4: case kMacKeyF5:
    case kMacKeyF6: case kMacKeyF7: case kMacKeyF8: case kMacKeyF9: case kMacKeyF10:
    case kMacKeyF11: case kMacKeyF12: case kMacKeyF13: case kMacKeyF14: case kMacKeyF15:
    case kMacKeyF16: case kMacKeyF17: case kMacKeyF18: case kMacKeyF19: case kMacKeyF20:
      return 0x10;
    default: return 0;
  }
}

}  // namespace keys
