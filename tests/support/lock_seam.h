// LockSeam: makes a race of the connection lock happen when a test wants
// it. While one is alive, a thread that reaches a point of the lock's slow
// paths (RDA_LockSeam) is counted, and stopped there while the test holds
// that point; the test waits for the count instead of sleeping.
#ifndef TESTS_SUPPORT_LOCK_SEAM_H_
#define TESTS_SUPPORT_LOCK_SEAM_H_

#include <condition_variable>
#include <map>
#include <mutex>

#include "rda/rda_lock.h"

class LockSeam {
 public:
  LockSeam() {
    std::lock_guard<std::mutex> guard(mutex());
    reached().clear();
    held().clear();
    rdaSetLockSeam(&LockSeam::reach);
  }
  ~LockSeam() {
    rdaSetLockSeam(nullptr);
    letGo();
  }
  LockSeam(const LockSeam&) = delete;
  LockSeam& operator=(const LockSeam&) = delete;

  // Waits until `point` has been reached `count` times. A race that never
  // happens leaves the test to ctest's timeout.
  void waitFor(RDA_LockSeam point, int count = 1) {
    std::unique_lock<std::mutex> guard(mutex());
    changed().wait(guard, [&] { return reached()[point] >= count; });
  }
  // Waits until `point` has been reached `count` times or `other`
  // `otherCount` times.
  void waitForEither(RDA_LockSeam point, int count, RDA_LockSeam other,
                     int otherCount) {
    std::unique_lock<std::mutex> guard(mutex());
    changed().wait(guard, [&] {
      return reached()[point] >= count || reached()[other] >= otherCount;
    });
  }
  int count(RDA_LockSeam point) {
    std::lock_guard<std::mutex> guard(mutex());
    return reached()[point];
  }
  // Threads that reach `point` from now on stop there until letGo().
  void holdAt(RDA_LockSeam point) {
    std::lock_guard<std::mutex> guard(mutex());
    held()[point] = true;
  }
  void letGo() {
    std::lock_guard<std::mutex> guard(mutex());
    held().clear();
    changed().notify_all();
  }
  // Lets the threads stopped at `point` go on; other points stay held.
  void letGo(RDA_LockSeam point) {
    std::lock_guard<std::mutex> guard(mutex());
    held()[point] = false;
    changed().notify_all();
  }

 private:
  static void reach(RDA_LockSeam point) {
    std::unique_lock<std::mutex> guard(mutex());
    ++reached()[point];
    changed().notify_all();
    changed().wait(guard, [&] { return !held()[point]; });
  }
  // One seam at a time: the lock's hook is process-wide.
  static std::mutex& mutex() {
    static std::mutex m;
    return m;
  }
  static std::condition_variable& changed() {
    static std::condition_variable c;
    return c;
  }
  static std::map<RDA_LockSeam, int>& reached() {
    static std::map<RDA_LockSeam, int> r;
    return r;
  }
  static std::map<RDA_LockSeam, bool>& held() {
    static std::map<RDA_LockSeam, bool> h;
    return h;
  }
};

#endif  // TESTS_SUPPORT_LOCK_SEAM_H_
