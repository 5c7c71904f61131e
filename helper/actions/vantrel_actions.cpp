#include "helper/actions/vantrel_actions.h"

#include <array>

#include "helper/actions/action_text.h"
#include "helper/actions/hot_keys.h"
#include "helper/actions/system_events.h"
#include "keys/key_tables.h"
#include "keys/mac_roman.h"
#include "platform/files.h"
#include "settings/commands.h"
#include "settings/dict_access.h"
#include "settings/string_utils.h"

namespace {

using commands::Action;
using commands::Kind;
using settings_detail::rawDict;
using settings_detail::rawUnsigned;

constexpr const char* kLaunchpadBundleID = "com.apple.launchpad.launcher";
// A keystroke character beyond the 256 entries of the key tables: no key types it.
constexpr uint16_t kNoTableCharacter = 0xFFFF;

std::string rawString(const pl::Dictionary* d, std::string_view key) {
  return std::string(settings_detail::rawString(d, key));
}

}  // namespace

std::optional<uint32_t> KeystrokeParameter(const Keystroke& keystroke, const uint8_t* keycodeTable,
                                           const uint8_t* modifiersTable) {
  uint32_t keyBits;
  uint32_t modifiers = keystroke.modifiers;
  if (keystroke.character != 0) {
    if (keystroke.character <= 0xFF) {
      const auto c = static_cast<uint8_t>(keystroke.character);
      keyBits = GetCharMessage(keycodeTable, c) & 0xFF00u;
      modifiers |= GetCharModifiers(modifiersTable, c);
    } else {
      keyBits = 0xFF00u;  // beyond the tables: no key of the layout types it
    }
  } else if (keystroke.keyCode != 255) {
    keyBits = (static_cast<uint32_t>(keystroke.keyCode) << 8) & 0xFF00u;
  } else {
    return std::nullopt;
  }
  return keyBits | ((modifiers & 0xFFFFu) << 16);
}

uint16_t HotKeyNumberForCommand(uint16_t code) {
  const commands::Command c = commands::command(code);
  return c.kind == Kind::HotKey ? c.number : 0;
}

VantrelActions::VantrelActions(const sys::Platform& platform, Config config)
    : fPlatform(platform), fConfig(std::move(config)) {}

void VantrelActions::start(ActionHost&) {
  fHotKeyDict = actions::CopySymbolicHotKeys(fConfig.homeDirectory);
  const uint32_t version = fConfig.systemVersion ? fConfig.systemVersion : MacOSXVersion();
  fDefaultHotKeyDict = actions::LoadDefaultHotKeys(fConfig.resourceDirectory, version);
}

void VantrelActions::buttonPressed(ActionHost& host, uint32_t connection, uint16_t button) {
  if (fBusy) {
    // An action is still running (a menu, a wait, a script) and holds the event loop: the
    // press is carried out after it, in the order of arrival. A flood beyond the queue's
    // room is dropped, as a full message queue would drop it.
    if (fDeferred.size() < kMaxDeferredButtons) fDeferred.emplace_back(connection, button);
    return;
  }
  fBusy = true;
  dispatchButton(host, connection, button);
  while (!fDeferred.empty()) {
    const auto [nextConnection, nextButton] = fDeferred.front();
    fDeferred.pop_front();
    dispatchButton(host, nextConnection, nextButton);
  }
  fBusy = false;
}

void VantrelActions::dispatchButton(ActionHost& host, uint32_t connection, uint16_t button) {
  if (button > 15) return;
  const DeviceInfo* info = host.deviceInfoFor(connection);
  if (!info) return;
  pl::DictRef global;
  pl::DictRef profile = host.findAppPrefs(*info, &global);
  if (!profile) profile = global;

  const char key[3] = {static_cast<char>('0' + button / 10), static_cast<char>('0' + button % 10),
                       '\0'};
  const pl::Dictionary* dict = rawDict(rawDict(profile.get(), "buttons"), key);
  auto code = static_cast<uint16_t>(rawUnsigned(dict, "cmd"));
  if (code == commands::kUseGlobalCommand) {
    // One step only: a global profile that says "global" again does nothing.
    dict = rawDict(rawDict(global.get(), "buttons"), key);
    code = static_cast<uint16_t>(rawUnsigned(dict, "cmd"));
    if (code == commands::kUseGlobalCommand) return;
  }
  performCommand(host, connection, code, dict);
}

void VantrelActions::performCommand(ActionHost& host, uint32_t connection, uint16_t code,
                                    const pl::Dictionary* button) {
  const commands::Command c = commands::command(code);
  switch (c.kind) {
    case Kind::KeystrokeByCharacter:
      if (c.character == 0) {
        // The button's own character and modifiers.
        sendKeystroke(host, connection,
                      Keystroke{static_cast<uint8_t>(rawUnsigned(button, "char")), 255,
                                static_cast<uint16_t>(rawUnsigned(button, "mod"))});
      } else {
        const bool first = c.otherCharacter == 0 ||
                           commands::UsesBracketsForBackAndForward(host.frontApplication());
        sendKeystroke(host, connection,
                      Keystroke{first ? c.character : c.otherCharacter, 255, c.modifiers});
      }
      return;
    case Kind::KeystrokeByKey:
      sendKeystroke(host, connection, Keystroke{0, c.keyCode, c.modifiers});
      return;
    case Kind::HotKey:
      if (auto keystroke = systemHotKey(c.number)) sendKeystroke(host, connection, *keystroke);
      return;
    case Kind::Media:
      sendMediaCommand(static_cast<uint8_t>(c.number));
      return;
    case Kind::Snippet:
      typeSnippet(host, c.number);
      return;
    case Kind::HelperAction:
      break;
    default:
      return;  // the driver's own commands and codes that do nothing
  }
  switch (c.action) {
    case Action::OpenItem:
      openItem(rawString(button, "str"));
      break;
    case Action::LaunchApplication:
      launchApplication(rawString(button, "str"), rawString(button, "bndl"));
      break;
    case Action::OpenURL:
      if (auto url = actions::URLToOpen(rawString(button, "str"))) fPlatform.workspaceActions->openURL(*url);
      break;
    case Action::RunScript:
      if (std::string source = rawString(button, "str"); !source.empty())
        fPlatform.scripts->runAppleScript(source);
      break;
    case Action::Restart:
      sendCoreEventToSystemProcess(FourCharCode("rest"));
      break;
    case Action::ShutDown:
      sendCoreEventToSystemProcess(FourCharCode("shut"));
      break;
    case Action::Sleep:
      sendCoreEventToSystemProcess(FourCharCode("slep"));
      break;
    case Action::Launchpad:
      fPlatform.workspaceActions->launchAppWithBundleIdentifier(kLaunchpadBundleID, sys::kWorkspaceLaunchAsync);
      break;
    case Action::SnippetsMenu:
      showSnippetsMenu(host);
      break;
    case Action::None:
      break;
  }
}

void VantrelActions::sendKeystroke(ActionHost& host, uint32_t connection,
                                   const Keystroke& keystroke) {
  if (auto param = KeystrokeParameter(keystroke, host.keycodeTable(), host.modifiersTable()))
    host.sendControlToVantrel(connection, driver::kControlKeystroke, static_cast<int32_t>(*param),
                              nullptr);
}

void VantrelActions::openItem(const std::string& path) {
  if (path.empty()) return;
  const std::string expanded = actions::ExpandTildeInPath(path, fConfig.homeDirectory);
  if (files::exists(expanded)) fPlatform.workspaceActions->openFile(expanded);
}

void VantrelActions::launchApplication(const std::string& nameOrPath,
                                       const std::string& bundleID) {
  if (!nameOrPath.empty() && fPlatform.workspaceActions->launchApplication(nameOrPath)) return;
  if (!bundleID.empty())
    fPlatform.workspaceActions->launchAppWithBundleIdentifier(bundleID, sys::kWorkspaceLaunchAsync);
}

std::optional<Keystroke> VantrelActions::systemHotKey(uint16_t number) const {
  bool enabled = false;
  uint16_t character = 0;
  uint8_t keyCode = 255;
  uint16_t modifiers = 0;
  int found = actions::GetSymbolicHotKey(fHotKeyDict.get(), number, &enabled, &character,
                                         &keyCode, &modifiers);
  if (!found)
    found = actions::GetSymbolicHotKey(fDefaultHotKeyDict.get(), number, &enabled, &character,
                                       &keyCode, &modifiers);
  if (!found || !enabled) return std::nullopt;
  if (keyCode != 255) return Keystroke{0, keyCode, modifiers};
  // The hot key's character is Unicode, the key tables are indexed by Mac OS Roman: "é" (U+00E9)
  // is 0x8E there, not 0xE9. A character Mac OS Roman lacks is typed by no key.
  if (character < 0x80) return Keystroke{character, 255, modifiers};
  bool substituted = false;
  const uint8_t roman = keys::unicodeToMacRoman(character, &substituted);
  return Keystroke{substituted ? kNoTableCharacter : uint16_t{roman}, 255, modifiers};
}

int32_t VantrelActions::sendCoreEventToSystemProcess(uint32_t eventID) {
  return actions::SendCoreEventToSystemProcess(*fPlatform.appleEvents, eventID);
}

int32_t VantrelActions::sendMediaCommand(uint8_t index) {
  return actions::SendMediaCommand(*fPlatform.appleEvents, *fPlatform.actionSleeper, index);
}

void VantrelActions::showSnippetsMenu(ActionHost& host) {
  host.sendControlToEveryVantrel(driver::kControlPopUp, 1, nullptr);
  if (const pl::ArrayRef snippets = host.snippetsArray()) {
    for (int i = 0; i < sys::SnippetsMenu::kItemCount && static_cast<size_t>(i) < snippets->size(); ++i) {
      const pl::DictRef snippet = snippets->dictAt(static_cast<size_t>(i));
      const std::string name = rawString(snippet.get(), "name");
      if (!name.empty()) fPlatform.snippetsMenu->setItemTitle(i, name);
    }
  }
  const std::optional<int> chosen = fPlatform.snippetsMenu->popUpAtMouseLocation();
  if (chosen) handleSnippetsMenu(host, *chosen);
  host.sendControlToEveryVantrel(driver::kControlPopUp, 0, nullptr);
}

void VantrelActions::handleSnippetsMenu(ActionHost& host, int tag) {
  if (tag >= 0 && tag < sys::SnippetsMenu::kItemCount) typeSnippet(host, tag);
}

void VantrelActions::typeSnippet(ActionHost& host, int32_t index) {
  const std::optional<uint32_t> first = host.firstDeviceConnection();
  if (!first) return;
  const pl::ArrayRef snippets = host.snippetsArray();
  if (!snippets || index < 0 || static_cast<size_t>(index) >= snippets->size()) return;
  const std::string text = rawString(snippets->dictAt(static_cast<size_t>(index)).get(), "text");
  if (text.empty()) return;

  sys::Pasteboard& pasteboard = *fPlatform.pasteboard;
  const std::vector<std::string> savedTypes = pasteboard.types();
  std::vector<std::optional<std::vector<uint8_t>>> savedData;
  savedData.reserve(savedTypes.size());
  for (const std::string& type : savedTypes) savedData.push_back(pasteboard.dataForType(type));

  pasteboard.declareTypes({sys::kStringPasteboardType});
  pasteboard.setString(text, sys::kStringPasteboardType);

  const uint32_t keyBits = GetCharMessage(host.keycodeTable(), 'v') & 0xFF00u;
  host.sendControlToVantrel(*first, driver::kControlKeystroke,
                            static_cast<int32_t>(keyBits + 0x01000000u), nullptr);
  fPlatform.actionSleeper->sleepFor(std::chrono::milliseconds(250));

  // Every type comes back in its place; one whose data could not be read stays empty.
  pasteboard.declareTypes(savedTypes);
  for (size_t i = 0; i < savedTypes.size(); ++i)
    if (savedData[i]) pasteboard.setData(*savedData[i], savedTypes[i]);
}
