// RDA_Lock: the recursive lock of one connection, shared by the
// connection, its statements and its cursors. It is always taken: threads
// that share a connection without it would interleave statements inside
// each other's transactions and lose writes that were answered true.
//
// A thread that finds the lock held waits for it no longer than another
// process waits for the database (the busy timeout, "SQLITE/BUSY_TIMEOUT"),
// then gives up: acquire() answers false and lastFailure() says why, so
// that a transaction another thread forgot to end costs an error, never a
// hang.
//
// A transaction holds the lock from its begin to its end. While it does,
// the lock knows whom to tell when the thread that began it ends
// (RDA_TransactionEnder): the transaction is then rolled back on that
// thread as it ends, and the lock freed, so that it never outlives its
// thread and no later thread runs inside it.
//
// The lock is taken per statement, per row read and per value bound by a
// thread that does not hold it already, so taking it again in the thread
// that holds it costs a load and an add, taking it free one atomic
// exchange, and giving it up one atomic store and two loads, all without a
// call; only a thread that finds the lock held goes to the slow path.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class KvLogger;

// A number of the calling thread: never 0, and never reused within the
// process, so that a thread that begins after another ended is never taken
// for it.
uint64_t rdaNewThreadNumber();
inline uint64_t rdaCurrentThread() {
  static thread_local __attribute__((tls_model("initial-exec"))) uint64_t
      number = 0;
  if (__builtin_expect(number == 0, 0)) number = rdaNewThreadNumber();
  return number;
}

// What a lock tells when the thread that holds its transaction ends: the
// call comes on that thread, which holds the lock, and must end the
// transaction and give up every hold it took.
class RDA_TransactionEnder {
 public:
  virtual void ownerThreadEnded() = 0;

 protected:
  ~RDA_TransactionEnder() = default;
};

class RDA_Lock;
// The lock whose acquire last failed on the calling thread, until the
// thread takes it (see RDA_Lock::lastFailure).
inline thread_local __attribute__((tls_model("initial-exec")))
const RDA_Lock* rdaRefusingLock = nullptr;

class RDA_Lock : public std::enable_shared_from_this<RDA_Lock> {
 public:
  RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  // Takes the lock, waiting at most the busy timeout for another thread to
  // give it up; false when it did not, with the reason in lastFailure().
  bool acquire() {
    const uint64_t me = rdaCurrentThread();
    // Only this thread ever stores its own number, so a relaxed load that
    // sees it is this thread's own earlier store.
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return true;
    }
    if (!tryTake() && !wait()) return false;
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
    if (__builtin_expect(rdaRefusingLock == this, 0)) rdaRefusingLock = nullptr;
    return true;
  }
  // Gives up one hold of the calling thread; a thread that does not hold
  // the lock changes nothing. The last hold first runs the work that
  // deferWhenHeld handed over.
  void release() {
    if (owner_.load(std::memory_order_relaxed) != rdaCurrentThread()) return;
    if (--depth_ > 0) return;
    if (deferred_.load(std::memory_order_relaxed)) runDeferred();
    owner_.store(0, std::memory_order_relaxed);
    // Sequentially consistent, so that a waiter either is seen here or
    // sees the lock free (see wait).
    held_.store(false);
    if (waiting_.load() > 0) wake();
  }

  // True when the calling thread holds the lock.
  bool heldHere() const {
    return owner_.load(std::memory_order_relaxed) == rdaCurrentThread();
  }
  // Runs `work` under the lock; when the lock cannot be taken in time, the
  // thread that holds it runs `work` as it gives the lock up. For releases,
  // which cannot fail and must not hang.
  void runOrDefer(std::function<void()> work);

  // Why the calling thread's last acquire of this lock failed, or why
  // refuseHere refused it, while it has not taken the lock since; false
  // when neither happened.
  bool lastFailure(std::string& text) const;
  // Records `text` as the calling thread's lastFailure and answers false:
  // for a call refused without taking the lock.
  bool refuseHere(std::string text);

  // The owner's transaction: called by its thread, holding the lock, at the
  // outermost begin and end. While one is open, a thread that gives up
  // waiting says how long it has been open, and the thread's end is told
  // to `ender`.
  void transactionBegun(RDA_TransactionEnder* ender);
  void transactionEnded();
  // True when another thread holds the lock with a transaction open.
  bool transactionOfAnotherThread() const;
  // For the last release of a connection, when no object that could use it
  // is left: makes the calling thread the holder of a lock that another
  // thread keeps with a transaction open (that thread has no object left to
  // use it through), so that the transaction can be rolled back here. True
  // when it did; the caller then holds the lock once.
  bool takeOverAbandoned();

 private:
  friend class RDA_ThreadTransactions;
  bool tryTake() {
    bool free = false;
    return held_.compare_exchange_strong(free, true);
  }
  bool wait();  // waits up to the busy timeout; false, with a reason, if not
  void wake();  // wakes a waiting thread
  void runDeferred();
  void threadEnded();  // the calling thread ends

  std::atomic<bool> held_{false};
  std::atomic<int> waiting_{0};  // threads in wait()
  std::mutex waitMutex_;
  std::condition_variable freed_;
  std::atomic<uint64_t> owner_{0};
  int depth_ = 0;  // written only by the owner, while it holds the lock
  // The open transaction: its ender and when it began (steady-clock
  // nanoseconds; 0 when none is open). handOver_ orders a thread's end
  // against a takeover.
  std::mutex handOver_;
  RDA_TransactionEnder* ender_ = nullptr;
  std::atomic<int64_t> transactionSince_{0};
  // Work that releases on other threads handed to the holder.
  std::atomic<bool> deferred_{false};
  std::mutex deferredMutex_;
  std::vector<std::function<void()>> deferredWork_;
  KvLogger* trace_;
};

// Holds a lock for the scope; a null lock is not taken. A guard whose lock
// could not be taken in time holds nothing and tests false: the caller
// answers false (the lock's lastFailure() says why).
class RDA_LockGuard {
 public:
  explicit RDA_LockGuard(RDA_Lock* lock)
      : lock_(lock && !lock->acquire() ? nullptr : lock), taken_(lock_ || !lock) {}
  explicit RDA_LockGuard(const std::shared_ptr<RDA_Lock>& lock)
      : RDA_LockGuard(lock.get()) {}
  ~RDA_LockGuard() {
    if (lock_) lock_->release();
  }
  RDA_LockGuard(const RDA_LockGuard&) = delete;
  RDA_LockGuard& operator=(const RDA_LockGuard&) = delete;
  explicit operator bool() const { return taken_; }

 private:
  RDA_Lock* lock_;
  bool taken_;
};

#endif  // RDA_RDA_LOCK_H_
