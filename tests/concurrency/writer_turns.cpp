// Writers taking turns on one SQLite repository file: N processes (default
// 8) each add monitoring tasks to the same repository for T seconds
// (default 30), every add a write transaction of its own. Reports the adds
// made, the adds that failed with their texts (counted by text), and the
// median and longest wait of one add. With writers that take turns no add
// fails: each waits at most a few of the others' transactions, far inside
// the busy timeout ("SQLITE/BUSY_TIMEOUT").
//
// Not a ctest case: scripts/writer-turns.sh builds and runs it, and the
// reliability harness runs a short version. Exits with 1 when an add
// failed, 2 when the run could not be set up.
//
//   kvwriter_turns [--processes N] [--seconds T] [--route R] [--file PATH]
//
// R is "file" (the file opened directly, the default), "connection" (the
// "KVXTYPE=SQLITE" connection string) or "odbc" (the SQLite3 ODBC driver).
// Without --file the repository is made in a fresh folder under
// KV_TEST_TMPDIR (or /tmp) and removed afterwards.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "kvlogging/kvlogging.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
  int processes = 8;
  int seconds = 30;
  std::string route = "file";
  std::string file;
};

[[noreturn]] void abandon(const std::string& why) {
  std::cerr << "writer turns: " << why << "\n";
  std::exit(2);
}

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) abandon("the option " + flag + " needs a value");
    const std::string value = argv[++i];
    if (flag == "--processes")
      options.processes = std::atoi(value.c_str());
    else if (flag == "--seconds")
      options.seconds = std::atoi(value.c_str());
    else if (flag == "--route")
      options.route = value;
    else if (flag == "--file")
      options.file = value;
    else
      abandon("unknown option " + flag);
  }
  if (options.processes < 1 || options.seconds < 1)
    abandon("--processes and --seconds take numbers of at least 1");
  if (options.route != "file" && options.route != "connection" &&
      options.route != "odbc")
    abandon("--route is file, connection or odbc");
  return options;
}

Repository* openRepository(RepositoryAdmin* admin, const Options& options) {
  if (options.route == "file")
    return admin->openFileRepository(options.file.c_str(), true);
  const std::string connection =
      options.route == "odbc"
          ? "Driver=SQLite3;Database=" + options.file + ";"
          : "FILE=" + options.file + ";KVXTYPE=SQLITE";
  return admin->openRepositoryConnection(connection.c_str(), "", true,
                                         nullptr);
}

// One child: adds tasks until the deadline and writes one line per add to
// `out`, "<microseconds>" for an add made and "<microseconds> <text>" for
// a failed one, or the one line "open <text>" when the repository could not
// be opened (the open waits for the lock too). Answers 0.
int writer(int index, const Options& options, const std::string& out,
           Clock::time_point deadline) {
  std::ofstream lines(out);
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  Repository* repository = admin ? openRepository(admin, options) : nullptr;
  MonitorRepositoryDataAccess* monitor =
      repository ? repository->createMonitorDataAccess() : nullptr;
  if (!monitor) {
    lines << "open " << (admin ? admin->getErrorMessage().str() : "no admin")
          << "\n";
    if (admin) admin->release();
    return 0;
  }
  for (int n = 0; Clock::now() < deadline; ++n) {
    const std::string name =
        "task " + std::to_string(index) + "-" + std::to_string(n);
    const std::string code =
        "code-" + std::to_string(index) + "-" + std::to_string(n);
    const Clock::time_point start = Clock::now();
    int id = -1;
    const bool added = monitor->addTask(name.c_str(), code.c_str(), "turns", 0,
                                        "", "", &id);
    const auto waited = std::chrono::duration_cast<std::chrono::microseconds>(
                            Clock::now() - start)
                            .count();
    lines << waited;
    if (!added) lines << " " << monitor->getErrorMessage().str();
    lines << "\n";
  }
  monitor->release();
  repository->release();
  admin->release();
  return 0;
}

std::string milliseconds(long long micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f ms", micros / 1000.0);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = parse(argc, argv);
  // Failures are counted in the summary; their log records would only
  // repeat them.
  kvlogSetSink([](const KvLogRecord&) {});
  TempDir scratch;
  if (scratch.path().empty()) abandon("cannot make a scratch folder");
  const bool ownFile = options.file.empty();
  if (ownFile) options.file = scratch.file("turns.db");

  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  if (!admin) abandon("cannot make the repository admin");
  if (ownFile && !admin->createFileRepository(options.file.c_str()))
    abandon("cannot create the repository: " + admin->getErrorMessage().str());
  admin->release();

  std::cout << options.processes << " processes adding tasks to "
            << options.file << " (" << options.route << ") for "
            << options.seconds << " s\n"
            << std::flush;
  // The children start together and stop at one deadline, counted from
  // the moment the last of them exists.
  const auto outFile = [&](int index) {
    return scratch.file("writer" + std::to_string(index) + ".txt");
  };
  const std::vector<int> statuses =
      runInChildren(options.processes, [&](int index) {
        const Clock::time_point deadline =
            Clock::now() + std::chrono::seconds(options.seconds);
        return writer(index, options, outFile(index), deadline);
      });

  std::vector<long long> waits;
  std::map<std::string, int> failures, failedOpens;
  bool started = true;
  for (int index = 0; index < options.processes; ++index) {
    if (statuses.size() != static_cast<size_t>(options.processes) ||
        statuses[index] != 0) {
      std::cerr << "writer " << index << " ended with status "
                << (index < static_cast<int>(statuses.size()) ? statuses[index]
                                                              : -1)
                << "\n";
      started = false;
    }
    std::ifstream lines(outFile(index));
    std::string line;
    while (std::getline(lines, line)) {
      const size_t blank = line.find(' ');
      if (line.compare(0, blank, "open") == 0) {
        ++failedOpens[line.substr(blank + 1)];
        continue;
      }
      waits.push_back(std::atoll(line.substr(0, blank).c_str()));
      if (blank != std::string::npos) ++failures[line.substr(blank + 1)];
    }
  }
  if (ownFile) std::remove(options.file.c_str());
  if (!started) abandon("the writers did not run");

  int failed = 0;
  for (const auto& failure : failures) failed += failure.second;
  std::cout << "adds: " << waits.size() << ", failed: " << failed << "\n";
  for (const auto& failure : failures)
    std::cout << "  " << failure.second << " x " << failure.first << "\n";
  for (const auto& failure : failedOpens)
    std::cout << "failed opens: " << failure.second << " x " << failure.first
              << "\n";
  if (!waits.empty()) {
    std::sort(waits.begin(), waits.end());
    std::cout << "wait per add: median "
              << milliseconds(waits[waits.size() / 2]) << ", longest "
              << milliseconds(waits.back()) << "\n";
  }
  return failed == 0 && failedOpens.empty() ? 0 : 1;
}
