// The connection lock: one thread at a time holds it, a thread takes it
// again while holding it, a thread that waits for it gets it when the
// holder lets go or gives up after the busy timeout, work that cannot wait
// goes to the holder and runs before the lock passes on, and the queue
// stays sound whatever its waiters do (give up, take over, are cancelled).
#include "rda/rda_lock.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "support/lock_clock.h"
#include "support/lock_seam.h"

namespace {

// How soon a waiter that may go on does, on a busy machine: far more than
// the milliseconds it takes, far less than the seconds a missed wake-up
// costs (a busy timeout, or a look every few seconds).
constexpr double kAtOnceMs = 2000;
double msBetween(std::chrono::steady_clock::time_point from,
                 std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

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
  lock.release();                        // still held once
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
// busy timeout (within 2 s of 20 s), and has the transaction rolled back
// once.
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
  const auto recorded = std::chrono::steady_clock::now();
  record.set_value();
  holder.join();
  waiter.join();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  EXPECT_TRUE(taken);
  EXPECT_EQ(ender.calls.load(), 1);
  EXPECT_LT(msBetween(recorded, std::chrono::steady_clock::now()), kAtOnceMs);
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
  const double held =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begun)
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

// A transaction whose thread ends while it holds the lock.
struct NoEnder final : RDA_TransactionEnder {
  void ownerGone(const char*) override {}
};

class TransactionThread {
 public:
  TransactionThread(RDA_Lock& lock, RDA_TransactionEnder& ender)
      : thread_([&] {
          ASSERT_TRUE(lock.acquire());
          lock.transactionBegun(&ender, nullptr);
          held_.set_value();
          end_.get_future().wait();
        }) {
    held_.get_future().wait();
  }
  void end() {
    end_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> held_, end_;
  std::thread thread_;
};

// With waiters queued, a release handed over during a holding has run
// when the next thread gets the lock, whether the holder frees it for a
// young waiter or hands it to an old one.
TEST(RdaLockTest, ReleasesHandedOverDuringAHoldingRunBeforeTheLockPassesOn) {
  for (int waitedMs : {0, 2}) {
    SCOPED_TRACE(testing::Message() << "waited " << waitedMs << " ms");
    TestLockClock clock;
    LockSeam seam;
    RDA_Lock lock;
    ASSERT_TRUE(lock.acquire());
    std::atomic<bool> ran{false};
    bool ranBeforeTurn = false;
    std::thread waiter([&] {
      RDA_LockGuard guard(&lock);
      ranBeforeTurn = ran;
    });
    seam.waitFor(RDA_LockSeam::kWaiting);
    std::thread([&] { lock.runOrDefer([&] { ran = true; }); }).join();
    EXPECT_FALSE(ran);
    clock.moveTo(waitedMs);
    lock.release();
    waiter.join();
    EXPECT_TRUE(ranBeforeTurn);
  }
}

// Handed-over work runs inside the holding it was handed to, before the
// lock passes on to a waiter, young (the lock is freed for it) or old (it
// is handed the lock): work that takes the lock itself does not let it go
// by its own release, and work handed over while handed-over work runs
// runs in the same holding.
TEST(RdaLockTest, HandedOverWorkRunsInsideTheHoldingItWasHandedTo) {
  for (bool handsOverMore : {false, true})
    for (int waitedMs : {0, 2}) {
      SCOPED_TRACE(testing::Message()
                   << (handsOverMore ? "the work hands over more"
                                     : "the work takes the lock")
                   << ", waited " << waitedMs << " ms");
      TestLockClock clock;
      LockSeam seam;
      RDA_Lock lock;
      ASSERT_TRUE(lock.acquire());
      std::atomic<int> ran{0};
      int ranAtTurn = -1;
      std::thread waiter([&] {
        RDA_LockGuard guard(&lock);
        ranAtTurn = ran;
      });
      seam.waitFor(RDA_LockSeam::kWaiting);
      auto handOver = [&](std::function<void()> work) {
        std::thread([&] { lock.runOrDefer(work); }).join();
      };
      bool heldThroughout = true;
      handOver([&] {
        if (handsOverMore) {
          handOver([&] { ++ran; });
        } else {
          EXPECT_TRUE(lock.acquire());
          lock.release();
          heldThroughout = lock.heldHere();
        }
        ++ran;
      });
      clock.moveTo(waitedMs);
      lock.release();
      waiter.join();
      EXPECT_TRUE(heldThroughout) << "the work's own release let the lock go";
      EXPECT_EQ(ranAtTurn, handsOverMore ? 2 : 1);
    }
}

// A thread that takes the free lock on its way to the queue holds it: a
// third thread queues behind it instead of taking it too.
TEST(RdaLockTest, ALockTakenOnTheWayToTheQueueIsHeld) {
  LockSeam seam;
  RDA_Lock lock;
  ASSERT_TRUE(lock.acquire());
  seam.holdAt(RDA_LockSeam::kQueueing);
  std::promise<void> secondHolds, secondEnds;
  std::thread second([&] {
    RDA_LockGuard guard(&lock);
    ASSERT_TRUE(static_cast<bool>(guard));
    secondHolds.set_value();
    secondEnds.get_future().wait();
  });
  seam.waitFor(RDA_LockSeam::kQueueing);
  lock.release();  // free, with nobody counted
  seam.letGo();
  secondHolds.get_future().wait();
  std::atomic<bool> thirdTook{false};
  std::thread third([&] {
    RDA_LockGuard guard(&lock);
    thirdTook = static_cast<bool>(guard);
  });
  while (seam.count(RDA_LockSeam::kWaiting) == 0 && !thirdTook)
    std::this_thread::yield();
  EXPECT_FALSE(thirdTook) << "two threads held the lock";
  secondEnds.set_value();
  second.join();
  third.join();
  EXPECT_TRUE(thirdTook);
}

// Waiters that leave the queue leave it sound. A waiter behind the first
// that gives up takes only its own place: the first still gets the lock.
// A takeover from an ended thread restarts the others' wait: a waiter
// queued at 1,000 ms with a busy timeout of 1,000 ms is still served at
// 2,500 ms, after the taker held the lock from 1,900 ms. When every waiter
// gives up as the holder lets go, the lock is free afterwards.
TEST(RdaLockTest, WaitersThatLeaveTheQueueLeaveItSound) {
  TestLockClock clock;
  LockSeam seam;
  RDA_Lock lock;
  auto timeout = [](const char* ms) {
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", ms);
  };
  auto refusedAfter = [&](int ms) {
    bool taken = true;
    const int queued = seam.count(RDA_LockSeam::kWaiting);
    std::thread refused([&] { taken = lock.acquire(); });
    seam.waitFor(RDA_LockSeam::kWaiting, queued + 1);
    clock.moveTo(ms);
    refused.join();
    EXPECT_FALSE(taken);
  };
  {
    SCOPED_TRACE("the second waiter gives up");
    timeout("20000");
    ASSERT_TRUE(lock.acquire());
    bool firstTook = false;
    std::thread first([&] {
      firstTook = lock.acquire();
      lock.release();
    });
    seam.waitFor(RDA_LockSeam::kWaiting);
    timeout("100");
    refusedAfter(200);
    lock.release();
    first.join();
    EXPECT_TRUE(firstTook);
  }
  {
    SCOPED_TRACE("the first waiter takes over");
    timeout("1000");
    clock.moveTo(1000);
    NoEnder ender;
    TransactionThread ending(lock, ender);
    std::promise<void> takerHolds, takerEnds;
    const int queued = seam.count(RDA_LockSeam::kWaiting);
    std::thread taker([&] {
      ASSERT_TRUE(lock.acquire());
      takerHolds.set_value();
      takerEnds.get_future().wait();
      lock.release();
    });
    seam.waitFor(RDA_LockSeam::kWaiting, queued + 1);
    bool lastTook = false;
    std::thread last([&] {
      lastTook = lock.acquire();
      lock.release();
    });
    seam.waitFor(RDA_LockSeam::kWaiting, queued + 2);
    clock.moveTo(1900);
    ending.end();
    takerHolds.get_future().wait();
    clock.waitForReadingAfter(clock.moveTo(2500));
    takerEnds.set_value();
    taker.join();
    last.join();
    EXPECT_TRUE(lastTook) << "its wait was not restarted by the takeover";
  }
  {
    SCOPED_TRACE("every waiter gives up as the holder lets go");
    timeout("100");
    clock.moveTo(3000);
    std::promise<void> held, letGo;
    std::thread holder([&] {
      ASSERT_TRUE(lock.acquire());
      held.set_value();
      letGo.get_future().wait();
      lock.release();
    });
    held.get_future().wait();
    seam.holdAt(RDA_LockSeam::kHandingOn);
    const int handing = seam.count(RDA_LockSeam::kHandingOn);
    bool taken = true;
    const int queued = seam.count(RDA_LockSeam::kWaiting);
    std::thread refused([&] { taken = lock.acquire(); });
    seam.waitFor(RDA_LockSeam::kWaiting, queued + 1);
    letGo.set_value();
    seam.waitFor(RDA_LockSeam::kHandingOn, handing + 1);
    clock.moveTo(3200);
    refused.join();
    EXPECT_FALSE(taken);
    seam.letGo();
    holder.join();
  }
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  bool ranAtOnce = false;
  std::thread([&] { lock.runOrDefer([&] { ranAtOnce = true; }); }).join();
  EXPECT_TRUE(ranAtOnce) << "the lock was left held";
}

// The holder of a transaction ends it and lets go while the first waiter
// looks after the holder's thread (stopped at its seam, where it hears no
// wake-up): the waiter still finds the lock, handed to it or free, even
// when its busy timeout (100 ms) passed meanwhile.
TEST(RdaLockTest, AWaiterLookingAfterTheHolderFindsTheLockLetGoMeanwhile) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "100");
  for (int waitedMs : {0, 2})
    for (int lookedMs : {0, 200}) {
      SCOPED_TRACE(testing::Message()
                   << "waited " << waitedMs << " ms, looked again " << lookedMs
                   << " ms later");
      TestLockClock clock;
      LockSeam seam;
      RDA_Lock lock;
      NoEnder ender;
      ASSERT_TRUE(lock.acquire());
      lock.transactionBegun(&ender, nullptr);
      seam.holdAt(RDA_LockSeam::kWatching);
      bool taken = false;
      std::thread waiter([&] {
        taken = lock.acquire();
        lock.release();
      });
      seam.waitFor(RDA_LockSeam::kWatching);
      clock.moveTo(waitedMs);
      lock.transactionEnded();
      lock.release();
      clock.moveTo(waitedMs + lookedMs);
      seam.letGo();
      waiter.join();
      EXPECT_TRUE(taken);
    }
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
}

// Which threads read the lock's clock how often, and which looked after a
// transaction's thread, for the test below.
std::mutex lookMutex;
std::condition_variable looked;
std::map<std::thread::id, int> clockReads;
std::set<std::thread::id> watchers;
int64_t readClock() {
  std::lock_guard<std::mutex> guard(lookMutex);
  ++clockReads[std::this_thread::get_id()];
  looked.notify_all();
  return int64_t{1} << 40;
}
void noteWatcher(RDA_LockSeam point) {
  if (point != RDA_LockSeam::kWatching) return;
  std::lock_guard<std::mutex> guard(lookMutex);
  watchers.insert(std::this_thread::get_id());
}

// Only the first waiter looks after a transaction's thread: with three
// waiters behind a living transaction, each waiting round after round
// (each reads the clock once a round), one thread looks.
TEST(RdaLockTest, OnlyTheFirstWaiterLooksAfterATransactionsThread) {
  clockReads.clear();
  watchers.clear();
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  rdaSetLockClock(&readClock);
  rdaSetLockSeam(&noteWatcher);
  RDA_Lock lock;
  NoEnder ender;
  TransactionThread holding(lock, ender);
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      EXPECT_TRUE(lock.acquire());
      lock.release();
    });
  {
    std::unique_lock<std::mutex> guard(lookMutex);
    looked.wait(guard, [&] {
      for (const std::thread& waiter : waiters)
        if (clockReads[waiter.get_id()] < 4) return false;
      return true;
    });
    EXPECT_EQ(watchers.size(), 1u);
  }
  holding.end();
  for (std::thread& waiter : waiters) waiter.join();
  rdaSetLockSeam(nullptr);
  rdaSetLockClock(nullptr);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
}

// A waiter that is handed the lock, or whose holder's thread ends inside
// its transaction, goes on at once, not at its deadline: with a busy
// timeout of 60 s, it has the lock within 30 s even on a busy machine.
TEST(RdaLockTest, AWaiterGoesOnAtOnceWhenTheHolderLetsGoOrEnds) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "60000");
  using Clock = std::chrono::steady_clock;
  for (bool ends : {false, true}) {
    SCOPED_TRACE(ends ? "the holder's thread ends" : "the holder lets go");
    LockSeam seam;
    RDA_Lock lock;
    NoEnder ender;
    std::unique_ptr<TransactionThread> ending;
    if (ends)
      ending = std::make_unique<TransactionThread>(lock, ender);
    else
      ASSERT_TRUE(lock.acquire());
    std::thread waiter([&] {
      EXPECT_TRUE(lock.acquire());
      lock.release();
    });
    seam.waitFor(ends ? RDA_LockSeam::kWatching : RDA_LockSeam::kWaiting);
    // Past the bound of a hand-over, so that the lock is handed on.
    const Clock::time_point queued = Clock::now();
    while (Clock::now() - queued < std::chrono::milliseconds(2)) {
    }
    if (ends)
      ending->end();
    else
      lock.release();
    waiter.join();
    EXPECT_LT(Clock::now() - queued, std::chrono::seconds(30));
  }
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
}

// The lock's clock for the test below: the steady clock, `ahead` of it,
// until the thread sleep() names reads it once more and removes it. That
// thread, a waiter stopped at the seam of its wait, then sleeps by the
// steady clock until its deadline, without the looks every few milliseconds
// that a test's clock brings: only a wake-up ends its sleep early. It reads
// the clock holding the queue's mutex, which any wake-up needs, until it
// sleeps: once sleep() returns, whatever wakes it finds it asleep.
class SleepingWaiterClock {
 public:
  explicit SleepingWaiterClock(std::chrono::nanoseconds ahead) {
    ahead_ = ahead.count();
    rdaSetLockClock(&read);
  }
  ~SleepingWaiterClock() { rdaSetLockClock(nullptr); }
  void sleep(const std::thread& waiter, LockSeam& seam) {
    std::future<void> asleep;
    {
      std::lock_guard<std::mutex> guard(mutex_);
      read_ = std::promise<void>();
      asleep = read_.get_future();
      sleeper_ = waiter.get_id();
    }
    seam.letGo(RDA_LockSeam::kWaiting);
    asleep.wait();
  }

 private:
  static int64_t read() {
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count() +
                        ahead_;
    std::lock_guard<std::mutex> guard(mutex_);
    if (sleeper_ == std::this_thread::get_id()) {
      sleeper_ = std::thread::id();
      rdaSetLockClock(nullptr);
      read_.set_value();
    }
    return now;
  }
  static inline int64_t ahead_ = 0;
  static inline std::mutex mutex_;
  static inline std::thread::id sleeper_;
  static inline std::promise<void> read_;
};

// A queued waiter goes on as soon as it may, not at its deadline (busy
// timeout 10 s), within 2 s of each of these events:
// - the holder lets go while the waiter sleeps first for less than the
//   bound of a hand-over (it queued ahead of the clock): it is woken to
//   take the free lock;
// - a transaction begins while the waiter sleeps, and its thread ends: the
//   waiter is woken to look after that thread;
// - the holder of a transaction ends, and the first waiter gives up (busy
//   timeout 0) while the waiter sleeps behind it: now first, it is woken to
//   look after the holder's thread;
// - the holder of a transaction ends just after the first waiter looked at
//   its thread: it looks again within a few milliseconds.
TEST(RdaLockTest, AQueuedWaiterGoesOnAsSoonAsItMay) {
  enum Event { kYoungLetGo, kTransactionBegun, kFirstGivesUp, kLookedAt };
  const char* const names[] = {"young, let go", "a transaction begun",
                               "the first gave up", "looked at"};
  for (Event event :
       {kYoungLetGo, kTransactionBegun, kFirstGivesUp, kLookedAt}) {
    SCOPED_TRACE(names[event]);
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "10000");
    const bool recorded = event == kFirstGivesUp || event == kLookedAt;
    std::optional<SleepingWaiterClock> clock;
    if (event != kLookedAt)
      clock.emplace(event == kYoungLetGo ? std::chrono::seconds(5)
                                         : std::chrono::seconds(0));
    LockSeam seam;
    RDA_Lock lock;
    NoEnder ender;
    std::promise<void> held, go;
    std::thread holder([&] {
      ASSERT_TRUE(lock.acquire());
      if (recorded) lock.transactionBegun(&ender, nullptr);
      held.set_value();
      go.get_future().wait();
      if (event == kYoungLetGo) lock.release();
      if (event == kTransactionBegun) lock.transactionBegun(&ender, nullptr);
    });
    held.get_future().wait();
    std::thread first;
    if (event == kFirstGivesUp || event == kLookedAt)
      seam.holdAt(RDA_LockSeam::kWatching);
    if (event == kFirstGivesUp) {
      kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "0");
      first = std::thread([&] { EXPECT_FALSE(lock.acquire()); });
      seam.waitFor(RDA_LockSeam::kWatching);
      kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "10000");
    }
    if (clock) seam.holdAt(RDA_LockSeam::kWaiting);
    const int queued = seam.count(RDA_LockSeam::kWaiting);
    std::chrono::steady_clock::time_point took;
    std::thread waiter([&] {
      EXPECT_TRUE(lock.acquire());
      took = std::chrono::steady_clock::now();
      lock.release();
    });
    if (clock) {
      seam.waitFor(RDA_LockSeam::kWaiting, queued + 1);
      clock->sleep(waiter, seam);
    } else {
      seam.waitFor(RDA_LockSeam::kWatching);
    }
    const auto start = std::chrono::steady_clock::now();
    go.set_value();
    holder.join();
    seam.letGo();
    waiter.join();
    if (first.joinable()) first.join();
    EXPECT_LT(msBetween(start, took), kAtOnceMs);
  }
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
}

// A thread cancelled while it waits is cancelled after its call: it takes
// the lock and lets go, and leaves nothing of it in the queue.
TEST(RdaLockTest, AWaiterCancelledWhileItWaitsLeavesTheQueueSound) {
  LockSeam seam;
  RDA_Lock lock;
  ASSERT_TRUE(lock.acquire());
  struct Waiting {
    RDA_Lock* lock;
    bool taken = false;
  } waiting{&lock};
  pthread_t thread;
  ASSERT_EQ(pthread_create(
                &thread, nullptr,
                [](void* arg) -> void* {
                  auto* self = static_cast<Waiting*>(arg);
                  self->taken = self->lock->acquire();
                  self->lock->release();
                  pthread_testcancel();
                  return nullptr;
                },
                &waiting),
            0);
  seam.waitFor(RDA_LockSeam::kWaiting);
  pthread_cancel(thread);
  lock.release();
  void* result = nullptr;
  pthread_join(thread, &result);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  EXPECT_TRUE(waiting.taken);
  bool ranAtOnce = false;
  std::thread([&] { lock.runOrDefer([&] { ranAtOnce = true; }); }).join();
  EXPECT_TRUE(ranAtOnce) << "the lock was left held";
}

// Whether the calling thread can be cancelled now; its state stays as it was.
bool cancellable() {
  int before = 0;
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &before);
  pthread_setcancelstate(before, nullptr);
  return before == PTHREAD_CANCEL_ENABLE;
}

// A thread gets its cancellation back, and its count of reasons to stay
// uncancelled back to zero, when it could not take the lock without
// waiting: a release handed over to the holder, and a close that took a
// living thread's transaction over, which keeps cancellation off while
// the transaction is rolled back.
TEST(RdaLockTest, EveryWayOfTakingTheLockGivesTheThreadsCancellationBack) {
  struct Ender final : RDA_TransactionEnder {
    bool cancellableWhileRollingBack = true;
    void ownerGone(const char*) override {
      cancellableWhileRollingBack = cancellable();
    }
  };
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "a close that takes a transaction over"
                       : "a release handed over");
    LockSeam seam;
    Ender ender;
    auto lock = std::make_unique<RDA_Lock>();
    std::promise<void> held, done;
    std::thread holder([&] {
      ASSERT_TRUE(lock->acquire());
      if (close) {
        lock->transactionBegun(&ender, nullptr);
        lock->parkForTransaction();
      }
      held.set_value();
      done.get_future().wait();
      if (!close) lock->release();
    });
    held.get_future().wait();
    bool cancellableAfter = false;
    int countAfter = -1;
    std::thread other([&] {
      if (close) {
        lock->takeForClose("closed");
        lock.reset();
      } else {
        lock->runOrDefer([] {});
      }
      cancellableAfter = cancellable();
      countAfter = kvUncancellable;
    });
    // The close never waits for the holder's end: it takes over.
    other.join();
    EXPECT_EQ(seam.count(RDA_LockSeam::kHandingOver), close ? 0 : 1);
    done.set_value();
    holder.join();
    EXPECT_TRUE(cancellableAfter);
    EXPECT_EQ(countAfter, 0);
    if (close) {
      EXPECT_FALSE(ender.cancellableWhileRollingBack);
    }
  }
}

}  // namespace
