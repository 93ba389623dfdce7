// Every id argument of the monitoring store's writes, on every back end,
// against an id that exists, one that does not, -1 (none), 0 and another
// negative id; and every link added twice. Each cell runs in a transaction
// that is rolled back afterwards, so that all cells share one repository.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "monitor/monitor_rdaimpl.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

// What a cell expects:
//   kRefused    false, with "<Kind> <id> does not exist" as the error text
//               and as the one record (level 5), and nothing changed;
//   kKept       true, and nothing changed (an argument that is absent, a
//               delete of what is not there);
//   "refused: <text>"  as kRefused, with another text;
//   any other   true, and the row that the write reaches reads so.
const char kRefused[] = "refused";
const char kKept[] = "kept";

// The ids tried in each row: the row's own id that exists, then these.
constexpr int kTried[] = {99, -1, 0, -5};

struct IdArgument {
  const char* call;  // the method and which argument
  const char* kind;  // the argument's kind as a refusal names it
  int existing;
  std::function<bool(int)> write;
  std::function<std::string()> read;    // what the write reached
  std::array<const char*, 5> expected;  // existing, then each of kTried
};

class MonitorIdsTest : public RdaObjectTest<MonitorRDAImpl> {
 protected:
  // Folders 7 and 8; rules 10 and 11; tasks 1 "T" (rule 10 its member with
  // dimension 6 and threshold 5, and an event) and 2 "Busy" with execution
  // 5; source 1 in folder 7; report groups 1 and 2 (threshold 5);
  // dimensions 1, 3 and 6, 6 linked to group 2 with threshold 5;
  // thresholds 1, 4 and 5; property "S" of execution 5 and rule 10.
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    storeKeys("FOLDER", "FLDR_ID", {7, 8});
    storeKeys("RULE", "RU_ID", {10, 11});
    storeKeys("RPTGRP", "GRP_ID", {1});
    storeKeys("DIMENS", "DIM_ID", {1, 3, 6});
    storeKeys("THRHLD", "THR_ID", {1, 4, 5});
    exec("INSERT INTO " + table("RPTGRP") + " (GRP_ID, THR_ID) VALUES (2, 5)");
    // New dashboard objects draw ids after these.
    exec(
        "INSERT INTO " + table("UCURID") +
        " (NI_KEY, NI_VAL) VALUES ('RPTGRP', 9), ('DIMENS', 9), ('THRHLD', 9)");
    ASSERT_TRUE(monitor_->addTask("T", "c1", "", 0, "", "", nullptr));
    ASSERT_TRUE(monitor_->addTask("Busy", "c2", "", 0, "", "", nullptr));
    ASSERT_TRUE(monitor_->addSource("S", "u-s", "", 7, nullptr));
    exec("INSERT INTO " + table("EXEC") +
         " (EX_ID, JB_ID, ES_ID, GRP_ID) VALUES (5, 2, 1, 2)");
    ASSERT_TRUE(monitor_->addTaskRuleMember(1, 10, 6, 5, KvbReal(1.0)));
    ASSERT_TRUE(monitor_->addRuleEvent(1, 10, 1, "EMAIL", ""));
    ASSERT_TRUE(monitor_->addDimensionToGroup(2, 6, 5, KvbReal(1.0)));
    ASSERT_TRUE(monitor_->setExecutionProperty(5, 10, "S", "x", true));
  }

  // Column `column` of the rows of table `code` that match `where`, in
  // text order, joined by ",".
  std::string value(const char* code, const char* column, const char* where) {
    std::string out;
    for (const std::string& row : sortedRows(cursorRows(
             db_->paramSelect(KvbString("SELECT ") + column + " FROM " +
                                  table(code).c_str() + " WHERE " + where,
                              0))))
      out += (out.empty() ? "" : ",") + row;
    return out;
  }
  // How many rows of each table name `id` in `column`: "MJOB 0 JBRUME 1".
  std::string naming(const char* column, int id,
                     const std::vector<const char*>& codes) {
    std::string out;
    for (const char* code : codes)
      out += (out.empty() ? "" : " ") + std::string(code) + " " +
             std::to_string(count(code, std::string(column) + "=?", {id}));
    return out;
  }
  // What a write reached: column `column` of the rows of `code` that
  // match `where`, or how many rows of each of `codes` name `id`.
  std::function<std::string()> reads(const char* code, const char* column,
                                     const char* where) {
    return [=] { return value(code, column, where); };
  }
  std::function<std::string()> leaves(const char* column, int id,
                                      std::vector<const char*> codes) {
    return [=] { return naming(column, id, codes); };
  }
  // Every row of the monitoring tables.
  Rows state() {
    Rows all;
    for (const char* code :
         {"MJOB", "EXSRC", "JBRUME", "RULEVT", "EXPROP", "EXPRTP", "RPTGRP",
          "DIMENS", "DIMGRP", "THRHLD", "EXEC"}) {
      all.push_back(code);
      for (const std::string& row : sortedRows(cursorRows(
               db_->paramSelect("SELECT " + db_->getColumnList(code, nullptr) +
                                    " FROM " + table(code).c_str(),
                                0))))
        all.push_back(row);
    }
    return all;
  }

  // Runs `write` in a transaction that is rolled back afterwards and
  // checks its answer, error text, records and effect against `expected`
  // (see kRefused); `text` is the refusal of kRefused.
  void expectCell(const std::string& cell, const std::function<bool()>& write,
                  const std::function<std::string()>& read,
                  const std::string& expected, const std::string& text) {
    SCOPED_TRACE(cell + ", expected " + expected);
    ASSERT_TRUE(monitor_->beginTransaction(0, 0));
    const Rows before = state();
    bool answer = false;
    const Rows records = log_.failuresDuring([&] { answer = write(); }, true);
    const std::string prefix = "refused: ";
    if (expected == kRefused ||
        expected.compare(0, prefix.size(), prefix) == 0) {
      const std::string refusal =
          expected == kRefused ? text : expected.substr(prefix.size());
      EXPECT_FALSE(answer);
      EXPECT_EQ(monitor_->getErrorMessage().str(), refusal);
      EXPECT_EQ(records, Rows{"5 " + refusal});
      EXPECT_EQ(state(), before);
    } else {
      EXPECT_TRUE(answer) << monitor_->getErrorMessage().str();
      EXPECT_EQ(records, Rows{});
      if (expected == kKept)
        EXPECT_EQ(state(), before);
      else
        EXPECT_EQ(read(), expected);
    }
    monitor_->endTransaction(false);
  }

  MonitorRDAImpl*& monitor_ = object_;
  LogCapture log_;  // keeps the expected failures off the console
};

// The kind as a refusal names it: "Report group 99 does not exist".
std::string missing(const char* kind, int id) {
  std::string text = kind;
  text[0] =
      static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return text + " " + std::to_string(id) + " does not exist";
}

// An id that names an object names one that exists, or the call is
// refused; -1 is none: absent in an update or a link's threshold, stored
// as such in a report group's threshold or a dimension link's, the default
// in a rule member, refused where no none can be stored (a folder, the
// task or rule of a member, the group or dimension of a link). 0 and other
// negative ids name nothing (0 is the root folder). A delete of what is
// not there is no failure; the counts show what a delete leaves behind.
TEST_P(MonitorIdsTest, EveryIdArgumentNamesAnObjectThatExistsOrNone) {
  MonitorRDAImpl* m = monitor_;
  const KvbReal one(1.0), two(2.0);
  const KvbString none;
  const char* const R = kRefused;
  const char* const K = kKept;
  const std::array<const char*, 5> folder = {"7", R, R, "0", R},
                                   folderKept = {"7", R, K, "0", R},
                                   reference = {nullptr, R, R, R, R},
                                   absent = {nullptr, R, K, R, R},
                                   orDefault = {nullptr, R, "1", R, R},
                                   orNone = {nullptr, R, "-1", R, R};
  // The expectations of `shape` with `stored` for the id that exists.
  const auto with = [](std::array<const char*, 5> shape, const char* stored) {
    shape[0] = stored;
    return shape;
  };
  const std::vector<IdArgument> cells = {
      // Additions.
      {"addTask folder", "folder", 7,
       [=](int id) { return m->addTask("New", "n", "", id, "", "", nullptr); },
       reads("MJOB", "FLDR_ID", "JB_DESC='New'"), folder},
      {"addSource folder", "folder", 7,
       [=](int id) { return m->addSource("New", "u-n", "", id, nullptr); },
       reads("EXSRC", "FLDR_ID", "ES_NAME='New'"), folder},
      {"addReportGroup folder", "folder", 7,
       [=](int id) {
         return m->addReportGroup("New", "", 1, 1, 4, KvbDate(), "", "", id,
                                  nullptr);
       },
       reads("RPTGRP", "FLDR_ID", "GRP_NAME='New'"), folder},
      {"addReportGroup threshold", "threshold", 4,
       [=](int id) {
         return m->addReportGroup("New", "", 1, 1, id, KvbDate(), "", "", 0,
                                  nullptr);
       },
       reads("RPTGRP", "THR_ID", "GRP_NAME='New'"), with(orNone, "4")},
      {"addDimension folder", "folder", 7,
       [=](int id) { return m->addDimension("New", "", "", "", id, nullptr); },
       reads("DIMENS", "FLDR_ID", "DIM_NAME='New'"), folder},
      {"addThreshold folder", "folder", 7,
       [=](int id) {
         return m->addThreshold("New", "", "", "", id, 0, nullptr, nullptr,
                                nullptr, nullptr, nullptr);
       },
       reads("THRHLD", "FLDR_ID", "THR_NAME='New'"), folder},
      {"addRuleEvent task", "task", 1,
       [=](int id) { return m->addRuleEvent(id, 11, 7, "EMAIL", ""); },
       reads("RULEVT", "JB_ID", "EV_SEQ=7"), with(reference, "1")},
      {"addRuleEvent rule", "rule", 11,
       [=](int id) { return m->addRuleEvent(1, id, 7, "EMAIL", ""); },
       reads("RULEVT", "RU_ID", "EV_SEQ=7"), with(reference, "11")},
      {"addTaskRule task", "task", 1,
       [=](int id) { return m->addTaskRule(id, 11); },
       reads("JBRUME", "JB_ID", "RU_ID=11"), with(reference, "1")},
      {"addTaskRule rule", "rule", 11,
       [=](int id) { return m->addTaskRule(1, id); },
       reads("JBRUME", "RU_ID", "JB_ID=1"), with(reference, "10,11")},
      {"addTaskRuleMember task", "task", 1,
       [=](int id) { return m->addTaskRuleMember(id, 11, 3, 4, one); },
       reads("JBRUME", "JB_ID", "RU_ID=11"), with(reference, "1")},
      {"addTaskRuleMember rule", "rule", 11,
       [=](int id) { return m->addTaskRuleMember(1, id, 3, 4, one); },
       reads("JBRUME", "RU_ID", "JB_ID=1"), with(reference, "10,11")},
      {"addTaskRuleMember dimension", "dimension", 3,
       [=](int id) { return m->addTaskRuleMember(1, 11, id, 4, one); },
       reads("JBRUME", "DIM_ID", "RU_ID=11"), with(orDefault, "3")},
      {"addTaskRuleMember threshold", "threshold", 4,
       [=](int id) { return m->addTaskRuleMember(1, 11, 3, id, one); },
       reads("JBRUME", "THR_ID", "RU_ID=11"), with(orDefault, "4")},
      {"addDimensionToGroup group", "report group", 2,
       [=](int id) { return m->addDimensionToGroup(id, 3, 4, one); },
       reads("DIMGRP", "GRP_ID", "DIM_ID=3"), with(reference, "2")},
      {"addDimensionToGroup dimension", "dimension", 3,
       [=](int id) { return m->addDimensionToGroup(2, id, 4, one); },
       reads("DIMGRP", "DIM_ID", "GRP_ID=2"), with(reference, "3,6")},
      {"addDimensionToGroup threshold", "threshold", 4,
       [=](int id) { return m->addDimensionToGroup(2, 3, id, one); },
       reads("DIMGRP", "THR_ID", "DIM_ID=3"), with(orNone, "4")},
      // Changes.
      {"updateTask task", "task", 1,
       [=](int id) {
         return m->updateTask(id, "T1", "c9", "", KvbDate(1), "", KvbDate(2), 0,
                              "", "");
       },
       reads("MJOB", "JB_DESC", "JB_ID=1"), with(reference, "T1")},
      {"updateTask folder", "folder", 7,
       [=](int id) {
         return m->updateTask(1, "T", "c1", "", KvbDate(1), "", KvbDate(2), id,
                              "", "");
       },
       reads("MJOB", "FLDR_ID", "JB_ID=1"), folder},
      {"updateSource source", "source", 1,
       [=](int id) { return m->updateSource(id, "S1", "", -1); },
       reads("EXSRC", "ES_NAME", "ES_ID=1"), with(reference, "S1")},
      // Folder 0 keeps the source where it is, as -1 does.
      {"updateSource folder",
       "folder",
       8,
       [=](int id) { return m->updateSource(1, "S", "", id); },
       reads("EXSRC", "FLDR_ID", "ES_ID=1"),
       {"8", R, "7", "7", R}},
      {"setExecutionProperty execution", "execution", 5,
       [=](int id) { return m->setExecutionProperty(id, 10, "P", "v", true); },
       reads("EXPROP", "EX_ID", "PR_NAME='P'"), with(reference, "5")},
      {"setExecutionProperty rule", "rule", 10,
       [=](int id) { return m->setExecutionProperty(5, id, "P", "v", true); },
       reads("EXPROP", "RU_ID", "PR_NAME='P'"), with(reference, "10")},
      {"updateReportGroup group", "report group", 2,
       [=](int id) {
         return m->updateReportGroup(id, "G2", none, -1, -1, -1, KvbDate(),
                                     none, -1);
       },
       reads("RPTGRP", "GRP_NAME", "GRP_ID=2"), with(absent, "G2")},
      {"updateReportGroup threshold", "threshold", 4,
       [=](int id) {
         return m->updateReportGroup(2, none, none, -1, -1, id, KvbDate(), none,
                                     -1);
       },
       reads("RPTGRP", "THR_ID", "GRP_ID=2"), with(absent, "4")},
      {"updateReportGroup folder", "folder", 7,
       [=](int id) {
         return m->updateReportGroup(2, none, none, -1, -1, -1, KvbDate(), none,
                                     id);
       },
       reads("RPTGRP", "FLDR_ID", "GRP_ID=2"), folderKept},
      {"updateDimension dimension", "dimension", 3,
       [=](int id) { return m->updateDimension(id, "D3", none, none, -1); },
       reads("DIMENS", "DIM_NAME", "DIM_ID=3"), with(absent, "D3")},
      {"updateDimension folder", "folder", 7,
       [=](int id) { return m->updateDimension(3, none, none, none, id); },
       reads("DIMENS", "FLDR_ID", "DIM_ID=3"), folderKept},
      {"updateThreshold threshold", "threshold", 4,
       [=](int id) {
         return m->updateThreshold(id, "Th4", none, none, -1, 0, nullptr,
                                   nullptr, nullptr, nullptr);
       },
       reads("THRHLD", "THR_NAME", "THR_ID=4"), with(absent, "Th4")},
      {"updateThreshold folder", "folder", 7,
       [=](int id) {
         return m->updateThreshold(4, none, none, none, id, 0, nullptr, nullptr,
                                   nullptr, nullptr);
       },
       reads("THRHLD", "FLDR_ID", "THR_ID=4"), folderKept},
      {"updateDimensionGroup dimension", "dimension", 6,
       [=](int id) { return m->updateDimensionGroup(id, 2, -1, two); },
       reads("DIMGRP", "WGHT", "GRP_ID=2"), with(absent, "2")},
      {"updateDimensionGroup group", "report group", 2,
       [=](int id) { return m->updateDimensionGroup(6, id, -1, two); },
       reads("DIMGRP", "WGHT", "DIM_ID=6"), with(absent, "2")},
      {"updateDimensionGroup threshold", "threshold", 4,
       [=](int id) { return m->updateDimensionGroup(6, 2, id, KvbReal()); },
       reads("DIMGRP", "THR_ID", "DIM_ID=6"), with(absent, "4")},
      {"updateTaskRuleMember task", "task", 1,
       [=](int id) { return m->updateTaskRuleMember(id, 10, 3, 4, two); },
       reads("JBRUME", "WGHT", "RU_ID=10"), with(reference, "2")},
      {"updateTaskRuleMember rule", "rule", 10,
       [=](int id) { return m->updateTaskRuleMember(1, id, 3, 4, two); },
       reads("JBRUME", "WGHT", "RU_ID=10"), with(reference, "2")},
      {"updateTaskRuleMember dimension", "dimension", 3,
       [=](int id) { return m->updateTaskRuleMember(1, 10, id, 4, two); },
       reads("JBRUME", "DIM_ID", "RU_ID=10"), with(orDefault, "3")},
      {"updateTaskRuleMember threshold", "threshold", 4,
       [=](int id) { return m->updateTaskRuleMember(1, 10, 3, id, two); },
       reads("JBRUME", "THR_ID", "RU_ID=10"), with(orDefault, "4")},
      // Deletions: what is left that names the object.
      {"deleteTask task",
       "task",
       1,
       [=](int id) { return m->deleteTask(id); },
       leaves("JB_ID", 1, {"MJOB", "JBRUME", "RULEVT"}),
       {"MJOB 0 JBRUME 0 RULEVT 0", K, K, K, K}},
      {"clearTaskRules task",
       "task",
       1,
       [=](int id) { return m->clearTaskRules(id); },
       leaves("JB_ID", 1, {"MJOB", "JBRUME", "RULEVT"}),
       {"MJOB 1 JBRUME 0 RULEVT 0", K, K, K, K}},
      {"deleteSource source",
       "source",
       1,
       [=](int id) { return m->deleteSource(id); },
       leaves("ES_ID", 1, {"EXSRC", "EXEC"}),
       {"EXSRC 0 EXEC 1", K, K, K, K}},
      {"clearSource source",
       "source",
       1,
       [=](int id) { return m->clearSource(id); },
       nullptr,
       {K, K, K, K, K}},
      {"deleteExecutionProperty execution",
       "execution",
       5,
       [=](int id) { return m->deleteExecutionProperty(id, 10, "S"); },
       leaves("EX_ID", 5, {"EXPROP", "EXEC"}),
       {"EXPROP 0 EXEC 1", K, K, K, K}},
      {"deleteExecutionProperty rule",
       "rule",
       10,
       [=](int id) { return m->deleteExecutionProperty(5, id, "S"); },
       leaves("RU_ID", 10, {"EXPROP", "JBRUME"}),
       {"EXPROP 0 JBRUME 1", K, K, K, K}},
      {"deleteReportGroup group",
       "report group",
       2,
       [=](int id) { return m->deleteReportGroup(id); },
       leaves("GRP_ID", 2, {"RPTGRP", "DIMGRP", "EXEC"}),
       {"RPTGRP 0 DIMGRP 0 EXEC 0", K, K, K, K}},
      {"deleteDimension dimension",
       "dimension",
       6,
       [=](int id) { return m->deleteDimension(id); },
       leaves("DIM_ID", 6, {"DIMENS", "DIMGRP", "JBRUME"}),
       {"DIMENS 0 DIMGRP 0 JBRUME 0", K, K, K, K}},
      {"deleteThreshold threshold",
       "threshold",
       5,
       [=](int id) { return m->deleteThreshold(id); },
       leaves("THR_ID", 5, {"THRHLD", "RPTGRP", "DIMGRP", "JBRUME"}),
       {"THRHLD 0 RPTGRP 0 DIMGRP 0 JBRUME 0", K, K, K, K}},
      {"deleteDimensionGroups group",
       "report group",
       2,
       [=](int id) { return m->deleteDimensionGroups(id, -1); },
       leaves("GRP_ID", 2, {"DIMGRP", "RPTGRP"}),
       {"DIMGRP 0 RPTGRP 1", K,
        "refused: Deleting dimension links needs a report group or a "
        "dimension: without either every link would go",
        K, K}},
      {"deleteDimensionGroups dimension",
       "dimension",
       6,
       [=](int id) { return m->deleteDimensionGroups(-1, id); },
       leaves("DIM_ID", 6, {"DIMGRP", "DIMENS"}),
       {"DIMGRP 0 DIMENS 1", K,
        "refused: Deleting dimension links needs a report group or a "
        "dimension: without either every link would go",
        K, K}},
  };
  for (const IdArgument& row : cells) {
    expectCell(
        std::string(row.call) + " " + std::to_string(row.existing),
        [&] { return row.write(row.existing); }, row.read, row.expected[0], "");
    for (size_t i = 0; i < 4; ++i)
      expectCell(
          std::string(row.call) + " " + std::to_string(kTried[i]),
          [&] { return row.write(kTried[i]); }, row.read, row.expected[i + 1],
          missing(row.kind, kTried[i]));
  }
}

// A link is stored once: an add of a link that exists answers true, keeps
// the link as it is and logs why as a warning; a property set twice holds
// the later value.
TEST_P(MonitorIdsTest, LinksAreStoredOnce) {
  MonitorRDAImpl* m = monitor_;
  const std::string taken =
      kvb_get_message("test", 0, "Monitor Repository", 1211).str();
  struct Twice {
    const char* call;
    std::function<bool()> write;
    std::function<std::string()> read;
    std::string stored;
    std::string warning;
  };
  const std::vector<Twice> links = {
      {"addTaskRule", [=] { return m->addTaskRule(1, 10); },
       reads("JBRUME", "DIM_ID, THR_ID, WGHT", "JB_ID=1"), "6|5|1",
       "Not adding rule 10 to task 1 again: " + taken},
      {"addTaskRuleMember",
       [=] { return m->addTaskRuleMember(1, 10, 3, 4, KvbReal(2.0)); },
       reads("JBRUME", "DIM_ID, THR_ID, WGHT", "JB_ID=1"), "6|5|1",
       "Not adding rule 10 to task 1 again: " + taken},
      {"addDimensionToGroup",
       [=] { return m->addDimensionToGroup(2, 6, 4, KvbReal(2.0)); },
       reads("DIMGRP", "THR_ID, WGHT", "DIM_ID=6"), "5|1",
       "Not linking dimension 6 to report group 2 again: " + taken},
      {"addPropertyValue",
       [=] {
         return m->addPropertyValue("S", "x") && m->addPropertyValue("S", "x");
       },
       reads("EXPRTP", "PR_VALUE", "PR_NAME='S'"), "x",
       "Not adding the value \"x\" of the execution property \"S\" again: " +
           taken},
      {"setExecutionProperty",
       [=] { return m->setExecutionProperty(5, 10, "S", "y", true); },
       reads("EXPROP", "PR_VALUE", "PR_NAME='S'"), "y", ""},
  };
  for (const Twice& link : links) {
    SCOPED_TRACE(link.call);
    ASSERT_TRUE(monitor_->beginTransaction(0, 0));
    bool answer = false;
    EXPECT_EQ(log_.failuresDuring([&] { answer = link.write(); }, true),
              link.warning.empty() ? Rows{} : Rows{"4 " + link.warning});
    EXPECT_TRUE(answer) << monitor_->getErrorMessage().str();
    EXPECT_EQ(link.read(), link.stored);
    monitor_->endTransaction(false);
  }
  // A member that an earlier version stored twice stays twice, and an
  // update changes both.
  exec("INSERT INTO " + table("JBRUME") + " (JB_ID, RU_ID) VALUES (1, 10)");
  ASSERT_TRUE(m->updateTaskRuleMember(1, 10, 3, 4, KvbReal(2.0)));
  EXPECT_EQ(value("JBRUME", "DIM_ID, THR_ID, WGHT", "JB_ID=1"), "3|4|2,3|4|2");
}

// A task with executions stays, and the refusal names it: by its id and
// name, or by its id alone when only executions name it.
TEST_P(MonitorIdsTest, ATaskWithExecutionsIsRefusedByName) {
  exec("INSERT INTO " + table("EXEC") + " (EX_ID, JB_ID) VALUES (6, 9)");
  const std::string why =
      kvb_get_message("test", 0, "Monitor Repository", 1088).str();
  for (const auto& task :
       {std::make_pair(2, "task 2 \"Busy\""), std::make_pair(9, "task 9")}) {
    const std::string text =
        "Cannot delete " + std::string(task.second) + ": " + why;
    EXPECT_EQ(
        log_.failuresDuring(
            [&] { EXPECT_FALSE(monitor_->deleteTask(task.first)); }, true),
        Rows{"5 " + text});
    EXPECT_EQ(monitor_->getErrorMessage().str(), text);
  }
  EXPECT_EQ(count("MJOB", "JB_ID=2") + count("EXEC"), 3);
}

INSTANTIATE_RDA_TARGETS(MonitorIdsTest);

}  // namespace
