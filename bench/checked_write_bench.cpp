// Benchmarks of checked writes on PostgreSQL (when KV_TEST_PG_CONNECTION
// is set), each call its own transaction:
// - BM_CheckedLinkPostgres: addTaskRule of one task to rules that exist.
//   The baseline writes the link as a careful bare ODBC program does when
//   two writers must never both store it nor store it for a rule being
//   deleted: in one transaction, the turn of the link table (a
//   transaction-level lock), one prepared insert that writes the link only
//   where the task and the rule exist (holding their rows) and no link is
//   stored yet, then the commit.
// - BM_CheckedAddPostgres: addRule with a new name and UUID in the root
//   folder. The baseline runs the add's statements: the turn of the rule
//   table, a prepared look-up of the name and of the UUID, the raise and
//   read of the id counter, the insert, the commit.
// range(0): calls per iteration. The counter "vs_odbc" is the engine's
// time over the baseline's.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "access/common_rdaimpl.h"
#include "bench_support.h"
#include "monitor/monitor_rdaimpl.h"
#include "odbc_baseline.h"
#include "rda/rda_factory.h"

namespace {

constexpr int kBareTask = 2;
constexpr int kEngineTask = 1;

// A repository in a schema of its own, with a bare connection to it whose
// statements run in transactions (autocommit off) once prepared.
class Site {
 public:
  Site(const char* connection, const char* name)
      : schema_(std::string("kvbench_") + name + "_" +
                std::to_string(getpid())),
        bare_(connection) {
    TableCreateOptions options;
    options.createTables = true;
    KvbString error;
    if (bare_.connected && exec("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE") &&
        exec("CREATE SCHEMA " + schema_))
      rda_ = createReposDataAccess(0, connection, KvbString(schema_ + ".kv"),
                                   nullptr, error);
    if (rda_ && !rda_->createTables(options)) {
      rda_->release();
      rda_ = nullptr;
    }
  }
  ~Site() {
    for (SQLHSTMT s : statements_) SQLFreeHandle(SQL_HANDLE_STMT, s);
    if (rda_) rda_->release();
    SQLSetConnectAttr(bare_.dbc, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      SQL_IS_UINTEGER);
    if (bare_.connected) exec("DROP SCHEMA IF EXISTS " + schema_ + " CASCADE");
  }
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  ReposDataAccess* rda() const { return rda_; }
  std::string table(const char* code) const {
    return rda_->getTableName(code, false, -1).str();
  }
  bool exec(const std::string& sql) { return odbcExecDirect(bare_.dbc, sql); }
  // A statement of the bare connection, prepared; null on failure.
  SQLHSTMT prepare(std::string sql) {
    SQLHSTMT s = SQL_NULL_HSTMT;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, bare_.dbc, &s)))
      return SQL_NULL_HSTMT;
    statements_.push_back(s);
    return SQL_SUCCEEDED(SQLPrepare(s, reinterpret_cast<SQLCHAR*>(sql.data()),
                                    SQL_NTS))
               ? s
               : SQL_NULL_HSTMT;
  }
  bool manualCommit() {
    return SQL_SUCCEEDED(SQLSetConnectAttr(
        bare_.dbc, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER));
  }
  bool end(bool ok) {
    return SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, bare_.dbc,
                                    ok ? SQL_COMMIT : SQL_ROLLBACK)) &&
           ok;
  }

 private:
  std::string schema_;
  BareOdbc bare_;
  ReposDataAccess* rda_ = nullptr;
  std::vector<SQLHSTMT> statements_;
};

// Binds `values` (ints or texts) to `s` in order and runs it; a query's
// rows are read to their end. *rows gets the rows changed, when given.
struct Value {
  int number;
  std::string text;
  bool isText;
};
bool runBound(SQLHSTMT s, std::vector<Value>& values, SQLLEN* rows = nullptr) {
  std::vector<SQLLEN> lengths(values.size(), SQL_NTS);
  for (size_t i = 0; i < values.size(); ++i) {
    Value& v = values[i];
    const SQLUSMALLINT n = static_cast<SQLUSMALLINT>(i + 1);
    const SQLRETURN rc =
        v.isText ? SQLBindParameter(s, n, SQL_PARAM_INPUT, SQL_C_CHAR,
                                    SQL_VARCHAR, 255, 0, v.text.data(), 0,
                                    &lengths[i])
                 : SQLBindParameter(s, n, SQL_PARAM_INPUT, SQL_C_SLONG,
                                    SQL_INTEGER, 0, 0, &v.number, 0, nullptr);
    if (!SQL_SUCCEEDED(rc)) return false;
  }
  if (!SQL_SUCCEEDED(SQLExecute(s))) return false;
  if (rows) SQLRowCount(s, rows);
  SQLSMALLINT columns = 0;
  SQLNumResultCols(s, &columns);
  if (columns > 0) {
    while (SQL_SUCCEEDED(SQLFetch(s))) {
    }
    SQLCloseCursor(s);
  }
  return true;
}

Value num(int n) { return {n, "", false}; }
Value text(std::string t) { return {0, std::move(t), true}; }

const char kTurn[] =
    "SELECT 1 FROM pg_advisory_xact_lock(CAST(CAST(to_regclass(CAST(? AS "
    "text)) AS oid) AS bigint))";

void BM_CheckedLinkPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  Site site(connection, "link");
  const int calls = static_cast<int>(state.range(0));
  if (!site.rda()) {
    state.SkipWithError("PostgreSQL cannot be set up");
    return;
  }
  const std::string task = site.table("MJOB"), rule = site.table("RULE"),
                    link = site.table("JBRUME");
  bool ok = site.exec("INSERT INTO " + task + " (JB_ID) VALUES (" +
                      std::to_string(kEngineTask) + "), (" +
                      std::to_string(kBareTask) + ")") &&
            site.exec("INSERT INTO " + rule +
                      " (RU_ID) SELECT generate_series(1, " +
                      std::to_string(calls) + ")");
  SQLHSTMT turn = site.prepare(kTurn);
  SQLHSTMT insert = site.prepare(
      "INSERT INTO " + link +
      " (JB_ID, RU_ID, DIM_ID, THR_ID, WGHT) SELECT ?, ?, 1, 1, 1 FROM " +
      task + " A0, " + rule +
      " A1 WHERE A0.JB_ID=? AND A1.RU_ID=? AND NOT EXISTS (SELECT 1 FROM " +
      link + " WHERE JB_ID=? AND RU_ID=?) FOR KEY SHARE");
  if (!ok || !turn || !insert || !site.manualCommit()) {
    state.SkipWithError("the baseline cannot be set up");
    return;
  }
  MonitorRDAImpl* monitor = new MonitorRDAImpl(site.rda());
  compareWithBaseline(
      state, "vs_odbc",
      [&] { return site.exec("DELETE FROM " + link) && site.end(true); },
      [&] {
        for (int n = 1; n <= calls; ++n)
          if (!monitor->addTaskRule(kEngineTask, n)) return false;
        return true;
      },
      [&] {
        for (int n = 1; n <= calls; ++n) {
          std::vector<Value> key = {text(link)};
          std::vector<Value> row = {num(kBareTask), num(n), num(kBareTask),
                                    num(n),         num(kBareTask), num(n)};
          SQLLEN rows = 0;
          if (!site.end(runBound(turn, key) &&
                        runBound(insert, row, &rows) && rows == 1))
            return false;
        }
        return true;
      });
  monitor->release();
}

void BM_CheckedAddPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  Site site(connection, "add");
  if (!site.rda()) {
    state.SkipWithError("PostgreSQL cannot be set up");
    return;
  }
  const int calls = static_cast<int>(state.range(0));
  // The baseline's rules go to a table of their own, made as the
  // repository's, numbered by a counter of their own.
  const std::string rule = site.table("RULE"), counter = site.table("UCURID");
  const std::string bare = rule + "_bare";
  bool ok = site.exec("CREATE TABLE " + bare + " (LIKE " + rule +
                      " INCLUDING ALL)") &&
            site.exec("INSERT INTO " + counter +
                      " (NI_KEY, NI_VAL) VALUES ('BARE', 0)");
  SQLHSTMT turn = site.prepare(kTurn);
  SQLHSTMT byName = site.prepare("SELECT 1 FROM " + bare + " WHERE RU_DESC=?");
  SQLHSTMT byUuid = site.prepare("SELECT 1 FROM " + bare + " WHERE RU_UUID=?");
  SQLHSTMT raise = site.prepare("UPDATE " + counter +
                                " SET NI_VAL = NI_VAL + 1 WHERE NI_KEY = ?");
  SQLHSTMT read =
      site.prepare("SELECT NI_VAL FROM " + counter + " WHERE NI_KEY = ?");
  SQLHSTMT insert = site.prepare(
      "INSERT INTO " + bare +
      " (RU_ID, RU_DESC, RU_TYPE, RU_EXPR, RU_GROUP, RU_META, RU_CRDAT, "
      "RU_EDDAT, RU_USER, RU_UUID, FLDR_ID, RU_CRUSR, RU_COMM, RU_DISP) "
      "VALUES ((SELECT NI_VAL FROM " +
      counter + " WHERE NI_KEY = 'BARE'), ?, 't', 'e', 'g', 'm', 1, 1, 'u', "
      "?, 0, 'u', '', '')");
  if (!ok || !turn || !byName || !byUuid || !raise || !read || !insert ||
      !site.manualCommit() || !site.end(true)) {
    state.SkipWithError("the baseline cannot be set up");
    return;
  }
  CommonRDAImpl* common = new CommonRDAImpl(site.rda());
  int round = 0;
  const auto name = [&](int n) {
    return "r" + std::to_string(round) + "_" + std::to_string(n);
  };
  compareWithBaseline(
      state, "vs_odbc",
      [&] {
        ++round;
        return site.exec("DELETE FROM " + rule) &&
               site.exec("DELETE FROM " + bare) && site.end(true);
      },
      [&] {
        for (int n = 0; n < calls; ++n) {
          const KvbString key = name(n).c_str();
          if (common->addRule(key, "t", "e", "g", "m", "u", key, 0, "", "") <
              0)
            return false;
        }
        return true;
      },
      [&] {
        for (int n = 0; n < calls; ++n) {
          std::vector<Value> table = {text(bare)};
          std::vector<Value> key = {text(name(n))};
          std::vector<Value> counterKey = {text("BARE")};
          std::vector<Value> row = {text(name(n)), text(name(n))};
          if (!site.end(runBound(turn, table) && runBound(byName, key) &&
                        runBound(byUuid, key) && runBound(raise, counterKey) &&
                        runBound(read, counterKey) && runBound(insert, row)))
            return false;
        }
        return true;
      });
  common->release();
}

}  // namespace

BENCHMARK(BM_CheckedLinkPostgres)
    ->Arg(50)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckedAddPostgres)
    ->Arg(50)
    ->Arg(500)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
