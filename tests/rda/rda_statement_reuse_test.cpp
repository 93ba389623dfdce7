// A connection runs the same SQL text again and again (the SQLite back end
// keeps its compiled statements): while a cursor of the text is still open,
// nested inside it, and after a use that failed.
#include <gtest/gtest.h>

#include <string>

#include "support/rda_targets.h"

namespace {

class RdaStatementReuseTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    exec("CREATE TABLE " + table("REUSE") +
         " (i INTEGER, t INTEGER, UNIQUE (i, t))");
    insertSql_ = "INSERT INTO " + table("REUSE") + " (i, t) VALUES (?, ?)";
    selectSql_ = "SELECT i FROM " + table("REUSE") + " WHERE t = ? ORDER BY i";
  }

  std::string insertSql_, selectSql_;
};

TEST_P(RdaStatementReuseTest, ACursorStillOpenKeepsItsRowsWhileItsTextRuns) {
  for (int i = 1; i <= 3; ++i) ASSERT_TRUE(exec(insertSql_, {i, 0}));
  KvbDatavar thread(0);
  ReposDataAccessCursor* outer =
      rda_->paramSelect(selectSql_.c_str(), 1, &thread);
  ASSERT_NE(outer, nullptr);
  ASSERT_EQ(outer->next(), 1);
  EXPECT_EQ(outer->getInt(0), 1);
  // The same text nested inside the open cursor.
  EXPECT_EQ(rows(rda_->paramSelect(selectSql_.c_str(), 1, &thread)),
            (std::vector<std::string>{"1", "2", "3"}));
  ASSERT_EQ(outer->next(), 1);
  EXPECT_EQ(outer->getInt(0), 2);
  outer->release();
  // A use that fails leaves the text fit for the next use.
  KvbDatavar one(1);
  EXPECT_FALSE(rda_->paramExec(insertSql_.c_str(), nullptr, 2, &one, &thread));
  EXPECT_TRUE(exec(insertSql_, {4, 0}));
  EXPECT_EQ(count("REUSE"), 4);
}

INSTANTIATE_RDA_TARGETS(RdaStatementReuseTest);

}  // namespace
