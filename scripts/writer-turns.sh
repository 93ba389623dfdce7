#!/usr/bin/env bash
# Writers taking turns on one SQLite repository file: builds the program
# tests/concurrency/writer_turns.cpp in a Release build (build-rel/) and runs
# it. WRITERS processes (default 8) add monitoring tasks for WRITE_SECONDS
# seconds (default 30); it prints the adds made, the failed adds with their
# texts, and the median and longest wait of one add, and exits with 1 when
# an add failed. ROUTE is file (default), connection or odbc. Extra
# arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build-rel -j"${HARNESS_JOBS:-$(nproc)}" --target kvwriter_turns >/dev/null
KV_TEST_TMPDIR=${KV_TEST_TMPDIR:-$PWD/build-rel/tests/tmp} \
  build-rel/tests/kvwriter_turns --processes "${WRITERS:-8}" \
  --seconds "${WRITE_SECONDS:-30}" --route "${ROUTE:-file}" "$@"
