// BM_TurnAddPostgres (when KV_TEST_PG_CONNECTION is set): adds of custom
// metrics by name, each its own transaction, through the engine, which
// takes the turn of the table (a transaction-level lock of the table that
// the server resolves the name to), looks the name up, draws an id and
// inserts. The baseline is the same add as a careful bare ODBC program
// writes it without turns: in one transaction, a prepared look-up of the
// name and a prepared insert, then the commit. range(0): adds per
// iteration. The counter "vs_odbc" is the engine's time over the
// baseline's.
//
// BM_TurnRenamePostgres: renames of custom metrics, each its own
// transaction (the turn, the look-up of the new name and the update),
// against the same baseline with a prepared update in place of the
// insert. range(0): renames per iteration.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "bench_support.h"
#include "odbc_baseline.h"
#include "rda/rda_factory.h"

namespace {

// One write of the baseline: looks `name` up and, when it is free, runs
// `write` with the id `id` and the name bound (an insert binds them in
// that order, an update in the other), in one transaction (autocommit is
// off).
bool bareWrite(SQLHSTMT lookup, SQLHSTMT write, bool nameFirst, SQLHDBC dbc,
               int id, const std::string& name) {
  char text[64];
  std::snprintf(text, sizeof text, "%s", name.c_str());
  SQLLEN length = SQL_NTS;
  SQLINTEGER key = id;
  bool ok =
      SQL_SUCCEEDED(SQLBindParameter(lookup, 1, SQL_PARAM_INPUT, SQL_C_CHAR,
                                     SQL_VARCHAR, 60, 0, text, 0, &length)) &&
      SQL_SUCCEEDED(SQLExecute(lookup));
  bool found = false;
  if (ok) {
    found = SQL_SUCCEEDED(SQLFetch(lookup));
    SQLCloseCursor(lookup);
  }
  const SQLUSMALLINT keyAt = nameFirst ? 2 : 1;
  ok = ok && !found &&
       SQL_SUCCEEDED(SQLBindParameter(write, keyAt, SQL_PARAM_INPUT,
                                      SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0,
                                      nullptr)) &&
       SQL_SUCCEEDED(SQLBindParameter(write, 3 - keyAt, SQL_PARAM_INPUT,
                                      SQL_C_CHAR, SQL_VARCHAR, 60, 0, text, 0,
                                      &length)) &&
       SQL_SUCCEEDED(SQLExecute(write));
  return SQL_SUCCEEDED(
             SQLEndTran(SQL_HANDLE_DBC, dbc, ok ? SQL_COMMIT : SQL_ROLLBACK)) &&
         ok;
}

// The adds (or renames, `rename`) of one benchmark: a schema of its own
// with the engine's tables and the baseline's table, `count` custom
// metrics in both to rename, and the engine's and the baseline's writes
// compared.
void turnWrites(benchmark::State& state, bool rename) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  const std::string schema = "kvbench_turn_" + std::to_string(getpid());
  const std::string base = schema + ".base";
  const int count = static_cast<int>(state.range(0));
  BareOdbc bare(connection);
  const auto exec = [&](const std::string& sql) {
    return odbcExecDirect(bare.dbc, sql);
  };
  KvbString error;
  ReposDataAccess* rda = nullptr;
  TableCreateOptions options;
  options.createTables = true;
  if (bare.connected && exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE") &&
      exec("CREATE SCHEMA " + schema) &&
      exec("CREATE TABLE " + base +
           " (CM_ID INTEGER PRIMARY KEY, CM_DESC VARCHAR(60))") &&
      (!rename ||
       exec("INSERT INTO " + base +
            " SELECT g, 'm' || g FROM generate_series(0, " +
            std::to_string(count - 1) + ") g")))
    rda = createReposDataAccess(0, connection, KvbString(schema + ".kv"),
                                nullptr, error);
  if (rda && !rda->createTables(options)) {
    rda->release();
    rda = nullptr;
  }
  if (!rda) {
    state.SkipWithError("PostgreSQL cannot be set up");
  } else {
    CommonRDAImpl* common = new CommonRDAImpl(rda);
    std::vector<int> ids;
    for (int n = 0; rename && n < count; ++n)
      ids.push_back(
          common->addCustomMetric(("m" + std::to_string(n)).c_str(), "", "e",
                                  ""));
    SQLHSTMT lookup = SQL_NULL_HSTMT;
    SQLHSTMT write = SQL_NULL_HSTMT;
    std::string lookupSql = "SELECT 1 FROM " + base + " WHERE CM_DESC=?";
    std::string writeSql =
        rename ? "UPDATE " + base + " SET CM_DESC=? WHERE CM_ID=?"
               : "INSERT INTO " + base + " (CM_ID, CM_DESC) VALUES (?, ?)";
    const bool prepared =
        SQL_SUCCEEDED(
            SQLSetConnectAttr(bare.dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                              SQL_IS_UINTEGER)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, bare.dbc, &lookup)) &&
        SQL_SUCCEEDED(SQLPrepare(
            lookup, reinterpret_cast<SQLCHAR*>(lookupSql.data()), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, bare.dbc, &write)) &&
        SQL_SUCCEEDED(SQLPrepare(
            write, reinterpret_cast<SQLCHAR*>(writeSql.data()), SQL_NTS));
    int round = 0;
    const auto name = [&](int n) {
      return "m" + std::to_string(round) + "_" + std::to_string(n);
    };
    if (!prepared ||
        std::find(ids.begin(), ids.end(), -1) != ids.end()) {
      state.SkipWithError("the writes to time cannot be prepared");
    } else {
      compareWithBaseline(
          state, "vs_odbc", [&] { return ++round > 0; },
          [&] {
            for (int n = 0; n < count; ++n) {
              const KvbString to = name(n).c_str();
              if (rename ? !common->updateCustomMetric(ids[n], to, "", "e", "",
                                                       "")
                         : common->addCustomMetric(to, "", "e", "") < 0)
                return false;
            }
            return true;
          },
          [&] {
            for (int n = 0; n < count; ++n)
              if (!bareWrite(lookup, write, rename, bare.dbc,
                             rename ? n : round * count + n, name(n)))
                return false;
            return true;
          });
    }
    if (lookup != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, lookup);
    if (write != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, write);
    SQLSetConnectAttr(bare.dbc, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      SQL_IS_UINTEGER);
    common->release();
    rda->release();
  }
  if (bare.connected) exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
}

void BM_TurnAddPostgres(benchmark::State& state) { turnWrites(state, false); }
void BM_TurnRenamePostgres(benchmark::State& state) {
  turnWrites(state, true);
}

}  // namespace

BENCHMARK(BM_TurnAddPostgres)
    ->Arg(50)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TurnRenamePostgres)
    ->Arg(50)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
