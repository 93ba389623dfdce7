// Delete, export and import of sources, dimensions and thresholds.
#include "impexp/repmonitormgr.h"

#include "access/base_rdaimpl.h"
#include "access/object_types.h"
#include "impexp/repimpexpmgr.h"
#include "reposadmin/monitor_data_access.h"
#include "reposadmin/repos_data_access.h"
#include "reposadmin/repository.h"
#include "schema/log_printf.h"
#include "services/scan_rows.h"

namespace {
const char kSourceFile[] = "repmonitormgr";
}  // namespace

bool MonitorObjectManagerImpl::deleteObject(int objectId,
                                            const KvbString& /*uuid*/,
                                            KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, type_.typeName, objectId);
  logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__,
            "Deleting %s object with id=%d", type_.word, objectId);
  return type_.remove(monitor.get(), objectId) ||
         failWith(errorText, monitor->getErrorMessage());
}

bool MonitorObjectManagerImpl::exportContent(
    MonitorRepositoryDataAccess* monitor, int objectId, MetadataRecord* record,
    KvbString& errorText) {
  const KvbString name = value(record, type_.nameColumn);
  const KvbString uuid = record->getUUID();
  // Without an id, a UUID or a name there is nothing to look up.
  const int found = objectId <= 0 && uuid.isEmpty() && name.isEmpty()
                        ? 0
                        : scanRows(type_.find(monitor, objectId, name, uuid),
                                   [&](ReposDataAccessCursor* row) {
                                     for (int i = 0; i < row->getNumCols(); ++i)
                                       record->setValue(row->getColName(i),
                                                        row->getString(i));
                                     return false;
                                   });
  if (found < 0) return failWith(errorText, monitor->getErrorMessage());
  if (found == 1) return true;
  const KvbString text = kvbStringFormat(
      "Unable to export %s, object not found with name=\"%S\" id=%d",
      type_.word, name, objectId);
  logPrintf(owner_->logger(), kLogTrace, kSourceFile, __LINE__, "%S", text);
  return failWith(errorText, text);
}

bool MonitorObjectManagerImpl::exportObject(int objectId, const KvbString& uuid,
                                            KvbString& output,
                                            KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, type_.typeName, objectId);
  const KvbString noRecord = kvbStringFormat(
      "Unable to create export metadata object for %s.", type_.word);
  return exportRecord(
      type_.typeName, uuid, noRecord.asCstr(),
      [&](MetadataRecord* record) {
        return exportContent(monitor.get(), objectId, record, errorText);
      },
      output, errorText);
}

int MonitorObjectManagerImpl::existing(MonitorRepositoryDataAccess* monitor,
                                       MetadataRecord* record, int& id,
                                       KvbString& errorText) {
  const KvbString name = value(record, type_.nameColumn);
  const KvbString uuid = record->getUUID();
  auto lookUp = [&](const KvbString& byName, const KvbString& byUuid,
                    KvbString* stored) {
    // Without a name or a UUID there is nothing to look up.
    if (byName.isEmpty() && byUuid.isEmpty()) return 0;
    return lastId(type_.find(monitor, -1, byName, byUuid), type_.idColumn,
                  type_.uuidColumn, monitor, errorText, id, stored);
  };
  if (!type_.matchByNameToo) {
    KvbString stored;
    const int found = lookUp(nameToLookUp(name, uuid), uuid, &stored);
    if (found == 1) record->setUUID(stored);
    return found;
  }
  const int found = lookUp("", uuid, nullptr);
  return found != 0 ? found : lookUp(name, "", nullptr);
}

bool MonitorObjectManagerImpl::importNewObject(MetadataRecord* record,
                                               int folderId,
                                               const KvbString& itemName,
                                               KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, type_.typeName, 0);
  if (!turnTaken(findObjectType(type_.typeName)->table, errorText))
    return false;
  int existingId = -1;
  // To a path: a new object there, under a UUID of its own where the
  // record's is taken. Else an object found stands for the record.
  int found = 0;
  if (itemName.isEmpty())
    found = existing(monitor.get(), record, existingId, errorText);
  else if (!uuidForPath(
               type_.typeName, record, type_.uuidColumn,
               [&](const KvbString& held) {
                 return type_.find(monitor.get(), -1, "", held);
               },
               type_.idColumn, monitor.get(), errorText))
    return false;
  if (found < 0) return false;
  if (found == 1) {
    if (!folderExists(folderId, errorText)) return false;
    context()->setIntProperty(record, "TARGETID", existingId);
    return true;
  }
  KvbString name = value(record, type_.nameColumn);
  const KvbString rename = kvbStringFormat(
      "Changing %s Name from original \"%%S\" to new \"%%S\" on import.",
      type_.word);
  name = renamed(rename.asCstr(), name, itemName);
  int id = -1;
  if (!type_.add(monitor.get(), record, name, getOSUserName(), folderId, &id) ||
      id <= 0)
    return failWith(
        errorText,
        kvbStringFormat("Unable to create %s object \"%S\" during import:  %S",
                        type_.word, name, monitor->getErrorMessage()));
  announceCreated(
      record, id,
      kvbStringFormat("Created %s import object", type_.word).asCstr());
  return true;
}

bool MonitorObjectManagerImpl::importOverObject(
    MetadataRecord* record, int targetId, const KvbString& targetUuid,
    int folderId, const KvbString& targetName, KvbString& errorText) {
  ScopedAccess<MonitorRepositoryDataAccess> monitor(
      newAccess(&Repository::createMonitorDataAccess));
  if (!monitor.get()) return failNoAccess(errorText, type_.typeName, targetId);
  if (targetId <= 0) return true;
  const KvbString name =
      chooseName(type_.typeName, value(record, type_.nameColumn), targetName);
  // The update writes no UUID: the row keeps its own, whatever is chosen.
  KvbString uuid;
  if (!chooseUuid(
          type_.typeName, record->getUUID(), targetUuid, targetId,
          [&] { return type_.find(monitor.get(), -1, "", record->getUUID()); },
          type_.idColumn, monitor.get(), uuid, errorText))
    return false;
  return type_.update(monitor.get(), record, targetId, name, getOSUserName(),
                      folderId) ||
         failUpdate(errorText, type_.word, monitor->getErrorMessage());
}
