// The session bus for vantrelctl's commands that talk to running programs (the simulator, the
// helper); throws when there is none.
#pragma once
#ifdef QT_DBUS_LIB

#include <QDBusConnection>

namespace ctl {

QDBusConnection sessionBus();

}  // namespace ctl

#endif  // QT_DBUS_LIB
