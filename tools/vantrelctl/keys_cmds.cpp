// vantrelctl commands about the keyboard: the character-to-keystroke tables of a layout and the
// display names of key combinations.
#include <string>

#include "keys/key_names.h"
#include "keys/key_tables.h"
#include "keys/layout.h"
#include "platform/bundle.h"
#include "tools/vantrelctl/command.h"

using nlohmann::json;

namespace {

void noPositionals(const ctl::Args& args, const std::vector<std::string>& valueFlags) {
  const auto rest = ctl::positionals(args, valueFlags);
  if (!rest.empty()) throw ctl::UsageError("unexpected argument " + rest.front());
}

// Pins --layout when given (else the current layout is detected) and returns its name.
std::string chooseLayout(const ctl::Args& args) {
  const auto layout = ctl::option(args, "--layout");
  if (layout) {
    if (layout->empty() || layout->front() == ':') throw ctl::UsageError("--layout: empty layout name");
    keys::pinLayout(keys::LayoutSpec::parse(*layout));
  }
  const keys::KeyboardLayout* current = nullptr;
  if (CompatibleGetKeyboardLayout(&current) != 0) {
    if (layout) throw ctl::UsageError("--layout: no such keyboard layout: " + *layout);
    throw std::runtime_error("no keyboard layout can be compiled");
  }
  return keys::layoutName(current);
}

int keysCommand(const ctl::Args& args) {
  ctl::checkFlags(args, {"--layout", "--keypad"});
  noPositionals(args, {"--layout"});
  const std::string name = chooseLayout(args);
  uint8_t* codes = nullptr;
  uint8_t* mods = nullptr;
  const uint16_t keypad = ctl::hasFlag(args, "--keypad") ? 1 : 0;
  const bool filled = SetupKeyTablesNumPad(&codes, &mods, keypad) != 0;
  GetKeyboardInformation(nullptr, "Localizable");
  json out{{"layout", name}, {"keycode", json::array()}, {"modifiers", json::array()},
           {"keychar", json::array()}};
  for (int c = 0; c < 256; ++c) {
    out["keycode"].push_back(codes ? codes[c] : kNoKeyCode);
    out["modifiers"].push_back(mods ? mods[c] : 0);
  }
  for (int k = 0; k < 128; ++k) out["keychar"].push_back(keys::keyCharTable()[k]);
  DisposeKeyTables(&codes, &mods);
  if (!filled) throw std::runtime_error("the key tables could not be filled");
  ctl::print(out);
  return 0;
}

int keynameCommand(const ctl::Args& args) {
  const std::vector<std::string> valueFlags = {"--code", "--mods", "--layout", "--lang", "--sep",
                                               "--keysep"};
  std::vector<std::string> known = valueFlags;
  known.push_back("--upper");
  ctl::checkFlags(args, known);
  noPositionals(args, valueFlags);
  const auto code = ctl::option(args, "--code");
  if (!code) throw ctl::UsageError("--code is required");
  const auto keyCode = static_cast<uint16_t>(ctl::parseNumber(*code, "--code", 0, 255));
  const auto modsText = ctl::option(args, "--mods");
  const auto modifiers =
      static_cast<uint16_t>(modsText ? ctl::parseNumber(*modsText, "--mods", 0, 0xFFFF) : 0);
  const auto sep = ctl::option(args, "--sep");
  const auto keySep = ctl::option(args, "--keysep");

  // A layout asked for must exist (a misspelt one would name every key "???").
  if (ctl::option(args, "--layout")) chooseLayout(args);
  if (auto lang = ctl::option(args, "--lang")) {
    const platform::Bundle localized(platform::Bundle::main().resourcePath(), *lang);
    GetKeyboardInformation(&localized, "Localizable");
  } else {
    GetKeyboardInformation(nullptr, "Localizable");
  }
  const std::string name = GetKeyCombinationNameWithSepAndCase(
      keyCode, modifiers, sep ? sep->c_str() : nullptr, keySep ? keySep->c_str() : nullptr,
      ctl::hasFlag(args, "--upper") ? 1 : 0);
  ctl::print(json{{"name", name}});
  return 0;
}

ctl::Registration keysReg("keys", "keys [--layout L[:VARIANT]] [--keypad]", &keysCommand);
ctl::Registration keynameReg(
    "keyname",
    "keyname --code C --mods M [--layout L] [--lang LANG] [--upper] [--sep S] [--keysep S]",
    &keynameCommand);

}  // namespace
