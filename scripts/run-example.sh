#!/usr/bin/env bash
# Installs the dependencies, builds the engine in build/ and runs the example
# host program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target kvhost_example
KV_CONFIG_FILE=examples/example.cfg ./build/examples/kvhost_example build/example_repository
