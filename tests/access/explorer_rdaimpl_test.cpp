// The data-access object of data explorations on every back end: the
// project row and its tables as read, the name and comment update with its
// event, and the deletion of a project with the rows that hang on it,
// complete or not at all.
#include "access/explorer_rdaimpl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/event_recorder.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

std::string describe(const RepositoryEvent& e) {
  return e.objectType.str() + " " + std::to_string(e.changeType) + " " +
         std::to_string(e.objectId) + " " + e.objectUUID.str() + " " +
         e.reposUUID.str();
}

class ExplorerRDAImplTest : public RdaObjectTest<ExplorerRDAImpl> {
 protected:
  ExplorerRDAImpl*& explorer_ = object_;

  // Every test starts with projects 1 and 2 with their tables, connections,
  // identifiers and values; project 1 links a table whose connection is not
  // stored (11) and a table that is not stored at all (55).
  void SetUp() override {
    RdaObjectTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const std::string projectRow =
        "INSERT INTO " + table("MPRJ") +
        " (PRJ_ID, PRJ_NM, PRJ_DATE, PRJ_COMM, PMDATE, PADATE, PMUSER, "
        "PCUSER, PRJ_UUID, FLDR_ID, LRDATE, LRDUR, LRST) VALUES (?, ?, "
        "45000.5, 'first comment', 45001.25, 45002, 'editor', 'creator', ?, 3, "
        "45003, 42, 'done')";
    exec(projectRow, {1, "Customers", "uuid-1"});
    exec(projectRow, {2, "Orders", "uuid-2"});
    exec("INSERT INTO " + table("MDBCON") + " (DB_ID, CON_CNSTR) VALUES (?, ?)",
         {7, "DSN=warehouse"});
    const std::string tableRow = "INSERT INTO " + table("MTABLE") +
                                 " (TBL_ID, TBL_NM, TBL_SCH, TBL_CAT, DB_ID) "
                                 "VALUES (?, ?, ?, 'main', ?)";
    exec(tableRow, {10, "CUSTOMER", "SALES", 7});
    exec(tableRow, {11, "ADDRESS", "SALES", 99});
    exec(tableRow, {12, "ORDERS", "SHOP", 7});
    for (const auto& link : {std::pair{1, 10}, {1, 11}, {1, 55}, {2, 12}})
      exec("INSERT INTO " + table("MPJTBL") + " (PRJ_ID, TBL_ID) VALUES (?, ?)",
           {link.first, link.second});
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
  // The rows of project `prjId` in MPRJ, MPJTBL, MIDDEF and MDEFVL.
  std::string rowsOf(int prjId) {
    std::string n;
    for (const char* code : {"MPRJ", "MPJTBL", "MIDDEF", "MDEFVL"})
      n += std::to_string(count(code, "PRJ_ID=?", {prjId}));
    return n;
  }
  std::string event(int changeType, int prjId) {
    return "DataExploration " + std::to_string(changeType) + " " +
           std::to_string(prjId) + " uuid-" + std::to_string(prjId) + " " +
           rda_->getRepositoryUUID().str();
  }

  EventRecorder recorder_{describe};
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(ExplorerRDAImplTest, GetProjectGivesTheWholeRowInTableOrder) {
  ReposDataAccessCursor* cursor = explorer_->getProject(1);
  EXPECT_EQ(columnNames(cursor),
            "PRJ_ID|PRJ_NM|PRJ_DATE|PRJ_COMM|PMDATE|PADATE|PMUSER|PCUSER|"
            "PRJ_UUID|FLDR_ID|LRDATE|LRDUR|LRST");
  EXPECT_EQ(rows(cursor),
            Rows{"1|Customers|45000.5|first comment|45001.25|45002|editor|"
                 "creator|uuid-1|3|45003|42|done"});
  EXPECT_TRUE(rows(explorer_->getProject(3)).empty());
}

TEST_P(ExplorerRDAImplTest,
       ListProjectTablesKeepsLinksWithoutTableOrConnection) {
  ReposDataAccessCursor* cursor = explorer_->listProjectTables(1);
  EXPECT_EQ(columnNames(cursor), "PRJ_ID|TBL_NM|TBL_SCH|CON_CNSTR|TBL_CAT");
  EXPECT_EQ(sortedRows(rows(cursor)),
            (Rows{"1|ADDRESS|SALES||main",
                  "1|CUSTOMER|SALES|DSN=warehouse|main", "1||||"}));
  EXPECT_EQ(rows(explorer_->listProjectTables(2)),
            Rows{"2|ORDERS|SHOP|DSN=warehouse|main"});
}

TEST_P(ExplorerRDAImplTest, UpdateProjectWritesNameAndCommentOnlyAndPosts) {
  ASSERT_TRUE(explorer_->updateProject(1, "Clients", "second comment"))
      << explorer_->getErrorMessage().asCstr();
  EXPECT_EQ(rows(explorer_->getProject(1)),
            Rows{"1|Clients|45000.5|second comment|45001.25|45002|editor|"
                 "creator|uuid-1|3|45003|42|done"});
  EXPECT_EQ(rows(explorer_->getProject(2)).at(0).substr(0, 9), "2|Orders|");
  EXPECT_EQ(recorder_.events, Rows{event(kChangeUpdated, 1)});
}

TEST_P(ExplorerRDAImplTest, UpdateOfAMissingProjectFailsWithoutEvent) {
  EXPECT_FALSE(explorer_->updateProject(9, "Ghost", ""));
  EXPECT_EQ(explorer_->getErrorMessage().str(),
            "Data exploration 9 does not exist");
  EXPECT_TRUE(log_.contains("Data exploration 9 does not exist", 5));
  EXPECT_TRUE(recorder_.events.empty());
}

// Tables and connections may be shared by other explorations: they stay.
TEST_P(ExplorerRDAImplTest, DeleteProjectRemovesItsRowsOnly) {
  ASSERT_TRUE(explorer_->deleteProject(1))
      << explorer_->getErrorMessage().asCstr();
  EXPECT_EQ(rowsOf(1) + " " + rowsOf(2), "0000 1111");
  EXPECT_EQ(count("MTABLE"), 3);
  EXPECT_EQ(count("MDBCON"), 1);
  EXPECT_EQ(recorder_.events, Rows{event(kChangeDeleted, 1)});
}

TEST_P(ExplorerRDAImplTest, DeleteOfAMissingProjectClearsStrayRowsQuietly) {
  exec("DELETE FROM " + table("MPRJ") + " WHERE PRJ_ID=1");
  EXPECT_TRUE(explorer_->deleteProject(1));
  EXPECT_EQ(rowsOf(1) + " " + rowsOf(2), "0000 1111");
  EXPECT_TRUE(recorder_.events.empty()) << "nothing that existed was deleted";
}

TEST_P(ExplorerRDAImplTest, DeleteThatFailsPartWayLeavesEverything) {
  // The third delete (MPJTBL) fails after the first two have run.
  exec("DROP TABLE " + table("MPJTBL"));
  EXPECT_FALSE(explorer_->deleteProject(1));
  EXPECT_FALSE(explorer_->getErrorMessage().isEmpty());
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(count("MPRJ", "PRJ_ID=1") + count("MIDDEF", "PRJ_ID=1") +
                count("MDEFVL", "PRJ_ID=1"),
            3);
  EXPECT_TRUE(recorder_.events.empty());
}

TEST_P(ExplorerRDAImplTest, MissingTablesGiveNullAndTheDatabaseReason) {
  exec("DROP TABLE " + table("MPRJ"));
  exec("DROP TABLE " + table("MPJTBL"));
  EXPECT_EQ(explorer_->getProject(1), nullptr);
  EXPECT_FALSE(explorer_->getErrorMessage().isEmpty());
  EXPECT_EQ(explorer_->listProjectTables(1), nullptr);
  EXPECT_FALSE(explorer_->updateProject(1, "name", "comment"));
  EXPECT_FALSE(explorer_->deleteProject(1));
  EXPECT_TRUE(recorder_.events.empty());
  EXPECT_TRUE(log_.contains("", 5));
}

INSTANTIATE_RDA_TARGETS(ExplorerRDAImplTest);

}  // namespace
