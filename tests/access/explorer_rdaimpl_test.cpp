// The data-access object of data explorations on every back end: the
// project row and its tables as read, the name and comment update with its
// event, and the deletion of a project with the rows that hang on it,
// complete or not at all.
#include "access/explorer_rdaimpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "kvreposres/kvreposres.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

// Keeps the notifications about data explorations.
struct ExplorationEvents : RepositoryEventListener {
  void onRepositoryEvent(const RepositoryEvent& event) override {
    if (event.objectType == "DataExploration") seen.push_back(event);
  }
  std::vector<RepositoryEvent> seen;
};

class ExplorerRDAImplTest : public RdaObjectTest<ExplorerRDAImpl> {
 protected:
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    getRepositoryEventManager()->addListener(&events_);
  }
  void TearDown() override {
    getRepositoryEventManager()->removeListener(&events_);
    RdaObjectTest::TearDown();
  }
  ExplorerRDAImpl*& explorer_ = object_;

  void exec(const std::string& sql, const std::vector<KvbDatavar>& values) {
    ReposDataAccessStatement* statement = rda_->createStatement(sql.c_str());
    ASSERT_NE(statement, nullptr) << rda_->getErrorMessage().asCstr();
    for (size_t i = 0; i < values.size(); ++i)
      statement->setParameter(static_cast<int>(i), values[i]);
    const bool ok = statement->execute();
    statement->release();
    ASSERT_TRUE(ok) << sql << ": " << rda_->getErrorMessage().asCstr();
  }
  std::string table(const char* code) {
    return rda_->getTableName(code, true, -1).str();
  }
  void addProject(int id, const char* name, const char* uuid) {
    exec("INSERT INTO " + table("MPRJ") +
             " (PRJ_ID, PRJ_NM, PRJ_DATE, PRJ_COMM, PMDATE, PADATE, PMUSER,"
             " PCUSER, PRJ_UUID, FLDR_ID, LRDATE, LRDUR, LRST)"
             " VALUES (?, ?, 45000.5, 'first comment', 45001.25, 45002, "
             "'editor',"
             " 'creator', ?, 3, 45003, 42, 'done')",
         {id, name, uuid});
  }
  // Tables, connections and the rows of projects 1 and 2 that hang on them.
  void addProjectRows() {
    addProject(1, "Customers", "uuid-1");
    addProject(2, "Orders", "uuid-2");
    exec("INSERT INTO " + table("MDBCON") + " (DB_ID, CON_CNSTR) VALUES (?, ?)",
         {7, "DSN=warehouse"});
    const char* tables[][4] = {{"10", "CUSTOMER", "SALES", "7"},
                               {"11", "ADDRESS", "SALES", "99"},
                               {"12", "ORDERS", "SHOP", "7"}};
    for (const auto& t : tables)
      exec("INSERT INTO " + table("MTABLE") +
               " (TBL_ID, TBL_NM, TBL_SCH, TBL_CAT, DB_ID) VALUES (?, ?, ?, "
               "'main', ?)",
           {std::stoi(t[0]), t[1], t[2], std::stoi(t[3])});
    const int links[][2] = {{1, 10}, {1, 11}, {1, 55}, {2, 12}};
    for (const auto& link : links)
      exec("INSERT INTO " + table("MPJTBL") + " (PRJ_ID, TBL_ID) VALUES (?, ?)",
           {link[0], link[1]});
    for (int project : {1, 2}) {
      exec(
          "INSERT INTO " + table("MIDDEF") +
              " (ID_UID, IDENT_ID, IDENT_NM, PRJ_ID) VALUES (?, ?, 'ident', ?)",
          {project * 100, project, project});
      exec("INSERT INTO " + table("MDEFVL") +
               " (IDVALRID, IDENT_ID, PRJ_ID) VALUES (?, ?, ?)",
           {project * 1000, project * 100, project});
    }
  }
  // The number of rows of a table with that PRJ_ID (all rows for -1).
  int count(const char* code, int prjId = -1) {
    std::string sql = "SELECT COUNT(*) FROM " + table(code);
    if (prjId >= 0) sql += " WHERE PRJ_ID=" + std::to_string(prjId);
    return std::stoi(rows(rda_->paramSelect(sql.c_str(), 0)).at(0));
  }

  ExplorationEvents events_;
};

// --- Reading --------------------------------------------------------------

TEST_P(ExplorerRDAImplTest, GetProjectGivesTheWholeRowInTableOrder) {
  addProjectRows();
  ReposDataAccessCursor* cursor = explorer_->getProject(1);
  ASSERT_NE(cursor, nullptr) << explorer_->getErrorMessage().asCstr();
  const std::vector<std::string> columns = {
      "PRJ_ID", "PRJ_NM", "PRJ_DATE", "PRJ_COMM", "PMDATE",
      "PADATE", "PMUSER", "PCUSER",   "PRJ_UUID", "FLDR_ID",
      "LRDATE", "LRDUR",  "LRST"};
  ASSERT_EQ(cursor->getNumCols(), static_cast<int>(columns.size()));
  for (size_t c = 0; c < columns.size(); ++c)
    EXPECT_EQ(cursor->getColName(static_cast<int>(c)).str(), columns[c]);
  ASSERT_EQ(cursor->next(), 1);
  EXPECT_EQ(cursor->getInt(0), 1);
  EXPECT_EQ(cursor->getString(1).str(), "Customers");
  EXPECT_DOUBLE_EQ(cursor->getDouble(2), 45000.5);
  EXPECT_EQ(cursor->getString(8).str(), "uuid-1");
  EXPECT_EQ(cursor->getInt(11), 42);
  EXPECT_EQ(cursor->getString(12).str(), "done");
  EXPECT_EQ(cursor->next(), 0) << "only the row of that project";
  cursor->release();

  EXPECT_TRUE(rows(explorer_->getProject(3)).empty());
}

TEST_P(ExplorerRDAImplTest,
       ListProjectTablesKeepsLinksWithoutTableOrConnection) {
  addProjectRows();
  ReposDataAccessCursor* cursor = explorer_->listProjectTables(1);
  ASSERT_NE(cursor, nullptr) << explorer_->getErrorMessage().asCstr();
  const char* columns[] = {"PRJ_ID", "TBL_NM", "TBL_SCH", "CON_CNSTR",
                           "TBL_CAT"};
  ASSERT_EQ(cursor->getNumCols(), 5);
  for (int c = 0; c < 5; ++c)
    EXPECT_EQ(cursor->getColName(c).str(), columns[c]);
  // Table 11 names a connection that is not stored, table 55 is not stored
  // at all: both still give a row.
  EXPECT_EQ(sortedRows(rows(cursor)),
            (std::vector<std::string>{"1|ADDRESS|SALES||main",
                                      "1|CUSTOMER|SALES|DSN=warehouse|main",
                                      "1||||"}));
  EXPECT_EQ(sortedRows(rows(explorer_->listProjectTables(2))),
            std::vector<std::string>{"2|ORDERS|SHOP|DSN=warehouse|main"});
  EXPECT_TRUE(rows(explorer_->listProjectTables(3)).empty());
}

// --- Updating -------------------------------------------------------------

TEST_P(ExplorerRDAImplTest, UpdateProjectWritesNameAndCommentOnlyAndPosts) {
  addProjectRows();
  ASSERT_TRUE(explorer_->updateProject(1, "Clients", "second comment"))
      << explorer_->getErrorMessage().asCstr();
  EXPECT_EQ(rows(explorer_->getProject(1)),
            std::vector<std::string>{"1|Clients|45000.5|second comment|"
                                     "45001.25|45002|editor|creator|uuid-1|3|"
                                     "45003|42|done"});
  EXPECT_EQ(rows(explorer_->getProject(2)).at(0).substr(0, 9), "2|Orders|");

  ASSERT_EQ(events_.seen.size(), 1u);
  const RepositoryEvent& event = events_.seen[0];
  EXPECT_EQ(event.changeType, 2);
  EXPECT_EQ(event.objectId, 1);
  EXPECT_EQ(event.objectUUID.str(), "uuid-1");
  EXPECT_EQ(event.reposUUID.str(), rda_->getRepositoryUUID().str());
}

TEST_P(ExplorerRDAImplTest, UpdateOfAMissingProjectFailsWithoutEvent) {
  addProjectRows();
  LogCapture log;
  EXPECT_FALSE(explorer_->updateProject(9, "Ghost", ""));
  EXPECT_EQ(explorer_->getErrorMessage().str(),
            "Unable to find data exploration with id=9");
  EXPECT_TRUE(log.contains("Unable to find data exploration with id=9", 5));
  EXPECT_TRUE(events_.seen.empty());
}

// --- Deleting -------------------------------------------------------------

TEST_P(ExplorerRDAImplTest, DeleteProjectRemovesItsRowsOnly) {
  addProjectRows();
  ASSERT_TRUE(explorer_->deleteProject(1))
      << explorer_->getErrorMessage().asCstr();
  for (const char* code : {"MPRJ", "MPJTBL", "MIDDEF", "MDEFVL"}) {
    EXPECT_EQ(count(code, 1), 0) << code;
    EXPECT_EQ(count(code, 2), 1) << code;
  }
  // Tables and connections may be shared by other explorations.
  EXPECT_EQ(count("MTABLE"), 3);
  EXPECT_EQ(count("MDBCON"), 1);

  ASSERT_EQ(events_.seen.size(), 1u);
  EXPECT_EQ(events_.seen[0].changeType, 1);
  EXPECT_EQ(events_.seen[0].objectId, 1);
  EXPECT_EQ(events_.seen[0].objectUUID.str(), "uuid-1");
}

TEST_P(ExplorerRDAImplTest, DeleteOfAMissingProjectClearsStrayRowsQuietly) {
  addProjectRows();
  exec("DELETE FROM " + table("MPRJ") + " WHERE PRJ_ID=1", {});
  EXPECT_TRUE(explorer_->deleteProject(1));
  EXPECT_EQ(count("MPJTBL", 1), 0);
  EXPECT_EQ(count("MDEFVL", 1), 0);
  EXPECT_EQ(count("MPRJ"), 1);
  EXPECT_TRUE(events_.seen.empty()) << "nothing that existed was deleted";
}

TEST_P(ExplorerRDAImplTest, DeleteThatFailsPartWayLeavesEverything) {
  addProjectRows();
  // The third delete (MPJTBL) fails after the first two have run.
  ASSERT_TRUE(rda_->dropTable(rda_->getTableName("MPJTBL", false, -1)))
      << rda_->getErrorMessage().asCstr();
  LogCapture log;
  EXPECT_FALSE(explorer_->deleteProject(1));
  EXPECT_FALSE(explorer_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("MPRJ", 1), 1);
  EXPECT_EQ(count("MIDDEF", 1), 1);
  EXPECT_EQ(count("MDEFVL", 1), 1);
  EXPECT_TRUE(events_.seen.empty());
}

// --- Failures ---------------------------------------------------------------

TEST_P(ExplorerRDAImplTest, MissingTablesGiveNullAndTheDatabaseReason) {
  ASSERT_TRUE(rda_->dropTable(rda_->getTableName("MPRJ", false, -1)));
  ASSERT_TRUE(rda_->dropTable(rda_->getTableName("MPJTBL", false, -1)));
  LogCapture log;
  EXPECT_EQ(explorer_->getProject(1), nullptr);
  EXPECT_FALSE(explorer_->getErrorMessage().isEmpty());
  EXPECT_EQ(explorer_->listProjectTables(1), nullptr);
  EXPECT_FALSE(explorer_->updateProject(1, "name", "comment"));
  EXPECT_FALSE(explorer_->deleteProject(1));
  EXPECT_TRUE(events_.seen.empty());
  bool logged = false;
  for (const CapturedLog& r : log.records())
    logged |= r.level == 5 && r.logger == "KV.Repos.ReposAdmin.BaseRDA";
  EXPECT_TRUE(logged);
}

INSTANTIATE_RDA_TARGETS(ExplorerRDAImplTest);

TEST(ExplorerRDAImplNoConnection, EveryOperationRefuses) {
  LogCapture log;
  ExplorerRDAImpl* explorer = new ExplorerRDAImpl(nullptr);
  EXPECT_EQ(explorer->getProject(1), nullptr);
  EXPECT_EQ(explorer->listProjectTables(1), nullptr);
  EXPECT_FALSE(explorer->updateProject(1, "name", "comment"));
  EXPECT_FALSE(explorer->deleteProject(1));
  explorer->release();
  int refusals = 0;
  for (const CapturedLog& r : log.records())
    refusals +=
        r.level == 5 && r.text == "Repository Data Access object is null";
  EXPECT_EQ(refusals, 4);
}

}  // namespace
