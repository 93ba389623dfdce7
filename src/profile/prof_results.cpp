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
  const int id = addFiled(folderId, "REPORT", "REPORT", "RPT_ID",
                          {{"FLDR_ID", folderId},
                           {"RPT_NAME", name},
                           {"RPT_CRDT", date},
                           {"RPT_MODT", date},
                           {"RPT_USER", user},
                           {"SU_ID", jobId}},
                          {}, KvbString());
  if (id < 0) return false;
  if (key) *key = id;
  return true;
}

bool ProfileRDAImpl::addReportRun(const KvbString& description, double date,
                                  int reportId, int* key) {
  return addKeyed(
      "JOB", "JOB_ID",
      {{"JOB_DATE", date}, {"JOB_DESC", description}, {"RPT_ID", reportId}},
      key);
}

bool ProfileRDAImpl::addExecutionLog(int dsnId, int tableId,
                                     const KvbString& task,
                                     const KvbString& status, int seconds,
                                     const KvbString& message) {
  return addKeyed("EXELOG", "EL_ID",
                  {{"DSN_ID", dsnId},
                   {"TBL_ID", tableId},
                   {"EL_TASK", task},
                   {"EL_STAT", status},
                   {"EL_SECS", seconds},
                   {"EL_MSG", message}},
                  nullptr);
}

bool ProfileRDAImpl::addRunConfigValue(int runId, const KvbString& key,
                                       const KvbString& value) {
  return ready() &&
         insert("JOBCFG",
                {{"JOB_ID", runId}, {"JC_KEY", key}, {"JC_VALUE", value}});
}

bool ProfileRDAImpl::addRunDsn(int runId, const KvbString& name,
                               const KvbString& connection,
                               const KvbString& kind, int* key) {
  return addKeyed("DSN", "DSN_ID",
                  {{"DSN_NAME", name},
                   {"DSN_CONN", connection},
                   {"JOB_ID", runId},
                   {"DSN_TF", kind}},
                  key);
}

bool ProfileRDAImpl::addRunTable(int dsnId, const KvbString& catalog,
                                 const KvbString& schema, const KvbString& name,
                                 const KvbString& filterName,
                                 const KvbString& filterExpression,
                                 const KvbString& filterSql, int sampleInterval,
                                 int* key) {
  return addKeyed("TBL", "TBL_ID",
                  {{"DSN_ID", dsnId},
                   {"TBL_CAT", catalog},
                   {"TBL_SCH", schema},
                   {"TBL_NM", name},
                   {"TBL_FILT", filterName},
                   {"TBL_FEXP", filterExpression},
                   {"TBL_FSQL", filterSql},
                   {"TBL_SINT", sampleInterval}},
                  key);
}

// ---------------------------------------------------------------------------
// Field results

bool ProfileRDAImpl::addTableNote(int tableId, char type, const KvbString& user,
                                  const KvbString& note, int categoryId,
                                  int* key) {
  return addKeyed("TBLNOT", "TN_ID",
                  {{"TBL_ID", tableId},
                   {"TN_TYPE", KvbString(std::string(1, type))},
                   {"TN_NOTE", note},
                   {"TN_USER", user},
                   {"TN_DATE", now()},
                   {"NCAT_ID", categoryId}},
                  key);
}

bool ProfileRDAImpl::addRunField(int dsnId, int tableId, const KvbString& name,
                                 const KvbString& type, int* key) {
  KvbDatavar noCategory;
  noCategory.setNull(kvbTypeInt);
  return addKeyed("FLD", "FLD_ID",
                  {{"DSN_ID", dsnId},
                   {"TBL_ID", tableId},
                   {"FLD_NAME", name},
                   {"FLD_TYPE", type},
                   {"DOM_ID", noCategory}},
                  key);
}

bool ProfileRDAImpl::addFieldNote(int fieldId, const KvbString& user,
                                  const KvbString& note, int categoryId,
                                  int* key) {
  return addKeyed("FLDNOT", "FN_ID",
                  {{"FLD_ID", fieldId},
                   {"FN_NOTE", note},
                   {"FN_USER", user},
                   {"FN_DATE", now()},
                   {"NCAT_ID", categoryId}},
                  key);
}

bool ProfileRDAImpl::addPercentile(int fieldId, KvbReal interval,
                                   KvbReal value) {
  return insert("PTILE", {{"FLD_ID", fieldId},
                          {"PT_INTVL", real(interval)},
                          {"PT_VALUE", real(value)}});
}

bool ProfileRDAImpl::addOutlier(int fieldId, bool low, int ordinal,
                                const KvbString& value) {
  return insert("OUTLR", {{"FLD_ID", fieldId},
                          {"OU_TYPE", low ? "L" : "H"},
                          {"OU_ORDNL", ordinal},
                          {"OU_VALUE", value}});
}

bool ProfileRDAImpl::addFieldProperty(int dsnId, int tableId, int fieldId,
                                      const KvbString& name,
                                      const KvbString& value) {
  return insert("FLDPRP", {{"DSN_ID", dsnId},
                           {"TBL_ID", tableId},
                           {"FLD_ID", fieldId},
                           {"PR_NAME", name},
                           {"PR_VALUE", value}});
}

bool ProfileRDAImpl::addFieldGroup(int fieldId, int categoryId) {
  return ready() &&
         insert("FLDGCM", {{"FLD_ID", fieldId}, {"GC_ID", categoryId}});
}

bool ProfileRDAImpl::addPkFkResult(int fieldId, int otherFieldId,
                                   double percentage) {
  return insert("PKFK", {{"FLD_ID", fieldId},
                         {"PF_FLDID", otherFieldId},
                         {"PF_PCT", percentage}});
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
  return addKeyed("ALERT", "AL_ID",
                  {{"JOB_ID", runId},
                   {"AL_DSN", dsn},
                   {"AL_CAT", catalog},
                   {"AL_SCHMA", schema},
                   {"AL_TBL", table},
                   {"AL_FLD", field},
                   {"AL_FILT", filter},
                   {"AL_DESC", description},
                   {"AL_RULE", rule},
                   {"AL_ERROR", error},
                   {"AL_TF", textFile},
                   {"AL_TYPE", type},
                   {"AL_SRC_UID", sourceUid}},
                  key);
}

bool ProfileRDAImpl::addAlertProperty(int alertId, const KvbString& name,
                                      const KvbString& value) {
  return ready() &&
         insert("ALPROP",
                {{"AL_ID", alertId}, {"AP_NAME", name}, {"AP_VALUE", value}});
}

bool ProfileRDAImpl::addChart(int reportId, int runId, const KvbString& name,
                              const KvbString& type, int* key) {
  return addKeyed("CHT", "CH_ID",
                  {{"RPT_ID", reportId},
                   {"CH_NAME", name},
                   {"CH_TYPE", type},
                   {"CH_EDIT", "N"},
                   {"JOB_ID", runId}},
                  key);
}

bool ProfileRDAImpl::addChartTable(int chartId, const KvbString& dsn,
                                   const KvbString& catalog,
                                   const KvbString& schema,
                                   const KvbString& table,
                                   const KvbString& filter,
                                   const KvbString& type) {
  return insert("CHTTAB", {{"CH_ID", chartId},
                           {"CT_DSN", dsn},
                           {"CT_CAT", catalog},
                           {"CT_SCHMA", schema},
                           {"CT_TBL", table},
                           {"CT_FILT", filter},
                           {"CT_TYPE", type}});
}

bool ProfileRDAImpl::addChartCategory(int chartId, int categoryId) {
  return ready() &&
         insert("CHTCAT", {{"CH_ID", chartId}, {"DOM_ID", categoryId}});
}

bool ProfileRDAImpl::addChartData(int chartId, const KvbString& parameter,
                                  int sequence, const KvbString& value) {
  return insert("CHTDAT", {{"CH_ID", chartId},
                           {"CD_PARAM", parameter},
                           {"CD_SEQ", sequence},
                           {"CD_VALUE", value}});
}

bool ProfileRDAImpl::addRdaConfig(int runId, const KvbString& name,
                                  const KvbString& description,
                                  int matchDefinitionId, int* key) {
  if (!ready()) return false;
  int added = -1;
  if (!transaction([&] {
        return matchDefinitionKnown(matchDefinitionId) &&
               addKeyed("RDACFG", "RDACFGID",
                        {{"RDACFGNM", name},
                         {"RDACFGDS", description},
                         {"MC_ID", matchDefinitionId},
                         {"JOB_ID", runId}},
                        &added);
      }))
    return false;
  if (key) *key = added;
  return true;
}

bool ProfileRDAImpl::addRdaResult(int runId, int configId, int leftFieldId,
                                  int rightFieldId, int leftCount, int leftSum,
                                  int rightCount, int rightSum,
                                  int distinctMatches, int distinctLeftSum,
                                  int distinctRightSum) {
  return insert("RDARES", {{"FLD_IDL", leftFieldId},
                           {"FLD_IDR", rightFieldId},
                           {"LFTCNT", leftCount},
                           {"RGTCNT", rightCount},
                           {"LFTSUM", leftSum},
                           {"RGTSUM", rightSum},
                           {"DMATCH", distinctMatches},
                           {"DLSUM", distinctLeftSum},
                           {"DRSUM", distinctRightSum},
                           {"JOB_ID", runId},
                           {"RDACFGID", configId}});
}

bool ProfileRDAImpl::addCustomMetricOutput(
    int tableId, int metricId, int instance, const KvbString& metricOutput,
    const KvbString& outputName, const KvbString& outputValue,
    const KvbString& trailName, int rowCount) {
  return insert("PCMOUT", {{"TBL_ID", tableId},
                           {"CM_ID", metricId},
                           {"PCM_SEQ", instance},
                           {"CM_FLDNM", metricOutput},
                           {"PCM_OUTN", outputName},
                           {"PCM_OUTV", outputValue},
                           {"TRAIL_NM", trailName},
                           {"ROW_CNT", rowCount}});
}

bool ProfileRDAImpl::addBusinessRuleOutput(int tableId, int ruleId,
                                           int instance, int failureCount,
                                           const KvbString& trailName,
                                           const KvbString& fieldDescription,
                                           int rowCount) {
  return insert("PBROUT", {{"TBL_ID", tableId},
                           {"BR_ID", ruleId},
                           {"PBR_SEQ", instance},
                           {"FAIL_CNT", failureCount},
                           {"TRAIL_NM", trailName},
                           {"FLD_DESC", fieldDescription},
                           {"ROW_CNT", rowCount}});
}
