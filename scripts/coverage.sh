#!/usr/bin/env bash
# Measures how much of src/ and platform/ the test suite runs: builds the tests
# with --coverage in build-coverage/ (Debug, no sanitizers), runs the whole
# suite and prints gcovr's line and branch summary, then the least covered
# files. The PostgreSQL cases run when KV_TEST_PG_CONNECTION holds an ODBC
# connection string. Slow; not run by CI.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v gcovr >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends gcovr
fi
cmake -S . -B build-coverage -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=OFF \
  -DKV_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=--coverage -DCMAKE_C_FLAGS=--coverage \
  -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage
cmake --build build-coverage -j"$(nproc)"
find build-coverage -name '*.gcda' -delete  # counts from this run only
(cd build-coverage && ctest -j"$(nproc)" --output-on-failure) ||
  echo "coverage: some tests failed; the numbers below still count them" >&2
filters=(--root . --exclude-directories 'build-coverage/CMakeFiles' --filter 'src/' --filter 'platform/' --exclude-unreachable-branches
         --exclude-throw-branches --gcov-ignore-parse-errors)
report=$(mktemp)
trap 'rm -f "$report"' EXIT
gcovr "${filters[@]}" --object-directory build-coverage --txt "$report" \
  --print-summary | tail -n 3
echo "Least covered files (lines):"
# The per-file table: file, lines, executed, percent, missing lines.
awk '$4 ~ /%$/ && $1 ~ /^(src|platform)\// {print $4, $1}' "$report" |
  sort -n | head -n 10
