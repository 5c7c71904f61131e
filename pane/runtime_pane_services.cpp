#include "pane/runtime_pane_services.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

#include "platform/dbus/distributed_notifications.h"
#include "platform/linux/linux_system.h"
#include "platform/linux/udev_hid.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/qt/desktop_workspace_actions.h"
#include "platform/qt/qt_readiness_watcher.h"
#include "platform/qt/qt_runloop.h"
#include "settings/prefs_file.h"

namespace panesvc {

namespace {

// Seconds between 1970-01-01 and 2001-01-01.
constexpr double kReferenceDateOffset = 978307200.0;

class BusNotifications final : public Notifications {
 public:
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

}  // namespace

struct RuntimePaneServices::Parts {
  BusNotifications notifications;
  rl::QtRunLoop runLoop;
  rl::QtReadinessWatcher watcher;
  sys::UdevHIDManagers udev{watcher};
  QtClock clock;
  sys::ProcFsProcessManager processes;
  DesktopWorkspaceActions workspace;
  sys::XdgAutostartLoginItems loginItems;
};

RuntimePaneServices::RuntimePaneServices() : fParts(std::make_unique<Parts>()) {
  fServices.files = {VantrelSettingsPath(), VantrelDefaultSettingsPath()};
  fServices.notifications = &fParts->notifications;
  fServices.hid = &fParts->udev;
  fServices.runLoop = &fParts->runLoop;
  fServices.clock = &fParts->clock;
  fServices.processes = &fParts->processes;
  fServices.workspace = &fParts->workspace;
  fServices.loginItems = &fParts->loginItems;
}

RuntimePaneServices::~RuntimePaneServices() = default;

}  // namespace panesvc
