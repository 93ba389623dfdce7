// Table sets created, upgraded and dropped, and the version rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
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
  return R"(<tableset name="TSALPHA" indexprefix="TA" version=")" +
         std::to_string(version) + R"("><macro name="GREETING" value="hello"/>
<table name="TSITEM" description="Items">
<column name="ID" type="integer" primarykey="true"/>
<column name="NAME" type="text" length="40" nullable="false" index="1"/>
<column name="NOTE" type="text" usemaxlength="true"/>)" +
         extraColumn + R"(
<row number="2" keycolumn="ID"><value column="NAME">second</value></row>
<row number="1" keycolumn="ID"><value column="NAME">first</value>
<value column="NOTE">a note</value></row></table><postcreate><statement>
<sql>INSERT INTO $$TSITEM$$ (ID, NAME) VALUES (100, '%%GREETING%%')</sql>
</statement></postcreate>)" +
         extraParts + "</tableset>\n";
}

// A set with one table and a row, whose statements before and after its
// tables record themselves (with bound values) in KEYVAL.
std::string markingSet(const std::string& name, const std::string& table,
                       bool insertDataFirst) {
  auto mark = [&](const std::string& when, const std::string& more = "") {
    return "<" + when + R"(><statement><sql>INSERT INTO $$KEYVAL$$ (V_KEY,
V_VALUE) VALUES (?, ?)</sql><param name="k" type="text" length="40">)" +
           name + "-" + when + R"(</param><param name="v" type="text"
length="40">set</param></statement>)" +
           more + "</" + when + ">\n";
  };
  return "<tableset name=\"" + name + "\" version=\"1\" insertdatafirst=\"" +
         (insertDataFirst ? "true" : "false") + "\"><table name=\"" + table +
         R"("><column name="NAME" type="text" length="20"/>
<row number="1"><value column="NAME">row</value></row></table>)" +
         mark("precreate") +
         mark("postcreate", "<statement><sql>UPDATE $$" + table +
                                "$$ SET NAME = 'post'</sql></statement>") +
         mark("predelete") + mark("postdelete") + "</tableset>\n";
}

struct ScriptCollector : ReposDDLCallback {
  bool writeStatement(const KvbString& statement) override {
    statements.push_back(statement.asCstr());
    return true;
  }
  std::vector<std::string> statements;
};

class ReposStructureTest : public ReposImplTest {
 protected:
  Rows infoRows(RepositoryImpl* repos) {
    return rows(repos,
                "SELECT I_TYPE, I_VERS, I_DESC, I_MVER FROM %s "
                "ORDER BY I_TYPE",
                "INFO");
  }
  Rows keyValues(RepositoryImpl* repos) {
    Rows keys = rows(repos, "SELECT V_KEY FROM %s", "KEYVAL");
    std::sort(keys.begin(), keys.end());
    return keys;
  }
  bool addInfo(const std::string& type, int version) {
    return exec(
        "INSERT INTO " + table("INFO") + " (I_TYPE, I_VERS) VALUES (?, ?)",
        {KvbString(type), version});
  }
};

TEST_P(ReposStructureTest, SetsAreCreatedSkippedUpgradedAndDropped) {
  writeTableSets("alpha.xml", itemSet(2));
  writeTableSets("marks.xml", markingSet("SETLATE", "TSLATE", false) +
                                  markingSet("SETFIRST", "TSFIRST", true));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(create(repos));
  EXPECT_EQ(infoRows(repos),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||",
                  "SETFIRST|1||", "SETLATE|1||", "TSALPHA|2||"}));
  EXPECT_EQ(repos->getRepositoryUUID().length(), 36u);
  // Rows in row-number order take the ids 1 and 2 of the table's counter;
  // the post-create statement had its marker and macro expanded.
  EXPECT_EQ(rows(repos, "SELECT ID, NAME, NOTE FROM %s ORDER BY ID", "TSITEM"),
            (Rows{"1|first|a note", "2|second|", "100|hello|"}));
  EXPECT_EQ(
      rows(repos, "SELECT NI_VAL FROM %s WHERE NI_KEY='TSITEM'", "UCURID"),
      (Rows{"2"}));
  // Rows inserted after the post-create update keep their value; rows
  // inserted first are changed by it.
  EXPECT_EQ(rows(repos, "SELECT NAME FROM %s", "TSLATE"), (Rows{"row"}));
  EXPECT_EQ(rows(repos, "SELECT NAME FROM %s", "TSFIRST"), (Rows{"post"}));
  EXPECT_EQ(keyValues(repos),
            (Rows{"SETFIRST-postcreate", "SETFIRST-precreate",
                  "SETLATE-postcreate", "SETLATE-precreate"}));
  ReposDataAccess* rda = repos->getDataAccess();
  const KvbString item = rda->getTableName("TSITEM", true, -1);
  const KvbString index = rda->getIndexName(1, "TA");
  ReposDataAccessCursor* indexes = rda->listIndexes(item);
  bool found = false;
  while (indexes && indexes->next() == 1)
    found = found || indexes->getString(0).equals(index, true);
  if (indexes) indexes->release();
  EXPECT_TRUE(found) << "index " << index.asCstr();
  // NAME is declared NOT NULL.
  EXPECT_FALSE(rda->paramExec(
      kvbStringFormat("INSERT INTO %S (ID) VALUES (7)", item), nullptr, 0));

  // Sets at their version are neither counted nor created again.
  ASSERT_TRUE(exec("DELETE FROM " + table("KEYVAL")));
  RepositoryImpl* again = open();
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->getRepositoryUUID(), repos->getRepositoryUUID());
  int count = -1;
  EXPECT_TRUE(again->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(again->createTables(false, true, false, false, &count))
      << again->getErrorMessage().asCstr();
  EXPECT_TRUE(keyValues(again).empty());

  // TSALPHA 3 adds a column, a table and a post-update statement; TSBETA
  // is new. Both are counted, the marking sets are not.
  writeTableSets(
      "alpha.xml",
      itemSet(3, R"(<column name="EXTRA" type="text" length="10"/>)",
              R"(<table name="TSNEW"><column name="B" type="integer"/></table>
<postupdate><statement><sql>UPDATE $$TSITEM$$ SET EXTRA = 'x'</sql>
</statement></postupdate>)") +
          R"(<tableset name="TSBETA" version="4">
<table name="TSBETAT"><column name="C" type="integer"/></table></tableset>)");
  RepositoryImpl* upgrading = open();
  ASSERT_NE(upgrading, nullptr);
  ASSERT_TRUE(upgrading->createTables(false, false, true, true, &count));
  EXPECT_EQ(count, 2);
  ASSERT_TRUE(upgrading->createTables(false, false, true, false, nullptr))
      << upgrading->getErrorMessage().asCstr();
  EXPECT_EQ(columns(upgrading, "TSITEM"),
            (Rows{"ID", "NAME", "NOTE", "EXTRA"}));
  EXPECT_EQ(columns(upgrading, "TSNEW"), (Rows{"B"}));
  // No seed rows again; the post-update statement ran; the existing version
  // row was updated, the missing one inserted.
  EXPECT_EQ(rows(upgrading, "SELECT ID, EXTRA FROM %s ORDER BY ID", "TSITEM"),
            (Rows{"1|x", "2|x", "100|x"}));
  EXPECT_EQ(infoRows(upgrading),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||",
                  "SETFIRST|1||", "SETLATE|1||", "TSALPHA|3||", "TSBETA|4||"}));

  // Dropping runs the delete statements, except a rows-first set's
  // post-delete statement.
  ASSERT_TRUE(upgrading->createTables(true, false, false, false, nullptr))
      << upgrading->getErrorMessage().asCstr();
  EXPECT_TRUE(columns(upgrading, "TSLATE").empty() &&
              columns(upgrading, "TSFIRST").empty() &&
              columns(upgrading, "TSITEM").empty());
  EXPECT_EQ(
      keyValues(upgrading),
      (Rows{"SETFIRST-predelete", "SETLATE-postdelete", "SETLATE-predelete"}));
}

TEST_P(ReposStructureTest, FailingStatementStopsCreationUnlessSetIgnoresIt) {
  auto set = [](const char* name, const char* table, bool ignore) {
    return std::string("<tableset name=\"") + name +
           "\" version=\"1\" ignorecustomerrors=\"" +
           (ignore ? "true" : "false") + "\"><table name=\"" + table +
           R"("><column name="A" type="integer"/></table><precreate>
<statement><sql>INSERT INTO $$NOSUCHTABLE$$ VALUES (1)</sql></statement>
</precreate></tableset>)";
  };
  writeTableSets("sets.xml", set("TOLERANT", "TSTOL", true) +
                                 set("STRICT", "TSSTRICT", false));
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  EXPECT_FALSE(repos->createTables(true, true, false, false, nullptr));
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_EQ(columns(repos, "TSTOL"), (Rows{"A"}));
  EXPECT_TRUE(columns(repos, "TSSTRICT").empty());
}

// The sets are read again for each creation: a folder that went away since
// the repository was opened fails it with the reason, and makes no table.
TEST_P(ReposStructureTest, ASetFolderThatWentAwayFailsTheCreation) {
  writeTableSets("sets.xml", itemSet(1));
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  std::filesystem::remove_all(tableSets_.path());
  EXPECT_FALSE(repos->createTables(false, true, false, false, nullptr));
  EXPECT_EQ(repos->getErrorMessage().str(),
            "Cannot list the table-set folder \"" + tableSets_.path().string() +
                "\"");
  EXPECT_TRUE(columns(repos, "TSITEM").empty());
}

TEST_P(ReposStructureTest, OlderRepositoriesGetTheCurrentVersionRows) {
  RepositoryImpl* old = openBare();
  ASSERT_NE(old, nullptr);
  ASSERT_TRUE(addInfo("PROFILE_RESULTSET", 20));
  ASSERT_TRUE(addInfo("MONITOR", 5));
  RecordingStatus status;
  RepositoryImpl* repos = open(&status);
  ASSERT_NE(repos, nullptr);
  // The product rows become one unified row with an identity, so that the
  // repository opens as current.
  ASSERT_TRUE(repos->writeVersionInfo(false))
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(status.statuses, (Rows{"Updating version info"}));
  EXPECT_EQ(infoRows(repos),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||"}));
  RepositoryImpl* unified = open();
  ASSERT_NE(unified, nullptr);
  EXPECT_TRUE(unified->isCurrentVersion() && unified->isMinorVersionCurrent());
  const KvbString uuid = unified->getRepositoryUUID();
  EXPECT_EQ(uuid.length(), 36u);

  // An older unified repository gets the current versions, keeps its
  // identity and loses leftover product rows; NCOA is only written when
  // asked for: inserted when missing, updated when present.
  ASSERT_TRUE(
      exec("UPDATE " + table("INFO") +
           " SET I_VERS = 6, I_MVER = 2 WHERE I_TYPE = 'KVREPOSITORY'"));
  ASSERT_TRUE(exec("DELETE FROM " + table("INFO") + " WHERE I_TYPE = 'NCOA'"));
  ASSERT_TRUE(addInfo("PROFILE_RESULTSET", 20));
  RepositoryImpl* older = open();
  ASSERT_NE(older, nullptr);
  ASSERT_TRUE(older->writeVersionInfo(false));
  EXPECT_EQ(infoRows(older), (Rows{"KVREPOSITORY|7|Velmoran Repository|4"}));
  EXPECT_EQ(older->getRepositoryUUID(), uuid);
  ASSERT_TRUE(older->writeVersionInfo(true));
  EXPECT_TRUE(older->isNCOAVersionCurrent());
  ASSERT_TRUE(exec("UPDATE " + table("INFO") +
                   " SET I_VERS = 0 WHERE I_TYPE = 'NCOA'"));
  ASSERT_TRUE(older->writeVersionInfo(true));
  EXPECT_EQ(infoRows(older),
            (Rows{"KVREPOSITORY|7|Velmoran Repository|4", "NCOA|1||"}));
}

TEST_P(ReposStructureTest, FailedVersionWriteChangesNoRow) {
  RepositoryImpl* old = openBare();
  ASSERT_NE(old, nullptr);
  ASSERT_TRUE(addInfo("MONITOR", 5));
  RecordingStatus status;
  RepositoryImpl* repos = open(&status);
  ASSERT_NE(repos, nullptr);
  // Without the I_MVER column the unified row cannot be written.
  ASSERT_TRUE(exec("DROP TABLE " + table("INFO")));
  ASSERT_TRUE(
      exec("CREATE TABLE " + table("INFO") +
           " (I_TYPE VARCHAR(32), I_VERS INTEGER, I_DESC VARCHAR(255))"));
  ASSERT_TRUE(addInfo("MONITOR", 5));
  EXPECT_FALSE(repos->writeVersionInfo(false));
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_TRUE(status.sawMessage(repos->getErrorMessage().asCstr()));
  EXPECT_EQ(rows(repos, "SELECT I_TYPE, I_VERS FROM %s", "INFO"),
            (Rows{"MONITOR|5"}));
}

// The built-in content of a script is compared whole with a created
// repository by the creation tests; here the table sets' rows and counters.
TEST_P(ReposStructureTest, ScriptOfTableSetsRunsToTheSameRepository) {
  writeTableSets("alpha.xml", itemSet(2));
  RepositoryImpl* repos = open();
  ASSERT_NE(repos, nullptr);
  ScriptCollector script;
  ASSERT_TRUE(repos->setDDLCallback(&script));
  ASSERT_TRUE(create(repos));
  EXPECT_TRUE(columns(repos, "INFO").empty() &&
              columns(repos, "TSITEM").empty())
      << "nothing reaches the database";

  ASSERT_TRUE(repos->setDDLCallback(nullptr));
  for (const std::string& statement : script.statements)
    ASSERT_TRUE(
        repos->getDataAccess()->paramExec(statement.c_str(), nullptr, 0))
        << statement << ": "
        << repos->getDataAccess()->getErrorMessage().asCstr();
  EXPECT_EQ(rows(repos, "SELECT ID, NAME FROM %s ORDER BY ID", "TSITEM"),
            (Rows{"1|first", "2|second", "100|hello"}));
  EXPECT_EQ(rows(repos,
                 "SELECT NI_KEY, NI_VAL FROM %s WHERE NI_VAL > 0 "
                 "ORDER BY NI_KEY",
                 "UCURID"),
            (Rows{"DIMENS|6", "RPTGRP|1", "THRHLD|1", "TSITEM|2"}));
}

INSTANTIATE_REPOS_TARGETS(ReposStructureTest);

}  // namespace
