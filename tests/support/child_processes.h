// Runs a piece of test code in several real processes at once, for the
// cases where separate processes race on one file or one database. Each
// child runs the function, leaves with its answer as exit status (0 means
// success) and never returns into the test framework.
#ifndef TESTS_SUPPORT_CHILD_PROCESSES_H_
#define TESTS_SUPPORT_CHILD_PROCESSES_H_

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

// Forks `count` children that each call `body(index)` and exit with its
// answer. The children start together: each waits on a shared pipe that the
// parent closes once all of them exist. Returns the exit statuses in child
// order; a child that died of a signal gives 128 + the signal number.
inline std::vector<int> runInChildren(int count,
                                      const std::function<int(int)>& body) {
  int gate[2];
  if (::pipe(gate) != 0) return {};
  std::vector<pid_t> children;
  for (int index = 0; index < count; ++index) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(gate[1]);
      char byte;
      while (::read(gate[0], &byte, 1) > 0) {
      }
      ::_exit(body(index));
    }
    children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);  // every child's read now returns 0: they start together
  std::vector<int> statuses;
  for (const pid_t pid : children) {
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) < 0)
      statuses.push_back(-1);
    else if (WIFEXITED(status))
      statuses.push_back(WEXITSTATUS(status));
    else
      statuses.push_back(128 + WTERMSIG(status));
  }
  return statuses;
}

#endif  // TESTS_SUPPORT_CHILD_PROCESSES_H_
