// The steps that the object managers of every type share.
#include "impexp/repobjectmgr.h"

#include "access/base_rdaimpl.h"
#include "access/held_repository.h"
#include "impexp/repimpexpmgr.h"
#include "kvreposres/kvreposres.h"
#include "kvreposres/kvserialization.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/metadata_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repobjectmgr";
}  // namespace

KvbString noDataAccess(const KvbString& typeName, int objectId) {
  return objectId > 0
             ? kvbStringFormat(
                   "The repository gives no data access for the "
                   "%S object with id=%d",
                   typeName, objectId)
             : kvbStringFormat(
                   "The repository gives no data access for a new %S object",
                   typeName);
}

Repository* RepositoryObjectManagerImpl::repository() const {
  return owner_->repository();
}

MetadataSerializationContext* RepositoryObjectManagerImpl::context() const {
  return owner_->context();
}

bool RepositoryObjectManagerImpl::folderExists(int folderId,
                                               KvbString& errorText) {
  if (folderId == 0) return true;
  ScopedAccess<MetadataRepositoryDataAccess> meta(
      newAccess(&Repository::createMetadataDataAccess));
  if (!meta.get()) return failWith(errorText, noDataAccess("Folder", folderId));
  int parentId = 0;
  return meta->getParentFolderId(folderId, parentId) ||
         failWith(errorText, meta->getErrorMessage());
}

bool importTurnTaken(Repository* repository, const char* code,
                     KvbString& reason) {
  return BaseRDAImpl::writesSerializedOn(repositoryConnection(repository), code,
                                         reason);
}

bool RepositoryObjectManagerImpl::turnTaken(const char* code,
                                            KvbString& errorText) {
  KvbString reason;
  return importTurnTaken(repository(), code, reason) ||
         failWith(errorText, reason);
}

bool RepositoryObjectManagerImpl::uuidForPath(
    const KvbString& typeName, MetadataRecord* record, const char* uuidColumn,
    const std::function<ReposDataAccessCursor*(const KvbString&)>& byUuid,
    const char* idColumn, ReposDataAccessObject* access,
    KvbString& errorText) {
  if (record->getUUID().isEmpty()) record->setUUID(value(record, uuidColumn));
  const KvbString original = record->getUUID();
  int holderId = -1;
  const int held = original.isEmpty()
                       ? 0
                       : lastId(byUuid(original), idColumn, nullptr, access,
                                errorText, holderId);
  if (held < 0) return false;
  if (held == 0) {
    event(2, kvbStringFormat("Using original '%S' UUID \"%S\" on import.",
                             typeName, original));
    return true;
  }
  const KvbString fresh = kvbGetUUID();
  event(2, kvbStringFormat("Changing '%S' UUID from original \"%S\" to new "
                           "\"%S\" on import.",
                           typeName, original, fresh));
  record->setUUID(fresh);
  return true;
}

void RepositoryObjectManagerImpl::event(int level, const KvbString& text) {
  context()->logEvent(level, text);
}

KvbString RepositoryObjectManagerImpl::value(MetadataRecord* record,
                                             const char* key) {
  KvbString out;
  record->getValue(key, out);
  return out;
}

bool RepositoryObjectManagerImpl::failWith(KvbString& errorText,
                                           const KvbString& text) {
  event(0, text);
  errorText = text;
  return false;
}

bool RepositoryObjectManagerImpl::failNoAccess(KvbString& errorText,
                                               const KvbString& typeName,
                                               int objectId) {
  return failWith(errorText, noDataAccess(typeName, objectId));
}

bool RepositoryObjectManagerImpl::exportRecord(
    const KvbString& typeName, const KvbString& uuid, const char* noRecordText,
    const std::function<bool(MetadataRecord*)>& fill, KvbString& output,
    KvbString& errorText) {
  MetadataRecord* record = context()->createRecord(typeName, uuid);
  if (!record) {
    errorText = noRecordText;
    return false;
  }
  return fill(record) && owner_->serializeObject(record, output, errorText);
}

void RepositoryObjectManagerImpl::announceCreated(MetadataRecord* record,
                                                  int newId,
                                                  const char* createdText) {
  context()->setIntProperty(record, "TARGETID", newId);
  owner_->setObjectPath(newId, record->getTypeName(), record->getUUID());
  event(2, createdText);
}

KvbString RepositoryObjectManagerImpl::chooseName(const KvbString& typeName,
                                                  const KvbString& recordName,
                                                  const KvbString& targetName) {
  if (!targetName.isEmpty() && !targetName.equals(recordName, true)) {
    event(2, kvbStringFormat("Changing '%S' name from original \"%S\" to new "
                             "\"%S\" on import.",
                             typeName, recordName, targetName));
    return targetName;
  }
  event(2, kvbStringFormat("Using original '%S' name \"%S\" on import.",
                           typeName, recordName));
  return recordName;
}

bool RepositoryObjectManagerImpl::chooseUuid(
    const KvbString& typeName, const KvbString& recordUuid,
    const KvbString& targetUuid, int targetId,
    const std::function<ReposDataAccessCursor*()>& byUuid, const char* idColumn,
    ReposDataAccessObject* access, KvbString& uuid, KvbString& errorText) {
  if (targetUuid.isEmpty() || targetUuid.equals(recordUuid, true)) {
    event(2, kvbStringFormat("Using original '%S' UUID \"%S\" on import.",
                             typeName, recordUuid));
    uuid = recordUuid;
    return true;
  }
  int holderId = -1;
  const int held =
      recordUuid.isEmpty() || !byUuid
          ? 0
          : lastId(byUuid(), idColumn, nullptr, access, errorText, holderId);
  if (held < 0) return false;
  if (held == 1 && holderId != targetId) {
    event(2, kvbStringFormat("Changing '%S' UUID from original \"%S\" to new "
                             "\"%S\" on import.",
                             typeName, recordUuid, targetUuid));
    uuid = targetUuid;
    return true;
  }
  event(2, kvbStringFormat("Reset '%S' UUID to original \"%S\" from new "
                           "\"%S\" on import.",
                           typeName, recordUuid, targetUuid));
  // A record without a UUID cannot take one from nowhere.
  uuid = recordUuid.isEmpty() ? targetUuid : recordUuid;
  return true;
}

bool RepositoryObjectManagerImpl::failUpdate(KvbString& errorText,
                                             const char* what,
                                             const KvbString& reason) {
  KvbString text = kvbStringFormat("Error updating %s in database", what);
  if (!reason.isEmpty()) text.append(": ").append(reason);
  return failWith(errorText, text);
}

int RepositoryObjectManagerImpl::lastId(ReposDataAccessCursor* rows,
                                        const char* idColumn,
                                        const char* uuidColumn,
                                        ReposDataAccessObject* access,
                                        KvbString& errorText, int& id,
                                        KvbString* storedUuid) {
  const int found = scanRows(rows, [&](ReposDataAccessCursor* row) {
    id = row->getInt(row->getColumnIndex(idColumn));
    if (storedUuid)
      *storedUuid = row->getString(row->getColumnIndex(uuidColumn));
    return true;
  });
  if (found < 0) failWith(errorText, access->getErrorMessage());
  return found;
}

bool RepositoryObjectManagerImpl::deleted(bool done,
                                          ReposDataAccessObject* access,
                                          const char* typeName, int objectId,
                                          const KvbString& uuid,
                                          KvbString& errorText) {
  if (!done) return failWith(errorText, access->getErrorMessage());
  const KvbString type(typeName);
  postWhenStored(repositoryConnection(repository()),
                 [=](RepositoryEventManager& events, const KvbString& repos) {
                   events.postObjectChange(repos, kChangeDeleted, type,
                                           objectId, uuid);
                 });
  return true;
}

KvbString RepositoryObjectManagerImpl::renamed(const char* format,
                                               const KvbString& name,
                                               const KvbString& itemName) {
  if (itemName.isEmpty()) return name;
  logPrintf(owner_->logger(), kLogProgress, kSourceFile, __LINE__, format, name,
            itemName);
  return itemName;
}
