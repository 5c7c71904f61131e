// The part of the simulated operating system's state that clients read all the time: the console
// session, the modifier keys and mouse buttons held, whether accessibility access is granted,
// and the focused window with its default button. The simulator sends all of it whenever any of
// it changes, numbered in sequence (signal "SystemStateChanged" on the bus, an event on the
// direct driver socket), and answers "SystemState" with the current one; clients keep the
// newest, so that reading it is a lookup and never waits for the simulator.
//
// Encoding (driverwire's little-endian writer): u8 session dictionary, u8 on-console entry,
// u8 on console, u32 key modifiers (classic), u32 mouse buttons, u8 accessibility, u8 focus
// depth, u8 default button enabled, f64 x, y, width, height of the default button, u64 window
// children (two's complement; -1 when they cannot be read).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace simbus {

struct SystemState {
  // The console session: no session dictionary at all, or one with or without the entry.
  bool sessionDictionary = true;
  bool hasOnConsoleKey = true;
  bool onConsole = true;
  uint32_t keyModifiers = 0;  // classic modifiers
  uint32_t mouseButtons = 0;  // bit 0 primary, bit 1 secondary, ...
  bool accessibility = true;
  // How far the chain of focused objects goes: 0 no application, 1 application, 2 window,
  // 3 default button.
  uint8_t focusDepth = 1;
  bool buttonEnabled = true;
  double x = 0, y = 0, width = 0, height = 0;
  int64_t children = -1;

  bool operator==(const SystemState&) const = default;
};

std::vector<uint8_t> encodeSystemState(const SystemState& state);
// Nothing unless the bytes are exactly one encoded state.
std::optional<SystemState> decodeSystemState(const uint8_t* bytes, size_t n);

}  // namespace simbus
