// Benchmark of the reference-data contents view: getDomainContents over a
// domain version whose items each carry one attribute with one value, so
// that the view gives one row per item, against the same statement run on
// a copy of the same file through the bare sqlite3 C API (a connection
// opened as the engine opens its own). Both read every column of every row,
// each value as a text copied out (getString hands out a copy). The counter
// "vs_sqlite3" is the engine's time over the baseline's.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "admin/repositoryimpl.h"
#include "bench_support.h"
#include "reposadmin/refdata_data_access.h"

namespace {

// The statement of getDomainContents for one domain version, on tables
// without a prefix.
const char kContentsSql[] =
    "SELECT iv.ID, i.ITEMKEY, i.ITEMVAL, iv.PARNTID, av.VALUE, a.ATTRNAME, "
    "a.DESCRPTN, l.LANGNAME, d.DOMNAME, dv.VERSION FROM \"RDDOMS\" d "
    "INNER JOIN \"RDDOVR\" dv ON d.ID=dv.DOMAINID INNER JOIN \"RDITVR\" iv "
    "ON iv.DOMVERID=dv.ID INNER JOIN \"RDDOIT\" i ON iv.ITEMID=i.ID "
    "LEFT JOIN \"RDDOIA\" ia ON ia.ITVERID=iv.ID LEFT JOIN \"RDATRS\" a ON "
    "ia.ATTRIBID=a.ID LEFT JOIN \"RDIAVR\" iav ON iav.ITEATTID=ia.ID AND "
    "iav.DOMVERID=iv.DOMVERID LEFT JOIN \"RDITVV\" iavv ON "
    "iav.ITEATTID=iavv.ITEATTID AND iavv.DOMVERID=iv.DOMVERID LEFT JOIN "
    "\"RDITAV\" av ON av.ID=iavv.ITATVLID LEFT JOIN \"RDLANS\" l ON "
    "av.LANGID=l.ID WHERE dv.DOMAINID=? AND iv.DOMVERID=? "
    "ORDER BY dv.VERSION desc, i.ITEMKEY, a.ID, av.LANGID";

// One domain with one version, `items` items in a two-level tree, each
// with an attribute carried by the version and an English value.
std::string contentsRows(int items) {
  const std::string n =
      "WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k+1 FROM n WHERE k<" +
      std::to_string(items) + ") ";
  return "BEGIN;"
         "INSERT INTO \"RDDOMS\" (ID, DOMNAME) VALUES (1, 'Places');"
         "INSERT INTO \"RDDOVR\" (ID, DOMAINID, VERSION) VALUES (1, 1, 1);"
         "INSERT INTO \"RDLANS\" (ID, LANGNAME, CODE) VALUES (1, 'English', "
         "'en');"
         "INSERT INTO \"RDATRS\" (ID, ATTRNAME, DESCRPTN) VALUES (1, 'Name', "
         "'the name');"
         "INSERT INTO \"RDDOIT\" (ID, ITEMKEY, ITEMVAL) " +
         n +
         "SELECT k, printf('K%07d', k), 'item ' || k FROM n;"
         "INSERT INTO \"RDITVR\" (ID, DOMVERID, ITEMID, PARNTID) " +
         n +
         "SELECT k, 1, k, CASE WHEN k > 100 THEN k % 100 + 1 END FROM n;"
         "INSERT INTO \"RDDOIA\" (ID, ITVERID, ATTRIBID) " +
         n +
         "SELECT k, k, 1 FROM n;"
         "INSERT INTO \"RDIAVR\" (DOMVERID, ITEATTID) " +
         n +
         "SELECT 1, k FROM n;"
         "INSERT INTO \"RDITAV\" (ID, VALUE, LANGID) " +
         n +
         "SELECT k, 'value ' || k, 1 FROM n;"
         "INSERT INTO \"RDITVV\" (DOMVERID, ITATVLID, ITEATTID) " +
         n +
         "SELECT 1, k, k FROM n;"
         "COMMIT;";
}

// Reads every column of every row as text, as a host showing the contents
// does; true when there were `rows` rows.
bool readAll(ReposDataAccessCursor* cursor, int rows) {
  if (!cursor) return false;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    for (int c = 0; c < 10; ++c) length += cursor->getString(c).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(length);
  return n == rows;
}

bool sqlite3ReadAll(sqlite3* db, int rows) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, kContentsSql, -1, &select, nullptr) != SQLITE_OK)
    return false;
  sqlite3_bind_int(select, 1, 1);
  sqlite3_bind_int(select, 2, 1);
  size_t length = 0;
  int n = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    for (int c = 0; c < 10; ++c) length += columnString(select, c).size();
    ++n;
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// A repository file with the reference-data tables and `items` rows of
// contents, opened by the engine, and a copy of it opened by sqlite3.
struct Contents {
  Contents(benchmark::State& state, int items)
      : engineFile(benchFile("refdata")), rawFile(benchFile("refdata_raw")) {
    kvbGetConfigOptions("")->set("REPOS/TABLE_LIST_PATH",
                                 KV_SOURCE_DIR "/etc/reposcreate");
    repos = new RepositoryImpl();
    KvbString error;
    TableCreateOptions core;
    core.createTables = true;
    ok = repos->init(1, nullptr, 0, engineFile.c_str(), "", "", nullptr,
                     &error) &&
         repos->getDataAccess()->createTables(core) &&
         repos->createTables(false, true, false, false, nullptr) &&
         (raw = openBareSqlite(engineFile)) != nullptr &&
         sqlite3_exec(raw, contentsRows(items).c_str(), nullptr, nullptr,
                      nullptr) == SQLITE_OK &&
         sqlite3_close(raw) == SQLITE_OK;
    raw = nullptr;
    std::error_code copied;
    std::filesystem::copy_file(engineFile, rawFile, copied);
    ok = ok && !copied && (raw = openBareSqlite(rawFile)) != nullptr;
    refdata = ok ? repos->createRefDataDataAccess() : nullptr;
    if (!(ok = ok && refdata))
      state.SkipWithError("the reference data cannot be set up");
  }
  ~Contents() {
    if (refdata) refdata->release();
    repos->release();
    sqlite3_close(raw);
    kvbGetConfigOptions("")->remove("REPOS/TABLE_LIST_PATH");
    std::remove(engineFile.c_str());
    std::remove(rawFile.c_str());
  }

  std::string engineFile, rawFile;
  RepositoryImpl* repos = nullptr;
  RefDataRepositoryDataAccess* refdata = nullptr;
  sqlite3* raw = nullptr;
  bool ok = false;
};

void BM_RefDataDomainContents(benchmark::State& state) {
  const int rows = static_cast<int>(state.range(0));
  Contents contents(state, rows);
  if (!contents.ok) return;
  compareWithBaseline(
      state, "vs_sqlite3", [] { return true; },
      [&] { return readAll(contents.refdata->getDomainContents(1, 1), rows); },
      [&] { return sqlite3ReadAll(contents.raw, rows); });
}

BENCHMARK(BM_RefDataDomainContents)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
