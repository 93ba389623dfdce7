// RDA_Lock: the recursive lock of one connection, shared by the
// connection, its statements and its cursors. It is always taken: threads
// that share a connection without it would interleave statements inside
// each other's transactions and lose writes that were answered true. A
// thread that finds the lock held by another thread says so on the
// lock-trace logger before it waits.
//
// The lock is taken per statement, per row read and per value bound by a
// thread that does not hold it already, so taking it again in the thread
// that holds it costs a load and an add, taking it free costs one atomic
// exchange, and giving it up one atomic store and a load, all without a
// call: threads are told apart by their thread pointer, and only a thread
// that finds the lock held goes to the mutex and condition of the slow
// path.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

class KvLogger;

// An identity of the calling thread, unique among the threads that run.
inline const void* rdaCurrentThread() {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__aarch64__))
  return __builtin_thread_pointer();
#else
  static thread_local const char marker = 0;
  return &marker;
#endif
}

class RDA_Lock {
 public:
  RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  void acquire() {
    const void* const me = rdaCurrentThread();
    // Only this thread ever stores its own id, so a relaxed load that sees
    // it is this thread's own earlier store.
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return;
    }
    if (!tryTake()) wait();
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
  }
  // Gives up one hold of the calling thread; a thread that does not hold
  // the lock changes nothing.
  void release() {
    if (owner_.load(std::memory_order_relaxed) != rdaCurrentThread()) return;
    if (--depth_ > 0) return;
    owner_.store(nullptr, std::memory_order_relaxed);
    // Sequentially consistent, so that a waiter either is seen here or
    // sees the lock free (see wait).
    held_.store(false);
    if (waiting_.load() > 0) wake();
  }

 private:
  bool tryTake() {
    bool free = false;
    return held_.compare_exchange_strong(free, true);
  }
  void wait();  // traces, then blocks until the lock is taken
  void wake();  // wakes a waiting thread

  std::atomic<bool> held_{false};
  std::atomic<int> waiting_{0};  // threads in wait()
  std::mutex waitMutex_;
  std::condition_variable freed_;
  std::atomic<const void*> owner_{nullptr};
  int depth_ = 0;  // written only by the owner, while it holds the lock
  KvLogger* trace_;
};

// Holds a lock for the scope; a null lock is not taken.
class RDA_LockGuard {
 public:
  explicit RDA_LockGuard(RDA_Lock* lock) : lock_(lock) {
    if (lock_) lock_->acquire();
  }
  explicit RDA_LockGuard(const std::shared_ptr<RDA_Lock>& lock)
      : RDA_LockGuard(lock.get()) {}
  ~RDA_LockGuard() {
    if (lock_) lock_->release();
  }
  RDA_LockGuard(const RDA_LockGuard&) = delete;
  RDA_LockGuard& operator=(const RDA_LockGuard&) = delete;

 private:
  RDA_Lock* lock_;
};

#endif  // RDA_RDA_LOCK_H_
