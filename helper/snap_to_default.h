// Snap-to-default: while the profile asks for it, every half second the pointer jumps to the
// default button of a window that has just come up in the focused application. It needs the
// accessibility interface; without access the option counts as on but nothing runs.
#pragma once

#include <QObject>
#include <cstdint>

#include "platform/system_services.h"

class QTimer;

class SnapToDefault {
 public:
  // `platform` must hold accessibility, input state and display, and outlive this. The timer is
  // a child of `timerParent`.
  SnapToDefault(const sys::Platform& platform, QObject& timerParent);
  ~SnapToDefault();
  SnapToDefault(const SnapToDefault&) = delete;
  SnapToDefault& operator=(const SnapToDefault&) = delete;

  void startSnapToDefault();
  void stopSnapToDefault();
  // Whether this process may use the accessibility interface.
  bool canUseSnapToDefault();
  // Holds the system-wide element while access is granted; false without it.
  bool readyToUseSnapToDefault();
  // One tick: warps the pointer to a new enabled default button of the focused window.
  void idleSnapToDefault();

  bool snapToDefaultActive() const { return fSnapToDefaultActive; }
  const QTimer* snapTimer() const { return fSnapTimer; }
  bool holdsSystemWideElement() const { return fSnapSysAXElement != nullptr; }
  sys::CGPoint snapLastPos() const { return fSnapLastPos; }
  uint64_t snapNumChildren() const { return fSnapNumChildren; }

 private:
  sys::Platform fPlatform;
  QObject& fTimerParent;
  bool fSnapToDefaultActive = false;
  QTimer* fSnapTimer = nullptr;
  sys::AXUIElementRef fSnapSysAXElement;
  sys::CGPoint fSnapLastPos;
  uint64_t fSnapNumChildren = 0;
};
