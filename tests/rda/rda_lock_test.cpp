// The connection lock: one thread at a time holds it, a thread takes it
// again while holding it, and a thread that waits for it gets it when the
// holder lets go.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "rda/rda_lock.h"

namespace {

TEST(RdaLockTest, OneThreadAtATimeHoldsItAndTakesItAgainInside) {
  RDA_Lock lock;
  std::atomic<int> inside{0}, overlaps{0};
  int64_t total = 0;  // written only under the lock
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        RDA_LockGuard outer(&lock);
        RDA_LockGuard inner(&lock);
        if (++inside != 1) ++overlaps;
        ++total;
        --inside;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(overlaps.load(), 0);
  EXPECT_EQ(total, 4 * 20000);
}

TEST(RdaLockTest, AWaitingThreadGetsItWhenTheHolderLetsGo) {
  // Shared with the waiter, which may outlive a failed test.
  auto lock = std::make_shared<RDA_Lock>();
  lock->acquire();
  lock->acquire();
  auto taken = std::make_shared<std::promise<void>>();
  std::future<void> done = taken->get_future();
  std::thread waiter([lock, taken] {
    RDA_LockGuard guard(lock);
    taken->set_value();
  });
  using std::chrono::milliseconds;
  EXPECT_EQ(done.wait_for(milliseconds(50)), std::future_status::timeout);
  lock->release();  // still held once
  EXPECT_EQ(done.wait_for(milliseconds(50)), std::future_status::timeout);
  lock->release();
  if (done.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "the waiting thread did not get the lock";
    waiter.detach();
    return;
  }
  waiter.join();
  // A thread that does not hold the lock lets go of nothing.
  lock->release();
  RDA_LockGuard again(lock);
}

}  // namespace
