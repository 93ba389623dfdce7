// RepositoryImpl: opening a repository (configuration, back end, table-set
// folder), reading its INFO version rows, the version accessors, and the
// operations that the repository forwards to its connection. Also the
// failure and statement helpers that the other RepositoryImpl files use.
#include "admin/repositoryimpl.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "access/base_rdaimpl.h"
#include "kvdataaccess/kvdataaccess.h"
#include "kvlogging/kvlogging.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_factory.h"
#include "rda/rda_impl.h"
#include "schema/log_printf.h"
#include "schema/repos_tables_xml.h"

namespace {

const char kSourceFile[] = "repositoryimpl";
const char kLoggerName[] = "KV.Repos.ReposAdmin.RepositoryImpl";
const char kCatalogue[] = "Repository Library";

// Factory kinds of createReposDataAccess.
constexpr int kFactoryConnectionString = 0;
constexpr int kFactorySqliteCreate = 1;
constexpr int kFactorySqliteOpen = 2;

// The reason of a step that the host stopped, until the operation tells
// at which step (failStopped).
const char kStopped[] = "Stopped at the host's request";

// The first version whose KVREPOSITORY row carries a minor version.
constexpr int kFirstVersionWithMinor = 4;

// The pool id reaches the connection through the process-wide "REPOSITORY"
// option group; repositories opened at the same time on several threads
// would otherwise read each other's pool id.
std::mutex poolIdMutex;

}  // namespace

RepositoryImpl::RepositoryImpl() : logger_(kvlogGetLogger(kLoggerName)) {}

RepositoryImpl::~RepositoryImpl() = default;

// The calling thread's own last failure, also a call that could not have
// the connection in time: never another thread's, and without waiting for
// the connection.
KvbString RepositoryImpl::getErrorMessage() { return text(); }

// ---------------------------------------------------------------------------
// Helpers shared by the RepositoryImpl files

void RepositoryImpl::reportMessage(const KvbString& text) {
  if (status_) status_->reportMessage(text);
}

bool RepositoryImpl::fail(const KvbString& text) {
  failUnreported(text);
  reportMessage(text);
  return false;
}

bool RepositoryImpl::failUnreported(const KvbString& text) {
  texts_.set(text);
  return false;
}

bool RepositoryImpl::failLogged(const KvbString& text) {
  fail(text);
  texts_.markLogged();
  return false;
}

bool RepositoryImpl::answered(bool ok, int line) {
  if (ok) return true;
  texts_.logUnlogged(logger_, kSourceFile, line);
  if (dataAccess_) static_cast<RDA_BaseImpl*>(dataAccess_)->lossLogged(text());
  return false;
}

bool RepositoryImpl::failOnConnection() {
  if (!dataAccess_) return fail(noConnectionText());
  return fail(dataAccess_->getErrorMessage());
}

bool RepositoryImpl::takeConnectionText() {
  return failUnreported(dataAccess_->getErrorMessage());
}

bool RepositoryImpl::reportStep(const KvbString& step) {
  return status_->reportStatus(step) || failUnreported(kStopped);
}

bool RepositoryImpl::failStopped(const char* operation) {
  const KvbString text =
      kvbStringFormat("The status callback stopped the %s at \"%S\"", operation,
                      relay_.stoppedAt());
  fail(text);
  if (!relay_.insideWatchedOperation()) answered(false);
  return false;
}

bool RepositoryImpl::inTransaction(const std::function<bool()>& work) {
  if (!dataAccess_) return failOnConnection();
  // Inside a transaction that any failure rolls back whole (see failWhole)
  // the work needs no level of its own.
  if (failWhole_ && dataAccess_->inTransaction()) return work();
  // The work's own failure keeps its text; a failed begin or commit takes
  // the text that runTransaction logged for it.
  KvbString logged;
  if (runTransaction(dataAccess_, logger_, work, &logged)) return true;
  if (!logged.isNull()) failLogged(logged);
  return false;
}

bool RepositoryImpl::execute(const KvbString& sql,
                             const std::vector<KvbDatavar>& values) {
  reportMessage(sql);
  if (!dataAccess_) return failOnConnection();
  return boundExecute(dataAccess_, sql, values) || failOnConnection();
}

bool RepositoryImpl::onSqlite(ReposDataAccess* rda) {
  DacConnection* dac = rda->getDacConnection();  // null: a SQLite file
  return !dac || dac->getDbKind() == DAC_DB_SQLITE;
}

KvbString RepositoryImpl::physical(const char* tableCode) const {
  return dataAccess_->getTableName(tableCode, true, -1);
}

bool RepositoryImpl::readRows(const KvbString& sql,
                              const std::vector<KvbDatavar>& values,
                              Rows* rows) {
  reportMessage(sql);
  if (!dataAccess_) return failOnConnection();
  ReposDataAccessCursor* cursor = boundSelect(dataAccess_, sql, values);
  if (!cursor) return failOnConnection();
  int fetched = 2;
  if (cursor->cacheAll())
    while ((fetched = cursor->next()) == 1) {
      rows->emplace_back();
      for (int column = 0; column < cursor->getNumCols(); ++column)
        rows->back().push_back(cursor->getValue(column));
    }
  cursor->release();
  return fetched == 0 ||
         fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1316));
}

bool RepositoryImpl::executeEach(const KvbString& sql, const Rows& rows) {
  reportMessage(sql);
  if (!dataAccess_) return failOnConnection();
  if (rows.empty()) return true;
  ReposDataAccessStatement* statement = dataAccess_->createStatement(sql);
  if (!statement) return failOnConnection();
  bool ok = true;
  for (auto row = rows.begin(); ok && row != rows.end(); ++row) {
    for (size_t i = 0; ok && i < row->size(); ++i)
      ok = statement->setParameter(static_cast<int>(i), (*row)[i]);
    ok = ok && statement->execute();
  }
  const KvbString error = statement->getErrorMessage();
  statement->release();
  return ok || fail(error);
}

int RepositoryImpl::hasInfoRow(const KvbString& type) {
  const int found = firstRow(dataAccess_,
                             "SELECT I_TYPE FROM " +
                                 dataAccess_->getTableName("INFO", true, -1) +
                                 " WHERE I_TYPE=?",
                             {type}, [](ReposDataAccessCursor&) {});
  if (found < 0) failOnConnection();
  return found;
}

bool RepositoryImpl::writeVersionRow(const KvbString& type, int version) {
  const KvbString info = dataAccess_->getTableName("INFO", true, -1);
  switch (hasInfoRow(type)) {
    case 0:
      return execute("INSERT INTO " + info + " (I_VERS, I_TYPE) VALUES (?, ?)",
                     {version, type});
    case 1:
      return execute("UPDATE " + info + " SET I_VERS=? WHERE I_TYPE=?",
                     {version, type});
    default:
      return false;
  }
}

bool RepositoryImpl::insertUnifiedInfoRow() {
  return execute("INSERT INTO " + dataAccess_->getTableName("INFO", true, -1) +
                     " (I_TYPE, I_VERS, I_DESC, I_UUID, I_MVER) VALUES (?, ?, "
                     "?, ?, ?)",
                 {kInfoUnified, kCurrentVersion, "Velmoran Repository",
                  kvbGetUUID(), kCurrentMinorVersion});
}

KvbString RepositoryImpl::noConnectionText() {
  return kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1161);
}

bool RepositoryImpl::connected(KvbString* errorText) {
  if (dataAccess_) return true;
  const KvbString text = noConnectionText();
  if (errorText) *errorText = text;
  return failUnreported(text);
}

bool RepositoryImpl::hasColumn(const char* tableCode, const char* column,
                               bool* has) {
  *has = false;
  std::list<TableColumnInfo> columns;
  if (dataAccess_->getTableColumns(tableCode, columns) < 0)
    return failOnConnection();
  for (const TableColumnInfo& info : columns)
    if (info.name.equals(column, true)) *has = true;
  return true;
}

void RepositoryImpl::logProgress(const char* text) {
  logPrintf(logger_, kLogProgress, kSourceFile, __LINE__, "%s", text);
}

// ---------------------------------------------------------------------------
// Opening

bool RepositoryImpl::initFailure(const KvbString& reason,
                                 KvbString* errorText) {
  const KvbString text = initFailureText(reason);
  if (errorText) *errorText = text;
  failUnreported(text);
  return initLogged_ && answered(false);
}

KvbString RepositoryImpl::initFailureText(const KvbString& reason) const {
  // A connection string that cannot be read reached no database, so nothing
  // could be opened or created: the failure is the string's, in the
  // platform's words (dacCreateDataSource), which quote no piece of a
  // string that may hold a password.
  if (reason.startsWith("the connection string ") &&
      dacOdbcConnectionString(connection_).isNull())
    return "T" + reason.substr(1);
  // A refused table prefix is the reason's subject, named there only.
  const KvbString refusedPrefix =
      "The table prefix \"" + tablePrefix_ + "\" is not";
  const bool prefixRefused =
      !tablePrefix_.isEmpty() && reason.startsWith(refusedPrefix.asCstr());
  KvbString text = kvbStringFormat("The repository in the %S could not be %s",
                                   place(!prefixRefused), initVerb_);
  if (prefixRefused) return text + ": t" + reason.substr(1);
  // A failed connect, or a SQLite file that cannot be opened, names the
  // connection or the file too; the text names it once.
  const KvbString heads[] = {
      "Connecting to " + shownConnection() + ": ",
      "cannot open the database file '" + shownConnection() + "': ",
  };
  for (const KvbString& head : heads)
    if (reason.startsWith(head.asCstr()))
      return text + ": " + reason.substr(head.length());
  if (!reason.isEmpty()) text += ": " + reason;
  return text;
}

KvbString RepositoryImpl::shownConnection() const {
  if (connectionKind_ == 0) return connection_;
  return filePath_.isNull() ? dacConnectionStringWithoutPassword(connection_)
                            : filePath_;
}

KvbString RepositoryImpl::place(bool withPrefix) const {
  const KvbString shown = shownConnection();
  // A connection string that cannot be read is not shown: a password in it
  // could not be told apart.
  const bool file = connectionKind_ == 0 || !filePath_.isNull();
  KvbString text = file             ? "database file \"" + shown + "\""
                   : shown.isNull() ? KvbString("database")
                                    : "database \"" + shown + "\"";
  if (withPrefix && !tablePrefix_.isEmpty())
    text += " with the table prefix \"" + tablePrefix_ + "\"";
  return text;
}

bool RepositoryImpl::init(int flags, RepositoryAdmin* admin, int connectionKind,
                          const KvbString& connection,
                          const KvbString& tablePrefix, const KvbString& poolId,
                          RepositoryStatusCallback* status,
                          KvbString* errorText) {
  initVerb_ = (flags & kInitToCreate) ? "created" : "opened";
  initLogged_ = !(flags & kInitUnlogged);
  try {
    return initSteps(flags, admin, connectionKind, connection, tablePrefix,
                     poolId, status, errorText);
  } catch (...) {
    return initFailure(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 530),
                       errorText);
  }
}

bool RepositoryImpl::initSteps(int flags, RepositoryAdmin* admin,
                               int connectionKind, const KvbString& connection,
                               const KvbString& tablePrefix,
                               const KvbString& poolId,
                               RepositoryStatusCallback* status,
                               KvbString* errorText) {
  logger_ = kvlogGetLogger(kLoggerName);
  admin_ = admin;
  connectionKind_ = connectionKind;
  connection_ = connection;
  // A connection string that opens a SQLite file is named by the file's
  // path, as the file route names it.
  filePath_ = connectionKind == 1 ? dacSqliteFilePath(connection) : KvbString();
  if (connectionKind == 0 && (flags & kInitFileThroughConnection)) {
    filePath_ = connection;
    connectionKind_ = 1;
    connection_ = dacSqliteFileConnectionString(connection);
  }
  tablePrefix_ = tablePrefix;
  relay_.setHost(status ? status : &silent_);
  status_ = &relay_;
  tableSetReader_ = nullptr;
  ddlMode_ = false;
  infoVersions_.clear();

  if (!openConnection(flags, connectionKind_, poolId, errorText)) return false;

  KvbConfigOptions* options = kvbGetConfigOptions("");
  if (!options)
    return initFailure(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 292),
                       errorText);
  if (!loadTableSets(tableSetFolder(*options), errorText)) return false;
  declareTableSetLengths();
  readVersionInfo();
  // The connection keeps the UUID for the events it posts, in case a later
  // read of it fails; a failure here is no failure of the open.
  KvbString unread;
  if (repositoryKind_ == kKindUnified) readUUID(&unread);
  return true;
}

// Only an existing repository is warned of a table-set folder that cannot
// be listed. A database without one is opened to be created, and the
// creation fails with the reason (tableSetFolderFound), logged once.
void RepositoryImpl::warnOfWhatTheOpenLacks() {
  if (!versionError_.isEmpty())
    logPrintf(logger_, kLogWarning, kSourceFile, __LINE__, "%S", versionError_);
  if (!tableSetFolderError_.isNull() &&
      (repositoryKind_ != kKindNone || !versionError_.isEmpty()))
    logPrintf(logger_, kLogWarning, kSourceFile, __LINE__, "%S",
              tableSetFolderError_);
}

bool RepositoryImpl::openConnection(int flags, int connectionKind,
                                    const KvbString& poolId,
                                    KvbString* errorText) {
  int factoryKind;
  switch (connectionKind) {
    case 0:
      factoryKind =
          (flags & kInitCreateFile) ? kFactorySqliteCreate : kFactorySqliteOpen;
      break;
    case 1:
      factoryKind = kFactoryConnectionString;
      break;
    default:
      return initFailure(
          kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1313), errorText);
  }

  std::lock_guard<std::mutex> guard(poolIdMutex);
  KvbConfigOptions* repositoryOptions = kvbGetConfigOptions("REPOSITORY");
  if (!repositoryOptions)
    return initFailure(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 292),
                       errorText);
  repositoryOptions->set("POOL_ID", poolId);

  KvbString factoryError{""};
  dataAccess_ = createReposDataAccess(factoryKind, connection_, tablePrefix_,
                                      status_, factoryError);
  if (dataAccess_) return true;
  return initFailure(factoryError, errorText);
}

// The table sets that were installed with the engine, found from where its
// library file is rather than from the prefix it was configured for, so
// that an install made into or moved to another prefix reads its own sets.
static KvbString installedTableSetFolder() {
  static const char anchor = 0;
  Dl_info library;
  if (!dladdr(&anchor, &library) || !library.dli_fname) return KvbString("");
  std::error_code error;
  std::filesystem::path file =
      std::filesystem::weakly_canonical(library.dli_fname, error);
  if (error) file = library.dli_fname;
  return (file.parent_path() / KV_TABLE_SET_RELDIR).lexically_normal().string();
}

KvbString RepositoryImpl::tableSetFolder(const KvbConfigOptions& options) {
  KvbString configured;
  if (options.get("REPOS/TABLE_LIST_PATH", configured)) return configured;
  KvbString home;
  if (options.get("KVEXEC_HOME", home))
    return kvbConcatPath(kvbConcatPath(home, "etc"), "reposcreate");
  // Without a home folder, the installed sets. The library stays where it
  // was loaded from, so its folder is found once per process; never
  // destroyed, as threads may still open repositories while it exits.
  static const KvbString* const installed =
      new KvbString(installedTableSetFolder());
  return *installed;
}

bool RepositoryImpl::loadTableSets(const KvbString& folder,
                                   KvbString* errorText) {
  tableSetReader_ = new ReposTableSetReader();
  if (!tableSetReader_->openTableSetDirectory(folder))
    tableSetFolderError_ = tableSetReader_->getErrorMessage();
  if (tableSetReader_->loadTableSetDirectory(nullptr)) return true;
  // The reader's text is the only account of what is wrong with the files,
  // so the caller gets it too.
  return initFailure(tableSetReader_->getErrorMessage(), errorText);
}

bool RepositoryImpl::tableSetFolderFound() {
  return relistTableSets() ||
         fail(tableSetFolderError_ +
              "; a repository created without it would lack its table sets");
}

bool RepositoryImpl::tableSetsListed() {
  return relistTableSets() ||
         fail("The repository's table sets could not be read: " +
              tableSetFolderError_);
}

bool RepositoryImpl::relistTableSets() {
  std::lock_guard<std::mutex> guard(rereads_);
  if (tableSetFolderError_.isNull()) return true;
  KvbConfigOptions* options = kvbGetConfigOptions("");
  if (!options || !tableSetReader_) return false;
  auto* reader = new ReposTableSetReader();
  if (!reader->openTableSetDirectory(tableSetFolder(*options)) ||
      !reader->loadTableSetDirectory(nullptr)) {
    tableSetFolderError_ = reader->getErrorMessage();
    ReposTableSetReader::destroy(reader);
    return false;
  }
  ReposTableSetReader::destroy(tableSetReader_);
  tableSetReader_ = reader;
  tableSetFolderError_ = KvbString();
  declareTableSetLengths();
  return true;
}

bool RepositoryImpl::setDDLCallback(ReposDDLCallback* callback) {
  if (!connected(nullptr)) return false;
  ddlMode_ = callback != nullptr;
  return dataAccess_->setDDLCallback(callback);
}

int RepositoryImpl::getTableSetCount() {
  return tableSetReader_ ? tableSetReader_->tableSetCount() : 0;
}

ReposTableSet* RepositoryImpl::getTableSet(int index) {
  ReposTableSet* set = nullptr;
  if (tableSetReader_ && tableSetReader_->tableSetAt(index, &set)) return set;
  return nullptr;
}

void RepositoryImpl::release() {
  // A second release while objects the repository handed out still hold it
  // finds the repository alive and is refused; after the last hold ended
  // the pointer is gone, as after free().
  if (released_.exchange(true)) {
    logPrintf(logger_, kLogError, kSourceFile, __LINE__, "%s",
              "The repository was released already; release() ignored");
    return;
  }
  letGo();
}

void RepositoryImpl::letGo() {
  KvNoCancellation noCancellation;
  if (--holds_ > 0) return;
  if (dataAccess_) dataAccess_->release();
  dataAccess_ = nullptr;
  if (tableSetReader_) ReposTableSetReader::destroy(tableSetReader_);
  tableSetReader_ = nullptr;
  delete this;
}

// ---------------------------------------------------------------------------
// Versions

bool RepositoryImpl::readVersionInfo() {
  version_ = secondVersion_ = minorVersion_ = ncoaVersion_ = 0;
  repositoryKind_ = kKindNone;
  versionError_ = "";
  infoTableFound_ = false;
  infoVersions_.clear();
  infoVersions_[kInfoProfile] = 0;
  infoVersions_[kInfoMonitor] = 0;
  if (!dataAccess_) return true;

  const KvbString info = dataAccess_->getTableName("INFO", true, -1);
  ReposDataAccessCursor* rows =
      dataAccess_->paramSelect("SELECT I_TYPE, I_VERS FROM " + info, 0);
  const KvbString error = dataAccess_->getErrorMessage();
  // A database without an INFO table holds no repository; one with an INFO
  // table that cannot be read holds one of an unknown version, and so may
  // one whose catalogue cannot be read. Repositories of old versions name
  // the column I_VERSION.
  bool hasInfo = rows != nullptr;
  const bool listed = hasInfo || hasInfoTable(&hasInfo);
  infoTableFound_ = hasInfo;
  if (!rows && hasInfo)
    rows = dataAccess_->paramSelect("SELECT I_TYPE, I_VERSION FROM " + info, 0);
  if (!listed) {
    versionError_ = dataAccess_->getErrorMessage();
  } else if (!rows) {
    if (hasInfo) versionError_ = error;
  } else if (!rows->cacheAll()) {
    versionError_ = dataAccess_->getErrorMessage();
  } else {
    InfoRowsSeen seen;
    while (rows->next() == 1) readInfoRow(*rows, info, seen);
    if (!seen.unified) setKindFromProductRows(seen);
  }
  if (rows) rows->release();
  return versionError_.isEmpty();
}

bool RepositoryImpl::versionsRead() {
  std::lock_guard<std::mutex> guard(rereads_);
  return versionError_.isEmpty() || readVersionInfo();
}

// On a SQLite file one look at its catalogue answers; elsewhere, or should
// that look fail, the table's columns are read.
bool RepositoryImpl::hasInfoTable(bool* exists) {
  *exists = false;
  if (onSqlite(dataAccess_) && dataAccess_->getSchemaName().isEmpty()) {
    const KvbDatavar name(dataAccess_->getTableName("INFO", false, -1));
    int tables = 0;
    if (dataAccess_->paramSingleton(
            "SELECT COUNT(*) FROM sqlite_master WHERE type IN ('table', "
            "'view') AND name=? COLLATE NOCASE",
            &tables, 1, &name)) {
      *exists = tables > 0;
      return true;
    }
  }
  std::list<TableColumnInfo> columns;
  if (dataAccess_->getTableColumns("INFO", columns) < 0) return false;
  *exists = !columns.empty();
  return true;
}

void RepositoryImpl::readInfoRow(ReposDataAccessCursor& row,
                                 const KvbString& infoTable,
                                 InfoRowsSeen& seen) {
  const KvbString type = row.getString(0);
  if (type == kInfoProfile) {
    seen.profile = true;
    // SQLite files of the first versions store the version as a real with
    // one decimal: 1.8 is version 18.
    seen.profileVersion = connectionKind_ == 0
                              ? static_cast<int>(row.getDouble(1) * 10.0)
                              : row.getInt(1);
    infoVersions_[type] = seen.profileVersion;
  } else if (type == kInfoMonitor) {
    seen.monitor = true;
    seen.monitorVersion = row.getInt(1);
    infoVersions_[type] = seen.monitorVersion;
  } else if (type == kInfoUnified) {
    seen.unified = true;
    version_ = row.getInt(1);
    repositoryKind_ = kKindUnified;
    // Repositories written before the minor version have no I_MVER
    // column: they are of minor version 0.
    if (version_ >= kFirstVersionWithMinor && !readMinorVersion(infoTable)) {
      const KvbString reason = dataAccess_->getErrorMessage();
      if (!static_cast<RDA_BaseImpl*>(dataAccess_)
               ->lacksColumn("INFO", "I_MVER"))
        versionError_ = reason;
    }
    infoVersions_[type] = version_;
  } else if (type == kInfoNcoa) {
    seen.unified = true;
    ncoaVersion_ = row.getInt(1);
    repositoryKind_ = kKindUnified;
    infoVersions_[type] = ncoaVersion_;
  } else {
    infoVersions_[type] = row.getInt(1);
  }
}

bool RepositoryImpl::readMinorVersion(const KvbString& infoTable) {
  return firstRow(dataAccess_,
                  "SELECT I_MVER FROM " + infoTable + " WHERE I_TYPE=?",
                  {kInfoUnified}, [this](ReposDataAccessCursor& row) {
                    minorVersion_ = row.getInt(0);
                  }) >= 0;
}

void RepositoryImpl::setKindFromProductRows(const InfoRowsSeen& seen) {
  if (seen.profile && seen.monitor) {
    repositoryKind_ = kKindProfileAndMonitor;
    version_ = seen.profileVersion;
    secondVersion_ = seen.monitorVersion;
  } else if (seen.profile) {
    repositoryKind_ = kKindProfile;
    version_ = seen.profileVersion;
  } else if (seen.monitor) {
    repositoryKind_ = kKindMonitor;
    version_ = seen.monitorVersion;
  }
}

void RepositoryImpl::getVersionInfo(int* connectionKind, int* repositoryKind,
                                    int* version, int* secondVersion) {
  versionsRead();
  // A null output is one the caller does not want.
  auto store = [](auto* out, const auto& value) {
    if (out) *out = value;
  };
  store(connectionKind, connectionKind_);
  store(repositoryKind, repositoryKind_);
  store(version, version_);
  store(secondVersion, secondVersion_);
}

void RepositoryImpl::getConnectionInfo(KvbString* connection,
                                       KvbString* tablePrefix) {
  if (connection) *connection = connection_;
  if (tablePrefix) *tablePrefix = tablePrefix_;
}

KvbString RepositoryImpl::noRepositoryText() const {
  if (repositoryKind_ != kKindNone || !versionError_.isEmpty())
    return KvbString("");
  return kvbStringFormat("The %S holds no repository: %s", place(),
                         infoTableFound_ ? "its INFO table holds no version row"
                                         : "it has no INFO table");
}

// Versions that cannot be read are no current ones, whatever part of them
// was read.
bool RepositoryImpl::isCurrentVersion() {
  return versionsRead() && repositoryKind_ == kKindUnified &&
         version_ == kCurrentVersion;
}

int RepositoryImpl::getMinorVersion() {
  versionsRead();
  return minorVersion_;
}

KvbString RepositoryImpl::versionRefusal(const char* subject) {
  if (!versionsRead())
    return kvbStringFormat(
        "%s cannot be used or changed: its version rows cannot be read: %S",
        subject, versionError_);
  const bool newer =
      repositoryKind_ == kKindUnified &&
      (version_ > kCurrentVersion ||
       (version_ == kCurrentVersion && minorVersion_ > kCurrentMinorVersion));
  if (!newer) return KvbString("");
  return kvbStringFormat(
      "%s has version %d.%d, newer than %d.%d, the newest this engine "
      "supports; it cannot be used or changed by this engine.",
      subject, version_, minorVersion_, kCurrentVersion, kCurrentMinorVersion);
}

bool RepositoryImpl::isNCOAVersionCurrent() {
  return versionsRead() && repositoryKind_ == kKindUnified &&
         ncoaVersion_ == kCurrentNcoaVersion;
}

bool RepositoryImpl::isMinorVersionCurrent() {
  return versionsRead() && minorVersion_ >= kCurrentMinorVersion;
}

bool RepositoryImpl::getInfoVersion(const KvbString& infoType, int* version,
                                    void*) {
  // Rows that could not be read are no rows: 0 would pass for none.
  const bool read = versionsRead();
  if (version) *version = recordedVersion(infoType);
  if (!read)
    return answered(fail(kvbStringFormat(
        "The version rows of the repository could not be read: %S",
        versionError_)));
  return true;
}

// ---------------------------------------------------------------------------
// Forwarding to the connection

int RepositoryImpl::getMaxTextLength() {
  return dataAccess_ ? dataAccess_->getMaxTextLength() : 0;
}

// "" also when the UUID cannot be read: then the text says why. A
// repository without the row has no UUID, which is no failure.
KvbString RepositoryImpl::getRepositoryUUID() {
  KvbString reason;
  const KvbString uuid = readUUID(&reason);
  if (!reason.isNull()) answered(failUnreported(reason));
  return uuid;
}

KvbString RepositoryImpl::readUUID(KvbString* reason) {
  if (!dataAccess_) return "";
  return static_cast<RDA_BaseImpl*>(dataAccess_)->repositoryUUID(reason);
}

bool RepositoryImpl::getNextID(const KvbString& key, int* id,
                               KvbString* errorText) {
  return getNextIDs(key, -1, id, errorText);
}

bool RepositoryImpl::getNextIDs(const KvbString& key, int count, int* firstId,
                                KvbString* errorText) {
  return answered(nextIDs(key, count, firstId, errorText));
}

bool RepositoryImpl::nextIDs(const KvbString& key, int count, int* firstId,
                             KvbString* errorText) {
  if (!connected(errorText)) return false;
  KvbDatavar first;
  if (!dataAccess_->getNextIDs(key, count, first, errorText)) {
    // A statement that failed is named by the counter, not by the
    // statement on the engine's counter table.
    const KvbString text = subjectFailure(
        kvbStringFormat("The next id of the counter \"%S\" could not be drawn",
                        key),
        dataAccess_->getErrorMessage());
    if (errorText) *errorText = text;
    return failUnreported(text);
  }
  if (!firstId) return true;
  bool bad = false;
  const int value = first.asInt(&bad);
  if (!bad) {
    *firstId = value;
    return true;
  }
  // The connection reported success, so its last error says nothing about
  // this value: name the counter instead.
  const KvbString text =
      kvbStringFormat("The id counter %S gave no integer id", key);
  if (errorText) *errorText = text;
  return failUnreported(text);
}

DacConnection* RepositoryImpl::getDacConnection() {
  return dataAccess_ ? dataAccess_->getDacConnection() : nullptr;
}

bool RepositoryImpl::getTableName(const KvbString& name, bool quote,
                                  KvbString* tableName, void*) {
  if (!tableName) return true;
  if (!answered(connected(nullptr))) return false;
  *tableName = dataAccess_->getTableName(name.asCstr(), quote, -1);
  return true;
}

bool RepositoryImpl::getSchemaName(KvbString* schema, void*) {
  if (!schema) return true;
  if (!answered(connected(nullptr))) return false;
  *schema = dataAccess_->getSchemaName();
  return true;
}

bool RepositoryImpl::getTablePrefix(bool withoutSchema, KvbString* prefix,
                                    KvbString* errorText) {
  if (!prefix) return true;
  if (!answered(connected(errorText))) return false;
  // The connection fails only for a null `prefix`, answered above.
  return dataAccess_->getTablePrefix(withoutSchema, prefix, errorText);
}

bool RepositoryImpl::readLongText(const KvbString& text, KvbString* full,
                                  int unused) {
  return answered(connected(nullptr) &&
                  (dataAccess_->readLongText(text, full, unused) ||
                   takeConnectionText()));
}

bool RepositoryImpl::writeLongText(const KvbString& text, KvbString* marker,
                                   int unused) {
  return answered(connected(nullptr) &&
                  (dataAccess_->writeLongText(text, marker, unused) ||
                   takeConnectionText()));
}

ReposDataAccessCursor* RepositoryImpl::paramSelect(const char* sql,
                                                   KvbString* errorText, int n,
                                                   ...) {
  if (!answered(connected(errorText))) return nullptr;
  va_list values;
  va_start(values, n);
  ReposDataAccessCursor* cursor = dataAccess_->paramSelectV(sql, n, values);
  va_end(values);
  if (cursor) return cursor;
  takeConnectionText();
  if (errorText) *errorText = text();
  answered(false);
  return nullptr;
}
