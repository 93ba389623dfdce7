// The administration object: construction, the status callback, the small
// operations, and the routes by which a repository is opened (file path,
// connection string, registered name).
#include "admin/repositoryadminimpl.h"

#include "admin/repositoryimpl.h"
#include "kvfileio/kvfileio.h"
#include "kvlogging/kvlogging.h"
#include "kvreposres/kvreposres.h"
#include "kvsync/kvnocancellation.h"
#include "schema/log_printf.h"

namespace {
const char kSourceFile[] = "repositoryadminimpl";

// "REPOS/FORCE_FILE_BASED" set to false: repository files go through the
// connection-string route. Unset or true (or not a boolean, which is
// warned about): they are opened directly.
bool fileThroughConnection(const KvbConfigOptions& options) {
  return !options.getBool("REPOS/FORCE_FILE_BASED", true);
}
}  // namespace

RepositoryAdminImpl::RepositoryAdminImpl(int flags, const KvbString& path)
    : logger_(kvlogGetLogger("KV.Repos.ReposAdmin.RepositoryAdminImpl")) {
  if (flags & 1) return;
  if (!path.isNull()) listFilePath_ = path;
  // The file is read only when a list operation needs it; here it must
  // either exist or be missing, so that the first save can create it.
  const int result = np_fio_stat(listFilePath_.asCstr());
  if (result != NP_FIO_OK && result != NP_FIO_ENOTFOUND)
    failMessage(__LINE__, 1294, listFilePath_);
}

RepositoryAdminImpl::~RepositoryAdminImpl() = default;

void RepositoryAdminImpl::release() { delete this; }

void RepositoryAdminImpl::setStatusCallback(
    RepositoryStatusCallback* callback) {
  // A null callback brings back the silent default: each repository
  // opened from then on reports to a silent callback of its own.
  statusCallback_ = callback;
}

int RepositoryAdminImpl::getCurrentVersion() { return kCurrentVersion; }

bool RepositoryAdminImpl::fail(const KvbString& text) {
  texts_.set(text);
  return false;
}

void RepositoryAdminImpl::logError(int line) {
  texts_.logUnlogged(logger_, kSourceFile, line);
}

bool RepositoryAdminImpl::answered(bool ok, int line) {
  if (!ok) texts_.logUnlogged(logger_, kSourceFile, line);
  return ok;
}

bool RepositoryAdminImpl::deleteFile(const KvbString& path) {
  KvNoCancellation noCancellation;
  return answered(removeFile(path));
}

bool RepositoryAdminImpl::removeFile(const KvbString& path) {
  if (statusCallback_)
    statusCallback_->reportMessage(kvbStringFormat("Delete file %S", path));
  const int result = np_fio_unlink(path.asCstr());
  // A file that is already gone is what the caller asked for.
  if (result == NP_FIO_OK || result == NP_FIO_ENOTFOUND) return true;
  return fail(kvbStringFormat("The file \"%S\" could not be deleted: %s", path,
                              np_fio_errdesc(result)));
}

// ---------------------------------------------------------------------------
// Opening

// The repository's init names the database in its text and logs it.
RepositoryImpl* RepositoryAdminImpl::initRepository(
    int flags, int connectionKind, const KvbString& connection,
    const KvbString& tablePrefix, const KvbString& poolId) {
  // An empty path or connection string would reach the database or the
  // driver manager, whose text would speak of a file or a data source that
  // the host never named.
  if (connection.isEmpty()) {
    fail(kvbStringFormat(
        "The repository cannot be %s: the %s is empty",
        (flags & kInitToCreate) ? "created" : "opened",
        connectionKind == 0 ? "database file path" : "connection string"));
    logError(__LINE__);
    return nullptr;
  }
  auto* repository = new RepositoryImpl();
  KvbString initError("");
  if (repository->init(flags, this, connectionKind, connection, tablePrefix,
                       poolId, statusCallback_, &initError))
    return repository;
  repository->release();
  // The repository's init logged it, unless told not to.
  texts_.set(initError, !(flags & kInitUnlogged));
  return nullptr;
}

bool RepositoryAdminImpl::supportedDatabase(RepositoryImpl* repository) {
  ReposDataAccess* rda = repository->getDataAccess();
  if (rda && rda->isDBMSSupported()) return true;
  return fail(rda ? rda->getErrorMessage()
                  : KvbString("The repository has no connection."));
}

RepositoryImpl* RepositoryAdminImpl::checkedVersion(RepositoryImpl* repository,
                                                    bool check) {
  if (!repository) return nullptr;
  if (!check || usableAsItIs(repository)) {
    repository->warnOfWhatTheOpenLacks();
    return repository;
  }
  repository->release();
  logError(__LINE__);
  return nullptr;
}

bool RepositoryAdminImpl::usableAsItIs(RepositoryImpl* repository) {
  if (!supportedDatabase(repository)) return false;
  // A refusal by version names the database and the prefix, as every
  // failed open does; the text of one that holds no repository names them
  // itself.
  const auto notOpened = [&](const KvbString& reason) {
    return fail("The repository in the " + repository->place() +
                " could not be opened: " + reason);
  };
  const KvbString refusal = repository->versionRefusal("it");
  if (!refusal.isEmpty()) return notOpened(refusal);
  if (repository->isCurrentVersion() && repository->isMinorVersionCurrent())
    return true;
  // A database without version rows was never created as a repository;
  // only an older one is to be upgraded.
  const KvbString missing = repository->noRepositoryText();
  return missing.isEmpty() ? notOpened(message(__LINE__, 1052)) : fail(missing);
}

RepositoryImpl* RepositoryAdminImpl::openConnectionImpl(
    const KvbString& connection, const KvbString& tablePrefix, bool check,
    const KvbString& poolId) {
  return checkedVersion(initRepository(0, 1, connection, tablePrefix, poolId),
                        check);
}

RepositoryImpl* RepositoryAdminImpl::openFileImpl(const KvbString& path,
                                                  bool check) {
  const KvbConfigOptions* options = kvbGetConfigOptions("");
  if (!options) {
    failMessage(__LINE__, 292);
    logError(__LINE__);
    return nullptr;
  }
  const int flags =
      fileThroughConnection(*options) ? kInitFileThroughConnection : 0;
  return checkedVersion(initRepository(flags, 0, path, "", ""), check);
}

Repository* RepositoryAdminImpl::openFileRepository(const KvbString& path,
                                                    bool check) {
  KvNoCancellation noCancellation;
  return openFileImpl(path, check);
}

Repository* RepositoryAdminImpl::openRepositoryConnection(
    const KvbString& connection, const KvbString& tablePrefix, bool check,
    const char* poolId) {
  KvNoCancellation noCancellation;
  return openConnectionImpl(connection, tablePrefix, check,
                            KvbString(poolId ? poolId : ""));
}

bool RepositoryAdminImpl::lookupRepository(const KvbString& name,
                                           KvbString* connection,
                                           KvbString* tablePrefix,
                                           bool* isFile) {
  RepositoryConfigurationManager* manager = getRepositoryConfigurationManager();
  RepositoryConfigurationEntry* entry =
      manager ? manager->findRepository(name) : nullptr;
  if (!entry) {
    if (manager) manager->release();
    // Opening by name reads the registry alone: a host that wrote the name
    // into its list file learns where it was looked for instead.
    KvbString text = message(__LINE__, 1306, name) +
                     " It is not registered in the repository configuration "
                     "registry, where opening by name looks";
    if (!listFilePath_.isEmpty())
      text +=
          kvbStringFormat("; the list file \"%S\" is not read", listFilePath_);
    fail(text + ".");
    logError(__LINE__);
    return false;
  }
  // An empty registered text leaves the caller's value as it was.
  auto keepNonEmpty = [](const KvbString& value, KvbString* out) {
    if (out && !value.isEmpty()) *out = value;
  };
  if (isFile) *isFile = entry->getType() == 0;
  KvbString value;
  entry->getConnection(value);
  keepNonEmpty(value, connection);
  value.setNull();
  entry->getTablePrefix(value);
  keepNonEmpty(value, tablePrefix);
  entry->release();
  manager->release();
  return true;
}

Repository* RepositoryAdminImpl::openRepository(const KvbString& name,
                                                bool check,
                                                const char* poolId) {
  KvNoCancellation noCancellation;
  KvbString connection("");
  KvbString tablePrefix("");
  bool isFile = false;
  if (!lookupRepository(name, &connection, &tablePrefix, &isFile))
    return nullptr;
  if (isFile) return openFileRepository(connection, check);
  return openRepositoryConnection(connection, tablePrefix, check, poolId);
}
