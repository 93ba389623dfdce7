// The connection lock's slow paths: bounded waits and their reasons, work
// handed to the holder, and transactions whose thread ends.
#include "rda/rda_lock.h"

#include <chrono>

#include "kvlogging/kvlogging.h"
#include "kvsqlstore/kvsqlstore.h"
#include "schema/log_printf.h"

namespace {

const char kSourceFile[] = "rda_lock";

int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Why the lock that rdaRefusingLock names refused the calling thread.
thread_local std::string refusal;

}  // namespace

uint64_t rdaNewThreadNumber() {
  static std::atomic<uint64_t> next{0};
  return ++next;
}

// The locks whose transactions the calling thread began; as the thread
// ends, each that it still holds ends its transaction on it.
class RDA_ThreadTransactions {
 public:
  ~RDA_ThreadTransactions() {
    for (const std::weak_ptr<RDA_Lock>& held : locks_)
      if (std::shared_ptr<RDA_Lock> lock = held.lock()) lock->threadEnded();
  }
  void add(const std::shared_ptr<RDA_Lock>& lock) {
    // Locks that are gone, or no longer this thread's, leave the list.
    for (size_t i = 0; i < locks_.size();) {
      std::shared_ptr<RDA_Lock> held = locks_[i].lock();
      if (held == lock) return;
      if (!held || !held->heldHere()) {
        locks_[i] = std::move(locks_.back());
        locks_.pop_back();
      } else {
        ++i;
      }
    }
    locks_.push_back(lock);
  }

 private:
  std::vector<std::weak_ptr<RDA_Lock>> locks_;
};

namespace {
thread_local RDA_ThreadTransactions threadTransactions;
}

RDA_Lock::RDA_Lock()
    : trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

// A waiter counts itself before it tries again, under waitMutex_: a
// release that does not see the count came before the try, which then
// finds the lock free; one that sees it notifies under waitMutex_, so the
// waiter is either still to try or already waiting for the notice.
bool RDA_Lock::wait() {
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__,
            "Connection lock requested while another thread holds it");
  const int timeoutMs = sqliteBusyTimeoutMs();
  bool taken;
  {
    std::unique_lock<std::mutex> guard(waitMutex_);
    ++waiting_;
    taken = freed_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                            [this] { return tryTake(); });
    --waiting_;
  }
  if (taken) return true;
  const int64_t since = transactionSince_.load();
  std::string text;
  if (since != 0) {
    const double seconds = (steadyNanoseconds() - since) / 1e9;
    text = kvbStringFormat(
               "Another thread of this process has held a transaction on this "
               "connection for %.1f s; gave up waiting for it after %d ms "
               "(SQLITE/BUSY_TIMEOUT)",
               seconds, timeoutMs)
               .str();
  } else {
    text = kvbStringFormat(
               "Another thread of this process is using this connection; gave "
               "up waiting for it after %d ms (SQLITE/BUSY_TIMEOUT)",
               timeoutMs)
               .str();
  }
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__, "%s", text.c_str());
  return refuseHere(std::move(text));
}

bool RDA_Lock::refuseHere(std::string text) {
  rdaRefusingLock = this;
  refusal = std::move(text);
  return false;
}

void RDA_Lock::wake() {
  std::lock_guard<std::mutex> guard(waitMutex_);
  freed_.notify_one();
}

bool RDA_Lock::lastFailure(std::string& text) const {
  if (rdaRefusingLock != this) return false;
  text = refusal;
  return true;
}

void RDA_Lock::runOrDefer(std::function<void()> work) {
  if (acquire()) {
    work();
    release();
    return;
  }
  {
    std::lock_guard<std::mutex> guard(deferredMutex_);
    deferredWork_.push_back(std::move(work));
  }
  deferred_.store(true);
  // The holder may have let go before it could see the work: whoever takes
  // the lock next runs it as it lets go, this thread if the lock is free.
  if (tryTake()) {
    owner_.store(rdaCurrentThread(), std::memory_order_relaxed);
    depth_ = 1;
    release();
  }
}

// Called by the holder as its last hold ends; the work takes the lock
// again, so the hold is kept while it runs.
void RDA_Lock::runDeferred() {
  std::vector<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> guard(deferredMutex_);
    work.swap(deferredWork_);
    deferred_.store(false);
  }
  depth_ = 1;
  for (const std::function<void()>& step : work) step();
  depth_ = 0;
}

void RDA_Lock::transactionBegun(RDA_TransactionEnder* ender) {
  {
    std::lock_guard<std::mutex> guard(handOver_);
    ender_ = ender;
  }
  transactionSince_.store(steadyNanoseconds());
  // A lock that no shared pointer owns (only tests make one) is not told of
  // its thread's end.
  if (std::shared_ptr<RDA_Lock> self = weak_from_this().lock())
    threadTransactions.add(self);
}

void RDA_Lock::transactionEnded() {
  std::lock_guard<std::mutex> guard(handOver_);
  ender_ = nullptr;
  transactionSince_.store(0);
}

bool RDA_Lock::transactionOfAnotherThread() const {
  const uint64_t owner = owner_.load(std::memory_order_relaxed);
  return owner != 0 && owner != rdaCurrentThread() &&
         transactionSince_.load() != 0;
}

// The ender is told outside handOver_: once it is cleared no takeover can
// begin, and a last release of the connection waits for the lock, which
// this thread holds until the ender has given up its holds.
void RDA_Lock::threadEnded() {
  RDA_TransactionEnder* ender;
  {
    std::lock_guard<std::mutex> guard(handOver_);
    if (!ender_ || !heldHere()) return;
    ender = ender_;
    ender_ = nullptr;
    transactionSince_.store(0);
  }
  ender->ownerThreadEnded();
}

bool RDA_Lock::takeOverAbandoned() {
  std::lock_guard<std::mutex> guard(handOver_);
  if (!ender_ || heldHere() || !transactionOfAnotherThread()) return false;
  ender_ = nullptr;
  transactionSince_.store(0);
  owner_.store(rdaCurrentThread(), std::memory_order_relaxed);
  depth_ = 1;
  return true;
}
