// Several processes create the same new SQLite repository file at once:
// exactly one of them creates it, the others are refused because the file
// already holds a repository, and the file keeps the winner's repository.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/child_processes.h"
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

}  // namespace
