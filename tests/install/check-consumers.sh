#!/usr/bin/env bash
# Builds programs of other people's against the reader library as `cmake --install`
# places it in a temporary prefix, and runs each on a packet of the example folder that
# the installed velkaron-pack makes: natively, or built with MinGW and run under Wine.
#   - examples/reader with CMake (find_package(Velkaron)): the C++ example on the static
#     library, the C one on the shared one;
#   - a project in C alone (`project(x C)`) linking the C example to either library;
#   - the C example with pkg-config, shared and --static;
#   - README's example of the library, as the body of a program, built (not run);
#   - natively, where velkaron-physfs was built, a C program reading the packet through
#     PhysFS, with Velkaron::physfs and with pkg-config's velkaron-physfs;
#   - natively, a C program that builds the library inside its own build
#     (tests/install/subproject: add_subdirectory, CMake's default generator, in parallel,
#     from an empty folder), on Velkaron::reader and Velkaron::physfs;
#   - natively also `cc list-packet.c libvelkaron-reader.a` with nothing else, the
#     shared library's exports (vkr_* alone, no GNU_UNIQUE symbol) and its unloading on
#     dlclose; with MinGW the DLL's export table.
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

prefix=$root/prefix
system_pc_path=$(pkg-config --variable pc_path pkg-config)  # where PhysFS's own .pc lies
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install $build failed"
configure=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix")
if [ "$target" = win64 ] || [ "$target" = win32 ]; then
  arch=x86_64
  [ "$target" = win32 ] && arch=i686
  # The C++ runtime goes into each program, as into ours: Wine has no MinGW DLLs.
  configure+=(-DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$arch.cmake" -DCMAKE_EXE_LINKER_FLAGS=-static)
  cc=$arch-w64-mingw32-gcc-posix
  exe=.exe
  static_link=(-static)
  here() { echo "Z:${1//\//\\}"; }  # what Wine calls a Linux path
  run() { WINEARCH=$target scripts/wine-run.sh "$build/wineprefix" "$@"; }
else
  cc=cc
  exe=
  static_link=()
  here() { echo "$1"; }
  run() { LD_LIBRARY_PATH="$prefix/lib" "$@"; }
fi

# The examples, and a project in C alone.
cmake -S examples/reader -B "$root/cmake" "${configure[@]}" >/dev/null ||
  fail "configuring examples/reader against find_package(Velkaron) failed"
cmake --build "$root/cmake" >/dev/null || fail "building the examples with CMake failed"
mkdir -p "$root/c-only"
cat >"$root/c-only/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.21)
project(CalledFromC C)
find_package(Velkaron 1.0 REQUIRED)
add_executable(list-static "$PWD/examples/reader/list-packet.c")
target_link_libraries(list-static PRIVATE Velkaron::reader)
add_executable(list-shared "$PWD/examples/reader/list-packet.c")
target_link_libraries(list-shared PRIVATE Velkaron::reader_shared)
if(TARGET Velkaron::physfs)
  add_executable(physfs-read "$PWD/tests/install/physfs-read.c")
  target_link_libraries(physfs-read PRIVATE Velkaron::physfs)
endif()
EOF
cmake -S "$root/c-only" -B "$root/c-only/build" "${configure[@]}" >/dev/null ||
  fail "configuring a project in C alone against find_package(Velkaron) failed"
cmake --build "$root/c-only/build" >/dev/null || fail "building a project in C alone with CMake failed"

# pkg-config, shared and static; natively the archive alone too.
mkdir -p "$root/pc"
export PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH=
# shellcheck disable=SC2046  # pkg-config's flags are words
"$cc" examples/reader/list-packet.c $(pkg-config --cflags --libs velkaron-reader) -o "$root/pc/shared$exe" ||
  fail "building the C example with pkg-config failed"
static_libs=$(pkg-config --static --libs velkaron-reader)
[ "$target" != native ] || static_libs=${static_libs/-lvelkaron-reader/-l:libvelkaron-reader.a}
# shellcheck disable=SC2046,SC2086
"$cc" examples/reader/list-packet.c $(pkg-config --static --cflags velkaron-reader) $static_libs "${static_link[@]}" \
  -o "$root/pc/static$exe" || fail "building the C example with pkg-config --static failed"
# README's example, between the ```c fence and the next one of the library's section.
{
  printf '#include <stdio.h>\n#include <velkaron/reader.h>\nint main(void) {\n'
  sed -n '/^## Reading packets from your own program/,/^## /{/^```c$/,/^```$/{/^```/!p}}' README.md
  printf 'return 0;\n}\n'
} >"$root/pc/readme-example.c"
grep -q vkr_stream_seek "$root/pc/readme-example.c" || fail "README's example of the library is missing"
# shellcheck disable=SC2046,SC2086
"$cc" -Wall -Werror "$root/pc/readme-example.c" $(pkg-config --static --cflags velkaron-reader) $static_libs \
  "${static_link[@]}" -o "$root/pc/readme-example$exe" || fail "README's example of the library does not build"
programs=("$root/c-only/build/list-static$exe" "$root/c-only/build/list-shared$exe" "$root/cmake/list-packet-c$exe"
          "$root/pc/shared$exe" "$root/pc/static$exe")
if [ "$target" != native ]; then
  for dir in "$root/pc" "$root/c-only/build"; do cp "$prefix"/bin/*.dll "$dir/"; done
else
  cc examples/reader/list-packet.c -I"$prefix/include" "$prefix/lib/libvelkaron-reader.a" -o "$root/pc/archive" ||
    fail "cc list-packet.c libvelkaron-reader.a, with nothing else, failed"
  programs+=("$root/pc/archive")
  cmake -S tests/install/subproject -B "$root/subproject" -DVELKARON_SOURCE_DIR="$PWD" -DCMAKE_BUILD_TYPE=Release \
    >/dev/null || fail "configuring a program that builds the library as its subproject failed"
  cmake --build "$root/subproject" -j2 >/dev/null || fail "building a program with the library as its subproject failed"
  programs+=("$root/subproject/list-packet")
  subproject=", subproject"
fi

packet=$root/sample.dat
run "$prefix/bin/velkaron-pack$exe" pack examples/sample "$(here "$packet")" --work-dir "$(here "$root/work")" -q \
  >/dev/null || fail "the installed velkaron-pack could not pack the example folder"
# What the examples must print: the C++ one each index line in order, the C one each
# folder's entries after its line; then readme.txt.
expected() {
  python3 - "$packet" "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
start = int(data[:64].split()[1])
lines = [line.split(b",", 3) for line in data[start:].split(b"\r\n")[:-1]]
out = sys.stdout.buffer
def show(kind, length, path):
    out.write(kind[1:] + b" " + length + b" " + path + b"\n")
if sys.argv[2] == "index":
    for line in lines:
        show(*line[:1], *line[2:])
else:
    def walk(parent):
        for kind, _, length, path in lines:
            if (path.rsplit(b"\\", 1)[0] if b"\\" in path else b"") == parent:
                show(kind, length, path)
                if kind == b"#D":
                    walk(path)
    walk(b"")
out.write(open("examples/sample/readme.txt", "rb").read())
PY
}
check() {  # PROGRAM PATH ORDER
  local got
  got=$(run "$1" "$(here "$packet")" "$2" | tr -d '\r') || fail "$1 failed"
  [ "$got" = "$(expected "$3" | tr -d '\r')" ] || fail "$1 printed something else:
$got"
}
check "$root/cmake/list-packet-cpp$exe" readme.txt index
for program in "${programs[@]}"; do check "$program" ./README.TXT walk; done
if [ -x "$root/c-only/build/physfs-read" ]; then
  # shellcheck disable=SC2046  # pkg-config's flags are words
  cc tests/install/physfs-read.c $(PKG_CONFIG_LIBDIR=$PKG_CONFIG_LIBDIR:$system_pc_path pkg-config --cflags --libs \
    velkaron-physfs) -o "$root/pc/physfs-read" || fail "building a program on PhysFS with pkg-config velkaron-physfs failed"
  physfs=", PhysFS with CMake and pkg-config"
fi
for program in "$root/c-only/build/physfs-read" "$root/pc/physfs-read" "$root/subproject/physfs-read"; do
  [ -x "$program" ] || continue
  cmp -s <(run "$program" "$packet" readme.txt) examples/sample/readme.txt ||
    fail "$program, reading the packet through PhysFS (velkaron-physfs), printed something else"
done

if [ "$target" != native ]; then
  exports=$("$arch"-w64-mingw32-objdump -p "$prefix"/bin/libvelkaron-reader.dll |
            sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | tail -n +2 | awk 'NF {print $NF}')
  [ -n "$exports" ] && ! grep -v '^vkr_' <<<"$exports" >/dev/null ||
    fail "the DLL exports more than the vkr_* functions: $(grep -v '^vkr_' <<<"$exports" | tr '\n' ' ')"
else
  library=$(readlink -f "$prefix/lib/libvelkaron-reader.so")
  others=$(nm -D --defined-only "$library" | awk '{print $3}' | grep -v '^vkr_' || true)
  [ -z "$others" ] || fail "the shared library exports more than the vkr_* functions: $others"
  ! readelf --dyn-syms -W "$library" | grep -q UNIQUE || fail "the shared library has GNU_UNIQUE symbols"
  cc tests/install/unload.c -I"$prefix/include" -ldl -o "$root/unload" || fail "building the unload check failed"
  [ "$("$root/unload" "$library" "$packet")" = unloaded ] || fail "the shared library does not unload on dlclose"
fi
echo "check-consumers: $target: C and C++ consumers (CMake, C-only CMake, pkg-config shared and static${subproject:-}${physfs:-}) list" \
  "the packet and print its file; README's example builds; the shared library exports vkr_* alone"
