// kvbench_memory: the memory that reading rows into memory takes, at its
// peak and after the rows are released, each case in a process of its own
// so that no other work's memory (freed or kept) hides or adds to it.
//
//   kvbench_memory [rows] [case ...]
//
// Cases (all of them by default), over `rows` rows (1000000 by default):
//   cacheall       Repository::paramSelect over BENCHROWS (two integers, a
//                  text of 20 characters, a real), cacheAll(), every row
//                  read, the cursor released;
//   cacheall-bare  the same rows copied by bare sqlite3 code into a compact
//                  vector (host_rows.h), read, freed;
//   listing        getKeyValues (the in-memory copy of a listing) over the
//                  repository's key/value pairs, read, released;
//   listing-bare   the same pairs copied into a compact buffer, read, freed.
// Each prints one line of fields:
//   case=cacheall rows=1000000 data_mib=34.3 peak_mib=... kept_mib=...
// data_mib is the size of the values themselves; peak_mib is the most the
// process held above what it held before the work (VmHWM, its peak
// resident size, reset just before through /proc/self/clear_refs, less
// VmRSS before); kept_mib is what it holds still after the release (VmRSS
// after, less VmRSS before). Exits 1 when a case fails.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_support.h"
#include "host_rows.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"

namespace {

const char* const kCases[] = {"cacheall", "cacheall-bare", "listing",
                              "listing-bare"};

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"); -1 when missing.
long statusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, length, field) == 0 && line.size() > length &&
        line[length] == ':')
      return std::atol(line.c_str() + length + 1);
  return -1;
}

// Sets the peak resident size (VmHWM) to the current one.
bool resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

double mib(long kib) { return kib / 1024.0; }

// Runs one case in this process; 0 on success.
int runCase(const std::string& name, int rows) {
  const bool listing = name.compare(0, 7, "listing") == 0;
  const bool bare =
      name.size() > 5 && name.compare(name.size() - 5, 5, "-bare") == 0;
  const std::string file = benchFile(("memory_" + name).c_str());
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  Repository* repository = nullptr;
  sqlite3* raw = nullptr;
  bool ok = admin && admin->createFileRepository(file.c_str()) &&
            (listing ? fillKeyValues(file, rows) : fillHostRows(file, rows));
  if (ok && bare)
    ok = (raw = openBareSqlite(file)) != nullptr;
  else if (ok)
    ok =
        (repository = admin->openFileRepository(file.c_str(), true)) != nullptr;
  const long before = statusKiB("VmRSS");
  const bool peakReset = resetPeak();
  if (ok) {
    if (!bare && !listing) {
      KvbString error;
      ReposDataAccessCursor* cursor =
          repository->paramSelect(kHostRowsSelect, &error, 0);
      ok = cursor && cursor->cacheAll() && readHostRows(cursor, rows);
      if (cursor && !ok) cursor->release();  // readHostRows releases it
    } else if (!bare) {
      ok = readKeyValues(repository->getKeyValues(), rows);
    } else if (!listing) {
      CompactRows* copy = new CompactRows;
      ok = copy->copy(raw) && copy->read(rows);
      delete copy;
    } else {
      CompactKeyValues* copy = new CompactKeyValues;
      ok = copy->copy(raw) && copy->read(rows);
      delete copy;
    }
  }
  const long peak = statusKiB("VmHWM");
  const long after = statusKiB("VmRSS");
  if (repository) repository->release();
  if (admin) admin->release();
  sqlite3_close(raw);
  std::remove(file.c_str());
  if (!ok) {
    std::fprintf(stderr, "kvbench_memory: the case %s failed\n", name.c_str());
    return 1;
  }
  const double data =
      listing ? rows * (11.0 + 20.0) : rows * (4.0 + 4 + 20 + 8);
  std::printf("case=%s rows=%d data_mib=%.1f peak_mib=%.1f kept_mib=%.1f%s\n",
              name.c_str(), rows, data / (1024 * 1024),
              peakReset ? mib(peak - before) : -1.0, mib(after - before),
              peakReset ? "" : " (the peak could not be reset)");
  std::fflush(stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  int rows = 1000000;
  std::vector<std::string> cases;
  for (int i = 1; i < argc; ++i) {
    if (std::atoi(argv[i]) > 0)
      rows = std::atoi(argv[i]);
    else
      cases.emplace_back(argv[i]);
  }
  for (const std::string& name : cases) {
    bool known = false;
    for (const char* c : kCases) known = known || name == c;
    if (!known) {
      std::fprintf(stderr,
                   "usage: kvbench_memory [rows] [cacheall|cacheall-bare|"
                   "listing|listing-bare ...]\n");
      return 2;
    }
  }
  if (cases.empty()) cases.assign(std::begin(kCases), std::end(kCases));
  if (cases.size() == 1) return runCase(cases[0], rows);
  // Each case in a child of its own, which starts from this small process.
  int failed = 0;
  for (const std::string& name : cases) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) _exit(runCase(name, rows));
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child ||
        !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      failed = 1;
  }
  return failed;
}
