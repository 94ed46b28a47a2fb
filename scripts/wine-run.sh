#!/usr/bin/env bash
# Runs a Windows program under Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# The loader fits the program: a PE for i386 runs under 32-bit Wine
# (/usr/lib/wine/wine), one for x86-64 under 64-bit Wine (/usr/lib/wine/wine64);
# a program named rather than given as a file (cmd, reg, winepath...) runs as the
# prefix's own kind. PREFIX is a Wine prefix private to the build folder, made on
# first use as WINEARCH says: win32 (32-bit Windows, for 32-bit programs only) or
# win64 (64-bit Windows, running both, the default); an existing prefix keeps its
# kind. The locale makes Wine's ANSI code page 936 (GBK), as on the systems the
# program is written for.
set -euo pipefail
prefix=$(realpath -m "$1"); shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
# VELKARON_WINE_LOCALE runs a program under another code page (C.UTF-8: Windows-1252).
export LANG=${VELKARON_WINE_LOCALE:-zh_CN.UTF-8} LC_ALL=${VELKARON_WINE_LOCALE:-zh_CN.UTF-8}
loader32=/usr/lib/wine/wine loader64=/usr/lib/wine/wine64

fail() {
  echo "wine-run.sh: $*" >&2
  exit 1
}
# The kind of an existing prefix, as Wine wrote it when it made the prefix.
made_kind() { [ ! -f "$prefix/system.reg" ] || sed -n 's/^#arch=//p;/^#arch=/q' "$prefix/system.reg"; }
loader_of_kind() { if [ "$1" = win32 ]; then echo "$loader32"; else echo "$loader64"; fi; }
# i386 or x86-64 for a PE program file, nothing for anything else.
pe_machine() {
  local at
  [ -f "$1" ] && [ "$(head -c 2 "$1" | tr -d '\0')" = MZ ] || return 0
  at=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  case "$(od -An -tx1 -j "$at" -N 6 "$1" | tr -d ' \n')" in
    504500004c01) echo i386 ;;
    504500006486) echo x86-64 ;;
  esac
}
# The Linux file behind PROGRAM: itself, or a Windows path through the prefix's drives.
program_file() {
  if [[ $1 =~ ^([A-Za-z]):[\\/](.*)$ ]]; then
    local drive=${BASH_REMATCH[1],,} rest=${BASH_REMATCH[2]//\\//}
    echo "$prefix/dosdevices/$drive:/$rest"
  else
    echo "$1"
  fi
}

kind=$(made_kind)
case "${WINEARCH:-}" in
  ""|"$kind") ;;
  win32|win64) [ -z "$kind" ] || fail "$prefix is a $kind prefix, not the $WINEARCH one WINEARCH asks for: remove it" ;;
  *) fail "WINEARCH must be win32 or win64, not $WINEARCH" ;;
esac
kind=${kind:-${WINEARCH:-win64}}
export WINEARCH=$kind
own_loader=$(loader_of_kind "$kind")
[ -x "$own_loader" ] || fail "no $own_loader for the $kind prefix $prefix: run scripts/setup.sh"

# The first run makes the prefix; a lock keeps parallel tests from making it twice.
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$own_loader" wineboot -i >/dev/null 2>&1 || true
      /usr/lib/wine/wineserver -w
    fi
  ) 9>"$prefix.lock"
  [ "$(made_kind)" = "$kind" ] || fail "Wine could not make the $kind prefix $prefix"
fi

case "$(pe_machine "$(program_file "$1")")" in
  i386) wine=$loader32 ;;
  x86-64)
    [ "$kind" = win64 ] || fail "$1 is a 64-bit program: the 32-bit prefix $prefix cannot run it"
    wine=$loader64 ;;
  *) wine=$own_loader ;;
esac
[ -x "$wine" ] || fail "no $wine to run $1: 32-bit programs need Debian's wine32:i386 (scripts/setup.sh installs it)"

# Wine starts its service processes (services.exe, winedevice.exe, ...) with the first
# program that needs them, and they inherit that program's standard output: a test
# runner reading it would wait until they end. An idle program that holds them
# instead, with no standard streams, is kept running beside the tests for a while.
exec 8>"$prefix.keepalive"
if flock -n 8; then
  (sleep 900 | "$own_loader" cmd /c pause) </dev/null >/dev/null 2>&1 &
  "$own_loader" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
exec 8>&-

# Whatever Wine starts on the program's behalf (the desktop process of a GUI
# program, for one) inherits the program's standard streams; through files, they
# never hold the caller's pipes open after the program has ended.
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
run() {
  status=0
  "$wine" "$@" >"$out" 2>"$err" || status=$?
}
run "$@"
# A failure with not a byte of output, or with nothing but Wine's own word that it
# could not start the program (ShellExecuteEx, seen now and then under load), means
# Wine did not get the program going (every test program prints as soon as it
# starts): say so, and try once more.
launch_failed() {
  [ $status -ne 0 ] && [ ! -s "$out" ] && { [ ! -s "$err" ] || grep -qa '^ShellExecuteEx' "$err"; }
}
if launch_failed; then
  echo "wine-run.sh: $1 ended with status $status before it started; starting it once more" >&2
  run "$@"
fi
cat "$out"
cat "$err" >&2
[ $status -eq 0 ] || echo "wine-run.sh: $1 ended with status $status" >&2
exit $status
