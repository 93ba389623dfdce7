// The back ends that repository-connection tests run on: a SQLite file
// opened directly (factory kind 1), a SQLite file through the connection
// string route (kind 0, "KVXTYPE=SQLITE"), and PostgreSQL through ODBC
// (kind 0) when KV_TEST_PG_CONNECTION is set, else skipped. Each test gets a
// fresh database: a new file, or on PostgreSQL a new schema that the table
// prefix names and that is dropped afterwards.
#ifndef TESTS_SUPPORT_RDA_TARGETS_H_
#define TESTS_SUPPORT_RDA_TARGETS_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "rda/rda_factory.h"
#include "reposadmin/repos_data_access.h"
#include "support/dac_targets.h"

// The rows of a cursor as texts, row after row, columns joined by "|"; the
// cursor is released.
inline std::vector<std::string> cursorRows(ReposDataAccessCursor* cursor) {
  std::vector<std::string> out;
  if (!cursor) return out;
  while (cursor->next() == 1) {
    std::string row;
    for (int c = 0; c < cursor->getNumCols(); ++c)
      row += (c ? "|" : "") + std::string(cursor->getString(c).asCstr());
    out.push_back(row);
  }
  cursor->release();
  return out;
}

// The column names of a cursor joined by "|"; the cursor stays open.
inline std::string columnNames(ReposDataAccessCursor* cursor) {
  std::string names;
  for (int c = 0; cursor && c < cursor->getNumCols(); ++c)
    names += (c ? "|" : "") + cursor->getColName(c).str();
  return names;
}

// The rows in text order, for listings without an ORDER BY.
inline std::vector<std::string> sortedRows(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

enum class RdaTarget { kSqliteFile, kSqliteConnection, kPostgres };

inline std::string rdaTargetName(
    const ::testing::TestParamInfo<RdaTarget>& info) {
  switch (info.param) {
    case RdaTarget::kSqliteFile:
      return "SqliteFile";
    case RdaTarget::kSqliteConnection:
      return "SqliteConnection";
    default:
      return "Postgres";
  }
}

// The shared part of the tests that run on every back end: the PostgreSQL
// cases are skipped without a server, connection locking is on, and each
// test gets a fresh database that is removed at its end.
class BackEndTest : public ::testing::TestWithParam<RdaTarget> {
 protected:
  // Makes the test's database: a new SQLite file (table prefix
  // `sqlitePrefix`), or on PostgreSQL a new schema that the prefix
  // "<schema>.kv" names. Skips or fails the test when it cannot.
  void makeDatabase(const char* tag, const char* sqlitePrefix = "") {
    SKIP_WITHOUT_POSTGRES(isPostgres());
    kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
    if (isPostgres()) {
      schema_ = uniqueTestName(tag);
      ASSERT_TRUE(runOnPostgres("CREATE SCHEMA " + schema_));
      prefix_ = schema_ + ".kv";
    } else {
      file_ = freshSqliteFile(tag);
      prefix_ = sqlitePrefix;
    }
  }
  void TearDown() override {
    if (!schema_.empty()) runOnPostgres("DROP SCHEMA " + schema_ + " CASCADE");
    if (!file_.empty()) removeSqliteFile(file_);
  }

  bool isPostgres() const { return GetParam() == RdaTarget::kPostgres; }
  bool isFile() const { return GetParam() == RdaTarget::kSqliteFile; }
  // Where the database is reached: the file itself on the SQLite file back
  // end, else the connection string (which creates a missing file).
  std::string location() const {
    if (isFile()) return file_;
    return isPostgres() ? postgresConnectionString()
                        : "FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE";
  }
  // The factory kind of the back end: 1 opens a SQLite file, 0 a connection
  // string.
  int factoryKind() const { return isFile() ? 1 : 0; }

  // The helpers below work on the test's database through db_, a
  // connection that the fixture sets.
  // The quoted physical name of a table code.
  std::string table(const char* code) const {
    return db_->getTableName(code, true, -1).str();
  }
  // Runs a statement with `values` bound; false, with a test failure, when
  // it fails.
  bool exec(const std::string& sql,
            const std::vector<KvbDatavar>& values = {}) {
    ReposDataAccessStatement* statement = boundStatement(db_, sql, values);
    const bool ok = statement && statement->execute();
    if (statement) statement->release();
    EXPECT_TRUE(ok) << sql << ": " << db_->getErrorMessage().asCstr();
    return ok;
  }
  // The number of rows of a table that match `where` (all when empty),
  // with `values` bound; -1, with a test failure, when the query fails.
  int count(const char* code, const std::string& where = "",
            const std::vector<KvbDatavar>& values = {}) {
    const std::string sql = "SELECT COUNT(*) FROM " + table(code) +
                            (where.empty() ? "" : " WHERE " + where);
    int n = -1;
    EXPECT_EQ(firstRow(db_, sql, values,
                       [&](ReposDataAccessCursor& row) { n = row.getInt(0); }),
              1)
        << sql << ": " << db_->getErrorMessage().asCstr();
    return n;
  }

  ReposDataAccess* db_ = nullptr;
  std::string file_;
  std::string schema_;
  std::string prefix_;
};

class RdaTargetTest : public BackEndTest {
 protected:
  void SetUp() override {
    makeDatabase("kvt");
    if (IsSkipped() || HasFatalFailure()) return;
    db_ = rda_ = open();
    ASSERT_NE(rda_, nullptr);
  }

  void TearDown() override {
    if (rda_) rda_->release();
    BackEndTest::TearDown();
  }

  // A new connection to the test's database (with the test's prefix unless
  // another is given), reporting to `status`; null with a test failure when
  // it cannot be opened.
  ReposDataAccess* open(const KvbString& prefix = KvbString(),
                        RepositoryStatusCallback* status = nullptr) {
    KvbString error;
    ReposDataAccess* rda = createReposDataAccess(
        factoryKind(), location().c_str(),
        prefix.isNull() ? KvbString(prefix_) : prefix, status, error);
    EXPECT_NE(rda, nullptr) << error.asCstr();
    return rda;
  }

  // Creates the built-in core tables on the test's database.
  bool createCoreTables() {
    TableCreateOptions options;
    options.createTables = true;
    return rda_->createTables(options);
  }

  static std::vector<std::string> rows(ReposDataAccessCursor* cursor) {
    return cursorRows(cursor);
  }

  ReposDataAccess* rda_ = nullptr;
};

// A test of a data-access object of type T on a repository with the core
// tables; `object_` is made in SetUp and released in TearDown.
template <class T>
class RdaObjectTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(createCoreTables()) << rda_->getErrorMessage().asCstr();
    object_ = new T(rda_);
  }
  void TearDown() override {
    if (object_) object_->release();
    RdaTargetTest::TearDown();
  }
  // Rows with just their key, for the folders and rules that objects name
  // by id.
  void storeKeys(const char* code, const char* column,
                 const std::vector<int>& ids) {
    for (int id : ids)
      exec("INSERT INTO " + table(code) + " (" + column + ") VALUES (?)", {id});
  }

  T* object_ = nullptr;
};

#define INSTANTIATE_RDA_TARGETS(suite)                                        \
  INSTANTIATE_TEST_SUITE_P(                                                   \
      Targets, suite,                                                         \
      ::testing::Values(RdaTarget::kSqliteFile, RdaTarget::kSqliteConnection, \
                        RdaTarget::kPostgres),                                \
      rdaTargetName)

// "Repository Library" message `id` with its arguments, as the engine
// builds it.
template <typename... Args>
std::string libraryMessage(int id, const Args&... args) {
  return kvb_get_message("test", 0, "Repository Library", id, args...).str();
}

#endif  // TESTS_SUPPORT_RDA_TARGETS_H_
