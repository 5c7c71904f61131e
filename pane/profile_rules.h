// The rules behind the panel's profile menu, adding a profile for an application, restoring a
// profile's factory settings and the support information file. Qt-free; the controller's
// methods (controller_profiles.cpp, controller_support.cpp) only show what these compute.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pane/application_list.h"
#include "platform/plist.h"
#include "settings/protocol.h"

namespace profiles {

// The stored name of a device's global profile, shown as the localised "ALL_APPLICATIONS".
inline constexpr char kAllApplicationsName[] = "All Applications";

// The profiles of `settings` that belong to the device of `selectedDevice` (same "device product
// id" and "device version min", both as 16-bit values; missing counts as 0), global ones first,
// the others by "settings name" without regard to case (equal names keep their array order).
std::vector<pl::DictRef> profilesForMenu(const pl::ArrayRef& settings, const pl::DictRef& selectedDevice);

// A new profile for `app`: a deep copy of `shown` (null when there is none) with "driver
// enabled" set, "settings name" the localised name, else the name, else the executable (kept
// when there is none), and each "target app" value the application's information dictionary
// has (the others inherited from `shown`).
pl::DictRef newProfileForApplication(const pl::DictRef& shown, const appchoice::ChosenApplication& app);

// Replaces "buttons", "options" and "param" of `profile` by deep copies of the factory
// profile's (a key the factory profile lacks is removed). False, changing nothing, when either
// is null.
bool restoreFactorySettings(const pl::DictRef& profile, const pl::DictRef& factoryProfile);

// ---- support information ------------------------------------------------------------------
struct SystemDescription {
  std::string date;            // the current date and time as text
  std::string bundleVersion;   // the pane bundle's CFBundleVersion
  std::string systemVersion;   // the operating system's version text
};

// The "support" dictionary: "date", "driver version", "mac os version", "architecture" ("x64")
// and "connected devices", one dictionary per valid entry of `devices` in list order (ids and
// version as at least four lower-case hexadecimal digits, names up to their NUL, as UTF-8).
pl::DictRef supportDictionary(const SystemDescription& system, const protocol::DeviceList& devices);

// The user's desktop folder: XDG_DESKTOP_DIR of "$XDG_CONFIG_HOME/user-dirs.dirs" (~/.config
// when unset or not absolute; "$HOME/..." and absolute values), else "Desktop" under `home`.
std::string desktopFolder(const std::string& home, const std::string& configHome);
inline constexpr char kSupportFileName[] = "Vantrel Info.plist";

// Writes `prefs` with "support" added to `path` as an XML property list, atomically, creating the
// folder when it is missing; "support" is removed again whatever happens. False when the file
// could not be written (an earlier file is then left as it was).
bool writeSupportFile(const pl::DictRef& prefs, const pl::DictRef& support, const std::string& path);

// ---- links ----------------------------------------------------------------------------------
inline constexpr char kProductPageAddress[] = "http://www.halvorn.com/vantrel";
inline constexpr char kSupportSiteAddress[] = "http://support.halvorn.com/";
inline constexpr char kUninstallerPath[] = "/Applications/Utilities/Vantrel Uninstaller.app";
enum class LinkKind { None, URL, File };
struct Link {
  LinkKind kind = LinkKind::None;
  std::string target;
};
// What a link control's tag opens: 1 the product page, 2 the support site, 100 the uninstaller.
Link linkForTag(int tag);

}  // namespace profiles
