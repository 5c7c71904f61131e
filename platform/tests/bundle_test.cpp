#include "platform/bundle.h"

#include <gtest/gtest.h>

TEST(Bundle, MissingEntryGivesKey) {
  platform::Bundle b("/nonexistent");
  EXPECT_EQ(b.localizedString("left", "", "Localizable"), "left");
}
