// A host's thread pool on one shared repository: 16 threads run 300 tasks
// that each add a monitoring task inside a transaction and then commit,
// roll back, throw, return without ending it, or hand it to a thread of
// their own that ends with it open. Every task's data-access object is
// released as its task ends. Afterwards the repository must hold exactly
// the rows of the transactions whose commit answered true (no lost row, no
// row of a transaction that did not commit), and no call may have taken
// longer than the busy timeout and a second.
//
// Not a ctest case: the reliability harness runs it under ThreadSanitizer
// and AddressSanitizer. Exits with 1 on a wrong row or a slow call, 2 when
// the run could not be set up.
//
//   kvthread_pool_stress [--threads N] [--tasks T]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvlogging/kvlogging.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kBusyTimeoutMs = 1000;

[[noreturn]] void abandon(const std::string& why) {
  std::cerr << "thread pool stress: " << why << "\n";
  std::exit(2);
}

struct Release {
  void operator()(MonitorRepositoryDataAccess* m) const { m->release(); }
};
using Monitor = std::unique_ptr<MonitorRepositoryDataAccess, Release>;

// What the tasks leave: the names that must be stored, and the longest
// call.
class Outcome {
 public:
  void stored(const std::string& name) {
    std::lock_guard<std::mutex> guard(mutex_);
    stored_.insert(name);
  }
  std::set<std::string> storedNames() {
    std::lock_guard<std::mutex> guard(mutex_);
    return stored_;
  }
  // Runs `call` and keeps its time.
  template <class Call>
  bool timed(const Call& call) {
    const Clock::time_point start = Clock::now();
    const bool ok = call();
    const long long ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                             Clock::now() - start)
                             .count();
    long long seen = longestMs.load();
    while (ms > seen && !longestMs.compare_exchange_weak(seen, ms)) {
    }
    return ok;
  }
  std::atomic<long long> longestMs{0};

 private:
  std::mutex mutex_;
  std::set<std::string> stored_;
};

bool add(Outcome& outcome, MonitorRepositoryDataAccess* m,
         const std::string& name) {
  int id = 0;
  return outcome.timed([&] {
    return m->addTask(name.c_str(), name.c_str(), "u", 0, "", "", &id);
  });
}

// One task of the pool; its kind is its number modulo 5.
void runTask(Repository* repository, Outcome& outcome, int number) {
  const std::string name = "task" + std::to_string(number);
  Monitor m(repository->createMonitorDataAccess());
  if (!m) abandon("no monitoring data access");
  const bool began = outcome.timed([&] { return m->beginTransaction(1, 0); });
  switch (number % 5) {
    case 0: {  // commits
      const bool added = began && add(outcome, m.get(), name);
      const bool ended =
          outcome.timed([&] { return m->endTransaction(began && added); });
      if (began && added && ended) outcome.stored(name);
      break;
    }
    case 1:  // rolls back
      add(outcome, m.get(), name);
      outcome.timed([&] { return m->endTransaction(false); });
      break;
    case 2:  // throws past its end
      add(outcome, m.get(), name);
      throw std::runtime_error("the task failed");
    case 3:  // returns without ending
      add(outcome, m.get(), name);
      break;
    case 4:  // its thread ends with the transaction open
      if (began) outcome.timed([&] { return m->endTransaction(false); });
    {
      // The object outlives the thread: the pool thread releases it.
      MonitorRepositoryDataAccess* own = repository->createMonitorDataAccess();
      std::thread([&] {
        if (outcome.timed([&] { return own->beginTransaction(1, 0); }))
          add(outcome, own, name);
      }).join();
      own->release();
      break;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  int threads = 16, tasks = 300;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    if (flag == "--threads")
      threads = std::atoi(argv[i + 1]);
    else if (flag == "--tasks")
      tasks = std::atoi(argv[i + 1]);
    else
      abandon("unknown option " + flag);
  }
  // The rollbacks of the tasks that leave their transaction open are
  // logged as warnings, hundreds of them: expected here.
  kvlogSetSink([](const KvLogRecord&) {});
  kvbGetConfigOptions("")->set("SQLITE/BUSY_TIMEOUT",
                               std::to_string(kBusyTimeoutMs).c_str());
  TempDir dir;
  const std::string file = dir.file("pool.db");
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  if (!admin || !admin->createFileRepository(file.c_str()))
    abandon("cannot create the repository");
  Repository* repository = admin->openFileRepository(file.c_str(), true);
  if (!repository) abandon("cannot open the repository");

  Outcome outcome;
  std::atomic<int> next{0};
  std::vector<std::thread> pool;
  for (int t = 0; t < threads; ++t) {
    pool.emplace_back([&] {
      for (int n; (n = next++) < tasks;) {
        try {
          runTask(repository, outcome, n);
        } catch (const std::exception&) {
        }
      }
    });
  }
  for (std::thread& thread : pool) thread.join();
  repository->release();

  // The rows as a fresh connection sees them.
  Repository* reader = admin->openFileRepository(file.c_str(), true);
  if (!reader) abandon("cannot open the repository again");
  Monitor m(reader->createMonitorDataAccess());
  std::set<std::string> found;
  if (ReposDataAccessCursor* cursor = m->listTasks()) {
    while (cursor->next() == 1) found.insert(cursor->getString(1).str());
    cursor->release();
  }
  m.reset();
  reader->release();
  admin->release();

  const std::set<std::string> expected = outcome.storedNames();
  int wrong = 0;
  for (const std::string& name : expected)
    if (!found.count(name)) std::cerr << "lost: " << name << "\n", ++wrong;
  for (const std::string& name : found)
    if (!expected.count(name)) std::cerr << "phantom: " << name << "\n", ++wrong;
  const bool slow = outcome.longestMs.load() > kBusyTimeoutMs + 1000;
  std::cout << "thread pool stress: " << tasks << " tasks on " << threads
            << " threads, " << expected.size() << " committed, " << wrong
            << " wrong rows, longest call " << outcome.longestMs.load()
            << " ms\n";
  return wrong || slow ? 1 : 0;
}
