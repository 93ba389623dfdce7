// RDA_Lock: the recursive lock of one connection, shared by the
// connection, its statements and its cursors. It is always taken: threads
// that share a connection without it would interleave statements inside
// each other's transactions and lose writes that were answered true.
//
// A thread that finds the lock held waits for it no longer than another
// process waits for the database (the busy timeout, "SQLITE/BUSY_TIMEOUT"),
// then gives up: acquire() answers false and lastFailure() says why, so
// that a transaction another thread forgot to end costs an error, never a
// hang.
//
// A transaction holds the lock from its begin to its end, and the lock
// keeps a record of it: the token of the thread that began it, the object
// that began it, and the connection that can roll it back
// (RDA_TransactionEnder). One rule covers a transaction whose owner is
// gone: the owner, the depth and that record change only under the lock,
// by a living thread. A thread's end runs no engine code; it only drops
// its token. Whoever next needs the lock (a waiting call, a release) and
// finds it held by a transaction whose thread has ended takes the lock
// over, has the connection roll the transaction back, and goes on. A
// transaction whose object was released on another thread is marked here;
// its own thread, which holds the lock, rolls it back at its next call.
//
// Releases never wait: work that needs the lock while another thread holds
// it is handed to that thread, which runs it as it lets go (or to whoever
// takes the lock next). The connection's last release closes it at once
// when no thread can call into it any more: the lock is free, held by the
// releasing thread, or held by a transaction whose thread either ended or
// has no cursor left to call through (no data-access object is left
// either). Otherwise the release of the last cursor closes it.
//
// The lock is taken per statement, per row read and per value bound by a
// thread that does not hold it already, so taking it again in the thread
// that holds it costs a load and an add, taking it free one atomic
// exchange, and giving it up one atomic store and two loads, all without a
// call; only a thread that finds the lock held goes to the slow path.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class KvLogger;

// A number of the calling thread: never 0, and never reused within the
// process, so that a thread that begins after another ended is never taken
// for it.
uint64_t rdaNewThreadNumber();
inline uint64_t rdaCurrentThread() {
  static thread_local __attribute__((tls_model("initial-exec"))) uint64_t
      number = 0;
  if (__builtin_expect(number == 0, 0)) number = rdaNewThreadNumber();
  return number;
}

// What a lock asks of the connection whose transaction it records: called
// on a living thread that has just taken the lock over (holding it once)
// from a thread that ended with the transaction open. The connection rolls
// the transaction back and forgets its levels; their holds were the ended
// thread's and are gone with it.
class RDA_TransactionEnder {
 public:
  virtual void ownerGone(const char* why) = 0;

 protected:
  ~RDA_TransactionEnder() = default;
};

// The points of the slow paths where another thread can interleave. A
// test installs a hook (rdaSetLockSeam) to make each interleaving happen
// when it wants; without one each point costs a load.
enum class RDA_LockSeam {
  kWaiting,     // a thread found the lock held and is about to wait for it
  kTakingOver,  // a thread took the lock and its transaction over
  kHandedOver,  // a release handed its work to the thread holding the lock
};
using RDA_LockSeamHook = void (*)(RDA_LockSeam point);
void rdaSetLockSeam(RDA_LockSeamHook hook);

struct RDA_ThreadToken;

// The serial number of the lock whose acquire last failed on the calling
// thread (0: none), until the thread takes it; the reason is kept beside
// it (see RDA_Lock::lastFailure). Plain, so that taking a lock reads it
// without a call.
inline thread_local __attribute__((tls_model("initial-exec"))) uint64_t
    rdaRefusingLock = 0;

class RDA_Lock : public std::enable_shared_from_this<RDA_Lock> {
 public:
  RDA_Lock();
  ~RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  // Takes the lock, waiting at most the busy timeout for another thread to
  // give it up; false when it did not, with the reason in lastFailure().
  bool acquire() {
    // Only this thread ever stores its own number, so a relaxed load that
    // sees it is this thread's own earlier store.
    if (owner_.load(std::memory_order_relaxed) == rdaCurrentThread()) {
      ++depth_;
      return true;
    }
    if (!tryTake() && !wait()) return false;
    becomeOwner();
    return true;
  }
  // Gives up one hold of the calling thread; a thread that does not hold
  // the lock changes nothing. The last hold first runs the work that
  // releases on other threads handed over.
  void release() {
    if (owner_.load(std::memory_order_relaxed) != rdaCurrentThread()) return;
    if (--depth_ > 0) return;
    if (deferred_.load(std::memory_order_relaxed)) return releaseAfterWork();
    letGo();
  }

  // True when the calling thread holds the lock.
  bool heldHere() const {
    return owner_.load(std::memory_order_relaxed) == rdaCurrentThread();
  }
  // Runs `work` under the lock when it can be had without waiting (free,
  // held here, or taken over from an ended thread); otherwise hands it to
  // the thread that holds the lock and returns at once. For releases.
  void runOrDefer(std::function<void()> work);

  // Why the calling thread's last acquire of this lock failed, or why
  // refuseHere refused it, while it has not taken the lock since; false
  // when neither happened.
  bool lastFailure(std::string& text) const;
  // Records `text` as the calling thread's lastFailure and answers false:
  // for a call refused without taking the lock.
  bool refuseHere(std::string text);

  // The open transaction, begun by the calling thread, which holds the
  // lock, through `object` (null: through the connection itself); `ender`
  // rolls it back if the thread ends first. Called at the outermost begin
  // and, before the lock is given up, at the outermost end.
  void transactionBegun(RDA_TransactionEnder* ender, const void* object);
  void transactionEnded();
  // True when another thread, still alive, holds a transaction here.
  bool transactionOfAnotherThread() const;
  // `object` is being released. kHeldHere: it began the open transaction,
  // which the calling thread holds, and the caller rolls it back now.
  // kMarked: it began the transaction of another thread, which now finds
  // objectGone() at its next call. kNone: it began no open transaction.
  enum class ObjectRelease { kNone, kHeldHere, kMarked };
  ObjectRelease objectReleased(const void* object);
  // True when the object that began the open transaction was released on
  // another thread; read by the thread that holds the transaction.
  bool objectGone() const { return objectGone_.load(std::memory_order_relaxed); }

  // The cursors that may still take the lock on a host's call: counted
  // from their making to their release.
  void cursorMade() { cursors_.fetch_add(1, std::memory_order_relaxed); }
  void cursorReleased();
  // The connection's last release: runs `close` under the lock now, or
  // hands it to the release of the last cursor (see the top of this file).
  // Never waits. `close` may end the connection, not the lock.
  void closeConnection(std::function<void()> close);

 private:
  bool tryTake() {
    bool free = false;
    return held_.compare_exchange_strong(free, true);
  }
  void becomeOwner() {
    owner_.store(rdaCurrentThread(), std::memory_order_relaxed);
    depth_ = 1;
    if (__builtin_expect(rdaRefusingLock == serial_, 0)) rdaRefusingLock = 0;
  }
  void letGo() {
    owner_.store(0, std::memory_order_relaxed);
    // Sequentially consistent, so that a waiter either is seen here or
    // sees the lock free (see wait).
    held_.store(false);
    if (waiting_.load() > 0) wake();
  }
  bool wait();  // waits up to the busy timeout; false, with a reason, if not
  void wake();  // wakes a waiting thread
  // Takes the lock from the thread that holds a transaction, and has the
  // transaction rolled back, logging `why`: when that thread has ended, or
  // with `evenAlive` in any case; false when no transaction is recorded
  // (or its thread lives, without `evenAlive`).
  bool takeOverTransaction(bool evenAlive, const char* why);
  bool takeOverFromEndedThread() {
    return takeOverTransaction(false,
                               "A thread ended while its transaction was open");
  }
  // Takes the lock without waiting (free, held here, or from an ended
  // thread); false when a living thread holds it.
  bool takeNow();
  // Runs the close that closeConnection left, once no cursor is left.
  void runPendingClose();
  void releaseAfterWork();  // the last hold, with handed-over work to run
  void clearRecord();       // no transaction is open; under state_
  std::string refusalText(int timeoutMs) const;

  const uint64_t serial_;  // never reused, unlike the lock's address
  std::atomic<bool> held_{false};
  std::atomic<int> waiting_{0};  // threads in wait()
  std::mutex waitMutex_;
  std::condition_variable freed_;
  std::atomic<uint64_t> owner_{0};
  int depth_ = 0;  // written only by the owner, while it holds the lock
  // The record of the open transaction (see the top of this file), under
  // state_; its owner is the holder of the lock while the record is set.
  mutable std::mutex state_;
  std::shared_ptr<RDA_ThreadToken> transactionThread_;
  RDA_TransactionEnder* ender_ = nullptr;
  const void* beganBy_ = nullptr;
  std::atomic<bool> objectGone_{false};
  // When the open transaction began (steady-clock nanoseconds; 0: none).
  std::atomic<int64_t> transactionSince_{0};
  // The cursors counted by cursorMade, and the close that waits for the
  // last of them (under state_).
  std::atomic<int> cursors_{0};
  std::function<void()> pendingClose_;
  // Work that releases on other threads handed to the holder.
  std::atomic<bool> deferred_{false};
  std::mutex deferredMutex_;
  std::vector<std::function<void()>> deferredWork_;
  KvLogger* trace_;
};

// Holds a lock for the scope; a null lock is not taken. A guard whose lock
// could not be taken in time holds nothing and tests false: the caller
// answers false (the lock's lastFailure() says why).
class RDA_LockGuard {
 public:
  explicit RDA_LockGuard(RDA_Lock* lock)
      : lock_(lock && !lock->acquire() ? nullptr : lock), taken_(lock_ || !lock) {}
  explicit RDA_LockGuard(const std::shared_ptr<RDA_Lock>& lock)
      : RDA_LockGuard(lock.get()) {}
  ~RDA_LockGuard() {
    if (lock_) lock_->release();
  }
  RDA_LockGuard(const RDA_LockGuard&) = delete;
  RDA_LockGuard& operator=(const RDA_LockGuard&) = delete;
  explicit operator bool() const { return taken_; }

 private:
  RDA_Lock* lock_;
  bool taken_;
};

#endif  // RDA_RDA_LOCK_H_
