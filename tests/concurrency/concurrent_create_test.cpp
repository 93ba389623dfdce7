// Several processes create the same new SQLite repository file at once:
// exactly one of them creates it, the others are refused because the file
// already holds a repository, and the file keeps the winner's repository.
// On PostgreSQL the loser of two overlapping creations reads the same
// refusal.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "rda/rda_factory.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_status_callback.h"
#include "support/child_processes.h"
#include "support/dac_targets.h"
#include "support/temp_dir.h"

namespace {

std::string readText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

// The UUID of the repository in `file`, or the reason it did not open.
std::string repositoryUuid(RepositoryAdmin* admin, const std::string& file) {
  Repository* repository = admin->openFileRepository(file.c_str(), true);
  if (!repository) return "not opened: " + admin->getErrorMessage().str();
  const std::string uuid = repository->getRepositoryUUID().str();
  repository->release();
  return uuid;
}

TEST(ConcurrentCreate, OneProcessCreatesANewFileAndTheOthersAreRefused) {
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                               KV_SOURCE_DIR "/etc/reposcreate");
  TempDir dir;
  const std::string file = dir.file("shared.db");
  // Each creator leaves what it saw: the UUID of the repository it made, or
  // the reason of its refusal.
  auto outcomeFile = [&](int index) {
    return dir.file("outcome" + std::to_string(index));
  };
  constexpr int kCreators = 4;
  const std::vector<int> statuses = runInChildren(kCreators, [&](int index) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    if (!admin) return 2;
    const bool created = admin->createFileRepository(file.c_str());
    std::ofstream(outcomeFile(index))
        << (created ? repositoryUuid(admin, file)
                    : admin->getErrorMessage().str());
    admin->release();
    return created ? 0 : 1;
  });

  ASSERT_EQ(statuses.size(), static_cast<size_t>(kCreators));
  const std::string refusal =
      kvb_get_message("test", 0, "Repository Library", 1304).str();
  std::string winnerUuid;
  int winners = 0;
  for (int index = 0; index < kCreators; ++index) {
    const std::string outcome = readText(outcomeFile(index));
    if (statuses[index] == 0) {
      ++winners;
      winnerUuid = outcome;
    } else {
      EXPECT_EQ(statuses[index], 1) << "creator " << index << " crashed";
      EXPECT_EQ(outcome.rfind(refusal, 0), 0u)
          << "creator " << index << ": " << outcome;
    }
  }
  EXPECT_EQ(winners, 1);
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  EXPECT_EQ(repositoryUuid(admin, file), winnerUuid);
  admin->release();
  kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
}

// Starts `second` at the second table step of the creation it watches,
// and lets the creation go on only once a session of the database waits
// for a lock: the second creator waits for the first one's tables.
class StartsASecondCreator : public RepositoryStatusCallback {
 public:
  // `prefix`: the repository's, which the second creator's waiting
  // statement names (other tests of the database may wait meanwhile).
  StartsASecondCreator(ReposDataAccess* asker, const std::string& prefix,
                       std::function<void()> second)
      : asker_(asker), prefix_(prefix), second_(std::move(second)) {}
  ~StartsASecondCreator() override { join(); }
  bool reportStatus(const KvbString& text) override {
    if (thread_.joinable() || text.find("(step 2 ") == KvbString::npos)
      return true;
    thread_ = std::thread(second_);
    // Bounded only so that a fault ends the test instead of hanging it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!someoneWaits())
      if (std::chrono::steady_clock::now() > end) {
        ADD_FAILURE() << "the second creator never waited";
        break;
      }
    return true;
  }
  void reportMessage(const KvbString&) override {}
  void join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  bool someoneWaits() {
    const KvbDatavar prefix(prefix_.c_str());
    ReposDataAccessCursor* cursor = asker_->paramSelect(
        "SELECT COUNT(*) FROM pg_locks l JOIN pg_stat_activity a "
        "ON a.pid = l.pid WHERE NOT l.granted AND "
        "a.datname = current_database() AND "
        "strpos(lower(a.query), lower(?)) > 0",
        1, &prefix);
    const bool waits = cursor && cursor->next() == 1 && cursor->getInt(0) > 0;
    if (cursor) cursor->release();
    return waits;
  }

  ReposDataAccess* asker_;
  std::string prefix_;
  std::function<void()> second_;
  std::thread thread_;
};

TEST(ConcurrentCreate, ThePostgresLoserIsRefusedAsOnAFile) {
  const std::string connection = postgresConnectionString();
  if (connection.empty()) GTEST_SKIP() << "KV_TEST_PG_CONNECTION is not set";
  kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                               KV_SOURCE_DIR "/etc/reposcreate");
  const std::string prefix = "race" + std::to_string(getpid());
  KvbString openError;
  ReposDataAccess* asker = createReposDataAccess(
      0, connection.c_str(), prefix.c_str(), nullptr, openError);
  ASSERT_NE(asker, nullptr) << openError.asCstr();
  RepositoryAdmin* first = createRepositoryAdmin(1, nullptr);
  RepositoryAdmin* second = createRepositoryAdmin(1, nullptr);
  bool secondCreated = true;
  std::string secondText;  // a thread's own last failure
  {
    StartsASecondCreator starter(asker, prefix, [&] {
      secondCreated =
          second->createRepository(connection.c_str(), prefix.c_str());
      secondText = second->getErrorMessage().str();
    });
    first->setStatusCallback(&starter);
    EXPECT_TRUE(first->createRepository(connection.c_str(), prefix.c_str()))
        << first->getErrorMessage().asCstr();
    first->setStatusCallback(nullptr);
  }
  EXPECT_FALSE(secondCreated);
  const std::string refusal =
      kvb_get_message("test", 0, "Repository Library", 1304).str();
  EXPECT_EQ(secondText.rfind(refusal, 0), 0u) << secondText;
  EXPECT_TRUE(first->deleteRepositoryTables(connection.c_str(), prefix.c_str()))
      << first->getErrorMessage().asCstr();
  first->release();
  second->release();
  asker->release();
  kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
}

}  // namespace
