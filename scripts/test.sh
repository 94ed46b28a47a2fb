#!/usr/bin/env bash
# Sets up, builds and runs every test: native (ASan and UBSan), a build with
# CMake's default generator from an empty folder, the INI fuzzer, the win64 build
# under 64-bit Wine, the release (scripts/release.sh builds and checks what users
# download), then the release's own 32-bit programs under 32-bit Wine: the win32
# build is the release build, its tests run the very programs the zip ships, and
# its installer test installs the release's setup.exe (code page 936, GUI tests in
# Xvfb, the installer in a prefix of its own). Builds the reader library's example
# consumers against its installed package (natively, and with MinGW for both
# Windows builds) and natively as a subproject, and builds the benchmarks. Exits
# non-zero when any step fails.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

status=0
# Runs one step, then says how long it took: where the test command's time goes.
step() {
  local start=$SECONDS
  echo "==> $*"
  "$@" || { echo "FAILED: $*"; status=1; }
  echo "    ($((SECONDS - start)) s)"
}

step cmake --preset native
step cmake --build --preset native -j2
step ctest --preset native

# As packagers build: CMake's default generator, in parallel, from an empty folder.
step rm -rf build/default
step env -u CMAKE_GENERATOR cmake -S . -B build/default -DCMAKE_BUILD_TYPE=Release -DVELKARON_TESTS=OFF
step cmake --build build/default -j2

if [ -f scripts/fuzz.sh ]; then
  step bash scripts/fuzz.sh build/fuzz
fi

# One X server for the GUI tests of both Windows builds.
display=90
while [ -e /tmp/.X$display-lock ] || [ -e /tmp/.X11-unix/X$display ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=:$display
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT

# wine_suite PRESET: the build's tests in its own prefix (a win64 prefix for win64, a
# win32 one for win32), with one wineserver for the whole suite instead of one per test
# process (/usr/lib/wine/wineserver, 64-bit where it is installed, serves either kind of
# prefix), then the reader's consumers built with MinGW against its installed package.
# The test presets run 4 tests at a time on 2 cores: under Wine a test mostly waits for
# processes to start and for the wineserver, and 4 at a time take half the time 2 do.
wine_suite() {
  local prefix=$PWD/build/$1/wineprefix
  step env WINEARCH="$1" scripts/wine-run.sh "$prefix" cmd /c exit 0
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p 60
  step ctest --preset "$1"
  step bash tests/install/check-consumers.sh "build/$1" "$1"
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
}

step cmake --preset win64
step cmake --build --preset win64 -j2
wine_suite win64

step bash scripts/release.sh
step bash tests/install/check-consumers.sh build/release

# The 32-bit suite needs a kernel that runs 32-bit programs: asked of the kernel
# itself, so that 32-bit Wine failing for any other reason fails the test command.
refusal=$(python3 scripts/kernel-runs-i386.py build) && i386=0 || i386=$?
if [ "$i386" -eq 3 ]; then
  echo "==> SKIPPED the win32 suite under 32-bit Wine: $refusal"
elif [ "$i386" -ne 0 ]; then
  echo "FAILED: python3 scripts/kernel-runs-i386.py build"
  status=1
else
  # The build release.sh made dist/ from: its test programs join the release's.
  step cmake --preset win32
  step cmake --build --preset win32 -j2
  wine_suite win32
  # dist/ is still what release.sh checked, untouched by the suite's build.
  step bash -c 'cd dist && sha256sum --quiet -c SHA256SUMS'
fi

# The optimised build warns where the others do not: build it too (not run).
step cmake --preset bench
step cmake --build --preset bench -j2

[ $status -eq 0 ] && echo "All test steps passed." || echo "Some test steps FAILED."
exit $status
