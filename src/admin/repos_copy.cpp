// Copying the content of one repository into another, also between
// database kinds (a SQLite file into a server and back): the per-id
// distribution tables are replaced by the source's, every built-in table
// and every table of the source's XML table sets is emptied and refilled,
// long texts are moved between the two long-text tables, and the id
// counters are raised to the ids copied. KEYVAL and INFO keep the target's
// own rows.
//
// The whole copy is one transaction on the target, per-id tables included:
// both SQLite and PostgreSQL create and drop tables inside a transaction
// and undo that on a rollback. So a copy that fails, or whose process is
// killed, or whose connection or disk fails, leaves the target exactly as
// it was; the target never opens as a current repository that is half
// copied (per-id tables of the source beside main tables of the target, or
// rows pointing at long-text pieces that are gone). The price is that other
// writers of the target wait for the whole copy. What the copy does without
// (the indexes of per-id tables, a query that only saves work) runs at a
// savepoint of its own, so that its failure cannot end that transaction.
//
// The source is read through its own connection, so a transaction open on
// it shows its uncommitted rows to the copy, as it shows them to every
// other read of that repository.
//
// Where both repositories are SQLite files, the target's connection
// attaches the source's file and each table's rows move in one
// INSERT ... SELECT, inside the same transaction; SQLite attaches no file
// inside a transaction, so the attachment comes before the begin and goes
// after the end. Rows whose long-text columns may hold markers, or texts
// longer than the target keeps inline, and every copy between other kinds
// of database, go the row path: read through one query and written in
// batches, many rows to one prepared INSERT.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>

#include "access/base_rdaimpl.h"
#include "access/savepoint_step.h"
#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_batch_writer.h"
#include "rda/rda_impl.h"
#include "rda/rda_statement.h"
#include "rda/too_long_value.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"
#include "schema/repos_tables_xml.h"

namespace {

const char kSourceFile[] = "repos_copy";
const char kCatalogue[] = "Repository Library";
const char kSameRepository[] =
    "The source and the target of the copy are the same repository";

// The longest text a metric column is declared with when the definitions
// leave its size to the database.
constexpr int kMetricTextLimit = 255;

// The group columns of a histogram: GRP1 to GRP5.
constexpr int kHistogramGroups = 5;

// Built-in tables whose rows are not copied: the target's own key/value
// rows and version rows stay, and the long texts come with the rows that
// hold them.
const char* const kKeptTables[] = {"KEYVAL", "INFO", "BIGSTR"};

// The name under which the target's connection attaches the source's file.
const char kSourceAlias[] = "kvcopy_source";

// Every long-text marker of a connection begins with this text.
const char kLongTextMarkerHead[] = "_~_";

// The row path writes rows in batches, one INSERT of many rows each: at
// most this many rows, and for a wide table no more rows than keep the
// markers of one INSERT to about kBatchMarkers.
constexpr size_t kBatchRows = 100;
constexpr size_t kBatchMarkers = 2000;

// How one table is copied: the query on the source, the statements on the
// target, the declared type and size of each marker, and which columns may
// hold long-text markers.
struct TablePlan {
  KvbString select;
  KvbString insertHead;  // the INSERT up to its VALUES
  KvbString empty;  // the DELETE of the target's rows; none for a new table
  // With the source attached: the INSERT ... SELECT that moves every row,
  // and the query for a row that must go the row path instead (none when
  // no column holds long texts).
  KvbString transfer;
  KvbString rowPathProbe;
  std::vector<KvbDatavar> probeValues;
  // With the source attached: the expression that is 1 when the table has
  // rows on either side, and whether it has none (no statement then runs).
  KvbString anyRows;
  bool idle = false;
  std::vector<std::pair<int, int>> markers;
  std::vector<bool> longText;
  std::vector<KvbString> longTextColumns;  // their names on the source
  // What names a value that the target refuses as too long for its column:
  // the table's code (with the id of a per-id table, whose texts all have
  // the target's longest length), each column's bare name, and the columns
  // of the table's key.
  KvbString table;
  bool perId = false;
  std::vector<KvbString> names;
  std::vector<size_t> keys;
};

// One column of a plan: its name in the source's and in the target's SQL
// and its bare name, its marker's declared type and size, whether it may
// hold long texts and whether it is part of the table's key.
struct PlanColumn {
  KvbString sourceName;
  KvbString targetName;
  KvbString name;
  int type;
  int size;
  bool longText;
  bool key;
};

// Appends one column to a plan: its name to both column lists, a marker.
void addColumn(TablePlan* plan, KvbString* selectList, KvbString* insertList,
               const PlanColumn& column) {
  selectList->append(selectList->isEmpty() ? "" : ",")
      .append(column.sourceName);
  insertList->append(insertList->isEmpty() ? "" : ",")
      .append(column.targetName);
  if (column.key) plan->keys.push_back(plan->markers.size());
  plan->markers.push_back({column.type, column.size});
  plan->names.push_back(column.name);
  plan->longText.push_back(column.longText && column.type == kvbTypeString);
  if (plan->longText.back()) plan->longTextColumns.push_back(column.sourceName);
}

// The URI that opens the SQLite file `path` read-only: every byte but
// letters, digits, "/", "-", "." and "_" is escaped, so that no "?" or "#"
// of the name starts a query or fragment.
KvbString readOnlyUri(const KvbString& path) {
  static const char kHex[] = "0123456789ABCDEF";
  KvbString uri("file:");
  for (const unsigned char c : path.str()) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_') {
      uri.append(static_cast<char>(c));
    } else {
      uri.append('%').append(kHex[c >> 4]).append(kHex[c & 15]);
    }
  }
  return uri.append("?mode=ro");
}

// The file of a SQLite connection's main database; empty when it has none
// or it cannot be read.
KvbString mainFile(ReposDataAccess* rda) {
  KvbString file("");
  firstRow(rda, "SELECT file FROM pragma_database_list WHERE name=?",
           {KvbString("main")},
           [&](ReposDataAccessCursor& row) { file = row.getString(0); });
  return file;
}

class RepositoryCopy {
 public:
  RepositoryCopy(RepositoryImpl* source, RepositoryImpl* target,
                 RepositoryStatusCallback* status, KvLogger* logger)
      : source_(source),
        target_(target),
        from_(source->getDataAccess()),
        to_(target->getDataAccess()),
        status_(status),
        logger_(logger) {}

  bool run(KvbString* errorText) {
    errorText_ = errorText;
    attached_ = attachSource();
    const bool copied = inTargetTransaction([this] {
      int sourceHgm, targetHgm, sourceField, targetField;
      return largestId(from_, "HGMETA", "HGM_ID", &sourceHgm) &&
             largestId(to_, "HGMETA", "HGM_ID", &targetHgm) &&
             largestId(from_, "FLD", "FLD_ID", &sourceField) &&
             largestId(to_, "FLD", "FLD_ID", &targetField) &&
             replaceIdTables("HSM", "HCM", sourceHgm, targetHgm) &&
             replaceIdTables("FRQDST", nullptr, sourceField, targetField) &&
             emptyLongTexts() && copyTables() &&
             (target_->raiseIdCounters() || fail(target_->getErrorMessage()));
    });
    // A file left attached would stay open, and locked while read, on the
    // target's connection; the copy's outcome does not depend on it.
    if (attached_)
      to_->paramExec(KvbString("DETACH DATABASE ") + kSourceAlias, nullptr, 0);
    return copied;
  }
  // Whether the copy's failure was logged already.
  bool failureLogged() const { return logged_; }

 private:
  bool fail(const KvbString& text) {
    *errorText_ = text;
    report(text);
    return false;
  }
  // The message `id` about the statement `sql`, followed by the reason
  // that the connection `on` gives for its failure.
  bool failMessage(int id, const KvbString& sql, ReposDataAccess* on) {
    return fail(statementFailure(id, sql, on));
  }
  static KvbString statementFailure(int id, const KvbString& sql,
                                    ReposDataAccess* on) {
    return kvb_get_message(kSourceFile, __LINE__, kCatalogue, id, sql) + ": " +
           on->getErrorMessage();
  }
  void report(const KvbString& text) { status_->reportMessage(text); }

  // The work leaves the reasons of its own failures; a begin or commit
  // that fails leaves the text that runTransaction logged.
  bool inTargetTransaction(const std::function<bool()>& work) {
    KvbString failure;
    if (runTransaction(to_, logger_, work, &failure)) return true;
    if (failure.isNull()) return false;
    logged_ = true;
    return fail(failure);
  }

  // Attaches the source's file to the target's connection when both are
  // SQLite files and the rows can move between them inside the target's
  // transaction: neither connection has a transaction open (the source's
  // uncommitted rows are not in its file, and SQLite attaches nothing inside
  // one), no DDL callback takes the target's statements (a script must not
  // name the source's file), the source's tables are in its main database,
  // and the two are different files. False leaves the row path.
  //
  // The file is attached read-only, through a URI name: a statement of the
  // copy that names a table the target lacks would otherwise reach the
  // source's table of that name and change the source. Without URI names
  // the copy keeps the row path.
  bool attachSource() {
    if (!RepositoryImpl::onSqlite(to_) || !RepositoryImpl::onSqlite(from_) ||
        to_->inTransaction() || from_->inTransaction() ||
        static_cast<RDA_BaseImpl*>(to_)->ddlActive() ||
        !from_->getSchemaName().isEmpty() || !to_->getSchemaName().isEmpty())
      return false;
    const KvbString file = mainFile(from_);
    int uriNames = 0;
    if (file.isEmpty() || file == mainFile(to_) ||
        !to_->paramSingleton(
            "SELECT sqlite_compileoption_used('SQLITE_USE_URI')", &uriNames,
            0) ||
        !uriNames)
      return false;
    const KvbDatavar uri(readOnlyUri(file));
    return to_->paramExec(KvbString("ATTACH DATABASE ? AS ") + kSourceAlias,
                          nullptr, 1, &uri);
  }

  // Completes a plan from its column lists and physical table names.
  void finishPlan(TablePlan* plan, const KvbString& selectList,
                  const KvbString& insertList, const KvbString& sourceTable,
                  const KvbString& targetTable, bool emptyFirst) {
    plan->select = "SELECT " + selectList + " FROM " + sourceTable;
    plan->insertHead =
        "INSERT INTO " + targetTable + " (" + insertList + ") VALUES ";
    if (emptyFirst) plan->empty = "DELETE FROM " + targetTable;
    if (!attached_) return;
    if (emptyFirst)
      plan->anyRows = "(EXISTS(SELECT 1 FROM " + targetTable +
                      ") OR EXISTS(SELECT 1 FROM " + kSourceAlias + "." +
                      sourceTable + "))";
    plan->transfer = "INSERT INTO " + targetTable + " (" + insertList +
                     ") SELECT " + selectList + " FROM " + kSourceAlias + "." +
                     sourceTable;
    // A long text that may be a marker is resolved and stored again in the
    // target's long-text table, and one longer than the target keeps inline
    // moves there: such rows need the row path.
    KvbString terms("");
    for (const KvbString& column : plan->longTextColumns) {
      terms.append(terms.isEmpty() ? "" : " OR ")
          .append("substr(" + column + ",1,?)=? OR length(CAST(" + column +
                  " AS BLOB))>?");
      plan->probeValues.insert(
          plan->probeValues.end(),
          {static_cast<int>(strlen(kLongTextMarkerHead)),
           KvbString(kLongTextMarkerHead), to_->getMaxTextLength()});
    }
    if (!terms.isEmpty())
      plan->rowPathProbe = "SELECT 1 FROM " + sourceTable + " WHERE " + terms;
  }

  // ---- per-id tables ----

  // The largest `column` of the table `code` on `rda` in *id, -1 when the
  // table has no row. A failed read fails the copy: the per-id tables up
  // to that id would be taken for none. The repository's own largestId
  // would record the failure on that repository; the copy names it as one
  // of its statements, in its one record.
  bool largestId(ReposDataAccess* rda, const char* code, const char* column,
                 int* id) {
    *id = -1;
    const KvbString sql = kvbStringFormat("SELECT MAX(%s) FROM %S", column,
                                          rda->getTableName(code, true, -1));
    return firstRow(rda, sql, {},
                    [&](ReposDataAccessCursor& row) {
                      if (!row.isNull(0)) *id = row.getInt(0);
                    }) >= 0 ||
           failMessage(1311, sql, rda);
  }

  // Replaces the target's tables <code><id> (and <second><id>) by the
  // source's, id by id.
  bool replaceIdTables(const char* code, const char* second, int sourceMax,
                       int targetMax) {
    for (int id = 0; id <= std::max(sourceMax, targetMax); ++id)
      if (!replaceIdTable(code, id) || (second && !replaceIdTable(second, id)))
        return false;
    return true;
  }

  bool replaceIdTable(const char* code, int id) {
    const KvbString name = kvbStringFormat("%s%d", code, id);
    // A table that either side cannot look up fails the copy: taken for
    // missing in the source, the target's table would go with nothing in
    // its place.
    std::list<TableColumnInfo> columns;
    if (from_->getTableColumns(name, columns) < 0)
      return fail(kvbStringFormat(
          "The copy could not read whether the source has the table %S: %S",
          name, from_->getErrorMessage()));
    bool had = false;
    if (!targetHasTable(code, id, &had))
      return fail(kvbStringFormat(
          "The copy could not read whether the target has the table %S: %S",
          name, to_->getErrorMessage()));
    if (columns.empty() && !had) return true;
    // Texts get the target's longest size, since not every database tells
    // the size its columns were declared with.
    for (TableColumnInfo& column : columns)
      if (column.type == kvbTypeString) column.size = to_->getMaxTextLength();
    TablePlan plan;
    plan.table = name;
    plan.perId = true;
    KvbString selectList(""), insertList("");
    for (const TableColumnInfo& column : columns)
      addColumn(&plan, &selectList, &insertList,
                {column.name, column.name, column.name, column.type,
                 column.size, false, false});
    finishPlan(&plan, selectList, insertList,
               from_->getTableName(code, true, id),
               to_->getTableName(code, true, id), false);
    if (had && !static_cast<RDA_BaseImpl*>(to_)->dropOwnTable(code, id))
      return fail(to_->getErrorMessage());
    if (columns.empty()) return true;
    report(plan.select);
    return (to_->createTable(name, columns) || fail(to_->getErrorMessage())) &&
           copyRows(plan) && indexIdTable(code, id);
  }

  // Whether the target has the per-id table <code><id>, in *has; false,
  // with the reason on the target's connection, when its catalogue cannot
  // be read. The target's catalogue would also find a table of the
  // attached source under a name that the target lacks, so with the source
  // attached the target's main database is asked alone.
  bool targetHasTable(const char* code, int id, bool* has) {
    *has = false;
    if (!attached_) {
      std::list<TableColumnInfo> columns;
      if (to_->getTableColumns(kvbStringFormat("%s%d", code, id), columns) < 0)
        return false;
      *has = !columns.empty();
      return true;
    }
    const int found = firstRow(
        to_,
        "SELECT 1 FROM main.sqlite_master WHERE type='table' AND "
        "name=? COLLATE NOCASE",
        {to_->getTableName(code, false, id)}, [](ReposDataAccessCursor&) {});
    *has = found == 1;
    return found >= 0;
  }

  // The indexes of a copied per-id table; as the database layer makes
  // them, they are no reason to fail the copy. They are made at a savepoint
  // of their own, so that one the database refuses undoes only the
  // indexes, and is logged. An index on a column that the copied table
  // lacks is refused before it reaches the database.
  bool indexIdTable(const char* code, int id) {
    const bool frequencies = KvbString(code) == "FRQDST";
    int groups = 0;
    // The group count is read at a savepoint of the source's too: the
    // source may be in a transaction of its host's. Without it the indexes
    // of the groups are unknown: the copy fails rather than leave the table
    // without them.
    if (!frequencies && !runAtSavepoint(from_, logger_, [&] {
          return firstRow(
                     from_,
                     "SELECT GRP1, GRP2, GRP3, GRP4, GRP5 FROM " +
                         from_->getTableName("HGMETA", true, -1) +
                         " WHERE HGM_ID=?",
                     {id}, [&](ReposDataAccessCursor& row) {
                       while (groups < kHistogramGroups && !row.isNull(groups))
                         ++groups;
                     }) >= 0;
        }))
      return fail(kvbStringFormat(
          "The group count of the copied table %s%d could not be read: %S",
          code, id, from_->getErrorMessage()));
    const bool made = runAtSavepoint(to_, logger_, [&] {
      return frequencies                ? to_->createFrequencyTable(id)
             : KvbString(code) == "HSM" ? to_->createHSMTable(id, groups)
                                        : to_->createHCMTable(id, groups);
    });
    if (!made)
      logPrintf(logger_, kLogWarning, kSourceFile, __LINE__,
                "The copied table %s%d keeps no indexes: %S", code, id,
                to_->getErrorMessage());
    return true;
  }

  // ---- built-in tables and table sets ----

  bool emptyLongTexts() {
    const KvbString sql =
        "DELETE FROM " + to_->getTableName("BIGSTR", true, -1);
    report(sql);
    return to_->paramExec(sql, nullptr, 0) || failMessage(1311, sql, to_);
  }

  // The built-in tables, then those of the source's table sets. The
  // counters come first, so that the long texts written into the target
  // draw their ids from the counters that the copy leaves.
  bool copyTables() {
    std::vector<TablePlan> plans{definedPlan(findTableColumnDefs("UCURID"))};
    addDefinedPlans(reposCoreColumnDefs, &plans);
    addDefinedPlans(reposNcoaColumnDefs, &plans);
    if (!addSetPlans(&plans)) return false;
    markIdleTables(&plans);
    for (const TablePlan& plan : plans)
      if (!plan.idle && !copyRows(plan)) return false;
    return true;
  }

  // With the source attached, one query finds the tables that have no row
  // on either side, most of a repository's: they need neither their DELETE
  // nor their INSERT. Should the query fail (a table the target lacks), no
  // table is skipped and the table's own statements give the failure.
  void markIdleTables(std::vector<TablePlan>* plans) {
    if (!attached_) return;
    KvbString sql("SELECT ");
    for (size_t i = 0; i < plans->size(); ++i)
      sql.append(i ? "," : "").append((*plans)[i].anyRows);
    runAtSavepoint(to_, logger_, [&] {
      return firstRow(to_, sql, {}, [&](ReposDataAccessCursor& row) {
               for (size_t i = 0; i < plans->size(); ++i)
                 (*plans)[i].idle = row.getInt(static_cast<int>(i)) == 0;
             }) >= 0;
    });
  }

  void addDefinedPlans(const ReposColumnDef* defs,
                       std::vector<TablePlan>* plans) {
    for (const ReposColumnDef* def = defs; !isEndRecord(*def); ++def) {
      const ReposColumnDef* first = def;
      while (!isEndRecord(*def)) ++def;
      bool kept = KvbString(first->tableCode) == "UCURID";
      for (const char* code : kKeptTables)
        kept = kept || KvbString(first->tableCode) == code;
      if (!kept) plans->push_back(definedPlan(first));
    }
  }

  TablePlan definedPlan(const ReposColumnDef* first) {
    const KvbString sourceQuote = from_->getIdentifierQuote();
    const KvbString targetQuote = to_->getIdentifierQuote();
    const int maxText = to_->getMaxTextLength();
    TablePlan plan;
    plan.table = first->tableCode;
    KvbString selectList(""), insertList("");
    for (const ReposColumnDef* def = first; !isEndRecord(*def); ++def) {
      if (def->flags & kColMetrics) {
        for (int m = 0; m < kFieldMetricCount; ++m) {
          const KvbString name = kvbStringFormat("MET_%d", m);
          const int size = fieldMetricDefs[m].size
                               ? fieldMetricDefs[m].size
                               : std::min(maxText, kMetricTextLimit);
          addColumn(&plan, &selectList, &insertList,
                    {name, name, name, kvbTypeString, size, false, false});
        }
        continue;
      }
      const bool maxLength = (def->flags & kColMaxText) != 0;
      addColumn(
          &plan, &selectList, &insertList,
          {sourceQuote + def->columnName + sourceQuote,
           targetQuote + def->columnName + targetQuote, def->columnName,
           def->type,
           maxLength && def->type == kvbTypeString ? maxText : def->length,
           maxLength, (def->flags & kColPrimaryKey) != 0});
    }
    finishPlan(&plan, selectList, insertList,
               from_->getTableName(first->tableCode, true, -1),
               to_->getTableName(first->tableCode, true, -1), true);
    return plan;
  }

  bool addSetPlans(std::vector<TablePlan>* plans) {
    for (int index = 0; index < source_->getTableSetCount(); ++index) {
      const ReposTableSet* set = source_->getTableSet(index);
      if (!set)
        return fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1198));
      for (const ReposTableDef& table : set->tableDefs)
        if (!table.columns.empty()) plans->push_back(setPlan(table));
    }
    return true;
  }

  TablePlan setPlan(const ReposTableDef& table) {
    const int maxText = to_->getMaxTextLength();
    TablePlan plan;
    plan.table = table.name;
    KvbString selectList(""), insertList("");
    for (const ReposXmlColumnDef& column : table.columns)
      addColumn(&plan, &selectList, &insertList,
                {column.name, column.name, column.name, column.type,
                 column.useMaxLength ? maxText : column.length,
                 column.useMaxLength, column.primaryKey});
    finishPlan(&plan, selectList, insertList,
               from_->getTableName(table.name.asCstr(), true, -1),
               to_->getTableName(table.name.asCstr(), true, -1), true);
    return plan;
  }

  // ---- rows ----

  // Empties the target table (when the plan says so) and fills it with the
  // source's rows: in one statement from the attached source, else row by
  // row.
  bool copyRows(const TablePlan& plan) {
    if (!plan.empty.isEmpty()) {
      report(plan.empty);
      if (!to_->paramExec(plan.empty, nullptr, 0))
        return failMessage(1311, plan.empty, to_);
    }
    if (plan.transfer.isEmpty()) return copyEachRow(plan);
    int rowPath = 0;
    if (!plan.rowPathProbe.isEmpty()) {
      report(plan.rowPathProbe);
      rowPath = firstRow(from_, plan.rowPathProbe, plan.probeValues,
                         [](ReposDataAccessCursor&) {});
      if (rowPath < 0) return failMessage(1311, plan.rowPathProbe, from_);
    }
    if (rowPath) return copyEachRow(plan);
    report(plan.transfer);
    int count = 0;
    if (!to_->paramExec(plan.transfer, &count, 0))
      return failMessage(1311, plan.transfer, to_);
    report(kvbStringFormat("Inserted: %d rows", count));
    return true;
  }

  // Fills the target table with the source's rows, read through one query
  // and written in batches: one prepared INSERT for every full batch, one
  // for the shorter last batch.
  bool copyEachRow(const TablePlan& plan) {
    report(plan.select);
    ReposDataAccessCursor* rows = from_->paramSelect(plan.select, 0);
    if (!rows) return failMessage(1311, plan.select, from_);
    // Long texts are read from the source while its rows are walked, which
    // not every database allows on an open query.
    const bool readsLongTexts = !plan.longTextColumns.empty();
    int fetched = readsLongTexts && !rows->cacheAll() ? 2 : rows->next();
    // Every statement of the engine is an RDA_StatementBase.
    RDA_BatchWriter writer(
        plan.insertHead, plan.markers.size(), kBatchRows, kBatchMarkers,
        [this](const KvbString& sql, KvbString* reason) {
          report(sql);
          auto* insert =
              static_cast<RDA_StatementBase*>(to_->createStatement(sql));
          if (!insert) *reason = statementFailure(1312, sql, to_);
          return insert;
        },
        plan.markers);
    bool ok = true;
    int count = 0;
    for (; ok && fetched == 1; fetched = rows->next(), ++count) {
      KvbDatavar* row = writer.row();
      for (size_t c = 0; ok && c < plan.markers.size(); ++c)
        ok = storedValue(rows->getValue(static_cast<int>(c)), plan.longText[c],
                         &row[c]);
      if (ok && !writer.addRow()) ok = failWrite(plan, writer);
    }
    if (ok && fetched == 2) ok = failMessage(1311, plan.select, from_);
    if (ok && !writer.flush()) ok = failWrite(plan, writer);
    if (ok) report(kvbStringFormat("Inserted: %d rows", count));
    rows->release();
    return ok;
  }

  // A batch of the table that could not be written: the value that the
  // target refused as too long for its column, named by its row, or else
  // the INSERT up to its values, then the database's reason.
  bool failWrite(const TablePlan& plan, const RDA_BatchWriter& writer) {
    const KvbString tooLong = tooLongValue(plan, writer);
    if (!tooLong.isNull()) return fail(tooLong);
    return fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1311,
                                plan.insertHead + "...") +
                ": " + writer.errorText());
  }

  // The text that names the first value of the failed batch that passes the
  // length its column declares on the target (see tooLongInBatch); null when
  // the batch was not refused for such a value or none is found.
  KvbString tooLongValue(const TablePlan& plan, const RDA_BatchWriter& writer) {
    if (!refusedAsTooLong(writer.errorText())) return KvbString();
    // Every connection of the engine is an RDA_BaseImpl.
    auto* target = static_cast<RDA_BaseImpl*>(to_);
    const auto declared = [&](size_t c) {
      if (!plan.perId)
        return target->declaredTextLength(plan.table.asCstr(),
                                          plan.names[c].asCstr());
      return plan.markers[c].first == kvbTypeString ? to_->getMaxTextLength()
                                                    : 0;
    };
    std::vector<int> lengths;
    for (size_t c = 0; c < plan.names.size(); ++c)
      lengths.push_back(declared(c));
    return tooLongInBatch(writer, plan.table, plan.names, lengths, plan.keys);
  }

  // The value that the target stores for a source value; a long text is
  // read whole from the source and stored in the target's long-text table
  // when it does not fit a column there, its marker then taking its place.
  bool storedValue(const KvbDatavar& value, bool longText, KvbDatavar* stored) {
    *stored = value;
    if (!longText || value.isNull() || value.getType() != kvbTypeString)
      return true;
    KvbString full, marker;
    if (!from_->readLongText(value.asString(), &full, 0))
      return fail(from_->getErrorMessage());
    if (to_->writeLongText(full, &marker, 0)) {
      *stored = KvbDatavar(marker);
      return true;
    }
    if (full.length() > static_cast<size_t>(to_->getMaxTextLength()))
      return fail(to_->getErrorMessage());
    *stored = KvbDatavar(full);
    return true;
  }

  RepositoryImpl* source_;
  RepositoryImpl* target_;
  ReposDataAccess* from_;
  ReposDataAccess* to_;
  RepositoryStatusCallback* status_;
  KvLogger* logger_;
  KvbString* errorText_ = nullptr;
  bool attached_ = false;  // the source's file is attached to the target's
  bool logged_ = false;    // the failure was logged by the transaction
};

}  // namespace

bool RepositoryAdminImpl::copyRepository(Repository* source,
                                         Repository* target) {
  KvNoCancellation noCancellation;
  return answered(copy(source, target));
}

bool RepositoryAdminImpl::copy(Repository* source, Repository* target) {
  if (!source) return failMessage(__LINE__, 1307);
  if (!target) return failMessage(__LINE__, 1308);
  // One object as both ends is refused before anything is read.
  if (source == target) return fail(kSameRepository);
  // Every Repository is a RepositoryImpl: this engine makes them all.
  auto* from = static_cast<RepositoryImpl*>(source);
  auto* to = static_cast<RepositoryImpl*>(target);
  // A newer source could hold what this engine cannot copy whole, and a
  // newer target would be written with this engine's older content; so
  // could one whose versions cannot be read.
  KvbString refusal = from->versionRefusal("The source repository");
  if (refusal.isEmpty()) refusal = to->versionRefusal("The target repository");
  if (!refusal.isEmpty()) return fail(refusal);
  // Every table of the sets is emptied and refilled: sets that could not be
  // listed would leave tables of the target as they were.
  if (!from->tableSetsListed())
    return fail("The source repository: " + from->getErrorMessage());
  if (!to->tableSetsListed())
    return fail("The target repository: " + to->getErrorMessage());
  if (!source->isCurrentVersion()) return failMessage(__LINE__, 1310);
  if (!target->isCurrentVersion()) return failMessage(__LINE__, 1309);
  // A copy onto itself would empty each table before reading it; so it is
  // refused also when a UUID that would tell cannot be read.
  KvbString reason;
  const KvbString uuid = from->readUUID(&reason);
  const KvbString targetUuid =
      reason.isNull() ? to->readUUID(&reason) : KvbString();
  if (!reason.isNull())
    return fail(
        "The copy could not tell whether the source and the target are the "
        "same repository: " +
        reason);
  if (!uuid.isEmpty() && uuid == targetUuid) return fail(kSameRepository);
  RepositoryCopy copy(
      from, to, statusCallback_ ? statusCallback_ : to->getStatusCallback(),
      logger_);
  KvbString copyError;
  const bool copied = copy.run(&copyError);
  if (!copyError.isNull()) texts_.set(copyError, copy.failureLogged());
  return copied;
}
