// BaseRDAImpl: the base of every data-access object. It borrows the
// repository's connection, implements the operations that all data-access
// interfaces share, and gives its subclasses the helpers that their
// operations are built from: queries copied into in-memory cursors,
// statements with bound values, first rows, optional filters, rows by
// condition (listed, tested for, inserted unless present), numbered
// inserts, deletions across tables, lookups by id, UUID or name,
// transactions, change events, folder and object paths. The transaction
// and first-row helpers also serve the repository object.
#ifndef ACCESS_BASE_RDAIMPL_H_
#define ACCESS_BASE_RDAIMPL_H_

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

#include "access/sql_statement.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repos_data_access_object.h"

class KvLogger;
class RepositoryEventManager;

// The operating-system user of the process; empty when the system gives
// none.
KvbString getOSUserName();

// A statement of `sql` on `rda` with `values` bound in order, which the
// caller releases; null when it cannot be prepared or a value cannot be
// bound (the connection's error text says why).
ReposDataAccessStatement* boundStatement(ReposDataAccess* rda,
                                         const KvbString& sql,
                                         const std::vector<KvbDatavar>& values);
// The same with each value declared with its type and size first.
ReposDataAccessStatement* boundStatement(ReposDataAccess* rda,
                                         const KvbString& sql,
                                         const QueryParamList& params);
// The rows of `sql` with `values` bound, as a database cursor that the
// caller releases (its statement is released already); null on failure.
ReposDataAccessCursor* boundSelect(ReposDataAccess* rda, const KvbString& sql,
                                   const std::vector<KvbDatavar>& values);
// Runs `sql` with `values` bound; false on failure.
bool boundExecute(ReposDataAccess* rda, const KvbString& sql,
                  const std::vector<KvbDatavar>& values);
// boundExecute of a write to table `code` (its code) whose markers take
// the values of `written` in order. A value that the database refuses
// (longer than its column, or holding a NUL byte it cannot store) is
// named by its column and table, as the data-access objects' writes name
// it: that is the connection's text from then on (see writeFailure).
bool namedExecute(ReposDataAccess* rda, const KvbString& sql, const char* code,
                  const SqlFields& written);
// The text of a failed write of the fields `written` to table `code` on
// `rda`: for a write refused for one value, the first of them that fits,
// named by its table and column (which the connection answers from then on
// too; see refusedValueText); else, and without a code, the connection's
// text as it is. Called with the lock held, right after the failure.
KvbString writeFailure(ReposDataAccess* rda, const char* code,
                       const SqlFields& written);
// Found, missing or failed: 1 when the query gives a row, which `read`
// then reads (it runs no statement); 0 when it gives none; -1 when it
// fails (the connection's error text says why).
int firstRow(ReposDataAccess* rda, const KvbString& sql,
             const std::vector<KvbDatavar>& values,
             const std::function<void(ReposDataAccessCursor&)>& read);

// A failure named by its subject: `subject` ("The value of the key \"k\"
// could not be set"), a colon and the driver's reason, when `reason` is
// the text of a statement that failed. What was being done ("Running
// \"<SQL>\": ") goes, since it names the engine's own statement rather
// than the host's subject; a value that a server refused as too long,
// named by its column, stays whole; what the failure cost, before either,
// stays ("the transaction was rolled back by the database: ", its first
// letter in lower case). Any other reason (a lock that could not be had, a
// refusal of the engine's own) is answered as it is.
KvbString subjectFailure(const KvbString& subject, const KvbString& reason);

// Runs `body` in one transaction of `rda`: committed when it answers true,
// rolled back otherwise; the body leaves the reasons of its own failures.
// A begin, or a commit of a body that succeeded, that fails is logged once,
// on `logger` at level 5, as "The transaction could not begin: <reason>"
// (or "... be committed: ..."), and leaves the connection's text as the
// reason; the connection itself does not log it. A begin inside an open
// transaction that is lost ("The transaction was rolled back by the
// database: <reason>") is logged as that text alone: it is what happened.
// That logged text goes to `*failure` when given, which stays as it was
// when the body fails: a caller that passes a null text tells the two
// failures apart by it.
// False when the body or the transaction fails. Both the data-access
// objects and the repository object run their transactions through it.
bool runTransaction(ReposDataAccess* rda, KvLogger* logger,
                    const std::function<bool()>& body,
                    KvbString* failure = nullptr);

// What announces a change: it is handed the repository event manager and
// the repository's UUID.
using EventSender =
    std::function<void(RepositoryEventManager&, const KvbString&)>;
// Hands `send` the event manager and the UUID of the repository of `rda`
// once the change it announces is stored: at once outside a transaction,
// else after the outermost commit; a rollback drops it (an inner level's
// rollback what was posted at that level). Nothing is sent while the event
// manager is switched off, or without a connection.
void postWhenStored(ReposDataAccess* rda, EventSender send);

// A write refused by a text that names no object, such as a catalogue's
// "A business rule with this name already exists.": `text`, which becomes
// the connection's last failure as it is, and its log record, which puts
// what was refused before it ("Cannot add the rule \"R\": A business rule
// ..."). A refusal made from a text alone logs the text.
struct Refusal {
  Refusal() = default;
  Refusal(KvbString refusalText)  // NOLINT: a text that names its object
      : text(std::move(refusalText)), record(text) {}
  Refusal(const char* refusalText)  // NOLINT: as above
      : Refusal(KvbString(refusalText)) {}
  Refusal(KvbString refusalText, const KvbString& refused)
      : text(std::move(refusalText)), record(refused + ": " + text) {}

  KvbString text;    // null: no refusal
  KvbString record;  // the log record
};

// The refusal of a code or UUID that another object holds: `refused` (what
// was refused, which names the code or UUID), ": " and "Monitor
// Repository" message 1085, which names neither; the text and its record
// alike.
Refusal keyInUse(const KvbString& refused);

class BaseRDAImpl {
 public:
  // `rda` may be null, in which case every operation fails. The object
  // holds the connection from construction to destruction, so that it stays
  // usable when the repository that made it is released first.
  explicit BaseRDAImpl(ReposDataAccess* rda);
  virtual ~BaseRDAImpl();
  BaseRDAImpl(const BaseRDAImpl&) = delete;
  BaseRDAImpl& operator=(const BaseRDAImpl&) = delete;
  // writesSerialized on connection `rda` for a caller that is no store (an
  // import, the impact analysis), logging nothing: false, with the
  // connection's reason in `reason`, when the wait fails.
  static bool writesSerializedOn(ReposDataAccess* rda, const char* code,
                                 KvbString& reason);

  // The shared operations. Without a connection they log "Repository
  // Library" message 1161 at level 5 and answer false.
  bool beginTransaction(int immediate, int busy);
  bool endTransaction(bool commit);
  KvbString getErrorMessage();
  bool setDDLCallback(ReposDDLCallback* callback);
  KvLogger* getLogger() const { return logger_; }
  // For an object that a manager works through: its failures are recorded
  // as usual (getErrorMessage) but not logged, because the manager logs
  // each failure once, with what it was doing.
  void setQuiet(bool quiet) { quiet_ = quiet; }

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
  // What objectPath and folderPath answer when no path is given: a read
  // failed, or a path cannot be built from what was read (an unknown type,
  // no connection, an object without a name, a folder id below 0, a
  // folder above that is missing or part of a cycle).
  static constexpr int kPathUnread = -1;
  static constexpr int kPathUnbuilt = -2;
  // getObjectPath as found (1), missing (0: the object has no row),
  // kPathUnread or kPathUnbuilt, errorText saying why when it is not 1.
  int objectPath(int id, const KvbString& typeName, KvbString& path,
                 KvbString& uuid, KvbString& errorText);
  // getFolderPath as found (1), kPathUnread or kPathUnbuilt.
  int folderPath(int folderId, KvbString& path, KvbString& topFolderName,
                 KvbString& errorText);

 protected:
  // False, after logging "Repository Data Access object is null" at level
  // 5, when the object has no connection.
  bool ready();
  // The quoted physical name of a table code; empty without a connection.
  // The only way a table name reaches SQL: "... FROM " + table("X").
  KvbString table(const char* code);
  // "SELECT <every column of the table in order> FROM <table>".
  KvbString selectAll(const char* code);

  // The database cursor of a query with bound values, which the caller
  // reads and releases; null on failure, with the connection's error text
  // logged at level 5.
  ReposDataAccessCursor* openCursor(const KvbString& sql,
                                    const std::vector<KvbDatavar>& values);
  // A query with bound values, copied into an in-memory cursor; null on
  // failure, with the connection's error text logged at level 5.
  ReposDataAccessCursor* query(const KvbString& sql,
                               const std::vector<KvbDatavar>& values,
                               uint64_t limit = 0);
  // A statement with bound values; rows (when given) receives the rows
  // changed. False on failure, logged as above.
  bool run(const KvbString& sql, const std::vector<KvbDatavar>& values,
           int* rows = nullptr);
  // openCursor, query and run of a built statement, each value declared
  // with its type and size before it is bound. A run that a server refuses
  // for a text longer than its column, or a text with a NUL byte that the
  // database refuses, names that value by its table and column when the
  // statement gives them (see updateOf).
  ReposDataAccessCursor* openCursor(const SqlStatement& statement);
  ReposDataAccessCursor* query(const SqlStatement& statement,
                               uint64_t limit = 0);
  bool run(const SqlStatement& statement, int* rows = nullptr);
  // "UPDATE <table>", to which the caller adds the SET fields and the WHERE
  // terms, writing table `code`.
  SqlStatement updateOf(const char* code);
  // What a write that the object repeats is known by: the parts that its
  // SQL text is built from, compared by content (so a text the caller has
  // just built may serve as a part), and its number of markers.
  struct StatementKey {
    const char* verb;
    const char* code;
    const char* text;
    size_t markers;
    // The columns that the statement writes: `lead` (when given) and then
    // `columns`. They are compared name by name, so that a write's key
    // needs no text built for each write, and they name a value that a
    // server refuses as too long for its column.
    const SqlField* lead = nullptr;
    const SqlFields* columns = nullptr;
  };
  // run() of the statement that `build` makes for `key`. The object builds
  // and prepares it on the first use of the key and keeps it for the later
  // ones, so that a repeated write neither rebuilds its text nor prepares
  // it again. While a DDL callback takes the statements, each run builds a
  // statement of its own, which goes into the script.
  bool runKept(const StatementKey& key,
               const std::function<KvbString(const StatementKey&)>& build,
               const std::vector<KvbDatavar>& values, int* rows = nullptr);
  // The free firstRow on the object's connection; a failure is logged.
  int firstRow(const KvbString& sql, const std::vector<KvbDatavar>& values,
               const std::function<void(ReposDataAccessCursor&)>& read);
  // firstRow, reading column 0 as an int into *value when given.
  int lookup(const KvbString& sql, const std::vector<KvbDatavar>& values,
             int* value);
  // firstRow and lookup of a built statement; a failure of a statement
  // on a table (SqlStatement::on) is named as writeFailure names it, so
  // that a value refused where it is looked up is named by its column.
  int firstRow(const SqlStatement& statement,
               const std::function<void(ReposDataAccessCursor&)>& read);
  int lookup(const SqlStatement& statement, int* value);
  // The next id of an id counter; false (logged) on failure.
  bool nextId(const char* counter, int& id);
  // Runs `body` in a transaction: committed when it answers true, rolled
  // back otherwise. False when the body or the transaction fails.
  bool transaction(const std::function<bool()>& body);

  // Runs `body`, an add that draws ids and then writes its one row last,
  // as one unit: in a transaction of its own, except inside the caller's
  // transaction on a database where a failed statement undoes only itself.
  // There it needs no savepoint (which would copy every page the add
  // changes): a failure leaves no more than ids drawn and never used. A
  // body that writes several rows gives `undo`, which there removes what
  // a failed body wrote before its failing statement; when the undo fails
  // too, so does the caller's transaction.
  bool addInOneStep(const std::function<bool()>& body,
                    const std::function<bool()>& undo = nullptr);

  // Runs "INSERT INTO <table> (<columns>) VALUES (?, ...)" of a row given
  // as columns, each name with its value (declared with its type and size):
  // `lead` (when given) and then every one of `columns`, given or not.
  bool insert(const char* code, const SqlFields& columns,
              const SqlField* lead = nullptr);
  // Runs "UPDATE <table> SET <each of set>=? WHERE <where>=?", each value
  // declared with its type and size. Kept as runKept keeps its statements,
  // one for each distinct list of columns.
  bool update(const char* code, const SqlFields& set, const SqlField& where,
              int* rows = nullptr);
  // Adds a row given as columns: `idColumn` takes the next id of the id
  // counter `counter`, followed by every one of `columns`; answers the id.
  // When a row matches every one of `keys` (none is looked for when there
  // are none), the answer is that row's id, or, with a `refusal` whose text
  // is not null, the addition is refused with it. -1 on failure; nothing
  // of a failed addition stays. Each key is the term "<name>=?", its name
  // a column or an expression over columns ("COALESCE(TBL_CAT,'')").
  int addNumbered(const char* code, const char* counter, const char* idColumn,
                  const SqlFields& columns, const SqlFields& keys = {},
                  const Refusal& refusal = Refusal(),
                  const char* file = __builtin_FILE(),
                  int line = __builtin_LINE());
  // addNumbered that first runs `check` (when given) in the same unit; a
  // check that answers false refuses the add, with its own reason. One
  // unit, so that a failure of the add is reported as its own, not as a
  // nested level's loss.
  int addNumberedAfter(const std::function<bool()>& check, const char* code,
                       const char* counter, const char* idColumn,
                       const SqlFields& columns, const SqlFields& keys,
                       const Refusal& refusal,
                       const char* file = __builtin_FILE(),
                       int line = __builtin_LINE());
  // The text that refuses folder `folderId` because it does not exist.
  static KvbString missingFolder(int folderId);
  // True when folder `folderId` exists (the root, 0, always does); else
  // refused with missingFolder's text.
  bool folderExists(int folderId);
  // run() of a statement that files an object into folder `folderId`, in
  // one transaction with the check that the folder exists.
  bool runFiled(int folderId, const KvbString& sql,
                const std::vector<KvbDatavar>& values, int* rows = nullptr);
  bool runFiled(int folderId, const SqlStatement& statement,
                int* rows = nullptr);
  // addNumbered for an object filed into folder `folderId`, as one unit
  // with the check that the folder exists: an object outside the folder
  // tree could not be reached by path.
  int addFiled(int folderId, const char* code, const char* counter,
               const char* idColumn, const SqlFields& columns,
               const SqlFields& keys, const Refusal& refusal,
               const char* file = __builtin_FILE(),
               int line = __builtin_LINE());
  // A key that no two objects of a table share (a name, a UUID): its
  // columns with the values to be written, and the refusal of a write that
  // would give it to a second object. A key with a column that is not
  // given is no key, and is not looked for: an empty UUID names no object.
  struct UniqueKey {
    SqlFields columns;
    Refusal refusal;
  };
  // The UUID in `column` of a new object of `kind` named `name`, or of
  // object `id`, as a unique key: refused as keyInUse refuses, after
  // "Cannot add the <kind> "<name>" with UUID "<uuid>"" or "Cannot give
  // <kind> <id> the UUID "<uuid>"". An empty UUID is no key.
  static UniqueKey newUuidKey(const char* column, const KvbString& uuid,
                              const char* kind, const KvbString& name);
  static UniqueKey uuidKey(const char* column, const KvbString& uuid,
                           const char* kind, int id);
  // The name (a column and its value) of a new object of `kind`, or the
  // one that an update gives object `id`, as a unique key: refused with
  // "Cannot add the <kind> "<name>": " or "Cannot give <kind> <id> the
  // name "<name>": " and `taken`, a text that names no object (the
  // catalogue's message of a name in use).
  static UniqueKey newNameKey(const SqlField& name, const char* kind,
                              const KvbString& taken);
  static UniqueKey nameKey(const SqlField& name, const char* kind, int id,
                           const KvbString& taken);
  // addFiled of an object that is refused, instead of answered by a match,
  // when another row holds one of `unique`: the keys are looked for in
  // order after the folder, and the first one held refuses the add.
  // `first`, when given, runs before them in the same unit (the checks of
  // the references written), as updateObject's does.
  int addFiledUnique(int folderId, const char* code, const char* counter,
                     const char* idColumn, const SqlFields& columns,
                     std::initializer_list<UniqueKey> unique,
                     const std::function<bool()>& first = nullptr,
                     const char* file = __builtin_FILE(),
                     int line = __builtin_LINE());
  // The row of an object that an update writes: its table, its id column,
  // its id, and what the object is called ("report group"); a null kind
  // makes a missing row no failure.
  struct ObjectRow {
    const char* code;
    const char* idColumn;
    int id;
    const char* kind;
  };
  // The text that refuses object `id` because it does not exist: "<Kind>
  // <id> does not exist", the kind with a capital ("Rule 9 does not
  // exist").
  static KvbString missingObject(const char* kind, int id);
  // True when object `row` exists; else refused with missingObject's text.
  // False when the lookup fails. For a write that stores a reference to
  // the object: run it in the write's transaction. On a server the row
  // found is held until that transaction ends, so that a delete of the
  // object waits for the write and then removes what the write stored;
  // a check that comes after the delete waits for it and finds nothing.
  // (SQLite's write lock, taken at the begin, serializes the two.)
  bool objectExists(const ObjectRow& row, const char* file = __builtin_FILE(),
                    int line = __builtin_LINE());
  // objectExists of each row in order: the first one missing refuses.
  bool objectsExist(const std::vector<ObjectRow>& rows);
  // The rule between a check and a delete, from the delete's side: in
  // the delete's transaction, before the rows that name the object, takes
  // the object's own row (on a server, locked as for its update), so that
  // a write that checked the object first is waited for and its rows are
  // then deleted too, and a write that checks it later waits and finds it
  // gone. A missing row is no failure; false when the statement fails.
  bool takeRow(const ObjectRow& row);
  // The clause that a look-up of rows that a write names appends to hold
  // them as objectExists does; empty where nothing needs holding.
  KvbString heldRowsClause();
  // updateGiven of the object's row, in one transaction with the checks
  // that the row exists (refused with missingObject's text unless the kind
  // is null; looked for first) and that no other row holds one of `unique`
  // (in order, before the write). 0, with nothing run, when no column is
  // given; else 1 when written, -1 when refused or failed. `first`, when given, runs
  // first in the same transaction (the checks of the references written),
  // and its false refuses the write: one transaction, so that a failure
  // of the write is reported as its own, not as a nested level's loss.
  int updateObject(const ObjectRow& row, const SqlFields& columns,
                   std::initializer_list<UniqueKey> unique,
                   const SqlFields& stamps = {}, int folderId = 0,
                   const std::function<bool()>& first = nullptr,
                   const char* file = __builtin_FILE(),
                   int line = __builtin_LINE());
  // Deletes the rows of each table whose `column` equals `id`, in one
  // transaction: all or nothing.
  bool deleteRows(std::initializer_list<const char*> codes, const char* column,
                  int id);
  // Every column of the rows of a table, restricted to the values of the
  // columns given, followed by `order` (an ORDER BY clause or empty).
  ReposDataAccessCursor* listGiven(const char* code, const SqlFields& filters,
                                   const char* order = "");
  // How find() looks an object up: its table, the id, UUID and name
  // columns (no UUID column: null), and what the object and its UUID are
  // called in the text of a lookup without a key ("task", "code").
  struct FindKeys {
    const char* table;
    const char* idColumn;
    const char* uuidColumn;
    const char* nameColumn;
    bool nameRequired;  // without id, UUID or name: null instead of a query
    const char* subject;
    const char* uuidName = "UUID";
  };
  // Every column of the rows found by id when `id` is positive, else by
  // UUID when one is given, else by name. A lookup by id or UUID that fails
  // is tried once more by name; null, keeping the failure's reason, when
  // that finds nothing either. Null without a key, when one is required,
  // with the text "No id, <UUID name> or name of a <subject> was given"
  // (not logged: the interfaces give null as the answer to no key).
  ReposDataAccessCursor* find(const FindKeys& how, int id,
                              const KvbString& name, const KvbString& uuid);

  // Rows of one table, read or written by a condition on their columns
  // (`condition` is SQL with "?" markers, `keys` or `values` bound in
  // order).
  //
  // Every column of the rows that match `condition` (all rows when it is
  // null), copied into an in-memory cursor; null on failure (logged).
  ReposDataAccessCursor* rowsWhere(const char* code, const char* condition,
                                   const std::vector<KvbDatavar>& values);
  // Found, missing or failed, kept apart as lookup keeps them: 1 when a row
  // matches `condition`, 0 when none does, -1 when the query fails
  // (logged).
  int exists(const char* code, const char* condition,
             const std::vector<KvbDatavar>& values);
  // What insertUnless does when a row matches already.
  enum class IfPresent {
    kRefuse,   // fails with the refusal given (see refuse())
    kWarn,     // logs the refusal's record as a warning, and succeeds
    kSucceed,  // succeeds quietly
  };
  // Inserts the row `columns` unless a row matches every one of `keys`; a
  // match is answered as `policy` says, with `refusal`. The check and the
  // insert run in one transaction, after the table's turn is taken
  // (writesSerialized), so that two writers cannot both insert. `first`,
  // when given, runs first in the same transaction (the checks that the
  // objects the row names exist), and its false refuses the insert: one
  // transaction, as updateObject's, so that a failure of the insert is
  // reported as its own, not as a nested level's loss.
  bool insertUnless(IfPresent policy, const Refusal& refusal, const char* code,
                    const SqlFields& keys, const SqlFields& columns,
                    const std::function<bool()>& first = nullptr,
                    const char* file = __builtin_FILE(),
                    int line = __builtin_LINE());
  // Inserts the row `columns` into table `code`, in one transaction, only
  // when every object of `parents` exists (each held as objectExists holds
  // it) and, when `keys` are given, no row matches every one of them yet:
  // the table's turn is taken first (writesSerialized), so that two
  // writers cannot both insert (no `keys`: any number of rows may match).
  // A row that matches is answered as
  // insertUnless answers it, with `refusal`; a missing object is refused
  // with missingObject's text, the first of `parents` that is missing. The
  // insert and its checks are one statement: the look-ups that name the
  // reason run only when it inserts nothing.
  bool insertNaming(IfPresent policy, const Refusal& refusal,
                    const char* code, const SqlFields& keys,
                    const SqlFields& columns,
                    const std::vector<ObjectRow>& parents,
                    const char* file = __builtin_FILE(),
                    int line = __builtin_LINE());
  // Writes the columns given of the row whose `keyColumn` is `key`, with the
  // `stamps` given (an edit date or user: a stamp alone is no change of the
  // row), filing the row into `folderId` as runFiled does (0: no check).
  // 1 when written, 0 when no column is given (nothing runs), -1 on
  // failure; `rows` (when given) receives the rows changed.
  int updateGiven(const char* code, const char* keyColumn, int key,
                  const SqlFields& columns, const SqlFields& stamps,
                  int folderId = 0, int* rows = nullptr);

  // Writes the columns of `set` that are given to the rows of table `code`
  // that match every one of `keys` (given or not), and when that changes no
  // row, inserts a row of `keys` and the columns given of `set` and
  // `insertOnly`, as one unit: a failure leaves nothing. Two connections
  // that write one new key take turns (writesSerialized): the second
  // updates the row of the first.
  bool upsert(const char* code, const SqlFields& set, const SqlFields& keys,
              const SqlFields& insertOnly = {});

  // postWhenStored on the object's connection. `send` must not use this
  // object, which the caller may release before its transaction ends.
  void post(EventSender send) { postWhenStored(rda_, std::move(send)); }
  // post() of a change to an object (kChangeAdded, kChangeDeleted,
  // kChangeUpdated) through postObjectChange.
  void postChange(int changeType, const char* typeName, int objectId,
                  const KvbString& objectUuid);
  // The path that announces the deletion of object `id` of `typeName` (see
  // postDeletion), with its UUID in `uuid`. Empty when the object does not
  // exist (no failure: there is nothing to announce), and when its path
  // cannot be built: the object is deleted all the same, unannounced, and
  // a warning gives the reason.
  KvbString deletionPath(int id, const char* typeName, KvbString& uuid);
  // post() of the deletion of the object at `path` (a folder path and
  // name) of type `typeName`, named by its URI; nothing for an empty path.
  void postDeletion(const KvbString& path, const char* typeName,
                    const KvbString& identity);
  // Logs a failure's text at level 5, as the whole record, with the source
  // file and line of the caller.
  void logError(const KvbString& text, const char* file = __builtin_FILE(),
                int line = __builtin_LINE());
  // A failure found by the object itself (a refused write, a missing row):
  // the text becomes the connection's last failure, so that
  // getErrorMessage() gives it, and is logged. Answers false.
  bool fail(const KvbString& text, const char* file = __builtin_FILE(),
            int line = __builtin_LINE());
  // fail() of a refusal: its text becomes the last failure, and its record
  // is logged.
  bool refuse(const Refusal& refusal, const char* file = __builtin_FILE(),
              int line = __builtin_LINE());
  // The same without the log, for operations whose failure is their
  // normal answer.
  bool failQuietly(const KvbString& text);
  // Takes the turn of table `code` for the open transaction
  // (RDA_BaseImpl::serializeWrites), before a look-up that decides a write:
  // a name or UUID that the look-up finds free then stays free across
  // connections and processes until the write is stored. The helpers that
  // refuse or answer a write by what is stored (addNumbered's keys,
  // addFiledUnique, updateObject, insertUnless, upsert) take it
  // themselves. False, logged, when the wait fails.
  bool writesSerialized(const char* code);
  // While one lives, the calling thread's steps log nothing: for an
  // operation that logs its failure once itself, naming its subject rather
  // than the statement that failed. Per thread, since threads may share
  // the object.
  class QuietSteps {
   public:
    QuietSteps();
    ~QuietSteps();
    QuietSteps(const QuietSteps&) = delete;
    QuietSteps& operator=(const QuietSteps&) = delete;
  };
  // Whether a lookup (1 found, 0 missing, -1 failed, as lookup answers)
  // found its row. A missing row is the lookup's normal answer, not logged,
  // but the text that `missing()` makes becomes the one getErrorMessage()
  // gives, so that it never gives an earlier, unrelated failure.
  template <class Text>
  bool wasFound(int answer, const Text& missing) {
    if (answer == 0) failQuietly(missing());
    return answer == 1;
  }

  ReposDataAccess* rda_;

 private:
  bool quiet_ = false;
  bool haveConnection();
  // The rows of a bound statement (released here; null when it could not
  // be made), or its run; a failure is logged, that of a run named by the
  // table and the named fields of `built` when given (see writeFailure).
  ReposDataAccessCursor* selectFrom(ReposDataAccessStatement* statement);
  bool runStatement(ReposDataAccessStatement* statement, int* rows,
                    const SqlStatement* built = nullptr);
  // Runs `write` as runFiled runs its statement.
  bool inFolder(int folderId, const std::function<bool()>& write);
  // True when no row of table `code` holds one of `unique` but the one
  // whose `idColumn` is `id` (every row, without an id column), the keys
  // looked for in order after the table's turn is taken (writesSerialized);
  // else refused with the first held key's refusal. False when a lookup
  // fails.
  bool keysFree(const char* code, const char* idColumn, int id,
                std::initializer_list<UniqueKey> unique, const char* file,
                int line);
  // Whether `key` is looked for: a key with a column that is not given is
  // no key (see UniqueKey).
  static bool lookedFor(const UniqueKey& key);
  // keysFree of one key, the turn taken already.
  bool keyFree(const char* code, const char* idColumn, int id,
               const UniqueKey& key, const char* file, int line);
  // lookup of `column` of a row of table `code` that matches every one of
  // `keys`, after the table's turn is taken (writesSerialized): 1 found, 0
  // none, -1 failed.
  int matching(const char* code, const char* column, const SqlFields& keys,
               int* value);
  // runKept with the kept statement's values bound by `bind`, or, while a
  // DDL callback takes the statements, the text run by `script`.
  template <class Bind, class Script>
  bool runKeptBy(const StatementKey& key,
                 const std::function<KvbString(const StatementKey&)>& build,
                 int* rows, const Bind& bind, const Script& script);
  // runKeptBy of `key`'s statement, whose markers take the values of the
  // key's columns and then of `last` (when given), each declared with its
  // type and size.
  bool runFields(const StatementKey& key,
                 const std::function<KvbString(const StatementKey&)>& build,
                 const SqlField* last, int* rows);
  // The free writeFailure on the object's connection.
  KvbString writeFailure(const char* code, const SqlFields& written) {
    return ::writeFailure(rda_, code, written);
  }
  // writeFailure of a failed runKeptBy of `key`, by the key's columns.
  KvbString keptFailure(const StatementKey& key);
  // The statements that runKept keeps, the most recently used last; the
  // least recently used goes when a new one would pass the limit.
  struct KeptStatement;
  std::vector<KeptStatement> kept_;
  KvLogger* logger_;
};

// `object` (a data-access object of this engine, or null) made quiet, for a
// manager that logs the object's failures itself.
template <class Interface>
Interface* quietly(Interface* object) {
  if (auto* base = dynamic_cast<BaseRDAImpl*>(object)) base->setQuiet(true);
  return object;
}

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
  KvbString getErrorMessage() override {
    return BaseRDAImpl::getErrorMessage();
  }
  bool setDDLCallback(ReposDDLCallback* callback) override {
    return BaseRDAImpl::setDDLCallback(callback);
  }
  void release() override { delete this; }
};

#endif  // ACCESS_BASE_RDAIMPL_H_
