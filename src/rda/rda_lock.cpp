// The connection lock's slow paths: bounded waits and their reasons, work
// handed to the holder, thread tokens, and transactions whose thread ended.
#include "rda/rda_lock.h"

#include <algorithm>
#include <chrono>

#include "kvlogging/kvlogging.h"
#include "kvsqlstore/kvsqlstore.h"
#include "schema/log_printf.h"

// Names a thread to the locks whose transactions it holds (see the top of
// rda_lock.h). `alive` is cleared as the thread ends, with release order:
// a thread that reads it cleared, with acquire order, sees everything the
// ended thread did to the connection.
struct RDA_ThreadToken {
  std::atomic<bool> alive{true};
};

namespace {

// Why the lock that rdaRefusingLock names refused the calling thread.
thread_local std::string refusal;

const char kSourceFile[] = "rda_lock";

// How often a waiter looks whether the thread that holds a transaction has
// ended: the ended thread tells nobody.
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

// The calling thread's token; its end is all that the thread's exit does.
class ThreadTokenHolder {
 public:
  ~ThreadTokenHolder() { token_->alive.store(false, std::memory_order_release); }
  const std::shared_ptr<RDA_ThreadToken>& token() const { return token_; }

 private:
  std::shared_ptr<RDA_ThreadToken> token_ =
      std::make_shared<RDA_ThreadToken>();
};

const std::shared_ptr<RDA_ThreadToken>& currentThreadToken() {
  static thread_local ThreadTokenHolder holder;
  return holder.token();
}

uint64_t newLockSerial() {
  static std::atomic<uint64_t> next{0};
  return ++next;
}

}  // namespace

uint64_t rdaNewThreadNumber() {
  static std::atomic<uint64_t> next{0};
  return ++next;
}

void rdaSetLockSeam(RDA_LockSeamHook hook) { seamHook.store(hook); }

RDA_Lock::RDA_Lock()
    : serial_(newLockSerial()),
      trace_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA.LockTrace")) {}

RDA_Lock::~RDA_Lock() = default;

// A waiter counts itself before it tries again, under waitMutex_: a
// release that does not see the count came before the try, which then
// finds the lock free; one that sees it notifies under waitMutex_, so the
// waiter is either still to try or already waiting for the notice. While a
// transaction holds the lock the waiter also looks, every few
// milliseconds, whether the transaction's thread has ended.
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
        transactionSince_.load() != 0
            ? std::min(deadline, Clock::now() + kEndedThreadCheck)
            : deadline;
    std::unique_lock<std::mutex> guard(waitMutex_);
    ++waiting_;
    const bool taken =
        freed_.wait_until(guard, until, [this] { return tryTake(); });
    --waiting_;
    if (taken) return true;
    if (until >= deadline) break;
  }
  std::string text = refusalText(timeoutMs);
  logPrintf(trace_, kLogProgress, kSourceFile, __LINE__, "%s", text.c_str());
  return refuseHere(std::move(text));
}

std::string RDA_Lock::refusalText(int timeoutMs) const {
  const int64_t since = transactionSince_.load();
  if (since == 0)
    return kvbStringFormat(
               "Another thread of this process is using this connection; gave "
               "up waiting for it after %d ms (SQLITE/BUSY_TIMEOUT)",
               timeoutMs)
        .str();
  return kvbStringFormat(
             "Another thread of this process has held a transaction on this "
             "connection for %.1f s; gave up waiting for it after %d ms "
             "(SQLITE/BUSY_TIMEOUT)",
             (steadyNanoseconds() - since) / 1e9, timeoutMs)
      .str();
}

bool RDA_Lock::refuseHere(std::string text) {
  rdaRefusingLock = serial_;
  refusal = std::move(text);
  return false;
}

void RDA_Lock::wake() {
  std::lock_guard<std::mutex> guard(waitMutex_);
  freed_.notify_one();
}

bool RDA_Lock::lastFailure(std::string& text) const {
  if (rdaRefusingLock != serial_) return false;
  text = refusal;
  return true;
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
  {
    std::lock_guard<std::mutex> guard(deferredMutex_);
    deferredWork_.push_back(std::move(work));
  }
  deferred_.store(true);
  seam(RDA_LockSeam::kHandedOver);
  // The holder may have let go before it could see the work: whoever takes
  // the lock next runs it as it lets go, this thread if the lock is free.
  if (tryTake()) {
    becomeOwner();
    release();
  }
}

// With no cursor left, nothing can call into the connection: a living
// thread that holds a transaction on it is taken over, and one that holds
// the lock for a moment without a transaction (releasing a statement)
// closes it as it lets go.
void RDA_Lock::closeConnection(std::function<void()> close) {
  if (takeNow() ||
      (cursors_.load() == 0 &&
       takeOverTransaction(true,
                           "The connection was released while another thread "
                           "held a transaction on it"))) {
    close();
    release();
    return;
  }
  if (cursors_.load() == 0) return runOrDefer(std::move(close));
  {
    std::lock_guard<std::mutex> guard(state_);
    pendingClose_ = std::move(close);
  }
  seam(RDA_LockSeam::kHandedOver);
  // The last cursor may have been released before the close was left.
  if (cursors_.load() == 0) runPendingClose();
}

void RDA_Lock::cursorReleased() {
  if (cursors_.fetch_sub(1) == 1) runPendingClose();
}

void RDA_Lock::runPendingClose() {
  std::function<void()> close;
  {
    std::lock_guard<std::mutex> guard(state_);
    close.swap(pendingClose_);
  }
  if (close) closeConnection(std::move(close));
}

// The work takes the lock again, so the hold is kept while it runs. It may
// end the last owner of the lock (the connection's close), so the lock
// keeps itself alive until it has let go.
void RDA_Lock::releaseAfterWork() {
  const std::shared_ptr<RDA_Lock> self = weak_from_this().lock();
  std::vector<std::function<void()>> work;
  {
    std::lock_guard<std::mutex> guard(deferredMutex_);
    work.swap(deferredWork_);
    deferred_.store(false);
  }
  depth_ = 1;
  for (const std::function<void()>& step : work) step();
  work.clear();
  depth_ = 0;
  letGo();
}

void RDA_Lock::transactionBegun(RDA_TransactionEnder* ender,
                                const void* object) {
  std::lock_guard<std::mutex> guard(state_);
  transactionThread_ = currentThreadToken();
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
