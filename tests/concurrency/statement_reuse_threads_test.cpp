// Two threads share one connection, with connection locking
// ("BASE/WORKDESK") on, and run the same SQL texts, each while a cursor of
// the text is open: the SQLite back end hands a kept statement to one use
// at a time, and gives it back under the connection's lock. Two threads
// also share one data-access object and its kept INSERT, each with values
// of its own. Also run under ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/rda_targets.h"

namespace {

using Rows = std::vector<std::string>;

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

// The smallest data-access object, with the base's kept insert.
class ProbeAccess : public ReposDataAccessObject {};
class Probe : public RDA_Object<ProbeAccess> {
 public:
  explicit Probe(ReposDataAccess* rda) : RDA_Object(rda) {}
  using BaseRDAImpl::insert;
};

class KeptStatementThreadsTest : public RdaObjectTest<Probe> {};

// Threads that add rows through one object share its kept INSERT: each
// binds its values and runs the statement before another thread binds, so
// every row is stored once, with the values it was added with.
TEST_P(KeptStatementThreadsTest, EachThreadStoresTheValuesItAdds) {
  constexpr int kThreads = 4;
  constexpr int kRows = 100;
  auto folder = [](int thread, int row) {
    const int id = thread * kRows + row + 1;
    return std::to_string(id) + "|t" + std::to_string(thread) + "-" +
           std::to_string(row) + "|" + std::to_string(thread);
  };
  std::atomic<bool> go{false};
  std::vector<std::string> failures(kThreads);
  auto work = [&](int t) {
    while (!go.load()) std::this_thread::yield();
    for (int row = 0; row < kRows; ++row) {
      const std::string name =
          "t" + std::to_string(t) + "-" + std::to_string(row);
      if (!object_->insert("FOLDER", {{"FLDR_ID", t * kRows + row + 1},
                                      {"FLDR_NAM", name.c_str()},
                                      {"FLDR_PAR", t}}))
        failures[t] += name + ": " + object_->getErrorMessage().str() + "\n";
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(work, t);
  go = true;
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<std::string>(kThreads));
  Rows added;
  for (int t = 0; t < kThreads; ++t)
    for (int row = 0; row < kRows; ++row) added.push_back(folder(t, row));
  EXPECT_EQ(
      sortedRows(rows(rda_->paramSelect(
          "SELECT FLDR_ID, FLDR_NAM, FLDR_PAR FROM " + table("FOLDER"), 0))),
      sortedRows(added));
}

INSTANTIATE_RDA_TARGETS(KeptStatementThreadsTest);

}  // namespace
