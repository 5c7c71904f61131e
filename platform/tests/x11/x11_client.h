// Test support: an X11 client of the test's own, which makes windows with the hints
// applications set (WM_CLASS, _NET_WM_PID, WM_CLIENT_MACHINE, _GTK_APPLICATION_ID) and plays the
// window manager (the root's _NET_ACTIVE_WINDOW, the modifier mapping).
#pragma once

#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace testing_support {

class X11Client {
 public:
  X11Client() : c_(xcb_connect(nullptr, nullptr)) {
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
  }
  ~X11Client() { xcb_disconnect(c_); }

  xcb_atom_t atom(const char* name) {
    auto* r = xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r->atom;
    std::free(r);
    return a;
  }
  void set(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, uint8_t format, const void* data, uint32_t length) {
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, w, property, type, format, length, data);
  }
  void setText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& text) {
    set(w, property, type, 8, text.data(), static_cast<uint32_t>(text.size()));
  }
  // A window with these hints (empty ones are not set; pid 0 is not set).
  xcb_window_t window(const std::string& instance, const std::string& windowClass, uint32_t pid = 0,
                      const std::string& machine = {}, const std::string& gtkApplicationId = {}) {
    const xcb_window_t w = xcb_generate_id(c_);
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, w, root_, 0, 0, 100, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      XCB_COPY_FROM_PARENT, 0, nullptr);
    if (!instance.empty() || !windowClass.empty())
      setText(w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, instance + '\0' + windowClass + '\0');
    if (pid != 0) set(w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &pid, 1);
    if (!machine.empty()) setText(w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, machine);
    if (!gtkApplicationId.empty()) setText(w, atom("_GTK_APPLICATION_ID"), atom("UTF8_STRING"), gtkApplicationId);
    xcb_flush(c_);
    return w;
  }
  void activate(xcb_window_t w) {
    set(root_, atom("_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 32, &w, 1);
    xcb_flush(c_);
  }
  // Moves every key of modifier `from` (0 Shift .. 7 Mod5) to modifier `to`, as xmodmap would.
  bool moveModifierKeys(int from, int to) {
    auto* r = xcb_get_modifier_mapping_reply(c_, xcb_get_modifier_mapping(c_), nullptr);
    if (r == nullptr) return false;
    const int per = r->keycodes_per_modifier;
    std::vector<xcb_keycode_t> codes(xcb_get_modifier_mapping_keycodes(r), xcb_get_modifier_mapping_keycodes(r) + 8 * per);
    std::free(r);
    std::vector<xcb_keycode_t> moved;
    for (int k = 0; k < per; ++k) {
      if (codes[from * per + k] != 0) moved.push_back(codes[from * per + k]);
      codes[from * per + k] = 0;
    }
    for (int k = 0; k < per; ++k)
      if (codes[to * per + k] != 0) moved.push_back(codes[to * per + k]);
    const int newPer = std::max<int>(per, static_cast<int>(moved.size()));
    std::vector<xcb_keycode_t> mapping(8 * newPer, 0);
    for (int m = 0; m < 8; ++m)
      for (int k = 0; k < per; ++k) mapping[m * newPer + k] = m == to ? 0 : codes[m * per + k];
    for (size_t k = 0; k < moved.size(); ++k) mapping[to * newPer + static_cast<int>(k)] = moved[k];
    auto* set = xcb_set_modifier_mapping_reply(
        c_, xcb_set_modifier_mapping(c_, static_cast<uint8_t>(newPer), mapping.data()), nullptr);
    const bool ok = set != nullptr && set->status == XCB_MAPPING_STATUS_SUCCESS;
    std::free(set);
    return ok;
  }
  xcb_connection_t* xcb() { return c_; }

 private:
  xcb_connection_t* c_;
  xcb_window_t root_;
};

inline std::string hostName() {
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  return host;
}

}  // namespace testing_support
