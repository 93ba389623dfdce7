// A ReposCacheCursor holds its values compactly (numbers in place, texts in
// blocks, other kinds whole) and takes them from a database cursor as
// the back end reads them: every kind of value reads back from the copy
// exactly as it reads from the source, through every getter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rda/repos_cache_cursor.h"
#include "rda/repos_data_cursor.h"
#include "support/rda_targets.h"

namespace {

// Two rows with a value of each kind; the second row's texts differ in
// length from the first's, so that a text read from the wrong place shows.
std::vector<std::vector<KvbDatavar>> mixedRows() {
  const std::string withNul("a\0b", 3);
  return {
      {KvbDatavar(7), KvbDatavar(int64_t{1} << 40), KvbDatavar(2.5),
       KvbDatavar("12"), KvbDatavar(""), KvbDatavar::nullOf(kvbTypeInt),
       KvbDatavar(KvbDate(45000.25)), KvbDatavar(KvbString(withNul))},
      {KvbDatavar(-3), KvbDatavar(int64_t{-5}), KvbDatavar(-0.125),
       KvbDatavar("a longer text than sixteen bytes"),
       KvbDatavar::nullOf(kvbTypeString), KvbDatavar("x"),
       KvbDatavar::nullOf(kvbTypeDate), KvbDatavar(" 4.5 ")},
  };
}

TEST(ReposCacheValuesTest, EveryKindReadsBackAsFromTheSource) {
  const auto rows = mixedRows();
  const int columns = static_cast<int>(rows[0].size());
  ReposDataCursor source;
  source.setColumnCount(columns);
  for (const auto& row : rows) {
    source.addRow();
    for (int c = 0; c < columns; ++c) source.setValue(c, row[c]);
  }
  source.rewind();
  ReposCacheCursor copy;
  ASSERT_TRUE(copy.fill(&source, 0));
  ASSERT_EQ(copy.getRowCount(), rows.size());

  source.rewind();
  for (size_t r = 0; r < rows.size(); ++r) {
    ASSERT_EQ(source.next(), 1);
    ASSERT_EQ(copy.next(), 1);
    for (int c = 0; c < columns; ++c) {
      SCOPED_TRACE("row " + std::to_string(r) + " column " + std::to_string(c));
      EXPECT_TRUE(copy.getValue(c) == rows[r][c]);
      EXPECT_EQ(copy.getValue(c).getType(), rows[r][c].getType());
      EXPECT_EQ(copy.getString(c).str(), source.getString(c).str());
      EXPECT_EQ(copy.getString(c).isNull(), source.getString(c).isNull());
      EXPECT_EQ(copy.getInt(c), source.getInt(c));
      EXPECT_EQ(copy.getDouble(c), source.getDouble(c));
      EXPECT_EQ(copy.isNull(c), source.isNull(c));
    }
    // A number read after a text gives no trace of the text.
    EXPECT_STREQ(copy.getValue(0).textData(), "");
  }
  EXPECT_EQ(copy.next(), 0);
  EXPECT_TRUE(copy.isNull(0)) << "no current row after the end";
}

// Enough rows to fill several blocks of cells and of texts, with texts
// long enough to get blocks of their own among them.
TEST(ReposCacheValuesTest, ManyRowsAndLongTextsReadBackInOrder) {
  const int rows = 20000;
  auto text = [](int i) {
    return std::string(i % 997 == 0 ? 20000 + i : i % 50, 'a' + i % 26) +
           std::to_string(i);
  };
  ReposDataCursor source;
  source.setColumnCount(2);
  for (int i = 0; i < rows; ++i) {
    source.addRow();
    source.setValue(0, KvbDatavar(i));
    source.setValue(1, KvbDatavar(KvbString(text(i))));
  }
  source.rewind();
  ReposCacheCursor copy;
  ASSERT_TRUE(copy.fill(&source, 0));
  ASSERT_EQ(copy.getRowCount(), static_cast<uint64_t>(rows));
  for (int i = 0; i < rows; ++i) {
    ASSERT_EQ(copy.next(), 1);
    ASSERT_EQ(copy.getInt(0), i);
    ASSERT_EQ(copy.getString(1).str(), text(i)) << "row " << i;
  }
  EXPECT_EQ(copy.next(), 0);
}

// Blocks that one copy gives back serve the next: copies made, refilled
// and released in turn each keep their own values.
TEST(ReposCacheValuesTest, CopiesThatComeAndGoKeepTheirOwnValues) {
  const int rows = 30000;  // several blocks of cells and of texts
  auto fill = [&](ReposCacheCursor& copy, int seed) {
    ReposDataCursor source;
    source.setColumnCount(2);
    for (int i = 0; i < rows; ++i) {
      source.addRow();
      source.setValue(0, KvbDatavar(seed + i));
      source.setValue(1, KvbDatavar(std::to_string(seed * i).c_str()));
    }
    source.rewind();
    return copy.fill(&source, 0);
  };
  auto holds = [&](ReposCacheCursor& copy, int seed) {
    for (int i = 0; i < rows; ++i)
      if (copy.next() != 1 || copy.getInt(0) != seed + i ||
          copy.getString(1).str() != std::to_string(seed * i))
        return false;
    return copy.next() == 0;
  };
  auto* first = new ReposCacheCursor;
  ReposCacheCursor second, third;
  ASSERT_TRUE(fill(*first, 1));
  ASSERT_TRUE(fill(second, 2));
  first->release();
  ASSERT_TRUE(fill(third, 3));
  ASSERT_TRUE(fill(second, 4));  // a refill gives back and takes again
  EXPECT_TRUE(holds(third, 3));
  EXPECT_TRUE(holds(second, 4));
}

class ReposCacheQueryTest : public RdaTargetTest {
 protected:
  // Each row's values as the database cursor of `sql` gives them.
  std::vector<std::vector<KvbDatavar>> streamed(const std::string& sql) {
    std::vector<std::vector<KvbDatavar>> out;
    ReposDataAccessCursor* cursor = rda_->paramSelect(sql.c_str(), 0);
    EXPECT_NE(cursor, nullptr) << rda_->getErrorMessage().asCstr();
    while (cursor && cursor->next() == 1) {
      out.emplace_back();
      for (int c = 0; c < cursor->getNumCols(); ++c)
        out.back().push_back(cursor->getValue(c));
    }
    if (cursor) cursor->release();
    return out;
  }

  // A table of an integer, a 64-bit integer, a real and a text column.
  std::string valueTable(const char* code) {
    const std::string t = table(code);
    EXPECT_TRUE(exec("CREATE TABLE " + t +
                     " (a INTEGER, b BIGINT, c DOUBLE PRECISION, d "
                     "VARCHAR(40))"));
    return t;
  }
};

TEST_P(ReposCacheQueryTest, ACopyReadsBackWhatTheDatabaseCursorGives) {
  const std::string t = valueTable("CV");
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {1, int64_t{1} << 40, 2.5, "x"}));
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {2, int64_t{-5}, KvbDatavar::nullOf(kvbTypeReal), ""}));
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {3, KvbDatavar::nullOf(kvbTypeInt64), -0.125,
                    "a longer text than sixteen bytes"}));
  const std::string sql = "SELECT a, b, c, d FROM " + t + " ORDER BY a";
  const auto want = streamed(sql);
  ASSERT_EQ(want.size(), 3u);

  // Straight from the database, after the first row was read, and after
  // the cursor moved its rows into memory.
  for (int way = 0; way < 3; ++way) {
    SCOPED_TRACE("way " + std::to_string(way));
    ReposDataAccessCursor* query = rda_->paramSelect(sql.c_str(), 0);
    ASSERT_NE(query, nullptr);
    if (way == 1) {
      ASSERT_EQ(query->next(), 1);
    } else if (way == 2) {
      ASSERT_TRUE(query->cacheAll());
    }
    ReposCacheCursor copy;
    const bool filled = copy.fill(query, 0);
    query->release();
    ASSERT_TRUE(filled);
    const size_t first = way == 1 ? 1 : 0;
    ASSERT_EQ(copy.getRowCount(), want.size() - first);
    for (size_t r = first; r < want.size(); ++r) {
      ASSERT_EQ(copy.next(), 1);
      for (int c = 0; c < 4; ++c) {
        const KvbDatavar value = copy.getValue(c);
        EXPECT_TRUE(value == want[r][c]) << r << "," << c;
        EXPECT_EQ(copy.getString(c).str(), want[r][c].asString().str());
      }
    }
  }
}

// The database cursor reads the common kinds without building a whole
// value: every getter still answers as the whole value converts, and the
// current row stays readable when its statement runs again.
TEST_P(ReposCacheQueryTest, TheDatabaseCursorsGettersAnswerAsItsValues) {
  const std::string t = valueTable("CG");
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {1, int64_t{1} << 40, 2.75, " 42 "}));
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {2, KvbDatavar::nullOf(kvbTypeInt64),
                    KvbDatavar::nullOf(kvbTypeReal), "a longer text"}));
  ReposDataAccessStatement* select = rda_->createStatement(
      ("SELECT a, b, c, d FROM " + t + " WHERE a >= ? ORDER BY a").c_str());
  ASSERT_NE(select, nullptr);
  ASSERT_TRUE(select->setParameter(0, KvbDatavar(1)));
  ReposDataAccessCursor* cursor = select->select();
  ASSERT_NE(cursor, nullptr);
  for (int r = 0; r < 2; ++r) {
    ASSERT_EQ(cursor->next(), 1);
    for (int c = 0; c < 4; ++c) {
      SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
      const KvbDatavar value = cursor->getValue(c);
      EXPECT_EQ(cursor->getString(c).str(),
                value.isNull() ? "" : value.asString().str());
      EXPECT_EQ(cursor->getInt(c), value.asInt());
      EXPECT_EQ(cursor->getDouble(c), value.asDouble());
      EXPECT_EQ(cursor->isNull(c), value.isNull());
    }
  }
  EXPECT_EQ(cursor->getString(3).str(), "a longer text");
  // Binding restarts the statement; the cursor's row is its own.
  ASSERT_TRUE(select->setParameter(0, KvbDatavar(2)));
  ASSERT_TRUE(select->execute());
  EXPECT_EQ(cursor->getString(3).str(), "a longer text");
  EXPECT_EQ(cursor->getInt(0), 2);
  cursor->release();
  select->release();
}

// cacheAll() holds the rows compactly: read from memory, whether taken at
// the start or after a first row, every getter answers as the streamed
// value, and after the last row the cursor stays at its end.
TEST_P(ReposCacheQueryTest, RowsReadIntoMemoryAnswerAsStreamed) {
  const std::string t = valueTable("CM");
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {1, int64_t{1} << 40, 2.75, " 42 "}));
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {2, KvbDatavar::nullOf(kvbTypeInt64),
                    KvbDatavar::nullOf(kvbTypeReal), "a longer text"}));
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {-3, int64_t{-5}, -0.125, ""}));
  const std::string sql = "SELECT a, b, c, d FROM " + t + " ORDER BY b, a";
  const auto want = streamed(sql);
  ASSERT_EQ(want.size(), 3u);
  for (size_t first = 0; first < 2; ++first) {
    ReposDataAccessCursor* cursor = rda_->paramSelect(sql.c_str(), 0);
    ASSERT_NE(cursor, nullptr);
    if (first == 1) {
      ASSERT_EQ(cursor->next(), 1);
    }
    ASSERT_TRUE(cursor->cacheAll());
    EXPECT_TRUE(cursor->cacheAll()) << "a second call changes nothing";
    for (size_t r = first; r < want.size(); ++r) {
      ASSERT_EQ(cursor->next(), 1);
      for (int c = 0; c < 4; ++c) {
        SCOPED_TRACE(std::to_string(r) + "," + std::to_string(c));
        const KvbDatavar& value = want[r][c];
        EXPECT_TRUE(cursor->getValue(c) == value);
        EXPECT_EQ(cursor->getValue(c).getType(), value.getType());
        EXPECT_EQ(cursor->getString(c).str(),
                  value.isNull() ? "" : value.asString().str());
        EXPECT_EQ(cursor->getInt(c), value.asInt());
        EXPECT_EQ(cursor->getDouble(c), value.asDouble());
        EXPECT_EQ(cursor->isNull(c), value.isNull());
      }
    }
    EXPECT_EQ(cursor->next(), 0);
    EXPECT_EQ(cursor->next(), 0) << "the end stays the end";
    EXPECT_TRUE(cursor->isNull(0));
    EXPECT_EQ(cursor->getString(3).str(), "");
    cursor->release();
  }
}

// A query's row is read where the database holds it while nothing else
// can run its statement: the same text run again to its end, and a write,
// leave the row and the rows after it as they were. A cursor of a
// statement that runs again with other values keeps its row too.
TEST_P(ReposCacheQueryTest, ACursorsRowOutlastsOtherStatementsOnItsConnection) {
  const std::string t = valueTable("CO");
  for (int i = 1; i <= 3; ++i)
    ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                     {i, i, i / 2.0, KvbString("text " + std::to_string(i))}));
  const std::string sql = "SELECT d, a FROM " + t + " WHERE a >= ? ORDER BY a";
  const KvbDatavar one(1);
  ReposDataAccessCursor* cursor = rda_->paramSelect(sql.c_str(), 1, &one);
  ASSERT_NE(cursor, nullptr);
  ASSERT_EQ(cursor->next(), 1);
  ReposDataAccessStatement* again = rda_->createStatement(sql.c_str());
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(again->setParameter(0, KvbDatavar(3)));
  ASSERT_TRUE(again->execute());
  ASSERT_TRUE(exec("INSERT INTO " + t + " VALUES (?, ?, ?, ?)",
                   {9, 9, 0.5, "text 9"}));
  EXPECT_EQ(cursor->getString(0).str(), "text 1");
  ASSERT_EQ(cursor->next(), 1);
  EXPECT_EQ(cursor->getString(0).str(), "text 2");
  EXPECT_EQ(cursor->getInt(1), 2);
  cursor->release();

  ASSERT_TRUE(again->setParameter(0, KvbDatavar(1)));
  cursor = again->select();
  ASSERT_NE(cursor, nullptr);
  ASSERT_EQ(cursor->next(), 1);
  ASSERT_TRUE(again->setParameter(0, KvbDatavar(3)));
  ASSERT_TRUE(again->execute());
  EXPECT_EQ(cursor->getString(0).str(), "text 1");
  cursor->release();
  again->release();
}

INSTANTIATE_RDA_TARGETS(ReposCacheQueryTest);

}  // namespace
