#include "settings/device_info.h"

#include <gtest/gtest.h>

TEST(DeviceInfoRecord, LittleEndianLayoutAndRoundTrip) {
  DeviceInfo d;
  d.transport = 0x0102;
  d.vendorID = 0x1A2B;
  d.productID = 0x3C4D;
  d.productVers = 0x0107;
  d.interfaceNum = 2;
  d.setVendorName("Maker");
  d.setProductName(std::string(300, 'x'));  // cut, still NUL-terminated
  auto b = d.encode();
  EXPECT_EQ(b.size(), 266u);
  EXPECT_EQ(b[0], 0x02);
  EXPECT_EQ(b[1], 0x01);
  EXPECT_EQ(b[2], 0x2B);
  EXPECT_EQ(b[5], 0x3C);
  EXPECT_EQ(b[6], 0x07);
  EXPECT_EQ(b[8], 2);
  EXPECT_EQ(b[10], 'M');
  EXPECT_EQ(b[138], 'x');
  EXPECT_EQ(b[265], 0);
  EXPECT_EQ(DeviceInfo::decode(b.data(), b.size()), d);
  EXPECT_EQ(d.productNameString().size(), 127u);

  auto shortRecord = DeviceInfo::decode(b.data(), 6);  // the rest reads as zero
  EXPECT_EQ(shortRecord.productID, 0x3C4D);
  EXPECT_EQ(shortRecord.productVers, 0);
  EXPECT_EQ(DeviceInfo::decode(nullptr, 10), DeviceInfo{});
}
