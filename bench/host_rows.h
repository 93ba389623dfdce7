// The rows that the host-route benchmarks (host_bench.cpp) and the memory
// probe (memory_probe.cpp) read, and the bare code they are measured
// against:
// - BENCHROWS, rows of four columns, two integers, a text of 20 characters
//   and a real, which a host reads through Repository::paramSelect, with or
//   without cacheAll();
// - the repository's key/value pairs (KEYVAL), which a host lists through
//   getKeyValues(), an in-memory copy of the rows.
// Each value is read as a host reads it: getInt, getString (which hands out
// a copy of the text) and getDouble. The bare reader copies each text into
// a std::string likewise.
#ifndef BENCH_HOST_ROWS_H_
#define BENCH_HOST_ROWS_H_

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "reposadmin/repos_data_access.h"

constexpr char kHostRowsTable[] = "BENCHROWS";
constexpr char kHostRowsCreate[] =
    "CREATE TABLE BENCHROWS (A INTEGER, B INTEGER, S VARCHAR(20), R REAL)";
constexpr char kHostRowsSelect[] = "SELECT A, B, S, R FROM BENCHROWS";
// The statement of getKeyValues on a repository file (no table prefix).
constexpr char kKeyValuesSelect[] = "SELECT V_KEY, V_VALUE FROM \"KEYVAL\"";

// The text of row `i`: 20 characters.
inline std::string hostRowText(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "text %015d", i);
  return text;
}

inline bool hostExec(sqlite3* db, const char* sql) {
  return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Runs `setup`, then `insert` once per row i in [0, rows) with the values
// that `bind(statement, i)` binds, on the SQLite file at `path`, all in one
// transaction; false, with nothing kept, when a step fails.
template <typename Bind>
bool bareInsertRows(const std::string& path, const char* setup,
                    const char* insert, int rows, Bind bind) {
  sqlite3* db = openBareSqlite(path);
  sqlite3_stmt* statement = nullptr;
  bool ok = db && hostExec(db, setup) && hostExec(db, "BEGIN") &&
            sqlite3_prepare_v2(db, insert, -1, &statement, nullptr) ==
                SQLITE_OK;
  for (int i = 0; ok && i < rows; ++i) {
    bind(statement, i);
    ok = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
  }
  sqlite3_finalize(statement);
  ok = db && hostExec(db, ok ? "COMMIT" : "ROLLBACK") && ok;
  sqlite3_close(db);
  return ok;
}

// Adds BENCHROWS with `rows` rows to the SQLite file at `path`.
inline bool fillHostRows(const std::string& path, int rows) {
  return bareInsertRows(
      path, kHostRowsCreate, "INSERT INTO BENCHROWS VALUES (?, ?, ?, ?)", rows,
      [](sqlite3_stmt* insert, int i) {
        const std::string text = hostRowText(i);
        sqlite3_bind_int(insert, 1, i);
        sqlite3_bind_int(insert, 2, i % 97);
        sqlite3_bind_text(insert, 3, text.data(),
                          static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_double(insert, 4, i * 0.5);
      });
}

// Adds `rows` key/value pairs to the KEYVAL table of the repository file at
// `path`: keys of 11 characters, values of 20.
inline bool fillKeyValues(const std::string& path, int rows) {
  return bareInsertRows(
      path, "", "INSERT INTO \"KEYVAL\" (V_KEY, V_VALUE) VALUES (?, ?)", rows,
      [](sqlite3_stmt* insert, int i) {
        char key[32];
        std::snprintf(key, sizeof key, "key%08d", i);
        const std::string value = hostRowText(i);
        sqlite3_bind_text(insert, 1, key, -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 2, value.data(),
                          static_cast<int>(value.size()), SQLITE_TRANSIENT);
      });
}

// Reads every row of a BENCHROWS cursor as a host does, then releases it;
// true when there were `rows`.
inline bool readHostRows(ReposDataAccessCursor* cursor, int rows) {
  if (!cursor) return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    sum += cursor->getInt(0) + cursor->getInt(1) +
           static_cast<int64_t>(cursor->getDouble(3));
    length += cursor->getString(2).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// Reads every row of a key/value cursor as a host does, then releases it.
inline bool readKeyValues(ReposDataAccessCursor* cursor, int rows) {
  if (!cursor) return false;
  size_t length = 0;
  int n = 0;
  while (cursor->next() == 1) {
    length += cursor->getString(0).length() + cursor->getString(1).length();
    ++n;
  }
  cursor->release();
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// The bare read of BENCHROWS: each row's values read where SQLite holds
// them, the text copied out.
inline bool bareReadHostRows(sqlite3* db, int rows) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, kHostRowsSelect, -1, &select, nullptr) !=
      SQLITE_OK)
    return false;
  int64_t sum = 0;
  size_t length = 0;
  int n = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    sum += sqlite3_column_int(select, 0) + sqlite3_column_int(select, 1) +
           static_cast<int64_t>(sqlite3_column_double(select, 3));
    length += columnString(select, 2).size();
    ++n;
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(sum);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// A compact in-memory copy of BENCHROWS, as a bare program holds rows that
// it reads after the query has ended: the numbers of a row in place, the
// texts one after another in one buffer, each row knowing where its text
// ends. Neither side knows the number of rows beforehand, so the copy
// grows as rows come.
struct CompactRows {
  struct Row {
    int a, b;
    double r;
    size_t textEnd;
  };
  std::vector<Row> rows;
  std::string texts;

  bool copy(sqlite3* db) {
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, kHostRowsSelect, -1, &select, nullptr) !=
        SQLITE_OK)
      return false;
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
      const unsigned char* text = sqlite3_column_text(select, 2);
      if (text)
        texts.append(reinterpret_cast<const char*>(text),
                     static_cast<size_t>(sqlite3_column_bytes(select, 2)));
      rows.push_back({sqlite3_column_int(select, 0),
                      sqlite3_column_int(select, 1),
                      sqlite3_column_double(select, 3), texts.size()});
    }
    sqlite3_finalize(select);
    return rc == SQLITE_DONE;
  }
  // Reads every row, each text copied out as getString hands it out.
  bool read(int expected) const {
    int64_t sum = 0;
    size_t length = 0, begin = 0;
    for (const Row& row : rows) {
      sum += row.a + row.b + static_cast<int64_t>(row.r);
      length += std::string(texts, begin, row.textEnd - begin).size();
      begin = row.textEnd;
    }
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(length);
    return static_cast<int>(rows.size()) == expected;
  }
};

// The bare read of the key/value pairs: both texts of each row copied out.
inline bool bareReadKeyValues(sqlite3* db, int rows) {
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, kKeyValuesSelect, -1, &select, nullptr) !=
      SQLITE_OK)
    return false;
  size_t length = 0;
  int n = 0;
  while (sqlite3_step(select) == SQLITE_ROW) {
    length += columnString(select, 0).size() + columnString(select, 1).size();
    ++n;
  }
  sqlite3_finalize(select);
  benchmark::DoNotOptimize(length);
  return n == rows;
}

// A compact in-memory copy of the key/value pairs (both texts one after
// another in one buffer), the bare counterpart of a listing's copy, for
// the memory probe.
struct CompactKeyValues {
  std::string texts;
  std::vector<size_t> ends;  // where each key and each value ends

  bool copy(sqlite3* db) {
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, kKeyValuesSelect, -1, &select, nullptr) !=
        SQLITE_OK)
      return false;
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
      for (int c = 0; c < 2; ++c) {
        const unsigned char* text = sqlite3_column_text(select, c);
        if (text)
          texts.append(reinterpret_cast<const char*>(text),
                       static_cast<size_t>(sqlite3_column_bytes(select, c)));
        ends.push_back(texts.size());
      }
    }
    sqlite3_finalize(select);
    return rc == SQLITE_DONE;
  }
  bool read(int expected) const {
    size_t length = 0, begin = 0;
    for (size_t end : ends) {
      length += std::string(texts, begin, end - begin).size();
      begin = end;
    }
    benchmark::DoNotOptimize(length);
    return static_cast<int>(ends.size()) == 2 * expected;
  }
};

#endif  // BENCH_HOST_ROWS_H_
