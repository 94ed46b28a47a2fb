#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine: wine-run.sh PREFIX PROGRAM [ARGS...].
# PREFIX is a Wine prefix private to the build folder; the locale makes Wine's
# ANSI code page 936 (GBK), as on the systems the program is written for.
set -euo pipefail
prefix=$(realpath -m "$1"); shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
wine=/usr/lib/wine/wine64

# The first run makes the prefix; a lock keeps parallel tests from making it twice.
if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot -i >/dev/null 2>&1 || true
      /usr/lib/wine/wineserver -w
    fi
  ) 9>"$prefix.lock"
fi
# Wine starts its service processes (services.exe, winedevice.exe, ...) with the first
# program that needs them, and they inherit that program's standard output: a test
# runner reading it would wait until they end. An idle program that holds them
# instead, with no standard streams, is kept running beside the tests for a while.
exec 8>"$prefix.keepalive"
if flock -n 8; then
  (sleep 900 | "$wine" cmd /c pause) </dev/null >/dev/null 2>&1 &
  "$wine" cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
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
