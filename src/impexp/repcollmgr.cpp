// Delete, export and import of collections.
#include "impexp/repcollmgr.h"

#include "impexp/repimpexpmgr.h"
#include "impexp/repmetacollimpl.h"
#include "reposadmin/common_data_access.h"
#include "reposadmin/repository.h"

bool CollectionManagerImpl::deleteObject(int objectId, const KvbString& uuid,
                                         KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Collection", objectId);
  return deleted(common->deleteGlobalCategory(objectId), common.get(),
                 "Collection", objectId, uuid, errorText);
}

bool CollectionManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                         KvbString& output,
                                         KvbString& errorText) {
  return exportRecord(
      "Collection", uuid,
      "Unable to create export metadata object for collection.",
      [&](MetadataRecord* record) {
        CollectionMetadata collection(owner_, objectId, uuid);
        return collection.exportCollection(record, errorText);
      },
      output, errorText);
}

bool CollectionManagerImpl::importNewObject(MetadataRecord* record,
                                            int /*folderId*/,
                                            const KvbString& itemName,
                                            KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Collection", 0);
  if (!turnTaken("GCATS", errorText)) return false;
  KvbString name = value(record, "GCNAME");
  // Collections have no UUID column: they are found by name only, and one
  // imported to a path is a new one under the path's name.
  int existing = -1;
  const int found =
      name.isEmpty() || !itemName.isEmpty() ? 0
                     : lastId(common->findGlobalCategory(-1, name, ""), "GC_ID",
                              "GC_ID", common.get(), errorText, existing);
  if (found < 0) return false;
  if (found == 1) {
    context()->setIntProperty(record, "TARGETID", existing);
    return true;
  }
  name = renamed(
      "Changing Collection name from original \"%S\" to new \"%S\" on "
      "import.",
      name, itemName);
  const int id = common->addGlobalCategory(name, value(record, "GCDESC"));
  if (id <= 0) return failWith(errorText, common->getErrorMessage());
  announceCreated(record, id, "Created collection import object");
  CollectionMetadata collection(owner_, record);
  return collection.importCollection(errorText);
}

bool CollectionManagerImpl::importOverObject(
    MetadataRecord* record, int targetId, const KvbString& targetUuid,
    int /*folderId*/, const KvbString& targetName, KvbString& errorText) {
  ScopedAccess<CommonRepositoryDataAccess> common(
      newAccess(&Repository::createCommonDataAccess));
  if (!common.get()) return failNoAccess(errorText, "Collection", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("Collection", value(record, "GCNAME"), targetName);
  // Nothing stores a collection's UUID; the choice shows only in the log.
  KvbString uuid;
  chooseUuid("Collection", record->getUUID(), targetUuid, targetId, nullptr,
             nullptr, nullptr, uuid, errorText);
  if (!common->updateGlobalCategory(targetId, name, value(record, "GCDESC")))
    return failUpdate(errorText, "collection", common->getErrorMessage());
  CollectionMetadata collection(owner_, record);
  return collection.importCollection(errorText);
}
