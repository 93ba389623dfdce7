// The first rows of a repository on every back end: monitor lookup rows,
// the profile rows with id 0, the dashboard defaults and their repairs of
// older rows, table-set statements with their markers and macros, seed
// rows, and the repair of the id counters.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "schema/repos_tables_xml.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

using Rows = std::vector<std::string>;

Rows sorted(Rows rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// A table set built in place, for statements and rows run directly.
ReposStatement statement(const std::string& sql,
                         std::vector<ReposStatementParam> params = {}) {
  ReposStatement s;
  s.sql = sql.c_str();
  s.params = std::move(params);
  return s;
}

ReposStatementParam textParam(const char* value) {
  ReposStatementParam p;
  p.type = kvbTypeString;
  p.length = 40;
  p.value = KvbDatavar(value);
  return p;
}

class InitialDataTest : public ReposImplTest {
 protected:
  // A repository with its built-in core tables and nothing else.
  RepositoryImpl* openBare(RepositoryStatusCallback* status = nullptr) {
    RepositoryImpl* repos = open(status);
    if (!repos) return nullptr;
    TableCreateOptions core;
    core.createTables = true;
    EXPECT_TRUE(repos->getDataAccess()->createTables(core));
    return repos;
  }
  RepositoryImpl* openCreated(RepositoryStatusCallback* status = nullptr) {
    RepositoryImpl* repos = open(status);
    if (repos) {
      EXPECT_TRUE(create(repos));
    }
    return repos;
  }
  std::string count(RepositoryImpl* repos, const char* code,
                    const std::string& where = "") {
    Rows n = rows(repos, ("SELECT COUNT(*) FROM %s " + where).c_str(), code);
    return n.empty() ? "" : n[0];
  }
  std::string counter(RepositoryImpl* repos, const char* key) {
    Rows values = rows(
        repos,
        ("SELECT NI_VAL FROM %s WHERE NI_KEY = '" + std::string(key) + "'")
            .c_str(),
        "UCURID");
    std::string joined;
    for (const std::string& v : values) joined += (joined.empty() ? "" : ",") + v;
    return joined;
  }
  // The real values of the first row of a query.
  std::vector<double> reals(RepositoryImpl* repos, const char* sql,
                            const char* code) {
    ReposDataAccess* rda = repos->getDataAccess();
    ReposDataAccessCursor* c = rda->paramSelect(
        kvbStringFormat(sql, rda->getTableName(code, true, -1).asCstr()), 0);
    std::vector<double> out;
    if (c && c->next() == 1)
      for (int i = 0; i < c->getNumCols(); ++i) out.push_back(c->getDouble(i));
    if (c) c->release();
    return out;
  }
  // The value that a statement run through the repository stored under
  // KEYVAL key `key`.
  std::string storedValue(RepositoryImpl* repos, const std::string& key) {
    Rows values = rows(
        repos,
        ("SELECT V_VALUE FROM %s WHERE V_KEY = '" + key + "'").c_str(),
        "KEYVAL");
    return values.size() == 1 ? values[0] : "<" + std::to_string(values.size()) + " rows>";
  }
};

// ---------------------------------------------------------------------------
// Monitor lookup rows

TEST_P(InitialDataTest, EventTypesAndIssuePropertiesAreReplacedWhole) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  const Rows events = sorted(Rows{
      "EMAIL|Send email message|N",
      "EXEC|Execute a program|N",
      "FLOWCONF|Set a data flow key/value|N",
      "FLOWJOB|Launch a data flow job on a Management server|N",
      "FLOWSMITH|Run a local job|N",
      "FLOWSVC|Call a realtime service|N",
      "LOGFILE|Log error to text file|N",
      "LOGREPOS|Log error to repository|Y",
      "PROFILE|Run a local profile|N",
      "RAISEEVENT|Raise an event on the process job (if hosted)|N",
      "TABLEWRITE|Write a row to a table|N"});
  const char* eventQuery = "SELECT EV_CODE, EV_DESC, EV_ISDEF FROM %s";
  EXPECT_EQ(sorted(rows(repos, eventQuery, "EVENT")), events);
  EXPECT_EQ(sorted(rows(repos, "SELECT PR_NAME, PR_VALUE FROM %s", "EXPRTP")),
            sorted(Rows{"STATUS|UNRESOLVED", "STATUS|ASSIGNED",
                        "STATUS|RESOLVED", "REASON|AGING",
                        "REASON|INTEGRATION", "REASON|ORGANIZATIONAL",
                        "REASON|PROCESS", "REASON|TRANSFORMATION",
                        "REASON|USAGE", "REASON|USER ERROR"}));

  ASSERT_TRUE(exec(repos,
                   "INSERT INTO %s (EV_CODE, EV_DESC, EV_ISDEF) VALUES "
                   "('OLD', 'gone', 'N')",
                   "EVENT"));
  ASSERT_TRUE(repos->installInitialMonitorData())
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(sorted(rows(repos, eventQuery, "EVENT")), events);
  EXPECT_EQ(count(repos, "EXPRTP"), "10");
}

TEST_P(InitialDataTest, FailedRefillLeavesEventTypesInPlace) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  // EXPRTP without its columns: the refill fails after EVENT was emptied.
  ASSERT_TRUE(exec(repos, "DROP TABLE %s", "EXPRTP"));
  ASSERT_TRUE(exec(repos, "CREATE TABLE %s (OTHER INTEGER)", "EXPRTP"));
  EXPECT_FALSE(repos->installInitialMonitorData());
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_EQ(count(repos, "EVENT"), "11");
}

// ---------------------------------------------------------------------------
// Profile rows

TEST_P(InitialDataTest, ProfileRowsAreWrittenOnceWithIdZero) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  EXPECT_EQ(rows(repos, "SELECT NCAT_ID, NCAT_DSC FROM %s", "NOTCAT"),
            (Rows{"0|General"}));
  EXPECT_EQ(rows(repos, "SELECT FLDR_ID, FLDR_NAM, NAM_NORM FROM %s", "FOLDER"),
            (Rows{"0|Profiling Reports|profiling reports"}));
  EXPECT_EQ(count(repos, "FOLDER", "WHERE FLDR_PAR IS NULL"), "1");

  // An older repository that already holds the rows keeps them.
  ASSERT_TRUE(repos->installInitialProfileData())
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(count(repos, "NOTCAT"), "1");
  EXPECT_EQ(count(repos, "FOLDER"), "1");
}

TEST_P(InitialDataTest, StopRequestWritesNoProfileRow) {
  RecordingStatus status;
  status.stopAt = "Installing initial Profile data";
  RepositoryImpl* repos = openBare(&status);
  ASSERT_NE(repos, nullptr);
  EXPECT_FALSE(repos->installInitialProfileData());
  EXPECT_FALSE(repos->installInitialData());
  EXPECT_EQ(count(repos, "NOTCAT"), "0");
  EXPECT_EQ(count(repos, "INFO"), "0");
}

// ---------------------------------------------------------------------------
// Dashboard defaults

TEST_P(InitialDataTest, NewRepositoryHasTheDashboardDefaults) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  EXPECT_EQ(rows(repos,
                 "SELECT GRP_ID, GRP_NAME, GRP_DESC, INTNUM, INTLEN, THR_ID, "
                 "FLDR_ID FROM %s",
                 "RPTGRP"),
            (Rows{"1|Default|Default dashboard|7|24|1|0"}));
  EXPECT_EQ(rows(repos, "SELECT DIM_ID, DIM_NAME FROM %s ORDER BY DIM_ID",
                 "DIMENS"),
            (Rows{"1|Accuracy", "2|Consistency", "3|Structure", "4|Integrity",
                  "5|Validity", "6|Completeness"}));
  EXPECT_EQ(count(repos, "DIMENS", "WHERE UUID IS NULL OR FLDR_ID <> 0"), "0");
  EXPECT_EQ(count(repos, "DIMGRP", "WHERE GRP_ID = 1 AND THR_ID = 1 AND WGHT = 1"),
            "6");
  EXPECT_EQ(rows(repos,
                 "SELECT THR_ID, THR_NAME, THR_DESC, NAME_0, NAME_1, NAME_2, "
                 "COLOR_0, COLOR_1, COLOR_2 FROM %s",
                 "THRHLD"),
            (Rows{"1|Default|Default threshold|Low|Medium|High|1|3|4"}));
  const std::vector<double> bands = reals(
      repos, "SELECT START_0, END_0, START_1, END_1, START_2, END_2 FROM %s",
      "THRHLD");
  const std::vector<double> expected{0.1, 90, 90.1, 98, 98.1, 100.1};
  ASSERT_EQ(bands.size(), expected.size());
  for (size_t i = 0; i < bands.size(); ++i)
    EXPECT_DOUBLE_EQ(bands[i], expected[i]) << "value " << i;
  EXPECT_EQ(counter(repos, "RPTGRP"), "1");
  EXPECT_EQ(counter(repos, "THRHLD"), "1");
  EXPECT_EQ(counter(repos, "DIMENS"), "6");

  // A second run finds everything in place.
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(count(repos, "DIMENS"), "6");
  EXPECT_EQ(count(repos, "DIMGRP"), "6");
  EXPECT_EQ(count(repos, "RPTGRP"), "1");
  EXPECT_EQ(count(repos, "THRHLD"), "1");
  EXPECT_EQ(counter(repos, "DIMENS"), "6");
}

TEST_P(InitialDataTest, OlderDashboardRowsArePointedAtTheDefaults) {
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec(repos,
                   "INSERT INTO %s (GRP_ID, GRP_NAME, GRP_DESC) VALUES "
                   "(1, 'Own', 'Mine')",
                   "RPTGRP"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (GRP_ID, GRP_NAME) VALUES (2, 'B')",
                   "RPTGRP"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (DIM_ID, DIM_NAME) VALUES (1, 'Default')",
                   "DIMENS"));
  ASSERT_TRUE(exec(repos,
                   "INSERT INTO %s (THR_ID, THR_NAME, NAME_0, START_0, "
                   "NAME_3, START_3) VALUES (1, 'Mine', 'Odd', 5, 'Keep', 7)",
                   "THRHLD"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (EX_ID, GRP_ID) VALUES (1, NULL)",
                   "EXEC"));
  ASSERT_TRUE(exec(repos,
                   "INSERT INTO %s (JB_ID, RU_ID, DIM_ID, THR_ID) VALUES "
                   "(1, 1, NULL, NULL)",
                   "JBRUME"));

  ASSERT_TRUE(repos->ensureDashboardDefaults())
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(rows(repos, "SELECT GRP_NAME, GRP_DESC FROM %s WHERE GRP_ID = 1",
                 "RPTGRP"),
            (Rows{"Own|Default dashboard"}));
  EXPECT_EQ(rows(repos, "SELECT DIM_NAME FROM %s WHERE DIM_ID = 1", "DIMENS"),
            (Rows{"Accuracy"}));
  EXPECT_EQ(count(repos, "DIMENS", "WHERE DIM_NAME = 'Default'"), "0");
  // Every dimension is linked to both groups.
  EXPECT_EQ(count(repos, "DIMGRP"), "12");
  EXPECT_EQ(rows(repos,
                 "SELECT THR_NAME, NAME_0, NAME_2, NAME_3 FROM %s WHERE "
                 "THR_ID = 1",
                 "THRHLD"),
            (Rows{"Mine|Low|High|Keep"}));
  EXPECT_EQ(reals(repos, "SELECT START_0, START_3 FROM %s", "THRHLD"),
            (std::vector<double>{0.1, 7}));
  EXPECT_EQ(rows(repos, "SELECT GRP_ID FROM %s", "EXEC"), (Rows{"1"}));
  EXPECT_EQ(rows(repos, "SELECT DIM_ID, THR_ID FROM %s", "JBRUME"),
            (Rows{"1|1"}));
  EXPECT_EQ(count(repos, "RPTGRP", "WHERE THR_ID IS NULL"), "0");

  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(count(repos, "DIMGRP"), "12");
}

TEST_P(InitialDataTest, DimensionCounterIsRaisedOnlyForANewAccuracy) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec(repos, "UPDATE %s SET NI_VAL = 0 WHERE NI_KEY = 'DIMENS'",
                   "UCURID"));
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(counter(repos, "DIMENS"), "0");

  // A new "Accuracy" raises the existing counter row instead of adding one.
  ASSERT_TRUE(exec(repos, "DELETE FROM %s WHERE DIM_ID = 1", "DIMENS"));
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(counter(repos, "DIMENS"), "1");
  EXPECT_EQ(rows(repos, "SELECT DIM_NAME FROM %s WHERE DIM_ID = 1", "DIMENS"),
            (Rows{"Accuracy"}));
}

TEST_P(InitialDataTest, FailureHalfwayLeavesNoDashboardRow) {
  RecordingStatus status;
  RepositoryImpl* repos = openBare(&status);
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec(repos, "DROP TABLE %s", "DIMGRP"));
  EXPECT_FALSE(repos->ensureDashboardDefaults());
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_TRUE(status.sawMessage(repos->getErrorMessage().asCstr()));
  EXPECT_TRUE(status.sawMessage("INSERT INTO"));
  EXPECT_EQ(count(repos, "RPTGRP"), "0");
  EXPECT_EQ(count(repos, "DIMENS"), "0");
  EXPECT_EQ(count(repos, "UCURID"), "0");
}

TEST_P(InitialDataTest, ScriptModeLooksNothingUpAndWritesOnlyToTheScript) {
  class Script : public ReposDDLCallback {
   public:
    bool writeStatement(const KvbString& text) override {
      statements.push_back(text.asCstr());
      return true;
    }
    std::vector<std::string> statements;
  } script;
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  // An existing row would be found by a lookup; the script ignores it.
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (GRP_ID, GRP_NAME) VALUES (1, 'Own')",
                   "RPTGRP"));
  ASSERT_TRUE(repos->setDDLCallback(&script));
  EXPECT_TRUE(repos->ensureDashboardDefaults())
      << repos->getErrorMessage().asCstr();
  const size_t written = script.statements.size();
  EXPECT_GT(written, 20u);
  // The repair has nothing to repair in a new repository.
  EXPECT_TRUE(repos->repairIdCounters());
  EXPECT_EQ(script.statements.size(), written);
  ASSERT_TRUE(repos->setDDLCallback(nullptr));
  EXPECT_EQ(rows(repos, "SELECT GRP_NAME FROM %s", "RPTGRP"), (Rows{"Own"}));
  EXPECT_EQ(count(repos, "DIMENS"), "0");
  EXPECT_EQ(count(repos, "UCURID"), "0");
}

// ---------------------------------------------------------------------------
// Table-set statements

TEST_P(InitialDataTest, TableMarkersBecomePhysicalNames) {
  RecordingStatus status;
  RepositoryImpl* repos = openCreated(&status);
  ASSERT_NE(repos, nullptr);
  ReposTableSet set;
  ASSERT_TRUE(repos->runTableSetStatement(statement("DELETE FROM $$FOLDER$$"),
                                          set));
  EXPECT_EQ(count(repos, "FOLDER"), "0");
  const KvbString folder =
      repos->getDataAccess()->getTableName("FOLDER", true, -1);
  EXPECT_TRUE(status.sawMessage("DELETE FROM " + folder.str()));

  // Unquoted names, plain names and bound values.
  ASSERT_TRUE(repos->runTableSetStatement(
      statement("INSERT INTO ##KEYVAL## (&&V_KEY&&, V_VALUE) VALUES (?, ?)",
                {textParam("plain"), textParam("bound")}),
      set));
  EXPECT_EQ(storedValue(repos, "plain"), "bound");
  // Only names are expanded: other text between markers stays as written.
  ASSERT_TRUE(repos->runTableSetStatement(
      statement("INSERT INTO $$KEYVAL$$ (V_KEY, V_VALUE) VALUES ('text', "
                "'$$not a name$$ ##x y##')"),
      set));
  EXPECT_EQ(storedValue(repos, "text"), "$$not a name$$ ##x y##");
}

TEST_P(InitialDataTest, MacrosExpandOnlyTheirOwnReferencesAndOnce) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  ReposTableSet set;
  set.macros["A"] = "a";
  set.macros["B"] = "b";
  set.macros["SELF"] = "%%SELF%%!";
  auto store = [&](const char* key, const char* text) {
    return repos->runTableSetStatement(
        statement(std::string("INSERT INTO $$KEYVAL$$ (V_KEY, V_VALUE) "
                              "VALUES ('") +
                  key + "', '" + text + "')"),
        set);
  };
  ASSERT_TRUE(store("order", "%%B%%|%%C%%|%%A%%"));
  EXPECT_EQ(storedValue(repos, "order"), "b|%%C%%|a");
  ASSERT_TRUE(store("open", "%%A%%|%%A"));
  EXPECT_EQ(storedValue(repos, "open"), "a|%%A");
  ASSERT_TRUE(store("self", "%%SELF%%"));
  EXPECT_EQ(storedValue(repos, "self"), "%%SELF%%!");
}

TEST_P(InitialDataTest, FailingStatementIsLoggedAndPassesOnlyWhenIgnored) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  LogCapture log;
  ReposTableSet set;
  const ReposStatement bad = statement("UPDATE $$NOSUCH$$ SET A = 1");
  EXPECT_FALSE(repos->runTableSetStatement(bad, set));
  set.ignoreCustomErrors = true;
  EXPECT_TRUE(repos->runTableSetStatement(bad, set));
  int errors = 0;
  for (const CapturedLog& r : log.records()) errors += r.level == 5;
  EXPECT_EQ(errors, 2);
}

// ---------------------------------------------------------------------------
// Seed rows

class SeedRowsTest : public InitialDataTest {
 protected:
  // A repository with the table TSSEED (ID key, NAME not null, NOTE), made
  // through a table set without rows; rows are then added to `set_`.
  RepositoryImpl* openWithSeedTable() {
    writeTableSets("seed.xml",
                   "<tableset name=\"SEED\" version=\"1\"><table "
                   "name=\"TSSEED\"><column name=\"ID\" type=\"integer\" "
                   "primarykey=\"true\"/><column name=\"NAME\" type=\"text\" "
                   "length=\"20\" nullable=\"false\"/><column name=\"NOTE\" "
                   "type=\"text\" length=\"20\"/></table></tableset>\n");
    RepositoryImpl* repos = openCreated();
    if (!repos) return nullptr;
    set_ = *repos->getTableSet(0);
    return repos;
  }
  void addRow(int number, const char* name, const char* note = nullptr) {
    ReposTableRow row;
    row.keyColumn = "ID";
    if (name) row.values["NAME"] = KvbDatavar(name);
    if (note) row.values["NOTE"] = KvbDatavar(note);
    set_.tableDefs[0].rows[number] = row;
  }
  Rows seedRows(RepositoryImpl* repos) {
    return rows(repos,
                "SELECT ID, NAME, NOTE, CASE WHEN NOTE IS NULL THEN 'null' "
                "ELSE 'set' END FROM %s ORDER BY ID",
                "TSSEED");
  }

  ReposTableSet set_;
};

TEST_P(SeedRowsTest, RowsTakeIdsAndMissingValuesAreNull) {
  RepositoryImpl* repos = openWithSeedTable();
  ASSERT_NE(repos, nullptr);
  addRow(2, "two", "n");
  addRow(1, "one");
  ASSERT_TRUE(repos->insertTableRows(set_));
  EXPECT_EQ(seedRows(repos), (Rows{"1|one||null", "2|two|n|set"}));

  // Deleting first replaces the rows; otherwise they are added.
  ASSERT_TRUE(repos->insertTableRows(set_));
  EXPECT_EQ(count(repos, "TSSEED"), "4");
  set_.tableDefs[0].deleteExisting = true;
  ASSERT_TRUE(repos->insertTableRows(set_));
  EXPECT_EQ(seedRows(repos), (Rows{"5|one||null", "6|two|n|set"}));
}

TEST_P(SeedRowsTest, FailingRowUndoesTheSetUnlessErrorsAreIgnored) {
  RepositoryImpl* repos = openWithSeedTable();
  ASSERT_NE(repos, nullptr);
  addRow(1, "one");
  addRow(2, nullptr);  // NAME may not be null
  addRow(3, "three");
  EXPECT_FALSE(repos->insertTableRows(set_));
  EXPECT_EQ(count(repos, "TSSEED"), "0");

  set_.ignoreCustomErrors = true;
  EXPECT_TRUE(repos->insertTableRows(set_));
  EXPECT_EQ(rows(repos, "SELECT NAME FROM %s ORDER BY ID", "TSSEED"),
            (Rows{"one", "three"}));
}

// ---------------------------------------------------------------------------
// Id counters

TEST_P(InitialDataTest, CountersRiseToTheHighestIdsInUse) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec(repos, "DELETE FROM %s", "UCURID"));
  ASSERT_TRUE(exec(repos,
                   "INSERT INTO %s (NI_KEY, NI_VAL) VALUES ('RULE', 10), "
                   "('NOSUCHKEY', 7), ('JOB', 30)",
                   "UCURID"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (RU_ID) VALUES (25), (4)", "RULE"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (JOB_ID) VALUES (12)", "JOB"));

  ASSERT_TRUE(repos->repairIdCounters()) << repos->getErrorMessage().asCstr();
  if (isPostgres()) {
    // A server hands out ids itself: its counters are left alone.
    EXPECT_EQ(counter(repos, "RULE"), "10");
    return;
  }
  EXPECT_EQ(counter(repos, "RULE"), "25");
  EXPECT_EQ(counter(repos, "JOB"), "30");
  EXPECT_EQ(counter(repos, "NOSUCHKEY"), "7");
  // Tables in use give their highest ids; empty tables give no counter.
  EXPECT_EQ(counter(repos, "RPTGRP"), "1");
  EXPECT_EQ(counter(repos, "DIMENS"), "6");
  EXPECT_EQ(counter(repos, "NOTCAT"), "0");
  EXPECT_EQ(counter(repos, "MJOB"), "");
}

TEST_P(InitialDataTest, MissingTableIsSkippedByTheRepair) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  if (isPostgres()) GTEST_SKIP() << "the repair does not run on a server";
  ASSERT_TRUE(exec(repos, "DROP TABLE %s", "RULE"));
  ASSERT_TRUE(exec(repos, "INSERT INTO %s (JOB_ID) VALUES (12)", "JOB"));
  LogCapture log;
  ASSERT_TRUE(repos->repairIdCounters()) << repos->getErrorMessage().asCstr();
  EXPECT_TRUE(log.contains("RULE", 2));
  EXPECT_EQ(counter(repos, "JOB"), "12");
}

INSTANTIATE_REPOS_TARGETS(InitialDataTest);
INSTANTIATE_REPOS_TARGETS(SeedRowsTest);

}  // namespace
