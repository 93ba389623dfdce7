// Tests of kvsqlstore on real SQLite files.
#include "kvsqlstore/kvsqlstore.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/dac_targets.h"
#include "support/log_capture.h"

namespace {

class SqliteStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = freshSqliteFile("sqlstore");
    db_ = createSqliteDatabase(path_.c_str());
    ASSERT_NE(db_, nullptr) << getSqliteErrorMessage().asCstr();
    ASSERT_TRUE(db_->exec("CREATE TABLE t (i INTEGER, r REAL, s TEXT)"));
  }
  void TearDown() override {
    if (db_) db_->close();
    removeSqliteFile(path_);
  }

  std::string path_;
  SqliteDatabase* db_ = nullptr;
};

TEST_F(SqliteStoreTest, OpensOnlyExistingDatabaseFiles) {
  SqliteDatabase* again = openSqliteDatabase(path_.c_str());
  ASSERT_NE(again, nullptr);
  again->close();

  const std::string missing = path_ + ".missing";
  EXPECT_EQ(openSqliteDatabase(missing.c_str()), nullptr);
  EXPECT_NE(getSqliteErrorMessage().find(missing.c_str()), KvbString::npos);
  EXPECT_EQ(std::ifstream(missing).good(), false);

  const std::string text = path_ + ".txt";
  std::ofstream(text) << "this is not a database, only some text to read\n";
  EXPECT_EQ(openSqliteDatabase(text.c_str()), nullptr);
  EXPECT_NE(getSqliteErrorMessage().find("not a database"), KvbString::npos)
      << getSqliteErrorMessage().asCstr();
  std::remove(text.c_str());

  EXPECT_EQ(createSqliteDatabase(""), nullptr);
  EXPECT_FALSE(getSqliteErrorMessage().isEmpty());
}

// A host's thread_local whose destructor opens a file as its thread ends,
// after the thread's own failed open: the reason still has its place.
struct OpenAtExit {
  std::function<void()> work;
  ~OpenAtExit() {
    if (work) work();
  }
};
thread_local OpenAtExit openAtExit;

TEST(SqliteOpenTest, AnOpenAtThreadExitKeepsItsReason) {
  const std::string missing = ::testing::TempDir() + "kv_missing/none.db";
  KvbString reasons[2];
  std::thread([&] {
    openAtExit.work = [&] {
      EXPECT_EQ(openSqliteDatabase(missing.c_str()), nullptr);
      reasons[1] = getSqliteErrorMessage();
    };
    EXPECT_EQ(openSqliteDatabase(missing.c_str()), nullptr);
    reasons[0] = getSqliteErrorMessage();
  }).join();
  EXPECT_NE(reasons[0].find(missing.c_str()), KvbString::npos);
  EXPECT_EQ(reasons[1].str(), reasons[0].str());
}

// The flags that the engine's connections open with, which the benchmarks'
// bare connections take too: read-write, creating only on creation, and
// without SQLite's own mutex (a database is used by one thread at a time).
TEST(SqliteOpenFlagsTest, AreReadWriteWithoutSqliteMutex) {
  EXPECT_EQ(sqliteOpenFlags(true),
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX);
  EXPECT_EQ(sqliteOpenFlags(false),
            SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
}

TEST_F(SqliteStoreTest, RunsStatementsAndReadsValuesNatively) {
  int64_t changed = -1;
  ASSERT_TRUE(db_->exec(
      "INSERT INTO t VALUES (1, 0.5, 'a'); INSERT INTO t VALUES "
      "(9007199254740993, NULL, 'O''Brien \"q\" é'); UPDATE t SET r = 2.25",
      &changed));
  EXPECT_EQ(changed, 4);
  EXPECT_EQ(db_->getChanges(), 2);
  EXPECT_EQ(db_->getLastInsertRowId(), 2);

  double sum = 0;
  ASSERT_TRUE(db_->querySingleReal("SELECT sum(r) FROM t", &sum));
  EXPECT_EQ(sum, 4.5);
  EXPECT_FALSE(db_->querySingleReal("SELECT r FROM t WHERE i = 5", &sum));
  EXPECT_FALSE(db_->querySingleReal("SELECT NULL", &sum));
  EXPECT_EQ(sum, 4.5);

  SqliteResult* result =
      db_->openResult("SELECT i, r, s, NULL AS n FROM t ORDER BY i");
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->getColumnCount(), 4);
  EXPECT_STREQ(result->getColumnName(3).asCstr(), "n");
  EXPECT_STREQ(result->getColumnDeclaredType(0).asCstr(), "INTEGER");
  EXPECT_TRUE(result->getColumnDeclaredType(3).isNull());
  EXPECT_EQ(result->getColumnType(0), kSqliteNull);  // before the first row
  ASSERT_EQ(result->next(), 1);
  const int types[] = {kSqliteInteger, kSqliteReal, kSqliteText, kSqliteNull};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(result->getColumnType(c), types[c]);
  EXPECT_TRUE(result->isNull(3));
  EXPECT_TRUE(result->getText(3).isNull());
  EXPECT_EQ(result->getReal(1), 2.25);
  ASSERT_EQ(result->next(), 1);
  EXPECT_EQ(result->getInt64(0), 9007199254740993);
  EXPECT_STREQ(result->getText(2).asCstr(), "O'Brien \"q\" é");
  EXPECT_EQ(result->next(), 0);
  EXPECT_EQ(result->next(), 0);
  EXPECT_TRUE(result->isNull(0));
  result->close();
}

// The other binding cases run through kvdataaccess_test's native target.
TEST_F(SqliteStoreTest, BindsTextByLengthOrNullAndRefusesUnknownParameters) {
  SqliteStatement* insert = db_->prepare("INSERT INTO t VALUES (?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  EXPECT_FALSE(insert->setText(3, "x", 1));
  EXPECT_NE(insert->getErrorMessage().find("range"), KvbString::npos)
      << insert->getErrorMessage().asCstr();
  EXPECT_FALSE(insert->setInt(3, 1));
  EXPECT_FALSE(insert->getErrorMessage().isEmpty());
  ASSERT_TRUE(insert->setInt(0, 1) && insert->setText(1, nullptr, 4) &&
              insert->setText(2, "abcdef", 3));
  ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  insert->release();
  double n = 0;
  ASSERT_TRUE(
      db_->querySingleReal("SELECT length(s) + (r IS NULL) * 10 FROM t", &n));
  EXPECT_EQ(n, 13) << "three bytes of the text, and a null for no text";
}

TEST_F(SqliteStoreTest, ReportsErrorsWithSqliteText) {
  EXPECT_FALSE(db_->exec("SELEC 1"));
  EXPECT_NE(db_->getErrorMessage().find("syntax error"), KvbString::npos);
  EXPECT_FALSE(db_->isBusy());
  EXPECT_EQ(db_->prepare("SELECT x FROM no_such_table"), nullptr);
  EXPECT_NE(db_->getErrorMessage().find("no_such_table"), KvbString::npos);
  EXPECT_EQ(db_->prepare("SELECT 1; SELECT 2"), nullptr);
  EXPECT_EQ(db_->prepare("  "), nullptr);
  EXPECT_EQ(db_->openResult("SELECT nope FROM t"), nullptr);
  // A query that fails while it runs gives no value but its reason.
  double value = 7;
  EXPECT_FALSE(
      db_->querySingleReal("SELECT abs(-9223372036854775807 - 1)", &value));
  EXPECT_NE(db_->getErrorMessage().find("integer overflow"), KvbString::npos)
      << db_->getErrorMessage().asCstr();
  EXPECT_EQ(value, 7);

  // A failure inside a run shows in the result.
  ASSERT_TRUE(db_->exec("CREATE TABLE u (k INTEGER PRIMARY KEY)"));
  SqliteStatement* insert = db_->prepare("INSERT INTO u VALUES (1)");
  ASSERT_TRUE(insert->execute());
  EXPECT_FALSE(insert->execute());
  EXPECT_NE(insert->getErrorMessage().find("UNIQUE"), KvbString::npos);
  insert->release();
}

TEST_F(SqliteStoreTest, ReportsBusyWhenAnotherConnectionWrites) {
  SqliteDatabase* other = openSqliteDatabase(path_.c_str());
  ASSERT_NE(other, nullptr);
  other->setBusyTimeout(0);
  ASSERT_TRUE(db_->exec("BEGIN IMMEDIATE TRANSACTION"));
  EXPECT_FALSE(other->exec("BEGIN IMMEDIATE TRANSACTION"));
  EXPECT_TRUE(other->isBusy());
  EXPECT_FALSE(other->getErrorMessage().isEmpty());

  SqliteStatement* insert = other->prepare("INSERT INTO t (i) VALUES (1)");
  ASSERT_NE(insert, nullptr);
  EXPECT_FALSE(insert->execute());
  EXPECT_TRUE(insert->isBusy());

  ASSERT_TRUE(db_->exec("COMMIT TRANSACTION"));
  EXPECT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  insert->release();
  EXPECT_TRUE(other->exec("BEGIN IMMEDIATE TRANSACTION"));
  EXPECT_TRUE(other->exec("ROLLBACK"));
  other->close();
}

TEST_F(SqliteStoreTest, ABusyTimeoutThatIsNotACountIsWarnedAboutOnce) {
  LogCapture log;
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "-1");
  for (int open = 0; open < 2; ++open) {
    SqliteDatabase* other = openSqliteDatabase(path_.c_str());
    ASSERT_NE(other, nullptr);
    other->close();
  }
  EXPECT_EQ(sqliteBusyTimeoutMs(), 5000);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  EXPECT_EQ(log.texts("KV.Base.Config"),
            std::vector<std::string>{
                "The configuration option \"SQLITE/BUSY_TIMEOUT\" has the "
                "value \"-1\", which is not a whole number from 0 to "
                "2147483647; 5000 is used"});
}

// A busy failure names the file and says how long it waited for the lock,
// or, where SQLite does not wait (a read transaction that would write,
// while another connection holds the write lock), that no wait could help.
// A statement that outlives its database still reads the file's wait.
TEST_F(SqliteStoreTest, BusyFailuresSayWhetherAndHowLongTheyWaited) {
  const std::string locked =
      "cannot access the database file '" + path_ +
      "': database is locked by another connection";
  SqliteDatabase* other = openSqliteDatabase(path_.c_str());
  ASSERT_NE(other, nullptr);
  other->setBusyTimeout(20);
  SqliteStatement* insert = other->prepare("INSERT INTO t (i) VALUES (1)");
  ASSERT_NE(insert, nullptr);
  other->close();
  ASSERT_TRUE(db_->exec("BEGIN IMMEDIATE TRANSACTION"));
  EXPECT_FALSE(insert->execute());
  EXPECT_EQ(insert->getErrorMessage().str(),
            locked + "; gave up waiting for it after 20 ms "
                     "(SQLITE/BUSY_TIMEOUT)");
  insert->release();
  ASSERT_TRUE(db_->exec("COMMIT TRANSACTION"));
  ASSERT_TRUE(db_->exec("INSERT INTO t (i) VALUES (0)"));

  other = openSqliteDatabase(path_.c_str());
  ASSERT_NE(other, nullptr);
  other->setBusyTimeout(0);
  SqliteResult* reading = other->openResult("SELECT i FROM t");
  ASSERT_TRUE(other->exec("BEGIN"));
  ASSERT_EQ(reading->next(), 1);  // the read transaction holds its lock
  ASSERT_TRUE(db_->exec("BEGIN IMMEDIATE TRANSACTION"));
  EXPECT_FALSE(other->exec("INSERT INTO t (i) VALUES (2)"));
  EXPECT_EQ(other->getErrorMessage().str(),
            locked + "; gave up waiting for it after 0 ms "
                     "(SQLITE/BUSY_TIMEOUT)");
  other->setBusyTimeout(5000);
  EXPECT_FALSE(other->exec("INSERT INTO t (i) VALUES (2)"));
  EXPECT_EQ(other->getErrorMessage().str(),
            locked + ", which cannot commit while this connection's read "
                     "transaction is open; no wait could help");
  EXPECT_TRUE(other->isBusy());
  reading->close();
  ASSERT_TRUE(other->exec("ROLLBACK"));
  ASSERT_TRUE(db_->exec("ROLLBACK"));
  other->close();
}

// A wait tries again after sleeps of a fraction of a millisecond to a
// few (SQLite's own sleeps grow to 100 ms), and gives up once its time is
// up, by its deadline.
TEST(SqliteBusyWaitTest, PausesBrieflyUntilItsTimeIsUp) {
  const auto start = std::chrono::steady_clock::now();
  SqliteBusyWait wait(300);
  int pauses = 0;
  while (wait.pause()) ++pauses;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_GE(ms, 300);
  EXPECT_LT(ms, 3000);  // ten times the wait, which a busy machine keeps
  EXPECT_GT(pauses, 20) << "sleeps of " << ms / (pauses + 1) << " ms";
  EXPECT_FALSE(wait.pause());

  SqliteBusyWait none(0);
  EXPECT_FALSE(none.pause());
}

}  // namespace
