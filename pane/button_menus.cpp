#include "pane/button_menus.h"

#include <cstdio>

#include "keys/key_names.h"
#include "keys/mac_roman.h"
#include "platform/system_services.h"
#include "settings/commands.h"
#include "settings/matching.h"

namespace menus {
namespace {

constexpr int64_t kClick = commands::kClickCommand;

commands::Command commandOf(int64_t code) {
  if (code < 0 || code > 0xFFFF) return {};
  return commands::command(static_cast<uint16_t>(code));
}

std::string localized(const assignments::LocString& loc, const std::string& key) {
  return loc ? loc(key) : key;
}

pl::DictRef buttonOf(const pl::DictRef& profile, int32_t button) {
  if (!profile) return nullptr;
  const pl::DictRef buttons = profile->getDict("buttons");
  return buttons ? buttons->getDict(ButtonKey(button)) : nullptr;
}

bool hasPrefix(std::string_view s, std::string_view prefix) {
  return s.substr(0, prefix.size()) == prefix;
}

bool hasSuffix(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// A web address as a menu shows it: without "http://", "www." and one trailing "/", each cut
// only when the text is longer than what is cut. The slash of a bare scheme ("http://") stays.
std::string shortWebAddress(std::string url) {
  if (url.size() > 7 && hasPrefix(url, "http://")) url.erase(0, 7);
  if (url.size() > 4 && hasPrefix(url, "www.")) url.erase(0, 4);
  if (url.size() > 1 && url.back() == '/' && !hasSuffix(url, "://")) url.pop_back();
  return url;
}

struct ClickRule {
  bool enabled = true;
  bool forcedClick = false;  // button 0 was made a click
};

ClickRule primaryClickRule(const pl::DictRef& profile, int32_t button) {
  ClickRule r;
  const pl::DictRef b = buttonOf(profile, button);
  const int64_t c = b ? b->integerValue("cmd") : 0;
  if (button != 0 || c == kClick) {
    if (c == kClick) r.enabled = VantrelFindClickInSettings(profile, 0, 3, button) >= 0;
    return r;
  }
  if (VantrelFindClickInSettings(profile, 1, 3, -1) >= 0) return r;
  if (b) {
    b->setInteger("cmd", kClick);
  } else if (const pl::DictRef buttons = profile ? profile->getDict("buttons") : nullptr) {
    auto click = pl::makeDict();
    click->setInteger("cmd", kClick);
    buttons->set(ButtonKey(0), click);
  }
  r.forcedClick = true;
  r.enabled = VantrelFindClickInSettings(profile, 0, 3, 0) >= 0;
  return r;
}

}  // namespace

std::string ButtonKey(int32_t button) {
  char key[16];
  std::snprintf(key, sizeof key, "%02d", static_cast<int>(button));
  return key;
}

bool ApplyPrimaryClickRule(const pl::DictRef& profile, int32_t button) {
  return primaryClickRule(profile, button).enabled;
}

std::string AssignmentTitle(const pl::Dictionary* button, const pl::Array* tree,
                            const pl::Array* snippets, const assignments::LocString& loc) {
  const pl::Dictionary none;
  const pl::Dictionary& b = button ? *button : none;
  const std::string label = b.stringValue("label");
  if (!label.empty()) return label;
  const int64_t code = b.integerValue("cmd");
  const auto mod = static_cast<uint16_t>(b.unsignedValue("mod") & 0xFFFF);
  const commands::Command c = commandOf(code);

  std::string name;
  std::string title = "-";
  if (assignments::findCommandInTree(tree, code, snippets, loc, nullptr, nullptr, nullptr,
                                     &name)) {
    title = localized(loc, name);
  } else if (!c.nameKey.empty()) {
    title = localized(loc, std::string(c.nameKey));
  }

  switch (c.kind) {
    case commands::Kind::DriverClick:
      if (mod != 0) title = GetModifiersName(255, mod) + "+" + title;
      break;
    case commands::Kind::DriverKeystroke: {
      const auto key = static_cast<uint8_t>(b.unsignedValue("key") & 0xFF);
      title = localized(loc, "Type") + " " +
              GetKeyCombinationNameWithSepAndCase(key, mod, nullptr, nullptr, 1);
      break;
    }
    case commands::Kind::KeystrokeByCharacter:
      if (c.character == 0) {  // the button's own character
        const auto ch = static_cast<uint8_t>(b.unsignedValue("char") & 0xFF);
        if (ch > 0x20 && ch != 0x7F) {
          title = localized(loc, "Type") + " " + GetModifiersNameWithSep(255, mod, nullptr) +
                  keys::utf8Encode(keys::macRomanToUnicode(ch));
        }
      }
      break;
    case commands::Kind::HelperAction:
      switch (c.action) {
        case commands::Action::OpenItem:
          title = sys::lastPathComponent(b.stringValue("str"));
          break;
        case commands::Action::LaunchApplication: title = b.stringValue("str"); break;
        case commands::Action::OpenURL: title = shortWebAddress(b.stringValue("str")); break;
        default: break;
      }
      break;
    default: break;
  }
  return title.empty() ? "-" : title;
}

MenuUpdate UpdateMenuForAssignment(const pl::DictRef& profile, int32_t button,
                                   const std::function<bool(int64_t)>& menuHasTag,
                                   const pl::Array* tree, const pl::Array* snippets,
                                   const assignments::LocString& loc) {
  MenuUpdate u;
  const ClickRule rule = primaryClickRule(profile, button);
  u.enabled = rule.enabled;
  const pl::DictRef b = buttonOf(profile, button);
  const int64_t code = rule.forcedClick ? kClick : b ? b->integerValue("cmd") : 0;
  const uint64_t mod = b ? b->unsignedValue("mod") & 0xFFFF : 0;
  const bool labelled = b && !b->stringValue("label").empty();
  // Negative codes are not commands: they would name the editor item or the extra item.
  if (mod == 0 && !labelled && code >= 0 && menuHasTag && menuHasTag(code)) {
    u.selectedTag = code;
    return u;
  }
  if (b) {
    u.extraTitle = AssignmentTitle(b.get(), tree, snippets, loc);
  } else {
    pl::Dictionary stand;  // a forced click that could not be stored, or no dictionary at all
    stand.setInteger("cmd", code);
    u.extraTitle = AssignmentTitle(&stand, tree, snippets, loc);
  }
  return u;
}

int ApplyMenuUpdate(std::vector<MenuItem>& items, const MenuUpdate& update) {
  const bool hasExtra = !items.empty() && items.back().tag == kExtraItemTag;
  if (update.selectedTag) {
    if (hasExtra) items.pop_back();
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i].tag == *update.selectedTag) return static_cast<int>(i);
    return -1;
  }
  if (!hasExtra) items.push_back({kExtraItemTag, {}});
  items.back().title = update.extraTitle;
  return static_cast<int>(items.size() - 1);
}

void GetButtonAssignmentFromMenu(pl::Dictionary& button, int64_t tag) {
  if (tag < 0) return;
  button.clear();
  button.setInteger("cmd", tag);
  if (tag >= 1 && tag <= 18) button.setInteger("mod", 0);
  if (tag == 10 || tag == 11) button.setInteger("key", 255);
  if (tag >= 20 && tag <= 23) button.setInteger("cnt", 1);
}

void StoreMenuChoice(const pl::DictRef& profile, int32_t button, int64_t tag) {
  if (tag < 0 || !profile) return;
  const pl::DictRef buttons = profile->getDict("buttons");
  if (!buttons) return;
  pl::DictRef b = buttons->getDict(ButtonKey(button));
  if (!b) {
    b = pl::makeDict();
    buttons->set(ButtonKey(button), b);
  }
  GetButtonAssignmentFromMenu(*b, tag);
}

}  // namespace menus
