#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks and the
# program need. Both set-up commands of README.md call this script.
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools libqt6opengl6-dev
  qt6-serialport-dev libqt6serialport6
  libqcustomplot-dev libqcustomplot2.1-qt6
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-dev
  xvfb xauth x11-utils imagemagick poppler-utils
  at-spi2-core dbus-daemon dbus-x11 python3-pyatspi
  fonts-dejavu-core
  libmosquitto-dev mosquitto mosquitto-clients
  dpkg-dev fakeroot file lintian desktop-file-utils appstream man-db librsvg2-bin
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
