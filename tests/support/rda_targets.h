// The back ends that repository-connection tests run on: a SQLite file
// opened directly (factory kind 1), a SQLite file through the connection
// string route (kind 0, "KVXTYPE=SQLITE"), and PostgreSQL through ODBC
// (kind 0) when KV_TEST_PG_CONNECTION is set, else skipped. Each test gets a
// fresh database: a new file, or on PostgreSQL a new schema that the table
// prefix names and that is dropped afterwards.
#ifndef TESTS_SUPPORT_RDA_TARGETS_H_
#define TESTS_SUPPORT_RDA_TARGETS_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

class RdaTargetTest : public ::testing::TestWithParam<RdaTarget> {
 protected:
  void SetUp() override {
    if (GetParam() == RdaTarget::kPostgres &&
        postgresConnectionString().empty())
      GTEST_SKIP() << "KV_TEST_PG_CONNECTION is not set: the PostgreSQL "
                      "cases were skipped";
    kvbGetConfigOptions("")->set("BASE/WORKDESK", "true");
    if (GetParam() == RdaTarget::kPostgres) {
      schema_ = uniqueTestName("kvt");
      ASSERT_TRUE(runOnPostgres("CREATE SCHEMA " + schema_));
      prefix_ = schema_ + ".kv";
    } else {
      file_ = testTmpDir() + "/" + uniqueTestName("rda") + ".db";
    }
    rda_ = open();
    ASSERT_NE(rda_, nullptr);
  }

  void TearDown() override {
    if (rda_) rda_->release();
    if (!schema_.empty()) runOnPostgres("DROP SCHEMA " + schema_ + " CASCADE");
    if (!file_.empty()) std::remove(file_.c_str());
  }

  // A new connection to the test's database (with the test's prefix unless
  // another is given); null with a test failure when it cannot be opened.
  ReposDataAccess* open(const KvbString& prefix = KvbString()) {
    KvbString error;
    ReposDataAccess* rda = nullptr;
    const KvbString usePrefix = prefix.isNull() ? KvbString(prefix_) : prefix;
    switch (GetParam()) {
      case RdaTarget::kSqliteFile:
        rda = createReposDataAccess(1, file_, usePrefix, nullptr, error);
        break;
      case RdaTarget::kSqliteConnection:
        rda = createReposDataAccess(
            0, ("FILE=" + file_ + ";CREATE=TRUE;KVXTYPE=SQLITE").c_str(),
            usePrefix, nullptr, error);
        break;
      default:
        rda = createReposDataAccess(0, postgresConnectionString(), usePrefix,
                                    nullptr, error);
    }
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

  bool isPostgres() const { return GetParam() == RdaTarget::kPostgres; }

  ReposDataAccess* rda_ = nullptr;
  std::string file_;
  std::string schema_;
  std::string prefix_;

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

  T* object_ = nullptr;
};

#define INSTANTIATE_RDA_TARGETS(suite)                                     \
  INSTANTIATE_TEST_SUITE_P(                                                \
      Targets, suite,                                                      \
      ::testing::Values(RdaTarget::kSqliteFile, RdaTarget::kSqliteConnection, \
                        RdaTarget::kPostgres),                             \
      rdaTargetName)

#endif  // TESTS_SUPPORT_RDA_TARGETS_H_
