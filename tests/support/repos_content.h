// The content of a repository in tests that compare it before and after an
// operation: rows written through bound statements, per-id tables
// (FRQDST<n>, HSM<n>, HCM<n>) made with rows, and the whole content read
// back as sorted text, long texts resolved. A per-id table that exists
// shows even when it is empty.
#ifndef TESTS_SUPPORT_REPOS_CONTENT_H_
#define TESTS_SUPPORT_REPOS_CONTENT_H_

#include <algorithm>
#include <list>
#include <string>
#include <vector>

#include "access/base_rdaimpl.h"
#include "admin/repositoryimpl.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"
#include "support/rda_targets.h"

// The quoted physical name of a table code, with a number when one is
// given.
inline std::string tableName(RepositoryImpl* repos, const char* code,
                             int number = -1) {
  return repos->getDataAccess()->getTableName(code, true, number).str();
}

// Runs `sql` with `values` bound; the connection's reason when it fails,
// else the empty text.
inline std::string execute(RepositoryImpl* repos, const std::string& sql,
                           const std::vector<KvbDatavar>& values = {}) {
  ReposDataAccess* rda = repos->getDataAccess();
  return boundExecute(rda, sql, values)
             ? ""
             : sql + ": " + rda->getErrorMessage().str();
}

// Makes the per-id table <code><id> with a text, an integer and a real
// column, and `rows` rows whose texts start with `text`; answers as
// execute does.
inline std::string idTable(RepositoryImpl* repos, const char* code, int id,
                           const std::string& text, int rows = 3) {
  std::list<TableColumnInfo> columns(3);
  auto column = columns.begin();
  column->name = "VALTXT";
  column->size = repos->getMaxTextLength();
  (++column)->name = "VALCNT";
  column->type = kvbTypeInt;
  (++column)->name = "VALNUM";
  column->type = kvbTypeReal;
  const std::string name = code + std::to_string(id);
  if (!repos->getDataAccess()->createTable(name.c_str(), columns))
    return name + ": " + repos->getDataAccess()->getErrorMessage().str();
  std::string error;
  for (int row = 0; error.empty() && row < rows; ++row)
    error = execute(
        repos,
        "INSERT INTO " + tableName(repos, code, id) + " VALUES (?, ?, ?)",
        {KvbString(text + std::to_string(row)), row, row / 3.0});
  return error;
}

// Every row of a physical table as "a|b|" texts, long texts resolved, in
// text order; `ok` turns false when the table cannot be read.
inline std::vector<std::string> tableRows(RepositoryImpl* repos,
                                          const std::string& physical,
                                          bool* ok = nullptr) {
  ReposDataAccess* rda = repos->getDataAccess();
  ReposDataAccessCursor* cursor =
      rda->paramSelect("SELECT * FROM " + physical, 0);
  const bool read = cursor && cursor->cacheAll();
  if (ok) *ok = *ok && read;
  std::vector<std::string> rows;
  while (read && cursor->next() == 1) {
    std::string row;
    for (int c = 0; c < cursor->getNumCols(); ++c) {
      KvbString full = cursor->getString(c);
      rda->readLongText(cursor->getString(c), &full, 0);
      row += full.str() + "|";
    }
    rows.push_back(row);
  }
  if (cursor) cursor->release();
  return sortedRows(rows);
}

// The codes of the built-in core and NCOA tables and of the tables of the
// repository's table sets, but those in `skipped`.
inline std::vector<std::string> tableCodes(
    RepositoryImpl* repos, const std::vector<std::string>& skipped = {}) {
  std::vector<std::string> codes;
  for (const ReposColumnDef* defs : {reposCoreColumnDefs, reposNcoaColumnDefs})
    for (const ReposColumnDef* def = defs; !isEndRecord(*def); ++def) {
      codes.push_back(def->tableCode);
      while (!isEndRecord(*def)) ++def;
    }
  for (int s = 0; s < repos->getTableSetCount(); ++s)
    for (const ReposTableDef& t : repos->getTableSet(s)->tableDefs)
      codes.push_back(t.name.str());
  std::vector<std::string> kept;
  for (const std::string& code : codes)
    if (std::find(skipped.begin(), skipped.end(), code) == skipped.end())
      kept.push_back(code);
  return kept;
}

// Whether the per-id table <code><id> exists.
inline bool idTableExists(ReposDataAccess* rda, const char* code, int id) {
  std::list<TableColumnInfo> columns;
  return rda->getTableColumns(code + std::to_string(id), columns) > 0;
}

// "<code>:<row>" for every row of the tables of `codes` and of the per-id
// tables with numbers 0 to `maxId` (their code followed by the number), and
// the code of each per-id table that exists alone; `ok` turns false when a
// table cannot be read.
inline std::vector<std::string> repositoryRows(
    RepositoryImpl* repos, const std::vector<std::string>& codes, int maxId,
    bool* ok = nullptr) {
  std::vector<std::string> out;
  auto add = [&](const std::string& code, int number) {
    const std::string name = number < 0 ? code : code + std::to_string(number);
    if (number >= 0) out.push_back(name);
    for (const std::string& row :
         tableRows(repos, tableName(repos, code.c_str(), number), ok))
      out.push_back(name + ":" + row);
  };
  for (const std::string& code : codes) add(code, -1);
  for (const char* code : {"FRQDST", "HSM", "HCM"})
    for (int id = 0; id <= maxId; ++id)
      if (idTableExists(repos->getDataAccess(), code, id)) add(code, id);
  return out;
}

#endif  // TESTS_SUPPORT_REPOS_CONTENT_H_
