// Turns at the connection lock: a thread takes the lock while it is free,
// past young waiters, so that a call of several holdings goes on; a waiter
// that has waited past the bound is handed the lock at the next letting
// go, in the order the waiters came; and a waiter is refused only when one
// holding kept the lock for the busy timeout. The lock's clock is the
// test's, so a waiter is young or old when the test says. Also run under
// ThreadSanitizer and beside busy processes by scripts/harness.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "rda/rda_lock.h"
#include "support/lock_clock.h"
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

  // Starts a thread that takes the lock, notes `name` in order_, runs
  // `holding` and lets go; answers once the thread has queued behind the
  // holder.
  void queue(int name, std::function<void()> holding = nullptr) {
    const int queued = seam_.count(RDA_LockSeam::kWaiting);
    threads_.emplace_back([this, name, holding] {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      note(name);
      if (holding) holding();
    });
    seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
  }
  void note(int name) {
    std::lock_guard<std::mutex> noted(orderMutex_);
    order_.push_back(name);
  }
  void joinAll() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
  }

  TestLockClock clock_;
  LockSeam seam_;
  RDA_Lock lock_;
  std::vector<std::thread> threads_;
  std::mutex orderMutex_;
  std::vector<int> order_;
};

// A waiter stays queued but away from its wait (stopped at its seam) while
// the holder lets go and another thread asks: a waiter that queued just
// now leaves the free lock to the thread that asks; one that has waited
// past the bound is handed the lock, and the thread that asks queues.
TEST_F(LockTurnsTest, AFreeLockIsTakenPastYoungWaitersAndHandedToOldOnes) {
  for (int waitedMs : {0, 2}) {
    SCOPED_TRACE(testing::Message() << "waited " << waitedMs << " ms");
    clock_.moveTo(0);
    order_.clear();
    ASSERT_TRUE(lock_.acquire());
    seam_.holdAt(RDA_LockSeam::kWaiting);
    queue(1);
    clock_.moveTo(waitedMs);
    lock_.release();
    const int queued = seam_.count(RDA_LockSeam::kWaiting);
    std::thread asking([&] {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      note(2);
    });
    if (waitedMs == 0)
      asking.join();  // it took the free lock
    else
      seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
    seam_.letGo();
    if (asking.joinable()) asking.join();
    joinAll();
    EXPECT_EQ(order_, waitedMs == 0 ? (std::vector<int>{2, 1})
                                    : (std::vector<int>{1, 2}));
  }
}

// The holder lets go and asks again at once. Each holding lasts 2 ms, so
// that the first waiter has been first for longer than the bound whenever
// the lock is let go: the waiters get it in the order they queued, and the
// holder, which queues behind them, last.
TEST_F(LockTurnsTest, WaitersFirstPastTheBoundTakeTheLockInTheOrderTheyCame) {
  std::atomic<int> ms{0};
  auto holdTwoMs = [&] { clock_.moveTo(ms += 2); };
  ASSERT_TRUE(lock_.acquire());
  for (int name : {1, 2, 3}) {
    const int queued = seam_.count(RDA_LockSeam::kWaiting);
    threads_.emplace_back([&, name] {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      note(name);
      holdTwoMs();
    });
    seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
  }
  holdTwoMs();
  lock_.release();
  ASSERT_TRUE(lock_.acquire());
  note(0);
  lock_.release();
  joinAll();
  EXPECT_EQ(order_, (std::vector<int>{1, 2, 3, 0}));
}

// The turns that a back-to-back holder has taken, and their count once the
// asking thread queued and the clock moved past the bound (by a seam hook
// of this test's own, on the asking thread).
std::atomic<int> turns{0};
std::atomic<int> turnsAtQueue{-1};
int clockMs = 0;
TestLockClock* hookClock = nullptr;
thread_local bool asking = false;
void queuedAndOld(RDA_LockSeam point) {
  if (point != RDA_LockSeam::kWaiting || !asking) return;
  hookClock->moveTo(clockMs += 2);
  turnsAtQueue = turns.load();
}

// A thread that takes and lets go back to back keeps the lock while the
// waiter is young, but not past the bound: the waiter gets the lock at the
// holder's next letting go after its wait passed the bound.
TEST_F(LockTurnsTest, AWaiterPastTheBoundGetsTheNextTurnOfABackToBackHolder) {
  hookClock = &clock_;
  rdaSetLockSeam(&queuedAndOld);
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
      // A holding long enough that the asking thread mostly queues.
      for (volatile int work = 0; work < 20000; work = work + 1) {
      }
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
  TestLockClock& clock = clock_;
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

// A thread that takes the free lock past a young waiter starts a holding of
// its own: the waiter, queued at 0 ms with a busy timeout of 1,000 ms,
// counts it from that take at 0.5 ms, and is still served at 1,000.25 ms.
TEST_F(LockTurnsTest, ATakePastAYoungWaiterStartsAHoldingOfItsOwn) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "1000");
  ASSERT_TRUE(lock_.acquire());
  seam_.holdAt(RDA_LockSeam::kWaiting);
  queue(1);
  clock_.moveTo(0.5);
  lock_.release();
  std::promise<void> holds, ends;
  std::thread taking([&] {
    RDA_LockGuard guard(&lock_);
    holds.set_value();
    ends.get_future().wait();
  });
  holds.get_future().wait();
  seam_.letGo();
  clock_.waitForReadingAfter(clock_.moveTo(1000.25));
  ends.set_value();
  taking.join();
  joinAll();
  EXPECT_EQ(order_, std::vector<int>{1}) << "refused by a holding of 999.75 ms";
}

// Turns as the first waiter passes on. Waiters 1 and 2 queue at 0 ms, and
// 2 is kept from its wait (stopped at its seam). The holder lets go at
// `passAt` ms: waiter 1 takes the free lock (young, before 1 ms) or is handed
// it (old), and 2 becomes first; 1 lets go at `letGoAt` ms, then thread 3
// asks. The bound runs from when 2 became first, not from when it queued:
// first for less than a millisecond, 2 leaves the free lock to 3.
TEST_F(LockTurnsTest, TheBoundRunsFromWhenAWaiterBecameFirst) {
  struct Case {
    double passAt, letGoAt;
    std::vector<int> order;
  };
  for (const Case& c : {Case{2, 2, {1, 3, 2}}, Case{0.5, 1, {1, 3, 2}},
                        Case{2, 4, {1, 2, 3}}}) {
    SCOPED_TRACE(testing::Message()
                 << "passed at " << c.passAt << " ms, let go at " << c.letGoAt);
    clock_.moveTo(0);
    order_.clear();
    ASSERT_TRUE(lock_.acquire());
    queue(1, [&] { clock_.moveTo(c.letGoAt); });
    seam_.holdAt(RDA_LockSeam::kWaiting);
    queue(2);
    clock_.moveTo(c.passAt);
    lock_.release();
    threads_.front().join();  // 1 took its turn and let go
    // 3 either takes the free lock and lets go, or queues.
    const int lettingGo = seam_.count(RDA_LockSeam::kLettingGo);
    const int queued = seam_.count(RDA_LockSeam::kWaiting);
    std::thread third([&] {
      RDA_LockGuard guard(&lock_);
      ASSERT_TRUE(static_cast<bool>(guard));
      note(3);
    });
    seam_.waitForEither(RDA_LockSeam::kLettingGo, lettingGo + 1,
                        RDA_LockSeam::kWaiting, queued + 1);
    seam_.letGo();
    third.join();
    threads_.erase(threads_.begin());
    joinAll();
    EXPECT_EQ(order_, c.order);
  }
}

// A waiter that gets the lock from the queue, taking it free (young, at
// 0.5 ms) or handed it (old, at 2 ms), starts a holding of its own: the
// waiter behind it, queued at the start with a busy timeout of 1,000 ms,
// counts from then, and is still served 999.75 ms later.
TEST_F(LockTurnsTest, AWaiterThatGetsTheLockStartsAHoldingOfItsOwn) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "1000");
  struct Case {
    double start, passAt;  // each case on a clock of its own
  };
  for (const Case& c : {Case{0, 0.5}, Case{5000, 5002}}) {
    SCOPED_TRACE(testing::Message() << "passed " << c.passAt - c.start
                                    << " ms after the waiters queued");
    clock_.moveTo(c.start);
    order_.clear();
    ASSERT_TRUE(lock_.acquire());
    std::promise<void> holds, ends;
    queue(1, [&] {
      holds.set_value();
      ends.get_future().wait();
    });
    seam_.holdAt(RDA_LockSeam::kWaiting);
    queue(2);
    clock_.moveTo(c.passAt);
    lock_.release();
    holds.get_future().wait();
    seam_.letGo();
    clock_.waitForReadingAfter(clock_.moveTo(c.passAt + 999.75));
    ends.set_value();
    joinAll();
    EXPECT_EQ(order_, (std::vector<int>{1, 2}))
        << "refused by a holding of 999.75 ms";
  }
}

}  // namespace
