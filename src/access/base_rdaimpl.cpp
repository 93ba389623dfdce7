// The shared part of every data-access object.
#include "access/base_rdaimpl.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "access/object_types.h"
#include "kvlogging/kvlogging.h"
#include "kvreposres/kvreposres.h"
#include "kvsysinfo/kvsysinfo.h"
#include "rda/rda_impl.h"
#include "rda/rda_statement.h"
#include "rda/repos_cache_cursor.h"
#include "rda/too_long_value.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "base_rdaimpl";
}

KvbString getOSUserName() {
  char name[256];
  return np_osinf_user(name, sizeof name) == 0 ? KvbString(name)
                                               : KvbString("");
}

// A statement that runKept keeps, with the key it was made for.
struct BaseRDAImpl::KeptStatement {
  std::string verb, code, text, names;
  size_t markers;
  RDA_StatementBase* statement;

  KeptStatement(const StatementKey& key, RDA_StatementBase* made)
      : verb(part(key.verb)),
        code(part(key.code)),
        text(part(key.text)),
        names(columnList(key)),
        markers(key.markers),
        statement(made) {}
  bool matches(const StatementKey& key) const {
    if (markers != key.markers || code != part(key.code) ||
        verb != part(key.verb) || text != part(key.text))
      return false;
    return key.columns ? namesMatch(names, key.lead, *key.columns)
                       : names.empty();
  }
  static const char* part(const char* text) { return text ? text : ""; }

  // The names of a key's columns, each followed by `suffix`, joined by
  // ", "; empty for a key without columns.
  static std::string columnList(const StatementKey& key,
                                const char* suffix = "") {
    std::string list;
    const auto add = [&](const SqlField& column) {
      list.append(list.empty() ? "" : ", ").append(column.name).append(suffix);
    };
    if (key.lead) add(*key.lead);
    if (key.columns)
      for (const SqlField& column : *key.columns) add(column);
    return list;
  }

  // True when `text` is the names of `lead` (when given) and `columns` joined
  // by ", ", compared in place, character by character.
  static bool namesMatch(const std::string& text, const SqlField* lead,
                         const SqlFields& columns) {
    const char* at = text.c_str();
    const auto next = [&](const char* name) {
      if (at != text.c_str()) {
        if (at[0] != ',' || at[1] != ' ') return false;
        at += 2;
      }
      while (*name)
        if (*at++ != *name++) return false;
      return true;
    };
    if (lead && !next(lead->name)) return false;
    for (const SqlField& column : columns)
      if (!next(column.name)) return false;
    return *at == '\0';
  }
};

namespace {
// The most statements an object keeps: more than any store repeats, so that
// a caller that builds many different texts cannot make the object grow.
const size_t kKeptStatements = 32;
}  // namespace

BaseRDAImpl::BaseRDAImpl(ReposDataAccess* rda)
    : rda_(rda), logger_(kvlogGetLogger("KV.Repos.ReposAdmin.BaseRDA")) {
  if (rda_) static_cast<RDA_BaseImpl*>(rda_)->hold();
}

// The kept statements end before the hold on the connection that made them.
BaseRDAImpl::~BaseRDAImpl() {
  if (rda_) static_cast<RDA_BaseImpl*>(rda_)->objectReleased(this);
  for (KeptStatement& kept : kept_) kept.statement->release();
  if (rda_) rda_->release();
}

bool BaseRDAImpl::haveConnection() {
  if (rda_) return true;
  logError(kvb_get_message(kSourceFile, __LINE__, "Repository Library", 1161));
  return false;
}

bool BaseRDAImpl::ready() {
  if (rda_) return true;
  logError("Repository Data Access object is null");
  return false;
}

// The QuietSteps that the calling thread holds.
thread_local int quietSteps = 0;

BaseRDAImpl::QuietSteps::QuietSteps() { ++quietSteps; }

BaseRDAImpl::QuietSteps::~QuietSteps() { --quietSteps; }

void BaseRDAImpl::logError(const KvbString& text, const char* file, int line) {
  // Logged here, or by the manager that keeps the store quiet.
  if (rda_) static_cast<RDA_BaseImpl*>(rda_)->lossLogged(text);
  if (!quiet_ && quietSteps == 0)
    logPrintf(logger_, kLogError, file, line, "%S", text);
}

// The text is recorded without waiting for the connection: a thread that
// another thread's transaction keeps waiting would otherwise lose its own
// reason to the lock's refusal.
bool BaseRDAImpl::failQuietly(const KvbString& text) {
  // Every connection of the engine is an RDA_BaseImpl.
  if (rda_) static_cast<RDA_BaseImpl*>(rda_)->noteFailure(text);
  return false;
}

bool BaseRDAImpl::fail(const KvbString& text, const char* file, int line) {
  failQuietly(text);
  logError(text, file, line);
  return false;
}

bool BaseRDAImpl::refuse(const Refusal& refusal, const char* file, int line) {
  failQuietly(refusal.text);
  logError(refusal.record, file, line);
  return false;
}

// The transaction is this object's: releasing the object rolls it back.
bool BaseRDAImpl::beginTransaction(int immediate, int) {
  return haveConnection() && static_cast<RDA_BaseImpl*>(rda_)->beginFor(
                                 this, immediate != 0, nullptr);
}

bool BaseRDAImpl::endTransaction(bool commit) {
  return haveConnection() && rda_->endTransaction(commit);
}

KvbString BaseRDAImpl::getErrorMessage() {
  return rda_ ? rda_->getErrorMessage()
              : kvb_get_message(kSourceFile, __LINE__, "Repository Library",
                                1161);
}

bool BaseRDAImpl::setDDLCallback(ReposDDLCallback* callback) {
  return haveConnection() && rda_->setDDLCallback(callback);
}

KvbString BaseRDAImpl::table(const char* code) {
  return rda_ ? rda_->getTableName(code, true, -1) : KvbString("");
}

KvbString BaseRDAImpl::selectAll(const char* code) {
  return "SELECT " + (rda_ ? rda_->getColumnList(code, nullptr) : "*") +
         " FROM " + table(code);
}

// ---------------------------------------------------------------------------
// Statements

namespace {
// A statement of `sql` with `count` values, each bound by `bind`; null when
// it cannot be prepared or a value cannot be bound.
template <class Bind>
ReposDataAccessStatement* prepareBound(ReposDataAccess* rda,
                                       const KvbString& sql, size_t count,
                                       const Bind& bind) {
  ReposDataAccessStatement* statement = rda->createStatement(sql);
  for (size_t i = 0; statement && i < count; ++i) {
    if (!bind(*statement, static_cast<int>(i))) {
      statement->release();
      return nullptr;
    }
  }
  return statement;
}
}  // namespace

ReposDataAccessStatement* boundStatement(
    ReposDataAccess* rda, const KvbString& sql,
    const std::vector<KvbDatavar>& values) {
  return prepareBound(rda, sql, values.size(),
                      [&](ReposDataAccessStatement& statement, int i) {
                        return statement.setParameter(i, values[i]);
                      });
}

ReposDataAccessStatement* boundStatement(ReposDataAccess* rda,
                                         const KvbString& sql,
                                         const QueryParamList& params) {
  return prepareBound(
      rda, sql, params.size(), [&](ReposDataAccessStatement& statement, int i) {
        statement.setParameterInfo(i, params[i].type, params[i].size);
        return statement.setParameter(i, params[i].value);
      });
}

namespace {
// The rows of `statement` (released here); null without a statement.
ReposDataAccessCursor* selectOnce(ReposDataAccessStatement* statement) {
  ReposDataAccessCursor* cursor = statement ? statement->select() : nullptr;
  if (statement) statement->release();
  return cursor;
}

// firstRow of the rows of `cursor` (released here; null: failed).
int readFirstRow(ReposDataAccessCursor* cursor,
                 const std::function<void(ReposDataAccessCursor&)>& read) {
  if (!cursor) return -1;
  const int fetched = cursor->next();
  if (fetched == 1) read(*cursor);
  cursor->release();
  return fetched == 1 ? 1 : fetched == 0 ? 0 : -1;
}
}  // namespace

ReposDataAccessCursor* boundSelect(ReposDataAccess* rda, const KvbString& sql,
                                   const std::vector<KvbDatavar>& values) {
  return selectOnce(boundStatement(rda, sql, values));
}

bool boundExecute(ReposDataAccess* rda, const KvbString& sql,
                  const std::vector<KvbDatavar>& values) {
  ReposDataAccessStatement* statement = boundStatement(rda, sql, values);
  const bool ok = statement && statement->execute();
  if (statement) statement->release();
  return ok;
}

int firstRow(ReposDataAccess* rda, const KvbString& sql,
             const std::vector<KvbDatavar>& values,
             const std::function<void(ReposDataAccessCursor&)>& read) {
  return readFirstRow(boundSelect(rda, sql, values), read);
}

ReposDataAccessCursor* BaseRDAImpl::selectFrom(
    ReposDataAccessStatement* statement) {
  ReposDataAccessCursor* cursor = selectOnce(statement);
  if (!cursor) logError(rda_->getErrorMessage());
  return cursor;
}

bool BaseRDAImpl::runStatement(ReposDataAccessStatement* statement, int* rows,
                               const SqlStatement* built) {
  // Every statement of the engine is an RDA_StatementBase, which also
  // counts the rows changed.
  auto* counted = static_cast<RDA_StatementBase*>(statement);
  int64_t changed = 0;
  const bool ok = counted && counted->run(&changed);
  if (counted) counted->release();
  if (!ok)
    logError(built ? writeFailure(built->tableCode(), built->named())
                   : rda_->getErrorMessage());
  if (rows) *rows = static_cast<int>(changed);
  return ok;
}

ReposDataAccessCursor* BaseRDAImpl::openCursor(
    const KvbString& sql, const std::vector<KvbDatavar>& values) {
  return ready() ? selectFrom(boundStatement(rda_, sql, values)) : nullptr;
}

ReposDataAccessCursor* BaseRDAImpl::openCursor(const SqlStatement& statement) {
  return ready() ? selectFrom(boundStatement(rda_, statement.sql(),
                                             statement.params()))
                 : nullptr;
}

ReposDataAccessCursor* BaseRDAImpl::query(const KvbString& sql,
                                          const std::vector<KvbDatavar>& values,
                                          uint64_t limit) {
  ReposDataAccessCursor* cursor = openCursor(sql, values);
  return cursor ? cacheCursor(cursor, limit) : nullptr;
}

ReposDataAccessCursor* BaseRDAImpl::query(const SqlStatement& statement,
                                          uint64_t limit) {
  ReposDataAccessCursor* cursor = openCursor(statement);
  return cursor ? cacheCursor(cursor, limit) : nullptr;
}

bool BaseRDAImpl::run(const KvbString& sql,
                      const std::vector<KvbDatavar>& values, int* rows) {
  return ready() && runStatement(boundStatement(rda_, sql, values), rows);
}

bool BaseRDAImpl::run(const SqlStatement& statement, int* rows) {
  if (!ready()) return false;
  // The lock keeps the failure the last one until it is named.
  RDA_LockGuard guard(connectionLock(rda_));
  return runStatement(
      guard ? boundStatement(rda_, statement.sql(), statement.params())
            : nullptr,
      rows, &statement);
}

template <class Bind, class Script>
bool BaseRDAImpl::runKeptBy(
    const StatementKey& key,
    const std::function<KvbString(const StatementKey&)>& build, int* rows,
    const Bind& bind, const Script& script) {
  if (!ready()) return false;
  // Every connection of the engine is an RDA_BaseImpl. The lock keeps
  // another thread off the kept statement between its binds and its run.
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  RDA_LockGuard guard(connectionLock(rda_));
  if (!guard) return false;
  if (connection->ddlActive()) return script(build(key));
  auto found = std::find_if(
      kept_.begin(), kept_.end(),
      [&](const KeptStatement& kept) { return kept.matches(key); });
  if (found == kept_.end()) {
    // Every statement of the engine is an RDA_StatementBase.
    auto* statement =
        static_cast<RDA_StatementBase*>(rda_->createStatement(build(key)));
    if (!statement) {
      logError(rda_->getErrorMessage());
      return false;
    }
    if (kept_.size() == kKeptStatements) {
      kept_.front().statement->release();
      kept_.erase(kept_.begin());
    }
    kept_.emplace_back(key, statement);
    found = kept_.end() - 1;
  } else {
    // The most recently used last, so that statements used once (a
    // deletion over many tables) go before the ones a store repeats.
    std::rotate(found, found + 1, kept_.end());
    found = kept_.end() - 1;
  }
  RDA_StatementBase* statement = found->statement;
  int64_t changed = 0;
  const bool ok = bind(*statement) && statement->run(&changed);
  if (!ok) logError(keptFailure(key));
  if (rows) *rows = static_cast<int>(changed);
  return ok;
}

KvbString BaseRDAImpl::keptFailure(const StatementKey& key) {
  if (!key.columns) return writeFailure(nullptr, {});
  SqlFields written = *key.columns;
  if (key.lead) written.insert(written.begin(), *key.lead);
  return writeFailure(key.code, written);
}

KvbString writeFailure(ReposDataAccess* rda, const char* code,
                       const SqlFields& written) {
  if (!code) return rda->getErrorMessage();
  // Every connection of the engine is an RDA_BaseImpl.
  auto* connection = static_cast<RDA_BaseImpl*>(rda);
  const KvbString reason = rda->getErrorMessage();
  return connection->failureNamedBy([&] {
    // The first value, in column order, that the refusal fits: a server
    // meets the values in that order, and a bind binds them so.
    for (const SqlField& field : written) {
      const KvbString text =
          refusedValueText(reason, code, field.name, field.param.value,
                           connection->declaredTextLength(code, field.name));
      if (!text.isNull()) return text;
    }
    return KvbString();
  });
}

bool BaseRDAImpl::runKept(
    const StatementKey& key,
    const std::function<KvbString(const StatementKey&)>& build,
    const std::vector<KvbDatavar>& values, int* rows) {
  return runKeptBy(
      key, build, rows,
      [&](RDA_StatementBase& statement) {
        return statement.setParameters(0, values.data(), values.size());
      },
      [&](const KvbString& sql) { return run(sql, values, rows); });
}

int BaseRDAImpl::firstRow(
    const KvbString& sql, const std::vector<KvbDatavar>& values,
    const std::function<void(ReposDataAccessCursor&)>& read) {
  if (!ready()) return -1;
  const int found = ::firstRow(rda_, sql, values, read);
  if (found < 0) logError(rda_->getErrorMessage());
  return found;
}

int BaseRDAImpl::firstRow(
    const SqlStatement& statement,
    const std::function<void(ReposDataAccessCursor&)>& read) {
  if (!ready()) return -1;
  const int found = readFirstRow(
      selectOnce(boundStatement(rda_, statement.sql(), statement.params())),
      read);
  if (found < 0)
    logError(writeFailure(statement.tableCode(), statement.named()));
  return found;
}

int BaseRDAImpl::lookup(const KvbString& sql,
                        const std::vector<KvbDatavar>& values, int* value) {
  return firstRow(sql, values, [&](ReposDataAccessCursor& row) {
    if (value) *value = row.getInt(0);
  });
}

int BaseRDAImpl::lookup(const SqlStatement& statement, int* value) {
  return firstRow(statement, [&](ReposDataAccessCursor& row) {
    if (value) *value = row.getInt(0);
  });
}

bool BaseRDAImpl::nextId(const char* counter, int& id) {
  if (!ready()) return false;
  KvbDatavar value;
  if (!rda_->getNextID(counter, value) || value.isNull()) {
    logError(rda_->getErrorMessage());
    return false;
  }
  id = value.asInt();
  return true;
}

KvbString subjectFailure(const KvbString& subject, const KvbString& reason) {
  // The platform's text: what was done, the SQL quoted, then the driver's
  // records, each beginning with its "[SQLSTATE]"; or a value that the
  // server refused as too long, named by its column, which stays whole.
  // The text may begin with what the failure cost ("The transaction was
  // rolled back by the database: "), which stays.
  for (const char* doing : {"Running \"", "Preparing \"", kTooLongValueLead}) {
    size_t start = 0;
    if (!reason.startsWith(doing)) {
      start = reason.find((KvbString(": ") + doing).asCstr());
      if (start == KvbString::npos) continue;
      start += 2;
    }
    size_t rest = start;
    if (doing != kTooLongValueLead) {
      const size_t end = reason.find("\": [", start);
      if (end == KvbString::npos) continue;
      rest = end + 3;
    }
    // The reason follows the subject and a colon.
    std::string lead = reason.substr(0, start).str();
    if (!lead.empty())
      lead[0] =
          static_cast<char>(std::tolower(static_cast<unsigned char>(lead[0])));
    return subject + ": " + lead.c_str() + reason.substr(rest);
  }
  return reason;
}

bool namedExecute(ReposDataAccess* rda, const KvbString& sql, const char* code,
                  const SqlFields& written) {
  // Held from the run to the naming, so that the text named is this run's.
  RDA_LockGuard guard(connectionLock(rda));
  if (!guard) return false;
  std::vector<KvbDatavar> values;
  for (const SqlField& field : written) values.push_back(field.param.value);
  if (boundExecute(rda, sql, values)) return true;
  writeFailure(rda, code, written);
  return false;
}

bool runTransaction(ReposDataAccess* rda, KvLogger* logger,
                    const std::function<bool()>& body, KvbString* failure) {
  // The connection records why a begin or commit failed; the failure is
  // logged here, once, after what was being done (when `doing` is given).
  auto failed = [&](const char* doing, int line) {
    const KvbString reason = rda->getErrorMessage();
    const KvbString text =
        doing ? kvbStringFormat("%s: %S", doing, reason) : reason;
    logPrintf(logger, kLogError, kSourceFile, line, "%S", text);
    static_cast<RDA_BaseImpl*>(rda)->lossLogged(text);
    if (failure) *failure = text;
    return false;
  };
  // Threads that share the connection share its transaction: another
  // thread's statements must not run inside this one.
  RDA_LockGuard guard(connectionLock(rda));
  if (!guard) return failed("The transaction could not begin", __LINE__);
  auto* connection = static_cast<RDA_BaseImpl*>(rda);
  // Inside a transaction that is lost (the database rolled it back, or its
  // object was released), the level is refused at once with what became of
  // it, which is the failure: also where the refusal closed the transaction
  // (a load's, see RDA_BaseImpl::transactionOfLoad).
  if (connection->inTransaction() && !connection->usable())
    return failed(nullptr, __LINE__);
  if (!connection->beginOrUndo(false, nullptr))
    return failed(connection->transactionLost()
                      ? nullptr
                      : "The transaction could not begin",
                  __LINE__);
  if (!body()) {
    rda->endTransaction(false);
    return false;
  }
  return rda->endTransaction(true) ||
         failed("The transaction could not be committed", __LINE__);
}

bool BaseRDAImpl::transaction(const std::function<bool()>& body) {
  return ready() &&
         runTransaction(rda_, quiet_ || quietSteps > 0 ? nullptr : logger_,
                        body);
}

bool BaseRDAImpl::addInOneStep(const std::function<bool()>& body,
                               const std::function<bool()>& undo) {
  if (!ready()) return false;
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  if (!connection->inTransaction() ||
      !connection->failedStatementsUndoThemselves())
    return transaction(body);
  if (body()) return true;
  if (!undo) return false;
  // The body's reason stays the answer, whatever the undo leaves.
  const KvbString reason = rda_->getErrorMessage();
  if (!undo()) connection->mustRollBack();
  return failQuietly(reason);
}

// ---------------------------------------------------------------------------
// Shared writes and lookups

bool BaseRDAImpl::runFields(
    const StatementKey& key,
    const std::function<KvbString(const StatementKey&)>& build,
    const SqlField* last, int* rows) {
  // The key names the columns in place, and the values are bound from the
  // fields themselves: a repeated write copies neither.
  const size_t first = key.lead ? 1 : 0;
  const auto param = [&](size_t i) -> const QueryParam& {
    if (i < first) return key.lead->param;
    return i - first < key.columns->size() ? (*key.columns)[i - first].param
                                           : last->param;
  };
  return runKeptBy(
      key, build, rows,
      [&](RDA_StatementBase& statement) {
        return statement.setDeclared(0, key.markers, param);
      },
      [&](const KvbString& sql) {
        SqlStatement statement(sql);
        for (size_t i = 0; i < key.markers; ++i) statement.bind(param(i));
        return run(statement, rows);
      });
}

bool BaseRDAImpl::insert(const char* code, const SqlFields& columns,
                         const SqlField* lead) {
  // The builders capture no more than the object, which std::function
  // holds without an allocation.
  return runFields(
      {"INSERT", code, nullptr, columns.size() + (lead ? 1 : 0), lead,
       &columns},
      [this](const StatementKey& key) {
        KvbString markers;
        for (size_t i = 0; i < key.markers; ++i)
          markers.append(i ? ", ?" : "?");
        return "INSERT INTO " + table(key.code) + " (" +
               KeptStatement::columnList(key).c_str() + ") VALUES (" + markers +
               ")";
      },
      nullptr, nullptr);
}

bool BaseRDAImpl::update(const char* code, const SqlFields& set,
                         const SqlField& where, int* rows) {
  return runFields(
      {"UPDATE", code, where.name, set.size() + 1, nullptr, &set},
      [this](const StatementKey& key) {
        return "UPDATE " + table(key.code) + " SET " +
               KeptStatement::columnList(key, "=?").c_str() + " WHERE " +
               key.text + "=?";
      },
      &where, rows);
}

SqlStatement BaseRDAImpl::updateOf(const char* code) {
  SqlStatement update("UPDATE " + table(code));
  update.on(code);
  return update;
}

int BaseRDAImpl::addNumbered(const char* code, const char* counter,
                             const char* idColumn, const SqlFields& columns,
                             const SqlFields& keys, const Refusal& refusal,
                             const char* file, int line) {
  return addNumberedAfter(nullptr, code, counter, idColumn, columns, keys,
                          refusal, file, line);
}

int BaseRDAImpl::addNumberedAfter(const std::function<bool()>& check,
                                  const char* code, const char* counter,
                                  const char* idColumn,
                                  const SqlFields& columns,
                                  const SqlFields& keys, const Refusal& refusal,
                                  const char* file, int line) {
  if (!ready()) return -1;
  int id = -1;
  const bool ok = addInOneStep([&] {
    if (check && !check()) return false;
    int existing = -1;
    switch (keys.empty() ? 0 : matching(code, idColumn, keys, &existing)) {
      case 0:
        break;
      case 1:
        if (!refusal.text.isNull()) return refuse(refusal, file, line);
        id = existing;
        return true;
      default:
        return false;
    }
    if (!nextId(counter, id)) return false;
    const SqlField numbered(idColumn, id);
    return insert(code, columns, &numbered);
  });
  return ok ? id : -1;
}

KvbString BaseRDAImpl::missingFolder(int folderId) {
  return kvbStringFormat("Folder %d does not exist", folderId);
}

bool BaseRDAImpl::folderExists(int folderId) {
  if (folderId == 0) return true;
  const int found =
      lookup("SELECT FLDR_ID FROM " + table("FOLDER") + " WHERE FLDR_ID=?",
             {folderId}, nullptr);
  return found == 1 || (found == 0 && fail(missingFolder(folderId)));
}

bool BaseRDAImpl::inFolder(int folderId, const std::function<bool()>& write) {
  if (folderId == 0) return write();  // the root exists
  return transaction([&] { return folderExists(folderId) && write(); });
}

bool BaseRDAImpl::runFiled(int folderId, const KvbString& sql,
                           const std::vector<KvbDatavar>& values, int* rows) {
  return inFolder(folderId, [&] { return run(sql, values, rows); });
}

bool BaseRDAImpl::runFiled(int folderId, const SqlStatement& statement,
                           int* rows) {
  return inFolder(folderId, [&] { return run(statement, rows); });
}

int BaseRDAImpl::addFiled(int folderId, const char* code, const char* counter,
                          const char* idColumn, const SqlFields& columns,
                          const SqlFields& keys, const Refusal& refusal,
                          const char* file, int line) {
  return addNumberedAfter([&] { return folderExists(folderId); }, code, counter,
                          idColumn, columns, keys, refusal, file, line);
}

Refusal keyInUse(const KvbString& refused) {
  return Refusal(refused + ": " +
                 kvb_get_message(kSourceFile, __LINE__, "Monitor Repository",
                                 1085));
}

BaseRDAImpl::UniqueKey BaseRDAImpl::newUuidKey(const char* column,
                                               const KvbString& uuid,
                                               const char* kind,
                                               const KvbString& name) {
  return {{{column, uuid, Given::kNotEmpty}},
          keyInUse(kvbStringFormat("Cannot add the %s \"%S\" with UUID \"%S\"",
                                   kind, name, uuid))};
}

BaseRDAImpl::UniqueKey BaseRDAImpl::uuidKey(const char* column,
                                            const KvbString& uuid,
                                            const char* kind, int id) {
  return {{{column, uuid, Given::kNotEmpty}},
          keyInUse(kvbStringFormat("Cannot give %s %d the UUID \"%S\"", kind,
                                   id, uuid))};
}

BaseRDAImpl::UniqueKey BaseRDAImpl::newNameKey(const SqlField& name,
                                               const char* kind,
                                               const KvbString& taken) {
  return {{name}, Refusal(kvbStringFormat("Cannot add the %s \"%S\": ", kind,
                                          name.param.value.asString()) +
                          taken)};
}

BaseRDAImpl::UniqueKey BaseRDAImpl::nameKey(const SqlField& name,
                                            const char* kind, int id,
                                            const KvbString& taken) {
  return {{name},
          Refusal(kvbStringFormat("Cannot give %s %d the name \"%S\": ", kind,
                                  id, name.param.value.asString()) +
                  taken)};
}

bool BaseRDAImpl::lookedFor(const UniqueKey& key) {
  return std::all_of(key.columns.begin(), key.columns.end(),
                     [](const SqlField& column) { return column.given; });
}

bool BaseRDAImpl::writesSerialized(const char* code) {
  if (!ready()) return false;
  // Every connection of the engine is an RDA_BaseImpl.
  if (static_cast<RDA_BaseImpl*>(rda_)->serializeWrites(table(code)))
    return true;
  logError(rda_->getErrorMessage());
  return false;
}

bool BaseRDAImpl::writesSerializedOn(ReposDataAccess* rda, const char* code,
                                     KvbString& reason) {
  BaseRDAImpl store(rda);
  store.setQuiet(true);
  if (store.writesSerialized(code)) return true;
  reason = rda ? rda->getErrorMessage()
               : KvbString("There is no connection to take a turn on");
  return false;
}

// A write that looks for no key needs no turn.
bool BaseRDAImpl::keysFree(const char* code, const char* idColumn, int id,
                           std::initializer_list<UniqueKey> unique,
                           const char* file, int line) {
  if (std::none_of(unique.begin(), unique.end(), lookedFor)) return true;
  if (!writesSerialized(code)) return false;
  for (const UniqueKey& key : unique)
    if (!keyFree(code, idColumn, id, key, file, line)) return false;
  return true;
}

bool BaseRDAImpl::keyFree(const char* code, const char* idColumn, int id,
                          const UniqueKey& key, const char* file, int line) {
  if (!lookedFor(key)) return true;
  SqlStatement select("SELECT 1 FROM " + table(code));
  select.on(code).whereEvery(key.columns);
  const std::string other = idColumn ? std::string(idColumn) + "<>?" : "";
  if (idColumn) select.where(other.c_str(), id);
  switch (lookup(select, nullptr)) {
    case 0:
      return true;
    case 1:
      return refuse(key.refusal, file, line);
    default:
      return false;
  }
}

int BaseRDAImpl::addFiledUnique(int folderId, const char* code,
                                const char* counter, const char* idColumn,
                                const SqlFields& columns,
                                std::initializer_list<UniqueKey> unique,
                                const std::function<bool()>& first,
                                const char* file, int line) {
  return addNumberedAfter(
      [&] {
        return (!first || first()) && folderExists(folderId) &&
               keysFree(code, nullptr, 0, unique, file, line);
      },
      code, counter, idColumn, columns, {}, Refusal(), file, line);
}

KvbString BaseRDAImpl::missingObject(const char* kind, int id) {
  std::string text = kind;
  if (!text.empty())
    text[0] = static_cast<char>(
        std::toupper(static_cast<unsigned char>(text[0])));
  return kvbStringFormat("%s %d does not exist", text.c_str(), id);
}

int BaseRDAImpl::updateObject(const ObjectRow& row, const SqlFields& columns,
                              std::initializer_list<UniqueKey> unique,
                              const SqlFields& stamps, int folderId,
                              const std::function<bool()>& first,
                              const char* file, int line) {
  if (!ready()) return -1;
  // Nothing to write needs no transaction, nor a row to write it to.
  if (std::none_of(columns.begin(), columns.end(),
                   [](const SqlField& column) { return column.given; }))
    return 0;
  // An update that changed no row must not report a change that did not
  // happen: a host, or an import, would take it as stored.
  const bool written = transaction([&] {
    // A missing object is refused as such, before its name or UUID is
    // compared with those of others, which it does not have.
    if (row.kind && !objectExists(row, file, line)) return false;
    if (first && !first()) return false;
    if (!keysFree(row.code, row.idColumn, row.id, unique, file, line))
      return false;
    int rows = 0;
    return updateGiven(row.code, row.idColumn, row.id, columns, stamps,
                       folderId, &rows) == 1 &&
           (rows > 0 || !row.kind ||
            fail(missingObject(row.kind, row.id), file, line));
  });
  return written ? 1 : -1;
}

bool BaseRDAImpl::deleteRows(std::initializer_list<const char*> codes,
                             const char* column, int id) {
  return transaction([&] {
    for (const char* code : codes)
      if (!runKept({"DELETE", code, column, 1},
                   [this](const StatementKey& key) {
                     return "DELETE FROM " + table(key.code) + " WHERE " +
                            key.text + "=?";
                   },
                   {id}))
        return false;
    return true;
  });
}

ReposDataAccessCursor* BaseRDAImpl::listGiven(const char* code,
                                              const SqlFields& filters,
                                              const char* order) {
  if (!ready()) return nullptr;
  return query(SqlStatement(selectAll(code)).where(filters).append(order));
}

ReposDataAccessCursor* BaseRDAImpl::find(const FindKeys& how, int id,
                                         const KvbString& name,
                                         const KvbString& uuid) {
  if (!ready()) return nullptr;
  const char* column;
  KvbDatavar value;
  if (id > 0) {
    column = how.idColumn;
    value = KvbDatavar(id);
  } else if (how.uuidColumn && !uuid.isEmpty()) {
    column = how.uuidColumn;
    value = KvbDatavar(uuid);
  } else if (!name.isEmpty() || !how.nameRequired) {
    column = how.nameColumn;
    value = KvbDatavar(name);
  } else {
    failQuietly(
        how.uuidColumn
            ? kvbStringFormat("No id, %s or name of a %s was given",
                              how.uuidName, how.subject)
            : kvbStringFormat("No id or name of a %s was given", how.subject));
    return nullptr;
  }
  const KvbString head = selectAll(how.table) + " WHERE ";
  ReposDataAccessCursor* cursor = query(head + column + "=?", {value});
  if (cursor || column == how.nameColumn || name.isEmpty()) return cursor;
  // A lookup by id or UUID that fails is tried once more by name. When
  // that finds nothing, the failure stands: the object may well exist.
  cursor = query(head + how.nameColumn + "=?", {name});
  if (cursor && static_cast<ReposCacheCursor*>(cursor)->getRowCount() == 0) {
    cursor->release();
    return nullptr;
  }
  return cursor;
}

void postWhenStored(ReposDataAccess* rda, EventSender send) {
  if (!rda) return;
  // Every connection of the engine is an RDA_BaseImpl.
  auto* connection = static_cast<RDA_BaseImpl*>(rda);
  connection->afterCommit([connection, send = std::move(send)] {
    RepositoryEventManager* events = getRepositoryEventManager();
    if (!events) return;
    // An event addressed to no repository would reach the wrong listeners.
    KvbString failure;
    const KvbString uuid = connection->eventRepositoryUUID(&failure);
    if (failure.isNull()) send(*events, uuid);
  });
}

void BaseRDAImpl::postChange(int changeType, const char* typeName, int objectId,
                             const KvbString& objectUuid) {
  const KvbString type(typeName);
  post([=](RepositoryEventManager& events, const KvbString& repository) {
    events.postObjectChange(repository, changeType, type, objectId, objectUuid);
  });
}

void BaseRDAImpl::postDeletion(const KvbString& path, const char* typeName,
                               const KvbString& identity) {
  if (path.isEmpty()) return;
  KvReposURI* uri = getReposURIFromComponents("", path, typeName);
  if (!uri) return;
  const KvbString text = uri->getText();
  uri->release();
  post([=](RepositoryEventManager& events, const KvbString& repository) {
    events.postUriEvent(repository, text, kChangeDeleted, identity);
  });
}

// ---------------------------------------------------------------------------
// Cursors and paths

ReposDataAccessCursor* BaseRDAImpl::cacheCursor(ReposDataAccessCursor* cursor,
                                                uint64_t limit) {
  if (!cursor) {
    logError(
        kvb_get_message(kSourceFile, __LINE__, "Repository Library", 1161));
    return nullptr;
  }
  ReposCacheCursor* copy = new ReposCacheCursor;
  const bool filled = copy->fill(cursor, limit);
  cursor->release();
  if (filled) return copy;
  // A copy that stopped part-way would look complete to the reader: give
  // nothing instead.
  copy->release();
  logError("Reading the rows of a query failed");
  return nullptr;
}

bool BaseRDAImpl::getFolderPath(int folderId, KvbString& path,
                                KvbString& topFolderName,
                                KvbString& errorText) {
  return folderPath(folderId, path, topFolderName, errorText) == 1;
}

int BaseRDAImpl::folderPath(int folderId, KvbString& path,
                            KvbString& topFolderName, KvbString& errorText) {
  path = "";
  topFolderName = "";
  if (folderId < 0) {
    errorText = kvbStringFormat("Invalid folder id %d", folderId);
    return kPathUnbuilt;
  }
  if (!ready()) {
    errorText = "Repository Data Access object is null";
    return kPathUnbuilt;
  }
  const KvbString sql =
      "SELECT FLDR_NAM, FLDR_PAR FROM " + table("FOLDER") + " WHERE FLDR_ID=?";
  std::set<int> seen;
  for (int id = folderId; id != 0;) {
    if (!seen.insert(id).second) {
      errorText =
          kvbStringFormat("The folders above folder %d form a cycle", folderId);
      return kPathUnbuilt;
    }
    const int found = firstRow(sql, {id}, [&](ReposDataAccessCursor& row) {
      topFolderName = row.getString(0);
      id = row.getInt(1);
    });
    if (found < 0) {
      errorText = rda_->getErrorMessage();
      return kPathUnread;
    }
    if (found == 0) {
      errorText = missingFolder(id);
      return kPathUnbuilt;
    }
    path = path.isEmpty() ? topFolderName : topFolderName + "/" + path;
  }
  return 1;
}

bool BaseRDAImpl::getObjectPath(int id, const KvbString& typeName,
                                KvbString& path, KvbString& uuid,
                                KvbString& errorText) {
  return objectPath(id, typeName, path, uuid, errorText) == 1;
}

KvbString BaseRDAImpl::deletionPath(int id, const char* typeName,
                                    KvbString& uuid) {
  KvbString path, reason;
  const int found = objectPath(id, typeName, path, uuid, reason);
  // The deletion goes on, unannounced: a warning, not a failure.
  if (found < 0)
    logPrintf(logger_, kLogWarning, kSourceFile, __LINE__,
              "The deletion of %s %d is not announced: its path cannot be "
              "built: %S",
              typeName, id, reason);
  return found == 1 ? path : KvbString("");
}

int BaseRDAImpl::objectPath(int id, const KvbString& typeName, KvbString& path,
                            KvbString& uuid, KvbString& errorText) {
  const ReposObjectType* type = findObjectType(typeName);
  if (!type) {
    errorText = "Unable to find type: " + typeName;
    return kPathUnbuilt;
  }
  if (!ready()) {
    errorText = "Repository Data Access object is null";
    return kPathUnbuilt;
  }
  KvbString name, stored;
  int folder = 0;
  const int found =
      firstRow("SELECT " + KvbString(type->objectName) + ", " + type->folderId +
                   ", " + type->uuid + " FROM " + table(type->table) +
                   " WHERE " + type->id + "=?",
               {id}, [&](ReposDataAccessCursor& row) {
                 name = row.getString(0);
                 folder = row.getInt(1);
                 stored = row.getString(2);
               });
  if (found < 0) {
    errorText = rda_->getErrorMessage();
    return kPathUnread;
  }
  if (name.isEmpty()) {
    errorText = kvbStringFormat("Unable to find the name of %s with id %d",
                                type->name, id);
    return found == 0 ? 0 : kPathUnbuilt;
  }
  if (!stored.isEmpty()) uuid = stored;
  KvbString folders, top;
  const int filed = folderPath(folder, folders, top, errorText);
  if (filed != 1) return filed;
  path = folders.isEmpty() ? name : folders + "/" + name;
  return 1;
}

// ---------------------------------------------------------------------------
// Rows by condition

ReposDataAccessCursor* BaseRDAImpl::rowsWhere(
    const char* code, const char* condition,
    const std::vector<KvbDatavar>& values) {
  if (!ready()) return nullptr;
  return query(
      condition ? selectAll(code) + " WHERE " + condition : selectAll(code),
      values);
}

int BaseRDAImpl::exists(const char* code, const char* condition,
                        const std::vector<KvbDatavar>& values) {
  if (!ready()) return -1;
  return lookup("SELECT 1 FROM " + table(code) + " WHERE " + condition, values,
                nullptr);
}

int BaseRDAImpl::matching(const char* code, const char* column,
                          const SqlFields& keys, int* value) {
  if (!writesSerialized(code)) return -1;
  // Every key is a term, null too, as in the row that the add would write.
  return lookup(
      SqlStatement(KvbString("SELECT ") + column + " FROM " + table(code))
          .on(code)
          .whereEvery(keys),
      value);
}

bool BaseRDAImpl::insertUnless(IfPresent policy, const Refusal& refusal,
                               const char* code, const SqlFields& keys,
                               const SqlFields& columns,
                               const std::function<bool()>& first,
                               const char* file, int line) {
  if (!ready()) return false;
  return transaction([&] {
    if (first && !first()) return false;
    switch (matching(code, "1", keys, nullptr)) {
      case 0:
        return insert(code, columns);
      case 1:
        if (policy == IfPresent::kRefuse) return refuse(refusal, file, line);
        if (policy == IfPresent::kWarn)
          logPrintf(logger_, kLogWarning, file, line, "%S", refusal.record);
        return true;
      default:
        return false;
    }
  });
}

int BaseRDAImpl::updateGiven(const char* code, const char* keyColumn, int key,
                             const SqlFields& columns, const SqlFields& stamps,
                             int folderId, int* rows) {
  if (!ready()) return -1;
  SqlStatement update = updateOf(code);
  if (!update.set(columns).anySet()) return 0;
  update.set(stamps).where({keyColumn, key});
  return runFiled(folderId, update, rows) ? 1 : -1;
}

bool BaseRDAImpl::upsert(const char* code, const SqlFields& set,
                         const SqlFields& keys, const SqlFields& insertOnly) {
  if (!ready()) return false;
  SqlStatement update = updateOf(code);
  // A key left out would write other rows too.
  update.set(set).whereEvery(keys);
  // An update that changed no row changed nothing, so the insert after it
  // needs no savepoint of its own: one unit as an add is.
  return addInOneStep([&] {
    int rows = 0;
    if (!writesSerialized(code) || !run(update, &rows)) return false;
    if (rows > 0) return true;
    SqlFields row = keys;
    for (const SqlFields* more : {&set, &insertOnly})
      for (const SqlField& column : *more)
        if (column.given) row.push_back(column);
    return insert(code, row);
  });
}
