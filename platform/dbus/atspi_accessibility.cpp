#include "platform/dbus/atspi_accessibility.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <vector>

#include "platform/dbus/async_call.h"

namespace atspi {

namespace {

constexpr const char* kBusService = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";
constexpr const char* kStatus = "org.a11y.Status";
constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kRegistryPath = "/org/a11y/atspi/registry";
constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kWindowEvents = "org.a11y.atspi.Event.Window";

constexpr int kStartupWaitMs = 500;
constexpr int kCallTimeoutMs = 250;
constexpr int kLookLimitMs = 1500;
constexpr int kWalkAgainMs = 10000;
constexpr int kSearchAgainMs = 2000;
constexpr int kReadRecentlyMs = 1500;
constexpr size_t kMaxApplications = 64;
constexpr size_t kMaxWindows = 32;
constexpr size_t kMaxObjects = 400;
constexpr int kMaxDepth = 20;
constexpr long kMaxChildElements = 100000;

// AT-SPI states, as bits of the 64-bit state set.
constexpr int kStateActive = 1;
constexpr int kStateEnabled = 8;
constexpr int kStateSensitive = 24;
constexpr int kStateShowing = 25;
constexpr int kStateIsDefault = 39;

bool hasState(const QList<uint>& words, int state) {
  const int word = state / 32;
  return word < words.size() && (words[word] & (1u << (state % 32))) != 0;
}

QList<uint> statesOf(const QDBusMessage& reply) {
  if (!dbusasync::ok(reply) || reply.arguments().isEmpty()) return {};
  return qdbus_cast<QList<uint>>(reply.arguments().first());
}

std::vector<Ref> refsOf(const QDBusMessage& reply, size_t limit) {
  std::vector<Ref> out;
  if (!dbusasync::ok(reply) || reply.arguments().isEmpty()) return out;
  const QVariant v = reply.arguments().first();
  if (!v.canConvert<QDBusArgument>()) return out;
  const QDBusArgument arg = v.value<QDBusArgument>();
  if (arg.currentType() != QDBusArgument::ArrayType) return out;
  arg.beginArray();
  while (!arg.atEnd()) {
    QString service;
    QDBusObjectPath path;
    arg.beginStructure();
    arg >> service >> path;
    arg.endStructure();
    if (out.size() < limit && !service.isEmpty() && path.path() != QLatin1String("/org/a11y/atspi/null"))
      out.push_back({service, path.path()});
  }
  arg.endArray();
  return out;
}

QVariant propertyOf(const QDBusMessage& reply) {
  if (!dbusasync::ok(reply) || reply.arguments().isEmpty()) return {};
  return reply.arguments().first().value<QDBusVariant>().variant();
}

class Element final : public sys::AXUIElement {
 public:
  enum class Kind { SystemWide, Application, Window, Button, Child };
  Element(Kind k, std::shared_ptr<const Look> l) : kind(k), look(std::move(l)) {}
  Kind kind;
  std::shared_ptr<const Look> look;
};

sys::AXUIElementRef element(Element::Kind kind, std::shared_ptr<const Look> look) {
  return std::make_shared<Element>(kind, std::move(look));
}

}  // namespace

// One look under way.
struct Accessibility::Walk {
  explicit Walk(int g) : generation(g) {}
  int generation;
  Look look;
  bool searched = false;  // looked for the active window already
  bool cached = false;    // the window's objects were not walked again: names as before
  int pending = 0;        // calls of the current step still out
  // Looking for the active window.
  std::optional<Ref> active;
  // Walking the window's objects.
  std::vector<Ref> frontier, next;
  std::vector<std::optional<Ref>> defaults;  // per object of `next`: itself when it is the default button
  size_t visited = 0;
  int depth = 0;
};

Accessibility::Accessibility(const QDBusConnection& session)
    : session_(session), look_(std::make_shared<const Look>()) {
  if (!session_.isConnected()) return;
  session_.connect(kBusService, kBusPath, kProperties, "PropertiesChanged", this,
                   SLOT(statusChanged(QString, QVariantMap, QStringList)));
  busWatcher_.setConnection(session_);
  busWatcher_.addWatchedService(kBusService);
  busWatcher_.setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
  connect(&busWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
          [this](const QString&, const QString&, const QString& owner) {
            if (owner.isEmpty()) return setEnabled(false);
            QDBusMessage get = QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties, "Get");
            get << QString::fromLatin1(kStatus) << QStringLiteral("IsEnabled");
            dbusasync::call(session_, get, kCallTimeoutMs * 4, this,
                            [this](const QDBusMessage& r) { setEnabled(propertyOf(r).toBool()); });
          });
  // Once, at start, so that snap-to-default finds access granted when the settings first ask.
  QDBusMessage get = QDBusMessage::createMethodCall(kBusService, kBusPath, kProperties, "Get");
  get << QString::fromLatin1(kStatus) << QStringLiteral("IsEnabled");
  get.setAutoStartService(false);
  if (!propertyOf(session_.call(get, QDBus::Block, kStartupWaitMs)).toBool()) return;
  enabled_ = true;
  QDBusMessage address = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, "GetAddress");
  const QDBusMessage reply = session_.call(address, QDBus::Block, kStartupWaitMs);
  if (dbusasync::ok(reply)) connectToBus(reply.arguments().value(0).toString());
}

Accessibility::~Accessibility() { disconnectFromBus(); }

void Accessibility::statusChanged(const QString& interface, const QVariantMap& changed, const QStringList&) {
  if (interface != QLatin1String(kStatus)) return;
  if (auto it = changed.find(QStringLiteral("IsEnabled")); it != changed.end()) setEnabled(it->toBool());
}

void Accessibility::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) return disconnectFromBus();
  if (connected()) return;
  const QDBusMessage address = QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, "GetAddress");
  dbusasync::call(session_, address, kCallTimeoutMs * 4, this, [this](const QDBusMessage& reply) {
    if (enabled_ && !connected() && dbusasync::ok(reply)) connectToBus(reply.arguments().value(0).toString());
  });
}

void Accessibility::connectToBus(const QString& address) {
  if (address.isEmpty()) return;
  static std::atomic<int> count{0};
  a11yName_ = QStringLiteral("vantrel-a11y-%1").arg(++count);
  a11y_ = QDBusConnection::connectToBus(address, a11yName_);
  if (!a11y_->isConnected()) return disconnectFromBus();
  // Applications send window events only while someone listens for them.
  for (const char* event : {"window:activate", "window:deactivate"}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kRegistry, kRegistryPath, kRegistry, "RegisterEvent");
    m << QString::fromLatin1(event) << QStringList() << QString();
    dbusasync::call(*a11y_, m, kCallTimeoutMs * 4, this, [this, event](const QDBusMessage& reply) {
      if (dbusasync::ok(reply) || !connected()) return;
      // An older registry takes the event alone.
      QDBusMessage old = QDBusMessage::createMethodCall(kRegistry, kRegistryPath, kRegistry, "RegisterEvent");
      old << QString::fromLatin1(event);
      dbusasync::call(*a11y_, old, kCallTimeoutMs * 4, this, {});
    });
  }
  for (const char* member : {"Activate", "Deactivate"})
    a11y_->connect(QString(), QString(), kWindowEvents, member, this, SLOT(windowEvent(QDBusMessage)));
}

void Accessibility::disconnectFromBus() {
  ++generation_;
  walk_.reset();
  again_ = false;
  focused_ = {};
  found_.reset();
  look_ = std::make_shared<const Look>();
  if (!a11y_) return;
  a11y_.reset();
  QDBusConnection::disconnectFromBus(a11yName_);
}

void Accessibility::windowEvent(const QDBusMessage& signal) {
  const Ref window{signal.service(), signal.path()};
  if (signal.member() == QLatin1String("Activate")) {
    focused_ = window;
    if (sinceRead_.isValid() && sinceRead_.elapsed() < kReadRecentlyMs) look();
  } else if (window == focused_) {
    focused_ = {};
  }
}

void Accessibility::call(const Ref& target, const char* interface, const char* method, const QList<QVariant>& args,
                         std::function<void(const QDBusMessage&)> onReply) {
  QDBusMessage m = QDBusMessage::createMethodCall(target.service, target.path, interface, method);
  m.setArguments(args);
  m.setAutoStartService(false);
  const int generation = generation_;
  dbusasync::call(*a11y_, m, kCallTimeoutMs, this, [this, generation, onReply](const QDBusMessage& reply) {
    if (generation == generation_ && walk_) onReply(reply);
  });
}

void Accessibility::look() {
  if (!connected()) return finish(Look{});
  if (walk_) {
    again_ = true;
    return;
  }
  walk_ = std::make_shared<Walk>(++generation_);
  const int generation = generation_;
  // A look that takes too long (an application that does not answer) sees nothing.
  QTimer::singleShot(kLookLimitMs, this, [this, generation] {
    if (walk_ && walk_->generation == generation) finish(Look{});
  });
  if (!focused_.empty()) return lookAtWindow(walk_);
  // Nothing is active: look for it again only now and then (an activation says so at once).
  if (lastSearch_.isValid() && lastSearch_.elapsed() < kSearchAgainMs) return finish(Look{});
  findActiveWindow(walk_);
}

void Accessibility::finish(Look look) {
  ++generation_;  // replies still out belong to no look
  walk_.reset();
  look_ = std::make_shared<const Look>(std::move(look));
  Q_EMIT looked();
  if (again_) {
    again_ = false;
    this->look();
  }
}

void Accessibility::findActiveWindow(std::shared_ptr<Walk> walk) {
  walk->searched = true;
  lastSearch_.start();
  call({kRegistry, kRootPath}, kAccessible, "GetChildren", {}, [this, walk](const QDBusMessage& reply) {
    const std::vector<Ref> apps = refsOf(reply, kMaxApplications);
    if (apps.empty()) return finish(Look{});
    walk->pending = static_cast<int>(apps.size());
    const auto doneOne = [this, walk] {
      if (--walk->pending > 0) return;
      if (!walk->active) return finish(Look{});
      focused_ = *walk->active;
      lookAtWindow(walk);
    };
    for (const Ref& app : apps) {
      call(app, kAccessible, "GetChildren", {}, [this, walk, doneOne](const QDBusMessage& r) {
        const std::vector<Ref> windows = refsOf(r, kMaxWindows);
        if (windows.empty()) return doneOne();
        walk->pending += static_cast<int>(windows.size()) - 1;
        for (const Ref& w : windows) {
          call(w, kAccessible, "GetState", {}, [walk, w, doneOne](const QDBusMessage& s) {
            if (!walk->active && hasState(statesOf(s), kStateActive)) walk->active = w;
            doneOne();
          });
        }
      });
    }
  });
}

void Accessibility::lookAtWindow(std::shared_ptr<Walk> walk) {
  const Ref window = focused_;
  walk->look.focusedWindow = window;
  walk->look.application = {window.service, kRootPath};
  walk->pending = 2;
  auto active = std::make_shared<bool>(false);
  const auto both = [this, walk, window, active] {
    if (--walk->pending > 0) return;
    if (!*active) {
      // The window it knew is no longer the active one: look for the one that is, once.
      focused_ = {};
      if (walk->searched) return finish(Look{});
      walk->look = Look{};
      return findActiveWindow(walk);
    }
    walk->look.window = true;
    if (found_ && found_->window == window && found_->children == walk->look.children &&
        found_->age.elapsed() < kWalkAgainMs) {
      walk->look.applicationName = found_->applicationName;
      walk->look.windowName = found_->windowName;
      walk->look.buttonName = found_->buttonName;
      walk->cached = true;
      if (found_->button.empty()) return finish(walk->look);
      return readButton(walk, found_->button);
    }
    findDefaultButton(walk);
  };
  call(window, kAccessible, "GetState", {}, [active, both](const QDBusMessage& r) {
    *active = hasState(statesOf(r), kStateActive);
    both();
  });
  call(window, kProperties, "Get", {QString::fromLatin1(kAccessible), QStringLiteral("ChildCount")},
       [walk, both](const QDBusMessage& r) {
         bool isNumber = false;
         const int n = propertyOf(r).toInt(&isNumber);
         walk->look.children = isNumber ? n : -1;
         both();
       });
}

void Accessibility::findDefaultButton(std::shared_ptr<Walk> walk) {
  if (walk->frontier.empty() && walk->depth == 0) walk->frontier = {walk->look.focusedWindow};
  const auto noButton = [this, walk] {
    found_.emplace();
    found_->window = walk->look.focusedWindow;
    found_->children = walk->look.children;
    found_->age.start();
    readNames(walk);
  };
  if (walk->frontier.empty() || walk->depth >= kMaxDepth || walk->visited >= kMaxObjects) return noButton();
  ++walk->depth;
  walk->next.clear();
  walk->pending = static_cast<int>(walk->frontier.size());
  auto children = std::make_shared<std::vector<std::vector<Ref>>>(walk->frontier.size());
  for (size_t i = 0; i < walk->frontier.size(); ++i) {
    call(walk->frontier[i], kAccessible, "GetChildren", {}, [this, walk, children, i, noButton](const QDBusMessage& r) {
      (*children)[i] = refsOf(r, kMaxObjects);
      if (--walk->pending > 0) return;
      // The next level, in order, within what may still be looked at.
      for (const auto& list : *children)
        for (const Ref& c : list)
          if (walk->visited + walk->next.size() < kMaxObjects) walk->next.push_back(c);
      walk->visited += walk->next.size();
      if (walk->next.empty()) return noButton();
      walk->defaults.assign(walk->next.size(), std::nullopt);
      walk->pending = static_cast<int>(walk->next.size());
      for (size_t k = 0; k < walk->next.size(); ++k) {
        const Ref object = walk->next[k];
        call(object, kAccessible, "GetState", {}, [this, walk, k, object](const QDBusMessage& s) {
          const QList<uint> states = statesOf(s);
          if (hasState(states, kStateIsDefault) && hasState(states, kStateShowing)) walk->defaults[k] = object;
          if (--walk->pending > 0) return;
          for (const auto& d : walk->defaults) {
            if (!d) continue;
            found_.emplace();
            found_->window = walk->look.focusedWindow;
            found_->children = walk->look.children;
            found_->button = *d;
            found_->age.start();
            return readButton(walk, *d);
          }
          walk->frontier = walk->next;
          findDefaultButton(walk);
        });
      }
    });
  }
}

void Accessibility::readButton(std::shared_ptr<Walk> walk, const Ref& button) {
  walk->pending = 2;
  auto showing = std::make_shared<bool>(false);
  const auto both = [this, walk, button, showing] {
    if (--walk->pending > 0) return;
    walk->look.button = *showing;
    if (*showing) walk->look.defaultButton = button;
    else found_.reset();  // it went away: walk again next time
    if (walk->cached) return finish(walk->look);
    readNames(walk);
  };
  call(button, kAccessible, "GetState", {}, [walk, showing, both](const QDBusMessage& r) {
    const QList<uint> states = statesOf(r);
    *showing = hasState(states, kStateShowing) && hasState(states, kStateIsDefault);
    walk->look.enabled = hasState(states, kStateEnabled) && hasState(states, kStateSensitive);
    both();
  });
  call(button, kComponent, "GetExtents", {QVariant::fromValue(uint(0))},  // screen coordinates
       [walk, showing, both](const QDBusMessage& r) {
         if (dbusasync::ok(r) && !r.arguments().isEmpty()) {
           const QDBusArgument arg = r.arguments().first().value<QDBusArgument>();
           int x = 0, y = 0, w = 0, h = 0;
           arg.beginStructure();
           arg >> x >> y >> w >> h;
           arg.endStructure();
           walk->look.x = x;
           walk->look.y = y;
           walk->look.width = w;
           walk->look.height = h;
         } else {
           *showing = false;  // a button without a place is none to warp to
           walk->look.enabled = false;
         }
         both();
       });
}

void Accessibility::readNames(std::shared_ptr<Walk> walk) {
  std::vector<std::pair<Ref, QString Look::*>> wanted = {{walk->look.application, &Look::applicationName},
                                                         {walk->look.focusedWindow, &Look::windowName}};
  if (walk->look.button) wanted.emplace_back(walk->look.defaultButton, &Look::buttonName);
  walk->pending = static_cast<int>(wanted.size());
  for (const auto& [ref, field] : wanted) {
    call(ref, kProperties, "Get", {QString::fromLatin1(kAccessible), QStringLiteral("Name")},
         [this, walk, member = field](const QDBusMessage& r) {
           walk->look.*member = propertyOf(r).toString().left(200);
           if (--walk->pending > 0) return;
           if (found_ && found_->window == walk->look.focusedWindow) {
             found_->applicationName = walk->look.applicationName;
             found_->windowName = walk->look.windowName;
             found_->buttonName = walk->look.buttonName;
           }
           finish(walk->look);
         });
  }
}

// ---- the accessibility calls --------------------------------------------------------------------

bool Accessibility::AXAPIEnabled() { return enabled_ && connected(); }

sys::AXUIElementRef Accessibility::AXUIElementCreateSystemWide() {
  if (!AXAPIEnabled()) return nullptr;
  return element(Element::Kind::SystemWide, nullptr);
}

sys::AXError Accessibility::AXUIElementCopyAttributeValue(const sys::AXUIElementRef& el, std::string_view attribute,
                                                          sys::AXValue* value) {
  const auto* e = dynamic_cast<const Element*>(el.get());
  if (!e || !value) return sys::kAXErrorIllegalArgument;
  if (!AXAPIEnabled()) return sys::kAXErrorAPIDisabled;
  using Kind = Element::Kind;
  switch (e->kind) {
    case Kind::SystemWide:
      if (attribute != sys::kAXFocusedApplicationAttribute) return sys::kAXErrorAttributeUnsupported;
      sinceRead_.start();
      look();
      if (!look_->window) return sys::kAXErrorNoValue;
      *value = element(Kind::Application, look_);
      return sys::kAXErrorSuccess;
    case Kind::Application:
      if (attribute != sys::kAXFocusedWindowAttribute) return sys::kAXErrorAttributeUnsupported;
      *value = element(Kind::Window, e->look);
      return sys::kAXErrorSuccess;
    case Kind::Window:
      if (attribute == sys::kAXDefaultButtonAttribute) {
        if (!e->look->button) return sys::kAXErrorNoValue;
        *value = element(Kind::Button, e->look);
        return sys::kAXErrorSuccess;
      }
      if (attribute == sys::kAXChildrenAttribute) {
        if (e->look->children < 0) return sys::kAXErrorAttributeUnsupported;
        if (e->look->children > kMaxChildElements) return sys::kAXErrorCannotComplete;
        std::vector<sys::AXUIElementRef> kids;
        for (int i = 0; i < e->look->children; ++i) kids.push_back(element(Kind::Child, e->look));
        *value = std::move(kids);
        return sys::kAXErrorSuccess;
      }
      return sys::kAXErrorAttributeUnsupported;
    case Kind::Button:
      if (attribute == sys::kAXEnabledAttribute) *value = e->look->enabled;
      else if (attribute == sys::kAXPositionAttribute) *value = sys::CGPoint{double(e->look->x), double(e->look->y)};
      else if (attribute == sys::kAXSizeAttribute) *value = sys::CGSize{double(e->look->width), double(e->look->height)};
      else return sys::kAXErrorAttributeUnsupported;
      return sys::kAXErrorSuccess;
    case Kind::Child:
      return sys::kAXErrorAttributeUnsupported;
  }
  return sys::kAXErrorFailure;
}

sys::AXError Accessibility::AXUIElementGetAttributeValueCount(const sys::AXUIElementRef& el, std::string_view attribute,
                                                              long* count) {
  const auto* e = dynamic_cast<const Element*>(el.get());
  if (!e || !count) return sys::kAXErrorIllegalArgument;
  if (e->kind != Element::Kind::Window || attribute != sys::kAXChildrenAttribute)
    return sys::kAXErrorAttributeUnsupported;
  if (e->look->children < 0) return sys::kAXErrorAttributeUnsupported;
  *count = e->look->children;
  return sys::kAXErrorSuccess;
}

}  // namespace atspi
