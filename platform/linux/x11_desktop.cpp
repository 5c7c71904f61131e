#include "platform/linux/x11_desktop.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/linux/desktop_workspace.h"

namespace sys {

namespace {

// The reply of one request, freed with it.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> owned(T* reply) {
  return Reply<T>(reply, &std::free);
}

// A reply's value as bytes; "" when there is none.
std::string bytesOf(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  auto reply = owned(xcb_get_property_reply(c, cookie, &error));
  std::free(error);
  if (!reply || reply->format != 8) return {};
  const int length = xcb_get_property_value_length(reply.get());
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<size_t>(length));
}

std::optional<uint32_t> cardinalOf(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
  xcb_generic_error_t* error = nullptr;
  auto reply = owned(xcb_get_property_reply(c, cookie, &error));
  std::free(error);
  if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return std::nullopt;
  uint32_t value = 0;
  std::memcpy(&value, xcb_get_property_value(reply.get()), sizeof value);
  return value;
}

// Text of a property value: up to the first NUL.
std::string untilNul(const std::string& s) { return s.substr(0, s.find('\0')); }

constexpr uint32_t kPropertyLengthLimit = 1024;  // in 32-bit units: 4 KiB is more than any class

// Keysyms of the modifier keys.
constexpr uint32_t kAltL = 0xffe9, kAltR = 0xffea, kMetaL = 0xffe7, kMetaR = 0xffe8;
constexpr uint32_t kLevel3Shift = 0xfe03, kModeSwitch = 0xff7e;
constexpr uint32_t kSuperL = 0xffeb, kSuperR = 0xffec, kHyperL = 0xffed, kHyperR = 0xffee;

}  // namespace

// ---- connection -------------------------------------------------------------------------------

X11Connection::X11Connection(rl::ReadinessWatcher& watcher, rl::RunLoop& runLoop, const char* display)
    : watcher_(watcher), runLoop_(runLoop) {
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(display, &screenNumber);
  if (xcb_connection_has_error(c) != 0) {
    xcb_disconnect(c);
    return;
  }
  xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && it.rem > 0; ++i) xcb_screen_next(&it);
  if (it.rem == 0) {
    xcb_disconnect(c);
    return;
  }
  connection_ = c;
  root_ = it.data->root;
  fd_ = xcb_get_file_descriptor(c);
  pending_ = std::make_shared<rl::RunLoopSource>([this] { dispatch(); });
  runLoop_.addSource(pending_);
  watcher_.watch(fd_, [this] { dispatch(); });
}

X11Connection::~X11Connection() {
  if (!connection_) return;
  if (fd_ >= 0) watcher_.unwatch(fd_);
  runLoop_.removeSource(pending_);
  pending_->invalidate();
  xcb_disconnect(connection_);
}

xcb_atom_t X11Connection::atom(const char* name) {
  if (!connection_) return XCB_ATOM_NONE;
  if (auto it = atoms_.find(name); it != atoms_.end()) return it->second;
  auto reply = owned(xcb_intern_atom_reply(
      connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
  const xcb_atom_t a = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
  if (reply) atoms_[name] = a;
  return a;
}

void X11Connection::dispatch() {
  if (!connection_ || fd_ < 0) return;
  while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
    const auto owner = owned(event);
    for (size_t i = 0; i < listeners_.size(); ++i) listeners_[i](*event);
  }
  // The server has gone (the session is ending): its descriptor would stay readable forever.
  if (xcb_connection_has_error(connection_) != 0) {
    watcher_.unwatch(fd_);
    fd_ = -1;
  }
}

// ---- the active window ------------------------------------------------------------------------

X11ActiveWindow::X11ActiveWindow(X11Connection& x, DesktopWorkspace& workspace) : x_(x), workspace_(workspace) {
  if (!x_.connected()) return;
  activeAtom_ = x_.atom("_NET_ACTIVE_WINDOW");
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) hostName_ = host;
  // Our own selection of the root's property changes; other clients keep theirs.
  const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
  // Checked: once it returns, no change of the active window can go unseen.
  std::free(xcb_request_check(x_.xcb(), xcb_change_window_attributes_checked(x_.xcb(), x_.root(),
                                                                              XCB_CW_EVENT_MASK, &mask)));
  x_.addListener([this](const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return;
    const auto& e = reinterpret_cast<const xcb_property_notify_event_t&>(event);
    if (e.window == x_.root() && e.atom == activeAtom_) activeWindowChanged();
  });
}

void X11ActiveWindow::activeWindowChanged() {
  xcb_connection_t* c = x_.xcb();
  const auto window = cardinalOf(c, xcb_get_property(c, 0, x_.root(), activeAtom_, XCB_ATOM_WINDOW, 0, 1));
  if (!window || *window == XCB_WINDOW_NONE) workspace_.windowActivated(std::nullopt, "x11");
  else workspace_.windowActivated(read(*window), "x11");
  x_.eventsMayBeQueued();
}

xdg::WindowHints X11ActiveWindow::read(xcb_window_t window) {
  xcb_connection_t* c = x_.xcb();
  // All four requests go out before the first reply is waited for: one round trip.
  const auto wmClass = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, kPropertyLengthLimit);
  const auto appId = xcb_get_property(c, 0, window, x_.atom("_GTK_APPLICATION_ID"), XCB_GET_PROPERTY_TYPE_ANY, 0,
                                      kPropertyLengthLimit);
  const auto pid = xcb_get_property(c, 0, window, x_.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 0, 1);
  const auto machine = xcb_get_property(c, 0, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_GET_PROPERTY_TYPE_ANY, 0,
                                        kPropertyLengthLimit);
  xdg::WindowHints hints;
  const std::string classes = bytesOf(c, wmClass);  // "instance\0class\0"
  hints.instance = untilNul(classes);
  if (classes.size() > hints.instance.size()) hints.windowClass = untilNul(classes.substr(hints.instance.size() + 1));
  hints.applicationId = untilNul(bytesOf(c, appId));
  const std::optional<uint32_t> processId = cardinalOf(c, pid);
  const std::string host = untilNul(bytesOf(c, machine));
  // A process number means something here only for a window of this machine.
  if (processId && *processId != 0 && (host.empty() || host == hostName_)) {
    hints.pid = *processId;
    xdg::addProcessProgram(hints, hints.pid);
  }
  return hints;
}

// ---- keyboard and mouse -------------------------------------------------------------------------

X11InputState::X11InputState(X11Connection& x) : x_(x) {
  if (!x_.connected()) return;
  readModifierMapping();
  x_.addListener([this](const xcb_generic_event_t& event) {
    if ((event.response_type & 0x7F) == XCB_MAPPING_NOTIFY) readModifierMapping();
  });
}

void X11InputState::readModifierMapping() {
  xcb_connection_t* c = x_.xcb();
  const xcb_setup_t* setup = xcb_get_setup(c);
  const auto modifiers = xcb_get_modifier_mapping(c);
  const auto keyboard = xcb_get_keyboard_mapping(c, setup->min_keycode,
                                                 static_cast<uint8_t>(setup->max_keycode - setup->min_keycode + 1));
  auto modReply = owned(xcb_get_modifier_mapping_reply(c, modifiers, nullptr));
  auto keyReply = owned(xcb_get_keyboard_mapping_reply(c, keyboard, nullptr));
  x_.eventsMayBeQueued();
  if (!modReply || !keyReply) return;
  const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(modReply.get());
  const int perModifier = modReply->keycodes_per_modifier;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(keyReply.get());
  const int symCount = xcb_get_keyboard_mapping_keysyms_length(keyReply.get());
  const int perCode = keyReply->keysyms_per_keycode;
  uint16_t option = 0, command = 0;
  for (int mod = 3; mod < 8; ++mod) {  // Mod1 .. Mod5
    for (int k = 0; k < perModifier; ++k) {
      const xcb_keycode_t code = codes[mod * perModifier + k];
      if (code == 0 || code < setup->min_keycode) continue;
      for (int level = 0; level < perCode; ++level) {
        const int index = (code - setup->min_keycode) * perCode + level;
        if (index >= symCount) break;
        const uint32_t s = syms[index];
        if (s == kAltL || s == kAltR || s == kMetaL || s == kMetaR || s == kLevel3Shift || s == kModeSwitch)
          option |= static_cast<uint16_t>(1u << mod);
        if (s == kSuperL || s == kSuperR || s == kHyperL || s == kHyperR) command |= static_cast<uint16_t>(1u << mod);
      }
    }
  }
  optionMask_ = option != 0 ? option : uint16_t{XCB_MOD_MASK_1};
  commandMask_ = command != 0 ? command : uint16_t{XCB_MOD_MASK_4};
}

std::optional<uint16_t> X11InputState::queryMask() {
  if (!x_.connected()) return std::nullopt;
  xcb_connection_t* c = x_.xcb();
  auto reply = owned(xcb_query_pointer_reply(c, xcb_query_pointer(c, x_.root()), nullptr));
  x_.eventsMayBeQueued();
  if (!reply) return std::nullopt;
  return reply->mask;
}

uint32_t X11InputState::GetCurrentKeyModifiers() {
  const std::optional<uint16_t> mask = queryMask();
  if (!mask) return 0;
  uint32_t classic = 0;
  if (*mask & XCB_MOD_MASK_SHIFT) classic |= 0x0200;
  if (*mask & XCB_MOD_MASK_LOCK) classic |= 0x0400;
  if (*mask & XCB_MOD_MASK_CONTROL) classic |= 0x1000;
  if (*mask & optionMask_) classic |= 0x0800;
  if (*mask & commandMask_) classic |= 0x0100;
  return classic;
}

uint32_t X11InputState::GetCurrentButtonState() {
  const std::optional<uint16_t> mask = queryMask();
  if (!mask) return 0;
  uint32_t buttons = 0;
  if (*mask & XCB_BUTTON_MASK_1) buttons |= 1u << 0;  // primary
  if (*mask & XCB_BUTTON_MASK_3) buttons |= 1u << 1;  // secondary
  if (*mask & XCB_BUTTON_MASK_2) buttons |= 1u << 2;  // middle
  return buttons;
}

}  // namespace sys
