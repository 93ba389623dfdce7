#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test. The PostgreSQL cases run when
# KV_TEST_PG_CONNECTION holds an ODBC connection string; otherwise they are
# skipped, and one line at the end counts the skipped tests by reason.
#
# With a server, every test that reaches it (each carries "Postgres" in its
# name; see postgresConnectionString in tests/support/dac_targets.h) runs
# in three modes of the driver: its default, which undoes a failed
# statement alone; "Protocol=7.4-0", where a failed statement leaves the
# whole transaction aborted as the server itself does; and
# "Protocol=7.4-1", where the driver rolls the whole transaction back at
# once and the next statement begins a new one. Only the last two show
# work that fails inside a transaction without a savepoint of its own, and
# a transaction lost without a word.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-asan

# Runs ctest with the arguments given and answers its status. Instead of
# listing every skipped test at the end, it prints one line that counts
# them, with how many were skipped because a server's variable is not set;
# failures, and tests that did not run for another reason, stay as ctest
# prints them.
run_ctest() {
  local output status
  output=$(mktemp)
  set +e
  ctest --output-on-failure -j"$(nproc)" "$@" | tee "$output" |
    grep -v -e '(Skipped)$' -e '^The following tests did not run:$'
  status=${PIPESTATUS[0]}
  set -e
  local skipped
  skipped=$(grep -c '(Skipped)$' "$output" || true)
  rm -f "$output"
  if [ "$skipped" -gt 0 ]; then
    # A skipped test's output names the variable it lacks:
    # "KV_TEST_PG_CONNECTION is not set: ...".
    echo "$skipped tests skipped$(grep -o '^[A-Z_]* is not set' \
      Testing/Temporary/LastTest.log | sort | uniq -c |
      awk '{ printf "%s %s because %s is not set", NR == 1 ? ":" : ",", $1, $2 }')" \
      "(each test's reason: $PWD/Testing/Temporary/LastTest.log)"
  fi
  return "$status"
}

run_ctest
if [ -n "${KV_TEST_PG_CONNECTION:-}" ]; then
  for mode in 7.4-0 7.4-1; do
    echo "== the PostgreSQL cases with Protocol=$mode"
    KV_TEST_PG_CONNECTION="${KV_TEST_PG_CONNECTION%;};Protocol=$mode;" \
      run_ctest -R Postgres
  done
fi
