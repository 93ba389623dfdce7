// The first rows of a repository on every back end.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "schema/repos_tables_xml.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

class InitialDataTest : public ReposImplTest {
 protected:
  RepositoryImpl* openCreated(RepositoryStatusCallback* status = nullptr) {
    RepositoryImpl* repos = open(status);
    if (!repos) return nullptr;
    const ::testing::AssertionResult made = create(repos);
    EXPECT_TRUE(made);
    return made ? repos : nullptr;
  }
  // The rows of "SELECT <what> FROM <table> <rest>", joined by ",".
  std::string select(RepositoryImpl* repos, const char* code,
                     const std::string& what, const std::string& rest = "") {
    std::string out;
    const std::string sql = "SELECT " + what + " FROM %s " + rest;
    for (const std::string& r : rows(repos, sql.c_str(), code))
      out += (out.empty() ? "" : ",") + r;
    return out;
  }
};

TEST_P(InitialDataTest, LookupRowsAreReplacedWholeAndProfileRowsKept) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  auto lookups = [&] {
    return select(repos, "EVENT", "EV_CODE, EV_ISDEF", "ORDER BY 1") + ";" +
           select(repos, "EXPRTP", "PR_NAME, COUNT(*)",
                  "GROUP BY 1 ORDER BY 1");
  };
  const std::string expected =
      "EMAIL|N,EXEC|N,FLOWCONF|N,FLOWJOB|N,FLOWSMITH|N,FLOWSVC|N,LOGFILE|N,"
      "LOGREPOS|Y,PROFILE|N,RAISEEVENT|N,TABLEWRITE|N;REASON|7,STATUS|3";
  EXPECT_EQ(lookups(), expected);
  const std::string oldEvent = "INSERT INTO " + table("EVENT") +
                               " (EV_CODE, EV_DESC, EV_ISDEF) VALUES ('OLD', "
                               "'', 'N')";
  ASSERT_TRUE(exec(oldEvent));
  ASSERT_TRUE(repos->installInitialMonitorData())
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(lookups(), expected);

  EXPECT_EQ(select(repos, "NOTCAT", "NCAT_ID, NCAT_DSC"), "0|General");
  EXPECT_EQ(select(repos, "FOLDER", "FLDR_ID, FLDR_NAM, NAM_NORM",
                   "WHERE FLDR_PAR IS NULL"),
            "0|Profiling Reports|profiling reports");
  ASSERT_TRUE(repos->installInitialProfileData())
      << repos->getErrorMessage().asCstr();
  for (const char* code : {"NOTCAT", "FOLDER"}) EXPECT_EQ(count(code), 1);

  // EXPRTP lacks its columns: the replaced EVENT rows come back.
  ASSERT_TRUE(exec(oldEvent));
  ASSERT_TRUE(exec("DROP TABLE " + table("EXPRTP")));
  ASSERT_TRUE(exec("CREATE TABLE " + table("EXPRTP") + " (OTHER INTEGER)"));
  EXPECT_FALSE(repos->installInitialMonitorData());
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_EQ(count("EVENT"), 12);
}

TEST_P(InitialDataTest, StopRequestWritesNoProfileRow) {
  RecordingStatus status;
  status.stopAt = "Installing initial Profile data";
  RepositoryImpl* repos = openBare(&status);
  ASSERT_NE(repos, nullptr);
  EXPECT_FALSE(repos->installInitialProfileData());
  EXPECT_FALSE(repos->installInitialData());
  for (const char* code : {"NOTCAT", "INFO"}) EXPECT_EQ(count(code), 0);
}

TEST_P(InitialDataTest, NewRepositoryHasTheDashboardDefaults) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  auto counters = [&] {
    return select(repos, "UCURID", "NI_KEY, NI_VAL",
                  "WHERE NI_KEY IN ('DIMENS', 'RPTGRP', 'THRHLD') ORDER BY 1");
  };
  EXPECT_EQ(counters(), "DIMENS|6,RPTGRP|1,THRHLD|1");
  // A second run finds everything in place and adds nothing.
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(counters(), "DIMENS|6,RPTGRP|1,THRHLD|1");
  EXPECT_EQ(select(repos, "RPTGRP",
                   "GRP_ID, GRP_NAME, INTNUM, INTLEN, THR_ID, FLDR_ID"),
            "1|Default|7|24|1|0");
  EXPECT_EQ(select(repos, "DIMENS", "DIM_NAME", "ORDER BY DIM_ID"),
            "Accuracy,Consistency,Structure,Integrity,Validity,Completeness");
  EXPECT_EQ(count("DIMENS", "UUID IS NULL OR FLDR_ID <> 0"), 0);
  EXPECT_EQ(count("DIMGRP", "GRP_ID = 1 AND THR_ID = 1 AND WGHT = 1"), 6);
  EXPECT_EQ(select(repos, "THRHLD",
                   "THR_ID, NAME_0, NAME_2, COLOR_0, COLOR_1, COLOR_2"),
            "1|Low|High|1|3|4");
  EXPECT_EQ(count("THRHLD",
                  "START_0 = 0.1 AND END_0 = 90 AND START_1 = "
                  "90.1 AND END_1 = 98 AND START_2 = 98.1 AND END_2 = 100.1"),
            1);

  // Only a new "Accuracy" raises the dimension counter, in its existing row.
  ASSERT_TRUE(exec("UPDATE " + table("UCURID") +
                   " SET NI_VAL = 0 WHERE NI_KEY = 'DIMENS'"));
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(counters(), "DIMENS|0,RPTGRP|1,THRHLD|1");
  ASSERT_TRUE(exec("DELETE FROM " + table("DIMENS") + " WHERE DIM_ID = 1"));
  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(counters(), "DIMENS|1,RPTGRP|1,THRHLD|1");
  EXPECT_EQ(select(repos, "DIMENS", "DIM_NAME", "WHERE DIM_ID = 1"),
            "Accuracy");
}

TEST_P(InitialDataTest, OlderDashboardRowsArePointedAtTheDefaults) {
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  for (const auto& [code, rest] :
       {std::pair{"RPTGRP",
                  " (GRP_ID, GRP_NAME, GRP_DESC) VALUES (1, 'Own', 'Mine'), "
                  "(2, 'B', NULL)"},
        {"DIMENS", " (DIM_ID, DIM_NAME) VALUES (1, 'Default')"},
        {"THRHLD",
         " (THR_ID, THR_NAME, NAME_0, START_0, NAME_3, START_3) VALUES (1, "
         "'Mine', 'Odd', 5, 'Keep', 7)"},
        {"EXEC", " (EX_ID, GRP_ID) VALUES (1, NULL)"},
        {"JBRUME",
         " (JB_ID, RU_ID, DIM_ID, THR_ID) VALUES (1, 1, NULL, NULL)"}})
    ASSERT_TRUE(exec("INSERT INTO " + table(code) + rest));

  ASSERT_TRUE(repos->ensureDashboardDefaults())
      << repos->getErrorMessage().asCstr();
  EXPECT_EQ(select(repos, "RPTGRP", "GRP_NAME, GRP_DESC", "WHERE GRP_ID = 1"),
            "Own|Default dashboard");
  EXPECT_EQ(count("RPTGRP", "THR_ID IS NULL"), 0);
  EXPECT_EQ(select(repos, "DIMENS", "DIM_NAME", "WHERE DIM_ID = 1"),
            "Accuracy");
  EXPECT_EQ(count("DIMGRP"), 12);  // every dimension in both groups
  EXPECT_EQ(select(repos, "THRHLD", "THR_NAME, NAME_0, NAME_2, NAME_3"),
            "Mine|Low|High|Keep");
  EXPECT_EQ(count("THRHLD", "START_0 = 0.1 AND START_3 = 7"), 1);
  EXPECT_EQ(select(repos, "EXEC", "GRP_ID"), "1");
  EXPECT_EQ(select(repos, "JBRUME", "DIM_ID, THR_ID"), "1|1");

  ASSERT_TRUE(repos->ensureDashboardDefaults());
  EXPECT_EQ(count("DIMGRP"), 12);
}

TEST_P(InitialDataTest, FailureHalfwayLeavesNoDashboardRow) {
  RecordingStatus status;
  RepositoryImpl* repos = openBare(&status);
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec("DROP TABLE " + table("DIMGRP")));
  EXPECT_FALSE(repos->ensureDashboardDefaults());
  EXPECT_FALSE(repos->getErrorMessage().isEmpty());
  EXPECT_TRUE(status.sawMessage(repos->getErrorMessage().asCstr()));
  EXPECT_TRUE(status.sawMessage("INSERT INTO"));
  for (const char* code : {"RPTGRP", "DIMENS", "UCURID"})
    EXPECT_EQ(count(code), 0) << code;
}

// Whichever statement fails, the defaults leave no row behind; each table
// is moved away for one try and put back.
TEST_P(InitialDataTest, AFailureAtAnyTableLeavesNoDashboardRow) {
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  for (const char* code : {"RPTGRP", "UCURID", "DIMENS", "THRHLD"}) {
    const std::string physical = table(code);
    const size_t dot = physical.rfind('.');  // npos + 1: no schema
    const std::string away = std::string(code) + "_AWAY";
    ASSERT_TRUE(exec("ALTER TABLE " + physical + " RENAME TO " + away));
    EXPECT_FALSE(repos->ensureDashboardDefaults()) << code;
    EXPECT_FALSE(repos->getErrorMessage().isEmpty()) << code;
    ASSERT_TRUE(exec("ALTER TABLE " + physical.substr(0, dot + 1) + away +
                     " RENAME TO " + physical.substr(dot + 1)));
    for (const char* written : {"RPTGRP", "DIMENS", "DIMGRP", "THRHLD"})
      EXPECT_EQ(count(written), 0) << code << " moved away, " << written;
  }
  EXPECT_TRUE(repos->ensureDashboardDefaults())
      << repos->getErrorMessage().asCstr();
}

TEST_P(InitialDataTest, ScriptModeLooksNothingUpAndWritesOnlyToTheScript) {
  struct Script : ReposDDLCallback {
    bool writeStatement(const KvbString&) override { return ++written > 0; }
    size_t written = 0;
  } script;
  RepositoryImpl* repos = openBare();
  ASSERT_NE(repos, nullptr);
  // An existing row would be found by a lookup; the script ignores it.
  ASSERT_TRUE(exec("INSERT INTO " + table("RPTGRP") +
                   " (GRP_ID, GRP_NAME) VALUES (1, 'Own')"));
  ASSERT_TRUE(repos->setDDLCallback(&script));
  EXPECT_TRUE(repos->ensureDashboardDefaults())
      << repos->getErrorMessage().asCstr();
  const size_t before = script.written;
  EXPECT_GT(before, 20u);
  EXPECT_TRUE(repos->repairIdCounters());  // nothing to repair in a new one
  EXPECT_EQ(script.written, before);
  ASSERT_TRUE(repos->setDDLCallback(nullptr));
  EXPECT_EQ(select(repos, "RPTGRP", "GRP_NAME"), "Own");
  for (const char* code : {"DIMENS", "UCURID"}) EXPECT_EQ(count(code), 0);
}

// Macros expand only their own references, and only once.
TEST_P(InitialDataTest,
       TableSetStatementsExpandMarkersAndMacrosAndLogFailures) {
  RecordingStatus status;
  RepositoryImpl* repos = openCreated(&status);
  ASSERT_NE(repos, nullptr);
  ReposTableSet set;
  set.macros = {{"A", "a"}, {"B", "b"}, {"SELF", "%%SELF%%!"}};
  auto run = [&](const std::string& sql,
                 std::vector<ReposStatementParam> params = {}) {
    return repos->runTableSetStatement({sql.c_str(), std::move(params)}, set);
  };
  auto value = [&](const std::string& key) {
    return select(repos, "KEYVAL", "V_VALUE", "WHERE V_KEY = '" + key + "'");
  };
  ASSERT_TRUE(run("DELETE FROM $$FOLDER$$"));
  EXPECT_EQ(count("FOLDER"), 0);
  EXPECT_TRUE(status.sawMessage(
      "DELETE FROM " +
      repos->getDataAccess()->getTableName("FOLDER", true, -1).str()));
  // Unquoted names, plain names and bound values.
  ASSERT_TRUE(run("INSERT INTO ##KEYVAL## (&&V_KEY&&, V_VALUE) VALUES (?, ?)",
                  {{{}, kvbTypeString, 40, KvbDatavar("plain")},
                   {{}, kvbTypeString, 40, KvbDatavar("bound")}}));
  EXPECT_EQ(value("plain"), "bound");
  const char* const cases[][3] = {
      {"text", "$$not a name$$ ##x y##", "$$not a name$$ ##x y##"},
      {"order", "%%B%%|%%C%%|%%A%%", "b|%%C%%|a"},
      {"open", "%%A%%|%%A", "a|%%A"},
      {"self", "%%SELF%%", "%%SELF%%!"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(run(std::string("INSERT INTO $$KEYVAL$$ VALUES ('") + c[0] +
                    "', '" + c[1] + "')"));
    EXPECT_EQ(value(c[0]), c[2]);
  }

  // A failing statement is logged as an error and passes only when ignored.
  LogCapture log;
  EXPECT_FALSE(run("UPDATE $$NOSUCH$$ SET A = 1"));
  set.ignoreCustomErrors = true;
  EXPECT_TRUE(run("UPDATE $$NOSUCH$$ SET A = 1"));
  int errors = 0;
  for (const CapturedLog& r : log.records()) errors += r.level == 5;
  EXPECT_EQ(errors, 2);
}

// A failing row undoes the whole set, deletion included.
TEST_P(InitialDataTest, SeedRowsTakeIdsAndFailuresUndoTheSet) {
  writeTableSets("seed.xml",
                 "<tableset name=\"SEED\" version=\"1\"><table name=\"TSSEED\">"
                 "<column name=\"ID\" type=\"integer\" primarykey=\"true\"/>"
                 "<column name=\"NAME\" type=\"text\" length=\"20\" "
                 "nullable=\"false\"/><column name=\"NOTE\" type=\"text\" "
                 "length=\"20\"/></table></tableset>\n");
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  ReposTableSet set = *repos->getTableSet(0);
  ReposTableDef& table = set.tableDefs[0];
  auto add = [&](int number, const char* name, const char* note = nullptr) {
    ReposTableRow& row = table.rows[number] = ReposTableRow();
    row.keyColumn = "ID";
    if (name) row.values["NAME"] = KvbDatavar(name);
    if (note) row.values["NOTE"] = KvbDatavar(note);
  };
  add(2, "two", "n");
  add(1, "one");
  const char* all =
      "ID, NAME, NOTE, CASE WHEN NOTE IS NULL THEN 'null' ELSE 'set' END";
  ASSERT_TRUE(repos->insertTableRows(set));
  EXPECT_EQ(select(repos, "TSSEED", all, "ORDER BY ID"),
            "1|one||null,2|two|n|set");
  // Deleting first replaces the rows; otherwise they are added.
  ASSERT_TRUE(repos->insertTableRows(set));
  EXPECT_EQ(count("TSSEED"), 4);
  table.deleteExisting = true;
  ASSERT_TRUE(repos->insertTableRows(set));
  EXPECT_EQ(select(repos, "TSSEED", all, "ORDER BY ID"),
            "5|one||null,6|two|n|set");

  add(2, nullptr, "n");  // NAME may not be null
  add(3, "three");
  EXPECT_FALSE(repos->insertTableRows(set));
  EXPECT_EQ(select(repos, "TSSEED", "NAME", "ORDER BY ID"), "one,two");
  set.ignoreCustomErrors = true;
  if (isPostgres() && postgresFailuresEndTransactions()) {
    // This driver mode rolls the set's whole transaction back at the failed
    // row, so no row can be left out alone: the set fails as a whole, at
    // its commit, with the lost transaction's reason.
    EXPECT_FALSE(repos->insertTableRows(set));
    const std::string text = repos->getErrorMessage().str();
    const std::string commit = "The transaction could not be committed: ";
    EXPECT_EQ(text.rfind(commit, 0), 0u) << text;
    EXPECT_TRUE(isRolledBackByTheDatabase(text.substr(commit.size()))) << text;
    EXPECT_EQ(select(repos, "TSSEED", "NAME", "ORDER BY ID"), "one,two");
  } else {
    EXPECT_TRUE(repos->insertTableRows(set));
    EXPECT_EQ(select(repos, "TSSEED", "NAME", "ORDER BY ID"), "one,three");
  }
}

TEST_P(InitialDataTest, CountersRiseToTheHighestIdsInUse) {
  RepositoryImpl* repos = openCreated();
  ASSERT_NE(repos, nullptr);
  ASSERT_TRUE(exec("DELETE FROM " + table("UCURID")));
  ASSERT_TRUE(exec("INSERT INTO " + table("UCURID") +
                   " (NI_KEY, NI_VAL) VALUES ('JOB', 10), ('RPTGRP', 30), "
                   "('RULE', 7), ('NOSUCHKEY', 7)"));
  ASSERT_TRUE(
      exec("INSERT INTO " + table("JOB") + " (JOB_ID) VALUES (25), (4)"));
  // A table missing from an older repository is skipped, not a failure.
  ASSERT_TRUE(exec("DROP TABLE " + table("RULE")));
  LogCapture log;
  ASSERT_TRUE(repos->repairIdCounters()) << repos->getErrorMessage().asCstr();
  EXPECT_TRUE(isPostgres() || log.contains("RULE", 2));
  // Raised, never lowered, kept without a table; tables in use give their
  // highest ids (0 included); empty tables give no counter. A server hands
  // out ids itself: its counters are left alone.
  EXPECT_EQ(select(repos, "UCURID", "NI_KEY, NI_VAL",
                   "WHERE NI_KEY IN ('JOB', 'RPTGRP', 'RULE', 'NOSUCHKEY', "
                   "'DIMENS', 'NOTCAT', 'MJOB') ORDER BY NI_KEY"),
            isPostgres()
                ? "JOB|10,NOSUCHKEY|7,RPTGRP|30,RULE|7"
                : "DIMENS|6,JOB|25,NOSUCHKEY|7,NOTCAT|0,RPTGRP|30,RULE|7");
}

INSTANTIATE_REPOS_TARGETS(InitialDataTest);

}  // namespace
