// A host whose main thread calls exit while threads of its own are still
// inside engine calls on one shared SQLite repository: the process ends
// with status 0 and no sanitizer report, with a log sink installed, with
// none, and with the sink removed just before the exit. The threads' calls
// fail and log, wait for the connection lock (which reads the busy timeout
// from the configuration) and open pooled connections, and each thread
// makes a whole round of them after exit has run every static object's
// destructor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace {

constexpr int kChildren = 20;
constexpr int kThreads = 6;
// A child ends within a second; one that hangs (a sanitizer's report on one
// thread can deadlock with the leak check of the exiting one) is ended by
// SIGALRM after this long and counts as failed.
constexpr unsigned kChildSeconds = 60;

enum class Sink { kNone, kInstalled, kRemovedBeforeExit };

// The rounds of calls that each thread has finished.
class Rounds {
 public:
  void finished(int thread) {
    std::lock_guard<std::mutex> guard(mutex_);
    ++done_[thread];
    changed_.notify_all();
  }
  // Waits until every thread has finished `more` rounds since the call.
  void waitForMore(long more) {
    std::unique_lock<std::mutex> guard(mutex_);
    const std::vector<long> from = done_;
    changed_.wait(guard, [&] {
      for (int t = 0; t < kThreads; ++t)
        if (done_[t] < from[t] + more) return false;
      return true;
    });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<long> done_ = std::vector<long>(kThreads, 0);
};

// The exit's last step: after every exit handler and every shared
// library's finalizer (the static objects' destructors among them), exit
// flushes every open stdio stream, and a stream made by
// openLastStepOfExit holds one unwritten byte, whose write lands here. The
// threads each make a whole round of calls from here on, so that their
// calls certainly meet whatever the exit has destroyed.
ssize_t callsAtTheEndOfExit(void* rounds, const char*, size_t size) {
  static_cast<Rounds*>(rounds)->waitForMore(2);
  return static_cast<ssize_t>(size);
}

bool openLastStepOfExit(Rounds* rounds) {
  FILE* stream = ::fopencookie(
      rounds, "w", cookie_io_functions_t{nullptr, callsAtTheEndOfExit,
                                         nullptr, nullptr});
  return stream && std::setvbuf(stream, nullptr, _IOFBF, 64) == 0 &&
         std::fputc('x', stream) == 'x';
}

// One thread's calls, round after round until the process ends: a custom
// metric whose name is taken (refused and logged at level 5 after the first
// round) and a key read, for which the threads take turns at the shared
// repository's connection lock (a thread that waits for it reads the busy
// timeout and logs the wait); and an open of the same file through a
// pooled connection, which reads the table sets and takes the connection
// of the thread's own pool.
void callForever(RepositoryAdmin* admin, Repository* repository,
                 const std::string& connection, Rounds* rounds, int thread) {
  CommonRepositoryDataAccess* common = repository->createCommonDataAccess();
  const std::string pool = "pool" + std::to_string(thread);
  KvbString value;
  for (;;) {
    common->addCustomMetric("taken", "", "", "");
    repository->getKeyValue("key", &value);
    Repository* opened = admin->openRepositoryConnection(
        connection.c_str(), "", false, pool.c_str());
    if (opened) opened->release();
    rounds->finished(thread);
  }
}

// A child: stderr to `errors`, the repository opened, the threads started
// and inside their calls, then exit. Answers only when it cannot set up.
int exitWhileCalling(const std::string& file, const std::string& errors,
                     Sink sink) {
  const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::dup2(fd, STDERR_FILENO) < 0) return 2;
  ::alarm(kChildSeconds);
  if (sink != Sink::kNone) kvlogSetSink([](const KvLogRecord&) {});
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  Repository* repository =
      admin ? admin->openFileRepository(file.c_str(), false) : nullptr;
  if (!repository) return 3;
  // Never destroyed: the threads use it until the process ends.
  auto* rounds = new Rounds;
  const std::string connection = "FILE=" + file + ";KVXTYPE=SQLITE";
  for (int t = 0; t < kThreads; ++t)
    std::thread(callForever, admin, repository, connection, rounds, t)
        .detach();
  rounds->waitForMore(1);
  if (!openLastStepOfExit(rounds)) return 4;
  if (sink == Sink::kRemovedBeforeExit) kvlogSetSink(nullptr);
  std::exit(0);
}

std::string readText(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

class ExitWithThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
    ASSERT_NE(admin, nullptr);
    ASSERT_TRUE(admin->createFileRepository(file_.c_str()))
        << admin->getErrorMessage().str();
    admin->release();
  }
  void TearDown() override {
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
  }

  // Runs the children at once and checks that each ended by its exit with
  // nothing from a sanitizer on its stderr.
  void everyChildExitsCleanly(Sink sink) {
    auto errors = [&](int index) {
      return dir_.file("stderr" + std::to_string(index));
    };
    const std::vector<int> statuses = runInChildren(kChildren, [&](int index) {
      return exitWhileCalling(file_, errors(index), sink);
    });
    ASSERT_EQ(statuses.size(), static_cast<size_t>(kChildren));
    for (int index = 0; index < kChildren; ++index) {
      const std::string text = readText(errors(index));
      const bool reported = text.find("Sanitizer") != std::string::npos ||
                            text.find("runtime error") != std::string::npos;
      EXPECT_TRUE(statuses[index] == 0 && !reported)
          << "child " << index << " ended with status " << statuses[index]
          << "; its stderr:\n"
          << text;
    }
  }

  TempDir dir_;
  const std::string file_ = dir_.file("shared.db");
};

TEST_F(ExitWithThreadsTest, ExitWithoutASink) {
  everyChildExitsCleanly(Sink::kNone);
}

TEST_F(ExitWithThreadsTest, ExitWithASink) {
  everyChildExitsCleanly(Sink::kInstalled);
}

TEST_F(ExitWithThreadsTest, ExitRightAfterTheSinkIsRemoved) {
  everyChildExitsCleanly(Sink::kRemovedBeforeExit);
}

}  // namespace
