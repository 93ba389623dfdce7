// Writes store no reference that names nothing, and updates of a link that
// is not there fail: each refusal answers false with a text that names the
// missing object by kind and id, logs that text once at level 5 and leaves
// every table as it was. Run on every back end.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "kvreposres/kvreposres.h"
#include "monitor/monitor_rdaimpl.h"
#include "profile/prof_rdaimpl.h"
#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

struct RefusedWrite {
  const char* what;
  std::function<bool()> write;
  std::string text;
};

class ObjectRefsTest : public RdaObjectTest<MonitorRDAImpl> {
 protected:
  // Task 1 with rule 10 as its member, rule 11 (no member), dimensions 2
  // and 6, threshold 3, report group 4 with dimension 2 linked, execution
  // 5, match definition 1 and its redundancy configuration 1, profile job
  // 1.
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    profile_ = new ProfileRDAImpl(rda_);
    common_ = new CommonRDAImpl(rda_);
    storeKeys("RULE", "RU_ID", {10, 11});
    storeKeys("DIMENS", "DIM_ID", {2, 6});
    storeKeys("THRHLD", "THR_ID", {3});
    storeKeys("RPTGRP", "GRP_ID", {4});
    storeKeys("EXEC", "EX_ID", {5});
    int match = 0;
    ASSERT_TRUE(monitor_->addTask("T", "c", "", 0, "", "", nullptr));
    ASSERT_TRUE(monitor_->addTaskRuleMember(1, 10, 2, 3, KvbReal(1.0)));
    ASSERT_TRUE(monitor_->addRuleEvent(1, 10, 1, "EMAIL", ""));
    ASSERT_TRUE(monitor_->addDimensionToGroup(4, 2, 3, KvbReal(1.0)));
    ASSERT_TRUE(profile_->addMatchDefinition("Name", "85", "EN", &match));
    ASSERT_TRUE(profile_->addRdaConfig(1, "cfg", "", match, nullptr));
    ASSERT_GT(profile_->addProfileJob("J", "", "u-j", 1, 1, "me", "me", 0), 0);
  }
  void TearDown() override {
    if (common_) common_->release();
    if (profile_) profile_->release();
    RdaObjectTest::TearDown();
  }

  // Every row of the tables that the writes change or refer to.
  Rows state() {
    Rows all;
    for (const char* code : {"JBRUME", "RULEVT", "RULE", "RPTGRP", "DIMGRP",
                             "EXPROP", "RDACFG", "JSETUP", "UCURID"}) {
      const Rows rows = cursorRows(
          db_->paramSelect("SELECT " + db_->getColumnList(code, nullptr) +
                               " FROM " + table(code).c_str() + " ORDER BY 1",
                           0));
      all.push_back(code);
      all.insert(all.end(), rows.begin(), rows.end());
    }
    return all;
  }
  // Expects each write to answer false with its text, as the error text
  // and as the one record logged (at level 5), and to change no table.
  void expectRefused(const std::vector<RefusedWrite>& cases) {
    for (const RefusedWrite& c : cases) {
      const Rows before = state();
      bool answer = true;
      EXPECT_EQ(log_.failuresDuring([&] { answer = c.write(); }, true),
                Rows{"5 " + c.text})
          << c.what;
      EXPECT_FALSE(answer) << c.what;
      EXPECT_EQ(rda_->getErrorMessage().str(), c.text) << c.what;
      EXPECT_EQ(state(), before) << c.what;
    }
  }

  MonitorRDAImpl*& monitor_ = object_;
  ProfileRDAImpl* profile_ = nullptr;
  CommonRDAImpl* common_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(ObjectRefsTest, WritesRefuseAReferenceThatNamesNothing) {
  MonitorRDAImpl* m = monitor_;
  ProfileRDAImpl* p = profile_;
  const KvbReal one(1.0);
  expectRefused({
      {"member's dimension", [=] { return m->addTaskRuleMember(1, 11, 8, 3, one); },
       "Dimension 8 does not exist"},
      {"member's threshold", [=] { return m->addTaskRuleMember(1, 11, 2, 8, one); },
       "Threshold 8 does not exist"},
      {"member's new dimension",
       [=] { return m->updateTaskRuleMember(1, 10, 8, 3, one); },
       "Dimension 8 does not exist"},
      {"member's new threshold",
       [=] { return m->updateTaskRuleMember(1, 10, 2, 8, one); },
       "Threshold 8 does not exist"},
      {"group's threshold",
       [=] {
         return m->addReportGroup("G", "", 1, 1, 8, KvbDate(), "", "", 0,
                                  nullptr);
       },
       "Threshold 8 does not exist"},
      {"group's new threshold",
       [=] {
         return m->updateReportGroup(4, "G", "", -1, -1, 8, KvbDate(), "", -1);
       },
       "Threshold 8 does not exist"},
      {"link's group", [=] { return m->addDimensionToGroup(8, 6, 3, one); },
       "Report group 8 does not exist"},
      {"link's dimension", [=] { return m->addDimensionToGroup(4, 8, 3, one); },
       "Dimension 8 does not exist"},
      {"link's threshold", [=] { return m->addDimensionToGroup(4, 6, 8, one); },
       "Threshold 8 does not exist"},
      {"link's new threshold",
       [=] { return m->updateDimensionGroup(2, 4, 8, one); },
       "Threshold 8 does not exist"},
      {"property's execution",
       [=] { return m->setExecutionProperty(8, 10, "S", "x", true); },
       "Execution 8 does not exist"},
      {"property's rule",
       [=] { return m->setExecutionProperty(5, 8, "S", "x", true); },
       "Rule 8 does not exist"},
      {"configuration's match definition",
       [=] { return p->updateRdaConfig(1, "cfg", "", 8); },
       "Match definition 8 does not exist"},
      {"configuration's match definition, by its other name",
       [=] { return p->updateRedundantDataConfig(1, "cfg", "", 8); },
       "Match definition 8 does not exist"},
  });
  // What exists, the defaults and "none" are stored.
  EXPECT_TRUE(m->addTaskRuleMember(1, 11, 6, -1, one));
  EXPECT_TRUE(m->updateTaskRuleMember(1, 11, 1, 3, one));
  EXPECT_TRUE(m->addDimensionToGroup(4, 6, -1, one));
  EXPECT_TRUE(m->updateDimensionGroup(6, 4, 3, one));
  EXPECT_TRUE(m->updateReportGroup(4, "G", "", -1, -1, 3, KvbDate(), "", -1));
  EXPECT_TRUE(m->setExecutionProperty(5, 10, "S", "x", true));
  EXPECT_TRUE(p->updateRdaConfig(1, "cfg", "", -1));
  EXPECT_EQ(sortedRows(rows(m->listTaskRuleMembers(1))),
            (Rows{"1|10|2|3|1", "1|11|1|3|1"}));
  EXPECT_EQ(rows(m->listDimensionGroups(6, 4)), Rows{"6|4|3|1"});
}

TEST_P(ObjectRefsTest, UpdatesOfALinkThatIsNotThereFail) {
  MonitorRDAImpl* m = monitor_;
  const KvbReal weight(2.0);
  expectRefused({
      {"member of a missing task",
       [=] { return m->updateTaskRuleMember(9, 10, 2, 3, weight); },
       "Task 9 does not exist"},
      {"member of a missing rule",
       [=] { return m->updateTaskRuleMember(1, 9, 2, 3, weight); },
       "Rule 9 does not exist"},
      {"rule that is no member",
       [=] { return m->updateTaskRuleMember(1, 11, 2, 3, weight); },
       "Rule 11 is no member of task 1"},
      {"link of a missing dimension",
       [=] { return m->updateDimensionGroup(9, 4, -1, weight); },
       "Dimension 9 does not exist"},
      {"link of a missing group",
       [=] { return m->updateDimensionGroup(2, 9, -1, weight); },
       "Report group 9 does not exist"},
      {"dimension that is not linked",
       [=] { return m->updateDimensionGroup(6, 4, -1, weight); },
       "Dimension 6 is not linked to report group 4"},
  });

  // A profile job that does not exist stays no failure: nothing is
  // written, announced or logged, and the text names the job.
  EventRecorder recorder([](const RepositoryEvent& e) { return e.operation; });
  const Rows before = state();
  EXPECT_EQ(log_.failuresDuring([&] {
    EXPECT_TRUE(profile_->updateProfileJob(9, "N", "", KvbDate(1), "me", 0));
  }),
            Rows{});
  EXPECT_EQ(profile_->getErrorMessage().str(), "Profile job 9 does not exist");
  EXPECT_EQ(state(), before);
  EXPECT_EQ(recorder.events, Rows{});
  ASSERT_TRUE(profile_->updateProfileJob(1, "J2", "", KvbDate(1), "me", 0));
  EXPECT_EQ(recorder.events, Rows{"postRenameEvent"});
}

// A rule's deletion takes the task members and rule events that name it;
// the task keeps its other members.
TEST_P(ObjectRefsTest, ADeletedRuleLeavesNoTaskMemberNamingIt) {
  ASSERT_TRUE(monitor_->addTaskRule(1, 11));
  ASSERT_TRUE(common_->deleteRule(10));
  EXPECT_EQ(rows(monitor_->listTaskRuleMembers(1)), Rows{"1|11|1|1|1"});
  EXPECT_EQ(rows(monitor_->listRuleEvents(1)), Rows{});
  EXPECT_EQ(count("MJOB"), 1);
}

INSTANTIATE_RDA_TARGETS(ObjectRefsTest);

}  // namespace
