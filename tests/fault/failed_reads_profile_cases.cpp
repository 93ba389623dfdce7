// Failed-read cases of the profile store. The adds that answer what is
// stored already are made a second time; the finds and counts look up
// what the case stored.
#include <gtest/gtest.h>

#include <memory>

#include "fault/failed_reads.h"
#include "kvreposres/kvreposres.h"

namespace {

// The ids that a case's preparation stored, for its call to name.
struct Stored {
  int job = -1;
  int dsn = -1;
  int table = -1;
  int config = -1;
  int rule = -1;
  int match = -1;
  int report = -1;
};

// The cases of this file, sharing the ids their preparations store.
ReadCase storedCase(
    const char* name, std::function<void(ReadStores&, Stored&)> prepare,
    std::function<ReadAnswer(ReadStores&, const Stored&)> call) {
  return ::storedCase<Stored>(name, std::move(prepare), std::move(call));
}

// Profile job "J" in the root folder.
void addJob(ReadStores& s, Stored& ids) {
  ids.job = s.profile()->addProfileJob("J", "d", "j-1", 1, 1, "ann", "ann", 0);
  ASSERT_GT(ids.job, 0) << s.profile()->getErrorMessage().str();
}

// The job with data source "S".
void addDsn(ReadStores& s, Stored& ids) {
  addJob(s, ids);
  ids.dsn = s.profile()->addJobDsn(ids.job, "S", "DSN=s", "");
  ASSERT_GT(ids.dsn, 0) << s.profile()->getErrorMessage().str();
}

int addTable(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobTable(ids.job, ids.dsn, "", "dbo", "T", "", "", "",
                                  0, "", "", "", 0, 0, 0, "N", 0, 0, "N");
}

// The job's source with table "dbo.T".
void addSourceTable(ReadStores& s, Stored& ids) {
  addDsn(s, ids);
  ids.table = addTable(s, ids);
  ASSERT_GT(ids.table, 0) << s.profile()->getErrorMessage().str();
}

int addConfig(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobRdaConfig(ids.job, "C", "d", "D", "85", "ENUSA");
}

int addTableRule(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobTableRule(ids.job, ids.table, ids.rule, "R", 0, 0,
                                      "u-1");
}

int addAlert(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobAlert(ids.job, "S", "", "dbo", "T", "F", "", "d",
                                  "R", "", "A", "a-1");
}

int addChart(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobChart(ids.job, "S", "", "dbo", "T", "F", "", "d",
                                  "");
}

bool addFieldRdaMap(ReadStores& s, const Stored& ids) {
  return s.profile()->addJobFieldRdaMap(ids.job, ids.config, "S", "", "dbo",
                                        "T", "F", "N");
}

// Report "Rep" of the job with one run.
void addReportRun(ReadStores& s, Stored& ids) {
  addJob(s, ids);
  ASSERT_TRUE(s.profile()->addReport(ids.job, 0, "Rep", 1, "ann", &ids.report));
  int run = -1;
  ASSERT_TRUE(s.profile()->addReportRun("run", 1, ids.report, &run));
}

// The frequencies of fields 1 and 2 in the shared table, one value in
// common.
void addFrequencies(ReadStores& s, Stored&) {
  ProfileRepositoryDataAccess* profile = s.profile();
  for (int field : {1, 2}) {
    ASSERT_TRUE(profile->beginFrequencyLoad(field, true, 10));
    EXPECT_TRUE(profile->addFrequencyRow(field, "a", "", 3));
    EXPECT_TRUE(profile->addFrequencyRow(field, field == 1 ? "b" : "c", "", 1));
    ASSERT_TRUE(profile->endFrequencyLoad(field))
        << profile->getErrorMessage().str();
  }
}

}  // namespace

std::vector<ReadCase> profileReadCases() {
  return {
      // Adds made again: each answers the stored key, or true.
      storedCase(
          "MatchDefinitionAddedAgain",
          [](ReadStores& s, Stored& ids) {
            ASSERT_TRUE(s.profile()->addMatchDefinition("D", "85", "ENUSA",
                                                        &ids.match));
          },
          [](ReadStores& s, const Stored&) {
            int key = -1;
            return answer(
                !s.profile()->addMatchDefinition("D", "85", "ENUSA", &key),
                s.profile());
          }),
      storedCase(
          "JobRdaConfigAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addJob(s, ids);
            ASSERT_GT(addConfig(s, ids), 0);
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(addConfig(s, ids) < 0, s.profile());
          }),
      storedCase("JobDsnAddedAgain", addDsn,
                 [](ReadStores& s, const Stored& ids) {
                   return answer(
                       s.profile()->addJobDsn(ids.job, "S", "DSN=s", "") < 0,
                       s.profile());
                 }),
      storedCase("JobTableAddedAgain", addSourceTable,
                 [](ReadStores& s, const Stored& ids) {
                   return answer(addTable(s, ids) < 0, s.profile());
                 }),
      storedCase(
          "JobFieldRdaMapAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addJob(s, ids);
            ids.config = addConfig(s, ids);
            ASSERT_GT(ids.config, 0);
            ASSERT_TRUE(addFieldRdaMap(s, ids));
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(!addFieldRdaMap(s, ids), s.profile());
          }),
      storedCase(
          "JobTableRuleAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addSourceTable(s, ids);
            ids.rule = s.common()->addRule("R", "T", "1=1", "", "", "ann",
                                           "u-1", 0, "", "");
            ASSERT_GT(ids.rule, 0);
            ASSERT_GT(addTableRule(s, ids), 0);
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(addTableRule(s, ids) < 0, s.profile());
          }),
      storedCase(
          "JobAlertAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addJob(s, ids);
            ASSERT_GT(addAlert(s, ids), 0);
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(addAlert(s, ids) < 0, s.profile());
          }),
      storedCase(
          "JobChartAddedAgain",
          [](ReadStores& s, Stored& ids) {
            addJob(s, ids);
            ASSERT_GT(addChart(s, ids), 0);
          },
          [](ReadStores& s, const Stored& ids) {
            return answer(addChart(s, ids) < 0, s.profile());
          }),
      // The run, field and configuration ids are not looked up.
      storedCase(
          "RdaConfigFieldAddedAgain",
          [](ReadStores& s, Stored&) {
            ASSERT_TRUE(s.profile()->addRdaConfigField(1, 2, 3));
          },
          [](ReadStores& s, const Stored&) {
            return answer(!s.profile()->addRdaConfigField(1, 2, 3),
                          s.profile());
          }),

      // Finds, counts and tests of what is stored. An empty name keeps the
      // job's find from trying again by name.
      storedCase("ProfileJob", addJob,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(
                       s.profile()->getProfileJob(ids.job, "", ""),
                       s.profile());
                 }),
      storedCase("ProfileJobByUuid", addJob,
                 [](ReadStores& s, const Stored&) {
                   return cursorAnswer(s.profile()->getProfileJob(0, "", "j-1"),
                                       s.profile());
                 }),
      storedCase("ReportRunCount", addReportRun,
                 [](ReadStores& s, const Stored& ids) {
                   return answer(s.profile()->countReportRuns(ids.report) < 0,
                                 s.profile());
                 }),
      storedCase("JobDsnId", addDsn,
                 [](ReadStores& s, const Stored& ids) {
                   int dsn = -1;
                   return answer(!s.profile()->findJobDsnId(ids.job, "S", &dsn),
                                 s.profile());
                 }),
      storedCase("JobTableId", addSourceTable,
                 [](ReadStores& s, const Stored& ids) {
                   int table = -1;
                   return answer(!s.profile()->findJobTableId(
                                     ids.job, ids.dsn, "", "dbo", "T", "", "",
                                     "", "", &table),
                                 s.profile());
                 }),
      storedCase("FrequencyCountsCompared", addFrequencies,
                 [](ReadStores& s, const Stored&) {
                   int n[5] = {};
                   return answer(!s.profile()->compareFrequencyCounts(
                                     1, 2, &n[0], &n[1], &n[2], &n[3], &n[4]),
                                 s.profile());
                 }),
      storedCase("ProfileJobUpdated", addJob,
                 [](ReadStores& s, const Stored& ids) {
                   NoEvents noEvents;
                   return answer(!s.profile()->updateProfileJob(
                                     ids.job, "K", "d2", KvbDate(2), "bob", 0),
                                 s.profile());
                 }),
      storedCase("HasProfileJob", addJob,
                 [](ReadStores& s, const Stored&) {
                   return answer(!s.profile()->hasProfileJob("J", 0),
                                 s.profile());
                 }),
      storedCase(
          "MatchDefinition",
          [](ReadStores& s, Stored& ids) {
            ASSERT_TRUE(s.profile()->addMatchDefinition("D", "85", "ENUSA",
                                                        &ids.match));
          },
          [](ReadStores& s, const Stored& ids) {
            return cursorAnswer(s.profile()->getMatchDefinition(ids.match),
                                s.profile());
          }),
      storedCase("Report", addReportRun,
                 [](ReadStores& s, const Stored& ids) {
                   return cursorAnswer(s.profile()->getReport(ids.report),
                                       s.profile());
                 }),
  };
}
