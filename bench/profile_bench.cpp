// Benchmarks of the profile data-access object on a SQLite repository:
// storing one run of a number of tables with 50 fields each, every field
// with its 24 metric values, and reading the run's fields back with
// listRunFields; each against the same statements through the bare sqlite3
// C API on a copy of the same tables, on a connection opened as the
// engine opens its own and with the same file settings (the read copying
// its rows into memory, as a listing does). The counter "vs_sqlite3" is the
// engine's time over the baseline's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "bench_support.h"
#include "profile/prof_rdaimpl.h"
#include "rda/rda_factory.h"

namespace {

const int kFieldsPerTable = 50;
const int kMetrics = 24;
const char kMetricValue[] = "1234.5";

// "UPDATE <FLD> SET MET_0=?, ..., MET_23=? WHERE FLD_ID=?": a field's
// metric values, written after the field row exists.
std::string metricUpdate(const std::string& fld) {
  std::string sql = "UPDATE " + fld + " SET ";
  for (int i = 0; i < kMetrics; ++i)
    sql += (i ? ", MET_" : "MET_") + std::to_string(i) + "=?";
  return sql + " WHERE FLD_ID=?";
}

// "INSERT INTO <table> (<columns>) VALUES (?, ...)" with `n` markers, as the
// engine's inserts write it.
std::string insertInto(const std::string& table, const char* columns, int n) {
  std::string markers;
  for (int i = 0; i < n; ++i) markers += i ? ", ?" : "?";
  return "INSERT INTO " + table + " (" + columns + ") VALUES (" + markers + ")";
}

// A value the baseline binds, with the type the engine binds it as.
struct Bound {
  enum Kind { kNull, kInt, kReal, kText } kind;
  int i = 0;
  double r = 0;
  const char* t = nullptr;
  Bound(int v) : kind(kInt), i(v) {}           // NOLINT: a value list
  Bound(double v) : kind(kReal), r(v) {}       // NOLINT
  Bound(const char* v) : kind(kText), t(v) {}  // NOLINT
  Bound() : kind(kNull) {}
};

// The bare sqlite3 side: the same statements as the engine's (the same
// columns, null DOM_ID and empty filter texts included), with keys drawn
// from the same counters by the same raise-and-read, in one transaction. Each
// statement is prepared once and reused, or, with `prepareEachUse`, prepared
// for each use and finalized after it, as the engine's adds do; the metric
// update is prepared once either way.
class RawStore {
 public:
  RawStore(sqlite3* db, ReposDataAccess* names, bool prepareEachUse)
      : db_(db), prepareEachUse_(prepareEachUse) {
    auto name = [&](const char* code) {
      return names->getTableName(code, true, -1).str();
    };
    fld_ = name("FLD");
    tbl_ = name("TBL");
    dsn_ = name("DSN");
    const std::string ucurid = name("UCURID");
    sql_[kRaise] =
        "UPDATE " + ucurid + " SET NI_VAL = NI_VAL + ? WHERE NI_KEY = ?";
    sql_[kCreate] = "INSERT INTO " + ucurid + " (NI_KEY, NI_VAL) VALUES (?, ?)";
    sql_[kRead] = "SELECT NI_VAL FROM " + ucurid + " WHERE NI_KEY = ?";
    sql_[kReport] = insertInto(name("REPORT"),
                               "RPT_ID, FLDR_ID, RPT_NAME, RPT_CRDT, "
                               "RPT_MODT, RPT_USER, SU_ID",
                               7);
    sql_[kJob] =
        insertInto(name("JOB"), "JOB_ID, JOB_DATE, JOB_DESC, RPT_ID", 4);
    sql_[kDsn] =
        insertInto(dsn_, "DSN_ID, DSN_NAME, DSN_CONN, JOB_ID, DSN_TF", 5);
    sql_[kTbl] = insertInto(tbl_,
                            "TBL_ID, DSN_ID, TBL_CAT, TBL_SCH, TBL_NM, "
                            "TBL_FILT, TBL_FEXP, TBL_FSQL, TBL_SINT",
                            9);
    sql_[kFld] = insertInto(
        fld_, "FLD_ID, DSN_ID, TBL_ID, FLD_NAME, FLD_TYPE, DOM_ID", 6);
    sql_[kMetricUpdate] = metricUpdate(fld_);
  }
  ~RawStore() {
    for (sqlite3_stmt* s : statements_) sqlite3_finalize(s);
  }

  bool store(int tables) {
    if (sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
      return false;
    const int report = nextId("REPORT");
    bool ok = run(kReport, {report, 0, "Report", 1.0, 1.0, "bench", -1});
    const int job = nextId("JOB");
    ok = ok && run(kJob, {job, 1.0, "run", report});
    const int dsn = nextId("DSN");
    ok = ok && run(kDsn, {dsn, "src", "DSN=src", job, "N"});
    for (int t = 0; ok && t < tables; ++t) {
      const int tbl = nextId("TBL");
      const std::string tableName = "T" + std::to_string(t);
      ok =
          run(kTbl, {tbl, dsn, "cat", "dbo", tableName.c_str(), "", "", "", 1});
      for (int f = 0; ok && f < kFieldsPerTable; ++f) {
        const int fld = nextId("FLD");
        const std::string fieldName = "F" + std::to_string(f);
        ok = run(kFld, {fld, dsn, tbl, fieldName.c_str(), "S", Bound()}) &&
             setMetrics(fld);
      }
    }
    return sqlite3_exec(db_, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr,
                        nullptr) == SQLITE_OK &&
           ok;
  }

  bool read(int runId, int fields) {
    std::string sql = "SELECT A.FLD_ID, A.FLD_NAME, A.FLD_TYPE";
    for (int i = 0; i < kMetrics; ++i) sql += ", A.MET_" + std::to_string(i);
    sql += " FROM " + fld_ + " A, " + tbl_ + " B, " + dsn_ +
           " C WHERE A.TBL_ID=B.TBL_ID AND B.DSN_ID=C.DSN_ID AND C.JOB_ID=? "
           "ORDER BY A.FLD_NAME";
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &select, nullptr) != SQLITE_OK)
      return false;
    sqlite3_bind_int(select, 1, runId);
    // A listing answers an in-memory copy of its rows, which the caller then
    // reads: copy every row first (numbers in place, texts one after
    // another), then read the copy, as the engine's caller does. The copy is
    // sized for the rows expected, so that it costs no more than it must.
    const size_t texts = static_cast<size_t>(fields) * (2 + kMetrics);
    std::vector<int> ids;
    std::string bytes;
    std::vector<size_t> ends;  // where each text of the copy ends
    ids.reserve(fields);
    ends.reserve(texts);
    bytes.reserve(texts * sizeof kMetricValue);
    while (sqlite3_step(select) == SQLITE_ROW) {
      ids.push_back(sqlite3_column_int(select, 0));
      for (int c = 1; c < 3 + kMetrics; ++c) {
        sqlite3_value* value = sqlite3_column_value(select, c);
        bytes.append(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                     sqlite3_value_bytes(value));
        ends.push_back(bytes.size());
      }
    }
    sqlite3_finalize(select);
    int64_t sum = 0;
    size_t length = 0, begin = 0, k = 0;
    for (int id : ids) {
      sum += id;
      for (int c = 1; c < 3 + kMetrics; ++c, ++k) {
        length += std::string(bytes, begin, ends[k] - begin).size();
        begin = ends[k];
      }
    }
    const int n = static_cast<int>(ids.size());
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(length);
    return n == fields;
  }

 private:
  enum Statement {
    kRaise,
    kCreate,
    kRead,
    kReport,
    kJob,
    kDsn,
    kTbl,
    kFld,
    kMetricUpdate,
    kCount
  };

  // The statement, prepared now or earlier; null when it cannot be.
  sqlite3_stmt* use(Statement which) {
    sqlite3_stmt*& s = statements_[which];
    if (!s) sqlite3_prepare_v2(db_, sql_[which].c_str(), -1, &s, nullptr);
    return s;
  }
  // Ends a use: resets the statement, or finalizes it when each use
  // prepares its own.
  void done(Statement which) {
    sqlite3_stmt*& s = statements_[which];
    if (prepareEachUse_ && which != kMetricUpdate) {
      sqlite3_finalize(s);
      s = nullptr;
    } else {
      sqlite3_reset(s);
    }
  }
  // Runs a statement with its values bound in order.
  bool run(Statement which, std::initializer_list<Bound> values) {
    sqlite3_stmt* s = use(which);
    if (!s) return false;
    int i = 0;
    for (const Bound& v : values) {
      ++i;
      switch (v.kind) {
        case Bound::kNull:
          sqlite3_bind_null(s, i);
          break;
        case Bound::kInt:
          sqlite3_bind_int(s, i, v.i);
          break;
        case Bound::kReal:
          sqlite3_bind_double(s, i, v.r);
          break;
        case Bound::kText:
          sqlite3_bind_text(s, i, v.t, -1, SQLITE_STATIC);
          break;
      }
    }
    const bool ok = sqlite3_step(s) == SQLITE_DONE;
    done(which);
    return ok;
  }
  int nextId(const char* key) {
    if (!run(kRaise, {1, key})) return -1;
    if (sqlite3_changes(db_) == 0 && !run(kCreate, {key, 1})) return -1;
    sqlite3_stmt* s = use(kRead);
    if (!s) return -1;
    sqlite3_bind_text(s, 1, key, -1, SQLITE_STATIC);
    const int id =
        sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
    done(kRead);
    return id;
  }
  bool setMetrics(int fld) {
    sqlite3_stmt* s = use(kMetricUpdate);
    if (!s) return false;
    for (int i = 1; i <= kMetrics; ++i)
      sqlite3_bind_text(s, i, kMetricValue, -1, SQLITE_STATIC);
    sqlite3_bind_int(s, kMetrics + 1, fld);
    const bool ok = sqlite3_step(s) == SQLITE_DONE;
    done(kMetricUpdate);
    return ok;
  }

  sqlite3* db_;
  const bool prepareEachUse_;
  std::string fld_, tbl_, dsn_;
  std::string sql_[kCount];
  sqlite3_stmt* statements_[kCount] = {};
};

// The engine's side: the run through the profile object, the metric values
// through one prepared statement of the connection, all in one transaction.
bool engineStore(ProfileRDAImpl* profile, ReposDataAccess* rda, int tables,
                 int& runId) {
  if (!profile->beginTransaction(0, 0)) return false;
  int report = -1, dsn = -1;
  bool ok = profile->addReport(-1, 0, "Report", 1, "bench", &report) &&
            profile->addReportRun("run", 1, report, &runId) &&
            profile->addRunDsn(runId, "src", "DSN=src", "N", &dsn);
  ReposDataAccessStatement* metrics =
      ok ? rda->createStatement(
               metricUpdate(rda->getTableName("FLD", true, -1).str()).c_str())
         : nullptr;
  ok = ok && metrics;
  const KvbDatavar value(kMetricValue);
  for (int t = 0; ok && t < tables; ++t) {
    int tbl = -1;
    ok = profile->addRunTable(dsn, "cat", "dbo",
                              KvbString("T" + std::to_string(t)), "", "", "", 1,
                              &tbl);
    for (int f = 0; ok && f < kFieldsPerTable; ++f) {
      int fld = -1;
      ok = profile->addRunField(dsn, tbl, KvbString("F" + std::to_string(f)),
                                "S", &fld);
      for (int i = 0; ok && i < kMetrics; ++i)
        ok = metrics->setParameter(i, value);
      ok = ok && metrics->setParameter(kMetrics, KvbDatavar(fld)) &&
           metrics->execute();
    }
  }
  if (metrics) metrics->release();
  return profile->endTransaction(ok) && ok;
}

bool engineRead(ProfileRDAImpl* profile, int runId, int fields) {
  ReposDataAccessCursor* cursor =
      profile->listRunFields(runId, -1, -1, kMetrics);
  if (!cursor) return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    sum += cursor->getInt(0);
    for (int c = 1; c < 3 + kMetrics; ++c)
      length += cursor->getString(c).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == fields;
}

// Two repositories with the core tables, one for the engine and one for the
// bare baseline.
struct Repositories {
  explicit Repositories(benchmark::State& state)
      : engineFile(benchFile("profile")), rawFile(benchFile("profile_raw")) {
    ok = create(engineFile, rda) && create(rawFile, rawNames) &&
         (raw = openBareSqlite(rawFile)) != nullptr &&
         sqlite3_exec(raw, kBenchFileSettings, nullptr, nullptr, nullptr) ==
             SQLITE_OK;
    if (ok) {
      profile = new ProfileRDAImpl(rda);
      store = new RawStore(raw, rawNames, false);
      storePreparingEachUse = new RawStore(raw, rawNames, true);
    } else {
      state.SkipWithError("the repositories cannot be set up");
    }
  }
  ~Repositories() {
    delete store;
    delete storePreparingEachUse;
    if (profile) profile->release();
    if (rda) rda->release();
    if (rawNames) rawNames->release();
    sqlite3_close(raw);
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }
  static bool create(const std::string& file, ReposDataAccess*& rda) {
    KvbString error;
    rda = createReposDataAccess(1, file.c_str(), "", nullptr, error);
    TableCreateOptions options;
    options.createTables = true;
    return rda && rda->paramExec(kBenchFileSettings, nullptr, 0) &&
           rda->createTables(options);
  }
  // Empties the tables that a stored run fills, on both sides.
  bool empty() {
    for (const char* code : {"REPORT", "JOB", "DSN", "TBL", "FLD", "UCURID"}) {
      const std::string sql =
          "DELETE FROM " + rda->getTableName(code, true, -1).str();
      if (!rda->paramExec(sql.c_str(), nullptr, 0) ||
          sqlite3_exec(raw, sql.c_str(), nullptr, nullptr, nullptr) !=
              SQLITE_OK)
        return false;
    }
    return true;
  }

  std::string engineFile, rawFile;
  ReposDataAccess* rda = nullptr;
  ReposDataAccess* rawNames = nullptr;  // names the baseline's tables
  sqlite3* raw = nullptr;
  ProfileRDAImpl* profile = nullptr;
  RawStore* store = nullptr;
  RawStore* storePreparingEachUse = nullptr;
  bool ok = false;
};

// Against a baseline that prepares each statement once, and against one
// that prepares each statement for each use, as the engine's adds do.
void storeBenchmark(benchmark::State& state, bool prepareEachUse) {
  const int tables = static_cast<int>(state.range(0));
  Repositories repos(state);
  if (!repos.ok) return;
  RawStore* baseline =
      prepareEachUse ? repos.storePreparingEachUse : repos.store;
  int runId = -1;
  compareWithBaseline(
      state, "vs_sqlite3", [&] { return repos.empty(); },
      [&] { return engineStore(repos.profile, repos.rda, tables, runId); },
      [&] { return baseline->store(tables); });
}

void BM_ProfileStoreRun(benchmark::State& state) {
  storeBenchmark(state, false);
}
void BM_ProfileStoreRunPreparingEachUse(benchmark::State& state) {
  storeBenchmark(state, true);
}

void BM_ProfileListRunFields(benchmark::State& state) {
  const int tables = static_cast<int>(state.range(0));
  const int fields = tables * kFieldsPerTable;
  Repositories repos(state);
  int runId = -1;
  if (!repos.ok || !repos.empty() ||
      !engineStore(repos.profile, repos.rda, tables, runId) ||
      !repos.store->store(tables)) {
    state.SkipWithError("the run cannot be stored");
    return;
  }
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return engineRead(repos.profile, runId, fields); },
      [&] { return repos.store->read(runId, fields); });
}

BENCHMARK(BM_ProfileStoreRun)
    ->Arg(20)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProfileStoreRunPreparingEachUse)
    ->Arg(20)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProfileListRunFields)
    ->Arg(20)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
