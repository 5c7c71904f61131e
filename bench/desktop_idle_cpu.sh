#!/bin/bash
# Idle CPU of the helper on an X11 desktop over 60 s: the simulator stands in for the driver
# (one device), snap-to-default off or on ("true"), optionally with a dialog in front. Run it
# inside a private desktop after a release build:
#   /usr/bin/python3 tools/testing/desktop.py run -- bash bench/desktop_idle_cpu.sh [true [dialog]]
# CPU time from /proc/PID/schedstat (nanoseconds on the CPU).
B=$(cd "$(dirname "$0")/.." && pwd)/build
export HOME=$(mktemp -d)
export XDG_DATA_HOME=$HOME/share XDG_DATA_DIRS=$HOME/none DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent
JUMP=${1:-false}
mkdir -p $HOME/Library/Preferences
cat > $HOME/Library/Preferences/com.halvorn.vantrel.settings.plist <<PL
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>version</key><integer>3</integer><key>devices</key><array>
<dict><key>dict version</key><integer>3</integer><key>driver enabled</key><true/>
<key>target app</key><dict/><key>options</key><dict><key>speed</key><integer>400</integer><key>jump</key><$JUMP/></dict>
<key>buttons</key><dict/></dict></array></dict></plist>
PL
$B/sim/vantrel-sim --driver-only --attach dev1 >/dev/null &
SIM=$!
sleep 0.5
$B/helper/VantrelHelper &
HP=$!
if [ "$2" = dialog ]; then
  # Its commands come on standard input; it quits when that ends.
  $B/platform/dbus/vantrel_default_button_dialog "Idle dialog" < <(sleep 120) > $HOME/dlg &
  DLG=$!
  for i in $(seq 50); do grep -q ready $HOME/dlg && break; sleep 0.1; done
  xdotool windowfocus --sync $(awk '{print $2}' $HOME/dlg)
fi
sleep 3
t0=$(awk '{print $1}' /proc/$HP/schedstat); s0=$(date +%s.%N)
sleep 60
t1=$(awk '{print $1}' /proc/$HP/schedstat); s1=$(date +%s.%N)

python3 -c "print('jump=$JUMP $2: helper CPU %.4f%% of a core over %.1f s (%.1f ms on CPU)' % (100.0*($t1-$t0)/1e9/($s1-$s0), $s1-$s0, ($t1-$t0)/1e6))"
kill $HP $SIM; [ -n "$DLG" ] && kill $DLG
wait
rm -rf "$HOME"
