#!/usr/bin/env bash
# The helper program starts and keeps running idle, a second instance ends at once without
# disturbing the first, and SIGTERM ends the first cleanly.
set -u
helper=$1
# An ended helper that nobody reaped yet does not count, as it does not for the helper itself.
running_helper() {
  local pid state
  for pid in $(pgrep -x VantrelHelper); do
    state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)
    [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ] && return 0
  done
  return 1
}
if running_helper; then
  echo "another VantrelHelper runs on this machine; skipping"
  exit 77
fi
export QT_QPA_PLATFORM=offscreen
"$helper" &
first=$!
trap 'kill -KILL $first 2>/dev/null' EXIT
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
echo "ok"
