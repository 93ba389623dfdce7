// The structure work of a repository on every back end: the INFO version
// rows of a new repository, table sets created with their indexes, rows and
// statements, sets skipped by version, upgraded and dropped, the writing of
// version rows for older repositories, and the DDL script route.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/repos_tables_xml.h"
#include "support/repos_impl_targets.h"

namespace {

using Rows = std::vector<std::string>;

// A set with one table whose rows take their keys from the id counter, a
// macro, and a post-create statement.
std::string itemSet(int version, const std::string& extraColumn = "",
                    const std::string& extraParts = "") {
  return "<tableset name=\"TSALPHA\" version=\"" + std::to_string(version) +
         "\" indexprefix=\"TA\">\n"
         "  <macro name=\"GREETING\" value=\"hello\"/>\n"
         "  <table name=\"TSITEM\" description=\"Items\">\n"
         "    <column name=\"ID\" type=\"integer\" primarykey=\"true\"/>\n"
         "    <column name=\"NAME\" type=\"text\" length=\"40\" "
         "nullable=\"false\" index=\"1\"/>\n"
         "    <column name=\"NOTE\" type=\"text\" usemaxlength=\"true\"/>\n" +
         extraColumn +
         "    <row number=\"2\" keycolumn=\"ID\"><value "
         "column=\"NAME\">second</value></row>\n"
         "    <row number=\"1\" keycolumn=\"ID\"><value "
         "column=\"NAME\">first</value><value "
         "column=\"NOTE\">a note</value></row>\n"
         "  </table>\n"
         "  <postcreate><statement><sql>INSERT INTO $$TSITEM$$ (ID, NAME) "
         "VALUES (100, '%%GREETING%%')</sql></statement></postcreate>\n" +
         extraParts + "</tableset>\n";
}

// A statement that records `key` in KEYVAL, its values bound.
std::string markStatement(const std::string& key) {
  return "<statement><sql>INSERT INTO $$KEYVAL$$ (V_KEY, V_VALUE) VALUES "
         "(?, ?)</sql><param name=\"k\" type=\"text\" length=\"40\">" +
         key + "</param><param name=\"v\" type=\"text\" "
               "length=\"40\">set</param></statement>";
}

// A set with one table and a row, whose statements before and after its
// tables record themselves in KEYVAL.
std::string markingSet(const std::string& name, const std::string& table,
                       bool insertDataFirst) {
  return "<tableset name=\"" + name + "\" version=\"1\" insertdatafirst=\"" +
         (insertDataFirst ? "true" : "false") +
         "\">\n"
         "  <table name=\"" + table + "\">\n"
         "    <column name=\"NAME\" type=\"text\" length=\"20\"/>\n"
         "    <row number=\"1\"><value column=\"NAME\">row</value></row>\n"
         "  </table>\n"
         "  <precreate>" + markStatement(name + "-precreate") +
         "</precreate>\n"
         "  <postcreate>" + markStatement(name + "-postcreate") +
         "<statement><sql>UPDATE $$" + table +
         "$$ SET NAME = 'post'</sql></statement></postcreate>\n"
         "  <predelete>" + markStatement(name + "-predelete") +
         "</predelete>\n"
         "  <postdelete>" + markStatement(name + "-postdelete") +
         "</postdelete>\n"
         "</tableset>\n";
}

Rows sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Collects the statements of a DDL script.
class ScriptCollector : public ReposDDLCallback {
 public:
  bool writeStatement(const KvbString& statement) override {
    statements.push_back(statement.asCstr());
    return true;
  }
  bool contains(const std::string& part) const {
    for (const std::string& s : statements)
      if (s.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> statements;
};

class ReposStructureTest : public ReposImplTest {
 protected:
  Rows infoRows(RepositoryImpl* repos) {
    return rows(repos,
                "SELECT I_TYPE, I_VERS, I_DESC, I_MVER FROM %s ORDER BY I_TYPE",
                "INFO");
  }
  Rows keyValues(RepositoryImpl* repos) {
    return sorted(rows(repos, "SELECT V_KEY FROM %s", "KEYVAL"));
  }
  // Creates the built-in core tables only, as an older repository has.
  RepositoryImpl* openWithCoreTables() {
    RepositoryImpl* repos = open();
    if (!repos) return nullptr;
    TableCreateOptions core;
    core.createTables = true;
    EXPECT_TRUE(repos->getDataAccess()->createTables(core));
    return repos;
  }
};

// ---------------------------------------------------------------------------
// A new repository

TEST_P(ReposStructureTest, NewRepositoryHasItsVersionRowsAndIdentity) {
  writeTableSets("alpha.xml", itemSet(2));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));

  EXPECT_EQ(infoRows(repos),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||",
                  "TSALPHA|2||"}));
  const KvbString uuid = repos->getRepositoryUUID();
  EXPECT_EQ(uuid.length(), 36u);

  RepositoryImpl* again = open();
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->isCurrentVersion());
  EXPECT_TRUE(again->isMinorVersionCurrent());
  EXPECT_TRUE(again->isNCOAVersionCurrent());
  int version = 0;
  again->getInfoVersion("TSALPHA", &version, nullptr);
  EXPECT_EQ(version, 2);
  EXPECT_EQ(again->getRepositoryUUID(), uuid);
}

TEST_P(ReposStructureTest, SetTablesGetColumnsIndexesRowsAndStatements) {
  writeTableSets("alpha.xml", itemSet(2));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));

  EXPECT_EQ(columns(repos, "TSITEM"), (Rows{"ID", "NAME", "NOTE"}));
  // Rows in row-number order take the ids 1 and 2 of the table's counter;
  // the post-create statement had its marker and macro expanded.
  EXPECT_EQ(rows(repos, "SELECT ID, NAME, NOTE FROM %s ORDER BY ID",
                 "TSITEM"),
            (Rows{"1|first|a note", "2|second|", "100|hello|"}));
  EXPECT_EQ(rows(repos, "SELECT NI_VAL FROM %s WHERE NI_KEY='TSITEM'",
                 "UCURID"),
            (Rows{"2"}));

  ReposDataAccess* rda = repos->getDataAccess();
  ReposDataAccessCursor* indexes =
      rda->listIndexes(rda->getTableName("TSITEM", true, -1));
  ASSERT_NE(indexes, nullptr);
  bool found = false;
  while (indexes->next() == 1)
    found = found || indexes->getString(0).equals(
                         rda->getIndexName(1, "TA"), true);
  indexes->release();
  EXPECT_TRUE(found) << "index " << rda->getIndexName(1, "TA").asCstr();

  // NAME is declared NOT NULL.
  EXPECT_FALSE(rda->paramExec(
      kvbStringFormat("INSERT INTO %S (ID) VALUES (7)",
                      rda->getTableName("TSITEM", true, -1)),
      nullptr, 0));
}

TEST_P(ReposStructureTest, RowsComeBeforeOrAfterPostCreateStatementsAsAsked) {
  writeTableSets("marks.xml", markingSet("SETLATE", "TSLATE", false) +
                                  markingSet("SETFIRST", "TSFIRST", true));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));

  // Rows inserted after the update keep their value; rows inserted first
  // are changed by it.
  EXPECT_EQ(rows(repos, "SELECT NAME FROM %s", "TSLATE"), (Rows{"row"}));
  EXPECT_EQ(rows(repos, "SELECT NAME FROM %s", "TSFIRST"), (Rows{"post"}));
  EXPECT_EQ(keyValues(repos),
            (Rows{"SETFIRST-postcreate", "SETFIRST-precreate",
                  "SETLATE-postcreate", "SETLATE-precreate"}));
}

TEST_P(ReposStructureTest, FailingStatementStopsCreationUnlessSetIgnoresIt) {
  const std::string failing =
      "<precreate><statement><sql>INSERT INTO $$NOSUCHTABLE$$ VALUES "
      "(1)</sql></statement></precreate>\n";
  auto set = [&](const char* name, const char* table, bool ignore) {
    return std::string("<tableset name=\"") + name +
           "\" version=\"1\" ignorecustomerrors=\"" +
           (ignore ? "true" : "false") + "\"><table name=\"" + table +
           "\"><column name=\"A\" type=\"integer\"/></table>" + failing +
           "</tableset>\n";
  };
  writeTableSets("a.xml", set("TOLERANT", "TSTOL", true));
  writeTableSets("b.xml", set("STRICT", "TSSTRICT", false));
  RepositoryImpl* repos = openWithCoreTables();
  ASSERT_NE(repos, nullptr);

  EXPECT_FALSE(repos->createTables(true, true, false, false, nullptr));
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_EQ(columns(repos, "TSTOL"), (Rows{"A"}));
  EXPECT_TRUE(columns(repos, "TSSTRICT").empty());
}

// ---------------------------------------------------------------------------
// Versions: skipping, counting and upgrading

TEST_P(ReposStructureTest, SetAlreadyAtItsVersionIsSkippedAndNotCounted) {
  writeTableSets("marks.xml", markingSet("SETLATE", "TSLATE", false));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));
  ASSERT_TRUE(exec(repos, "DELETE FROM %s", "KEYVAL"));

  RepositoryImpl* again = open();
  ASSERT_NE(again, nullptr);
  int count = -1;
  EXPECT_TRUE(again->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(again->createTables(false, true, false, false, &count));
  EXPECT_TRUE(keyValues(again).empty());

  // A newer version of the set is counted.
  writeTableSets("marks.xml",
                 "<tableset name=\"SETLATE\" version=\"2\"><table "
                 "name=\"TSLATE\"><column name=\"NAME\" type=\"text\" "
                 "length=\"20\"/></table></tableset>\n");
  EXPECT_TRUE(again->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 1);
}

TEST_P(ReposStructureTest, UpdateAddsColumnsAndTablesAndRecordsVersions) {
  writeTableSets("alpha.xml", itemSet(2));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));

  writeTableSets(
      "alpha.xml",
      itemSet(3, "    <column name=\"EXTRA\" type=\"text\" length=\"10\"/>\n",
              "  <table name=\"TSNEW\"><column name=\"B\" "
              "type=\"integer\"/></table>\n"
              "  <postupdate><statement><sql>UPDATE $$TSITEM$$ SET EXTRA = "
              "'x'</sql></statement></postupdate>\n") +
          "<tableset name=\"TSBETA\" version=\"4\"><table name=\"TSBETAT\">"
          "<column name=\"C\" type=\"integer\"/></table></tableset>\n");
  RepositoryImpl* upgrading = open();
  ASSERT_NE(upgrading, nullptr);
  int count = 0;
  ASSERT_TRUE(upgrading->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 2);
  ASSERT_TRUE(upgrading->createTables(false, false, true, false, nullptr))
      << upgrading->getErrorMessage().asCstr();

  EXPECT_EQ(columns(upgrading, "TSITEM"),
            (Rows{"ID", "NAME", "NOTE", "EXTRA"}));
  EXPECT_EQ(columns(upgrading, "TSNEW"), (Rows{"B"}));
  // No seed rows again; the post-update statement ran.
  EXPECT_EQ(rows(upgrading, "SELECT ID, EXTRA FROM %s ORDER BY ID", "TSITEM"),
            (Rows{"1|x", "2|x", "100|x"}));
  // The existing row was updated, the missing one inserted.
  EXPECT_EQ(rows(upgrading,
                 "SELECT I_TYPE, I_VERS FROM %s WHERE I_TYPE LIKE 'TS%%' "
                 "ORDER BY I_TYPE",
                 "INFO"),
            (Rows{"TSALPHA|3", "TSBETA|4"}));

  RepositoryImpl* after = open();
  ASSERT_NE(after, nullptr);
  ASSERT_TRUE(after->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 0);
}

// ---------------------------------------------------------------------------
// Dropping

TEST_P(ReposStructureTest, DropRunsDeleteStatementsExceptAfterRowsFirstSets) {
  writeTableSets("marks.xml", markingSet("SETLATE", "TSLATE", false) +
                                  markingSet("SETFIRST", "TSFIRST", true));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));
  ASSERT_TRUE(exec(repos, "DELETE FROM %s", "KEYVAL"));

  ASSERT_TRUE(repos->createTables(true, false, false, false, nullptr))
      << repos->getErrorMessage().asCstr();
  EXPECT_TRUE(columns(repos, "TSLATE").empty());
  EXPECT_TRUE(columns(repos, "TSFIRST").empty());
  EXPECT_EQ(keyValues(repos),
            (Rows{"SETFIRST-predelete", "SETLATE-postdelete",
                  "SETLATE-predelete"}));
}

// ---------------------------------------------------------------------------
// Version rows of older repositories

TEST_P(ReposStructureTest, OlderRepositoryBecomesUnifiedWithIdentity) {
  RepositoryImpl* old = openWithCoreTables();
  ASSERT_NE(old, nullptr);
  ASSERT_TRUE(exec(old,
                   "INSERT INTO %s (I_TYPE, I_VERS) VALUES "
                   "('PROFILE_RESULTSET', 20)",
                   "INFO"));
  ASSERT_TRUE(exec(old, "INSERT INTO %s (I_TYPE, I_VERS) VALUES ('MONITOR', 5)",
                   "INFO"));
  RecordingStatus status;
  RepositoryImpl* repos = open(&status);
  ASSERT_NE(repos, nullptr);
  int connection, kind, version, second;
  repos->getVersionInfo(&connection, &kind, &version, &second);
  ASSERT_EQ(kind, kKindProfileAndMonitor);

  ASSERT_TRUE(repos->writeVersionInfo(false)) << repos->getErrorMessage().asCstr();
  EXPECT_EQ(status.statuses, (std::vector<std::string>{"Updating version info"}));
  EXPECT_EQ(infoRows(repos),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||"}));
  // The unified row carries the repository's identity, so that the
  // repository opens as current.
  RepositoryImpl* after = open();
  ASSERT_NE(after, nullptr);
  EXPECT_TRUE(after->isCurrentVersion());
  EXPECT_TRUE(after->isMinorVersionCurrent());
  EXPECT_EQ(after->getRepositoryUUID().length(), 36u);
}

TEST_P(ReposStructureTest, UnifiedRepositoryGetsCurrentVersionsAndOneNcoaRow) {
  RepositoryImpl* created = open();
  ASSERT_NE(created, nullptr);
  ASSERT_TRUE(create(created));
  const KvbString uuid = created->getRepositoryUUID();
  ASSERT_TRUE(exec(created,
                   "UPDATE %s SET I_VERS = 6, I_MVER = 2 WHERE "
                   "I_TYPE = 'KVREPOSITORY'",
                   "INFO"));
  ASSERT_TRUE(exec(created, "DELETE FROM %s WHERE I_TYPE = 'NCOA'", "INFO"));
  ASSERT_TRUE(exec(created,
                   "INSERT INTO %s (I_TYPE, I_VERS) VALUES "
                   "('PROFILE_RESULTSET', 20)",
                   "INFO"));

  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(repos->writeVersionInfo(false));
  EXPECT_EQ(infoRows(repos), (Rows{"KVREPOSITORY|7|Velmoran Repository|4"}));
  EXPECT_EQ(repos->getRepositoryUUID(), uuid);

  // The NCOA row is inserted when missing and updated when present.
  ASSERT_TRUE(repos->writeVersionInfo(true));
  EXPECT_TRUE(repos->isNCOAVersionCurrent());
  ASSERT_TRUE(exec(repos, "UPDATE %s SET I_VERS = 0 WHERE I_TYPE = 'NCOA'",
                   "INFO"));
  ASSERT_TRUE(repos->writeVersionInfo(true));
  EXPECT_EQ(infoRows(repos), (Rows{"KVREPOSITORY|7|Velmoran Repository|4",
                                   "NCOA|1||"}));
}

TEST_P(ReposStructureTest, FailedVersionWriteChangesNoRow) {
  RepositoryImpl* old = openWithCoreTables();
  ASSERT_NE(old, nullptr);
  ASSERT_TRUE(exec(old, "INSERT INTO %s (I_TYPE, I_VERS) VALUES ('MONITOR', 5)",
                   "INFO"));
  RecordingStatus status;
  RepositoryImpl* repos = open(&status);
  ASSERT_NE(repos, nullptr);
  // Without the I_MVER column the unified row cannot be written.
  ASSERT_TRUE(exec(repos, "DROP TABLE %s", "INFO"));
  ASSERT_TRUE(exec(repos,
                   "CREATE TABLE %s (I_TYPE VARCHAR(32), I_VERS INTEGER, "
                   "I_DESC VARCHAR(255))",
                   "INFO"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (I_TYPE, I_VERS) VALUES ('MONITOR', 5)",
                   "INFO"));

  EXPECT_FALSE(repos->writeVersionInfo(false));
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_TRUE(status.sawMessage(repos->getErrorMessage().asCstr()));
  EXPECT_EQ(rows(repos, "SELECT I_TYPE, I_VERS FROM %s", "INFO"),
            (Rows{"MONITOR|5"}));
}

// ---------------------------------------------------------------------------
// A DDL script

TEST_P(ReposStructureTest, ScriptHoldsTheWholeRepositoryAndRunsToOne) {
  writeTableSets("alpha.xml", itemSet(2));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ScriptCollector script;
  ASSERT_TRUE(repos->setDDLCallback(&script));
  ASSERT_TRUE(create(repos));

  // Nothing reached the database.
  EXPECT_TRUE(columns(repos, "INFO").empty());
  EXPECT_TRUE(script.contains("KVREPOSITORY"));
  EXPECT_TRUE(script.contains("'LOGREPOS'"));
  EXPECT_TRUE(script.contains("'Profiling Reports'"));
  EXPECT_TRUE(script.contains("'second'"));
  EXPECT_TRUE(script.contains("'Default dashboard'"));

  ASSERT_TRUE(repos->setDDLCallback(nullptr));
  for (const std::string& statement : script.statements)
    ASSERT_TRUE(repos->getDataAccess()->paramExec(statement.c_str(), nullptr, 0))
        << statement << ": " << repos->getDataAccess()->getErrorMessage().asCstr();
  RepositoryImpl* made = open();
  ASSERT_NE(made, nullptr);
  EXPECT_TRUE(made->isCurrentVersion());
  EXPECT_TRUE(made->isMinorVersionCurrent());
  EXPECT_EQ(rows(made, "SELECT ID, NAME FROM %s ORDER BY ID", "TSITEM"),
            (Rows{"1|first", "2|second", "100|hello"}));
  EXPECT_EQ(rows(made, "SELECT COUNT(*) FROM %s", "EVENT"), (Rows{"11"}));
  // The dashboard defaults and their counters, as a created repository
  // has them.
  EXPECT_EQ(rows(made, "SELECT DIM_ID, DIM_NAME FROM %s ORDER BY DIM_ID",
                 "DIMENS"),
            (Rows{"1|Accuracy", "2|Consistency", "3|Structure", "4|Integrity",
                  "5|Validity", "6|Completeness"}));
  EXPECT_EQ(rows(made, "SELECT COUNT(*) FROM %s WHERE GRP_ID = 1", "DIMGRP"),
            (Rows{"6"}));
  EXPECT_EQ(rows(made,
                 "SELECT NI_KEY, NI_VAL FROM %s WHERE NI_VAL > 0 ORDER BY "
                 "NI_KEY",
                 "UCURID"),
            (Rows{"DIMENS|6", "RPTGRP|1", "THRHLD|1", "TSITEM|2"}));
  EXPECT_EQ(rows(made, "SELECT THR_NAME, NAME_2 FROM %s", "THRHLD"),
            (Rows{"Default|High"}));
}

INSTANTIATE_REPOS_TARGETS(ReposStructureTest);

}  // namespace
