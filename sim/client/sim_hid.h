// The HID devices attached to the simulated machine, as the preferences panel counts them: every
// interface of every device the simulator has plugged in, with its vendor and product id and its
// transport ("USB" or "Bluetooth Low Energy").
//
// Started with a vendor to match (or none for every vendor), the monitor reports each attached
// device that matches through `added` (the devices present at once, from inside start()), then
// arrivals and removals as they happen on the main thread, each device once. When the
// simulator leaves the bus its devices are reported removed; when it comes back, added.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/client/sim_link.h"

namespace simbus {

class SimHidMonitor final : public QObject {
  Q_OBJECT

 public:
  struct Device {
    uint64_t id = 0;
    uint16_t vendorID = 0;
    uint16_t productID = 0;
    std::string transport;
    uint16_t interfaceNumber = 0;
  };
  using Callback = std::function<void(const Device&)>;

  explicit SimHidMonitor(SimLink& link, QObject* parent = nullptr);
  ~SimHidMonitor() override;

  void start(std::optional<uint16_t> vendorID, Callback added, Callback removed);
  void stop();
  bool running() const { return running_; }
  // The matching devices known now, in arrival order.
  std::vector<Device> devices() const;

 private Q_SLOTS:
  void onAdded(qulonglong id, ushort vendor, ushort product, const QString& transport, ushort interfaceNumber);
  void onRemoved(qulonglong id, ushort vendor, ushort product, const QString& transport, ushort interfaceNumber);

 private:
  void snapshot();
  void dropAll();
  bool matches(uint16_t vendor) const { return !vendor_ || *vendor_ == vendor; }

  SimLink& link_;
  bool running_ = false;
  bool subscribed_ = false;
  std::optional<uint16_t> vendor_;
  Callback added_, removed_;
  std::map<uint64_t, Device> devices_;
};

}  // namespace simbus
