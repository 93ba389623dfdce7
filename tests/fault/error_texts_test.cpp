// Operations that answer false leave their reason, on the repository and on
// its data-access objects: a refused key, a missing key, and a repository
// file that another connection holds locked.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include "reposadmin/common_data_access.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

class ErrorTextsTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repository_ = createAndOpen(db_);
    if (HasFailure()) return;
    common_ = repository_->createCommonDataAccess();
  }
  void TearDown() override {
    if (common_) common_->release();
    if (repository_) repository_->release();
    AdminTargetTest::TearDown();
  }

  AdminDatabase db_;
  RepositoryImpl* repository_ = nullptr;
  CommonRepositoryDataAccess* common_ = nullptr;
  LogCapture log_;  // keeps the expected failures off the console
};

TEST_P(ErrorTextsTest, RefusedAndMissingKeysSayWhy) {
  KvbString value;
  EXPECT_FALSE(repository_->setKeyValue(KvbString(), "v"));
  EXPECT_EQ(repository_->getErrorMessage().str(),
            "A key/value pair cannot have a null key");
  EXPECT_FALSE(common_->getKeyValue("absent", &value));
  EXPECT_EQ(common_->getErrorMessage().str(),
            "No value is stored under the key \"absent\"");
  EXPECT_FALSE(repository_->getKeyValue("gone", &value));
  EXPECT_EQ(repository_->getErrorMessage().str(),
            "No value is stored under the key \"gone\"");
  EXPECT_EQ(cursorRows(repository_->getKeyValues()),
            std::vector<std::string>{});
}

// Another connection holds the file: a write, and a read of a statement
// whose rows cannot be fetched, each answer false with the reason, which
// names the file and the wait that the busy timeout allowed.
TEST_P(ErrorTextsTest, ALockedFileGivesTheReason) {
  if (!isFile()) GTEST_SKIP() << "file locks are the SQLite back end's";
  KvbString value;
  ASSERT_TRUE(repository_->setKeyValue("k", "v"));
  sqlite3* holder = nullptr;
  ASSERT_EQ(sqlite3_open(db_.file.c_str(), &holder), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr),
            SQLITE_OK);
  const std::string locked =
      "cannot access the database file '" + db_.file +
      "': database is locked by another connection; gave up waiting for it "
      "after 5000 ms (SQLITE/BUSY_TIMEOUT)";
  EXPECT_FALSE(common_->getKeyValue("k", &value));
  EXPECT_EQ(common_->getErrorMessage().str(), locked);
  EXPECT_FALSE(repository_->setKeyValue("k", "w"));
  EXPECT_EQ(repository_->getErrorMessage().str(), locked);
  sqlite3_close(holder);
  ASSERT_TRUE(repository_->getKeyValue("k", &value));
  EXPECT_EQ(value.str(), "v");
}

INSTANTIATE_ADMIN_TARGETS(ErrorTextsTest);

}  // namespace
