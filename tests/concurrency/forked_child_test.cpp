// A child that fork() makes from a process whose one thread has used the
// engine works through repositories it opens itself, and the end of its
// thread is seen like any other: a transaction that the thread leaves open
// as it ends is taken over by a thread that waits for the connection.
#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "rda/rda_thread.h"
#include "reposadmin/monitor_data_access.h"
#include "support/admin_targets.h"
#include "support/holding_thread.h"
#include "support/lock_seam.h"

namespace {

// How the child ends: its exit status.
enum ChildEnd {
  kTakenOver = 0,   // the waiting call took the transaction over
  kNotOpened = 10,  // the child could not open the repository
  kNotBegun = 11,   // the child's thread could not begin its transaction
  kRefused = 12,    // the waiting call was refused
  kNotEnded = 13,   // the child's thread did not end
};

class ForkedChildTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (HasFatalFailure()) return;
    // Long enough that only a takeover lets the waiting call in.
    kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    AdminTargetTest::TearDown();
  }

  // The child: its thread opens the repository of `db`, begins a
  // transaction, and ends with it open once a second thread waits for the
  // connection; the second thread leaves the process with its answer.
  [[noreturn]] void endChildThreadInTransaction(const AdminDatabase& db) {
    Repository* repository = open(db);
    if (!repository) _exit(kNotOpened);
    MonitorRepositoryDataAccess* mine = repository->createMonitorDataAccess();
    MonitorRepositoryDataAccess* theirs =
        repository->createMonitorDataAccess();
    if (!mine->beginTransaction(1, 0) || !addTask(mine, "left open"))
      _exit(kNotBegun);
    LockSeam seam;
    std::thread([theirs] {
      _exit(addTask(theirs, "after") ? kTakenOver : kRefused);
    }).detach();
    seam.waitFor(RDA_LockSeam::kWaiting);
    // The thread ends by the system call that pthread_exit ends with:
    // pthread_exit would first unwind through the test framework's frames,
    // whose catch-all handler aborts the process. The kernel marks the
    // robust mutexes of a thread at its end either way.
    syscall(SYS_exit, 0);
    _exit(kNotEnded);
  }
};

TEST_P(ForkedChildTest, TheEndOfAChildsThreadIsSeen) {
  AdminDatabase db;
  Repository* repository = createAndOpen(db);
  ASSERT_NE(repository, nullptr);
  repository->release();
  ASSERT_NE(rdaThreadNumber, 0u) << "the parent's thread has no identity";

  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) endChildThreadInTransaction(db);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of a signal";
  EXPECT_EQ(WEXITSTATUS(status), kTakenOver)
      << "10: not opened, 11: not begun, 12: the waiting call was refused, "
         "13: the thread did not end";
}

INSTANTIATE_TEST_SUITE_P(Targets, ForkedChildTest,
                         ::testing::Values(RdaTarget::kSqliteFile),
                         rdaTargetName);

}  // namespace
