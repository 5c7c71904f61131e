#include "helper/tests/helper_fixture.h"

#include <QCoreApplication>
#include <cstdlib>
#include <filesystem>

#include "keys/layout.h"
#include "settings/models.h"
#include "settings/testing/profile_builder.h"

namespace helpertest {

namespace {

// The helper's timers need an application object; the key tables a fixed layout.
class HelperEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    keys::pinLayout(keys::LayoutSpec::parse("us"));
    app_ = std::make_unique<QCoreApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char arg0_[13] = "helper_tests";
  char* argv_[2] = {arg0_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new HelperEnvironment);

}  // namespace

pl::DictRef makeProfile(const ProfileSpec& s) {
  testsupport::ProfileBuilder b;
  b.app(s.bundleID, s.executable, s.signature)
      .device(s.vendor, s.product, s.versionMin, s.versionMax)
      .jump(s.jump)
      .speed(s.speed)
      .button(0, s.firstButtonCmd);
  if (s.withParam)
    b.scroll(s.triggerTime, 80, 1500, 95, 3);
  else
    b.noScroll();
  return b.build();
}

ProfileSpec deviceSpec(const Model& m) {
  ProfileSpec s;
  s.vendor = models::kVendorID;
  s.product = m.info.productID;
  const models::ReleaseRange r = models::releaseRangeOfDevice(m.device);
  s.versionMin = r.min;
  s.versionMax = r.max;
  return s;
}

TempDir::TempDir() {
  char tmpl[] = "/tmp/vantrel-helper-XXXXXX";
  const char* p = ::mkdtemp(tmpl);
  path_ = p != nullptr ? p : "/tmp";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

HelperTest::HelperTest()
    : settingsPath(dir.path() + "/settings.plist"), factoryPath(dir.path() + "/factory.plist") {}

HelperTest::~HelperTest() { helper.reset(); }

void HelperTest::writeSettings(const std::vector<pl::DictRef>& profiles, int version) {
  pl::Dictionary prefs;
  prefs.setInteger("version", version);
  pl::ArrayRef devices = pl::makeArray();
  for (const auto& p : profiles) devices->append(p);
  prefs.set("devices", devices);
  pl::ArrayRef snippets = pl::makeArray();
  snippets->append(pl::makeString("hello"));
  prefs.set("snippets", snippets);
  ASSERT_TRUE(pl::writeXmlFile(prefs, settingsPath));
}

VantrelHelper& HelperTest::makeHelper() {
  helper.reset();
  VantrelHelper::Config config;
  config.settingsPath = settingsPath;
  config.factoryPath = factoryPath;
  helper = std::make_unique<VantrelHelper>(fake.platform(), config);
  return *helper;
}

VantrelHelper& HelperTest::start() {
  makeHelper().awakeFromNib();
  return *helper;
}

ServiceId HelperTest::publishDevice(const DeviceInfo& info) {
  return publishDevice(info, InProcessDriverWorld::ServiceBehaviour());
}

ServiceId HelperTest::publishDevice(const DeviceInfo& info,
                                    InProcessDriverWorld::ServiceBehaviour b) {
  const DeviceInfo::Bytes bytes = info.encode();
  b.infoBytes.assign(bytes.begin(), bytes.end());
  return world.publishService(driver::kServiceClass, std::move(b));
}

io_connect_t HelperTest::connectionOf(ServiceId service) const {
  const auto cs = world.connectionsOf(service);
  return cs.empty() ? 0 : cs.back();
}

io_connect_t HelperTest::arrive(const DeviceInfo& info) {
  const ServiceId s = publishDevice(info);
  fake.runPending();
  return connectionOf(s);
}

std::vector<Call> HelperTest::calls(io_connect_t connection, uint32_t selector,
                                    uint32_t code) const {
  std::vector<Call> out;
  for (const Call& c : world.calls()) {
    if ((connection == 0 || c.connection == connection) && c.selector == selector &&
        c.scalars.size() >= 2 && c.scalars[1] == code)
      out.push_back(c);
  }
  return out;
}

std::vector<uint64_t> HelperTest::params(const std::vector<Call>& cs) {
  std::vector<uint64_t> out;
  for (const Call& c : cs) out.push_back(c.scalars.size() >= 3 ? c.scalars[2] : ~0ull);
  return out;
}

std::vector<uint8_t> HelperTest::recordOf(const pl::DictRef& best, const pl::DictRef& global) {
  SettingsRecord r{};
  if (!VantrelAppPrefsDictToStruct(best, global, &r)) return {};
  return std::vector<uint8_t>(r.begin(), r.end());
}

}  // namespace helpertest
