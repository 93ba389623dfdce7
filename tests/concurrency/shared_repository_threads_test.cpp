// Several threads share one repository object, and so one connection, with
// the locking option ("BASE/WORKDESK") on and off: each works through
// data-access objects of its own, and every write of every thread lands
// once. Also run under ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>

#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "support/admin_targets.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 20;

class SharedRepositoryThreadsTest : public AdminTargetTest {
 protected:
  void everyWriteLandsOnce();
};

// One thread's work: per round a key of its own, the shared key, a folder
// of its own and a global category; every answer is checked at once, and
// the folder ids are kept.
std::string workOn(Repository* repository, int thread, std::vector<int>& ids) {
  CommonRepositoryDataAccess* common = repository->createCommonDataAccess();
  MetadataRepositoryDataAccess* metadata =
      repository->createMetadataDataAccess();
  std::string failures;
  auto check = [&](bool ok, const char* what, KvbString reason) {
    if (!ok) failures += std::string(what) + ": " + reason.str() + "\n";
  };
  for (int round = 0; round < kRounds; ++round) {
    const std::string key =
        "t" + std::to_string(thread) + "-" + std::to_string(round);
    KvbString value;
    check(common->setKeyValue(key.c_str(), key.c_str()), "set",
          common->getErrorMessage());
    check(repository->getKeyValue(key.c_str(), &value) && value == key.c_str(),
          "get", repository->getErrorMessage());
    check(repository->setKeyValue("shared", key.c_str()), "shared",
          repository->getErrorMessage());
    int folder = 0;
    check(metadata->addFolder(0, ("f" + key).c_str(), folder), "folder",
          metadata->getErrorMessage());
    ids.push_back(folder);
    check(common->addGlobalCategory(("c" + key).c_str(), "") > 0, "category",
          common->getErrorMessage());
  }
  metadata->release();
  common->release();
  return failures;
}

void SharedRepositoryThreadsTest::everyWriteLandsOnce() {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  std::vector<std::string> failures(kThreads);
  std::vector<std::vector<int>> ids(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back(
        [&, t] { failures[t] = workOn(repository, t, ids[t]); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>(kThreads));

  std::set<int> distinct;
  for (const std::vector<int>& some : ids)
    distinct.insert(some.begin(), some.end());
  EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kRounds))
      << "folder ids handed out twice";
  ReposDataAccess* rda = repository->getDataAccess();
  auto countOf = [&](const char* code) {
    return cursorRows(rda->paramSelect(
        "SELECT COUNT(*) FROM " + rda->getTableName(code, true, -1), 0));
  };
  const std::string rows = std::to_string(kThreads * kRounds);
  EXPECT_EQ(countOf("KEYVAL"),
            std::vector<std::string>{std::to_string(kThreads * kRounds + 1)});
  EXPECT_EQ(countOf("GCATS"), std::vector<std::string>{rows});
  repository->release();
}

TEST_P(SharedRepositoryThreadsTest, EveryWriteOfEveryThreadLandsOnce) {
  everyWriteLandsOnce();
}

// The connection lock does not depend on the option: without it, threads
// would run statements inside each other's transactions.
TEST_P(SharedRepositoryThreadsTest, WithoutTheLockingOptionToo) {
  kvbGetConfigOptions("")->remove("BASE/WORKDESK");
  everyWriteLandsOnce();
}

INSTANTIATE_ADMIN_TARGETS(SharedRepositoryThreadsTest);

}  // namespace
