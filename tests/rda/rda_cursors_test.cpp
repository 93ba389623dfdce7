// In-memory cursors: ReposCacheCursor copies of other cursors (in memory and
// over a real query) and ReposDataCursor filled by code.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "rda/repos_cache_cursor.h"
#include "rda/repos_data_cursor.h"
#include "support/rda_targets.h"

namespace {

// A source with the columns ID and NAME and rows 1..n; after its last row
// it reports `endResult` (0 the end, 2 an error).
class ScriptedSource : public ReposDataAccessCursor {
 public:
  ScriptedSource(int rowCount, int endResult, int columnCount = 2)
      : rowCount_(rowCount), endResult_(endResult), columnCount_(columnCount) {}
  int next() override { return ++row_ <= rowCount_ ? 1 : endResult_; }
  int getNumCols() override { return columnCount_; }
  KvbString getColName(int c) override { return c == 0 ? "ID" : "NAME"; }
  KvbString getString(int c) override { return getValue(c).asString(); }
  int getInt(int c) override { return getValue(c).asInt(); }
  double getDouble(int c) override { return getValue(c).asDouble(); }
  KvbDatavar getValue(int c) override {
    return c == 0 ? KvbDatavar(row_)
                  : KvbDatavar(KvbString("r") + KvbString::fromInt(row_));
  }
  bool isNull(int) override { return false; }
  bool cacheAll() override { return true; }
  void release() override {}
  int getColumnIndex(const KvbString&) override { return -1; }

 private:
  int rowCount_, endResult_, columnCount_;
  int row_ = 0;
};

// A data cursor with the columns ID (int) and NAME (text) and rows 1..n.
void fillNumbered(ReposDataCursor& cursor, int n) {
  cursor.setColumnCount(2);
  cursor.setColumnName(0, "ID");
  cursor.setColumnName(1, "NAME");
  for (int i = 1; i <= n; ++i) {
    cursor.addRow();
    cursor.setValue(0, KvbDatavar(i));
    cursor.setValue(1, KvbDatavar(KvbString("r") + KvbString::fromInt(i)));
  }
  cursor.rewind();
}

// The column names, then each remaining row, as "a|b" texts joined by ";";
// a null reads "null" and must read as "" and 0 too.
std::string dump(ReposDataAccessCursor& cursor) {
  std::string out;
  for (int c = 0; c < cursor.getNumCols(); ++c)
    out += (c ? "|" : "") + cursor.getColName(c).str();
  while (cursor.next() == 1) {
    out += ";";
    for (int c = 0; c < cursor.getNumCols(); ++c) {
      const bool null = cursor.isNull(c);
      EXPECT_TRUE(!null ||
                  (cursor.getString(c).str().empty() && cursor.getInt(c) == 0 &&
                   cursor.getValue(c).isNull()));
      out += (c ? "|" : "") + (null ? "null" : cursor.getString(c).str());
    }
  }
  return out;
}

TEST(ReposCacheCursorTest, FillCopiesNamesAndRowsThenRestartsAfterTheEnd) {
  ReposDataCursor source;
  fillNumbered(source, 3);
  source.addRow();  // a fourth row of nulls
  source.rewind();
  ReposCacheCursor cache;
  ASSERT_TRUE(cache.fill(&source, 0));
  EXPECT_TRUE(cache.getColName(2).isNull());
  EXPECT_EQ(cache.getRowCount(), 4u);
  EXPECT_EQ(dump(cache), "ID|NAME;1|r1;2|r2;3|r3;null|null");
  EXPECT_EQ(cache.getString(1).str(), "") << "no current row after the end";
  ASSERT_EQ(cache.next(), 1) << "starts again at the first row";
  EXPECT_EQ(cache.getValue(0).getType(), kvbTypeInt);
  EXPECT_EQ(cache.getInt(0), 1);
}

TEST(ReposCacheCursorTest, LimitKeepsThatManyRowsAsA64BitCount) {
  const std::pair<uint64_t, size_t> cases[] = {
      {2, 2},
      {9, 5},
      {0, 5},
      {(uint64_t{1} << 32) + 2, 5}};  // not 2: the limit is not cut to 32 bits
  for (const auto& [limit, rowCount] : cases) {
    ReposDataCursor source;
    fillNumbered(source, 5);
    ReposCacheCursor cache;
    ASSERT_TRUE(cache.fill(&source, limit)) << limit;
    EXPECT_EQ(cache.getRowCount(), rowCount) << limit;
  }
  // The copy starts at the source's current position, and a second fill
  // replaces the first.
  ReposDataCursor source;
  fillNumbered(source, 5);
  ASSERT_EQ(source.next(), 1);
  ReposCacheCursor cache;
  ASSERT_TRUE(cache.fill(&source, 0));
  EXPECT_EQ(dump(cache), "ID|NAME;2|r2;3|r3;4|r4;5|r5");
  source.rewind();
  ASSERT_TRUE(cache.fill(&source, 1));
  EXPECT_EQ(dump(cache), "ID|NAME;1|r1");
}

TEST(ReposCacheCursorTest, FailingOrEmptySourceLeavesNothing) {
  ReposCacheCursor cache;
  ReposDataCursor good;
  fillNumbered(good, 2);
  ASSERT_TRUE(cache.fill(&good, 0));
  ScriptedSource failing(3, 2);
  EXPECT_FALSE(cache.fill(&failing, 0));
  EXPECT_EQ(cache.getRowCount(), 0u);
  EXPECT_EQ(dump(cache), "");

  ScriptedSource ending(3, 0);
  ASSERT_TRUE(cache.fill(&ending, 0));
  EXPECT_EQ(dump(cache), "ID|NAME;1|r1;2|r2;3|r3");
  // A limit reached before the error: the error is never read.
  ScriptedSource failsLater(3, 2);
  EXPECT_TRUE(cache.fill(&failsLater, 3));
  EXPECT_EQ(cache.getRowCount(), 3u);

  ScriptedSource noColumns(3, 0, 0);
  EXPECT_FALSE(cache.fill(&noColumns, 0));
  EXPECT_EQ(cache.getRowCount(), 0u);
  EXPECT_FALSE(cache.fill(nullptr, 0));
  EXPECT_EQ(cache.getNumCols(), 0);
}

TEST(ReposCacheCursorTest,
     DuplicateNamesReadByPositionAndFoundFirstIgnoringCase) {
  ReposDataCursor source;
  source.setColumnCount(3);
  source.setColumnName(0, "Id");
  source.setColumnName(1, "ID");
  source.setColumnName(2, "name");
  source.addRow();
  source.setValue(0, KvbDatavar(1));
  source.setValue(1, KvbDatavar(2));
  source.setValue(2, KvbDatavar("n"));
  source.rewind();
  ReposCacheCursor cache;
  ASSERT_TRUE(cache.fill(&source, 0));
  EXPECT_EQ(cache.getColumnIndex("id"), 0);
  EXPECT_EQ(cache.getColumnIndex("NAME"), 2);
  EXPECT_EQ(cache.getColumnIndex("missing"), -1);
  EXPECT_EQ(dump(cache), "Id|ID|name;1|2|n");
}

class RdaCacheCursorTest : public RdaTargetTest {};

TEST_P(RdaCacheCursorTest, FillsFromAQueryOfTheDatabase) {
  ASSERT_TRUE(rda_->createTable("CC", {{"CC_ID", kvbTypeInt, 0, false},
                                       {"CC_NAME", kvbTypeString, 20, false}}))
      << rda_->getErrorMessage().asCstr();
  for (int i = 1; i <= 3; ++i)
    exec("INSERT INTO " + table("CC") + " (CC_ID, CC_NAME) VALUES (?, ?)",
         {i, i == 2 ? KvbString() : KvbString("n" + std::to_string(i))});
  ReposDataAccessCursor* query = rda_->paramSelect(
      "SELECT CC_ID, CC_NAME FROM " + table("CC") + " ORDER BY CC_ID", 0);
  ASSERT_NE(query, nullptr) << rda_->getErrorMessage().asCstr();
  ReposCacheCursor cache;
  const bool filled = cache.fill(query, 0);
  query->release();
  ASSERT_TRUE(filled);
  EXPECT_EQ(cache.getColumnIndex("cc_name"), 1);
  EXPECT_EQ(dump(cache), "CC_ID|CC_NAME;1|n1;2|null;3|n3");
}

INSTANTIATE_RDA_TARGETS(RdaCacheCursorTest);

TEST(ReposDataCursorTest, BuildsRowsOfNullsAndIgnoresOutOfRangeColumns) {
  ReposDataCursor cursor;
  EXPECT_FALSE(cursor.setColumnCount(0));
  EXPECT_FALSE(cursor.setColumnCount(-1));
  ASSERT_TRUE(cursor.setColumnCount(2));
  EXPECT_EQ(cursor.getColName(1).str(), "");
  cursor.setColumnName(0, "A");
  cursor.setColumnName(1, "B");
  cursor.setColumnName(2, "C");
  cursor.setColumnName(-1, "D");
  EXPECT_TRUE(cursor.getColName(2).isNull());

  cursor.setValue(0, KvbDatavar(9));  // no current row yet
  EXPECT_EQ(cursor.next(), 0);
  cursor.addRow();
  cursor.setValue(0, KvbDatavar(7));
  cursor.setValue(2, KvbDatavar(8));
  cursor.setValue(-1, KvbDatavar(8));
  cursor.addRow();
  cursor.setValue(1, KvbDatavar("b"));
  cursor.rewind();
  EXPECT_EQ(cursor.getString(0).str(), "") << "no current row before next";
  ASSERT_EQ(cursor.next(), 1);
  EXPECT_EQ(cursor.getString(5).str(), "");
  EXPECT_TRUE(cursor.isNull(-1) && cursor.getValue(2).isNull());
  EXPECT_EQ(cursor.getColumnIndex("b"), 1);
  cursor.rewind();
  EXPECT_EQ(dump(cursor), "A|B;7|null;null|b");

  ASSERT_TRUE(cursor.setColumnCount(1));  // discards names and rows
  EXPECT_EQ(cursor.next(), 0);
  EXPECT_EQ(cursor.getColName(0).str(), "");
}

}  // namespace
