// The helper's platform on this machine: the device simulator's services while it is on the
// session bus, the given base services (the machine's, platform/qt/runtime_platform.h) while it is
// not. The driver's services exist only in the simulator. A simulator started with --driver-only
// stands in for the driver alone: the operating system's services are then the base's, so the
// simulated devices follow the real desktop. The process list is that of the base, narrowed to
// this login session. The session, the keys and buttons held and accessibility are read from the
// mirror of the simulator's system state, which the driver world keeps in step with the
// driver's events.
#pragma once

#include <QDBusConnection>

#include "platform/dbus/session_processes.h"
#include "platform/iokit.h"
#include "platform/system_services.h"
#include "sim/client/sim_actions.h"
#include "sim/client/sim_driver_world.h"
#include "sim/client/sim_link.h"
#include "sim/client/sim_system.h"
#include "sim/sim_names.h"

namespace simbus {

class SimRuntime {
 public:
  // Make it after the QCoreApplication, on the main thread. `base` must be complete for the
  // helper and the actions and outlive it.
  explicit SimRuntime(const sys::Platform& base, const QDBusConnection& bus = QDBusConnection::sessionBus())
      : link(bus),
        systemLink(bus, nullptr, kSystemService),
        system(systemLink),
        world(link, &system),
        iokit(world),
        session(system, *base.session),
        input(system, *base.input),
        accessibility(system, *base.accessibility),
        display(systemLink, *base.display),
        workspace(systemLink, infos, *base.workspace),
        bundles(infos, *base.bundles),
        processes(*base.processes),
        pasteboard(systemLink, *base.pasteboard),
        snippetsMenu(systemLink, *base.snippetsMenu),
        workspaceActions(systemLink, *base.workspaceActions),
        scripts(systemLink, *base.scripts),
        appleEvents(systemLink, *base.appleEvents),
        base_(base) {}

  sys::Platform platform() {
    sys::Platform p = base_;
    p.iokit = &iokit;
    p.session = &session;
    p.input = &input;
    p.accessibility = &accessibility;
    p.display = &display;
    p.workspace = &workspace;
    p.bundles = &bundles;
    p.processes = &processes;
    p.pasteboard = &pasteboard;
    p.snippetsMenu = &snippetsMenu;
    p.workspaceActions = &workspaceActions;
    p.scripts = &scripts;
    p.appleEvents = &appleEvents;
    return p;
  }

  SimLink link;             // the driver and its devices
  SimLink systemLink;       // the operating system, unless the simulator runs with --driver-only
  SimSystemMirror system;   // the operating system's state, while systemLink has the simulator
  SimDriverWorld world;
  iokit::IOKit iokit;
  SimConsoleSession session;
  SimInputState input;
  SimAccessibility accessibility;
  SimDisplay display;
  SimBundleCatalogue infos;
  SimWorkspace workspace;
  SimBundleReader bundles;
  SessionProcessManager processes;
  SimPasteboard pasteboard;
  SimSnippetsMenu snippetsMenu;
  SimWorkspaceActions workspaceActions;
  SimScriptRunner scripts;
  SimAppleEventServices appleEvents;

 private:
  sys::Platform base_;
};

}  // namespace simbus
