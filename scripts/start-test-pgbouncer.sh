#!/usr/bin/env bash
# Starts a throwaway connection pooler (pgbouncer) in transaction mode on a
# free loopback port, in front of the PostgreSQL server that the ODBC
# connection string in the first argument reaches (its Server and Port;
# every database of that server is reached under its own name), with its
# configuration, log and pid file in a new temporary folder.
#
# The pool is small (KV_TEST_PGBOUNCER_POOL_SIZE server sessions for each
# database and user, 4 when not set), so that the clients of a test run
# take turns at shared server sessions and a client's next transaction
# often lands on another session than its last. Nothing the engine relies
# on may stay in a session between its transactions; this is where that
# shows.
#
# Prints two lines: the folder and the ODBC connection string that pooled
# sites use (docs/guide.md, "Behind a connection pooler"): the given one
# with the pooler's port and UseServerSidePrepare=0.
# Stop it with scripts/stop-test-pgbouncer.sh <folder>.
set -euo pipefail
connection=${1:?usage: start-test-pgbouncer.sh <ODBC connection string of the server>}
pool_size=${KV_TEST_PGBOUNCER_POOL_SIZE:-4}
. "$(dirname "$0")/test-server-lib.sh"

# The value of `key` in the connection string (keys ignore case).
attribute() {
  tr ';' '\n' <<<"$connection" | sed -n "s/^[[:space:]]*$1[[:space:]]*=//Ip" | head -n 1
}
server_host=$(attribute Server)
server_port=$(attribute Port)
user=$(attribute Uid)
: "${server_host:=127.0.0.1}" "${server_port:=5432}" "${user:=postgres}"

# pgbouncer refuses to run as root; it runs as the server's own user.
runner=$(id -un)
[ "$(id -u)" -ne 0 ] || runner=postgres
folder=$(new_server_folder "$runner" kv-pgbouncer)

# The configuration for a pooler listening on port $1.
write_configuration() {
  cat >"$folder/pgbouncer.ini" <<INI
[databases]
* = host=$server_host port=$server_port

[pgbouncer]
pool_mode = transaction
listen_addr = 127.0.0.1
listen_port = $1
unix_socket_dir =
auth_type = trust
auth_file = $folder/userlist.txt
default_pool_size = $pool_size
min_pool_size = 0
reserve_pool_size = 0
max_client_conn = 500
; A client that finds no free server session for this long is refused,
; rather than a test hanging on it.
query_wait_timeout = 60
logfile = $folder/pgbouncer.log
pidfile = $folder/pgbouncer.pid
; The driver sends it at connect; in transaction mode it cannot follow a
; client anyway.
ignore_startup_parameters = extra_float_digits
INI
  chown "$runner": "$folder/pgbouncer.ini"
}
printf '"%s" ""\n' "$user" >"$folder/userlist.txt"
chown "$runner": "$folder/userlist.txt"

# The pooler on `port`, with a log of this try alone. It leaves the
# foreground before it listens, so its log tells: it says where it listens
# once it does, or that it had nowhere to listen on and ended.
start_pooler() {
  local port=$1 log=$folder/pgbouncer.log
  write_configuration "$port"
  rm -f "$log"
  as_user "$runner" /usr/sbin/pgbouncer -d -q "$folder/pgbouncer.ini"
  for _ in $(seq 1 100); do
    grep -q "listening on 127.0.0.1:$port\$" "$log" 2>/dev/null && return 0
    grep -q ' FATAL ' "$log" 2>/dev/null && break
    sleep 0.1
  done
  server_did_not_start pgbouncer "$log"
}
start_on_free_port "$folder" start_pooler
echo "$folder"
# The given string without its server and port, then the pooler's.
pooled=$(tr ';' '\n' <<<"$connection" | grep -v -i -E '^[[:space:]]*(Server|Port)[[:space:]]*=' |
  grep -v '^[[:space:]]*$' | tr '\n' ';')
echo "${pooled}Server=127.0.0.1;Port=$port;UseServerSidePrepare=0;"
