#include "settings/matching.h"

#include <gtest/gtest.h>

#include "settings/models.h"

namespace {

using models::kVendorID;
const uint16_t kDev1 = models::productOfDevice(1);
const uint16_t kDev5 = models::productOfDevice(5);

pl::DictRef profile(uint16_t vendor, uint16_t product, std::string bundle = "", std::string exe = "",
                    uint16_t vmin = 0, uint16_t vmax = 0) {
  auto p = pl::makeDict();
  auto dev = pl::makeDict();
  dev->setInteger("device vendor id", vendor);
  dev->setInteger("device product id", product);
  dev->setInteger("device version min", vmin);
  dev->setInteger("device version max", vmax);
  p->set("target device", dev);
  auto app = pl::makeDict();
  app->setString("app bundle id", bundle);
  app->setString("app executable", exe);
  p->set("target app", app);
  return p;
}

struct Match {
  bool result;
  int32_t best, global;
};

Match match(const pl::ArrayRef& a, OptionalText bundle, uint16_t product, uint16_t version = 0x0100,
            OptionalText exe = std::nullopt) {
  Match m{};
  m.result = VantrelMatchAppPrefs(a, bundle, exe, std::nullopt, kVendorID, product, version, &m.best, &m.global);
  return m;
}

TEST(Matching, BestAndGlobalProfiles) {
  auto a = pl::makeArray();
  a->append(profile(kVendorID, kDev1));
  a->append(profile(kVendorID, kDev1, "com.x"));
  a->append(profile(0, 0));

  Match m = match(a, "com.x", kDev1);
  EXPECT_TRUE(m.result);
  EXPECT_EQ(m.best, 1);
  EXPECT_EQ(m.global, 0);
  m = match(a, "com.y", kDev1);
  EXPECT_EQ(m.best, 0);
  EXPECT_EQ(m.global, 0);
  m = match(a, "com.y", kDev5);
  EXPECT_TRUE(m.result);
  EXPECT_EQ(m.best, -1);
  EXPECT_EQ(m.global, 2);
  m = match(a, std::nullopt, kDev1);
  EXPECT_EQ(m.best, 0) << "an absent bundle id never equals a profile's";

  // A "target app" that names only the bundle name is no application constraint.
  auto named = pl::makeArray();
  named->append(profile(kVendorID, kDev5));
  named->dictAt(0)->getDict("target app")->setString("app bundle name", "Mail");
  m = match(named, "com.y", kDev5);
  EXPECT_EQ(m.best, 0);
  EXPECT_EQ(m.global, 0);

  // Empty or absent array; null index places are allowed.
  m = match(pl::makeArray(), "com.x", kDev1);
  EXPECT_FALSE(m.result);
  EXPECT_EQ(m.best, -1);
  EXPECT_EQ(m.global, -1);
  EXPECT_FALSE(VantrelMatchAppPrefs(nullptr, {}, {}, {}, 0, 0, 0, nullptr, nullptr));
  EXPECT_TRUE(VantrelMatchAppPrefs(a, {}, {}, {}, kVendorID, kDev1, 1, nullptr, nullptr));
}

TEST(Matching, ScoresTiesReleasesAndDev7) {
  auto a = pl::makeArray();
  a->append(pl::makeString("not a profile"));
  a->append(profile(kVendorID, kDev1, "com.x"));
  a->append(profile(kVendorID, kDev1, "com.x", "X"));
  a->append(profile(kVendorID, kDev1, "com.x", "X"));
  EXPECT_EQ(match(a, "com.x", kDev1, 0x100, "X").best, 2);
  EXPECT_EQ(match(a, "com.x", kDev1, 0x100, "Y").best, 1);

  auto r = pl::makeArray();
  r->append(profile(kVendorID, models::productOfDevice(2), "", "", 0x0107, 0));
  EXPECT_EQ(match(r, {}, models::productOfDevice(2), 0x0106).best, -1);
  EXPECT_EQ(match(r, {}, models::productOfDevice(2), 0x0107).best, 0);
  EXPECT_EQ(match(r, {}, models::productOfDevice(2), 0x0900).best, 0);
  r->append(profile(kVendorID, models::kDev7ProductID, "", "", 0, 0x0106));
  EXPECT_EQ(match(r, {}, models::kDev7SecondProductID, 0x0105).best, 1);
  EXPECT_EQ(match(r, {}, models::kDev7SecondProductID, 0x0107).best, -1);
}

TEST(Matching, GlobalClickAndValidation) {
  auto p = profile(kVendorID, kDev1);
  EXPECT_TRUE(VTLSettingsAreGlobal(p));
  EXPECT_TRUE(VTLSettingsAreGlobal(nullptr));
  p->getDict("target app")->setString("app bundle name", "Mail");
  EXPECT_TRUE(VTLSettingsAreGlobal(p));
  p->getDict("target app")->setString("app signature", "emal");
  EXPECT_FALSE(VTLSettingsAreGlobal(p));

  auto buttons = pl::makeDict();
  auto b0 = pl::makeDict();
  b0->setInteger("cmd", 1);
  b0->setInteger("mod", 0x0100);
  auto b2 = pl::makeDict();
  b2->setInteger("cmd", 1);
  buttons->set("00", b0);
  buttons->set("02", b2);
  p->set("buttons", buttons);
  EXPECT_EQ(VantrelFindClickInSettings(p, 0, 3, -1), 2);
  EXPECT_EQ(VantrelFindClickInSettings(p, 0, 3, 2), -1);
  EXPECT_EQ(VantrelFindClickInSettings(p, 3, 0, -1), -1);
  EXPECT_EQ(VantrelFindClickInSettings(p, INT32_MIN, INT32_MAX, -1), 2);
  buttons->set("2", b2);  // only the "%02d" form names a button
  buttons->remove("02");
  EXPECT_EQ(VantrelFindClickInSettings(p, 0, 3, -1), -1);
  EXPECT_EQ(VantrelFindClickInSettings(nullptr, 0, 3, -1), -1);

  EXPECT_FALSE(VantrelValidateSettings(p));
  p->setBool("driver enabled", true);
  p->setInteger("dict version", 3);
  EXPECT_FALSE(VantrelValidateSettings(p)) << "no options";
  p->set("options", pl::makeDict());
  EXPECT_TRUE(VantrelValidateSettings(p));
  p->getDict("target device")->remove("device version max");
  EXPECT_FALSE(VantrelValidateSettings(p));
  EXPECT_FALSE(VantrelValidateSettings(nullptr));
}

}  // namespace
