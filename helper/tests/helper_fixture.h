// What the helper's tests share: a helper on the fake platform, settings files in a temporary
// folder, the device catalogue of the seven models, profiles, and readers for what the driver
// received.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "helper/vantrel_helper.h"
#include "platform/fake/fake_system.h"
#include "settings/device_info.h"
#include "settings/driver_codes.h"
#include "settings/record.h"
#include "sim/testing/device_catalogue.h"

namespace helpertest {

using iokit::InProcessDriverWorld;
using iokit::io_connect_t;
using iokit::ServiceId;
using Call = InProcessDriverWorld::Call;

// The seven models (sim/testing/device_catalogue.h).
using testdevices::Model;
using testdevices::model;
using testdevices::modelName;
inline const std::vector<Model>& allModels() { return testdevices::sevenModels(); }

// A profile with the keys the driver record needs (settings/testing/profile_builder.h, in the
// shape these tests describe).
struct ProfileSpec {
  std::string bundleID;
  std::string executable;
  std::string signature;
  uint16_t vendor = 0;
  uint16_t product = 0;
  uint16_t versionMin = 0;
  uint16_t versionMax = 0;
  bool jump = false;
  int speed = 400;
  bool withParam = true;
  uint16_t triggerTime = 40;  // the other scroll parameters follow from it
  int firstButtonCmd = 1;
};
pl::DictRef makeProfile(const ProfileSpec& desc);
// A profile for a model, no application.
ProfileSpec deviceSpec(const Model& m);

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class HelperTest : public ::testing::Test {
 protected:
  HelperTest();
  ~HelperTest() override;

  // Writes {"version": 3, "devices": profiles} as the user's settings file.
  void writeSettings(const std::vector<pl::DictRef>& profiles, int version = 3);
  // A new helper on the fake platform (not yet started).
  VantrelHelper& makeHelper();
  // makeHelper, then awakeFromNib.
  VantrelHelper& start();

  // A captured device whose driver reports `info`.
  ServiceId publishDevice(const DeviceInfo& info);
  ServiceId publishDevice(const DeviceInfo& info, InProcessDriverWorld::ServiceBehaviour b);
  // The helper's connection to a service (0 when it has none open).
  io_connect_t connectionOf(ServiceId service) const;
  // publishDevice, then the notification port delivers; returns the connection.
  io_connect_t arrive(const DeviceInfo& info);

  // Calls on a connection, or all calls (connection 0), with this selector and second scalar.
  std::vector<Call> calls(io_connect_t connection, uint32_t selector, uint32_t code) const;
  std::vector<Call> settingsCalls(io_connect_t c = 0) const {
    return calls(c, driver::kSelectorStructIn, driver::kSettingsCode);
  }
  std::vector<Call> scrollCalls(io_connect_t c = 0) const {
    return calls(c, driver::kSelectorStructIn, driver::kScrollCode);
  }
  std::vector<Call> controlCalls(uint32_t code, io_connect_t c = 0) const {
    return calls(c, driver::kSelectorControl, code);
  }
  // The parameter (third scalar) of each control call.
  static std::vector<uint64_t> params(const std::vector<Call>& cs);

  // The record VantrelAppPrefsDictToStruct makes of a pair of profiles.
  static std::vector<uint8_t> recordOf(const pl::DictRef& best, const pl::DictRef& global);

  sys::FakePlatform fake;
  InProcessDriverWorld& world = fake.world;
  TempDir dir;
  std::string settingsPath;
  std::string factoryPath;
  std::unique_ptr<VantrelHelper> helper;
};

}  // namespace helpertest
