// Runtime backends of the helper's system services (platform/system_services.h) that ask the
// device simulator while it is on the session bus, and hand over to another backend (the
// machine's own, or a quiet one) while it is not:
//   SimConsoleSession   the session dictionary (on console or not)
//   SimInputState       modifier keys and mouse buttons held
//   SimAccessibility    the focused application's window and its default button
//   SimDisplay          pointer warps
//   SimWorkspace        application activations (broadcast by the simulator)
//   SimBundleReader     the information dictionaries of the activated applications
#pragma once

#include <QDBusMessage>
#include <QObject>

#include <map>
#include <memory>
#include <string>

#include "sim/client/sim_link.h"
#include "platform/system_services.h"

namespace simbus {

class SimConsoleSession final : public sys::ConsoleSession {
 public:
  SimConsoleSession(SimLink& link, sys::ConsoleSession& fallback) : link_(link), fallback_(fallback) {}
  pl::DictRef CGSessionCopyCurrentDictionary() override;

 private:
  SimLink& link_;
  sys::ConsoleSession& fallback_;
};

class SimInputState final : public sys::InputState {
 public:
  SimInputState(SimLink& link, sys::InputState& fallback) : link_(link), fallback_(fallback) {}
  uint32_t GetCurrentKeyModifiers() override;
  uint32_t GetCurrentButtonState() override;

 private:
  SimLink& link_;
  sys::InputState& fallback_;
};

// The chain system-wide element -> focused application -> focused window -> default button, as
// the simulator describes the focused window. The description is asked for once, when the
// focused application is read from the system-wide element; the elements read from it share it.
class SimAccessibility final : public sys::Accessibility {
 public:
  SimAccessibility(SimLink& link, sys::Accessibility& fallback) : link_(link), fallback_(fallback) {}
  bool AXAPIEnabled() override;
  sys::AXUIElementRef AXUIElementCreateSystemWide() override;
  sys::AXError AXUIElementCopyAttributeValue(const sys::AXUIElementRef& element, std::string_view attribute,
                                             sys::AXValue* value) override;
  sys::AXError AXUIElementGetAttributeValueCount(const sys::AXUIElementRef& element,
                                                 std::string_view attribute, long* count) override;

 private:
  SimLink& link_;
  sys::Accessibility& fallback_;
};

class SimDisplay final : public sys::Display {
 public:
  SimDisplay(SimLink& link, sys::Display& fallback) : link_(link), fallback_(fallback) {}
  sys::CGError CGWarpMouseCursorPosition(sys::CGPoint point) override;

 private:
  SimLink& link_;
  sys::Display& fallback_;
};

// What the simulator said about the applications it activated, by bundle URL.
class SimBundleCatalogue {
 public:
  void remember(const std::string& bundleURL, pl::DictRef info) { infos_[bundleURL] = std::move(info); }
  // True when the URL is one of the simulator's; `info` is then its dictionary (null for an
  // application without one).
  bool lookup(const std::string& bundleURL, pl::DictRef* info) const;

 private:
  std::map<std::string, pl::DictRef> infos_;
};

class SimBundleReader final : public sys::BundleReader {
 public:
  SimBundleReader(const SimBundleCatalogue& catalogue, sys::BundleReader& fallback)
      : catalogue_(catalogue), fallback_(fallback) {}
  pl::DictRef infoDictionary(const std::string& bundleURL) override;

 private:
  const SimBundleCatalogue& catalogue_;
  sys::BundleReader& fallback_;
};

// Delivers the simulator's ApplicationActivated signals to the observers, on the main thread.
// The running application gets a bundle URL and an executable URL; what the bundle's
// information dictionary holds goes to the SimBundleCatalogue.
class SimWorkspace final : public QObject, public sys::Workspace {
  Q_OBJECT

 public:
  SimWorkspace(SimLink& link, SimBundleCatalogue& catalogue, QObject* parent = nullptr);
  int addActivationObserver(ActivationObserver observer) override;
  void removeActivationObserver(int token) override;

 private Q_SLOTS:
  void onActivated(const QString& bundleID, const QString& name, const QString& executable,
                   const QString& signature, const QString& bundlePath, const QString& executablePath,
                   bool hasInfoDictionary);

 private:
  SimBundleCatalogue& catalogue_;
  std::map<int, ActivationObserver> observers_;
  int next_ = 0;
};

}  // namespace simbus
