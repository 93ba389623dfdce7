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

// How often a waiter looks whether the thread that holds the lock has
// ended with a transaction open: the ended thread tells nobody.
constexpr int64_t kEndedThreadCheckNs = 5000000;

std::atomic<RDA_LockClock> testClock{nullptr};

int64_t steadyNanoseconds() {
  if (RDA_LockClock clock = testClock.load(std::memory_order_acquire))
    return clock();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::atomic<RDA_LockSeamHook> rdaLockSeamHook{nullptr};

void rdaSetLockSeam(RDA_LockSeamHook hook) { rdaLockSeamHook.store(hook); }

void rdaSetLockClock(RDA_LockClock clock) { testClock.store(clock); }

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

// A waiter counts itself in the state word under waitMutex_, where every
// grant is made: when the count finds the lock free (its holder let go
// with nobody queued), the waiter takes it; otherwise the holder sees the
// count as it lets go and hands the lock to the queue's first thread. Each
// time it wakes, and every few milliseconds, the waiter also looks whether
// a transaction's thread has ended, whatever the lock held when it began
// to wait: a transaction may be recorded after that.
bool RDA_Lock::wait() {
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__,
            "Connection lock requested while another thread holds it");
  Waiter self;
  {
    std::lock_guard<std::mutex> guard(waitMutex_);
    if (!(state_.fetch_add(kWaiter) & kHeld)) {
      state_.fetch_sub(kWaiter - kHeld);
      return true;
    }
    queue_.push_back(&self);
  }
  const int64_t began = steadyNanoseconds();
  seam(RDA_LockSeam::kWaiting);
  const int timeoutMs = sqliteBusyTimeoutMs();
  const int64_t timeout = int64_t{timeoutMs} * 1000000;
  for (;;) {
    if (takeOverFromEndedThread()) {
      std::lock_guard<std::mutex> guard(waitMutex_);
      dequeue(self);
      return true;
    }
    std::unique_lock<std::mutex> guard(waitMutex_);
    if (self.granted) return true;
    // The holding that keeps this thread waiting began when the lock last
    // passed on, or before this thread queued.
    const int64_t now = steadyNanoseconds();
    const int64_t deadline = std::max(began, passedAt_.load()) + timeout;
    if (now >= deadline) {
      dequeue(self);
      break;
    }
    const std::chrono::nanoseconds pause(
        std::min(deadline - now, kEndedThreadCheckNs));
    if (self.turn.wait_for(guard, pause, [&] { return self.granted; }))
      return true;
  }
  const KvbString text = refusalText(timeoutMs);
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__, "%S", text);
  return refuseHere(text);
}

// A waiter that gave up, or took the lock over from an ended thread, was
// granted nothing (only the ended thread could have let go): it is still
// in the queue.
void RDA_Lock::dequeue(Waiter& self) {
  queue_.erase(std::find(queue_.begin(), queue_.end(), &self));
  state_.fetch_sub(kWaiter);
}

// The holder found waiters counted as it let go. They may all have given up
// since; else the first is granted the lock, which stays held.
void RDA_Lock::handOn() {
  std::lock_guard<std::mutex> guard(waitMutex_);
  if (queue_.empty()) {
    state_.fetch_and(~kHeld);
    return;
  }
  Waiter* next = queue_.front();
  queue_.pop_front();
  state_.fetch_sub(kWaiter);
  passedAt_ = steadyNanoseconds();
  next->granted = true;
  next->turn.notify_one();
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
      (steadyNanoseconds() - since) / 1e9, timeoutMs);
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
  passedAt_ = steadyNanoseconds();
  seam(RDA_LockSeam::kTakingOver);
  ender->ownerGone(why);
  return true;
}

bool RDA_Lock::takeNow() {
  if (heldHere()) {
    ++depth_;
    return true;
  }
  if (tryTake()) {
    becomeOwner();
    return true;
  }
  return takeOverFromEndedThread();
}

void RDA_Lock::runOrDefer(std::function<void()> work) {
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

void RDA_Lock::runHandedOver() {
  while (handedOver_.load() && tryTake()) {
    becomeOwner();
    runHandedOverHeld();
    depth_ = 0;
    free();
  }
}

// The work takes the lock again, so the hold is kept while it runs.
void RDA_Lock::runHandedOverHeld() {
  std::vector<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> guard(handedOverMutex_);
    work.swap(handedOverWork_);
    handedOver_.store(false);
  }
  for (const std::function<void()>& step : work) step();
}

// No thread can call into the connection any more, so a thread that holds
// the lock either holds a transaction it can never end or is on its way
// out of the lock's own code, which takes a moment.
void RDA_Lock::takeForClose(const char* why) {
  while (!takeNow() && !takeOverTransaction(true, why))
    std::this_thread::yield();
  runHandedOverHeld();
}

void RDA_Lock::transactionBegun(RDA_TransactionEnder* ender,
                                const void* object) {
  std::lock_guard<std::mutex> guard(recordMutex_);
  transactionThread_ = rdaCurrentThreadToken();
  ender_ = ender;
  beganBy_ = object;
  objectGone_ = false;
  transactionSince_ = steadyNanoseconds();
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
