// The lines that a command of the tests prints, such as the project's
// scripts that start a server or a pooler of a test's own and print its
// folder and its connection string, and a text quoted for that command.
#ifndef TESTS_SUPPORT_SCRIPT_LINES_H_
#define TESTS_SUPPORT_SCRIPT_LINES_H_

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// `text` quoted for the shell.
inline std::string shellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The first `count` lines that `command` (run by the shell) prints, each
// without its line break; empty when the command cannot run or fails.
inline std::vector<std::string> scriptLines(const std::string& command,
                                            size_t count) {
  FILE* out = popen(command.c_str(), "r");
  if (!out) return {};
  std::vector<std::string> lines(count);
  char line[1024];
  for (std::string& text : lines)
    if (std::fgets(line, sizeof line, out))
      text = std::string(line, std::strcspn(line, "\n"));
  if (pclose(out) != 0) return {};
  return lines;
}

#endif  // TESTS_SUPPORT_SCRIPT_LINES_H_
