// Reading and maintaining what runs produced, on every back end: alerts and
// charts with their filters, redundant-data configurations, fields and
// pair results, custom-metric and business-rule outputs with their
// history, and field metrics and groups.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/prof_fixture.h"

namespace {

// One report with two runs; each run has the data source "crm" with the
// table ORDERS and its fields AMOUNT and ID.
struct Runs {
  int report, run[2], table[2], amount[2], id[2];
};

class ProfileOutputsTest : public ProfileRdaTest {
 protected:
  Runs storeRuns() {
    Runs r{};
    ProfileRDAImpl& p = *profile_;
    int dsn = 0;
    bool stored = p.addReport(1, 0, "R", 1.0, "u", &r.report);
    for (int i = 0; i < 2; ++i)
      stored = stored && p.addReportRun("run", 10.0 - i, r.report, &r.run[i]) &&
               p.addRunDsn(r.run[i], "crm", "c", "N", &dsn) &&
               p.addRunTable(dsn, "cat", "dbo", "ORDERS", "", "", "", 0,
                             &r.table[i]) &&
               p.addRunField(dsn, r.table[i], "AMOUNT", "R", &r.amount[i]) &&
               p.addRunField(dsn, r.table[i], "ID", "I", &r.id[i]);
    EXPECT_TRUE(stored) << p.getErrorMessage().asCstr();
    return r;
  }
  void insertRow(const char* code, const char* columns,
                 const std::vector<KvbDatavar>& values) {
    std::string markers;
    for (size_t i = 0; i < values.size(); ++i) markers += i ? ", ?" : "?";
    exec("INSERT INTO " + table(code) + " (" + columns + ") VALUES (" +
             markers + ")",
         values);
  }
};

TEST_P(ProfileOutputsTest, AlertsAreListedInOrderWithTheirProperties) {
  const Runs r = storeRuns();
  for (int run : {r.run[1], r.run[0]})
    EXPECT_TRUE(profile_->addAlert(run, "crm", "cat", "dbo", "ORDERS", "ID", "",
                                   "d", "rule", "e", "N", "T", "u", nullptr));
  EXPECT_TRUE(profile_->addAlertProperty(2, "b", "2"));
  EXPECT_TRUE(profile_->addAlertProperty(2, "a", "1"));
  EXPECT_EQ(rows(profile_->listRunAlerts(r.run[0])),
            Rows{"2|crm|cat|dbo|ORDERS|ID||d|rule|e|N|T|u"});
  EXPECT_EQ(rows(profile_->listAlertProperties(2)), (Rows{"a|1", "b|2"}));
}

TEST_P(ProfileOutputsTest, ChartsAreFilteredEditedAndDeletedWithTheirRun) {
  const Runs r = storeRuns();
  insertRow("GCATS", "GC_ID, GCNAME", {1, "Names"});
  insertRow("GCATS", "GC_ID, GCNAME", {2, "Codes"});
  const auto chart = [&](int run, const char* name, const char* type) {
    return keyOf([&](int* k) {
      return profile_->addChart(r.report, run, name, type, k);
    });
  };
  const int t1 = chart(r.run[0], "t1", "T"), t2 = chart(r.run[1], "t2", "T");
  const int c1 = chart(r.run[0], "c1", "C");
  EXPECT_TRUE(profile_->addChartTable(t1, "crm", "", "", "ORDERS", "", "B"));
  EXPECT_TRUE(profile_->addChartTable(t2, "crm", "", "", "ITEMS", "", "P"));
  EXPECT_TRUE(profile_->addChartCategory(c1, 1));
  for (int seq : {2, 1}) EXPECT_TRUE(profile_->addChartData(t1, "y", seq, "v"));
  EXPECT_TRUE(profile_->addChartData(t1, "x", 9, "v"));

  const KvbString none;
  const auto tableCharts = [&](int run, const char* tbl, char type) {
    return rows(profile_->listTableCharts(none, -1, -1, run, none, none, none,
                                          tbl, none, type));
  };
  EXPECT_EQ(tableCharts(-1, "", 0),
            (Rows{"1|1|t1|N|crm|||ORDERS||B", "2|1|t2|N|crm|||ITEMS||P"}));
  EXPECT_EQ(tableCharts(-1, "ORDERS", 'P').size(), 0u);
  EXPECT_EQ(rows(profile_->listCategoryCharts(none, -1, r.report, -1, -1)),
            Rows{"3|1|c1|N|1|Names"});
  EXPECT_EQ(
      rows(profile_->listCategoryCharts(none, -1, -1, r.run[1], -1)).size(),
      0u);
  EXPECT_EQ(rows(profile_->listChartData(t1)),
            (Rows{"x|9|v", "y|1|v", "y|2|v"}));
  EXPECT_TRUE(profile_->addChartData(t2, "y", 1, "w"));
  EXPECT_TRUE(profile_->deleteChartData(t2));
  EXPECT_TRUE(rows(profile_->listChartData(t2)).empty());
  EXPECT_EQ(rows(profile_->listChartData(t1)).size(), 3u);

  EXPECT_TRUE(profile_->updateCategoryChart(c1, "codes", 2));
  EXPECT_TRUE(profile_->renameChart(t2, "t2"));
  EXPECT_TRUE(
      profile_->updateChartTable(t2, "erp", "c", "s", "LINES", "f", "L"));
  EXPECT_EQ(rows(profile_->listCategoryCharts("codes", c1, -1, -1, 2)),
            Rows{"3|1|codes|Y|2|Codes"});
  EXPECT_EQ(tableCharts(-1, "LINES", 'L'), Rows{"2|1|t2|Y|erp|c|s|LINES|f|L"});

  EXPECT_TRUE(profile_->deleteRunCharts(r.run[0]));
  EXPECT_EQ(stored("CHT", "CH_ID"),
            Rows{"2|1|t2|T|Y|" + std::to_string(r.run[1])});
  for (const char* code : {"CHTDAT", "CHTCAT"}) EXPECT_EQ(count(code), 0);
  EXPECT_EQ(count("CHTTAB"), 1);
}

TEST_P(ProfileOutputsTest, RedundancyConfigurationsGroupFieldsAndPairResults) {
  const Runs r = storeRuns();
  int match = 0, cfg = 0, bare = 0;
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "3", "EN", &match));
  ASSERT_TRUE(profile_->addRdaConfig(r.run[0], "cfg", "d", match, &cfg));
  ASSERT_TRUE(profile_->addRdaConfig(r.run[0], "bare", "", -1, &bare));
  const std::string run0 = std::to_string(r.run[0]);
  EXPECT_EQ(rows(profile_->getRdaConfig(cfg)),
            Rows{"1|cfg|d|1|" + run0 + "|Name|3|EN"});
  EXPECT_EQ(rows(profile_->findRdaConfig("bare", r.run[0])),
            Rows{"2|bare||-1|" + run0 + "|||"});
  EXPECT_EQ(rows(profile_->findRdaConfig("bare", r.run[1])).size(), 0u);

  const int a = r.amount[0], b = r.id[0];
  EXPECT_TRUE(profile_->addRdaConfigField(r.run[0], a, cfg));
  EXPECT_TRUE(profile_->addRdaConfigField(r.run[1], a, cfg));  // once only
  EXPECT_TRUE(profile_->addRdaConfigField(r.run[0], b, cfg));
  EXPECT_TRUE(profile_->addRdaConfigField(r.run[0], a, bare));
  EXPECT_EQ(rows(profile_->listFieldRdaConfigs(a)).size(), 2u);
  EXPECT_EQ(rows(profile_->findRdaConfigFields(match, -1)).size(), 2u);
  EXPECT_EQ(rows(profile_->findRdaConfigFields(-1, a)).size(), 2u);
  EXPECT_TRUE(profile_->deleteRedundantDataFields(cfg, -1));
  EXPECT_EQ(rows(profile_->listRdaConfigFields(bare)).size(), 1u);
  EXPECT_FALSE(profile_->hasRdaConfigField(cfg, a));

  for (int left : {5, 9})
    EXPECT_TRUE(profile_->addRdaResult(r.run[0], cfg, left, 14 - left, 1, 2, 3,
                                       4, 5, 6, 7));
  EXPECT_EQ(sortedRows(rows(profile_->listRdaResults(cfg, 5, 9, true))),
            (Rows{"5|9|3|1|4|2|5|7|6|" + run0 + "|1",
                  "9|5|3|1|4|2|5|7|6|" + run0 + "|1"}));
  EXPECT_TRUE(profile_->deleteRdaResultPair(5, 9));  // one orientation
  EXPECT_EQ(rows(profile_->listRdaResults(cfg, 5, -1, false)).size(), 1u);
}

// A configuration without a match definition, edited to name one; deleting
// a configuration leaves its fields and results, which go by their own
// deletes, each in the orientation given.
TEST_P(ProfileOutputsTest, RedundancyConfigurationsAreEditedAndDeletedPartByPart) {
  const Runs r = storeRuns();
  int match = 0, cfg = 0, other = 0;
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "3", "EN", &match));
  ASSERT_TRUE(profile_->addRdaConfig(r.run[0], "cfg", "", -1, &cfg));
  ASSERT_TRUE(profile_->addRdaConfig(r.run[0], "other", "", -1, &other));
  const std::string run0 = std::to_string(r.run[0]);
  EXPECT_EQ(rows(profile_->findRdaConfigFields(match, -1)).size(), 0u);
  EXPECT_EQ(rows(profile_->listRdaResults(cfg, 5, 9, false)).size(), 0u);
  EXPECT_EQ(rows(profile_->listRunRdaConfigs(r.run[1])).size(), 0u);
  ASSERT_TRUE(profile_->updateRedundantDataConfig(cfg, "new", "d", match));
  EXPECT_EQ(rows(profile_->listRunRdaConfigs(r.run[0])),
            (Rows{"1|new|d|1|" + run0 + "|Name|3|EN",
                  "2|other||-1|" + run0 + "|||"}));

  for (int id : {cfg, other})
    for (int field : {r.amount[0], r.id[0]})
      EXPECT_TRUE(profile_->addRdaConfigField(r.run[0], field, id));
  for (int left : {5, 9})
    for (int id : {cfg, other})
      EXPECT_TRUE(profile_->addRdaResult(r.run[0], id, left, 14 - left, 1, 2,
                                         3, 4, 5, 6, 7));
  EXPECT_TRUE(profile_->deleteRedundantDataConfig(cfg));
  EXPECT_TRUE(profile_->deleteRdaConfig(cfg));  // no row is no failure
  EXPECT_EQ(rows(profile_->getRdaConfig(cfg)).size(), 0u);
  EXPECT_EQ(rows(profile_->listRdaConfigFields(cfg)).size(), 2u);

  EXPECT_TRUE(profile_->deleteRdaConfigField(cfg, r.amount[0]));
  EXPECT_EQ(rows(profile_->listRdaConfigFields(cfg)),
            Rows{std::to_string(r.id[0]) + "|1|" + run0});
  EXPECT_TRUE(profile_->deleteRdaConfigFields(cfg));
  EXPECT_EQ(rows(profile_->listRdaConfigFields(cfg)).size(), 0u);
  EXPECT_EQ(rows(profile_->listRdaConfigFields(other)).size(), 2u);

  EXPECT_TRUE(profile_->deleteRedundantDataResults(cfg, 5, 5));  // no pair
  EXPECT_TRUE(profile_->deleteRedundantDataResults(cfg, 9, 5));
  EXPECT_EQ(rows(profile_->listRdaResults(cfg, 5, -1, false)),
            Rows{"5|9|1|3|2|4|5|6|7|" + run0 + "|1"});
  EXPECT_TRUE(profile_->deleteRedundantDataResults(cfg, -1, -1));
  EXPECT_EQ(rows(profile_->listRdaResults(cfg, -1, -1, false)).size(), 0u);
  EXPECT_EQ(rows(profile_->listRdaResults(other, -1, -1, false)).size(), 2u);
}

TEST_P(ProfileOutputsTest, RuleAndMetricOutputsAreReadByTableRunAndTrail) {
  const Runs r = storeRuns();
  insertRow("CUSTM", "CM_ID, CM_DESC", {1, "Sum"});
  insertRow("RULE", "RU_ID, RU_DESC", {1, "Positive"});
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(profile_->addCustomMetricOutput(r.table[i], 1, 1, "o", "b", "2",
                                                "trail", 10));
    EXPECT_TRUE(
        profile_->addBusinessRuleOutput(r.table[i], 1, 1, i, "trail", "f", 10));
  }
  EXPECT_TRUE(profile_->addCustomMetricOutput(r.table[0], 1, 1, "o", "a", "1",
                                              "other", 10));
  const std::string t0 = std::to_string(r.table[0]),
                    t1 = std::to_string(r.table[1]);
  EXPECT_EQ(rows(profile_->listCustomMetricOutputs(r.table[0])),
            (Rows{"1|Sum|1|o|a|1|other|10", "1|Sum|1|o|b|2|trail|10"}));
  EXPECT_EQ(rows(profile_->listCustomMetricHistory(r.report, "trail")),
            (Rows{"1|10|" + t0 + "|1|Sum|1|o|b|2|trail|10",
                  "2|9|" + t1 + "|1|Sum|1|o|b|2|trail|10"}));
  EXPECT_EQ(rows(profile_->listBusinessRuleHistory(r.report, "trail")),
            (Rows{"1|10|" + t0 + "|1|Positive|1|0|trail|f|10",
                  "2|9|" + t1 + "|1|Positive|1|1|trail|f|10"}));

  EXPECT_EQ(rows(profile_->findCustomMetricOutputs(r.run[1], "crm", "", "",
                                                   "ORDERS", "trail")),
            Rows{"2|2|" + t1 + "|1|1|o|b|2|trail|10"});
  EXPECT_EQ(rows(profile_->findBusinessRuleOutputs(r.run[1], "crm", "cat",
                                                   "dbo", "ORDERS", "trail")),
            Rows{"2|2|" + t1 + "|1|1|1|trail|f|10"});

  EXPECT_EQ(rows(profile_->listBusinessRuleOutputs(-1, -1)).size(), 2u);
  EXPECT_EQ(rows(profile_->listBusinessRuleOutputs(r.run[1], -1)),
            Rows{t1 + "|1|Positive|1|1|trail|f|10"});
  EXPECT_EQ(
      rows(profile_->listBusinessRuleOutputs(r.run[1], r.table[0])).size(), 0u);

  ASSERT_TRUE(profile_->beginRuleLogLoad());
  for (int logId : {1, 0})
    for (int seq : {1, 0})
      EXPECT_TRUE(profile_->addRuleLogRow(r.table[0], 1, 1, logId, seq,
                                          std::to_string(logId * 10 + seq)));
  EXPECT_TRUE(profile_->endRuleLogLoad());
  EXPECT_EQ(rows(profile_->listBusinessRuleLog(r.table[0], 1, true)),
            (Rows{"1|1|0|0", "1|1|0|1"}));
  EXPECT_EQ(rows(profile_->listBusinessRuleLog(r.table[0], 1, false)).size(),
            4u);
}

TEST_P(ProfileOutputsTest, FieldsAreListedByGroupWithMetricsAndCounts) {
  const Runs r = storeRuns();
  insertRow("GCATS", "GC_ID, GCNAME, GCDESC", {1, "Money", "m"});
  insertRow("GCATS", "GC_ID, GCNAME, GCDESC", {2, "Keys", "k"});
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(profile_->addFieldGroup(r.amount[i], 1));
    setMetrics(r.amount[i], {"100", "7"});
  }
  EXPECT_TRUE(profile_->addFieldGroup(r.id[1], 2));
  EXPECT_TRUE(profile_->addPkFkResult(r.id[1], r.amount[1], 1.0));
  EXPECT_TRUE(profile_->addPkFkResult(r.id[1], r.amount[0], 1.0));

  EXPECT_EQ(rows(profile_->listFieldGroups(r.run[1], -1)),
            (Rows{"2|Keys|k", "1|Money|m"}));
  EXPECT_EQ(rows(profile_->listFieldGroups(-1, r.amount[0])),
            Rows{"1|Money|m"});
  const std::string a1 = std::to_string(r.amount[1]);
  EXPECT_EQ(rows(profile_->listGroupFields(1, r.run[1], 2)),
            Rows{a1 + "|AMOUNT|R|crm|cat|dbo|ORDERS||100|7"});
  EXPECT_EQ(rows(profile_->listGroupFields(-1, -1, 0)).size(), 0u);
  EXPECT_EQ(profile_->listGroupFields(1, -1, 25), nullptr);
  EXPECT_EQ(rows(profile_->listGroupFieldsWithCounts(-1, 1, r.run[1])),
            (Rows{a1 + "|AMOUNT|R|crm|cat|dbo|ORDERS||0|0|100",
                  std::to_string(r.id[1]) + "|ID|I|crm|cat|dbo|ORDERS||2|0|"}));
  EXPECT_EQ(rows(profile_->getFieldMetric(r.amount[0], 1)), Rows{"7"});
  EXPECT_EQ(profile_->getFieldMetric(r.amount[0], 24), nullptr);
}

INSTANTIATE_RDA_TARGETS(ProfileOutputsTest);

}  // namespace
