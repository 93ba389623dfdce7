// A thread cancelled (pthread_cancel) while its call waits for a shared
// connection is cancelled after that call: the call completes with its
// answer, the thread is cancelled at its next cancellation point, and the
// connection serves the next call at once, also behind a thread that ended
// in its transaction. A driver unwound inside a statement would keep its
// own mutexes, and every later call on the connection would hang.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "reposadmin/monitor_data_access.h"
#include "support/admin_targets.h"
#include "support/calling_thread.h"
#include "support/holding_thread.h"
#include "support/lock_clock.h"
#include "support/lock_seam.h"

namespace {

// A hold left with a cancelled thread shows as a refusal of the next call
// after 10 s, long before a busy machine could delay a sound one that much.
class CancellationTest : public OpenRepositoryTest {
 protected:
  CancellationTest() : OpenRepositoryTest("10000") {}

  LockSeam seam_;
  // Moved past the busy timeout where a holder outlasts the wait.
  TestLockClock clock_;
  double elapsedMs_ = 0;
};

// Each call is cancelled while it waits behind another thread's transaction
// that is then committed, left open by a thread that ends, or kept past the
// busy timeout. A second caller waits behind the cancelled one; both are
// served, or both refused. A thread cancelled in a call of its own
// transaction is cancelled once the call has answered, with the
// transaction open, and the next caller rolls it back.
TEST_P(CancellationTest, AThreadCancelledWhileItWaitsIsCancelledAfterItsCall) {
  MonitorRepositoryDataAccess* m = repository_->createMonitorDataAccess();
  int round = 0;
  // A task name of its own for each call of each round.
  auto name = [&](const char* what) { return what + std::to_string(round); };
  const struct {
    const char* name;
    std::function<bool()> call;
  } calls[] = {
      {"addTask", [&] { return addTask(m, name("cancelled").c_str()); }},
      {"getRepositoryUUID, then a repository opened and released",
       [&] {
         if (repository_->getRepositoryUUID().isEmpty()) return false;
         RepositoryImpl* other = open(db_);
         if (other) other->release();
         return other != nullptr;
       }},
      {"listTasks",
       [&] {
         ReposDataAccessCursor* tasks = m->listTasks();
         if (!tasks) return false;
         while (tasks->next()) {
         }
         tasks->release();
         return true;
       }},
      {"addTask in a transaction left open",
       [&] {
         return m->beginTransaction(1, 0) &&
                addTask(m, name("cancelled").c_str());
       }},
      {"a whole transaction",
       [&] {
         return m->beginTransaction(1, 0) &&
                addTask(m, name("cancelled").c_str()) &&
                m->endTransaction(true);
       }},
  };
  enum Holder { kCommits, kEnds, kOutlasts };
  for (const auto& call : calls)
    for (const Holder holder : {kCommits, kEnds, kOutlasts}) {
      SCOPED_TRACE(std::string(call.name) +
                   (holder == kCommits ? ", the holder commits"
                    : holder == kEnds  ? ", the holder ends"
                                       : ", the holder outlasts the wait"));
      MonitorRepositoryDataAccess* holding =
          repository_->createMonitorDataAccess();
      ++round;
      auto holding_thread = std::make_unique<HoldingThread>(
          holding, name("held").c_str(), holder != kEnds);
      const int queued = seam_.count(RDA_LockSeam::kWaiting);
      CallingThread cancelled(call.call);
      seam_.waitFor(RDA_LockSeam::kWaiting, queued + 1);
      cancelled.cancel();
      std::string nextRefused;
      std::thread next([&] {
        if (!addTask(m, name("next").c_str()))
          nextRefused = m->getErrorMessage().str();
      });
      seam_.waitFor(RDA_LockSeam::kWaiting, queued + 2);
      if (holder == kOutlasts) {
        clock_.moveTo(elapsedMs_ += 10001);
        cancelled.waitForAnswer();
        next.join();
      }
      holding_thread->finish();
      EXPECT_TRUE(cancelled.cancelledAfterItsCall());
      EXPECT_EQ(cancelled.answer(), holder != kOutlasts);
      if (next.joinable()) next.join();
      EXPECT_EQ(nextRefused.empty(), holder != kOutlasts) << nextRefused;
      EXPECT_TRUE(addTask(m, name("after").c_str()))
          << m->getErrorMessage().str();
      holding->release();
    }
  m->release();
}

INSTANTIATE_ADMIN_TARGETS(CancellationTest);

}  // namespace
