// BM_TurnAddPostgres (when KV_TEST_PG_CONNECTION is set): adds of custom
// metrics by name, each its own transaction, through the engine, which
// takes the turn of the table (a transaction-level lock of the table that
// the server resolves the name to), looks the name up, draws an id and
// inserts. The baseline is the same add as a careful bare ODBC program
// writes it without turns: in one transaction, a prepared look-up of the
// name and a prepared insert, then the commit. range(0): adds per
// iteration. The counter "vs_odbc" is the engine's time over the
// baseline's.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "access/common_rdaimpl.h"
#include "bench_support.h"
#include "odbc_baseline.h"
#include "rda/rda_factory.h"

namespace {

// One add of the baseline: looks `name` up and inserts it under `id`, in
// one transaction (autocommit is off).
bool bareAdd(SQLHSTMT lookup, SQLHSTMT insert, SQLHDBC dbc, int id,
             const std::string& name) {
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
  ok = ok && !found &&
       SQL_SUCCEEDED(SQLBindParameter(insert, 1, SQL_PARAM_INPUT, SQL_C_SLONG,
                                      SQL_INTEGER, 0, 0, &key, 0, nullptr)) &&
       SQL_SUCCEEDED(SQLBindParameter(insert, 2, SQL_PARAM_INPUT, SQL_C_CHAR,
                                      SQL_VARCHAR, 60, 0, text, 0, &length)) &&
       SQL_SUCCEEDED(SQLExecute(insert));
  return SQL_SUCCEEDED(
             SQLEndTran(SQL_HANDLE_DBC, dbc, ok ? SQL_COMMIT : SQL_ROLLBACK)) &&
         ok;
}

void BM_TurnAddPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  const std::string schema = "kvbench_turn_" + std::to_string(getpid());
  const std::string base = schema + ".base";
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
           " (CM_ID INTEGER PRIMARY KEY, CM_DESC VARCHAR(60))"))
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
    SQLHSTMT lookup = SQL_NULL_HSTMT;
    SQLHSTMT insert = SQL_NULL_HSTMT;
    std::string lookupSql = "SELECT 1 FROM " + base + " WHERE CM_DESC=?";
    std::string insertSql =
        "INSERT INTO " + base + " (CM_ID, CM_DESC) VALUES (?, ?)";
    const bool prepared =
        SQL_SUCCEEDED(
            SQLSetConnectAttr(bare.dbc, SQL_ATTR_AUTOCOMMIT,
                              reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                              SQL_IS_UINTEGER)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, bare.dbc, &lookup)) &&
        SQL_SUCCEEDED(SQLPrepare(
            lookup, reinterpret_cast<SQLCHAR*>(lookupSql.data()), SQL_NTS)) &&
        SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, bare.dbc, &insert)) &&
        SQL_SUCCEEDED(SQLPrepare(
            insert, reinterpret_cast<SQLCHAR*>(insertSql.data()), SQL_NTS));
    const int adds = static_cast<int>(state.range(0));
    int round = 0;
    if (!prepared) {
      state.SkipWithError("the baseline's statements cannot be prepared");
    } else {
      compareWithBaseline(
          state, "vs_odbc", [&] { return ++round > 0; },
          [&] {
            for (int n = 0; n < adds; ++n) {
              const std::string name =
                  "m" + std::to_string(round) + "_" + std::to_string(n);
              if (common->addCustomMetric(name.c_str(), "", "e", "") < 0)
                return false;
            }
            return true;
          },
          [&] {
            for (int n = 0; n < adds; ++n) {
              const std::string name =
                  "m" + std::to_string(round) + "_" + std::to_string(n);
              if (!bareAdd(lookup, insert, bare.dbc, round * adds + n, name))
                return false;
            }
            return true;
          });
    }
    if (lookup != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, lookup);
    if (insert != SQL_NULL_HSTMT) SQLFreeHandle(SQL_HANDLE_STMT, insert);
    SQLSetConnectAttr(bare.dbc, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      SQL_IS_UINTEGER);
    common->release();
    rda->release();
  }
  if (bare.connected) exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE");
}

}  // namespace

BENCHMARK(BM_TurnAddPostgres)
    ->Arg(50)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
