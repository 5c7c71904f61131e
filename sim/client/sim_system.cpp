#include "sim/client/sim_system.h"

#include <QDBusConnection>

#include "sim/sim_names.h"

namespace simbus {

// ---- the mirror -------------------------------------------------------------------------------

SimSystemMirror::SimSystemMirror(SimLink& link, QObject* parent) : QObject(parent), link_(link) {
  if (!link_.connected()) return;
  // Listen first: a change after the snapshot then comes with a higher number.
  link_.bus().connect(link_.service(), kSystemPath, kSystemInterface, "SystemStateChanged", this,
                      SLOT(onChanged(qulonglong, QByteArray)));
  link_.onPresenceChanged([this](bool present) {
    ++presence_;
    state_.reset();
    seq_ = 0;
    if (present) takeSnapshot(false);
  });
  if (link_.present()) takeSnapshot(true);
}

void SimSystemMirror::apply(uint64_t seq, const SystemState& state) {
  // A simulator that stands in for the driver alone still numbers its system's state; the
  // machine's own services answer then.
  if (!link_.present()) return;
  if (state_ && seq <= seq_) return;
  state_ = state;
  seq_ = seq;
}

void SimSystemMirror::setFedInStep(bool inStep) {
  if (inStep == inStep_) return;
  inStep_ = inStep;
  if (!inStep_ && link_.present()) takeSnapshot(false);
}

void SimSystemMirror::onChanged(qulonglong seq, const QByteArray& bytes) {
  if (!link_.present() || inStep_) return;
  if (const auto s = decodeSystemState(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       static_cast<size_t>(bytes.size())))
    apply(seq, *s);
}

void SimSystemMirror::applyAnswer(const std::optional<QList<QVariant>>& answer) {
  if (!answer || answer->size() < 2) return;
  const QByteArray bytes = (*answer)[1].toByteArray();
  if (const auto s = decodeSystemState(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       static_cast<size_t>(bytes.size())))
    apply((*answer)[0].toULongLong(), *s);
}

void SimSystemMirror::takeSnapshot(bool wait) {
  if (wait) return applyAnswer(link_.callSystem("SystemState"));
  link_.callSystemLater("SystemState", {}, [this, presence = presence_](const std::optional<QList<QVariant>>& a) {
    if (presence == presence_) applyAnswer(a);
  });
}

// ---- session, keyboard, mouse -----------------------------------------------------------------

pl::DictRef SimConsoleSession::CGSessionCopyCurrentDictionary() {
  const auto& s = mirror_.state();
  if (!s) return fallback_.CGSessionCopyCurrentDictionary();
  if (!s->sessionDictionary) return nullptr;
  auto d = pl::makeDict();
  if (s->hasOnConsoleKey) d->setBool(sys::kCGSessionOnConsoleKey, s->onConsole);
  return d;
}

uint32_t SimInputState::GetCurrentKeyModifiers() {
  const auto& s = mirror_.state();
  return s ? s->keyModifiers : fallback_.GetCurrentKeyModifiers();
}

uint32_t SimInputState::GetCurrentButtonState() {
  const auto& s = mirror_.state();
  return s ? s->mouseButtons : fallback_.GetCurrentButtonState();
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
  const auto& s = mirror_.state();
  return s ? s->accessibility : fallback_.AXAPIEnabled();
}

sys::AXUIElementRef SimAccessibility::AXUIElementCreateSystemWide() {
  if (!mirror_.state()) return fallback_.AXUIElementCreateSystemWide();
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
      const auto& now = mirror_.state();
      if (!now) return sys::kAXErrorCannotComplete;
      auto s = std::make_shared<FocusState>();
      s->depth = now->focusDepth;
      s->enabled = now->buttonEnabled;
      s->x = now->x;
      s->y = now->y;
      s->width = now->width;
      s->height = now->height;
      s->children = now->children;
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
  return link_.sendSystem("WarpPointer", {p.x, p.y}) ? sys::kCGErrorSuccess : sys::kCGErrorFailure;
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

SimWorkspace::SimWorkspace(SimLink& link, SimBundleCatalogue& catalogue, sys::Workspace& fallback, QObject* parent)
    : QObject(parent), link_(link), catalogue_(catalogue), fallback_(fallback) {
  if (!link.connected()) return;
  link.bus().connect(kService, kSystemPath, kSystemInterface, "ApplicationActivated", this,
                     SLOT(onActivated(QString, QString, QString, QString, QString, QString, bool)));
}

SimWorkspace::~SimWorkspace() {
  for (const auto& [token, theirs] : fallbackTokens_) fallback_.removeActivationObserver(theirs);
}

int SimWorkspace::addActivationObserver(ActivationObserver observer) {
  observers_[++next_] = observer;
  fallbackTokens_[next_] = fallback_.addActivationObserver([this, observer](const sys::RunningApplication* app) {
    if (!link_.present()) observer(app);
  });
  return next_;
}

void SimWorkspace::removeActivationObserver(int token) {
  observers_.erase(token);
  if (auto it = fallbackTokens_.find(token); it != fallbackTokens_.end()) {
    fallback_.removeActivationObserver(it->second);
    fallbackTokens_.erase(it);
  }
}

void SimWorkspace::onActivated(const QString& bundleID, const QString& name, const QString& executable,
                               const QString& signature, const QString& bundlePath,
                               const QString& executablePath, bool hasInfoDictionary) {
  // A simulator that stands in for the driver alone leaves the activations to the desktop.
  if (!link_.present()) return;
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
