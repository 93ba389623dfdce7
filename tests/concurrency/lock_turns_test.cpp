// Turns at the connection lock: waiters get the lock in the order they
// came, before any thread that comes later (the one that just let go
// included), and a waiter is refused only when one holding kept the lock
// for the busy timeout. Also run under ThreadSanitizer by
// scripts/harness.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "rda/rda_lock.h"
#include "support/lock_seam.h"

namespace {

class LockTurnsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  }

  // Starts a thread that takes the lock, notes `name` in order_ and lets
  // go; answers once the thread has queued behind the holder.
  void queue(int name) {
    const int queued = seam_.count(RDA_LockSeam::kWaiting);
    threads_.emplace_back([this, name] {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      std::lock_guard<std::mutex> noted(orderMutex_);
      order_.push_back(name);
    });
    seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
  }
  void joinAll() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  LockSeam seam_;
  RDA_Lock lock_;
  std::vector<std::thread> threads_;
  std::mutex orderMutex_;
  std::vector<int> order_;
};

// The holder lets go and asks again at once: the threads that queued
// meanwhile come first, in the order they queued.
TEST_F(LockTurnsTest, WaitersTakeTheLockInTheOrderTheyCame) {
  ASSERT_TRUE(lock_.acquire());
  for (int name : {1, 2, 3}) queue(name);
  lock_.release();
  ASSERT_TRUE(lock_.acquire());
  {
    std::lock_guard<std::mutex> noted(orderMutex_);
    order_.push_back(0);
  }
  lock_.release();
  joinAll();
  EXPECT_EQ(order_, (std::vector<int>{1, 2, 3, 0}));
}

// The turns that a back-to-back holder has taken, and their count when the
// asking thread queued (noted by a seam hook of this test's own).
std::atomic<int> turns{0};
std::atomic<int> turnsAtQueue{-1};
thread_local bool asking = false;
void noteQueued(RDA_LockSeam point) {
  if (point == RDA_LockSeam::kWaiting && asking) turnsAtQueue = turns.load();
}

// A thread that takes and lets go back to back does not keep a waiter out:
// the waiter gets the lock at the holder's next letting go.
TEST_F(LockTurnsTest, AWaiterBehindBackToBackHoldsGetsTheNextTurn) {
  rdaSetLockSeam(&noteQueued);
  std::atomic<bool> stop{false};
  std::promise<void> running;
  std::thread busy([&] {
    bool first = true;
    while (!stop) {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      ++turns;
      if (first) running.set_value();
      first = false;
    }
  });
  running.get_future().wait();
  int queuedAsks = 0;
  for (int ask = 0; ask < 200; ++ask) {
    turnsAtQueue = -1;
    int turnsWaited = -1;
    std::thread([&] {
      asking = true;
      RDA_LockGuard guard(&lock_);
      if (turnsAtQueue >= 0) turnsWaited = turns - turnsAtQueue;
    }).join();
    if (turnsWaited < 0) continue;  // it found the lock free
    ++queuedAsks;
    EXPECT_LE(turnsWaited, 1) << "ask " << ask;
  }
  stop = true;
  busy.join();
  rdaSetLockSeam(nullptr);
  EXPECT_GT(queuedAsks, 0);
}

// With a busy timeout of 1 s, a thread queued behind two holdings of 0.6 s
// each waits 1.2 s and gets the lock: no one holding kept it for the busy
// timeout. One that kept it longer is refused.
TEST_F(LockTurnsTest, AWaiterIsRefusedOnlyByOneLongHolding) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "1000");
  const auto hold = std::chrono::milliseconds(600);
  ASSERT_TRUE(lock_.acquire());
  const int queued = seam_.count(RDA_LockSeam::kWaiting);
  threads_.emplace_back([&] {
    RDA_LockGuard guard(&lock_);
    ASSERT_TRUE(static_cast<bool>(guard));
    std::this_thread::sleep_for(hold);  // the second holding
  });
  seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
  bool taken = false;
  std::thread last([&] {
    RDA_LockGuard guard(&lock_);
    taken = static_cast<bool>(guard);
  });
  seam_.waitFor(RDA_LockSeam::kWaiting, queued + 2);
  std::this_thread::sleep_for(hold);  // the first holding
  lock_.release();
  last.join();
  joinAll();
  EXPECT_TRUE(taken) << "refused after a holding shorter than the timeout";

  ASSERT_TRUE(lock_.acquire());
  std::thread([&] {
    EXPECT_FALSE(lock_.acquire());
    KvbString reason;
    EXPECT_TRUE(lock_.texts().last(reason));
    EXPECT_NE(reason.str().find("gave up waiting for it after 1000 ms"),
              std::string::npos)
        << reason.str();
  }).join();
  lock_.release();
}

}  // namespace
