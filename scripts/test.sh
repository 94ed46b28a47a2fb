#!/usr/bin/env bash
# Sets up, builds and runs every test: native (ASan and UBSan), the INI fuzzer,
# the win64 build under Wine (code page 936, GUI tests in Xvfb); builds the
# 32-bit release. Exits non-zero when any step fails.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

status=0
step() {
  echo "==> $*"
  "$@" || { echo "FAILED: $*"; status=1; }
}

step cmake --preset native
step cmake --build --preset native -j2
step ctest --preset native

if [ -f scripts/fuzz.sh ]; then
  step bash scripts/fuzz.sh build/fuzz
fi

step cmake --preset win64
step cmake --build --preset win64 -j2
# One wineserver for the whole run instead of one per test process.
prefix=$PWD/build/win64/wineprefix
step scripts/wine-run.sh "$prefix" cmd /c exit 0
WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 60
step ctest --preset win64
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true

step cmake --preset win32
step cmake --build --preset win32 -j2

[ $status -eq 0 ] && echo "All test steps passed." || echo "Some test steps FAILED."
exit $status
