// DriverFault: fails calls of the driver layer at one point through the
// test seam of kvdataaccess.h, for refusals that a real database cannot be
// made to give at that moment.
#ifndef TESTS_SUPPORT_DRIVER_FAULT_H_
#define TESTS_SUPPORT_DRIVER_FAULT_H_

#include <atomic>

#include "kvdataaccess/kvdataaccess.h"

// The reason that a failed call gives.
inline constexpr char kDriverFaultText[] = "the test failed this call";

// While it lives, the `n`th call at `point` (counted from 1) fails, and
// only that one; with `onward`, every call from the `n`th on fails (a
// server that stops answering part-way). With `n` 0 none fails: the calls
// are only counted. One at a time: the seam is process-wide.
class DriverFault {
 public:
  DriverFault(DacFault point, int n, bool onward = false) {
    point_ = point;
    seen_ = 0;
    from_ = n;
    onward_ = onward;
    fired_ = false;
    dacSetFaultHook(&DriverFault::ask);
  }
  ~DriverFault() { dacSetFaultHook(nullptr); }
  DriverFault(const DriverFault&) = delete;
  DriverFault& operator=(const DriverFault&) = delete;

  // Whether a call has failed since the fault was made.
  static bool fired() { return fired_; }
  // The calls at the point since the fault was made.
  static int seen() { return seen_; }

 private:
  static bool ask(DacFault point, KvbString& reason) {
    if (point != point_) return false;
    const int seen = ++seen_;
    if (seen < from_ || (seen > from_ && !onward_)) return false;
    reason = kDriverFaultText;
    fired_ = true;
    return true;
  }
  static inline std::atomic<DacFault> point_{DacFault::kPrepare};
  static inline std::atomic<int> seen_{0};
  static inline std::atomic<int> from_{0};
  static inline std::atomic<bool> onward_{false};
  static inline std::atomic<bool> fired_{false};
};

#endif  // TESTS_SUPPORT_DRIVER_FAULT_H_
