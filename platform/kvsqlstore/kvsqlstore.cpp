// kvsqlstore: the SQLite wrapper over libsqlite3 (databases, prepared
// statements and results).
#include "kvsqlstore/kvsqlstore.h"

#include <pthread.h>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;

// The file behind one connection, shared by the database object and its
// compiled statements, which may outlive it: its path, which the texts of
// the file's failures name, and the wait of its busy handler. SQLite calls
// the handler with this object, so it must live as long as the connection:
// each statement holds it until after it has been finalised, and the
// connection closes at the latest with its last statement.
struct SqliteFile {
  explicit SqliteFile(KvbString name) : path(std::move(name)) {}

  const KvbString path;
  int busyTimeoutMs = 0;
  // The wait of the call that met a lock; a connection is used by one
  // thread at a time, so one wait serves all its calls.
  SqliteBusyWait wait{0};
  // The handler gave up waiting, and no failure's text has said so yet.
  bool gaveUp = false;
};

// SQLite's busy handler of every connection: a SqliteBusyWait for each
// call that meets a lock (`tries` is 0 at its first try).
int waitForLock(void* data, int tries) {
  auto* file = static_cast<SqliteFile*>(data);
  if (tries == 0) {
    file->wait = SqliteBusyWait(file->busyTimeoutMs);
    file->gaveUp = false;
  }
  if (file->wait.pause()) return 1;
  file->gaveUp = true;
  return 0;
}

// Makes `db` wait for locks for `milliseconds`, or fail at once for 0.
void setLockWait(sqlite3* db, SqliteFile& file, int milliseconds) {
  file.busyTimeoutMs = std::max(milliseconds, 0);
  if (milliseconds <= 0)
    sqlite3_busy_handler(db, nullptr, nullptr);
  else
    sqlite3_busy_handler(db, waitForLock, &file);
}

// The system's text for `error` ("Permission denied").
std::string systemReason(int error) {
  return std::generic_category().message(error);
}

// The cause of a failure `rc` of a call on `db` that concerns the file
// rather than the statement: another connection's lock, with the wait
// that the busy timeout allowed, or the system's refusal to open, read or
// write it. Null for any other failure.
KvbString fileCause(int rc, sqlite3* db, SqliteFile& file) {
  const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  std::string reason;
  switch (rc & 0xff) {
    case SQLITE_BUSY: {
      // SQLite fails without calling the handler where no wait could
      // help: a read transaction that would write must not wait for a
      // writer, who must wait for that read to end before it can commit.
      const bool waited = file.gaveUp || file.busyTimeoutMs == 0;
      file.gaveUp = false;
      if (!waited)
        return "database is locked by another connection, which cannot "
               "commit while this connection's read transaction is open; no "
               "wait could help";
      return kvbStringFormat(
          "database is locked by another connection; gave up waiting for it "
          "after %d ms (SQLITE/BUSY_TIMEOUT)",
          file.busyTimeoutMs);
    }
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
      // Asked of the system afresh: after a refused open SQLite tries a
      // read-only one, whose error (a missing file) would hide the first.
      reason = sqliteFileRefusal(file.path).str();
      break;
    case SQLITE_IOERR:
    case SQLITE_FULL:
      // The system's error of the read or write that failed.
      if (db && sqlite3_system_errno(db) != 0)
        reason = systemReason(sqlite3_system_errno(db));
      break;
    default:
      return KvbString();
  }
  return reason.empty() ? KvbString(message)
                        : kvbStringFormat("%s (%s)", message, reason.c_str());
}

// The text of a failure `rc` of a call on `db` (null when there is no
// connection) on `file` (null for a failure that the file cannot cause):
// SQLite's message, or for a failure of the file, what could not be done
// with which file and why.
KvbString failureText(int rc, sqlite3* db, SqliteFile* file) {
  const KvbString cause = file ? fileCause(rc, db, *file) : KvbString();
  if (cause.isNull()) return db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  const int primary = rc & 0xff;
  return kvbStringFormat(
      "cannot %s the database file '%S': %S",
      primary == SQLITE_READONLY || primary == SQLITE_FULL ? "write" : "access",
      file->path, cause);
}

// The calling thread's last failed open. Kept under a POSIX thread-specific
// key, whose destructor runs after every C++ thread_local destructor, so
// that an open from a host's thread_local destructor still has its place.
// The key is never deleted: the library is linked not to be unloaded.
KvbString& lastOpenError() {
  static const pthread_key_t key = [] {
    pthread_key_t made;
    pthread_key_create(&made,
                       [](void* text) { delete static_cast<KvbString*>(text); });
    return made;
  }();
  auto* text = static_cast<KvbString*>(pthread_getspecific(key));
  if (!text) {
    text = new KvbString;
    pthread_setspecific(key, text);
  }
  return *text;
}

// The last failure of one object: SQLite's message and whether it was busy.
struct SqliteError {
  KvbString text;
  bool busy = false;

  // Records the failure `rc` of a call on `db` (null when there is no
  // connection) on `file` (as failureText takes them) and answers false,
  // so that callers can return it.
  bool set(int rc, sqlite3* db, SqliteFile* file) {
    text = failureText(rc, db, file);
    busy = (rc & 0xff) == SQLITE_BUSY;
    return false;
  }
  bool set(const char* message) {
    text = message;
    busy = false;
    return false;
  }
};

// A compiled statement shared by its SqliteStatement and the results opened
// from it; finalised when the last of them ends and the database's cache of
// statements holds it no more. Every restart raises `run`, which ends the
// rows of results opened before.
struct StmtHandle {
  StmtHandle(sqlite3_stmt* s, std::shared_ptr<SqliteFile> f)
      : stmt(s), file(std::move(f)), texts(sqlite3_bind_parameter_count(s)) {}
  ~StmtHandle() { sqlite3_finalize(stmt); }
  StmtHandle(const StmtHandle&) = delete;
  StmtHandle& operator=(const StmtHandle&) = delete;

  sqlite3* db() const { return sqlite3_db_handle(stmt); }
  // Makes the statement ready to bind and run; resets it only when it ran.
  void restart() {
    if (stepped) sqlite3_reset(stmt);
    stepped = false;
    ++run;
  }
  int step() {
    stepped = true;
    return sqlite3_step(stmt);
  }
  // Steps to the end. Rows changed, when asked for, are counted by the
  // connection's total so that statements without row counts (DDL) report 0.
  int runToEnd(int64_t* rowsChanged) {
    const int64_t before = rowsChanged ? sqlite3_total_changes64(db()) : 0;
    int rc;
    while ((rc = step()) == SQLITE_ROW) {
    }
    if (rowsChanged) *rowsChanged = sqlite3_total_changes64(db()) - before;
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
  }
  // Called when its last statement or result ends while the cache keeps
  // it: the statement is reset, so that it holds no lock on the file while
  // it waits, and its values are unbound, so that its next use starts from
  // nulls as a newly prepared statement does.
  void idle() {
    restart();
    sqlite3_clear_bindings(stmt);
    for (BoundText& text : texts) text.bound = false;
  }

  sqlite3_stmt* stmt;
  // Let go of after the statement is finalised (see SqliteFile).
  std::shared_ptr<SqliteFile> file;
  uint64_t run = 0;
  bool stepped = false;
  bool cached = false;  // the database's cache holds it
  int users = 0;        // statements and results that use it now
  // The text buffer of a parameter, and whether SQLite holds it as the
  // parameter's value now (a binding lasts across runs until the next one).
  struct BoundText {
    std::string bytes;
    bool bound = false;
  };
  // The bound texts, which SQLite reads in place: they live as long as the
  // compiled statement, also when results outlive the SqliteStatement. One
  // per parameter from the start, so that no text ever moves.
  std::vector<BoundText> texts;
};

// One statement's or result's use of a handle. While a use exists the
// cache does not give the handle out again.
class StmtUse {
 public:
  explicit StmtUse(std::shared_ptr<StmtHandle> handle)
      : handle_(std::move(handle)) {
    ++handle_->users;
  }
  ~StmtUse() {
    if (--handle_->users == 0 && handle_->cached) handle_->idle();
  }
  StmtUse(const StmtUse& other) : StmtUse(other.handle_) {}
  StmtUse& operator=(const StmtUse&) = delete;

  StmtHandle* operator->() const { return handle_.get(); }
  // The statements and results that use the handle now.
  int users() const { return handle_->users; }

 private:
  std::shared_ptr<StmtHandle> handle_;
};

bool isBlank(const char* text) {
  while (*text && std::isspace(static_cast<unsigned char>(*text))) ++text;
  return *text == '\0';
}

// True when the statement text starts with a word that changes the schema
// (CREATE, DROP, ALTER, ATTACH, DETACH).
bool changesSchema(const char* text) {
  while (*text && std::isspace(static_cast<unsigned char>(*text))) ++text;
  for (const char* word : {"CREATE", "DROP", "ALTER", "ATTACH", "DETACH"}) {
    const size_t n = std::strlen(word);
    if (sqlite3_strnicmp(text, word, static_cast<int>(n)) == 0 &&
        !std::isalnum(static_cast<unsigned char>(text[n])))
      return true;
  }
  return false;
}

class SqliteResultImpl final : public SqliteResult {
 public:
  explicit SqliteResultImpl(const StmtUse& use)
      : handle_(use), run_(handle_->run) {}

  int next() override {
    if (state_ == kEnd) return 0;
    if (state_ == kFailed) return 2;
    if (handle_->run != run_) {
      state_ = kFailed;
      error_.set("the statement was run again; its earlier rows are gone");
      return 2;
    }
    const int rc = handle_->step();
    if (rc == SQLITE_ROW) {
      state_ = kRow;
      return 1;
    }
    if (rc == SQLITE_DONE) {
      state_ = kEnd;
      return 0;
    }
    state_ = kFailed;
    error_.set(rc, handle_->db(), handle_->file.get());
    return 2;
  }

  int getColumnCount() const override {
    return sqlite3_column_count(handle_->stmt);
  }
  KvbString getColumnName(int column) const override {
    return validColumn(column) ? sqlite3_column_name(handle_->stmt, column)
                               : nullptr;
  }
  KvbString getColumnDeclaredType(int column) const override {
    return validColumn(column) ? sqlite3_column_decltype(handle_->stmt, column)
                               : nullptr;
  }

  int getColumnType(int column) const override {
    if (!hasValue(column)) return kSqliteNull;
    const int type = sqlite3_column_type(handle_->stmt, column);
    return type == SQLITE_BLOB ? kSqliteText : type;
  }
  bool isNull(int column) const override {
    return getColumnType(column) == kSqliteNull;
  }
  KvbString getText(int column) const override {
    if (isNull(column)) return KvbString();
    // The text pointer must be taken before the length.
    const auto* text = reinterpret_cast<const char*>(
        sqlite3_column_text(handle_->stmt, column));
    return KvbString(text ? text : "", static_cast<size_t>(sqlite3_column_bytes(
                                           handle_->stmt, column)));
  }
  bool getValue(int column, KvbDatavar& value) const override {
    SqliteValue v;
    const bool found = peekValue(column, v);
    sqliteValueToDatavar(v, value);
    return found;
  }
  bool peekValue(int column, SqliteValue& value) const override {
    value.type = kvbTypeUnknown;
    if (!hasValue(column)) return false;
    peek(column, value);
    return true;
  }
  bool peekRow(SqliteValue* values, size_t count) const override {
    const bool found =
        onRow() && count <= static_cast<size_t>(getColumnCount());
    for (size_t c = 0; c < count; ++c) {
      values[c].type = kvbTypeUnknown;
      if (found) peek(static_cast<int>(c), values[c]);
    }
    return found;
  }
  bool isSoleUser() const override { return handle_.users() == 1; }
  int nextRow(SqliteValue* values, size_t count) override {
    const int result = next();
    if (result != 1) return result;
    // A run's columns are settled once it gave a row (a statement that
    // SQLite prepares again for a changed schema does so before).
    if (columns_ < 0) columns_ = getColumnCount();
    const bool found = count <= static_cast<size_t>(columns_);
    for (size_t c = 0; c < count; ++c) {
      values[c].type = kvbTypeUnknown;
      if (found) peek(static_cast<int>(c), values[c]);
    }
    return result;
  }
  int getInt(int column) const override {
    return hasValue(column) ? sqlite3_column_int(handle_->stmt, column) : 0;
  }
  int64_t getInt64(int column) const override {
    return hasValue(column) ? sqlite3_column_int64(handle_->stmt, column) : 0;
  }
  double getReal(int column) const override {
    return hasValue(column) ? sqlite3_column_double(handle_->stmt, column)
                            : 0.0;
  }

  KvbString getErrorMessage() const override { return error_.text; }
  bool isBusy() const override { return error_.busy; }
  void close() override { delete this; }

 private:
  enum State { kBefore, kRow, kEnd, kFailed };

  bool validColumn(int column) const {
    return column >= 0 && column < sqlite3_column_count(handle_->stmt);
  }
  bool onRow() const { return state_ == kRow && handle_->run == run_; }
  bool hasValue(int column) const { return onRow() && validColumn(column); }
  // The value of a column of the current row: one call into the statement
  // (sqlite3_column_value); the value calls after it read the value only.
  void peek(int column, SqliteValue& value) const {
    sqlite3_value* v = sqlite3_column_value(handle_->stmt, column);
    switch (sqlite3_value_type(v)) {
      case SQLITE_INTEGER:
        value.integer = sqlite3_value_int64(v);
        value.type = value.integer >= INT32_MIN && value.integer <= INT32_MAX
                         ? kvbTypeInt
                         : kvbTypeInt64;
        break;
      case SQLITE_FLOAT:
        value.real = sqlite3_value_double(v);
        value.type = kvbTypeReal;
        break;
      case SQLITE_NULL:
        break;
      default: {
        // The text pointer must be taken before the length.
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(v));
        value.text = text ? text : "";
        value.length = static_cast<size_t>(sqlite3_value_bytes(v));
        value.type = kvbTypeString;
      }
    }
  }

  StmtUse handle_;
  const uint64_t run_;
  State state_ = kBefore;
  int columns_ = -1;  // the columns of the rows, once one was read
  SqliteError error_;
};

class SqliteStatementImpl : public SqliteStatement {
 public:
  explicit SqliteStatementImpl(std::shared_ptr<StmtHandle> handle)
      : handle_(std::move(handle)) {}

  bool setNull(int index) override {
    return bound(sqlite3_bind_null(rebinding(index), index + 1));
  }
  bool setInt(int index, int value) override {
    return bound(sqlite3_bind_int(rebinding(index), index + 1, value));
  }
  bool setInt64(int index, int64_t value) override {
    return bound(sqlite3_bind_int64(rebinding(index), index + 1, value));
  }
  // SQLite stores NULL in place of a NaN: refused, so that nothing else
  // than the value given is stored.
  bool setReal(int index, double value) override {
    if (std::isnan(value))
      return error_.set(
          sqliteNanRefusal(sqlite3_sql(handle_->stmt), index).asCstr());
    return bound(sqlite3_bind_double(rebinding(index), index + 1, value));
  }
  // The text is copied into a buffer of its parameter, which is reused on
  // the next bind, and handed to SQLite without a further copy. The text
  // that the parameter holds already, as a value bound row after row does,
  // is neither copied nor bound again.
  bool setText(int index, const char* text, size_t length) override {
    if (!text) return setNull(index);
    std::vector<StmtHandle::BoundText>& texts = handle_->texts;
    // No SQLite call failed: the connection's last message is not the reason.
    if (index < 0 || static_cast<size_t>(index) >= texts.size())
      return error_.set(SQLITE_RANGE, nullptr, nullptr);
    StmtHandle::BoundText& param = texts[index];
    if (param.bound && param.bytes.size() == length &&
        std::memcmp(param.bytes.data(), text, length) == 0) {
      restarted();
      return true;
    }
    sqlite3_stmt* stmt = rebinding(index);
    param.bytes.assign(text, length);
    param.bound = bound(sqlite3_bind_text64(stmt, index + 1, param.bytes.data(),
                                            length, SQLITE_STATIC, SQLITE_UTF8));
    return param.bound;
  }

  bool execute(int64_t* rowsChanged) override {
    handle_->restart();
    const int rc = handle_->runToEnd(rowsChanged);
    return rc == SQLITE_OK ||
           error_.set(rc, handle_->db(), handle_->file.get());
  }
  SqliteResult* openResult() override {
    restarted();
    return new SqliteResultImpl(handle_);
  }

  KvbString getErrorMessage() const override { return error_.text; }
  bool isBusy() const override { return error_.busy; }
  void release() override { delete this; }

 private:
  sqlite3_stmt* restarted() {
    handle_->restart();
    return handle_->stmt;
  }
  // restarted() for a new value of parameter `index`, which then no longer
  // holds its text buffer.
  sqlite3_stmt* rebinding(int index) {
    if (index >= 0 && static_cast<size_t>(index) < handle_->texts.size())
      handle_->texts[index].bound = false;
    return restarted();
  }
  bool bound(int rc) {
    return rc == SQLITE_OK ||
           error_.set(rc, handle_->db(), handle_->file.get());
  }

  StmtUse handle_;
  SqliteError error_;
};

class SqliteDatabaseImpl : public SqliteDatabase {
 public:
  SqliteDatabaseImpl(sqlite3* db, std::shared_ptr<SqliteFile> file)
      : db_(db), file_(std::move(file)) {}

  bool exec(const KvbString& sql, int64_t* rowsChanged) override {
    int64_t total = 0;
    const char* rest = sql.asCstr();
    while (!isBlank(rest)) {
      sqlite3_stmt* stmt = nullptr;
      int rc = sqlite3_prepare_v2(db_, rest, -1, &stmt, &rest);
      if (rc != SQLITE_OK) return error_.set(rc, db_, file_.get());
      if (!stmt) continue;  // a comment or a lone ";"
      if (changesSchema(sqlite3_sql(stmt))) cache_.clear();
      int64_t changed = 0;
      rc = StmtHandle(stmt, file_).runToEnd(&changed);
      if (rc != SQLITE_OK) return error_.set(rc, db_, file_.get());
      total += changed;
    }
    if (rowsChanged) *rowsChanged = total;
    return true;
  }

  bool querySingleReal(const KvbString& sql, double* value) override {
    SqliteResult* result = openResult(sql);
    if (!result) return false;
    const int fetched = result->next();
    bool ok = false;
    if (fetched == 2) {
      error_ = SqliteError{result->getErrorMessage(), result->isBusy()};
    } else if (fetched == 0) {
      error_.set("the query gave no row");
    } else if (result->isNull(0)) {
      error_.set("the query gave a null value");
    } else {
      if (value) *value = result->getReal(0);
      ok = true;
    }
    result->close();
    return ok;
  }

  // A statement of the cache when one of the same text is idle; otherwise a
  // new one, which the cache keeps for later uses when it has room.
  SqliteStatement* prepare(const KvbString& sql) override {
    const bool keep = !changesSchema(sql.asCstr());
    if (!keep) cache_.clear();
    const auto found = keep ? cache_.find(sql.str()) : cache_.end();
    if (found != cache_.end() && found->second->users == 0)
      return new SqliteStatementImpl(found->second);
    sqlite3_stmt* stmt = compile(sql);
    if (!stmt) return nullptr;
    auto handle = std::make_shared<StmtHandle>(stmt, file_);
    if (keep && found == cache_.end() && makeRoom()) {
      handle->cached = true;
      cache_.emplace(sql.str(), handle);
    }
    return new SqliteStatementImpl(std::move(handle));
  }

  SqliteResult* openResult(const KvbString& sql) override {
    SqliteStatement* statement = prepare(sql);
    if (!statement) return nullptr;
    SqliteResult* result = statement->openResult();
    statement->release();
    return result;
  }

  KvbString getErrorMessage() const override { return error_.text; }
  bool isBusy() const override { return error_.busy; }
  bool inTransaction() const override { return !sqlite3_get_autocommit(db_); }
  int64_t getLastInsertRowId() const override {
    return sqlite3_last_insert_rowid(db_);
  }
  int64_t getChanges() const override { return sqlite3_changes64(db_); }
  void setBusyTimeout(int milliseconds) override {
    setLockWait(db_, *file_, milliseconds);
  }
  void close() override {
    cache_.clear();
    sqlite3_close_v2(db_);
    delete this;
  }

 private:
  // The most statements the cache keeps.
  static constexpr size_t kCachedStatements = 64;

  // Compiles exactly one statement; null, with the reason recorded,
  // otherwise.
  sqlite3_stmt* compile(const KvbString& sql) {
    sqlite3_stmt* stmt = nullptr;
    const char* rest = nullptr;
    const int rc = sqlite3_prepare_v2(
        db_, sql.asCstr(), static_cast<int>(sql.length()) + 1, &stmt, &rest);
    if (rc != SQLITE_OK) {
      error_.set(rc, db_, file_.get());
      return nullptr;
    }
    if (!stmt || !isBlank(rest)) {
      sqlite3_finalize(stmt);
      error_.set(stmt ? "the text holds more than one SQL statement"
                      : "the text holds no SQL statement");
      return nullptr;
    }
    return stmt;
  }
  // True when the cache can take one more statement, after it has let go
  // of an idle one if it was full.
  bool makeRoom() {
    if (cache_.size() < kCachedStatements) return true;
    for (auto it = cache_.begin(); it != cache_.end(); ++it) {
      if (it->second->users == 0) {
        cache_.erase(it);
        return true;
      }
    }
    return false;
  }

  sqlite3* db_;
  std::shared_ptr<SqliteFile> file_;
  SqliteError error_;
  // Statements by their text. A statement in use by a SqliteStatement or
  // a result is not given out again; a second use of the same text gets a
  // statement of its own. Statements that change the schema are not kept
  // and empty the cache, so that a statement on a table that is gone fails
  // when it is prepared, as it would without the cache (SQLite itself
  // recompiles a kept statement whose tables changed).
  std::unordered_map<std::string, std::shared_ptr<StmtHandle>> cache_;
};

SqliteDatabase* openDatabase(const KvbString& path, bool mayCreate) {
  if (path.isEmpty()) {
    lastOpenError() = "no database file name was given";
    return nullptr;
  }
  // A relative name goes to SQLite as "./name": with URI names on (as this
  // system's SQLite has them), "file:..." would be read as a URI and
  // ":memory:" would open no file at all.
  const std::string name =
      path.startsWith("/") ? path.str() : "./" + path.str();
  auto file = std::make_shared<SqliteFile>(path);
  sqlite3* db = nullptr;
  // SQLITE_OPEN_NOMUTEX among the flags, as a database is used by one
  // thread at a time (see the header).
  int rc =
      sqlite3_open_v2(name.c_str(), &db, sqliteOpenFlags(mayCreate), nullptr);
  if (rc == SQLITE_OK) {
    setLockWait(db, *file, sqliteBusyTimeoutMs());
    // Reading the schema tells a file that is not a database at once.
    rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr,
                      nullptr, nullptr);
  }
  if (rc != SQLITE_OK) {
    KvbString cause = fileCause(rc, db, *file);
    if (cause.isNull()) cause = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    lastOpenError() =
        kvbStringFormat("cannot open the database file '%S': %S", path, cause);
    sqlite3_close_v2(db);
    return nullptr;
  }
  return new SqliteDatabaseImpl(db, std::move(file));
}

}  // namespace

KvbString sqliteFileRefusal(const KvbString& path) {
  const bool exists = access(path.asCstr(), F_OK) == 0;
  if (exists && access(path.asCstr(), R_OK | W_OK) != 0)
    return systemReason(errno);
  if (!exists && errno != ENOENT) return systemReason(errno);
  const size_t slash = path.rfind('/');
  const std::string folder = slash == KvbString::npos ? "."
                             : slash == 0             ? "/"
                                          : path.str().substr(0, slash);
  if (access(folder.c_str(), W_OK | X_OK) != 0)
    return "its folder: " + systemReason(errno);
  return exists ? "" : systemReason(ENOENT);
}

int sqliteBusyTimeoutMs() {
  return kvbGetConfigOptions("")->getCount("SQLITE/BUSY_TIMEOUT",
                                           kDefaultBusyTimeoutMs);
}

namespace {
std::atomic<SqliteBusyWaitHook> busyWaitHook{nullptr};
}  // namespace

void sqliteSetBusyWaitHook(SqliteBusyWaitHook hook) { busyWaitHook.store(hook); }

SqliteBusyWait::SqliteBusyWait(int timeoutMs)
    : deadline_(std::chrono::steady_clock::now() +
                std::chrono::milliseconds(std::max(timeoutMs, 0))) {}

bool SqliteBusyWait::pause() {
  using Micros = std::chrono::microseconds;
  const auto left = std::chrono::duration_cast<Micros>(
      deadline_ - std::chrono::steady_clock::now());
  if (left.count() <= 0) return false;
  if (SqliteBusyWaitHook hook = busyWaitHook.load(std::memory_order_acquire))
    hook(tries_);
  // The jitter keeps waiters that began together from trying in step. The
  // generator is seeded anew in a forked child, whose copy of the parent's
  // would otherwise draw the parent's sleeps.
  thread_local std::minstd_rand jitter;
  thread_local pid_t seededFor = 0;
  if (seededFor != getpid()) {
    seededFor = getpid();
    jitter.seed(static_cast<unsigned>(std::random_device{}()) ^
                static_cast<unsigned>(seededFor));
  }
  const long longest = 100L << std::min(tries_++, 3);  // 100 us to 800 us
  const long sleep = std::uniform_int_distribution<long>(longest / 2,
                                                         longest + 200)(jitter);
  std::this_thread::sleep_for(std::min(Micros(sleep), left));
  return true;
}

int sqliteOpenFlags(bool mayCreate) {
  return SQLITE_OPEN_READWRITE | (mayCreate ? SQLITE_OPEN_CREATE : 0) |
         SQLITE_OPEN_NOMUTEX;
}

SqliteDatabase* createSqliteDatabase(const KvbString& path) {
  return openDatabase(path, true);
}

SqliteDatabase* openSqliteDatabase(const KvbString& path) {
  return openDatabase(path, false);
}

KvbString getSqliteErrorMessage() { return lastOpenError(); }

void sqliteValueToDatavar(const SqliteValue& value, KvbDatavar& target) {
  switch (value.type) {
    case kvbTypeInt:
      target.setInt(static_cast<int>(value.integer));
      break;
    case kvbTypeInt64:
      target.setInt64(value.integer);
      break;
    case kvbTypeReal:
      target.setReal(value.real);
      break;
    case kvbTypeString:
      target.setText(value.text, value.length);
      break;
    default:
      target.setNull(kvbTypeUnknown);
  }
}
