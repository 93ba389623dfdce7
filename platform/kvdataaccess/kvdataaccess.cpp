// kvdataaccess: connections to SQLite files (through kvsqlstore) and to any
// database with an ODBC driver (through the unixODBC driver manager).
//
// ODBC is used through its narrow ("A") calls with SQL_C_CHAR data. The
// driver manager passes UTF-8 through to drivers that take narrow calls
// (SQLite's) and converts it for drivers with wide calls (PostgreSQL's
// Unicode driver), so texts stay UTF-8 without conversions here.
#include "kvdataaccess/kvdataaccess.h"

#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "kvsqlstore/kvsqlstore.h"

namespace {

// What a bind's refusal of a text that holds a NUL byte says after naming
// the value, before the database's name (see dacNulByteRefusal).
const char kNulByteHeld[] = " holds a NUL byte, which ";

// ---------------------------------------------------------------------------
// The test seam

std::atomic<DacFaultHook> faultHook{nullptr};

// True when a test's hook fails the call at `point`; its reason is then in
// `error`.
bool faulted(DacFault point, KvbString& error) {
  const DacFaultHook hook = faultHook.load(std::memory_order_acquire);
  return hook && hook(point, error);
}

// Lets a test's hook act where a statement's run ends (DacFault::kRunEnd);
// its answer fails nothing.
void runEnds() {
  KvbString ignored;
  faulted(DacFault::kRunEnd, ignored);
}

// ---------------------------------------------------------------------------
// Values

// The kind a type binds and reads as: integers (kvbTypeInt64), reals (dates
// are reals) or text; kvbTypeUnknown for no known type.
int valueFamily(int type) {
  switch (type) {
    case kvbTypeInt:
    case kvbTypeInt64:
      return kvbTypeInt64;
    case kvbTypeReal:
    case kvbTypeDate:
      return kvbTypeReal;
    case kvbTypeString:
      return kvbTypeString;
    default:
      return kvbTypeUnknown;
  }
}

// The kind of an integer read from a column of `columnType`: a 32-bit
// value unless the column is 64-bit or the value does not fit.
int integerKind(int64_t value, int columnType) {
  return columnType != kvbTypeInt64 && value >= INT_MIN && value <= INT_MAX
             ? kvbTypeInt
             : kvbTypeInt64;
}

// Gives `target` the integer `value` in place, of the kind integerKind
// picks.
void setInteger(KvbDatavar& target, int64_t value, int columnType) {
  if (integerKind(value, columnType) == kvbTypeInt)
    target.setInt(static_cast<int>(value));
  else
    target.setInt64(value);
}

// ---------------------------------------------------------------------------
// Connection strings

struct Attribute {
  KvbString key;    // trimmed, as written
  KvbString value;  // trimmed, without braces
  KvbString text;   // the whole attribute as written, trimmed
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

KvbString trimmed(const std::string& text, size_t from, size_t to) {
  while (from < to && isBlank(text[from])) ++from;
  while (to > from && isBlank(text[to - 1])) --to;
  return KvbString(text.substr(from, to - from));
}

// Splits "KEY=VALUE;KEY={VALUE};..." into attributes. Empty attributes are
// skipped; false, with the reason in `error`, for an attribute without a key
// or "=", or a brace left open. The reason names the attribute by its
// position (from 1, empty ones not counted) and quotes no piece of the
// text: a password with an unbraced ";" ("Pwd=ab;cd;") leaves its tail as
// an attribute of its own, which no text or log may show.
bool parseConnectionString(const KvbString& connectionString,
                           std::vector<Attribute>& out, KvbString& error) {
  const std::string& s = connectionString.str();
  size_t pos = 0;
  int number = 0;  // the position of the last attribute read
  while (pos < s.size()) {
    const size_t start = pos;
    const size_t equals = s.find_first_of("=;", pos);
    if (equals == std::string::npos || s[equals] == ';') {
      const size_t end = equals == std::string::npos ? s.size() : equals;
      if (!trimmed(s, start, end).isEmpty()) {
        error = kvbStringFormat("attribute %d has no '='", number + 1);
        return false;
      }
      pos = end + 1;
      continue;
    }
    ++number;
    Attribute attribute;
    attribute.key = trimmed(s, start, equals);
    if (attribute.key.isEmpty()) {
      error = kvbStringFormat("attribute %d has no key", number);
      return false;
    }
    size_t valueStart = equals + 1;
    while (valueStart < s.size() && isBlank(s[valueStart])) ++valueStart;
    size_t end;
    if (valueStart < s.size() && s[valueStart] == '{') {
      std::string value;
      size_t i = valueStart + 1;
      for (;; ++i) {
        if (i >= s.size()) {
          error = kvbStringFormat(
              "the braced value of attribute %d has no closing '}'", number);
          return false;
        }
        if (s[i] == '}') {
          if (i + 1 < s.size() && s[i + 1] == '}') {
            ++i;  // "}}" stands for one "}"
          } else {
            break;
          }
        }
        value += s[i];
      }
      attribute.value = KvbString(std::move(value));
      end = s.find(';', i);
      if (end == std::string::npos) end = s.size();
      if (!trimmed(s, i + 1, end).isEmpty()) {
        error = kvbStringFormat("text follows the braced value of attribute %d",
                                number);
        return false;
      }
    } else {
      end = s.find(';', valueStart);
      if (end == std::string::npos) end = s.size();
      attribute.value = trimmed(s, valueStart, end);
    }
    attribute.text = trimmed(s, start, end);
    out.push_back(std::move(attribute));
    pos = end + 1;
  }
  return true;
}

// The text of a connection string that parseConnectionString refused for
// `reason`. A text without any "=" holds no value, so no password: it is
// most likely the path of a file, and is quoted with the form that opens
// a SQLite file.
KvbString unreadableText(const KvbString& connectionString,
                         const KvbString& reason) {
  if (connectionString.find('=') != KvbString::npos)
    return "the connection string cannot be read: " + reason;
  KvbString shown = connectionString;
  return kvbStringFormat(
      "the connection string \"%S\" cannot be read: it has no '='; a SQLite "
      "file is given as FILE=<path>;KVXTYPE=SQLITE",
      shown.trim());
}

const Attribute* findAttribute(const std::vector<Attribute>& attributes,
                               const char* key) {
  for (const Attribute& attribute : attributes)
    if (attribute.key.equals(key, true)) return &attribute;
  return nullptr;
}

KvbString odbcText(const std::vector<Attribute>& attributes) {
  KvbString text("");
  for (const Attribute& attribute : attributes) {
    if (attribute.key.equals("KVXTYPE", true)) continue;
    text += attribute.text;
    text += ';';
  }
  return text;
}

// ---------------------------------------------------------------------------
// Shared parts of connections, statements and cursors

class ConnectionBase : public DacConnection {
 public:
  ConnectionBase(DacDbKind kind, KvbString dbmsName, KvbString quote,
                 int maxIdentifierLength)
      : kind_(kind),
        dbmsName_(std::move(dbmsName)),
        quote_(std::move(quote)),
        maxIdentifierLength_(maxIdentifierLength) {}

  DacDbKind getDbKind() const override { return kind_; }
  KvbString getDbmsName() const override { return dbmsName_; }
  KvbString getIdentifierQuote() const override { return quote_; }
  int getMaxIdentifierLength() const override { return maxIdentifierLength_; }
  int getMaxTextLength() const override { return dacGetMaxTextLength(kind_); }
  KvbString getTypeName(int kvbType, int size) const override {
    return dacGetTypeName(kind_, kvbType, size);
  }
  KvbString getErrorMessage() const override { return error_; }
  bool reconnect() override {
    error_ = "A SQLite file has no session to open again";
    return false;
  }
  // ODBC drivers report a lock timeout as HYT00; the SQLite driver gives
  // SQLite's own text.
  bool isBusy() const override {
    return error_.find("[HYT00]") != KvbString::npos ||
           error_.find("database is locked") != KvbString::npos;
  }

 protected:
  KvbString error_;

 private:
  const DacDbKind kind_;
  const KvbString dbmsName_;
  const KvbString quote_;
  const int maxIdentifierLength_;
};

class StatementBase : public DacStatement {
 public:
  // Converts the value when its kind differs from the declared type, then
  // hands it to the back end's binding.
  bool bind(int index, const KvbDatavar& value, int type, int size) final {
    if (index < 0) {
      error_ = kvbStringFormat("parameter index %d is out of range", index);
      return false;
    }
    const int wanted = valueFamily(type);
    if (wanted == kvbTypeUnknown || valueFamily(value.getType()) == wanted)
      return bindValue(index, value, size);
    KvbDatavar converted = value;
    if (!converted.convertTo(type)) {
      error_ = kvbStringFormat("the value of parameter %d is not of type %s",
                               index, kvbTypeToString(type));
      return false;
    }
    return bindValue(index, converted, size);
  }
  KvbString getErrorMessage() const override { return error_; }

 protected:
  // Binds a value whose kind is the one to bind; `size` is the declared
  // text size.
  virtual bool bindValue(int index, const KvbDatavar& value, int size) = 0;

  KvbString error_;
};

class CursorBase : public DacCursor {
 public:
  bool getValue(int column, KvbDatavar& value) final {
    if (!onRow() || column < 0 || column >= getNumCols()) {
      error_ = kvbStringFormat("column %d has no value to read", column);
      return false;
    }
    if (faulted(DacFault::kValueRead, error_)) return false;
    readValue(column, value);
    return true;
  }
  KvbString getErrorMessage() const override { return error_; }
  void release() override { delete this; }

 protected:
  virtual bool onRow() const = 0;
  // Gives `value` the value of a valid column of the current row, in place,
  // so that a caller's value reused from row to row keeps its text storage.
  virtual void readValue(int column, KvbDatavar& value) const = 0;

  KvbString error_;
};

// ---------------------------------------------------------------------------
// Native SQLite through kvsqlstore

constexpr int kSqliteMaxIdentifierLength = 255;

// The value type of a column declared with SQLite type text `declared`,
// after SQLite's affinity rules; kvbTypeUnknown when the declaration does
// not fix it.
int typeOfDeclaration(KvbString declared) {
  declared.toUpper();
  if (declared.find("BIGINT") != KvbString::npos) return kvbTypeInt64;
  if (declared.find("INT") != KvbString::npos) return kvbTypeInt;
  if (declared.find("CHAR") != KvbString::npos ||
      declared.find("CLOB") != KvbString::npos ||
      declared.find("TEXT") != KvbString::npos)
    return kvbTypeString;
  if (declared.find("REAL") != KvbString::npos ||
      declared.find("FLOA") != KvbString::npos ||
      declared.find("DOUB") != KvbString::npos)
    return kvbTypeReal;
  return kvbTypeUnknown;
}

class NativeCursor : public CursorBase {
 public:
  explicit NativeCursor(SqliteResult* result) : result_(result) {
    for (int i = 0; i < result_->getColumnCount(); ++i)
      declaredTypes_.push_back(
          typeOfDeclaration(result_->getColumnDeclaredType(i)));
  }
  ~NativeCursor() override { result_->close(); }

  int next() override {
    const int fetched = result_->next();
    onRow_ = fetched == 1;
    if (fetched == 2) error_ = result_->getErrorMessage();
    return fetched;
  }
  int getNumCols() const override {
    return static_cast<int>(declaredTypes_.size());
  }
  KvbString getColName(int column) const override {
    return result_->getColumnName(column);
  }
  // A column without a declared type (an expression) takes the type of the
  // current row's value.
  int getColType(int column) const override {
    if (column < 0 || column >= getNumCols()) return kvbTypeUnknown;
    if (declaredTypes_[column] != kvbTypeUnknown) return declaredTypes_[column];
    switch (result_->getColumnType(column)) {
      case kSqliteInteger:
        return kvbTypeInt;
      case kSqliteReal:
        return kvbTypeReal;
      default:
        return kvbTypeString;
    }
  }
  bool isNull(int column) const override { return result_->isNull(column); }

 private:
  bool onRow() const override { return onRow_; }
  void readValue(int column, KvbDatavar& value) const override {
    switch (result_->getColumnType(column)) {
      case kSqliteNull:
        value.setNull(getColType(column));
        break;
      case kSqliteInteger:
        setInteger(value, result_->getInt64(column), getColType(column));
        break;
      case kSqliteReal:
        value.setReal(result_->getReal(column));
        break;
      default: {
        SqliteValue text;
        result_->peekValue(column, text);
        value.setText(text.text, text.length);
      }
    }
  }

  SqliteResult* result_;
  std::vector<int> declaredTypes_;
  bool onRow_ = false;
};

class NativeStatement : public StatementBase {
 public:
  explicit NativeStatement(SqliteStatement* statement)
      : statement_(statement) {}
  ~NativeStatement() override { statement_->release(); }

  bool execute(int64_t* rows) override {
    return statement_->execute(rows) || failed();
  }
  // SQLite runs the query at the cursor's first next(), so failures to run
  // show there.
  DacCursor* select() override {
    return new NativeCursor(statement_->openResult());
  }
  void release() override { delete this; }

 private:
  bool bindValue(int index, const KvbDatavar& value, int) override {
    bool ok;
    if (value.isNull()) {
      ok = statement_->setNull(index);
    } else if (valueFamily(value.getType()) == kvbTypeInt64) {
      ok = statement_->setInt64(index, value.asInt64());
    } else if (valueFamily(value.getType()) == kvbTypeReal) {
      ok = statement_->setReal(index, value.asDouble());
    } else {
      ok = statement_->setText(index, value.textData(), value.textLength());
    }
    return ok || failed();
  }
  bool failed() {
    error_ = statement_->getErrorMessage();
    return false;
  }

  SqliteStatement* statement_;
};

class NativeConnection : public ConnectionBase {
 public:
  explicit NativeConnection(SqliteDatabase* db)
      : ConnectionBase(DAC_DB_SQLITE, "SQLite", "\"",
                       kSqliteMaxIdentifierLength),
        db_(db) {}
  ~NativeConnection() override { db_->close(); }
  bool isBusy() const override { return db_->isBusy(); }

  bool execute(const KvbString& sql, int64_t* rows) override {
    return db_->exec(sql, rows) || failed();
  }
  DacStatement* prepare(const KvbString& sql) override {
    if (faulted(DacFault::kPrepare, error_)) return nullptr;
    SqliteStatement* statement = db_->prepare(sql);
    if (!statement) {
      failed();
      return nullptr;
    }
    return new NativeStatement(statement);
  }

  // Manual commit keeps a deferred transaction open at all times, as an
  // ODBC driver does; it takes no lock until the first read or write.
  bool setAutoCommit(bool on) override {
    if (on == !manual_) return true;
    if (!execute(on ? "COMMIT" : "BEGIN", nullptr)) return false;
    manual_ = !on;
    return true;
  }
  bool commit() override { return endTransaction("COMMIT"); }
  bool rollback() override { return endTransaction("ROLLBACK"); }
  void release() override { delete this; }

 private:
  bool endTransaction(const char* sql) {
    if (!manual_) return true;
    return execute(sql, nullptr) && execute("BEGIN", nullptr);
  }
  bool failed() {
    error_ = db_->getErrorMessage();
    return false;
  }

  SqliteDatabase* db_;
  bool manual_ = false;
};

DacConnection* openNative(const std::vector<Attribute>& attributes,
                          KvbString& error) {
  const Attribute* file = findAttribute(attributes, "FILE");
  if (!file || file->value.isEmpty()) {
    error = "the connection string names no FILE";
    return nullptr;
  }
  const Attribute* create = findAttribute(attributes, "CREATE");
  bool mayCreate = false;
  if (create) create->value.toBool(mayCreate);  // other texts leave it false
  SqliteDatabase* db = mayCreate ? createSqliteDatabase(file->value)
                                 : openSqliteDatabase(file->value);
  if (!db) {
    error = getSqliteErrorMessage();
    return nullptr;
  }
  return new NativeConnection(db);
}

// ---------------------------------------------------------------------------
// ODBC

// `message` on one line, trimmed: a line break with the blanks around it
// becomes "; " (a space after a line that ends in punctuation), and any
// other run of blanks one space. Drivers pass on a server's message as it
// came, over several lines that end in a line break ("Connection refused\n
// \tIs the server running ...?\n").
std::string oneLine(const char* message) {
  std::string line;
  bool blank = false, lineBreak = false;
  for (const char* c = message; *c; ++c) {
    if (isBlank(*c)) {
      blank = true;
      lineBreak = lineBreak || *c == '\n' || *c == '\r';
      continue;
    }
    if (blank && !line.empty())
      line += lineBreak && !std::strchr(".,;:!?", line.back()) ? "; " : " ";
    blank = lineBreak = false;
    line += *c;
  }
  return line;
}

// A server's message about a prepared statement that the PostgreSQL driver
// named itself ("_PLAN0x...") missing in its session (26000) or there
// already (42P05) says what to do about it first. The engine names no
// prepared statement of its own, so only a connection pooler in transaction
// mode, which hands each transaction to any server session, separates the
// driver from its statements: the driver's setting that keeps them out of
// the server's sessions cures it.
std::string withPoolerAdvice(const char* state, std::string message) {
  const bool lostOrDoubled =
      std::strcmp(state, "26000") == 0 || std::strcmp(state, "42P05") == 0;
  if (!lostOrDoubled ||
      message.find("prepared statement \"_PLAN") == std::string::npos)
    return message;
  return "The database connection goes through a pooler that lost the "
         "driver's prepared statement; add UseServerSidePrepare=0 to the "
         "connection string: " +
         message;
}

// The diagnostic records of `handle` as "[SQLSTATE] message" texts, each on
// one line, joined by "; ", or a text naming `rc` when there are none.
KvbString odbcDiagnostics(SQLRETURN rc, SQLSMALLINT handleType,
                          SQLHANDLE handle) {
  KvbString text;
  for (SQLSMALLINT record = 1; handle != SQL_NULL_HANDLE; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER nativeError = 0;
    SQLSMALLINT length = 0;
    // The largest buffer a call takes. The PostgreSQL driver does not tell
    // the length of a message that does not fit: it hands out the rest as
    // further records, which would cut the server's text into pieces.
    std::vector<SQLCHAR> message(SHRT_MAX);
    const SQLRETURN diag = SQLGetDiagRec(
        handleType, handle, record, state, &nativeError, message.data(),
        static_cast<SQLSMALLINT>(message.size()), &length);
    if (!SQL_SUCCEEDED(diag)) break;
    if (!text.isEmpty()) text += "; ";
    text += kvbStringFormat(
        "[%s] %s", reinterpret_cast<char*>(state),
        withPoolerAdvice(reinterpret_cast<char*>(state),
                         oneLine(reinterpret_cast<char*>(message.data())))
            .c_str());
  }
  return text.isEmpty()
             ? kvbStringFormat("the ODBC call failed with result %d", rc)
             : text;
}

// The one check of every ODBC call's result. Success, success with
// information and "no data" pass; any other result records the diagnostics
// of `handle` in `error` and answers false.
bool odbcCheck(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle,
               KvbString& error) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
  error = odbcDiagnostics(rc, handleType, handle);
  return false;
}

SQLCHAR* sqlText(const KvbString& text) {
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.asCstr()));
}

// The process-wide ODBC environment, set up at first use and never freed:
// threads may still use their connections while the process exits.
struct OdbcEnvironment {
  OdbcEnvironment() {
    if (!odbcCheck(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle),
                   SQL_HANDLE_ENV, SQL_NULL_HANDLE, error) ||
        !odbcCheck(SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION,
                                 reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                   SQL_HANDLE_ENV, handle, error)) {
      error = "the ODBC environment cannot be set up: " + error;
      handle = SQL_NULL_HENV;
    }
  }
  SQLHENV handle = SQL_NULL_HENV;
  KvbString error;
};

const OdbcEnvironment& odbcEnvironment() {
  static const OdbcEnvironment* const environment = new OdbcEnvironment;
  return *environment;
}

// A connection handle shared by the connection and its statements and
// cursors; disconnected when the last of them ends.
// Turns the driver's autocommit mode of connection `dbc` on or off.
SQLRETURN setAutoCommitMode(SQLHDBC dbc, bool on) {
  const SQLULEN mode = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  return SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                           reinterpret_cast<SQLPOINTER>(mode), SQL_IS_UINTEGER);
}

struct OdbcDbc;
bool endTransactionOn(const OdbcDbc& dbc, SQLSMALLINT completion,
                      KvbString& error);

struct OdbcDbc {
  OdbcDbc() = default;
  OdbcDbc(const OdbcDbc&) = delete;
  OdbcDbc& operator=(const OdbcDbc&) = delete;
  ~OdbcDbc() {
    if (connected) {
      SQLEndTran(SQL_HANDLE_DBC, handle, SQL_ROLLBACK);
      SQLDisconnect(handle);
    }
    if (handle != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, handle);
  }
  // Whether the driver has found the server session gone, by the dead
  // attribute that it keeps without a round trip to the server. A driver
  // that cannot tell is taken at its word.
  bool gone() const {
    SQLUINTEGER dead = SQL_CD_FALSE;
    return SQL_SUCCEEDED(SQLGetConnectAttr(handle, SQL_ATTR_CONNECTION_DEAD,
                                           &dead, SQL_IS_UINTEGER, nullptr)) &&
           dead == SQL_CD_TRUE;
  }

  SQLHDBC handle = SQL_NULL_HDBC;
  bool connected = false;
  // The driver reads rows in blocks into bound buffers and can hand out
  // any bound column of any row of a block again by SQLGetData.
  bool blockReads = false;
  // The database's name when its texts cannot hold a NUL byte (PostgreSQL's
  // cannot, and its driver would store such a text cut at that byte);
  // empty when they can.
  KvbString nulRefusedBy;
  // A SQLite file through its driver, which stores NULL for a NaN bound to
  // it without a word: a NaN is refused before it is bound.
  bool keepsNoNan = false;
  KvbString dbmsName;  // as the driver names the database's product
  // A statement run outside a transaction runs in a transaction of its
  // own (see OdbcStmt::execute); autoCommit follows the session's mode.
  bool ownTransactions = false;
  bool autoCommit = true;
};

// What a transaction's end answers on a session that the driver found gone:
// before the end, the server rolled the transaction back with the session,
// and nothing was sent; at a commit answered as done, nothing says whether
// it reached the server. Both read as a lost session (dacSessionLost).
const char kGoneBeforeEnd[] =
    "[08003] The connection has been lost before the transaction's end; "
    "the server rolled the transaction back with it";
const char kGoneAtCommit[] =
    "[08S01] The connection has been lost; the driver answered the commit "
    "without its server session";

// A refusal of the driver on a session that it has found gone names the
// loss: the PostgreSQL driver gives some of them as a failure of its own
// work ("[HY000] internal SAVEPOINT failed"), which the engine would take
// for the statement's own failure. Such a record says no more than that.
void sayWhenGone(const OdbcDbc& dbc, KvbString& error) {
  if (!dacSessionLost(error) && dbc.gone())
    error = "[08S01] The connection has been lost";
}

// Ends the transaction of `dbc` with `completion` (SQL_COMMIT or
// SQL_ROLLBACK). The PostgreSQL driver that finds its session gone at a
// call that it answers as done (a statement's close or free) then answers
// a commit with success without sending it: nothing is stored. So the end
// succeeds only on a session that still stands, before and after it; a
// commit on a living session costs no round trip more.
bool endTransactionOn(const OdbcDbc& dbc, SQLSMALLINT completion,
                      KvbString& error) {
  if (dbc.gone()) {
    SQLEndTran(SQL_HANDLE_DBC, dbc.handle, SQL_ROLLBACK);
    error = kGoneBeforeEnd;
    return false;
  }
  if (!odbcCheck(SQLEndTran(SQL_HANDLE_DBC, dbc.handle, completion),
                 SQL_HANDLE_DBC, dbc.handle, error))
    return false;
  if (!dbc.gone()) return true;
  error = completion == SQL_COMMIT ? kGoneAtCommit : kGoneBeforeEnd;
  return false;
}

// The server session that a connection and its statements run on now: a
// reconnect puts a new session's handle here, and each statement follows
// it at its next run (OdbcStmt::follow).
struct OdbcLine {
  std::shared_ptr<OdbcDbc> dbc;
  // What a statement's transaction of its own runs first, on any session
  // (DacConnection::setOwnTransactionStart).
  std::vector<KvbString> ownTransactionStart;
};

struct OdbcStmt;
std::shared_ptr<OdbcStmt> allocStatement(const std::shared_ptr<OdbcLine>& line,
                                         const KvbString& sql,
                                         KvbString& error);
bool finishRun(OdbcStmt& stmt, int64_t* rows, KvbString& error);

// The buffers that a query's columns are bound to when its rows are read
// in blocks (SQL_ATTR_ROW_ARRAY_SIZE): per column one value per row of the
// block with its length or null indicator, and the status of each row. The
// driver writes them at each fetch. The cursor that reads them shares them
// with its statement, so that its current row stays readable after the
// statement has run again and unbound them.
struct OdbcBlock {
  struct Column {
    SQLSMALLINT cType = SQL_C_CHAR;
    SQLLEN width = 0;  // bytes of one value; a text's terminator included
    std::unique_ptr<char[]> values;  // rows × width, written by the driver
    std::unique_ptr<SQLLEN[]> indicators;  // one per row
  };
  SQLULEN rows = 0;
  std::vector<Column> columns;
  std::unique_ptr<SQLUSMALLINT[]> status;  // one per row
  SQLULEN fetched = 0;  // rows that the last fetch gave
};

// The storage of one bound parameter; it must stay in place until the
// statement has run. The driver reads it at each run, so a value of the
// same binding as the last one is only written here, without binding anew.
struct OdbcParam {
  // What SQLBindParameter was given; cType 0 before the first binding.
  struct Binding {
    SQLSMALLINT cType = 0, sqlType = 0;
    SQLULEN columnSize = 0;
    SQLPOINTER data = nullptr;
    SQLLEN bufferLength = 0;
    bool operator==(const Binding& o) const {
      return cType == o.cType && sqlType == o.sqlType &&
             columnSize == o.columnSize && data == o.data &&
             bufferLength == o.bufferLength;
    }
  };
  int64_t integer = 0;
  double real = 0;
  std::string text;
  SQLLEN indicator = 0;
  Binding bound;
};

// A statement handle shared by a statement and its cursors; freed when the
// last of them ends. Every run raises `run`, which ends the rows of cursors
// opened before.
struct OdbcStmt {
  explicit OdbcStmt(std::shared_ptr<OdbcLine> connection)
      : line(std::move(connection)), dbc(line->dbc) {}
  OdbcStmt(const OdbcStmt&) = delete;
  OdbcStmt& operator=(const OdbcStmt&) = delete;
  ~OdbcStmt() {
    if (handle == SQL_NULL_HSTMT) return;
    runEnds();
    SQLFreeHandle(SQL_HANDLE_STMT, handle);
  }

  // odbcCheck of a call on the statement, whose failure says what was
  // being done with it: `doing` ("Running") and its SQL text.
  bool check(SQLRETURN rc, KvbString& error,
             const char* doing = "Running") const {
    if (odbcCheck(rc, SQL_HANDLE_STMT, handle, error)) return true;
    sayWhenGone(*dbc, error);
    error = whileDoing(doing, error);
    return false;
  }
  // `reason` after what was being done with the statement: `doing` and its
  // SQL text, quoted and cut short.
  KvbString whileDoing(const char* doing, const KvbString& reason) const {
    constexpr size_t kShownBytes = 200;
    KvbString shown = sql;
    if (shown.length() > kShownBytes)
      shown.truncateUtf8(kShownBytes).append("...");
    return kvbStringFormat("%s \"%S\": %S", doing, shown, reason);
  }
  // Closes the rows of the last run, if any; false has no consequence.
  void closeRows() {
    runEnds();
    SQLFreeStmt(handle, SQL_CLOSE);
    rowsOpen = false;
  }
  // Closes the rows of a finished run. A statement without result columns
  // leaves none, and the columns of a prepared statement stay those of its
  // first run, so a statement that writes is asked once and then runs row
  // after row with no call besides its execution.
  void closeFinishedRun() {
    if (resultColumns < 0) {
      SQLSMALLINT count = 0;
      resultColumns = SQL_SUCCEEDED(SQLNumResultCols(handle, &count)) ? count : 1;
    }
    if (resultColumns > 0) closeRows();
    rowsOpen = false;
  }

  // Binds the columns of the coming fetches to `buffers`, a block of
  // `buffers->rows` rows at each fetch. They stay bound until the statement
  // runs again, and the statement holds them from the first call on, so
  // that the driver never writes to freed memory.
  bool bindBlock(const std::shared_ptr<OdbcBlock>& buffers,
                 KvbString& error) {
    block = buffers;
    if (!check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(buffers->rows), 0),
               error) ||
        !check(SQLSetStmtAttr(handle, SQL_ATTR_ROWS_FETCHED_PTR,
                              &buffers->fetched, 0),
               error) ||
        !check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_STATUS_PTR,
                              buffers->status.get(), 0),
               error))
      return false;
    for (size_t i = 0; i < buffers->columns.size(); ++i) {
      OdbcBlock::Column& column = buffers->columns[i];
      if (!check(SQLBindCol(handle, static_cast<SQLUSMALLINT>(i + 1),
                            column.cType, column.values.get(), column.width,
                            column.indicators.get()),
                 error))
        return false;
    }
    return true;
  }
  // Undoes bindBlock; false, with the buffers still held, when the driver
  // refuses.
  bool unbindBlock(KvbString& error) {
    if (!block) return true;
    if (!check(SQLFreeStmt(handle, SQL_UNBIND), error) ||
        !check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0),
               error) ||
        !check(SQLSetStmtAttr(handle, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0),
               error) ||
        !check(SQLSetStmtAttr(handle, SQL_ATTR_ROW_ARRAY_SIZE,
                              reinterpret_cast<SQLPOINTER>(SQLULEN{1}), 0),
               error))
      return false;
    block.reset();
    return true;
  }

  // Moves the statement to the connection's session of now, after a
  // reconnect: a new handle, prepared again when it was prepared, with the
  // values bound as before. Rows of the old session are gone with it.
  bool follow(KvbString& error) {
    ++run;  // a cursor of the old session reads no rows of the new handle
    SQLFreeHandle(SQL_HANDLE_STMT, handle);
    handle = SQL_NULL_HSTMT;
    rowsOpen = false;
    resultColumns = -1;
    block.reset();
    dbc = line->dbc;
    if (!odbcCheck(SQLAllocHandle(SQL_HANDLE_STMT, dbc->handle, &handle),
                   SQL_HANDLE_DBC, dbc->handle, error)) {
      handle = SQL_NULL_HSTMT;
      error = whileDoing("Running", error);
      return false;
    }
    if (prepared &&
        !check(SQLPrepare(handle, sqlText(sql),
                          static_cast<SQLINTEGER>(sql.length())),
               error, "Preparing"))
      return false;
    for (auto& [index, param] : params) {
      const OdbcParam::Binding& b = param.bound;
      if (b.cType == 0) continue;
      if (!check(SQLBindParameter(handle, static_cast<SQLUSMALLINT>(index + 1),
                                  SQL_PARAM_INPUT, b.cType, b.sqlType,
                                  b.columnSize, 0, b.data, b.bufferLength,
                                  &param.indicator),
                 error, "Binding"))
        return false;
    }
    return true;
  }

  // Runs the statement afresh: the prepared one, or the text kept for
  // running directly.
  //
  // The PostgreSQL driver told to keep no statements on the server
  // (UseServerSidePrepare=0, as behind a connection pooler in transaction
  // mode) still parses and describes many statements with values in round
  // trips of their own before it runs them. Outside a transaction a pooler
  // may hand each round trip to another server session, which then refuses
  // the run ("unnamed prepared statement does not exist") or runs the
  // statement that another client parsed there. So there a statement with
  // values run outside a transaction runs in one of its own, which keeps
  // one server session throughout; the driver holds a query's rows past its
  // end. The transaction runs the connection's ownTransactionStart first.
  // One without values goes in one round trip, and may be one that no
  // transaction can hold (CREATE DATABASE).
  bool execute(KvbString& error) {
    if (dbc != line->dbc && !follow(error)) return false;
    if (rowsOpen) closeRows();
    if (!unbindBlock(error)) return false;
    ++run;
    rowsOpen = true;
    const bool own =
        dbc->ownTransactions && dbc->autoCommit && !params.empty();
    const auto onConnection = [&](SQLRETURN rc, KvbString& reason) {
      if (odbcCheck(rc, SQL_HANDLE_DBC, dbc->handle, reason)) return true;
      sayWhenGone(*dbc, reason);
      reason = whileDoing("Running", reason);
      return false;
    };
    if (own && !onConnection(setAutoCommitMode(dbc->handle, false), error))
      return false;
    const bool ran =
        (!own || startOwnTransaction(error)) &&
        check(prepared ? SQLExecute(handle)
                       : SQLExecDirect(handle, sqlText(sql),
                                       static_cast<SQLINTEGER>(sql.length())),
              error);
    if (!own) return ran;
    KvbString endError;
    bool ended =
        endTransactionOn(*dbc, ran ? SQL_COMMIT : SQL_ROLLBACK, endError);
    if (!ended) endError = whileDoing("Running", endError);
    ended =
        onConnection(setAutoCommitMode(dbc->handle, true), endError) && ended;
    if (ran && !ended) error = endError;
    return ran && ended;
  }

  // Runs the line's ownTransactionStart, each statement in one round trip
  // on the session of the transaction just begun.
  bool startOwnTransaction(KvbString& error) {
    for (const KvbString& text : line->ownTransactionStart) {
      std::shared_ptr<OdbcStmt> setting = allocStatement(line, text, error);
      if (!setting || !setting->execute(error) ||
          !finishRun(*setting, nullptr, error))
        return false;
    }
    return true;
  }

  std::shared_ptr<OdbcLine> line;
  std::shared_ptr<OdbcDbc> dbc;  // of the session the handle belongs to
  SQLHSTMT handle = SQL_NULL_HSTMT;
  uint64_t run = 0;
  bool rowsOpen = false;  // a run may have left rows that are not closed
  int resultColumns = -1;  // of a finished run; -1 before one was asked
  // The statement's text, which a statement that is not prepared sends
  // with each run (prepareToRunOnce).
  KvbString sql;
  bool prepared = false;
  std::map<int, OdbcParam> params;  // node-based, so entries stay in place
  std::shared_ptr<OdbcBlock> block;  // bound to the columns; null when none
};

// A statement handle for the SQL text `sql`.
std::shared_ptr<OdbcStmt> allocStatement(const std::shared_ptr<OdbcLine>& line,
                                         const KvbString& sql,
                                         KvbString& error) {
  const std::shared_ptr<OdbcDbc>& dbc = line->dbc;
  auto stmt = std::make_shared<OdbcStmt>(line);
  stmt->sql = sql;
  if (!odbcCheck(SQLAllocHandle(SQL_HANDLE_STMT, dbc->handle, &stmt->handle),
                 SQL_HANDLE_DBC, dbc->handle, error)) {
    stmt->handle = SQL_NULL_HSTMT;
    error = stmt->whileDoing("Running", error);
    return nullptr;
  }
  return stmt;
}

// Reads the changed-row count of a finished run when it is asked for, and
// closes the run's rows.
bool finishRun(OdbcStmt& stmt, int64_t* rows, KvbString& error) {
  runEnds();
  SQLLEN count = 0;
  const bool ok = !rows || stmt.check(SQLRowCount(stmt.handle, &count), error);
  stmt.closeFinishedRun();
  if (ok && rows) *rows = count < 0 ? 0 : count;
  return ok;
}

int typeOfSqlType(SQLSMALLINT sqlType) {
  switch (sqlType) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
      return kvbTypeInt;
    case SQL_BIGINT:
      return kvbTypeInt64;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return kvbTypeReal;
    default:
      return kvbTypeString;
  }
}

// The rows of a block are read at most this many at a time, and their
// bound buffers take about kBlockBytes at most (at least one row).
constexpr SQLULEN kBlockRows = 64;
constexpr size_t kBlockBytes = 256 * 1024;
// Bytes bound to a text value: four per declared character (UTF-8), at
// most kBoundTextBytes, kUnsizedTextBytes when the driver gives no size.
// A longer text is read whole from its row when the row is reached.
constexpr size_t kBoundTextBytes = 1024;
constexpr size_t kUnsizedTextBytes = 256;

class OdbcCursor : public CursorBase {
 public:
  explicit OdbcCursor(std::shared_ptr<OdbcStmt> stmt)
      : stmt_(std::move(stmt)), run_(stmt_->run) {}

  // Reads the column descriptions, and binds the columns when the driver
  // reads rows in blocks; false with the error text on failure.
  bool describe() {
    SQLSMALLINT count = 0;
    if (!stmt_->check(SQLNumResultCols(stmt_->handle, &count), error_))
      return false;
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
      std::vector<SQLCHAR> name(256);
      SQLSMALLINT length = 0, sqlType = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      for (;;) {
        if (!stmt_->check(
                SQLDescribeCol(stmt_->handle, i, name.data(),
                               static_cast<SQLSMALLINT>(name.size()), &length,
                               &sqlType, &size, &digits, &nullable),
                error_))
          return false;
        if (static_cast<size_t>(length) < name.size()) break;
        name.resize(static_cast<size_t>(length) + 1);
      }
      columns_.push_back({KvbString(reinterpret_cast<char*>(name.data()),
                                    static_cast<size_t>(length)),
                          typeOfSqlType(sqlType), size});
    }
    row_.resize(columns_.size());
    if (columns_.empty() || !stmt_->dbc->blockReads) return true;
    return bindBlock();
  }

  int next() override {
    if (state_ == kEnd) return 0;
    if (state_ == kFailed) return 2;
    if (stmt_->run != run_)
      return failed("the statement was run again; its earlier rows are gone");
    if (columns_.empty()) return end();
    return block_ ? nextOfBlock() : nextRow();
  }

  int getNumCols() const override { return static_cast<int>(columns_.size()); }
  KvbString getColName(int column) const override {
    return valid(column) ? columns_[column].name : KvbString();
  }
  int getColType(int column) const override {
    return valid(column) ? columns_[column].type : kvbTypeUnknown;
  }
  bool isNull(int column) const override {
    if (!onRow() || !valid(column)) return true;
    return block_ ? block_->columns[column].indicators[position_] ==
                        SQL_NULL_DATA
                  : row_[column].isNull();
  }
  bool peekRow(DacValue* values, size_t count) const override {
    if (!block_ || !onRow() || count != columns_.size()) return false;
    for (size_t c = 0; c < count; ++c) values[c] = blockValue(c);
    return true;
  }

 private:
  struct Column {
    KvbString name;
    int type;
    SQLULEN size;  // as the driver declares it; texts in characters
  };
  enum State { kBefore, kRow, kEnd, kFailed };

  bool onRow() const override { return state_ == kRow; }
  void readValue(int column, KvbDatavar& value) const override {
    if (!block_) {
      value = row_[column];
      return;
    }
    const DacValue read = blockValue(static_cast<size_t>(column));
    if (read.type == kvbTypeUnknown)
      value.setNull(columns_[column].type);
    else
      sqliteValueToDatavar(read, value);
  }
  bool valid(int column) const { return column >= 0 && column < getNumCols(); }

  int failed(const char* message) {
    if (message) error_ = message;
    state_ = kFailed;
    return 2;
  }
  int end() {
    state_ = kEnd;
    stmt_->closeRows();
    return 0;
  }

  // Fetches one row and reads all of its columns, so that values can be
  // read in any order and more than once.
  int nextRow() {
    const SQLRETURN rc = SQLFetch(stmt_->handle);
    if (!stmt_->check(rc, error_)) return failed(nullptr);
    if (rc == SQL_NO_DATA) return end();
    for (size_t i = 0; i < columns_.size(); ++i)
      if (!readColumn(i)) return failed(nullptr);
    state_ = kRow;
    return 1;
  }

  // Binds every column to a block: integers and reals as such, texts to
  // buffers sized from their declared length.
  bool bindBlock() {
    auto block = std::make_shared<OdbcBlock>();
    size_t rowBytes = sizeof(SQLUSMALLINT);
    for (const Column& column : columns_) {
      OdbcBlock::Column bound;
      switch (valueFamily(column.type)) {
        case kvbTypeInt64:
          bound.cType = SQL_C_SBIGINT;
          bound.width = sizeof(int64_t);
          break;
        case kvbTypeReal:
          bound.cType = SQL_C_DOUBLE;
          bound.width = sizeof(double);
          break;
        default:
          bound.cType = SQL_C_CHAR;
          bound.width = static_cast<SQLLEN>(
              (column.size == 0
                   ? kUnsizedTextBytes
                   : std::min<size_t>(kBoundTextBytes, column.size * 4)) +
              1);
      }
      rowBytes += static_cast<size_t>(bound.width) + sizeof(SQLLEN);
      block->columns.push_back(std::move(bound));
    }
    block->rows = std::max<SQLULEN>(
        1, std::min<SQLULEN>(kBlockRows, kBlockBytes / rowBytes));
    // The driver writes every value before it is read, so the buffers start
    // out unset.
    for (OdbcBlock::Column& column : block->columns) {
      column.values.reset(
          new char[block->rows * static_cast<SQLULEN>(column.width)]);
      column.indicators.reset(new SQLLEN[block->rows]);
    }
    block->status.reset(new SQLUSMALLINT[block->rows]);
    whole_.assign(columns_.size(), false);
    if (!stmt_->bindBlock(block, error_)) return false;
    block_ = std::move(block);
    return true;
  }

  // Moves to the next row of the block, fetching the next block when this
  // one is used up. A text too long for its buffer is read whole from the
  // row here, while the driver still holds it.
  int nextOfBlock() {
    if (nextInBlock_ >= block_->fetched) {
      const SQLRETURN rc = SQLFetch(stmt_->handle);
      if (!stmt_->check(rc, error_)) return failed(nullptr);
      if (rc == SQL_NO_DATA || block_->fetched == 0) return end();
      nextInBlock_ = 0;
      // A row that could not be read fails the cursor when it is reached,
      // with the fetch's reason; the rows before it are served first.
      rowError_ = KvbString();
      if (rc == SQL_SUCCESS_WITH_INFO)
        for (SQLULEN r = 0; r < block_->fetched; ++r)
          if (block_->status[r] == SQL_ROW_ERROR) {
            rowError_ = odbcDiagnostics(rc, SQL_HANDLE_STMT, stmt_->handle);
            break;
          }
    }
    position_ = nextInBlock_++;
    switch (block_->status[position_]) {
      case SQL_ROW_ERROR:
        error_ = rowError_;
        return failed(nullptr);
      case SQL_ROW_NOROW:
        return end();
      default:
        break;
    }
    bool positioned = false;
    for (size_t c = 0; c < columns_.size(); ++c) {
      const OdbcBlock::Column& column = block_->columns[c];
      const SQLLEN indicator = column.indicators[position_];
      whole_[c] = column.cType == SQL_C_CHAR &&
                  (indicator == SQL_NO_TOTAL || indicator >= column.width);
      if (!whole_[c]) continue;
      if (!positioned &&
          !stmt_->check(SQLSetPos(stmt_->handle,
                                  static_cast<SQLSETPOSIROW>(position_ + 1),
                                  SQL_POSITION, SQL_LOCK_NO_CHANGE),
                        error_))
        return failed(nullptr);
      positioned = true;
      if (!readText(static_cast<SQLUSMALLINT>(c + 1), row_[c]))
        return failed(nullptr);
    }
    state_ = kRow;
    return 1;
  }

  // The current row's value of a column of the block, in place.
  DacValue blockValue(size_t c) const {
    const OdbcBlock::Column& column = block_->columns[c];
    const SQLLEN indicator = column.indicators[position_];
    DacValue value;
    if (indicator == SQL_NULL_DATA) return value;
    const char* data =
        column.values.get() + position_ * static_cast<SQLULEN>(column.width);
    switch (column.cType) {
      case SQL_C_SBIGINT:
        std::memcpy(&value.integer, data, sizeof value.integer);
        value.type = integerKind(value.integer, columns_[c].type);
        break;
      case SQL_C_DOUBLE:
        std::memcpy(&value.real, data, sizeof value.real);
        value.type = kvbTypeReal;
        break;
      default:
        value.type = kvbTypeString;
        if (whole_[c]) {
          value.text = row_[c].textData();
          value.length = row_[c].textLength();
        } else {
          value.text = data;
          value.length = static_cast<size_t>(indicator);
        }
    }
    return value;
  }

  bool readColumn(size_t i) {
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    const int type = columns_[i].type;
    const int family = valueFamily(type);
    if (family == kvbTypeString) return readText(number, row_[i]);
    int64_t integer = 0;
    double real = 0;
    SQLLEN indicator = 0;
    const SQLRETURN rc = family == kvbTypeInt64
                             ? SQLGetData(stmt_->handle, number, SQL_C_SBIGINT,
                                          &integer, sizeof integer, &indicator)
                             : SQLGetData(stmt_->handle, number, SQL_C_DOUBLE,
                                          &real, sizeof real, &indicator);
    if (!stmt_->check(rc, error_)) return false;
    if (indicator == SQL_NULL_DATA) {
      row_[i] = KvbDatavar::nullOf(type);
    } else if (family == kvbTypeInt64) {
      setInteger(row_[i], integer, type);
    } else {
      row_[i] = KvbDatavar(real);
    }
    return true;
  }

  // Reads a text of any length in pieces.
  bool readText(SQLUSMALLINT number, KvbDatavar& value) {
    char buffer[8192];
    std::string text;
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(stmt_->handle, number, SQL_C_CHAR, buffer,
                                      sizeof buffer, &indicator);
      if (!stmt_->check(rc, error_)) return false;
      if (rc == SQL_NO_DATA) break;
      if (indicator == SQL_NULL_DATA) {
        value = KvbDatavar::nullOf(kvbTypeString);
        return true;
      }
      const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                        (indicator == SQL_NO_TOTAL ||
                         indicator >= static_cast<SQLLEN>(sizeof buffer));
      // A driver may end a piece early rather than split a character, so
      // a full piece is measured by its terminator.
      text.append(buffer, more ? strnlen(buffer, sizeof buffer - 1)
                               : static_cast<size_t>(indicator));
      if (!more) break;
    }
    value = KvbDatavar(KvbString(std::move(text)));
    return true;
  }

  std::shared_ptr<OdbcStmt> stmt_;
  const uint64_t run_;
  std::vector<Column> columns_;
  // Row by row: the current row's values. In blocks: the whole texts of
  // the current row that did not fit their buffers.
  std::vector<KvbDatavar> row_;
  State state_ = kBefore;
  std::shared_ptr<OdbcBlock> block_;  // null when rows are read one by one
  SQLULEN position_ = 0;     // the current row's place in the block
  SQLULEN nextInBlock_ = 0;  // the next row's place in the block
  std::vector<bool> whole_;  // per column: row_ holds the current text
  KvbString rowError_;       // why the block's failed rows failed
};

class OdbcStatement : public StatementBase {
 public:
  explicit OdbcStatement(std::shared_ptr<OdbcStmt> stmt)
      : stmt_(std::move(stmt)) {}

  bool execute(int64_t* rows) override {
    return stmt_->execute(error_) && finishRun(*stmt_, rows, error_);
  }
  DacCursor* select() override {
    if (!stmt_->execute(error_)) return nullptr;
    auto* cursor = new OdbcCursor(stmt_);
    if (!cursor->describe()) {
      error_ = cursor->getErrorMessage();
      cursor->release();
      return nullptr;
    }
    return cursor;
  }
  void release() override { delete this; }

 private:
  bool bindValue(int index, const KvbDatavar& value, int size) override {
    OdbcParam& param = stmt_->params[index];
    OdbcParam::Binding binding;
    switch (valueFamily(value.getType())) {
      case kvbTypeInt64:
        param.integer = value.isNull() ? 0 : value.asInt64();
        binding.cType = SQL_C_SBIGINT;
        binding.sqlType =
            value.getType() == kvbTypeInt ? SQL_INTEGER : SQL_BIGINT;
        binding.data = &param.integer;
        break;
      case kvbTypeReal:
        if (stmt_->dbc->keepsNoNan && !value.isNull() &&
            std::isnan(value.asDouble())) {
          error_ = stmt_->whileDoing(
              "Binding", sqliteNanRefusal(stmt_->sql.asCstr(), index));
          return false;
        }
        param.real = value.isNull() ? 0 : value.asDouble();
        binding.cType = SQL_C_DOUBLE;
        binding.sqlType = SQL_DOUBLE;
        binding.data = &param.real;
        break;
      default:
        if (!storable(index, value)) return false;
        param.text.assign(value.textData(), value.textLength());
        binding.cType = SQL_C_CHAR;
        binding.sqlType = SQL_VARCHAR;
        binding.columnSize = std::max<SQLULEN>(
            static_cast<SQLULEN>(std::max(size, 1)), param.text.size());
        binding.data = &param.text[0];
        binding.bufferLength = static_cast<SQLLEN>(param.text.size());
    }
    param.indicator = value.isNull() ? SQL_NULL_DATA : binding.bufferLength;
    if (binding == param.bound) return true;
    param.bound = OdbcParam::Binding();
    if (!stmt_->check(SQLBindParameter(
                          stmt_->handle, static_cast<SQLUSMALLINT>(index + 1),
                          SQL_PARAM_INPUT, binding.cType, binding.sqlType,
                          binding.columnSize, 0, binding.data,
                          binding.bufferLength, &param.indicator),
                      error_))
      return false;
    param.bound = binding;
    return true;
  }
  // False, with the reason, for a text that holds a NUL byte where the
  // database's texts cannot hold one: nothing is stored rather than a text
  // cut short.
  bool storable(int index, const KvbDatavar& text) {
    const KvbString& refusedBy = stmt_->dbc->nulRefusedBy;
    if (refusedBy.isEmpty() || text.isNull() ||
        !std::memchr(text.textData(), 0, text.textLength()))
      return true;
    error_ = stmt_->whileDoing(
        "Binding", kvbStringFormat("the text of parameter %d%s%S cannot store",
                                   index + 1, kNulByteHeld, refusedBy));
    return false;
  }

  std::shared_ptr<OdbcStmt> stmt_;
};

class OdbcConnection : public ConnectionBase {
 public:
  OdbcConnection(std::shared_ptr<OdbcDbc> dbc,
                 std::vector<Attribute> attributes, const KvbString& dbmsName,
                 const KvbString& quote, int maxIdentifierLength)
      : ConnectionBase(kindOfDbms(dbmsName), dbmsName, quote,
                       maxIdentifierLength),
        line_(std::make_shared<OdbcLine>()),
        attributes_(std::move(attributes)) {
    line_->dbc = std::move(dbc);
  }

  static DacDbKind kindOfDbms(const KvbString& name) {
    if (name.startsWith("SQLite", true)) return DAC_DB_SQLITE;
    if (name.startsWith("PostgreSQL", true)) return DAC_DB_POSTGRESQL;
    return DAC_DB_UNKNOWN;
  }

  bool sharesServerSessions() const override {
    return line_->dbc->ownTransactions;
  }
  void setOwnTransactionStart(std::vector<KvbString> statements) override {
    line_->ownTransactionStart = std::move(statements);
  }

  bool execute(const KvbString& sql, int64_t* rows) override {
    std::shared_ptr<OdbcStmt> stmt = allocStatement(line_, sql, error_);
    return stmt && stmt->execute(error_) && finishRun(*stmt, rows, error_);
  }
  DacStatement* prepare(const KvbString& sql) override {
    if (faulted(DacFault::kPrepare, error_)) return nullptr;
    std::shared_ptr<OdbcStmt> stmt = allocStatement(line_, sql, error_);
    if (!stmt || !stmt->check(SQLPrepare(stmt->handle, sqlText(sql),
                                         static_cast<SQLINTEGER>(sql.length())),
                              error_, "Preparing"))
      return nullptr;
    stmt->prepared = true;
    return new OdbcStatement(std::move(stmt));
  }
  // The driver is not asked to prepare the text: on a server a prepared
  // statement costs its own work at the run and for each row it gives.
  DacStatement* prepareToRunOnce(const KvbString& sql) override {
    if (faulted(DacFault::kPrepare, error_)) return nullptr;
    std::shared_ptr<OdbcStmt> stmt = allocStatement(line_, sql, error_);
    if (!stmt) return nullptr;
    return new OdbcStatement(std::move(stmt));
  }

  // Turning autocommit on commits an open transaction, which a session
  // that is gone cannot.
  bool setAutoCommit(bool on) override {
    const OdbcDbc& dbc = *line_->dbc;
    if (on && !dbc.autoCommit && dbc.gone()) {
      error_ = KvbString("Turning autocommit on: ") + kGoneBeforeEnd;
      return false;
    }
    if (!check(setAutoCommitMode(dbc.handle, on),
               on ? "Turning autocommit on" : "Turning autocommit off"))
      return false;
    line_->dbc->autoCommit = on;
    return true;
  }
  bool commit() override {
    return ended(SQL_COMMIT, "Committing the transaction");
  }
  bool rollback() override {
    return ended(SQL_ROLLBACK, "Rolling the transaction back");
  }
  void release() override { delete this; }
  bool reconnect() override;

 private:
  bool ended(SQLSMALLINT completion, const char* doing) {
    if (endTransactionOn(*line_->dbc, completion, error_)) return true;
    error_ = KvbString(doing) + ": " + error_;
    return false;
  }
  // odbcCheck of a call on the connection, whose failure says what was
  // being done (`doing`).
  bool check(SQLRETURN rc, const char* doing) {
    if (odbcCheck(rc, SQL_HANDLE_DBC, line_->dbc->handle, error_)) return true;
    sayWhenGone(*line_->dbc, error_);
    error_ = KvbString(doing) + ": " + error_;
    return false;
  }

  std::shared_ptr<OdbcLine> line_;
  const std::vector<Attribute> attributes_;  // to open a new session with
};

bool infoText(SQLHDBC dbc, SQLUSMALLINT item, KvbString& value,
              KvbString& error) {
  char buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!odbcCheck(SQLGetInfo(dbc, item, buffer, sizeof buffer, &length),
                 SQL_HANDLE_DBC, dbc, error))
    return false;
  value = KvbString(buffer).trim();  // a quote of " " means none
  return true;
}

// The driver library that the driver manager loads for the Driver
// attribute `driver`: the library registered under that name, or the value
// itself when no driver is registered under it (a library's path). False,
// with the reason, when the registered drivers cannot be listed.
bool driverLibrary(SQLHENV environment, const KvbString& driver,
                   KvbString& library, KvbString& error) {
  library = driver;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[256] = {};
    SQLCHAR settings[4096] = {};
    SQLSMALLINT nameLength = 0, settingsLength = 0;
    const SQLRETURN rc =
        SQLDrivers(environment, direction, name, sizeof name, &nameLength,
                   settings, sizeof settings, &settingsLength);
    if (rc == SQL_NO_DATA) return true;
    if (!odbcCheck(rc, SQL_HANDLE_ENV, environment, error)) return false;
    direction = SQL_FETCH_NEXT;
    if (!driver.equals(reinterpret_cast<char*>(name), true)) continue;
    // The settings are "key=value" texts, each ended by a NUL, with one
    // more NUL after the last.
    for (const char* setting = reinterpret_cast<char*>(settings); *setting;
         setting += std::strlen(setting) + 1)
      if (strncasecmp(setting, "Driver=", 7) == 0) library = setting + 7;
    return true;
  }
}

// Sets `sqlite` when the Driver attribute `driver` names a SQLite ODBC
// driver: one whose library's file name holds "sqlite". False, with the
// reason, when the registered drivers cannot be listed.
bool isSqliteDriver(SQLHENV environment, const KvbString& driver, bool& sqlite,
                    KvbString& error) {
  KvbString library;
  if (!driverLibrary(environment, driver, library, error)) return false;
  const size_t slash = library.rfind('/');
  KvbString fileName =
      slash == KvbString::npos ? library : library.substr(slash + 1);
  sqlite = fileName.toLower().find("sqlite") != KvbString::npos;
  return true;
}

// The SQLite ODBC drivers take a connection string without a database file
// as the file's name, and so would create a file named after the
// connection string in the current folder. Such a string is refused before
// the driver sees it: false, with the reason, when `attributes` name a
// SQLite driver without a DSN and without a Database value.
bool namesSqliteFile(SQLHENV environment,
                     const std::vector<Attribute>& attributes,
                     KvbString& error) {
  const Attribute* driver = findAttribute(attributes, "DRIVER");
  const Attribute* dsn = findAttribute(attributes, "DSN");
  const Attribute* database = findAttribute(attributes, "DATABASE");
  if (!driver || (dsn && !dsn->value.isEmpty()) ||
      (database && !database->value.isEmpty()))
    return true;
  bool sqlite = false;
  if (!isSqliteDriver(environment, driver->value, sqlite, error)) return false;
  if (!sqlite) return true;
  error = kvbStringFormat(
      "the connection string names no database file (Database=) for the "
      "SQLite ODBC driver \"%S\"",
      driver->value);
  return false;
}

// Adds to `error`, a SQLite ODBC driver's failure to connect to the file
// that `attributes` name (Database=), why the system refuses the file
// ("(its folder: No such file or directory)"): the driver's own reason is
// only that it could not connect.
void addFileRefusal(SQLHENV environment,
                    const std::vector<Attribute>& attributes,
                    KvbString& error) {
  const Attribute* driver = findAttribute(attributes, "DRIVER");
  const Attribute* database = findAttribute(attributes, "DATABASE");
  bool sqlite = false;
  KvbString unknown;
  if (!driver || !database || database->value.isEmpty() ||
      !isSqliteDriver(environment, driver->value, sqlite, unknown) || !sqlite)
    return;
  const KvbString refusal = sqliteFileRefusal(database->value);
  if (!refusal.isEmpty()) error += " (" + refusal + ")";
}

// A new server session for `attributes`, with what the connection reads of
// it; null, with the driver's reason, when it cannot be opened.
std::shared_ptr<OdbcDbc> openSession(const std::vector<Attribute>& attributes,
                                     KvbString& error) {
  const OdbcEnvironment& environment = odbcEnvironment();
  if (environment.handle == SQL_NULL_HENV) {
    error = environment.error;
    return nullptr;
  }
  auto dbc = std::make_shared<OdbcDbc>();
  if (!odbcCheck(
          SQLAllocHandle(SQL_HANDLE_DBC, environment.handle, &dbc->handle),
          SQL_HANDLE_ENV, environment.handle, error)) {
    dbc->handle = SQL_NULL_HDBC;
    return nullptr;
  }
  const KvbString text = odbcText(attributes);
  // Drivers may change process-wide state while they connect (the PostgreSQL
  // driver sets the locale, which is not safe on several threads at once),
  // so connections are made one at a time, and the registered drivers are
  // read under the same lock; next to a connection's round trips to its
  // server this costs nothing. Never destroyed, as the environment.
  static std::mutex* const connecting = new std::mutex;
  std::lock_guard<std::mutex> oneAtATime(*connecting);
  if (!namesSqliteFile(environment.handle, attributes, error)) return nullptr;
  if (!odbcCheck(SQLDriverConnect(dbc->handle, nullptr, sqlText(text),
                                  static_cast<SQLSMALLINT>(text.length()),
                                  nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
                 SQL_HANDLE_DBC, dbc->handle, error)) {
    addFileRefusal(environment.handle, attributes, error);
    return nullptr;
  }
  dbc->connected = true;
  if (!infoText(dbc->handle, SQL_DBMS_NAME, dbc->dbmsName, error))
    return nullptr;
  dbc->keepsNoNan =
      OdbcConnection::kindOfDbms(dbc->dbmsName) == DAC_DB_SQLITE;
  if (OdbcConnection::kindOfDbms(dbc->dbmsName) == DAC_DB_POSTGRESQL) {
    dbc->nulRefusedBy = dbc->dbmsName;
    const Attribute* serverPrepare =
        findAttribute(attributes, "UseServerSidePrepare");
    dbc->ownTransactions = serverPrepare && serverPrepare->value == "0";
  }
  // Rows are read in blocks of bound columns when the driver can also hand
  // out a bound column of any row of a block by SQLGetData: that reads a
  // text too long for its buffer whole. A driver that cannot, or does not
  // say, is read row by row.
  SQLUINTEGER getData = 0, positioning = 0;
  KvbString unknown;
  const SQLUINTEGER needed = SQL_GD_BLOCK | SQL_GD_BOUND;
  dbc->blockReads =
      odbcCheck(SQLGetInfo(dbc->handle, SQL_GETDATA_EXTENSIONS, &getData,
                           sizeof getData, nullptr),
                SQL_HANDLE_DBC, dbc->handle, unknown) &&
      odbcCheck(SQLGetInfo(dbc->handle, SQL_POS_OPERATIONS, &positioning,
                           sizeof positioning, nullptr),
                SQL_HANDLE_DBC, dbc->handle, unknown) &&
      (getData & needed) == needed && (positioning & SQL_POS_POSITION) != 0;
  return dbc;
}

DacConnection* connectOdbc(const std::vector<Attribute>& attributes,
                           KvbString& error) {
  std::shared_ptr<OdbcDbc> dbc = openSession(attributes, error);
  KvbString quote;
  SQLUSMALLINT maxIdentifierLength = 0;
  if (!dbc ||
      !infoText(dbc->handle, SQL_IDENTIFIER_QUOTE_CHAR, quote, error) ||
      !odbcCheck(SQLGetInfo(dbc->handle, SQL_MAX_IDENTIFIER_LEN,
                            &maxIdentifierLength, 0, nullptr),
                 SQL_HANDLE_DBC, dbc->handle, error))
    return nullptr;
  const KvbString dbmsName = dbc->dbmsName;
  return new OdbcConnection(std::move(dbc), attributes, dbmsName, quote,
                            maxIdentifierLength);
}

KvbString shownConnection(const std::vector<Attribute>& attributes);

// The session that was lost stays with the statements and cursors that
// still hold it, and closes when the last of them has moved on or ended.
bool OdbcConnection::reconnect() {
  KvbString error;
  std::shared_ptr<OdbcDbc> dbc = openSession(attributes_, error);
  if (!dbc) {
    error_ = "Connecting to " + shownConnection(attributes_) + ": " + error;
    return false;
  }
  line_->dbc = std::move(dbc);
  return true;
}

// The connection string as a failure's text shows it: its attributes as
// written, without KVXTYPE and without a password (PWD or PASSWORD).
KvbString shownConnection(const std::vector<Attribute>& attributes) {
  KvbString text("");
  for (const Attribute& attribute : attributes) {
    if (attribute.key.equals("KVXTYPE", true) ||
        attribute.key.equals("PWD", true) ||
        attribute.key.equals("PASSWORD", true))
      continue;
    if (!text.isEmpty()) text += ';';
    text += attribute.text;
  }
  return text;
}

// connectOdbc, whose failure says which connection it was making.
DacConnection* openOdbc(const std::vector<Attribute>& attributes,
                        KvbString& error) {
  DacConnection* connection = connectOdbc(attributes, error);
  if (!connection)
    error = "Connecting to " + shownConnection(attributes) + ": " + error;
  return connection;
}

}  // namespace

// ---------------------------------------------------------------------------

// A record's SQLSTATE stands at the text's start or after "; " (see
// odbcDiagnostics). Class 08 is a connection exception; 57P01 and 57P02 are
// the server ending the session (an administrator's termination, a
// shutdown or a crash), which the PostgreSQL driver reports as they come
// when it does not prepare on the server. Once it knows the session is
// gone, that driver refuses every call with "... unable due to the
// connection lost"; some of its calls give the server's and the client
// library's texts under SQLSTATE HY000.
bool dacSessionLost(const KvbString& errorText) {
  static const char* const kTexts[] = {
      "unable due to the connection lost", "The connection has been lost",
      "server closed the connection unexpectedly",
      "terminating connection due to", "no connection to the server",
      "could not send data to server", "could not receive data from server"};
  const std::string& text = errorText.str();
  for (const char* lost : kTexts)
    if (text.find(lost) != std::string::npos) return true;
  for (size_t at = text.find('['); at != std::string::npos;
       at = text.find('[', at + 1)) {
    if (at != 0 && text.compare(at - 1, 1, " ") != 0) continue;
    if (text.compare(at, 3, "[08") == 0 || text.compare(at, 7, "[57P01]") == 0 ||
        text.compare(at, 7, "[57P02]") == 0)
      return true;
  }
  return false;
}

void dacSetFaultHook(DacFaultHook hook) { faultHook.store(hook); }

DacConnection* dacCreateDataSource(const KvbString& connectionString,
                                   KvbString* errorText) {
  KvbString error;
  std::vector<Attribute> attributes;
  DacConnection* connection = nullptr;
  if (!parseConnectionString(connectionString, attributes, error)) {
    error = unreadableText(connectionString, error);
  } else {
    const Attribute* type = findAttribute(attributes, "KVXTYPE");
    connection = type && type->value.equals("SQLITE", true)
                     ? openNative(attributes, error)
                     : openOdbc(attributes, error);
  }
  if (!connection && errorText) *errorText = error;
  return connection;
}

KvbString dacOdbcConnectionString(const KvbString& connectionString) {
  std::vector<Attribute> attributes;
  KvbString error;
  if (!parseConnectionString(connectionString, attributes, error))
    return KvbString();
  return odbcText(attributes);
}

KvbString dacConnectionStringWithoutPassword(
    const KvbString& connectionString) {
  std::vector<Attribute> attributes;
  KvbString error;
  if (!parseConnectionString(connectionString, attributes, error))
    return KvbString();
  return shownConnection(attributes);
}

KvbString dacSqliteFilePath(const KvbString& connectionString) {
  std::vector<Attribute> attributes;
  KvbString error;
  if (!parseConnectionString(connectionString, attributes, error))
    return KvbString();
  const Attribute* type = findAttribute(attributes, "KVXTYPE");
  const Attribute* file = findAttribute(attributes, "FILE");
  if (!type || !type->value.equals("SQLITE", true) || !file ||
      file->value.isEmpty())
    return KvbString();
  return file->value;
}

KvbString dacSqliteFileConnectionString(const KvbString& path) {
  KvbString text("FILE={");
  for (char c : path.str()) {
    text.append(c);
    if (c == '}') text.append(c);
  }
  return text.append("};CREATE=TRUE;KVXTYPE=SQLITE");
}

int dacGetMaxTextLength(DacDbKind kind) {
  switch (kind) {
    case DAC_DB_SQLITE:
      return 1000000000;
    case DAC_DB_POSTGRESQL:
      return 10485760;
    case DAC_DB_PRIMARY_INDEX:
      return 32000;
    default:
      return 255;
  }
}

size_t dacNulByteRefusal(const KvbString& errorText) {
  const size_t at = errorText.str().rfind(kNulByteHeld);
  return at != std::string::npos && errorText.endsWith(" cannot store")
             ? at
             : KvbString::npos;
}

KvbString dacGetTypeName(DacDbKind kind, int kvbType, int size) {
  switch (kvbType) {
    case kvbTypeInt:
      return "INTEGER";
    case kvbTypeInt64:
      return "BIGINT";
    case kvbTypeReal:
    case kvbTypeDate:
      if (kind == DAC_DB_SQLITE) return "REAL";
      return kind == DAC_DB_PRIMARY_INDEX ? "FLOAT" : "DOUBLE PRECISION";
    case kvbTypeString: {
      const int max = dacGetMaxTextLength(kind);
      return kvbStringFormat("VARCHAR(%d)",
                             size < 1 || size > max ? max : size);
    }
    default:
      return KvbString();
  }
}
