// The settings host's side of a preference pane bundle: where it looks for one, and loading it
// (pane/preference_pane.h says what a pane bundle holds and how a host drives it).
//
// Loading reads "Contents/Info.plist" of the bundle folder, opens its shared object
// "Contents/MacOS/<CFBundleExecutable>" (dlopen, every symbol bound at once), looks up the
// C function "<NSPrincipalClass>Create", creates the pane with it and calls initWithBundle.
// Every step that fails gives a LoadFailure instead: nothing here aborts or throws.
//
// The shared object stays loaded until the process ends, also after the pane object is gone:
// Qt may still hold its types and the pane's code may have left static objects behind.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pane/preference_pane.h"
#include "platform/bundle.h"

namespace settingshost {

inline constexpr char kPaneBundleName[] = "VantrelPrefPane.prefPane";

// The bundle folders tried, in order, when none is named on the command line, for a host program
// that lies in `programDir`: "<programDir>/VantrelPrefPane.prefPane" (the build tree, where host
// and bundle lie side by side), then "<programDir>/../lib/vantrel/VantrelPrefPane.prefPane" (an
// installation under a prefix).
std::vector<std::string> defaultPaneLocations(const std::string& programDir);
// The first of `locations` that is a folder; "" when none is.
std::string firstExistingFolder(const std::vector<std::string>& locations);

struct LoadFailure {
  enum class Kind {
    NoBundle,          // no folder at `path` (or none of the default locations)
    NoInfoDictionary,  // Contents/Info.plist missing or not a dictionary
    NoExecutable,      // no usable CFBundleExecutable, or no file by that name
    CannotOpen,        // dlopen failed (`detail`: the loader's message)
    NoPrincipalClass,  // NSPrincipalClass missing or not a C identifier
    NoCreateFunction,  // the shared object lacks "<NSPrincipalClass>Create" (`detail`: the name)
    CreateFailed,      // the create function gave no object (or threw)
    InitFailed,        // initWithBundle answered false (or threw)
    NoMainView,        // loadMainView gave no view (or threw)
  };
  Kind kind;
  std::string path;    // the bundle folder, or the shared object for CannotOpen / NoCreateFunction
  std::string detail;
};

// What the user is told: a headline and the reason, in the user's language (English or German).
struct FailureText {
  std::string headline;
  std::string reason;
};
FailureText describeFailure(const LoadFailure& failure, const std::vector<std::string>& searched = {});

// A pane created from its bundle and initialised with it. Deleting it deletes the pane object
// (not its main view, which belongs to the host's window once loaded).
class LoadedPane {
 public:
  // Loads the bundle folder at `bundlePath` (absolute). On failure nothing, and `*failure` says why.
  static std::unique_ptr<LoadedPane> load(const std::string& bundlePath, LoadFailure* failure);

  ~LoadedPane();
  LoadedPane(const LoadedPane&) = delete;
  LoadedPane& operator=(const LoadedPane&) = delete;

  PreferencePane& pane() { return *fPane; }
  const platform::Bundle& bundle() const { return fBundle; }

 private:
  LoadedPane(platform::Bundle bundle, PreferencePane* pane) : fBundle(std::move(bundle)), fPane(pane) {}

  platform::Bundle fBundle;
  std::unique_ptr<PreferencePane> fPane;
};

}  // namespace settingshost
