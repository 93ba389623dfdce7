#!/usr/bin/env bash
# Starts a throwaway PostgreSQL 15 server on a free loopback port, as the
# postgres user, with its data directory in a new temporary folder.
# Prints two lines: the data directory and the ODBC connection string.
# Stop it with scripts/stop-test-postgres.sh <data directory>.
set -euo pipefail
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
. "$(dirname "$0")/test-server-lib.sh"
datadir=$(new_server_folder postgres kv-pg)
as_pg() { as_user postgres "$@"; }
as_pg "$bindir/initdb" -D "$datadir/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$datadir/initdb.log" 2>&1

# The server on `port`, with a log of this try alone; pg_ctl waits until it
# takes connections, or ends at once when it could not listen.
start_server() {
  rm -f "$datadir/server.log"
  as_pg "$bindir/pg_ctl" -D "$datadir/data" -l "$datadir/server.log" -w \
    -o "-c listen_addresses=127.0.0.1 -p $1 -k $datadir -c fsync=off" start >/dev/null ||
    server_did_not_start "the PostgreSQL server" "$datadir/server.log"
}
start_on_free_port "$datadir" start_server
as_pg "$bindir/createdb" -h 127.0.0.1 -p "$port" -U postgres kvtest
echo "$datadir"
echo "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=$port;Database=kvtest;Uid=postgres;Pwd=;"
