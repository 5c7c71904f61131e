#!/usr/bin/python3
"""The simulated world with the settings window in it, for the walk-through, the panel's
end-to-end tests and its benchmarks. Runs inside a private desktop (desktop.py run).

    world = PanelWorld(build_dir)          # a temporary home folder, nothing started yet
    world.start_simulator("dev1")          # vantrel-sim with devices attached
    world.start_host()                     # build/vantrel-settings with the build's pane bundle
    app = world.wait_for_panel()           # its accessible root once the window shows
    ...
    world.close()

Everything runs as processes of their own on the desktop's session bus: the simulator, the
settings host with the real pane bundle, and the helper the pane starts from its bundle. The
panel's and the helper's notifications are recorded as they pass on the bus (`notes`), and the
simulator's log is read through its control object.
"""

import json
import os
import plistlib
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import a11y  # noqa: E402

TITLE = "Vantrel Settings"
APP = "vantrel-settings"
SIM_SERVICE = "com.halvorn.vantrel.Simulator"
SIM_CONTROL_PATH = "/com/halvorn/vantrel/Simulator/Control"
SIM_CONTROL = "com.halvorn.vantrel.Simulator.Control"
NOTE_PATH = "/com/halvorn/vantrel/DistributedNotifications"
NOTE_INTERFACE = "com.halvorn.vantrel.DistributedNotifications"
COMMAND = "com.halvorn.vantrel.command"
MESSAGE = "com.halvorn.vantrel.message"
SETTINGS_FILE = "Library/Preferences/com.halvorn.vantrel.settings.plist"


def decode(text):
    """The dictionary of a notification's object (an XML property list), or None."""
    try:
        value = plistlib.loads(text.encode())
    except Exception:
        return None
    return value if isinstance(value, dict) else None


def speed_in_words(record_speed):
    """The record's speed byte as a user reads it (the byte is dots per inch / 20)."""
    return f"{record_speed} ({record_speed * 20} dots per inch)"


class NoteWatch:
    """Every distributed notification on the bus, recorded with the time it arrived, by a
    connection and main loop of its own (a thread), so the test's waits never miss one."""

    def __init__(self, address):
        self.notes = []  # (monotonic seconds, name, object text or None)
        self.lock = threading.Lock()
        self.ready = threading.Event()
        self.loop = None
        self.thread = threading.Thread(target=self._run, args=(address,), daemon=True)
        self.thread.start()
        if not self.ready.wait(10):
            raise RuntimeError("the notification watch did not connect")

    def _run(self, address):
        context = GLib.MainContext.new()
        context.push_thread_default()
        flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
                 Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        conn = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
        conn.signal_subscribe(None, NOTE_INTERFACE, "Notification", NOTE_PATH, None,
                              Gio.DBusSignalFlags.NONE, self._signal)
        self.loop = GLib.MainLoop.new(context, False)
        self.conn = conn
        self.ready.set()
        self.loop.run()

    def _signal(self, _conn, _sender, _path, _iface, _member, params):
        now = time.monotonic()
        try:
            name = params.get_child_value(0).get_string()
            obj = params.get_child_value(1).get_variant()
            text = obj.get_string() if obj.get_type_string() == "s" else None
        except Exception:
            return
        with self.lock:
            self.notes.append((now, name, text))

    def snapshot(self):
        with self.lock:
            return list(self.notes)

    def stop(self):
        if self.loop is not None:
            self.loop.quit()
        self.thread.join(5)


class PanelWorld:
    def __init__(self, build, home=None, lang="C", settings_text=None):
        self.build = os.path.abspath(build)
        self.own_home = home is None
        self.home = home or tempfile.mkdtemp(prefix="vantrel-panel-")
        self.env = dict(os.environ, HOME=self.home, LC_ALL=lang, LANG=lang,
                        XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        DBUS_SYSTEM_BUS_ADDRESS="unix:path=/nonexistent/system_bus_socket")
        self.env.pop("LANGUAGE", None)
        self.procs = {}
        self.bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
        self.watch = NoteWatch(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        if settings_text is not None:
            self.write_settings(settings_text)

    # -- files -----------------------------------------------------------------------------
    @property
    def settings_path(self):
        return os.path.join(self.home, SETTINGS_FILE)

    def write_settings(self, data):
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        with open(self.settings_path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def settings(self):
        with open(self.settings_path, "rb") as f:
            return plistlib.load(f)

    # -- processes -------------------------------------------------------------------------
    def start_simulator(self, *attach, extra=()):
        argv = [os.path.join(self.build, "sim", "vantrel-sim"), "--reenumerate-ms", "20"]
        for key in attach:
            argv += ["--attach", key]
        p = subprocess.Popen(argv + list(extra), env=self.env, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True)
        self.procs["sim"] = p
        line = p.stdout.readline()
        if "ready" not in line:
            raise RuntimeError(f"the simulator did not start: {line!r}")
        # Its standard output is not read any further; it says little after "ready".
        threading.Thread(target=lambda: p.stdout.read(), daemon=True).start()
        return p

    def start_host(self, args=(), env=None):
        log = open(os.path.join(self.home, "host.log"), "ab")
        p = subprocess.Popen([os.path.join(self.build, APP), *args], env=env or self.env,
                             stdout=log, stderr=log)
        log.close()
        self.procs["host"] = p
        return p

    def wait_for_panel(self, timeout=15):
        return a11y.wait_for_app(APP, timeout)

    def helpers(self):
        """Process ids of the helpers that run on this world's bus."""
        mine = self.env["DBUS_SESSION_BUS_ADDRESS"].encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/comm", "rb") as f:
                    if f.read().strip() != b"VantrelHelper":
                        continue
                with open(f"/proc/{pid}/environ", "rb") as f:
                    env = f.read().split(b"\0")
                with open(f"/proc/{pid}/stat", "rb") as f:
                    if f.read().rsplit(b")", 1)[1].split()[0] == b"Z":
                        continue
            except OSError:
                continue
            if b"DBUS_SESSION_BUS_ADDRESS=" + mine in env:
                found.append(int(pid))
        return found

    def close_window(self):
        """Closes the settings window as a user does (Ctrl+W) and waits for the host to end."""
        host = self.procs.get("host")
        a11y.activate_window(TITLE)
        a11y.key("ctrl+w")
        host.wait(10)
        return host.returncode

    def close(self):
        host = self.procs.pop("host", None)
        if host and host.poll() is None:
            host.terminate()
            try:
                host.wait(5)
            except subprocess.TimeoutExpired:
                host.kill()
                host.wait()
        for pid in self.helpers():
            try:
                os.kill(pid, signal.SIGCONT)
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
        deadline = time.monotonic() + 5
        while self.helpers() and time.monotonic() < deadline:
            time.sleep(0.05)
        for pid in self.helpers():
            os.kill(pid, signal.SIGKILL)
        for p in self.procs.values():
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
            if p.stdout:
                p.stdout.close()
        self.procs.clear()
        self.watch.stop()
        if self.own_home:
            shutil.rmtree(self.home, ignore_errors=True)

    # -- the simulator ---------------------------------------------------------------------
    def sim(self, method, signature=None, *args, timeout_ms=15000):
        params = GLib.Variant(signature, args) if signature else None
        reply = self.bus.call_sync(SIM_SERVICE, SIM_CONTROL_PATH, SIM_CONTROL, method, params,
                                   None, Gio.DBusCallFlags.NONE, timeout_ms, None)
        return reply.unpack()[0] if reply is not None and reply.n_children() else None

    def attach(self, key, **options):
        return json.loads(self.sim("Attach", "(ss)", key, json.dumps(options)))

    def detach(self, device_id):
        return self.sim("Detach", "(t)", device_id)

    def seq(self):
        return self.sim("LastLogSeq")

    def log(self, since=0, kind=None):
        entries = json.loads(self.sim("Log", "(t)", since))
        return [e for e in entries if kind is None or e.get("kind") == kind]

    def wait_log(self, since, kind, count=1, timeout_ms=10000):
        """The entries of `kind` after `since`, once `count` are there (fewer when the time is
        up); the simulator answers as soon as they are."""
        return json.loads(self.sim("WaitForLog", "(tsuu)", since, kind, count, timeout_ms,
                                   timeout_ms=timeout_ms + 5000))

    # -- notifications ---------------------------------------------------------------------
    def commands(self, since=0.0, command=None):
        """The panel's commands to the helper after `since` (monotonic), decoded."""
        out = []
        for t, name, text in self.watch.snapshot():
            if t < since or name != COMMAND or text is None:
                continue
            d = decode(text)
            if d is not None and (command is None or d.get("command") == command):
                out.append((t, d))
        return out

    def post(self, name, text):
        """A notification from this process, as another program on the bus sends one."""
        self.bus.emit_signal(None, NOTE_PATH, NOTE_INTERFACE, "Notification",
                             GLib.Variant("(sv)", (name, GLib.Variant("s", text))))

    def wait(self, predicate, what, timeout=10):
        return a11y.wait_until(predicate, timeout, what=what)

    # -- the panel through the accessibility bus -------------------------------------------
    @staticmethod
    def showing(app, **kw):
        return [o for o in a11y.find(app, **kw) if "showing" in a11y.states(o)]

    @staticmethod
    def click(acc):
        """A real mouse click in the middle of the object (XTEST), as a user makes it. (The
        accessibility Toggle of a Qt check box flips it without the click a program acts on.)"""
        e = a11y.extents(acc)
        subprocess.run(["xdotool", "mousemove", "--sync", str(e["x"] + e["width"] // 2),
                        str(e["y"] + e["height"] // 2), "click", "1"], check=True)

    def page_tab(self, app, title):
        a11y.press(a11y.find_one(app, role="page tab", name=title))

    def device_page(self, app):
        """The model name on the showing device page, or what the page says instead."""
        for o in self.showing(app, role="image"):
            return o.get_name()
        for text in ("No supported device is connected.", "The device is not ready",
                     "Looking for devices"):
            if self.showing(app, role="label", name="~^" + text):
                return text
        return None

    def shot(self, path, window=TITLE):
        subprocess.run([sys.executable, os.path.join(HERE, "desktop.py"), "shot", path,
                        "--window", "^" + window + "$"], check=True)
        return path
