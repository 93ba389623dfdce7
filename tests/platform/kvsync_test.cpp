// Tests of the atoms and the recursive locks.
#include "kvsync/kvsync.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

bool tryFromOtherThread(KvLock* lock) {
  bool taken = false;
  std::thread([&] {
    taken = kvLockTry(lock);
    if (taken) kvLockRelease(lock);
  }).join();
  return taken;
}

TEST(KvSyncTest, AtomsAndNullArguments) {
  KvAtom* atom = kvAtomInit(-5);
  EXPECT_EQ(kvAtomGet(atom), -5);
  kvAtomSet(atom, 1L << 40);
  EXPECT_EQ(kvAtomGet(atom), 1L << 40);
  kvAtomDestroy(atom);
  EXPECT_EQ(kvAtomGet(nullptr), 0);
  EXPECT_FALSE(kvLockGet(nullptr));
  EXPECT_FALSE(kvLockTry(nullptr));
  kvLockRelease(nullptr);
}

// The connection's lock trace relies on kvLockTry failing only while
// another thread holds the lock, for as many holds as were taken.
TEST(KvSyncTest, TryDetectsAnotherHolderOfARecursiveLock) {
  KvLock* lock = kvLockCreate();
  EXPECT_TRUE(tryFromOtherThread(lock));
  ASSERT_TRUE(kvLockGet(lock));
  ASSERT_TRUE(kvLockGet(lock));
  EXPECT_TRUE(kvLockTry(lock));
  EXPECT_FALSE(tryFromOtherThread(lock));
  // A release by a thread that does not hold the lock frees nothing.
  std::thread([lock] { kvLockRelease(lock); }).join();
  kvLockRelease(lock);
  kvLockRelease(lock);
  EXPECT_FALSE(tryFromOtherThread(lock));
  kvLockRelease(lock);
  EXPECT_TRUE(tryFromOtherThread(lock));
  kvLockDestroy(lock);
}

TEST(KvSyncTest, LockSerialisesWriters) {
  KvLock* lock = kvLockCreate();
  long counter = 0;  // deliberately not atomic
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 5000; ++i) {
        kvLockGet(lock);
        ++counter;
        kvLockRelease(lock);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, 40000);
  kvLockDestroy(lock);
}

}  // namespace
