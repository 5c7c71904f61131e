// Opening items and web addresses and launching applications for button actions.
//
// The runtime backend (platform/qt/desktop_workspace_actions.h) works through desktop
// entries and the desktop's opener; the test double is platform/fake/fake_workspace_actions.h.
#pragma once

#include <cstdint>
#include <string>

namespace sys {

// Launch option: return at once, do not wait for the application to finish launching.
inline constexpr uint32_t kWorkspaceLaunchAsync = 0x10000;

class WorkspaceActions {
 public:
  virtual ~WorkspaceActions() = default;
  // Opens an existing file or folder (an absolute path) with its default application.
  virtual bool openFile(const std::string& path) = 0;
  // Launches an application given by name ("Calculator") or by path.
  virtual bool launchApplication(const std::string& nameOrPath) = 0;
  // Launches the application with this identifier (kWorkspaceLaunchAsync and other options).
  virtual bool launchAppWithBundleIdentifier(const std::string& bundleID, uint32_t options) = 0;
  // Opens a URL that has already been checked to be well formed.
  virtual bool openURL(const std::string& url) = 0;
};

}  // namespace sys
