// Shared pieces of the benchmarks: file names, the one way every bare
// sqlite3 baseline opens its connection (as the engine opens its own), the
// bare sqlite3 insert that serves as a baseline, the run that times the
// engine and its baselines on the same work and reports the ratios, and the
// engine's cost per row.
//
// Figures: one run gives one ratio per benchmark, size and baseline, from
// as few as one timing of each side at 1M rows. scripts/bench-ratios.py
// runs the benchmarks with repetitions (5 by default) and prints, per
// benchmark, size and baseline, the median and the spread (min-max) of the
// per-repetition ratios.
#ifndef BENCH_BENCH_SUPPORT_H_
#define BENCH_BENCH_SUPPORT_H_

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"

constexpr char kBenchText[] = "a row of benchmark text";
constexpr char kBenchColumns[] = " (i INTEGER, r REAL, s VARCHAR(40))";

inline std::string benchFile(const char* name) {
  const char* dir = std::getenv("KV_TEST_TMPDIR");
  return std::string(dir && *dir ? dir : "/tmp") + "/kvbench_" + name + "_" +
         std::to_string(getpid()) + ".db";
}

// Opens the SQLite file at `path` (creating it when it is missing) for a
// bare baseline, as the engine opens its own connections: with the flags
// of the engine's openDatabase (sqliteOpenFlags of kvsqlstore, which
// openDatabase itself uses, so that a change there reaches every baseline),
// among them SQLITE_OPEN_NOMUTEX, so that neither side has SQLite take a
// mutex at each step, bind and column call. The engine sets no pragma of
// its own on a connection; a benchmark that changes a setting
// (kBenchFileSettings) changes it on both sides. The engine also installs a
// busy handler, which waits for a lock that another connection holds; a
// baseline needs none, as no benchmark has connections contend for a file,
// and the handler is only called when a lock is met.
//
// Every bare connection of the benchmarks is opened here. The run stops
// with a message when the connection does not have the mode that the flags
// ask for (with SQLITE_OPEN_NOMUTEX SQLite gives it no mutex), so that the
// baselines cannot drift from the engine without notice. Null when the file
// cannot be opened.
inline sqlite3* openBareSqlite(const std::string& path) {
  const int flags = sqliteOpenFlags(true);
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    return nullptr;
  }
  const bool noMutex = (flags & SQLITE_OPEN_NOMUTEX) != 0;
  const bool fullMutex = (flags & SQLITE_OPEN_FULLMUTEX) != 0;
  if ((noMutex && sqlite3_db_mutex(db) != nullptr) ||
      (fullMutex && sqlite3_db_mutex(db) == nullptr)) {
    std::fprintf(stderr,
                 "kvbench: the bare connection to %s does not have the "
                 "threading mode of the engine's connections (flags 0x%x)\n",
                 path.c_str(), static_cast<unsigned>(flags));
    std::abort();
  }
  return db;
}

// The file settings of the benchmarks that change any: both sides skip the
// wait for the disk at each commit, so that only their own work differs.
// The engine's connection is given the same statement (paramExec, or
// DacConnection::execute).
constexpr char kBenchFileSettings[] = "PRAGMA synchronous=OFF";

// The text of a column of the current row as a std::string of its bytes
// ("" for a null), as a bare reader copies a text out of SQLite where the
// engine's getString hands one out by value.
inline std::string columnString(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  return text
             ? std::string(
                   reinterpret_cast<const char*>(text),
                   static_cast<size_t>(sqlite3_column_bytes(statement, column)))
             : std::string();
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
      static_cast<double>(rows), benchmark::Counter::kIsIterationInvariantRate |
                                     benchmark::Counter::kInvert);
}

// A bare baseline of a comparison: its work, and the counter that reports
// the engine's time over the baseline's.
struct Baseline {
  const char* counter;
  std::function<bool()> work;
};

// Runs the engine's work and each baseline's once per iteration, after
// `reset`, and reports the engine's time with its ratio to each baseline's
// as that baseline's counter, with its cost per row (a row per unit of
// state.range(0)).
inline void compareWithBaselines(benchmark::State& state,
                                 const std::function<bool()>& reset,
                                 const std::function<bool()>& engine,
                                 const std::vector<Baseline>& baselines) {
  // Side 0 is the engine, side k the k-th baseline.
  const size_t sides = baselines.size() + 1;
  std::vector<double> totals(sides, 0.0);
  // The sides take turns at going first: each iteration runs them in the
  // same circular order, starting one side further on, so that none always
  // meets the state (caches, pages just written, memory just freed) that
  // another or the reset left. The turn carries over from one run to the
  // next, so that repetitions of one iteration each (1M rows) do not all
  // start with the same side.
  static size_t turn = 0;
  for (auto _ : state) {
    bool ok = reset();
    std::vector<double> times(sides, 0.0);
    for (size_t k = 0; k < sides; ++k) {
      const size_t side = (turn + k) % sides;
      times[side] =
          secondsOf(side == 0 ? engine : baselines[side - 1].work, ok);
    }
    ++turn;
    if (!ok) {
      state.SkipWithError("the work failed");
      return;
    }
    for (size_t side = 0; side < sides; ++side) totals[side] += times[side];
    state.SetIterationTime(times[0]);
  }
  for (size_t k = 0; k < baselines.size(); ++k)
    state.counters[baselines[k].counter] = totals[0] / totals[k + 1];
  state.SetItemsProcessed(state.iterations() * state.range(0));
  reportPerRow(state, state.range(0));
}

// The comparison with one baseline, whose ratio is reported as `counter`;
// the engine and the baseline go first in turn.
inline void compareWithBaseline(benchmark::State& state, const char* counter,
                                const std::function<bool()>& reset,
                                const std::function<bool()>& engine,
                                const std::function<bool()>& baseline) {
  compareWithBaselines(state, reset, engine, {{counter, baseline}});
}

#endif  // BENCH_BENCH_SUPPORT_H_
