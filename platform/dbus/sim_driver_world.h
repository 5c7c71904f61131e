// The driver world of the IOKit stand-in, mirrored from the device simulator on the session bus.
//
// The registry (which services of which class exist, in publication order) is a local mirror:
// a snapshot taken when the simulator appears, then kept current by its signals, each carrying
// the simulator's sequence number so that nothing is applied twice or lost between snapshot and
// signals. Publications, terminations and driver messages reach the observer on the main thread
// in the simulator's order. Opens, calls and USB requests are blocking calls to the simulator.
// When the simulator leaves the bus every mirrored service terminates; when it comes (back),
// its services are published.
//
// The traffic goes over a direct (peer-to-peer) D-Bus connection to the simulator when it offers
// one, and over the bus otherwise: a call then crosses one socket instead of two, and no third
// process has to be scheduled on the way.
#pragma once

#include <QDBusMessage>
#include <QObject>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/dbus/sim_link.h"
#include "platform/driver_world.h"

namespace simbus {

class SimDriverWorld final : public QObject, public iokit::DriverWorld {
  Q_OBJECT

 public:
  explicit SimDriverWorld(SimLink& link, QObject* parent = nullptr);
  ~SimDriverWorld() override;

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
  void resync();
  void dropAll();
  void subscribe(QDBusConnection& c, const QString& service);
  void unsubscribe(QDBusConnection& c, const QString& service);
  bool connectPeer();
  void disconnectPeer();
  std::optional<QList<QVariant>> callDriver(const char* method, const QList<QVariant>& args = {});
  bool fresh(qulonglong seq);
  iokit::IOReturn usbCall(const char* method, iokit::ServiceId service, const QList<QVariant>& extra = {});

  SimLink& link_;
  Observer* observer_ = nullptr;
  std::optional<QDBusConnection> peer_;
  bool busSubscribed_ = false;
  std::vector<std::pair<iokit::ServiceId, std::string>> services_;
  qulonglong seq_ = 0;
};

}  // namespace simbus
