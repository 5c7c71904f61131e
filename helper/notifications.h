// The helper's end of the notification protocol with the preferences panel, over distributed
// notifications on the session bus.
//
// Once observing, every "com.halvorn.vantrel.command" notification is decoded and carried out on
// the main thread: "list" answers with the device list, "update" re-reads the settings and
// sends them to every device, "front" passes the panel's flag on, "enumerate" makes unclaimed
// devices re-enumerate. Anything else (an object that is not text, text that is not a
// property-list dictionary, a dictionary without a known "command") is ignored. Messages to the
// panel go out as "com.halvorn.vantrel.message".
#pragma once

#include <string>

#include "helper/vantrel_helper.h"
#include "platform/dbus/distributed_notifications.h"

class DistributedPaneChannel final : public PaneChannel {
 public:
  explicit DistributedPaneChannel(dbusnotify::DistributedNotificationCenter& center) : center_(center) {}

  void startObserving(VantrelHelper& helper) override;
  void sendMessage(const pl::Dictionary& message) override;

  // Carries out one command notification's object (the observer's work, callable directly).
  void handleCommand(VantrelHelper& helper, const std::optional<std::string>& object);

  // How many commands were carried out / ignored (for tests and diagnostics).
  size_t commandsHandled() const { return handled_; }
  size_t commandsIgnored() const { return ignored_; }

 private:
  dbusnotify::DistributedNotificationCenter& center_;
  size_t handled_ = 0;
  size_t ignored_ = 0;
};
