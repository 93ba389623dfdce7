// kvsqlstore: a small wrapper over libsqlite3 for reading and writing one
// SQLite database file: databases, prepared statements and results.
//
// Conventions for every object below:
// - Statement parameters and result columns are numbered from 0.
// - Calls report failure by their result (false, null or 2) and keep the
//   text of the last failure for getErrorMessage(); they never throw. The
//   text is SQLite's message, except for a failure of the file itself,
//   which names the file and the cause: "cannot access the database file
//   '<path>': database is locked by another connection; gave up waiting
//   for it after 5000 ms (SQLITE/BUSY_TIMEOUT)", "cannot write the
//   database file '<path>': attempt to write a readonly database
//   (Permission denied)" (or "(its folder: Permission denied)" when the
//   folder cannot take the journal), and so on for a file that cannot be
//   opened, read or written, with the system's reason. isBusy() tells
//   whether that last failure was SQLITE_BUSY (the file is locked by
//   another connection), so that a caller can tell a busy "BEGIN
//   IMMEDIATE" apart from other errors.
// - Objects are ended through their own close() or release(), which also
//   deletes them. A statement or result may outlive the database object that
//   gave it: the file stays open until the last of them is ended.
// - A database, with its statements and results, is used by one thread at a
//   time: they share its cache of compiled statements, and SQLite takes no
//   lock of its own on the connection.
#ifndef KVSQLSTORE_KVSQLSTORE_H_
#define KVSQLSTORE_KVSQLSTORE_H_

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "kvbase/kvbase.h"

// Column value types reported by SqliteResult::getColumnType. They are
// SQLite's own storage classes; a blob reports kSqliteText and reads as its
// bytes.
enum SqliteColumnType {
  kSqliteInteger = 1,
  kSqliteReal = 2,
  kSqliteText = 3,
  kSqliteNull = 5,
};

// A value of a result's current row as getValue would give it, without a
// copy: `type` is its kvbType (kvbTypeUnknown for a null), with the number
// in `integer` or `real`, or the text's bytes at `text` (valid until the
// result moves or ends).
struct SqliteValue {
  int type = 0;
  int64_t integer = 0;
  double real = 0;
  const char* text = nullptr;
  size_t length = 0;
};

// Gives `target` the kind and content of `value`, as getValue does.
void sqliteValueToDatavar(const SqliteValue& value, KvbDatavar& target);

// The rows of one query, read forwards.
class SqliteResult {
 public:
  // Steps to the next row: 1 when a row is there, 0 at the end, 2 on an
  // error (the text is in getErrorMessage). After the end it keeps giving 0.
  virtual int next() = 0;

  virtual int getColumnCount() const = 0;
  // The column's name as the query gives it; null for a bad index.
  virtual KvbString getColumnName(int column) const = 0;
  // The column's type as declared in its table ("INTEGER", "VARCHAR(20)");
  // null for an expression or a bad index.
  virtual KvbString getColumnDeclaredType(int column) const = 0;

  // The getters below read the current row. Without a current row, or with
  // a bad index, the value counts as null: getColumnType gives kSqliteNull,
  // isNull true and the other getters null, 0 or 0.0.
  //
  // The storage class of the value: kSqliteInteger, kSqliteReal, kSqliteText
  // or kSqliteNull.
  virtual int getColumnType(int column) const = 0;
  virtual bool isNull(int column) const = 0;
  // The value as text; the null string for a null value. Numbers are given
  // in SQLite's text form.
  virtual KvbString getText(int column) const = 0;
  // The value as a number with SQLite's conversions; getInt keeps the low 32
  // bits of a larger integer.
  // The value in its stored kind: an integer as kvbTypeInt (kvbTypeInt64
  // when it does not fit 32 bits), a real as kvbTypeReal, a text as
  // kvbTypeString, a null as a null of kvbTypeUnknown. False, with a null
  // value, without a current row or for a bad index.
  virtual bool getValue(int column, KvbDatavar& value) const = 0;
  // getValue without the copy into a KvbDatavar.
  virtual bool peekValue(int column, SqliteValue& value) const = 0;
  // peekValue of columns 0 to count - 1 into values[0..count - 1] in one
  // call; false, with every value null, without a current row or when the
  // result has fewer columns.
  virtual bool peekRow(SqliteValue* values, size_t count) const = 0;
  // next(), then peekRow(values, count) when it reached a row: a reader's
  // step and values in one call. Answers as next() does.
  virtual int nextRow(SqliteValue* values, size_t count) = 0;
  // True when nothing but this result can restart its query any more: the
  // statement that opened it has ended, and the database's cache gives the
  // compiled statement to no one while the result uses it. The texts that
  // peekRow and nextRow give then stay valid until the result itself moves
  // or ends, whatever else runs on the database. Once true, it stays true.
  virtual bool isSoleUser() const = 0;
  virtual int getInt(int column) const = 0;
  virtual int64_t getInt64(int column) const = 0;
  virtual double getReal(int column) const = 0;

  virtual KvbString getErrorMessage() const = 0;
  virtual bool isBusy() const = 0;
  // Ends the result and deletes it.
  virtual void close() = 0;

 protected:
  virtual ~SqliteResult() = default;
};

// A prepared statement. Bound values stay until they are bound again; the
// statement can be run any number of times. Binding, execute() and
// openResult() restart the statement, which ends the rows of a result
// opened before: that result's next() then gives 2.
class SqliteStatement {
 public:
  // Each binds the value of parameter `index` (from 0); false for a bad
  // index. setText binds `length` bytes of UTF-8 text; a null `text` binds
  // a null value.
  virtual bool setNull(int index) = 0;
  virtual bool setInt(int index, int value) = 0;
  virtual bool setInt64(int index, int64_t value) = 0;
  virtual bool setReal(int index, double value) = 0;
  virtual bool setText(int index, const char* text, size_t length) = 0;

  // Runs the statement to its end (rows of a query are skipped). When
  // rowsChanged is given it receives the number of rows that the run
  // inserted, updated or deleted (triggers included).
  virtual bool execute(int64_t* rowsChanged = nullptr) = 0;
  // Restarts the statement for its rows, which the result's next() then
  // fetches (run failures show there). The result belongs to the caller and
  // may outlive the statement; never null.
  virtual SqliteResult* openResult() = 0;

  virtual KvbString getErrorMessage() const = 0;
  virtual bool isBusy() const = 0;
  // Ends the statement and deletes it.
  virtual void release() = 0;

 protected:
  virtual ~SqliteStatement() = default;
};

// One open database file. A new database waits for a lock that another
// connection holds before a call fails as busy ("database is locked"): for
// sqliteBusyTimeoutMs() milliseconds, as SqliteBusyWait waits.
class SqliteDatabase {
 public:
  // Runs one or more statements separated by ";" without reading rows. When
  // rowsChanged is given it receives the number of rows that they inserted,
  // updated or deleted (triggers included). Statements before a failing one
  // stay done.
  virtual bool exec(const KvbString& sql, int64_t* rowsChanged = nullptr) = 0;
  // Runs a query and gives column 0 of its first row as a real. False when
  // the query fails, gives no row, or the value is null.
  virtual bool querySingleReal(const KvbString& sql, double* value) = 0;
  // Prepares one statement; null on failure, also when the text holds no
  // statement or more than one. The statement belongs to the caller.
  // Compiled statements are kept by their text: once no statement or result
  // uses one, the next prepare of the same text gets it again, reset and
  // with no values bound, without compiling it anew. A text prepared while
  // its kept statement is in use is compiled on its own.
  virtual SqliteStatement* prepare(const KvbString& sql) = 0;
  // Prepares and runs one query; null on failure. The result belongs to the
  // caller.
  virtual SqliteResult* openResult(const KvbString& sql) = 0;

  virtual KvbString getErrorMessage() const = 0;
  virtual bool isBusy() const = 0;
  // True while a transaction is open: SQLite may roll one back on its own
  // (on a full disk, for one) and return to autocommit.
  virtual bool inTransaction() const = 0;
  // The rowid of the last row inserted through this database.
  virtual int64_t getLastInsertRowId() const = 0;
  // The rows changed by the last INSERT, UPDATE or DELETE that ran here.
  virtual int64_t getChanges() const = 0;
  // How long a call waits (as SqliteBusyWait waits) for a lock held
  // elsewhere before it fails as busy; 0 fails at once.
  virtual void setBusyTimeout(int milliseconds) = 0;
  // Closes the database and deletes the object; open statements and results
  // keep the file open until they are ended.
  virtual void close() = 0;

 protected:
  virtual ~SqliteDatabase() = default;
};

// The milliseconds that a connection waits for a lock that another
// connection holds before a call fails as busy ("database is locked"): the
// configuration option "SQLITE/BUSY_TIMEOUT", or 5000 when the option is
// missing or not a number of at least 0 (a warning says so, once per
// value: KvbConfigOptions::getCount). 0 means no wait: a call that meets
// a lock fails at once. Read at each call, so that a connection opened
// after the option changed gets the new value. The threads of one process
// that share a connection wait for each other as long.
int sqliteBusyTimeoutMs();

// The wait of one caller for a lock held elsewhere, until `timeoutMs` have
// passed since the wait was made. Between tries it sleeps a short while
// with jitter, a tenth of a millisecond at first and growing to about one
// millisecond, so that a waiting writer tries again soon after each release
// of the lock and gets its turn among writers that keep taking it. (SQLite's
// own wait sleeps up to 100 ms between tries, and a writer can meet the
// lock taken at every try until its time is up.) Not thread-safe; one wait
// per caller.
class SqliteBusyWait {
 public:
  explicit SqliteBusyWait(int timeoutMs);
  // Sleeps before the next try and answers true; answers false without
  // sleeping once the time is up. A sleep ends by the deadline at the
  // latest.
  bool pause();

 private:
  std::chrono::steady_clock::time_point deadline_;
  int tries_ = 0;
};

// A test seam, of no use to a host: while set, the hook is called at each
// pause of a SqliteBusyWait that sleeps, with the number of pauses that
// wait made before (0 at its first), so that a test can see a caller wait
// for a lock and count its waits. Null removes it; unset, a pause costs one
// more load.
using SqliteBusyWaitHook = void (*)(int pause);
void sqliteSetBusyWaitHook(SqliteBusyWaitHook hook);

// The flags that createSqliteDatabase (`mayCreate`) and openSqliteDatabase
// give sqlite3_open_v2: read-write, creating the file with `mayCreate`, and
// SQLITE_OPEN_NOMUTEX (a database is used by one thread at a time, so
// SQLite takes no mutex of its own at each call). Exported so that code
// opening a bare sqlite3 connection beside the engine's (the benchmarks'
// baselines) opens it as the engine opens its own.
int sqliteOpenFlags(bool mayCreate);

// Opens the database file at `path`, creating it when it does not exist.
// Null on failure, with the reason in getSqliteErrorMessage(): "cannot
// open the database file '<path>': unable to open database file (its
// folder: No such file or directory)", with the system's reason for a
// file that cannot be opened or created.
SqliteDatabase* createSqliteDatabase(const KvbString& path);
// Opens an existing database file. Null when the file is missing or is not
// a SQLite database, with the reason in getSqliteErrorMessage().
SqliteDatabase* openSqliteDatabase(const KvbString& path);
// The text of the last failure of createSqliteDatabase or openSqliteDatabase
// on the calling thread.
KvbString getSqliteErrorMessage();

// Why the system does not let the SQLite file at `path` be opened for
// reading and writing: the reason for the file itself ("Permission
// denied"), else for its folder, which must take a new file or a write's
// journal ("its folder: No such file or directory"), else for a file that
// is missing; empty when nothing stands in the way.
KvbString sqliteFileRefusal(const KvbString& path);

// The column that marker `index` (from 0) of `sql` stands for: the column
// at its place in "INSERT INTO T (A, B) VALUES (?, ?)", or the name before
// the comparison in "SET A = ?" or "WHERE T.A=?"; "parameter <index + 1>"
// when the statement names none.
KvbString sqlMarkerColumn(const char* sql, int index);
// The refusal of a NaN bound to marker `index` of `sql`, which names the
// column: SQLite stores NULL in place of a NaN.
KvbString sqliteNanRefusal(const char* sql, int index);

#endif  // KVSQLSTORE_KVSQLSTORE_H_
