// A write that names an object and a delete of that object, on two
// connections at once, never both succeed so that a row names an object
// that is gone, on every back end. Each pair is forced both ways: the first
// connection does its call inside a host transaction and commits only once
// the second is seen waiting (on a server, in its table of locks). A delete
// that comes second waits, and then removes (or repoints) the row the write
// stored; a write that comes second waits, and is then refused as the same
// write is refused once the object is gone.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "monitor/monitor_rdaimpl.h"
#include "profile/prof_rdaimpl.h"
#include "support/connection_stores.h"
#include "support/connection_waits.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {


using Call = std::function<bool(Stores&, int id)>;

// A delete of the object `id` of a kind, and what the refusal of a write
// that names a missing one says ("Rule 901 does not exist").
struct Delete {
  const char* name;
  const char* refusal;  // printf form with the id
  Call run;
};

const Delete kRule = {"deleteRule", "Rule %d does not exist",
                      [](Stores& s, int id) { return s.common->deleteRule(id); }};
const Delete kCategory = {
    "deleteGlobalCategory", "Global category %d does not exist",
    [](Stores& s, int id) { return s.common->deleteGlobalCategory(id); }};
const Delete kTask = {
    "deleteTask", "Task %d does not exist",
    [](Stores& s, int id) { return s.monitor->deleteTask(id); }};
const Delete kGroup = {
    "deleteReportGroup", "Report group %d does not exist",
    [](Stores& s, int id) { return s.monitor->deleteReportGroup(id); }};
const Delete kDimension = {
    "deleteDimension", "Dimension %d does not exist",
    [](Stores& s, int id) { return s.monitor->deleteDimension(id); }};
const Delete kThreshold = {
    "deleteThreshold", "Threshold %d does not exist",
    [](Stores& s, int id) { return s.monitor->deleteThreshold(id); }};
const Delete kJob = {
    "deleteProfileJob", "Profile job %d does not exist",
    [](Stores& s, int id) { return s.profile->deleteProfileJob(id); }};
// The job stays; its data sources go, and a table names one.
const Delete kJobDetails = {
    "deleteProfileJobDetails", "Job data source %d does not exist",
    [](Stores& s, int id) { return s.profile->deleteProfileJobDetails(id); }};

// A write that stores a reference to object `id` of the delete's kind
// (every other object it names is `id` of its own kind, which stays), and
// the rows that name the deleted object afterwards: none may remain once
// the delete answered true.
struct Pair {
  const Delete* erase;
  const char* write;
  Call run;
  const char* table;
  const char* column;
  std::string what() const { return std::string(erase->name) + " / " + write; }
};

const std::vector<Pair>& pairs() {
  auto field = [](Stores& s, int id) {
    return s.common->addRuleField(id, "F", "d");
  };
  auto ruleMetric = [](Stores& s, int id) {
    return s.common->addRuleCustomMetric(id, id, 1);
  };
  auto fieldMap = [](Stores& s, int id) {
    return s.common->addCustomMetricFieldMap(id, id, 1, "F", "C", "I");
  };
  auto property = [](Stores& s, int id) {
    return s.monitor->setExecutionProperty(id, id, "P", "V", true);
  };
  auto event = [](Stores& s, int id) {
    return s.monitor->addRuleEvent(id, id, 1, "E", "data");
  };
  auto member = [](Stores& s, int id) {
    return s.monitor->addTaskRuleMember(id, id, id, id, KvbReal(2.0));
  };
  auto taskRule = [](Stores& s, int id) {
    return s.monitor->addTaskRule(id, id);
  };
  auto memberUpdate = [](Stores& s, int id) {
    return s.monitor->updateTaskRuleMember(id + 1, id + 1, id, id,
                                           KvbReal(3.0));
  };
  auto toGroup = [](Stores& s, int id) {
    return s.monitor->addDimensionToGroup(id, id, id, KvbReal(1.0));
  };
  auto groupUpdate = [](Stores& s, int id) {
    return s.monitor->updateDimensionGroup(id + 1, id + 1, id, KvbReal(1.0));
  };
  auto group = [](Stores& s, int id) {
    int made = -1;
    return s.monitor->addReportGroup(
        ("G" + std::to_string(id)).c_str(), "", 1, 1, id, KvbDate(), "u", "",
        0, &made);
  };
  auto groupThreshold = [](Stores& s, int id) {
    return s.monitor->updateReportGroup(id + 1, KvbString(), KvbString(), -1,
                                        -1, id, KvbDate(), "u", -1);
  };
  static const std::vector<Pair> all = {
      {&kRule, "addRuleField", field, "RUFIME", "RU_ID"},
      {&kRule, "addRuleCustomMetric", ruleMetric, "RUCMME", "RU_ID"},
      {&kRule, "addCustomMetricFieldMap", fieldMap, "CMFMAP", "RU_ID"},
      {&kRule, "setExecutionProperty", property, "EXPROP", "RU_ID"},
      {&kRule, "addRuleEvent", event, "RULEVT", "RU_ID"},
      {&kRule, "addTaskRuleMember", member, "JBRUME", "RU_ID"},
      {&kRule, "addTaskRule", taskRule, "JBRUME", "RU_ID"},
      {&kCategory, "addGlobalCategoryDefinition",
       [](Stores& s, int id) {
         return s.common->addGlobalCategoryDefinition(id, "en", 1, "D", 1, "T",
                                                      "") > 0;
       },
       "GCDEF", "GC_ID"},
      {&kCategory, "addGlobalCategoryField",
       [](Stores& s, int id) {
         return s.common->addGlobalCategoryField(id, "dsn", "", "", "T", "F",
                                                 true, "C", 10, 1);
       },
       "GCFLD", "GC_ID"},
      {&kTask, "addRuleEvent", event, "RULEVT", "JB_ID"},
      {&kTask, "addTaskRule", taskRule, "JBRUME", "JB_ID"},
      {&kTask, "addTaskRuleMember", member, "JBRUME", "JB_ID"},
      {&kGroup, "addDimensionToGroup", toGroup, "DIMGRP", "GRP_ID"},
      {&kDimension, "addDimensionToGroup", toGroup, "DIMGRP", "DIM_ID"},
      {&kDimension, "addTaskRuleMember", member, "JBRUME", "DIM_ID"},
      {&kDimension, "updateTaskRuleMember", memberUpdate, "JBRUME", "DIM_ID"},
      {&kThreshold, "addTaskRuleMember", member, "JBRUME", "THR_ID"},
      {&kThreshold, "updateTaskRuleMember", memberUpdate, "JBRUME", "THR_ID"},
      {&kThreshold, "addReportGroup", group, "RPTGRP", "THR_ID"},
      {&kThreshold, "updateReportGroup", groupThreshold, "RPTGRP", "THR_ID"},
      {&kThreshold, "addDimensionToGroup", toGroup, "DIMGRP", "THR_ID"},
      {&kThreshold, "updateDimensionGroup", groupUpdate, "DIMGRP", "THR_ID"},
      {&kJob, "addJobKeyValue",
       [](Stores& s, int id) { return s.profile->addJobKeyValue(id, "K", "V"); },
       "JKEYVL", "SU_ID"},
      {&kJob, "addJobDsn",
       [](Stores& s, int id) {
         return s.profile->addJobDsn(id, "D2", "", "") > 0;
       },
       "JDSN", "SU_ID"},
      {&kJobDetails, "addJobTable",
       [](Stores& s, int id) {
         return s.profile->addJobTable(id, id, "", "", "T", "", "", "", 0, "",
                                       "", "", 0, 0, 0, "", 0, 0, "") > 0;
       },
       "JTABLE", "SU_ID"},
  };
  return all;
}

// Which call the first connection makes inside its host transaction.
enum class First { kWrite, kDelete };

struct Outcome {
  bool deleted = false;
  bool written = false;
  std::string writeText;
};

class ReferencesAcrossDeletesTest : public WaitingTargetTest {
 protected:
  // Object `id` of every kind that a write names, with the rows that the
  // updates change: task/rule member and dimension link `id + 1` (whose
  // objects `id + 1` exist too).
  void storeObjects(int id) {
    for (int key : {id, id + 1})
      for (const auto& row : std::vector<std::pair<const char*, const char*>>{
               {"RULE", "RU_ID"},   {"CUSTM", "CM_ID"},  {"GCATS", "GC_ID"},
               {"MJOB", "JB_ID"},   {"EXEC", "EX_ID"},   {"RPTGRP", "GRP_ID"},
               {"DIMENS", "DIM_ID"}, {"THRHLD", "THR_ID"},
               {"JSETUP", "SU_ID"}})
        exec("INSERT INTO " + table(row.first) + " (" + row.second +
                 ") VALUES (?)",
             {key});
    exec("INSERT INTO " + table("JDSN") + " (DSN_ID, SU_ID) VALUES (?, ?)",
         {id, id});
    exec("INSERT INTO " + table("JBRUME") +
             " (JB_ID, RU_ID, DIM_ID, THR_ID, WGHT) VALUES (?, ?, 1, 1, 1)",
         {id + 1, id + 1});
    exec("INSERT INTO " + table("DIMGRP") +
             " (DIM_ID, GRP_ID, THR_ID, WGHT) VALUES (?, ?, 1, 1)",
         {id + 1, id + 1});
  }

  // The first connection makes its call in a host transaction, the second
  // makes the other call meanwhile; the first commits once the second waits
  // (or, where it does not, once it has ended).
  Outcome race(Stores& first, Stores& second, const Pair& pair, First who,
               int id) {
    Outcome out;
    const Call& held = who == First::kWrite ? pair.run : pair.erase->run;
    const Call& other = who == First::kWrite ? pair.erase->run : pair.run;
    bool& heldAnswer = who == First::kWrite ? out.written : out.deleted;
    bool& otherAnswer = who == First::kWrite ? out.deleted : out.written;
    EXPECT_TRUE(first.common->beginTransaction(0, 0)) << first.why();
    heldAnswer = held(first, id);
    if (who == First::kWrite) out.writeText = first.why();
    ConnectionWaits waits(rda_, second.rda, isPostgres());
    attemptWhileHeld<bool>(
        waits, LetGo::kOnceItWaits,
        [&](bool commit) { first.common->endTransaction(commit); },
        [&] {
          const bool answer = other(second, id);
          if (who == First::kDelete) out.writeText = second.why();
          return answer;
        },
        &otherAnswer);
    return out;
  }
  LogCapture log_;  // keeps the expected refusals off the console
};

TEST_P(ReferencesAcrossDeletesTest, NoRowNamesADeletedObject) {
  ReposDataAccess* a = open();
  ReposDataAccess* b = open();
  ASSERT_TRUE(a && b);
  {
    Stores first(a), second(b);
    int id = 1000;
    for (const Pair& pair : pairs())
      for (First who : {First::kWrite, First::kDelete}) {
        id += 10;
        SCOPED_TRACE(pair.what() + (who == First::kWrite ? ", write first"
                                                         : ", delete first"));
        storeObjects(id);
        const Outcome got = race(first, second, pair, who, id);
        EXPECT_TRUE(got.deleted) << "the delete failed";
        // A write that comes first is stored, and goes with the object; one
        // that comes second finds the object gone.
        if (who == First::kWrite) {
          EXPECT_TRUE(got.written) << got.writeText;
        } else {
          EXPECT_FALSE(got.written);
          EXPECT_EQ(got.writeText,
                    kvbStringFormat(pair.erase->refusal, id).str());
        }
        EXPECT_EQ(count(pair.table, std::string(pair.column) + "=?", {id}), 0)
            << "a row names the deleted object";
      }
  }
  a->release();
  b->release();
}

INSTANTIATE_RDA_TARGETS(ReferencesAcrossDeletesTest);

}  // namespace
