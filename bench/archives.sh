#!/usr/bin/env bash
# The reader library against libzip and PhysFS: builds the bench preset and runs
# bench/archives.py on 100,000 small and 200 large files, packed and in a store-only
# zip, and rewrites its section of docs/benchmarks.md. Not a test.
#   bash bench/archives.sh [--runs N] [--data DIR] [--no-docs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target velkaron-pack velkaron-bench-archives >/dev/null
exec python3 bench/archives.py --bin build/bench/bin --data build/bench/archive-data --docs docs/benchmarks.md \
  --commit "$(git rev-parse --short HEAD 2>/dev/null || echo unknown)" --invocation "bash bench/archives.sh${*:+ $*}" "$@"
