// The multi-row INSERT writer on every back end: batch sizes, the statement
// kept for full batches, the rest written at the flush, and the reasons of
// its failures.
#include "rda/rda_batch_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rda/rda_statement.h"
#include "support/rda_targets.h"

namespace {

class RdaBatchWriterTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(rda_->createTable("BW", {{"B_ID", kvbTypeInt, 0, false},
                                         {"B_TXT", kvbTypeString, 40, false}}));
  }
  // A writer into `code` that records the number of rows of each statement
  // it prepares.
  RDA_BatchWriter writer(const char* code, size_t rows, size_t maxMarkers) {
    return RDA_BatchWriter(
        "INSERT INTO " + rda_->getTableName(code, true, -1) +
            " (B_ID, B_TXT) VALUES ",
        2, rows, maxMarkers,
        [this](const KvbString& sql, KvbString* reason) {
          const std::string text = sql.str();
          prepared_.push_back(std::count(text.begin(), text.end(), '('));
          auto* statement =
              static_cast<RDA_StatementBase*>(rda_->createStatement(sql));
          if (!statement) *reason = rda_->getErrorMessage();
          return statement;
        },
        {{kvbTypeInt, 0}, {kvbTypeString, 40}});
  }
  static bool add(RDA_BatchWriter& writer, int id) {
    writer.row()[0] = KvbDatavar(id);
    writer.row()[1] = KvbDatavar(id == 2 ? "it's" : "t" + std::to_string(id));
    return writer.addRow();
  }
  std::vector<std::string> stored() {
    return rows(rda_->paramSelect("SELECT B_ID, B_TXT FROM " +
                                      rda_->getTableName("BW", true, -1) +
                                      " ORDER BY B_ID",
                                  0));
  }
  std::vector<long> prepared_;  // rows of each prepared statement, plus one
};

TEST_P(RdaBatchWriterTest,
       FullBatchesShareOneStatementAndTheFlushWritesTheRest) {
  {
    // Five markers hold two rows of two values.
    RDA_BatchWriter two = writer("BW", 100, 5);
    for (int id = 1; id <= 5; ++id) ASSERT_TRUE(add(two, id));
    EXPECT_EQ(stored().size(), 4u) << "the fifth row waits for the flush";
    ASSERT_TRUE(two.flush()) << two.errorText().str();
    EXPECT_TRUE(two.flush()) << "nothing waits";
  }
  EXPECT_EQ(stored(), (std::vector<std::string>{"1|t1", "2|it's", "3|t3",
                                                "4|t4", "5|t5"}));
  // The head's column list counts once: a statement of two rows, kept for
  // the second batch, and one of one row for the flush.
  EXPECT_EQ(prepared_, (std::vector<long>{3, 2}));
}

TEST_P(RdaBatchWriterTest, AFailedBatchGivesTheDatabasesReason) {
  RDA_BatchWriter missing = writer("NOSUCH", 2, 100);
  EXPECT_TRUE(add(missing, 1));
  EXPECT_FALSE(add(missing, 2));
  EXPECT_NE(KvbString(missing.errorText()).toLower().find("nosuch"),
            KvbString::npos)
      << missing.errorText().str();
  EXPECT_TRUE(missing.flush()) << "the failed batch's rows are dropped";
}

INSTANTIATE_RDA_TARGETS(RdaBatchWriterTest);

}  // namespace
