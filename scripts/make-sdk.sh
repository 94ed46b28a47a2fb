#!/usr/bin/env bash
# Makes the reader library's kit for Windows developers, DIST/Velkaron-<version>-reader-sdk.zip:
# the headers, the 32- and 64-bit DLLs with their .def files and import libraries
# (libvelkaron-reader.dll.a for MinGW, velkaron-reader.lib for MSVC-style linkers), the
# static libraries (MinGW), a short read-me and the C example. Each architecture is
# built on its own, optimised and stripped as the release is (MinSizeRel), reader
# targets only. The zip's entries carry SOURCE_DATE_EPOCH, as the release's do.
#   make-sdk.sh [DIST]       DIST defaults to dist
set -euo pipefail
cd "$(dirname "$0")/.."
dist=${1:-dist}
work=build/sdk
rm -rf "$work/stage"
for arch in win32:i686:i386 win64:x86_64:i386:x86-64; do
  IFS=: read -r name machine coff <<<"$arch"  # coff: llvm-dlltool's name of the machine
  cmake -S . -B "$work/$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-$machine.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel -DVELKARON_TESTS=OFF -DVELKARON_WERROR=ON >/dev/null
  cmake --build "$work/$name" -j2 --target velkaron_reader velkaron_reader_shared >/dev/null
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/$name/CMakeCache.txt")
  sdk=Velkaron-$version-reader-sdk
  out=$work/stage/$sdk/$name
  mkdir -p "$out/bin" "$out/lib"
  cp "$work/$name/bin/libvelkaron-reader.dll" "$out/bin/"
  cp "$work/$name/bin/velkaron-reader.def" "$work/$name/reader/libvelkaron-reader.dll.a" \
     "$work/$name/reader/libvelkaron-reader.a" "$out/lib/"
  # Short import members named after the DLL, as MSVC-style tool chains make import
  # libraries: their linkers take them with their defaults (/SAFESEH for i386), where
  # GNU dlltool's members, with no SEH flag and named after the folder they were made
  # in, were refused.
  llvm-dlltool -m "$coff" -d "$out/lib/velkaron-reader.def" -D libvelkaron-reader.dll -l "$out/lib/velkaron-reader.lib"
done
top=$work/stage/$sdk
mkdir -p "$top/include/velkaron" "$top/example"
cp reader/include/velkaron/reader.h reader/include/velkaron/reader.hpp \
   "$work/win32/reader/include/velkaron/reader_version.h" "$top/include/velkaron/"
cp examples/reader/list-packet.c "$top/example/"
sed 's/$/\r/' >"$top/README.txt" <<EOF
Velkaron packet reader $version for Windows developers

Reads Velkaron packets from your program: checks a packet whole when it opens it, finds
entries by path as programs write them, lists folders, reads files whole, in ranges or
as seeking streams. The C interface is include/velkaron/reader.h (each function's
contract and failures are in its comments); include/velkaron/reader.hpp is an inline
C++ interface over it.

  win32\\  32-bit (i686), win64\\  64-bit (x86_64):
    bin\\libvelkaron-reader.dll      the library; it needs nothing but Windows' own DLLs
    lib\\libvelkaron-reader.dll.a    its import library for MinGW
    lib\\velkaron-reader.lib         its import library for other tool chains (MSVC)
    lib\\velkaron-reader.def         the functions it exports
    lib\\libvelkaron-reader.a        the static library, for MinGW; link the C++
                                    runtime beside it (-lstdc++, or g++) and -static

Building the example with MinGW (32-bit; i686 -> x86_64 and win32 -> win64 for 64-bit):
  with the DLL:    i686-w64-mingw32-gcc example\\list-packet.c -Iinclude -Lwin32\\lib -lvelkaron-reader
                   (put win32\\bin\\libvelkaron-reader.dll beside the program)
  static:          i686-w64-mingw32-gcc example\\list-packet.c -Iinclude win32\\lib\\libvelkaron-reader.a -lstdc++ -static
  then:            list-packet PACKET PATH     (e.g. list-packet game.dat data/title.txt)

With MSVC: cl example\\list-packet.c /Iinclude win32\\lib\\velkaron-reader.lib, the DLL beside
the program. Names in packets made on a Chinese Windows are GBK; paths given to
vkr_open are in the system's code page, or UTF-8 with VKR_OPEN_UTF8_PATH.

Calling convention: every function, and the vkr_io functions the library calls back, is
cdecl (the C default). From 32-bit C#, declare the functions with
[DllImport("libvelkaron-reader.dll", CallingConvention = CallingConvention.Cdecl)] and
the delegates given as vkr_io's read_at and close with
[UnmanagedFunctionPointer(CallingConvention.Cdecl)]: C#'s default, stdcall, corrupts the
stack of a 32-bit process. From Python, ctypes.CDLL and ctypes.CFUNCTYPE, not WinDLL.
EOF
mkdir -p "$dist"
# shellcheck disable=SC2046  # the names, one word each, sorted
python3 packaging/make-zip.py "$dist/$sdk.zip" "$work/stage" $(cd "$work/stage" && find "$sdk" -type f | LC_ALL=C sort)
echo "make-sdk: $dist/$sdk.zip"
