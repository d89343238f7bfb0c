#!/usr/bin/env bash
# Builds everything (installing what is missing) and runs every test; the exit code is the result.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
# Includes follow the layer order before anything is built.
./scripts/check-layers.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$BUILD_DIR" -j "$(nproc)"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)"
