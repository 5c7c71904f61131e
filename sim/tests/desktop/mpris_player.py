#!/usr/bin/python3
"""A media player of the tests' own: it owns org.mpris.MediaPlayer2.<NAME> on the session bus,
answers the MPRIS player methods and the Volume and PlaybackStatus properties, and writes every
call it gets to LOG, one line each ("PlayPause", "Volume 0.60"), after "started" and its process
id ("pid 1234").

    /usr/bin/python3 mpris_player.py NAME LOG
"""

import os
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="PlayPause"/><method name="Play"/><method name="Pause"/><method name="Stop"/>
    <method name="Next"/><method name="Previous"/>
    <method name="Seek"><arg type="x" direction="in"/></method>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
  </interface>
</node>
"""


def main():
    name, log_path = sys.argv[1], sys.argv[2]
    state = {"status": "Stopped", "volume": 0.5}

    def log(line):
        with open(log_path, "a") as f:
            f.write(line + "\n")

    def on_call(connection, sender, path, interface, method, params, invocation):
        log(method if method != "Seek" else "Seek %d" % params.unpack()[0])
        if method == "PlayPause":
            state["status"] = "Paused" if state["status"] == "Playing" else "Playing"
        invocation.return_value(None)

    def on_get(connection, sender, path, interface, prop):
        if prop == "Volume":
            return GLib.Variant("d", state["volume"])
        return GLib.Variant("s", state["status"])

    def on_set(connection, sender, path, interface, prop, value):
        state["volume"] = value.unpack()
        log("Volume %.2f" % state["volume"])
        return True

    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    bus.register_object("/org/mpris/MediaPlayer2", info, on_call, on_get, on_set)
    Gio.bus_own_name_on_connection(bus, "org.mpris.MediaPlayer2." + name, Gio.BusNameOwnerFlags.NONE, None, None)
    log("started")
    log("pid %d" % os.getpid())
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
