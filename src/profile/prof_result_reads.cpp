// Reading the results of profiling runs: reports, runs, their log,
// configuration values, data sources and tables, the runs that profiled a
// table, and the fields of a run with their metrics, history, sources,
// percentiles, outliers, properties, key analyses, groups and notes.
#include <string>

#include "profile/prof_rdaimpl.h"

// ---------------------------------------------------------------------------
// Reports and runs

ReposDataAccessCursor* ProfileRDAImpl::listProfileJobReports(int jobId) {
  return rowsWhere("REPORT", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listUnlinkedReports() {
  return rowsWhere("REPORT", "(SU_ID=-1 OR SU_ID IS NULL)", {});
}

ReposDataAccessCursor* ProfileRDAImpl::getReport(int reportId) {
  return rowsWhere("REPORT", "RPT_ID=?", {reportId});
}

ReposDataAccessCursor* ProfileRDAImpl::listFolderReports(int folderId) {
  return rowsWhere("REPORT", "FLDR_ID=?", {folderId});
}

int ProfileRDAImpl::countReportRuns(int reportId) {
  if (!ready()) return -1;
  int runs = 0;
  return lookup("SELECT COUNT(*) FROM " + table("JOB") + " WHERE RPT_ID=?",
                {reportId}, &runs) == 1
             ? runs
             : -1;
}

ReposDataAccessCursor* ProfileRDAImpl::listReportRuns(int reportId, int jobId) {
  if (!ready()) return nullptr;
  if (reportId == -1 && jobId == -1) {
    fail("Must have a report job id or a profile configuration id.");
    return nullptr;
  }
  KvbString sql = "SELECT a.JOB_ID, a.JOB_DATE, a.JOB_DESC FROM " +
                  table("JOB") + " a, " + table("REPORT") +
                  " b WHERE a.RPT_ID=b.RPT_ID";
  SqlStatement select(sql, true);
  select.where("b.RPT_ID=?", reportId, Given::kNotMinusOne)
      .where("b.SU_ID=?", jobId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY a.JOB_ID DESC"));
}

ReposDataAccessCursor* ProfileRDAImpl::listExecutionLog(int runId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT D.DSN_NAME, T.TBL_CAT, T.TBL_SCH, T.TBL_NM, T.TBL_FILT, "
      "E.EL_TASK, E.EL_STAT, E.EL_SECS, E.EL_MSG FROM " +
          table("EXELOG") + " E, " + table("DSN") + " D, " + table("TBL") +
          " T WHERE E.TBL_ID=T.TBL_ID AND E.DSN_ID=D.DSN_ID AND D.JOB_ID=? "
          "ORDER BY E.EL_ID",
      {runId});
}

ReposDataAccessCursor* ProfileRDAImpl::getRunConfigValue(int runId,
                                                         const KvbString& key) {
  if (!ready()) return nullptr;
  return query("SELECT JC_VALUE FROM " + table("JOBCFG") +
                   " WHERE JOB_ID=? AND JC_KEY=?",
               {runId, key});
}

// The runs with their reports joined to the data sources and tables they
// read: JOB a, DSN b, TBL c, REPORT d.
static const char kRunTables[] =
    " WHERE a.JOB_ID=b.JOB_ID AND b.DSN_ID=c.DSN_ID AND d.RPT_ID=a.RPT_ID";

ReposDataAccessCursor* ProfileRDAImpl::findTableRuns(const KvbString& dsn,
                                                     const KvbString& catalog,
                                                     const KvbString& schema,
                                                     const KvbString& table) {
  if (!ready()) return nullptr;
  // The names are bound, never written into the text.
  return query("SELECT DISTINCT a.*, d.* FROM " + this->table("JOB") + " a, " +
                   this->table("DSN") + " b, " + this->table("TBL") + " c, " +
                   this->table("REPORT") + " d" + kRunTables +
                   " AND b.DSN_NAME=? AND c.TBL_CAT=? AND c.TBL_SCH=? AND "
                   "c.TBL_NM=? ORDER BY a.JOB_DATE DESC",
               {dsn, catalog, schema, table});
}

ReposDataAccessCursor* ProfileRDAImpl::findTableRunsMatching(
    const KvbString* dsn, const KvbString* catalog, const KvbString* schema,
    const KvbString* table) {
  if (!ready()) return nullptr;
  KvbString sql =
      "SELECT DISTINCT b.DSN_NAME, c.TBL_CAT, c.TBL_SCH, c.TBL_NM, "
      "a.*, d.* FROM " +
      this->table("JOB") + " a, " + this->table("DSN") + " b, " +
      this->table("TBL") + " c, " + this->table("REPORT") + " d" + kRunTables;
  std::vector<KvbDatavar> values;
  const std::pair<const char*, const KvbString*> names[] = {
      {" AND b.DSN_NAME=?", dsn},
      {" AND c.TBL_CAT=?", catalog},
      {" AND c.TBL_SCH=?", schema},
      {" AND c.TBL_NM=?", table}};
  for (const auto& name : names) {
    if (!name.second) continue;
    sql.append(name.first);
    values.push_back(*name.second);
  }
  return query(sql +
                   " ORDER BY b.DSN_NAME, c.TBL_CAT, c.TBL_SCH, c.TBL_NM, "
                   "a.JOB_DATE DESC",
               values);
}

// ---------------------------------------------------------------------------
// Data sources and tables of a run

ReposDataAccessCursor* ProfileRDAImpl::listRunDsns(int runId) {
  if (!ready()) return nullptr;
  return query("SELECT DSN_ID, DSN_NAME, DSN_CONN, DSN_TF FROM " +
                   table("DSN") + " WHERE JOB_ID=?",
               {runId});
}

ReposDataAccessCursor* ProfileRDAImpl::getRunDsn(int dsnId) {
  return rowsWhere("DSN", "DSN_ID=?", {dsnId});
}

ReposDataAccessCursor* ProfileRDAImpl::listRunTables(int runId, int dsnId) {
  if (!ready()) return nullptr;
  if (dsnId != -1)
    return query(selectAll("TBL") + " WHERE DSN_ID=? ORDER BY TBL_SCH, TBL_NM",
                 {dsnId});
  return query("SELECT " + rda_->getColumnList("TBL", "A") + " FROM " +
                   table("TBL") + " A, " + table("DSN") +
                   " B WHERE A.DSN_ID=B.DSN_ID AND B.JOB_ID=? ORDER BY "
                   "A.TBL_SCH, A.TBL_NM",
               {runId});
}

ReposDataAccessCursor* ProfileRDAImpl::getRunTable(int tableId) {
  return rowsWhere("TBL", "TBL_ID=?", {tableId});
}

// ---------------------------------------------------------------------------
// Fields

ReposDataAccessCursor* ProfileRDAImpl::listRunFields(int runId, int dsnId,
                                                     int tableId,
                                                     int metricCount) {
  if (!ready()) return nullptr;
  if (runId == -1 && dsnId == -1 && tableId == -1) {
    fail("Must specify a job id, dsn id, or table id");
    return nullptr;
  }
  const bool byRun = runId != -1;
  KvbString sql = byRun ? "SELECT A.FLD_ID, A.FLD_NAME, A.FLD_TYPE"
                        : "SELECT FLD_ID, FLD_NAME, FLD_TYPE";
  if (!metricColumns(metricCount, byRun ? "A." : "", sql)) return nullptr;
  if (byRun) {
    SqlStatement select(sql + " FROM " + table("FLD") + " A, " + table("TBL") +
                        " B, " + table("DSN") + " C");
    select
        .where("A.TBL_ID=B.TBL_ID AND B.DSN_ID=C.DSN_ID AND C.JOB_ID=?", runId)
        .where("C.DSN_ID=?", dsnId, Given::kNotMinusOne)
        .where("B.TBL_ID=?", tableId, Given::kNotMinusOne);
    return query(select.append(" ORDER BY A.FLD_NAME"));
  }
  SqlStatement select(sql + " FROM " + table("FLD"));
  select.where("DSN_ID=?", dsnId, Given::kNotMinusOne)
      .where("TBL_ID=?", tableId, Given::kNotMinusOne);
  return query(select.append(" ORDER BY FLD_NAME"));
}

ReposDataAccessCursor* ProfileRDAImpl::listTableFieldSummary(int tableId,
                                                             int metricCount) {
  if (!ready()) return nullptr;
  // The key analyses and redundancy memberships are counted apart, so that
  // the one count does not multiply the other.
  KvbString sql =
      "SELECT A.FLD_ID, A.FLD_NAME, A.FLD_TYPE, (SELECT COUNT(*) "
      "FROM " +
      table("PKFK") +
      " B WHERE B.FLD_ID=A.FLD_ID) AS PKFK, (SELECT COUNT(*) "
      "FROM " +
      table("FLDRDA") + " C WHERE C.FLD_ID=A.FLD_ID) AS REDUN";
  if (!metricColumns(metricCount, "A.", sql)) return nullptr;
  return query(
      sql + " FROM " + table("FLD") + " A WHERE A.TBL_ID=? ORDER BY A.FLD_NAME",
      {tableId});
}

// The terms that restrict a table to a schema and a catalog when they are
// given: "<alias>.TBL_SCH=?" and "<alias>.TBL_CAT=?".
static void addSchemaAndCatalog(const char* alias, const KvbString& schema,
                                const KvbString& catalog, KvbString& sql,
                                std::vector<KvbDatavar>& values) {
  if (!schema.isEmpty()) {
    sql.append(kvbStringFormat(" AND %s.TBL_SCH=?", alias));
    values.push_back(schema);
  }
  if (!catalog.isEmpty()) {
    sql.append(kvbStringFormat(" AND %s.TBL_CAT=?", alias));
    values.push_back(catalog);
  }
}

ReposDataAccessCursor* ProfileRDAImpl::findFieldSource(
    int runId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& table, const KvbString& field,
    char kind) {
  if (!ready()) return nullptr;
  KvbString sql =
      "SELECT A.FLD_NAME, C.TBL_SCH, C.TBL_NM, B.DSN_CONN, A.FLD_TYPE, "
      "C.TBL_FILT, C.TBL_FSQL, B.DSN_TF, C.TBL_CAT, B.DSN_NAME, A.FLD_ID "
      "FROM " +
      this->table("FLD") + " A, " + this->table("DSN") + " B, " +
      this->table("TBL") +
      " C WHERE B.JOB_ID=? AND A.DSN_ID=B.DSN_ID AND A.TBL_ID=C.TBL_ID AND "
      "A.FLD_NAME=? AND B.DSN_NAME=? AND (C.TBL_NM=? OR C.TBL_FILT=?)";
  std::vector<KvbDatavar> values = {runId, field, dsn, table, table};
  addSchemaAndCatalog("C", schema, catalog, sql, values);
  // The kind is bound like every other value.
  values.push_back(KvbString(std::string(1, kind)));
  return query(sql + " AND B.DSN_TF=?", values);
}

ReposDataAccessCursor* ProfileRDAImpl::getFieldSource(int fieldId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT A.FLD_NAME, B.TBL_SCH, B.TBL_NM, C.DSN_CONN, A.FLD_TYPE, "
      "B.TBL_FEXP, B.TBL_FSQL, C.DSN_TF, B.TBL_CAT, C.DSN_NAME FROM " +
          table("FLD") + " A, " + table("TBL") + " B, " + table("DSN") +
          " C WHERE A.TBL_ID=B.TBL_ID AND A.DSN_ID=C.DSN_ID AND A.FLD_ID=?",
      {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listFieldMetricHistory(
    int firstRunId, int lastRunId, const KvbString& dsn,
    const KvbString& catalog, const KvbString& schema, const KvbString& table,
    const KvbString& field, char kind, int metricCount) {
  if (!ready()) return nullptr;
  KvbString sql = "SELECT D.JOB_ID, F.FLD_ID";
  if (!metricColumns(metricCount, "F.", sql)) return nullptr;
  sql.append(" FROM " + this->table("DSN") + " D, " + this->table("TBL") +
             " T, " + this->table("FLD") +
             " F WHERE D.DSN_ID=T.DSN_ID AND T.TBL_ID=F.TBL_ID AND "
             "D.DSN_NAME=? AND (T.TBL_FILT=? OR T.TBL_NM=?) AND F.FLD_NAME=? "
             "AND D.JOB_ID>=? AND D.JOB_ID<=? AND D.DSN_TF=?");
  std::vector<KvbDatavar> values = {dsn,
                                    table,
                                    table,
                                    field,
                                    firstRunId,
                                    lastRunId,
                                    KvbString(std::string(1, kind))};
  addSchemaAndCatalog("T", schema, catalog, sql, values);
  return query(sql + " ORDER BY D.JOB_ID", values);
}

ReposDataAccessCursor* ProfileRDAImpl::listPercentiles(int fieldId) {
  if (!ready()) return nullptr;
  return query("SELECT PT_INTVL, PT_VALUE FROM " + table("PTILE") +
                   " WHERE FLD_ID=? ORDER BY PT_INTVL",
               {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listOutliers(int fieldId) {
  if (!ready()) return nullptr;
  return query("SELECT OU_TYPE, OU_ORDNL, OU_VALUE FROM " + table("OUTLR") +
                   " WHERE FLD_ID=? ORDER BY OU_TYPE, OU_ORDNL",
               {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::getFieldProperty(int fieldId,
                                                        const KvbString& name) {
  if (!ready()) return nullptr;
  return query("SELECT PR_VALUE FROM " + table("FLDPRP") +
                   " WHERE FLD_ID=? AND PR_NAME=?",
               {fieldId, name});
}

ReposDataAccessCursor* ProfileRDAImpl::listPkFkResults(int fieldId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT A.PF_FLDID, B.FLD_NAME, C.DSN_NAME, D.TBL_CAT, D.TBL_SCH, "
      "D.TBL_NM, A.PF_PCT FROM " +
          table("PKFK") + " A, " + table("FLD") + " B, " + table("DSN") +
          " C, " + table("TBL") +
          " D WHERE A.PF_FLDID=B.FLD_ID AND B.DSN_ID=C.DSN_ID AND "
          "B.TBL_ID=D.TBL_ID AND A.FLD_ID=?",
      {fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listTableFieldGroups(int tableId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT C.FLD_ID, C.FLD_NAME, A.GC_ID, A.GCNAME, A.GCDESC FROM " +
          table("GCATS") + " A, " + table("FLDGCM") + " B, " + table("FLD") +
          " C WHERE A.GC_ID=B.GC_ID AND B.FLD_ID=C.FLD_ID AND C.TBL_ID=? "
          "ORDER BY C.FLD_NAME, A.GCNAME",
      {tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::listRunTableNotes(int runId) {
  if (!ready()) return nullptr;
  return query("SELECT B.TBL_ID, C.TN_NOTE FROM " + table("DSN") +
                   " A INNER JOIN " + table("TBL") +
                   " B ON A.DSN_ID=B.DSN_ID INNER JOIN " + table("TBLNOT") +
                   " C ON B.TBL_ID=C.TBL_ID WHERE A.JOB_ID=? AND "
                   "C.TN_TYPE='T'",
               {runId});
}
