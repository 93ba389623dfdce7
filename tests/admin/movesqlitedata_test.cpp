// Old file-based profile repositories moved into the current schema.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"
#include "support/stop_once.h"

namespace {

class MoveTest : public AdminTargetTest {
 protected:
  // An old profile repository file of `version` with the tables every old
  // version had, and `more` statements.
  std::string oldFile(const char* version, const std::string& more) {
    const std::string path = dir_.file(uniqueTestName("old") + ".db");
    SqliteDatabase* db = createSqliteDatabase(path.c_str());
    EXPECT_NE(db, nullptr);
    EXPECT_TRUE(db->exec(
        std::string("CREATE TABLE info (i_type TEXT, i_version REAL);"
                    "INSERT INTO info VALUES ('PROFILE_RESULTSET', ") +
        version +
        ");"
        "CREATE TABLE dsn (dsn_id INTEGER, job_id INTEGER, dsn_name TEXT, "
        "dsn_conn TEXT);"
        "INSERT INTO dsn VALUES (1, 1, 'd', 'c');"
        "CREATE TABLE patdist (fld_id INTEGER, pa_value TEXT, pa_count "
        "INTEGER);"
        "INSERT INTO patdist VALUES (7, '999', 4);"
        "CREATE TABLE exec_log (el_id INTEGER, dsn_id INTEGER, tbl_id "
        "INTEGER, el_task TEXT, el_status TEXT, el_seconds INTEGER, "
        "el_message TEXT);"
        "INSERT INTO exec_log VALUES (1, 1, 1, 'load', 'S', 3, 'ok');" +
        more))
        << db->getErrorMessage().asCstr();
    db->close();
    return path;
  }

  RepositoryImpl* upgradeFile(const std::string& path, bool expected) {
    auto* repos = static_cast<RepositoryImpl*>(
        admin_->openFileRepository(path.c_str(), false));
    EXPECT_NE(repos, nullptr) << error();
    if (repos) {
      EXPECT_EQ(repos->upgradeRepository(), expected)
          << repos->getErrorMessage().asCstr();
    }
    return repos;
  }

  static std::string select(RepositoryImpl* repos, const char* code,
                            const char* what) {
    ReposDataAccess* rda = repos->getDataAccess();
    std::string out;
    for (const std::string& row : sortedRows(cursorRows(
             rda->paramSelect(std::string("SELECT ") + what + " FROM " +
                                  rda->getTableName(code, true, -1).str(),
                              0))))
      out += (out.empty() ? "" : ",") + row;
    return out;
  }

  LogCapture log_;
};

TEST_P(MoveTest, VersionThreeMakesUpItsRunAndSplitsItsFrequencies) {
  RepositoryImpl* repos = upgradeFile(
      oldFile("1.3",
              "CREATE TABLE key_values (v_key TEXT, v_value TEXT);"
              "INSERT INTO key_values VALUES ('SAME_FREQ_TABLE', '0');"
              "CREATE TABLE tbl (dsn_id INTEGER, tbl_id INTEGER, tbl_schema "
              "TEXT, tbl_name TEXT, tbl_filter TEXT, tbl_filter_expr TEXT, "
              "tbl_tot_rows INTEGER, tbl_tot_filtered INTEGER, tbl_sample_int "
              "INTEGER);"
              "INSERT INTO tbl VALUES (1, 1, 's', '', 'Y', 'select 1', 10, 5, "
              "2), (1, 2, 's', 'T', 'Y', 'a > 1', 10, 5, 2);"
              "CREATE TABLE redun (fld_id INTEGER, r_fld_id INTEGER, r_left "
              "INTEGER, r_common INTEGER, r_right INTEGER);"
              "INSERT INTO redun VALUES (7, 12, 5, 4, 6);"
              "CREATE TABLE frqdist (fld_id INTEGER, fr_value TEXT, fr_count "
              "INTEGER);"
              "INSERT INTO frqdist VALUES (7, 'a', 2), (7, 'b', 1), (12, 'c', "
              "9)"),
      true);
  ASSERT_NE(repos, nullptr);
  EXPECT_TRUE(repos->isCurrentVersion());
  EXPECT_EQ(select(repos, "REPORT", "RPT_ID, FLDR_ID, RPT_NAME, RPT_USER"),
            "1|0|Default|UPGRADE");
  EXPECT_EQ(select(repos, "JOB", "JOB_ID, RPT_ID, JOB_DESC"), "1|1|Default");
  EXPECT_EQ(select(repos, "JOBCFG", "JOB_ID, JC_KEY, JC_VALUE"),
            "1|SAME_FREQ_TABLE|0");
  EXPECT_EQ(select(repos, "DSN", "DSN_ID, JOB_ID, DSN_NAME, DSN_TF"),
            "1|1|d|N");
  EXPECT_EQ(
      select(repos, "TBL", "TBL_ID, TBL_NM, TBL_FEXP, TBL_FSQL, TBL_SINT"),
      "1|||select 1|2,2|T|a > 1||2");
  EXPECT_EQ(select(repos, "REDUN2", "FLD_ID, R_CMNLFT, R_CMNRGT"), "7|4|0");
  EXPECT_EQ(select(repos, "PATDST", "FLD_ID, PA_VALUE, PA_COUNT"), "7|999|4");
  EXPECT_EQ(select(repos, "EXELOG", "EL_ID, EL_MSG"), "1|ok");
  EXPECT_EQ(select(repos, "FRQDST7", "FR_VALUE, FR_COUNT"), "a|2,b|1");
  EXPECT_EQ(select(repos, "FRQDST12", "FR_VALUE, FR_COUNT"), "c|9");
  repos->release();
}

TEST_P(MoveTest, VersionNineCopiesItsFrequencyTablesAndSkipsOtherNames) {
  RepositoryImpl* repos = upgradeFile(
      oldFile("1.9",
              "CREATE TABLE frqdist (fld_id INTEGER);"
              "CREATE TABLE frqdist7 (fr_value TEXT, fr_count INTEGER);"
              "INSERT INTO frqdist7 VALUES ('x', 3);"
              "CREATE TABLE frqdist_x (fr_value TEXT, fr_count INTEGER);"
              "CREATE TABLE note_cat (ncat_id INTEGER, ncat_desc TEXT);"
              "INSERT INTO note_cat VALUES (4, 'Quality')"),
      true);
  ASSERT_NE(repos, nullptr);
  EXPECT_EQ(select(repos, "FRQDST7", "FR_VALUE, FR_COUNT"), "x|3");
  EXPECT_EQ(select(repos, "NOTCAT", "NCAT_ID, NCAT_DSC"),
            "0|General,4|Quality");
  std::list<TableColumnInfo> columns;
  EXPECT_EQ(repos->getDataAccess()->getTableColumns("FRQDST", columns), 4);
  repos->release();
}

// A version that a query starts at reads with that query.
TEST_P(MoveTest, VersionEightReadsWithTheQueriesFromEightOn) {
  RepositoryImpl* repos = upgradeFile(
      oldFile("1.8",
              "CREATE TABLE note_cat (ncat_id INTEGER, ncat_desc TEXT);"
              "INSERT INTO note_cat VALUES (4, 'Quality');"
              "CREATE TABLE tbl_notes (tn_id INTEGER, tbl_id INTEGER, tn_type "
              "TEXT, tn_note TEXT, tn_user TEXT, tn_date REAL, ncat_id "
              "INTEGER);"
              "INSERT INTO tbl_notes VALUES (2, 1, 'T', 'n', 'u', 45000, 4)"),
      true);
  ASSERT_NE(repos, nullptr);
  EXPECT_EQ(select(repos, "NOTCAT", "NCAT_ID, NCAT_DSC"),
            "0|General,4|Quality");
  EXPECT_EQ(select(repos, "TBLNOT", "TN_ID, NCAT_ID"), "2|4");
  repos->release();
}

TEST_P(MoveTest, FailedMovePutsTheOldFileBack) {
  // Two log rows with one key: the second cannot be written.
  const std::string path =
      oldFile("1.3", "INSERT INTO exec_log VALUES (1, 1, 1, 'x', 'F', 1, 'y')");
  RepositoryImpl* repos = upgradeFile(path, false);
  ASSERT_NE(repos, nullptr);
  // The text names the table, then gives the database's reason.
  EXPECT_EQ(
      repos->getErrorMessage().str().rfind(
          libraryMessage(1291, "EXELOG") + " UNIQUE constraint failed", 0),
      0u)
      << repos->getErrorMessage().str();
  int kind = 0;
  repos->getVersionInfo(nullptr, &kind, nullptr, nullptr);
  EXPECT_EQ(kind, kKindProfile);
  EXPECT_EQ(select(repos, "patdist", "pa_value"), "999");
  repos->release();
}

// An old row that fails to read part-way through its table (the absolute
// value of the smallest 64-bit integer overflows) fails the move with the
// read's reason, after the rows before it were written: the old file comes
// back, and no new file keeps them.
TEST_P(MoveTest, ARowThatCannotBeReadFailsTheMove) {
  const std::string path = oldFile(
      "1.3",
      "ALTER TABLE patdist RENAME TO patdist_rows;"
      "INSERT INTO patdist_rows VALUES (8, 'x', 1), (9, 'y', 2);"
      "CREATE VIEW patdist AS SELECT fld_id, CASE WHEN fld_id = 8 THEN "
      "abs(fld_id - fld_id - 9223372036854775807 - 1) ELSE pa_value END AS "
      "pa_value, pa_count FROM patdist_rows");
  RepositoryImpl* repos = upgradeFile(path, false);
  ASSERT_NE(repos, nullptr);
  EXPECT_EQ(repos->getErrorMessage().str(),
            libraryMessage(1291, "PATDST") + " integer overflow");
  int kind = 0;
  repos->getVersionInfo(nullptr, &kind, nullptr, nullptr);
  EXPECT_EQ(kind, kKindProfile);
  EXPECT_EQ(select(repos, "patdist_rows", "pa_value"), "999,x,y");
  repos->release();
}

// Stops at the second report of its text: the first comes from making the
// new file, the second from moving the table's rows into it.
// Stops at the second report of the table `stopAt` (the move reports each
// table in both of its passes, as "Table X (step k of n)").
struct StopInTheMove : RecordingStatus {
  bool reportStatus(const KvbString& text) override {
    RecordingStatus::reportStatus(text);
    return reportsOfStop() < 2;
  }
  long reportsOfStop() const {
    const std::string step = stopAt + " (step ";
    return std::count_if(statuses.begin(), statuses.end(),
                         [&](const std::string& text) {
                           return text.rfind(step, 0) == 0;
                         });
  }
};

// A host that stops the move at a table keeps the old file as it was.
TEST_P(MoveTest, AMoveStoppedByTheHostPutsTheOldFileBack) {
  const std::string path = oldFile("1.3", "");
  StopInTheMove status;
  status.stopAt = "Table EXELOG";
  RepositoryImpl* repos = new RepositoryImpl();
  KvbString failure;
  ASSERT_TRUE(
      repos->init(1, nullptr, 0, path.c_str(), "", "", &status, &failure))
      << failure.asCstr();
  const std::vector<std::string> failures =
      log_.failuresDuring([&] { EXPECT_FALSE(repos->upgradeRepository()); });
  EXPECT_EQ(repos->getErrorMessage().str().rfind(
                "The status callback stopped the move of the old profile "
                "repository at \"Table EXELOG (step ",
                0),
            0u)
      << repos->getErrorMessage().str();
  EXPECT_EQ(status.reportsOfStop(), 2);
  EXPECT_EQ(status.statuses.back().rfind("Table EXELOG (step ", 0), 0u)
      << "a step was reported after the stop";
  EXPECT_EQ(failures, std::vector<std::string>{repos->getErrorMessage().str()});
  EXPECT_EQ(select(repos, "patdist", "pa_value"), "999");
  repos->release();
}

// A stop while the move makes its new file ends the move there: the host
// hears of no later step, the new file is gone and the old one is back, and
// the one failure is the move's.
TEST_P(MoveTest, AStopWhileTheNewFileIsMadeEndsTheMoveAtOnce) {
  const std::string path = oldFile("1.3", "");
  StopOnce stop("Table JOB ");
  RepositoryImpl* repos = new RepositoryImpl();
  KvbString failure;
  ASSERT_TRUE(repos->init(1, nullptr, 0, path.c_str(), "", "", &stop, &failure))
      << failure.asCstr();
  const std::vector<std::string> failures =
      log_.failuresDuring([&] { EXPECT_FALSE(repos->upgradeRepository()); });
  ASSERT_EQ(stop.stoppedAt.rfind("Table JOB (step ", 0), 0u) << stop.stoppedAt;
  const std::string stopped =
      "The status callback stopped the move of the old profile repository "
      "at \"" +
      stop.stoppedAt + "\"";
  EXPECT_EQ(repos->getErrorMessage().str(), stopped);
  EXPECT_EQ(failures, std::vector<std::string>{stopped});
  EXPECT_EQ(stop.stepsAfter, 0);
  EXPECT_EQ(select(repos, "patdist", "pa_value"), "999");
  EXPECT_FALSE(std::filesystem::exists(path + ".backup"));
  repos->release();
}

INSTANTIATE_TEST_SUITE_P(File, MoveTest,
                         ::testing::Values(AdminTarget::kSqliteFile),
                         rdaTargetName);

}  // namespace
