// The helper's platform on this machine: the device simulator's services while it is on the
// session bus, the given base services while it is not. The driver's services exist only in
// the simulator. The process list is that of the base, narrowed to this login session.
#pragma once

#include <QDBusConnection>

#include "platform/dbus/sim_actions.h"
#include "platform/dbus/sim_driver_world.h"
#include "platform/dbus/session_processes.h"
#include "platform/dbus/sim_link.h"
#include "platform/dbus/sim_system.h"
#include "platform/iokit.h"
#include "platform/system_services.h"

namespace simbus {

class SimRuntime {
 public:
  // Make it after the QCoreApplication, on the main thread. `base` must be complete and outlive it.
  explicit SimRuntime(const sys::Platform& base, const QDBusConnection& bus = QDBusConnection::sessionBus())
      : link(bus),
        world(link),
        iokit(world),
        session(link, *base.session),
        input(link, *base.input),
        accessibility(link, *base.accessibility),
        display(link, *base.display),
        workspace(link, infos),
        bundles(infos, *base.bundles),
        processes(*base.processes),
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
    return p;
  }

  SimLink link;
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

 private:
  sys::Platform base_;
};

// The button actions' services: the simulator's while it is on the bus, the given ones otherwise.
struct SimActionServices {
  SimActionServices(SimLink& link, Pasteboard& pasteboardFallback, SnippetsMenu& menuFallback,
                    WorkspaceActions& workspaceFallback, ScriptRunner& scriptsFallback,
                    AppleEventServices& eventsFallback)
      : pasteboard(link, pasteboardFallback),
        snippetsMenu(link, menuFallback),
        workspace(link, workspaceFallback),
        scripts(link, scriptsFallback),
        appleEvents(link, eventsFallback) {}

  SimPasteboard pasteboard;
  SimSnippetsMenu snippetsMenu;
  SimWorkspaceActions workspace;
  SimScriptRunner scripts;
  SimAppleEventServices appleEvents;
};

}  // namespace simbus
