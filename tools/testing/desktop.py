#!/usr/bin/python3
"""A private desktop for tests and demos: Xvfb, a session bus and the accessibility bus.

    /usr/bin/python3 tools/testing/desktop.py run [--size 1280x800] [--layout de] -- CMD [ARG...]
    /usr/bin/python3 tools/testing/desktop.py shot OUT.png [--window TITLE | --id WID]

`run` starts, each on its own: Xvfb on a free display (-displayfd) with its own cookie, a
dbus-daemon session bus, at-spi-bus-launcher on that bus (org.a11y.Bus answers GetAddress) with
the registry daemon on the accessibility bus, then runs CMD with DISPLAY, XAUTHORITY,
DBUS_SESSION_BUS_ADDRESS, QT_QPA_PLATFORM=xcb and
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 pointing at them, and exits with CMD's status (128+N when
a signal ended it). Everything it started ends with it. As root the whole desktop lives in its
own PID namespace, so even a SIGKILL of this runner takes every process of it along; otherwise
the runner is a child subreaper and ends its descendants itself.

Nothing reaches this machine's own display, session bus, dconf or runtime folder: the
environment of CMD names only the private ones (GSETTINGS_BACKEND=memory, a private
XDG_RUNTIME_DIR; SESSION_MANAGER, WAYLAND_DISPLAY and desktop names are removed).

`shot` (inside such a desktop) writes a PNG of the screen or of one window (ImageMagick).

Run it with Debian's /usr/bin/python3: the accessibility module needs python3-gi.
"""

import argparse
import ctypes
import os
import secrets
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

INNER_MARK = "VANTREL_DESKTOP_NAMESPACE"
FOLDER_MARK = "VANTREL_DESKTOP_FOLDER"
FOLDER_PREFIX = "vantrel-desktop-"
PR_SET_PDEATHSIG = 1
PR_SET_CHILD_SUBREAPER = 36

_libc = ctypes.CDLL(None, use_errno=True)


def _die_with_parent():
    """preexec_fn: the child gets SIGKILL when the process that started it ends."""
    _libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL, 0, 0, 0)


class DesktopError(RuntimeError):
    pass


def _read_line_from(fd, timeout, what):
    """Reads one line that a child writes to `fd` (the read end of a pipe)."""
    deadline = time.monotonic() + timeout
    data = b""
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0:
            raise DesktopError(f"{what} did not report in {timeout:.0f}s")
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 4096)
        if not chunk:
            raise DesktopError(f"{what} ended before it reported")
        data += chunk
    return data.split(b"\n", 1)[0].decode().strip()


def _write_wildcard_cookie(path):
    """An Xauthority file with one MIT-MAGIC-COOKIE-1 that fits any display (family wild,
    empty display number), so the server can read it before its display number is known."""
    def field(b):
        return struct.pack(">H", len(b)) + b
    cookie = secrets.token_bytes(16)
    record = struct.pack(">H", 0xFFFF) + field(b"") + field(b"") + field(b"MIT-MAGIC-COOKIE-1") + field(cookie)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(record)


def _connect(address):
    """A connection of this process to the bus at that address (gi is imported only here, so
    that the runner starts without it)."""
    from gi.repository import Gio
    flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
    return Gio.DBusConnection.new_for_address_sync(address, flags, None, None)


class PrivateDesktop:
    """Xvfb + session bus + accessibility bus. Use as a context manager; `env` is the
    environment for programs that should run inside it."""

    def __init__(self, size="1280x800", depth=24, layout=None, log=sys.stderr, folder=None):
        self.folder = folder  # an empty folder to use (removed by its owner), else a new one
        self.size = size
        self.depth = depth
        self.layout = layout
        self.log = log
        self.procs = []  # (name, Popen), in start order
        self.tmp = None
        self.env = None
        self.display = None
        self.a11y_address = None

    # -- start -----------------------------------------------------------------------------
    def _spawn(self, name, argv, env, pass_fds=()):
        logf = open(os.path.join(self.tmp, name + ".log"), "wb")
        p = subprocess.Popen(argv, env=env, stdin=subprocess.DEVNULL, stdout=logf, stderr=logf,
                             pass_fds=pass_fds, preexec_fn=_die_with_parent, close_fds=True)
        logf.close()
        self.procs.append((name, p))
        return p

    def _spawn_and_read(self, name, argv_for_fd, env):
        """Starts a daemon that reports on a file descriptor (its argv names the descriptor)
        and returns the first line it writes there: a display number, a bus address."""
        r, w = os.pipe()
        try:
            self._spawn(name, argv_for_fd(w), env, pass_fds=(w,))
            os.close(w)
            w = -1
            return _read_line_from(r, 15, name)
        finally:
            if w >= 0:
                os.close(w)
            os.close(r)

    def _base_env(self):
        env = dict(os.environ)
        for var in ("DISPLAY", "WAYLAND_DISPLAY", "SESSION_MANAGER", "XDG_SESSION_TYPE",
                    "XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION",
                    "DBUS_SESSION_BUS_ADDRESS", "AT_SPI_BUS_ADDRESS", "XAUTHORITY",
                    "QT_QPA_PLATFORMTHEME", "QT_ACCESSIBILITY", "NO_AT_BRIDGE",
                    "DBUS_STARTER_ADDRESS", "DBUS_STARTER_BUS_TYPE"):
            env.pop(var, None)
        runtime = os.path.join(self.tmp, "runtime")
        os.mkdir(runtime, 0o700)
        env["XDG_RUNTIME_DIR"] = runtime
        env["GSETTINGS_BACKEND"] = "memory"
        return env

    def start(self):
        self.tmp = self.folder or tempfile.mkdtemp(prefix=FOLDER_PREFIX)
        env = self._base_env()
        auth = os.path.join(self.tmp, "Xauthority")
        _write_wildcard_cookie(auth)

        number = self._spawn_and_read("xvfb", lambda fd: [
            "Xvfb", "-displayfd", str(fd), "-screen", "0", f"{self.size}x{self.depth}",
            "-nolisten", "tcp", "-auth", auth, "-dpi", "96", "-noreset"], env)
        self.display = ":" + number
        env["DISPLAY"] = self.display
        env["XAUTHORITY"] = auth

        bus = self._spawn_and_read("dbus", lambda fd: [
            "dbus-daemon", "--session", "--nofork", "--nopidfile",
            f"--address=unix:dir={self.tmp}", f"--print-address={fd}"], env)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus

        self._spawn("atspi-launcher", ["/usr/libexec/at-spi-bus-launcher", "--launch-immediately",
                                       "--a11y=1"], env)
        self.a11y_address = self._wait_for_a11y_bus(bus, 15)
        self._start_registry(self.a11y_address, 15)
        # AT_SPI_BUS_ADDRESS stays unset on purpose: a Qt 6.4 program that finds it there
        # connects to the accessibility bus but never registers with it (the bridge misses the
        # enable signal sent from its own constructor). Programs ask org.a11y.Bus instead.

        env["QT_QPA_PLATFORM"] = "xcb"
        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["VANTREL_PRIVATE_DESKTOP"] = self.display
        self.env = env
        if self.layout:
            subprocess.run(["setxkbmap", "-layout", self.layout], env=env, check=True)
        return self

    def _check_alive(self):
        for name, p in self.procs:
            if p.poll() is not None:
                raise DesktopError(f"{name} ended with status {p.returncode}: {self._log_tail(name)}")

    def _log_tail(self, name):
        try:
            with open(os.path.join(self.tmp, name + ".log"), "rb") as f:
                return f.read()[-2000:].decode(errors="replace")
        except OSError:
            return ""

    def _wait_for_a11y_bus(self, bus, timeout):
        from gi.repository import Gio, GLib
        conn = _connect(bus)
        deadline = time.monotonic() + timeout
        try:
            while True:
                self._check_alive()
                try:
                    reply = conn.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                           None, GLib.VariantType.new("(s)"),
                                           Gio.DBusCallFlags.NO_AUTO_START, 2000, None)
                    address = reply.unpack()[0]
                    if address:
                        return address
                except GLib.Error:
                    pass
                if time.monotonic() > deadline:
                    raise DesktopError("org.a11y.Bus never answered GetAddress: " + self._log_tail("atspi-launcher"))
                time.sleep(0.02)
        finally:
            conn.close_sync(None)

    def _start_registry(self, a11y, timeout):
        """Starts the registry daemon on the accessibility bus by asking for it (bus
        activation), so the first client does not pay for its start."""
        from gi.repository import Gio, GLib
        conn = _connect(a11y)
        try:
            conn.call_sync("org.a11y.atspi.Registry", "/org/a11y/atspi/registry",
                           "org.freedesktop.DBus.Peer", "Ping", None, None,
                           Gio.DBusCallFlags.NONE, int(timeout * 1000), None)
        except GLib.Error as e:
            raise DesktopError(f"the accessibility registry did not start: {e.message}")
        finally:
            conn.close_sync(None)

    # -- stop ------------------------------------------------------------------------------
    def stop(self):
        for name, p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
        deadline = time.monotonic() + 3
        for name, p in reversed(self.procs):
            try:
                p.wait(max(0.05, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
        self.procs.clear()
        _end_descendants()
        if self.tmp and not self.folder:
            shutil.rmtree(self.tmp, ignore_errors=True)
        self.tmp = None

    def __enter__(self):
        try:
            return self.start()
        except BaseException:
            self.stop()
            raise

    def __exit__(self, *exc):
        self.stop()


def _children_of(pid):
    try:
        with open(f"/proc/{pid}/task/{pid}/children") as f:
            return [int(x) for x in f.read().split()]
    except OSError:
        return []


def _end_descendants():
    """Kills whatever is left below this process (orphans come to it as a subreaper)."""
    for _ in range(20):
        kids = _children_of(os.getpid())
        if not kids:
            return
        stack, seen = list(kids), []
        while stack:
            pid = stack.pop()
            seen.append(pid)
            stack.extend(_children_of(pid))
        for pid in seen:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for pid in kids:
            try:
                os.waitpid(pid, 0)
            except ChildProcessError:
                pass
        time.sleep(0.01)


# -- screenshots ---------------------------------------------------------------------------
def screenshot(path, window_id=None, title=None, env=None):
    """PNG of the whole screen, or of one window (by X id or by a title regex, via xdotool)."""
    env = env or os.environ
    if title is not None:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title], env=env,
                               capture_output=True, text=True).stdout.split()
        if not found:
            raise DesktopError(f"no visible window named like {title!r}")
        window_id = found[-1]
    # ImageMagick's import, by its full path (convert on PATH may be something else). Not xwd
    # -root: under Xvfb it reads a dialog opened over the main window as a black rectangle,
    # while import puts the screen together from the windows as they show.
    target = "root" if window_id is None else str(window_id)
    subprocess.run(["/usr/bin/import", "-silent", "-window", target, "png:" + path], env=env,
                   check=True, capture_output=True)
    return path


# -- command line --------------------------------------------------------------------------
def _sweep_abandoned_folders():
    """Removes the folders of runners that were killed outright (their runner.pid is dead)."""
    base = tempfile.gettempdir()
    for entry in os.listdir(base):
        if not entry.startswith(FOLDER_PREFIX):
            continue
        folder = os.path.join(base, entry)
        try:
            with open(os.path.join(folder, "runner.pid")) as f:
                pid = int(f.read())
            os.kill(pid, 0)
        except (OSError, ValueError) as e:
            if isinstance(e, ProcessLookupError):
                shutil.rmtree(folder, ignore_errors=True)


def _run(args):
    if not os.environ.get(INNER_MARK):
        _sweep_abandoned_folders()
        folder = tempfile.mkdtemp(prefix=FOLDER_PREFIX)
        with open(os.path.join(folder, "runner.pid"), "w") as f:
            f.write(str(os.getpid()))
        os.environ[FOLDER_MARK] = folder
        try:
            return _run_owning_folder(args)
        finally:
            shutil.rmtree(folder, ignore_errors=True)
    return _run_owning_folder(args)


def _run_owning_folder(args):
    if os.geteuid() == 0 and not os.environ.get(INNER_MARK) and shutil.which("unshare") and not args.no_namespace:
        # A PID namespace of its own: when its first process (the runner below) ends, however
        # it ends, the kernel ends every process of the desktop. unshare dies with this process
        # and takes that first process along (--kill-child). unshare ignores SIGTERM and SIGINT,
        # so they are passed on to its process group, where the runner tears down in order.
        probe = subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", "true"],
                               capture_output=True)
        if probe.returncode == 0:
            env = dict(os.environ, **{INNER_MARK: "1"})

            def own_group_dying_with_parent():
                _die_with_parent()
                os.setpgid(0, 0)
            inner = subprocess.Popen(["unshare", "--pid", "--fork", "--kill-child", "--mount-proc",
                                      sys.executable, os.path.abspath(__file__), *sys.argv[1:]],
                                     env=env, preexec_fn=own_group_dying_with_parent)

            def pass_on(signum, _frame):
                try:
                    os.killpg(inner.pid, signum)
                except ProcessLookupError:
                    pass
            for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
                signal.signal(s, pass_on)
            status = inner.wait()
            return 128 - status if status < 0 else status
    _libc.prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

    cmd = args.command
    if cmd and cmd[0] == "--":
        cmd = cmd[1:]
    if not cmd:
        print("desktop.py run: no command", file=sys.stderr)
        return 2
    child = None

    def forward(signum, _frame):
        if child and child.poll() is None:
            child.send_signal(signum)
        else:
            raise SystemExit(128 + signum)

    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, forward)
    try:
        with PrivateDesktop(size=args.size, layout=args.layout,
                            folder=os.environ.pop(FOLDER_MARK, None)) as desk:
            child = subprocess.Popen(cmd, env=desk.env)
            status = child.wait()
            return 128 - status if status < 0 else status
    except DesktopError as e:
        print(f"desktop.py: {e}", file=sys.stderr)
        return 70


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    sub = parser.add_subparsers(dest="what", required=True)
    run = sub.add_parser("run", help="run a command inside a fresh private desktop")
    run.add_argument("--size", default="1280x800", help="screen size, WIDTHxHEIGHT")
    run.add_argument("--layout", help="keyboard layout for setxkbmap (us, de, fr, ...)")
    run.add_argument("--no-namespace", action="store_true", help="do not use a PID namespace")
    run.add_argument("command", nargs=argparse.REMAINDER)
    shot = sub.add_parser("shot", help="screenshot to PNG (inside a private desktop)")
    shot.add_argument("out")
    group = shot.add_mutually_exclusive_group()
    group.add_argument("--window", help="regex of the window title")
    group.add_argument("--id", help="X window id")
    args = parser.parse_args(argv)
    if args.what == "run":
        return _run(args)
    if not os.environ.get("VANTREL_PRIVATE_DESKTOP"):
        print("desktop.py shot: not inside a private desktop (use desktop.py run)", file=sys.stderr)
        return 2
    try:
        screenshot(args.out, window_id=args.id, title=args.window)
    except (DesktopError, subprocess.CalledProcessError) as e:
        print(f"desktop.py shot: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
