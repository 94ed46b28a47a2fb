#!/usr/bin/env bash
# The installer as a user meets it, under Wine in a fresh prefix of its own (of
# the kind WINEARCH names, win64 by default; scripts/wine-run.sh gives each
# program the loader that fits it): a silent install puts the staged files, the
# Start-menu shortcut and the uninstall entry in place; the installed
# Velkaron.exe, driven through its window, packs a folder beside itself; a silent
# uninstall removes what was installed and leaves velkaron.ini, data\ and the
# packet.
#   installer-test.sh SETUP.exe STAGE_FOLDER PREFIX velkaron_shot.exe EXAMPLE_FOLDER
set -euo pipefail
setup=$1 stage=$2 prefix=$3 driver=$4 example=$5
root=$(cd "$(dirname "$0")/../.." && pwd)
entries='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
key="$entries\\Velkaron"

fail() {
  echo "installer-test: $*" >&2
  exit 1
}
wine() { "$root/scripts/wine-run.sh" "$prefix" "$@"; }
# A Windows path as Unix sees it.
unix_path() { wine winepath -u "$1" | tr -d '\r'; }
# Polls `$@` for up to a minute.
wait_for() {
  for _ in $(seq 120); do
    "$@" && return 0
    sleep 0.5
  done
  return 1
}
# True when Wine lists the user's uninstall entries and Velkaron's is not among
# them (a failed query proves nothing).
entry_gone() {
  local listed
  listed=$(wine reg query "$entries" 2>/dev/null | tr -d '\r') && ! grep -qi '\\Uninstall\\Velkaron$' <<<"$listed"
}
installed_files_gone() {
  for file in "$stage"/* uninstall.exe; do
    [ ! -e "$dir/$(basename "$file")" ] || return 1
  done
  [ ! -e "$shortcut" ] && entry_gone
}

# Ends every program of the prefix (all of them this test's) and its wineserver.
stop_wine() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
}

stop_wine
rm -rf "$prefix" "$prefix.lock" "$prefix.keepalive"
trap stop_wine EXIT

wine "$setup" /S || fail "the silent install ended with status $?"
win_dir="$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')\\Programs\\Velkaron"
dir=$(unix_path "$win_dir")
shortcut="$(unix_path "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs/Velkaron.lnk"

# Exactly the staged files, byte for byte, and the uninstaller.
[ "$(ls "$dir")" = "$( (ls "$stage"; echo uninstall.exe) | sort)" ] || fail "$win_dir holds: $(ls "$dir" | tr '\n' ' ')"
for file in "$stage"/*; do
  cmp -s "$file" "$dir/$(basename "$file")" || fail "the installed $(basename "$file") differs from the staged one"
done
grep -qaF "$win_dir\\Velkaron.exe" "$shortcut" || fail "no Start-menu shortcut to the installed Velkaron.exe"
entry=$(wine reg query "$key" | tr -d '\r') || fail "no uninstall entry $key"
for value in "DisplayName    REG_SZ    Velkaron" "InstallLocation    REG_SZ    $win_dir" \
             "UninstallString    REG_SZ    \"$win_dir\\uninstall.exe\""; do
  grep -qxF "    $value" <<<"$entry" || fail "the uninstall entry lacks \"$value\": $entry"
done

# The installed program packs the example folder copied beside it, through its window.
cp -r "$example" "$dir/example"
outside=$(unix_path 'C:\')
touch "$outside/done.txt"
wine "$driver" "$win_dir" 'C:\ready.txt' 'C:\done.txt' >/dev/null || fail "the installed Velkaron.exe did not pack"
wine "$dir/velkaron-pack.exe" verify "$win_dir\\example.dat" "$win_dir\\example" >/dev/null ||
  fail "the packet the installed program wrote does not match its folder"
[ -f "$dir/velkaron.ini" ] && [ -d "$dir/data" ] || fail "the program kept no velkaron.ini or data\\ beside itself"

# The uninstaller copies itself away and returns at once: wait for its work.
wine "$dir/uninstall.exe" /S || fail "the silent uninstall ended with status $?"
wait_for installed_files_gone ||
  fail "the uninstall left some of: $(ls "$dir" | tr '\n' ' ') the shortcut, the uninstall entry"
for kept in velkaron.ini data example.dat example/readme.txt; do
  [ -e "$dir/$kept" ] || fail "the uninstall removed the user's $kept"
done
stop_wine
rm -rf "$prefix" "$prefix.lock" "$prefix.keepalive"
echo "installer-test: ok"
