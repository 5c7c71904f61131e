// Tests' devices: the seven supported models (Dev1..Dev7) as the simulator's catalogue
// (sim/devices.plist) describes them, what each has, and a way to run a test for every model
// with a capability:
//
//   INSTANTIATE_TEST_SUITE_P(WithChords, MyTest,
//                            ::testing::ValuesIn(testdevices::modelsWith(testdevices::kChords)),
//                            testdevices::modelName);
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "settings/device_info.h"
#include "sim/catalogue.h"

namespace testdevices {

enum Capability { kChords, kScrollRing, kBluetoothLE };

struct Model {
  int device = 0;     // 1..7
  std::string label;  // "Dev1", ...
  std::string key;    // the catalogue's name: "dev1", ...
  DeviceInfo info;    // what the driver reports for it over USB
  std::vector<int> buttons;
  bool ble = false;
  bool has(Capability c) const;
};

// Dev1..Dev7 in order (Dev7 by its first product id).
const std::vector<Model>& sevenModels();
Model model(int device);
std::vector<Model> modelsWith(Capability c);
// The parameter's label, for test names: "Dev1".
std::string modelName(const ::testing::TestParamInfo<Model>& info);
// How GoogleTest prints a model: its label.
inline void PrintTo(const Model& m, std::ostream* os) { *os << m.label; }

}  // namespace testdevices
