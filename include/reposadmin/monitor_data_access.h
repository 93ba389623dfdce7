// MonitorRepositoryDataAccess: the data-access interface of monitoring:
// tasks (MJOB) with their rule members (JBRUME) and rule events (RULEVT),
// custom metrics (CUSTM), execution properties (EXPROP) and their valid
// values (EXPRTP), execution sources (EXSRC), and the dashboard objects:
// report groups (RPTGRP), dimensions (DIMENS) with their report-group links
// (DIMGRP), and thresholds (THRHLD).
//
// Cursors that the operations answer are in-memory copies that the caller
// releases; listings give every column of their table in table order.
// A task's name may be empty: it is stored as given, since stored
// repositories and imports hold such names, and such a task is found only
// by its id or code (a folder, by contrast, refuses an empty name).
// Failures answer false or null; the reason is the connection's error text,
// which getErrorMessage() gives. Refusals give a "Monitor Repository"
// catalogue message (1088 a task with executions, 1211 a name in use, 1085
// a code or UUID in use, 1663 a property value that is not valid) after
// what was refused, which names the object ("Cannot add the dimension "D":
// <message 1211>", "Cannot add the task "T" with code "c": <message
// 1085>", "Cannot delete task 2 "T": <message 1088>"). Without a
// connection every operation but clearSource logs "Repository Data Access
// object is null" at level 5 and fails.
//
// Ids: an id argument that names an object names one that exists. A task, rule,
// execution, source, folder, report group, dimension or threshold that does not
// exist is refused with "<Kind> <id> does not exist" ("Report group 9 does not
// exist"), the text and its one record at level 5, and nothing is stored. -1 is
// the one id that means none, in every operation: an optional argument of -1 is
// absent (a listing's filter, a column that an update keeps). None is stored
// only where a row may name none, the threshold of a report group or of a
// dimension link (THR_ID -1); a rule member always has a dimension and a
// threshold, so there -1 stands for the default 1. Where none cannot stand (the
// folder of an addition or of updateTask, the task or rule of a member, event
// or property, the report group or dimension of a link) -1 is refused as an
// object that does not exist. 0 and the other negative ids name no object and
// are refused likewise, but for folder 0, the root, which always exists
// (updateSource takes it for no move). A link is stored once: an add of a link
// that exists keeps it as it is and answers true (see addTaskRuleMember and
// addDimensionToGroup). A deletion of an object that does not exist is no
// failure and changes nothing; each deletion says what it leaves that names the
// object. A write that names an object and a deletion of the object, on two
// connections at once, never leave a row that names it: the one that comes
// second waits for the other, a deletion then removing or repointing what the
// write stored as it does any such row, a write then refused as above.
//
// Optional arguments: a text filter is absent when empty. An update
// either writes every column it takes or keeps what is not given, and
// each says which: updateTask and updateSource write what
// they are given, a null text or date as NULL, so that a caller passes
// every column it keeps as it read it (getTask, listSources);
// updateReportGroup, updateDimension, updateThreshold and
// updateDimensionGroup keep a column whose value is absent (a null text,
// date or real, an id of -1; an empty text is written).
// Report group, dimension and threshold 1 are the defaults
// that every repository holds: they are never deleted, and rows that named
// a deleted one name the default instead. Changes to tasks and sources are
// announced to the repository event manager (postObjectEvent with the
// object type "Task" or "Source") once they are stored.
#ifndef REPOSADMIN_MONITOR_DATA_ACCESS_H_
#define REPOSADMIN_MONITOR_DATA_ACCESS_H_

#include "kvbase/kvbase.h"
#include "reposadmin/repos_data_access_object.h"

class ReposDataAccessCursor;

class MonitorRepositoryDataAccess : public ReposDataAccessObject {
 public:
  // --- Additions ----------------------------------------------------------
  // An addition filed into a folder (folderId) that does not exist is
  // refused with "Folder <id> does not exist"; folder 0, the root, always
  // exists. A report group, dimension or threshold with a name that
  // another of its kind holds is refused with "Cannot add the <kind>
  // "<name>": " and 1211, one with a UUID that another of its kind holds
  // with "Cannot add the <kind> "<name>" with UUID "<uuid>": " and 1085
  // (kind "report group", "dimension", "threshold"); when both are held,
  // the name's refusal is the answer. An empty UUID or task code is none,
  // and is not looked for: any number of tasks and sources may have none.

  // Adds a task with a new JB_ID (id counter "MJOB") written to *newId when
  // given; both dates are now and `user` is creator and editor. A code
  // (JB_CODE, the task's UUID) that a task has already is refused with
  // "Cannot add the task "<name>" with code "<code>": " and message 1085.
  // Posts an added event keyed by the code.
  virtual bool addTask(const KvbString& name, const KvbString& code,
                       const KvbString& user, int folderId,
                       const KvbString& comment, const KvbString& display,
                       int* newId) = 0;
  // Adds a source with a new ES_ID (id counter "EXSRC") written to *newId
  // when given; both dates are now. A UUID in use is refused with "Cannot
  // add the source "<name>" with UUID "<uuid>": " and 1085. Posts an added
  // event keyed by the UUID.
  virtual bool addSource(const KvbString& name, const KvbString& uuid,
                         const KvbString& user, int folderId, int* newId) = 0;
  // Adds event `sequence` of rule `ruleId` in task `taskId`. A task or rule
  // that does not exist is refused as by addTaskRuleMember. An event is no
  // link: one of a sequence that the rule has already is added beside it.
  virtual bool addRuleEvent(int taskId, int ruleId, int sequence,
                            const KvbString& code, const KvbString& data) = 0;
  // As addTaskRuleMember, with the default dimension and threshold and
  // weight 1.
  virtual bool addTaskRule(int taskId, int ruleId) = 0;
  // Adds a custom metric (CM_ID from the id counter "CUSTM", no UUID),
  // written to *newId when given. Names need not be unique.
  virtual bool addCustomMetric(const KvbString& name,
                               const KvbString& preExpression,
                               const KvbString& expression,
                               const KvbString& postExpression, int* newId) = 0;
  // Makes `value` a valid value of property `name`. A pair that is valid
  // already is kept once; 1211 is logged as a warning and the answer is
  // true.
  virtual bool addPropertyValue(const KvbString& name,
                                const KvbString& value) = 0;
  // Adds a report group (GRP_ID from the id counter "RPTGRP"), written to
  // *newId when given; a null end date is stored as NULL. A name in use is
  // refused with 1211, a threshold that does not exist with "Threshold
  // <id> does not exist" (-1 names none and is stored as it is).
  virtual bool addReportGroup(const KvbString& name,
                              const KvbString& description, int intervalCount,
                              int intervalLength, int thresholdId,
                              KvbDate endDate, const KvbString& user,
                              const KvbString& uuid, int folderId,
                              int* newId) = 0;
  // Adds a dimension (DIM_ID from the id counter "DIMENS"), written to
  // *newId when given. A name in use is refused with 1211.
  virtual bool addDimension(const KvbString& name, const KvbString& description,
                            const KvbString& user, const KvbString& uuid,
                            int folderId, int* newId) = 0;
  // Links dimension `dimensionId` to report group `groupId`. A link that
  // exists is kept as it is: "Not linking dimension <id> to report group
  // <id> again: " and 1211 are logged as a warning and the answer is true.
  // A report group, dimension or threshold that does not exist is refused
  // with "Report group <id> does not exist", "Dimension <id> ..." or
  // "Threshold <id> ..."; a threshold of -1 names none and is stored as
  // -1, a report group or dimension of -1 is refused.
  virtual bool addDimensionToGroup(int groupId, int dimensionId,
                                   int thresholdId, KvbReal weight) = 0;
  // Adds a threshold (THR_ID from the id counter "THRHLD"), written to
  // *newId when given, with its first min(bandCount, 7) bands taken from
  // the four arrays; the other bands of the seven are NULL. A name in use
  // is refused with 1211.
  virtual bool addThreshold(const KvbString& name, const KvbString& description,
                            const KvbString& user, const KvbString& uuid,
                            int folderId, int bandCount,
                            const KvbString* bandNames,
                            const double* bandStarts, const double* bandEnds,
                            const int* bandColors, int* newId) = 0;
  // Adds rule `ruleId` to task `taskId`. A dimension or threshold of -1
  // (none) stands for the default 1. A task, rule, dimension or threshold
  // that does not exist is refused with "Task <id> does not exist", "Rule
  // <id> ...", "Dimension <id> ..." or "Threshold <id> ...", as are 0 and
  // the other negative ids. A rule that is a member of the task already
  // stays the member it is (updateTaskRuleMember changes it): "Not adding
  // rule <id> to task <id> again: " and 1211 are logged as a warning and
  // the answer is true. Earlier versions took every id below 1 for the
  // default and stored a second member; members stored twice stay, and
  // updateTaskRuleMember changes both.
  virtual bool addTaskRuleMember(int taskId, int ruleId, int dimensionId,
                                 int thresholdId, const KvbReal& weight) = 0;

  // --- Listings and lookups -------------------------------------------------

  // The rule members of a task: JB_ID, RU_ID, DIM_ID, THR_ID, WGHT.
  virtual ReposDataAccessCursor* listTaskRuleMembers(int taskId) = 0;
  // Every task: JB_ID, JB_DESC, JB_CODE, JB_CRDAT, JB_EDDAT, JB_CRUSR,
  // JB_EDUSR, FLDR_ID, JB_COMM, JB_DISP.
  virtual ReposDataAccessCursor* listTasks() = 0;
  virtual ReposDataAccessCursor* getTask(int taskId) = 0;
  // The tasks found by id when `taskId` is positive, else by code when one
  // is given, else by name; null when none is given, with the text "No id,
  // code or name of a task was given" (not logged). A lookup that fails is
  // tried once more by name; when that finds nothing, null with the
  // failure's reason.
  virtual ReposDataAccessCursor* findTask(int taskId, const KvbString& name,
                                          const KvbString& code) = 0;
  // The rule events of a task: JB_ID, RU_ID, EV_SEQ, EV_CODE, EV_DATA.
  virtual ReposDataAccessCursor* listRuleEvents(int taskId) = 0;
  // The custom metrics named `name` (every CUSTM column).
  virtual ReposDataAccessCursor* findCustomMetricByName(
      const KvbString& name) = 0;
  // Every source: ES_ID, ES_DESC, ES_NAME, ES_UUID, ES_CRDAT, ES_EDDAT,
  // ES_CRUSR, ES_EDUSR, FLDR_ID.
  virtual ReposDataAccessCursor* listSources() = 0;
  virtual ReposDataAccessCursor* getSource(int sourceId) = 0;
  // As findTask, by ES_ID, ES_UUID or ES_NAME ("... of a source ...").
  virtual ReposDataAccessCursor* findSource(int sourceId, const KvbString& name,
                                            const KvbString& uuid) = 0;
  // The valid property values: PR_NAME, PR_VALUE.
  virtual ReposDataAccessCursor* listPropertyValues() = 0;
  // The properties of one rule in one execution: EX_ID, PR_NAME, PR_VALUE,
  // RU_ID.
  virtual ReposDataAccessCursor* listExecutionProperties(int executionId,
                                                         int ruleId) = 0;
  // Report groups (GRP_ID, GRP_NAME, GRP_DESC, INTNUM, INTLEN, THR_ID,
  // ENDDATE, UUID, CRDAT, EDDAT, CRUSR, EDUSR, FLDR_ID) restricted to the id
  // and name given.
  virtual ReposDataAccessCursor* listReportGroups(int groupId,
                                                  const KvbString& name) = 0;
  // The report groups of threshold `thresholdId` (always applied).
  virtual ReposDataAccessCursor* listReportGroupsByThreshold(
      int thresholdId) = 0;
  // The executions of report group `groupId` dated strictly between `after`
  // and `before`, newest first, leaving out those with EX_NROWS -1: one row
  // per rule member of the execution's task, columns EX_NROWS, TR_CNT,
  // DIM_ID, WGHT, THR_ID, RU_ID, RU_DESC, RU_COMM, RU_DISP, JB_ID, JB_DESC,
  // JB_COMM, JB_DISP, JB_CODE, GRP_ID, EX_DATE. A missing trigger count,
  // rule member or rule gives NULLs in its columns.
  virtual ReposDataAccessCursor* listReportGroupExecutions(int groupId,
                                                           KvbDate after,
                                                           KvbDate before) = 0;
  // Dimensions (DIM_ID, DIM_NAME, DIM_DESC, UUID, CRDAT, EDDAT, CRUSR,
  // EDUSR, FLDR_ID) restricted to the id and name given.
  virtual ReposDataAccessCursor* listDimensions(int dimensionId,
                                                const KvbString& name) = 0;
  // Dimension links (DIM_ID, GRP_ID, THR_ID, WGHT) restricted to the ids
  // given.
  virtual ReposDataAccessCursor* listDimensionGroups(int dimensionId,
                                                     int groupId) = 0;
  // Thresholds (THR_ID, THR_NAME, THR_DESC, UUID, CRDAT, EDDAT, CRUSR,
  // EDUSR, FLDR_ID, then NAME_i, START_i, END_i, COLOR_i for bands 0 to 6)
  // restricted to the id and name given.
  virtual ReposDataAccessCursor* listThresholds(int thresholdId,
                                                const KvbString& name) = 0;
  // As findTask, by THR_ID, UUID or THR_NAME ("... of a threshold ...").
  virtual ReposDataAccessCursor* findThreshold(int thresholdId,
                                               const KvbString& name,
                                               const KvbString& uuid) = 0;
  // As findTask, by DIM_ID, UUID or DIM_NAME ("... of a dimension ...").
  virtual ReposDataAccessCursor* findDimension(int dimensionId,
                                               const KvbString& name,
                                               const KvbString& uuid) = 0;

  // --- Changes and deletions ----------------------------------------------

  // Deletes the rule members and rule events of a task, all or nothing.
  virtual bool clearTaskRules(int taskId) = 0;
  // Deletes a task with its rule members and rule events, all or nothing; a
  // task with executions is refused with "Cannot delete task <id>
  // "<name>": " and 1088, the text and its record alike (the id alone when
  // only executions name the task). Announces the deletion by the task's
  // URI (postUriEvent, objectType "Task") when the task's path was found.
  // A task that does not exist is no failure. An object lock of the task
  // (metadata interface) stays.
  virtual bool deleteTask(int taskId) = 0;
  // Writes every column but JB_ID of task `taskId`, each as given: a null
  // text or date is written as NULL and nothing is kept, so a rename passes
  // the creation date and user, comment and display name as read. A task
  // that does not exist fails; a code that another task has is refused with "Cannot
  // give task <id> the code "<code>": " and 1085, a folder that does not
  // exist as by the additions. Posts a changed event
  // keyed by the code.
  virtual bool updateTask(int taskId, const KvbString& name,
                          const KvbString& code, const KvbString& createdUser,
                          KvbDate createdDate, const KvbString& editUser,
                          KvbDate editDate, int folderId,
                          const KvbString& comment,
                          const KvbString& display) = 0;
  // Deletes a source; executions keep their ES_ID. Posts a deleted event
  // when a source was deleted; one that does not exist is no failure.
  virtual bool deleteSource(int sourceId) = 0;
  // True without effect, also without a connection.
  virtual bool clearSource(int sourceId) = 0;
  // Writes the name and the edit user as given (a null as NULL) and the
  // edit date (now), and the folder but for -1 and 0: both keep the folder,
  // as callers have always passed 0 for no move. A source or folder that
  // does not exist is refused ("Source <id> does not exist", "Folder <id>
  // ..."). Posts a changed event.
  virtual bool updateSource(int sourceId, const KvbString& name,
                            const KvbString& user, int folderId) = 0;
  // Sets property `name` of a rule in an execution to `value`, adding it
  // when the rule has no property of that exact name. An execution or rule
  // that does not exist is refused with "Execution <id> does not exist" or
  // "Rule <id> does not exist"; then, unless `skipValueCheck`, a value that
  // is not valid for the name with `Cannot set the execution property
  // "<name>" of execution <id> and rule <id>: ` and message 1663.
  virtual bool setExecutionProperty(int executionId, int ruleId,
                                    const KvbString& name,
                                    const KvbString& value,
                                    bool skipValueCheck) = 0;
  virtual bool deleteExecutionProperty(int executionId, int ruleId,
                                       const KvbString& name) = 0;
  // Makes `value` no longer valid for property `name`. Execution properties
  // that hold it keep it.
  virtual bool deletePropertyValue(const KvbString& name,
                                   const KvbString& value) = 0;
  // Writes the columns given of report group `groupId`; with any of them,
  // the edit date becomes now and the edit user is written when given. True
  // without effect when `groupId` or every column is absent; a folder that
  // does not exist is refused, a report group that does not exist with
  // "Report group <id> does not exist", a name that another report group
  // has with "Cannot give report group <id> the name "<name>": " and 1211
  // (the group's own name is no conflict), a threshold that does not exist
  // with "Threshold <id> does not exist".
  virtual bool updateReportGroup(int groupId, const KvbString& name,
                                 const KvbString& description,
                                 int intervalCount, int intervalLength,
                                 int thresholdId, KvbDate endDate,
                                 const KvbString& editUser, int folderId) = 0;
  // Deletes a report group with its dimension links, and moves its
  // executions to the default report group, all or nothing.
  virtual bool deleteReportGroup(int groupId) = 0;
  // As updateReportGroup (keeping what is absent), for the name,
  // description and folder of a dimension ("Dimension <id> does not exist", "Cannot give dimension
  // ...").
  virtual bool updateDimension(int dimensionId, const KvbString& name,
                               const KvbString& description,
                               const KvbString& editUser, int folderId) = 0;
  // Deletes a dimension with its report-group links and moves its task rule
  // members to the default dimension, all or nothing.
  virtual bool deleteDimension(int dimensionId) = 0;
  // Writes the threshold and weight given of one dimension link; true
  // without effect when a key or both values are absent. A dimension,
  // report group or threshold that does not exist is refused with
  // "Dimension <id> does not exist", "Report group <id> ..." or "Threshold
  // <id> ...", a link that does not exist with "Dimension <id> is not
  // linked to report group <id>".
  virtual bool updateDimensionGroup(int dimensionId, int groupId,
                                    int thresholdId, KvbReal weight) = 0;
  // Deletes the dimension links of the report group and dimension given. A
  // call that gives neither is refused: it would delete every link.
  virtual bool deleteDimensionGroups(int groupId, int dimensionId) = 0;
  // As updateReportGroup (keeping what is absent), for the name,
  // description, folder and bands of a threshold ("Threshold <id> does not exist", "Cannot give threshold
  // ..."). With a band count above 0 all seven bands are written, those
  // beyond the count as NULL; otherwise the bands stay.
  virtual bool updateThreshold(int thresholdId, const KvbString& name,
                               const KvbString& description,
                               const KvbString& editUser, int folderId,
                               int bandCount, const KvbString* bandNames,
                               const double* bandStarts, const double* bandEnds,
                               const int* bandColors) = 0;
  // Deletes a threshold and moves the task rule members, dimension links and
  // report groups that used it to the default threshold, all or nothing.
  virtual bool deleteThreshold(int thresholdId) = 0;
  // Writes the dimension, threshold and weight of the members of rule
  // `ruleId` in task `taskId`; -1 stands for the default 1. A task, rule,
  // dimension or threshold that does not exist is refused as by
  // addTaskRuleMember, a rule that is no member of the task with "Rule
  // <id> is no member of task <id>".
  virtual bool updateTaskRuleMember(int taskId, int ruleId, int dimensionId,
                                    int thresholdId, KvbReal weight) = 0;
};

#endif  // REPOSADMIN_MONITOR_DATA_ACCESS_H_
