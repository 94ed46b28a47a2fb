#!/usr/bin/env bash
# The installer as a user meets it, under Wine in a fresh prefix of its own (of
# the kind WINEARCH names, win64 by default; scripts/wine-run.sh gives each
# program the loader that fits it): a silent install puts the staged files, the
# Start-menu shortcuts and the uninstall entry in place and registers
# VelkaronView.exe as a program that opens .dat files, leaving the default program
# the user had for .dat; the installed Velkaron.exe, driven through its window,
# packs a folder beside itself; a silent uninstall removes what was installed,
# registration included, and leaves velkaron.ini, data\, the packet and what the
# user had under .dat.
#   installer-test.sh SETUP.exe STAGE_FOLDER PREFIX velkaron_shot.exe EXAMPLE_FOLDER
set -euo pipefail
setup=$1 stage=$2 prefix=$3 driver=$4 example=$5
root=$(cd "$(dirname "$0")/../.." && pwd)
entries='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
key="$entries\\Velkaron"
classes='HKCU\Software\Classes'
app_key="$classes\Applications\VelkaronView.exe"
# What the user had for .dat before: a default program and another "Open with" entry.
theirs='Their.Packet' their_entry="$classes\.dat\OpenWithList\their.exe"
view_menu_name='Velkaron 数据包查看器'

fail() {
  echo "installer-test: $*" >&2
  exit 1
}
wine() { "$root/scripts/wine-run.sh" "$prefix" "$@"; }
# A key as `reg query ARGS` shows it, in UTF-8 (Wine writes the code page's GBK).
reg_query() { wine reg query "$@" | iconv -f GBK -t UTF-8 | tr -d '\r'; }
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
# The default value of a key (REG_SZ), whatever name the prefix's language gives it.
default_value() {
  local listed
  listed=$(reg_query "$1" /ve) && sed -n 's/^    ([^)]*)    REG_SZ    //p' <<<"$listed"
}
# The user's classes, every key and value below them (fails when the query does).
classes_listing() { reg_query "$classes" /s; }
# True when the user's classes hold nothing of the browser's registration.
registration_gone() {
  local listed
  listed=$(classes_listing) && ! grep -qi 'VelkaronView' <<<"$listed"
}
installed_files_gone() {
  for file in "$stage"/* uninstall.exe; do
    [ ! -e "$dir/$(basename "$file")" ] || return 1
  done
  [ ! -e "$shortcut" ] && [ ! -e "$view_shortcut" ] && entry_gone && registration_gone
}
# Fails unless .dat still opens with the user's program and keeps their "Open with" entry.
check_users_dat() {
  [ "$(default_value "$classes\.dat")" = "$theirs" ] ||
    fail "$1 changed the default program of .dat: $(reg_query "$classes\.dat" 2>&1)"
  wine reg query "$their_entry" >/dev/null 2>&1 || fail "$1 removed $their_entry"
}

# Ends every program of the prefix (all of them this test's) and its wineserver.
stop_wine() {
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -w
}

stop_wine
rm -rf "$prefix" "$prefix.lock" "$prefix.keepalive"
trap stop_wine EXIT

wine reg add "$classes\.dat" /ve /d "$theirs" /f >/dev/null || fail "could not set a default program for .dat"
wine reg add "$their_entry" /f >/dev/null || fail "could not add $their_entry"
wine "$setup" /S || fail "the silent install ended with status $?"
win_dir="$(wine cmd /c 'echo %LOCALAPPDATA%' | tr -d '\r')\\Programs\\Velkaron"
dir=$(unix_path "$win_dir")
menu="$(unix_path "$(wine cmd /c 'echo %APPDATA%' | tr -d '\r')")/Microsoft/Windows/Start Menu/Programs"
shortcut="$menu/Velkaron.lnk" view_shortcut="$menu/$view_menu_name.lnk"

# Exactly the staged files, byte for byte, and the uninstaller.
[ "$(ls "$dir")" = "$( (ls "$stage"; echo uninstall.exe) | sort)" ] || fail "$win_dir holds: $(ls "$dir" | tr '\n' ' ')"
for file in "$stage"/*; do
  cmp -s "$file" "$dir/$(basename "$file")" || fail "the installed $(basename "$file") differs from the staged one"
done
grep -qaF "$win_dir\\Velkaron.exe" "$shortcut" || fail "no Start-menu shortcut to the installed Velkaron.exe"
grep -qaF "$win_dir\\VelkaronView.exe" "$view_shortcut" ||
  fail "no Start-menu shortcut \"$view_menu_name\" to the installed VelkaronView.exe"
entry=$(wine reg query "$key" | tr -d '\r') || fail "no uninstall entry $key"
for value in "DisplayName    REG_SZ    Velkaron" "InstallLocation    REG_SZ    $win_dir" \
             "UninstallString    REG_SZ    \"$win_dir\\uninstall.exe\""; do
  grep -qxF "    $value" <<<"$entry" || fail "the uninstall entry lacks \"$value\": $entry"
done

# VelkaronView.exe opens a packet given as its argument and is offered for .dat
# files; the default program of .dat stays the user's.
app=$(reg_query "$app_key" /s) || fail "no $app_key"
for value in "FriendlyAppName    REG_SZ    $view_menu_name" ".dat    REG_SZ    "; do
  grep -qxF "    $value" <<<"$app" || fail "$app_key lacks \"$value\": $app"
done
command=$(default_value "$app_key\shell\open\command") || fail "$app_key opens nothing: $app"
[ "$command" = "\"$win_dir\\VelkaronView.exe\" \"%1\"" ] ||
  fail "$app_key does not open a packet with the installed VelkaronView.exe: $command"
wine reg query "$classes\.dat\OpenWithList\VelkaronView.exe" >/dev/null 2>&1 ||
  fail "VelkaronView.exe is not in the \"Open with\" list of .dat"
check_users_dat "the install"

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
  fail "the uninstall left some of: $(ls "$dir" | tr '\n' ' ') the shortcuts, the uninstall entry, the registration"
check_users_dat "the uninstall"
for kept in velkaron.ini data example.dat example/readme.txt; do
  [ -e "$dir/$kept" ] || fail "the uninstall removed the user's $kept"
done
stop_wine
rm -rf "$prefix" "$prefix.lock" "$prefix.keepalive"
echo "installer-test: ok"
