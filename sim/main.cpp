// vantrel-sim: the device simulator. Stands in, on the D-Bus session bus, for the kernel driver
// and for the operating-system services this machine does not have. Driven by
// `vantrelctl sim ...` and by the end-to-end tests.
//
//   vantrel-sim [--catalogue FILE] [--attach KEY[:ble][:unclaimed]]... [--reenumerate-ms N]
//               [--driver-only]
//
// With --driver-only it stands in for the driver and its devices alone: the helper then takes
// the front application, held keys, accessibility, scripts, power and media from the real
// desktop it runs on.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "keys/key_tables.h"
#include "platform/dbus/bus_loss.h"
#include "platform/qt/termination_signals.h"
#include "sim/sim_bus.h"
#include "sim/world.h"

namespace {

class QtScheduler final : public sim::Scheduler {
 public:
  void after(std::chrono::milliseconds delay, std::function<void()> work) override {
    QTimer::singleShot(delay, QCoreApplication::instance(), std::move(work));
  }
};

void usage() {
  std::fprintf(stderr,
               "usage: vantrel-sim [--catalogue FILE] [--attach KEY[:ble][:unclaimed]]... [--reenumerate-ms N]"
               " [--driver-only]\n");
}


}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string cataloguePath = sim::Catalogue::defaultPath();
  std::vector<std::string> attach;
  int reenumerateMs = 50;
  bool driverOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--catalogue" && hasValue) cataloguePath = argv[++i];
    else if (a == "--attach" && hasValue) attach.push_back(argv[++i]);
    else if (a == "--reenumerate-ms" && hasValue) reenumerateMs = std::atoi(argv[++i]);
    else if (a == "--driver-only") driverOnly = true;
    else {
      usage();
      return 2;
    }
  }

  std::string error;
  auto catalogue = sim::Catalogue::load(cataloguePath, &error);
  if (!catalogue) {
    std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
    return 2;
  }
  // Key names for the log follow this machine's keyboard layout.
  GetKeyboardInformation(nullptr, "");

  QtScheduler scheduler;
  sim::World world(std::move(*catalogue), scheduler);
  world.setReEnumerationDelay(std::chrono::milliseconds(reenumerateMs));
  sim::SimBus bus(world, QDBusConnection::sessionBus());
  bus.setStandsInForSystem(!driverOnly);
  if (!bus.start(&error)) {
    std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
    return 1;
  }
  QObject::connect(&bus, &sim::SimBus::quitRequested, &app, [] { QTimer::singleShot(0, [] { QCoreApplication::quit(); }); });
  sys::quitOnTerminationSignals(app);
  // The simulator lives on its bus: when the bus goes (the session ends), so does the simulator.
  dbusnotify::BusLossWatcher busLoss(QDBusConnection::sessionBus(), [] {
    std::fprintf(stderr, "vantrel-sim: the session bus is gone\n");
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
  });

  for (const auto& desc : attach) {
    sim::AttachOptions o;
    std::string key = desc;
    for (auto pos = key.find(':'); pos != std::string::npos; pos = key.find(':')) {
      std::string flags = key.substr(pos + 1);
      key = key.substr(0, pos);
      for (size_t start = 0; start <= flags.size();) {
        const size_t end = std::min(flags.find(':', start), flags.size());
        const std::string f = flags.substr(start, end - start);
        if (f == "ble") o.ble = true;
        else if (f == "unclaimed") o.unclaimed = true;
        else if (!f.empty()) {
          std::fprintf(stderr, "vantrel-sim: unknown attach option \"%s\"\n", f.c_str());
          return 2;
        }
        start = end + 1;
      }
    }
    if (!world.attach(key, o, &error)) {
      std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
      return 2;
    }
  }
  std::printf("vantrel-sim ready\n");
  std::fflush(stdout);
  const int rc = app.exec();
  world.setObserver(nullptr);
  return rc;
}
