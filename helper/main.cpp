// VantrelHelper: the background program of the login session.

#include <QApplication>
#include <cstdlib>

#include <QDBusConnection>

#include "helper/actions/vantrel_actions.h"
#include "helper/helper_bus.h"
#include "helper/notifications.h"
#include "helper/vantrel_helper.h"
#include "platform/bundle.h"
#include "platform/dbus/bus_loss.h"
#include "platform/dbus/distributed_notifications.h"
#include "sim/client/sim_runtime.h"
#include "platform/files.h"
#include "platform/qt/runtime_platform.h"
#include "platform/qt/termination_signals.h"

int main(int argc, char** argv) {
  // A faceless program: without any display it still runs, on the offscreen platform.
  if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
      std::getenv("WAYLAND_DISPLAY") == nullptr)
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);

  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  sys::quitOnTerminationSignals(app);

  // The helper's one connection to the session bus. It carries the helper's well-known name
  // (helper/helper_bus.h, claimed during start-up), the helper's objects at
  // helperbus::kObjectPath, the notifications to and from the panel and the simulated world.
  // The login session ends with its bus, and so does the helper.
  QDBusConnection bus = QDBusConnection::sessionBus();
  dbusnotify::BusLossWatcher busLoss(bus, [&app] {
    QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
  });

  // The machine's backends, and in front of them the simulated world on the session bus: the
  // device simulator's driver and system services while it runs there, this machine's otherwise.
  // Outside the simulator, scripts, system events and the media application have no backend on
  // this machine: they find nothing and send nothing.
  sys::RuntimePlatform machine;
  simbus::SimRuntime sim(machine.platform(), bus);
  const sys::Platform services = sim.platform();

  VantrelActions actions(services, {files::homeDirectory(), platform::Bundle::main().resourcePath(), 0});

  VantrelHelper helper(services);
  dbusnotify::DistributedNotificationCenter notifications(bus);
  DistributedPaneChannel paneChannel(notifications);
  helper.setPaneChannel(&paneChannel);
  helper.setInstanceClaim([&bus] { return helperbus::claimName(bus); });
  helper.setTerminateHandler([] { QCoreApplication::quit(); });
  helper.setButtonActions(&actions);
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &helper,
                   [&helper] { helper.applicationWillTerminate(); });

  helper.awakeFromNib();
  if (helper.terminated()) return 0;  // another instance runs
  return QApplication::exec();
}
