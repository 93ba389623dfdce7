// RDA_Lock: the recursive lock of one connection, shared by the
// connection, its statements and its cursors. It is always taken: threads
// that share a connection without it would interleave statements inside
// each other's transactions and lose writes that were answered true. A
// thread that finds the lock held by another thread says so on the
// lock-trace logger before it waits.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <memory>

#include "kvsync/kvsync.h"

class KvLogger;

class RDA_Lock {
 public:
  RDA_Lock();
  ~RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  void acquire();
  void release();

 private:
  KvLock* lock_;
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
