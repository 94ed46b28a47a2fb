#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for about 20 seconds:
# the settings store from tests/fuzz/corpus/ini, the packet readers from
# tests/fuzz/corpus/packet and the hand-made packets of tests/fixtures/packets.
# Usage: scripts/fuzz.sh [BUILD_FOLDER [TARGET...]]   (default build/fuzz, ini packet)
# FUZZ_SECONDS sets the time per target. Fails on a crash, a leak or a broken oracle.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/fuzz}
shift || true
targets=("${@:-ini}")
[ $# -gt 0 ] || targets=(ini packet)
seconds=${FUZZ_SECONDS:-20}
cd "$root"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/velkaron_fuzz_}"

# The corpora in the repository stay as they are: the fuzzer adds its finds to a copy.
# Everything goes to memory where the system has it: the targets write files on every
# run, and on a disk they would mostly wait for it.
tmp_base=/tmp
[ -d /dev/shm ] && [ -w /dev/shm ] && tmp_base=/dev/shm
work=$(mktemp -d -p "$tmp_base" velkaron-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT

status=0
for target in "${targets[@]}"; do
  mkdir -p "$work/$target/tmp" "$work/$target/artifacts"
  cp -r "tests/fuzz/corpus/$target" "$work/$target/corpus"
  seeds=()
  [ "$target" = packet ] && seeds=(tests/fixtures/packets)
  rc=0
  TMPDIR="$work/$target/tmp" "$build/bin/velkaron_fuzz_$target" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$work/$target/artifacts/" "$work/$target/corpus" "${seeds[@]}" 2>"$work/$target/log" || rc=$?
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$work/$target/log" || true
  if [ "$rc" -ne 0 ] || [ -n "$(ls -A "$work/$target/artifacts")" ]; then
    mkdir -p "$build/fuzz-artifacts/$target"
    cp -r "$work/$target/artifacts/." "$build/fuzz-artifacts/$target/"
    tail -n 40 "$work/$target/log" >&2
    echo "fuzz: $target failed (exit $rc); inputs kept in $build/fuzz-artifacts/$target" >&2
    status=1
  else
    echo "fuzz: $target clean after ${seconds}s"
  fi
done
exit $status
