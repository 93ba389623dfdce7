// Upgrades of older repositories on every back end, from fixtures built here.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"
#include "support/stop_once.h"

namespace {

class UpgradeTest : public ReposImplTest {
 protected:
  void SetUp() override {
    ReposImplTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repos_ = open(&status_);
    ASSERT_NE(repos_, nullptr);
  }

  // A table of an older repository with its rows (SQL value lists).
  void make(const char* code, const std::string& columns,
            const std::vector<std::string>& values) {
    exec("CREATE TABLE " + table(code) + " (" + columns + ")");
    for (const std::string& row : values)
      exec("INSERT INTO " + table(code) + " VALUES (" + row + ")");
  }

  // "SELECT <what> FROM <table> <rest>": rows joined by ",".
  std::string select(const char* code, const std::string& what,
                     const std::string& rest = "") {
    std::string out;
    const std::string sql = "SELECT " + what + " FROM %s " + rest;
    for (const std::string& r : rows(repos_, sql.c_str(), code))
      out += (out.empty() ? "" : ",") + r;
    return out;
  }

  int kind() {
    int repositoryKind = -1;
    repos_->getVersionInfo(nullptr, &repositoryKind, nullptr, nullptr);
    return repositoryKind;
  }

  ::testing::AssertionResult upgraded() {
    if (!repos_->upgradeRepository())
      return ::testing::AssertionFailure()
             << repos_->getErrorMessage().asCstr();
    if (!repos_->isCurrentVersion() || !repos_->isMinorVersionCurrent() ||
        repos_->getRepositoryUUID().isEmpty())
      return ::testing::AssertionFailure() << "not current or without UUID";
    return ::testing::AssertionSuccess();
  }

  // A second upgrade has nothing to do and changes nothing.
  void expectNothingLeftToDo(const char* code, const std::string& what) {
    const std::string before = select(code, what, "ORDER BY 1");
    EXPECT_FALSE(repos_->upgradeRepository());
    EXPECT_EQ(repos_->getErrorMessage().str(), libraryMessage(1314));
    EXPECT_EQ(select(code, what, "ORDER BY 1"), before);
    EXPECT_TRUE(repos_->isCurrentVersion());
  }

  void makeProfileRepository() {
    make("INFO", "I_TYPE VARCHAR(32), I_VERSION DOUBLE PRECISION",
         {"'PROFILE_RESULTSET', 4.0"});
    make("CURID", "NI_KEY INTEGER, NI_VAL INTEGER", {"1, 7", "4, 40", "10, 3"});
    repos_->readVersionInfo();
  }

  RecordingStatus status_;
  RepositoryImpl* repos_ = nullptr;
  LogCapture log_;
};

TEST_P(UpgradeTest, ProfileRepositoryGetsItsCountersAndOldColumns) {
  makeProfileRepository();
  make("NOTCAT", "NCAT_ID INTEGER, NCAT_DESC VARCHAR(255)", {"1, 'Data'"});
  make("FOLDER",
       "FLDR_ID INTEGER, FLDR_PARENT_ID INTEGER, FLDR_NAME VARCHAR(255)",
       {"5, 0, 'Old'"});
  make("REPORT",
       "RPT_ID INTEGER, RPT_CREATED_DATE DOUBLE PRECISION, RPT_MODIFIED_DATE "
       "DOUBLE PRECISION",
       {"2, 45000.25, 45001.5"});
  make("REDUN2", "FLD_ID INTEGER, R_CMN_LEFT INTEGER, R_CMN_RIGHT INTEGER",
       {"4, 11, 12"});
  repos_->readVersionInfo();
  ASSERT_EQ(kind(), kKindProfile);
  // Its version rows are rewritten by the whole upgrade only.
  EXPECT_FALSE(repos_->upgradeNCOA());

  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("UCURID", "NI_KEY, NI_VAL",
                   "WHERE NI_KEY IN ('JOB', 'FLD', 'NOTCAT') ORDER BY 1"),
            "FLD|40,JOB|7,NOTCAT|3");
  EXPECT_EQ(select("NOTCAT", "NCAT_ID, NCAT_DSC", "ORDER BY 1"),
            "0|General,1|Data");
  EXPECT_EQ(select("FOLDER", "FLDR_ID, FLDR_PAR, FLDR_NAM", "ORDER BY 1"),
            "0||Profiling Reports,5|0|Old");
  EXPECT_EQ(select("REPORT", "RPT_CRDT, RPT_MODT"), "45000.25|45001.5");
  EXPECT_EQ(select("REDUN2", "R_CMNLFT, R_CMNRGT"), "11|12");
  EXPECT_EQ(select("INFO", "I_TYPE, I_VERS, I_MVER", "ORDER BY 1"),
            "KVREPOSITORY|7|4,NCOA|1|");
  EXPECT_EQ(count("EVENT"), 11);
  expectNothingLeftToDo("UCURID", "NI_KEY, NI_VAL");
}

TEST_P(UpgradeTest, MonitorRepositoryGetsUuidsUsersDatesAndFolders) {
  make("INFO", "I_TYPE VARCHAR(32), I_VERS INTEGER", {"'MONITOR', 3"});
  make("MCURID", "NI_KEY INTEGER, NI_VAL INTEGER", {"1, 12", "5, 4"});
  make("UCURID", "NI_KEY VARCHAR(32), NI_VAL INTEGER", {"'RULE', 20"});
  make("RULE", "RU_ID INTEGER, RU_DESC VARCHAR(255), RU_UUID VARCHAR(255)",
       {"1, 'a', NULL", "2, 'b', ''", "3, 'c', 'kept'"});
  make("MJOB", "JB_ID INTEGER, JB_DESC VARCHAR(255), JB_CRDAT DOUBLE PRECISION",
       {"1, 'x', NULL", "2, 'y', 0.0", "3, 'z', 45000.5"});
  repos_->readVersionInfo();
  ASSERT_EQ(kind(), kKindMonitor);

  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("UCURID", "NI_KEY, NI_VAL",
                   "WHERE NI_KEY IN ('RULE', 'MJOB') ORDER BY 1"),
            "MJOB|4,RULE|20");
  const KvbString user = getOSUserName();
  const std::string shared =
      select("FOLDER", "FLDR_ID", "WHERE FLDR_NAM = 'Shared Data'");
  ASSERT_FALSE(shared.empty());
  std::set<std::string> uuids;
  for (const std::string& row :
       rows(repos_, "SELECT RU_UUID, RU_CRUSR, FLDR_ID FROM %s", "RULE")) {
    uuids.insert(row.substr(0, row.find('|')));
    EXPECT_EQ(row.substr(row.find('|')), "|" + user.str() + "|" + shared);
  }
  for (const std::string& row : rows(repos_, "SELECT JB_CODE FROM %s", "MJOB"))
    uuids.insert(row);
  EXPECT_EQ(uuids.size(), 6u);
  EXPECT_EQ(uuids.count("kept"), 1u);
  EXPECT_EQ(count("MJOB", "JB_CRDAT > 0 AND JB_CRUSR = ? AND JB_EDUSR = ?",
                  {user, user}),
            2);
  EXPECT_EQ(select("MJOB", "JB_CRDAT, JB_CRUSR", "WHERE JB_ID = 3"),
            "45000.5|");
  EXPECT_EQ(count("NOTCAT", "NCAT_ID = 0"), 1);
  EXPECT_EQ(count("RPTGRP", "GRP_ID = 1"), 1);
  expectNothingLeftToDo("RULE", "RU_UUID");
}

// An older repository that has its shared folder already files its objects
// there instead of making a second one.
TEST_P(UpgradeTest, ObjectsGoIntoTheSharedFolderThatIsThere) {
  make("INFO", "I_TYPE VARCHAR(32), I_VERS INTEGER", {"'MONITOR', 3"});
  make("FOLDER",
       "FLDR_ID INTEGER, FLDR_PAR INTEGER, FLDR_NAM VARCHAR(255), "
       "NAM_NORM VARCHAR(255)",
       {"9, 0, 'Shared Data', 'shared data'"});
  make("RULE", "RU_ID INTEGER, RU_DESC VARCHAR(255)", {"1, 'a'", "2, 'b'"});
  repos_->readVersionInfo();
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("FOLDER", "FLDR_ID", "WHERE FLDR_NAM = 'Shared Data'"), "9");
  EXPECT_EQ(select("RULE", "RU_ID, FLDR_ID", "ORDER BY 1"), "1|9,2|9");
}

// A unified repository of the current version with an older minor version
// is upgraded to the current minor version.
TEST_P(UpgradeTest, AnOlderMinorVersionIsUpgraded) {
  ASSERT_TRUE(create(repos_));
  exec("UPDATE " + table("INFO") +
       " SET I_MVER = 2 WHERE I_TYPE = 'KVREPOSITORY'");
  repos_->readVersionInfo();
  EXPECT_FALSE(repos_->isMinorVersionCurrent());
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("INFO", "I_VERS, I_MVER", "WHERE I_TYPE = 'KVREPOSITORY'"),
            "7|4");
}

// A minor version counts only within its major version: a unified
// repository of version 6.5 is older than the engine's 7.4, and is upgraded
// to it, not refused as newer.
TEST_P(UpgradeTest, AnOlderMajorVersionWithALargerMinorIsUpgraded) {
  ASSERT_TRUE(create(repos_));
  exec("UPDATE " + table("INFO") +
       " SET I_VERS = 6, I_MVER = 5 WHERE I_TYPE = 'KVREPOSITORY'");
  repos_->readVersionInfo();
  ASSERT_EQ(kind(), kKindUnified);
  EXPECT_FALSE(repos_->isCurrentVersion());
  EXPECT_EQ(repos_->versionRefusal("The repository").str(), "");
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("INFO", "I_VERS, I_MVER", "WHERE I_TYPE = 'KVREPOSITORY'"),
            "7|4");
}

// The counters of a SQLite file are rebuilt from their rows: a key held
// twice keeps its larger value, once.
TEST_P(UpgradeTest, ACounterHeldTwiceKeepsItsLargerValue) {
  if (isPostgres()) GTEST_SKIP() << "a server's counters are kept as they are";
  make("INFO", "I_TYPE VARCHAR(32), I_VERS INTEGER", {"'MONITOR', 3"});
  make("UCURID", "NI_KEY VARCHAR(32), NI_VAL INTEGER",
       {"'RULE', 35", "'RULE', 20"});
  make("RULE", "RU_ID INTEGER, RU_DESC VARCHAR(255)", {"1, 'a'"});
  repos_->readVersionInfo();
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("UCURID", "NI_VAL", "WHERE NI_KEY = 'RULE'"), "35");
}

TEST_P(UpgradeTest, ProfileAndMonitorRepositoryMergesBothCounterTables) {
  make("INFO", "I_TYPE VARCHAR(32), I_VERS INTEGER",
       {"'PROFILE_RESULTSET', 6", "'MONITOR', 3"});
  make("CURID", "NI_KEY INTEGER, NI_VAL INTEGER", {"4, 40"});
  make("MCURID", "NI_KEY INTEGER, NI_VAL INTEGER", {"9, 8"});
  repos_->readVersionInfo();
  ASSERT_EQ(kind(), kKindProfileAndMonitor);
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("UCURID", "NI_KEY, NI_VAL",
                   "WHERE NI_KEY IN ('FLD', 'HGMETA') ORDER BY 1"),
            "FLD|40,HGMETA|8");
  EXPECT_EQ(select("INFO", "I_TYPE", "ORDER BY 1"), "KVREPOSITORY,NCOA");
}

TEST_P(UpgradeTest, UnifiedRepositoryRelinksIdentityDefinitions) {
  ASSERT_TRUE(create(repos_));
  const std::string info = table("INFO");
  exec("UPDATE " + info + " SET I_UUID = NULL");
  exec("UPDATE " + info + " SET I_VERS = 6 WHERE I_TYPE = 'KVREPOSITORY'");
  // Definitions as older versions kept them: without ID_UID.
  exec("DROP TABLE " + table("MIDDEF"));
  make("MIDDEF",
       "IDENT_ID INTEGER, IDENT_NM VARCHAR(255), PRJ_ID INTEGER, SMPTYP "
       "INTEGER, GC_ID INTEGER, LOCALE VARCHAR(32)",
       {"10, 'A', 1, 0, 5, NULL", "11, 'B', 1, 1, NULL, 'DEU'"});
  exec("INSERT INTO " + table("MDEFVL") +
       " (IDVALRID, IDENT_ID, PRJ_ID, SMPTYP) VALUES (100, 10, 1, 0), "
       "(101, 11, 1, 1), (102, 11, 1, 0)");
  exec("INSERT INTO " + table("MPRJ") +
       " (PRJ_ID, PRJ_NM, FLDR_ID) VALUES "
       "(1, 'p', 0)");
  repos_->readVersionInfo();

  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("MIDDEF", "IDENT_ID, GC_ID, LOCALE, ID_UID", "ORDER BY 1"),
            "10|5|ENUSA|1,11||DEU|2");
  EXPECT_EQ(select("MDEFVL", "IDVALRID, IDENT_ID", "ORDER BY 1"),
            "100|1,101|2,102|11");
  EXPECT_TRUE(columns(repos_, "tmpZa").empty());
  EXPECT_EQ(count("MPRJ", "PRJ_UUID IS NULL OR PRJ_UUID = ''"), 0);
  EXPECT_EQ(count("INFO", "I_UUID IS NULL OR I_UUID = ''"), 0);
  expectNothingLeftToDo("MIDDEF", "IDENT_ID, ID_UID");
}

TEST_P(UpgradeTest, FailedUpgradeLeavesTheRepositoryAsItWas) {
  makeProfileRepository();
  status_.stopAt = "Installing initial Monitor data";
  EXPECT_FALSE(repos_->upgradeRepository());
  EXPECT_EQ(kind(), kKindProfile);
  EXPECT_TRUE(columns(repos_, "UCURID").empty());
  EXPECT_TRUE(columns(repos_, "RULE").empty());
  EXPECT_EQ(columns(repos_, "INFO").size(), 2u);
  // Stopped before its data upgrades, with the reason.
  status_.stopAt = "Applying data upgrades";
  EXPECT_FALSE(repos_->upgradeRepository());
  EXPECT_EQ(repos_->getErrorMessage().str(),
            "The status callback stopped the upgrade at \"Applying data "
            "upgrades\"");
  EXPECT_EQ(kind(), kKindProfile);
  EXPECT_TRUE(columns(repos_, "UCURID").empty());

  status_.stopAt.clear();
  ASSERT_TRUE(upgraded());
  EXPECT_EQ(select("UCURID", "NI_VAL", "WHERE NI_KEY = 'FLD'"), "40");
}

// A stop that the host asks for ends the upgrade at that step, at a table,
// at the data upgrades or at the version rows it writes last: the host
// hears of no later step, the upgrade's transaction leaves the repository
// as it was, and its one failure says who stopped it where. A SQLite file
// opened directly is upgraded through a second repository object, whose
// stop is reported once as well.
TEST_P(UpgradeTest, AStopEndsTheUpgradeAtOnceAndLeavesTheRepositoryAsItWas) {
  makeProfileRepository();
  for (const char* step :
       {"Table ", "Applying data upgrades", "Updating version info"}) {
    SCOPED_TRACE(step);
    StopOnce stop(step);
    RepositoryImpl* repos = open(&stop);
    ASSERT_NE(repos, nullptr);
    const std::vector<std::string> failures =
        log_.failuresDuring([&] { EXPECT_FALSE(repos->upgradeRepository()); });
    ASSERT_EQ(stop.stoppedAt.rfind(step, 0), 0u) << stop.stoppedAt;
    const std::string stopped =
        "The status callback stopped the upgrade at \"" + stop.stoppedAt + "\"";
    EXPECT_EQ(repos->getErrorMessage().str(), stopped);
    EXPECT_EQ(failures, std::vector<std::string>{stopped});
    EXPECT_EQ(stop.stepsAfter, 0);
    repos_->readVersionInfo();
    EXPECT_EQ(kind(), kKindProfile);
    EXPECT_TRUE(columns(repos_, "UCURID").empty());
    EXPECT_EQ(select("INFO", "I_TYPE"), "PROFILE_RESULTSET");
  }
}

TEST_P(UpgradeTest, AStopEndsTheNcoaUpgradeAtOnce) {
  ASSERT_TRUE(create(repos_));
  exec("DELETE FROM " + table("INFO") + " WHERE I_TYPE = 'NCOA'");
  StopOnce stop("Applying data upgrades");
  RepositoryImpl* repos = open(&stop);
  ASSERT_NE(repos, nullptr);
  const std::string stopped =
      "The status callback stopped the NCOA upgrade at \"Applying data "
      "upgrades\"";
  EXPECT_EQ(log_.failuresDuring([&] { EXPECT_FALSE(repos->upgradeNCOA()); }),
            std::vector<std::string>{stopped});
  EXPECT_EQ(repos->getErrorMessage().str(), stopped);
  EXPECT_EQ(stop.stepsAfter, 0);
  EXPECT_FALSE(repos->isNCOAVersionCurrent());
  EXPECT_EQ(count("INFO", "I_TYPE = 'NCOA'"), 0);
}

// The tables an upgrade works on are reported as counted steps 1 to n.
TEST_P(UpgradeTest, UpgradeReportsEachTableAsAStepOfTheWhole) {
  makeProfileRepository();
  ASSERT_TRUE(upgraded());
  std::vector<std::string> tables;
  for (const std::string& text : status_.statuses)
    if (text.rfind("Table ", 0) == 0) tables.push_back(text);
  ASSERT_FALSE(tables.empty());
  const int n = static_cast<int>(tables.size());
  for (int k = 1; k <= n; ++k) {
    const std::string tail = kvbStringFormat(" (step %d of %d)", k, n).str();
    const std::string& text = tables[k - 1];
    EXPECT_TRUE(text.size() > tail.size() &&
                text.compare(text.size() - tail.size(), tail.size(), tail) == 0)
        << text << " is not step " << k << " of " << n;
  }
}

// The NCOA upgrade alone would mark an older kind of repository current
// without its data upgrades: it is left to the whole upgrade.
TEST_P(UpgradeTest, NcoaUpgradeOfAnOlderKindIsLeftToTheWholeUpgrade) {
  make("INFO", "I_TYPE VARCHAR(32), I_VERS INTEGER", {"'MONITOR', 3"});
  make("KEYVAL", "V_KEY VARCHAR(64), V_VALUE VARCHAR(255)", {});
  repos_->readVersionInfo();
  ASSERT_EQ(kind(), kKindMonitor);
  EXPECT_FALSE(repos_->upgradeNCOA());
  EXPECT_EQ(repos_->getErrorMessage().str(), libraryMessage(1052));
  EXPECT_EQ(select("INFO", "I_TYPE, I_VERS"), "MONITOR|3");
}

TEST_P(UpgradeTest, NcoaUpgradeNeedsARepositoryAndRunsOnce) {
  EXPECT_FALSE(repos_->upgradeNCOA());
  EXPECT_EQ(repos_->getErrorMessage().str(), libraryMessage(1050));
  EXPECT_TRUE(status_.sawMessage(libraryMessage(1050)));

  ASSERT_TRUE(create(repos_));
  exec("DELETE FROM " + table("INFO") + " WHERE I_TYPE = 'NCOA'");
  repos_->readVersionInfo();
  ASSERT_FALSE(repos_->isNCOAVersionCurrent());
  ASSERT_TRUE(repos_->upgradeNCOA()) << repos_->getErrorMessage().asCstr();
  EXPECT_TRUE(repos_->isNCOAVersionCurrent());
  EXPECT_EQ(count("INFO", "I_TYPE = 'NCOA' AND I_VERS = 1"), 1);
  EXPECT_TRUE(repos_->upgradeNCOA());
}

// What a newer engine wrote stays as it wrote it: neither upgrade rewrites
// a repository of a newer major or minor version, nor upgradeNCOA a newer
// NCOA part, and the refusal names the versions.
TEST_P(UpgradeTest, NewerRepositoryIsNeitherUpgradedNorRewritten) {
  ASSERT_TRUE(create(repos_));
  const std::string info = "UPDATE " + table("INFO") + " SET I_VERS = ?";
  auto setVersions = [&](int version, int minor, int ncoa) {
    exec(info + ", I_MVER = ? WHERE I_TYPE = 'KVREPOSITORY'", {version, minor});
    exec(info + " WHERE I_TYPE = 'NCOA'", {ncoa});
    repos_->readVersionInfo();
    return select("INFO", "I_TYPE, I_VERS, I_MVER", "ORDER BY 1");
  };
  auto refused = [&](bool (RepositoryImpl::*upgrade)(), const char* refusal) {
    EXPECT_FALSE((repos_->*upgrade)());
    EXPECT_NE(repos_->getErrorMessage().str().find(refusal), std::string::npos)
        << repos_->getErrorMessage().asCstr();
  };
  for (const auto& newer :
       {std::make_pair(9, 3), std::make_pair(8, 0), std::make_pair(7, 5)}) {
    const std::string before = setVersions(newer.first, newer.second, 1);
    const std::string refusal = "has version " + std::to_string(newer.first) +
                                "." + std::to_string(newer.second) +
                                ", newer than 7.4";
    refused(&RepositoryImpl::upgradeRepository, refusal.c_str());
    refused(&RepositoryImpl::upgradeNCOA, refusal.c_str());
    EXPECT_EQ(select("INFO", "I_TYPE, I_VERS, I_MVER", "ORDER BY 1"), before);
  }
  const std::string before = setVersions(7, 4, 2);
  refused(&RepositoryImpl::upgradeNCOA,
          "NCOA part has version 2, newer than 1");
  EXPECT_EQ(select("INFO", "I_TYPE, I_VERS, I_MVER", "ORDER BY 1"), before);
}

// A table set's version row that cannot be written fails the upgrade at
// that set, once: the version rows stay as they were.
TEST_P(UpgradeTest, AVersionRowThatCannotBeWrittenFailsTheUpgrade) {
  writeTableSets("seed.xml",
                 "<tableset name=\"SEED\" version=\"1\"><table "
                 "name=\"TSSEED\"><column name=\"ID\" type=\"integer\"/>"
                 "</table></tableset>\n");
  ASSERT_TRUE(create(repos_));
  const std::string info = table("INFO");
  exec("UPDATE " + info + " SET I_VERS = 0 WHERE I_TYPE = 'SEED'");
  if (isPostgres()) {
    const std::string schema = info.substr(0, info.find('.'));
    exec("CREATE FUNCTION " + schema +
         ".kv_refuse() RETURNS trigger LANGUAGE plpgsql AS "
         "$$BEGIN RAISE EXCEPTION 'kv_refuse'; END$$");
    exec("CREATE TRIGGER kv_refuse BEFORE UPDATE ON " + info +
         " FOR EACH ROW WHEN (NEW.i_type = 'SEED') EXECUTE FUNCTION " +
         schema + ".kv_refuse()");
  } else {
    exec("CREATE TRIGGER kv_refuse BEFORE UPDATE ON " + info +
         " WHEN NEW.I_TYPE = 'SEED' BEGIN SELECT RAISE(ABORT, "
         "'kv_refuse'); END");
  }
  repos_->readVersionInfo();
  const std::string before = select("INFO", "I_TYPE, I_VERS", "ORDER BY 1");
  const size_t records = log_.records().size();
  EXPECT_FALSE(repos_->upgradeRepository());
  EXPECT_NE(repos_->getErrorMessage().str().find("kv_refuse"),
            std::string::npos)
      << repos_->getErrorMessage().str();
  int failures = 0;
  const std::vector<CapturedLog> all = log_.records();
  for (size_t i = records; i < all.size(); ++i) failures += all[i].level >= 5;
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(select("INFO", "I_TYPE, I_VERS", "ORDER BY 1"), before);
}

INSTANTIATE_REPOS_TARGETS(UpgradeTest);

}  // namespace
