#include "keys/layout.h"

#include <xcb/xcb.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdarg>
#include <cstdlib>
#include <map>
#include <memory>
#include <vector>

#include "keys/keycodes.h"
#include "platform/files.h"

namespace keys {

// A keymap with one xkb state for each combination of the modifiers that choose a level.
struct KeyboardLayout {
  std::string name;
  xkb_keymap* keymap = nullptr;
  // Index: bit 0 Shift, bit 1 Lock, bit 2 third level.
  xkb_state* states[8] = {};

  ~KeyboardLayout() {
    for (xkb_state* s : states) xkb_state_unref(s);
    xkb_keymap_unref(keymap);
  }
};

namespace {

constexpr char kSystemKeyboardConfig[] = "/etc/default/keyboard";

struct Registry {
  xkb_context* context = nullptr;
  std::optional<LayoutSpec> pinned;
  // Compiled layouts by a key naming their source; null for sources that do not compile.
  std::map<std::string, std::unique_ptr<KeyboardLayout>> layouts;

  Registry() {
    context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    // Compilation problems are answered by the results; nothing goes to standard error.
    if (context) xkb_context_set_log_fn(context, [](xkb_context*, xkb_log_level, const char*, va_list) {});
  }
  ~Registry() {
    layouts.clear();
    xkb_context_unref(context);
  }
};

Registry& registry() {
  static Registry r;
  return r;
}

// The first key whose first-level symbol in `group` is `sym`, or 0.
xkb_keycode_t keyWithSymbol(xkb_keymap* keymap, uint32_t group, xkb_keysym_t sym) {
  const xkb_keycode_t last = xkb_keymap_max_keycode(keymap);
  for (xkb_keycode_t kc = xkb_keymap_min_keycode(keymap); kc <= last && kc != 0; ++kc) {
    const xkb_keysym_t* syms = nullptr;
    const int n = xkb_keymap_key_get_syms_by_level(keymap, kc, group, 0, &syms);
    if (n == 1 && syms[0] == sym) return kc;
  }
  return 0;
}

xkb_mod_mask_t modByName(xkb_keymap* keymap, const char* name) {
  const xkb_mod_index_t i = xkb_keymap_mod_get_index(keymap, name);
  return i == XKB_MOD_INVALID ? 0 : (xkb_mod_mask_t{1} << i);
}

// The real modifiers that the key with `sym` sets when pressed (and, for a lock, released).
xkb_mod_mask_t modifiersOfKey(xkb_keymap* keymap, uint32_t group, xkb_keysym_t sym,
                              bool lock) {
  const xkb_keycode_t kc = keyWithSymbol(keymap, group, sym);
  if (kc == 0) return 0;
  xkb_state* probe = xkb_state_new(keymap);
  if (!probe) return 0;
  xkb_state_update_mask(probe, 0, 0, 0, 0, 0, group);
  xkb_state_update_key(probe, kc, XKB_KEY_DOWN);
  xkb_mod_mask_t mask = 0;
  if (lock) {
    xkb_state_update_key(probe, kc, XKB_KEY_UP);
    mask = xkb_state_serialize_mods(probe, XKB_STATE_MODS_LOCKED);
  } else {
    mask = xkb_state_serialize_mods(probe, XKB_STATE_MODS_DEPRESSED);
  }
  xkb_state_unref(probe);
  return mask;
}

// Builds the layout's states; takes over the keymap reference. Null when a state cannot be made.
std::unique_ptr<KeyboardLayout> makeLayout(xkb_keymap* keymap, uint32_t group, std::string name) {
  if (!keymap) return nullptr;
  auto layout = std::make_unique<KeyboardLayout>();
  layout->keymap = keymap;
  layout->name = std::move(name);
  const xkb_layout_index_t groups = xkb_keymap_num_layouts(keymap);
  if (groups == 0) return nullptr;
  if (group >= groups) group = 0;

  const xkb_mod_mask_t shift = modByName(keymap, XKB_MOD_NAME_SHIFT);
  const xkb_mod_mask_t lock = modByName(keymap, XKB_MOD_NAME_CAPS);
  xkb_mod_mask_t level3 = modifiersOfKey(keymap, group, XKB_KEY_ISO_Level3_Shift, false);
  if (level3 == 0) level3 = modByName(keymap, "Mod5");
  xkb_mod_mask_t numLock = modifiersOfKey(keymap, group, XKB_KEY_Num_Lock, true);
  if (numLock == 0) numLock = modByName(keymap, XKB_MOD_NAME_NUM);

  for (unsigned i = 0; i < 8; ++i) {
    xkb_state* s = xkb_state_new(keymap);
    if (!s) return nullptr;
    xkb_mod_mask_t depressed = 0, locked = numLock;
    if (i & 1) depressed |= shift;
    if (i & 2) locked |= lock;
    if (i & 4) depressed |= level3;
    xkb_state_update_mask(s, depressed, 0, locked, 0, 0, group);
    layout->states[i] = s;
  }
  return layout;
}

std::string cacheKey(const LayoutSpec& names, uint32_t group) {
  return "names\n" + names.rules + "\n" + names.model + "\n" + names.layout + "\n" + names.variant +
         "\n" + names.options + "\n" + std::to_string(group);
}

// Splits "a,b,,c" at the commas.
std::vector<std::string> splitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return parts;
}

// The name of group `group` of a comma-separated layout list ("us,de" + ",nodeadkeys").
std::string groupName(const std::string& layouts, const std::string& variants, uint32_t group) {
  const auto names = splitCommas(layouts);
  const auto vars = splitCommas(variants);
  if (group >= names.size()) return layouts;
  LayoutSpec one;
  one.layout = names[group];
  if (group < vars.size()) one.variant = vars[group];
  return one.shortName();
}

std::string readRulesNames(xcb_connection_t* c, xcb_window_t root) {
  static const char kAtom[] = "_XKB_RULES_NAMES";
  xcb_intern_atom_reply_t* atom =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof kAtom - 1, kAtom), nullptr);
  if (!atom) return {};
  std::string names;
  if (atom->atom != XCB_ATOM_NONE) {
    xcb_get_property_reply_t* prop = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_STRING, 0, 1024), nullptr);
    if (prop) {
      if (prop->format == 8) {
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(prop));
        names.assign(bytes, static_cast<size_t>(xcb_get_property_value_length(prop)));
      }
      free(prop);
    }
  }
  free(atom);
  return names;
}

// The X server's keyboard in its active group, when a display is reachable.
const KeyboardLayout* x11Layout() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) return nullptr;
  Registry& reg = registry();
  if (!reg.context) return nullptr;
  int screenIndex = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenIndex);
  if (!c) return nullptr;
  const KeyboardLayout* result = nullptr;
  if (!xcb_connection_has_error(c) &&
      xkb_x11_setup_xkb_extension(c, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                  XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr,
                                  nullptr)) {
    const int32_t device = xkb_x11_get_core_keyboard_device_id(c);
    xkb_keymap* keymap =
        device == -1 ? nullptr
                     : xkb_x11_keymap_new_from_device(reg.context, c, device,
                                                      XKB_KEYMAP_COMPILE_NO_FLAGS);
    if (keymap) {
      uint32_t group = 0;
      if (xkb_state* live = xkb_x11_state_new_from_device(keymap, c, device)) {
        group = xkb_state_serialize_layout(live, XKB_STATE_LAYOUT_EFFECTIVE);
        xkb_state_unref(live);
      }
      // The keymap's own text identifies it: the same keyboard reuses the compiled layout.
      char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
      const std::string key = "x11\n" + std::to_string(group) + "\n" + (text ? text : "");
      free(text);
      auto it = reg.layouts.find(key);
      if (it != reg.layouts.end()) {
        xkb_keymap_unref(keymap);
        result = it->second.get();
      } else {
        // Name it after the server's rules names when it has them.
        std::string name = "x11";
        const xcb_setup_t* setup = xcb_get_setup(c);
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
        for (int i = 0; i < screenIndex && screens.rem; ++i) xcb_screen_next(&screens);
        if (screens.rem) {
          const std::string names = readRulesNames(c, screens.data->root);
          std::vector<std::string> fields;
          std::string::size_type start = 0;
          while (start <= names.size() && fields.size() < 5) {
            const auto nul = names.find('\0', start);
            fields.push_back(names.substr(start, nul - start));
            if (nul == std::string::npos) break;
            start = nul + 1;
          }
          if (fields.size() >= 3 && !fields[2].empty())
            name = groupName(fields[2], fields.size() >= 4 ? fields[3] : "", group);
        }
        auto layout = makeLayout(keymap, group, name);
        result = layout.get();
        reg.layouts[key] = std::move(layout);
      }
    }
  }
  xcb_disconnect(c);
  return result;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

// The value of a shell assignment's right-hand side: quotes removed, escapes in double quotes
// and outside quotes resolved, a trailing comment dropped.
std::string shellValue(const std::string& text) {
  std::string out;
  char quote = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote == '\'') {
      if (c == '\'') quote = 0;
      else out += c;
    } else if (quote == '"') {
      if (c == '"') quote = 0;
      else if (c == '\\' && i + 1 < text.size()) out += text[++i];
      else out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (c == '#' || c == ' ' || c == '\t' || c == ';') {
      break;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

LayoutSpec LayoutSpec::parse(const std::string& text) {
  LayoutSpec names;
  const auto colon = text.find(':');
  names.layout = text.substr(0, colon);
  if (colon != std::string::npos) names.variant = text.substr(colon + 1);
  return names;
}

std::string LayoutSpec::shortName() const {
  return variant.empty() ? layout : layout + ":" + variant;
}

void pinLayout(std::optional<LayoutSpec> names) { registry().pinned = std::move(names); }

const KeyboardLayout* compileLayout(const LayoutSpec& names, uint32_t group) {
  Registry& reg = registry();
  const std::string key = cacheKey(names, group);
  auto it = reg.layouts.find(key);
  if (it != reg.layouts.end()) return it->second.get();
  std::unique_ptr<KeyboardLayout> layout;
  if (reg.context) {
    const xkb_rule_names ruleNames{names.rules.c_str(), names.model.c_str(), names.layout.c_str(),
                               names.variant.c_str(), names.options.c_str()};
    std::string name = groupName(names.layout, names.variant, group);
    if (names.layout.empty()) {
      // xkbcommon's defaults: XKB_DEFAULT_LAYOUT and XKB_DEFAULT_VARIANT, else its own "us".
      const char* envLayout = std::getenv("XKB_DEFAULT_LAYOUT");
      const char* envVariant = std::getenv("XKB_DEFAULT_VARIANT");
      name = envLayout && *envLayout
                 ? groupName(envLayout, envVariant ? envVariant : "", group)
                 : std::string("us");
    }
    layout = makeLayout(xkb_keymap_new_from_names(reg.context, &ruleNames, XKB_KEYMAP_COMPILE_NO_FLAGS),
                        group, name);
  }
  const KeyboardLayout* result = layout.get();
  reg.layouts[key] = std::move(layout);
  return result;
}

const KeyboardLayout* currentLayout() {
  Registry& reg = registry();
  if (reg.pinned) return compileLayout(*reg.pinned);
  if (const KeyboardLayout* layout = x11Layout()) return layout;
  if (auto text = files::readWhole(kSystemKeyboardConfig)) {
    if (auto names = parseKeyboardConfig(*text)) {
      if (const KeyboardLayout* layout = compileLayout(*names)) return layout;
    }
  }
  if (const KeyboardLayout* layout = compileLayout(LayoutSpec{})) return layout;
  return compileLayout(LayoutSpec::parse("us"));
}

std::string layoutName(const KeyboardLayout* layout) { return layout ? layout->name : ""; }

std::optional<LayoutSpec> parseKeyboardConfig(const std::string& text) {
  std::map<std::string, std::string> vars;
  std::string::size_type start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = trim(text.substr(start, end - start));
    start = end + 1;
    if (line.rfind("export ", 0) == 0) line = trim(line.substr(7));
    if (line.empty() || line[0] == '#') continue;
    const auto eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    vars[line.substr(0, eq)] = shellValue(line.substr(eq + 1));
  }
  const auto layouts = splitCommas(vars["XKBLAYOUT"]);
  if (layouts.empty() || trim(layouts[0]).empty()) return std::nullopt;
  LayoutSpec names;
  names.model = vars["XKBMODEL"];
  names.layout = trim(layouts[0]);
  names.variant = trim(splitCommas(vars["XKBVARIANT"])[0]);
  names.options = vars["XKBOPTIONS"];
  return names;
}

void clearLayoutCache() { registry().layouts.clear(); }

namespace {

// The spacing accent that a dead key shows.
char32_t deadKeyAccent(xkb_keysym_t sym) {
  switch (sym) {
    case XKB_KEY_dead_grave: return U'`';
    case XKB_KEY_dead_acute: return U'\u00B4';
    case XKB_KEY_dead_circumflex: return U'^';
    case XKB_KEY_dead_tilde: return U'~';
    case XKB_KEY_dead_macron: return U'\u00AF';
    case XKB_KEY_dead_breve: return U'\u02D8';
    case XKB_KEY_dead_abovedot: return U'\u02D9';
    case XKB_KEY_dead_diaeresis: return U'\u00A8';
    case XKB_KEY_dead_abovering: return U'\u02DA';
    case XKB_KEY_dead_doubleacute: return U'\u02DD';
    case XKB_KEY_dead_caron: return U'\u02C7';
    case XKB_KEY_dead_cedilla: return U'\u00B8';
    case XKB_KEY_dead_ogonek: return U'\u02DB';
    case XKB_KEY_dead_iota: return U'\u037A';
    case XKB_KEY_dead_belowdot: return U'.';
    case XKB_KEY_dead_belowcomma: return U',';
    case XKB_KEY_dead_currency: return U'\u00A4';
    case XKB_KEY_dead_stroke: return U'/';
    default: return 0;
  }
}

}  // namespace

uint16_t translateKey(const KeyboardLayout* layout, unsigned macKey, uint8_t modifierByte,
                      bool display) {
  if (!layout || macKey > 127) return 0;
  const uint8_t fixed = fixedKeyCharacter(macKey);
  if (fixed != 0 && macKey != kMacKeySpace) return fixed;
  const auto evdev = evdevForMacKey(macKey);
  if (!evdev) return 0;
  const xkb_keycode_t kc = *evdev + 8;
  // Right-hand modifier bits (0x20 Shift, 0x40 Option, 0x80 Control) count as the left ones.
  unsigned mods = modifierByte;
  if (mods & 0x20) mods |= 0x02;
  if (mods & 0x40) mods |= 0x08;
  if (mods & 0x80) mods |= 0x10;
  unsigned index = 0;
  if (mods & 0x02) index |= 1;
  if (mods & 0x04) index |= 2;
  if (mods & 0x08) index |= 4;
  if (mods & 0x10) index |= 8;
  // Control does not choose a level; like a Mac layout it turns letters and @[\]^_ into
  // control characters and leaves every other character alone (xkb's own rule would also turn
  // digits into control characters, making Control-3 an escape).
  xkb_state* state = layout->states[index & 7];
  char32_t c = xkb_state_key_get_utf32(state, kc);
  if ((index & 8) && ((c >= U'@' && c <= U'_') || (c >= U'a' && c <= U'z'))) c &= 0x1F;
  if (c == 0 && display) c = deadKeyAccent(xkb_state_key_get_one_sym(state, kc));
  if (c == 0) return fixed;  // space without a character of its own still shows a space
  if (c > 0xFFFF) return 0;  // more than one UTF-16 unit
  return static_cast<uint16_t>(c);
}

}  // namespace keys
