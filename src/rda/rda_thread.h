// The calling thread as the connection locks know it: a number that is
// never reused within the process, and a token that tells whether the
// thread has ended. A thread counts as ended only after the last code it
// runs: its token is ended by the destructor of a POSIX thread-specific
// key, which runs after every C++ thread_local destructor of the thread,
// so that a host's thread_local that calls the engine as its thread ends
// works as on a living thread. A call after even that (from another key's
// destructor) starts the thread afresh, with a new number and token: the
// ended identity's transactions are rolled back like any ended thread's.
#ifndef RDA_RDA_THREAD_H_
#define RDA_RDA_THREAD_H_

#include <atomic>
#include <cstdint>
#include <memory>

// Names a thread to the locks whose transactions it holds. `alive` is
// cleared as the thread ends, with release order: a thread that reads it
// cleared, with acquire order, sees everything the ended thread did.
struct RDA_ThreadToken {
  explicit RDA_ThreadToken(uint64_t n) : number(n) {}
  const uint64_t number;
  std::atomic<bool> alive{true};
};

// The calling thread's number and token; plain, so that reading them costs
// a load (set by rdaStartThread, cleared as the thread ends).
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
