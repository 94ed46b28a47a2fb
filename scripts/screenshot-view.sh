#!/usr/bin/env bash
# Takes docs/screenshot-view.png: the packet browser under Xvfb and Wine over a packet
# of Chinese names, packed by velkaron-pack.exe in the same prefix. Builds what it
# needs in the given build folder.
#   bash scripts/screenshot-view.sh [BUILD_DIR]     (default: build/gui-win64, preset win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/gui-win64}
[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target VelkaronView velkaron-pack

# As scripts/screenshot.sh: Wine draws the frames itself, with its caption font.
prefix=$build/shotprefix
"$root/scripts/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
work=$prefix/drive_c/VelkaronView
rm -rf "$work"
tree=$work/家庭相册
mkdir -p "$tree/照片/2024 春节/北京" "$tree/照片/2024 春节/上海" "$tree/照片/风景" "$tree/文档" "$tree/音乐"
trap 'rm -rf "$work"' EXIT
for name in 故宫 天坛 长城; do head -c 150000 /dev/zero > "$tree/照片/2024 春节/北京/$name.jpg"; done
for n in 1 2 3; do head -c 90000 /dev/zero > "$tree/照片/风景/山水$n.png"; done
head -c 23456 /dev/zero > "$tree/文档/年度报告.docx"
head -c 3456 /dev/zero > "$tree/文档/会议记录.txt"
head -c 4200000 /dev/zero > "$tree/音乐/茉莉花.mp3"
echo "说明" > "$tree/说明.txt"
head -c 12000 /dev/zero > "$tree/目录.xlsx"
cp "$build/bin/VelkaronView.exe" "$build/bin/velkaron-pack.exe" "$work/"
"$root/scripts/wine-run.sh" "$prefix" 'C:\VelkaronView\velkaron-pack.exe' pack \
  'C:\VelkaronView\家庭相册' 'C:\VelkaronView\家庭相册.dat' >/dev/null

export root prefix work
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  "$root/scripts/wine-run.sh" "$prefix" "C:\\VelkaronView\\VelkaronView.exe" "C:\\VelkaronView\\家庭相册.dat" &
  viewer=$!
  geometry=""
  for _ in $(seq 300); do
    geometry=$(xwininfo -root -tree | grep "Velkaron" | grep -o "[0-9]*x[0-9]*+[0-9]*+[0-9]*" | head -1 || true)
    [ -n "$geometry" ] && break
    sleep 0.1
  done
  [ -n "$geometry" ] || { echo "screenshot: the browser did not show" >&2; exit 1; }
  sleep 3
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "$geometry" +repage -strip "$root/docs/screenshot-view.png"
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k || true
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
  wait "$viewer" || true
'
echo "screenshot: $root/docs/screenshot-view.png"
