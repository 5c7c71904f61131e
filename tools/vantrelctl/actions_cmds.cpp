// vantrelctl action ...: what one button command would do here and now, carried out against
// recording stand-ins (nothing is typed, opened, launched or sent): the keystroke requests with
// the current layout's tables, the user's system hot keys with the factory fallback, the URL
// that would open, the events that would be sent.
#ifdef VANTREL_HAVE_HELPER_ACTIONS

#include <cstdio>

#include "helper/actions/vantrel_actions.h"
#include "keys/key_tables.h"
#include "keys/layout.h"
#include "platform/bundle.h"
#include "platform/fake/fake_sleeper.h"
#include "platform/fake/fake_apple_events.h"
#include "platform/fake/fake_pasteboard.h"
#include "platform/fake/fake_script_runner.h"
#include "platform/fake/fake_snippets_menu.h"
#include "platform/fake/fake_workspace_actions.h"
#include "platform/files.h"
#include "tools/vantrelctl/command.h"

using nlohmann::json;

namespace {

std::string Hex(uint32_t v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%0*X", digits, v);
  return buf;
}

// One device (connection 1) whose profile holds the button under test.
class RecordingHost final : public ActionHost {
 public:
  const DeviceInfo* deviceInfoFor(uint32_t connection) const override {
    return connection == 1 ? &info : nullptr;
  }
  pl::DictRef findAppPrefs(const DeviceInfo&, pl::DictRef* global) const override {
    if (global) *global = nullptr;
    return profile;
  }
  int32_t sendControlToVantrel(uint32_t, uint32_t code, int32_t param, int32_t*) override {
    controls.push_back({{"control", FourCharCodeString(code)}, {"param", Hex(static_cast<uint32_t>(param), 8)}});
    return 0;
  }
  int32_t sendControlToEveryVantrel(uint32_t code, int32_t param, int32_t* r) override {
    return sendControlToVantrel(0, code, param, r);
  }
  std::optional<uint32_t> firstDeviceConnection() const override { return 1; }
  uint32_t frontApplication() const override { return front; }
  const uint8_t* keycodeTable() const override { return keycodes; }
  const uint8_t* modifiersTable() const override { return modifiers; }
  pl::ArrayRef snippetsArray() const override { return snippets; }

  DeviceInfo info;
  pl::DictRef profile;
  pl::ArrayRef snippets;
  uint32_t front = 0;
  uint8_t* keycodes = nullptr;
  uint8_t* modifiers = nullptr;
  json controls = json::array();
};

int cmdAction(const ctl::Args& args) {
  const std::vector<std::string> valueFlags = {"--str", "--bndl", "--char", "--mod", "--front",
                                               "--home", "--version", "--layout", "--snippet"};
  ctl::checkFlags(args, valueFlags);
  const auto rest = ctl::positionals(args, valueFlags);
  if (rest.size() != 1) throw ctl::UsageError("one command code expected");
  const auto code = static_cast<uint16_t>(ctl::parseNumber(rest[0], "code", 0, 65535));

  auto button = pl::makeDict();
  button->setInteger("cmd", code);
  if (auto s = ctl::option(args, "--str")) button->setString("str", *s);
  if (auto s = ctl::option(args, "--bndl")) button->setString("bndl", *s);
  if (auto s = ctl::option(args, "--char")) button->setInteger("char", ctl::parseNumber(*s, "--char", 0, 255));
  if (auto s = ctl::option(args, "--mod")) button->setInteger("mod", ctl::parseNumber(*s, "--mod", 0, 0xFFFF));

  RecordingHost host;
  host.profile = pl::makeDict();
  auto buttons = pl::makeDict();
  buttons->set("00", button);
  host.profile->set("buttons", buttons);
  if (auto sig = ctl::option(args, "--front")) {
    if (sig->size() != 4) throw ctl::UsageError("--front: four characters expected");
    for (char c : *sig) host.front = (host.front << 8) | static_cast<uint8_t>(c);
  }
  host.snippets = pl::makeArray();
  if (auto text = ctl::option(args, "--snippet")) {
    // Every snippet of the run holds this text.
    for (int i = 0; i < 10; ++i) {
      auto d = pl::makeDict();
      d->setString("text", *text);
      host.snippets->append(d);
    }
  }
  if (auto layout = ctl::option(args, "--layout")) {
    // A layout asked for must exist: a misspelt one would type every character with no key.
    const keys::KeyboardLayout* pinned = nullptr;
    if (layout->empty() || layout->front() == ':') throw ctl::UsageError("--layout: empty layout name");
    keys::pinLayout(keys::LayoutSpec::parse(*layout));
    if (CompatibleGetKeyboardLayout(&pinned) != 0)
      throw ctl::UsageError("--layout: no such keyboard layout: " + *layout);
  }
  SetupKeyTablesNumPad(&host.keycodes, &host.modifiers, 1);

  sys::FakePasteboard pasteboard;
  sys::FakeSnippetsMenu menu;
  sys::FakeWorkspaceActions workspace;
  sys::FakeScriptRunner scripts;
  sys::FakeSleeper sleeper;
  sys::FakeAppleEventServices events(&sleeper);
  events.addProcess(FourCharCode("hook"));  // the media application is running
  const auto version = ctl::option(args, "--version");
  VantrelActions actions(
      sys::actionServices(pasteboard, menu, workspace, scripts, events, sleeper),
      {ctl::option(args, "--home").value_or(files::homeDirectory()), platform::Bundle::main().resourcePath(),
       version ? static_cast<uint32_t>(ctl::parseNumber(*version, "--version", 0x1000, 0x10F0)) : 0u});
  actions.start(host);
  actions.buttonPressed(host, 1, 0);
  DisposeKeyTables(&host.keycodes, &host.modifiers);

  static const char* kKinds[] = {"openFile", "launchApplication", "launchBundle", "openURL"};
  json out{{"code", code}, {"controls", host.controls}, {"workspace", json::array()},
           {"appleEvents", json::array()}, {"scripts", scripts.sources},
           {"waitsMicroseconds", sleeper.microseconds()}, {"menuShown", menu.popUps > 0}};
  for (const auto& c : workspace.calls)
    out["workspace"].push_back({{"call", kKinds[c.kind]}, {"argument", c.argument}, {"options", Hex(c.options, 5)}});
  for (const auto& e : events.sent)
    out["appleEvents"].push_back({{"class", FourCharCodeString(e.eventClass)}, {"id", FourCharCodeString(e.eventID)},
                                  {"psn", {e.target.highLongOfPSN, e.target.lowLongOfPSN}},
                                  {"sendMode", Hex(static_cast<uint32_t>(e.sendMode), 2)}});
  ctl::print(out);
  return 0;
}

ctl::Registration rAction(
    "action",
    "action CODE [--str S] [--bndl ID] [--char C] [--mod M] [--front SIG] [--snippet TEXT]\n"
    "      [--home DIR] [--version 0x10M0] [--layout L]   what a button command would do",
    &cmdAction);

}  // namespace

#endif  // VANTREL_HAVE_HELPER_ACTIONS
