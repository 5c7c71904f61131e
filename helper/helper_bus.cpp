#include "helper/helper_bus.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>
#include <cstring>
#include <variant>

#include "helper/vantrel_helper.h"
#include "platform/dbus/atspi_accessibility.h"
#include "platform/linux/desktop_workspace.h"

namespace helperbus {

bool claimName(QDBusConnection& bus) {
  if (!bus.isConnected() || bus.interface() == nullptr) return true;
  const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply = bus.interface()->registerService(
      kService, QDBusConnectionInterface::DontQueueService, QDBusConnectionInterface::DontAllowReplacement);
  if (!reply.isValid()) return true;
  return reply.value() == QDBusConnectionInterface::ServiceRegistered;
}

}  // namespace helperbus

bool HelperBusObject::registerOn(QDBusConnection& bus) {
  return bus.registerObject(helperbus::kObjectPath, this, QDBusConnection::ExportScriptableSlots);
}

void HelperBusObject::WindowActivated(const QString& resourceClass, const QString& resourceName,
                                      const QString& desktopFileName, const QString& pid) {
  if (hooks_.windowActivated) hooks_.windowActivated(resourceClass, resourceName, desktopFileName, pid);
}

QString HelperBusObject::Describe() {
  if (!hooks_.describe) return QStringLiteral("{}");
  if (!calledFromDBus()) {
    QString now;
    hooks_.describe([&now](const QString& text) { now = text; });
    return now;
  }
  setDelayedReply(true);
  QDBusMessage request = message();
  QDBusConnection bus = connection();
  hooks_.describe([request, bus](const QString& text) mutable { bus.send(request.createReply(text)); });
  return {};
}

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

QJsonArray modifierNames(uint32_t mask) {
  QJsonArray names;
  const std::pair<uint32_t, const char*> bits[] = {
      {0x0100, "command"}, {0x0200, "shift"}, {0x0400, "caps lock"}, {0x0800, "option"}, {0x1000, "control"}};
  for (const auto& [bit, name] : bits)
    if (mask & bit) names.append(QString::fromLatin1(name));
  return names;
}

QString hex16(uint32_t v) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", v & 0xFFFF);
  return QString::fromLatin1(text);
}

// The focused application, window and default button as the accessibility calls give them (a
// look at the desktop, or the simulator's description), named after `look` when there is one.
QJsonObject describeAccessibility(sys::Accessibility& ax, const atspi::Look* look) {
  QJsonObject out;
  out["granted"] = ax.AXAPIEnabled();
  const sys::AXUIElementRef system = ax.AXUIElementCreateSystemWide();
  const auto copy = [&ax](const sys::AXUIElementRef& from, const char* attribute) -> sys::AXUIElementRef {
    sys::AXValue value;
    if (!from || ax.AXUIElementCopyAttributeValue(from, attribute, &value) != sys::kAXErrorSuccess) return nullptr;
    const auto* e = std::get_if<sys::AXUIElementRef>(&value);
    return e ? *e : nullptr;
  };
  const sys::AXUIElementRef app = copy(system, sys::kAXFocusedApplicationAttribute);
  const sys::AXUIElementRef window = copy(app, sys::kAXFocusedWindowAttribute);
  const sys::AXUIElementRef button = copy(window, sys::kAXDefaultButtonAttribute);
  if (app) out["focused application"] = look ? look->applicationName : QStringLiteral("(known)");
  if (window) {
    QJsonObject w;
    if (look) w["name"] = look->windowName;
    long children = -1;
    if (ax.AXUIElementGetAttributeValueCount(window, sys::kAXChildrenAttribute, &children) == sys::kAXErrorSuccess)
      w["children"] = static_cast<double>(children);
    out["focused window"] = w;
  }
  if (button) {
    QJsonObject b;
    sys::AXValue v;
    if (look) b["name"] = look->buttonName;
    if (ax.AXUIElementCopyAttributeValue(button, sys::kAXEnabledAttribute, &v) == sys::kAXErrorSuccess)
      if (const bool* enabled = std::get_if<bool>(&v)) b["enabled"] = *enabled;
    if (ax.AXUIElementCopyAttributeValue(button, sys::kAXPositionAttribute, &v) == sys::kAXErrorSuccess)
      if (const auto* p = std::get_if<sys::CGPoint>(&v)) {
        b["x"] = p->x;
        b["y"] = p->y;
      }
    if (ax.AXUIElementCopyAttributeValue(button, sys::kAXSizeAttribute, &v) == sys::kAXErrorSuccess)
      if (const auto* s = std::get_if<sys::CGSize>(&v)) {
        b["width"] = s->width;
        b["height"] = s->height;
      }
    out["default button"] = b;
  }
  return out;
}

}  // namespace

QJsonObject describeHelper(VantrelHelper& helper, const sys::Platform& services, const DesktopView& view) {
  QJsonObject out;
  out["simulator"] = QJsonObject{{"driver", view.simulatorDriver}, {"operating system", view.simulatorSystem}};
  QJsonObject backends;
  for (const auto& [service, backend] : view.backends)
    backends[q(service)] = view.simulatorSystem && service != "power" && service != "media" && service != "scripts"
                               ? QStringLiteral("simulator")
                               : q(backend);
  if (view.simulatorSystem)
    for (const char* service : {"power", "media", "scripts"}) backends[service] = QStringLiteral("simulator");
  out["backends"] = backends;

  const FrontAppTracker& front = helper.frontApp();
  out["front application"] = QJsonObject{
      {"bundle id", q(front.frontAppBundleID())},
      {"name", q(front.frontAppBundleName())},
      {"executable", q(front.frontAppExecutable())},
      {"signature", q(front.frontAppSignature())},
      {"system preferences in front", front.prefPaneIsFront()},
  };
  if (view.workspace && view.workspace->lastActivation().any && !view.simulatorSystem) {
    const auto& seen = view.workspace->lastActivation();
    QJsonObject a{{"source", q(seen.source)}, {"window", seen.window}};
    if (seen.window) {
      a["class"] = q(seen.hints.windowClass);
      a["instance"] = q(seen.hints.instance);
      a["application id"] = q(seen.hints.applicationId);
      a["pid"] = static_cast<double>(seen.hints.pid);
      a["program"] = q(seen.hints.programPath);
      a["desktop entry"] = q(seen.entryPath);
      a["found by"] = seen.entryPath.empty() ? QStringLiteral("no desktop entry: the window and its program")
                                             : q(seen.matchedBy);
    }
    out["last activation"] = a;
  }

  const uint32_t held = services.input->GetCurrentKeyModifiers();
  out["keyboard"] = QJsonObject{{"held", hex16(held)},
                                {"held names", modifierNames(held)},
                                {"sent to devices", hex16(helper.lastKeyModifiers())}};
  out["mouse buttons"] = static_cast<double>(services.input->GetCurrentButtonState());
  out["accessibility"] = describeAccessibility(
      *services.accessibility, view.accessibility && !view.simulatorSystem ? &view.accessibility->lastLook() : nullptr);
  out["snap to default"] = QJsonObject{{"on", helper.snapToDefault().snapToDefaultActive()},
                                       {"running", helper.snapToDefault().snapTimer() != nullptr}};

  QJsonArray devices;
  for (const CapturedDeviceRec& device : helper.driverLink().deviceList()) {
    pl::DictRef global;
    const pl::DictRef best = helper.findAppPrefs(device.info, &global);
    const pl::DictRef profile = best ? best : global;
    QJsonObject d{{"product", hex16(device.info.productID)},
                  {"release", hex16(device.info.productVers)},
                  {"name", QString::fromUtf8(device.info.productName.data(),
                                             static_cast<qsizetype>(strnlen(device.info.productName.data(),
                                                                            device.info.productName.size())))}};
    if (profile) {
      const pl::DictRef app = profile->getDict("target app");
      d["profile"] = q(profile->stringValue("settings name"));
      d["profile index"] = static_cast<double>(helper.settingsArray() ? helper.settingsArray()->indexOfIdentical(profile.get()) : -1);
      d["for application"] = QJsonObject{{"app bundle id", q(app ? app->stringValue("app bundle id") : "")},
                                         {"app executable", q(app ? app->stringValue("app executable") : "")},
                                         {"app signature", q(app ? app->stringValue("app signature") : "")}};
      d["global"] = !best;
    }
    devices.append(d);
  }
  out["devices"] = devices;
  return out;
}
