#!/usr/bin/env bash
# Installs what the build needs (not the test servers and tools), builds the
# engine and the example host program in build/ (no tests, no benchmarks)
# and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --build-only
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)" --target kvhost_example
KV_CONFIG_FILE=examples/example.cfg ./build/examples/kvhost_example build/example_repository
