// Runtime backends of the helper's system services (platform/system_services.h) that follow the
// device simulator while it is on the session bus, and hand over to another backend (the
// machine's own, or a quiet one) while it is not:
//   SimSystemMirror     the simulator's system state, kept current from its signals
//   SimConsoleSession   the session dictionary (on console or not)        } read from the
//   SimInputState       modifier keys and mouse buttons held              } mirror: a lookup,
//   SimAccessibility    the focused application's window, default button  } never a call
//   SimDisplay          pointer warps (sent, not waited for)
//   SimWorkspace        application activations (broadcast by the simulator)
//   SimBundleReader     the information dictionaries of the activated applications
// Nothing here waits for the simulator once the mirror has its first state: a simulator that is
// slow or stopped cannot hold up the helper's main thread through these services.
#pragma once

#include <QDBusMessage>
#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sim/client/sim_link.h"
#include "sim/system_state.h"
#include "platform/system_services.h"

namespace simbus {

// The simulator's system state (sim/system_state.h). Taken whole when the simulator is on the
// bus as the mirror is made (waiting for the answer, as the program starts) and whenever it
// comes back (answered later, without waiting), then kept current from its "SystemStateChanged"
// signals. While a driver world takes the simulator's events on its direct socket, it feeds the
// mirror from there instead (SimDriverWorld): the bus's signals could run ahead of that stream,
// and a button press must be seen with the keys held when it was made. Unknown while the
// simulator is away and until its first state arrives.
class SimSystemMirror final : public QObject {
  Q_OBJECT

 public:
  explicit SimSystemMirror(SimLink& link, QObject* parent = nullptr);

  const std::optional<SystemState>& state() const { return state_; }
  // A state numbered `seq`; one that is not newer than the state held is ignored.
  void apply(uint64_t seq, const SystemState& state);
  // Whether another stream feeds the mirror now (the bus's signals are then not taken). When it
  // stops, the state is taken whole again: a change may have been lost with it.
  void setFedInStep(bool inStep);

 private Q_SLOTS:
  void onChanged(qulonglong seq, const QByteArray& state);

 private:
  void takeSnapshot(bool wait);
  void applyAnswer(const std::optional<QList<QVariant>>& answer);

  SimLink& link_;
  std::optional<SystemState> state_;
  uint64_t seq_ = 0;
  uint64_t presence_ = 0;  // counts the simulator's arrivals: late answers of an earlier one are void
  bool inStep_ = false;
};

class SimConsoleSession final : public sys::ConsoleSession {
 public:
  SimConsoleSession(const SimSystemMirror& mirror, sys::ConsoleSession& fallback)
      : mirror_(mirror), fallback_(fallback) {}
  pl::DictRef CGSessionCopyCurrentDictionary() override;

 private:
  const SimSystemMirror& mirror_;
  sys::ConsoleSession& fallback_;
};

class SimInputState final : public sys::InputState {
 public:
  SimInputState(const SimSystemMirror& mirror, sys::InputState& fallback) : mirror_(mirror), fallback_(fallback) {}
  uint32_t GetCurrentKeyModifiers() override;
  uint32_t GetCurrentButtonState() override;

 private:
  const SimSystemMirror& mirror_;
  sys::InputState& fallback_;
};

// The chain system-wide element -> focused application -> focused window -> default button, as
// the simulator describes the focused window. The description is taken from the mirror once,
// when the focused application is read from the system-wide element; the elements read from it
// share it.
class SimAccessibility final : public sys::Accessibility {
 public:
  SimAccessibility(const SimSystemMirror& mirror, sys::Accessibility& fallback)
      : mirror_(mirror), fallback_(fallback) {}
  bool AXAPIEnabled() override;
  sys::AXUIElementRef AXUIElementCreateSystemWide() override;
  sys::AXError AXUIElementCopyAttributeValue(const sys::AXUIElementRef& element, std::string_view attribute,
                                             sys::AXValue* value) override;
  sys::AXError AXUIElementGetAttributeValueCount(const sys::AXUIElementRef& element,
                                                 std::string_view attribute, long* count) override;

 private:
  const SimSystemMirror& mirror_;
  sys::Accessibility& fallback_;
};

// A warp is sent to the simulator and not waited for; it counts as done once sent.
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

// Delivers the simulator's ApplicationActivated signals to the observers, on the main thread,
// while it is on the bus, and the fallback's activations while it is not. The running
// application gets a bundle URL and an executable URL; what the bundle's information dictionary
// holds goes to the SimBundleCatalogue.
class SimWorkspace final : public QObject, public sys::Workspace {
  Q_OBJECT

 public:
  SimWorkspace(SimLink& link, SimBundleCatalogue& catalogue, sys::Workspace& fallback, QObject* parent = nullptr);
  ~SimWorkspace() override;
  int addActivationObserver(ActivationObserver observer) override;
  void removeActivationObserver(int token) override;

 private Q_SLOTS:
  void onActivated(const QString& bundleID, const QString& name, const QString& executable,
                   const QString& signature, const QString& bundlePath, const QString& executablePath,
                   bool hasInfoDictionary);

 private:
  SimLink& link_;
  SimBundleCatalogue& catalogue_;
  sys::Workspace& fallback_;
  std::map<int, ActivationObserver> observers_;
  std::map<int, int> fallbackTokens_;  // our token -> the fallback's
  int next_ = 0;
};

}  // namespace simbus
