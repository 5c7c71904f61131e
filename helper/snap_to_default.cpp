// Snap-to-default: every half second, the pointer jumps to the default button of a window that
// has just come up in the focused application.
#include "helper/snap_to_default.h"

#include <QTimer>
#include <variant>

#include "platform/qt/qt_runloop.h"

namespace {

constexpr int kSnapIntervalMs = 500;
constexpr uint32_t kPrimaryOrSecondaryButton = 0x3;

// The element an attribute holds; null when reading fails or the value is something else.
sys::AXUIElementRef copyElement(sys::Accessibility& ax, const sys::AXUIElementRef& from,
                                const char* attribute) {
  sys::AXValue value;
  if (!from || ax.AXUIElementCopyAttributeValue(from, attribute, &value) != sys::kAXErrorSuccess)
    return nullptr;
  const auto* element = std::get_if<sys::AXUIElementRef>(&value);
  return element != nullptr ? *element : nullptr;
}

template <typename T>
bool copyValue(sys::Accessibility& ax, const sys::AXUIElementRef& from, const char* attribute,
               T* out) {
  sys::AXValue value;
  if (ax.AXUIElementCopyAttributeValue(from, attribute, &value) != sys::kAXErrorSuccess)
    return false;
  const T* v = std::get_if<T>(&value);
  if (v == nullptr) return false;
  *out = *v;
  return true;
}

}  // namespace

SnapToDefault::SnapToDefault(const sys::Platform& platform, QObject& timerParent)
    : fPlatform(platform), fTimerParent(timerParent) {}

SnapToDefault::~SnapToDefault() { delete fSnapTimer; }

void SnapToDefault::startSnapToDefault() {
  if (fSnapToDefaultActive) return;
  fSnapToDefaultActive = true;
  if (fSnapTimer != nullptr) return;
  // Without access the option counts as on but runs no timer until it is switched off and on.
  if (!canUseSnapToDefault()) return;
  fSnapTimer = new QTimer(&fTimerParent);
  fSnapTimer->setInterval(kSnapIntervalMs);
  QObject::connect(fSnapTimer, &QTimer::timeout, &fTimerParent, [this] {
    // Like the driver's notifications, the timer only acts in the main event loop's default
    // mode: a tick that comes while a nested loop (a menu, a wait) runs is skipped.
    if (rl::inDefaultMode()) idleSnapToDefault();
  });
  fSnapTimer->start();
}

void SnapToDefault::stopSnapToDefault() {
  delete fSnapTimer;
  fSnapTimer = nullptr;
  fSnapSysAXElement.reset();
  fSnapToDefaultActive = false;
}

bool SnapToDefault::canUseSnapToDefault() { return fPlatform.accessibility->AXAPIEnabled(); }

bool SnapToDefault::readyToUseSnapToDefault() {
  if (canUseSnapToDefault()) {
    if (!fSnapSysAXElement) fSnapSysAXElement = fPlatform.accessibility->AXUIElementCreateSystemWide();
  } else {
    fSnapSysAXElement.reset();
  }
  return fSnapSysAXElement != nullptr;
}

void SnapToDefault::idleSnapToDefault() {
  // While the user holds a button, nothing at all happens.
  if ((fPlatform.input->GetCurrentButtonState() & kPrimaryOrSecondaryButton) != 0) return;

  sys::Accessibility& ax = *fPlatform.accessibility;
  auto reset = [this] {
    fSnapLastPos = sys::CGPoint{0, 0};
    fSnapNumChildren = 0;
  };
  if (!readyToUseSnapToDefault()) return reset();

  const sys::AXUIElementRef app =
      copyElement(ax, fSnapSysAXElement, sys::kAXFocusedApplicationAttribute);
  const sys::AXUIElementRef window = copyElement(ax, app, sys::kAXFocusedWindowAttribute);
  const sys::AXUIElementRef button = copyElement(ax, window, sys::kAXDefaultButtonAttribute);
  if (!button) return reset();

  bool enabled = false;
  if (!copyValue(ax, button, sys::kAXEnabledAttribute, &enabled) || !enabled) return reset();
  sys::CGPoint position;
  sys::CGSize size;
  if (!copyValue(ax, button, sys::kAXPositionAttribute, &position) ||
      !copyValue(ax, button, sys::kAXSizeAttribute, &size))
    return reset();

  const sys::CGPoint centre{position.x + size.width * 0.5, position.y + size.height * 0.5};
  if (centre == fSnapLastPos) return;
  fSnapLastPos = centre;

  long children = 0;
  if (ax.AXUIElementGetAttributeValueCount(window, sys::kAXChildrenAttribute, &children) !=
          sys::kAXErrorSuccess ||
      children < 0)
    children = 0;
  if (static_cast<uint64_t>(children) != fSnapNumChildren) {
    fPlatform.display->CGWarpMouseCursorPosition(centre);
    fSnapNumChildren = static_cast<uint64_t>(children);
  }
}
