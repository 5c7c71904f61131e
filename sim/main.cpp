// vantrel-sim: the device simulator. Stands in, on the D-Bus session bus, for the kernel driver
// and for the operating-system services this machine does not have. Driven by
// `vantrelctl sim ...` and by the end-to-end tests.
//
//   vantrel-sim [--catalogue FILE] [--attach KEY[:ble][:unclaimed]]... [--reenumerate-ms N]
#include <QCoreApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "keys/key_tables.h"
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
               "usage: vantrel-sim [--catalogue FILE] [--attach KEY[:ble][:unclaimed]]... [--reenumerate-ms N]\n");
}

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop from the event loop, so that the simulator's socket is
// removed and its clients see it leave the bus.
void quitOnTerminationSignals(QCoreApplication& app) {
  if (::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
  struct sigaction sa = {};
  sa.sa_handler = onTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::string cataloguePath = sim::Catalogue::defaultPath();
  std::vector<std::string> attach;
  int reenumerateMs = 50;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--catalogue" && hasValue) cataloguePath = argv[++i];
    else if (a == "--attach" && hasValue) attach.push_back(argv[++i]);
    else if (a == "--reenumerate-ms" && hasValue) reenumerateMs = std::atoi(argv[++i]);
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
  if (!bus.start(&error)) {
    std::fprintf(stderr, "vantrel-sim: %s\n", error.c_str());
    return 1;
  }
  QObject::connect(&bus, &sim::SimBus::quitRequested, &app, [] { QTimer::singleShot(0, [] { QCoreApplication::quit(); }); });
  quitOnTerminationSignals(app);

  for (const auto& spec : attach) {
    sim::AttachOptions o;
    std::string key = spec;
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
