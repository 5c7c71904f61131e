#!/usr/bin/python3
"""`cmake --install` into a temporary prefix, as a user installs into ~/.local: the tree, the
bundle copied whole with real files, the desktop entry (desktop-file-validate), the icon, the
installed tools finding the installed resources, and the installed settings program loading the
installed pane bundle (offscreen, on a private session bus, with a temporary home).

    install_test.py BUILD_DIR SOURCE_DIR VERSION STUB_PANE
STUB_PANE stands in for the pane's program while the build has none.
"""

import filecmp
import json
import os
import plistlib
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

BUILD = SOURCE = VERSION = STUB = None
PANE = "lib/vantrel/VantrelPrefPane.prefPane"
HELPER = PANE + "/Contents/Resources/VantrelHelper.app"


def desktop_entry(path):
    """The [Desktop Entry] group as a dict of raw values."""
    group, values = None, {}
    with open(path, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                values[key] = value
    return values


def exec_arguments(value):
    """The arguments of an Exec value: string escapes, then double quotes, then %%."""
    text = value.replace("\\s", " ").replace("\\\\", "\\")
    args, i = [], 0
    while i < len(text):
        if text[i] == " ":
            i += 1
            continue
        arg = ""
        if text[i] == '"':
            i += 1
            while text[i] != '"':
                if text[i] == "\\":
                    i += 1
                arg += text[i]
                i += 1
            i += 1
        else:
            while i < len(text) and text[i] != " ":
                arg += text[i]
                i += 1
        args.append(arg.replace("%%", "%"))
    return args


def installed_processes(prefix):
    """Processes whose program lies under the prefix (the helper a real pane starts)."""
    found = []
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                if os.readlink(f"/proc/{pid}/exe").startswith(prefix + "/"):
                    found.append(int(pid))
            except OSError:
                pass
    return found


class Installation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="vantrel-install-")
        # A prefix with characters the desktop entry must quote and escape.
        cls.prefix = os.path.join(cls.tmp, "my prefix %1")
        result = subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix],
                                capture_output=True, text=True)
        if result.returncode != 0:
            raise RuntimeError("cmake --install failed:\n" + result.stdout + result.stderr)

    @classmethod
    def tearDownClass(cls):
        for pid in installed_processes(cls.prefix):
            os.kill(pid, signal.SIGKILL)
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def path(self, rel):
        return os.path.join(self.prefix, rel)

    def assertExecutable(self, rel):
        st = os.lstat(self.path(rel))
        self.assertTrue(stat.S_ISREG(st.st_mode) and st.st_mode & stat.S_IXUSR, rel)

    def test_tree_and_bundle(self):
        for rel in ("bin/vantrel-settings", "bin/vantrelctl", HELPER + "/Contents/MacOS/VantrelHelper"):
            self.assertExecutable(rel)
        with open(self.path(PANE + "/Contents/Info.plist"), "rb") as f:
            pane = plistlib.load(f)
        self.assertEqual(pane["CFBundleIdentifier"], "com.halvorn.vantrel.prefpane")
        self.assertEqual(pane["CFBundleVersion"], VERSION)
        self.assertEqual(pane["CFBundleExecutable"], "VantrelPrefPane")
        self.assertEqual(pane["NSPrincipalClass"], "VantrelPrefPane")
        self.assertEqual(pane["NSMainNibFile"], "VantrelPrefPane")
        with open(self.path(HELPER + "/Contents/Info.plist"), "rb") as f:
            helper = plistlib.load(f)
        self.assertEqual(helper["CFBundleIdentifier"], "com.halvorn.vantrel.helper")
        self.assertEqual(helper["CFBundleExecutable"], "VantrelHelper")
        self.assertIs(helper["LSUIElement"], True)
        for rel in ["DefaultSettings.plist", "en.lproj/Localizable.strings", "de.lproj/Localizable.strings",
                    "devices/vantrel.svg"] + [f"devices/dev{n}.svg" for n in range(1, 8)]:
            self.assertTrue(os.path.isfile(self.path(PANE + "/Contents/Resources/" + rel)), rel)
        for rel in ["DefaultSettings.plist", "en.lproj/Localizable.strings", "de.lproj/Localizable.strings"] + \
                [f"DefaultHotKeys10{n}.plist" for n in range(6, 10)]:
            self.assertTrue(os.path.isfile(self.path(HELPER + "/Contents/Resources/" + rel)), rel)

        # The whole bundle of the build tree, file for file, and nothing but real files.
        built = os.path.join(BUILD, "VantrelPrefPane.prefPane")
        for folder, dirs, files in os.walk(built):
            for name in files:
                rel = os.path.relpath(os.path.join(folder, name), built)
                copy = self.path(PANE + "/" + rel)
                self.assertTrue(filecmp.cmp(os.path.join(folder, name), copy, shallow=False), rel)
        for folder, dirs, files in os.walk(self.prefix):
            for name in dirs + files:
                self.assertFalse(os.path.islink(os.path.join(folder, name)), os.path.join(folder, name))

        self.assertTrue(filecmp.cmp(self.path("share/icons/hicolor/scalable/apps/vantrel-settings.svg"),
                                    os.path.join(SOURCE, "resources/devices/vantrel.svg"), shallow=False))

    def test_desktop_entry(self):
        entry = self.path("share/applications/vantrel-settings.desktop")
        result = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        values = desktop_entry(entry)
        self.assertEqual(values["Name"], "Vantrel Settings")
        self.assertEqual(values["Name[de]"], "Vantrel-Einstellungen")
        self.assertTrue(values["Comment"])
        self.assertEqual(values["Icon"], "vantrel-settings")
        self.assertEqual(values["Categories"], "Settings;HardwareSettings;")
        self.assertEqual(values["StartupWMClass"], "vantrel-settings")
        self.assertEqual(exec_arguments(values["Exec"]), [self.path("bin/vantrel-settings")])
        self.assertEqual(values["TryExec"], self.path("bin/vantrel-settings"))

    def test_staged_install_names_the_final_prefix(self):
        stage = os.path.join(self.tmp, "stage")
        subprocess.run(["cmake", "--install", BUILD, "--prefix", "/opt/vantrel"], check=True,
                       capture_output=True, env=dict(os.environ, DESTDIR=stage))
        values = desktop_entry(os.path.join(stage, "opt/vantrel/share/applications/vantrel-settings.desktop"))
        self.assertEqual(values["Exec"], "/opt/vantrel/bin/vantrel-settings")
        self.assertTrue(os.path.isfile(os.path.join(stage, "opt/vantrel", HELPER, "Contents/MacOS/VantrelHelper")))

    def environment(self, home):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER")}
        env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=home,
                   QT_QPA_PLATFORM="offscreen", LC_ALL="C")
        return env

    def test_installed_tools_use_the_installed_resources(self):
        home = tempfile.mkdtemp(dir=self.tmp)
        out = subprocess.run([self.path("bin/vantrelctl"), "check"], env=self.environment(home),
                             capture_output=True, text=True, check=True).stdout
        self.assertEqual(json.loads(out)["path"], self.path(HELPER + "/Contents/Resources/DefaultSettings.plist"))

    def test_installed_host_loads_the_installed_bundle(self):
        program = self.path(PANE + "/Contents/MacOS/VantrelPrefPane")
        stub = not os.path.exists(program)
        if stub:
            os.makedirs(os.path.dirname(program), exist_ok=True)
            shutil.copy(STUB, program)
        home = tempfile.mkdtemp(dir=self.tmp)
        log = os.path.join(home, "calls.log")
        env = self.environment(home)
        env["VANTREL_STUB_PANE_LOG"] = log
        # A session bus of its own.
        bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--nopidfile",
                                f"--address=unix:dir={home}", "--print-address=1"],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, env=env)
        self.addCleanup(lambda: (bus.terminate(), bus.wait(), bus.stdout.close()))
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().strip()
        # Started as from the desktop entry: no arguments, so it finds ../lib/vantrel itself.
        host = subprocess.Popen([self.path("bin/vantrel-settings")], env=env, stderr=subprocess.PIPE, text=True)
        try:
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline and host.poll() is None:
                if stub and os.path.exists(log):
                    with open(log) as f:
                        if "window became key" in f.read():
                            break
                time.sleep(0.05)
            if not stub:
                time.sleep(3)  # the real pane: still running, nothing to report
            self.assertIsNone(host.poll(), host.stderr.read() if host.poll() is not None else "")
        finally:
            host.send_signal(signal.SIGTERM)
            host.wait(10)
            err = host.stderr.read()
            host.stderr.close()
        self.assertEqual(host.returncode, 0, err)
        if stub:
            bundle = os.path.realpath(self.path(PANE))
            with open(log) as f:
                calls = f.read().splitlines()
            self.assertIn("initWithBundle " + bundle, calls)
            self.assertIn("main bundle " + bundle, calls)
            self.assertEqual(calls[-2:], ["willUnselect", "destroyed, view alive"])


if __name__ == "__main__":
    BUILD, SOURCE, VERSION, STUB = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
