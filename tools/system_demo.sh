#!/usr/bin/env bash
# The system at work on this machine, in plain words.
#
# A private D-Bus session bus holds the device simulator (standing in for the trackball's kernel
# driver and for the parts of the operating system this machine lacks) and the helper. A
# simulated Vantrel Orbit Pro is plugged in, applications come to the front, buttons are pressed,
# and the script shows what the device received. Nothing leaves the private session: keystrokes
# go back to the simulated driver, the pasteboard, Apple events and launches are the simulator's.
#
#   tools/system_demo.sh [BUILD-DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

if [ -z "${VANTREL_DEMO_BUS:-}" ]; then
  # Run the rest on a private session bus that ends with this script; it starts no service of
  # this machine on demand.
  exec env VANTREL_DEMO_BUS=1 dbus-run-session --config-file=platform/dbus/testing/private_bus.conf \
    -- bash "$0" "$build" 2> >(grep -v "fd limit" >&2)
fi

ctl="$build/tools/vantrelctl"
for program in "$ctl" "$build/sim/vantrel-sim" "$build/helper/VantrelHelper"; do
  [ -x "$program" ] || { echo "missing $program: build first (tools/build.sh)" >&2; exit 1; }
done

home=$(mktemp -d)
export HOME="$home" XDG_RUNTIME_DIR="$home" QT_QPA_PLATFORM=offscreen
# No system bus either: nothing can reach this machine's logind.
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/system_bus_socket
unset DISPLAY WAYLAND_DISPLAY
sim_pid="" helper_pid=""
# Asks the process to end, and after 5 seconds makes it.
stop() {
  local pid=$1
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
cleanup() {
  set +e  # whatever the programs' exit statuses, everything is cleaned up
  stop "$helper_pid"
  stop "$sim_pid"
  rm -rf "$home"
}
trap cleanup EXIT

say() { printf '\n== %s\n' "$*"; }
note() { printf '   %s\n' "$*"; }
seq_now() { "$ctl" sim seq | sed -E 's/.*"seq":([0-9]+).*/\1/'; }
# Waits for COUNT log entries of KIND after SINCE, then shows everything since SINCE.
show() {
  local since=$1 kind=$2 count=${3:-1}
  "$ctl" sim wait "$kind" --since "$since" --count "$count" --timeout 5000 >/dev/null ||
    note "(waited in vain for $kind)"
  "$ctl" sim log --since "$since" --text | sed -E 's/^\[[0-9]+\] /   /'
}

say "The settings file: the factory profile of the Orbit Pro, and a profile for the application \"Editor\""
mkdir -p "$home/Library/Preferences"
cp sim/demo_settings.plist "$home/Library/Preferences/com.halvorn.vantrel.settings.plist"
note "(a copy of sim/demo_settings.plist in a temporary home folder; your own files are not touched)"

say "A Vantrel Orbit Pro is plugged in; the simulated driver captures it"
"$build/sim/vantrel-sim" --attach dev1 >/dev/null &
sim_pid=$!
"$ctl" sim ready --timeout 10000 >/dev/null
"$ctl" sim log --text | sed -E 's/^\[[0-9]+\] /   /'

say "The helper starts, opens the device and sends it the settings that fit it"
mark=$(seq_now)
"$build/helper/VantrelHelper" >/dev/null 2>&1 &
helper_pid=$!
show "$mark" scroll

say "Button 4 is pressed; its profile says \"back\": the helper has the driver type it"
mark=$(seq_now)
"$ctl" sim press button4 >/dev/null
show "$mark" control

say "The application \"Editor\" comes to the front: the device gets Editor's settings"
mark=$(seq_now)
"$ctl" sim activate --bundle-id com.example.editor --name Editor --executable Editor --signature EDIT >/dev/null
show "$mark" scroll

say "Button 4 now copies, Chord 1 pastes snippet 1, Chord 2 puts the computer to sleep"
mark=$(seq_now)
"$ctl" sim press button4 >/dev/null
show "$mark" control
mark=$(seq_now)
"$ctl" sim press chord1 >/dev/null
show "$mark" pasteboard 2
mark=$(seq_now)
"$ctl" sim press chord2 >/dev/null
show "$mark" "apple event"
note "(the sleep request went to the simulator; this machine did not sleep)"

say "A button the driver handles itself: Button 1 clicks, the helper is not involved"
mark=$(seq_now)
"$ctl" sim press button1 >/dev/null
"$ctl" sim log --since "$mark" --text | sed -E 's/^\[[0-9]+\] /   /'

say "Safari comes to the front: back to the Orbit Pro's profile for all applications"
mark=$(seq_now)
"$ctl" sim activate --bundle-id com.apple.Safari --name Safari --signature sfri >/dev/null
show "$mark" scroll
mark=$(seq_now)
"$ctl" sim press button4 >/dev/null
show "$mark" control
note "(in a web browser \"back\" is Command-[ rather than Command-left arrow)"

say "The device is unplugged"
mark=$(seq_now)
"$ctl" sim detach all >/dev/null
"$ctl" sim log --since "$mark" --text | sed -E 's/^\[[0-9]+\] /   /'
echo
