#include "sim/testing/device_catalogue.h"

#include <algorithm>
#include <cstdlib>

#include "settings/driver_codes.h"
#include "settings/models.h"

namespace testdevices {

bool Model::has(Capability c) const {
  auto hasButton = [&](int b) { return std::find(buttons.begin(), buttons.end(), b) != buttons.end(); };
  switch (c) {
    case kChords: return hasButton(8);
    case kScrollRing: return hasButton(12);
    case kBluetoothLE: return ble;
  }
  return false;
}

const std::vector<Model>& sevenModels() {
  static const std::vector<Model> models = [] {
    std::string error;
    const auto catalogue = sim::Catalogue::load(sim::Catalogue::defaultPath(), &error);
    if (!catalogue) {
      ADD_FAILURE() << "device catalogue: " << error;
      return std::vector<Model>();
    }
    std::vector<Model> out;
    for (int d = 1; d <= models::kDeviceCount; ++d) {
      for (const sim::CatalogueDevice& c : catalogue->devices()) {
        if (c.device != d || c.productID != models::productOfDevice(d)) continue;
        Model m;
        m.device = d;
        m.label = std::string(models::deviceLabel(d));
        m.key = c.key;
        m.info.transport = driver::kTransportUSB;
        m.info.vendorID = c.vendorID;
        m.info.productID = c.productID;
        m.info.productVers = c.release;
        m.info.interfaceNum = c.interfaces.empty() ? 0 : c.interfaces.front();
        m.info.setVendorName(c.vendorName);
        m.info.setProductName(c.productName);
        m.buttons = c.buttons;
        m.ble = c.ble;
        out.push_back(std::move(m));
        break;
      }
    }
    return out;
  }();
  return models;
}

Model model(int device) {
  for (const Model& m : sevenModels())
    if (m.device == device) return m;
  ADD_FAILURE() << "no model Dev" << device;
  return Model();
}

std::vector<Model> modelsWith(Capability c) {
  std::vector<Model> out;
  for (const Model& m : sevenModels())
    if (m.has(c)) out.push_back(m);
  return out;
}

std::string modelName(const ::testing::TestParamInfo<Model>& info) { return info.param.label; }

}  // namespace testdevices
