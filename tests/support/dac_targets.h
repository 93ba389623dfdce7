// The databases that data-access tests run on: a SQLite file opened
// directly, the same kind of file through the SQLite3 ODBC driver, and
// PostgreSQL through ODBC when KV_TEST_PG_CONNECTION holds a connection
// string (otherwise those cases are skipped). A server that the engine does
// not support is reached through KV_TEST_UNSUPPORTED_CONNECTION, when set.
// DacTargetTest opens a fresh connection per test and drops the tables that
// the test named.
#ifndef TESTS_SUPPORT_DAC_TARGETS_H_
#define TESTS_SUPPORT_DAC_TARGETS_H_

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "kvdataaccess/kvdataaccess.h"

enum class DacTarget { kNativeSqlite, kOdbcSqlite, kPostgres };

// The folder for test files: $KV_TEST_TMPDIR (created when missing) or /tmp.
inline std::string testTmpDir() {
  const char* dir = std::getenv("KV_TEST_TMPDIR");
  if (!dir || !*dir) return "/tmp";
  mkdir(dir, 0755);
  return dir;
}

// A name unique in this process and among test processes, also those that
// ran before under the same process id: "<base>_<pid>_<start>_<counter>",
// where <start> is the time of the process's first name (microseconds, in
// base 36). A file or schema that a crashed test left behind is thus never
// taken for a later test's own. A forked child keeps <start> and the count
// but has a process id of its own.
inline std::string uniqueTestName(const char* base) {
  static const std::string start = [] {
    uint64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
    std::string digits;
    do {
      digits.insert(digits.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"
                                        [micros % 36]);
      micros /= 36;
    } while (micros);
    return digits;
  }();
  static std::atomic<int> counter{0};
  return std::string(base) + "_" + std::to_string(getpid()) + "_" + start +
         "_" + std::to_string(++counter);
}

// Removes a SQLite file and the journal, WAL and shared-memory files beside
// it; a missing one is no failure.
inline void removeSqliteFile(const std::string& path) {
  for (const char* side : {"", "-journal", "-wal", "-shm"})
    std::remove((path + side).c_str());
}

// The path of a new SQLite file for a test under testTmpDir(), named by
// uniqueTestName(base); whatever lies there already is removed first, so
// that the test starts from a file of its own.
inline std::string freshSqliteFile(const char* base) {
  const std::string path = testTmpDir() + "/" + uniqueTestName(base) + ".db";
  removeSqliteFile(path);
  return path;
}

// The PostgreSQL connection string, or empty when none is configured.
// scripts/test.sh runs the tests that reach the server once more in each
// of the driver's other modes, selected by "Postgres" in their names: a
// test that asks for the connection string without it in its suite, case
// or parameter name fails, so that none is left out.
inline std::string postgresConnectionString() {
  const ::testing::TestInfo* test =
      ::testing::UnitTest::GetInstance()->current_test_info();
  if (test && (std::string(test->test_suite_name()) + "." + test->name())
                      .find("Postgres") == std::string::npos)
    ADD_FAILURE() << "A test that uses KV_TEST_PG_CONNECTION needs "
                     "\"Postgres\" in its name";
  const char* text = std::getenv("KV_TEST_PG_CONNECTION");
  return text ? text : "";
}

// Whether the PostgreSQL tests run through a connection pooler in
// transaction mode (scripts/test.sh): their connection string is then a
// pooled site's, which keeps the driver's statements off the server.
inline bool postgresThroughPooler() {
  return postgresConnectionString().find("UseServerSidePrepare=0") !=
         std::string::npos;
}

// Whether the connection string asks the PostgreSQL driver to roll the
// whole transaction back at a failed statement (Protocol=7.4-1), so that
// no failure inside a transaction leaves it going on.
inline bool postgresFailuresEndTransactions() {
  return std::regex_search(
      postgresConnectionString(),
      std::regex("(^|;)Protocol=[^;]*-1(;|$)", std::regex::icase));
}

// Whether the connection string leaves the PostgreSQL driver in its default
// mode, which undoes a failed statement alone and lets the transaction go
// on: not Protocol=7.4-0, where the server aborts the transaction at a
// statement it refused, nor Protocol=7.4-1.
inline bool postgresUndoesFailedStatementsAlone() {
  return !std::regex_search(
      postgresConnectionString(),
      std::regex("(^|;)Protocol=[^;]*-[01](;|$)", std::regex::icase));
}

// Whether `text` is the answer of a call in a transaction that the database
// (or its driver) rolled back on its own: every later call and each end
// answer so until the outermost end.
inline bool isRolledBackByTheDatabase(const std::string& text) {
  return text.rfind("The transaction was rolled back by the database: ", 0) ==
         0;
}

// Runs one statement on the PostgreSQL server outside the engine.
inline bool runOnPostgres(const std::string& sql) {
  KvbString error;
  DacConnection* c = dacCreateDataSource(postgresConnectionString(), &error);
  if (!c) return false;
  bool ok = c->execute(sql.c_str());
  c->release();
  return ok;
}

// The connection string of `target` on the SQLite file `file` (unused for
// PostgreSQL).
inline std::string dacConnectionString(DacTarget target,
                                       const std::string& file) {
  switch (target) {
    case DacTarget::kNativeSqlite:
      return "FILE=" + file + ";CREATE=TRUE;KVXTYPE=SQLITE";
    case DacTarget::kOdbcSqlite:
      return "Driver=SQLite3;Database=" + file + ";";
    default:
      return postgresConnectionString();
  }
}

// Skips the calling test when it is a PostgreSQL case and no server is
// configured.
#define SKIP_WITHOUT_POSTGRES(isPostgresCase)                         \
  if ((isPostgresCase) && postgresConnectionString().empty())         \
  GTEST_SKIP() << "KV_TEST_PG_CONNECTION is not set: the PostgreSQL " \
                  "cases were skipped"

// The connection string of a database server that the engine does not
// support for repositories (such as one from scripts/start-test-mariadb.sh),
// or empty when none is configured.
inline std::string unsupportedConnectionString() {
  const char* text = std::getenv("KV_TEST_UNSUPPORTED_CONNECTION");
  return text ? text : "";
}

// Skips the calling test when no unsupported server is configured.
#define SKIP_WITHOUT_UNSUPPORTED_SERVER()                                  \
  if (unsupportedConnectionString().empty())                               \
  GTEST_SKIP() << "KV_TEST_UNSUPPORTED_CONNECTION is not set: the cases "  \
                  "of a database server the engine does not support were " \
                  "skipped"

class DacTargetTest : public ::testing::TestWithParam<DacTarget> {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_POSTGRES(GetParam() == DacTarget::kPostgres);
    file_ = freshSqliteFile("dac");
    KvbString error;
    conn_ = dacCreateDataSource(dacConnectionString(GetParam(), file_), &error);
    ASSERT_NE(conn_, nullptr) << error.asCstr();
  }

  void TearDown() override {
    if (conn_) {
      conn_->setAutoCommit(true);
      for (const std::string& table : tables_)
        conn_->execute(("DROP TABLE " + table).c_str());
      conn_->release();
    }
    if (!file_.empty()) removeSqliteFile(file_);
  }

  // A table name unique to this test (lower case, so that no database
  // folds it); the table is dropped after the test.
  std::string table(const char* base) {
    tables_.push_back(uniqueTestName(base));
    return tables_.back();
  }

  // Runs `sql`, failing the test with the connection's text on an error.
  void exec(const std::string& sql) {
    ASSERT_TRUE(conn_->execute(sql.c_str()))
        << sql << ": " << conn_->getErrorMessage().asCstr();
  }

  bool isOdbc() const { return GetParam() != DacTarget::kNativeSqlite; }

  DacConnection* conn_ = nullptr;
  std::string file_;

 private:
  std::vector<std::string> tables_;
};

inline std::string dacTargetTestName(
    const ::testing::TestParamInfo<DacTarget>& target) {
  const char* const names[] = {"NativeSqlite", "OdbcSqlite", "Postgres"};
  return names[static_cast<int>(target.param)];
}

// Runs the cases of a DacTargetTest-derived suite on every target.
#define INSTANTIATE_DAC_TARGETS(suite)                                    \
  INSTANTIATE_TEST_SUITE_P(                                               \
      Targets, suite,                                                     \
      ::testing::Values(DacTarget::kNativeSqlite, DacTarget::kOdbcSqlite, \
                        DacTarget::kPostgres),                            \
      dacTargetTestName)

#endif  // TESTS_SUPPORT_DAC_TARGETS_H_
