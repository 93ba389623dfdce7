// Exporting the per-id distribution tables (FRQDST<field id>, HSM<histogram
// id>, HCM<histogram id>) to table dump files, chosen by a range of ids or
// by the dates of the runs and executions that own them.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"
#include "kvsync/kvnocancellation.h"

// The per-id tables of a code and the table whose ids they carry.
struct RepositoryImpl::IdTable {
  const char* code;
  const char* ownerTable;
  const char* ownerColumn;
};

namespace {

typedef RepositoryImpl::IdTable IdTable;
const IdTable kFrequencyTables = {"FRQDST", "FLD", "FLD_ID"};
const IdTable kHistogramTables = {"HSM", "HGMETA", "HGM_ID"};
const IdTable kHistogramCountTables = {"HCM", "HGMETA", "HGM_ID"};

// A date column rounded to 10 decimal places, as the bounds are, so that a
// date on a bound counts whatever its last digits.
KvbString rounded(const char* value) {
  return kvbStringFormat("ROUND(CAST(%s AS NUMERIC), 10)", value);
}

KvbString inDateRange(const char* column) {
  return " WHERE " + rounded(column) + " >= " + rounded("?") + " AND " +
         rounded(column) + " <= " + rounded("?");
}

}  // namespace

// ---------------------------------------------------------------------------
// Largest ids

bool RepositoryImpl::largestId(const char* tableCode, const char* column,
                               int* id) {
  if (!connected(nullptr)) return false;
  *id = -1;
  const int found = firstRow(
      dataAccess_,
      kvbStringFormat("SELECT MAX(%s) FROM %S", column, physical(tableCode)),
      {}, [&](ReposDataAccessCursor& row) {
        if (!row.isNull(0)) *id = row.getInt(0);
      });
  return found >= 0 || failOnConnection();
}

// ---------------------------------------------------------------------------
// Exports

bool RepositoryImpl::exportIdRange(const IdTable& tables, int from, int to,
                                   const KvbString& folder, bool drop) {
  if (!connected(nullptr)) return false;
  if (from < 0 || to < 0)
    return fail(kvbStringFormat(
        "The id range from %d to %d has a negative bound; nothing was exported",
        from, to));
  if (from > to)
    return fail(kvbStringFormat(
        "The id range from %d to %d is reversed; nothing was exported", from,
        to));
  // Ids beyond the largest that the owning table holds have no table.
  int largest = -1;
  if (!largestId(tables.ownerTable, tables.ownerColumn, &largest)) return false;
  const int end = static_cast<int>(
      std::min<int64_t>(to, static_cast<int64_t>(largest) + 1));
  for (int id = from; id < end; ++id)
    if (!exportTableToXml(kvbStringFormat("%s%d", tables.code, id), folder,
                          drop))
      return false;
  return true;
}

bool RepositoryImpl::exportIds(const IdTable& tables,
                               ReposDataAccessCursor* ids,
                               const KvbString& folder, bool drop) {
  if (!ids) return false;
  // Read whole first: a table is not dropped while a query reads the
  // database.
  bool ok = ids->cacheAll();
  int fetched = 2;
  while (ok && (fetched = ids->next()) == 1)
    ok = exportTableToXml(kvbStringFormat("%s%d", tables.code, ids->getInt(0)),
                          folder, drop);
  ids->release();
  if (!ok && fetched == 1) return false;  // the dump set the error text
  return fetched == 0 || failOnConnection();
}

ReposDataAccessCursor* RepositoryImpl::idsInDateRange(const KvbString& sql,
                                                      const KvbDate& from,
                                                      const KvbDate& to) {
  if (!connected(nullptr)) return nullptr;
  reportMessage(sql);
  ReposDataAccessCursor* ids =
      boundSelect(dataAccess_, sql, {from.asDouble(), to.asDouble()});
  if (!ids) failOnConnection();
  return ids;
}

ReposDataAccessCursor* RepositoryImpl::getFieldIdsByJobDate(const KvbDate& from,
                                                            const KvbDate& to) {
  if (!connected(nullptr)) return nullptr;
  // Some databases want every join but the last in brackets.
  const bool nested = dataAccess_->requiresNestedJoins();
  return idsInDateRange(
      KvbString("SELECT A.FLD_ID FROM ") + (nested ? "((" : "") +
          physical("FLD") + " A INNER JOIN " + physical("TBL") +
          " B ON A.TBL_ID = B.TBL_ID AND A.DSN_ID = B.DSN_ID " +
          (nested ? ")" : "") + " INNER JOIN " + physical("DSN") +
          " C ON B.DSN_ID = C.DSN_ID " + (nested ? ")" : "") + " INNER JOIN " +
          physical("JOB") + " D ON C.JOB_ID = D.JOB_ID " +
          inDateRange("D.JOB_DATE") + " ORDER BY A.FLD_ID",
      from, to);
}

ReposDataAccessCursor* RepositoryImpl::getHgmIdsByExecDate(const KvbDate& from,
                                                           const KvbDate& to) {
  if (!connected(nullptr)) return nullptr;
  return idsInDateRange("SELECT A.HGM_ID FROM " + physical("HGMETA") +
                            " A INNER JOIN " + physical("EXEC") +
                            " B ON A.EX_ID = B.EX_ID " +
                            inDateRange("B.EX_DATE") + " ORDER BY A.HGM_ID",
                        from, to);
}

bool RepositoryImpl::exportFrqdstTablesByJobDate(const KvbDate& from,
                                                 const KvbDate& to,
                                                 const KvbString& folder,
                                                 bool drop) {
  KvNoCancellation noCancellation;
  return answered(exportIds(kFrequencyTables, getFieldIdsByJobDate(from, to),
                            folder, drop));
}

bool RepositoryImpl::exportFrqdstTables(int from, int to,
                                        const KvbString& folder, bool drop) {
  KvNoCancellation noCancellation;
  return answered(exportIdRange(kFrequencyTables, from, to, folder, drop));
}

bool RepositoryImpl::exportHsmTablesByExecDate(const KvbDate& from,
                                               const KvbDate& to,
                                               const KvbString& folder,
                                               bool drop) {
  KvNoCancellation noCancellation;
  return answered(
      exportIds(kHistogramTables, getHgmIdsByExecDate(from, to), folder, drop));
}

bool RepositoryImpl::exportHsmTables(int from, int to, const KvbString& folder,
                                     bool drop) {
  KvNoCancellation noCancellation;
  return answered(exportIdRange(kHistogramTables, from, to, folder, drop));
}

bool RepositoryImpl::exportHcmTablesByExecDate(const KvbDate& from,
                                               const KvbDate& to,
                                               const KvbString& folder,
                                               bool drop) {
  KvNoCancellation noCancellation;
  return answered(exportIds(kHistogramCountTables,
                            getHgmIdsByExecDate(from, to), folder, drop));
}

bool RepositoryImpl::exportHcmTables(int from, int to, const KvbString& folder,
                                     bool drop) {
  KvNoCancellation noCancellation;
  return answered(exportIdRange(kHistogramCountTables, from, to, folder, drop));
}
