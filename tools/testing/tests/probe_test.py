#!/usr/bin/python3
"""The desktop test tools on the probe window, inside a private desktop (desktop.py run):
what the accessibility bus shows, what its actions and real key presses do, the Tab order,
the sheet, the naming audit and a screenshot.

    desktop.py run -- /usr/bin/python3 probe_test.py PATH/TO/vantrel_a11y_probe
"""

import os
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))

import a11y  # noqa: E402
import desktop  # noqa: E402

PROBE = None
TITLE = "Vantrel accessibility probe"


class Probe:
    """The probe program, with the lines it prints collected as they come."""

    def __init__(self, *args):
        self.lines = []
        self.proc = subprocess.Popen([PROBE, *args], stdout=subprocess.PIPE, text=True)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        for line in self.proc.stdout:
            self.lines.append(line.rstrip("\n"))

    def said(self, line):
        return a11y.wait_until(lambda: line in self.lines, what=f"the probe to print {line!r}")

    def stop(self):
        self.proc.terminate()
        self.proc.wait(5)
        self.reader.join(5)
        self.proc.stdout.close()


def who(acc):
    """role and name, with a combo box named by its label (its name is its current text)."""
    r = a11y.role(acc)
    if r == "combo box":
        return (r, "labelled " + " / ".join(a11y.labels(acc)))
    return (r, a11y.name(acc))


class ProbeWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.probe = Probe()
        cls.app = a11y.wait_for_app("vantrel-a11y-probe")
        cls.initial = a11y.tree(cls.app)  # before any test changes something

    @classmethod
    def tearDownClass(cls):
        cls.probe.stop()

    def setUp(self):
        # Each test starts on the first tab with the keyboard focus in the main window.
        a11y.press(a11y.find_one(self.app, role="page tab", name="Controls"))
        a11y.activate_window(TITLE)

    def status(self, text):
        a11y.find_one(self.app, role="label", name="Last: " + text)

    def node(self, role, name):
        def search(n):
            if n["role"] == role and n["name"] == name:
                return n
            for c in n["children"]:
                hit = search(c)
                if hit:
                    return hit
            return None
        hit = search(self.initial)
        self.assertIsNotNone(hit, f"[{role}] {name!r} not on the bus")
        return hit

    def test_bus_shows_each_kind_of_control_with_its_name_and_state(self):
        win = self.node("filler", TITLE)  # a plain QWidget window is a filler, not a frame
        self.assertIn("active", win["states"])
        slider = self.node("slider", "Speed:")  # named after its buddy label, ampersand gone
        self.assertEqual(slider["value"]["current"], 3)
        self.assertEqual((slider["value"]["minimum"], slider["value"]["maximum"]), (0, 10))
        combo = self.node("combo box", "All applications")  # its name is its current text
        self.assertEqual(combo["labelled_by"], ["Profile:"])
        self.assertEqual([i["name"] for i in combo["children"][0]["children"]],
                         ["All applications", "Editor", "Browser"])
        self.assertIn("Toggle", self.node("check box", "Snap to default button")["actions"])
        axis = self.node("check box", "Single axis")  # a checkable QPushButton
        self.assertNotIn("checked", axis["states"])
        tabs = [n["name"] for n in self.node("page tab list", "Controls")["children"]
                if n["role"] == "page tab"]
        self.assertEqual(tabs, ["Controls", "Text", "Pages"])
        field = self.node("text", "Snippet name")  # on a hidden tab: present, not showing
        self.assertNotIn("showing", field["states"])
        self.assertIn("multi-line", self.node("text", "Snippet text:")["states"])
        # Both pages of the stacked widget are there; only the current one is showing.
        self.assertNotIn("showing", self.node("push button", "Button on page 2")["states"])

    def test_actions_and_values_reach_the_program(self):
        a11y.press(a11y.find_one(self.app, role="push button", name="Apply"))
        self.status("pressed Apply 1")
        snap = a11y.find_one(self.app, role="check box", name="Snap to default button")
        a11y.toggle(snap)
        self.status("snap on")
        self.assertIn("checked", a11y.states(snap))
        a11y.toggle(a11y.find_one(self.app, role="check box", name="Single axis"))
        self.status("single axis on")
        slider = a11y.find_one(self.app, role="slider", name="Speed:")
        a11y.set_value(slider, 7)
        self.status("speed 7")
        self.assertEqual(a11y.value(slider)["current"], 7)

    def test_choosing_a_combo_item_changes_it_once(self):
        combo = a11y.find_one(self.app, role="combo box", label="Profile:")
        before = len(self.probe.lines)
        a11y.choose(combo, "Browser")
        self.probe.said("profile Browser")
        self.assertNotIn("profile Editor", self.probe.lines[before:])  # no stop on the way
        a11y.choose(combo, "All applications")
        self.probe.said("profile All applications")

    def test_text_by_editable_text_and_by_real_keys(self):
        a11y.press(a11y.find_one(self.app, role="page tab", name="Text"))
        name = a11y.find_one(self.app, role="text", name="Snippet name", state="showing")
        a11y.set_text(name, "Home")
        self.status("name Home")
        text = a11y.find_one(self.app, role="text", name="Snippet text:")
        a11y.focus(text)
        a11y.wait_until(lambda: a11y.focused(self.app) is not None
                        and a11y.name(a11y.focused(self.app)) == "Snippet text:")
        a11y.type_text("Hi there")
        self.status("text Hi there")
        self.assertEqual(a11y.text(text), "Hi there")

    def test_tab_walks_the_controls_in_order_and_comes_back(self):
        a11y.focus(a11y.find_one(self.app, role="slider", name="Speed:"))
        a11y.wait_until(lambda: a11y.role(a11y.focused(self.app)) == "slider")
        order = [who(a) for a in a11y.tab_order(self.app)]
        self.assertEqual(order, [
            ("slider", "Speed:"),
            ("combo box", "labelled Profile:"),
            ("check box", "Snap to default button"),
            ("push button", "Apply"),
            ("check box", "Single axis"),
            ("push button", "Settings..."),
            ("page tab", "Controls"),
        ])

    def test_window_modal_sheet(self):
        before = who(a11y.wait_until(lambda: a11y.focused(self.app)))
        a11y.press(a11y.find_one(self.app, role="push button", name="Settings..."))
        self.probe.said("sheet open")
        sheet = a11y.find_one(self.app, role="dialog", name="Probe settings")
        # A separate window of the application, not a child of the main window, and no modal
        # state; the main window only loses "active".
        self.assertEqual(a11y.role(sheet.get_parent()), "application")
        self.assertNotIn("active", a11y.states(a11y.find_one(self.app, role="filler", name=TITLE)))
        field = a11y.find_one(sheet, role="text", name="Label:")
        a11y.wait_until(lambda: "focused" in a11y.states(field))
        a11y.type_text("abc")
        a11y.press(a11y.find_one(sheet, role="push button", name="OK"))
        self.probe.said("sheet ok abc")
        a11y.wait_until(lambda: not a11y.find(self.app, role="dialog"), what="the sheet to close")
        # Nobody gives the main window its focus back without a window manager; once it has
        # it, the focus is where it was (an action does not move the focus).
        self.assertIsNone(a11y.focused(self.app))
        a11y.activate_window(TITLE)
        self.assertEqual(who(a11y.wait_until(lambda: a11y.focused(self.app))), before)

    def test_every_control_is_named(self):
        self.assertEqual(a11y.audit(self.app), [])

    def test_screenshot_of_the_window(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = desktop.screenshot(os.path.join(tmp, "probe.png"), title="^" + TITLE + "$")
            info = subprocess.run(["/usr/bin/convert", path, "-format", "%w %h %k", "info:"],
                                  capture_output=True, text=True, check=True).stdout.split()
        width, height, colours = map(int, info)
        self.assertEqual((width, height), (560, 420))
        self.assertGreater(colours, 20)  # text and controls drawn, not an empty rectangle


class UnnamedControls(unittest.TestCase):
    def test_audit_finds_exactly_the_unnamed_controls(self):
        probe = Probe("--unnamed")
        try:
            app = a11y.wait_for_app("vantrel-a11y-probe-unnamed")
            found = sorted(d["role"] + " " + d["name"] for _, d in a11y.audit(app))
            self.assertEqual(found, ["combo box One", "push button ", "text "])
        finally:
            probe.stop()


if __name__ == "__main__":
    if len(sys.argv) < 2 or not os.environ.get("VANTREL_PRIVATE_DESKTOP"):
        sys.exit("usage (inside desktop.py run): probe_test.py PATH/TO/vantrel_a11y_probe")
    PROBE = sys.argv.pop(1)
    unittest.main(verbosity=2)
