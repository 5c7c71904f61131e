// Everything a VantrelActions needs, faked, with one device (connection 7) attached.
#pragma once

#include <string>

#include "helper/actions/tests/fake_action_host.h"
#include "helper/actions/vantrel_actions.h"
#include "platform/fake/fake_sleeper.h"
#include "platform/fake/fake_apple_events.h"
#include "platform/fake/fake_pasteboard.h"
#include "platform/fake/fake_script_runner.h"
#include "platform/fake/fake_snippets_menu.h"
#include "platform/fake/fake_workspace_actions.h"

struct ActionsWorld {
  static constexpr uint32_t kConnection = 7;

  explicit ActionsWorld(std::string home = "/nonexistent-home",
                        std::string resources = VANTREL_RESOURCE_DIR, uint32_t version = 0x1090)
      : actions(sys::actionServices(pasteboard, menu, workspace, scripts, events, sleeper),
                {std::move(home), std::move(resources), version}) {
    host.addDevice(kConnection);
  }

  // Assigns `button` to button 3 of the application profile and presses it.
  void press(const pl::DictRef& button) {
    host.bestProfile = ProfileWithButton(3, button);
    actions.buttonPressed(host, kConnection, 3);
  }
  void pressCommand(int64_t cmd) { press(ButtonDict(cmd)); }

  // The parameters of the keystroke requests sent so far.
  std::vector<int32_t> keystrokes() const {
    std::vector<int32_t> out;
    for (const auto& c : host.controls)
      if (c.code == driver::kControlKeystroke) out.push_back(c.param);
    return out;
  }
  bool nothingHappened() const {
    return host.controls.empty() && workspace.calls.empty() && scripts.sources.empty() &&
           events.sent.empty() && events.opened.empty() && menu.popUps == 0 &&
           pasteboard.changeCount == 0 && sleeper.sleeps.empty();
  }

  FakeActionHost host;
  sys::FakePasteboard pasteboard;
  sys::FakeSnippetsMenu menu;
  sys::FakeWorkspaceActions workspace;
  sys::FakeScriptRunner scripts;
  sys::FakeSleeper sleeper;
  sys::FakeAppleEventServices events{&sleeper};
  VantrelActions actions;
};
