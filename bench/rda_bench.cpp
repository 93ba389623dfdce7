// Benchmarks of the repository connection on a SQLite file: inserting rows
// through one prepared ReposDataAccessStatement in one transaction, and
// reading them back through the database cursor and through a
// ReposCacheCursor (the engine's internal compact copy that listings make),
// each against the same work through the bare sqlite3 C API on a
// connection opened as the engine opens its own (openBareSqlite). The
// routes a host takes (Repository::paramSelect with cacheAll(), a listing)
// are measured in host_bench.cpp. The counter "vs_sqlite3" is the engine's
// time over the baseline's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <string>

#include "bench_support.h"
#include "rda/rda_factory.h"
#include "rda/repos_cache_cursor.h"

namespace {

bool rdaInsert(ReposDataAccess* rda, int rows) {
  ReposDataAccessStatement* insert =
      rda->createStatement(benchInsertSql("t").c_str());
  if (!insert || !rda->beginTransaction(false, nullptr)) return false;
  // The statement takes KvbDatavar values: a host that binds row after row
  // keeps one per column and sets it in place, as the baseline binds from
  // its int, double and text without building anything.
  KvbDatavar integer, real;
  const KvbDatavar text(kBenchText);
  bool ok = true;
  for (int i = 0; ok && i < rows; ++i) {
    integer.setInt(i);
    real.setReal(i * 0.5);
    ok = insert->setParameter(0, integer) && insert->setParameter(1, real) &&
         insert->setParameter(2, text) && insert->execute();
  }
  insert->release();
  return rda->endTransaction(ok) && ok;
}

// Reads every row's three values, as a host reading a listing does.
bool readAll(ReposDataAccessCursor* cursor, int rows) {
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    sum += cursor->getInt(0) + static_cast<int64_t>(cursor->getDouble(1));
    length += cursor->getString(2).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

bool sqlite3ReadAll(sqlite3* db, int rows) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, "SELECT i, r, s FROM t", -1, &select, nullptr) !=
      SQLITE_OK)
    return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    sum += sqlite3_column_int(select, 0) +
           static_cast<int64_t>(sqlite3_column_double(select, 1));
    length += columnString(select, 2).size();  // as getString copies it
    ++n;
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// The engine's connection and a bare sqlite3 handle on two files with the
// same table, opened the same way and given the same settings.
struct Files {
  explicit Files(benchmark::State& state)
      : rdaFile(benchFile("rda")), rawFile(benchFile("raw")) {
    KvbString error;
    rda = createReposDataAccess(1, rdaFile.c_str(), "", nullptr, error);
    const std::string create = "CREATE TABLE t" + std::string(kBenchColumns);
    ok = rda && rda->paramExec(kBenchFileSettings, nullptr, 0) &&
         rda->paramExec(create.c_str(), nullptr, 0) &&
         (raw = openBareSqlite(rawFile)) != nullptr &&
         sqlite3_exec(raw,
                      (std::string(kBenchFileSettings) + ";" + create).c_str(),
                      nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) state.SkipWithError("the SQLite files cannot be set up");
  }
  ~Files() {
    if (rda) rda->release();
    sqlite3_close(raw);
    std::remove(rdaFile.c_str());
    std::remove(rawFile.c_str());
  }
  bool empty() {
    return rda->paramExec("DELETE FROM t", nullptr, 0) &&
           sqlite3_exec(raw, "DELETE FROM t", nullptr, nullptr, nullptr) ==
               SQLITE_OK;
  }
  bool fill(int rows) {
    return empty() && rdaInsert(rda, rows) && sqlite3Insert(raw, "t", rows);
  }

  std::string rdaFile, rawFile;
  ReposDataAccess* rda = nullptr;
  sqlite3* raw = nullptr;
  bool ok = false;
};

void BM_RdaInsert(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Files files(state);
  if (!files.ok) return;
  compareWithBaseline(
      state, "vs_sqlite3", [&] { return files.empty(); },
      [&] { return rdaInsert(files.rda, rows); },
      [&] { return sqlite3Insert(files.raw, "t", rows); });
}

// Reads all rows through the database cursor, or through a ReposCacheCursor
// filled from it (the copy timed with the read, as a listing's copy is part
// of the listing), against a bare read of the rows as they come.
void readBenchmark(benchmark::State& state, bool cached) {
  const int rows = static_cast<int>(state.range(0));
  Files files(state);
  if (!files.ok || !files.fill(rows)) return;
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] {
        ReposDataAccessCursor* c =
            files.rda->paramSelect("SELECT i, r, s FROM t", 0);
        if (!c || !cached) return c && readAll(c, rows);
        ReposCacheCursor* cache = new ReposCacheCursor;
        bool ok = cache->fill(c, 0);
        c->release();
        return ok && readAll(cache, rows);
      },
      [&] { return sqlite3ReadAll(files.raw, rows); });
}

void BM_RdaCursorRead(benchmark::State& state) { readBenchmark(state, false); }
void BM_RdaCacheCursorRead(benchmark::State& state) {
  readBenchmark(state, true);
}

BENCHMARK(BM_RdaInsert)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RdaCursorRead)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RdaCacheCursorRead)
    ->Arg(100000)
    ->Arg(1000000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
