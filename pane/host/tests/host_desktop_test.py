#!/usr/bin/python3
"""The settings program on a real X display (inside a private desktop, desktop.py run): its
window and its class, the pane's notifications and the simulated frontmost application as the
window really gains and loses the keyboard focus, closing with the keyboard, and the message box
of a failure.

    desktop.py run -- /usr/bin/python3 host_desktop_test.py HOST STUB_BUNDLE SIM VANTRELCTL PROBE
"""

import json
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools", "testing"))

import a11y  # noqa: E402

HOST = STUB = SIM = CTL = PROBE = None
TITLE = "Vantrel Settings"
PREFS = "com.apple.systempreferences"


def wait(predicate, what):
    return a11y.wait_until(predicate, 10, what=what)


class Run:
    """A program of the test, ended with it."""

    def __init__(self, argv, env=None, **kw):
        self.proc = subprocess.Popen(argv, env=env, **kw)

    def end(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for stream in (self.proc.stdout, self.proc.stderr):
            if stream:
                stream.close()


def window_id(title):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"],
                         capture_output=True, text=True).stdout.split()
    return out[-1] if out else None


def focus(wid):
    subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)


class SettingsWindow(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.log = os.path.join(self.tmp.name, "calls.log")
        self.env = dict(os.environ, VANTREL_STUB_PANE_LOG=self.log, HOME=self.tmp.name, LC_ALL="C")
        self.runs = []

    def tearDown(self):
        for r in reversed(self.runs):
            r.end()
        self.tmp.cleanup()

    def start(self, argv, **kw):
        run = Run(argv, env=self.env, **kw)
        self.runs.append(run)
        return run

    def calls(self):
        try:
            with open(self.log) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def count(self, line):
        return self.calls().count(line)

    def ctl(self, *args):
        out = subprocess.run([CTL, *args], env=self.env, capture_output=True, text=True, check=True).stdout
        return json.loads(out)

    def front(self):
        return self.ctl("sim", "state").get("front_application", {}).get("bundle_id")

    def test_window_focus_and_close(self):
        self.start([SIM], stdout=subprocess.DEVNULL)
        self.ctl("sim", "ready", "--timeout", "10000")
        self.ctl("sim", "activate", "--bundle-id", "com.example.editor", "--name", "Editor")

        host = self.start([HOST, STUB])
        wid = wait(lambda: window_id(TITLE), "the settings window")
        wm_class = subprocess.run(["xprop", "-id", wid, "WM_CLASS"], capture_output=True, text=True).stdout
        self.assertIn('"vantrel-settings", "vantrel-settings"', wm_class)
        icon = subprocess.run(["xprop", "-id", wid, "_NET_WM_ICON"], capture_output=True, text=True).stdout
        self.assertIn("Icon (", icon)

        focus(wid)
        wait(lambda: self.count("window became key") >= 1, "the window to become key")
        wait(lambda: self.front() == PREFS, "System Preferences in front")

        # Another application takes the keyboard: the pane hears it and the front goes back.
        probe = self.start([PROBE])
        pid = wait(lambda: window_id("Vantrel accessibility probe"), "the other application's window")
        focus(pid)
        wait(lambda: self.count("application resigned active") == 1, "the application to resign")
        wait(lambda: self.front() == "com.example.editor", "the editor back in front")

        focus(wid)
        wait(lambda: self.count("window became key") >= 2, "the window to become key again")
        wait(lambda: self.front() == PREFS, "System Preferences in front again")
        probe.end()

        # Ctrl+W closes the window: unselected, then the pane goes, then the program ends.
        focus(wid)
        subprocess.run(["xdotool", "key", "ctrl+w"], check=True)
        self.assertEqual(host.proc.wait(10), 0)
        self.assertEqual(self.calls()[-2:], ["willUnselect", "destroyed, view alive"])
        self.assertEqual(self.count("didSelect"), 1)
        self.assertEqual(self.front(), "com.example.editor")
        self.assertNotIn("System Preferences (sprf)", self.ctl("sim", "state")["processes"])

    def test_failure_shows_a_message_box(self):
        self.env["VANTREL_STUB_PANE_MODE"] = "no-view"
        host = self.start([HOST, STUB], stderr=subprocess.PIPE, text=True)
        app = a11y.wait_for_app("vantrel-settings")
        box = a11y.find_one(app, name=TITLE)
        texts = [a11y.name(a) for a in a11y.walk(box) if a11y.role(a) == "label"]
        self.assertIn("Vantrel Settings cannot open its settings panel.", texts)
        self.assertTrue(any("could not load its interface" in t for t in texts), texts)
        a11y.press(a11y.find_one(box, role="push button", name="OK"))
        self.assertEqual(host.proc.wait(10), 1)
        self.assertIn("could not load its interface", host.proc.stderr.read())


if __name__ == "__main__":
    HOST, STUB, SIM, CTL, PROBE = sys.argv[1:6]
    unittest.main(argv=sys.argv[:1] + sys.argv[6:], verbosity=2)
