#include "pane/editors/assignment_editing.h"

#include <cstdint>

#include "keys/key_names.h"
#include "platform/bundle.h"
#include "platform/files.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/system_services.h"
#include "settings/commands.h"
#include "settings/dict_access.h"

namespace assignments {
namespace {

using settings_detail::rawString;

constexpr uint8_t kNoKey = 255;

commands::Command commandOf(int64_t code) {
  if (code < 0 || code > 0xFFFF) return {};
  return commands::command(static_cast<uint16_t>(code));
}

int64_t codeOf(const pl::Dictionary& action) { return action.integerValue("cmd"); }

void setUnsigned(pl::Dictionary& d, const char* key, uint64_t value) {
  d.setInteger(key, static_cast<int64_t>(value));
}

bool endsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// |v|, with the one value whose magnitude does not fit held at the largest.
int64_t magnitude(int64_t v) {
  if (v == INT64_MIN) return INT64_MAX;
  return v < 0 ? -v : v;
}

std::string withoutAppSuffix(std::string name) {
  if (endsWith(name, ".app")) name.resize(name.size() - 4);
  return name;
}

}  // namespace

ParameterPanel PanelForCommand(int64_t code) {
  const commands::Command c = commandOf(code);
  switch (c.kind) {
    case commands::Kind::DriverClick: return ParameterPanel::ClickModifiers;
    case commands::Kind::DriverKeystroke: return ParameterPanel::Keystroke;
    case commands::Kind::Snippet: return ParameterPanel::Snippet;
    case commands::Kind::DriverScroll: return ParameterPanel::ScrollSpeed;
    case commands::Kind::HelperAction:
      switch (c.action) {
        case commands::Action::LaunchApplication: return ParameterPanel::Application;
        case commands::Action::OpenItem: return ParameterPanel::Item;
        case commands::Action::OpenURL: return ParameterPanel::URL;
        case commands::Action::RunScript: return ParameterPanel::Script;
        default: return ParameterPanel::None;
      }
    default: return ParameterPanel::None;
  }
}

uint16_t ModifiersFromBoxes(const ModifierBoxes& boxes) {
  uint16_t m = 0;
  if (boxes.option) m |= 0x0800;
  if (boxes.control) m |= 0x1000;
  if (boxes.command) m |= 0x0100;
  if (boxes.shift) m |= 0x0200;
  return m;
}

ModifierBoxes BoxesFromModifiers(uint64_t modifiers) {
  ModifierBoxes b;
  b.command = (modifiers & 0x0100) != 0;
  b.control = (modifiers & 0x1000) != 0;
  b.option = (modifiers & 0x0800) != 0;
  b.shift = (modifiers & 0x0200) != 0;
  return b;
}

void ReadActionFromControls(pl::Dictionary& action, std::optional<uint16_t> code, bool reset,
                            const EditorControls& controls) {
  if (!code) return;
  if (reset) {
    for (const char* key : {"mod", "btn", "clk", "key", "char", "freq", "cnt", "str"})
      action.remove(key);
  }
  action.setInteger("cmd", *code);
  switch (PanelForCommand(*code)) {
    case ParameterPanel::ClickModifiers:
      setUnsigned(action, "mod", reset ? 0 : ModifiersFromBoxes(controls.clickBoxes));
      break;
    case ParameterPanel::ScrollSpeed:
      action.setInteger("cnt", reset ? 1 : magnitude(controls.speedTag));
      break;
    case ParameterPanel::Keystroke:
      setUnsigned(action, "key", reset ? kNoKey : (action.unsignedValue("key") & 0xFF));
      setUnsigned(action, "mod", reset ? 0 : ModifiersFromBoxes(controls.keyBoxes));
      break;
    case ParameterPanel::Application:
      action.setString("str", reset ? std::string() : action.stringValue("str"));
      action.setString("bndl", reset ? std::string() : action.stringValue("bndl"));
      break;
    case ParameterPanel::Item:
    case ParameterPanel::URL:
    case ParameterPanel::Script:
      action.setString("str", reset ? std::string() : action.stringValue("str"));
      break;
    case ParameterPanel::Snippet:
    case ParameterPanel::None:
      break;
  }
}

EditorView ViewOfAction(const pl::Dictionary& action, const pl::Array* tree,
                        const pl::Array* snippets, const LocString& loc) {
  EditorView v;
  v.label = action.stringValue("label");
  const int64_t code = codeOf(action);
  findCommandInTree(tree, code, nullptr, loc, &v.categoryRow, nullptr, &v.commandRow, nullptr);
  v.panel = PanelForCommand(code);
  const uint64_t mod = action.unsignedValue("mod") & 0xFFFF;
  switch (v.panel) {
    case ParameterPanel::ClickModifiers: v.clickBoxes = BoxesFromModifiers(mod); break;
    case ParameterPanel::ScrollSpeed: v.speedTag = magnitude(action.integerValue("cnt")); break;
    case ParameterPanel::Keystroke: {
      const auto key = static_cast<uint8_t>(action.unsignedValue("key") & 0xFF);
      if (key != kNoKey) {
        v.keystroke = GetKeyCombinationNameWithSepAndCase(key, static_cast<uint16_t>(mod), nullptr,
                                                          nullptr, 1);
      }
      v.keyBoxes = BoxesFromModifiers(mod);
      break;
    }
    case ParameterPanel::Item:
      v.item = action.stringValue("str");
      if (v.item.empty()) v.item = "-";
      break;
    case ParameterPanel::Application:
      v.application = action.stringValue("str");
      if (v.application.empty()) v.application = action.stringValue("bndl");
      if (v.application.empty()) v.application = "-";
      break;
    case ParameterPanel::URL: v.url = action.stringValue("str"); break;
    case ParameterPanel::Script: v.script = action.stringValue("str"); break;
    case ParameterPanel::Snippet: {
      const int index = SnippetOfCommand(code).value_or(0);
      v.snippetName = snippetNameFromArray(snippets, index, loc);
      const pl::Object* entry =
          snippets && static_cast<size_t>(index) < snippets->size()
              ? snippets->items()[static_cast<size_t>(index)].get()
              : nullptr;
      if (entry && entry->type() == pl::Type::Dictionary) {
        v.snippetText = std::string(rawString(static_cast<const pl::Dictionary*>(entry), "text"));
      }
      break;
    }
    case ParameterPanel::None: break;
  }
  return v;
}

bool ReceiveKeystroke(pl::Dictionary& action, uint32_t keyCode, uint16_t /*character*/,
                      uint32_t modifiers) {
  if (PanelForCommand(codeOf(action)) != ParameterPanel::Keystroke) return false;
  setUnsigned(action, "mod", modifiers & 0xFFFF);
  setUnsigned(action, "key", keyCode & 0xFF);
  return true;
}

void LabelChanged(pl::Dictionary& action, const std::string& text) {
  if (text.empty()) {
    action.remove("label");
  } else {
    action.setString("label", text);
  }
}

void StringFieldChanged(pl::Dictionary& action, const std::string& text) {
  action.setString("str", text);
}

bool SnippetFieldChanged(pl::Array& snippets, std::optional<uint16_t> code, SnippetField field,
                         const std::string& text) {
  const std::optional<int> number = code ? SnippetOfCommand(*code) : std::nullopt;
  if (!number) return false;
  const auto index = static_cast<size_t>(*number);
  const auto emptySnippet = [] {
    auto s = pl::makeDict();
    s->setString("name", "");
    s->setString("text", "");
    return s;
  };
  while (snippets.size() <= index) snippets.append(emptySnippet());
  pl::DictRef snippet = pl::asDict(snippets.at(index));
  if (!snippet) {
    snippet = emptySnippet();
    snippets.set(index, snippet);
  }
  snippet->setString(field == SnippetField::Name ? "name" : "text", text);
  return true;
}

std::string AbbreviateWithTildeInPath(std::string_view path, std::string_view home) {
  while (home.size() > 1 && home.back() == '/') home.remove_suffix(1);
  if (home.empty() || home == "/" || path.substr(0, home.size()) != home) return std::string(path);
  const std::string_view rest = path.substr(home.size());
  if (!rest.empty() && rest.front() != '/') return std::string(path);  // "/home/ann2" is not ann's
  std::string abbreviated = "~" + std::string(rest);
  while (abbreviated.size() > 1 && abbreviated.back() == '/') abbreviated.pop_back();
  return abbreviated;
}

bool StoreChosenItem(pl::Dictionary& action, const std::string& path, const std::string& home) {
  if (PanelForCommand(codeOf(action)) != ParameterPanel::Item) return false;
  action.setString("str", AbbreviateWithTildeInPath(path, home));
  return true;
}

ChosenApplication ApplicationAtPath(const std::string& chosen) {
  std::string path = chosen;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::string file = sys::lastPathComponent(path);
  ChosenApplication app;
  if (endsWith(file, ".desktop") && file.size() > 8) {
    const std::optional<std::string> text = files::readWhole(path);
    const std::optional<sys::xdg::DesktopEntry> entry =
        text && text->size() <= sys::kMaxAutostartEntrySize ? sys::xdg::parseDesktopEntry(*text)
                                                             : std::nullopt;
    if (entry) {
      app.identifier = file.substr(0, file.size() - 8);
      app.name = entry->name.value_or("");
      if (app.name.empty()) app.name = app.identifier;
      return app;
    }
  }
  if (const std::optional<platform::Bundle> bundle = platform::Bundle::withBundlePath(path)) {
    app.name = bundle->infoString("CFBundleName");
    app.identifier = bundle->infoString("CFBundleIdentifier");
  }
  if (app.name.empty()) app.name = file;
  app.name = withoutAppSuffix(app.name);
  return app;
}

bool StoreChosenApplication(pl::Dictionary& action, const ChosenApplication& application) {
  if (PanelForCommand(codeOf(action)) != ParameterPanel::Application) return false;
  action.setString("str", application.name);
  action.setString("bndl", application.identifier);
  return true;
}

}  // namespace assignments
