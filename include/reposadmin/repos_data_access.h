// ReposDataAccess: one database connection of a repository, with its
// prepared statements and cursors, and the records its table operations
// take. Every operation takes the connection's lock for its duration; no
// operation throws. Failures answer false, null or -1 and leave their
// reason in getErrorMessage() of the object that failed. The reason is kept
// per thread: a thread reads its own last failure on the connection, never
// another thread's, and reading it never waits.
#ifndef REPOSADMIN_REPOS_DATA_ACCESS_H_
#define REPOSADMIN_REPOS_DATA_ACCESS_H_

#include <cstdarg>
#include <list>
#include <vector>

#include "kvbase/kvbase.h"

struct ReposColumnDef;
class DacConnection;

// One column of a table, as getTableColumns gives it and createTable and
// bulkLoadInit take it.
struct TableColumnInfo {
  KvbString name;          // at most 255 characters
  int type = kvbTypeString;  // 2 integer, 3 real, 4 text
  int size = 0;            // text length; 0 for numbers
  bool isKey = false;      // member of the table's key
};

// One value bound to one "?" marker of a dynamic statement.
struct QueryParam {
  KvbDatavar value;
  int size = 0;
  int type = kvbTypeUnknown;
};
typedef std::vector<QueryParam> QueryParamList;

// What createTables and checkTables work on. The default selects the
// built-in core tables and neither drops nor creates them.
struct TableCreateOptions {
  bool useNcoaTables = false;  // the built-in NCOA tables instead of the core
  bool dropTables = false;     // drop each table first
  bool createTables = false;   // create each table and its indexes
  // A definition array ended by two end records, used instead of the
  // built-in tables; an end record's description describes its table.
  const ReposColumnDef* columns = nullptr;
  // Set by the creation of table-set tables; no behaviour depends on it.
  bool extraSwitch1 = false;
  // Put into the names of the tables' indexes: getIndexName(n, indexPrefix).
  KvbString indexPrefix;
  // Set by the creation of table-set tables; no behaviour depends on it.
  bool extraSwitch2 = false;
};

// Receives the text of each statement that changes the database, instead of
// the database, while it is installed on a connection. Values that the
// statement would bind are written into its text as literals.
class ReposDDLCallback {
 public:
  // False when the text could not be written; the operation then fails.
  virtual bool writeStatement(const KvbString& statement) = 0;

 protected:
  virtual ~ReposDDLCallback() = default;
};

// The rows of a query. Columns are numbered from 0 in the order of the
// select list. Owned by the caller; ended by release(). A cursor that reads
// the database (paramSelect, a statement's select) keeps its connection
// open until then, also after the connection's release(); an in-memory one
// (listIndexes, the listings of the data-access objects) holds nothing.
class ReposDataAccessCursor {
 public:
  // 1 when a row was fetched, 0 at the end, 2 on an error.
  virtual int next() = 0;
  virtual int getNumCols() = 0;
  // The column's name; upper case for the repository's own tables on every
  // database. Null for a column out of range.
  virtual KvbString getColName(int column) = 0;
  // The current row's value as text; "" for a null or a bad column.
  virtual KvbString getString(int column) = 0;
  // As an integer or a double; 0 for a null, a bad column or a text that is
  // not a number.
  virtual int getInt(int column) = 0;
  virtual double getDouble(int column) = 0;
  // The value as stored; a null of unknown type for a bad column.
  virtual KvbDatavar getValue(int column) = 0;
  virtual bool isNull(int column) = 0;
  // Reads every remaining row into memory before the first next(), so that
  // other statements can run on the connection while the rows are read.
  // False on a database error.
  virtual bool cacheAll() = 0;
  virtual void release() = 0;
  // The first column whose name equals `name` without regard to case; -1
  // when there is none.
  virtual int getColumnIndex(const KvbString& name) = 0;

 protected:
  virtual ~ReposDataAccessCursor() = default;
};

// A prepared statement with "?" markers, numbered from 0. It may run any
// number of times; bound values stay until they are bound again. Like a
// database cursor, it keeps its connection open until its release().
class ReposDataAccessStatement {
 public:
  // Declares the type (2 integer, 3 real, 4 text) and size of a marker.
  virtual void setParameterInfo(int index, int type, int size) = 0;
  // Binds a value (a null included) to a marker. On PostgreSQL, whose texts
  // cannot hold a NUL byte, a text that holds one is refused here, with a
  // text that says so and names the marker, rather than stored cut short.
  virtual bool setParameter(int index, const KvbDatavar& value) = 0;
  virtual bool execute() = 0;
  // Runs the statement as a query. The cursor may outlive the statement.
  virtual ReposDataAccessCursor* select() = 0;
  // The text of the calling thread's last failure on the statement's
  // connection.
  virtual KvbString getErrorMessage() = 0;
  virtual void release() = 0;

 protected:
  virtual ~ReposDataAccessStatement() = default;
};

class ReposDataAccess {
 public:
  // Gives up the caller's hold; the last hold (statements and database
  // cursors hold the connection too) closes the connection and deletes the
  // object.
  virtual void release() = 0;
  // The text of the calling thread's last failure on the connection;
  // getLastError is the same.
  virtual KvbString getErrorMessage() = 0;
  virtual KvbString getLastError() = 0;

  // Names. The physical name of a table is the table prefix, the code and,
  // when number is 0 or more, the number; quoted when `quote` is set. On a
  // server it is led by the repository's schema (see repository_admin.h):
  // the one the prefix names, else the one found when the connection
  // opened, which getSchemaName gives too; while a DDL callback is
  // installed, a prefix that names no schema leaves it out, so that a
  // script runs by hand on any database. getTablePrefix gives the prefix
  // as it was given.
  virtual KvbString getTableName(const char* tableCode, bool quote,
                                 int number) = 0;
  virtual bool getTablePrefix(bool withoutSchema, KvbString* prefix,
                              KvbString* errorText) = 0;
  virtual KvbString getSchemaName() = 0;
  virtual KvbString getIdentifierQuote() = 0;
  virtual KvbString getIndexName(int number, const KvbString& base) = 0;
  // The built-in columns of a table code in definition order, joined by
  // ", ", each led by "alias." when an alias is given; "*" (or "alias.*")
  // for a code without built-in definition.
  virtual KvbString getColumnList(const KvbString& tableCode,
                                  const char* alias) = 0;

  // Transactions nest: only the outermost begin and end reach the
  // database, and on a SQLite database every outermost begin takes the
  // write lock, waiting for another connection's for up to the busy timeout
  // (configuration option "SQLITE/BUSY_TIMEOUT", milliseconds, 5000 by
  // default; 0 fails at once) before it fails with "database is locked";
  // waiting writers try again every fraction of a millisecond, so that
  // each gets its turn. On PostgreSQL a statement waits as long for a lock
  // that another session holds (the session's lock_timeout; as the
  // server's 0 means no bound, 0 waits 1 ms there), then fails with the
  // server's reason, "canceling statement due to lock timeout". A
  // connection keeps the timeout that was set when it was opened; opens
  // that share a pooled connection share its latest. An inner begin sets
  // a savepoint: an inner end without commit undoes exactly the work since
  // the matching begin, and the outer transaction goes on. Only when the
  // savepoint itself cannot be set or rolled back to does the whole
  // transaction roll back, its outermost end answering false.
  //
  // The thread that begins a transaction holds the connection's lock until
  // the matching end: other threads' operations wait, for up to the busy
  // timeout, then answer false saying that another thread holds a
  // transaction; an end on another thread is refused at once. A
  // transaction ends with its thread and with the data-access object that
  // began it (rolled back, with a WARNING record): after its thread ends
  // (after the last code it runs, a host's thread_local destructors
  // included), by the next thread that needs the connection, or by the
  // connection's last release; when the object is
  // released on the same thread, at once. When the object is released on
  // another thread, or the database ends the transaction on its own (a full
  // disk, a server's aborted transaction, a driver that rolls the whole
  // transaction back at a failed statement, fetch or bind), the transaction
  // is lost: every
  // later call of its thread on the connection and each end answer false
  // with the reason ("The transaction was rolled back: the data-access
  // object that began it was released", "The transaction was rolled back
  // by the database: <reason>") until the outermost end, and nothing is
  // stored meanwhile; an outermost end without commit right after the
  // failed call answers false with that call's reason. Releases never wait
  // for another thread.
  //
  // On PostgreSQL every transaction, the engine's and the host's, runs at
  // read committed whatever default isolation the database, its role or
  // the connection string sets (read once, when the connection opens): a
  // stricter default makes each transaction begin by setting read
  // committed, and a statement outside a transaction that the server could
  // not serialize (SQLSTATE 40001) is run again. A transaction that meets
  // a serialization failure all the same is rolled back whole and lost as
  // above, with "The transaction was rolled back whole: the server could
  // not serialize it with another connection's transaction, which changed
  // what it read or wrote: [40001] <the server's message>".
  //
  // Changes that data-access objects announce inside a transaction are
  // posted after the outermost commit, and dropped by a rollback; a
  // profile job added or updated inside one is not announced at all.
  // Pair every begin with one end on the same thread, also a begin that
  // answered false: a begin that fails at the database leaves its level
  // open for endTransaction(false), while one that takes no level (an
  // immediate begin given `busy` that finds the database locked by another
  // connection and sets *busy, or a begin that finds another thread's
  // transaction holding the lock past the busy timeout) makes that end
  // answer false and change nothing. inTransaction() tells which.
  virtual bool beginTransaction(bool immediate, bool* busy) = 0;
  virtual bool endTransaction(bool commit) = 0;
  virtual bool inTransaction() = 0;

  // Id counters (table UCURID): reserves `count` ids (at least one) of the
  // counter `key` and gives the first; a missing counter starts at 0.
  virtual bool getNextIDs(const KvbString& key, int count,
                          KvbDatavar& firstId, KvbString* errorText) = 0;
  virtual bool getNextID(const KvbString& key, KvbDatavar& id) = 0;

  // SQL with "?" markers; the n values that follow are `KvbDatavar*`, bound
  // in order.
  virtual ReposDataAccessCursor* paramSelect(const KvbString& sql, int n,
                                             ...) = 0;
  virtual ReposDataAccessCursor* paramSelectV(const KvbString& sql, int n,
                                              va_list values) = 0;
  virtual bool paramExec(const KvbString& sql, int* rowsAffected, int n,
                         ...) = 0;
  // As paramExec; `types` has one letter per marker ("I" integer, "S"
  // text, "R" real) that declares the marker's type.
  virtual bool paramExecWTypes(const KvbString& sql, int* rowsAffected,
                               const KvbString& types, int n, ...) = 0;
  // Column 0 of the first row as an integer into *result; false when there
  // is no row (result untouched).
  virtual bool paramSingleton(const KvbString& sql, int* result, int n,
                              ...) = 0;
  virtual ReposDataAccessStatement* createStatement(const KvbString& sql) = 0;

  // Tables of the built-in definitions or of a definition array.
  virtual bool createTables(TableCreateOptions options) = 0;
  // Adds every missing table, column and index.
  virtual bool checkTables(TableCreateOptions options) = 0;
  // Appends the columns of the table (a code, or a code and a number,
  // without prefix) and answers the list's size; nothing is appended for a
  // table that does not exist. -1, with nothing appended and the reason as
  // the error text, when the catalogue cannot be read (or the name is no
  // table name).
  virtual int getTableColumns(const KvbString& table,
                              std::list<TableColumnInfo>& columns) = 0;
  // Creates the table (name without prefix) with the columns in order.
  virtual bool createTable(const KvbString& table,
                           const std::list<TableColumnInfo>& columns) = 0;
  // "DROP TABLE" of a physical table name.
  virtual bool dropTable(const KvbString& physicalName) = 0;
  virtual bool dropTableIndexes(const KvbString& physicalName) = 0;
  // An in-memory cursor with the columns "name" and "field".
  virtual ReposDataAccessCursor* listIndexes(const KvbString& physicalName) = 0;
  // A one-column index on a table (name without prefix); a null index name
  // gives "<prefix><table>_<column>_idx" (the prefix without schema). An
  // index on a column that the table lacks
  // is refused before any statement runs, with the text "The index "<name>"
  // was not made: table <table> has no column <column>".
  virtual bool createIndex(const KvbString& table, const KvbString& column,
                           const KvbString& indexName) = 0;
  // Indexes of the per-id tables HSM<id>, HCM<id> and FRQDST<id>, made one
  // after the other through createIndex; false at the first that fails.
  virtual bool createHSMTable(int id, int groupCount) = 0;
  virtual bool createHCMTable(int id, int groupCount) = 0;
  virtual bool createFrequencyTable(int fieldId) = 0;
  virtual bool createHSMIndexes(const KvbString& physicalName, int id) = 0;
  virtual bool createHCMIndexes(const KvbString& physicalName, int id) = 0;
  virtual bool createFrequencyIndexes(const KvbString& physicalName,
                                      int fieldId) = 0;

  // While a callback is installed, statements that change the database go
  // to it instead, and transactions are not counted. Null removes it.
  // Queries still run on the database: the reads that decide what a write
  // writes (the id counters, a check that a name is free or that a row
  // exists, the rows an update or delete would change) read it as it is,
  // so that a write answers as without the callback and hands the callback
  // what it would have written.
  virtual bool setDDLCallback(ReposDDLCallback* callback) = 0;

  // The longest text a column holds inline.
  virtual int getMaxTextLength() = 0;
  // Long texts (table BIGSTR). writeLongText stores a text longer than the
  // inline maximum in pieces and answers true with the marker to store in
  // its place; false when the text fits. readLongText resolves a marker to
  // the whole text; other texts come back unchanged. The int is unused.
  virtual bool readLongText(const KvbString& text, KvbString* full, int) = 0;
  virtual bool writeLongText(const KvbString& text, KvbString* marker,
                             int) = 0;

  // I_UUID of the INFO row "KVREPOSITORY"; empty when there is none, or
  // no I_UUID column in an older repository's INFO table (no failure), and
  // when it cannot be read, with the reason in getErrorMessage().
  virtual KvbString getRepositoryUUID() = 0;
  virtual bool isDBMSSupported() = 0;
  virtual bool requiresNestedJoins() = 0;
  virtual bool needsNextIdResync() = 0;
  // The data-access-library connection; null for the SQLite back end.
  virtual DacConnection* getDacConnection() = 0;

  // Bulk loading into one table, one loader per connection, flushed every
  // batchSize rows. A batch that the server refuses for a text longer than
  // the `size` its column gives answers "The value of column <name> of
  // table <physicalName> in the row with <key columns and values> is <n>
  // characters long; the column holds at most <size>" for the first such
  // value.
  virtual bool isBulkLoadSupported() = 0;
  virtual bool bulkLoadInit(int batchSize, const KvbString& physicalName,
                            const std::list<TableColumnInfo>* columns) = 0;
  // n `KvbDatavar*` values in the loader's column order.
  virtual bool bulkLoadAddRow(int n, ...) = 0;
  virtual bool bulkLoadEnd(bool flush) = 0;

 protected:
  virtual ~ReposDataAccess() = default;
};

#endif  // REPOSADMIN_REPOS_DATA_ACCESS_H_
