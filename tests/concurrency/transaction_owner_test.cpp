// A transaction belongs to the thread and the data-access object that began
// it: a host that forgets to end one, ends it on another thread or releases
// what it used gets errors and rollbacks, never a hang, lost rows, or
// another thread's work inside its transaction. Also run under
// ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "access/held_repository.h"
#include "reposadmin/monitor_data_access.h"
#include "schema/log_printf.h"
#include "support/admin_targets.h"
#include "support/lock_seam.h"
#include "support/log_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::string>;

bool add(MonitorRepositoryDataAccess* m, const char* name) {
  int id = 0;
  return m->addTask(name, name, "u", 0, "", "", &id);
}

// A thread that begins a transaction on `m`, adds the task `name` and holds
// the transaction until finish(), which lets the thread end: committing
// with `commit`, else with the transaction left open.
class HoldingThread {
 public:
  HoldingThread(MonitorRepositoryDataAccess* m, const char* name,
                bool commit = false)
      : thread_([this, m, name, commit] {
          EXPECT_TRUE(m->beginTransaction(1, 0));
          EXPECT_TRUE(add(m, name));
          begun_.set_value();
          end_.get_future().wait();
          if (commit) {
            EXPECT_TRUE(m->endTransaction(true));
          }
        }) {
    begun_.get_future().wait();
  }
  ~HoldingThread() {
    if (thread_.joinable()) finish();
  }
  void finish() {
    end_.set_value();
    thread_.join();
  }

 private:
  std::promise<void> begun_, end_;
  std::thread thread_;
};

class TransactionOwnerTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "400");
    repository_ = createAndOpen(db_);
    if (HasFailure()) return;
  }
  void TearDown() override {
    if (repository_) repository_->release();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    AdminTargetTest::TearDown();
  }
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

  AdminDatabase db_;
  Repository* repository_ = nullptr;
  LogCapture log_;
  LockSeam seam_;
};

// A thread that ends inside its transaction takes it with it: the next
// thread (which may get the same stack) runs outside it, and its row stays.
TEST_P(TransactionOwnerTest, AThreadsTransactionEndsWithTheThread) {
  MonitorRepositoryDataAccess* m1 = monitor();
  MonitorRepositoryDataAccess* m2 = monitor();
  std::thread([&] {
    ASSERT_TRUE(m1->beginTransaction(1, 0));
    ASSERT_TRUE(add(m1, "a"));
  }).join();
  bool added = false;
  std::thread([&] { added = add(m2, "b"); }).join();
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
    EXPECT_TRUE(add(mine, "held"));
    begun.set_value();
    end.get_future().wait();
    EXPECT_TRUE(mine->endTransaction(true)) << mine->getErrorMessage().str();
  });
  begun.get_future().wait();
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(add(theirs, "waiting"));
  const auto waited = Clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(350));
  EXPECT_LT(waited, std::chrono::seconds(4));
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
  EXPECT_TRUE(add(theirs, "after")) << theirs->getErrorMessage().str();
  mine->release();
  theirs->release();
  EXPECT_EQ(taskNames(), (Rows{"after", "held"}));
}

// Releasing the object that began a transaction rolls it back and frees the
// connection: on the thread that holds it at once, on another thread at the
// holder's next call, and with the repository's last release in any case.
TEST_P(TransactionOwnerTest, ATransactionEndsWithTheObjectThatBeganIt) {
  MonitorRepositoryDataAccess* m1 = monitor();
  ASSERT_TRUE(m1->beginTransaction(1, 0));
  ASSERT_TRUE(add(m1, "dropped"));
  m1->release();
  MonitorRepositoryDataAccess* m2 = monitor();
  std::thread([&] { EXPECT_TRUE(add(m2, "kept")); }).join();
  EXPECT_FALSE(m2->endTransaction(true)) << "no transaction is left to end";

  // Begun on a thread that stays, released here: the release returns at
  // once, and the holder's transaction is lost until its outermost end.
  MonitorRepositoryDataAccess* m3 = monitor();
  std::promise<void> begun, released;
  std::vector<std::string> answers;
  std::thread holder([&] {
    EXPECT_TRUE(m3->beginTransaction(1, 0));
    EXPECT_TRUE(add(m2, "undone"));
    begun.set_value();
    released.get_future().wait();
    for (const char* name : {"refused", "refused too"})
      answers.push_back(add(m2, name) ? "stored" : m2->getErrorMessage().str());
    answers.push_back(m2->endTransaction(true) ? "committed"
                                               : m2->getErrorMessage().str());
    EXPECT_TRUE(add(m2, "outside")) << m2->getErrorMessage().str();
  });
  begun.get_future().wait();
  const Clock::time_point start = Clock::now();
  m3->release();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
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
    added = add(m2, "undone");
    undone = m2->endTransaction(false);
    after = add(m2, "after");
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
  EXPECT_TRUE(add(m1, "here")) << m1->getErrorMessage().str();
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
  EXPECT_TRUE(add(after, "free"));  // no lock is left on the database
  after->release();
}

// Releases never wait for a transaction of another thread: a cursor, a
// statement and a data-access object with kept statements are handed to
// the holder, which ends them as it lets go.
TEST_P(TransactionOwnerTest, ReleasesDoNotWaitForAnotherThreadsTransaction) {
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  MonitorRepositoryDataAccess* holder = monitor();
  MonitorRepositoryDataAccess* user = monitor();
  ASSERT_TRUE(add(user, "kept"));  // the object keeps its insert
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
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(100));
  EXPECT_GE(seam_.count(RDA_LockSeam::kHandedOver), 3);
  holding.finish();
  holder->release();
  EXPECT_EQ(taskNames(), (Rows{"held", "kept"}));
}

INSTANTIATE_ADMIN_TARGETS(TransactionOwnerTest);

}  // namespace
