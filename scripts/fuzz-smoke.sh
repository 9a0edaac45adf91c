#!/usr/bin/env bash
# Builds the libFuzzer harnesses (clang, address and undefined-behaviour sanitizers) into
# build-fuzz/ and runs each for a few seconds on a copy of its seed corpus, so that a
# regression in anything that reads outside input shows on every change.
#   scripts/fuzz-smoke.sh [seconds per harness, default 10]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-${FUZZ_SECONDS:-10}}"
bash scripts/install-deps.sh
cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKVOR_FUZZ=ON -DKVOR_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz
export QT_QPA_PLATFORM=offscreen
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# One harness per core at a time, each with its own log.
run_one() {
  local name=$1 rc=0
  mkdir -p "$work/$name"
  cp fuzz/corpus/"$name"/* "$work/$name/"
  build-fuzz/bin/fuzz_"$name" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -artifact_prefix="$work/artifacts/$name-" -print_final_stats=1 "$work/$name" \
    >"$work/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$work/$name.rc"
}
mkdir -p "$work/artifacts"
names=()
for corpus in fuzz/corpus/*/; do names+=("$(basename "$corpus")"); done
jobs=$(nproc)
for ((i = 0; i < ${#names[@]}; i += jobs)); do
  for name in "${names[@]:i:jobs}"; do
    echo "fuzz-smoke: $name for ${seconds} s"
    run_one "$name" &
  done
  wait
done
failed=()
for name in "${names[@]}"; do
  if [ "$(cat "$work/$name.rc")" != 0 ]; then
    tail -40 "$work/$name.log"
    failed+=("$name")
  fi
  echo "fuzz-smoke: $name: $(grep -E "^stat::number_of_executed_units|^#[0-9]+.*DONE" "$work/$name.log" | tr '\n' ' ')"
done
if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzz-smoke: FAILED: ${failed[*]} (inputs in the logs above)"
  exit 1
fi
echo "fuzz-smoke: all harnesses ran clean"
