#!/usr/bin/env bash
# The packet browser's benchmark: VelkaronView.exe under Wine and Xvfb opening a
# packet of 100,000 files (1,000 folders, one of 20,000 files) and one of a few
# files, driven by window handles: the root's time from the program's start, the
# 20,000-file folder's time after Enter, and the memory it holds. Builds what it
# needs (the win64 browser and driver, the native velkaron-pack that makes the
# packets), measures, prints the figures and rewrites the browser's section of
# docs/benchmarks.md. Not a test.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/win64"
native="$root/build/bench"
data="$root/build/bench/data"
work="$build/view-bench"
args=()
docs="$root/docs/benchmarks.md"

usage() {
  cat <<'USAGE'
usage: bash bench/view.sh [options]
  --runs N          timed rounds; the median counts (default 7)
  --warmup N        untimed rounds first (default 1)
  --data DIR        where the packets are made and kept (default build/bench/data, shared with bench/run.sh)
  --view EXE        measure this VelkaronView.exe (another build, say) instead of the one just built
  --idle-load L     before each round wait (up to 5 minutes) until the 1-minute load is below L
  --no-docs         print the figures only; leave docs/ alone
USAGE
}

invocation="bash bench/view.sh${*:+ $*}"
while [ $# -gt 0 ]; do
  case "$1" in
    --runs|--warmup|--idle-load) args+=("$1" "$2"); shift 2 ;;
    --data) data="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
    --view) args+=(--view "$(realpath "$2")"); shift 2 ;;
    --no-docs) docs=""; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "view.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

cd "$root"
mkdir -p "$build" "$native"
build_log="$build/view-bench-build.log"
: >"$build_log"
build_failed() {
  tail -n 30 "$build_log" >&2
  echo "view.sh: the $1 build failed; the whole log is $build_log" >&2
  exit 1
}
{ [ -f "$build/build.ninja" ] || cmake --preset win64; } >>"$build_log" 2>&1 &&
  cmake --build "$build" -j2 --target VelkaronView velkaron-view-bench velkaron-view-phases >>"$build_log" 2>&1 || build_failed win64
{ [ -f "$native/build.ninja" ] || cmake --preset bench; } >>"$build_log" 2>&1 &&
  cmake --build "$native" -j2 --target velkaron-pack >>"$build_log" 2>&1 || build_failed "bench (native)"

mkdir -p "$work" "$data"
[ -n "$docs" ] && args+=(--docs "$docs")
# A Wine prefix of its own, so that a test run's wineserver is not shared.
exec python3 "$root/bench/view.py" --bin "$build/bin" --pack "$native/bin/velkaron-pack" --data "$data" \
  --work "$work" --prefix "$work/wineprefix" --wine-run "$root/scripts/wine-run.sh" \
  --commit "$(git -C "$root" rev-parse --short HEAD)" --invocation "$invocation" "${args[@]}"
