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

#include "reposadmin/monitor_data_access.h"
#include "schema/log_printf.h"
#include "support/admin_targets.h"
#include "support/log_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Rows = std::vector<std::string>;

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
  static bool add(MonitorRepositoryDataAccess* m, const char* name) {
    int id = 0;
    return m->addTask(name, name, "u", 0, "", "", &id);
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

  AdminDatabase db_;
  Repository* repository_ = nullptr;
  LogCapture log_;
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

  // Begun on a thread that stays, released here: the holder's next call
  // fails and finds the transaction rolled back.
  MonitorRepositoryDataAccess* m3 = monitor();
  std::promise<void> begun, released;
  std::string next;
  std::thread holder([&] {
    EXPECT_TRUE(m3->beginTransaction(1, 0));
    EXPECT_TRUE(add(m2, "undone"));
    begun.set_value();
    released.get_future().wait();
    if (!add(m2, "refused")) next = m2->getErrorMessage().str();
    EXPECT_TRUE(add(m2, "outside")) << m2->getErrorMessage().str();
  });
  begun.get_future().wait();
  m3->release();
  released.set_value();
  holder.join();
  EXPECT_EQ(next,
            "The transaction was rolled back: the data-access object that "
            "began it was released");
  m2->release();
  EXPECT_EQ(taskNames(), (Rows{"kept", "outside"}));

  // Nothing of the repository left but a thread's open transaction: the
  // last release rolls it back instead of waiting for that thread.
  MonitorRepositoryDataAccess* m4 = monitor();
  std::promise<void> begun4, done;
  std::thread idle([&] {
    EXPECT_TRUE(m4->beginTransaction(1, 0));
    EXPECT_TRUE(add(m4, "abandoned"));
    begun4.set_value();
    done.get_future().wait();
  });
  begun4.get_future().wait();
  std::thread([&] {  // the release must not take the object's thread
    m4->release();
    repository_->release();
    repository_ = nullptr;
  }).join();
  done.set_value();
  idle.join();
  EXPECT_EQ(taskNames(), (Rows{"kept", "outside"}));
}

INSTANTIATE_ADMIN_TARGETS(TransactionOwnerTest);

}  // namespace
