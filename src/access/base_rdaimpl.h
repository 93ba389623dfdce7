// BaseRDAImpl: the base of every data-access object. It borrows the
// repository's connection, implements the operations that all data-access
// interfaces share, and gives its subclasses the helpers that their
// operations are built from: queries copied into in-memory cursors,
// statements with bound values, optional filters, id counters,
// transactions, change events, folder and object paths.
#ifndef ACCESS_BASE_RDAIMPL_H_
#define ACCESS_BASE_RDAIMPL_H_

#include <cstdint>
#include <functional>
#include <vector>

#include "reposadmin/repos_data_access.h"
#include "reposadmin/repos_data_access_object.h"

class KvLogger;

// The operating-system user of the process; empty when the system gives
// none.
KvbString getOSUserName();

class BaseRDAImpl {
 public:
  // `rda` is borrowed and may be null, in which case every operation fails.
  explicit BaseRDAImpl(ReposDataAccess* rda);
  virtual ~BaseRDAImpl() = default;
  BaseRDAImpl(const BaseRDAImpl&) = delete;
  BaseRDAImpl& operator=(const BaseRDAImpl&) = delete;

  // The shared operations. Without a connection they log "Repository
  // Library" message 1161 at level 5 and answer false.
  bool beginTransaction(int immediate, int busy);
  bool endTransaction(bool commit);
  KvbString getErrorMessage();
  bool setDDLCallback(ReposDDLCallback* callback);
  KvLogger* getLogger() const { return logger_; }

  // The names of a folder and its parents joined by "/" from the top level
  // down, without a leading "/", and the top-level folder's name. Folder 0
  // (the root) gives the empty path; a negative id, a missing folder or a
  // cycle of parents gives false with errorText set.
  bool getFolderPath(int folderId, KvbString& path, KvbString& topFolderName,
                     KvbString& errorText);

  // A new in-memory copy of a database cursor (`limit` rows at most; 0 for
  // all), after which the database cursor is released. Null, with the
  // reason logged, for a null cursor or a copy that fails.
  ReposDataAccessCursor* cacheCursor(ReposDataAccessCursor* cursor,
                                     uint64_t limit);

  // The path of an object of a registered type: its folder's path, "/" and
  // its name (the name alone in the root folder); `uuid` receives the
  // object's UUID when it has one.
  bool getObjectPath(int id, const KvbString& typeName, KvbString& path,
                     KvbString& uuid, KvbString& errorText);

 protected:
  // False, after logging "Repository Data Access object is null" at level
  // 5, when the object has no connection.
  bool ready();
  // The quoted physical name of a table code.
  KvbString table(const char* code);

  // A query with bound values, copied into an in-memory cursor; null on
  // failure, with the connection's error text logged at level 5.
  ReposDataAccessCursor* query(const KvbString& sql,
                               const std::vector<KvbDatavar>& values,
                               uint64_t limit = 0);
  // A statement with bound values; rows (when given) receives the rows
  // changed. False on failure, logged as above.
  bool run(const KvbString& sql, const std::vector<KvbDatavar>& values,
           int* rows = nullptr);
  // Looks for the first row of a query: 1 when there is one (its column 0
  // as an int goes to *value when given), 0 when there is none, -1 when the
  // query fails (logged).
  int lookup(const KvbString& sql, const std::vector<KvbDatavar>& values,
             int* value);
  // The next id of an id counter; false (logged) on failure.
  bool nextId(const char* counter, int& id);
  // Runs `body` in a transaction: committed when it answers true, rolled
  // back otherwise. False when the body or the transaction fails.
  bool transaction(const std::function<bool()>& body);
  // Tells the repository event manager (when there is one) of a change to
  // an object: change type 0 added, 1 deleted, 2 updated.
  void postChange(int changeType, const char* typeName, int objectId,
                  const KvbString& objectUuid);
  // Logs a failure's text at level 5, as the whole record, with the source
  // file and line of the caller.
  void logError(const KvbString& text, const char* file = __builtin_FILE(),
                int line = __builtin_LINE());
  // A failure found by the object itself (a refused write, a missing row):
  // the text becomes the connection's last failure, so that
  // getErrorMessage() gives it, and is logged. Answers false.
  bool fail(const KvbString& text, const char* file = __builtin_FILE(),
            int line = __builtin_LINE());

  ReposDataAccess* rda_;

 private:
  bool haveConnection();
  KvLogger* logger_;
};

// Builds the optional filter of a query: each condition given adds " WHERE"
// (the first) or " AND" and the condition, and its value to the list.
class SqlFilter {
 public:
  SqlFilter(KvbString& sql, std::vector<KvbDatavar>& values)
      : sql_(sql), values_(values) {}
  void add(const char* condition, const KvbDatavar& value) {
    sql_.append(first_ ? " WHERE " : " AND ").append(condition);
    values_.push_back(value);
    first_ = false;
  }

 private:
  KvbString& sql_;
  std::vector<KvbDatavar>& values_;
  bool first_ = true;
};

// A data-access object of interface `Interface`: the shared operations of
// the interface served by BaseRDAImpl.
template <class Interface>
class RDA_Object : public Interface, public BaseRDAImpl {
 public:
  explicit RDA_Object(ReposDataAccess* rda) : BaseRDAImpl(rda) {}

  bool beginTransaction(int immediate, int busy) override {
    return BaseRDAImpl::beginTransaction(immediate, busy);
  }
  bool endTransaction(bool commit) override {
    return BaseRDAImpl::endTransaction(commit);
  }
  KvbString getErrorMessage() override { return BaseRDAImpl::getErrorMessage(); }
  bool setDDLCallback(ReposDDLCallback* callback) override {
    return BaseRDAImpl::setDDLCallback(callback);
  }
  void release() override {
    rda_ = nullptr;  // the connection stays with the repository
    delete this;
  }
};

#endif  // ACCESS_BASE_RDAIMPL_H_
