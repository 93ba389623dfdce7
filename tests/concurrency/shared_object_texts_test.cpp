// Threads that share a repository, its folder manager, its impact analysis
// and the administration object fail at once, each with an argument of its
// own: every thread reads exactly its own failure from each object, every
// time, and at once while another thread holds a transaction on the
// connection; a call that the connection refuses because another thread
// holds it leaves that refusal as the repository's text. Also run under
// ThreadSanitizer by scripts/harness.sh.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "reposadmin/repository_folder_manager.h"
#include "reposadmin/repository_impact_analysis.h"
#include "services/kv_resource_impl.h"
#include "support/admin_targets.h"
#include "support/holding_thread.h"
#include "support/log_capture.h"

namespace {

using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::string>;

constexpr int kThreads = 8;
constexpr int kRounds = 2000;  // per thread; a quarter on a server

// The refusal of a link deletion without a report group or a dimension.
const char kAllLinks[] =
    "Deleting dimension links needs a report group or a dimension: without "
    "either every link would go";

// One kind of failure on a shared object: `fail(thread)` makes a call fail
// with an argument of the thread's own (false when the call did not fail as
// it should), and `read()` is the object's getErrorMessage().
struct SharedFailure {
  std::function<bool(int thread)> fail;
  std::function<KvbString()> read;
};

// Each thread's text, learnt one thread after the other; then kThreads
// threads, started at once, fail `rounds` times each and read the text
// after every failure. Answers each thread's first wrong answer ("" when
// every answer was its own text).
Texts failAtOnce(const SharedFailure& failure, int rounds) {
  Texts expected(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(failure.fail(t)) << "thread " << t << "'s call did not fail";
    expected[t] = failure.read().str();
  }
  EXPECT_EQ(std::set<std::string>(expected.begin(), expected.end()).size(),
            static_cast<size_t>(kThreads))
      << "the threads' failures do not differ";
  Texts wrong(kThreads);
  std::promise<void> go;
  const std::shared_future<void> started = go.get_future().share();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      started.wait();
      for (int round = 0; round < rounds && wrong[t].empty(); ++round) {
        if (!failure.fail(t)) {
          wrong[t] = "the call did not fail";
        } else {
          const std::string text = failure.read().str();
          if (text != expected[t]) wrong[t] = "read \"" + text + "\"";
        }
      }
    });
  go.set_value();
  for (std::thread& thread : threads) thread.join();
  return wrong;
}

class SharedObjectTextsTest : public AdminTargetTest {
 protected:
  void SetUp() override {
    AdminTargetTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    repository_ = createAndOpen(db_);
  }
  void TearDown() override {
    if (repository_) repository_->release();
    kvbGetConfigOptions("")->remove("SQLITE/BUSY_TIMEOUT");
    AdminTargetTest::TearDown();
  }

  // The rounds of failAtOnce: a call that goes to a server costs more.
  int rounds() const { return isPostgres() ? kRounds / 4 : kRounds; }
  // A name of thread `t`'s own.
  static std::string own(const char* lead, int t) {
    return lead + std::to_string(t);
  }

  LogCapture log_;  // keeps the expected failures off the console
  AdminDatabase db_;
  RepositoryImpl* repository_ = nullptr;
};

TEST_P(SharedObjectTextsTest, EachThreadReadsItsOwnFailureOfTheRepository) {
  ASSERT_NE(repository_, nullptr);
  const auto read = [&] { return repository_->getErrorMessage(); };
  // The errorText argument of paramSelect is the thread's failure too.
  const SharedFailure select{
      [&](int t) {
        KvbString given;
        const std::string sql = own("SELECT * FROM kv_absent_", t);
        return !repository_->paramSelect(sql.c_str(), &given, 0) &&
               given == read();
      },
      read};
  EXPECT_EQ(failAtOnce(select, rounds()), Texts(kThreads));
  const SharedFailure missingKey{[&](int t) {
                                   KvbString value;
                                   return !repository_->getKeyValue(
                                       own("absent key ", t).c_str(), &value);
                                 },
                                 read};
  EXPECT_EQ(failAtOnce(missingKey, rounds()), Texts(kThreads));
}

TEST_P(SharedObjectTextsTest, EachThreadReadsItsOwnFailureOfTheManagers) {
  ASSERT_NE(repository_, nullptr);
  RepositoryFolderManager* folders = repository_->createFolderManager();
  const SharedFailure missingFolder{[&](int t) {
                                      int parent = 0;
                                      return !folders->getParentFolder(
                                          100000 + t, parent);
                                    },
                                    [&] { return folders->getErrorMessage(); }};
  EXPECT_EQ(failAtOnce(missingFolder, rounds()), Texts(kThreads));
  folders->release();

  RepositoryImpactAnalysis* impact = repository_->createImpactAnalysis();
  std::vector<KvResourceImpl> unstored(kThreads);
  std::vector<KvResourceList*> lists;
  for (int t = 0; t < kThreads; ++t) {
    unstored[t].setType("Task");
    unstored[t].setIdentity(own("nowhere ", t).c_str());
    lists.push_back(impact->createResourceList());
  }
  const SharedFailure notStored{[&](int t) {
                                  return !impact->addResourceDependencies(
                                      &unstored[t], lists[t]);
                                },
                                [&] { return impact->getErrorMessage(); }};
  EXPECT_EQ(failAtOnce(notStored, rounds()), Texts(kThreads));
  for (KvResourceList* list : lists) list->release();
  impact->release();
}

TEST_P(SharedObjectTextsTest, EachThreadReadsItsOwnFailureOfTheAdministration) {
  const SharedFailure missingFile{
      [&](int t) {
        const std::string path =
            dir_.file(own("missing", t)) + "/repository.db";
        return !admin_->openFileRepository(path.c_str(), false);
      },
      [&] { return admin_->getErrorMessage(); }};
  EXPECT_EQ(failAtOnce(missingFile, rounds()), Texts(kThreads));
}

// A thread's own failure is answered at once while another thread holds a
// transaction, and a call refused for its arguments keeps its own reason
// meanwhile; the busy timeout is long enough that a wait would show.
TEST_P(SharedObjectTextsTest,
       FailuresAreAnsweredAtOnceWhileATransactionIsHeld) {
  ASSERT_NE(repository_, nullptr);
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "20000");
  KvbString given;
  ASSERT_EQ(repository_->paramSelect("SELECT * FROM kv_absent", &given, 0),
            nullptr);
  MonitorRepositoryDataAccess* holder = repository_->createMonitorDataAccess();
  MonitorRepositoryDataAccess* mine = repository_->createMonitorDataAccess();
  HoldingThread holding(holder, "held", true);
  const Clock::time_point start = Clock::now();
  EXPECT_EQ(repository_->getErrorMessage().str(), given.str());
  EXPECT_FALSE(mine->deleteDimensionGroups(-1, -1));
  EXPECT_EQ(mine->getErrorMessage().str(), kAllLinks);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  holding.finish();
  // The refused deletion was a failure of this thread on the connection.
  EXPECT_FALSE(mine->endTransaction(true));
  EXPECT_EQ(mine->getErrorMessage().str(), libraryMessage(1068));
  mine->release();
  holder->release();
}

// Each call of the repository that could not have the connection in time
// leaves the lock's refusal as the repository's text for this thread, not
// the failure before it.
TEST_P(SharedObjectTextsTest, ARefusalOfTheConnectionIsTheRepositorysText) {
  ASSERT_NE(repository_, nullptr);
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT", "50");
  const std::string folder = dir_.path().string();
  const std::vector<std::pair<const char*, std::function<bool()>>> calls = {
      {"getKeyValue",
       [&] {
         KvbString value;
         return !repository_->getKeyValue("key", &value);
       }},
      {"getRepositoryUUID",
       [&] { return repository_->getRepositoryUUID().isEmpty(); }},
      {"paramSelect",
       [&] {
         KvbString given;
         return !repository_->paramSelect("SELECT * FROM kv_absent", &given,
                                          0) &&
                given == repository_->getErrorMessage();
       }},
      {"getNextID",
       [&] {
         int id = 0;
         return !repository_->getNextID("KV_TEXTS", &id, nullptr);
       }},
      // A table whose columns cannot be read is no missing table.
      {"exportTableToXml", [&] {
         return !repository_->exportTableToXml("INFO", folder.c_str(), false);
       }}};
  MonitorRepositoryDataAccess* holder = repository_->createMonitorDataAccess();
  {
    HoldingThread holding(holder, "held", true);
    for (const auto& [name, call] : calls) {
      SCOPED_TRACE(name);
      // A failure of the repository's own, which needs no connection.
      EXPECT_FALSE(
          repository_->exportFrqdstTables(-1, 0, folder.c_str(), false));
      EXPECT_TRUE(call());
      const std::string text = repository_->getErrorMessage().str();
      EXPECT_EQ(text.rfind("Another thread of this process has held a "
                           "transaction on this connection",
                           0),
                0u)
          << text;
    }
  }
  EXPECT_FALSE(repository_->getRepositoryUUID().isEmpty())
      << repository_->getErrorMessage().str();
  holder->release();
}

INSTANTIATE_ADMIN_TARGETS(SharedObjectTextsTest);

}  // namespace
