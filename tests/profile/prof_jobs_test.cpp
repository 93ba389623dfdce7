// The profile data-access object on every back end: a complete profile job
// definition stored and read back, the adds that reuse a stored row, the
// lookups of jobs, sources and tables, and the events of new jobs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "admin/repositoryimpl.h"
#include "kvreposres/kvreposres.h"
#include "profile/prof_fixture.h"
#include "support/event_recorder.h"

namespace {

std::string describe(const RepositoryEvent& e) {
  return e.operation + " " + std::to_string(e.changeType) + " " +
         e.objectType.str() + " " + std::to_string(e.objectId) + " " +
         e.objectUUID.str();
}

// The keys of the job "Nightly" that storeJob writes.
struct Job {
  int job, dsn, orders, customers, field, config, metric, rule, alert, chart;
};

class ProfileJobsTest : public ProfileRdaTest {
 protected:
  // The folders that the objects of these tests are filed into.
  void SetUp() override {
    ProfileRdaTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    storeKeys("FOLDER", "FLDR_ID", {3, 4});
    // The custom metric and the rule that the job's table names.
    storeKeys("CUSTM", "CM_ID", {7});
    storeKeys("RULE", "RU_ID", {9});
  }
  int jobTable(int job, int dsn, const char* catalog, const char* tableName,
               const char* filter, int sampleInterval) {
    return profile_->addJobTable(job, dsn, catalog, "dbo", tableName, filter,
                                 *filter ? "a=1" : "", "", sampleInterval, "",
                                 ",", "\"", 0, 0, 0, "N", 0, 0, "N");
  }
  int job(const char* name, const char* uuid, int folder) {
    return profile_->addProfileJob(name, "desc", uuid, 1.5, 2.5, "alice", "bob",
                                   folder);
  }
  // A job with one source, a plain and a filtered table, a field with its
  // settings and links, a redundant-data configuration, a table metric and
  // rule with their mappings, a global metric, an alert and a chart.
  Job storeJob() {
    Job j{};
    j.job = job("Nightly", "u-1", 3);
    EXPECT_TRUE(profile_->addJobKeyValue(j.job, "K", "V"));
    j.dsn = profile_->addJobDsn(j.job, "crm", "DSN=crm", "");
    j.orders = jobTable(j.job, j.dsn, "cat", "ORDERS", "", 1);
    j.customers = jobTable(j.job, j.dsn, "cat", "CUSTOMERS", "active", 10);
    j.field = profile_->addJobField(j.job, j.dsn, j.orders, "AMOUNT", "Y", 1);
    EXPECT_TRUE(profile_->addJobFieldMetric(j.job, j.dsn, j.orders, j.field,
                                            "MEAN", "Y"));
    EXPECT_TRUE(profile_->addJobFieldProperty(j.job, j.dsn, j.orders, j.field,
                                              "TRIM", "N"));
    for (const char* type : {"P", "X"})
      EXPECT_TRUE(profile_->addJobLinkedField(
          j.job, j.field, "crm", "cat", "dbo", "CUSTOMERS", "ID", type, "t"));
    j.config =
        profile_->addJobRdaConfig(j.job, "dups", "d", "Name", "85", "ENUSA");
    EXPECT_TRUE(profile_->addJobFieldRdaMap(j.job, j.config, "crm", "cat",
                                            "dbo", "ORDERS", "AMOUNT", "ODBC"));
    j.metric =
        profile_->addJobTableMetric(j.job, j.orders, 7, "Total", "cm-uid");
    EXPECT_TRUE(profile_->addJobCustomMetricMapping(
        j.job, j.metric, j.orders, 7, "Total", "AMOUNT", "", "in", "I"));
    EXPECT_TRUE(profile_->addJobCustomMetricFieldMapping(
        j.job, j.orders, 7, j.metric, "Total", "", "SUM", "out", "O"));
    j.rule = profile_->addJobTableRule(j.job, j.orders, 9, "Positive", 1, 10,
                                       "br-uid");
    EXPECT_TRUE(profile_->addJobRuleFieldMapping(j.job, j.rule, j.orders, 9,
                                                 "Positive", "AMOUNT", "x"));
    EXPECT_TRUE(profile_->addJobGlobalMetric(j.job, "SAMPLE", "100"));
    j.alert = profile_->addJobAlert(j.job, "crm", "cat", "dbo", "ORDERS",
                                    "AMOUNT", "", "d", "x<0", "", "SM", "uid");
    for (const char* value : {"5", "6"})
      EXPECT_TRUE(
          profile_->setJobAlertProperty(j.job, j.alert, "LIMIT", value));
    EXPECT_TRUE(profile_->setJobAlertProperty(j.job, j.alert, "MODE", "m"));
    j.chart = profile_->addJobChart(j.job, "crm", "cat", "dbo", "ORDERS",
                                    "AMOUNT", "", "d", "");
    EXPECT_TRUE(
        profile_->addJobChartProperty(j.job, j.chart, "COLOR", 1, "red"));
    return j;
  }
};

TEST_P(ProfileJobsTest, AJobDefinitionIsStoredWholeAndReadBack) {
  const Job j = storeJob();
  EXPECT_EQ(std::vector<int>({j.job, j.dsn, j.orders, j.customers, j.field,
                              j.config, j.metric, j.rule, j.alert, j.chart}),
            std::vector<int>({1, 1, 1, 2, 1, 1, 1, 1, 1, 1}));
  ReposDataAccessCursor* header = profile_->getProfileJobById(j.job);
  EXPECT_EQ(columnNames(header),
            "SU_ID|SU_NAME|SU_DESC|SU_UUID|SU_CRDAT|SU_EDDAT|SU_CRUSR|SU_EDUSR|"
            "FLDR_ID");
  EXPECT_EQ(rows(header), Rows{"1|Nightly|desc|u-1|1.5|2.5|alice|bob|3"});
  EXPECT_EQ(rows(profile_->listProfileJobs()).size(), 1u);
  EXPECT_EQ(rows(profile_->listJobKeyValues(j.job)), Rows{"K|V|1"});
  EXPECT_EQ(rows(profile_->listJobDsns(j.job)), Rows{"1|crm|DSN=crm||1"});

  ReposDataAccessCursor* tables = profile_->listJobTables(j.dsn);
  EXPECT_EQ(columnNames(tables),
            "TBL_ID|DSN_ID|TBL_NAME|TBL_SCH|FLTR|FLTR_E|FLTR_S|SAMP_INT|FNAME|"
            "DELIM|TXT_QUAL|SKIP_ROW|REC_WDTH|MAX_ROW|TRUNC|EOL|ENC|USE_BOM|"
            "SU_ID|TBL_CAT");
  EXPECT_EQ(
      sortedRows(rows(tables)),
      (Rows{"1|1|ORDERS|dbo||||1||,|\"|0|0|0|N|0|0|N|1|cat",
            "2|1|CUSTOMERS|dbo|active|a=1||10||,|\"|0|0|0|N|0|0|N|1|cat"}));
  EXPECT_EQ(rows(profile_->listJobFields(j.dsn, j.orders)),
            Rows{"1|1|1|AMOUNT|Y|1||1"});
  EXPECT_EQ(rows(profile_->listJobFieldMetrics(j.dsn, j.orders, j.field)),
            Rows{"1|1|1|MEAN|Y|1"});
  EXPECT_EQ(rows(profile_->listJobFieldProperties(j.dsn, j.orders, j.field)),
            Rows{"1|1|1|TRIM|N|1"});
  EXPECT_EQ(rows(profile_->listJobLinkedFields(j.field, "P")),
            Rows{"1|crm|dbo|CUSTOMERS|ID|P|t|1|cat"});
  EXPECT_EQ(rows(profile_->listJobLinkedFields(j.field, "")).size(), 2u);

  const Rows config = {"1|dups|d|Name|85|ENUSA|1"};
  EXPECT_EQ(rows(profile_->listJobRdaConfigs(j.job)), config);
  EXPECT_EQ(
      rows(profile_->findJobRdaConfig(j.job, "dups", "Name", "85", "ENUSA")),
      config);
  EXPECT_TRUE(rows(profile_->findJobRdaConfig(2, "dups", "Name", "85", "ENUSA"))
                  .empty());
  EXPECT_EQ(rows(profile_->listJobFieldRdaMaps(j.job, -1)),
            Rows{"1|crm|cat|dbo|ORDERS|AMOUNT|1|ODBC"});
  EXPECT_TRUE(rows(profile_->listJobFieldRdaMaps(j.job, 0)).empty());

  EXPECT_EQ(rows(profile_->listJobTableMetrics(j.orders)),
            Rows{"1|1|Total|cm-uid|1|7"});
  // Both argument orders of a metric mapping write the same kind of row.
  const Rows mappings = {"1|1|Total|AMOUNT||in|I|1|7",
                         "1|1|Total||SUM|out|O|1|7"};
  EXPECT_EQ(
      sortedRows(rows(profile_->listJobCustomMetricMappings(j.job, j.orders))),
      mappings);
  EXPECT_EQ(sortedRows(rows(profile_->findJobCustomMetricMappings(
                j.orders, j.metric, "Total"))),
            mappings);
  EXPECT_TRUE(rows(profile_->findJobCustomMetricMappings(j.metric + 1, j.orders,
                                                         "Total"))
                  .empty());
  EXPECT_EQ(rows(profile_->listCustomMetricInputs("cm-uid")), Rows{"AMOUNT"});

  const Rows rule = {"1|1|Positive|1|10|br-uid|1|9"};
  EXPECT_EQ(rows(profile_->listJobTableRules(j.orders)), rule);
  EXPECT_EQ(rows(profile_->listJobRules(j.job)), rule);
  EXPECT_EQ(rows(profile_->listJobRuleFieldMappings(j.orders, 9, j.rule)),
            Rows{"1|1|Positive|AMOUNT|x|1|9"});
  EXPECT_EQ(rows(profile_->listJobGlobalMetrics(j.job)), Rows{"SAMPLE|100|1"});
  EXPECT_EQ(rows(profile_->listJobAlerts(j.job)),
            Rows{"1|crm|dbo|ORDERS|AMOUNT||d|x<0||SM|uid|1|cat"});
  EXPECT_EQ(sortedRows(rows(profile_->listJobAlertProperties(j.alert))),
            (Rows{"1|LIMIT|6|1", "1|MODE|m|1"}));
  EXPECT_EQ(rows(profile_->listJobCharts(j.job)),
            Rows{"1|crm|dbo|ORDERS|AMOUNT||d||1|cat"});
  EXPECT_EQ(rows(profile_->listJobChartProperties(j.chart)),
            Rows{"1|COLOR|1|red|1"});
  EXPECT_EQ(sortedRows(rows(profile_->listJobSources(j.job))),
            (Rows{"crm|DSN=crm|cat|dbo|CUSTOMERS|||2",
                  "crm|DSN=crm|cat|dbo|ORDERS|||1"}));
}

TEST_P(ProfileJobsTest, TextFileLayoutsAreKeptByTableName) {
  ASSERT_TRUE(profile_->addTextFileInfo("ORDERS", "o.txt", ",", "\"", 1, 0, 100,
                                        false, 1, 2, true));
  ASSERT_TRUE(profile_->addTextFileField("ORDERS", "B", "INTEGER", 4, 5, 2));
  ASSERT_TRUE(profile_->addTextFileField("ORDERS", "A", "DATE (MDY)", 3, 1, 1));
  EXPECT_EQ(rows(profile_->listTextFileInfos()),
            Rows{"ORDERS|o.txt|,|\"|1|0|100|N|1|2|Y"});
  ReposDataAccessCursor* fields = profile_->listTextFileFields("ORDERS");
  EXPECT_EQ(columnNames(fields), "TFF_FN|TFF_TYPE|TFF_LEN|TFF_SPOS");
  EXPECT_EQ(rows(fields), (Rows{"A|DATE (MDY)|3|1", "B|INTEGER|4|5"}));
  EXPECT_TRUE(rows(profile_->listTextFileFields("NONE")).empty());
}

TEST_P(ProfileJobsTest, AddsReuseTheRowThatTheyWouldRepeat) {
  const Job j = storeJob();
  // Found again: the row stays as it was stored first.
  EXPECT_EQ(profile_->addJobDsn(j.job, "crm", "other", "x"), j.dsn);
  EXPECT_EQ(jobTable(j.job, j.dsn, "cat", "ORDERS", "", 5), j.orders);
  EXPECT_EQ(
      profile_->addJobRdaConfig(j.job, "dups", "new", "Name", "85", "ENUSA"),
      j.config);
  EXPECT_EQ(
      profile_->addJobTableRule(j.job, j.orders, 9, "Renamed", 0, 0, "other"),
      j.rule);
  EXPECT_EQ(
      profile_->addJobAlert(j.job, "crm", "cat", "dbo", "ORDERS", "AMOUNT",
                            "flt", "other", "x<0", "f.txt", "SM", "uid"),
      j.alert);
  EXPECT_TRUE(profile_->addJobFieldRdaMap(j.job, j.config, "crm", "cat", "dbo",
                                          "ORDERS", "AMOUNT", "ODBC"));
  EXPECT_EQ(rows(profile_->listJobDsns(j.job)), Rows{"1|crm|DSN=crm||1"});
  EXPECT_EQ(rows(profile_->listJobRdaConfigs(j.job)),
            Rows{"1|dups|d|Name|85|ENUSA|1"});
  EXPECT_EQ(rows(profile_->listJobTableRules(j.orders)),
            Rows{"1|1|Positive|1|10|br-uid|1|9"});
  EXPECT_EQ(count("JALERT"), 1);
  EXPECT_EQ(count("JFRDA"), 1);

  // New: an unfiltered table is not the filtered one of the same name, nor
  // is a table without catalog the one with; alerts of another type and
  // charts that differ in any text are new as well.
  EXPECT_EQ(jobTable(j.job, j.dsn, "cat", "CUSTOMERS", "", 1), 3);
  EXPECT_EQ(jobTable(j.job, j.dsn, "", "ORDERS", "", 1), 4);
  EXPECT_EQ(profile_->addJobAlert(j.job, "crm", "cat", "dbo", "ORDERS",
                                  "AMOUNT", "", "d", "x<0", "", "CM", "uid"),
            2);
  EXPECT_EQ(profile_->addJobChart(j.job, "crm", "cat", "dbo", "ORDERS",
                                  "AMOUNT", "", "other", ""),
            2);
  // Plain adds never look for an equal row.
  EXPECT_EQ(profile_->addJobField(j.job, j.dsn, j.orders, "AMOUNT", "Y", 1), 2);
  EXPECT_EQ(profile_->addJobTableMetric(j.job, j.orders, 7, "Total", "cm-uid"),
            2);
  ASSERT_TRUE(profile_->addJobKeyValue(j.job, "K", "V"));
  EXPECT_EQ(count("JKEYVL"), 2);
}

TEST_P(ProfileJobsTest, JobsSourcesAndTablesAreLookedUp) {
  const Job j = storeJob();
  EXPECT_EQ(job("Weekly", "u-2", 3), 2);
  auto name = [&](int id, const char* n, const char* uuid) {
    const Rows found = rows(profile_->getProfileJob(id, n, uuid));
    return found.empty() ? "<none>" : found[0].substr(0, found[0].find("|d"));
  };
  EXPECT_EQ(name(2, "Nightly", "u-1"), "2|Weekly");
  EXPECT_EQ(name(-1, "Nightly", "u-2"), "2|Weekly");
  EXPECT_EQ(name(0, "Nightly", ""), "1|Nightly");
  EXPECT_EQ(name(0, "Monthly", ""), "<none>");
  EXPECT_EQ(profile_->getProfileJob(0, "", ""), nullptr);

  int id = 42;
  EXPECT_FALSE(profile_->findJobDsnId(j.job, "erp", &id));
  EXPECT_EQ(id, 42);
  EXPECT_TRUE(profile_->findJobDsnId(j.job, "crm", &id));
  EXPECT_EQ(id, j.dsn);

  // Criteria not given do not restrict: an empty catalog finds a table
  // stored with one, a source id of 0 or -1 searches every source.
  auto tableId = [&](int dsn, const char* catalog, const char* tableName,
                     const char* filter) {
    int found = -1;
    return profile_->findJobTableId(j.job, dsn, catalog, "", tableName, filter,
                                    "", "", "", &found)
               ? found
               : -1;
  };
  EXPECT_EQ(tableId(j.dsn, "", "CUSTOMERS", ""), j.customers);
  EXPECT_EQ(tableId(0, "cat", "ORDERS", ""), j.orders);
  EXPECT_EQ(tableId(-1, "", "", "active"), j.customers);
  EXPECT_EQ(tableId(j.dsn + 1, "", "ORDERS", ""), -1);
  EXPECT_EQ(tableId(-1, "other", "ORDERS", ""), -1);
}

TEST_P(ProfileJobsTest, NewJobsAreAnnouncedOutsideTransactionsOnly) {
  EventRecorder recorder(describe);
  EXPECT_EQ(job("Nightly", "u-1", 3), 1);
  EXPECT_EQ(job("Nightly", "u-x", 3), -1);
  EXPECT_EQ(profile_->getErrorMessage().str(),
            "Cannot add the profile job \"Nightly\": The folder holds a "
            "profile job of this name already.");
  EXPECT_EQ(job("Nightly", "u-2", 4), 2);  // another folder

  // A transaction begun through another object of the repository counts.
  ProfileRDAImpl* other = new ProfileRDAImpl(rda_);
  ASSERT_TRUE(other->beginTransaction(0, 0));
  EXPECT_EQ(job("Weekly", "u-3", 3), 3);
  ASSERT_TRUE(other->endTransaction(true));
  other->release();
  EXPECT_EQ(rows(profile_->getProfileJobById(3)).size(), 1u);
  EXPECT_EQ(recorder.events, (Rows{"objectChanged 0 ProfileJob 1 u-1",
                                   "objectChanged 0 ProfileJob 2 u-2"}));
}

// An add refused inside the caller's transaction takes back only its own
// work: the caller's rows before and after it stay and commit.
TEST_P(ProfileJobsTest, ARefusalInsideTheCallersTransactionKeepsItsWork) {
  const int nightly = job("Nightly", "u-1", 3);
  ASSERT_TRUE(profile_->beginTransaction(0, 0));
  ASSERT_TRUE(profile_->addJobGlobalMetric(nightly, "before", "1"));
  EXPECT_EQ(job("Nightly", "u-x", 3), -1);
  ASSERT_TRUE(profile_->addJobGlobalMetric(nightly, "after", "2"));
  EXPECT_TRUE(profile_->endTransaction(true)) << profile_->getErrorMessage().str();
  EXPECT_EQ(stored("JGMET", "MET_NAME").size(), 2u);
  EXPECT_EQ(stored("JSETUP", "SU_ID").size(), 1u);
}

// An add whose insert fails inside the caller's transaction (its new id is
// taken) costs only itself; the id it drew may stay unused.
TEST_P(ProfileJobsTest, AFailedAddInsideTheCallersTransactionCostsOnlyItself) {
  int first = -1, second = -1, failed = -1;
  ASSERT_TRUE(profile_->beginTransaction(0, 0));
  ASSERT_TRUE(profile_->addRunField(1, 1, "A", "S", &first));
  exec("INSERT INTO " + table("FLD") + " (FLD_ID) VALUES (?)", {first + 1});
  EXPECT_FALSE(profile_->addRunField(1, 1, "B", "S", &failed));
  // This driver mode rolls the whole transaction back at the failed add.
  const bool lost = isPostgres() && postgresFailuresEndTransactions();
  const std::string undo = "DELETE FROM " + table("FLD") + " WHERE FLD_ID=?";
  if (lost) {
    KvbDatavar taken(first + 1);
    EXPECT_FALSE(db_->paramExec(undo, nullptr, 1, &taken));
    EXPECT_TRUE(isRolledBackByTheDatabase(db_->getErrorMessage().str()))
        << db_->getErrorMessage().str();
  } else {
    exec(undo, {first + 1});
  }
  ASSERT_EQ(profile_->addRunField(1, 1, "C", "S", &second), !lost)
      << profile_->getErrorMessage().str();
  if (lost) {
    EXPECT_TRUE(isRolledBackByTheDatabase(profile_->getErrorMessage().str()))
        << profile_->getErrorMessage().str();
  }
  EXPECT_EQ(profile_->endTransaction(true), !lost)
      << profile_->getErrorMessage().str();
  if (lost) {
    EXPECT_TRUE(isRolledBackByTheDatabase(profile_->getErrorMessage().str()))
        << profile_->getErrorMessage().str();
  }
  EXPECT_EQ(failed, -1);
  EXPECT_EQ(cursorRows(db_->paramSelect(
                "SELECT FLD_NAME FROM " + table("FLD") + " ORDER BY FLD_ID", 0)),
            lost ? Rows{} : (Rows{"A", "C"}));
}

TEST_P(ProfileJobsTest, TheRepositoryHandsOutProfileObjects) {
  RepositoryImpl* repository = new RepositoryImpl();
  KvbString error;
  ASSERT_TRUE(repository->init(isFile() ? 1 : 0, nullptr, isFile() ? 0 : 1,
                               location().c_str(), prefix_.c_str(), "", nullptr,
                               &error))
      << error.asCstr();
  ProfileRepositoryDataAccess* first = repository->createProfileDataAccess();
  ProfileRepositoryDataAccess* second = repository->createProfileDataAccess();
  ASSERT_TRUE(first && second && first != second);
  EXPECT_TRUE(first->addReport(1, 0, "Sales", 1, "alice", nullptr));
  first->release();
  EXPECT_EQ(second->countReportRuns(1), 0);
  second->release();
  repository->release();
  EXPECT_EQ(count("REPORT"), 1);
}

INSTANTIATE_RDA_TARGETS(ProfileJobsTest);

}  // namespace
