// Shared pieces of the benchmarks: file names, the bare sqlite3 insert that
// serves as a baseline, the run that times the engine and its baseline on
// the same work and reports their ratio, and the engine's cost per row.
#ifndef BENCH_BENCH_SUPPORT_H_
#define BENCH_BENCH_SUPPORT_H_

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

constexpr char kBenchText[] = "a row of benchmark text";
constexpr char kBenchColumns[] = " (i INTEGER, r REAL, s VARCHAR(40))";

inline std::string benchFile(const char* name) {
  const char* dir = std::getenv("KV_TEST_TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kvbench_" + name + "_" +
         std::to_string(getpid()) + ".db";
}

inline std::string benchInsertSql(const std::string& table) {
  return "INSERT INTO " + table + " (i, r, s) VALUES (?, ?, ?)";
}

// Inserts `rows` rows with one prepared statement in one transaction
// through the bare sqlite3 API.
inline bool sqlite3Insert(sqlite3* db, const std::string& table, int rows) {
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db, benchInsertSql(table).c_str(), -1, &insert,
                         nullptr) != SQLITE_OK)
    return false;
  bool ok = true;
  for (int i = 0; ok && i < rows; ++i) {
    sqlite3_bind_int(insert, 1, i);
    sqlite3_bind_double(insert, 2, i * 0.5);
    sqlite3_bind_text(insert, 3, kBenchText, -1, SQLITE_STATIC);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  return sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                      nullptr) == SQLITE_OK &&
         ok;
}

inline double secondsOf(const std::function<bool()>& work, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  ok = work() && ok;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
      .count();
}

// Reports the engine's time per row over all iterations as the counter
// "per_row" (in seconds, printed as e.g. "590ns"), so that one benchmark
// run at two sizes shows whether the cost of a row grows with the number
// of rows. A benchmark with manual time measures the engine's time alone.
inline void reportPerRow(benchmark::State& state, int64_t rows) {
  state.counters["per_row"] = benchmark::Counter(
      static_cast<double>(rows),
      benchmark::Counter::kIsIterationInvariantRate |
          benchmark::Counter::kInvert);
}

// Runs the engine's work and the baseline's once per iteration, after
// `reset`, and reports the engine's time with the ratio of the two as
// `counter`, with its cost per row (a row per unit of state.range(0)).
inline void compareWithBaseline(benchmark::State& state, const char* counter,
                                const std::function<bool()>& reset,
                                const std::function<bool()>& engine,
                                const std::function<bool()>& baseline) {
  double engineTotal = 0, baselineTotal = 0;
  bool engineFirst = true;
  for (auto _ : state) {
    bool ok = reset();
    // The two take turns at going first, so that neither always meets the
    // state (caches, pages just written) that the other or the reset left.
    double engineTime = 0;
    if (engineFirst) engineTime = secondsOf(engine, ok);
    baselineTotal += secondsOf(baseline, ok);
    if (!engineFirst) engineTime = secondsOf(engine, ok);
    engineFirst = !engineFirst;
    if (!ok) {
      state.SkipWithError("the work failed");
      return;
    }
    engineTotal += engineTime;
    state.SetIterationTime(engineTime);
  }
  state.counters[counter] = engineTotal / baselineTotal;
  state.SetItemsProcessed(state.iterations() * state.range(0));
  reportPerRow(state, state.range(0));
}

#endif  // BENCH_BENCH_SUPPORT_H_
