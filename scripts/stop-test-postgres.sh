#!/usr/bin/env bash
# Stops a server started by scripts/start-test-postgres.sh and removes its
# data directory.
set -u
datadir=${1:?usage: stop-test-postgres.sh <data directory>}
bindir=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
if [ -d "$datadir/data" ]; then
  if [ "$(id -un)" = postgres ]; then "$bindir/pg_ctl" -D "$datadir/data" -m fast -w stop >/dev/null 2>&1
  else su postgres -s /bin/sh -c "$bindir/pg_ctl -D '$datadir/data' -m fast -w stop" >/dev/null 2>&1; fi
fi
rm -rf "$datadir"
