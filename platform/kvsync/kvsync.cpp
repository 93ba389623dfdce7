// kvsync: atoms over std::atomic and recursive locks over
// std::recursive_mutex.
#include "kvsync/kvsync.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

struct KvAtom {
  explicit KvAtom(long v) : value(v) {}
  std::atomic<long> value;
};

KvAtom* kvAtomInit(long value) { return new KvAtom(value); }

long kvAtomGet(KvAtom* atom) { return atom ? atom->value.load() : 0; }

void kvAtomSet(KvAtom* atom, long value) {
  if (atom) atom->value.store(value);
}

void kvAtomDestroy(KvAtom* atom) { delete atom; }

// The owner and the hold count are kept beside the mutex so that a release
// by a thread that does not hold the lock can be refused; unlocking a
// std::recursive_mutex that the thread does not own is undefined.
struct KvLock {
  std::recursive_mutex mutex;
  std::atomic<std::thread::id> owner{std::thread::id()};
  int depth = 0;  // written only by the owner, under the mutex
};

namespace {

void noteAcquired(KvLock* lock) {
  if (lock->depth++ == 0) lock->owner.store(std::this_thread::get_id());
}

}  // namespace

KvLock* kvLockCreate() { return new KvLock; }

bool kvLockGet(KvLock* lock) {
  if (!lock) return false;
  try {
    lock->mutex.lock();
  } catch (const std::system_error&) {
    return false;  // e.g. the recursion limit of the mutex was reached
  }
  noteAcquired(lock);
  return true;
}

bool kvLockTry(KvLock* lock) {
  if (!lock) return false;
  if (!lock->mutex.try_lock()) return false;
  noteAcquired(lock);
  return true;
}

void kvLockRelease(KvLock* lock) {
  if (!lock) return;
  if (lock->owner.load() != std::this_thread::get_id()) return;
  if (--lock->depth == 0) lock->owner.store(std::thread::id());
  lock->mutex.unlock();
}

void kvLockDestroy(KvLock* lock) { delete lock; }
