// The factory settings file against the model table: every model has a complete global profile
// whose buttons are exactly the model's.
#include <gtest/gtest.h>

#include <set>

#include "settings/matching.h"
#include "settings/models.h"
#include "settings/prefs_file.h"
#include "settings/record.h"

namespace {

TEST(Models, TableAndDeviceNumbers) {
  EXPECT_EQ(models::entryOfProduct(models::kProductIDs[1]), 2);
  EXPECT_EQ(models::entryOfProduct(0x1234), 0);
  EXPECT_EQ(models::deviceOfProduct(models::kProductIDs[1], 0x0107), 2);
  EXPECT_EQ(models::deviceOfProduct(models::kProductIDs[1], 0x0106), 3);
  EXPECT_EQ(models::deviceOfProduct(models::kDev7SecondProductID, 0), 7);
  EXPECT_EQ(models::canonicalProduct(models::kDev7SecondProductID), models::kDev7ProductID);
  EXPECT_EQ(models::modelNames().size(), 6u);
  EXPECT_TRUE(models::modelName(7).empty());
  EXPECT_EQ(std::set<uint16_t>(models::kProductIDs.begin(), models::kProductIDs.end()).size(), 7u);
  EXPECT_FALSE(models::deviceHasScroll(4));
  EXPECT_EQ(models::menuButtonsOfDevice(3).size(), 4u);
  EXPECT_EQ(models::menuButtonsOfDevice(2).size(), 6u);
}

TEST(DefaultSettings, OneCompleteGlobalProfilePerModel) {
  auto d = VantrelReadHelperPrefs("/nonexistent/settings.plist", VANTREL_RESOURCE_DIR "/DefaultSettings.plist");
  ASSERT_TRUE(d);
  EXPECT_TRUE(VantrelPaneCanUse(d));
  EXPECT_EQ(d->integerValue("version"), 3);
  EXPECT_TRUE(d->boolValue("paramUI"));
  auto snippets = d->getArray("snippets");
  ASSERT_TRUE(snippets);
  ASSERT_EQ(snippets->size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(snippets->dictAt(i)->stringValue("name"), "Snippet " + std::to_string(i + 1));
    EXPECT_FALSE(snippets->dictAt(i)->stringValue("text").empty());
  }

  auto devices = d->getArray("devices");
  ASSERT_TRUE(devices);
  std::set<int> seen;
  for (size_t i = 0; i < devices->size(); ++i) {
    auto p = devices->dictAt(i);
    ASSERT_TRUE(p);
    SCOPED_TRACE("profile " + std::to_string(i));
    EXPECT_TRUE(VantrelValidateSettings(p));
    EXPECT_TRUE(VTLSettingsAreGlobal(p));
    EXPECT_EQ(p->stringValue("settings name"), "All Applications");
    EXPECT_TRUE(p->contains("factory setting"));
    auto dev = p->getDict("target device");
    const auto product = static_cast<uint16_t>(dev->integerValue("device product id"));
    const auto vmin = static_cast<uint16_t>(dev->integerValue("device version min"));
    const int model = models::deviceOfProduct(product, vmin);
    ASSERT_NE(model, 0);
    EXPECT_TRUE(seen.insert(model).second) << "second profile for Dev" << model;
    EXPECT_EQ(dev->integerValue("device vendor id"), models::kVendorID);
    const auto range = models::releaseRangeOfDevice(model);
    EXPECT_EQ(vmin, range.min);
    EXPECT_EQ(dev->integerValue("device version max"), range.max);
    for (const char* k : {"app bundle id", "app bundle name", "app executable", "app signature"})
      EXPECT_TRUE(p->getDict("target app")->contains(k)) << k;
    EXPECT_EQ(p->getDict("options")->size(), 14u);
    EXPECT_EQ(p->getDict("options")->getNumber("acceleration")->kind(), pl::Number::Kind::Real);
    EXPECT_EQ(p->getDict("param")->size(), 5u);

    std::set<int> buttons;
    for (const auto& [key, value] : *p->getDict("buttons")) buttons.insert(std::stoi(key));
    const auto expected = models::buttonsOfDevice(model);
    EXPECT_EQ(buttons, std::set<int>(expected.begin(), expected.end()));
    EXPECT_EQ(VantrelFindClickInSettings(p, 0, 3, -1), 0);

    SettingsRecord r;
    EXPECT_TRUE(VantrelAppPrefsDictToStruct(p, nullptr, &r));
    EXPECT_EQ(r[7], expected.size());

    // The device the profile is for finds it, as best and as global profile.
    int32_t best = -1, global = -1;
    const uint16_t release = range.min ? range.min : (range.max ? range.max : 0x0100);
    EXPECT_TRUE(VantrelMatchAppPrefs(devices, "com.example.app", "App", "Appl", models::kVendorID, product,
                                     release, &best, &global));
    EXPECT_EQ(best, static_cast<int32_t>(i));
    EXPECT_EQ(global, static_cast<int32_t>(i));
  }
  EXPECT_EQ(seen.size(), 7u);
}

}  // namespace
