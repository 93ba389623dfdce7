#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test. The PostgreSQL cases run when
# KV_TEST_PG_CONNECTION holds an ODBC connection string; otherwise they report
# that they were skipped.
#
# With a server they run twice: first with the driver's default, which undoes
# a failed statement alone, then with "Protocol=7.4-0", where a failed
# statement leaves the whole transaction aborted as the server itself does.
# Only the second pass shows work that fails inside a transaction without a
# savepoint of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-asan
ctest --output-on-failure -j"$(nproc)"
if [ -n "${KV_TEST_PG_CONNECTION:-}" ]; then
  # The cases that reach the server: those of the back-end "Postgres" and
  # the connects of several threads at once.
  KV_TEST_PG_CONNECTION="${KV_TEST_PG_CONNECTION%;};Protocol=7.4-0;" \
    ctest --output-on-failure -j"$(nproc)" \
    -R '/Postgres( |$)|^DacThreads\.'
fi
