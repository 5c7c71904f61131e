// The helper on the session bus. It holds the well-known name helperbus::kService while it runs:
// the name is requested without queueing, so of helpers that start at the same moment exactly
// one gets it (the others end), and a program that wants to talk to the helper finds it there.
// Its own object lives at helperbus::kObjectPath on the same connection, interface
// "com.halvorn.vantrel.Helper":
//   WindowActivated(s resourceClass, s resourceName, s desktopFileName, s pid)
//       the KWin script's call for each activated window (platform/dbus/kwin_activations.h)
//   Describe() -> s
//       what the helper sees on this desktop, as one JSON object (`vantrelctl desktop` prints
//       it), for people who ask why a profile does not switch; see describeHelper().
#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/system_services.h"

class VantrelHelper;
namespace sys {
class DesktopWorkspace;
}
namespace atspi {
class Accessibility;
}

namespace helperbus {

inline constexpr const char* kService = "com.halvorn.vantrel.Helper";
inline constexpr const char* kObjectPath = "/com/halvorn/vantrel/Helper";
inline constexpr const char* kInterface = "com.halvorn.vantrel.Helper";

// Requests kService for the connection without queueing (DBUS_NAME_FLAG_DO_NOT_QUEUE). False
// only when another connection owns it; true when this one does, and when there is no bus to
// ask or it would not answer (then nothing tells another helper from this one but the process
// list).
bool claimName(QDBusConnection& bus);

}  // namespace helperbus

class HelperBusObject final : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "com.halvorn.vantrel.Helper")

 public:
  struct Hooks {
    std::function<void(const QString&, const QString&, const QString&, const QString&)> windowActivated;
    // Produces the description and hands it to `reply`, now or a little later.
    std::function<void(std::function<void(const QString&)> reply)> describe;
  };
  explicit HelperBusObject(Hooks hooks, QObject* parent = nullptr) : QObject(parent), hooks_(std::move(hooks)) {}
  // Registers the object at helperbus::kObjectPath.
  bool registerOn(QDBusConnection& bus);

 public Q_SLOTS:
  Q_SCRIPTABLE void WindowActivated(const QString& resourceClass, const QString& resourceName,
                                    const QString& desktopFileName, const QString& pid);
  Q_SCRIPTABLE QString Describe();

 private:
  Hooks hooks_;
};

// What goes into a description besides the helper's own state.
struct DesktopView {
  // (service, backend) of the machine's services, as they run now.
  std::vector<std::pair<std::string, std::string>> backends;
  bool simulatorDriver = false;  // the simulator stands in for the driver
  bool simulatorSystem = false;  // ... and for the operating system
  const sys::DesktopWorkspace* workspace = nullptr;     // the desktop's activations, when known
  const atspi::Accessibility* accessibility = nullptr;  // the accessibility bus, when known
};

// The description: "simulator", "backends", "front application" (the identity profiles are
// matched against), "last activation" (the window it came from and how its application was
// found), "keyboard" (held modifiers now, and the ones the devices were last told), "mouse
// buttons", "accessibility" (access, focused application and window, default button),
// "snap to default" and "devices" (each device with the profile that applies to it now).
QJsonObject describeHelper(VantrelHelper& helper, const sys::Platform& services, const DesktopView& view);
