// The rows of a SQLite file as SQLite itself reads them, beside the
// engine's own connections: for tests that check what a failed operation
// left in the file.
#ifndef TESTS_SUPPORT_SQLITE_ROWS_H_
#define TESTS_SUPPORT_SQLITE_ROWS_H_

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

// Runs `sql` on the file through a connection of SQLite's own; a write
// there also makes the engine's connections drop their cached pages.
inline bool sqliteExec(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  const bool ok =
      sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

// The names of the file's tables, in order.
inline std::vector<std::string> sqliteTables(const std::string& path) {
  std::vector<std::string> tables;
  sqlite3* db = nullptr;
  sqlite3_stmt* list = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
      SQLITE_OK)
    sqlite3_prepare_v2(db,
                       "SELECT name FROM sqlite_master WHERE type = 'table' "
                       "ORDER BY name",
                       -1, &list, nullptr);
  while (list && sqlite3_step(list) == SQLITE_ROW)
    tables.emplace_back(
        reinterpret_cast<const char*>(sqlite3_column_text(list, 0)));
  sqlite3_finalize(list);
  sqlite3_close(db);
  return tables;
}

// For each of `tables`: its name, then each of its rows as "a|b|...|" in
// text order ("NULL" for a null); a table that cannot be read is followed
// by "cannot be read".
inline std::vector<std::string> sqliteRows(
    const std::string& path, const std::vector<std::string>& tables) {
  std::vector<std::string> out;
  sqlite3* db = nullptr;
  const bool opened = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY,
                                      nullptr) == SQLITE_OK;
  for (const std::string& table : tables) {
    out.push_back(table);
    sqlite3_stmt* select = nullptr;
    const std::string sql = "SELECT * FROM \"" + table + "\"";
    if (!opened ||
        sqlite3_prepare_v2(db, sql.c_str(), -1, &select, nullptr) != SQLITE_OK)
      out.push_back("cannot be read");
    std::vector<std::string> rows;
    while (select && sqlite3_step(select) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(select); ++c) {
        const unsigned char* text = sqlite3_column_text(select, c);
        row += (text ? reinterpret_cast<const char*>(text) : "NULL");
        row += "|";
      }
      rows.push_back(row);
    }
    sqlite3_finalize(select);
    std::sort(rows.begin(), rows.end());
    out.insert(out.end(), rows.begin(), rows.end());
  }
  sqlite3_close(db);
  return out;
}

// The rows of every table of the file.
inline std::vector<std::string> sqliteRows(const std::string& path) {
  return sqliteRows(path, sqliteTables(path));
}

#endif  // TESTS_SUPPORT_SQLITE_ROWS_H_
