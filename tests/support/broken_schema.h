// A SQLite file whose schema cannot be read, as in a file damaged while it
// is open: a row of its schema table holds a statement that does not
// parse, so every connection fails its next statement with "malformed
// database schema" (and a new one fails to open). The repair removes that
// row again.
#ifndef TESTS_SUPPORT_BROKEN_SCHEMA_H_
#define TESTS_SUPPORT_BROKEN_SCHEMA_H_

#include <sqlite3.h>

#include <cstdlib>
#include <string>

// Runs `sql` on the schema table, then raises the schema's version, so
// that connections already open read the changed schema at their next
// statement.
inline bool changeSqliteSchema(const std::string& file, const char* sql) {
  sqlite3* db = nullptr;
  int version = -1;
  auto readVersion = [](void* out, int, char** values, char**) {
    *static_cast<int*>(out) = std::atoi(values[0]);
    return 0;
  };
  bool ok = sqlite3_open(file.c_str(), &db) == SQLITE_OK &&
            sqlite3_exec(db, "PRAGMA writable_schema=ON", nullptr, nullptr,
                         nullptr) == SQLITE_OK &&
            sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK &&
            sqlite3_exec(db, "PRAGMA schema_version", readVersion, &version,
                         nullptr) == SQLITE_OK;
  const std::string raise =
      "PRAGMA schema_version=" + std::to_string(version + 1);
  ok = ok &&
       sqlite3_exec(db, raise.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  sqlite3_close(db);
  return ok;
}

inline bool breakSqliteSchema(const std::string& file) {
  return changeSqliteSchema(
      file,
      "INSERT INTO sqlite_master VALUES"
      "('table', 'broken', 'broken', 0, 'CREATE TABLE broken(')");
}

inline bool repairSqliteSchema(const std::string& file) {
  return changeSqliteSchema(file,
                            "DELETE FROM sqlite_master WHERE name = 'broken'");
}

#endif  // TESTS_SUPPORT_BROKEN_SCHEMA_H_
