#!/usr/bin/python3
"""The settings program with the real panel on a real X display (inside a private desktop,
desktop.py run), found and worked through the AT-SPI accessibility bus as a screen reader user
would: the simulator stands in for the machine with one trackball attached, the panel starts the
helper from its bundle, and the controls are found by their accessible names.

    desktop.py run -- /usr/bin/python3 pane_a11y_test.py HOST SIM
"""

import os
import plistlib
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tools", "testing"))

import a11y  # noqa: E402

HOST = SIM = None
SETTINGS = "Library/Preferences/com.halvorn.vantrel.settings.plist"


class PanelByAccessibleName(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.env = dict(os.environ, HOME=self.tmp.name, LC_ALL="C",
                        XDG_CONFIG_HOME=os.path.join(self.tmp.name, ".config"))
        self.procs = []

    def tearDown(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        # The helper the panel started ends with the private desktop's session bus.
        self.tmp.cleanup()

    def start(self, argv, **kw):
        p = subprocess.Popen(argv, env=self.env, **kw)
        self.procs.append(p)
        return p

    def speed(self):
        try:
            with open(os.path.join(self.tmp.name, SETTINGS), "rb") as f:
                prefs = plistlib.load(f)
        except (OSError, plistlib.InvalidFileException):
            return None
        for profile in prefs.get("devices", []):
            if profile.get("target device", {}).get("device product id") == 0x0A11 and \
                    not profile.get("target app", {}).get("app bundle id"):
                return profile.get("options", {}).get("speed")
        return None

    def test_controls_are_named_reachable_and_work(self):
        self.start([SIM, "--attach", "dev1"], stdout=subprocess.DEVNULL)
        time.sleep(0.5)
        host = self.start([HOST])
        app = a11y.wait_for_app("vantrel-settings")

        # The device's page shows once the helper (started by the panel) lists the device.
        button1 = a11y.find_one(app, role="combo box", label="Button 1:", state="showing", timeout=20)
        self.assertIsNotNone(button1)
        for tab in ("Buttons", "Pointer", "Scrolling", "About"):
            self.assertIsNotNone(a11y.find_one(app, role="page tab", name=tab))
        self.assertIsNotNone(a11y.find_one(app, role="combo box", label="Profile:"))
        self.assertIsNotNone(a11y.find_one(app, role="push button", name="Add a profile for an application"))

        # Every control has a name a screen reader can read, hidden pages included.
        problems = a11y.audit(app)
        self.assertEqual(problems, [], "\n".join(f"{path}: {d}" for path, d in problems))

        # The pointer speed slider, set as assistive technology does, reaches the settings file.
        a11y.press(a11y.find_one(app, role="page tab", name="Pointer"))
        slider = a11y.find_one(app, role="slider", name="Pointer speed")
        a11y.set_value(slider, 20)
        a11y.wait_until(lambda: self.speed() == 1000, 10, what="speed 1000 in the settings file")
        box = a11y.find_one(app, role="check box", name="Accelerate the pointer")
        self.assertIsNotNone(box)

        # Keyboard: from the slider, Tab reaches the page's check boxes.
        wid = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Vantrel Settings$"],
                             capture_output=True, text=True).stdout.split()[-1]
        subprocess.run(["xdotool", "windowfocus", "--sync", wid], check=True)
        a11y.focus(slider)
        names = {a11y.name(acc) for acc in a11y.tab_order(app, steps=30)}
        for wanted in ("Pointer speed", "Accelerate the pointer",
                       "Move the pointer to the default button of new windows"):
            self.assertIn(wanted, names)

        subprocess.run(["xdotool", "key", "ctrl+w"], check=False)
        self.assertEqual(host.wait(15), 0)


if __name__ == "__main__":
    HOST, SIM = sys.argv[1:3]
    del sys.argv[1:3]
    unittest.main(verbosity=2)
