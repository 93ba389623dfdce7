// RDA_ThreadTexts: the last failure of each thread on one connection, so
// that a thread that asks why its call failed gets its own failure, never
// another thread's, without waiting for the connection's lock; a failure
// on one connection never changes what another answers. A thread keeps its
// text until it fails again (or forgets it); the texts of ended threads go
// as new threads fail. Also the holder of the texts of every other object
// that threads may share (the repository, its managers, the administration
// object).
#ifndef RDA_RDA_THREAD_TEXTS_H_
#define RDA_RDA_THREAD_TEXTS_H_

#include <memory>
#include <mutex>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "rda/rda_thread.h"

class RDA_ThreadTexts {
 public:
  // Records `text` as the calling thread's last failure; `logged` when the
  // failure was logged already (see takeUnlogged).
  void set(const KvbString& text, bool logged = false);
  // The calling thread's last failure; false when it has none.
  bool last(KvbString& text) const;
  // last(), or `none` when the thread has no failure.
  KvbString lastOr(const KvbString& none) const {
    KvbString text;
    return last(text) ? text : none;
  }
  // Logs the calling thread's last failure at level 5 on `logger`, as
  // `file` at `line`, unless it was logged already; it then counts as
  // logged. For an object whose operations log each failure once,
  // wherever in the operation it arose.
  void logUnlogged(KvLogger* logger, const char* file, int line);
  // The calling thread's last failure was logged.
  void markLogged();
  // The calling thread has no failure any more: for restoring the state of
  // a thread that had none.
  void forget();

 private:
  struct Entry {
    std::shared_ptr<RDA_ThreadToken> thread;
    KvbString text;
    bool logged;
  };
  // The calling thread's entry; null when it has none. Under mutex_.
  Entry* own();
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

#endif  // RDA_RDA_THREAD_TEXTS_H_
