#!/usr/bin/env bash
# The main job: installs what is missing, builds, and shows the system at work.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/build.sh release >/dev/null
exec bash tools/system_demo.sh build
