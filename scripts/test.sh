#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test. The PostgreSQL cases run when
# KV_TEST_PG_CONNECTION holds an ODBC connection string; otherwise they are
# skipped, and the end of each run counts the skipped tests by reason.
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
#
# When KV_TEST_PGBOUNCER_CONNECTION holds the connection string of a
# connection pooler in transaction mode in front of the same server
# (scripts/start-test-pgbouncer.sh), the PostgreSQL tests of several
# connections, processes or threads run once more through it, in the
# driver's default mode and with "Protocol=7.4-1": turns, uniqueness,
# references against a racing delete, deadlocks, id counters, loads, lost
# sessions and isolation levels, chosen by the words in their names
# (pooled_tests below). They run side by side as far as the pool's server
# sessions allow: KV_TEST_PGBOUNCER_POOL_SIZE, the pool size that
# scripts/start-test-pgbouncer.sh was started with (4 when not set), is
# shared out at 6 server sessions per test, one test at a time for a
# smaller pool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON
cmake --build build-asan -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd build-asan

# Runs ctest with the arguments after the first and answers its status,
# as many tests at once as $ctest_jobs says (by default one per core).
# The run's log is kept as Testing/Temporary/<first argument>.log, so that
# each run keeps its own (ctest writes LastTest.log anew each time).
# Instead of listing every skipped test at the end, it prints how many were
# skipped for each reason that the tests gave; failures, and tests that did
# not run for another reason, stay as ctest prints them.
run_ctest() {
  local name=$1 output status
  shift
  output=$(mktemp)
  set +e
  ctest --output-on-failure -j"${ctest_jobs:-$(nproc)}" "$@" | tee "$output" |
    grep -v -e '(Skipped)$' -e '^The following tests did not run:$'
  status=${PIPESTATUS[0]}
  set -e
  local log=$PWD/Testing/Temporary/$name.log skipped
  cp Testing/Temporary/LastTest.log "$log"
  skipped=$(grep -c '(Skipped)$' "$output" || true)
  rm -f "$output"
  if [ "$skipped" -gt 0 ]; then
    # GoogleTest writes a skip as "<file>:<line>: Skipped" followed by the
    # reason the test gave ("KV_TEST_PG_CONNECTION is not set: ...").
    echo "$skipped tests skipped, by reason (each test's in $log):"
    grep -A1 ': Skipped$' "$log" | grep -v -e ': Skipped$' -e '^--$' |
      sed 's/^/    /' | sort | uniq -c | sort -rn
  fi
  return "$status"
}

run_ctest all
if [ -n "${KV_TEST_PG_CONNECTION:-}" ]; then
  for mode in 7.4-0 7.4-1; do
    echo "== the PostgreSQL cases with Protocol=$mode"
    KV_TEST_PG_CONNECTION="${KV_TEST_PG_CONNECTION%;};Protocol=$mode;" \
      run_ctest "postgres-protocol-$mode" -R Postgres
  done
fi

# The PostgreSQL tests that use more than one connection, or one that
# threads share, by the words of their suites and cases.
pooled_words='Threads|Process|Across|Connections|Writers|Importers|Others|Held'
pooled_words+='|Wait|Turn|Deadlock|Racing|Race|AtOnce|Counter|Load|Lost|Reconnect'
pooled_words+='|Session|Isolation|SearchPath|Schema|Pool|TransactionOwner|FirstAdds'
pooled_tests="($pooled_words).*Postgres|Postgres.*($pooled_words)"
if [ -n "${KV_TEST_PGBOUNCER_CONNECTION:-}" ]; then
  # A test holds several server sessions at once (a transaction, other
  # connections waiting for it, one watching them); tests side by side
  # that found the pool taken would wait for each other at the pooler.
  pooled_jobs=$(( ${KV_TEST_PGBOUNCER_POOL_SIZE:-4} / 6 ))
  [ "$pooled_jobs" -ge 1 ] || pooled_jobs=1
  [ "$pooled_jobs" -le "$(nproc)" ] || pooled_jobs=$(nproc)
  for mode in default 7.4-1; do
    echo "== the PostgreSQL cases of several connections through the pooler, driver mode $mode, $pooled_jobs at once"
    connection="${KV_TEST_PGBOUNCER_CONNECTION%;};"
    [ "$mode" = default ] || connection+="Protocol=$mode;"
    ctest_jobs=$pooled_jobs KV_TEST_PG_CONNECTION=$connection \
      run_ctest "pooled-$mode" -R "$pooled_tests"
  done
fi
