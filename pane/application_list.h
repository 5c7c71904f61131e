// The applications the panel's application chooser offers, and what a choice tells about the
// application, by the identity contract of platform/linux/desktop_applications.h: the
// information dictionary the helper will see when the application comes to the front.
// Qt-free.
//
// Three kinds of application:
//   a desktop entry  "CFBundleIdentifier" = desktop id, "CFBundleName" = Name, "CFBundleExecutable"
//                    = the file name of Exec's program; localised "CFBundleName" = Name[lang];
//   a bundle folder  "<X>.app" with "Contents/Info.plist" (its keys as they are) and the localised
//                    "CFBundleName" of "Contents/Resources/<lang>.lproj/InfoPlist.strings";
//   a simulated one  an application of the device simulator's world, known by the four values
//                    the simulator activates it with.
// An entry or folder that cannot be read gives a choice without information dictionary.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/desktop_applications.h"
#include "platform/plist.h"

namespace appchoice {

enum class Source { DesktopEntry, BundleFolder, Simulated };

struct ChosenApplication {
  Source source = Source::DesktopEntry;
  // The desktop entry file or the bundle folder; "" for a simulated application.
  std::string path;
  // What sys::WorkspaceActions::launchApplication takes for it: the desktop id, the bundle
  // folder's path, or (simulated) the name.
  std::string launchName;
  // The name to show: the localised name, else the name, else the executable, else the path.
  std::string displayName;
  // The desktop entry's Icon (a theme name or an absolute path); "" when none.
  std::string icon;
  // "CFBundleIdentifier", "CFBundleName", "CFBundleExecutable", "CFBundleSignature", each only
  // when known and not empty; null when the entry or folder could not be read.
  pl::DictRef info;
  // "CFBundleName" in the user's language, when there is one; null otherwise.
  pl::DictRef localizedInfo;

  // The "target app" values this application gives a profile: keys of "target app" ("app bundle
  // id", "app bundle name", "app executable", "app signature") with the values of the information
  // dictionary, only those it has.
  pl::DictRef targetAppValues() const;
};

// A desktop application of the index.
ChosenApplication fromDesktopApplication(const sys::xdg::Application& app);
// A desktop entry file anywhere (its id is its file name without ".desktop"), with names for
// `locale`.
ChosenApplication fromDesktopEntryFile(const std::string& path, std::string_view locale);
// A bundle folder, localised for the first of `languages` that its InfoPlist tables have.
ChosenApplication fromBundleFolder(const std::string& path, const std::vector<std::string>& languages);
// A file or folder the user picked: a ".desktop" file, else a bundle folder.
ChosenApplication fromPath(const std::string& path, std::string_view locale);
// An application of the simulated world.
ChosenApplication simulatedApplication(const std::string& bundleID, const std::string& name,
                                       const std::string& executable, const std::string& signature,
                                       const std::string& bundlePath);

// The applications a user has: the index's entries that menus show (NoDisplay ones left out),
// sorted by display name without regard to case (then by id).
std::vector<ChosenApplication> desktopApplications(sys::xdg::ApplicationIndex& index);

// Sorts by display name, letter case ignored, then by launch name.
void sortByName(std::vector<ChosenApplication>& apps);

// Whether `query` (letter case ignored) is part of the application's display name, name,
// identifier or executable; an empty query matches everything.
bool matchesQuery(const ChosenApplication& app, std::string_view query);

}  // namespace appchoice
