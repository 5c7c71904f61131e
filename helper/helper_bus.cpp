#include "helper/helper_bus.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>

namespace helperbus {

bool claimName(QDBusConnection& bus) {
  if (!bus.isConnected() || bus.interface() == nullptr) return true;
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
      kService, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) return true;
  return reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

}  // namespace helperbus
