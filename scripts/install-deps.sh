#!/usr/bin/env bash
# Installs the Debian packages that the engine needs. With --build-only,
# those that building the engine, installing it and running the example
# host program need; otherwise also those that the tests, the benchmarks
# and the reliability harness add (MariaDB stands for a database server
# that the engine does not support; pgbouncer is the connection pooler that
# the tests of several connections also run through). The tests also get
# a comma locale (de_DE.UTF-8), in which they run as a host with a user
# interface does.
set -euo pipefail
build=(
  build-essential cmake pkg-config
  libsqlite3-dev unixodbc-dev libpugixml-dev uuid-dev
)
tests=(
  sqlite3 unixodbc odbc-postgresql libsqliteodbc
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  postgresql postgresql-client pgbouncer
  mariadb-server odbc-mariadb
  clang-14 libclang-rt-14-dev
  doxygen locales
)
case "${1:-}" in
  --build-only) packages=("${build[@]}") ;;
  "") packages=("${build[@]}" "${tests[@]}") ;;
  *) echo "usage: install-deps.sh [--build-only]" >&2; exit 2 ;;
esac
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
if [ -z "${1:-}" ] && ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
