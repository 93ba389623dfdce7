// The results of profiling runs: reports, runs and their configuration
// values, data sources, tables and execution log; the fields of a run with
// their notes, percentiles, outliers, properties, groups and key analyses;
// fired alerts, charts, redundancy configurations and results, and the
// outputs of custom metrics and business rules.
#include <string>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"

namespace {
// A real value, null when the caller gave none.
KvbDatavar real(const KvbReal& value) {
  KvbDatavar out(value.asDouble());
  if (value.isNull()) out.setNull(kvbTypeReal);
  return out;
}

// The current date and time, as notes store it.
double now() { return KvbDate::currentDate().asDouble(); }
}  // namespace

// ---------------------------------------------------------------------------
// Reports and runs

bool ProfileRDAImpl::setReportProfileJob(int jobId, int reportId) {
  if (!ready()) return false;
  return run("UPDATE " + table("REPORT") + " SET SU_ID=? WHERE RPT_ID=?",
             {jobId, reportId});
}

bool ProfileRDAImpl::addReport(int jobId, int folderId, const KvbString& name,
                               double date, const KvbString& user, int* key) {
  const int id =
      addFiled(folderId, KvbString(), "REPORT", "REPORT", nullptr, {},
               "RPT_ID, FLDR_ID, RPT_NAME, RPT_CRDT, RPT_MODT, "
               "RPT_USER, SU_ID",
               {folderId, name, date, date, user, jobId});
  if (id < 0) return false;
  if (key) *key = id;
  return true;
}

bool ProfileRDAImpl::addReportRun(const KvbString& description, double date,
                                  int reportId, int* key) {
  return addKeyed("JOB", "JOB_ID, JOB_DATE, JOB_DESC, RPT_ID",
                  {date, description, reportId}, key);
}

bool ProfileRDAImpl::addExecutionLog(int dsnId, int tableId,
                                     const KvbString& task,
                                     const KvbString& status, int seconds,
                                     const KvbString& message) {
  return addKeyed("EXELOG",
                  "EL_ID, DSN_ID, TBL_ID, EL_TASK, EL_STAT, EL_SECS, EL_MSG",
                  {dsnId, tableId, task, status, seconds, message}, nullptr);
}

bool ProfileRDAImpl::addRunConfigValue(int runId, const KvbString& key,
                                       const KvbString& value) {
  return ready() &&
         insert("JOBCFG", "JOB_ID, JC_KEY, JC_VALUE", {runId, key, value});
}

bool ProfileRDAImpl::addRunDsn(int runId, const KvbString& name,
                               const KvbString& connection,
                               const KvbString& kind, int* key) {
  return addKeyed("DSN", "DSN_ID, DSN_NAME, DSN_CONN, JOB_ID, DSN_TF",
                  {name, connection, runId, kind}, key);
}

bool ProfileRDAImpl::addRunTable(int dsnId, const KvbString& catalog,
                                 const KvbString& schema, const KvbString& name,
                                 const KvbString& filterName,
                                 const KvbString& filterExpression,
                                 const KvbString& filterSql, int sampleInterval,
                                 int* key) {
  return addKeyed("TBL",
                  "TBL_ID, DSN_ID, TBL_CAT, TBL_SCH, TBL_NM, TBL_FILT, "
                  "TBL_FEXP, TBL_FSQL, TBL_SINT",
                  {dsnId, catalog, schema, name, filterName, filterExpression,
                   filterSql, sampleInterval},
                  key);
}

// ---------------------------------------------------------------------------
// Field results

bool ProfileRDAImpl::addTableNote(int tableId, char type, const KvbString& user,
                                  const KvbString& note, int categoryId,
                                  int* key) {
  return addKeyed(
      "TBLNOT", "TN_ID, TBL_ID, TN_TYPE, TN_NOTE, TN_USER, TN_DATE, NCAT_ID",
      {tableId, KvbString(std::string(1, type)), note, user, now(), categoryId},
      key);
}

bool ProfileRDAImpl::addRunField(int dsnId, int tableId, const KvbString& name,
                                 const KvbString& type, int* key) {
  KvbDatavar noCategory;
  noCategory.setNull(kvbTypeInt);
  return addKeyed("FLD", "FLD_ID, DSN_ID, TBL_ID, FLD_NAME, FLD_TYPE, DOM_ID",
                  {dsnId, tableId, name, type, noCategory}, key);
}

bool ProfileRDAImpl::addFieldNote(int fieldId, const KvbString& user,
                                  const KvbString& note, int categoryId,
                                  int* key) {
  return addKeyed("FLDNOT", "FN_ID, FLD_ID, FN_NOTE, FN_USER, FN_DATE, NCAT_ID",
                  {fieldId, note, user, now(), categoryId}, key);
}

bool ProfileRDAImpl::addPercentile(int fieldId, KvbReal interval,
                                   KvbReal value) {
  return ready() && insert("PTILE", "FLD_ID, PT_INTVL, PT_VALUE",
                           {fieldId, real(interval), real(value)});
}

bool ProfileRDAImpl::addOutlier(int fieldId, bool low, int ordinal,
                                const KvbString& value) {
  return ready() && insert("OUTLR", "FLD_ID, OU_TYPE, OU_ORDNL, OU_VALUE",
                           {fieldId, low ? "L" : "H", ordinal, value});
}

bool ProfileRDAImpl::addFieldProperty(int dsnId, int tableId, int fieldId,
                                      const KvbString& name,
                                      const KvbString& value) {
  return ready() &&
         insert("FLDPRP", "DSN_ID, TBL_ID, FLD_ID, PR_NAME, PR_VALUE",
                {dsnId, tableId, fieldId, name, value});
}

bool ProfileRDAImpl::addFieldGroup(int fieldId, int categoryId) {
  return ready() && insert("FLDGCM", "FLD_ID, GC_ID", {fieldId, categoryId});
}

bool ProfileRDAImpl::addPkFkResult(int fieldId, int otherFieldId,
                                   double percentage) {
  return ready() && insert("PKFK", "FLD_ID, PF_FLDID, PF_PCT",
                           {fieldId, otherFieldId, percentage});
}

// ---------------------------------------------------------------------------
// Alerts, charts, redundancy and rule outputs

bool ProfileRDAImpl::addAlert(int runId, const KvbString& dsn,
                              const KvbString& catalog, const KvbString& schema,
                              const KvbString& table, const KvbString& field,
                              const KvbString& filter,
                              const KvbString& description,
                              const KvbString& rule, const KvbString& error,
                              const KvbString& textFile, const KvbString& type,
                              const KvbString& sourceUid, int* key) {
  return addKeyed("ALERT",
                  "AL_ID, JOB_ID, AL_DSN, AL_CAT, AL_SCHMA, AL_TBL, AL_FLD, "
                  "AL_FILT, AL_DESC, AL_RULE, AL_ERROR, AL_TF, AL_TYPE, "
                  "AL_SRC_UID",
                  {runId, dsn, catalog, schema, table, field, filter,
                   description, rule, error, textFile, type, sourceUid},
                  key);
}

bool ProfileRDAImpl::addAlertProperty(int alertId, const KvbString& name,
                                      const KvbString& value) {
  return ready() &&
         insert("ALPROP", "AL_ID, AP_NAME, AP_VALUE", {alertId, name, value});
}

bool ProfileRDAImpl::addChart(int reportId, int runId, const KvbString& name,
                              const KvbString& type, int* key) {
  return addKeyed("CHT", "CH_ID, RPT_ID, CH_NAME, CH_TYPE, CH_EDIT, JOB_ID",
                  {reportId, name, type, "N", runId}, key);
}

bool ProfileRDAImpl::addChartTable(int chartId, const KvbString& dsn,
                                   const KvbString& catalog,
                                   const KvbString& schema,
                                   const KvbString& table,
                                   const KvbString& filter,
                                   const KvbString& type) {
  return ready() &&
         insert("CHTTAB",
                "CH_ID, CT_DSN, CT_CAT, CT_SCHMA, CT_TBL, CT_FILT, CT_TYPE",
                {chartId, dsn, catalog, schema, table, filter, type});
}

bool ProfileRDAImpl::addChartCategory(int chartId, int categoryId) {
  return ready() && insert("CHTCAT", "CH_ID, DOM_ID", {chartId, categoryId});
}

bool ProfileRDAImpl::addChartData(int chartId, const KvbString& parameter,
                                  int sequence, const KvbString& value) {
  return ready() && insert("CHTDAT", "CH_ID, CD_PARAM, CD_SEQ, CD_VALUE",
                           {chartId, parameter, sequence, value});
}

bool ProfileRDAImpl::addRdaConfig(int runId, const KvbString& name,
                                  const KvbString& description,
                                  int matchDefinitionId, int* key) {
  if (!ready()) return false;
  // -1 names no match definition; any other key must name one.
  if (matchDefinitionId != -1) {
    const int found =
        lookup("SELECT MC_ID FROM " + table("MATCH") + " WHERE MC_ID=?",
               {matchDefinitionId}, nullptr);
    if (found < 0) return false;
    if (found == 0)
      return fail(kvb_get_message("prof_results", __LINE__,
                                  "Repository Library", 1211));
  }
  return addKeyed("RDACFG", "RDACFGID, RDACFGNM, RDACFGDS, MC_ID, JOB_ID",
                  {name, description, matchDefinitionId, runId}, key);
}

bool ProfileRDAImpl::addRdaResult(int runId, int configId, int leftFieldId,
                                  int rightFieldId, int leftCount, int leftSum,
                                  int rightCount, int rightSum,
                                  int distinctMatches, int distinctLeftSum,
                                  int distinctRightSum) {
  return ready() &&
         insert("RDARES",
                "FLD_IDL, FLD_IDR, LFTCNT, RGTCNT, LFTSUM, RGTSUM, DMATCH, "
                "DLSUM, DRSUM, JOB_ID, RDACFGID",
                {leftFieldId, rightFieldId, leftCount, rightCount, leftSum,
                 rightSum, distinctMatches, distinctLeftSum, distinctRightSum,
                 runId, configId});
}

bool ProfileRDAImpl::addCustomMetricOutput(
    int tableId, int metricId, int instance, const KvbString& metricOutput,
    const KvbString& outputName, const KvbString& outputValue,
    const KvbString& trailName, int rowCount) {
  return ready() && insert("PCMOUT",
                           "TBL_ID, CM_ID, PCM_SEQ, CM_FLDNM, PCM_OUTN, "
                           "PCM_OUTV, TRAIL_NM, ROW_CNT",
                           {tableId, metricId, instance, metricOutput,
                            outputName, outputValue, trailName, rowCount});
}

bool ProfileRDAImpl::addBusinessRuleOutput(int tableId, int ruleId,
                                           int instance, int failureCount,
                                           const KvbString& trailName,
                                           const KvbString& fieldDescription,
                                           int rowCount) {
  return ready() && insert("PBROUT",
                           "TBL_ID, BR_ID, PBR_SEQ, FAIL_CNT, TRAIL_NM, "
                           "FLD_DESC, ROW_CNT",
                           {tableId, ruleId, instance, failureCount, trailName,
                            fieldDescription, rowCount});
}
