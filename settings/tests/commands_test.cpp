#include "settings/commands.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/bundle.h"
#include "platform/files.h"
#include "settings/driver_codes.h"

namespace {

using commands::Kind;

// The values that cross to the driver and that stored settings hold; every other test names them.
TEST(WireValues, DriverCodesSelectorsAndStatuses) {
  EXPECT_EQ(driver::kConnectType, 0x564E5563u);
  EXPECT_EQ(driver::kMessageButton, 0x564E4461u);
  EXPECT_EQ(driver::kMessageState, 0x564E4473u);
  EXPECT_EQ(driver::kSettingsCode, 0x564E4863u);
  EXPECT_EQ(driver::kScrollCode, 0x564E5370u);
  EXPECT_EQ(driver::kDeviceInfoCode, 0x564E4449u);
  EXPECT_EQ(driver::kControlKeystroke, 0x564E546Bu);
  EXPECT_EQ(driver::kControlRawReports, 0x564E5372u);
  EXPECT_EQ(driver::kControlModifiers, 0x564E4B6Du);
  EXPECT_EQ(driver::kControlPopUp, 0x564E506Fu);
  EXPECT_EQ(driver::kSelectorStructIn, 0u);
  EXPECT_EQ(driver::kSelectorControl, 1u);
  EXPECT_EQ(driver::kSelectorInfo, 2u);
  EXPECT_EQ(driver::kSettingsScalar, 48u);
  EXPECT_EQ(driver::kScrollScalar, 1u);
  EXPECT_EQ(driver::kDeviceInfoVersion, 1u);
  EXPECT_EQ(driver::kActivateKeyboardParam, 0x0200FF00);
  EXPECT_EQ(iokit::kIOReturnBadArgument, static_cast<int32_t>(0xE00002C2));
  EXPECT_EQ(iokit::kIOReturnNotFound, static_cast<int32_t>(0xE00002F0));
  EXPECT_EQ(FourCharCode("sprf"), 0x73707266u);
  EXPECT_EQ(FourCharCodeString(0x564E546B), "VNTk");
  EXPECT_EQ(FourCharCodeString(0x41420143), "AB?C");
}

TEST(CommandTable, WhoCarriesOutEachCode) {
  for (unsigned code = 0; code <= 0xFFFF; ++code) {
    const commands::Command c = commands::command(static_cast<uint16_t>(code));
    EXPECT_EQ(c.code, code);
    const bool driver = code <= 23 && code != 11;
    EXPECT_EQ(c.carriedOutByDriver(), driver) << code;
    const bool helperRange = code == 11 || (code >= 30 && code <= 189) || code == 200;
    if (!driver && !helperRange) {
      EXPECT_EQ(c.kind, Kind::None) << code;
      EXPECT_TRUE(c.nameKey.empty()) << code;
    }
  }
  // What the settings record carries for the driver's commands.
  EXPECT_EQ(commands::command(1).keys, commands::kKeyMod);
  EXPECT_EQ(commands::command(10).keys, commands::kKeyKey | commands::kKeyMod);
  EXPECT_EQ(commands::command(21).keys, commands::kKeyCnt);
  EXPECT_EQ(commands::command(19).keys, 0);
  EXPECT_EQ(commands::command(200).kind, Kind::GlobalFallback);
  // Codes of the helper's range without an action, and the hot-key gap.
  for (uint16_t code : {34, 37, 60, 69, 77, 81, 89, 97, 99, 138, 159, 161, 179})
    EXPECT_EQ(commands::command(code).kind, Kind::None) << code;
  EXPECT_EQ(commands::command(136).action, commands::Action::Launchpad);
  EXPECT_EQ(commands::command(189).number, 9);
  EXPECT_EQ(commands::command(96).number, 12);
}

TEST(CommandTable, RowsAreOrderedAndNamedOnce) {
  std::set<std::string> keys;
  int previous = -1;
  for (const commands::Command& c : commands::all()) {
    EXPECT_GT(static_cast<int>(c.code), previous);
    previous = c.code;
    EXPECT_EQ(c.nameKey.empty(), c.kind == Kind::None) << c.code;
    if (!c.nameKey.empty()) {
      EXPECT_TRUE(keys.insert(std::string(c.nameKey)).second) << c.nameKey;
    }
  }
  EXPECT_EQ(commands::all().size(), 24u + 160u + 1u);
}

TEST(CommandTable, EveryNameHasAnEnglishAndAGermanText) {
  for (const char* language : {"en", "de"}) {
    const auto text = files::readWhole(
        files::join(VANTREL_RESOURCE_DIR, std::string(language) + ".lproj/Localizable.strings"));
    ASSERT_TRUE(text) << language;
    const platform::StringTable table = platform::parseStringsFile(*text);
    for (const commands::Command& c : commands::all()) {
      for (std::string_view key : {c.nameKey, c.nameKey106}) {
        if (key.empty()) continue;
        const auto it = table.find(std::string(key));
        EXPECT_TRUE(it != table.end() && !it->second.empty()) << language << ": " << key;
      }
    }
  }
  EXPECT_EQ(commands::englishName(commands::command(52)), "Copy");
  EXPECT_EQ(commands::englishName(commands::command(2)), "Secondary click");
  EXPECT_EQ(commands::englishName(commands::command(35)), "");
  // Older names exist only for hot keys whose system name changed.
  for (const commands::Command& c : commands::all()) {
    if (!c.nameKey106.empty()) {
      EXPECT_EQ(c.kind, Kind::HotKey) << c.code;
    }
  }
}

}  // namespace
