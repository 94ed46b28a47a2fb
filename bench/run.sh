#!/usr/bin/env bash
# Benchmarks of velkaron-pack beside tar, cat and asar on generated data sets,
# each run timed twice: cached (until the tool exits) and durable (until a sync
# after it returns), on an idle machine and again beside two `yes > /dev/null`. Builds the bench preset, installs asar into
# build/bench/asar, makes the data sets, measures, prints the table and rewrites
# the command line's part of docs/benchmarks.md and docs/benchmarks.png. Not a
# test: nothing here runs in the test command.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build/bench"
data="$build/data"
runs=5
sets=""
sweep=""
jobs_sweep=""
extra=()
docs="$root/docs"

usage() {
  cat <<'USAGE'
usage: bash bench/run.sh [options]
  --data DIR        where the data sets are made and kept (default build/bench/data; about 2.7 GiB)
  --runs N          timed runs per tool, mode and set; the median counts (default 5)
  --sets A,B        only these data sets (small-20k-40x7, large-4x96M, empty-100k, small-10k,
                    nested-5k, large-4x256M, small-20k, large-1G)
  --sweep N,M       buffer sizes for the default's sweep, cached only (default 131072,262144,1048576; "" for none)
  --jobs-sweep N,M  --jobs values for the default's sweep, cached only (default 2,4; "" for none;
                    --jobs 1 is always measured, idle and loaded)
  --no-loaded       no loaded rounds (by default each round runs the default, --jobs 1, --two-pass,
                    tar and cat once more while two `yes > /dev/null` keep both cores busy, beside
                    two busy loops that spend tar's and --jobs 1's CPU seconds: the controls)
  --loaded-repeat K the loaded runs K times a round (default 3: they scatter most)
  --no-asar         leave asar out (no npm install)
  --no-profile      no strace/callgrind profile of the small-files set
  --no-micro        no Google Benchmark micro-benchmark
  --idle-load L     before each set wait (up to 5 minutes) until fewer than L other processes run
                    (averaged over 3 seconds)
  --idle-wait S     wait at most S seconds instead of 5 minutes
  --no-docs         print the table only; leave docs/ alone
  --baseline PROG   another velkaron-pack (a build of the commit before a change), its default and
                    --jobs 1 timed in the same passes, idle and loaded; prints each against this build
USAGE
}

invocation="bash bench/run.sh${*:+ $*}"
with_asar=1
while [ $# -gt 0 ]; do
  case "$1" in
    --data) data="$(mkdir -p "$2" && cd "$2" && pwd)"; shift 2 ;;
    --runs) runs="$2"; shift 2 ;;
    --sets) sets="$2"; shift 2 ;;
    --sweep) sweep="$2"; [ -z "$sweep" ] && sweep=","; shift 2 ;;
    --jobs-sweep) jobs_sweep="$2"; [ -z "$jobs_sweep" ] && jobs_sweep=","; shift 2 ;;
    --no-asar) with_asar=0; shift ;;
    --no-profile|--no-micro|--no-loaded) extra+=("$1"); shift ;;
    --idle-load) extra+=(--idle-load "$2"); shift 2 ;;
    --loaded-repeat) extra+=(--loaded-repeat "$2"); shift 2 ;;
    --idle-wait) extra+=(--idle-wait "$2"); shift 2 ;;
    --no-docs) docs=""; shift ;;
    --baseline) extra+=(--baseline "$(realpath "$2")"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) echo "run.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
  esac
done

for tool in cmake ninja g++ python3 tar gnuplot yes; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing; run: bash scripts/setup.sh" >&2; exit 1; }
done

cd "$root"
mkdir -p "$build"
build_log="$build/bench-build.log"
if ! { [ -f "$build/build.ninja" ] || cmake --preset bench; } >"$build_log" 2>&1 ||
   ! cmake --build "$build" -j2 --target velkaron-pack velkaron-bench-entries velkaron-bench-busy >>"$build_log" 2>&1; then
  tail -n 30 "$build_log" >&2
  echo "run.sh: the bench build failed; the whole log is $build_log" >&2
  exit 1
fi

asar=""
asar_version=""
if [ "$with_asar" = 1 ]; then
  if ! command -v npm >/dev/null || ! command -v node >/dev/null; then
    echo "run.sh: node and npm are needed for asar (or pass --no-asar)" >&2; exit 1
  fi
  asar="$build/asar/node_modules/.bin/asar"
  if [ ! -x "$asar" ]; then
    echo "run.sh: installing @electron/asar@3 into $build/asar" >&2
    mkdir -p "$build/asar"
    npm install --prefix "$build/asar" --no-audit --no-fund --loglevel=error @electron/asar@3 >&2
  fi
  asar_version="$(node -p "require('$build/asar/node_modules/@electron/asar/package.json').version")"
fi

# The sets take about 2.7 GiB; the largest run leaves a 1 GiB packet and a 1 GiB work file beside them.
mkdir -p "$data"
free_kib="$(df -k --output=avail "$data" | tail -1 | tr -d ' ')"
if [ "$free_kib" -lt $((6 * 1024 * 1024)) ]; then
  echo "run.sh: only $((free_kib / 1024)) MiB free under $data; 6 GiB are needed (try --data DIR)" >&2; exit 1
fi
echo "run.sh: data in $data ($((free_kib / 1024 / 1024)) GiB free on its disk)" >&2
args=(--pack "$build/bin/velkaron-pack" --data "$data" --out "$build/out" --work "$build/work"
      --runs "$runs" --asar "$asar" --asar-version "$asar_version" --command "$invocation")
[ -n "$sets" ] && args+=(--sets "$sets")
[ -n "$sweep" ] && args+=(--sweep "$sweep")
[ -n "$jobs_sweep" ] && args+=(--jobs-sweep "$jobs_sweep")
[ -n "$docs" ] && args+=(--docs "$docs")
exec python3 "$root/bench/bench.py" "${args[@]}" "${extra[@]}"
