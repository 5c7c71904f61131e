#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite.
#   tools/test.sh              release build, all tests
#   tools/test.sh sanitize     the same suite under AddressSanitizer + UBSan
#   tools/test.sh fuzz [SECS]  every fuzz target for SECS seconds each (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
flavour=${1:-release}
case "$flavour" in
  release|sanitize)
    bash tools/build.sh "$flavour"
    dir=build; [ "$flavour" = sanitize ] && dir=build-asan
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    export QT_QPA_PLATFORM=offscreen
    log=$(mktemp)
    status=0
    ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300 2>&1 | tee "$log" || status=$?
    # One closing line a person or CI can read at a glance: "release: N passed, N failed".
    summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
    rm -f "$log"
    if [ -n "$summary" ]; then
      failed=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
      total=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/')
      echo "$flavour: $((total - failed)) passed, $failed failed"
    fi
    exit "$status"
    ;;
  fuzz)
    secs=${2:-60}
    bash tools/build.sh fuzz
    shopt -s nullglob
    for target in build-fuzz/fuzz/fuzz_*; do
      [ -x "$target" ] || continue
      name=$(basename "$target")
      corpus=$(mktemp -d)
      seeds="fuzz/corpus/${name#fuzz_}"
      [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
      echo "== $name for ${secs}s"
      "$target" -max_total_time="$secs" -rss_limit_mb=2048 -print_final_stats=1 "$corpus" 2>&1 | tail -n 12
      rm -rf "$corpus"
    done
    ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
