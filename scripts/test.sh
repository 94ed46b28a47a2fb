#!/usr/bin/env bash
# Sets up, builds and runs every test: native (ASan and UBSan), the INI fuzzer,
# the win64 build under Wine (code page 936, GUI tests in Xvfb, the installer in
# a prefix of its own); builds and checks the release (scripts/release.sh), builds
# the reader library's example consumers against its installed package (natively
# and with MinGW) and builds the benchmarks. Exits non-zero when any step fails.
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
# One X server for the GUI tests and one wineserver for the whole run, instead
# of one of each per test process.
display=90
while [ -e /tmp/.X$display-lock ] || [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
prefix=$PWD/build/win64/wineprefix
step scripts/wine-run.sh "$prefix" cmd /c exit 0
WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 60
step ctest --preset win64
# Programs of other people's, built with MinGW against the installed reader library.
step bash tests/install/check-consumers.sh build/win64 win64
WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true

step bash scripts/release.sh
step bash tests/install/check-consumers.sh build/release

# The optimised build warns where the others do not: build it too (not run).
step cmake --preset bench
step cmake --build --preset bench -j2

[ $status -eq 0 ] && echo "All test steps passed." || echo "Some test steps FAILED."
exit $status
