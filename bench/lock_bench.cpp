// Benchmarks of threads sharing one engine connection, each against the
// same work on one bare connection whose threads take turns at one
// std::mutex, held wherever the engine holds its connection lock:
// - BM_SharedConnectionTurns: 16 threads each run short transactions
//   (begin, one insert through a statement of the thread's own, commit) on
//   a SQLite file; the baseline holds the mutex from each BEGIN to its
//   COMMIT.
// - BM_LockCursorReads (SQLite) and BM_LockCursorReadsPostgres (when
//   KV_TEST_PG_CONNECTION is set): 8 threads each make calls that take the
//   lock several times: a query with two bound values (paramSelect), its
//   first 4 rows fetched one by one, and the cursor's release. The
//   baseline holds the mutex as often: to bind and run the query (a
//   statement that its thread keeps prepared on SQLite; sent with its run,
//   SQLExecDirect, on ODBC, as paramSelect sends it), at each row fetched
//   and read, and to end the cursor.
// - BM_LockFailureBurst: 100 or 1,000 threads let go at once, each failing
//   50 times (an end of a transaction that was never begun, which takes
//   the lock, fails and records the thread's error text); the baseline
//   takes the mutex and sets the thread's own copy of the same text. The
//   threads start before the timing and wait to be let go together.
// The counter "vs_mutex" is the engine's time over the baseline's: what
// taking turns at the engine's lock, and its work around it, cost over a
// plain mutex.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "odbc_baseline.h"
#include "rda/rda_factory.h"

namespace {

// Ends the engine's and the bare connection of a benchmark and removes
// their files.
void closeBoth(ReposDataAccess* rda, sqlite3* raw, const std::string& rdaFile,
               const std::string& rawFile) {
  if (rda) rda->release();
  sqlite3_close(raw);
  std::remove(rdaFile.c_str());
  std::remove(rawFile.c_str());
}

constexpr int kThreads = 16;
constexpr int kReaders = 8;
constexpr int kTableRows = 1000;
constexpr int kRowsPerCall = 4;
constexpr int kFailuresPerThread = 50;

// Threads started ahead of the timing, each waiting until run() lets them
// all go at once, so that neither side's time includes starting them.
class ParkedThreads {
 public:
  ParkedThreads(int count, std::function<bool(int)> work)
      : work_(std::move(work)), ok_(count, 0) {
    threads_.reserve(count);
    for (int t = 0; t < count; ++t)
      threads_.emplace_back([this, t] {
        gate_.wait();
        ok_[t] = work_(t);
      });
  }
  ~ParkedThreads() { run(); }
  ParkedThreads(const ParkedThreads&) = delete;
  ParkedThreads& operator=(const ParkedThreads&) = delete;

  // Lets the threads go and waits for them; true when all succeeded.
  bool run() {
    if (threads_.empty()) return false;
    go_.set_value();
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
    for (char each : ok_)
      if (!each) return false;
    return true;
  }

 private:
  std::function<bool(int)> work_;
  std::vector<char> ok_;
  std::promise<void> go_;
  std::shared_future<void> gate_ = go_.get_future().share();
  std::vector<std::thread> threads_;
};

// The engine's threads and the baseline's, parked anew before each timing.
struct ParkedSides {
  bool park(int count, const std::function<bool(int)>& engine,
            const std::function<bool(int)>& baseline) {
    engineThreads = std::make_unique<ParkedThreads>(count, engine);
    baselineThreads = std::make_unique<ParkedThreads>(count, baseline);
    return true;
  }
  bool runEngine() { return engineThreads && engineThreads->run(); }
  bool runBaseline() { return baselineThreads && baselineThreads->run(); }

  std::unique_ptr<ParkedThreads> engineThreads;
  std::unique_ptr<ParkedThreads> baselineThreads;
};

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
  closeBoth(rda, raw, rdaFile, rawFile);
}

BENCHMARK(BM_SharedConnectionTurns)
    ->Arg(16000)
    ->Arg(64000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The query of a read call: kRowsPerCall rows of `table` from a first i on.
std::string readSql(const std::string& table) {
  return "SELECT i, r, s FROM " + table + " WHERE i >= ? AND i < ? ORDER BY i";
}

// The first i of call `call` of thread `thread`.
int firstRow(int thread, int call) {
  return (thread * 131 + call * kRowsPerCall) % (kTableRows - kRowsPerCall);
}

// One read call on the engine's connection: the query, its rows fetched
// and read one by one as a host reads them, the cursor released.
bool engineRead(ReposDataAccess* rda, const std::string& sql, int first) {
  const KvbDatavar low(first), high(first + kRowsPerCall);
  ReposDataAccessCursor* cursor = rda->paramSelect(sql.c_str(), 2, &low, &high);
  if (!cursor) return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (n < kRowsPerCall && cursor->next() == 1) {
    sum += cursor->getInt(0) + static_cast<int64_t>(cursor->getDouble(1));
    length += cursor->getString(2).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == kRowsPerCall;
}

// A thread's calls; the first that fails ends them, its reason on stderr.
bool engineReads(ReposDataAccess* rda, const std::string& sql, int thread,
                 int calls) {
  for (int call = 0; call < calls; ++call)
    if (!engineRead(rda, sql, firstRow(thread, call))) {
      std::fprintf(stderr, "kvbench: read call %d of thread %d failed: %s\n",
                   call, thread, rda->getErrorMessage().asCstr());
      return false;
    }
  return true;
}

// The same calls on a bare sqlite3 connection: each thread keeps its
// statement prepared, as a careful program does (the engine keeps its
// compiled statements in a cache), and takes the mutex where the engine
// takes its lock.
bool sqlite3Reads(sqlite3* db, std::mutex& turns, int thread, int calls) {
  sqlite3_stmt* select = nullptr;
  {
    std::lock_guard<std::mutex> guard(turns);
    if (sqlite3_prepare_v2(db, readSql("t").c_str(), -1, &select, nullptr) !=
        SQLITE_OK)
      return false;
  }
  int64_t sum = 0;
  size_t length = 0;
  bool ok = true;
  for (int call = 0; ok && call < calls; ++call) {
    const int first = firstRow(thread, call);
    {
      std::lock_guard<std::mutex> guard(turns);
      ok = sqlite3_bind_int(select, 1, first) == SQLITE_OK &&
           sqlite3_bind_int(select, 2, first + kRowsPerCall) == SQLITE_OK;
    }
    for (int n = 0; ok && n < kRowsPerCall; ++n) {
      std::lock_guard<std::mutex> guard(turns);
      ok = sqlite3_step(select) == SQLITE_ROW;
      if (ok) {
        sum += sqlite3_column_int(select, 0) +
               static_cast<int64_t>(sqlite3_column_double(select, 1));
        length += columnString(select, 2).size();  // as getString copies it
      }
    }
    std::lock_guard<std::mutex> guard(turns);
    sqlite3_reset(select);
  }
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  std::lock_guard<std::mutex> guard(turns);
  sqlite3_finalize(select);
  return ok;
}

// Says on stderr why a bare ODBC read failed.
void reportOdbcFailure(SQLHSTMT statement) {
  SQLCHAR state[6] = "", text[512] = "";
  SQLINTEGER code = 0;
  SQLSMALLINT length = 0;
  if (statement == SQL_NULL_HSTMT ||
      !SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &code,
                                   text, sizeof text, &length)))
    std::strcpy(reinterpret_cast<char*>(text), "no diagnostic");
  std::fprintf(stderr, "kvbench: a bare ODBC read failed: %s %s\n",
               reinterpret_cast<char*>(state), reinterpret_cast<char*>(text));
}

// The same calls on a bare ODBC connection: each query is sent with its
// run on a statement handle of its own, as paramSelect sends it, its
// columns bound for the rows fetched one by one.
bool odbcRead(SQLHDBC dbc, std::mutex& turns, const std::string& sql,
              int first, int64_t& sum, size_t& length) {
  SQLHSTMT select = SQL_NULL_HSTMT;
  SQLINTEGER low = first, high = first + kRowsPerCall, i = 0;
  double r = 0;
  char s[64];
  SQLLEN iLength = 0, rLength = 0, sLength = 0, zero = 0;
  bool ok;
  {
    std::lock_guard<std::mutex> guard(turns);
    ok = SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &select)) &&
         SQL_SUCCEEDED(SQLBindParameter(select, 1, SQL_PARAM_INPUT,
                                        SQL_C_SLONG, SQL_INTEGER, 0, 0, &low,
                                        0, &zero)) &&
         SQL_SUCCEEDED(SQLBindParameter(select, 2, SQL_PARAM_INPUT,
                                        SQL_C_SLONG, SQL_INTEGER, 0, 0, &high,
                                        0, &zero)) &&
         SQL_SUCCEEDED(SQLExecDirect(
             select,
             reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
             SQL_NTS)) &&
         SQL_SUCCEEDED(
             SQLBindCol(select, 1, SQL_C_SLONG, &i, sizeof i, &iLength)) &&
         SQL_SUCCEEDED(
             SQLBindCol(select, 2, SQL_C_DOUBLE, &r, sizeof r, &rLength)) &&
         SQL_SUCCEEDED(SQLBindCol(select, 3, SQL_C_CHAR, s, sizeof s, &sLength));
  }
  for (int n = 0; ok && n < kRowsPerCall; ++n) {
    std::lock_guard<std::mutex> guard(turns);
    ok = SQL_SUCCEEDED(SQLFetch(select));
    if (ok) {
      sum += i + static_cast<int64_t>(r);
      // As getString copies it.
      length += std::string(s, sLength > 0 ? static_cast<size_t>(sLength) : 0)
                    .size();
    }
  }
  std::lock_guard<std::mutex> guard(turns);
  if (!ok) reportOdbcFailure(select);
  if (select != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, select);
  return ok;
}

bool odbcReads(SQLHDBC dbc, std::mutex& turns, const std::string& sql,
               int thread, int calls) {
  int64_t sum = 0;
  size_t length = 0;
  bool ok = true;
  for (int call = 0; ok && call < calls; ++call)
    ok = odbcRead(dbc, turns, sql, firstRow(thread, call), sum, length);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return ok;
}

// Times the read calls (range(0) in all, shared out among kReaders threads)
// of the engine against the baseline's.
void compareReads(benchmark::State& state,
                  const std::function<bool(int, int)>& engine,
                  const std::function<bool(int, int)>& baseline) {
  const int calls = static_cast<int>(state.range(0)) / kReaders;
  ParkedSides sides;
  compareWithBaseline(
      state, "vs_mutex",
      [&] {
        return sides.park(
            kReaders, [&](int t) { return engine(t, calls); },
            [&](int t) { return baseline(t, calls); });
      },
      [&] { return sides.runEngine(); }, [&] { return sides.runBaseline(); });
}

// The statements that make the table of the read calls in a SQLite file.
std::string sqliteReadTable() {
  return std::string(kBenchFileSettings) + ";CREATE TABLE t" + kBenchColumns +
         ";CREATE INDEX t_i ON t (i);"
         "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n "
         "WHERE i < " +
         std::to_string(kTableRows - 1) +
         ") INSERT INTO t SELECT i, i * 0.5, '" + kBenchText + "' FROM n";
}

// Makes the SQLite file at `path` with the table of the read calls.
bool makeReadFile(const std::string& path) {
  sqlite3* db = openBareSqlite(path);
  const bool ok = db && sqlite3_exec(db, sqliteReadTable().c_str(), nullptr,
                                     nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// range(0): read calls in all.
void BM_LockCursorReads(benchmark::State& state) {
  const std::string rdaFile = benchFile("reads_rda");
  const std::string rawFile = benchFile("reads_raw");
  KvbString error;
  ReposDataAccess* rda = nullptr;
  sqlite3* raw = nullptr;
  if (makeReadFile(rdaFile) && makeReadFile(rawFile)) {
    rda = createReposDataAccess(2, rdaFile.c_str(), "", nullptr, error);
    raw = openBareSqlite(rawFile);
  }
  if (rda && raw) {
    const std::string sql = readSql("t");
    std::mutex turns;
    compareReads(
        state,
        [&](int t, int calls) { return engineReads(rda, sql, t, calls); },
        [&](int t, int calls) { return sqlite3Reads(raw, turns, t, calls); });
  } else {
    state.SkipWithError("the SQLite files cannot be set up");
  }
  closeBoth(rda, raw, rdaFile, rawFile);
}

BENCHMARK(BM_LockCursorReads)
    ->Arg(8000)
    ->Arg(80000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// range(0): read calls in all, on a table in a schema of its own on the
// server, read by the engine's connection and by a bare ODBC connection.
void BM_LockCursorReadsPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  const std::string schema = "kvbench_lock_" + std::to_string(getpid());
  const std::string table = schema + ".t";
  BareOdbc bare(connection);
  const auto exec = [&](const std::string& sql) {
    return odbcExecDirect(bare.dbc, sql);
  };
  KvbString error;
  ReposDataAccess* rda = nullptr;
  if (bare.connected && exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE") &&
      exec("CREATE SCHEMA " + schema) &&
      exec("CREATE TABLE " + table +
           " (i INTEGER, r DOUBLE PRECISION, s VARCHAR(40))") &&
      exec("CREATE INDEX t_i ON " + table + " (i)") &&
      exec("INSERT INTO " + table + " SELECT i, i * 0.5, '" + kBenchText +
           "' FROM generate_series(0, " + std::to_string(kTableRows - 1) +
           ") i") &&
      exec("ANALYZE " + table))
    rda = createReposDataAccess(0, connection, KvbString(schema + ".kv"),
                                nullptr, error);
  if (rda) {
    const std::string sql = readSql(table);
    std::mutex turns;
    compareReads(
        state,
        [&](int t, int calls) { return engineReads(rda, sql, t, calls); },
        [&](int t, int calls) {
          return odbcReads(bare.dbc, turns, sql, t, calls);
        });
    rda->release();
  } else {
    state.SkipWithError("PostgreSQL cannot be set up");
  }
  if (bare.connected) exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
}

BENCHMARK(BM_LockCursorReadsPostgres)
    ->Arg(2000)
    ->Arg(20000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// range(0): failures in all, kFailuresPerThread per thread. The baseline's
// text is the one the engine records for the failure.
void BM_LockFailureBurst(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0)) / kFailuresPerThread;
  const std::string rdaFile = benchFile("burst_rda");
  KvbString error;
  ReposDataAccess* rda =
      createReposDataAccess(1, rdaFile.c_str(), "", nullptr, error);
  if (rda && !rda->endTransaction(false)) {
    const std::string text = rda->getErrorMessage().str();
    std::mutex turns;
    std::vector<std::string> texts(threads);
    ParkedSides sides;
    compareWithBaseline(
        state, "vs_mutex",
        [&] {
          return sides.park(
              threads,
              [&](int) {
                for (int i = 0; i < kFailuresPerThread; ++i)
                  if (rda->endTransaction(false)) return false;
                return true;
              },
              [&](int t) {
                for (int i = 0; i < kFailuresPerThread; ++i) {
                  std::lock_guard<std::mutex> guard(turns);
                  texts[t] = text;
                }
                return true;
              });
        },
        [&] { return sides.runEngine(); }, [&] { return sides.runBaseline(); });
  } else {
    state.SkipWithError("the SQLite file cannot be set up");
  }
  if (rda) rda->release();
  std::remove(rdaFile.c_str());
}

BENCHMARK(BM_LockFailureBurst)
    ->Arg(5000)
    ->Arg(50000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
