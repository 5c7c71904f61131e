// The driver world of the IOKit stand-in, mirrored from the device simulator.
//
// The registry (which services of which class exist, in publication order) is a local mirror:
// a snapshot taken when the simulator appears, then kept current by its events, each carrying
// the simulator's sequence number so that nothing is applied twice or lost between snapshot and
// events. Publications, terminations and driver messages reach the observer on the main thread
// in the simulator's order. Opens, calls and USB requests are blocking requests to the
// simulator, as user-client calls to a kernel driver are.
//
// The simulator is found on the session bus. The traffic goes over its direct driver socket
// (platform/dbus/driver_wire.h) when it offers one: a call then crosses one socket, and nothing
// but the two programs' main threads has to run. Otherwise it goes over the bus. When the
// simulator leaves the bus every mirrored service terminates; when it comes (back), its services
// are published. Losing the socket while the simulator stays counts as both: the connections
// opened over it are void, so the services end here and are published again.
//
// The simulator's system state (sim/system_state.h) travels on the socket among the driver's
// events: while the socket is in use, the driver world takes the state whole as it connects and
// then feeds the given mirror from there, in the order of the driver's events.
#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QSocketNotifier>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/driver_wire.h"
#include "sim/client/sim_link.h"
#include "sim/client/sim_system.h"
#include "platform/driver_world.h"

namespace simbus {

class SimDriverWorld final : public QObject, public iokit::DriverWorld {
  Q_OBJECT

 public:
  // `system` (may be null) is fed from the socket while it is in use; it must outlive the world.
  explicit SimDriverWorld(SimLink& link, SimSystemMirror* system = nullptr, QObject* parent = nullptr);
  ~SimDriverWorld() override;

  // Whether the traffic goes over the simulator's direct socket right now.
  bool direct() const { return sock_ >= 0; }

  void setObserver(Observer* observer) override { observer_ = observer; }
  // The IOKit master port is given while the session bus is there, with or without simulator.
  bool available() const override { return link_.connected(); }
  std::vector<iokit::ServiceId> services(std::string_view className) const override;
  std::string_view className(iokit::ServiceId service) const override;
  iokit::IOReturn open(iokit::ServiceId service, uint32_t type, iokit::io_connect_t* connection) override;
  iokit::IOReturn close(iokit::io_connect_t connection) override;
  iokit::IOReturn call(iokit::io_connect_t connection, uint32_t selector, const uint64_t* input,
                       uint32_t inputCnt, const void* inputStruct, size_t inputStructCnt,
                       uint64_t* output, uint32_t* outputCnt, void* outputStruct,
                       size_t* outputStructCnt) override;
  iokit::IOReturn usbIdentity(iokit::ServiceId service, uint16_t* vendor, uint16_t* product) override;
  iokit::IOReturn usbOpen(iokit::ServiceId service) override;
  iokit::IOReturn usbClose(iokit::ServiceId service) override;
  iokit::IOReturn usbReset(iokit::ServiceId service) override;
  iokit::IOReturn usbReEnumerate(iokit::ServiceId service, uint32_t options) override;

 private Q_SLOTS:
  void onPublished(qulonglong seq, qulonglong service, const QString& className);
  void onTerminated(qulonglong seq, qulonglong service, const QString& className);
  void onMessage(qulonglong seq, qulonglong service, uint type, const QByteArray& argument);

 private:
  // A reply's results (after kind, id and status), with the status.
  struct Reply {
    int32_t status = 0;
    std::vector<uint8_t> packet;
    size_t offset = 0;
    driverwire::Reader results() const { return {packet.data() + offset, packet.size() - offset}; }
  };

  void resync();
  void dropAll();
  // The direct socket broke: start over (over the bus if the socket cannot be had again).
  void socketLost();
  void subscribeBus(bool on);
  bool connectSocket();
  void disconnectSocket();
  std::optional<Reply> request(driverwire::Method method, const driverwire::Writer& arguments);
  void socketReadable();
  void dispatchEvents();
  void applyEvent(const std::vector<uint8_t>& packet);
  std::optional<QList<QVariant>> callBus(const char* method, const QList<QVariant>& args = {});
  iokit::IOReturn usbRequest(driverwire::Method method, const char* busMethod, iokit::ServiceId service,
                             std::optional<uint32_t> options = std::nullopt);

  void published(qulonglong seq, iokit::ServiceId service, const std::string& className);
  void terminated(qulonglong seq, iokit::ServiceId service);
  void message(qulonglong seq, iokit::ServiceId service, uint32_t type, const uint8_t* argument, size_t size);
  bool fresh(qulonglong seq);

  SimLink& link_;
  Observer* observer_ = nullptr;
  SimSystemMirror* system_ = nullptr;
  std::vector<std::pair<iokit::ServiceId, std::string>> services_;
  qulonglong seq_ = 0;
  bool busSubscribed_ = false;
  bool resyncing_ = false;

  int sock_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  uint32_t nextRequest_ = 1;
  std::deque<std::vector<uint8_t>> events_;  // received, not yet applied
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(driverwire::kMaxPacket);
  bool dispatchQueued_ = false;
};

}  // namespace simbus
