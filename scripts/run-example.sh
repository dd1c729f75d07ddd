#!/usr/bin/env bash
# Installs what is needed, builds, and runs the end-to-end example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQORMTX_BUILD_TESTS=OFF -DQORMTX_BUILD_BENCH=OFF
cmake --build "$BUILD" -j "$(nproc)" --target qormtx_example
"$BUILD/examples/qormtx_example"
