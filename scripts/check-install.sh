#!/usr/bin/env bash
# Installs a release build of the engine into a staging prefix and builds
# host programs against that copy alone: the example host program, once
# with find_package and once with pkg-config, and the host tests. The
# example must find everything it needs, the table sets included, in the
# prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake -S . -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build "$work/build" -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --target kvreposadmin
cmake --install "$work/build"

# Runs the host program $1 in a fresh folder; it must succeed without a
# word on stderr (a missing table-set folder would be warned about).
run_host() {
  local run=$work/run-$(basename "$1")
  mkdir "$run"
  printf 'BASE/WORKDESK=true\n' >"$run/host.cfg"
  (cd "$run" && KV_CONFIG_FILE=host.cfg "$1" repository 2>stderr)
  if [ -s "$run/stderr" ]; then
    cat "$run/stderr" >&2
    return 1
  fi
}

cmake -S examples -B "$work/example" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/example"
# Every example the examples/ build makes; the PostgreSQL one works on the
# test server when there is one and says it did nothing otherwise.
if [ -n "${KV_TEST_PG_CONNECTION:-}" ]; then
  export KV_EXAMPLE_PG_CONNECTION=$KV_TEST_PG_CONNECTION
fi
for example in "$work"/example/kvhost_*; do
  if [ -f "$example" ] && [ -x "$example" ]; then
    echo "running $(basename "$example")"
    run_host "$example"
  fi
done

export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kvreposadmin.pc)")
libdir=$(pkg-config --variable=libdir kvreposadmin)
c++ -std=c++17 -o "$work/kvhost_example_pc" "$source/examples/host_example.cpp" \
  $(pkg-config --cflags --libs kvreposadmin) -Wl,-rpath,"$libdir"
run_host "$work/kvhost_example_pc"

cmake -S tests/host -B "$work/host-tests" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/host-tests"
KV_TEST_TMPDIR=$work/tmp "$work/host-tests/kvhost_tests"

echo "host programs built and run against the installed copy"
