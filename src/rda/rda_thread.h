// The calling thread as the connection locks know it: a number that is
// never reused within the process, and a token that tells whether the
// thread has ended. A thread counts as ended only after the last code it
// runs: its token holds a robust mutex that the thread locks at its first
// call into the engine and never unlocks, and which the kernel marks as
// its owner's death once the thread is gone, after every destructor the
// thread runs (C++ thread_local destructors and POSIX key destructors, in
// any round). So a thread keeps one identity from its first call to its
// end, whatever code of it calls in last. A forked child's thread starts
// afresh at its next call: the identity it copied names its parent's
// thread, whose end no thread of the child would ever see.
#ifndef RDA_RDA_THREAD_H_
#define RDA_RDA_THREAD_H_

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// Names a thread to the locks whose transactions it holds.
class RDA_ThreadToken {
 public:
  // Made by the thread it names, which holds `life_` from then on.
  explicit RDA_ThreadToken(uint64_t n);
  ~RDA_ThreadToken();
  RDA_ThreadToken(const RDA_ThreadToken&) = delete;
  RDA_ThreadToken& operator=(const RDA_ThreadToken&) = delete;

  // True once the thread has ended. A thread that reads true sees
  // everything the ended thread did: the kernel marks the mutex only after
  // the thread is gone, and the mark is read by taking the mutex.
  bool ended() const;

  const uint64_t number;

 private:
  mutable pthread_mutex_t life_;
  mutable std::mutex check_;  // one reader takes the ended thread's mutex
  mutable std::atomic<bool> ended_{false};
};

// The calling thread's number and token; plain, so that reading them costs
// a load (set by rdaStartThread for the thread's whole life; a forked
// child's copy is cleared).
inline thread_local __attribute__((tls_model("initial-exec"))) uint64_t
    rdaThreadNumber = 0;
inline thread_local __attribute__((tls_model("initial-exec")))
const std::shared_ptr<RDA_ThreadToken>* rdaThreadToken = nullptr;

// Gives the calling thread its number and token; answers the number.
uint64_t rdaStartThread();

// The calling thread's number: never 0.
inline uint64_t rdaCurrentThread() {
  const uint64_t number = rdaThreadNumber;
  return __builtin_expect(number != 0, 1) ? number : rdaStartThread();
}
inline const std::shared_ptr<RDA_ThreadToken>& rdaCurrentThreadToken() {
  rdaCurrentThread();
  return *rdaThreadToken;
}

#endif  // RDA_RDA_THREAD_H_
