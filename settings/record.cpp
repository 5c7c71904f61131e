#include "settings/record.h"

#include <cmath>

#include "settings/commands.h"
#include "settings/device_info.h"
#include "settings/dict_access.h"

using settings_detail::rawBool;
using settings_detail::rawDict;
using settings_detail::rawGet;
using settings_detail::rawInteger;
using settings_detail::rawUnsigned;

namespace {

// The slot number of a "buttons" key: exactly two characters holding a decimal number 0..15
// at their start (leading white space and a sign allowed, trailing characters ignored, as a
// "%d" conversion reads it). -1 when the key names no slot.
int slotOfKey(std::string_view key) {
  if (key.size() != 2) return -1;
  size_t i = 0;
  while (i < key.size() && (key[i] == ' ' || (key[i] >= '\t' && key[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < key.size() && (key[i] == '+' || key[i] == '-')) negative = key[i++] == '-';
  if (i >= key.size() || key[i] < '0' || key[i] > '9') return -1;
  int n = 0;
  for (; i < key.size() && key[i] >= '0' && key[i] <= '9'; ++i) n = n * 10 + (key[i] - '0');
  if (negative) n = -n;
  return n >= 0 && n < kSettingsRecordSlots ? n : -1;
}

// Speed and acceleration bytes: 255 means "not given". Values that the range checks accept but
// that do not fit a byte (speeds above 5080 dpi, factors above 2.54) are stored as 254, the
// largest that still means a value, instead of wrapping round to a small one.
constexpr uint8_t kNotGiven = 255;
uint8_t saturate(int64_t v) { return static_cast<uint8_t>(v < kNotGiven ? v : kNotGiven - 1); }

void fillOptions(const pl::Dictionary* options, uint8_t* r) {
  if (const pl::Object* speed = rawGet(options, "speed")) {
    const int64_t v = pl::integerValue(speed);
    r[1] = (v < 80 || v > 6400) ? kNotGiven : saturate(v / 20);
  }
  if (const pl::Object* accel = rawGet(options, "acceleration")) {
    const float x = rawBool(options, "accelerate") ? pl::floatValue(accel) : 0.0f;
    if (std::isnan(x) || x < 0.0f || x > 4.0f) r[2] = kNotGiven;
    else r[2] = saturate(static_cast<int>(100.0f * x));
  }
  r[3] = static_cast<uint8_t>((rawBool(options, "invert x") ? 0x01 : 0) |
                              (rawBool(options, "invert y") ? 0x02 : 0) |
                              (rawBool(options, "invert z") ? 0x04 : 0) |
                              (rawBool(options, "swap xy") ? 0x08 : 0));
  r[4] = rawBool(options, "invert wheel") ? 1 : 0;
  r[5] = rawBool(options, "slow") ? static_cast<uint8_t>(rawUnsigned(options, "slow keys") >> 8) : 0;
  r[6] = rawBool(options, "single") ? static_cast<uint8_t>(rawUnsigned(options, "single keys") >> 8) : 0;
  r[8] = rawBool(options, "inertial scroll") ? 1 : 0;
}

// A slot carries the parameters of the commands the driver carries out itself; the helper's
// commands go with their code alone.
void fillSlot(uint8_t* slot, uint16_t command, const pl::Dictionary* button) {
  putU16(slot, command);
  uint16_t modifiers = 0, argument = 0;
  const commands::Command c = commands::command(command);
  if (c.carriedOutByDriver()) {
    if (c.uses(commands::kKeyMod)) modifiers = static_cast<uint16_t>(rawUnsigned(button, "mod"));
    if (c.uses(commands::kKeyCnt)) argument = static_cast<uint16_t>(rawInteger(button, "cnt"));
    if (c.uses(commands::kKeyKey)) argument = static_cast<uint16_t>(rawUnsigned(button, "key"));
  }
  putU16(slot + 2, modifiers);
  putU16(slot + 4, argument);
  putU32(slot + 6, 0);
}

}  // namespace

bool VantrelAppPrefsDictToStruct(const pl::DictRef& profileRef, const pl::DictRef& fallbackRef,
                                 SettingsRecord* record) {
  const pl::Dictionary* profile = profileRef.get();
  const pl::Dictionary* fallback = fallbackRef.get();
  if (!profile) {
    profile = fallback;
    fallback = nullptr;
  }
  if (!record || !profile) return false;

  uint8_t* r = record->data();
  record->fill(0);
  r[1] = kNotGiven;
  r[2] = kNotGiven;
  if (rawUnsigned(profile, "dict version") != 3) return false;

  r[0] = static_cast<uint8_t>(rawUnsigned(profile, "driver enabled"));
  if (const pl::Dictionary* options = rawDict(profile, "options")) fillOptions(options, r);

  unsigned count = 0;
  if (const pl::Dictionary* buttons = rawDict(profile, "buttons")) {
    const pl::Dictionary* fallbackButtons = rawDict(fallback, "buttons");
    for (const auto& [key, value] : buttons->entries()) {
      const int n = slotOfKey(key);
      if (n < 0 || !value || value->type() != pl::Type::Dictionary) continue;
      const auto* button = static_cast<const pl::Dictionary*>(value.get());
      auto command = static_cast<uint16_t>(rawUnsigned(button, "cmd"));
      if (fallbackButtons && command == commands::kUseGlobalCommand) {
        button = rawDict(fallbackButtons, key);
        command = static_cast<uint16_t>(rawUnsigned(button, "cmd"));
      }
      fillSlot(r + kSettingsRecordHeaderSize + kSettingsRecordSlotSize * static_cast<size_t>(n),
               command, button);
      ++count;
    }
  }
  r[7] = static_cast<uint8_t>(count);
  return true;
}

DecodedSettingsRecord decodeSettingsRecord(const SettingsRecord& record) {
  const uint8_t* r = record.data();
  DecodedSettingsRecord d;
  d.driverEnabled = r[0];
  d.speed = r[1];
  d.acceleration = r[2];
  d.axisFlags = r[3];
  d.invertWheel = r[4];
  d.slowModifiers = r[5];
  d.singleModifiers = r[6];
  d.buttonCount = r[7];
  d.inertialScroll = r[8];
  for (size_t i = 0; i < d.reserved.size(); ++i) d.reserved[i] = r[9 + i];
  for (size_t n = 0; n < d.slots.size(); ++n) {
    const uint8_t* s = r + kSettingsRecordHeaderSize + kSettingsRecordSlotSize * n;
    d.slots[n] = {getU16(s), getU16(s + 2), getU16(s + 4), getU32(s + 6)};
  }
  return d;
}

ScrollRecord VantrelScrollRecord(const pl::Dictionary& param) {
  ScrollRecord r{};
  for (size_t i = 0; i < std::size(kScrollRecordFields); ++i)
    putU16(&r[2 * i], static_cast<uint16_t>(param.integerValue(kScrollRecordFields[i])));
  return r;
}
