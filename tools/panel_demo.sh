#!/usr/bin/env bash
# The settings window on the simulated world.
#
# With a display ($DISPLAY or $WAYLAND_DISPLAY that answers) "Vantrel Settings" opens for you to
# try: a private D-Bus session bus holds the device simulator with a Vantrel Orbit Pro plugged
# in, the settings program with the build's panel, and the helper the panel starts. Close the
# window to end it. Without a display the panel runs in a private Xvfb desktop instead and a
# walk-through drives it (tools/panel_walkthrough.py), with screenshots in BUILD-DIR/walkthrough.
#
#   tools/panel_demo.sh [BUILD-DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
for program in "$build/vantrel-settings" "$build/sim/vantrel-sim" "$build/VantrelPrefPane.prefPane"; do
  [ -e "$program" ] || { echo "missing $program: build first (tools/build.sh)" >&2; exit 1; }
done

display_usable() {
  if [ -n "${WAYLAND_DISPLAY:-}" ]; then
    local socket=$WAYLAND_DISPLAY
    [ "${socket#/}" = "$socket" ] && socket="${XDG_RUNTIME_DIR:-/nonexistent}/$socket"
    [ -S "$socket" ] && return 0
  fi
  [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1 && return 0
  [ -n "${DISPLAY:-}" ] && command -v xdotool >/dev/null && xdotool getdisplaygeometry >/dev/null 2>&1
}

if [ -z "${VANTREL_PANEL_DEMO_BUS:-}" ] && display_usable; then
  exec env VANTREL_PANEL_DEMO_BUS=1 dbus-run-session --config-file=platform/dbus/testing/private_bus.conf \
    -- bash "$0" "$build" 2> >(grep -v "fd limit" >&2)
fi

if [ -z "${VANTREL_PANEL_DEMO_BUS:-}" ]; then
  shots=$(cd "$build" && pwd)/walkthrough
  printf '\n== No display here: the settings window runs in a private Xvfb desktop and is driven as a user would\n'
  exec /usr/bin/python3 tools/testing/desktop.py run -- \
    /usr/bin/python3 tools/panel_walkthrough.py "$build" "$shots"
fi

# On the private bus, in front of your display.
home=$(mktemp -d)
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/system_bus_socket
unset QT_QPA_PLATFORM
sim_pid=""
cleanup() {
  set +e
  # The helper the panel started ends with this private bus, when dbus-run-session returns.
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT
mkdir -p "$home/Library/Preferences"
cp sim/demo_settings.plist "$home/Library/Preferences/com.halvorn.vantrel.settings.plist"
"$build/sim/vantrel-sim" --attach dev1 >/dev/null &
sim_pid=$!
"$build/tools/vantrelctl" sim ready --timeout 10000 >/dev/null
printf '\n== "Vantrel Settings" is open on your screen with a simulated Vantrel Orbit Pro plugged in.\n'
printf '   Try the pages; in another terminal nothing of yours is touched (a temporary home folder).\n'
printf '   Close the window to end.\n'
"$build/vantrel-settings" || true
printf '\n== The last settings the simulated device received\n'
"$build/tools/vantrelctl" sim log --kind settings --text | sed -E 's/^\[[0-9]+\] /   /' | tail -n 1
