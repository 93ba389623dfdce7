#!/usr/bin/env bash
# Stops a server started by scripts/start-test-mariadb.sh and removes its
# data directory.
set -u
datadir=${1:?usage: stop-test-mariadb.sh <data directory>}
if [ -f "$datadir/mariadb.pid" ]; then
  pid=$(cat "$datadir/mariadb.pid")
  kill "$pid" 2>/dev/null
  # The server ends once it has shut down its storage engines.
  for _ in $(seq 1 150); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
fi
rm -rf "$datadir"
