#!/usr/bin/env bash
# Checks the reader SDK as a Windows developer gets it: unpacks the zip, finds every
# file the read-me names, builds the C example from the unpacked kit alone with the
# 32-bit MinGW compiler, against the DLL and statically, and runs both under 32-bit
# Wine (code page 936) on a packet with GBK names, a trail byte 5C among them, found by
# paths as a program writes them. The 64-bit DLL's exports are checked as well. For
# each architecture, a C program built as MSVC-style tool chains build one (clang's
# MSVC target, lld-link with its defaults) links the kit's .lib, whose members name
# nothing but the DLL, and reads a file out of a packet with a GBK name under the Wine
# that fits.
#   check-sdk.sh SDK.zip
set -euo pipefail
cd "$(dirname "$0")/../.."
zip=$(realpath "$1")
root=$(mktemp -d)
prefix=$PWD/build/sdk/wineprefix32 prefix64=$PWD/build/sdk/wineprefix64
cleanup() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix64 /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
fail() {
  echo "check-sdk: $*" >&2
  exit 1
}
# Runs a 32-bit program in the kit's own 32-bit prefix, a 64-bit one in its 64-bit
# prefix (wine-run.sh picks the loader).
run32() { WINEARCH=win32 scripts/wine-run.sh "$prefix" "$@"; }
run64() { WINEARCH=win64 scripts/wine-run.sh "$prefix64" "$@"; }
# A kernel that runs no 32-bit program runs no 32-bit Wine: the kit is then checked
# without running the 32-bit programs, and says so.
refusal=$(python3 scripts/kernel-runs-i386.py build) && i386=0 || i386=$?
[ "$i386" -eq 0 ] || [ "$i386" -eq 3 ] || fail "cannot tell whether this kernel runs 32-bit programs"

python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$root/unpacked"
sdk=$root/unpacked/$(basename "$zip" .zip)
for file in README.txt include/velkaron/reader.h include/velkaron/reader.hpp include/velkaron/reader_version.h \
            example/list-packet.c; do
  [ -f "$sdk/$file" ] || fail "the kit lacks $file"
done
for arch in win32 win64; do
  for file in bin/libvelkaron-reader.dll lib/libvelkaron-reader.dll.a lib/velkaron-reader.lib \
              lib/velkaron-reader.def lib/libvelkaron-reader.a; do
    [ -f "$sdk/$arch/$file" ] || fail "the kit lacks $arch/$file"
  done
done
file "$sdk/win32/bin/libvelkaron-reader.dll" | grep -q 'Intel 80386' || fail "win32/bin holds no 32-bit DLL"
file "$sdk/win64/bin/libvelkaron-reader.dll" | grep -q 'x86-64' || fail "win64/bin holds no 64-bit DLL"
for arch in win32 win64; do
  others=$(sed -n '/^EXPORTS/,$p' "$sdk/$arch/lib/velkaron-reader.def" | tail -n +2 | awk '{print $1}' | grep -v '^vkr_' || true)
  [ -z "$others" ] || fail "the $arch DLL exports more than the vkr_* functions: $others"
  # Short import members, each named after the DLL; symbols of the vkr_* functions and
  # of the import itself, none naming the folder the library was made in.
  lib=$sdk/$arch/lib/velkaron-reader.lib
  members=$(llvm-ar t "$lib" | sort -u)
  [ "$members" = libvelkaron-reader.dll ] ||
    fail "$arch/lib/velkaron-reader.lib has members not named after the DLL: $(head -3 <<<"$members" | tr '\n' ' ')..."
  others=$(llvm-nm -j "$lib" | grep -v -e '^$' -e '^libvelkaron-reader\.dll:$' |
           grep -vE '^((__imp_)?_?vkr_[a-z0-9_]+|__(NULL_)?IMPORT_DESCRIPTOR(_libvelkaron-reader)?|.libvelkaron-reader_NULL_THUNK_DATA|\.idata\$[0-9])$' ||
           true)
  [ -z "$others" ] || fail "$arch/lib/velkaron-reader.lib has symbols of its own: $(tr '\n' ' ' <<<"$others")"
done

# The example, from the kit alone: against the DLL, and static.
cc=i686-w64-mingw32-gcc-posix
mkdir -p "$root/dll" "$root/static"
"$cc" "$sdk/example/list-packet.c" -I"$sdk/include" -L"$sdk/win32/lib" -lvelkaron-reader -static-libgcc \
  -o "$root/dll/list-packet.exe" || fail "building the example against the 32-bit DLL failed"
cp "$sdk/win32/bin/libvelkaron-reader.dll" "$root/dll/"
"$cc" "$sdk/example/list-packet.c" -I"$sdk/include" "$sdk/win32/lib/libvelkaron-reader.a" -lstdc++ -static \
  -o "$root/static/list-packet.exe" || fail "building the example against the 32-bit static library failed"

# The MSVC-style program for ARCH (win32, win64), from the kit alone with no C runtime:
# compiled for clang's CPU-pc-windows-msvc target, linked by lld-link with its defaults
# against the kit's .lib and a kernel32.lib made for the machine COFF (llvm-dlltool's
# name), into $root/msvc-ARCH beside the kit's DLL. Whatever it imports of the DLL, the
# DLL must export by that name.
build_msvc_consumer() {  # ARCH CPU COFF
  local dir=$root/msvc-$1 imports missing
  mkdir -p "$dir"
  # kernel32's __stdcall names carry their argument bytes on i386 alone.
  if [ "$1" = win32 ]; then
    cp tests/release/msvc-kernel32.def "$dir/kernel32.def"
  else
    sed 's/@[0-9]*$//' tests/release/msvc-kernel32.def >"$dir/kernel32.def"
  fi
  llvm-dlltool -m "$3" -k -d "$dir/kernel32.def" -l "$dir/kernel32.lib" || fail "llvm-dlltool could not make kernel32.lib"
  clang --target="$2-pc-windows-msvc" -ffreestanding -O2 -Wall -Wextra -Werror -I"$sdk/include" \
    -c tests/release/msvc-consumer.c -o "$dir/msvc-consumer.obj" || fail "compiling for the $2 MSVC target failed"
  lld-link /subsystem:console /out:"$dir/msvc-consumer.exe" "$dir/msvc-consumer.obj" \
    "$sdk/$1/lib/velkaron-reader.lib" "$dir/kernel32.lib" ||
    fail "lld-link, with its defaults, could not link a program against $1/lib/velkaron-reader.lib"
  cp "$sdk/$1/bin/libvelkaron-reader.dll" "$dir/"
  imports=$(llvm-readobj --coff-imports "$dir/msvc-consumer.exe" |
            awk '/Name:/ {dll = $2} dll == "libvelkaron-reader.dll" && /Symbol:/ {print $2}' | sort)
  missing=$(comm -23 <(echo "$imports") <(llvm-readobj --coff-exports "$dir/libvelkaron-reader.dll" |
                                          awk '/Name:/ {print $2}' | sort))
  [ -n "$imports" ] && [ -z "$missing" ] ||
    fail "the $1 MSVC-style program imports what the DLL does not export: ${missing:-not a function}"
}
build_msvc_consumer win32 i686 i386
build_msvc_consumer win64 x86_64 i386:x86-64

# A packet with a GBK name and GBK names inside: 文档\章节一.txt, and 誠 (D5 5C, its
# trail byte a backslash).
packet=$root/资源包.dat
python3 - "$packet" <<'PY'
import sys
entries = [("D", "文档", b""), ("D", "誠", b""), ("F", "文档\\章节一.txt", "第一章\n".encode("gbk")),
           ("F", "誠\\a.txt", b"abc")]
data, index = b"", b""
for kind, path, content in entries:
    index += b"#%s,%d,%d," % (kind.encode(), 64 + len(data), len(content)) + path.encode("gbk") + b"\r\n"
    data += content
header = b"Velkaron.Packet %d %d\r\n" % (64 + len(data), len(index))
open(sys.argv[1], "wb").write(header.ljust(64, b" ") + data + index)
PY
packet="Z:${packet//\//\\}"  # as the programs get it under Wine
chapter=$(printf '第一章\n' | iconv -f UTF-8 -t GBK | od -An -tx1)
expected=$(printf 'D 0 文档\nF 7 文档\\章节一.txt\nD 0 誠\nF 3 誠\\a.txt\n第一章\n' | iconv -f UTF-8 -t GBK | od -An -tx1)

# Runs the MSVC-style program for ARCH with RUN (run32, run64): it must print the
# chapter's bytes, read through the kit's DLL.
run_msvc_consumer() {  # RUN ARCH
  local got
  got=$("$1" "$root/msvc-$2/msvc-consumer.exe" "$packet" "./文档/章节一.txt" | od -An -tx1) ||
    fail "the $2 MSVC-style program failed under Wine"
  [ "$got" = "$chapter" ] || fail "the $2 MSVC-style program read something else under Wine:$got"
}
built="its C example builds with 32-bit MinGW, against the DLL and statically; a C program built by clang for"
built+=" MSVC links each .lib with lld-link's defaults"
run_msvc_consumer run64 win64
if [ "$i386" -eq 3 ]; then
  echo "check-sdk: $(basename "$zip"): complete; $built and reads a packet with GBK names under 64-bit Wine;" \
    "the 32-bit programs are built but not run: $refusal"
  exit 0
fi
for program in "$root/dll/list-packet.exe" "$root/static/list-packet.exe"; do
  # The path as a program writes it: "/" between the names, a leading "./".
  got=$(run32 "$program" "$packet" "./文档/章节一.txt" | tr -d '\r' | od -An -tx1) ||
    fail "$program failed under 32-bit Wine"
  [ "$got" = "$expected" ] || fail "$program printed something else under 32-bit Wine:
$(run32 "$program" "$packet" "./文档/章节一.txt" | iconv -f GBK -t UTF-8 || true)"
done
run_msvc_consumer run32 win32
echo "check-sdk: $(basename "$zip"): complete; $built; these read a packet with GBK names under the Wine that" \
  "fits"
