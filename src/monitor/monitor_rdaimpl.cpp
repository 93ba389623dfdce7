// The data-access object of monitoring: tasks, their rule members and
// events, custom metrics, execution properties, sources, report groups,
// dimensions and thresholds.
#include "monitor/monitor_rdaimpl.h"

#include <cstring>
#include <string>

#include "kvreposres/kvreposres.h"
#include "monitor/dashboard_refs.h"

namespace {

const char kSourceFile[] = "monitor_rdaimpl";
const char kTaskType[] = "Task";
const char kSourceType[] = "Source";

// Messages of the "Monitor Repository" catalogue.
const int kTaskHasExecutions = 1088;
const int kExists = 1211;
const int kInvalidValue = 1663;

template <typename... Args>
KvbString message(int id, const Args&... args) {
  return kvb_get_message(kSourceFile, __LINE__, "Monitor Repository", id,
                         args...);
}

KvbDatavar now() { return KvbDatavar(KvbDate::currentDate()); }

// A real to write: NULL when the real is null.
KvbDatavar realValue(const KvbReal& real) {
  return real.isNull() ? KvbDatavar::nullOf(kvbTypeReal)
                       : KvbDatavar(real.asDouble());
}

// The dimension or threshold of a rule member: a member always has both,
// so none (-1) stands for the default. Any other id is checked.
int orDefault(int id) { return id == -1 ? kDefaultDashboardId : id; }

// Hands a new id to the caller's out argument when it gives one; false for
// an addition that failed (-1).
bool handOut(int id, int* newId) {
  if (id < 0) return false;
  if (newId) *newId = id;
  return true;
}

// The seven bands of a threshold, each stored in four columns.
constexpr int kBandCount = 7;
const char* const kBandFields[] = {"NAME", "START", "END", "COLOR"};
const int kBandTypes[] = {kvbTypeString, kvbTypeReal, kvbTypeReal, kvbTypeInt};

// The band columns of THRHLD in table order: NAME_0, START_0, END_0,
// COLOR_0, NAME_1, ... COLOR_6. Never destroyed: threads may still call
// while the process exits.
const std::vector<std::string>& bandColumns() {
  static const std::vector<std::string>* const columns = [] {
    auto* names = new std::vector<std::string>;
    for (int band = 0; band < kBandCount; ++band)
      for (const char* field : kBandFields)
        names->push_back(std::string(field) + "_" + std::to_string(band));
    return names;
  }();
  return *columns;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared steps

void MonitorRDAImpl::announce(int changeType, const char* typeName,
                              int objectId, const KvbString& key) {
  const KvbString type(typeName);
  post([=](RepositoryEventManager& events, const KvbString& repository) {
    events.postObjectEvent(repository, changeType, type, objectId, key);
  });
}

bool MonitorRDAImpl::expectRow(const char* code, const char* condition,
                               const std::vector<KvbDatavar>& values,
                               const Refusal& refusal) {
  const int found = exists(code, condition, values);
  if (found < 0) return false;
  return found == 1 || refuse(refusal);
}

std::vector<BaseRDAImpl::ObjectRow> MonitorRDAImpl::dashboardRows(
    std::initializer_list<DashboardRef> refs) {
  std::vector<ObjectRow> rows;
  for (const DashboardRef& ref : refs) {
    if (ref.id == kDefaultDashboardId) continue;
    for (const DashboardKind& kind : kDashboardKinds)
      if (std::strcmp(kind.column, ref.column) == 0 &&
          !(ref.id == -1 && kind.mayBeNone))
        rows.push_back({kind.tableCode, kind.column, ref.id, kind.kind});
  }
  return rows;
}

bool MonitorRDAImpl::dashboardObjectsExist(
    std::initializer_list<DashboardRef> refs) {
  return objectsExist(dashboardRows(refs));
}

std::vector<BaseRDAImpl::ObjectRow> MonitorRDAImpl::linkedRows(
    int taskId, int ruleId, std::initializer_list<DashboardRef> refs) {
  // The row links a task and a rule by id: both must exist, or it would
  // join nothing that can be reached.
  std::vector<ObjectRow> rows = {{"MJOB", "JB_ID", taskId, kTaskType},
                                 {"RULE", "RU_ID", ruleId, "rule"}};
  const std::vector<ObjectRow> more = dashboardRows(refs);
  rows.insert(rows.end(), more.begin(), more.end());
  return rows;
}

bool MonitorRDAImpl::linkedObjectsExist(
    int taskId, int ruleId, std::initializer_list<DashboardRef> refs) {
  return objectsExist(linkedRows(taskId, ruleId, refs));
}

bool MonitorRDAImpl::insertLinked(int taskId, int ruleId, const char* code,
                                  const SqlFields& columns) {
  return insertNaming(IfPresent::kRefuse, Refusal(), code, {}, columns,
                      linkedRows(taskId, ruleId, {}));
}

bool MonitorRDAImpl::addLinkOnce(const std::vector<ObjectRow>& joined,
                                 const char* code, const SqlFields& keys,
                                 const SqlFields& columns,
                                 const KvbString& again) {
  return insertNaming(IfPresent::kWarn, {message(kExists), again}, code, keys,
                      columns, joined);
}

bool MonitorRDAImpl::addDashboardObject(const char* typeName, const char* code,
                                        const char* idColumn,
                                        const SqlField& name, SqlFields columns,
                                        const KvbString& uuid,
                                        const KvbString& user, int folderId,
                                        int* newId,
                                        std::initializer_list<DashboardRef> refs) {
  const KvbDatavar date = now();
  columns.insert(columns.end(), {name,
                                 {"UUID", uuid},
                                 {"CRDAT", date},
                                 {"EDDAT", date},
                                 {"CRUSR", user},
                                 {"EDUSR", user},
                                 {"FLDR_ID", folderId}});
  return handOut(
      addFiledUnique(folderId, code, code, idColumn, columns,
                     {newNameKey(name, typeName, message(kExists)),
                      newUuidKey("UUID", uuid, typeName,
                                 name.param.value.asString())},
                     [&] { return dashboardObjectsExist(refs); }),
      newId);
}

bool MonitorRDAImpl::updateEdited(const ObjectRow& row, const SqlField& name,
                                  const SqlFields& columns,
                                  const KvbString& editUser, int folderId,
                                  std::initializer_list<DashboardRef> refs) {
  if (!ready()) return false;
  if (row.id == -1) return true;
  SqlFields all = {name};
  all.insert(all.end(), columns.begin(), columns.end());
  // A new edit user or date alone is no change of the object; the root
  // folder (and none given) needs no check.
  return updateObject(
             row, all, {nameKey(name, row.kind, row.id, message(kExists))},
             {{"EDDAT", now()}, {"EDUSR", editUser, Given::kNotNull}},
             folderId != -1 ? folderId : 0,
             [&] { return dashboardObjectsExist(refs); }) >= 0;
}

bool MonitorRDAImpl::appendBands(int count, const KvbString* names,
                                 const double* starts, const double* ends,
                                 const int* colors, SqlFields& columns) {
  if (count > 0 && !(names && starts && ends && colors))
    return fail(
        "The bands of a threshold need names, starts, ends and colours");
  const std::string* column = bandColumns().data();
  for (int band = 0; band < kBandCount; ++band) {
    if (band < count) {
      const KvbDatavar values[] = {names[band], starts[band], ends[band],
                                   colors[band]};
      for (const KvbDatavar& value : values)
        columns.push_back({(column++)->c_str(), value});
    } else {
      for (int type : kBandTypes)
        columns.push_back({(column++)->c_str(), KvbDatavar::nullOf(type)});
    }
  }
  return true;
}

bool MonitorRDAImpl::deleteDashboardObject(const char* code, const char* column,
                                           int id) {
  if (!ready()) return false;
  if (id == kDefaultDashboardId || id == -1) return true;
  const KvbString where = KvbString(" WHERE ") + column + "=?";
  // The object's own row goes first: a write that holds it (it names the
  // object) is waited for, and the rows it wrote are then repointed or
  // deleted with the others.
  return transaction([&] {
    if (!run("DELETE FROM " + table(code) + where, {id})) return false;
    for (const DashboardReference& ref : kDashboardReferences) {
      if (std::strcmp(ref.column, column) != 0) continue;
      const KvbString target = table(ref.tableCode);
      if (!(ref.ownedLink
                ? run("DELETE FROM " + target + where, {id})
                : run("UPDATE " + target + " SET " + column + "=?" + where,
                      {kDefaultDashboardId, id})))
        return false;
    }
    return true;
  });
}

// ---------------------------------------------------------------------------
// Tasks

bool MonitorRDAImpl::addTask(const KvbString& name, const KvbString& code,
                             const KvbString& user, int folderId,
                             const KvbString& comment, const KvbString& display,
                             int* newId) {
  const KvbDatavar date = now();
  // An empty code names no task: it is no key.
  const UniqueKey codeKey = {
      {{"JB_CODE", code, Given::kNotEmpty}},
      keyInUse(kvbStringFormat("Cannot add the task \"%S\" with code \"%S\"",
                               name, code))};
  const int id = addFiledUnique(folderId, "MJOB", "MJOB", "JB_ID",
                                {{"JB_DESC", name},
                                 {"JB_CODE", code},
                                 {"JB_CRDAT", date},
                                 {"JB_EDDAT", date},
                                 {"JB_CRUSR", user},
                                 {"JB_EDUSR", user},
                                 {"FLDR_ID", folderId},
                                 {"JB_COMM", comment},
                                 {"JB_DISP", display}},
                                {codeKey});
  if (!handOut(id, newId)) return false;
  announce(kChangeAdded, kTaskType, id, code);
  return true;
}

bool MonitorRDAImpl::updateTask(int taskId, const KvbString& name,
                                const KvbString& code,
                                const KvbString& createdUser,
                                KvbDate createdDate, const KvbString& editUser,
                                KvbDate editDate, int folderId,
                                const KvbString& comment,
                                const KvbString& display) {
  // The code is the task's UUID: two tasks with one code could not be
  // told apart. An empty code names no task.
  const UniqueKey codeKey = {
      {{"JB_CODE", code, Given::kNotEmpty}},
      keyInUse(kvbStringFormat("Cannot give task %d the code \"%S\"", taskId,
                               code))};
  const bool updated = updateObject({"MJOB", "JB_ID", taskId, kTaskType},
                                    {{"JB_DESC", name},
                                     {"JB_CODE", code},
                                     {"JB_CRDAT", createdDate},
                                     {"JB_EDDAT", editDate},
                                     {"JB_CRUSR", createdUser},
                                     {"JB_EDUSR", editUser},
                                     {"FLDR_ID", folderId},
                                     {"JB_COMM", comment},
                                     {"JB_DISP", display}},
                                    {codeKey}, {}, folderId) == 1;
  if (updated) announce(kChangeUpdated, kTaskType, taskId, code);
  return updated;
}

bool MonitorRDAImpl::deleteTask(int taskId) {
  if (!ready()) return false;
  KvbString uuid, path;
  const bool deleted = transaction([&] {
    if (!takeRow({"MJOB", "JB_ID", taskId, kTaskType})) return false;
    const int executions = exists("EXEC", "JB_ID=?", {taskId});
    if (executions == 1) {
      // No refusal (a null text) when the task's name could not be read:
      // that read's failure, logged already, is the answer.
      const Refusal refusal = executionsKeep(taskId);
      if (!refusal.text.isNull()) refuse(refusal);
      return false;
    }
    if (executions != 0) return false;
    // The path names the task in the announcement of its deletion: it is
    // read only for a task that goes, with the row it names taken.
    path = deletionPath(taskId, kTaskType, uuid);
    return deleteRows({"JBRUME", "RULEVT", "MJOB"}, "JB_ID", taskId);
  });
  // No resource manager serves this engine, so the task's resource
  // identity is empty.
  if (deleted) postDeletion(path, kTaskType, KvbString(""));
  return deleted;
}

Refusal MonitorRDAImpl::executionsKeep(int taskId) {
  // The name is read only for the refusal; a task row that is gone (its
  // executions left by an older version) is named by its id alone. A read
  // that fails gives no refusal: the task is not to be named by its id as
  // if its row were gone.
  KvbString name;
  const int named = firstRow(
      "SELECT JB_DESC FROM " + table("MJOB") + " WHERE JB_ID=?", {taskId},
      [&](ReposDataAccessCursor& row) { name = row.getString(0); });
  if (named < 0) return Refusal();
  const KvbString task = named == 1
                             ? kvbStringFormat("task %d \"%S\"", taskId, name)
                             : kvbStringFormat("task %d", taskId);
  return Refusal("Cannot delete " + task + ": " + message(kTaskHasExecutions));
}

ReposDataAccessCursor* MonitorRDAImpl::listTasks() {
  return rowsWhere("MJOB", nullptr, {});
}

ReposDataAccessCursor* MonitorRDAImpl::getTask(int taskId) {
  return rowsWhere("MJOB", "JB_ID=?", {taskId});
}

ReposDataAccessCursor* MonitorRDAImpl::findTask(int taskId,
                                                const KvbString& name,
                                                const KvbString& code) {
  return find({"MJOB", "JB_ID", "JB_CODE", "JB_DESC", true, "task", "code"},
              taskId, name, code);
}

// ---------------------------------------------------------------------------
// Rule members and rule events

bool MonitorRDAImpl::addTaskRuleMember(int taskId, int ruleId, int dimensionId,
                                       int thresholdId, const KvbReal& weight) {
  const int dimension = orDefault(dimensionId);
  const int threshold = orDefault(thresholdId);
  // A task runs a rule once: updateTaskRuleMember changes the member.
  return addLinkOnce(
      linkedRows(taskId, ruleId,
                 {{"DIM_ID", dimension}, {"THR_ID", threshold}}),
      "JBRUME", {{"JB_ID", taskId}, {"RU_ID", ruleId}},
      {{"JB_ID", taskId},
       {"RU_ID", ruleId},
       {"DIM_ID", dimension},
       {"THR_ID", threshold},
       {"WGHT", realValue(weight)}},
      kvbStringFormat("Not adding rule %d to task %d again", ruleId, taskId));
}

bool MonitorRDAImpl::addTaskRule(int taskId, int ruleId) {
  return addTaskRuleMember(taskId, ruleId, kDefaultDashboardId,
                           kDefaultDashboardId, KvbReal(1.0));
}

bool MonitorRDAImpl::updateTaskRuleMember(int taskId, int ruleId,
                                          int dimensionId, int thresholdId,
                                          KvbReal weight) {
  if (!ready()) return false;
  return transaction([&] {
    int rows = 0;
    return linkedObjectsExist(taskId, ruleId,
                              {{"DIM_ID", orDefault(dimensionId)},
                               {"THR_ID", orDefault(thresholdId)}}) &&
           run("UPDATE " + table("JBRUME") +
                   " SET DIM_ID=?, THR_ID=?, WGHT=? WHERE JB_ID=? AND RU_ID=?",
               {orDefault(dimensionId), orDefault(thresholdId),
                realValue(weight), taskId, ruleId},
               &rows) &&
           (rows > 0 || fail(kvbStringFormat("Rule %d is no member of task %d",
                                             ruleId, taskId)));
  });
}

bool MonitorRDAImpl::addRuleEvent(int taskId, int ruleId, int sequence,
                                  const KvbString& code,
                                  const KvbString& data) {
  return insertLinked(taskId, ruleId, "RULEVT",
                      {{"JB_ID", taskId},
                       {"RU_ID", ruleId},
                       {"EV_SEQ", sequence},
                       {"EV_CODE", code},
                       {"EV_DATA", data}});
}

ReposDataAccessCursor* MonitorRDAImpl::listTaskRuleMembers(int taskId) {
  return rowsWhere("JBRUME", "JB_ID=?", {taskId});
}

ReposDataAccessCursor* MonitorRDAImpl::listRuleEvents(int taskId) {
  return rowsWhere("RULEVT", "JB_ID=?", {taskId});
}

bool MonitorRDAImpl::clearTaskRules(int taskId) {
  return ready() && deleteRows({"JBRUME", "RULEVT"}, "JB_ID", taskId);
}

// ---------------------------------------------------------------------------
// Custom metrics and execution properties

bool MonitorRDAImpl::addCustomMetric(const KvbString& name,
                                     const KvbString& preExpression,
                                     const KvbString& expression,
                                     const KvbString& postExpression,
                                     int* newId) {
  return handOut(addNumbered("CUSTM", "CUSTM", "CM_ID",
                             {{"CM_DESC", name},
                              {"CM_PREXP", preExpression},
                              {"CM_EXP", expression},
                              {"CM_POSTXP", postExpression}}),
                 newId);
}

ReposDataAccessCursor* MonitorRDAImpl::findCustomMetricByName(
    const KvbString& name) {
  return rowsWhere("CUSTM", "CM_DESC=?", {name});
}

bool MonitorRDAImpl::addPropertyValue(const KvbString& name,
                                      const KvbString& value) {
  const Refusal known(message(kExists),
                      kvbStringFormat("Not adding the value \"%S\" of the "
                                      "execution property \"%S\" again",
                                      value, name));
  return insertUnless(IfPresent::kWarn, known, "EXPRTP",
                      {{"PR_NAME", name}, {"PR_VALUE", value}},
                      {{"PR_NAME", name}, {"PR_VALUE", value}});
}

ReposDataAccessCursor* MonitorRDAImpl::listPropertyValues() {
  return rowsWhere("EXPRTP", nullptr, {});
}

bool MonitorRDAImpl::deletePropertyValue(const KvbString& name,
                                         const KvbString& value) {
  if (!ready()) return false;
  return run(
      "DELETE FROM " + table("EXPRTP") + " WHERE PR_NAME=? AND PR_VALUE=?",
      {name, value});
}

ReposDataAccessCursor* MonitorRDAImpl::listExecutionProperties(int executionId,
                                                               int ruleId) {
  return rowsWhere("EXPROP", "EX_ID=? AND RU_ID=?", {executionId, ruleId});
}

bool MonitorRDAImpl::setExecutionProperty(int executionId, int ruleId,
                                          const KvbString& name,
                                          const KvbString& value,
                                          bool skipValueCheck) {
  if (!ready()) return false;
  // The property is matched by its exact name: the value is written to the
  // rows that the update finds, else a row is added.
  return transaction([&] {
    return objectExists({"EXEC", "EX_ID", executionId, "execution"}) &&
           objectExists({"RULE", "RU_ID", ruleId, "rule"}) &&
           (skipValueCheck ||
            expectRow("EXPRTP", "PR_NAME=? AND PR_VALUE=?",
                      {name, value},
                      Refusal(kvbStringFormat("Cannot set the execution "
                                              "property \"%S\" of execution "
                                              "%d and rule %d: ",
                                              name, executionId, ruleId) +
                              message(kInvalidValue, value)))) &&
           upsert("EXPROP", {{"PR_VALUE", value}},
                  {{"EX_ID", executionId},
                   {"RU_ID", ruleId},
                   {"PR_NAME", name}});
  });
}

bool MonitorRDAImpl::deleteExecutionProperty(int executionId, int ruleId,
                                             const KvbString& name) {
  if (!ready()) return false;
  return run("DELETE FROM " + table("EXPROP") +
                 " WHERE PR_NAME=? AND EX_ID=? AND RU_ID=?",
             {name, executionId, ruleId});
}

// ---------------------------------------------------------------------------
// Sources

bool MonitorRDAImpl::addSource(const KvbString& name, const KvbString& uuid,
                               const KvbString& user, int folderId,
                               int* newId) {
  const KvbDatavar date = now();
  const int id = addFiledUnique(folderId, "EXSRC", "EXSRC", "ES_ID",
                                {{"ES_NAME", name},
                                 {"ES_UUID", uuid},
                                 {"ES_CRDAT", date},
                                 {"ES_EDDAT", date},
                                 {"ES_CRUSR", user},
                                 {"ES_EDUSR", user},
                                 {"FLDR_ID", folderId}},
                                {newUuidKey("ES_UUID", uuid, "source", name)});
  if (!handOut(id, newId)) return false;
  announce(kChangeAdded, kSourceType, id, uuid);
  return true;
}

bool MonitorRDAImpl::updateSource(int sourceId, const KvbString& name,
                                  const KvbString& user, int folderId) {
  if (!ready()) return false;
  SqlStatement update = updateOf("EXSRC");
  update.set({"ES_NAME", name})
      .set({"ES_EDDAT", now()})
      .set({"ES_EDUSR", user});
  // None (-1) and folder 0, the root, are no move: the source stays where
  // it is, as callers have always taken 0. Any other folder is checked.
  const bool moves = folderId != -1 && folderId != 0;
  if (moves) update.set({"FLDR_ID", folderId});
  update.where("ES_ID=?", sourceId);
  int rows = 0;
  if (!runFiled(moves ? folderId : 0, update, &rows)) return false;
  if (rows == 0)
    return fail(missingObject("source", sourceId));
  announce(kChangeUpdated, kSourceType, sourceId, KvbString(""));
  return true;
}

bool MonitorRDAImpl::deleteSource(int sourceId) {
  if (!ready()) return false;
  // Executions keep the id of their source.
  int rows = 0;
  if (!run("DELETE FROM " + table("EXSRC") + " WHERE ES_ID=?", {sourceId},
           &rows))
    return false;
  if (rows > 0) announce(kChangeDeleted, kSourceType, sourceId, KvbString(""));
  return true;
}

bool MonitorRDAImpl::clearSource(int) { return true; }

ReposDataAccessCursor* MonitorRDAImpl::listSources() {
  return rowsWhere("EXSRC", nullptr, {});
}

ReposDataAccessCursor* MonitorRDAImpl::getSource(int sourceId) {
  return rowsWhere("EXSRC", "ES_ID=?", {sourceId});
}

ReposDataAccessCursor* MonitorRDAImpl::findSource(int sourceId,
                                                  const KvbString& name,
                                                  const KvbString& uuid) {
  return find({"EXSRC", "ES_ID", "ES_UUID", "ES_NAME", true, "source"},
              sourceId, name, uuid);
}

// ---------------------------------------------------------------------------
// Report groups (dashboards)

bool MonitorRDAImpl::addReportGroup(
    const KvbString& name, const KvbString& description, int intervalCount,
    int intervalLength, int thresholdId, KvbDate endDate, const KvbString& user,
    const KvbString& uuid, int folderId, int* newId) {
  if (!ready()) return false;
  return addDashboardObject("report group", "RPTGRP", "GRP_ID",
                            {"GRP_NAME", name},
                            {{"GRP_DESC", description},
                             {"INTNUM", intervalCount},
                             {"INTLEN", intervalLength},
                             {"THR_ID", thresholdId},
                             {"ENDDATE", endDate}},
                            uuid, user, folderId, newId,
                            {{"THR_ID", thresholdId}});
}

ReposDataAccessCursor* MonitorRDAImpl::listReportGroups(int groupId,
                                                        const KvbString& name) {
  return listGiven("RPTGRP", {{"GRP_ID", groupId, Given::kNotMinusOne},
                              {"GRP_NAME", name, Given::kNotEmpty}});
}

ReposDataAccessCursor* MonitorRDAImpl::listReportGroupsByThreshold(
    int thresholdId) {
  return rowsWhere("RPTGRP", "THR_ID=?", {thresholdId});
}

ReposDataAccessCursor* MonitorRDAImpl::listReportGroupExecutions(
    int groupId, KvbDate after, KvbDate before) {
  if (!ready()) return nullptr;
  return query(
      "SELECT E.EX_NROWS, T.TR_CNT, J.DIM_ID, J.WGHT, J.THR_ID, R.RU_ID, "
      "R.RU_DESC, R.RU_COMM, R.RU_DISP, M.JB_ID, M.JB_DESC, M.JB_COMM, "
      "M.JB_DISP, M.JB_CODE, E.GRP_ID, E.EX_DATE FROM " +
          table("EXEC") + " E LEFT JOIN " + table("MJOB") +
          " M ON M.JB_ID=E.JB_ID LEFT JOIN " + table("JBRUME") +
          " J ON J.JB_ID=E.JB_ID LEFT JOIN " + table("RULE") +
          " R ON J.RU_ID=R.RU_ID LEFT JOIN " + table("TRIG") +
          " T ON (T.EX_ID=E.EX_ID AND T.RU_ID=J.RU_ID) WHERE E.GRP_ID=? AND "
          "E.EX_NROWS<>-1 AND E.EX_DATE>? AND E.EX_DATE<? "
          "ORDER BY E.EX_DATE DESC",
      {groupId, after, before});
}

bool MonitorRDAImpl::updateReportGroup(int groupId, const KvbString& name,
                                       const KvbString& description,
                                       int intervalCount, int intervalLength,
                                       int thresholdId, KvbDate endDate,
                                       const KvbString& editUser,
                                       int folderId) {
  return updateEdited({"RPTGRP", "GRP_ID", groupId, "report group"},
                      {"GRP_NAME", name, Given::kNotNull},
                      {{"GRP_DESC", description, Given::kNotNull},
                       {"INTNUM", intervalCount, Given::kNotMinusOne},
                       {"INTLEN", intervalLength, Given::kNotMinusOne},
                       {"THR_ID", thresholdId, Given::kNotMinusOne},
                       {"ENDDATE", endDate, Given::kNotNull},
                       {"FLDR_ID", folderId, Given::kNotMinusOne}},
                      editUser, folderId, {{"THR_ID", thresholdId}});
}

bool MonitorRDAImpl::deleteReportGroup(int groupId) {
  return deleteDashboardObject("RPTGRP", "GRP_ID", groupId);
}

// ---------------------------------------------------------------------------
// Dimensions and their report-group links

bool MonitorRDAImpl::addDimension(const KvbString& name,
                                  const KvbString& description,
                                  const KvbString& user, const KvbString& uuid,
                                  int folderId, int* newId) {
  return addDashboardObject("dimension", "DIMENS", "DIM_ID", {"DIM_NAME", name},
                            {{"DIM_DESC", description}}, uuid, user, folderId,
                            newId);
}

bool MonitorRDAImpl::addDimensionToGroup(int groupId, int dimensionId,
                                         int thresholdId, KvbReal weight) {
  return addLinkOnce(
      dashboardRows({{"GRP_ID", groupId},
                     {"DIM_ID", dimensionId},
                     {"THR_ID", thresholdId}}),
      "DIMGRP", {{"DIM_ID", dimensionId}, {"GRP_ID", groupId}},
      {{"DIM_ID", dimensionId},
       {"GRP_ID", groupId},
       {"THR_ID", thresholdId},
       {"WGHT", realValue(weight)}},
      kvbStringFormat("Not linking dimension %d to report group %d again",
                      dimensionId, groupId));
}

ReposDataAccessCursor* MonitorRDAImpl::listDimensions(int dimensionId,
                                                      const KvbString& name) {
  return listGiven("DIMENS", {{"DIM_ID", dimensionId, Given::kNotMinusOne},
                              {"DIM_NAME", name, Given::kNotEmpty}});
}

ReposDataAccessCursor* MonitorRDAImpl::listDimensionGroups(int dimensionId,
                                                           int groupId) {
  return listGiven("DIMGRP", {{"DIM_ID", dimensionId, Given::kNotMinusOne},
                              {"GRP_ID", groupId, Given::kNotMinusOne}});
}

ReposDataAccessCursor* MonitorRDAImpl::findDimension(int dimensionId,
                                                     const KvbString& name,
                                                     const KvbString& uuid) {
  return find({"DIMENS", "DIM_ID", "UUID", "DIM_NAME", true, "dimension"},
              dimensionId, name, uuid);
}

bool MonitorRDAImpl::updateDimension(int dimensionId, const KvbString& name,
                                     const KvbString& description,
                                     const KvbString& editUser, int folderId) {
  return updateEdited({"DIMENS", "DIM_ID", dimensionId, "dimension"},
                      {"DIM_NAME", name, Given::kNotNull},
                      {{"DIM_DESC", description, Given::kNotNull},
                       {"FLDR_ID", folderId, Given::kNotMinusOne}},
                      editUser, folderId);
}

bool MonitorRDAImpl::deleteDimension(int dimensionId) {
  return deleteDashboardObject("DIMENS", "DIM_ID", dimensionId);
}

bool MonitorRDAImpl::updateDimensionGroup(int dimensionId, int groupId,
                                          int thresholdId, KvbReal weight) {
  if (!ready()) return false;
  if (dimensionId == -1 || groupId == -1) return true;
  SqlStatement update("UPDATE " + table("DIMGRP"));
  update.set("THR_ID=?", thresholdId, Given::kNotMinusOne);
  if (!weight.isNull()) update.set("WGHT=?", weight.asDouble());
  if (!update.anySet()) return true;
  update.where("DIM_ID=?", dimensionId).where("GRP_ID=?", groupId);
  return transaction([&] {
    int rows = 0;
    return dashboardObjectsExist({{"DIM_ID", dimensionId},
                                  {"GRP_ID", groupId},
                                  {"THR_ID", thresholdId}}) &&
           run(update, &rows) &&
           (rows > 0 ||
            fail(kvbStringFormat("Dimension %d is not linked to report group "
                                 "%d",
                                 dimensionId, groupId)));
  });
}

bool MonitorRDAImpl::deleteDimensionGroups(int groupId, int dimensionId) {
  if (!ready()) return false;
  SqlStatement remove("DELETE FROM " + table("DIMGRP"));
  remove.where("GRP_ID=?", groupId, Given::kNotMinusOne)
      .where("DIM_ID=?", dimensionId, Given::kNotMinusOne);
  if (!remove.anyWhere())
    return fail(
        "Deleting dimension links needs a report group or a dimension: "
        "without either every link would go");
  return run(remove);
}

// ---------------------------------------------------------------------------
// Thresholds

bool MonitorRDAImpl::addThreshold(
    const KvbString& name, const KvbString& description, const KvbString& user,
    const KvbString& uuid, int folderId, int bandCount,
    const KvbString* bandNames, const double* bandStarts,
    const double* bandEnds, const int* bandColors, int* newId) {
  SqlFields columns = {{"THR_DESC", description}};
  return appendBands(bandCount, bandNames, bandStarts, bandEnds, bandColors,
                     columns) &&
         addDashboardObject("threshold", "THRHLD", "THR_ID", {"THR_NAME", name},
                            columns, uuid, user, folderId, newId);
}

ReposDataAccessCursor* MonitorRDAImpl::listThresholds(int thresholdId,
                                                      const KvbString& name) {
  return listGiven("THRHLD", {{"THR_ID", thresholdId, Given::kNotMinusOne},
                              {"THR_NAME", name, Given::kNotEmpty}});
}

ReposDataAccessCursor* MonitorRDAImpl::findThreshold(int thresholdId,
                                                     const KvbString& name,
                                                     const KvbString& uuid) {
  return find({"THRHLD", "THR_ID", "UUID", "THR_NAME", true, "threshold"},
              thresholdId, name, uuid);
}

bool MonitorRDAImpl::updateThreshold(int thresholdId, const KvbString& name,
                                     const KvbString& description,
                                     const KvbString& editUser, int folderId,
                                     int bandCount, const KvbString* bandNames,
                                     const double* bandStarts,
                                     const double* bandEnds,
                                     const int* bandColors) {
  SqlFields bands;
  if (!appendBands(bandCount, bandNames, bandStarts, bandEnds, bandColors,
                   bands))
    return false;
  SqlFields columns = {{"THR_DESC", description, Given::kNotNull},
                       {"FLDR_ID", folderId, Given::kNotMinusOne}};
  // Bands are written only when some are given: an update of the name
  // alone keeps them.
  if (bandCount > 0) columns.insert(columns.end(), bands.begin(), bands.end());
  return updateEdited({"THRHLD", "THR_ID", thresholdId, "threshold"},
                      {"THR_NAME", name, Given::kNotNull}, columns, editUser,
                      folderId);
}

bool MonitorRDAImpl::deleteThreshold(int thresholdId) {
  return deleteDashboardObject("THRHLD", "THR_ID", thresholdId);
}
