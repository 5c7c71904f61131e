#!/usr/bin/python3
"""desktop.py run from the outside: what the command finds in its desktop, its exit status,
and that nothing of the desktop outlives the runner, however the runner ends."""

import os
import secrets
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DESKTOP = os.path.join(os.path.dirname(HERE), "desktop.py")


def runner(*command, **kw):
    return subprocess.Popen(["/usr/bin/python3", DESKTOP, "run", "--", *command], **kw)


def processes_with(token):
    """Pids of processes whose command line holds the token."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/cmdline", "rb") as f:
                if token.encode() in f.read():
                    found.append(int(entry))
        except OSError:
            continue
    return found


def wait_for(predicate, timeout=10):
    deadline = time.monotonic() + timeout
    while not predicate():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)
    return True


class DesktopRunner(unittest.TestCase):
    def test_command_gets_a_private_desktop_and_its_status_is_returned(self):
        with tempfile.TemporaryDirectory() as tmp:
            out = os.path.join(tmp, "env")
            script = ("env > '%s'; dbus-send --session --print-reply --dest=org.a11y.Bus "
                      "/org/a11y/bus org.a11y.Bus.GetAddress >> '%s' && xdpyinfo >/dev/null && exit 7")
            status = runner("sh", "-c", script % (out, out), env=dict(os.environ, DISPLAY=":4242",
                            DBUS_SESSION_BUS_ADDRESS="unix:path=/nonexistent",
                            AT_SPI_BUS_ADDRESS="unix:path=/nonexistent")).wait(60)
            with open(out) as f:
                seen = f.read()
        self.assertEqual(status, 7)  # the bus answered GetAddress and the display took a client
        env = dict(line.split("=", 1) for line in seen.splitlines() if "=" in line and not line.startswith(" "))
        self.assertNotEqual(env["DISPLAY"], ":4242")
        self.assertNotIn("/nonexistent", env["DBUS_SESSION_BUS_ADDRESS"])
        self.assertNotIn("AT_SPI_BUS_ADDRESS", env)
        self.assertEqual(env["QT_QPA_PLATFORM"], "xcb")
        self.assertEqual(env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"], "1")
        self.assertIn("/at-spi/bus", seen)

    def check_nothing_left(self, signum, expected_status):
        token = "vantrel-desktop-test-" + secrets.token_hex(6)
        # A long sleep named by the token stands for the command; the desktop's daemons are
        # found by its folder, which the command reports.
        with tempfile.TemporaryDirectory() as tmp:
            where = os.path.join(tmp, "where")
            r = runner("bash", "-c", f"echo $XAUTHORITY > '{where}'; exec -a {token} sleep 60",
                       start_new_session=True)
            self.assertTrue(wait_for(lambda: os.path.exists(where) and os.path.getsize(where) > 0
                                     and processes_with(token)))
            with open(where) as f:
                folder = os.path.dirname(f.read().strip())
            self.assertTrue(processes_with(folder))  # Xvfb and the buses name the folder
            os.kill(r.pid, signum)
            self.assertEqual(r.wait(10), expected_status)
            self.assertTrue(wait_for(lambda: not processes_with(token) and not processes_with(folder)),
                            f"left behind: {processes_with(token) + processes_with(folder)}")
        return folder

    def test_sigterm_tears_everything_down(self):
        folder = self.check_nothing_left(signal.SIGTERM, 128 + signal.SIGTERM)  # the command's end
        self.assertFalse(os.path.exists(folder))

    @unittest.skipUnless(os.geteuid() == 0, "only a PID namespace (root) outlives a SIGKILL")
    def test_sigkill_of_the_runner_leaves_no_process(self):
        folder = self.check_nothing_left(signal.SIGKILL, -signal.SIGKILL)
        # Its folder goes with the next run.
        runner("true").wait(60)
        self.assertFalse(os.path.exists(folder))


if __name__ == "__main__":
    unittest.main(verbosity=2)
