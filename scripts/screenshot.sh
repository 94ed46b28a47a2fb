#!/usr/bin/env bash
# Takes docs/screenshot.png: the main dialog under Xvfb and Wine right after it
# packed the example folder. Builds what it needs in the given build folder.
#   bash scripts/screenshot.sh [BUILD_DIR]     (default: build/gui-win64, preset win64)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/gui-win64}
[ -f "$build/CMakeCache.txt" ] || cmake --preset win64 -B "$build" >/dev/null
cmake --build "$build" -j2 --target Velkaron velkaron_shot velkaron_example

# A private prefix in which Wine draws the window frames itself (there is no
# window manager under Xvfb), with the font of its caption buttons in place (the
# prefix gets none, and the close box is then drawn as a letter "r"), and a
# private folder for the program to write in.
prefix=$build/shotprefix
"$root/scripts/wine-run.sh" "$prefix" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null
cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
work=$prefix/drive_c/Velkaron
winwork='C:\Velkaron'
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cp "$build/bin/Velkaron.exe" "$build/bin/velkaron.txt" "$work/"
cp -r "$build/bin/example" "$work/example"

export root build prefix work winwork
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -euo pipefail
  "$root/scripts/wine-run.sh" "$prefix" "$build/bin/velkaron_shot.exe" "$winwork" "$winwork\\ready.txt" "$winwork\\done.txt" &
  driver=$!
  for _ in $(seq 600); do
    [ -s "$work/ready.txt" ] && break
    kill -0 "$driver" 2>/dev/null || break
    sleep 0.1
  done
  [ -s "$work/ready.txt" ] || { echo "screenshot: the program did not get ready" >&2; exit 1; }
  read -r x y w h < "$work/ready.txt"
  import -window root "$work/screen.png"
  convert "$work/screen.png" -crop "${w}x${h}+${x}+${y}" +repage -strip "$root/docs/screenshot.png"
  touch "$work/done.txt"
  wait "$driver"
  # The prefix keeps an idle program running (scripts/wine-run.sh): end it too.
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -k || true
  WINEPREFIX="$prefix" /usr/lib/wine/wineserver -w
'
echo "screenshot: $root/docs/screenshot.png"
