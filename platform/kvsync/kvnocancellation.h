// kvnocancellation: keeps a thread's cancellation (pthread_cancel) off
// while it works inside the engine. A thread unwound inside a database
// driver would leave the driver's own mutexes locked and its state
// half-changed, so that every later call on the connection hangs; one
// unwound through a handler that swallows exceptions (around a host's log
// sink or event listener) ends the process. A count per thread says how
// many reasons it has to stay uncancelled (a connection lock it holds for a
// call or waits for, a public call of the administration objects, held for
// its whole length, host callbacks included, a scope below); the first
// turns cancellation off, the last turns it back to what the thread had,
// and a cancellation asked for meanwhile acts at the thread's next
// cancellation point after that.
#ifndef KVSYNC_KVNOCANCELLATION_H_
#define KVSYNC_KVNOCANCELLATION_H_

#include <pthread.h>

inline thread_local __attribute__((tls_model("initial-exec"))) int
    kvUncancellable = 0;
inline thread_local __attribute__((tls_model("initial-exec"))) int
    kvCancelStateBefore = PTHREAD_CANCEL_ENABLE;

inline void kvHoldOffCancellation() {
  if (kvUncancellable++ == 0)
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &kvCancelStateBefore);
}
inline void kvAllowCancellation() {
  if (--kvUncancellable == 0)
    pthread_setcancelstate(kvCancelStateBefore, nullptr);
}

// Holds cancellation off for a scope.
class KvNoCancellation {
 public:
  KvNoCancellation() { kvHoldOffCancellation(); }
  ~KvNoCancellation() { kvAllowCancellation(); }
  KvNoCancellation(const KvNoCancellation&) = delete;
  KvNoCancellation& operator=(const KvNoCancellation&) = delete;
};

#endif  // KVSYNC_KVNOCANCELLATION_H_
