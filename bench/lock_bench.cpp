// Benchmark of threads taking turns at one shared connection: 16 threads
// each run short transactions (begin, one insert through a statement of
// the thread's own, commit) on one engine connection to a SQLite file,
// against the same work on one bare sqlite3 connection whose threads take
// turns at a std::mutex held from each BEGIN to its COMMIT. The counter
// "vs_mutex" is the engine's time over the baseline's: what the engine's
// fair turns (each thread that lets go hands the lock to the first waiter)
// cost over a plain mutex, which lets a thread that lets go take it again.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "rda/rda_factory.h"

namespace {

constexpr int kThreads = 16;

// Runs `work(thread)` on kThreads threads at once; true when all succeed.
bool onThreads(const std::function<bool(int)>& work) {
  std::vector<char> ok(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] { ok[t] = work(t); });
  for (std::thread& thread : threads) thread.join();
  for (char each : ok)
    if (!each) return false;
  return true;
}

bool engineTurns(ReposDataAccess* rda, int transactions) {
  return onThreads([&](int t) {
    ReposDataAccessStatement* insert =
        rda->createStatement(benchInsertSql("t").c_str());
    if (!insert) return false;
    KvbDatavar integer, real;
    const KvbDatavar text(kBenchText);
    bool ok = true;
    for (int i = 0; ok && i < transactions; ++i) {
      integer.setInt(t * transactions + i);
      real.setReal(i * 0.5);
      ok = rda->beginTransaction(false, nullptr) &&
           insert->setParameter(0, integer) && insert->setParameter(1, real) &&
           insert->setParameter(2, text) && insert->execute();
      ok = rda->endTransaction(ok) && ok;
    }
    insert->release();
    return ok;
  });
}

bool mutexTurns(sqlite3* db, std::mutex& turns, int transactions) {
  return onThreads([&](int t) {
    sqlite3_stmt* insert = nullptr;
    {
      std::lock_guard<std::mutex> guard(turns);
      if (sqlite3_prepare_v2(db, benchInsertSql("t").c_str(), -1, &insert,
                             nullptr) != SQLITE_OK)
        return false;
    }
    bool ok = true;
    for (int i = 0; ok && i < transactions; ++i) {
      std::lock_guard<std::mutex> guard(turns);
      ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
      if (ok) {
        sqlite3_bind_int(insert, 1, t * transactions + i);
        sqlite3_bind_double(insert, 2, i * 0.5);
        sqlite3_bind_text(insert, 3, kBenchText, -1, SQLITE_STATIC);
        ok = sqlite3_step(insert) == SQLITE_DONE;
        sqlite3_reset(insert);
      }
      ok = sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                        nullptr) == SQLITE_OK &&
           ok;
    }
    std::lock_guard<std::mutex> guard(turns);
    sqlite3_finalize(insert);
    return ok;
  });
}

// range(0): transactions in all, shared out among the threads.
void BM_SharedConnectionTurns(benchmark::State& state) {
  const int perThread = static_cast<int>(state.range(0)) / kThreads;
  const std::string rdaFile = benchFile("turns_rda");
  const std::string rawFile = benchFile("turns_raw");
  KvbString error;
  ReposDataAccess* rda =
      createReposDataAccess(1, rdaFile.c_str(), "", nullptr, error);
  sqlite3* raw = openBareSqlite(rawFile);
  const std::string setup =
      std::string(kBenchFileSettings) + ";CREATE TABLE t" + kBenchColumns;
  std::mutex turns;
  if (rda && raw &&
      rda->paramExec(kBenchFileSettings, nullptr, 0) &&
      rda->paramExec(("CREATE TABLE t" + std::string(kBenchColumns)).c_str(),
                     nullptr, 0) &&
      sqlite3_exec(raw, setup.c_str(), nullptr, nullptr, nullptr) ==
          SQLITE_OK) {
    compareWithBaseline(
        state, "vs_mutex",
        [&] {
          return rda->paramExec("DELETE FROM t", nullptr, 0) &&
                 sqlite3_exec(raw, "DELETE FROM t", nullptr, nullptr,
                              nullptr) == SQLITE_OK;
        },
        [&] { return engineTurns(rda, perThread); },
        [&] { return mutexTurns(raw, turns, perThread); });
  } else {
    state.SkipWithError("the SQLite files cannot be set up");
  }
  if (rda) rda->release();
  sqlite3_close(raw);
  std::remove(rdaFile.c_str());
  std::remove(rawFile.c_str());
}

BENCHMARK(BM_SharedConnectionTurns)
    ->Arg(16000)
    ->Arg(64000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
