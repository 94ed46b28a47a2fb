#!/usr/bin/env bash
# Builds the examples of examples/reader against the reader library as `cmake
# --install` places it in a temporary prefix, with CMake (find_package(Velkaron): the
# C++ one on the static library, the C one on the shared one) and with pkg-config (the
# C one), and runs each on a packet of the example folder that the installed
# velkaron-pack makes: natively, or built with MinGW and run under Wine.
#   check-consumers.sh BUILD_DIR          a native build, e.g. build/release
#   check-consumers.sh BUILD_DIR win64    build/win64, run in its Wine prefix
#   check-consumers.sh BUILD_DIR win32    build/win32, run in its 32-bit Wine prefix
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1
target=${2:-native}
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "check-consumers: $target: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$root/prefix" >/dev/null || fail "cmake --install $build failed"
configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$root/prefix")
if [ "$target" = win64 ] || [ "$target" = win32 ]; then
  arch=x86_64
  [ "$target" = win32 ] && arch=i686
  # The C++ runtime goes into each program, as into ours: Wine has no MinGW DLLs.
  configure+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" -DCMAKE_EXE_LINKER_FLAGS=-static)
  cc=$arch-w64-mingw32-gcc-posix
  exe=.exe
  here() { echo "Z:${1//\//\\}"; }  # what Wine calls a Linux path
  run() { WINEARCH=$target scripts/wine-run.sh "$build/wineprefix" "$@"; }
else
  cc=cc
  exe=
  here() { echo "$1"; }
  run() { LD_LIBRARY_PATH="$root/prefix/lib" "$@"; }
fi

cmake -S examples/reader -B "$root/cmake" "${configure[@]}" >/dev/null || fail "configuring against find_package(Velkaron) failed"
cmake --build "$root/cmake" >/dev/null || fail "building the examples with CMake failed"
mkdir -p "$root/pc"
export PKG_CONFIG_LIBDIR="$root/prefix/lib/pkgconfig" PKG_CONFIG_PATH=
# shellcheck disable=SC2046  # pkg-config's flags are words
"$cc" examples/reader/list-packet.c $(pkg-config --cflags --libs velkaron-reader) -o "$root/pc/list-packet-c$exe" ||
  fail "building the C example with pkg-config failed"
[ "$target" = native ] || cp "$root"/prefix/bin/*.dll "$root/pc/"

packet=$root/sample.dat
run "$root/prefix/bin/velkaron-pack$exe" pack examples/sample "$(here "$packet")" --work-dir "$(here "$root/work")" -q \
  >/dev/null || fail "the installed velkaron-pack could not pack the example folder"
# What every example must print: each index line as kind, length and path, then readme.txt.
expected=$(python3 - "$packet" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
start = int(data[:64].split()[1])
out = sys.stdout.buffer
for line in data[start:].split(b"\r\n")[:-1]:
    kind, _, length, path = line.split(b",", 3)
    out.write(kind[1:] + b" " + length + b" " + path + b"\n")
out.write(open("examples/sample/readme.txt", "rb").read())
PY
)
for program in "$root/cmake/list-packet-cpp$exe" "$root/cmake/list-packet-c$exe" "$root/pc/list-packet-c$exe"; do
  got=$(run "$program" "$(here "$packet")" readme.txt | tr -d '\r') || fail "$program failed"
  [ "$got" = "$(tr -d '\r' <<<"$expected")" ] || fail "$program printed something else:
$got"
done
echo "check-consumers: $target: the CMake and pkg-config consumers list the packet and print its file"
