#include "pane/runtime_pane_services.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDateTime>
#include <QTimer>

#include <map>

#include "platform/dbus/distributed_notifications.h"
#include "platform/dbus/session_processes.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/udev_hid.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/qt/desktop_workspace_actions.h"
#include "platform/qt/qt_readiness_watcher.h"
#include "platform/qt/qt_runloop.h"
#include "settings/prefs_file.h"
#include "sim/client/sim_hid.h"
#include "sim/client/sim_link.h"
#include "sim/sim_names.h"

namespace panesvc {

namespace {

// Seconds between 1970-01-01 and 2001-01-01.
constexpr double kReferenceDateOffset = 978307200.0;

class BusNotifications final : public Notifications {
 public:
  explicit BusNotifications(const QDBusConnection& bus = QDBusConnection::sessionBus()) : center_(bus) {}
  bool post(const std::string& name, const std::string& object) override { return center_.post(name, object); }
  bool observe(const std::string& name, Handler handler) override {
    return center_.observe(name, std::move(handler));
  }
  void stopObserving(const std::string& name) override { center_.stopObserving(name); }

 private:
  dbusnotify::DistributedNotificationCenter center_;
};

class QtTimer final : public Timer {
 public:
  QtTimer(double seconds, std::function<void()> tick) {
    timer_.setInterval(static_cast<int>(seconds * 1000.0));
    QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
    timer_.start();
  }

 private:
  QTimer timer_;
};

class QtClock final : public Clock {
 public:
  double now() override {
    return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - kReferenceDateOffset;
  }
  std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) override {
    return std::make_unique<QtTimer>(seconds, std::move(tick));
  }
  void postToMainLoop(std::function<void()> work) override {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(work));
  }
};

// The simulator's HID view as the devices of one manager.
class SimHidSource final : public sys::HIDDeviceSource {
 public:
  explicit SimHidSource(simbus::SimLink& link) : monitor_(link) {}

  bool start(Observer& observer) override {
    observer_ = &observer;
    monitor_.start(std::nullopt, [this](const simbus::SimHidMonitor::Device& d) { arrived(d); },
                   [this](const simbus::SimHidMonitor::Device& d) { removed(d); });
    return true;
  }
  void stop() override {
    monitor_.stop();
    observer_ = nullptr;
    devices_.clear();
  }

 private:
  void arrived(const simbus::SimHidMonitor::Device& d) {
    const pl::DictRef properties = pl::makeDict();
    properties->setInteger(sys::kIOHIDVendorIDKey, d.vendorID);
    properties->setInteger(sys::kIOHIDProductIDKey, d.productID);
    if (!d.transport.empty()) properties->setString(sys::kIOHIDTransportKey, d.transport);
    auto device = std::make_shared<const sys::IOHIDDevice>(properties);
    devices_[d.id] = device;
    if (observer_) observer_->hidDeviceArrived(device);
  }
  void removed(const simbus::SimHidMonitor::Device& d) {
    auto it = devices_.find(d.id);
    if (it == devices_.end()) return;
    const sys::IOHIDDeviceRef device = it->second;
    devices_.erase(it);
    if (observer_) observer_->hidDeviceRemoved(device);
  }

  simbus::SimHidMonitor monitor_;
  Observer* observer_ = nullptr;
  std::map<uint64_t, sys::IOHIDDeviceRef> devices_;
};

// The simulator's devices while it is on the bus, the machine's (udev) otherwise; chosen when a
// manager is made, that is each time the pane is selected.
class ChosenHIDManagers final : public sys::HIDManagers {
 public:
  explicit ChosenHIDManagers(rl::ReadinessWatcher& watcher,
                             const QDBusConnection& bus = QDBusConnection::sessionBus())
      : bus_(bus), link_(bus), udev_(watcher) {}
  sys::IOHIDManagerRef IOHIDManagerCreate() override {
    // The watcher's news may still be on its way when the simulator has only just started: the
    // bus itself is asked then (its daemon answers at once; no other program is waited for).
    const bool simulator = link_.present() || (bus_.interface() && bus_.interface()->isServiceRegistered(
                                                                      QString::fromLatin1(simbus::kService)));
    if (simulator) return std::make_unique<sys::IOHIDManager>(std::make_unique<SimHidSource>(link_));
    return udev_.IOHIDManagerCreate();
  }

 private:
  QDBusConnection bus_;
  simbus::SimLink link_;
  sys::UdevHIDManagers udev_;
};

}  // namespace

std::unique_ptr<Notifications> makeBusNotifications(const QDBusConnection& bus) {
  return std::make_unique<BusNotifications>(bus);
}

std::unique_ptr<sys::HIDManagers> makeHIDManagers(const QDBusConnection& bus, rl::ReadinessWatcher& watcher) {
  return std::make_unique<ChosenHIDManagers>(watcher, bus);
}

std::unique_ptr<Clock> makeQtClock() { return std::make_unique<QtClock>(); }

struct RuntimePaneServices::Parts {
  BusNotifications notifications;
  rl::QtRunLoop runLoop;
  rl::QtReadinessWatcher watcher;
  ChosenHIDManagers hid{watcher};
  QtClock clock;
  sys::ProcFsProcessManager allProcesses;
  // A helper counts only when it runs in this login session (same user, same session bus), so
  // another user's helper, or one on another bus, does not keep the pane from starting its own.
  simbus::SessionProcessManager processes{allProcesses};
  DesktopWorkspaceActions workspace;
  sys::XdgAutostartLoginItems loginItems;
};

RuntimePaneServices::RuntimePaneServices() : fParts(std::make_unique<Parts>()) {
  fServices.files = {VantrelSettingsPath(), VantrelDefaultSettingsPath()};
  fServices.notifications = &fParts->notifications;
  fServices.hid = &fParts->hid;
  fServices.runLoop = &fParts->runLoop;
  fServices.clock = &fParts->clock;
  fServices.processes = &fParts->processes;
  fServices.workspace = &fParts->workspace;
  fServices.loginItems = &fParts->loginItems;
}

RuntimePaneServices::~RuntimePaneServices() = default;

}  // namespace panesvc
