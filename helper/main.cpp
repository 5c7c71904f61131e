// VantrelHelper: the background program of the login session.

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <utility>

#include <QJsonDocument>
#include <QTimer>

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

  // The machine's backends, chosen from what this session offers, and in front of them the
  // simulated world on the session bus: the device simulator's driver and system services while
  // it runs there, this desktop's otherwise (and always with a simulator that stands in for the
  // driver alone).
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

  // The helper's own object on the bus: the KWin script's calls, and what it sees for vantrelctl.
  const auto describeNow = [&] {
    DesktopView view;
    view.backends = machine.backends();
    view.simulatorDriver = sim.link.present();
    view.simulatorSystem = sim.systemLink.present();
    view.workspace = &machine.workspace;
    view.accessibility = &machine.accessibility;
    return QString::fromUtf8(QJsonDocument(describeHelper(helper, services, view)).toJson(QJsonDocument::Indented));
  };
  HelperBusObject busObject({
      [&machine](const QString& resourceClass, const QString& resourceName, const QString& desktopFile,
                 const QString& pid) { machine.kwinActivations->windowActivated(resourceClass, resourceName, desktopFile, pid); },
      [&](std::function<void(const QString&)> reply) {
        if (sim.systemLink.present() || !machine.accessibility.AXAPIEnabled()) return reply(describeNow());
        // A fresh look at the accessibility bus first (it never takes longer than 1.5 s).
        auto* waiting = new QObject(&app);
        auto answer = [waiting, reply, describeNow, done = std::make_shared<bool>(false)] {
          if (std::exchange(*done, true)) return;
          reply(describeNow());
          waiting->deleteLater();
        };
        QObject::connect(&machine.accessibility, &atspi::Accessibility::looked, waiting, answer);
        QTimer::singleShot(2000, waiting, answer);
        machine.accessibility.look();
      }});
  busObject.registerOn(bus);
  return QApplication::exec();
}
