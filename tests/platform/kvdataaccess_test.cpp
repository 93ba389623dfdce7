// Tests of kvdataaccess on native SQLite, SQLite through ODBC and PostgreSQL.
#include "kvdataaccess/kvdataaccess.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/dac_targets.h"
#include "support/temp_dir.h"

namespace {

struct Releaser {
  template <typename T>
  void operator()(T* object) const {
    object->release();
  }
};
using StatementPtr = std::unique_ptr<DacStatement, Releaser>;
using CursorPtr = std::unique_ptr<DacCursor, Releaser>;

using Row = std::vector<KvbDatavar>;

// Every remaining row of the cursor; a fetch error fails the test. Each
// value must be read over a non-null one, and a null must say so.
std::vector<Row> readAll(DacCursor* cursor) {
  std::vector<Row> rows;
  int fetched;
  while ((fetched = cursor->next()) == 1) {
    Row row(cursor->getNumCols(), KvbDatavar(7));
    for (int i = 0; i < cursor->getNumCols(); ++i) {
      EXPECT_TRUE(cursor->getValue(i, row[i]));
      EXPECT_EQ(cursor->isNull(i), row[i].isNull());
    }
    rows.push_back(row);
  }
  EXPECT_EQ(fetched, 0) << cursor->getErrorMessage().asCstr();
  return rows;
}

// Rows as "value:type" texts, values joined by "|", rows by ";".
std::string shown(const std::vector<Row>& rows) {
  std::string out;
  for (const Row& row : rows) {
    out += out.empty() ? "" : ";";
    for (size_t i = 0; i < row.size(); ++i)
      out += (i ? "|" : "") +
             (row[i].isNull() ? "null" : row[i].asString().str()) + ":" +
             kvbTypeToString(row[i].getType());
  }
  return out;
}

class DacTest : public DacTargetTest {
 protected:
  StatementPtr prepare(const std::string& sql) {
    StatementPtr statement(conn_->prepare(sql.c_str()));
    EXPECT_NE(statement, nullptr) << conn_->getErrorMessage().asCstr();
    return statement;
  }

  // Binds each value with its own type as the declared type.
  void run(DacStatement* statement, const Row& values) {
    for (size_t i = 0; i < values.size(); ++i)
      ASSERT_TRUE(statement->bind(static_cast<int>(i), values[i],
                                  values[i].getType(), 0))
          << statement->getErrorMessage().asCstr();
    ASSERT_TRUE(statement->execute()) << statement->getErrorMessage().asCstr();
  }

  std::vector<Row> query(const std::string& sql) {
    StatementPtr statement = prepare(sql);
    CursorPtr cursor(statement ? statement->select() : nullptr);
    if (!cursor) {
      ADD_FAILURE() << sql << ": "
                    << (statement ? statement->getErrorMessage().asCstr() : "");
      return {};
    }
    return readAll(cursor.get());
  }

  int64_t count(const std::string& table) {
    std::vector<Row> rows = query("SELECT COUNT(*) FROM " + table);
    return rows.size() == 1 ? rows[0][0].asInt64() : -1;
  }

  // A table of an integer, a real, a 64-bit integer and a text column.
  std::string valueTable() {
    std::string name = table("kvt_values");
    exec("CREATE TABLE " + name + " (i " + type(kvbTypeInt) + ", r " +
         type(kvbTypeReal) + ", b " + type(kvbTypeInt64) + ", s " +
         type(kvbTypeString, 200) + ")");
    return name;
  }

  std::string type(int kvbType, int size = 0) {
    return conn_->getTypeName(kvbType, size).asCstr();
  }
};

TEST_P(DacTest, ReportsItsDatabaseKindAndLimits) {
  const DacDbKind expected =
      GetParam() == DacTarget::kPostgres ? DAC_DB_POSTGRESQL : DAC_DB_SQLITE;
  EXPECT_EQ(conn_->getDbKind(), expected);
  EXPECT_FALSE(conn_->getDbmsName().isEmpty());
  EXPECT_STREQ(conn_->getIdentifierQuote().asCstr(), "\"");
  EXPECT_EQ(conn_->getMaxIdentifierLength(),
            expected == DAC_DB_POSTGRESQL ? 63 : 255);
  EXPECT_EQ(conn_->getMaxTextLength(), dacGetMaxTextLength(expected));
  EXPECT_STREQ(conn_->getTypeName(kvbTypeString, 20).asCstr(), "VARCHAR(20)");
}

TEST_P(DacTest, RoundTripsValuesOfEveryKindNatively) {
  const std::string name = valueTable();
  const KvbString text("O'Brien said \"hi\"; Grüße, 日本語, 😀");
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, r, b, s) VALUES (?, ?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  run(insert.get(), {42, 1.0 / 3.0, int64_t{9007199254740993}, text});
  run(insert.get(), {INT_MIN, KvbDate(19723.5), INT64_MIN, ""});

  StatementPtr select =
      prepare("SELECT i, r, b, s FROM " + name + " ORDER BY i DESC");
  CursorPtr cursor(select->select());
  ASSERT_NE(cursor, nullptr) << select->getErrorMessage().asCstr();
  std::string columns;
  for (int i = 0; i < cursor->getNumCols(); ++i)
    columns += cursor->getColName(i).toLower().str() + ":" +
               kvbTypeToString(cursor->getColType(i)) + " ";
  EXPECT_EQ(columns, "i:integer r:real b:bigint s:text ");
  std::vector<Row> rows = readAll(cursor.get());
  ASSERT_EQ(rows.size(), 2u);
  // The SQLite ODBC driver reads reals through 15-digit text; the others
  // give the stored double.
  if (GetParam() == DacTarget::kOdbcSqlite)
    EXPECT_NEAR(rows[0][1].asDouble(), 1.0 / 3.0, 1e-15);
  else
    EXPECT_EQ(rows[0][1].asDouble(), 1.0 / 3.0);
  rows[0][1] = KvbDatavar(0.5);
  EXPECT_EQ(shown(rows), "42:integer|0.5:real|9007199254740993:bigint|" +
                             text.str() +
                             ":text;-2147483648:integer|19723.5:real|"
                             "-9223372036854775808:bigint|:text");
}

TEST_P(DacTest, BindsAndReadsTypedNulls) {
  const std::string name = valueTable();
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, r, b, s) VALUES (?, ?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  const int types[] = {kvbTypeInt, kvbTypeReal, kvbTypeInt64, kvbTypeString};
  // Typed nulls, then untyped nulls that take the declared type.
  run(insert.get(),
      {KvbDatavar::nullOf(kvbTypeInt), KvbDatavar::nullOf(kvbTypeReal),
       KvbDatavar::nullOf(kvbTypeInt64), KvbDatavar::nullOf(kvbTypeString)});
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(insert->bind(i, KvbDatavar(), types[i], 0));
  ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();

  StatementPtr select = prepare("SELECT i, r, b, s FROM " + name);
  CursorPtr cursor(select->select());
  ASSERT_NE(cursor, nullptr);
  const std::string nulls = "null:integer|null:real|null:bigint|null:text";
  EXPECT_EQ(shown(readAll(cursor.get())), nulls + ";" + nulls);
  EXPECT_TRUE(cursor->isNull(0));  // no current row
}

TEST_P(DacTest, ConvertsOnlyWhenTheDeclaredTypeDemands) {
  const std::string name = valueTable();
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, r, b, s) VALUES (?, ?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  EXPECT_TRUE(insert->bind(0, "17", kvbTypeInt, 0));
  EXPECT_TRUE(insert->bind(1, 2, kvbTypeReal, 0));
  EXPECT_TRUE(insert->bind(2, 5, kvbTypeInt64, 0));
  EXPECT_TRUE(insert->bind(3, 2.5, kvbTypeString, 20));
  ASSERT_TRUE(insert->execute()) << insert->getErrorMessage().asCstr();
  EXPECT_FALSE(insert->bind(0, "abc", kvbTypeInt, 0));
  EXPECT_FALSE(insert->getErrorMessage().isEmpty());
  EXPECT_FALSE(insert->bind(-1, 1, kvbTypeInt, 0));

  EXPECT_EQ(shown(query("SELECT i, r, b, s FROM " + name)),
            "17:integer|2:real|5:bigint|2.5:text");
  // A column without a declared type takes the type of its value.
  StatementPtr expressions = prepare("SELECT i + 0.5, i * 2 FROM " + name);
  CursorPtr cursor(expressions->select());
  ASSERT_NE(cursor, nullptr);
  ASSERT_EQ(cursor->next(), 1);
  EXPECT_EQ(cursor->getColType(0), kvbTypeReal);
  EXPECT_NE(cursor->getColType(1), kvbTypeReal);
}

TEST_P(DacTest, ReadsLongTextsWhole) {
  // Multi-byte characters fall on every boundary of the read pieces.
  std::string text;
  while (text.size() < 150000) text += "aé€😀 'q' ";
  const std::string name = table("kvt_long");
  exec("CREATE TABLE " + name + " (s " +
       type(kvbTypeString, static_cast<int>(text.size())) + ")");
  StatementPtr insert = prepare("INSERT INTO " + name + " (s) VALUES (?)");
  ASSERT_NE(insert, nullptr);
  run(insert.get(), {KvbString(text)});

  std::vector<Row> rows = query("SELECT s, s || 'x' FROM " + name);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].textLength(), text.size());
  EXPECT_TRUE(rows[0][0] == KvbDatavar(KvbString(text)));
  EXPECT_TRUE(rows[0][1] == KvbDatavar(KvbString(text + "x")));
}

// A text bound to a column of block reads gets a buffer of 1024 bytes and
// its terminator: texts that fill it to one byte short, exactly, and one
// byte over come back whole, their last byte included.
TEST_P(DacTest, TextsAtTheSizeOfTheirBoundBufferReadBackWhole) {
  const std::string name = table("kvt_edge");
  exec("CREATE TABLE " + name + " (i " + type(kvbTypeInt) + ", s " +
       type(kvbTypeString, 2000) + ")");
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, s) VALUES (?, ?)");
  ASSERT_NE(insert, nullptr);
  auto text = [](size_t bytes) {
    return KvbString(std::string(bytes - 1, 'a') + "z");
  };
  const std::vector<size_t> sizes = {1024, 1025, 1026};
  for (size_t bytes : sizes)
    run(insert.get(), {static_cast<int>(bytes), text(bytes)});

  const std::vector<Row> rows =
      query("SELECT i, s FROM " + name + " ORDER BY i");
  ASSERT_EQ(rows.size(), sizes.size());
  for (const Row& row : rows)
    EXPECT_TRUE(row[1] == KvbDatavar(text(row[0].asInt())))
        << row[0].asInt() << " bytes read back as " << row[1].textLength();
}

// A text may hold NUL bytes. SQLite stores them; PostgreSQL's texts cannot
// hold one, so the value is refused when it is bound, with a reason that
// says so, rather than stored cut at the NUL.
TEST_P(DacTest, TextsWithANulByteAreStoredWholeOrRefused) {
  const std::string name = valueTable();
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, s) VALUES (?, ?)");
  ASSERT_NE(insert, nullptr);
  const std::vector<std::string> texts = {
      std::string("ab\0cd", 5), std::string("\0", 1), std::string("abc\0", 4)};
  for (size_t k = 0; k < texts.size(); ++k) {
    SCOPED_TRACE(k);
    const KvbDatavar value{KvbString(texts[k])};
    if (GetParam() != DacTarget::kPostgres) {
      run(insert.get(), {static_cast<int>(k), value});
      continue;
    }
    EXPECT_FALSE(insert->bind(1, value, kvbTypeString, 200));
    const KvbString refused = insert->getErrorMessage();
    EXPECT_EQ(refused.str(),
              "Binding \"INSERT INTO " + name +
                  " (i, s) VALUES (?, ?)\": the text of parameter 2 holds a "
                  "NUL byte, which PostgreSQL cannot store");
    EXPECT_EQ(refused.substr(dacNulByteRefusal(refused)).str(),
              " holds a NUL byte, which PostgreSQL cannot store");
    // Only at its end: a text that goes on merely quotes such a refusal.
    EXPECT_EQ(dacNulByteRefusal(refused + "; the load stopped"),
              KvbString::npos);
  }
  if (GetParam() == DacTarget::kPostgres) {
    EXPECT_EQ(count(name), 0);
    run(insert.get(), {7, KvbString("ab")});  // a text without one binds
    EXPECT_EQ(count(name), 1);
    return;
  }
  // Every byte is in the file. The SQLite ODBC driver reads a text only up
  // to its first NUL, so only the native route reads them all back.
  std::vector<std::string> stored;
  for (const Row& row : query("SELECT length(CAST(s AS BLOB)), s FROM " + name +
                              " ORDER BY i")) {
    EXPECT_EQ(row[0].asInt64(),
              static_cast<int64_t>(texts[stored.size()].size()));
    stored.push_back(std::string(row[1].textData(), row[1].textLength()));
  }
  ASSERT_EQ(stored.size(), texts.size());
  if (!isOdbc()) {
    EXPECT_EQ(stored, texts);
  }
}

// Rows that the driver hands out in blocks come back in order across the
// blocks' edges: values of every kind, nulls, and long texts whole, each
// readable in any order and more than once.
TEST_P(DacTest, ReadsManyRowsWithNullsAndLongTextsAcrossBlocks) {
  const int n = 150;
  const std::string name = table("kvt_many");
  exec("CREATE TABLE " + name + " (i " + type(kvbTypeInt) + ", b " +
       type(kvbTypeInt64) + ", r " + type(kvbTypeReal) + ", s " +
       type(kvbTypeString, 3000) + ")");
  auto text = [](int k) {
    if (k % 7 == 0) return KvbDatavar::nullOf(kvbTypeString);
    std::string s = "row " + std::to_string(k);
    if (k % 5 == 0)
      for (int c = 0; c < 1500; ++c) s += "\xC3\xA9";
    return KvbDatavar(KvbString(s));
  };
  auto real = [](int k) {
    return k % 11 == 0 ? KvbDatavar::nullOf(kvbTypeReal) : KvbDatavar(k + 0.25);
  };
  const int64_t step = int64_t{1} << 33;
  ASSERT_TRUE(conn_->setAutoCommit(false));
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, b, r, s) VALUES (?, ?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  for (int k = 1; k <= n; ++k)
    run(insert.get(), {k, KvbDatavar(k * step), real(k), text(k)});
  ASSERT_TRUE(conn_->commit() && conn_->setAutoCommit(true));

  StatementPtr select = prepare("SELECT i, b, r, s FROM " + name + " ORDER BY i");
  CursorPtr cursor(select->select());
  ASSERT_NE(cursor, nullptr) << select->getErrorMessage().asCstr();
  int k = 0;
  KvbDatavar value;
  while (cursor->next() == 1) {
    ++k;
    const Row expected = {k, KvbDatavar(k * step), real(k), text(k)};
    for (int c = 3; c >= 0; --c) {  // backwards, then the text again
      ASSERT_TRUE(cursor->getValue(c, value));
      EXPECT_EQ(shown({{value}}), shown({{expected[c]}})) << "row " << k;
      EXPECT_EQ(cursor->isNull(c), expected[c].isNull());
    }
    ASSERT_TRUE(cursor->getValue(3, value));
    EXPECT_TRUE(value == expected[3]) << "row " << k;
  }
  EXPECT_EQ(k, n) << cursor->getErrorMessage().asCstr();
  EXPECT_EQ(cursor->next(), 0);
}

// The statement's later runs read their own rows. Through ODBC, the cursor
// of an earlier run holds its current row, a long text included, where the
// driver no longer does (a native SQLite cursor reads the statement's).
TEST_P(DacTest, ACursorKeepsItsCurrentRowWhenItsStatementRunsAgain) {
  const std::string name = table("kvt_rerun");
  exec("CREATE TABLE " + name + " (i " + type(kvbTypeInt) + ", s " +
       type(kvbTypeString, 3000) + ")");
  const std::string longText(2500, 'L');
  exec("INSERT INTO " + name + " (i, s) VALUES (1, '" + longText + "')");
  exec("INSERT INTO " + name + " (i, s) VALUES (2, 'short')");
  StatementPtr select =
      prepare("SELECT i, s FROM " + name + " WHERE i >= ? ORDER BY i");
  ASSERT_TRUE(select->bind(0, 1, kvbTypeInt, 0));
  CursorPtr first(select->select());
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->next(), 1);
  ASSERT_TRUE(select->bind(0, 2, kvbTypeInt, 0));
  CursorPtr second(select->select());
  ASSERT_NE(second, nullptr);
  // The second run's rows go unread; running the statement as a write
  // ends them too.
  ASSERT_TRUE(select->execute()) << select->getErrorMessage().asCstr();
  EXPECT_EQ(second->next(), 2);
  EXPECT_EQ(shown(readAll(CursorPtr(select->select()).get())),
            "2:integer|short:text");
  KvbDatavar value;
  if (isOdbc()) {
    ASSERT_TRUE(first->getValue(1, value));
    EXPECT_EQ(value.textLength(), longText.size());
    ASSERT_TRUE(first->getValue(0, value));
    EXPECT_EQ(value.asInt(), 1);
  }
  EXPECT_EQ(first->next(), 2);
}

TEST_P(DacTest, ReusesPreparedStatementsWithRebinding) {
  const std::string name = valueTable();
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, s) VALUES (?, ?)");
  ASSERT_NE(insert, nullptr);
  for (int i = 1; i <= 3; ++i) {
    int64_t rows = -1;
    ASSERT_TRUE(insert->bind(0, i, kvbTypeInt, 0));
    ASSERT_TRUE(insert->bind(1, KvbString::fromInt(i * 10), kvbTypeString, 20));
    ASSERT_TRUE(insert->execute(&rows));
    EXPECT_EQ(rows, 1);
  }
  int64_t updated = -1;
  ASSERT_TRUE(conn_->execute(
      ("UPDATE " + name + " SET r = 1 WHERE i > 1").c_str(), &updated));
  EXPECT_EQ(updated, 2);

  StatementPtr select =
      prepare("SELECT s FROM " + name + " WHERE i > ? ORDER BY i");
  ASSERT_TRUE(select->bind(0, 1, kvbTypeInt, 0));
  CursorPtr first(select->select());
  ASSERT_NE(first, nullptr);
  ASSERT_EQ(first->next(), 1);
  ASSERT_TRUE(select->bind(0, 2, kvbTypeInt, 0));
  CursorPtr second(select->select());
  ASSERT_NE(second, nullptr);
  // Running the statement again ends the rows of its earlier cursor.
  EXPECT_EQ(first->next(), 2);
  EXPECT_FALSE(first->getErrorMessage().isEmpty());
  std::vector<Row> rows = readAll(second.get());
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_STREQ(rows[0][0].textData(), "30");
}

// A statement meant to run once (sent with its run through ODBC) binds and
// runs as a prepared one, runs again with new values, and a fault in its
// text fails it with the database's reason at the latest when it runs.
TEST_P(DacTest, AStatementToRunOnceBindsRunsAgainAndFailsWithItsReason) {
  const std::string name = valueTable();
  ASSERT_TRUE(conn_->execute(("INSERT INTO " + name +
                              " (i, s) VALUES (1, 'a'), (2, 'b'), (3, 'c')")
                                 .c_str()));
  StatementPtr select(conn_->prepareToRunOnce(
      ("SELECT s FROM " + name + " WHERE i > ? ORDER BY i").c_str()));
  ASSERT_NE(select, nullptr) << conn_->getErrorMessage().asCstr();
  for (int above : {1, 2}) {
    ASSERT_TRUE(select->bind(0, above, kvbTypeInt, 0));
    CursorPtr rows(select->select());
    ASSERT_NE(rows, nullptr) << select->getErrorMessage().asCstr();
    EXPECT_EQ(shown(readAll(rows.get())),
              above == 1 ? "b:text;c:text" : "c:text");
  }
  StatementPtr bad(conn_->prepareToRunOnce(
      ("SELECT no_such_column FROM " + name).c_str()));
  KvbString reason = conn_->getErrorMessage();
  if (bad) {
    CursorPtr rows(bad->select());
    if (rows) {
      EXPECT_EQ(rows->next(), 2);
      reason = rows->getErrorMessage();
    } else {
      reason = bad->getErrorMessage();
    }
  }
  EXPECT_NE(reason.find("no_such_column"), KvbString::npos) << reason.asCstr();
}

// Row after row through one statement, a parameter's kind, null state and
// text length change: each row stores its own values.
TEST_P(DacTest, AReusedStatementStoresEachRowsOwnValues) {
  const std::string name = valueTable();
  StatementPtr insert =
      prepare("INSERT INTO " + name + " (i, r, s) VALUES (?, ?, ?)");
  ASSERT_NE(insert, nullptr);
  const std::string longText(150, 'y');
  const std::vector<Row> rows = {
      {KvbDatavar(1), KvbDatavar(1), KvbDatavar("a")},
      {KvbDatavar(2), KvbDatavar(2.5), KvbDatavar(longText.c_str())},
      {KvbDatavar(3), KvbDatavar::nullOf(kvbTypeReal), KvbDatavar("b")},
      {KvbDatavar(4), KvbDatavar(4.25), KvbDatavar::nullOf(kvbTypeString)},
      {KvbDatavar(5), KvbDatavar(5.5), KvbDatavar("c")},
  };
  for (const Row& row : rows) run(insert.get(), row);
  EXPECT_EQ(shown(query("SELECT i, r, s FROM " + name + " ORDER BY i")),
            "1:integer|1:real|a:text;2:integer|2.5:real|" + longText +
                ":text;3:integer|null:real|b:text;4:integer|4.25:real|"
                "null:text;5:integer|5.5:real|c:text");
}

TEST_P(DacTest, CursorOutlivesItsStatementAndConnection) {
  const std::string name = valueTable();
  exec("INSERT INTO " + name + " (i) VALUES (1)");
  exec("INSERT INTO " + name + " (i) VALUES (2)");
  KvbString error;
  DacConnection* other =
      dacCreateDataSource(dacConnectionString(GetParam(), file_), &error);
  ASSERT_NE(other, nullptr) << error.asCstr();
  DacStatement* select =
      other->prepare(("SELECT i FROM " + name + " ORDER BY i").c_str());
  ASSERT_NE(select, nullptr);
  CursorPtr cursor(select->select());
  select->release();
  other->release();
  ASSERT_NE(cursor, nullptr);
  std::vector<Row> rows = readAll(cursor.get());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1][0].asInt(), 2);
}

TEST_P(DacTest, ReportsErrorsWithTheirText) {
  EXPECT_FALSE(conn_->execute("SELEC 1"));
  const KvbString text = conn_->getErrorMessage();
  EXPECT_FALSE(text.isEmpty());
  if (isOdbc()) {
    EXPECT_TRUE(std::regex_search(text.str(), std::regex("\\[[0-9A-Z]{5}\\] ")))
        << text.asCstr();
  }

  // Some drivers prepare lazily, so the missing table may show either when
  // preparing or when running.
  StatementPtr statement(conn_->prepare("SELECT x FROM kvt_no_such_table"));
  if (statement) {
    EXPECT_EQ(statement->select(), nullptr);
    EXPECT_FALSE(statement->getErrorMessage().isEmpty());
  } else {
    EXPECT_FALSE(conn_->getErrorMessage().isEmpty());
  }

  StatementPtr one = prepare("SELECT 1");
  CursorPtr cursor(one->select());
  ASSERT_NE(cursor, nullptr);
  KvbDatavar value;
  EXPECT_FALSE(cursor->getValue(0, value));  // before the first row
  ASSERT_EQ(cursor->next(), 1);
  EXPECT_FALSE(cursor->getValue(1, value));
  EXPECT_FALSE(cursor->getErrorMessage().isEmpty());
  EXPECT_EQ(cursor->getColType(1), kvbTypeUnknown);
  EXPECT_TRUE(cursor->getColName(-1).isNull());

  // A server's message longer than the driver's usual buffer comes whole.
  if (GetParam() != DacTarget::kPostgres) return;
  EXPECT_FALSE(conn_->execute(
      "DO $$ BEGIN RAISE EXCEPTION 'long%', repeat('x', 2000); END $$"));
  EXPECT_NE(
      conn_->getErrorMessage().find(("long" + std::string(2000, 'x')).c_str()),
      KvbString::npos)
      << conn_->getErrorMessage().asCstr();
}

// A SQLite file that another connection is writing is busy, a reason the
// caller can wait on; another failure is not.
TEST_P(DacTest, AFileBeingWrittenElsewhereIsBusy) {
  if (GetParam() == DacTarget::kPostgres)
    GTEST_SKIP() << "a server makes writers wait for rows, not for the file";
  const std::string name = valueTable();
  const std::string insert = "INSERT INTO " + name + " (i) VALUES (1)";
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
  KvbString error;
  DacConnection* other = dacCreateDataSource(
      dacConnectionString(GetParam(), file_) + (isOdbc() ? "Timeout=50;" : ""),
      &error);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  ASSERT_NE(other, nullptr) << error.asCstr();
  ASSERT_TRUE(conn_->setAutoCommit(false));
  exec(insert);
  EXPECT_FALSE(other->execute(insert.c_str()));
  EXPECT_TRUE(other->isBusy()) << other->getErrorMessage().asCstr();
  ASSERT_TRUE(conn_->rollback());
  EXPECT_FALSE(other->execute("SELEC 1"));
  EXPECT_FALSE(other->isBusy()) << other->getErrorMessage().asCstr();
  other->release();
}

// A statement that gives no rows, run as a query, is run and ends at once.
TEST_P(DacTest, AQueryOfAStatementWithoutRowsRunsItAndEnds) {
  const std::string name = valueTable();
  StatementPtr insert = prepare("INSERT INTO " + name + " (i) VALUES (4)");
  CursorPtr cursor(insert->select());
  ASSERT_NE(cursor, nullptr) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(cursor->getNumCols(), 0);
  EXPECT_EQ(cursor->next(), 0);
  EXPECT_EQ(count(name), 1);
}

// A query run without reading its rows, row count or not, leaves the
// statement fit to run again and to give its rows.
TEST_P(DacTest, AQueryRunWithoutReadingItsRowsRunsAgain) {
  const std::string name = valueTable();
  exec("INSERT INTO " + name + " (i) VALUES (1)");
  StatementPtr select = prepare("SELECT i FROM " + name);
  ASSERT_NE(select, nullptr);
  int64_t rows = -1;
  EXPECT_TRUE(select->execute()) << select->getErrorMessage().asCstr();
  EXPECT_TRUE(select->execute(&rows)) << select->getErrorMessage().asCstr();
  EXPECT_TRUE(select->execute()) << select->getErrorMessage().asCstr();
  CursorPtr cursor(select->select());
  ASSERT_NE(cursor, nullptr) << select->getErrorMessage().asCstr();
  EXPECT_EQ(readAll(cursor.get()).size(), 1u);
}

TEST_P(DacTest, RollbackDiscardsUncommittedRows) {
  const std::string name = valueTable();
  const std::string insert = "INSERT INTO " + name + " (i) VALUES (1)";
  ASSERT_TRUE(conn_->setAutoCommit(false));
  exec(insert);
  ASSERT_TRUE(conn_->rollback()) << conn_->getErrorMessage().asCstr();
  EXPECT_EQ(count(name), 0);
  exec(insert);
  ASSERT_TRUE(conn_->commit()) << conn_->getErrorMessage().asCstr();
  exec(insert);
  ASSERT_TRUE(conn_->rollback());
  EXPECT_EQ(count(name), 1);
  // Turning autocommit on commits the open transaction.
  exec(insert);
  ASSERT_TRUE(conn_->setAutoCommit(true));
  ASSERT_TRUE(conn_->rollback());
  EXPECT_EQ(count(name), 2);
}

INSTANTIATE_DAC_TARGETS(DacTest);

TEST(DacConnectionString, DropsKvxtypeAndKeepsBracedValues) {
  EXPECT_STREQ(dacOdbcConnectionString("DSN=x;KVXTYPE=ODBC;").asCstr(),
               "DSN=x;");
  EXPECT_STREQ(dacOdbcConnectionString(
                   " Driver={PostgreSQL Unicode} ;kvxType=odbc;;Pwd={a;b}}c}")
                   .asCstr(),
               "Driver={PostgreSQL Unicode};Pwd={a;b}}c};");
  EXPECT_TRUE(dacOdbcConnectionString("DSN=x;Pwd={open").isNull());
  EXPECT_TRUE(dacOdbcConnectionString("DSN=x;novalue").isNull());
}

// No part of a password reaches a text: not one that holds ";" inside
// braces, nor one whose key is spaced or in another case.
TEST(DacConnectionString, ShownWithoutItsPassword) {
  EXPECT_STREQ(dacConnectionStringWithoutPassword(
                   "Driver={PostgreSQL Unicode};Uid=kv; pwd = {se;cr}}et} ;"
                   "PASSWORD=other;KVXTYPE=ODBC")
                   .asCstr(),
               "Driver={PostgreSQL Unicode};Uid=kv");
  EXPECT_STREQ(
      dacConnectionStringWithoutPassword("FILE={/a;b.db};CREATE=TRUE").asCstr(),
      "FILE={/a;b.db};CREATE=TRUE");
  EXPECT_TRUE(dacConnectionStringWithoutPassword("DSN=x;Pwd={open").isNull());
}

// The file that a string opens directly, named in texts by its path: its
// keys in any case, braces undone; none for any other string.
TEST(DacConnectionString, NamesTheSqliteFileItOpens) {
  EXPECT_STREQ(dacSqliteFilePath("file={/a;b}}.db};create=true;KvxType=sqlite")
                   .asCstr(),
               "/a;b}.db");
  EXPECT_STREQ(
      dacSqliteFilePath(dacSqliteFileConnectionString(" /x y.db")).asCstr(),
      " /x y.db");
  for (const char* none :
       {"FILE=/a.db;KVXTYPE=ODBC", "FILE=/a.db", "FILE=;KVXTYPE=SQLITE",
        "CREATE=TRUE;KVXTYPE=SQLITE", "FILE={/a.db;KVXTYPE=SQLITE"})
    EXPECT_TRUE(dacSqliteFilePath(none).isNull()) << none;
}

TEST(DacConnectionString, OpensSqliteFilesByBracedName) {
  const std::string file = testTmpDir() + "/" + uniqueTestName("dac;braced");
  KvbString error;
  DacConnection* conn = dacCreateDataSource(
      ("file={" + file + "};create=true;KVXTYPE=sqlite").c_str(), &error);
  ASSERT_NE(conn, nullptr) << error.asCstr();
  EXPECT_EQ(conn->getDbKind(), DAC_DB_SQLITE);
  conn->release();
  EXPECT_EQ(access(file.c_str(), F_OK), 0);
  std::remove(file.c_str());
}

TEST(DacConnectionString, RefusesWhatCannotBeOpened) {
  const std::string missing = testTmpDir() + "/" + uniqueTestName("missing");
  KvbString error;
  EXPECT_EQ(dacCreateDataSource(("FILE=" + missing + ";KVXTYPE=SQLITE").c_str(),
                                &error),
            nullptr);
  EXPECT_NE(error.find(missing.c_str()), KvbString::npos) << error.asCstr();
  EXPECT_NE(access(missing.c_str(), F_OK), 0);

  error = "";
  EXPECT_EQ(dacCreateDataSource("CREATE=TRUE;KVXTYPE=SQLITE", &error), nullptr);
  EXPECT_FALSE(error.isEmpty());

  EXPECT_EQ(dacCreateDataSource("DSN=kv_no_such_dsn;KVXTYPE=ODBC;", &error),
            nullptr);
  EXPECT_NE(error.find("[IM002]"), KvbString::npos) << error.asCstr();

  // A text that is no connection string says where it goes wrong, by the
  // attribute's position only: a password with an unbraced ";" ends in
  // such an attribute, and no piece of it ("Zq9") may be shown.
  const struct {
    const char *text, *reason;
  } unreadable[] = {
      {"=Zq9;KVXTYPE=SQLITE", "attribute 1 has no key"},
      {"Pwd={Zq9}b;KVXTYPE=ODBC",
       "text follows the braced value of attribute 1"},
      {"DSN=x;;Pwd=Qx7;Zq9Secret;", "attribute 3 has no '='"},
      {"DSN=x; Zq9={Secret",
       "the braced value of attribute 2 has no closing '}'"}};
  for (const auto& u : unreadable) {
    EXPECT_EQ(dacCreateDataSource(u.text, &error), nullptr);
    EXPECT_EQ(error.str(),
              std::string("the connection string cannot be read: ") + u.reason);
    EXPECT_TRUE(dacOdbcConnectionString(u.text).isNull());
  }
  // A text without any "=" holds no value, so no password: it is quoted
  // whole, as the path of a file that it most likely is, with the form
  // that opens a SQLite file.
  for (const char* path : {"x.db", " /data/x.db ", "a.db;b.db"}) {
    EXPECT_EQ(dacCreateDataSource(path, &error), nullptr);
    EXPECT_EQ(error.str(), "the connection string \"" +
                               KvbString(path).trim().str() +
                               "\" cannot be read: it has no '='; a SQLite "
                               "file is given as FILE=<path>;KVXTYPE=SQLITE");
  }
}

// The SQLite ODBC drivers take a connection string without a database file
// as the name of a file to create in the current folder. Such strings are
// refused before the driver sees them, and no file appears.
TEST(DacConnectionString, RefusesASqliteDriverWithoutADatabaseFile) {
  TempDir dir;
  const WorkingFolder inside(dir.path());
  const char* const withoutFile[] = {"Driver=SQLite3;Database=",
                                     "Driver=SQLite3;Database=;",
                                     "driver={SQLite3};DATABASE={};",
                                     "Driver=SQLite3;Database= ;Timeout=100",
                                     "Driver=SQLite3;",
                                     "Driver=SQLite",
                                     "Driver=SQLite3;KVXTYPE=ODBC;"};
  for (const char* text : withoutFile) {
    KvbString error;
    EXPECT_EQ(dacCreateDataSource(text, &error), nullptr) << text;
    EXPECT_NE(error.find("names no database file (Database=) for the SQLite "
                         "ODBC driver"),
              KvbString::npos)
        << text << ": " << error.asCstr();
  }
  // The native route refuses an empty FILE alike.
  KvbString error;
  EXPECT_EQ(dacCreateDataSource("FILE=;CREATE=TRUE;KVXTYPE=SQLITE", &error),
            nullptr);
  EXPECT_EQ(error.str(), "the connection string names no FILE");
  // A file named by Database= opens as before.
  DacConnection* named =
      dacCreateDataSource("Driver=SQLite3;Database=named.db;", &error);
  ASSERT_NE(named, nullptr) << error.asCstr();
  named->release();
  std::vector<std::string> made;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    made.push_back(entry.path().filename().string());
  EXPECT_EQ(made, std::vector<std::string>{"named.db"});
}

TEST(DacTypeNames, FollowTheDialectOfEachKind) {
  const struct {
    DacDbKind kind;
    int type, size;
    const char* name;
  } cases[] = {
      {DAC_DB_PRIMARY_INDEX, kvbTypeString, 40, "VARCHAR(40)"},
      {DAC_DB_PRIMARY_INDEX, kvbTypeReal, 0, "FLOAT"},
      {DAC_DB_PRIMARY_INDEX, kvbTypeString, 0, "VARCHAR(32000)"},
      {DAC_DB_POSTGRESQL, kvbTypeDate, 0, "DOUBLE PRECISION"},
      {DAC_DB_POSTGRESQL, kvbTypeString, 20000000, "VARCHAR(10485760)"},
      {DAC_DB_SQLITE, kvbTypeInt64, 0, "BIGINT"}};
  for (const auto& c : cases)
    EXPECT_STREQ(dacGetTypeName(c.kind, c.type, c.size).asCstr(), c.name);
  EXPECT_TRUE(dacGetTypeName(DAC_DB_SQLITE, kvbTypeUnknown, 0).isNull());
}

// A server's refusal of a prepared statement that the PostgreSQL driver
// named itself, missing from the session (as when a pooler in transaction
// mode hands the next transaction to another server session) or there
// already, tells the host which setting of the connection string cures it;
// any other refusal keeps the server's text alone. The server raises each
// state with its own words, so the cases do not depend on which session a
// pooler picks.
TEST(DacPostgresPoolerTexts, ALostDriverStatementNamesTheSettingThatCuresIt) {
  if (postgresConnectionString().empty())
    GTEST_SKIP() << "KV_TEST_PG_CONNECTION is not set";
  const std::string advice =
      "The database connection goes through a pooler that lost the driver's "
      "prepared statement; add UseServerSidePrepare=0 to the connection "
      "string: ";
  struct Case {
    const char* state;
    const char* message;
    bool advised;
  } cases[] = {
      {"26000", "prepared statement \"_PLAN0x6130001\" does not exist", true},
      {"42P05", "prepared statement \"_PLAN0x6130001\" already exists", true},
      // A statement that a host prepared under a name of its own.
      {"26000", "prepared statement \"kv_own\" does not exist", false},
      {"42P01", "relation \"prepared statement \"_PLAN0x1\"\" does not exist",
       false},
  };
  DacConnection* conn =
      dacCreateDataSource(postgresConnectionString().c_str(), nullptr);
  ASSERT_NE(conn, nullptr);
  for (const Case& c : cases) {
    EXPECT_FALSE(conn->execute(
        kvbStringFormat("DO $$ BEGIN RAISE EXCEPTION USING ERRCODE = '%s', "
                        "MESSAGE = '%s'; END $$",
                        c.state, c.message)));
    const std::string text = conn->getErrorMessage().str();
    const std::string record = std::string("[") + c.state + "] ";
    const size_t at = text.find(record);
    ASSERT_NE(at, std::string::npos) << text;
    EXPECT_EQ(text.compare(at + record.size(), advice.size(), advice) == 0,
              c.advised)
        << text;
    EXPECT_NE(text.find(c.message), std::string::npos) << text;
  }

  // The driver's own statement, gone from the session within one
  // transaction (which keeps its session also behind a pooler), fails with
  // the advice where the driver prepares on the server.
  ASSERT_TRUE(conn->setAutoCommit(false));
  DacStatement* statement = conn->prepare("SELECT 1");
  ASSERT_NE(statement, nullptr) << conn->getErrorMessage().asCstr();
  EXPECT_TRUE(statement->execute()) << statement->getErrorMessage().asCstr();
  ASSERT_TRUE(conn->execute("DEALLOCATE ALL"));
  const bool ranAgain = statement->execute();
  const std::string text = statement->getErrorMessage().str();
  if (std::regex_search(postgresConnectionString(),
                        std::regex("(^|;)UseServerSidePrepare=0(;|$)",
                                   std::regex::icase)))
    EXPECT_TRUE(ranAgain) << text;
  else
    EXPECT_NE(text.find("[26000] " + advice), std::string::npos) << text;
  statement->release();
  conn->rollback();
  conn->release();
}

// A connection that keeps no statements on the server (as behind a
// connection pooler in transaction mode) runs each statement outside a
// transaction in one of its own, so that the driver's round trips for it
// share one server session: each commits at once, a refused one leaves
// nothing and the next runs on, a query's rows outlast the commit, and the
// host's own transaction stays whole until its end.
TEST(DacPostgresPooledConnection, AStatementOutsideATransactionIsOneOnItsOwn) {
  if (postgresConnectionString().empty())
    GTEST_SKIP() << "KV_TEST_PG_CONNECTION is not set";
  std::string pooled = postgresConnectionString();
  if (!std::regex_search(pooled, std::regex("(^|;)UseServerSidePrepare=0(;|$)",
                                            std::regex::icase)))
    pooled += (pooled.empty() || pooled.back() == ';' ? "" : ";") +
              std::string("UseServerSidePrepare=0;");
  KvbString error;
  DacConnection* conn = dacCreateDataSource(pooled.c_str(), &error);
  DacConnection* other =
      dacCreateDataSource(postgresConnectionString().c_str(), &error);
  ASSERT_TRUE(conn && other) << error.asCstr();
  const std::string table = uniqueTestName("kvt_pooled");
  ASSERT_TRUE(conn->execute(("CREATE TABLE " + table +
                             " (i INTEGER, s VARCHAR(20))").c_str()))
      << conn->getErrorMessage().asCstr();
  const auto seenElsewhere = [&] {
    DacStatement* count =
        other->prepareToRunOnce(("SELECT COUNT(*) FROM " + table).c_str());
    DacCursor* cursor = count ? count->select() : nullptr;
    KvbDatavar value;
    const int rows = cursor && cursor->next() == 1 && cursor->getValue(0, value)
                         ? value.asInt()
                         : -1;
    if (cursor) cursor->release();
    if (count) count->release();
    return rows;
  };
  DacStatement* insert = conn->prepare(
      ("INSERT INTO " + table + " (i, s) VALUES (?, ?)").c_str());
  ASSERT_NE(insert, nullptr) << conn->getErrorMessage().asCstr();
  const auto add = [&](const KvbDatavar& i, const char* text) {
    return insert->bind(0, i, i.getType(), 0) &&
           insert->bind(1, KvbDatavar(text), kvbTypeString, 20) &&
           insert->execute();
  };
  EXPECT_TRUE(add(KvbDatavar(1), "a")) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 1);
  EXPECT_FALSE(add(KvbDatavar("not a number"), "x"));
  EXPECT_NE(insert->getErrorMessage().find("[22P02]"), KvbString::npos)
      << insert->getErrorMessage().asCstr();
  EXPECT_TRUE(add(KvbDatavar(2), "b")) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 2);

  DacStatement* select = conn->prepare(
      ("SELECT s FROM " + table + " WHERE i >= ? ORDER BY i").c_str());
  ASSERT_NE(select, nullptr) << conn->getErrorMessage().asCstr();
  ASSERT_TRUE(select->bind(0, KvbDatavar(1), kvbTypeInt, 0));
  DacCursor* cursor = select->select();
  ASSERT_NE(cursor, nullptr) << select->getErrorMessage().asCstr();
  std::string texts;
  KvbDatavar value;
  while (cursor->next() == 1 && cursor->getValue(0, value))
    texts += value.asString().str();
  cursor->release();
  EXPECT_EQ(texts, "ab");

  ASSERT_TRUE(conn->setAutoCommit(false));
  EXPECT_TRUE(add(KvbDatavar(3), "c")) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 2);
  ASSERT_TRUE(conn->rollback());
  ASSERT_TRUE(conn->setAutoCommit(true));
  EXPECT_TRUE(add(KvbDatavar(4), "d")) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 3);
  // Such a transaction runs the connection's start statements first: what
  // they set holds inside it; a start that fails fails the run with its
  // reason and stores nothing, and the next run goes on.
  conn->setOwnTransactionStart({"SET LOCAL lock_timeout = 1234"});
  DacStatement* setting =
      conn->prepare("SELECT current_setting('lock_timeout') WHERE 1 = ?");
  ASSERT_NE(setting, nullptr) << conn->getErrorMessage().asCstr();
  ASSERT_TRUE(setting->bind(0, KvbDatavar(1), kvbTypeInt, 0));
  cursor = setting->select();
  ASSERT_NE(cursor, nullptr) << setting->getErrorMessage().asCstr();
  EXPECT_TRUE(cursor->next() == 1 && cursor->getValue(0, value));
  EXPECT_EQ(value.asString().str(), "1234ms");
  cursor->release();
  setting->release();
  conn->setOwnTransactionStart({"SET LOCAL lock_timeout = 'never'"});
  EXPECT_FALSE(add(KvbDatavar(5), "e"));
  EXPECT_NE(insert->getErrorMessage().find("\"lock_timeout\""),
            KvbString::npos)
      << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 3);
  conn->setOwnTransactionStart({});
  EXPECT_TRUE(add(KvbDatavar(6), "f")) << insert->getErrorMessage().asCstr();
  EXPECT_EQ(seenElsewhere(), 4);
  // A statement without values is sent as it is: one that no transaction
  // can hold runs too.
  EXPECT_TRUE(conn->execute(("VACUUM " + table).c_str()))
      << conn->getErrorMessage().asCstr();

  select->release();
  insert->release();
  EXPECT_TRUE(conn->execute(("DROP TABLE " + table).c_str()));
  conn->release();
  other->release();
}

TEST(DacThreads, ConnectOnSeveralThreadsAtOnceToSqliteAndPostgres) {
  std::vector<DacTarget> targets = {DacTarget::kNativeSqlite,
                                    DacTarget::kOdbcSqlite};
  if (!postgresConnectionString().empty())
    targets.push_back(DacTarget::kPostgres);
  constexpr int kThreads = 6;
  std::vector<std::string> files;
  for (int i = 0; i < kThreads; ++i)
    files.push_back(testTmpDir() + "/" + uniqueTestName("dac_thread") + ".db");
  std::atomic<int> queried{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      for (DacTarget target : targets) {
        DacConnection* conn = dacCreateDataSource(
            dacConnectionString(target, files[i]).c_str(), nullptr);
        if (!conn) continue;
        DacStatement* statement = conn->prepare("SELECT 1");
        DacCursor* cursor = statement ? statement->select() : nullptr;
        if (cursor && cursor->next() == 1) ++queried;
        if (cursor) cursor->release();
        if (statement) statement->release();
        conn->release();
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(queried, kThreads * static_cast<int>(targets.size()));
  for (const std::string& file : files) std::remove(file.c_str());
}

}  // namespace
