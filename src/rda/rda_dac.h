// RDA_DAC: the repository connection through the data-access library (a
// SQLite file by "KVXTYPE=SQLITE", or a database server through ODBC), with
// its statements, cursors and bulk loader. On PostgreSQL no name is quoted,
// so that every name folds to lower case alike, and cursors give column
// names in upper case.
#ifndef RDA_RDA_DAC_H_
#define RDA_RDA_DAC_H_

#include <functional>
#include <memory>
#include <vector>

#include "kvdataaccess/kvdataaccess.h"
#include "rda/rda_batch_writer.h"
#include "rda/rda_impl.h"
#include "rda/rda_isolation.h"

namespace KvTableCreateNS {
class KvCreateSpecDocImpl;
}

class RDA_DAC : public RDA_BaseImpl {
 public:
  RDA_DAC();

  KvbString getIdentifierQuote() override { return nameQuote_INT(); }
  bool isDBMSSupported() override;
  bool needsNextIdResync() override { return resyncIds_; }
  DacConnection* getDacConnection() override { return dac_; }

  bool isBulkLoadSupported() override;
  bool bulkLoadInit(int batchSize, const KvbString& physicalName,
                    const std::list<TableColumnInfo>* columns) override;
  bool bulkLoadRow(const KvbDatavar* values, size_t count) override;
  bool bulkLoadEnd(bool flush) override;
  bool bulkLoadEndAfter(const std::function<bool()>& last) override;
  void bulkLoadAbandon() override;

  // The dialect's column type and the end of its CREATE TABLE text, for a
  // database kind; exposed so that dialects without a reachable server can
  // be checked through their text.
  static KvbString columnTypeFor(DacDbKind kind, int type, int size, bool key);
  static KvbString tableTailFor(DacDbKind kind,
                                const std::vector<KvbString>& keys);

  // Notes that the driver or the server refused a call of the connection,
  // of one of its statements or of one of its cursors (running, fetching
  // a row, reading a value, binding a value), just before its reason is
  // recorded: inside a transaction the record then asks whether the
  // driver rolled the whole transaction back (transactionLost_INT). The
  // engine's own refusals, which reach no driver, are not noted.
  // `bind`: the refusal was of a value to bind, which reaches no server;
  // the transaction is given up all the same where the driver may have
  // ended it, but its text says so (lostText_INT).
  void noteRefusal(bool bind = false) {
    serverFailed_ = true;
    bindRefused_ = bind;
  }
  // Runs one statement of the connection (`run`, true when it succeeded,
  // `reason` its failure): outside a transaction of a server, a statement
  // that the server could not serialize with another transaction runs
  // again (see runRetriedAlone).
  template <class Run, class Reason>
  bool runAlone(const Run& run, const Reason& reason) {
    return runRetriedAlone(!inTransaction_ && kind_ != DAC_DB_SQLITE, run,
                           reason);
  }

  // --- A server session that is lost (see rda_dac_session.cpp) ---
  // What a call that meets the loss of the session was doing, which its
  // text names: preparing (which stores nothing and uses nothing of the
  // session), the begin's own setting (nothing of the transaction ran
  // before it), running a query or a write, reading rows, committing.
  enum class SessionUse { kPrepare, kBegin, kQuery, kWrite, kRows, kCommit };
  // Runs `attempt`, one call of the connection's driver objects that
  // reaches the server, whose reason `why` gives when it fails. Outside a
  // transaction a session found lost before is first replaced by a new
  // one. A run that meets the loss is run once more on a new session where
  // nothing of the old one can be missing (see rerunnable); else it fails
  // with the loss's text (see restated). False with the text in `failure`.
  bool onSession(SessionUse use, const std::function<bool()>& attempt,
                 const std::function<KvbString()>& why, KvbString& failure);
  // onSession for running a statement, which outside a transaction is
  // also run again when the server could not serialize it (runAlone).
  bool runOnSession(SessionUse use, const std::function<bool()>& run,
                    const std::function<KvbString()>& why,
                    KvbString& failure) {
    return onSession(use, [&] { return runAlone(run, why); }, why, failure);
  }
  // `reason`, a driver's refusal, as the failure's text: when it says the
  // session is gone (dacSessionLost), the session is marked lost and the
  // text says that the connection to the database was lost, what went
  // with it for `use` and the server's reason, without the statement.
  KvbString restated(const KvbString& reason, SessionUse use);

 protected:
  ~RDA_DAC() override;

  bool open_INT(const KvbString& connection, KvbString& errorText) override;
  bool exec_INT(const KvbString& sql, int64_t* rows) override;
  RDA_StatementBase* prepare_INT(const KvbString& sql) override;
  RDA_StatementBase* prepareOnce_INT(const KvbString& sql) override;
  bool begin_INT(bool* busy) override;
  bool commit_INT() override;
  bool rollback_INT() override;
  bool repositorySchema_INT(const KvbString& infoTable,
                            KvbString& schema) override;
  bool tableColumns_INT(const KvbString& physicalName,
                        std::list<TableColumnInfo>& columns) override;
  bool tableNamesLike_INT(const KvbString& pattern,
                          std::vector<KvbString>& names) override;
  bool tableIndexes_INT(const KvbString& physicalName,
                        std::vector<RDA_IndexColumn>& indexes) override;
  KvbString columnType_INT(int type, int size, bool key) override {
    return columnTypeFor(kind_, type, size, key);
  }
  KvbString createTableTail_INT(const std::vector<KvbString>& keys) override {
    return tableTailFor(kind_, keys);
  }
  KvbString nameQuote_INT() override;
  // SQLite keeps names whole whatever their length; a server's limit is
  // the one its driver reads from it.
  int identifierLimit_INT() override {
    return kind_ == DAC_DB_SQLITE ? 0 : dac_->getMaxIdentifierLength();
  }
  bool failedStatementsUndoThemselves_INT() override {
    return kind_ == DAC_DB_SQLITE;
  }
  bool transactionLost_INT(bool savepointSet) override;
  bool sessionLost_INT() override { return sessionLost_; }
  bool tellsOfLostSession_INT(const KvbString& text) override;
  // The bulk load's transaction is gone: so is the load.
  void transactionAbandoned_INT() override { bulk_.reset(); }
  KvbString lostText_INT(const KvbString& reason) override;
  const char* skipPresentKeyClause_INT() override {
    return kind_ == DAC_DB_POSTGRESQL ? " ON CONFLICT DO NOTHING" : "";
  }
  // PostgreSQL: a transaction-level advisory lock keyed by the oid of the
  // table that the server resolves the name to, in the statement itself,
  // as the writes resolve it (unquoted names folded), so that every spelling of one table takes one turn and the
  // resolution costs no round trip of its own. A table that does not
  // exist takes no turn (the strict lock function is not called for a
  // null): the write that follows fails on it with its own reason.
  const char* serializeWritesSql_INT() override {
    return kind_ == DAC_DB_POSTGRESQL
               ? "SELECT 1 FROM pg_advisory_xact_lock(CAST(CAST(to_regclass("
                 "CAST(? AS text)) AS oid) AS bigint))"
               : nullptr;
  }
  // PostgreSQL: row locks of the transaction. A share of the key blocks
  // a delete of the row (and a change of its key) but not an update of
  // its other columns, nor another writer that shares it.
  const char* rowHoldClause_INT(RowHold kind) override {
    if (kind_ != DAC_DB_POSTGRESQL) return nullptr;
    return kind == RowHold::kShare ? " FOR KEY SHARE" : " FOR UPDATE";
  }
  bool runTableCommands_INT(const KvbString& tableCode,
                            const KvbString& physicalName,
                            const KvbString& indexName) override;

 private:
  // Does what each session of the repository needs before its first
  // statement: called when the connection opens and again on each new
  // session that replaces a lost one. False, with the reason recorded and
  // in errorText.
  bool sessionOpened(KvbString& errorText);
  // Opens a new session in place of the lost one and runs sessionOpened;
  // false, with "The connection to the database was lost and cannot be
  // opened again: <reason>" in `failure`, and the session still counted
  // lost, so that the next call tries again.
  bool renewSession(KvbString& failure);
  // Whether the run that met the loss may run again on a new session:
  // nothing of the lost session is missing for it. Outside a transaction
  // a query (a write in autocommit may have been stored); inside one only
  // at the first statement of a transaction that is the engine's own work
  // alone (no host level, no load), which nothing could have committed.
  bool rerunnable(SessionUse use);
  // Begins the engine's transaction again on a new session, with the
  // begin's setting; false with the driver's reason.
  bool beginAgain();
  // The settings that each server transaction makes before anything else
  // (its isolation, where the session's default is stricter than read
  // committed, and, where server sessions are shared, its lock timeout:
  // see boundLockWaits), so that no transaction relies on
  // what a session keeps between transactions; false with the driver's
  // reason.
  bool setTransaction();
  // The statements of those settings, in their order.
  std::vector<KvbString> transactionSettings() const;
  // The text of a transaction that went with its session, whose failure
  // was `failure`: that text when it names the loss already.
  KvbString lostTransactionText(const KvbString& failure) const;
  // Records the connection's reason, or `reason` that a driver object
  // gave, with the refusal noted (noteRefusal).
  bool failed();
  bool failed(const KvbString& reason);
  // True when a statement that the server refused ends the open
  // transaction even where statements run on afterwards; see rda_dac.cpp.
  bool failuresEndTransactions();
  // Whether a failure's text carries the SQLSTATE `state` ("[22P02]").
  static bool hasState(const KvbString& text, const char* state);
  // Reads the first value of the query `sql` into `text` (left as it is
  // for a null); false, with the reason in `failure`, when the query fails
  // or gives no row.
  bool firstValue(const KvbString& sql, KvbString& text, KvbString& failure);
  // A statement of `sql` prepared on the connection (to run once: see
  // prepareOnce_INT) and wrapped as the engine's; null, with the reason
  // recorded, when it cannot be prepared.
  RDA_StatementBase* statementOf(const KvbString& sql, bool once);
  // Sets the server's lock timeout of a PostgreSQL session that is the
  // connection's own (not one that a pooler shares); false, with the
  // reason in errorText, when the server refuses it.
  bool boundLockWaits(KvbString& errorText);
  // The statement that sets the lock timeout of the session, or with
  // `transactionOnly` of the open transaction alone.
  KvbString lockTimeoutSetting(bool transactionOnly) const;
  // Reads the default isolation of the session just opened (see
  // rda_isolation.h) into pinReadCommitted_, and hands the transaction
  // settings to the driver's transactions of their own where sessions are
  // shared; false, with the reason in errorText, when the server does not
  // tell it.
  bool readIsolation(KvbString& errorText);
  bool catalogueRows(const KvbString& sql,
                     const std::vector<KvbString>& values,
                     std::vector<std::pair<KvbString, KvbString>>& rows);
  bool catalogue(bool indexes, const KvbString& physicalName,
                 std::vector<std::pair<KvbString, KvbString>>& rows);
  // Fails with the text of a database kind whose catalogue the engine
  // cannot read.
  bool unreadableCatalogue();
  void dropBulkLoader(bool commit);
  // bulkLoadEnd, running `last` (when given) before the commit.
  bool endBulkLoad(bool flush, const std::function<bool()>& last);
  // The text of the open bulk load's failed batch, which names a value that
  // the server refused as too long for its column (restating the failure),
  // or else the connection's text of the failure.
  KvbString bulkFailure();
  // Logs `text`, a failure of the loader, once, as an ERROR at `line`.
  void logLoadFailure(const KvbString& text, int line);

  DacConnection* dac_ = nullptr;
  DacDbKind kind_ = DAC_DB_UNKNOWN;
  bool pooled_ = false;
  bool resyncIds_ = false;
  int busyTimeoutMs_ = 0;  // sqliteBusyTimeoutMs() when it was opened
  // The session's default isolation is stricter than read committed: each
  // transaction begins by setting read committed (kReadCommittedSql).
  bool pinReadCommitted_ = false;
  // A server transaction is open (from begin_INT to its commit or rollback).
  bool inTransaction_ = false;
  enum class FailuresEnd { kUnknown, kNo, kYes };
  FailuresEnd failuresEnd_ = FailuresEnd::kUnknown;  // see the .cpp
  // The server or driver refused a call since the begin or the last
  // question whether the transaction survived (see noteRefusal).
  bool serverFailed_ = false;
  // The last refusal noted was a bind's; lostAtBind_: the transaction that
  // transactionLost_INT last found ended was given up at one.
  bool bindRefused_ = false;
  bool lostAtBind_ = false;
  // The session was found lost; a new one is opened at the next use
  // outside a transaction.
  bool sessionLost_ = false;
  KvbString lossReason_;  // the server's reason of the last loss found
  // The open transaction is the driver's (begin_INT to commit_INT or
  // rollback_INT), and a statement has run in it.
  bool manualCommit_ = false;
  bool sessionUsed_ = false;
  KvTableCreateNS::KvCreateSpecDocImpl* spec_ = nullptr;
  // The open bulk load: its rows, and its table and columns, which name a
  // value that the server refuses as too long for its column.
  struct BulkLoad {
    std::unique_ptr<RDA_BatchWriter> rows;
    KvbString table;
    std::vector<KvbString> names;
    std::vector<int> lengths;
    std::vector<size_t> keys;
  };
  std::unique_ptr<BulkLoad> bulk_;
};

#endif  // RDA_RDA_DAC_H_
