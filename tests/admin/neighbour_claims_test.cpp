// Drops that the engine makes on its own, without a list of the other
// repositories of the schema (the cascade's per-field table, the upgrade's
// work table), on every back end: a name that another repository spells as
// one of its tables (here through a table set's code) stays that
// repository's, with its rows.
#include <gtest/gtest.h>

#include <list>
#include <string>

#include "reposadmin/profile_data_access.h"
#include "services/owned.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

class NeighbourClaimsTest : public ReposImplTest {
 protected:
  // A repository whose table sets define `code`, created in full; beside
  // it an INFO table under its prefix and `neighbour`, which shows another
  // repository there, and that repository's table <neighbour><code> with
  // one row, which this repository spells as `ownName`.
  RepositoryImpl* besideANeighbour(const std::string& neighbour,
                                   const std::string& code) {
    writeTableSets("neighbour.xml",
                   "<tableset name=\"NEIGHBOUR\" version=\"1\"><table name=\"" +
                       code +
                       "\" description=\"A table of the host's set\"><column "
                       "name=\"ID\" type=\"integer\" primarykey=\"true\" "
                       "description=\"Key\"/></table></tableset>");
    RepositoryImpl* repos = open();
    if (!repos) return nullptr;
    EXPECT_TRUE(create(repos));
    std::list<TableColumnInfo> one(1);
    one.front().name = "ID";
    one.front().type = kvbTypeInt;
    ownName_ = neighbour + code;
    EXPECT_TRUE(db_->createTable((neighbour + "INFO").c_str(), one));
    EXPECT_TRUE(db_->createTable(ownName_.c_str(), one));
    exec("INSERT INTO " + db_->getTableName(ownName_.c_str(), true, -1).str() +
         " VALUES (7)");
    return repos;
  }
  // The rows of the neighbour's table; "gone" when it is not there.
  std::string neighbourRows(RepositoryImpl* repos) {
    if (columns(repos, ownName_.c_str()).empty()) return "gone";
    const std::vector<std::string> found =
        rows(repos, "SELECT ID FROM %s", ownName_.c_str());
    std::string out;
    for (const std::string& row : found) out += row + ";";
    return out;
  }

  std::string ownName_;
  LogCapture log_;
};

// The deleted run's field 1 has a table of its own, FRQDST1, which the
// repository under the prefix and "FRQDS" spells as its table T1.
TEST_P(NeighbourClaimsTest, TheCascadeLeavesAPerFieldTableThatIsClaimed) {
  RepositoryImpl* repos = besideANeighbour("FRQDS", "T1");
  ASSERT_NE(repos, nullptr);
  Owned<ProfileRepositoryDataAccess> profile(repos->createProfileDataAccess());
  int report = 0, run = 0, dsn = 0, tbl = 0, fld = 0;
  ASSERT_TRUE(profile->addReport(1, 0, "r", 1.0, "u", &report) &&
              profile->addReportRun("run", 2.0, report, &run) &&
              profile->addRunConfigValue(run, "SAME_FREQ_TABLE", "0") &&
              profile->addRunDsn(run, "d", "c", "N", &dsn) &&
              profile->addRunTable(dsn, "", "", "T", "", "", "", 0, &tbl) &&
              profile->addRunField(dsn, tbl, "F", "S", &fld))
      << profile->getErrorMessage().asCstr();
  ASSERT_EQ(fld, 1);
  EXPECT_TRUE(profile->deleteReportRuns(-1, -1, report, true))
      << profile->getErrorMessage().asCstr();
  EXPECT_EQ(count("FLD"), 0);
  EXPECT_EQ(neighbourRows(repos), "7;");
}

// The upgrade of identification definitions copies them aside into its
// work table tmpZa, which the repository under the prefix and "tmp" spells
// as its table ZA: the upgrade fails on it rather than take it.
TEST_P(NeighbourClaimsTest, TheUpgradeLeavesAWorkTableThatIsClaimed) {
  RepositoryImpl* repos = besideANeighbour("tmp", "ZA");
  ASSERT_NE(repos, nullptr);
  exec("UPDATE " + table("INFO") + " SET I_VERS = 6 WHERE I_TYPE = "
                                   "'KVREPOSITORY'");
  exec("DROP TABLE " + table("MIDDEF"));
  exec("CREATE TABLE " + table("MIDDEF") +
       " (IDENT_ID INTEGER, IDENT_NM VARCHAR(255), PRJ_ID INTEGER, SMPTYP "
       "INTEGER, GC_ID INTEGER, LOCALE VARCHAR(32))");
  exec("INSERT INTO " + table("MIDDEF") + " VALUES (10, 'A', 1, 0, 5, NULL)");
  repos->readVersionInfo();
  EXPECT_FALSE(repos->upgradeRepository());
  EXPECT_EQ(neighbourRows(repos), "7;");
  EXPECT_EQ(rows(repos, "SELECT IDENT_ID FROM %s", "MIDDEF"),
            std::vector<std::string>{"10"});
}

INSTANTIATE_REPOS_TARGETS(NeighbourClaimsTest);

}  // namespace
