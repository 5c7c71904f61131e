#include "sim/describe.h"

#include <cstdio>

#include "keys/key_names.h"
#include "settings/commands.h"
#include "sim/world.h"

namespace sim {

std::string buttonName(int button) {
  switch (button) {
    case 0: case 1: case 2: case 3: return "Button " + std::to_string(button + 1);
    case 8: return "Chord 1";
    case 9: return "Chord 2";
    case 12: return "scroll ring";
    default: return "button " + std::to_string(button);
  }
}

bool driverPerformsCommand(uint16_t command) { return commands::command(command).carriedOutByDriver(); }

std::string commandName(uint16_t c) {
  const std::string name = commands::englishName(commands::command(c));
  return name.empty() ? "command " + std::to_string(c) + " (does nothing)" : name;
}

std::string modifiersName(uint16_t m) {
  const std::string name = GetModifiersName(255, m);
  return name.empty() ? "none" : name;
}

std::string keystrokeName(uint8_t keyCode, uint16_t m) {
  if (keyCode == 255) return m ? modifiersName(m) + " (no key)" : "no key";
  std::string name = GetKeyCombinationNameWithSepAndCase(keyCode, m, "+", "+", 1);
  return name + " (key " + std::to_string(keyCode) + ")";
}

std::string describeSlot(const SettingsRecordSlot& s) {
  const commands::Command c = commands::command(s.command);
  const std::string name = commandName(s.command);
  switch (c.kind) {
    case commands::Kind::DriverKeystroke:
      return name + " " + keystrokeName(static_cast<uint8_t>(s.argument), s.modifiers);
    case commands::Kind::DriverClick:
      return s.modifiers ? name + " with " + modifiersName(s.modifiers) : name;
    case commands::Kind::DriverScroll:
      return name + " x" + std::to_string(s.argument);
    default:
      return c.carriedOutByDriver() ? name : name + " (by the helper)";
  }
}

std::string describeSettings(const SettingsRecord& record, const std::vector<int>& buttons) {
  const auto d = decodeSettingsRecord(record);
  std::string t = d.driverEnabled ? "driver on" : "driver off";
  t += d.speed == 255 ? ", speed not given" : ", speed " + std::to_string(d.speed * 20) + " dpi";
  if (d.acceleration == 255) {
    t += ", acceleration not given";
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d.%02d", d.acceleration / 100, d.acceleration % 100);
    t += d.acceleration ? std::string(", acceleration ") + buf : ", no acceleration";
  }
  if (d.axisFlags & 1) t += ", x inverted";
  if (d.axisFlags & 2) t += ", y inverted";
  if (d.axisFlags & 4) t += ", z inverted";
  if (d.axisFlags & 8) t += ", x and y swapped";
  if (d.invertWheel) t += ", wheel inverted";
  if (d.inertialScroll) t += ", inertial scrolling";
  if (d.slowModifiers) t += ", slow with " + modifiersName(static_cast<uint16_t>(d.slowModifiers << 8));
  if (d.singleModifiers)
    t += ", single axis with " + modifiersName(static_cast<uint16_t>(d.singleModifiers << 8));
  t += "; " + std::to_string(d.buttonCount) + " buttons";
  bool first = true;
  for (int n = 0; n < kSettingsRecordSlots; ++n) {
    const auto& slot = d.slots[static_cast<size_t>(n)];
    bool listed = buttons.empty() ? slot.command != 0 : false;
    for (int b : buttons)
      if (b == n) listed = true;
    if (!listed) continue;
    t += first ? ": " : ", ";
    first = false;
    t += buttonName(n) + " " + describeSlot(slot);
  }
  return t;
}

pl::DictRef settingsFields(const SettingsRecord& record) {
  const auto d = decodeSettingsRecord(record);
  auto f = pl::makeDict();
  f->setInteger("driver enabled", d.driverEnabled);
  f->setInteger("speed", d.speed);
  f->setInteger("acceleration", d.acceleration);
  f->setInteger("axis flags", d.axisFlags);
  f->setInteger("invert wheel", d.invertWheel);
  f->setInteger("slow modifiers", d.slowModifiers);
  f->setInteger("single modifiers", d.singleModifiers);
  f->setInteger("button count", d.buttonCount);
  f->setInteger("inertial scroll", d.inertialScroll);
  auto slots = pl::makeArray();
  for (const auto& s : d.slots) {
    auto slot = pl::makeDict();
    slot->setInteger("command", s.command);
    slot->setInteger("modifiers", s.modifiers);
    slot->setInteger("argument", s.argument);
    slots->append(slot);
  }
  f->set("slots", slots);
  f->setString("raw", hex(record.data(), record.size()));
  return f;
}

std::string describeScroll(const std::array<uint8_t, 10>& r) {
  std::string t = "scroll parameters:";
  for (size_t i = 0; i < 5; ++i)
    t += std::string(i ? ", " : " ") + kScrollRecordFields[i] + " " + std::to_string(getU16(&r[i * 2]));
  return t;
}

pl::DictRef scrollFields(const std::array<uint8_t, 10>& r) {
  auto f = pl::makeDict();
  for (size_t i = 0; i < 5; ++i) f->setInteger(kScrollRecordFields[i], getU16(&r[i * 2]));
  f->setString("raw", hex(r.data(), r.size()));
  return f;
}

std::string describeControl(uint32_t code, uint32_t p) {
  if (code == driver::kControlKeystroke) {
    const auto key = static_cast<uint8_t>((p >> 8) & 0xFF);
    const auto mods = static_cast<uint16_t>(p >> 16);
    if (key == 255 && mods == 0x0200) return "keyboard made active (Shift, no key)";
    return "types " + keystrokeName(key, mods);
  }
  if (code == driver::kControlRawReports) return p ? "state reports on" : "state reports off";
  if (code == driver::kControlModifiers) return "told the modifier keys held: " + modifiersName(static_cast<uint16_t>(p));
  if (code == driver::kControlPopUp) return p ? "helper menu open" : "helper menu closed";
  return "control " + FourCharCodeString(code) + " " + std::to_string(p);
}

std::string hex(const uint8_t* bytes, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  s.reserve(n * 2);
  for (size_t i = 0; i < n; ++i) {
    s += digits[bytes[i] >> 4];
    s += digits[bytes[i] & 15];
  }
  return s;
}

}  // namespace sim
