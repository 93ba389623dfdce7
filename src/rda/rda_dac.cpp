// The data-access-library back end: connection, statement, cursor, the
// dialects' column types, catalogue queries and the bulk loader.
#include "rda/rda_dac.h"

#include <algorithm>
#include <chrono>

#include "kvsingletons/kvsingletons.h"
#include "kvsqlstore/kvsqlstore.h"
#include "rda/rda_cursor.h"
#include "rda/rda_isolation.h"
#include "rda/rda_statement.h"
#include "rda/sqlite_catalogue.h"
#include "rda/too_long_value.h"
#include "schema/log_printf.h"
#include "schema/tablecreateconfig.h"

namespace {

const char kSourceFile[] = "rda_dac";

// The most "?" markers one statement may carry on a server.
constexpr int kMaxMarkers = 32767;

class RDA_DACCursor : public RDA_DbCursor {
 public:
  RDA_DACCursor(RDA_DAC* connection, DacCursor* cursor, bool upperCaseNames)
      : RDA_DbCursor(connection), dac_(connection), cursor_(cursor) {
    for (int c = 0; c < cursor->getNumCols(); ++c) {
      KvbString name = cursor->getColName(c);
      names_.push_back(upperCaseNames ? name.toUpper() : name);
    }
    row_.resize(names_.size());
  }
  ~RDA_DACCursor() override { cursor_->release(); }

 protected:
  // Points values_ at the row where the data-access cursor holds it, so
  // that only the values asked for are copied. A row with a null, and a
  // cursor that does not hand out its row in place, fill row_ whole, as a
  // null keeps its column's type there.
  int fetch_INT() override {
    const int result = cursor_->next();
    if (result != 1) return result == 0 ? 0 : refused();
    values_.resize(row_.size());
    if (cursor_->peekRow(values_.data(), values_.size()) && !holdsNull())
      return 1;
    values_.clear();
    for (size_t c = 0; c < row_.size(); ++c)
      if (!cursor_->getValue(static_cast<int>(c), row_[c])) return refused();
    return 1;
  }
  KvbString fetchError_INT() override {
    return dac_->restated(cursor_->getErrorMessage(),
                          RDA_DAC::SessionUse::kRows);
  }

 private:
  bool holdsNull() const {
    for (const SqliteValue& value : values_)
      if (value.type == kvbTypeUnknown) return true;
    return false;
  }
  // A fetch that the driver refused, noted on the connection (which the
  // cursor holds) before RDA_DbCursor records its failure there.
  int refused() {
    dac_->noteRefusal();
    return 2;
  }

  RDA_DAC* dac_;
  DacCursor* cursor_;
};

class RDA_DACStatement : public RDA_StatementBase {
 public:
  RDA_DACStatement(RDA_DAC* connection, const KvbString& sql,
                   DacStatement* statement, bool upperCaseNames)
      : RDA_StatementBase(connection, sql),
        dac_(connection),
        statement_(statement),
        upperCaseNames_(upperCaseNames) {}
  ~RDA_DACStatement() override { statement_->release(); }

 protected:
  bool bind_INT(int index, const KvbDatavar& value, int type,
                int size) override {
    return statement_->bind(index, value, type, size) || refused(true);
  }
  bool execute_INT(int64_t* rows) override {
    KvbString failure;
    return dac_->runOnSession(RDA_DAC::SessionUse::kWrite,
                              [&] { return statement_->execute(rows); },
                              reason(), failure) ||
           refused(failure);
  }
  ReposDataAccessCursor* select_INT() override {
    DacCursor* cursor = nullptr;
    KvbString failure;
    if (!dac_->runOnSession(RDA_DAC::SessionUse::kQuery,
                            [&] { return (cursor = statement_->select()); },
                            reason(), failure)) {
      refused(failure);
      return nullptr;
    }
    return new RDA_DACCursor(dac_, cursor, upperCaseNames_);
  }

 private:
  std::function<KvbString()> reason() const {
    return [this] { return statement_->getErrorMessage(); };
  }
  // A call that the driver refused: noted on the connection before the
  // failure is recorded, which may ask whether the transaction survived.
  bool refused(bool bind = false) {
    return refused(statement_->getErrorMessage(), bind);
  }
  bool refused(const KvbString& failure, bool bind = false) {
    dac_->noteRefusal(bind);
    return fail(failure);
  }

  RDA_DAC* dac_;
  DacStatement* statement_;
  bool upperCaseNames_;
};

// "name", or for "schema.name" its last part.
KvbString lastPart(const KvbString& name) {
  size_t point = name.rfind('.');
  return point == KvbString::npos ? name : name.substr(point + 1);
}

}  // namespace

RDA_DAC::RDA_DAC() = default;

RDA_DAC::~RDA_DAC() {
  bulk_.reset();
  if (spec_) spec_->release();
  if (!dac_) return;
  if (pooled_)
    ConnShareSingleton::getInstance()->release(dac_);
  else
    dac_->release();
}

bool RDA_DAC::failed() { return failed(dac_->getErrorMessage()); }

bool RDA_DAC::failed(const KvbString& reason) {
  noteRefusal();
  return fail(restated(reason, SessionUse::kWrite));
}

bool RDA_DAC::open_INT(const KvbString& connection, KvbString& errorText) {
  KvbString pool, specPath;
  kvbGetConfigOptions("REPOSITORY")->get("POOL_ID", pool);
  pooled_ = !pool.isEmpty();
  dac_ = pooled_ ? ConnShareSingleton::getInstance()->acquire(pool, connection,
                                                              &errorText)
                 : ConnCacheSingleton::getInstance()->connect(connection,
                                                              &errorText);
  if (!dac_) return fail(errorText);
  kind_ = dac_->getDbKind();
  resyncIds_ = kind_ == DAC_DB_SQLITE;
  busyTimeoutMs_ = sqliteBusyTimeoutMs();
  if (!sessionOpened(errorText)) return false;
  if (kvbGetConfigOptions("")->get("REPOS/CREATE_SPEC_PATH", specPath) &&
      !specPath.isEmpty()) {
    spec_ = new KvTableCreateNS::KvCreateSpecDocImpl;
    if (!spec_->loadFile(specPath)) {
      errorText = "The table-creation specification cannot be used: " +
                  spec_->getErrorMessage();
      return fail(errorText);
    }
  }
  return true;
}

// A PostgreSQL session waits for a lock that another session holds for as
// long as a SQLite connection waits (sqliteBusyTimeoutMs), then the
// statement fails with the server's reason ("[55P03] ... canceling statement
// due to lock timeout"). Without it a transaction that another process left
// open would block the connection without end. The server's 0 means no
// bound, where SQLite's 0 means fail at once: the nearest the server comes
// is its shortest bound, 1 ms. A session that the pool shares among opens
// (REPOSITORY/POOL_ID) keeps the value of its latest open. The session's
// value bounds a direct connection. A connection whose string keeps the
// driver's statements off the server (DacConnection::sharesServerSessions),
// as behind a connection pooler in transaction mode, hands each
// transaction to any of the pooler's server sessions, where another
// client's value may be in force: it sets its value with each transaction
// instead (transactionSettings), the engine's and the driver's own ones
// around a statement outside a transaction alike, and never for a session,
// whose value would then hold for the pooler's other clients. A direct
// connection pays no round trip per transaction for it, and a host's
// first statement of its transaction is still its first.
bool RDA_DAC::boundLockWaits(KvbString& errorText) {
  if (dac_->sharesServerSessions()) return true;
  if (dac_->execute(lockTimeoutSetting(false))) return true;
  errorText = "The lock timeout cannot be set: " + dac_->getErrorMessage();
  return failed(errorText);
}

KvbString RDA_DAC::lockTimeoutSetting(bool transactionOnly) const {
  return kvbStringFormat("SET %slock_timeout = %d",
                         transactionOnly ? "LOCAL " : "",
                         std::max(busyTimeoutMs_, 1));
}

// Called for each server session that is opened: the default isolation is
// the session's, as its database, role and connection string set it.
// Where each transaction may land on another server session (behind a
// pooler), what one session said is no promise for the next: another
// client may have set a stricter default there, so every transaction sets
// read committed itself. The driver's transactions of its own, around a
// statement with values outside a transaction, make the same settings.
bool RDA_DAC::readIsolation(KvbString& errorText) {
  if (!readSessionIsolation(dac_, &pinReadCommitted_, errorText))
    return failed(errorText);
  pinReadCommitted_ |= dac_->sharesServerSessions();
  if (dac_->sharesServerSessions())
    dac_->setOwnTransactionStart(transactionSettings());
  return true;
}

std::vector<KvbString> RDA_DAC::transactionSettings() const {
  std::vector<KvbString> settings;
  if (pinReadCommitted_) settings.emplace_back(kReadCommittedSql);
  if (kind_ == DAC_DB_POSTGRESQL && dac_->sharesServerSessions())
    settings.push_back(lockTimeoutSetting(true));
  return settings;
}

// The driver begins the transaction with the first setting, in one round
// trip; the isolation comes first, before any query of the transaction.
bool RDA_DAC::setTransaction() {
  for (const KvbString& setting : transactionSettings())
    if (!dac_->execute(setting)) return false;
  return true;
}

bool RDA_DAC::isDBMSSupported() {
  if (kind_ != DAC_DB_UNKNOWN) return true;
  return fail("The database \"" + dac_->getDbmsName() +
              "\" is not supported for repositories");
}

KvbString RDA_DAC::nameQuote_INT() {
  return kind_ == DAC_DB_POSTGRESQL ? KvbString("")
                                    : dac_->getIdentifierQuote();
}

bool RDA_DAC::exec_INT(const KvbString& sql, int64_t* rows) {
  KvbString failure;
  const auto reason = [this] { return dac_->getErrorMessage(); };
  return runOnSession(SessionUse::kWrite,
                      [&] { return dac_->execute(sql, rows); }, reason,
                      failure) ||
         failed(failure);
}

RDA_StatementBase* RDA_DAC::prepare_INT(const KvbString& sql) {
  return statementOf(sql, false);
}

RDA_StatementBase* RDA_DAC::prepareOnce_INT(const KvbString& sql) {
  return statementOf(sql, true);
}

RDA_StatementBase* RDA_DAC::statementOf(const KvbString& sql, bool once) {
  DacStatement* statement = nullptr;
  KvbString failure;
  if (!onSession(
          SessionUse::kPrepare,
          [&] {
            statement = once ? dac_->prepareToRunOnce(sql) : dac_->prepare(sql);
            return statement != nullptr;
          },
          [this] { return dac_->getErrorMessage(); }, failure)) {
    failed(failure);
    return nullptr;
  }
  return new RDA_DACStatement(this, sql, statement, kind_ == DAC_DB_POSTGRESQL);
}

// A SQLite file takes the transaction statements themselves, so that the
// begin takes the write lock (see RDA_Sqlite::begin_INT); a server uses the
// driver's manual-commit mode, and a PostgreSQL transaction sets its lock
// timeout (see boundLockWaits). A busy SQLite begin is tried again after
// short sleeps until the busy timeout that the connection was opened with
// has passed since the first try: a connection of the ODBC driver gives up
// after the driver's own wait, which may be shorter. A native connection
// has waited the whole timeout already, and fails at once; its reason
// says so. The driver's reason does not, so the wait is added to it.
bool RDA_DAC::begin_INT(bool* busy) {
  if (kind_ == DAC_DB_SQLITE) {
    const auto start = std::chrono::steady_clock::now();
    SqliteBusyWait wait(busyTimeoutMs_);
    while (!exec_INT("BEGIN IMMEDIATE TRANSACTION", nullptr)) {
      *busy = dac_->isBusy();
      if (!*busy) return false;
      if (wait.pause()) continue;
      const KvbString reason = dac_->getErrorMessage();
      if (reason.find("(SQLITE/BUSY_TIMEOUT)") != KvbString::npos) return false;
      const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - start);
      return fail(kvbStringFormat(
          "%S; gave up waiting for it after %d ms (SQLITE/BUSY_TIMEOUT)",
          reason, static_cast<int>(waited.count())));
    }
    *busy = false;
    return true;
  }
  KvbString failure;
  if (sessionLost_ && !renewSession(failure)) return failed(failure);
  serverFailed_ = false;
  sessionUsed_ = false;
  manualCommit_ = dac_->setAutoCommit(false);
  if (!manualCommit_) return failed();
  inTransaction_ = true;
  if (onSession(
          SessionUse::kBegin, [this] { return setTransaction(); },
          [this] { return dac_->getErrorMessage(); }, failure))
    return true;
  rollback_INT();
  return failed(failure);
}

// SQLite through its driver: a BEGIN succeeds only outside a transaction,
// and is undone at once. A server: a statement fails in an aborted
// transaction; where statements still run after a statement the server
// refused, the driver either undid that statement alone or rolled the
// whole transaction back and began a new one unasked (see
// failuresEndTransactions). Behind a savepoint only the latter has ended
// it: an aborted transaction is the savepoint's to undo. A failure of the
// engine's own (a refusal before anything reached the server) ends
// nothing. A lost transaction is rolled back, so that nothing of it, nor
// of a new one, waits on the server until the host's end.
bool RDA_DAC::transactionLost_INT(bool savepointSet) {
  if (kind_ == DAC_DB_SQLITE) {
    if (!dac_->execute("BEGIN TRANSACTION", nullptr)) return false;
    dac_->execute("ROLLBACK TRANSACTION", nullptr);
    return true;
  }
  const bool refused = serverFailed_;
  lostAtBind_ = bindRefused_;
  serverFailed_ = bindRefused_ = false;
  // A session that is gone took its transaction with it.
  if (sessionLost_) {
    manualCommit_ = false;
    return true;
  }
  const bool answers = savepointSet || dac_->execute("SELECT 1", nullptr);
  // A failure whose text did not say so may have been the session's end.
  if (!answers) restated(dac_->getErrorMessage(), SessionUse::kQuery);
  if (answers && !(refused && failuresEndTransactions())) return false;
  rollback_INT();
  return true;
}

// Nothing of a refused bind reached the server, so the engine, not the
// database, ended the transaction: the driver's mode may have, and a
// transaction that is perhaps half gone is no transaction to go on with.
KvbString RDA_DAC::lostText_INT(const KvbString& reason) {
  if (sessionLost_) return lostTransactionText(reason);
  if (!lostAtBind_) return RDA_BaseImpl::lostText_INT(reason);
  return "The transaction was given up: a value could not be bound: " + reason;
}

// The PostgreSQL driver undoes a failed statement alone by default; one of
// its modes (Protocol=7.4-1, also set by a DSN) rolls the whole
// transaction back instead and lets the next statement begin a new one.
// Nothing in a connection's answers tells the two apart, so the first time
// the driver refuses a call inside a transaction the connection tries, at a
// savepoint of its own: a transaction-local setting, a statement that
// fails on purpose, and whether the setting is still there. Where the
// driver rolls back, the transaction is gone already and the try costs
// nothing more; elsewhere the savepoint undoes it, also in a mode where
// statements fail until the rollback (Protocol=7.4-0), which shows in the
// reading failing. The mode is the connection's for its life, so the
// answer is kept: no transaction pays for it before a failure. A probe
// that something else cut short (its session lost, a read refused for
// another reason) tells nothing, and is not kept: the next refusal asks
// again, rather than a guess passing for the mode.
bool RDA_DAC::failuresEndTransactions() {
  if (failuresEnd_ != FailuresEnd::kUnknown)
    return failuresEnd_ == FailuresEnd::kYes;
  if (!dac_->execute("SAVEPOINT kv_probe", nullptr)) return false;
  KvbString setting, reason;
  const bool refused =
      dac_->execute("SELECT set_config('kv.tx', 'kept', true)", nullptr) &&
      !dac_->execute("SELECT CAST('kv: fails on purpose' AS INTEGER)",
                     nullptr) &&
      hasState(dac_->getErrorMessage(), "22P02");
  const bool read =
      refused &&
      firstValue("SELECT current_setting('kv.tx', true)", setting, reason);
  // Unread, the setting shows the mode only as an aborted transaction.
  const bool told = read || (refused && hasState(reason, "25P02"));
  const bool ended = read && setting != "kept";
  if (told) failuresEnd_ = ended ? FailuresEnd::kYes : FailuresEnd::kNo;
  if (!ended && dac_->execute("ROLLBACK TO SAVEPOINT kv_probe", nullptr))
    dac_->execute("RELEASE SAVEPOINT kv_probe", nullptr);
  return ended;
}

bool RDA_DAC::hasState(const KvbString& text, const char* state) {
  return text.str().find(std::string("[") + state + "]") != std::string::npos;
}

bool RDA_DAC::firstValue(const KvbString& sql, KvbString& text,
                         KvbString& failure) {
  DacStatement* statement = dac_->prepareToRunOnce(sql);
  DacCursor* cursor = statement ? statement->select() : nullptr;
  KvbDatavar value;
  const bool read =
      cursor && cursor->next() == 1 && cursor->getValue(0, value);
  if (read && !value.isNull()) text = value.asString();
  if (!read)
    failure = cursor      ? cursor->getErrorMessage()
              : statement ? statement->getErrorMessage()
                          : dac_->getErrorMessage();
  if (cursor) cursor->release();
  if (statement) statement->release();
  return read;
}

bool RDA_DAC::commit_INT() {
  if (kind_ == DAC_DB_SQLITE) return exec_INT("COMMIT TRANSACTION", nullptr);
  manualCommit_ = inTransaction_ = false;
  if (dac_->commit() && dac_->setAutoCommit(true)) return true;
  noteRefusal();
  return fail(restated(dac_->getErrorMessage(), SessionUse::kCommit));
}

// A session that is gone has rolled its transaction back.
bool RDA_DAC::rollback_INT() {
  if (kind_ == DAC_DB_SQLITE) return exec_INT("ROLLBACK TRANSACTION", nullptr);
  manualCommit_ = inTransaction_ = false;
  if (sessionLost_ || (dac_->rollback() && dac_->setAutoCommit(true)))
    return true;
  const KvbString reason = dac_->getErrorMessage();
  return dacSessionLost(reason) ? (restated(reason, SessionUse::kWrite), true)
                                : failed(reason);
}

bool RDA_DAC::catalogueRows(
    const KvbString& sql, const std::vector<KvbString>& values,
    std::vector<std::pair<KvbString, KvbString>>& rows) {
  DacStatement* statement = nullptr;
  KvbString failure;
  if (!onSession(
          SessionUse::kPrepare,
          [&] { return (statement = dac_->prepare(sql)) != nullptr; },
          [this] { return dac_->getErrorMessage(); }, failure))
    return failed(failure);
  bool ok = true;
  for (size_t i = 0; ok && i < values.size(); ++i)
    ok = statement->bind(static_cast<int>(i), KvbDatavar(values[i]),
                         kvbTypeString, 255);
  failure = statement->getErrorMessage();
  DacCursor* cursor = nullptr;
  if (ok)
    onSession(
        SessionUse::kQuery,
        [&] { return (cursor = statement->select()) != nullptr; },
        [&] { return statement->getErrorMessage(); }, failure);
  if (!cursor) {
    ok = failed(failure);
  } else {
    int step;
    KvbDatavar a, b;
    while ((step = cursor->next()) == 1 && cursor->getValue(0, a) &&
           cursor->getValue(1, b))
      rows.emplace_back(a.asString(), b.asString());
    if (step != 0)
      ok = failed(restated(cursor->getErrorMessage(), SessionUse::kRows));
    cursor->release();
  }
  statement->release();
  return ok;
}

// The catalogue queries of each database kind, giving two texts per row.
// The queries of a table's columns and indexes take the table's name as
// their one parameter; that of table names takes a LIKE pattern
// (tableNamesLike_INT), after the schema's name on PostgreSQL.
namespace {
struct CatalogueQueries {
  DacDbKind kind;
  const char* columns;  // column name, column type
  const char* indexes;  // index name, column name; keys excluded
  const char* tables;   // table or view name, its kind
};
const CatalogueQueries kCatalogues[] = {
    {DAC_DB_SQLITE, kSqliteColumnsSql, kSqliteIndexesSql, kSqliteTablesLikeSql},
    {DAC_DB_POSTGRESQL,
     "SELECT a.attname, format_type(a.atttypid, a.atttypmod) FROM "
     "pg_attribute a WHERE a.attrelid = to_regclass(?) AND a.attnum > 0 "
     "AND NOT a.attisdropped ORDER BY a.attnum",
     "SELECT i.relname, a.attname FROM pg_index x "
     "JOIN pg_class i ON i.oid = x.indexrelid "
     "JOIN pg_attribute a ON a.attrelid = x.indrelid "
     "AND a.attnum = ANY(x.indkey) "
     "WHERE x.indrelid = to_regclass(?) AND NOT x.indisprimary "
     "ORDER BY i.relname, array_position(x.indkey::int2[], a.attnum)",
     "SELECT c.relname, c.relkind FROM pg_class c JOIN pg_namespace n "
     "ON n.oid = c.relnamespace WHERE n.nspname = "
     "COALESCE(NULLIF(?, ''), current_schema()) "
     "AND c.relkind IN ('r', 'p', 'v', 'm', 'f') "
     "AND c.relname LIKE ? ESCAPE '!'"},
};

const CatalogueQueries* cataloguesOf(DacDbKind kind) {
  for (const CatalogueQueries& q : kCatalogues)
    if (q.kind == kind) return &q;
  return nullptr;
}
}  // namespace

// Rows of the kind's catalogue query about a table. SQLite's pragmas take
// the name without a schema; PostgreSQL resolves "schema.table" itself.
bool RDA_DAC::catalogue(bool indexes, const KvbString& physicalName,
                        std::vector<std::pair<KvbString, KvbString>>& rows) {
  const CatalogueQueries* q = cataloguesOf(kind_);
  if (!q) return unreadableCatalogue();
  return catalogueRows(
      indexes ? q->indexes : q->columns,
      {kind_ == DAC_DB_SQLITE ? lastPart(physicalName) : physicalName}, rows);
}

bool RDA_DAC::unreadableCatalogue() {
  return fail("Reading the catalogue is not supported on " +
              dac_->getDbmsName());
}

// PostgreSQL folds the unquoted names of the engine to lower case, and so
// the schema's name and the pattern here; SQLite's LIKE ignores the case
// of ASCII letters, as its names do.
bool RDA_DAC::tableNamesLike_INT(const KvbString& pattern,
                                 std::vector<KvbString>& names) {
  const CatalogueQueries* q = cataloguesOf(kind_);
  if (!q) return unreadableCatalogue();
  std::vector<KvbString> values{KvbString(pattern).toLower()};
  if (kind_ == DAC_DB_POSTGRESQL)
    values.insert(values.begin(), getSchemaName().toLower());
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogueRows(q->tables, values, rows)) return false;
  for (const auto& row : rows) names.push_back(row.first);
  return true;
}

// One row: the schema of the table that the name resolves to through the
// search path, else the schema where the server creates a table (null when
// the path names no schema that exists).
bool RDA_DAC::repositorySchema_INT(const KvbString& infoTable,
                                   KvbString& schema) {
  schema = "";
  if (kind_ != DAC_DB_POSTGRESQL) return true;
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogueRows(
          "SELECT COALESCE(n.nspname, current_schema()), '' FROM "
          "(SELECT to_regclass(?) AS oid) r "
          "LEFT JOIN pg_class c ON c.oid = r.oid "
          "LEFT JOIN pg_namespace n ON n.oid = c.relnamespace",
          {infoTable}, rows))
    return false;
  if (!rows.empty()) schema = rows.front().first;
  return true;
}

bool RDA_DAC::tableColumns_INT(const KvbString& physicalName,
                               std::list<TableColumnInfo>& columns) {
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogue(false, physicalName, rows)) return false;
  for (const auto& row : rows) {
    columns.push_back(
        describedColumn(KvbString(row.first).toUpper(), row.second));
  }
  return true;
}

bool RDA_DAC::tableIndexes_INT(const KvbString& physicalName,
                               std::vector<RDA_IndexColumn>& indexes) {
  std::vector<std::pair<KvbString, KvbString>> rows;
  if (!catalogue(true, physicalName, rows)) return false;
  for (const auto& row : rows)
    indexes.push_back({KvbString(row.first).toUpper(),
                       KvbString(row.second).toUpper()});
  return true;
}

KvbString RDA_DAC::columnTypeFor(DacDbKind kind, int type, int size,
                                 bool key) {
  KvbString name = dacGetTypeName(kind, type, size);
  if (kind == DAC_DB_PRIMARY_INDEX && key && type == kvbTypeString)
    name.append(" CASESPECIFIC");
  return name;
}

KvbString RDA_DAC::tableTailFor(DacDbKind kind,
                                const std::vector<KvbString>& keys) {
  if (kind != DAC_DB_PRIMARY_INDEX || keys.empty()) return ")";
  KvbString tail(") PRIMARY INDEX (");
  for (size_t i = 0; i < keys.size(); ++i)
    tail.append(i ? ", " : "").append(keys[i]);
  return tail.append(')');
}

bool RDA_DAC::runTableCommands_INT(const KvbString& tableCode,
                                   const KvbString& physicalName,
                                   const KvbString& indexName) {
  if (!spec_) return true;
  KvTableCreateNS::KvCreateSpecCommands* commands =
      indexName.isNull()
          ? spec_->getTableCommands(dac_->getDbmsName(), givenSchema(),
                                    tableCode, physicalName)
          : spec_->getIndexCommands(dac_->getDbmsName(), givenSchema(),
                                    tableCode, physicalName, indexName);
  bool ok = true;
  KvbString command;
  while (ok && commands->next(command)) ok = runDDL(command);
  commands->release();
  return ok;
}

// ---------------------------------------------------------------------------
// Bulk loading: rows gather into multi-row INSERTs inside one transaction,
// which bulkLoadEnd commits (or, when its last rows fail, rolls back). A
// load ended any other way (a second bulkLoadInit, a failed batch,
// bulkLoadAbandon, its transaction rolled back for an owner that is gone)
// takes back every row it sent.

bool RDA_DAC::isBulkLoadSupported() { return kind_ == DAC_DB_POSTGRESQL; }

void RDA_DAC::dropBulkLoader(bool commit) {
  if (!bulk_) return;
  bulk_.reset();
  endTransaction(commit);
}

bool RDA_DAC::bulkLoadInit(int batchSize, const KvbString& physicalName,
                           const std::list<TableColumnInfo>* columns) {
  RDA_LockGuard guard(lock());
  if (!guard) return false;
  dropBulkLoader(false);
  if (!columns || columns->empty()) {
    logPrintf(logger_, kLogError, kSourceFile, __LINE__,
              "Invalid bulk load column list");
    return fail("Invalid bulk load column list");
  }
  if (!isBulkLoadSupported())
    return fail("This connection does not support bulk loading");
  auto load = std::make_unique<BulkLoad>();
  load->table = physicalName;
  KvbString head = "INSERT INTO " + physicalName + " (";
  for (const TableColumnInfo& c : *columns) {
    head.append(load->names.empty() ? "" : ", ").append(c.name);
    if (c.isKey) load->keys.push_back(load->names.size());
    load->names.push_back(c.name);
    load->lengths.push_back(c.type == kvbTypeString ? c.size : 0);
  }
  // Each batch is prepared on the database itself, under the lock that the
  // loader's calls hold; the statement records its failure here.
  load->rows = std::make_unique<RDA_BatchWriter>(
      head + ") VALUES ", columns->size(),
      static_cast<size_t>(std::max(batchSize, 1)), kMaxMarkers,
      [this](const KvbString& sql, KvbString* reason) {
        RDA_StatementBase* statement = prepare_INT(sql);
        if (!statement) *reason = getErrorMessage();
        return statement;
      });
  if (!beginTransaction(false, nullptr)) {
    endTransaction(false);
    return false;
  }
  bulk_ = std::move(load);
  return true;
}

KvbString RDA_DAC::bulkFailure() {
  return failureNamedBy([this] {
    return tooLongInBatch(*bulk_->rows, bulk_->table, bulk_->names,
                          bulk_->lengths, bulk_->keys);
  });
}

void RDA_DAC::logLoadFailure(const KvbString& text, int line) {
  logPrintf(logger_, kLogError, kSourceFile, line, "%S", text);
  lossLogged(text);
}

bool RDA_DAC::bulkLoadRow(const KvbDatavar* values, size_t count) {
  RDA_LockGuard guard(lock());
  if (!guard) return false;
  if (!bulk_) return RDA_BaseImpl::bulkLoadRow(values, count);
  if (count != bulk_->rows->columns()) {
    logPrintf(logger_, kLogError, kSourceFile, __LINE__,
              "Num of insert values doesn't match column count");
    return fail("Num of insert values doesn't match column count");
  }
  std::copy(values, values + count, bulk_->rows->row());
  if (bulk_->rows->addRow()) return true;
  logLoadFailure(bulkFailure(), __LINE__);
  dropBulkLoader(false);
  return false;
}

bool RDA_DAC::bulkLoadEnd(bool flush) { return endBulkLoad(flush, nullptr); }

bool RDA_DAC::bulkLoadEndAfter(const std::function<bool()>& last) {
  return endBulkLoad(true, last);
}

bool RDA_DAC::endBulkLoad(bool flush, const std::function<bool()>& last) {
  RDA_LockGuard guard(lock());
  if (!guard) return false;
  if (!bulk_) return RDA_BaseImpl::bulkLoadEnd(flush);
  bool ok = !flush || bulk_->rows->flush();
  if (!ok) logLoadFailure(bulkFailure(), __LINE__);
  bulk_.reset();
  // The load's last work runs in its transaction, so that its failure takes
  // the rows back with it.
  if (ok && last) ok = last();
  // Rows already written stay, unless writing the last ones failed.
  KvbString reason = getErrorMessage();
  if (!endLoggedByCaller(ok)) {
    // A failed commit is only recorded (see rda_impl.h): the loader logs
    // it, as it logs a failed batch, once.
    if (ok) logLoadFailure(getErrorMessage(), __LINE__);
    return false;
  }
  return ok || fail(reason);
}

void RDA_DAC::bulkLoadAbandon() {
  RDA_LockGuard guard(lock());
  if (guard) dropBulkLoader(false);
}
