#!/usr/bin/env bash
# Stops a pooler started by scripts/start-test-pgbouncer.sh and removes its
# folder.
set -u
folder=${1:?usage: stop-test-pgbouncer.sh <folder>}
if [ -f "$folder/pgbouncer.pid" ]; then
  pid=$(cat "$folder/pgbouncer.pid")
  kill "$pid" 2>/dev/null
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
fi
rm -rf "$folder"
