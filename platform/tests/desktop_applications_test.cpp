#include "platform/linux/desktop_applications.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>

#include "platform/linux/desktop_workspace.h"
#include "platform/tests/temp_tree.h"

namespace {

using sys::xdg::Application;
using sys::xdg::ApplicationIndex;
using sys::xdg::DesktopFolders;
using sys::xdg::WindowHints;
using testing_support::TempTree;

// A window's hints (designated initializers would leave the rest unnamed).
WindowHints window(std::string instance, std::string windowClass, std::string applicationId = {},
                   std::string programPath = {}, std::string argv0 = {}, uint32_t pid = 0) {
  WindowHints h;
  h.instance = std::move(instance);
  h.windowClass = std::move(windowClass);
  h.applicationId = std::move(applicationId);
  h.programPath = std::move(programPath);
  h.argv0 = std::move(argv0);
  h.pid = pid;
  return h;
}

std::string entry(const std::string& name, const std::string& exec, const std::string& extra = {}) {
  return "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec + "\n" + extra;
}

class Applications : public ::testing::Test {
 protected:
  TempTree tree;
  std::string user = tree.folder("home/.local/share/applications");
  std::string system = tree.folder("usr/share/applications");
  std::string config = tree.folder("home/.config");

  DesktopFolders folders() {
    DesktopFolders f;
    f.applications = {user, system};
    f.mimeappsFolders = {config, user, system};
    f.desktops = {"kde"};
    f.searchPath = "/usr/bin:/bin";
    f.locale = "de_DE.UTF-8";
    return f;
  }
  ApplicationIndex index{folders()};

  std::string idOf(const Application* a) { return a ? a->id : "<none>"; }
  std::string forWindow(const WindowHints& h, std::string* how = nullptr) { return idOf(index.forWindow(h, how)); }
};

TEST_F(Applications, IdsFollowFoldersInOrder) {
  tree.write("usr/share/applications/org.example.Calc.desktop",
             entry("Calculator", "calc", "Name[de]=Rechner\n"));
  tree.write("usr/share/applications/kde4/kate.desktop", entry("Kate", "kate"));
  tree.write("usr/share/applications/org.example.Gone.desktop", entry("Gone", "gone"));
  tree.write("usr/share/applications/link.desktop", "[Desktop Entry]\nType=Link\nName=Web\n");
  tree.write("usr/share/applications/broken.desktop", "not an entry");
  tree.write("usr/share/applications/readme.txt", entry("Text", "text"));
  tree.write("usr/share/applications/org.example.Tool.desktop", entry("System Tool", "tool"));
  // The user's folder decides an id first: its own entry, or a deletion.
  tree.write("home/.local/share/applications/org.example.Tool.desktop", entry("My Tool", "mytool", "NoDisplay=true\n"));
  tree.write("home/.local/share/applications/org.example.Gone.desktop", "[Desktop Entry]\nHidden=true\n");

  std::vector<std::string> ids;
  for (const Application& a : index.applications()) ids.push_back(a.id);
  EXPECT_EQ(ids, (std::vector<std::string>{"org.example.Tool", "kde4-kate", "org.example.Calc"}));
  const Application* calc = index.byId("org.example.Calc");
  ASSERT_NE(calc, nullptr);
  EXPECT_EQ(calc->localizedName, "Rechner");
  EXPECT_EQ(calc->program, "calc");
  EXPECT_EQ(index.byId("org.example.Tool")->name, "My Tool");
  EXPECT_EQ(idOf(index.byId("org.example.Gone")), "<none>");
  EXPECT_EQ(idOf(index.byName("KATE")), "kde4-kate");
  EXPECT_EQ(idOf(index.byName("calculator")), "org.example.Calc");
  EXPECT_EQ(idOf(index.byName("")), "<none>");

  // A new entry is seen once its folder changed; nothing is read again otherwise.
  tree.write("home/.local/share/applications/org.example.New.desktop", entry("New", "new"));
  const timespec later[2] = {{std::time(nullptr) + 5, 0}, {std::time(nullptr) + 5, 0}};
  ::utimensat(AT_FDCWD, user.c_str(), later, 0);
  EXPECT_EQ(idOf(index.byId("org.example.New")), "org.example.New");
}

TEST_F(Applications, WindowsFindTheirEntries) {
  tree.write("usr/share/applications/org.gnome.Nautilus.desktop",
             entry("Files", "nautilus --new-window %U", "StartupWMClass=org.gnome.Nautilus\n"));
  tree.write("usr/share/applications/org.gnome.gedit.desktop", entry("Text Editor", "gedit %U"));
  tree.write("usr/share/applications/firefox-esr.desktop", entry("Firefox ESR", "/usr/lib/firefox-esr/firefox-esr %u"));
  tree.write("usr/share/applications/helper-a.desktop",
             entry("Helper A", "env A=1 helper", "NoDisplay=true\nStartupWMClass=Helper\n"));
  tree.write("usr/share/applications/helper-b.desktop", entry("Helper B", "helper", "StartupWMClass=helper\n"));
  tree.write("usr/share/applications/wm-lower.desktop", entry("Lower", "lower", "StartupWMClass=tool\n"));

  std::string how;
  // The application id, also as a file name or path.
  EXPECT_EQ(forWindow(window("", "", "org.gnome.gedit"), &how), "org.gnome.gedit");
  EXPECT_EQ(how, "application id");
  EXPECT_EQ(forWindow(window("", "", "/usr/share/applications/firefox-esr.desktop")), "firefox-esr");
  EXPECT_EQ(forWindow(window("", "", "ORG.GNOME.GEDIT.desktop")), "org.gnome.gedit");
  // StartupWMClass: exactly first (so "helper" is Helper B), a shown entry before a hidden one.
  EXPECT_EQ(forWindow(window("org.gnome.Nautilus", "Org.gnome.Nautilus"), &how),
            "org.gnome.Nautilus");
  EXPECT_EQ(how, "StartupWMClass");
  EXPECT_EQ(forWindow(window("helper", "Helper")), "helper-a");
  EXPECT_EQ(forWindow(window("helper", "Other")), "helper-b");
  EXPECT_EQ(forWindow(window("", "TOOL")), "wm-lower");
  // The id, whole or its last part, against class and instance.
  EXPECT_EQ(forWindow(window("firefox-esr", "Firefox-esr"), &how), "firefox-esr");
  EXPECT_EQ(how, "desktop id");
  EXPECT_EQ(forWindow(window("gedit", "Gedit")), "org.gnome.gedit");
  // The program: of the process, as started, or the instance.
  EXPECT_EQ(forWindow(window("", "Navigator", "", "/usr/lib/firefox-esr/firefox-esr"), &how),
            "firefox-esr");
  EXPECT_EQ(how, "program");
  EXPECT_EQ(forWindow(window("", "", "", "/usr/bin/python3.11", "/usr/bin/nautilus")), "org.gnome.Nautilus");
  EXPECT_EQ(forWindow(window("xterm", "XTerm", "", "/usr/bin/xterm")), "<none>");
  EXPECT_EQ(forWindow(WindowHints{}), "<none>");
}

TEST_F(Applications, IdentityContract) {
  tree.write("usr/share/applications/org.example.Calc.desktop",
             entry("Calculator", "env LANG=C /opt/calc/bin/calculator --x", "Name[de]=Rechner\n"));
  tree.write("usr/share/applications/vantrel-settings.desktop", entry("Vantrel Settings", "vantrel-settings"));
  tree.write("usr/share/applications/nameless.desktop", "[Desktop Entry]\nType=Application\n");

  const auto calc = sys::xdg::identityOf(*index.byId("org.example.Calc"));
  EXPECT_EQ(calc, (sys::xdg::ApplicationIdentity{"org.example.Calc", "Calculator", "Rechner", "calculator", ""}));
  const auto nameless = sys::xdg::identityOf(*index.byId("nameless"));
  EXPECT_EQ(nameless.name, "nameless");
  EXPECT_EQ(nameless.executable, "");

  // The settings host stands for System Preferences, with or without its entry.
  const auto host = sys::xdg::identityOf(*index.byId("vantrel-settings"));
  EXPECT_EQ(host.bundleIdentifier, "com.apple.systempreferences");
  EXPECT_EQ(host.signature, "sprf");
  EXPECT_EQ(host.name, "Vantrel Settings");
  EXPECT_EQ(sys::xdg::identityOfWindow(window("vantrel-settings", "Vantrel-settings"))
                .bundleIdentifier,
            "com.apple.systempreferences");
  EXPECT_EQ(sys::xdg::identityOfWindow(window("", "", "", "/opt/v/vantrel-settings")).signature, "sprf");

  // Without an entry: the class names it, the program is its executable.
  EXPECT_EQ(sys::xdg::identityOfWindow(window("xterm", "XTerm", "", "/usr/bin/xterm")),
            (sys::xdg::ApplicationIdentity{"", "XTerm", "XTerm", "xterm", ""}));
  EXPECT_EQ(sys::xdg::identityOfWindow(window("prog", "")).name, "prog");
  EXPECT_EQ(sys::xdg::identityOfWindow(window("prog", "")).executable, "prog");

  const pl::DictRef info = sys::xdg::infoDictionaryOf(calc);
  EXPECT_EQ(info->stringValue("CFBundleIdentifier"), "org.example.Calc");
  EXPECT_EQ(info->stringValue("CFBundleName"), "Calculator");
  EXPECT_EQ(info->stringValue("CFBundleDisplayName"), "Rechner");
  EXPECT_EQ(info->stringValue("CFBundleExecutable"), "calculator");
  EXPECT_FALSE(info->contains("CFBundleSignature"));
}

TEST_F(Applications, DefaultApplicationsFollowTheListsInOrder) {
  for (const char* id : {"a", "b", "c", "d"})
    tree.write(std::string("usr/share/applications/") + id + ".desktop",
               entry(id, id, std::string("MimeType=audio/ogg;") + (id[0] == 'c' ? "audio/flac;" : "") + "\n"));
  tree.write("usr/share/applications/mimeapps.list", "[Default Applications]\naudio/mpeg=b.desktop\n");
  tree.write("home/.config/mimeapps.list",
             "[Default Applications]\naudio/mpeg=gone.desktop;a.desktop;\n[Added Associations]\naudio/wav=d.desktop\n");
  EXPECT_EQ(idOf(index.defaultFor("audio/mpeg")), "a");  // the user's list, past what is not installed
  tree.write("home/.config/kde-mimeapps.list", "[Default Applications]\naudio/mpeg=c.desktop\n");
  EXPECT_EQ(idOf(index.defaultFor("audio/mpeg")), "c");  // the desktop's own list first
  EXPECT_EQ(idOf(index.defaultFor("audio/wav")), "d");
  EXPECT_EQ(idOf(index.defaultFor("audio/flac")), "c");  // only c handles it
  EXPECT_EQ(idOf(index.defaultFor("audio/ogg")), "a");
  EXPECT_EQ(idOf(index.defaultFor("video/mp4")), "<none>");
}

TEST(ProcessPrograms, ComeFromProc) {
  TempTree proc;
  proc.folder("42");
  ASSERT_EQ(::symlink("/usr/bin/tool (deleted)", proc.path("42/exe").c_str()), 0);
  proc.write("42/cmdline", std::string("tool\0--flag\0", 12));
  WindowHints h;
  sys::xdg::addProcessProgram(h, 42, proc.root());
  EXPECT_EQ(h.programPath, "/usr/bin/tool");  // an updated program is still the program
  EXPECT_EQ(h.argv0, "tool");
  WindowHints gone;
  sys::xdg::addProcessProgram(gone, 43, proc.root());
  sys::xdg::addProcessProgram(gone, 0, proc.root());
  EXPECT_EQ(gone.programPath, "");
  EXPECT_EQ(gone.argv0, "");
}

TEST_F(Applications, WorkspaceAnnouncesApplicationsNotWindows) {
  tree.write("usr/share/applications/org.example.Calc.desktop", entry("Calculator", "calc"));
  sys::DesktopWorkspace workspace(index);
  sys::DesktopBundleReader bundles(workspace);
  std::vector<std::string> seen;  // "bundle id|URL|executable URL|name"
  const int token = workspace.addActivationObserver([&](const sys::RunningApplication* app) {
    ASSERT_NE(app, nullptr);
    const pl::DictRef info = app->bundleURL ? bundles.infoDictionary(*app->bundleURL) : nullptr;
    seen.push_back(app->bundleIdentifier.value_or("") + "|" + app->bundleURL.value_or("") + "|" +
                   app->executableURL.value_or("") + "|" + (info ? info->stringValue("CFBundleName") : "-"));
  });
  const WindowHints calc = window("calc", "Calc", "", "/opt/my calc", "", 7);
  workspace.windowActivated(calc, "x11");
  workspace.windowActivated(calc, "x11");  // another window of it
  WindowHints second = calc;
  second.pid = 8;
  workspace.windowActivated(second, "x11");  // another process of it
  workspace.windowActivated(std::nullopt, "x11");
  workspace.windowActivated(std::nullopt, "x11");
  workspace.windowActivated(window("xterm", "XTerm"), "kwin");
  workspace.removeActivationObserver(token);
  workspace.windowActivated(calc, "x11");

  const std::string calcEntry = "file://" + tree.path("usr/share/applications/org.example.Calc.desktop");
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "org.example.Calc|" + calcEntry + "|file:///opt/my%20calc|Calculator",
                      "org.example.Calc|" + calcEntry + "|file:///opt/my%20calc|Calculator",
                      "|||-",
                      "|file:///XTerm||XTerm",
                  }));
  EXPECT_EQ(workspace.lastActivation().matchedBy, "desktop id");
  EXPECT_EQ(workspace.lastActivation().source, "x11");
  // URLs it never handed out are bundles.
  EXPECT_EQ(bundles.infoDictionary("file:///nowhere/App.app/"), nullptr);
}

}  // namespace
