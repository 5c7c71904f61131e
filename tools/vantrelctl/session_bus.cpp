#ifdef QT_DBUS_LIB
#include "tools/vantrelctl/session_bus.h"

#include <QCoreApplication>

#include <stdexcept>

namespace ctl {

QDBusConnection sessionBus() {
  if (!QCoreApplication::instance()) {
    static int argc = 1;
    static char name[] = "vantrelctl";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    (void)app;
  }
  auto c = QDBusConnection::sessionBus();
  if (!c.isConnected()) throw std::runtime_error("no D-Bus session bus (is DBUS_SESSION_BUS_ADDRESS set?)");
  return c;
}

}  // namespace ctl
#endif  // QT_DBUS_LIB
