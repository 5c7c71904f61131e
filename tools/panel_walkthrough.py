#!/usr/bin/python3
"""The settings window at work in the simulated world, driven as a user would, in plain words.

Inside a private desktop (Xvfb, its own session bus and accessibility bus):
    /usr/bin/python3 tools/testing/desktop.py run -- /usr/bin/python3 tools/panel_walkthrough.py BUILD SHOTS

The device simulator stands in for the driver, the settings program opens the panel from the
build's pane bundle, and the panel starts the helper itself. The walk-through selects the panel,
changes the pointer speed, watches the device receive it, plugs in a second device of another
model, one the driver has not captured, and closes the window; screenshots go to SHOTS.
"""

import os
import shutil
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "testing"))
import a11y  # noqa: E402
from panel_world import PanelWorld, speed_in_words  # noqa: E402


def say(text):
    print(f"\n== {text}", flush=True)


def note(text):
    print(f"   {text}", flush=True)


def main():
    build, shots = sys.argv[1], sys.argv[2]
    os.makedirs(shots, exist_ok=True)
    world = PanelWorld(build)
    try:
        return walk(world, os.path.abspath(shots))
    finally:
        world.close()


def walk(world, shots):
    taken = []

    def shot(name):
        time.sleep(0.3)  # the last repaint after a change
        taken.append(world.shot(os.path.join(shots, name)))

    say("The settings window opens on the simulated world: a Vantrel Orbit Pro is plugged in")
    os.makedirs(os.path.dirname(world.settings_path), exist_ok=True)
    shutil.copy(os.path.join(HERE, "..", "sim", "demo_settings.plist"), world.settings_path)
    world.start_simulator("dev1")
    note("(the helper is not running yet: the panel is to start it)")
    t0 = time.monotonic()
    world.start_host()
    app = world.wait_for_panel()
    note(f"\"Vantrel Settings\" is on the screen {1000 * (time.monotonic() - t0):.0f} ms after it was started")
    world.wait(lambda: world.helpers(), "the helper to run", 10)
    note(f"the panel found no helper in this session and started it from its bundle "
         f"(process {world.helpers()[0]})")

    say("The panel is selected: it tells the helper it is in front and asks for the devices")
    world.wait(lambda: world.commands(command="front"), "front")
    front = world.commands(command="front")[0][1]
    note(f"command \"front\" with front = {str(front.get('front')).lower()}: the helper stops "
         "sending button actions while the user edits them")
    world.wait(lambda: len(world.commands(command="list")) >= 2, "two list polls", 5)
    note("command \"list\" once a second while the window is open; the helper answers with its devices")
    world.wait(lambda: world.device_page(app) == "Vantrel Orbit Pro", "the Orbit Pro's page")
    note("the Buttons page shows the Vantrel Orbit Pro, its picture and its six buttons and chords")
    shot("1-device-page.png")

    say("On the Pointer page the pointer speed slider is moved")
    world.page_tab(app, "Pointer")
    slider = a11y.find_one(app, role="slider", name="Pointer speed")
    before = a11y.value(slider)["current"]
    mark = world.seq()
    t_set = time.monotonic()
    a11y.set_value(slider, 60)
    records = world.wait_log(mark, "settings")
    if records:
        fields = records[0].get("fields", {})
        dpi = [d.get("options", {}).get("speed") for d in world.settings().get("devices", [])][0]
        note(f"slider moved from {before:g} to 60; the panel saved {dpi} dots per inch in the settings "
             "file and told the helper")
        note(f"the Orbit Pro received a new settings record {1000 * (records[0]['time_ns'] / 1e9 - t_set):.0f} ms "
             f"later: speed byte {speed_in_words(fields.get('speed', 0))}")
    else:
        note("(the device received no new record)")
    shot("2-pointer-speed.png")

    say("A Vantrel Compass, another model, is plugged in next to it")
    world.attach("dev6")
    world.page_tab(app, "Buttons")
    chooser = lambda: world.showing(app, role="filler", name="Connected devices")  # noqa: E731
    world.wait(chooser, "the device chooser", 10)
    cells = [c.get_name() for c in world.showing(app, role="check box")
             if "enabled" in a11y.states(c)]
    note(f"the panel shows a device chooser with the connected models: {' and '.join(cells)}")
    compass = a11y.find_one(app, role="check box", name="Vantrel Compass")
    world.click(compass)
    world.wait(lambda: world.device_page(app) == "Vantrel Compass", "the Compass's page")
    note("choosing the Compass shows its page: two buttons and a chord")
    shot("3-chooser-compass.png")

    say("A third device is plugged in that the driver has not captured")
    mark = world.seq()
    since = time.monotonic()
    world.attach("dev4", unclaimed=True)
    world.wait(lambda: world.device_page(app) == "The device is not ready", "the warning page", 10)
    warning = [a11y.text(o) or o.get_name() for o in world.showing(app, role="label", name="Device warning")]
    note("the panel counts three devices but the helper lists two: it shows the warning page")
    if warning:
        note(f"  \"{warning[0]}\"")
    world.wait(lambda: world.commands(since, "enumerate"), "enumerate", 10)
    note("and asks the helper once to enumerate the devices again (at most every five seconds)")
    shot("4-warning-page.png")

    say("The window is closed: the panel saves and gives the front back")
    since = time.monotonic()
    status = world.close_window()
    saved = world.settings()
    speeds = [d.get("options", {}).get("speed") for d in saved.get("devices", [])]
    note(f"vantrel-settings ended with status {status}; the settings file holds the speeds {speeds}")
    fronts = world.commands(since, "front")
    if fronts:
        note(f"command \"front\" with front = {str(fronts[-1][1].get('front')).lower()}: "
             "the helper carries out button actions again")
    note(f"the helper keeps running for the session (process {', '.join(map(str, world.helpers()))})")

    say("Screenshots")
    for path in taken:
        note(path)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
