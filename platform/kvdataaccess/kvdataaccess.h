// kvdataaccess: database connections by connection string, with prepared
// statements, cursors, transactions, the database's kind and limits, and the
// mapping of value types to column types.
//
// A connection string is a list of KEY=VALUE attributes separated by ";".
// Keys ignore case; a value may be enclosed in braces ("{a;b}", with "}}"
// for a "}" inside), which lets it hold ";". "KVXTYPE=SQLITE" opens a SQLite
// file directly: "FILE=<path>" names it and "CREATE=TRUE" creates it when it
// is missing. Every other connection string goes to the ODBC driver manager
// without its KVXTYPE attribute.
//
// Conventions for every object below:
// - Statement parameters and cursor columns are numbered from 0.
// - Calls report failure by their result (false, null or 2) and keep the
//   text of the last failure for getErrorMessage(); they never throw. Texts
//   of ODBC failures say what was being done, then the driver's records as
//   "[SQLSTATE] message", each on one line, several joined by "; ":
//   "Connecting to <the connection string without its password>: ...",
//   "Preparing \"<SQL>\": ...", "Running \"<SQL>\": ..." (the SQL cut
//   after 200 bytes), "Committing the transaction: ...".
// - Objects are ended through their release(), which also deletes them. A
//   cursor stays readable after its statement is released, and statements
//   and cursors may outlive their connection: the database connection
//   closes when the last of them is ended.
// - One connection, with its statements and cursors, is used by one thread
//   at a time. Connections may be created on several threads at once.
// - Texts are UTF-8.
#ifndef KVDATAACCESS_KVDATAACCESS_H_
#define KVDATAACCESS_KVDATAACCESS_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kvbase/kvbase.h"
#include "kvsqlstore/kvsqlstore.h"

// The kind of database behind a connection.
enum DacDbKind {
  DAC_DB_UNKNOWN = 0,
  DAC_DB_SQLITE = 1,  // a SQLite file, directly or through ODBC
  DAC_DB_POSTGRESQL = 2,
  // A dialect that declares keyed text columns "VARCHAR(%d) CASESPECIFIC"
  // and ends CREATE TABLE with " PRIMARY INDEX (%s)". No connection reaches
  // it here; its type names and limits exist for generating its SQL.
  DAC_DB_PRIMARY_INDEX = 14,
};

// A value of a cursor's current row where the cursor holds it (see
// DacCursor::peekRow), described as a SQLite result's value is: `type` is
// the kind that getValue gives (kvbTypeInt, kvbTypeInt64, kvbTypeReal or
// kvbTypeString), or kvbTypeUnknown for a null; `integer`, `real` or `text`
// with `length` (not terminated) hold the value of that kind. One
// description serves both, so that a repository cursor reads either back
// end's rows in place alike.
using DacValue = SqliteValue;

// The rows of one query, read forwards.
class DacCursor {
 public:
  // Fetches the next row: 1 when a row is there, 0 at the end, 2 on an
  // error. After the end it keeps giving 0.
  virtual int next() = 0;

  virtual int getNumCols() const = 0;
  // The column's name as the database reports it (PostgreSQL folds
  // unquoted names to lower case); null for a bad index.
  virtual KvbString getColName(int column) const = 0;
  // The column's value type: kvbTypeInt, kvbTypeInt64, kvbTypeReal or
  // kvbTypeString (any other column reads as text); kvbTypeUnknown for a
  // bad index.
  virtual int getColType(int column) const = 0;

  // The value of the current row's column. Integers come as kvbTypeInt, or
  // kvbTypeInt64 in a 64-bit column or when they do not fit 32 bits; reals
  // as kvbTypeReal; anything else as text, whole at any length. A null
  // value is a null of the column's type. False, with an error text, when
  // there is no current row or the index is bad.
  virtual bool getValue(int column, KvbDatavar& value) = 0;
  // True for a null value, and when there is no such value.
  virtual bool isNull(int column) const = 0;

  virtual KvbString getErrorMessage() const = 0;
  virtual void release() = 0;

  // The current row's values without a copy: values[c] for columns 0 to
  // count - 1, with the kinds and contents that getValue gives, texts valid
  // until the next call of next() or release(). Only cursors that hold
  // their rows in buffers of their own answer it; false, leaving `values`
  // unspecified, without a current row, when `count` is not the column
  // count, or when the cursor does not offer it (getValue serves then).
  virtual bool peekRow(DacValue* values, size_t count) const {
    (void)values;
    (void)count;
    return false;
  }

 protected:
  virtual ~DacCursor() = default;
};

// A prepared statement. Bound values stay until they are bound again; the
// statement can run any number of times. Running it again ends the rows of
// a cursor it gave before: that cursor's next() then gives 2.
class DacStatement {
 public:
  // Binds `value` to parameter `index` (from 0). The value binds as its own
  // kind: integer, 64-bit integer, real, date (as its real), text, or a null
  // of its type. `type` is the column's declared kvbType (0 when unknown)
  // and `size` its text size: a value of another kind is converted to the
  // declared type (a text "12" for an integer column, a number for a text
  // column) and a null binds as a null of that type. False, with an error
  // text, when the value cannot be converted or the index is bad, and on
  // PostgreSQL, whose texts cannot hold a NUL byte, for a text that holds
  // one: "Binding \"<SQL>\": the text of parameter <n> holds a NUL byte,
  // which PostgreSQL cannot store", <n> counting from 1 (see
  // dacNulByteRefusal). SQLite stores every byte, but NULL for a NaN: on
  // SQLite, natively or through its ODBC driver, a NaN is refused with
  // "NaN cannot be stored in <column>: SQLite keeps no NaN (it would store
  // NULL)" (sqliteNanRefusal), after "Binding \"<SQL>\": " through ODBC.
  virtual bool bind(int index, const KvbDatavar& value, int type, int size) = 0;
  // Runs the statement; rows, when given, receives the number of rows
  // inserted, updated or deleted.
  virtual bool execute(int64_t* rows = nullptr) = 0;
  // Runs the statement as a query. The cursor belongs to the caller and
  // may outlive the statement. Null on failure; SQLite runs the query at
  // the cursor's first next(), so its failures to run show there.
  virtual DacCursor* select() = 0;

  virtual KvbString getErrorMessage() const = 0;
  virtual void release() = 0;

 protected:
  virtual ~DacStatement() = default;
};

// One database connection.
class DacConnection {
 public:
  virtual DacDbKind getDbKind() const = 0;
  // The database's product name ("SQLite", "PostgreSQL", ...).
  virtual KvbString getDbmsName() const = 0;
  // The character that quotes identifiers; empty when the database has
  // none.
  virtual KvbString getIdentifierQuote() const = 0;
  // True when each transaction may run on another server session than the
  // one before: the connection string keeps the driver's statements off
  // the server (UseServerSidePrepare=0 on PostgreSQL), as a site behind a
  // connection pooler in transaction mode sets it. Such a connection runs
  // each statement with values outside a transaction in a transaction of
  // its own.
  virtual bool sharesServerSessions() const { return false; }
  // The statements that such a transaction of its own runs first, before
  // the statement it is for (the settings that a server session shared
  // with other clients does not keep for this one: "SET LOCAL ..."); none
  // until set. A statement that fails there fails the run with its reason,
  // and the transaction is rolled back.
  virtual void setOwnTransactionStart(std::vector<KvbString> statements) {
    (void)statements;
  }
  // The longest identifier the database takes; 0 when it names no limit.
  // Over ODBC it is the driver's SQL_MAX_IDENTIFIER_LEN, which the
  // PostgreSQL driver reads from the server (max_identifier_length).
  virtual int getMaxIdentifierLength() const = 0;
  // dacGetMaxTextLength and dacGetTypeName for this connection's kind.
  virtual int getMaxTextLength() const = 0;
  virtual KvbString getTypeName(int kvbType, int size) const = 0;

  // Runs one statement without parameters; rows, when given, receives the
  // number of rows inserted, updated or deleted.
  virtual bool execute(const KvbString& sql, int64_t* rows = nullptr) = 0;
  // Prepares a statement that belongs to the caller; null on failure. Some
  // drivers report a bad statement only when it runs.
  virtual DacStatement* prepare(const KvbString& sql) = 0;
  // prepare() for a statement that the caller means to run once: a driver
  // may send its text with each run instead of preparing it first, which
  // spares a server the work of a prepared statement. A fault in the text
  // then shows when the statement runs. It can still run again.
  virtual DacStatement* prepareToRunOnce(const KvbString& sql) {
    return prepare(sql);
  }

  // With autocommit off (it is on for a new connection) every change waits
  // for commit() or rollback(), each of which starts the next transaction.
  // Turning autocommit on commits the open transaction. commit() and
  // rollback() do nothing with autocommit on. A driver may answer the end
  // of a transaction with success on a server session that it found gone
  // earlier (at a statement's close or free), sending nothing: commit(),
  // rollback() and a setAutoCommit(true) that ends a transaction then
  // answer false with a text that dacSessionLost recognises, "[08003] The
  // connection has been lost before the transaction's end; ..." (the
  // server rolled the transaction back with the session) or, for a commit
  // after which the session is found gone, "[08S01] ..." (whether it was
  // stored is not known).
  virtual bool setAutoCommit(bool on) = 0;
  virtual bool commit() = 0;
  virtual bool rollback() = 0;

  // Opens a new session with the database in place of the current one,
  // with the connection string that opened the first, for a session that
  // the server ended (see dacSessionLost). Autocommit is on in the new
  // session; the old one's transaction is gone with it. The connection's
  // statements follow at their next run: each is prepared again on the new
  // session, with its bound values, while a cursor of the old session keeps
  // what it has read. False, with the reason ("Connecting to ...: ..."),
  // when the new session cannot be opened; the connection stays as it was.
  // A SQLite file has no session to lose: false.
  virtual bool reconnect() = 0;

  virtual KvbString getErrorMessage() const = 0;
  // True when the last failure was the database being locked by another
  // connection beyond the wait allowed (SQLite's "database is locked", an
  // ODBC timeout).
  virtual bool isBusy() const = 0;
  // Ends the connection; an uncommitted transaction is rolled back.
  virtual void release() = 0;

 protected:
  virtual ~DacConnection() = default;
};

// True when `errorText`, a failure's text, says that the database's
// session is gone (the server ended it, restarted or cannot be reached):
// a record of SQLSTATE class 08, or the server's termination of the
// session, or the driver's refusal of a session it knows is gone. A
// refusal over ODBC on a session that the driver has found gone always
// says so: where the driver's own records do not, they are replaced by
// "[08S01] The connection has been lost".
bool dacSessionLost(const KvbString& errorText);

// Opens a connection; null on failure with the reason in *errorText (when
// given). The connection belongs to the caller. A connection string that
// names no file is refused before any driver is called: "KVXTYPE=SQLITE"
// without a FILE value, and a SQLite ODBC driver (Driver= naming a driver
// whose library's file name holds "sqlite") with neither a Database value
// nor a DSN, which that driver would take as the name of a file to create.
// A text that cannot be parsed fails with "the connection string cannot be
// read: " and "attribute <n> has no '='", "attribute <n> has no key", "the
// braced value of attribute <n> has no closing '}'" or "text follows the
// braced value of attribute <n>", attributes counted from 1 without the
// empty ones. It quotes no piece of the text, since a password with an
// unbraced ";" ("Pwd=ab;cd;") reads as a malformed attribute "cd". A text
// without any "=" holds no password and is most likely a file's path: it
// fails with "the connection string "<text, trimmed>" cannot be read: it
// has no '='; a SQLite file is given as FILE=<path>;KVXTYPE=SQLITE".
DacConnection* dacCreateDataSource(const KvbString& connectionString,
                                   KvbString* errorText);

// The connection string that the ODBC driver manager receives for
// `connectionString`: its attributes as written, each ended by ";", without
// the KVXTYPE attribute. Null when the text cannot be parsed (a brace left
// open, an attribute without "=").
KvbString dacOdbcConnectionString(const KvbString& connectionString);

// `connectionString` as texts and logs show it, as in "Connecting to ...":
// its attributes as written, joined by ";", without KVXTYPE and without
// the password (PWD or PASSWORD, any case). Null when the text cannot be
// parsed, since a password in it could not be told apart from the rest.
KvbString dacConnectionStringWithoutPassword(const KvbString& connectionString);

// The file that `connectionString` opens as a SQLite database directly
// (KVXTYPE=SQLITE): its FILE value, for texts that name the file by its
// path. Null for any other connection string, one without a FILE value,
// and one that cannot be parsed.
KvbString dacSqliteFilePath(const KvbString& connectionString);

// The connection string that opens the SQLite file `path` directly and
// creates it when missing: "FILE={path};CREATE=TRUE;KVXTYPE=SQLITE", with
// every "}" of the path doubled. So any file name works (";", "=", braces,
// blanks at either end), and no name can add an attribute or change the
// route: ";KVXTYPE=ODBC;..." in a path stays part of the name.
KvbString dacSqliteFileConnectionString(const KvbString& path);

// Where, in `errorText`, a bind's refusal of a text that holds a NUL byte
// says so: the position of " holds a NUL byte, which <database> cannot
// store", which ends the text; npos when it is no such refusal. A caller
// that knows the value's column names the value by it, before that end.
size_t dacNulByteRefusal(const KvbString& errorText);

// The longest text that a column of a database of `kind` holds inline, in
// characters: SQLite 1000000000 (its default length limit), PostgreSQL
// 10485760 (the largest VARCHAR), DAC_DB_PRIMARY_INDEX 32000 (the largest
// VARCHAR of Unicode text), an unknown kind 255.
int dacGetMaxTextLength(DacDbKind kind);

// The column type text for a kvbType in the dialect of `kind`:
//   kvbTypeInt "INTEGER"; kvbTypeInt64 "BIGINT";
//   kvbTypeReal and kvbTypeDate "REAL" (SQLite), "DOUBLE PRECISION"
//   (PostgreSQL, unknown kinds), "FLOAT" (DAC_DB_PRIMARY_INDEX);
//   kvbTypeString "VARCHAR(size)", with size taken as the maximum text
//   length when it is below 1 or above it.
// Null for any other type.
KvbString dacGetTypeName(DacDbKind kind, int kvbType, int size);

// A test seam, of no use to a host: makes a call fail that no real driver
// fails inside a transaction, so that tests reach the engine's handling of
// such refusals, or lets a test act at a moment that it cannot reach from
// outside. Without a hook each of the points below costs one load.
enum class DacFault {
  kPrepare,    // DacConnection::prepare and prepareToRunOnce
  kValueRead,  // DacCursor::getValue of a value that is there
  // Over ODBC, where a statement's run ends: after its execute's answer,
  // before its rows are closed and before its handle is freed. The answer
  // fails nothing; a test ends the server session there, say.
  kRunEnd,
};
// Asked at each such call while it is set: true fails the call, with the
// text the hook wrote into `reason` as its error text (getErrorMessage of
// the connection or the cursor).
using DacFaultHook = bool (*)(DacFault point, KvbString& reason);
// Sets the process's hook; null removes it.
void dacSetFaultHook(DacFaultHook hook);

#endif  // KVDATAACCESS_KVDATAACCESS_H_
