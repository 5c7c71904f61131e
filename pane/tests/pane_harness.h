// A pane on fake services, as the settings host would drive it, for the widget tests and the
// screenshot tool: the pane bundle of the build tree, a window holding the main view, and ways
// to be the helper (device lists) and the machine (HID devices).
#pragma once

#include <QWidget>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pane/testing/fake_pane_services.h"
#include "pane/vantrel_controller.h"
#include "pane/vantrel_pref_pane.h"
#include "platform/bundle.h"
#include "settings/device_info.h"
#include "settings/protocol.h"

namespace panetest {

// A device of the helper's list.
DeviceInfo listedDevice(uint16_t productID, uint16_t release = 0x0100, uint16_t interfaceNum = 0);

// The "list" message of the helper for these devices, as notification text.
std::string listMessage(const std::vector<DeviceInfo>& devices, uint16_t helperState = 0);
// A "list" message whose payload has `size` bytes.
std::string listMessageOfSize(size_t size);

class PaneHarness {
 public:
  // `language`: "en" or "de". The pane is loaded (initWithBundle, loadMainView, mainViewDidLoad)
  // but not selected.
  explicit PaneHarness(const std::string& language = "en");
  ~PaneHarness();

  // Writes `prefs` as the user's settings file (before open()).
  void writeSettings(const pl::Dictionary& prefs);
  void writeSettingsText(const std::string& text);
  // The factory settings of the bundle.
  pl::DictRef factorySettings() const;
  // The user's settings file as it is now; null when missing or unreadable.
  pl::DictRef savedSettings() const;

  void open();
  void select();
  void unselect();

  // The helper answers with this list.
  void deliverList(const std::vector<DeviceInfo>& devices, uint16_t helperState = 0);
  // The machine has this device attached (counted by the pane's HID manager once settled).
  int attach(uint16_t productID, bool bluetooth = false);
  void settle() { world.settle(); }

  // A device attached and listed by the helper: the usual state of a working device.
  void connect(const std::vector<uint16_t>& products);

  std::vector<std::string> commands() const { return world.notifications.commands(protocol::kCommandName); }
  size_t countCommands(const std::string& word) const;
  void clearPosted() { world.notifications.posted.clear(); }

  VantrelController& controller() const { return *pane->outControllerVantrel; }
  QWidget* window() const { return window_.get(); }

  panesvc::FakePaneWorld world;
  std::optional<platform::Bundle> bundle;
  std::unique_ptr<VantrelPrefPane> pane;

 private:
  std::unique_ptr<QWidget> window_;
  std::string language_;
};

}  // namespace panetest
