// RDA_Lock: the recursive lock of one connection, shared by the
// connection, its statements and its cursors. It is always taken: threads
// that share a connection without it would interleave statements inside
// each other's transactions and lose writes that were answered true. A
// thread that finds the lock held by another thread says so on the
// lock-trace logger before it waits.
//
// The lock is taken per statement, per value bound and per row read, so
// taking it again in the thread that holds it costs a load and an add, and
// taking it free costs what a plain mutex does.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

class KvLogger;

class RDA_Lock {
 public:
  RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  void acquire() {
    const std::thread::id me = std::this_thread::get_id();
    // Only this thread ever stores its own id, so a relaxed load that sees
    // it is this thread's own earlier store.
    if (owner_.load(std::memory_order_relaxed) == me) {
      ++depth_;
      return;
    }
    if (!mutex_.try_lock()) wait();
    owner_.store(me, std::memory_order_relaxed);
    depth_ = 1;
  }
  // Gives up one hold of the calling thread; a thread that does not hold
  // the lock changes nothing.
  void release() {
    if (owner_.load(std::memory_order_relaxed) != std::this_thread::get_id())
      return;
    if (--depth_ > 0) return;
    owner_.store(std::thread::id(), std::memory_order_relaxed);
    mutex_.unlock();
  }

 private:
  void wait();  // traces, then blocks until the mutex is free

  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{std::thread::id()};
  int depth_ = 0;  // written only by the owner, under the mutex
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
