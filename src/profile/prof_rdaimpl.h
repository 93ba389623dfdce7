// ProfileRDAImpl: the profile data-access object on one repository
// connection: profile job definitions, match definitions, text-file
// layouts, reports, runs and their per-table and per-field results, the
// value distributions of their fields with the loads that store them, and
// the cascade that deletes runs. The object keeps the state of its open
// loads and ends them when it goes.
#ifndef PROFILE_PROF_RDAIMPL_H_
#define PROFILE_PROF_RDAIMPL_H_

#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

#include "access/base_rdaimpl.h"
#include "reposadmin/profile_data_access.h"

// A column of a distribution load (defined with the loads), and a kind of
// run output (defined with the output reads).
struct LoadColumn;
struct OutputKind;

// An id argument of a job-definition write and the row that it names:
// what the row is called in a refusal ("job table"), its table and id
// column, and the columns that tie it to the other ids of the call (the
// job, data source and table that it must belong to).
struct JobRef {
  const char* kind;
  const char* code;
  const char* idColumn;
  int id;
  SqlFields scope;
};

class ProfileRDAImpl : public RDA_Object<ProfileRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null.
  explicit ProfileRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}
  // Rolls back every load still open.
  ~ProfileRDAImpl() override;
  void release() override;

  // --- Match definitions and text-file layouts ---
  bool addMatchDefinition(const KvbString& definition,
                          const KvbString& sensitivity, const KvbString& locale,
                          int* key) override;
  bool addTextFileInfo(const KvbString& tableName, const KvbString& fileName,
                       const KvbString& delimiter, const KvbString& qualifier,
                       int skipRows, int recordWidth, int maxRows,
                       bool truncate, int endOfLine, int encoding,
                       bool byteOrderMark) override;
  bool addTextFileField(const KvbString& tableName, const KvbString& fieldName,
                        const KvbString& fieldType, int length,
                        int startPosition, int order) override;

  // --- Job definitions ---
  int addProfileJob(const KvbString& name, const KvbString& description,
                    const KvbString& uuid, double createdDate,
                    double editedDate, const KvbString& createdUser,
                    const KvbString& editedUser, int folderId) override;
  bool addJobKeyValue(int jobId, const KvbString& key,
                      const KvbString& value) override;
  int addJobRdaConfig(int jobId, const KvbString& name,
                      const KvbString& description,
                      const KvbString& matchDefinition,
                      const KvbString& sensitivity,
                      const KvbString& locale) override;
  int addJobDsn(int jobId, const KvbString& name, const KvbString& connection,
                const KvbString& textFile) override;
  int addJobTable(int jobId, int dsnId, const KvbString& catalog,
                  const KvbString& schema, const KvbString& tableName,
                  const KvbString& filterName,
                  const KvbString& filterExpression, const KvbString& filterSql,
                  int sampleInterval, const KvbString& fileName,
                  const KvbString& delimiter, const KvbString& qualifier,
                  int skipRows, int recordWidth, int maxRows,
                  const KvbString& truncate, int endOfLine, int encoding,
                  const KvbString& byteOrderMark) override;
  int addJobField(int jobId, int dsnId, int tableId, const KvbString& name,
                  const KvbString& metricOverride, int position) override;
  bool addJobFieldRdaMap(int jobId, int configId, const KvbString& dsn,
                         const KvbString& catalog, const KvbString& schema,
                         const KvbString& table, const KvbString& field,
                         const KvbString& dsnType) override;
  bool addJobFieldMetric(int jobId, int dsnId, int tableId, int fieldId,
                         const KvbString& name,
                         const KvbString& value) override;
  bool addJobFieldProperty(int jobId, int dsnId, int tableId, int fieldId,
                           const KvbString& name,
                           const KvbString& value) override;
  bool addJobLinkedField(int jobId, int fieldId, const KvbString& dsn,
                         const KvbString& catalog, const KvbString& schema,
                         const KvbString& table, const KvbString& name,
                         const KvbString& type, const KvbString& text) override;
  int addJobTableMetric(int jobId, int tableId, int metricId,
                        const KvbString& metricName,
                        const KvbString& metricUid) override;
  bool addJobCustomMetricMapping(int jobId, int sequenceId, int tableId,
                                 int metricId, const KvbString& metricName,
                                 const KvbString& input,
                                 const KvbString& output,
                                 const KvbString& metricField,
                                 const KvbString& type) override;
  int addJobTableRule(int jobId, int tableId, int ruleId,
                      const KvbString& ruleName, int logFlag, int logThreshold,
                      const KvbString& ruleUid) override;
  bool addJobRuleFieldMapping(int jobId, int sequenceId, int tableId,
                              int ruleId, const KvbString& ruleName,
                              const KvbString& fieldName,
                              const KvbString& ruleField) override;
  bool addJobGlobalMetric(int jobId, const KvbString& name,
                          const KvbString& value) override;
  int addJobAlert(int jobId, const KvbString& dsn, const KvbString& catalog,
                  const KvbString& schema, const KvbString& table,
                  const KvbString& field, const KvbString& filter,
                  const KvbString& description, const KvbString& rule,
                  const KvbString& textFile, const KvbString& type,
                  const KvbString& uid) override;
  bool setJobAlertProperty(int jobId, int alertId, const KvbString& name,
                           const KvbString& value) override;
  int addJobChart(int jobId, const KvbString& dsn, const KvbString& catalog,
                  const KvbString& schema, const KvbString& table,
                  const KvbString& field, const KvbString& filter,
                  const KvbString& description,
                  const KvbString& textFile) override;
  bool addJobChartProperty(int jobId, int chartId, const KvbString& name,
                           int sequence, const KvbString& value) override;

  // --- Reports, runs and their results ---
  bool setReportProfileJob(int jobId, int reportId) override;
  bool addJobCustomMetricFieldMapping(int jobId, int tableId, int metricId,
                                      int sequenceId,
                                      const KvbString& metricName,
                                      const KvbString& input,
                                      const KvbString& output,
                                      const KvbString& metricField,
                                      const KvbString& type) override;
  bool addReport(int jobId, int folderId, const KvbString& name, double date,
                 const KvbString& user, int* key) override;
  bool addReportRun(const KvbString& description, double date, int reportId,
                    int* key) override;
  bool addExecutionLog(int dsnId, int tableId, const KvbString& task,
                       const KvbString& status, int seconds,
                       const KvbString& message) override;
  bool addRunConfigValue(int runId, const KvbString& key,
                         const KvbString& value) override;
  bool addRunDsn(int runId, const KvbString& name, const KvbString& connection,
                 const KvbString& kind, int* key) override;
  bool addRunTable(int dsnId, const KvbString& catalog, const KvbString& schema,
                   const KvbString& name, const KvbString& filterName,
                   const KvbString& filterExpression,
                   const KvbString& filterSql, int sampleInterval,
                   int* key) override;
  bool addTableNote(int tableId, char type, const KvbString& user,
                    const KvbString& note, int categoryId, int* key) override;
  bool addRunField(int dsnId, int tableId, const KvbString& name,
                   const KvbString& type, int* key) override;
  bool addFieldNote(int fieldId, const KvbString& user, const KvbString& note,
                    int categoryId, int* key) override;
  bool addPercentile(int fieldId, KvbReal interval, KvbReal value) override;
  bool addOutlier(int fieldId, bool low, int ordinal,
                  const KvbString& value) override;
  bool addFieldProperty(int dsnId, int tableId, int fieldId,
                        const KvbString& name, const KvbString& value) override;
  bool addFieldGroup(int fieldId, int categoryId) override;
  bool addPkFkResult(int fieldId, int otherFieldId, double percentage) override;
  bool addAlert(int runId, const KvbString& dsn, const KvbString& catalog,
                const KvbString& schema, const KvbString& table,
                const KvbString& field, const KvbString& filter,
                const KvbString& description, const KvbString& rule,
                const KvbString& error, const KvbString& textFile,
                const KvbString& type, const KvbString& sourceUid,
                int* key) override;
  bool addAlertProperty(int alertId, const KvbString& name,
                        const KvbString& value) override;
  bool addChart(int reportId, int runId, const KvbString& name,
                const KvbString& type, int* key) override;
  bool addChartTable(int chartId, const KvbString& dsn,
                     const KvbString& catalog, const KvbString& schema,
                     const KvbString& table, const KvbString& filter,
                     const KvbString& type) override;
  bool addChartCategory(int chartId, int categoryId) override;
  bool addChartData(int chartId, const KvbString& parameter, int sequence,
                    const KvbString& value) override;
  bool addRdaConfig(int runId, const KvbString& name,
                    const KvbString& description, int matchDefinitionId,
                    int* key) override;
  bool addRdaConfigField(int jobId, int fieldId, int configId) override;
  bool addRdaResult(int runId, int configId, int leftFieldId, int rightFieldId,
                    int leftCount, int leftSum, int rightCount, int rightSum,
                    int distinctMatches, int distinctLeftSum,
                    int distinctRightSum) override;
  bool addCustomMetricOutput(int tableId, int metricId, int instance,
                             const KvbString& metricOutput,
                             const KvbString& outputName,
                             const KvbString& outputValue,
                             const KvbString& trailName, int rowCount) override;
  bool addBusinessRuleOutput(int tableId, int ruleId, int instance,
                             int failureCount, const KvbString& trailName,
                             const KvbString& fieldDescription,
                             int rowCount) override;
  ReposDataAccessCursor* getMatchDefinition(int key) override;
  ReposDataAccessCursor* findMatchDefinition(const KvbString& definition,
                                             const KvbString& sensitivity,
                                             const KvbString& locale) override;

  // --- Reading job definitions ---
  ReposDataAccessCursor* listTextFileInfos() override;
  ReposDataAccessCursor* listTextFileFields(
      const KvbString& tableName) override;
  ReposDataAccessCursor* listProfileJobs() override;
  ReposDataAccessCursor* getProfileJobById(int jobId) override;
  ReposDataAccessCursor* getProfileJob(int jobId, const KvbString& name,
                                       const KvbString& uuid) override;
  ReposDataAccessCursor* listJobKeyValues(int jobId) override;
  ReposDataAccessCursor* listJobDsns(int jobId) override;
  ReposDataAccessCursor* listJobTables(int dsnId) override;
  ReposDataAccessCursor* listJobFields(int dsnId, int tableId) override;
  ReposDataAccessCursor* listJobFieldMetrics(int dsnId, int tableId,
                                             int fieldId) override;
  ReposDataAccessCursor* findJobCustomMetricMappings(
      int tableId, int sequenceId, const KvbString& metricName) override;
  ReposDataAccessCursor* listJobCustomMetricMappings(int jobId,
                                                     int tableId) override;
  ReposDataAccessCursor* listCustomMetricInputs(
      const KvbString& metricUid) override;
  ReposDataAccessCursor* listJobFieldProperties(int dsnId, int tableId,
                                                int fieldId) override;
  ReposDataAccessCursor* listJobLinkedFields(
      int fieldId, const KvbString& linkType) override;
  ReposDataAccessCursor* listJobTableMetrics(int tableId) override;
  ReposDataAccessCursor* listJobTableRules(int tableId) override;
  ReposDataAccessCursor* listJobRuleFieldMappings(int tableId, int ruleId,
                                                  int sequenceId) override;
  ReposDataAccessCursor* listJobRdaConfigs(int jobId) override;
  ReposDataAccessCursor* findJobRdaConfig(int jobId, const KvbString& name,
                                          const KvbString& matchDefinition,
                                          const KvbString& sensitivity,
                                          const KvbString& locale) override;
  ReposDataAccessCursor* listJobFieldRdaMaps(int jobId, int configId) override;
  ReposDataAccessCursor* listJobGlobalMetrics(int jobId) override;
  ReposDataAccessCursor* listJobAlerts(int jobId) override;
  ReposDataAccessCursor* listJobAlertProperties(int alertId) override;
  ReposDataAccessCursor* listJobCharts(int jobId) override;
  ReposDataAccessCursor* listJobChartProperties(int chartId) override;
  ReposDataAccessCursor* listProfileJobReports(int jobId) override;
  ReposDataAccessCursor* listJobRules(int jobId) override;
  ReposDataAccessCursor* listJobSources(int jobId) override;

  // --- Reading reports, runs and results ---
  ReposDataAccessCursor* listUnlinkedReports() override;
  int countReportRuns(int reportId) override;
  ReposDataAccessCursor* listReportRuns(int reportId, int jobId) override;
  ReposDataAccessCursor* listExecutionLog(int runId) override;
  ReposDataAccessCursor* getRunConfigValue(int runId,
                                           const KvbString& key) override;
  ReposDataAccessCursor* findTableRuns(const KvbString& dsn,
                                       const KvbString& catalog,
                                       const KvbString& schema,
                                       const KvbString& table) override;
  ReposDataAccessCursor* getReport(int reportId) override;
  ReposDataAccessCursor* findTableRunsMatching(const KvbString* dsn,
                                               const KvbString* catalog,
                                               const KvbString* schema,
                                               const KvbString* table) override;
  ReposDataAccessCursor* listFolderReports(int folderId) override;
  ReposDataAccessCursor* listRunDsns(int runId) override;
  ReposDataAccessCursor* getRunDsn(int dsnId) override;
  ReposDataAccessCursor* listRunTables(int runId, int dsnId) override;
  ReposDataAccessCursor* getRunTable(int tableId) override;
  ReposDataAccessCursor* listTableFieldGroups(int tableId) override;
  ReposDataAccessCursor* listRunFields(int runId, int dsnId, int tableId,
                                       int metricCount) override;
  ReposDataAccessCursor* findFieldSource(int runId, const KvbString& dsn,
                                         const KvbString& catalog,
                                         const KvbString& schema,
                                         const KvbString& table,
                                         const KvbString& field,
                                         char kind) override;
  ReposDataAccessCursor* getFieldSource(int fieldId) override;
  ReposDataAccessCursor* listFieldMetricHistory(
      int firstRunId, int lastRunId, const KvbString& dsn,
      const KvbString& catalog, const KvbString& schema, const KvbString& table,
      const KvbString& field, char kind, int metricCount) override;
  ReposDataAccessCursor* listPercentiles(int fieldId) override;
  ReposDataAccessCursor* listOutliers(int fieldId) override;
  ReposDataAccessCursor* getFieldProperty(int fieldId,
                                          const KvbString& name) override;
  ReposDataAccessCursor* getFieldMetric(int fieldId, int metricNumber) override;
  ReposDataAccessCursor* listFieldGroups(int runId, int fieldId) override;
  ReposDataAccessCursor* listGroupFields(int groupId, int runId,
                                         int metricCount) override;
  ReposDataAccessCursor* listGroupFieldsWithCounts(int groupId, int metricCount,
                                                   int runId) override;
  ReposDataAccessCursor* listPkFkResults(int fieldId) override;
  ReposDataAccessCursor* listValuesOnlyInFirst(int baseFieldId,
                                               int otherFieldId,
                                               bool sharedTable) override;
  ReposDataAccessCursor* listTableNotes(int tableId, char noteType,
                                        int order) override;
  ReposDataAccessCursor* listFieldNotes(int fieldId, int order) override;
  ReposDataAccessCursor* listFrequencyDistribution(
      int fieldId, bool sharedTable, bool matchCodes,
      int matchDefinitionId) override;
  ReposDataAccessCursor* listCommonValues(int fieldA, int fieldB,
                                          bool sharedTable, bool matchCodes,
                                          int matchDefinitionId) override;
  ReposDataAccessCursor* listDistributionDifference(
      int fieldA, int fieldB, bool sharedTable, bool matchCodes,
      int matchDefinitionId) override;
  ReposDataAccessCursor* listPatternDistribution(int fieldId) override;
  ReposDataAccessCursor* listRunAlerts(int runId) override;
  ReposDataAccessCursor* listAlertProperties(int alertId) override;
  ReposDataAccessCursor* listCategoryCharts(const KvbString& name, int chartId,
                                            int reportId, int runId,
                                            int categoryId) override;
  ReposDataAccessCursor* listTableCharts(
      const KvbString& name, int chartId, int reportId, int runId,
      const KvbString& dsn, const KvbString& catalog, const KvbString& schema,
      const KvbString& table, const KvbString& filter, char type) override;
  ReposDataAccessCursor* listChartData(int chartId) override;
  ReposDataAccessCursor* listRunRdaConfigs(int runId) override;
  ReposDataAccessCursor* findRdaConfig(const KvbString& name,
                                       int runId) override;
  ReposDataAccessCursor* getRdaConfig(int configId) override;
  ReposDataAccessCursor* listFieldRdaConfigs(int fieldId) override;
  ReposDataAccessCursor* listRdaConfigFields(int configId) override;
  ReposDataAccessCursor* findRdaConfigFields(int matchDefinitionId,
                                             int fieldId) override;
  ReposDataAccessCursor* listRdaResults(int configId, int fieldA, int fieldB,
                                        bool swapSides) override;
  ReposDataAccessCursor* listCustomMetricOutputs(int tableId) override;
  ReposDataAccessCursor* listCustomMetricHistory(
      int reportId, const KvbString& trailName) override;
  ReposDataAccessCursor* findCustomMetricOutputs(
      int runId, const KvbString& dsn, const KvbString& catalog,
      const KvbString& schema, const KvbString& table,
      const KvbString& trailName) override;
  ReposDataAccessCursor* listBusinessRuleOutputs(int runId,
                                                 int tableId) override;
  ReposDataAccessCursor* listBusinessRuleLog(int tableId, int sequence,
                                             bool firstEntriesOnly) override;
  ReposDataAccessCursor* listBusinessRuleHistory(
      int reportId, const KvbString& trailName) override;
  ReposDataAccessCursor* findBusinessRuleOutputs(
      int runId, const KvbString& dsn, const KvbString& catalog,
      const KvbString& schema, const KvbString& table,
      const KvbString& trailName) override;
  ReposDataAccessCursor* listTableFieldSummary(int tableId,
                                               int metricCount) override;
  ReposDataAccessCursor* listRunTableNotes(int runId) override;
  bool deleteRdaConfig(int configId) override;
  bool updateRdaConfig(int configId, const KvbString& name,
                       const KvbString& description,
                       int matchDefinitionId) override;
  bool deleteRdaConfigField(int configId, int fieldId) override;
  bool deleteRdaConfigFields(int configId) override;
  bool hasRdaConfigField(int configId, int fieldId) override;
  bool findJobDsnId(int jobId, const KvbString& name, int* dsnId) override;
  bool findJobTableId(int jobId, int dsnId, const KvbString& catalog,
                      const KvbString& schema, const KvbString& tableName,
                      const KvbString& filterName,
                      const KvbString& filterExpression,
                      const KvbString& filterSql, const KvbString& fileName,
                      int* tableId) override;
  bool deleteRdaResultPair(int leftFieldId, int rightFieldId) override;
  bool countValuesOnlyInSecond(int, int, int* count, int* total) override;
  bool compareFrequencyCounts(int, int, int* rows, int* totalFirst,
                              int* bothRows, int* bothTotalFirst,
                              int* bothTotalSecond) override;
  bool deleteTextFileInfo(const KvbString& tableName) override;
  bool hasJobFieldRdaMap(int jobId, const KvbString& dsn,
                         const KvbString& catalog, const KvbString& schema,
                         const KvbString& table,
                         const KvbString& field) override;
  bool deleteProfileJobDetails(int jobId) override;
  bool deleteProfileJob(int jobId) override;
  bool updateReportProfileJob(int jobId, int reportId) override;
  bool updateProfileJob(int jobId, const KvbString& name,
                        const KvbString& description, KvbDate editedDate,
                        const KvbString& editedUser, int folderId) override;
  bool hasProfileJob(const KvbString& name, int folderId) override;
  bool deleteReportRuns(int fromRunId, int toRunId, int reportId,
                        bool deleteReport) override;
  bool deleteTableNote(int noteId) override;
  bool updateReport(int reportId, int folderId, const KvbString& name,
                    const KvbString& user, int jobId) override;
  bool setTableRowCounts(int tableId, int rowCount, int filteredCount) override;
  bool setFieldMetric(int fieldId, int metricNumber,
                      const KvbDatavar& value) override;
  bool deleteFieldNote(int noteId) override;
  bool deleteFieldProperty(int fieldId, const KvbString& name) override;
  bool deleteFieldGroup(int fieldId, int categoryId) override;
  bool deletePkFkResult(int fieldId, int otherFieldId) override;
  bool renameChart(int chartId, const KvbString& name) override;
  bool updateCategoryChart(int chartId, const KvbString& name,
                           int categoryId) override;
  bool updateChartTable(int chartId, const KvbString& dsn,
                        const KvbString& catalog, const KvbString& schema,
                        const KvbString& table, const KvbString& filter,
                        const KvbString& type) override;
  bool deleteRunCharts(int runId) override;
  bool deleteChart(int chartId) override;
  bool deleteChartData(int chartId) override;
  bool updateRedundantDataConfig(int configId, const KvbString& name,
                                 const KvbString& description,
                                 int matchDefinitionId) override;
  bool deleteRedundantDataConfig(int configId) override;
  bool deleteRedundantDataFields(int configId, int fieldId) override;
  bool deleteMatchCodeDistribution(int fieldId) override;
  bool deleteRedundantDataResults(int configId, int leftFieldId,
                                  int rightFieldId) override;
  bool getDistributionStatistics(int fieldA, int fieldB, bool matchCodes, int,
                                 bool sharedTable, int* distinctA, int* totalA,
                                 int* distinctB, int* totalB, int* commonCount,
                                 int* commonTotalA, int* commonTotalB) override;
  bool countFrequencyRows(int fieldId, bool sharedTable, int* count) override;
  bool sumFrequencyCounts(int fieldId, bool sharedTable, int* total) override;
  bool countPatternRows(int fieldId, int* count) override;
  bool beginFrequencyLoad(int fieldId, bool sharedTable,
                          int batchSize) override;
  bool beginPatternLoad(int batchSize) override;
  bool beginMatchCodeLoad(int batchSize) override;
  bool addFrequencyRow(int fieldId, const KvbString& value,
                       const KvbString& matchCode, int64_t count) override;
  bool addPatternRow(int fieldId, const KvbString& pattern,
                     int64_t count) override;
  bool addMatchCodeRow(int fieldId, const KvbString& value,
                       const KvbString& matchCode, int64_t count,
                       int matchDefinitionId) override;
  bool endFrequencyLoad(int fieldId) override;
  bool endPatternLoad(int) override;
  bool endMatchCodeLoad(int) override;
  bool beginRuleLogLoad() override;
  bool addRuleLogRow(int tableId, int ruleId, int ruleInstance, int logId,
                     int logSequence, const KvbString& logData) override;
  bool endRuleLogLoad() override;

 private:
  // A job's name within its folder as a unique key, refused with "Cannot
  // add the profile job "<name>": " by an add (`jobId` -1) and with
  // "Cannot give profile job <id> the name "<name>": " by an update, each
  // followed by "The folder holds a profile job of this name already."
  static UniqueKey jobName(const KvbString& name, int folderId, int jobId);
  // True when every ref names a row within its scope; else refused with
  // "<Kind> <id> does not exist" for the first that does not, a row of
  // another job counting as none. False when a lookup fails.
  bool jobRowsExist(const std::vector<JobRef>& refs);
  // `write` of a job-definition row, and its insert() and findOrAdd(), as
  // one unit with the check that the rows its ids name exist
  // (jobRowsExist), so that none of them can go between the check and the
  // write.
  bool writeUnder(const std::vector<JobRef>& refs,
                  const std::function<bool()>& write);
  bool insertUnder(const std::vector<JobRef>& refs, const char* code,
                   const SqlFields& columns);
  // findOrAddUnder matches a row on every one of `keys` and `texts`; a
  // text compares a missing one as the empty one, and a value that the
  // database refuses is named by its column. Without an id column the row
  // has no key, and the answer is 0.
  int findOrAddUnder(const std::vector<JobRef>& refs, const char* code,
                     const char* idColumn, const SqlFields& keys,
                     const SqlFields& columns, const SqlFields& texts = {});
  // True for match definition -1 (none) and for one that exists; else
  // refused with "Match definition <id> does not exist". False when the
  // lookup fails.
  bool matchDefinitionKnown(int matchDefinitionId);
  // Adds a row whose key, `idColumn`, comes from the id counter named by
  // the table code, followed by `columns`; `key` (when given) receives it
  // on success.
  bool addKeyed(const char* code, const char* idColumn,
                const SqlFields& columns, int* key);
  // The key of the row of `code` that matches every one of `keys`, or of a
  // new row (keyed as addKeyed) when none does; -1 on failure.
  int findOrAdd(const char* code, const char* idColumn, const SqlFields& keys,
                const SqlFields& columns);
  // ", <alias>MET_0, ..." for a metric count; false, with the reason, for a
  // count above the 24 metric columns.
  bool metricColumns(int metricCount, const char* alias, KvbString& columns);
  // The integer of a match sensitivity text; false, with the reason, when
  // it is not one.
  bool matchSensitivity(const KvbString& text, int& value);

  // The quoted name of a field's own frequency table.
  KvbString fieldTable(int fieldId);
  // Runs a query of one row and writes its columns, in order, to the
  // outputs that are not null, as numbers held to what an int holds; a
  // query without a row writes zeros. False, writing nothing, when the
  // query fails.
  bool numbers(const KvbString& sql, const std::vector<KvbDatavar>& values,
               std::initializer_list<int*> outs);

  // FLD holds the metric columns MET_0 to MET_23.
  static constexpr int kMetricColumns = 24;
  // Deletes the rows of `code` that match every term ("COLUMN=?" with its
  // id); a term whose id is -1 is left out, except the first, which always
  // applies.
  bool deleteWhere(const char* code,
                   std::initializer_list<std::pair<const char*, int>> terms);
  // The redundant-data configurations that match `condition` (on RDACFG
  // as "a"), each with its match definition's name, sensitivity and
  // locale.
  ReposDataAccessCursor* configsWhere(const char* condition,
                                      const std::vector<KvbDatavar>& values);
  // The custom-metric or rule outputs of every run of a report under one
  // trail name, ordered by run and table.
  ReposDataAccessCursor* outputHistory(const OutputKind& kind, int reportId,
                                       const KvbString& trailName);
  // The outputs of a run's table found by data source, table and trail
  // name, and by schema and catalog when given.
  ReposDataAccessCursor* findOutputs(const OutputKind& kind, int runId,
                                     const KvbString& dsn,
                                     const KvbString& catalog,
                                     const KvbString& schema,
                                     const KvbString& tableName,
                                     const KvbString& trailName);
  // The notes of `code` (TBLNOT or FLDNOT, columns led by `key`, "TN" or
  // "FN") with their category, matching `terms`, by note id (descending
  // when `order` is 1).
  ReposDataAccessCursor* notes(
      const char* code, const char* key,
      const std::vector<std::pair<const char*, KvbDatavar>>& terms, int order);
  // One number of a field's frequencies: `sharedAggregate` over its FRQDST
  // rows, or `ownAggregate` over its own table.
  bool frequencyNumber(const char* sharedAggregate, const char* ownAggregate,
                       int fieldId, bool sharedTable, int* out);
  // The fields of a group with their table and source and their first
  // metricCount metrics, and with `withCounts` their PKFK and FLDRDA rows.
  ReposDataAccessCursor* groupFields(bool withCounts, int groupId, int runId,
                                     int metricCount);
  // Appends column 0 of every row of `cursor` (a query's result, released
  // here) to `ids`; false for a query that failed (a null cursor).
  bool readIds(ReposDataAccessCursor* cursor, std::vector<int>& ids);

  // --- Deleting runs ---
  // Deletes the runs of a report in [fromRunId, toRunId] (-1: open) with
  // their results and the frequency tables of their fields, and with
  // `deleteReport` the report and all its charts, inside the caller's
  // transaction.
  bool deleteRuns(int fromRunId, int toRunId, int reportId, bool deleteReport);
  // The cascade over the results of `runs` (and, with `wholeReport`, over
  // the report's own rows), in one transaction.
  bool deleteRunResults(int reportId, bool wholeReport,
                        const std::vector<int>& runs);
  // Drops the frequency table of each field that has one; false (logged)
  // when a drop fails.
  bool dropFieldFrequencyTables(const std::vector<int>& fieldIds);

  // --- Loads ---
  enum LoadKind { kFrequencyLoad, kPatternLoad, kMatchCodeLoad, kRuleLogLoad };
  static constexpr int kLoadKinds = 4;
  static constexpr int kMaxLoadColumns = 6;
  // One open load: its prepared insert, or the connection's bulk loader,
  // and the values of the row being added, in column order.
  struct Load {
    uint64_t transaction = 0;  // the number of its transaction; 0: none
    ReposDataAccessStatement* statement = nullptr;
    bool bulk = false;  // the connection's bulk loader holds this load
    int columns = 0;
    int cut[kMaxLoadColumns] = {};  // a text column's length; 0 otherwise
    KvbDatavar values[kMaxLoadColumns];
  };
  // Begins a load of `kind` into the table `code` (numbered `number`, -1
  // for none, else made by the load): in a transaction of its own, through
  // the bulk loader when `bulk` is allowed and the connection has one, else
  // through one prepared insert. A load of this kind still open is rolled
  // back first.
  bool beginLoad(LoadKind kind, const char* code, int number,
                 const LoadColumn* columns, int count, bool bulk,
                 int batchSize);
  // A step of beginLoad failed: logs the connection's reason, which stays
  // the answer, and rolls back what the load began. Answers false.
  bool abandonFailedLoad(LoadKind kind);
  // Sets value `i` of the row being added; texts are cut to their
  // column's length on a character boundary.
  void setLoadText(Load& load, int i, const KvbString& text);
  // Adds the row held in the load's values; a failure rolls the load back.
  bool addLoadRow(LoadKind kind);
  // Ends a load: its rows (and the table it made) are committed; when its
  // last rows fail, none of them. `last`, when given, runs in the load's
  // transaction once its rows are in, before the commit; when it fails,
  // the load is rolled back with its reason (logged by `last`). False when
  // none is open.
  bool endLoad(LoadKind kind, const std::function<bool()>& last = nullptr);
  // Rolls back an open load, every row it sent and the table it made, and
  // forgets it; nothing when none is open.
  void abandonLoad(LoadKind kind);
  // True when a load of `kind` is open. One whose transaction has ended
  // without it (rolled back for its thread, which ended or was cancelled
  // with it open) is forgotten: it has nothing left to end, and its later
  // rows must not be written outside a transaction.
  bool loadOpen(LoadKind kind);
  // Forgets a load's statement, bulk loader and transaction.
  void forgetLoad(LoadKind kind);
  void abandonLoads();

  Load loads_[kLoadKinds];
  bool frequencyTableShared_ = true;  // the layout of the last begin
  int frequencyField_ = -1;           // the field of the last begin
  int ruleLogDepth_ = 0;  // rule-log begins not yet matched by an end
};

#endif  // PROFILE_PROF_RDAIMPL_H_
