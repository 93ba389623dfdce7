// Benchmarks of the profile store's distribution paths, each against a
// bare baseline in the same run: a frequency load into the shared FRQDST
// through addFrequencyRow (SQLite: against a bare sqlite3 prepared insert
// in one transaction on the same table; PostgreSQL, when
// KV_TEST_PG_CONNECTION is set: the connection's bulk load against one
// bare ODBC prepared insert per row), the read of a field's frequencies
// through listFrequencyDistribution against a bare select loop, and the
// cascade delete of a run against bare deletes of the same rows. The
// counter "vs_sqlite3" or "vs_odbc" is the engine's time over the
// baseline's. Sizes are short by default; KV_BENCH_LARGE=1 runs the large
// ones.
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "odbc_baseline.h"
#include "profile/prof_rdaimpl.h"
#include "rda/rda_factory.h"

namespace {

bool large() {
  const char* flag = std::getenv("KV_BENCH_LARGE");
  return flag && *flag && *flag != '0';
}

// Two sizes, the short ones unless the large ones are asked for.
void sizes(benchmark::internal::Benchmark* b, int small, int big, int huge) {
  b->Arg(large() ? big : small)->Arg(large() ? huge : big);
  b->UseManualTime()->Unit(benchmark::kMillisecond);
}

// The values of a load: "value<i>" with the match code "M<i>" and the
// count i.
struct Values {
  explicit Values(int rows) {
    for (int i = 0; i < rows; ++i) {
      text.push_back("value" + std::to_string(i));
      code.push_back("M" + std::to_string(i));
      value.push_back(text.back());
      matchCode.push_back(code.back());
    }
  }
  std::vector<std::string> text, code;
  std::vector<KvbString> value, matchCode;
};

bool engineLoad(ProfileRDAImpl* profile, const Values& v) {
  bool ok = profile->beginFrequencyLoad(1, true, 1000);
  for (size_t i = 0; ok && i < v.value.size(); ++i)
    ok = profile->addFrequencyRow(1, v.value[i], v.matchCode[i],
                                  static_cast<int64_t>(i));
  return profile->endFrequencyLoad(1) && ok;
}

std::string frequencyInsert(const std::string& frqdst) {
  return "INSERT INTO " + frqdst +
         " (FLD_ID, FR_VAL, FR_MC, FR_CNT) VALUES (?, ?, ?, ?)";
}

// A SQLite repository with the core tables for the engine and a second one
// for the bare baseline, whose connection is opened as the engine opens its
// own, with the same file settings.
struct SqliteRepositories {
  explicit SqliteRepositories(benchmark::State& state)
      : engineFile(benchFile("profload")), rawFile(benchFile("profload_raw")) {
    KvbString error;
    rda = createReposDataAccess(1, engineFile.c_str(), "", nullptr, error);
    rawNames = createReposDataAccess(1, rawFile.c_str(), "", nullptr, error);
    TableCreateOptions options;
    options.createTables = true;
    ok = rda && rawNames && rda->createTables(options) &&
         rawNames->createTables(options) &&
         rda->paramExec(kBenchFileSettings, nullptr, 0) &&
         (raw = openBareSqlite(rawFile)) != nullptr && exec(kBenchFileSettings);
    frqdst = ok ? rda->getTableName("FRQDST", true, -1).str() : "";
    if (ok)
      profile = new ProfileRDAImpl(rda);
    else
      state.SkipWithError("the repositories cannot be set up");
  }
  ~SqliteRepositories() {
    if (profile) profile->release();
    if (rda) rda->release();
    if (rawNames) rawNames->release();
    sqlite3_close(raw);
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }
  // Runs the same SQL on both repositories.
  bool both(const std::string& sql) {
    return rda->paramExec(sql.c_str(), nullptr, 0) && exec(sql);
  }
  bool exec(const std::string& sql) {
    return sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr) ==
           SQLITE_OK;
  }
  bool rawLoad(const Values& v) {
    sqlite3_stmt* insert = nullptr;
    if (!exec("BEGIN") ||
        sqlite3_prepare_v2(raw, frequencyInsert(frqdst).c_str(), -1, &insert,
                           nullptr) != SQLITE_OK)
      return false;
    bool loaded = true;
    for (size_t i = 0; loaded && i < v.text.size(); ++i) {
      sqlite3_bind_int(insert, 1, 1);
      sqlite3_bind_text(insert, 2, v.text[i].c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 3, v.code[i].c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int64(insert, 4, static_cast<int64_t>(i));
      loaded = sqlite3_step(insert) == SQLITE_DONE;
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    return exec(loaded ? "COMMIT" : "ROLLBACK") && loaded;
  }

  std::string engineFile, rawFile, frqdst;
  ReposDataAccess* rda = nullptr;
  ReposDataAccess* rawNames = nullptr;
  sqlite3* raw = nullptr;
  ProfileRDAImpl* profile = nullptr;
  bool ok = false;
};

void BM_FrequencyLoadSqlite(benchmark::State& state) {
  const Values values(static_cast<int>(state.range(0)));
  SqliteRepositories repos(state);
  if (!repos.ok) return;
  compareWithBaseline(
      state, "vs_sqlite3",
      [&] { return repos.both("DELETE FROM " + repos.frqdst); },
      [&] { return engineLoad(repos.profile, values); },
      [&] { return repos.rawLoad(values); });
}
BENCHMARK(BM_FrequencyLoadSqlite)->Apply([](benchmark::internal::Benchmark* b) {
  sizes(b, 10000, 100000, 1000000);
});

// Reads every row of a field's frequencies, in descending count, through
// the capped read with a cap that keeps them all.
bool engineRead(ProfileRDAImpl* profile, int rows) {
  ReposDataAccessCursor* cursor =
      profile->listFrequencyDistribution(1, true, false, -1);
  if (!cursor) return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    length += cursor->getString(0).length() + cursor->getString(2).length();
    sum += cursor->getInt(1) + cursor->getInt(3);
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

bool rawRead(SqliteRepositories& repos, int rows) {
  sqlite3_stmt* select = nullptr;
  const std::string sql = "SELECT FR_VAL, FR_CNT, FR_MC, FLD_ID FROM " +
                          repos.frqdst + " WHERE FLD_ID=? ORDER BY FR_CNT DESC";
  if (sqlite3_prepare_v2(repos.raw, sql.c_str(), -1, &select, nullptr) !=
      SQLITE_OK)
    return false;
  sqlite3_bind_int(select, 1, 1);
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    // Each text copied out, as getString hands out a copy.
    length += columnString(select, 0).size() + columnString(select, 2).size();
    sum += sqlite3_column_int(select, 1) + sqlite3_column_int(select, 3);
    ++n;
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

void BM_FrequencyReadCapped(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const Values values(rows);
  SqliteRepositories repos(state);
  if (!repos.ok) return;
  if (!engineLoad(repos.profile, values) || !repos.rawLoad(values)) {
    state.SkipWithError("the rows cannot be loaded");
    return;
  }
  kvbGetConfigOptions("")->set("BASE/REPOS_FREQ_CACHE_MAX",
                               KvbString(std::to_string(rows)));
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return engineRead(repos.profile, rows); },
      [&] { return rawRead(repos, rows); });
  kvbGetConfigOptions("")->remove("BASE/REPOS_FREQ_CACHE_MAX");
}
BENCHMARK(BM_FrequencyReadCapped)->Apply([](benchmark::internal::Benchmark* b) {
  sizes(b, 10000, 100000, 1000000);
});

// A report with one run of one table whose fields each have a property,
// a pattern and a frequency row, written the same way on both sides.
bool storeRun(SqliteRepositories& repos, int fields) {
  const std::string n = std::to_string(fields);
  const auto each = [&](const char* code, const std::string& columns,
                        const std::string& select) {
    return repos.both(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 "
        "FROM n WHERE i<" +
        n + ") INSERT INTO " + repos.rda->getTableName(code, true, -1).str() +
        " (" + columns + ") SELECT " + select + " FROM n");
  };
  const auto one = [&](const char* code, const std::string& columns,
                       const std::string& values) {
    return repos.both("INSERT INTO " +
                      repos.rda->getTableName(code, true, -1).str() + " (" +
                      columns + ") VALUES (" + values + ")");
  };
  return one("REPORT", "RPT_ID, RPT_NAME", "1, 'r'") &&
         one("JOB", "JOB_ID, RPT_ID", "1, 1") &&
         one("JOBCFG", "JOB_ID, JC_KEY, JC_VALUE",
             "1, 'SAME_FREQ_TABLE', '1'") &&
         one("DSN", "DSN_ID, JOB_ID", "1, 1") &&
         one("TBL", "TBL_ID, DSN_ID", "1, 1") &&
         each("FLD", "FLD_ID, DSN_ID, TBL_ID, FLD_NAME", "i, 1, 1, 'f'") &&
         each("FLDPRP", "DSN_ID, TBL_ID, FLD_ID, PR_NAME", "1, 1, i, 'p'") &&
         each("PATDST", "FLD_ID, PA_VALUE, PA_COUNT", "i, 'A9', 1") &&
         each("FRQDST", "FLD_ID, FR_VAL, FR_CNT", "i, 'v', 1");
}

// The bare side deletes the same rows, table by table, selecting them
// through the run's tables.
bool rawCascade(SqliteRepositories& repos) {
  const auto t = [&](const char* code) {
    return repos.rda->getTableName(code, true, -1).str();
  };
  const std::string fields = "SELECT FLD_ID FROM " + t("FLD") +
                             " WHERE TBL_ID IN (SELECT TBL_ID FROM " +
                             t("TBL") +
                             " WHERE DSN_ID IN (SELECT DSN_ID "
                             "FROM " +
                             t("DSN") + " WHERE JOB_ID=1))";
  bool ok = repos.exec("BEGIN");
  for (const char* code : {"FLDPRP", "PATDST", "FRQDST"})
    ok = ok && repos.exec("DELETE FROM " + t(code) + " WHERE FLD_ID IN (" +
                          fields + ")");
  ok = ok &&
       repos.exec("DELETE FROM " + t("FLD") +
                  " WHERE TBL_ID IN (SELECT "
                  "TBL_ID FROM " +
                  t("TBL") +
                  " WHERE DSN_ID IN (SELECT DSN_ID "
                  "FROM " +
                  t("DSN") + " WHERE JOB_ID=1))") &&
       repos.exec("DELETE FROM " + t("TBL") +
                  " WHERE DSN_ID IN (SELECT "
                  "DSN_ID FROM " +
                  t("DSN") + " WHERE JOB_ID=1)") &&
       repos.exec("DELETE FROM " + t("DSN") + " WHERE JOB_ID=1") &&
       repos.exec("DELETE FROM " + t("JOBCFG") + " WHERE JOB_ID=1") &&
       repos.exec("DELETE FROM " + t("JOB") + " WHERE JOB_ID=1") &&
       repos.exec("DELETE FROM " + t("REPORT") + " WHERE RPT_ID=1");
  return repos.exec(ok ? "COMMIT" : "ROLLBACK") && ok;
}

void BM_CascadeDeleteRun(benchmark::State& state) {
  const int fields = static_cast<int>(state.range(0));
  SqliteRepositories repos(state);
  if (!repos.ok) return;
  compareWithBaseline(
      state, "vs_sqlite3", [&] { return storeRun(repos, fields); },
      [&] { return repos.profile->deleteReportRuns(-1, -1, 1, true); },
      [&] { return rawCascade(repos); });
}
BENCHMARK(BM_CascadeDeleteRun)->Apply([](benchmark::internal::Benchmark* b) {
  sizes(b, 1000, 10000, 100000);
});

// PostgreSQL: the engine's load goes through the connection's bulk load,
// the baseline executes one prepared insert per row in one transaction.
bool odbcLoad(SQLHDBC dbc, const std::string& frqdst, const Values& v) {
  SQLINTEGER field = 1;
  SQLBIGINT count = 0;
  SQLLEN zero = 0, textLength = 0, codeLength = 0;
  return odbcInsertInOneTransaction(
      dbc, frequencyInsert(frqdst),
      [&](SQLHSTMT insert) {
        return SQL_SUCCEEDED(SQLBindParameter(insert, 1, SQL_PARAM_INPUT,
                                              SQL_C_LONG, SQL_INTEGER, 0, 0,
                                              &field, 0, &zero)) &&
               SQL_SUCCEEDED(SQLBindParameter(insert, 4, SQL_PARAM_INPUT,
                                              SQL_C_SBIGINT, SQL_BIGINT, 0, 0,
                                              &count, 0, &zero));
      },
      [&](SQLHSTMT insert) {
        bool ok = true;
        for (size_t i = 0; ok && i < v.text.size(); ++i) {
          count = static_cast<SQLBIGINT>(i);
          textLength = static_cast<SQLLEN>(v.text[i].size());
          codeLength = static_cast<SQLLEN>(v.code[i].size());
          ok = SQL_SUCCEEDED(SQLBindParameter(
                   insert, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0,
                   const_cast<char*>(v.text[i].c_str()), textLength,
                   &textLength)) &&
               SQL_SUCCEEDED(SQLBindParameter(
                   insert, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 255, 0,
                   const_cast<char*>(v.code[i].c_str()), codeLength,
                   &codeLength)) &&
               SQL_SUCCEEDED(SQLExecute(insert));
        }
        return ok;
      });
}

void BM_FrequencyLoadPostgres(benchmark::State& state) {
  const char* connection = std::getenv("KV_TEST_PG_CONNECTION");
  if (!connection || !*connection) {
    state.SkipWithError("KV_TEST_PG_CONNECTION is not set");
    return;
  }
  const Values values(static_cast<int>(state.range(0)));
  const std::string schema = "kvbench_load_" + std::to_string(getpid());
  KvbString error;
  ReposDataAccess* rda = nullptr;
  ProfileRDAImpl* profile = nullptr;
  BareOdbc bare(connection);
  const SQLHDBC dbc = bare.dbc;
  const bool connected = bare.connected;
  const auto odbcExec = [&](const std::string& sql) {
    return odbcExecDirect(dbc, sql);
  };
  TableCreateOptions options;
  options.createTables = true;
  if (connected && odbcExec("CREATE SCHEMA " + schema))
    rda = createReposDataAccess(0, connection, KvbString(schema + ".kv"),
                                nullptr, error);
  if (!rda || !rda->createTables(options)) {
    state.SkipWithError("PostgreSQL cannot be set up");
  } else {
    profile = new ProfileRDAImpl(rda);
    const std::string frqdst = rda->getTableName("FRQDST", true, -1).str();
    compareWithBaseline(
        state, "vs_odbc", [&] { return odbcExec("DELETE FROM " + frqdst); },
        [&] { return engineLoad(profile, values); },
        [&] { return odbcLoad(dbc, frqdst, values); });
  }
  if (profile) profile->release();
  if (rda) rda->release();
  if (connected) odbcExec("DROP SCHEMA " + schema + " CASCADE");
}
BENCHMARK(BM_FrequencyLoadPostgres)
    ->Apply([](benchmark::internal::Benchmark* b) {
      sizes(b, 2000, 20000, 100000);
    });

}  // namespace
