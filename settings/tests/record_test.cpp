#include "settings/record.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

pl::DictRef button(int64_t cmd, int64_t mod = -1) {
  auto b = pl::makeDict();
  b->setInteger("cmd", cmd);
  if (mod >= 0) b->setInteger("mod", mod);
  return b;
}

pl::DictRef profileWith(pl::DictRef options, pl::DictRef buttons) {
  auto p = pl::makeDict();
  p->setInteger("dict version", 3);
  p->setBool("driver enabled", true);
  if (options) p->set("options", options);
  if (buttons) p->set("buttons", buttons);
  return p;
}

SettingsRecord convert(const pl::DictRef& profile, const pl::DictRef& fallback = nullptr) {
  SettingsRecord r;
  r.fill(0xEE);
  EXPECT_TRUE(VantrelAppPrefsDictToStruct(profile, fallback, &r));
  return r;
}

uint8_t speedByte(const pl::ObjectRef& speed) {
  auto o = pl::makeDict();
  o->set("speed", speed);
  return convert(profileWith(o, nullptr))[1];
}

uint8_t accelByte(bool accelerate, const pl::ObjectRef& accel) {
  auto o = pl::makeDict();
  o->setBool("accelerate", accelerate);
  if (accel) o->set("acceleration", accel);
  return convert(profileWith(o, nullptr))[2];
}

TEST(SettingsRecord, RefusesWithoutBufferProfileOrVersion3) {
  SettingsRecord r;
  r.fill(0xAB);
  EXPECT_FALSE(VantrelAppPrefsDictToStruct(nullptr, nullptr, &r));
  EXPECT_EQ(r[0], 0xAB) << "buffer must stay untouched";
  EXPECT_FALSE(VantrelAppPrefsDictToStruct(profileWith(nullptr, nullptr), nullptr, nullptr));

  auto old = profileWith(pl::makeDict(), nullptr);
  old->setInteger("dict version", 2);
  EXPECT_FALSE(VantrelAppPrefsDictToStruct(old, nullptr, &r));
  SettingsRecord expected{};
  expected[1] = expected[2] = 255;
  EXPECT_EQ(r, expected);

  // With no profile the fallback is converted on its own.
  auto fb = profileWith(nullptr, nullptr);
  fb->setBool("driver enabled", true);
  EXPECT_TRUE(VantrelAppPrefsDictToStruct(nullptr, fb, &r));
  EXPECT_EQ(r[0], 1);
}

TEST(SettingsRecord, SpeedAndAccelerationRanges) {
  EXPECT_EQ(speedByte(pl::makeInteger(5000)), 250);
  EXPECT_EQ(speedByte(pl::makeInteger(80)), 4);
  EXPECT_EQ(speedByte(pl::makeInteger(400)), 20);
  EXPECT_EQ(speedByte(pl::makeInteger(79)), 255);
  EXPECT_EQ(speedByte(pl::makeInteger(6401)), 255);
  EXPECT_EQ(speedByte(pl::makeInteger(-20)), 255);
  EXPECT_EQ(speedByte(pl::makeInteger(int64_t{1} << 32 | 400)), 255) << "no 32-bit wrap";
  // Accepted but too large for a byte: the largest real value, never a wrapped small one.
  EXPECT_EQ(speedByte(pl::makeInteger(6400)), 254);
  EXPECT_EQ(speedByte(pl::makeInteger(5100)), 254);
  EXPECT_EQ(speedByte(pl::makeString("1000")), 50);

  EXPECT_EQ(accelByte(false, pl::makeReal(1.5)), 0);
  EXPECT_EQ(accelByte(true, pl::makeReal(1.5)), 150);
  EXPECT_EQ(accelByte(true, nullptr), 255);
  EXPECT_EQ(accelByte(false, nullptr), 255);
  EXPECT_EQ(accelByte(true, pl::makeReal(4.5)), 255);
  EXPECT_EQ(accelByte(true, pl::makeReal(-0.1)), 255);
  EXPECT_EQ(accelByte(true, pl::makeReal(std::nan(""))), 255);
  EXPECT_EQ(accelByte(true, pl::makeReal(3.0)), 254);
  EXPECT_EQ(accelByte(true, pl::makeInteger(2)), 200);

  SettingsRecord r = convert(profileWith(nullptr, nullptr));
  EXPECT_EQ(r[1], 255);
  EXPECT_EQ(r[2], 255);
}

TEST(SettingsRecord, OptionFlagsAndModifiers) {
  auto o = pl::makeDict();
  o->setBool("invert y", true);
  o->setBool("swap xy", true);
  o->setInteger("invert wheel", 1);
  o->setBool("slow", true);
  o->setInteger("slow keys", 0x0900);
  o->setBool("single", false);
  o->setInteger("single keys", 0x1200);
  o->setBool("inertial scroll", true);
  SettingsRecord r = convert(profileWith(o, nullptr));
  EXPECT_EQ(r[0], 1);
  EXPECT_EQ(r[3], 0x0A);
  EXPECT_EQ(r[4], 1);
  EXPECT_EQ(r[5], 0x09);
  EXPECT_EQ(r[6], 0);
  EXPECT_EQ(r[8], 1);
  for (int i = 9; i < 16; ++i) EXPECT_EQ(r[static_cast<size_t>(i)], 0);
}

TEST(SettingsRecord, ButtonSlotsLittleEndianWithGlobalFallback) {
  auto globalButtons = pl::makeDict();
  auto keystroke = button(10, 0x0100);
  keystroke->setInteger("key", 0x08);
  globalButtons->set("02", keystroke);
  auto global = profileWith(nullptr, globalButtons);

  auto buttons = pl::makeDict();
  buttons->set("00", button(1, 0x0900));
  buttons->set("02", button(200));
  buttons->set("03", button(200));  // global has no "03": command 0, still counted
  auto scroll = button(21, 0x0100);
  scroll->setInteger("cnt", 3);
  buttons->set("12", scroll);
  buttons->set("07", button(160, 0x0100));  // helper command: no parameters
  buttons->set("5", button(1));
  buttons->set("16", button(1));
  buttons->set("ab", button(1));
  buttons->set(" 9", button(9));
  buttons->setString("04", "not a dictionary");
  auto profile = profileWith(nullptr, buttons);

  const DecodedSettingsRecord d = decodeSettingsRecord(convert(profile, global));
  EXPECT_EQ(d.buttonCount, 6);
  EXPECT_EQ(d.slots[0].command, 1);
  EXPECT_EQ(d.slots[0].modifiers, 0x0900);
  EXPECT_EQ(d.slots[2].command, 10);
  EXPECT_EQ(d.slots[2].modifiers, 0x0100);
  EXPECT_EQ(d.slots[2].argument, 0x0008);
  EXPECT_EQ(d.slots[3].command, 0);
  EXPECT_EQ(d.slots[12].command, 21);
  EXPECT_EQ(d.slots[12].modifiers, 0);
  EXPECT_EQ(d.slots[12].argument, 3);
  EXPECT_EQ(d.slots[7].command, 160);
  EXPECT_EQ(d.slots[7].modifiers, 0);
  EXPECT_EQ(d.slots[9].command, 9);
  EXPECT_EQ(d.slots[5].command, 0);
  EXPECT_EQ(d.slots[4].command, 0);

  // Raw bytes: slot 0 at offset 16, command then modifiers, little-endian.
  SettingsRecord r = convert(profile, global);
  EXPECT_EQ(r[16], 0x01);
  EXPECT_EQ(r[17], 0x00);
  EXPECT_EQ(r[18], 0x00);
  EXPECT_EQ(r[19], 0x09);

  // Without a fallback a 200 stays as it is, with zero parameters.
  const DecodedSettingsRecord alone = decodeSettingsRecord(convert(profile));
  EXPECT_EQ(alone.slots[2].command, 200);
  EXPECT_EQ(alone.slots[2].modifiers, 0);
}

}  // namespace
