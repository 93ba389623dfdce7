// The process runner that the concurrency cases are built on: every child
// runs, and its answer reaches the parent.
#include "support/child_processes.h"

#include <gtest/gtest.h>

TEST(ChildProcesses, EveryChildRunsAndReportsItsAnswer) {
  EXPECT_EQ(runInChildren(4, [](int index) { return index * 10; }),
            (std::vector<int>{0, 10, 20, 30}));
}
