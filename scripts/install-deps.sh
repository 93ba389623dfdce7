#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the example need
# (MariaDB stands for a database server that the engine does not support).
set -euo pipefail
packages=(
  build-essential cmake pkg-config
  libsqlite3-dev sqlite3
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc
  libpugixml-dev uuid-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  postgresql postgresql-client
  mariadb-server odbc-mariadb
  clang-14 libclang-rt-14-dev
)
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
