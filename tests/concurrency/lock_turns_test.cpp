// Turns at the connection lock: waiters get the lock in the order they
// came, before any thread that comes later (the one that just let go
// included), and a waiter is refused only when one holding kept the lock
// for the busy timeout. Also run under ThreadSanitizer by
// scripts/harness.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
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

// The lock's clock, moved only by the test. It counts its readings, so
// that a test can wait until a waiter has looked at the time it set.
class TestLockClock {
 public:
  TestLockClock() { rdaSetLockClock(&read); }
  ~TestLockClock() { rdaSetLockClock(nullptr); }
  // Sets the time to `ms` after the clock's start; answers the number of
  // readings so far.
  int moveTo(int ms) {
    std::lock_guard<std::mutex> guard(mutex_);
    now_ = kStart + int64_t{ms} * 1000000;
    return reads_;
  }
  // Waits until the clock has been read more than `reads` times.
  void waitForReadingAfter(int reads) {
    std::unique_lock<std::mutex> guard(mutex_);
    read_.wait(guard, [&] { return reads_ > reads; });
  }

 private:
  // Far from 0, which the lock takes for "no transaction".
  static constexpr int64_t kStart = int64_t{1} << 40;
  static int64_t read() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++reads_;
    read_.notify_all();
    return now_;
  }
  static inline std::mutex mutex_;
  static inline std::condition_variable read_;
  static inline int64_t now_ = kStart;
  static inline int reads_ = 0;
};

// With a busy timeout of 1 s, a thread queued behind two holdings of 0.6 s
// each waits 1.2 s and gets the lock: no one holding kept it for the busy
// timeout. One that kept it longer is refused.
TEST_F(LockTurnsTest, AWaiterIsRefusedOnlyByOneLongHolding) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "1000");
  TestLockClock clock;
  clock.moveTo(0);
  ASSERT_TRUE(lock_.acquire());
  const int queued = seam_.count(RDA_LockSeam::kWaiting);
  std::promise<void> secondHolds, secondEnds;
  threads_.emplace_back([&] {
    RDA_LockGuard guard(&lock_);
    EXPECT_TRUE(static_cast<bool>(guard));
    secondHolds.set_value();
    secondEnds.get_future().wait();
  });
  seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
  bool taken = false;
  std::thread last([&] {
    RDA_LockGuard guard(&lock_);
    taken = static_cast<bool>(guard);
  });
  seam_.waitFor(RDA_LockSeam::kWaiting, queued + 2);
  clock.moveTo(600);  // the first holding ends
  lock_.release();
  secondHolds.get_future().wait();
  // The second holding ends 600 ms later, once the last waiter has seen
  // that it has waited longer than the busy timeout.
  clock.waitForReadingAfter(clock.moveTo(1200));
  secondEnds.set_value();
  last.join();
  joinAll();
  EXPECT_TRUE(taken) << "refused after a holding shorter than the timeout";

  ASSERT_TRUE(lock_.acquire());
  const int before = seam_.count(RDA_LockSeam::kWaiting);
  std::thread refused([&] {
    EXPECT_FALSE(lock_.acquire());
    KvbString reason;
    EXPECT_TRUE(lock_.texts().last(reason));
    EXPECT_NE(reason.str().find("gave up waiting for it after 1000 ms"),
              std::string::npos)
        << reason.str();
  });
  seam_.waitFor(RDA_LockSeam::kWaiting, before + 1);
  clock.moveTo(2201);  // this holding has kept the lock for 1001 ms
  refused.join();
  lock_.release();
}

}  // namespace
