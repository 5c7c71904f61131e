#!/usr/bin/env bash
# The main job: installs what is missing, builds, and shows the system at work: the helper with
# the device simulator, then the settings window (on your display, or driven under Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
bash tools/build.sh release >/dev/null
bash tools/system_demo.sh build
exec bash tools/panel_demo.sh build
