#include "sim/client/sim_system.h"

#include <QDBusConnection>

#include "sim/sim_names.h"

namespace simbus {

// ---- session, keyboard, mouse -----------------------------------------------------------------

pl::DictRef SimConsoleSession::CGSessionCopyCurrentDictionary() {
  if (!link_.present()) return fallback_.CGSessionCopyCurrentDictionary();
  const auto r = link_.callSystem("ConsoleSession");
  if (!r || r->size() < 3 || !(*r)[0].toBool()) return nullptr;
  auto d = pl::makeDict();
  if ((*r)[1].toBool()) d->setBool(sys::kCGSessionOnConsoleKey, (*r)[2].toBool());
  return d;
}

uint32_t SimInputState::GetCurrentKeyModifiers() {
  if (!link_.present()) return fallback_.GetCurrentKeyModifiers();
  const auto r = link_.callSystem("KeyModifiers");
  return r && !r->isEmpty() ? (*r)[0].toUInt() : 0;
}

uint32_t SimInputState::GetCurrentButtonState() {
  if (!link_.present()) return fallback_.GetCurrentButtonState();
  const auto r = link_.callSystem("MouseButtons");
  return r && !r->isEmpty() ? (*r)[0].toUInt() : 0;
}

// ---- accessibility ----------------------------------------------------------------------------

namespace {

constexpr long long kMaxChildElements = 100000;

struct FocusState {
  int depth = 0;  // 0 no application, 1 application, 2 window, 3 default button
  bool enabled = false;
  double x = 0, y = 0, width = 0, height = 0;
  long long children = -1;
};

class SimElement final : public sys::AXUIElement {
 public:
  enum class Role { SystemWide, Application, Window, Button, Child };
  SimElement(Role r, std::shared_ptr<const FocusState> s) : role(r), state(std::move(s)) {}
  Role role;
  std::shared_ptr<const FocusState> state;
};

sys::AXUIElementRef element(SimElement::Role role, std::shared_ptr<const FocusState> state) {
  return std::make_shared<SimElement>(role, std::move(state));
}

}  // namespace

bool SimAccessibility::AXAPIEnabled() {
  if (!link_.present()) return fallback_.AXAPIEnabled();
  const auto r = link_.callSystem("Accessibility");
  return r && !r->isEmpty() && (*r)[0].toBool();
}

sys::AXUIElementRef SimAccessibility::AXUIElementCreateSystemWide() {
  if (!link_.present()) return fallback_.AXUIElementCreateSystemWide();
  return element(SimElement::Role::SystemWide, nullptr);
}

sys::AXError SimAccessibility::AXUIElementCopyAttributeValue(const sys::AXUIElementRef& el,
                                                             std::string_view attribute, sys::AXValue* value) {
  const auto* e = dynamic_cast<const SimElement*>(el.get());
  if (!e) return fallback_.AXUIElementCopyAttributeValue(el, attribute, value);
  if (!value) return sys::kAXErrorIllegalArgument;
  using Role = SimElement::Role;
  switch (e->role) {
    case Role::SystemWide: {
      if (attribute != sys::kAXFocusedApplicationAttribute) return sys::kAXErrorAttributeUnsupported;
      const auto r = link_.callSystem("FocusedWindow");
      if (!r || r->size() < 7) return sys::kAXErrorCannotComplete;
      auto s = std::make_shared<FocusState>();
      s->depth = (*r)[0].toInt();
      s->enabled = (*r)[1].toBool();
      s->x = (*r)[2].toDouble();
      s->y = (*r)[3].toDouble();
      s->width = (*r)[4].toDouble();
      s->height = (*r)[5].toDouble();
      s->children = (*r)[6].toLongLong();
      if (s->depth < 1) return sys::kAXErrorNoValue;
      *value = element(Role::Application, s);
      return sys::kAXErrorSuccess;
    }
    case Role::Application:
      if (attribute != sys::kAXFocusedWindowAttribute) return sys::kAXErrorAttributeUnsupported;
      if (e->state->depth < 2) return sys::kAXErrorNoValue;
      *value = element(Role::Window, e->state);
      return sys::kAXErrorSuccess;
    case Role::Window:
      if (attribute == sys::kAXDefaultButtonAttribute) {
        if (e->state->depth < 3) return sys::kAXErrorNoValue;
        *value = element(Role::Button, e->state);
        return sys::kAXErrorSuccess;
      }
      if (attribute == sys::kAXChildrenAttribute) {
        if (e->state->children < 0) return sys::kAXErrorAttributeUnsupported;
        // The count comes from another process: a window does not have more children than this,
        // and one that says so gets no list rather than all of memory.
        if (e->state->children > kMaxChildElements) return sys::kAXErrorCannotComplete;
        std::vector<sys::AXUIElementRef> kids;
        for (long long i = 0; i < e->state->children; ++i) kids.push_back(element(Role::Child, e->state));
        *value = std::move(kids);
        return sys::kAXErrorSuccess;
      }
      return sys::kAXErrorAttributeUnsupported;
    case Role::Button:
      if (attribute == sys::kAXEnabledAttribute) *value = e->state->enabled;
      else if (attribute == sys::kAXPositionAttribute) *value = sys::CGPoint{e->state->x, e->state->y};
      else if (attribute == sys::kAXSizeAttribute) *value = sys::CGSize{e->state->width, e->state->height};
      else return sys::kAXErrorAttributeUnsupported;
      return sys::kAXErrorSuccess;
    case Role::Child:
      return sys::kAXErrorAttributeUnsupported;
  }
  return sys::kAXErrorFailure;
}

sys::AXError SimAccessibility::AXUIElementGetAttributeValueCount(const sys::AXUIElementRef& el,
                                                                 std::string_view attribute, long* count) {
  const auto* e = dynamic_cast<const SimElement*>(el.get());
  if (!e) return fallback_.AXUIElementGetAttributeValueCount(el, attribute, count);
  if (!count) return sys::kAXErrorIllegalArgument;
  if (e->role != SimElement::Role::Window || attribute != sys::kAXChildrenAttribute)
    return sys::kAXErrorAttributeUnsupported;
  if (e->state->children < 0) return sys::kAXErrorAttributeUnsupported;
  *count = static_cast<long>(e->state->children);
  return sys::kAXErrorSuccess;
}

sys::CGError SimDisplay::CGWarpMouseCursorPosition(sys::CGPoint p) {
  if (!link_.present()) return fallback_.CGWarpMouseCursorPosition(p);
  const auto r = link_.callSystem("WarpPointer", {p.x, p.y});
  return r && !r->isEmpty() && (*r)[0].toInt() == 0 ? sys::kCGErrorSuccess : sys::kCGErrorFailure;
}

// ---- workspace and bundles --------------------------------------------------------------------

bool SimBundleCatalogue::lookup(const std::string& bundleURL, pl::DictRef* info) const {
  auto it = infos_.find(bundleURL);
  if (it == infos_.end()) return false;
  if (info) *info = it->second;
  return true;
}

pl::DictRef SimBundleReader::infoDictionary(const std::string& bundleURL) {
  pl::DictRef info;
  if (catalogue_.lookup(bundleURL, &info)) return info ? pl::deepCopyDict(info) : nullptr;
  return fallback_.infoDictionary(bundleURL);
}

SimWorkspace::SimWorkspace(SimLink& link, SimBundleCatalogue& catalogue, QObject* parent)
    : QObject(parent), catalogue_(catalogue) {
  if (!link.connected()) return;
  link.bus().connect(kService, kSystemPath, kSystemInterface, "ApplicationActivated", this,
                     SLOT(onActivated(QString, QString, QString, QString, QString, QString, bool)));
}

int SimWorkspace::addActivationObserver(ActivationObserver observer) {
  observers_[++next_] = std::move(observer);
  return next_;
}

void SimWorkspace::removeActivationObserver(int token) { observers_.erase(token); }

void SimWorkspace::onActivated(const QString& bundleID, const QString& name, const QString& executable,
                               const QString& signature, const QString& bundlePath,
                               const QString& executablePath, bool hasInfoDictionary) {
  // Where the application lies: as the simulator says, else made up from its name.
  std::string label = name.isEmpty() ? (executable.isEmpty() ? bundleID.toStdString() : executable.toStdString())
                                     : name.toStdString();
  std::string bundle = bundlePath.isEmpty() ? "/Applications/" + label + ".app/" : bundlePath.toStdString();
  if (bundle.back() != '/') bundle += '/';
  const std::string exe = executablePath.isEmpty()
                              ? bundle + "Contents/MacOS/" + (executable.isEmpty() ? label : executable.toStdString())
                              : executablePath.toStdString();
  sys::RunningApplication app;
  if (!bundleID.isEmpty()) app.bundleIdentifier = bundleID.toStdString();
  app.bundleURL = "file://" + bundle;
  app.executableURL = "file://" + exe;

  pl::DictRef info;
  if (hasInfoDictionary) {
    info = pl::makeDict();
    if (!bundleID.isEmpty()) info->setString("CFBundleIdentifier", bundleID.toStdString());
    if (!name.isEmpty()) info->setString("CFBundleName", name.toStdString());
    if (!executable.isEmpty()) info->setString("CFBundleExecutable", executable.toStdString());
    if (!signature.isEmpty()) info->setString("CFBundleSignature", signature.toStdString());
  }
  catalogue_.remember(*app.bundleURL, info);

  // Observers may add or remove observers while they run.
  const auto observers = observers_;
  for (const auto& [token, observer] : observers)
    if (observers_.count(token)) observer(&app);
}

}  // namespace simbus
