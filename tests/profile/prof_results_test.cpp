// The profile data-access object on every back end: reports, runs, their
// data sources, tables, log and settings, the fields of a run with their
// metrics and per-field results, fired alerts, charts, redundancy and rule
// outputs, read back through the listings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/prof_fixture.h"

namespace {

// The keys of one run of the report "Sales": a data source "crm" with the
// table ORDERS (fields AMOUNT and ID) and the filtered table CUSTOMERS
// (field NAME).
struct StoredRun {
  int run, dsn, orders, customers, amount, id, name;
};

class ProfileResultsTest : public ProfileRdaTest {
 protected:
  // The folders that the objects of these tests are filed into.
  void SetUp() override {
    ProfileRdaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    storeKeys("FOLDER", "FLDR_ID", {3, 4});
  }
  int report(int jobId, int folderId, const char* name) {
    return keyOf([&](int* k) {
      return profile_->addReport(jobId, folderId, name, 100.5, "alice", k);
    });
  }
  int run(int reportId, const char* description, double date) {
    return keyOf([&](int* k) {
      return profile_->addReportRun(description, date, reportId, k);
    });
  }
  int field(int dsn, int table, const char* name, const char* type) {
    return keyOf([&](int* k) {
      return profile_->addRunField(dsn, table, name, type, k);
    });
  }
  // A run of `reportId` as StoredRun describes it; `metric` becomes MET_1 of
  // each field, MET_0 is the field's name in lower case.
  StoredRun storeRun(int reportId, double date, const std::string& metric) {
    StoredRun r{};
    r.run = run(reportId, "run", date);
    r.dsn = keyOf([&](int* k) {
      return profile_->addRunDsn(r.run, "crm", "DSN=crm", "N", k);
    });
    r.orders = keyOf([&](int* k) {
      return profile_->addRunTable(r.dsn, "cat", "dbo", "ORDERS", "", "", "", 1,
                                   k);
    });
    r.customers = keyOf([&](int* k) {
      return profile_->addRunTable(r.dsn, "cat", "dbo", "CUSTOMERS", "active",
                                   "a=1", "SELECT 1", 2, k);
    });
    r.amount = field(r.dsn, r.orders, "AMOUNT", "R");
    r.id = field(r.dsn, r.orders, "ID", "I");
    r.name = field(r.dsn, r.customers, "NAME", "S");
    setMetrics(r.amount, {"amount", metric});
    setMetrics(r.id, {"id", metric});
    setMetrics(r.name, {"name", metric});
    return r;
  }
};

TEST_P(ProfileResultsTest, ReportsAreKeyedAndListedByJobFolderAndLink) {
  EXPECT_EQ(report(5, 3, "Sales"), 1);
  EXPECT_TRUE(profile_->addReport(-1, 3, "Loose", 7, "bob", nullptr));
  exec("INSERT INTO " + table("REPORT") +
       " (RPT_ID, FLDR_ID, RPT_NAME) VALUES (9, 4, 'No job')");

  ReposDataAccessCursor* sales = profile_->getReport(1);
  EXPECT_EQ(columnNames(sales),
            "RPT_ID|FLDR_ID|RPT_NAME|RPT_CRDT|RPT_MODT|RPT_USER|SU_ID");
  EXPECT_EQ(rows(sales), Rows{"1|3|Sales|100.5|100.5|alice|5"});
  EXPECT_EQ(rows(profile_->listProfileJobReports(5)),
            Rows{"1|3|Sales|100.5|100.5|alice|5"});
  EXPECT_EQ(sortedRows(rows(profile_->listUnlinkedReports())),
            (Rows{"2|3|Loose|7|7|bob|-1", "9|4|No job||||"}));
  EXPECT_EQ(rows(profile_->listFolderReports(3)).size(), 2u);

  EXPECT_TRUE(profile_->setReportProfileJob(6, 2));
  EXPECT_TRUE(profile_->setReportProfileJob(6, 77));  // no such report
  EXPECT_EQ(rows(profile_->listProfileJobReports(6)),
            Rows{"2|3|Loose|7|7|bob|6"});
  ReposDataAccessCursor* none = profile_->getReport(42);
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(rows(none).empty());
}

TEST_P(ProfileResultsTest, RunsAreCountedAndListedNewestFirst) {
  const int sales = report(5, 0, "Sales"), costs = report(5, 0, "Costs"),
            other = report(6, 0, "Other");
  run(sales, "s1", 1);
  run(sales, "s2", 2);
  run(costs, "c1", 3);
  run(other, "o1", 4);
  EXPECT_EQ(profile_->countReportRuns(sales), 2);
  EXPECT_EQ(profile_->countReportRuns(99), 0);
  EXPECT_EQ(rows(profile_->listReportRuns(sales, -1)),
            (Rows{"2|2|s2", "1|1|s1"}));
  EXPECT_EQ(rows(profile_->listReportRuns(-1, 5)),
            (Rows{"3|3|c1", "2|2|s2", "1|1|s1"}));
  EXPECT_EQ(rows(profile_->listReportRuns(other, 6)), Rows{"4|4|o1"});
  EXPECT_TRUE(rows(profile_->listReportRuns(other, 5)).empty());

  EXPECT_EQ(profile_->listReportRuns(-1, -1), nullptr);
  const std::string refusal =
      "Must have a report job id or a profile configuration id.";
  EXPECT_EQ(profile_->getErrorMessage().str(), refusal);
  EXPECT_TRUE(log_.contains(refusal, 5));
}

TEST_P(ProfileResultsTest, RunSourcesTablesLogAndSettingsReadBack) {
  const StoredRun r = storeRun(report(5, 0, "Sales"), 200, "r1");
  EXPECT_EQ(rows(profile_->listRunDsns(r.run)), Rows{"1|crm|DSN=crm|N"});
  ReposDataAccessCursor* dsn = profile_->getRunDsn(r.dsn);
  EXPECT_EQ(columnNames(dsn), "DSN_ID|JOB_ID|DSN_NAME|DSN_CONN|DSN_TF");
  EXPECT_EQ(rows(dsn), Rows{"1|1|crm|DSN=crm|N"});

  // Sorted by schema and name; the row counts are not stored yet.
  const Rows tables = {"1|2|dbo|CUSTOMERS|active|a=1|SELECT 1|||2|cat",
                       "1|1|dbo|ORDERS||||||1|cat"};
  EXPECT_EQ(rows(profile_->listRunTables(r.run, -1)), tables);
  EXPECT_EQ(rows(profile_->listRunTables(999, r.dsn)), tables);
  EXPECT_TRUE(rows(profile_->listRunTables(-1, -1)).empty());
  ReposDataAccessCursor* orders = profile_->getRunTable(r.orders);
  EXPECT_EQ(columnNames(orders),
            "DSN_ID|TBL_ID|TBL_SCH|TBL_NM|TBL_FILT|TBL_FEXP|TBL_FSQL|TBL_TROW|"
            "TBL_TFLT|TBL_SINT|TBL_CAT");
  EXPECT_EQ(rows(orders), Rows{tables[1]});

  ASSERT_TRUE(
      profile_->addExecutionLog(r.dsn, r.orders, "count", "S", 3, "ok"));
  ASSERT_TRUE(
      profile_->addExecutionLog(r.dsn, r.customers, "scan", "F", 1, "bad"));
  EXPECT_EQ(rows(profile_->listExecutionLog(r.run)),
            (Rows{"crm|cat|dbo|ORDERS||count|S|3|ok",
                  "crm|cat|dbo|CUSTOMERS|active|scan|F|1|bad"}));
  EXPECT_EQ(stored("EXELOG", "EL_ID"),
            (Rows{"1|1|1|count|S|3|ok", "2|1|2|scan|F|1|bad"}));

  for (const char* value : {"a", "b"})
    ASSERT_TRUE(profile_->addRunConfigValue(r.run, "K", value));
  EXPECT_EQ(sortedRows(rows(profile_->getRunConfigValue(r.run, "K"))),
            (Rows{"a", "b"}));
  EXPECT_TRUE(rows(profile_->getRunConfigValue(r.run + 1, "K")).empty());
}

TEST_P(ProfileResultsTest, RunsOfATableAreFoundByBoundNames) {
  const int sales = report(5, 0, "Sales");
  const StoredRun first = storeRun(sales, 200, "r1");
  const StoredRun second = storeRun(sales, 300, "r2");
  // Names holding quotes are values like any other.
  int quoted = -1;
  ASSERT_TRUE(profile_->addRunTable(second.dsn, "", "", "it's", "", "", "", 1,
                                    &quoted));
  const std::string job1 = "1|1|200|run|1|0|Sales|100.5|100.5|alice|5",
                    job2 = "2|1|300|run|1|0|Sales|100.5|100.5|alice|5";

  ReposDataAccessCursor* runs =
      profile_->findTableRuns("crm", "cat", "dbo", "ORDERS");
  EXPECT_EQ(columnNames(runs),
            "JOB_ID|RPT_ID|JOB_DATE|JOB_DESC|RPT_ID|FLDR_ID|RPT_NAME|RPT_CRDT|"
            "RPT_MODT|RPT_USER|SU_ID");
  EXPECT_EQ(rows(runs), (Rows{job2, job1}));
  EXPECT_EQ(rows(profile_->findTableRuns("crm", "", "", "it's")), Rows{job2});
  EXPECT_TRUE(
      rows(profile_->findTableRuns("crm", "", "dbo", "ORDERS")).empty());

  const KvbString empty(""), orders("ORDERS");
  EXPECT_EQ(
      rows(profile_->findTableRunsMatching(nullptr, nullptr, nullptr, nullptr)),
      (Rows{"crm|||it's|" + job2, "crm|cat|dbo|CUSTOMERS|" + job2,
            "crm|cat|dbo|CUSTOMERS|" + job1, "crm|cat|dbo|ORDERS|" + job2,
            "crm|cat|dbo|ORDERS|" + job1}));
  EXPECT_EQ(
      rows(profile_->findTableRunsMatching(nullptr, &empty, nullptr, nullptr)),
      Rows{"crm|||it's|" + job2});
  EXPECT_EQ(
      rows(profile_->findTableRunsMatching(nullptr, nullptr, nullptr, &orders))
          .size(),
      2u);
  EXPECT_NE(first.run, second.run);
}

TEST_P(ProfileResultsTest, FieldsAreListedByRunSourceOrTableWithMetrics) {
  const int sales = report(5, 0, "Sales");
  const StoredRun r1 = storeRun(sales, 200, "10");
  const StoredRun r2 = storeRun(sales, 300, "20");
  // A field row starts without metrics, category and configuration.
  EXPECT_EQ(r2.name, 6);
  EXPECT_EQ(stored("FLD", "FLD_ID")[0],
            "1|1|1|R|AMOUNT|amount|10" + std::string(24, '|'));

  EXPECT_EQ(rows(profile_->listRunFields(r1.run, -1, -1, 2)),
            (Rows{"1|AMOUNT|R|amount|10", "2|ID|I|id|10", "3|NAME|S|name|10"}));
  EXPECT_EQ(rows(profile_->listRunFields(r1.run, -1, r1.customers, 1)),
            Rows{"3|NAME|S|name"});
  EXPECT_TRUE(rows(profile_->listRunFields(r1.run, r2.dsn, -1, 0)).empty());
  EXPECT_EQ(rows(profile_->listRunFields(-1, r2.dsn, -1, 0)),
            (Rows{"4|AMOUNT|R", "5|ID|I", "6|NAME|S"}));
  EXPECT_EQ(rows(profile_->listRunFields(-1, -1, r2.orders, -3)),
            (Rows{"4|AMOUNT|R", "5|ID|I"}));
  EXPECT_TRUE(rows(profile_->listRunFields(-1, r1.dsn, r2.orders, 0)).empty());

  ReposDataAccessCursor* all = profile_->listRunFields(r1.run, -1, -1, 24);
  EXPECT_EQ(all->getNumCols(), 27);
  EXPECT_EQ(all->getColName(26).str(), "MET_23");
  all->release();
  EXPECT_EQ(profile_->listRunFields(r1.run, -1, -1, 25), nullptr);
  EXPECT_EQ(profile_->getErrorMessage().str(),
            "A field has 24 metric columns, not 25");
  EXPECT_EQ(profile_->listRunFields(-1, -1, -1, 2), nullptr);
  EXPECT_TRUE(log_.contains("Must specify a job id, dsn id, or table id", 5));
}

TEST_P(ProfileResultsTest, AFieldIsFollowedAcrossRunsByItsNames) {
  const int sales = report(5, 0, "Sales");
  const StoredRun r1 = storeRun(sales, 200, "10");
  const StoredRun r2 = storeRun(sales, 300, "20");
  auto history = [&](int first, int last, const char* schema, const char* table,
                     char kind) {
    return rows(profile_->listFieldMetricHistory(
        first, last, "crm", "cat", schema, table, "AMOUNT", kind, 2));
  };
  EXPECT_EQ(history(1, 2, "", "ORDERS", 'N'),
            (Rows{"1|1|amount|10", "2|4|amount|20"}));
  EXPECT_EQ(history(2, 9, "dbo", "ORDERS", 'N'), Rows{"2|4|amount|20"});
  EXPECT_TRUE(history(1, 2, "other", "ORDERS", 'N').empty());
  EXPECT_TRUE(history(1, 2, "", "ORDERS", 'Y').empty());
  EXPECT_TRUE(history(2, 1, "", "ORDERS", 'N').empty());
  // A filtered table is found by its filter name.
  EXPECT_EQ(rows(profile_->listFieldMetricHistory(1, 2, "crm", "", "", "active",
                                                  "NAME", 'N', 0)),
            (Rows{"1|3", "2|6"}));

  EXPECT_EQ(rows(profile_->findFieldSource(r2.run, "crm", "", "", "active",
                                           "NAME", 'N')),
            Rows{"NAME|dbo|CUSTOMERS|DSN=crm|S|active|SELECT 1|N|cat|crm|6"});
  EXPECT_EQ(rows(profile_->findFieldSource(r1.run, "crm", "cat", "dbo",
                                           "ORDERS", "ID", 'N')),
            Rows{"ID|dbo|ORDERS|DSN=crm|I|||N|cat|crm|2"});
  ReposDataAccessCursor* quote =
      profile_->findFieldSource(r1.run, "crm", "", "", "ORDERS", "ID", '\'');
  ASSERT_NE(quote, nullptr);  // the kind is a value, not SQL text
  EXPECT_TRUE(rows(quote).empty());
  EXPECT_EQ(rows(profile_->getFieldSource(r1.name)),
            Rows{"NAME|dbo|CUSTOMERS|DSN=crm|S|a=1|SELECT 1|N|cat|crm"});
}

TEST_P(ProfileResultsTest, PerFieldResultsReadBackInTheirOrder) {
  const StoredRun r = storeRun(report(5, 0, "Sales"), 200, "10");
  ASSERT_TRUE(profile_->addPercentile(r.amount, 0.75, 30));
  ASSERT_TRUE(profile_->addPercentile(r.amount, 0.25, 10));
  ASSERT_TRUE(profile_->addPercentile(r.amount, 0.5, KvbReal()));
  EXPECT_EQ(rows(profile_->listPercentiles(r.amount)),
            (Rows{"0.25|10", "0.5|", "0.75|30"}));
  ASSERT_TRUE(profile_->addOutlier(r.amount, false, 1, "999"));
  ASSERT_TRUE(profile_->addOutlier(r.amount, true, 2, "b"));
  ASSERT_TRUE(profile_->addOutlier(r.amount, true, 1, "a"));
  EXPECT_EQ(rows(profile_->listOutliers(r.amount)),
            (Rows{"H|1|999", "L|1|a", "L|2|b"}));
  ASSERT_TRUE(
      profile_->addFieldProperty(r.dsn, r.orders, r.amount, "TRIM", "Y"));
  EXPECT_EQ(rows(profile_->getFieldProperty(r.amount, "TRIM")), Rows{"Y"});
  EXPECT_TRUE(rows(profile_->getFieldProperty(r.amount, "NONE")).empty());

  ASSERT_TRUE(profile_->addPkFkResult(r.amount, r.id, 87.5));
  ASSERT_TRUE(profile_->addPkFkResult(r.amount, r.name, 12.5));
  EXPECT_EQ(sortedRows(rows(profile_->listPkFkResults(r.amount))),
            (Rows{"2|ID|crm|cat|dbo|ORDERS|87.5",
                  "3|NAME|crm|cat|dbo|CUSTOMERS|12.5"}));

  exec("INSERT INTO " + table("GCATS") +
       " (GC_ID, GCNAME, GCDESC) VALUES (1, 'Money', 'Amounts'), "
       "(2, 'Keys', '')");
  ASSERT_TRUE(profile_->addFieldGroup(r.amount, 1));
  ASSERT_TRUE(profile_->addFieldGroup(r.id, 2));
  ASSERT_TRUE(profile_->addFieldGroup(r.amount, 2));
  EXPECT_EQ(
      rows(profile_->listTableFieldGroups(r.orders)),
      (Rows{"1|AMOUNT|2|Keys|", "1|AMOUNT|1|Money|Amounts", "2|ID|2|Keys|"}));

  // Two key analyses and three redundancy memberships count apart.
  for (int config = 1; config <= 3; ++config)
    exec("INSERT INTO " + table("FLDRDA") +
             " (FLD_ID, RDACFGID, JOB_ID) VALUES (?, ?, ?)",
         {r.amount, config, r.run});
  EXPECT_EQ(rows(profile_->listTableFieldSummary(r.orders, 2)),
            (Rows{"1|AMOUNT|R|2|3|amount|10", "2|ID|I|0|0|id|10"}));

  const double before = KvbDate::currentDate().asDouble();
  EXPECT_EQ(keyOf([&](int* k) {
              return profile_->addTableNote(r.orders, 'T', "bob", "check", 4,
                                            k);
            }),
            1);
  ASSERT_TRUE(
      profile_->addTableNote(r.customers, 'N', "bob", "fyi", 0, nullptr));
  ASSERT_TRUE(profile_->addFieldNote(r.amount, "carol", "odd", 2, nullptr));
  EXPECT_EQ(rows(profile_->listRunTableNotes(r.run)), Rows{"1|check"});
  const Rows notes = stored("TBLNOT", "TN_ID");
  EXPECT_EQ(notes[0].substr(0, 14), "1|1|T|check|bo");
  const double written = std::stod(notes[0].substr(notes[0].rfind("bob|") + 4));
  EXPECT_TRUE(written >= before &&
              written <= KvbDate::currentDate().asDouble());
  EXPECT_EQ(stored("FLDNOT", "FN_ID")[0].substr(0, 14), "1|1|odd|carol|");
}

TEST_P(ProfileResultsTest, AlertsChartsRedundancyAndOutputsAreStored) {
  const StoredRun r = storeRun(report(5, 0, "Sales"), 200, "10");
  EXPECT_EQ(keyOf([&](int* k) {
              return profile_->addAlert(r.run, "crm", "cat", "dbo", "ORDERS",
                                        "ID", "flt", "desc", "ID > 0", "", "N",
                                        "BR", "uid-1", k);
            }),
            1);
  ASSERT_TRUE(profile_->addAlert(r.run, "", "", "", "", "", "", "", "", "", "",
                                 "", "", nullptr));
  ASSERT_TRUE(profile_->addAlertProperty(1, "LIMIT", "5"));
  EXPECT_EQ(stored("ALERT", "AL_ID"),
            (Rows{"1|1|crm|dbo|ORDERS|ID|flt|desc|ID > 0||N|BR|uid-1|cat",
                  "2|1" + std::string(12, '|')}));
  EXPECT_EQ(stored("ALPROP", "AL_ID"), Rows{"1|LIMIT|5"});

  const int chart = keyOf(
      [&](int* k) { return profile_->addChart(1, r.run, "Spread", "T", k); });
  ASSERT_TRUE(profile_->addChartTable(chart, "crm", "cat", "dbo", "ORDERS",
                                      "flt", "O"));
  ASSERT_TRUE(profile_->addChartCategory(chart, 7));
  ASSERT_TRUE(profile_->addChartData(chart, "X", 2, "1,2,3"));
  EXPECT_EQ(stored("CHT", "CH_ID"), Rows{"1|1|Spread|T|N|1"});
  EXPECT_EQ(stored("CHTTAB", "CH_ID"), Rows{"1|crm|cat|dbo|ORDERS|flt|O"});
  EXPECT_EQ(stored("CHTCAT", "CH_ID"), Rows{"1|7"});
  EXPECT_EQ(stored("CHTDAT", "CH_ID"), Rows{"1|X|2|1,2,3"});

  // A configuration names a stored match definition or none (-1); an
  // unknown one is refused without using a key.
  int match = -1, config = -1;
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "85", "ENUSA", &match));
  ASSERT_TRUE(profile_->addRdaConfig(r.run, "all", "d", -1, &config));
  config = 42;
  EXPECT_FALSE(profile_->addRdaConfig(r.run, "bad", "", match + 1, &config));
  EXPECT_EQ(config, 42);
  EXPECT_EQ(profile_->getErrorMessage().str(),
            "Match definition " + std::to_string(match + 1) +
                " does not exist");
  ASSERT_TRUE(profile_->addRdaConfig(r.run, "names", "", match, &config));
  EXPECT_EQ(stored("RDACFG", "RDACFGID"),
            (Rows{"1|all|d|-1|1", "2|names||1|1"}));

  ASSERT_TRUE(
      profile_->addRdaResult(r.run, 2, r.amount, r.id, 1, 2, 3, 4, 5, 6, 7));
  EXPECT_EQ(stored("RDARES", "FLD_IDL"), Rows{"1|2|1|3|2|4|5|6|7|1|2"});
  ASSERT_TRUE(profile_->addCustomMetricOutput(r.orders, 3, 1, "out", "Total",
                                              "42", "trail", 100));
  ASSERT_TRUE(
      profile_->addBusinessRuleOutput(r.orders, 4, 2, 9, "trail", "ID", 100));
  EXPECT_EQ(stored("PCMOUT", "TBL_ID"), Rows{"1|3|1|out|Total|42|trail|100"});
  EXPECT_EQ(stored("PBROUT", "TBL_ID"), Rows{"1|4|2|9|trail|ID|100"});
}

TEST_P(ProfileResultsTest, MatchDefinitionsAreStoredOnceAndFoundByContent) {
  int key = -1;
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "85", "ENUSA", &key));
  EXPECT_EQ(key, 1);
  key = -1;
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "85", "ENUSA", &key));
  EXPECT_EQ(key, 1);
  ASSERT_TRUE(profile_->addMatchDefinition("Name", "70", "ENUSA", nullptr));
  EXPECT_EQ(count("UCURID", "NI_KEY='MATCH' AND NI_VAL=2"), 1);

  EXPECT_FALSE(profile_->addMatchDefinition("Name", "high", "ENUSA", &key));
  EXPECT_EQ(profile_->getErrorMessage().str(),
            "The match sensitivity \"high\" is not an integer");
  EXPECT_EQ(profile_->findMatchDefinition("Name", "high", "ENUSA"), nullptr);
  EXPECT_EQ(count("MATCH"), 2);

  ReposDataAccessCursor* found =
      profile_->findMatchDefinition("Name", "85", "ENUSA");
  EXPECT_EQ(columnNames(found), "MC_ID|MC_DEF|MC_SENS|MC_LOC");
  EXPECT_EQ(rows(found), Rows{"1|Name|85|ENUSA"});
  EXPECT_EQ(rows(profile_->getMatchDefinition(2)), Rows{"2|Name|70|ENUSA"});
  ReposDataAccessCursor* none = profile_->getMatchDefinition(3);
  ASSERT_NE(none, nullptr);
  EXPECT_TRUE(rows(none).empty());
}

TEST_P(ProfileResultsTest, AFailedAddLeavesNeitherRowNorUsedKey) {
  const int sales = report(5, 0, "Sales");
  int key = 42;
  exec("DROP TABLE " + table("JOB"));
  EXPECT_FALSE(profile_->addReportRun("lost", 1, sales, &key));
  EXPECT_EQ(key, 42);
  EXPECT_EQ(count("UCURID", "NI_KEY='JOB'"), 0);
}

INSTANTIATE_RDA_TARGETS(ProfileResultsTest);

}  // namespace
