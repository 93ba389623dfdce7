// The connection lock: one thread at a time holds it, a thread takes it
// again while holding it, a thread that waits for it gets it when the
// holder lets go or gives up after the busy timeout, and work that cannot
// wait goes to the holder.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "rda/rda_lock.h"
#include "support/lock_seam.h"

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
  LockSeam seam;
  RDA_Lock lock;
  lock.acquire();
  lock.acquire();
  std::atomic<bool> taken{false};
  std::thread waiter([&] {
    RDA_LockGuard guard(&lock);
    taken = static_cast<bool>(guard);
  });
  seam.waitFor(RDA_LockSeam::kWaiting);  // the waiter met the lock
  lock.release();  // still held once
  EXPECT_TRUE(lock.heldHere());
  EXPECT_FALSE(taken);
  lock.release();
  waiter.join();  // it gives up only after the busy timeout
  EXPECT_TRUE(taken) << "the waiting thread did not get the lock";
  // A thread that does not hold the lock lets go of nothing.
  lock.release();
  RDA_LockGuard again(&lock);
  EXPECT_TRUE(static_cast<bool>(again));
}

// A waiter gives up after the busy timeout with a reason of its own, which
// it keeps until it takes the lock; a release it cannot wait for runs on
// the holder's thread as the holder lets go.
TEST(RdaLockTest, AWaiterGivesUpAfterTheBusyTimeoutAndHandsOverItsRelease) {
  LockSeam seam;
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "100");
  auto lock = std::make_shared<RDA_Lock>();
  ASSERT_TRUE(lock->acquire());
  KvbString reason;
  bool taken = true;
  std::thread::id ranOn;
  std::thread([&] {
    taken = lock->acquire();
    lock->texts().last(reason);
    lock->runOrDefer([&] { ranOn = std::this_thread::get_id(); });
  }).join();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  EXPECT_FALSE(taken);
  EXPECT_EQ(reason.str(),
            "Another thread of this process is using this connection; gave up "
            "waiting for it after 100 ms (SQLITE/BUSY_TIMEOUT)");
  EXPECT_EQ(seam.count(RDA_LockSeam::kWaiting), 1);
  EXPECT_EQ(seam.count(RDA_LockSeam::kHandingOver), 1);
  EXPECT_EQ(ranOn, std::thread::id()) << "ran without the lock";
  KvbString none;
  EXPECT_FALSE(lock->texts().last(none)) << "another thread's reason";
  lock->release();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

// A waiter that began to wait before the holder recorded its transaction
// still finds the holder's end: it takes the lock over long before the
// busy timeout, and has the transaction rolled back once.
TEST(RdaLockTest, AWaiterFindsAnOwnerThatEndedAfterItBeganToWait) {
  struct Ender final : RDA_TransactionEnder {
    std::atomic<int> calls{0};
    void ownerGone(const char*) override { ++calls; }
  } ender;
  LockSeam seam;
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  RDA_Lock lock;
  std::promise<void> held, record;
  std::thread holder([&] {
    ASSERT_TRUE(lock.acquire());
    held.set_value();
    record.get_future().wait();
    lock.transactionBegun(&ender, nullptr);
  });
  held.get_future().wait();
  bool taken = false;
  std::thread waiter([&] {
    taken = lock.acquire();
    lock.release();
  });
  seam.waitFor(RDA_LockSeam::kWaiting);
  record.set_value();
  holder.join();
  waiter.join();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  EXPECT_TRUE(taken);
  EXPECT_EQ(ender.calls.load(), 1);
}

// Work handed over just as the holder lets go is not left behind: the
// thread that hands it over finds the lock free and runs it itself.
TEST(RdaLockTest, WorkHandedOverAsTheHolderLetsGoStillRuns) {
  LockSeam seam;
  RDA_Lock lock;
  ASSERT_TRUE(lock.acquire());
  seam.holdAt(RDA_LockSeam::kHandingOver);
  bool ran = false;
  std::thread releasing([&] { lock.runOrDefer([&] { ran = true; }); });
  seam.waitFor(RDA_LockSeam::kHandingOver);
  lock.release();  // before the work is handed over
  seam.letGo();
  releasing.join();
  EXPECT_TRUE(ran);
}

// Work handed over while the holder runs earlier handed-over work runs in
// the same letting go: when the holder's release returns, everything
// handed over has run and the lock is free.
TEST(RdaLockTest, WorkHandedOverWhileHandedOverWorkRunsRunsToo) {
  LockSeam seam;
  RDA_Lock lock;
  ASSERT_TRUE(lock.acquire());
  std::promise<void> firstRunning, secondHandedOver;
  bool secondRan = false;
  std::thread([&] {
    lock.runOrDefer([&] {
      firstRunning.set_value();
      secondHandedOver.get_future().wait();
    });
  }).join();
  std::thread second([&] {
    firstRunning.get_future().wait();
    std::thread([&] { lock.runOrDefer([&] { secondRan = true; }); }).join();
    secondHandedOver.set_value();
  });
  lock.release();  // runs the first work, which waits for the second
  second.join();
  EXPECT_TRUE(secondRan);
  std::thread([&] {
    RDA_LockGuard guard(&lock);
    EXPECT_TRUE(static_cast<bool>(guard)) << "the lock was left held";
  }).join();
}

// The holder looks for handed-over work only once the lock is free: work
// handed over while it lets go runs by the time its release returns.
TEST(RdaLockTest, WorkHandedOverAsTheHolderFreesTheLockRuns) {
  LockSeam seam;
  RDA_Lock lock;
  std::promise<void> held;
  bool ran = false, ranBeforeReturn = false;
  seam.holdAt(RDA_LockSeam::kLettingGo);
  std::thread holder([&] {
    ASSERT_TRUE(lock.acquire());
    held.set_value();
    lock.release();  // stops before the lock is free
    ranBeforeReturn = ran;
  });
  held.get_future().wait();
  seam.waitFor(RDA_LockSeam::kLettingGo);
  std::thread([&] { lock.runOrDefer([&] { ran = true; }); }).join();
  EXPECT_FALSE(ran);
  seam.letGo();
  holder.join();
  EXPECT_TRUE(ranBeforeReturn);
}

// The refusal of a waiter behind a transaction gives the transaction's age
// in seconds: at least the busy timeout, at most the time it was held.
TEST(RdaLockTest, ARefusalGivesTheTransactionsAgeInSeconds) {
  struct Ender final : RDA_TransactionEnder {
    void ownerGone(const char*) override {}
  } ender;
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "200");
  RDA_Lock lock;
  ASSERT_TRUE(lock.acquire());
  const auto begun = std::chrono::steady_clock::now();
  lock.transactionBegun(&ender, nullptr);
  KvbString reason;
  std::thread([&] {
    EXPECT_FALSE(lock.acquire());
    lock.texts().last(reason);
  }).join();
  const double held = std::chrono::duration<double>(
                          std::chrono::steady_clock::now() - begun)
                          .count();
  lock.transactionEnded();
  lock.release();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  const std::string text = reason.str();
  const size_t at = text.find("connection for ");
  ASSERT_NE(at, std::string::npos) << text;
  const double age = std::stod(text.substr(at + 15));
  EXPECT_GE(age, 0.1) << text;  // printed to a tenth of a second
  EXPECT_LE(age, held + 0.05) << text;
  EXPECT_NE(text.find(" s; gave up waiting for it after 200 ms"),
            std::string::npos)
      << text;
}

}  // namespace
