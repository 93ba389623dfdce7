// Tests of the statements a kvsqlstore database keeps by their text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "kvsqlstore/kvsqlstore.h"
#include "support/dac_targets.h"

namespace {

class SqliteStatementCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = freshSqliteFile("stmtcache");
    db_ = createSqliteDatabase(path_.c_str());
    ASSERT_NE(db_, nullptr) << getSqliteErrorMessage().asCstr();
    ASSERT_TRUE(db_->exec("CREATE TABLE t (i INTEGER UNIQUE, s TEXT)"));
  }
  void TearDown() override {
    if (db_) db_->close();
    removeSqliteFile(path_);
  }

  // Inserts (i, s) through a statement prepared for this one use.
  bool insert(int i, const char* s) {
    SqliteStatement* statement = db_->prepare("INSERT INTO t VALUES (?, ?)");
    if (!statement) return false;
    const bool ok =
        statement->setInt(0, i) &&
        (s ? statement->setText(1, s, std::string(s).size()) : true) &&
        statement->execute();
    statement->release();
    return ok;
  }
  // The rows of t as "i:s" texts in the order of i.
  std::string rows() {
    SqliteResult* result = db_->openResult("SELECT i, s FROM t ORDER BY i");
    std::string out;
    while (result && result->next() == 1)
      out += std::to_string(result->getInt(0)) + ":" +
             result->getText(1).str() + " ";
    if (result) result->close();
    return out;
  }

  std::string path_;
  SqliteDatabase* db_ = nullptr;
};

TEST_F(SqliteStatementCacheTest, AKeptStatementComesBackCleanAfterEachUse) {
  ASSERT_TRUE(insert(1, "one"));
  // The next use binds no text: the earlier one is not left bound.
  ASSERT_TRUE(insert(2, nullptr));
  // A use that fails leaves the statement fit for the next one.
  EXPECT_FALSE(insert(1, "again"));
  EXPECT_TRUE(insert(3, "three"));
  EXPECT_EQ(rows(), "1:one 2: 3:three ");
}

// A text bound again is stored as it was given, whether the parameter held
// the same text before, another value in between, or the same text in an
// earlier use of a kept statement (whose values were unbound since).
TEST_F(SqliteStatementCacheTest, ABoundTextIsStoredAgainAfterAnyChange) {
  ASSERT_TRUE(insert(1, "same"));
  ASSERT_TRUE(insert(2, "same"));
  SqliteStatement* statement = db_->prepare("INSERT INTO t VALUES (?, ?)");
  ASSERT_NE(statement, nullptr);
  const auto run = [&](int i, auto bindS) {
    return statement->setInt(0, i) && bindS() && statement->execute();
  };
  EXPECT_TRUE(run(3, [&] { return statement->setText(1, "same", 4); }));
  EXPECT_TRUE(run(4, [&] { return statement->setText(1, "same", 4); }));
  EXPECT_TRUE(run(5, [&] { return statement->setInt(1, 7); }));
  EXPECT_TRUE(run(6, [&] { return statement->setText(1, "same", 4); }));
  EXPECT_TRUE(run(7, [&] { return statement->setText(1, "sane", 4); }));
  EXPECT_TRUE(run(8, [&] { return statement->setNull(1); }));
  EXPECT_TRUE(run(9, [&] { return statement->setText(1, "sane", 4); }));
  statement->release();
  EXPECT_EQ(rows(),
            "1:same 2:same 3:same 4:same 5:7 6:same 7:sane 8: 9:sane ");
}

TEST_F(SqliteStatementCacheTest, AStatementInUseIsNotGivenOutAgain) {
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(insert(i, "x"));
  const char* sql = "SELECT i FROM t ORDER BY i";
  SqliteStatement* first = db_->prepare(sql);
  ASSERT_NE(first, nullptr);
  SqliteResult* outer = first->openResult();
  first->release();  // the result keeps the statement in use
  ASSERT_EQ(outer->next(), 1);
  EXPECT_EQ(outer->getInt(0), 1);

  // The same text, nested inside the open result, runs on its own.
  SqliteResult* inner = db_->openResult(sql);
  ASSERT_NE(inner, nullptr);
  int n = 0;
  while (inner->next() == 1) ++n;
  inner->close();
  EXPECT_EQ(n, 3);

  ASSERT_EQ(outer->next(), 1);
  EXPECT_EQ(outer->getInt(0), 2);
  outer->close();
}

TEST_F(SqliteStatementCacheTest, AnEndedResultLeavesNoLockOnTheFile) {
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(insert(i, "x"));
  SqliteResult* result = db_->openResult("SELECT i FROM t");
  ASSERT_NE(result, nullptr);
  ASSERT_EQ(result->next(), 1);
  result->close();  // part-way through its rows

  SqliteDatabase* other = openSqliteDatabase(path_.c_str());
  ASSERT_NE(other, nullptr);
  other->setBusyTimeout(0);
  EXPECT_TRUE(other->exec("INSERT INTO t VALUES (4, 'y')"))
      << other->getErrorMessage().asCstr();
  other->close();
}

TEST_F(SqliteStatementCacheTest, AChangeOfTheSchemaDropsKeptStatements) {
  ASSERT_TRUE(db_->exec("CREATE TABLE u (a INTEGER)"));
  SqliteStatement* select = db_->prepare("SELECT * FROM u");
  ASSERT_NE(select, nullptr);
  select->release();

  // A prepared DDL statement counts as well as one run by exec.
  SqliteStatement* alter = db_->prepare("ALTER TABLE u ADD COLUMN b TEXT");
  ASSERT_NE(alter, nullptr);
  ASSERT_TRUE(alter->execute());
  alter->release();
  SqliteResult* result = db_->openResult("SELECT * FROM u");
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result->getColumnCount(), 2);
  result->close();

  ASSERT_TRUE(db_->exec("DROP TABLE u"));
  EXPECT_EQ(db_->prepare("SELECT * FROM u"), nullptr);
  EXPECT_NE(db_->getErrorMessage().find("no such table"), KvbString::npos)
      << db_->getErrorMessage().asCstr();
}

}  // namespace
