// MonitorRDAImpl: the data-access object of monitoring, built on the shared
// base of the data-access objects: tasks with their rule members and
// events, custom metrics, execution properties, sources, and the dashboard
// objects (report groups, dimensions, thresholds).
#ifndef MONITOR_MONITOR_RDAIMPL_H_
#define MONITOR_MONITOR_RDAIMPL_H_

#include <functional>
#include <initializer_list>
#include <vector>

#include "access/base_rdaimpl.h"
#include "reposadmin/monitor_data_access.h"

class MonitorRDAImpl : public RDA_Object<MonitorRepositoryDataAccess> {
 public:
  // `rda` is borrowed and may be null, in which case every operation fails.
  explicit MonitorRDAImpl(ReposDataAccess* rda) : RDA_Object(rda) {}

  bool addTask(const KvbString& name, const KvbString& code,
               const KvbString& user, int folderId, const KvbString& comment,
               const KvbString& display, int* newId) override;
  bool addSource(const KvbString& name, const KvbString& uuid,
                 const KvbString& user, int folderId, int* newId) override;
  bool addRuleEvent(int taskId, int ruleId, int sequence, const KvbString& code,
                    const KvbString& data) override;
  bool addTaskRule(int taskId, int ruleId) override;
  bool addCustomMetric(const KvbString& name, const KvbString& preExpression,
                       const KvbString& expression,
                       const KvbString& postExpression, int* newId) override;
  bool addPropertyValue(const KvbString& name, const KvbString& value) override;
  bool addReportGroup(const KvbString& name, const KvbString& description,
                      int intervalCount, int intervalLength, int thresholdId,
                      KvbDate endDate, const KvbString& user,
                      const KvbString& uuid, int folderId, int* newId) override;
  bool addDimension(const KvbString& name, const KvbString& description,
                    const KvbString& user, const KvbString& uuid, int folderId,
                    int* newId) override;
  bool addDimensionToGroup(int groupId, int dimensionId, int thresholdId,
                           KvbReal weight) override;
  bool addThreshold(const KvbString& name, const KvbString& description,
                    const KvbString& user, const KvbString& uuid, int folderId,
                    int bandCount, const KvbString* bandNames,
                    const double* bandStarts, const double* bandEnds,
                    const int* bandColors, int* newId) override;
  bool addTaskRuleMember(int taskId, int ruleId, int dimensionId,
                         int thresholdId, const KvbReal& weight) override;

  ReposDataAccessCursor* listTaskRuleMembers(int taskId) override;
  ReposDataAccessCursor* listTasks() override;
  ReposDataAccessCursor* getTask(int taskId) override;
  ReposDataAccessCursor* findTask(int taskId, const KvbString& name,
                                  const KvbString& code) override;
  ReposDataAccessCursor* listRuleEvents(int taskId) override;
  ReposDataAccessCursor* findCustomMetricByName(const KvbString& name) override;
  ReposDataAccessCursor* listSources() override;
  ReposDataAccessCursor* getSource(int sourceId) override;
  ReposDataAccessCursor* findSource(int sourceId, const KvbString& name,
                                    const KvbString& uuid) override;
  ReposDataAccessCursor* listPropertyValues() override;
  ReposDataAccessCursor* listExecutionProperties(int executionId,
                                                 int ruleId) override;
  ReposDataAccessCursor* listReportGroups(int groupId,
                                          const KvbString& name) override;
  ReposDataAccessCursor* listReportGroupsByThreshold(int thresholdId) override;
  ReposDataAccessCursor* listReportGroupExecutions(int groupId, KvbDate after,
                                                   KvbDate before) override;
  ReposDataAccessCursor* listDimensions(int dimensionId,
                                        const KvbString& name) override;
  ReposDataAccessCursor* listDimensionGroups(int dimensionId,
                                             int groupId) override;
  ReposDataAccessCursor* listThresholds(int thresholdId,
                                        const KvbString& name) override;
  ReposDataAccessCursor* findThreshold(int thresholdId, const KvbString& name,
                                       const KvbString& uuid) override;
  ReposDataAccessCursor* findDimension(int dimensionId, const KvbString& name,
                                       const KvbString& uuid) override;

  bool clearTaskRules(int taskId) override;
  bool deleteTask(int taskId) override;
  bool updateTask(int taskId, const KvbString& name, const KvbString& code,
                  const KvbString& createdUser, KvbDate createdDate,
                  const KvbString& editUser, KvbDate editDate, int folderId,
                  const KvbString& comment, const KvbString& display) override;
  bool deleteSource(int sourceId) override;
  bool clearSource(int sourceId) override;
  bool updateSource(int sourceId, const KvbString& name, const KvbString& user,
                    int folderId) override;
  bool setExecutionProperty(int executionId, int ruleId, const KvbString& name,
                            const KvbString& value,
                            bool skipValueCheck) override;
  bool deleteExecutionProperty(int executionId, int ruleId,
                               const KvbString& name) override;
  bool deletePropertyValue(const KvbString& name,
                           const KvbString& value) override;
  bool updateReportGroup(int groupId, const KvbString& name,
                         const KvbString& description, int intervalCount,
                         int intervalLength, int thresholdId, KvbDate endDate,
                         const KvbString& editUser, int folderId) override;
  bool deleteReportGroup(int groupId) override;
  bool updateDimension(int dimensionId, const KvbString& name,
                       const KvbString& description, const KvbString& editUser,
                       int folderId) override;
  bool deleteDimension(int dimensionId) override;
  bool updateDimensionGroup(int dimensionId, int groupId, int thresholdId,
                            KvbReal weight) override;
  bool deleteDimensionGroups(int groupId, int dimensionId) override;
  bool updateThreshold(int thresholdId, const KvbString& name,
                       const KvbString& description, const KvbString& editUser,
                       int folderId, int bandCount, const KvbString* bandNames,
                       const double* bandStarts, const double* bandEnds,
                       const int* bandColors) override;
  bool deleteThreshold(int thresholdId) override;
  bool updateTaskRuleMember(int taskId, int ruleId, int dimensionId,
                            int thresholdId, KvbReal weight) override;

 private:
  // Tells the repository event manager (when there is one) of a change to
  // a task or source, naming it by `key` (its code or UUID).
  void announce(int changeType, const char* typeName, int objectId,
                const KvbString& key);
  // True when a row of `code` matches `condition`; otherwise false,
  // refused with `refusal`. False when the query fails.
  bool expectRow(const char* code, const char* condition,
                 const std::vector<KvbDatavar>& values, const Refusal& refusal);
  // The refusal of deleteTask for task `taskId`, which has executions:
  // "Cannot delete task <id> "<name>": " and message 1088, the text and
  // its record alike; no refusal (a null text) when the name cannot be
  // read, whose failure is then the answer.
  Refusal executionsKeep(int taskId);
  // A dashboard object that a write stores: the key column of its kind
  // (GRP_ID, DIM_ID or THR_ID) and its id.
  struct DashboardRef {
    const char* column;
    int id;
  };
  // True when each of `refs` names an object that exists, else refused
  // with "<Kind> <id> does not exist"; false when a lookup fails. The
  // default, which every repository holds and no deletion removes, is not
  // looked for, nor is -1 (none) of a kind that may be none (a threshold:
  // see kDashboardKinds); -1 of another kind is refused.
  bool dashboardObjectsExist(std::initializer_list<DashboardRef> refs);
  // The rows that dashboardObjectsExist looks for, in order.
  static std::vector<ObjectRow> dashboardRows(
      std::initializer_list<DashboardRef> refs);
  // True when task `taskId`, rule `ruleId` and each of `refs` exist; a
  // missing task or rule is refused with "Task <id> does not exist" or
  // "Rule <id> does not exist", the references as above.
  bool linkedObjectsExist(int taskId, int ruleId,
                          std::initializer_list<DashboardRef> refs);
  // The rows that linkedObjectsExist looks for, in order.
  static std::vector<ObjectRow> linkedRows(
      int taskId, int ruleId, std::initializer_list<DashboardRef> refs);
  // Inserts a row that names task `taskId` and rule `ruleId`, in one unit
  // with linkedObjectsExist's check.
  bool insertLinked(int taskId, int ruleId, const char* code,
                    const SqlFields& columns);
  // Adds the link `columns` to table `code` in one unit with the check
  // that the objects of `joined` exist (refused as objectExists refuses),
  // unless a row matches every one of `keys`: that link is kept as it is,
  // the answer is true and `again`, ": " and message 1211 are logged as a
  // warning.
  bool addLinkOnce(const std::vector<ObjectRow>& joined, const char* code,
                   const SqlFields& keys, const SqlFields& columns,
                   const KvbString& again);
  // Writes the `name` and `columns` given of the dashboard object `row`,
  // with the edit date (now) and, when not null, the edit user, checking
  // that `folderId` (the row's FLDR_ID among `columns`; -1 when not given)
  // exists. A name that another object of the table has is refused with
  // "Cannot give <kind> <id> the name "<name>": " and 1211, an object that
  // does not exist with "<Kind> <id> does not exist", a dashboard object
  // of `refs` that does not exist as dashboardObjectsExist refuses it.
  // Nothing to do (true) without an id or without a column given.
  bool updateEdited(const ObjectRow& row, const SqlField& name,
                    const SqlFields& columns, const KvbString& editUser,
                    int folderId,
                    std::initializer_list<DashboardRef> refs = {});
  // Adds a dashboard object of type `typeName` ("dimension") to table
  // `code`, its id in `idColumn` handed to `newId`: `columns`, its `name`,
  // its UUID (each refused when another object has it; an empty UUID is
  // none), its creation and edit stamps (now, by `user`) and its folder;
  // refused first, in the same unit, when one of `refs` does not exist.
  bool addDashboardObject(const char* typeName, const char* code,
                          const char* idColumn, const SqlField& name,
                          SqlFields columns, const KvbString& uuid,
                          const KvbString& user, int folderId, int* newId,
                          std::initializer_list<DashboardRef> refs = {});
  // Appends the columns of the seven bands of a threshold to `columns`:
  // band i from the arrays while i is below `count`, NULL in all four
  // columns after. Refused when a band count above 0 comes without its
  // arrays.
  bool appendBands(int count, const KvbString* names, const double* starts,
                   const double* ends, const int* colors, SqlFields& columns);
  // Deletes dashboard object `id` (key column `column`) from its table with
  // the links that belong to it, and points the rows that referred to it at
  // the default object, all or nothing. The default and -1 stay.
  bool deleteDashboardObject(const char* code, const char* column, int id);
};

#endif  // MONITOR_MONITOR_RDAIMPL_H_
