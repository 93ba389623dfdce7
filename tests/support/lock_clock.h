// TestLockClock: the connection lock's clock, moved only by the test, so
// that busy timeouts pass and waiters count as having waited long when the
// test says. It counts its readings, so that a test can wait until a waiter
// has looked at the time it set.
#ifndef TESTS_SUPPORT_LOCK_CLOCK_H_
#define TESTS_SUPPORT_LOCK_CLOCK_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "rda/rda_lock.h"

class TestLockClock {
 public:
  TestLockClock() {
    moveTo(0);
    rdaSetLockClock(&read);
  }
  ~TestLockClock() { rdaSetLockClock(nullptr); }
  TestLockClock(const TestLockClock&) = delete;
  TestLockClock& operator=(const TestLockClock&) = delete;

  // Sets the time to `ms` after the clock's start; answers the number of
  // readings so far.
  int moveTo(double ms) {
    std::lock_guard<std::mutex> guard(mutex_);
    now_ = kStart + static_cast<int64_t>(ms * 1e6);
    return reads_;
  }
  // Waits until the clock has been read more than `reads` times.
  void waitForReadingAfter(int reads) {
    std::unique_lock<std::mutex> guard(mutex_);
    read_.wait(guard, [&] { return reads_ > reads; });
  }

 private:
  // Far from 0, which the lock takes for "no transaction".
  static constexpr int64_t kStart = int64_t{1} << 40;
  static int64_t read() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++reads_;
    read_.notify_all();
    return now_;
  }
  static inline std::mutex mutex_;
  static inline std::condition_variable read_;
  static inline int64_t now_ = kStart;
  static inline int reads_ = 0;
};

#endif  // TESTS_SUPPORT_LOCK_CLOCK_H_
