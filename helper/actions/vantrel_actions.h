// The helper's button actions: every button command the driver reports is carried out here.
//
// Keystroke commands become `VNTk` requests to the device that sent the press; snippets are
// pasted through the pasteboard; system hot keys follow the user's hot-key table with the
// factory table of the system version as fallback; the rest opens, launches, runs or sends
// Apple events through the platform services handed to the constructor.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

#include "helper/actions/action_host.h"
#include "platform/plist.h"
#include "platform/system_services.h"
#include "settings/driver_codes.h"

// What a keystroke command asks for: a Mac OS Roman character (typed through the key tables;
// one above 0xFF is typed by no key) or, when the character is 0, a virtual key code (255: none),
// with the modifiers to hold.
struct Keystroke {
  uint16_t character = 0;
  uint8_t keyCode = 255;
  uint16_t modifiers = 0;
  bool operator==(const Keystroke&) const = default;
};

// The `VNTk` parameter of a keystroke: key code in bits 8-15, classic modifiers in bits 16-31.
// A character's key code and own modifiers come from the tables, the keystroke's modifiers are
// added to them. Nothing when the keystroke types nothing (character 0 and key code 255).
std::optional<uint32_t> KeystrokeParameter(const Keystroke& keystroke, const uint8_t* keycodeTable,
                                           const uint8_t* modifiersTable);

// The system hot-key number of a hot-key command code (100-135, 137), or 0.
uint16_t HotKeyNumberForCommand(uint16_t code);

class VantrelActions final : public ButtonActions {
 public:
  struct Config {
    std::string homeDirectory;      // the user's home folder (hot keys, "~" in paths)
    std::string resourceDirectory;  // where "DefaultHotKeys10x.plist" lie
    uint32_t systemVersion = 0;     // 0x1060 ... 0x1090; 0 asks MacOSXVersion()
  };

  // Presses kept at most while an action runs.
  static constexpr size_t kMaxDeferredButtons = 64;

  // The action services of `platform` must be set (completeForActions) and outlive the actions.
  VantrelActions(const sys::Platform& platform, Config config);

  void start(ActionHost& host) override;
  // Presses that arrive while an earlier one is still being carried out (the snippets menu is
  // open, a snippet is being pasted, a script runs, a media application starts) wait and are
  // carried out after it, in order.
  void buttonPressed(ActionHost& host, uint32_t connection, uint16_t button) override;

  // Carries out one command for the device with this connection; `button` is the button's
  // dictionary (null reads as empty).
  void performCommand(ActionHost& host, uint32_t connection, uint16_t code,
                      const pl::Dictionary* button);
  void sendKeystroke(ActionHost& host, uint32_t connection, const Keystroke& keystroke);

  // Snippets.
  void showSnippetsMenu(ActionHost& host);
  void handleSnippetsMenu(ActionHost& host, int tag);
  void typeSnippet(ActionHost& host, int32_t index);

  // System hot keys: the keystroke hot key `number` presses now, or nothing when it is
  // disabled or unknown to both tables.
  std::optional<Keystroke> systemHotKey(uint16_t number) const;
  const pl::DictRef& hotKeyDict() const { return fHotKeyDict; }
  const pl::DictRef& defaultHotKeyDict() const { return fDefaultHotKeyDict; }

  int32_t sendCoreEventToSystemProcess(uint32_t eventID);
  int32_t sendMediaCommand(uint8_t index);

  // Button events that arrived while an action was running, not yet carried out.
  size_t deferredButtonCount() const { return fDeferred.size(); }

 private:
  void openItem(const std::string& path);
  void launchApplication(const std::string& nameOrPath, const std::string& bundleID);
  void dispatchButton(ActionHost& host, uint32_t connection, uint16_t button);

  sys::Platform fPlatform;
  Config fConfig;
  pl::DictRef fHotKeyDict;
  pl::DictRef fDefaultHotKeyDict;
  bool fBusy = false;
  std::deque<std::pair<uint32_t, uint16_t>> fDeferred;
};
