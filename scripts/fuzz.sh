#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and fuzzes the settings store for about
# 20 seconds from a copy of the seed corpus kept in tests/fuzz/corpus/ini.
# Usage: scripts/fuzz.sh [BUILD_FOLDER]   (default build/fuzz). Fails on a crash or a leak.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-20}
cd "$root"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 --target velkaron_fuzz_ini

# The corpus in the repository stays as it is: the fuzzer adds its finds to a copy,
# and its own files go to a private temporary folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r tests/fuzz/corpus/ini "$work/corpus"
mkdir "$work/tmp" "$work/artifacts"

status=0
TMPDIR="$work/tmp" "$build/bin/velkaron_fuzz_ini" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -artifact_prefix="$work/artifacts/" "$work/corpus" || status=$?

if [ "$status" -ne 0 ] || [ -n "$(ls -A "$work/artifacts")" ]; then
  mkdir -p "$build/fuzz-artifacts"
  cp -r "$work/artifacts/." "$build/fuzz-artifacts/"
  echo "fuzz: the settings store failed (exit $status); inputs kept in $build/fuzz-artifacts" >&2
  exit 1
fi
echo "fuzz: settings store clean after ${seconds}s"
