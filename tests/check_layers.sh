#!/usr/bin/env bash
# Checks that no subsystem of the engine includes a header of src/admin.
# The administration layer makes the repositories and every object they hand
# out, so it sits above all the others; what they need of a repository they
# reach through interfaces of their own level or below
# (access/held_repository.h).
set -euo pipefail
src=${1:?usage: check_layers.sh <src folder>}
upward=$(grep -rn --include='*.h' --include='*.cpp' '#include "admin/' "$src" |
  grep -v "^$src/admin/" || true)
if [ -n "$upward" ]; then
  echo "includes of src/admin from below it:" >&2
  echo "$upward" >&2
  exit 1
fi
echo "no subsystem below src/admin includes it"
