#!/usr/bin/env bash
# Configures and builds one flavour of the tree.
#   tools/build.sh            release build in build/
#   tools/build.sh sanitize   AddressSanitizer + UBSan build in build-asan/
#   tools/build.sh fuzz       clang libFuzzer build in build-fuzz/
set -euo pipefail
cd "$(dirname "$0")/.."
flavour=${1:-release}
jobs=$(nproc)
case "$flavour" in
  release)  dir=build;      args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) dir=build-asan; args=(-DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON) ;;
  fuzz)     dir=build-fuzz; args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_FUZZ=ON -DVANTREL_WITH_QT=OFF
                                   -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${args[@]}" >/dev/null
ninja -C "$dir" -j "$jobs"
