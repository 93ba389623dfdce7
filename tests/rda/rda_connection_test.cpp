// The repository connection on every back end: nested transactions, id
// counters under concurrency, long texts, parameterised SQL and prepared
// statements, names and column lists, cursor column names, error texts,
// table-prefix checks, the repository id and the factory.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "rda/rda_impl.h"
#include "schema/log_printf.h"
#include "support/connection_waits.h"
#include "support/driver_fault.h"
#include "support/lock_seam.h"
#include "support/log_capture.h"
#include "support/rda_targets.h"
#include "support/temp_dir.h"

namespace {

class RdaConnectionTest : public RdaTargetTest {
 protected:
  void createTables() { ASSERT_TRUE(createCoreTables()) << why(); }
  std::string why() { return rda_->getErrorMessage().str(); }
  // Opens the test's connection again, with the PostgreSQL driver reading
  // a query's rows through a server cursor, `rows` at each fetch.
  void reopenFetching(int rows) {
    rda_->release();
    KvbString error;
    db_ = rda_ = createReposDataAccess(
        factoryKind(),
        (location() + ";UseDeclareFetch=1;Fetch=" + std::to_string(rows) + ";")
            .c_str(),
        prefix_, nullptr, error);
    ASSERT_NE(rda_, nullptr) << error.asCstr();
  }
  std::vector<std::string> select(const KvbString& sql) {
    return rows(rda_->paramSelect(sql, 0));
  }
  // The FOLDER rows with the id as `c` sees them; -1 on a failure.
  int folders(ReposDataAccess* c, int id) {
    KvbDatavar key(id);
    int n = -1;
    const KvbString sql =
        "SELECT COUNT(*) FROM " + table("FOLDER") + " WHERE FLDR_ID = ?";
    return c->paramSingleton(sql, &n, 1, &key) ? n : -1;
  }
  // After a failure with `reason` inside a transaction that stored folder
  // 1: adds folder 2 and commits. Both answer alike, and store both folders
  // or neither; where the driver rolls the whole transaction back at a
  // failure, neither, with the lost transaction's text.
  void addAndCommitAfterFailure(const std::string& reason) {
    const bool after = addFolder(rda_, 2, "after");
    const bool ended = rda_->endTransaction(true);
    if (isPostgres() && postgresFailuresEndTransactions()) {
      EXPECT_FALSE(after);
      EXPECT_FALSE(ended);
      EXPECT_EQ(why(), "The transaction was rolled back by the database: " +
                           reason);
    }
    EXPECT_EQ(after, ended) << why();
    EXPECT_EQ(folders(rda_, 1) + folders(rda_, 2), ended ? 2 : 0) << why();
    EXPECT_FALSE(rda_->inTransaction());
  }
  // Runs `work` in a transaction of `other` (or, with `alone`, outside
  // one), on a thread of its own, while this test's connection holds a
  // transaction that it commits once the work waits for it (see
  // ConnectionWaits). Empty when the work and its commit succeeded, else
  // the reason.
  std::string whileCommitting(ReposDataAccess* other,
                              const std::function<bool()>& work,
                              bool alone = false) {
    std::string reason;
    std::atomic<bool> done{false};
    ConnectionWaits waits(rda_, other, isPostgres());
    std::thread second([&] {
      const bool worked =
          (alone || other->beginTransaction(false, nullptr)) && work();
      if (!worked) reason = "failed: " + other->getErrorMessage().str();
      if (!alone && !other->endTransaction(worked) && worked)
        reason = "commit failed: " + other->getErrorMessage().str();
      done = true;
      ConnectionWaits::ended();
    });
    waits.untilWaiting([&] { return done.load(); });
    EXPECT_TRUE(rda_->endTransaction(true)) << why();
    second.join();
    return reason;
  }
  bool addFolder(ReposDataAccess* c, int id, const char* name) {
    KvbDatavar key(id), text(name);
    return c->paramExec(
        "INSERT INTO " + table("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)",
        nullptr, 2, &key, &text);
  }
};

TEST_P(RdaConnectionTest, NestedTransactionsCommitOnlyAtTheOutermostEnd) {
  // An end without a begin fails with one text, or another after a failure.
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_EQ(why(), libraryMessage(1065));
  EXPECT_EQ(rda_->paramSelect("SELECT a FROM no_such_table_x", 0), nullptr);
  EXPECT_FALSE(rda_->endTransaction(false));
  EXPECT_EQ(rda_->getLastError().str(), libraryMessage(1068));

  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "inner"));
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_EQ(folders(other, 1), 0) << "an inner end must not commit";
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_EQ(folders(other, 1), 1);

  // An inner rollback undoes exactly the inner work, also after a failed
  // statement (which aborts a server's transaction unless rolled back to a
  // savepoint); the outer transaction goes on and commits.
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 2, "outer"));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 4, "undone"));
  EXPECT_FALSE(addFolder(rda_, 2, "duplicate key"));
  if (isPostgres() && postgresFailuresEndTransactions()) {
    // This driver mode rolls the whole transaction back at the failed add,
    // savepoint included: the transaction is lost, with the add's reason,
    // and so are the inner rollback and the rest.
    const std::string reason = why();
    EXPECT_NE(reason.find("duplicate key"), std::string::npos) << reason;
    const std::string lost =
        "The transaction was rolled back by the database: " + reason;
    EXPECT_FALSE(rda_->endTransaction(false));
    EXPECT_EQ(why(), lost);
    EXPECT_FALSE(addFolder(rda_, 3, "kept"));
    EXPECT_EQ(why(), lost);
    EXPECT_FALSE(rda_->endTransaction(true));
    EXPECT_EQ(why(), lost);
    EXPECT_FALSE(rda_->inTransaction());
    EXPECT_EQ(folders(other, 2) + folders(other, 3), 0);
  } else {
    EXPECT_TRUE(rda_->endTransaction(false));
    ASSERT_TRUE(addFolder(rda_, 3, "kept")) << why();
    ASSERT_TRUE(rda_->endTransaction(true)) << why();
    EXPECT_EQ(folders(other, 2) + folders(other, 3), 2);
  }
  EXPECT_EQ(folders(other, 4), 0);

  // A level whose savepoint is gone can roll back only with the whole
  // transaction, whose outermost end then answers false.
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 5, "doomed"));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->paramExec("RELEASE SAVEPOINT kv_level_2", nullptr, 0))
      << why();
  EXPECT_FALSE(rda_->endTransaction(false));
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(folders(other, 5), 0);
  other->release();
}

// Work held for the commit runs once the outermost commit has succeeded,
// in order; a rollback drops it, an inner one only what its level held.
TEST_P(RdaConnectionTest, WorkAfterCommitWaitsForTheOutermostCommit) {
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  std::vector<std::string> done;
  auto note = [&](const char* what) {
    connection->afterCommit([&done, what] { done.push_back(what); });
  };
  note("at once");
  EXPECT_EQ(done, std::vector<std::string>{"at once"});
  done.clear();

  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  note("outer");
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  note("rolled back");
  EXPECT_TRUE(rda_->endTransaction(false));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  note("inner");
  EXPECT_TRUE(rda_->endTransaction(true));
  EXPECT_TRUE(done.empty()) << "nothing runs before the outermost commit";
  ASSERT_TRUE(rda_->endTransaction(true)) << why();
  EXPECT_EQ(done, (std::vector<std::string>{"outer", "inner"}));

  done.clear();
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  note("dropped");
  EXPECT_TRUE(rda_->endTransaction(false));
  EXPECT_TRUE(done.empty());
}

// A transaction belongs to the thread that began it: another thread's
// statement on the shared connection waits for its end instead of running
// inside it.
TEST_P(RdaConnectionTest, AnotherThreadWaitsForTheTransactionToEnd) {
  createTables();
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "mine"));
  LockSeam seam;
  std::atomic<bool> added{false};
  std::thread intruder([&] { added = addFolder(rda_, 2, "theirs"); });
  seam.waitFor(RDA_LockSeam::kWaiting);
  EXPECT_FALSE(added) << "a statement ran inside another thread's transaction";
  EXPECT_TRUE(rda_->endTransaction(false));
  intruder.join();
  EXPECT_TRUE(added);
  EXPECT_EQ(folders(rda_, 1), 0);
  EXPECT_EQ(folders(rda_, 2), 1) << "the other thread's row was rolled back";
}

// A rollback that itself fails is no success: here a statement ended the
// transaction behind the connection's back, so SQLite has none to roll back.
TEST_P(RdaConnectionTest, FailedOutermostRollbackAnswersFalseWithItsReason) {
  if (isPostgres()) GTEST_SKIP() << "the driver ignores a rollback of nothing";
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->paramExec("COMMIT", nullptr, 0)) << why();
  EXPECT_FALSE(rda_->endTransaction(false));
  EXPECT_NE(why().find("no transaction is active"), std::string::npos) << why();
  EXPECT_FALSE(rda_->inTransaction());
}

// When the database ends the transaction on its own (SQLite on a full
// database; a server at a failed statement in a driver mode that does not
// undo just the statement), every later call in it fails with the reason,
// and so does each end: nothing runs outside the host's transaction, and
// nothing of it is reported committed.
TEST_P(RdaConnectionTest, ATransactionTheDatabaseEndedFailsUntilItsEnd) {
  createTables();
  if (!isPostgres()) {  // room for a few pages more
    int pages = 0;
    ASSERT_TRUE(rda_->paramSingleton("PRAGMA page_count", &pages, 0)) << why();
    ASSERT_TRUE(rda_->paramExec(
        kvbStringFormat("PRAGMA max_page_count = %d", pages + 3), nullptr, 0));
  }
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "before"));
  if (isPostgres()) {
    EXPECT_FALSE(addFolder(rda_, 1, "taken"));
  } else {
    const std::string big(3000, 'x');
    int added = 0;
    while (added < 100 && addFolder(rda_, 10 + added, big.c_str())) ++added;
    ASSERT_LT(added, 100) << "the database did not fill";
  }
  const bool carriedOn = addFolder(rda_, 2, "after");
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr) == carriedOn);
  const bool innerEnded = rda_->endTransaction(true);
  const bool ended = rda_->endTransaction(true);
  if (carriedOn) {  // the driver undid only the failed statement
    EXPECT_TRUE(innerEnded && ended) << why();
    EXPECT_EQ(folders(rda_, 1) + folders(rda_, 2), 2);
    return;
  }
  EXPECT_FALSE(innerEnded);
  EXPECT_FALSE(ended);
  EXPECT_EQ(why().rfind("The transaction was rolled back by the database: ", 0),
            0u)
      << why();
  EXPECT_FALSE(rda_->inTransaction());
  EXPECT_EQ(folders(rda_, 1) + folders(rda_, 2), 0);
  if (!isPostgres()) {
    ASSERT_TRUE(
        rda_->paramExec("PRAGMA max_page_count = 1000000", nullptr, 0));
  }
  EXPECT_TRUE(addFolder(rda_, 3, "later")) << why();
}

// The first refusal of a connection asks the driver's mode (see below). A
// probe whose own read fails tells nothing of the mode and is not kept:
// the next refusal asks again, so that a mode that rolls the transaction
// back is not taken for one that undoes the failed statement alone. A
// probe that ran whole is kept.
TEST_P(RdaConnectionTest, AModeProbeCutShortIsAskedAgain) {
  if (!isPostgres()) GTEST_SKIP() << "a server driver's mode";
  createTables();
  const std::string missing = "SELECT X FROM " + table("MISSING");
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  {
    // The refused query is prepared first, the probe's read second. Where
    // the server aborts the transaction until its rollback (Protocol=7.4-0)
    // the probe's savepoint is refused before it reads.
    DriverFault probeRead(DacFault::kPrepare, 2);
    EXPECT_EQ(rda_->paramSelect(missing, 0), nullptr);
    EXPECT_EQ(DriverFault::fired(), postgresUndoesFailedStatementsAlone() ||
                                        postgresFailuresEndTransactions());
  }
  rda_->endTransaction(false);
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "before"));
  EXPECT_EQ(rda_->paramSelect(missing, 0), nullptr);
  addAndCommitAfterFailure(why());
  // That probe ran whole: its answer is kept, and a later refusal asks
  // nothing (it prepares its own query alone).
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  {
    DriverFault counting(DacFault::kPrepare, 0);
    EXPECT_EQ(rda_->paramSelect(missing, 0), nullptr);
    EXPECT_EQ(DriverFault::seen(), 1);
  }
  rda_->endTransaction(false);
}

// A failed query inside the host's transaction: wherever the database or
// its driver undoes only the query, the transaction goes on and commits
// both adds; wherever the transaction went with it (a server's driver that
// rolls the whole transaction back and begins a new one unasked), no later
// call and no end says otherwise, and nothing is stored.
TEST_P(RdaConnectionTest, AnEndAnswersTrueOnlyWhenEveryAddIsStored) {
  createTables();
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "before"));
  EXPECT_EQ(rda_->paramSelect("SELECT X FROM " + table("MISSING"), 0),
            nullptr);
  const std::string reason = why();
  addAndCommitAfterFailure(reason);
}

// An outermost end right after the failed statement of a transaction the
// database ended: a commit answers that the transaction is lost and logs it
// once; a rollback keeps the statement's own reason and logs nothing. Each
// lost transaction on the connection is logged on its own. Where the
// failure ends nothing, both ends answer as usual and nothing is logged.
TEST_P(RdaConnectionTest, AnEndRightAfterTheFailureThatLostItLogsOnlyACommit) {
  createTables();
  // The server aborts the transaction (7.4-0) or the driver rolls it back
  // (7.4-1); the driver's default mode undoes the failed statement alone.
  const bool lost = isPostgres() && !postgresUndoesFailedStatementsAlone();
  LogCapture log;
  const auto warnings = [&] {
    int n = 0;
    for (const CapturedLog& r : log.records()) n += r.level == kLogWarning;
    return n;
  };
  for (const bool commit : {true, false, true}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
    EXPECT_EQ(rda_->paramSelect("SELECT X FROM " + table("MISSING"), 0),
              nullptr);
    const std::string reason = why();
    const int before = warnings();
    EXPECT_EQ(rda_->endTransaction(commit), !lost) << why();
    EXPECT_EQ(warnings() - before, commit && lost ? 1 : 0);
    EXPECT_FALSE(rda_->inTransaction());
    const std::string lostText =
        "The transaction was rolled back by the database: " + reason;
    if (lost) {
      EXPECT_EQ(why(), commit ? lostText : reason);
    }
  }
}

// The same with a query whose error comes while its rows are read, after
// it ran: on PostgreSQL the driver reads them through a server cursor, two
// at a time. Where the driver rolls the whole transaction back
// (Protocol=7.4-1) the add and the end say so and nothing is stored; where
// the server aborts it (7.4-0) the end fails too; the driver's default
// mode undoes the failed read alone, and SQLite fails the row alone (an
// integer overflow), so there both adds are stored.
TEST_P(RdaConnectionTest, AFailedReadOfARowStoresAllOrNothing) {
  createTables();
  if (isPostgres()) {
    ASSERT_NO_FATAL_FAILURE(reopenFetching(2));
  }
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "before"));
  ReposDataAccessCursor* cursor = rda_->paramSelect(
      isPostgres() ? "SELECT 1/(5-g) FROM generate_series(1,10) g"
                   : "WITH RECURSIVE s(g) AS (SELECT 1 UNION ALL SELECT g + 1 "
                     "FROM s WHERE g < 10) SELECT abs(CASE g WHEN 5 THEN "
                     "-9223372036854775807 - 1 ELSE g END) FROM s",
      0);
  ASSERT_NE(cursor, nullptr) << why();
  int step;
  while ((step = cursor->next()) == 1) {
  }
  cursor->release();
  EXPECT_EQ(step, 2);
  const std::string reason = why();
  addAndCommitAfterFailure(reason);
}

TEST_P(RdaConnectionTest, IdBlocksAreConsecutiveAndDisjointUnderThreads) {
  KvbDatavar first(99);
  KvbString error;
  // Without UCURID the draw fails and leaves no transaction behind.
  EXPECT_FALSE(rda_->getNextIDs("FOLDER", 2, first, &error));
  EXPECT_FALSE(error.isEmpty());
  EXPECT_TRUE(first.isNull());
  EXPECT_FALSE(rda_->inTransaction());

  createTables();
  // {count, first id}: a count below 1 draws one id; the last row draws
  // through getNextID.
  for (auto [n, want] : {std::pair{5, 1}, {3, 6}, {0, 9}, {-7, 10}, {0, 11}}) {
    ASSERT_TRUE(want == 11 ? rda_->getNextID("FOLDER", first)
                           : rda_->getNextIDs("FOLDER", n, first, &error));
    EXPECT_EQ(first.asInt(), want) << n;
  }
  ASSERT_TRUE(rda_->getNextID("RULE", first));
  EXPECT_EQ(first.asInt(), 1) << "each counter counts on its own";

  // Two threads draw 200 blocks of 3 ids at once, first on two connections,
  // then sharing one: no id comes twice and one counter row holds the last.
  ReposDataAccess *a = open(), *b = open();
  ASSERT_TRUE(a && b);
  std::set<int> all;
  for (auto [x, y] : {std::pair{a, b}, {rda_, rda_}}) {
    std::atomic<bool> go{false};
    std::vector<int> ids[2];
    auto draw = [&](ReposDataAccess* c, int t) {
      while (!go.load()) std::this_thread::yield();
      KvbDatavar from;
      KvbString text;
      for (int i = 0; i < 200 && c->getNextIDs("JOB", 3, from, &text); ++i)
        for (int k = 0; k < 3; ++k) ids[t].push_back(from.asInt() + k);
      EXPECT_EQ(text.str(), "");
    };
    std::thread one(draw, x, 0), two(draw, y, 1);
    go = true;
    one.join();
    two.join();
    for (const std::vector<int>& v : ids) all.insert(v.begin(), v.end());
  }
  a->release();
  b->release();
  EXPECT_EQ(all.size(), 2400u) << "missing draws or an id given twice";
  EXPECT_EQ(
      select("SELECT NI_VAL FROM " + table("UCURID") + " WHERE NI_KEY = 'JOB'"),
      std::vector<std::string>{"2400"});
}

// Two connections create the same new counter at once, the second inside
// a transaction of its own: it waits for the first, then raises the counter
// that the first made, and its transaction goes on.
TEST_P(RdaConnectionTest, ANewCounterMadeTwiceAtOnceCountsOn) {
  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  KvbDatavar mine, theirs;
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->getNextID("NEWKEY", mine)) << why();
  EXPECT_EQ(whileCommitting(other,
                            [&] {
                              return other->getNextID("NEWKEY", theirs) &&
                                     addFolder(other, 7, "after");
                            }),
            "");
  EXPECT_EQ(mine.asInt(), 1);
  EXPECT_EQ(theirs.asInt(), 2);
  EXPECT_EQ(folders(rda_, 7), 1);
  other->release();
}

// The insert of a new counter that loses its race to another connection
// fails, and only it is undone (rolled back to its savepoint): the loser
// raises the counter that the winner made, whether it draws in a
// transaction of its own or inside one whose work before and after the
// draw stays. On PostgreSQL the losing insert skips the key instead, so
// that no statement fails at all (the loser records no failure): with a
// driver that rolls the whole transaction back at a refused statement, a
// failure would undo the work before the draw.
TEST_P(RdaConnectionTest, ACounterInsertThatLosesItsRaceUndoesOnlyItself) {
  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  // What the connection answers before anything has failed on it.
  const std::string noFailure = other->getErrorMessage().str();
  KvbDatavar mine, theirs;
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->getNextIDs("ALONE", 3, mine, nullptr)) << why();
  EXPECT_EQ(whileCommitting(
                other, [&] { return other->getNextID("ALONE", theirs); }, true),
            "");
  EXPECT_EQ(theirs.asInt(), 4);

  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(rda_->getNextID("INSIDE", mine)) << why();
  EXPECT_EQ(whileCommitting(other,
                            [&] {
                              return addFolder(other, 8, "before") &&
                                     other->getNextIDs("INSIDE", 2, theirs,
                                                       nullptr) &&
                                     addFolder(other, 9, "after");
                            }),
            "");
  if (isPostgres()) {
    EXPECT_EQ(other->getErrorMessage().str(), noFailure);
  }
  EXPECT_EQ(theirs.asInt(), 2);
  EXPECT_EQ(folders(rda_, 8), 1);
  EXPECT_EQ(folders(rda_, 9), 1);
  EXPECT_EQ(select("SELECT NI_KEY, NI_VAL FROM " + table("UCURID") +
                   " WHERE NI_KEY IN ('ALONE', 'INSIDE') ORDER BY NI_KEY"),
            (std::vector<std::string>{"ALONE|4", "INSIDE|3"}));
  other->release();
}

// A writer that reads before it writes waits while another connection
// holds a write transaction, instead of failing at once; past the busy
// timeout ("SQLITE/BUSY_TIMEOUT", in milliseconds) it fails with the reason.
TEST_P(RdaConnectionTest, WritersWaitForEachOtherThenGiveUpWithAReason) {
  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 1, "first"));
  EXPECT_EQ(whileCommitting(other,
                            [&] {
                              return folders(other, 2) == 0 &&
                                     addFolder(other, 2, "second");
                            }),
            "");
  other->release();
  if (isPostgres()) return;

  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
  ReposDataAccess* impatient = open();
  kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
  ASSERT_NE(impatient, nullptr);
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  ASSERT_TRUE(addFolder(rda_, 3, "held"));
  EXPECT_FALSE(impatient->beginTransaction(false, nullptr) &&
               addFolder(impatient, 4, "late"));
  EXPECT_NE(impatient->getErrorMessage().str().find("database is locked"),
            std::string::npos)
      << impatient->getErrorMessage().str();
  impatient->endTransaction(false);  // also after a failed begin
  EXPECT_FALSE(impatient->inTransaction());
  EXPECT_TRUE(rda_->endTransaction(true)) << why();

  // A caller that asks to be told of a busy database gets nothing open to
  // end: it may simply try again later.
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  bool busy = false;
  EXPECT_FALSE(impatient->beginTransaction(true, &busy));
  EXPECT_TRUE(busy);
  EXPECT_FALSE(impatient->inTransaction());
  EXPECT_TRUE(rda_->endTransaction(true)) << why();
  ASSERT_TRUE(impatient->beginTransaction(true, &busy))
      << impatient->getErrorMessage().str();
  EXPECT_FALSE(busy);
  EXPECT_TRUE(addFolder(impatient, 5, "at last"));
  EXPECT_TRUE(impatient->endTransaction(true));
  EXPECT_EQ(folders(rda_, 5), 1);
  impatient->release();
}

TEST_P(RdaConnectionTest, LongTextsRoundTripByteForByte) {
  createTables();
  const int limit = rda_->getMaxTextLength();
  KvbString marker("untouched");
  EXPECT_FALSE(
      rda_->writeLongText(std::string(limit, 'a').c_str(), &marker, 0));
  EXPECT_EQ(marker.str(), "untouched");

  // 9-byte groups after one ASCII byte put byte 32000 inside a character.
  std::string text = "x";
  while (text.size() < 70000) text += "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  ASSERT_EQ(static_cast<unsigned char>(text[32000]) & 0xC0, 0x80);
  ASSERT_TRUE(rda_->writeLongText(text.c_str(), &marker, 0)) << why();
  EXPECT_LT(marker.length(), 100u);
  // Three pieces, each fits a column and starts on a character.
  const std::vector<std::string> pieces =
      select("SELECT BS_TEXT FROM " + table("BIGSTR") + " ORDER BY BS_SEQ");
  EXPECT_EQ(pieces.size(), 3u);
  for (const std::string& piece : pieces)
    EXPECT_TRUE(!piece.empty() && piece.size() <= static_cast<size_t>(limit) &&
                (static_cast<unsigned char>(piece[0]) & 0xC0) != 0x80)
        << piece.size();

  // Another connection reads it whole; a non-marker text comes back as is.
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  KvbString full, plain;
  ASSERT_TRUE(other->readLongText(marker, &full, 0));
  EXPECT_TRUE(full.str() == text) << "read back " << full.length() << " bytes";
  ASSERT_TRUE(other->readLongText("O'Brien \xE2\x82\xAC", &plain, 0));
  EXPECT_EQ(plain.str(), "O'Brien \xE2\x82\xAC");
  // The same marker shape with an id that names nothing.
  const std::string missing =
      std::regex_replace(marker.str(), std::regex("[0-9]+"), "987654");
  EXPECT_FALSE(other->readLongText(missing.c_str(), &plain, 0));
  EXPECT_FALSE(other->getErrorMessage().isEmpty());
  other->release();
}

// Only the exact text of a marker the connection writes names a long text:
// a stored value that merely begins like one is a value of its own, even
// when its digits would name a stored long text once read loosely.
TEST_P(RdaConnectionTest, ValuesThatOnlyBeginLikeAMarkerReadBackAsThemselves) {
  createTables();
  KvbString marker;
  ASSERT_TRUE(rda_->writeLongText(
      std::string(rda_->getMaxTextLength() + 1, 'a').c_str(), &marker, 0))
      << why();
  const std::string m = marker.str();
  const size_t digits = m.find_first_of("0123456789");
  const std::string head = m.substr(0, digits), id = m.substr(digits, 1);
  ASSERT_EQ(m, head + id + "_~_") << "a long text of id 1";
  for (const std::string& value :
       {head, head + id, m + " and more", head + "0" + id + "_~_",
        head + "+" + id + "_~_", head + "-" + id + "_~_",
        head + "4294967297_~_"}) {
    KvbString read;
    ASSERT_TRUE(rda_->readLongText(value.c_str(), &read, 0)) << value;
    EXPECT_TRUE(read.str() == value) << value << " read as a long text";
  }
}

TEST_P(RdaConnectionTest, ValuesBindReadBackAndCountRows) {
  createTables();
  const KvbString note = "It's \"quoted\" \xC3\xBC\xE2\x80\x93\xE6\xBC\xA2";
  KvbDatavar id(1), fld(2147483647), text(note), date(45123.625);
  KvbDatavar noUser = KvbDatavar::nullOf(kvbTypeString);
  KvbDatavar noCategory = KvbDatavar::nullOf(kvbTypeInt);
  ASSERT_TRUE(rda_->paramExec("INSERT INTO " + table("FLDNOT") +
                                  " (FN_ID, FLD_ID, FN_NOTE, FN_USER, "
                                  "FN_DATE, NCAT_ID) VALUES (?, ?, ?, ?, ?, ?)",
                              nullptr, 6, &id, &fld, &text, &noUser, &date,
                              &noCategory))
      << why();
  // The nulls must arrive as nulls, not as empty texts or zeros.
  EXPECT_EQ(rows(rda_->paramSelect(
                "SELECT FLD_ID, FN_NOTE, FN_DATE, CASE WHEN FN_USER IS NULL "
                "AND NCAT_ID IS NULL THEN 'nulls' END FROM " +
                    table("FLDNOT") + " WHERE FN_NOTE = ?",
                1, &text)),
            std::vector<std::string>{"2147483647|" + note.str() +
                                     "|45123.625|nulls"});
  // A 64-bit value that a 32-bit binding would wrap to 1.
  KvbDatavar big(static_cast<int64_t>(4294967297LL));
  EXPECT_EQ(rows(rda_->paramSelect("SELECT CAST(? AS BIGINT)", 1, &big)),
            std::vector<std::string>{"4294967297"});

  // Declared marker types convert the values bound to them.
  KvbDatavar textId("12"), numberName(34), realParent(5.0), norm("n'b");
  ASSERT_TRUE(rda_->paramExecWTypes(
      "INSERT INTO " + table("FOLDER") +
          " (FLDR_ID, FLDR_NAM, FLDR_PAR, NAM_NORM) VALUES (?, ?, ?, ?)",
      nullptr, "ISIS", 4, &textId, &numberName, &realParent, &norm))
      << why();
  EXPECT_EQ(select("SELECT FLDR_ID, FLDR_NAM, FLDR_PAR, NAM_NORM FROM " +
                   table("FOLDER")),
            std::vector<std::string>{"12|34|5|n'b"});

  // An UPDATE counts the rows it changed; a singleton needs a row.
  for (int i = 1; i <= 4; ++i) ASSERT_TRUE(addFolder(rda_, i, "f"));
  KvbDatavar parent(9), from(2), none(100), four(4);
  int n = -1;
  ASSERT_TRUE(rda_->paramExec(
      "UPDATE " + table("FOLDER") + " SET FLDR_PAR = ? WHERE FLDR_ID > ?", &n,
      2, &parent, &from));
  EXPECT_EQ(n, 3);
  const KvbString query =
      "SELECT FLDR_PAR FROM " + table("FOLDER") + " WHERE FLDR_ID = ?";
  n = -77;
  EXPECT_FALSE(rda_->paramSingleton(query, &n, 1, &none));
  EXPECT_EQ(n, -77);
  EXPECT_EQ(why(), libraryMessage(1053));
  ASSERT_TRUE(rda_->paramSingleton(query, &n, 1, &four));
  EXPECT_EQ(n, 9);
}

TEST_P(RdaConnectionTest, PreparedStatementsAndCachedCursors) {
  createTables();
  ReposDataAccessStatement* s = rda_->createStatement(
      "INSERT INTO " + table("FOLDER") + " (FLDR_ID, FLDR_NAM) VALUES (?, ?)");
  ASSERT_NE(s, nullptr) << why();
  s->setParameterInfo(0, kvbTypeInt, 0);
  s->setParameterInfo(1, kvbTypeString, 255);
  for (int i = 1; i <= 51; ++i) {  // row 51 keeps the name bound for row 50
    ASSERT_TRUE(s->setParameter(0, KvbDatavar(i)));
    ASSERT_TRUE(i > 50 ||
                s->setParameter(1, KvbDatavar(kvbStringFormat("n%d", i))));
    ASSERT_TRUE(s->execute()) << s->getErrorMessage().asCstr();
  }
  s->release();
  s = rda_->createStatement("SELECT FLDR_NAM FROM " + table("FOLDER") +
                            " WHERE FLDR_ID >= ? ORDER BY FLDR_ID");
  ASSERT_TRUE(s && s->setParameter(0, KvbDatavar(49)));
  ReposDataAccessCursor* c = s->select();
  s->release();  // the cursor outlives its statement
  EXPECT_EQ(rows(c), (std::vector<std::string>{"n49", "n50", "n50"}));

  // A cached cursor lets other statements run while it is read.
  c = rda_->paramSelect("SELECT FLDR_ID FROM " + table("FOLDER") +
                            " WHERE FLDR_ID > 48 ORDER BY FLDR_ID",
                        0);
  ASSERT_TRUE(c && c->cacheAll());
  std::vector<int> seen;
  while (c->next() == 1) {
    seen.push_back(c->getInt(0));
    ASSERT_TRUE(addFolder(rda_, 100 + seen.back(), "new")) << why();
  }
  c->release();
  EXPECT_EQ(seen, (std::vector<int>{49, 50, 51})) << "read added rows";
}

// Many rows, read as they stream and after cacheAll(): each getter gives
// its row's value, long texts whole, and through the data-access library a
// null keeps its column's type.
TEST_P(RdaConnectionTest, CursorsReadEveryRowsValuesAndTypedNulls) {
  createTables();
  auto note = [](int k) {
    return k % 4 == 0 ? std::string(3000, 'n') + std::to_string(k)
                      : "note " + std::to_string(k);
  };
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr));
  for (int k = 1; k <= 150; ++k) {
    KvbDatavar id(k), field(k * 10), text(note(k).c_str()),
        user = k % 2 ? KvbDatavar("u") : KvbDatavar::nullOf(kvbTypeString),
        date = k % 3 ? KvbDatavar(k + 0.5) : KvbDatavar::nullOf(kvbTypeReal);
    ASSERT_TRUE(rda_->paramExec("INSERT INTO " + table("FLDNOT") +
                                    " (FN_ID, FLD_ID, FN_NOTE, FN_USER, "
                                    "FN_DATE) VALUES (?, ?, ?, ?, ?)",
                                nullptr, 5, &id, &field, &text, &user, &date))
        << why();
  }
  ASSERT_TRUE(rda_->endTransaction(true)) << why();
  for (const bool cached : {false, true}) {
    ReposDataAccessCursor* c = rda_->paramSelect(
        "SELECT FN_ID, FLD_ID, FN_NOTE, FN_USER, FN_DATE FROM " +
            table("FLDNOT") + " ORDER BY FN_ID",
        0);
    ASSERT_TRUE(c && (!cached || c->cacheAll())) << why();
    int k = 0;
    while (c->next() == 1) {
      ++k;
      EXPECT_EQ(c->getDouble(4), k % 3 ? k + 0.5 : 0.0) << k;
      EXPECT_EQ(c->getString(3).str(), k % 2 ? "u" : "") << k;
      EXPECT_EQ(c->isNull(3), k % 2 == 0) << k;
      EXPECT_TRUE(c->getString(2).str() == note(k)) << k;
      EXPECT_EQ(c->getInt(1), k * 10);
      EXPECT_EQ(c->getValue(0).getType(), kvbTypeInt);
      if (!isFile() && k % 6 == 0) {
        EXPECT_EQ(c->getValue(3).getType(), kvbTypeString) << k;
        EXPECT_EQ(c->getValue(4).getType(), kvbTypeReal) << k;
      }
    }
    EXPECT_EQ(k, 150) << why();
    c->release();
  }
}

TEST_P(RdaConnectionTest, NamesFollowPrefixSchemaAndQuote) {
  const std::string q = rda_->getIdentifierQuote().str();
  KvbString prefix, error;
  EXPECT_FALSE(rda_->getTablePrefix(true, nullptr, &error));
  EXPECT_FALSE(error.isEmpty());
  // PostgreSQL and the file route offer no quote (the latter quotes anyway).
  EXPECT_TRUE(q.empty() || !(isPostgres() || isFile())) << q;
  if (isPostgres()) {
    ASSERT_TRUE(rda_->getTablePrefix(true, &prefix, nullptr));
    EXPECT_EQ(prefix.str(), "kv");
    EXPECT_EQ(rda_->getSchemaName().str(), schema_);
    EXPECT_EQ(rda_->getTableName("HSM", true, 12).str(), schema_ + ".kvHSM12");
    EXPECT_EQ(rda_->getIndexName(7, "ab").str(), "kvidxab7");
    return;
  }
  EXPECT_EQ(rda_->getSchemaName().str(), "");
  EXPECT_EQ(rda_->getTableName("HSM", false, 0).str(), "HSM0");
  EXPECT_EQ(rda_->getIndexName(7, "ab").str(), "idxab7");
  EXPECT_EQ(table("FOLDER"), isFile() ? "\"FOLDER\"" : q + "FOLDER" + q);
}

TEST_P(RdaConnectionTest, ColumnListsAndCursorNamesMatchTheTables) {
  const std::string fld = rda_->getColumnList("FLD", nullptr).str();
  EXPECT_TRUE(std::regex_match(
      fld, std::regex("DSN_ID, TBL_ID, FLD_ID, FLD_TYPE, FLD_NAME, MET_0, "
                      "MET_1, .*, MET_23, DOM_ID, RDACFGID")))
      << fld;
  EXPECT_EQ(rda_->getColumnList("FLD", "f").str(),
            std::regex_replace(fld, std::regex("(^|, )"), "$1f."));
  EXPECT_EQ(rda_->getColumnList("NOSUCH", nullptr).str(), "*");
  EXPECT_EQ(rda_->getColumnList("NOSUCH", "o").str(), "o.*");

  // Cursors name the columns upper case, whatever case the database keeps,
  // and in the order of the lists.
  createTables();
  for (const char* code : {"FLD", "FOLDER"}) {
    ReposDataAccessCursor* c =
        rda_->paramSelect("SELECT * FROM " + table(code), 0);
    ASSERT_NE(c, nullptr) << why();
    std::string names;
    for (int i = 0; i < c->getNumCols(); ++i)
      names += (i ? ", " : "") + c->getColName(i).str();
    EXPECT_EQ(names, rda_->getColumnList(code, nullptr).str());
    EXPECT_EQ(c->getColumnIndex("fld_name"), code[1] == 'L' ? 4 : -1);
    c->release();
  }
}

TEST_P(RdaConnectionTest, FailuresLeaveTheirReason) {
  createTables();
  EXPECT_EQ(rda_->paramSelect("SELECT a FROM no_such_table_q", 0), nullptr);
  const std::string missing = why();
  EXPECT_NE(missing.find("no_such_table_q"), std::string::npos) << missing;
  EXPECT_FALSE(rda_->paramExec("INSRT INTO " + table("FOLDER") + " VALUES (1)",
                               nullptr, 0));
  const std::string syntax = why();
  EXPECT_NE(syntax.find("INSRT"), std::string::npos) << syntax;
  const std::regex sqlState(R"(\[[0-9A-Z]{5}\])");
  for (const std::string& text : {missing, syntax})
    EXPECT_TRUE(!isPostgres() || std::regex_search(text, sqlState)) << text;

  // A duplicate key fails the statement and leaves the connection usable.
  ASSERT_TRUE(addFolder(rda_, 1, "a"));
  ReposDataAccessStatement* s = rda_->createStatement(
      "INSERT INTO " + table("FOLDER") + " (FLDR_ID) VALUES (?)");
  ASSERT_TRUE(s && s->setParameter(0, KvbDatavar(1)));
  EXPECT_FALSE(s->execute());
  EXPECT_FALSE(s->getErrorMessage().isEmpty());
  s->release();
  EXPECT_TRUE(addFolder(rda_, 2, "c")) << why();
}

TEST_P(RdaConnectionTest, OpeningRefusesHostilePrefixesKindsAndMissingFiles) {
  // The file route takes no prefix at all; the other routes refuse hostile
  // ones, naming them.
  const std::string where = location();
  for (const char* prefix : {"kv; DROP TABLE x", "a.b.c", "1abc", "a b", ".kv",
                             "kv.", "kv\"x", "a-b", "sch_1.pre_2"}) {
    KvbString error;
    ReposDataAccess* c =
        createReposDataAccess(factoryKind(), where, prefix, nullptr, error);
    const bool good = isFile() || std::string(prefix) == "sch_1.pre_2";
    EXPECT_EQ(c != nullptr, good) << prefix << ": " << error.asCstr();
    EXPECT_TRUE(good || error.find(prefix) != KvbString::npos)
        << error.asCstr();
    if (!c) continue;
    EXPECT_EQ(c->getTableName("INFO", false, -1).str(),
              (isFile() ? "" : prefix) + std::string("INFO"));
    c->release();
  }
  // Unknown kinds fail; kind 2 opens only an existing file and creates none.
  TempDir dir;
  const std::string missing = dir.file("missing.db");
  const std::string existing = isPostgres() ? missing : file_;
  for (auto [kind, path] : {std::pair{3, file_}, {-1, file_}, {2, missing}}) {
    KvbString error;
    ReposDataAccess* c =
        createReposDataAccess(kind, path.c_str(), "", nullptr, error);
    EXPECT_EQ(c, nullptr) << kind;
    EXPECT_FALSE(error.isEmpty());
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
  KvbString error;
  ReposDataAccess* c = createReposDataAccess(2, existing, "", nullptr, error);
  EXPECT_EQ(c != nullptr, !isPostgres()) << error.asCstr();
  if (c) c->release();
}

TEST_P(RdaConnectionTest, RepositoryUuidComesFromTheInfoRow) {
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  createTables();
  KvbDatavar ncoa("NCOA"), type("KVREPOSITORY"), version(7);
  KvbDatavar wrong("not-this-one"),
      uuid("3f2c9a7e-0000-4b1d-9c3e-5a6b7c8d9e0f");
  const KvbString insert = "INSERT INTO " + table("INFO") +
                           " (I_TYPE, I_VERS, I_UUID) VALUES (?, ?, ?)";
  ASSERT_TRUE(rda_->paramExec(insert, nullptr, 3, &ncoa, &version, &wrong));
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "") << "another type's row";
  ASSERT_TRUE(rda_->paramExec(insert, nullptr, 3, &type, &version, &uuid));
  EXPECT_EQ(rda_->getRepositoryUUID().str(), uuid.asString().str());
}

// Reading the UUID is no failure of the thread when the read finds a row or
// none: an end without a begin still answers as on a connection where the
// thread never failed, and after a failure as after one. A read that fails
// (no INFO table) is the thread's failure, with the read's reason.
TEST_P(RdaConnectionTest, AUuidReadFailsTheThreadOnlyWhenTheReadFails) {
  createTables();
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");  // no row
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_EQ(why(), libraryMessage(1065));
  EXPECT_EQ(rda_->paramSelect("SELECT * FROM kv_absent", 0), nullptr);
  const std::string failure = why();
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  EXPECT_EQ(why(), failure);
  exec("DROP TABLE " + table("INFO"));  // the read itself fails now
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  EXPECT_NE(why(), failure);
  EXPECT_NE(KvbString(why().c_str()).toUpper().find("INFO"), KvbString::npos)
      << why();
  EXPECT_FALSE(rda_->endTransaction(true));
  EXPECT_EQ(why(), libraryMessage(1068));
}

// Inside the host's transaction the id is read at a savepoint of its own. A
// read that fails (INFO is gone) answers no id and is undone back to that
// savepoint, so the transaction goes on and commits the work around it, also
// on a server where a failed statement aborts the whole transaction.
TEST_P(RdaConnectionTest, AFailedUuidReadLeavesTheHostTransactionUsable) {
  createTables();
  exec("DROP TABLE " + table("INFO"));
  ASSERT_TRUE(rda_->beginTransaction(false, nullptr)) << why();
  EXPECT_TRUE(addFolder(rda_, 1, "before")) << why();
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  // This driver mode rolls the whole transaction back at the failed read.
  const bool lost = isPostgres() && postgresFailuresEndTransactions();
  EXPECT_EQ(addFolder(rda_, 2, "after"), !lost) << why();
  if (lost) {
    EXPECT_TRUE(isRolledBackByTheDatabase(why())) << why();
  }
  EXPECT_EQ(rda_->endTransaction(true), !lost) << why();
  if (lost) {
    EXPECT_TRUE(isRolledBackByTheDatabase(why())) << why();
  }
  EXPECT_FALSE(rda_->inTransaction());
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(folders(other, 1) + folders(other, 2), lost ? 0 : 2);
  other->release();
}

// A session lost between the UUID's query and the fetch of its row: the
// driver reads the rows through a server cursor, one at a time, and INFO
// has become a view whose row ends the session that fetches it. The read
// answers no UUID and says the connection was lost.
TEST_P(RdaConnectionTest, AUuidWhoseRowCannotBeFetchedIsAFailure) {
  if (!isPostgres()) GTEST_SKIP() << "a server session that can be lost";
  createTables();
  ASSERT_NO_FATAL_FAILURE(reopenFetching(1));
  const std::string uuid = "3f2c9a7e-0000-4b1d-9c3e-5a6b7c8d9e0f";
  exec("INSERT INTO " + table("INFO") + " (I_TYPE, I_VERS, I_UUID) VALUES " +
           "(?, ?, ?)",
       {KvbString("KVREPOSITORY"), 7, KvbString(uuid.c_str())});
  ASSERT_EQ(rda_->getRepositoryUUID().str(), uuid);
  const std::string info = table("INFO"), kept = table("INFO") + "_kept";
  exec("ALTER TABLE " + info + " RENAME TO " + kept.substr(kept.rfind('.') + 1));
  exec("CREATE VIEW " + info + " AS SELECT I_TYPE, CASE WHEN " +
       "pg_terminate_backend(pg_backend_pid()) THEN I_UUID END AS I_UUID " +
       "FROM " + kept);
  EXPECT_EQ(rda_->getRepositoryUUID().str(), "");
  EXPECT_NE(why().find("The connection to the database was lost"),
            std::string::npos)
      << why();
}

// A database cursor keeps its connection open after the connection's owner
// has given it up; the cursor's release closes it.
TEST_P(RdaConnectionTest, CursorOutlivesTheReleaseOfItsConnection) {
  createTables();
  ReposDataAccess* other = open();
  ASSERT_NE(other, nullptr);
  ASSERT_TRUE(addFolder(other, 7, "Kept")) << other->getErrorMessage().str();
  ReposDataAccessCursor* cursor = other->paramSelect(
      "SELECT FLDR_NAM FROM " + table("FOLDER") + " WHERE FLDR_ID = 7", 0);
  ASSERT_NE(cursor, nullptr) << other->getErrorMessage().str();
  other->release();
  ASSERT_EQ(cursor->next(), 1);
  EXPECT_EQ(cursor->getString(0), KvbString("Kept"));
  cursor->release();
}

INSTANTIATE_RDA_TARGETS(RdaConnectionTest);

}  // namespace
