// Profile job definitions: the job (JSETUP) and the rows below it: key
// values, data sources, tables, fields with their metric settings,
// properties and links, redundant-data configurations and their fields,
// table metrics and rules with their mappings, global metrics, alerts and
// charts with their properties. Adds that answer an existing row's key
// look it up and add the row in one transaction. Every such write checks,
// in that transaction, that the rows its ids name exist within the job.
#include <string>
#include <utility>

#include "kvreposres/kvreposres.h"
#include "profile/prof_rdaimpl.h"

namespace {
// A text compared by value: a missing text compares as the empty one.
KvbString compared(const KvbString& text) {
  return text.isNull() ? KvbString("") : text;
}

const char kJobKind[] = "profile job";
const char kTakenName[] =
    "The folder holds a profile job of this name already.";

// The rows that the ids of a job-definition write name: the job, and the
// rows below it within that job.
JobRef jobRef(int jobId) { return {kJobKind, "JSETUP", "SU_ID", jobId, {}}; }
// Row `id` of table `code` that belongs to job `jobId`.
JobRef jobRow(const char* kind, const char* code, const char* idColumn,
              int jobId, int id) {
  return {kind, code, idColumn, id, {{"SU_ID", jobId}}};
}
JobRef dsnRef(int jobId, int dsnId) {
  return jobRow("job data source", "JDSN", "DSN_ID", jobId, dsnId);
}
JobRef tableRef(int jobId, int tableId) {
  return jobRow("job table", "JTABLE", "TBL_ID", jobId, tableId);
}
// A rule and a custom metric are objects of the repository, not of a job.
JobRef ruleRef(int ruleId) { return {"rule", "RULE", "RU_ID", ruleId, {}}; }
JobRef metricRef(int metricId) {
  return {"custom metric", "CUSTM", "CM_ID", metricId, {}};
}
// A table of a job's data source with the rows above it, and a field of
// that table: the table must be of the source, the field of both.
std::vector<JobRef> sourceTableRefs(int jobId, int dsnId, int tableId) {
  JobRef table = tableRef(jobId, tableId);
  table.scope.push_back({"DSN_ID", dsnId});
  return {jobRef(jobId), dsnRef(jobId, dsnId), table};
}
std::vector<JobRef> fieldRefs(int jobId, int dsnId, int tableId, int fieldId) {
  std::vector<JobRef> refs = sourceTableRefs(jobId, dsnId, tableId);
  refs.push_back(jobRow("job field", "JFLD", "FLD_ID", jobId, fieldId));
  refs.back().scope.insert(refs.back().scope.end(),
                           {{"DSN_ID", dsnId}, {"TBL_ID", tableId}});
  return refs;
}
}  // namespace

// ---------------------------------------------------------------------------
// The checks of the ids that a job-definition write is given

BaseRDAImpl::UniqueKey ProfileRDAImpl::jobName(const KvbString& name,
                                               int folderId, int jobId) {
  const SqlField column("SU_NAME", name);
  UniqueKey key = jobId < 0 ? newNameKey(column, kJobKind, kTakenName)
                            : nameKey(column, kJobKind, jobId, kTakenName);
  key.columns.push_back({"FLDR_ID", folderId});
  return key;
}

bool ProfileRDAImpl::jobRowsExist(const std::vector<JobRef>& refs) {
  for (const JobRef& ref : refs) {
    const std::string term = std::string(ref.idColumn) + "=?";
    SqlStatement select("SELECT 1 FROM " + table(ref.code));
    // Held until the write's transaction ends, as objectExists holds.
    select.where(term.c_str(), ref.id).whereEvery(ref.scope);
    select.append(heldRowsClause());
    const int found = lookup(select, nullptr);
    if (found < 0) return false;
    if (found == 0) return fail(missingObject(ref.kind, ref.id));
  }
  return true;
}

bool ProfileRDAImpl::writeUnder(const std::vector<JobRef>& refs,
                                const std::function<bool()>& write) {
  return ready() && addInOneStep([&] { return jobRowsExist(refs) && write(); });
}

bool ProfileRDAImpl::insertUnder(const std::vector<JobRef>& refs,
                                 const char* code, const SqlFields& columns) {
  return writeUnder(refs, [&] { return insert(code, columns); });
}

int ProfileRDAImpl::findOrAddUnder(const std::vector<JobRef>& refs,
                                   const char* code, const char* idColumn,
                                   const SqlFields& keys,
                                   const SqlFields& columns,
                                   const SqlFields& texts) {
  int id = 0;
  // One level of transaction, that of the check: a nested one that fails
  // costs a driver that gives the whole transaction up a text that says so.
  const bool stored = writeUnder(refs, [&] {
    if (!keys.empty() || !texts.empty()) {
      SqlStatement match("SELECT " + KvbString(idColumn ? idColumn : "1") +
                         " FROM " + table(code));
      match.on(code).whereEvery(keys);
      for (const SqlField& text : texts) {
        const std::string term =
            std::string("COALESCE(") + text.name + ",'')=?";
        match.where(term.c_str(), text);
      }
      // The table's turn first, so that two writers cannot both add.
      if (!writesSerialized(code)) return false;
      const int found = lookup(match, idColumn ? &id : nullptr);
      if (found != 0) return found == 1;
    }
    if (!idColumn) return insert(code, columns);
    if (!nextId(code, id)) return false;
    const SqlField numbered(idColumn, id);
    return insert(code, columns, &numbered);
  });
  return stored ? id : -1;
}

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
  const int id =
      addFiledUnique(folderId, "JSETUP", "JSETUP", "SU_ID",
                     {{"SU_NAME", name},
                      {"SU_DESC", description},
                      {"SU_UUID", uuid},
                      {"SU_CRDAT", createdDate},
                      {"SU_EDDAT", editedDate},
                      {"SU_CRUSR", createdUser},
                      {"SU_EDUSR", editedUser},
                      {"FLDR_ID", folderId}},
                     {jobName(name, folderId, -1),
                      newUuidKey("SU_UUID", uuid, "profile job", name)});
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
  return insertUnder({jobRef(jobId)}, "JKEYVL",
                     {{"SU_KEY", key}, {"SU_VAL", value}, {"SU_ID", jobId}});
}

int ProfileRDAImpl::addJobRdaConfig(int jobId, const KvbString& name,
                                    const KvbString& description,
                                    const KvbString& matchDefinition,
                                    const KvbString& sensitivity,
                                    const KvbString& locale) {
  return findOrAddUnder({jobRef(jobId)}, "JRCFGS", "CFG_ID",
                        {{"CFG_NAME", name},
                         {"MC_DEF", matchDefinition},
                         {"MC_SENS", sensitivity},
                         {"MC_LOC", locale},
                         {"SU_ID", jobId}},
                        {{"CFG_NAME", name},
                         {"CFG_DESC", description},
                         {"MC_DEF", matchDefinition},
                         {"MC_SENS", sensitivity},
                         {"MC_LOC", locale},
                         {"SU_ID", jobId}});
}

int ProfileRDAImpl::addJobDsn(int jobId, const KvbString& name,
                              const KvbString& connection,
                              const KvbString& textFile) {
  return findOrAddUnder({jobRef(jobId)}, "JDSN", "DSN_ID",
                        {{"SU_ID", jobId}, {"DSN_NAME", name}},
                        {{"DSN_NAME", name},
                         {"DSN_CONN", connection},
                         {"DSN_TEXT", textFile},
                         {"SU_ID", jobId}});
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
  return findOrAddUnder({jobRef(jobId), dsnRef(jobId, dsnId)}, "JTABLE",
                        "TBL_ID", {{"SU_ID", jobId}, {"DSN_ID", dsnId}},
                        {{"DSN_ID", dsnId},
                         {"TBL_CAT", catalog},
                         {"TBL_NAME", tableName},
                         {"TBL_SCH", schema},
                         {"FLTR", filterName},
                         {"FLTR_E", filterExpression},
                         {"FLTR_S", filterSql},
                         {"SAMP_INT", sampleInterval},
                         {"FNAME", fileName},
                         {"DELIM", delimiter},
                         {"TXT_QUAL", qualifier},
                         {"SKIP_ROW", skipRows},
                         {"REC_WDTH", recordWidth},
                         {"MAX_ROW", maxRows},
                         {"TRUNC", truncate},
                         {"EOL", endOfLine},
                         {"ENC", encoding},
                         {"USE_BOM", byteOrderMark},
                         {"SU_ID", jobId}},
                        {{"TBL_CAT", compared(catalog)},
                         {"TBL_SCH", compared(schema)},
                         {"TBL_NAME", compared(tableName)},
                         {"FLTR", compared(filterName)},
                         {"FLTR_E", compared(filterExpression)},
                         {"FLTR_S", compared(filterSql)},
                         {"FNAME", compared(fileName)}});
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
  return wasFound(lookup(select, tableId), [&] {
    return kvbStringFormat(
        "Profile job %d has no table that matches the criteria given", jobId);
  });
}

int ProfileRDAImpl::addJobField(int jobId, int dsnId, int tableId,
                                const KvbString& name,
                                const KvbString& metricOverride, int position) {
  return findOrAddUnder(sourceTableRefs(jobId, dsnId, tableId), "JFLD",
                        "FLD_ID", {},
                        {{"DSN_ID", dsnId},
                         {"TBL_ID", tableId},
                         {"FLD_NAME", name},
                         {"MET_OVRD", metricOverride},
                         {"ORD_POS", position},
                         {"SU_ID", jobId}});
}

bool ProfileRDAImpl::addJobFieldRdaMap(
    int jobId, int configId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& table, const KvbString& field,
    const KvbString& dsnType) {
  // The row is its own key: an equal row is not added twice.
  const SqlFields row = {{"CFG_ID", configId}, {"FLD_DSN", dsn},
                         {"FLD_CAT", catalog}, {"FLD_SCH", schema},
                         {"FLD_TBL", table},   {"FLD_NAME", field},
                         {"SU_ID", jobId},     {"DSN_TYPE", dsnType}};
  return findOrAddUnder(
             {jobRef(jobId), jobRow("job redundant-data configuration",
                                    "JRCFGS", "CFG_ID", jobId, configId)},
             "JFRDA", nullptr, row, row) >= 0;
}

bool ProfileRDAImpl::addJobFieldMetric(int jobId, int dsnId, int tableId,
                                       int fieldId, const KvbString& name,
                                       const KvbString& value) {
  return insertUnder(fieldRefs(jobId, dsnId, tableId, fieldId), "JFLDME",
                     {{"FLD_ID", fieldId},
                      {"DSN_ID", dsnId},
                      {"TBL_ID", tableId},
                      {"MET_NAME", name},
                      {"MET_VAL", value},
                      {"SU_ID", jobId}});
}

bool ProfileRDAImpl::addJobFieldProperty(int jobId, int dsnId, int tableId,
                                         int fieldId, const KvbString& name,
                                         const KvbString& value) {
  return insertUnder(fieldRefs(jobId, dsnId, tableId, fieldId), "JFLDPR",
                     {{"FLD_ID", fieldId},
                      {"DSN_ID", dsnId},
                      {"TBL_ID", tableId},
                      {"PRP_NAME", name},
                      {"PRP_VAL", value},
                      {"SU_ID", jobId}});
}

bool ProfileRDAImpl::addJobLinkedField(
    int jobId, int fieldId, const KvbString& dsn, const KvbString& catalog,
    const KvbString& schema, const KvbString& table, const KvbString& name,
    const KvbString& type, const KvbString& text) {
  return insertUnder(
      {jobRef(jobId), jobRow("job field", "JFLD", "FLD_ID", jobId, fieldId)},
      "JLNKFL",
      {{"FLD_ID", fieldId},
       {"LNK_DSN", dsn},
       {"LNK_CAT", catalog},
       {"LNK_SCH", schema},
       {"LNK_TBL", table},
       {"LNK_NAME", name},
       {"LNK_TYPE", type},
       {"LNK_TEXT", text},
       {"SU_ID", jobId}});
}

// ---------------------------------------------------------------------------
// Metrics, rules, alerts, charts

int ProfileRDAImpl::addJobTableMetric(int jobId, int tableId, int metricId,
                                      const KvbString& metricName,
                                      const KvbString& metricUid) {
  return findOrAddUnder(
      {jobRef(jobId), tableRef(jobId, tableId), metricRef(metricId)}, "JTBLME",
      "SEQ_ID", {},
      {{"TBL_ID", tableId},
       {"CM_NAME", metricName},
       {"CM_UID", metricUid},
       {"SU_ID", jobId},
       {"CM_ID", metricId}});
}

bool ProfileRDAImpl::addJobCustomMetricMapping(int jobId, int sequenceId,
                                               int tableId, int metricId,
                                               const KvbString& metricName,
                                               const KvbString& input,
                                               const KvbString& output,
                                               const KvbString& metricField,
                                               const KvbString& type) {
  return insertUnder(
      {jobRef(jobId),
       tableRef(jobId, tableId),
       metricRef(metricId),
       {"job table metric",
        "JTBLME",
        "SEQ_ID",
        sequenceId,
        {{"SU_ID", jobId}, {"TBL_ID", tableId}, {"CM_ID", metricId}}}},
      "JCMDMA",
      {{"SEQ_ID", sequenceId},
       {"TBL_ID", tableId},
       {"CM_NAME", metricName},
       {"CM_IN", input},
       {"CM_OUT", output},
       {"CM_FLD", metricField},
       {"CM_TYPE", type},
       {"SU_ID", jobId},
       {"CM_ID", metricId}});
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
  return findOrAddUnder(
      {jobRef(jobId), tableRef(jobId, tableId), ruleRef(ruleId)}, "JTBLRU",
      "SEQ_ID", {{"SU_ID", jobId}, {"TBL_ID", tableId}, {"BR_ID", ruleId}},
      {{"TBL_ID", tableId},
       {"BR_NAME", ruleName},
       {"LOG_FLAG", logFlag},
       {"LOG_TH", logThreshold},
       {"BR_UID", ruleUid},
       {"SU_ID", jobId},
       {"BR_ID", ruleId}});
}

bool ProfileRDAImpl::addJobRuleFieldMapping(int jobId, int sequenceId,
                                            int tableId, int ruleId,
                                            const KvbString& ruleName,
                                            const KvbString& fieldName,
                                            const KvbString& ruleField) {
  return insertUnder(
      {jobRef(jobId),
       tableRef(jobId, tableId),
       ruleRef(ruleId),
       {"job table rule",
        "JTBLRU",
        "SEQ_ID",
        sequenceId,
        {{"SU_ID", jobId}, {"TBL_ID", tableId}, {"BR_ID", ruleId}}}},
      "JTBLMA",
      {{"SEQ_ID", sequenceId},
       {"TBL_ID", tableId},
       {"BR_NAME", ruleName},
       {"FLD_NAME", fieldName},
       {"BR_FLD", ruleField},
       {"SU_ID", jobId},
       {"BR_ID", ruleId}});
}

bool ProfileRDAImpl::addJobGlobalMetric(int jobId, const KvbString& name,
                                        const KvbString& value) {
  return insertUnder(
      {jobRef(jobId)}, "JGMET",
      {{"MET_NAME", name}, {"MET_VAL", value}, {"SU_ID", jobId}});
}

int ProfileRDAImpl::addJobAlert(int jobId, const KvbString& dsn,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                const KvbString& field, const KvbString& filter,
                                const KvbString& description,
                                const KvbString& rule,
                                const KvbString& textFile,
                                const KvbString& type, const KvbString& uid) {
  return findOrAddUnder({jobRef(jobId)}, "JALERT", "AL_ID",
                        {{"SU_ID", jobId},
                         {"AL_DSN", dsn},
                         {"AL_CAT", catalog},
                         {"AL_SCH", schema},
                         {"AL_TBL", table},
                         {"AL_FLD", field},
                         {"AL_RULE", rule},
                         {"AL_UID", uid},
                         {"AL_TYPE", type}},
                        {{"AL_DSN", dsn},
                         {"AL_CAT", catalog},
                         {"AL_SCH", schema},
                         {"AL_TBL", table},
                         {"AL_FLD", field},
                         {"AL_FLTR", filter},
                         {"AL_DESC", description},
                         {"AL_RULE", rule},
                         {"AL_TEXT", textFile},
                         {"AL_TYPE", type},
                         {"AL_UID", uid},
                         {"SU_ID", jobId}});
}

bool ProfileRDAImpl::setJobAlertProperty(int jobId, int alertId,
                                         const KvbString& name,
                                         const KvbString& value) {
  // The row of that alert and name is updated, or added when there is
  // none, after the table's turn (as upsert does, in the check's level).
  return writeUnder(
      {jobRef(jobId), jobRow("job alert", "JALERT", "AL_ID", jobId, alertId)},
      [&] {
        int rows = 0;
        return writesSerialized("JALPRP") &&
               run(updateOf("JALPRP")
                       .set({"AP_VAL", value})
                       .whereEvery({{"AL_ID", alertId}, {"AP_NAME", name}}),
                   &rows) &&
               (rows > 0 || insert("JALPRP", {{"AL_ID", alertId},
                                              {"AP_NAME", name},
                                              {"AP_VAL", value},
                                              {"SU_ID", jobId}}));
      });
}

int ProfileRDAImpl::addJobChart(int jobId, const KvbString& dsn,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                const KvbString& field, const KvbString& filter,
                                const KvbString& description,
                                const KvbString& textFile) {
  const SqlFields content = {
      {"CH_DSN", dsn},          {"CH_CAT", catalog},   {"CH_SCH", schema},
      {"CH_TBL", table},        {"CH_FLD", field},     {"CH_FLTR", filter},
      {"CH_DESC", description}, {"CH_TEXT", textFile}, {"SU_ID", jobId}};
  return findOrAddUnder({jobRef(jobId)}, "JCHART", "CH_ID", content, content);
}

bool ProfileRDAImpl::addJobChartProperty(int jobId, int chartId,
                                         const KvbString& name, int sequence,
                                         const KvbString& value) {
  return insertUnder(
      {jobRef(jobId), jobRow("job chart", "JCHART", "CH_ID", jobId, chartId)},
      "JCHPRP",
      {{"CH_ID", chartId},
       {"CP_NAME", name},
       {"CP_SEQ", sequence},
       {"CP_VAL", value},
       {"SU_ID", jobId}});
}
