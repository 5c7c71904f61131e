#include "platform/plist.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace pl;

namespace {

DictRef sampleProfile() {
  auto options = makeDict();
  options->setInteger("speed", 400);
  options->setBool("accelerate", true);
  options->setReal("acceleration", 1.5);
  auto button = makeDict();
  button->setInteger("cmd", 10);
  button->setInteger("mod", 0x0100);
  button->setString("str", "h\xC3\xA9llo <&> \"x\"");
  auto buttons = makeDict();
  buttons->set("00", button);
  auto profile = makeDict();
  profile->set("options", options);
  profile->set("buttons", buttons);
  profile->set("blob", makeData(std::vector<uint8_t>{0, 1, 2, 255}));
  profile->set("when", std::make_shared<Date>(123456789.0));
  auto arr = makeArray();
  arr->append(makeInteger(-5));
  arr->append(makeString(""));
  profile->set("list", arr);
  return profile;
}

TEST(PlistConversions, MissingAndMixedKindsReadLikeFoundation) {
  auto d = makeDict();
  d->setInteger("one", 1);
  d->setBool("yes", true);
  d->setReal("real", -2.9);
  d->setString("num", "  42abc");
  d->setString("neg", "-17");
  d->setString("word", "nope");
  d->setString("big", "99999999999999999999");
  d->setReal("nan", std::nan(""));

  EXPECT_EQ(d->integerValue("missing"), 0);
  EXPECT_FALSE(d->boolValue("missing"));
  EXPECT_EQ(d->stringValue("missing"), "");
  EXPECT_EQ(d->integerValue("one"), d->integerValue("yes"));
  EXPECT_EQ(d->boolValue("one"), d->boolValue("yes"));
  EXPECT_EQ(d->integerValue("real"), -2);  // truncates toward zero
  EXPECT_EQ(d->integerValue("num"), 42);
  EXPECT_EQ(d->integerValue("neg"), -17);
  EXPECT_EQ(d->integerValue("word"), 0);
  EXPECT_EQ(d->integerValue("big"), INT64_MAX);
  EXPECT_EQ(d->integerValue("nan"), 0);
  EXPECT_DOUBLE_EQ(d->doubleValue("num"), 42.0);
  EXPECT_EQ(d->unsignedValue("neg") & 0xFFFF, 0xFFEFu);
  EXPECT_EQ(d->stringValue("one"), "");  // only strings give text

  auto s = makeDict();
  s->setString("t", "true");
  s->setString("y", " YES");
  s->setString("z", "007");
  s->setString("f", "false");
  s->setString("zero", "000");
  EXPECT_TRUE(s->boolValue("t"));
  EXPECT_TRUE(s->boolValue("y"));
  EXPECT_TRUE(s->boolValue("z"));
  EXPECT_FALSE(s->boolValue("f"));
  EXPECT_FALSE(s->boolValue("zero"));
}

TEST(PlistEquality, ContentsVersusIdentity) {
  auto a = sampleProfile();
  auto b = sampleProfile();
  EXPECT_NE(a, b);
  EXPECT_TRUE(isEqual(a, b));
  b->getDict("buttons")->getDict("00")->setInteger("mod", 0);
  EXPECT_FALSE(isEqual(a, b));
  EXPECT_TRUE(isEqual(makeInteger(1), makeBool(true)));
  EXPECT_TRUE(isEqual(makeInteger(2), makeReal(2.0)));
  EXPECT_FALSE(isEqual(makeInteger(2), makeString("2")));
}

TEST(PlistDeepCopy, CopyIsIndependentAndRefusesForeignObjects) {
  auto original = sampleProfile();
  auto copy = deepCopyDict(original);
  ASSERT_TRUE(copy);
  EXPECT_TRUE(isEqual(original, copy));
  EXPECT_NE(copy->getDict("buttons"), original->getDict("buttons"));
  copy->getDict("buttons")->getDict("00")->setInteger("cmd", 1);
  copy->getDict("options")->remove("speed");
  copy->getArray("list")->append(makeInteger(3));
  EXPECT_EQ(original->getDict("buttons")->getDict("00")->integerValue("cmd"), 10);
  EXPECT_EQ(original->getDict("options")->integerValue("speed"), 400);
  EXPECT_EQ(original->getArray("list")->size(), 2u);

  original->getDict("buttons")->set("05", std::make_shared<Opaque>());
  EXPECT_EQ(deepCopyDict(original), nullptr);
  EXPECT_FALSE(toXml(*original).has_value());
  EXPECT_FALSE(toBinary(*original).has_value());
}

TEST(PlistSerialisation, XmlAndBinaryRoundTripKeepNumberKinds) {
  auto original = sampleProfile();
  auto xml = toXml(*original);
  ASSERT_TRUE(xml);
  EXPECT_NE(xml->find("<?xml version=\"1.0\""), std::string::npos);
  EXPECT_NE(xml->find("<plist version=\"1.0\">"), std::string::npos);
  EXPECT_NE(xml->find("<true/>"), std::string::npos);
  EXPECT_NE(xml->find("<real>1.5"), std::string::npos);
  EXPECT_NE(xml->find("<integer>400</integer>"), std::string::npos);
  EXPECT_NE(xml->find("<integer>-5</integer>"), std::string::npos);

  auto back = asDict(parse(*xml));
  ASSERT_TRUE(back);
  EXPECT_TRUE(isEqual(original, back));
  auto opts = back->getDict("options");
  EXPECT_EQ(opts->getNumber("accelerate")->kind(), Number::Kind::Boolean);
  EXPECT_EQ(opts->getNumber("acceleration")->kind(), Number::Kind::Real);
  EXPECT_EQ(opts->getNumber("speed")->kind(), Number::Kind::Integer);

  auto bin = toBinary(*original);
  ASSERT_TRUE(bin);
  auto fromBin = asDict(parse(bin->data(), bin->size()));
  ASSERT_TRUE(fromBin);
  EXPECT_TRUE(isEqual(original, fromBin));
}

TEST(PlistSerialisation, GarbageIsNotAPropertyList) {
  EXPECT_EQ(parse(""), nullptr);
  EXPECT_EQ(parse("hello world"), nullptr);
  EXPECT_EQ(parse("<?xml version=\"1.0\"?><plist><dict><key>a</key>"), nullptr);
  EXPECT_EQ(parse("bplist00\x01\x02"), nullptr);
  std::string deep;
  for (int i = 0; i < 2000; ++i) deep += "<array>";
  EXPECT_EQ(parse("<plist version=\"1.0\">" + deep), nullptr);
}

// A binary property list of the given objects (object 0 on top), with 4-byte offsets and
// 4-byte references.
std::string binaryDocument(const std::vector<std::string>& objects) {
  auto be = [](uint64_t v, int width) {
    std::string out;
    for (int i = width - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  };
  std::string doc = "bplist00";
  std::string table;
  for (const auto& o : objects) {
    table += be(doc.size(), 4);
    doc += o;
  }
  const size_t tableOffset = doc.size();
  doc += table;
  doc += std::string(6, '\0') + '\x04' + '\x04' + be(objects.size(), 8) + be(0, 8) + be(tableOffset, 8);
  return doc;
}

std::string ref(uint32_t i) {
  return {static_cast<char>(i >> 24), static_cast<char>(i >> 16), static_cast<char>(i >> 8), static_cast<char>(i)};
}

TEST(PlistSerialisation, RefusesDocumentsThatWouldExhaustStackOrMemory) {
  // Deep nesting: libplist recurses once per level.
  std::string xml = "<plist version=\"1.0\">";
  for (int i = 0; i < 300000; ++i) xml += "<array>";
  for (int i = 0; i < 300000; ++i) xml += "</array>";
  EXPECT_EQ(parse(xml + "</plist>"), nullptr);
  std::vector<std::string> chain;
  for (uint32_t i = 0; i < 200000; ++i) chain.push_back(i + 1 < 200000 ? "\xA1" + ref(i + 1) : "\xA0");
  EXPECT_EQ(parse(binaryDocument(chain)), nullptr);

  // Forty objects that each refer twice to the next unfold into 2^40 nodes.
  std::vector<std::string> doubling;
  for (uint32_t i = 0; i < 40; ++i) doubling.push_back(i + 1 < 40 ? "\xA2" + ref(i + 1) + ref(i + 1) : "\x08");
  EXPECT_EQ(parse(binaryDocument(doubling)), nullptr);
  EXPECT_EQ(parse(binaryDocument({"\xA1" + ref(0)})), nullptr) << "an array that holds itself";

  // Moderate nesting and shared leaves, as real writers produce them, still read.
  std::string nested = "<plist version=\"1.0\">";
  for (int i = 0; i < 200; ++i) nested += "<array>";
  nested += "<string>a &lt;b&gt;</string><!-- </array> --><dict/>";
  for (int i = 0; i < 200; ++i) nested += "</array>";
  EXPECT_NE(parse(nested + "</plist>"), nullptr);
  EXPECT_NE(parse("<plist version='1.0'><array><array a=\"/>\"></array></array></plist>"), nullptr);
  std::vector<std::string> shallowChain;
  for (uint32_t i = 0; i < 200; ++i) shallowChain.push_back(i + 1 < 200 ? "\xA1" + ref(i + 1) : "\xA0");
  EXPECT_NE(parse(binaryDocument(shallowChain)), nullptr);
  std::string manyRefs = "\xAF\x11\x03\xE8";  // an array of 1000 references to one string
  for (int i = 0; i < 1000; ++i) manyRefs += ref(1);
  auto shared = asArray(parse(binaryDocument({manyRefs, "\x51x"})));
  ASSERT_TRUE(shared);
  EXPECT_EQ(shared->size(), 1000u);
  EXPECT_EQ(asString(shared->at(999))->value(), "x");
}

}  // namespace
