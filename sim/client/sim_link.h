// The link of a runtime backend to the device simulator (vantrel-sim) on the session bus: whether
// the simulator is on the bus now (followed as it comes and goes), and calls to it: blocking ones,
// ones answered later on the main thread, and ones nobody waits for.
//
// Backends that stand for the operating system ask the simulator while it is on the bus and act
// as a machine where nothing happens (no device, no activation, nothing held) while it is not.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QVariant>

#include <functional>
#include <optional>
#include <vector>

namespace simbus {

class SimLink : public QObject {
  Q_OBJECT

 public:
  // Follows and calls the simulator under `service`: kService (the driver and its devices), or
  // kSystemService, which the simulator owns while it also stands in for the operating system.
  explicit SimLink(const QDBusConnection& bus = QDBusConnection::sessionBus(), QObject* parent = nullptr,
                   const char* service = nullptr);

  QDBusConnection& bus() { return bus_; }
  bool connected() const { return bus_.isConnected(); }
  // Whether the simulator owns the link's name on the bus (as last seen).
  bool present() const { return present_; }
  const char* service() const { return service_; }

  // One blocking call; nothing when the simulator is not there or the call failed.
  std::optional<QList<QVariant>> call(const char* path, const char* interface, const char* method,
                                      const QList<QVariant>& args = {});
  std::optional<QList<QVariant>> callDriver(const char* method, const QList<QVariant>& args = {});
  std::optional<QList<QVariant>> callSystem(const char* method, const QList<QVariant>& args = {});
  // A call to the system object whose answer (nothing when it failed or the simulator is not
  // there) is handed to `done` on the main thread later; this returns at once.
  void callSystemLater(const char* method, const QList<QVariant>& args,
                       std::function<void(std::optional<QList<QVariant>>)> done);
  // A call to the system object that nobody waits for. False when it could not be sent.
  bool sendSystem(const char* method, const QList<QVariant>& args);

  // Called (on the main thread) when the simulator comes onto the bus or leaves it.
  void onPresenceChanged(std::function<void(bool present)> handler) { handlers_.push_back(std::move(handler)); }

 private:
  void setPresent(bool present);

  QDBusConnection bus_;
  const char* service_;
  QDBusServiceWatcher watcher_;
  bool present_ = false;
  std::vector<std::function<void(bool)>> handlers_;
};

// Registers the D-Bus types the simulator's methods use (lists of 64-bit and 32-bit numbers).
void registerSimTypes();

}  // namespace simbus
