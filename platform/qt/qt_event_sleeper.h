// The actions' waits on the Qt main thread. The wait runs a local event loop (user input
// excluded) instead of blocking the thread: the clipboard on X11 and Wayland is served by its
// owner's event loop, so the application that receives Command-V can only fetch a pasted
// snippet while the helper keeps serving it. Button presses that come in meanwhile are held back
// by the actions themselves. Off the main thread, or without an application object, it sleeps.
#pragma once

#include "platform/sleeper.h"

class QtEventLoopSleeper final : public sys::Sleeper {
 public:
  void sleepFor(std::chrono::microseconds duration) override;
};
