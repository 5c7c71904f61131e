// vantrelctl desktop: what the running helper sees on this desktop (its Describe call on the
// session bus), for people who ask why a profile does not switch.
#ifdef QT_DBUS_LIB

#include <QDBusMessage>

#include "tools/vantrelctl/command.h"
#include "tools/vantrelctl/session_bus.h"

namespace {

using nlohmann::json;

const char* kUsage =
    "desktop [--helper BUS-NAME]  what the running helper sees: which backend serves each service, the\n"
    "    front application with the identity profiles match and the window it came from, held\n"
    "    modifiers and mouse buttons, accessibility and the default button, and each device's\n"
    "    profile now. --helper names another connection than com.halvorn.vantrel.Helper.";

int cmdDesktop(const ctl::Args& args) {
  ctl::checkFlags(args, {"--helper"});
  if (!ctl::positionals(args, {"--helper"}).empty()) throw ctl::UsageError(kUsage);
  const std::string name = ctl::option(args, "--helper").value_or("com.halvorn.vantrel.Helper");
  QDBusConnection bus = ctl::sessionBus();
  QDBusMessage m = QDBusMessage::createMethodCall(QString::fromStdString(name), "/com/halvorn/vantrel/Helper",
                                                  "com.halvorn.vantrel.Helper", "Describe");
  m.setAutoStartService(false);
  const QDBusMessage reply = bus.call(m, QDBus::Block, 10000);
  if (reply.type() != QDBusMessage::ReplyMessage) {
    ctl::print({{"error", "the helper does not answer: " + reply.errorMessage().toStdString()}});
    return 1;
  }
  json j = json::parse(reply.arguments().value(0).toString().toStdString(), nullptr, false);
  if (j.is_discarded()) throw std::runtime_error("the helper answered something that is not JSON");
  ctl::print(j);
  return 0;
}

ctl::Registration r("desktop", kUsage, &cmdDesktop);

}  // namespace

#endif  // QT_DBUS_LIB
