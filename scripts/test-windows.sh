#!/usr/bin/env bash
# Cross-builds the Qt-free core for Windows (build-mingw/: the logic, the profile processing,
# the serial layer with its Win32 backend, the backend's tests) and runs the backend's tests
# under wine against the simulated sensor, whose pseudo-terminal wine opens as COM1 and COM12.
#
# The simulator is the Linux one (build/bin/kvor-sensor-sim, built here when missing). Wine
# maps a COM port to a device through the registry value HKLM\Software\Wine\Ports\COMn and
# rewrites dosdevices/comN from it when the wineserver starts, so the ports are set there and
# the wineserver is restarted; they name a link that each simulator run points at its own
# pseudo-terminal. Figures go to build-mingw/windows-figures.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh

jobs=$(nproc)
sim=${KVOR_SIM:-build/bin/kvor-sensor-sim} # another build's simulator may be named
if [ ! -x "$sim" ]; then
  sim=build/bin/kvor-sensor-sim
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$jobs" --target kvor-sensor-sim
fi
cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DKVOR_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-mingw -j"$jobs"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
run=$(mktemp -d "${TMPDIR:-/tmp}/kvor-wine.XXXXXX")
export WINEPREFIX="$root/build-mingw/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
sim_pid=""
finish() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$run"
}
trap finish EXIT

# A prefix of its own, made once (about 20 s) and kept in the build folder.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot -i >"$run/wineboot.log" 2>&1 || { cat "$run/wineboot.log"; exit 1; }
fi
line="$run/line"
for port in COM1 COM12; do
  "$wine" reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$line" /f >/dev/null 2>&1
done
"$wineserver" -k >/dev/null 2>&1 || true
"$wineserver" -w >/dev/null 2>&1 || true
# The wineserver writes its own diagnostics to the standard error it was started with.
"$wineserver" -p >"$run/wineserver.log" 2>&1

start_sim() {
  rm -f "$line"
  "$sim" --link "$line" "$@" >"$run/sim.out" 2>"$run/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do
    [ -L "$line" ] && grep -q '^PORT ' "$run/sim.out" && return 0
    sleep 0.05
  done
  echo "the simulated sensor did not start" >&2
  cat "$run/sim.err" >&2
  exit 1
}
stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}

figures="$root/build-mingw/windows-figures.txt"
: >"$figures"
status=0
# Pass 1: every case but the hang-up.
start_sim
# Output into files, not pipes: wine's own service processes keep a pipe open after the
# test has ended.
"$wine" build-mingw/tests/backend_test.exe >"$run/pass1.log" 2>&1 || status=1
tr -d '\r' <"$run/pass1.log"
grep -q '^\[  PASSED  \]' "$run/pass1.log" && ! grep -q '^\[  FAILED  \]' "$run/pass1.log" || status=1
stop_sim
# Pass 2: a simulator that drops the line at its fourth request.
start_sim --fault hangup-after=3
KVOR_EXPECT_HANGUP_AFTER=3 "$wine" build-mingw/tests/backend_test.exe \
  --gtest_filter='BackendHangUp.*' >"$run/pass2.log" 2>&1 || status=1
tr -d '\r' <"$run/pass2.log"
grep -q '^\[  PASSED  \]' "$run/pass2.log" && ! grep -q '^\[  FAILED  \]' "$run/pass2.log" || status=1
stop_sim
grep -h '^FIGURE' "$run/pass1.log" "$run/pass2.log" | tr -d '\r' >>"$figures" || true
echo "figures under wine:"
cat "$figures"
exit "$status"
