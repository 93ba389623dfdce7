// Creating, checking, listing and dropping tables and indexes: the built-in
// definitions, definition arrays of table sets, and tables given as column
// lists. Names that come from outside are checked before they reach SQL.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <typeinfo>

#include "rda/rda_impl.h"
#include "rda/repos_data_cursor.h"
#include "reposadmin/repository_status_callback.h"
#include "schema/repos_tables.h"
#include "schema/sql_names.h"

namespace {

// A physical table name without its quotes.
KvbString unquoted(const KvbString& name) {
  if (name.find('"') == KvbString::npos) return name;
  std::string bare;
  for (char c : name.str())
    if (c != '"') bare += c;
  return KvbString(std::move(bare));
}

// A physical table name, quoted or not, with at most one schema part.
bool isPhysicalName(const KvbString& name) {
  KvbString bare = unquoted(name);
  size_t point = bare.find('.');
  if (point == KvbString::npos) return isPlainName(bare);
  return isPlainName(bare.substr(0, point)) &&
         isPlainName(bare.substr(point + 1));
}

KvbString joined(const std::vector<KvbString>& items) {
  KvbString out("");
  for (const KvbString& item : items) {
    if (!out.isEmpty()) out.append(", ");
    out.append(item);
  }
  return out;
}

// The per-id table that `name` is under `prefix`: "<prefix><code><id>" with
// the id written as the engine writes it (no sign, no leading zero), the
// case of letters aside; false for any other name.
bool idTableNamed(const KvbString& name, const KvbString& prefix,
                  RDA_IdTable* table) {
  if (!name.startsWith(prefix.asCstr(), true)) return false;
  const KvbString rest = name.substr(prefix.length());
  for (const char* code : kRdaIdTableCodes) {
    const KvbString digits = rest.substr(strlen(code));
    if (rest.startsWith(code, true) && digits.toInt(table->id) &&
        table->id >= 0 && KvbString::fromInt(table->id) == digits) {
      table->code = code;
      return true;
    }
  }
  return false;
}

}  // namespace

const char* const kRdaOlderTableCodes[5] = {"FRQDST", "CURID", "MCURID",
                                            "KEYVAL", "REDUN"};

const char* const kRdaIdTableCodes[3] = {"FRQDST", "HSM", "HCM"};


KvbString RDA_Neighbours::claimantOf(const KvbString& name) const {
  for (const KvbString& prefix : prefixes) {
    RDA_IdTable table;
    if (name.startsWith(prefix.asCstr(), true) &&
        (codes.count(name.substr(prefix.length()).toUpper().str()) != 0 ||
         idTableNamed(name, prefix, &table)))
      return prefix;
  }
  return KvbString();
}

// One table of a definition array: its column records and its end record.
struct RDA_BaseImpl::DefinedTable {
  const ReposColumnDef* first;
  const ReposColumnDef* end;
  bool builtIn;  // the built-in composite indexes apply
  const char* code() const { return first->tableCode; }
};

TableColumnInfo RDA_BaseImpl::describedColumn(const KvbString& name,
                                              const KvbString& typeName) {
  const KvbString type = KvbString(typeName).toLower();
  TableColumnInfo column;
  column.name = name;
  column.size = 0;
  if (type.find("int") != KvbString::npos) {
    column.type = kvbTypeInt;
  } else if (type.startsWith("double") || type.startsWith("real") ||
             type.startsWith("float") || type.startsWith("numeric")) {
    column.type = kvbTypeReal;
  } else {
    column.type = kvbTypeString;
    const size_t open = type.find('(');
    if (open == KvbString::npos ||
        !type.substr(open + 1, type.length() - open - 2).toInt(column.size) ||
        column.size <= 0)
      column.size = getMaxTextLength();
  }
  return column;
}

bool RDA_BaseImpl::tableExists(const KvbString& physicalName, bool* exists) {
  std::list<TableColumnInfo> columns;
  if (!tableColumns_INT(unquoted(physicalName), columns)) return false;
  *exists = !columns.empty();
  return true;
}

KvbString RDA_BaseImpl::columnDeclaration(const KvbString& name, int type,
                                          int size, bool notNull, bool key) {
  std::string text;
  appendColumnDeclaration(text, name.asCstr(), type, size, notNull, key);
  return KvbString(std::move(text));
}

void RDA_BaseImpl::appendColumnDeclaration(std::string& out, const char* name,
                                           int type, int size, bool notNull,
                                           bool key) {
  out.append(name).append(1, ' ').append(columnType(type, size, key).str());
  if (notNull) out += " NOT NULL";
}

// The back end names a type the same for every table: a creation asks for
// some thousand declarations of a few types.
const KvbString& RDA_BaseImpl::columnType(int type, int size, bool key) {
  auto known = columnTypes_.find({type, size, key});
  if (known == columnTypes_.end())
    known = columnTypes_
                .emplace(std::make_tuple(type, size, key),
                         columnType_INT(type, size, key))
                .first;
  return known->second;
}

// One index of a defined table: its name, its column list (names separated
// by ", "), and whether it is unique.
struct RDA_BaseImpl::DefinedIndex {
  KvbString name;
  KvbString columns;
  bool unique;
};

// The indexes of a defined table: one per indexed column and, for the
// built-in tables, the composite indexes.
std::vector<RDA_BaseImpl::DefinedIndex> RDA_BaseImpl::definedIndexes(
    const DefinedTable& table, const KvbString& indexPrefix) {
  std::vector<DefinedIndex> indexes;
  for (const ReposColumnDef* c = table.first; c != table.end; ++c)
    if (c->flags & kColIndexed)
      indexes.push_back({getIndexName(c->indexNumber, indexPrefix),
                         KvbString(c->columnName),
                         (c->flags & kColUnique) != 0});
  for (const ReposCompositeIndex* ix = reposCompositeIndexes;
       table.builtIn && ix->tableCode; ++ix) {
    if (strcmp(ix->tableCode, table.code()) != 0) continue;
    KvbString columns(ix->columns[0]);
    for (int i = 1; ix->columns[i]; ++i) columns.append(", ").append(ix->columns[i]);
    indexes.push_back(
        {getIndexName(ix->indexNumber, indexPrefix), columns, false});
  }
  return indexes;
}

// The CREATE INDEX statement of an index on the table `physical`.
static KvbString indexStatement(const KvbString& indexName,
                                const KvbString& physical,
                                const KvbString& columns, bool unique) {
  KvbString sql(unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ");
  sql.append(indexName).append(" ON ").append(physical).append(" (");
  return sql.append(columns).append(')');
}

// `physical` is the table's quoted name, `bare` the same without quotes.
bool RDA_BaseImpl::createIndexNamed(const KvbString& tableCode,
                                    const KvbString& physical,
                                    const KvbString& bare,
                                    const KvbString& indexName,
                                    const KvbString& columns, bool unique) {
  return madeNameFits(indexName) &&
         runDDL(indexStatement(indexName, physical, columns, unique)) &&
         runTableCommands_INT(tableCode, bare, indexName);
}

// Calls `add` with the declaration parts of each column of a defined table:
// name, type, size and flags; the metric placeholder gives MET_0..MET_23.
template <typename Add>
static void forEachColumn(const ReposColumnDef* first,
                          const ReposColumnDef* end, int maxText, Add add) {
  // Never destroyed: threads may still call while the process exits.
  static const std::vector<std::string>* const metricNames = [] {
    auto* names = new std::vector<std::string>;
    for (int m = 0; m < kFieldMetricCount; ++m)
      names->push_back("MET_" + std::to_string(m));
    return names;
  }();
  for (const ReposColumnDef* c = first; c != end; ++c) {
    if (c->flags & kColMetrics) {
      for (int m = 0; m < kFieldMetricCount; ++m)
        add((*metricNames)[m].c_str(), kvbTypeString,
            fieldMetricDefs[m].size ? fieldMetricDefs[m].size : maxText, 0);
    } else {
      add(c->columnName, c->type,
          (c->flags & kColMaxText) ? maxText : c->length, c->flags);
    }
  }
}

// The table's statement is written in place, column by column: a creation
// makes some hundred tables, and this is the engine's share of its time.
RDA_TableDdl RDA_BaseImpl::definedTableDdl(const DefinedTable& table,
                                           const KvbString& indexPrefix) {
  const KvbString physical = getTableName(table.code(), true, -1);
  RDA_TableDdl ddl{unquoted(physical), {}};
  std::string sql = "CREATE TABLE " + physical.str() + " (";
  std::string keys;
  const size_t columnsStart = sql.size();
  forEachColumn(table.first, table.end, getMaxTextLength(),
                [&](const char* name, int type, int size, int flags) {
                  if (sql.size() != columnsStart) sql += ", ";
                  appendColumnDeclaration(sql, name, type, size,
                                          (flags & kColNotNull) != 0, false);
                  if (!(flags & kColPrimaryKey)) return;
                  if (!keys.empty()) keys += ", ";
                  keys += name;
                });
  if (!keys.empty()) sql.append(", PRIMARY KEY (").append(keys) += ')';
  sql += ')';
  ddl.statements.emplace_back(KvbString(std::move(sql)), KvbString());
  for (const DefinedIndex& index : definedIndexes(table, indexPrefix))
    ddl.statements.emplace_back(
        indexStatement(index.name, physical, index.columns, index.unique),
        index.name);
  return ddl;
}

bool RDA_BaseImpl::runTableDdl(const char* tableCode, const RDA_TableDdl& ddl) {
  const size_t point = ddl.bare.find('.');
  if (!madeNameFits(point == KvbString::npos ? ddl.bare
                                             : ddl.bare.substr(point + 1)))
    return false;
  for (const auto& statement : ddl.statements)
    if (!(statement.second.isNull() || madeNameFits(statement.second)) ||
        !runDDL(statement.first) ||
        !runTableCommands_INT(tableCode, ddl.bare, statement.second))
      return false;
  return true;
}

bool RDA_BaseImpl::createDefinedTable(const DefinedTable& table,
                                      const KvbString& indexPrefix) {
  return runTableDdl(table.code(), definedTableDdl(table, indexPrefix));
}

std::string RDA_BaseImpl::ddlLayout(const KvbString& indexPrefix) {
  return std::string(typeid(*this).name()) + '\n' + tablePrefix_.str() + '\n' +
         getSchemaName().str() + '\n' + nameQuote_INT().str() + '\n' +
         indexPrefix.str() + '\n' + std::to_string(getMaxTextLength());
}

namespace {

// The statements that made the tables of a built-in definition array, with
// the layout (see ddlLayout) and the column types they were written for.
// The arrays are constants, so a creation on a connection of the same
// layout and types runs them as they are instead of writing them again.
struct KeptDdl {
  std::string layout;
  std::map<std::tuple<int, int, bool>, KvbString> types;
  std::vector<RDA_TableDdl> tables;
};
// The kept statements by definition array. Never destroyed: threads may
// still create tables while the process exits.
struct KeptDdls {
  std::mutex mutex;
  std::map<const ReposColumnDef*, std::shared_ptr<const KeptDdl>> byDefs;
};
KeptDdls& keptDdls() {
  static KeptDdls* const kept = new KeptDdls;
  return *kept;
}

std::shared_ptr<const KeptDdl> keptDdlOf(const ReposColumnDef* defs) {
  KeptDdls& kept = keptDdls();
  std::lock_guard<std::mutex> guard(kept.mutex);
  auto found = kept.byDefs.find(defs);
  return found == kept.byDefs.end() ? nullptr : found->second;
}

void keepDdl(const ReposColumnDef* defs, std::shared_ptr<const KeptDdl> ddl) {
  KeptDdls& kept = keptDdls();
  std::lock_guard<std::mutex> guard(kept.mutex);
  kept.byDefs[defs] = std::move(ddl);
}

}  // namespace

bool RDA_BaseImpl::checkDefinedTable(const DefinedTable& table,
                                     const KvbString& indexPrefix) {
  const KvbString physical = getTableName(table.code(), true, -1);
  const KvbString bare = unquoted(physical);
  std::list<TableColumnInfo> existing;
  if (!tableColumns_INT(bare, existing)) return false;
  if (existing.empty()) return createDefinedTable(table, indexPrefix);
  std::set<KvbString> have;
  for (const TableColumnInfo& c : existing)
    have.insert(KvbString(c.name).toUpper());
  bool ok = true;
  forEachColumn(table.first, table.end, getMaxTextLength(),
                [&](const char* name, int type, int size, int) {
                  if (ok && !have.count(KvbString(name).toUpper()))
                    ok = runDDL("ALTER TABLE " + physical + " ADD " +
                                columnDeclaration(name, type, size, false, false));
                });
  std::vector<RDA_IndexColumn> indexes;
  if (!ok || !tableIndexes_INT(bare, indexes)) return false;
  std::set<KvbString> indexNames;
  for (const RDA_IndexColumn& i : indexes)
    indexNames.insert(KvbString(i.index).toUpper());
  for (const DefinedIndex& index : definedIndexes(table, indexPrefix))
    if (!indexNames.count(KvbString(index.name).toUpper()) &&
        !createIndexNamed(table.code(), physical, bare, index.name,
                          index.columns, index.unique))
      return false;
  return true;
}

// The definition array that createTables and checkTables walk.
static const ReposColumnDef* selectedDefinitions(
    const TableCreateOptions& options) {
  return options.columns         ? options.columns
         : options.useNcoaTables ? reposNcoaColumnDefs
                                 : reposCoreColumnDefs;
}

int RDA_BaseImpl::tableCount(const TableCreateOptions& options) {
  int count = 0;
  forEachTableCode(selectedDefinitions(options), [&](const char*) { ++count; });
  return count;
}

KvbString tableStep(const KvbString& code, int step, int steps) {
  KvbString text("Table ");
  text.append(code);
  if (steps <= 0) return text;
  return text.append(" (step ")
      .append(KvbString::fromInt(step))
      .append(" of ")
      .append(KvbString::fromInt(steps))
      .append(')');
}

// Walks the tables of the selected definitions in one transaction, which a
// failure rolls back whole.
bool RDA_BaseImpl::forEachTable(const TableCreateOptions& options, bool check) {
  const ReposColumnDef* defs = selectedDefinitions(options);
  if (!isPlainName(options.indexPrefix) && !options.indexPrefix.isEmpty())
    return fail("The index prefix \"" + options.indexPrefix +
                "\" is not letters, digits and underscores");
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (!beginOrUndo(false, nullptr)) return false;
  // The built-in tables are made with the statements kept from the last
  // creation on a connection of the same layout and column types, if any.
  const bool builtIn = !check && options.createTables && !options.columns;
  const std::string layout = builtIn ? ddlLayout(options.indexPrefix) : "";
  std::shared_ptr<const KeptDdl> kept = builtIn ? keptDdlOf(defs) : nullptr;
  auto sameTypes = [this](const KeptDdl& ddl) {
    for (const auto& type : ddl.types)
      if (columnType(std::get<0>(type.first), std::get<1>(type.first),
                     std::get<2>(type.first)) != type.second)
        return false;
    return true;
  };
  if (kept && (kept->layout != layout || !sameTypes(*kept))) kept = nullptr;
  auto made = builtIn && !kept ? std::make_shared<KeptDdl>() : nullptr;
  size_t index = 0;
  // A table that another repository of the schema claims is never dropped
  // (see RDA_Neighbours); a creation then fails on it as on any table that
  // is there.
  RDA_Neighbours neighbours;
  const bool drops = options.dropTables && !check && !ddlActive();
  bool ok = !drops || findNeighbours(neighbours);
  for (const ReposColumnDef* p = defs; ok && !isEndRecord(*p); ++index) {
    DefinedTable table{p, p, options.columns == nullptr};
    while (!isEndRecord(*table.end)) ++table.end;
    p = table.end + 1;
    if (!isPlainName(table.code())) {
      ok = fail(KvbString("The table name \"") + table.code() +
                "\" is not letters, digits and underscores");
      break;
    }
    if (status_ &&
        !status_->reportStatus(tableStep(table.code(), ++step_, steps_))) {
      ok = fail("Stopped at the host's request");
      break;
    }
    if (check) {
      ok = checkDefinedTable(table, options.indexPrefix);
      continue;
    }
    if (drops) {
      const KvbString physical = getTableName(table.code(), true, -1);
      // A catalogue that cannot be read fails the drop: taking it for a
      // missing table would report tables as dropped that are still there.
      bool exists = false;
      ok = tableExists(physical, &exists);
      if (ok && exists && neighbours.claimantOf(ownName(table.code(), -1))
                              .isNull())
        ok = runDDL("DROP TABLE " + physical);
    }
    if (!ok || !options.createTables) continue;
    if (kept) {
      ok = runTableDdl(table.code(), kept->tables[index]);
    } else if (made) {
      made->tables.push_back(definedTableDdl(table, options.indexPrefix));
      ok = runTableDdl(table.code(), made->tables.back());
    } else {
      ok = createDefinedTable(table, options.indexPrefix);
    }
  }
  if (ok && made) {
    made->layout = layout;
    made->types = columnTypes_;
    keepDdl(defs, made);
  }
  KvbString reason = getErrorMessage();
  if (!endTransaction(ok)) return false;
  return ok || fail(reason);
}

bool RDA_BaseImpl::createTables(TableCreateOptions options) {
  return forEachTable(options, false);
}

bool RDA_BaseImpl::checkTables(TableCreateOptions options) {
  return forEachTable(options, true);
}

int RDA_BaseImpl::getTableColumns(const KvbString& table,
                                  std::list<TableColumnInfo>& columns) {
  // A catalogue that cannot be read must not pass for a missing table.
  if (!findTableColumns(table, columns)) return -1;
  return static_cast<int>(columns.size());
}

bool RDA_BaseImpl::findTableColumns(const KvbString& table,
                                    std::list<TableColumnInfo>& columns) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (!isPlainName(table))
    return fail("The table name \"" + table +
                "\" is not letters, digits and underscores");
  std::list<TableColumnInfo> found;
  if (!tableColumns_INT(getTableName(table.asCstr(), false, -1), found))
    return false;
  columns.splice(columns.end(), found);
  return true;
}

bool RDA_BaseImpl::lacksColumn(const KvbString& table, const char* column) {
  std::list<TableColumnInfo> columns;
  if (!findTableColumns(table, columns) || columns.empty()) return false;
  for (const TableColumnInfo& info : columns)
    if (info.name.equals(column, true)) return false;
  return true;
}

KvbString RDA_BaseImpl::likeStart(const KvbString& start) {
  std::string pattern;
  for (char c : start.str()) {
    if (c == '%' || c == '_' || c == kLikeEscape) pattern += kLikeEscape;
    pattern += c;
  }
  return KvbString(pattern + '%');
}

// The catalogue is asked for the names that begin with the prefix; which
// of them are per-id tables is decided here, for every back end alike.
bool RDA_BaseImpl::findIdTables(std::vector<RDA_IdTable>& tables) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  KvbString prefix;
  getTablePrefix(true, &prefix, nullptr);
  std::vector<KvbString> names;
  if (!tableNamesLike_INT(likeStart(prefix), names)) return false;
  std::vector<RDA_IdTable> found;
  for (const KvbString& name : names) {
    RDA_IdTable table;
    if (idTableNamed(name, prefix, &table)) found.push_back(table);
  }
  auto rank = [](const RDA_IdTable& table) {
    const auto code = std::find(std::begin(kRdaIdTableCodes),
                                std::end(kRdaIdTableCodes), table.code);
    return std::make_pair(code - std::begin(kRdaIdTableCodes), table.id);
  };
  std::sort(found.begin(), found.end(),
            [&](const RDA_IdTable& a, const RDA_IdTable& b) {
              return rank(a) < rank(b);
            });
  tables.insert(tables.end(), found.begin(), found.end());
  return true;
}

// An INFO table under another prefix of the schema shows a repository
// there; the codes are needed only when there is one.
bool RDA_BaseImpl::findNeighbours(RDA_Neighbours& neighbours) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  KvbString own;
  getTablePrefix(true, &own, nullptr);
  std::vector<KvbString> names;
  if (!tableNamesLike_INT("%INFO", names)) return false;
  for (const KvbString& name : names) {
    if (!name.endsWith("INFO", true)) continue;
    const KvbString prefix = name.substr(0, name.length() - 4);
    if (!prefix.equals(own, true)) neighbours.prefixes.push_back(prefix);
  }
  if (neighbours.prefixes.empty()) return true;
  auto add = [&](const KvbString& code) {
    neighbours.codes.insert(KvbString(code).toUpper().str());
  };
  forEachTableCode(reposCoreColumnDefs, add);
  forEachTableCode(reposNcoaColumnDefs, add);
  for (const char* code : kRdaOlderTableCodes) add(code);
  neighbours.codes.insert(setCodes_.begin(), setCodes_.end());
  return true;
}

bool RDA_BaseImpl::dropOwnTable(const char* code, int id,
                                const RDA_Neighbours* known, bool indexes) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  RDA_Neighbours read;
  if (!known && !findNeighbours(read)) return false;
  if (!(known ? known : &read)->claimantOf(ownName(code, id)).isNull())
    return true;
  const KvbString name = getTableName(code, false, id);
  return (!indexes || dropTableIndexes(name)) && dropTable(name);
}

bool RDA_BaseImpl::createTable(const KvbString& table,
                               const std::list<TableColumnInfo>& columns) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (!isPlainName(table))
    return fail("The table name \"" + table +
                "\" is not letters, digits and underscores");
  if (columns.empty()) return fail("The table " + table + " has no columns");
  if (!madeNameFits(ownName(table.asCstr(), -1))) return false;
  std::vector<KvbString> declarations, keys;
  for (const TableColumnInfo& c : columns) {
    if (!isPlainName(c.name))
      return fail("The column name \"" + c.name + "\" of table " + table +
                  " is not letters, digits and underscores");
    declarations.push_back(columnDeclaration(c.name, c.type, c.size, false,
                                             c.isKey));
    if (c.isKey) keys.push_back(c.name);
  }
  const KvbString physical = getTableName(table.asCstr(), true, -1);
  return runDDL("CREATE TABLE " + physical + " (" + joined(declarations) +
                createTableTail_INT(keys)) &&
         runTableCommands_INT(table, unquoted(physical), KvbString());
}

bool RDA_BaseImpl::dropTable(const KvbString& physicalName) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (!isPhysicalName(physicalName))
    return fail("\"" + physicalName + "\" is not a table name");
  return runDDL("DROP TABLE " + physicalName);
}

bool RDA_BaseImpl::dropTableIndexes(const KvbString& physicalName) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (!isPhysicalName(physicalName))
    return fail("\"" + physicalName + "\" is not a table name");
  // The indexes are read and dropped in the table's schema: the one its
  // name gives, else the repository's.
  const KvbString bare = unquoted(physicalName);
  const size_t point = bare.find('.');
  const KvbString schema =
      point == KvbString::npos ? getSchemaName() : bare.substr(0, point);
  const KvbString table = point == KvbString::npos && !schema.isEmpty()
                              ? schema + "." + bare
                              : bare;
  std::vector<RDA_IndexColumn> indexes;
  if (!tableIndexes_INT(table, indexes)) return false;
  std::set<KvbString> dropped;
  for (const RDA_IndexColumn& i : indexes) {
    if (!dropped.insert(i.index).second) continue;
    if (!runDDL("DROP INDEX " + (schema.isEmpty() ? schema : schema + ".") +
                i.index))
      return false;
  }
  return true;
}

ReposDataAccessCursor* RDA_BaseImpl::listIndexes(const KvbString& physicalName) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return nullptr;
  std::vector<RDA_IndexColumn> indexes;
  if (!isPhysicalName(physicalName)) {
    fail("\"" + physicalName + "\" is not a table name");
    return nullptr;
  }
  if (!tableIndexes_INT(unquoted(physicalName), indexes)) return nullptr;
  ReposDataCursor* cursor = new ReposDataCursor;
  cursor->setColumnCount(2);
  cursor->setColumnName(0, "name");
  cursor->setColumnName(1, "field");
  for (const RDA_IndexColumn& i : indexes)
    cursor->addRow() = {KvbDatavar(i.index), KvbDatavar(i.column)};
  cursor->rewind();
  return cursor;
}

bool RDA_BaseImpl::createIndex(const KvbString& table, const KvbString& column,
                               const KvbString& indexName) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  const KvbString name =
      indexName.isNull() ? ownIndexName(defaultIndexSuffix(table, column))
                         : indexName;
  if (!isPlainName(table) || !isPlainName(column) || !isPlainName(name))
    return fail("The index \"" + name + "\" on " + table + "(" + column +
                ") is not named with letters, digits and underscores");
  const KvbString physical = getTableName(table.asCstr(), true, -1);
  const KvbString bare = unquoted(physical);
  // An index on a column that the table lacks is refused here, before its
  // statement reaches the database: a server's transaction would end at the
  // failed statement, and the callers that go on without the index (a
  // copy's per-id tables) would lose the work around it.
  if (!ddlActive()) {
    std::list<TableColumnInfo> columns;
    if (!tableColumns_INT(bare, columns)) return false;
    bool found = false;
    for (const TableColumnInfo& c : columns)
      found =
          found || KvbString(c.name).toUpper() == KvbString(column).toUpper();
    if (!found)
      return fail("The index \"" + name + "\" was not made: table " + bare +
                  " has no column " + column);
  }
  return createIndexNamed(table, physical, bare, name, column);
}

static KvbString numbered(const char* code, int id) {
  return kvbStringFormat("%s%d", code, id);
}

// The column of a histogram table's field index.
static const char kGroupFieldColumn[] = "FIELDIDX";

// The indexes of a histogram table HSM<id> or HCM<id>: FIELDIDX and the
// group columns GRPFLD1..GRPFLD<groupCount>.
bool RDA_BaseImpl::createGroupIndexes(const char* code, int id,
                                      int groupCount) {
  const KvbString table = numbered(code, id);
  bool ok = createIndex(table, kGroupFieldColumn, KvbString());
  for (int g = 1; ok && g <= groupCount; ++g)
    ok = createIndex(table, numbered("GRPFLD", g), KvbString());
  return ok;
}

bool RDA_BaseImpl::createHSMTable(int id, int groupCount) {
  return createGroupIndexes("HSM", id, groupCount);
}

bool RDA_BaseImpl::createHCMTable(int id, int groupCount) {
  return createGroupIndexes("HCM", id, groupCount);
}

// The ends of the names of a field's frequency table's indexes, after the
// prefix, for the value and the count columns.
static const char* const kFrequencyIndexes[][2] = {
    {"FR_VALUE", "fk_frqdist_fr_val"}, {"FR_COUNT", "fk_frqdist_fr_count"}};

bool RDA_BaseImpl::createFrequencyTable(int fieldId) {
  const KvbString table = numbered("FRQDST", fieldId);
  for (const auto& index : kFrequencyIndexes)
    if (!createIndex(table, index[0],
                     ownIndexName(numbered(index[1], fieldId))))
      return false;
  return true;
}

KvbString RDA_BaseImpl::defaultIndexSuffix(const KvbString& table,
                                           const KvbString& column) {
  return kvbStringFormat("%S_%S_idx", table, column);
}

KvbString RDA_BaseImpl::ownIndexName(const KvbString& suffix) {
  KvbString prefix;
  getTablePrefix(true, &prefix, nullptr);
  return prefix + suffix;
}

// A name that the engine made ends with the part after the prefix; what
// comes before it is the prefix of the repository that made it.
KvbString RDA_BaseImpl::importedIndexName(const KvbString& table,
                                          const KvbString& column,
                                          const KvbString& name) {
  std::vector<KvbString> suffixes{defaultIndexSuffix(table, column)};
  RDA_IdTable idTable;
  if (idTableNamed(table, "", &idTable) &&
      strcmp(idTable.code, "FRQDST") == 0)
    for (const auto& index : kFrequencyIndexes)
      if (KvbString(column).equals(index[0], true))
        suffixes.push_back(numbered(index[1], idTable.id));
  for (const KvbString& suffix : suffixes)
    if (name.endsWith(suffix.asCstr(), true)) return ownIndexName(suffix);
  return name;
}

// Every name that the engine may make under the prefix: the built-in core
// and NCOA tables with their indexes, the tables of older versions and of
// the table sets the connection was told of, and the per-id tables with
// their indexes at the largest id.
KvbString RDA_BaseImpl::longestMadeName() {
  KvbString longest("");
  auto consider = [&](const KvbString& name) {
    if (name.length() > longest.length()) longest = name;
  };
  for (const ReposColumnDef* defs : {reposCoreColumnDefs, reposNcoaColumnDefs})
    for (const ReposColumnDef* p = defs; !isEndRecord(*p);) {
      DefinedTable table{p, p, true};
      while (!isEndRecord(*table.end)) ++table.end;
      p = table.end + 1;
      consider(ownName(table.code(), -1));
      for (const DefinedIndex& index : definedIndexes(table, ""))
        consider(index.name);
    }
  for (const char* code : kRdaOlderTableCodes) consider(ownName(code, -1));
  for (const std::string& code : setCodes_) consider(ownName(code.c_str(), -1));
  for (const char* code : kRdaIdTableCodes)
    consider(ownName(code, std::numeric_limits<int>::max()));
  for (const auto& index : kFrequencyIndexes)
    consider(ownIndexName(numbered(index[1], std::numeric_limits<int>::max())));
  for (const char* code : {"HSM", "HCM"})
    consider(ownIndexName(defaultIndexSuffix(
        numbered(code, std::numeric_limits<int>::max()), kGroupFieldColumn)));
  return longest;
}
