// Repairing the id counters: every counter of UCURID is raised to at least
// the highest key in use of its table, so that no new row is ever given a
// key that an existing row already holds.
#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "access/base_rdaimpl.h"
#include "access/savepoint_step.h"
#include "admin/repositoryimpl.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"

namespace {

const char kSourceFile[] = "repos_id_repair";

typedef std::map<KvbString, int> Counters;

// Reads UCURID; a key held twice keeps its larger value.
bool readCounters(ReposDataAccess* rda, Counters* counters) {
  ReposDataAccessCursor* rows = rda->paramSelect(
      "SELECT NI_KEY, NI_VAL FROM " + rda->getTableName("UCURID", true, -1), 0);
  if (!rows) return false;
  int fetched;
  while ((fetched = rows->next()) == 1) {
    const KvbString key = rows->getString(0);
    const int value = rows->getInt(1);
    auto found = counters->find(key);
    if (found == counters->end())
      counters->emplace(key, value);
    else if (value > found->second)
      found->second = value;
  }
  rows->release();
  return fetched == 0;
}

// The upper-case names of the columns that a table of the database has,
// in *names; none when the table does not exist. False, with the reason on
// the connection, when the catalogue cannot be read.
bool existingColumns(ReposDataAccess* rda, const char* code,
                     std::set<KvbString>* names) {
  names->clear();
  std::list<TableColumnInfo> columns;
  if (rda->getTableColumns(code, columns) < 0) return false;
  for (const TableColumnInfo& column : columns)
    names->insert(KvbString(column.name).toUpper());
  return true;
}

// Whether the database has each key column of `keys`, in *present. On
// SQLite one catalogue query answers for all of them; elsewhere, or should
// that query fail, each table's columns are read. False, with the reason
// on the connection, when they cannot be: a key column taken for missing
// would leave its counter below the keys in use.
bool presentKeys(ReposDataAccess* rda,
                 const std::vector<const ReposColumnDef*>& keys,
                 std::vector<bool>* result) {
  std::vector<bool>& present = *result;
  present.assign(keys.size(), false);
  if (RepositoryImpl::onSqlite(rda) && rda->getSchemaName().isEmpty()) {
    KvbString sql("SELECT ");
    std::vector<KvbDatavar> values;
    for (size_t i = 0; i < keys.size(); ++i) {
      sql.append(i ? "," : "")
          .append(
              "EXISTS(SELECT 1 FROM pragma_table_info(?, 'main') WHERE name=? "
              "COLLATE NOCASE)");
      values.push_back(rda->getTableName(keys[i]->tableCode, false, -1));
      values.push_back(KvbString(keys[i]->columnName));
    }
    // At a savepoint of its own, since a failure here goes on.
    bool answered = false;
    runAtSavepoint(rda, nullptr, [&] {
      return (answered =
                  firstRow(rda, sql, values, [&](ReposDataAccessCursor& row) {
                    for (size_t i = 0; i < keys.size(); ++i)
                      present[i] = row.getInt(static_cast<int>(i)) != 0;
                  }) == 1);
    });
    if (answered) return true;
  }
  const char* columnsOf = nullptr;
  std::set<KvbString> columns;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!columnsOf || KvbString(columnsOf) != keys[i]->tableCode) {
      columnsOf = keys[i]->tableCode;
      if (!existingColumns(rda, columnsOf, &columns)) return false;
    }
    present[i] = columns.count(KvbString(keys[i]->columnName).toUpper()) > 0;
  }
  return true;
}

// Raises the counter of every built-in table with an integer key to the
// highest key in use; one query reads every highest key. With
// `checkColumns`, tables or key columns that the database lacks (an older
// repository) are skipped: a failed query would end the whole transaction
// on some databases. A key that cannot be read fails the repair: a counter
// left below it would hand out ids in use.
bool raiseToHighestIds(ReposDataAccess* rda, KvLogger* logger,
                       bool checkColumns, Counters* counters) {
  std::vector<const ReposColumnDef*> keys;
  for (const ReposColumnDef* def = reposCoreColumnDefs;
       !(isEndRecord(def[0]) && isEndRecord(def[1])); ++def)
    if (!isEndRecord(*def) && (def->flags & kColPrimaryKey) &&
        def->type == kvbTypeInt)
      keys.push_back(def);
  if (checkColumns) {
    std::vector<bool> present;
    if (!presentKeys(rda, keys, &present)) return false;
    std::vector<const ReposColumnDef*> found;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (present[i]) {
        found.push_back(keys[i]);
        continue;
      }
      logPrintf(logger, kLogTrace, kSourceFile, __LINE__,
                "%s.%s is not in the database; its counter is not checked",
                keys[i]->tableCode, keys[i]->columnName);
    }
    keys.swap(found);
  }
  if (keys.empty()) return true;
  KvbString sql("SELECT ");
  for (size_t i = 0; i < keys.size(); ++i)
    sql.append(i ? ", " : "")
        .append(
            kvbStringFormat("(SELECT MAX(%s) FROM %S)", keys[i]->columnName,
                            rda->getTableName(keys[i]->tableCode, true, -1)));
  return firstRow(rda, sql, {}, [&](ReposDataAccessCursor& row) {
           for (size_t i = 0; i < keys.size(); ++i) {
             const int column = static_cast<int>(i);
             if (row.isNull(column)) continue;
             auto found =
                 counters->emplace(keys[i]->tableCode, row.getInt(column));
             found.first->second =
                 std::max(found.first->second, row.getInt(column));
           }
         }) == 1;
}

}  // namespace

bool RepositoryImpl::repairIdCounters(bool checkColumns) {
  if (!connected(nullptr)) return false;
  // A DDL script starts from an empty repository, whose counters the
  // connection keeps itself while the script is written.
  if (ddlMode_) return true;
  if (connectionKind_ == 1 && !dataAccess_->needsNextIdResync()) return true;
  return raiseIdCounters(checkColumns);
}

bool RepositoryImpl::raiseIdCounters(bool checkColumns) {
  if (!connected(nullptr)) return false;
  return inTransaction([this, checkColumns] {
    Counters counters;
    const KvbString ucurid = dataAccess_->getTableName("UCURID", true, -1);
    bool ok = readCounters(dataAccess_, &counters) &&
              raiseToHighestIds(dataAccess_, logger_, checkColumns, &counters);
    if (ok) {
      const KvbString empty = "DELETE FROM " + ucurid;
      reportMessage(empty);
      ok = dataAccess_->paramExec(empty, nullptr, 0);
    }
    if (ok) {
      const KvbString sql = kvbStringFormat(
          "INSERT INTO %S (NI_KEY, NI_VAL) VALUES (?, ?)", ucurid);
      reportMessage(sql);
      ReposDataAccessStatement* insert = dataAccess_->createStatement(sql);
      ok = insert != nullptr;
      for (auto entry = counters.begin(); ok && entry != counters.end();
           ++entry)
        ok = insert->setParameter(0, KvbDatavar(entry->first)) &&
             insert->setParameter(1, KvbDatavar(entry->second)) &&
             insert->execute();
      if (insert) insert->release();
    }
    return ok || failOnConnection();
  });
}

bool RepositoryImpl::raiseCounter(const KvbString& key, int value) {
  if (!connected(nullptr)) return false;
  const KvbString ucurid = physical("UCURID");
  int current = 0;
  switch (firstRow(
      dataAccess_, "SELECT NI_VAL FROM " + ucurid + " WHERE NI_KEY=?", {key},
      [&](ReposDataAccessCursor& row) { current = row.getInt(0); })) {
    case 0:
      return execute(
          "INSERT INTO " + ucurid + " (NI_KEY, NI_VAL) VALUES (?, ?)",
          {key, value});
    case 1:
      return current >= value ||
             execute("UPDATE " + ucurid + " SET NI_VAL=? WHERE NI_KEY=?",
                     {value, key});
    default:
      return failOnConnection();
  }
}
