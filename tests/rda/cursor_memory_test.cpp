// What in-memory cursors leave with the process once released: a query's
// rows read into memory (cacheAll), a listing's copy of them, and a cursor
// filled by code each give back all but what the block pool keeps (32 MiB
// for the process), as the process's resident size shows.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "rda/rda_factory.h"
#include "rda/repos_cache_cursor.h"
#include "rda/repos_data_cursor.h"
#include "support/temp_dir.h"

namespace {

constexpr long kMiB = 1024;  // in KiB, as /proc gives sizes
constexpr long kPoolKept = 32 * kMiB;
// Sanitizers' allocators keep freed memory by design, so only a plain
// build can see the heap give it back.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kHeapGivesBack = false;
#else
constexpr bool kHeapGivesBack = true;
#endif
// Room for what else the process touches meanwhile: SQLite's page cache,
// and under a sanitizer the shadow of the pages that the rows took (an
// eighth of their 80 MiB), which its runtime need not give back with them.
constexpr long kSlack = (kHeapGivesBack ? 8 : 20) * kMiB;

long residentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmRSS:") == 0) return std::stol(line.substr(6));
  return -1;
}

// A million rows of two integers, a text of 20 bytes and a real: about
// 80 MiB once held compactly. Made by SQLite before the test measures, as
// the recursive query that makes them leaves memory of its own behind
// under a sanitizer.
constexpr int kRows = 1000000;
const char kMakeRows[] =
    "CREATE TABLE m AS WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
    "SELECT i + 1 FROM n WHERE i < 1000000) SELECT i AS a, i * 2 AS b, "
    "'twenty bytes of text' AS s, i * 0.5 AS r FROM n";
const char kMillionRows[] = "SELECT a, b, s, r FROM m";

class CursorMemoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvbString error;
    rda_ = createReposDataAccess(1, dir_.file("memory.db").c_str(), "", nullptr,
                                 error);
    ASSERT_NE(rda_, nullptr) << error.asCstr();
  }
  void TearDown() override {
    if (rda_) rda_->release();
  }
  // Reads the numbers of every row; texts would leave copies behind.
  static int readToTheEnd(ReposDataAccessCursor& cursor) {
    int rows = 0;
    while (cursor.next() == 1) rows += cursor.getInt(0) > 0;
    return rows;
  }

  TempDir dir_;
  ReposDataAccess* rda_ = nullptr;
};

TEST_F(CursorMemoryTest, RowsReadIntoMemoryGoBackOnceServedOrReleased) {
  ASSERT_TRUE(rda_->paramExec(kMakeRows, nullptr, 0))
      << rda_->getErrorMessage().asCstr();
  const long before = residentKiB();
  ReposDataAccessCursor* query = rda_->paramSelect(kMillionRows, 0);
  ASSERT_NE(query, nullptr) << rda_->getErrorMessage().asCstr();
  ASSERT_TRUE(query->cacheAll());
  // The pool may serve up to 32 MiB of them from pages already resident.
  EXPECT_GT(residentKiB() - before, 40 * kMiB) << "the rows are held";
  EXPECT_LT(residentKiB() - before, 160 * kMiB) << "held compactly";
  EXPECT_EQ(readToTheEnd(*query), kRows);
  EXPECT_LT(residentKiB() - before, kPoolKept + kSlack) << "served rows stay";
  query->release();

  query = rda_->paramSelect(kMillionRows, 0);
  ASSERT_NE(query, nullptr);
  auto* copy = new ReposCacheCursor;
  ASSERT_TRUE(copy->fill(query, 0));
  query->release();
  EXPECT_GT(residentKiB() - before, 40 * kMiB);
  EXPECT_EQ(readToTheEnd(*copy), kRows);
  copy->release();
  EXPECT_LT(residentKiB() - before, kPoolKept + kSlack) << "a released copy";
}

TEST_F(CursorMemoryTest, ACursorFilledByCodeGivesItsHeapBack) {
  if (!kHeapGivesBack) GTEST_SKIP() << "the sanitizer's heap keeps memory";
  const long before = residentKiB();
  auto* cursor = new ReposDataCursor;
  ASSERT_TRUE(cursor->setColumnCount(4));
  // Texts longer than a string holds in place: an allocation each, among
  // which a few survive, so that the heap cannot shrink from its top.
  std::vector<KvbString> survivors;
  for (int i = 0; i < kRows / 2; ++i) {
    cursor->addRow();
    cursor->setValue(0, KvbDatavar(i));
    cursor->setValue(1, KvbDatavar("a text longer than a string holds"));
    if (i % 1000 == 0) survivors.push_back(KvbString("kept beyond the cursor"));
  }
  EXPECT_GT(residentKiB() - before, 60 * kMiB);
  cursor->release();
  EXPECT_LT(residentKiB() - before, kPoolKept + kSlack);
}

}  // namespace
