// Upgrading a repository to the current schema: the version gate, the
// missing tables, columns and indexes, the table sets, the data upgrade
// steps and the version rows. A repository opened directly as a SQLite file
// is upgraded through a second repository object on the connection-string
// route; an old file-based profile repository is moved into a new file of
// the current schema instead.
//
// The work of an upgrade runs in one transaction (both SQLite and the
// servers change tables transactionally), so that a failed upgrade leaves
// the repository as it was and can simply be run again. The steps that
// older versions ran outside a transaction and whose failures they ignored
// look before they act instead, since a failed statement ends a transaction
// on some databases.
#include "admin/repositoryadminimpl.h"
#include "admin/repositoryimpl.h"
#include "kvfileio/kvfileio.h"
#include "kvsync/kvnocancellation.h"
#include "rda/rda_factory.h"
#include "schema/log_printf.h"
#include "schema/repos_tables.h"

namespace {
const char kSourceFile[] = "repos_upgrade";
const char kCatalogue[] = "Repository Library";

// The factory kind of createReposDataAccess that opens an existing SQLite
// file.
constexpr int kExistingSqliteFile = 2;
}  // namespace

bool RepositoryImpl::upgradeRepository() {
  KvNoCancellation noCancellation;
  return answered(upgradeWhole());
}

// The versions that the database holds after an upgrade: the new ones, or
// after a failure the old ones again. An upgrade that was stored and whose
// version rows cannot be read back says so; the object reads them again at
// the next call that needs them.
bool RepositoryImpl::readBackVersions(bool upgraded) {
  return readVersionInfo() || !upgraded ||
         fail(
             "The upgrade was stored, but the repository's version rows "
             "could not be read back: " +
             versionError_);
}

bool RepositoryImpl::upgradeWhole() {
  if (!connected(nullptr)) return false;
  // An upgrade would write this engine's versions over a newer one's, or
  // over versions it could not read.
  const KvbString refusal = versionRefusal("The repository");
  if (!refusal.isEmpty()) return fail(refusal);
  if (!tableSetsListed()) return false;
  if (connectionKind_ == 0) {
    bool old = false;
    if (!isOldProfileFile(&old)) return false;
    return old ? moveOldProfileFile() : upgradeThroughConnection();
  }

  logProgress("Starting repository upgrade.");
  bool needed = true;
  if (!upgradeNeeded(&needed)) return false;
  if (!needed) {
    // An answer rather than a failure: its progress record is the only one.
    logProgress(
        "Repository upgrade not necessary. Major, Minor, and XML versions are "
        "up to date.");
    texts_.set(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1314), true);
    return false;
  }
  StatusRelay::Watch watch(relay_);
  const bool upgraded = inTransaction([this] { return upgradeSteps(); });
  if (!readBackVersions(upgraded)) return false;
  if (!upgraded) return relay_.stopped() ? failStopped("upgrade") : false;
  logProgress("Successful finish of repository upgrade.");
  return true;
}

bool RepositoryImpl::upgradeNeeded(bool* needed) {
  *needed = true;
  if (repositoryKind_ != kKindUnified || version_ < kCurrentVersion)
    return true;
  if (minorVersion_ < kCurrentMinorVersion) {
    logProgress("Minor version upgrade started.");
    return true;
  }
  int newerSets = 0;
  if (!createTables(false, false, true, true, &newerSets)) return false;
  *needed = newerSets > 0;
  if (*needed) logProgress("XML defined tables upgrade started.");
  return true;
}

// Definitions that do not validate are only logged: the upgrade goes on.
void RepositoryImpl::validateDefinitions(const char* text) {
  logProgress(text);
  if (!validateTableDefinitions())
    logPrintf(logger_, kLogError, kSourceFile, __LINE__,
              "Table Metadata did not validate.");
}

bool RepositoryImpl::upgradeSteps() {
  validateDefinitions("Validating table metadata descriptions");
  logProgress("Adding missing database table structure.");
  CountedSteps steps(*this, false);
  if (!dataAccess_->checkTables(TableCreateOptions()))
    return failOnConnection();
  if (!createTables(false, false, true, false, nullptr)) return false;
  logProgress("Applying data structure changes.");
  if (!applyDataUpgrades(false)) return false;
  logProgress("Updating unified database version information.");
  return writeVersionInfo(false);
}

// The tables of a file opened directly have no prefix, so neither has the
// second object, whose init and upgrade log their own failures.
bool RepositoryImpl::upgradeThroughConnection() {
  auto* second = new RepositoryImpl();
  KvbString initError;
  if (!second->init(kInitFileThroughConnection, admin_, 0, connection_, "", "",
                    status_, &initError)) {
    second->release();
    texts_.set(initError, true);
    return false;
  }
  const bool upgraded = second->upgradeRepository();
  if (!upgraded) texts_.set(second->getErrorMessage(), true);
  second->release();
  return readBackVersions(upgraded) && upgraded;
}

bool RepositoryImpl::upgradeNCOA() {
  KvNoCancellation noCancellation;
  return answered(upgradeNcoaPart());
}

bool RepositoryImpl::upgradeNcoaPart() {
  if (!connected(nullptr)) return false;
  logProgress("Starting NCOA repository upgrade.");
  // A catalogue that cannot be read says nothing of whether the repository
  // was created.
  std::list<TableColumnInfo> info, keyValues;
  if (dataAccess_->getTableColumns("INFO", info) < 0 ||
      dataAccess_->getTableColumns("KEYVAL", keyValues) < 0)
    return failOnConnection();
  // Version rows that cannot be read say nothing of whether it was created
  // either.
  if (!versionsRead()) return fail(versionRefusal("The repository"));
  if (info.empty() || keyValues.empty() || repositoryKind_ == kKindNone) {
    // This record stands for the failure, whose text is message 1050.
    logPrintf(logger_, kLogError, kSourceFile, __LINE__,
              "Repository needs to be created before upgrading.");
    return failLogged(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1050));
  }
  const KvbString refusal = versionRefusal("The repository");
  if (!refusal.isEmpty()) return fail(refusal);
  if (ncoaVersion_ > kCurrentNcoaVersion)
    return fail(kvbStringFormat(
        "The repository's NCOA part has version %d, newer than %d, the "
        "newest this engine supports; it cannot be changed by this engine.",
        ncoaVersion_, kCurrentNcoaVersion));
  if (ncoaVersion_ == kCurrentNcoaVersion) {
    logProgress("NCOA repository upgrade not necessary.");
    return true;
  }
  // The version rows of an older repository are rewritten by its whole
  // upgrade only: this one would mark it current without its data
  // upgrades.
  if (repositoryKind_ != kKindUnified)
    return fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1052));
  validateDefinitions("Validating NCOA table metadata descriptions");
  StatusRelay::Watch watch(relay_);
  const bool upgraded = inTransaction([this] {
    logProgress("Adding missing database table structure.");
    if (!dataAccess_->checkTables(TableCreateOptions()))
      return failOnConnection();
    logProgress("Applying NCOA data structure changes.");
    if (!applyDataUpgrades(true)) return false;
    logProgress("Updating NCOA version information.");
    return writeVersionInfo(true);
  });
  if (!readBackVersions(upgraded)) return false;
  if (!upgraded) return relay_.stopped() ? failStopped("NCOA upgrade") : false;
  logProgress("Successful finish of NCOA repository upgrade.");
  return true;
}

// ---------------------------------------------------------------------------
// Old file-based profile repositories

// A profile repository in a SQLite file of the old layout, whose tables
// carry the old names (its patterns in "patdist", say).
bool RepositoryImpl::isOldProfileFile(bool* old) {
  *old = false;
  if (repositoryKind_ != kKindProfile) return true;
  std::list<TableColumnInfo> oldPatterns, patterns;
  if (dataAccess_->getTableColumns("patdist", oldPatterns) < 0 ||
      dataAccess_->getTableColumns("PATDST", patterns) < 0)
    return failOnConnection();
  *old = !oldPatterns.empty() && patterns.empty();
  return true;
}

// The old file becomes "<path>.backup"; a new repository file takes its
// path and receives its data. When that fails, the old file is put back,
// so that the repository is as it was. The new file is made by an
// administration object of the move's own, since the one that opened this
// repository may be gone; a stop during its creation is the move's to
// report.
bool RepositoryImpl::moveOldProfileFile() {
  logProgress("Moving the old profile repository into a new file.");
  StatusRelay::Watch watch(relay_);
  const KvbString backup = connection_ + ".backup";
  dataAccess_->release();
  dataAccess_ = nullptr;
  np_fio_unlink(backup.asCstr());
  bool moved =
      np_fio_rename(connection_.asCstr(), backup.asCstr()) == NP_FIO_OK;
  if (!moved) {
    fail(kvb_get_message(kSourceFile, __LINE__, kCatalogue, 1315, connection_,
                         backup));
  } else {
    RepositoryAdminImpl creator(1, "");
    creator.setStatusCallback(status_);
    moved = (creator.createFileRepository(connection_) ||
             failLogged(creator.getErrorMessage())) &&
            moveSqliteData(backup, connection_);
    if (!moved) {
      np_fio_unlink(connection_.asCstr());
      np_fio_rename(backup.asCstr(), connection_.asCstr());
    }
  }
  KvbString openError;
  dataAccess_ = createReposDataAccess(kExistingSqliteFile, connection_,
                                      tablePrefix_, status_, openError);
  if (!dataAccess_) return fail(openError);
  if (!readBackVersions(moved)) return false;
  if (!moved && relay_.stopped())
    return failStopped("move of the old profile repository");
  return moved;
}
