// RDA_BaseImpl: everything a repository connection does that does not
// depend on the back end: locking, error texts, nested transactions, work
// held until the outermost commit, id counters, long texts, table names,
// parameterised SQL, the DDL callback, and creating and checking tables
// from column definitions. The back ends (RDA_Sqlite, RDA_DAC) supply the
// primitives whose names end in _INT.
//
// Transactions nest. Only the outermost begin and end reach the database;
// an inner begin sets a savepoint, its end(true) releases it and its
// end(false) rolls back to it, so that exactly the inner work is undone and
// the outer transaction goes on. The thread that begins a transaction holds
// the connection's lock until the matching end, so no other thread's
// statement runs inside it; another thread's call waits for it at most the
// busy timeout, and another thread's end is refused at once. A transaction
// does not outlive its thread, nor the data-access object that began it
// (see rda_lock.h): a thread's transaction is rolled back, with a log
// record, by the next thread that needs the connection after the thread
// ended; one whose object is released on its own thread, at once; one
// whose object is released on another thread, by its own thread at its
// next call, and then it is lost as below.
//
// When a transaction is rolled back by anything but its own outermost end
// (SQLite rolls it back on a full disk; a server aborts it at a failed
// statement that no savepoint guards; a server's driver may roll it back
// whole at any failed statement, savepoints and all; its object was
// released on another thread), the transaction is lost: every later
// statement in it fails with the reason ("The transaction was rolled back
// by the database: <reason>"), and so does each end, until the outermost
// end closes it; the loss is logged once: by the ERROR record of the
// engine's operation that answers it (see lossLogged), else, where only
// the host's own calls answered it (its statements, its begin and end), by
// a WARNING at the host's end that reports it. An outermost end without
// commit before any refusal (the engine's own transaction for one failed
// operation) keeps the failed statement's reason and logs nothing; so
// does every end of a transaction whose levels are all the engine's own
// (one call's, see beginOrUndo, with the levels of the helpers it runs),
// which ends rolled back with the call's answer as its failure left it.
// Where a host's level is open beneath, each end reports the loss: the
// host's transaction is gone. Nothing runs outside the host's transaction
// meanwhile.
//
// A begin or a commit that fails records the database's reason (see
// getErrorMessage) without logging it: the caller, who knows what was being
// done, logs the failure once. Only a failed rollback that the caller asked
// for, whose answer callers do not look at, is logged here.
#ifndef RDA_RDA_IMPL_H_
#define RDA_RDA_IMPL_H_

#include <atomic>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "rda/rda_lock.h"
#include "reposadmin/repos_data_access.h"

class KvLogger;
class RepositoryStatusCallback;
class RDA_StatementBase;
struct ReposColumnDef;
struct ReposCompositeIndex;

// The longest text the engine keeps inline in a column; longer texts go to
// BIGSTR in pieces of at most this many bytes.
constexpr int kInlineTextLimit = 32000;

// One column of one index, as the back ends list them.
struct RDA_IndexColumn {
  KvbString index;
  KvbString column;
};

// A per-id table that the engine makes under a prefix: the table of a
// code (FRQDST, HSM or HCM) and an id, named "<prefix><code><id>".
struct RDA_IdTable {
  const char* code;
  int id;
};

// The codes of the tables that older versions left and no built-in
// definition covers: the shared frequency table, the counter tables and
// the redundancy results.
extern const char* const kRdaOlderTableCodes[5];

// The codes of the per-id tables, in the order findIdTables gives them.
extern const char* const kRdaIdTableCodes[3];

// The other repositories of a connection's schema, which a drop under the
// connection's prefix must leave whole: each prefix other than the
// connection's (the case of letters aside, as both back ends resolve
// names) under which an INFO table exists, as the catalogue spells it, and
// the codes of the engine's tables (built-in, NCOA, older versions' and the
// table sets' the connection was told of). A table name is claimed by such
// a prefix when it is that prefix followed by one of the codes or by a
// per-id table's code and id: "abJALERT" is the table ALERT of a
// repository "abj" as much as the table JALERT of "ab".
struct RDA_Neighbours {
  std::vector<KvbString> prefixes;
  std::set<std::string> codes;  // in upper case
  // The prefix that claims `name` (a table name without its schema); null
  // when none does.
  KvbString claimantOf(const KvbString& name) const;
};

// The statements that create one defined table: the CREATE TABLE first,
// then one CREATE INDEX per index, each with the name of its index (null
// for the table's own statement), and the table's unquoted physical name,
// which the table-creation specification's commands take.
struct RDA_TableDdl {
  KvbString bare;
  std::vector<std::pair<KvbString, KvbString>> statements;
};

// The status text of one table of a long operation: "Table GCATS", or with
// a count of steps (steps > 0) "Table GCATS (step 7 of 146)".
KvbString tableStep(const KvbString& code, int step, int steps);

class RDA_BaseImpl : public ReposDataAccess, private RDA_TransactionEnder {
 public:
  // Reads the configuration (locking, table-creation specification), checks
  // the table prefix and opens the connection. False with errorText set.
  bool init(const KvbString& connection, const KvbString& tablePrefix,
            RepositoryStatusCallback* status, KvbString& errorText);

  // Gives up one hold on the connection. The last one rolls back a
  // transaction left open (also another thread's, which nothing could end
  // any more) and deletes the connection. Whoever makes a connection has
  // the first hold; hold() adds one, so that a data-access object, a
  // statement or a cursor keeps its connection usable after the repository
  // that handed it out has been released. Never waits.
  void release() override;
  void hold() { holds_.fetch_add(1, std::memory_order_relaxed); }
  // The calling thread's last failure on this connection (see
  // RDA_ThreadTexts); never waits.
  KvbString getErrorMessage() override;
  KvbString getLastError() override { return getErrorMessage(); }

  // A repository lives in one schema (see rda_schema.cpp): the one that
  // the prefix names, else the one found at the open. getTableName names
  // every table in it, and getSchemaName gives it ("" where there are no
  // schemas, and while a DDL callback is installed for a prefix that names
  // none, so that a script runs by hand on any database). getTablePrefix
  // gives the prefix as it was given.
  KvbString getTableName(const char* tableCode, bool quote,
                         int number) override;
  bool getTablePrefix(bool withoutSchema, KvbString* prefix,
                      KvbString* errorText) override;
  KvbString getSchemaName() override;
  KvbString getIndexName(int number, const KvbString& base) override;
  KvbString getColumnList(const KvbString& tableCode,
                          const char* alias) override;

  bool beginTransaction(bool immediate, bool* busy) override {
    return beginFor(nullptr, immediate, busy);
  }
  // beginTransaction for a data-access object, whose release rolls back
  // the transaction it began while that is still open (see objectReleased).
  bool beginFor(const void* object, bool immediate, bool* busy);
  // beginTransaction that, when it fails, ends the level that a failed
  // begin leaves open (none when the begin was busy or the transaction was
  // given up), keeping the begin's reason. The level is the engine's own:
  // its caller runs one call's work in it and ends it itself (see the top
  // of this file for a loss inside such levels alone).
  bool beginOrUndo(bool immediate, bool* busy);
  // `object` is being released: a transaction it began is rolled back, at
  // once on the thread that holds it; on another thread it is marked, and
  // its thread rolls it back at its next call. Never waits.
  void objectReleased(const void* object);
  // The transaction that the calling thread's begin has just opened, at the
  // outermost level, is a load's, which `object` holds from its begin to
  // its end (a profile load, also one that the bulk loader began):
  // releasing `object` on another thread makes it lost, as one that
  // `object` began. No host's end pairs with a load's transaction, so the
  // thread's next call, which answers false with the loss, also closes it;
  // the calls after that run as outside any transaction. Nothing for a
  // transaction that was open before the load's begin.
  void transactionOfLoad(const void* object);
  // A statement of the open transaction changed the database. While the
  // transaction is a load's, a write that is not one of the load's own
  // steps (see LoadStep) joins it: another object's write on the loading
  // thread. A load's transaction that such a write joined and that is then
  // rolled back (a failed add or end, the load's object released) loses
  // that write too: the failing call says so (see loadFailure), and so
  // does the thread's next call that reaches the database, with "The
  // load's transaction was rolled back, and with it the writes that other
  // calls of this thread made while the load was open: <reason>"; the
  // calls after it run as outside any transaction.
  void wrote() {
    if (loadOnly_ && depth_ > 0 && loadSteps_ == 0) joinedLoad_ = true;
  }
  // While one lives, the statements that the calling thread runs are the
  // load's own: its table, its rows, its last batch.
  class LoadStep {
   public:
    explicit LoadStep(RDA_BaseImpl* connection);
    ~LoadStep();
    LoadStep(const LoadStep&) = delete;
    LoadStep& operator=(const LoadStep&) = delete;

   private:
    RDA_BaseImpl* connection_;
    RDA_LockGuard guard_;
  };
  // The text of a load's call that failed for `reason`: `reason` itself,
  // or, when its rollback took the writes that had joined the load's
  // transaction with it, the text that the thread's next call answers.
  KvbString loadFailure(const KvbString& reason);
  bool endTransaction(bool commit) override;
  bool inTransaction() override;
  // The number of the open transaction, counted up at each outermost begin
  // on the connection; read by the thread that holds that transaction.
  uint64_t transactionNumber() const { return number_; }
  // False once the transaction numbered `number` has ended, also when it
  // was rolled back for a thread that ended with it open (which this call,
  // taking the lock, may do); true while it is open, and when the lock
  // cannot be had to tell.
  bool transactionStillOpen(uint64_t number);
  // Runs `work` at once when no transaction is open; inside one, after the
  // outermost commit, in the order given. A rollback drops it: the whole
  // transaction's rollback all of it, an inner level's rollback what was
  // given at that level. For announcing changes once they are stored.
  void afterCommit(std::function<void()> work);

  bool getNextIDs(const KvbString& key, int count, KvbDatavar& firstId,
                  KvbString* errorText) override;
  bool getNextID(const KvbString& key, KvbDatavar& id) override;

  ReposDataAccessCursor* paramSelect(const KvbString& sql, int n,
                                     ...) override;
  ReposDataAccessCursor* paramSelectV(const KvbString& sql, int n,
                                      va_list values) override;
  bool paramExec(const KvbString& sql, int* rowsAffected, int n,
                 ...) override;
  bool paramExecWTypes(const KvbString& sql, int* rowsAffected,
                       const KvbString& types, int n, ...) override;
  bool paramSingleton(const KvbString& sql, int* result, int n,
                      ...) override;
  ReposDataAccessStatement* createStatement(const KvbString& sql) override;

  bool createTables(TableCreateOptions options) override;
  bool checkTables(TableCreateOptions options) override;
  // The number of tables that createTables and checkTables walk for
  // `options`.
  static int tableCount(const TableCreateOptions& options);
  // From now on the tables that createTables and checkTables walk are
  // reported to the status callback as steps 1, 2, ... of `steps` (see
  // tableStep); 0 reports them without counts.
  void countSteps(int steps) {
    step_ = 0;
    steps_ = steps;
  }
  int getTableColumns(const KvbString& table,
                      std::list<TableColumnInfo>& columns) override;
  // getTableColumns that tells a table that does not exist (true, nothing
  // appended) from a catalogue that cannot be read (false, with the reason).
  bool findTableColumns(const KvbString& table,
                        std::list<TableColumnInfo>& columns);
  // Whether the table `table` is there and its columns hold no column
  // `column` (any case): a column that a repository of an older version
  // lacks. False when the table is not there or its columns cannot be
  // read.
  bool lacksColumn(const KvbString& table, const char* column);
  // The per-id tables under the connection's prefix that the database's
  // catalogue lists, tables and views alike, whether or not a row names
  // their id; by code (FRQDST, HSM, HCM), then by id. Only names of exactly
  // that form count: another prefix's tables stay out, also one that begins
  // with this prefix. False, with the reason, when the catalogue cannot be
  // read.
  bool findIdTables(std::vector<RDA_IdTable>& tables);
  // The other repositories of the connection's schema (see
  // RDA_Neighbours). False, with the reason, when the catalogue cannot be
  // read.
  bool findNeighbours(RDA_Neighbours& neighbours);
  // The table of this prefix <code><id> (no id when `id` is negative) is
  // dropped unless another repository of the schema claims its name; then
  // it stays and the answer is true. `known` gives the neighbours already
  // found, else they are read from the catalogue; with `indexes` the
  // table's indexes are dropped first. Every drop of a table that the
  // engine names by the prefix goes through here, or through createTables
  // with dropTables, which keeps to the same rule.
  bool dropOwnTable(const char* code, int id,
                    const RDA_Neighbours* known = nullptr,
                    bool indexes = false);
  // The name of this prefix's table <code><id> without its schema.
  KvbString ownName(const char* code, int id);
  // False, with a refusal that names the prefix, its length and the
  // database's limit, when `name` (a table or index name that the engine
  // makes under the prefix, without its schema) is longer than the
  // database keeps an identifier: the server would cut it, and two names
  // could become one. True where the database cuts no names (SQLite).
  bool madeNameFits(const KvbString& name);
  // The code of a table that a table set defines, which the neighbours'
  // claims count with the built-in codes.
  void declareTableCode(const KvbString& code) {
    setCodes_.insert(KvbString(code).toUpper().str());
  }
  bool createTable(const KvbString& table,
                   const std::list<TableColumnInfo>& columns) override;
  bool dropTable(const KvbString& physicalName) override;
  bool dropTableIndexes(const KvbString& physicalName) override;
  ReposDataAccessCursor* listIndexes(const KvbString& physicalName) override;
  bool createIndex(const KvbString& table, const KvbString& column,
                   const KvbString& indexName) override;
  // The names of indexes that the engine makes carry the prefix (without
  // schema), so that repositories of one schema never meet on one: the
  // prefix and `suffix`; a default name's suffix is
  // "<table>_<column>_idx" (the table without prefix).
  KvbString ownIndexName(const KvbString& suffix);
  static KvbString defaultIndexSuffix(const KvbString& table,
                                      const KvbString& column);
  // The name under this prefix of an index of `table` (without prefix) on
  // `column` that a table file names `name`: a name that the engine made
  // for that index (a default name, or a frequency table's) under any
  // prefix is made anew under this one; any other name stays.
  KvbString importedIndexName(const KvbString& table, const KvbString& column,
                              const KvbString& name);
  bool createHSMTable(int id, int groupCount) override;
  bool createHCMTable(int id, int groupCount) override;
  bool createFrequencyTable(int fieldId) override;
  // Dropping a table drops its indexes, so these have nothing to do.
  bool createHSMIndexes(const KvbString&, int) override { return true; }
  bool createHCMIndexes(const KvbString&, int) override { return true; }
  bool createFrequencyIndexes(const KvbString&, int) override { return true; }

  bool setDDLCallback(ReposDDLCallback* callback) override;
  int getMaxTextLength() override;
  bool readLongText(const KvbString& text, KvbString* full, int) override;
  bool writeLongText(const KvbString& text, KvbString* marker, int) override;
  // The I_UUID of the INFO row of type KVREPOSITORY; "" when there is no
  // such row, and also when it cannot be read (no INFO table, a failed
  // fetch, or the lock was refused), which is then the thread's failure.
  KvbString getRepositoryUUID() override;
  // getRepositoryUUID that gives a read that failed, or the lock's refusal,
  // as *reason (when given) and leaves the thread's failure as it was; no
  // row is no failure and leaves *reason as it was.
  KvbString repositoryUUID(KvbString* reason);
  // The UUID that an event of this connection carries: as read now, or,
  // when the read fails (the connection's lock not taken in time
  // included), as last read on this connection (a repository opened reads
  // it once). When neither is known the failure is logged and *reason says
  // why; the event must then not be posted.
  KvbString eventRepositoryUUID(KvbString* reason);
  bool isDBMSSupported() override { return true; }
  // Bulk loading is the data-access-library back end's; here it fails.
  bool isBulkLoadSupported() override { return false; }
  bool bulkLoadInit(int, const KvbString&,
                    const std::list<TableColumnInfo>*) override;
  // Gathers the n values and hands them to bulkLoadRow.
  bool bulkLoadAddRow(int n, ...) override;
  // One row of `count` values, in the loader's column order, for the bulk
  // load that bulkLoadInit opened.
  virtual bool bulkLoadRow(const KvbDatavar* values, size_t count);
  bool bulkLoadEnd(bool) override;
  // bulkLoadEnd(true) that runs `last` (when given) in the load's
  // transaction once its last rows are written, before the commit (a field
  // table's indexes): when `last` fails, every row goes back with the
  // transaction, and the answer is false with the reason of `last`.
  virtual bool bulkLoadEndAfter(const std::function<bool()>& last) {
    return bulkLoadEnd(true);
  }
  // Ends the open bulk load without its end: every row it sent, the
  // batches already written included, is rolled back with its transaction.
  // Nothing, and no failure recorded or logged, when no load is open (as
  // after a row that failed, or once its transaction was rolled back for a
  // thread that ended). bulkLoadEnd(false), by contrast, keeps the batches
  // already written.
  virtual void bulkLoadAbandon() {}
  bool requiresNestedJoins() override { return false; }

  // True when a statement that fails undoes only its own changes and
  // leaves the transaction usable (SQLite); a server's transaction may end
  // at a failed statement unless a savepoint was set before it.
  bool failedStatementsUndoThemselves() {
    return failedStatementsUndoThemselves_INT();
  }
  // Makes the open transaction's outermost end roll back, for work inside
  // it that failed halfway and could not be undone; nothing outside one.
  void mustRollBack();
  // Makes the open transaction take its turn at `key` (a physical table
  // name): it waits until no other connection's open transaction holds
  // that turn, and then holds it itself until it ends. The turn is the
  // table's that the server resolves the name to, so every spelling that
  // reaches one table (a prefix in another case, with or without the
  // schema that the search path finds) takes one turn; a table that does
  // not exist takes none, and the write that follows fails on it. Taken
  // before a look-up that decides a write (a name or UUID in use), it
  // makes the look-up and the write hold across connections and
  // processes: on a server two read-committed transactions would otherwise
  // both find the name free. Where the begin takes a write lock (SQLite)
  // writers take turns already, and this does nothing; so it does outside
  // a transaction and while a DDL callback takes the statements. A turn
  // taken at a nested level that rolls back is given back with it; that
  // level wrote nothing that needs it. The wait ends at the busy timeout
  // (SQLITE/BUSY_TIMEOUT) with the text "The table <key> is being written
  // by another connection; this write waited <n> ms for its turn
  // (SQLITE/BUSY_TIMEOUT): <the server's reason>", which also ends the
  // transaction where the server's failed statement does (see the top of
  // this file). A wait that the server ends to break a deadlock with
  // another transaction ends this transaction in every driver mode (its
  // rollback lets the other go on), with "The table <key> is being written
  // by another connection whose transaction waits for this one's; this
  // transaction was rolled back to end the deadlock: <the server's
  // reason>", which its later calls and ends answer too. The server's
  // reason is its SQLSTATE and message, without the turn's statement. Any
  // other failure keeps its own reason. Needs no schema change: a table
  // that holds duplicates already reads as before.
  bool serializeWrites(const KvbString& key);
  // The clause that, appended to a SELECT, holds the rows it reads until
  // the transaction ends: against a delete (`kind` kShare, what a write
  // that names a row takes) or against every other lock of the row
  // (kTake, what a delete of the row takes before the rows that name it).
  // Null where the begin takes a write lock that serializes writers
  // already (SQLite), so that there is nothing to hold.
  enum class RowHold { kShare, kTake };
  const char* rowHoldClause(RowHold kind) { return rowHoldClause_INT(kind); }

  // For statements: the connection's lock, whether a DDL callback takes
  // the statements, handing one statement to it, and recording a failure.
  RDA_Lock* lock() { return &lock_; }
  bool ddlActive() const { return ddlCallback_ != nullptr; }
  // A statement of the back end for one query, prepared on the database
  // also while a DDL callback takes the statements: the reads that decide
  // what a write writes read what is stored. Called with the lock held.
  RDA_StatementBase* prepareQuery(const KvbString& sql) {
    return prepareOnce_INT(sql);
  }
  // tableExists for a statement of the script, whose tables may be the
  // script's own.
  bool tableOnDatabase(const KvbString& physicalName, bool* exists) {
    return tableExists(physicalName, exists);
  }
  bool divertStatement(const KvbString& text);
  // Records `text` as the calling thread's failure; answers false. Called
  // with the lock held: inside a transaction it also asks the back end
  // whether the database ended the transaction.
  bool fail(const KvbString& text);
  // fail() for a failure that needs no database (a call refused for its
  // arguments, a row that is missing), without waiting for the lock: the
  // thread that holds the lock fails as with fail(); any other holds no
  // transaction here, so only its text is recorded.
  bool noteFailure(const KvbString& text);
  // The calling thread's last failure, given the plainer text that `name`
  // answers (a value named by its column rather than by the statement that
  // wrote it) when a value was refused (refusedValue: too long for its
  // column, or a text with a NUL byte) and `name` finds it (else null); a
  // transaction that the failure ended answers the new text too. Called with
  // the lock held, right after the failure.
  KvbString failureNamedBy(const std::function<KvbString()>& name);

  // The length that text column `column` of table `code` (a table code, as
  // getTableName takes it) declares: from the built-in definitions, else
  // from the tables that were declared to the connection; 0 when the
  // column is not a text column of either.
  int declaredTextLength(const char* code, const char* column);
  // Declares the length of a text column of a table beyond the built-in
  // ones (a table of the repository's table sets): `length` characters, or
  // the longest inline text (getMaxTextLength) for 0. For the texts that
  // name a value too long for its column; called before the connection is
  // shared.
  void declareTextLength(const KvbString& code, const KvbString& column,
                         int length);

  // False, with the reason recorded, when statements cannot run: the open
  // transaction was lost (see the top of this file).
  bool usable() {
    return (lost_.isEmpty() && !lock_.objectGone() && loadLosses_.empty()) ||
           refuseUnusable();
  }
  // Whether the open transaction is lost (see the top of this file), as a
  // refused call has found it; for a caller that holds the lock.
  bool transactionLost() const { return !lost_.isEmpty(); }
  // An operation of the engine logs `text` as its failure, in an ERROR
  // record: when the text tells the loss of the calling thread's
  // transaction, that record is the loss's one, and no end warns of it
  // again.
  void lossLogged(const KvbString& text);

 protected:
  RDA_BaseImpl();
  ~RDA_BaseImpl() override;

  // endTransaction(commit) for a commit whose failure the caller logs as an
  // ERROR (a load's end): a loss that the end answers is that record's.
  // Called with the lock held.
  bool endLoggedByCaller(bool commit);

  // --- back-end primitives; called with the lock held ---
  // Opens the connection described by `connection`.
  virtual bool open_INT(const KvbString& connection, KvbString& errorText) = 0;
  // Runs one statement without parameters; rows (when given) receives the
  // rows changed. On failure it records the reason with fail().
  virtual bool exec_INT(const KvbString& sql, int64_t* rows) = 0;
  // A prepared statement of the back end; null with the reason recorded.
  virtual RDA_StatementBase* prepare_INT(const KvbString& sql) = 0;
  // prepare_INT for a query that runs once and is dropped: a back end may
  // send its text with the run where preparing it first costs more.
  virtual RDA_StatementBase* prepareOnce_INT(const KvbString& sql) {
    return prepare_INT(sql);
  }
  // The outermost begin, commit and roll back. begin_INT takes the write
  // lock where the database has one to take at the begin, and sets *busy
  // when the database is locked by another connection.
  virtual bool begin_INT(bool* busy) = 0;
  virtual bool commit_INT() = 0;
  virtual bool rollback_INT() = 0;
  // Whether the calling thread's open transaction, when there is one,
  // holds only the engine's own work of one call (see beginOrUndo): no
  // host's level and no load's. For the lock's holder.
  bool onlyOwnWork() const {
    return depth_ == 0 || (!loadOnly_ && onlyOwnLevels());
  }
  // The savepoint statements of a nested level, whose savepoint is named
  // from the depth; run through exec_INT unless the back end has a cheaper
  // way.
  virtual bool savepointStatement_INT(const KvbString& sql) {
    return exec_INT(sql, nullptr);
  }
  // The schema of the repository under a prefix that names none, found
  // once at the open: the schema of `infoTable` (the prefix's INFO table,
  // unquoted) as the server resolves the name, else the one where the
  // server creates a table of that name; "" where the back end has no
  // schemas, or the server none to give. False with the reason recorded.
  virtual bool repositorySchema_INT(const KvbString& infoTable,
                                    KvbString& schema) {
    schema = "";
    return true;
  }
  // The columns of a physical table; an empty list when it does not exist.
  virtual bool tableColumns_INT(const KvbString& physicalName,
                                std::list<TableColumnInfo>& columns) = 0;
  // The names of the tables and views in the repository's schema (see
  // getSchemaName; the current one where it is "") that are LIKE `pattern`, whose
  // escape character is kLikeEscape (see likeStart), as the catalogue
  // gives them.
  virtual bool tableNamesLike_INT(const KvbString& pattern,
                                  std::vector<KvbString>& names) = 0;
  // The index columns of a physical table, primary keys excluded.
  virtual bool tableIndexes_INT(const KvbString& physicalName,
                                std::vector<RDA_IndexColumn>& indexes) = 0;
  // The column type of the dialect for a type, a text size and a key flag.
  virtual KvbString columnType_INT(int type, int size, bool key) = 0;
  // The quote that getTableName puts around names (empty for none).
  virtual KvbString nameQuote_INT() = 0;
  // Commands of the table-creation specification for a new table or index
  // (physicalName unquoted); none by default.
  virtual bool runTableCommands_INT(const KvbString& tableCode,
                                    const KvbString& physicalName,
                                    const KvbString& indexName) {
    return true;
  }
  // The end of a CREATE TABLE text after the column list; ")" plus the
  // dialect's key clause for TableColumnInfo keys.
  virtual KvbString createTableTail_INT(const std::vector<KvbString>& keys) {
    return ")";
  }
  // The open transaction was rolled back for an owner that is gone (a
  // thread that ended, a released object, the connection's close): what
  // the back end keeps for it goes with it. Called under the lock.
  virtual void transactionAbandoned_INT() {}
  // See failedStatementsUndoThemselves; false unless the back end knows.
  virtual bool failedStatementsUndoThemselves_INT() { return false; }
  // After a failure inside the open transaction: true when the database
  // has ended the transaction on its own. `savepointSet`: a savepoint of an
  // open level was set before the failure and can undo it, unless the
  // database ended the transaction savepoints and all.
  virtual bool transactionLost_INT(bool savepointSet) = 0;
  // True when the failure that transactionLost_INT has just found to end
  // the transaction was the loss of the database session: the failed call
  // answers the loss then, whatever its own reason said.
  virtual bool sessionLost_INT() { return false; }
  // Whether `text`, a failure inside a transaction that the loss of the
  // session ended, tells of that loss itself: each call that meets the
  // lost session says so, with a reason of its own.
  virtual bool tellsOfLostSession_INT(const KvbString&) { return false; }
  // The text of a transaction that transactionLost_INT found ended at a
  // failure for `reason`; by default that the database rolled it back.
  virtual KvbString lostText_INT(const KvbString& reason) {
    return "The transaction was rolled back by the database: " + reason;
  }
  // The clause that makes an INSERT of one row skip it, changing nothing,
  // when a row with its key exists already, instead of failing; empty where
  // the dialect has none to use, so that such an insert fails on the key.
  virtual const char* skipPresentKeyClause_INT() { return ""; }
  // True when the back end keeps table prefixes (the SQLite back end has
  // none).
  virtual bool usesTablePrefix_INT() { return true; }
  // The longest identifier the database keeps whole, as its server
  // reports it; 0 where names are never cut.
  virtual int identifierLimit_INT() { return 0; }
  // The query that takes a lock of the open transaction named by one bound
  // text, held until the transaction ends, and gives one row; null where
  // the begin takes a write lock that serializes writers already (see
  // serializeWrites).
  virtual const char* serializeWritesSql_INT() { return nullptr; }
  // See rowHoldClause.
  virtual const char* rowHoldClause_INT(RowHold) { return nullptr; }

  // A statement of the back end, or one that only runs into the DDL script
  // while a DDL callback is installed.
  RDA_StatementBase* prepareOrScript(const KvbString& sql);
  // Runs a DDL statement, or hands it to the DDL callback.
  bool runDDL(const KvbString& sql);
  // The escape character of the LIKE patterns of tableNamesLike_INT, and
  // the pattern of the names that begin with `start`, whose "%" and "_"
  // (and escape characters) match only themselves.
  static constexpr char kLikeEscape = '!';
  static KvbString likeStart(const KvbString& start);
  // Whether the table exists, in *exists; false, with the reason, when the
  // catalogue cannot be read.
  bool tableExists(const KvbString& physicalName, bool* exists);
  // A column as a catalogue names it: its kvbType and, for text, the length
  // its type declares ("VARCHAR(77)" gives 77), or getMaxTextLength() when
  // it declares none. Both back ends describe a table this way, so a dump
  // and load keep each text column's length.
  TableColumnInfo describedColumn(const KvbString& name,
                                  const KvbString& typeName);

  // The schema part of the prefix as it was given ("" for none).
  KvbString givenSchema() const;

  KvLogger* logger_;
  RepositoryStatusCallback* status_ = nullptr;
  KvbString tablePrefix_;  // "schema.prefix", "prefix" or ""

 private:
  struct DefinedTable;
  // One nested level of the open transaction.
  struct Level {
    bool savepoint;      // a savepoint was set, so the level can roll back
    size_t afterCommit;  // the work held for the commit when it began
    bool own = false;    // begun by beginOrUndo, for the engine's own work
  };
  // beginFor for a level that is the engine's own (`own`) or a host's.
  bool beginFor(const void* object, bool immediate, bool* busy, bool own);
  // beginFor once the lock is held: raises the depth where the level
  // stays for its end (and the hold with it).
  bool beginHeld(const void* object, bool immediate, bool* busy, bool own);
  // Whether every open level, the outermost included, is the engine's own.
  bool onlyOwnLevels() const;
  bool beginLevel();
  bool endLevel(bool commit);
  bool endOutermost(bool commit);
  bool endLost(bool commit);
  void markLostIfEnded();
  // Records `text` as the calling thread's failure in place of `reason`,
  // the failure just recorded; a loss of the transaction at that failure
  // is told with `text` too.
  void restateFailure(const KvbString& reason, const KvbString& text);
  bool refuseInLostTransaction();
  // usable() past its first look: the calling thread's load loss (see
  // wrote), answered once, else the lost transaction's refusal; true when
  // only another thread has a load loss to hear of.
  bool refuseUnusable();
  // A load's transaction that writes of other calls joined (see wrote) is
  // being rolled back for `reason`: the calling thread's next call is to
  // say so.
  void noteLoadLoss(const KvbString& reason);
  // Closes a load's transaction that loseToReleasedObject has just rolled
  // back (see transactionOfLoad), giving up its hold; fails with its loss.
  bool closeLostLoad();
  // Makes the open transaction lost with the refusal `text` (see the top of
  // this file); the database has none open any more.
  void loseTransaction(const KvbString& text);
  // Rolls back the transaction whose object was released on another
  // thread, with a log record, and makes it lost.
  void loseToReleasedObject();
  // Fails with the lost transaction's refusal. `hostsEnd`: the refusal
  // ends a level of the host's, so no ERROR of the engine's follows it; it
  // then warns of the loss, unless a record said it already.
  bool reportLost(bool hostsEnd);
  // Rolls back the open transaction for an owner that is gone, logging
  // `why`, and forgets its levels, giving up their holds when they are the
  // calling thread's.
  void abandonTransaction(const char* why, bool releaseHolds);
  // Clears what the connection knows of the open transaction (its levels,
  // held work, loss and owner) once the database has none.
  void forgetTransaction();
  void ownerGone(const char* why) override;
  void runAfterCommit();
  bool validPrefix(const KvbString& prefix) const;
  // The longest name that the engine may make under the prefix (see
  // rda_name_limit.cpp).
  KvbString longestMadeName();
  // Refuses at the open a prefix whose longest made name passes the
  // database's limit (see rda_name_limit.cpp).
  bool prefixFitsAtOpen(KvbString& errorText);
  KvbString tooLongText(const KvbString& name, int limit);
  // Finds the repository's schema for a prefix that names none (see
  // repositorySchema_INT), once, after the first open. False with the
  // reason in errorText.
  bool resolveSchema(KvbString& errorText);
  bool bindAndRun(const KvbString& sql, int n, va_list values,
                  const KvbString* types, int64_t* rows,
                  ReposDataAccessCursor** cursor);
  bool nextIDsInScript(const KvbString& key, int count, KvbDatavar& firstId);
  // The value of the id counter `key` on the database, in `value`, and
  // whether it has one (`stored`): none without the row or without the
  // counter table. False, with the reason, when it cannot be read.
  bool storedCounter(const KvbDatavar& key, int64_t& value, bool& stored);
  bool drawIDs(const KvbString& key, int count, int64_t& last);
  bool drawIDsAlone(const KvbString& key, int count, int64_t& last);
  // The texts of the id-counter statements, made at their first use.
  struct CounterSql {
    KvbString raise, create, read;
  };
  const CounterSql& counterSql();
  // `kept`, a statement of `sql` that the connection keeps for a statement
  // it repeats (the id counter's, the turn of serializeWrites), prepared at
  // its first use, with `values` bound; null on failure.
  RDA_StatementBase* keptStatement(
      RDA_StatementBase*& kept, const KvbString& sql,
      std::initializer_list<const KvbDatavar*> values);
  bool forEachTable(const TableCreateOptions& options, bool check);
  bool createDefinedTable(const DefinedTable& table,
                          const KvbString& indexPrefix);
  RDA_TableDdl definedTableDdl(const DefinedTable& table,
                               const KvbString& indexPrefix);
  bool runTableDdl(const char* tableCode, const RDA_TableDdl& ddl);
  // What the statements of the built-in tables depend on besides the
  // column types: the connection's class, names and longest text.
  std::string ddlLayout(const KvbString& indexPrefix);
  // The back end's name of a column type (see columnTypes_).
  const KvbString& columnType(int type, int size, bool key);
  bool checkDefinedTable(const DefinedTable& table,
                         const KvbString& indexPrefix);
  struct DefinedIndex;
  bool createIndexNamed(const KvbString& tableCode, const KvbString& physical,
                        const KvbString& bare, const KvbString& indexName,
                        const KvbString& columns, bool unique = false);
  std::vector<DefinedIndex> definedIndexes(const DefinedTable& table,
                                           const KvbString& indexPrefix);
  bool createGroupIndexes(const char* code, int id, int groupCount);
  // A column's declaration: its name, the back end's type and NOT NULL when
  // asked; the second form appends it to `out`.
  KvbString columnDeclaration(const KvbString& name, int type, int size,
                              bool notNull, bool key);
  void appendColumnDeclaration(std::string& out, const char* name, int type,
                               int size, bool notNull, bool key);

  RDA_Lock lock_;
  std::atomic<int> holds_{1};
  int step_ = 0;   // the last step reported of steps_
  int steps_ = 0;  // 0: steps are not counted
  const KvbString noFailure_;  // the text of a thread without a failure
  // The repository's UUID as last read, under uuidMutex_: an event reads
  // it when the connection's lock could not be taken for a read of its own.
  KvbString lastUuid_;
  std::mutex uuidMutex_;
  int depth_ = 0;
  uint64_t number_ = 0;  // of the latest outermost begin
  bool transactionOpen_ = false;  // the outermost begin reached the database
  bool ownOutermost_ = false;  // the outermost level is the engine's own
  bool loadOnly_ = false;  // the open transaction is a load's, no host's
  bool joinedLoad_ = false;  // another call's write joined the load's
  int loadSteps_ = 0;        // LoadSteps alive (see wrote)
  // The loads' transactions rolled back with writes that had joined them,
  // by thread (rdaCurrentThread), each the text that the thread's next
  // call answers.
  std::map<uint64_t, KvbString> loadLosses_;
  bool rollbackOnly_ = false;     // the outermost end must roll back
  KvbString lost_;  // the refusal when the database ended the transaction
  bool lostReported_ = false;     // a call has answered with lost_
  bool lossLogged_ = false;       // a record has said lost_
  bool checkingLost_ = false;     // markLostIfEnded is asking the database
  std::vector<Level> levels_;     // the nested levels, innermost last
  std::vector<std::function<void()>> afterCommit_;
  ReposDDLCallback* ddlCallback_ = nullptr;
  // A DDL callback is installed; read without the lock by getSchemaName.
  std::atomic<bool> scripting_{false};
  // The schema found at the open for a prefix that names none ("" when
  // the prefix names one, or there is none to find). Set once by init, it
  // belongs to the connection object, not to its session: a session that
  // the object opens anew names the same tables.
  KvbString foundSchema_{""};
  std::map<KvbString, int64_t> scriptCounters_;  // id counters of a script
  CounterSql counterSql_;
  // The declared text lengths by table code and column name (see
  // declareTextLength).
  std::map<std::pair<std::string, std::string>, int> declaredLengths_;
  // The codes of the table sets' tables (see declareTableCode).
  std::set<std::string> setCodes_;
  // Column types by kvbType, size and key flag, as columnType_INT names
  // them (see columnDeclaration).
  std::map<std::tuple<int, int, bool>, KvbString> columnTypes_;
  // The counter's raise and read, which every add repeats.
  RDA_StatementBase* raiseCounter_ = nullptr;
  RDA_StatementBase* readCounter_ = nullptr;
  // The statement of serializeWritesSql_INT.
  RDA_StatementBase* writeTurn_ = nullptr;
};

// The lock of a connection (every connection of the engine is an
// RDA_BaseImpl), for work that must hold it across several of the
// connection's calls; null for a null connection.
inline RDA_Lock* connectionLock(ReposDataAccess* rda) {
  return rda ? static_cast<RDA_BaseImpl*>(rda)->lock() : nullptr;
}

#endif  // RDA_RDA_IMPL_H_
