#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan/ and runs every test. The PostgreSQL cases run when
# KV_TEST_PG_CONNECTION holds an ODBC connection string; otherwise they are
# skipped, and one line at the end counts the skipped tests by reason.
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

# Runs ctest with the arguments given. Instead of listing every skipped
# test at the end, it prints one line that counts them by reason (each
# test's reason is in ctest-results.xml); failures, and tests that did not
# run for another reason, stay as ctest prints them. Answers ctest's status.
run_ctest() {
  local results=$PWD/ctest-results.xml status=0
  ctest --output-on-failure -j"$(nproc)" --output-junit "$results" "$@" |
    awk '
      function keptNotRun(i) {
        if (notRun == 0) return
        print "The following tests did not run:"
        for (i = 1; i <= notRun; ++i) print kept[i]
      }
      /^The following tests did not run:$/ { listing = 1; notRun = 0; next }
      listing && /^\t/ {
        if ($0 !~ /\(Skipped\)$/) kept[++notRun] = $0
        next
      }
      listing { keptNotRun(); listing = 0 }
      { print; fflush() }
      END { if (listing) keptNotRun() }' || status=$?
  # A skipped test gives its reason on the line after "<file>:<line>:
  # Skipped" of its output. A reason "<VARIABLE> is not set: ..." counts
  # under the variable.
  awk -v results="$results" '
    /<testcase / { skipped = $0 ~ /status="notrun"/; next_is_reason = 0 }
    skipped && /: Skipped$/ { next_is_reason = 1; next }
    skipped && next_is_reason {
      next_is_reason = 0
      ++total
      if (match($0, /^[A-Z][A-Z0-9_]* is not set/)) {
        variable = substr($0, 1, RLENGTH - length(" is not set"))
        if (!(variable in unset)) order[++variables] = variable
        ++unset[variable]
      } else {
        ++other
      }
    }
    END {
      if (total == 0) exit
      line = total (total == 1 ? " test" : " tests") " skipped:"
      separator = " "
      for (i = 1; i <= variables; ++i) {
        line = line separator unset[order[i]] " because " order[i] \
          " is not set"
        separator = ", "
      }
      if (other)
        line = line separator other \
          (other == 1 ? " that does" : " that do") \
          " not apply to this back end or build"
      print line " (each reason: " results ")"
    }' "$results"
  return "$status"
}

run_ctest
if [ -n "${KV_TEST_PG_CONNECTION:-}" ]; then
  # The cases that reach the server: those of the back-end "Postgres" and
  # the connects of several threads at once.
  KV_TEST_PG_CONNECTION="${KV_TEST_PG_CONNECTION%;};Protocol=7.4-0;" \
    run_ctest -R '/Postgres( |$)|^DacThreads\.'
fi
