// The back-end-independent connection: configuration, error texts, names,
// transactions, parameterised SQL and the DDL callback. Id counters and
// long texts are in rda_ids.cpp, table creation in rda_tables.cpp.
#include "rda/rda_impl.h"

#include <chrono>

#include "kvlogging/kvlogging.h"
#include "rda/rda_isolation.h"
#include "rda/rda_statement.h"
#include "rda/too_long_value.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"
#include "schema/sql_names.h"

namespace {
const char kSourceFile[] = "rda_impl";
}

RDA_BaseImpl::RDA_BaseImpl()
    : logger_(kvlogGetLogger("KV.Repos.ReposAdmin.RDA")),
      noFailure_(
          kvb_get_message(kSourceFile, __LINE__, "Repository Library", 1584)) {}

RDA_BaseImpl::~RDA_BaseImpl() = default;

// "schema.prefix", "prefix" or "": plain names, so that a prefix can never
// break out of the SQL it is written into.
bool RDA_BaseImpl::validPrefix(const KvbString& prefix) const {
  if (prefix.isEmpty()) return true;
  size_t point = prefix.find('.');
  if (point == KvbString::npos) return isPlainName(prefix);
  return isPlainName(prefix.substr(0, point)) &&
         isPlainName(prefix.substr(point + 1));
}

bool RDA_BaseImpl::init(const KvbString& connection,
                        const KvbString& tablePrefix,
                        RepositoryStatusCallback* status,
                        KvbString& errorText) {
  status_ = status;
  if (usesTablePrefix_INT()) {
    if (!validPrefix(tablePrefix)) {
      errorText = "The table prefix \"" + tablePrefix +
                  "\" is not letters, digits and underscores (with one point "
                  "between schema and prefix)";
      return false;
    }
    tablePrefix_ = tablePrefix.isNull() ? KvbString("") : tablePrefix;
  } else {
    tablePrefix_ = "";
  }
  RDA_LockGuard guard(&lock_);
  return open_INT(connection, errorText) && resolveSchema(errorText) &&
         prefixFitsAtOpen(errorText);
}

// The calling thread's own last failure, also a call that could not take
// the lock: never another thread's, and without waiting for the lock.
KvbString RDA_BaseImpl::getErrorMessage() {
  return lock_.texts().lastOr(noFailure_);
}

bool RDA_BaseImpl::fail(const KvbString& text) {
  lock_.texts().set(text);
  if (transactionOpen_ && !checkingLost_) markLostIfEnded();
  return false;
}

bool RDA_BaseImpl::noteFailure(const KvbString& text) {
  if (lock_.heldHere()) return fail(text);
  lock_.texts().set(text);
  return false;
}

// ---------------------------------------------------------------------------
// Names

KvbString RDA_BaseImpl::getTableName(const char* tableCode, bool quote,
                                     int number) {
  KvbString schema = getSchemaName();
  const KvbString table = ownName(tableCode ? tableCode : "", number);
  const KvbString q = quote ? nameQuote_INT() : KvbString("");
  KvbString out("");
  if (!schema.isEmpty()) out.append(q).append(schema).append(q).append('.');
  return out.append(q).append(table).append(q);
}

KvbString RDA_BaseImpl::ownName(const char* code, int id) {
  KvbString name;
  getTablePrefix(true, &name, nullptr);
  name.append(code);
  if (id >= 0) name.append(KvbString::fromInt(id));
  return name;
}

bool RDA_BaseImpl::getTablePrefix(bool withoutSchema, KvbString* prefix,
                                  KvbString* errorText) {
  if (!prefix) {
    if (errorText) *errorText = "No place was given for the table prefix";
    return false;
  }
  size_t point = tablePrefix_.find('.');
  *prefix = withoutSchema && point != KvbString::npos
                ? tablePrefix_.substr(point + 1)
                : tablePrefix_;
  return true;
}

KvbString RDA_BaseImpl::getIndexName(int number, const KvbString& base) {
  KvbString name;
  getTablePrefix(true, &name, nullptr);
  return name.append("idx").append(base).append(KvbString::fromInt(number));
}

KvbString RDA_BaseImpl::getColumnList(const KvbString& tableCode,
                                      const char* alias) {
  const KvbString lead =
      alias && *alias ? KvbString(alias).append('.') : KvbString("");
  const ReposColumnDef* def = findTableColumnDefs(tableCode.asCstr());
  if (!def) return lead + "*";
  KvbString list("");
  auto add = [&](const KvbString& column) {
    if (!list.isEmpty()) list.append(", ");
    list.append(lead).append(column);
  };
  for (; !isEndRecord(*def); ++def) {
    if (def->flags & kColMetrics) {
      for (int m = 0; m < kFieldMetricCount; ++m)
        add(kvbStringFormat("MET_%d", m));
    } else {
      add(def->columnName);
    }
  }
  return list;
}

int RDA_BaseImpl::declaredTextLength(const char* code, const char* column) {
  const std::string name(column);
  const ReposColumnDef* def = findTableColumnDefs(code);
  if (!def) {
    const auto found = declaredLengths_.find({code, name});
    if (found == declaredLengths_.end()) return 0;
    return found->second ? found->second : getMaxTextLength();
  }
  for (; !isEndRecord(*def); ++def) {
    if (def->flags & kColMetrics) {
      // MET_0..MET_23, sized as the table creation sizes them.
      for (int m = 0; m < kFieldMetricCount; ++m)
        if (name == "MET_" + std::to_string(m))
          return fieldMetricDefs[m].size ? fieldMetricDefs[m].size
                                         : getMaxTextLength();
    } else if (name == def->columnName) {
      if (def->type != kvbTypeString) return 0;
      return (def->flags & kColMaxText) ? getMaxTextLength() : def->length;
    }
  }
  return 0;
}

void RDA_BaseImpl::declareTextLength(const KvbString& code,
                                     const KvbString& column, int length) {
  declaredLengths_[{code.str(), column.str()}] = length;
}

// ---------------------------------------------------------------------------
// Transactions

// The last hold closes the connection. Every caller holds the connection
// (through the repository, a data-access object, a statement or a cursor)
// for as long as it can call in, and a thread that runs handed-over work
// holds it through the call or release that runs it, so after the last
// hold no other thread can be inside the connection: a thread that still
// holds its lock holds a transaction it can never end, which is rolled
// back here, or is on its way out of the lock. The work still handed over
// runs here; nothing else is left to wait for.
void RDA_BaseImpl::release() {
  if (holds_.fetch_sub(1, std::memory_order_acq_rel) > 1) return;
  lock_.takeForClose(
      "The connection was released while another thread held a transaction "
      "on it");
  if (depth_ > 0)
    abandonTransaction("The connection was released with a transaction open",
                       true);
  // The kept statements end while the connection is still this object's:
  // the back end's destructor may hand it to another user.
  for (RDA_StatementBase* kept : {raiseCounter_, readCounter_, writeTurn_})
    if (kept) kept->release();
  delete this;
}

// The name of the savepoint of a nesting depth: never a caller's text.
static KvbString savepointName(int depth) {
  return kvbStringFormat("kv_level_%d", depth);
}

// The hold stays until the matching end where the depth stays raised,
// parked there for the transaction; else it is given up before the answer.
bool RDA_BaseImpl::beginFor(const void* object, bool immediate, bool* busy) {
  return beginFor(object, immediate, busy, false);
}

bool RDA_BaseImpl::beginFor(const void* object, bool immediate, bool* busy,
                            bool own) {
  if (busy) *busy = false;
  if (!lock_.acquire()) return false;
  const int depthBefore = depth_;
  const bool begun = beginHeld(object, immediate, busy, own);
  if (depth_ > depthBefore)
    lock_.parkForTransaction();
  else
    lock_.release();
  return begun;
}

bool RDA_BaseImpl::beginHeld(const void* object, bool immediate, bool* busy,
                             bool own) {
  if (ddlActive()) return true;
  if (depth_ > 0) {
    if (usable()) {
      const bool begun = beginLevel();
      levels_.back().own = own;
      return begun;
    }
    if (depth_ == 0) return false;  // a load's, closed as it was lost
    // Lost: the level counts, so that the host's ends pair up.
    ++depth_;
    levels_.push_back({false, afterCommit_.size(), own});
    return false;
  }
  depth_ = 1;
  ownOutermost_ = own;
  ++number_;
  rollbackOnly_ = false;
  loadOnly_ = false;
  joinedLoad_ = false;
  lock_.transactionBegun(this, object);
  bool wasBusy = false;
  if (begin_INT(&wasBusy)) {
    transactionOpen_ = true;
    return true;
  }
  // Only a caller that asked to be told of a busy database can know that
  // the depth is back down; any other ends the failed begin itself.
  if (immediate && wasBusy && busy) {
    *busy = true;
    depth_ = 0;
    lock_.transactionEnded();
    return false;
  }
  // The level stays for the caller's end to pair with, but nothing was
  // begun: each call until that end would commit on its own, so each fails
  // with the begin's reason instead.
  loseTransaction("The transaction could not begin: " + getErrorMessage());
  return false;
}

bool RDA_BaseImpl::beginOrUndo(bool immediate, bool* busy) {
  if (beginFor(nullptr, immediate, busy, true)) return true;
  if (!inTransaction()) return false;
  const KvbString reason = getErrorMessage();
  endTransaction(false);
  return fail(reason);
}

// A nested begin. Without an open database transaction (its begin failed)
// there is nothing to set a savepoint in; a level without a savepoint can
// only roll back with the whole transaction.
bool RDA_BaseImpl::beginLevel() {
  ++depth_;
  Level level{false, afterCommit_.size()};
  const bool wanted = transactionOpen_ && !rollbackOnly_;
  if (wanted)
    level.savepoint =
        savepointStatement_INT("SAVEPOINT " + savepointName(depth_));
  levels_.push_back(level);
  if (!wanted || level.savepoint) return true;
  rollbackOnly_ = true;
  return false;
}

void RDA_BaseImpl::objectReleased(const void* object) {
  if (lock_.objectReleased(object) == RDA_Lock::ObjectRelease::kHeldHere)
    abandonTransaction(
        "The data-access object that began a transaction was released "
        "while the transaction was open",
        true);
}

void RDA_BaseImpl::transactionOfLoad(const void* object) {
  if (!lock_.heldHere() || depth_ != 1) return;
  lock_.transactionOf(object);
  loadOnly_ = true;
}

RDA_BaseImpl::LoadStep::LoadStep(RDA_BaseImpl* connection)
    : connection_(connection), guard_(connection->lock()) {
  if (guard_) ++connection_->loadSteps_;
}

RDA_BaseImpl::LoadStep::~LoadStep() {
  if (guard_) --connection_->loadSteps_;
}

static KvbString loadLossText(const KvbString& reason) {
  return "The load's transaction was rolled back, and with it the writes "
         "that other calls of this thread made while the load was open: " +
         reason;
}

void RDA_BaseImpl::noteLoadLoss(const KvbString& reason) {
  if (loadOnly_ && joinedLoad_)
    loadLosses_[rdaCurrentThread()] = loadLossText(reason);
}

KvbString RDA_BaseImpl::loadFailure(const KvbString& reason) {
  RDA_LockGuard guard(&lock_);
  if (!guard || loadLosses_.count(rdaCurrentThread()) == 0) return reason;
  return loadLossText(reason);
}

void RDA_BaseImpl::ownerGone(const char* why) {
  abandonTransaction(why, false);
}

// Nothing of the connection is read after the last hold is given up: the
// next holder may close it.
void RDA_BaseImpl::abandonTransaction(const char* why, bool releaseHolds) {
  logPrintf(logger_, kLogWarning, kSourceFile, __LINE__,
            "%s; the transaction was rolled back", why);
  if (transactionOpen_) rollback_INT();
  transactionOpen_ = false;
  transactionAbandoned_INT();
  const int holds = releaseHolds ? depth_ : 0;
  depth_ = 0;
  forgetTransaction();
  for (int i = 0; i < holds; ++i) lock_.releaseParked();
}

void RDA_BaseImpl::forgetTransaction() {
  rollbackOnly_ = false;
  loadOnly_ = false;
  joinedLoad_ = false;
  lost_ = "";
  levels_.clear();
  afterCommit_.clear();
  lock_.transactionEnded();
}

void RDA_BaseImpl::loseTransaction(const KvbString& text) {
  lost_ = text;
  lostReported_ = false;
  lossLogged_ = false;
  transactionOpen_ = false;
}

void RDA_BaseImpl::loseToReleasedObject() {
  logPrintf(logger_, kLogWarning, kSourceFile, __LINE__, "%s",
            "The data-access object that began a transaction was released on "
            "another thread while the transaction was open; the transaction "
            "was rolled back");
  if (transactionOpen_) rollback_INT();
  transactionAbandoned_INT();
  const KvbString released =
      "The transaction was rolled back: the data-access object that began it "
      "was released";
  loseTransaction(loadOnly_ && joinedLoad_ ? loadLossText(released) : released);
  lostReported_ = lossLogged_ = true;  // the record above says it
}

// Asked after each failure inside the open transaction. Where a savepoint
// of an open level was set before the failure, the back end is told so: a
// server's aborted transaction is then the level's to undo, unless the
// driver ended the whole transaction, savepoints included.
void RDA_BaseImpl::markLostIfEnded() {
  bool savepointSet = false;
  if (!failedStatementsUndoThemselves_INT())
    for (const Level& level : levels_) savepointSet |= level.savepoint;
  const KvbString reason = getErrorMessage();
  // A transaction that the server could not serialize with another is
  // rolled back whole, as one that a deadlock ended: a savepoint would only
  // run its work again on what it read before, which the server refuses.
  const bool serialization = isSerializationFailure(reason);
  checkingLost_ = true;
  const bool ended = serialization ? (rollback_INT(), true)
                                   : transactionLost_INT(savepointSet);
  checkingLost_ = false;
  const KvbString text =
      serialization ? serializationLossText(reason) : reason;
  lock_.texts().set(text);
  if (!ended) return;
  loseTransaction(serialization ? text : lostText_INT(reason));
  if (sessionLost_INT()) lock_.texts().set(lost_);
}

// A loss at the failure that is restated has the failure's text in it; one
// that a call has reported already keeps what it answered.
KvbString RDA_BaseImpl::failureNamedBy(
    const std::function<KvbString()>& name) {
  const KvbString reason = getErrorMessage();
  if (!refusedValue(reason)) return reason;
  const KvbString text = name();
  if (text.isNull()) return reason;
  restateFailure(reason, text);
  return text;
}

void RDA_BaseImpl::restateFailure(const KvbString& reason,
                                  const KvbString& text) {
  lock_.texts().set(text);
  if (!lost_.isEmpty() && !lostReported_ && lost_ == lostText_INT(reason))
    lost_ = lostText_INT(text);
}

// The loss is logged once. An operation of the engine that answers it
// logs it as its failure; the host's own calls log nothing, so the host's
// end that reports it warns of it, unless such a record came first. A
// transaction that its beginner rolls back at once, after its one failed
// statement, loses nothing that the statement's own failure does not say.
bool RDA_BaseImpl::reportLost(bool hostsEnd) {
  if (hostsEnd && !lossLogged_)
    logPrintf(logger_, kLogWarning, kSourceFile, __LINE__, "%S", lost_);
  lossLogged_ = lossLogged_ || hostsEnd;
  lostReported_ = true;
  return fail(lost_);
}

void RDA_BaseImpl::lossLogged(const KvbString& text) {
  if (lock_.heldHere() && !lost_.isEmpty() &&
      (text.find(lost_.asCstr()) != KvbString::npos ||
       tellsOfLostSession_INT(text)))
    lossLogged_ = true;
}

bool RDA_BaseImpl::endLoggedByCaller(bool commit) {
  if (commit && !lost_.isEmpty()) lossLogged_ = true;
  return endTransaction(commit);
}

// The first call after the transaction's object was released on another
// thread rolls the transaction back; from then on it is lost.
bool RDA_BaseImpl::refuseInLostTransaction() {
  if (lost_.isEmpty()) {
    loseToReleasedObject();
    if (loadOnly_ && depth_ == 1) return closeLostLoad();
  }
  return reportLost(false);
}

// A load loss fails no transaction: the call that hears of it stores
// nothing, and a transaction of the host's goes on.
bool RDA_BaseImpl::refuseUnusable() {
  const auto loss = loadLosses_.find(rdaCurrentThread());
  if (loss != loadLosses_.end()) {
    lock_.texts().set(loss->second);
    loadLosses_.erase(loss);
    return false;
  }
  if (lost_.isEmpty() && !lock_.objectGone()) return true;
  return refuseInLostTransaction();
}

// The load's level is the only one: its hold, parked since its begin, is
// given up; the calling call keeps its own.
bool RDA_BaseImpl::closeLostLoad() {
  const KvbString text = lost_;
  depth_ = 0;
  forgetTransaction();
  lock_.releaseParked();
  return fail(text);
}

// An end in a lost transaction: the database has nothing left to commit or
// roll back. Each end answers false with the reason; the outermost closes
// the transaction. A rollback before any call reported the loss keeps the
// failed statement's own reason at the outermost level, and at every level
// when all of them are the engine's own: the call that failed then answers
// its own failure, which it logged, not the loss of a transaction that was
// only its own.
bool RDA_BaseImpl::endLost(bool commit) {
  if (depth_ > 1) {
    const bool quiet = !commit && !lostReported_ && onlyOwnLevels();
    const bool hosts = !levels_.back().own;
    --depth_;
    levels_.pop_back();
    return quiet ? false : reportLost(hosts);
  }
  if (commit || lostReported_) reportLost(!ownOutermost_);
  noteLoadLoss(getErrorMessage());
  depth_ = 0;
  forgetTransaction();
  return false;
}

bool RDA_BaseImpl::onlyOwnLevels() const {
  if (!ownOutermost_) return false;
  for (const Level& level : levels_)
    if (!level.own) return false;
  return true;
}

bool RDA_BaseImpl::endTransaction(bool commit) {
  // Waiting would not help: only the thread that began it can end it.
  if (lock_.transactionOfAnotherThread())
    return lock_.refuseHere(
        "The transaction was begun on another thread; only that thread can "
        "end it");
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  if (ddlActive()) return true;
  // The caller's own mistake: the answer and the text say it, and a host's
  // own end is not logged. The text differs for a thread that has failed
  // on this connection before.
  if (depth_ <= 0) {
    KvbString failure;
    const int id = lock_.texts().last(failure) ? 1068 : 1065;
    return fail(
        kvb_get_message(kSourceFile, __LINE__, "Repository Library", id));
  }
  // No end of the host's pairs with a load's transaction: one whose object
  // is gone is closed by this end's refusal.
  if (loadOnly_ && depth_ == 1 && lost_.isEmpty() && lock_.objectGone())
    return refuseInLostTransaction();
  lock_.releaseParked();  // the matching begin's; the guard keeps one
  if (lost_.isEmpty() && lock_.objectGone()) loseToReleasedObject();
  if (!lost_.isEmpty()) return endLost(commit);
  return depth_ > 1 ? endLevel(commit) : endOutermost(commit);
}

// A nested end: the savepoint is released, or rolled back to and then
// released. A level that cannot roll back by itself dooms the whole
// transaction, whose outermost end then rolls back and answers false.
bool RDA_BaseImpl::endLevel(bool commit) {
  const Level level = levels_.back();
  levels_.pop_back();
  const KvbString name = savepointName(depth_--);
  if (!commit) afterCommit_.resize(level.afterCommit);
  if (!level.savepoint) {
    if (!commit) rollbackOnly_ = true;
    return true;
  }
  const KvbString release = "RELEASE SAVEPOINT " + name;
  const KvbString reason = getErrorMessage();
  if (commit ? savepointStatement_INT(release)
             : savepointStatement_INT("ROLLBACK TO SAVEPOINT " + name) &&
                   savepointStatement_INT(release))
    return true;
  // A savepoint can go with the whole transaction: the PostgreSQL driver
  // rolls a transaction back whole when its first statement after the
  // savepoint fails (a lock wait past its timeout, say). The level is then
  // answered with why it was rolled back, not with the savepoint's loss.
  if (!commit) lock_.texts().set(reason);
  rollbackOnly_ = true;
  return false;
}

bool RDA_BaseImpl::endOutermost(bool commit) {
  depth_ = 0;
  lock_.transactionEnded();
  if (!commit) rollbackOnly_ = true;
  const bool opened = transactionOpen_;
  transactionOpen_ = false;
  if (!opened || rollbackOnly_) afterCommit_.clear();
  if (!opened) return !rollbackOnly_;
  if (rollbackOnly_) {
    KvbString reason = getErrorMessage();
    noteLoadLoss(reason);
    if (!rollback_INT()) {
      // The rollback's own reason (set by the back end) is the answer. A
      // caller that asked for the rollback treats it as cleanup and does
      // not look at the answer, so the failure is logged here.
      if (!commit)
        logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S",
                  getErrorMessage());
      return false;
    }
    if (!commit) return true;
    return fail(
        "The transaction was rolled back because a part of it "
        "failed: " +
        reason);
  }
  if (commit_INT()) {
    runAfterCommit();
    return true;
  }
  afterCommit_.clear();
  KvbString reason = getErrorMessage();
  noteLoadLoss(reason);
  rollback_INT();
  return fail(reason);
}

// A thread that does not hold the lock holds no transaction: these answer
// it without waiting.
void RDA_BaseImpl::mustRollBack() {
  if (lock_.heldHere() && depth_ > 0) rollbackOnly_ = true;
}

// The server's own reason names only its lock timeout, not whose writes
// were waited for, nor for how long. Only a wait that the server ended is
// restated, by its SQLSTATE: its lock timeout (lock_not_available) or a
// deadlock it broke by refusing this wait (deadlock_detected). The reason is
// given from its SQLSTATE on, without the statement of the turn, which the
// host never wrote. Any other failure keeps its own reason.
bool RDA_BaseImpl::serializeWrites(const KvbString& key) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  const char* sql = serializeWritesSql_INT();
  if (!sql || !transactionOpen_ || ddlActive()) return true;
  if (!usable()) return false;
  const KvbDatavar name(key);
  RDA_StatementBase* turn = keptStatement(writeTurn_, sql, {&name});
  if (!turn) return false;
  const auto start = std::chrono::steady_clock::now();
  int64_t taken = 0;
  if (turn->readInt64(taken) == 1) return true;
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  const KvbString reason = getErrorMessage();
  const size_t timeout = reason.find("[55P03]");
  const size_t deadlock = reason.find("[40P01]");
  if (deadlock != KvbString::npos) {
    const KvbString text = kvbStringFormat(
        "The table %S is being written by another connection whose "
        "transaction waits for this one's; this transaction was rolled back "
        "to end the deadlock: %S",
        key, reason.substr(deadlock));
    restateFailure(reason, text);
    // Whether the server's failure ended the transaction depends on the
    // driver's mode; it ends here in every mode, so that the other
    // transaction goes on at once and this one's later calls say why.
    if (lost_.isEmpty()) rollback_INT();
    loseTransaction(text);
    lostReported_ = lossLogged_ = true;  // the caller logs this failure
  } else if (timeout != KvbString::npos) {
    restateFailure(
        reason,
        kvbStringFormat("The table %S is being written by another "
                        "connection; this write waited %d ms for its turn "
                        "(SQLITE/BUSY_TIMEOUT): %S",
                        key, static_cast<int>(waited.count()),
                        reason.substr(timeout)));
  }
  return false;
}

bool RDA_BaseImpl::inTransaction() {
  return lock_.heldHere() && depth_ > 0;
}

bool RDA_BaseImpl::transactionStillOpen(uint64_t number) {
  // The holder of the transaction asks once per row of a load: it needs
  // no guard, which only another thread's ended transaction calls for.
  if (lock_.heldHere()) return depth_ > 0 && number_ == number;
  RDA_LockGuard guard(&lock_);
  return !guard || (depth_ > 0 && number_ == number);
}

void RDA_BaseImpl::afterCommit(std::function<void()> work) {
  if (lock_.heldHere() && depth_ > 0)
    afterCommit_.push_back(std::move(work));
  else
    work();
}

// Work given while the work runs (a listener that writes) runs at once or
// in a transaction of its own.
void RDA_BaseImpl::runAfterCommit() {
  std::vector<std::function<void()>> work;
  work.swap(afterCommit_);
  for (const std::function<void()>& step : work) step();
}

// ---------------------------------------------------------------------------
// Parameterised SQL

ReposDataAccessStatement* RDA_BaseImpl::createStatement(const KvbString& sql) {
  RDA_LockGuard guard(&lock_);
  RDA_StatementBase* statement = guard ? prepareOrScript(sql) : nullptr;
  if (statement) statement->holdConnection();
  return statement;
}

RDA_StatementBase* RDA_BaseImpl::prepareOrScript(const KvbString& sql) {
  if (ddlActive()) return new RDA_ScriptStatement(this, sql);
  return prepare_INT(sql);
}

// Prepares `sql`, binds the n `KvbDatavar*` of `values` (declaring each
// marker's type from `types` when given) and runs it: as a query when
// `cursor` is given, else as a statement counting `rows`.
bool RDA_BaseImpl::bindAndRun(const KvbString& sql, int n, va_list values,
                              const KvbString* types, int64_t* rows,
                              ReposDataAccessCursor** cursor) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  // Queries run on the database also while a script is written.
  RDA_StatementBase* statement =
      cursor ? prepareOnce_INT(sql) : prepareOrScript(sql);
  if (!statement) return false;
  bool ok = true;
  for (int i = 0; ok && i < n; ++i) {
    const KvbDatavar* value = va_arg(values, const KvbDatavar*);
    if (types && static_cast<size_t>(i) < types->length()) {
      char letter = types->str()[i];
      statement->setParameterInfo(i,
                                  letter == 'I'   ? kvbTypeInt
                                  : letter == 'R' ? kvbTypeReal
                                                  : kvbTypeString,
                                  letter == 'S' ? getMaxTextLength() : 0);
    }
    ok = statement->setParameter(i, value ? *value : KvbDatavar());
  }
  if (ok) {
    if (cursor)
      ok = (*cursor = statement->select()) != nullptr;
    else
      ok = statement->run(rows);
  }
  statement->release();
  return ok;
}

ReposDataAccessCursor* RDA_BaseImpl::paramSelectV(const KvbString& sql, int n,
                                                  va_list values) {
  ReposDataAccessCursor* cursor = nullptr;
  va_list copy;
  va_copy(copy, values);
  bindAndRun(sql, n, copy, nullptr, nullptr, &cursor);
  va_end(copy);
  return cursor;
}

ReposDataAccessCursor* RDA_BaseImpl::paramSelect(const KvbString& sql, int n,
                                                 ...) {
  va_list values;
  va_start(values, n);
  ReposDataAccessCursor* cursor = paramSelectV(sql, n, values);
  va_end(values);
  return cursor;
}

static void storeRows(int* out, int64_t rows) {
  if (out) *out = static_cast<int>(rows);
}

bool RDA_BaseImpl::paramExec(const KvbString& sql, int* rowsAffected, int n,
                             ...) {
  va_list values;
  va_start(values, n);
  int64_t rows = 0;
  bool ok = bindAndRun(sql, n, values, nullptr, &rows, nullptr);
  va_end(values);
  storeRows(rowsAffected, rows);
  return ok;
}

bool RDA_BaseImpl::paramExecWTypes(const KvbString& sql, int* rowsAffected,
                                   const KvbString& types, int n, ...) {
  va_list values;
  va_start(values, n);
  int64_t rows = 0;
  bool ok = bindAndRun(sql, n, values, &types, &rows, nullptr);
  va_end(values);
  storeRows(rowsAffected, rows);
  return ok;
}

bool RDA_BaseImpl::paramSingleton(const KvbString& sql, int* result, int n,
                                  ...) {
  va_list values;
  va_start(values, n);
  ReposDataAccessCursor* cursor = nullptr;
  RDA_LockGuard guard(&lock_);
  bool ok = guard && bindAndRun(sql, n, values, nullptr, nullptr, &cursor);
  va_end(values);
  if (!ok) return false;
  switch (cursor->next()) {
    case 1:
      if (result) *result = cursor->getInt(0);
      break;
    case 0:
      ok = fail(
          kvb_get_message(kSourceFile, __LINE__, "Repository Library", 1053));
      break;
    default:
      ok = false;
  }
  cursor->release();
  return ok;
}

// ---------------------------------------------------------------------------
// The DDL callback

bool RDA_BaseImpl::setDDLCallback(ReposDDLCallback* callback) {
  RDA_LockGuard guard(&lock_);
  if (!guard) return false;
  ddlCallback_ = callback;
  scripting_.store(callback != nullptr, std::memory_order_relaxed);
  if (!callback) scriptCounters_.clear();
  return true;
}

bool RDA_BaseImpl::divertStatement(const KvbString& text) {
  if (ddlCallback_->writeStatement(text)) return true;
  return fail("The statement could not be written to the DDL script: " + text);
}

bool RDA_BaseImpl::runDDL(const KvbString& sql) {
  if (ddlActive()) return divertStatement(sql);
  logPrintf(logger_, kLogTrace, kSourceFile, __LINE__, "%S", sql);
  if (!usable() || !exec_INT(sql, nullptr)) return false;
  wrote();
  return true;
}

// ---------------------------------------------------------------------------
// The rest

int RDA_BaseImpl::getMaxTextLength() { return kInlineTextLimit; }

KvbString RDA_BaseImpl::repositoryUUID(KvbString* reason) {
  KvbDatavar type("KVREPOSITORY");
  KvbString sql = kvbStringFormat("SELECT I_UUID FROM %S WHERE I_TYPE = ?",
                                  getTableName("INFO", true, -1));
  RDA_LockGuard guard(&lock_);
  if (!guard) {
    if (reason) *reason = getErrorMessage();
    return "";
  }
  // The thread's failure, or that it has none, is restored afterwards.
  KvbString saved;
  const bool failedBefore = lock_.texts().last(saved);
  // Inside a transaction the query runs at a savepoint of its own, so that
  // its failure cannot end a server's transaction.
  const bool nested = inTransaction() && beginOrUndo(false, nullptr);
  ReposDataAccessCursor* cursor = paramSelect(sql, 1, &type);
  // A row that cannot be fetched is a failed read, not a missing row.
  const int fetched = cursor ? cursor->next() : 2;
  KvbString uuid(fetched == 1 ? cursor->getString(0) : KvbString(""));
  if (cursor) cursor->release();
  const KvbString failure = getErrorMessage();
  if (nested) endTransaction(fetched != 2);
  // Nor is an INFO table without the column, an older repository's: it
  // holds no UUID.
  const bool read = fetched != 2 || lacksColumn("INFO", "I_UUID");
  if (read) {
    std::lock_guard<std::mutex> kept(uuidMutex_);
    lastUuid_ = uuid;
  } else if (reason) {
    *reason = failure;
  }
  if (failedBefore)
    lock_.texts().set(saved);
  else
    lock_.texts().forget();
  return uuid;
}

KvbString RDA_BaseImpl::getRepositoryUUID() {
  KvbString reason;
  const KvbString uuid = repositoryUUID(&reason);
  if (!reason.isNull()) fail(reason);
  return uuid;
}

KvbString RDA_BaseImpl::eventRepositoryUUID(KvbString* reason) {
  KvbString why;
  const KvbString uuid = repositoryUUID(&why);
  if (why.isNull()) return uuid;
  {
    std::lock_guard<std::mutex> kept(uuidMutex_);
    if (!lastUuid_.isEmpty()) return lastUuid_;
  }
  *reason =
      "No event was posted: the repository's UUID could not be read: " + why;
  logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%S", *reason);
  return "";
}

bool RDA_BaseImpl::bulkLoadInit(int, const KvbString&,
                                const std::list<TableColumnInfo>*) {
  return noteFailure("This connection does not support bulk loading");
}

bool RDA_BaseImpl::bulkLoadAddRow(int n, ...) {
  std::vector<KvbDatavar> row;
  va_list values;
  va_start(values, n);
  for (int i = 0; i < n; ++i) {
    const KvbDatavar* value = va_arg(values, const KvbDatavar*);
    row.push_back(value ? *value : KvbDatavar());
  }
  va_end(values);
  return bulkLoadRow(row.data(), row.size());
}

bool RDA_BaseImpl::bulkLoadRow(const KvbDatavar*, size_t) {
  logPrintf(logger_, kLogError, kSourceFile, __LINE__,
            "Bulk load not initialized");
  return noteFailure("Bulk load not initialized");
}

bool RDA_BaseImpl::bulkLoadEnd(bool) {
  logPrintf(logger_, kLogError, kSourceFile, __LINE__,
            "Bulk load not initialized");
  return noteFailure("Bulk load not initialized");
}
