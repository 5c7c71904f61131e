// Test support: a private D-Bus session bus for one test, and waiting on the Qt event loop.
//
// PrivateBus starts its own dbus-daemon (private_bus.conf: nothing is started on demand) and
// stops it when it goes away, so tests never touch the user's session bus and never see each
// other's traffic. Programs a test starts find it through DBUS_SESSION_BUS_ADDRESS (see
// `environment()`). The daemon, and the programs started with `startAsChild`, end with the test
// process even when it is killed or crashes.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <sys/types.h>

namespace testing_support {

// A QCoreApplication for the test process (created once, on first call).
void ensureApplication();

class PrivateBus {
 public:
  PrivateBus();
  ~PrivateBus();
  PrivateBus(const PrivateBus&) = delete;
  PrivateBus& operator=(const PrivateBus&) = delete;

  bool ok() const { return !address_.empty(); }
  const std::string& address() const { return address_; }
  pid_t daemonPid() const { return pid_; }

  // A new connection of this process to the bus (each call a separate client).
  QDBusConnection connect(const std::string& connectionName);
  // The calling process's environment with this bus as the session bus, without a display and
  // without a system bus: Qt programs run on the offscreen platform and reach no clipboard,
  // browser, desktop or power management.
  QProcessEnvironment environment() const;

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::vector<std::string> connectionNames_;
};

// Starts the program so that it is killed when this process ends, however it ends.
void startAsChild(QProcess& process, const QString& program, const QStringList& arguments);
// Asks a running child to end (SIGTERM) and waits five seconds for it, then kills it: its exit
// status, or nothing when it had to be killed (or had crashed). 0 for a child that does not run.
std::optional<int> stopChild(QProcess& process);

// Runs the event loop until `done()` is true or the time is up; the final value of `done()`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the event loop for this long.
void spin(std::chrono::milliseconds duration);

}  // namespace testing_support
