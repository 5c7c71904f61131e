// The applications of a Linux desktop and the identity profiles know them by. Qt-free; shared by
// the helper (which application is in front) and the panel's application chooser, so that both
// name an application the same way.
//
// The identity contract. An application with a desktop entry is known by:
//   "app bundle id"    its desktop entry id without ".desktop" ("org.gnome.Calculator"; an entry
//                      in a sub-folder "kde4/kate.desktop" is "kde4-kate"),
//   "app bundle name"  the entry's Name (the id when it has none),
//   localised name     Name[lang] for the user's locale (for display; profiles never match it),
//   "app executable"   the file name of the program its Exec starts ("gnome-calculator"),
//   "app signature"    none.
// An application without a desktop entry (a program started from a terminal) has no bundle id;
// its name is its window class, its executable the file name of its program. The settings host
// that stands in for System Preferences (desktop id, window class and program
// "vantrel-settings") is known as bundle id "com.apple.systempreferences", signature "sprf":
// raw state reports go to the pane while it is in front.
//
// Application folders: $XDG_DATA_HOME/applications (~/.local/share when unset or not absolute),
// then each of $XDG_DATA_DIRS (/usr/local/share:/usr/share) + "/applications"; the first folder
// that has an id decides it (an entry there that says Hidden=true hides the id altogether).
// Entries of another Type, unreadable files and anything deeper than four sub-folders or beyond
// 20000 files are left out.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/plist.h"

namespace sys::xdg {

inline constexpr char kSettingsHostId[] = "vantrel-settings";
inline constexpr char kSystemPreferencesBundleId[] = "com.apple.systempreferences";
inline constexpr char kSystemPreferencesSignature[] = "sprf";

// One application the desktop knows of.
struct Application {
  std::string id;             // desktop id without ".desktop"
  std::string path;           // the entry file
  std::string name;           // Name
  std::string localizedName;  // Name for the index's locale (Name when it has none for it)
  std::string program;        // the program Exec starts, as written; "" when none
  std::string startupWMClass;
  std::string icon;
  std::vector<std::string> mimeTypes;
  bool noDisplay = false;
};

// What a window tells about the program that shows it.
struct WindowHints {
  std::string instance;       // WM_CLASS instance / KWin resource name
  std::string windowClass;    // WM_CLASS class / KWin resource class
  std::string applicationId;  // _GTK_APPLICATION_ID, or the desktop file name KWin knows
  uint32_t pid = 0;           // 0: unknown
  std::string programPath;    // what /proc/PID/exe points at
  std::string argv0;          // the program as it was started (first argument)
};

// Adds the program of process `pid` (its executable and first argument, from /proc) to the
// hints; nothing when the process is gone or not readable.
void addProcessProgram(WindowHints& hints, uint32_t pid, std::string_view procRoot = "/proc");

struct ApplicationIdentity {
  std::string bundleIdentifier;
  std::string name;
  std::string localizedName;
  std::string executable;
  std::string signature;
  bool operator==(const ApplicationIdentity&) const = default;
};

ApplicationIdentity identityOf(const Application& app);
// An application that has no desktop entry, from its window alone.
ApplicationIdentity identityOfWindow(const WindowHints& hints);
// The information dictionary front-application tracking reads: CFBundleIdentifier,
// CFBundleName, CFBundleDisplayName (the localised name), CFBundleExecutable and
// CFBundleSignature, each only when not empty.
pl::DictRef infoDictionaryOf(const ApplicationIdentity& identity);

// Where the desktop keeps applications and its lists of default applications.
struct DesktopFolders {
  std::vector<std::string> applications;  // most important first
  std::vector<std::string> mimeappsFolders;  // folders holding "mimeapps.list", most important first
  std::vector<std::string> desktops;      // $XDG_CURRENT_DESKTOP, lower case ("kde", "gnome")
  std::string searchPath;                 // $PATH
  std::string locale;                     // for the localised names
  // The user's, from the environment.
  static DesktopFolders user();
};

class ApplicationIndex {
 public:
  explicit ApplicationIndex(DesktopFolders folders = DesktopFolders::user());

  // Reads the folders again when one of them changed since they were last read; the first use
  // of any lookup reads them.
  void refresh();
  const std::vector<Application>& applications();  // most important folder first, then by id
  const Application* byId(std::string_view id);
  // The application whose id or Name is `name`, letter case ignored (ids first).
  const Application* byName(std::string_view name);
  // The application that shows a window, tried in this order, each step preferring entries
  // shown in menus: the application id (a desktop file name, path or ".desktop" allowed); the
  // StartupWMClass equal to the window class or instance (exactly, then letter case ignored);
  // the id, or its last dot-separated part, equal to the class or instance (letter case
  // ignored); the file name of the program Exec starts equal to that of the window's program
  // or instance. `how` says which step found it.
  const Application* forWindow(const WindowHints& hints, std::string* how = nullptr);
  // The default application for a MIME type: the first listed application of "Default
  // Applications" in the "<desktop>-mimeapps.list" and "mimeapps.list" files of the folders, in
  // order; else of "Added Associations"; else the first application whose MimeType has it.
  const Application* defaultFor(std::string_view mimeType);

  const DesktopFolders& folders() const { return folders_; }

 private:
  void load();
  bool changed() const;

  DesktopFolders folders_;
  bool loaded_ = false;
  std::vector<Application> apps_;
  std::map<std::string, size_t, std::less<>> byId_;
  std::vector<std::pair<std::string, int64_t>> stamps_;  // folders read, with their change time
};

}  // namespace sys::xdg
