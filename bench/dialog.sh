#!/usr/bin/env bash
# The dialog's benchmark: Velkaron.exe packs 20,000 small files from its dialog
# under Wine and Xvfb, driven by window handles, beside velkaron-pack.exe running
# the dialog's own job; answer times, status-line gaps and job times. Builds the
# win64 programs, makes the data set, measures, prints the figures and rewrites
# the dialog's section of docs/benchmarks.md. Not a test.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/win64"
data="$root/build/bench/data"
work="$build/dialog-bench"
args=()
docs="$root/docs/benchmarks.md"

usage() {
  cat <<'USAGE'
usage: bash bench/dialog.sh [options]
  --runs N          timed rounds; the median counts (default 5)
  --warmup N        untimed rounds first (default 1)
  --data DIR        where the data set is made and kept (default build/bench/data, shared with bench/run.sh)
  --velkaron EXE    measure this Velkaron.exe (another build, say) instead of the one just built
  --idle-load L     before each round wait (up to 5 minutes) until the 1-minute load is below L
  --no-docs         print the figures only; leave docs/ alone
USAGE
}

invocation="bash bench/dialog.sh${*:+ $*}"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs|--warmup|--idle-load) args+=("$1" "$2"); shift 2 ;;
    --data) data="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
    --velkaron) args+=(--velkaron "$(realpath "$2")"); shift 2 ;;
    --no-docs) docs=""; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "dialog.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

cd "$root"
mkdir -p "$build"
build_log="$build/dialog-bench-build.log"
if ! { [ -f "$build/build.ninja" ] || cmake --preset win64; } >"$build_log" 2>&1 ||
   ! cmake --build "$build" -j2 --target Velkaron velkaron-pack velkaron-dialog-bench >>"$build_log" 2>&1; then
  tail -n 30 "$build_log" >&2
  echo "dialog.sh: the win64 build failed; the whole log is $build_log" >&2
  exit 1
fi

mkdir -p "$work" "$data"
[ -n "$docs" ] && args+=(--docs "$docs")
# A Wine prefix of its own, so that a test run's wineserver is not shared.
exec python3 "$root/bench/dialog.py" --bin "$build/bin" --data "$data" --work "$work" \
  --prefix "$work/wineprefix" --wine-run "$root/scripts/wine-run.sh" --gui-run "$root/scripts/gui-run.sh" \
  --commit "$(git -C "$root" rev-parse --short HEAD)" --invocation "$invocation" "${args[@]}"
