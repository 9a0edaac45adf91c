#!/usr/bin/env bash
# Builds everything, builds and checks the Debian package, runs every test headless (Qt's
# offscreen platform), cross-builds the Qt-free core for Windows and runs the serial
# backend's tests under wine, then builds the fuzz harnesses and runs each for about 10 s.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
bash scripts/check-package.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2 --timeout 300
bash scripts/test-windows.sh
bash scripts/fuzz-smoke.sh 10
