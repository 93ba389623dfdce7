// Benchmarks of the NCOA store on a SQLite file, each against the same rows
// written or read through the bare sqlite3 C API on a file of the same
// schema, opened as the engine opens its own (openBareSqlite):
// - storing executions with all 241 statistics (addNcoaExecution after the
//   values are staged), against one NCOAEX and 241 NCOAED inserts per
//   execution through statements prepared once: with one transaction per
//   execution (a commit each, as a host storing runs one by one), and with
//   every execution in one transaction of the caller (which shows the
//   engine's own work without the disk's);
// - the listing of those executions, one row per execution
//   (listNcoaExecutions), against the engine's own two statements (the
//   executions, then their statistics, both in the order of the runs) read
//   and pivoted into rows of texts.
// The counter "vs_sqlite3" is the engine's time over the baseline's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_support.h"
#include "ncoa/ncoa_rdaimpl.h"
#include "rda/rda_factory.h"
#include "schema/repos_tables.h"

namespace {

constexpr int kColumns = 245;     // RUN_ID, PAF_ID, GRP_ID, EX_DATE, stats
constexpr int kStatistics = 241;  // keys 4 to 244
constexpr int kPafs = 13;         // the PAF records that executions name

// The value of statistic `key` in execution `run`, fitted to its column.
KvbDatavar statistic(int key, int run) {
  const ReposColumnDef* def = ncoaColumnDefAt(key - 4, true);
  if (def->type == kvbTypeString)
    return KvbDatavar(std::to_string(run + key).substr(0, def->length).c_str());
  return def->type == kvbTypeInt ? KvbDatavar(run + key)
                                 : KvbDatavar(run + key * 0.5);
}

bool engineStoreEach(NCOARDAImpl* ncoa, int executions) {
  for (int run = 1; run <= executions; ++run) {
    if (!ncoa->setNcoaExecColumnValue(2, run % 7)) return false;
    for (int key = 4; key < kColumns; ++key)
      if (!ncoa->setNcoaExecColumnValue(key, statistic(key, run))) return false;
    if (!ncoa->addNcoaExecution(0, run % kPafs + 1, nullptr)) return false;
  }
  return true;
}

// With `eachCommitted` every execution is a transaction of its own,
// otherwise all are one of the caller's.
bool engineStore(NCOARDAImpl* ncoa, int executions, bool eachCommitted) {
  if (eachCommitted) return engineStoreEach(ncoa, executions);
  return ncoa->beginTransaction(0, 0) &&
         ncoa->endTransaction(engineStoreEach(ncoa, executions));
}

bool bind(sqlite3_stmt* statement, int index, const KvbDatavar& value) {
  const KvbString text = value.asString();
  return sqlite3_bind_text(statement, index, text.asCstr(),
                           static_cast<int>(text.length()),
                           SQLITE_TRANSIENT) == SQLITE_OK;
}

bool exec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// With `eachCommitted` every execution is a transaction of its own,
// otherwise all are one.
bool sqlite3Store(sqlite3* db, int executions, double date,
                  bool eachCommitted) {
  sqlite3_stmt* run = nullptr;
  sqlite3_stmt* stat = nullptr;
  bool ok =
      sqlite3_prepare_v2(db,
                         "INSERT INTO \"NCOAEX\" (RUN_ID, PAF_ID, GRP_ID, "
                         "EX_DATE) VALUES (?, ?, ?, ?)",
                         -1, &run, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db,
                         "INSERT INTO \"NCOAED\" (RUN_ID, SEQ_ID, DNAME, "
                         "DVALUE) VALUES (?, ?, ?, ?)",
                         -1, &stat, nullptr) == SQLITE_OK &&
      (eachCommitted || exec(db, "BEGIN"));
  for (int id = 1; ok && id <= executions; ++id) {
    ok = !eachCommitted || exec(db, "BEGIN");
    sqlite3_bind_int(run, 1, id);
    sqlite3_bind_int(run, 2, id % kPafs + 1);
    sqlite3_bind_int(run, 3, id % 7);
    sqlite3_bind_double(run, 4, date);
    ok = ok && sqlite3_step(run) == SQLITE_DONE;
    sqlite3_reset(run);
    for (int key = 4; ok && key < kColumns; ++key) {
      sqlite3_bind_int(stat, 1, id);
      sqlite3_bind_int(stat, 2, key - 4);
      sqlite3_bind_text(stat, 3, ncoaColumnDefAt(key - 4, true)->columnName, -1,
                        SQLITE_STATIC);
      ok = bind(stat, 4, statistic(key, id)) &&
           sqlite3_step(stat) == SQLITE_DONE;
      sqlite3_reset(stat);
    }
    if (eachCommitted) ok = exec(db, ok ? "COMMIT" : "ROLLBACK") && ok;
  }
  if (!eachCommitted) ok = exec(db, ok ? "COMMIT" : "ROLLBACK") && ok;
  sqlite3_finalize(run);
  sqlite3_finalize(stat);
  return ok;
}

// Reads every execution of the listing; true when there were `executions`.
bool engineList(NCOARDAImpl* ncoa, int executions) {
  ReposDataAccessCursor* cursor =
      ncoa->listNcoaExecutions(KvbDate(), KvbDate(), KvbString(), -1, -1, -1);
  if (!cursor) return false;
  int n = 0;
  while (cursor->next() == 1) ++n;
  cursor->release();
  return n == executions;
}

// The engine's two statements, as listNcoaExecutions runs them without a
// filter: the executions, and the statistics joined to them, both in the
// order of the runs. The executions are stepped alongside the statistics
// (no copy of them is needed on the bare side): the first statistic of a
// run opens its row with the four columns of its execution, and a run
// without statistics is left out, as the engine leaves it out.
bool sqlite3List(sqlite3* db, int executions) {
  sqlite3_stmt* runs = nullptr;
  sqlite3_stmt* stats = nullptr;
  if (sqlite3_prepare_v2(db,
                         "SELECT A.RUN_ID, A.PAF_ID, A.GRP_ID, A.EX_DATE "
                         "FROM \"NCOAEX\" A ORDER BY A.RUN_ID",
                         -1, &runs, nullptr) != SQLITE_OK ||
      sqlite3_prepare_v2(db,
                         "SELECT B.RUN_ID, B.SEQ_ID, B.DVALUE FROM \"NCOAEX\" "
                         "A INNER JOIN \"NCOAED\" B ON A.RUN_ID=B.RUN_ID "
                         "ORDER BY A.RUN_ID, B.SEQ_ID",
                         -1, &stats, nullptr) != SQLITE_OK) {
    sqlite3_finalize(runs);
    return false;
  }
  std::vector<std::vector<std::string>> rows;
  int current = 0, run = 0;  // the statistics' run, the executions' run
  bool started = false, onRun = false, runsLeft = true, rowOpen = false;
  while (sqlite3_step(stats) == SQLITE_ROW) {
    const int id = sqlite3_column_int(stats, 0);
    if (!started || id != current) {
      started = true;
      current = id;
      while (runsLeft && (!onRun || run < id)) {
        onRun = runsLeft = sqlite3_step(runs) == SQLITE_ROW;
        if (onRun) run = sqlite3_column_int(runs, 0);
      }
      rowOpen = onRun && run == id;
      if (rowOpen) {
        rows.emplace_back(kColumns);
        for (int c = 0; c < 4; ++c) rows.back()[c] = columnString(runs, c);
      }
    }
    const int column = sqlite3_column_int(stats, 1) + 4;
    if (rowOpen && column < kColumns)
      rows.back()[column] = columnString(stats, 2);
  }
  sqlite3_finalize(runs);
  sqlite3_finalize(stats);
  return static_cast<int>(rows.size()) == executions;
}

// An engine file with the core and NCOA tables, with the NCOA store over
// it, and a copy of it opened by sqlite3.
struct NcoaFiles {
  explicit NcoaFiles(benchmark::State& state)
      : engineFile(benchFile("ncoa")), rawFile(benchFile("ncoa_raw")) {
    KvbString error;
    rda = createReposDataAccess(1, engineFile.c_str(), "", nullptr, error);
    TableCreateOptions core, ncoaTables;
    core.createTables = ncoaTables.createTables = true;
    ncoaTables.useNcoaTables = true;
    ok = rda && rda->createTables(core) && rda->createTables(ncoaTables);
    if (ok) {
      ncoa = new NCOARDAImpl(rda);
      ok = ncoa->loadNcoaExecColumns();
    }
    // The PAF records that the executions name, in both files.
    for (int paf = 1; ok && paf <= kPafs; ++paf)
      ok = ncoa->addPaf("", "", "", 1, 1, KvbDate(), 0, "L", "P", nullptr);
    std::error_code copied;
    std::filesystem::copy_file(engineFile, rawFile, copied);
    ok = ok && !copied && (raw = openBareSqlite(rawFile)) != nullptr;
    if (!ok) state.SkipWithError("the NCOA files cannot be set up");
  }
  ~NcoaFiles() {
    if (ncoa) ncoa->release();
    if (rda) rda->release();
    sqlite3_close(raw);
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }
  // Empties the execution tables of both files.
  bool empty() {
    const char kDelete[] = "DELETE FROM \"NCOAED\"; DELETE FROM \"NCOAEX\";";
    return rda->paramExec("DELETE FROM \"NCOAED\"", nullptr, 0) &&
           rda->paramExec("DELETE FROM \"NCOAEX\"", nullptr, 0) &&
           sqlite3_exec(raw, kDelete, nullptr, nullptr, nullptr) == SQLITE_OK;
  }

  std::string engineFile, rawFile;
  ReposDataAccess* rda = nullptr;
  NCOARDAImpl* ncoa = nullptr;
  sqlite3* raw = nullptr;
  bool ok = false;
};

// Arguments: the number of executions, and 1 for a commit per execution or
// 0 for one transaction around all.
void BM_NcoaStoreExecutions(benchmark::State& state) {
  const int executions = static_cast<int>(state.range(0));
  const bool eachCommitted = state.range(1) != 0;
  NcoaFiles files(state);
  if (!files.ok) return;
  compareWithBaseline(
      state, "vs_sqlite3", [&] { return files.empty(); },
      [&] { return engineStore(files.ncoa, executions, eachCommitted); },
      [&] {
        return sqlite3Store(files.raw, executions,
                            KvbDate::currentDate().asDouble(), eachCommitted);
      });
  state.counters["statistics"] = kStatistics;
}

void BM_NcoaListExecutions(benchmark::State& state) {
  const int executions = static_cast<int>(state.range(0));
  NcoaFiles files(state);
  if (!files.ok) return;
  if (!files.empty() || !engineStore(files.ncoa, executions, false) ||
      !sqlite3Store(files.raw, executions, KvbDate::currentDate().asDouble(),
                    false)) {
    state.SkipWithError("the executions cannot be stored");
    return;
  }
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return engineList(files.ncoa, executions); },
      [&] { return sqlite3List(files.raw, executions); });
}

// Each kind at two sizes 10x apart, so that a cost that grows faster than
// the rows shows.
BENCHMARK(BM_NcoaStoreExecutions)
    ->Args({100, 1})
    ->Args({1000, 1})
    ->Args({400, 0})
    ->Args({4000, 0})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NcoaListExecutions)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
