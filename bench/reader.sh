#!/usr/bin/env bash
# The reader library's benchmark: builds the bench preset and runs bench/reader.py,
# which opens a packet of 500,000 entries, looks up random paths in it and reads
# random small files from it, against reading the same files from the extracted
# folder, and rewrites its section of docs/benchmarks.md. Not a test.
#   bash bench/reader.sh [--runs N] [--cold-runs N] [--data DIR] [--no-docs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake --preset bench >/dev/null
cmake --build --preset bench -j2 --target velkaron-pack velkaron-bench-reader >/dev/null
exec python3 bench/reader.py --bin build/bench/bin --data build/bench/reader-data --docs docs/benchmarks.md \
  --commit "$(git rev-parse --short HEAD 2>/dev/null || echo unknown)" --invocation "bash bench/reader.sh${*:+ $*}" "$@"
