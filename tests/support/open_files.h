// openFiles: how many of this process's file descriptors are open on a
// file, read from /proc/self/fd, for tests of when a connection closes its
// database file.
#ifndef TESTS_SUPPORT_OPEN_FILES_H_
#define TESTS_SUPPORT_OPEN_FILES_H_

#include <dirent.h>
#include <unistd.h>

#include <string>

inline int openFiles(const std::string& path) {
  int n = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (dirent* fd = fds ? readdir(fds) : nullptr) {
    char target[4096];
    const std::string link = std::string("/proc/self/fd/") + fd->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    n += length > 0 && std::string(target, length) == path;
  }
  if (fds) closedir(fds);
  return n;
}

#endif  // TESTS_SUPPORT_OPEN_FILES_H_
