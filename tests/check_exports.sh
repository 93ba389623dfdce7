#!/usr/bin/env bash
# Checks the engine library's dynamic symbol table: it may define only the
# four entry points that hosts call.
set -euo pipefail
library=${1:?usage: check_exports.sh <library>}
allowed="createRepositoryAdmin getRepositoryAdminError getTableCreationSpec writeRepositorySchemaInfo"
status=0
for symbol in $(nm -D --defined-only "$library" | awk '$2 ~ /^[TDBRVW]$/ {print $3}'); do
  case " $allowed " in
    *" $symbol "*) echo "exported: $symbol" ;;
    *) echo "unexpected export: $symbol" >&2; status=1 ;;
  esac
done
exit $status
