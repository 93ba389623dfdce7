#!/usr/bin/env bash
# Configures a release build for one prefix and installs it into another
# (`cmake --install --prefix`), then builds host programs against that copy
# alone: every example host program with find_package, the first also with
# pkg-config, the README's snippet with pkg-config, and the host tests.
# Every host runs in a folder of its own outside the source tree and must
# create a complete repository: the engine finds its table sets beside its
# installed library, not below the prefix it was configured for, which
# stays empty. Every example but the first runs in SQLite files and, when
# KV_TEST_PG_CONNECTION names a PostgreSQL database, once more on that
# server, where the examples then make their repositories (the PostgreSQL
# example runs there only).
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
configured=$work/configured
prefix=$work/prefix

cmake -S . -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$configured" -DKV_BUILD_TESTS=OFF -DKV_BUILD_BENCH=OFF
cmake --build "$work/build" -j"${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" \
  --target kvreposadmin
cmake --install "$work/build" --prefix "$prefix"
if [ -e "$configured" ] || grep -rl "$configured" "$prefix" >&2; then
  echo "the install depends on the configured prefix $configured" >&2
  exit 1
fi

# The table sets that every repository must hold: their names, and the
# tables of the reference-data set.
sets=$(sed -n 's/.*<tableset name="\([A-Z_]*\)".*/\1/p' etc/reposcreate/*.xml)

# Runs the host program $1 in a fresh folder. It must succeed without a
# word on stderr, and every repository file it leaves there must hold a
# version row for every shipped table set.
run_host() {
  local run
  run=$(mktemp -d "$work/run-$(basename "$1").XXXXXX")
  printf 'BASE/WORKDESK=true\n' >"$run/host.cfg"
  if ! (cd "$run" && KV_CONFIG_FILE=host.cfg "$1" repository 2>stderr) ||
    [ -s "$run/stderr" ]; then
    echo "$1 failed or wrote to stderr:" >&2
    cat "$run/stderr" >&2
    return 1
  fi
  local db set
  for db in "$run"/*.db; do
    [ -e "$db" ] || continue
    for set in $sets; do
      if [ -z "$(sqlite3 "$db" \
                 "SELECT I_VERS FROM INFO WHERE I_TYPE='$set'")" ]; then
        echo "$1: $(basename "$db") lacks the table set $set" >&2
        return 1
      fi
    done
  done
}

cmake -S examples -B "$work/example" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/example"
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name kvreposadmin.pc)")
libdir=$(pkg-config --variable=libdir kvreposadmin)
includedir=$(pkg-config --variable=includedir kvreposadmin)
# Hosts take libdir as their rpath: each must name its folder plainly,
# without "//", "." or "..".
for dir in "$libdir" "$includedir"; do
  if [ "$dir" != "$(realpath -m -s "$dir")" ]; then
    echo "pkg-config names the folder $dir, which is not normalised" >&2
    exit 1
  fi
done
if [ ! -e "$libdir/libkvreposadmin.so" ] ||
  [ ! -e "$includedir/reposadmin/kvreposadmin.h" ]; then
  echo "pkg-config's libdir $libdir or includedir $includedir is wrong" >&2
  exit 1
fi

# Runs the example examples/$1.cpp as built with find_package (the target
# kv$1) and as built with pkg-config.
check_example() {
  run_host "$work/example/kv$1"
  c++ -std=c++17 -o "$work/pc-$1" "$source/examples/$1.cpp" \
    $(pkg-config --cflags --libs kvreposadmin) -Wl,-rpath,"$libdir"
  run_host "$work/pc-$1"
}

check_example host_example

# The README's first C++ snippet, as a host would copy it: its #include
# lines, then the rest as the body of main() unless it has a main() of its
# own; built with pkg-config and run.
awk '/^```cpp/ { inside = 1; next } inside && /^```/ { exit } inside' \
  README.md >"$work/readme-snippet"
if grep -q 'int main' "$work/readme-snippet"; then
  cp "$work/readme-snippet" "$work/readme.cpp"
else
  { grep '^#include' "$work/readme-snippet" || true
    echo 'int main() {'
    grep -v '^#include' "$work/readme-snippet"
    echo '}'; } >"$work/readme.cpp"
fi
c++ -std=c++17 -o "$work/readme" "$work/readme.cpp" \
  $(pkg-config --cflags --libs kvreposadmin) -Wl,-rpath,"$libdir"
run_host "$work/readme"

# Every other example, built with find_package: in SQLite files (with the
# variable emptied), and on the test server when KV_TEST_PG_CONNECTION names
# one. The PostgreSQL example runs on the server only.
server=${KV_TEST_PG_CONNECTION:-}
for example in "$work"/example/kvhost_*; do
  name=$(basename "$example")
  [ "$name" != kvhost_example ] || continue
  if [ "$name" != kvhost_postgres ]; then
    echo "running $name on SQLite"
    KV_TEST_PG_CONNECTION='' run_host "$example"
  fi
  if [ -n "$server" ]; then
    echo "running $name on the PostgreSQL server"
    run_host "$example"
  elif [ "$name" = kvhost_postgres ]; then
    echo "not running kvhost_postgres: KV_TEST_PG_CONNECTION is not set"
  fi
done

cmake -S tests/host -B "$work/host-tests" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix"
cmake --build "$work/host-tests"
KV_TEST_TMPDIR=$work/tmp "$work/host-tests/kvhost_tests"

echo "host programs built and run against the installed copy"
