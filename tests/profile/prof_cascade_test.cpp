// Deleting the runs of a report on every back end: every table that a run
// writes is counted before and after, so a row left behind or taken from a
// run that stays shows; a failure part-way leaves every row; long id lists
// are split; the per-field frequency tables of the deleted runs go.
#include <gtest/gtest.h>

#include <list>
#include <map>
#include <string>
#include <vector>

#include "profile/prof_fixture.h"

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
    const int run = keyOf([&](int* k) {
      return profile_->addReportRun("run", 2.0, reportId, k);
    });
    EXPECT_TRUE(profile_->addRunConfigValue(run, "SAME_FREQ_TABLE",
                                            shared ? "1" : "0"));
    const int dsn = keyOf(
        [&](int* k) { return profile_->addRunDsn(run, "d", "c", "N", k); });
    const int tbl = keyOf([&](int* k) {
      return profile_->addRunTable(dsn, "", "", "T", "", "", "", 0, k);
    });
    const int fld = keyOf(
        [&](int* k) { return profile_->addRunField(dsn, tbl, "F", "S", k); });
    const int alert = keyOf([&](int* k) {
      return profile_->addAlert(run, "d", "", "", "T", "F", "", "", "", "", "N",
                                "T", "", k);
    });
    const int chart = keyOf(
        [&](int* k) { return profile_->addChart(reportId, run, "c", "T", k); });
    const int config = keyOf(
        [&](int* k) { return profile_->addRdaConfig(run, "cfg", "", -1, k); });
    EXPECT_TRUE(profile_->addRdaConfigField(run, fld, config));
    EXPECT_TRUE(
        profile_->addRdaResult(run, config, fld, fld, 1, 1, 1, 1, 1, 1, 1));
    EXPECT_TRUE(profile_->addAlertProperty(alert, "p", "v"));
    EXPECT_TRUE(profile_->addTableNote(tbl, 'N', "u", "n", 1, nullptr));
    EXPECT_TRUE(profile_->addExecutionLog(dsn, tbl, "t", "s", 1, "m"));
    EXPECT_TRUE(profile_->addBusinessRuleOutput(tbl, 1, 1, 0, "t", "f", 1));
    EXPECT_TRUE(
        profile_->addCustomMetricOutput(tbl, 1, 1, "o", "n", "v", "t", 1));
    EXPECT_TRUE(profile_->addFieldProperty(dsn, tbl, fld, "p", "v"));
    EXPECT_TRUE(profile_->addPercentile(fld, 0.5, 3.0));
    EXPECT_TRUE(profile_->addFieldNote(fld, "u", "n", 1, nullptr));
    EXPECT_TRUE(profile_->addPkFkResult(fld, fld, 1.0));
    EXPECT_TRUE(profile_->addOutlier(fld, true, 1, "v"));
    EXPECT_TRUE(profile_->addFieldGroup(fld, 1));
    EXPECT_TRUE(profile_->addChartTable(chart, "d", "", "", "T", "", "T"));
    EXPECT_TRUE(profile_->addChartCategory(chart, 1));
    EXPECT_TRUE(profile_->addChartData(chart, "p", 1, "v"));
    exec("INSERT INTO " + table("REDUN2") + " (FLD_ID) VALUES (?)", {fld});
    EXPECT_TRUE(profile_->beginRuleLogLoad());
    EXPECT_TRUE(profile_->addRuleLogRow(tbl, 1, 1, 0, 0, "x"));
    EXPECT_TRUE(profile_->endRuleLogLoad());
    EXPECT_TRUE(profile_->beginPatternLoad(0));
    EXPECT_TRUE(profile_->addPatternRow(fld, "A", 1));
    EXPECT_TRUE(profile_->endPatternLoad(0));
    EXPECT_TRUE(profile_->beginMatchCodeLoad(0));
    EXPECT_TRUE(profile_->addMatchCodeRow(fld, "v", "V", 1, 1));
    EXPECT_TRUE(profile_->endMatchCodeLoad(0));
    EXPECT_TRUE(profile_->beginFrequencyLoad(fld, true, 0));
    EXPECT_TRUE(profile_->addFrequencyRow(fld, "v", "", 1));
    EXPECT_TRUE(profile_->endFrequencyLoad(fld));
    if (!shared) {
      EXPECT_TRUE(profile_->beginFrequencyLoad(fld, false, 0));
      EXPECT_TRUE(profile_->addFrequencyRow(fld, "v", "", 1));
      EXPECT_TRUE(profile_->endFrequencyLoad(fld));
    }
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
    std::list<TableColumnInfo> columns;
    return db_->getTableColumns("FRQDST" + std::to_string(fieldId), columns) >
           0;
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

  ASSERT_TRUE(profile_->deleteReportRuns(1, 2, sales, false))
      << profile_->getErrorMessage().asCstr();
  // A run's charts go with it; the report and its other runs stay.
  EXPECT_EQ(counts(), uniform(2, 2));
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
