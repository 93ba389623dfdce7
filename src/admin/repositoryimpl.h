// RepositoryImpl: one open repository. Its operations are spread over
// several files by subject: repositoryimpl.cpp (opening, versions,
// forwarding to the connection), repos_factories.cpp (data-access objects,
// managers and the key/value store), repos_structure.cpp (table sets and
// INFO version rows), repos_initial_data.cpp (first rows of a new
// repository), repos_id_repair.cpp (id counters), repos_defaults.cpp
// (initial profile data, default folders, dashboard defaults),
// repos_upgrade.cpp (upgrading the structure), versiondata.cpp (the data
// upgrade steps, and the UUIDs and users older versions left out),
// repos_old_data.cpp (counters and columns of older versions), table_xml.cpp
// (table dumps), repos_exports.cpp (per-id table exports) and
// movesqlitedata.cpp (old file-based profile repositories).
#ifndef ADMIN_REPOSITORYIMPL_H_
#define ADMIN_REPOSITORYIMPL_H_

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "access/held_repository.h"
#include "admin/status_relay.h"
#include "rda/rda_thread_texts.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "reposadmin/repository_admin.h"
#include "reposadmin/repository_status_callback.h"

class KvLogger;
class ReposTableSetReader;
struct ReposStatement;
struct ReposTableSet;

// The versions this engine writes.
constexpr int kCurrentVersion = 7;
constexpr int kCurrentMinorVersion = 4;
constexpr int kCurrentNcoaVersion = 1;

// INFO row types with a meaning of their own; every other type is the name
// of a table set.
constexpr char kInfoUnified[] = "KVREPOSITORY";
constexpr char kInfoNcoa[] = "NCOA";
constexpr char kInfoProfile[] = "PROFILE_RESULTSET";
constexpr char kInfoMonitor[] = "MONITOR";

// The flags of RepositoryImpl::init.
// Connection kind 0: a missing file is made.
constexpr int kInitCreateFile = 0x1;
// Connection kind 0: the file is reached through the connection-string
// route, by the engine's own connection string for it (which makes a
// missing file). The repository then has connection kind 1, and its texts
// still name the file by the path that the host gave.
constexpr int kInitFileThroughConnection = 0x2;
// The repository is opened to be created: a failed init says that it
// could not be created rather than opened.
constexpr int kInitToCreate = 0x4;
// A failed init is not logged: the caller logs it as part of a failure of
// its own, which names what it was doing.
constexpr int kInitUnlogged = 0x8;

// Repository kinds, as the INFO rows give them.
enum RepositoryKind {
  kKindNone = 0,
  kKindProfile = 1,
  kKindMonitor = 2,
  kKindUnified = 3,
  kKindProfileAndMonitor = 4,
};

// The status callback of a repository whose host installed none: every step
// goes on and no text is shown.
class SilentCallback : public RepositoryStatusCallback {
 public:
  bool reportStatus(const KvbString&) override { return true; }
  void reportMessage(const KvbString&) override {}
};

class RDA_BaseImpl;

class RepositoryImpl;

// The progress of a creation (`create`) or an upgrade of `repository`:
// while the object lives, each table that the pass creates or checks (the
// built-in core tables, at a creation the NCOA tables, and the tables of
// the table sets the pass handles) is reported to the status callback as
// "Table X (step k of n)" (see tableStep in rda/rda_impl.h).
class CountedSteps {
 public:
  CountedSteps(RepositoryImpl& repository, bool create);
  ~CountedSteps();
  CountedSteps(const CountedSteps&) = delete;
  CountedSteps& operator=(const CountedSteps&) = delete;

 private:
  RepositoryImpl& repository_;
  RDA_BaseImpl* connection_;
  bool counted_ = false;  // the sets were counted and are kept for the pass
  bool keptBefore_ = false;
};

class RepositoryImpl : public Repository, public HoldableRepository {
 public:
  RepositoryImpl();

  // --- opening (repositoryimpl.cpp) ---
  // Opens the connection: connectionKind 0 a SQLite file, 1 a connection
  // string; `flags` are the kInit* flags above. Reads the table sets and
  // the version rows. A null `status` stands for the silent callback that
  // the repository keeps itself. False with *errorText set to "The
  // repository in the <place()> could not be opened: <reason>" ("created"
  // with kInitToCreate), or, for a connection string that cannot be read,
  // to the platform's text (dacCreateDataSource) with a capital "T": "The
  // connection string cannot be read: <reason>", which shows no piece of
  // the string, or, for a text without any "=", "The connection string
  // "<text>" cannot be read: ...". The text is logged once, unless
  // kInitUnlogged is given.
  bool init(int flags, RepositoryAdmin* admin, int connectionKind,
            const KvbString& connection, const KvbString& tablePrefix,
            const KvbString& poolId, RepositoryStatusCallback* status,
            KvbString* errorText);
  // Installs a DDL callback on the connection (null removes it).
  bool setDDLCallback(ReposDDLCallback* callback);
  // Reads the INFO rows into the version members. Without an INFO table
  // the database holds no repository; an INFO table that cannot be read
  // leaves the versions unknown, with the reason kept (unlogged: what
  // refuses the repository for it logs it as its failure), and answers
  // false.
  bool readVersionInfo();
  // Whether the version members hold what the database holds: version rows
  // that an earlier read could not read are read again, so that a failure
  // that has passed (a busy file) leaves no object useless. False, with
  // the reason kept, while they still cannot be read.
  bool versionsRead();
  // Whether the table sets could be listed: a folder that could not be
  // listed before is listed again. False, with the reason as the error
  // text, while it still cannot be; every call that works on the sets'
  // tables (an upgrade, a copy, a deletion of the tables, a table file's
  // load) needs them.
  bool tableSetsListed();
  // After an upgrade (`upgraded` when it was stored): the version rows read
  // again; false, saying that the upgrade was stored, when they cannot be.
  bool readBackVersions(bool upgraded);
  // Warns, once each, of what an open that succeeds goes without: version
  // rows that cannot be read, and, for an existing repository, a table-set
  // folder that cannot be listed. An open that fails logs only its failure.
  void warnOfWhatTheOpenLacks();
  // The repository's database as texts name it: 'database file "<path>"'
  // for a file (also one reached through the connection-string route), or
  // 'database "<connection string without its password>"', followed by
  // ' with the table prefix "<prefix>"' when there is one and `withPrefix`.
  // A connection string that opens a SQLite file names the file.
  KvbString place(bool withPrefix = true) const;
  // Why the database holds no repository, naming it: "The <place()> holds
  // no repository: it has no INFO table" (or "its INFO table holds no
  // version row"). Empty when its INFO rows give a kind of repository or
  // cannot be read.
  KvbString noRepositoryText() const;
  // Why this engine may neither use nor change the repository, `subject`
  // naming it ("The repository"): its versions are unknown, or newer than
  // the engine's (a newer major version, or the current one with a newer
  // minor version: a newer engine wrote it). Empty when neither holds.
  // Version rows that could not be read are read again first.
  KvbString versionRefusal(const char* subject);
  // The repository's UUID, as getRepositoryUUID() answers it, but neither
  // recorded nor logged: a null `reason` tells that it could be read.
  KvbString readUUID(KvbString* reason);
  // The repository's connection (null before a successful init), for the
  // managers and the administration object.
  ReposDataAccess* getDataAccess() const override { return dataAccess_; }
  RepositoryStatusCallback* getStatusCallback() const { return status_; }
  // The relay through which every report of the repository's work passes;
  // an operation that the host may stop watches it.
  StatusRelay& statusRelay() { return relay_; }
  // The failure of `operation` ("creation", "upgrade", ...) that the host
  // stopped through the status callback: "The status callback stopped the
  // <operation> at "<step>"". Logged once, unless the operation runs inside
  // another watched one, which then reports the stop. Answers false.
  bool failStopped(const char* operation);
  int getTableSetCount();
  ReposTableSet* getTableSet(int index);
  // Whether the table-set folder could be listed when the repository was
  // opened; false, with the folder's path in the error text, when not. A
  // creation needs it: without it the sets' tables would be missing.
  bool tableSetFolderFound();

  // --- structure (repos_structure.cpp) ---
  // With `countOnly` nothing is changed: *count receives the number of
  // table sets the pass would handle and *tableCount (when given) the
  // number of their tables.
  bool createTables(bool drop, bool create, bool update, bool countOnly,
                    int* count, int* tableCount = nullptr);
  // While set, createTables works on the table sets in hand instead of
  // reading the folder again: the pass of a CountedSteps on the sets it
  // counted, a creation on those read when it opened the repository.
  // Answers the previous setting.
  bool keepTableSets(bool keep) {
    std::swap(keep, keepTableSets_);
    return keep;
  }
  // While set, the caller's transaction is rolled back whole at any failure
  // of the work inside it (as a creation's is), so inTransaction runs its
  // work at that transaction's level without a savepoint of its own: the
  // savepoint could only undo what the rollback undoes anyway, and on
  // SQLite it costs a copy of every page the work changes. Answers the
  // previous setting.
  bool failWhole(bool whole) {
    std::swap(whole, failWhole_);
    return whole;
  }
  bool writeVersionInfo(bool ncoaOnly);

  // --- initial data (repos_initial_data.cpp) ---
  // The first rows of a new repository. `tablesMade`: every built-in table
  // was just made from the definitions, so that the id repair need not look
  // up their columns.
  bool installInitialData(bool tablesMade = false);
  bool installInitialMonitorData(bool tablesMade = false);
  bool runTableSetStatement(const ReposStatement& statement,
                            const ReposTableSet& set);
  bool insertTableRows(const ReposTableSet& set);

  // --- id counters (repos_id_repair.cpp) ---
  // Raises the counters to the highest ids in use where the connection
  // needs it (a SQLite file, or a connection that asks for a resync).
  // Without `checkColumns` the built-in tables are taken to have the
  // columns of their definitions (they were just made from them).
  bool repairIdCounters(bool checkColumns = true);
  // The same on every connection.
  bool raiseIdCounters(bool checkColumns = true);

  // --- defaults (repos_defaults.cpp) ---
  bool installInitialProfileData();
  bool ensureDashboardDefaults();
  // Files every object without a folder in the top-level folder "Shared
  // Data" (made when it is missing and something needs it), then fills
  // the normalised folder names.
  bool moveObjectsToDefaultFolder();

  // --- data upgrades (versiondata.cpp) ---
  // The data upgrade steps of the repository's kind, in order, stopping at
  // the first that fails. With `ncoaOnly` only the status callback is asked
  // whether to go on.
  bool applyDataUpgrades(bool ncoaOnly);
  // Gives every identification definition (MIDDEF) its own ID_UID and
  // points the definition values (MDEFVL) at it; nothing to do once one
  // definition has an ID_UID.
  bool ensureIdentityDefinitionLinkage();
  // Gives monitoring tasks without a creation date the current date and
  // user as created and edited.
  bool ensureTaskDates();

  // --- older versions' counters and columns (repos_old_data.cpp) ---
  // Carries the counters of CURID (profile) or MCURID (monitoring) into
  // UCURID under their names; a counter held there already keeps the
  // larger value.
  bool mergeIdCounters(bool profile);
  // Copies the values of the long column names of older versions into the
  // current short ones, where the old column is still there.
  bool copyOldColumnValues();

  // --- values older versions left out (versiondata.cpp) ---
  // A column of `table` that rows may hold NULL or empty: each such row,
  // found by `key`, gets a new UUID, or with `osUser` the operating-system
  // user.
  struct MissingValues {
    const char* table;
    const char* key;
    const char* column;
    bool osUser;
  };
  bool fillMissingValues(const MissingValues& fill);
  // The per-id tables of a code ("FRQDST", "HSM", "HCM") and the id column
  // that numbers them (repos_exports.cpp).
  struct IdTable;

  // --- table dumps (table_xml.cpp) ---
  // Writes table `table` (a code, or a code and a number) with its rows and
  // indexes to "<physical name>.xml" in `folder`; with `drop` the table is
  // dropped once the file is complete. A table that does not exist writes
  // nothing and is no failure.
  bool exportTableToXml(const KvbString& table, const KvbString& folder,
                        bool drop);
  // importTable without its answer logged.
  bool loadTable(const KvbString& path);
  // Drops this prefix's table `table` with its indexes first, unless
  // another repository of the schema claims its name: then it stays and
  // the answer is true (see RDA_Neighbours).
  bool dropOwnTable(const KvbString& table);

  // --- per-id tables (repos_exports.cpp) ---
  // Whether a connection is to a SQLite database (repositoryimpl.cpp).
  static bool onSqlite(ReposDataAccess* rda);

  // --- old file-based profile repositories (movesqlitedata.cpp) ---
  // Copies an old profile repository file into `newPath`, a new file
  // repository of the current schema. Tables that the old file lacks stay
  // empty. False when the old file could not be read, a row could not be
  // copied or the host asked to stop; the new file then keeps nothing of
  // the old data.
  bool moveSqliteData(const KvbString& oldPath, const KvbString& newPath);

  // --- holds (repositoryimpl.cpp) ---
  // The host has one hold, which release() ends; every manager or
  // administration object made from the repository has one while it lives
  // (access/held_repository.h). The last hold to end closes the connection
  // and deletes the repository. Data-access objects hold the connection
  // itself, which outlives the repository the same way.
  void hold() override { ++holds_; }
  void letGo() override;

  // --- Repository (positions in repository.h) ---
  KvbString getErrorMessage() override;
  void release() override;
  void getVersionInfo(int* connectionKind, int* repositoryKind, int* version,
                      int* secondVersion) override;
  void getConnectionInfo(KvbString* connection,
                         KvbString* tablePrefix) override;
  bool isCurrentVersion() override;
  bool isNCOAVersionCurrent() override;
  bool isMinorVersionCurrent() override;
  bool reserved8(void*) override { return true; }
  bool reserved9(void*, void*) override { return true; }
  bool reserved10() override { return true; }
  bool upgradeRepository() override;
  bool upgradeNCOA() override;
  int getMaxTextLength() override;
  bool reserved14(void*, void*, void*, void*, void*) override { return true; }
  bool exportFrqdstTablesByJobDate(const KvbDate& from, const KvbDate& to,
                                   const KvbString& folder, bool drop) override;
  bool exportFrqdstTables(int from, int to, const KvbString& folder,
                          bool drop) override;
  bool exportHsmTablesByExecDate(const KvbDate& from, const KvbDate& to,
                                 const KvbString& folder, bool drop) override;
  bool exportHsmTables(int from, int to, const KvbString& folder,
                       bool drop) override;
  bool exportHcmTablesByExecDate(const KvbDate& from, const KvbDate& to,
                                 const KvbString& folder, bool drop) override;
  bool exportHcmTables(int from, int to, const KvbString& folder,
                       bool drop) override;
  bool importTable(const KvbString& path) override;
  bool reserved22(void*) override { return true; }
  CommonRepositoryDataAccess* createCommonDataAccess() override;
  ProfileRepositoryDataAccess* createProfileDataAccess() override;
  ExplorerRepositoryDataAccess* createExplorerDataAccess() override;
  MetadataRepositoryDataAccess* createMetadataDataAccess() override;
  MonitorRepositoryDataAccess* createMonitorDataAccess() override;
  RefDataRepositoryDataAccess* createRefDataDataAccess() override;
  RepositoryFolderManager* createFolderManager() override;
  RepositoryImpactAnalysis* createImpactAnalysis() override;
  KvbString getRepositoryUUID() override;
  RepositoryImportExportManager* createImportExportManager() override;
  bool setKeyValue(const KvbString& key, const KvbString& value) override;
  bool getKeyValue(const KvbString& key, KvbString* value) override;
  bool deleteKey(const KvbString& key) override;
  ReposDataAccessCursor* getKeys() override;
  ReposDataAccessCursor* getKeyValues() override;
  RepositoryEventQueueManager* createEventQueueManager() override;
  NCOARepositoryDataAccess* createNCOADataAccess() override;
  FieldMappingAdminObject* createFieldMappingAdmin() override;
  int getMinorVersion() override;
  bool getInfoVersion(const KvbString& infoType, int* version, void*) override;
  bool getNextID(const KvbString& key, int* id, KvbString* errorText) override;
  bool getNextIDs(const KvbString& key, int count, int* firstId,
                  KvbString* errorText) override;
  DacConnection* getDacConnection() override;
  bool getTableName(const KvbString& name, bool quote, KvbString* tableName,
                    void*) override;
  bool getSchemaName(KvbString* schema, void*) override;
  bool getTablePrefix(bool withoutSchema, KvbString* prefix,
                      KvbString* errorText) override;
  bool readLongText(const KvbString& text, KvbString* full, int) override;
  bool writeLongText(const KvbString& text, KvbString* marker, int) override;
  ReposDataAccessCursor* paramSelect(const char* sql, KvbString* errorText,
                                     int n, ...) override;

 protected:
  ~RepositoryImpl() override;

 private:
  // Hands a text to the status callback's message operation.
  void reportMessage(const KvbString& text);
  // The calling thread's last failure on this repository; "" when it has
  // none.
  KvbString text() const { return texts_.lastOr(KvbString("")); }
  // A failure: the text becomes the calling thread's error text and goes
  // to the message operation. Answers false.
  bool fail(const KvbString& text);
  // The same without the message operation.
  bool failUnreported(const KvbString& text);
  // A failure whose record was written already (by a step, or by a second
  // object): as fail(), but answered() logs it no more.
  bool failLogged(const KvbString& text);
  // The answer of a public operation: when it failed (`ok` false, or a
  // null result), the calling thread's text is logged once at level 5,
  // unless a step of the operation logged the failure already.
  bool answered(bool ok, int line = __builtin_LINE());
  template <typename T>
  T* answered(T* result, int line = __builtin_LINE()) {
    answered(result != nullptr, line);
    return result;
  }
  // A failure of the connection: its error text, as fail() does.
  bool failOnConnection();
  // The same without the message operation: for the operations that the
  // repository forwards to its connection, also when the connection could
  // not be had in time (its text is then the lock's refusal).
  bool takeConnectionText();
  // Reports a step of the work to the status callback; false, with the
  // error text set, when the host asks to stop there.
  bool reportStep(const KvbString& step);
  // Runs a statement that changes the database with `values` bound in
  // order, reporting its text first. On failure as failOnConnection().
  bool execute(const KvbString& sql,
               const std::vector<KvbDatavar>& values = {});
  // Runs `work` through runTransaction (access/base_rdaimpl.h). The work
  // sets the error text of its own failures; a begin or commit that fails
  // is a failure of the connection. False when either fails.
  bool inTransaction(const std::function<bool()>& work);
  // Whether INFO holds a row of `type`: 1 yes, 0 no, -1 when the query
  // fails (the error text set as failOnConnection() does).
  int hasInfoRow(const KvbString& type);
  // Gives the INFO row of `type` the version `version`: an update when the
  // row exists, else an insert.
  bool writeVersionRow(const KvbString& type, int version);
  // Inserts the unified INFO row of a new repository: the current version
  // and minor version, the description and a new UUID.
  bool insertUnifiedInfoRow();
  // The quoted physical name of a table code.
  KvbString physical(const char* tableCode) const;
  // Every row of a query with `values` bound, read whole before anything
  // else runs (its text reported first). False with the error text set when
  // the query or the reading fails.
  typedef std::vector<std::vector<KvbDatavar>> Rows;
  bool readRows(const KvbString& sql, const std::vector<KvbDatavar>& values,
                Rows* rows);
  // Runs one prepared statement once for each row of values (its text
  // reported once); false at the first failure.
  bool executeEach(const KvbString& sql, const Rows& rows);
  // Makes the id counter `key` hand out no id up to `value`: raised when it
  // is lower, added when it is missing.
  bool raiseCounter(const KvbString& key, int value);
  // Whether the table of `tableCode` has a column `column` (any case), in
  // *has. False, with the reason, when the table's columns cannot be read.
  bool hasColumn(const char* tableCode, const char* column, bool* has);
  // getNextIDs without its answer logged.
  bool nextIDs(const KvbString& key, int count, int* firstId,
               KvbString* errorText);
  // Logs a progress text at level 1.
  void logProgress(const char* text);

  // What the upgrades are made of (repos_upgrade.cpp); the public
  // operations log their failure once.
  bool upgradeWhole();
  bool upgradeNcoaPart();
  bool upgradeThroughConnection();
  bool upgradeSteps();
  void validateDefinitions(const char* text);
  bool upgradeNeeded(bool* needed);
  // Whether this is an old file-based profile repository, in *old; false,
  // with the reason, when the file's catalogue cannot be read.
  bool isOldProfileFile(bool* old);
  bool moveOldProfileFile();
  // The data upgrade steps of the repository's kind (versiondata.cpp).
  bool ensureMatchCodeIndex();

  // The per-id table exports (repos_exports.cpp): the tables of the ids in
  // [from, to), or of the ids that a query gives.
  bool exportIdRange(const IdTable& tables, int from, int to,
                     const KvbString& folder, bool drop);
  bool exportIds(const IdTable& tables, ReposDataAccessCursor* ids,
                 const KvbString& folder, bool drop);
  // The largest value of an id column; -1 when the table is empty. False
  // when the query fails.
  bool largestId(const char* tableCode, const char* column, int* id);
  ReposDataAccessCursor* idsInDateRange(const KvbString& sql,
                                        const KvbDate& from, const KvbDate& to);
  ReposDataAccessCursor* getFieldIdsByJobDate(const KvbDate& from,
                                              const KvbDate& to);
  ReposDataAccessCursor* getHgmIdsByExecDate(const KvbDate& from,
                                             const KvbDate& to);

  // What the opening and version reading are made of.
  struct InfoRowsSeen {
    bool profile = false;
    bool monitor = false;
    bool unified = false;  // a "KVREPOSITORY" or "NCOA" row
    int profileVersion = 0;
    int monitorVersion = 0;
  };
  bool initSteps(int flags, RepositoryAdmin* admin, int connectionKind,
                 const KvbString& connection, const KvbString& tablePrefix,
                 const KvbString& poolId, RepositoryStatusCallback* status,
                 KvbString* errorText);
  // Creates the connection; false with the reason in errorText.
  bool openConnection(int flags, int connectionKind, const KvbString& poolId,
                      KvbString* errorText);
  // The folder of the table-set files: REPOS/TABLE_LIST_PATH, else
  // etc/reposcreate below KVEXEC_HOME, else the installed table sets at
  // their place relative to the engine's library file.
  static KvbString tableSetFolder(const KvbConfigOptions& options);
  // Reads the table sets of `folder`; a folder that cannot be listed does
  // not fail (tableSetFolderFound then answers false, and an existing
  // repository is warned of it), a file that cannot be read fails.
  bool loadTableSets(const KvbString& folder, KvbString* errorText);
  // Declares the lengths of the text columns of the table sets' tables to
  // the connection, which names a value too long for one of them by them
  // (repos_structure.cpp).
  void declareTableSetLengths();
  // A failure of init for `reason`: the text that names the repository's
  // place and what could not be done to it (initVerb_) goes to the error
  // text, to *errorText (when given) and to the log at level 5. Answers
  // false.
  bool initFailure(const KvbString& reason, KvbString* errorText);
  // That text (see init).
  KvbString initFailureText(const KvbString& reason) const;
  void readInfoRow(ReposDataAccessCursor& row, const KvbString& infoTable,
                   InfoRowsSeen& seen);
  // False, with the reason kept, when the minor version cannot be read.
  bool readMinorVersion(const KvbString& infoTable);
  // Whether the database has the INFO table, in *exists. False, with the
  // reason on the connection, when its catalogue cannot be read.
  bool hasInfoTable(bool* exists);
  // The connection as texts show it: the file's path, or the connection
  // string without its password (null when the string cannot be read).
  // A file reached through the connection-string route shows its path.
  KvbString shownConnection() const;
  // The kind and versions of a repository without a unified row.
  void setKindFromProductRows(const InfoRowsSeen& seen);

  // The text of a missing connection.
  static KvbString noConnectionText();
  // True when there is a connection; else false with the error text set,
  // and copied to *errorText when given.
  bool connected(KvbString* errorText);

  // The error texts, one per thread: threads may share the repository.
  RDA_ThreadTexts texts_;
  KvbString tableSetFolderError_;  // null when the folder could be listed
  // Held while versions or table sets that could not be read are read
  // again, by whichever thread asks first.
  std::mutex rereads_;
  // Lists the table sets again after the open could not; false, keeping
  // the reason, while the folder still cannot be listed.
  bool relistTableSets();
  RepositoryAdmin* admin_ = nullptr;
  int version_ = 0;
  int secondVersion_ = 0;
  int minorVersion_ = 0;
  int ncoaVersion_ = 0;
  // Why the version rows could not be read; empty when they were read or
  // there are none.
  KvbString versionError_;
  bool infoTableFound_ = false;  // by the last readVersionInfo
  int connectionKind_ = 0;
  int repositoryKind_ = kKindNone;
  // relay_ after init, which passes the reports on to the host's callback
  // or to silent_.
  RepositoryStatusCallback* status_ = nullptr;
  StatusRelay relay_;
  SilentCallback silent_;
  KvbString connection_{""};
  // The path of a file reached through the connection-string route, which
  // connection_ names by the engine's own string or the host's connection
  // string that opens the file; null otherwise.
  KvbString filePath_;
  // What a failed init could not do: "opened", or "created" (kInitToCreate).
  const char* initVerb_ = "opened";
  bool initLogged_ = true;  // false with kInitUnlogged
  KvbString tablePrefix_{""};
  KvLogger* logger_ = nullptr;
  std::map<KvbString, int> infoVersions_;
  // The version of the INFO row `infoType` as the open read it; 0 for none.
  int recordedVersion(const KvbString& infoType) const {
    auto entry = infoVersions_.find(infoType);
    return entry == infoVersions_.end() ? 0 : entry->second;
  }
  ReposTableSetReader* tableSetReader_ = nullptr;
  bool ddlMode_ = false;
  bool keepTableSets_ = false;  // see keepTableSets
  bool failWhole_ = false;      // see failWhole
  ReposDataAccess* dataAccess_ = nullptr;
  std::atomic<int> holds_{1};
  std::atomic<bool> released_{false};
};

#endif  // ADMIN_REPOSITORYIMPL_H_
