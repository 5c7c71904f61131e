#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when any is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libplist-dev
  libxkbcommon-dev libxkbcommon-x11-dev xkb-data
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-declarative-dev qt6-tools-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev
  clang libclang-rt-14-dev
  dbus dbus-bin dbus-daemon
  libudev-dev umockdev libumockdev-dev python3-dbusmock
  xvfb xauth libxcb1-dev
  at-spi2-core gir1.2-atspi-2.0 python3-gi xdotool x11-xkb-utils imagemagick fonts-dejavu-core
  time
  desktop-file-utils
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
