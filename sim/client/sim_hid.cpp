#include "sim/client/sim_hid.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "sim/sim_names.h"

namespace simbus {

SimHidMonitor::SimHidMonitor(SimLink& link, QObject* parent) : QObject(parent), link_(link) {
  link_.onPresenceChanged([this](bool present) {
    if (!running_) return;
    if (present) snapshot();
    else dropAll();
  });
}

SimHidMonitor::~SimHidMonitor() { stop(); }

void SimHidMonitor::start(std::optional<uint16_t> vendorID, Callback added, Callback removed) {
  stop();
  running_ = true;
  vendor_ = vendorID;
  added_ = std::move(added);
  removed_ = std::move(removed);
  if (!link_.connected()) return;
  // Subscribe before asking: a device that arrives in between is in the answer and its signal is
  // then ignored; one that leaves in between is in neither.
  link_.bus().connect(kService, kSystemPath, kSystemInterface, "HidDeviceAdded", this,
                      SLOT(onAdded(qulonglong, ushort, ushort, QString, ushort)));
  link_.bus().connect(kService, kSystemPath, kSystemInterface, "HidDeviceRemoved", this,
                      SLOT(onRemoved(qulonglong, ushort, ushort, QString, ushort)));
  subscribed_ = true;
  snapshot();
}

void SimHidMonitor::stop() {
  if (subscribed_) {
    link_.bus().disconnect(kService, kSystemPath, kSystemInterface, "HidDeviceAdded", this,
                           SLOT(onAdded(qulonglong, ushort, ushort, QString, ushort)));
    link_.bus().disconnect(kService, kSystemPath, kSystemInterface, "HidDeviceRemoved", this,
                           SLOT(onRemoved(qulonglong, ushort, ushort, QString, ushort)));
    subscribed_ = false;
  }
  running_ = false;
  devices_.clear();
}

std::vector<SimHidMonitor::Device> SimHidMonitor::devices() const {
  std::vector<Device> out;
  for (const auto& [id, d] : devices_) out.push_back(d);
  return out;
}

void SimHidMonitor::snapshot() {
  const auto r = link_.callSystem("HidDevices");
  if (!r || r->isEmpty()) return;
  std::vector<Device> fresh;
  for (const auto& v : QJsonDocument::fromJson((*r)[0].toString().toUtf8()).array()) {
    const auto o = v.toObject();
    Device d;
    d.id = static_cast<uint64_t>(o["id"].toInteger());
    d.vendorID = static_cast<uint16_t>(o["vendor_id"].toInt());
    d.productID = static_cast<uint16_t>(o["product_id"].toInt());
    d.transport = o["transport"].toString().toStdString();
    d.interfaceNumber = static_cast<uint16_t>(o["interface"].toInt());
    if (!matches(d.vendorID) || devices_.count(d.id)) continue;
    devices_[d.id] = d;
    fresh.push_back(d);
  }
  for (const auto& d : fresh)
    if (added_) added_(d);
}

void SimHidMonitor::dropAll() {
  auto gone = std::move(devices_);
  devices_.clear();
  for (const auto& [id, d] : gone)
    if (removed_) removed_(d);
}

void SimHidMonitor::onAdded(qulonglong id, ushort vendor, ushort product, const QString& transport,
                            ushort interfaceNumber) {
  if (!running_ || !matches(vendor) || devices_.count(id)) return;
  Device d{id, vendor, product, transport.toStdString(), interfaceNumber};
  devices_[id] = d;
  if (added_) added_(d);
}

void SimHidMonitor::onRemoved(qulonglong id, ushort, ushort, const QString&, ushort) {
  auto it = devices_.find(id);
  if (!running_ || it == devices_.end()) return;
  const Device d = it->second;
  devices_.erase(it);
  if (removed_) removed_(d);
}

}  // namespace simbus
