// Creating repositories on every back end, directly or through DDL scripts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <sstream>
#include <string>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"
#include "support/admin_targets.h"
#include "support/file_size_limit.h"
#include "support/log_capture.h"
#include "support/repos_content.h"
#include "support/stop_once.h"

namespace {

using Lines = std::vector<std::string>;

std::string readText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The rows of a table as sorted texts, without UUIDs (drawn anew by every
// creation) and counters at 0 (same as missing).
Lines tableRows(ReposDataAccess* rda, const std::string& code) {
  Lines rows;
  ReposDataAccessCursor* cursor = rda->paramSelect(
      "SELECT * FROM " + rda->getTableName(code.c_str(), true, -1) +
          (code == "UCURID" ? " WHERE NI_VAL <> 0" : ""),
      0);
  while (cursor && cursor->next() == 1) {
    std::string row;
    for (int c = 0; c < cursor->getNumCols(); ++c)
      if (cursor->getColName(c).find("UUID") == KvbString::npos)
        row += cursor->getColName(c).str() + "=" + cursor->getString(c).str() +
               ";";
    rows.push_back(row);
  }
  if (cursor) cursor->release();
  std::sort(rows.begin(), rows.end());
  return rows;
}

// What a repository is made of: each table's columns, indexes and number
// of rows, then the rows of INFO, EVENT and UCURID.
Lines describeRepository(RepositoryImpl* repository) {
  ReposDataAccess* rda = repository->getDataAccess();
  Lines out;
  for (const std::string& code : tableCodes(repository)) {
    std::list<TableColumnInfo> columns;
    rda->getTableColumns(code.c_str(), columns);
    for (const TableColumnInfo& c : columns)
      out.push_back(code + " " + c.name.str() + " " + std::to_string(c.type) +
                    " " + std::to_string(c.size) + (c.isKey ? " key" : ""));
    ReposDataAccessCursor* indexes =
        rda->listIndexes(rda->getTableName(code.c_str(), true, -1));
    while (indexes && indexes->next() == 1)
      out.push_back(code + " index " + indexes->getString(0).str() + " " +
                    indexes->getString(1).str());
    if (indexes) indexes->release();
    out.push_back(code + " rows " +
                  std::to_string(tableRows(rda, code).size()));
  }
  for (const char* code : {"INFO", "EVENT", "UCURID"})
    for (const std::string& row : tableRows(rda, code))
      out.push_back(std::string(code) + " " + row);
  std::sort(out.begin(), out.end());
  return out;
}

Lines missingFrom(const Lines& a, const Lines& b) {
  Lines missing;
  std::set_difference(a.begin(), a.end(), b.begin(), b.end(),
                      std::back_inserter(missing));
  return missing;
}

std::string connectionField(const std::string& key) {
  std::stringstream parts(postgresConnectionString());
  std::string part;
  while (std::getline(parts, part, ';')) {
    const size_t eq = part.find('=');
    if (eq != std::string::npos &&
        KvbString(part.substr(0, eq)).equals(key.c_str(), true))
      return part.substr(eq + 1);
  }
  return "";
}

// Runs a script the way an administrator would: the sqlite3 shell on the
// file, or psql on the test server, stopping at the first error.
bool runScriptByHand(const AdminDatabase& db, const std::string& script,
                     const std::string& log) {
  std::string command = "sqlite3 -bail '" + db.file + "' < '" + script + "'";
  if (db.file.empty()) {
    const std::string password = connectionField("Pwd");
    command = (password.empty() ? "" : "PGPASSWORD='" + password + "' ") +
              "psql -X -q -v ON_ERROR_STOP=1 -h " + connectionField("Server") +
              " -p " + connectionField("Port") + " -U " +
              connectionField("Uid") + " -d " + connectionField("Database") +
              " -f '" + script + "'";
  }
  return std::system((command + " > '" + log + "' 2>&1").c_str()) == 0;
}

class StopAtTable : public RepositoryStatusCallback {
 public:
  explicit StopAtTable(const char* code)
      : step_(std::string("Table ") + code) {}
  // Stops at the table's step, counted ("Table X (step k of n)") or not.
  bool reportStatus(const KvbString& text) override {
    return text.str() != step_ && text.str().rfind(step_ + " (", 0) != 0;
  }
  void reportMessage(const KvbString&) override {}

 private:
  std::string step_;
};

TEST(CreatePrefix, MustStartWithALetterBeforeAnythingIsOpened) {
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  // This connection cannot be opened: the prefix is refused first.
  const char* nowhere = "Driver={No Such Driver};";
  for (const char* prefix : {"1kv", "_kv", ".kv", " kv"}) {
    EXPECT_FALSE(admin->createRepository(nowhere, prefix)) << prefix;
    EXPECT_EQ(admin->getErrorMessage().str(), libraryMessage(1303)) << prefix;
  }
  EXPECT_FALSE(admin->createRepository(nowhere, ""));
  EXPECT_NE(admin->getErrorMessage().str(), libraryMessage(1303));
  // A prefix led by a letter that is no plain name is the database
  // layer's to refuse.
  TempDir dir;
  const std::string file =
      "FILE=" + dir.file("x.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  EXPECT_FALSE(admin->createRepository(file.c_str(), "kv\";DROP"));
  EXPECT_FALSE(admin->getErrorMessage().isEmpty());
  admin->release();
}

// A SQLite ODBC connection string without a database file would make the
// driver create a file named after the string in the current folder; it is
// refused before the driver is called.
TEST(CreateConnection, ASqliteDriverWithoutAFileIsRefused) {
  LogCapture log;
  TempDir dir;
  const WorkingFolder inside(dir.path());
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  for (const char* connection :
       {"Driver=SQLite3;Database=", "Driver=SQLite3;"}) {
    EXPECT_FALSE(admin->createRepository(connection, "")) << connection;
    EXPECT_NE(admin->getErrorMessage().find("names no database file"),
              KvbString::npos)
        << admin->getErrorMessage().asCstr();
    EXPECT_EQ(admin->openRepositoryConnection(connection, "", false, nullptr),
              nullptr);
    EXPECT_NE(admin->getErrorMessage().find("names no database file"),
              KvbString::npos)
        << admin->getErrorMessage().asCstr();
  }
  admin->release();
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DdlScript, LineBreakMarks) {
  const std::pair<const char*, const char*> cases[] = {{"--^p", "--\n"},
                                                       {"^p^p", "\n\n"},
                                                       {"a^b^P", "a^b^P"},
                                                       {"end^", "end^"},
                                                       {"^^p", "^\n"}};
  for (const auto& c : cases) {
    KvbString out;
    expandLineBreakMarks(c.first, static_cast<int>(strlen(c.first)) + 1, &out);
    EXPECT_EQ(out.str(), c.second) << c.first;
  }
  KvbString out("x");
  expandLineBreakMarks("", 1, &out);
  EXPECT_TRUE(out.isNull());
  KvbString same("a^pb");  // the text may come from the result string
  expandLineBreakMarks(same.asCstr(), 5, &same);
  EXPECT_EQ(same.str(), "a\nb");
}

class CreateTest : public AdminTargetTest {
 protected:
  // Runs `sql` (with "%S" for the physical name of `code`) on the
  // repository of `db`; -1 when it fails, else the first column of the
  // first row for a query, or 0.
  int run(const AdminDatabase& db, const char* sql, const char* code) {
    RepositoryImpl* repository = open(db);
    if (!repository) return -1;
    ReposDataAccess* rda = repository->getDataAccess();
    const KvbString text =
        kvbStringFormat(sql, rda->getTableName(code, true, -1));
    int value = 0;
    const bool ok = text.startsWith("SELECT")
                        ? rda->paramSingleton(text, &value, 0)
                        : rda->paramExec(text, nullptr, 0);
    repository->release();
    return ok ? value : -1;
  }
  // A counter row no creation makes: was the repository left alone?
  void mark(const AdminDatabase& db) {
    ASSERT_EQ(run(db, "INSERT INTO %S (NI_KEY, NI_VAL) VALUES ('MARK', 42)",
                  "UCURID"),
              0);
  }
  bool isMarked(const AdminDatabase& db) {
    return run(db, "SELECT NI_VAL FROM %S WHERE NI_KEY = 'MARK'", "UCURID") ==
           42;
  }
  // How texts name `db` as create() reaches it: a file by the path the
  // host gave, though the creation reaches it through a connection string
  // of the engine's own.
  std::string placeOf(const AdminDatabase& db) const {
    return isFile() ? "database file \"" + db.file + "\""
                    : shownDatabase(db.connection, db.prefix);
  }
  // The refusal of a creation in `db`, where table `code` showed a
  // repository.
  std::string refusalOver(const AdminDatabase& db, const std::string& code) {
    return libraryMessage(1304) + " The table " + code +
           " exists already in the " + placeOf(db) + ".";
  }
  Lines creationTablesIn(const AdminDatabase& db) {
    RepositoryImpl* repository = openConnection(db);
    if (!repository) return {"not opened: " + error()};
    Lines found;
    for (const std::string& code : tableCodes(repository)) {
      std::list<TableColumnInfo> columns;
      if (repository->getDataAccess()->getTableColumns(code.c_str(), columns))
        found.push_back(code);
    }
    repository->release();
    return found;
  }
};

TEST_P(CreateTest, CreatesACurrentRepositoryThatOpensAgain) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  for (int round = 0; round < 2; ++round) {
    RepositoryImpl* repository = open(db, true);
    ASSERT_NE(repository, nullptr) << error();
    int connectionKind = -1, kind = -1, version = -1, second = -1;
    repository->getVersionInfo(&connectionKind, &kind, &version, &second);
    EXPECT_EQ(connectionKind, isFile() ? 0 : 1);
    EXPECT_EQ(kind, kKindUnified);
    EXPECT_EQ(version, 7);
    EXPECT_TRUE(repository->isCurrentVersion());
    EXPECT_TRUE(repository->isNCOAVersionCurrent());
    EXPECT_FALSE(repository->getRepositoryUUID().isEmpty());
    std::list<TableColumnInfo> columns;
    for (const std::string& code : tableCodes(repository))
      EXPECT_GT(
          repository->getDataAccess()->getTableColumns(code.c_str(), columns),
          0)
          << code;
    repository->release();
  }
}

// Every table of a creation is reported as a counted step, in order, and
// the count is the number of tables the repository has.
TEST_P(CreateTest, CreationReportsEachTableAsAStepOfTheWhole) {
  struct Steps : RepositoryStatusCallback {
    bool reportStatus(const KvbString& text) override {
      if (text.str().rfind("Table ", 0) == 0) texts.push_back(text.str());
      return true;
    }
    void reportMessage(const KvbString&) override {}
    std::vector<std::string> texts;
  } steps;
  const AdminDatabase db = newDatabase();
  admin_->setStatusCallback(&steps);
  const bool created = create(db);
  admin_->setStatusCallback(nullptr);
  ASSERT_TRUE(created) << error();
  RepositoryImpl* repository = openConnection(db);
  ASSERT_NE(repository, nullptr) << error();
  const std::vector<std::string> codes = tableCodes(repository);
  repository->release();
  ASSERT_EQ(steps.texts.size(), codes.size());
  const int n = static_cast<int>(codes.size());
  for (int k = 1; k <= n; ++k)
    EXPECT_EQ(steps.texts[k - 1], kvbStringFormat("Table %s (step %d of %d)",
                                                  codes[k - 1].c_str(), k, n)
                                      .str());
}

TEST_P(CreateTest, RefusesADatabaseThatHoldsARepository) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  mark(db);
  EXPECT_FALSE(create(db));
  const std::string refusal = refusalOver(db, reposCoreColumnDefs[0].tableCode);
  EXPECT_EQ(error(), refusal);
  // Also when the version rows are gone and the database looks empty.
  ASSERT_EQ(run(db, "DROP TABLE %S", "INFO"), 0);
  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  EXPECT_FALSE(repository->isCurrentVersion());
  repository->release();
  EXPECT_FALSE(create(db));
  EXPECT_EQ(error(), refusal);
  EXPECT_TRUE(isMarked(db));
}

// The refusal keeps its message and goes on with the table that showed
// the repository and the database it was found in, in the caller's text
// and in its one record.
TEST_P(CreateTest, ARefusalOverARepositoryIsLoggedOnceWithItsTable) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  LogCapture log;
  const Lines failures = log.failuresDuring([&] { EXPECT_FALSE(create(db)); });
  const std::string refusal = refusalOver(db, reposCoreColumnDefs[0].tableCode);
  EXPECT_EQ(error(), refusal);
  EXPECT_EQ(failures, Lines{refusal});
}

// A creation whose database cannot be reached says that the repository
// could not be created, naming the database as the host gave it, and is
// logged once; it makes neither a file nor a script. Every creation
// operation of the back end is tried.
TEST_P(CreateTest, ADatabaseThatCannotBeReachedFailsTheCreationAsSuch) {
  AdminDatabase db = newDatabase();
  db.file = dir_.file("no-folder") + "/x.db";
  const std::string port1 =
      "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Uid=kv;Pwd=s;";
  db.connection =
      isPostgres() ? port1 : "FILE=" + db.file + ";CREATE=TRUE;KVXTYPE=SQLITE";
  const std::string script = dir_.file("create.sql");
  std::vector<std::function<bool()>> creations = {[&] { return create(db); }};
  if (!isFile())  // a script is written for a connection string only
    creations.push_back([&] {
      return admin_->createRepositoryWithDDLFile(
          db.connection.c_str(), db.prefix.c_str(), script.c_str());
    });
  const std::string failed =
      "The repository in the " + placeOf(db) + " could not be created: ";
  LogCapture log;
  for (size_t i = 0; i < creations.size(); ++i) {
    SCOPED_TRACE("creation " + std::to_string(i));
    const Lines failures =
        log.failuresDuring([&] { EXPECT_FALSE(creations[i]()); });
    EXPECT_EQ(error().rfind(failed, 0), 0u) << error();
    EXPECT_GT(error().size(), failed.size());
    EXPECT_EQ(failures, Lines{error()});
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.file("no-folder")));
  EXPECT_FALSE(std::filesystem::exists(script));
}

// A stop that the host asks for ends the creation at that step, in the
// built-in tables, the NCOA tables or the initial data: the host hears of
// no later step, the creation's transaction leaves nothing behind (nor the
// file it made), and its one failure says who stopped it where.
TEST_P(CreateTest, AStopEndsTheCreationAtOnceAndLeavesNothing) {
  const std::string ncoaTable =
      std::string("Table ") + reposNcoaColumnDefs[0].tableCode + " ";
  for (const std::string& step :
       {std::string("Table JOB "), ncoaTable,
        std::string("Installing initial Profile data")}) {
    SCOPED_TRACE(step);
    StopOnce stop(step);
    admin_->setStatusCallback(&stop);
    const AdminDatabase db = newDatabase();
    LogCapture log;
    const Lines failures =
        log.failuresDuring([&] { EXPECT_FALSE(create(db)); });
    admin_->setStatusCallback(nullptr);
    ASSERT_EQ(stop.stoppedAt.rfind(step, 0), 0u) << stop.stoppedAt;
    const std::string stopped =
        "The status callback stopped the creation at \"" + stop.stoppedAt +
        "\"";
    EXPECT_EQ(error(), stopped);
    EXPECT_EQ(failures, Lines{stopped});
    EXPECT_EQ(stop.stepsAfter, 0);
    if (isFile())
      EXPECT_FALSE(std::filesystem::exists(db.file));
    else
      EXPECT_EQ(creationTablesIn(db), Lines{});
  }
}

TEST_P(CreateTest, RefusesADatabaseThatHoldsOnlyATableOfATableSet) {
  const AdminDatabase db = newDatabase();
  RepositoryImpl* repository = openConnection(db);
  ASSERT_NE(repository, nullptr) << error();
  const std::string code =
      repository->getTableSet(0)->tableDefs.front().name.str();
  ASSERT_TRUE(repository->getDataAccess()->createTable(
      code.c_str(), {{"ID", kvbTypeInt, 0, false}}));
  repository->release();
  ASSERT_EQ(run(db, "INSERT INTO %S (ID) VALUES (7)", code.c_str()), 0);
  EXPECT_FALSE(create(db));
  EXPECT_EQ(error(), refusalOver(db, code));
  EXPECT_EQ(run(db, "SELECT ID FROM %S", code.c_str()), 7);
}

// A database whose catalogue cannot be read (here by a role without rights
// on the repository's schema) is not taken for an empty one: the creation
// stops before its first table, with the reason.
TEST_P(CreateTest, RefusesADatabaseWhoseCatalogueCannotBeRead) {
  if (!isPostgres())
    GTEST_SKIP() << "a SQLite file whose schema cannot be read does not open";
  LogCapture log;
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  mark(db);
  const std::string withoutRights = connectionWithoutRights();
  if (withoutRights.empty()) GTEST_SKIP() << "the server lets no new role in";
  EXPECT_FALSE(
      admin_->createRepository(withoutRights.c_str(), db.prefix.c_str()));
  EXPECT_EQ(error().rfind("The tables of the database cannot be listed: ", 0),
            0u)
      << error();
  EXPECT_NE(error().find("permission denied"), std::string::npos) << error();
  EXPECT_TRUE(isMarked(db));
}

TEST_P(CreateTest, CreateTablesWithDefaultOptionsDropsNothing) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  mark(db);
  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  EXPECT_TRUE(repository->getDataAccess()->createTables(TableCreateOptions()));
  repository->release();
  EXPECT_TRUE(isMarked(db));
}

// A creation that fails part-way, at a built-in table or at a table set's
// statement before its tables, leaves no table of its own behind and the
// database's other tables as they were. A SQLite file that the failed
// creation itself made is removed, one that existed before is kept.
TEST_P(CreateTest, FailedCreationLeavesTheDatabaseAsItWas) {
  TempDir failingSets;
  std::ofstream(failingSets.file("strict.xml"))
      << R"(<velmorandocument class="ReposTableCreateSpec">
<tableset name="STRICT" version="1"><table name="TSSTRICT">
<column name="A" type="integer"/></table><precreate><statement>
<sql>INSERT INTO $$NOSUCHTABLE$$ VALUES (1)</sql></statement></precreate>
</tableset></velmorandocument>)";
  StopAtTable stopAtNcoa(reposNcoaColumnDefs[0].tableCode);
  const std::function<void()> failures[] = {
      [&] { admin_->setStatusCallback(&stopAtNcoa); },
      [&] {
        admin_->setStatusCallback(nullptr);
        kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                     failingSets.path().c_str());
      }};
  for (const auto& arrangeFailure : failures) {
    const AdminDatabase db = newDatabase();
    RepositoryImpl* repository = openConnection(db);
    ASSERT_NE(repository, nullptr) << error();
    ASSERT_TRUE(repository->getDataAccess()->createTable(
        "OTHER", {{"A", kvbTypeInt, 0, false}}));
    repository->release();
    ASSERT_EQ(run(db, "INSERT INTO %S (A) VALUES (5)", "OTHER"), 0);
    arrangeFailure();
    EXPECT_FALSE(create(db));
    EXPECT_FALSE(error().empty());
    EXPECT_EQ(creationTablesIn(db), Lines{});
    EXPECT_EQ(run(db, "SELECT A FROM %S", "OTHER"), 5);
    if (!isFile()) continue;
    const AdminDatabase fresh = newDatabase();
    EXPECT_FALSE(create(fresh));
    EXPECT_FALSE(std::filesystem::exists(fresh.file));
    std::ofstream(fresh.file).flush();  // empty, but the host's
    EXPECT_FALSE(create(fresh));
    EXPECT_TRUE(std::filesystem::exists(fresh.file));
  }
}

// Failures that a table set ignores, a statement and a seed row, cost only
// themselves: the creation's one transaction goes on and the repository
// opens as current. The server connection is told to leave a failed
// statement's transaction as the server does (aborted, until rolled back),
// not to protect each statement itself.
TEST_P(CreateTest, FailuresATableSetIgnoresLeaveTheCreationWhole) {
  TempDir sets;
  std::ofstream(sets.file("tolerant.xml"))
      << R"(<velmorandocument class="ReposTableCreateSpec">
<tableset name="TOLERANT" version="1" ignorecustomerrors="true">
<table name="TSTOL"><column name="A" type="integer"/>
<column name="B" type="text" length="8" nullable="false"/>
<row number="1"><value column="A">1</value></row>
<row number="2"><value column="A">2</value><value column="B">kept</value></row></table>
<precreate><statement><sql>INSERT INTO $$NOSUCHTABLE$$ VALUES (1)</sql>
</statement></precreate></tableset></velmorandocument>)";
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH", sets.path().c_str());
  LogCapture log;  // the ignored failures are logged
  AdminDatabase db = newDatabase();
  if (isPostgres())
    db.connection += (db.connection.back() == ';' ? "" : ";") +
                     std::string("Protocol=7.4-0");
  ASSERT_TRUE(create(db)) << error();
  RepositoryImpl* repository = open(db, true);
  ASSERT_NE(repository, nullptr) << error();
  EXPECT_TRUE(repository->isCurrentVersion());
  repository->release();
  EXPECT_EQ(run(db, "SELECT A FROM %S", "TSTOL"), 2);
}

TEST_P(CreateTest, ASecondPrefixMakesASecondRepository) {
  if (isFile()) GTEST_SKIP() << "a repository file takes no prefix";
  AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  mark(db);
  db.prefix = db.prefix.substr(0, db.prefix.find('.') + 1) + "two";
  ASSERT_TRUE(create(db)) << error();
  EXPECT_FALSE(isMarked(db));
}

// Creations on back ends that name types differently, one after the other
// in one process, each get their own back end's types and names.
TEST_P(CreateTest, EachBackEndGetsItsOwnColumnTypes) {
  if (!isPostgres()) GTEST_SKIP() << "compares a file with the server";
  const ReposColumnDef* real = reposCoreColumnDefs;
  while (isEndRecord(*real) || real->type != kvbTypeReal) ++real;
  AdminDatabase db = newDatabase();
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(admin_->createFileRepository(
        dir_.file("file" + std::to_string(round) + ".db").c_str()))
        << error();
    ASSERT_TRUE(create(db)) << error();
    RepositoryImpl* repository = open(db);
    ASSERT_NE(repository, nullptr) << error();
    ReposDataAccess* rda = repository->getDataAccess();
    const KvbDatavar values[] = {
        KvbDatavar(rda->getSchemaName()),
        KvbDatavar(rda->getTableName(real->tableCode, false, -1)
                       .substr(rda->getSchemaName().length() + 1)),
        KvbDatavar(real->columnName)};
    ReposDataAccessCursor* type = rda->paramSelect(
        "SELECT data_type FROM information_schema.columns WHERE "
        "LOWER(table_schema)=LOWER(?) AND LOWER(table_name)=LOWER(?) AND "
        "LOWER(column_name)=LOWER(?)",
        3, &values[0], &values[1], &values[2]);
    ASSERT_NE(type, nullptr) << rda->getErrorMessage().str();
    ASSERT_EQ(type->next(), 1) << real->tableCode;
    EXPECT_EQ(type->getString(0).str(), "double precision");
    type->release();
    repository->release();
    db.prefix = db.prefix.substr(0, db.prefix.find('.') + 1) + "two";
  }
}

INSTANTIATE_ADMIN_TARGETS(CreateTest);

class DdlScriptTest : public AdminTargetTest {
 protected:
  void TearDown() override {
    kvbGetConfigOptions("")->remove("BASE/REPOS_DDL_LINE_PREFIX");
    kvbGetConfigOptions("")->remove("BASE/REPOS_DDL_LINE_SUFFIX");
    AdminTargetTest::TearDown();
  }
  bool writeScript(const AdminDatabase& db, const std::string& script) {
    return admin_->createRepositoryWithDDLFile(
        db.connection.c_str(), db.prefix.c_str(), script.c_str());
  }
};

TEST_P(DdlScriptTest, ScriptRunByHandGivesTheSameRepository) {
  const AdminDatabase byScript = newDatabase();
  const std::string script = dir_.file("create.sql");
  kvbGetConfigOptions("")->set("BASE/REPOS_DDL_LINE_PREFIX", "--^p");
  kvbGetConfigOptions("")->set("BASE/REPOS_DDL_LINE_SUFFIX", ";^p");
  ASSERT_TRUE(writeScript(byScript, script)) << error();
  const std::string text = readText(script);
  EXPECT_EQ(text.substr(0, 3), "--\n");
  EXPECT_EQ(text.substr(text.size() - 3), ";\n\n");

  // Writing the script changed nothing in the database.
  RepositoryImpl* repository = openConnection(byScript);
  ASSERT_NE(repository, nullptr) << error();
  std::list<TableColumnInfo> columns;
  EXPECT_EQ(repository->getDataAccess()->getTableColumns("INFO", columns), 0);
  repository->release();

  const std::string log = dir_.file("script.log");
  ASSERT_TRUE(runScriptByHand(byScript, script, log)) << readText(log);
  const AdminDatabase direct = newDatabase();
  ASSERT_TRUE(create(direct)) << error();
  RepositoryImpl* fromScript = openConnection(byScript, true);
  ASSERT_NE(fromScript, nullptr) << error();
  RepositoryImpl* created = openConnection(direct, true);
  ASSERT_NE(created, nullptr) << error();
  const Lines expected = describeRepository(created);
  const Lines actual = describeRepository(fromScript);
  EXPECT_GT(expected.size(), 1000u);
  EXPECT_EQ(missingFrom(expected, actual), Lines{})
      << "lacking in the script's";
  EXPECT_EQ(missingFrom(actual, expected), Lines{}) << "extra in the script's";
  fromScript->release();
  created->release();
}

TEST_P(DdlScriptTest, ScriptIsWrittenAlsoOverARepository) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  const std::string script = dir_.file("again.sql");
  ASSERT_TRUE(writeScript(db, script)) << error();
  // Without configured marks each statement is one line ended by ";".
  const std::string text = readText(script);
  EXPECT_EQ(text.substr(0, 13), "CREATE TABLE ");
  EXPECT_EQ(text.find("\n\n"), std::string::npos);
  size_t lines = 0, terminated = 0;
  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; ++at) {
    ++lines;
    if (at > 0 && text[at - 1] == ';') ++terminated;
  }
  EXPECT_GT(lines, 100u);
  EXPECT_EQ(terminated, lines);
}

TEST_P(DdlScriptTest, ScriptThatCannotBeWrittenFailsTheCreation) {
  const AdminDatabase db = newDatabase();
  const std::string missing = dir_.file("no/such/folder/script.sql");
  EXPECT_FALSE(writeScript(db, missing));
  EXPECT_NE(error().find(missing), std::string::npos);
  // A device that takes no data: the script would be cut short.
  EXPECT_FALSE(writeScript(db, "/dev/full"));
  EXPECT_FALSE(error().empty());
}

INSTANTIATE_ADMIN_TARGETS(DdlScriptTest);

// A script that cannot be written whole (here no file may grow beyond 4000
// bytes) fails the creation and leaves an older script as it was.
TEST(DdlScriptFile, ScriptThatFailsPartWayLeavesTheOlderScript) {
  TempDir dir;
  const std::string script = dir.file("create.sql");
  std::ofstream(script) << "older script";
  const std::string connection =
      "FILE=" + dir.file("repos.db") + ";CREATE=TRUE;KVXTYPE=SQLITE";
  EXPECT_EQ(runWithFileSizeLimit(
                4000,
                [&] {
                  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
                  const bool written = admin->createRepositoryWithDDLFile(
                      connection.c_str(), "", script.c_str());
                  admin->release();
                  return written ? 1 : 0;
                }),
            0);
  EXPECT_EQ(readText(script), "older script");
  Lines files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    files.push_back(entry.path().filename().string());
  EXPECT_EQ(sortedRows(files), (Lines{"create.sql", "repos.db"}));
}

}  // namespace
