// A transaction that the database refuses, at its begin or at its commit,
// on every back end: the failure is logged once, by the layer that knows
// what was being done, with the database's reason.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repository_folder_manager.h"
#include "services/services_targets.h"
#include "support/log_capture.h"

namespace {

class TransactionFailureTest : public ServicesTest {
 protected:
  void SetUp() override {
    // A SQLite writer gives up soon on another connection's write lock.
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
    ServicesTest::SetUp();
  }
  void TearDown() override {
    if (holder_) {
      holder_->endTransaction(false);
      holder_->release();
    }
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    ServicesTest::TearDown();
  }
  // Makes every later transaction that files a folder fail, and answers a
  // part of the database's reason: on a SQLite file another connection
  // holds the write lock, so the begin fails; on PostgreSQL a deferred
  // trigger that refuses every new folder fails the commit.
  std::string breakTransactions() {
    if (isPostgres()) {
      EXPECT_TRUE(exec("CREATE FUNCTION " + schema_ +
                       ".kv_refuse() RETURNS trigger LANGUAGE plpgsql AS "
                       "$$BEGIN RAISE EXCEPTION 'kv_late'; END$$"));
      EXPECT_TRUE(exec("CREATE CONSTRAINT TRIGGER kv_late AFTER INSERT ON " +
                       table("FOLDER") +
                       " DEFERRABLE INITIALLY DEFERRED FOR EACH ROW EXECUTE "
                       "FUNCTION " +
                       schema_ + ".kv_refuse()"));
      return "kv_late";
    }
    KvbString error;
    holder_ = createReposDataAccess(factoryKind(), location().c_str(),
                                    prefix_.c_str(), nullptr, error);
    bool busy = false;
    EXPECT_TRUE(holder_ && holder_->beginTransaction(true, &busy));
    return "locked";
  }
  static bool mentions(const std::vector<std::string>& lines,
                       const std::string& head, const std::string& reason) {
    return lines.size() == 1 && lines[0].rfind(head, 0) == 0 &&
           lines[0].find(reason) != std::string::npos;
  }

  ReposDataAccess* holder_ = nullptr;
};

TEST_P(TransactionFailureTest, AFailedBeginOrCommitIsLoggedOnceWithItsReason) {
  const std::string reason = breakTransactions();
  // A store on its own logs what failed.
  MetadataRepositoryDataAccess* meta = repos_->createMetadataDataAccess();
  int id = -1;
  std::vector<std::string> lines =
      loggedFailures([&] { EXPECT_FALSE(meta->addFolder(0, "A", id)); });
  meta->release();
  EXPECT_TRUE(
      mentions(lines, "base_rdaimpl: The transaction could not ", reason))
      << testing::PrintToString(lines);
  // A manager logs what it was doing; its stores are quiet.
  RepositoryFolderManager* folders = repos_->createFolderManager();
  lines =
      loggedFailures([&] { EXPECT_FALSE(folders->createFolder(0, "B", id)); });
  folders->release();
  EXPECT_TRUE(mentions(lines, "repfldrmgrimpl: ", reason))
      << testing::PrintToString(lines);
}

INSTANTIATE_SERVICES_TARGETS(TransactionFailureTest);

}  // namespace
