// Several processes make the first adds of a fresh repository at once,
// through several stores: each creates id counters that none has yet
// (UCURID rows) and writes while the others write. Every add succeeds,
// waiting for the others where the database makes it wait, and no id is
// handed out twice.
#include <gtest/gtest.h>

#include <string>

#include "reposadmin/metadata_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/profile_data_access.h"
#include "support/admin_targets.h"
#include "support/child_processes.h"

namespace {

constexpr int kWriters = 4;
constexpr int kAdds = 10;

class FirstAddsTest : public AdminTargetTest {};

// One process's adds: a task, a folder and a profile job per round. The
// answer is the number of failed adds.
int addEverything(Repository* repository, int child) {
  MonitorRepositoryDataAccess* monitor = repository->createMonitorDataAccess();
  MetadataRepositoryDataAccess* metadata =
      repository->createMetadataDataAccess();
  ProfileRepositoryDataAccess* profile = repository->createProfileDataAccess();
  int failed = 0;
  for (int i = 0; i < kAdds; ++i) {
    const std::string name =
        std::to_string(child) + "-" + std::to_string(i);
    int id = 0;
    failed += !monitor->addTask(("t" + name).c_str(), ("c" + name).c_str(),
                                "u", 0, "", "", &id);
    failed += !metadata->addFolder(0, ("f" + name).c_str(), id);
    failed += profile->addProfileJob(("j" + name).c_str(), "", "", 1, 1, "u",
                                     "u", 0) < 0;
  }
  profile->release();
  metadata->release();
  monitor->release();
  return failed;
}

TEST_P(FirstAddsTest, EveryAddOfEveryProcessLandsOnce) {
  const AdminDatabase db = newDatabase();
  ASSERT_TRUE(create(db)) << error();
  const auto statuses = runInChildren(kWriters, [&](int child) {
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    Repository* repository = open(db, false, admin);
    const int failed = repository ? addEverything(repository, child) : 255;
    if (repository) repository->release();
    admin->release();
    return failed;
  });
  EXPECT_EQ(statuses, std::vector<int>(kWriters, 0)) << "failed adds";

  RepositoryImpl* repository = open(db);
  ASSERT_NE(repository, nullptr) << error();
  ReposDataAccess* rda = repository->getDataAccess();
  const std::string all = std::to_string(kWriters * kAdds);
  // Id 0 is the root folder that every repository has.
  for (const auto& [code, id] : {std::pair{"MJOB", "JB_ID"},
                                 {"FOLDER", "FLDR_ID"}, {"JSETUP", "SU_ID"}})
    EXPECT_EQ(cursorRows(rda->paramSelect(
                  "SELECT COUNT(DISTINCT " + KvbString(id) + ") FROM " +
                      rda->getTableName(code, true, -1) + " WHERE " + id +
                      " > 0",
                  0)),
              std::vector<std::string>{all})
        << code;
  repository->release();
}

INSTANTIATE_TEST_SUITE_P(Targets, FirstAddsTest,
                         ::testing::Values(AdminTarget::kSqliteFile,
                                           AdminTarget::kPostgres),
                         rdaTargetName);

}  // namespace
