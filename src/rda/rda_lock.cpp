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
constexpr std::chrono::milliseconds kEndedThreadCheck(5);

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::atomic<RDA_LockSeamHook> seamHook{nullptr};

void seam(RDA_LockSeam point) {
  if (RDA_LockSeamHook hook = seamHook.load(std::memory_order_acquire))
    hook(point);
}

}  // namespace

void rdaSetLockSeam(RDA_LockSeamHook hook) { seamHook.store(hook); }

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

// A waiter counts itself before it tries again, under waitMutex_: a
// release that does not see the count came before the try, which then
// finds the lock free; one that sees it notifies under waitMutex_, so the
// waiter is either still to try or already waiting for the notice. Each
// time it wakes, and every few milliseconds, the waiter also looks whether
// a transaction's thread has ended, whatever the lock held when it began
// to wait: a transaction may be recorded after that.
bool RDA_Lock::wait() {
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__,
            "Connection lock requested while another thread holds it");
  seam(RDA_LockSeam::kWaiting);
  const int timeoutMs = sqliteBusyTimeoutMs();
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (takeOverFromEndedThread()) return true;
    const Clock::time_point until =
        std::min(deadline, Clock::now() + kEndedThreadCheck);
    std::unique_lock<std::mutex> guard(waitMutex_);
    ++waiting_;
    const bool taken =
        freed_.wait_until(guard, until, [this] { return tryTake(); });
    --waiting_;
    if (taken) return true;
    if (until >= deadline) break;
  }
  const KvbString text = refusalText(timeoutMs);
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__, "%S", text);
  return refuseHere(text);
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

void RDA_Lock::wake() {
  std::lock_guard<std::mutex> guard(waitMutex_);
  freed_.notify_one();
}

bool RDA_Lock::takeOverTransaction(bool evenAlive, const char* why) {
  RDA_TransactionEnder* ender;
  {
    std::lock_guard<std::mutex> guard(state_);
    if (!transactionThread_ ||
        (!evenAlive &&
         transactionThread_->alive.load(std::memory_order_acquire)))
      return false;
    // The transaction's thread holds the lock (held_ stays set): it passes
    // to this thread, and the other thread's holds go with it.
    ender = ender_;
    clearRecord();
    becomeOwner();
  }
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
  std::lock_guard<std::mutex> guard(state_);
  transactionThread_ = rdaCurrentThreadToken();
  ender_ = ender;
  beganBy_ = object;
  objectGone_ = false;
  transactionSince_ = steadyNanoseconds();
}

void RDA_Lock::transactionEnded() {
  std::lock_guard<std::mutex> guard(state_);
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
  std::lock_guard<std::mutex> guard(state_);
  return transactionThread_ && !heldHere() &&
         transactionThread_->alive.load(std::memory_order_acquire);
}

RDA_Lock::ObjectRelease RDA_Lock::objectReleased(const void* object) {
  if (!object) return ObjectRelease::kNone;
  std::lock_guard<std::mutex> guard(state_);
  if (!transactionThread_ || beganBy_ != object) return ObjectRelease::kNone;
  if (heldHere()) return ObjectRelease::kHeldHere;
  beganBy_ = nullptr;
  objectGone_ = true;
  return ObjectRelease::kMarked;
}
