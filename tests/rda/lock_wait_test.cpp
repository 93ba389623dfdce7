// Waits for a lock that another connection holds, on every back end: they
// end at the busy timeout ("SQLITE/BUSY_TIMEOUT", milliseconds) with the
// database's reason, a timeout of 0 fails at once, a wait that the holder
// ends in time succeeds, and a key write waits only once. Also the SQLite3
// ODBC driver's route, whose begin tries again until the busy timeout when
// the driver gives up first. No verdict depends on the machine keeping
// time: a holder lets go once it has seen the waiter wait, and a refused
// wait is only checked to come no sooner than its timeout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "access/common_rdaimpl.h"
#include "rda/rda_impl.h"
#include "support/connection_waits.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

long long msSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                               start)
      .count();
}

// The busy timeout of a connection opened without the option.
constexpr int kDefaultMs = 5000;

// What one attempt of a connection to draw an id (or to write a key) gave,
// and how long it took.
struct Attempt {
  bool drawn = false;
  std::string reason;
  long long ms = 0;
};

// Runs `attempt` on a thread of its own while `holder`, on this thread,
// holds the transaction that it began, and ends that transaction as
// attemptWhileHeld ends it.
Attempt whileHeld(ReposDataAccess* holder, ConnectionWaits& waits, LetGo letGo,
                  const std::function<Attempt()>& attempt) {
  Attempt got;
  if (!attemptWhileHeld<Attempt>(
          waits, letGo, [&](bool commit) { holder->endTransaction(commit); },
          attempt, &got))
    got.reason = "still waiting after 20 s; " + got.reason;
  return got;
}

class LockWaitTest : public WaitingTargetTest {
 protected:
  // A connection opened with the option at `timeout` (empty: not set).
  ReposDataAccess* openWith(const char* timeout) {
    if (*timeout) kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", timeout);
    ReposDataAccess* rda = open();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    return rda;
  }
  // Begins a transaction of rda_ that holds the counter NEWKEY: the whole
  // file on SQLite, the counter's row on a server.
  void hold() {
    ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
    KvbDatavar id;
    ASSERT_TRUE(rda_->getNextID("NEWKEY", id)) << why();
  }
  std::string why() { return rda_->getErrorMessage().str(); }
  static Attempt draw(ReposDataAccess* rda) {
    const Clock::time_point start = Clock::now();
    KvbDatavar id;
    Attempt attempt;
    attempt.drawn = rda->getNextID("NEWKEY", id);
    attempt.ms = msSince(start);
    attempt.reason = attempt.drawn ? std::to_string(id.asInt())
                                   : rda->getErrorMessage().str();
    return attempt;
  }
  // Watches the waits of `waiter`, asking through this test's connection.
  ConnectionWaits watch(ReposDataAccess* waiter) {
    return ConnectionWaits(rda_, waiter, isPostgres());
  }
  // The reason that a wait ended with.
  const char* lockedText() const {
    return isPostgres() ? "lock timeout" : "database is locked";
  }
  // The reason of a wait refused after `timeout` ms: on SQLite it names
  // the wait; the server's names only the lock timeout.
  std::string refusedText(const char* timeout) const {
    if (isPostgres()) return lockedText();
    return std::string(
               "database is locked by another connection; gave up "
               "waiting for it after ") +
           timeout + " ms (SQLITE/BUSY_TIMEOUT)";
  }
};

TEST_P(LockWaitTest, AWaitForAnotherConnectionsLockEndsAtTheBusyTimeout) {
  ReposDataAccess* patient = openWith("300");
  ASSERT_NE(patient, nullptr);
  hold();
  {
    ConnectionWaits waits = watch(patient);
    const Attempt got = whileHeld(rda_, waits, LetGo::kOnceItEnds,
                                  [&] { return draw(patient); });
    EXPECT_FALSE(got.drawn);
    EXPECT_NE(got.reason.find(refusedText("300")), std::string::npos)
        << got.reason;
    EXPECT_GE(got.ms, 250) << got.reason;
  }
  // The refusal leaves the connection as it was: once the lock is free,
  // its next draw succeeds.
  Attempt got = draw(patient);
  EXPECT_TRUE(got.drawn) << got.reason;
  EXPECT_EQ(got.reason, "2");
  patient->release();

  // A wait that the holder ends in time succeeds: the holder lets go once
  // it has seen the wait.
  ReposDataAccess* waiting = openWith("");
  ASSERT_NE(waiting, nullptr);
  hold();
  {
    ConnectionWaits waits = watch(waiting);
    got = whileHeld(rda_, waits, LetGo::kOnceItWaits,
                    [&] { return draw(waiting); });
    EXPECT_TRUE(got.drawn) << got.reason;
    EXPECT_EQ(got.reason, "4");
    EXPECT_GE(waits.waits(), 1) << "served without a wait";
  }
  waiting->release();
}

// SQLite fails at once for 0, without a pause. A server takes 0 as no
// bound at all, so there the engine sets its shortest bound instead, which
// ends the wait long before the default would.
TEST_P(LockWaitTest, ABusyTimeoutOfZeroFailsAtOnce) {
  ReposDataAccess* impatient = openWith("0");
  ASSERT_NE(impatient, nullptr);
  hold();
  ConnectionWaits waits = watch(impatient);
  const Attempt got = whileHeld(rda_, waits, LetGo::kOnceItEnds,
                                [&] { return draw(impatient); });
  EXPECT_FALSE(got.drawn);
  EXPECT_NE(got.reason.find(refusedText("0")), std::string::npos) << got.reason;
  if (isPostgres())
    EXPECT_LT(got.ms, kDefaultMs) << got.reason;
  else
    EXPECT_EQ(waits.waits(), 0);
  impatient->release();
}

// Each transaction bounds its waits itself: the session it runs in may
// hold another bound, as when a connection pooler hands the transaction to
// a server session where another client set its own (here a minute, three
// times the watch's limit). The wait still ends at this connection's busy
// timeout.
TEST_P(LockWaitTest, ATransactionBoundsItsWaitsWhateverItsSessionHolds) {
  if (!isPostgres()) GTEST_SKIP() << "a server session's own lock timeout";
  // The connection string of a site behind a pooler in transaction mode.
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "300");
  KvbString error;
  ReposDataAccess* patient = createReposDataAccess(
      factoryKind(), (location() + "UseServerSidePrepare=0;").c_str(),
      prefix_, nullptr, error);
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  ASSERT_NE(patient, nullptr) << error.asCstr();
  ASSERT_TRUE(patient->paramExec("SET lock_timeout = 60000", nullptr, 0))
      << patient->getErrorMessage().asCstr();
  hold();
  ConnectionWaits waits = watch(patient);
  const Attempt got = whileHeld(rda_, waits, LetGo::kOnceItEnds,
                                [&] { return draw(patient); });
  EXPECT_FALSE(got.drawn);
  EXPECT_NE(got.reason.find(lockedText()), std::string::npos) << got.reason;
  EXPECT_LT(got.ms, kDefaultMs) << got.reason;
  patient->release();
}

// A key that another connection's open transaction holds, before the store
// has its turn counter: held by that transaction's own write of the key
// (with the counter it made) or by the key's row alone. The write waits for
// the lock once, for the busy timeout, and fails with the database's reason
// instead of trying again into a second wait, which the watch would see.
TEST_P(LockWaitTest, AKeyWriteWaitsForAnotherTransactionOnlyOnce) {
  LogCapture log;  // keeps the expected failures off the console
  ReposDataAccess* patient = openWith("1000");
  ASSERT_NE(patient, nullptr);
  CommonRDAImpl* writer = new CommonRDAImpl(patient);
  CommonRDAImpl* holder = new CommonRDAImpl(rda_);
  const std::vector<std::function<void(const char*)>> holds = {
      [&](const char* key) {
        exec("INSERT INTO " + table("KEYVAL") + " (V_KEY) VALUES (?)",
             {KvbString(key)});
      },
      [&](const char* key) {
        ASSERT_TRUE(holder->setKeyValue(key, "held")) << why();
      }};
  const char* keys[] = {"row", "write"};
  for (size_t k = 0; k < holds.size(); ++k) {
    SCOPED_TRACE(keys[k]);
    ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
    holds[k](keys[k]);
    // The PostgreSQL driver runs each statement of a transaction at a
    // savepoint of its own, which it releases at the next statement: until
    // then the row is held by that savepoint, and a write waiting for it
    // would wait twice on the server, for the savepoint and then for the
    // transaction. One statement more releases it before the write begins.
    int one = 0;
    ASSERT_TRUE(rda_->paramSingleton("SELECT 1", &one, 0)) << why();
    ConnectionWaits waits = watch(patient);
    const Attempt got = whileHeld(rda_, waits, LetGo::kOnceItEnds, [&] {
      const Clock::time_point start = Clock::now();
      Attempt attempt;
      attempt.drawn = writer->setKeyValue(keys[k], "mine");
      attempt.ms = msSince(start);
      attempt.reason = writer->getErrorMessage().str();
      return attempt;
    });
    EXPECT_FALSE(got.drawn);
    EXPECT_NE(got.reason.find(lockedText()), std::string::npos) << got.reason;
    EXPECT_GE(got.ms, 900) << got.reason;
    EXPECT_LE(waits.waits(), 1) << got.reason;
  }
  holder->release();
  writer->release();
  patient->release();
}
INSTANTIATE_RDA_TARGETS(LockWaitTest);

// The SQLite3 ODBC driver waits for a lock as its connection string says
// ("Timeout", milliseconds). When it gives up before the busy timeout, the
// begin tries again until the busy timeout has passed.
class OdbcSqliteLockWaitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    KvbString error;
    holder_ = createReposDataAccess(1, dir_.file("odbc.db").c_str(), "",
                                    nullptr, error);
    ASSERT_NE(holder_, nullptr) << error.asCstr();
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    if (holder_) holder_->release();
  }
  // A connection through the driver, which gives up after 1 ms.
  ReposDataAccess* openOdbc(const char* timeout) {
    if (*timeout) kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", timeout);
    KvbString error;
    const std::string connection =
        "Driver=SQLite3;Database=" + dir_.file("odbc.db") + ";Timeout=1;";
    ReposDataAccess* rda =
        createReposDataAccess(0, connection.c_str(), "", nullptr, error);
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    EXPECT_NE(rda, nullptr) << error.asCstr();
    return rda;
  }
  static Attempt begin(ReposDataAccess* rda) {
    const Clock::time_point start = Clock::now();
    Attempt attempt;
    attempt.drawn = rda->beginTransaction(false, nullptr);
    attempt.ms = msSince(start);
    attempt.reason = rda->getErrorMessage().str();
    rda->endTransaction(false);
    return attempt;
  }

  TempDir dir_;
  ReposDataAccess* holder_ = nullptr;
};

TEST_F(OdbcSqliteLockWaitTest, ABeginTriesAgainUntilTheBusyTimeout) {
  ReposDataAccess* waiting = openOdbc("");
  ASSERT_NE(waiting, nullptr);
  ASSERT_TRUE(holder_->beginTransaction(false, nullptr));
  Attempt got;
  {
    ConnectionWaits waits(holder_, waiting, false);
    got = whileHeld(holder_, waits, LetGo::kOnceItWaits,
                    [&] { return begin(waiting); });
  }
  EXPECT_TRUE(got.drawn) << got.reason;
  waiting->release();

  ReposDataAccess* patient = openOdbc("300");
  ASSERT_NE(patient, nullptr);
  ASSERT_TRUE(holder_->beginTransaction(false, nullptr));
  {
    ConnectionWaits waits(holder_, patient, false);
    got = whileHeld(holder_, waits, LetGo::kOnceItEnds,
                    [&] { return begin(patient); });
  }
  EXPECT_FALSE(got.drawn);
  EXPECT_NE(got.reason.find("database is locked"), std::string::npos)
      << got.reason;
  EXPECT_GE(got.ms, 250) << got.reason;
  patient->release();
}

}  // namespace
