// HoldingThread: a thread that holds a transaction on a repository's
// connection for as long as a test needs it, so that the test can watch
// what other threads get meanwhile; and addTask, the write it holds.
#ifndef TESTS_SUPPORT_HOLDING_THREAD_H_
#define TESTS_SUPPORT_HOLDING_THREAD_H_

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "reposadmin/monitor_data_access.h"

// Adds a monitoring task named `name` through `m`.
inline bool addTask(MonitorRepositoryDataAccess* m, const char* name) {
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
          EXPECT_TRUE(addTask(m, name));
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

#endif  // TESTS_SUPPORT_HOLDING_THREAD_H_
