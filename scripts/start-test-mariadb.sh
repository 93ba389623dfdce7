#!/usr/bin/env bash
# Starts a throwaway MariaDB server on a free loopback port, as the mysql
# user, with its data directory in a new temporary folder. It stands for a
# database server that the engine does not support for repositories.
# Prints two lines: the data directory and the ODBC connection string.
# Stop it with scripts/stop-test-mariadb.sh <data directory>.
set -euo pipefail
. "$(dirname "$0")/test-server-lib.sh"
datadir=$(new_server_folder mysql kv-mariadb)
port=$(free_loopback_port)
as_mysql() { as_user mysql "$@"; }
# A root without password, reached over TCP on the loopback address only.
as_mysql mariadb-install-db --no-defaults --datadir="$datadir/data" \
  --auth-root-authentication-method=normal --skip-test-db \
  >"$datadir/install.log" 2>&1
as_mysql sh -c "$(printf '%q ' mariadbd --no-defaults --datadir="$datadir/data" \
  --port="$port" --bind-address=127.0.0.1 --skip-name-resolve \
  --socket="$datadir/mariadb.sock" --pid-file="$datadir/mariadb.pid" \
  --log-error="$datadir/server.log" --innodb-flush-log-at-trx-commit=0) </dev/null >/dev/null 2>&1 &"
client=(mariadb --no-defaults --protocol=tcp -h 127.0.0.1 -P "$port" -u root)
for _ in $(seq 1 100); do
  "${client[@]}" -e "SELECT 1" >/dev/null 2>&1 && break
  sleep 0.2
done
"${client[@]}" -e "CREATE DATABASE kvtest" || {
  echo "the MariaDB server did not start; see $datadir/server.log" >&2
  exit 1
}
echo "$datadir"
echo "Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;Database=kvtest;Uid=root;Pwd=;"
