// Runs test code in a child process whose files cannot grow beyond a limit,
// so that a write fails part-way on a real file system (as on a full disk).
#ifndef TESTS_SUPPORT_FILE_SIZE_LIMIT_H_
#define TESTS_SUPPORT_FILE_SIZE_LIMIT_H_

#include <sys/resource.h>

#include <csignal>
#include <functional>

#include "support/child_processes.h"

// The exit status of `body` run in a child whose writes beyond `bytes` of a
// file fail (with EFBIG rather than the default signal).
inline int runWithFileSizeLimit(rlim_t bytes,
                                const std::function<int()>& body) {
  const std::vector<int> statuses = runInChildren(1, [&](int) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{bytes, bytes};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 99;
    return body();
  });
  return statuses.empty() ? -1 : statuses.front();
}

#endif  // TESTS_SUPPORT_FILE_SIZE_LIMIT_H_
