// Delete, export and import over an existing object of data explorations.
#include "impexp/repexplmgr.h"

#include "access/base_rdaimpl.h"
#include "impexp/repimpexpmgr.h"
#include "impexp/repmetadataexplimpl.h"
#include "reposadmin/explorer_data_access.h"
#include "reposadmin/repository.h"

bool DataExplorationManagerImpl::deleteObject(int objectId,
                                              const KvbString& /*uuid*/,
                                              KvbString& errorText) {
  ScopedAccess<ExplorerRepositoryDataAccess> explorer(
      newAccess(&Repository::createExplorerDataAccess));
  if (!explorer.get())
    return failNoAccess(errorText, "DataExploration", objectId);
  return explorer->deleteProject(objectId) ||
         failWith(errorText, explorer->getErrorMessage());
}

bool DataExplorationManagerImpl::exportObject(int objectId,
                                              const KvbString& uuid,
                                              KvbString& output,
                                              KvbString& errorText) {
  return exportRecord(
      "DataExploration", uuid,
      "Unable to create export metadata object for data exploration.",
      [&](MetadataRecord* record) {
        DataExplorationMetadata exploration(owner_, objectId, uuid);
        return exploration.exportExploration(record, errorText);
      },
      output, errorText);
}

bool DataExplorationManagerImpl::importNewObject(MetadataRecord*, int,
                                                 const KvbString&,
                                                 KvbString& errorText) {
  errorText = "NOT IMPLEMENTED.";
  return false;
}

bool DataExplorationManagerImpl::importOverObject(
    MetadataRecord* record, int targetId, const KvbString& targetUuid,
    int /*folderId*/, const KvbString& targetName, KvbString& errorText) {
  ScopedAccess<ExplorerRepositoryDataAccess> explorer(
      newAccess(&Repository::createExplorerDataAccess));
  if (!explorer.get())
    return failNoAccess(errorText, "DataExploration", targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName("DataExploration", value(record, "PRJ_NM"), targetName);
  // The update writes no UUID: the exploration keeps its own.
  KvbString uuid;
  chooseUuid("DataExploration", record->getUUID(), targetUuid, targetId,
             nullptr, nullptr, nullptr, uuid, errorText);
  if (!explorer->updateProject(targetId, name, value(record, "PRJ_COMM")))
    return failWith(errorText, explorer->getErrorMessage());
  event(1,
        "Update metadata for Data Exploration: Not all known metadata is "
        "contained.");
  return true;
}
