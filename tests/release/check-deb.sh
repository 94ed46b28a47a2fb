#!/usr/bin/env bash
# Checks the Debian package of the command line as a user gets it: unpacked into
# a temporary root (dpkg -x), its velkaron-pack shows its usage and packs a folder
# that then verifies, and its manual page is a valid page naming every option that
# --help names.
#   check-deb.sh PACKAGE.deb
set -euo pipefail
deb=$1
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "check-deb: $deb: $*" >&2
  exit 1
}

[ "$(dpkg-deb -f "$deb" Package)" = velkaron-pack ] || fail "the package is not called velkaron-pack"
dpkg -x "$deb" "$root/fs"
program=$root/fs/usr/bin/velkaron-pack
page=$root/fs/usr/share/man/man1/velkaron-pack.1
[ -x "$program" ] || fail "no /usr/bin/velkaron-pack"

help=$("$program" --help) || fail "velkaron-pack --help ended with status $?"
grep -q '^用法: velkaron-pack' <<<"$help" || fail "velkaron-pack --help shows no usage"
mkdir -p "$root/source/folder"
echo content >"$root/source/folder/file.txt"
"$program" pack "$root/source" "$root/packet.dat" >/dev/null || fail "pack ended with status $?"
"$program" verify "$root/packet.dat" "$root/source" >/dev/null || fail "verify of the packed folder failed"

[ -f "$page" ] || fail "no manual page velkaron-pack.1"
warnings=$(groff -k -man -Tutf8 -ww -z "$page" 2>&1)
[ -z "$warnings" ] || fail "the manual page has faults: $warnings"
# The page's text read once: piped into grep -q, sed could die of SIGPIPE once grep had
# found the option, failing the check under pipefail for a page longer than a pipe write.
text=$(sed 's/\\-/-/g' "$page")
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -q -- "$option" <<<"$text" || fail "the manual page does not describe $option"
done
echo "check-deb: $deb: ok"
