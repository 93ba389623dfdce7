// The repository list file under several writers: processes that add
// entries at the same time lose none of them, and a process that reads the
// list meanwhile never sees it shrink.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "admin/repositoryadminimpl.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace {

constexpr int kWriters = 4;
constexpr int kAddsEach = 40;

std::string entryName(int writer, int add) {
  return "w" + std::to_string(writer) + "-" + std::to_string(add);
}

// Adds this writer's entries; answers the number of adds that failed.
int addEntries(const std::string& list, int writer) {
  RepositoryAdminImpl admin(0, list.c_str());
  int failed = 0;
  for (int add = 0; add < kAddsEach; ++add) {
    const std::string name = entryName(writer, add);
    if (!admin.addRepository(("/r/" + name + ".db").c_str(), "", name.c_str(),
                             true))
      ++failed;
  }
  return failed;
}

// Reads the list until every entry is there: 0 when the count only grew,
// 1 when it shrank, 2 when a read failed, 3 when the writers took too long.
int watchEntries(const std::string& list) {
  RepositoryAdminImpl admin(0, list.c_str());
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(120);
  size_t seen = 0;
  while (seen < kWriters * kAddsEach) {
    if (std::chrono::steady_clock::now() > deadline) return 3;
    if (!admin.loadRepositoryList()) return 2;
    if (admin.entries().size() < seen) return 1;
    seen = admin.entries().size();
  }
  return 0;
}

TEST(ListFileWriters, ConcurrentAddsAreAllKeptAndTheListNeverShrinks) {
  TempDir dir;
  const std::string list = dir.file("repos.lst");
  const std::vector<int> statuses = runInChildren(kWriters + 1, [&](int index) {
    return index < kWriters ? addEntries(list, index) : watchEntries(list);
  });
  EXPECT_EQ(statuses, std::vector<int>(kWriters + 1, 0))
      << "writers: failed adds; watcher: 1 shrank, 2 unreadable, 3 timeout";

  RepositoryAdminImpl admin(0, list.c_str());
  ASSERT_TRUE(admin.loadRepositoryList()) << admin.getErrorMessage().str();
  std::set<std::string> names;
  for (const RepositoryEntry& entry : admin.entries())
    names.insert(entry.name.str());
  std::set<std::string> expected;
  for (int writer = 0; writer < kWriters; ++writer)
    for (int add = 0; add < kAddsEach; ++add)
      expected.insert(entryName(writer, add));
  EXPECT_EQ(names, expected);
  EXPECT_EQ(admin.entries().size(), expected.size());
}

}  // namespace
