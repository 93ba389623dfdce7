// Reading profile job definitions and text-file layouts: the jobs, their
// key values, sources, tables, fields with their settings and links, table
// metrics and rules with their mappings, redundant-data configurations,
// global metrics, alerts and charts, and the job-wide listings of rules and
// source tables.
#include "profile/prof_rdaimpl.h"

// ---------------------------------------------------------------------------
// Text-file layouts

ReposDataAccessCursor* ProfileRDAImpl::listTextFileInfos() {
  if (!ready()) return nullptr;
  return query(selectAll("TFINF"), {});
}

ReposDataAccessCursor* ProfileRDAImpl::listTextFileFields(
    const KvbString& tableName) {
  if (!ready()) return nullptr;
  return query("SELECT TFF_FN, TFF_TYPE, TFF_LEN, TFF_SPOS FROM " +
                   table("TFFINF") + " WHERE TBL_NM=? ORDER BY TFF_ORD",
               {tableName});
}

// ---------------------------------------------------------------------------
// Jobs, sources, tables, fields

ReposDataAccessCursor* ProfileRDAImpl::listProfileJobs() {
  if (!ready()) return nullptr;
  return query(selectAll("JSETUP"), {});
}

ReposDataAccessCursor* ProfileRDAImpl::getProfileJobById(int jobId) {
  return rowsWhere("JSETUP", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::getProfileJob(int jobId,
                                                     const KvbString& name,
                                                     const KvbString& uuid) {
  return find({"JSETUP", "SU_ID", "SU_UUID", "SU_NAME", true, "profile job"},
              jobId, name, uuid);
}

ReposDataAccessCursor* ProfileRDAImpl::listJobKeyValues(int jobId) {
  return rowsWhere("JKEYVL", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobDsns(int jobId) {
  return rowsWhere("JDSN", "SU_ID=?", {jobId});
}

bool ProfileRDAImpl::findJobDsnId(int jobId, const KvbString& name,
                                  int* dsnId) {
  if (!ready()) return false;
  return wasFound(lookup("SELECT DSN_ID FROM " + table("JDSN") +
                             " WHERE SU_ID=? AND DSN_NAME=?",
                         {jobId, name}, dsnId),
                  [&] {
                    return kvbStringFormat(
                        "Profile job %d has no data source named \"%S\"",
                        jobId, name);
                  });
}

ReposDataAccessCursor* ProfileRDAImpl::listJobTables(int dsnId) {
  return rowsWhere("JTABLE", "DSN_ID=?", {dsnId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobFields(int dsnId, int tableId) {
  return rowsWhere("JFLD", "DSN_ID=? AND TBL_ID=?", {dsnId, tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobFieldMetrics(int dsnId,
                                                           int tableId,
                                                           int fieldId) {
  return rowsWhere("JFLDME", "DSN_ID=? AND TBL_ID=? AND FLD_ID=?",
                   {dsnId, tableId, fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobFieldProperties(int dsnId,
                                                              int tableId,
                                                              int fieldId) {
  return rowsWhere("JFLDPR", "DSN_ID=? AND TBL_ID=? AND FLD_ID=?",
                   {dsnId, tableId, fieldId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobLinkedFields(
    int fieldId, const KvbString& linkType) {
  if (!ready()) return nullptr;
  return query(SqlStatement(selectAll("JLNKFL"))
                   .where("FLD_ID=?", fieldId)
                   .where("LNK_TYPE=?", linkType, Given::kNotEmpty));
}

ReposDataAccessCursor* ProfileRDAImpl::listJobSources(int jobId) {
  if (!ready()) return nullptr;
  return query(
      "SELECT DISTINCT c.DSN_NAME, c.DSN_CONN, d.TBL_CAT, d.TBL_SCH, "
      "d.TBL_NAME, d.FNAME, c.DSN_TEXT, d.TBL_ID FROM " +
          table("JDSN") + " c, " + table("JTABLE") +
          " d WHERE c.DSN_ID=d.DSN_ID AND c.SU_ID=?",
      {jobId});
}

// ---------------------------------------------------------------------------
// Table metrics and rules

ReposDataAccessCursor* ProfileRDAImpl::listJobTableMetrics(int tableId) {
  return rowsWhere("JTBLME", "TBL_ID=?", {tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::findJobCustomMetricMappings(
    int tableId, int sequenceId, const KvbString& metricName) {
  return rowsWhere("JCMDMA", "SEQ_ID=? AND TBL_ID=? AND CM_NAME=?",
                   {sequenceId, tableId, metricName});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobCustomMetricMappings(
    int jobId, int tableId) {
  return rowsWhere("JCMDMA", "SU_ID=? AND TBL_ID=?", {jobId, tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::listCustomMetricInputs(
    const KvbString& metricUid) {
  if (!ready()) return nullptr;
  return query("SELECT A.CM_IN FROM " + table("JCMDMA") + " A, " +
                   table("JTBLME") +
                   " B WHERE A.SEQ_ID=B.SEQ_ID AND A.CM_TYPE='I' AND "
                   "B.CM_UID=?",
               {metricUid});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobTableRules(int tableId) {
  return rowsWhere("JTBLRU", "TBL_ID=?", {tableId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobRules(int jobId) {
  return rowsWhere("JTBLRU", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobRuleFieldMappings(
    int tableId, int ruleId, int sequenceId) {
  return rowsWhere("JTBLMA", "TBL_ID=? AND BR_ID=? AND SEQ_ID=?",
                   {tableId, ruleId, sequenceId});
}

// ---------------------------------------------------------------------------
// Redundant data, global metrics, alerts, charts

ReposDataAccessCursor* ProfileRDAImpl::listJobRdaConfigs(int jobId) {
  return rowsWhere("JRCFGS", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::findJobRdaConfig(
    int jobId, const KvbString& name, const KvbString& matchDefinition,
    const KvbString& sensitivity, const KvbString& locale) {
  return rowsWhere(
      "JRCFGS",
      "CFG_NAME=? AND MC_DEF=? AND MC_SENS=? AND MC_LOC=? AND SU_ID=?",
      {name, matchDefinition, sensitivity, locale, jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobFieldRdaMaps(int jobId,
                                                           int configId) {
  if (configId == -1) return rowsWhere("JFRDA", "SU_ID=?", {jobId});
  return rowsWhere("JFRDA", "SU_ID=? AND CFG_ID=?", {jobId, configId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobGlobalMetrics(int jobId) {
  return rowsWhere("JGMET", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobAlerts(int jobId) {
  return rowsWhere("JALERT", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobAlertProperties(int alertId) {
  return rowsWhere("JALPRP", "AL_ID=?", {alertId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobCharts(int jobId) {
  return rowsWhere("JCHART", "SU_ID=?", {jobId});
}

ReposDataAccessCursor* ProfileRDAImpl::listJobChartProperties(int chartId) {
  return rowsWhere("JCHPRP", "CH_ID=?", {chartId});
}
