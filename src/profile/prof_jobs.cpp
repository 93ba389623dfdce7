// Profile job definitions: the job (JSETUP) and the rows below it: key
// values, data sources, tables, fields with their metric settings,
// properties and links, redundant-data configurations and their fields,
// table metrics and rules with their mappings, global metrics, alerts and
// charts with their properties. Adds that answer an existing row's key
// look it up and add the row in one transaction.
#include <utility>

#include "kvreposres/kvreposres.h"
#include "profile/prof_rdaimpl.h"

namespace {
// A text compared by value: a missing text compares as the empty one.
KvbString compared(const KvbString& text) {
  return text.isNull() ? KvbString("") : text;
}
}  // namespace

// ---------------------------------------------------------------------------
// Job, key values, sources, tables, fields

int ProfileRDAImpl::addProfileJob(const KvbString& name,
                                  const KvbString& description,
                                  const KvbString& uuid, double createdDate,
                                  double editedDate,
                                  const KvbString& createdUser,
                                  const KvbString& editedUser, int folderId) {
  if (!ready()) return -1;
  // A job created inside the caller's transaction is announced by the
  // caller, once the transaction is committed.
  const bool announce = !rda_->inTransaction();
  const int id = addFiled(
      folderId, kvbStringFormat("Profile job [%S] already exists", name),
      "JSETUP", "JSETUP", "SU_NAME=? AND FLDR_ID=?", {name, folderId},
      "SU_ID, SU_NAME, SU_DESC, SU_UUID, SU_CRDAT, SU_EDDAT, SU_CRUSR, "
      "SU_EDUSR, FLDR_ID",
      {name, description, uuid, createdDate, editedDate, createdUser,
       editedUser, folderId});
  // A new job is announced through objectChanged, which listeners of the
  // profile jobs filter on.
  if (id > 0 && announce)
    post([id, uuid](RepositoryEventManager& events,
                    const KvbString& repository) {
      events.objectChanged(repository, kChangeAdded, "ProfileJob", id, uuid);
    });
  return id;
}

bool ProfileRDAImpl::addJobKeyValue(int jobId, const KvbString& key,
                                    const KvbString& value) {
  return ready() &&
         insert("JKEYVL", "SU_KEY, SU_VAL, SU_ID", {key, value, jobId});
}

int ProfileRDAImpl::addJobRdaConfig(int jobId, const KvbString& name,
                                    const KvbString& description,
                                    const KvbString& matchDefinition,
                                    const KvbString& sensitivity,
                                    const KvbString& locale) {
  return findOrAdd(
      "JRCFGS",
      "CFG_NAME=? AND MC_DEF=? AND MC_SENS=? AND MC_LOC=? AND SU_ID=?",
      {name, matchDefinition, sensitivity, locale, jobId},
      "CFG_ID, CFG_NAME, CFG_DESC, MC_DEF, MC_SENS, MC_LOC, SU_ID",
      {name, description, matchDefinition, sensitivity, locale, jobId});
}

int ProfileRDAImpl::addJobDsn(int jobId, const KvbString& name,
                              const KvbString& connection,
                              const KvbString& textFile) {
  return findOrAdd("JDSN", "SU_ID=? AND DSN_NAME=?", {jobId, name},
                   "DSN_ID, DSN_NAME, DSN_CONN, DSN_TEXT, SU_ID",
                   {name, connection, textFile, jobId});
}

int ProfileRDAImpl::addJobTable(
    int jobId, int dsnId, const KvbString& catalog, const KvbString& schema,
    const KvbString& tableName, const KvbString& filterName,
    const KvbString& filterExpression, const KvbString& filterSql,
    int sampleInterval, const KvbString& fileName, const KvbString& delimiter,
    const KvbString& qualifier, int skipRows, int recordWidth, int maxRows,
    const KvbString& truncate, int endOfLine, int encoding,
    const KvbString& byteOrderMark) {
  // Every criterion takes part, an empty one included: an unfiltered table
  // is not the filtered table of the same name.
  return findOrAdd(
      "JTABLE",
      "SU_ID=? AND DSN_ID=? AND COALESCE(TBL_CAT,'')=? AND "
      "COALESCE(TBL_SCH,'')=? AND COALESCE(TBL_NAME,'')=? AND "
      "COALESCE(FLTR,'')=? AND COALESCE(FLTR_E,'')=? AND "
      "COALESCE(FLTR_S,'')=? AND COALESCE(FNAME,'')=?",
      {jobId, dsnId, compared(catalog), compared(schema), compared(tableName),
       compared(filterName), compared(filterExpression), compared(filterSql),
       compared(fileName)},
      "TBL_ID, DSN_ID, TBL_CAT, TBL_NAME, TBL_SCH, FLTR, FLTR_E, FLTR_S, "
      "SAMP_INT, FNAME, DELIM, TXT_QUAL, SKIP_ROW, REC_WDTH, MAX_ROW, TRUNC, "
      "EOL, ENC, USE_BOM, SU_ID",
      {dsnId, catalog, tableName, schema, filterName, filterExpression,
       filterSql, sampleInterval, fileName, delimiter, qualifier, skipRows,
       recordWidth, maxRows, truncate, endOfLine, encoding, byteOrderMark,
       jobId});
}

bool ProfileRDAImpl::findJobTableId(
    int jobId, int dsnId, const KvbString& catalog, const KvbString& schema,
    const KvbString& tableName, const KvbString& filterName,
    const KvbString& filterExpression, const KvbString& filterSql,
    const KvbString& fileName, int* tableId) {
  if (!ready()) return false;
  SqlStatement select("SELECT TBL_ID FROM " + table("JTABLE"));
  select.where("SU_ID=?", jobId);
  // DSN 0 stands for none, as -1 does.
  if (dsnId > 0) select.where("DSN_ID=?", dsnId);
  select.where({{"TBL_CAT", catalog, Given::kNotEmpty},
                {"TBL_SCH", schema, Given::kNotEmpty},
                {"TBL_NAME", tableName, Given::kNotEmpty},
                {"FLTR", filterName, Given::kNotEmpty},
                {"FLTR_E", filterExpression, Given::kNotEmpty},
                {"FLTR_S", filterSql, Given::kNotEmpty},
                {"FNAME", fileName, Given::kNotEmpty}});
  return lookup(select, tableId) == 1;
}

int ProfileRDAImpl::addJobField(int jobId, int dsnId, int tableId,
                                const KvbString& name,
                                const KvbString& metricOverride, int position) {
  return findOrAdd("JFLD", nullptr, {},
                   "FLD_ID, DSN_ID, TBL_ID, FLD_NAME, MET_OVRD, ORD_POS, SU_ID",
                   {dsnId, tableId, name, metricOverride, position, jobId});
}

bool ProfileRDAImpl::addJobFieldRdaMap(
    int jobId, int configId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& table, const KvbString& field,
    const KvbString& dsnType) {
  const std::vector<KvbDatavar> values = {configId, dsn,   catalog, schema,
                                          table,    field, jobId,   dsnType};
  return insertUnless(
      IfPresent::kSucceed, KvbString(), "JFRDA",
      "CFG_ID=? AND FLD_DSN=? AND FLD_CAT=? AND FLD_SCH=? AND FLD_TBL=? AND "
      "FLD_NAME=? AND SU_ID=? AND DSN_TYPE=?",
      values,
      "CFG_ID, FLD_DSN, FLD_CAT, FLD_SCH, FLD_TBL, FLD_NAME, SU_ID, DSN_TYPE",
      values);
}

bool ProfileRDAImpl::addJobFieldMetric(int jobId, int dsnId, int tableId,
                                       int fieldId, const KvbString& name,
                                       const KvbString& value) {
  return ready() &&
         insert("JFLDME", "FLD_ID, DSN_ID, TBL_ID, MET_NAME, MET_VAL, SU_ID",
                {fieldId, dsnId, tableId, name, value, jobId});
}

bool ProfileRDAImpl::addJobFieldProperty(int jobId, int dsnId, int tableId,
                                         int fieldId, const KvbString& name,
                                         const KvbString& value) {
  return ready() &&
         insert("JFLDPR", "FLD_ID, DSN_ID, TBL_ID, PRP_NAME, PRP_VAL, SU_ID",
                {fieldId, dsnId, tableId, name, value, jobId});
}

bool ProfileRDAImpl::addJobLinkedField(
    int jobId, int fieldId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& table, const KvbString& name,
    const KvbString& type, const KvbString& text) {
  return ready() && insert("JLNKFL",
                           "FLD_ID, LNK_DSN, LNK_CAT, LNK_SCH, LNK_TBL, "
                           "LNK_NAME, LNK_TYPE, LNK_TEXT, SU_ID",
                           {fieldId, dsn, catalog, schema, table, name, type,
                            text, jobId});
}

// ---------------------------------------------------------------------------
// Metrics, rules, alerts, charts

int ProfileRDAImpl::addJobTableMetric(int jobId, int tableId, int metricId,
                                      const KvbString& metricName,
                                      const KvbString& metricUid) {
  return findOrAdd("JTBLME", nullptr, {},
                   "SEQ_ID, TBL_ID, CM_NAME, CM_UID, SU_ID, CM_ID",
                   {tableId, metricName, metricUid, jobId, metricId});
}

bool ProfileRDAImpl::addJobCustomMetricMapping(int jobId, int sequenceId,
                                               int tableId, int metricId,
                                               const KvbString& metricName,
                                               const KvbString& input,
                                               const KvbString& output,
                                               const KvbString& metricField,
                                               const KvbString& type) {
  return ready() && insert("JCMDMA",
                           "SEQ_ID, TBL_ID, CM_NAME, CM_IN, CM_OUT, CM_FLD, "
                           "CM_TYPE, SU_ID, CM_ID",
                           {sequenceId, tableId, metricName, input, output,
                            metricField, type, jobId, metricId});
}

bool ProfileRDAImpl::addJobCustomMetricFieldMapping(
    int jobId, int tableId, int metricId, int sequenceId,
    const KvbString& metricName, const KvbString& input,
    const KvbString& output, const KvbString& metricField,
    const KvbString& type) {
  return addJobCustomMetricMapping(jobId, sequenceId, tableId, metricId,
                                   metricName, input, output, metricField,
                                   type);
}

int ProfileRDAImpl::addJobTableRule(int jobId, int tableId, int ruleId,
                                    const KvbString& ruleName, int logFlag,
                                    int logThreshold,
                                    const KvbString& ruleUid) {
  return findOrAdd(
      "JTBLRU", "SU_ID=? AND TBL_ID=? AND BR_ID=?", {jobId, tableId, ruleId},
      "SEQ_ID, TBL_ID, BR_NAME, LOG_FLAG, LOG_TH, BR_UID, SU_ID, BR_ID",
      {tableId, ruleName, logFlag, logThreshold, ruleUid, jobId, ruleId});
}

bool ProfileRDAImpl::addJobRuleFieldMapping(int jobId, int sequenceId,
                                            int tableId, int ruleId,
                                            const KvbString& ruleName,
                                            const KvbString& fieldName,
                                            const KvbString& ruleField) {
  return ready() &&
         insert("JTBLMA",
                "SEQ_ID, TBL_ID, BR_NAME, FLD_NAME, BR_FLD, SU_ID, BR_ID",
                {sequenceId, tableId, ruleName, fieldName, ruleField, jobId,
                 ruleId});
}

bool ProfileRDAImpl::addJobGlobalMetric(int jobId, const KvbString& name,
                                        const KvbString& value) {
  return ready() &&
         insert("JGMET", "MET_NAME, MET_VAL, SU_ID", {name, value, jobId});
}

int ProfileRDAImpl::addJobAlert(int jobId, const KvbString& dsn,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                const KvbString& field, const KvbString& filter,
                                const KvbString& description,
                                const KvbString& rule,
                                const KvbString& textFile,
                                const KvbString& type, const KvbString& uid) {
  return findOrAdd("JALERT",
                   "SU_ID=? AND AL_DSN=? AND AL_CAT=? AND AL_SCH=? AND "
                   "AL_TBL=? AND AL_FLD=? AND AL_RULE=? AND AL_UID=? AND "
                   "AL_TYPE=?",
                   {jobId, dsn, catalog, schema, table, field, rule, uid, type},
                   "AL_ID, AL_DSN, AL_CAT, AL_SCH, AL_TBL, AL_FLD, AL_FLTR, "
                   "AL_DESC, AL_RULE, AL_TEXT, AL_TYPE, AL_UID, SU_ID",
                   {dsn, catalog, schema, table, field, filter, description,
                    rule, textFile, type, uid, jobId});
}

bool ProfileRDAImpl::setJobAlertProperty(int jobId, int alertId,
                                         const KvbString& name,
                                         const KvbString& value) {
  if (!ready()) return false;
  return upsert("JALPRP", {{"AP_VAL", value}},
                {{"AL_ID", alertId}, {"AP_NAME", name}}, {{"SU_ID", jobId}});
}

int ProfileRDAImpl::addJobChart(int jobId, const KvbString& dsn,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                const KvbString& field, const KvbString& filter,
                                const KvbString& description,
                                const KvbString& textFile) {
  const std::vector<KvbDatavar> content = {
      dsn, catalog, schema, table, field, filter, description, textFile, jobId};
  return findOrAdd("JCHART",
                   "CH_DSN=? AND CH_CAT=? AND CH_SCH=? AND CH_TBL=? AND "
                   "CH_FLD=? AND CH_FLTR=? AND CH_DESC=? AND CH_TEXT=? AND "
                   "SU_ID=?",
                   content,
                   "CH_ID, CH_DSN, CH_CAT, CH_SCH, CH_TBL, CH_FLD, CH_FLTR, "
                   "CH_DESC, CH_TEXT, SU_ID",
                   content);
}

bool ProfileRDAImpl::addJobChartProperty(int jobId, int chartId,
                                         const KvbString& name, int sequence,
                                         const KvbString& value) {
  return ready() && insert("JCHPRP", "CH_ID, CP_NAME, CP_SEQ, CP_VAL, SU_ID",
                           {chartId, name, sequence, value, jobId});
}
