// Benchmarks of kvdataaccess: inserting N rows with one prepared statement
// in one transaction through DacConnection, against the same work through
// the bare sqlite3 C API (native SQLite, on a connection opened as the
// engine opens its own) or bare ODBC calls (PostgreSQL, when
// KV_TEST_PG_CONNECTION is set). The reported time is DacConnection's; the
// counter "vs_sqlite3" or "vs_odbc" is its time divided by the baseline's.
// Reads through DacCursor are measured in host_bench.cpp.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "bench_support.h"
#include "kvdataaccess/kvdataaccess.h"
#include "odbc_baseline.h"

namespace {

bool dacInsert(DacConnection* conn, const std::string& table, int rows) {
  if (!conn->setAutoCommit(false)) return false;
  DacStatement* insert = conn->prepare(benchInsertSql(table).c_str());
  bool ok = insert != nullptr;
  const KvbDatavar text(kBenchText);
  for (int i = 0; ok && i < rows; ++i) {
    ok = insert->bind(0, i, kvbTypeInt, 0) &&
         insert->bind(1, i * 0.5, kvbTypeReal, 0) &&
         insert->bind(2, text, kvbTypeString, 40) && insert->execute();
  }
  if (insert) insert->release();
  ok = (ok ? conn->commit() : conn->rollback()) && ok;
  return conn->setAutoCommit(true) && ok;
}

bool odbcInsert(SQLHDBC dbc, const std::string& table, int rows) {
  SQLINTEGER i = 0;
  double r = 0;
  SQLLEN textLength = static_cast<SQLLEN>(std::strlen(kBenchText)), zero = 0;
  return odbcInsertInOneTransaction(
      dbc, benchInsertSql(table),
      [&](SQLHSTMT insert) {
        return SQL_SUCCEEDED(SQLBindParameter(insert, 1, SQL_PARAM_INPUT,
                                              SQL_C_LONG, SQL_INTEGER, 0, 0, &i,
                                              0, &zero)) &&
               SQL_SUCCEEDED(SQLBindParameter(insert, 2, SQL_PARAM_INPUT,
                                              SQL_C_DOUBLE, SQL_DOUBLE, 0, 0,
                                              &r, 0, &zero)) &&
               SQL_SUCCEEDED(SQLBindParameter(
                   insert, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0,
                   const_cast<char*>(kBenchText), textLength, &textLength));
      },
      [&](SQLHSTMT insert) {
        bool ok = true;
        for (; ok && i < rows; ++i) {
          r = i * 0.5;
          ok = SQL_SUCCEEDED(SQLExecute(insert));
        }
        return ok;
      });
}

void BM_InsertSqlite(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string dacFile = benchFile("dac"), rawFile = benchFile("raw");
  DacConnection* dac = dacCreateDataSource(
      ("FILE=" + dacFile + ";CREATE=TRUE;KVXTYPE=SQLITE").c_str(), nullptr);
  // Both connections opened alike and given the same file settings, so
  // that only the layers differ.
  sqlite3* raw = openBareSqlite(rawFile);
  const std::string setup =
      std::string(kBenchFileSettings) + "; CREATE TABLE t" + kBenchColumns;
  if (!dac || !dac->execute(setup.c_str()) || !raw ||
      sqlite3_exec(raw, setup.c_str(), nullptr, nullptr, nullptr) !=
          SQLITE_OK) {
    state.SkipWithError("the SQLite files cannot be set up");
  } else {
    compareWithBaseline(
        state, "vs_sqlite3",
        [&] {
          return dac->execute("DELETE FROM t") &&
                 sqlite3_exec(raw, "DELETE FROM t", nullptr, nullptr,
                              nullptr) == SQLITE_OK;
        },
        [&] { return dacInsert(dac, "t", rows); },
        [&] { return sqlite3Insert(raw, "t", rows); });
  }
  if (dac) dac->release();
  sqlite3_close(raw);
  std::remove(dacFile.c_str());
  std::remove(rawFile.c_str());
}
BENCHMARK(BM_InsertSqlite)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_InsertPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  const int rows = static_cast<int>(state.range(0));
  const std::string suffix = "_" + std::to_string(getpid());
  const std::string dacTable = "kvbench_dac" + suffix;
  const std::string rawTable = "kvbench_raw" + suffix;
  DacConnection* dac = dacCreateDataSource(connection, nullptr);
  BareOdbc bare(connection);
  const SQLHDBC dbc = bare.dbc;
  const bool connected = dac && bare.connected;
  if (!connected ||
      !dac->execute(("CREATE TABLE " + dacTable + kBenchColumns).c_str()) ||
      !dac->execute(("CREATE TABLE " + rawTable + kBenchColumns).c_str())) {
    state.SkipWithError("PostgreSQL cannot be set up");
  } else {
    compareWithBaseline(
        state, "vs_odbc",
        [&] {
          return dac->execute(("DELETE FROM " + dacTable).c_str()) &&
                 dac->execute(("DELETE FROM " + rawTable).c_str());
        },
        [&] { return dacInsert(dac, dacTable, rows); },
        [&] { return odbcInsert(dbc, rawTable, rows); });
  }
  if (dac) {
    dac->execute(("DROP TABLE " + dacTable).c_str());
    dac->execute(("DROP TABLE " + rawTable).c_str());
    dac->release();
  }
}
BENCHMARK(BM_InsertPostgres)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
