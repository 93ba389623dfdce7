// Benchmark of creating a repository in a new SQLite file, against running
// the DDL script that the engine writes for the same repository through the
// bare sqlite3 C API (a connection opened as the engine opens its own) in
// one transaction, which first checks, as the engine does, that the file
// holds no table. The counter "vs_sqlite3" is the
// engine's time over the script's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_support.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"

namespace {

// The script of a new repository, written once by the engine.
std::string repositoryScript(RepositoryAdmin* admin) {
  const std::string target = benchFile("script_target");
  const std::string path = benchFile("script") + ".sql";
  std::string text;
  if (admin->createRepositoryWithDDLFile(
          ("FILE=" + target + ";CREATE=TRUE;KVXTYPE=SQLITE").c_str(), "",
          path.c_str())) {
    std::stringstream in;
    in << std::ifstream(path).rdbuf();
    text = in.str();
  }
  std::remove(path.c_str());
  std::remove(target.c_str());
  return text;
}

// Like the engine's creation, the script runs under the write lock after a
// look at the catalogue for tables that are there already.
bool runScript(const std::string& file, const std::string& script) {
  sqlite3* db = openBareSqlite(file);
  bool ok =
      db && sqlite3_exec(db,
                         ("BEGIN IMMEDIATE;SELECT COUNT(*) FROM sqlite_master "
                          "WHERE type='table';" +
                          script + ";COMMIT;")
                             .c_str(),
                         nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

void BM_CreateRepository(benchmark::State& state) {
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  const std::string script = admin ? repositoryScript(admin) : "";
  if (script.empty()) {
    state.SkipWithError("the engine wrote no script");
  } else {
    const std::string engineFile = benchFile("create_engine");
    const std::string rawFile = benchFile("create_raw");
    compareWithBaseline(
        state, "vs_sqlite3",
        [&] {
          std::remove(engineFile.c_str());
          std::remove(rawFile.c_str());
          return true;
        },
        [&] { return admin->createFileRepository(engineFile.c_str()); },
        [&] { return runScript(rawFile, script); });
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }
  if (admin) admin->release();
}
BENCHMARK(BM_CreateRepository)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
