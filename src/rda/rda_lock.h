// RDA_Lock: the recursive lock of one connection, taken by the connection,
// its statements and its cursors. It is always taken: threads that share a
// connection without it would interleave statements inside each other's
// transactions and lose writes that were answered true.
//
// Turns are eventually fair. A thread may take the lock whenever it is
// free, also past threads asleep in the queue, so that a call that takes
// it several times (prepare, execute, each row, release) goes on without a
// context switch at each holding. A thread that finds it held spins a
// moment, then queues; each letting go wakes the first waiter to try
// again, and once that waiter has been first for longer than a short bound
// (about a millisecond) the thread that lets go hands the lock to it
// directly. So hand-overs, each a context switch, come at most about once
// a millisecond, however many threads wait, and each waiter gets the lock
// within about a millisecond of becoming first. A waiter gives
// up only once one holding (an operation, or a transaction from its begin
// to its end) has kept the lock for the busy timeout
// ("SQLITE/BUSY_TIMEOUT"), however many holdings it waited behind:
// acquire() then answers false with the reason recorded as the thread's
// failure on this connection (texts()), so that a transaction another
// thread forgot to end costs an error, never a hang.
//
// A thread's cancellation stays off (kvsync/kvnocancellation.h) from its first
// hold of the lock, or the start of its wait for it, until it holds it no
// more for a call: holds that a transaction keeps from its begin to its end
// (parked here) do not count, so that a thread between calls in its
// transaction can be cancelled, and its transaction is then rolled back as
// that of any ended thread. So a driver is never unwound under a call, and a
// thread cancelled during a call is cancelled after it.
//
// A transaction holds the lock from its begin to its end, and the lock
// keeps a record of it: the token of the thread that began it, the object
// that began it, and the connection that can roll it back
// (RDA_TransactionEnder). One rule covers a transaction whose owner is
// gone: the owner, the depth and that record change only under the lock,
// by a living thread. A thread counts as ended only after the last code it
// runs (see RDA_ThreadToken); its end runs no engine code. Whoever next
// needs the lock (the first waiter, which looks every few milliseconds
// while a transaction is recorded, a release, the connection's close) and
// finds it held by a transaction whose thread has ended takes the lock
// over, has the connection roll the transaction back, and goes on. A
// transaction whose object was released on another thread is marked here;
// its own thread, which holds the lock, rolls it back at its next call.
//
// Releases never wait: work that needs the lock while another thread holds
// it is handed to that thread, which runs it within its holding, before
// the lock passes on, so handed-over work never piles up across holdings.
// Work that arrives as the lock comes free is not lost either: the thread
// that lets go looks for it again once the lock is free (or handed to a
// waiter, who runs it as it lets go), and the thread that hands work over
// tries to take the free lock after it did, so that one of them always
// runs it. What is still handed over when the connection closes, the close
// runs (see RDA_BaseImpl::release).
//
// The lock is taken per statement, per row read and per value bound by a
// thread that does not hold it already, so taking it again in the thread
// that holds it costs a load and an add, taking it free with nobody
// waiting one atomic exchange, and giving it up with nobody waiting one
// atomic exchange and two loads, all without a call; only a thread that
// finds the lock held, or waiters queued, goes to the slow path.
#ifndef RDA_RDA_LOCK_H_
#define RDA_RDA_LOCK_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "kvsync/kvnocancellation.h"
#include "rda/rda_thread.h"
#include "rda/rda_thread_texts.h"

class KvLogger;

// What a lock asks of the connection whose transaction it records: called
// on a living thread that has just taken the lock over (holding it once)
// from a thread that ended with the transaction open, or at the
// connection's close from a thread that can no longer call in. The
// connection rolls the transaction back and forgets its levels; their
// holds were the other thread's and are gone with it.
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
  kQueueing,     // a thread found the lock held and is about to queue
  kWaiting,      // a thread found the lock held and queued to wait for it
  kWatching,     // the first waiter found a transaction's thread alive
  kTakingOver,   // a thread took the lock and its transaction over
  kHandingOver,  // a release found the lock held and hands its work over
  kLettingGo,    // the holder's last hold ends; the lock is not yet free
  kHandingOn,    // the holder let go with waiters counted; none chosen yet
};
using RDA_LockSeamHook = void (*)(RDA_LockSeam point);
void rdaSetLockSeam(RDA_LockSeamHook hook);
extern std::atomic<RDA_LockSeamHook> rdaLockSeamHook;
// The clock, in nanoseconds, by which the slow paths measure holdings and
// waits: a test sets one of its own so that the busy timeout passes when
// it says; null brings back the steady clock. Under a test's clock a
// waiter looks at it every few milliseconds of real time, and counts as
// having waited past the bound of a direct hand-over by it too.
using RDA_LockClock = int64_t (*)();
void rdaSetLockClock(RDA_LockClock clock);

class RDA_Lock {
 public:
  RDA_Lock();
  RDA_Lock(const RDA_Lock&) = delete;
  RDA_Lock& operator=(const RDA_Lock&) = delete;

  // Takes the lock, waiting at most the busy timeout for another thread to
  // give it up; false when it did not, with the reason recorded in texts().
  bool acquire() {
    // Only this thread ever stores its own number, so a relaxed load that
    // sees it is this thread's own earlier store.
    if (owner_.load(std::memory_order_relaxed) == rdaCurrentThread()) {
      holdAgain();
      return true;
    }
    kvHoldOffCancellation();
    uint32_t free = 0;
    if (!state_.compare_exchange_strong(free, kHeld) && !wait()) {
      kvAllowCancellation();
      return false;
    }
    becomeOwner();
    return true;
  }
  // Gives up one hold of the calling thread; a thread that does not hold
  // the lock changes nothing. The last hold runs the work that releases on
  // other threads handed over meanwhile, then lets go.
  void release() {
    if (owner_.load(std::memory_order_relaxed) != rdaCurrentThread()) return;
    if (--depth_ > 0) {
      if (depth_ == parked_) kvAllowCancellation();
      return;
    }
    letGo();
    kvAllowCancellation();
  }
  // The calling thread's latest hold stays for its open transaction, past
  // the end of the call that began it: it no longer keeps the thread's
  // cancellation off. Only the thread that holds the lock parks a hold.
  void parkForTransaction() {
    if (++parked_ == depth_) kvAllowCancellation();
  }
  // Gives up a hold that a transaction kept (as release(), once the hold
  // counts for the call again); a thread that no longer holds the lock
  // (taken over at the connection's close) changes nothing.
  void releaseParked() {
    if (!heldHere()) return;
    if (parked_ > 0 && parked_-- == depth_) kvHoldOffCancellation();
    release();
  }
  // A lock destroyed by the thread that holds it (the connection's close)
  // ends that thread's hold.
  ~RDA_Lock() {
    if (heldHere() && depth_ > parked_) kvAllowCancellation();
  }

  // Takes the lock when it can be had without waiting (free, held here, or
  // taken over from an ended thread); false, taking nothing, when a living
  // thread holds it. For releases, which never wait. A true answer is given
  // back with release().
  bool tryAcquire() { return takeNow(); }

  // True when the calling thread holds the lock.
  bool heldHere() const {
    return owner_.load(std::memory_order_relaxed) == rdaCurrentThread();
  }
  // Runs `work` under the lock when it can be had without waiting (free,
  // held here, or taken over from an ended thread); otherwise hands it to
  // the thread that holds the lock and returns at once. For releases.
  void runOrDefer(std::function<void()> work);
  // For the connection's close, when no thread can call into it any more:
  // takes the lock, also from a living thread whose transaction is then
  // rolled back with `why` (it holds nothing that could end it), and runs
  // the work still handed over. The caller holds the lock once after it.
  void takeForClose(const char* why);

  // The calling thread's failure texts on this connection; a refusal of
  // the lock is recorded there.
  RDA_ThreadTexts& texts() { return texts_; }
  // Records `text` as the calling thread's failure and answers false: for
  // a call refused without taking the lock.
  bool refuseHere(const KvbString& text) {
    texts_.set(text);
    return false;
  }

  // The open transaction, begun by the calling thread, which holds the
  // lock, through `object` (null: through the connection itself); `ender`
  // rolls it back if the thread ends first. Called at the outermost begin
  // and, before the lock is given up, at the outermost end.
  void transactionBegun(RDA_TransactionEnder* ender, const void* object);
  void transactionEnded();
  // The open transaction, which the calling thread holds, is `object`'s
  // from now on, as if `object` had begun it (see objectReleased).
  void transactionOf(const void* object);
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
  bool objectGone() const {
    return objectGone_.load(std::memory_order_relaxed);
  }

 private:
  // The state word: kHeld while a thread holds the lock (or it is handed
  // to a waiter), plus kWaiter for each thread in the queue. A word without
  // kHeld is taken by setting it, waiters or not; only a word of kHeld
  // (nobody queued) is freed without the slow path, which may hand the
  // lock to the first waiter instead.
  static constexpr uint32_t kHeld = 1;
  static constexpr uint32_t kWaiter = 2;
  // A thread in the queue, on its own stack; its fields change under
  // waitMutex_.
  struct Waiter {
    std::condition_variable turn;
    int64_t since = 0;       // when it queued, by the lock's clock
    int64_t firstSince = 0;  // when it became first in the queue
    bool granted = false;    // the lock was handed to it
    bool asleep = false;     // waiting for turn; a wake-up is still to come
    bool watching = false;   // asleep for a look after a transaction's thread
  };

  // Takes the lock if nobody holds it, past queued waiters too.
  bool tryTake() {
    uint32_t word = state_.load();
    while (!(word & kHeld))
      if (state_.compare_exchange_weak(word, word | kHeld)) {
        if (word != 0) passedAt_ = clockNow();
        return true;
      }
    return false;
  }
  // The caller's cancellation is already held off for this holding.
  void becomeOwner() {
    owner_.store(rdaCurrentThread(), std::memory_order_relaxed);
    depth_ = 1;
    parked_ = 0;
  }
  // One more hold of the thread that holds the lock; the first past the
  // parked ones holds its cancellation off.
  void holdAgain() {
    if (depth_++ == parked_) kvHoldOffCancellation();
  }
  // Work handed over during the holding runs before the lock passes on;
  // work that came as it passed on, after.
  void letGo() {
    seam(RDA_LockSeam::kLettingGo);
    if (handedOver_.load()) {
      depth_ = 1;
      runHandedOverHeld();
      depth_ = 0;
    }
    free();
    if (handedOver_.load()) runHandedOver();
  }
  void free() {
    owner_.store(0, std::memory_order_relaxed);
    // Sequentially consistent, as are the loads after it and the stores of
    // hand-overs before they try the lock: either they see the lock free
    // (or handed on), or it sees them.
    uint32_t held = kHeld;
    if (!state_.compare_exchange_strong(held, 0)) handOn();
  }
  static void seam(RDA_LockSeam point) {
    if (RDA_LockSeamHook hook = rdaLockSeamHook.load(std::memory_order_acquire))
      hook(point);
  }
  static int64_t clockNow();
  bool wait();  // queues up to the busy timeout; false, with a reason, if not
  // Waits in the queue; false when the busy timeout passed.
  bool waitQueued(Waiter& self, int64_t timeout);
  // Takes the free lock for `self`, which leaves the queue; under
  // waitMutex_.
  bool takeQueued(Waiter& self);
  // The holder let go with waiters counted: hands the lock to the first
  // waiter if it has waited past the bound, else frees it and wakes that
  // waiter to try again.
  void handOn();
  // Takes `self` out of the queue (its count is the caller's to change);
  // the next waiter, now first, is woken to look after the lock. Under
  // waitMutex_.
  void leaveQueue(Waiter& self);
  // Takes `waiter` out of the queue and its count, without the lock (it
  // gave up, took the lock over, or is handed it); under waitMutex_.
  void dequeue(Waiter& waiter);
  void wake(Waiter& waiter);  // under waitMutex_
  // A transaction was recorded: the first waiter begins to look after it.
  void wakeFirstWaiter();
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
  // takeNow for a thread that does not hold the lock and whose
  // cancellation is held off for the holding.
  bool takeFree();
  // Runs the handed-over work while the lock can be had free; the caller
  // does not hold it.
  void runHandedOver();
  // Runs the handed-over work; the caller holds the lock.
  void runHandedOverHeld();
  void clearRecord();  // no transaction is open; under recordMutex_
  KvbString refusalText(int timeoutMs) const;

  std::atomic<uint32_t> state_{0};
  // The queue, oldest first, and when the lock last passed from a thread to
  // the next while threads were queued (steady-clock nanoseconds): a waiter
  // counts the busy timeout from then, or from when it began to wait.
  std::mutex waitMutex_;
  std::deque<Waiter*> queue_;
  std::atomic<int64_t> passedAt_{0};
  std::atomic<uint64_t> owner_{0};
  // Written only by the owner, while it holds the lock: its holds, and how
  // many of them its open transaction keeps (parked_ <= depth_).
  int depth_ = 0;
  int parked_ = 0;
  // The record of the open transaction (see the top of this file), under
  // recordMutex_; its owner is the holder of the lock while the record is set.
  mutable std::mutex recordMutex_;
  std::shared_ptr<RDA_ThreadToken> transactionThread_;
  RDA_TransactionEnder* ender_ = nullptr;
  const void* beganBy_ = nullptr;
  std::atomic<bool> objectGone_{false};
  // When the open transaction began (steady-clock nanoseconds; 0: none).
  std::atomic<int64_t> transactionSince_{0};
  // Work that releases on other threads handed over (see the top).
  std::atomic<bool> handedOver_{false};
  std::mutex handedOverMutex_;
  std::vector<std::function<void()>> handedOverWork_;
  RDA_ThreadTexts texts_;
  KvLogger* trace_;
};

// Holds a lock for the scope; a null lock is not taken. A guard whose lock
// could not be taken in time holds nothing and tests false: the caller
// answers false (the lock's texts() say why).
class RDA_LockGuard {
 public:
  explicit RDA_LockGuard(RDA_Lock* lock)
      : lock_(lock && !lock->acquire() ? nullptr : lock),
        taken_(lock_ || !lock) {}
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
