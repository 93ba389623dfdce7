// The SQLite back end: connection, statement and cursor over kvsqlstore.
#include "rda/rda_sqlite.h"

#include "kvsqlstore/kvsqlstore.h"
#include "rda/rda_cursor.h"
#include "rda/rda_statement.h"
#include "rda/sqlite_catalogue.h"
#include "schema/log_printf.h"

namespace {

const char kSourceFile[] = "rda_sqlite";

class RDA_SqliteCursor final : public RDA_DbCursor {
 public:
  RDA_SqliteCursor(RDA_BaseImpl* connection, SqliteResult* result)
      : RDA_DbCursor(connection), result_(result) {
    for (int c = 0; c < result->getColumnCount(); ++c)
      names_.push_back(result->getColumnName(c));
    row_.resize(names_.size());
    values_.resize(names_.size());
  }
  ~RDA_SqliteCursor() override { result_->close(); }

 protected:
  // Values keep their stored kind (see SqliteResult::getValue).
  int fetch_INT() override {
    const int result = result_->nextRow(values_.data(), values_.size());
    // A query whose statement has ended, as every paramSelect's has, keeps
    // its row in place until it moves.
    if (!valuesStay_) valuesStay_ = result_->isSoleUser();
    return result;
  }
  KvbString fetchError_INT() override { return result_->getErrorMessage(); }

 private:
  SqliteResult* result_;
};

class RDA_SqliteStatement : public RDA_StatementBase {
 public:
  RDA_SqliteStatement(RDA_BaseImpl* connection, const KvbString& sql,
                      SqliteStatement* statement)
      : RDA_StatementBase(connection, sql), statement_(statement) {}
  ~RDA_SqliteStatement() override { statement_->release(); }

 protected:
  // Binds by the value's own kind; a declared type only matters to a
  // database with fixed column types.
  bool bind_INT(int index, const KvbDatavar& value, int, int) override {
    bool ok;
    if (value.isNull()) {
      ok = statement_->setNull(index);
    } else {
      switch (value.getType()) {
        // SQLite keeps every integer as 64 bits: one path for both kinds.
        case kvbTypeInt:
        case kvbTypeInt64:
          ok = statement_->setInt64(index, value.asInt64());
          break;
        case kvbTypeReal:
        case kvbTypeDate:
          ok = statement_->setReal(index, value.asDouble());
          break;
        case kvbTypeString:
          ok = statement_->setText(index, value.textData(), value.textLength());
          break;
        default: {
          KvbString text = kvb_get_message(kSourceFile, __LINE__,
                                           "Repository Library", 1313);
          logPrintf(kvlogGetLogger("KV.Repos.ReposAdmin.RDA"), kLogError,
                    kSourceFile, __LINE__, "%S", text);
          return fail(text);
        }
      }
    }
    return ok || fail(statement_->getErrorMessage());
  }
  bool execute_INT(int64_t* rows) override {
    return statement_->execute(rows) || fail(statement_->getErrorMessage());
  }
  ReposDataAccessCursor* select_INT() override {
    return new RDA_SqliteCursor(connection(),
                                statement_->openResult());
  }
  // Steps the result itself: no cursor, column names or value buffers.
  int readInt64_INT(int64_t& value) override {
    SqliteResult* result = statement_->openResult();
    const int fetched = result->next();
    if (fetched == 1) value = result->getInt64(0);
    int step = fetched;
    while (step == 1) step = result->next();
    if (step != 0) fail(result->getErrorMessage());
    result->close();
    return step == 0 ? fetched : -1;
  }

 private:
  SqliteStatement* statement_;
};

}  // namespace

RDA_Sqlite::~RDA_Sqlite() {
  if (db_) db_->close();
}

bool RDA_Sqlite::failed() { return fail(db_->getErrorMessage()); }

bool RDA_Sqlite::open_INT(const KvbString& path, KvbString& errorText) {
  db_ = create_ ? createSqliteDatabase(path) : openSqliteDatabase(path);
  if (db_) return true;
  errorText = getSqliteErrorMessage();
  return fail(errorText);
}

bool RDA_Sqlite::exec_INT(const KvbString& sql, int64_t* rows) {
  return db_->exec(sql, rows) || failed();
}

RDA_StatementBase* RDA_Sqlite::prepare_INT(const KvbString& sql) {
  SqliteStatement* statement = db_->prepare(sql);
  if (!statement) {
    failed();
    return nullptr;
  }
  return new RDA_SqliteStatement(this, sql, statement);
}

// Every transaction takes the write lock at its begin, waiting up to the
// busy timeout for it: a transaction that read first and wrote later could
// not wait (SQLite refuses at once when two readers both want to write), so
// concurrent writers would fail instead of taking turns. The connection
// waits as SqliteBusyWait does, trying again every fraction of a
// millisecond, so that a writer gets the lock soon after it is let go.
bool RDA_Sqlite::begin_INT(bool* busy) {
  if (exec_INT("BEGIN IMMEDIATE TRANSACTION", nullptr)) return true;
  *busy = db_->isBusy();
  return false;
}

// Savepoints are set and released for every nested level: their
// statements are compiled once and kept (SqliteDatabase::prepare).
bool RDA_Sqlite::savepointStatement_INT(const KvbString& sql) {
  SqliteStatement* statement = db_->prepare(sql);
  if (!statement) return failed();
  const bool ok =
      statement->execute(nullptr) || fail(statement->getErrorMessage());
  statement->release();
  return ok;
}

bool RDA_Sqlite::transactionLost_INT(bool) { return !db_->inTransaction(); }

bool RDA_Sqlite::commit_INT() {
  return exec_INT("COMMIT TRANSACTION", nullptr);
}

bool RDA_Sqlite::rollback_INT() {
  return exec_INT("ROLLBACK TRANSACTION", nullptr);
}

bool RDA_Sqlite::catalogue(const char* sql, const KvbString& name,
                           std::vector<std::pair<KvbString, KvbString>>& rows) {
  SqliteStatement* statement = db_->prepare(sql);
  if (!statement) return fail(db_->getErrorMessage());
  statement->setText(0, name.asCstr(), name.length());
  SqliteResult* result = statement->openResult();
  int step;
  while ((step = result->next()) == 1)
    rows.emplace_back(result->getText(0), result->getText(1));
  const KvbString error = step != 0 ? result->getErrorMessage() : KvbString();
  result->close();
  statement->release();
  return step == 0 || fail(error);
}

bool RDA_Sqlite::tableColumns_INT(const KvbString& physicalName,
                                  std::list<TableColumnInfo>& columns) {
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogue(kSqliteColumnsSql, physicalName, rows)) return false;
  for (const auto& row : rows)
    columns.push_back(describedColumn(row.first, row.second));
  return true;
}

bool RDA_Sqlite::tableNamesLike_INT(const KvbString& pattern,
                                    std::vector<KvbString>& names) {
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogue(kSqliteTablesLikeSql, pattern, rows)) return false;
  for (const auto& row : rows) names.push_back(row.first);
  return true;
}

bool RDA_Sqlite::tableIndexes_INT(const KvbString& physicalName,
                                  std::vector<RDA_IndexColumn>& indexes) {
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogue(kSqliteIndexesSql, physicalName, rows)) return false;
  for (const auto& row : rows) indexes.push_back({row.first, row.second});
  return true;
}

KvbString RDA_Sqlite::columnType_INT(int type, int size, bool) {
  if (type == kvbTypeInt) return "INTEGER";
  if (type == kvbTypeReal) return "REAL";
  return kvbStringFormat("VARCHAR(%d)", size > 0 ? size : kInlineTextLimit);
}
