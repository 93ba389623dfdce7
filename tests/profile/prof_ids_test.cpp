// The ids of the profile writes on every back end: a job-definition write
// stores its row only when every id names a row of its job (or the rule or
// custom metric of the repository); a result write checks none. Also the
// text of a job table's value that the database refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/prof_fixture.h"
#include "support/id_cases.h"

namespace {

class ProfileIdsTest : public ProfileRdaTest {
 protected:
  // Job 1 with a source, a table, a field, a redundant-data configuration,
  // a table metric of custom metric 7, a table rule of rule 9, an alert and
  // a chart, each key 1; job 2 with alert 2.
  void SetUp() override {
    ProfileRdaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    storeKeys("CUSTM", "CM_ID", {7});
    storeKeys("RULE", "RU_ID", {9});
    for (const char* name : {"J", "Other"})
      ASSERT_GT(profile_->addProfileJob(name, "", "", 1, 1, "u", "u", 0), 0);
    const std::vector<int> keys = {
        profile_->addJobDsn(1, "D", "", ""),
        profile_->addJobTable(1, 1, "", "", "T", "", "", "", 0, "", "", "", 0,
                              0, 0, "", 0, 0, ""),
        profile_->addJobField(1, 1, 1, "F", "", 1),
        profile_->addJobRdaConfig(1, "C", "", "", "", ""),
        profile_->addJobTableMetric(1, 1, 7, "M", ""),
        profile_->addJobTableRule(1, 1, 9, "R", 0, 0, ""),
        profile_->addJobAlert(1, "", "", "", "", "", "", "", "", "", "", ""),
        profile_->addJobChart(1, "", "", "", "", "", "", "", "")};
    ASSERT_EQ(keys, std::vector<int>(keys.size(), 1))
        << profile_->getErrorMessage().asCstr();
    ASSERT_EQ(alert(2), 2);
  }
  int alert(int job) {
    return profile_->addJobAlert(job, "", "", "", "", "", "", "", "", "", "",
                                 "");
  }
  std::string error() { return profile_->getErrorMessage().str(); }
};

TEST_P(ProfileIdsTest, JobDefinitionWritesStoreOnlyIdsOfRowsOfTheirJob) {
  ProfileRDAImpl* p = profile_;
  const char* job = "profile job";
  const char* dsn = "job data source";
  const char* tbl = "job table";
  const char* fld = "job field";
  using Ids = const std::vector<int>&;
  // Each write names its arguments' rows; a row that its call finds it
  // answers without adding one.
  const std::vector<IdWrite> writes = {
      {"addJobKeyValue",
       "JKEYVL",
       {job},
       {1},
       [&](Ids i) { return p->addJobKeyValue(i[0], "K", "V"); }},
      {"addJobRdaConfig",
       "JRCFGS",
       {job},
       {1},
       [&](Ids i) {
         return p->addJobRdaConfig(i[0], "N", "", "", "", "") > 0;
       }},
      {"addJobDsn",
       "JDSN",
       {job},
       {1},
       [&](Ids i) { return p->addJobDsn(i[0], "N", "", "") > 0; }},
      {"addJobTable",
       "JTABLE",
       {job, dsn},
       {1, 1},
       [&](Ids i) {
         return p->addJobTable(i[0], i[1], "", "", "N", "", "", "", 0, "", "",
                               "", 0, 0, 0, "", 0, 0, "") > 0;
       }},
      {"addJobField",
       "JFLD",
       {job, dsn, tbl},
       {1, 1, 1},
       [&](Ids i) { return p->addJobField(i[0], i[1], i[2], "N", "", 2) > 0; }},
      {"addJobFieldRdaMap",
       "JFRDA",
       {job, "job redundant-data configuration"},
       {1, 1},
       [&](Ids i) {
         return p->addJobFieldRdaMap(i[0], i[1], "", "", "", "", "N", "");
       }},
      {"addJobFieldMetric",
       "JFLDME",
       {job, dsn, tbl, fld},
       {1, 1, 1, 1},
       [&](Ids i) {
         return p->addJobFieldMetric(i[0], i[1], i[2], i[3], "N", "");
       }},
      {"addJobFieldProperty",
       "JFLDPR",
       {job, dsn, tbl, fld},
       {1, 1, 1, 1},
       [&](Ids i) {
         return p->addJobFieldProperty(i[0], i[1], i[2], i[3], "N", "");
       }},
      {"addJobLinkedField",
       "JLNKFL",
       {job, fld},
       {1, 1},
       [&](Ids i) {
         return p->addJobLinkedField(i[0], i[1], "", "", "", "", "N", "P", "");
       }},
      {"addJobTableMetric",
       "JTBLME",
       {job, tbl, "custom metric"},
       {1, 1, 7},
       [&](Ids i) {
         return p->addJobTableMetric(i[0], i[1], i[2], "N", "") > 0;
       }},
      {"addJobCustomMetricMapping",
       "JCMDMA",
       {job, "job table metric", tbl, "custom metric"},
       {1, 1, 1, 7},
       [&](Ids i) {
         return p->addJobCustomMetricMapping(i[0], i[1], i[2], i[3], "N", "",
                                             "", "", "I");
       }},
      {"addJobCustomMetricFieldMapping",
       "JCMDMA",
       {job, tbl, "custom metric", "job table metric"},
       {1, 1, 7, 1},
       [&](Ids i) {
         return p->addJobCustomMetricFieldMapping(i[0], i[1], i[2], i[3], "N",
                                                  "", "", "", "O");
       }},
      {"addJobTableRule",
       "JTBLRU",
       {job, tbl, "rule"},
       {1, 1, 9},
       [&](Ids i) {
         return p->addJobTableRule(i[0], i[1], i[2], "N", 0, 0, "") > 0;
       },
       0},
      {"addJobRuleFieldMapping",
       "JTBLMA",
       {job, "job table rule", tbl, "rule"},
       {1, 1, 1, 9},
       [&](Ids i) {
         return p->addJobRuleFieldMapping(i[0], i[1], i[2], i[3], "N", "F", "");
       }},
      {"addJobGlobalMetric",
       "JGMET",
       {job},
       {1},
       [&](Ids i) { return p->addJobGlobalMetric(i[0], "N", ""); }},
      {"addJobAlert",
       "JALERT",
       {job},
       {1},
       [&](Ids i) {
         return p->addJobAlert(i[0], "", "", "", "", "", "", "", "", "", "N",
                               "") > 0;
       }},
      {"setJobAlertProperty",
       "JALPRP",
       {job, "job alert"},
       {1, 1},
       [&](Ids i) { return p->setJobAlertProperty(i[0], i[1], "N", "v"); }},
      {"addJobChart",
       "JCHART",
       {job},
       {1},
       [&](Ids i) {
         return p->addJobChart(i[0], "", "", "", "", "", "", "N", "") > 0;
       }},
      {"addJobChartProperty",
       "JCHPRP",
       {job, "job chart"},
       {1, 1},
       [&](Ids i) { return p->addJobChartProperty(i[0], i[1], "N", 1, ""); }},
  };
  // An id that names no row, the id that means none, 0 and a negative one:
  // each refused, as the interface's rule on ids says.
  expectIdAnswers(
      writes, {99999, -1, 0, -5},
      [](const IdWrite& write, size_t arg, int value) {
        return missing(write.kinds[arg], value);
      },
      [&](const char* code) { return count(code); }, [&] { return error(); },
      log_);

  // A row of another job counts as none; so does a table of another source
  // of the job, and a setting of a rule the table does not have.
  const int otherDsn = profile_->addJobDsn(1, "D2", "", "");
  ASSERT_EQ(otherDsn, 3);  // the cases added source 2
  EXPECT_FALSE(profile_->setJobAlertProperty(1, 2, "N", "v"));
  EXPECT_EQ(error(), "Job alert 2 does not exist");
  EXPECT_EQ(profile_->addJobField(1, otherDsn, 1, "N", "", 1), -1);
  EXPECT_EQ(error(), "Job table 1 does not exist");
  storeKeys("RULE", "RU_ID", {10});
  EXPECT_FALSE(profile_->addJobRuleFieldMapping(1, 1, 1, 10, "N", "F", ""));
  EXPECT_EQ(error(), "Job table rule 1 does not exist");
  EXPECT_EQ(count("JALPRP", "AL_ID=2") + count("JTBLMA", "BR_ID=10"), 0);
}

// The writes of runs and their results check no id, as the interface says:
// a profiling run writes them at speed from the ids it was just handed.
TEST_P(ProfileIdsTest, ResultWritesStoreIdsUnchecked) {
  int key = 0;
  for (int id : {99999, -1, 0})
    EXPECT_TRUE(profile_->addRunField(id, id, "F", "S", &key) &&
                profile_->addAlertProperty(id, "N", "v") &&
                profile_->addFieldGroup(id, id))
        << id << ": " << error();
  EXPECT_EQ(count("FLD") + count("ALPROP") + count("FLDGCM"), 9);
}

// A job table's text that the database refuses is named by its column,
// whether the look-up for an equal table or the insert refuses it.
TEST_P(ProfileIdsTest, ARefusedJobTableTextIsNamedByItsColumn) {
  const KvbString nul(std::string("a\0b", 3));
  const std::vector<std::string> records = log_.failuresDuring([&] {
    EXPECT_EQ(profile_->addJobTable(1, 1, "", "", nul, "", "", "", 0, "", "",
                                    "", 0, 0, 0, "", 0, 0, "") > 0,
              !isPostgres());
  });
  if (!isPostgres()) return;  // SQLite stores it whole
  const std::string text =
      "The value of column TBL_NAME of table JTABLE holds a NUL byte, which "
      "PostgreSQL cannot store";
  EXPECT_EQ(error(), text);
  EXPECT_EQ(records, std::vector<std::string>{text});
}

INSTANTIATE_RDA_TARGETS(ProfileIdsTest);

}  // namespace
