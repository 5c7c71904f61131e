// Test support: logind as python3-dbusmock's template plays it, on a private bus of its own that
// stands in for the system bus (DBUS_SYSTEM_BUS_ADDRESS of whatever the test starts), so that no
// test ever reaches this machine's power management.
#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include "platform/dbus/testing/private_bus.h"

namespace testing_support {

class MockLogind {
 public:
  MockLogind();
  ~MockLogind();
  MockLogind(const MockLogind&) = delete;
  MockLogind& operator=(const MockLogind&) = delete;

  // Whether the mock answers on its bus (waits for it up to 20 seconds).
  bool ready();
  // The stand-in for the system bus.
  const std::string& address() const { return bus_.address(); }
  QDBusConnection connect(const std::string& name) { return bus_.connect(name); }
  // `env` with DBUS_SYSTEM_BUS_ADDRESS pointing at the mock's bus.
  QProcessEnvironment environment(QProcessEnvironment env) const;
  // The manager's methods called so far with their arguments, in order ("Reboot true").
  QStringList calls();

 private:
  PrivateBus bus_;
  QProcess mock_;
  QDBusConnection observer_{"none"};
};

}  // namespace testing_support
