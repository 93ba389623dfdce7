// Two threads share one connection, with connection locking
// ("BASE/WORKDESK") on, and run the same SQL texts, each while a cursor of
// the text is open: the SQLite back end hands a kept statement to one use
// at a time, and gives it back under the connection's lock. Also run under
// ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/rda_targets.h"

namespace {

class StatementReuseThreadsTest : public RdaTargetTest {
 protected:
  void SetUp() override {
    RdaTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    exec("CREATE TABLE " + table("REUSE") + " (i INTEGER, t INTEGER)");
    insertSql_ = "INSERT INTO " + table("REUSE") + " (i, t) VALUES (?, ?)";
    selectSql_ = "SELECT i FROM " + table("REUSE") + " WHERE t = ? ORDER BY i";
  }

  std::string insertSql_, selectSql_;
};

TEST_P(StatementReuseThreadsTest, ThreadsSharingTheConnectionRunTheSameText) {
  constexpr int kRounds = 100;
  std::atomic<bool> go{false};
  std::string failures[2];
  auto work = [&](int t) {
    while (!go.load()) std::this_thread::yield();
    KvbDatavar thread(t);
    for (int i = 1; i <= kRounds; ++i) {
      KvbDatavar value(i);
      ReposDataAccessCursor* open =
          rda_->paramSelect(selectSql_.c_str(), 1, &thread);
      if (!rda_->paramExec(insertSql_.c_str(), nullptr, 2, &value, &thread))
        failures[t] += "insert: " + rda_->getErrorMessage().str() + "\n";
      // The rows of this thread, read while its earlier cursor is open.
      const std::vector<std::string> mine =
          rows(rda_->paramSelect(selectSql_.c_str(), 1, &thread));
      if (mine.size() != static_cast<size_t>(i) ||
          mine.back() != std::to_string(i))
        failures[t] += "rows after " + std::to_string(i) + "\n";
      if (open) open->release();
    }
  };
  std::thread one(work, 0), two(work, 1);
  go = true;
  one.join();
  two.join();
  EXPECT_EQ(failures[0], "");
  EXPECT_EQ(failures[1], "");
  EXPECT_EQ(count("REUSE"), 2 * kRounds);
}

INSTANTIATE_RDA_TARGETS(StatementReuseThreadsTest);

}  // namespace
