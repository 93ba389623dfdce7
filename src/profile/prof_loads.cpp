// Distribution loads: frequency, pattern and match-code rows streamed into
// their tables through the connection's bulk loader, where it has one, or
// through one prepared insert; and the nested rule-log load. Each load is
// one transaction; every path that ends a load, the object's end included,
// ends it, and only the load's own end commits it.
#include <list>
#include <map>
#include <mutex>

#include "kvbase/kvbase.h"
#include "profile/prof_rdaimpl.h"
#include "rda/rda_impl.h"

// A column of a load: its name, type and, for a text, its length (0: the
// connection's longest inline text).
struct LoadColumn {
  const char* name;
  int type;
  int length;
  bool isKey;
};

namespace {
const int kDefaultBatch = 100;

const char* const kLoadNames[] = {"frequency", "pattern", "match-code",
                                  "rule-log"};

// The connection has one bulk loader, which a second initialisation
// replaces: the first load's later rows would then go into the second
// load's table. So each connection's loader belongs to one load of one
// object until that load ends, or its transaction does (rolled back for a
// thread that ended, say), which takes the loader with it.
struct BulkOwner {
  const void* object;
  uint64_t transaction;  // the number of the load's transaction
};
// The loaders' owners by connection. Never destroyed: threads may still
// load while the process exits.
struct BulkOwners {
  std::mutex mutex;
  std::map<const ReposDataAccess*, BulkOwner> byConnection;
};
BulkOwners& bulkOwners() {
  static BulkOwners* const owners = new BulkOwners;
  return *owners;
}

// True when the connection's loader is free: no load holds it in a
// transaction that is still open (a begin has rolled back the caller's own
// load of its kind already). The caller holds the connection's lock, so
// that a transaction whose owner is gone has been rolled back, and its
// loader dropped, before this looks.
bool bulkLoaderFree(RDA_BaseImpl* rda) {
  BulkOwners& owners = bulkOwners();
  std::lock_guard<std::mutex> guard(owners.mutex);
  auto found = owners.byConnection.find(rda);
  return found == owners.byConnection.end() ||
         !rda->transactionStillOpen(found->second.transaction);
}

// The connection's loader belongs to the load of `object` in the
// transaction numbered `transaction`.
void holdBulkLoader(const ReposDataAccess* rda, const void* object,
                    uint64_t transaction) {
  BulkOwners& owners = bulkOwners();
  std::lock_guard<std::mutex> guard(owners.mutex);
  owners.byConnection[rda] = BulkOwner{object, transaction};
}

void releaseBulkLoader(const ReposDataAccess* rda, const void* object) {
  BulkOwners& owners = bulkOwners();
  std::lock_guard<std::mutex> guard(owners.mutex);
  auto found = owners.byConnection.find(rda);
  if (found != owners.byConnection.end() && found->second.object == object)
    owners.byConnection.erase(found);
}

// The columns of each load, in the order of each row's values. The shared
// tables' texts are 255 long; a per-field table's are the longest inline
// text.
const LoadColumn kSharedFrequencyColumns[] = {
    {"FLD_ID", kvbTypeInt, 0, false},
    {"FR_VAL", kvbTypeString, 255, false},
    {"FR_MC", kvbTypeString, 255, false},
    {"FR_CNT", kvbTypeInt, 0, false}};
const LoadColumn kFieldFrequencyColumns[] = {
    {"FR_VALUE", kvbTypeString, 0, true},
    {"FR_COUNT", kvbTypeInt, 0, false},
    {"FR_MCVAL", kvbTypeString, 0, false}};
const LoadColumn kPatternColumns[] = {{"FLD_ID", kvbTypeInt, 0, false},
                                      {"PA_VALUE", kvbTypeString, 255, false},
                                      {"PA_COUNT", kvbTypeInt, 0, false}};
const LoadColumn kMatchCodeColumns[] = {{"FLD_ID", kvbTypeInt, 0, false},
                                        {"MC_VALUE", kvbTypeString, 255, false},
                                        {"MC_COUNT", kvbTypeInt, 0, false},
                                        {"MC_ID", kvbTypeInt, 0, false},
                                        {"FR_VAL", kvbTypeString, 255, false}};
const LoadColumn kRuleLogColumns[] = {
    {"TBL_ID", kvbTypeInt, 0, false},  {"BR_ID", kvbTypeInt, 0, false},
    {"PBR_SEQ", kvbTypeInt, 0, false}, {"LOG_ID", kvbTypeInt, 0, false},
    {"LOG_SEQ", kvbTypeInt, 0, false}, {"LOG_DATA", kvbTypeString, 255, false}};

template <size_t n>
int countOf(const LoadColumn (&)[n]) {
  return static_cast<int>(n);
}
}  // namespace

ProfileRDAImpl::~ProfileRDAImpl() { abandonLoads(); }

void ProfileRDAImpl::release() {
  abandonLoads();  // while the object still has its connection
  RDA_Object::release();
}

// ---------------------------------------------------------------------------
// The shared shapes of the loads

bool ProfileRDAImpl::beginLoad(LoadKind kind, const char* code, int number,
                               const LoadColumn* columns, int count, bool bulk,
                               int batchSize) {
  abandonLoad(kind);
  Load& load = loads_[kind];
  const int longest = rda_->getMaxTextLength();
  std::list<TableColumnInfo> infos;
  KvbString names, markers;
  const KvbString quote = rda_->getIdentifierQuote();
  load.columns = count;
  for (int i = 0; i < count; ++i) {
    TableColumnInfo info;
    info.name = columns[i].name;
    info.type = columns[i].type;
    info.isKey = columns[i].isKey;
    if (info.type == kvbTypeString)
      info.size = columns[i].length > 0 ? columns[i].length : longest;
    load.cut[i] = info.size;
    infos.push_back(info);
    names.append(i ? ", " : "").append(quote + info.name + quote);
    markers.append(i ? ", ?" : "?");
  }
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  // The load's transaction is the object's when the load opens it: its
  // release on another thread then loses it as a host's (see
  // RDA_BaseImpl::transactionOfLoad).
  const bool outermost = !connection->inTransaction();
  const bool useBulk = bulk && rda_->isBulkLoadSupported();
  if (useBulk) {
    // The lock is held from the look at the loader to its claim.
    RDA_LockGuard guard(connection->lock());
    if (!guard) return fail(rda_->getErrorMessage());
    if (!bulkLoaderFree(connection))
      return fail(kvbStringFormat(
          "The connection's bulk loader is held by another load; the %s load "
          "was not begun",
          kLoadNames[kind]));
    // The loader's transaction is the load's.
    if (!rda_->bulkLoadInit(batchSize > 0 ? batchSize : kDefaultBatch,
                            rda_->getTableName(code, false, number), &infos)) {
      releaseBulkLoader(rda_, this);
      logError(rda_->getErrorMessage());
      return false;
    }
    holdBulkLoader(rda_, this, connection->transactionNumber());
    load.bulk = true;
  } else if (!rda_->beginTransaction(false, nullptr)) {
    logError(rda_->getErrorMessage());
    rda_->endTransaction(false);
    return false;
  }
  load.transaction = connection->transactionNumber();
  if (outermost)
    connection->transactionOfLoad(static_cast<const BaseRDAImpl*>(this));
  // A field's own table is made in the load's transaction, and so goes
  // back with a load that does not reach its end, also one whose thread
  // ends first. The loader writes nothing before its first batch.
  bool made;
  {
    RDA_BaseImpl::LoadStep step(connection);
    made = number < 0 ||
           rda_->createTable(kvbStringFormat("%s%d", code, number), infos);
  }
  if (!made) return abandonFailedLoad(kind);
  if (useBulk) return true;
  load.statement = rda_->createStatement(
      "INSERT INTO " + rda_->getTableName(code, true, number) + " (" + names +
      ") VALUES (" + markers + ")");
  if (!load.statement) return abandonFailedLoad(kind);
  int i = 0;
  for (const TableColumnInfo& info : infos)
    load.statement->setParameterInfo(i++, info.type, info.size);
  return true;
}

bool ProfileRDAImpl::abandonFailedLoad(LoadKind kind) {
  logError(rda_->getErrorMessage());
  abandonLoad(kind);
  return false;
}

void ProfileRDAImpl::setLoadText(Load& load, int i, const KvbString& text) {
  if (text.isNull()) {
    load.values[i].setNull(kvbTypeString);
  } else if (load.cut[i] > 0 && text.length() > size_t(load.cut[i])) {
    KvbString cut(text);
    cut.truncateUtf8(load.cut[i]);
    load.values[i].setText(cut.asCstr(), cut.length());
  } else {
    load.values[i].setText(text.asCstr(), text.length());
  }
}

bool ProfileRDAImpl::addLoadRow(LoadKind kind) {
  Load& load = loads_[kind];
  if (!loadOpen(kind))
    return fail(kvbStringFormat("No %s load is open", kLoadNames[kind]));
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  RDA_BaseImpl::LoadStep step(connection);
  bool ok;
  if (load.bulk) {
    // Every connection of the engine is an RDA_BaseImpl, whose loader takes
    // the row's values as they are.
    ok =
        connection->bulkLoadRow(load.values, static_cast<size_t>(load.columns));
  } else {
    ok = true;
    for (int i = 0; ok && i < load.columns; ++i)
      ok = load.statement->setParameter(i, load.values[i]);
    ok = ok && load.statement->execute();
  }
  if (ok) return true;
  // The bulk loader logs its own failure; a statement only records it.
  const KvbString reason =
      load.bulk ? rda_->getErrorMessage() : load.statement->getErrorMessage();
  if (!load.bulk) logError(reason);
  abandonLoad(kind);
  // The rollback's texts do not replace it.
  return failQuietly(connection->loadFailure(reason));
}

bool ProfileRDAImpl::endLoad(LoadKind kind, const std::function<bool()>& last) {
  if (!loadOpen(kind))
    return fail(kvbStringFormat("No %s load is open", kLoadNames[kind]));
  const bool bulk = loads_[kind].bulk;
  auto* connection = static_cast<RDA_BaseImpl*>(rda_);
  if (!bulk && last) {
    RDA_BaseImpl::LoadStep step(connection);
    if (!last()) {
      const KvbString reason = rda_->getErrorMessage();
      abandonLoad(kind);
      // The rollback's texts do not replace it.
      return failQuietly(connection->loadFailure(reason));
    }
  }
  forgetLoad(kind);
  {
    RDA_BaseImpl::LoadStep step(connection);
    if (bulk ? connection->bulkLoadEndAfter(last) : rda_->endTransaction(true))
      return true;
  }
  // The bulk loader logs its own failure, a failed last batch or commit.
  if (!bulk) logError(rda_->getErrorMessage());
  return failQuietly(connection->loadFailure(rda_->getErrorMessage()));
}

void ProfileRDAImpl::abandonLoad(LoadKind kind) {
  if (!loadOpen(kind)) return;
  const bool bulk = loads_[kind].bulk;
  forgetLoad(kind);
  // A bulk load's batches already written go back too; a loader that a
  // failed row ended is no longer open.
  if (bulk)
    static_cast<RDA_BaseImpl*>(rda_)->bulkLoadAbandon();
  else
    rda_->endTransaction(false);
}

bool ProfileRDAImpl::loadOpen(LoadKind kind) {
  Load& load = loads_[kind];
  if (load.transaction &&
      !static_cast<RDA_BaseImpl*>(rda_)->transactionStillOpen(load.transaction))
    forgetLoad(kind);
  return load.transaction != 0;
}

void ProfileRDAImpl::forgetLoad(LoadKind kind) {
  Load& load = loads_[kind];
  load.transaction = 0;
  if (load.bulk) {
    load.bulk = false;
    releaseBulkLoader(rda_, this);
  }
  if (load.statement) {
    load.statement->release();
    load.statement = nullptr;
  }
}

// A release never waits. While a living thread holds the connection, the
// loads' transaction, if it is still open, is that thread's (a load's
// transaction holds the lock from its begin to its end): the object's
// release marks it, and that thread rolls it back at its next call (see
// RDA_BaseImpl::transactionOfLoad). Here the object only forgets them.
void ProfileRDAImpl::abandonLoads() {
  ruleLogDepth_ = 0;
  bool open = false;
  for (const Load& load : loads_) open |= load.transaction != 0;
  if (!open) return;
  RDA_Lock* lock = connectionLock(rda_);
  const bool held = lock->tryAcquire();
  for (int kind = 0; kind < kLoadKinds; ++kind)
    if (held)
      abandonLoad(static_cast<LoadKind>(kind));
    else
      forgetLoad(static_cast<LoadKind>(kind));
  if (held) lock->release();
}

// ---------------------------------------------------------------------------
// Frequency, pattern and match-code loads

bool ProfileRDAImpl::beginFrequencyLoad(int fieldId, bool sharedTable,
                                        int batchSize) {
  if (!ready()) return false;
  frequencyTableShared_ = sharedTable;
  frequencyField_ = fieldId;
  if (sharedTable)
    return beginLoad(kFrequencyLoad, "FRQDST", -1, kSharedFrequencyColumns,
                     countOf(kSharedFrequencyColumns), true, batchSize);
  return beginLoad(kFrequencyLoad, "FRQDST", fieldId, kFieldFrequencyColumns,
                   countOf(kFieldFrequencyColumns), true, batchSize);
}

bool ProfileRDAImpl::beginPatternLoad(int batchSize) {
  return ready() && beginLoad(kPatternLoad, "PATDST", -1, kPatternColumns,
                              countOf(kPatternColumns), true, batchSize);
}

bool ProfileRDAImpl::beginMatchCodeLoad(int batchSize) {
  return ready() && beginLoad(kMatchCodeLoad, "MCDIST", -1, kMatchCodeColumns,
                              countOf(kMatchCodeColumns), true, batchSize);
}

bool ProfileRDAImpl::addFrequencyRow(int fieldId, const KvbString& value,
                                     const KvbString& matchCode,
                                     int64_t count) {
  if (!ready()) return false;
  Load& load = loads_[kFrequencyLoad];
  if (frequencyTableShared_) {
    load.values[0].setInt(fieldId);
    setLoadText(load, 1, value);
    setLoadText(load, 2, matchCode);
    load.values[3].setInt64(count);
  } else {  // the table names the field
    setLoadText(load, 0, value);
    load.values[1].setInt64(count);
    setLoadText(load, 2, matchCode);
  }
  return addLoadRow(kFrequencyLoad);
}

bool ProfileRDAImpl::addPatternRow(int fieldId, const KvbString& pattern,
                                   int64_t count) {
  if (!ready()) return false;
  Load& load = loads_[kPatternLoad];
  load.values[0].setInt(fieldId);
  setLoadText(load, 1, pattern);
  load.values[2].setInt64(count);
  return addLoadRow(kPatternLoad);
}

bool ProfileRDAImpl::addMatchCodeRow(int fieldId, const KvbString& value,
                                     const KvbString& matchCode, int64_t count,
                                     int matchDefinitionId) {
  if (!ready()) return false;
  Load& load = loads_[kMatchCodeLoad];
  load.values[0].setInt(fieldId);
  setLoadText(load, 1, matchCode);
  load.values[2].setInt64(count);
  load.values[3].setInt(matchDefinitionId);
  setLoadText(load, 4, value);
  return addLoadRow(kMatchCodeLoad);
}

bool ProfileRDAImpl::endFrequencyLoad(int) {
  if (!ready()) return false;
  if (frequencyTableShared_) return endLoad(kFrequencyLoad);
  // The indexes of a per-field table are made once its rows are in, in the
  // load's transaction: a load whose indexes cannot be made keeps neither
  // its rows nor its table.
  const int field = frequencyField_;
  return endLoad(kFrequencyLoad, [this, field] {
    if (rda_->createFrequencyTable(field)) return true;
    logError(rda_->getErrorMessage());
    return false;
  });
}

bool ProfileRDAImpl::endPatternLoad(int) {
  return ready() && endLoad(kPatternLoad);
}

bool ProfileRDAImpl::endMatchCodeLoad(int) {
  return ready() && endLoad(kMatchCodeLoad);
}

// ---------------------------------------------------------------------------
// The rule-log load: begins and ends nest; only the outermost pair opens
// and commits the load.

bool ProfileRDAImpl::beginRuleLogLoad() {
  if (!ready()) return false;
  if (!loadOpen(kRuleLogLoad)) ruleLogDepth_ = 0;
  if (++ruleLogDepth_ > 1) return true;
  if (beginLoad(kRuleLogLoad, "PBRLOG", -1, kRuleLogColumns,
                countOf(kRuleLogColumns), false, 0))
    return true;
  ruleLogDepth_ = 0;
  return false;
}

bool ProfileRDAImpl::addRuleLogRow(int tableId, int ruleId, int ruleInstance,
                                   int logId, int logSequence,
                                   const KvbString& logData) {
  if (!ready()) return false;
  Load& load = loads_[kRuleLogLoad];
  load.values[0].setInt(tableId);
  load.values[1].setInt(ruleId);
  load.values[2].setInt(ruleInstance);
  load.values[3].setInt(logId);
  load.values[4].setInt(logSequence);
  setLoadText(load, 5, logData);
  if (addLoadRow(kRuleLogLoad)) return true;
  ruleLogDepth_ = 0;  // the load was rolled back: its ends find none open
  return false;
}

bool ProfileRDAImpl::endRuleLogLoad() {
  if (!ready()) return false;
  if (!loadOpen(kRuleLogLoad)) ruleLogDepth_ = 0;
  if (ruleLogDepth_ == 0) return fail("No rule-log load is open");
  if (--ruleLogDepth_ > 0) return true;
  return endLoad(kRuleLogLoad);
}
