#!/usr/bin/env bash
# Starts a throwaway MariaDB server on a free loopback port, as the mysql
# user, with its data directory in a new temporary folder. It stands for a
# database server that the engine does not support for repositories.
# Prints two lines: the data directory and the ODBC connection string.
# Stop it with scripts/stop-test-mariadb.sh <data directory>.
set -euo pipefail
. "$(dirname "$0")/test-server-lib.sh"
datadir=$(new_server_folder mysql kv-mariadb)
as_mysql() { as_user mysql "$@"; }
# A root without password, reached over TCP on the loopback address only.
as_mysql mariadb-install-db --no-defaults --datadir="$datadir/data" \
  --auth-root-authentication-method=normal --skip-test-db \
  >"$datadir/install.log" 2>&1

# The server on `port`, in the background, with a log of this try alone;
# the log tells once it takes connections, or that it gave up. A server
# that gave up is waited for, so that the next try finds its files free.
start_server() {
  local log=$datadir/server.log pid
  rm -f "$log"
  pid=$(as_mysql sh -c "$(printf '%q ' mariadbd --no-defaults --datadir="$datadir/data" \
    --port="$1" --bind-address=127.0.0.1 --skip-name-resolve \
    --socket="$datadir/mariadb.sock" --pid-file="$datadir/mariadb.pid" \
    --log-error="$log" --innodb-flush-log-at-trx-commit=0) </dev/null >/dev/null 2>&1 & echo \$!")
  for _ in $(seq 1 150); do
    grep -q 'ready for connections' "$log" 2>/dev/null && return 0
    grep -q '\[ERROR\] Aborting' "$log" 2>/dev/null && break
    sleep 0.2
  done
  for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  server_did_not_start "the MariaDB server" "$log"
}
start_on_free_port "$datadir" start_server
mariadb --no-defaults --protocol=tcp -h 127.0.0.1 -P "$port" -u root -e "CREATE DATABASE kvtest"
echo "$datadir"
echo "Driver={MariaDB Unicode};Server=127.0.0.1;Port=$port;Database=kvtest;Uid=root;Pwd=;"
