// Benchmark of copying a repository whose distribution rows fill ten
// per-field frequency tables, from one SQLite file into another, against
// the bare sqlite3 copy into a third repository file (on a connection
// opened as the engine opens its own) that does the same work in one
// transaction: "INSERT ... SELECT" from the attached source, the
// attachment timed with it.
// The counter "vs_sqlite3" is the engine's time over the baseline's.
//
// The default run copies 10k and 100k rows; with KV_BENCH_COPY_ROWS set to a
// number of rows (such as 1000000) that size is run as well.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "reposadmin/kvreposadmin.h"
#include "reposadmin/repository_admin.h"

namespace {

constexpr int kFields = 10;

std::string frequencyTable(int field) {
  return "FRQDST" + std::to_string(field);
}

bool exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Makes the per-field tables in the source repository file, as the profile
// store does, with `rows` rows over all fields.
bool fillSource(const std::string& path, int rows) {
  sqlite3* db = openBareSqlite(path);
  bool ok = db && exec(db, "BEGIN");
  sqlite3_stmt* insert = nullptr;
  for (int field = 1; ok && field <= kFields; ++field) {
    const std::string table = frequencyTable(field);
    ok = exec(db, "INSERT INTO FLD (FLD_ID) VALUES (" + std::to_string(field) +
                      ")") &&
         exec(db, "CREATE TABLE " + table +
                      " (FR_VALUE VARCHAR(32000), FR_COUNT INTEGER, FR_MCVAL "
                      "VARCHAR(32000))") &&
         sqlite3_prepare_v2(
             db, ("INSERT INTO " + table + " VALUES (?, ?, ?)").c_str(), -1,
             &insert, nullptr) == SQLITE_OK;
    for (int row = 0; ok && row < rows / kFields; ++row) {
      const std::string value = "value " + std::to_string(row);
      sqlite3_bind_text(insert, 1, value.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 2, row % 97);
      sqlite3_bind_text(insert, 3, kBenchText, -1, SQLITE_STATIC);
      ok = sqlite3_step(insert) == SQLITE_DONE;
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    ok = ok &&
         exec(db, "CREATE INDEX fk_frqdist_fr_val" + std::to_string(field) +
                      " ON " + table + " (FR_VALUE)") &&
         exec(db, "CREATE INDEX fk_frqdist_fr_count" + std::to_string(field) +
                      " ON " + table + " (FR_COUNT)");
  }
  ok = ok && exec(db, "COMMIT");
  sqlite3_close(db);
  return ok;
}

// The bare copy knows its schema, so the one query that finds the tables
// with rows on either side is written once, outside the timed part: every
// table of the target but the per-id tables and those whose rows stay
// (KEYVAL, INFO) or are emptied alone (BIGSTR).
struct BareCopy {
  std::vector<std::string> tables;
  std::string probe;
};

bool planBareCopy(sqlite3* target, BareCopy* plan) {
  sqlite3_stmt* names = nullptr;
  if (sqlite3_prepare_v2(target,
                         "SELECT name FROM main.sqlite_master WHERE "
                         "type='table' AND name NOT IN ('KEYVAL','INFO',"
                         "'BIGSTR') AND name NOT GLOB 'FRQDST[0-9]*' AND name "
                         "NOT GLOB 'H[CS]M[0-9]*' ORDER BY name",
                         -1, &names, nullptr) != SQLITE_OK)
    return false;
  while (sqlite3_step(names) == SQLITE_ROW)
    plan->tables.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(names, 0)));
  sqlite3_finalize(names);
  plan->probe = "SELECT ";
  for (size_t i = 0; i < plan->tables.size(); ++i)
    plan->probe += (i ? "," : "") + std::string("(EXISTS(SELECT 1 FROM main.") +
                   plan->tables[i] + ") OR EXISTS(SELECT 1 FROM src." +
                   plan->tables[i] + "))";
  return !plan->tables.empty();
}

// The baseline does the engine's work with the bare API: it attaches the
// source, and in one transaction replaces each per-field table (dropped,
// made, filled by INSERT ... SELECT and indexed), empties the long texts,
// empties and refills every table that has rows on either side, raises the
// field counter to the highest field id copied, and detaches the source.
bool sqlite3Copy(sqlite3* target, const std::string& sourceFile,
                 const BareCopy& plan) {
  bool ok = exec(target, "ATTACH DATABASE '" + sourceFile + "' AS src") &&
            exec(target, "BEGIN");
  for (int field = 1; ok && field <= kFields; ++field) {
    const std::string table = "main." + frequencyTable(field);
    const std::string n = std::to_string(field);
    ok = exec(target,
              "DROP TABLE IF EXISTS " + table + "; CREATE TABLE " + table +
                  " (FR_VALUE VARCHAR(32000), FR_COUNT INTEGER, "
                  "FR_MCVAL VARCHAR(32000)); INSERT INTO " +
                  table + " SELECT FR_VALUE, FR_COUNT, FR_MCVAL FROM src." +
                  frequencyTable(field) +
                  "; CREATE INDEX main.fk_frqdist_fr_val" + n + " ON " +
                  frequencyTable(field) +
                  " (FR_VALUE); CREATE INDEX main.fk_frqdist_fr_count" + n +
                  " ON " + frequencyTable(field) + " (FR_COUNT)");
  }
  ok = ok && exec(target, "DELETE FROM main.BIGSTR");
  sqlite3_stmt* probe = nullptr;
  ok = ok &&
       sqlite3_prepare_v2(target, plan.probe.c_str(), -1, &probe, nullptr) ==
           SQLITE_OK &&
       sqlite3_step(probe) == SQLITE_ROW;
  for (size_t i = 0; ok && i < plan.tables.size(); ++i)
    if (sqlite3_column_int(probe, static_cast<int>(i)))
      ok = exec(target, "DELETE FROM main." + plan.tables[i] +
                            "; INSERT INTO main." + plan.tables[i] +
                            " SELECT * FROM src." + plan.tables[i]);
  sqlite3_finalize(probe);
  ok = ok &&
       exec(target,
            "UPDATE main.UCURID SET NI_VAL=max(NI_VAL, (SELECT MAX(FLD_ID) "
            "FROM main.FLD)) WHERE NI_KEY='FLD'") &&
       exec(target, "COMMIT");
  if (!ok) exec(target, "ROLLBACK");
  return exec(target, "DETACH DATABASE src") && ok;
}

void BM_CopyRepository(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  const std::string sourceFile = benchFile("copy_source");
  const std::string targetFile = benchFile("copy_target");
  const std::string rawFile = benchFile("copy_raw");
  RepositoryAdmin* admin = createRepositoryAdmin(1, nullptr);
  Repository* source = nullptr;
  Repository* target = nullptr;
  sqlite3* raw = nullptr;
  BareCopy plan;
  if (admin && admin->createFileRepository(sourceFile.c_str()) &&
      admin->createFileRepository(targetFile.c_str()) &&
      admin->createFileRepository(rawFile.c_str()) &&
      fillSource(sourceFile, rows)) {
    source = admin->openFileRepository(sourceFile.c_str(), true);
    target = admin->openFileRepository(targetFile.c_str(), true);
  }
  if (!source || !target || !(raw = openBareSqlite(rawFile)) ||
      !planBareCopy(raw, &plan)) {
    state.SkipWithError("the repositories cannot be set up");
  } else {
    compareWithBaseline(
        state, "vs_sqlite3", [] { return true; },
        [&] { return admin->copyRepository(source, target); },
        [&] { return sqlite3Copy(raw, sourceFile, plan); });
  }
  if (source) source->release();
  if (target) target->release();
  if (admin) admin->release();
  sqlite3_close(raw);
  for (const std::string& file : {sourceFile, targetFile, rawFile})
    std::remove(file.c_str());
}

void copySizes(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(10000)->Arg(100000);
  const char* more = std::getenv("KV_BENCH_COPY_ROWS");
  if (more && std::atoi(more) > 0) benchmark->Arg(std::atoi(more));
}

BENCHMARK(BM_CopyRepository)
    ->Apply(copySizes)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
