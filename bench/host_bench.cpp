// Benchmarks of the routes that a host takes to read rows, through the
// interfaces it is given (Repository from createRepositoryAdmin, and
// kvdataaccess's DacConnection), each against the same statement run
// through the bare API, as a skilled programmer writes it. Each value is
// read as a host reads it (getInt, getString, getDouble); where the
// engine's interface hands out a text by value, the bare reader copies the
// text into a std::string too. See host_rows.h for the rows.
//
// On a SQLite repository file (the bare side on a copy of the file, with
// a connection opened as the engine opens its own, openBareSqlite), at 10k,
// 100k and 1M rows so that a cost that grows with the rows shows:
// - BM_HostCursorRead: Repository::paramSelect, the rows read as they
//   come, against a bare read;
// - BM_HostCacheAllRead: paramSelect then cacheAll(), then the rows read,
//   against a bare copy of the rows into a compact vector, then read;
// - BM_HostListingRead: a listing's in-memory copy (getKeyValues over the
//   repository's key/value pairs), read, against a bare read.
// On PostgreSQL (when KV_TEST_PG_CONNECTION is set), 100k rows of the same
// four columns read through Repository::paramSelect, and through
// DacConnection's cursor (DacCursor), each against two bare ODBC reads on a
// connection of its own to the same table, taking turns at going first
// with the engine:
// - the block read, as a skilled programmer writes it and as the engine
//   reads: the columns bound to arrays, 64 rows at each SQLFetch
//   (SQL_ATTR_ROW_ARRAY_SIZE), the counter "vs_odbc";
// - the row-by-row read, SQLFetch then SQLGetData for each value, the
//   counter "vs_odbc_getdata".
// Both run the query as the engine's side does: sent with its run
// (SQLExecDirect) beside paramSelect, which runs its query once; prepared
// and then run (SQLPrepare, SQLExecute) beside DacCursor, whose host asked
// for a prepared statement.
//
// The counter "vs_sqlite3" or "vs_odbc" is the engine's time over the
// fastest bare code's; "vs_odbc_getdata" over the row-by-row ODBC read's.
// The memory that cacheAll() and a listing take, at their peak and after
// their release, is measured by kvbench_memory (memory_probe.cpp) in a
// process of its own.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "bench_support.h"
#include "odbc_baseline.h"
#include "host_rows.h"
#include "kvdataaccess/kvdataaccess.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"

namespace {

// A repository file with `rows` rows in BENCHROWS and as many key/value
// pairs (when asked for), opened by the engine as a host opens it, and a
// copy of the file opened by the bare side.
struct HostFiles {
  HostFiles(benchmark::State& state, int rows, bool keyValues)
      : engineFile(benchFile("host")), rawFile(benchFile("host_raw")) {
    admin = createRepositoryAdmin(1, nullptr);
    bool ok = admin && admin->createFileRepository(engineFile.c_str()) &&
              (keyValues ? fillKeyValues(engineFile, rows)
                         : fillHostRows(engineFile, rows));
    std::error_code copied;
    if (ok) std::filesystem::copy_file(engineFile, rawFile, copied);
    ok = ok && !copied;
    if (ok) repository = admin->openFileRepository(engineFile.c_str(), true);
    raw = ok && repository ? openBareSqlite(rawFile) : nullptr;
    if (!raw) state.SkipWithError("the repository files cannot be set up");
  }
  ~HostFiles() {
    if (repository) repository->release();
    if (admin) admin->release();
    sqlite3_close(raw);
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }

  std::string engineFile, rawFile;
  RepositoryAdmin* admin = nullptr;
  Repository* repository = nullptr;
  sqlite3* raw = nullptr;
};

ReposDataAccessCursor* hostSelect(Repository* repository, bool cached) {
  KvbString error;
  ReposDataAccessCursor* cursor =
      repository->paramSelect(kHostRowsSelect, &error, 0);
  if (cursor && cached && !cursor->cacheAll()) {
    cursor->release();
    return nullptr;
  }
  return cursor;
}

void BM_HostCursorRead(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  HostFiles files(state, rows, false);
  if (!files.raw) return;
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return readHostRows(hostSelect(files.repository, false), rows); },
      [&] { return bareReadHostRows(files.raw, rows); });
}

void BM_HostCacheAllRead(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  HostFiles files(state, rows, false);
  if (!files.raw) return;
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return readHostRows(hostSelect(files.repository, true), rows); },
      [&] {
        CompactRows copy;
        return copy.copy(files.raw) && copy.read(rows);
      });
}

void BM_HostListingRead(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  HostFiles files(state, rows, true);
  if (!files.raw) return;
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return readKeyValues(files.repository->getKeyValues(), rows); },
      [&] { return bareReadKeyValues(files.raw, rows); });
}

void hostSizes(benchmark::internal::Benchmark* b) {
  b->Arg(10000)->Arg(100000)->Arg(1000000);
  b->UseManualTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_HostCursorRead)->Apply(hostSizes);
BENCHMARK(BM_HostCacheAllRead)->Apply(hostSizes);
BENCHMARK(BM_HostListingRead)->Apply(hostSizes);

// ---------------------------------------------------------------------------
// PostgreSQL

// Reads text column `column` of the current row whole into `text` (whose
// storage is reused from value to value), in pieces when it is longer than
// the buffer; an empty text for a null.
bool odbcText(SQLHSTMT statement, SQLUSMALLINT column, std::string& text) {
  char buffer[256];
  text.clear();
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN rc = SQLGetData(statement, column, SQL_C_CHAR, buffer,
                                    sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) return true;
    if (!SQL_SUCCEEDED(rc)) return false;
    if (indicator == SQL_NULL_DATA) return true;
    const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                      (indicator == SQL_NO_TOTAL ||
                       indicator >= static_cast<SQLLEN>(sizeof buffer));
    text.append(buffer,
                more ? std::strlen(buffer) : static_cast<size_t>(indicator));
    if (!more) return true;
  }
}

// How the bare reads run their query: sent with its run, as the engine runs
// the query of a paramSelect, or prepared first and then run, as a host's
// DacConnection::prepare then select() does.
enum class BareRun { kDirect, kPrepared };

bool odbcRun(SQLHSTMT statement, std::string& sql, BareRun run) {
  auto* text = reinterpret_cast<SQLCHAR*>(sql.data());
  if (run == BareRun::kDirect)
    return SQL_SUCCEEDED(SQLExecDirect(statement, text, SQL_NTS));
  return SQL_SUCCEEDED(SQLPrepare(statement, text, SQL_NTS)) &&
         SQL_SUCCEEDED(SQLExecute(statement));
}

// The bare ODBC read of `sql` (the four columns of BENCHROWS) row by row:
// SQLFetch, then SQLGetData for each value. With `copyTexts` each text is
// copied out once more into a std::string of its own, as getString hands out a
// copy; without, it is read into the reader's own reused storage, as
// DacCursor's getValue fills the caller's reused KvbDatavar.
bool odbcReadRows(SQLHDBC dbc, std::string sql, int rows, bool copyTexts,
                  BareRun run) {
  SQLHSTMT select = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &select)))
    return false;
  bool ok = odbcRun(select, sql, run);
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  std::string text;
  SQLRETURN rc = SQL_NO_DATA;
  while (ok && SQL_SUCCEEDED(rc = SQLFetch(select))) {
    SQLINTEGER a = 0, b = 0;
    double r = 0;
    SQLLEN indicator = 0;
    ok = SQL_SUCCEEDED(SQLGetData(select, 1, SQL_C_SLONG, &a, 0, &indicator)) &&
         SQL_SUCCEEDED(SQLGetData(select, 2, SQL_C_SLONG, &b, 0, &indicator)) &&
         odbcText(select, 3, text) &&
         SQL_SUCCEEDED(SQLGetData(select, 4, SQL_C_DOUBLE, &r, 0, &indicator));
    sum += a + b + static_cast<int64_t>(r);
    length += copyTexts ? std::string(text).size() : text.size();
    ++n;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, select);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return ok && rc == SQL_NO_DATA && n == rows;
}

// The rows that the bare block read fetches at a time: as many as the
// engine's block cursor fetches.
constexpr SQLULEN kOdbcBlockRows = 64;
// The buffer of one value of S, VARCHAR(20): four bytes per character
// (UTF-8) and the terminator.
constexpr SQLLEN kOdbcTextBytes = 20 * 4 + 1;

// The bare ODBC block read of `sql` (the four columns of BENCHROWS): the
// columns bound to arrays of kOdbcBlockRows values (two integers, the text
// in a buffer sized for the column, a real), a block of rows at each
// SQLFetch, then each row's values read from the arrays. With `copyTexts`
// each text is copied into a std::string of its own, as getString hands
// out a copy; without, into the reader's own reused storage, as
// DacCursor's getValue fills the caller's reused KvbDatavar. A text that
// does not fit its buffer fails the read, as the column holds none.
bool odbcBlockReadRows(SQLHDBC dbc, std::string sql, int rows, bool copyTexts,
                       BareRun run) {
  SQLHSTMT select = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &select)))
    return false;
  SQLINTEGER a[kOdbcBlockRows], b[kOdbcBlockRows];
  char s[kOdbcBlockRows][kOdbcTextBytes];
  double r[kOdbcBlockRows];
  SQLLEN aIndicators[kOdbcBlockRows], bIndicators[kOdbcBlockRows],
      sIndicators[kOdbcBlockRows], rIndicators[kOdbcBlockRows];
  SQLUSMALLINT status[kOdbcBlockRows];
  SQLULEN fetched = 0;
  bool ok = SQL_SUCCEEDED(SQLSetStmtAttr(
                select, SQL_ATTR_ROW_ARRAY_SIZE,
                reinterpret_cast<SQLPOINTER>(kOdbcBlockRows), 0)) &&
            SQL_SUCCEEDED(SQLSetStmtAttr(select, SQL_ATTR_ROWS_FETCHED_PTR,
                                         &fetched, 0)) &&
            SQL_SUCCEEDED(
                SQLSetStmtAttr(select, SQL_ATTR_ROW_STATUS_PTR, status, 0)) &&
            SQL_SUCCEEDED(SQLBindCol(select, 1, SQL_C_SLONG, a, sizeof a[0],
                                     aIndicators)) &&
            SQL_SUCCEEDED(SQLBindCol(select, 2, SQL_C_SLONG, b, sizeof b[0],
                                     bIndicators)) &&
            SQL_SUCCEEDED(SQLBindCol(select, 3, SQL_C_CHAR, s, kOdbcTextBytes,
                                     sIndicators)) &&
            SQL_SUCCEEDED(SQLBindCol(select, 4, SQL_C_DOUBLE, r, sizeof r[0],
                                     rIndicators)) &&
            odbcRun(select, sql, run);
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  std::string text;
  SQLRETURN rc = SQL_NO_DATA;
  while (ok && SQL_SUCCEEDED(rc = SQLFetch(select))) {
    for (SQLULEN i = 0; ok && i < fetched; ++i) {
      const SQLLEN textLength = sIndicators[i];
      ok = (status[i] == SQL_ROW_SUCCESS ||
            status[i] == SQL_ROW_SUCCESS_WITH_INFO) &&
           textLength != SQL_NO_TOTAL && textLength < kOdbcTextBytes;
      if (!ok) break;
      sum += (aIndicators[i] == SQL_NULL_DATA ? 0 : a[i]) +
             (bIndicators[i] == SQL_NULL_DATA ? 0 : b[i]) +
             (rIndicators[i] == SQL_NULL_DATA ? 0 : static_cast<int64_t>(r[i]));
      const size_t bytes =
          textLength == SQL_NULL_DATA ? 0 : static_cast<size_t>(textLength);
      if (copyTexts) {
        length += std::string(s[i], bytes).size();
      } else {
        text.assign(s[i], bytes);
        length += text.size();
      }
      ++n;
    }
  }
  SQLFreeHandle(SQL_HANDLE_STMT, select);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return ok && rc == SQL_NO_DATA && n == rows;
}

// Reads every row through a DacCursor, each value into the caller's own
// KvbDatavar of its column (reused from row to row), read from there.
bool dacReadRows(DacConnection* dac, const std::string& sql, int rows) {
  DacStatement* statement = dac->prepare(sql.c_str());
  DacCursor* cursor = statement ? statement->select() : nullptr;
  if (statement) statement->release();
  if (!cursor) return false;
  KvbDatavar values[4];
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  bool ok = true;
  int fetched;
  while (ok && (fetched = cursor->next()) == 1) {
    for (int c = 0; ok && c < 4; ++c) ok = cursor->getValue(c, values[c]);
    sum += values[0].asInt() + values[1].asInt() +
           static_cast<int64_t>(values[3].asDouble());
    length += values[2].textLength();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return ok && fetched == 0 && n == rows;
}

// A schema of its own on the server with BENCHROWS of `rows` rows, a bare
// ODBC connection, and, as asked, a repository in the schema opened by
// connection string as a host opens it, or a DacConnection.
struct PgRows {
  PgRows(benchmark::State& state, int rows, bool repositoryToo)
      : schema("kvbench_host_" + std::to_string(getpid())) {
    const char* text = std::getenv("KV_TEST_PG_CONNECTION");
    if (!text || !*text) {
      state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
      return;
    }
    connection = text;
    table = schema + ".benchrows";
    bare = std::make_unique<BareOdbc>(connection);
    bool ok = bare->connected &&
              exec("DROP SCHEMA IF EXISTS " + schema + " CASCADE") &&
              exec("CREATE SCHEMA " + schema) &&
              exec("CREATE TABLE " + table +
                   " (A INTEGER, B INTEGER, S VARCHAR(20), R DOUBLE "
                   "PRECISION)") &&
              exec("INSERT INTO " + table +
                   " SELECT i, i % 97, 'text ' || lpad(i::text, 15, '0'), "
                   "i * 0.5 FROM generate_series(0, " +
                   std::to_string(rows - 1) + ") i") &&
              exec("ANALYZE " + table);
    if (ok && repositoryToo) {
      const std::string prefix = schema + ".kv";
      admin = createRepositoryAdmin(1, nullptr);
      ok = admin &&
           admin->createRepository(connection.c_str(), prefix.c_str()) &&
           (repository = admin->openRepositoryConnection(
                connection.c_str(), prefix.c_str(), true, nullptr)) != nullptr;
    } else if (ok) {
      ok = (dac = dacCreateDataSource(connection.c_str(), nullptr)) != nullptr;
    }
    ready = ok;
    if (!ok) state.SkipWithError("PostgreSQL cannot be set up");
  }
  ~PgRows() {
    if (repository) repository->release();
    if (admin) admin->release();
    if (dac) dac->release();
    if (bare && bare->connected) exec("DROP SCHEMA " + schema + " CASCADE");
  }
  bool exec(const std::string& sql) { return odbcExecDirect(bare->dbc, sql); }
  std::string select() const { return "SELECT A, B, S, R FROM " + table; }

  std::string schema, connection, table;
  std::unique_ptr<BareOdbc> bare;
  bool ready = false;
  RepositoryAdmin* admin = nullptr;
  Repository* repository = nullptr;
  DacConnection* dac = nullptr;
};

void BM_PgParamSelectRead(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  PgRows pg(state, rows, true);
  if (!pg.ready) return;
  const std::string sql = pg.select();
  compareWithBaselines(
      state, [] { return true; },
      [&] {
        KvbString error;
        return readHostRows(pg.repository->paramSelect(sql.c_str(), &error, 0),
                            rows);
      },
      {{"vs_odbc",
        [&] {
          return odbcBlockReadRows(pg.bare->dbc, sql, rows, true,
                                   BareRun::kDirect);
        }},
       {"vs_odbc_getdata", [&] {
          return odbcReadRows(pg.bare->dbc, sql, rows, true, BareRun::kDirect);
        }}});
}

void BM_PgDacCursorRead(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  PgRows pg(state, rows, false);
  if (!pg.ready) return;
  const std::string sql = pg.select();
  compareWithBaselines(
      state, [] { return true; },
      [&] { return dacReadRows(pg.dac, sql, rows); },
      {{"vs_odbc",
        [&] {
          return odbcBlockReadRows(pg.bare->dbc, sql, rows, false,
                                   BareRun::kPrepared);
        }},
       {"vs_odbc_getdata", [&] {
          return odbcReadRows(pg.bare->dbc, sql, rows, false,
                              BareRun::kPrepared);
        }}});
}

BENCHMARK(BM_PgParamSelectRead)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PgDacCursorRead)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
