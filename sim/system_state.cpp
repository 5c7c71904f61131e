#include "sim/system_state.h"

#include "sim/driver_wire.h"

namespace simbus {

std::vector<uint8_t> encodeSystemState(const SystemState& s) {
  driverwire::Writer w;
  w.u8(s.sessionDictionary).u8(s.hasOnConsoleKey).u8(s.onConsole);
  w.u32(s.keyModifiers).u32(s.mouseButtons);
  w.u8(s.accessibility).u8(s.focusDepth).u8(s.buttonEnabled);
  w.f64(s.x).f64(s.y).f64(s.width).f64(s.height);
  w.u64(static_cast<uint64_t>(s.children));
  return w.bytes();
}

std::optional<SystemState> decodeSystemState(const uint8_t* bytes, size_t n) {
  driverwire::Reader r(bytes, n);
  SystemState s;
  s.sessionDictionary = r.u8() != 0;
  s.hasOnConsoleKey = r.u8() != 0;
  s.onConsole = r.u8() != 0;
  s.keyModifiers = r.u32();
  s.mouseButtons = r.u32();
  s.accessibility = r.u8() != 0;
  s.focusDepth = r.u8();
  s.buttonEnabled = r.u8() != 0;
  s.x = r.f64();
  s.y = r.f64();
  s.width = r.f64();
  s.height = r.f64();
  s.children = static_cast<int64_t>(r.u64());
  if (!r.ok() || !r.atEnd()) return std::nullopt;
  return s;
}

}  // namespace simbus
