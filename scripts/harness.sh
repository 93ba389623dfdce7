#!/usr/bin/env bash
# The reliability harness, beside the README's test command:
#   - every libFuzzer target (tests/fuzz) runs for FUZZ_SECONDS (default 20)
#     from its seed corpus, all at once, built with clang in build-fuzz/;
#   - the concurrency tests run under ThreadSanitizer, built in build-tsan/;
#   - a host's thread pool on one shared repository
#     (tests/concurrency/thread_pool_stress.cpp) runs under ThreadSanitizer
#     and AddressSanitizer: no lost or phantom row, no call past the busy
#     timeout;
#   - the kill trials (tests/fault/kill_trials.cpp) kill a repository copy
#     and a cascade delete of runs with SIGKILL at random moments,
#     KV_KILL_TRIALS times each (default 20), built in build-asan/; the copy
#     into PostgreSQL runs when KV_TEST_PG_CONNECTION is set;
#   - the concurrency tests of the connection lock and of transactions
#     per thread (SharedObjectTexts, LockTurns, TransactionOwner) and the
#     thread pool run once more in build-asan/ beside 2 x nproc busy
#     processes, which the script kills however it ends; beside them too,
#     the waits for another connection's lock (LockWaitTest and the SQLite3
#     ODBC driver's, on PostgreSQL as well when KV_TEST_PG_CONNECTION is
#     set) run 20 times in a row;
#   - writers taking turns (tests/concurrency/writer_turns.cpp): 8
#     processes add to one SQLite file for WRITE_SECONDS (default 5), and
#     no add may fail for a lock held by the others, built in build-asan/;
#   - the memory bounds of in-memory cursors (tests/rda/cursor_memory_test
#     .cpp), which only a build without sanitizers can measure, built in
#     build-rel/ (Release, no benchmarks);
#   - the thread-end tests (TransactionOwnerTest) under valgrind in
#     build-rel/: glibc and the kernel write into the robust mutexes that
#     a thread holds (its robust list), which no sanitizer sees, so a
#     thread token freed while another thread still holds its mutex shows
#     only there (on SQLite: the PostgreSQL driver reads memory of its own
#     that valgrind takes for uninitialised).
# The I/O-error and disk-full injection runs with the engine's tests.
# Inputs that the fuzzers find go to a scratch folder, never into the
# seeds; a crash leaves its input under build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-20}
jobs=${HARNESS_JOBS:-$(nproc)}
clang=(-DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
started=$SECONDS

echo "== fuzz targets, ${seconds}s each"
cmake -S . -B build-fuzz "${clang[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKV_FUZZ=ON -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$jobs" >/dev/null
findings=build-fuzz/findings
rm -rf "$findings" && mkdir -p "$findings"
pids=()
targets=()
for seeds in tests/fuzz/corpus/*/; do
  target=$(basename "$seeds")
  mkdir -p "$findings/$target/corpus"
  build-fuzz/tests/fuzz/"$target"_fuzz -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$findings/$target/" \
    "$findings/$target/corpus" "$seeds" >"$findings/$target.log" 2>&1 &
  pids+=("$!")
  targets+=("$target")
done
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    echo "${targets[$i]}: $(grep -o 'Done [0-9]* runs' "$findings/${targets[$i]}.log" || echo done)"
  else
    echo "${targets[$i]}: FAILED" >&2
    tail -n 40 "$findings/${targets[$i]}.log" >&2
    failed=1
  fi
done
[ "$failed" = 0 ]

echo "== concurrency tests under ThreadSanitizer"
cmake -S . -B build-tsan "${clang[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DKV_BUILD_BENCH=OFF -DCMAKE_C_FLAGS=-fsanitize=thread \
  -DCMAKE_CXX_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan -j"$jobs" --target kvconcurrency_tests \
  kvthread_pool_stress >/dev/null
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
KV_TEST_TMPDIR="$PWD/build-tsan/tests/tmp" build-tsan/tests/kvconcurrency_tests
KV_TEST_TMPDIR="$PWD/build-tsan/tests/tmp" build-tsan/tests/kvthread_pool_stress

echo "== kill trials"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs" --target kvkill_trials >/dev/null
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" build-asan/tests/kvkill_trials

echo "== thread pool under AddressSanitizer"
cmake --build build-asan -j"$jobs" --target kvthread_pool_stress >/dev/null
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" build-asan/tests/kvthread_pool_stress

echo "== concurrency tests on a busy machine"
cmake --build build-asan -j"$jobs" --target kvconcurrency_tests \
  kvreposadmin_tests >/dev/null
busy=()
stop_busy() {
  [ "${#busy[@]}" -eq 0 ] && return
  kill "${busy[@]}" 2>/dev/null || true
  wait "${busy[@]}" 2>/dev/null || true
  busy=()
}
trap stop_busy EXIT
trap 'exit 130' INT TERM HUP
for _ in $(seq $((2 * $(nproc)))); do
  (while :; do :; done) &
  busy+=("$!")
done
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" \
  build-asan/tests/kvconcurrency_tests \
  --gtest_filter='*SharedObjectTexts*:*LockTurns*:*TransactionOwner*'
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" build-asan/tests/kvthread_pool_stress
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" build-asan/tests/kvreposadmin_tests \
  --gtest_filter='*LockWaitTest.*' --gtest_repeat=20 --gtest_brief=1
stop_busy
trap - EXIT INT TERM HUP

echo "== writers taking turns"
cmake --build build-asan -j"$jobs" --target kvwriter_turns >/dev/null
KV_TEST_TMPDIR="$PWD/build-asan/tests/tmp" build-asan/tests/kvwriter_turns \
  --processes 8 --seconds "${WRITE_SECONDS:-5}"

echo "== memory bounds of cursors, Release build"
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release -DKV_SANITIZE=OFF \
  -DKV_BUILD_TESTS=ON -DKV_BUILD_BENCH=OFF >/dev/null
cmake --build build-rel -j"$jobs" --target kvreposadmin_tests >/dev/null
KV_TEST_TMPDIR="$PWD/build-rel/tests/tmp" build-rel/tests/kvreposadmin_tests \
  --gtest_filter='CursorMemoryTest.*'

echo "== thread ends under valgrind, Release build"
cmake --build build-rel -j"$jobs" --target kvconcurrency_tests >/dev/null
KV_TEST_TMPDIR="$PWD/build-rel/tests/tmp" valgrind -q --error-exitcode=1 \
  build-rel/tests/kvconcurrency_tests \
  --gtest_filter='*/TransactionOwnerTest.*/Sqlite*'

echo "== harness done in $((SECONDS - started))s"
