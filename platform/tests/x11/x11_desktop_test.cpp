// The X11 backends against a real X server: windows the test makes and activates by setting the
// root's _NET_ACTIVE_WINDOW as a window manager does, and keys and buttons pressed through XTEST
// (xdotool). Run inside tools/testing/desktop.py (CTest does); elsewhere every test is skipped,
// so that nothing reaches this machine's own display.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/linux/desktop_workspace.h"
#include "platform/linux/x11_desktop.h"
#include "platform/tests/temp_tree.h"
#include "platform/tests/x11/x11_client.h"

namespace {

bool inPrivateDesktop() { return std::getenv("VANTREL_PRIVATE_DESKTOP") != nullptr; }

void run(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

class X11Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!inPrivateDesktop()) GTEST_SKIP() << "needs tools/testing/desktop.py run";
    tree.write("apps/org.example.Editor.desktop",
               "[Desktop Entry]\nType=Application\nName=Editor\nExec=/opt/editor/bin/edit %F\n"
               "StartupWMClass=ExampleEditor\n");
    tree.write("apps/org.example.Gtk.desktop", "[Desktop Entry]\nType=Application\nName=Gtk App\nExec=gtk-app\n");
    ASSERT_TRUE(x.connected());
    workspace.addActivationObserver([this](const sys::RunningApplication* app) {
      ASSERT_NE(app, nullptr);
      const pl::DictRef info = app->bundleURL ? bundles.infoDictionary(*app->bundleURL) : nullptr;
      seen.push_back(app->bundleIdentifier.value_or("") + "|" +
                     (info ? info->stringValue("CFBundleName") + "|" + info->stringValue("CFBundleExecutable") : "-"));
    });
  }

  sys::xdg::DesktopFolders folders() {
    sys::xdg::DesktopFolders f;
    f.applications = {tree.path("apps")};
    return f;
  }

  // Reads the connection until `done` or two seconds passed.
  bool waitFor(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done() && std::chrono::steady_clock::now() < end) {
      watcher.wait(std::chrono::milliseconds(20));
      loop.runPending();
    }
    return done();
  }
  // Whether the input state reads `wanted` within two seconds.
  bool modifiersBecome(sys::X11InputState& input, uint32_t wanted) {
    return waitFor([&] { return input.GetCurrentKeyModifiers() == wanted; });
  }

  testing_support::TempTree tree;
  rl::PollReadinessWatcher watcher;
  rl::ManualRunLoop loop;
  sys::X11Connection x{watcher, loop};
  sys::xdg::ApplicationIndex index{folders()};
  sys::DesktopWorkspace workspace{index};
  sys::DesktopBundleReader bundles{workspace};
  std::vector<std::string> seen;
  testing_support::X11Client client;
};

TEST_F(X11Desktop, ActiveWindowChangesAreActivations) {
  const xcb_window_t editor1 = client.window("edit", "ExampleEditor", static_cast<uint32_t>(::getpid()), testing_support::hostName());
  const xcb_window_t editor2 = client.window("edit", "ExampleEditor", static_cast<uint32_t>(::getpid()), testing_support::hostName());
  const xcb_window_t gtk = client.window("gtk-app", "Gtk-app", 0, {}, "org.example.Gtk");
  const xcb_window_t remote = client.window("xterm", "XTerm", static_cast<uint32_t>(::getpid()), "elsewhere");
  // The window active when the watch begins is not announced.
  client.activate(gtk);
  watcher.wait(std::chrono::milliseconds(100));
  sys::X11ActiveWindow active(x, workspace);

  client.activate(editor1);
  ASSERT_TRUE(waitFor([&] { return seen.size() == 1; }));
  EXPECT_EQ(seen.back(), "org.example.Editor|Editor|edit");
  EXPECT_EQ(workspace.lastActivation().hints.pid, static_cast<uint32_t>(::getpid()));
  EXPECT_FALSE(workspace.lastActivation().hints.programPath.empty());  // this test program
  EXPECT_EQ(workspace.lastActivation().matchedBy, "StartupWMClass");

  client.activate(editor2);  // another window of the same application and process
  client.activate(gtk);
  ASSERT_TRUE(waitFor([&] { return seen.size() == 2; }));
  EXPECT_EQ(seen.back(), "org.example.Gtk|Gtk App|gtk-app");

  // Another machine's window: its process number means nothing here.
  client.activate(remote);
  ASSERT_TRUE(waitFor([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen.back(), "|XTerm|xterm");
  EXPECT_EQ(workspace.lastActivation().hints.pid, 0u);

  // No active window; then a window that is gone before it is read.
  client.activate(XCB_WINDOW_NONE);
  ASSERT_TRUE(waitFor([&] { return seen.size() == 4; }));
  EXPECT_EQ(seen.back(), "|-");
  const xcb_window_t gone = client.window("short", "Short");
  xcb_destroy_window(client.xcb(), gone);
  client.activate(gone);
  ASSERT_TRUE(waitFor([&] { return seen.size() == 5; }));
  EXPECT_EQ(seen.back(), "||");  // a window that tells nothing
  EXPECT_EQ(seen.size(), 5u);
}

TEST_F(X11Desktop, HeldModifiersAndButtonsFollowTheKeyboardMapping) {
  sys::X11InputState input(x);
  run("setxkbmap -layout us");
  ASSERT_TRUE(modifiersBecome(input, 0));
  const std::pair<const char*, uint32_t> keys[] = {
      {"Shift_L", 0x0200}, {"Control_R", 0x1000}, {"Alt_L", 0x0800}, {"Super_L", 0x0100}, {"ISO_Level3_Shift", 0x0800}};
  for (const auto& [key, classic] : keys) {
    run(std::string("xdotool keydown ") + key);
    EXPECT_TRUE(modifiersBecome(input, classic)) << key << ": " << input.GetCurrentKeyModifiers();
    run(std::string("xdotool keyup ") + key);
    EXPECT_TRUE(modifiersBecome(input, 0)) << key;
  }
  run("xdotool keydown Shift_L keydown Super_R");
  EXPECT_TRUE(modifiersBecome(input, 0x0300));
  run("xdotool keyup Super_R keyup Shift_L");
  run("xdotool key Caps_Lock");
  EXPECT_TRUE(modifiersBecome(input, 0x0400));
  run("xdotool key Caps_Lock");
  EXPECT_TRUE(modifiersBecome(input, 0));

  EXPECT_EQ(input.GetCurrentButtonState(), 0u);
  run("xdotool mousedown 1");
  EXPECT_TRUE(waitFor([&] { return input.GetCurrentButtonState() == 1; }));
  run("xdotool mousedown 3");
  EXPECT_TRUE(waitFor([&] { return input.GetCurrentButtonState() == 3; }));
  run("xdotool mouseup 1 mouseup 3 mousedown 2");
  EXPECT_TRUE(waitFor([&] { return input.GetCurrentButtonState() == 4; }));
  run("xdotool mouseup 2");

  // Super moved from Mod4 to Mod3: the new mapping is read when the server announces it.
  ASSERT_TRUE(client.moveModifierKeys(6, 5));
  run("xdotool keydown Super_L");
  EXPECT_TRUE(modifiersBecome(input, 0x0100)) << "Super on Mod3: " << input.GetCurrentKeyModifiers();
  run("xdotool keyup Super_L");
}

}  // namespace
