// The repository list file under several writers: processes that add
// entries at the same time lose none of them, and a process that reads the
// list meanwhile never sees it shrink; threads that share one
// administration object walk the list while others change it.
#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
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

// A writer answers the number of its adds that failed. The reader answers
// 0 when the count only grew up to every entry, 1 when it shrank, 2 when a
// read failed, 3 when the writers took too long.
int writeOrWatch(const std::string& list, int index) {
  RepositoryAdminImpl admin(0, list.c_str());
  int failed = 0;
  for (int add = 0; index < kWriters && add < kAddsEach; ++add) {
    const std::string name = entryName(index, add);
    failed +=
        !admin.addRepository(("/r/" + name).c_str(), "", name.c_str(), true);
  }
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(120);
  for (size_t seen = 0; index == kWriters && seen < kWriters * kAddsEach;
       seen = admin.entries().size()) {
    if (std::chrono::steady_clock::now() > deadline) return 3;
    if (!admin.loadRepositoryList()) return 2;
    if (admin.entries().size() < seen) return 1;
  }
  return failed;
}

TEST(ListFileWriters, ConcurrentAddsAreAllKeptAndTheListNeverShrinks) {
  TempDir dir;
  const std::string list = dir.file("repos.lst");
  EXPECT_EQ(runInChildren(kWriters + 1,
                          [&](int index) { return writeOrWatch(list, index); }),
            std::vector<int>(kWriters + 1, 0));

  RepositoryAdminImpl admin(0, list.c_str());
  ASSERT_TRUE(admin.loadRepositoryList()) << admin.getErrorMessage().str();
  std::multiset<std::string> names, expected;
  for (const RepositoryEntry& entry : admin.entries())
    names.insert(entry.name.str());
  for (int writer = 0; writer < kWriters; ++writer)
    for (int add = 0; add < kAddsEach; ++add)
      expected.insert(entryName(writer, add));
  EXPECT_EQ(names, expected);
}

// Threads that share one administration object walk the list while others
// change it: every walk reads whole entries, and no add is lost.
TEST(ListFileWriters, ThreadsSharingTheObjectWalkWhileOthersChangeTheList) {
  TempDir dir;
  RepositoryAdminImpl admin(0, dir.file("repos.lst").c_str());
  std::vector<int> failures(kWriters + 2, 0);
  std::vector<std::thread> threads;
  for (int index = 0; index < kWriters + 2; ++index)
    threads.emplace_back([&, index] {
      for (int add = 0; add < kAddsEach; ++add) {
        if (index < kWriters) {
          const std::string name = entryName(index, add);
          failures[index] += !admin.addRepository(("/r/" + name).c_str(), "",
                                                  name.c_str(), true);
          continue;
        }
        failures[index] += !admin.listRepositories(false, false);
        KvbString name, connection;
        while (admin.getNextRepository(&name, nullptr, &connection, nullptr,
                                       nullptr, nullptr, nullptr))
          failures[index] += connection != "/r/" + name;
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(kWriters + 2, 0));
  ASSERT_TRUE(admin.listRepositories(false, false));
  size_t listed = 0;
  while (admin.getNextRepository(nullptr, nullptr, nullptr, nullptr, nullptr,
                                 nullptr, nullptr))
    ++listed;
  EXPECT_EQ(listed, static_cast<size_t>(kWriters * kAddsEach));
}

}  // namespace
