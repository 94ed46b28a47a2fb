#!/usr/bin/env bash
# Checks the Debian package of the command line as a user gets it: lintian finds
# no error or warning in it; unpacked into a temporary root (dpkg -x), its
# velkaron-pack shows its usage and packs a folder that then verifies, and its
# manual page (compressed, as Debian wants it) is a valid page naming every
# command and option that --help names. Each GUIDE given (the instructions of the
# Windows downloads) names every command too.
#   check-deb.sh PACKAGE.deb [GUIDE...]
set -euo pipefail
deb=$1
shift
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() {
  echo "check-deb: $deb: $*" >&2
  exit 1
}

[ "$(dpkg-deb -f "$deb" Package)" = velkaron-pack ] || fail "the package is not called velkaron-pack"
findings=$(lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1) && lintian=0 || lintian=$?
# Its findings alone: as root, lintian also says that it runs as root.
findings=$(grep -v 'running with root privileges' <<<"$findings" || true)
[ -z "$findings" ] || echo "$findings" >&2
[ "$lintian" -eq 0 ] || fail "lintian ended with status $lintian: errors or warnings (above)"
dpkg -x "$deb" "$root/fs"
program=$root/fs/usr/bin/velkaron-pack
page=$root/fs/usr/share/man/man1/velkaron-pack.1.gz
[ -x "$program" ] || fail "no /usr/bin/velkaron-pack"

help=$("$program" --help) || fail "velkaron-pack --help ended with status $?"
grep -q '^用法: velkaron-pack' <<<"$help" || fail "velkaron-pack --help shows no usage"
mkdir -p "$root/source/folder"
echo content >"$root/source/folder/file.txt"
"$program" pack "$root/source" "$root/packet.dat" >/dev/null || fail "pack ended with status $?"
"$program" verify "$root/packet.dat" "$root/source" >/dev/null || fail "verify of the packed folder failed"

[ -f "$page" ] || fail "no manual page velkaron-pack.1.gz"
source=$(gzip -dc "$page") || fail "the manual page is no gzip file"
warnings=$(groff -k -man -Tutf8 -ww -z <<<"$source" 2>&1)
[ -z "$warnings" ] || fail "the manual page has faults: $warnings"
# The page's text read once: piped into grep -q, sed could die of SIGPIPE once grep had
# found the option, failing the check under pipefail for a page longer than a pipe write.
text=$(sed 's/\\-/-/g' <<<"$source")
for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
  grep -q -- "$option" <<<"$text" || fail "the manual page does not describe $option"
done
# The commands, as the usage names them: each has its own item on the page, and each
# guide shows it in use.
commands=$(grep -o 'velkaron-pack [a-z]\+ ' <<<"$help" | cut -d ' ' -f 2 | sort -u)
[ -n "$commands" ] || fail "velkaron-pack --help names no command"
for command in $commands; do
  grep -q "^\.B $command\b" <<<"$text" || fail "the manual page has no item for the command $command"
  for guide in "$@"; do
    grep -q "velkaron-pack $command " "$guide" || fail "$guide does not name the command $command"
  done
done
echo "check-deb: $deb: ok"
