// Maintaining stored jobs and results on every back end: deleting a job
// with its reports and runs and its announcement, the update that
// announces a rename or a change, the existence tests, the corrections of
// reports, tables and fields, and the notes of tables and fields.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "profile/prof_fixture.h"
#include "support/event_recorder.h"
#include "support/repos_content.h"

namespace {

std::string describe(const RepositoryEvent& e) {
  return e.operation + " " + std::to_string(e.changeType) + " " +
         e.objectType.str() + " " + std::to_string(e.objectId) + " " +
         e.oldName.str() + ">" + e.newName.str() + " " + e.uriText.str() + " " +
         e.identity.str();
}

class ProfileMaintenanceTest : public ProfileRdaTest {
 protected:
  int job(const char* name, int folder) {
    return profile_->addProfileJob(name, "d", "u-" + std::string(name), 1, 1,
                                   "a", "a", folder);
  }
  int report(int jobId) {
    return keyOf([&](int* k) {
      return profile_->addReport(jobId, 0, "r", 1.0, "u", k);
    });
  }
  int run(int reportId) {
    const int id = keyOf([&](int* k) {
      return profile_->addReportRun("run", 2.0, reportId, k);
    });
    EXPECT_TRUE(profile_->addRunDsn(id, "d", "c", "N", nullptr));
    return id;
  }
  // A field of run `runId` with a frequency table of its own.
  int fieldWithTable(int runId) {
    int dsn = 0, tbl = 0, fld = 0;
    ProfileRDAImpl& p = *profile_;
    EXPECT_TRUE(p.addRunDsn(runId, "d", "c", "N", &dsn) &&
                p.addRunTable(dsn, "", "", "T", "", "", "", 0, &tbl) &&
                p.addRunField(dsn, tbl, "F", "S", &fld) &&
                p.beginFrequencyLoad(fld, false, 0) &&
                p.addFrequencyRow(fld, "v", "", 1) && p.endFrequencyLoad(fld))
        << p.getErrorMessage().asCstr();
    return fld;
  }
  void category(int id, const char* description) {
    exec(
        "INSERT INTO " + table("NOTCAT") + " (NCAT_ID, NCAT_DSC) VALUES (?, ?)",
        {id, description});
  }
};

TEST_P(ProfileMaintenanceTest, DeletingAJobTakesItsDefinitionReportsAndRuns) {
  const int nightly = job("Nightly", 0), other = job("Other", 0);
  for (int j : {nightly, other}) {
    EXPECT_TRUE(profile_->addJobKeyValue(j, "k", "v"));
    EXPECT_GT(profile_->addJobDsn(j, "d", "c", ""), 0);
    run(report(j));
  }
  const int field = fieldWithTable(run(report(nightly)));  // a second report
  EventRecorder recorder(describe);
  ASSERT_TRUE(profile_->deleteProfileJob(nightly))
      << profile_->getErrorMessage().asCstr();
  EXPECT_EQ(
      recorder.events,
      std::vector<std::string>{
          "postUriEvent 1 ProfileJob -1 > repos:///Nightly?type=ProfileJob "
          "object:|ProfileJob|1|u-Nightly"});
  for (const char* code : {"JSETUP", "JKEYVL", "JDSN", "REPORT", "JOB", "DSN"})
    EXPECT_EQ(count(code), 1) << code;
  EXPECT_EQ(count("REPORT", "SU_ID=?", {other}), 1);
  EXPECT_FALSE(idTableExists(db_, "FRQDST", field));
  // A job that is gone has no path: deleting it again is no failure, is
  // announced nowhere and logs nothing.
  EXPECT_EQ(
      loggedFailures([&] { EXPECT_TRUE(profile_->deleteProfileJob(nightly)); }),
      std::vector<std::string>{});
  EXPECT_EQ(recorder.events.size(), 1u);
  EXPECT_EQ(count("JSETUP"), 1);
}

TEST_P(ProfileMaintenanceTest,
       UpdatesAnnounceARenameOrAChangeOutsideATransaction) {
  storeKeys("FOLDER", "FLDR_ID", {5});
  const int nightly = job("Nightly", 0);
  EventRecorder recorder(describe);
  EXPECT_TRUE(
      profile_->updateProfileJob(nightly, "Daily", "d2", KvbDate(3), "b", 5));
  EXPECT_TRUE(
      profile_->updateProfileJob(nightly, "Daily", "d3", KvbDate(4), "c", 5));
  ASSERT_TRUE(profile_->beginTransaction(false, 0));
  EXPECT_TRUE(
      profile_->updateProfileJob(nightly, "Hourly", "d4", KvbDate(5), "c", 5));
  EXPECT_TRUE(profile_->endTransaction(true));
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{
                "postRenameEvent -1 ProfileJob 1 Nightly>Daily  ",
                "postObjectEvent 2 ProfileJob 1 >  "}));
  EXPECT_EQ(stored("JSETUP", "SU_ID"), Rows{"1|Hourly|d4|u-Nightly|1|5|a|c|5"});
  EXPECT_TRUE(profile_->hasProfileJob("Hourly", 5));
  EXPECT_FALSE(profile_->hasProfileJob("Hourly", 0));
}

TEST_P(ProfileMaintenanceTest, JobLinksAndLayoutsAreFoundAndRemoved) {
  ASSERT_EQ(profile_->addProfileJob("J", "", "", 1, 1, "a", "a", 0), 1);
  ASSERT_EQ(profile_->addJobRdaConfig(1, "C", "", "", "", ""), 1);
  EXPECT_TRUE(profile_->addJobFieldRdaMap(1, 1, "d", "c", "s", "t", "f", "N"));
  EXPECT_TRUE(profile_->hasJobFieldRdaMap(1, "d", "c", "s", "t", "f"));
  EXPECT_FALSE(profile_->hasJobFieldRdaMap(1, "d", "c", "s", "t", "g"));
  EXPECT_TRUE(profile_->deleteProfileJobDetails(1));
  EXPECT_FALSE(profile_->hasJobFieldRdaMap(1, "d", "c", "s", "t", "f"));

  for (const char* name : {"A", "B"}) {
    EXPECT_TRUE(profile_->addTextFileInfo(name, "f", ",", "\"", 0, 0, 0, false,
                                          0, 0, false));
    EXPECT_TRUE(profile_->addTextFileField(name, "x", "S", 5, 1, 1));
  }
  EXPECT_TRUE(profile_->deleteTextFileInfo("A"));
  EXPECT_TRUE(profile_->deleteTextFileInfo("none"));
  EXPECT_EQ(
      count("TFINF", "TBL_NM=?", {"B"}) + count("TFFINF", "TBL_NM=?", {"B"}),
      2);
  EXPECT_EQ(count("TFINF") + count("TFFINF"), 2);
}

TEST_P(ProfileMaintenanceTest, CorrectionsWriteOnlyWhatIsGiven) {
  storeKeys("FOLDER", "FLDR_ID", {4});
  const int r = report(1);
  exec("UPDATE " + table("REPORT") + " SET RPT_MODT=0");
  EXPECT_TRUE(profile_->updateReport(r, -1, "", "", -1));  // stamps only
  EXPECT_EQ(count("REPORT", "RPT_MODT>0 AND RPT_NAME='r' AND SU_ID=1"), 1);
  EXPECT_TRUE(profile_->updateReport(r, 4, "Sales", "bob", 9));
  EXPECT_EQ(count("REPORT", "FLDR_ID=4 AND RPT_NAME='Sales' AND SU_ID=9"), 1);
  // Into a folder that does not exist: refused, nothing written.
  EXPECT_FALSE(profile_->updateReport(r, 99, "Lost", "", -1));
  EXPECT_FALSE(profile_->updateProfileJob(9, "Lost", "", KvbDate(1), "", 99));
  EXPECT_EQ(profile_->getErrorMessage().str(), "Folder 99 does not exist");
  EXPECT_EQ(count("REPORT", "RPT_NAME='Lost'") + count("JSETUP", "FLDR_ID=99"),
            0);

  EXPECT_TRUE(profile_->addRunField(1, 1, "F", "S", nullptr));
  EXPECT_TRUE(profile_->addRunField(1, 1, "G", "S", nullptr));
  // Each metric number writes its own column of the field named, however
  // often the same write is repeated.
  EXPECT_TRUE(profile_->setFieldMetric(1, 3, KvbString("12")));
  EXPECT_TRUE(profile_->setFieldMetric(1, 5, KvbString("7")));
  EXPECT_TRUE(profile_->setFieldMetric(2, 3, KvbString("8")));
  EXPECT_EQ(count("FLD", "FLD_ID=1 AND MET_3='12' AND MET_5='7'"), 1);
  EXPECT_EQ(count("FLD", "FLD_ID=2 AND MET_3='8' AND MET_5 IS NULL"), 1);
  EXPECT_FALSE(profile_->setFieldMetric(1, 24, KvbString("x")));
  for (int group : {1, 2}) EXPECT_TRUE(profile_->addFieldGroup(1, group));
  EXPECT_TRUE(profile_->addFieldGroup(2, 1));
  EXPECT_TRUE(profile_->deleteFieldGroup(1, 2));
  EXPECT_EQ(count("FLDGCM"), 2);
  EXPECT_TRUE(profile_->deleteFieldGroup(1, -1));
  EXPECT_EQ(count("FLDGCM"), 1);

  // The other corrections touch only the row they name.
  const int other = report(1);
  EXPECT_TRUE(profile_->updateReportProfileJob(7, other));
  EXPECT_EQ(count("REPORT", "SU_ID=7"), 1);
  EXPECT_EQ(count("REPORT", "SU_ID=9"), 1);
  int tables[2] = {0, 0};
  for (int& t : tables)
    EXPECT_TRUE(profile_->addRunTable(1, "", "", "T", "", "", "", 0, &t));
  EXPECT_TRUE(profile_->setTableRowCounts(tables[1], 10, 4));
  EXPECT_EQ(count("TBL", "TBL_TROW=10 AND TBL_TFLT=4 AND TBL_ID=?", {tables[1]}),
            1);
  EXPECT_EQ(count("TBL", "TBL_TROW=10"), 1);
  for (int field : {1, 2})
    for (const char* name : {"P", "Q"})
      EXPECT_TRUE(profile_->addFieldProperty(1, 1, field, name, "v"));
  EXPECT_TRUE(profile_->deleteFieldProperty(1, "P"));
  EXPECT_EQ(count("FLDPRP", "FLD_ID=1 AND PR_NAME='P'"), 0);
  EXPECT_EQ(count("FLDPRP"), 3);
  for (int field : {1, 2})
    for (int otherField : {2, 3})
      EXPECT_TRUE(profile_->addPkFkResult(field, otherField, 0.5));
  EXPECT_TRUE(profile_->deletePkFkResult(1, 2));
  EXPECT_EQ(count("PKFK", "FLD_ID=1 AND PF_FLDID=2"), 0);
  EXPECT_EQ(count("PKFK"), 3);
}

TEST_P(ProfileMaintenanceTest, NotesAreListedWithTheirCategoryInEitherOrder) {
  category(1, "General");
  category(2, "Quality");
  EXPECT_TRUE(profile_->addTableNote(7, 'N', "ann", "first", 1, nullptr));
  EXPECT_TRUE(profile_->addTableNote(7, 'T', "bob", "task", 2, nullptr));
  EXPECT_TRUE(profile_->addTableNote(8, 'N', "cy", "other", 1, nullptr));
  EXPECT_TRUE(profile_->addTableNote(7, 'N', "dee", "lost", 3, nullptr));
  const auto ids = [](Rows rows) {
    std::string out;
    for (const std::string& row : rows) out += row.substr(0, row.find('|'));
    return out;
  };
  EXPECT_EQ(ids(rows(profile_->listTableNotes(-1, 0, 0))), "123");
  EXPECT_EQ(ids(rows(profile_->listTableNotes(-1, 0, 1))), "321");
  EXPECT_EQ(ids(rows(profile_->listTableNotes(7, 0, 2))), "12");
  Rows task = rows(profile_->listTableNotes(7, 'T', 0));
  ASSERT_EQ(task.size(), 1u);
  EXPECT_EQ(task[0].substr(0, 11), "2|task|bob|");
  EXPECT_EQ(task[0].substr(task[0].rfind('|', task[0].size() - 3)),
            "|Quality|2");
  EXPECT_EQ(rows(profile_->listTableNotes(7, '\'', 0)), Rows{});
  EXPECT_TRUE(profile_->deleteTableNote(1));
  EXPECT_TRUE(profile_->deleteTableNote(99));
  EXPECT_EQ(ids(rows(profile_->listTableNotes(-1, 0, 0))), "23");

  EXPECT_TRUE(profile_->addFieldNote(4, "ann", "a", 2, nullptr));
  EXPECT_TRUE(profile_->addFieldNote(5, "bob", "b", 1, nullptr));
  EXPECT_EQ(ids(rows(profile_->listFieldNotes(-1, 1))), "21");
  EXPECT_EQ(ids(rows(profile_->listFieldNotes(5, 0))), "2");
  EXPECT_TRUE(profile_->deleteFieldNote(2));
  EXPECT_EQ(ids(rows(profile_->listFieldNotes(-1, 0))), "1");
}

INSTANTIATE_RDA_TARGETS(ProfileMaintenanceTest);

}  // namespace
