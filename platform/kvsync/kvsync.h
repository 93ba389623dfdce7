// kvsync: atomic counters ("atoms") and recursive locks, the two
// synchronisation primitives that the engine's connections use.
#ifndef KVSYNC_KVSYNC_H_
#define KVSYNC_KVSYNC_H_

// An integer that threads read and write without tearing.
struct KvAtom;

// A new atom holding `value`. Ends with kvAtomDestroy.
KvAtom* kvAtomInit(long value);
// The current value; 0 for a null atom.
long kvAtomGet(KvAtom* atom);
// Stores `value`; does nothing for a null atom.
void kvAtomSet(KvAtom* atom, long value);
// Frees the atom; null is allowed.
void kvAtomDestroy(KvAtom* atom);

// A recursive lock: the thread that holds it may take it again and must
// release it as many times as it took it.
struct KvLock;

// A new, free lock. Ends with kvLockDestroy.
KvLock* kvLockCreate();
// Blocks until the calling thread holds the lock. True once held; false for
// a null lock.
bool kvLockGet(KvLock* lock);
// Takes the lock only when no other thread holds it, without blocking.
// True when the calling thread now holds it (also when it already did);
// false when another thread holds it or the lock is null.
bool kvLockTry(KvLock* lock);
// Gives up one hold of the calling thread. A thread that does not hold the
// lock changes nothing (a stray release cannot free another thread's hold).
// Null is allowed.
void kvLockRelease(KvLock* lock);
// Frees the lock, which no thread may hold or wait for. Null is allowed.
void kvLockDestroy(KvLock* lock);

#endif  // KVSYNC_KVSYNC_H_
