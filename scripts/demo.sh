#!/usr/bin/env bash
# Sets up and builds the native tools, then runs the main job headless: packs the
# example folder with velkaron-pack and says where the packet went.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh native
cmake --preset native >/dev/null
cmake --build --preset native -j2 --target velkaron-pack velkaron_example
build/native/bin/velkaron-pack
