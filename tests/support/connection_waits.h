// ConnectionWaits: lets a test see a connection wait for a lock that
// another connection holds, so that the holder can let go once the waiter
// waits instead of after a time that a busy machine may not keep, and
// count the waits of a call. On SQLite the busy waits of the process's
// connections report each pause (sqliteSetBusyWaitHook), which wakes the
// watcher; a PostgreSQL session's waits show only in the server's table of
// locks, which the watcher asks again and again through another
// connection, each look paced by its round trip. The watched connection's
// waits are found by its tables' prefix, in the text of the waiting
// statement or as the table whose writer's turn (an advisory lock keyed by
// the table) it waits for, not by its server process: behind a connection
// pooler in transaction mode each transaction may run in another server
// session. A test's repository is its own, and no other of its connections
// waits while the watched one is watched. One watch at a time: the SQLite hook is
// process-wide.
//
// A wait is known by the time the server stamped it, and only stamps from
// the watch's start on count: the watched work begins after the watch
// does, so an older stamp is not one of its waits. Some server releases
// show on a session's new wait the stamp of its previous wait, when that
// one ended in an error (a lock timeout), until they stamp the new wait a
// moment later; a look in between would take the old stamp for a second
// wait. The start is read from the server's clock, which the waiter's
// stamps come from even when the asker runs in another server session.
#ifndef TESTS_SUPPORT_CONNECTION_WAITS_H_
#define TESTS_SUPPORT_CONNECTION_WAITS_H_

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "kvbase/kvbase.h"
#include "kvsqlstore/kvsqlstore.h"
#include "reposadmin/repos_data_access.h"
#include "support/rda_targets.h"

class ConnectionWaits {
 public:
  // Watches the waits of `waiter`: on PostgreSQL (`postgres`) those of its
  // session, asked through `asker`; on SQLite those of every connection of
  // the process but on the watching thread, whose connection (the holder's)
  // may wait a moment at its commit for the waiter's tries to read.
  ConnectionWaits(ReposDataAccess* asker, ReposDataAccess* waiter,
                  bool postgres)
      : asker_(asker),
        prefix_(postgres ? prefixOf(waiter) : ""),
        since_(postgres ? serverNow(asker) : "") {
    pauses_ = 0;
    waitsBegun_ = 0;
    watcher_ = std::this_thread::get_id();
    sqliteSetBusyWaitHook(&ConnectionWaits::paused);
  }
  ~ConnectionWaits() { sqliteSetBusyWaitHook(nullptr); }
  ConnectionWaits(const ConnectionWaits&) = delete;
  ConnectionWaits& operator=(const ConnectionWaits&) = delete;

  // Whether the watched connection waits: on SQLite, whether one has
  // paused since the watch began (see above); on PostgreSQL, whether the
  // session waits now, each wait that a look finds counted once by when it
  // began. The server shows when a wait began a moment after the wait
  // itself, so a look that finds a wait without its start (or with a start
  // from before the watch) asks again until the start shows or the wait
  // has ended; a wait that ended before its start showed is counted on its
  // own.
  bool look() {
    if (prefix_.empty()) return pauses_ > 0;
    const KvbDatavar pattern(("%" + prefix_ + "%").c_str());
    const KvbDatavar since(since_.c_str());
    bool unstamped = false;
    for (;;) {
      // The server keeps what it showed of its sessions until the asker's
      // transaction ends (the asker may be the holder), unless told not to.
      int cleared = 0;
      asker_->paramSingleton("SELECT 1 FROM pg_stat_clear_snapshot()",
                             &cleared, 0);
      ReposDataAccessCursor* cursor = asker_->paramSelect(
          "SELECT COUNT(*), COALESCE((MIN(l.waitstart) FILTER (WHERE "
          "EXTRACT(EPOCH FROM l.waitstart) >= CAST(? AS numeric)))::text, "
          "'') FROM pg_locks l JOIN pg_stat_activity a ON a.pid = l.pid "
          "WHERE NOT l.granted AND (a.query ILIKE ? OR "
          "(l.locktype = 'advisory' AND l.objid IN (SELECT c.oid FROM "
          "pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
          "WHERE n.nspname || '.' || c.relname ILIKE ?)))",
          3, &since, &pattern, &pattern);
      bool waiting = false;
      std::string began;
      if (cursor && cursor->next() == 1) {
        waiting = cursor->getInt(0) > 0;
        began = cursor->getString(1).str();
      }
      if (cursor) cursor->release();
      if (!began.empty()) {
        starts_.insert(began);
        return true;
      }
      if (!waiting) {
        if (unstamped) ++unstampedWaits_;
        return false;
      }
      unstamped = true;
    }
  }
  // Watches until the connection waits or `done` answers true (its work
  // ended: the work's thread then calls ended()); false when neither came
  // within `limit`, a wait without end.
  bool untilWaiting(const std::function<bool()>& done,
                    std::chrono::seconds limit = std::chrono::seconds(20)) {
    return watchUntil([&](bool waiting) { return waiting || done(); }, limit);
  }
  // Watches, counting the waits, until `done` answers true; false when it
  // did not within `limit`.
  bool untilDone(const std::function<bool()>& done,
                 std::chrono::seconds limit = std::chrono::seconds(20)) {
    return watchUntil([&](bool) { return done(); }, limit);
  }
  // Wakes the watcher: the watched work has ended.
  static void ended() {
    std::lock_guard<std::mutex> guard(mutex_);
    changed_.notify_all();
  }
  // The waits seen: on SQLite the busy waits begun since the watch began,
  // on PostgreSQL the waits that looks found.
  int waits() const {
    return prefix_.empty() ? waitsBegun_.load()
                     : static_cast<int>(starts_.size()) + unstampedWaits_;
  }

 private:
  bool watchUntil(const std::function<bool(bool waiting)>& enough,
                  std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    if (prefix_.empty()) {
      std::unique_lock<std::mutex> guard(mutex_);
      return changed_.wait_until(guard, end,
                                 [&] { return enough(pauses_ > 0); });
    }
    while (!enough(look()))
      if (std::chrono::steady_clock::now() >= end) return false;
    return true;
  }
  // The table prefix, with its schema, that a connection's statements
  // name its tables by.
  static std::string prefixOf(ReposDataAccess* c) {
    KvbString prefix, error;
    EXPECT_TRUE(c->getTablePrefix(false, &prefix, &error)) << error.str();
    return prefix.str();
  }
  // The server's clock now, as seconds since the epoch (exact to the
  // microsecond, whatever the session's date style or time zone).
  static std::string serverNow(ReposDataAccess* asker) {
    std::string now;
    ReposDataAccessCursor* cursor = asker->paramSelect(
        "SELECT EXTRACT(EPOCH FROM clock_timestamp())::text", 0);
    if (cursor && cursor->next() == 1) now = cursor->getString(0).str();
    if (cursor) cursor->release();
    EXPECT_FALSE(now.empty()) << asker->getErrorMessage().str();
    return now;
  }
  static void paused(int pause) {
    if (std::this_thread::get_id() == watcher_.load()) return;
    std::lock_guard<std::mutex> guard(mutex_);
    ++pauses_;
    if (pause == 0) ++waitsBegun_;
    changed_.notify_all();
  }

  ReposDataAccess* asker_;
  std::string prefix_;
  std::string since_;  // the server's clock when the watch began
  std::set<std::string> starts_;
  int unstampedWaits_ = 0;
  static inline std::atomic<int> pauses_{0};
  static inline std::atomic<int> waitsBegun_{0};
  static inline std::atomic<std::thread::id> watcher_;
  static inline std::mutex mutex_;
  static inline std::condition_variable changed_;
};

// When a holder lets go: once it has seen the attempt wait (or end), or
// only once the attempt has ended.
enum class LetGo { kOnceItWaits, kOnceItEnds };

// Runs `attempt` on a thread of its own, its answer going to *answer, while
// this thread holds a transaction, watching `waits` meanwhile, and ends that
// transaction through `end` (committing when given true) when `letGo` says.
// An attempt that neither waits nor ends within 20 s, four times the
// longest wait of any attempt in the tests, is a wait without end: the
// transaction is rolled back, so that the test fails instead of hanging,
// and the answer is false.
template <class Answer>
bool attemptWhileHeld(ConnectionWaits& waits, LetGo letGo,
                      const std::function<void(bool commit)>& end,
                      const std::function<Answer()>& attempt, Answer* answer) {
  std::atomic<bool> ended{false};
  std::thread worker([&] {
    *answer = attempt();
    ended = true;
    ConnectionWaits::ended();
  });
  const auto done = [&] { return ended.load(); };
  const bool inTime = letGo == LetGo::kOnceItWaits ? waits.untilWaiting(done)
                                                   : waits.untilDone(done);
  end(inTime);
  worker.join();
  return inTime;
}

// A target with the core tables, on which a case may set the busy timeout
// of the connections it opens; the option goes when the case ends.
class WaitingTargetTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(createCoreTables()) << rda_->getErrorMessage().asCstr();
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    RdaTargetTest::TearDown();
  }
};

#endif  // TESTS_SUPPORT_CONNECTION_WAITS_H_
