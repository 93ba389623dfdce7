// The monitoring data-access object on every back end: tasks with their
// rule members, events and sources, execution properties, and dashboards
// with their dimensions and thresholds on a repository that holds the
// defaults.
#include "monitor/monitor_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/repos_impl_targets.h"

namespace {

using Rows = std::vector<std::string>;

template <typename... Args>
std::string message(int id, const Args&... args) {
  return kvb_get_message("test", 0, "Monitor Repository", id, args...).str();
}

std::string describe(const RepositoryEvent& e) {
  return e.operation + " " + std::to_string(e.changeType) + " " +
         e.objectType.str() + " " + std::to_string(e.objectId) + " " +
         e.keyText.str() + e.uriText.str();
}

// The rows with the non-empty values of the columns `dates` (written as the
// current date) shown as "~".
Rows masked(Rows rows, std::set<size_t> dates) {
  for (std::string& row : rows) {
    std::string out;
    size_t column = 0, start = 0;
    for (size_t end; start <= row.size(); start = end + 1, ++column) {
      end = std::min(row.find('|', start), row.size());
      const std::string value = row.substr(start, end - start);
      out += (column ? "|" : "") +
             (dates.count(column) && !value.empty() ? "~" : value);
    }
    row = out;
  }
  return rows;
}

// Column 0 of each row in text order, joined by ","; "null" for a null
// cursor.
std::string ids(ReposDataAccessCursor* cursor) {
  if (!cursor) return "null";
  std::string out;
  for (const std::string& row : sortedRows(cursorRows(cursor)))
    out += (out.empty() ? "" : ",") + row.substr(0, row.find('|'));
  return out;
}

class MonitorRdaTest : public RdaObjectTest<MonitorRDAImpl> {
 protected:
  MonitorRDAImpl*& monitor_ = object_;
  LogCapture log_;  // keeps the expected failures off the console
};

// A refusal answers with what was refused, the type and the id, code,
// UUID or name in question, followed by the catalogue's text, which names
// no object; its one log record is that text (a duplicate that is no
// failure, as a warning).
TEST_P(MonitorRdaTest, RefusalsLogTheObjectTheyRefuseInOneRecord) {
  const auto refused = [&](const std::function<bool()>& change,
                           const std::string& text, const std::string& what) {
    EXPECT_EQ(log_.failuresDuring([&] { EXPECT_FALSE(change()) << what; }),
              Rows{what + ": " + text});
    EXPECT_EQ(monitor_->getErrorMessage().str(), what + ": " + text);
  };
  const auto inUse = [&](const std::function<bool()>& change,
                         const std::string& what, int messageId = 1085) {
    const std::string text = what + ": " + message(messageId);
    EXPECT_EQ(log_.failuresDuring([&] { EXPECT_FALSE(change()) << what; }),
              Rows{text});
    EXPECT_EQ(monitor_->getErrorMessage().str(), text);
  };
  int task = 0, source = 0;
  ASSERT_TRUE(monitor_->addTask("T1", "c1", "ann", 0, "", "", &task));
  ASSERT_TRUE(monitor_->addTask("T2", "c2", "ann", 0, "", "", nullptr));
  inUse([&] { return monitor_->addTask("T3", "c1", "b", 0, "", "", nullptr); },
        "Cannot add the task \"T3\" with code \"c1\"");
  inUse(
      [&] {
        return monitor_->updateTask(2, "T2", "c1", "", KvbDate(1), "",
                                    KvbDate(2), 0, "", "");
      },
      "Cannot give task 2 the code \"c1\"");
  exec("INSERT INTO " + table("EXEC") + " (EX_ID, JB_ID) VALUES (1, ?)",
       {task});
  inUse([&] { return monitor_->deleteTask(task); },
        "Cannot delete task 1 \"T1\"", 1088);

  ASSERT_TRUE(monitor_->addSource("S", "u-s", "ann", 0, &source));
  inUse([&] { return monitor_->addSource("S2", "u-s", "b", 0, nullptr); },
        "Cannot add the source \"S2\" with UUID \"u-s\"");
  ASSERT_TRUE(monitor_->addDimension("D", "", "", "u-d", 0, nullptr));
  inUse([&] { return monitor_->addDimension("D", "", "", "", 0, nullptr); },
        "Cannot add the dimension \"D\"", 1211);

  ASSERT_TRUE(monitor_->addPropertyValue("STATUS", "OPEN"));
  storeKeys("EXEC", "EX_ID", {5});
  storeKeys("RULE", "RU_ID", {10});
  refused(
      [&] {
        return monitor_->setExecutionProperty(5, 10, "STATUS", "SHUT", false);
      },
      message(1663, "SHUT"),
      "Cannot set the execution property \"STATUS\" of execution 5 and "
      "rule 10");
  EXPECT_EQ(log_.failuresDuring([&] {
    EXPECT_TRUE(monitor_->addPropertyValue("STATUS", "OPEN"));
  }),
            Rows{"Not adding the value \"OPEN\" of the execution property "
                 "\"STATUS\" again: " +
                 message(1211)});
}

TEST_P(MonitorRdaTest, TasksAreUniqueByCodeFoundAndAnnounced) {
  EventRecorder recorder(describe);
  int id = 0;
  ASSERT_TRUE(monitor_->addTask("T1", "c1", "ann", 0, "note", "One", &id));
  EXPECT_EQ(id, 1);
  storeKeys("FOLDER", "FLDR_ID", {3, 4});
  ASSERT_TRUE(monitor_->addTask("T2", "c2", "bob", 3, "", "", nullptr));
  EXPECT_FALSE(monitor_->addTask("T3", "c1", "bob", 0, "", "", &id));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Cannot add the task \"T3\" with code \"c1\": " + message(1085));
  EXPECT_EQ(id, 1);
  EXPECT_EQ(
      masked(sortedRows(rows(monitor_->listTasks())), {3, 4}),
      (Rows{"1|T1|c1|~|~|ann|ann|0|note|One", "2|T2|c2|~|~|bob|bob|3||"}));

  EXPECT_EQ(ids(monitor_->findTask(2, "T1", "c1")), "2");
  EXPECT_EQ(ids(monitor_->findTask(0, "T1", "c2")), "2");
  EXPECT_EQ(ids(monitor_->findTask(-1, "T1", "")), "1");
  EXPECT_EQ(ids(monitor_->findTask(0, "T9", "")), "");
  EXPECT_EQ(ids(monitor_->findTask(0, "", "")), "null");

  // An update writes every column; another task's code and a task that
  // does not exist are refused.
  EXPECT_FALSE(monitor_->updateTask(2, "T2", "c1", "x", KvbDate(1), "y",
                                    KvbDate(2), 0, "", ""));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Cannot give task 2 the code \"c1\": " + message(1085));
  EXPECT_FALSE(monitor_->updateTask(2, "T2", "c2", "x", KvbDate(1), "y",
                                    KvbDate(2), 5, "", ""));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Folder 5 does not exist");
  ASSERT_TRUE(monitor_->updateTask(2, "T2b", "c2b", "carl", KvbDate(1.5), "dan",
                                   KvbDate(2.5), 4, "x", "y"));
  EXPECT_EQ(rows(monitor_->getTask(2)),
            Rows{"2|T2b|c2b|1.5|2.5|carl|dan|4|x|y"});
  EXPECT_FALSE(monitor_->updateTask(9, "T9", "c9", "", KvbDate(1), "",
                                    KvbDate(1), 0, "", ""));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Task 9 does not exist");
  EXPECT_EQ(recorder.events,
            (Rows{"postObjectEvent 0 Task 1 c1", "postObjectEvent 0 Task 2 c2",
                  "postObjectEvent 2 Task 2 c2b"}));
}

// A code that holds a NUL byte is a code of its own on SQLite, where all
// its bytes are stored. PostgreSQL's texts cannot hold one: the add is
// refused with that reason and stores nothing, so the code cut at the NUL
// stays free.
TEST_P(MonitorRdaTest, ACodeWithANulByteIsStoredWholeOrRefused) {
  const KvbString withNul(std::string("ab\0cd", 5));
  int id = 0;
  const bool added = monitor_->addTask("T1", withNul, "ann", 0, "", "", &id);
  if (isPostgres()) {
    EXPECT_FALSE(added);
    EXPECT_NE(monitor_->getErrorMessage().find("holds a NUL byte, which "
                                               "PostgreSQL cannot store"),
              KvbString::npos)
        << monitor_->getErrorMessage().str();
    EXPECT_EQ(count("MJOB"), 0);
  } else {
    ASSERT_TRUE(added) << monitor_->getErrorMessage().str();
    EXPECT_EQ(count("MJOB", "JB_CODE=?", {withNul}), 1);
  }
  ASSERT_TRUE(monitor_->addTask("T2", "ab", "ann", 0, "", "", nullptr))
      << monitor_->getErrorMessage().str();
}

// Inside the caller's transaction a change is announced after the commit,
// and never when the caller rolls it back: whole, or by an inner level.
TEST_P(MonitorRdaTest, ChangesAreAnnouncedOnlyOnceCommitted) {
  EventRecorder recorder(describe);
  ASSERT_TRUE(monitor_->beginTransaction(0, 0));
  ASSERT_TRUE(monitor_->addTask("T1", "c1", "ann", 0, "", "", nullptr));
  EXPECT_TRUE(recorder.events.empty()) << "announced before the commit";
  ASSERT_TRUE(monitor_->endTransaction(false));

  ASSERT_TRUE(monitor_->beginTransaction(0, 0));
  ASSERT_TRUE(monitor_->addTask("T2", "c2", "ann", 0, "", "", nullptr));
  ASSERT_TRUE(monitor_->beginTransaction(0, 0));
  ASSERT_TRUE(monitor_->addTask("T3", "c3", "ann", 0, "", "", nullptr));
  ASSERT_TRUE(monitor_->endTransaction(false));
  ASSERT_TRUE(monitor_->endTransaction(true)) << monitor_->getErrorMessage().str();
  EXPECT_EQ(ids(monitor_->listTasks()), "1");
  EXPECT_EQ(recorder.events, Rows{"postObjectEvent 0 Task 1 c2"});
}

TEST_P(MonitorRdaTest, RuleMembersAndEventsLiveAndDieWithTheirTask) {
  EventRecorder recorder(describe);
  int task = 0;
  ASSERT_TRUE(monitor_->addTask("Nightly", "c1", "ann", 0, "", "", &task));
  storeKeys("RULE", "RU_ID", {10, 11});
  storeKeys("DIMENS", "DIM_ID", {3, 5});
  storeKeys("THRHLD", "THR_ID", {4});
  ASSERT_TRUE(monitor_->addTaskRule(task, 10));
  // A dimension or threshold of -1 (none) stands for the default; a rule
  // is a member once, and its second add keeps the first.
  ASSERT_TRUE(monitor_->addTaskRuleMember(task, 11, -1, -1, KvbReal(2.5)));
  ASSERT_TRUE(monitor_->addTaskRuleMember(task, 11, 3, 4, KvbReal()));
  EXPECT_EQ(rows(monitor_->listTaskRuleMembers(task)),
            (Rows{"1|10|1|1|1", "1|11|1|1|2.5"}));
  ASSERT_TRUE(monitor_->updateTaskRuleMember(task, 11, 5, -1, KvbReal(0.5)));
  EXPECT_EQ(sortedRows(rows(monitor_->listTaskRuleMembers(task))),
            (Rows{"1|10|1|1|1", "1|11|5|1|0.5"}));
  ASSERT_TRUE(monitor_->addRuleEvent(task, 10, 1, "EMAIL", "<to/>"));
  ASSERT_TRUE(monitor_->addRuleEvent(task, 11, 2, "LOGFILE", ""));
  EXPECT_EQ(sortedRows(rows(monitor_->listRuleEvents(task))),
            (Rows{"1|10|1|EMAIL|<to/>", "1|11|2|LOGFILE|"}));
  EXPECT_TRUE(rows(monitor_->listRuleEvents(2)).empty());

  // A task with executions stays whole.
  exec("INSERT INTO " + table("EXEC") + " (EX_ID, JB_ID) VALUES (1, ?)",
       {task});
  EXPECT_FALSE(monitor_->deleteTask(task));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Cannot delete task 1 \"Nightly\": " + message(1088));
  EXPECT_EQ(count("JBRUME") + count("RULEVT") + count("MJOB"), 5);

  exec("DELETE FROM " + table("EXEC"));
  ASSERT_TRUE(monitor_->deleteTask(task));
  EXPECT_EQ(count("JBRUME") + count("RULEVT") + count("MJOB"), 0);
  // A task that is gone has no path: deleting it again is no failure, is
  // announced nowhere and logs nothing.
  EXPECT_EQ(loggedFailures([&] { EXPECT_TRUE(monitor_->deleteTask(task)); }),
            Rows{});
  EXPECT_TRUE(monitor_->clearTaskRules(task));
  EXPECT_EQ(recorder.events,
            (Rows{"postObjectEvent 0 Task 1 c1",
                  "postUriEvent 1 Task -1 repos:///Nightly?type=Task"}));
}

TEST_P(MonitorRdaTest, FailuresPartWayLeaveEveryRow) {
  ASSERT_TRUE(monitor_->addTask("T", "c", "", 0, "", "", nullptr));
  storeKeys("RULE", "RU_ID", {10});
  storeKeys("DIMENS", "DIM_ID", {2});
  storeKeys("THRHLD", "THR_ID", {4});
  ASSERT_TRUE(monitor_->addTaskRuleMember(1, 10, 2, 4, KvbReal(1.0)));
  exec("DROP TABLE " + table("RULEVT"));
  EXPECT_FALSE(monitor_->deleteTask(1));
  EXPECT_FALSE(monitor_->clearTaskRules(1));
  exec("DROP TABLE " + table("RPTGRP"));
  EXPECT_FALSE(monitor_->deleteThreshold(4));
  EXPECT_EQ(count("MJOB") + count("THRHLD"), 2);
  EXPECT_EQ(rows(monitor_->listTaskRuleMembers(1)), Rows{"1|10|2|4|1"});
}

// An object goes only into a folder that exists, and a rule member or event
// only joins a task and a rule that exist: anything else could not be
// reached.
TEST_P(MonitorRdaTest, ObjectsAreFiledAndLinkedOnlyWhereTheTargetExists) {
  int id = -1;
  EXPECT_FALSE(monitor_->addTask("T", "c", "", 999, "", "", &id));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Folder 999 does not exist");
  EXPECT_FALSE(monitor_->addSource("S", "u", "", 999, &id));
  EXPECT_FALSE(monitor_->addDimension("D", "", "", "u", 999, &id));
  EXPECT_EQ(id, -1);
  EXPECT_EQ(count("MJOB") + count("EXSRC") + count("DIMENS"), 0);
  storeKeys("FOLDER", "FLDR_ID", {999});
  ASSERT_TRUE(monitor_->addTask("T", "c", "", 999, "", "", &id));

  EXPECT_FALSE(monitor_->addTaskRule(id, 77));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Rule 77 does not exist");
  storeKeys("RULE", "RU_ID", {77});
  EXPECT_FALSE(monitor_->addTaskRule(id + 1, 77));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Task " + std::to_string(id + 1) + " does not exist");
  EXPECT_FALSE(monitor_->addRuleEvent(id + 1, 77, 1, "EMAIL", ""));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Task " + std::to_string(id + 1) + " does not exist");
  EXPECT_FALSE(monitor_->addRuleEvent(id, 78, 1, "EMAIL", ""));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Rule 78 does not exist");
  EXPECT_EQ(count("JBRUME") + count("RULEVT"), 0);
  EXPECT_TRUE(monitor_->addTaskRule(id, 77));
  EXPECT_TRUE(monitor_->addRuleEvent(id, 77, 1, "EMAIL", ""));
}

TEST_P(MonitorRdaTest, SourcesAreUniqueByUuidAndAnnouncedOnceStored) {
  storeKeys("FOLDER", "FLDR_ID", {5});
  EventRecorder recorder(describe);
  int id = 0;
  storeKeys("FOLDER", "FLDR_ID", {2});
  ASSERT_TRUE(monitor_->addSource("S1", "u1", "ann", 2, &id));
  EXPECT_FALSE(monitor_->addSource("S2", "u1", "ann", 2, nullptr));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Cannot add the source \"S2\" with UUID \"u1\": " + message(1085));
  EXPECT_EQ(ids(monitor_->findSource(0, "S1", "")), "1");
  EXPECT_EQ(ids(monitor_->findSource(0, "S1", "u9")), "");

  // The folder moves only to a folder above 0.
  ASSERT_TRUE(monitor_->updateSource(id, "S1b", "bob", 0));
  EXPECT_EQ(masked(rows(monitor_->getSource(id)), {4, 5}),
            Rows{"1||S1b|u1|~|~|ann|bob|2"});
  ASSERT_TRUE(monitor_->updateSource(id, "S1c", "cy", 5));
  EXPECT_EQ(masked(rows(monitor_->listSources()), {4, 5}),
            Rows{"1||S1c|u1|~|~|ann|cy|5"});
  EXPECT_FALSE(monitor_->updateSource(id, "S1d", "cy", 99));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Folder 99 does not exist");
  EXPECT_FALSE(monitor_->updateSource(7, "S7", "cy", 5));
  EXPECT_EQ(monitor_->getErrorMessage().str(), "Source 7 does not exist");

  EXPECT_TRUE(monitor_->deleteSource(7));
  EXPECT_TRUE(monitor_->deleteSource(id));
  EXPECT_EQ(count("EXSRC"), 0);
  EXPECT_TRUE(monitor_->clearSource(id));
  EXPECT_EQ(
      recorder.events,
      (Rows{"postObjectEvent 0 Source 1 u1", "postObjectEvent 2 Source 1 ",
            "postObjectEvent 2 Source 1 ", "postObjectEvent 1 Source 1 "}));
}

TEST_P(MonitorRdaTest, ExecutionPropertiesTakeOnlyValidValues) {
  int id = 0;
  ASSERT_TRUE(monitor_->addCustomMetric("M", "a", "b", "c", nullptr));
  ASSERT_TRUE(monitor_->addCustomMetric("M", "", "x", "", &id));
  EXPECT_EQ(id, 2);
  EXPECT_EQ(sortedRows(rows(monitor_->findCustomMetricByName("M"))),
            (Rows{"1|M|a|b|c||", "2|M||x|||"}));

  ASSERT_TRUE(monitor_->addPropertyValue("STATUS", "OPEN"));
  EXPECT_TRUE(monitor_->addPropertyValue("STATUS", "OPEN"));
  EXPECT_TRUE(log_.contains(message(1211), 4));
  EXPECT_EQ(rows(monitor_->listPropertyValues()), Rows{"STATUS|OPEN"});
  storeKeys("EXEC", "EX_ID", {5});
  storeKeys("RULE", "RU_ID", {10});

  EXPECT_FALSE(monitor_->setExecutionProperty(5, 10, "STATUS", "SHUT", false));
  EXPECT_EQ(monitor_->getErrorMessage().str(),
            "Cannot set the execution property \"STATUS\" of execution 5 "
            "and rule 10: " +
                message(1663, "SHUT"));
  ASSERT_TRUE(monitor_->setExecutionProperty(5, 10, "STATUS", "OPEN", false));
  ASSERT_TRUE(monitor_->setExecutionProperty(5, 10, "STATUS", "SHUT", true));
  // Names are matched exactly: another spelling is another property.
  ASSERT_TRUE(monitor_->setExecutionProperty(5, 10, "status", "x", true));
  EXPECT_EQ(sortedRows(rows(monitor_->listExecutionProperties(5, 10))),
            (Rows{"5|STATUS|SHUT|10", "5|status|x|10"}));
  EXPECT_TRUE(rows(monitor_->listExecutionProperties(5, 11)).empty());

  ASSERT_TRUE(monitor_->deleteExecutionProperty(5, 10, "status"));
  ASSERT_TRUE(monitor_->deletePropertyValue("STATUS", "OPEN"));
  EXPECT_EQ(count("EXPROP") + count("EXPRTP"), 1);
}

TEST_P(MonitorRdaTest, ReportGroupExecutionsListMembersNewestFirst) {
  ASSERT_TRUE(monitor_->addTask("T1", "c1", "", 0, "n1", "d1", nullptr));
  ASSERT_TRUE(monitor_->addTask("T2", "c2", "", 0, "", "", nullptr));
  for (int rule : {10, 11})
    exec("INSERT INTO " + table("RULE") +
             " (RU_ID, RU_DESC, RU_COMM, RU_DISP) VALUES (?, 'R', 'C', 'D')",
         {rule});
  ASSERT_TRUE(monitor_->addTaskRule(1, 10));
  storeKeys("DIMENS", "DIM_ID", {2});
  storeKeys("THRHLD", "THR_ID", {3});
  ASSERT_TRUE(monitor_->addTaskRuleMember(1, 11, 2, 3, KvbReal(0.5)));
  exec("INSERT INTO " + table("TRIG") +
       " (EX_ID, RU_ID, TR_CNT) VALUES (1, 10, 4)");
  // (EX_ID, JB_ID, GRP_ID, EX_DATE, EX_NROWS): outside the bounds, of
  // another group or without a row count are left out.
  for (std::vector<KvbDatavar> run :
       {std::vector<KvbDatavar>{1, 1, 5, 10.0, 100},
        {2, 2, 5, 20.0, 50},
        {3, 1, 5, 25.0, -1},
        {4, 1, 6, 15.0, 7},
        {5, 1, 5, 5.0, 9},
        {6, 1, 5, 30.0, 9}})
    exec("INSERT INTO " + table("EXEC") +
             " (EX_ID, JB_ID, GRP_ID, EX_DATE, EX_NROWS) VALUES (?,?,?,?,?)",
         run);
  const Rows found =
      rows(monitor_->listReportGroupExecutions(5, KvbDate(5.0), KvbDate(30.0)));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], "50|||||||||2|T2|||c2|5|20");
  EXPECT_EQ(sortedRows({found[1], found[2]}),
            (Rows{"100|4|1|1|1|10|R|C|D|1|T1|n1|d1|c1|5|10",
                  "100||2|0.5|3|11|R|C|D|1|T1|n1|d1|c1|5|10"}));
}

// Table names that hold "WHERE" and "SET" do not confuse the clauses.
TEST_P(MonitorRdaTest, TableNamesDoNotOpenClauses) {
  if (isFile()) GTEST_SKIP() << "a SQLite file has no table prefix";
  ReposDataAccess* other = open(KvbString((prefix_ + "SET_WHERE_").c_str()));
  ASSERT_NE(other, nullptr);
  TableCreateOptions options;
  options.createTables = true;
  ASSERT_TRUE(other->createTables(options))
      << other->getErrorMessage().asCstr();
  MonitorRDAImpl* monitor = new MonitorRDAImpl(other);
  // The report group and dimension that the link joins.
  ASSERT_TRUE(boundExecute(other,
                           "INSERT INTO " + other->getTableName("RPTGRP", true,
                                                                -1) +
                               " (GRP_ID) VALUES (2)",
                           {}));
  ASSERT_TRUE(boundExecute(other,
                           "INSERT INTO " + other->getTableName("DIMENS", true,
                                                                -1) +
                               " (DIM_ID) VALUES (7)",
                           {}));
  EXPECT_TRUE(monitor->addDimensionToGroup(2, 7, 1, KvbReal(1.0)));
  EXPECT_TRUE(monitor->updateDimensionGroup(7, 2, -1, KvbReal(3.0)));
  EXPECT_EQ(rows(monitor->listDimensionGroups(-1, 2)), Rows{"7|2|1|3"});
  EXPECT_TRUE(monitor->deleteDimensionGroups(2, -1));
  EXPECT_TRUE(rows(monitor->listDimensionGroups(-1, -1)).empty());
  monitor->release();
  other->release();
}

INSTANTIATE_RDA_TARGETS(MonitorRdaTest);

// On a created repository, which holds the default report group, threshold
// and dimensions (id 1).
class MonitorDashboardTest : public ReposImplTest {
 protected:
  void SetUp() override {
    ReposImplTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    RepositoryImpl* repos = open();
    ASSERT_TRUE(repos && create(repos));
    monitor_ = repos->createMonitorDataAccess();
    ASSERT_NE(monitor_, nullptr);
  }
  void TearDown() override {
    if (monitor_) monitor_->release();
    ReposImplTest::TearDown();
  }
  std::string error() { return monitor_->getErrorMessage().str(); }
  static Rows rows(ReposDataAccessCursor* cursor) { return cursorRows(cursor); }

  MonitorRepositoryDataAccess* monitor_ = nullptr;
  LogCapture log_;
};

TEST_P(MonitorDashboardTest, ThresholdsKeepSevenBands) {
  const KvbString names[] = {"Low", "Mid", "High", "4", "5",
                             "6",   "7",   "8",    "9"};
  const double starts[] = {0, 50, 90, 3, 4, 5, 6, 7, 8};
  const double ends[] = {50, 90, 100, 4, 5, 6, 7, 8, 9};
  const int colors[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  int id = 0;
  ASSERT_TRUE(monitor_->addThreshold("Th", "d", "ann", "ut", 0, 3, names,
                                     starts, ends, colors, &id));
  const std::string unused(16, '|');  // bands 3 to 6
  EXPECT_EQ(
      masked(rows(monitor_->listThresholds(id, "")), {4, 5}),
      Rows{"2|Th|d|ut|~|~|ann|ann|0|Low|0|50|1|Mid|50|90|2|High|90|100|3" +
           unused});
  ASSERT_TRUE(monitor_->addThreshold("All", "", "", "", 0, 9, names, starts,
                                     ends, colors, nullptr));
  EXPECT_EQ(masked(rows(monitor_->findThreshold(0, "All", "")), {4, 5}),
            Rows{"3|All|||~|~|||0|Low|0|50|1|Mid|50|90|2|High|90|100|3|"
                 "4|3|4|4|5|4|5|5|6|5|6|6|7|6|7|7"});
  EXPECT_FALSE(monitor_->addThreshold("Th", "", "", "", 0, 0, nullptr, nullptr,
                                      nullptr, nullptr, nullptr));
  EXPECT_EQ(error(), "Cannot add the threshold \"Th\": " + message(1211));
  EXPECT_FALSE(monitor_->addThreshold("X", "", "", "", 0, 2, nullptr, starts,
                                      ends, colors, nullptr));

  // Given bands replace all seven; a rename keeps them; the edit user alone
  // is no change.
  ASSERT_TRUE(monitor_->updateThreshold(id, KvbString(), KvbString(), "bob", -1,
                                        1, names + 2, starts, ends, colors));
  ASSERT_TRUE(monitor_->updateThreshold(id, "Th2", KvbString(), KvbString(), -1,
                                        0, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(monitor_->updateThreshold(id, KvbString(), KvbString(), "cy", -1,
                                        0, nullptr, nullptr, nullptr, nullptr));
  // Bands counted but not given change nothing.
  EXPECT_FALSE(monitor_->updateThreshold(id, "Lost", KvbString(), "dan", -1, 2,
                                         names, nullptr, ends, colors));
  EXPECT_EQ(
      masked(rows(monitor_->findThreshold(0, "", "ut")), {4, 5}),
      Rows{"2|Th2|d|ut|~|~|ann|bob|0|High|0|50|1" + std::string(24, '|')});
  EXPECT_EQ(ids(monitor_->listThresholds(-1, "")), "1,2,3");
}

TEST_P(MonitorDashboardTest, ReportGroupsAndDimensionsAreNamedOnceAndLinked) {
  int group = 0, dim = 0, thr = 0;
  for (const char* name : {"Th2", "Th3"})  // thresholds 2 and 3
    ASSERT_TRUE(monitor_->addThreshold(name, "", "", "", 0, 0, nullptr,
                                       nullptr, nullptr, nullptr, &thr));
  ASSERT_EQ(thr, 3);
  ASSERT_TRUE(monitor_->addReportGroup("G", "gd", 7, 24, 1, KvbDate(), "ann",
                                       "ug", 0, &group));
  EXPECT_FALSE(monitor_->addReportGroup("G", "", 1, 1, 1, KvbDate(), "", "", 0,
                                        nullptr));
  EXPECT_EQ(error(), "Cannot add the report group \"G\": " + message(1211));
  EXPECT_EQ(masked(rows(monitor_->listReportGroups(-1, "G")), {8, 9}),
            Rows{"2|G|gd|7|24|1||ug|~|~|ann|ann|0"});
  EXPECT_EQ(ids(monitor_->listReportGroups(group, "Default")), "");
  EXPECT_EQ(ids(monitor_->listReportGroups(-1, "")), "1,2");

  // Every column given is written, the threshold and the folder too; a
  // folder that does not exist is refused.
  exec("INSERT INTO " + table("FOLDER") + " (FLDR_ID) VALUES (9), (4)");
  EXPECT_FALSE(monitor_->updateReportGroup(group, "G3", "", 3, -1, -1,
                                           KvbDate(5.0), "bob", 99));
  EXPECT_EQ(error(), "Folder 99 does not exist");
  ASSERT_TRUE(monitor_->updateReportGroup(group, KvbString(), KvbString(), -1,
                                          -1, 3, KvbDate(), KvbString(), -1));
  ASSERT_TRUE(monitor_->updateReportGroup(group, "G2", "", 3, -1, -1,
                                          KvbDate(5.0), "bob", 9));
  EXPECT_EQ(masked(rows(monitor_->listReportGroupsByThreshold(3)), {8, 9}),
            Rows{"2|G2||3|24|3|5|ug|~|~|ann|bob|9"});

  ASSERT_TRUE(monitor_->addDimension("Dm", "dd", "ann", "ud", 0, &dim));
  EXPECT_EQ(dim, 7);
  EXPECT_FALSE(monitor_->addDimension("Accuracy", "", "", "", 0, nullptr));
  EXPECT_EQ(error(), "Cannot add the dimension \"Accuracy\": " + message(1211));
  ASSERT_TRUE(
      monitor_->updateDimension(dim, KvbString(), KvbString(), "bob", 4));
  EXPECT_EQ(masked(rows(monitor_->findDimension(0, "", "ud")), {4, 5}),
            Rows{"7|Dm|dd|ud|~|~|ann|bob|4"});
  EXPECT_EQ(ids(monitor_->findDimension(0, "Dm", "")), "7");

  ASSERT_TRUE(monitor_->addDimensionToGroup(group, dim, 1, KvbReal(0.5)));
  EXPECT_TRUE(monitor_->addDimensionToGroup(group, dim, 3, KvbReal(9)));
  EXPECT_TRUE(log_.contains(message(1211), 4));
  ASSERT_TRUE(monitor_->updateDimensionGroup(dim, group, -1, KvbReal(2)));
  EXPECT_EQ(rows(monitor_->listDimensionGroups(-1, group)), Rows{"7|2|1|2"});
  EXPECT_EQ(rows(monitor_->listDimensionGroups(dim, -1)), Rows{"7|2|1|2"});
  // Without a key or without a value the link stays as it is.
  EXPECT_TRUE(monitor_->updateDimensionGroup(dim, group, -1, KvbReal()));
  EXPECT_TRUE(monitor_->updateDimensionGroup(-1, group, 3, KvbReal(5)));
  EXPECT_TRUE(monitor_->updateDimensionGroup(dim, -1, 3, KvbReal(5)));
  EXPECT_EQ(rows(monitor_->listDimensionGroups(dim, group)), Rows{"7|2|1|2"});
  ASSERT_TRUE(monitor_->updateDimensionGroup(dim, group, 3, KvbReal()));
  EXPECT_EQ(rows(monitor_->listDimensionGroups(dim, group)), Rows{"7|2|3|2"});
}

TEST_P(MonitorDashboardTest, DeletedObjectsHandTheirUsersToTheDefaults) {
  int thr = 0, group = 0, dim = 0;
  ASSERT_TRUE(monitor_->addThreshold("Th", "", "", "", 0, 0, nullptr, nullptr,
                                     nullptr, nullptr, &thr));
  ASSERT_TRUE(monitor_->addReportGroup("G", "", 1, 1, thr, KvbDate(), "", "", 0,
                                       &group));
  ASSERT_TRUE(monitor_->addDimension("Dm", "", "", "", 0, &dim));
  ASSERT_TRUE(monitor_->addDimensionToGroup(group, dim, thr, KvbReal(1)));
  ASSERT_TRUE(monitor_->addDimensionToGroup(group, 1, thr, KvbReal(1)));
  ASSERT_TRUE(monitor_->addTask("T", "c", "", 0, "", "", nullptr));
  for (int rule : {10, 11})
    exec("INSERT INTO " + table("RULE") + " (RU_ID) VALUES (?)", {rule});
  ASSERT_TRUE(monitor_->addTaskRuleMember(1, 10, dim, thr, KvbReal(1)));
  ASSERT_TRUE(monitor_->addTaskRule(1, 11));
  exec("INSERT INTO " + table("EXEC") +
           " (EX_ID, JB_ID, GRP_ID) VALUES (1, 1, ?)",
       {group});
  // A member without its own dimension or threshold names the defaults.
  EXPECT_EQ(ids(monitor_->listDimensions(1, "Accuracy")), "1");
  EXPECT_EQ(ids(monitor_->findThreshold(1, "", "")), "1");

  // The defaults and absent ids are never deleted.
  const int before = count("RPTGRP") + count("DIMENS") + count("THRHLD");
  for (int id : {1, -1})
    EXPECT_TRUE(monitor_->deleteThreshold(id) &&
                monitor_->deleteReportGroup(id) &&
                monitor_->deleteDimension(id));
  EXPECT_EQ(count("RPTGRP") + count("DIMENS") + count("THRHLD"), before);

  ASSERT_TRUE(monitor_->deleteThreshold(thr));
  EXPECT_EQ(count("THRHLD", "THR_ID=?", {thr}) +
                count("JBRUME", "THR_ID=?", {thr}) +
                count("DIMGRP", "THR_ID=?", {thr}) +
                count("RPTGRP", "THR_ID=?", {thr}),
            0);
  ASSERT_TRUE(monitor_->deleteDimension(dim));
  EXPECT_EQ(sortedRows(rows(monitor_->listTaskRuleMembers(1))),
            (Rows{"1|10|1|1|1", "1|11|1|1|1"}));
  EXPECT_EQ(count("DIMGRP", "DIM_ID=?", {dim}), 0);
  ASSERT_TRUE(monitor_->deleteReportGroup(group));
  EXPECT_EQ(count("EXEC", "GRP_ID=1"), 1);
  EXPECT_EQ(count("DIMGRP", "GRP_ID=?", {group}), 0);

  // Link deletions need a report group or a dimension.
  const int links = count("DIMGRP");
  EXPECT_FALSE(monitor_->deleteDimensionGroups(-1, -1));
  EXPECT_EQ(count("DIMGRP"), links);
  ASSERT_TRUE(monitor_->deleteDimensionGroups(1, 2));
  EXPECT_EQ(count("DIMGRP"), links - 1);
  ASSERT_TRUE(monitor_->deleteDimensionGroups(-1, 3));
  EXPECT_EQ(count("DIMGRP"), links - 2);
}

INSTANTIATE_REPOS_TARGETS(MonitorDashboardTest);

}  // namespace
