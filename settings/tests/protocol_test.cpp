#include "settings/protocol.h"

#include <gtest/gtest.h>

using namespace protocol;

namespace {

DeviceInfo device(uint16_t product, const char* name) {
  DeviceInfo d;
  d.transport = 1;
  d.vendorID = 0x2F3A;
  d.productID = product;
  d.productVers = 0x0107;
  d.interfaceNum = 0;
  d.setVendorName("Maker");
  d.setProductName(name);
  return d;
}

}  // namespace

TEST(ProtocolDeviceList, BuiltByteByByteLittleEndian) {
  DeviceList list;
  list.count = 2;
  list.helperState = 1;
  list.devices[0] = device(0x1234, "First");
  list.devices[1] = device(0xABCD, "Second");
  list.devices[2] = device(0x5555, "Beyond count");  // not written: slots past count are zero
  const auto bytes = encodeDeviceList(list);
  ASSERT_EQ(bytes.size(), 4260u);
  EXPECT_EQ(bytes[0], 2);
  EXPECT_EQ(bytes[1], 0);
  EXPECT_EQ(bytes[2], 1);
  EXPECT_EQ(bytes[3], 0);
  EXPECT_EQ(bytes[4 + 4], 0x34);  // first record's productID, low byte first
  EXPECT_EQ(bytes[4 + 5], 0x12);
  EXPECT_EQ(bytes[4 + 266 + 4], 0xCD);
  EXPECT_EQ(bytes[4 + 266 + 10], 'M');
  EXPECT_EQ(bytes[4 + 266 + 138], 'S');
  for (size_t i = 4 + 2 * 266; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], 0) << i;

  const auto back = decodeDeviceList(bytes.data(), bytes.size());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->count, 2);
  EXPECT_TRUE(back->snapToDefaultAvailable());
  EXPECT_EQ(back->devices[0], list.devices[0]);
  EXPECT_EQ(back->devices[1].productNameString(), "Second");
  EXPECT_EQ(back->devices[2], DeviceInfo{});

  // Exactly 4260 bytes or nothing.
  EXPECT_FALSE(decodeDeviceList(bytes.data(), bytes.size() - 1));
  std::vector<uint8_t> longer(bytes.begin(), bytes.end());
  longer.push_back(0);
  EXPECT_FALSE(decodeDeviceList(longer.data(), longer.size()));
  EXPECT_FALSE(decodeDeviceList(nullptr, 4260));

  // A count beyond 16 from a foreign sender never lets a reader past the sixteenth record,
  // and the encoder never writes past the payload.
  DeviceList many;
  many.count = 900;
  for (auto& d : many.devices) d = device(7, "x");
  const auto manyBytes = encodeDeviceList(many);
  const auto manyBack = decodeDeviceList(manyBytes.data(), manyBytes.size());
  ASSERT_TRUE(manyBack);
  EXPECT_EQ(manyBack->count, 900);
  EXPECT_EQ(validCount(*manyBack), 16u);
  EXPECT_EQ(manyBack->devices[15].productID, 7);
}

TEST(ProtocolCommands, ReadAndWrittenThroughText) {
  for (Command c : {Command::List, Command::Update, Command::Enumerate}) {
    const auto text = encodeDictionary(*makeCommand(c));
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("<plist"), std::string::npos);
    EXPECT_EQ(readCommand(*text).command, c);
  }
  const auto frontOn = readCommand(*encodeDictionary(*makeFrontCommand(true)));
  EXPECT_EQ(frontOn.command, Command::Front);
  EXPECT_TRUE(frontOn.front);
  EXPECT_FALSE(readCommand(*encodeDictionary(*makeFrontCommand(false))).front);

  // "front" without its entry counts as false; Foundation-style readings of the flag apply.
  auto d = pl::makeDict();
  d->setString("command", "front");
  EXPECT_EQ(readCommand(*d).command, Command::Front);
  EXPECT_FALSE(readCommand(*d).front);
  d->setString("front", "YES");
  EXPECT_TRUE(readCommand(*d).front);
  d->setInteger("front", 1);
  EXPECT_TRUE(readCommand(*d).front);

  // Unknown words, wrong letter case, a non-string command, a missing command: ignored.
  d->setString("command", "List");
  EXPECT_EQ(readCommand(*d).command, Command::None);
  d->setString("command", "reboot");
  EXPECT_EQ(readCommand(*d).command, Command::None);
  d->setInteger("command", 1);
  EXPECT_EQ(readCommand(*d).command, Command::None);
  EXPECT_EQ(readCommand(pl::Dictionary()).command, Command::None);
}

TEST(ProtocolCommands, TextThatIsNotADictionaryIsIgnored) {
  EXPECT_FALSE(decodeDictionary(""));
  EXPECT_FALSE(decodeDictionary("list"));
  EXPECT_FALSE(decodeDictionary("<plist><dict><key>command</key>"));  // cut short
  EXPECT_FALSE(decodeDictionary(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><array><string>list</string></array></plist>"));
  EXPECT_FALSE(decodeDictionary(std::string_view("\0\0\0", 3)));
  EXPECT_EQ(readCommand("<plist version=\"1.0\"><string>list</string></plist>").command, Command::None);
  EXPECT_EQ(readMessage("garbage").kind, Message::Kind::None);

  const auto good = decodeDictionary(
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>command</key>"
      "<string>update</string></dict></plist>");
  ASSERT_TRUE(good);
  EXPECT_EQ(readCommand(*good).command, Command::Update);
}

TEST(ProtocolMessages, ListAndReportRoundTripAndWrongSizesAreIgnored) {
  DeviceList list;
  list.count = 1;
  list.devices[0] = device(0x0101, "Only");
  const auto listText = encodeDictionary(*makeListMessage(encodeDeviceList(list)));
  ASSERT_TRUE(listText);
  const auto m = readMessage(*listText);
  ASSERT_EQ(m.kind, Message::Kind::List);
  EXPECT_EQ(m.list.count, 1);
  EXPECT_EQ(m.list.devices[0].productNameString(), "Only");
  EXPECT_FALSE(m.list.snapToDefaultAvailable());

  ReportBytes report{};
  for (size_t i = 0; i < report.size(); ++i) report[i] = static_cast<uint8_t>(0xF0 + i);
  const auto r = readMessage(*encodeDictionary(*makeReportMessage(report)));
  ASSERT_EQ(r.kind, Message::Kind::Report);
  EXPECT_EQ(r.report, report);

  // A list one byte short, a report of the wrong size or type, a string for data: nothing.
  auto shortList = pl::makeDict();
  shortList->set("list", pl::makeData(std::vector<uint8_t>(4259)));
  EXPECT_EQ(readMessage(*shortList).kind, Message::Kind::None);
  auto textList = pl::makeDict();
  textList->setString("list", std::string(4260, 'a'));
  EXPECT_EQ(readMessage(*textList).kind, Message::Kind::None);
  auto shortReport = pl::makeDict();
  shortReport->set("report", pl::makeData(std::vector<uint8_t>(15)));
  EXPECT_EQ(readMessage(*shortReport).kind, Message::Kind::None);
  // A report entry is handled as a report even next to a good list.
  shortReport->set("list", pl::makeData(std::vector<uint8_t>(4260)));
  EXPECT_EQ(readMessage(*shortReport).kind, Message::Kind::None);
  shortReport->remove("report");
  EXPECT_EQ(readMessage(*shortReport).kind, Message::Kind::List);
}
