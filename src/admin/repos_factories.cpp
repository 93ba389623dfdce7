// RepositoryImpl: the data-access objects and managers that a repository
// hands out, and its key/value store. Every factory call gives a new object
// that the caller owns; data-access objects hold the repository's
// connection and managers the repository, so either may outlive the
// repository's release().
#include <new>

#include "access/common_rdaimpl.h"
#include "access/explorer_rdaimpl.h"
#include "access/meta_rdaimpl.h"
#include "admin/field_mapping_admin.h"
#include "admin/repositoryimpl.h"
#include "impexp/repimpexpmgr.h"
#include "monitor/monitor_rdaimpl.h"
#include "ncoa/ncoa_rdaimpl.h"
#include "profile/prof_rdaimpl.h"
#include "rda/rda_impl.h"
#include "refdata/refdata_rdaimpl.h"
#include "services/repeventqueue.h"
#include "services/repfldrmgrimpl.h"
#include "services/repimpanlysimpl.h"

namespace {

// Runs `operation` on a common data-access object made for this one call on
// `rda`, and gives its result; `failure` when the object cannot be made or
// the connection cannot be had in time. The reason of a failure becomes
// the calling thread's text in `texts`, the repository's error texts; one
// of the object's own counts as logged (the object logged it, or keeps it
// quiet as its normal answer: a key without a value). The
// connection's lock is held throughout, so that the operation is one unit
// of work.
template <typename Result, typename Operation>
Result withCommonDataAccess(ReposDataAccess* rda, RDA_ThreadTexts& texts,
                            Result failure, Operation operation) {
  RDA_LockGuard guard(connectionLock(rda));
  if (!guard) {  // the connection recorded the lock's refusal
    texts.set(rda->getErrorMessage());
    return failure;
  }
  CommonRDAImpl* common = new (std::nothrow) CommonRDAImpl(rda);
  if (!common) {
    texts.set("Out of memory for a data-access object");
    return failure;
  }
  Result result = operation(*common);
  if (result == failure) texts.set(common->getErrorMessage(), true);
  common->release();
  return result;
}

}  // namespace

// ---------------------------------------------------------------------------
// Data-access objects

CommonRepositoryDataAccess* RepositoryImpl::createCommonDataAccess() {
  return new (std::nothrow) CommonRDAImpl(dataAccess_);
}

ExplorerRepositoryDataAccess* RepositoryImpl::createExplorerDataAccess() {
  return new (std::nothrow) ExplorerRDAImpl(dataAccess_);
}

MetadataRepositoryDataAccess* RepositoryImpl::createMetadataDataAccess() {
  return new (std::nothrow) MetadataRDAImpl(dataAccess_);
}

MonitorRepositoryDataAccess* RepositoryImpl::createMonitorDataAccess() {
  return new (std::nothrow) MonitorRDAImpl(dataAccess_);
}

NCOARepositoryDataAccess* RepositoryImpl::createNCOADataAccess() {
  NCOARDAImpl* ncoa = new (std::nothrow) NCOARDAImpl(dataAccess_);
  if (ncoa) ncoa->loadNcoaExecColumns();  // a short map is reported by use
  return ncoa;
}

RefDataRepositoryDataAccess* RepositoryImpl::createRefDataDataAccess() {
  return new (std::nothrow) RefDataRDAImpl(dataAccess_);
}

ProfileRepositoryDataAccess* RepositoryImpl::createProfileDataAccess() {
  return new (std::nothrow) ProfileRDAImpl(dataAccess_);
}

FieldMappingAdminObject* RepositoryImpl::createFieldMappingAdmin() {
  FieldMappingAdminImpl* admin = new (std::nothrow) FieldMappingAdminImpl();
  if (!admin) return nullptr;
  if (admin->init(0, this)) return admin;
  admin->release();
  return nullptr;
}

// ---------------------------------------------------------------------------
// Managers

RepositoryFolderManager* RepositoryImpl::createFolderManager() {
  return new (std::nothrow) RepositoryFolderManagerImpl(this);
}

RepositoryImpactAnalysis* RepositoryImpl::createImpactAnalysis() {
  return new (std::nothrow) RepositoryImpactAnalysisImpl(this, dataAccess_);
}

RepositoryImportExportManager* RepositoryImpl::createImportExportManager() {
  return new (std::nothrow) RepositoryImportExportManagerImpl(this);
}

RepositoryEventQueueManager* RepositoryImpl::createEventQueueManager() {
  return new (std::nothrow) RepositoryEventQueueManagerImpl(this);
}

// ---------------------------------------------------------------------------
// Key/value store (table KEYVAL). The reason of a failure becomes the
// repository's error text, logged once.

bool RepositoryImpl::setKeyValue(const KvbString& key, const KvbString& value) {
  return answered(withCommonDataAccess(
      dataAccess_, texts_, false,
      [&](CommonRDAImpl& common) { return common.setKeyValue(key, value); }));
}

bool RepositoryImpl::getKeyValue(const KvbString& key, KvbString* value) {
  return answered(withCommonDataAccess(
      dataAccess_, texts_, false,
      [&](CommonRDAImpl& common) { return common.getKeyValue(key, value); }));
}

bool RepositoryImpl::deleteKey(const KvbString& key) {
  return answered(withCommonDataAccess(
      dataAccess_, texts_, false,
      [&](CommonRDAImpl& common) { return common.deleteKey(key); }));
}

ReposDataAccessCursor* RepositoryImpl::getKeys() {
  return answered(withCommonDataAccess<ReposDataAccessCursor*>(
      dataAccess_, texts_, nullptr,
      [](CommonRDAImpl& common) { return common.getKeys(); }));
}

ReposDataAccessCursor* RepositoryImpl::getKeyValues() {
  return answered(withCommonDataAccess<ReposDataAccessCursor*>(
      dataAccess_, texts_, nullptr,
      [](CommonRDAImpl& common) { return common.getKeyValues(); }));
}
