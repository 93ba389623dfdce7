// ProfileRepositoryDataAccess: the repository's profiling data: profile job
// definitions, match definitions and text-file layouts, reports with their
// runs, and the per-table and per-field results of each run.
//
// Hosts call the operations by their position in this class, so their order
// is fixed. Cursors that the operations answer are in-memory copies that
// the caller releases; an empty result is a cursor without rows. Failures
// answer false, null or -1; the reason is the connection's error text,
// which getErrorMessage() gives. Without a connection every operation logs
// "Repository Data Access object is null" at level 5 and fails.
// A profile job's name may be empty: it is stored as given, since stored
// repositories and imports hold such names, and such a job is found only
// by its id or UUID (a folder, by contrast, refuses an empty name).
//
// Keys of new rows come from the id counter named by the table code of the
// row's table. The job-definition adds answer the new key (-1 on failure);
// the match-definition, report and result adds answer bool and write the
// key through `key` when it is not null, only on success. A keyed add that
// fails leaves neither its row nor a used key behind. Optional criteria are
// -1 for an id and a null pointer (or, where said, an empty text) for a
// text. Dates are KvbDate values as doubles. Yes/no options are stored as
// "Y" and "N".
//
// Ids. -1 is the one id that means none, in a criterion and where a column
// may hold none (a report of no job). The writes of a job's definition
// (addJobKeyValue to addJobChartProperty, and
// addJobCustomMetricFieldMapping) check every id they are given, in their
// own transaction: the job, and the data source, table, field,
// redundant-data configuration, table metric or table rule (by SEQ_ID),
// alert or chart that they name, each of that job (a table of that source,
// a field of that source and table), and the repository's rule or custom
// metric that a table rule or metric names. An id that names none of these
// (-1 and 0 included; a row of another job counts as none) is refused with
// "<Kind> <id> does not exist", the kind one of "Profile job", "Job data
// source", "Job table", "Job field", "Job redundant-data configuration",
// "Job table metric", "Job table rule", "Job alert", "Job chart", "Rule"
// and "Custom metric", logged once, and nothing is stored. So a definition
// is written parents first, as an import writes it. Such a write and a
// deleteProfileJob or deleteProfileJobDetails of its job on another
// connection never both leave the write's row behind: the one that comes
// second waits for the other, and a deletion then removes the row, a write
// is then refused as above. The writes of reports,
// runs and their results, and the loads, check no id they are given but
// those their comments name (a report's folder, a redundancy
// configuration's match definition): a profiling run writes them by the
// thousand, in the order it computes them, from ids it was just handed.
// Deletes remove what their comments name. deleteProfileJob leaves nothing
// that names the job; the rule or custom metric that a job's table rule or
// metric names may be deleted through its own interface, which leaves the
// job's row naming it. Rows that a result delete leaves are named with it.
//
// A listing of "every column" of a table gives them in the table's built-in
// definition order, listed with each operation. Listings have no order
// unless one is given.
//
// Value distributions: a field's frequencies live in the shared table
// FRQDST (FLD_ID, FR_VAL, FR_CNT, FR_MC) or in the field's own table
// FRQDST<field id> (FR_VALUE, FR_COUNT, FR_MCVAL); its patterns in PATDST,
// its match codes in MCDIST. `sharedTable` selects the layout, and
// `matchCodes` (taking precedence) MCDIST; a match definition of -1 means
// every definition. Loads stream rows in: begin, add, end. Each load is one
// prepared insert in one transaction, or on a connection with a bulk
// loader the bulk loader, which holds one load at a time: a bulk begin
// while another load holds it is refused. Texts are cut to their column on
// a character boundary. Only a load's end commits it: a load that does not
// reach its end keeps nothing (no row, not the batches the bulk loader
// already wrote, nor a field table the load made), whether its object is
// released, a second begin of its kind replaces it (rule-log begins nest
// instead), an add or an end fails (an end also when a field table's
// indexes, made before its commit, cannot be made; logged once; the load
// is rolled back),
// or its thread ends or is cancelled with it open. The object then has no
// such load open: its adds and end answer false and write nothing, and its
// next begin starts afresh; the bulk loader is free for the next begin of
// any object. A release never waits: released on another thread than the
// load's, the object leaves the load's transaction (when the load opened
// it) lost, as a host transaction whose object is released there, and the
// loading thread's next call answers false ("The transaction was rolled
// back: the data-access object that began it was released") and closes
// it. While a load that opened its own transaction is open, the writes of
// other calls on its thread (other data-access objects of the repository,
// the host's own statements) join the load's transaction: the load's end
// stores them, and a load rolled back takes them with it. Then the add or
// end that failed answers "The load's transaction was rolled back, and
// with it the writes that other calls of this thread made while the load
// was open: <reason>", as does the thread's next call that reaches the
// database, which stores nothing; a release on another thread adds the
// same to its text. Writes to be kept whatever becomes of the load are
// made outside it, or in a transaction of the host's around it.
#ifndef REPOSADMIN_PROFILE_DATA_ACCESS_H_
#define REPOSADMIN_PROFILE_DATA_ACCESS_H_

#include <cstdint>

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repos_data_access_object.h"

class ProfileRepositoryDataAccess : public ReposDataAccessObject {
 public:
  // --- Match definitions and text-file layouts -----------------------------

  // Finds the MATCH row with this definition name, sensitivity and locale,
  // or adds one (id counter "MATCH"), and gives its MC_ID. A sensitivity
  // that is not an integer fails.
  virtual bool addMatchDefinition(const KvbString& definition,
                                  const KvbString& sensitivity,
                                  const KvbString& locale, int* key) = 0;
  // Adds a TFINF row: the layout of the text file read for `tableName`.
  // Nothing is replaced: a caller replacing a layout deletes it first.
  virtual bool addTextFileInfo(const KvbString& tableName,
                               const KvbString& fileName,
                               const KvbString& delimiter,
                               const KvbString& qualifier, int skipRows,
                               int recordWidth, int maxRows, bool truncate,
                               int endOfLine, int encoding,
                               bool byteOrderMark) = 0;
  // Adds a TFFINF row: one field of the layout of `tableName`.
  virtual bool addTextFileField(const KvbString& tableName,
                                const KvbString& fieldName,
                                const KvbString& fieldType, int length,
                                int startPosition, int order) = 0;

  // --- Profile job definitions: job, key values, sources, tables, fields ---

  // Adds a profile job (JSETUP) and answers its SU_ID. A name that the
  // folder holds already is refused with "Cannot add the profile job
  // "<name>": The folder holds a profile job of this name already.", a
  // UUID that another job holds with "Cannot add the profile
  // job "<name>" with UUID "<uuid>": " and "Monitor Repository" message
  // 1085 (an empty UUID is none, and is not looked for), a folder that
  // does not exist with "Folder <id> does not exist" (0 is the root).
  // Posts a "ProfileJob" added event, unless a transaction was open when
  // the call began.
  virtual int addProfileJob(const KvbString& name, const KvbString& description,
                            const KvbString& uuid, double createdDate,
                            double editedDate, const KvbString& createdUser,
                            const KvbString& editedUser, int folderId) = 0;
  // Adds a key/value setting of a job (JKEYVL).
  virtual bool addJobKeyValue(int jobId, const KvbString& key,
                              const KvbString& value) = 0;
  // The CFG_ID of the job's redundant-data configuration (JRCFGS) with this
  // name and match-code texts; one is added when there is none. The
  // description of an existing one is left as it is.
  virtual int addJobRdaConfig(int jobId, const KvbString& name,
                              const KvbString& description,
                              const KvbString& matchDefinition,
                              const KvbString& sensitivity,
                              const KvbString& locale) = 0;
  // The DSN_ID of the job's data source (JDSN) of this name; one is added
  // when there is none. An existing source is neither compared nor updated.
  virtual int addJobDsn(int jobId, const KvbString& name,
                        const KvbString& connection,
                        const KvbString& textFile) = 0;
  // The TBL_ID of the job's table (JTABLE) with exactly this source,
  // catalog, schema, name, filter name, filter expression, filter SQL and
  // file name (an empty text matching only an empty or missing one); one is
  // added when there is none. The sample interval and the other text-file
  // options take no part in the comparison.
  virtual int addJobTable(int jobId, int dsnId, const KvbString& catalog,
                          const KvbString& schema, const KvbString& tableName,
                          const KvbString& filterName,
                          const KvbString& filterExpression,
                          const KvbString& filterSql, int sampleInterval,
                          const KvbString& fileName, const KvbString& delimiter,
                          const KvbString& qualifier, int skipRows,
                          int recordWidth, int maxRows,
                          const KvbString& truncate, int endOfLine,
                          int encoding, const KvbString& byteOrderMark) = 0;
  // Adds a field of a job table (JFLD) and answers its FLD_ID; the same
  // field added twice gets two keys.
  virtual int addJobField(int jobId, int dsnId, int tableId,
                          const KvbString& name,
                          const KvbString& metricOverride, int position) = 0;
  // Maps a field to a redundant-data configuration (JFRDA) unless the same
  // mapping is stored already (true either way).
  virtual bool addJobFieldRdaMap(int jobId, int configId, const KvbString& dsn,
                                 const KvbString& catalog,
                                 const KvbString& schema,
                                 const KvbString& table, const KvbString& field,
                                 const KvbString& dsnType) = 0;
  // Add a metric setting (JFLDME) or a property (JFLDPR) of a job field.
  virtual bool addJobFieldMetric(int jobId, int dsnId, int tableId, int fieldId,
                                 const KvbString& name,
                                 const KvbString& value) = 0;
  virtual bool addJobFieldProperty(int jobId, int dsnId, int tableId,
                                   int fieldId, const KvbString& name,
                                   const KvbString& value) = 0;
  // Adds a link of a field to another field (JLNKFL); type "P" marks a
  // primary/foreign key check.
  virtual bool addJobLinkedField(int jobId, int fieldId, const KvbString& dsn,
                                 const KvbString& catalog,
                                 const KvbString& schema,
                                 const KvbString& table, const KvbString& name,
                                 const KvbString& type,
                                 const KvbString& text) = 0;

  // --- Profile job definitions: metrics, rules, alerts, charts ------------

  // Adds a custom metric of a job table (JTBLME) and answers its SEQ_ID;
  // the same metric added twice gets two keys.
  virtual int addJobTableMetric(int jobId, int tableId, int metricId,
                                const KvbString& metricName,
                                const KvbString& metricUid) = 0;
  // Adds a field mapping of a table's custom metric (JCMDMA); `sequenceId`
  // is the metric's JTBLME key.
  virtual bool addJobCustomMetricMapping(int jobId, int sequenceId, int tableId,
                                         int metricId,
                                         const KvbString& metricName,
                                         const KvbString& input,
                                         const KvbString& output,
                                         const KvbString& metricField,
                                         const KvbString& type) = 0;
  // The SEQ_ID of the job table's business rule (JTBLRU) `ruleId`; one is
  // added when there is none. A stored rule keeps its name, log flag,
  // threshold and run id.
  virtual int addJobTableRule(int jobId, int tableId, int ruleId,
                              const KvbString& ruleName, int logFlag,
                              int logThreshold, const KvbString& ruleUid) = 0;
  // Adds an input mapping of a table's business rule (JTBLMA).
  virtual bool addJobRuleFieldMapping(int jobId, int sequenceId, int tableId,
                                      int ruleId, const KvbString& ruleName,
                                      const KvbString& fieldName,
                                      const KvbString& ruleField) = 0;
  // Adds a global metric setting of a job (JGMET).
  virtual bool addJobGlobalMetric(int jobId, const KvbString& name,
                                  const KvbString& value) = 0;
  // The AL_ID of the job's alert (JALERT) with this source, catalog,
  // schema, table, field, rule, unique id and type; one is added when there
  // is none. A stored alert keeps its filter, description and text file.
  virtual int addJobAlert(int jobId, const KvbString& dsn,
                          const KvbString& catalog, const KvbString& schema,
                          const KvbString& table, const KvbString& field,
                          const KvbString& filter, const KvbString& description,
                          const KvbString& rule, const KvbString& textFile,
                          const KvbString& type, const KvbString& uid) = 0;
  // Sets a property of a job alert (JALPRP): the row of that alert and name
  // is updated, or added when there is none.
  virtual bool setJobAlertProperty(int jobId, int alertId,
                                   const KvbString& name,
                                   const KvbString& value) = 0;
  // The CH_ID of the job's chart (JCHART) equal in all nine texts; one is
  // added when there is none.
  virtual int addJobChart(int jobId, const KvbString& dsn,
                          const KvbString& catalog, const KvbString& schema,
                          const KvbString& table, const KvbString& field,
                          const KvbString& filter, const KvbString& description,
                          const KvbString& textFile) = 0;
  // Adds a property of a job chart (JCHPRP).
  virtual bool addJobChartProperty(int jobId, int chartId,
                                   const KvbString& name, int sequence,
                                   const KvbString& value) = 0;

  // --- Reports, runs and their results ------------------------------------

  // Links report `reportId` to profile job `jobId` (REPORT.SU_ID). A report
  // that does not exist is no failure.
  virtual bool setReportProfileJob(int jobId, int reportId) = 0;
  // As addJobCustomMetricMapping, with the table and metric before the
  // sequence; the same JCMDMA row.
  virtual bool addJobCustomMetricFieldMapping(int jobId, int tableId,
                                              int metricId, int sequenceId,
                                              const KvbString& metricName,
                                              const KvbString& input,
                                              const KvbString& output,
                                              const KvbString& metricField,
                                              const KvbString& type) = 0;
  // Adds a report (REPORT); `date` is both its creation and modification
  // date. A folder that does not exist is refused with "Folder <id> does
  // not exist" (0 is the root).
  virtual bool addReport(int jobId, int folderId, const KvbString& name,
                         double date, const KvbString& user, int* key) = 0;
  // Adds a run of a report (JOB).
  virtual bool addReportRun(const KvbString& description, double date,
                            int reportId, int* key) = 0;
  // Adds an execution-log line (EXELOG); its key orders the lines. Status
  // "S" success, "F" failure.
  virtual bool addExecutionLog(int dsnId, int tableId, const KvbString& task,
                               const KvbString& status, int seconds,
                               const KvbString& message) = 0;
  // Adds a configuration value of a run (JOBCFG).
  virtual bool addRunConfigValue(int runId, const KvbString& key,
                                 const KvbString& value) = 0;
  // Adds a data source of a run (DSN); kind "Y" text file, "S" data set,
  // "N" data source.
  virtual bool addRunDsn(int runId, const KvbString& name,
                         const KvbString& connection, const KvbString& kind,
                         int* key) = 0;
  // Adds a table of a run's data source (TBL) without its row counts.
  virtual bool addRunTable(int dsnId, const KvbString& catalog,
                           const KvbString& schema, const KvbString& name,
                           const KvbString& filterName,
                           const KvbString& filterExpression,
                           const KvbString& filterSql, int sampleInterval,
                           int* key) = 0;
  // Adds a note ('N') or task ('T') on a run's table (TBLNOT), dated now.
  virtual bool addTableNote(int tableId, char type, const KvbString& user,
                            const KvbString& note, int categoryId,
                            int* key) = 0;
  // Adds a field of a run's table (FLD) with every metric null.
  virtual bool addRunField(int dsnId, int tableId, const KvbString& name,
                           const KvbString& type, int* key) = 0;
  // Adds a note on a run's field (FLDNOT), dated now.
  virtual bool addFieldNote(int fieldId, const KvbString& user,
                            const KvbString& note, int categoryId,
                            int* key) = 0;
  // Add a percentile (PTILE), an outlier (OUTLR: "L" when `low`, else "H"),
  // a property (FLDPRP), a global-category membership (FLDGCM) and a
  // primary/foreign key comparison (PKFK) of a field.
  virtual bool addPercentile(int fieldId, KvbReal interval, KvbReal value) = 0;
  virtual bool addOutlier(int fieldId, bool low, int ordinal,
                          const KvbString& value) = 0;
  virtual bool addFieldProperty(int dsnId, int tableId, int fieldId,
                                const KvbString& name,
                                const KvbString& value) = 0;
  virtual bool addFieldGroup(int fieldId, int categoryId) = 0;
  virtual bool addPkFkResult(int fieldId, int otherFieldId,
                             double percentage) = 0;
  // Adds an alert that fired in a run (ALERT); the texts in column order.
  virtual bool addAlert(int runId, const KvbString& dsn,
                        const KvbString& catalog, const KvbString& schema,
                        const KvbString& table, const KvbString& field,
                        const KvbString& filter, const KvbString& description,
                        const KvbString& rule, const KvbString& error,
                        const KvbString& textFile, const KvbString& type,
                        const KvbString& sourceUid, int* key) = 0;
  // Adds a property of a fired alert (ALPROP).
  virtual bool addAlertProperty(int alertId, const KvbString& name,
                                const KvbString& value) = 0;
  // Adds a chart of a report and run (CHT), type "T" table or "C"
  // category, not edited (CH_EDIT "N").
  virtual bool addChart(int reportId, int runId, const KvbString& name,
                        const KvbString& type, int* key) = 0;
  // Add the table part (CHTTAB), the category part (CHTCAT) and a data
  // parameter (CHTDAT) of a chart.
  virtual bool addChartTable(int chartId, const KvbString& dsn,
                             const KvbString& catalog, const KvbString& schema,
                             const KvbString& table, const KvbString& filter,
                             const KvbString& type) = 0;
  virtual bool addChartCategory(int chartId, int categoryId) = 0;
  virtual bool addChartData(int chartId, const KvbString& parameter,
                            int sequence, const KvbString& value) = 0;
  // Adds a redundancy configuration of a run (RDACFG). A match definition
  // other than -1 must exist, else it is refused with "Match definition
  // <id> does not exist".
  virtual bool addRdaConfig(int runId, const KvbString& name,
                            const KvbString& description, int matchDefinitionId,
                            int* key) = 0;
  // Adds a field to a configuration (FLDRDA) unless it is in it already,
  // whatever run adds it again.
  virtual bool addRdaConfigField(int jobId, int fieldId, int configId) = 0;
  // Adds the comparison of two fields under a configuration (RDARES).
  virtual bool addRdaResult(int runId, int configId, int leftFieldId,
                            int rightFieldId, int leftCount, int leftSum,
                            int rightCount, int rightSum, int distinctMatches,
                            int distinctLeftSum, int distinctRightSum) = 0;
  // Add the output of a custom metric (PCMOUT) and the result of a business
  // rule (PBROUT) computed for a run's table.
  virtual bool addCustomMetricOutput(int tableId, int metricId, int instance,
                                     const KvbString& metricOutput,
                                     const KvbString& outputName,
                                     const KvbString& outputValue,
                                     const KvbString& trailName,
                                     int rowCount) = 0;
  virtual bool addBusinessRuleOutput(int tableId, int ruleId, int instance,
                                     int failureCount,
                                     const KvbString& trailName,
                                     const KvbString& fieldDescription,
                                     int rowCount) = 0;
  // The MATCH row of a key, and the MATCH rows with this content: MC_ID,
  // MC_DEF, MC_SENS, MC_LOC. A sensitivity that is not an integer fails.
  virtual ReposDataAccessCursor* getMatchDefinition(int key) = 0;
  virtual ReposDataAccessCursor* findMatchDefinition(
      const KvbString& definition, const KvbString& sensitivity,
      const KvbString& locale) = 0;

  // --- Reading job definitions --------------------------------------------

  // TFINF rows: TBL_NM, TF_FN, TF_DLIM, TF_TQ, TF_SROWS, TF_RWID, TF_MROWS,
  // TF_TRUNC, TF_EOL, TF_ENC, TF_BOM.
  virtual ReposDataAccessCursor* listTextFileInfos() = 0;
  // The fields of a layout: TFF_FN, TFF_TYPE, TFF_LEN, TFF_SPOS, ordered by
  // TFF_ORD.
  virtual ReposDataAccessCursor* listTextFileFields(
      const KvbString& tableName) = 0;
  // JSETUP rows: SU_ID, SU_NAME, SU_DESC, SU_UUID, SU_CRDAT, SU_EDDAT,
  // SU_CRUSR, SU_EDUSR, FLDR_ID; all, or the one of a key.
  virtual ReposDataAccessCursor* listProfileJobs() = 0;
  virtual ReposDataAccessCursor* getProfileJobById(int jobId) = 0;
  // JSETUP rows by SU_ID when `jobId` is positive, else by SU_UUID when
  // `uuid` is not empty, else by SU_NAME; null when none is given, with the
  // text "No id, UUID or name of a profile job was given". A lookup that
  // fails is tried once more by name when a name is given.
  virtual ReposDataAccessCursor* getProfileJob(int jobId, const KvbString& name,
                                               const KvbString& uuid) = 0;
  // JKEYVL rows of a job: SU_KEY, SU_VAL, SU_ID.
  virtual ReposDataAccessCursor* listJobKeyValues(int jobId) = 0;
  // JDSN rows of a job: DSN_ID, DSN_NAME, DSN_CONN, DSN_TEXT, SU_ID.
  virtual ReposDataAccessCursor* listJobDsns(int jobId) = 0;
  // JTABLE rows of a job source: TBL_ID, DSN_ID, TBL_NAME, TBL_SCH, FLTR,
  // FLTR_E, FLTR_S, SAMP_INT, FNAME, DELIM, TXT_QUAL, SKIP_ROW, REC_WDTH,
  // MAX_ROW, TRUNC, EOL, ENC, USE_BOM, SU_ID, TBL_CAT.
  virtual ReposDataAccessCursor* listJobTables(int dsnId) = 0;
  // JFLD rows of a job table: FLD_ID, DSN_ID, TBL_ID, FLD_NAME, MET_OVRD,
  // ORD_POS, DOM_ID, SU_ID.
  virtual ReposDataAccessCursor* listJobFields(int dsnId, int tableId) = 0;
  // JFLDME rows of a job field: FLD_ID, DSN_ID, TBL_ID, MET_NAME, MET_VAL,
  // SU_ID.
  virtual ReposDataAccessCursor* listJobFieldMetrics(int dsnId, int tableId,
                                                     int fieldId) = 0;
  // JCMDMA rows (SEQ_ID, TBL_ID, CM_NAME, CM_IN, CM_OUT, CM_FLD, CM_TYPE,
  // SU_ID, CM_ID) of one table metric, and of a job table.
  virtual ReposDataAccessCursor* findJobCustomMetricMappings(
      int tableId, int sequenceId, const KvbString& metricName) = 0;
  virtual ReposDataAccessCursor* listJobCustomMetricMappings(int jobId,
                                                             int tableId) = 0;
  // CM_IN of the input mappings ("I") of the table metric whose CM_UID is
  // `metricUid`.
  virtual ReposDataAccessCursor* listCustomMetricInputs(
      const KvbString& metricUid) = 0;
  // JFLDPR rows of a job field: FLD_ID, DSN_ID, TBL_ID, PRP_NAME, PRP_VAL,
  // SU_ID.
  virtual ReposDataAccessCursor* listJobFieldProperties(int dsnId, int tableId,
                                                        int fieldId) = 0;
  // JLNKFL rows of a field (FLD_ID, LNK_DSN, LNK_SCH, LNK_TBL, LNK_NAME,
  // LNK_TYPE, LNK_TEXT, SU_ID, LNK_CAT), of one link type unless it is
  // empty.
  virtual ReposDataAccessCursor* listJobLinkedFields(
      int fieldId, const KvbString& linkType) = 0;
  // JTBLME rows of a job table: SEQ_ID, TBL_ID, CM_NAME, CM_UID, SU_ID,
  // CM_ID.
  virtual ReposDataAccessCursor* listJobTableMetrics(int tableId) = 0;
  // JTBLRU rows of a job table: SEQ_ID, TBL_ID, BR_NAME, LOG_FLAG, LOG_TH,
  // BR_UID, SU_ID, BR_ID.
  virtual ReposDataAccessCursor* listJobTableRules(int tableId) = 0;
  // JTBLMA rows of one table rule: SEQ_ID, TBL_ID, BR_NAME, FLD_NAME,
  // BR_FLD, SU_ID, BR_ID.
  virtual ReposDataAccessCursor* listJobRuleFieldMappings(int tableId,
                                                          int ruleId,
                                                          int sequenceId) = 0;
  // JRCFGS rows (CFG_ID, CFG_NAME, CFG_DESC, MC_DEF, MC_SENS, MC_LOC,
  // SU_ID) of a job, and those equal in name and match-code texts.
  virtual ReposDataAccessCursor* listJobRdaConfigs(int jobId) = 0;
  virtual ReposDataAccessCursor* findJobRdaConfig(
      int jobId, const KvbString& name, const KvbString& matchDefinition,
      const KvbString& sensitivity, const KvbString& locale) = 0;
  // JFRDA rows of a job (CFG_ID, FLD_DSN, FLD_CAT, FLD_SCH, FLD_TBL,
  // FLD_NAME, SU_ID, DSN_TYPE), of one configuration unless it is -1.
  virtual ReposDataAccessCursor* listJobFieldRdaMaps(int jobId,
                                                     int configId) = 0;
  // JGMET rows of a job: MET_NAME, MET_VAL, SU_ID.
  virtual ReposDataAccessCursor* listJobGlobalMetrics(int jobId) = 0;
  // JALERT rows of a job: AL_ID, AL_DSN, AL_SCH, AL_TBL, AL_FLD, AL_FLTR,
  // AL_DESC, AL_RULE, AL_TEXT, AL_TYPE, AL_UID, SU_ID, AL_CAT.
  virtual ReposDataAccessCursor* listJobAlerts(int jobId) = 0;
  // JALPRP rows of an alert: AL_ID, AP_NAME, AP_VAL, SU_ID.
  virtual ReposDataAccessCursor* listJobAlertProperties(int alertId) = 0;
  // JCHART rows of a job: CH_ID, CH_DSN, CH_SCH, CH_TBL, CH_FLD, CH_FLTR,
  // CH_DESC, CH_TEXT, SU_ID, CH_CAT.
  virtual ReposDataAccessCursor* listJobCharts(int jobId) = 0;
  // JCHPRP rows of a chart: CH_ID, CP_NAME, CP_SEQ, CP_VAL, SU_ID.
  virtual ReposDataAccessCursor* listJobChartProperties(int chartId) = 0;

  // REPORT rows of a profile job: RPT_ID, FLDR_ID, RPT_NAME, RPT_CRDT,
  // RPT_MODT, RPT_USER, SU_ID.
  virtual ReposDataAccessCursor* listProfileJobReports(int jobId) = 0;
  // Every JTBLRU row of a job, over all its tables.
  virtual ReposDataAccessCursor* listJobRules(int jobId) = 0;
  // One row per table of each source of a job: DSN_NAME, DSN_CONN, TBL_CAT,
  // TBL_SCH, TBL_NAME, FNAME, DSN_TEXT, TBL_ID.
  virtual ReposDataAccessCursor* listJobSources(int jobId) = 0;

  // --- Reading reports, runs and run sources ------------------------------

  // REPORT rows not linked to a job (SU_ID -1 or null).
  virtual ReposDataAccessCursor* listUnlinkedReports() = 0;
  // The number of runs of a report; -1 on failure.
  virtual int countReportRuns(int reportId) = 0;
  // JOB_ID, JOB_DATE, JOB_DESC of the runs of a report and/or of the
  // reports of a profile job, highest run first. Both -1 is refused with
  // "Must have a report job id or a profile configuration id.".
  virtual ReposDataAccessCursor* listReportRuns(int reportId, int jobId) = 0;
  // The log of a run in the order written: DSN_NAME, TBL_CAT, TBL_SCH,
  // TBL_NM, TBL_FILT, EL_TASK, EL_STAT, EL_SECS, EL_MSG.
  virtual ReposDataAccessCursor* listExecutionLog(int runId) = 0;
  // JC_VALUE of every JOBCFG row of the run and key.
  virtual ReposDataAccessCursor* getRunConfigValue(int runId,
                                                   const KvbString& key) = 0;
  // Every run (all JOB columns: JOB_ID, RPT_ID, JOB_DATE, JOB_DESC) with
  // its report (all REPORT columns) that profiled the table of these exact
  // names, latest run date first.
  virtual ReposDataAccessCursor* findTableRuns(const KvbString& dsn,
                                               const KvbString& catalog,
                                               const KvbString& schema,
                                               const KvbString& table) = 0;
  // The REPORT row of a key.
  virtual ReposDataAccessCursor* getReport(int reportId) = 0;
  // As findTableRuns with each name optional (null), led by DSN_NAME,
  // TBL_CAT, TBL_SCH, TBL_NM and ordered by them, then latest run first.
  virtual ReposDataAccessCursor* findTableRunsMatching(
      const KvbString* dsn, const KvbString* catalog, const KvbString* schema,
      const KvbString* table) = 0;
  // REPORT rows of a folder.
  virtual ReposDataAccessCursor* listFolderReports(int folderId) = 0;
  // DSN_ID, DSN_NAME, DSN_CONN, DSN_TF of the data sources of a run.
  virtual ReposDataAccessCursor* listRunDsns(int runId) = 0;
  // The DSN row of a key: DSN_ID, JOB_ID, DSN_NAME, DSN_CONN, DSN_TF.
  virtual ReposDataAccessCursor* getRunDsn(int dsnId) = 0;
  // TBL rows (DSN_ID, TBL_ID, TBL_SCH, TBL_NM, TBL_FILT, TBL_FEXP,
  // TBL_FSQL, TBL_TROW, TBL_TFLT, TBL_SINT, TBL_CAT) of one data source, or
  // of every source of the run when `dsnId` is -1; ordered by schema and
  // name.
  virtual ReposDataAccessCursor* listRunTables(int runId, int dsnId) = 0;
  // The TBL row of a key.
  virtual ReposDataAccessCursor* getRunTable(int tableId) = 0;

  // --- Reading field results ----------------------------------------------
  // A metric count n reads MET_0 to MET_(n-1); 0 or less reads none, more
  // than 24 is refused.

  // FLD_ID, FLD_NAME, GC_ID, GCNAME, GCDESC of the fields of a run's table
  // that belong to global categories, ordered by field and category name.
  virtual ReposDataAccessCursor* listTableFieldGroups(int tableId) = 0;
  // FLD_ID, FLD_NAME, FLD_TYPE and the metrics of the fields of a run, data
  // source and/or table (each -1 when not given), ordered by name. All
  // three -1 is refused with "Must specify a job id, dsn id, or table id".
  virtual ReposDataAccessCursor* listRunFields(int runId, int dsnId,
                                               int tableId,
                                               int metricCount) = 0;
  // The field of a run with these names, a table matched by name or filter
  // name, and a data source of that kind: FLD_NAME, TBL_SCH, TBL_NM,
  // DSN_CONN, FLD_TYPE, TBL_FILT, TBL_FSQL, DSN_TF, TBL_CAT, DSN_NAME,
  // FLD_ID. An empty schema or catalog does not restrict.
  virtual ReposDataAccessCursor* findFieldSource(
      int runId, const KvbString& dsn, const KvbString& catalog,
      const KvbString& schema, const KvbString& table, const KvbString& field,
      char kind) = 0;
  // Where a field came from: FLD_NAME, TBL_SCH, TBL_NM, DSN_CONN, FLD_TYPE,
  // TBL_FEXP, TBL_FSQL, DSN_TF, TBL_CAT, DSN_NAME.
  virtual ReposDataAccessCursor* getFieldSource(int fieldId) = 0;
  // JOB_ID, FLD_ID and the metrics of the field of these names in each run
  // from `firstRunId` to `lastRunId`, lowest run first; names as in
  // findFieldSource.
  virtual ReposDataAccessCursor* listFieldMetricHistory(
      int firstRunId, int lastRunId, const KvbString& dsn,
      const KvbString& catalog, const KvbString& schema, const KvbString& table,
      const KvbString& field, char kind, int metricCount) = 0;
  // PT_INTVL, PT_VALUE of a field by interval.
  virtual ReposDataAccessCursor* listPercentiles(int fieldId) = 0;
  // OU_TYPE, OU_ORDNL, OU_VALUE of a field by type and ordinal.
  virtual ReposDataAccessCursor* listOutliers(int fieldId) = 0;
  // PR_VALUE of a field's property.
  virtual ReposDataAccessCursor* getFieldProperty(int fieldId,
                                                  const KvbString& name) = 0;

  // MET_<metricNumber> of a field: one row, or none for a missing field.
  // A number outside 0 to 23 fails.
  virtual ReposDataAccessCursor* getFieldMetric(int fieldId,
                                                int metricNumber) = 0;
  // GC_ID, GCNAME, GCDESC of the groups holding a field of the run and/or
  // the field given, each once, ordered by name.
  virtual ReposDataAccessCursor* listFieldGroups(int runId, int fieldId) = 0;
  // FLD_ID, FLD_NAME, FLD_TYPE, DSN_NAME, TBL_CAT, TBL_SCH, TBL_NM,
  // TBL_FILT and MET_0 up to the metric count, of the fields of a group
  // (required: -1 lists none), of one run when given, ordered by name.
  virtual ReposDataAccessCursor* listGroupFields(int groupId, int runId,
                                                 int metricCount) = 0;
  // The same with PKFK and REDUN (the field's PKFK and FLDRDA rows) before
  // the metrics; the group is optional (each field once per group).
  virtual ReposDataAccessCursor* listGroupFieldsWithCounts(int groupId,
                                                           int metricCount,
                                                           int runId) = 0;

  // The fields a field was compared with as keys: PF_FLDID, FLD_NAME,
  // DSN_NAME, TBL_CAT, TBL_SCH, TBL_NM, PF_PCT.
  virtual ReposDataAccessCursor* listPkFkResults(int fieldId) = 0;

  // Distribution reads (value, count, ...). Value, count, match code and
  // field id of a field's frequencies or match codes (then also MC_ID), in
  // descending count, at most "BASE/REPOS_FREQ_CACHE_MAX" rows when that
  // is a positive number. The values of the other field that the base
  // field lacks (value, count, null). The values of A also in B (both
  // sides' columns, ordered by value). The difference of A and B: in the
  // shared table the values both have (value, count in A, count in B),
  // else the entries of A that B lacks (value, count, null); match codes
  // compare within one definition.
  // PATDST rows of a field. Notes (id, text, user, date, category
  // description, category id) of a table (-1: all; a type of 0: notes and
  // tasks) or a field, in note order, descending when `order` is 1, only
  // those whose category exists. Alerts of a run by AL_ID; an alert's
  // AP_NAME, AP_VALUE by name. Charts of type "C" with their group, and of
  // type "T" with their table, filtered by what is given (-1, an empty
  // text, a type of 0: any), by CH_ID. A chart's CD_PARAM, CD_SEQ,
  // CD_VALUE in that order. Redundancy configurations (RDACFG columns,
  // MC_DEF, MC_SENS, MC_LOC; null without a MATCH row), their FLDRDA rows
  // (a match definition selects through the configuration), and RDARES
  // results of a configuration (a pair in either orientation; swapped,
  // each left/right column pair trades places). Custom-metric and rule
  // outputs per table, per run, across a report's runs by trail name
  // (JOB_ID and JOB_DATE first, by run and table), and by source, table
  // and trail name (schema and catalog when not empty); a rule instance's
  // logged rows (BR_ID, PBR_SEQ, LOG_ID, LOG_DATA; only LOG_ID 0 with
  // firstEntriesOnly) by LOG_ID and piece.
  virtual ReposDataAccessCursor* listValuesOnlyInFirst(int baseFieldId,
                                                       int otherFieldId,
                                                       bool sharedTable) = 0;
  virtual ReposDataAccessCursor* listTableNotes(int tableId, char noteType,
                                                int order) = 0;
  virtual ReposDataAccessCursor* listFieldNotes(int fieldId, int order) = 0;
  virtual ReposDataAccessCursor* listFrequencyDistribution(
      int fieldId, bool sharedTable, bool matchCodes,
      int matchDefinitionId) = 0;
  virtual ReposDataAccessCursor* listCommonValues(int fieldA, int fieldB,
                                                  bool sharedTable,
                                                  bool matchCodes,
                                                  int matchDefinitionId) = 0;
  virtual ReposDataAccessCursor* listDistributionDifference(
      int fieldA, int fieldB, bool sharedTable, bool matchCodes,
      int matchDefinitionId) = 0;
  virtual ReposDataAccessCursor* listPatternDistribution(int fieldId) = 0;
  virtual ReposDataAccessCursor* listRunAlerts(int runId) = 0;
  virtual ReposDataAccessCursor* listAlertProperties(int alertId) = 0;
  virtual ReposDataAccessCursor* listCategoryCharts(const KvbString& name,
                                                    int chartId, int reportId,
                                                    int runId,
                                                    int categoryId) = 0;
  virtual ReposDataAccessCursor* listTableCharts(
      const KvbString& name, int chartId, int reportId, int runId,
      const KvbString& dsn, const KvbString& catalog, const KvbString& schema,
      const KvbString& table, const KvbString& filter, char type) = 0;
  virtual ReposDataAccessCursor* listChartData(int chartId) = 0;
  virtual ReposDataAccessCursor* listRunRdaConfigs(int runId) = 0;
  virtual ReposDataAccessCursor* findRdaConfig(const KvbString& name,
                                               int runId) = 0;
  virtual ReposDataAccessCursor* getRdaConfig(int configId) = 0;
  virtual ReposDataAccessCursor* listFieldRdaConfigs(int fieldId) = 0;
  virtual ReposDataAccessCursor* listRdaConfigFields(int configId) = 0;
  virtual ReposDataAccessCursor* findRdaConfigFields(int matchDefinitionId,
                                                     int fieldId) = 0;
  virtual ReposDataAccessCursor* listRdaResults(int configId, int fieldA,
                                                int fieldB, bool swapSides) = 0;
  virtual ReposDataAccessCursor* listCustomMetricOutputs(int tableId) = 0;
  virtual ReposDataAccessCursor* listCustomMetricHistory(
      int reportId, const KvbString& trailName) = 0;
  virtual ReposDataAccessCursor* findCustomMetricOutputs(
      int runId, const KvbString& dsn, const KvbString& catalog,
      const KvbString& schema, const KvbString& table,
      const KvbString& trailName) = 0;
  virtual ReposDataAccessCursor* listBusinessRuleOutputs(int runId,
                                                         int tableId) = 0;
  virtual ReposDataAccessCursor* listBusinessRuleLog(int tableId, int sequence,
                                                     bool firstEntriesOnly) = 0;
  virtual ReposDataAccessCursor* listBusinessRuleHistory(
      int reportId, const KvbString& trailName) = 0;
  virtual ReposDataAccessCursor* findBusinessRuleOutputs(
      int runId, const KvbString& dsn, const KvbString& catalog,
      const KvbString& schema, const KvbString& table,
      const KvbString& trailName) = 0;

  // One row per field of a run's table: FLD_ID, FLD_NAME, FLD_TYPE, PKFK
  // (its PKFK rows), REDUN (its FLDRDA rows) and the metrics, ordered by
  // name.
  virtual ReposDataAccessCursor* listTableFieldSummary(int tableId,
                                                       int metricCount) = 0;
  // TBL_ID, TN_NOTE of the tasks ("T") on the tables of a run.
  virtual ReposDataAccessCursor* listRunTableNotes(int runId) = 0;

  // Deleting a configuration leaves its fields and results. Deletes and
  // updates of rows that do not exist are no failure; an update refuses a
  // match definition as addRdaConfig does.
  virtual bool deleteRdaConfig(int configId) = 0;
  virtual bool updateRdaConfig(int configId, const KvbString& name,
                               const KvbString& description,
                               int matchDefinitionId) = 0;
  virtual bool deleteRdaConfigField(int configId, int fieldId) = 0;
  virtual bool deleteRdaConfigFields(int configId) = 0;
  virtual bool hasRdaConfigField(int configId, int fieldId) = 0;

  // True with the DSN_ID of the job's first data source of this name;
  // false, leaving `dsnId` as it was, when there is none (text `Profile job
  // <id> has no data source named "<name>"`, not logged).
  virtual bool findJobDsnId(int jobId, const KvbString& name, int* dsnId) = 0;
  // True with the TBL_ID of the job's first table that matches every
  // criterion given: a DSN id above 0 and the texts that are not empty.
  // False, leaving `tableId` as it was, when there is none (text "Profile
  // job <id> has no table that matches the criteria given", not logged).
  virtual bool findJobTableId(int jobId, int dsnId, const KvbString& catalog,
                              const KvbString& schema,
                              const KvbString& tableName,
                              const KvbString& filterName,
                              const KvbString& filterExpression,
                              const KvbString& filterSql,
                              const KvbString& fileName, int* tableId) = 0;

  // Deletes, updates and counts. A missing row is no failure. Counts and
  // totals larger than an int report INT_MAX; null out-parameters are
  // skipped; two fields compare the value sets of those fields (first,
  // second). compareFrequencyCounts answers false, storing zeros, when
  // the first field has no rows. deleteProfileJob deletes a job's definition,
  // every report of it with their runs (as deleteReportRuns deletes them,
  // frequency tables included) in one transaction, and posts a URI event
  // (change type 1, objectType "ProfileJob") when its path can be built.
  // updateProfileJob posts a rename event, or a change event (type 2) for
  // an unchanged name, only outside a transaction; of a job that does not
  // exist it answers true and writes, posts and logs nothing, and
  // getErrorMessage() then gives "Profile job <id> does not exist" (not
  // logged), which tells it from a job that was updated (a folder that
  // does not exist is refused all the same). deleteReportRuns
  // deletes the runs of a report in [fromRunId, toRunId] (-1: open) with
  // everything they wrote (their charts included) in one transaction,
  // with `deleteReport` the report and all its charts too, and drops in
  // that transaction the frequency tables of the runs that did not use
  // FRQDST (JOBCFG "SAME_FREQ_TABLE" not above 0); a table that cannot be
  // dropped fails the deletion.
  // updateReport stamps RPT_MODT and writes the values given (-1 and empty
  // texts: kept); it and updateProfileJob refuse a folder that does not
  // exist. updateProfileJob refuses a name that another job of the folder
  // it writes has, as addProfileJob does ("Cannot give profile job <id> the
  // name "<name>": The folder holds a profile job of this name already.");
  // the job's own name is no conflict. setFieldMetric refuses a
  // number outside 0 to 23.
  // Renaming a chart marks it edited ("Y"); deleteRunCharts deletes the
  // charts of a run (CHT.JOB_ID) with their data and details.
  virtual bool deleteRdaResultPair(int leftFieldId, int rightFieldId) = 0;
  virtual bool countValuesOnlyInSecond(int, int, int* count, int* total) = 0;
  virtual bool compareFrequencyCounts(int, int, int* rows, int* totalFirst,
                                      int* bothRows, int* bothTotalFirst,
                                      int* bothTotalSecond) = 0;
  virtual bool deleteTextFileInfo(const KvbString& tableName) = 0;
  virtual bool hasJobFieldRdaMap(int jobId, const KvbString& dsn,
                                 const KvbString& catalog,
                                 const KvbString& schema,
                                 const KvbString& table,
                                 const KvbString& field) = 0;
  virtual bool deleteProfileJobDetails(int jobId) = 0;
  virtual bool deleteProfileJob(int jobId) = 0;
  virtual bool updateReportProfileJob(int jobId, int reportId) = 0;
  virtual bool updateProfileJob(int jobId, const KvbString& name,
                                const KvbString& description,
                                KvbDate editedDate, const KvbString& editedUser,
                                int folderId) = 0;
  virtual bool hasProfileJob(const KvbString& name, int folderId) = 0;
  virtual bool deleteReportRuns(int fromRunId, int toRunId, int reportId,
                                bool deleteReport) = 0;
  virtual bool deleteTableNote(int noteId) = 0;
  virtual bool updateReport(int reportId, int folderId, const KvbString& name,
                            const KvbString& user, int jobId) = 0;
  virtual bool setTableRowCounts(int tableId, int rowCount,
                                 int filteredCount) = 0;
  virtual bool setFieldMetric(int fieldId, int metricNumber,
                              const KvbDatavar& value) = 0;
  virtual bool deleteFieldNote(int noteId) = 0;
  virtual bool deleteFieldProperty(int fieldId, const KvbString& name) = 0;
  virtual bool deleteFieldGroup(int fieldId, int categoryId) = 0;
  virtual bool deletePkFkResult(int fieldId, int otherFieldId) = 0;
  virtual bool renameChart(int chartId, const KvbString& name) = 0;
  virtual bool updateCategoryChart(int chartId, const KvbString& name,
                                   int categoryId) = 0;
  virtual bool updateChartTable(int chartId, const KvbString& dsn,
                                const KvbString& catalog,
                                const KvbString& schema, const KvbString& table,
                                const KvbString& filter,
                                const KvbString& type) = 0;
  virtual bool deleteRunCharts(int runId) = 0;
  virtual bool deleteChart(int chartId) = 0;
  virtual bool deleteChartData(int chartId) = 0;
  // As updateRdaConfig, under another name.
  virtual bool updateRedundantDataConfig(int configId, const KvbString& name,
                                         const KvbString& description,
                                         int matchDefinitionId) = 0;
  virtual bool deleteRedundantDataConfig(int configId) = 0;
  virtual bool deleteRedundantDataFields(int configId, int fieldId) = 0;
  virtual bool deleteMatchCodeDistribution(int fieldId) = 0;
  virtual bool deleteRedundantDataResults(int configId, int leftFieldId,
                                          int rightFieldId) = 0;
  virtual bool getDistributionStatistics(int fieldA, int fieldB,
                                         bool matchCodes, int, bool sharedTable,
                                         int* distinctA, int* totalA,
                                         int* distinctB, int* totalB,
                                         int* commonCount, int* commonTotalA,
                                         int* commonTotalB) = 0;
  virtual bool countFrequencyRows(int fieldId, bool sharedTable,
                                  int* count) = 0;
  virtual bool sumFrequencyCounts(int fieldId, bool sharedTable,
                                  int* total) = 0;
  virtual bool countPatternRows(int fieldId, int* count) = 0;
  virtual bool beginFrequencyLoad(int fieldId, bool sharedTable,
                                  int batchSize) = 0;
  virtual bool beginPatternLoad(int batchSize) = 0;
  virtual bool beginMatchCodeLoad(int batchSize) = 0;
  virtual bool addFrequencyRow(int fieldId, const KvbString& value,
                               const KvbString& matchCode, int64_t count) = 0;
  virtual bool addPatternRow(int fieldId, const KvbString& pattern,
                             int64_t count) = 0;
  virtual bool addMatchCodeRow(int fieldId, const KvbString& value,
                               const KvbString& matchCode, int64_t count,
                               int matchDefinitionId) = 0;
  virtual bool endFrequencyLoad(int fieldId) = 0;
  virtual bool endPatternLoad(int) = 0;
  virtual bool endMatchCodeLoad(int) = 0;
  virtual bool beginRuleLogLoad() = 0;
  virtual bool addRuleLogRow(int tableId, int ruleId, int ruleInstance,
                             int logId, int logSequence,
                             const KvbString& logData) = 0;
  virtual bool endRuleLogLoad() = 0;
};

#endif  // REPOSADMIN_PROFILE_DATA_ACCESS_H_
