// Deleting the runs of a report on every back end: every table that a run
// writes is counted before and after, so a row left behind or taken from a
// run that stays shows; a failure part-way leaves every row; long id lists
// are split; the per-field frequency tables of the deleted runs go with
// them (one already gone is no failure), and stay with them when the disk
// fills up at any write.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fault/fault_vfs.h"
#include "profile/prof_fixture.h"
#include "support/repos_content.h"

namespace {

// Every table that holds what a run wrote; a stored run has one row in
// each.
const char* const kRunTables[] = {
    "JOB",    "JOBCFG", "RDACFG", "FLDRDA", "RDARES", "ALERT",
    "ALPROP", "DSN",    "TBL",    "TBLNOT", "EXELOG", "PBROUT",
    "PBRLOG", "PCMOUT", "FLD",    "FLDPRP", "PATDST", "PTILE",
    "FLDNOT", "MCDIST", "PKFK",   "OUTLR",  "REDUN2", "FRQDST",
    "FLDGCM", "CHT",    "CHTDAT", "CHTTAB", "CHTCAT"};

class ProfileCascadeTest : public ProfileRdaTest {
 protected:
  using Counts = std::map<std::string, int>;

  int report() {
    return keyOf(
        [&](int* k) { return profile_->addReport(1, 0, "r", 1.0, "u", k); });
  }
  // A run of `reportId` with one row in every table of kRunTables; without
  // `shared` its field also has a frequency table of its own. Answers the
  // field's id.
  int storeRun(int reportId, bool shared) {
    int run = 0, dsn = 0, tbl = 0, fld = 0, alert = 0, chart = 0, cfg = 0;
    ProfileRDAImpl& p = *profile_;
    const bool stored =
        p.addReportRun("run", 2.0, reportId, &run) &&
        p.addRunConfigValue(run, "SAME_FREQ_TABLE", shared ? "1" : "0") &&
        p.addRunDsn(run, "d", "c", "N", &dsn) &&
        p.addRunTable(dsn, "", "", "T", "", "", "", 0, &tbl) &&
        p.addRunField(dsn, tbl, "F", "S", &fld) &&
        p.addAlert(run, "", "", "", "", "", "", "", "", "", "", "", "",
                   &alert) &&
        p.addAlertProperty(alert, "p", "v") &&
        p.addChart(reportId, run, "c", "T", &chart) &&
        p.addChartTable(chart, "d", "", "", "T", "", "T") &&
        p.addChartCategory(chart, 1) && p.addChartData(chart, "p", 1, "v") &&
        p.addRdaConfig(run, "cfg", "", -1, &cfg) &&
        p.addRdaConfigField(run, fld, cfg) &&
        p.addRdaResult(run, cfg, fld, fld, 1, 1, 1, 1, 1, 1, 1) &&
        p.addTableNote(tbl, 'N', "u", "n", 1, nullptr) &&
        p.addExecutionLog(dsn, tbl, "t", "s", 1, "m") &&
        p.addBusinessRuleOutput(tbl, 1, 1, 0, "t", "f", 1) &&
        p.addCustomMetricOutput(tbl, 1, 1, "o", "n", "v", "t", 1) &&
        p.addFieldProperty(dsn, tbl, fld, "p", "v") &&
        p.addPercentile(fld, 0.5, 3.0) &&
        p.addFieldNote(fld, "u", "n", 1, nullptr) &&
        p.addPkFkResult(fld, fld, 1.0) && p.addOutlier(fld, true, 1, "v") &&
        p.addFieldGroup(fld, 1) && p.beginRuleLogLoad() &&
        p.addRuleLogRow(tbl, 1, 1, 0, 0, "x") && p.endRuleLogLoad() &&
        p.beginPatternLoad(0) && p.addPatternRow(fld, "A", 1) &&
        p.endPatternLoad(0) && p.beginMatchCodeLoad(0) &&
        p.addMatchCodeRow(fld, "v", "V", 1, 1) && p.endMatchCodeLoad(0) &&
        p.beginFrequencyLoad(fld, true, 0) &&
        p.addFrequencyRow(fld, "v", "", 1) && p.endFrequencyLoad(fld) &&
        (shared ||
         (p.beginFrequencyLoad(fld, false, 0) &&
          p.addFrequencyRow(fld, "v", "", 1) && p.endFrequencyLoad(fld)));
    EXPECT_TRUE(stored) << p.getErrorMessage().asCstr();
    exec("INSERT INTO " + table("REDUN2") + " (FLD_ID) VALUES (?)", {fld});
    return fld;
  }
  // The rows of every table but `gone`.
  Counts counts(const std::string& gone = "") {
    Counts out;
    for (const char* code : kRunTables)
      if (code != gone) out[code] = count(code);
    out["REPORT"] = count("REPORT");
    return out;
  }
  Counts uniform(int perTable, int reports) {
    Counts out;
    for (const char* code : kRunTables) out[code] = perTable;
    out["REPORT"] = reports;
    return out;
  }
  bool fieldTableExists(int fieldId) {
    return idTableExists(db_, "FRQDST", fieldId);
  }
};

TEST_P(ProfileCascadeTest, DeletedRunsLeaveNoRowAndTakeNoneOfOtherRuns) {
  const int sales = report(), other = report();
  storeRun(sales, true);
  const int perField = storeRun(sales, false);
  const int kept = storeRun(sales, false);
  storeRun(other, true);
  ASSERT_EQ(counts(), uniform(4, 2));
  ASSERT_TRUE(fieldTableExists(perField));
  // A chart of the report as a whole belongs to no run and stays with the
  // report, as do the charts of its runs when a range holds no run.
  keyOf([&](int* k) { return profile_->addChart(sales, -1, "all", "C", k); });
  ASSERT_TRUE(profile_->deleteReportRuns(50, 60, sales, false));
  EXPECT_EQ(count("CHT"), 5);

  ASSERT_TRUE(profile_->deleteReportRuns(1, 2, sales, false))
      << profile_->getErrorMessage().asCstr();
  // A run's charts go with it; the report and its other runs stay.
  Counts left = uniform(2, 2);
  left["CHT"] = 3;
  EXPECT_EQ(counts(), left);
  EXPECT_FALSE(fieldTableExists(perField));
  EXPECT_TRUE(fieldTableExists(kept));
  EXPECT_EQ(rows(profile_->listReportRuns(sales, -1)).size(), 1u);
  EXPECT_FALSE(db_->inTransaction());
}

TEST_P(ProfileCascadeTest, DeletingTheReportTakesItsRunsChartsAndRow) {
  const int sales = report(), other = report();
  storeRun(sales, true);
  storeRun(sales, true);
  storeRun(other, false);
  // A chart of the report as a whole belongs to no run.
  const int chart = keyOf(
      [&](int* k) { return profile_->addChart(sales, -1, "all", "C", k); });
  EXPECT_TRUE(profile_->addChartData(chart, "p", 1, "v"));

  EXPECT_TRUE(profile_->deleteReportRuns(-1, -1, sales, true));
  EXPECT_EQ(counts(), uniform(1, 1));
  EXPECT_TRUE(profile_->deleteReportRuns(-1, -1, sales, true));  // none left
  EXPECT_FALSE(profile_->deleteReportRuns(-1, -1, -1, true));
}

TEST_P(ProfileCascadeTest, ADeletionThatFailsPartWayLeavesEveryRow) {
  const int sales = report();
  storeRun(sales, true);
  const int perField = storeRun(sales, false);
  exec("DROP TABLE " + table("PTILE"));  // reached late in the walk
  const Counts before = counts("PTILE");
  EXPECT_FALSE(profile_->deleteReportRuns(-1, -1, sales, true));
  EXPECT_EQ(counts("PTILE"), before);
  EXPECT_TRUE(fieldTableExists(perField));
  EXPECT_FALSE(db_->inTransaction());
}

TEST_P(ProfileCascadeTest, ARunWhoseFieldTableIsGoneIsDeletedAllTheSame) {
  const int sales = report();
  const int perField = storeRun(sales, false);
  // As an export that drops the tables it wrote leaves it.
  exec("DROP TABLE " + db_->getTableName("FRQDST", true, perField).str());
  EXPECT_TRUE(profile_->deleteReportRuns(-1, -1, sales, false))
      << profile_->getErrorMessage().asCstr();
  EXPECT_EQ(counts(), uniform(0, 1));
}

TEST_P(ProfileCascadeTest, AFullDiskAtAnyWriteKeepsRunsWithTheirFieldTables) {
  if (isPostgres()) GTEST_SKIP() << "the disk is a SQLite file's";
  const int sales = report();
  storeRun(sales, true);
  const int perField = storeRun(sales, false);
  const Counts before = counts();
  FaultVfs vfs;  // under the connection that deletes, opened next
  ReposDataAccess* rda = open();
  ASSERT_NE(rda, nullptr);
  ProfileRDAImpl* deleter = new ProfileRDAImpl(rda);
  const int faults = vfs.failEachWrite(
      SQLITE_FULL, 1, 3,  // every third of some 300 writes
      [&] { return deleter->deleteReportRuns(-1, -1, sales, false); },
      [&](int k, bool fired, bool deleted) {
        SCOPED_TRACE("write " + std::to_string(k) + " failed");
        EXPECT_EQ(deleted, !fired);
        EXPECT_EQ(counts(), fired ? before : uniform(0, 1));
        EXPECT_EQ(fieldTableExists(perField), fired);
        return !HasFailure();
      });
  EXPECT_GT(faults, 0);
  deleter->release();
  rda->release();
}

TEST_P(ProfileCascadeTest, RunsOfManyFieldsAreDeletedInBoundedStatements) {
  const int sales = report();
  const int field = storeRun(sales, true);
  ASSERT_TRUE(db_->beginTransaction(false, nullptr));
  for (int i = 1; i <= 1200; ++i) {
    exec("INSERT INTO " + table("FLD") +
             " (FLD_ID, DSN_ID, TBL_ID, FLD_NAME) SELECT ?, DSN_ID, TBL_ID, "
             "'f' FROM " +
             table("FLD") + " WHERE FLD_ID=?",
         {field + i, field});
    exec("INSERT INTO " + table("FRQDST") + " (FLD_ID, FR_VAL) VALUES (?, 'v')",
         {field + i});
  }
  ASSERT_TRUE(db_->endTransaction(true));
  EXPECT_TRUE(profile_->deleteReportRuns(-1, -1, sales, false));
  EXPECT_EQ(count("FLD"), 0);
  EXPECT_EQ(count("FRQDST"), 0);
}

INSTANTIATE_RDA_TARGETS(ProfileCascadeTest);

}  // namespace
