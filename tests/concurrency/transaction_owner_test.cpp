// A transaction belongs to the thread and the data-access object that began
// it: a host that forgets to end one, ends it on another thread or releases
// what it used gets errors and rollbacks, never a hang, lost rows, or
// another thread's work inside its transaction. Also run under
// ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <pthread.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "access/held_repository.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/monitor_data_access.h"
#include "schema/log_printf.h"
#include "support/admin_targets.h"
#include "support/holding_thread.h"
#include "support/lock_seam.h"
#include "support/log_capture.h"
#include "support/open_files.h"

namespace {

using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::string>;

// Begins a transaction on `m` and adds the task `name` on a thread that
// then ends with the transaction open.
void endThreadInTransaction(MonitorRepositoryDataAccess* m, const char* name) {
  std::thread([&] {
    ASSERT_TRUE(m->beginTransaction(1, 0));
    ASSERT_TRUE(addTask(m, name));
  }).join();
}

// What a host keeps per thread: its destructor runs `atExit` as the thread
// ends, after the thread's other thread_locals are gone.
struct HostThreadLocal {
  std::function<void()> atExit;
  ~HostThreadLocal() {
    if (atExit) atExit();
  }
};
thread_local HostThreadLocal hostThreadLocal;

// A host's POSIX thread-specific key, set on one thread, whose destructor
// runs `atExit` as that thread ends, in destructor round `round` (1 to 4:
// each earlier round sets the key again).
class HostKey {
 public:
  HostKey(int round, std::function<void()> atExit)
      : round_(round), atExit_(std::move(atExit)) {
    pthread_key_create(&key_, &HostKey::destroy);
  }
  ~HostKey() { pthread_key_delete(key_); }
  void setOnThisThread() { pthread_setspecific(key_, this); }

 private:
  static void destroy(void* value) {
    auto* self = static_cast<HostKey*>(value);
    if (++self->rounds_ < self->round_)
      pthread_setspecific(self->key_, self);
    else
      self->atExit_();
  }
  pthread_key_t key_;
  const int round_;
  int rounds_ = 0;
  std::function<void()> atExit_;
};

// Whether the test runs under the thread sanitizer.
constexpr bool underThreadSanitizer() {
#if defined(__SANITIZE_THREAD__)
  return true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

// The texts of an end that finds no transaction open.
bool noTransaction(const std::string& text) {
  return text == "There is no open transaction to end." ||
         text == "The transaction cannot be ended because none is open.";
}

class TransactionOwnerTest : public OpenRepositoryTest {
 protected:
  TransactionOwnerTest() : OpenRepositoryTest("400") {}
  MonitorRepositoryDataAccess* monitor() {
    return repository_->createMonitorDataAccess();
  }
  // The task names as a fresh connection of the repository sees them.
  Rows taskNames() {
    RepositoryImpl* other = open(db_);
    if (!other) return {"cannot open: " + error()};
    ReposDataAccess* rda = other->getDataAccess();
    Rows names = sortedRows(cursorRows(rda->paramSelect(
        "SELECT JB_DESC FROM " + rda->getTableName("MJOB", true, -1), 0)));
    other->release();
    return names;
  }

  // How many records of `level` contain `text`.
  size_t records(const std::string& text, int level) {
    size_t n = 0;
    for (const CapturedLog& r : log_.records())
      n += r.level == level && r.text.find(text) != std::string::npos;
    return n;
  }

  LogCapture log_;
  LockSeam seam_;
};

// A thread that ends inside its transaction takes it with it: the next
// thread (which may get the same stack) runs outside it, and its row stays.
TEST_P(TransactionOwnerTest, AThreadsTransactionEndsWithTheThread) {
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  endThreadInTransaction(m1, "a");
  bool added = false;
  std::thread([&] { added = addTask(m2, "b"); }).join();
  EXPECT_TRUE(added) << m2->getErrorMessage().str();
  EXPECT_TRUE(log_.contains("A thread ended while its transaction was open",
                            kLogWarning));
  m1->release();
  m2->release();
  EXPECT_EQ(taskNames(), Rows{"b"});
}

// While another thread holds a transaction, a call gives up after the busy
// timeout with a text that says so, an end is refused at once, and both
// work again once the holder has ended it.
TEST_P(TransactionOwnerTest, OtherThreadsGiveUpAfterTheBusyTimeout) {
  MonitorRepositoryDataAccess* mine = monitor();
  MonitorRepositoryDataAccess* theirs = monitor();
  std::promise<void> begun, end;
  std::thread holder([&] {
    EXPECT_TRUE(mine->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(mine, "held"));
    begun.set_value();
    end.get_future().wait();
    EXPECT_TRUE(mine->endTransaction(true)) << mine->getErrorMessage().str();
  });
  begun.get_future().wait();
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(addTask(theirs, "waiting"));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(350));
  EXPECT_NE(theirs->getErrorMessage().str().find(
                "Another thread of this process has held a transaction"),
            std::string::npos)
      << theirs->getErrorMessage().str();
  EXPECT_EQ(theirs->listTasks(), nullptr);  // reads wait as long
  EXPECT_FALSE(theirs->endTransaction(true));
  EXPECT_EQ(theirs->getErrorMessage().str(),
            "The transaction was begun on another thread; only that thread "
            "can end it");
  end.set_value();
  holder.join();
  EXPECT_TRUE(addTask(theirs, "after")) << theirs->getErrorMessage().str();
  mine->release();
  theirs->release();
  EXPECT_EQ(taskNames(), (Rows{"after", "held"}));
}

// Releasing the object that began a transaction rolls it back and frees the
// connection: on the thread that holds it at once, on another thread at the
// holder's next call, and with the repository's last release in any case.
// A release that waited would wait the busy timeout of 20 s.
TEST_P(TransactionOwnerTest, ATransactionEndsWithTheObjectThatBeganIt) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  ASSERT_TRUE(m1->beginTransaction(1, 0));
  ASSERT_TRUE(addTask(m1, "dropped"));
  m1->release();
  MonitorRepositoryDataAccess* m2 = monitor();
  std::thread([&] { EXPECT_TRUE(addTask(m2, "kept")); }).join();
  EXPECT_FALSE(m2->endTransaction(true)) << "no transaction is left to end";

  // Begun on a thread that stays, released here: the release returns at
  // once, and the holder's transaction is lost until its outermost end.
  MonitorRepositoryDataAccess* m3 = monitor();
  std::promise<void> begun, released;
  std::vector<std::string> answers;
  std::thread holder([&] {
    EXPECT_TRUE(m3->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(m2, "undone"));
    begun.set_value();
    released.get_future().wait();
    for (const char* name : {"refused", "refused too"})
      answers.push_back(addTask(m2, name) ? "stored"
                                          : m2->getErrorMessage().str());
    answers.push_back(m2->endTransaction(true) ? "committed"
                                               : m2->getErrorMessage().str());
    EXPECT_TRUE(addTask(m2, "outside")) << m2->getErrorMessage().str();
  });
  begun.get_future().wait();
  const Clock::time_point start = Clock::now();
  m3->release();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  released.set_value();
  holder.join();
  const std::string lost =
      "The transaction was rolled back: the data-access object that began it "
      "was released";
  EXPECT_EQ(answers, (Rows{lost, lost, lost}));
  m2->release();
  EXPECT_EQ(taskNames(), (Rows{"kept", "outside"}));

  // Nothing of the repository left but a thread's open transaction: the
  // last release rolls it back instead of waiting for that thread.
  MonitorRepositoryDataAccess* m4 = monitor();
  HoldingThread idle(m4, "abandoned");
  std::thread([&] {  // the release must not take the object's thread
    m4->release();
    repository_->release();
    repository_ = nullptr;
  }).join();
  idle.finish();
  EXPECT_EQ(taskNames(), (Rows{"kept", "outside"}));
}

// A begin that waits while the thread holding a transaction ends gets a
// transaction of its own, once the ended thread's one is rolled back: the
// rollback of what it then undoes is its own, and the connection is free.
TEST_P(TransactionOwnerTest, ABeginWaitingWhileTheHolderEndsBeginsAfresh) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  HoldingThread ending(m1, "ended");
  bool began = false, added = false, undone = false, after = false;
  std::thread waiting([&] {
    began = m2->beginTransaction(1, 0);
    added = addTask(m2, "undone");
    undone = m2->endTransaction(false);
    after = addTask(m2, "after");
  });
  seam_.waitFor(RDA_LockSeam::kWaiting);
  ending.finish();
  waiting.join();
  EXPECT_TRUE(began && added && undone && after)
      << m2->getErrorMessage().str();
  EXPECT_EQ(seam_.count(RDA_LockSeam::kTakingOver), 1);
  EXPECT_EQ(records("A thread ended while its transaction was open",
                    kLogWarning),
            1u);
  EXPECT_TRUE(addTask(m1, "here")) << m1->getErrorMessage().str();
  m1->release();
  m2->release();
  EXPECT_EQ(taskNames(), (Rows{"after", "here"}));
}

// The repository's last release meets a thread that ends with its
// transaction open: whether the thread is still there when the release
// takes the transaction over or ends while it does, the transaction is
// rolled back once and the connection closed, with nothing used after it
// was freed.
TEST_P(TransactionOwnerTest, TheLastReleaseTakesOverAThreadsTransaction) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  for (bool endsFirst : {true, false}) {
    SCOPED_TRACE(endsFirst ? "the thread ended first" : "the thread ends meanwhile");
    Repository* repository = open(db_);
    ASSERT_NE(repository, nullptr);
    MonitorRepositoryDataAccess* m = repository->createMonitorDataAccess();
    HoldingThread ending(m, "ended");
    if (endsFirst) ending.finish();
    seam_.holdAt(RDA_LockSeam::kTakingOver);
    const Clock::time_point start = Clock::now();
    std::thread releasing([&] {
      m->release();  // another thread's object: the transaction is marked
      repository->release();
    });
    seam_.waitFor(RDA_LockSeam::kTakingOver, endsFirst ? 1 : 2);
    if (!endsFirst) ending.finish();
    seam_.letGo();
    releasing.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));  // no wait
  }
  EXPECT_EQ(records("the transaction was rolled back", kLogWarning), 2u);
  EXPECT_EQ(taskNames(), Rows{});
  MonitorRepositoryDataAccess* after = monitor();
  EXPECT_TRUE(addTask(after, "free"));  // no lock is left on the database
  after->release();
}

// Releases never wait for a transaction of another thread: a cursor, a
// statement and a data-access object with kept statements are handed to
// the holder, which ends them as it lets go.
TEST_P(TransactionOwnerTest, ReleasesDoNotWaitForAnotherThreadsTransaction) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* holder = monitor();
  MonitorRepositoryDataAccess* user = monitor();
  ASSERT_TRUE(addTask(user, "kept"));  // the object keeps its insert
  ReposDataAccess* rda = repositoryConnection(repository_);
  const KvbString sql =
      "SELECT JB_DESC FROM " + rda->getTableName("MJOB", true, -1);
  ReposDataAccessCursor* cursor = rda->paramSelect(sql, 0);
  ASSERT_NE(cursor, nullptr);
  ReposDataAccessStatement* statement = rda->createStatement(sql);
  ASSERT_NE(statement, nullptr);
  HoldingThread holding(holder, "held", true);
  const Clock::time_point start = Clock::now();
  cursor->release();
  statement->release();
  user->release();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_GE(seam_.count(RDA_LockSeam::kHandingOver), 3);
  holding.finish();
  holder->release();
  EXPECT_EQ(taskNames(), (Rows{"held", "kept"}));
}

// A host's thread_local, made before the thread's first call into the
// engine, calls in as the thread ends: it works as on a living thread. Its
// transaction commits whole while another thread waits for the connection,
// and its refusals are its own.
TEST_P(TransactionOwnerTest, AHostThreadLocalCallsInAsItsThreadEnds) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  std::vector<bool> answers;
  std::promise<void> begun, end;
  std::thread ending([&] {
    hostThreadLocal.atExit = [&] {
      for (int i = 0; i < 40; ++i)
        answers.push_back(addTask(m1, ("exit " + std::to_string(i)).c_str()));
      answers.push_back(m1->endTransaction(true));
    };
    EXPECT_TRUE(m1->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(m1, "body"));
    begun.set_value();
    end.get_future().wait();
  });
  begun.get_future().wait();
  bool waited = false;
  std::thread waiting([&] { waited = addTask(m2, "waiter"); });
  seam_.waitFor(RDA_LockSeam::kWaiting);
  end.set_value();
  ending.join();
  waiting.join();
  EXPECT_EQ(answers, std::vector<bool>(41, true));
  EXPECT_TRUE(waited) << m2->getErrorMessage().str();
  EXPECT_EQ(seam_.count(RDA_LockSeam::kTakingOver), 0);
  EXPECT_EQ(taskNames().size(), 42u);

  HoldingThread holding(m2, "held", true);
  std::string refusals[2];
  std::thread([&] {
    hostThreadLocal.atExit = [&] {
      EXPECT_FALSE(m1->endTransaction(true));
      refusals[1] = m1->getErrorMessage().str();
    };
    EXPECT_FALSE(m1->endTransaction(true));
    refusals[0] = m1->getErrorMessage().str();
  }).join();
  holding.finish();
  const std::string other =
      "The transaction was begun on another thread; only that thread can end "
      "it";
  EXPECT_EQ(refusals[0], other);
  EXPECT_EQ(refusals[1], other);
  m1->release();
  m2->release();
}

// Releases handed to the thread that holds a transaction are never lost:
// whether that thread lets go before the connection's last release or the
// last release takes its transaction over, and when six threads release
// cursors at once after it, every cursor ends and the file is closed.
TEST_P(TransactionOwnerTest, HandedOverReleasesEndBeforeTheClose) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  const int filesBefore = openFiles(db_.file);
  for (const char* holder : {"committed", "taken over", "none"}) {
    SCOPED_TRACE(holder);
    const int rounds = holder == std::string("none") ? 20 : 1;
    for (int round = 0; round < rounds; ++round) {
      Repository* repository = open(db_);
      ASSERT_NE(repository, nullptr);
      MonitorRepositoryDataAccess* m = repository->createMonitorDataAccess();
      ReposDataAccess* rda = repositoryConnection(repository);
      const KvbString sql =
          "SELECT JB_DESC FROM " + rda->getTableName("MJOB", true, -1);
      std::vector<ReposDataAccessCursor*> cursors;
      for (int i = 0; i < 6; ++i) cursors.push_back(rda->paramSelect(sql, 0));
      std::unique_ptr<HoldingThread> holding;
      if (holder != std::string("none"))
        holding = std::make_unique<HoldingThread>(
            m, holder, holder == std::string("committed"));
      else
        m->release();
      repository->release();
      const int handedBefore = seam_.count(RDA_LockSeam::kHandingOver);
      std::promise<void> start;
      std::shared_future<void> started = start.get_future().share();
      std::vector<std::thread> releasing;
      for (ReposDataAccessCursor* cursor : cursors)
        releasing.emplace_back([cursor, started] {
          started.wait();
          cursor->release();
        });
      start.set_value();
      for (std::thread& thread : releasing) thread.join();
      if (holding) {
        EXPECT_EQ(seam_.count(RDA_LockSeam::kHandingOver) - handedBefore, 6);
        if (holder == std::string("committed")) {
          holding->finish();
          m->release();
        } else {
          m->release();
          holding->finish();
        }
      }
      EXPECT_EQ(openFiles(db_.file), filesBefore);
    }
  }
  EXPECT_EQ(records("another thread held a transaction on it", kLogWarning),
            1u);
  EXPECT_EQ(taskNames(), Rows{"committed"});
}

// A transaction whose thread ended, or whose object was released, is
// nobody else's: another thread's end finds none open, the thread that
// takes it over holds its own transaction against a third thread, and the
// holder's first call after its object's release, a commit, fails; the
// release's warning is the one record of that loss.
TEST_P(TransactionOwnerTest, ATransactionLeftBehindIsNobodyElsesToEnd) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  endThreadInTransaction(m1, "ended");
  EXPECT_FALSE(m2->endTransaction(true));
  EXPECT_TRUE(noTransaction(m2->getErrorMessage().str()))
      << m2->getErrorMessage().str();

  endThreadInTransaction(m1, "ended too");
  std::promise<void> begun, end;
  std::thread taker([&] {
    EXPECT_TRUE(m1->beginTransaction(1, 0));  // takes the ended one over
    EXPECT_TRUE(addTask(m1, "taker"));
    begun.set_value();
    end.get_future().wait();
    EXPECT_TRUE(m1->endTransaction(false));
  });
  begun.get_future().wait();
  const int waits = seam_.count(RDA_LockSeam::kWaiting);
  bool third = false;
  std::thread thirdThread([&] { third = addTask(m2, "third"); });
  seam_.waitFor(RDA_LockSeam::kWaiting, waits + 1);
  end.set_value();
  taker.join();
  thirdThread.join();
  EXPECT_TRUE(third) << m2->getErrorMessage().str();

  MonitorRepositoryDataAccess* m3 = monitor();
  std::promise<void> holding, released;
  std::string committed;
  std::thread holder([&] {
    EXPECT_TRUE(m3->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(m2, "undone"));
    holding.set_value();
    released.get_future().wait();
    committed = m2->endTransaction(true) ? "committed"
                                         : m2->getErrorMessage().str();
  });
  holding.get_future().wait();
  const Rows logged = log_.failuresDuring(
      [&] {
        m3->release();
        released.set_value();
        holder.join();
      },
      true);
  EXPECT_EQ(committed,
            "The transaction was rolled back: the data-access object that "
            "began it was released");
  EXPECT_EQ(logged,
            Rows{"4 The data-access object that began a transaction was "
                 "released on another thread while the transaction was open; "
                 "the transaction was rolled back"});
  m1->release();
  m2->release();
  EXPECT_EQ(taskNames(), Rows{"third"});
}

// A thread that holds a transaction and a cursor when the repository's
// last release happens elsewhere keeps its transaction until it releases
// the cursor; then the transaction is rolled back once and the database is
// free.
TEST_P(TransactionOwnerTest, ACursorKeepsItsThreadsTransactionPastTheLastRelease) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  Repository* repository = open(db_);
  ASSERT_NE(repository, nullptr);
  MonitorRepositoryDataAccess* m = repository->createMonitorDataAccess();
  ReposDataAccess* rda = repositoryConnection(repository);
  std::promise<void> begun, released;
  int rows = -1;
  std::thread holder([&] {
    EXPECT_TRUE(m->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(m, "held"));
    ReposDataAccessCursor* cursor = rda->paramSelect(
        "SELECT JB_DESC FROM " + rda->getTableName("MJOB", true, -1), 0);
    begun.set_value();
    released.get_future().wait();
    rows = static_cast<int>(cursorRows(cursor).size());  // releases it
  });
  begun.get_future().wait();
  m->release();
  repository->release();
  EXPECT_EQ(seam_.count(RDA_LockSeam::kTakingOver), 0);
  EXPECT_EQ(records("the transaction was rolled back", kLogWarning), 0u);
  released.set_value();
  holder.join();
  EXPECT_EQ(rows, 1);  // its own row, inside its transaction
  EXPECT_EQ(records("the transaction was rolled back", kLogWarning), 1u);
  MonitorRepositoryDataAccess* after = monitor();
  EXPECT_TRUE(addTask(after, "free")) << after->getErrorMessage().str();
  after->release();
  EXPECT_EQ(taskNames(), Rows{"free"});
}

// A thread's refusal is kept per repository: a refusal on another
// repository leaves it as it was, and reading it waits for nothing, nor
// does it give the holder's own failure.
TEST_P(TransactionOwnerTest, ARefusalIsTheThreadsOwnOnEachRepository) {
  AdminDatabase otherDb;
  Repository* other = createAndOpen(otherDb);
  ASSERT_NE(other, nullptr);
  MonitorRepositoryDataAccess* a = monitor();
  MonitorRepositoryDataAccess* aHolder = monitor();
  MonitorRepositoryDataAccess* b = other->createMonitorDataAccess();
  MonitorRepositoryDataAccess* bHolder = other->createMonitorDataAccess();
  std::promise<void> failed, end;
  std::thread holdingA([&] {
    EXPECT_TRUE(aHolder->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(aHolder, "a"));
    EXPECT_FALSE(addTask(aHolder, "a"));  // a failure of the holder's own
    failed.set_value();
    end.get_future().wait();
    EXPECT_TRUE(aHolder->endTransaction(true));
  });
  failed.get_future().wait();
  HoldingThread holdingB(bHolder, "b", true);
  EXPECT_FALSE(addTask(a, "refused"));
  const std::string refusal = a->getErrorMessage().str();
  EXPECT_NE(refusal.find("has held a transaction"), std::string::npos)
      << refusal;
  EXPECT_FALSE(addTask(b, "refused"));
  const int waits = seam_.count(RDA_LockSeam::kWaiting);
  EXPECT_EQ(a->getErrorMessage().str(), refusal);
  EXPECT_EQ(seam_.count(RDA_LockSeam::kWaiting), waits) << "it waited";
  end.set_value();
  holdingA.join();
  holdingB.finish();
  EXPECT_EQ(a->getErrorMessage().str(), refusal);
  for (MonitorRepositoryDataAccess* m : {a, aHolder, b, bHolder}) m->release();
  other->release();
}

// Calls that another thread makes on the repository while a transaction is
// open there, and that are refused before they reach the database (for
// their arguments, or as what the engine never does), are refused without
// taking the connection and leave that transaction to its thread: every
// row of it is stored at its commit.
TEST_P(TransactionOwnerTest, RefusalsElsewhereLeaveAnOpenTransactionAlone) {
  MonitorRepositoryDataAccess* holder = monitor();
  MonitorRepositoryDataAccess* other = monitor();
  CommonRepositoryDataAccess* common = repository_->createCommonDataAccess();
  std::promise<void> added, refused;
  std::thread holding([&] {
    EXPECT_TRUE(holder->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(holder, "before"));
    added.set_value();
    refused.get_future().wait();
    EXPECT_TRUE(addTask(holder, "after")) << holder->getErrorMessage().str();
    EXPECT_TRUE(holder->endTransaction(true))
        << holder->getErrorMessage().str();
  });
  added.get_future().wait();
  EXPECT_FALSE(other->deleteDimensionGroups(-1, -1));
  EXPECT_FALSE(common->deleteCustomMetric(1));
  EXPECT_EQ(seam_.count(RDA_LockSeam::kQueueing), 0) << "a call took the lock";
  refused.set_value();
  holding.join();
  holder->release();
  other->release();
  common->release();
  EXPECT_EQ(taskNames(), (Rows{"after", "before"}));
}

// A begin that SQLite refuses as busy leaves no transaction of its thread
// behind: an end on another thread finds none, and no takeover follows
// when the thread ends.
TEST_P(TransactionOwnerTest, ABusyBeginLeavesNoTransactionBehind) {
  if (isPostgres()) GTEST_SKIP() << "a server locks nothing at the begin";
  Repository* writer = open(db_);
  ASSERT_NE(writer, nullptr);
  ReposDataAccess* locking = repositoryConnection(writer);
  ASSERT_TRUE(locking->beginTransaction(true, nullptr));
  ReposDataAccess* rda = repositoryConnection(repository_);
  std::promise<void> refused, end;
  std::thread beginning([&] {
    bool busy = false;
    EXPECT_FALSE(rda->beginTransaction(true, &busy));
    EXPECT_TRUE(busy);
    refused.set_value();
    end.get_future().wait();
  });
  refused.get_future().wait();
  EXPECT_TRUE(locking->endTransaction(false));
  EXPECT_FALSE(rda->endTransaction(true));
  EXPECT_TRUE(noTransaction(rda->getErrorMessage().str()))
      << rda->getErrorMessage().str();
  end.set_value();
  beginning.join();
  EXPECT_FALSE(rda->endTransaction(true));
  EXPECT_TRUE(noTransaction(rda->getErrorMessage().str()))
      << rda->getErrorMessage().str();
  EXPECT_EQ(seam_.count(RDA_LockSeam::kTakingOver), 0);
  writer->release();
}

// A host key whose destructor calls in as the thread ends, after the
// thread's first call, works as on a living thread: its transaction commits
// whole while another thread waits, and its texts are its own. Its second
// end comes once the waiter's add is done: while the waiter's own
// transaction is open, an end is refused as another thread's instead.
TEST_P(TransactionOwnerTest, AHostKeyDestructorCallsInAsItsThreadEnds) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  std::vector<bool> answers;
  std::string text;
  std::promise<void> begun, queued, added;
  HostKey committing(1, [&] {
    answers.push_back(m1->beginTransaction(1, 0));
    answers.push_back(addTask(m1, "key"));
    begun.set_value();
    queued.get_future().wait();
    answers.push_back(m1->endTransaction(true));
    added.get_future().wait();
    answers.push_back(!m1->endTransaction(true));
    text = m1->getErrorMessage().str();
  });
  std::thread ending([&] {
    EXPECT_TRUE(addTask(m1, "first"));
    committing.setOnThisThread();
  });
  begun.get_future().wait();
  bool waited = false;
  std::thread waiting([&] {
    waited = addTask(m2, "waiter");
    added.set_value();
  });
  seam_.waitFor(RDA_LockSeam::kWaiting);
  queued.set_value();
  ending.join();
  waiting.join();
  EXPECT_EQ(answers, std::vector<bool>(4, true));
  EXPECT_TRUE(noTransaction(text)) << text;
  EXPECT_TRUE(waited) << m2->getErrorMessage().str();
  EXPECT_EQ(seam_.count(RDA_LockSeam::kTakingOver), 0);
  m1->release();
  m2->release();
  EXPECT_EQ(taskNames(), (Rows{"first", "key", "waiter"}));
}

// A transaction that a host key destructor leaves open in the last round of
// destructors, after the thread's first call, is taken over at another
// thread's next call, as any ended thread's.
TEST_P(TransactionOwnerTest, ATransactionLeftOpenInTheLastDestructorRoundEnds) {
  if (underThreadSanitizer())
    GTEST_SKIP() << "the thread sanitizer has ended its own view of a "
                    "thread before its last round of destructors";
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  HostKey leaving(4, [&] {
    EXPECT_TRUE(m1->beginTransaction(1, 0));
    EXPECT_TRUE(addTask(m1, "left open"));
  });
  std::thread([&] {
    EXPECT_TRUE(addTask(m1, "second"));
    leaving.setOnThisThread();
  }).join();
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(addTask(m2, "after")) << m2->getErrorMessage().str();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_EQ(records("A thread ended while its transaction was open",
                    kLogWarning),
            1u);
  m1->release();
  m2->release();
  EXPECT_EQ(taskNames(), (Rows{"after", "second"}));
}

// A release is all a thread does after another thread ended inside its
// transaction: the release takes the transaction over and rolls it back at
// once, so that another connection writes without waiting.
TEST_P(TransactionOwnerTest, AReleaseTakesOverAnEndedThreadsTransaction) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* m = monitor();
  ReposDataAccess* rda = repositoryConnection(repository_);
  ReposDataAccessCursor* cursor = rda->paramSelect(
      "SELECT JB_DESC FROM " + rda->getTableName("MJOB", true, -1), 0);
  ASSERT_NE(cursor, nullptr);
  endThreadInTransaction(m, "ended");
  EXPECT_EQ(records("A thread ended while its transaction was open",
                    kLogWarning),
            0u);
  cursor->release();
  EXPECT_EQ(records("A thread ended while its transaction was open",
                    kLogWarning),
            1u);
  Repository* other = open(db_);
  ASSERT_NE(other, nullptr);
  MonitorRepositoryDataAccess* elsewhere = other->createMonitorDataAccess();
  const Clock::time_point start = Clock::now();
  EXPECT_TRUE(addTask(elsewhere, "elsewhere")) << elsewhere->getErrorMessage().str();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  elsewhere->release();
  other->release();
  m->release();
  EXPECT_EQ(taskNames(), Rows{"elsewhere"});
}

INSTANTIATE_ADMIN_TARGETS(TransactionOwnerTest);

}  // namespace
