// Dropping a repository's tables on every back end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "rda/rda_factory.h"
#include "reposadmin/profile_data_access.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"
#include "support/repos_impl_targets.h"

namespace {

class DropTest : public AdminTargetTest {
 protected:
  // The schema of `db` on PostgreSQL ("" for a SQLite file), and the
  // qualifier of a table of the host's own in it.
  static std::string schemaOf(const AdminDatabase& db) {
    return db.prefix.substr(0, db.prefix.find('.'));
  }
  std::string foreignTable(const AdminDatabase& db, const char* name) {
    return (isPostgres() ? schemaOf(db) + "." : std::string()) + name;
  }
  // A connection to `db`, on which the test works around the engine; null,
  // with the reason as a failure, when it does not open.
  static ReposDataAccess* connect(const AdminDatabase& db) {
    KvbString openError;
    ReposDataAccess* rda = createReposDataAccess(
        0, db.connection.c_str(), db.prefix.c_str(), nullptr, openError);
    EXPECT_NE(rda, nullptr) << openError.asCstr();
    return rda;
  }
  // A table's name without its schema.
  static std::string lastPart(const std::string& name) {
    return name.substr(name.rfind('.') + 1);
  }
  // The names of the tables in the schema of `db`, sorted.
  std::vector<std::string> tablesOf(ReposDataAccess* rda,
                                    const AdminDatabase& db) {
    const KvbDatavar schemaName(schemaOf(db).c_str());
    return sortedRows(cursorRows(
        isPostgres()
            ? rda->paramSelect(
                  "SELECT table_name FROM information_schema.tables "
                  "WHERE table_schema = ?",
                  1, &schemaName)
            : rda->paramSelect(
                  "SELECT name FROM sqlite_master WHERE type = 'table'", 0)));
  }
};

TEST_P(DropTest, DropLeavesOnlyTheTablesOfOthers) {
  LogCapture log;
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  ReposDataAccess* rda = connect(db);
  ASSERT_NE(rda, nullptr);
  std::vector<std::string> statements = {
      "INSERT INTO " + rda->getTableName("FLD", true, -1).str() +
          " (FLD_ID) VALUES (1), (3)",
      "INSERT INTO " + rda->getTableName("HGMETA", true, -1).str() +
          " (HGM_ID) VALUES (2)",
      "CREATE TABLE " + foreignTable(db, "customers") + " (id INTEGER)",
      "CREATE TABLE " + foreignTable(db, "kvextra") + " (id INTEGER)"};
  for (const char* code :
       {"FRQDST1", "FRQDST3", "HSM2", "HCM2", "CURID", "MCURID"})
    statements.push_back("CREATE TABLE " +
                         rda->getTableName(code, true, -1).str() +
                         " (id INTEGER)");
  for (const std::string& sql : statements)
    EXPECT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;

  EXPECT_TRUE(
      admin_->deleteRepositoryTables(db.connection.c_str(), db.prefix.c_str()))
      << error();
  EXPECT_EQ(tablesOf(rda, db),
            (std::vector<std::string>{"customers", "kvextra"}));
  rda->release();
}

// A drop finds the per-id tables of its prefix in the catalogue, with or
// without the rows that name their ids, and leaves every other name: near
// misses under the prefix, another prefix that begins like it (or matches
// it as a LIKE pattern, "_" being a wildcard there), and on PostgreSQL the
// same prefix in another schema. A frequency load makes the table of a
// field that no row names; after the drop the same load works again.
TEST_P(DropTest, EveryPerIdTableOfThePrefixGoesAndNoOtherName) {
  LogCapture log;
  AdminDatabase db = newDatabase();
  if (!isFile()) db.prefix = (isPostgres() ? schemaOf(db) + "." : "") + "dq_";
  ASSERT_TRUE(create(db)) << error();
  auto loadUnlistedField = [&] {
    RepositoryImpl* repository = open(db);
    if (!repository) return ::testing::AssertionFailure() << error();
    ProfileRepositoryDataAccess* profile =
        repository->createProfileDataAccess();
    const bool loaded = profile->beginFrequencyLoad(99999, false, 0) &&
                        profile->addFrequencyRow(99999, "v", "M", 1) &&
                        profile->endFrequencyLoad(99999);
    const std::string text = profile->getErrorMessage().str();
    profile->release();
    repository->release();
    return loaded ? ::testing::AssertionSuccess()
                  : ::testing::AssertionFailure() << text;
  };
  ASSERT_TRUE(loadUnlistedField());
  ReposDataAccess* rda = connect(db);
  ASSERT_NE(rda, nullptr);
  // Names after the prefix, and whether the drop takes them.
  const std::vector<std::pair<const char*, bool>> underPrefix = {
      {"FRQDST1", true},   {"HSM2", true},   {"HCM2", true},
      {"HSM7", true},      {"HCM0", true},   {"FRQDST2147483647", true},
      {"FRQDST07", false}, {"HSM", false},   {"FRQDST1X", false},
      {"XHCM3", false},    {"HCM04", false}, {"FRQDST2147483648", false}};
  std::vector<std::string> statements = {
      "INSERT INTO " + rda->getTableName("FLD", true, -1).str() +
          " (FLD_ID) VALUES (1)",
      "INSERT INTO " + rda->getTableName("HGMETA", true, -1).str() +
          " (HGM_ID) VALUES (2)"};
  // Names in lower case, as PostgreSQL folds them.
  auto lowered = [](std::vector<std::string> names) {
    for (std::string& name : names)
      for (char& c : name) c = static_cast<char>(std::tolower(c));
    return sortedRows(names);
  };
  std::vector<std::string> kept;
  auto make = [&](const std::string& table, const std::string& name) {
    statements.push_back("CREATE TABLE " + table + " (id INTEGER)");
    kept.push_back(name);
  };
  for (const auto& table : underPrefix) {
    const std::string quoted = rda->getTableName(table.first, true, -1).str();
    if (table.second)
      statements.push_back("CREATE TABLE " + quoted + " (id INTEGER)");
    else
      make(quoted, lastPart(rda->getTableName(table.first, false, -1).str()));
  }
  if (!isFile())
    for (const char* other : {"dqxFRQDST5", "dqaHSM3", "dq_xHCM4"})
      make(foreignTable(db, other), other);
  const AdminDatabase elsewhere = isPostgres() ? newDatabase() : db;
  if (isPostgres())
    statements.push_back("CREATE TABLE " + schemaOf(elsewhere) +
                         ".dq_frqdst5 (id INTEGER)");
  for (const std::string& sql : statements)
    ASSERT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;

  EXPECT_TRUE(
      admin_->deleteRepositoryTables(db.connection.c_str(), db.prefix.c_str()))
      << error();
  EXPECT_EQ(lowered(tablesOf(rda, db)), lowered(kept));
  if (isPostgres()) {
    EXPECT_EQ(tablesOf(rda, elsewhere),
              std::vector<std::string>{"dq_frqdst5"});
  }
  rda->release();
  ASSERT_TRUE(create(db)) << error();
  EXPECT_TRUE(loadUnlistedField());
}

// A drop under a prefix leaves every table of another repository of the
// database, whatever its name spells: "abj" + ALERT is "ab" + JALERT, and
// "ab" + JALERT is "abj" + ALERT. Each case creates the repository and then
// the neighbour: a creation that its tables refuse (leaving everything), one
// that succeeds ("abu" + CURID, an older version's table, is "ab" + UCURID),
// or only an INFO table made under it. The neighbour's drop, under any
// spelling of the same names, leaves the repository whole, and the
// repository's drop then removes all of its tables. A name that both claim
// while both hold a repository stays until one of them is dropped. A table
// set's codes count as the built-in ones: with a set of XTRA and JXTRA,
// "abj" + XTRA is "ab" + JXTRA.
TEST_P(DropTest, ADropLeavesEveryTableThatAnotherRepositoryClaims) {
  LogCapture log;
  enum Neighbour { kRefused, kCreated, kInfo };
  struct Case {
    const char* repository;
    const char* neighbour;
    Neighbour made;
    // With kInfo: the repository is dropped first, and these of its tables
    // stay for the neighbour's drop.
    std::vector<const char*> shared;
    bool extraSet = false;  // the table-set folder holds XTRA and JXTRA only
  };
  const std::vector<Case> cases = {
      {"ab", "abj", kRefused, {}},   {"ab", "abm", kRefused, {}},
      {"ab", "abr", kRefused, {}},   {"ab", "abcm", kRefused, {}},
      {"ab", "abgc", kRefused, {}},  {"ab", "abc", kRefused, {}},
      {"ab", "abmpj", kRefused, {}}, {"ab", "abmd", kRefused, {}},
      {"ab", "ABJ", kRefused, {}},   {"abj", "ab", kRefused, {}},
      {"abm", "AB", kRefused, {}},   {"", "j", kRefused, {}},
      {"j", "", kRefused, {}},       {"ab", "abu", kCreated, {}},
      {"ab", "abj", kInfo, {}},
      {"ab", "abj", kInfo, {"abJALERT", "abJCHART", "abJDSN", "abJFLD"}},
      {"ab", "abj", kRefused, {}, true},
  };
  TempDir sets;
  {
    const char* const table =
        "<table name=\"%s\" description=\"A table of the host's set\">"
        "<column name=\"ID\" type=\"integer\" primarykey=\"true\" "
        "description=\"Key\"/></table>";
    std::ofstream(sets.file("extra.xml"))
        << "<velmorandocument class=\"ReposTableCreateSpec\">"
           "<tableset name=\"EXTRA\" version=\"1\">"
        << kvbStringFormat(table, "XTRA").str()
        << kvbStringFormat(table, "JXTRA").str()
        << "</tableset></velmorandocument>";
  }
  auto lowered = [](std::vector<std::string> names) {
    for (std::string& name : names)
      for (char& c : name) c = static_cast<char>(std::tolower(c));
    return sortedRows(names);
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.repository) + " beside " + c.neighbour);
    const bool filed = isFile() && !*c.repository;
    if (isPostgres() && (!*c.repository || !*c.neighbour)) continue;
    kvbGetConfigOptions("")->set(
        "REPOS/TABLE_LIST_PATH",
        c.extraSet ? sets.path().c_str() : KV_SOURCE_DIR "/etc/reposcreate");
    const AdminDatabase db = newDatabase();
    // The prefix as the test spells it: on PostgreSQL in the database's
    // schema, written in upper case where the prefix is.
    auto spelled = [&](const std::string& prefix) {
      if (!isPostgres()) return prefix;
      std::string schema = schemaOf(db);
      if (prefix != lowered({prefix})[0])
        for (char& ch : schema) ch = static_cast<char>(std::toupper(ch));
      return schema + "." + prefix;
    };
    ASSERT_TRUE(filed ? admin_->createFileRepository(db.file.c_str())
                      : admin_->createRepository(
                            db.connection.c_str(),
                            spelled(c.repository).c_str()))
        << error();
    ReposDataAccess* rda = connect(db);
    ASSERT_NE(rda, nullptr);
    // Per-id and older versions' tables of the repository, and the INFO
    // table that shows a repository under the neighbour.
    const std::string info = std::string(c.neighbour) + "INFO";
    std::vector<std::string> made;
    for (const char* code : {"FRQDST1", "HSM2", "HCM3", "CURID", "MCURID"})
      made.push_back(std::string(c.repository) + code);
    if (c.made == kInfo) made.push_back(info);
    for (const std::string& name : made) {
      const std::string sql =
          "CREATE TABLE " + foreignTable(db, name.c_str()) + " (id INTEGER)";
      ASSERT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;
    }
    std::vector<std::string> whole = lowered(tablesOf(rda, db));
    if (c.made == kInfo) {
      whole.erase(std::find(whole.begin(), whole.end(), lowered({info})[0]));
    } else {
      EXPECT_EQ(admin_->createRepository(db.connection.c_str(),
                                         spelled(c.neighbour).c_str()),
                c.made == kCreated)
          << error();
      if (c.made == kRefused) {
        EXPECT_EQ(lowered(tablesOf(rda, db)), whole);
      }
    }
    auto drop = [&](const char* prefix) {
      EXPECT_TRUE(admin_->deleteRepositoryTables(db.connection.c_str(),
                                                 spelled(prefix).c_str()))
          << prefix << ": " << error();
    };
    if (c.shared.empty()) {
      drop(c.neighbour);
      EXPECT_EQ(lowered(tablesOf(rda, db)), whole);
      drop(c.repository);
    } else {
      drop(c.repository);
      std::vector<std::string> left(c.shared.begin(), c.shared.end());
      left.push_back(info);
      EXPECT_EQ(lowered(tablesOf(rda, db)), lowered(left));
      drop(c.neighbour);
    }
    EXPECT_EQ(tablesOf(rda, db), std::vector<std::string>{});
    rda->release();
  }
}

// Tables that are not there are no failure: a database (or, on PostgreSQL,
// a table prefix) that holds no repository answers true, logs nothing,
// tells the status callback of no failure and keeps the host's own tables.
TEST_P(DropTest, APrefixWithoutTablesIsNoFailure) {
  RecordingStatus status;
  admin_->setStatusCallback(&status);
  const AdminDatabase db = newDatabase();
  ReposDataAccess* rda = connect(db);
  ASSERT_NE(rda, nullptr);
  const std::string sql =
      "CREATE TABLE " + foreignTable(db, "customers") + " (id INTEGER)";
  ASSERT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;
  EXPECT_EQ(loggedFailures([&] {
              EXPECT_TRUE(admin_->deleteRepositoryTables(db.connection.c_str(),
                                                         db.prefix.c_str()))
                  << error();
            }),
            std::vector<std::string>{});
  for (const std::string& text : status.messages) ADD_FAILURE() << text;
  EXPECT_EQ(tablesOf(rda, db), std::vector<std::string>{"customers"});
  rda->release();
}

// Every group is dropped whatever became of the others, and the answer is
// the first failure's text, logged once. The per-id tables of fields 1 to 3
// are views here, which DROP TABLE refuses, each with its own name.
TEST_P(DropTest, TheFirstOfManyFailuresIsTheAnswer) {
  LogCapture log;
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  ReposDataAccess* rda = connect(db);
  ASSERT_NE(rda, nullptr);
  std::vector<std::string> statements = {
      "INSERT INTO " + rda->getTableName("FLD", true, -1).str() +
      " (FLD_ID) VALUES (1), (2), (3)"};
  std::vector<std::string> views;
  for (const char* code : {"FRQDST1", "FRQDST2", "FRQDST3"}) {
    statements.push_back("CREATE VIEW " +
                         rda->getTableName(code, true, -1).str() +
                         " AS SELECT 1 AS id");
    std::string name = rda->getTableName(code, false, -1).str();
    name = name.substr(name.rfind('.') + 1);
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    views.push_back(name);
  }
  for (const std::string& sql : statements)
    ASSERT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;

  const std::vector<std::string> logged = loggedFailures([&] {
    EXPECT_FALSE(admin_->deleteRepositoryTables(db.connection.c_str(),
                                                db.prefix.c_str()));
  });
  EXPECT_EQ(logged,
            std::vector<std::string>{"repositoryadminimpl: " + error()});
  std::string answer = error();
  for (char& c : answer) c = static_cast<char>(std::tolower(c));
  EXPECT_NE(answer.find(views[0]), std::string::npos) << error();
  for (size_t i = 1; i < views.size(); ++i)
    EXPECT_EQ(answer.find(views[i]), std::string::npos) << error();
  // The groups after the failures were dropped all the same.
  EXPECT_EQ(tablesOf(rda, db),
            isPostgres() ? views : std::vector<std::string>{});
  rda->release();
}

// A connection that may not read the catalogue (a role without rights on
// the repository's schema) drops nothing and says why, rather than
// answering true with every table still there.
TEST_P(DropTest, ACatalogueThatCannotBeReadDropsNothing) {
  if (!isPostgres())
    GTEST_SKIP() << "a SQLite file whose schema cannot be read does not open";
  LogCapture log;
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  const std::string withoutRights = connectionWithoutRights();
  if (withoutRights.empty()) GTEST_SKIP() << "the server lets no new role in";
  EXPECT_FALSE(
      admin_->deleteRepositoryTables(withoutRights.c_str(), db.prefix.c_str()));
  EXPECT_EQ(error().rfind("The tables of the database cannot be listed: ", 0),
            0u)
      << error();
  EXPECT_NE(error().find("permission denied"), std::string::npos) << error();
  RepositoryImpl* repository = open(db, true);
  EXPECT_NE(repository, nullptr) << error();
  if (repository) repository->release();
}

// A table that cannot be looked up fails the drop, which answers false with
// the reason and keeps the table, rather than true with the table there.
// The table is a view over a table that is gone: SQLite cannot tell its
// columns (a server keeps no such view).
TEST_P(DropTest, ATableThatCannotBeLookedUpFailsTheDrop) {
  if (isPostgres()) GTEST_SKIP() << "a server drops no table under a view";
  LogCapture log;
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  ReposDataAccess* rda = connect(db);
  ASSERT_NE(rda, nullptr);
  const std::string curid = rda->getTableName("CURID", false, -1).str();
  for (const std::string& sql :
       {std::string("CREATE TABLE kvgone (id INTEGER)"),
        "CREATE VIEW " + curid + " AS SELECT id FROM kvgone",
        std::string("DROP TABLE kvgone")})
    ASSERT_TRUE(rda->paramExec(sql.c_str(), nullptr, 0)) << sql;
  EXPECT_FALSE(
      admin_->deleteRepositoryTables(db.connection.c_str(), db.prefix.c_str()));
  EXPECT_NE(error().find("no such table: main.kvgone"), std::string::npos)
      << error();
  EXPECT_EQ(tablesOf(rda, db), std::vector<std::string>{});
  EXPECT_EQ(cursorRows(rda->paramSelect(
                "SELECT name FROM sqlite_master WHERE type = 'view'", 0)),
            std::vector<std::string>{curid});
  rda->release();
}

INSTANTIATE_ADMIN_TARGETS(DropTest);

}  // namespace
