#!/usr/bin/env bash
# A walk through the factory settings with vantrelctl, in plain words.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ctl="$build/tools/vantrelctl"
echo "== The supported models"
"$ctl" models
echo
echo "== Is the factory settings file usable?"
"$ctl" check resources/DefaultSettings.plist
