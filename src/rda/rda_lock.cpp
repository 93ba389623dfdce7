// The connection lock's slow paths: bounded waits and their reasons, work
// handed to the holder, and transactions whose thread ended.
#include "rda/rda_lock.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "kvlogging/kvlogging.h"
#include "kvsqlstore/kvsqlstore.h"
#include "schema/log_printf.h"

namespace {

const char kSourceFile[] = "rda_lock";

// How often the first waiter looks whether the thread that holds the lock
// has ended with a transaction open: the ended thread tells nobody.
constexpr int64_t kEndedThreadCheckNs = 5000000;
// A waiter that has been first in the queue this long is handed the lock at
// the next letting go, instead of racing for it with threads that did not
// wait.
constexpr int64_t kFairAfterNs = 1000000;
// How many times a thread that finds the lock held looks again before it
// queues: a holding of a statement or a row often ends within them.
constexpr int kSpins = 100;

std::atomic<RDA_LockClock> testClock{nullptr};

void spinPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

}  // namespace

std::atomic<RDA_LockSeamHook> rdaLockSeamHook{nullptr};

void rdaSetLockSeam(RDA_LockSeamHook hook) { rdaLockSeamHook.store(hook); }

void rdaSetLockClock(RDA_LockClock clock) { testClock.store(clock); }

int64_t RDA_Lock::clockNow() {
  if (RDA_LockClock clock = testClock.load(std::memory_order_acquire))
    return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

// A thread that finds the lock held looks again a moment, then counts
// itself in the state word under waitMutex_, where the queue changes: a
// holder that lets go after the count sees it and takes the slow path,
// which waits for waitMutex_ and so finds the thread queued; one that let
// go before leaves the lock free, and the count takes it instead.
bool RDA_Lock::wait() {
  for (int spin = 0; spin < kSpins; ++spin) {
    if (tryTake()) return true;
    spinPause();
  }
  seam(RDA_LockSeam::kQueueing);
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__,
            "Connection lock requested while another thread holds it");
  const int timeoutMs = sqliteBusyTimeoutMs();
  Waiter self;
  {
    std::lock_guard<std::mutex> guard(waitMutex_);
    for (;;) {
      if (tryTake()) return true;
      uint32_t word = state_.load();
      if ((word & kHeld) && state_.compare_exchange_weak(word, word + kWaiter))
        break;
    }
    self.since = clockNow();
    if (queue_.empty()) self.firstSince = self.since;
    queue_.push_back(&self);
  }
  seam(RDA_LockSeam::kWaiting);
  if (waitQueued(self, int64_t{timeoutMs} * 1000000)) return true;
  const KvbString text = refusalText(timeoutMs);
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__, "%S", text);
  return refuseHere(text);
}

// The waiter wakes when it is handed the lock, when the lock was let go
// while it was first, when it became first or a transaction began while it
// was first and a transaction is recorded, and at its deadline. Only the
// first waiter looks after a transaction's thread, every few milliseconds:
// whatever the lock held when it began to wait, a transaction may be
// recorded after that.
bool RDA_Lock::waitQueued(Waiter& self, int64_t timeout) {
  std::unique_lock<std::mutex> guard(waitMutex_);
  for (;;) {
    if (self.granted || takeQueued(self)) return true;
    const bool watching =
        queue_.front() == &self && transactionSince_.load() != 0;
    if (watching) {
      guard.unlock();
      const bool tookOver = takeOverFromEndedThread();
      if (!tookOver) seam(RDA_LockSeam::kWatching);
      guard.lock();
      if (tookOver) {
        dequeue(self);
        return true;
      }
      // The lock may have been let go meanwhile, its wake-up missed.
      if (self.granted || takeQueued(self)) return true;
    }
    // The holding that keeps this thread waiting began when the lock last
    // passed on, or before this thread queued.
    const int64_t now = clockNow();
    const int64_t deadline = std::max(self.since, passedAt_.load()) + timeout;
    if (now >= deadline) {
      dequeue(self);
      return false;
    }
    // A test's clock says nothing of real time: under it a waiter looks
    // again every few milliseconds.
    const int64_t pause = watching || testClock.load()
                              ? std::min(deadline - now, kEndedThreadCheckNs)
                              : deadline - now;
    self.asleep = true;
    self.watching = watching;
    self.turn.wait_for(guard, std::chrono::nanoseconds(pause));
    self.asleep = false;
  }
}

bool RDA_Lock::takeQueued(Waiter& self) {
  uint32_t word = state_.load();
  while (!(word & kHeld))
    if (state_.compare_exchange_weak(word, (word | kHeld) - kWaiter)) {
      passedAt_ = clockNow();
      leaveQueue(self);
      return true;
    }
  return false;
}

void RDA_Lock::leaveQueue(Waiter& self) {
  const bool wasFirst = queue_.front() == &self;
  queue_.erase(std::find(queue_.begin(), queue_.end(), &self));
  if (!wasFirst || queue_.empty()) return;
  // The next waiter takes the lock if it is free, and looks after a
  // transaction if one is recorded; else the next letting go wakes it.
  Waiter& next = *queue_.front();
  next.firstSince = clockNow();
  if (!(state_.load() & kHeld) || transactionSince_.load() != 0) wake(next);
}

void RDA_Lock::dequeue(Waiter& waiter) {
  leaveQueue(waiter);
  state_.fetch_sub(kWaiter);
}

void RDA_Lock::wake(Waiter& waiter) {
  if (!waiter.asleep) return;
  waiter.asleep = false;
  waiter.turn.notify_one();
}

// Every counted waiter may have given up since the holder saw the count.
// The first waiter is handed the lock once it has been first for the bound,
// so that hand-overs, each a context switch, come at most about once per
// bound, and between them the lock goes to whoever takes it first.
void RDA_Lock::handOn() {
  seam(RDA_LockSeam::kHandingOn);
  std::lock_guard<std::mutex> guard(waitMutex_);
  if (queue_.empty()) {
    state_.fetch_and(~kHeld);
    return;
  }
  Waiter& first = *queue_.front();
  const int64_t now = clockNow();
  if (now - first.firstSince < kFairAfterNs) {
    state_.fetch_and(~kHeld);
    wake(first);
    return;
  }
  // The lock stays held, for the waiter.
  dequeue(first);
  passedAt_ = now;
  first.granted = true;
  wake(first);
}

KvbString RDA_Lock::refusalText(int timeoutMs) const {
  const int64_t since = transactionSince_.load();
  if (since == 0)
    return kvbStringFormat(
        "Another thread of this process is using this connection; gave up "
        "waiting for it after %d ms (SQLITE/BUSY_TIMEOUT)",
        timeoutMs);
  return kvbStringFormat(
      "Another thread of this process has held a transaction on this "
      "connection for %.1f s; gave up waiting for it after %d ms "
      "(SQLITE/BUSY_TIMEOUT)",
      (clockNow() - since) / 1e9, timeoutMs);
}

bool RDA_Lock::takeOverTransaction(bool evenAlive, const char* why) {
  RDA_TransactionEnder* ender;
  {
    std::lock_guard<std::mutex> guard(recordMutex_);
    if (!transactionThread_ || (!evenAlive && !transactionThread_->ended()))
      return false;
    // The transaction's thread holds the lock (it stays held): it passes to
    // this thread, and the other thread's holds go with it.
    ender = ender_;
    clearRecord();
    becomeOwner();
  }
  passedAt_ = clockNow();
  seam(RDA_LockSeam::kTakingOver);
  ender->ownerGone(why);
  return true;
}

bool RDA_Lock::takeNow() {
  if (heldHere()) {
    holdAgain();
    return true;
  }
  kvHoldOffCancellation();
  if (takeFree()) return true;
  kvAllowCancellation();
  return false;
}

bool RDA_Lock::takeFree() {
  if (tryTake()) {
    becomeOwner();
    return true;
  }
  return takeOverFromEndedThread();
}

// Handed-over work may run here too, when the holder let go before it
// could see it.
void RDA_Lock::runOrDefer(std::function<void()> work) {
  KvNoCancellation noCancellation;
  if (takeNow()) {
    work();
    release();
    return;
  }
  seam(RDA_LockSeam::kHandingOver);
  {
    std::lock_guard<std::mutex> guard(handedOverMutex_);
    handedOverWork_.push_back(std::move(work));
  }
  handedOver_.store(true);
  // The holder may have let go before it could see the work.
  runHandedOver();
}

// The first waiter, asleep while no transaction was recorded, now looks
// after the transaction's thread. Sequentially consistent with the
// waiter's count and its look at the record: either it sees the record,
// or this sees it counted.
void RDA_Lock::wakeFirstWaiter() {
  if (state_.load() < kWaiter) return;
  std::lock_guard<std::mutex> guard(waitMutex_);
  if (!queue_.empty() && !queue_.front()->watching) wake(*queue_.front());
}

void RDA_Lock::runHandedOver() {
  while (handedOver_.load() && tryTake()) {
    becomeOwner();
    runHandedOverHeld();
    depth_ = 0;
    free();
  }
}

// The work takes the lock again, so the hold is kept while it runs. Work
// handed over meanwhile runs too, in the same holding.
void RDA_Lock::runHandedOverHeld() {
  std::vector<std::function<void()>> work;
  while (handedOver_.load()) {
    {
      std::lock_guard<std::mutex> guard(handedOverMutex_);
      work.swap(handedOverWork_);
      handedOver_.store(false);
    }
    for (const std::function<void()>& step : work) step();
    work.clear();
  }
}

// No thread can call into the connection any more, so a thread that holds
// the lock either holds a transaction it can never end or is on its way
// out of the lock's own code, which takes a moment.
void RDA_Lock::takeForClose(const char* why) {
  if (!takeNow()) {
    kvHoldOffCancellation();
    while (!takeFree() && !takeOverTransaction(true, why))
      std::this_thread::yield();
  }
  runHandedOverHeld();
}

void RDA_Lock::transactionBegun(RDA_TransactionEnder* ender,
                                const void* object) {
  {
    std::lock_guard<std::mutex> guard(recordMutex_);
    transactionThread_ = rdaCurrentThreadToken();
    ender_ = ender;
    beganBy_ = object;
    objectGone_ = false;
    transactionSince_ = clockNow();
  }
  wakeFirstWaiter();
}

void RDA_Lock::transactionOf(const void* object) {
  std::lock_guard<std::mutex> guard(recordMutex_);
  if (transactionThread_ && heldHere()) beganBy_ = object;
}

void RDA_Lock::transactionEnded() {
  std::lock_guard<std::mutex> guard(recordMutex_);
  clearRecord();
}

void RDA_Lock::clearRecord() {
  transactionThread_.reset();
  ender_ = nullptr;
  beganBy_ = nullptr;
  objectGone_ = false;
  transactionSince_ = 0;
}

bool RDA_Lock::transactionOfAnotherThread() const {
  std::lock_guard<std::mutex> guard(recordMutex_);
  return transactionThread_ && !heldHere() && !transactionThread_->ended();
}

RDA_Lock::ObjectRelease RDA_Lock::objectReleased(const void* object) {
  if (!object) return ObjectRelease::kNone;
  std::lock_guard<std::mutex> guard(recordMutex_);
  if (!transactionThread_ || beganBy_ != object) return ObjectRelease::kNone;
  if (heldHere()) return ObjectRelease::kHeldHere;
  beganBy_ = nullptr;
  objectGone_ = true;
  return ObjectRelease::kMarked;
}
