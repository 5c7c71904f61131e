// Runtime backends of the button actions' platform services that act in the device simulator
// while it is on the session bus (nothing reaches this machine's power management, browser,
// clipboard owner or script host) and hand over to another backend while it is not:
//   SimAppleEventServices  processes, opening applications by creator, Apple events
//   SimScriptRunner        scripts
//   SimWorkspaceActions    opening items and web addresses, launching applications
//   SimPasteboard          the general pasteboard
//   SimSnippetsMenu        the snippets pop-up menu (the simulator picks the item)
#pragma once

#include <array>
#include <vector>

#include "platform/apple_events.h"
#include "sim/client/sim_link.h"
#include "platform/pasteboard.h"
#include "platform/script_runner.h"
#include "platform/snippets_menu.h"
#include "platform/workspace_actions.h"

namespace simbus {

class SimAppleEventServices final : public sys::AppleEventServices {
 public:
  SimAppleEventServices(SimLink& link, sys::AppleEventServices& fallback) : link_(link), fallback_(fallback) {}
  int32_t getNextProcess(sys::ProcessSerialNumber* psn) override;
  int32_t getProcessSignature(const sys::ProcessSerialNumber& psn, uint32_t* signature) override;
  int32_t openApplicationWithCreator(uint32_t creator) override;
  int32_t sendAppleEvent(const sys::AppleEvent& event) override;

 private:
  struct Process {
    sys::ProcessSerialNumber psn;
    uint32_t signature = 0;
  };
  bool refresh();

  SimLink& link_;
  sys::AppleEventServices& fallback_;
  std::vector<Process> processes_;  // taken when a walk starts
};

class SimScriptRunner final : public sys::ScriptRunner {
 public:
  SimScriptRunner(SimLink& link, sys::ScriptRunner& fallback) : link_(link), fallback_(fallback) {}
  int32_t runAppleScript(const std::string& source) override;

 private:
  SimLink& link_;
  sys::ScriptRunner& fallback_;
};

class SimWorkspaceActions final : public sys::WorkspaceActions {
 public:
  SimWorkspaceActions(SimLink& link, sys::WorkspaceActions& fallback) : link_(link), fallback_(fallback) {}
  bool openFile(const std::string& path) override;
  bool launchApplication(const std::string& nameOrPath) override;
  bool launchAppWithBundleIdentifier(const std::string& bundleID, uint32_t options) override;
  bool openURL(const std::string& url) override;

 private:
  bool ask(const char* method, const QList<QVariant>& args);
  SimLink& link_;
  sys::WorkspaceActions& fallback_;
};

class SimPasteboard final : public sys::Pasteboard {
 public:
  SimPasteboard(SimLink& link, sys::Pasteboard& fallback) : link_(link), fallback_(fallback) {}
  std::vector<std::string> types() const override;
  std::optional<std::vector<uint8_t>> dataForType(const std::string& type) const override;
  void declareTypes(const std::vector<std::string>& types) override;
  bool setData(const std::vector<uint8_t>& data, const std::string& type) override;

 private:
  SimLink& link_;
  sys::Pasteboard& fallback_;
};

class SimSnippetsMenu final : public sys::SnippetsMenu {
 public:
  SimSnippetsMenu(SimLink& link, sys::SnippetsMenu& fallback);
  std::string itemTitle(int index) const override;
  void setItemTitle(int index, const std::string& title) override;
  std::optional<int> popUpAtMouseLocation() override;

 private:
  SimLink& link_;
  sys::SnippetsMenu& fallback_;
  std::array<std::string, kItemCount> titles_;
};

}  // namespace simbus
