#include "pane/tests/pane_harness.h"

#include <QDir>
#include <QFileInfo>
#include <QVBoxLayout>

#include <algorithm>
#include <fstream>

#include "platform/fake/fake_hid.h"
#include "settings/models.h"

namespace panetest {

DeviceInfo listedDevice(uint16_t productID, uint16_t release, uint16_t interfaceNum) {
  DeviceInfo d;
  d.transport = 0;
  d.vendorID = models::kVendorID;
  d.productID = productID;
  d.productVers = release;
  d.interfaceNum = interfaceNum;
  d.setVendorName("Halvorn");
  d.setProductName("Trackball");
  return d;
}

std::string listMessage(const std::vector<DeviceInfo>& devices, uint16_t helperState) {
  protocol::DeviceList list;
  list.count = static_cast<uint16_t>(devices.size());
  list.helperState = helperState;
  for (size_t i = 0; i < devices.size() && i < list.devices.size(); ++i) list.devices[i] = devices[i];
  return *protocol::encodeDictionary(*protocol::makeListMessage(protocol::encodeDeviceList(list)));
}

std::string listMessageOfSize(size_t size) {
  const pl::DictRef message = pl::makeDict();
  message->set("list", pl::makeData(std::vector<uint8_t>(size, 1)));
  return *protocol::encodeDictionary(*message);
}

PaneHarness::PaneHarness(const std::string& language) : language_(language) {
  bundle = platform::Bundle::withBundlePath(VANTREL_PANE_BUNDLE, language);
  world.factoryPath = bundle->resourcePath() + "/DefaultSettings.plist";
  QDir().mkpath(QFileInfo(QString::fromStdString(world.settingsPath)).absolutePath());
}

PaneHarness::~PaneHarness() {
  if (pane) unselect();
  pane.reset();
  window_.reset();
}

void PaneHarness::writeSettings(const pl::Dictionary& prefs) { pl::writeXmlFile(prefs, world.settingsPath); }

void PaneHarness::writeSettingsText(const std::string& text) {
  std::ofstream(world.settingsPath, std::ios::binary | std::ios::trunc) << text;
}

pl::DictRef PaneHarness::factorySettings() const { return pl::readDictFile(world.factoryPath); }

pl::DictRef PaneHarness::savedSettings() const { return pl::readDictFile(world.settingsPath); }

void PaneHarness::open() {
  pane = std::make_unique<VantrelPrefPane>(world.services());
  pane->initWithBundle(*bundle);
  QWidget* view = pane->loadMainView();
  window_ = std::make_unique<QWidget>();
  auto* layout = new QVBoxLayout(window_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  if (view) layout->addWidget(view);
  pane->mainViewDidLoad();
}

void PaneHarness::select() { pane->didSelect(); }

void PaneHarness::unselect() { pane->willUnselect(); }

void PaneHarness::deliverList(const std::vector<DeviceInfo>& devices, uint16_t helperState) {
  world.notifications.deliver(protocol::kMessageName, listMessage(devices, helperState));
}

int PaneHarness::attach(uint16_t productID, bool bluetooth) {
  return world.hid.attach(models::kVendorID, productID,
                          std::string(bluetooth ? sys::kIOHIDTransportBluetoothLowEnergyValue : sys::kIOHIDTransportUSBValue));
}

void PaneHarness::connect(const std::vector<uint16_t>& products) {
  std::vector<DeviceInfo> devices;
  for (uint16_t product : products) {
    attach(product);
    const uint16_t release = product == models::productOfEntry(2) ? models::kDev2FirstRelease : 0x0100;
    devices.push_back(listedDevice(product, release));
  }
  settle();
  deliverList(devices);
}

size_t PaneHarness::countCommands(const std::string& word) const {
  const auto all = commands();
  return static_cast<size_t>(std::count(all.begin(), all.end(), word));
}

}  // namespace panetest
