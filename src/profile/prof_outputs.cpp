// Reading what custom metrics and business rules computed on a run's
// tables (per table, per run, across the runs of a report by trail name,
// and by data source and table name) and the rows that failed a rule; and
// the field metrics and field groups of runs.
#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

// What the reads of one kind of output name: the output table (A in the
// history, O in the finds), its metric or rule table (B) and the column
// that joins them, and the columns and order of each read.
struct OutputKind {
  const char* outputs;
  const char* owners;
  const char* outputKey;
  const char* ownerKey;
  const char* historyColumns;
  const char* findColumns;
  const char* findOrder;
};

namespace {
const OutputKind kMetricOutputs = {
    "PCMOUT",
    "CUSTM",
    "CM_ID",
    "CM_ID",
    "E.JOB_ID, E.JOB_DATE, A.TBL_ID, A.CM_ID, B.CM_DESC, A.PCM_SEQ, "
    "A.CM_FLDNM, A.PCM_OUTN, A.PCM_OUTV, A.TRAIL_NM, A.ROW_CNT",
    "D.DSN_ID, D.JOB_ID, T.TBL_ID, O.CM_ID, O.PCM_SEQ, O.CM_FLDNM, "
    "O.PCM_OUTN, O.PCM_OUTV, O.TRAIL_NM, O.ROW_CNT",
    " ORDER BY O.TBL_ID, O.CM_ID, O.PCM_SEQ"};
const OutputKind kRuleOutputs = {
    "PBROUT",
    "RULE",
    "BR_ID",
    "RU_ID",
    "E.JOB_ID, E.JOB_DATE, A.TBL_ID, A.BR_ID, B.RU_DESC, A.PBR_SEQ, "
    "A.FAIL_CNT, A.TRAIL_NM, A.FLD_DESC, A.ROW_CNT",
    "D.DSN_ID, D.JOB_ID, T.TBL_ID, O.BR_ID, O.PBR_SEQ, O.FAIL_CNT, "
    "O.TRAIL_NM, O.FLD_DESC, O.ROW_CNT",
    " ORDER BY O.TBL_ID, O.BR_ID, O.PBR_SEQ"};
}  // namespace

ReposDataAccessCursor* ProfileRDAImpl::outputHistory(
    const OutputKind& kind, int reportId, const KvbString& trailName) {
  if (!ready()) return nullptr;
  return query(
      kvbStringFormat(
          "SELECT %s FROM (((%S A INNER JOIN %S B ON A.%s = B.%s) INNER JOIN "
          "%S C ON A.TBL_ID = C.TBL_ID) INNER JOIN %S D ON C.DSN_ID = "
          "D.DSN_ID) INNER JOIN %S E ON D.JOB_ID = E.JOB_ID WHERE E.RPT_ID=? "
          "AND A.TRAIL_NM=? ORDER BY E.JOB_ID, A.TBL_ID",
          kind.historyColumns, table(kind.outputs), table(kind.owners),
          kind.outputKey, kind.ownerKey, table("TBL"), table("DSN"),
          table("JOB")),
      {reportId, trailName});
}

ReposDataAccessCursor* ProfileRDAImpl::findOutputs(
    const OutputKind& kind, int runId, const KvbString& dsn,
    const KvbString& catalog, const KvbString& schema,
    const KvbString& tableName, const KvbString& trailName) {
  if (!ready()) return nullptr;
  KvbString sql = KvbString("SELECT ") + kind.findColumns + " FROM " +
                  table("DSN") + " D, " + table("TBL") + " T, " +
                  table(kind.outputs) +
                  " O WHERE D.DSN_ID=T.DSN_ID AND T.TBL_ID=O.TBL_ID AND "
                  "D.DSN_NAME=? AND T.TBL_NM=? AND O.TRAIL_NM=? AND "
                  "D.JOB_ID=?";
  SqlStatement select(sql, true);
  select.bind(dsn).bind(tableName).bind(trailName).bind(runId);
  // Without a schema or catalog, tables of that name in any of them match.
  select.where("T.TBL_SCH=?", schema, Given::kNotEmpty)
      .where("T.TBL_CAT=?", catalog, Given::kNotEmpty);
  return query(select.append(kind.findOrder));
}

ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricOutputs(int tableId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT A.CM_ID, B.CM_DESC, A.PCM_SEQ, A.CM_FLDNM, A.PCM_OUTN, "
      "A.PCM_OUTV, A.TRAIL_NM, A.ROW_CNT FROM " +
          table("PCMOUT") + " A, " + table("CUSTM") +
          " B WHERE A.CM_ID=B.CM_ID AND A.TBL_ID=? ORDER BY A.PCM_SEQ, "
          "A.PCM_OUTN",
      {tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricHistory(
    int reportId, const KvbString& trailName) {
  return outputHistory(kMetricOutputs, reportId, trailName);
}

ReposDataAccessCursor* ProfileRDAImpl::findCustomMetricOutputs(
    int runId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& tableName,
    const KvbString& trailName) {
  return findOutputs(kMetricOutputs, runId, dsn, catalog, schema, tableName,
                     trailName);
}

ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleOutputs(int runId,
                                                               int tableId) {
  if (!ready()) return nullptr;
  SqlStatement select(
      "SELECT A.TBL_ID, A.BR_ID, B.RU_DESC, A.PBR_SEQ, A.FAIL_CNT, "
      "A.TRAIL_NM, A.FLD_DESC, A.ROW_CNT FROM ((" +
      table("PBROUT") + " A INNER JOIN " + table("RULE") +
      " B ON A.BR_ID = B.RU_ID) INNER JOIN " + table("TBL") +
      " C ON A.TBL_ID = C.TBL_ID) INNER JOIN " + table("DSN") +
      " D ON C.DSN_ID = D.DSN_ID");
  select.where("D.JOB_ID=?", runId, Given::kNotMinusOne)
      .where("A.TBL_ID=?", tableId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY A.TBL_ID, A.PBR_SEQ"));
}

ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleLog(
    int tableId, int sequence, bool firstEntriesOnly) {
  if (!ready()) return nullptr;
  // The pieces of one logged row come together and in order.
  return query("SELECT BR_ID, PBR_SEQ, LOG_ID, LOG_DATA FROM " +
                   table("PBRLOG") + " WHERE TBL_ID=? AND PBR_SEQ=?" +
                   (firstEntriesOnly ? " AND LOG_ID=0" : "") +
                   " ORDER BY LOG_ID, LOG_SEQ",
               {tableId, sequence});
}

ReposDataAccessCursor* ProfileRDAImpl::listBusinessRuleHistory(
    int reportId, const KvbString& trailName) {
  return outputHistory(kRuleOutputs, reportId, trailName);
}

ReposDataAccessCursor* ProfileRDAImpl::findBusinessRuleOutputs(
    int runId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& tableName,
    const KvbString& trailName) {
  return findOutputs(kRuleOutputs, runId, dsn, catalog, schema, tableName,
                     trailName);
}

// ---------------------------------------------------------------------------
// Field metrics and groups

ReposDataAccessCursor* ProfileRDAImpl::getFieldMetric(int fieldId,
                                                      int metricNumber) {
  if (!ready()) return nullptr;
  if (metricNumber < 0 || metricNumber >= kMetricColumns) {
    fail(kvbStringFormat("A field has no metric %d", metricNumber));
    return nullptr;
  }
  return query(kvbStringFormat("SELECT MET_%d FROM %S WHERE FLD_ID=?",
                               metricNumber, table("FLD")),
               {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listFieldGroups(int runId, int fieldId) {
  if (!ready()) return nullptr;
  KvbString sql = "SELECT DISTINCT A.GC_ID, A.GCNAME, A.GCDESC FROM " +
                  table("GCATS") + " A, " + table("FLDGCM") + " B, " +
                  table("FLD") + " C, " + table("DSN") +
                  " D WHERE A.GC_ID=B.GC_ID AND B.FLD_ID=C.FLD_ID AND "
                  "C.DSN_ID=D.DSN_ID";
  SqlStatement select(sql, true);
  select.where("D.JOB_ID=?", runId, Given::kNotMinusOne)
      .where("C.FLD_ID=?", fieldId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY A.GCNAME"));
}

ReposDataAccessCursor* ProfileRDAImpl::groupFields(bool withCounts, int groupId,
                                                   int runId, int metricCount) {
  if (!ready()) return nullptr;
  KvbString sql =
      "SELECT A.FLD_ID, A.FLD_NAME, A.FLD_TYPE, D.DSN_NAME, C.TBL_CAT, "
      "C.TBL_SCH, C.TBL_NM, C.TBL_FILT";
  if (withCounts)
    sql.append(", (SELECT COUNT(*) FROM " + table("PKFK") +
               " E WHERE A.FLD_ID=E.FLD_ID) AS PKFK, (SELECT COUNT(*) FROM " +
               table("FLDRDA") + " F WHERE A.FLD_ID=F.FLD_ID) AS REDUN");
  if (!metricColumns(metricCount, "A.", sql)) return nullptr;
  sql.append(" FROM " + table("FLD") + " A, " + table("FLDGCM") + " B, " +
             table("TBL") + " C, " + table("DSN") +
             " D WHERE A.FLD_ID=B.FLD_ID AND A.TBL_ID=C.TBL_ID AND "
             "A.DSN_ID=D.DSN_ID");
  SqlStatement select(sql, true);
  // Without counts the group is required: -1 names none, and no field is
  // listed.
  select
      .where("B.GC_ID=?", groupId,
             withCounts ? Given::kNotMinusOne : Given::kAlways)
      .where("D.JOB_ID=?", runId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY A.FLD_NAME"));
}

ReposDataAccessCursor* ProfileRDAImpl::listGroupFields(int groupId, int runId,
                                                       int metricCount) {
  return groupFields(false, groupId, runId, metricCount);
}

ReposDataAccessCursor* ProfileRDAImpl::listGroupFieldsWithCounts(
    int groupId, int metricCount, int runId) {
  return groupFields(true, groupId, runId, metricCount);
}
