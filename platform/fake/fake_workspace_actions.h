// A workspace for tests: it records what would have been opened or launched and answers with
// preset results. Nothing is ever opened or started.
#pragma once

#include <set>
#include <vector>

#include "platform/workspace_actions.h"

namespace sys {

class FakeWorkspaceActions final : public WorkspaceActions {
 public:
  struct Call {
    enum Kind { OpenFile, LaunchApplication, LaunchBundle, OpenURL } kind;
    std::string argument;
    uint32_t options = 0;
    bool operator==(const Call&) const = default;
  };

  bool openFile(const std::string& path) override {
    calls.push_back({Call::OpenFile, path, 0});
    return true;
  }
  bool launchApplication(const std::string& nameOrPath) override {
    calls.push_back({Call::LaunchApplication, nameOrPath, 0});
    return knownApplications.count(nameOrPath) > 0;
  }
  bool launchAppWithBundleIdentifier(const std::string& bundleID, uint32_t options) override {
    calls.push_back({Call::LaunchBundle, bundleID, options});
    return knownBundles.count(bundleID) > 0;
  }
  bool openURL(const std::string& url) override {
    calls.push_back({Call::OpenURL, url, 0});
    return true;
  }

  std::vector<Call> calls;
  std::set<std::string> knownApplications;  // names or paths that launch
  std::set<std::string> knownBundles;       // identifiers that launch
};

}  // namespace sys
