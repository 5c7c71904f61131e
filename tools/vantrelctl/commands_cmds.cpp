// vantrelctl commands [CODE]: the table of button commands: who carries each code out, the
// button-dictionary keys it reads, its fixed keystroke, hot key, media index or snippet, and its
// name (key and English text).
#include "settings/commands.h"
#include "tools/vantrelctl/command.h"

using nlohmann::json;

namespace {

const char* kindName(commands::Kind k) {
  switch (k) {
    case commands::Kind::None: return "none";
    case commands::Kind::DriverAction: return "driver action";
    case commands::Kind::DriverClick: return "driver click";
    case commands::Kind::DriverKeystroke: return "driver keystroke";
    case commands::Kind::DriverScroll: return "driver scroll";
    case commands::Kind::KeystrokeByCharacter: return "keystroke by character";
    case commands::Kind::KeystrokeByKey: return "keystroke by key";
    case commands::Kind::HelperAction: return "helper action";
    case commands::Kind::HotKey: return "hot key";
    case commands::Kind::Media: return "media";
    case commands::Kind::Snippet: return "snippet";
    case commands::Kind::GlobalFallback: return "global fallback";
  }
  return "?";
}

json row(const commands::Command& c) {
  json keys = json::array();
  const std::pair<commands::ButtonKey, const char*> kKeys[] = {
      {commands::kKeyMod, "mod"}, {commands::kKeyKey, "key"}, {commands::kKeyChar, "char"},
      {commands::kKeyCnt, "cnt"}, {commands::kKeyStr, "str"}, {commands::kKeyBndl, "bndl"}};
  for (const auto& [bit, name] : kKeys)
    if (c.uses(bit)) keys.push_back(name);
  json j{{"code", c.code}, {"kind", kindName(c.kind)}, {"driver", c.carriedOutByDriver()},
         {"keys", keys}, {"nameKey", std::string(c.nameKey)}, {"name", commands::englishName(c)}};
  if (!c.nameKey106.empty()) j["nameKey106"] = std::string(c.nameKey106);
  if (c.kind == commands::Kind::KeystrokeByCharacter && c.character != 0) j["character"] = c.character;
  if (c.otherCharacter != 0) j["otherCharacter"] = c.otherCharacter;
  if (c.kind == commands::Kind::KeystrokeByKey) j["keyCode"] = c.keyCode;
  if (c.modifiers != 0) j["modifiers"] = c.modifiers;
  if (c.kind == commands::Kind::HotKey) j["hotKey"] = c.number;
  if (c.kind == commands::Kind::Media) j["mediaIndex"] = c.number;
  if (c.kind == commands::Kind::Snippet) j["snippet"] = c.number;
  return j;
}

int cmdCommands(const ctl::Args& args) {
  ctl::checkFlags(args, {});
  const auto rest = ctl::positionals(args, {});
  if (rest.size() > 1) throw ctl::UsageError("at most one command code expected");
  if (rest.size() == 1) {
    ctl::print(row(commands::command(static_cast<uint16_t>(ctl::parseNumber(rest[0], "code", 0, 65535)))));
    return 0;
  }
  json rows = json::array();
  for (const commands::Command& c : commands::all()) rows.push_back(row(c));
  ctl::print({{"commands", rows}});
  return 0;
}

ctl::Registration rCommands("commands", "commands [CODE]   the button commands: kinds, keys, names",
                            &cmdCommands);

}  // namespace
