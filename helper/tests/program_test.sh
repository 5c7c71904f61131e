#!/usr/bin/env bash
# The helper program, on a private session bus of its own: it starts and keeps running idle, a
# second instance ends at once without disturbing the first, and SIGTERM ends the first cleanly.
#   program_test.sh HELPER BUS_CONFIG
set -u
helper=$1
config=$2
if [ -z "${VANTREL_PROGRAM_TEST_BUS:-}" ]; then
  # Never this machine's own session bus: the helper would take its name there.
  export VANTREL_PROGRAM_TEST_BUS=1
  unset DISPLAY WAYLAND_DISPLAY
  exec dbus-run-session --config-file="$config" -- bash "$0" "$@"
fi
export QT_QPA_PLATFORM=offscreen
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
"$helper" &
first=$!
trap 'kill -KILL $first 2>/dev/null; rm -rf "$XDG_RUNTIME_DIR"' EXIT
sleep 1
kill -0 $first 2>/dev/null || { echo "the helper did not keep running"; exit 1; }

timeout 10 "$helper"
status=$?
[ $status -eq 0 ] || { echo "the second instance did not end at once (status $status)"; exit 1; }
kill -0 $first 2>/dev/null || { echo "the second instance disturbed the first"; exit 1; }

kill -TERM $first
for _ in $(seq 50); do
  kill -0 $first 2>/dev/null || break
  sleep 0.1
done
if kill -0 $first 2>/dev/null; then echo "the helper ignored SIGTERM"; exit 1; fi
wait $first
status=$?
[ $status -eq 0 ] || { echo "the helper ended with status $status"; exit 1; }
trap - EXIT
rm -rf "$XDG_RUNTIME_DIR"
echo "ok"
