#!/usr/bin/python3
"""The settings program with the real pane bundle, the helper and the device simulator, each a
process of its own on the private desktop's bus, driven through the accessibility bus and real
mouse and key events.

    desktop.py run -- /usr/bin/python3 panel_e2e_test.py BUILD-DIR
"""

import os
import plistlib
import signal
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "tools", "testing"))
import a11y  # noqa: E402
from panel_world import COMMAND, MESSAGE, TITLE, PanelWorld  # noqa: E402

BUILD = None
LIST_SIZE = 4260


def message(payload):
    return plistlib.dumps(payload, fmt=plistlib.FMT_XML).decode()


class PanelCase(unittest.TestCase):
    def setUp(self):
        self.world = PanelWorld(BUILD)

    def tearDown(self):
        self.world.close()

    def open_panel(self, *devices):
        self.world.start_simulator(*devices)
        self.world.start_host()
        self.app = self.world.wait_for_panel()
        return self.app

    def wait_page(self, page, timeout=10):
        self.world.wait(lambda: self.world.device_page(self.app) == page, f"the page {page!r}", timeout)

    def slider(self):
        return a11y.find_one(self.app, role="slider", name="Pointer speed")

    def change_speed(self, position):
        """Moves the speed slider; the record the device receives for it."""
        mark = self.world.seq()
        a11y.set_value(self.slider(), position)
        records = self.world.wait_log(mark, "settings")
        self.assertEqual(len(records), 1, "one new record per change")
        return records[0]["fields"]

    def saved_speed(self):
        return self.world.settings()["devices"][0]["options"]["speed"]


class LifeCycle(PanelCase):
    def test_select_poll_change_resign_and_close(self):
        w = self.world
        self.open_panel("dev1")
        # No helper was running: the pane starts the one in its bundle, and only once.
        w.wait(lambda: w.helpers(), "the helper the pane starts")
        self.wait_page("Vantrel Orbit Pro")
        started = time.monotonic()
        fronts = w.commands(command="front")
        self.assertEqual([d["front"] for _, d in fronts], [True])

        # The device list poll: once a second while selected.
        time.sleep(3.2)
        polls = w.commands(started, "list")
        self.assertIn(len(polls), (3, 4), [round(t - started, 2) for t, _ in polls])
        self.assertEqual(len(w.helpers()), 1)

        # A control change reaches the device's record and the file at once.
        w.page_tab(self.app, "Pointer")
        self.assertEqual(self.change_speed(20)["speed"], 50)  # 1000 dots per inch
        self.assertEqual(self.saved_speed(), 1000)

        # Switching to another application saves: the file comes back with the panel's state.
        a11y.activate_window(TITLE)
        time.sleep(0.3)
        os.remove(w.settings_path)
        other = subprocess.Popen([os.path.join(BUILD, "tools", "testing", "vantrel_a11y_probe")],
                                 env=w.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            a11y.wait_for_app("vantrel-a11y-probe")
            a11y.activate_window("Vantrel accessibility probe")
            w.wait(lambda: os.path.exists(w.settings_path), "the save on resign")
            self.assertEqual(self.saved_speed(), 1000)
        finally:
            other.terminate()
            other.wait(5)

        # Closing the window unselects: saved again, front given back, no poll afterwards.
        os.remove(w.settings_path)
        before = time.monotonic()
        self.assertEqual(w.close_window(), 0)
        self.assertEqual(self.saved_speed(), 1000)
        w.wait(lambda: w.commands(before, "front"), "front on unselect")
        self.assertEqual([d["front"] for _, d in w.commands(before, "front")], [False])
        time.sleep(1.2)
        self.assertEqual(w.commands(time.monotonic() - 1.1, "list"), [])
        self.assertEqual(len(w.helpers()), 1, "the helper stays for the session")

    def test_a_running_helper_is_not_started_again(self):
        w = self.world
        w.start_simulator("dev1")
        helper = subprocess.Popen([os.path.join(BUILD, "helper", "VantrelHelper")], env=w.env,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            w.wait(lambda: w.helpers(), "the helper")
            w.start_host()
            self.app = w.wait_for_panel()
            self.wait_page("Vantrel Orbit Pro")
            time.sleep(1)
            self.assertEqual(w.helpers(), [helper.pid])
        finally:
            helper.terminate()
            helper.wait(5)


class Devices(PanelCase):
    def test_second_model_chooser_warning_page_and_enumerate(self):
        w = self.world
        self.open_panel("dev1")
        self.wait_page("Vantrel Orbit Pro")
        chooser = lambda: w.showing(self.app, role="filler", name="Connected devices")  # noqa: E731
        self.assertFalse(chooser(), "no chooser for one model")

        w.attach("dev6")
        w.wait(chooser, "the device chooser")
        enabled = [c.get_name() for c in w.showing(self.app, role="check box") if "enabled" in a11y.states(c)]
        self.assertEqual(enabled, ["Vantrel Orbit Pro", "Vantrel Compass"])
        w.click(a11y.find_one(self.app, role="check box", name="Vantrel Compass"))
        self.wait_page("Vantrel Compass")

        # A device the driver has not captured: more HID devices than listed ones.
        time.sleep(5.5)  # past the throttle of the wake's enumerate
        since = time.monotonic()
        w.attach("dev4", unclaimed=True)
        self.wait_page("The device is not ready")
        profile = a11y.find_one(self.app, role="combo box", label="Profile:")
        self.assertNotIn("enabled", a11y.states(profile))
        # One enumerate for the change of counts, however many polls see the same counts.
        time.sleep(6)
        self.assertEqual(len(w.commands(since, "enumerate")), 1)
        # A new change of counts, past the throttle: one more.
        since = time.monotonic()
        w.attach("dev5", unclaimed=True)
        w.wait(lambda: w.commands(since, "enumerate"), "the enumerate for the next change")
        time.sleep(3)
        self.assertEqual(len(w.commands(since, "enumerate")), 1)


class BadInput(PanelCase):
    def strange_autostart(self):
        folder = os.path.join(self.world.home, ".config", "autostart")
        os.makedirs(folder)
        entries = {
            "binary.desktop": bytes(range(256)) * 4,
            "no-exec.desktop": b"[Desktop Entry]\nType=Application\nName=Notes\n",
            "other.desktop": b"[Desktop Entry]\nType=Application\nName=Other\nExec=/usr/bin/true\n",
            "quotes.desktop": b'[Desktop Entry]\nName=Q\nExec="/unterminated\n',
            "huge.desktop": b"[Desktop Entry]\nName=" + b"x" * (4 << 20) + b"\n",
            "latin1-\xe9.desktop": b"[Desktop Entry]\nName=\xe9\xff\nExec=\xff\n",
            "empty.desktop": b"",
            "notes.txt": b"not an entry",
        }
        for name, data in entries.items():
            with open(os.path.join(folder.encode(), name.encode("latin-1")), "wb") as f:
                f.write(data)
        # Named like the helper but pointing elsewhere: the one entry the pane replaces.
        with open(os.path.join(folder, "old-helper.desktop"), "w") as f:
            f.write("[Desktop Entry]\nType=Application\nName=VantrelHelper\nExec=/opt/old/VantrelHelper\n")
        os.mkdir(os.path.join(folder, "folder.desktop"))
        os.symlink("/nonexistent/target.desktop", os.path.join(folder, "dangling.desktop"))
        os.symlink("loop.desktop", os.path.join(folder, "loop.desktop"))
        return folder, entries

    def test_unusable_file_strange_autostart_bad_lists_floods_and_a_stopped_helper(self):
        w = self.world
        garbage = b"\x00\xffbplist00 not a settings file" * 100
        w.write_settings(garbage)
        folder, entries = self.strange_autostart()
        self.open_panel("dev1")
        self.wait_page("Vantrel Orbit Pro")

        # The unusable file is kept beside the factory settings the pane goes on with.
        with open(w.settings_path + ".bak", "rb") as f:
            self.assertEqual(f.read(), garbage)
        self.assertIn("devices", w.settings())
        # The autostart folder: the helper's entry added, nothing else touched.
        for name, data in entries.items():
            with open(os.path.join(folder.encode(), name.encode("latin-1")), "rb") as f:
                self.assertEqual(f.read(), data, name)
        self.assertFalse(os.path.exists(os.path.join(folder, "old-helper.desktop")))
        self.assertTrue(os.path.isdir(os.path.join(folder, "folder.desktop")))
        self.assertTrue(os.path.islink(os.path.join(folder, "dangling.desktop")))
        known = {k.encode("latin-1") for k in entries} | {b"folder.desktop", b"dangling.desktop", b"loop.desktop"}
        added = [n.decode() for n in os.listdir(folder.encode()) if n not in known]
        self.assertEqual(len(added), 1, added)
        with open(os.path.join(folder, added[0])) as f:
            self.assertIn("VantrelPrefPane.prefPane/Contents/Resources/VantrelHelper.app", f.read())

        # Device lists of the wrong size, and a count beyond the list, change nothing.
        for size in (0, 4, LIST_SIZE - 1, LIST_SIZE + 1, 100000):
            w.post(MESSAGE, message({"list": b"\x05\x00\x00\x00" + b"\x00" * max(0, size - 4)}))
        w.post(MESSAGE, message({"list": b"\xff\xff" + b"\x00" * (LIST_SIZE - 2)}))
        w.post(MESSAGE, "<plist><dict><key>list</key><string>no</string></dict></plist>")
        time.sleep(1.5)
        self.assertEqual(w.device_page(self.app), "Vantrel Orbit Pro")

        # A flood of huge notifications: dropped by size; the panel keeps answering and working.
        huge = "x" * (1 << 20)
        flood_start = time.monotonic()
        for _ in range(150):
            w.post(MESSAGE, huge)
            w.post(COMMAND, huge)
        w.page_tab(self.app, "Pointer")
        self.assertEqual(self.change_speed(20)["speed"], 50)
        self.assertLess(time.monotonic() - flood_start, 10)
        self.assertEqual(w.device_page(self.app), None)  # the Pointer page is in front

        # A helper that never answers: the panel neither waits for it nor starts another.
        helper = w.helpers()[0]
        os.kill(helper, signal.SIGSTOP)
        try:
            t = time.monotonic()
            a11y.set_value(self.slider(), 60)
            w.wait(lambda: self.saved_speed() == 330, "the save with the helper stopped")
            self.assertLess(time.monotonic() - t, 2)
            time.sleep(2)
            self.assertEqual(w.helpers(), [helper])
            t = time.monotonic()
            self.assertEqual(w.close_window(), 0)
            self.assertLess(time.monotonic() - t, 3)
        finally:
            os.kill(helper, signal.SIGCONT)
        self.assertEqual(self.saved_speed(), 330)


if __name__ == "__main__":
    BUILD = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
