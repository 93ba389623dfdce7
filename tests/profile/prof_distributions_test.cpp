// Value distributions on every back end: the loads (through the bulk
// loader on PostgreSQL, one prepared insert elsewhere) into the shared and
// the per-field frequency tables, PATDST, MCDIST and PBRLOG; their ends,
// refusals and rollbacks; and the capped reads, comparisons and counts.
#include <gtest/gtest.h>

#include <list>
#include <string>
#include <utility>
#include <vector>

#include "profile/prof_fixture.h"

namespace {

using Values = std::vector<std::pair<std::string, int>>;

class ProfileDistributionTest : public ProfileRdaTest {
 protected:
  void TearDown() override {
    kvbGetConfigOptions("")->remove("BASE/REPOS_FREQ_CACHE_MAX");
    ProfileRdaTest::TearDown();
  }
  // Loads a field's values, each with the match code "M" + value.
  void loadFrequencies(int field, bool shared, const Values& values) {
    ASSERT_TRUE(profile_->beginFrequencyLoad(field, shared, 0))
        << profile_->getErrorMessage().asCstr();
    for (const auto& v : values)
      ASSERT_TRUE(
          profile_->addFrequencyRow(field, v.first, "M" + v.first, v.second))
          << profile_->getErrorMessage().asCstr();
    ASSERT_TRUE(profile_->endFrequencyLoad(field))
        << profile_->getErrorMessage().asCstr();
  }
  // Field 1 holds a, b, c and field 2 b, c, d (in the field's own tables,
  // 11 and 12, without `shared`).
  void loadOverlappingFields(bool shared) {
    loadFrequencies(shared ? 1 : 11, shared, {{"a", 1}, {"b", 2}, {"c", 3}});
    loadFrequencies(shared ? 2 : 12, shared, {{"b", 20}, {"c", 30}, {"d", 40}});
  }
  Rows frequencies(int field, bool shared) {
    return rows(profile_->listFrequencyDistribution(field, shared, false, -1));
  }
  void setCap(const char* cap) {
    kvbGetConfigOptions("")->set("BASE/REPOS_FREQ_CACHE_MAX", cap);
  }
};

TEST_P(ProfileDistributionTest, LoadsOfEachKindStoreTheirRows) {
  loadFrequencies(1, true, {{"x", 5}, {"y", 9}});
  loadFrequencies(7, false, {{"p", 3}, {"q", 4}});
  ASSERT_TRUE(profile_->beginPatternLoad(-1));
  EXPECT_TRUE(profile_->addPatternRow(1, "AA9", 12));
  EXPECT_TRUE(profile_->addPatternRow(1, "A9", 1));
  EXPECT_TRUE(profile_->addPatternRow(2, "A", 1));
  EXPECT_TRUE(profile_->endPatternLoad(0));
  ASSERT_TRUE(profile_->beginMatchCodeLoad(10));
  EXPECT_TRUE(profile_->addMatchCodeRow(1, "x", "MX", 5, 3));
  EXPECT_TRUE(profile_->endMatchCodeLoad(99));

  EXPECT_EQ(stored("FRQDST", "FR_VAL"), (Rows{"1|x|5|Mx", "1|y|9|My"}));
  EXPECT_EQ(frequencies(7, false), (Rows{"q|4|Mq|7", "p|3|Mp|7"}));
  EXPECT_EQ(
      rows(db_->listIndexes(db_->getTableName("FRQDST", false, 7))).size(),
      2u);  // the per-field end indexes value and count
  EXPECT_EQ(sortedRows(rows(profile_->listPatternDistribution(1))),
            (Rows{"1|A9|1", "1|AA9|12"}));
  int patterns = 0;
  EXPECT_TRUE(profile_->countPatternRows(1, &patterns));
  EXPECT_EQ(patterns, 2);
  EXPECT_EQ(stored("MCDIST", "FLD_ID"), Rows{"1|MX|5|3|x"});
  EXPECT_FALSE(db_->inTransaction());
}

// A field's own frequency table is made by its first load: a second load
// of that field is refused and keeps the rows of the first. A value or
// match code that is not there is stored as NULL.
TEST_P(ProfileDistributionTest, AFieldsOwnTableIsLoadedOnce) {
  ASSERT_TRUE(profile_->beginFrequencyLoad(5, false, 0));
  EXPECT_TRUE(profile_->addFrequencyRow(5, KvbString(), KvbString(), 2));
  EXPECT_TRUE(profile_->addFrequencyRow(5, "a", "Ma", 1));
  ASSERT_TRUE(profile_->endFrequencyLoad(5));
  EXPECT_FALSE(profile_->beginFrequencyLoad(5, false, 0));
  EXPECT_FALSE(profile_->addFrequencyRow(5, "lost", "", 1));
  EXPECT_FALSE(db_->inTransaction());
  EXPECT_EQ(sortedRows(frequencies(5, false)), (Rows{"a|1|Ma|5", "|2||5"}));
  const std::string own = db_->getTableName("FRQDST", true, 5).str();
  EXPECT_EQ(rows(db_->paramSelect("SELECT COUNT(*) FROM " + own +
                                      " WHERE FR_VALUE IS NULL AND FR_MCVAL IS NULL",
                                  0)),
            Rows{"1"});
}

TEST_P(ProfileDistributionTest, TextsAreCutToTheirColumnOnACharacterBoundary) {
  const std::string longValue = std::string(254, 'a') + "\xC3\xA9";  // 256 B
  loadFrequencies(1, true, {{longValue, 1}});
  ASSERT_TRUE(profile_->beginRuleLogLoad());
  EXPECT_TRUE(profile_->addRuleLogRow(4, 5, 1, 0, 0, longValue));
  EXPECT_TRUE(profile_->endRuleLogLoad());
  EXPECT_EQ(stored("FRQDST", "FR_VAL"), Rows{"1|" + std::string(254, 'a') +
                                             "|1|M" + std::string(254, 'a')});
  EXPECT_EQ(stored("PBRLOG", "LOG_ID"),
            Rows{"4|5|1|0|0|" + std::string(254, 'a')});
}

TEST_P(ProfileDistributionTest, LoadsOfTwoKindsAtOnceNeverMixTheirRows) {
  ASSERT_TRUE(profile_->beginFrequencyLoad(9, false, 0));
  EXPECT_TRUE(profile_->addFrequencyRow(9, "v", "", 1));
  // The bulk loader is the connection's one: a second bulk load, on this
  // object or another, is refused while the first is open.
  ProfileRDAImpl other(rda_);
  const bool bulk = db_->isBulkLoadSupported();
  EXPECT_EQ(profile_->beginPatternLoad(0), !bulk);
  EXPECT_EQ(other.beginMatchCodeLoad(0), !bulk);
  EXPECT_EQ(profile_->addPatternRow(9, "A", 2), !bulk);
  EXPECT_TRUE(profile_->addFrequencyRow(9, "w", "", 3));
  EXPECT_EQ(profile_->endPatternLoad(0), !bulk);
  EXPECT_TRUE(profile_->endFrequencyLoad(9));
  EXPECT_EQ(other.endMatchCodeLoad(0), !bulk);

  EXPECT_EQ(frequencies(9, false), (Rows{"w|3||9", "v|1||9"}));
  EXPECT_EQ(count("PATDST"), bulk ? 0 : 1);
  EXPECT_FALSE(db_->inTransaction());
  loadFrequencies(1, true, {{"after", 1}});  // the loader is free again
}

TEST_P(ProfileDistributionTest, EndingTheObjectRollsBackItsOpenLoads) {
  ASSERT_TRUE(profile_->beginFrequencyLoad(1, true, 0));
  EXPECT_TRUE(profile_->addFrequencyRow(1, "lost", "", 1));
  ASSERT_TRUE(profile_->beginRuleLogLoad());
  EXPECT_TRUE(profile_->addRuleLogRow(1, 1, 1, 0, 0, "lost"));
  profile_->release();
  profile_ = new ProfileRDAImpl(rda_);
  EXPECT_FALSE(db_->inTransaction());
  EXPECT_EQ(count("FRQDST"), 0);
  EXPECT_EQ(count("PBRLOG"), 0);
  loadFrequencies(1, true, {{"kept", 1}});
  EXPECT_EQ(count("FRQDST"), 1);
}

TEST_P(ProfileDistributionTest, ASecondBeginOfOneKindRestartsTheLoad) {
  ASSERT_TRUE(profile_->beginPatternLoad(0));
  EXPECT_TRUE(profile_->addPatternRow(1, "dropped", 1));
  ASSERT_TRUE(profile_->beginPatternLoad(0));
  EXPECT_TRUE(profile_->addPatternRow(1, "kept", 1));
  EXPECT_TRUE(profile_->endPatternLoad(0));
  EXPECT_EQ(stored("PATDST", "PA_VALUE"), Rows{"1|kept|1"});
  EXPECT_FALSE(db_->inTransaction());
}

TEST_P(ProfileDistributionTest, AFailedAddRollsBackItsWholeLoad) {
  ASSERT_TRUE(profile_->beginPatternLoad(1));  // every row written at once
  EXPECT_TRUE(profile_->addPatternRow(1, "first", 1));
  exec("DROP TABLE " + table("PATDST"));  // inside the load's transaction
  EXPECT_FALSE(profile_->addPatternRow(1, "second", 1));
  EXPECT_FALSE(db_->inTransaction());
  // The drop joined the load's transaction: the thread's next call says
  // that it went back with the load, and stores nothing.
  EXPECT_FALSE(db_->paramExec("DELETE FROM " + table("PATDST"), nullptr, 0));
  EXPECT_EQ(db_->getErrorMessage().str().find(
                "The load's transaction was rolled back"),
            0u);
  EXPECT_EQ(count("PATDST"), 0);  // the drop went back with the load
  EXPECT_FALSE(profile_->endPatternLoad(0));
}

// A load into a table that lacks a column fails (on PostgreSQL, whose
// statements are prepared when first run, by its first row or its end) and
// leaves no transaction open; once the column is back, the next load of
// each kind begins afresh.
TEST_P(ProfileDistributionTest, ALoadThatCannotWriteLeavesNothingOpen) {
  const std::pair<const char*, std::string> columns[] = {
      {"PATDST", "PA_VALUE"}, {"PBRLOG", "LOG_DATA"}};
  for (const auto& c : columns)
    exec("ALTER TABLE " + table(c.first) + " RENAME COLUMN " + c.second +
         " TO GONE");
  EXPECT_FALSE(profile_->beginPatternLoad(0) &&
               profile_->addPatternRow(1, "lost", 1) &&
               profile_->endPatternLoad(0));
  EXPECT_FALSE(profile_->beginRuleLogLoad() &&
               profile_->addRuleLogRow(1, 1, 1, 0, 0, "lost") &&
               profile_->endRuleLogLoad());
  EXPECT_FALSE(db_->inTransaction());
  for (const auto& c : columns)
    exec("ALTER TABLE " + table(c.first) + " RENAME COLUMN GONE TO " +
         c.second);
  ASSERT_TRUE(profile_->beginRuleLogLoad());
  EXPECT_TRUE(profile_->addRuleLogRow(1, 1, 1, 0, 0, "kept"));
  EXPECT_TRUE(profile_->endRuleLogLoad());
  ASSERT_TRUE(profile_->beginPatternLoad(0));
  EXPECT_TRUE(profile_->addPatternRow(1, "kept", 1));
  EXPECT_TRUE(profile_->endPatternLoad(0));
  EXPECT_FALSE(db_->inTransaction());
  EXPECT_EQ(count("PBRLOG") + count("PATDST"), 2);
}

// A field's own table gets its indexes at the load's end, inside the load:
// when either cannot be made (another object has its name), the load
// answers false and keeps neither its rows nor its table, and the next
// field's load goes on as usual. On PostgreSQL some rows were written by
// the bulk loader before the end.
TEST_P(ProfileDistributionTest, AFieldLoadWhoseIndexesCannotBeMadeKeepsNothing) {
  const char* const blocked[] = {"fk_frqdist_fr_val", "fk_frqdist_fr_count"};
  int field = 20;
  for (const char* index : blocked) {
    SCOPED_TRACE(index);
    ++field;
    const std::string squatter = db_->getTableName(index, true, field).str();
    exec("CREATE TABLE " + squatter + " (X INTEGER)");
    ASSERT_TRUE(profile_->beginFrequencyLoad(field, false, 2));
    for (const char* value : {"a", "b", "c"})
      ASSERT_TRUE(profile_->addFrequencyRow(field, value, "m", 1));
    EXPECT_FALSE(profile_->endFrequencyLoad(field));
    EXPECT_FALSE(db_->inTransaction());
    std::list<TableColumnInfo> columns;
    EXPECT_EQ(db_->getTableColumns(("FRQDST" + std::to_string(field)).c_str(),
                                   columns),
              0)
        << "the field's table stayed";
    EXPECT_EQ(rows(db_->paramSelect("SELECT COUNT(*) FROM " + squatter, 0)),
              Rows{"0"});  // the object that holds the name is left alone
    loadFrequencies(field + 10, false, {{"kept", 1}});
    EXPECT_EQ(frequencies(field + 10, false), Rows{"kept|1|Mkept|" +
                                                   std::to_string(field + 10)});
  }
}

TEST_P(ProfileDistributionTest, AddsAndEndsWithoutABeginFailAndTouchNothing) {
  ASSERT_TRUE(profile_->beginTransaction(false, 0));  // the caller's own
  EXPECT_FALSE(profile_->addPatternRow(1, "A", 1));
  EXPECT_FALSE(profile_->endFrequencyLoad(1));
  EXPECT_FALSE(profile_->endRuleLogLoad());
  EXPECT_FALSE(profile_->addRuleLogRow(1, 1, 1, 0, 0, "x"));
  EXPECT_TRUE(profile_->addFieldGroup(1, 2));
  EXPECT_TRUE(profile_->endTransaction(true));  // nothing was rolled back
  EXPECT_EQ(count("FLDGCM"), 1);
}

TEST_P(ProfileDistributionTest, RuleLogBeginsAndEndsNest) {
  ASSERT_TRUE(profile_->beginRuleLogLoad());
  EXPECT_TRUE(profile_->addRuleLogRow(2, 8, 1, 0, 0, "before"));
  ASSERT_TRUE(profile_->beginRuleLogLoad());  // keeps the row above
  EXPECT_TRUE(profile_->addRuleLogRow(3, 8, 1, 0, 0, "a\\,b"));
  EXPECT_TRUE(profile_->endRuleLogLoad());
  EXPECT_TRUE(db_->inTransaction());
  EXPECT_TRUE(profile_->addRuleLogRow(3, 8, 1, 0, 1, "c"));
  EXPECT_TRUE(profile_->endRuleLogLoad());
  EXPECT_FALSE(db_->inTransaction());
  EXPECT_FALSE(profile_->endRuleLogLoad());
  EXPECT_EQ(stored("PBRLOG", "TBL_ID, LOG_SEQ"),
            (Rows{"2|8|1|0|0|before", "3|8|1|0|0|a\\,b", "3|8|1|0|1|c"}));
}

TEST_P(ProfileDistributionTest,
       TheFrequencyReadKeepsTheMostFrequentUpToTheCap) {
  Values values;
  for (int i = 0; i < 5000; ++i) values.push_back({std::to_string(i), i});
  loadFrequencies(3, true, values);
  setCap("100");
  const Rows capped = frequencies(3, true);
  ASSERT_EQ(capped.size(), 100u);
  EXPECT_EQ(capped.front(), "4999|4999|M4999|3");
  EXPECT_EQ(capped.back(), "4900|4900|M4900|3");
  for (const char* cap : {"0", "-5", "many"}) {
    setCap(cap);
    EXPECT_EQ(frequencies(3, true).size(), 5000u) << cap;
  }
  kvbGetConfigOptions("")->remove("BASE/REPOS_FREQ_CACHE_MAX");
  EXPECT_EQ(frequencies(3, true).size(), 5000u);
}

TEST_P(ProfileDistributionTest, ACapThatIsNotACountIsWarnedAboutOnce) {
  loadFrequencies(3, true, {{"a", 1}, {"b", 2}});
  LogCapture log;
  setCap("many");
  EXPECT_EQ(frequencies(3, true).size(), 2u);
  EXPECT_EQ(frequencies(3, true).size(), 2u);
  EXPECT_EQ(log.texts("KV.Base.Config"),
            Rows{"The configuration option \"BASE/REPOS_FREQ_CACHE_MAX\" has "
                 "the value \"many\", which is not a whole number from 0 to "
                 "2147483647; 0 is used"});
}

TEST_P(ProfileDistributionTest,
       FieldsThatOverlapInPartCompareAlikeInBothLayouts) {
  for (bool shared : {true, false}) {
    loadOverlappingFields(shared);
    const int a = shared ? 1 : 11, b = shared ? 2 : 12;
    const std::string sa = std::to_string(a), sb = std::to_string(b);
    EXPECT_EQ(rows(profile_->listCommonValues(a, b, shared, false, -1)),
              (Rows{"b|2|Mb|" + sa + "|b|20|Mb|" + sb,
                    "c|3|Mc|" + sa + "|c|30|Mc|" + sb}));
    // The shared form lists the common values with both counts.
    EXPECT_EQ(sortedRows(rows(profile_->listDistributionDifference(a, b, shared,
                                                                   false, -1))),
              shared ? (Rows{"b|2|20", "c|3|30"}) : Rows{"a|1|"});
    EXPECT_EQ(rows(profile_->listValuesOnlyInFirst(a, b, shared)),
              Rows{"d|40|"});
    int n[7] = {-1, -1, -1, -1, -1, -1, -1};
    EXPECT_TRUE(profile_->getDistributionStatistics(a, b, false, 0, shared,
                                                    &n[0], &n[1], &n[2], &n[3],
                                                    &n[4], &n[5], &n[6]));
    EXPECT_EQ(std::vector<int>(n, n + 7),
              (std::vector<int>{3, 6, 3, 90, 2, 5, 50}));
    int rowsOf = -1, total = -1;
    EXPECT_TRUE(profile_->countFrequencyRows(b, shared, &rowsOf));
    EXPECT_TRUE(profile_->sumFrequencyCounts(b, shared, &total));
    EXPECT_EQ(std::make_pair(rowsOf, total), std::make_pair(3, 90));
  }
  int count = -1, total = -1;
  EXPECT_TRUE(profile_->countValuesOnlyInSecond(1, 2, &count, &total));
  EXPECT_EQ(std::make_pair(count, total), std::make_pair(1, 40));
  int c[5] = {};
  EXPECT_TRUE(profile_->compareFrequencyCounts(1, 2, &c[0], &c[1], &c[2], &c[3],
                                               &c[4]));
  EXPECT_EQ(std::vector<int>(c, c + 5), (std::vector<int>{3, 6, 2, 5, 50}));
  // A first field without rows stores zeros and answers false.
  int d[5] = {-7, -7, -7, -7, -7};
  EXPECT_FALSE(profile_->compareFrequencyCounts(5, 2, &d[0], &d[1], &d[2],
                                                &d[3], &d[4]));
  EXPECT_EQ(std::vector<int>(d, d + 5), (std::vector<int>(5, 0)));
  EXPECT_EQ(profile_->getErrorMessage().str(), "Field 5 has no frequency rows");
  EXPECT_TRUE(profile_->getDistributionStatistics(1, 5, false, 0, true, nullptr,
                                                  nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr));
  // Without its own table the second field gives no statistics: nothing is
  // written, not even the first field's numbers.
  int e[7] = {-7, -7, -7, -7, -7, -7, -7};
  EXPECT_FALSE(profile_->getDistributionStatistics(
      11, 5, false, 0, false, &e[0], &e[1], &e[2], &e[3], &e[4], &e[5], &e[6]));
  EXPECT_EQ(std::vector<int>(e, e + 7), (std::vector<int>(7, -7)));
}

TEST_P(ProfileDistributionTest, MatchCodesAreReadAndComparedPerDefinition) {
  ASSERT_TRUE(profile_->beginMatchCodeLoad(0));
  EXPECT_TRUE(profile_->addMatchCodeRow(1, "Smith", "SM", 4, 1));
  EXPECT_TRUE(profile_->addMatchCodeRow(1, "Smyth", "SM", 2, 2));
  EXPECT_TRUE(profile_->addMatchCodeRow(1, "Jones", "JN", 1, 1));
  EXPECT_TRUE(profile_->addMatchCodeRow(2, "Smithe", "SM", 7, 1));
  EXPECT_TRUE(profile_->endMatchCodeLoad(0));

  EXPECT_EQ(rows(profile_->listFrequencyDistribution(1, true, true, -1)),
            (Rows{"Smith|4|SM|1|1", "Smyth|2|SM|1|2", "Jones|1|JN|1|1"}));
  EXPECT_EQ(rows(profile_->listFrequencyDistribution(1, false, true, 2)),
            Rows{"Smyth|2|SM|1|2"});
  EXPECT_EQ(rows(profile_->listCommonValues(1, 2, true, true, -1)),
            Rows{"Smith|4|SM|1|Smithe|7|SM|2|1|1"});
  EXPECT_EQ(rows(profile_->listCommonValues(1, 2, true, true, 1)),
            Rows{"Smith|4|SM|1|Smithe|7|SM|2|1|1"});
  EXPECT_TRUE(rows(profile_->listCommonValues(1, 2, true, true, 2)).empty());
  EXPECT_EQ(sortedRows(rows(
                profile_->listDistributionDifference(1, 2, true, true, -1))),
            (Rows{"Jones|1|", "Smyth|2|"}));
  EXPECT_EQ(rows(profile_->listDistributionDifference(1, 2, true, true, 1)),
            Rows{"Jones|1|"});
  int n[7] = {};
  EXPECT_TRUE(profile_->getDistributionStatistics(
      1, 2, true, 0, true, &n[0], &n[1], &n[2], &n[3], &n[4], &n[5], &n[6]));
  EXPECT_EQ(std::vector<int>(n, n + 7),
            (std::vector<int>{2, 7, 1, 7, 1, 6, 7}));
  EXPECT_TRUE(profile_->deleteMatchCodeDistribution(1));
  EXPECT_TRUE(profile_->deleteMatchCodeDistribution(1));
  EXPECT_EQ(count("MCDIST"), 1);
}

INSTANTIATE_RDA_TARGETS(ProfileDistributionTest);

}  // namespace
