// First checks of the repository connection on every back end.
#include <gtest/gtest.h>

#include "support/rda_targets.h"

namespace {

class RdaSmokeTest : public RdaTargetTest {};

TEST_P(RdaSmokeTest, CreatesCoreTablesAndDrawsIds) {
  ASSERT_TRUE(createCoreTables()) << rda_->getErrorMessage().asCstr();
  KvbDatavar first;
  ASSERT_TRUE(rda_->getNextIDs("FOLDER", 5, first, nullptr))
      << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(first.asInt(), 1);
  KvbDatavar id;
  ASSERT_TRUE(rda_->getNextID("FOLDER", id));
  EXPECT_EQ(id.asInt(), 6);
  KvbDatavar name("Top"), fid(7);
  ASSERT_TRUE(rda_->paramExec(
      kvbStringFormat("INSERT INTO %S (FLDR_ID, FLDR_NAM) VALUES (?, ?)",
                      rda_->getTableName("FOLDER", true, -1)),
      nullptr, 2, &fid, &name))
      << rda_->getErrorMessage().asCstr();
  ReposDataAccessCursor* c = rda_->paramSelect(
      kvbStringFormat("SELECT FLDR_ID, FLDR_NAM FROM %S",
                      rda_->getTableName("FOLDER", true, -1)),
      0);
  ASSERT_NE(c, nullptr) << rda_->getErrorMessage().asCstr();
  EXPECT_EQ(c->getColName(1).str(), "FLDR_NAM");
  EXPECT_EQ(rows(c), std::vector<std::string>{"7|Top"});
}

INSTANTIATE_RDA_TARGETS(RdaSmokeTest);

}  // namespace
