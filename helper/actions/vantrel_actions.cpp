#include "helper/actions/vantrel_actions.h"

#include <array>

#include "helper/actions/action_text.h"
#include "helper/actions/hot_keys.h"
#include "helper/actions/system_events.h"
#include "keys/key_tables.h"
#include "keys/mac_roman.h"
#include "platform/files.h"
#include "settings/string_utils.h"

namespace {

constexpr uint16_t kCommand = 0x0100;
constexpr uint16_t kGlobalAssignment = 200;
constexpr uint16_t kShowSnippetsMenu = 160;
constexpr uint16_t kFirstSnippet = 180;
constexpr uint16_t kLastSnippet = 189;
constexpr const char* kLaunchpadBundleID = "com.apple.launchpad.launcher";
// A keystroke character beyond the 256 entries of the key tables: no key types it.
constexpr uint16_t kNoTableCharacter = 0xFFFF;

// Reads without touching reference counts: a button event walks a few dictionaries only.
const pl::Object* RawGet(const pl::Dictionary* d, std::string_view key) {
  if (!d) return nullptr;
  const auto& m = d->entries();
  auto it = m.find(key);
  return it == m.end() ? nullptr : it->second.get();
}
const pl::Dictionary* RawDict(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = RawGet(d, key);
  return o && o->type() == pl::Type::Dictionary ? static_cast<const pl::Dictionary*>(o) : nullptr;
}
std::string RawString(const pl::Dictionary* d, std::string_view key) {
  const pl::Object* o = RawGet(d, key);
  return o && o->type() == pl::Type::String ? static_cast<const pl::String*>(o)->value()
                                            : std::string();
}
uint64_t RawUnsigned(const pl::Dictionary* d, std::string_view key) {
  return pl::unsignedValue(RawGet(d, key));
}

// Applications in which Command-[ and Command-] mean back and forward.
bool UsesBracketsForBackAndForward(uint32_t signature) {
  static constexpr std::array<uint32_t, 5> kSignatures = {
      FourCharCode("MACS"), FourCharCode("OPIM"), FourCharCode("hbwr"), FourCharCode("sfri"),
      FourCharCode("hook")};
  for (uint32_t s : kSignatures)
    if (s == signature) return true;
  return false;
}

// The fixed keystroke of a keystroke command (codes 30-59, 74-76), or nothing.
std::optional<Keystroke> FixedKeystroke(uint16_t code, uint32_t frontApplication) {
  auto ch = [](uint8_t c, uint16_t mods) { return Keystroke{c, 255, mods}; };
  switch (code) {
    case 30: return ch(UsesBracketsForBackAndForward(frontApplication) ? 0x5B : 0x1C, kCommand);
    case 31: return ch(UsesBracketsForBackAndForward(frontApplication) ? 0x5D : 0x1D, kCommand);
    case 32: return ch('.', kCommand);
    case 33: return ch('r', kCommand);
    case 38: return ch('Q', 0x0300);
    case 39: return ch(',', kCommand);
    case 40: return ch('h', kCommand);
    case 41: return ch('h', 0x0900);
    case 42: return ch('q', kCommand);
    case 43: return ch('n', kCommand);
    case 44: return ch('o', kCommand);
    case 45: return ch('i', kCommand);
    case 46: return ch('w', kCommand);
    case 47: return ch('s', kCommand);
    case 48: return ch('p', kCommand);
    case 49: return ch('z', kCommand);
    case 50: return ch('Z', 0x0300);
    case 51: return ch('x', kCommand);
    case 52: return ch('c', kCommand);
    case 53: return ch('v', kCommand);
    case 54: return ch('d', kCommand);
    case 55: return ch('a', kCommand);
    case 56: return ch('f', kCommand);
    case 57: return ch('m', kCommand);
    case 58: return ch('?', kCommand);
    case 59: return ch('Q', 0x0B00);
    case 74: return ch('+', kCommand);
    case 75: return ch('-', kCommand);
    case 76: return Keystroke{0, 53, 0x0900};  // Escape, straight to the driver
    default: return std::nullopt;
  }
}

// Media table index of the media and volume commands 90-96, or -1.
int MediaIndexForCommand(uint16_t code) {
  switch (code) {
    case 90: return 0;
    case 91: return 1;
    case 92: return 2;
    case 93: return 3;
    case 94: return 10;
    case 95: return 11;
    case 96: return 12;
    default: return -1;
  }
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
  static constexpr std::array<uint16_t, 36> kHotKeys = {
      52, 62, 53, 54, 32, 33, 36, 73, 13, 7,   // 100-109
      8,  9,  10, 11, 27, 51, 57, 60, 61, 28,  // 110-119
      29, 30, 31, 64, 65, 15, 23, 19, 17, 25,  // 120-129
      26, 21, 59, 98, 34, 35};                 // 130-135
  if (code >= 100 && code <= 135) return kHotKeys[code - 100];
  if (code == 137) return 163;
  return 0;
}

VantrelActions::VantrelActions(Services services, Config config)
    : fServices(services), fConfig(std::move(config)) {}

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
  const pl::Dictionary* dict = RawDict(RawDict(profile.get(), "buttons"), key);
  auto code = static_cast<uint16_t>(RawUnsigned(dict, "cmd"));
  if (code == kGlobalAssignment) {
    // One step only: a global profile that says "global" again does nothing.
    dict = RawDict(RawDict(global.get(), "buttons"), key);
    code = static_cast<uint16_t>(RawUnsigned(dict, "cmd"));
    if (code == kGlobalAssignment) return;
  }
  performCommand(host, connection, code, dict);
}

void VantrelActions::performCommand(ActionHost& host, uint32_t connection, uint16_t code,
                                    const pl::Dictionary* button) {
  if (code == 11) {
    sendKeystroke(host, connection,
                  Keystroke{static_cast<uint8_t>(RawUnsigned(button, "char")), 255,
                            static_cast<uint16_t>(RawUnsigned(button, "mod"))});
    return;
  }
  if (auto keystroke = FixedKeystroke(code, host.frontApplication())) {
    sendKeystroke(host, connection, *keystroke);
    return;
  }
  if (const uint16_t number = HotKeyNumberForCommand(code)) {
    if (auto keystroke = systemHotKey(number)) sendKeystroke(host, connection, *keystroke);
    return;
  }
  if (const int media = MediaIndexForCommand(code); media >= 0) {
    sendMediaCommand(static_cast<uint8_t>(media));
    return;
  }
  if (code >= kFirstSnippet && code <= kLastSnippet) {
    typeSnippet(host, code - kFirstSnippet);
    return;
  }
  switch (code) {
    case 70:
      openItem(RawString(button, "str"));
      break;
    case 71:
      launchApplication(RawString(button, "str"), RawString(button, "bndl"));
      break;
    case 72:
      if (auto url = actions::URLToOpen(RawString(button, "str")))
        fServices.workspace.openURL(*url);
      break;
    case 73:
      if (std::string source = RawString(button, "str"); !source.empty())
        fServices.scripts.runAppleScript(source);
      break;
    case 78:
      sendCoreEventToSystemProcess(FourCharCode("rest"));
      break;
    case 79:
      sendCoreEventToSystemProcess(FourCharCode("shut"));
      break;
    case 80:
      sendCoreEventToSystemProcess(FourCharCode("slep"));
      break;
    case 136:
      fServices.workspace.launchAppWithBundleIdentifier(kLaunchpadBundleID, kWorkspaceLaunchAsync);
      break;
    case kShowSnippetsMenu:
      showSnippetsMenu(host);
      break;
    default:
      break;  // the driver's own commands and unassigned codes
  }
}

void VantrelActions::sendKeystroke(ActionHost& host, uint32_t connection,
                                   const Keystroke& keystroke) {
  if (auto param = KeystrokeParameter(keystroke, host.keycodeTable(), host.modifiersTable()))
    host.sendControlToVantrel(connection, kVantrelControlKeystroke, static_cast<int32_t>(*param),
                              nullptr);
}

void VantrelActions::openItem(const std::string& path) {
  if (path.empty()) return;
  const std::string expanded = actions::ExpandTildeInPath(path, fConfig.homeDirectory);
  if (files::exists(expanded)) fServices.workspace.openFile(expanded);
}

void VantrelActions::launchApplication(const std::string& nameOrPath,
                                       const std::string& bundleID) {
  if (!nameOrPath.empty() && fServices.workspace.launchApplication(nameOrPath)) return;
  if (!bundleID.empty())
    fServices.workspace.launchAppWithBundleIdentifier(bundleID, kWorkspaceLaunchAsync);
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
  return actions::SendCoreEventToSystemProcess(fServices.appleEvents, eventID);
}

int32_t VantrelActions::sendMediaCommand(uint8_t index) {
  return actions::SendMediaCommand(fServices.appleEvents, fServices.sleeper, index);
}

void VantrelActions::showSnippetsMenu(ActionHost& host) {
  host.sendControlToEveryVantrel(kVantrelControlPopUp, 1, nullptr);
  if (const pl::ArrayRef snippets = host.snippetsArray()) {
    for (int i = 0; i < SnippetsMenu::kItemCount && static_cast<size_t>(i) < snippets->size(); ++i) {
      const pl::DictRef snippet = snippets->dictAt(static_cast<size_t>(i));
      const std::string name = RawString(snippet.get(), "name");
      if (!name.empty()) fServices.snippetsMenu.setItemTitle(i, name);
    }
  }
  const std::optional<int> chosen = fServices.snippetsMenu.popUpAtMouseLocation();
  if (chosen) handleSnippetsMenu(host, *chosen);
  host.sendControlToEveryVantrel(kVantrelControlPopUp, 0, nullptr);
}

void VantrelActions::handleSnippetsMenu(ActionHost& host, int tag) {
  if (tag >= 0 && tag < SnippetsMenu::kItemCount) typeSnippet(host, tag);
}

void VantrelActions::typeSnippet(ActionHost& host, int32_t index) {
  const std::optional<uint32_t> first = host.firstDeviceConnection();
  if (!first) return;
  const pl::ArrayRef snippets = host.snippetsArray();
  if (!snippets || index < 0 || static_cast<size_t>(index) >= snippets->size()) return;
  const std::string text = RawString(snippets->dictAt(static_cast<size_t>(index)).get(), "text");
  if (text.empty()) return;

  Pasteboard& pasteboard = fServices.pasteboard;
  const std::vector<std::string> savedTypes = pasteboard.types();
  std::vector<std::optional<std::vector<uint8_t>>> savedData;
  savedData.reserve(savedTypes.size());
  for (const std::string& type : savedTypes) savedData.push_back(pasteboard.dataForType(type));

  pasteboard.declareTypes({kStringPasteboardType});
  pasteboard.setString(text, kStringPasteboardType);

  const uint32_t keyBits = GetCharMessage(host.keycodeTable(), 'v') & 0xFF00u;
  host.sendControlToVantrel(*first, kVantrelControlKeystroke,
                            static_cast<int32_t>(keyBits + 0x01000000u), nullptr);
  fServices.sleeper.sleepMicroseconds(250000);

  // Every type comes back in its place; one whose data could not be read stays empty.
  pasteboard.declareTypes(savedTypes);
  for (size_t i = 0; i < savedTypes.size(); ++i)
    if (savedData[i]) pasteboard.setData(*savedData[i], savedTypes[i]);
}
