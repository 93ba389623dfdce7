#!/usr/bin/env bash
# Checks the engine library's dynamic symbol table: it defines exactly the
# four entry points that hosts call, and nothing else.
set -euo pipefail
library=${1:?usage: check_exports.sh <library>}
expected="createRepositoryAdmin getRepositoryAdminError getTableCreationSpec writeRepositorySchemaInfo"
found=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVW]$/ {print $3}' | sort | tr '\n' ' ')
if [ "$found" != "$expected " ]; then
  echo "expected exports: $expected" >&2
  echo "found exports:    $found" >&2
  exit 1
fi
echo "exports: $found"
