#!/usr/bin/env bash
# Builds the program and starts it against the bundled simulated sensor on COM1.
# Extra arguments go to the program (for example --trace trace.log).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh kvor-rur-glint kvor-sensor-sim
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: starting under a virtual X server (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1400x900x24" build/bin/kvor-rur-glint --simulate "$@"
fi
exec build/bin/kvor-rur-glint --simulate "$@"
