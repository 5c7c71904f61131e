// Test support: a private D-Bus session bus for one test, and waiting on the Qt event loop.
//
// PrivateBus starts its own dbus-daemon with the session configuration and stops it when it
// goes away, so tests never touch the user's session bus and never see each other's traffic.
// Programs a test starts find it through DBUS_SESSION_BUS_ADDRESS (see `environment()`).
#pragma once

#include <QDBusConnection>
#include <QProcessEnvironment>

#include <chrono>
#include <functional>
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

  // A new connection of this process to the bus (each call a separate client).
  QDBusConnection connect(const std::string& connectionName);
  // The calling process's environment with this bus as the session bus.
  QProcessEnvironment environment() const;

 private:
  pid_t pid_ = -1;
  std::string address_;
  std::vector<std::string> connectionNames_;
};

// Runs the event loop until `done()` is true or the time is up; the final value of `done()`.
bool waitUntil(const std::function<bool()>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
// Runs the event loop for this long.
void spin(std::chrono::milliseconds duration);

}  // namespace testing_support
