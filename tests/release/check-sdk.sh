#!/usr/bin/env bash
# Checks the reader SDK as a Windows developer gets it: unpacks the zip, finds every
# file the read-me names, builds the C example from the unpacked kit alone with the
# 32-bit MinGW compiler, against the DLL and statically, and runs both under 32-bit
# Wine (code page 936) on a packet with GBK names, a trail byte 5C among them, found by
# paths as a program writes them. The 64-bit DLL's exports are checked as well.
#   check-sdk.sh SDK.zip
set -euo pipefail
cd "$(dirname "$0")/../.."
zip=$(realpath "$1")
root=$(mktemp -d)
prefix=$PWD/build/sdk/wineprefix32
cleanup() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
fail() {
  echo "check-sdk: $*" >&2
  exit 1
}
# Runs a 32-bit program in the kit's own 32-bit prefix (wine-run.sh picks the loader).
run32() { WINEARCH=win32 scripts/wine-run.sh "$prefix" "$@"; }
# A kernel that runs no 32-bit program runs no 32-bit Wine: the kit is then checked
# without running the example, and says so.
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
done

# The example, from the kit alone: against the DLL, and static.
cc=i686-w64-mingw32-gcc-posix
mkdir -p "$root/dll" "$root/static"
"$cc" "$sdk/example/list-packet.c" -I"$sdk/include" -L"$sdk/win32/lib" -lvelkaron-reader -static-libgcc \
  -o "$root/dll/list-packet.exe" || fail "building the example against the 32-bit DLL failed"
cp "$sdk/win32/bin/libvelkaron-reader.dll" "$root/dll/"
"$cc" "$sdk/example/list-packet.c" -I"$sdk/include" "$sdk/win32/lib/libvelkaron-reader.a" -lstdc++ -static \
  -o "$root/static/list-packet.exe" || fail "building the example against the 32-bit static library failed"

# A packet with GBK names: 文档\章节一.txt, and 誠 (D5 5C, its trail byte a backslash).
python3 - "$root/gbk.dat" <<'PY'
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
expected=$(printf 'D 0 文档\nF 7 文档\\章节一.txt\nD 0 誠\nF 3 誠\\a.txt\n第一章\n' | iconv -f UTF-8 -t GBK | od -An -tx1)
if [ "$i386" -eq 3 ]; then
  echo "check-sdk: the example is built but not run: $refusal"
  exit 0
fi
for program in "$root/dll/list-packet.exe" "$root/static/list-packet.exe"; do
  # The path as a program writes it: "/" between the names, a leading "./".
  got=$(run32 "$program" "Z:${root//\//\\}\\gbk.dat" "./文档/章节一.txt" | tr -d '\r' | od -An -tx1) ||
    fail "$program failed under 32-bit Wine"
  [ "$got" = "$expected" ] || fail "$program printed something else under 32-bit Wine:
$(run32 "$program" "Z:${root//\//\\}\\gbk.dat" "./文档/章节一.txt" | iconv -f GBK -t UTF-8 || true)"
done
echo "check-sdk: $(basename "$zip"): complete; its C example builds with 32-bit MinGW, against the DLL and" \
  "statically, and reads a packet with GBK names under 32-bit Wine"
